#include "data/Cardholder.h"

#include "base/Messages.h"
#include "data/AdoConn.h"

namespace velkar {

Cardholder Cardholder::Read(const Recordset& rows) {
    const QStringList& c = Schema::CardholderColumns;
    return {rows.GetCollect(c[0]), rows.GetCollect(c[1]), rows.GetCollect(c[2]),
            rows.GetCollect(c[3]), rows.GetCollect(c[4]), rows.GetCollect(c[5])};
}

void Cardholder::Write(Recordset& rows) const {
    const QString values[] = {cardSerial, cardNo, name, idNumber, phone, address};
    for (int i = 0; i < Schema::CardholderColumns.size(); ++i)
        rows.PutCollect(Schema::CardholderColumns[i], values[i]);
    rows.Update();
}

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

CardholderLookup FindCardholder(const Connection& connection, const QString& cardNo) {
    CardholderLookup lookup;
    lookup.holder.cardNo = cardNo;
    try {
        // The recordset's own statement; the first column is the rowid.
        Query query(connection, SelectText(Statements::CardholderByCardNo));
        query.bind(1, cardNo);
        if (query.next()) {
            lookup.holder = {query.text(1), query.text(2), query.text(3),
                             query.text(4), query.text(5), query.text(6)};
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
