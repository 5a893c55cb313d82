#include "reports/Report.h"

#include "data/AdoConn.h"

#include <QStringEncoder>

#include <string>
#include <unordered_map>

namespace {

char16_t unit(QChar c) {
    return c.unicode();
}
char16_t unit(char c) {
    return char16_t(static_cast<unsigned char>(c));
}

template <typename Text> int amountValue(const Text& text) {
    if (text.isEmpty() || text.size() > 5)
        return 0;
    const bool negative = text[0] == '-';
    int value = 0;
    for (qsizetype i = negative ? 1 : 0; i < text.size(); ++i) {
        const int c = int(unit(text[i]));
        if (c < '0' || c > '9')
            return 0;
        value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

} // namespace

int AmountValue(QStringView text) {
    return amountValue(text);
}

int AmountValue(QByteArrayView text) {
    return amountValue(text);
}

QString PageNumberText(int number) {
    if (number < 0 || number > 9999)
        return {};
    return QString::number(number);
}

int CodePage936Length(const QString& text) {
    QStringEncoder encoder("GBK");
    if (encoder.isValid())
        return int(QByteArray(encoder.encode(text)).size());
    // Without the codec, every non-ASCII character of a Chinese title takes two bytes.
    int length = 0;
    for (QChar c : text)
        length += c.unicode() < 0x80 ? 1 : 2;
    return length;
}

Report CollectReport(const Connection& connection, const QString& startBound,
                     const QString& endBound) {
    // Room for the whole archive and its index in the page cache: the name lookups of a long
    // range touch every page of it, again and again.
    Query cache(connection, QStringLiteral("PRAGMA cache_size = -65536"));
    cache.next();

    Query records(connection, QString::fromUtf8(Sql::RecordsBetween));
    records.bind(1, startBound);
    records.bind(2, endBound);
    Query lookup(connection, QString::fromUtf8(Sql::CardholderName));
    // Each card's name is looked up once: a year of records has far fewer cards than rows.
    std::unordered_map<std::string, std::string> names;
    std::string key;

    Report report;
    TextTable& rows = *report.rows;
    int length = 0;
    while (records.next()) {
        rows.beginRow();
        const char* card = records.utf8(0, &length);
        const QByteArray cardNo = QByteArray::fromRawData(card, length);
        rows.addCell(cardNo);
        const char* date = records.utf8(1, &length);
        rows.addCell(QByteArrayView(date, length));
        const char* amount = records.utf8(2, &length);
        rows.addCell(QByteArrayView(amount, length));
        report.total += AmountValue(QByteArrayView(amount, length));

        key.assign(card, std::size_t(cardNo.size()));
        auto name = names.find(key);
        if (name == names.end()) {
            lookup.reset();
            lookup.bind(1, QString::fromUtf8(cardNo));
            std::string found;
            if (lookup.next()) {
                const char* bytes = lookup.utf8(0, &length);
                found.assign(bytes, std::size_t(length));
            }
            name = names.emplace(key, std::move(found)).first;
        }
        rows.addCell(QByteArrayView(name->second.data(), qsizetype(name->second.size())));
    }
    return report;
}
