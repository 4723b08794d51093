#include "latepress.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QMouseEvent>

namespace ww {

LatePressClicks::LatePressClicks(QAbstractButton* button) : QObject(button), m_button(button) {
    button->installEventFilter(this);
}

bool LatePressClicks::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_button && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
        !QGuiApplication::mouseButtons().testFlag(Qt::LeftButton)) {
        m_button->click();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace ww
