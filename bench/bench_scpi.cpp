#include "instruments/profile.h"
#include "instruments/scopecapture.h"
#include "instruments/scpiupload.h"
#include "lines/clock.h"
#include "lines/seriallink.h"
#include "ratio.h"
#include "virtualscpi.h"
#include "virtualscpiscope.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <cmath>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace ww;

namespace {
// The virtual SCPI generator on a thread of its own, so that a plain blocking socket can talk
// to it from this one.
struct Instrument {
    QThread thread;
    virt::VirtualScpiGenerator* generator = nullptr;
    QString address;
    quint16 port = 0;
    explicit Instrument(int maxPoints) {
        generator = new virt::VirtualScpiGenerator;
        generator->script.maxPoints = maxPoints;
        address = generator->address();
        port = generator->port();
        generator->moveToThread(&thread);
        QObject::connect(&thread, &QThread::finished, generator, &QObject::deleteLater);
        thread.start();
    }
    ~Instrument() {
        thread.quit();
        thread.wait();
    }
};

// A plain blocking socket to 127.0.0.1:port, lines sent at once; -1 when none.
int connectLoopback(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(port);
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::vector<float> wave(int n) {
    std::vector<float> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        v[i] = static_cast<float>(std::sin(2 * M_PI * i / 1000.0));
    return v;
}

Profile profileFor(int points) {
    Profile p = findProfile(QStringLiteral("arb-dac-16bit-block")).profile;
    p.maxPoints = points;
    return p;
}

// Through the program: the profile's lines over the line of an address, the answer awaited.
void throughProfile(benchmark::State& state, int points) {
    Instrument instrument(points);
    const Profile profile = profileFor(points);
    const std::vector<float> samples = wave(points);
    PortMap ports;
    ports.setDevice(1, instrument.address);
    SerialSettings settings;
    SystemClock clock;
    SerialLink link(ports);
    ScpiUpload upload(link, settings, clock);
    bool ok = true;
    QObject::connect(&upload, &Exchange::failed, [&] { ok = false; });
    QEventLoop loop;
    QObject::connect(&upload, &Exchange::finished, &loop, &QEventLoop::quit);
    for (auto _ : state) {
        upload.start(profile, samples, QStringLiteral("WAVE1"));
        if (upload.running())
            loop.exec();
    }
    if (!ok)
        state.SkipWithError("the upload failed");
}

// A plain socket: the same bytes written, the same final answer read.
void plainSocket(benchmark::State& state, int points) {
    Instrument instrument(points);
    QByteArray bytes;
    for (const QByteArray& line : uploadLines(profileFor(points), wave(points), "WAVE1"))
        bytes += line;
    for (auto _ : state) {
        const int fd = connectLoopback(instrument.port);
        if (fd < 0) {
            state.SkipWithError("cannot connect");
            break;
        }
        for (qsizetype done = 0; done < bytes.size();) {
            const ssize_t n = ::write(fd, bytes.constData() + done,
                                      static_cast<std::size_t>(bytes.size() - done));
            if (n <= 0)
                break;
            done += n;
        }
        char answer[256];
        for (std::size_t got = 0; got < sizeof answer;) {
            const ssize_t n = ::read(fd, answer + got, sizeof answer - got);
            if (n <= 0 || memchr(answer + got, '\n', static_cast<std::size_t>(n)))
                break;
            got += static_cast<std::size_t>(n);
        }
        ::close(fd);
    }
}

void ProfileUpload16000(benchmark::State& state) {
    throughProfile(state, 16000);
}
void PlainSocket16000(benchmark::State& state) {
    plainSocket(state, 16000);
}
// 500,000 16-bit codes: a block of 1,000,000 bytes.
void ProfileBlock1MB(benchmark::State& state) {
    throughProfile(state, 500000);
}
void PlainSocket1MB(benchmark::State& state) {
    plainSocket(state, 500000);
}

// The virtual SCPI oscilloscope on a thread of its own, holding a record of `points` points.
struct Scope {
    QThread thread;
    virt::VirtualScpiScope* scope = nullptr;
    QString address;
    quint16 port = 0;
    explicit Scope(int points) {
        scope = new virt::VirtualScpiScope;
        scope->points = points;
        scope->originInCodes = true;
        const std::vector<float> shown = wave(1000);
        scope->input = [shown] { return QVector<float>(shown.begin(), shown.end()); };
        scope->screen.periods = 7;
        address = scope->address();
        port = scope->port();
        scope->moveToThread(&thread);
        QObject::connect(&thread, &QThread::finished, scope, &QObject::deleteLater);
        thread.start();
    }
    ~Scope() {
        thread.quit();
        thread.wait();
    }
};

constexpr int kDeepPoints = 1000000;

// Through the program: the profile's setup, preamble, the data in parts of 250000 points and
// the check, each answer read to its end, the volts worked out.
void DeepCaptureThroughProfile(benchmark::State& state) {
    Scope scope(kDeepPoints);
    const ScopeProfile profile =
        findScopeProfile(QStringLiteral("wav-preamble-byte-code-origin")).profile;
    PortMap ports;
    ports.setDevice(1, scope.address);
    SerialSettings settings;
    SystemClock clock;
    SerialLink link(ports);
    ScopeCapture capture(link, settings, clock);
    std::size_t points = 0;
    QObject::connect(&capture, &ScopeCapture::captured,
                     [&](const ScopeTrace& t) { points = t.volts.size(); });
    QEventLoop loop;
    QObject::connect(&capture, &Exchange::finished, &loop, &QEventLoop::quit);
    for (auto _ : state) {
        points = 0;
        capture.start(profile, QStringLiteral("CHAN1"));
        if (capture.running())
            loop.exec();
        if (points != static_cast<std::size_t>(kDeepPoints)) {
            state.SkipWithError("the capture failed");
            break;
        }
    }
}

// A plain socket asking the same questions and reading the same bytes, with nothing made of
// them.
void DeepCapturePlainSocket(benchmark::State& state) {
    Scope scope(kDeepPoints);
    std::vector<char> buffer(1 << 20);
    auto readLine = [&](int fd) {
        for (;;) {
            const ssize_t n = ::read(fd, buffer.data(), 1);
            if (n <= 0 || buffer[0] == '\n')
                return;
        }
    };
    auto readBytes = [&](int fd, qint64 count) {
        while (count > 0) {
            const ssize_t n = ::read(fd, buffer.data(),
                                     static_cast<std::size_t>(std::min<qint64>(count, 1 << 20)));
            if (n <= 0)
                return false;
            count -= n;
        }
        return true;
    };
    auto say = [](int fd, const QByteArray& text) {
        return ::write(fd, text.constData(), static_cast<std::size_t>(text.size())) == text.size();
    };
    for (auto _ : state) {
        const int fd = connectLoopback(scope.port);
        if (fd < 0) {
            state.SkipWithError("cannot connect");
            break;
        }
        say(fd, ":WAV:SOUR CHAN1\n:WAV:MODE NORM\n:WAV:FORM BYTE\n:WAV:PRE?\n");
        readLine(fd);
        bool ok = true;
        for (int start = 1; ok && start <= kDeepPoints; start += 250000) {
            const int stop = std::min(kDeepPoints, start + 249999);
            say(fd, ":WAV:STAR " + QByteArray::number(start) + "\n:WAV:STOP " +
                        QByteArray::number(stop) + "\n:WAV:DATA?\n");
            ok = readBytes(fd, 11 + (stop - start + 1) + 1); // #9, nine digits, data, line end
        }
        say(fd, ":SYST:ERR?\n");
        readLine(fd);
        ::close(fd);
        if (!ok) {
            state.SkipWithError("the data did not come");
            break;
        }
    }
}

const bool registered = [] {
    registerRatio("upload of 16000 samples through a profile / a plain socket",
                  "ProfileUpload16000", "PlainSocket16000", 1.5);
    registerRatio("a 1,000,000-byte block through a profile / a plain socket", "ProfileBlock1MB",
                  "PlainSocket1MB", 1.5);
    registerRatio("a capture of 1,000,000 byte points through a profile / a plain socket",
                  "DeepCaptureThroughProfile", "DeepCapturePlainSocket", 1.5);
    return true;
}();
} // namespace

BENCHMARK(ProfileUpload16000)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(PlainSocket16000)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(ProfileBlock1MB)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(PlainSocket1MB)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(DeepCaptureThroughProfile)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(DeepCapturePlainSocket)->Unit(benchmark::kMillisecond)->Repetitions(5);
