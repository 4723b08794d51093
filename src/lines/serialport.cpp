#include "serialport.h"

#include "devices.h"

#include <QTimer>

#ifdef Q_OS_UNIX
#include <sys/ioctl.h>
#include <termios.h>
#endif

namespace ww {

namespace {
QSerialPort::Parity parityOf(const QString& p) {
    const QChar c = p.isEmpty() ? QLatin1Char('n') : p.at(0).toLower();
    if (c == QLatin1Char('o'))
        return QSerialPort::OddParity;
    if (c == QLatin1Char('e'))
        return QSerialPort::EvenParity;
    if (c == QLatin1Char('m'))
        return QSerialPort::MarkParity;
    if (c == QLatin1Char('s'))
        return QSerialPort::SpaceParity;
    return QSerialPort::NoParity;
}
} // namespace

QString openFailureText(const QString& port, QSerialPort::SerialPortError error,
                        const QString& detail, const QString& device) {
    QString why;
    const QString notSerial = error == QSerialPort::DeviceNotFoundError || device.isEmpty()
                                  ? QString()
                                  : notSerialPort(device);
    if (!notSerial.isEmpty())
        return QStringLiteral("Cannot open %1: %2.").arg(port, notSerial);
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        why = QStringLiteral("there is no such device.");
        break;
    case QSerialPort::PermissionError: {
        // Qt says "permission" for a port another program holds as well.
        const QString problem = device.isEmpty() ? QString() : deviceProblem(device);
        const QString holder = device.isEmpty() ? QString() : heldBy(device);
        if (!holder.isEmpty())
            why = QStringLiteral("it is %1.").arg(holder);
        else if (problem.startsWith(QLatin1String("in use")) ||
                 (!device.isEmpty() && problem.isEmpty()))
            why = QStringLiteral("it is in use by another program.");
        else
            why = QStringLiteral("permission denied. On Linux the user must be in the 'dialout' "
                                 "group (sudo usermod -aG dialout $USER, then log in again).");
        break;
    }
    case QSerialPort::OpenError:
        why = QStringLiteral("the port is already open.");
        break;
    default:
        why = detail.isEmpty() ? QStringLiteral("the port could not be opened.") : detail + '.';
        break;
    }
    return QStringLiteral("Cannot open %1: %2").arg(port, why);
}

qint64 systemOutputQueue(QSerialPort& port) {
#ifdef Q_OS_UNIX
    int queued = 0;
    if (ioctl(static_cast<int>(port.handle()), TIOCOUTQ, &queued) == 0)
        return queued;
#else
    Q_UNUSED(port);
#endif
    return 0;
}

SerialPortLine::SerialPortLine(LineTarget target, const LineHooks& hooks)
    : m_target(std::move(target)),
      m_driverOutputQueue(hooks.driverOutputQueue ? hooks.driverOutputQueue : systemOutputQueue) {}

SerialPortLine::~SerialPortLine() {
    close();
}

QString SerialPortLine::open(int, const QString& settings, const Options& options) {
    close();
    m_port = std::make_unique<QSerialPort>();
    m_port->setPortName(m_target.address);
    // Configure before opening; a pseudo-terminal refuses some settings, which is not fatal.
    const QStringList f = settings.split(QLatin1Char(','));
    m_port->setBaudRate(f.value(0).toInt());
    m_port->setParity(parityOf(f.value(1)));
    m_port->setDataBits(static_cast<QSerialPort::DataBits>(f.value(2, "8").toInt()));
    m_port->setStopBits(f.value(3) == QLatin1String("2") ? QSerialPort::TwoStop
                                                         : QSerialPort::OneStop);
    if (options.flowControl >= 0)
        m_port->setFlowControl(options.flowControl == 2   ? QSerialPort::HardwareControl
                               : options.flowControl == 1 ? QSerialPort::SoftwareControl
                                                          : QSerialPort::NoFlowControl);
    // A lock file that is not one (a pipe would keep the opening waiting for ever), or the
    // program that holds the port: said before the port is touched.
    if (const QString lock = lockProblem(m_target.address); !lock.isEmpty()) {
        QString text = QStringLiteral("Cannot open %1: %2%3.")
                           .arg(m_target.described,
                                lock.startsWith(QLatin1String("in use")) ? QStringLiteral("it is ")
                                                                         : QString(),
                                lock);
        if (!m_target.hint.isEmpty())
            text += QLatin1Char(' ') + m_target.hint;
        m_port.reset();
        return text;
    }
    if (!m_port->open(QIODevice::ReadWrite)) {
        QString text = openFailureText(m_target.described, m_port->error(), m_port->errorString(),
                                       m_target.address);
        if (!m_target.hint.isEmpty())
            text += QLatin1Char(' ') + m_target.hint;
        m_port.reset();
        return text;
    }
    if (options.dtrRts) {
        m_port->setDataTerminalReady(true);
        m_port->setRequestToSend(true);
    }
    m_port->clearError();
    m_lostReported = false;
    QSerialPort* port = m_port.get();
    connect(port, &QSerialPort::errorOccurred, this, [this, port](QSerialPort::SerialPortError e) {
        if (e != QSerialPort::ResourceError && e != QSerialPort::ReadError &&
            e != QSerialPort::WriteError)
            return; // unsupported settings on this device are not fatal
        if (m_lostReported)
            return;
        m_lostReported = true;
        const QString reason = QStringLiteral("The connection on %1 was lost: %2")
                                   .arg(m_target.described, port->errorString());
        // Closing inside the port's own error signal is not safe: do it from the event loop.
        QTimer::singleShot(0, this, [this, reason, port] {
            if (m_port.get() == port && m_port->isOpen())
                emit lost(reason);
        });
    });
    connect(port, &QIODevice::readyRead, this, &Transport::bytesArrived);
    connect(port, &QIODevice::bytesWritten, this, &Transport::outputMoved);
    return QString();
}

void SerialPortLine::close() {
    if (m_port) {
        m_port->disconnect(this);
        if (m_port->isOpen())
            m_port->close();
        // Deleted later: close() may be called from inside one of the port's own signals.
        m_port.release()->deleteLater();
    }
}

bool SerialPortLine::isOpen() const {
    return m_port && m_port->isOpen();
}

qint64 SerialPortLine::pendingOutput() const {
    if (!isOpen())
        return 0;
    return m_port->bytesToWrite() + (m_driverOutputQueue ? m_driverOutputQueue(*m_port) : 0);
}

qint64 SerialPortLine::queuedOutput() const {
    return isOpen() ? m_port->bytesToWrite() : 0;
}

void SerialPortLine::discardBuffers() {
    if (!isOpen())
        return;
    m_port->clear(QSerialPort::AllDirections);
    m_port->readAll();
}

void SerialPortLine::discardInput() {
    if (isOpen())
        m_port->clear(QSerialPort::Input);
}

void SerialPortLine::write(const QByteArray& bytes) {
    if (!isOpen())
        return;
    m_port->write(bytes);
    // Handed to the driver now rather than on the next turn of the event loop.
    m_port->flush();
}

QByteArray SerialPortLine::readAll() {
    return isOpen() ? m_port->readAll() : QByteArray();
}

} // namespace ww
