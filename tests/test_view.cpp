#include "editor/gridlabels.h"
#include "editor/view.h"

#include <QTest>

using namespace ww;

class TestView : public QObject {
    Q_OBJECT
  private slots:
    void zoomInSequence();
    void zoomOut();
    void canvasScaleAndMapping();
    void indexLabels();
};

void TestView::zoomInSequence() {
    ViewState v = fullView(201.0f);
    QCOMPARE(v.ViewSpan, 201);
    QCOMPARE(v.ViewStart, 0);
    QCOMPARE(v.ViewEnd, 201);
    ScrollRange r;
    struct Step {
        int span, start, end, max, large;
    };
    const Step steps[] = {{100, 50, 149, 101, 5},
                          {50, 74, 123, 151, 2},
                          {25, 86, 110, 176, 1},
                          {21, 88, 108, 180, 1}};
    for (const Step& s : steps) {
        QVERIFY(zoomIn(v, 201.0f, r));
        QCOMPARE(v.ViewSpan, s.span);
        QCOMPARE(v.ViewStart, s.start);
        QCOMPARE(v.ViewEnd, s.end);
        QCOMPARE(r.maximum, s.max);
        QCOMPARE(r.value, s.start);
        QCOMPARE(r.largeChange, s.large);
    }
    const ViewState before = v;
    QVERIFY(!zoomIn(v, 201.0f, r));
    QCOMPARE(v.ViewSpan, before.ViewSpan);
    QCOMPARE(v.ViewStart, before.ViewStart);
}

void TestView::zoomOut() {
    ScrollRange r;
    ViewState v{88, 21, 108};
    QVERIFY(ww::zoomOut(v, 201.0f, r));
    QCOMPARE(v.ViewSpan, 42);
    QCOMPARE(v.ViewStart, 78);
    QCOMPARE(v.ViewEnd, 119);

    // Scrolled to the right end: the start is held to the largest the scroll bar allows.
    v = ViewState{101, 100, 200};
    QVERIFY(ww::zoomOut(v, 201.0f, r));
    QCOMPARE(v.ViewSpan, 200);
    QCOMPARE(v.ViewStart, 1);
    QCOMPARE(r.maximum, 1);

    v = ViewState{20, 150, 169};
    QVERIFY(ww::zoomOut(v, 201.0f, r));
    QCOMPARE(v.ViewSpan, 201);
    QCOMPARE(v.ViewStart, 0);
    QCOMPARE(r.maximum, 0);

    // At the full span nothing happens.
    v = fullView(201.0f);
    QVERIFY(!ww::zoomOut(v, 201.0f, r));

    // Scrolling moves the view without changing its span.
    v = ViewState{50, 100, 149};
    scrollTo(v, 101);
    QCOMPARE(v.ViewStart, 101);
    QCOMPARE(v.ViewEnd, 200);
}

void TestView::canvasScaleAndMapping() {
    const CanvasScale s = canvasScaleFor(fullView(201.0f));
    QCOMPARE(s.CanvasLeft, 0.0f);
    QCOMPARE(s.CanvasRight, static_cast<float>(201.0 + 201.0 / 550.0));
    QCOMPARE(s.CanvasTop, 1000000.0f);
    QCOMPARE(s.CanvasBottom, -1007600.0f);

    const CanvasMapping m(s, QSize(559, 261));
    QCOMPARE(m.rowOf(1000000.0), 0);                                  // +1.0: top row
    QCOMPARE(m.rowOf(0.0), qRound(261.0 * 1000000.0 / 2007600.0));    // zero line
    QVERIFY(m.rowOf(-1000000.0) < 261 && m.rowOf(-1000000.0) >= 259); // -1.0: just above bottom
    QCOMPARE(m.columnOf(0.0), 0);
    // Every sample's pixel maps back onto the same sample.
    for (int i = 0; i <= 201; ++i) {
        const double x = m.userX(m.columnOf(i));
        QCOMPARE(static_cast<int>(std::nearbyint(x)), i);
    }
}

void TestView::indexLabels() {
    const AxisLabels l = axisLabelsFor(fullView(201.0f), QRectF(720, 1035, 8445, 3975), 1, 1);
    const QStringList expected = {"0",     "20.1",  "40.2",  "60.3",  "80.4", "100.5",
                                  "120.6", "140.7", "160.8", "180.9", "201"};
    for (int k = 0; k < 11; ++k)
        QCOMPARE(l.indices[k].caption, expected[k]);
    QCOMPARE(l.values[0].caption, QString("1.00"));
    QCOMPARE(l.values[10].caption, QString("-1.00"));
    QCOMPARE(l.values[0].left, 120.0);
    QCOMPARE(l.values[0].top, 955.0);
    QCOMPARE(l.values[10].top, 955.0 + 3975.0);
    QCOMPARE(l.indices[0].top, 1035.0 + 3975.0 + 100.0);
    QCOMPARE(l.indices[0].left, 620.0);
    // The last index label sits at the end of the data part, short of the right margin.
    QVERIFY(l.indices[10].left < 720.0 + 8445.0 - 100.0);
}

QTEST_APPLESS_MAIN(TestView)
#include "test_view.moc"
