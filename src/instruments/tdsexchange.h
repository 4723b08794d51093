#pragma once

#include "exchange.h"

#include <vector>

namespace ww {

constexpr int kTdsPoints = 2500;
constexpr int kTdsHeaderBytes = 6;

// A received curve byte as a sample: (b - 127) / 128.
float tdsSample(unsigned char b);
// The seven read commands, each ended by the terminator.
QByteArray tdsReadCommands(const QString& source, char eol);
// Whole seconds from the query to the deadline (counted in milliseconds).
int tdsLinkSeconds(const QString& baud);
int tdsReadSeconds(const QString& baud);

// The oscilloscope exchanges: Set Link ("*IDN?") and Read Data (the curve of one source,
// 2500 one-byte points). Driven by the bytes that arrive and a 500 ms watchdog. The curve is
// collected aside and handed over only when it is taken, so a failed or cancelled read
// changes nothing.
class TdsExchange : public Exchange {
    Q_OBJECT
  public:
    TdsExchange(Transport& line, SerialSettings& settings, Clock& clock, QObject* parent = nullptr);

    void TDS_Link();
    void TDS_Readdata();
    void Command_TDS_Click(); // "Cancle" or "OK"
    void Timer_TDS_Timer();   // the watchdog tick, also run by the 500 ms timer
    void closeRequested();    // the window's close box: as the button

    int OscilMode = 0; // the exchange it runs: 0 link, 1 read data
    bool TdsLinked = false;
    bool TdsDone = false;
    int TdsByteCount = 0;
    qint64 TdsDeadline = 0; // in milliseconds of the clock
    const std::vector<float>& received() const { return m_curve; }

    static QString linkErrorText();
    static QString readErrorText();

  signals:
    void statusChanged(const QString& text, bool wordWrap); // Label_TDS
    void statusAppended(const QString& text);
    void percentChanged(const QString& text, bool visible); // Label_TDS_percent
    void progressChanged(int maximum, int value);
    void buttonChanged(const QString& caption);        // Command_TDS
    void dataTaken(const std::vector<float>& samples); // 2500 samples for the store

  protected:
    void end() override;
    void bytesArrived() override;
    void watchdogTick() override { Timer_TDS_Timer(); }

  private:
    bool OpenTdsPort();
    void CloseTdsCom();
    void takeData();

    int m_progressMax = 100; // the bar's own maximum until an exchange sets one
    std::vector<float> m_curve;
};

} // namespace ww
