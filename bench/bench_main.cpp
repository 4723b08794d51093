// Runs every benchmark, then prints each judged figure as the ratio of two benchmarks
// measured side by side in this run (the machines are noisy; absolute times drift).
#include "ratio.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <vector>

namespace {
struct Ratio {
    std::string label, measured, baseline;
    double goal;
};
std::vector<Ratio>& ratios() {
    static std::vector<Ratio> r;
    return r;
}

class Collecting : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, double> nsPerIteration;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            const std::string name = r.benchmark_name();
            // The median of the repetitions is the figure; plain runs count when not repeated.
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median")
                continue;
            std::string key = name;
            const auto pos = key.find("/repeats:");
            if (pos != std::string::npos)
                key.erase(pos);
            nsPerIteration[key] = r.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
};
} // namespace

void registerRatio(const std::string& label, const std::string& measured,
                   const std::string& baseline, double goal) {
    ratios().push_back({label, measured, baseline, goal});
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // the upload runs on the event loop
    benchmark::Initialize(&argc, argv);
    Collecting reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-48s %12s %12s %8s %6s\n", "figure", "measured", "baseline", "ratio", "goal");
    for (const Ratio& r : ratios()) {
        const auto m = reporter.nsPerIteration.find(r.measured);
        const auto b = reporter.nsPerIteration.find(r.baseline);
        if (m == reporter.nsPerIteration.end() || b == reporter.nsPerIteration.end())
            continue;
        const double ratio = m->second / b->second;
        std::printf("%-48s %12.0f %12.0f %8.2f %6.2f %s\n", r.label.c_str(), m->second, b->second,
                    ratio, r.goal, ratio <= r.goal ? "met" : "MISSED");
    }
    benchmark::Shutdown();
    return 0;
}
