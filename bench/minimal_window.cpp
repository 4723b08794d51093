// The baseline for start-up: a minimal Qt Widgets program that shows an empty main window and
// ends once it has painted.
#include "app/firstpaintexit.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.resize(800, 456);
    ww::FirstPaintExit exit;
    window.installEventFilter(&exit);
    window.show();
    return QApplication::exec();
}
