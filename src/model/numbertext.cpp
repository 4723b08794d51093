#include "numbertext.h"

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

QString lengthMessage() {
    return QStringLiteral("Arbitrary length from ") + QString::number(kMinLength) +
           QStringLiteral(" to ") + QString::number(kMaxLength) + QStringLiteral(" ");
}

} // namespace ww
