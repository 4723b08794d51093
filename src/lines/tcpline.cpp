#include "tcpline.h"

#include <QTcpSocket>
#include <QUrl>

#include <sys/socket.h>
#ifdef Q_OS_LINUX
#include <linux/sockios.h>
#include <sys/ioctl.h>
#endif

namespace ww {

bool parseTcpAddress(const QString& address, QString& host, quint16& port) {
    if (!address.startsWith(QLatin1String("tcp://")))
        return false;
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || !url.path().isEmpty() ||
        !url.userInfo().isEmpty() || url.hasQuery() || url.hasFragment())
        return false;
    const int p = url.port(5025);
    if (p < 1 || p > 65535)
        return false;
    host = url.host();
    port = static_cast<quint16>(p);
    return true;
}

TcpLine::TcpLine(QObject* parent) : QObject(parent) {
    m_connectTimer.setSingleShot(true);
    connect(&m_connectTimer, &QTimer::timeout, this, [this] {
        report(QStringLiteral("the host did not answer within %1 s")
                   .arg(connectTimeoutMs / 1000.0, 0, 'g', 3));
    });
}

TcpLine::~TcpLine() {
    close();
}

QString TcpLine::open(const QString& address) {
    close();
    QString host;
    quint16 port = 0;
    if (!parseTcpAddress(address, host, port))
        return QStringLiteral("'%1' is not an address tcp://HOST[:PORT]").arg(address);
    m_address = address;
    m_reported = false;
    m_socket = std::make_unique<QTcpSocket>();
    QTcpSocket* socket = m_socket.get();
    // Small writes of commands go out at once.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, sendBufferBytes);
    connect(socket, &QTcpSocket::readyRead, this, &TcpLine::bytesArrived);
    connect(socket, &QTcpSocket::bytesWritten, this, &TcpLine::outputMoved);
    connect(socket, &QTcpSocket::connected, this, [this] {
        m_connectTimer.stop();
        emit connected();
    });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] {
        QString why;
        switch (socket->error()) {
        case QAbstractSocket::RemoteHostClosedError:
            why = QStringLiteral("the instrument closed the connection");
            break;
        case QAbstractSocket::ConnectionRefusedError:
            why = QStringLiteral("the connection was refused");
            break;
        case QAbstractSocket::HostNotFoundError:
            why = QStringLiteral("no such host");
            break;
        default:
            why = socket->errorString();
            if (!why.isEmpty())
                why[0] = why[0].toLower();
            break;
        }
        report(why);
    });
    m_connectTimer.start(connectTimeoutMs);
    socket->connectToHost(host, port);
    return QString();
}

void TcpLine::report(const QString& reason) {
    if (m_reported)
        return;
    m_reported = true;
    m_connectTimer.stop();
    // Not from inside the socket's own signal: the receiver may close the line.
    QTimer::singleShot(0, this, [this, reason] {
        if (m_socket)
            emit lost(reason);
    });
}

void TcpLine::close() {
    m_connectTimer.stop();
    if (!m_socket)
        return;
    m_socket->disconnect(this);
    if (m_dropOutput && m_socket->socketDescriptor() >= 0) {
        // Reset rather than closed: what the system still holds for the instrument is thrown
        // away, not sent after the exchange has ended.
        const linger now{1, 0};
        ::setsockopt(static_cast<int>(m_socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &now,
                     sizeof now);
    }
    m_dropOutput = false;
    m_socket->abort();
    // Deleted later: close() may be called from inside one of the socket's own signals.
    m_socket.release()->deleteLater();
}

bool TcpLine::isOpen() const {
    return m_socket && m_socket->state() != QAbstractSocket::UnconnectedState;
}

bool TcpLine::isConnected() const {
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

void TcpLine::write(const QByteArray& bytes) {
    // While the connection is under way the socket keeps what is written, and sends it once
    // it is made.
    if (isOpen())
        m_socket->write(bytes);
}

QByteArray TcpLine::readAll() {
    return m_socket ? m_socket->readAll() : QByteArray();
}

void TcpLine::discardInput() {
    if (m_socket)
        m_socket->readAll();
}

void TcpLine::discardOutput() {
    m_dropOutput = true;
}

qint64 TcpLine::queuedOutput() const {
    return m_socket ? m_socket->bytesToWrite() : 0;
}

qint64 TcpLine::pendingOutput() const {
    if (!m_socket)
        return 0;
    qint64 pending = m_socket->bytesToWrite();
#ifdef Q_OS_LINUX
    // And what the system holds that the instrument has not acknowledged: sent or not, it has
    // not reached the other end yet.
    int queued = 0;
    if (m_socket->socketDescriptor() >= 0 &&
        ::ioctl(static_cast<int>(m_socket->socketDescriptor()), SIOCOUTQ, &queued) == 0)
        pending += queued;
#endif
    return pending;
}

} // namespace ww
