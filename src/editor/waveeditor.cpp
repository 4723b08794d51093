#include "waveeditor.h"

#include "model/numbers.h"

#include <algorithm>
#include <cmath>

namespace ww {

WaveEditor::WaveEditor(WaveDocument& document, QObject* parent)
    : QObject(parent), m_doc(document), m_store(document.store()) {
    m_view = fullView(m_store.ArbLength);
    SetCanvasScale();
    connect(&m_doc, &WaveDocument::changed, this, [this](const WaveChange& change) {
        if (change.redraw != WaveChange::Redraw::Full)
            return;
        const int anchor = DrawAnchorX;
        const bool zoomed = m_view.ViewEnd == m_view.ViewStart + m_view.ViewSpan - 1;
        if (change.keepView && zoomed && m_view.ViewStart + m_view.ViewSpan <= m_store.length()) {
            // Undo and redo leave a zoomed view as it was when it still fits.
            ScrollRange range;
            range.maximum = toInt16(m_store.ArbLength - m_view.ViewSpan);
            range.value = m_view.ViewStart;
            range.largeChange = -1; // as the zoom left it
            emit scrollRangeChanged(range);
            DrawWaveRange(m_view.ViewStart, m_view.ViewEnd);
        } else {
            DrawWaveAll();
        }
        if (change.keepAnchor)
            DrawAnchorX = anchor;
    });
}

void WaveEditor::DrawWaveAll() {
    m_view = fullView(m_store.ArbLength);
    ScrollRange range;
    range.maximum = fullViewScrollMax(m_store.ArbLength, m_view);
    range.value = 0;
    range.largeChange = -1; // left as it is
    emit scrollRangeChanged(range);
    SetCanvasScale();
    ClearCanvas();
    // Samples 0..ArbLength joined by straight lines; the lead-in from index -1 is clipped.
    const int n = m_store.length();
    DrawSegment(-1, m_store.ArbData[0], 0, m_store.ArbData[0], kTraceColor);
    m_canvas.drawTrace(0, m_store.ArbData.data(), n + 1, kTraceColor);
    emit canvasChanged();
}

void WaveEditor::DrawWaveRange(int s, int e) {
    SetCanvasScale();
    ClearCanvas();
    s = WaveStore::clampIndex(s);
    e = WaveStore::clampIndex(e);
    if (e >= s + 1)
        m_canvas.drawTrace(s, m_store.ArbData.data() + s, e - s + 1, kTraceColor);
    emit canvasChanged();
}

void WaveEditor::ClearCanvas() {
    m_canvas.clear();
    DrawGrid(m_view.ViewStart, m_view.ViewStart + m_view.ViewSpan);
    DrawAnchorX = 0;
}

void WaveEditor::SetCanvasScale() {
    m_scale = canvasScaleFor(m_view);
    m_canvas.setScale(m_scale);
}

void WaveEditor::DrawGrid(int start, int end) {
    const int d = m_view.ViewSpan / 550;
    double a = start - 1 - d;
    if (a < m_scale.CanvasLeft)
        a = toInt16(m_scale.CanvasLeft);
    double b = end + 1 + d;
    if (m_view.ViewSpan + static_cast<double>(m_scale.CanvasLeft) < b)
        b = toInt16(m_view.ViewSpan + static_cast<double>(m_scale.CanvasLeft));

    emit currentPositionChanged(QStringLiteral("0"), FormatSample(0.0f));

    for (int k = 1; k <= 10; ++k) {
        const float x = static_cast<float>(k * m_view.ViewSpan / 10.0 + m_scale.CanvasLeft);
        if (!(x < a || x > b))
            m_canvas.drawLine(x, m_scale.CanvasTop, x, -1000000.0, kGridColor);
    }
    for (int k = 1; k <= 50; ++k) {
        const float x = static_cast<float>(k * m_view.ViewSpan / 50.0 + m_scale.CanvasLeft);
        if (!(x < a || x > b))
            m_canvas.drawLine(x, -40000.0, x, 40000.0, kGridColor);
    }
    for (int k = -5; k <= 5; ++k) {
        const double y = k * 2000000.0 / 10.0;
        m_canvas.drawLine(start, y, b, y, kGridColor);
    }
    emit gridRepainted(m_view);
}

void WaveEditor::DrawSegment(int x1, float y1, int x2, float y2, QRgb color) {
    m_canvas.drawSegment(x1, y1, x2, y2, color);
}

void WaveEditor::resizeCanvas(QSize pixels) {
    m_canvas.resize(pixels);
    SetCanvasScale();
    const int anchor = DrawAnchorX;
    if (m_view.ViewEnd == m_view.ViewStart + m_view.ViewSpan)
        DrawWaveAll();
    else
        DrawWaveRange(m_view.ViewStart, m_view.ViewEnd);
    DrawAnchorX = anchor;
}

void WaveEditor::zoomIn() {
    ScrollRange range;
    if (!ww::zoomIn(m_view, m_store.ArbLength, range))
        return;
    emit scrollRangeChanged(range);
    DrawWaveRange(m_view.ViewStart, m_view.ViewEnd);
}

void WaveEditor::zoomOut() {
    ScrollRange range;
    if (!ww::zoomOut(m_view, m_store.ArbLength, range))
        return;
    emit scrollRangeChanged(range);
    DrawWaveRange(m_view.ViewStart, m_view.ViewEnd);
}

void WaveEditor::scrollChanged(int value) {
    scrollTo(m_view, value);
    DrawWaveRange(m_view.ViewStart, m_view.ViewEnd);
}

void WaveEditor::mouseDown(Qt::MouseButton button, float x, float y) {
    if (button != Qt::LeftButton || ArbDrawing)
        return;
    ArbDrawing = true;
    // A press in the right margin may lie past the last index; the anchor stays in the store.
    DrawAnchorX = WaveStore::clampIndex(static_cast<int>(std::floor(x)));
    DrawWaveMouse(x, y);
}

void WaveEditor::mouseMove(float x, float y, bool leftHeld) {
    // A release can be lost to a message box or another grab; a move without the button then
    // ends the drag instead of drawing on.
    if (!leftHeld)
        mouseUp();
    if (ArbDrawing) {
        DrawWaveMouse(x, y);
        return;
    }
    const double col = std::floor(static_cast<double>(x));
    const float w = static_cast<float>(std::floor(y / 1000.0) / 1000.0);
    emit currentPositionChanged(QString::number(col, 'f', 0), FormatSample(w));
}

void WaveEditor::mouseUp() {
    if (ArbDrawing)
        m_doc.endStroke();
    ArbDrawing = false;
}

void WaveEditor::eraseColumns(int a, int b) {
    m_canvas.fillBox(a, m_scale.CanvasTop, b, m_scale.CanvasBottom, kBackgroundColor);
}

void WaveEditor::DrawWaveMouse(float x, float y) {
    const int start = m_view.ViewStart, end = m_view.ViewEnd;
    int c = toInt16(x);
    if (c < start)
        c = start;
    if (c > end)
        c = end;
    if (c < start || c > end || c < 0 || c > kStoreLastIndex)
        return;
    double yy = y;
    if (yy > m_scale.CanvasTop)
        yy = m_scale.CanvasTop;
    if (yy < -1000000.0)
        yy = -1000000.0;
    const float v = static_cast<float>(std::floor(yy / 1000.0) / 1000.0);

    m_doc.stroke(DrawAnchorX, c, v);

    const int a = WaveStore::clampIndex(DrawAnchorX);
    if (a < c) {
        const int b = c < end ? c + 1 : end;
        eraseColumns(a, b);
        DrawGrid(a, b);
        DrawSegment(a, m_store.ArbData[a], c, m_store.ArbData[c], kTraceColor);
        DrawWaveRight(c);
        DrawWaveLeft(a);
    } else if (a > c) {
        const int b = c > start ? c - 1 : start;
        eraseColumns(b, a);
        DrawGrid(b, a);
        DrawSegment(a, m_store.ArbData[a], c, m_store.ArbData[c], kTraceColor);
        DrawWaveLeft(c);
        DrawWaveRight(a);
    } else if (c == start) {
        eraseColumns(c, c + 1);
        DrawGrid(c, c + 1);
        DrawWaveRight(c);
    } else if (c == end) {
        eraseColumns(c - 1, c);
        DrawGrid(c - 1, c);
        DrawWaveLeft(c);
    } else {
        eraseColumns(c - 1, c + 1);
        DrawGrid(c - 1, c + 1);
        DrawWaveLeft(c);
        DrawWaveRight(c);
    }
    DrawAnchorX = c;
    emit currentPositionChanged(QString::number(c), FormatSample(v));
    emit canvasChanged();
}

void WaveEditor::DrawWaveRight(int x) {
    // Segments i -> i + 1 for i = x .. x + 1 + k inside the view; at ViewEnd only the point.
    const int k = neighbourCount();
    const int last = std::min(x + 1 + k, m_view.ViewEnd - 1);
    const int from = std::max(x, 0);
    if (from <= last && last + 1 <= kStoreLastIndex)
        m_canvas.drawTrace(from, m_store.ArbData.data() + from, last + 2 - from, kTraceColor);
    const int e = m_view.ViewEnd;
    if (e >= x && e <= x + 1 + k && e >= 0 && e <= kStoreLastIndex)
        DrawSegment(e, m_store.ArbData[e], e, m_store.ArbData[e], kTraceColor);
}

void WaveEditor::DrawWaveLeft(int x) {
    // Segments i -> i - 1 for i = x down to x - 1 - k above ViewStart; at index 0 the point.
    const int k = neighbourCount();
    const int lowest = std::max(x - 1 - k, m_view.ViewStart + 1);
    const int to = std::min(x, kStoreLastIndex);
    if (lowest <= to && lowest - 1 >= 0)
        m_canvas.drawTrace(lowest - 1, m_store.ArbData.data() + lowest - 1, to - lowest + 2,
                           kTraceColor);
    if (x >= 0 && x - 1 - k <= 0)
        DrawSegment(0, m_store.ArbData[0], 0, m_store.ArbData[0], kTraceColor);
}

} // namespace ww
