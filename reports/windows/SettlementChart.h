#pragma once

#include "data/Settlement.h"

#include <QRectF>

class QChart;
class QPainter;

namespace velkar {

// The bar chart of the daily net above the settlement, on screen and on paper alike.
QChart* DailyNetChart(const Settlement::Result& result);

// Draws the chart into `target` on any device: drawn at a screen's size and scaled, so the
// printed chart is as legible as the one in the window.
void PaintDailyNetChart(QPainter& painter, const QRectF& target, const Settlement::Result& result);

} // namespace velkar
