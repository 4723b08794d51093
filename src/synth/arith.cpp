#include "arith.h"

#include "model/numbers.h"
#include "model/numbertext.h"

#include <algorithm>
#include <cmath>

namespace ww {

void mixWithFile(WaveStore& s, const std::vector<float>& file, int n, bool subtract) {
    n = std::clamp(n, 0, std::min<int>(kMaxLength, static_cast<int>(file.size())));
    if (n > s.ArbLength)
        s.ArbLength = static_cast<float>(n);
    const int len = s.length();
    const int last = subtract ? len : len - 1;
    for (int i = 0; i <= last; ++i) {
        const double v = i <= n - 1 ? file[static_cast<std::size_t>(i)] : 0.0;
        const double a = s.ArbData[i];
        s.ArbData[i] = static_cast<float>(subtract ? (a - v) / 2.0 : a / 2.0 + v / 2.0);
    }
}

void symmetryX(WaveStore& s) {
    const int len = s.length();
    for (int i = 0; i < len; ++i)
        s.ArbData[i] = -s.ArbData[i];
}

void symmetryY(WaveStore& s) {
    const int len = s.length();
    const int h = (len - 1) / 2;
    for (int i = 0; i <= h; ++i)
        std::swap(s.ArbData[i], s.ArbData[len - 1 - i]);
}

static bool refused(float factor) {
    return factor > -1.0f && factor < 1.0f;
}

bool amplitudeDivide(WaveStore& s, float d) {
    if (refused(d) || std::isnan(d))
        return false;
    const int len = s.length();
    for (int i = 0; i < len; ++i)
        s.ArbData[i] = static_cast<float>(static_cast<double>(s.ArbData[i]) / d);
    return true;
}

bool amplitudeMultiply(WaveStore& s, float m) {
    if (refused(m) || std::isnan(m))
        return false;
    const int len = s.length();
    for (int i = 0; i < len; ++i) {
        double p = static_cast<double>(m) * s.ArbData[i];
        if (p > 1.0)
            p = 1.0;
        if (p < -1.0)
            p = -1.0;
        s.ArbData[i] = static_cast<float>(p);
    }
    return true;
}

bool amplitudeNormalize(WaveStore& s) {
    const int len = s.length();
    float peak = 0.0f;
    for (int i = 0; i < len; ++i)
        peak = std::max(peak, std::abs(s.ArbData[i]));
    if (peak == 0.0f || peak == 1.0f || !std::isfinite(peak))
        return false;
    for (int i = 0; i < len; ++i)
        s.ArbData[i] = static_cast<float>(static_cast<double>(s.ArbData[i]) / peak);
    return true;
}

bool frequencyMultiply(WaveStore& s, int k) {
    if (k < 1)
        return false;
    const int len = s.length();
    const int g = len / k;
    for (int i = 0; i < g; ++i)
        s.ArbData[i] = s.ArbData[static_cast<std::size_t>(i) * k];
    for (int i = g; i < len; ++i)
        s.ArbData[i] = 0.0f;
    for (int j = 1; j < k && g > 0; ++j)
        for (int i = 0; i < g; ++i)
            s.ArbData[j * g + i] = s.ArbData[i];
    return true;
}

float factorFromAnswer(const std::optional<QString>& answer) {
    if (!answer)
        return 1.0f;
    return parseSingle(*answer).value_or(1.0f);
}

int coefficientFromAnswer(const std::optional<QString>& answer) {
    if (!answer)
        return 1;
    // Rounded from the answer as typed, not from its single-precision neighbour.
    const std::optional<double> v = parseNumber(*answer);
    if (!v || roundHalfEven(*v) > 32767.0 || roundHalfEven(*v) < -32768.0)
        return 1;
    return toInt16(*v);
}

} // namespace ww
