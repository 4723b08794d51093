#include "keyvalue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ww {

int KeyValueText::lineOf(const QString& key) const {
    for (const KeyValue& e : entries)
        if (e.key == key)
            return e.line;
    return lastLine;
}

QString KeyValueText::fail(int line, const QString& why) {
    error = QStringLiteral("line %1: %2").arg(line).arg(why);
    return error;
}

KeyValueText readKeyValues(const QByteArray& text, const QStringList& repeatable) {
    KeyValueText r;
    if (text.size() > kMaxProfileBytes) {
        r.fail(1, QStringLiteral("a profile is at most %1 bytes").arg(kMaxProfileBytes));
        return r;
    }
    const QList<QByteArray> lines = text.split('\n');
    r.lastLine = static_cast<int>(lines.size());
    QStringList seen;
    for (int n = 0; n < static_cast<int>(lines.size()); ++n) {
        const int number = n + 1;
        QByteArray line = lines[n];
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.size() > 4096) {
            r.fail(number, QStringLiteral("the line is longer than 4096 bytes"));
            return r;
        }
        // A comment starts at '#' at the start or after a blank: a block's '#' is inside
        // braces, and never follows a blank in a command.
        const int hash = line.indexOf('#');
        if (hash == 0 || (hash > 0 && (line[hash - 1] == ' ' || line[hash - 1] == '\t')))
            line.truncate(hash);
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        const int colon = line.indexOf(':');
        if (colon <= 0) {
            r.fail(
                number,
                QStringLiteral("'%1' is not 'key: value'").arg(QString::fromUtf8(line.left(40))));
            return r;
        }
        const QString key = QString::fromUtf8(line.left(colon).trimmed()).toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (!repeatable.contains(key)) {
            if (seen.contains(key)) {
                r.fail(number, QStringLiteral("'%1' is given twice").arg(key));
                return r;
            }
            seen << key;
        }
        if (value.isEmpty()) {
            r.fail(number, QStringLiteral("'%1' has no value").arg(key));
            return r;
        }
        r.entries.append(KeyValue{number, key, value});
    }
    return r;
}

QString placeholderProblem(const QString& key, const QByteArray& value,
                           const QStringList& allowed) {
    for (qsizetype at = value.indexOf('{'); at >= 0; at = value.indexOf('{', at + 1)) {
        const qsizetype close = value.indexOf('}', at);
        const QString word =
            close < 0 ? QString() : QString::fromUtf8(value.mid(at + 1, close - at - 1));
        if (!allowed.contains(word))
            return QStringLiteral("'%1' is not a placeholder of %2, which may hold {%3}")
                .arg(QString::fromUtf8(value.mid(at, close < 0 ? 20 : close - at + 1)), key,
                     allowed.join(QStringLiteral("}, {")));
    }
    return QString();
}

QByteArray unescapeValue(const QByteArray& v) {
    QByteArray out;
    for (int i = 0; i < v.size(); ++i) {
        if (v[i] == '\\' && i + 1 < v.size()) {
            const char c = v[++i];
            out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
        } else {
            out += v[i];
        }
    }
    return out;
}

QString readProfileFile(const QString& path, QByteArray& text) {
    if (path.startsWith(QLatin1Char(':'))) { // shipped inside the program
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return f.errorString();
        text = f.read(kMaxProfileBytes + 1);
        return QString();
    }
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    struct stat st {};
    QString why;
    if (::fstat(fd, &st) != 0)
        why = QString::fromLocal8Bit(std::strerror(errno));
    else if (S_ISFIFO(st.st_mode))
        why = QStringLiteral("it is a pipe, not a profile file");
    else if (S_ISDIR(st.st_mode))
        why = QStringLiteral("it is a folder, not a profile file");
    else if (!S_ISREG(st.st_mode))
        why = QStringLiteral("it is a device, not a profile file");
    if (why.isEmpty()) {
        text.resize(kMaxProfileBytes + 1);
        qsizetype got = 0;
        while (got < text.size()) {
            const ssize_t n =
                ::read(fd, text.data() + got, static_cast<std::size_t>(text.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                why = QString::fromLocal8Bit(std::strerror(errno));
            if (n <= 0)
                break;
            got += n;
        }
        text.truncate(got);
    }
    ::close(fd);
    return why;
#else
    QFile f(path);
    if (!QFileInfo(path).isFile())
        return QStringLiteral("it is not a profile file");
    if (!f.open(QIODevice::ReadOnly))
        return f.errorString();
    text = f.read(kMaxProfileBytes + 1);
    return QString();
#endif
}

QStringList profileFoldersWith(const QString& shipped) {
    return {QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                QStringLiteral("/wavewright/profiles"),
            shipped};
}

QString profilePath(const QString& nameOrPath, const QStringList& folders, const QString& suffix) {
    if (nameOrPath.contains(QLatin1Char('/')) || nameOrPath.endsWith(suffix))
        return nameOrPath;
    for (const QString& folder : folders) {
        const QString candidate = folder + QLatin1Char('/') + nameOrPath + suffix;
        if (QFileInfo::exists(candidate))
            return candidate;
    }
    return QString();
}

QStringList profileNamesIn(const QStringList& folders, const QString& suffix) {
    QStringList names;
    QStringList order = folders;
    std::reverse(order.begin(), order.end());
    for (const QString& folder : order)
        for (const QFileInfo& f :
             QDir(folder).entryInfoList({QLatin1Char('*') + suffix}, QDir::Files, QDir::Name))
            if (!names.contains(f.completeBaseName()))
                names << f.completeBaseName();
    return names;
}

} // namespace ww
