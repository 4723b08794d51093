#include "app/formmain.h"
#include "app/frmabout.h"
#include "app/toolbar1.h"
#include "editor/canvaswidget.h"
#include "editor/entryfield.h"
#include "testwindow.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>

using namespace ww;

namespace {
struct Window : TestWindow {
    Window() : TestWindow(Setup::active()) {}
};

// The menu tree as "caption" lines, nested entries indented, with marks:
// [x] checked, [-] cannot be chosen, {key} shortcut.
void describe(const QList<QAction*>& actions, int depth, QStringList& out) {
    for (QAction* a : actions) {
        if (!a->isVisible() || a->isSeparator()) {
            if (a->isSeparator())
                out << QString(depth * 2, ' ') + "-";
            if (!a->isVisible() && !a->isSeparator())
                out << QString(depth * 2, ' ') + a->text() + " [hidden]";
            continue;
        }
        QString line = QString(depth * 2, ' ') + a->text();
        if (a->isChecked())
            line += " [x]";
        if (!a->isEnabled())
            line += " [-]";
        if (!a->shortcut().isEmpty())
            line += " {" + a->shortcut().toString() + "}";
        out << line;
        if (a->menu())
            describe(a->menu()->actions(), depth + 1, out);
    }
}
} // namespace

class TestMenus : public QObject {
    Q_OBJECT
  private slots:
    void menuTree();
    void shortcutsFromAnywhere();
    void toolbar();
    void aboutBox();
};

void TestMenus::menuTree() {
    Window w;
    QStringList tree;
    describe(w->menuBar()->actions(), 0, tree);
    const QStringList expected = {
        "&File",
        "  &Open {Ctrl+O}",
        "  &Save {Ctrl+S}",
        "  -",
        "  E&xit",
        "&Oscilloscope",
        "  &EOL String",
        "    LF [x]",
        "    CR",
        "    LF/CR",
        "    CR/LF",
        "  Set &Link",
        "  &Source",
        "    CH1 [x]",
        "    CH2",
        "    CH3 [-]",
        "    CH4 [-]",
        "    REFA",
        "    REFB",
        "  &Read Data",
        "&Rs232 Set",
        "  &COM",
        "    COM1 [x]",
        "    COM2",
        "    COM3",
        "    COM4",
        "  &Baud",
        "    300 [-]",
        "    600",
        "    1200",
        "    2400",
        "    4800",
        "    9600 [x]",
        "    19200 [-]",
        "    38400 [-]",
        "    57600 [-]",
        "  &Parity",
        "    None 8BITS [x]",
        "    Odd  7BITS",
        "    Even 7BITS",
        "  &Flow Control",
        "    &Hard Flagging [x]",
        "    &Soft Flagging [hidden]",
        "    &None",
        "&Standard Waveform",
        "  S&quare",
        "  &Sine",
        "  &Cosine",
        "  &Triangle",
        "  &Ladder Waveform [-]",
        "  &Positive Ramp",
        "  &Negative Ramp",
        "&Math Waveform",
        "  &Add",
        "  &Subtract",
        "  Symmetry of &X-axis",
        "  Symmetry of &Y-axis",
        "  Amplitude &Divide",
        "  Amplitude &Muitiply",
        "  Amplitude &Normalize",
        "  &Frequency Multiply",
        "  F&ormula of Sine Add",
        "&View",
        "  Zoom &In",
        "  Zoom &Out",
        "  &Actul",
        "O&ther",
        "  &Clear",
        "  &Send Data",
        "&About",
    };
    QCOMPARE(tree, expected);
    // Check marks move with the choice; a click on the marked item keeps it.
    w->action("mnuComBaudNumber_3")->trigger();
    QVERIFY(w->action("mnuComBaudNumber_3")->isChecked());
    QVERIFY(!w->action("mnuComBaudNumber_5")->isChecked());
    w->action("mnuComBaudNumber_3")->trigger();
    QVERIFY(w->action("mnuComBaudNumber_3")->isChecked());
    QCOMPARE(w->serialSettings().ComBaud, QString("2400"));
}

void TestMenus::shortcutsFromAnywhere() {
    Window w;
    for (QWidget* where :
         {static_cast<QWidget*>(w->Text_ArbLineStartY), static_cast<QWidget*>(w->Picture_Arb),
          static_cast<QWidget*>(w->Text_Arb_Length)}) {
        where->setFocus();
        const int opens = w.prompts.openCalls, saves = w.prompts.saveCalls;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_O, Qt::ControlModifier);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(w.prompts.openCalls, opens + 1);
        QCOMPARE(w.prompts.saveCalls, saves + 1);
    }
    QVERIFY(w.prompts.messages.empty());
}

void TestMenus::toolbar() {
    Window w;
    QCOMPARE(w->Toolbar1->actions().size(), 11);
    for (int i = 0; i < 11; ++i) {
        QCOMPARE(w->Toolbar1->actions()[i]->objectName(), "Toolbar1_" + toolbarKeys()[i]);
        QCOMPARE(toolbarIcon(toolbarImages()[i]).availableSizes().value(0), QSize(18, 18));
        QVERIFY(w->Toolbar1->actions()[i]->text().isEmpty());
    }
    auto cursor = [&] { return w->Picture_Arb->cursor().shape(); };
    w->Toolbar1->button("Draw")->trigger();
    QCOMPARE(cursor(), Qt::CrossCursor);
    w->Toolbar1->button("Zoomin")->trigger();
    QCOMPARE(cursor(), Qt::ArrowCursor);
    QCOMPARE(w->editor().view().ViewSpan, 100);
    w->Toolbar1->button("Zoomout")->trigger();
    QCOMPARE(w->editor().view().ViewSpan, 200);
    w->Toolbar1->button("ZoomNo")->trigger();
    QCOMPARE(w->editor().view().ViewSpan, 201);
    w->Toolbar1->button("Draw")->trigger();
    const WaveStore before = w->store();
    w->Toolbar1->button("Help")->trigger();
    QCOMPARE(cursor(), Qt::ArrowCursor);
    QVERIFY(w->store().ArbData == before.ArbData);
    QVERIFY(w.prompts.messages.empty());
    w->Toolbar1->button("FileOpen")->trigger();
    w->Toolbar1->button("FileSave")->trigger();
    w->Toolbar1->button("WaveAdd")->trigger();
    w->Toolbar1->button("WaveDec")->trigger();
    QCOMPARE(w.prompts.openCalls, 3);
    QCOMPARE(w.prompts.saveCalls, 1);
    w->Toolbar1->button("Exit")->trigger();
    QCOMPARE(w.exits, 1);
    // A press on the bar outside the buttons gives the canvas the focus.
    w->Text_ArbLineStartX->setFocus();
    QTest::mouseClick(w->Toolbar1, Qt::LeftButton, {},
                      QPoint(w->Toolbar1->width() - 3, w->Toolbar1->height() / 2));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->Picture_Arb));
}

void TestMenus::aboutBox() {
    QCOMPARE(versionLine({2, 3, 17}), QString(27, ' ') + "Version 2.3.17");
    QCOMPARE(versionLine(programVersion()), QString(27, ' ') + "Version 1.0.6");
    Window w;
    w->action("about")->trigger();
    frmAbout* box = w->aboutBox();
    QVERIFY(box);
    QVERIFY(box->isVisible());
    QVERIFY(!box->isModal());
    QVERIFY(w->isEnabled());
    QCOMPARE(box->windowTitle(),
             QString("About Vorrel Series Arbitrary Waveform Creation Software"));
    QCOMPARE(box->lblTitle->text(),
             QString("   Vorrel Series Arbitrary Waveform Creation Software"));
    QCOMPARE(box->lblVersion->text(), versionLine(programVersion()));
    QVERIFY(box->cmdOK->isDefault());
    QVERIFY(!box->picIcon->pixmap().isNull());
    // The same window again while it is open.
    w->about_Click();
    QCOMPARE(w->aboutBox(), box);
    // The main window goes on working while it shows.
    w->action("mnuStandardSin")->trigger();
    QVERIFY(w->store().ArbData[50] > 0.9f);
    QTest::keyClick(box, Qt::Key_Escape);
    QTRY_VERIFY(!w->aboutBox());
    w->about_Click();
    QVERIFY(w->aboutBox());
    QTest::mouseClick(w->aboutBox()->cmdOK, Qt::LeftButton);
    QTRY_VERIFY(!w->aboutBox());
}

QTEST_MAIN(TestMenus)
#include "test_menus.moc"
