#pragma once

#include "data/Plans.h"

#include <QString>

#include <optional>

class QObject;

namespace velkar {

class Connection;
class Dialogs;

// What the desk asks before a replacement or a correction starts; the reader link then carries
// it out. Each returns the plan started in the ledger, or nothing when the person cancelled or
// was refused (the refusal shown in a box).
struct PlanRequest {
    QString cardNo;  // the card on the reader
    int balance = 0; // tenths, as it reports it now
    QString account;
    QString desk;
    QString at; // timestamp text
};

// 补卡: the new card on the reader takes the place of a lost card picked from those not yet
// replaced; where the lost card's balance was never seen, the administrator enters it with a
// reason. A last question names both cards, the holder and the balance.
std::optional<Plans::Plan> AskReplacement(Dialogs& dialogs, const Connection& connection,
                                          const PlanRequest& request, QObject* owner = nullptr);

// 冲正: the administrator's password asked again, then one of the card's booked recharges
// picked and the result confirmed.
std::optional<Plans::Plan> AskCorrection(Dialogs& dialogs, const Connection& connection,
                                         const PlanRequest& request, QObject* owner = nullptr);

// 结清: the administrator's password asked again, then one of the open replacements or
// corrections picked, its figures confirmed, and the rest of its value paid out in cash. The plan
// closed, or nothing when cancelled or refused (the refusal shown).
std::optional<Plans::Plan> AskClosePlan(Dialogs& dialogs, const Connection& connection,
                                        const PlanRequest& request, QObject* owner = nullptr);

// Whether `password` is the account's, without a login (no trail entry).
bool PasswordMatches(const Connection& connection, const QString& account, const QString& password);

} // namespace velkar
