#pragma once

#include "canvasimage.h"
#include "model/document.h"
#include "view.h"

#include <QObject>
#include <QString>

namespace ww {

// The canvas logic of the main window: full and partial redraws, the grid, zoom and scroll,
// and freehand drawing. It paints into a CanvasImage and reports what the window must show
// (position readout, axis labels, scroll bar) through signals; it owns no widget.
class WaveEditor : public QObject {
    Q_OBJECT
  public:
    // Follows the document: a change redraws the whole canvas in the full view, a drawing
    // stroke has painted its band already.
    explicit WaveEditor(WaveDocument& document, QObject* parent = nullptr);

    const WaveStore& store() const { return m_doc.store(); }
    CanvasImage& canvas() { return m_canvas; }
    const ViewState& view() const { return m_view; }
    const CanvasScale& scale() const { return m_scale; }

    int DrawAnchorX = 0;
    bool ArbDrawing = false;

    // Redraws.
    void DrawWaveAll();
    void DrawWaveRange(int s, int e);
    void ClearCanvas();
    void SetCanvasScale();
    void DrawGrid(int start, int end);
    void DrawSegment(int x1, float y1, int x2, float y2, QRgb color);
    void resizeCanvas(QSize pixels); // keeps the view, repaints it

    // View commands.
    void zoomIn();
    void zoomOut();
    void actualSize() { DrawWaveAll(); }
    void scrollChanged(int value);

    // Freehand drawing; X and Y are in canvas user coordinates.
    void mouseDown(Qt::MouseButton button, float x, float y);
    void mouseMove(float x, float y, bool leftHeld = true);
    void mouseUp();
    void DrawWaveMouse(float x, float y);
    void DrawWaveRight(int x);
    void DrawWaveLeft(int x);

    // The neighbour count of a drawing step: extra segments repainted on each side.
    int neighbourCount() const { return (m_view.ViewSpan - 1) / 550; }

  signals:
    void currentPositionChanged(const QString& x, const QString& y);
    void gridRepainted(const ViewState& view); // the axis labels follow the view
    void scrollRangeChanged(const ScrollRange& range);
    void canvasChanged();

  private:
    void eraseColumns(int a, int b);

    WaveDocument& m_doc;
    const WaveStore& m_store; // read only: changes go through m_doc
    CanvasImage m_canvas;
    ViewState m_view;
    CanvasScale m_scale;
};

} // namespace ww
