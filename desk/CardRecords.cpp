#include "desk/CardRecords.h"

#include "data/AdoConn.h"

int CardAmountValue(const QString& amount) {
    const bool negative = amount.startsWith(QLatin1Char('-'));
    const QStringView digits = QStringView(amount).mid(negative ? 1 : 0);
    if (digits.isEmpty() || digits.size() > 4)
        return 0;
    int value = 0;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
        value = value * 10 + (c.unicode() - '0');
    }
    return negative ? -value : value;
}

CardRecordList ReadCardRecords(Dialogs* dialogs, const QString& cardNo, const QString& path) {
    CAdoConn conn(dialogs, path);
    conn.OpenConnection();
    RecordsetPtr records = conn.OpenRecordset(Statements::Records);
    records->Filter({QStringLiteral("卡号"), cardNo});
    records->Requery();
    CardRecordList list;
    while (!records->IsEOF()) {
        CardRecordRow row{records->GetCollect(QStringLiteral("卡号")),
                          records->GetCollect(QStringLiteral("日期")),
                          records->GetCollect(QStringLiteral("金额"))};
        list.total += CardAmountValue(row.amount);
        list.rows.append(std::move(row));
        records->MoveNext();
    }
    conn.CloseRecordset();
    conn.CloseConnection();
    return list;
}
