#pragma once

#include "serialsettings.h"
#include "tcpline.h"
#include "transport.h"
#include "usbtmcline.h"

#include <QObject>
#include <QSerialPort>
#include <functional>
#include <memory>

namespace ww {

// The line of a COM number: a serial port opened with a settings string ("9600,n,8,1"), or,
// where the COM number stands for an address tcp://HOST[:PORT], a raw socket (an instrument's
// SCPI port or a serial device server), or for usbtmc:///dev/usbtmcN (or /dev/usbtmcN), a USB
// instrument's message device; the line settings then do not apply. Reports a device
// or a connection that goes away while open. The exchanges talk to it as their Transport.
class SerialLink : public Transport {
    Q_OBJECT
  public:
    explicit SerialLink(const PortMap& ports, QObject* parent = nullptr);
    ~SerialLink() override;

    using Options = Transport::Options;
    QString open(int comNumber, const QString& settings, const Options& options) override;
    QString open(int comNumber, const QString& settings) { return open(comNumber, settings, {}); }
    void close() override;
    bool isOpen() const override;
    void write(const QByteArray& bytes) override;
    QByteArray readAll() override;
    void discardInput() override;
    void discardBuffers() override;
    // Bytes written but not yet sent out of the port: ours and the driver's (on a socket, not
    // yet acknowledged by the other end).
    qint64 pendingOutput() const override;
    qint64 queuedOutput() const override;
    bool keepsMessages() const override { return m_onUsb; }
    bool ready() const override { return m_onTcp ? m_tcp.isConnected() : isOpen(); }

    // The open port (a QSerialPort), for reading back its settings; null on a socket.
    QIODevice* device() const;
    // How long a host may take to accept the connection.
    void setConnectTimeout(int ms) { m_tcp.connectTimeoutMs = ms; }
    // The USBTMC side, for tests that hand it a device of their own.
    UsbtmcLine& usbtmc() { return m_usb; }
    QString portName() const { return m_portName; }
    int comNumber() const { return m_comNumber; }
    // Reads the driver's output queue; replaceable where the device cannot show one (a
    // pseudo-terminal sends at once) so that a port held back by its flow control can be tried.
    std::function<qint64(QSerialPort&)> driverOutputQueue;

  private:
    const PortMap& m_ports;
    std::unique_ptr<QSerialPort> m_port;
    TcpLine m_tcp;
    bool m_onTcp = false;
    UsbtmcLine m_usb;
    bool m_onUsb = false;
    QString m_portName;
    int m_comNumber = 0;
    bool m_lostReported = false;
};

// "Cannot open COM1 (/dev/ttyS0): ..." for an error of QSerialPort; `port` as PortMap
// describes it, `device` the path opened, when known, to tell a port in use or a file that is
// no serial port from missing permission.
QString openFailureText(const QString& port, QSerialPort::SerialPortError error,
                        const QString& detail, const QString& device = {});

} // namespace ww
