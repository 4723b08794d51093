// The main window as a user drives it: start-up, messages, the entry fields and their focus,
// the buttons, freehand drawing, files, the menus, the toolbar and the about box.
// Mouse events go through the window system layer, as a user's do, so that the application
// knows which buttons are held.
#define QTEST_QPA_MOUSE_HANDLING
#include "app/formmain.h"
#include "app/formtds.h"
#include "app/frmabout.h"
#include "app/importdialog.h"
#include "app/spectrumview.h"
#include "app/toolbar1.h"
#include "editor/canvaswidget.h"
#include "editor/picture.h"
#include "files/formats.h"
#include "files/sound.h"
#include "files/table.h"
#include "testwindow.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGlyphRun>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QRawFont>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableWidget>
#include <QTextLayout>
#include <QTimer>
#include <QUndoStack>

using namespace ww;

namespace {
struct Win : TestWindow {
    explicit Win(bool realDialogs = false) {
        Setup s = Setup::active();
        s.realDialogs = realDialogs;
        open(s);
    }
    QString labels() {
        return form->LblArbCurrentXPoint->text() + "|" + form->LblArbCurrentYPoint->text();
    }
};

// Clicks OK on the next real message box as a user would, and records its text.
void answerNextBox(QString* text) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, text] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        *text = box->text();
        poll->deleteLater();
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    poll->start(10);
}

const QString kLength = "Arbitrary length from 4 to 16000 ";
const QString kYUpper = "Coordinate Y: From -1.000 to 1.000";
} // namespace

class TestWindowSuite : public QObject {
    Q_OBJECT
  private slots:
    void startupAndLayout();
    void messages();
    void entryFields();
    void pendingEdits();
    void setPointAndLine();
    void pressAfterCommitMessage();
    void drawing();
    void stepRepaintsOnlyItsBand();
    void filesThroughWindow();
    void menuCommands();
    void menuTree();
    void toolbarAndAbout();
    void importAndExport();
    void spectrumView();
    void quotedTextsShow();
};

void TestWindowSuite::startupAndLayout() {
    Win w;
    QCOMPARE(w->windowTitle(), QString("Vorrel Series Arbitrary Waveform Creation Software"));
    QCOMPARE(w->Text_Arb_Length->text(), QString("201"));
    QCOMPARE((QStringList{w->Text_ArbLineStartX->text(), w->Text_ArbLineStopX->text(),
                          w->Text_ArbLineStartY->text(), w->Text_ArbLineStopY->text()}),
             (QStringList{"0", "0", "0.000", "0.000"}));
    for (EntryField* f : {w->Text_ArbLineStartX, w->Text_ArbLineStartY, w->Text_Arb_Length})
        QVERIFY(!f->isEditingLook());
    QCOMPARE(w.labels(), QString("0| 0.000"));
    QCOMPARE(w->Label_Y_coordinate[10]->text(), QString("-1.00"));
    QCOMPARE(w->Picture_Arb->geometry(), QRect(48, 69, 563, 265));
    QVERIFY(w.prompts.messages.empty());

    // Larger screens scale twips and fonts alike.
    TestWindow big;
    TestWindow::Setup s;
    s.screen = QSize(1024, 738);
    big.open(s);
    QCOMPARE(big->screenScale().x, 1.28f);
    QVERIFY(std::abs(big->formTwips().height() - 8413.2) < 0.01);
    QVERIFY(std::abs(big->layoutTable().twips(big->Text_ArbLineStartX).top() - 360 * 1.23) < 0.01);
    QCOMPARE(big->Command_Exit->font().pointSizeF(), kDesignFontPoints * 1.28f);

    // The canvas: black, the flat trace on the zero line, grey grid, +1.0 on the top row.
    const QImage& img = w->editor().canvas().image();
    const CanvasMapping& map = w->editor().canvas().mapping();
    QCOMPARE(img.pixel(3, 40), kBackgroundColor);
    QCOMPARE(img.pixel(30, map.rowOf(0.0)), kTraceColor);
    QCOMPARE(img.pixel(map.columnOf(201 / 10.0 * 3), 20), kGridColor);
    QCOMPARE(img.pixel(11, map.rowOf(600000.0)), kGridColor);
    w.edit([](WaveStore& s) { s.ArbData[100] = 1.0f; });
    QCOMPARE(w->Picture_Arb->grab().toImage().pixel(w->Picture_Arb->toWidget(100, 1e6)),
             kTraceColor);
}

void TestWindowSuite::messages() {
    QTemporaryDir dir;
    const QString txt = writeFile(dir, "w.Txt", "4\r\n");
    const QString shortFile = writeFile(dir, "short.txt", "300\r\n0.5\r\n");
    const QString bad = writeFile(dir, "bad.txt", "300\r\n0.5\r\nzero\r\n");
    using Act = std::function<void(Win&)>;
    using F = FormMain;
    auto typed = [](EntryField* F::*field, const char* keys, bool enter = true) -> Act {
        return [=](Win& w) { typeInto(w.f().*field, keys, enter); };
    };
    auto openWith = [](const QString& name, const char* action) -> Act {
        return [=](Win& w) {
            w.prompts.openNames.push_back(name);
            w->action(action)->trigger();
        };
    };
    auto answer = [](const char* text, const char* action) -> Act {
        return [=](Win& w) {
            if (text)
                w.prompts.inputs.push_back(QString(text));
            w->action(action)->trigger();
        };
    };
    auto keysInY = [](QString text, int caret, Qt::Key key, Qt::KeyboardModifiers mods = {}) {
        return [=](Win& w) {
            w->Text_ArbLineStartY->setFocus();
            w->Text_ArbLineStartY->setText(text);
            w->Text_ArbLineStartY->setCursorPosition(caret);
            QTest::keyClick(w->Text_ArbLineStartY, key, mods);
        };
    };
    const MsgIcon C = MsgIcon::Critical, E = MsgIcon::Exclamation, N = MsgIcon::None;
    const struct {
        const char* what;
        Act act;
        QString text, title;
        MsgIcon icon;
    } rows[] = {
        {"length 3", typed(&F::Text_Arb_Length, "3"), kLength, "", C},
        {"length 16001", typed(&F::Text_Arb_Length, "16001"), kLength, "", C},
        {"X 201", typed(&F::Text_ArbLineStartX, "201"), "Coordinate X: From 0 to 200", "", C},
        {"Y 1.5", typed(&F::Text_ArbLineStopY, "1.5"), kYUpper, "", C},
        {"Y -1.5", keysInY("-1.5", 4, Qt::Key_Return), "Coordinate Y: From-1.000 to 1.000", "", C},
        {"letter in X", typed(&F::Text_ArbLineStartX, "a", false), "Positive Integer Only!", "", N},
        {"Ctrl+V in Y", keysInY("0.5", 3, Qt::Key_V, Qt::ControlModifier), "Number Only!", "", N},
        {"digit before minus", keysInY("-0.5", 0, Qt::Key_3),
         "Can not enter radix point at current position!", "", N},
        {"second point", keysInY("0.5", 3, Qt::Key_Period), "Can not enter radix point!", "", N},
        {"Open .Txt", openWith(txt, "mnuFileOpen"), "No data file.\nPlease open.", "ERROR!", E},
        {"Open a broken file", openWith(bad, "mnuFileOpen"),
         "Cannot open " + bad + "\nLine 3 does not hold a sample value.", "ERROR!", E},
        {"Add .Txt", openWith(txt, "mnuWaveAdd"), "No file!\nPlease open", "ERROR!", E},
        {"Subtract .Txt", openWith(txt, "mnuWaveDec"), "No file!\nPlese open", "ERROR!", E},
        {"Add a short file", openWith(shortFile, "mnuWaveAdd"),
         "Cannot open " + shortFile +
             "\nThe file ends before line 3; line 1 announces 300 samples.",
         "ERROR!", E},
        {"divide 0.5", answer("0.5", "mnuWaveAmplDiv"), "ERROR! divisor<1", "Amplitude divide", C},
        {"multiply 0", answer("0", "mnuWaveAmplMul"), "ERROR！multiplier<1", "Amplitude multiply",
         C},
        {"coefficient 0", answer("0", "mnuWaveFreqMul"), "ERROR！coefficient<1",
         "Frequency multiply", C},
        {"formula cancelled", answer(nullptr, "mnuWaveSinAddFormula"), "Wrong Formula！",
         "Formula of Sine Add", C},
        {"formula of blanks", answer("   ", "mnuWaveSinAddFormula"), "Wrong Formula！",
         "Enter Formula", C},
        {"formula dividing by 0", answer("sinx+-1sin2x", "mnuWaveSinAddFormula"), "Wrong Formula！",
         "Enter Formula", C},
        {"read before link", answer(nullptr, "mnuOscil_ReadData"), "Please link with instrument!",
         "ERROR!", N},
    };
    for (const auto& row : rows) {
        Win w;
        w->action("mnuStandardTri")->trigger();
        const WaveStore before = w.store();
        row.act(w);
        QVERIFY2(w.prompts.messages.size() == 1, row.what);
        QCOMPARE(w.prompts.messages[0].text, row.text);
        QCOMPARE(w.prompts.messages[0].title, row.title);
        QCOMPARE(w.prompts.messages[0].icon, row.icon);
        if (QLatin1String(row.what) == "read before link") // above the window that stays on top
            QCOMPARE(w.prompts.messages[0].owner, static_cast<QWidget*>(w->formTDS()));
        if (!QString(row.what).startsWith("length"))
            QVERIFY2(w.store().ArbData == before.ArbData && w.store().ArbLength == 201.0f,
                     row.what);
    }
}

void TestWindowSuite::entryFields() {
    Win w;
    EntryField* len = w->Text_Arb_Length;
    typeInto(len, "");
    QCOMPARE(len->text(), QString("2001"));
    QCOMPARE(w.store().ArbLength, 2001.0f);
    QCOMPARE(w->editor().view().ViewSpan, 2001);
    typeInto(len, "1a2b-.", false); // letters never show and say nothing
    QCOMPARE(len->text(), QString("12"));
    QVERIFY(len->isEditingLook());
    typeInto(w->Text_ArbLineStartX, "0007"); // leaving the length field commits it
    QCOMPARE(w.store().ArbLength, 12.0f);
    QCOMPARE(w->entry().ArbLineStartX, 7);

    EntryField* y = w->Text_ArbLineStartY;
    typeInto(y, "0.12345");
    QCOMPARE(y->text(), QString("0.123"));
    QCOMPARE(w->entry().ArbLineStartY, 0.123f);
    y->setCursorPosition(3); // "-" toggles the sign wherever the caret is
    QTest::keyClick(y, Qt::Key_Minus);
    QCOMPARE(y->text(), QString("-0.123"));
    QCOMPARE(y->cursorPosition(), 1);
    QTest::keyClick(y, Qt::Key_Minus);
    QCOMPARE(y->text(), QString("0.123"));
    QCOMPARE(y->cursorPosition(), 0);
    y->selectAll(); // a digit replaces a selection; Enter on a selection commits 0
    QTest::keyClick(y, Qt::Key_5);
    QCOMPARE(y->text(), QString("5"));
    y->selectAll();
    QTest::keyClick(y, Qt::Key_Return);
    QCOMPARE(y->text(), QString("0.000"));
    QCOMPARE(y->cursorPosition(), 5);

    // Text that does not convert is not committed: the last committed value comes back.
    typeInto(y, "0.25");
    typeInto(y, "-");
    QCOMPARE(y->text(), QString("0.250"));
    w->Text_ArbLineStartX->setText("99999999999999");
    QTest::keyClick(w->Text_ArbLineStartX, Qt::Key_Return);
    QCOMPARE(w->Text_ArbLineStartX->text(), QString("7"));
    len->setText("12x");
    QTest::keyClick(len, Qt::Key_Return);
    QCOMPARE(len->text(), QString("12"));
    QVERIFY(w.prompts.messages.empty());

    // Leaving a field commits it; the press that brings the focus in selects the whole text.
    typeInto(len, "1000", false);
    w->Text_ArbLineStopY->setFocus();
    QCOMPARE(w.store().ArbLength, 1000.0f);
    QVERIFY(!len->isEditingLook() && !len->hasFocus());
    QTest::mouseClick(w->Text_ArbLineStopX, Qt::LeftButton, {}, QPoint(3, 3));
    QCOMPARE(w->Text_ArbLineStopX->selectedText(), w->Text_ArbLineStopX->text());

    auto focus = [&](QEvent::Type type, Qt::FocusReason reason) {
        QFocusEvent e(type, reason);
        QApplication::sendEvent(len, &e);
    };
    typeInto(len, "300");
    QVERIFY(!len->isEditingLook());
    // A message box, another window or a menu takes the focus and gives it back: the
    // committed field keeps its normal look.
    for (const Qt::FocusReason r :
         {Qt::ActiveWindowFocusReason, Qt::PopupFocusReason, Qt::MenuBarFocusReason}) {
        focus(QEvent::FocusOut, r);
        focus(QEvent::FocusIn, r);
        QVERIFY(!len->isEditingLook());
    }
    // A lone Alt (the menu bar taking the focus) does not commit a pending edit.
    typeInto(len, "400", false);
    focus(QEvent::FocusOut, Qt::MenuBarFocusReason);
    QCOMPARE(w.store().ArbLength, 300.0f);
    QVERIFY(len->isEditingLook());
    focus(QEvent::FocusIn, Qt::MenuBarFocusReason);
    QTest::keyClick(len, Qt::Key_Return);
    QCOMPARE(w.store().ArbLength, 400.0f);
}

void TestWindowSuite::pendingEdits() {
    // What the fields show is what the store holds once a command has written it.
    QTemporaryDir dir;
    const QString own = writeFile(dir, "w.txt", "201\r\n" + QByteArray("0.5\r\n").repeated(201));
    const QString hundred =
        writeFile(dir, "h.txt", "100\r\n" + QByteArray("0.25\r\n").repeated(100));
    Win w;
    EntryField* len = w->Text_Arb_Length;
    typeInto(len, "5000", false);
    w.prompts.openNames.push_back(own);
    QTest::keyClick(len, Qt::Key_O, Qt::ControlModifier); // the menu's shortcut, from the field
    QCOMPARE(w.prompts.openCalls, 1);
    QCOMPARE(len->text(), QString("201"));
    w->Text_ArbLineStartX->setFocus();
    QCOMPARE(w.store().ArbLength, 201.0f);
    typeInto(len, "700", false);
    w.prompts.openNames.push_back(hundred);
    w->action("mnuWaveAdd")->trigger();
    QCOMPARE(len->text(), QString("201"));
    w.prompts.saveNames.push_back(dir.filePath("saved.txt"));
    QTest::keyClick(len, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(fileBytes(dir.filePath("saved.txt")).count('\n'), 202);
    QVERIFY(w.prompts.messages.empty());

    // Save commits nothing: with 500 typed (no Enter) and the dialog cancelled, the waveform,
    // its length and the history stay as they were; saved, the file holds the text as it
    // stands and 500 samples, and the store is still 201 long.
    w->action("mnuStandardSin")->trigger();
    const WaveStore sine = w.store();
    const int steps = w->history().stack().count();
    typeInto(len, "500", false);
    QTest::keyClick(len, Qt::Key_S, Qt::ControlModifier); // no name: Cancel
    QCOMPARE(w.store().ArbLength, 201.0f);
    QVERIFY(w.store().ArbData == sine.ArbData);
    QCOMPARE(w->history().stack().count(), steps);
    QCOMPARE(len->text(), QString("500"));
    w.prompts.saveNames.push_back(dir.filePath("500.txt"));
    QTest::keyClick(len, Qt::Key_S, Qt::ControlModifier);
    const QByteArray five = fileBytes(dir.filePath("500.txt"));
    QVERIFY(five.startsWith("500\r\n"));
    QCOMPARE(five.count('\n'), 501);
    QCOMPARE(w.store().ArbLength, 201.0f);
    QCOMPARE(w->history().stack().count(), steps);
    QVERIFY(w.prompts.messages.empty());
    // A text that is no length the store can give: the length message before any dialog,
    // nothing written, nothing changed.
    for (const char* text : {"201500", "abc", "3"}) {
        typeInto(len, text, false);
        const int saves = w.prompts.saveCalls;
        w.prompts.saveNames.push_back(dir.filePath("never.txt"));
        QTest::keyClick(len, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(w.prompts.saveCalls, saves);
        QCOMPARE(w.prompts.texts(), QStringList{kLength});
        QCOMPARE(w.prompts.messages.front().icon, MsgIcon::Critical);
        QVERIFY(!QFileInfo::exists(dir.filePath("never.txt")));
        QCOMPARE(w.store().ArbLength, 201.0f);
        QCOMPARE(w->history().stack().count(), steps);
        w.prompts.messages.clear();
        w.prompts.saveNames.clear();
    }
    typeInto(len, "201");

    // The formula commits the length it sets; a later edit still commits when the user leaves.
    typeInto(len, "1000");
    w.prompts.inputs.push_back(QString("sinx+0.5sin2x"));
    w->action("mnuWaveSinAddFormula")->trigger();
    typeInto(len, "1005", false);
    w->Text_ArbLineStopX->setFocus();
    QCOMPARE(w.store().ArbLength, 1005.0f);
    QVERIFY(!len->isEditingLook());

    // A field that got the focus back with its window (a file dialog closed) commits too.
    EntryField* x = w->Text_ArbLineStartX;
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    QVERIFY(QTest::qWaitForWindowActive(&other));
    x->setFocus(); // taken when the main window is active again
    QApplication::setActiveWindow(w.form.get());
    QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
    QVERIFY(x->hasFocus());
    QTest::keyClicks(x, "60");
    w->Text_ArbLineStartY->setFocus();
    QCOMPARE(w->entry().ArbLineStartX, 60);
    QVERIFY(!x->isEditingLook());

    // Left while the window is not active, for another control: the field commits once the
    // focus turns out to be elsewhere, and the field that took it is entered as a press
    // enters it.
    auto inactive = [&] {
        QApplication::setActiveWindow(&other);
        QTRY_VERIFY(QApplication::activeWindow() == &other);
    };
    auto active = [&] {
        QApplication::setActiveWindow(w.form.get());
        QTRY_VERIFY(QApplication::activeWindow() == w.form.get());
    };
    EntryField* startY = w->Text_ArbLineStartY;
    EntryField* stopY = w->Text_ArbLineStopY;
    typeInto(startY, "0.5", false);
    inactive();
    stopY->setFocus(Qt::MouseFocusReason); // the press reaches the window before it is active
    active();
    QCOMPARE(w->entry().ArbLineStartY, 0.5f);
    QVERIFY(!startY->isEditingLook());
    QVERIFY(stopY->isEditingLook());
    QCOMPARE(stopY->selectedText(), stopY->text());
    // The same into the length field, and a value out of range says so exactly once.
    typeInto(startY, "1.5", false);
    inactive();
    len->setFocus(Qt::MouseFocusReason);
    active();
    QCOMPARE(w.prompts.texts(), QStringList{kYUpper});
    QCOMPARE(w->entry().ArbLineStartY, 1.0f);
    QVERIFY(len->isEditingLook());
    w.prompts.messages.clear();
    // A press on a button before the window is active: the button acts on what was typed.
    typeInto(w->Text_ArbLineStartX, "7");
    typeInto(startY, "0.25", false);
    inactive();
    QTest::mouseClick(w->Command_ArbPoint, Qt::LeftButton);
    QCOMPARE(w.store().ArbData[7], 0.25f);
    QVERIFY(!startY->isEditingLook());
    active();
    QVERIFY(w.prompts.messages.empty());
    // Back in the same field: nothing is committed, the edit stays open.
    typeInto(startY, "0.75", false);
    inactive();
    active();
    QVERIFY(startY->hasFocus() && startY->isEditingLook());
    QCOMPARE(w->entry().ArbLineStartY, 0.25f);
    QTest::keyClick(startY, Qt::Key_Return);
    QCOMPARE(w->entry().ArbLineStartY, 0.75f);

    // Leaving a Y field with its whole text selected commits 0, as Enter does.
    EntryField* y = w->Text_ArbLineStartY;
    typeInto(y, "0.5");
    y->selectAll();
    w->Text_ArbLineStopY->setFocus();
    QCOMPARE(y->text(), QString("0.000"));
    QCOMPARE(w->entry().ArbLineStartY, 0.0f);
    QVERIFY(w.prompts.messages.empty());
}

void TestWindowSuite::setPointAndLine() {
    Win w;
    typeInto(w->Text_ArbLineStopX, "9");
    typeInto(w->Text_ArbLineStartX, "5");
    typeInto(w->Text_ArbLineStartY, "0.25");
    w->Command_ArbPoint->click();
    QCOMPARE(w.store().ArbData[5], 0.25f);
    QCOMPARE(w->Text_ArbLineStopX->text(), QString("5"));
    QCOMPARE(w->Text_ArbLineStopY->text(), QString("0.250"));
    QVERIFY(w->Text_ArbLineStopX->isEditingLook());
    QCOMPARE(w->entry().ArbLineStopY, 0.25f);

    // A line from (10, 0) to (20, 1): 0.0, 0.1, ..., 1.0.
    typeInto(w->Text_ArbLineStartX, "10");
    typeInto(w->Text_ArbLineStartY, "0");
    typeInto(w->Text_ArbLineStopX, "20");
    typeInto(w->Text_ArbLineStopY, "1");
    w->Command_ArbLine->click();
    for (int i = 10; i <= 21; ++i)
        QCOMPARE(w.store().ArbData[i], i > 20 ? 0.0f : static_cast<float>((i - 10) / 10.0));
    // Start after end: only the start index changes.
    w.edit([](WaveStore& s) { s.ArbData.fill(0.5f); });
    typeInto(w->Text_ArbLineStartX, "20");
    typeInto(w->Text_ArbLineStopX, "10");
    w->Command_ArbLine->click();
    QCOMPARE(w.store().ArbData[20], 0.0f);
    QCOMPARE(w.store().ArbData[15], 0.5f);
    // An X committed before the length shrank stays.
    typeInto(w->Text_ArbLineStartX, "150");
    typeInto(w->Text_Arb_Length, "100");
    w->Command_ArbPoint->click();
    QCOMPARE(w.store().ArbData[150], 0.0f);
    QCOMPARE(w->entry().ArbLineStartX, 150);
}

void TestWindowSuite::pressAfterCommitMessage() {
    // A real message box takes the release of the press on the button; the button still acts,
    // after the commit, and is not left pressed.
    for (const char* name : {"Command_ArbPoint", "Command_ArbWaveCls"}) {
        Win w(true);
        w->action("mnuStandardSqu")->trigger();
        typeInto(w->Text_ArbLineStartX, "150");
        typeInto(w->Text_ArbLineStartY, "1.5", false);
        auto* button = w->findChild<QPushButton*>(name);
        QString shown;
        answerNextBox(&shown);
        QTest::mousePress(button, Qt::LeftButton);
        QCOMPARE(shown, kYUpper);
        QCOMPARE(w->Text_ArbLineStartY->text(), QString("1.000"));
        QVERIFY(!button->isDown());
        const bool point = QLatin1String(name) == "Command_ArbPoint";
        QCOMPARE(w.store().ArbData[150], point ? 1.0f : 0.0f); // the square held -1.0 there
        QCOMPARE(w.store().ArbData[50], point ? 1.0f : 0.0f);
        QTest::mouseRelease(button, Qt::LeftButton);
    }
    { // Exit, pressed while a length outside the range waits: the message, then the exit.
        Win w(true);
        typeInto(w->Text_Arb_Length, "3", false);
        QString shown;
        answerNextBox(&shown);
        QTest::mousePress(w->Command_Exit, Qt::LeftButton);
        QCOMPARE(shown, kLength);
        QCOMPARE(w.exits, 1);
        QTest::mouseRelease(w->Command_Exit, Qt::LeftButton);
    }
    // On the canvas, the box takes the release of a drawing press. The moves after it, with no
    // button held, must not draw.
    Win w(true);
    typeInto(w->Text_Arb_Length, "3", false);
    QString shown;
    answerNextBox(&shown);
    const QPoint p = w.at(100, 0.5).toPoint();
    QTest::mousePress(w.canvas(), Qt::LeftButton, {}, p);
    QCOMPARE(shown, kLength);
    QCOMPARE(w.store().ArbLength, 4.0f);
    const WaveStore after = w.store();
    w.move(2, -0.5, Qt::NoButton);
    w.move(3, 0.9, Qt::NoButton);
    QVERIFY(w.store().ArbData == after.ArbData);
    QVERIFY(!w->editor().ArbDrawing);
    QCOMPARE(w.labels(), QString("3| 0.900"));
    QTest::mouseRelease(w.canvas(), Qt::LeftButton, {}, p);
}

void TestWindowSuite::drawing() {
    // A click writes one sample: 5.3 -> 5, 5.7 -> 6, 6.5 -> 6 (ties to even).
    for (const auto& [x, written] : {std::pair{5.3, 5}, {5.7, 6}, {6.5, 6}}) {
        Win w;
        w.press(x, 0.5004);
        w.release(x, 0.5004);
        for (int i = 0; i <= 201; ++i)
            QCOMPARE(w.store().ArbData[i], i == written ? 0.5f : 0.0f);
        QCOMPARE(w.labels(), QString::number(written) + "| 0.500");
    }
    Win w;
    // Values round down to 0.001.
    w.press(20, -0.5231);
    QCOMPARE(w.store().ArbData[20], -0.524f);
    w.release(20, -0.5231);
    // The grid step below the pointer, not the nearest: 0.52365 is 0.523, -0.52335 is -0.524.
    w->editor().mouseDown(Qt::LeftButton, 30.0f, 523650.0f);
    QCOMPARE(w.store().ArbData[30], 0.523f);
    w->editor().mouseMove(30.0f, -523350.0f, true);
    QCOMPARE(w.store().ArbData[30], -0.524f);
    w->editor().mouseUp();
    w.press(20, -0.5231);
    // Past the edges: the first or last index, at +1 or -1.
    w.move(-30, 3.0);
    QCOMPARE(w.labels(), QString("0| 1.000"));
    w.move(400, -3.0);
    QCOMPARE(w.store().ArbData[201], -1.0f);
    // Any button's release ends the drag; a right press starts none.
    w.release(400, 0, Qt::RightButton);
    const float at60 = w.store().ArbData[60];
    w.move(60, 0.9);
    QCOMPARE(w.store().ArbData[60], at60);
    QCOMPARE(w.labels(), QString("60| 0.900"));
    w.press(70, 0.5, Qt::RightButton);
    QVERIFY(!w->editor().ArbDrawing);
    w.move(5.7, -1.0075, Qt::NoButton); // over the bottom margin the readout reads below -1
    QCOMPARE(w.labels(), QString("5|-1.008"));

    // Zoomed, a drag writes only inside the view (50..149).
    w.edit([](WaveStore& s) { s.ArbData.fill(0.25f); });
    w->action("mnuArbZoomin")->trigger();
    w.press(60, 0.5);
    w.move(-100, 0.5);
    w.move(1000, -0.5);
    w.release(1000, -0.5);
    QCOMPARE(w.store().ArbData[49], 0.25f);
    QCOMPARE(w.store().ArbData[50], 0.5f);
    QCOMPARE(w.store().ArbData[149], -0.5f);
    QCOMPARE(w.store().ArbData[150], 0.25f);
    QCOMPARE(w->editor().view().ViewSpan, 100); // steps repaint, they do not redraw

    // A press in the right margin at 16000 points anchors inside the store.
    typeInto(w->Text_Arb_Length, "16000");
    w.press(16025, 0.5);
    QCOMPARE(w->editor().DrawAnchorX, 16000);
    w.move(15990, -0.5);
    w.release(15990, -0.5);
    QCOMPARE(w.store().ArbData[15990], -0.5f);

    // A press that commits a pending length keeps its anchor: no segment from index 0.
    Win v;
    typeInto(v->Text_Arb_Length, "300", false);
    v.canvas()->setFocus(Qt::MouseFocusReason);
    QCOMPARE(v.store().ArbLength, 300.0f);
    v.press(120, 0.3);
    v.move(124, 0.7);
    QCOMPARE(v.store().ArbData[119], 0.0f);
    QCOMPARE(v.store().ArbData[124], 0.7f);
}

void TestWindowSuite::stepRepaintsOnlyItsBand() {
    for (const int length : {201, 16000}) {
        Win w;
        typeInto(w->Text_Arb_Length, QString::number(length));
        const int c0 = length / 2;
        w.press(c0, 0.0);
        const QImage before = w->editor().canvas().image().copy();
        w.move(c0 + 3, 0.9);
        const QImage after = w->editor().canvas().image();
        const CanvasMapping& m = w->editor().canvas().mapping();
        // Nothing changes a fiftieth of the length or more away from the step.
        const int left = m.columnOf(c0 - length / 50), right = m.columnOf(c0 + 3 + length / 50);
        auto outside = [&](QImage i) {
            QPainter(&i).fillRect(left, 0, right - left + 1, i.height(), Qt::black);
            return i;
        };
        QCOMPARE(outside(after), outside(before));
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

void TestWindowSuite::filesThroughWindow() {
    QTemporaryDir dir;
    const QString path = dir.filePath("sine.txt");
    Win w;
    typeInto(w->Text_Arb_Length, "1000");
    w->action("mnuStandardSin")->trigger();
    // An edit of the length left open when Ctrl+S is pressed is committed first.
    typeInto(w->Text_Arb_Length, "500", false);
    w.prompts.saveNames.push_back(path);
    QTest::keyClick(w.form.get(), Qt::Key_S, Qt::ControlModifier);
    const QByteArray saved = fileBytes(path);
    QVERIFY(saved.startsWith("500\r\n 0.000\r\n 0.006\r\n"));
    QCOMPARE(saved.count('\n'), 501);

    // Open from a field with Ctrl+O; index ArbLength is left alone.
    Win v;
    v.edit([](WaveStore& s) { s.ArbData[500] = 0.3f; });
    v.prompts.openNames.push_back(path);
    v->Text_ArbLineStartY->setFocus();
    QTest::keyClick(v->Text_ArbLineStartY, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(v->Text_Arb_Length->text(), QString("500"));
    QCOMPARE(v->editor().view().ViewSpan, 500);
    QCOMPARE(v.store().ArbData[250], 1.0f);
    QCOMPARE(v.store().ArbData[500], 0.3f);
    // A save changes nothing in the window, the zoomed view included, nor the undo steps.
    v->action("mnuArbZoomin")->trigger();
    v.prompts.saveNames.push_back(dir.filePath("again.txt"));
    QTest::keyClick(v->Text_ArbLineStartY, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(v->editor().view().ViewSpan, 250);
    QVERIFY(QFile::exists(dir.filePath("again.txt")));
    QCOMPARE(v->history().stack().count(), 2); // the test's edit and the Open
    // A file with too long a length loads, with the message.
    v.prompts.openNames.push_back(writeFile(dir, "long.txt", "20000\r\n0.5\r\n"));
    v->mnuFileOpen_Click();
    QCOMPARE(v.prompts.texts(), QStringList{kLength});
    QCOMPARE(v.store().ArbLength, 16000.0f);

    // Named on the command line, or dropped on the window: opened as Open opens it.
    Win u;
    u->openFile(path);
    QCOMPARE(u.store().ArbLength, 500.0f);
    QCOMPARE(u->action("mnuEditUndo")->text(), QString("&Undo Open"));
    u->action("mnuStandardSqu")->trigger();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(u.form.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(u.form.get(), &drop);
    QTRY_COMPARE(u.store().ArbData[250], 1.0f); // the square held -1 there
    // A .txt that is a table goes to Import, not to Open's refusal.
    bool imported = false;
    QTimer::singleShot(0, [&] {
        if (auto* d = qobject_cast<ImportDialog*>(QApplication::activeModalWidget())) {
            imported = d->column->currentText() == "v";
            d->reject();
        }
    });
    u->openFile(writeFile(dir, "table.txt", "t,v\n0,0.5\n1,0.25\n2,-0.5\n3,1\n"));
    QVERIFY(imported);
    QVERIFY(u.prompts.messages.empty());
}

void TestWindowSuite::menuCommands() {
    QTemporaryDir dir;
    Win w;
    FakePrompts& p = w.prompts;
    // Add a longer file: the length and its field follow.
    p.openNames.push_back(
        writeFile(dir, "long.txt", "400\r\n" + QByteArray("1\r\n").repeated(400)));
    w->action("mnuWaveAdd")->trigger();
    QCOMPARE(w->Text_Arb_Length->text(), QString("400"));
    QCOMPARE(w.store().ArbData[0], 0.5f);
    QCOMPARE(w->editor().view().ViewSpan, 400);
    // Zoom through the menu moves the scroll bar; Actul returns to the full view.
    w->action("mnuArbZoomin")->trigger();
    QCOMPARE(w->HScroll_XZoom->maximum(), 200);
    w->action("mnuArbZoomNo")->trigger();
    QCOMPARE(w->HScroll_XZoom->maximum(), 0);
    // Factor boxes: the prompt, title and default; the answer acts.
    p.inputs.push_back(QString("2"));
    w->action("mnuWaveAmplDiv")->trigger();
    QCOMPARE(p.inputPrompts.last(),
             QString("Please enter divisor,\n(divisor>=1)|Amplitude divide|2"));
    QCOMPARE(w.store().ArbData[0], 0.25f);
    // The formula commits its length through the field.
    p.inputs.push_back(QString("SINX+0.5SIN3X"));
    w->action("mnuWaveSinAddFormula")->trigger();
    QCOMPARE(p.inputPrompts.last(),
             QString("Formula of Sine Add,\nThe amplitude of first Sine waveform is 1, "
                     "independent variable is x,ω = 1|Formula of Sine Add|sinx+0.5sin2x"));
    QCOMPARE(w->Text_Arb_Length->text(), QString("399"));
    QVERIFY(!w->Text_Arb_Length->isEditingLook());
    p.inputs.push_back(QString("sinx+sin500x")); // cut below 4: raised by the commit
    w->action("mnuWaveSinAddFormula")->trigger();
    QCOMPARE(w.store().ArbLength, 4.0f);
    QCOMPARE(p.texts(), QStringList{kLength});
    // The waveform number bar: 8 at the top, 1 at the bottom.
    for (int i = 0; i < 9; ++i)
        w->VScroll_ArbNumber->triggerAction(QAbstractSlider::SliderSingleStepSub);
    QCOMPARE(w.store().ArbNumber, 8.0f);
    QCOMPARE(w->Label_ArbNumber->text(), QString("8"));
    w->close();
    QCOMPARE(w.exits, 1);
}

void TestWindowSuite::menuTree() {
    Win w;
    QStringList tree;
    std::function<void(const QList<QAction*>&, int)> describe = [&](const QList<QAction*>& as,
                                                                    int depth) {
        for (QAction* a : as) {
            QString line = QString(depth * 2, ' ') + (a->isSeparator() ? "-" : a->text());
            line += a->isChecked() ? " [x]" : "";
            line += !a->isVisible() ? " [hidden]" : !a->isEnabled() ? " [-]" : "";
            if (!a->shortcut().isEmpty())
                line += " {" + a->shortcut().toString() + "}";
            tree << line;
            if (a->menu())
                describe(a->menu()->actions(), depth + 1);
        }
    };
    describe(w->menuBar()->actions(), 0);
    // The menu bar as the program's documentation lists it, one entry a line.
    QCOMPARE(tree.join('\n') + '\n',
             QString::fromUtf8(fileBytes(QStringLiteral(WAVEWRIGHT_FIXTURES "/menutree.txt"))));
    // Check marks move with the choice and the value is stored.
    w->action("mnuComBaudNumber_3")->trigger();
    w->action("mnuComParityBits_2")->trigger();
    w->action("mnuComFlowHardSoft_2")->trigger();
    QVERIFY(w->action("mnuComBaudNumber_3")->isChecked() &&
            !w->action("mnuComBaudNumber_5")->isChecked());
    QCOMPARE(w->serialSettings().generatorSettings(), QString("2400,E,7,1"));
    QCOMPARE(w->serialSettings().ComFlowControl, 0);
}

void TestWindowSuite::toolbarAndAbout() {
    Win w;
    QCOMPARE(w->Toolbar1->actions().size(), 11);
    QStringList tips;
    for (const QAction* a : w->Toolbar1->actions())
        tips << a->toolTip();
    QCOMPARE(tips, QStringList({"Open", "Save", "Add", "Subtract", "Draw", "Zoom In", "Full view",
                                "Zoom Out", "Send", "Exit", "Help"}));
    for (int i = 0; i < 11; ++i)
        QCOMPARE(toolbarIcon(toolbarImages()[i]).availableSizes().value(0), QSize(18, 18));
    auto cursor = [&] { return w->Picture_Arb->cursor().shape(); };
    w->Toolbar1->button("Draw")->trigger();
    QCOMPARE(cursor(), Qt::CrossCursor);
    w->Toolbar1->button("Zoomin")->trigger(); // any key but Draw puts the arrow back
    QCOMPARE(cursor(), Qt::ArrowCursor);
    QCOMPARE(w->editor().view().ViewSpan, 100);
    w->Toolbar1->button("Zoomout")->trigger();
    QCOMPARE(w->editor().view().ViewSpan, 200);
    for (const char* key : {"FileOpen", "FileSave", "WaveAdd", "WaveDec", "Help", "Exit"})
        w->Toolbar1->button(key)->trigger();
    QCOMPARE(w.prompts.openCalls, 3);
    QCOMPARE(w.prompts.saveCalls, 1);
    QCOMPARE(w.exits, 1);
    // A press on the bar outside the buttons gives the canvas the focus.
    w->Text_ArbLineStartX->setFocus();
    QTest::mouseClick(w->Toolbar1, Qt::LeftButton, {},
                      QPoint(w->Toolbar1->width() - 3, w->Toolbar1->height() / 2));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->Picture_Arb));

    w->action("about")->trigger();
    frmAbout* box = w->aboutBox();
    QVERIFY(box && box->isVisible() && !box->isModal() && w->isEnabled());
    QCOMPARE(box->lblVersion->text(), QString(27, ' ') + "Version 1.0.6");
    QCOMPARE(box->windowTitle(),
             QString("About Vorrel Series Arbitrary Waveform Creation Software"));
    w->about_Click(); // one about box
    QCOMPARE(w->aboutBox(), box);
    QTest::mouseClick(box->cmdOK, Qt::LeftButton);
    QTRY_VERIFY(!w->aboutBox());
}

void TestWindowSuite::importAndExport() {
    QTemporaryDir dir;
    Win w;
    // A scope's export: a header, a time column, decimal commas, 20000 rows beyond -1..+1.
    QByteArray scope = "TIME;CH1\n";
    for (int i = 0; i < 20000; ++i)
        scope += QByteArray::number(i * 1e-6) + ';' +
                 QByteArray::number(2.0 * std::sin(i * 0.001)).replace('.', ',') + '\n';
    ImportDialog d("scope.csv", readFileContent(writeFile(dir, "scope.csv", scope)));
    QCOMPARE(d.column->currentText(), QString("CH1"));
    QCOMPARE(d.column->itemText(0), QString("TIME (time)"));
    QVERIFY(d.understood->text().contains("delimiter: semicolon; decimal mark: comma"));
    QCOMPARE(d.length->value(), 16000);
    QCOMPARE(d.resample->currentIndex(), 1); // a record keeps both its ends
    QVERIFY2(d.summary->text().startsWith("20000 values from -2 to 2\n"),
             qPrintable(d.summary->text()));
    QVERIFY(d.summary->text().contains("values from -2 to 2: scaled so the peak is 1"));
    w->applyImport(d.result());
    QCOMPARE(w.store().ArbLength, 16000.0f);
    QCOMPARE(*std::max_element(w.store().ArbData.begin(), w.store().ArbData.end()), 1.0f);
    QCOMPARE(w.store().ArbData[16000], w.store().ArbData[0]); // the trace closes on the first
    QCOMPARE(w->Text_Arb_Length->text(), QString("16000"));
    QCOMPARE(w->history().stack().undoText(), QString("Import"));
    // Choices that leave too few values say so, and OK waits.
    d.column->setCurrentIndex(0);
    d.length->setValue(4);
    QVERIFY(d.buttons->button(QDialogButtonBox::Ok)->isEnabled());
    ImportDialog few("few.csv", readFileContent(writeFile(
                                    dir, "few.csv", "t,v\n0,1\n1,nan\n2,0.5\n3,0.25\n4,0\n")));
    QCOMPARE(few.summary->text(),
             QString("line 3 of v is not a finite number (nan); it can be skipped."));
    QVERIFY(!few.buttons->button(QDialogButtonBox::Ok)->isEnabled());
    few.skipNonFinite->setChecked(true);
    // By time: the row skipped leaves a gap the straight line fills.
    QCOMPARE(few.result(), (std::vector<float>{1, 0.75f, 0.5f, 0.25f, 0}));
    // A simulator's raw file: its traces by name, the last voltage chosen.
    ImportDialog raw("tran.raw", readFileContent(writeFile(
                                     dir, "tran.raw",
                                     "Title: t\nPlotname: Transient Analysis\nFlags: real\n"
                                     "No. Variables: 3\nNo. Points: 4\nVariables:\n"
                                     "\t0\ttime\ttime\n\t1\tv(out)\tvoltage\n"
                                     "\t2\ti(v1)\tcurrent\nValues:\n"
                                     " 0\t0\n\t0.1\n\t1\n 1\t1\n\t0.2\n\t1\n"
                                     " 2\t2\n\t0.3\n\t1\n 3\t3\n\t0.4\n\t1\n")));
    QCOMPARE(raw.column->count(), 3);
    QCOMPARE(raw.column->itemText(1), QString("v(out)"));
    QCOMPARE(raw.column->currentIndex(), 1);
    QCOMPARE(raw.result(), (std::vector<float>{0.1f, 0.2f, 0.3f, 0.4f}));

    // A file that cannot come in: one message, nothing changed.
    const WaveStore before = w.store();
    w.prompts.openNames = {writeFile(dir, "words.csv", "a,b\nc,d\n"),
                           writeFile(dir, "fake.wav", "not a sound")};
    w->action("mnuFileImport")->trigger();
    w->action("mnuFileImport")->trigger();
    QCOMPARE(w.prompts.messages.size(), std::size_t(2));
    QVERIFY(w.prompts.texts()[0].endsWith("\nThe file has no numeric column."));
    QCOMPARE(w.prompts.messages[1].title, QString("ERROR!"));
    QCOMPARE(w.prompts.messages[1].icon, MsgIcon::Exclamation);
    QVERIFY(w.store().ArbData == before.ArbData);

    // Exports read back as the samples; a picture has the trace where the canvas has it.
    typeInto(w->Text_Arb_Length, "400");
    w->action("mnuStandardSqu")->trigger();
    // A name without an extension takes the chosen filter's; the program's own file is one.
    w.prompts.saveNames = {dir.filePath("w"),
                           dir.filePath("w.wav"),
                           dir.filePath("w.png"),
                           dir.filePath("w.svg"),
                           dir.path() + "/no/such/dir/w.csv",
                           dir.filePath("own")};
    w.prompts.saveFilters = {"CSV (*.csv *.tsv *.dat)",   "", "", "", "",
                             "Waveform data file (*.txt)"};
    w.prompts.inputs = {QString("8000"), QString("800x400"), QString("800x400")};
    for (int i = 0; i < 6; ++i)
        w->action("mnuFileExport")->trigger();
    QVERIFY(fileBytes(dir.filePath("own.txt")).startsWith("400\r\n 1.000\r\n"));
    QCOMPARE(readTable(dir.filePath("w.csv")).columns[1][399], -1.0);
    const Sound sound = readSound(dir.filePath("w.wav"));
    QCOMPARE(sound.rate, 8000);
    QCOMPARE(sound.channels[0].size(), std::size_t(400));
    QCOMPARE(sound.channels[0][0], 1.0);
    const QImage picture(dir.filePath("w.png"));
    QCOMPARE(picture.size(), QSize(800, 400));
    const QRect area = pictureArea(picture.size());
    QCOMPARE(picture.pixel(area.left() + area.width() / 4, area.top()), kTraceColor);
    QCOMPARE(picture.pixel(area.left() + area.width() * 3 / 4, area.top()), kGridColor);
    QVERIFY(fileBytes(dir.filePath("w.svg")).contains("<svg"));
    QCOMPARE(w.prompts.messages.size(), std::size_t(3));
    QVERIFY(w.prompts.texts()[2].startsWith("Save failure!\nPlease Retry.\n\n"));
}

void TestWindowSuite::spectrumView() {
    QTemporaryDir dir;
    Win w;
    typeInto(w->Text_Arb_Length, "1000");
    w->action("mnuStandardSin")->trigger();
    w->action("mnuArbSpectrum")->trigger();
    SpectrumView* view = w->spectrumView();
    QVERIFY(view && view->isVisible());
    QVERIFY(view->figures().error.isEmpty());
    QVERIFY(view->figures().thdDb < -100); // a pure sine
    QVERIFY(view->summary->text().startsWith("THD -"));
    // It follows the waveform: the square's third harmonic is 1/3 of its fundamental.
    w->action("mnuStandardSqu")->trigger();
    QTRY_VERIFY(std::abs(view->figures().harmonics[2].dBc -
                         20 * std::log10(std::sin(M_PI / 1000) / std::sin(3 * M_PI / 1000))) <
                0.01);
    QCOMPARE(view->table->rowCount(), 20);
    QCOMPARE(view->table->item(2, 2)->text(),
             QString::number(view->figures().harmonics[2].dBc, 'f', 2));
    // As the generator makes it: the 12 bits add their noise.
    w->action("mnuStandardSin")->trigger();
    QTRY_VERIFY(view->figures().snrDb > 100);
    view->quantized->setChecked(true);
    QVERIFY(view->figures().snrDb < 80 && view->figures().snrDb > 60);
    // A freehand stroke is analysed once, when it ends, so drawing is not slowed.
    const double before = view->figures().thdDb;
    w.press(100, 0.5);
    w.move(300, -0.5);
    w.move(500, 0.8);
    QCoreApplication::processEvents();
    QCOMPARE(view->figures().thdDb, before);
    w.release(500, 0.8);
    QTRY_VERIFY(view->figures().thdDb != before);
    // The table as CSV, the chart as a picture.
    w.prompts.saveNames = {dir.filePath("h"), dir.filePath("c.png")};
    view->exportTable();
    view->exportChart();
    const QList<QByteArray> rows = fileBytes(dir.filePath("h.csv")).split('\n');
    QCOMPARE(rows.value(0),
             QByteArray("# window none, 12 bits yes (as the generator makes it), harmonics 50\r"));
    QVERIFY(rows.value(1).startsWith("# THD "));
    QCOMPARE(rows.value(2), QByteArray("harmonic,amplitude,dBc,phase_deg\r"));
    QCOMPARE(rows.size(), 54); // two lines, the header, 50 harmonics and the last line end
    // The picture says what it shows: text above the chart, and the axes' titles beside it.
    const QImage picture(dir.filePath("c.png"));
    QCOMPARE(picture.size(), QSize(960, 480));
    auto inked = [&](const QRect& r) {
        int dark = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                dark += qGray(picture.pixel(x, y)) < 128;
        return dark;
    };
    QVERIFY(inked(QRect(0, 0, 960, 30)) > 200);    // the settings and the figures
    QVERIFY(inked(QRect(0, 100, 24, 300)) > 20);   // the level's title
    QVERIFY(inked(QRect(400, 462, 160, 16)) > 20); // "harmonic"
    QVERIFY(w.prompts.messages.empty());
}

void TestWindowSuite::quotedTextsShow() {
    // The program's own texts with full-width punctuation are drawn with real glyphs in the
    // window's font or its fallbacks, not as the empty box of a missing one.
    Win w;
    const QStringList texts = {"Send complete！",
                               "Link with oscilloscope success！",
                               "ERROR！multiplier<1",
                               "ERROR！coefficient<1",
                               "Wrong Formula！",
                               "Data has send：",
                               "Data has received：0;0.00%",
                               "Complete！"};
    for (const QString& text : texts)
        for (const QChar c : text) {
            QTextLayout layout(QString(c), w->font());
            layout.beginLayout();
            layout.createLine().setLineWidth(1000);
            layout.endLayout();
            const QList<QGlyphRun> runs = layout.glyphRuns();
            QVERIFY(!runs.isEmpty() && !runs.front().glyphIndexes().isEmpty());
            QVERIFY2(runs.front().glyphIndexes().front() != 0,
                     qPrintable(text + ": " + c + " in " + runs.front().rawFont().familyName()));
        }
}

QTEST_MAIN(TestWindowSuite)
#include "test_window.moc"
