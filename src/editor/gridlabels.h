#pragma once

#include "view.h"

#include <QRectF>
#include <QString>
#include <array>

namespace ww {

// Axis labels beside and under the canvas, in window twips.
struct AxisLabel {
    double left = 0.0;
    double top = 0.0;
    QString caption;
};

struct AxisLabels {
    std::array<AxisLabel, 11> values;  // Label_Y_coordinate: "1.00" down to "-1.00"
    std::array<AxisLabel, 11> indices; // Label_X_coordinate: follow the view
};

// canvasTwips is the canvas's outer rectangle in the window, in (scaled) twips.
AxisLabels axisLabelsFor(const ViewState& view, const QRectF& canvasTwips, float screenScaleX,
                         float screenScaleY);

// A 32-bit float as the shortest decimal text of up to 7 significant digits ("20.1", "201").
QString shortFloatText(float v);

} // namespace ww
