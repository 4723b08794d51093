// A virtual Vorrel generator on a pseudo-terminal, for trying the program by hand:
//   vorrel-generator            prints the device to pass as --port COM1=<device>
#include "virtualgenerator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A virtual Vorrel generator on a pseudo-terminal. Prints the device to "
                       "pass to wavewright as --port COM1=DEVICE, then every line it receives "
                       "and the format faults found in that line, until it is stopped."));
    parser.addHelpOption();
    parser.process(app);
    ww::virt::VirtualGenerator generator;
    if (!generator.isOpen()) {
        std::fprintf(stderr, "cannot open a pseudo-terminal\n");
        return 1;
    }
    std::printf("%s\n", qPrintable(generator.devicePath()));
    std::fflush(stdout);
    QObject::connect(&generator, &ww::virt::VirtualGenerator::lineChecked,
                     [](const QByteArray& line, const QStringList& faults) {
                         std::printf("%s%s\n", line.left(60).constData(),
                                     line.size() > 60 ? "..." : "");
                         for (const QString& e : faults)
                             std::printf("  format error: %s\n", qPrintable(e));
                         std::fflush(stdout);
                     });
    return QCoreApplication::exec();
}
