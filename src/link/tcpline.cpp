#include "tcpline.h"

#include <QTcpSocket>
#include <QUrl>

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
        report(QStringLiteral("%1 did not answer within %2 s")
                   .arg(m_address)
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
    connect(socket, &QTcpSocket::readyRead, this, &TcpLine::bytesArrived);
    connect(socket, &QTcpSocket::connected, this, [this] {
        m_connectTimer.stop();
        emit connected();
    });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] {
        const QString why = socket->error() == QAbstractSocket::RemoteHostClosedError
                                ? QStringLiteral("the instrument closed the connection")
                                : socket->errorString();
        report(QStringLiteral("%1: %2").arg(m_address, why));
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

qint64 TcpLine::pendingOutput() const {
    return m_socket ? m_socket->bytesToWrite() : 0;
}

} // namespace ww
