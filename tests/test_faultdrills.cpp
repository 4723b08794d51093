// Every exchange (upload, link, read) against the virtual instruments under each fault: one
// message at most, the port closed, the main window enabled, the store unchanged unless the
// exchange completed, and the program idle afterwards (no busy loop).
#include "app/formmain.h"
#include "app/formtds.h"
#include "app/formteskcom.h"
#include "testwindow.h"
#include "virtualgenerator.h"
#include "virtualoscilloscope.h"

#include <QPushButton>
#include <QTest>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace ww;
using ww::virt::VirtualGenerator;
using ww::virt::VirtualOscilloscope;

namespace {
enum class Exchange { Upload, Link, Read };
enum class Fault {
    None,
    Silence,
    LateInside,
    LateOutside,
    SplitByteByByte,
    Garbage,
    LoneTerminator,
    ExtraBytes,
    HangUp,
    NoSuchPort
};

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Rig {
    VirtualGenerator generator;
    VirtualOscilloscope scope;
    FakePrompts prompts;
    ManualClock clock;
    std::unique_ptr<FormMain> form;
    Rig(bool portMissing) {
        FormMainOptions o;
        o.screen = [] { return QSize(800, 600); };
        o.prompts = &prompts;
        o.exitProgram = [] {};
        o.ports.setDevice(1, portMissing ? QString("/dev/wavewright-missing")
                                         : generator.devicePath());
        o.ports.setDevice(2, portMissing ? QString("/dev/wavewright-missing") : scope.devicePath());
        o.clock = &clock;
        o.completionPauseMs = 0;
        form = std::make_unique<FormMain>(o);
        form->show();
    }
    FormMain& f() { return *form; }
    void tick(qint64 ms) {
        clock.advance(ms);
        form->upload().Timer_TeskCom_Timer();
        form->tds().Timer_TDS_Timer();
    }
    bool busy() { return f().upload().running() || f().tds().running(); }
};
} // namespace

class TestFaultDrills : public QObject {
    Q_OBJECT
  private slots:
    void drill_data();
    void drill();
    void portWithoutPermission();
};

void TestFaultDrills::drill_data() {
    QTest::addColumn<int>("exchange");
    QTest::addColumn<int>("fault");
    QTest::addColumn<bool>("completes");
    const char* exchanges[] = {"upload", "link", "read"};
    const struct {
        Fault fault;
        const char* name;
        bool upload, link, read; // completes?
    } faults[] = {
        {Fault::None, "none", true, true, true},
        {Fault::Silence, "silence", false, false, false},
        {Fault::LateInside, "late inside deadline", true, true, true},
        {Fault::LateOutside, "late outside deadline", false, false, false},
        {Fault::SplitByteByByte, "split byte by byte", true, true, true},
        {Fault::Garbage, "garbage", false, false, false},
        {Fault::LoneTerminator, "lone terminator", false, true, false},
        {Fault::ExtraBytes, "extra bytes", true, true, true},
        {Fault::HangUp, "hang-up", false, false, false},
        {Fault::NoSuchPort, "no such port", false, false, false},
    };
    for (int e = 0; e < 3; ++e)
        for (const auto& f : faults)
            QTest::newRow(qPrintable(QString("%1, %2").arg(exchanges[e], f.name)))
                << e << static_cast<int>(f.fault)
                << (e == 0   ? f.upload
                    : e == 1 ? f.link
                             : f.read);
}

void TestFaultDrills::drill() {
    QFETCH(int, exchange);
    QFETCH(int, fault);
    QFETCH(bool, completes);
    const auto ex = static_cast<Exchange>(exchange);
    const auto fl = static_cast<Fault>(fault);
    Rig rig(fl == Fault::NoSuchPort);
    FormMain& f = rig.f();
    f.action("mnuStandardSin")->trigger();

    // A read needs a link first (on a healthy line).
    if (ex == Exchange::Read) {
        f.mnu_ComNumberCOM_Click(1);
        if (fl != Fault::NoSuchPort) {
            f.mnuOscil_Link_Click();
            QTRY_VERIFY(f.tds().TdsDone);
            f.formTDS()->Command_TDS->click();
        } else {
            f.tds().TdsLinked = true;
        }
    } else if (ex == Exchange::Link) {
        f.mnu_ComNumberCOM_Click(1);
    }
    const WaveStore before = f.store();

    auto& gs = rig.generator.script;
    auto& ss = rig.scope.script;
    const bool late = fl == Fault::LateInside || fl == Fault::LateOutside;
    switch (fl) {
    case Fault::Silence:
        gs.silentFromLine = 2;
        ss.silent = true;
        break;
    case Fault::LateInside:
    case Fault::LateOutside:
        gs.replyDelayMs = 300;
        break;
    case Fault::SplitByteByByte:
        gs.splitReply = true;
        ss.splitIdentification = true;
        break;
    case Fault::Garbage:
        gs.reply = "garbage without an end";
        ss.garbage = "garbage";
        rig.scope.identification = "";
        ss.silent = ex == Exchange::Link; // nothing that ends the identification
        break;
    case Fault::LoneTerminator:
        gs.reply = "\n";
        rig.scope.identification = "";
        ss.noTrailingByte = true;
        break;
    case Fault::ExtraBytes:
        gs.extraAfterReply = "trailing\n\n";
        rig.scope.identification += "\nextra";
        break;
    case Fault::HangUp:
        gs.hangUpAtLine = 2; // the second data line of the 201-point sine
        ss.hangUpAtCommand = ex == Exchange::Read ? 4 : 0;
        break;
    default:
        break;
    }
    if (late && ex != Exchange::Upload) {
        // The oscilloscope's answer comes late: the watchdog ticks first.
        ss.silent = true;
    }

    switch (ex) {
    case Exchange::Upload:
        f.mnuArbOutput_Click();
        break;
    case Exchange::Link:
        f.mnuOscil_Link_Click();
        break;
    case Exchange::Read:
        f.mnuOscil_ReadData_Click();
        break;
    }

    if (late && ex == Exchange::Upload) {
        // Each reply comes 300 ms after its line; the clock stands at or past the deadline.
        const qint64 step = fl == Fault::LateInside ? 13'000 : 14'000;
        QTest::qWait(50);
        rig.tick(step);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.busy() || fl == Fault::LateInside, 3000);
        if (fl == Fault::LateInside)
            QTRY_VERIFY_WITH_TIMEOUT(!rig.busy(), 10000);
    } else if (late) {
        QTest::qWait(50);
        const qint64 deadline = ex == Exchange::Link ? 1'000 : 7'000;
        const qint64 step = fl == Fault::LateInside ? deadline - 1'000 : deadline;
        rig.tick(step);
        if (fl == Fault::LateInside) {
            // Before the deadline the answer arrives and counts.
            QVERIFY(rig.busy());
            ss.silent = false;
            if (ex == Exchange::Link) {
                rig.scope.setCurve("CH1", QByteArray(2500, 'x'));
                f.tds().Command_TDS_Click();
                f.mnuOscil_Link_Click();
                QTRY_VERIFY(f.tds().TdsDone);
                f.tds().Command_TDS_Click();
            } else {
                f.tds().Command_TDS_Click();
                f.mnuOscil_ReadData_Click();
                QTRY_VERIFY(f.tds().TdsDone);
                f.tds().Command_TDS_Click();
            }
        }
    } else {
        // Let the exchange run, then let the watchdog see the deadlines.
        QTest::qWait(ex == Exchange::Upload ? 400 : 200);
        if (ex == Exchange::Upload && completes)
            QTRY_VERIFY_WITH_TIMEOUT(!rig.busy(), 10000);
        if (ex == Exchange::Read && completes) {
            QTRY_VERIFY(f.tds().TdsDone);
            f.tds().Command_TDS_Click();
        }
        for (int i = 0; i < 3 && rig.busy(); ++i)
            rig.tick(15'000);
        if (ex == Exchange::Link && f.tds().running() && f.tds().TdsDone)
            f.tds().Command_TDS_Click(); // "OK" after the success line
    }

    QVERIFY(!rig.busy());
    QVERIFY2(rig.prompts.messages.size() == (completes ? 0u : 1u),
             qPrintable(rig.prompts.texts().join(" | ")));
    if (fl == Fault::HangUp || fl == Fault::NoSuchPort) // the message names the port
        QVERIFY2(rig.prompts.texts().value(0).contains("COM"),
                 qPrintable(rig.prompts.texts().value(0)));
    QVERIFY(!f.ActiveComm().isOpen());
    QVERIFY(!f.tdsLink().isOpen());
    QVERIFY(f.isEnabled());
    QVERIFY(!f.formTeskCom()->isVisible());
    QVERIFY(!f.formTDS()->isVisible());
    if (ex == Exchange::Read && completes) {
        QCOMPARE(f.store().ArbLength, 2500.0f);
    } else {
        QVERIFY(f.store().ArbData == before.ArbData);
        QCOMPARE(f.store().ArbLength, before.ArbLength);
    }
    if (ex == Exchange::Upload && completes)
        QVERIFY(rig.generator.waveforms().value(1).complete());

    // Idle afterwards: little CPU time over the next 300 ms.
    const double cpu = cpuSeconds();
    QTest::qWait(300);
    QVERIFY2(cpuSeconds() - cpu < 0.1, "busy after the exchange ended");
    QVERIFY2(rig.prompts.messages.size() == (completes ? 0u : 1u),
             qPrintable(rig.prompts.texts().join(" | ")));
}

void TestFaultDrills::portWithoutPermission() {
    // A device the user may not open. Root opens anything, so the check runs in a child
    // process that gives up root first.
    VirtualGenerator generator;
    const QByteArray path = generator.devicePath().toLocal8Bit();
    QCOMPARE(chmod(path.constData(), 0600), 0);
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(3);
        PortMap ports;
        ports.setDevice(1, QString::fromLocal8Bit(path));
        SerialLink link(ports);
        const QString text = link.open(1, "9600,n,8,1");
        _exit(text.contains("permission denied") && text.contains("dialout") ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    QVERIFY(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3)
        QSKIP("cannot give up root here");
    QCOMPARE(WEXITSTATUS(status), 0);
}

QTEST_MAIN(TestFaultDrills)
#include "test_faultdrills.moc"
