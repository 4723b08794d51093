// A virtual Vorrel generator on a pseudo-terminal, for trying the program by hand:
//   vorrel-generator            prints the device to pass as --port COM1=<device>
#include "virtualgenerator.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    ww::virt::VirtualGenerator generator;
    if (!generator.isOpen()) {
        std::fprintf(stderr, "cannot open a pseudo-terminal\n");
        return 1;
    }
    std::printf("%s\n", qPrintable(generator.devicePath()));
    std::fflush(stdout);
    QObject::connect(
        &generator, &ww::virt::VirtualGenerator::lineReceived, [&](const QByteArray& line) {
            std::printf("%s%s\n", line.left(60).constData(), line.size() > 60 ? "..." : "");
            for (const QString& e : generator.formatErrors())
                std::printf("  format error: %s\n", qPrintable(e));
            std::fflush(stdout);
        });
    return QCoreApplication::exec();
}
