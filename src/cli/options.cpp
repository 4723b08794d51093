#include "options.h"

#include "instruments/profile.h"
#include "lines/devices.h"
#include "lines/lineregistry.h"
#include "model/numbertext.h"

#include <QFileInfo>
#include <QSettings>
#include <cstdio>

namespace ww::cli {

void say(const QString& text) {
    std::fprintf(stderr, "wavewright: %s\n", qPrintable(text));
}

// The help of a line option: every kind the line registry knows.
QString lineHelp(const QString& byDefault) {
    QStringList kinds{QStringLiteral("COM1..COM4")};
    for (const LineKind& k : lineKinds())
        kinds << QStringLiteral("%1, %2").arg(k.form, k.summary);
    return kinds.join(QStringLiteral("; ")) + QStringLiteral(" (default %1).").arg(byDefault);
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

} // namespace ww::cli
