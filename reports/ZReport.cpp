#include "reports/ZReport.h"

#include "base/Messages.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>

namespace velkar {

namespace ZReport {

namespace {

constexpr int LinePitch = 200; // layout units of 1/600 inch, as the table's rows
constexpr int SignatureLines = 2;

QString money(const std::optional<qint64>& tenths) {
    return tenths ? Messages::YuanAmount(Cash::YuanText(*tenths)) : Messages::NotCounted();
}

// Lines of text from the top of `area`, one to a pitch of `pitch` device pixels.
void drawLines(QPainter& painter, const QRectF& area, const QStringList& lines, qreal pitch) {
    QFont font(QStringLiteral("宋体"));
    font.setPointSizeF(12);
    painter.setFont(font);
    painter.setPen(Qt::black);
    const QFontMetricsF metrics(font, painter.device());
    qreal y = area.top();
    for (const QString& line : lines) {
        painter.drawText(QPointF(area.left(), y + metrics.ascent()), line);
        y += pitch;
    }
}

} // namespace

QStringList HeadLines(const Shifts::Shift& s) {
    return {Messages::ZHeadDesk(s.desk, s.z ? *s.z : 0),
            Messages::ZHeadOperator(s.operatorName, s.closedBy),
            Messages::ZHeadPeriod(s.id, s.openedAt, s.closedAt)};
}

QStringList FigureLines(const Shifts::Shift& s) {
    return {Messages::ZFloat(money(s.cashFloat)),
            Messages::ZMoved(money(s.expected)),
            Messages::ZExpected(money(s.drawer())),
            Messages::ZCounted(money(s.counted)),
            Messages::ZDifference(s.difference() ? money(s.difference()) : QString()),
            Messages::ZSeal(s.seal, s.auditId)};
}

QList<QStringList> Rows(const Shifts::Shift& s) {
    QList<QStringList> rows;
    qint64 count = 0, amount = 0, cash = 0;
    for (const Shifts::KindTotal& t : s.totals) {
        rows << QStringList{Cash::KindText(t.kind), QString::number(t.count),
                            QString::number(t.amount), Cash::YuanText(t.cash)};
        count += t.count;
        amount += t.amount;
        cash += t.cash;
    }
    rows << QStringList{Messages::Total(), QString::number(count), QString::number(amount),
                        Cash::YuanText(cash)};
    return rows;
}

TableDocument Document(const Shifts::Shift& shift, const QString& printedAt, bool copy) {
    TableDocument d;
    d.title = copy ? Messages::ZReportCopyTitle() : Messages::ZReportTitle();
    d.reportDate = printedAt;
    d.headings = Messages::ZReportHeadings();
    d.columnWidths = {1000, 1000, 1000, 1000};
    d.rows = Rows(shift);
    const QStringList head = HeadLines(shift);
    d.aboveHeight = int(head.size()) * LinePitch + LinePitch / 2;
    d.above = [head](QPainter& painter, const QRectF& area) {
        drawLines(painter, area, head, area.height() / (qreal(head.size()) + 0.5));
    };
    QStringList under = FigureLines(shift);
    under << QString() << Messages::ZSignatureLine();
    d.belowHeight = int(under.size() + SignatureLines) * LinePitch;
    d.below = [under](QPainter& painter, const QRectF& area) {
        drawLines(painter, area, under, area.height() / qreal(under.size() + SignatureLines));
    };
    return d;
}

} // namespace ZReport

} // namespace velkar
