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

const bool registered = [] {
    registerRatio("spectrum and figures, 16000 samples / one FFT", "Spectrum16000", "KissFft16000",
                  3.0);
    return true;
}();
} // namespace

BENCHMARK(Spectrum16000)->Unit(benchmark::kMicrosecond)->Repetitions(5);
BENCHMARK(KissFft16000)->Unit(benchmark::kMicrosecond)->Repetitions(5);
