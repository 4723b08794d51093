#include "gridlabels.h"

#include <cstdio>

namespace ww {

QString shortFloatText(float v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.7g", static_cast<double>(v));
    return QString::fromLatin1(buf);
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
