#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace ww {

// File names exactly as the system has them. A name that is not UTF-8 (café in Latin-1, say)
// keeps each stray byte as a character of its own (U+DC80..U+DCFF), so it is opened and
// written under the very bytes it was given, never under a look-alike.
QString pathFromNative(const QByteArray& bytes);
QByteArray nativePath(const QString& path);

// A file read in pieces, with what the system says of it. Opened by its native name; a file
// that states its size (a plain file) says so, a pipe or a device does not.
class InputFile {
  public:
    explicit InputFile(const QString& path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    QString error() const { return m_error; }
    bool isRegular() const { return m_regular; }
    std::int64_t size() const { return m_size; } // -1 when the file does not state it
    // Up to `max` bytes appended to `to`; 0 at the end; -1 on a failure (error() says which).
    std::int64_t read(QByteArray& to, std::int64_t max);
    // Positions for readers that need them (libsndfile); false where the file cannot seek.
    bool seek(std::int64_t offset);
    std::int64_t position() const { return m_position; }

  private:
    int m_fd = -1;
    bool m_regular = false;
    std::int64_t m_size = -1;
    std::int64_t m_position = 0;
    QString m_error;
};

// A file written whole or not at all: the bytes go to a temporary file beside it, which
// replaces the old file only on commit(). Destroyed without a commit, nothing is left.
class OutputFile {
  public:
    explicit OutputFile(const QString& path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    QString error() const { return m_error; }
    int handle() const { return m_fd; } // for writers that need a descriptor (libsndfile)
    bool write(const QByteArray& bytes);
    bool commit();
    void cancel();

  private:
    QByteArray m_target, m_temporary;
    int m_fd = -1;
    QString m_error;
};

// Writes `bytes` whole or not at all; an empty string, or why it failed.
QString writeWhole(const QString& path, const QByteArray& bytes);
// Whether a file can be written there now, checked by starting one and leaving nothing behind;
// an empty string, or why not.
QString checkWritable(const QString& path);

} // namespace ww
