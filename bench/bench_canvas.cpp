#include "editor/waveeditor.h"
#include "ratio.h"
#include "synth/shapes.h"

#include <benchmark/benchmark.h>
#include <cmath>

using namespace ww;

namespace {
struct Canvas {
    WaveDocument doc;
    WaveEditor editor{doc};
    explicit Canvas(int length) {
        doc.change("Sine", [length](WaveStore& s) {
            s.ArbLength = static_cast<float>(length);
            makeSine(s);
        });
        editor.resizeCanvas(QSize(1536, 720));
        editor.DrawWaveAll();
    }
};

void FullRedraw(benchmark::State& state) {
    Canvas c(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        c.editor.DrawWaveAll();
        benchmark::DoNotOptimize(c.editor.canvas().image().constBits());
    }
}

void DrawingStep(benchmark::State& state) {
    const int length = static_cast<int>(state.range(0));
    Canvas c(length);
    const float x0 = length / 2.0f;
    c.editor.mouseDown(Qt::LeftButton, x0, 0.0f);
    int step = 0;
    for (auto _ : state) {
        // A drag to the right, a column at a time, along a smooth curve as a hand draws.
        const float x = x0 + static_cast<float>(step % 40);
        const float y = 800000.0f * std::sin(step * 0.05f);
        c.editor.DrawWaveMouse(x, y);
        if (step % 40 == 39)
            c.editor.DrawAnchorX = static_cast<int>(x0);
        ++step;
    }
    c.editor.mouseUp();
}

const bool registered = [] {
    registerRatio("full redraw 16000 / 201, 1536x720", "FullRedraw/16000", "FullRedraw/201", 4.0);
    registerRatio("drawing step 16000 / 201", "DrawingStep/16000", "DrawingStep/201", 1.5);
    return true;
}();
} // namespace

BENCHMARK(FullRedraw)->Arg(201)->Arg(16000)->Unit(benchmark::kMicrosecond)->Repetitions(5);
BENCHMARK(DrawingStep)->Arg(201)->Arg(16000)->Unit(benchmark::kMicrosecond)->Repetitions(5);
