#pragma once

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

// Writes a file for a test to open; returns its path.
inline QString writeFile(const QTemporaryDir& dir, const char* name, const QByteArray& bytes) {
    QFile f(dir.filePath(name));
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return dir.filePath(name);
}

// A file's whole content, or nothing when it cannot be read.
inline QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
