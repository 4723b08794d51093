#include "commandline.h"

#include "exchanges.h"
#include "files/sound.h"
#include "files/table.h"
#include "files/wavefile.h"
#include "link/devices.h"
#include "link/generatorlines.h"
#include "synth/expression.h"
#include "synth/resample.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>

namespace ww::cli {

namespace {
void say(const QString& text) {
    std::fprintf(stderr, "wavewright: %s\n", qPrintable(text));
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
    LineOptions(Command& c, const QString& quietHelp, const QString& parityHelp)
        : port(c.add("port", "COM1..COM4 or a device path such as /dev/ttyUSB0 (default COM1).",
                     "P")),
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
            return QStringLiteral("--port wants COM1..COM4 or a device path, not '%1'").arg(p);
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

// Reads a waveform file the program can read, checked whole; nullopt after saying why.
// How a file that is not the program's own comes in: the column (or channel), the fit into
// -1..+1, and the length (0: kept when it is 4..16000, else 16000).
struct ImportChoice {
    int column = -1; // -1: the last numeric column that is not time, or the first channel
    ImportFit fit = ImportFit::AsIs;
    int length = 0;
};

QString suffixOf(const QString& path) {
    return QFileInfo(path).suffix().toLower();
}

// The column (or channel) asked for, or why there is none.
std::optional<std::vector<double>> pick(const std::vector<std::vector<double>>& columns, int column,
                                        QString& why) {
    if (column < static_cast<int>(columns.size()))
        return columns[static_cast<std::size_t>(column)];
    why = QStringLiteral("there is no column %1 (the file has %2)")
              .arg(column + 1)
              .arg(columns.size());
    return std::nullopt;
}

// Reads any waveform file the program reads, checked whole; nullopt after saying why.
std::optional<WaveStore> readWaveform(const QString& path, const ImportChoice& how = {}) {
    const QString suffix = suffixOf(path);
    QString why;
    if (suffix == QLatin1String("txt") && how.column < 0 && how.length == 0) {
        // The program's own file as it stands; a .txt that is not one may be a table.
        const WaveFileContent c = readWaveFile(path, WaveFileUse::Open);
        if (c.error.isEmpty() && !c.lengthLimited) {
            WaveStore store;
            std::copy(c.samples.begin(), c.samples.end(), store.ArbData.begin());
            store.ArbLength = static_cast<float>(c.length);
            return store;
        }
        why = c.lengthLimited
                  ? QStringLiteral("line 1: the length %1 is outside 4..16000").arg(c.lengthValue)
                  : c.error;
    }
    std::optional<std::vector<double>> values;
    if (suffix == QLatin1String("wav")) {
        const Sound sound = readSound(path);
        if (sound.error.isEmpty())
            values = pick(sound.channels, std::max(how.column, 0), why);
        else
            why = sound.error;
    } else {
        const Table table = readTable(path);
        if (table.error.isEmpty())
            values = pick(table.columns, how.column < 0 ? table.signalColumn : how.column, why);
        else if (why.isEmpty())
            why = table.error;
    }
    if (!values) {
        say(QStringLiteral("%1: %2").arg(path, why));
        return std::nullopt;
    }
    const int n = static_cast<int>(values->size());
    const int length =
        how.length > 0 ? how.length : (n >= kMinLength && n <= kMaxLength ? n : kMaxLength);
    const std::vector<float> samples =
        fitImported(length == n ? *values : resampleLinear(*values, length), how.fit);
    WaveStore store;
    std::copy(samples.begin(), samples.end(), store.ArbData.begin());
    store.ArbLength = static_cast<float>(length);
    return store;
}

bool canRead(const QString& path) {
    return QStringList{"txt", "csv", "tsv", "dat", "wav"}.contains(suffixOf(path));
}

PictureWriter& pictureWriter() {
    static PictureWriter writer;
    return writer;
}

bool isPicture(const QString& path) {
    return suffixOf(path) == QLatin1String("png") || suffixOf(path) == QLatin1String("svg");
}

bool canWrite(const QString& path) {
    return QStringList{"txt", "csv", "wav"}.contains(suffixOf(path)) ||
           (isPicture(path) && pictureWriter());
}

// Writes the store's waveform in the format `path` names; an empty string or why it failed.
QString writeWaveform(const QString& path, const WaveStore& store, int rate,
                      QSize size = QSize(1536, 720)) {
    if (isPicture(path))
        return pictureWriter()(path, size, store);
    const std::vector<float> samples(store.ArbData.begin(), store.ArbData.begin() + store.length());
    if (suffixOf(path) == QLatin1String("csv"))
        return writeCsv(path, samples);
    if (suffixOf(path) == QLatin1String("wav"))
        return writeSound(path, samples, rate);
    return writeWaveFile(path, QString::number(store.length()), store);
}

int send(const QStringList& args) {
    Command c("send", "FILE", "Uploads a waveform file to the Vorrel generator.");
    LineOptions lineOptions(c, "No progress on standard error.",
                            "n or N (none, 8 data bits), O or E (odd or even, 7 data bits) "
                            "(default n).");
    const auto number =
        c.add("number", "The generator's waveform number, 1 to 8 (default 1).", "1..8");
    const auto dryRun =
        c.add("dry-run", "Writes the lines that would be sent to standard output instead.");
    if (const auto done = c.parse(args, 1))
        return *done;
    Line line;
    if (const QString why = lineOptions.read(c, line); !why.isEmpty())
        return c.usage(why);
    int slot = 1;
    if (c.parser.isSet(number)) {
        bool ok = false;
        slot = c.parser.value(number).toInt(&ok);
        if (!ok || slot < 1 || slot > 8)
            return c.usage(QStringLiteral("--number wants 1 to 8"));
    }
    std::optional<WaveStore> store = readWaveform(c.parser.positionalArguments().at(0));
    if (!store)
        return kFailed;
    store->ArbNumber = static_cast<float>(slot);
    if (c.parser.isSet(dryRun)) {
        QByteArray out = headerLine(store->ArbNumber, store->ArbLength);
        for (int b = 0; b < blockCount(store->ArbLength); ++b)
            out += dataLine(*store, b);
        std::fwrite(out.constData(), 1, static_cast<std::size_t>(out.size()), stdout);
        return std::fflush(stdout) == 0 ? kOk : kFailed;
    }
    return sendWaveform(line, *store);
}

int capture(const QStringList& args) {
    Command c("capture", "FILE",
              "Reads the curve shown on a TDS oscilloscope into a waveform file of 2500 points.");
    LineOptions lineOptions(c, "No progress or identification on standard error.",
                            "n or N (none), O or E (odd or even); 8 data bits (default n).");
    const auto source = c.add("source", "CH1, CH2, REFA or REFB (default CH1).", "name");
    const auto eol = c.add("eol", "The command terminator, lf or cr (default lf).", "lf|cr");
    const auto flow = c.add("flow", "Handshaking, none or rtscts (default rtscts).", "kind");
    if (const auto done = c.parse(args, 1))
        return *done;
    Line line;
    if (const QString why = lineOptions.read(c, line); !why.isEmpty())
        return c.usage(why);
    if (c.parser.isSet(source)) {
        const int i =
            QStringList{"CH1", "CH2", "CH3", "CH4", "REFA", "REFB"}.indexOf(c.parser.value(source));
        if (i < 0 || i == 2 || i == 3)
            return c.usage(QStringLiteral("--source wants CH1, CH2, REFA or REFB"));
        chooseOscilSource(line.settings, i);
    }
    if (c.parser.isSet(eol)) {
        const int i = QStringList{"lf", "cr"}.indexOf(c.parser.value(eol));
        if (i < 0)
            return c.usage(QStringLiteral("--eol wants lf or cr"));
        chooseOscilEol(line.settings, i);
    }
    if (c.parser.isSet(flow)) {
        const int i = QStringList{"rtscts", "", "none"}.indexOf(c.parser.value(flow));
        if (i != 0 && i != 2)
            return c.usage(QStringLiteral("--flow wants none or rtscts"));
        chooseFlowControl(line.settings, i);
    }
    const QString file = c.parser.positionalArguments().at(0);
    if (suffixOf(file) != QLatin1String("txt"))
        return c.usage(QStringLiteral("%1: the file name must end in .txt").arg(file));
    return captureCurve(line, file);
}

int convert(const QStringList& args) {
    Command c("convert", "IN OUT",
              "Reads any waveform file the program reads (.txt, .csv, .tsv, .dat, .wav) and writes "
              "it in the format OUT's extension names (.txt: the program's own, .csv, .wav, and "
              "pictures .png and .svg).");
    const auto column = c.add("column",
                              "The column (or channel) to take, from 1 (default: the "
                              "last numeric column that is not time).",
                              "N");
    const auto fit =
        c.add("fit", "Values beyond -1..+1: peak, range or clip (default clip).", "how");
    const auto length =
        c.add("length",
              "Resample to N points, 4 to 16000 (default: kept when it is 4..16000, "
              "else 16000).",
              "N");
    const auto rate = c.add("rate", "Samples a second of a WAV written (default 16000).", "HZ");
    const auto size =
        c.add("size", "Width x height of a picture written (default 1536x720).", "WxH");
    if (const auto done = c.parse(args, 2))
        return *done;
    const QString in = c.parser.positionalArguments().at(0);
    const QString out = c.parser.positionalArguments().at(1);
    if (!canRead(in))
        return c.usage(
            QStringLiteral("%1: unknown format (known: .txt, .csv, .tsv, .dat, .wav)").arg(in));
    if (!canWrite(out))
        return c.usage(
            QStringLiteral("%1: unknown format (known: .txt, .csv, .wav, .png, .svg)").arg(out));
    ImportChoice how;
    bool ok = true;
    if (c.parser.isSet(column)) {
        how.column = c.parser.value(column).toInt(&ok) - 1;
        if (!ok || how.column < 0)
            return c.usage(QStringLiteral("--column wants 1 or more"));
    }
    if (c.parser.isSet(fit)) {
        const int i = QStringList{"peak", "range", "clip"}.indexOf(c.parser.value(fit));
        if (i < 0)
            return c.usage(QStringLiteral("--fit wants peak, range or clip"));
        how.fit = i == 0 ? ImportFit::Peak : i == 1 ? ImportFit::Range : ImportFit::Clip;
    }
    if (c.parser.isSet(length)) {
        how.length = c.parser.value(length).toInt(&ok);
        if (!ok || how.length < kMinLength || how.length > kMaxLength)
            return c.usage(QStringLiteral("--length wants 4 to 16000"));
    }
    int hz = 16000;
    if (c.parser.isSet(rate)) {
        hz = c.parser.value(rate).toInt(&ok);
        if (!ok || hz < 1)
            return c.usage(QStringLiteral("--rate wants a positive number of samples a second"));
    }
    QSize pixels(1536, 720);
    if (c.parser.isSet(size)) {
        const QStringList wh = c.parser.value(size).split(QLatin1Char('x'));
        pixels = QSize(wh.value(0).toInt(), wh.value(1).toInt());
        if (pixels.width() < 120 || pixels.height() < 80 || pixels.width() > 20000 ||
            pixels.height() > 20000)
            return c.usage(QStringLiteral("--size wants WIDTHxHEIGHT from 120x80 to 20000x20000"));
    }
    const std::optional<WaveStore> store = readWaveform(in, how);
    if (!store)
        return kFailed;
    const QString why = writeWaveform(out, *store, hz, pixels);
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
    if (c.parser.isSet(input) && !(current = readWaveform(c.parser.value(input))))
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
    if (file.isEmpty() || !canWrite(file))
        return c.usage(QStringLiteral("-o wants a file ending in .txt, .csv or .wav"));
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
    const std::vector<float> samples =
        fitToRange(values.samples, how == QLatin1String("peak") ? Fit::Peak : Fit::Clip);
    WaveStore store;
    std::copy(samples.begin(), samples.end(), store.ArbData.begin());
    store.ArbLength = static_cast<float>(n);
    const QString why = writeWaveform(file, store, 16000);
    if (!why.isEmpty()) {
        say(QStringLiteral("%1: %2").arg(file, why));
        return kFailed;
    }
    return kOk;
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
    return {"send", "capture", "convert", "ports", "expr"};
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
    if (!text.contains(QLatin1Char('/')))
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

void setPictureWriter(PictureWriter writer) {
    pictureWriter() = std::move(writer);
}

bool wantsPicture(const QStringList& arguments) {
    if (arguments.value(1) != QLatin1String("convert"))
        return false;
    for (const QString& a : arguments.mid(2))
        if (!a.startsWith(QLatin1Char('-')) && isPicture(a))
            return true;
    return false;
}

int run(const QStringList& arguments) {
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
    say(QStringLiteral("unknown command '%1'").arg(word));
    return kUsage;
}

} // namespace ww::cli
