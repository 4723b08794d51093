#include "picture.h"

#include "canvasimage.h"
#include "gridlabels.h"
#include "view.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

namespace ww {

QRect pictureArea(QSize size) {
    // Room for the value labels at the left and the index labels below.
    return QRect(QPoint(56, 12), size - QSize(56 + 24, 12 + 36));
}

void drawPicture(QPainter& p, QSize size, const WaveStore& store) {
    const QRect area = pictureArea(size);
    p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    // The canvas's own drawing at the area's size, so the trace lies where the canvas has it.
    const ViewState view = fullView(store.ArbLength);
    CanvasImage canvas(area.size());
    canvas.setScale(canvasScaleFor(view));
    const CanvasScale& s = canvasScaleFor(view);
    for (int k = 1; k <= 10; ++k) {
        const double x = k * view.ViewSpan / 10.0 + s.CanvasLeft;
        canvas.drawLine(x, s.CanvasTop, x, -1000000.0, kGridColor);
    }
    for (int k = 1; k <= 50; ++k) { // the ticks on the zero line
        const double x = k * view.ViewSpan / 50.0 + s.CanvasLeft;
        canvas.drawLine(x, -40000.0, x, 40000.0, kGridColor);
    }
    for (int k = -5; k <= 5; ++k)
        canvas.drawLine(0, k * 200000.0, view.ViewSpan, k * 200000.0, kGridColor);
    canvas.drawTrace(0, store.ArbData.data(), store.length() + 1, kTraceColor);
    p.drawImage(area.topLeft(), canvas.image());
    // The labels, as the window places them beside the canvas.
    p.setPen(Qt::black);
    const AxisLabels labels = axisLabelsFor(view, QRectF(0, 0, 1, 1), 1, 1);
    const CanvasMapping& map = canvas.mapping();
    for (int k = 0; k <= 10; ++k) {
        const int y = area.top() + map.rowOf(1000000.0 - k * 200000.0);
        p.drawText(QRect(0, y - 8, area.left() - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
                   labels.values[k].caption);
        const int x = area.left() + map.columnOf(k * view.ViewSpan / 10.0);
        p.drawText(QRect(x - 40, area.bottom() + 6, 80, 16), Qt::AlignHCenter | Qt::AlignTop,
                   labels.indices[k].caption);
    }
}

QByteArray pictureBytes(const QString& format, QSize size, const WaveStore& store) {
    return paintedBytes(format, size, [&](QPainter& p) { drawPicture(p, size, store); });
}

QByteArray paintedBytes(const QString& format, QSize size,
                        const std::function<void(QPainter&)>& draw) {
    QByteArray bytes;
    QBuffer file(&bytes);
    file.open(QIODevice::WriteOnly);
    bool written = true;
    if (format == QLatin1String("svg")) {
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(QStringLiteral("Waveform"));
        QPainter p(&svg);
        draw(p);
    } else {
        QImage image(size, QImage::Format_RGB32);
        QPainter p(&image);
        draw(p);
        p.end();
        written = image.save(&file, "PNG");
    }
    return written ? bytes : QByteArray();
}

} // namespace ww
