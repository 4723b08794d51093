// The serial exchanges end to end: the program's real QSerialPort against the virtual
// instruments on pseudo-terminals. The clock is moved by hand, so no test waits on a watchdog.
#include "analysis/compare.h"
#include "app/compareview.h"
#include "app/devicesdialog.h"
#include "app/formmain.h"
#include "app/formtds.h"
#include "app/formteskcom.h"
#include "app/instrumentdialog.h"
#include "app/scopedialog.h"
#include "documented.h"
#include "editor/entryfield.h"
#include "instruments/generatorlines.h"
#include "testwindow.h"
#include "virtualbench.h"
#include "virtualgenerator.h"
#include "virtualscpi.h"
#include "virtualscpiscope.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <termios.h>

using namespace ww;
using ww::virt::VirtualGenerator;

namespace {
// An upload wired to a virtual generator as COM1.
struct UploadBench {
    VirtualGenerator generator;
    PortMap ports;
    SerialSettings settings;
    ManualClock clock;
    SerialLink link{ports};
    GeneratorUpload upload{link, settings, clock};
    UploadBench() { ports.setDevice(1, generator.devicePath()); }
};

termios lineOf(const ww::virt::PseudoTerminal& pty) {
    termios t{};
    tcgetattr(pty.slaveFd(), &t);
    return t;
}

struct Win : InstrumentWindow {
    Win() : InstrumentWindow(50) {}
    FormTDS& t() { return *form->formTDS(); }
};
} // namespace

class TestSerial : public QObject {
    Q_OBJECT
  private slots:
    void lineCoding();
    void settingsAndTimeouts();
    void lineSettingsOnTheWire();
    void uploadThroughWindow();
    void linkAndRead();
    void pendingEditsWaitOutExchanges();
    void demoLoopCapturesUpload();
    void compareWithSent();
    void sendToInstrument();
    void readFromInstrument();
    void devicesChosenInTheWindow();
};

void TestSerial::lineCoding() {
    // What the wire tests below do not reach: zero, the waveform number, wild samples, and
    // the last line of a 2500-point read (68 samples, 60 empty fields).
    QCOMPARE(reversedDecimal2(8), QByteArray("80"));
    QCOMPARE(sampleCode(2.6f), 4095);
    QCOMPARE(sampleCode(-7.0f), 0);
    QCOMPARE(sampleCode(std::numeric_limits<float>::quiet_NaN()), 2048);
    QCOMPARE(dataLine(documentedSamples(2500, 1), 19),
             "ARB:DATA 4100 " + documentedFields(2432, 68) + QByteArray(60 * 4, '0') + '\n');
}

void TestSerial::settingsAndTimeouts() {
    SerialSettings s;
    QCOMPARE(s.generatorSettings(), QString("9600,n,8,1"));
    QVERIFY(chooseParity(s, 0));
    QCOMPARE(s.generatorSettings(), QString("9600,N,8,1"));
    QVERIFY(chooseParity(s, 2));
    QCOMPARE(s.generatorSettings(), QString("9600,E,7,1"));
    QCOMPARE(s.oscilloscopeSettings(), QString("9600,E,8,1"));
    QVERIFY(!chooseParity(s, 3));
    const int expected[] = {19000, 10000, 5000, 3000, 2000, 1000, 1000, 1000, 1000};
    for (int i = 0; i < 9; ++i) {
        QVERIFY(chooseBaud(s, i));
        QCOMPARE(writeTimeoutMs(s.generatorSettings()), expected[i]);
    }
    const char* bauds[] = {"600", "1200", "2400", "4800", "9600"};
    const int read[] = {46, 25, 14, 9, 7};
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(tdsReadSeconds(bauds[i]), read[i]);
        QCOMPARE(tdsLinkSeconds(bauds[i]), 1);
    }
    QCOMPARE(tdsSample(128), 0.0078125f);
}

void TestSerial::lineSettingsOnTheWire() {
    // The generator after "Odd  7BITS" at 600 baud: 600,O,7,1, no handshaking.
    UploadBench b;
    b.generator.script.silentFromLine = 0;
    QVERIFY(chooseParity(b.settings, 1));
    QVERIFY(chooseBaud(b.settings, 1));
    b.upload.start(documentedSamples(100, 1));
    auto* port = qobject_cast<QSerialPort*>(b.link.device());
    QVERIFY(port);
    QCOMPARE(port->parity(), QSerialPort::OddParity);
    QCOMPARE(port->dataBits(), QSerialPort::Data7);
    QCOMPARE(port->stopBits(), QSerialPort::OneStop);
    const termios g = lineOf(b.generator.terminal());
    QCOMPARE(cfgetospeed(&g), speed_t(B600));
    b.upload.CloseTeskCom();

    // The oscilloscope after the same choice: 9600,O,8,1, RTS/CTS as the menu says.
    for (const int flow : {2, 0}) {
        Win w;
        w.scope.script.silent = true;
        w->mnuComParityBits_Click(1);
        w->mnuComFlowHardSoft_Click(flow == 2 ? 0 : 2);
        w->mnuOscil_Link_Click();
        auto* tds = qobject_cast<QSerialPort*>(w->tdsLink().device());
        QVERIFY(tds);
        QCOMPARE(tds->parity(), QSerialPort::OddParity);
        QCOMPARE(tds->dataBits(), QSerialPort::Data8);
        const termios t = lineOf(w.scope.terminal());
        QCOMPARE(cfgetospeed(&t), speed_t(B9600));
        QCOMPARE((t.c_cflag & CRTSCTS) != 0, flow == 2);
        // The first link shows a progress bar, not the busy animation of an empty range.
        QVERIFY(w.t().ProgressBar_TDS->maximum() > 0);
        w.t().Command_TDS->click();
    }
}

void TestSerial::uploadThroughWindow() {
    Win w;
    FormMain& f = *w.form;
    FormTeskCom* t = f.formTeskCom();
    QCOMPARE(t->windowTitle(), QString("Send Data......"));
    QCOMPARE(t->Label_TeskCom->text(), QString("Data has send:"));
    f.mnu_ComNumberCOM_Click(1); // the generator
    f.action("mnuStandardSin")->trigger();
    w.generator.script.replyDelayMs = 20;
    f.Command_ArbWaveOutput->click();
    QVERIFY(t->isVisible() && !f.isEnabled());
    QCOMPARE(t->Label_TeskCom->text(), QString("Data has send："));
    t->close(); // refused while it runs
    QVERIFY(t->isVisible());
    QTRY_COMPARE(t->Label_TeskCom->text(), QString("Send complete！"));
    QTRY_VERIFY(!t->isVisible());
    QVERIFY(f.isEnabled() && !f.ActiveComm().isOpen());
    QCOMPARE(w.generator.waveforms().value(1).length, 201);

    // COM change during an upload moves the open port; exit closes it.
    w.generator.script.silentFromLine = 1;
    f.mnuArbOutput_Click();
    QTRY_COMPARE(w.generator.lines().size(), 2 + 2);
    f.mnu_ComNumberCOM_Click(0);
    QCOMPARE(f.ActiveComm().portName(), w.scope.devicePath());
    f.mnuFileExit_Click();
    QVERIFY(!f.ActiveComm().isOpen());
}

void TestSerial::linkAndRead() {
    Win w;
    QCOMPARE(w.t().windowTitle(), QString("Read data from Oscilloscop"));
    w->action("mnuOscil_Link")->trigger();
    QVERIFY(w.t().isVisible() && !w->isEnabled());
    QCOMPARE(w.t().Command_TDS->text(), QString("Cancle"));
    QTRY_COMPARE(w.t().Command_TDS->text(), QString("OK"));
    QCOMPARE(w.scope.commands(), QList<QByteArray>{"*IDN?"});
    QCOMPARE(w.t().Label_TDS->text(), QString::fromLatin1(w.scope.identification));
    w.tick(1000);
    QCOMPARE(w.t().Label_TDS->text(), QString("Link with oscilloscope success！"));
    QVERIFY(w.t().isVisible() && w->tdsLink().isOpen()); // until the user presses OK
    w.t().Command_TDS->click();
    QVERIFY(!w.t().isVisible() && w->isEnabled() && !w->tdsLink().isOpen());

    // The curve: bytes 0, 127, 255 at the start; taken on OK; index 2500 kept.
    w.scope.setCurve("CH1", documentedCurve());
    w.edit([](WaveStore& s) { s.ArbData[2500] = 0.25f; });
    const WaveStore before = w.store();
    w->action("mnuOscil_ReadData")->trigger();
    QCOMPARE(w.t().Label_TDS->text(), QString("Being Read Data From Oscilloscope......"));
    QTRY_COMPARE(w.t().Label_TDS->text(), QString("Complete！"));
    QCOMPARE(w.store().ArbLength, 201.0f); // nothing taken before OK
    w.t().Command_TDS->click();
    QCOMPARE(w->Text_Arb_Length->text(), QString("2500"));
    QCOMPARE(w.store().ArbData[0], -0.9921875f);
    QCOMPARE(w.store().ArbData[2], 1.0f);
    QCOMPARE(w.store().ArbData[2500], 0.25f);
    QCOMPARE(w->editor().view().ViewSpan, 2500);
    // The read is one step to undo.
    QCOMPARE(w->action("mnuEditUndo")->text(), QString("&Undo Read Data"));
    w->action("mnuEditUndo")->trigger();
    QVERIFY(w.store().ArbData == before.ArbData);
    QCOMPARE(w->Text_Arb_Length->text(), QString("201"));

    // The close box during an exchange ends it as the button does.
    w->mnuOscil_Link_Click();
    w.t().close(); // the close box ends it as the button does
    QVERIFY(!w->tds().running() && !w.t().isVisible() && w->isEnabled());
    QVERIFY(w.prompts.messages.empty());
}

void TestSerial::pendingEditsWaitOutExchanges() {
    // An exchange started from the menu sends the store as it is: disabling the window for it
    // commits nothing. The edit stays pending, and commits when the user leaves the field.
    Win w;
    QApplication::setActiveWindow(w.form.get());
    QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
    w->mnu_ComNumberCOM_Click(1); // the generator
    EntryField* len = w->Text_Arb_Length;
    typeInto(len, "3", false);
    w->action("mnuArbOutput")->trigger();
    QTRY_VERIFY(!w->formTeskCom()->isVisible());
    QCOMPARE(w.generator.waveforms().value(1).length, 201);
    QVERIFY(w.prompts.messages.empty());
    QCOMPARE(len->text(), QString("3"));
    QVERIFY(len->isEditingLook());
    QTRY_VERIFY(len->hasFocus()); // given back when the window is active again
    w->Text_ArbLineStartY->setFocus();
    QCOMPARE(w.prompts.texts(), QStringList{"Arbitrary length from 4 to 16000 "});
    QCOMPARE(w.store().ArbLength, 4.0f);

    // The same for a coordinate around Set Link.
    w->mnu_ComNumberCOM_Click(0); // the oscilloscope
    EntryField* x = w->Text_ArbLineStartX;
    typeInto(x, "3", false);
    w->action("mnuOscil_Link")->trigger();
    QTRY_COMPARE(w.t().Command_TDS->text(), QString("OK"));
    w.t().Command_TDS->click();
    QCOMPARE(w->entry().ArbLineStartX, 0);
    QCOMPARE(x->text(), QString("3"));
    QTRY_VERIFY(x->hasFocus());
    w->Text_ArbLineStopX->setFocus();
    QCOMPARE(w->entry().ArbLineStartX, 3);
}

void TestSerial::demoLoopCapturesUpload() {
    // The demo's bench on COM1: send, link and read back on the same port, no menu touched.
    ww::virt::VirtualBench bench;
    // Before any generator has received a waveform, CH1 shows 0 V with the screen's noise:
    // nothing that could pass for an upload.
    bench.oscilloscope().screen = {2.0, 30, 0.9, 0, 0, 0.01, 1};
    auto shown = [&bench] {
        std::vector<double> v;
        for (const char b : bench.oscilloscope().curve(QStringLiteral("CH1")))
            v.push_back(ww::tdsSample(static_cast<unsigned char>(b)));
        return v;
    };
    std::vector<double> triangle(201);
    for (int i = 0; i < 201; ++i)
        triangle[i] = 1 - 2 * std::abs(i - 100) / 100.0;
    const ww::Comparison idle = ww::compareCapture(triangle, shown());
    QVERIFY2(idle.error.contains(QStringLiteral("no periodic signal")), qPrintable(idle.error));
    // Another generator's output wired to CH1 (the demo's SCPI generator): shown once it has
    // received something, until the bench's own generator receives.
    QVector<float> other;
    bench.showAlso([&other] { return other; });
    QVERIFY(!ww::compareCapture(triangle, shown()).error.isEmpty());
    other = QVector<float>(triangle.begin(), triangle.end());
    QVERIFY(ww::compareCapture(triangle, shown()).match);
    bench.oscilloscope().screen = {};
    TestWindow w;
    TestWindow::Setup setup;
    setup.ports = {{1, bench.devicePath()}};
    setup.show = true;
    setup.completionPauseMs = 50;
    w.open(setup);
    w->action("mnuStandardTri")->trigger();
    const WaveStore sent = w.store();
    w->mnuArbOutput_Click();
    QTRY_VERIFY(!w->formTeskCom()->isVisible());
    w.linkAndRead();
    QVERIFY(w.prompts.messages.empty());
    QCOMPARE(w.store().ArbLength, 2500.0f);
    // Point i shows the sample held at i × 201 / 2500, each held from half a sample before it
    // to half a sample after.
    for (int i = 0; i < 2500; i += 7)
        QVERIFY(std::abs(w.store().ArbData[i] - sent.ArbData[(i * 201 + 1250) / 2500 % 201]) <=
                1.0f / 128 + 1.0f / 2048);
    QCOMPARE(bench.generator().formatErrors(), QStringList());
}

void TestSerial::devicesChosenInTheWindow() {
    Win w; // the oscilloscope on COM1, the generator on COM2
    QCOMPARE(w->action("mnu_ComNumberCOM_1")->toolTip(), "COM2 — " + w.generator.devicePath());
    // The dialog over the detected ports (here a list of one): its lines say what each
    // device is, or why it cannot be used; Refresh keeps what is typed.
    const QList<DetectedPort> detected = {
        {w.generator.devicePath(), "", "Virtual Vorrel generator", "Wavewright", "", ""}};
    w->applyPortChoices({{3, "/dev/wavewright-gone"}}); // remembered, since unplugged
    PortChoices choices([&] { return detected; }, w->ports());
    DevicesDialog d(choices);
    QCOMPARE(d.device[2]->currentText(), QString("/dev/wavewright-gone"));
    QCOMPARE(d.device[3]->count(), 1);
    d.device[3]->setEditText(w.generator.devicePath());
    QCOMPARE(d.status[3]->text(),
             w.generator.devicePath() + ", Virtual Vorrel generator, Wavewright");
    d.refresh->click();
    QCOMPARE(d.device[3]->currentText(), w.generator.devicePath());
    d.accept();
    w->applyPortChoices(choices.changed());
    QCOMPARE(w.settings.value("ports/COM4").toString(), w.generator.devicePath());
    QVERIFY(w->action("mnu_ComNumberCOM_3")->toolTip().startsWith("COM4 — /dev/"));
    QVERIFY(w->action("mnu_ComNumberCOM_2")->toolTip().endsWith(": not connected"));
    // The upload goes to COM4 now, and its window names the device.
    w->mnu_ComNumberCOM_Click(3);
    w->mnuArbOutput_Click();
    QCOMPARE(w->formTeskCom()->Label_Device->text(),
             QString("COM4 (%1)").arg(w.generator.devicePath()));
    QTRY_VERIFY(!w->formTeskCom()->isVisible());
    QCOMPARE(w.generator.waveforms().value(1).length, 201);
    // A device that is gone: the message says which, and where to choose another.
    w->mnu_ComNumberCOM_Click(2);
    w->mnuArbOutput_Click();
    QCOMPARE(w.prompts.texts(),
             QStringList{"Cannot open COM3 (/dev/wavewright-gone): there is no such device. "
                         "Choose another device in Rs232 Set > COM > Devices…."});
}

void TestSerial::compareWithSent() {
    // The demo's bench, its oscilloscope showing three periods of what the generator holds, 40
    // degrees on, at 0.8 with an offset and noise at -40 dB.
    ww::virt::VirtualBench bench;
    bench.oscilloscope().screen = {3.0, 40, 0.8, 0.05, 0, 0.01, 7};
    QTemporaryDir dir;
    TestWindow w;
    TestWindow::Setup setup;
    setup.ports = {{1, bench.devicePath()}};
    setup.show = true;
    w.open(setup);
    // Not linked yet: refused as Read Data is, and a later Read Data still reads into the store.
    w->action("mnuOscilCompare")->trigger();
    QCOMPARE(w.prompts.texts(), QStringList{"Please link with instrument!"});
    QVERIFY(!w->compareView());
    w->mnuOscil_Link_Click();
    QTRY_VERIFY(w->tds().TdsDone);
    w->tds().Command_TDS_Click();

    // Nothing uploaded in this run: the current waveform is "sent", and the window says so.
    w->mnuOscilCompare_Click();
    QTRY_VERIFY(w->tds().TdsDone);
    w->tds().Command_TDS_Click();
    CompareView* view = w->compareView();
    QVERIFY(view);
    QTRY_VERIFY(view->isVisible());
    QVERIFY(view->notes->text().startsWith("Nothing was uploaded in this run"));
    QCOMPARE(view->verdict->text(), QString("Not compared")); // 201 zeros: nothing to align

    // The triangle goes out; the store then changes: what was sent is compared, and the
    // comparison leaves the store alone.
    typeInto(w->Text_Arb_Length, "4000");
    w->action("mnuStandardTri")->trigger();
    const std::vector<double> triangle(w.store().ArbData.begin(), w.store().ArbData.begin() + 4000);
    w->mnuArbOutput_Click();
    QTRY_VERIFY(!w->formTeskCom()->isVisible());
    w->action("mnuStandardSin")->trigger();
    const WaveStore before = w.store();
    w->mnuOscilCompare_Click();
    QTRY_VERIFY(w->tds().TdsDone);
    w->tds().Command_TDS_Click();
    QVERIFY(view->sent() == triangle);
    QVERIFY2(view->notes->text().startsWith("The waveform on the canvas has changed since the "
                                            "last upload"),
             qPrintable(view->notes->text()));
    const Comparison& c = view->comparison();
    QVERIFY2(c.error.isEmpty() && c.match, qPrintable(view->figures->text()));
    QVERIFY2(view->figures->text().contains("; band limit none seen; 0 error regions beyond the "
                                            "noise."),
             qPrintable(view->figures->text()));
    QVERIFY(std::abs(c.periods - 3.0) < 0.005 && std::abs(c.gain - 0.8) < 0.01);
    QVERIFY(view->verdict->text().startsWith("Match"));
    QCOMPARE(w.store().ArbLength, before.ArbLength);
    QVERIFY(w.store().ArbData == before.ArbData);
    QCOMPARE(w->Text_Arb_Length->text(), QString("4000"));

    // Line 3 garbled on the way: a mismatch, its samples the worst region.
    bench.generator().script.corruptBlock = 3;
    w->action("mnuStandardTri")->trigger();
    w->mnuArbOutput_Click();
    QTRY_VERIFY(!w->formTeskCom()->isVisible());
    w->mnuOscilCompare_Click();
    QTRY_VERIFY(w->tds().TdsDone);
    w->tds().Command_TDS_Click();
    QVERIFY(!view->comparison().match);
    QVERIFY(view->verdict->text().startsWith("Mismatch"));
    QVERIFY(view->comparison().worstFrom <= 256 && view->comparison().worstTo >= 383);
    // The tolerance is the user's: a looser one is taken at once, the garbled line still fails.
    view->largest->setValue(60);
    QCOMPARE(view->comparison().match,
             view->comparison().maxError * 100 <= 60 && view->comparison().rmsError * 100 <= 3);

    // The picture of it, as the canvas's pictures are written.
    w.prompts.saveNames = {dir.filePath("compare")};
    w.prompts.saveFilters = {"PNG picture (*.png)"};
    view->exportPicture();
    QCOMPARE(QImage(dir.filePath("compare.png")).size(), QSize(1280, 720));

    // Read Data reads into the store again.
    w->mnuOscil_ReadData_Click();
    QTRY_VERIFY(w->tds().TdsDone);
    w->tds().Command_TDS_Click();
    QCOMPARE(w.store().ArbLength, 2500.0f);
    QCOMPARE(w.prompts.texts(), QStringList{"Please link with instrument!"});
}

void TestSerial::sendToInstrument() {
    // Other > Send to Instrument…: an address typed, a profile chosen, the answer shown; the
    // main window stays usable meanwhile.
    ww::virt::VirtualScpiGenerator g;
    QTemporaryDir dir;
    TestWindow w;
    TestWindow::Setup setup;
    setup.show = true;
    w.open(setup);
    typeInto(w->Text_Arb_Length, "300");
    w->action("mnuStandardSin")->trigger();
    w->action("mnuArbSendInstrument")->trigger();
    InstrumentDialog* d = w->instrumentDialog();
    QVERIFY(d && d->isVisible());
    d->line->setEditText(g.address());
    d->profile->setCurrentText("arb-dac-16bit-block");
    d->name->setText("SINE");
    d->sendButton->click();
    QVERIFY(w->isEnabled());
    QTRY_VERIFY2(d->status->text().endsWith("The instrument answered +0,\"No error\"."),
                 qPrintable(d->status->text()));
    QVERIFY(d->status->text().startsWith(g.address()));
    QCOMPARE(d->progress->value(), 100);
    const auto& kept = g.waveforms()["SINE"];
    QCOMPARE(kept.count(), 300);
    for (int i = 0; i < 300; i += 13)
        QVERIFY(std::abs(kept.samples[i] - w.store().ArbData[i]) <= 1.0 / 32767);
    // What Compare with Sent compares with from now on.
    QVERIFY(w->lastSent() ==
            std::vector<double>(w.store().ArbData.begin(), w.store().ArbData.begin() + 300));

    // A count the instrument does not take: said, nothing sent; resampled when asked.
    const QString pow2 = writeFile(dir, "pow2.profile",
                                   "name: power of two\npoints: 8..4096 power-of-two\n"
                                   "encoding: int16le\ncodes: -32767 32767\n"
                                   "upload: SOUR1:DATA:ARB:DAC {name},{block}\n"
                                   "after: SOUR1:FUNC:ARB {name}\ncheck: SYST:ERR?\n");
    d->profile->setCurrentText(pow2);
    const qint64 before = g.bytesReceived();
    d->sendButton->click();
    QVERIFY(d->status->text().contains("it takes a power of two points, not 300 (resampling to "
                                       "256 points would fit)"));
    QCOMPARE(g.bytesReceived(), before);
    d->fitPoints->setChecked(true);
    d->sendButton->click();
    QTRY_VERIFY(d->status->text().contains("Resampled from 300 to 256 points"));
    QCOMPARE(g.waveforms()["SINE"].count(), 256);
    QCOMPARE(w->lastSent().size(), std::size_t(256)); // what the instrument holds

    // The instrument's error, and a cancel while it does not read.
    g.script.errorAnswer = "-222,\"Data out of range\"";
    const std::vector<double> resampledSine = w->lastSent();
    w->action("mnuStandardSqu")->trigger();
    d->sendButton->click();
    QTRY_VERIFY(d->status->text().contains("reported an error: -222"));
    QVERIFY(w->lastSent() == resampledSine); // a failed upload changes nothing
    w->action("mnuStandardSin")->trigger();
    ww::virt::VirtualScpiGenerator stalled;
    stalled.script.stall = true;
    d->line->setEditText(stalled.address());
    d->sendButton->click();
    QVERIFY(d->busy());
    QCOMPARE(d->cancelButton->text(), QString("Cancel"));
    d->cancelButton->click();
    QVERIFY(!d->busy() && d->isVisible());
    QVERIFY(d->status->text().endsWith("Cancelled."));
    QVERIFY(w.prompts.messages.empty());

    // The settings: sent after the data where the profile says how; refused, with nothing
    // sent, where it does not.
    g.script.errorAnswer.clear();
    d->line->setEditText(g.address());
    d->profile->setCurrentText("arb-dac-16bit-block");
    d->frequency->setText("2000");
    d->amplitude->setText("1.5");
    d->output->setCurrentIndex(1); // on
    d->sendButton->click();
    QTRY_VERIFY2(d->status->text().endsWith("The instrument answered +0,\"No error\"."),
                 qPrintable(d->status->text()));
    QCOMPARE(g.settings().sampleRate, std::optional<double>(2000.0 * 300));
    QCOMPARE(g.settings().amplitude, std::optional<double>(1.5));
    QCOMPARE(g.settings().output, std::optional<bool>(true));
    QCOMPARE(d->progress->value(), 100);
    d->profile->setCurrentText("dac-volatile-12bit-block");
    const qint64 unsent = g.bytesReceived();
    d->sendButton->click();
    QVERIFY2(d->status->text().contains("Not sent: the profile 'DATA:DAC VOLATILE, 12-bit "
                                        "signed binary block' does not say how to set the "
                                        "output on"),
             qPrintable(d->status->text()));
    QCOMPARE(g.bytesReceived(), unsent);
    QCOMPARE(d->progress->value(), 0); // what this send did, not the last one
    d->frequency->setText("1,5");
    d->output->setCurrentIndex(0);
    d->sendButton->click();
    QVERIFY(d->status->text().contains("the frequency '1,5' is not a number"));
    d->frequency->clear();
    d->amplitude->clear();
    // A refused address: the bar stays at 0 and the address is named once.
    ww::virt::VirtualScpiGenerator closed;
    const QString closedAddress = closed.address();
    closed.stopListening();
    d->profile->setCurrentText("arb-dac-16bit-block");
    d->line->setEditText(closedAddress);
    d->sendButton->click();
    QTRY_VERIFY(!d->busy());
    QVERIFY2(d->status->text().contains("the connection was refused"),
             qPrintable(d->status->text()));
    QCOMPARE(d->status->text().count(closedAddress), 1);
    QCOMPARE(d->progress->value(), 0);

    // A COM number may stand for an address: the Devices dialog says what it is, and a
    // socket has no baud, parity or flow control to set.
    w->applyPortChoices({{2, g.address()}});
    // The Send to Instrument lines follow the Devices dialog each time it opens.
    d->hide();
    w->action("mnuArbSendInstrument")->trigger();
    QVERIFY(d->line->itemText(1).contains(g.address()));
    // The last line and profile are there again in the next run.
    {
        QSettings remembered(dir.filePath("remembered.ini"), QSettings::IniFormat);
        InstrumentDialog first(w->bench(), w->ports(), remembered);
        first.show();
        first.line->setCurrentIndex(1);
        first.profile->setCurrentText("emem-define-copy");
        first.name->setText("9bad"); // refused, but chosen
        first.sendButton->click();
        InstrumentDialog next(w->bench(), w->ports(), remembered);
        next.show();
        QCOMPARE(next.line->currentIndex(), 1);
        QCOMPARE(next.profile->currentText(), QString("emem-define-copy"));
        // Shipped profiles first.
        QCOMPARE(next.profile->itemText(0), QString("arb-dac-16bit-block"));
    }
    PortChoices choices([] { return QList<DetectedPort>(); }, w->ports());
    QCOMPARE(choices.describe(g.address()),
             QString("a network address: a raw socket to 127.0.0.1, port %1").arg(g.port()));
    QCOMPARE(choices.describe("udp://x"),
             QString("not an address this program can use (tcp://HOST[:PORT] or "
                     "usbtmc:///dev/usbtmcN)"));
    QCOMPARE(choices.describe("usbtmc:///dev/usbtmc-none"), QString("not connected"));
    QVERIFY(w->action("mnuComBaud")->isEnabled());
    w->mnu_ComNumberCOM_Click(1);
    for (const char* group : {"mnuComBaud", "mnuComParity", "mnuComFlowcontrol"})
        QVERIFY2(!w->action(group)->isEnabled(), group);
    w->mnu_ComNumberCOM_Click(0);
    QVERIFY(w->action("mnuComParity")->isEnabled());
    // Nor has a USB instrument's message device.
    w->applyPortChoices({{4, "usbtmc:///dev/usbtmc0"}});
    w->mnu_ComNumberCOM_Click(3);
    QVERIFY(!w->action("mnuComBaud")->isEnabled());
    QVERIFY(w->action("mnuComBaud")->toolTip().contains("not a serial port"));
    w->mnu_ComNumberCOM_Click(0);

    // Refresh asks each address what it is: the identification; something that answers but
    // not to *IDN? (a device server); an address that refuses, with why.
    ww::virt::VirtualScpiGenerator mute, gone, odd;
    mute.script.stall = true;
    odd.script.idnAnswer = "\x01garbage";
    const QString goneAddress = gone.address();
    gone.stopListening();
    DevicesDialog dialog(choices);
    dialog.device[1]->setEditText(g.address());
    dialog.device[2]->setEditText(mute.address());
    dialog.device[3]->setEditText(goneAddress);
    dialog.device[0]->setEditText(odd.address());
    dialog.refresh->click();
    QVERIFY(dialog.status[1]->text().endsWith("; asking…"));
    QTRY_VERIFY2(dialog.status[1]->text().endsWith("; reachable: WAVEWRIGHT,VIRTUAL SCPI "
                                                   "GENERATOR,0,1.0"),
                 qPrintable(dialog.status[1]->text()));
    QTRY_VERIFY2(
        dialog.status[3]->text().endsWith("; cannot be reached: the connection was refused"),
        qPrintable(dialog.status[3]->text()));
    QTRY_VERIFY2(dialog.status[0]->text().endsWith("; reachable: \\x01garbage"),
                 qPrintable(dialog.status[0]->text()));
    QTRY_VERIFY_WITH_TIMEOUT(dialog.status[2]->text().contains("reachable, but no answer to "
                                                               "*IDN? within 3 s"),
                             6000);
}

void TestSerial::readFromInstrument() {
    // Oscilloscope > Read from Instrument…: a SCPI generator and oscilloscope over the network,
    // the oscilloscope on COM3; the curve into the waveform, then compared with what was sent.
    ww::virt::VirtualScpiGenerator g;
    ww::virt::VirtualScpiScope scope;
    scope.input = [&] {
        const auto held = g.waveforms().value(g.selected()).samples;
        return QVector<float>(held.begin(), held.end());
    };
    scope.screen = {2.0, 20, 0.9, 0.02, 0, 0.004, 5};
    TestWindow w;
    TestWindow::Setup setup;
    setup.show = true;
    w.open(setup);
    w->applyPortChoices({{3, scope.address()}});
    w->action("mnuOscilReadInstrument")->trigger();
    ScopeDialog* d = w->scopeDialog();
    QVERIFY(d && d->isVisible());
    QVERIFY(d->line->itemText(2).contains(scope.address()));
    d->line->setCurrentIndex(2);
    d->profile->setCurrentText("wav-preamble-byte");
    // A channel's name that would be more than a name is refused before anything is asked.
    d->source->setText("CHAN1\n*RST");
    d->readButton->click();
    QVERIFY2(d->status->text().contains("not 'CHAN1"), qPrintable(d->status->text()));
    QVERIFY(scope.commands().isEmpty());
    d->source->setText("CHAN1");
    d->readButton->click();
    QVERIFY(w->isEnabled());
    QTRY_VERIFY2(d->status->text().endsWith("1400 points of CHAN1."),
                 qPrintable(d->status->text()));
    QCOMPARE(d->progress->value(), 100);
    // The screen's codes as -1..+1: code c is (c - 127.5) / 127.5.
    QCOMPARE(w.store().length(), 1400);
    for (const int i : {0, 700, 1399})
        QCOMPARE(
            w.store().ArbData[i],
            static_cast<float>((static_cast<unsigned char>(scope.codes()[i]) - 127.5) / 127.5));
    QCOMPARE(w->history().stack().undoText(), QString("Read from Instrument"));

    // Sent through Send to Instrument, then compared through the same dialog: a match, and the
    // waveform is left as it was.
    typeInto(w->Text_Arb_Length, "500");
    w->action("mnuStandardTri")->trigger();
    w->action("mnuArbSendInstrument")->trigger();
    InstrumentDialog* send = w->instrumentDialog();
    send->line->setEditText(g.address());
    send->profile->setCurrentText("arb-dac-16bit-block");
    send->sendButton->click();
    QTRY_VERIFY(send->status->text().contains("No error"));
    d->compareButton->click();
    CompareView* view = nullptr;
    QTRY_VERIFY((view = w->compareView()) && view->isVisible());
    QVERIFY2(view->verdict->text().startsWith("Match"), qPrintable(view->verdict->text()));
    QVERIFY2(!view->notes->text().contains("has changed"), qPrintable(view->notes->text()));
    // The wrapped figures and notes have the room they need: the chart covers none of them.
    QVERIFY(view->height() >= view->layout()->totalHeightForWidth(view->width()));
    QCOMPARE(w.store().length(), 500);

    // Cancel while the oscilloscope does not answer: said, and nothing taken.
    scope.script.stallData = true;
    d->readButton->click();
    QVERIFY(d->busy());
    d->cancelButton->click();
    QVERIFY(!d->busy());
    QCOMPARE(d->status->text(), QString("Cancelled."));
    QCOMPARE(w.store().length(), 500);
}

QTEST_MAIN(TestSerial)
#include "test_serial.moc"
