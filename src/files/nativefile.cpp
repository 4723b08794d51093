#include "nativefile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ww {

namespace {
QString systemError(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

// The length of the UTF-8 sequence that starts at p, or 0 when it is not one.
int utf8Sequence(const unsigned char* p, const unsigned char* end) {
    const unsigned char c = p[0];
    int n = 0;
    std::uint32_t cp = 0;
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF)
        n = 2, cp = c & 0x1F;
    else if (c >= 0xE0 && c <= 0xEF)
        n = 3, cp = c & 0x0F;
    else if (c >= 0xF0 && c <= 0xF4)
        n = 4, cp = c & 0x07;
    else
        return 0;
    if (end - p < n)
        return 0;
    for (int k = 1; k < n; ++k) {
        if ((p[k] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[k] & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
    if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}
} // namespace

QString pathFromNative(const QByteArray& bytes) {
    QString out;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto* end = p + bytes.size();
    while (p < end) {
        const int n = utf8Sequence(p, end);
        if (n == 0) {
            out += QChar(0xDC00 + *p); // a stray byte, kept as itself
            ++p;
        } else {
            out += QString::fromUtf8(reinterpret_cast<const char*>(p), n);
            p += n;
        }
    }
    return out;
}

QByteArray nativePath(const QString& path) {
    QByteArray out;
    out.reserve(path.size());
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t c = path[i].unicode();
        if (c >= 0xDC80 && c <= 0xDCFF &&
            !(i > 0 && QChar::isHighSurrogate(path[i - 1].unicode()))) {
            out += static_cast<char>(c - 0xDC00);
        } else if (QChar::isHighSurrogate(c) && i + 1 < path.size() &&
                   QChar::isLowSurrogate(path[i + 1].unicode())) {
            out += path.mid(i, 2).toUtf8();
            ++i;
        } else {
            out += QString(QChar(c)).toUtf8();
        }
    }
    return out;
}

InputFile::InputFile(const QString& path) {
    const QByteArray native = nativePath(path);
    // A pipe waits for its writer here, as it does for any program that reads one.
    m_fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
        m_error = systemError(errno);
        return;
    }
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) {
        m_error = systemError(errno);
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    if (S_ISDIR(st.st_mode)) {
        m_error = QStringLiteral("It is a folder, not a file.");
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    m_regular = S_ISREG(st.st_mode);
    m_size = m_regular ? static_cast<std::int64_t>(st.st_size) : -1;
}

InputFile::~InputFile() {
    if (m_fd >= 0)
        ::close(m_fd);
}

std::int64_t InputFile::read(QByteArray& to, std::int64_t max) {
    if (m_fd < 0)
        return -1;
    const qsizetype at = to.size();
    to.resize(at + static_cast<qsizetype>(max));
    ssize_t n;
    do
        n = ::read(m_fd, to.data() + at, static_cast<std::size_t>(max));
    while (n < 0 && errno == EINTR);
    if (n < 0) {
        m_error = systemError(errno);
        to.resize(at);
        return -1;
    }
    to.resize(at + n);
    m_position += n;
    return n;
}

bool InputFile::seek(std::int64_t offset) {
    if (m_fd < 0 || ::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) < 0)
        return false;
    m_position = offset;
    return true;
}

namespace {
// The file a path names through its symbolic links (a link is written through, as editors do,
// not replaced by a plain file): each link's target, a relative one taken from the link's
// folder, at most 40 deep as the system resolves them.
QByteArray throughLinks(QByteArray path) {
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st {};
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        QByteArray target(static_cast<qsizetype>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
        const ssize_t n =
            ::readlink(path.constData(), target.data(), static_cast<std::size_t>(target.size()));
        if (n <= 0 || n >= target.size())
            return path;
        target.truncate(n);
        if (!target.startsWith('/')) {
            const qsizetype slash = path.lastIndexOf('/');
            target = (slash >= 0 ? path.left(slash + 1) : QByteArray()) + target;
        }
        path = target;
    }
    return path;
}
} // namespace

OutputFile::OutputFile(const QString& path) : m_target(throughLinks(nativePath(path))) {
    m_temporary = m_target + ".XXXXXX";
    m_fd = ::mkostemp(m_temporary.data(), O_CLOEXEC);
    if (m_fd < 0) {
        m_error = systemError(errno);
        m_temporary.clear();
        return;
    }
    // The permissions a new file would get, or those of the file it replaces.
    struct stat st {};
    mode_t mode;
    if (::stat(m_target.constData(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(m_fd, mode);
}

OutputFile::~OutputFile() {
    cancel();
}

bool OutputFile::write(const QByteArray& bytes) {
    if (m_fd < 0)
        return false;
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, p, static_cast<std::size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_error = systemError(n < 0 ? errno : ENOSPC);
            cancel();
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

bool OutputFile::commit() {
    if (m_fd < 0)
        return false;
    const int fd = m_fd;
    m_fd = -1;
    // On the disk before it takes the old file's place; where syncing is not supported, the
    // rename still replaces the file whole.
    ::fdatasync(fd);
    if (::close(fd) != 0) {
        m_error = systemError(errno);
        ::unlink(m_temporary.constData());
        return false;
    }
    if (::rename(m_temporary.constData(), m_target.constData()) != 0) {
        m_error = systemError(errno);
        ::unlink(m_temporary.constData());
        return false;
    }
    m_temporary.clear();
    return true;
}

void OutputFile::cancel() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temporary.isEmpty()) {
        ::unlink(m_temporary.constData());
        m_temporary.clear();
    }
}

QString writeWhole(const QString& path, const QByteArray& bytes) {
    OutputFile file(path);
    if (!file.isOpen() || !file.write(bytes) || !file.commit())
        return file.error();
    return QString();
}

QString checkWritable(const QString& path) {
    OutputFile file(path);
    if (!file.isOpen())
        return file.error();
    const QByteArray native = nativePath(path);
    struct stat st {};
    if (::stat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode))
        return QStringLiteral("It is a folder.");
    return QString(); // the temporary goes with `file`
}

} // namespace ww
