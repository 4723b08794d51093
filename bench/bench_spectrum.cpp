#include "analysis/spectrum.h"
#include "ratio.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <kiss_fft.h>

namespace {
std::vector<double> sineWithThird() {
    std::vector<double> v(16000);
    for (int i = 0; i < 16000; ++i)
        v[i] = std::sin(2 * M_PI * i / 16000) + 0.01 * std::sin(6 * M_PI * i / 16000);
    return v;
}

// The spectrum and every figure of 16000 samples ...
void Spectrum16000(benchmark::State& state) {
    const std::vector<double> v = sineWithThird();
    for (auto _ : state) {
        const ww::SpectrumFigures f = ww::analyseSpectrum(v);
        benchmark::DoNotOptimize(f.thdDb);
    }
}

// One period of a prime length, 15991, through Bluestein's chirp, against the nearest fast
// length.
void Spectrum15991(benchmark::State& state) {
    std::vector<double> v(15991);
    for (int i = 0; i < 15991; ++i)
        v[i] = std::sin(2 * M_PI * i / 15991) + 0.01 * std::sin(6 * M_PI * i / 15991);
    for (auto _ : state) {
        const ww::SpectrumFigures f = ww::analyseSpectrum(v);
        benchmark::DoNotOptimize(f.thdDb);
    }
}

// ... against one forward transform of the same size by the same library.
void KissFft16000(benchmark::State& state) {
    const std::vector<double> v = sineWithThird();
    kiss_fft_cfg cfg = kiss_fft_alloc(16000, 0, nullptr, nullptr);
    std::vector<kiss_fft_cpx> in(16000), out(16000);
    for (int i = 0; i < 16000; ++i)
        in[i] = {static_cast<float>(v[i]), 0.0f};
    for (auto _ : state) {
        kiss_fft(cfg, in.data(), out.data());
        benchmark::DoNotOptimize(out.data());
    }
    kiss_fft_free(cfg);
}

// A long record, 1,000,000 and 10,000,000 points of 1234.5 periods with a 1 % third
// harmonic, against one transform of 1,048,576 points.
std::vector<double> longRecord(int n) {
    std::vector<double> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const double x = 2 * M_PI * 1234.5 * i / n;
        v[i] = 0.9 * std::sin(x) + 0.009 * std::sin(3 * x);
    }
    return v;
}

void SpectrumRecord(benchmark::State& state) {
    const std::vector<double> v = longRecord(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const ww::SpectrumFigures f = ww::analyseSpectrum(v, 50, ww::SpectrumWindow::Hann);
        if (!f.error.isEmpty() || std::abs(f.thdDb + 40) > 0.1)
            state.SkipWithError("the figures are wrong");
        benchmark::DoNotOptimize(f.thdDb);
    }
}

void KissFft1M(benchmark::State& state) {
    const int n = 1048576;
    kiss_fft_cfg cfg = kiss_fft_alloc(n, 0, nullptr, nullptr);
    std::vector<kiss_fft_cpx> in(n), out(n);
    for (int i = 0; i < n; ++i)
        in[i] = {static_cast<float>(std::sin(0.001 * i)), 0.0f};
    for (auto _ : state) {
        kiss_fft(cfg, in.data(), out.data());
        benchmark::DoNotOptimize(out.data());
    }
    kiss_fft_free(cfg);
}

// The goal for 10,000,000 points is absolute (under 5 s): measured against a second.
void OneSecond(benchmark::State& state) {
    for (auto _ : state)
        state.SetIterationTime(1.0);
}

const bool registered = [] {
    registerRatio("spectrum and figures, 16000 samples / one FFT", "Spectrum16000", "KissFft16000",
                  3.0);
    registerRatio("spectrum of one period of 15991 points / of 16000", "Spectrum15991",
                  "Spectrum16000", 2.0);
    registerRatio("spectrum of 1,000,000 points / one FFT of 1,048,576", "SpectrumRecord/1000000",
                  "KissFft1M", 20.0);
    registerRatio("spectrum of 10,000,000 points / one second", "SpectrumRecord/10000000",
                  "OneSecond", 5.0);
    return true;
}();
} // namespace

BENCHMARK(Spectrum16000)->Unit(benchmark::kMicrosecond)->Repetitions(5);
BENCHMARK(Spectrum15991)->Unit(benchmark::kMicrosecond)->Repetitions(5);
BENCHMARK(KissFft16000)->Unit(benchmark::kMicrosecond)->Repetitions(5);
BENCHMARK(SpectrumRecord)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(KissFft1M)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(OneSecond)->UseManualTime()->Iterations(1);
