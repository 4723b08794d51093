#pragma once

// What the commands share: one command's options and its usage errors, the options of a line,
// of reading a file, of a SCPI generator, of an oscilloscope and of a comparison, and the ways
// a command reads its input and reports.
#include "analysis/compare.h"
#include "commandline.h"
#include "exchanges.h"
#include "files/formats.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <optional>

namespace ww::cli {

struct Command;

// "wavewright: TEXT" on standard error.
void say(const QString& text);

// The help of a line option: every kind the line registry knows.
QString lineHelp(const QString& byDefault);

// "--port wants COM1..COM4, ..., not 'X'".
QString portRefusal(const QString& option, const QString& given);

// COM1..COM4 as the window resolves them: the devices chosen there, where there are any.
PortMap rememberedPorts();

// The extension of a file name, in lower case.
QString suffixOf(const QString& path);

// --column (a number from 1 or a name) and --by (time or index) into `r`; an empty string, or
// what is wrong.
QString readTrace(const Command& c, const QCommandLineOption& column, const QCommandLineOption& by,
                  WaveformRequest& r);

// Reads any file the program reads, checked whole; nullopt after saying why. What was
// understood on the way goes to standard error unless `quiet`.
std::optional<WaveStore> readInput(const QString& path, const WaveformRequest& request, bool quiet);

// A .png or .svg.
bool isPicture(const QString& path);

// The generator's waveform number --number asks for (1 when it is not given), or 0 when it is
// not 1 to 8.
int waveformNumber(const Command& c, const QCommandLineOption& number);

// The comparison's figures on standard output, its notes on standard error; the exit status.
int reportComparison(const Comparison& result, const QString& what);

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

// What the oscilloscope's read takes besides the line: --source, --eol, --flow.
struct ScopeOptions {
    QCommandLineOption source, eol, flow;
    explicit ScopeOptions(Command& c)
        : source(c.add("source",
                       "CH1, CH2, REFA or REFB (default CH1); through a profile, the channel as "
                       "the oscilloscope names it (CHAN1, CH1, C1).",
                       "name")),
          eol(c.add("eol", "The command terminator, lf or cr (default lf).", "lf|cr")),
          flow(c.add("flow", "Handshaking, none or rtscts (default rtscts).", "kind")) {}

    // Fills `settings`; an empty string, or what is wrong. Through a profile the source is the
    // oscilloscope's own name of a channel, read by `profileSource`.
    QString read(const Command& c, SerialSettings& settings, bool throughProfile = false) const {
        if (c.parser.isSet(source) && !throughProfile) {
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

    // The channel a profile's lines name, and the profile; an exit status when either is wrong
    // (said), else nothing.
    std::optional<int> readProfile(const Command& c, const QCommandLineOption& profileOption,
                                   QString& channel, ScopeProfile& profile) const {
        if (!c.parser.isSet(source))
            return c.usage(QStringLiteral("--%1 wants --source, the channel as the "
                                          "oscilloscope names it")
                               .arg(profileOption.names().constFirst()));
        channel = c.parser.value(source);
        if (const QString why = sourceProblem(channel); !why.isEmpty())
            return c.usage(QStringLiteral("--source: %1").arg(why));
        const ScopeProfileReading r = findScopeProfile(c.parser.value(profileOption));
        if (!r.error.isEmpty()) {
            say(r.error);
            return kFailed;
        }
        profile = r.profile;
        return std::nullopt;
    }
};

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

} // namespace ww::cli
