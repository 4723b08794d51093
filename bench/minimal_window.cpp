// The baseline for start-up: a minimal Qt Widgets program that shows an empty main window and
// ends once it has painted.
#include <QApplication>
#include <QMainWindow>
#include <QTimer>

namespace {
class FirstPaintExit : public QObject {
  public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        return QObject::eventFilter(watched, event);
    }
};
} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.resize(800, 456);
    FirstPaintExit exit;
    window.installEventFilter(&exit);
    window.show();
    return QApplication::exec();
}
