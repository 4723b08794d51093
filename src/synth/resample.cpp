#include "resample.h"

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
        out[static_cast<std::size_t>(i)] = v[k] + (v[k + 1] - v[k]) * f;
    }
    return out;
}

std::vector<float> fitImported(const std::vector<double>& v, ImportFit fit) {
    std::vector<float> out(v.size());
    if (v.empty())
        return out;
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    const double peak = std::max(std::abs(*lo), std::abs(*hi));
    for (std::size_t i = 0; i < v.size(); ++i) {
        double x = v[i];
        if (fit == ImportFit::Peak && peak > 0)
            x /= peak;
        else if (fit == ImportFit::Range && *hi > *lo)
            x = (x - *lo) / (*hi - *lo) * 2.0 - 1.0;
        out[i] = static_cast<float>(std::clamp(x, -1.0, 1.0));
    }
    return out;
}

} // namespace ww
