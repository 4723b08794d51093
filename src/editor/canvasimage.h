#pragma once

#include "view.h"

#include <QImage>
#include <QRect>

namespace ww {

constexpr QRgb kTraceColor = 0xffff0000u;      // 255, 0, 0
constexpr QRgb kGridColor = 0xffc8c8c8u;       // 200, 200, 200
constexpr QRgb kBackgroundColor = 0xff000000u; // 0, 0, 0

// The canvas's retained image and its user coordinate system. Drawing is done here, in plain
// code, so that the widget only blits the image; lines are rasterised directly into the image
// (one pixel wide, no smoothing) which keeps a full redraw of 16001 segments cheap.
class CanvasImage {
  public:
    explicit CanvasImage(QSize pixels = QSize(559, 261));

    void resize(QSize pixels);
    void setScale(const CanvasScale& scale);

    void clear();
    // One straight line between two samples: (x1, y1 * 1000000) to (x2, y2 * 1000000).
    void drawSegment(int x1, float y1, int x2, float y2, QRgb color);
    // The trace through samples first..last (values[0] belongs to index first): the same
    // pixels as drawing each segment on its own, but runs of segments that stay inside one
    // pixel column are filled as one vertical span, which keeps dense waveforms cheap.
    void drawTrace(int first, const float* values, int count, QRgb color);
    // A line in user coordinates.
    void drawLine(double x1, double y1, double x2, double y2, QRgb color);
    // A filled rectangle between two user-coordinate corners.
    void fillBox(double x1, double y1, double x2, double y2, QRgb color);

    const QImage& image() const { return m_image; }
    const CanvasMapping& mapping() const { return m_map; }

    // Area touched since the last call; lets the widget update only what changed.
    QRect takeDirty();

  private:
    void plotLine(int x0, int y0, int x1, int y1, QRgb color);
    void markDirty(int left, int top, int right, int bottom);

    QImage m_image;
    CanvasMapping m_map;
    // Touched area, inclusive; empty while left > right.
    int m_dirtyLeft = 0, m_dirtyTop = 0, m_dirtyRight = -1, m_dirtyBottom = -1;
};

} // namespace ww
