#pragma once

#include <QObject>
#include <memory>

class QSocketNotifier;

namespace ww::cli {

// Turns SIGINT and SIGTERM into a signal of the event loop, so that an exchange can close its
// port and the command leave no half-written file. One at a time; the handlers are put back
// when it goes.
class Interrupts : public QObject {
    Q_OBJECT
  public:
    Interrupts();
    ~Interrupts() override;
    int received() const { return m_signal; } // 0, SIGINT or SIGTERM

  signals:
    void interrupted(int signal);

  private:
    std::unique_ptr<QSocketNotifier> m_notifier;
    int m_signal = 0;
};

} // namespace ww::cli
