#include "editor/canvasimage.h"

#include <QRandomGenerator>
#include <QTest>
#include <vector>

using namespace ww;

class TestCanvas : public QObject {
    Q_OBJECT
  private slots:
    void traceMatchesSegmentBySegment_data();
    void traceMatchesSegmentBySegment();
    void wildValuesStayClipped();
};

void TestCanvas::traceMatchesSegmentBySegment_data() {
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("width");
    QTest::addColumn<double>("amplitude");
    QTest::newRow("sparse") << 201 << 559 << 1.0;
    QTest::newRow("dense") << 16000 << 559 << 1.0;
    QTest::newRow("dense wide") << 16000 << 1536 << 1.0;
    QTest::newRow("beyond the edges") << 3000 << 559 << 2.6;
}

void TestCanvas::traceMatchesSegmentBySegment() {
    QFETCH(int, length);
    QFETCH(int, width);
    QFETCH(double, amplitude);
    QRandomGenerator rng(length + width);
    std::vector<float> v(static_cast<std::size_t>(length) + 1);
    double walk = 0.0;
    for (float& x : v) {
        walk = std::clamp(walk + rng.bounded(0.2) - 0.1, -amplitude, amplitude);
        x = static_cast<float>(walk);
    }
    ViewState view{0, length, length};
    CanvasImage a(QSize(width, 261)), b(QSize(width, 261));
    a.setScale(canvasScaleFor(view));
    b.setScale(canvasScaleFor(view));
    a.drawTrace(0, v.data(), length + 1, kTraceColor);
    for (int i = 1; i <= length; ++i)
        b.drawSegment(i - 1, v[i - 1], i, v[i], kTraceColor);
    QCOMPARE(a.image(), b.image());
    // A zoomed part as well: the view starts inside the waveform.
    const int start = length / 3, span = std::max(21, length / 8);
    ViewState zoomed{start, span, start + span - 1};
    a.clear();
    b.clear();
    a.setScale(canvasScaleFor(zoomed));
    b.setScale(canvasScaleFor(zoomed));
    a.drawTrace(start, v.data() + start, span, kTraceColor);
    for (int i = start + 1; i < start + span; ++i)
        b.drawSegment(i - 1, v[i - 1], i, v[i], kTraceColor);
    QCOMPARE(a.image(), b.image());
}

void TestCanvas::wildValuesStayClipped() {
    CanvasImage c(QSize(100, 50));
    c.setScale(canvasScaleFor(ViewState{0, 10, 10}));
    const float wild[] = {0.0f,
                          1e30f,
                          -1e30f,
                          std::numeric_limits<float>::infinity(),
                          std::numeric_limits<float>::quiet_NaN(),
                          0.5f};
    c.drawTrace(0, wild, 6, kTraceColor);
    c.drawLine(-1e300, 0, 1e300, 0, kGridColor);
    c.fillBox(-1e300, 1e300, 1e300, -1e300, kBackgroundColor);
    QCOMPARE(c.image().pixel(99, 49), kBackgroundColor);
}

QTEST_APPLESS_MAIN(TestCanvas)
#include "test_canvas.moc"
