#include "desk/CardholderPanel.h"

#include "base/Messages.h"
#include "data/AdoConn.h"
#include "data/Audit.h"
#include "data/Text.h"
#include "users/Accounts.h"

namespace velkar {

std::atomic<std::uint8_t> g_holderState{HolderNone};

namespace {

const QString CardNoColumn = QStringLiteral("卡号");

} // namespace

CardholderPanel::CardholderPanel(Dialogs* dialogs, QString path)
    : m_dialogs(dialogs), m_path(std::move(path)) {}

void CardholderPanel::apply(const CardholderLookup& lookup) {
    fields = lookup.holder;
    g_holderState = lookup.ok ? lookup.state : HolderNone;
}

ProfileOutcome CardholderPanel::save() {
    const std::uint8_t state = g_holderState;
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
    try {
        CAdoConn conn(m_dialogs, m_path);
        conn.OpenConnection();
        RecordsetPtr rows = conn.OpenRecordset(Statements::Cardholders);
        if (!conn.isConnected())
            return ProfileOutcome::Failed;
        // The row and its trail entry commit together, as the archive window's do.
        Transaction write(*conn.connection(), Transaction::Write);
        if (state == HolderExisting) {
            // By its 卡号, not by a position: rows may have come or gone since the lookup.
            rows->Filter({CardNoColumn, saved.cardNo});
            rows->Requery();
            if (rows->IsEOF())
                return ProfileOutcome::Failed;
            const Cardholder before = Cardholder::Read(*rows);
            saved.Write(*rows);
            Audit::Append(*conn.connection(), g_account, Audit::ThisDesk(),
                          Audit::CardholderChanged,
                          Messages::ChangedFromTo(before.DetailText(), saved.DetailText()));
        } else {
            rows->AddNew();
            saved.Write(*rows);
            Audit::Append(*conn.connection(), g_account, Audit::ThisDesk(), Audit::CardholderAdded,
                          saved.DetailText());
        }
        write.commit();
        conn.CloseRecordset();
        conn.CloseConnection();
    } catch (const DataError&) {
        return ProfileOutcome::Failed;
    }
    const ProfileOutcome done =
        state == HolderExisting ? ProfileOutcome::Updated : ProfileOutcome::Added;
    reset();
    return done;
}

void CardholderPanel::reset() {
    g_holderState = HolderNone;
    fields = {};
}

QString ProfileMessage(ProfileOutcome outcome, const QString& cardNo) {
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
    case ProfileOutcome::Failed:
        return Messages::OperationFailed();
    case ProfileOutcome::Reset:
        break;
    }
    return {};
}

} // namespace velkar
