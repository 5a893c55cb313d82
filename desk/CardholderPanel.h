#pragma once

#include "data/Schema.h"

#include "data/Cardholder.h"

#include <QString>

namespace velkar {

class Dialogs;

enum class ProfileOutcome {
    Reset,          // nothing was looked up: the panel only empties
    MissingFields,  // 卡序号, 卡号, 姓名 or 电话 empty
    UnstorableText, // a field the store can't keep as shown
    InvalidCardNo,  // not a card number by the archive's rule
    Updated,
    Added,
    Duplicate, // another desk gave the card its holder meanwhile
    Failed,
};

// The database side of the cardholder panel: looking a card's holder up and storing the panel.
class CardholderPanel {
public:
    // `account`: who is logged in, for the archive's audit entries.
    explicit CardholderPanel(Dialogs* dialogs, QString account = {},
                             QString path = Schema::DatabaseLocation());

    // Takes a lookup's result as the panel's holder and state. A failed lookup keeps the card
    // number only, with nothing to save.
    void apply(const CardholderLookup& lookup);

    // Stores `fields` by the state: over the row of the looked-up 卡号, or as a new row with
    // "null" for the values the panel does not show, with its audit entry (the account of the
    // login). Empties the panel when done; a refused or failed save leaves fields and state as
    // they were.
    ProfileOutcome save();

    void reset();
    // Why the last save was refused by the store, as the desk shows it; empty otherwise.
    QString failure() const { return m_failure; }
    // What a save does, by the state the last lookup left.
    HolderState state() const { return m_state; }

    Cardholder fields;

private:
    QString m_failure;
    HolderState m_state = HolderNone;
    Dialogs* m_dialogs;
    QString m_account;
    QString m_path;
};

// The text the desk shows for an outcome, for the panel's card number and the save's failure;
// empty for Reset.
QString ProfileMessage(ProfileOutcome outcome, const QString& cardNo = {},
                       const QString& failure = {});

} // namespace velkar
