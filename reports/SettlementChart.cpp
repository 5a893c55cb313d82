#include "reports/SettlementChart.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QGraphicsScene>
#include <QPainter>
#include <QValueAxis>

namespace {

// More days than this and their names would overlap: the bars go unnamed.
constexpr int NamedDays = 62;

} // namespace

QChart* DailyNetChart(const Settlement::Result& result) {
    auto* chart = new QChart;
    chart->setTitle(QStringLiteral("每日净额（元）"));
    chart->legend()->hide();
    chart->setAnimationOptions(QChart::NoAnimation);
    auto* set = new QBarSet(QStringLiteral("净额"));
    set->setColor(QColor(0x3b, 0x6e, 0xa5));
    QStringList days;
    qint64 low = 0, high = 0;
    for (const auto& [day, net] : result.dailyNet()) {
        *set << double(net);
        days << day.mid(5); // MM-dd
        low = std::min(low, net);
        high = std::max(high, net);
    }
    auto* series = new QBarSeries;
    series->append(set);
    chart->addSeries(series);
    auto* x = new QBarCategoryAxis;
    x->append(days);
    x->setLabelsAngle(days.size() > 10 ? -90 : 0);
    x->setLabelsVisible(days.size() <= NamedDays);
    chart->addAxis(x, Qt::AlignBottom);
    series->attachAxis(x);
    auto* y = new QValueAxis;
    y->setRange(double(low), double(std::max<qint64>(high, low + 1)));
    y->applyNiceNumbers();
    y->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(y);
    return chart;
}

void PaintDailyNetChart(QPainter& painter, const QRectF& target, const Settlement::Result& result) {
    QGraphicsScene scene;
    QChart* chart = DailyNetChart(result);
    scene.addItem(chart); // the scene owns it
    const QSizeF size(800, 800 * target.height() / std::max(target.width(), 1.0));
    chart->resize(size);
    scene.setSceneRect(QRectF(QPointF(0, 0), size));
    scene.render(&painter, target, scene.sceneRect());
}
