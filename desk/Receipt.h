#pragma once

#include "base/Settings.h"

#include <QString>
#include <QStringList>

#include <optional>

class QPainter;

namespace velkar {

class Connection;

// The slip a customer gets after a booking: what the ledger booked, drawn for a receipt
// printer's roll.
namespace Receipt {

struct Slip {
    qint64 journalId = 0;
    QString desk;
    QString operatorName;
    QString time; // the record's timestamp text
    QString cardNo;
    QString holder;        // empty: no cardholder for the card
    QString kind;          // 充值, 清零, ...
    qint64 amount = 0;     // whole yuan, signed as booked
    int balanceBefore = 0; // tenths
    int balanceAfter = 0;  // tenths
    bool reprint = false;
};

// The slip of the booked command `journalId`; nothing when the ledger holds no booking of it.
// Raises DataError.
std::optional<Slip> Read(const Connection& connection, qint64 journalId);

// The roll's width in millimetres: 58 or 80; 0 for none.
int WidthMm(Settings::Receipt paper);

// The slip's lines: the title, then a label and a value each.
QString Title(const Slip& slip);
QList<std::pair<QString, QString>> Fields(const Slip& slip);

// The length of roll the slip takes, in millimetres, at `widthMm`.
qreal HeightMm(const Slip& slip, int widthMm);
// Draws the slip from the top-left corner of the painter's device, `widthMm` wide.
void Draw(QPainter& painter, const Slip& slip, int widthMm);

} // namespace Receipt

} // namespace velkar
