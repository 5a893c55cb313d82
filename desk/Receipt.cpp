#include "desk/Receipt.h"

#include "base/Messages.h"
#include "data/AdoConn.h"
#include "data/CashRule.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>

namespace velkar {

namespace Receipt {

namespace {

// The roll's look, by its width: margins, the sizes of text and the pitch of its lines.
struct Geometry {
    qreal margin; // mm, left and right
    qreal top;    // mm
    qreal titlePoints;
    qreal points;
    qreal titlePitch; // mm
    qreal pitch;      // mm
    qreal tail;       // mm left blank under the last line, for the cutter
};

Geometry geometryFor(int widthMm) {
    if (widthMm >= 80)
        return {4, 4, 12, 10, 8, 5.2, 12};
    return {2.5, 3, 11, 9, 7, 4.6, 10};
}

QFont songFont(qreal points, bool bold = false) {
    QFont font(QStringLiteral("宋体"));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

} // namespace

std::optional<Slip> Read(const Connection& connection, qint64 journalId) {
    Query q(connection, QString::fromUtf8(Statements::BookedCommand));
    q.bind(1, journalId);
    if (!q.next())
        return std::nullopt;
    Slip slip;
    slip.journalId = q.integer(0);
    slip.cardNo = q.text(1);
    const bool clear = q.text(2) == Journal::OperationName(Journal::Operation::Clear);
    slip.balanceBefore = int(q.integer(4));
    slip.balanceAfter = q.isNull(5) ? 0 : int(q.integer(5));
    slip.operatorName = q.text(6);
    slip.desk = q.text(7);
    slip.time = q.text(8);
    slip.amount = q.integer(9);
    slip.holder = q.text(10);
    slip.kind = Cash::KindText(
        Cash::KindOf({clear ? Journal::Operation::Clear : Journal::Operation::Recharge, slip.amount,
                      q.text(11)}));
    return slip;
}

int WidthMm(Settings::Receipt paper) {
    switch (paper) {
    case Settings::Receipt::Mm58:
        return 58;
    case Settings::Receipt::Mm80:
        return 80;
    case Settings::Receipt::Off:
        break;
    }
    return 0;
}

QString Title(const Slip& slip) {
    return slip.reprint ? Messages::ReceiptCopyTitle() : Messages::ReceiptTitle();
}

QList<std::pair<QString, QString>> Fields(const Slip& s) {
    const auto yuan = [](qint64 tenths) { return Messages::YuanAmount(Cash::YuanText(tenths)); };
    return {{Messages::ReceiptDesk(), s.desk},
            {Messages::ReceiptOperator(), s.operatorName},
            {Messages::ReceiptTime(), s.time},
            {Messages::ReceiptCard(), s.cardNo},
            {Messages::ReceiptHolder(), s.holder},
            {Messages::ReceiptKind(), s.kind},
            {Messages::ReceiptAmount(), yuan(s.amount * 10)},
            {Messages::ReceiptBefore(), yuan(s.balanceBefore)},
            {Messages::ReceiptAfter(), yuan(s.balanceAfter)},
            {Messages::ReceiptJournal(), QString::number(s.journalId)}};
}

qreal HeightMm(const Slip& slip, int widthMm) {
    const Geometry g = geometryFor(widthMm);
    // The title, the fields, a rule and the thanks under it.
    return g.top + g.titlePitch + qreal(Fields(slip).size() + 2) * g.pitch + g.tail;
}

void Draw(QPainter& painter, const Slip& slip, int widthMm) {
    const Geometry g = geometryFor(widthMm);
    const qreal dotsX = painter.device()->logicalDpiX() / 25.4;
    const qreal dotsY = painter.device()->logicalDpiY() / 25.4;
    const qreal left = g.margin * dotsX;
    const qreal right = (widthMm - g.margin) * dotsX;
    qreal y = g.top * dotsY;
    painter.setPen(Qt::black);

    painter.setFont(songFont(g.titlePoints, true));
    painter.drawText(QRectF(left, y, right - left, g.titlePitch * dotsY),
                     Qt::AlignHCenter | Qt::AlignTop, Title(slip));
    y += g.titlePitch * dotsY;

    const QFont font = songFont(g.points);
    painter.setFont(font);
    const QFontMetricsF metrics(font, painter.device());
    for (const auto& [label, value] : Fields(slip)) {
        const qreal labelWidth = metrics.horizontalAdvance(label);
        painter.drawText(QPointF(left, y + metrics.ascent()), label);
        // The value stands at the right edge; a long one (a name) is cut short with an ellipsis.
        const QString shown = metrics.elidedText(
            value, Qt::ElideRight, right - left - labelWidth - metrics.averageCharWidth());
        painter.drawText(QPointF(right - metrics.horizontalAdvance(shown), y + metrics.ascent()),
                         shown);
        y += g.pitch * dotsY;
    }
    const qreal rule = y + g.pitch * dotsY / 2;
    painter.setPen(QPen(Qt::black, std::max(1.0, dotsX * 0.2), Qt::DashLine));
    painter.drawLine(QPointF(left, rule), QPointF(right, rule));
    painter.setPen(Qt::black);
    y += g.pitch * dotsY;
    painter.drawText(QRectF(left, y, right - left, g.pitch * dotsY),
                     Qt::AlignHCenter | Qt::AlignTop, Messages::ReceiptThanks());
}

} // namespace Receipt

} // namespace velkar
