#include "desk/CardholderPanel.h"

#include "base/Messages.h"
#include "data/AdoConn.h"
#include "data/Text.h"
#include "records/CardholderArchive.h"

namespace velkar {

CardholderPanel::CardholderPanel(Dialogs* dialogs, QString account, QString path)
    : m_dialogs(dialogs), m_account(std::move(account)), m_path(std::move(path)) {}

void CardholderPanel::apply(const CardholderLookup& lookup) {
    fields = lookup.holder;
    m_state = lookup.ok ? lookup.state : HolderNone;
}

ProfileOutcome CardholderPanel::save() {
    const HolderState state = m_state;
    m_failure.clear();
    if (state != HolderExisting && state != HolderNew) {
        reset();
        return ProfileOutcome::Reset;
    }
    if (fields.cardSerial.isEmpty() || fields.cardNo.isEmpty() || fields.name.isEmpty() ||
        fields.phone.isEmpty())
        return ProfileOutcome::MissingFields;
    for (const QString& field : {fields.cardSerial, fields.cardNo, fields.name, fields.idNumber,
                                 fields.phone, fields.address})
        if (!IsStorableText(field))
            return ProfileOutcome::UnstorableText;
    // The reader's card number, under the archive's rule all the same.
    const QString cardNo = CardNumberFromTyped(fields.cardNo);
    if (cardNo.isEmpty())
        return ProfileOutcome::InvalidCardNo;
    Cardholder saved = fields;
    saved.cardNo = cardNo;
    if (state == HolderNew) {
        saved.idNumber = QStringLiteral("null");
        saved.address = QStringLiteral("null");
    }
    CAdoConn conn(m_dialogs, m_path);
    conn.OpenConnection();
    ArchiveOutcome outcome;
    try {
        // By its 卡号, not by a position: rows may have come or gone since the lookup.
        CardholderArchive archive(conn.require(), m_account);
        outcome =
            state == HolderExisting ? archive.change(saved.cardNo, saved) : archive.add(saved);
    } catch (const DataError& e) {
        outcome = ArchiveOutcome::From(e);
    }
    if (!outcome.ok()) {
        m_failure = ArchiveMessage(outcome);
        return outcome.result == ArchiveOutcome::Duplicate ? ProfileOutcome::Duplicate
                                                           : ProfileOutcome::Failed;
    }
    const ProfileOutcome done =
        state == HolderExisting ? ProfileOutcome::Updated : ProfileOutcome::Added;
    reset();
    return done;
}

void CardholderPanel::reset() {
    m_state = HolderNone;
    fields = {};
}

QString ProfileMessage(ProfileOutcome outcome, const QString& cardNo, const QString& failure) {
    switch (outcome) {
    case ProfileOutcome::InvalidCardNo:
        return Messages::CardNoInvalid(cardNo);
    case ProfileOutcome::MissingFields:
        return Messages::BasicInfoEmpty();
    case ProfileOutcome::UnstorableText:
        return UnstorableTextMessage;
    case ProfileOutcome::Updated:
        return Messages::ProfileUpdated();
    case ProfileOutcome::Added:
        return Messages::ProfileAdded();
    case ProfileOutcome::Duplicate:
        return Messages::DuplicateCardNo();
    case ProfileOutcome::Failed:
        return failure.isEmpty() ? Messages::OperationFailed() : failure;
    case ProfileOutcome::Reset:
        break;
    }
    return {};
}

} // namespace velkar
