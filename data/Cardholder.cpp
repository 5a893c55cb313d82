#include "data/Cardholder.h"

#include "base/Messages.h"
#include "data/Connection.h"

namespace velkar {

QString Cardholder::DetailText() const {
    return Messages::CardholderDetail(cardSerial, cardNo, name, idNumber, phone, address);
}

bool IsCardNumber(const QString& text) {
    if (text.size() != 8)
        return false;
    for (const QChar c : text)
        if (!((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F')))
            return false;
    return true;
}

QString CardNumberFromTyped(const QString& typed) {
    const QString text = typed.normalized(QString::NormalizationForm_KC).trimmed().toUpper();
    return IsCardNumber(text) ? text : QString();
}

namespace {

Cardholder rowOf(const Query& query) {
    return {query.text(0), query.text(1), query.text(2),
            query.text(3), query.text(4), query.text(5)};
}

void bindColumns(Query& query, const Cardholder& holder) {
    const QString values[] = {holder.cardSerial, holder.cardNo, holder.name,
                              holder.idNumber,   holder.phone,  holder.address};
    for (int i = 0; i < 6; ++i)
        query.bind(i + 1, values[i]);
}

} // namespace

std::optional<Cardholder> ReadCardholder(const Connection& connection, const QString& cardNo) {
    Query query(connection, QString::fromUtf8(Statements::CardholderOf));
    query.bind(1, cardNo);
    if (!query.next())
        return std::nullopt;
    return rowOf(query);
}

void AddCardholder(const Connection& connection, const Cardholder& holder) {
    Query query(connection, QString::fromUtf8(Statements::AddCardholder));
    bindColumns(query, holder);
    query.next();
}

bool ChangeCardholder(const Connection& connection, const QString& cardNo,
                      const Cardholder& holder) {
    Query query(connection, QString::fromUtf8(Statements::ChangeCardholder));
    bindColumns(query, holder);
    query.bind(7, cardNo);
    const bool changed = query.next();
    query.reset(); // ends the statement, so that its transaction can commit
    return changed;
}

bool DeleteCardholder(const Connection& connection, const QString& cardNo) {
    Query query(connection, QString::fromUtf8(Statements::DeleteCardholder));
    query.bind(1, cardNo);
    const bool deleted = query.next();
    query.reset();
    return deleted;
}

CardholderLookup FindCardholder(const Connection& connection, const QString& cardNo) {
    CardholderLookup lookup;
    lookup.holder.cardNo = cardNo;
    try {
        if (const auto holder = ReadCardholder(connection, cardNo)) {
            lookup.holder = *holder;
            lookup.state = HolderExisting;
        } else {
            lookup.state = HolderNew;
        }
        lookup.ok = true;
    } catch (const DataError&) {
        lookup = {};
        lookup.holder.cardNo = cardNo;
    }
    return lookup;
}

} // namespace velkar
