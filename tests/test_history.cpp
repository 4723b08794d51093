// Undo and redo of every kind of change, through the window as a user makes them: each is one
// step that restores the samples, the length and the number exactly. And the expression
// editor, whose result is one such step.
#define QTEST_QPA_MOUSE_HANDLING
#include "app/expressiondialog.h"
#include "app/formmain.h"
#include "testwindow.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QUndoStack>

using namespace ww;

namespace {
struct Win : TestWindow {
    Win() : TestWindow(Setup::active()) {}
    QUndoStack& stack() { return form->history().stack(); }
    void drag(double from, double to, double value) {
        press(from, 0);
        move((from + to) / 2, -value);
        move(to, value);
        release(to, value);
    }
};

bool same(const WaveStore& a, const WaveStore& b) {
    return a.ArbData == b.ArbData && a.ArbLength == b.ArbLength && a.ArbNumber == b.ArbNumber;
}
} // namespace

class TestHistory : public QObject {
    Q_OBJECT
  private slots:
    void everyChangeIsOneStep();
    void viewAndShortcuts();
    void memoryStaysBounded();
    void expressionEditor();
};

void TestHistory::everyChangeIsOneStep() {
    QTemporaryDir dir;
    const QString file = writeFile(dir, "w.txt", "300\r\n" + QByteArray("0.5\r\n").repeated(300));
    auto menu = [](const char* name, const char* answer = nullptr) {
        return [=](Win& w) {
            if (answer)
                w.prompts.inputs.push_back(QString(answer));
            w->action(name)->trigger();
        };
    };
    auto open = [&](const char* name) {
        return [=](Win& w) {
            w.prompts.openNames.push_back(file);
            w->action(name)->trigger();
        };
    };
    const struct {
        const char* undo;
        std::function<void(Win&)> act;
    } rows[] = {
        {"Undo Square", menu("mnuStandardSqu")},
        {"Undo Clear", [](Win& w) { w->Command_ArbWaveCls->click(); }},
        {"Undo Set Point",
         [](Win& w) {
             typeInto(w->Text_ArbLineStartX, "7");
             typeInto(w->Text_ArbLineStartY, "0.5");
             w->Command_ArbPoint->click();
         }},
        {"Undo Set Line",
         [](Win& w) {
             typeInto(w->Text_ArbLineStopX, "90");
             typeInto(w->Text_ArbLineStopY, "-1");
             w->Command_ArbLine->click();
         }},
        {"Undo Length", [](Win& w) { typeInto(w->Text_Arb_Length, "77"); }},
        {"Undo Waveform number",
         [](Win& w) { w->VScroll_ArbNumber->triggerAction(QAbstractSlider::SliderSingleStepSub); }},
        {"Undo Draw", [](Win& w) { w.drag(40, 60, 0.7); }},
        // Named as the menu names them.
        {"Undo Amplitude Divide", menu("mnuWaveAmplDiv", "4")},
        {"Undo Amplitude Muitiply", menu("mnuWaveAmplMul", "3")},
        {"Undo Amplitude Normalize", menu("mnuWaveAmplZoomIn")},
        {"Undo Frequency Multiply", menu("mnuWaveFreqMul", "3")},
        {"Undo Symmetry of X-axis", menu("mnuWaveXSymm")},
        {"Undo Symmetry of Y-axis", menu("mnuWaveYSymm")},
        {"Undo Formula of Sine Add", menu("mnuWaveSinAddFormula", "sinx+0.5sin3x")},
        {"Undo Add", open("mnuWaveAdd")},
        {"Undo Subtract", open("mnuWaveDec")},
        {"Undo Open", open("mnuFileOpen")},
    };
    for (const auto& row : rows) {
        Win w;
        w->action("mnuStandardTri")->trigger();
        w.edit([](WaveStore& s) { // a peak of 0.5, so that Normalize acts
            for (float& v : s.ArbData)
                v *= 0.5f;
        });
        w.stack().clear();
        const WaveStore before = w.store();
        row.act(w);
        const WaveStore after = w.store();
        QVERIFY2(!same(before, after), row.undo);
        QCOMPARE(w.stack().count(), 1);
        QCOMPARE(w->action("mnuEditUndo")->text(), QString(row.undo).replace("Undo", "&Undo"));
        w->action("mnuEditUndo")->trigger();
        QVERIFY2(same(w.store(), before), row.undo);
        QCOMPARE(w->Text_Arb_Length->text(), QString::number(before.length()));
        QCOMPARE(w->Label_ArbNumber->text(), QString::number(before.ArbNumber));
        QVERIFY(!w->action("mnuEditUndo")->isEnabled());
        w->action("mnuEditRedo")->trigger();
        QVERIFY2(same(w.store(), after), row.undo);
        QCOMPARE(w->Text_Arb_Length->text(), QString::number(after.length()));
    }
}

void TestHistory::viewAndShortcuts() {
    Win w;
    w->action("mnuStandardSin")->trigger();
    w->action("mnuStandardSqu")->trigger();
    w->action("mnuArbZoomin")->trigger();
    // Ctrl+Z on the canvas undoes and keeps the zoomed view; Ctrl+Y and Ctrl+Shift+Z redo.
    w->Picture_Arb->setFocus();
    QTest::keyClick(w->Picture_Arb, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(w.store().ArbData[0], 0.0f); // the sine again
    QCOMPARE(w->editor().view().ViewSpan, 100);
    QCOMPARE(w->HScroll_XZoom->value(), 50);
    QTest::keyClick(w->Picture_Arb, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(w.store().ArbData[0], 1.0f);
    QTest::keyClick(w->Picture_Arb, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(w->Picture_Arb, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(w.store().ArbData[0], 1.0f);
    // Inside a field Ctrl+Z is the menu's too: an edit pending there is dropped, the field
    // shows what comes back, and no key message is shown. Other control keys still meet the
    // field's filter.
    typeInto(w->Text_ArbLineStartY, "0.5");
    typeInto(w->Text_ArbLineStartY, "0.7", false);
    QTest::keyClick(w->Text_ArbLineStartY, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(w.store().ArbData[0], 0.0f);
    QCOMPARE(w->Text_ArbLineStartY->text(), QString("0.500"));
    QVERIFY(!w->Text_ArbLineStartY->isEditingLook());
    typeInto(w->Text_Arb_Length, "700", false);
    QTest::keyClick(w->Text_Arb_Length, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(w.store().ArbData[0], 1.0f);
    QCOMPARE(w->Text_Arb_Length->text(), QString("201"));
    QTest::keyClick(w->Text_Arb_Length, Qt::Key_Return);
    QCOMPARE(w.store().ArbLength, 201.0f);
    QTest::keyClick(w->Text_ArbLineStartX, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(w.prompts.texts(), QStringList{"Positive Integer Only!"});
    // With nothing to redo, Ctrl+Y in a field does nothing and says nothing.
    QTest::keyClick(w->Text_ArbLineStartY, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(w.prompts.texts().size(), 1);
    // A view that no longer fits the restored length returns to the full view.
    typeInto(w->Text_Arb_Length, "1000");
    w->action("mnuArbZoomin")->trigger();
    w->HScroll_XZoom->setValue(900);
    w->action("mnuEditUndo")->trigger();
    QCOMPARE(w->editor().view().ViewSpan, 201);
}

void TestHistory::memoryStaysBounded() {
    Win w;
    typeInto(w->Text_Arb_Length, "16000");
    // Whole-store changes: the oldest go, at least 100 stay, far under 32 MB.
    for (int i = 0; i < 250; ++i)
        w->action(i % 2 ? "mnuStandardSin" : "mnuStandardSqu")->trigger();
    QCOMPARE(w.stack().count(), History::kSteps);
    QVERIFY(w->history().bytes() <= 32u * 1024 * 1024);
    // A drawing stroke keeps its band only.
    w.stack().clear();
    w.drag(8000, 8100, 0.5);
    QCOMPARE(w.stack().count(), 1);
    QVERIFY2(w->history().bytes() < 4096, qPrintable(QString::number(w->history().bytes())));
    // The formula's step is a group of two changes: counted through its parts.
    w.stack().clear();
    w.prompts.inputs.push_back("sinx+0.5sin2x");
    w->action("mnuWaveSinAddFormula")->trigger();
    QCOMPARE(w.stack().count(), 1);
    QVERIFY(w->history().bytes() >= 16000 * sizeof(float));
    QVERIFY(w->history().bytes() < 3 * 16001 * sizeof(float));
}

void TestHistory::expressionEditor() {
    Win w;
    w->action("mnuStandardSqu")->trigger();
    ExpressionDialog d(w.store(), w.settings);
    QPushButton* ok = d.buttons->button(QDialogButtonBox::Ok);
    QCOMPARE(d.line->currentText(), QString("sin(x)"));
    QVERIFY(ok->isEnabled());
    // While the user types: the fault and its place, OK disabled.
    d.line->setEditText("sin(x) + 0.3*square(5*x");
    QVERIFY(!ok->isEnabled());
    QVERIFY(d.message->text().startsWith("Missing parenthesis"));
    QVERIFY(d.message->text().contains("background"));
    d.line->setEditText("1/(n-100)");
    QCOMPARE(d.message->text(), QString("Not a finite number at sample 100."));
    QVERIFY(!ok->isEnabled());
    // y is the current sample: half the square plus a little sine, beyond +1 at the top.
    d.line->setEditText("0.9*y + 0.2*sin(x)");
    QVERIFY(ok->isEnabled());
    QVERIFY(d.peakValue() > 1.0);
    QCOMPARE(d.result()[50], 1.0f); // clipped
    d.peak->setChecked(true);
    const std::vector<float> scaled = d.result();
    QCOMPARE(*std::max_element(scaled.begin(), scaled.end()), 1.0f);
    QVERIFY(std::abs(scaled[150] - (-0.9 + 0.2 * std::sin(2 * M_PI * 150 / 201)) / d.peakValue()) <
            1e-6);
    d.accept();
    w->applyExpression(d.result());
    QCOMPARE(w.store().ArbData[150], scaled[150]);
    // The trace closes with the expression one sample on (x = 2π), as the shapes close theirs:
    // y there is the first sample of the next period, the square's +1.
    QCOMPARE(w.store().ArbData[201],
             static_cast<float>((0.9 * 1.0 + 0.2 * std::sin(2 * M_PI)) / d.peakValue()));
    QCOMPARE(w->action("mnuEditUndo")->text(), QString("&Undo Expression"));
    // The expression is offered again next time.
    ExpressionDialog again(w.store(), w.settings);
    QCOMPARE(again.line->currentText(), QString("0.9*y + 0.2*sin(x)"));
}

QTEST_MAIN(TestHistory)
#include "test_history.moc"
