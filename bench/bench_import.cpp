#include "files/formats.h"
#include "ratio.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

namespace {
QTemporaryDir& folder() {
    static QTemporaryDir dir;
    return dir;
}

// `rows` rows of time and value, as an oscilloscope or a simulator writes them.
QString csvOf(int rows) {
    const QString path = folder().filePath(QStringLiteral("rows%1.csv").arg(rows));
    if (!QFile::exists(path)) {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        QByteArray text = "time,value\n";
        char buf[64];
        for (int i = 0; i < rows; ++i) {
            const int n =
                std::snprintf(buf, sizeof buf, "%g,%.6f\n", i * 1e-6, std::sin(i * 0.001));
            text.append(buf, n);
            if (text.size() > (1 << 24)) {
                f.write(text);
                text.clear();
            }
        }
        f.write(text);
    }
    return path;
}

// A simulator's transient of 2,000,000 points, binary, time at uneven steps (finer on the
// edges) and two traces, as ngspice writes it ...
QString rawOf(int points) {
    const QString path = folder().filePath(QStringLiteral("tran%1.raw").arg(points));
    if (!QFile::exists(path)) {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(QStringLiteral("Title: bench\nDate: today\nPlotname: Transient Analysis\n"
                               "Flags: real\nNo. Variables: 3\nNo. Points: %1\nVariables:\n"
                               "\t0\ttime\ttime\n\t1\tv(out)\tvoltage\n\t2\tv(in)\tvoltage\n"
                               "Binary:\n")
                    .arg(points)
                    .toLatin1());
        QByteArray data;
        double t = 0;
        for (int i = 0; i < points; ++i) {
            const double values[3] = {t, std::sin(t * 1e3), i % 1000 < 500 ? 1.0 : 0.0};
            data.append(reinterpret_cast<const char*>(values), sizeof values);
            t += 1e-7 * (1 + (i % 7)); // uneven steps
            if (data.size() > (1 << 24)) {
                f.write(data);
                data.clear();
            }
        }
        f.write(data);
    }
    return path;
}

// ... converted to 16000 points: read, v(in) taken, resampled onto even times, resampled ...
void ImportRaw2M(benchmark::State& state) {
    const QString path = rawOf(2000000);
    for (auto _ : state) {
        const ww::Waveform w = ww::readWaveform(path);
        if (!w.error.isEmpty() || w.samples.size() != 16000)
            state.SkipWithError(qPrintable(w.error));
        benchmark::DoNotOptimize(w.samples.data());
    }
}

// ... against a plain loop that reads the file and the same doubles.
void RawDoublesLoop2M(benchmark::State& state) {
    const QString path = rawOf(2000000);
    for (auto _ : state) {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        const QByteArray bytes = f.readAll();
        const qsizetype at = bytes.indexOf("Binary:\n") + 8;
        std::vector<double> values(static_cast<std::size_t>(bytes.size() - at) / 8);
        std::memcpy(values.data(), bytes.constData() + at, values.size() * 8);
        double sum = 0;
        for (const double v : values)
            sum += v;
        benchmark::DoNotOptimize(sum);
    }
}

// The import of a million rows: the reading found, the column chosen, resampled to 16000 ...
void ImportCsv1M(benchmark::State& state) {
    const QString path = csvOf(1000000);
    for (auto _ : state) {
        const ww::Waveform w = ww::readWaveform(path);
        if (!w.error.isEmpty())
            state.SkipWithError(qPrintable(w.error));
        benchmark::DoNotOptimize(w.samples.data());
    }
}

// ... against a plain loop that only reads the file and parses every number.
void FromCharsLoop1M(benchmark::State& state) {
    const QString path = csvOf(1000000);
    for (auto _ : state) {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        const QByteArray bytes = f.readAll();
        const char* p = bytes.constData() + bytes.indexOf('\n') + 1;
        const char* end = bytes.constData() + bytes.size();
        double sum = 0, v = 0;
        while (p < end) {
            const auto r = std::from_chars(p, end, v);
            sum += v;
            p = r.ptr + 1; // past the comma or the line feed
        }
        benchmark::DoNotOptimize(sum);
    }
}

// Ten million rows through `wavewright convert`: its peak memory against the 400 MB it may use.
void Convert10MRows(benchmark::State& state) {
    const std::string in = csvOf(10000000).toStdString();
    const std::string out = folder().filePath("out.txt").toStdString();
    long peak = 0;
    for (auto _ : state) {
        std::vector<std::string> args = {WAVEWRIGHT_EXE, "convert", in, out, "--quiet"};
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        int status = 0;
        rusage usage{};
        if (posix_spawn(&pid, WAVEWRIGHT_EXE, nullptr, nullptr, argv.data(), environ) != 0 ||
            wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            state.SkipWithError("convert failed");
            return;
        }
        peak = std::max(peak, usage.ru_maxrss);
    }
    state.counters["peak_kB"] = static_cast<double>(peak);
}
void Budget400MB(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(state.iterations());
    state.counters["peak_kB"] = 400.0 * 1024;
}

// A minute of stereo float at 48 kHz.
QString stereoMinute() {
    const QString path = folder().filePath("minute.wav");
    if (!QFile::exists(path)) {
        SF_INFO info{};
        info.samplerate = 48000;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
        std::vector<float> frames(2 * 48000);
        for (int s = 0; s < 60; ++s) {
            for (int i = 0; i < 48000; ++i)
                frames[2 * i] = frames[2 * i + 1] =
                    static_cast<float>(std::sin((s * 48000 + i) * 0.01));
            sf_writef_float(f, frames.data(), 48000);
        }
        sf_close(f);
    }
    return path;
}

// Its import (one channel kept, resampled to 16000) ...
void ImportWav60s(benchmark::State& state) {
    const QString path = stereoMinute();
    for (auto _ : state) {
        const ww::Waveform w = ww::readWaveform(path);
        if (!w.error.isEmpty())
            state.SkipWithError(qPrintable(w.error));
        benchmark::DoNotOptimize(w.samples.data());
    }
}
// ... against a plain libsndfile read of the whole file.
void SndfileRead60s(benchmark::State& state) {
    const QString path = stereoMinute();
    for (auto _ : state) {
        SF_INFO info{};
        SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
        std::vector<double> frames(static_cast<std::size_t>(info.frames * info.channels));
        sf_readf_double(f, frames.data(), info.frames);
        sf_close(f);
        benchmark::DoNotOptimize(frames.data());
    }
}

const bool registered = [] {
    registerRatio("import 1,000,000-row CSV / from_chars loop", "ImportCsv1M", "FromCharsLoop1M",
                  2.0);
    registerRatio("convert 10,000,000-row CSV, peak memory / 400 MB", "Convert10MRows",
                  "Budget400MB", 1.0, "peak_kB");
    registerRatio("convert 2,000,000-point binary SPICE raw / plain read of its doubles",
                  "ImportRaw2M", "RawDoublesLoop2M", 2.0);
    registerRatio("import 60 s stereo WAV / plain libsndfile read", "ImportWav60s",
                  "SndfileRead60s", 1.5);
    return true;
}();
} // namespace

BENCHMARK(ImportCsv1M)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(FromCharsLoop1M)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(Convert10MRows)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(Budget400MB)->Iterations(1);
BENCHMARK(ImportRaw2M)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(RawDoublesLoop2M)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(ImportWav60s)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(SndfileRead60s)->Unit(benchmark::kMillisecond)->Repetitions(5);
