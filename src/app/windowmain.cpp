#include "formmain.h"
#include "instrumentwindow.h"
#include "virtualgenerator.h"
#include "virtualoscilloscope.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <cstdio>
#include <memory>

namespace ww {
// Ends the program once the window it watches has been painted.
class FirstPaintExit : public QObject {
  public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        return QObject::eventFilter(watched, event);
    }
};
} // namespace ww

// The program's start when it shows its window: the executable loads this module for it.
extern "C" Q_DECL_EXPORT int wavewright_window_main(int argc, char* argv[]) {
    // The command line is read before the window system is needed, so --help works anywhere.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QStringLiteral("Creates arbitrary waveforms and loads them into a Vorrel generator.\n"
                       "Without a window: wavewright send|capture|convert|ports|expr "
                       "(--help on each)."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral("Points COMn (1 to 4) at a serial device, for example "
                       "COM1=/dev/ttyUSB0. Repeatable. Without it COM1..COM4 are "
                       "/dev/ttyS0../dev/ttyS3."),
        QStringLiteral("COMn=device"));
    const QCommandLineOption demo(
        QStringLiteral("demo"),
        QStringLiteral("Connects COM1 to a built-in virtual generator, shown in a window of its "
                       "own, and COM2 to a virtual oscilloscope whose CH1 shows what the "
                       "generator last received: try the program without instruments."));
    QCommandLineOption exitAfterPaint(QStringLiteral("exit-after-first-paint"),
                                      QStringLiteral("Ends once the main window has painted "
                                                     "(start-up measurements)."));
    exitAfterPaint.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(port);
    parser.addOption(demo);
    parser.addOption(exitAfterPaint);
    if (!parser.parse(arguments)) {
        // Qt's own options (-platform, -style, ...) are QApplication's to take.
        static const QStringList qtOptions = {
            "platform", "platformtheme", "plugin",          "style",   "stylesheet",
            "display",  "geometry",      "qwindowgeometry", "reverse", "widgetcount"};
        for (const QString& name : parser.unknownOptionNames()) {
            if (!qtOptions.contains(name)) {
                std::fprintf(stderr, "wavewright: %s\n", qPrintable(parser.errorText()));
                return 2;
            }
        }
    }
    if (parser.isSet(help)) {
        std::printf("%s", qPrintable(parser.helpText().replace(QStringLiteral("<executable_name>"),
                                                               QStringLiteral("wavewright"))));
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("wavewright %s\n", WAVEWRIGHT_VERSION);
        return 0;
    }

    ww::FormMainOptions options;
    for (const QString& assignment : parser.values(port)) {
        if (!options.ports.parseAssignment(assignment)) {
            std::fprintf(stderr, "wavewright: --port wants COMn=device, not '%s'\n",
                         qPrintable(assignment));
            return 2;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("wavewright"));
    QApplication::setApplicationVersion(QStringLiteral(WAVEWRIGHT_VERSION));
    std::unique_ptr<ww::virt::VirtualGenerator> generator;
    std::unique_ptr<ww::virt::GeneratorWindow> generatorWindow;
    std::unique_ptr<ww::virt::VirtualOscilloscope> oscilloscope;
    if (parser.isSet(demo)) {
        generator = std::make_unique<ww::virt::VirtualGenerator>();
        if (!generator->isOpen()) {
            std::fprintf(stderr, "wavewright: cannot open a pseudo-terminal for the demo\n");
            return 1;
        }
        options.ports.setDevice(1, generator->devicePath());
        oscilloscope = std::make_unique<ww::virt::VirtualOscilloscope>();
        if (oscilloscope->isOpen()) {
            options.ports.setDevice(2, oscilloscope->devicePath());
            oscilloscope->curveProvider = [g = generator.get()]() {
                const auto waves = g->waveforms();
                const auto wave = waves.value(g->lastNumber());
                return ww::virt::VirtualOscilloscope::curveFromSamples(wave.samples());
            };
        }
        generatorWindow = std::make_unique<ww::virt::GeneratorWindow>(*generator);
    }

    ww::FormMain window(options);
    ww::FirstPaintExit firstPaint;
    if (parser.isSet(exitAfterPaint))
        window.installEventFilter(&firstPaint);
    window.show();
    if (generatorWindow) {
        generatorWindow->move(window.frameGeometry().bottomLeft() + QPoint(0, 8));
        generatorWindow->show();
    }
    return QApplication::exec();
}
