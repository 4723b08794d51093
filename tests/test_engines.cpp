// The two exchange engines on an in-memory line, line by line and reply by reply, with a clock
// the test moves: what they send, how they take replies, and how each way of ending goes.
#include "documented.h"
#include "instruments/generatorupload.h"
#include "instruments/scopecapture.h"
#include "instruments/tdsexchange.h"

#include <QTest>

using namespace ww;

namespace {
// A line in memory: records what is written, delivers what the test says the instrument sent.
class FakeLine : public Transport {
  public:
    Options options;
    QList<QByteArray> written;
    qint64 pending = 0;
    int inputDiscards = 0;

    QString open(int, const QString&, const Options& o) override {
        options = o;
        m_open = true;
        return {};
    }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    void write(const QByteArray& bytes) override { written << bytes; }
    QByteArray readAll() override { return std::exchange(m_input, {}); }
    void discardInput() override {
        ++inputDiscards;
        m_input.clear();
    }
    void discardBuffers() override { m_input.clear(); }
    qint64 pendingOutput() const override { return pending; }
    // Bytes from the instrument, in one receive event.
    void deliver(const QByteArray& bytes) {
        m_input += bytes;
        emit bytesArrived();
    }

  private:
    bool m_open = false;
    QByteArray m_input;
};

// An engine with its line, settings and clock, and what it said.
template <typename Engine> struct Rig {
    FakeLine line;
    SerialSettings settings;
    ManualClock clock;
    Engine engine{line, settings, clock};
    QStringList said, statuses, percents;
    int finished = 0;
    bool openWhenSaid = true;
    Rig() {
        QObject::connect(&engine, &Exchange::failed,
                         [this](const QString& text, const QString& title, BoxIcon icon) {
                             openWhenSaid = line.isOpen();
                             said << title + (icon == BoxIcon::Stop ? " (stop): " : ": ") + text;
                         });
        QObject::connect(&engine, &Exchange::finished, [this] { ++finished; });
        QObject::connect(&engine, &Engine::statusChanged,
                         [this](const QString& s) { statuses << s; });
        if constexpr (std::is_same_v<Engine, GeneratorUpload>)
            QObject::connect(&engine, &GeneratorUpload::percentChanged, [this](const QString& p) {
                if (!p.isEmpty())
                    percents << p;
            });
    }
    void tick(qint64 ms) {
        clock.advance(ms);
        if constexpr (std::is_same_v<Engine, GeneratorUpload>)
            engine.Timer_TeskCom_Timer();
        else
            engine.Timer_TDS_Timer();
    }
};
using Upload = Rig<GeneratorUpload>;
using Scope = Rig<TdsExchange>;

WaveStore ramp(int length) {
    WaveStore s;
    s.ArbLength = static_cast<float>(length);
    for (int i = 0; i < length; ++i)
        s.ArbData[i] = -1.0f; // code 0: fields "0000"
    s.ArbData[0] = 1.0f;      // FFF0
    return s;
}
const QString kStop = "ERROR! (stop): ";
} // namespace

class TestEngines : public QObject {
    Q_OBJECT
  private slots:
    void uploadReplyByReply();
    void uploadEnds();
    void linkAndRead();
    void readEnds();
    void captureAnswerByAnswer();
};

void TestEngines::uploadReplyByReply() {
    Upload r;
    r.engine.completionPauseMs = 0;
    r.engine.start(ramp(300));
    QCOMPARE(r.line.written, QList<QByteArray>{"ARB:P_P 10C210\n"});
    // The first byte after a line is dropped: a lone line feed does not count as a reply.
    r.line.deliver("\n");
    QCOMPARE(r.line.written.size(), 1);
    r.line.deliver("\n");
    QCOMPARE(r.line.written.size(), 2);
    QCOMPARE(r.line.written[1], "ARB:DATA 1000 FFF0" + QByteArray(127 * 4, '0') + '\n');
    // A reply in pieces counts when its line feed comes; what follows it is of no use.
    r.line.deliver("O");
    r.line.deliver("K");
    QCOMPARE(r.line.written.size(), 2);
    r.line.deliver("\nrest");
    QCOMPARE(r.line.written.size(), 3);
    QCOMPARE(r.line.written[2].left(14), QByteArray("ARB:DATA 2000 "));
    r.line.deliver("OK\n");
    QCOMPARE(r.line.written.last().left(14), QByteArray("ARB:DATA 3000 "));
    QVERIFY(!r.statuses.contains("Send complete！"));
    r.line.deliver("OK\n");
    QCOMPARE(r.statuses.last(), QString("Send complete！"));
    QCOMPARE(r.percents, QStringList({"0.00%", "42.67%", "85.33%", "100.00%"}));
    QTRY_COMPARE(r.finished, 1);
    QVERIFY(!r.line.isOpen() && !r.engine.watchdogEnabled() && r.said.isEmpty());

    // Length 1000: eight blocks, the documented percentages, and the progress bar ending at 9
    // of 9.8046875.
    Upload k;
    k.engine.completionPauseMs = 0;
    k.engine.start(ramp(1000));
    for (int b = 0; b <= 8; ++b)
        k.line.deliver("OK\n");
    QCOMPARE(k.line.written.size(), 9);
    QCOMPARE(k.percents, QStringList({"0.00%", "12.80%", "25.60%", "38.40%", "51.20%", "64.00%",
                                      "76.80%", "89.60%", "100.00%"}));
    QCOMPARE(k.engine.progressMaximum(), 9.8046875);
    QCOMPARE(k.engine.progressValue(), 9);
}

void TestEngines::uploadEnds() {
    // No reply: the message 13 whole seconds after the line, the port closed before it.
    Upload a;
    a.engine.start(ramp(300));
    a.tick(13'999);
    QCOMPARE(a.finished, 0);
    a.tick(1);
    QCOMPARE(a.said, QStringList{kStop + GeneratorUpload::communicationErrorText()});
    QVERIFY(!a.openWhenSaid);
    QCOMPARE(a.finished, 1);
    a.line.deliver("OK\n"); // too late: nothing more goes out
    QCOMPARE(a.line.written.size(), 1);

    // A line held back by flow control must leave within 1000 ms + 1 ms a byte at 9600.
    Upload b;
    b.engine.start(ramp(300));
    b.line.deliver("OK\n");
    b.line.pending = 527;
    b.tick(1527);
    QCOMPARE(b.finished, 0);
    b.tick(1);
    QCOMPARE(b.said.size(), 1);
    QCOMPARE(b.finished, 1);

    // Cancel ends without a word; closing the window is refused until the last block is out.
    Upload c;
    c.engine.start(ramp(300));
    c.engine.closeRequested();
    QVERIFY(c.engine.running());
    c.engine.CloseTeskCom();
    QVERIFY(!c.engine.running() && !c.line.isOpen() && c.said.isEmpty());
    c.tick(20'000);
    QCOMPARE(c.finished, 1);
}

void TestEngines::linkAndRead() {
    Scope r;
    QString shown;
    QObject::connect(&r.engine, &TdsExchange::statusAppended, [&](const QString& t) { shown = t; });
    r.engine.TDS_Link();
    QVERIFY(r.line.options.dtrRts);
    QCOMPARE(r.line.written, QList<QByteArray>{"*IDN?\n"});
    // The identification in two receive events: the label keeps the second part.
    r.line.deliver("TEKTRONIX,");
    r.line.deliver("TDS 210\nrest");
    QCOMPARE(shown, QString("TDS 210"));
    QVERIFY(r.engine.TdsDone && r.engine.TdsLinked);
    QCOMPARE(r.line.inputDiscards, 2); // after each event of the link
    r.tick(1000);
    QCOMPARE(r.statuses.last(), QString("Link with oscilloscope success！"));
    QVERIFY(r.engine.running());
    r.engine.Command_TDS_Click();
    QCOMPARE(r.finished, 1);

    // The read: seven commands, then a curve that comes a little at a time.
    std::vector<float> taken;
    QObject::connect(&r.engine, &TdsExchange::dataTaken,
                     [&](const std::vector<float>& s) { taken = s; });
    chooseOscilSource(r.settings, 4);
    chooseOscilEol(r.settings, 3);
    r.engine.TDS_Readdata();
    QCOMPARE(r.line.written.last(),
             QByteArray("HEADer OFF\rDATa:SOUrce REFA\rDATa:ENCdg RPB\rDATa:WIDth 1\r"
                        "DATa:STARt 1\rDATa:STOP 2500\rCURVe?\r"));
    const QByteArray curve = "#42500" + documentedCurve() + '\r';
    for (int at = 0; at < curve.size(); at += 300)
        r.line.deliver(curve.mid(at, 300));
    QCOMPARE(r.line.inputDiscards, 2); // none while a curve comes in
    QVERIFY(r.engine.TdsDone);
    QCOMPARE(r.statuses.last(), QString("Complete！"));
    QVERIFY(taken.empty()); // taken only on OK or at the deadline
    r.engine.Command_TDS_Click();
    QCOMPARE(taken.size(), std::size_t(2500));
    QCOMPARE((std::vector<float>(taken.begin(), taken.begin() + 4)),
             (std::vector<float>{-0.9921875f, 0.0f, 1.0f, -0.4921875f}));
    QVERIFY(r.said.isEmpty());
}

void TestEngines::readEnds() {
    // A linked read that receives `bytes` of the curve; whether its data was taken.
    for (const int bytes : {2500, 2501}) {
        Scope r;
        bool taken = false;
        QObject::connect(&r.engine, &TdsExchange::dataTaken, [&] { taken = true; });
        r.engine.TdsLinked = true;
        r.engine.TDS_Readdata();
        r.line.deliver("#42500" + QByteArray(bytes, '\x7f'));
        r.tick(6'999);
        QVERIFY(r.said.isEmpty() && !taken);
        r.tick(1);
        if (bytes == 2501) { // complete and left alone: taken at the deadline
            QVERIFY(taken && r.said.isEmpty());
            continue;
        }
        // 6 + 2500 bytes and no further one never complete: "ERROR1" at the deadline (7 s).
        QCOMPARE(r.said, QStringList{"ERROR1 (stop): " + TdsExchange::readErrorText()});
        QVERIFY(!r.openWhenSaid && !taken);
        QCOMPARE(r.finished, 1);
    }

    // Started 0.6 s into a second of the calendar, an identification 0.7 s later still comes
    // within the 1 s the link waits: the deadline is counted from the query, not from the
    // next whole second.
    Scope late;
    late.clock.advance(600);
    late.engine.TDS_Link();
    late.tick(500);
    QVERIFY(late.said.isEmpty() && late.engine.running());
    late.line.deliver("VIRTUAL,SCOPE\n");
    late.tick(499);
    QVERIFY(late.said.isEmpty());
    late.tick(1);
    QCOMPARE(late.statuses.last(), QString("Link with oscilloscope success！"));
}

void TestEngines::captureAnswerByAnswer() {
    // A capture through a profile of 16-bit big-endian samples in two parts, answered in pieces
    // that split the prefix, the block's header and a sample: each question waits for the
    // answer before it, and the codes come out whole.
    const ScopeProfile profile =
        parseScopeProfile("name: t\nsetup: SRC {source}\npreamble: PRE?\nfields: n,-,gain\n"
                          "points: n\nchunk: 2\nrange: FROM {start}\nrange: TO {stop}\n"
                          "data: DATA?\nprefix: D,\ntrailing: 1\nencoding: int16be\n"
                          "volts: code * gain\ntime: index\ncheck: ERR?\n")
            .profile;
    QVERIFY(!profile.name.isEmpty());
    FakeLine line;
    SerialSettings settings;
    ManualClock clock;
    ScopeCapture capture(line, settings, clock);
    capture.lineName = "COM3";
    QString failure;
    ScopeTrace trace;
    bool done = false;
    QObject::connect(&capture, &Exchange::failed,
                     [&](const QString& t, const QString&, BoxIcon) { failure = t; });
    QObject::connect(&capture, &ScopeCapture::captured, [&](const ScopeTrace& t) {
        trace = t;
        done = true;
    });
    capture.start(profile, "CH2");
    QCOMPARE(line.written, (QList<QByteArray>{"SRC CH2\n", "PRE?\n"}));
    for (const char* piece : {"3,x,", "0.5\r", "\n"})
        line.deliver(piece);
    QCOMPARE(line.written.mid(2), (QList<QByteArray>{"FROM 1\n", "TO 2\n", "DATA?\n"}));
    // -2 and 258 as big-endian words, the second split between two reads.
    for (const QByteArray& piece :
         {QByteArray("D"), QByteArray(",#"), QByteArray("14\xff\xfe\x01"), QByteArray("\x02\n")})
        line.deliver(piece);
    QCOMPARE(line.written.mid(5), (QList<QByteArray>{"FROM 3\n", "TO 3\n", "DATA?\n"}));
    line.deliver(QByteArray("D,#12\x80\x00\n", 8));
    QCOMPARE(line.written.last(), QByteArray("ERR?\n"));
    QVERIFY(!done);
    line.deliver("+0,\"No error\"\n");
    QVERIFY2(done, qPrintable(failure));
    QCOMPARE(trace.codes, (std::vector<double>{-2, 258, -32768}));
    QCOMPARE(trace.volts, (std::vector<double>{-1, 129, -16384}));
    // Codes of a screen (the whole 16-bit range): compared as -1..+1.
    QCOMPARE(comparableCurve(trace).front(), double(static_cast<float>((-2 + 0.5) / 32767.5)));
    QVERIFY(!line.isOpen());

    // Silence is timed from the question: nothing for the stall time ends it, naming the
    // question; a part of a block says how far it came.
    capture.stallMs = 2000;
    capture.start(profile, "CH2");
    line.deliver("3,x,0.5\n");
    line.deliver("D,#14\x01");
    failure.clear();
    clock.advance(1500);
    capture.checkStall(); // not yet
    QVERIFY(failure.isEmpty() && capture.running());
    clock.advance(1000);
    capture.checkStall();
    QCOMPARE(failure, QString("COM3: the data of DATA? stopped after 1 of the 4 bytes its block "
                              "says (nothing more for 2 s)."));
    QVERIFY(!line.isOpen());

    // Ascii data: a line of numbers, as many as the preamble says.
    const ScopeProfile text =
        parseScopeProfile("name: t\npreamble: PRE?\nfields: n\npoints: n\ndata: DATA?\n"
                          "encoding: ascii\nvolts: code / 10\ntime: index\n")
            .profile;
    done = false;
    capture.start(text, "CH1");
    line.deliver("4\n");
    line.deliver("1, 2,3,");
    line.deliver("-4e1\n");
    QVERIFY(done);
    QCOMPARE(trace.volts, (std::vector<double>{0.1, 0.2, 0.3, -4}));
    // Values, not codes of a screen: compared as the volts they are.
    QCOMPARE(comparableCurve(trace), trace.volts);
    failure.clear();
    capture.start(text, "CH1");
    line.deliver("4\n1,2,3\n");
    QCOMPARE(failure,
             QString("COM3: the data of DATA?: it holds 3 points, the oscilloscope said 4."));
}

QTEST_GUILESS_MAIN(TestEngines)
#include "test_engines.moc"
