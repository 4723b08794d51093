#include "app/formmain.h"
#include "editor/canvaswidget.h"
#include "editor/entryfield.h"
#include "testwindow.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QTest>

using namespace ww;

namespace {
struct Window : TestWindow {
    Window() : TestWindow(Setup::active()) {}
    CanvasWidget* canvas() { return form->Picture_Arb; }

    // Widget position of a point given in canvas user coordinates (index, value).
    QPointF at(double index, double value) {
        const CanvasMapping& m = form->editor().canvas().mapping();
        return QPointF(m.pixelX(index), m.pixelY(value * 1000000.0)) +
               QPointF(canvas()->contentsRect().topLeft());
    }
    void send(QEvent::Type type, QPointF pos, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent e(type, pos, canvas()->mapToGlobal(pos), button, held, Qt::NoModifier);
        QApplication::sendEvent(canvas(), &e);
    }
    void press(double i, double v, Qt::MouseButton b = Qt::LeftButton) {
        send(QEvent::MouseButtonPress, at(i, v), b, b);
    }
    void move(double i, double v) {
        send(QEvent::MouseMove, at(i, v), Qt::NoButton, Qt::LeftButton);
    }
    void release(double i, double v, Qt::MouseButton b = Qt::LeftButton) {
        send(QEvent::MouseButtonRelease, at(i, v), b, Qt::NoButton);
    }
    QString labels() {
        return form->LblArbCurrentXPoint->text() + "|" + form->LblArbCurrentYPoint->text();
    }
};
} // namespace

class TestDrawing : public QObject {
    Q_OBJECT
  private slots:
    void clickWritesOneSample();
    void dragFillsGaps();
    void dragPastEdges();
    void anyReleaseEndsDrag();
    void zoomedDrawingStaysInView();
    void positionLabelsWithoutDrag();
    void stepRepaintsOnlyItsBand();
    void pressCommittingLengthKeepsAnchor();
    void rightMarginPressStaysInStore();
};

void TestDrawing::clickWritesOneSample() {
    const struct {
        double x;
        int written;
    } cases[] = {{5.3, 5}, {5.7, 6}, {6.5, 6}, {7.5, 8}};
    for (const auto& c : cases) {
        Window w;
        w.press(c.x, 0.5004);
        w.release(c.x, 0.5004);
        for (int i = 0; i <= 201; ++i)
            QCOMPARE(w.store().ArbData[i], i == c.written ? 0.5f : 0.0f);
        QCOMPARE(w.labels(), QString::number(c.written) + "| 0.500");
    }
}

void TestDrawing::dragFillsGaps() {
    Window w;
    w.press(10, 0.0);
    w.move(14, 0.8);
    w.release(14, 0.8);
    const float expected[] = {0.0f, 0.2f, 0.4f, 0.6f, 0.8f};
    for (int i = 0; i <= 4; ++i)
        QCOMPARE(w.store().ArbData[10 + i], expected[i]);
    QCOMPARE(w.store().ArbData[15], 0.0f);
    QCOMPARE(w->editor().DrawAnchorX, 14);
    // Values are rounded down to a multiple of 0.001.
    w.press(20, -0.5231);
    QCOMPARE(w.store().ArbData[20], -0.524f);
    w.release(20, 0);
}

void TestDrawing::dragPastEdges() {
    Window w;
    w.press(100, 0.1);
    w.move(-30, 3.0); // left of the canvas and above it
    QCOMPARE(w.store().ArbData[0], 1.0f);
    QCOMPARE(w.labels(), QString("0| 1.000"));
    w.move(400, -3.0); // right of it and below it
    QCOMPARE(w.store().ArbData[201], -1.0f);
    QCOMPARE(w.labels(), QString("201|-1.000"));
    w.release(400, -3.0);
}

void TestDrawing::anyReleaseEndsDrag() {
    Window w;
    w.press(50, 0.5);
    w.release(50, 0.5, Qt::RightButton);
    QVERIFY(!w->editor().ArbDrawing);
    w.move(60, 0.9);
    QCOMPARE(w.store().ArbData[60], 0.0f);
    QCOMPARE(w.labels(), QString("60| 0.900"));
    // A right press does not start a drag.
    w.press(70, 0.5, Qt::RightButton);
    QCOMPARE(w.store().ArbData[70], 0.0f);
}

void TestDrawing::zoomedDrawingStaysInView() {
    Window w;
    w.store().ArbData.fill(0.25f);
    w->action("mnuArbZoomin")->trigger(); // view 50..149
    QCOMPARE(w->editor().view().ViewStart, 50);
    w.press(60, 0.5);
    w.move(-100, 0.5);
    w.move(1000, -0.5);
    w.release(1000, -0.5);
    QCOMPARE(w.store().ArbData[49], 0.25f);
    QCOMPARE(w.store().ArbData[50], 0.5f);
    QCOMPARE(w.store().ArbData[149], -0.5f);
    QCOMPARE(w.store().ArbData[150], 0.25f);
    // The step did not redraw the canvas: the view is still zoomed.
    QCOMPARE(w->editor().view().ViewSpan, 100);
}

void TestDrawing::positionLabelsWithoutDrag() {
    Window w;
    w.move(5.7, 0.523456);
    QCOMPARE(w.labels(), QString("5| 0.523"));
    // Over the bottom margin the readout goes below -1.
    w.move(5.7, -1.0075);
    QCOMPARE(w->LblArbCurrentYPoint->text(), QString("-1.008"));
    QCOMPARE(w.store().ArbData[5], 0.0f);
}

void TestDrawing::stepRepaintsOnlyItsBand() {
    for (const int length : {201, 16000}) {
        Window w;
        w->Text_Arb_Length->setText(QString::number(length));
        w->Text_Arb_Length->LostFocus();
        QCOMPARE(w->editor().view().ViewSpan, length);
        const int k = w->editor().neighbourCount();
        const int c0 = length / 2;
        w.press(c0, 0.0);
        const QImage before = w->editor().canvas().image().copy();
        w.move(c0 + 3, 0.9);
        const QImage after = w->editor().canvas().image();
        const CanvasMapping& m = w->editor().canvas().mapping();
        // Outside the erased band and its neighbour segments nothing changed.
        const int left = m.columnOf(c0 - 2 - k - 1) - 1;
        const int right = m.columnOf(c0 + 3 + 2 + k + 1) + 1;
        for (int y = 0; y < after.height(); y += 3)
            for (int x = 0; x < after.width(); ++x)
                if (x < left || x > right)
                    QCOMPARE(after.pixel(x, y), before.pixel(x, y));
        // Inside, the new trace shows where the step put it.
        QCOMPARE(after.pixel(m.columnOf(c0 + 3), m.rowOf(900000.0)), kTraceColor);
        // The new segment leaves no gap: every column from the anchor to the step has trace.
        for (int x = m.columnOf(c0); x <= m.columnOf(c0 + 3); ++x) {
            bool red = false;
            for (int y = 0; y < after.height(); ++y)
                red = red || after.pixel(x, y) == kTraceColor;
            QVERIFY(red);
        }
        w.release(c0 + 3, 0.9);
    }
}

void TestDrawing::pressCommittingLengthKeepsAnchor() {
    Window w;
    EntryField* len = w->Text_Arb_Length;
    len->setFocus();
    len->selectAll();
    QTest::keyClicks(len, "300");
    QVERIFY(len->isEditingLook());
    // The press moves the focus to the canvas, which commits the length first.
    w.canvas()->setFocus(Qt::MouseFocusReason);
    QCOMPARE(w.store().ArbLength, 300.0f);
    w.press(120, 0.3);
    w.move(124, 0.7);
    w.release(124, 0.7);
    QCOMPARE(w.store().ArbData[0], 0.0f);
    QCOMPARE(w.store().ArbData[119], 0.0f);
    QCOMPARE(w.store().ArbData[120], 0.3f);
    QCOMPARE(w.store().ArbData[124], 0.7f);
}

void TestDrawing::rightMarginPressStaysInStore() {
    Window w;
    w.store().ArbLength = 16000;
    w->editor().DrawWaveAll();
    w.store().ArbData[16000] = 0.6f;
    // The margin is 16000/550 indices wide: a press there would anchor near 16029.
    w.press(16025, 0.5);
    QCOMPARE(w->editor().DrawAnchorX, 16000);
    QCOMPARE(w.store().ArbData[16000], 0.5f);
    w.move(15990, -0.5);
    w.release(15990, -0.5);
    QCOMPARE(w.store().ArbData[15990], -0.5f);
    QVERIFY(w.store().ArbData[15999] > -0.5f && w.store().ArbData[15999] < 0.5f);
}

QTEST_MAIN(TestDrawing)
#include "test_drawing.moc"
