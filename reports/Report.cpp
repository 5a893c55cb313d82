#include "reports/Report.h"

#include "data/AdoConn.h"
#include "data/Amount.h"
#include "data/CashRule.h"
#include "data/RecordDays.h"

#include <QStringEncoder>

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
    return RecordDays::Recount(connection, startBound, endBound, newest).total;
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

namespace {

// Moves the few records that served a correction or a replacement from the plain kinds to their
// own, and adds the payouts, to cash worked out as if every record were plain: a positive amount
// a recharge, a negative one a clear.
void addLinkedCash(const Connection& connection, const QString& startBound, const QString& endBound,
                   qint64 newest, qint64 newestPaid, CashTotals& cash) {
    Query linked(connection, Statements::LinkedRecordsBetween);
    linked.bind(1, startBound);
    linked.bind(2, endBound);
    linked.bind(3, std::int64_t(newest));
    while (linked.next()) {
        const qint64 amount = linked.integer(1);
        if (amount > 0)
            cash.in -= amount * 10;
        else
            cash.out += amount * 10;
        const Cash::Booking booking{std::nullopt, amount, linked.text(0)};
        if (Cash::KindOf(booking) == Cash::Kind::Recharge)
            cash.in += Cash::CashOf(booking);
        else
            cash.out -= Cash::CashOf(booking);
        cash.linked = true;
    }
    Query paid(connection, QString::fromUtf8(Statements::PayoutsBetween));
    paid.bind(1, startBound);
    paid.bind(2, endBound);
    paid.bind(3, std::int64_t(newestPaid));
    while (paid.next()) {
        const qint64 tenths = -Cash::CashOf(Cash::Payout{paid.text(0), paid.integer(1)});
        cash.out += tenths;
        cash.paid += tenths;
        cash.linked = true;
    }
}

ReportSums sumsOf(const RecordDays::Sums& records) {
    ReportSums sums;
    sums.total = records.total;
    sums.cash.in = (records.total - records.negative) * 10;
    sums.cash.out = -records.negative * 10;
    return sums;
}

} // namespace

ReportSums SumReport(const Connection& connection, const QString& startBound,
                     const QString& endBound, qint64 newest, qint64 newestPaid) {
    ReportSums sums = sumsOf(RecordDays::Recount(connection, startBound, endBound, newest));
    addLinkedCash(connection, startBound, endBound, newest, newestPaid, sums.cash);
    return sums;
}

Report CollectReport(std::shared_ptr<const Connection> connection, const QString& startBound,
                     const QString& endBound) {
    // The count, total and positions come from one state of the store, whatever is booked
    // meanwhile; records and payouts are only ever appended, so the rows read later are bounded
    // by the newest ones.
    Transaction read(*connection, Transaction::Read);
    Report report;
    Query newest(*connection, QString::fromUtf8(Statements::NewestRecord));
    report.newest = newest.next() ? newest.integer(0) : 0;
    Query newestPaid(*connection, QString::fromUtf8(Statements::NewestPayout));
    report.newestPaid = newestPaid.next() ? newestPaid.integer(0) : 0;
    RecordDays::Range range = RecordDays::Read(connection, startBound, endBound, report.newest);
    ReportSums sums = sumsOf(range.sums);
    addLinkedCash(*connection, startBound, endBound, report.newest, report.newestPaid, sums.cash);
    report.total = sums.total;
    report.cash = sums.cash;
    report.rows = std::make_shared<RecordRows>(std::move(range.rows));
    read.commit();
    return report;
}

} // namespace velkar
