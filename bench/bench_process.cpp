#include "files/wavefile.h"
#include "ratio.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

namespace {
// Runs a program to its end, its standard output thrown away; returns its peak resident
// memory in kB, or -1.
long runProcess(const std::string& path, std::vector<std::string> args) {
    args.insert(args.begin(), path);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -1;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return usage.ru_maxrss;
}

void startup(benchmark::State& state, const std::string& path, std::vector<std::string> args) {
    long peak = 0;
    for (auto _ : state) {
        const long kb = runProcess(path, args);
        if (kb < 0) {
            state.SkipWithError("the program did not start and end cleanly");
            return;
        }
        peak = std::max(peak, kb);
    }
    state.counters["peak_kB"] = static_cast<double>(peak);
}

void StartupWavewright(benchmark::State& state) {
    startup(state, WAVEWRIGHT_EXE, {"--exit-after-first-paint"});
}
void StartupMinimalQt(benchmark::State& state) {
    startup(state, MINIMAL_WINDOW_EXE, {});
}

ww::WaveStore fullStore() {
    ww::WaveStore s;
    s.ArbLength = 16000;
    for (int i = 0; i < 16000; ++i)
        s.ArbData[i] = static_cast<float>((i % 2001) / 1000.0 - 1.0);
    return s;
}

// Save and reopen through the program's own file code.
void SaveAndOpen16000(benchmark::State& state) {
    const ww::WaveStore store = fullStore();
    QTemporaryDir dir;
    const QString path = dir.filePath("wave.txt");
    for (auto _ : state) {
        if (!ww::writeWaveFile(path, "16000", store).isEmpty())
            state.SkipWithError("save failed");
        const ww::WaveFileContent c = ww::readWaveFile(path);
        benchmark::DoNotOptimize(c.samples.data());
    }
}

// The same bytes written and read back with plain standard-library streams.
void StdStreams16000(benchmark::State& state) {
    const QByteArray bytes = ww::waveFileBytes("16000", fullStore());
    QTemporaryDir dir;
    const std::string path = dir.filePath("plain.txt").toStdString();
    for (auto _ : state) {
        {
            std::ofstream out(path, std::ios::binary);
            out.write(bytes.constData(), bytes.size());
        }
        std::ifstream in(path, std::ios::binary);
        std::vector<float> samples;
        samples.reserve(16000);
        std::string line;
        std::getline(in, line);
        while (std::getline(in, line))
            samples.push_back(std::stof(line));
        benchmark::DoNotOptimize(samples.data());
    }
}

// The command line's dry run of a 16000-sample file against a minimal console program that
// reads the same file and prints the same lines.
std::string dryRunFile() {
    static QTemporaryDir dir;
    const QString path = dir.filePath("wave16000.txt");
    if (!QFile::exists(path))
        ww::writeWaveFile(path, "16000", fullStore());
    return path.toStdString();
}
void DryRunWavewright(benchmark::State& state) {
    startup(state, WAVEWRIGHT_EXE, {"send", dryRunFile(), "--dry-run"});
}
void DryRunMinimalQt(benchmark::State& state) {
    startup(state, MINIMAL_DRYRUN_EXE, {dryRunFile()});
}

const bool registered = [] {
    registerRatio("send --dry-run 16000 / minimal console program", "DryRunWavewright",
                  "DryRunMinimalQt", 1.5);
    registerRatio("start-up to first paint / minimal Qt window", "StartupWavewright",
                  "StartupMinimalQt", 1.5);
    registerRatio("peak memory at start-up / minimal Qt window", "StartupWavewright",
                  "StartupMinimalQt", 1.3, "peak_kB");
    registerRatio("save + open 16000 / std streams", "SaveAndOpen16000", "StdStreams16000", 3.0);
    return true;
}();
} // namespace

BENCHMARK(StartupWavewright)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(3)
    ->UseRealTime();
BENCHMARK(StartupMinimalQt)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(3)
    ->UseRealTime();
BENCHMARK(SaveAndOpen16000)->Unit(benchmark::kMicrosecond)->Repetitions(5);
BENCHMARK(StdStreams16000)->Unit(benchmark::kMicrosecond)->Repetitions(5);
BENCHMARK(DryRunWavewright)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10)
    ->Repetitions(5)
    ->UseRealTime();
BENCHMARK(DryRunMinimalQt)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10)
    ->Repetitions(5)
    ->UseRealTime();
