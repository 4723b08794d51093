#include "commandline.h"

#include "analysis/compare.h"
#include "analysis/spectrum.h"
#include "exchanges.h"
#include "files/formats.h"
#include "files/nativefile.h"
#include "files/wavefile.h"
#include "instruments/generatorlines.h"
#include "instruments/profile.h"
#include "lines/devices.h"
#include "lines/lineregistry.h"
#include "model/numbertext.h"
#include "synth/expression.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>

namespace ww::cli {

namespace {
void say(const QString& text) {
    std::fprintf(stderr, "wavewright: %s\n", qPrintable(text));
}

// The help of a line option: every kind the line registry knows.
QString lineHelp(const QString& byDefault) {
    QStringList kinds{QStringLiteral("COM1..COM4")};
    for (const LineKind& k : lineKinds())
        kinds << QStringLiteral("%1 (%2)").arg(k.form, k.summary);
    return kinds.join(QStringLiteral(", ")) + QStringLiteral(" (default %1).").arg(byDefault);
}

QString portRefusal(const QString& option, const QString& given) {
    return QStringLiteral("--%1 wants %2, not '%3'").arg(option, addressForms(), given);
}

// COM1..COM4 as the window resolves them: the devices chosen there, where there are any.
PortMap rememberedPorts() {
    PortMap ports;
    QSettings settings(QStringLiteral("wavewright"), QStringLiteral("wavewright"));
    loadPortChoices(settings, ports);
    return ports;
}

// One subcommand's options, its --help and its usage errors.
struct Command {
    QString name, arguments, summary;
    QCommandLineParser parser;
    QList<QCommandLineOption> options;

    Command(QString n, QString args, QString text)
        : name(std::move(n)), arguments(std::move(args)), summary(std::move(text)) {
        parser.setApplicationDescription(summary);
        parser.addHelpOption();
        parser.addPositionalArgument(arguments, QString());
    }
    QCommandLineOption add(const QString& option, const QString& help, const QString& value = {},
                           bool hidden = false) {
        QCommandLineOption o(option, help, value);
        if (hidden)
            o.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(o);
        return o;
    }
    int usage(const QString& why) const {
        std::fprintf(stderr, "wavewright %s: %s\nTry 'wavewright %s --help'.\n", qPrintable(name),
                     qPrintable(why), qPrintable(name));
        return kUsage;
    }
    // Parses; nullopt to go on, else the exit status (help shown, or a usage error).
    std::optional<int> parse(const QStringList& args, int positional) {
        if (!parser.parse(args))
            return usage(parser.errorText());
        if (parser.isSet(QStringLiteral("help"))) {
            QString help = parser.helpText();
            // Qt names the program by the path it was started with.
            help.replace(help.indexOf(QLatin1Char(' ')) + 1,
                         help.indexOf(QStringLiteral(" [")) - help.indexOf(QLatin1Char(' ')) - 1,
                         QStringLiteral("wavewright ") + name);
            std::printf("%s", qPrintable(help));
            return kOk;
        }
        if (parser.positionalArguments().size() != positional)
            return usage(QStringLiteral("wants %1").arg(arguments));
        return std::nullopt;
    }
};

// The line settings all exchanges share: --port, --baud, --parity, --quiet, --time-scale.
struct LineOptions {
    QCommandLineOption port, baud, parity, quiet, timeScale;
    LineOptions(Command& c, const QString& quietHelp, const QString& parityHelp,
                const QString& portName = QStringLiteral("port"),
                const QString& portHelp = lineHelp(QStringLiteral("COM1")))
        : port(c.add(portName, portHelp, "P")),
          baud(c.add("baud", "600, 1200, 2400, 4800 or 9600 (default 9600).", "rate")),
          parity(c.add("parity", parityHelp, "letter")), quiet(c.add("quiet", quietHelp)),
          timeScale(c.add("time-scale", "The clock runs this many times faster.", "factor", true)) {
    }

    // Fills `line`; an empty string, or what is wrong.
    QString read(const Command& c, Line& line) const {
        line.quiet = c.parser.isSet(quiet);
        line.ports = rememberedPorts();
        const QString p = c.parser.isSet(port) ? c.parser.value(port) : QStringLiteral("COM1");
        if (!resolvePort(p, line.ports, line.comNumber))
            return portRefusal(port.names().constFirst(), p);
        if (c.parser.isSet(baud)) {
            const int i = baudCaptions().indexOf(c.parser.value(baud));
            if (i < 0 || !baudAvailable(i))
                return QStringLiteral("--baud wants 600, 1200, 2400, 4800 or 9600");
            chooseBaud(line.settings, i);
        }
        if (c.parser.isSet(parity)) {
            const QString v = c.parser.value(parity);
            if (v == QLatin1String("n")) {
                line.settings.ComParity = v; // the start value: "n", 8 bits
            } else {
                const int i = QStringList{"N", "O", "E"}.indexOf(v);
                if (i < 0)
                    return QStringLiteral("--parity wants n, N, O or E");
                chooseParity(line.settings, i);
            }
        }
        if (c.parser.isSet(timeScale)) {
            bool ok = false;
            line.timeScale = c.parser.value(timeScale).toDouble(&ok);
            if (!ok || line.timeScale <= 0)
                return QStringLiteral("--time-scale wants a positive number");
        }
        return QString();
    }
};

QString suffixOf(const QString& path) {
    return QFileInfo(path).suffix().toLower();
}

// --column (a number from 1 or a name) and --by (time or index) into `r`; an empty string, or
// what is wrong.
QString readTrace(const Command& c, const QCommandLineOption& column, const QCommandLineOption& by,
                  WaveformRequest& r) {
    if (c.parser.isSet(column)) {
        const QString v = c.parser.value(column);
        bool ok = false;
        const int n = v.toInt(&ok);
        if (ok && n < 1)
            return QStringLiteral("--column wants a number from 1 or a name");
        if (ok)
            r.column.place = n - 1;
        else
            r.column.name = v;
    }
    if (c.parser.isSet(by)) {
        const int i = QStringList{"time", "index"}.indexOf(c.parser.value(by));
        if (i < 0)
            return QStringLiteral("--by wants time or index");
        r.byIndex = i == 1;
    }
    return QString();
}

// The options every reading command shares: which column, how values beyond -1..+1 come in,
// the length and the way of resampling, what to do with nan and inf.
struct ReadOptions {
    QCommandLineOption column, fit, length, resample, skip, by;
    explicit ReadOptions(Command& c)
        : column(c.add("column",
                       "The column to take, by its number from 1 or its name, or the channel "
                       "of a WAV (default: the last numeric column that is not time).",
                       "N|NAME")),
          fit(c.add("fit",
                    "Values beyond -1..+1: peak (scaled so the peak is 1), range (min..max onto "
                    "-1..+1) or clip (default: as they are when all lie inside, else peak).",
                    "how")),
          length(c.add("length",
                       "Resample to N points, 4 to 16000 (default: kept when it is 4..16000, "
                       "else 16000).",
                       "N")),
          resample(c.add("resample",
                         "periodic (one period: the sample after the last is the first) or ends "
                         "(both ends kept) (default: periodic for the program's waveform "
                         "file, ends for others).",
                         "how")),
          skip(c.add("skip-nonfinite", "Skips nan and inf instead of refusing the file.")),
          by(c.add("by",
                   "time (default: a time column's uneven steps are resampled onto even ones) "
                   "or index (the rows as they are).",
                   "time|index")) {}

    // Fills `r`; an empty string, or what is wrong.
    QString read(const Command& c, WaveformRequest& r) const {
        bool ok = true;
        if (const QString why = readTrace(c, column, by, r); !why.isEmpty())
            return why;
        if (c.parser.isSet(fit)) {
            const int i = QStringList{"peak", "range", "clip"}.indexOf(c.parser.value(fit));
            if (i < 0)
                return QStringLiteral("--fit wants peak, range or clip");
            r.fit = i == 0 ? ImportFit::Peak : i == 1 ? ImportFit::Range : ImportFit::Clip;
        }
        if (c.parser.isSet(length)) {
            r.length = c.parser.value(length).toInt(&ok);
            if (!ok || r.length < kMinLength || r.length > kMaxLength)
                return QStringLiteral("--length wants 4 to 16000");
        }
        if (c.parser.isSet(resample)) {
            const int i = QStringList{"periodic", "ends"}.indexOf(c.parser.value(resample));
            if (i < 0)
                return QStringLiteral("--resample wants periodic or ends");
            r.resample =
                i == 0 ? WaveformRequest::Resample::Periodic : WaveformRequest::Resample::Ends;
        }
        r.skipNonFinite = c.parser.isSet(skip);
        return QString();
    }
};

// Reads any file the program reads, checked whole; nullopt after saying why. What was
// understood on the way goes to standard error unless `quiet`.
std::optional<WaveStore> readInput(const QString& path, const WaveformRequest& request,
                                   bool quiet) {
    const FileContent content = readFileContent(path, request);
    if (content.lengthLimited) {
        // Where Open shows the length message, the command line refuses with it.
        say(QStringLiteral("%1: %2(line 1 holds a length outside 4..16000)")
                .arg(path, lengthMessage()));
        return std::nullopt;
    }
    const Waveform w = shapeWaveform(content, request);
    if (!w.error.isEmpty()) {
        say(QStringLiteral("%1: %2").arg(path, w.error));
        return std::nullopt;
    }
    if (!quiet)
        for (const QString& note : w.notes)
            std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(note));
    return storeOf(w.samples);
}

bool isPicture(const QString& path) {
    return suffixOf(path) == QLatin1String("png") || suffixOf(path) == QLatin1String("svg");
}

// The generator's waveform number --number asks for (1 when it is not given), or 0 when it is
// not 1 to 8.
int waveformNumber(const Command& c, const QCommandLineOption& number) {
    if (!c.parser.isSet(number))
        return 1;
    bool ok = false;
    const int slot = c.parser.value(number).toInt(&ok);
    return ok && slot >= 1 && slot <= 8 ? slot : 0;
}

// What a SCPI generator is set to after the upload: --frequency or --sample-rate,
// --amplitude, --offset, --output.
struct GeneratorOptions {
    QCommandLineOption frequency, sampleRate, amplitude, offset, output;
    explicit GeneratorOptions(Command& c)
        : frequency(c.add("frequency",
                          "With a profile: the waveform's frequency in Hz, set after the upload.",
                          "HZ")),
          sampleRate(c.add("sample-rate",
                           "With a profile: the sample rate instead (the frequency times the "
                           "count).",
                           "SA_S")),
          amplitude(
              c.add("amplitude", "With a profile: the amplitude in volts peak to peak.", "VPP")),
          offset(c.add("offset", "With a profile: the offset in volts.", "V")),
          output(c.add("output", "With a profile: the output switched on or off.", "on|off")) {}

    bool anySet(const Command& c) const {
        for (const QCommandLineOption* o : {&frequency, &sampleRate, &amplitude, &offset, &output})
            if (c.parser.isSet(*o))
                return true;
        return false;
    }

    // Reads the settings and, where `profileOption` is given, the profile they go through;
    // nullopt to go on, else the exit status (a usage error, or a profile that cannot be read).
    // A setting the instrument cannot be given through the profile is refused here, before
    // anything is sent.
    std::optional<int> read(const Command& c, const QCommandLineOption& profileOption,
                            GeneratorSettings& s, ProfileReading& profile) const {
        if (const QString why = read(c, s); !why.isEmpty())
            return c.usage(why);
        if (!c.parser.isSet(profileOption))
            return std::nullopt;
        profile = findProfile(c.parser.value(profileOption));
        if (!profile.error.isEmpty()) {
            say(profile.error);
            return kFailed;
        }
        if (const QString why = settingsProblem(profile.profile, s); !why.isEmpty())
            return c.usage(why);
        return std::nullopt;
    }

    // Fills `s`; an empty string, or what is wrong.
    QString read(const Command& c, GeneratorSettings& s) const {
        auto number = [&](const QCommandLineOption& o, std::optional<double>& into) {
            if (!c.parser.isSet(o))
                return QString();
            bool ok = false;
            const double v = c.parser.value(o).toDouble(&ok); // always with a point
            if (!ok || !std::isfinite(v))
                return QStringLiteral("--%1 wants a number, not '%2'")
                    .arg(o.names().constFirst(), c.parser.value(o));
            into = v;
            return QString();
        };
        for (const auto& [o, into] :
             {std::pair{&frequency, &s.frequency}, std::pair{&sampleRate, &s.sampleRate},
              std::pair{&amplitude, &s.amplitude}, std::pair{&offset, &s.offset}})
            if (const QString why = number(*o, *into); !why.isEmpty())
                return why;
        if (c.parser.isSet(output)) {
            const QString v = c.parser.value(output).toLower();
            if (v != QLatin1String("on") && v != QLatin1String("off"))
                return QStringLiteral("--output wants on or off");
            s.output = v == QLatin1String("on");
        }
        return QString();
    }
};

int send(const QStringList& args) {
    Command c("send", "FILE",
              "Uploads a waveform file to the Vorrel generator, or, with --profile, to any SCPI "
              "generator the profile describes.");
    LineOptions lineOptions(c, "No progress on standard error.",
                            "n or N (none, 8 data bits), O or E (odd or even, 7 data bits) "
                            "(default n).");
    const auto number =
        c.add("number", "The generator's waveform number, 1 to 8 (default 1).", "1..8");
    const auto dryRun =
        c.add("dry-run", "Writes the bytes that would be sent to standard output instead.");
    const auto profileOption =
        c.add("profile",
              QStringLiteral("A SCPI generator's profile, by name (%1) or as a file.")
                  .arg(profileNames().join(QStringLiteral(", "))),
              "NAME|FILE");
    const auto nameOption = c.add(
        "name", "With --profile: the waveform's name on the instrument (default WAVE1).", "N");
    const auto fitPoints = c.add("fit-points", "With --profile: a waveform of a count the "
                                               "instrument does not take is resampled, as one "
                                               "period, to the nearest it takes.");
    const GeneratorOptions generatorOptions(c);
    if (const auto done = c.parse(args, 1))
        return *done;
    Line line;
    if (const QString why = lineOptions.read(c, line); !why.isEmpty())
        return c.usage(why);
    const int slot = waveformNumber(c, number);
    if (slot < 1)
        return c.usage(QStringLiteral("--number wants 1 to 8"));
    const bool scpi = c.parser.isSet(profileOption);
    if (!scpi &&
        (c.parser.isSet(nameOption) || c.parser.isSet(fitPoints) || generatorOptions.anySet(c)))
        return c.usage(QStringLiteral("--name, --fit-points and the generator's settings go "
                                      "with --profile"));
    const QString name =
        c.parser.isSet(nameOption) ? c.parser.value(nameOption) : QStringLiteral("WAVE1");
    if (const QString why = waveformNameProblem(name); !why.isEmpty())
        return c.usage(QStringLiteral("--name: ") + why);
    GeneratorSettings generator;
    ProfileReading profile;
    if (const auto status = generatorOptions.read(c, profileOption, generator, profile))
        return *status;
    const QString file = c.parser.positionalArguments().at(0);
    std::optional<WaveStore> store = readInput(file, WaveformRequest{}, line.quiet);
    if (!store)
        return kFailed;
    store->ArbNumber = static_cast<float>(slot);
    if (!scpi) {
        if (c.parser.isSet(dryRun)) {
            QByteArray out = headerLine(store->ArbNumber, store->ArbLength);
            for (int b = 0; b < blockCount(store->ArbLength); ++b)
                out += dataLine(*store, b);
            std::fwrite(out.constData(), 1, static_cast<std::size_t>(out.size()), stdout);
            return std::fflush(stdout) == 0 ? kOk : kFailed;
        }
        return sendWaveform(line, *store);
    }
    // Refused, or resampled when asked, before the line is opened.
    std::vector<float> samples(store->ArbData.begin(), store->ArbData.begin() + store->length());
    const int count = static_cast<int>(samples.size());
    if (const QString why = pointsProblem(profile.profile, count); !why.isEmpty()) {
        const int fits = nearestPoints(profile.profile, count);
        if (!c.parser.isSet(fitPoints) || fits == 0) {
            say(QStringLiteral("%1: the instrument cannot take it: %2%3")
                    .arg(file, why,
                         fits ? QStringLiteral(" (--fit-points resamples it to %1)").arg(fits)
                              : QString()));
            return kFailed;
        }
        const std::vector<double> resampled =
            resamplePeriodic(std::vector<double>(samples.begin(), samples.end()), fits);
        samples.assign(resampled.begin(), resampled.end());
        if (!line.quiet)
            say(QStringLiteral("%1: resampled from %2 to %3 points, as one period, for the "
                               "instrument")
                    .arg(file)
                    .arg(count)
                    .arg(fits));
    }
    if (c.parser.isSet(dryRun)) {
        QByteArray out;
        for (const QByteArray& l : uploadLines(profile.profile, samples, name, generator))
            out += l;
        std::fwrite(out.constData(), 1, static_cast<std::size_t>(out.size()), stdout);
        return std::fflush(stdout) == 0 ? kOk : kFailed;
    }
    return sendThroughProfile(line, profile.profile, samples, name, generator);
}

// What the oscilloscope's read takes besides the line: --source, --eol, --flow.
struct ScopeOptions {
    QCommandLineOption source, eol, flow;
    explicit ScopeOptions(Command& c)
        : source(c.add("source", "CH1, CH2, REFA or REFB (default CH1).", "name")),
          eol(c.add("eol", "The command terminator, lf or cr (default lf).", "lf|cr")),
          flow(c.add("flow", "Handshaking, none or rtscts (default rtscts).", "kind")) {}

    // Fills `settings`; an empty string, or what is wrong.
    QString read(const Command& c, SerialSettings& settings) const {
        if (c.parser.isSet(source)) {
            const int i = QStringList{"CH1", "CH2", "CH3", "CH4", "REFA", "REFB"}.indexOf(
                c.parser.value(source));
            if (i < 0 || i == 2 || i == 3)
                return QStringLiteral("--source wants CH1, CH2, REFA or REFB");
            chooseOscilSource(settings, i);
        }
        if (c.parser.isSet(eol)) {
            const int i = QStringList{"lf", "cr"}.indexOf(c.parser.value(eol));
            if (i < 0)
                return QStringLiteral("--eol wants lf or cr");
            chooseOscilEol(settings, i);
        }
        if (c.parser.isSet(flow)) {
            const int i = QStringList{"rtscts", "", "none"}.indexOf(c.parser.value(flow));
            if (i != 0 && i != 2)
                return QStringLiteral("--flow wants none or rtscts");
            chooseFlowControl(settings, i);
        }
        return QString();
    }
};

int capture(const QStringList& args) {
    Command c("capture", "FILE",
              "Reads the curve shown on a TDS oscilloscope into a waveform file of 2500 points.");
    LineOptions lineOptions(c, "No progress or identification on standard error.",
                            "n or N (none), O or E (odd or even); 8 data bits (default n).");
    const ScopeOptions scopeOptions(c);
    if (const auto done = c.parse(args, 1))
        return *done;
    Line line;
    if (const QString why = lineOptions.read(c, line); !why.isEmpty())
        return c.usage(why);
    if (const QString why = scopeOptions.read(c, line.settings); !why.isEmpty())
        return c.usage(why);
    const QString file = c.parser.positionalArguments().at(0);
    if (suffixOf(file) != QLatin1String("txt"))
        return c.usage(QStringLiteral("%1: the file name must end in .txt").arg(file));
    // Known before the instrument is asked, not after a read of many seconds.
    if (const QString why = checkWritable(file); !why.isEmpty()) {
        say(QStringLiteral("%1: %2").arg(file, why));
        return kFailed;
    }
    return captureCurve(line, file);
}

int convert(const QStringList& args) {
    Command c("convert", "IN OUT",
              "Reads any file the program reads (its waveform file, a table of numbers such as "
              ".csv, .tsv or .dat, or a .wav), recognised by its content, and writes it in the "
              "format OUT's extension names (" +
                  writableExtensions().join(QStringLiteral(", ")) +
                  "). What was understood of IN goes to standard error.");
    const ReadOptions readOptions(c);
    const auto rate = c.add("rate", "Samples a second of a WAV written (default 16000).", "HZ");
    const auto size =
        c.add("size", "Width x height of a picture written (default 1536x720).", "WxH");
    const auto quiet = c.add("quiet", "Says nothing of what was understood.");
    if (const auto done = c.parse(args, 2))
        return *done;
    const QString in = c.parser.positionalArguments().at(0);
    const QString out = c.parser.positionalArguments().at(1);
    if (!formatForWriting(out))
        return c.usage(QStringLiteral("%1: unknown format (known: %2)")
                           .arg(out, writableExtensions().join(QStringLiteral(", "))));
    WaveformRequest request;
    if (const QString why = readOptions.read(c, request); !why.isEmpty())
        return c.usage(why);
    WriteOptions write;
    bool ok = true;
    if (c.parser.isSet(rate)) {
        write.rate = c.parser.value(rate).toInt(&ok);
        if (!ok || write.rate < 1)
            return c.usage(QStringLiteral("--rate wants a positive number of samples a second"));
    }
    if (c.parser.isSet(size)) {
        const QStringList wh = c.parser.value(size).split(QLatin1Char('x'));
        write.size = QSize(wh.value(0).toInt(), wh.value(1).toInt());
        if (write.size.width() < 120 || write.size.height() < 80 || write.size.width() > 20000 ||
            write.size.height() > 20000)
            return c.usage(QStringLiteral("--size wants WIDTHxHEIGHT from 120x80 to 20000x20000"));
    }
    const std::optional<WaveStore> store = readInput(in, request, c.parser.isSet(quiet));
    if (!store)
        return kFailed;
    const QString why = writeWaveform(out, *store, write);
    if (!why.isEmpty()) {
        say(QStringLiteral("%1: %2").arg(out, why));
        return kFailed;
    }
    return kOk;
}

// The expression may start with a minus ("-sin(x)"): every word that is not one of the
// command's options (or an option's value) is the expression, whatever it starts with.
QStringList expressionLast(const QStringList& args, const QStringList& valued,
                           const QStringList& flags) {
    QStringList options{args.value(0)}, positional;
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        const QString name = a.section(QLatin1Char('='), 0, 0);
        if (a == QLatin1String("--")) {
            positional += args.mid(i + 1);
            break;
        }
        if (valued.contains(name)) {
            options << a;
            if (!a.contains(QLatin1Char('=')) && i + 1 < args.size())
                options << args[++i];
        } else if (flags.contains(a)) {
            options << a;
        } else {
            positional << a;
        }
    }
    return options + QStringList{QStringLiteral("--")} + positional;
}

int expr(const QStringList& rawArgs) {
    Command c("expr", "EXPRESSION",
              "Writes the waveform an expression makes to a file (.txt, the program's own, .csv "
              "or .wav).\n" +
                  Expression::help());
    const auto length = c.add("length", "Samples, 4 to 16000 (default 201, or the input's).", "N");
    const auto output = c.add("o", "The file to write: .txt, .csv or .wav.", "FILE");
    const auto fit = c.add("fit", "Values beyond -1..+1: clip (default) or peak.", "clip|peak");
    const auto input = c.add("input",
                             "The waveform y stands for: any file convert reads (without it, an "
                             "expression that uses y is refused).",
                             "FILE");
    const QStringList args = expressionLast(rawArgs, {"--length", "-o", "--o", "--fit", "--input"},
                                            {"-h", "--help", "-?"});
    if (const auto done = c.parse(args, 1))
        return *done;
    std::optional<WaveStore> current;
    if (c.parser.isSet(input) && !(current = readInput(c.parser.value(input), {}, true)))
        return kFailed;
    int n = current ? current->length() : 201;
    if (c.parser.isSet(length)) {
        bool ok = false;
        n = c.parser.value(length).toInt(&ok);
        if (!ok || n < kMinLength || n > kMaxLength)
            return c.usage(QStringLiteral("--length wants 4 to 16000"));
        if (current && n != current->length())
            return c.usage(
                QStringLiteral("--length: y has the input's %1 samples").arg(current->length()));
    }
    const QString file = c.parser.value(output);
    if (file.isEmpty() || !formatForWriting(file))
        return c.usage(QStringLiteral("-o wants a file ending in %1")
                           .arg(writableExtensions().join(QStringLiteral(", "))));
    const QString how = c.parser.isSet(fit) ? c.parser.value(fit) : QStringLiteral("clip");
    if (how != QLatin1String("clip") && how != QLatin1String("peak"))
        return c.usage(QStringLiteral("--fit wants clip or peak"));
    Expression expression;
    const QString text = c.parser.positionalArguments().at(0);
    if (const auto error = expression.setText(text)) {
        std::fprintf(stderr, "wavewright expr: %s\n  %s\n  %s^\n", qPrintable(error->message),
                     qPrintable(text), qPrintable(QString(std::max(error->position, 0), ' ')));
        return kUsage;
    }
    if (expression.usesCurrent() && !current)
        return c.usage(QStringLiteral("the expression uses y, the current waveform: give it "
                                      "with --input FILE"));
    const Expression::Values values =
        expression.evaluate(n, current ? current->ArbData.data() : nullptr);
    if (values.nonFiniteAt >= 0) {
        say(QStringLiteral("the expression is not a finite number at sample %1")
                .arg(values.nonFiniteAt));
        return kFailed;
    }
    const WaveStore store =
        storeOf(fitToRange(values.samples, how == QLatin1String("peak") ? Fit::Peak : Fit::Clip));
    const QString why = writeWaveform(file, store);
    if (!why.isEmpty()) {
        say(QStringLiteral("%1: %2").arg(file, why));
        return kFailed;
    }
    return kOk;
}

int spectrum(const QStringList& args) {
    Command c("spectrum", "FILE",
              "Prints what a waveform contains: THD, THD+N, SNR, SFDR and ENOB as IEEE Std 1241 "
              "defines them, then the fundamental. FILE is any file convert reads. A record of "
              "whole periods is analysed as it is, whatever its file; other records through a "
              "window, which standard error names.");
    const auto harmonics = c.add(
        "harmonics", "Harmonics 2..H count as distortion (default 50, or N/2 if fewer).", "H");
    const auto quantized =
        c.add("quantized", "As the generator makes it: each sample coded to its 12 bits first.");
    const auto window = c.add("window",
                              "hann, blackman-harris, flat-top or none (default none: a record "
                              "of whole periods is measured exactly, any other through hann).",
                              "name");
    const auto csv =
        c.add("csv", "Writes harmonic,amplitude,dBc,phase_deg for 1..H to OUT.", "OUT");
    const auto column = c.add("column",
                              "The column, channel or simulator trace to analyse, by its number "
                              "from 1 or its name (default: as convert takes it).",
                              "N|NAME");
    const auto by = c.add(
        "by", "time (default: uneven time steps resampled onto even ones) or index.", "time|index");
    if (const auto done = c.parse(args, 1))
        return *done;
    WaveformRequest request;
    request.asRead = true;
    if (const QString why = readTrace(c, column, by, request); !why.isEmpty())
        return c.usage(why);
    int h = 50;
    if (c.parser.isSet(harmonics)) {
        bool ok = false;
        h = c.parser.value(harmonics).toInt(&ok);
        if (!ok || h < 1 || h > kMaxLength / 2)
            return c.usage(QStringLiteral("--harmonics wants 1 to 8000"));
    }
    static const QStringList windows = {"none", "hann", "blackman-harris", "flat-top"};
    int w = -1;
    if (c.parser.isSet(window) && (w = windows.indexOf(c.parser.value(window))) < 0)
        return c.usage(QStringLiteral("--window wants hann, blackman-harris, flat-top or none"));
    const QString file = c.parser.positionalArguments().at(0);
    const FileContent content = readFileContent(file, request);
    const Waveform read = shapeWaveform(content, request);
    if (!read.error.isEmpty()) {
        say(QStringLiteral("%1: %2").arg(file, read.error));
        return kFailed;
    }
    // By default none: whole periods are measured exactly, any other record through Hann's.
    if (w < 0)
        w = 0;
    const std::vector<double> values =
        c.parser.isSet(quantized) ? asGenerated(read.values, sampleCode, 4095) : read.values;
    const SpectrumFigures f = analyseSpectrum(values, h, static_cast<SpectrumWindow>(w));
    std::fprintf(stderr, "window: %s\n", qPrintable(windows[static_cast<int>(f.window)]));
    if (f.error.isEmpty() && !f.warning.isEmpty())
        say(QStringLiteral("%1: %2").arg(file, f.warning));
    if (f.used > 0 && f.used < static_cast<int>(values.size()))
        say(QStringLiteral("%1: analysed the first %2 of %3 points (a stretch of bounded length "
                           "that the transform is fast for)")
                .arg(file)
                .arg(f.used)
                .arg(values.size()));
    if (!f.error.isEmpty()) {
        say(QStringLiteral("%1: %2").arg(file, f.error));
        return kFailed;
    }
    // With a point whatever the user's locale.
    auto number = [](double v, int decimals) { return QString::number(v, 'f', decimals); };
    std::printf("%s", qPrintable(QStringLiteral("THD: %1\nTHD+N: %2\nSNR: %3\nSFDR: %4\nENOB: "
                                                "%5\nSINAD: %6\nfundamental: %7 periods in "
                                                "the record\n")
                                     .arg(figureText(f, Figure::Thd), figureText(f, Figure::ThdN),
                                          figureText(f, Figure::Snr), figureText(f, Figure::Sfdr),
                                          figureText(f, Figure::Enob), figureText(f, Figure::Sinad),
                                          number(f.fundamental, 2))));
    if (c.parser.isSet(csv)) {
        const QByteArray table = spectrumCsv(f, c.parser.isSet(quantized), h);
        if (const QString why = writeWhole(c.parser.value(csv), table); !why.isEmpty()) {
            say(QStringLiteral("%1: %2").arg(c.parser.value(csv), why));
            return kFailed;
        }
    }
    return kOk;
}

// The tolerances of a comparison: --tolerance and --rms-tolerance, in percent of full scale.
struct ToleranceOptions {
    QCommandLineOption largest, rms;
    explicit ToleranceOptions(Command& c)
        : largest(c.add("tolerance",
                        "The largest error allowed, in percent of full scale (-1..+1) "
                        "(default 5).",
                        "PCT")),
          rms(c.add("rms-tolerance", "The RMS error allowed, in percent of full scale (default 3).",
                    "PCT")) {}

    // Fills `t`; an empty string, or what is wrong.
    QString read(const Command& c, CompareTolerance& t) const {
        for (const auto& [option, value] :
             {std::pair{&largest, &t.maxErrorPct}, std::pair{&rms, &t.rmsErrorPct}}) {
            if (!c.parser.isSet(*option))
                continue;
            bool ok = false;
            *value = c.parser.value(*option).toDouble(&ok);
            if (!ok || !(*value > 0) || *value > 100)
                return QStringLiteral("--%1 wants a percentage above 0, up to 100")
                    .arg(option->names().constFirst());
        }
        return QString();
    }
};

// The comparison's figures on standard output, its notes on standard error; the exit status.
int reportComparison(const Comparison& result, const QString& what) {
    if (!result.error.isEmpty()) {
        say(QStringLiteral("%1: %2").arg(what, result.error));
        return kFailed;
    }
    for (const QString& note : result.notes)
        say(note);
    std::printf("%s\n", qPrintable(comparisonLines(result).join(QLatin1Char('\n'))));
    return std::fflush(stdout) == 0 && result.match ? kOk : kFailed;
}

int compare(const QStringList& args) {
    Command c("compare", "SENT CAPTURED",
              "Says whether CAPTURED (a curve an oscilloscope showed, in any file convert reads) "
              "is the waveform SENT: the periods it holds, phase, gain and offset, the "
              "correlation, the RMS and the largest error in percent of full scale, the worst "
              "region in samples of SENT, and the verdict. Exit status 0 on a match, 1 on a "
              "mismatch or a failure.");
    const ToleranceOptions tolerances(c);
    const auto quiet = c.add("quiet", "Says nothing of what was understood of SENT, as verify.");
    if (const auto done = c.parse(args, 2))
        return *done;
    CompareTolerance tolerance;
    if (const QString why = tolerances.read(c, tolerance); !why.isEmpty())
        return c.usage(why);
    const QString sentFile = c.parser.positionalArguments().at(0);
    const QString capturedFile = c.parser.positionalArguments().at(1);
    // The sent waveform as send would send it; the capture as its file holds it.
    const std::optional<WaveStore> sent =
        readInput(sentFile, WaveformRequest{}, c.parser.isSet(quiet));
    if (!sent)
        return kFailed;
    WaveformRequest asRead;
    asRead.asRead = true;
    const Waveform captured = readWaveform(capturedFile, asRead);
    if (!captured.error.isEmpty()) {
        say(QStringLiteral("%1: %2").arg(capturedFile, captured.error));
        return kFailed;
    }
    const std::vector<double> samples(sent->ArbData.begin(),
                                      sent->ArbData.begin() + sent->length());
    return reportComparison(compareCapture(samples, captured.values, tolerance), capturedFile);
}

int verify(const QStringList& args) {
    Command c("verify", "FILE",
              "Sends FILE to the generator (the Vorrel generator, or a SCPI generator through "
              "--generator-profile), reads the curve the TDS oscilloscope then shows and "
              "compares the two, as compare does. Exit status 0 on a match, 1 on a mismatch or "
              "a failure.");
    LineOptions lineOptions(
        c, "No progress or identification on standard error.",
        "n or N (none, 8 data bits), O or E (odd or even; the generator then 7 data bits) "
        "(default n).",
        QStringLiteral("generator"),
        QStringLiteral("The generator's line: ") + lineHelp(QStringLiteral("COM1")));
    const auto scopePort = c.add("scope",
                                 QStringLiteral("The oscilloscope's line: ") +
                                     lineHelp(QStringLiteral("the generator's")),
                                 "P");
    const ScopeOptions scopeOptions(c);
    const auto number =
        c.add("number", "The generator's waveform number, 1 to 8 (default 1).", "1..8");
    const auto profileOption =
        c.add("generator-profile",
              QStringLiteral("The SCPI generator's profile, by name (%1) or as a file.")
                  .arg(profileNames().join(QStringLiteral(", "))),
              "NAME|FILE");
    const GeneratorOptions generatorOptions(c);
    const ToleranceOptions tolerances(c);
    if (const auto done = c.parse(args, 1))
        return *done;
    Line generator;
    if (const QString why = lineOptions.read(c, generator); !why.isEmpty())
        return c.usage(why);
    Line scope = generator;
    if (c.parser.isSet(scopePort) &&
        !resolvePort(c.parser.value(scopePort), scope.ports, scope.comNumber))
        return c.usage(portRefusal(QStringLiteral("scope"), c.parser.value(scopePort)));
    if (const QString why = scopeOptions.read(c, scope.settings); !why.isEmpty())
        return c.usage(why);
    const int slot = waveformNumber(c, number);
    if (slot < 1)
        return c.usage(QStringLiteral("--number wants 1 to 8"));
    CompareTolerance tolerance;
    if (const QString why = tolerances.read(c, tolerance); !why.isEmpty())
        return c.usage(why);
    const bool scpi = c.parser.isSet(profileOption);
    if (!scpi && generatorOptions.anySet(c))
        return c.usage(QStringLiteral("the generator's settings go with --generator-profile"));
    GeneratorSettings settings;
    ProfileReading profile;
    if (const auto status = generatorOptions.read(c, profileOption, settings, profile))
        return *status;
    const QString file = c.parser.positionalArguments().at(0);
    std::optional<WaveStore> store = readInput(file, WaveformRequest{}, generator.quiet);
    if (!store)
        return kFailed;
    store->ArbNumber = static_cast<float>(slot);
    std::vector<float> samples(store->ArbData.begin(), store->ArbData.begin() + store->length());
    if (scpi) {
        if (const QString why = pointsProblem(profile.profile, static_cast<int>(samples.size()));
            !why.isEmpty()) {
            say(QStringLiteral("%1: the instrument cannot take it: %2").arg(file, why));
            return kFailed;
        }
    }
    const int sent = scpi ? sendThroughProfile(generator, profile.profile, samples,
                                               QStringLiteral("WAVE1"), settings)
                          : sendWaveform(generator, *store);
    if (sent != kOk) {
        if (sent == kFailed)
            say(QStringLiteral("the upload failed, so nothing was compared"));
        return sent;
    }
    std::vector<float> curve;
    if (const int read = readCurve(scope, curve); read != kOk) {
        if (read == kFailed)
            say(QStringLiteral("the upload went through, but the curve could not be read"));
        return read;
    }
    return reportComparison(compareCapture(std::vector<double>(samples.begin(), samples.end()),
                                           std::vector<double>(curve.begin(), curve.end()),
                                           tolerance),
                            scope.ports.describe(scope.comNumber));
}

int ports(const QStringList& args) {
    Command c("ports", QString(), "Lists the serial ports and the devices COM1..COM4 stand for.");
    if (const auto done = c.parse(args, 0))
        return *done;
    std::printf("%s", qPrintable(portListing(rememberedPorts())));
    return kOk;
}
} // namespace

QStringList commandNames() {
    return {"send", "capture", "convert", "ports", "expr", "spectrum", "compare", "verify"};
}

bool isCommand(const QString& word) {
    return commandNames().contains(word);
}

namespace {
// Edits (insert, delete, replace, swap of neighbours) that turn a into b.
int editDistance(const QString& a, const QString& b) {
    const int n = static_cast<int>(a.size()), m = static_cast<int>(b.size());
    std::vector<std::vector<int>> d(n + 1, std::vector<int>(m + 1));
    for (int i = 0; i <= n; ++i)
        d[i][0] = i;
    for (int j = 0; j <= m; ++j)
        d[0][j] = j;
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= m; ++j) {
            const int cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[n][m];
}
} // namespace

bool refuseUnknownCommand(const QString& word) {
    if (word.isEmpty() || isCommand(word) || word.startsWith(QLatin1Char('-')) ||
        word.contains(QLatin1Char('/')) || word.contains(QLatin1Char('.')) ||
        QFileInfo::exists(word))
        return false;
    QString nearest;
    int best = 3; // further than two edits away is no suggestion
    for (const QString& c : commandNames())
        if (const int d = editDistance(word.toLower(), c); d < best) {
            best = d;
            nearest = c;
        }
    std::fprintf(stderr, "wavewright: '%s' is not a command; the commands are %s.\n",
                 qPrintable(word), qPrintable(commandNames().join(QStringLiteral(", "))));
    if (!nearest.isEmpty())
        std::fprintf(stderr, "Did you mean 'wavewright %s'?\n", qPrintable(nearest));
    return true;
}

bool resolvePort(const QString& text, PortMap& ports, int& comNumber) {
    static const QStringList names = {"COM1", "COM2", "COM3", "COM4"};
    const int i = names.indexOf(text.toUpper());
    if (i >= 0) {
        comNumber = i + 1;
        return true;
    }
    if (!addressProblem(text).isEmpty())
        return false;
    comNumber = 1;
    ports.setDevice(1, text);
    ports.setName(1, text);
    return true;
}

QString portListing(const PortMap& ports) {
    auto or_ = [](const QString& s) { return s.isEmpty() ? QStringLiteral("-") : s; };
    QString out;
    for (const DetectedPort& p : systemPorts())
        out += QStringList{p.path,
                           or_(p.byId),
                           or_(p.description),
                           or_(p.manufacturer),
                           or_(p.serialNumber),
                           or_(p.vidPid)}
                   .join(QLatin1Char('\t')) +
               QLatin1Char('\n');
    for (int n = 1; n <= 4; ++n)
        out += QStringLiteral("COM%1 = %2\n").arg(n).arg(ports.device(n));
    return out;
}

bool wantsPicture(const QStringList& arguments) {
    if (arguments.value(1) != QLatin1String("convert"))
        return false;
    for (const QString& a : arguments.mid(2))
        if (!a.startsWith(QLatin1Char('-')) && isPicture(a))
            return true;
    return false;
}

namespace {
int dispatch(const QStringList& arguments) {
    const QString word = arguments.value(1);
    const QStringList args = QStringList{arguments.value(0)} + arguments.mid(2);
    if (word == QLatin1String("send"))
        return send(args);
    if (word == QLatin1String("capture"))
        return capture(args);
    if (word == QLatin1String("convert"))
        return convert(args);
    if (word == QLatin1String("ports"))
        return ports(args);
    if (word == QLatin1String("expr"))
        return expr(args);
    if (word == QLatin1String("spectrum"))
        return spectrum(args);
    if (word == QLatin1String("compare"))
        return compare(args);
    if (word == QLatin1String("verify"))
        return verify(args);
    refuseUnknownCommand(word);
    return kUsage;
}
} // namespace

int run(const QStringList& arguments) {
    const int status = dispatch(arguments);
    // What went to standard output must have arrived: a full disk or a closed pipe is a
    // failure, not a success.
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "wavewright: cannot write to standard output: %s\n",
                     std::strerror(errno ? errno : EIO));
        return kFailed;
    }
    return status;
}

} // namespace ww::cli
