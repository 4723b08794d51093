#pragma once

#include "waveeditor.h"

#include <QFrame>

namespace ww {

// Picture_Arb: shows the editor's retained image and turns mouse positions into the canvas's
// user coordinates for freehand drawing.
class CanvasWidget : public QFrame {
    Q_OBJECT
  public:
    explicit CanvasWidget(WaveEditor& editor, QWidget* parent = nullptr);

    // Widget pixel position -> canvas user coordinates.
    QPointF toUser(QPointF widgetPos) const;
    // Canvas user coordinates -> widget pixel position (the pixel the sample is drawn on).
    QPoint toWidget(double userX, double userY) const;

  signals:
    void pressed(); // before a press is handled, so the window can move the focus first

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    WaveEditor& m_editor;
};

} // namespace ww
