#include "reports/Report.h"

#include "data/AdoConn.h"
#include "data/Amount.h"
#include "data/CashRule.h"
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

namespace {

std::optional<Journal::Operation> operationOf(const QString& name) {
    if (name.isEmpty())
        return std::nullopt;
    return name == Journal::OperationName(Journal::Operation::Clear) ? Journal::Operation::Clear
                                                                     : Journal::Operation::Recharge;
}

Cash::Booking bookingOf(const QString& amount, const QString& operation, const QString& link) {
    return {operationOf(operation), AmountValue(QStringView(amount), ReportAmountLimit), link};
}

// The paged rows with the kind and cash each record's cells give.
class RecordRows : public TextRows {
public:
    explicit RecordRows(std::shared_ptr<const TextRows> rows) : m_rows(std::move(rows)) {}
    qsizetype count() const override { return m_rows->count(); }
    QString text(qsizetype row, int column) const override {
        if (column != Report::Kind && column != Report::Cash)
            return m_rows->text(row, column);
        if (row < 0 || row >= count())
            return {};
        const QString amount = m_rows->text(row, Report::Amount);
        const QString operation = m_rows->text(row, Report::Operation);
        const QString link = m_rows->text(row, Report::Link);
        return column == Report::Kind ? RecordKindText(amount, operation, link)
                                      : RecordCashText(amount, operation, link);
    }

private:
    std::shared_ptr<const TextRows> m_rows;
};

} // namespace

QString RecordKindText(const QString& amount, const QString& operation, const QString& link) {
    return Cash::KindText(Cash::KindOf(bookingOf(amount, operation, link)));
}

qint64 RecordCash(const QString& amount, const QString& operation, const QString& link) {
    return Cash::CashOf(bookingOf(amount, operation, link));
}

QString RecordCashText(const QString& amount, const QString& operation, const QString& link) {
    return Cash::YuanText(RecordCash(amount, operation, link));
}

ReportSums SumReport(const Connection& connection, const QString& startBound,
                     const QString& endBound, qint64 newest, qint64 newestPaid) {
    ReportSums sums;
    {
        Query total(connection, Statements::RecordsBetweenTotal);
        total.bind(1, startBound);
        total.bind(2, endBound);
        total.bind(3, std::int64_t(newest));
        total.next();
        sums.total = total.integer(1);
        // Every record as if plain: a positive amount a recharge, a negative one a clear.
        const qint64 negative = total.integer(2);
        sums.cash.in = (sums.total - negative) * 10;
        sums.cash.out = -negative * 10;
    }
    // Then the few that served a correction or a replacement, moved to their own kind.
    Query linked(connection, Statements::LinkedRecordsBetween);
    linked.bind(1, startBound);
    linked.bind(2, endBound);
    linked.bind(3, std::int64_t(newest));
    while (linked.next()) {
        const qint64 amount = linked.integer(1);
        if (amount > 0)
            sums.cash.in -= amount * 10;
        else
            sums.cash.out += amount * 10;
        const Cash::Booking booking{std::nullopt, amount, linked.text(0)};
        if (Cash::KindOf(booking) == Cash::Kind::Recharge)
            sums.cash.in += Cash::CashOf(booking);
        else
            sums.cash.out -= Cash::CashOf(booking);
        sums.cash.linked = true;
    }
    Query paid(connection, QString::fromUtf8(Statements::PayoutsBetween));
    paid.bind(1, startBound);
    paid.bind(2, endBound);
    paid.bind(3, std::int64_t(newestPaid));
    while (paid.next()) {
        const qint64 tenths = -Cash::CashOf(Cash::Payout{paid.text(0), paid.integer(1)});
        sums.cash.out += tenths;
        sums.cash.paid += tenths;
        sums.cash.linked = true;
    }
    return sums;
}

Report CollectReport(std::shared_ptr<const Connection> connection, const QString& startBound,
                     const QString& endBound, bool withTotal, const Connection* totalsOn) {
    // The count, total and positions come from one state of the file, whatever is booked
    // meanwhile.
    Transaction read(*connection, Transaction::Read);
    Report report;
    std::future<ReportSums> total;
    try {
        Query newest(*connection, QString::fromUtf8(Statements::NewestRecord));
        report.newest = newest.next() ? newest.integer(0) : 0;
        Query newestPaid(*connection, QString::fromUtf8(Statements::NewestPayout));
        report.newestPaid = newestPaid.next() ? newestPaid.integer(0) : 0;
        // Records and payouts are only ever appended: bounded by the newest ones, another
        // connection sums the same rows, on another core while the positions are read.
        if (withTotal && totalsOn)
            total = std::async(std::launch::async,
                               [=, newest = report.newest, paid = report.newestPaid] {
                                   return SumReport(*totalsOn, startBound, endBound, newest, paid);
                               });
        else if (withTotal) {
            const ReportSums sums =
                SumReport(*connection, startBound, endBound, report.newest, report.newestPaid);
            report.total = sums.total;
            report.cash = sums.cash;
        }
        report.rows = std::make_shared<RecordRows>(std::make_shared<PagedRows>(
            connection,
            PagedRows::Reads{Statements::RecordPositionsBetween, Statements::RecordBlockBetween, 8},
            QStringList{startBound, endBound}));
        if (total.valid()) {
            const ReportSums sums = total.get();
            report.total = sums.total;
            report.cash = sums.cash;
        }
    } catch (const DataError&) {
        if (total.valid())
            total.wait();
        throw;
    }
    read.commit();
    return report;
}

} // namespace velkar
