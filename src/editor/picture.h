#pragma once

#include "model/store.h"

#include <QRect>
#include <QSize>
#include <QString>

class QPainter;

namespace ww {

// The waveform as the canvas shows it in its full view (grid, trace, value and index labels)
// painted at any size: for pictures in reports.
void drawPicture(QPainter& painter, QSize size, const WaveStore& store);
// The plot area inside a picture of `size` (the rest holds the labels).
QRect pictureArea(QSize size);
// A PNG or an SVG picture (by the name's extension), written whole or not at all; an empty
// string or why it failed.
QString savePicture(const QString& path, QSize size, const WaveStore& store);

} // namespace ww
