#include "canvasimage.h"

#include <algorithm>
#include <cmath>

namespace ww {

namespace {
// Whole pixels well outside the image stay representable after clipping in doubles.
constexpr double kFar = 1.0e7;

double limitFar(double v) {
    if (std::isnan(v))
        return kFar;
    return std::clamp(v, -kFar, kFar);
}

// Liang-Barsky clip of a segment to [xmin, xmax] x [ymin, ymax]; false when nothing is left.
bool clipSegment(double& x0, double& y0, double& x1, double& y1, double xmin, double ymin,
                 double xmax, double ymax) {
    double t0 = 0.0, t1 = 1.0;
    const double dx = x1 - x0, dy = y1 - y0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x0 - xmin, xmax - x0, y0 - ymin, ymax - y0};
    for (int k = 0; k < 4; ++k) {
        if (p[k] == 0.0) {
            if (q[k] < 0.0)
                return false;
            continue;
        }
        const double r = q[k] / p[k];
        if (p[k] < 0.0) {
            if (r > t1)
                return false;
            t0 = std::max(t0, r);
        } else {
            if (r < t0)
                return false;
            t1 = std::min(t1, r);
        }
    }
    const double nx0 = x0 + t0 * dx, ny0 = y0 + t0 * dy;
    const double nx1 = x0 + t1 * dx, ny1 = y0 + t1 * dy;
    x0 = nx0;
    y0 = ny0;
    x1 = nx1;
    y1 = ny1;
    return true;
}

inline int toPixel(double v) {
    return static_cast<int>(std::floor(v + 0.5));
}
} // namespace

CanvasImage::CanvasImage(QSize pixels) {
    resize(pixels);
}

void CanvasImage::resize(QSize pixels) {
    pixels = pixels.expandedTo(QSize(1, 1));
    m_image = QImage(pixels, QImage::Format_RGB32);
    m_image.fill(kBackgroundColor);
    m_map = CanvasMapping(m_map.scale(), pixels);
    markDirty(0, 0, m_image.width() - 1, m_image.height() - 1);
}

void CanvasImage::setScale(const CanvasScale& scale) {
    m_map = CanvasMapping(scale, m_image.size());
}

void CanvasImage::clear() {
    m_image.fill(kBackgroundColor);
    markDirty(0, 0, m_image.width() - 1, m_image.height() - 1);
}

void CanvasImage::drawSegment(int x1, float y1, int x2, float y2, QRgb color) {
    drawLine(x1, static_cast<double>(y1) * 1000000.0, x2, static_cast<double>(y2) * 1000000.0,
             color);
}

void CanvasImage::drawLine(double x1, double y1, double x2, double y2, QRgb color) {
    double px0 = limitFar(m_map.pixelX(x1)), py0 = limitFar(m_map.pixelY(y1));
    double px1 = limitFar(m_map.pixelX(x2)), py1 = limitFar(m_map.pixelY(y2));
    // Clip against the image grown by half a pixel, so that rounding keeps edge pixels.
    if (!clipSegment(px0, py0, px1, py1, -0.5, -0.5, m_image.width() - 0.5, m_image.height() - 0.5))
        return;
    plotLine(toPixel(px0), toPixel(py0), toPixel(px1), toPixel(py1), color);
}

void CanvasImage::drawTrace(int first, const float* values, int count, QRgb color) {
    if (count <= 0)
        return;
    const double w = m_image.width() - 0.5, h = m_image.height() - 0.5;
    auto inside = [&](double px, double py) {
        return px >= -0.5 && px <= w && py >= -0.5 && py <= h;
    };
    QRgb* const bits = reinterpret_cast<QRgb*>(m_image.bits());
    const qsizetype stride = m_image.bytesPerLine() / static_cast<qsizetype>(sizeof(QRgb));
    // The open vertical run: column runX, rows runTop..runBottom.
    int runX = 0, runTop = 0, runBottom = -1;
    auto flush = [&] {
        for (int y = runTop; y <= runBottom; ++y)
            bits[y * stride + runX] = color;
        if (runTop <= runBottom)
            markDirty(runX, runTop, runX, runBottom);
        runBottom = runTop - 1;
    };

    double prevX = m_map.pixelX(first);
    double prevY = m_map.pixelY(static_cast<double>(values[0]) * 1000000.0);
    bool prevInside = inside(prevX, prevY);
    int px = toPixel(prevX), py = toPixel(prevY);
    for (int k = 1; k < count; ++k) {
        const double curX = m_map.pixelX(first + k);
        const double curY = m_map.pixelY(static_cast<double>(values[k]) * 1000000.0);
        const bool curInside = inside(curX, curY);
        const int cx = toPixel(curX), cy = toPixel(curY);
        if (!(prevInside && curInside)) {
            flush();
            drawSegment(first + k - 1, values[k - 1], first + k, values[k], color);
        } else if (cx == px) {
            const int top = std::min(py, cy), bottom = std::max(py, cy);
            if (runTop > runBottom || runX != cx) {
                flush();
                runX = cx;
                runTop = top;
                runBottom = bottom;
            } else {
                runTop = std::min(runTop, top);
                runBottom = std::max(runBottom, bottom);
            }
        } else {
            flush();
            plotLine(px, py, cx, cy, color);
        }
        prevInside = curInside;
        px = cx;
        py = cy;
    }
    flush();
}

void CanvasImage::plotLine(int x0, int y0, int x1, int y1, QRgb color) {
    // Always from the left end, so a segment looks the same whichever way it was given.
    if (x1 < x0 || (x1 == x0 && y1 < y0)) {
        std::swap(x0, x1);
        std::swap(y0, y1);
    }
    const int w = m_image.width(), h = m_image.height();
    // One detach check per line, not per pixel.
    QRgb* const bits = reinterpret_cast<QRgb*>(m_image.bits());
    const qsizetype stride = m_image.bytesPerLine() / static_cast<qsizetype>(sizeof(QRgb));
    if (x0 == x1 && y0 == y1) {
        // Dense waveforms draw many segments no longer than a pixel.
        if (x0 >= 0 && x0 < w && y0 >= 0 && y0 < h)
            bits[y0 * stride + x0] = color;
        markDirty(x0, y0, x0, y0);
        return;
    }
    const int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
    const int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    markDirty(std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1));
    for (;;) {
        if (x0 >= 0 && x0 < w && y0 >= 0 && y0 < h)
            bits[y0 * stride + x0] = color;
        if (x0 == x1 && y0 == y1)
            break;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

void CanvasImage::fillBox(double x1, double y1, double x2, double y2, QRgb color) {
    const double px0 = limitFar(m_map.pixelX(x1)), px1 = limitFar(m_map.pixelX(x2));
    const double py0 = limitFar(m_map.pixelY(y1)), py1 = limitFar(m_map.pixelY(y2));
    const int left = std::max(0, toPixel(std::min(px0, px1)));
    const int right = std::min(m_image.width() - 1, toPixel(std::max(px0, px1)));
    const int top = std::max(0, toPixel(std::min(py0, py1)));
    const int bottom = std::min(m_image.height() - 1, toPixel(std::max(py0, py1)));
    if (left > right || top > bottom)
        return;
    for (int y = top; y <= bottom; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(m_image.scanLine(y));
        std::fill(line + left, line + right + 1, color);
    }
    markDirty(left, top, right, bottom);
}

void CanvasImage::markDirty(int left, int top, int right, int bottom) {
    if (m_dirtyLeft > m_dirtyRight) {
        m_dirtyLeft = left;
        m_dirtyTop = top;
        m_dirtyRight = right;
        m_dirtyBottom = bottom;
        return;
    }
    m_dirtyLeft = std::min(m_dirtyLeft, left);
    m_dirtyTop = std::min(m_dirtyTop, top);
    m_dirtyRight = std::max(m_dirtyRight, right);
    m_dirtyBottom = std::max(m_dirtyBottom, bottom);
}

QRect CanvasImage::takeDirty() {
    if (m_dirtyLeft > m_dirtyRight)
        return QRect();
    const QRect r = QRect(QPoint(m_dirtyLeft, m_dirtyTop), QPoint(m_dirtyRight, m_dirtyBottom))
                        .intersected(m_image.rect());
    m_dirtyRight = m_dirtyLeft - 1;
    return r;
}

} // namespace ww
