#include "instruments/generatorlines.h"
#include "instruments/generatorupload.h"
#include "lines/seriallink.h"
#include "ratio.h"
#include "virtualgenerator.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace ww;

namespace {
WaveStore fullStore() {
    WaveStore s;
    s.ArbLength = 16000;
    for (int i = 0; i < 16000; ++i)
        s.ArbData[i] = static_cast<float>((i % 200) / 100.0 - 1.0);
    return s;
}

// The whole upload through QSerialPort and the event loop to the virtual generator.
void Upload16000(benchmark::State& state) {
    const WaveStore store = fullStore();
    virt::VirtualGenerator generator;
    PortMap ports;
    ports.setDevice(1, generator.devicePath());
    SerialSettings settings;
    SystemClock clock;
    SerialLink link(ports);
    GeneratorUpload upload(link, settings, clock);
    upload.completionPauseMs = 0;
    QEventLoop loop;
    QObject::connect(&upload, &GeneratorUpload::finished, &loop, &QEventLoop::quit);
    for (auto _ : state) {
        upload.start(store);
        loop.exec();
    }
    if (!generator.waveforms().value(1).complete())
        state.SkipWithError("the upload did not complete");
}

bool readLine(int fd, char eol) {
    char buf[1024];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 2000) <= 0)
            return false;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            return false;
        if (memchr(buf, eol, static_cast<size_t>(n)))
            return true;
    }
}

void writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, bytes.size() - done);
        if (n > 0)
            done += n;
    }
}

// The same lines and replies over the pseudo-terminal alone, with plain blocking calls.
void PtyAlone16000(benchmark::State& state) {
    const WaveStore store = fullStore();
    QList<QByteArray> lines{headerLine(1, 16000)};
    for (int b = 0; b < blockCount(16000); ++b)
        lines << dataLine(store, b);
    virt::PseudoTerminal pty;
    const int slave = ::open(qPrintable(pty.slavePath()), O_RDWR | O_NOCTTY);
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    const int master = pty.masterFd();
    for (auto _ : state) {
        for (const QByteArray& line : lines) {
            writeAll(slave, line);
            if (!readLine(master, '\n'))
                state.SkipWithError("line lost");
            writeAll(master, "OK\n");
            if (!readLine(slave, '\n'))
                state.SkipWithError("reply lost");
        }
    }
    ::close(slave);
}

const bool registered = [] {
    registerRatio("upload 16000 / pty alone", "Upload16000", "PtyAlone16000", 1.5);
    return true;
}();
} // namespace

BENCHMARK(Upload16000)->Unit(benchmark::kMillisecond)->Repetitions(5)->UseRealTime();
BENCHMARK(PtyAlone16000)->Unit(benchmark::kMillisecond)->Repetitions(5)->UseRealTime();
