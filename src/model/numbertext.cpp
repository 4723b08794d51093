#include "numbertext.h"

#include <charconv>
#include <cmath>

#include "store.h"

#include <cmath>

namespace ww {

QString formatThreeDecimals(double v) {
    if (!std::isfinite(v))
        v = 0.0;
    double r = std::round(v * 1000.0) / 1000.0; // the pattern rounds half away from zero
    if (r == 0.0)
        r = 0.0;
    return QString::number(r, 'f', 3); // always with the point
}

std::optional<std::int32_t> parseWholeNumber(const QString& text) {
    const QString t = text.trimmed();
    bool ok = false;
    const qlonglong v = t.toLongLong(&ok, 10);
    if (!ok || v > 2147483647LL || v < -2147483648LL)
        return std::nullopt;
    return static_cast<std::int32_t>(v);
}

std::optional<double> parseNumber(const QString& text) {
    QString t = text.trimmed();
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    if (t.isEmpty())
        return std::nullopt;
    bool ok = false;
    const double v = t.toDouble(&ok); // always the point, whatever the locale
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<float> parseSingle(const QString& text) {
    const std::optional<double> v = parseNumber(text);
    if (!v || std::abs(*v) > 3.4028234663852886e38)
        return std::nullopt;
    return static_cast<float>(*v);
}

// What a well-formed decimal number out of the double range stands for: ±inf beyond it, ±0
// below it. Its size is the place of its first digit that is not 0 plus its exponent.
double beyondDoubleRange(const char* b, const char* e) {
    const bool negative = b < e && *b == '-';
    if (b < e && (*b == '-' || *b == '+'))
        ++b;
    long long place = 0; // of the first significant digit, 1 for the units
    bool seen = false, point = false;
    const char* p = b;
    for (; p < e && *p != 'e' && *p != 'E'; ++p) {
        if (*p == '.') {
            point = true;
        } else if (*p != '0' || seen) {
            seen = true;
            if (!point)
                ++place;
        } else if (point && !seen) {
            --place;
        }
    }
    long long exponent = 0;
    if (p < e) {
        const auto x = std::from_chars(p + 1 + (p + 1 < e && p[1] == '+'), e, exponent);
        if (x.ec == std::errc::result_out_of_range)
            exponent = p + 1 < e && p[1] == '-' ? -(1LL << 40) : (1LL << 40);
    }
    const double size = place + static_cast<double>(exponent);
    const double v = size > 0 ? HUGE_VAL : 0.0;
    return negative ? -v : v;
}

QString lengthMessage() {
    return QStringLiteral("Arbitrary length from ") + QString::number(kMinLength) +
           QStringLiteral(" to ") + QString::number(kMaxLength) + QStringLiteral(" ");
}

} // namespace ww
