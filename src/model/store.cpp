#include "store.h"

#include "numbers.h"

#include <charconv>
#include <cmath>

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

void appendFormattedSample(QByteArray& out, float v) {
    double d = static_cast<double>(v);
    if (!std::isfinite(d))
        d = 0.0;
    // The "0.000" pattern rounds half away from zero; a rounded zero has no sign.
    const double scaled = std::round(d * 1000.0);
    char buf[64];
    int len = 0;
    if (std::abs(scaled) < 1e15) {
        long long n = static_cast<long long>(scaled);
        const bool negative = n < 0;
        if (negative)
            n = -n;
        char digits[24];
        int k = 0;
        // Three decimals, the point, then at least one whole digit, written backwards.
        for (int i = 0; i < 3; ++i, n /= 10)
            digits[k++] = static_cast<char>('0' + n % 10);
        digits[k++] = '.';
        do {
            digits[k++] = static_cast<char>('0' + n % 10);
            n /= 10;
        } while (n > 0);
        if (negative)
            digits[k++] = '-';
        while (k > 0)
            buf[len++] = digits[--k];
    } else {
        const auto r =
            std::to_chars(buf, buf + sizeof buf, scaled / 1000.0, std::chars_format::fixed, 3);
        len = static_cast<int>(r.ptr - buf);
    }
    // A blank in front fills the text to six characters; a longer text is written whole, so
    // that a value outside -9.999..99.999 still reads back as itself.
    if (len < 6)
        out.append(' ');
    out.append(buf, len);
}

QString FormatSample(float v) {
    QByteArray text;
    appendFormattedSample(text, v);
    return QString::fromLatin1(text);
}

} // namespace ww
