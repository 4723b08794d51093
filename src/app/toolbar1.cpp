#include "toolbar1.h"

#include <QAction>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace ww {

const QStringList& toolbarKeys() {
    static const QStringList keys = {"FileOpen", "FileSave", "WaveAdd", "WaveDec", "Draw", "Zoomin",
                                     "ZoomNo",   "Zoomout",  "Waveout", "Exit",    "Help"};
    return keys;
}

const QStringList& toolbarImages() {
    static const QStringList images = {"Open",   "Save",    "Add", "Dec",  "Draw", "Zoomin",
                                       "ZoomNo", "Zoomout", "Go",  "Stop", "Help"};
    return images;
}

const QStringList& toolbarTips() {
    static const QStringList tips = {"Open",      "Save",     "Add",  "Subtract", "Draw", "Zoom In",
                                     "Full view", "Zoom Out", "Send", "Exit",     "Help"};
    return tips;
}

namespace {
void drawWave(QPainter& p, QRectF r, const QColor& c) {
    QPainterPath path;
    for (int i = 0; i <= 20; ++i) {
        const double x = r.left() + r.width() * i / 20.0;
        const double y = r.center().y() - r.height() / 2 * std::sin(i / 20.0 * 2 * M_PI);
        i == 0 ? path.moveTo(x, y) : path.lineTo(x, y);
    }
    p.setPen(QPen(c, 1.2));
    p.drawPath(path);
}

void drawMagnifier(QPainter& p, const QString& mark) {
    p.setPen(QPen(QColor(40, 40, 40), 1.6));
    p.setBrush(QColor(220, 235, 255));
    p.drawEllipse(QRectF(2, 2, 10, 10));
    p.setPen(QPen(QColor(90, 60, 20), 2.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(11, 11), QPointF(16, 16));
    p.setPen(QPen(Qt::black, 1.4));
    if (mark == "+" || mark == "-")
        p.drawLine(QPointF(4.5, 7), QPointF(9.5, 7));
    if (mark == "+")
        p.drawLine(QPointF(7, 4.5), QPointF(7, 9.5));
    if (mark == "1") {
        QFont f;
        f.setPixelSize(7);
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRectF(2, 2, 10, 10), Qt::AlignCenter, QStringLiteral("1:1"));
    }
}
} // namespace

QIcon toolbarIcon(const QString& image) {
    // Silver (192, 192, 192) is the transparent colour of the images: start from it cleared.
    QPixmap pm(18, 18);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    if (image == "Open") {
        p.setPen(QColor(120, 90, 0));
        p.setBrush(QColor(250, 210, 80));
        p.drawRect(QRectF(1.5, 5.5, 14, 10));
        p.drawRect(QRectF(1.5, 3.5, 6, 2));
        p.setBrush(QColor(255, 235, 140));
        p.drawPolygon(QPolygonF({{4.5, 8.5}, {17, 8.5}, {15, 15.5}, {1.5, 15.5}}));
    } else if (image == "Save") {
        p.setPen(QColor(20, 20, 80));
        p.setBrush(QColor(60, 80, 170));
        p.drawRect(QRectF(1.5, 1.5, 15, 15));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 1.5, 9, 6));
        p.setBrush(QColor(200, 200, 200));
        p.drawRect(QRectF(4.5, 10.5, 9, 6));
    } else if (image == "Add" || image == "Dec") {
        drawWave(p, QRectF(1, 9, 16, 7), QColor(200, 0, 0));
        p.setPen(QPen(QColor(0, 110, 0), 2.2));
        p.drawLine(QPointF(4, 5), QPointF(14, 5));
        if (image == "Add")
            p.drawLine(QPointF(9, 0.5), QPointF(9, 9.5));
    } else if (image == "Draw") {
        p.setPen(QPen(QColor(60, 40, 0), 1));
        p.setBrush(QColor(240, 190, 60));
        p.drawPolygon(QPolygonF({{3, 15}, {4, 11}, {13, 2}, {16, 5}, {7, 14}}));
        p.setBrush(Qt::black);
        p.drawPolygon(QPolygonF({{3, 15}, {3.6, 12.6}, {5.4, 14.4}}));
    } else if (image == "Zoomin") {
        drawMagnifier(p, "+");
    } else if (image == "ZoomNo") {
        drawMagnifier(p, "1");
    } else if (image == "Zoomout") {
        drawMagnifier(p, "-");
    } else if (image == "Go") {
        drawWave(p, QRectF(1, 3, 9, 12), QColor(200, 0, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 150, 0));
        p.drawPolygon(QPolygonF({{10, 4}, {17, 9}, {10, 14}}));
    } else if (image == "Stop") {
        QPolygonF octagon;
        for (int k = 0; k < 8; ++k) {
            const double a = (k + 0.5) * M_PI / 4;
            octagon << QPointF(9 + 8 * std::cos(a), 9 + 8 * std::sin(a));
        }
        p.setPen(QColor(120, 0, 0));
        p.setBrush(QColor(210, 20, 20));
        p.drawPolygon(octagon);
        p.setPen(QPen(Qt::white, 2));
        p.drawLine(QPointF(5, 9), QPointF(13, 9));
    } else if (image == "Help") {
        p.setPen(QColor(0, 60, 140));
        p.setBrush(QColor(60, 130, 220));
        p.drawEllipse(QRectF(1, 1, 16, 16));
        QFont f;
        f.setPixelSize(13);
        f.setBold(true);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRectF(1, 1, 16, 16), Qt::AlignCenter, QStringLiteral("?"));
    }
    p.end();
    return QIcon(pm);
}

Toolbar1::Toolbar1(QWidget* parent) : QToolBar(parent) {
    setObjectName(QStringLiteral("Toolbar1"));
    setMovable(false);
    setFloatable(false);
    setIconSize(QSize(18, 18));
    for (int i = 0; i < toolbarKeys().size(); ++i) {
        const QString key = toolbarKeys()[i];
        QAction* a = addAction(toolbarIcon(toolbarImages()[i]), QString());
        a->setObjectName(QStringLiteral("Toolbar1_") + key);
        a->setToolTip(toolbarTips()[i]);
        connect(a, &QAction::triggered, this, [this, key] { emit buttonClick(key); });
    }
}

QAction* Toolbar1::button(const QString& key) const {
    return findChild<QAction*>(QStringLiteral("Toolbar1_") + key);
}

void Toolbar1::mousePressEvent(QMouseEvent* event) {
    emit barPressed();
    QToolBar::mousePressEvent(event);
}

} // namespace ww
