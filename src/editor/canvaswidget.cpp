#include "canvaswidget.h"

#include <QMouseEvent>
#include <QPainter>

namespace ww {

CanvasWidget::CanvasWidget(WaveEditor& editor, QWidget* parent) : QFrame(parent), m_editor(editor) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(&m_editor, &WaveEditor::canvasChanged, this, [this] {
        const QRect dirty = m_editor.canvas().takeDirty();
        if (!dirty.isEmpty())
            update(dirty.translated(contentsRect().topLeft()));
    });
}

QPointF CanvasWidget::toUser(QPointF pos) const {
    const QPointF p = pos - contentsRect().topLeft();
    const CanvasMapping& map = m_editor.canvas().mapping();
    return QPointF(map.userX(p.x()), map.userY(p.y()));
}

QPoint CanvasWidget::toWidget(double userX, double userY) const {
    const CanvasMapping& map = m_editor.canvas().mapping();
    return QPoint(map.columnOf(userX), map.rowOf(userY)) + contentsRect().topLeft();
}

void CanvasWidget::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.drawImage(contentsRect().topLeft(), m_editor.canvas().image());
    p.end();
    QFrame::paintEvent(event);
}

void CanvasWidget::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    m_editor.resizeCanvas(contentsRect().size());
    update();
}

void CanvasWidget::mousePressEvent(QMouseEvent* event) {
    emit pressed();
    const QPointF u = toUser(event->position());
    m_editor.mouseDown(event->button(), static_cast<float>(u.x()), static_cast<float>(u.y()));
}

void CanvasWidget::mouseMoveEvent(QMouseEvent* event) {
    const QPointF u = toUser(event->position());
    m_editor.mouseMove(static_cast<float>(u.x()), static_cast<float>(u.y()),
                       event->buttons().testFlag(Qt::LeftButton));
}

void CanvasWidget::mouseReleaseEvent(QMouseEvent*) {
    m_editor.mouseUp();
}

} // namespace ww
