#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

class QTcpSocket;

namespace ww {

// "tcp://HOST[:PORT]" (port 5025 when none is given) as host and port; false when the text
// is no such address.
bool parseTcpAddress(const QString& address, QString& host, quint16& port);

// A raw socket to an instrument or a serial device server. The connection is made without
// blocking: what is written meanwhile waits in the socket, and a host that does not answer
// within the time-out, refuses or drops the connection is reported once through `lost` (the
// reason alone: the owner names the address), from the event loop.
class TcpLine : public QObject {
    Q_OBJECT
  public:
    explicit TcpLine(QObject* parent = nullptr);
    ~TcpLine() override;

    int connectTimeoutMs = 5000;
    // What the system may hold that the instrument has not acknowledged (it doubles this for
    // its own bookkeeping): a small send buffer keeps progress and Cancel close to the
    // instrument.
    int sendBufferBytes = 32768;

    // Empty when the connection is under way, else why it cannot be (the address is wrong).
    QString open(const QString& address);
    void close();
    bool isOpen() const;
    bool isConnected() const;
    void write(const QByteArray& bytes);
    QByteArray readAll();
    void discardInput();
    // What is not yet sent is thrown away when the line closes.
    void discardOutput();
    // Bytes written that the instrument has not taken: the socket's own and the system's.
    qint64 pendingOutput() const;
    // The socket's own, not yet handed to the system.
    qint64 queuedOutput() const;
    QString address() const { return m_address; }

  signals:
    void bytesArrived();
    void outputMoved();
    void connected();
    void lost(const QString& reason);

  private:
    void report(const QString& reason);

    std::unique_ptr<QTcpSocket> m_socket;
    QTimer m_connectTimer;
    QString m_address;
    bool m_reported = false;
    bool m_dropOutput = false;
};

} // namespace ww
