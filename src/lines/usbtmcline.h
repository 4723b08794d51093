#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace ww {

// "usbtmc:///dev/usbtmcN" or the bare "/dev/usbtmcN" as the device's path; empty when the
// text is neither.
QString usbtmcPath(const QString& address);

// A USB Test & Measurement Class instrument through Linux's character device: each write is one
// message, and after a message that asks (its last command ends with '?') one read returns the
// instrument's response. The device blocks on both, so they run on a thread of the line's own
// and the event loop never waits; what the response brings arrives as bytesArrived. A device
// that fails (unplugged) is reported once through `lost`, its path named. A read that times
// out in the driver brings nothing: the exchange's own watchdog then speaks.
class UsbtmcLine : public QObject {
    Q_OBJECT
  public:
    explicit UsbtmcLine(QObject* parent = nullptr);
    ~UsbtmcLine() override;

    // How the device is opened: a character device only, by default (a plain file would be
    // overwritten with the upload, a pipe's own bytes read back as the answer); the
    // descriptor, or -1 with `why` said. Tests hand over a socket pair that keeps message
    // boundaries as the driver does.
    std::function<int(const QByteArray& path, QString& why)> openDevice;

    QString open(const QString& address);
    void close();
    bool isOpen() const;
    void write(const QByteArray& message);
    QByteArray readAll();
    void discardInput();
    // Messages not yet begun are dropped.
    void discardOutput();
    qint64 pendingOutput() const;
    QString path() const { return m_path; }

  signals:
    void bytesArrived();
    void outputMoved();
    void lost(const QString& reason);

  private:
    struct Worker;
    std::shared_ptr<Worker> m_worker;
    QByteArray m_received;
    QString m_path;
};

} // namespace ww
