// Runs every benchmark, then prints each judged figure as the ratio of two benchmarks
// measured side by side in this run (the machines are noisy; absolute times drift).
#include "ratio.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {
struct Ratio {
    std::string label, measured, baseline;
    double goal;
    std::string counter;
};
std::vector<Ratio>& ratios() {
    static std::vector<Ratio> r;
    return r;
}

double timeUnitToNs(benchmark::TimeUnit unit) {
    switch (unit) {
    case benchmark::kSecond:
        return 1e9;
    case benchmark::kMillisecond:
        return 1e6;
    case benchmark::kMicrosecond:
        return 1e3;
    default:
        return 1.0;
    }
}
class Collecting : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, double> nsPerIteration;
    std::map<std::string, double> counters; // "name:counter"
    // "Name/arg/iterations:5/repeats:3/real_time" -> "Name/arg".
    static std::string keyOf(std::string name) {
        for (const char* part : {"/iterations:", "/repeats:", "/real_time"}) {
            const auto pos = name.find(part);
            if (pos != std::string::npos)
                name.erase(pos);
        }
        return name;
    }
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            const std::string name = r.benchmark_name();
            // The median of the repetitions is the figure; plain runs count when not repeated.
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median")
                continue;
            if (r.error_occurred) // measured nothing: the figure is missing
                continue;
            const std::string key = keyOf(r.run_name.str());
            nsPerIteration[key] = r.GetAdjustedRealTime() * timeUnitToNs(r.time_unit);
            for (const auto& [counter, value] : r.counters)
                counters[key + ":" + counter] = value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};
} // namespace

void registerRatio(const std::string& label, const std::string& measured,
                   const std::string& baseline, double goal, const std::string& counter) {
    ratios().push_back({label, measured, baseline, goal, counter});
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // the upload runs on the event loop
    bool filtered = false;
    for (int i = 1; i < argc; ++i)
        filtered = filtered || std::string(argv[i]).rfind("--benchmark_filter", 0) == 0;
    benchmark::Initialize(&argc, argv);
    Collecting reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-48s %12s %12s %8s %6s\n", "figure", "measured", "baseline", "ratio", "goal");
    int missing = 0;
    for (const Ratio& r : ratios()) {
        const auto& table = r.counter.empty() ? reporter.nsPerIteration : reporter.counters;
        const std::string suffix = r.counter.empty() ? "" : ":" + r.counter;
        const auto m = table.find(r.measured + suffix);
        const auto b = table.find(r.baseline + suffix);
        if (m == table.end() || b == table.end()) {
            // Left out by a filter, or a benchmark that failed: only the second is an error.
            if (!filtered) {
                std::printf("%-48s FAILED: a benchmark of it did not run to its end\n",
                            r.label.c_str());
                ++missing;
            }
            continue;
        }
        const double ratio = m->second / b->second;
        std::printf("%-48s %12.0f %12.0f %8.2f %6.2f %s\n", r.label.c_str(), m->second, b->second,
                    ratio, r.goal, ratio <= r.goal ? "met" : "MISSED");
    }
    benchmark::Shutdown();
    // A figure that could not be measured fails the run, as a crash does.
    return missing == 0 ? 0 : 1;
}
