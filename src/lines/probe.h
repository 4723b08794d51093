#pragma once

#include "lineregistry.h"

#include <QObject>
#include <QTimer>
#include <memory>

namespace ww {

// What answers at an address: makes the line its kind makes, asks "*IDN?" where the kind
// answers it and waits for one line, all without blocking. Says it once through `said`: the
// identification, that something answers but not to *IDN? (a serial device server, or not a
// SCPI instrument), or why it cannot be reached. A kind that is not asked (a serial port,
// where the question could reach a generator mid-upload) is only described.
class AddressProbe : public QObject {
    Q_OBJECT
  public:
    explicit AddressProbe(QObject* parent = nullptr);
    ~AddressProbe() override;
    int timeoutMs = 3000;
    // Handed to the line made (tests give a USB device of their own).
    LineHooks hooks;
    void probe(const QString& address);
    bool busy() const { return m_busy; }

  signals:
    void said(const QString& address, bool reachable, const QString& text);

  private:
    void say(bool reachable, const QString& text);

    std::unique_ptr<Transport> m_line;
    QTimer m_answer;
    QByteArray m_got;
    QString m_address;
    bool m_busy = false;
};

} // namespace ww
