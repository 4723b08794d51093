#include "files/table.h"
#include "ratio.h"
#include "files/resample.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <charconv>
#include <cmath>

namespace {
// A million rows of time and value, as an oscilloscope or a simulator writes them.
QString bigCsv() {
    static QTemporaryDir dir;
    const QString path = dir.filePath("big.csv");
    if (!QFile::exists(path)) {
        QByteArray text = "time,value\n";
        char buf[64];
        for (int i = 0; i < 1000000; ++i) {
            const int n = std::snprintf(buf, sizeof buf, "%g,%.6f\n", i * 1e-6, std::sin(i * 0.001));
            text.append(buf, n);
        }
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(text);
    }
    return path;
}

// The import of that file: read, find the columns, resample the signal to 16000 points ...
void ImportCsv1M(benchmark::State& state) {
    const QString path = bigCsv();
    for (auto _ : state) {
        const ww::Table t = ww::readTable(path);
        const std::vector<double> r = ww::resampleLinear(t.columns[t.signalColumn], 16000);
        benchmark::DoNotOptimize(r.data());
    }
}

// ... against a plain loop that only reads the file and parses every number.
void FromCharsLoop1M(benchmark::State& state) {
    const QString path = bigCsv();
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

const bool registered = [] {
    registerRatio("import 1,000,000-row CSV / from_chars loop", "ImportCsv1M", "FromCharsLoop1M",
                  2.0);
    return true;
}();
} // namespace

BENCHMARK(ImportCsv1M)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(FromCharsLoop1M)->Unit(benchmark::kMillisecond)->Repetitions(5);
