// Every exchange (upload, link, read) against the virtual instruments under each fault the row
// names: one message at most, the port closed, the main window enabled, the store unchanged
// unless the exchange completed, and the program idle afterwards (no busy loop).
#include "app/formmain.h"
#include "app/formtds.h"
#include "app/formteskcom.h"
#include "testwindow.h"

#include <QPushButton>
#include <QTest>
#include <sys/resource.h>

using namespace ww;

namespace {
enum class Drill { Upload, Link, Read };
enum class Fault {
    Silence,
    LateInside,
    LateOutside,
    Split,
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

} // namespace

class TestFaultDrills : public QObject {
    Q_OBJECT
  private slots:
    void drill_data();
    void drill();
};

void TestFaultDrills::drill_data() {
    QTest::addColumn<int>("exchange");
    QTest::addColumn<int>("fault");
    QTest::addColumn<bool>("completes");
    const char* exchanges[] = {"upload", "link", "read"};
    const struct {
        Fault fault;
        const char* name;
        bool completes[3]; // upload, link, read
    } faults[] = {
        {Fault::Silence, "silence", {false, false, false}},
        {Fault::LateInside, "late inside deadline", {true, true, true}},
        {Fault::LateOutside, "late outside deadline", {false, false, false}},
        {Fault::Split, "split in small parts", {true, true, true}},
        {Fault::Garbage, "garbage", {false, false, false}},
        {Fault::LoneTerminator, "lone terminator", {false, true, false}},
        {Fault::ExtraBytes, "extra bytes", {true, true, true}},
        {Fault::HangUp, "hang-up", {false, false, false}},
        {Fault::NoSuchPort, "no such port", {false, false, false}},
    };
    for (int e = 0; e < 3; ++e)
        for (const auto& f : faults)
            QTest::newRow(qPrintable(QString("%1, %2").arg(exchanges[e], f.name)))
                << e << static_cast<int>(f.fault) << f.completes[e];
}

void TestFaultDrills::drill() {
    QFETCH(int, exchange);
    QFETCH(int, fault);
    QFETCH(bool, completes);
    const auto ex = static_cast<Drill>(exchange);
    const auto fl = static_cast<Fault>(fault);
    InstrumentWindow rig(0, fl == Fault::NoSuchPort);
    FormMain& f = rig.f();
    f.action("mnuStandardSin")->trigger();
    if (ex == Drill::Upload)
        f.mnu_ComNumberCOM_Click(1); // the generator
    if (ex == Drill::Read) {         // a read needs a link first, on a healthy line
        if (fl != Fault::NoSuchPort) {
            f.mnuOscil_Link_Click();
            QTRY_VERIFY(f.tds().TdsDone);
            f.formTDS()->Command_TDS->click();
        } else {
            f.tds().TdsLinked = true;
        }
    }
    const WaveStore before = f.store();

    // What the instrument does wrong, exactly as the row names it.
    auto& gs = rig.generator.script;
    auto& ss = rig.scope.script;
    switch (fl) {
    case Fault::Silence:
        gs.silentFromLine = 1;
        ss.silent = true;
        break;
    case Fault::LateInside:
    case Fault::LateOutside:
    case Fault::Split:
        gs.hold = ss.hold = true;
        break;
    case Fault::Garbage:
        gs.reply = "garbage without an end";
        ss.garbage = "garbage";
        break;
    case Fault::LoneTerminator:
        gs.reply = "\n";
        rig.scope.identification = "";
        ss.noTrailingByte = true;
        break;
    case Fault::ExtraBytes:
        gs.extraAfterReply = "trailing\n\n";
        ss.extraAfterReply = "extra\n";
        break;
    case Fault::HangUp:
        gs.hangUpAtLine = 2; // the second data line of the 201-point sine
        ss.hangUpAtCommand = ex == Drill::Read ? 4 : 0;
        break;
    default:
        break;
    }

    if (ex == Drill::Upload)
        f.mnuArbOutput_Click();
    else if (ex == Drill::Link)
        f.mnuOscil_Link_Click();
    else
        f.mnuOscil_ReadData_Click();

    // The whole-second deadline of each exchange, in ms from the line that was sent.
    const qint64 deadline = ex == Drill::Upload ? 14'000 : ex == Drill::Link ? 1'000 : 7'000;
    // A reply this long after its line is still in time (whole seconds stay aligned).
    const qint64 inside = ex == Drill::Upload ? 13'000 : deadline - 1;
    auto held = [&] {
        return ex == Drill::Upload ? rig.generator.held().size() : rig.scope.held().size();
    };
    auto release = [&](qsizetype n) {
        return ex == Drill::Upload ? rig.generator.release(n) : rig.scope.release(n);
    };
    auto done = [&] { return ex == Drill::Upload ? !rig.busy() : f.tds().TdsDone; };
    switch (fl) {
    case Fault::LateInside:
        // Every reply comes a moment before its deadline and still counts.
        while (!done()) {
            QTRY_VERIFY(held() > 0 || done());
            rig.tick(inside);
            QVERIFY(rig.busy());
            release(-1);
            QTest::qWait(20);
        }
        break;
    case Fault::LateOutside:
        // The reply comes after the deadline: the exchange has ended and does not take it.
        QTRY_VERIFY(held() > 0);
        rig.tick(deadline);
        QVERIFY(!rig.busy());
        release(-1);
        QTest::qWait(100);
        break;
    case Fault::Split:
        // The reply arrives in parts of a few bytes, each in a receive event of its own.
        {
            QElapsedTimer t;
            t.start();
            while (!done() && t.elapsed() < 10'000) {
                if (release(ex == Drill::Read ? 61 : 1) == 0)
                    QTest::qWait(2);
                QTest::qWait(1);
            }
            break;
        }
    default:
        QTest::qWait(200);
        break;
    }
    if (completes) {
        QTRY_VERIFY_WITH_TIMEOUT(done(), 10'000);
        if (ex != Drill::Upload)
            f.formTDS()->Command_TDS->click(); // "OK"
    }
    for (int i = 0; i < 3 && rig.busy(); ++i)
        rig.tick(15'000);

    auto messageIfFailed = [&] {
        QVERIFY2(rig.prompts.messages.size() == (completes ? 0u : 1u),
                 qPrintable(rig.prompts.texts().join(" | ")));
    };
    QVERIFY(!rig.busy());
    messageIfFailed();
    if (fl == Fault::HangUp || fl == Fault::NoSuchPort) // the message names the port
        QVERIFY2(rig.prompts.texts().value(0).contains("COM"),
                 qPrintable(rig.prompts.texts().value(0)));
    if (!completes) // above the exchange window, which stays on top
        QCOMPARE(rig.prompts.messages[0].owner,
                 ex == Drill::Upload ? static_cast<QWidget*>(f.formTeskCom()) : f.formTDS());
    QVERIFY(!f.ActiveComm().isOpen() && !f.tdsLink().isOpen() && f.isEnabled());
    QVERIFY(!f.formTeskCom()->isVisible() && !f.formTDS()->isVisible());
    if (ex == Drill::Read && completes)
        QCOMPARE(f.store().ArbLength, 2500.0f);
    else
        QVERIFY(f.store().ArbData == before.ArbData && f.store().ArbLength == before.ArbLength);
    if (ex == Drill::Upload && completes)
        QVERIFY(rig.generator.waveforms().value(1).complete());

    // Idle afterwards: little CPU time over the next 200 ms, and no second message.
    const double cpu = cpuSeconds();
    QTest::qWait(200);
    QVERIFY2(cpuSeconds() - cpu < 0.07, "busy after the exchange ended");
    messageIfFailed();
}

QTEST_MAIN(TestFaultDrills)
#include "test_faultdrills.moc"
