#include "instruments/profile.h"
#include "instruments/scpiupload.h"
#include "lines/clock.h"
#include "lines/seriallink.h"
#include "ratio.h"
#include "virtualscpi.h"

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
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(instrument.port);
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
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

const bool registered = [] {
    registerRatio("upload of 16000 samples through a profile / a plain socket",
                  "ProfileUpload16000", "PlainSocket16000", 1.5);
    registerRatio("a 1,000,000-byte block through a profile / a plain socket", "ProfileBlock1MB",
                  "PlainSocket1MB", 1.5);
    return true;
}();
} // namespace

BENCHMARK(ProfileUpload16000)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(PlainSocket16000)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(ProfileBlock1MB)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(PlainSocket1MB)->Unit(benchmark::kMillisecond)->Repetitions(5);
