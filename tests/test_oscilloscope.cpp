#include "app/formmain.h"
#include "app/formtds.h"
#include "app/formteskcom.h"
#include "editor/entryfield.h"
#include "link/generatorlines.h"
#include "link/tdsexchange.h"
#include "testwindow.h"
#include "virtualgenerator.h"
#include "virtualoscilloscope.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace ww;
using ww::virt::VirtualGenerator;
using ww::virt::VirtualOscilloscope;

namespace {
// The main window with a virtual oscilloscope as COM1 and a virtual generator as COM2.
struct Window : TestWindow {
    VirtualOscilloscope scope;
    VirtualGenerator generator;
    Window() {
        Setup s;
        s.ports = {{1, scope.devicePath()}, {2, generator.devicePath()}};
        s.show = true;
        open(s);
    }
    FormTDS& t() { return *form->formTDS(); }
    void tickAfter(int ms) {
        clock.advance(ms);
        form->tds().Timer_TDS_Timer();
    }
    void link() {
        f().mnuOscil_Link_Click();
        QTRY_VERIFY(f().tds().TdsDone);
        t().Command_TDS->click();
    }
};
} // namespace

class TestOscilloscope : public QObject {
    Q_OBJECT
  private slots:
    void numbers();
    void readRefusedBeforeLink();
    void linkShowsIdentification();
    void splitIdentification();
    void linkWithoutAnswer();
    void readTakesCurve();
    void readTakenAtDeadline();
    void incompleteReadsChangeNothing();
    void commandsFollowSourceAndTerminator();
    void closeBoxEndsExchange();
    void demoLoopCapturesUpload();
};

void TestOscilloscope::numbers() {
    QCOMPARE(tdsSample(0), -0.9921875f);
    QCOMPARE(tdsSample(127), 0.0f);
    QCOMPARE(tdsSample(128), 0.0078125f);
    QCOMPARE(tdsSample(255), 1.0f);
    const char* bauds[] = {"600", "1200", "2400", "4800", "9600"};
    const int read[] = {46, 25, 14, 9, 7};
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(tdsReadSeconds(bauds[i]), read[i]);
        QCOMPARE(tdsLinkSeconds(bauds[i]), 1);
    }
    QCOMPARE(tdsReadCommands("REFA", '\r'),
             QByteArray("HEADer OFF\rDATa:SOUrce REFA\rDATa:ENCdg RPB\rDATa:WIDth 1\r"
                        "DATa:STARt 1\rDATa:STOP 2500\rCURVe?\r"));
}

void TestOscilloscope::readRefusedBeforeLink() {
    Window w;
    QCOMPARE(w.t().windowTitle(), QString("Read data from Oscilloscop"));
    QCOMPARE(w.t().Command_TDS->text(), QString("OK"));
    w.f().action("mnuOscil_ReadData")->trigger();
    QCOMPARE(w.prompts.texts(), QStringList{"Please link with instrument!"});
    QCOMPARE(w.prompts.messages[0].title, QString("ERROR!"));
    QCOMPARE(w.prompts.messages[0].icon, MsgIcon::None);
    QVERIFY(!w.t().isVisible());
    QVERIFY(w.f().isEnabled());
    QVERIFY(w.scope.commands().isEmpty());
}

void TestOscilloscope::linkShowsIdentification() {
    Window w;
    w.f().store().ArbData[3] = 0.5f;
    w.f().action("mnuOscil_Link")->trigger();
    QVERIFY(w.t().isVisible());
    QVERIFY(!w.f().isEnabled());
    QCOMPARE(w.t().Command_TDS->text(), QString("Cancle"));
    QTRY_COMPARE(w.t().Command_TDS->text(), QString("OK"));
    QCOMPARE(w.scope.commands(), QList<QByteArray>{"*IDN?"});
    QCOMPARE(w.t().Label_TDS->text(), QString::fromLatin1(w.scope.identification));
    QVERIFY(w.f().tds().TdsLinked);
    w.tickAfter(500);
    QVERIFY(w.t().isVisible());
    w.tickAfter(1000);
    QCOMPARE(w.t().Label_TDS->text(), QString("Link with oscilloscope success！"));
    QVERIFY(w.t().isVisible()); // until the user presses OK
    QVERIFY(w.f().tdsLink().isOpen());
    w.t().Command_TDS->click();
    QVERIFY(!w.t().isVisible());
    QVERIFY(w.f().isEnabled());
    QVERIFY(!w.f().tdsLink().isOpen());
    QCOMPARE(w.f().store().ArbLength, 201.0f);
    QCOMPARE(w.f().store().ArbData[3], 0.5f);
    QVERIFY(w.prompts.messages.empty());
}

void TestOscilloscope::splitIdentification() {
    Window w;
    w.scope.script.splitIdentification = true;
    w.f().mnuOscil_Link_Click();
    QTRY_VERIFY(w.f().tds().TdsDone);
    const QByteArray id = w.scope.identification;
    QCOMPARE(w.t().Label_TDS->text(), QString::fromLatin1(id.mid((id.size() + 1) / 2)));
}

void TestOscilloscope::linkWithoutAnswer() {
    Window w;
    w.scope.script.silent = true;
    w.f().mnuOscil_Link_Click();
    QTRY_COMPARE(w.scope.commands().size(), 1);
    w.tickAfter(1000);
    QCOMPARE(w.prompts.texts(), QStringList{TdsExchange::linkErrorText()});
    QCOMPARE(w.prompts.messages[0].title, QString("ERROR!"));
    QCOMPARE(w.prompts.messages[0].icon, MsgIcon::Critical);
    QVERIFY(!w.t().isVisible());
    QVERIFY(!w.f().tdsLink().isOpen());
    QVERIFY(!w.f().tds().TdsLinked);
}

void TestOscilloscope::readTakesCurve() {
    Window w;
    w.link();
    QByteArray curve(2500, '\x40');
    curve[0] = 0;
    curve[1] = 127;
    curve[2] = static_cast<char>(255);
    w.scope.setCurve("CH1", curve);
    w.f().store().ArbData[2500] = 0.25f;
    w.f().action("mnuOscil_ReadData")->trigger();
    QCOMPARE(w.t().Label_TDS->text(), QString("Being Read Data From Oscilloscope......"));
    QTRY_COMPARE(w.t().Label_TDS->text(), QString("Complete！"));
    QCOMPARE(w.t().Command_TDS->text(), QString("OK"));
    QCOMPARE(w.f().store().ArbLength, 201.0f); // nothing taken before OK
    w.t().Command_TDS->click();
    QCOMPARE(w.f().store().ArbLength, 2500.0f);
    QCOMPARE(w.f().Text_Arb_Length->text(), QString("2500"));
    QCOMPARE(w.f().store().ArbData[0], -0.9921875f);
    QCOMPARE(w.f().store().ArbData[1], 0.0f);
    QCOMPARE(w.f().store().ArbData[2], 1.0f);
    QCOMPARE(w.f().store().ArbData[2499], tdsSample(0x40));
    QCOMPARE(w.f().store().ArbData[2500], 0.25f);
    QCOMPARE(w.f().editor().view().ViewSpan, 2500);
    QVERIFY(!w.t().isVisible());
    QVERIFY(w.prompts.messages.empty());
}

void TestOscilloscope::readTakenAtDeadline() {
    Window w;
    w.link();
    w.f().mnuOscil_ReadData_Click();
    QTRY_VERIFY(w.f().tds().TdsDone);
    w.tickAfter(6000);
    QCOMPARE(w.f().store().ArbLength, 201.0f);
    w.tickAfter(1000); // 7 s at 9600 baud
    QCOMPARE(w.f().store().ArbLength, 2500.0f);
    QVERIFY(!w.t().isVisible());
    QVERIFY(w.t().Label_TDS_percent->text().isEmpty());
}

void TestOscilloscope::incompleteReadsChangeNothing() {
    // A reply cut short, and a read cancelled half way: the store is left as it was.
    // (The other faults are in the fault drills.)
    for (const bool cancel : {false, true}) {
        Window w;
        w.link();
        w.f().action("mnuStandardSin")->trigger();
        const WaveStore before = w.f().store();
        w.scope.script.cutCurveAt = 1200;
        w.f().mnuOscil_ReadData_Click();
        QTRY_COMPARE(w.f().tds().TdsByteCount, 1200);
        if (cancel) {
            w.t().Command_TDS->click(); // "Cancle"
            QVERIFY(w.prompts.messages.empty());
        } else {
            w.tickAfter(7000);
            QCOMPARE(w.prompts.texts(), QStringList{TdsExchange::readErrorText()});
            QCOMPARE(w.prompts.messages[0].title, QString("ERROR1"));
        }
        QVERIFY(w.f().store().ArbData == before.ArbData);
        QCOMPARE(w.f().store().ArbLength, 201.0f);
        QVERIFY(!w.t().isVisible());
        QVERIFY(!w.f().tdsLink().isOpen());
    }
}

void TestOscilloscope::commandsFollowSourceAndTerminator() {
    Window w;
    w.f().action("mnuOscilEOLString_3")->trigger(); // "CR/LF": the carriage return alone
    QVERIFY(w.f().action("mnuOscilEOLString_3")->isChecked());
    QVERIFY(!w.f().action("mnuOscilEOLString_0")->isChecked());
    QCOMPARE(w.f().serialSettings().OscilEol, 13);
    w.f().action("mnuOscil_SOURE_CH_4")->trigger();
    QCOMPARE(w.f().serialSettings().OscilSource, QString("REFA"));
    QVERIFY(!w.f().action("mnuOscil_SOURE_CH_2")->isEnabled());
    w.scope.setCurve("REFA", QByteArray(2500, '\x7f'));
    w.link();
    w.f().mnuOscil_ReadData_Click();
    QTRY_VERIFY(w.f().tds().TdsDone);
    w.t().Command_TDS->click();
    QCOMPARE(w.scope.commands().size(), 8);
    QCOMPARE(w.scope.commands()[2], QByteArray("DATa:SOUrce REFA"));
    QCOMPARE(w.f().store().ArbData[100], 0.0f);
}

void TestOscilloscope::closeBoxEndsExchange() {
    Window w;
    w.scope.script.silent = true;
    w.f().mnuOscil_Link_Click();
    w.t().close();
    QVERIFY(!w.f().tds().running());
    QVERIFY(!w.t().isVisible());
    QVERIFY(w.f().isEnabled());
    QVERIFY(!w.f().tdsLink().isOpen());
}

void TestOscilloscope::demoLoopCapturesUpload() {
    Window w;
    w.scope.curveProvider = [&] {
        const auto wave = w.generator.waveforms().value(w.generator.lastNumber());
        return VirtualOscilloscope::curveFromSamples(wave.samples());
    };
    w.f().mnu_ComNumberCOM_Click(1); // the generator
    w.f().action("mnuStandardTri")->trigger();
    const WaveStore sent = w.f().store();
    w.f().mnuArbOutput_Click();
    QTRY_VERIFY(!w.f().formTeskCom()->isVisible());
    QVERIFY(w.generator.waveforms().value(1).complete());
    w.f().mnu_ComNumberCOM_Click(0); // the oscilloscope
    w.link();
    w.f().mnuOscil_ReadData_Click();
    QTRY_VERIFY(w.f().tds().TdsDone);
    w.t().Command_TDS->click();
    QCOMPARE(w.f().store().ArbLength, 2500.0f);
    for (int i = 0; i < 2500; i += 7) {
        const float expected = sent.ArbData[i * 201 / 2500];
        QVERIFY2(std::abs(w.f().store().ArbData[i] - expected) <= 1.0f / 128 + 1.0f / 2048,
                 qPrintable(QString::number(i)));
    }
}

QTEST_MAIN(TestOscilloscope)
#include "test_oscilloscope.moc"
