#include "twipslayout.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace ww {

ScreenInfo primaryScreenInfo() {
    return [] {
        const QScreen* screen = QGuiApplication::primaryScreen();
        return screen ? screen->availableGeometry().size() : QSize(800, 600);
    };
}

ScreenScale screenScaleFor(QSize workArea) {
    ScreenScale s;
    s.x = static_cast<float>(workArea.width()) / 800.0f;
    s.y = static_cast<float>(workArea.height()) / 600.0f;
    return s;
}

void TwipsLayout::add(QWidget* control, double left, double top, double width, double height) {
    const QRectF r(left, top, width, height);
    m_entries.push_back({control, r, r});
}

void TwipsLayout::fit(const ScreenScale& scale) {
    for (Entry& e : m_entries) {
        e.scaled = QRectF(e.design.left() * scale.x, e.design.top() * scale.y,
                          e.design.width() * scale.x, e.design.height() * scale.y);
        e.control->setGeometry(toPixels(e.scaled));
        QFont f = e.control->font();
        f.setPointSizeF(kDesignFontPoints * scale.x);
        e.control->setFont(f);
    }
}

QRectF TwipsLayout::twips(const QWidget* control) const {
    for (const Entry& e : m_entries)
        if (e.control == control)
            return e.scaled;
    return QRectF();
}

QRect TwipsLayout::toPixels(const QRectF& t) {
    auto px = [](double v) { return static_cast<int>(std::lround(v / kTwipsPerPixel)); };
    return QRect(px(t.left()), px(t.top()), px(t.width()), px(t.height()));
}

} // namespace ww
