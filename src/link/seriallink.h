#pragma once

#include "serialsettings.h"

#include <QObject>
#include <QSerialPort>
#include <functional>
#include <memory>

namespace ww {

// One serial control: opens a COM port with a settings string ("9600,n,8,1") and reports a
// device that goes away while open. The exchanges read and write through device().
class SerialLink : public QObject {
    Q_OBJECT
  public:
    explicit SerialLink(const PortMap& ports, QObject* parent = nullptr);
    ~SerialLink() override;

    struct Options {
        int flowControl = -1; // -1: left as configured; 0 none, 1 XOn/XOff, 2 RTS/CTS
        bool dtrRts = false;  // raise DTR and RTS
    };
    // Empty on success, else the message for the user (names the port and the reason).
    QString open(int comNumber, const QString& settings, const Options& options);
    QString open(int comNumber, const QString& settings) { return open(comNumber, settings, {}); }
    void close();
    bool isOpen() const;
    QIODevice* device() const;
    QString portName() const { return m_portName; }
    int comNumber() const { return m_comNumber; }
    // Discards what waits to be read and to be sent.
    void discardBuffers();
    // Bytes written but not yet sent out of the port: ours and the driver's.
    qint64 pendingOutput() const;
    // Reads the driver's output queue; replaceable where the device cannot show one (a
    // pseudo-terminal sends at once) so that a port held back by its flow control can be tried.
    std::function<qint64(QSerialPort&)> driverOutputQueue;

  signals:
    void opened(QIODevice* device);
    // The device failed while open (unplugged adapter, closed pseudo-terminal). Reported once
    // per opening, from a queued call, never from inside the port's own error signal.
    void lost(const QString& reason);

  private:
    const PortMap& m_ports;
    std::unique_ptr<QSerialPort> m_port;
    QString m_portName;
    int m_comNumber = 0;
    bool m_lostReported = false;
};

// "Cannot open COM1 (/dev/ttyS0): ..." for an error of QSerialPort; `port` as PortMap
// describes it.
QString openFailureText(const QString& port, QSerialPort::SerialPortError error,
                        const QString& detail);

} // namespace ww
