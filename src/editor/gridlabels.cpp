#include "gridlabels.h"

#include <charconv>

namespace ww {

QString shortFloatText(float v) {
    // std::to_chars writes the point whatever the user's locale.
    char buf[32];
    const auto r =
        std::to_chars(buf, buf + sizeof buf, static_cast<double>(v), std::chars_format::general, 7);
    return QString::fromLatin1(buf, r.ptr - buf);
}

AxisLabels axisLabelsFor(const ViewState& view, const QRectF& canvas, float sx, float sy) {
    static const char* const kValueCaptions[11] = {"1.00",  "0.80",  "0.60",  "0.40",
                                                   "0.20",  "0.00",  "-0.20", "-0.40",
                                                   "-0.60", "-0.80", "-1.00"};
    AxisLabels labels;
    for (int k = 0; k < 11; ++k) {
        AxisLabel& l = labels.values[k];
        l.left = canvas.left() - 600.0 * sx;
        l.top = canvas.top() - 80.0 * sy + k * canvas.height() / 10.0;
        l.caption = QString::fromLatin1(kValueCaptions[k]);
    }
    const double span = view.ViewSpan;
    const double w = span > 0 ? canvas.width() * span / (span / 550.0 + span) : canvas.width();
    for (int k = 0; k < 11; ++k) {
        AxisLabel& l = labels.indices[k];
        l.left = k * w / 10.0 + canvas.left() - 100.0 * sx;
        l.top = canvas.top() + canvas.height() + 100.0 * sy;
        l.caption = shortFloatText(static_cast<float>(k * span / 10.0 + view.ViewStart));
    }
    return labels;
}

} // namespace ww
