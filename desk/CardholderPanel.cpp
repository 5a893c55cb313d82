#include "desk/CardholderPanel.h"

#include "base/Messages.h"
#include "data/AdoConn.h"
#include "data/Text.h"

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
    if (state == HolderNew) {
        fields.idNumber = QStringLiteral("null");
        fields.address = QStringLiteral("null");
    }
    try {
        CAdoConn conn(m_dialogs, m_path);
        conn.OpenConnection();
        RecordsetPtr rows = conn.OpenRecordset(Statements::Cardholders);
        if (state == HolderExisting) {
            // By its 卡号, not by a position: rows may have come or gone since the lookup.
            rows->Filter({CardNoColumn, fields.cardNo});
            rows->Requery();
            if (rows->IsEOF())
                return ProfileOutcome::Failed;
        } else {
            rows->AddNew();
        }
        fields.Write(*rows);
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

QString ProfileMessage(ProfileOutcome outcome) {
    switch (outcome) {
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
