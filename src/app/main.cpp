#include "formmain.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("wavewright"));
    QApplication::setApplicationVersion(QStringLiteral(WAVEWRIGHT_VERSION));
    ww::FormMain window;
    window.show();
    return QApplication::exec();
}
