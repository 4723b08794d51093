#include "app/formmain.h"
#include "editor/canvaswidget.h"
#include "editor/entryfield.h"
#include "testwindow.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

using namespace ww;

namespace {
struct Window : TestWindow {
    explicit Window(QSize screen = QSize(800, 600)) {
        Setup s;
        s.screen = screen;
        open(s);
    }
};

QRgb pixelAt(FormMain& f, int x, int y) {
    return f.editor().canvas().image().pixel(x, y);
}
} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
  private slots:
    void startupState();
    void layoutScales();
    void canvasPixels();
    void zoomAndScrollThroughWindow();
    void clearAndShapesRedraw();
    void waveformNumberBar();
    void exitRoutine();
};

void TestMainWindow::startupState() {
    Window w;
    QCOMPARE(w->windowTitle(), QString("Vorrel Series Arbitrary Waveform Creation Software"));
    QCOMPARE(w->store().ArbLength, 201.0f);
    QCOMPARE(w->store().ArbNumber, 1.0f);
    QCOMPARE(w->Text_Arb_Length->text(), QString("201"));
    QCOMPARE(w->Label_ArbNumber->text(), QString("1"));
    QCOMPARE(w->HScroll_XZoom->minimum(), 0);
    QCOMPARE(w->HScroll_XZoom->maximum(), 0);
    QCOMPARE(w->editor().view().ViewSpan, 201);
    QCOMPARE(w->editor().view().ViewEnd, 201);
    QCOMPARE(w->LblArbCurrentXPoint->text(), QString("0"));
    QCOMPARE(w->LblArbCurrentYPoint->text(), QString(" 0.000"));
    QCOMPARE(w->Command_ArbWaveCls->text(), QString("Clear"));
    QCOMPARE(w->Command_ArbWaveOutput->text(), QString("Send"));
    QCOMPARE(w->Label_X_coordinate[5]->text(), QString("100.5"));
    QCOMPARE(w->Label_Y_coordinate[10]->text(), QString("-1.00"));
    for (const char* frame : {"Current Position", "Waveform number", "Length Of Waveform",
                              "Start Point", "End point"}) {
        bool found = false;
        for (QGroupBox* g : w->findChildren<QGroupBox*>())
            found = found || g->title() == QLatin1String(frame);
        QVERIFY2(found, frame);
    }
}

void TestMainWindow::layoutScales() {
    {
        Window w(QSize(800, 600));
        QCOMPARE(w->screenScale().x, 1.0f);
        QCOMPARE(w->screenScale().y, 1.0f);
        QCOMPARE(w->formTwips(), QRectF(30, 0, 12000, 6840));
        QCOMPARE(w->layoutTable().twips(w->Picture_Arb), QRectF(720, 1035, 8445, 3975));
        QCOMPARE(w->Picture_Arb->geometry(), QRect(48, 69, 563, 265));
        QCOMPARE(w->layoutTable().twips(w->Text_ArbLineStopY), QRectF(360, 960, 735, 375));
    }
    {
        Window w(QSize(1024, 738));
        QCOMPARE(w->screenScale().x, 1.28f);
        QCOMPARE(w->screenScale().y, 1.23f);
        QVERIFY(std::abs(w->formTwips().width() - 15360.0) < 0.01);
        QVERIFY(std::abs(w->formTwips().height() - 8413.2) < 0.01);
        // A control inside a frame keeps its place relative to the frame.
        const QRectF x = w->layoutTable().twips(w->Text_ArbLineStartX);
        QVERIFY(std::abs(x.left() - 360 * 1.28) < 0.01);
        QVERIFY(std::abs(x.top() - 360 * 1.23) < 0.01);
        QCOMPARE(w->Command_Exit->font().pointSizeF(), kDesignFontPoints * 1.28f);
        // Axis labels follow the scaled canvas.
        const QRectF c = w->layoutTable().twips(w->Picture_Arb);
        QCOMPARE(w->Label_Y_coordinate[0]->x(), qRound((c.left() - 600 * 1.28f) / 15.0));
    }
}

void TestMainWindow::canvasPixels() {
    Window w;
    FormMain& f = *w.form;
    const QImage& img = f.editor().canvas().image();
    const CanvasMapping& map = f.editor().canvas().mapping();
    QCOMPARE(img.size(), f.Picture_Arb->contentsRect().size());
    // Background black away from grid and trace.
    QCOMPARE(qRed(pixelAt(f, 3, 40)) + qGreen(pixelAt(f, 3, 40)) + qBlue(pixelAt(f, 3, 40)), 0);
    // Flat default trace on the zero line.
    const int zeroRow = map.rowOf(0.0);
    QCOMPARE(pixelAt(f, 30, zeroRow), kTraceColor);
    // Ten major grid lines at k * span / 10, in light grey, away from the zero line.
    for (int k = 1; k <= 9; ++k) {
        const int col = map.columnOf(k * 201 / 10.0);
        QCOMPARE(pixelAt(f, col, 20), kGridColor);
    }
    // Horizontal value lines run across; between them the background shows.
    QCOMPARE(pixelAt(f, 11, map.rowOf(600000.0)), kGridColor);
    QCOMPARE(pixelAt(f, 11, map.rowOf(500000.0)), kBackgroundColor);

    // A +1.0 sample lands on the top row.
    f.store().ArbData[100] = 1.0f;
    f.editor().DrawWaveAll();
    QCOMPARE(pixelAt(f, map.columnOf(100), 0), kTraceColor);
    // ... and the widget shows the retained image.
    const QImage shown = f.Picture_Arb->grab().toImage();
    const QPoint p = f.Picture_Arb->toWidget(100, 1000000.0);
    QCOMPARE(shown.pixel(p), kTraceColor);
}

void TestMainWindow::zoomAndScrollThroughWindow() {
    Window w;
    QAction* in = w->action("mnuArbZoomin");
    QVERIFY(in);
    in->trigger();
    QCOMPARE(w->editor().view().ViewStart, 50);
    QCOMPARE(w->HScroll_XZoom->maximum(), 101);
    QCOMPARE(w->HScroll_XZoom->value(), 50);
    QCOMPARE(w->HScroll_XZoom->pageStep(), 5);
    QCOMPARE(w->Label_X_coordinate[0]->text(), QString("50"));
    w->HScroll_XZoom->setValue(101);
    QCOMPARE(w->editor().view().ViewStart, 101);
    QCOMPARE(w->editor().view().ViewEnd, 200);
    QCOMPARE(w->Label_X_coordinate[10]->text(), QString("201"));
    w->action("mnuArbZoomout")->trigger();
    QCOMPARE(w->editor().view().ViewSpan, 200);
    QCOMPARE(w->editor().view().ViewStart, 1);
    QCOMPARE(w->HScroll_XZoom->value(), 1);
    w->action("mnuArbZoomNo")->trigger();
    QCOMPARE(w->editor().view().ViewSpan, 201);
    QCOMPARE(w->HScroll_XZoom->maximum(), 0);
}

void TestMainWindow::clearAndShapesRedraw() {
    Window w;
    w->action("mnuStandardSin")->trigger();
    QCOMPARE(w->store().ArbData[0], 0.0f);
    QVERIFY(w->store().ArbData[50] > 0.99f);
    const CanvasMapping& map = w->editor().canvas().mapping();
    // The sine's crest is drawn at the top of the canvas.
    QCOMPARE(w->editor().canvas().image().pixel(map.columnOf(50),
                                                map.rowOf(1000000.0 * w->store().ArbData[50])),
             kTraceColor);
    w->action("mnuArbZoomin")->trigger();
    QTest::mouseClick(w->Command_ArbWaveCls, Qt::LeftButton);
    QCOMPARE(w->store().ArbData[50], 0.0f);
    QCOMPARE(w->editor().view().ViewSpan, 201); // the redraw returns to the full view
    QVERIFY(!w->action("mnuStandardStair")->isEnabled());
}

void TestMainWindow::waveformNumberBar() {
    Window w;
    QScrollBar* bar = w->VScroll_ArbNumber;
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd); // down arrow at 1
    QCOMPARE(w->store().ArbNumber, 1.0f);
    for (int i = 0; i < 9; ++i)
        bar->triggerAction(QAbstractSlider::SliderSingleStepSub); // up arrow
    QCOMPARE(w->store().ArbNumber, 8.0f);
    QCOMPARE(w->Label_ArbNumber->text(), QString("8"));
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(w->store().ArbNumber, 7.0f);
    QCOMPARE(w->Label_ArbNumber->text(), QString("7"));
}

void TestMainWindow::exitRoutine() {
    Window w;
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
    w->close(); // the close box runs the exit routine once
    QCOMPARE(w.exits, 1);
    Window v;
    QTest::mouseClick(v->Command_Exit, Qt::LeftButton);
    QCOMPARE(v.exits, 1);
    Window u;
    u->action("mnuFileExit")->trigger();
    QCOMPARE(u.exits, 1);
}

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
