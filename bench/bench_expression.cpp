#include "model/history.h"
#include "ratio.h"
#include "synth/expression.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {
// The expression editor's live preview: the evaluator at 16000 samples ...
void ExpressionEvaluator16000(benchmark::State& state) {
    ww::Expression e;
    e.setText("sin(x) + 0.3*sin(3*x) + 0.1*noise(1)");
    for (auto _ : state) {
        const ww::Expression::Values v = e.evaluate(16000, nullptr);
        benchmark::DoNotOptimize(v.samples.data());
    }
}

// ... against the same sum written as a plain loop, with the same noise.
double noise(double seed, double n) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &seed, sizeof bits);
    std::uint64_t z = bits * 0x9E3779B97F4A7C15ull + static_cast<std::uint64_t>(n);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * 0x1.0p-53 * 2.0 - 1.0;
}
void PlainLoop16000(benchmark::State& state) {
    ww::clearUpperVectorState(); // as the evaluator does, or the loop pays for earlier drawing
    std::vector<double> out(16000);
    for (auto _ : state) {
        for (int i = 0; i < 16000; ++i) {
            const double x = 2.0 * M_PI * i / 16000.0;
            out[i] = std::sin(x) + 0.3 * std::sin(3 * x) + 0.1 * noise(1.0, i);
        }
        benchmark::DoNotOptimize(out.data());
    }
}

// The memory 100 undo steps of freehand strokes hold on a 16000-sample waveform, against the
// 2 MB they may take.
void UndoStrokes100(benchmark::State& state) {
    std::size_t bytes = 0;
    for (auto _ : state) {
        ww::WaveDocument doc;
        doc.change("Length", [](ww::WaveStore& s) { s.ArbLength = 16000; });
        ww::History history(doc);
        for (int k = 0; k < 100; ++k) {
            const int from = (k * 157) % 15000;
            for (int step = 0; step < 20; ++step) // a drag of 20 moves over 400 samples
                doc.stroke(from + step * 20, from + step * 20 + 20, std::sin(k + step) * 0.9f);
            doc.endStroke();
        }
        bytes = history.bytes();
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
void TwoMegabytes(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(state.iterations());
    state.counters["bytes"] = 2.0 * 1024 * 1024;
}

const bool registered = [] {
    registerRatio("expression at 16000 samples / plain loop", "ExpressionEvaluator16000",
                  "PlainLoop16000", 20.0);
    registerRatio("memory of 100 undo strokes / 2 MB", "UndoStrokes100", "TwoMegabytes", 1.0,
                  "bytes");
    return true;
}();
} // namespace

BENCHMARK(ExpressionEvaluator16000)->Unit(benchmark::kMicrosecond)->Repetitions(5);
BENCHMARK(PlainLoop16000)->Unit(benchmark::kMicrosecond)->Repetitions(5);
BENCHMARK(UndoStrokes100)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(1);
BENCHMARK(TwoMegabytes)->Iterations(1)->Repetitions(1);
