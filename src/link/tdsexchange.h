#pragma once

#include "clock.h"
#include "seriallink.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <vector>

namespace ww {

constexpr int kTdsPoints = 2500;
constexpr int kTdsHeaderBytes = 6;

// A received curve byte as a sample: (b - 127) / 128.
float tdsSample(unsigned char b);
// The seven read commands, each ended by the terminator.
QByteArray tdsReadCommands(const QString& source, char eol);
// Whole seconds from the query to the deadline.
int tdsLinkSeconds(const QString& baud);
int tdsReadSeconds(const QString& baud);

// The oscilloscope exchanges: Set Link ("*IDN?") and Read Data (the curve of one source,
// 2500 one-byte points). Driven by readyRead and a 500 ms watchdog. The curve is collected
// aside and handed over only when it is taken, so a failed or cancelled read changes nothing.
class TdsExchange : public QObject {
    Q_OBJECT
  public:
    TdsExchange(SerialLink& link, SerialSettings& settings, Clock& clock,
                QObject* parent = nullptr);

    // Shows a message box: text, title, and whether it carries the stop icon.
    std::function<void(const QString& text, const QString& title, bool stopIcon)> showMessage;

    void TDS_Link();
    void TDS_Readdata();
    void Command_TDS_Click(); // "Cancle" or "OK"
    void Timer_TDS_Timer();   // the watchdog tick, also run by the 500 ms timer
    void closeRequested();    // the window's close box: as the button

    bool running() const { return m_running; }
    bool TdsLinked = false;
    bool TdsDone = false;
    int TdsByteCount = 0;
    qint64 TdsDeadline = 0;
    bool watchdogEnabled() const { return m_timer.isActive(); }
    const std::vector<float>& received() const { return m_curve; }

    static QString linkErrorText();
    static QString readErrorText();

  signals:
    void started();  // show the window, disable the main window
    void finished(); // hide it, enable the main window
    void statusChanged(const QString& text, bool wordWrap); // Label_TDS
    void statusAppended(const QString& text);
    void percentChanged(const QString& text, bool visible); // Label_TDS_percent
    void progressChanged(int maximum, int value);
    void buttonChanged(const QString& caption);        // Command_TDS
    void dataTaken(const std::vector<float>& samples); // 2500 samples for the store

  private:
    bool OpenTdsPort();
    void CloseTdsCom();
    void onReadyRead();
    void send(const QByteArray& bytes);
    void takeData();
    void fail(const QString& text);

    SerialLink& m_link;
    SerialSettings& m_settings;
    Clock& m_clock;
    QTimer m_timer;
    bool m_running = false;
    int m_progressMax = 100; // the bar's own maximum until an exchange sets one
    std::vector<float> m_curve;
};

} // namespace ww
