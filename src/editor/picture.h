#pragma once

#include "model/store.h"

#include <QRect>
#include <QSize>
#include <QString>
#include <functional>

class QPainter;

namespace ww {

// The waveform as the canvas shows it in its full view (grid, trace, value and index labels)
// painted at any size: for pictures in reports.
void drawPicture(QPainter& painter, QSize size, const WaveStore& store);
// The plot area inside a picture of `size` (the rest holds the labels).
QRect pictureArea(QSize size);
// The bytes of a PNG or an SVG picture ("png", "svg"); empty when it cannot be made.
QByteArray pictureBytes(const QString& format, QSize size, const WaveStore& store);
// The same for anything `draw` paints at that size.
QByteArray paintedBytes(const QString& format, QSize size,
                        const std::function<void(QPainter&)>& draw);

} // namespace ww
