#include "resample.h"

#include "model/store.h"

#include <algorithm>
#include <cmath>

namespace ww {

std::vector<double> resampleLinear(const std::vector<double>& v, int length) {
    if (v.empty() || length <= 0)
        return {};
    std::vector<double> out(static_cast<std::size_t>(length));
    if (v.size() == 1 || length == 1) {
        std::fill(out.begin(), out.end(), v.front());
        return out;
    }
    const double step = static_cast<double>(v.size() - 1) / (length - 1);
    for (int i = 0; i < length; ++i) {
        const double at = i * step;
        const std::size_t k = std::min(static_cast<std::size_t>(at), v.size() - 2);
        const double f = at - static_cast<double>(k);
        out[static_cast<std::size_t>(i)] = v[k] * (1.0 - f) + v[k + 1] * f;
    }
    return out;
}

std::vector<float> recordAsWaveform(const std::vector<float>& record) {
    if (record.size() <= static_cast<std::size_t>(kMaxLength))
        return record;
    const std::vector<double> fitted =
        resampleLinear(std::vector<double>(record.begin(), record.end()), kMaxLength);
    return std::vector<float>(fitted.begin(), fitted.end());
}

std::vector<double> resamplePeriodic(const std::vector<double>& v, int length) {
    if (v.empty() || length <= 0)
        return {};
    const std::size_t n = v.size();
    std::vector<double> out(static_cast<std::size_t>(length));
    const double step = static_cast<double>(n) / length;
    for (int i = 0; i < length; ++i) {
        const double at = i * step;
        const std::size_t k = std::min(static_cast<std::size_t>(at), n - 1);
        const double f = at - static_cast<double>(k);
        const double next = v[(k + 1) % n];
        // Weighted so that neither term can overflow where the values are near the limits.
        out[static_cast<std::size_t>(i)] = v[k] * (1.0 - f) + next * f;
    }
    return out;
}

std::vector<float> fitImported(const std::vector<double>& v, ImportFit fit) {
    std::vector<float> out(v.size());
    if (v.empty())
        return out;
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    const double peak = std::max(std::abs(*lo), std::abs(*hi));
    if (fit == ImportFit::Auto)
        fit = peak > 1.0 ? ImportFit::Peak : ImportFit::Clip;
    // Halves first: max - min of two values near the largest double would overflow.
    const double halfLo = *lo / 2, halfSpan = *hi / 2 - *lo / 2;
    for (std::size_t i = 0; i < v.size(); ++i) {
        double x = v[i];
        if (fit == ImportFit::Peak && peak > 0)
            x /= peak;
        else if (fit == ImportFit::Range && halfSpan > 0)
            x = (x / 2 - halfLo) / halfSpan * 2.0 - 1.0;
        out[i] = static_cast<float>(std::clamp(x, -1.0, 1.0));
    }
    return out;
}

} // namespace ww
