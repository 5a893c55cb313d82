#include "reports/windows/SettlementChart.h"

#include "base/Messages.h"
#include "reports/AxisTicks.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QGraphicsScene>
#include <QPainter>
#include <QValueAxis>

namespace velkar {

namespace {

// Up to a week and a half the bars are named by month and day; up to a month by the day
// alone, which still fits under a bar; beyond that the names would be cut and go.
constexpr int FullNames = 10;
constexpr int NamedDays = 31;

} // namespace

QChart* DailyNetChart(const Settlement::Result& result) {
    auto* chart = new QChart;
    chart->setTitle(Messages::DailyNetChart());
    chart->legend()->hide();
    chart->setAnimationOptions(QChart::NoAnimation);
    auto* set = new QBarSet(Messages::Net());
    set->setColor(QColor(0x3b, 0x6e, 0xa5));
    QStringList days;
    qint64 low = 0, high = 0;
    const auto daily = result.dailyNet();
    const bool many = daily.size() > std::size_t(FullNames);
    QString month;
    int months = 0;
    for (const auto& [day, net] : daily) {
        *set << double(net);
        // Many days: the day alone, with its month where one begins. A category axis merges
        // equal names, so each later month's names carry as many zero-width spaces as months
        // went before: the same day of two months stays two bars.
        const bool newMonth = day.mid(5, 2) != month;
        if (newMonth && !month.isEmpty())
            ++months;
        month = day.mid(5, 2);
        days << (many && !newMonth ? day.mid(8) : day.mid(5)) + QString(months, QChar(0x200B));
        low = std::min(low, net);
        high = std::max(high, net);
    }
    auto* series = new QBarSeries;
    series->append(set);
    chart->addSeries(series);
    auto* x = new QBarCategoryAxis;
    x->append(days);
    x->setLabelsVisible(days.size() <= NamedDays);
    chart->addAxis(x, Qt::AlignBottom);
    series->attachAxis(x);
    // Whole yuan, every tick a different number: a day's net of 0 still gets an axis of 0 and 1.
    auto* y = new QValueAxis;
    const WholeTicks ticks = WholeTicksFor(low, high);
    y->setRange(double(ticks.min), double(ticks.max));
    y->setTickCount(ticks.count);
    y->setMinorTickCount(0);
    y->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(y);
    return chart;
}

void PaintDailyNetChart(QPainter& painter, const QRectF& target, const Settlement::Result& result) {
    QGraphicsScene scene;
    QChart* chart = DailyNetChart(result);
    scene.addItem(chart); // the scene owns it
    const QSizeF size(640, 640 * target.height() / std::max(target.width(), 1.0));
    chart->resize(size);
    scene.setSceneRect(QRectF(QPointF(0, 0), size));
    scene.render(&painter, target, scene.sceneRect());
}

} // namespace velkar
