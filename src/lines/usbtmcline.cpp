#include "usbtmcline.h"

#include <QFile>
#include <QMetaObject>
#include <QPointer>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

namespace ww {

QString usbtmcPath(const QString& address) {
    QString path = address;
    if (path.startsWith(QLatin1String("usbtmc://")))
        path = path.mid(9);
    if (!path.startsWith(QLatin1String("/dev/usbtmc")) && path == address)
        return QString();
    return path.startsWith(QLatin1Char('/')) ? path : QString();
}

namespace {
// The character devices of USB class drivers, usbtmc among them.
[[maybe_unused]] constexpr unsigned kUsbMajor = 180;

// Whether the message's last command asks for an answer.
bool asks(const QByteArray& message) {
    QByteArray m = message.trimmed();
    const qsizetype cut = std::max(m.lastIndexOf(';'), m.lastIndexOf('\n'));
    if (cut >= 0)
        m = m.mid(cut + 1).trimmed();
    const qsizetype blank = m.indexOf(' ');
    return (blank < 0 ? m : m.left(blank)).endsWith('?');
}
} // namespace

// The thread that does the blocking work, and what it shares with the line. It outlives the
// line when closed in the middle of a read: it closes the device when that read returns.
struct UsbtmcLine::Worker {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<QByteArray> messages;
    qint64 pending = 0;
    bool stopping = false;
    int fd = -1;
    QPointer<UsbtmcLine> line;
    std::thread thread;

    void run(std::shared_ptr<Worker> self) {
        for (;;) {
            QByteArray message;
            {
                std::unique_lock<std::mutex> lock(mutex);
                wake.wait(lock, [&] { return stopping || !messages.empty(); });
                if (stopping)
                    break;
                message = messages.front();
            }
            QString failure;
            for (qsizetype done = 0; done < message.size();) {
                const ssize_t n = ::write(fd, message.constData() + done,
                                          static_cast<std::size_t>(message.size() - done));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0) {
                    failure = QString::fromLocal8Bit(std::strerror(errno));
                    break;
                }
                done += n;
            }
            {
                std::lock_guard<std::mutex> lock(mutex);
                messages.pop_front();
                pending -= message.size();
            }
            QByteArray response;
            if (failure.isEmpty() && asks(message)) {
                // One response, read whole: a read shorter than asked for ends it.
                std::vector<char> buffer(65536);
                for (;;) {
                    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
                    if (n < 0 && errno == EINTR)
                        continue;
                    if (n < 0) {
                        if (errno != ETIMEDOUT)
                            failure = QString::fromLocal8Bit(std::strerror(errno));
                        break;
                    }
                    response.append(buffer.data(), n);
                    if (n < static_cast<ssize_t>(buffer.size()) || response.size() > (64 << 20))
                        break;
                }
            }
            // Posted under the lock: once close() has taken it, nothing reaches the line.
            std::lock_guard<std::mutex> lock(mutex);
            if (stopping)
                break;
            QMetaObject::invokeMethod(
                line.data(),
                [self, response, failure] {
                    UsbtmcLine* l = self->line.data();
                    if (!l)
                        return;
                    emit l->outputMoved();
                    if (!failure.isEmpty()) {
                        emit l->lost(
                            QStringLiteral("The device %1 failed: %2.").arg(l->m_path, failure));
                        return;
                    }
                    if (!response.isEmpty()) {
                        l->m_received += response;
                        emit l->bytesArrived();
                    }
                },
                Qt::QueuedConnection);
        }
        ::close(fd);
    }
};

UsbtmcLine::UsbtmcLine(QObject* parent) : QObject(parent) {
    openDevice = [](const QByteArray& path, QString& why) {
        // Opened without waiting (a pipe would keep the opening waiting for a reader), then
        // looked at before anything is written.
        const int fd = ::open(path.constData(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            why = QString::fromLocal8Bit(std::strerror(errno));
            return -1;
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0)
            why = QString::fromLocal8Bit(std::strerror(errno));
        else if (S_ISREG(st.st_mode))
            why = QStringLiteral("it is a plain file, not a USB instrument");
        else if (S_ISFIFO(st.st_mode))
            why = QStringLiteral("it is a pipe, not a USB instrument");
        else if (S_ISSOCK(st.st_mode))
            why = QStringLiteral("it is a socket, not a USB instrument");
        else if (!S_ISCHR(st.st_mode))
            why = QStringLiteral("it is not a USB instrument");
        else if (::isatty(fd) == 1)
            why = QStringLiteral("it is a terminal, not a USB instrument");
#ifdef Q_OS_LINUX
        // The kernel's USB devices share one major number; /dev/zero and the like are not
        // instruments, whatever their name.
        else if (major(st.st_rdev) != kUsbMajor)
            why = QStringLiteral("it is a device of another kind, not a USB instrument");
#endif
        if (why.isEmpty() && ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
            why = QString::fromLocal8Bit(std::strerror(errno));
        if (!why.isEmpty()) {
            ::close(fd);
            return -1;
        }
        return fd;
    };
}

UsbtmcLine::~UsbtmcLine() {
    close();
}

QString UsbtmcLine::open(const QString& address) {
    close();
    m_path = usbtmcPath(address);
    if (m_path.isEmpty())
        return QStringLiteral("'%1' is not a USBTMC device (usbtmc:///dev/usbtmcN)").arg(address);
    QString why;
    const int fd = openDevice(QFile::encodeName(m_path), why);
    if (fd < 0)
        return QStringLiteral("%1: %2").arg(m_path, why);
    m_received.clear();
    auto worker = std::make_shared<Worker>();
    worker->fd = fd;
    worker->line = this;
    worker->thread = std::thread([worker] { worker->run(worker); });
    worker->thread.detach();
    m_worker = worker;
    return QString();
}

void UsbtmcLine::close() {
    if (!m_worker)
        return;
    {
        std::lock_guard<std::mutex> lock(m_worker->mutex);
        m_worker->stopping = true;
        m_worker->line = nullptr;
    }
    m_worker->wake.notify_all();
    m_worker.reset();
}

bool UsbtmcLine::isOpen() const {
    return static_cast<bool>(m_worker);
}

void UsbtmcLine::write(const QByteArray& message) {
    if (!m_worker || message.isEmpty())
        return;
    {
        std::lock_guard<std::mutex> lock(m_worker->mutex);
        m_worker->messages.push_back(message);
        m_worker->pending += message.size();
    }
    m_worker->wake.notify_all();
}

QByteArray UsbtmcLine::readAll() {
    QByteArray out;
    out.swap(m_received);
    return out;
}

void UsbtmcLine::discardInput() {
    m_received.clear();
}

void UsbtmcLine::discardOutput() {
    if (!m_worker)
        return;
    std::lock_guard<std::mutex> lock(m_worker->mutex);
    // The message under way (the first) is the driver's already.
    while (m_worker->messages.size() > 1) {
        m_worker->pending -= m_worker->messages.back().size();
        m_worker->messages.pop_back();
    }
}

qint64 UsbtmcLine::pendingOutput() const {
    if (!m_worker)
        return 0;
    std::lock_guard<std::mutex> lock(m_worker->mutex);
    return m_worker->pending;
}

} // namespace ww
