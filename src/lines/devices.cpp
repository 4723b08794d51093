#include "devices.h"

#include "lineregistry.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QSettings>

#include <cerrno>
#include <cstdint>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ww {

namespace {
const QString kGroup = QStringLiteral("ports");
}

QList<DetectedPort> systemPorts() {
    QMap<QString, QString> byId;
    const QDir dir(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo& link : dir.entryInfoList(QDir::System | QDir::Files))
        byId[link.canonicalFilePath()] = link.absoluteFilePath();
    QList<DetectedPort> out;
    for (const QSerialPortInfo& p : QSerialPortInfo::availablePorts()) {
        DetectedPort d;
        d.path = p.systemLocation();
        d.byId = byId.value(QFileInfo(d.path).canonicalFilePath());
        d.description = p.description();
        d.manufacturer = p.manufacturer();
        d.serialNumber = p.serialNumber();
        if (p.hasVendorIdentifier())
            d.vidPid = QStringLiteral("%1:%2")
                           .arg(p.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                           .arg(p.productIdentifier(), 4, 16, QLatin1Char('0'));
        out << d;
    }
    return out;
}

QString deviceProblem(const QString& path) {
#ifdef Q_OS_UNIX
    if (!path.startsWith(QLatin1Char('/')))
        return QString();
    const QByteArray local = QFile::encodeName(path);
    if (::access(local.constData(), F_OK) != 0)
        return QStringLiteral("not connected");
    if (::access(local.constData(), R_OK | W_OK) != 0)
        return QStringLiteral("no permission (the user must be in the 'dialout' group)");
    // QSerialPort and other serial programs leave a lock file while they hold a port.
    if (const QString lock = lockProblem(path); !lock.isEmpty())
        return lock;
#else
    Q_UNUSED(path);
#endif
    return QString();
}

QStringList lockFilesOf(const QString& path) {
    QStringList names;
    for (const QString& reached : {path, QFileInfo(path).canonicalFilePath()}) {
        if (reached.isEmpty())
            continue;
        QString name = reached.startsWith(QLatin1String("/dev/")) ? reached.mid(5) : reached;
        name.replace(QLatin1Char('/'), QLatin1Char('_'));
        if (!names.contains(name))
            names << name;
    }
    QStringList files, folders;
    for (const QString& folder : {QStringLiteral("/var/lock"), QStringLiteral("/run/lock")}) {
        const QString real = QFileInfo(folder).canonicalFilePath();
        if (real.isEmpty() || folders.contains(real))
            continue;
        folders << real;
        for (const QString& name : names)
            files << folder + QStringLiteral("/LCK..") + name;
    }
    return files;
}

QString lockProblem(const QString& path) {
#ifdef Q_OS_UNIX
    for (const QString& file : lockFilesOf(path)) {
        const QByteArray local = QFile::encodeName(file);
        struct stat link {};
        if (::lstat(local.constData(), &link) != 0)
            continue;
        struct stat st {};
        if (::stat(local.constData(), &st) != 0)
            return QStringLiteral("its lock file %1 is a link to nothing; remove it").arg(file);
        if (S_ISFIFO(st.st_mode))
            return QStringLiteral("its lock file %1 is a pipe, not a lock file (opening the port "
                                  "would wait on it forever); remove it")
                .arg(file);
        if (S_ISDIR(st.st_mode))
            return QStringLiteral("its lock file %1 is a folder, not a lock file; remove it")
                .arg(file);
        if (!S_ISREG(st.st_mode))
            return QStringLiteral("its lock file %1 is not a plain file; remove it").arg(file);
        // A plain file cannot block; O_NONBLOCK and O_NOFOLLOW in case it was swapped for
        // something else since.
        const int fd = ::open(local.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue; // not ours to read: the opening will say what it finds
        char head[64] = {};
        const ssize_t got = ::read(fd, head, sizeof head - 1);
        ::close(fd);
        if (got <= 0)
            return QStringLiteral("its lock file %1 is empty; remove it").arg(file);
        // The process number: text on the first line, as Qt and the UUCP convention write it,
        // or four binary bytes as old programs do.
        bool number = false;
        const qint64 pid = QByteArray(head, static_cast<int>(got))
                               .split('\n')
                               .value(0)
                               .trimmed()
                               .toLongLong(&number);
        qint64 binary = 0;
        if (!number && got == 4) {
            std::int32_t raw = 0;
            std::memcpy(&raw, head, 4);
            binary = raw;
        }
        const qint64 holder = number ? pid : binary;
        if (holder <= 0 || holder > 4194304)
            return QStringLiteral("its lock file %1 names no process; remove it").arg(file);
        if (::kill(static_cast<pid_t>(holder), 0) == 0 || errno == EPERM) {
            QFile comm(QStringLiteral("/proc/%1/comm").arg(holder));
            const QString name = comm.open(QIODevice::ReadOnly)
                                     ? QString::fromLocal8Bit(comm.readAll()).trimmed()
                                     : QStringLiteral("another program");
            return QStringLiteral("in use by %1 (process %2)").arg(name).arg(holder);
        }
        // A process that is gone: a stale lock, which the opening clears.
    }
#else
    Q_UNUSED(path);
#endif
    return QString();
}

QString notSerialPort(const QString& path) {
#ifdef Q_OS_UNIX
    const QByteArray local = QFile::encodeName(path);
    struct stat st {};
    if (::stat(local.constData(), &st) != 0)
        return QString();
    if (S_ISREG(st.st_mode))
        return QStringLiteral("it is not a serial port but a plain file");
    if (S_ISFIFO(st.st_mode))
        return QStringLiteral("it is not a serial port but a pipe");
    if (S_ISDIR(st.st_mode))
        return QStringLiteral("it is not a serial port but a folder");
    if (!S_ISCHR(st.st_mode))
        return QStringLiteral("it is not a serial port");
    const int fd = ::open(local.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return QString();
    const bool terminal = ::isatty(fd) == 1;
    ::close(fd);
    if (!terminal)
        return QStringLiteral("it is not a serial port (a device of another kind)");
#else
    Q_UNUSED(path);
#endif
    return QString();
}

QString heldBy(const QString& path) {
#ifdef Q_OS_LINUX
    // Every process's open files, as far as this user may see them; a few thousand links at most
    // on a desktop, read only after an open was refused.
    const QString target = QFileInfo(path).canonicalFilePath();
    if (target.isEmpty())
        return QString();
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    int looked = 0;
    for (const QString& pid : pids) {
        bool number = false;
        pid.toInt(&number);
        if (!number)
            continue;
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        for (const QFileInfo& fd : fds.entryInfoList(QDir::Files | QDir::System)) {
            if (++looked > 200000)
                return QString();
            if (fd.symLinkTarget() != target)
                continue;
            QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
            const QString name = comm.open(QIODevice::ReadOnly)
                                     ? QString::fromLocal8Bit(comm.readAll()).trimmed()
                                     : QStringLiteral("another program");
            return QStringLiteral("in use by %1 (process %2)").arg(name, pid);
        }
    }
#else
    Q_UNUSED(path);
#endif
    return QString();
}

PortChoices::PortChoices(PortSource source, const PortMap& current) : m_source(std::move(source)) {
    for (int n = 1; n <= 4; ++n)
        m_devices[n] = current.device(n);
    m_start = m_devices;
    refresh();
}

void PortChoices::refresh() {
    m_detected = m_source ? m_source() : QList<DetectedPort>();
}

void PortChoices::choose(int comNumber, const QString& nameOrPath) {
    QString chosen = nameOrPath.trimmed();
    // A detected port's own path is stored by its stable name, which survives replugging.
    for (const DetectedPort& d : m_detected)
        if (d.path == chosen && !d.byId.isEmpty())
            chosen = d.byId;
    m_devices[comNumber] = chosen;
}

QMap<int, QString> PortChoices::changed() const {
    QMap<int, QString> out;
    for (auto it = m_devices.begin(); it != m_devices.end(); ++it)
        if (it.value() != m_start.value(it.key()))
            out[it.key()] = it.value();
    return out;
}

QString PortChoices::describe(const QString& device) const {
    for (const DetectedPort& d : m_detected) {
        if (d.path != device && d.byId != device)
            continue;
        QStringList details{d.path};
        for (const QString& s : {d.description, d.manufacturer, d.serialNumber, d.vidPid})
            if (!s.isEmpty())
                details << s;
        // By the name the port is opened through, which names its lock file.
        const QString problem = deviceProblem(d.byId.isEmpty() ? d.path : d.byId);
        return details.join(QStringLiteral(", ")) +
               (problem.isEmpty() ? QString() : QStringLiteral(": ") + problem);
    }
    const LineKind* kind = lineKindOf(device);
    return kind ? kind->describe(device) : addressProblem(device);
}

void loadPortChoices(QSettings& settings, PortMap& ports) {
    settings.beginGroup(kGroup);
    for (int n = 1; n <= 4; ++n) {
        const QString device = settings.value(QStringLiteral("COM%1").arg(n)).toString();
        if (!device.isEmpty() && !ports.givenForThisRun(n))
            ports.setDevice(n, device);
    }
    settings.endGroup();
}

void savePortChoices(QSettings& settings, const QMap<int, QString>& changed) {
    settings.beginGroup(kGroup);
    for (auto it = changed.begin(); it != changed.end(); ++it)
        settings.setValue(QStringLiteral("COM%1").arg(it.key()), it.value());
    settings.endGroup();
}

} // namespace ww
