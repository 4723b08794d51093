#include "cli/commandline.h"
#include "editor/picture.h"
#include "files/nativefile.h"
#include "firstpaintexit.h"
#include "formmain.h"
#include "instrumentwindow.h"
#include "transfer.h"
#include "virtualbench.h"
#include "virtualscpi.h"
#include "virtualscpiscope.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QGuiApplication>
#include <QTimer>
#include <cstdio>
#include <memory>

// A command that writes a picture: the command line with the drawing libraries of this
// module, and no window (an offscreen platform unless one is chosen).
extern "C" Q_DECL_EXPORT int wavewright_picture_main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ww::addPictureFormats();
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << ww::pathFromNative(QByteArray(argv[i]));
    return ww::cli::run(arguments);
}

// The program's start when it shows its window: the executable loads this module for it.
extern "C" Q_DECL_EXPORT int wavewright_window_main(int argc, char* argv[]) {
    // The command line is read before the window system is needed, so --help works anywhere.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << ww::pathFromNative(QByteArray(argv[i]));
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QStringLiteral("Creates arbitrary waveforms and loads them into a Vorrel generator.\n"
                       "Without a window: wavewright %1 (--help on each).")
            .arg(ww::cli::commandNames().join(QLatin1Char('|'))));
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
        QStringLiteral("Connects COM1 to a built-in virtual bench: a generator and an "
                       "oscilloscope on the same port, the oscilloscope's CH1 showing three "
                       "periods of what the generator last received. Try the program without "
                       "instruments."));
    QCommandLineOption exitAfterPaint(QStringLiteral("exit-after-first-paint"),
                                      QStringLiteral("Ends once the main window has painted "
                                                     "(start-up measurements)."));
    exitAfterPaint.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(port);
    parser.addOption(demo);
    parser.addOption(exitAfterPaint);
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("A waveform file to open, or any other file the "
                                                "program reads to import."),
                                 QStringLiteral("[FILE]"));
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

    if (parser.positionalArguments().size() > 1) {
        std::fprintf(stderr, "wavewright: one file at a time, not %lld\n",
                     static_cast<long long>(parser.positionalArguments().size()));
        return 2;
    }
    // Without a display Qt would abort; say so, and what works without one.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        !arguments.contains(QStringLiteral("-platform"))) {
        std::fprintf(stderr,
                     "wavewright: no display to show the window on (DISPLAY is not set); "
                     "without a window: wavewright %s (--help on each).\n",
                     qPrintable(ww::cli::commandNames().join(QLatin1Char('|'))));
        return 1;
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
    std::unique_ptr<ww::virt::VirtualBench> bench;
    std::unique_ptr<ww::virt::VirtualScpiGenerator> scpi;
    std::unique_ptr<ww::virt::VirtualScpiScope> scpiScope;
    std::unique_ptr<ww::virt::GeneratorWindow> generatorWindow;
    std::unique_ptr<ww::virt::OscilloscopeWindow> scopeWindow;
    if (parser.isSet(demo)) {
        // One bench on COM1: the generator takes the upload, the oscilloscope answers Set Link
        // and Read Data on the same port and shows the generator's output on CH1.
        bench = std::make_unique<ww::virt::VirtualBench>();
        if (!bench->isOpen()) {
            std::fprintf(stderr, "wavewright: cannot open a pseudo-terminal for the demo\n");
            return 1;
        }
        // As a real bench shows it: a few periods, not from the start, a probe's gain and
        // offset, a little noise. Compare with Sent still finds them a match.
        bench->oscilloscope().screen = {3.0, 30, 0.9, 0.02, 0, 0.005, 1};
        // For this run only: a device remembered for COM1 or COM2 does not take their place.
        options.ports.parseAssignment(QStringLiteral("COM1=") + bench->devicePath());
        // And a SCPI generator on the network as COM2, for Other > Send to Instrument….
        scpi = std::make_unique<ww::virt::VirtualScpiGenerator>();
        options.ports.parseAssignment(QStringLiteral("COM2=") + scpi->address());
        // Its output is on CH1 too, so that Compare with Sent checks either upload.
        bench->showAlso([generator = scpi.get()] {
            const auto held = generator->waveforms().value(generator->selected()).samples;
            return QVector<float>(held.begin(), held.end());
        });
        // And a SCPI oscilloscope on the network as COM3 showing the SCPI generator's output,
        // for Oscilloscope > Read from Instrument… with any shipped profile.
        scpiScope = std::make_unique<ww::virt::VirtualScpiScope>();
        scpiScope->screen = {3.0, 30, 0.9, 0.02, 0, 0.005, 1};
        scpiScope->input = [generator = scpi.get()] {
            const auto held = generator->waveforms().value(generator->selected()).samples;
            return QVector<float>(held.begin(), held.end());
        };
        options.ports.parseAssignment(QStringLiteral("COM3=") + scpiScope->address());
        const QString where =
            QStringLiteral("Demo bench on COM1 (%1): send a waveform, then Oscilloscope > "
                           "Set Link and Read Data bring it back, or Compare with Sent checks "
                           "it. COM2 is a SCPI generator at %2, for Other > Send to "
                           "Instrument…; COM3 a SCPI oscilloscope at %3 showing it, for "
                           "Oscilloscope > Read from Instrument… (channel CHAN1, C1 or CH1).")
                .arg(bench->devicePath(), scpi->address(), scpiScope->address());
        generatorWindow = std::make_unique<ww::virt::GeneratorWindow>(bench->generator(), where);
        scopeWindow = std::make_unique<ww::virt::OscilloscopeWindow>(
            bench->oscilloscope(),
            QStringLiteral("CH1 shows what a generator last received (COM1 or COM2): three "
                           "periods; a flat line until one has."));
    }

    ww::FormMain window(options);
    ww::FirstPaintExit firstPaint;
    if (parser.isSet(exitAfterPaint))
        window.installEventFilter(&firstPaint);
    window.show();
    if (!parser.positionalArguments().isEmpty()) {
        const QString file = parser.positionalArguments().front();
        QTimer::singleShot(0, &window, [&window, file] { window.openFile(file); });
    }
    if (generatorWindow) {
        generatorWindow->move(window.frameGeometry().bottomLeft() + QPoint(0, 8));
        generatorWindow->show();
        scopeWindow->move(generatorWindow->frameGeometry().topRight() + QPoint(8, 0));
        scopeWindow->show();
    }
    return QApplication::exec();
}
