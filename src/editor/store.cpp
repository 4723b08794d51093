#include "store.h"

#include "numbers.h"

#include <cmath>
#include <cstdio>

namespace ww {

int WaveStore::length() const {
    return clampIndex(toInt32(ArbLength));
}

void clearSamples(WaveStore& store) {
    const int n = store.length();
    for (int i = 0; i <= n; ++i)
        store.ArbData[i] = 0.0f;
}

void FillToPoint(WaveStore& store, int anchor, int x, float y) {
    const int a = WaveStore::clampIndex(anchor);
    x = WaveStore::clampIndex(x);
    const double va = store.ArbData[a];
    auto at = [&](int i) {
        // long double keeps the product and quotient exact enough that the end point is y.
        const long double v = (static_cast<long double>(y) - va) * (i - a) / (x - a) + va;
        store.ArbData[i] = static_cast<float>(v);
    };
    if (a < x) {
        for (int i = a + 1; i <= x; ++i)
            at(i);
    } else if (a > x) {
        for (int i = x; i <= a - 1; ++i)
            at(i);
    } else {
        store.ArbData[x] = y;
    }
}

QString FormatSample(float v) {
    char buf[64];
    double d = static_cast<double>(v);
    if (!std::isfinite(d))
        d = 0.0;
    // The "0.000" pattern rounds half away from zero.
    double r = std::round(d * 1000.0) / 1000.0;
    if (r == 0.0)
        r = 0.0; // no "-0.000"
    std::snprintf(buf, sizeof buf, "%.3f", r);
    const QString text = QLatin1Char(' ') + QString::fromLatin1(buf);
    return text.right(6);
}

} // namespace ww
