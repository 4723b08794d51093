#include "commandline.h"

#include "commands.h"
#include "instruments/bench.h"
#include "lines/devices.h"
#include "lines/lineregistry.h"
#include "options.h"

#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace ww::cli {
const QList<CommandEntry>& commandTable() {
    static const QList<CommandEntry> table = {
        {"send", "load a waveform file into the generator", send},
        {"capture", "read the curve an oscilloscope shows into a file", capture},
        {"convert", "read any file the program reads and write it in another format", convert},
        {"ports", "list the serial ports and the devices COM1..COM4 stand for", ports},
        {"expr", "make a waveform from an expression", expr},
        {"spectrum", "the spectrum of a waveform and its figures", spectrum},
        {"compare", "whether a captured curve is the waveform sent", compare},
        {"verify", "send, capture and compare in one", verify},
    };
    return table;
}

QStringList commandNames() {
    QStringList names;
    for (const CommandEntry& e : commandTable())
        names << e.name;
    return names;
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
    LineChoice choice;
    if (!chooseLine(text, ports, choice))
        return false;
    ports = choice.ports;
    comNumber = choice.comNumber;
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
    for (const CommandEntry& e : commandTable())
        if (e.name == word)
            return e.run(args);
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
