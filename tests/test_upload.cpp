#include "app/formmain.h"
#include "app/formteskcom.h"
#include "link/generatorlines.h"
#include "link/generatorupload.h"
#include "testwindow.h"
#include "virtualgenerator.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace ww;
using ww::virt::VirtualGenerator;

namespace {
// An upload wired to a virtual generator on a pseudo-terminal as COM1.
struct Bench {
    VirtualGenerator generator;
    PortMap ports;
    SerialSettings settings;
    ManualClock clock;
    SerialLink link{ports};
    GeneratorUpload upload{link, settings, clock};
    QStringList errors;
    QStringList percents;
    QStringList statuses;
    int finished = 0;
    Bench() {
        ports.setDevice(1, generator.devicePath());
        upload.completionPauseMs = 0;
        upload.showError = [this](const QString& text, const QString& title) {
            errors << title + ": " + text;
        };
        QObject::connect(&upload, &GeneratorUpload::percentChanged,
                         [this](const QString& p) { percents << p; });
        QObject::connect(&upload, &GeneratorUpload::statusChanged,
                         [this](const QString& s) { statuses << s; });
        QObject::connect(&upload, &GeneratorUpload::finished, [this] { ++finished; });
    }
    bool waitFinished(int ms = 5000) {
        QElapsedTimer t;
        t.start();
        while (finished == 0 && t.elapsed() < ms)
            QTest::qWait(5);
        return finished == 1;
    }
    // Moves the clock on and lets the watchdog look at it.
    void tickAfter(qint64 ms) {
        clock.advance(ms);
        upload.Timer_TeskCom_Timer();
    }
};

WaveStore storeOf(int length, float value = 0.0f) {
    WaveStore s;
    s.ArbLength = static_cast<float>(length);
    s.ArbData.fill(value);
    return s;
}
} // namespace

class TestUpload : public QObject {
    Q_OBJECT
  private slots:
    void lineCoding();
    void linesByteExact();
    void settingsStrings();
    void uploadArrivesByteExact_data();
    void uploadArrivesByteExact();
    void percentAndProgressOfLength1000();
    void watchdogTiming();
    void sevenDataBitsOnPseudoTerminal();
    void cancelMidUpload();
    void portThatCannotOpen();
    void writeTimeOut();
    void sendThroughWindow();
    void comChangeWhileOpen();
};

void TestUpload::lineCoding() {
    QCOMPARE(reversedHex4(1000), QByteArray("8E30"));
    QCOMPARE(reversedHex4(1), QByteArray("1000"));
    QCOMPARE(reversedHex4(0), QByteArray("0000"));
    QCOMPARE(reversedHex4(16000), QByteArray("08E3"));
    QCOMPARE(reversedHex4(125), QByteArray("D700"));
    QCOMPARE(reversedDecimal2(1), QByteArray("10"));
    QCOMPARE(reversedDecimal2(8), QByteArray("80"));
    QCOMPARE(sampleCode(-1.0f), 0);
    QCOMPARE(sampleCode(1.0f), 4095);
    QCOMPARE(sampleCode(0.0f), 2048); // 2047.5 goes to the even neighbour
    QCOMPARE(reversedHex4(sampleCode(0.0f)), QByteArray("0080"));
    QCOMPARE(reversedHex4(sampleCode(0.5f)), QByteArray("FFB0"));
    QCOMPARE(reversedHex4(sampleCode(-0.5f)), QByteArray("0040"));
    QCOMPARE(reversedHex4(sampleCode(1.0f)), QByteArray("FFF0"));
    // Out-of-range samples never leave 12 bits.
    QCOMPARE(sampleCode(2.6f), 4095);
    QCOMPARE(sampleCode(-7.0f), 0);
    QCOMPARE(sampleCode(std::numeric_limits<float>::quiet_NaN()), 2048);
}

void TestUpload::linesByteExact() {
    QCOMPARE(headerLine(1, 1000), QByteArray("ARB:P_P 108E30\n"));
    QCOMPARE(headerLine(1, 1000).size(), 15);
    QCOMPARE(headerLine(8, 16000), QByteArray("ARB:P_P 8008E3\n"));
    WaveStore s = storeOf(1000, 0.5f);
    s.ArbData[999] = -1.0f;
    const QByteArray last = dataLine(s, 7);
    QCOMPARE(last.size(), 527);
    QVERIFY(last.startsWith("ARB:DATA 8000 FFB0"));
    QCOMPARE(last.mid(14 + (999 - 896) * 4, 4), QByteArray("0000"));  // sample 999 = -1
    QCOMPARE(last.mid(14 + 104 * 4), QByteArray(24 * 4, '0') + '\n'); // 24 empty fields
    QCOMPARE(blockCount(1000), 8);
    QCOMPARE(blockCount(16000), 125);
    QCOMPARE(blockCount(2500), 20);
    QCOMPARE(blockCount(4), 1);
    const WaveStore four = storeOf(4, -0.5f);
    QCOMPARE(dataLine(four, 0), QByteArray("ARB:DATA 1000 ") + QByteArray("0040").repeated(4) +
                                    QByteArray(124 * 4, '0') + '\n');
    const WaveStore s2500 = storeOf(2500, 1.0f);
    QCOMPARE(dataLine(s2500, 19).count("FFF0"), 68);
    QVERIFY(dataLine(storeOf(16000), 124).startsWith("ARB:DATA D700 "));
}

void TestUpload::settingsStrings() {
    SerialSettings s;
    QCOMPARE(s.generatorSettings(), QString("9600,n,8,1"));
    QVERIFY(chooseParity(s, 0));
    QCOMPARE(s.generatorSettings(), QString("9600,N,8,1"));
    QVERIFY(chooseParity(s, 1));
    QCOMPARE(s.generatorSettings(), QString("9600,O,7,1"));
    QCOMPARE(s.oscilloscopeSettings(), QString("9600,O,8,1"));
    QVERIFY(chooseParity(s, 2));
    QCOMPARE(s.generatorSettings(), QString("9600,E,7,1"));
    QCOMPARE(s.oscilloscopeSettings(), QString("9600,E,8,1"));
    QVERIFY(!chooseParity(s, 3));
    QCOMPARE(s.ComParity, QString("E"));
    const int expected[] = {19000, 10000, 5000, 3000, 2000, 1000, 1000, 1000, 1000};
    for (int i = 0; i < 9; ++i) {
        QVERIFY(chooseBaud(s, i));
        QCOMPARE(writeTimeoutMs(s.generatorSettings()), expected[i]);
    }
    PortMap ports;
    QCOMPARE(ports.device(1), QString("/dev/ttyS0"));
    QVERIFY(ports.parseAssignment("COM3=/dev/ttyUSB0"));
    QCOMPARE(ports.device(3), QString("/dev/ttyUSB0"));
    QVERIFY(!ports.parseAssignment("COM5=/dev/x"));
    QVERIFY(!ports.parseAssignment("/dev/x"));
}

void TestUpload::uploadArrivesByteExact_data() {
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("number");
    QTest::newRow("4") << 4 << 1;
    QTest::newRow("1000") << 1000 << 3;
    QTest::newRow("2500") << 2500 << 8;
    QTest::newRow("16000") << 16000 << 2;
}

void TestUpload::uploadArrivesByteExact() {
    QFETCH(int, length);
    QFETCH(int, number);
    Bench b;
    WaveStore s = storeOf(length);
    s.ArbNumber = static_cast<float>(number);
    for (int i = 0; i < length; ++i)
        s.ArbData[i] = static_cast<float>((i % 4096) / 2047.5 - 1.0);
    b.upload.start(s);
    QVERIFY(b.waitFinished(20000));
    QVERIFY2(b.errors.isEmpty(), qPrintable(b.errors.join('\n')));
    QVERIFY(b.generator.formatErrors().isEmpty());
    QCOMPARE(b.generator.lines().size(), 1 + blockCount(length));
    QCOMPARE(b.generator.lines()[0] + '\n', headerLine(s.ArbNumber, s.ArbLength));
    for (int k = 0; k < blockCount(length); ++k)
        QCOMPARE(b.generator.lines()[k + 1] + '\n', dataLine(s, k));
    const auto w = b.generator.waveforms().value(number);
    QCOMPARE(w.length, length);
    QVERIFY(w.complete());
    QCOMPARE(w.codes[length - 1], sampleCode(s.ArbData[length - 1]));
    QCOMPARE(b.statuses.last(), QString("Send complete！"));
    QVERIFY(!b.link.isOpen());
    QVERIFY(!b.upload.watchdogEnabled());
}

void TestUpload::percentAndProgressOfLength1000() {
    Bench b;
    QSignalSpy progress(&b.upload, &GeneratorUpload::progressChanged);
    b.upload.start(storeOf(1000));
    QVERIFY(b.waitFinished());
    QStringList shown;
    for (const QString& p : b.percents)
        if (!p.isEmpty())
            shown << p;
    QCOMPARE(shown, QStringList({"0.00%", "12.80%", "25.60%", "38.40%", "51.20%", "64.00%",
                                 "76.80%", "89.60%", "100.00%"}));
    QCOMPARE(b.upload.progressMaximum(), 9.8046875);
    QCOMPARE(b.upload.progressValue(), 9);
    QCOMPARE(progress.first().at(0).toDouble(), 9.8046875);
    QCOMPARE(b.percents.last(), QString()); // emptied at the end
}

void TestUpload::watchdogTiming() {
    Bench b;
    b.generator.script.silentFromLine = 0;
    b.upload.start(storeOf(1000));
    QTRY_COMPARE(b.generator.lines().size(), 1);
    b.tickAfter(13'000);
    QCOMPARE(b.finished, 0);
    b.tickAfter(999);
    QCOMPARE(b.finished, 0);
    b.tickAfter(1);
    QCOMPARE(b.finished, 1);
    QCOMPARE(b.errors, QStringList{"ERROR!: " + GeneratorUpload::communicationErrorText()});
    QVERIFY(!b.link.isOpen());
    // The real 500 ms timer drives the same tick.
    Bench c;
    c.generator.script.silentFromLine = 2;
    c.upload.start(storeOf(1000));
    QTRY_COMPARE(c.generator.lines().size(), 3);
    c.clock.advance(20'000);
    QTRY_COMPARE_WITH_TIMEOUT(c.finished, 1, 2000);
    QCOMPARE(c.errors.size(), 1);
}

void TestUpload::sevenDataBitsOnPseudoTerminal() {
    // A pseudo-terminal keeps 8 data bits whatever is asked; that is not a failure.
    Bench b;
    QVERIFY(chooseParity(b.settings, 1));
    b.upload.start(storeOf(300));
    QVERIFY(b.waitFinished(10000));
    QVERIFY2(b.errors.isEmpty(), qPrintable(b.errors.join('\n')));
    QVERIFY(b.generator.waveforms().value(1).complete());
}

void TestUpload::cancelMidUpload() {
    Bench b;
    b.generator.script.silentFromLine = 3;
    b.upload.start(storeOf(1000));
    QTRY_COMPARE(b.generator.lines().size(), 4);
    QVERIFY(b.link.isOpen());
    b.upload.closeRequested(); // the window's close box is refused mid-upload
    QVERIFY(b.upload.running());
    b.upload.CloseTeskCom(); // "Cancle"
    QCOMPARE(b.finished, 1);
    QVERIFY(b.errors.isEmpty());
    QVERIFY(!b.link.isOpen());
    QVERIFY(!b.upload.watchdogEnabled());
    b.tickAfter(14'500); // nothing more happens
    QCOMPARE(b.errors.size(), 0);
}

void TestUpload::portThatCannotOpen() {
    Bench b;
    b.ports.setDevice(1, "/dev/does-not-exist");
    b.upload.start(storeOf(1000));
    QCOMPARE(b.finished, 1);
    QCOMPARE(b.errors.size(), 1);
    QVERIFY(b.errors[0].startsWith("ERROR!: Cannot open COM1 (/dev/does-not-exist)"));
    QVERIFY(!b.upload.running());
    QCOMPARE(b.generator.bytesReceived(), 0);
    QVERIFY(openFailureText(1, "/dev/ttyS0", QSerialPort::PermissionError, {}).contains("dialout"));
}

void TestUpload::writeTimeOut() {
    // A port held back by its flow control: the line stays in the driver. It must leave within
    // the write time-out (1000 ms at 9600 baud), long before the 13-second watchdog.
    Bench b;
    b.generator.script.silentFromLine = 2;
    bool heldBack = false;
    b.link.driverOutputQueue = [&](QSerialPort&) -> qint64 { return heldBack ? 527 : 0; };
    b.upload.start(storeOf(16000));
    QTRY_COMPARE(b.generator.lines().size(), 3);
    heldBack = true;
    b.tickAfter(900);
    QCOMPARE(b.finished, 0);
    b.tickAfter(200);
    QCOMPARE(b.finished, 1);
    QCOMPARE(b.errors, QStringList{"ERROR!: " + GeneratorUpload::communicationErrorText()});
    QVERIFY(!b.link.isOpen());
    // A line that leaves in time is no fault: only the reply is then awaited.
    Bench c;
    c.generator.script.silentFromLine = 2;
    c.upload.start(storeOf(16000));
    QTRY_COMPARE(c.generator.lines().size(), 3);
    c.tickAfter(5000);
    QCOMPARE(c.finished, 0);
}

namespace {
struct Window : TestWindow {
    VirtualGenerator generator, second;
    Window() {
        Setup s;
        s.ports = {{1, generator.devicePath()}, {2, second.devicePath()}};
        s.completionPauseMs = 50;
        s.show = true;
        open(s);
    }
};
} // namespace

void TestUpload::sendThroughWindow() {
    Window w;
    FormMain& f = *w.form;
    FormTeskCom* t = f.formTeskCom();
    QCOMPARE(t->windowTitle(), QString("Send Data......"));
    QCOMPARE(t->Command_TeskComExit->text(), QString("Cancle"));
    QCOMPARE(t->Label_TeskCom->text(), QString("Data has send:"));
    QCOMPARE(t->formTwips(), QRectF(0, 0, 5385, 1935));
    QVERIFY(!t->isVisible());
    f.action("mnuStandardSin")->trigger();
    w.generator.script.replyDelayMs = 20;
    f.Command_ArbWaveOutput->click();
    QVERIFY(t->isVisible());
    QVERIFY(!f.isEnabled());
    QCOMPARE(t->Label_TeskCom->text(), QString("Data has send："));
    // The close box is refused while it runs.
    t->close();
    QVERIFY(t->isVisible());
    QTRY_COMPARE(t->Label_TeskCom->text(), QString("Send complete！"));
    QVERIFY(t->isVisible()); // for the pause after completion
    QTRY_VERIFY(!t->isVisible());
    QVERIFY(f.isEnabled());
    QVERIFY(!f.ActiveComm().isOpen());
    QVERIFY(w.prompts.messages.empty());
    const auto wave = w.generator.waveforms().value(1);
    QCOMPARE(wave.length, 201);
    QCOMPARE(wave.codes[50], sampleCode(f.store().ArbData[50]));

    // A port that cannot be opened: one message, the window usable again.
    f.mnu_ComNumberCOM_Click(3);
    QVERIFY(f.action("mnu_ComNumberCOM_3")->isChecked());
    QVERIFY(!f.action("mnu_ComNumberCOM_0")->isChecked());
    f.mnuArbOutput_Click();
    QCOMPARE(w.prompts.messages.size(), std::size_t(1));
    QVERIFY(w.prompts.texts()[0].startsWith("Cannot open COM4 (/dev/ttyS3)"));
    QCOMPARE(w.prompts.messages[0].icon, MsgIcon::Critical);
    QVERIFY(f.isEnabled());
    QVERIFY(!t->isVisible());

    // The Rs232 menus: check marks and stored values.
    f.action("mnuComParityBits_2")->trigger();
    QCOMPARE(f.serialSettings().generatorSettings(), QString("9600,E,7,1"));
    QVERIFY(f.action("mnuComParityBits_2")->isChecked());
    QVERIFY(!f.action("mnuComParityBits_0")->isChecked());
    f.action("mnuComBaudNumber_1")->trigger();
    QCOMPARE(f.serialSettings().ComBaud, QString("600"));
    QVERIFY(!f.action("mnuComBaudNumber_0")->isEnabled());
    QVERIFY(!f.action("mnuComBaudNumber_6")->isEnabled());
    QVERIFY(!f.action("mnuComFlowHardSoft_1")->isVisible());
    f.action("mnuComFlowHardSoft_2")->trigger();
    QCOMPARE(f.serialSettings().ComFlowControl, 0);
}

void TestUpload::comChangeWhileOpen() {
    Window w;
    FormMain& f = *w.form;
    w.generator.script.silentFromLine = 1;
    f.mnuArbOutput_Click();
    QTRY_COMPARE(w.generator.lines().size(), 2);
    QVERIFY(f.ActiveComm().isOpen());
    f.mnu_ComNumberCOM_Click(1); // COM2: closed and opened again on the new port
    QVERIFY(f.ActiveComm().isOpen());
    QCOMPARE(f.ActiveComm().portName(), w.second.devicePath());
    f.upload().CloseTeskCom();
    QVERIFY(!f.ActiveComm().isOpen());
    QVERIFY(f.isEnabled());
    // Exit closes the port when it is open.
    f.mnuArbOutput_Click();
    QVERIFY(f.ActiveComm().isOpen());
    f.mnuFileExit_Click();
    QVERIFY(!f.ActiveComm().isOpen());
}

QTEST_MAIN(TestUpload)
#include "test_upload.moc"
