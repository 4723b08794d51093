#include "shapes.h"

#include <cmath>

namespace ww {

void makeSquare(WaveStore& s) {
    const int n = s.length();
    const int h = n / 2;
    for (int i = 0; i < h; ++i)
        s.ArbData[i] = 1.0f;
    for (int i = h; i <= n; ++i)
        s.ArbData[i] = -1.0f;
}

template <typename F> static void periodic(WaveStore& s, F f) {
    const int n = s.length();
    const double len = s.ArbLength;
    for (int i = 0; i <= n; ++i) {
        const double angle = static_cast<double>(2 * i) * static_cast<double>(kShapePi) / len;
        s.ArbData[i] = static_cast<float>(f(angle));
    }
}

void makeSine(WaveStore& s) {
    periodic(s, [](double a) { return std::sin(a); });
}

void makeCosine(WaveStore& s) {
    periodic(s, [](double a) { return std::cos(a); });
}

void makeTriangle(WaveStore& s) {
    const int n = s.length();
    const int h = n / 2;
    if (h < 1)
        return;
    const float step = static_cast<float>(2.0 / h);
    for (int i = 0; i <= h; ++i)
        s.ArbData[i] = static_cast<float>(static_cast<double>(step) * i - 1.0);
    const float top = static_cast<float>((static_cast<double>(s.ArbLength) - 1.0) * step +
                                         static_cast<double>(s.ArbData[1]));
    for (int i = h + 1; i <= n; ++i)
        s.ArbData[i] = static_cast<float>(static_cast<double>(top) - static_cast<double>(step) * i);
}

void makePositiveRamp(WaveStore& s) {
    const int n = s.length();
    for (int i = 0; i <= n; ++i)
        s.ArbData[i] = static_cast<float>(static_cast<double>(2 * i) / s.ArbLength - 1.0);
}

void makeNegativeRamp(WaveStore& s) {
    const int n = s.length();
    for (int i = 0; i <= n; ++i)
        s.ArbData[i] = static_cast<float>(1.0 - static_cast<double>(2 * i) / s.ArbLength);
}

} // namespace ww
