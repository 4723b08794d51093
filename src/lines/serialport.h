#pragma once

#include "lineregistry.h"

#include <QSerialPort>
#include <memory>

namespace ww {

// A serial port opened with a settings string ("9600,n,8,1"). Reports a device that goes away
// while open.
class SerialPortLine : public Transport {
    Q_OBJECT
  public:
    SerialPortLine(LineTarget target, const LineHooks& hooks);
    ~SerialPortLine() override;

    QString open(int comNumber, const QString& settings, const Options& options) override;
    void close() override;
    bool isOpen() const override;
    void write(const QByteArray& bytes) override;
    QByteArray readAll() override;
    void discardInput() override;
    void discardBuffers() override;
    // Ours and the driver's.
    qint64 pendingOutput() const override;
    qint64 queuedOutput() const override;
    QSerialPort* port() const { return m_port.get(); }

  private:
    LineTarget m_target;
    std::function<qint64(QSerialPort&)> m_driverOutputQueue;
    std::unique_ptr<QSerialPort> m_port;
    bool m_lostReported = false;
};

// The driver's output queue of a port (TIOCOUTQ where the system has it).
qint64 systemOutputQueue(QSerialPort& port);

// "Cannot open COM1 (/dev/ttyS0): ..." for an error of QSerialPort; `port` as PortMap
// describes it, `device` the path opened, when known, to tell a port in use or a file that is
// no serial port from missing permission.
QString openFailureText(const QString& port, QSerialPort::SerialPortError error,
                        const QString& detail, const QString& device = {});

} // namespace ww
