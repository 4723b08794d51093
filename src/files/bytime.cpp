#include "bytime.h"

#include <algorithm>
#include <cmath>

namespace ww {

EvenTimes evenInTime(std::span<const double> time, std::span<const double> values, std::size_t most,
                     double tolerance) {
    EvenTimes out;
    const std::size_t n = std::min(time.size(), values.size());
    if (n < 2)
        return out;
    out.shortest = HUGE_VAL;
    out.longest = 0;
    for (std::size_t i = 1; i < n; ++i) {
        const double d = time[i] - time[i - 1];
        if (!(d >= 0)) {
            out.error = QStringLiteral("time falls back at row %1 (%2 after %3)")
                            .arg(i)
                            .arg(time[i], 0, 'g', 10)
                            .arg(time[i - 1], 0, 'g', 10);
            return out;
        }
        out.shortest = std::min(out.shortest, d);
        out.longest = std::max(out.longest, d);
    }
    const double span = time[n - 1] - time[0];
    if (!(span > 0) || !std::isfinite(span)) {
        out.error = QStringLiteral("time does not advance");
        return out;
    }
    out.step = span / static_cast<double>(n - 1);
    if (out.longest - out.shortest <= tolerance * out.step)
        return out;
    out.resampled = true;
    // Points: the span in the shortest nonzero step, within the rows and `most`.
    double shortest = out.longest;
    for (std::size_t i = 1; i < n; ++i)
        if (const double d = time[i] - time[i - 1]; d > 0)
            shortest = std::min(shortest, d);
    const double wanted = std::ceil(span / shortest * (1 - 1e-9)) + 1;
    const std::size_t count = std::max(
        n, static_cast<std::size_t>(std::min(wanted, static_cast<double>(std::max(most, n)))));
    out.step = span / static_cast<double>(count - 1);
    out.values.resize(count);
    std::size_t j = 0; // the row at or before the time looked for
    for (std::size_t k = 0; k < count; ++k) {
        // The last point exactly at the last time, the others from the first by whole steps.
        const double t = k + 1 == count ? time[n - 1] : time[0] + static_cast<double>(k) * out.step;
        while (j + 1 < n && time[j + 1] <= t)
            ++j;
        if (j + 1 >= n || time[j] == t) {
            // At a row's time: that row (the later of rows at the same time).
            out.values[k] = values[j];
            continue;
        }
        const double f = (t - time[j]) / (time[j + 1] - time[j]);
        out.values[k] = values[j] + f * (values[j + 1] - values[j]);
    }
    return out;
}

} // namespace ww
