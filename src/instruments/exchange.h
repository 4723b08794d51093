#pragma once

#include "lines/clock.h"
#include "lines/serialsettings.h"
#include "lines/transport.h"

#include <QObject>
#include <QTimer>

namespace ww {

// The icon a failure's box carries.
enum class BoxIcon { None, Stop };

// What the generator upload and the oscilloscope exchange share: the line, the 500 ms
// watchdog on an injectable clock, opening the port, and the one way a failure ends an
// exchange: the port closed, then `failed` (where the window shows its box), then the end.
class Exchange : public QObject {
    Q_OBJECT
  public:
    Exchange(Transport& line, SerialSettings& settings, Clock& clock, QObject* parent = nullptr);

    bool running() const { return m_running; }
    bool watchdogEnabled() const { return m_watchdog.isActive(); }

  signals:
    void started();  // show the window, disable the main window
    void finished(); // hide it, enable the main window
    // A message for the user, at the point where the window shows its box.
    void failed(const QString& text, const QString& title, ww::BoxIcon icon);

  protected:
    // Opens the line; a port that cannot be opened is reported and ends the exchange (false).
    bool openLine(const QString& settings, const Transport::Options& options);
    void armWatchdog() { m_watchdog.start(); }
    void stopWatchdog() { m_watchdog.stop(); }
    // Closes the port, tells the user, then ends the exchange.
    void fail(const QString& text, const QString& title = QStringLiteral("ERROR!"),
              BoxIcon icon = BoxIcon::Stop);
    // The exchange's own end (CloseTeskCom, CloseTdsCom): closes the port, stops the watchdog.
    virtual void end() = 0;
    virtual void bytesArrived() = 0;
    virtual void watchdogTick() = 0;
    // Timers of the exchange's own that must not act while a failure's box is open.
    virtual void haltTimers() {}
    // Ends the run: false when it was not running.
    bool finish();

    Transport& m_line;
    SerialSettings& m_settings;
    Clock& m_clock;
    bool m_running = false;

  private:
    QTimer m_watchdog;
};

} // namespace ww
