// The line of an address: a raw socket to a SCPI generator, loaded through each shipped
// profile end to end, the faults of the socket, and the two exchanges of the serial line run
// through a serial device server.
#include "cli/commandline.h"
#include "instruments/generatorupload.h"
#include "instruments/profile.h"
#include "instruments/scopecapture.h"
#include "instruments/scpiupload.h"
#include "instruments/tdsexchange.h"
#include "lines/clock.h"
#include "lines/lineregistry.h"
#include "lines/probe.h"
#include "lines/seriallink.h"
#include "lines/tcpline.h"
#include "lines/usbtmcline.h"
#include "testfiles.h"
#include "virtualgenerator.h"
#include "virtualoscilloscope.h"
#include "virtualscpi.h"
#include "virtualscpiscope.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QSerialPort>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <arpa/inet.h>
#include <cmath>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ww;

namespace {
// A serial device server (as ser2net offers a line): each connection relayed byte for byte
// to a serial port.
class DeviceServer : public QObject {
  public:
    explicit DeviceServer(const QString& device) : m_port(device) {
        m_port.open(QIODevice::ReadWrite);
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* socket = m_server.nextPendingConnection();
            m_client = socket;
            connect(socket, &QTcpSocket::readyRead, this,
                    [this, socket] { m_port.write(socket->readAll()); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        });
        connect(&m_port, &QSerialPort::readyRead, this, [this] {
            const QByteArray bytes = m_port.readAll();
            if (m_client)
                m_client->write(bytes);
        });
    }
    QString address() const {
        return QStringLiteral("tcp://127.0.0.1:%1").arg(m_server.serverPort());
    }

  private:
    QSerialPort m_port; // the line stays open, as a device server keeps it
    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
};

std::vector<float> lopsided(int n) {
    std::vector<float> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        v[i] =
            static_cast<float>(0.7 * std::sin(2 * M_PI * i / n) + 0.2 * std::cos(6 * M_PI * i / n));
    return v;
}

struct Run {
    bool done = false;
    QString failure, answer;
};

Run upload(const QString& address, const Profile& profile, const std::vector<float>& samples,
           int timeoutsMs = 10000, const GeneratorSettings& generator = {}) {
    PortMap ports;
    ports.setDevice(1, address);
    SerialSettings settings;
    SystemClock clock;
    SerialLink link(ports);
    link.setConnectTimeout(timeoutsMs);
    ScpiUpload u(link, settings, clock);
    u.stallMs = u.answerMs = timeoutsMs;
    Run r;
    QObject::connect(&u, &Exchange::failed,
                     [&](const QString& text, const QString&, BoxIcon) { r.failure = text; });
    QObject::connect(&u, &ScpiUpload::succeeded, [&](const QString& a) {
        r.done = true;
        r.answer = a;
    });
    u.start(profile, samples, QStringLiteral("WAVE1"), generator);
    QElapsedTimer waited;
    waited.start();
    while (u.running() && waited.elapsed() < 30000)
        QTest::qWait(5);
    if (u.running())
        r.failure = QStringLiteral("still running after 30 s");
    return r;
}
struct ScopeRun {
    bool done = false;
    QString failure;
    ScopeTrace trace;
    int failures = 0;
};

ScopeRun captureFrom(const QString& address, const ScopeProfile& profile, const QString& source,
                     int stallMs = 10000) {
    PortMap ports;
    ports.setDevice(1, address);
    ports.setName(1, address);
    SerialSettings settings;
    SystemClock clock;
    SerialLink link(ports);
    ScopeCapture c(link, settings, clock);
    c.stallMs = stallMs;
    c.lineName = ports.describe(1);
    ScopeRun r;
    QObject::connect(&c, &Exchange::failed, [&](const QString& text, const QString&, BoxIcon) {
        r.failure = text;
        ++r.failures;
    });
    QObject::connect(&c, &ScopeCapture::captured, [&](const ScopeTrace& t) {
        r.trace = t;
        r.done = true;
    });
    c.start(profile, source);
    QElapsedTimer waited;
    waited.start();
    while (c.running() && waited.elapsed() < 30000)
        QTest::qWait(2);
    if (c.running())
        r.failure = QStringLiteral("still running after 30 s");
    return r;
}
} // namespace

class TestScpi : public QObject {
    Q_OBJECT
  private slots:
    void addresses();
    void everyShippedProfile();
    void faultsOfTheSocket();
    void serialExchangesThroughADeviceServer();
    void usbtmcMessages();
    void onlyWhatTheInstrumentTookCounts();
    void slowAndStalledInstruments();
    void theErrorQueue();
    void generatorDestroyedWithClients();
    void everyOscilloscopeForm();
    void hostileOscilloscopes();
};

void TestScpi::addresses() {
    QString host;
    quint16 port = 0;
    QVERIFY(parseTcpAddress("tcp://192.168.1.20", host, port));
    QCOMPARE(host, QString("192.168.1.20"));
    QCOMPARE(port, quint16(5025));
    QVERIFY(parseTcpAddress("tcp://scope.lab:3001", host, port) && port == 3001);
    QVERIFY(parseTcpAddress("tcp://[::1]:5025", host, port) && host == "::1");
    for (const char* bad : {"tcp://", "tcp://host:0", "tcp://host:70000", "tcp://host/path",
                            "udp://host", "/dev/ttyS0", "tcp://user@host"})
        QVERIFY2(!parseTcpAddress(bad, host, port), bad);

    // Every kind of line the registry knows: a good address of it is its own, described and
    // accepted by the command line; a bad one is claimed by its scheme and refused with the
    // address named. A kind added without a case here fails the first comparison.
    struct Case {
        QString kind, good;
        QStringList bad;
    };
    const QList<Case> cases = {
        {"tcp", "tcp://127.0.0.1:5025", {"tcp://", "tcp://h:70000", "tcp://h/x", "tcp://u@h"}},
        {"usbtmc", "usbtmc:///dev/usbtmc3", {"usbtmc://dev/usbtmc3", "usbtmc://"}},
        {"serial", "/dev/ttyUSB9", {"ttyUSB9", "COM7"}},
    };
    QCOMPARE(lineKinds().size(), cases.size());
    for (int i = 0; i < cases.size(); ++i) {
        const LineKind& k = lineKinds()[i];
        const Case& c = cases[i];
        QCOMPARE(k.name, c.kind);
        QCOMPARE(lineKindOf(c.good), &k);
        QVERIFY2(addressProblem(c.good).isEmpty(), qPrintable(c.good));
        QVERIFY(!k.describe(c.good).isEmpty());
        const std::unique_ptr<Transport> made = k.make({c.good, c.good, {}}, {});
        QVERIFY(made && !made->isOpen());
        QVERIFY(addressForms().contains(k.form) || !k.form.contains("://"));
        PortMap ports;
        int com = 0;
        QVERIFY(cli::resolvePort(c.good, ports, com));
        QCOMPARE(ports.device(com), c.good);
        for (const QString& bad : c.bad) {
            QCOMPARE(lineKindOf(bad), &k);
            QVERIFY2(addressProblem(bad).contains(bad), qPrintable(addressProblem(bad)));
            QVERIFY2(!cli::resolvePort(bad, ports, com), qPrintable(bad));
        }
    }
    // The bare device path of a USB instrument is one; a scheme nobody knows is refused with
    // the schemes there are, by the line of a COM number too.
    QCOMPARE(lineKindOf("/dev/usbtmc2")->name, QString("usbtmc"));
    QCOMPARE(lineKindOf("udp://h"), nullptr);
    QCOMPARE(addressProblem("udp://h"), QString("not an address this program can use "
                                                "(tcp://HOST[:PORT] or usbtmc:///dev/usbtmcN)"));
    PortMap unknown;
    unknown.setDevice(1, "udp://h");
    SerialLink link(unknown);
    QCOMPARE(link.open(1, "9600,n,8,1"),
             QString("Cannot open COM1 (udp://h): not an address this program can use "
                     "(tcp://HOST[:PORT] or usbtmc:///dev/usbtmcN)."));
    QVERIFY(!lineKindOf("tcp://h")->hasLineSettings &&
            !lineKindOf("/dev/usbtmc1")->hasLineSettings);

    // What the USB kind finds: the message devices in the folder, not a plain file of the
    // name, each an address of its own kind; the Devices dialog lists them after the ports.
    QTemporaryDir dev;
    for (const char* name : {"usbtmc2", "usbtmc10", "ttyS9"})
        QCOMPARE(::mkfifo(QFile::encodeName(dev.filePath(name)).constData(), 0600), 0);
    QFile plain(dev.filePath("usbtmc-notes"));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    const QStringList found = usbtmcDevicesIn(dev.path());
    QCOMPARE(found, QStringList({"usbtmc://" + dev.filePath("usbtmc10"),
                                 "usbtmc://" + dev.filePath("usbtmc2")}));
    for (const QString& a : found)
        QVERIFY(lineKindOf(a)->name == "usbtmc" && addressProblem(a).isEmpty());
    QVERIFY(detectedLines().size() >= systemPorts().size());
}

void TestScpi::everyShippedProfile() {
    // Each profile's form, understood by the virtual generator: the waveform it keeps is the
    // one sent, within a code of the profile, and it is the one chosen for output; then the
    // frequency, level and output as the profile sets them.
    for (const QString& name : profileNames()) {
        const ProfileReading p = findProfile(name);
        QVERIFY(p.error.isEmpty());
        virt::VirtualScpiGenerator generator;
        generator.script.dacBits = p.profile.codeHigh == 2047 ? 12 : 14;
        const std::vector<float> samples = lopsided(nearestPoints(p.profile, 1000));
        GeneratorSettings settings;
        settings.frequency = 1250.0;
        settings.amplitude = 2.5;
        settings.offset = -0.125;
        if (!p.profile.outputOn.isEmpty())
            settings.output = true;
        const Run r = upload(generator.address(), p.profile, samples, 10000, settings);
        QVERIFY2(r.done, qPrintable(name + ": " + r.failure));
        if (p.profile.check.isEmpty())
            QCOMPARE(r.answer, QString()); // taken whole, nothing asked
        else
            QVERIFY(checkSaysNoError(r.answer.toUtf8()));
        QVERIFY2(generator.errors().isEmpty(),
                 qPrintable(name + ": " + generator.errors().join(QLatin1Char(';'))));
        const auto& set = generator.settings();
        if (p.profile.frequency.contains("{rate}"))
            QCOMPARE(set.sampleRate, std::optional<double>(1250.0 * samples.size()));
        else
            QCOMPARE(set.frequency, std::optional<double>(1250.0));
        QCOMPARE(set.amplitude, std::optional<double>(2.5));
        QCOMPARE(set.offset, std::optional<double>(-0.125));
        QCOMPARE(set.output, settings.output);
        const QString kept = generator.selected();
        QVERIFY2(!kept.isEmpty(), qPrintable(name));
        const auto& wave = generator.waveforms()[kept];
        QCOMPARE(wave.count(), static_cast<int>(samples.size()));
        const double step =
            p.profile.hasCodes ? 2.0 / std::abs(p.profile.codeHigh - p.profile.codeLow) : 1e-6;
        for (std::size_t i = 0; i < samples.size(); ++i)
            QVERIFY2(std::abs(wave.samples[static_cast<int>(i)] - samples[i]) <= step * 0.51 + 1e-7,
                     qPrintable(QStringLiteral("%1: sample %2").arg(name).arg(i)));
    }
}

void TestScpi::faultsOfTheSocket() {
    const Profile profile = findProfile("arb-dac-16bit-block").profile;
    const std::vector<float> samples = lopsided(16000);
    // Each fault: one message naming the address, the line closed, nothing left running.
    {
        virt::VirtualScpiGenerator g;
        const QString address = g.address();
        g.stopListening();
        const Run r = upload(address, profile, samples, 2000);
        QVERIFY(!r.done);
        QVERIFY2(r.failure.contains(address) && r.failure.contains("refused"),
                 qPrintable(r.failure));
        QCOMPARE(r.failure.count(address), 1);
    }
    {
        virt::VirtualScpiGenerator g;
        g.script.refuse = true; // accepts, then drops the connection at once
        const Run r = upload(g.address(), profile, samples, 2000);
        QVERIFY2(!r.done && r.failure.contains(g.address()), qPrintable(r.failure));
    }
    {
        virt::VirtualScpiGenerator g;
        g.script.closeAfterBytes = 5000; // in the middle of the block
        const Run r = upload(g.address(), profile, samples, 2000);
        QVERIFY2(!r.done && r.failure.contains("closed the connection"), qPrintable(r.failure));
    }
    {
        virt::VirtualScpiGenerator g;
        g.script.stall = true; // reads nothing: the block waits, or the answer never comes
        const Run r = upload(g.address(), profile, lopsided(65536 / 8), 600);
        QVERIFY2(!r.done && (r.failure.startsWith("Nothing was taken for 0.6 s") ||
                             r.failure.startsWith("No answer to SYST:ERR?")),
                 qPrintable(r.failure));
    }
    {
        virt::VirtualScpiGenerator g;
        g.script.errorAnswer = "-222,\"Data out of range\"";
        const Run r = upload(g.address(), profile, samples, 2000);
        QCOMPARE(r.failure,
                 QString("The instrument reported an error: -222,\"Data out of range\""));
    }
    {
        virt::VirtualScpiGenerator g;
        g.script.readBytesPer10Ms = 4096; // slow, but it all goes
        const Run r = upload(g.address(), profile, samples, 5000);
        QVERIFY2(r.done, qPrintable(r.failure));
        QCOMPARE(g.waveforms()["WAVE1"].count(), 16000);
    }
    {
        // A count the instrument does not take is refused before the line opens.
        virt::VirtualScpiGenerator g;
        const Run r = upload(g.address(), profile, lopsided(4), 2000);
        QVERIFY(r.failure.contains("it takes 8 to 65536 points, not 4"));
        QCOMPARE(g.bytesReceived(), 0);
    }
    {
        // A host that does not answer: a listening socket whose queue is full drops the
        // connection's first packet, as a host gone from the network does. The time-out,
        // with the address.
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QCOMPARE(::bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
        QCOMPARE(::listen(listener, 0), 0);
        socklen_t size = sizeof at;
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&at), &size);
        std::vector<int> fillers;
        for (int k = 0; k < 4; ++k) {
            const int f = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(f, reinterpret_cast<sockaddr*>(&at), sizeof at);
            fillers.push_back(f);
        }
        QTest::qWait(100);
        const QString address = QStringLiteral("tcp://127.0.0.1:%1").arg(ntohs(at.sin_port));
        QElapsedTimer took;
        took.start();
        const Run r = upload(address, profile, samples, 500);
        QVERIFY2(!r.done && r.failure.contains("did not answer within 0.5 s"),
                 qPrintable(r.failure));
        QCOMPARE(r.failure.count(address), 1); // named once
        QVERIFY(took.elapsed() < 5000);
        for (const int f : fillers)
            ::close(f);
        ::close(listener);
    }
}

void TestScpi::serialExchangesThroughADeviceServer() {
    // The generator's lines and the oscilloscope's commands, unchanged, through a raw socket
    // to a serial device server in front of each instrument.
    virt::VirtualGenerator generator;
    DeviceServer toGenerator(generator.devicePath());
    PortMap ports;
    ports.setDevice(1, toGenerator.address());
    SerialSettings settings;
    SystemClock clock;
    SerialLink link(ports);
    GeneratorUpload up(link, settings, clock);
    up.completionPauseMs = 0;
    WaveStore store;
    store.ArbLength = 300;
    for (int i = 0; i <= 300; ++i)
        store.ArbData[i] = static_cast<float>(std::sin(2 * M_PI * i / 300));
    QSignalSpy failed(&up, &Exchange::failed);
    up.start(store);
    QTRY_VERIFY_WITH_TIMEOUT(!up.running(), 20000);
    QCOMPARE(failed.count(), 0);
    QVERIFY(generator.waveforms().value(1).complete());
    QCOMPARE(generator.waveforms().value(1).length, 300);
    QCOMPARE(generator.formatErrors(), QStringList());

    virt::VirtualOscilloscope scope;
    DeviceServer toScope(scope.devicePath());
    ports.setDevice(1, toScope.address());
    SerialLink scopeLink(ports); // each exchange has a line of its own, as in the window
    TdsExchange tds(scopeLink, settings, clock);
    std::vector<float> curve;
    QString tdsFailure;
    QObject::connect(&tds, &Exchange::failed,
                     [&](const QString& text, const QString&, BoxIcon) { tdsFailure = text; });
    QObject::connect(&tds, &TdsExchange::dataTaken,
                     [&](const std::vector<float>& s) { curve = s; });
    tds.TDS_Link();
    QTRY_VERIFY2_WITH_TIMEOUT(tds.TdsDone, qPrintable(tdsFailure), 10000);
    tds.Command_TDS_Click();
    tds.TDS_Readdata();
    QTRY_VERIFY_WITH_TIMEOUT(tds.TdsDone, 10000);
    tds.Command_TDS_Click();
    QCOMPARE(curve.size(), std::size_t(2500));
    QCOMPARE(curve[0], tdsSample(static_cast<unsigned char>(scope.curve("CH1")[0])));
}

void TestScpi::usbtmcMessages() {
    // The USBTMC line over a socket pair that keeps each message whole, as the driver does: an
    // instrument at the other end that answers each message asking.
    int pair[2];
    QCOMPARE(::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, pair), 0);
    QList<QByteArray> messages;
    QSocketNotifier instrument(pair[1], QSocketNotifier::Read);
    QByteArray curve(2500, '\0');
    for (int i = 0; i < 2500; ++i)
        curve[i] = static_cast<char>(i % 256);
    QObject::connect(&instrument, &QSocketNotifier::activated, [&] {
        QByteArray m(1 << 20, '\0');
        const ssize_t n = ::recv(pair[1], m.data(), static_cast<std::size_t>(m.size()), 0);
        if (n <= 0)
            return;
        m.truncate(n);
        messages << m;
        QByteArray answer;
        if (m.startsWith("*IDN?"))
            answer = "VIRTUAL,USBTMC,0,1\n";
        else if (m.contains("CURVe?"))
            answer = "#42500" + curve + "\n";
        else if (m.startsWith("SYST:ERR?"))
            answer = "+0,\"No error\"\n";
        if (!answer.isEmpty())
            ::send(pair[1], answer.constData(), static_cast<std::size_t>(answer.size()), 0);
    });
    PortMap ports;
    ports.setDevice(1, "usbtmc:///dev/usbtmc7");
    SerialSettings settings;
    SystemClock clock;
    SerialLink link(ports);
    QByteArray opened;
    link.hooks.openUsbDevice = [&](const QByteArray& path, QString&) {
        opened = path;
        return ::dup(pair[0]);
    };

    // The upload through a profile: each line its own message, the check answered.
    const Profile profile = findProfile("arb-dac-16bit-block").profile;
    const std::vector<float> samples = lopsided(1000);
    ScpiUpload up(link, settings, clock);
    bool done = false;
    QString failure;
    QObject::connect(&up, &ScpiUpload::succeeded, [&] { done = true; });
    QObject::connect(&up, &Exchange::failed,
                     [&](const QString& t, const QString&, BoxIcon) { failure = t; });
    up.start(profile, samples, "WAVE1");
    QTRY_VERIFY2(done, qPrintable(failure));
    QCOMPARE(opened, QByteArray("/dev/usbtmc7"));
    QCOMPARE(messages, uploadLines(profile, samples, "WAVE1"));

    // The oscilloscope's link and read: the identification, then the curve of one read.
    messages.clear();
    TdsExchange tds(link, settings, clock);
    std::vector<float> got;
    QObject::connect(&tds, &TdsExchange::dataTaken, [&](const std::vector<float>& s) { got = s; });
    QString tdsFailure;
    QObject::connect(&tds, &Exchange::failed,
                     [&](const QString& t, const QString&, BoxIcon) { tdsFailure = t; });
    tds.TDS_Link();
    QTRY_VERIFY2(tds.TdsDone, qPrintable(tdsFailure + " " + messages.join("|")));
    tds.Command_TDS_Click();
    tds.TDS_Readdata();
    QTRY_VERIFY(tds.TdsDone);
    tds.Command_TDS_Click();
    QCOMPARE(got.size(), std::size_t(2500));
    QCOMPARE(got[300], tdsSample(300 % 256));
    QCOMPARE(messages.first(), QByteArray("*IDN?\n"));

    // The Devices dialog's probe asks a USB instrument too; a serial port it only describes,
    // sending it nothing.
    AddressProbe probe;
    probe.hooks.openUsbDevice = [&](const QByteArray&, QString&) { return ::dup(pair[0]); };
    QList<QStringList> said;
    QObject::connect(&probe, &AddressProbe::said, [&](const QString& a, bool r, const QString& t) {
        said << QStringList{a, r ? "yes" : "no", t};
    });
    messages.clear();
    probe.probe("usbtmc:///dev/usbtmc7");
    QTRY_COMPARE(said.size(), 1);
    QCOMPARE(said[0],
             QStringList({"usbtmc:///dev/usbtmc7", "yes", "reachable: VIRTUAL,USBTMC,0,1"}));
    QCOMPARE(messages, QList<QByteArray>{"*IDN?\n"});
    probe.probe("/dev/wavewright-no-port");
    QCOMPARE(said.size(), 2);
    QCOMPARE(said[1], QStringList({"/dev/wavewright-no-port", "yes", "not connected"}));
    probe.probe("udp://h");
    QCOMPARE(said[2][1], QString("no"));

    // The instrument gone: the exchange fails once, the device named.
    ::close(pair[1]);
    instrument.setEnabled(false);
    ScpiUpload again(link, settings, clock);
    QString gone;
    QObject::connect(&again, &Exchange::failed,
                     [&](const QString& t, const QString&, BoxIcon) { gone = t; });
    again.start(profile, samples, "WAVE1");
    QTRY_VERIFY(!again.running());
    QVERIFY2(gone.startsWith("The device /dev/usbtmc7 failed: "), qPrintable(gone));
    ::close(pair[0]);

    // A device that is not there, by either form of its name.
    PortMap missing;
    missing.setDevice(1, "usbtmc:///dev/usbtmc-none");
    missing.setDevice(2, "/dev/usbtmc-none");
    SerialLink none(missing);
    QVERIFY(none.open(1, "9600,n,8,1").contains("/dev/usbtmc-none: No such file or directory"));
    QVERIFY(none.open(2, "9600,n,8,1").contains("/dev/usbtmc-none: No such file or directory"));
    QCOMPARE(usbtmcPath("usbtmc:///dev/usbtmc0"), QString("/dev/usbtmc0"));
    QCOMPARE(usbtmcPath("/dev/usbtmc3"), QString("/dev/usbtmc3"));
    QCOMPARE(usbtmcPath("/dev/ttyUSB0"), QString());
}

void TestScpi::onlyWhatTheInstrumentTookCounts() {
    const Profile profile = findProfile("arb-dac-16bit-block").profile;
    const std::vector<float> samples = lopsided(16000);
    {
        // An answer out of turn, as soon as the first bytes came (or a device server's buffer
        // spoke): the upload goes on, and succeeds only once every byte was taken.
        virt::VirtualScpiGenerator g;
        g.script.earlyAnswer = "+0,\"No error\"";
        g.setReceiveBuffer(4096);
        g.script.readBytesPer10Ms = 800; // 80 kB/s: 32 kB take 0.4 s
        qint64 total = 0;
        for (const QByteArray& l : uploadLines(profile, samples, "WAVE1"))
            total += l.size();
        const Run r = upload(g.address(), profile, samples);
        QVERIFY2(r.done, qPrintable(r.failure));
        QCOMPARE(g.bytesReceived(), total);
        QCOMPARE(g.waveforms()["WAVE1"].count(), 16000);
        QCOMPARE(g.selected(), QString("WAVE1"));
    }
    {
        // An answer that ends in CR alone is an answer.
        virt::VirtualScpiGenerator g;
        g.script.answerEnd = "\r";
        const Run r = upload(g.address(), profile, samples, 2000);
        QVERIFY2(r.done, qPrintable(r.failure));
        QCOMPARE(r.answer, QString("+0,\"No error\""));
    }
    {
        // A profile that asks nothing: done when every byte is taken, and says it was not
        // confirmed.
        Profile quiet = profile;
        quiet.check.clear();
        virt::VirtualScpiGenerator g;
        g.setReceiveBuffer(4096);
        g.script.readBytesPer10Ms = 800;
        const Run r = upload(g.address(), quiet, samples);
        QVERIFY2(r.done, qPrintable(r.failure));
        QCOMPARE(r.answer, QString());
        // Taken is acknowledged: what sits in the instrument's buffer is read soon after.
        QTRY_COMPARE(g.waveforms()["WAVE1"].count(), 16000);
        QCOMPARE(ScpiUpload::unconfirmedText(32113),
                 QString("all 32113 bytes were taken; the profile asks for no confirmation"));
    }
}

void TestScpi::slowAndStalledInstruments() {
    const Profile values = findProfile("arb-float-values").profile;
    std::vector<float> samples(16000);
    for (std::size_t i = 0; i < samples.size(); ++i) // twelve characters a value, about 194 kB
        samples[i] = static_cast<float>(std::sin(0.001 * (i + 1)) * 0.123456789 + 0.3);
    {
        // An instrument with a 4 kB buffer reading 4000 B/s: 2 s in, Cancel leaves it with
        // less than half and no line after the data; the bar showed what it took.
        virt::VirtualScpiGenerator g;
        g.setReceiveBuffer(4096);
        g.script.readBytesPer10Ms = 40;
        PortMap ports;
        ports.setDevice(1, g.address());
        SerialSettings settings;
        SystemClock clock;
        SerialLink link(ports);
        ScpiUpload u(link, settings, clock);
        qint64 shown = 0;
        QObject::connect(&u, &ScpiUpload::progressChanged,
                         [&](qint64 taken, qint64) { shown = taken; });
        u.start(values, samples, "WAVE1");
        QTest::qWait(2000);
        QVERIFY(u.running());
        QVERIFY2(shown > 0 && shown < 40000, qPrintable(QString::number(shown)));
        u.cancel();
        QVERIFY(!u.running());
        QTest::qWait(500);
        QVERIFY2(g.bytesReceived() < u.total() / 2,
                 qPrintable(QStringLiteral("%1 of %2").arg(g.bytesReceived()).arg(u.total())));
        for (const QByteArray& c : g.commands())
            QVERIFY2(!c.startsWith("SOUR1:FUNC"), c.constData());
    }
    {
        // A slow instrument that gets it all: the answer's time runs from the last byte it
        // took, not from the moment the system took the last byte from the program.
        virt::VirtualScpiGenerator g;
        g.setReceiveBuffer(4096);
        g.script.readBytesPer10Ms = 100; // 10 kB/s: the 32 kB block takes 3 s
        const Profile block = findProfile("arb-dac-16bit-block").profile;
        const Run r = upload(g.address(), block, lopsided(16000), 1500);
        QVERIFY2(r.done, qPrintable(r.failure));
    }
    {
        // A peer that reads nothing: a stall of what the instrument took, said with how much.
        virt::VirtualScpiGenerator g;
        g.script.stall = true;
        g.setReceiveBuffer(4096);
        const Run r = upload(g.address(), values, samples, 600);
        QVERIFY2(r.failure.startsWith("Nothing was taken for 0.6 s: the instrument stopped "
                                      "reading ("),
                 qPrintable(r.failure));
        const qint64 taken = r.failure.section('(', 1).section(' ', 0, 0).toLongLong();
        QVERIFY2(taken < 100000, qPrintable(r.failure));
    }
}

void TestScpi::theErrorQueue() {
    const Profile profile = findProfile("arb-dac-16bit-block").profile;
    {
        // An error an earlier session left is cleared first, not taken for this upload's.
        virt::VirtualScpiGenerator g;
        g.raiseError(-410, "Query INTERRUPTED");
        const Run r = upload(g.address(), profile, lopsided(1000), 2000);
        QVERIFY2(r.done, qPrintable(r.failure));
    }
    {
        // Two errors of the upload: both read and reported.
        virt::VirtualScpiGenerator g;
        g.script.maxPoints = 500;
        Profile twice = profile;
        twice.after = {"SOUR1:NOSUCH"};
        const Run r = upload(g.address(), twice, lopsided(1000), 2000);
        QCOMPARE(r.failure, QString("The instrument reported 2 errors: -222,\"Data out of range: "
                                    "1000 points\"; -113,\"Undefined header\""));
    }
    {
        // A queue that never empties ends after 32 reads; bytes that are not text are shown.
        virt::VirtualScpiGenerator g;
        g.script.errorAnswer = QByteArray("-1,\"a\0b\"", 8);
        g.script.errorAnswerTimes = 1000;
        const Run r = upload(g.address(), profile, lopsided(1000), 2000);
        QVERIFY2(r.failure.startsWith("The instrument reported 32 errors: -1,\"a\\x00b\"; "),
                 qPrintable(r.failure));
        QVERIFY(r.failure.endsWith("(and more: SYST:ERR? still had errors after 32 reads)"));
    }
}

void TestScpi::generatorDestroyedWithClients() {
    // The virtual instrument goes while a client is connected to it (the demo's end, a
    // benchmark's): nothing of it may run any more.
    auto g = std::make_unique<virt::VirtualScpiGenerator>();
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, g->port());
    QVERIFY(client.waitForConnected(2000));
    client.write("*IDN?\n");
    QTRY_VERIFY(client.canReadLine());
    g.reset();
    QTRY_VERIFY(client.state() == QAbstractSocket::UnconnectedState);
}

void TestScpi::everyOscilloscopeForm() {
    // Each shipped form against the virtual oscilloscope showing a waveform through noise and a
    // band limit: every point's volts within half a code step of what the oscilloscope held
    // (where it was not clipped), the time axis within one part in a million of its own.
    const std::vector<float> sent = lopsided(1000);
    for (const QString& name : scopeProfileNames()) {
        virt::VirtualScpiScope scope;
        scope.input = [&] { return QVector<float>(sent.begin(), sent.end()); };
        scope.screen = {2.5, 40, 0.9, 0.05, 0, 0.01, 3, 60, 1, 0};
        scope.originInCodes = name.contains("code-origin");
        scope.points = 1400;
        const ScopeProfile profile = findScopeProfile(name).profile;
        const QString source = name.startsWith("wf-") ? "C2" : "CHAN2";
        const ScopeRun r = captureFrom(scope.address(), profile, source);
        QVERIFY2(r.done, qPrintable(name + ": " + r.failure));
        QCOMPARE(r.trace.volts.size(), std::size_t(1400));
        QCOMPARE(r.trace.source, source);
        const double step = scope.voltsPerDiv / 25.0;
        int compared = 0;
        for (std::size_t i = 0; i < r.trace.volts.size(); ++i) {
            const double held = scope.held()[i];
            if (std::abs(held - scope.centre) > 4.9 * scope.voltsPerDiv)
                continue; // off the screen: clipped
            ++compared;
            QVERIFY2(std::abs(r.trace.volts[i] - held) <= step / 2 + 1e-9,
                     qPrintable(QString("%1: point %2: %3 V, held %4 V")
                                    .arg(name)
                                    .arg(i)
                                    .arg(r.trace.volts[i])
                                    .arg(held)));
        }
        QVERIFY(compared > 1300);
        QString why;
        const std::vector<double> t = r.trace.scaling.times(1400, why);
        QVERIFY2(why.isEmpty(), qPrintable(why));
        const double span = scope.secondsPerDiv * 14;
        for (const int i : {0, 1, 700, 1399})
            QVERIFY2(std::abs(t[i] - scope.timeOfPoint(i)) <= 1e-6 * span,
                     qPrintable(QString("%1: time %2").arg(name).arg(i)));
        // The channel named went where the form puts it.
        QVERIFY2(scope.source() == source ||
                     scope.commands().contains(source.toLatin1() + ":WF? DAT2"),
                 qPrintable(name));
        QVERIFY(scope.commands().size() >= 4);
    }

    // A deep memory read in parts: 600000 points in three reads, each with its range.
    virt::VirtualScpiScope deep;
    deep.input = [&] { return QVector<float>(sent.begin(), sent.end()); };
    deep.points = 600000;
    deep.originInCodes = true;
    const ScopeRun r = captureFrom(
        deep.address(), findScopeProfile("wav-preamble-byte-code-origin").profile, "CHAN1");
    QVERIFY2(r.done, qPrintable(r.failure));
    QCOMPARE(r.trace.codes.size(), std::size_t(600000));
    QStringList ranges;
    for (const QByteArray& c : deep.commands())
        if (c.startsWith(":WAV:STAR") || c.startsWith(":WAV:STOP"))
            ranges << QString::fromLatin1(c);
    QCOMPARE(ranges, QStringList({":WAV:STAR 1", ":WAV:STOP 250000", ":WAV:STAR 250001",
                                  ":WAV:STOP 500000", ":WAV:STAR 500001", ":WAV:STOP 600000"}));
    for (const int i : {0, 249999, 250000, 599999})
        QCOMPARE(r.trace.codes[i], double(static_cast<unsigned char>(deep.codes()[i])));
}

void TestScpi::hostileOscilloscopes() {
    // Whatever an oscilloscope does wrong ends in one message naming its address and what was
    // wrong, and nothing captured.
    const ScopeProfile wav = findScopeProfile("wav-preamble-byte").profile;
    const ScopeProfile curve = findScopeProfile("curve-wfmoutpre").profile;
    const ScopeProfile dat2 = findScopeProfile("wf-dat2-vdiv").profile;
    struct Case {
        const char* what;
        const ScopeProfile* profile;
        std::function<void(virt::VirtualScpiScope&)> fault;
        QString says;
    };
    const QList<Case> cases = {
        {"silent", &wav, [](auto& s) { s.script.silent = true; },
         "no answer to :WAV:PRE? within 0.3 s"},
        {"data stalls", &curve, [](auto& s) { s.script.stallData = true; },
         "no answer to CURVE? within 0.3 s"},
        {"short block", &wav, [](auto& s) { s.script.shortBlock = true; },
         "the data of :WAV:DATA? stopped after 701 of the 1400 bytes its block says"},
        {"longer block", &curve, [](auto& s) { s.script.extraPoints = 3; },
         "the answer to CURVE?: the block says 1403 bytes, more than the 1400 read at most"},
        {"beyond its block", &dat2, [](auto& s) { s.script.beyondBlock = 40; },
         "it sent more than was asked: zzz"},
        {"no block", &wav, [](auto& s) { s.script.dataAnswer = "1,2,3\n"; },
         "the answer to :WAV:DATA?: the data is not a block (it starts with 1,2,3"},
        {"no prefix", &dat2, [](auto& s) { s.script.dataAnswer = "#14abcd\n"; },
         "the answer to C1:WF? DAT2 does not start with DAT2,: #14abcd"},
        {"endless block", &dat2, [](auto& s) { s.script.dataAnswer = "DAT2,#9999999999"; },
         "the block says 999999999 bytes, more than the 16777216 read at most"},
        {"garbage preamble", &wav, [](auto& s) { s.script.preambleAnswer = "\x01\x02garbage"; },
         "in the answer to :WAV:PRE?, the preamble has 1 fields, the profile names 10"},
        {"field not a number", &wav,
         [](auto& s) { s.script.preambleAnswer = "0,0,1400,1,1e-5,0,0,volts,0,128"; },
         "in the answer to :WAV:PRE?, field 8 (yincrement) is not a number: 'volts'"},
        {"points not whole", &wav,
         [](auto& s) { s.script.preambleAnswer = "0,0,14.5,1,1e-5,0,0,0.008,0,128"; },
         "the count of points (14.5) is not a whole number above 0"},
        {"field missing", &curve, [](auto& s) { s.script.fieldAnswer = "\"\""; },
         "the answer to WFMOutpre:YMULT? (YMULT) is not a number: \"\""},
        {"endless field", &dat2, [](auto& s) { s.script.endless = true; },
         "the answer to C1:VDIV? went on beyond 4096 bytes without ending"},
        {"an error", &wav, [](auto& s) { s.script.error = "-222,\"Data out of range\""; },
         "the oscilloscope reported an error: -222,\"Data out of range\""},
    };
    for (const Case& c : cases) {
        virt::VirtualScpiScope scope;
        c.fault(scope);
        const ScopeRun r =
            captureFrom(scope.address(), *c.profile, c.profile == &dat2 ? "C1" : "CHAN1", 300);
        QVERIFY2(!r.done, c.what);
        QCOMPARE(r.failures, 1);
        QVERIFY2(r.failure.startsWith(scope.address() + ": "), qPrintable(r.failure));
        QVERIFY2(r.failure.contains(c.says), qPrintable(QString(c.what) + ": " + r.failure));
    }
    // Nobody there: said once, the address named.
    virt::VirtualScpiScope gone;
    const QString address = gone.address();
    gone.stopListening();
    const ScopeRun r = captureFrom(address, wav, "CHAN1", 300);
    QVERIFY(!r.done && r.failures == 1);
    QVERIFY2(r.failure.contains(address) && r.failure.contains("refused"), qPrintable(r.failure));
}

QTEST_GUILESS_MAIN(TestScpi)
#include "test_scpi.moc"
