#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace ww {

// At most this many bytes of a profile are read, and lines of at most 4096 bytes.
constexpr int kMaxProfileBytes = 65536;

// One `key: value` line of a profile.
struct KeyValue {
    int line = 0;
    QString key; // lower case
    QByteArray value;
};

// The lines of a profile, generator's or oscilloscope's: `key: value`, '#' at the start or
// after a blank starts a comment, blank lines skipped. A key given twice is a fault unless it
// may repeat; so is a key with no value.
struct KeyValueText {
    QList<KeyValue> entries;
    int lastLine = 1;
    QString error; // "line N: ..." or empty

    // The line of the first `key`, or the last line (where something missing is said).
    int lineOf(const QString& key) const;
    // "line N: why", set as the error; for the readers' own checks.
    QString fail(int line, const QString& why);
};
KeyValueText readKeyValues(const QByteArray& text, const QStringList& repeatable);

// Why `value`, the value of `key`, holds a {word} that is not one of `allowed`, or an empty
// string.
QString placeholderProblem(const QString& key, const QByteArray& value, const QStringList& allowed);

// "\n", "\r", "\t" and "\\" as the characters they stand for.
QByteArray unescapeValue(const QByteArray& v);

// A profile's bytes, from a plain file (or one shipped inside the program) and at most one more
// than a profile may hold: a pipe, a device or a folder under the name is refused for what it
// is, and nothing waits. Empty on success, else why not.
QString readProfileFile(const QString& path, QByteArray& text);

// A profile by name (NAME`suffix` in the first of `folders` that has it) or by path (holding
// a '/', or ending in `suffix`); empty when there is none.
QString profilePath(const QString& nameOrPath, const QStringList& folders, const QString& suffix);
// The folders profiles are looked for in: the user's own, then those shipped under `shipped`
// (":/profiles").
QStringList profileFoldersWith(const QString& shipped);

// A profile by name or path read and parsed by `parse`, a reading with `error` (said with the
// file's path, or the names there are when there is none of that name).
template <typename Reading, typename Parse>
Reading findProfileIn(const QString& nameOrPath, const QStringList& folders, const QString& suffix,
                      const QString& kind, Parse parse);

// The names of the profiles in `folders`, the last folder's first (the shipped ones), each once.
QStringList profileNamesIn(const QStringList& folders, const QString& suffix);

template <typename Reading, typename Parse>
Reading findProfileIn(const QString& nameOrPath, const QStringList& folders, const QString& suffix,
                      const QString& kind, Parse parse) {
    const QString path = profilePath(nameOrPath, folders, suffix);
    Reading r;
    if (path.isEmpty()) {
        r.error =
            QStringLiteral("no %1 '%2'; the profiles are: %3")
                .arg(kind, nameOrPath, profileNamesIn(folders, suffix).join(QStringLiteral(", ")));
        return r;
    }
    QByteArray text;
    if (const QString why = readProfileFile(path, text); !why.isEmpty()) {
        r.error = QStringLiteral("%1: %2").arg(path, why);
        return r;
    }
    r = parse(text);
    if (!r.error.isEmpty())
        r.error = QStringLiteral("%1: %2").arg(path, r.error);
    return r;
}

} // namespace ww
