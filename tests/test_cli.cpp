// The command line as a bench script runs it: the real program as a child process, with no
// display, against the virtual instruments on pseudo-terminals.
#include "cli/progress.h"
#include "documented.h"
#include "files/wavefile.h"
#include "instruments/profile.h"
#include "instruments/tdsexchange.h"
#include "lines/devices.h"
#include "synth/shapes.h"
#include "testfiles.h"
#include "virtualbench.h"
#include "virtualgenerator.h"
#include "virtualoscilloscope.h"
#include "virtualscpi.h"
#include "virtualscpiscope.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QSerialPort>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace ww;
using ww::virt::VirtualGenerator;
using ww::virt::VirtualOscilloscope;

namespace {
struct Run {
    int code = -1;
    QByteArray out, err;
};

// The user's configuration folder of the child: the devices chosen in the window live there.
QString configDir() {
    static QTemporaryDir dir;
    return dir.path();
}

// Runs wavewright with no window system in reach; `during` runs once it has started.
Run wavewright(const QStringList& args, const std::function<void(QProcess&)>& during = {}) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    env.insert("XDG_CONFIG_HOME", configDir());
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(WAVEWRIGHT_EXE), args);
    Run r;
    if (!p.waitForStarted())
        return r;
    if (during)
        during(p);
    QElapsedTimer t;
    t.start();
    // The instruments live in this process: keep its event loop going.
    while (p.state() != QProcess::NotRunning && t.elapsed() < 60'000)
        QTest::qWait(2);
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

// A waveform file of the documented sample values.
QString documentedFile(const QTemporaryDir& dir, int length) {
    const QString path = dir.filePath(QStringLiteral("wave%1.txt").arg(length));
    writeWaveFile(path, QString::number(length), documentedSamples(length));
    return path;
}
} // namespace

class TestCli : public QObject {
    Q_OBJECT
  private slots:
    void sendOnTheWire();
    void captureWritesTheCurve();
    void failures();
    void lockFiles();
    void sendThroughProfile();
    void verifyAndCompare();
    void throughOscilloscopeProfiles();
    void interruptsLeaveNothingBehind();
    void convertAndPorts();
    void virtualGeneratorByHand();
};

void TestCli::sendOnTheWire() {
    QTemporaryDir dir;
    for (const int length : {4, 16000}) {
        VirtualGenerator g;
        const QString file = documentedFile(dir, length);
        const Run r = wavewright({"send", file, "--port", g.devicePath(), "--number", "3"});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.isEmpty());
        const QList<QByteArray>& lines = g.lines();
        QCOMPARE(lines.first(),
                 length == 4 ? QByteArray("ARB:P_P 304000") : QByteArray("ARB:P_P 3008E3"));
        QCOMPARE(lines.size(), length == 4 ? 2 : 126);
        QCOMPARE(lines.last(),
                 length == 4 ? "ARB:DATA 1000 " + documentedFields(0, 4) + QByteArray(124 * 4, '0')
                             : "ARB:DATA D700 " + documentedFields(15872, 128));
        QVERIFY(g.formatErrors().isEmpty());
        // The dry run prints exactly what the generator received.
        const Run dry = wavewright({"send", file, "--number", "3", "--dry-run"});
        QCOMPARE(dry.code, 0);
        QCOMPARE(dry.out, lines.join('\n') + '\n');
    }
}

void TestCli::captureWritesTheCurve() {
    QTemporaryDir dir;
    VirtualOscilloscope scope;
    scope.setCurve("REFB", documentedCurve());
    const QString file = dir.filePath("curve.txt");
    const Run r = wavewright(
        {"capture", file, "--port", scope.devicePath(), "--source", "REFB", "--eol", "cr"});
    QCOMPARE(r.code, 0);
    QVERIFY(r.err.contains(scope.identification));
    QCOMPARE(scope.commands().value(2), QByteArray("DATa:SOUrce REFB"));
    QCOMPARE(scope.terminator, '\r');
    const QByteArray saved = fileBytes(file);
    QVERIFY(saved.startsWith("2500\r\n-0.992\r\n 0.000\r\n 1.000\r\n-0.492\r\n"));
    QCOMPARE(saved.count('\n'), 2501);
}

void TestCli::failures() {
    QTemporaryDir dir;
    const QString good = documentedFile(dir, 1000);
    const QString bad = writeFile(dir, "bad.txt", "4\r\n0.5\r\nhalf\r\n");
    VirtualGenerator silent, hangUp;
    silent.script.silentFromLine = 0;
    hangUp.script.hangUpAtLine = 2;
    VirtualOscilloscope mute, untouched;
    mute.script.silent = true;
    VirtualGenerator held;
    QSerialPort holder(held.devicePath());
    QVERIFY(holder.open(QIODevice::ReadWrite));
    const struct {
        QStringList args;
        int code;
        QString says;
    } cases[] = {
        {{"send", good, "--port", "/dev/wavewright-none"},
         1,
         "wavewright: Cannot open /dev/wavewright-none: there is no such device.\n"},
        {{"send", good, "--port", silent.devicePath(), "--time-scale", "100"},
         1,
         "wavewright: " + silent.devicePath() + ": the generator did not answer in time"},
        {{"send", good, "--port", hangUp.devicePath()},
         1,
         "wavewright: The connection on " + hangUp.devicePath() + " was lost"},
        {{"capture", dir.filePath("c.txt"), "--port", mute.devicePath(), "--time-scale", "10"},
         1,
         "wavewright: " + mute.devicePath() +
             ": no identification from the oscilloscope within 1 s\n"},
        {{"send", bad}, 1, "wavewright: " + bad + ": Line 3 does not hold a sample value.\n"},
        {{"convert", bad, dir.filePath("out.txt")}, 1, "Line 3 does not hold a sample value."},
        {{"convert", writeFile(dir, "words.csv", "a,b\nc,d\n"), dir.filePath("out.txt")},
         1,
         "The file has no numeric column."},
        // The program's own file is read as Open reads it, whatever the options: where Open
        // would show the length message, the command line refuses with it.
        {{"send", writeFile(dir, "s.txt", "3\n0.1\n0.2\n0.3\n"), "--dry-run"},
         1,
         "s.txt: Arbitrary length from 4 to 16000 (line 1 holds a length outside 4..16000)\n"},
        {{"convert", writeFile(dir, "one.csv", "t,v\n0,0.5\n"), dir.filePath("out.txt")},
         1,
         "one.csv: 1 value to take; a waveform needs at least 4.\n"},
        {{"convert", good, dir.filePath("out.txt"), "--column", "volts"},
         1,
         "A waveform file has one column of samples."},
        {{"capture", dir.filePath("no/dir/c.txt"), "--port", untouched.devicePath()},
         1,
         "c.txt: No such file or directory\n"},
        {{"send", good, "--bogus"}, 2, "Unknown option 'bogus'"},
        {{"send"}, 2, "wavewright send: wants FILE"},
        {{"send", good, "--number", "9"}, 2, "--number wants 1 to 8"},
        {{"send", good, "--baud", "300"}, 2, "--baud wants"},
        {{"capture", dir.filePath("c.txt"), "--source", "CH3"}, 2, "--source wants"},
        {{"convert", good, dir.filePath("out.xyz")}, 2, "unknown format"},
        {{"convert", good, dir.filePath("out.txt"), "--fit", "squash"}, 2, "--fit wants"},
        {{"expr", "sin(x", "-o", dir.filePath("out.txt")}, 2, "Missing parenthesis\n  sin(x\n"},
        {{"expr", "1/(n-2)", "-o", dir.filePath("out.txt")},
         1,
         "the expression is not a finite number at sample 2"},
        // An expression means one thing: no comma results, no assignment, y only with a file.
        {{"expr", "0,5*sin(x)", "-o", dir.filePath("out.txt")},
         2,
         "for a decimal, write a point (0.5, not 0,5).\n  0,5*sin(x)\n   ^"},
        {{"expr", "sin(x), cos(x)", "-o", dir.filePath("out.txt")}, 2, "several results"},
        {{"expr", "x=1", "-o", dir.filePath("out.txt")}, 2, "'=' would assign"},
        {{"expr", "0.5*y", "-o", dir.filePath("out.txt")}, 2, "give it with --input FILE"},
        // First steps: a command typed wrong, and the window where there is no display.
        {{"sned", good},
         2,
         "'sned' is not a command; the commands are send, capture, convert, ports, expr, "
         "spectrum, compare, verify.\n"
         "Did you mean 'wavewright send'?\n"},
        {{}, 1, "no display to show the window on"},
        // Ports that are no serial port, or that another program holds.
        {{"send", good, "--port", "/dev/null"},
         1,
         "Cannot open /dev/null: it is not a serial port (a device of another kind).\n"},
        {{"send", good, "--port", bad}, 1, "it is not a serial port but a plain file.\n"},
        {{"send", good, "--port", held.devicePath()},
         1,
         QString("it is in use by %1 (process %2).\n")
             .arg(QFileInfo(QCoreApplication::applicationFilePath()).fileName().left(15))
             .arg(QCoreApplication::applicationPid())},
    };
    for (const auto& c : cases) {
        const Run r = wavewright(c.args);
        QVERIFY2(r.code == c.code, qPrintable(c.args.join(' ') + ": " + QString::number(r.code)));
        QVERIFY2(QString(r.err).contains(c.says), qPrintable(r.err));
        QVERIFY(r.out.isEmpty());
    }
    QVERIFY(!QFile::exists(dir.filePath("c.txt")) && !QFile::exists(dir.filePath("out.txt")));
    QVERIFY(untouched.commands().isEmpty()); // the output was checked before the instrument
    // Standard output that cannot be written is a failure; names are kept byte for byte.
    auto shell = [&](const QByteArray& script) {
        QProcess p;
        p.start("/bin/sh", {writeFile(dir, "run.sh", script), WAVEWRIGHT_EXE, dir.path()});
        p.waitForFinished(60'000);
        return std::make_pair(p.exitCode(), p.readAllStandardError());
    };
    const auto full = shell("\"$1\" ports > /dev/full\n");
    QCOMPARE(full.first, 1);
    QVERIFY(full.second.contains("cannot write to standard output: No space left on device"));
    QCOMPARE(shell("\"$1\" expr 'sin(x)' -o \"$2/$(printf 'caf\\351.txt')\"\n").first, 0);
    const QByteArray latin1 = QFile::encodeName(dir.path()) + "/caf\xE9.txt";
    QCOMPARE(::access(latin1.constData(), F_OK), 0);
    ::unlink(latin1.constData());
    QCOMPARE(silent.lines().size(), 1);
}

void TestCli::interruptsLeaveNothingBehind() {
    QTemporaryDir dir;
    // Ctrl+C in the middle of an upload: the port is closed and the status says so.
    VirtualGenerator g;
    g.script.silentFromLine = 3;
    const Run sent =
        wavewright({"send", documentedFile(dir, 1000), "--port", g.devicePath()}, [&](QProcess& p) {
            QTRY_COMPARE(g.lines().size(), 4);
            ::kill(static_cast<pid_t>(p.processId()), SIGINT);
        });
    QCOMPARE(sent.code, 130);
    // SIGTERM half way through a curve: the file there before is left as it was.
    VirtualOscilloscope scope;
    scope.script.cutCurveAt = 1000;
    const QString file = writeFile(dir, "kept.txt", "4\r\n1\r\n1\r\n1\r\n1\r\n");
    const Run read =
        wavewright({"capture", file, "--port", scope.devicePath(), "--quiet"}, [&](QProcess& p) {
            QTRY_VERIFY(scope.commands().contains("CURVe?"));
            QTest::qWait(100);
            ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        });
    QCOMPARE(read.code, 143);
    QCOMPARE(fileBytes(file), QByteArray("4\r\n1\r\n1\r\n1\r\n1\r\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2);
    // verify, interrupted while it reads the curve back: no verdict, the status says so; and
    // while it uploads: the curve is not asked for.
    virt::VirtualBench bench;
    bench.oscilloscope().script.cutCurveAt = 1000;
    const Run verified = wavewright(
        {"verify", documentedFile(dir, 1000), "--generator", bench.devicePath(), "--quiet"},
        [&](QProcess& p) {
            QTRY_VERIFY(bench.oscilloscope().commands().contains("CURVe?"));
            ::kill(static_cast<pid_t>(p.processId()), SIGINT);
        });
    QCOMPARE(verified.code, 130);
    QVERIFY(verified.out.isEmpty());
    virt::VirtualBench stalled;
    stalled.generator().script.silentFromLine = 3;
    const Run cut = wavewright(
        {"verify", documentedFile(dir, 1000), "--generator", stalled.devicePath(), "--quiet"},
        [&](QProcess& p) {
            QTRY_COMPARE(stalled.generator().lines().size(), 4);
            ::kill(static_cast<pid_t>(p.processId()), SIGINT);
        });
    QCOMPARE(cut.code, 130);
    QVERIFY(stalled.oscilloscope().commands().isEmpty());
}

void TestCli::convertAndPorts() {
    QTemporaryDir dir;
    const QString in = writeFile(dir, "hand.txt", "5\n0,5\n-1\n1e-1\n\n");
    const Run r = wavewright({"convert", in, dir.filePath("out.TXT")});
    QCOMPARE(r.code, 0);
    QCOMPARE(fileBytes(dir.filePath("out.TXT")),
             QByteArray("5\r\n 0.500\r\n-1.000\r\n 0.100\r\n 0.000\r\n 0.000\r\n"));
    const Run made = wavewright({"expr", "triangle(x)", "--length", "4", "-o", in});
    QCOMPARE(made.code, 0);
    QCOMPARE(fileBytes(in), QByteArray("4\r\n 0.000\r\n 1.000\r\n 0.000\r\n-1.000\r\n"));
    // An expression may start with a minus; pi and e are the constants; y comes from --input.
    const QString out = dir.filePath("out.csv");
    QCOMPARE(wavewright({"expr", "-0.5 + n/4", "-o", out, "--length", "4"}).code, 0);
    QVERIFY(fileBytes(out).endsWith("0,-0.5\r\n1,-0.25\r\n2,0\r\n3,0.25\r\n"));
    QCOMPARE(wavewright({"expr", "e/pi + 0*n", "-o", out, "--length", "4"}).code, 0);
    QVERIFY(fileBytes(out).endsWith("3,0.86525595\r\n")); // float(e / pi), shortest
    QCOMPARE(wavewright({"expr", "-y/2", "--input", in, "-o", out}).code, 0);
    QVERIFY(fileBytes(out).endsWith("0,-0\r\n1,-0.5\r\n2,-0\r\n3,0.5\r\n"));
    const Run help = wavewright({"expr", "--help"});
    for (const char* part :
         {"pulse(p, duty)", "clip(v, lo, hi)", "max(a, b, ...)", "pi, e", ".txt, .csv or .wav"})
        QVERIFY2(help.out.contains(part), part);
    // The spectrum of a file: whole periods as they are, anything else through a window.
    QByteArray third;
    for (int i = 0; i < 1000; ++i)
        third += QByteArray::number(0.9 * std::sin(2 * M_PI * i / 1000) +
                                        0.009 * std::sin(6 * M_PI * i / 1000),
                                    'g', 12) +
                 '\n';
    const QString table = writeFile(dir, "third.csv", third);
    const Run figures = wavewright({"spectrum", table, "--window", "none", "--harmonics", "3",
                                    "--csv", dir.filePath("h.csv")});
    QCOMPARE(figures.code, 0);
    QVERIFY2(figures.out.startsWith("THD: -40.00 dB\nTHD+N: -40.00 dB\nSNR: "), figures.out);
    QCOMPARE(figures.err, QByteArray("window: none\n"));
    const QList<QByteArray> rows = fileBytes(dir.filePath("h.csv")).split('\n');
    // What the table was measured with, and its figures, before it.
    QCOMPARE(rows.value(0), QByteArray("# window none, 12 bits no, harmonics 3\r"));
    QVERIFY2(rows.value(1).startsWith("# THD -40.00 dB, THD+N -40.00 dB, SNR "),
             rows.value(1).constData());
    QCOMPARE(rows.value(2), QByteArray("harmonic,amplitude,dBc,phase_deg\r"));
    QVERIFY(rows.value(5).startsWith("3,0.00899999") && rows.value(5).contains(",-40.0000,"));
    // Whole periods are measured as they are whatever the file; through a window asked for,
    // one period is too few.
    const Run byDefault = wavewright({"spectrum", table});
    QCOMPARE(byDefault.code, 0);
    QCOMPARE(byDefault.err, QByteArray("window: none\n"));
    QVERIFY(byDefault.out.startsWith("THD: -40.00 dB\n"));
    const Run windowed = wavewright({"spectrum", table, "--window", "hann"});
    QCOMPARE(windowed.code, 1);
    QVERIFY(windowed.err.contains("window: hann\n") && windowed.err.contains("Too few periods"));
    QCOMPARE(wavewright({"spectrum", in, "--quantized"}).err, QByteArray("window: none\n"));
    QCOMPARE(wavewright({"spectrum", table, "--window", "kaiser"}).code, 2);
    // A column of its own choosing: the third harmonic alone, beside the sum, is a pure tone.
    QByteArray two = "sum,third\n";
    for (int i = 0; i < 1000; ++i)
        two += QByteArray::number(0.9 * std::sin(2 * M_PI * i / 1000), 'g', 12) + ',' +
               QByteArray::number(0.5 * std::sin(6 * M_PI * i / 1000), 'g', 12) + '\n';
    const QString columns = writeFile(dir, "two.csv", two);
    QVERIFY(wavewright({"spectrum", columns, "--column", "sum"}).out.contains("fundamental: 1.00"));
    QVERIFY(wavewright({"spectrum", columns}).out.contains("fundamental: 3.00"));
    QCOMPARE(wavewright({"spectrum", columns, "--by", "sideways"}).code, 2);
    const Run captureHelp = wavewright({"capture", "--help"});
    QVERIFY(captureHelp.out.contains("8 data bits") && !captureHelp.out.contains("7 data bits"));
    // Every pair of formats and back: the same samples.
    const QString csv = dir.filePath("w.csv"), wav = dir.filePath("w.wav");
    const QString again = dir.filePath("again.txt");
    QCOMPARE(wavewright({"convert", in, csv}).code, 0);
    QCOMPARE(wavewright({"convert", csv, wav, "--rate", "8000"}).code, 0);
    QCOMPARE(wavewright({"convert", wav, again}).code, 0);
    QCOMPARE(fileBytes(again), fileBytes(in));
    QVERIFY(fileBytes(csv).startsWith("index,value\r\n0,0\r\n1,1\r\n2,0\r\n3,-1\r\n"));
    // A scope's export: a header, a time column, decimal commas, 20000 rows beyond -1..+1.
    QByteArray scope = "TIME;CH1\n";
    for (int i = 0; i < 20000; ++i)
        scope += QByteArray::number(i * 1e-6) + ';' +
                 QByteArray::number(4.0 * i / 19999 - 2.0).replace('.', ',') + '\n';
    writeFile(dir, "scope.csv", scope);
    QCOMPARE(wavewright({"convert", dir.filePath("scope.csv"), again, "--fit", "range"}).code, 0);
    const QList<QByteArray> lines = fileBytes(again).split('\n');
    QCOMPARE(lines.value(0), QByteArray("16000\r"));
    QCOMPARE(lines.value(1), QByteArray("-1.000\r"));
    QCOMPARE(lines.value(16000), QByteArray(" 1.000\r"));
    QCOMPARE(
        wavewright({"convert", dir.filePath("scope.csv"), again, "--column", "1", "--length", "4"})
            .code,
        0);
    QVERIFY(fileBytes(again).startsWith("4\r\n 0.000\r\n 0.007\r\n")); // the times
    // A picture, drawn by the window module without a window.
    QCOMPARE(wavewright({"convert", csv, dir.filePath("w.png"), "--size", "640x300"}).code, 0);
    QCOMPARE(QImage(dir.filePath("w.png")).size(), QSize(640, 300));

    const Run ports = wavewright({"ports"});
    QCOMPARE(ports.code, 0);
    QVERIFY(ports.out.contains("COM1 = /dev/ttyS0\nCOM2 = /dev/ttyS1\n"));
    // COM2 as chosen in the window's Devices dialog.
    VirtualGenerator g;
    QDir().mkpath(configDir() + "/wavewright");
    {
        QSettings s(configDir() + "/wavewright/wavewright.conf", QSettings::IniFormat);
        s.setValue("ports/COM2", g.devicePath());
    }
    QVERIFY(wavewright({"ports"}).out.contains("COM2 = " + g.devicePath().toUtf8()));
    const Run sent = wavewright({"send", documentedFile(dir, 1000), "--port", "COM2"});
    QCOMPARE(sent.code, 0);
    QCOMPARE(g.lines().size(), 9);
    // Off a terminal, a line at each quarter crossed, with the share of the count it shows.
    QCOMPARE(sent.err, QByteArray(" 11% 1/9 lines\n 33% 3/9 lines\n 55% 5/9 lines\n 77% 7/9 lines\n"
                                  "100% 9/9 lines\n"));
    // The live bar: share, count, rate and time left, in the width of a terminal.
    const QString bar = cli::Progress::barLine(63, 126, "lines", 33000, 2000, 79);
    QVERIFY2(bar.endsWith("]  50.0% 63/126 lines, 16.5 kB/s, 0:02 left"), qPrintable(bar));
    QCOMPARE(bar.size(), 79);
    QCOMPARE(bar.count('#'), (bar.indexOf(']') - 1) / 2);
}

void TestCli::virtualGeneratorByHand() {
    QProcess p;
    p.start(QStringLiteral(VORREL_GENERATOR_EXE), {"--help"});
    QVERIFY(p.waitForFinished(10'000));
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(p.readAllStandardOutput().contains("--port COM1=DEVICE"));
    // Each line is printed once, followed by its own faults.
    p.start(QStringLiteral(VORREL_GENERATOR_EXE));
    QVERIFY(p.waitForReadyRead(10'000));
    QFile line(QString::fromLocal8Bit(p.readLine()).trimmed());
    QVERIFY(line.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
    line.write("ARB:P_P 10C800\nhello\nARB:P_P 10C800\n");
    QByteArray out;
    QTRY_VERIFY((out += p.readAllStandardOutput()).count('\n') >= 4);
    p.kill();
    p.waitForFinished();
    QCOMPARE(out, QByteArray("ARB:P_P 10C800\nhello\n  format error: not a generator line: "
                             "hello\nARB:P_P 10C800\n"));
}

void TestCli::throughOscilloscopeProfiles() {
    QTemporaryDir dir;
    WaveStore triangle;
    triangle.ArbLength = 1000;
    makeTriangle(triangle);
    const QString file = dir.filePath("triangle.txt");
    QVERIFY(writeWaveFile(file, "1000", triangle).isEmpty());
    // The whole loop over the network: a SCPI generator, a SCPI oscilloscope showing its output.
    virt::VirtualScpiGenerator g;
    virt::VirtualScpiScope scope;
    scope.input = [&] {
        const auto held = g.waveforms().value(g.selected()).samples;
        return QVector<float>(held.begin(), held.end());
    };
    scope.screen = {3.0, 30, 0.9, 0.02, 0, 0.005, 1};
    const Run loop = wavewright({"verify", file, "--generator", g.address(), "--generator-profile",
                                 "arb-dac-16bit-block", "--scope", scope.address(),
                                 "--scope-profile", "wf-dat2-vdiv", "--source", "C1", "--quiet"});
    QVERIFY2(loop.code == 0, loop.out + loop.err);
    QVERIFY(loop.out.endsWith("verdict: match\n"));
    QVERIFY(scope.commands().contains("C1:WF? DAT2"));

    // The curve as a table of time and volts, every point, each as the oscilloscope held it.
    const QString csv = dir.filePath("curve.csv");
    const Run table = wavewright({"capture", csv, "--port", scope.address(), "--profile",
                                  "wav-preamble-byte", "--source", "CHAN2"});
    QVERIFY2(table.code == 0, table.err.constData());
    QVERIFY2(table.err.contains("1400 points of CHAN2"), table.err.constData());
    QFile f(csv);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = f.readAll().trimmed().split('\n');
    QCOMPARE(rows.size(), 1401);
    QCOMPARE(rows[0], QByteArray("time,volts"));
    for (const int i : {0, 350, 1399}) {
        const QList<QByteArray> cells = rows[i + 1].split(',');
        QVERIFY(std::abs(cells[0].toDouble() - scope.timeOfPoint(i)) < 1e-12);
        QVERIFY(std::abs(cells[1].toDouble() - scope.held()[i]) <= scope.voltsPerDiv / 50 + 1e-9);
    }
    // As the program's waveform: the screen as -1..+1.
    const QString own = dir.filePath("curve.txt");
    QCOMPARE(wavewright({"capture", own, "--port", scope.address(), "--profile", "curve-wfmoutpre",
                         "--source", "CH1", "--quiet"})
                 .code,
             0);
    QCOMPARE(readWaveFile(own).length, 1400);

    // Refused before the oscilloscope is asked.
    const qsizetype asked = scope.commands().size();
    const struct {
        QStringList args;
        int code;
        QByteArray says;
    } refusals[] = {
        {{"--profile", "wav-preamble-byte"}, 2, "--profile wants --source"},
        {{"--profile", "wav-preamble-byte", "--source", "CHAN1;*RST"},
         2,
         "--source: a channel's name is 1 to 32 letters, digits and _, not 'CHAN1;*RST'"},
        {{"--profile", "no-such", "--source", "CHAN1"},
         1,
         "no oscilloscope profile 'no-such'; the profiles are: curve-wfmoutpre, "},
    };
    for (const auto& r : refusals) {
        const Run run = wavewright(QStringList{"capture", csv, "--port", scope.address()} + r.args);
        QCOMPARE(run.code, r.code);
        QVERIFY2(run.err.contains(r.says), run.err.constData());
    }
    const Run wav = wavewright({"capture", dir.filePath("x.wav"), "--port", scope.address(),
                                "--profile", "wav-preamble-byte", "--source", "CHAN1"});
    QCOMPARE(wav.code, 2);
    QVERIFY(wav.err.contains("must end in .txt or .csv"));
    // A profile whose samples are values has no screen to make a waveform of: a .txt is
    // refused before anything is asked, a .csv takes the volts.
    const QString floats = writeFile(dir, "floats.scope",
                                     "name: floats\ndata: :WAV:DATA?\nencoding: float32le\n"
                                     "volts: code\ntime: index\n");
    const Run values = wavewright({"capture", dir.filePath("v.txt"), "--port", scope.address(),
                                   "--profile", floats, "--source", "CHAN1"});
    QCOMPARE(values.code, 2);
    QVERIFY2(values.err.contains("gives its samples as values"), values.err.constData());
    QCOMPARE(scope.commands().size(), asked);

    // An oscilloscope that fails: nothing written, the step named.
    scope.script.stallData = true;
    const Run stalled =
        wavewright({"verify", file, "--generator", g.address(), "--generator-profile",
                    "arb-dac-16bit-block", "--scope", scope.address(), "--scope-profile",
                    "wav-preamble-byte", "--source", "CHAN1", "--quiet", "--time-scale", "100"});
    QCOMPARE(stalled.code, 1);
    QVERIFY2(stalled.err.contains("no answer to :WAV:DATA? within 10 s"), stalled.err.constData());
    QVERIFY(stalled.err.contains("the upload went through, but the curve could not be read"));
    const QString none = dir.filePath("none.csv");
    QCOMPARE(wavewright({"capture", none, "--port", scope.address(), "--profile",
                         "wav-preamble-byte", "--source", "CHAN1", "--time-scale", "100"})
                 .code,
             1);
    QVERIFY(!QFileInfo::exists(none));
}

QTEST_GUILESS_MAIN(TestCli)
void TestCli::sendThroughProfile() {
    QTemporaryDir dir;
    const QString wave = documentedFile(dir, 300);
    // The exact bytes: the profile's lines, the block of 300 14-bit codes least significant
    // byte first, the check.
    const Run dry =
        wavewright({"send", wave, "--profile", "dac-volatile-14bit-block", "--dry-run"});
    QCOMPARE(dry.code, 0);
    QVERIFY(dry.out.startsWith("*CLS\nFORM:BORD SWAP\nDATA:DAC VOLATILE, #3600"));
    QVERIFY(dry.out.endsWith("\nFUNC:USER VOLATILE\nFUNC USER\nSYST:ERR?\n"));
    QCOMPARE(dry.out.size(), qsizetype(5 + 15 + 24 + 600 + 1 + 19 + 10 + 10));
    // Sample 0 of the documented file is -1.0: code -8191, 0x01 0xe0 least significant first.
    QCOMPARE(dry.out.mid(44, 2), QByteArray("\x01\xe0"));

    // To the virtual SCPI generator over the network.
    virt::VirtualScpiGenerator g;
    const Run sent = wavewright({"send", wave, "--port", g.address(), "--profile",
                                 "arb-dac-16bit-block", "--name", "RAMP2"});
    QVERIFY2(sent.code == 0, sent.err.constData());
    QVERIFY(sent.err.contains(g.address().toUtf8() + ": +0,\"No error\""));
    QCOMPARE(g.waveforms().value("RAMP2").count(), 300);
    QCOMPARE(g.selected(), QString("RAMP2"));

    // A count the instrument does not take: refused before the line opens, or resampled when
    // asked, and said so.
    const QString pow2 = writeFile(dir, "pow2.profile",
                                   "name: power of two\npoints: 8..4096 power-of-two\n"
                                   "encoding: int16le\ncodes: -32767 32767\n"
                                   "upload: SOUR1:DATA:ARB:DAC {name},{block}\n"
                                   "after: SOUR1:FUNC:ARB {name}\ncheck: SYST:ERR?\n");
    const qint64 before = g.bytesReceived();
    const Run refused = wavewright({"send", wave, "--port", g.address(), "--profile", pow2});
    QCOMPARE(refused.code, 1);
    QVERIFY2(refused.err.contains("the instrument cannot take it: it takes a power of two "
                                  "points, not 300 (--fit-points resamples it to 256)"),
             refused.err.constData());
    QCOMPARE(g.bytesReceived(), before);
    const Run fitted =
        wavewright({"send", wave, "--port", g.address(), "--profile", pow2, "--fit-points"});
    QCOMPARE(fitted.code, 0);
    QVERIFY(fitted.err.contains("resampled from 300 to 256 points, as one period"));
    QCOMPARE(g.waveforms().value("WAVE1").count(), 256);

    // The instrument's own error ends it, with its text and the address.
    g.script.errorAnswer = "-222,\"Data out of range\"";
    const Run complained =
        wavewright({"send", wave, "--port", g.address(), "--profile", "arb-dac-16bit-block"});
    QCOMPARE(complained.code, 1);
    QVERIFY(complained.err.contains(
        g.address().toUtf8() + ": The instrument reported an error: -222,\"Data out of range\""));
    // A profile with a fault, a bad name, an address that is none.
    const Run faulty =
        wavewright({"send", wave, "--profile", writeFile(dir, "bad.profile", "name: x\nspeed: 3\n"),
                    "--dry-run"});
    QCOMPARE(faulty.code, 1);
    QVERIFY(faulty.err.contains("bad.profile: line 2: 'speed' is not a key of a profile"));
    QCOMPARE(wavewright({"send", wave, "--profile", "arb-dac-16bit-block", "--name", "9x"}).code,
             2);
    QCOMPARE(wavewright({"send", wave, "--port", "tcp://host:99999"}).code, 2);
    const Run usb = wavewright(
        {"send", wave, "--port", "usbtmc:///dev/usbtmc-none", "--profile", "arb-dac-16bit-block"});
    QCOMPARE(usb.code, 1);
    QVERIFY2(usb.err.contains("/dev/usbtmc-none: No such file or directory"), usb.err.constData());
    QCOMPARE(wavewright({"send", wave, "--name", "W"}).code, 2);
    // A name that would split the command on the wire.
    QCOMPARE(
        wavewright({"send", wave, "--profile", "arb-dac-16bit-block", "--name", "A\n", "--dry-run"})
            .code,
        2);
    // A plain file or a pipe named as a USB instrument is neither written nor read.
    const QString plain = writeFile(dir, "usbtmc0", "keep me");
    const Run notUsb = wavewright(
        {"send", wave, "--port", "usbtmc://" + plain, "--profile", "arb-dac-16bit-block"});
    QCOMPARE(notUsb.code, 1);
    QVERIFY2(notUsb.err.contains("it is a plain file, not a USB instrument"),
             notUsb.err.constData());
    QCOMPARE(fileBytes(plain), QByteArray("keep me"));
    const QByteArray fifo = QFile::encodeName(dir.filePath("usbtmc1"));
    QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
    QVERIFY(wavewright({"send", wave, "--port", "usbtmc://" + dir.filePath("usbtmc1"), "--profile",
                        "arb-dac-16bit-block"})
                .err.contains("it is a pipe, not a USB instrument"));
    QVERIFY(wavewright(
                {"send", wave, "--port", "usbtmc:///dev/zero", "--profile", "arb-dac-16bit-block"})
                .err.contains("a device of another kind, not a USB instrument"));

    // The generator's settings: written as the profile says, after the data and before the
    // check; one the profile does not define is refused before anything is sent.
    const Run set =
        wavewright({"send", wave, "--profile", "arb-dac-16bit-block", "--frequency", "1000",
                    "--amplitude", "2.5", "--offset", "-0.1", "--output", "on", "--dry-run"});
    QCOMPARE(set.code, 0);
    QVERIFY2(set.out.endsWith("SOUR1:FUNC ARB\nSOUR1:FUNC:ARB:SRAT 300000\nSOUR1:VOLT 2.5\n"
                              "SOUR1:VOLT:OFFS -0.1\nOUTP1 ON\nSYST:ERR?\n"),
             set.out.right(120).constData());
    const qint64 quiet = g.bytesReceived();
    const Run noOutput = wavewright({"send", wave, "--port", g.address(), "--profile",
                                     "dac-volatile-12bit-block", "--output", "on"});
    QCOMPARE(noOutput.code, 2);
    QVERIFY(noOutput.err.contains("does not say how to set the output on"));
    QCOMPARE(g.bytesReceived(), quiet);
    QCOMPARE(wavewright({"send", wave, "--frequency", "1000"}).code, 2); // no profile
    QCOMPARE(wavewright({"send", wave, "--profile", "arb-dac-16bit-block", "--frequency", "1,5",
                         "--dry-run"})
                 .code,
             2);
    // Sent for real, and the virtual instrument took them.
    const Run levels =
        wavewright({"send", wave, "--port", g.address(), "--profile", "arb-dac-16bit-block",
                    "--sample-rate", "1e6", "--amplitude", "3"});
    QVERIFY2(levels.code == 0, levels.err.constData());
    QCOMPARE(g.settings().sampleRate, std::optional<double>(1e6));
    QCOMPARE(g.settings().amplitude, std::optional<double>(3.0));

    // An address that refuses: named once in the one line that says so.
    virt::VirtualScpiGenerator closed;
    const QByteArray closedAddress = closed.address().toUtf8();
    closed.stopListening();
    const Run refusedLine =
        wavewright({"send", wave, "--port", closed.address(), "--profile", "arb-dac-16bit-block"});
    QCOMPARE(refusedLine.code, 1);
    QVERIFY2(refusedLine.err.contains("the connection was refused") &&
                 refusedLine.err.count(closedAddress) == 1,
             refusedLine.err.constData());

    // Every command in the help; verify's lines may be addresses.
    const Run help = wavewright({"--help"});
    for (const char* command :
         {"send", "capture", "convert", "ports", "expr", "spectrum", "compare", "verify"})
        QVERIFY2(help.out.contains(command), command);
    const Run verifyHelp = wavewright({"verify", "--help"});
    QVERIFY(verifyHelp.out.count("tcp://HOST[:PORT]") >= 2 &&
            verifyHelp.out.count("usbtmc:///dev/usbtmcN") >= 2);
}

void TestCli::lockFiles() {
    // What another program may leave at the port's lock path (/run/lock is writable by every
    // user): each is said for what it is, at once; a pipe no longer keeps the opening waiting.
    const QString folder = QFileInfo(QStringLiteral("/run/lock")).canonicalFilePath();
    if (folder.isEmpty() || ::access(QFile::encodeName(folder).constData(), W_OK) != 0)
        QSKIP("the lock folder is not writable here");
    QTemporaryDir dir;
    const QString good = documentedFile(dir, 300);
    VirtualGenerator g;
    const QString lock = folder + "/LCK.." + g.devicePath().mid(5).replace('/', '_');
    QCOMPARE(lockFilesOf(g.devicePath()).value(0), "/var/lock/LCK.." + lock.section("LCK..", 1));
    struct Remove {
        QString path;
        void now() const {
            ::unlink(QFile::encodeName(path).constData());
            ::rmdir(QFile::encodeName(path).constData());
        }
        ~Remove() { now(); }
    } cleanup{lock};
    const QByteArray local = QFile::encodeName(lock);
    struct Case {
        std::function<void()> make;
        QString says;
    } cases[] = {
        {[&] { ::mkfifo(local.constData(), 0666); }, "is a pipe, not a lock file"},
        {[&] { ::mkdir(local.constData(), 0755); }, "is a folder, not a lock file"},
        {[&] { ::symlink("/run/lock/wavewright-nothing", local.constData()); },
         "is a link to nothing"},
        {[&] { writeFile(dir, "empty", ""), QFile::copy(dir.filePath("empty"), lock); },
         "is empty"},
        {[&] { QFile::copy(writeFile(dir, "words", "hello\n"), lock); }, "names no process"},
        {[&] {
             QFile::copy(writeFile(dir, "mine",
                                   QByteArray::number(QCoreApplication::applicationPid()) +
                                       "\ntest\nhost\n"),
                         lock);
         },
         QString("it is in use by %1 (process %2).")
             .arg(QFileInfo(QCoreApplication::applicationFilePath()).fileName().left(15))
             .arg(QCoreApplication::applicationPid())},
    };
    for (const Case& c : cases) {
        cleanup.now();
        c.make();
        QElapsedTimer t;
        t.start();
        const Run r = wavewright({"send", good, "--port", g.devicePath()});
        QVERIFY2(r.code == 1 && QString(r.err).contains(c.says), r.err.constData());
        QVERIFY(QString(r.err).contains("/LCK.." + lock.section("LCK..", 1)) ||
                c.says.startsWith("it is in use"));
        QVERIFY(t.elapsed() < 20'000);
        QCOMPARE(deviceProblem(g.devicePath()).isEmpty(), false);
    }
    QVERIFY(g.lines().isEmpty());
    // A lock left by a process that is gone is stale: the opening clears it, and the upload
    // goes through.
    cleanup.now();
    QProcess gone;
    gone.start("/bin/sleep", {"0.05"});
    QVERIFY(gone.waitForStarted());
    const qint64 pid = gone.processId();
    QVERIFY(gone.waitForFinished());
    QFile::copy(writeFile(dir, "stale", QByteArray::number(pid) + "\n"), lock);
    QCOMPARE(deviceProblem(g.devicePath()), QString());
    QCOMPARE(wavewright({"send", good, "--port", g.devicePath(), "--quiet"}).code, 0);

    // A port held through another name (a by-id link) is in use by that name as well.
    cleanup.now();
    const QString byId = dir.filePath("usb-Virtual_Generator-if00");
    QVERIFY(QFile::link(g.devicePath(), byId));
    QSerialPort held(byId);
    QVERIFY(held.open(QIODevice::ReadWrite));
    QVERIFY2(deviceProblem(byId).startsWith("in use by"), qPrintable(deviceProblem(byId)));
    held.close();
    QCOMPARE(deviceProblem(byId), QString());
}

void TestCli::verifyAndCompare() {
    QTemporaryDir dir;
    // A triangle of 4000 samples, sent to the demo's bench and read back as the oscilloscope
    // shows it: three periods, 40 degrees on, at 0.8 with an offset, noise at -40 dB.
    WaveStore triangle;
    triangle.ArbLength = 4000;
    makeTriangle(triangle);
    const QString file = dir.filePath("triangle.txt");
    QVERIFY(writeWaveFile(file, "4000", triangle).isEmpty());
    virt::VirtualBench bench;
    bench.oscilloscope().screen = {3.0, 40, 0.8, 0.05, 0, 0.01, 7};
    const Run good = wavewright({"verify", file, "--generator", bench.devicePath(), "--quiet"});
    QCOMPARE(good.code, 0);
    const QList<QByteArray> lines = good.out.trimmed().split('\n');
    QCOMPARE(lines.size(), 12);
    // Each figure on its own line, "name: value"; NaN where the name is not the one due.
    auto figure = [&](int i, const char* name) {
        const QByteArray head = QByteArray(name) + ": ";
        return lines[i].startsWith(head) ? lines[i].mid(head.size()).split(' ').first().toDouble()
                                         : std::nan("");
    };
    QVERIFY2(std::abs(figure(0, "periods") - 3.0) < 0.005, good.out.constData());
    QVERIFY2(std::abs(figure(1, "phase") - 40.0) < 0.5, good.out.constData());
    QVERIFY2(std::abs(figure(2, "gain") - 0.8) < 0.01, good.out.constData());
    QVERIFY2(std::abs(figure(3, "offset") - 0.05) < 0.01, good.out.constData());
    QCOMPARE(lines.last(), QByteArray("verdict: match"));

    // Line 3 garbled on the way: samples 256..383 are wrong, and said to be.
    bench.generator().script.corruptBlock = 3;
    const Run bad = wavewright({"verify", file, "--generator", bench.devicePath(), "--quiet"});
    QCOMPARE(bad.code, 1);
    QVERIFY(bad.out.endsWith("verdict: mismatch\n"));
    int from = -1, to = -1;
    for (const QByteArray& line : bad.out.split('\n'))
        if (line.startsWith("worst: samples "))
            std::sscanf(line.constData(), "worst: samples %d..%d", &from, &to);
    QVERIFY2(from >= 0 && from <= 256 && to >= 383 && to - from < 600, bad.out.constData());
    // A looser tolerance does not hide a garbled line.
    QCOMPARE(wavewright({"verify", file, "--generator", bench.devicePath(), "--quiet",
                         "--tolerance", "20"})
                 .code,
             1);

    // A failure is not a mismatch: it says which step failed.
    VirtualGenerator silent;
    silent.script.silentFromLine = 0;
    const Run failed = wavewright({"verify", file, "--generator", silent.devicePath(), "--scope",
                                   bench.devicePath(), "--time-scale", "20", "--quiet"});
    QCOMPARE(failed.code, 1);
    QVERIFY(failed.err.contains("the upload failed, so nothing was compared"));
    QVERIFY(failed.out.isEmpty());

    // compare: the same judgement from two files, the capture as a table of numbers.
    const QByteArray codes = virt::VirtualOscilloscope::curveFromSamples(
        QVector<float>(triangle.ArbData.begin(), triangle.ArbData.begin() + 4000),
        {2.5, 0, -0.7, 0, 0, 0.01, 3});
    QByteArray table = "t,volts\n";
    for (int i = 0; i < codes.size(); ++i)
        table += QByteArray::number(i) + ',' +
                 QByteArray::number(tdsSample(static_cast<unsigned char>(codes[i])) * 5.0) + '\n';
    const QString captured = writeFile(dir, "scope.csv", table);
    const Run compared = wavewright({"compare", file, captured});
    QVERIFY2(compared.code == 0, compared.out + compared.err);
    QVERIFY2(std::abs(compared.out.mid(9, 6).toDouble() - 2.5) < 0.005, compared.out.constData());
    QVERIFY(compared.out.contains("verdict: match"));
    // No signal on the channel: refused, and why.
    const Run flat = wavewright(
        {"compare", file,
         writeFile(dir, "flat.csv", "1\n1\n1\n1\n1\n1\n1\n1\n1\n1\n1\n1\n1\n1\n1\n1\n1\n")});
    QCOMPARE(flat.code, 1);
    QVERIFY(flat.err.contains("flat"));
    QCOMPARE(wavewright({"compare", file, captured, "--tolerance", "0"}).code, 2);
    // A file compared with itself: phase 0, a match; --quiet says nothing of what was
    // understood of it, as verify's does.
    const Run itself = wavewright({"compare", captured, captured});
    QVERIFY2(itself.out.contains("phase: 0.00 deg\n"), itself.out.constData());
    QVERIFY(itself.err.contains("column"));
    const Run quietly = wavewright({"compare", captured, captured, "--quiet"});
    QCOMPARE(quietly.code, 0);
    QCOMPARE(quietly.err, QByteArray());
}

#include "test_cli.moc"
