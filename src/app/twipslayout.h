#pragma once

#include <QRectF>
#include <QSize>
#include <QWidget>
#include <functional>
#include <vector>

namespace ww {

// Window and control geometry is designed in twips for a work area of 800 x 600 pixels, where
// one pixel is 15 twips.
constexpr double kTwipsPerPixel = 15.0;
constexpr double kDesignFontPoints = 7.0; // the wide free fonts need less than 8 points

// Work-area size in pixels (the desktop not covered by task bars). Injectable for tests.
using ScreenInfo = std::function<QSize()>;
ScreenInfo primaryScreenInfo();

struct ScreenScale {
    float x = 1.0f; // ScreenScaleX: work-area width / 800
    float y = 1.0f; // ScreenScaleY: work-area height / 600
};
ScreenScale screenScaleFor(QSize workArea);

// The controls of one window with their design geometry; FitFormToScreen scales them all.
class TwipsLayout {
  public:
    void add(QWidget* control, double left, double top, double width, double height);
    // Scales every control and its font, and places it in pixels.
    void fit(const ScreenScale& scale);

    // The scaled geometry of a control in twips; an empty rectangle for an unknown one.
    QRectF twips(const QWidget* control) const;
    static QRect toPixels(const QRectF& twips);

  private:
    struct Entry {
        QWidget* control;
        QRectF design;
        QRectF scaled;
    };
    std::vector<Entry> m_entries;
};

} // namespace ww
