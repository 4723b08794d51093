#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

namespace ww {
// Ends the program once the window it watches has been painted (for timing the start-up).
class FirstPaintExit : public QObject {
  public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        return QObject::eventFilter(watched, event);
    }
};
} // namespace ww
