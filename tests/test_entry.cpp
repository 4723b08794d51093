#include "app/formmain.h"
#include "editor/entryfield.h"
#include "testwindow.h"

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace ww;

namespace {
struct Window : TestWindow {
    Window() : TestWindow(Setup::active()) {}
};

// Gives a field the focus, replaces its text by typing and presses Enter.
void typeInto(EntryField* field, const QString& keys, bool enter = true) {
    field->setFocus();
    field->selectAll();
    field->del();
    QTest::keyClicks(field, keys);
    if (enter)
        QTest::keyClick(field, Qt::Key_Return);
}

const QString kY_Upper = "Coordinate Y: From -1.000 to 1.000";
const QString kY_Lower = "Coordinate Y: From-1.000 to 1.000";
const QString kLength = "Arbitrary length from 4 to 16000 ";
} // namespace

class TestEntry : public QObject {
    Q_OBJECT
  private slots:
    void startupCommits();
    void lengthField();
    void xFields();
    void yFieldsKeys();
    void yFieldsRange();
    void uncommittableTextKeepsValue();
    void focusLossCommits();
    void setPointAndLine();
    void saveAndOpenThroughWindow();
    void brokenFilesChangeNothing();
};

void TestEntry::startupCommits() {
    Window w;
    QCOMPARE(w->Text_ArbLineStartX->text(), QString("0"));
    QCOMPARE(w->Text_ArbLineStopX->text(), QString("0"));
    QCOMPARE(w->Text_ArbLineStartY->text(), QString("0.000"));
    QCOMPARE(w->Text_ArbLineStopY->text(), QString("0.000"));
    QCOMPARE(w->Text_Arb_Length->text(), QString("201"));
    for (EntryField* f : {w->Text_ArbLineStartX, w->Text_ArbLineStopX, w->Text_ArbLineStartY,
                          w->Text_ArbLineStopY, w->Text_Arb_Length})
        QVERIFY(!f->isEditingLook());
    QVERIFY(w.prompts.messages.empty());
}

void TestEntry::lengthField() {
    Window w;
    EntryField* len = w->Text_Arb_Length;
    typeInto(len, "", true);
    QCOMPARE(len->text(), QString("2001"));
    QCOMPARE(w.store().ArbLength, 2001.0f);
    QVERIFY(!len->isEditingLook());
    QCOMPARE(w->editor().view().ViewSpan, 2001);

    typeInto(len, "3");
    QCOMPARE(len->text(), QString("4"));
    QCOMPARE(w.prompts.texts(), QStringList{kLength});
    QCOMPARE(w.prompts.messages.back().icon, MsgIcon::Critical);
    QCOMPARE(w.prompts.messages.back().title, QString());
    typeInto(len, "16001");
    QCOMPARE(len->text(), QString("16000"));
    QCOMPARE(w.prompts.messages.size(), std::size_t(2));
    typeInto(len, "16000");
    typeInto(len, "4");
    QCOMPARE(w.prompts.messages.size(), std::size_t(2));
    // Letters never show and say nothing.
    typeInto(len, "1a2b-.", false);
    QCOMPARE(len->text(), QString("12"));
    QVERIFY(len->isEditingLook());
    QCOMPARE(w.prompts.messages.size(), std::size_t(2));
    QTest::keyClick(len, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(len->text(), QString("12"));
}

void TestEntry::xFields() {
    Window w;
    EntryField* x = w->Text_ArbLineStartX;
    typeInto(x, "200");
    QCOMPARE(w->entry().ArbLineStartX, 200);
    QVERIFY(w.prompts.messages.empty());
    typeInto(x, "201");
    QCOMPARE(x->text(), QString("200"));
    QCOMPARE(w.prompts.texts(), QStringList{"Coordinate X: From 0 to 200"});
    typeInto(x, "0007");
    QCOMPARE(x->text(), QString("7"));
    QCOMPARE(w->entry().ArbLineStartX, 7);
    // Refused keys say so; Ctrl+V too.
    typeInto(x, "5a", false);
    QCOMPARE(x->text(), QString("5"));
    QCOMPARE(w.prompts.texts().last(), QString("Positive Integer Only!"));
    QCOMPARE(w.prompts.messages.back().icon, MsgIcon::None);
    QTest::keyClick(x, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(w.prompts.messages.size(), std::size_t(3));
    typeInto(w->Text_ArbLineStopX, "");
    QCOMPARE(w->Text_ArbLineStopX->text(), QString("0"));
}

void TestEntry::yFieldsKeys() {
    Window w;
    EntryField* y = w->Text_ArbLineStartY;
    typeInto(y, "0.5");
    QCOMPARE(y->text(), QString("0.500"));
    // "-" toggles the sign wherever the caret is.
    y->setCursorPosition(3);
    QTest::keyClick(y, Qt::Key_Minus);
    QCOMPARE(y->text(), QString("-0.500"));
    QCOMPARE(y->cursorPosition(), 1);
    QTest::keyClick(y, Qt::Key_Minus);
    QCOMPARE(y->text(), QString("0.500"));
    QCOMPARE(y->cursorPosition(), 0);
    // A digit in front of the sign is refused.
    y->setText("-0.5");
    y->setCursorPosition(0);
    QTest::keyClick(y, Qt::Key_3);
    QCOMPARE(y->text(), QString("-0.5"));
    QCOMPARE(w.prompts.texts().last(), QString("Can not enter radix point at current position!"));
    // A second point is refused with its own message, and only that one.
    y->setText("0.5");
    y->setCursorPosition(3);
    const std::size_t before = w.prompts.messages.size();
    QTest::keyClick(y, Qt::Key_Period);
    QCOMPARE(y->text(), QString("0.5"));
    QCOMPARE(w.prompts.messages.size(), before + 1);
    QCOMPARE(w.prompts.texts().last(), QString("Can not enter radix point!"));
    QTest::keyClick(y, Qt::Key_A);
    QCOMPARE(w.prompts.texts().last(), QString("Number Only!"));
    QTest::keyClick(y, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(w.prompts.texts().last(), QString("Number Only!"));
    QCOMPARE(y->text(), QString("0.5"));
    // With the whole text selected, a digit replaces it and Enter commits 0.
    y->selectAll();
    QTest::keyClick(y, Qt::Key_5);
    QCOMPARE(y->text(), QString("5"));
    y->selectAll();
    QTest::keyClick(y, Qt::Key_Return);
    QCOMPARE(y->text(), QString("0.000"));
    QCOMPARE(w->entry().ArbLineStartY, 0.0f);
    QCOMPARE(y->cursorPosition(), 5);
}

void TestEntry::yFieldsRange() {
    Window w;
    EntryField* y = w->Text_ArbLineStopY;
    typeInto(y, "1");
    QCOMPARE(y->text(), QString("1.000"));
    QVERIFY(w.prompts.messages.empty());
    typeInto(y, "1.5");
    QCOMPARE(y->text(), QString("1.000"));
    QCOMPARE(w.prompts.texts().last(), kY_Upper);
    QCOMPARE(w.prompts.messages.back().icon, MsgIcon::Critical);
    typeInto(y, "1.5", false);
    QTest::keyClick(y, Qt::Key_Home);
    QTest::keyClick(y, Qt::Key_Minus);
    QTest::keyClick(y, Qt::Key_Return);
    QCOMPARE(y->text(), QString("-1.000"));
    QCOMPARE(w.prompts.texts().last(), kY_Lower);
    QCOMPARE(w->entry().ArbLineStopY, -1.0f);
    typeInto(y, "0.12345");
    QCOMPARE(y->text(), QString("0.123"));
    QCOMPARE(w->entry().ArbLineStopY, 0.123f);
}

void TestEntry::uncommittableTextKeepsValue() {
    Window w;
    EntryField* y = w->Text_ArbLineStartY;
    typeInto(y, "0.25");
    typeInto(y, "-", false); // only the sign
    QCOMPARE(y->text(), QString("-"));
    QTest::keyClick(y, Qt::Key_Return);
    QCOMPARE(y->text(), QString("0.250"));
    QCOMPARE(w->entry().ArbLineStartY, 0.25f);
    y->setText("."); // pasted
    QTest::keyClick(y, Qt::Key_Return);
    QCOMPARE(y->text(), QString("0.250"));
    w->Text_ArbLineStartX->setText("99999999999999"); // beyond 32 bits
    QTest::keyClick(w->Text_ArbLineStartX, Qt::Key_Return);
    QCOMPARE(w->Text_ArbLineStartX->text(), QString("0"));
    w->Text_Arb_Length->setText("12x");
    QTest::keyClick(w->Text_Arb_Length, Qt::Key_Return);
    QCOMPARE(w->Text_Arb_Length->text(), QString("201"));
    QCOMPARE(w.store().ArbLength, 201.0f);
    QVERIFY(!w->Text_Arb_Length->isEditingLook());
}

void TestEntry::focusLossCommits() {
    Window w;
    EntryField* len = w->Text_Arb_Length;
    typeInto(len, "1000", false);
    QVERIFY(len->hasFocusFlag());
    QVERIFY(len->isEditingLook());
    w->Text_ArbLineStartY->setFocus(); // leaving the field commits it
    QCOMPARE(w.store().ArbLength, 1000.0f);
    QVERIFY(!len->hasFocusFlag());
    QVERIFY(!len->isEditingLook());
    // The press that brings the focus in selects the whole text.
    EntryField* x = w->Text_ArbLineStopX;
    QTest::mouseClick(x, Qt::LeftButton, {}, QPoint(3, 3));
    QCOMPARE(x->selectedText(), x->text());
    QVERIFY(x->hasFocusFlag());
    // The Y field left with an edit commits when a button takes the focus.
    typeInto(w->Text_ArbLineStartY, "0.7", false);
    w->Command_ArbPoint->setFocus();
    QCOMPARE(w->Text_ArbLineStartY->text(), QString("0.700"));
}

void TestEntry::setPointAndLine() {
    Window w;
    typeInto(w->Text_ArbLineStopX, "9");
    typeInto(w->Text_ArbLineStartX, "5");
    typeInto(w->Text_ArbLineStartY, "0.25");
    w->Command_ArbPoint->click();
    QCOMPARE(w.store().ArbData[5], 0.25f);
    QCOMPARE(w->Text_ArbLineStopX->text(), QString("5"));
    QCOMPARE(w->Text_ArbLineStopY->text(), QString("0.250"));
    QVERIFY(w->Text_ArbLineStopX->isEditingLook());
    QCOMPARE(w->entry().ArbLineStopX, 5);
    QCOMPARE(w->entry().ArbLineStopY, 0.25f);

    // A line from (10, 0) to (20, 1).
    typeInto(w->Text_ArbLineStartX, "10");
    typeInto(w->Text_ArbLineStartY, "0");
    typeInto(w->Text_ArbLineStopX, "20");
    typeInto(w->Text_ArbLineStopY, "1");
    w->Command_ArbLine->click();
    for (int i = 10; i <= 20; ++i)
        QCOMPARE(w.store().ArbData[i], static_cast<float>((i - 10) / 10.0));
    QCOMPARE(w.store().ArbData[21], 0.0f);

    // Start after end: only the start index changes.
    w.store().ArbData.fill(0.5f);
    typeInto(w->Text_ArbLineStartX, "20");
    typeInto(w->Text_ArbLineStartY, "0.1");
    typeInto(w->Text_ArbLineStopX, "10");
    w->Command_ArbLine->click();
    QCOMPARE(w.store().ArbData[20], 0.1f);
    QCOMPARE(w.store().ArbData[15], 0.5f);
    QCOMPARE(w.store().ArbData[10], 0.5f);

    // An X committed before the length shrank stays as it was.
    typeInto(w->Text_ArbLineStartX, "150");
    typeInto(w->Text_Arb_Length, "100");
    QCOMPARE(w->entry().ArbLineStartX, 150);
    w->Command_ArbPoint->click();
    QCOMPARE(w.store().ArbData[150], 0.1f);
}

void TestEntry::saveAndOpenThroughWindow() {
    QTemporaryDir dir;
    const QString path = dir.filePath("sine.txt");
    QByteArray saved;
    {
        Window w;
        typeInto(w->Text_Arb_Length, "1000");
        w->action("mnuStandardSin")->trigger();
        // An edit of the length left open when Ctrl+S is pressed is committed first.
        typeInto(w->Text_Arb_Length, "500", false);
        w.prompts.saveNames.push_back(path);
        QTest::keyClick(w.form.get(), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(w.store().ArbLength, 500.0f);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        saved = f.readAll();
        QVERIFY(saved.startsWith("500\r\n"));
        QCOMPARE(saved.count('\n'), 501);
        // Cancel writes nothing.
        w->mnuFileSave_Click();
    }
    Window w;
    w.store().ArbData[500] = 0.3f;
    w.prompts.openNames.push_back(path);
    QTest::keyClick(w.form.get(), Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(w.store().ArbLength, 500.0f);
    QCOMPARE(w->Text_Arb_Length->text(), QString("500"));
    QCOMPARE(w->editor().view().ViewSpan, 500);
    QCOMPARE(FormatSample(w.store().ArbData[250]), QString(" 1.000"));
    QCOMPARE(w.store().ArbData[500], 0.3f); // index ArbLength is left alone
    QVERIFY(w.prompts.messages.empty());
}

void TestEntry::brokenFilesChangeNothing() {
    QTemporaryDir dir;
    auto write = [&](const char* name, const QByteArray& bytes) {
        return writeFile(dir, name, bytes);
    };
    Window w;
    w->action("mnuStandardTri")->trigger();
    const WaveStore before = w.store();
    auto unchanged = [&] {
        return w.store().ArbData == before.ArbData && w.store().ArbLength == before.ArbLength &&
               w->Text_Arb_Length->text() == "201";
    };
    w.prompts.openNames.push_back(write("bad.Txt", "4\r\n0\r\n"));
    w->mnuFileOpen_Click();
    QCOMPARE(w.prompts.texts().last(), QString("No data file.\nPlease open."));
    QCOMPARE(w.prompts.messages.back().title, QString("ERROR!"));
    QCOMPARE(w.prompts.messages.back().icon, MsgIcon::Exclamation);
    QVERIFY(unchanged());
    w.prompts.openNames.push_back(write("half.txt", "300\r\n0.5\r\n0.5\r\nzero\r\n"));
    w->mnuFileOpen_Click();
    QVERIFY(w.prompts.texts().last().contains("Line 4"));
    QCOMPARE(w.prompts.messages.back().title, QString("ERROR!"));
    QVERIFY(unchanged());
    w.prompts.openNames.push_back(dir.filePath("missing.txt"));
    w->mnuFileOpen_Click();
    QCOMPARE(w.prompts.messages.size(), std::size_t(3));
    QVERIFY(unchanged());
    // A length out of range is limited with the length message and the file loads.
    w.prompts.openNames.push_back(write("long.txt", "20000\r\n0.5\r\n"));
    w->mnuFileOpen_Click();
    QCOMPARE(w.prompts.texts().last(), kLength);
    QCOMPARE(w.store().ArbLength, 16000.0f);
    QCOMPARE(w.store().ArbData[0], 0.5f);
    QCOMPARE(w.store().ArbData[1], 0.0f);
}

QTEST_MAIN(TestEntry)
#include "test_entry.moc"
