#include "data/Cardholder.h"

#include "data/AdoConn.h"

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
