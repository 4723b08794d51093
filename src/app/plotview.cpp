#include "plotview.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace ww {

void PlotView::show(std::vector<double> values) {
    m_values = std::move(values);
    m_peak = 1.0;
    for (const double v : m_values)
        if (std::isfinite(v))
            m_peak = std::max(m_peak, std::abs(v));
    update();
}

void PlotView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    const double range = m_peak * 1.05;
    auto rowOf = [&](double v) { return height() / 2.0 - v / range * (height() / 2.0); };
    p.setPen(QColor(200, 200, 200));
    for (const double v : {-1.0, 0.0, 1.0})
        p.drawLine(QPointF(0, rowOf(v)), QPointF(width(), rowOf(v)));
    if (m_values.size() < 2)
        return;
    // At most a few points a pixel: a long series is drawn from evenly spaced samples.
    const std::size_t step = std::max<std::size_t>(1, m_values.size() / (4 * width() + 1));
    QPolygonF trace;
    const double dx = (width() - 1.0) / (m_values.size() - 1);
    for (std::size_t i = 0; i < m_values.size(); i += step)
        trace << QPointF(i * dx, rowOf(m_values[i]));
    p.setPen(QColor(255, 0, 0));
    p.drawPolyline(trace);
}

} // namespace ww
