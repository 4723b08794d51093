#include "view.h"

#include "model/numbers.h"

#include <cmath>

namespace ww {

ViewState fullView(float arbLength) {
    ViewState v;
    v.ViewStart = 0;
    v.ViewSpan = toInt16(arbLength);
    v.ViewEnd = v.ViewStart + v.ViewSpan;
    return v;
}

int fullViewScrollMax(float arbLength, const ViewState& v) {
    return toInt16(static_cast<double>(arbLength) - v.ViewSpan);
}

static void fillScroll(const ViewState& v, float arbLength, ScrollRange& scroll) {
    scroll.minimum = 0;
    scroll.maximum = toInt16(static_cast<double>(arbLength) - v.ViewSpan);
    scroll.value = v.ViewStart;
    scroll.largeChange = v.ViewSpan / 20;
}

bool zoomIn(ViewState& v, float arbLength, ScrollRange& scroll) {
    if (v.ViewSpan <= 21)
        return false;
    v.ViewSpan = toInt16(v.ViewSpan / 2.0);
    if (v.ViewSpan < 21)
        v.ViewSpan = 21;
    const int sum = v.ViewEnd + v.ViewStart;
    v.ViewStart = toInt16(sum / 2.0 - v.ViewSpan / 2.0);
    v.ViewEnd = v.ViewSpan + v.ViewStart - 1;
    fillScroll(v, arbLength, scroll);
    return true;
}

bool zoomOut(ViewState& v, float arbLength, ScrollRange& scroll) {
    if (!(v.ViewSpan < arbLength))
        return false;
    v.ViewSpan = v.ViewSpan * 2;
    if (!(v.ViewSpan < arbLength))
        v.ViewSpan = toInt16(arbLength);
    int start = toInt16((v.ViewStart + v.ViewEnd) / 2.0 + 1.0 - v.ViewSpan / 2.0);
    const int maxStart = toInt16(static_cast<double>(arbLength) - v.ViewSpan);
    if (start > maxStart)
        start = maxStart;
    if (start < 0)
        start = 0;
    v.ViewStart = start;
    v.ViewEnd = v.ViewSpan + v.ViewStart - 1;
    fillScroll(v, arbLength, scroll);
    return true;
}

void scrollTo(ViewState& v, int start) {
    v.ViewStart = start;
    v.ViewEnd = v.ViewSpan + v.ViewStart - 1;
}

CanvasScale canvasScaleFor(const ViewState& v) {
    CanvasScale s;
    s.CanvasLeft = static_cast<float>(v.ViewStart);
    s.CanvasRight = static_cast<float>(
        static_cast<double>(static_cast<float>(v.ViewSpan) + static_cast<float>(v.ViewStart)) +
        v.ViewSpan / 550.0);
    s.CanvasTop = 2000000.0f / 2.0f;
    s.CanvasBottom = -2000000.0f / 2.0f - 7600.0f;
    return s;
}

CanvasMapping::CanvasMapping(const CanvasScale& scale, QSize pixels)
    : m_scale(scale), m_size(pixels),
      m_pxPerX(pixels.width() / (static_cast<double>(scale.CanvasRight) - scale.CanvasLeft)),
      m_pxPerY(pixels.height() / (static_cast<double>(scale.CanvasBottom) - scale.CanvasTop)) {}

double CanvasMapping::userX(double px) const {
    return m_scale.CanvasLeft +
           px * (static_cast<double>(m_scale.CanvasRight) - m_scale.CanvasLeft) / m_size.width();
}

double CanvasMapping::userY(double py) const {
    return m_scale.CanvasTop +
           py * (static_cast<double>(m_scale.CanvasBottom) - m_scale.CanvasTop) / m_size.height();
}

int CanvasMapping::columnOf(double userX) const {
    return static_cast<int>(std::floor(pixelX(userX) + 0.5));
}

int CanvasMapping::rowOf(double userY) const {
    return static_cast<int>(std::floor(pixelY(userY) + 0.5));
}

} // namespace ww
