#include "records/CardholderArchive.h"

#include "base/Messages.h"
#include "base/TextTable.h"
#include "data/Audit.h"
#include "data/Connection.h"

namespace velkar {

namespace {

// Runs `step` in a write transaction; a refusal or failure of the store becomes the outcome.
template <typename Step> ArchiveOutcome written(const Connection& connection, Step step) {
    try {
        Transaction write(connection, Transaction::Write);
        const ArchiveOutcome outcome = step();
        if (outcome.ok())
            write.commit();
        return outcome;
    } catch (const DataError& e) {
        return ArchiveOutcome::From(e);
    }
}

} // namespace

ArchiveOutcome ArchiveOutcome::From(const DataError& error) {
    if (error.failure() == DataFailure::Constraint)
        return {Duplicate, error.description()};
    // Why a connection could not be made was shown as it failed.
    if (error.failure() == DataFailure::NotOpen)
        return {Failed, {}};
    return {Failed, error.description()};
}

QString ArchiveMessage(const ArchiveOutcome& outcome) {
    switch (outcome.result) {
    case ArchiveOutcome::Done:
        return {};
    case ArchiveOutcome::Duplicate:
        return Messages::DuplicateCardNo();
    case ArchiveOutcome::NotFound:
        return Messages::OperationFailed();
    case ArchiveOutcome::Failed:
        break;
    }
    return outcome.reason.isEmpty() ? Messages::OperationFailed()
                                    : Messages::OperationFailedWith(outcome.reason);
}

CardholderArchive::CardholderArchive(const Connection& connection, QString account)
    : m_connection(connection), m_account(std::move(account)) {}

ArchiveOutcome CardholderArchive::add(const Cardholder& holder) {
    return written(m_connection, [&] {
        AddCardholder(m_connection, holder);
        Audit::Append(m_connection, m_account, Audit::ThisDesk(), Audit::CardholderAdded,
                      holder.DetailText());
        return ArchiveOutcome{ArchiveOutcome::Done, {}};
    });
}

ArchiveOutcome CardholderArchive::change(const QString& cardNo, const Cardholder& holder) {
    return written(m_connection, [&] {
        const std::optional<Cardholder> before = ReadCardholder(m_connection, cardNo);
        if (!before || !ChangeCardholder(m_connection, cardNo, holder))
            return ArchiveOutcome{ArchiveOutcome::NotFound, {}};
        Audit::Append(m_connection, m_account, Audit::ThisDesk(), Audit::CardholderChanged,
                      Messages::ChangedFromTo(before->DetailText(), holder.DetailText()));
        return ArchiveOutcome{ArchiveOutcome::Done, {}};
    });
}

ArchiveOutcome CardholderArchive::remove(const QString& cardNo) {
    return written(m_connection, [&] {
        const std::optional<Cardholder> before = ReadCardholder(m_connection, cardNo);
        if (!before || !DeleteCardholder(m_connection, cardNo))
            return ArchiveOutcome{ArchiveOutcome::NotFound, {}};
        Audit::Append(m_connection, m_account, Audit::ThisDesk(), Audit::CardholderDeleted,
                      before->DetailText());
        return ArchiveOutcome{ArchiveOutcome::Done, {}};
    });
}

const QStringList& CardholderArchive::SearchFields() {
    static const QStringList fields{"卡号", "姓名", "身份证", "电话", "地址", "卡序号"};
    return fields;
}

ArchiveSearch CardholderArchive::search(const QString& field, const QString& text) const {
    // One statement per column, so no column name ever comes from the user.
    const char* sql = nullptr;
    for (const Statements::CardholderSearch& s : Statements::CardholderSearches)
        if (field == QString::fromUtf8(s.column))
            sql = s.sql;
    if (!sql)
        return {{ArchiveOutcome::Failed, Messages::UnknownSearchField(field)}, nullptr};
    QString searched = text;
    if (field == QStringLiteral("卡号")) {
        const QString cardNo = CardNumberFromTyped(text);
        if (!cardNo.isEmpty())
            searched = cardNo;
    }
    try {
        Query query(m_connection, QString::fromUtf8(sql));
        query.bind(1, searched);
        auto table = std::make_shared<TextTable>(6);
        int length = 0;
        while (query.next()) {
            table->beginRow();
            for (int c = 0; c < 6; ++c) {
                const char* bytes = query.utf8(c, &length);
                table->addCell(QByteArrayView(bytes, length));
            }
        }
        return {{ArchiveOutcome::Done, {}}, std::move(table)};
    } catch (const DataError& e) {
        return {ArchiveOutcome::From(e), nullptr};
    }
}

} // namespace velkar
