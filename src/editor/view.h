#pragma once

#include <QPointF>
#include <QSize>

namespace ww {

// Which sample indices the canvas shows.
struct ViewState {
    int ViewStart = 0;
    int ViewSpan = 201; // sample intervals across the canvas
    int ViewEnd = 201;  // last index drawn
};

// What the zoom scroll bar under the canvas must show after a view change.
struct ScrollRange {
    int minimum = 0;
    int maximum = 0;
    int value = 0;
    int largeChange = 1; // below 0: leave the scroll bar's large change as it is
};

// The full view of a waveform of the given length (what every full redraw returns to).
ViewState fullView(float arbLength);
int fullViewScrollMax(float arbLength, const ViewState& v);

// View > Zoom In / Zoom Out. They return false, changing nothing, when there is nothing to do.
bool zoomIn(ViewState& v, float arbLength, ScrollRange& scroll);
bool zoomOut(ViewState& v, float arbLength, ScrollRange& scroll);

// The scroll bar moved to a new start index.
void scrollTo(ViewState& v, int start);

// The canvas's user coordinate system: sample (i, value) lies at X = i, Y = value * 1000000.
struct CanvasScale {
    float CanvasLeft = 0.0f;
    float CanvasRight = 1.0f;
    float CanvasTop = 1000000.0f;
    float CanvasBottom = -1007600.0f;
};

CanvasScale canvasScaleFor(const ViewState& v);

// Maps user coordinates to pixels of the canvas's inner area and back. Pixel (0, 0) is the
// top-left corner, (width, height) lies just past the bottom-right one. Mouse positions and
// drawing go through this one mapping, so a click on a drawn sample addresses that sample.
class CanvasMapping {
  public:
    CanvasMapping() = default;
    CanvasMapping(const CanvasScale& scale, QSize pixels);

    double pixelX(double userX) const { return (userX - m_scale.CanvasLeft) * m_pxPerX; }
    double pixelY(double userY) const { return (userY - m_scale.CanvasTop) * m_pxPerY; }
    double userX(double pixelX) const;
    double userY(double pixelY) const;
    // Whole-pixel position used for drawing.
    int columnOf(double userX) const;
    int rowOf(double userY) const;

    const CanvasScale& scale() const { return m_scale; }
    QSize size() const { return m_size; }

  private:
    CanvasScale m_scale;
    QSize m_size{1, 1};
    double m_pxPerX = 1.0; // pixels per user unit, kept to spare a division per point
    double m_pxPerY = 1.0;
};

} // namespace ww
