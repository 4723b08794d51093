#include "devices.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QSettings>

#ifdef Q_OS_UNIX
#include <fcntl.h>
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
    const QString lock =
        QStringLiteral("LCK..") + QFileInfo(path).canonicalFilePath().section('/', -1);
    for (const char* folder : {"/var/lock/", "/run/lock/"})
        if (QFile::exists(QLatin1String(folder) + lock))
            return QStringLiteral("in use by another program");
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
        const QString problem = deviceProblem(d.path);
        return details.join(QStringLiteral(", ")) +
               (problem.isEmpty() ? QString() : QStringLiteral(": ") + problem);
    }
    const QString problem = deviceProblem(device);
    return problem.isEmpty() ? QStringLiteral("not among the detected ports") : problem;
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
