#pragma once

#include "tcpline.h"

#include <QObject>
#include <QTimer>

namespace ww {

// Whether a network address can be reached, and what answers there: connects, asks "*IDN?"
// and waits for one line, all without blocking. Says it once through `said`: the
// identification, that something answers but not to *IDN? (a serial device server, or not a
// SCPI instrument), or why it cannot be reached.
class AddressProbe : public QObject {
    Q_OBJECT
  public:
    explicit AddressProbe(QObject* parent = nullptr);
    int timeoutMs = 3000;
    void probe(const QString& address);
    bool busy() const { return m_busy; }

  signals:
    void said(const QString& address, bool reachable, const QString& text);

  private:
    void say(bool reachable, const QString& text);

    TcpLine m_line;
    QTimer m_answer;
    QByteArray m_got;
    QString m_address;
    bool m_busy = false;
};

} // namespace ww
