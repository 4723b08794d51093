#pragma once

#include "lineregistry.h"
#include "serialport.h"
#include "serialsettings.h"
#include "transport.h"

#include <QObject>
#include <memory>

namespace ww {

// The line of a COM number: whatever the device the COM number stands for names, made by the
// line registry when it is opened (a serial port with the settings string "9600,n,8,1", a raw
// socket, a USB instrument's message device; the line settings apply only where the kind has
// them). The exchanges talk to it as their Transport; it hands on what its line says.
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
    qint64 pendingOutput() const override;
    qint64 queuedOutput() const override;
    bool keepsMessages() const override;
    bool ready() const override;

    // The open serial port, for reading back its settings; null on any other line.
    QSerialPort* device() const;
    // How long a host may take to accept the connection.
    void setConnectTimeout(int ms) { hooks.connectTimeoutMs = ms; }
    // Handed to each line made: tests give a USB device of their own here.
    LineHooks hooks;
    QString portName() const { return m_portName; }
    int comNumber() const { return m_comNumber; }

  private:
    const PortMap& m_ports;
    std::unique_ptr<Transport> m_line;
    QString m_portName;
    int m_comNumber = 0;
};

} // namespace ww
