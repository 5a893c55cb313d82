#pragma once

#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

namespace velkar {

class Connection;

// What the ledger knows of a card beyond its records: whether it was reported lost, the card
// that replaced it, and the last balance any desk saw on it, which stands in for a card that
// is gone.
namespace Cards {

enum class State { Active, Lost };

struct Card {
    QString cardNo;
    State state = State::Active;
    QString since;   // when it was marked lost (or found again)
    QString account; // who marked it
    QString reason;
    QString replacedBy;
    std::optional<int> lastBalance; // tenths
    QString lastSeenAt;
    QString lastSeenDesk;
};

QString StateText(State state); // 正常, 已挂失

// Nothing for a card the ledger keeps no row of. Raises DataError.
std::optional<Card> Find(const Connection& connection, const QString& cardNo);
// In card order; all, or those of one state. Raises DataError.
std::vector<Card> List(const Connection& connection, std::optional<State> state = {});

// The latest report of the card a desk saw, inside the caller's transaction.
void Seen(const Connection& connection, const QString& cardNo, int balance, const QString& at,
          const QString& desk);

// Marks a card of the archive lost, audited; an empty text when done, else why not. Raises
// DataError for a store that fails.
QString ReportLost(const Connection& connection, const QString& cardNo, const QString& reason,
                   const QString& account, const QString& desk, const QDateTime& at = {});
// Takes the mark back (the administrator's), audited; as ReportLost.
QString Unmark(const Connection& connection, const QString& cardNo, const QString& account,
               const QString& desk, const QDateTime& at = {});

// The replacements the card took part in, in words (补自 the card it replaced, 补为 the card
// that replaced it, marked while one runs); empty when none. Raises DataError.
QString LinkText(const Connection& connection, const QString& cardNo);

// Whether the ledger has seen the card at all (a record, a command, a loss or a replacement).
bool Known(const Connection& connection, const QString& cardNo);

} // namespace Cards

} // namespace velkar
