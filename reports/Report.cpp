#include "reports/Report.h"

#include "data/AdoConn.h"
#include "data/PagedRows.h"

#include <QStringEncoder>

#include <future>

namespace velkar {

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

qint64 ReportTotal(const Connection& connection, const QString& startBound, const QString& endBound,
                   qint64 newest) {
    Query total(connection, Statements::RecordsBetweenTotal);
    total.bind(1, startBound);
    total.bind(2, endBound);
    total.bind(3, std::int64_t(newest));
    total.next();
    return total.integer(1);
}

Report CollectReport(std::shared_ptr<const Connection> connection, const QString& startBound,
                     const QString& endBound, bool withTotal, const Connection* totalsOn) {
    // The count, total and positions come from one state of the file, whatever is booked
    // meanwhile.
    Transaction read(*connection, Transaction::Read);
    Report report;
    std::future<qint64> total;
    try {
        Query newest(*connection, QString::fromUtf8(Statements::NewestRecord));
        report.newest = newest.next() ? newest.integer(0) : 0;
        // Records are only ever appended: bounded by the newest one, another connection sums
        // the same records, on another core while the positions are read.
        if (withTotal && totalsOn)
            total = std::async(std::launch::async, [=, newest = report.newest] {
                return ReportTotal(*totalsOn, startBound, endBound, newest);
            });
        else if (withTotal)
            report.total = ReportTotal(*connection, startBound, endBound, report.newest);
        report.rows = std::make_shared<PagedRows>(
            connection,
            PagedRows::Reads{Statements::RecordPositionsBetween, Statements::RecordBlockBetween, 6},
            QStringList{startBound, endBound});
        if (total.valid())
            report.total = total.get();
    } catch (const DataError&) {
        if (total.valid())
            total.wait();
        throw;
    }
    read.commit();
    return report;
}

} // namespace velkar
