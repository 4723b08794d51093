#pragma once

#include "clock.h"
#include "model/store.h"
#include "seriallink.h"

#include <QObject>
#include <QTimer>
#include <functional>

namespace ww {

// The upload to the generator, stop and wait: the header, then one data line of 128 samples
// per reply line, each reply awaited under a 13-second watchdog. Driven by the port's
// readyRead and a 500 ms timer; it never blocks.
class GeneratorUpload : public QObject {
    Q_OBJECT
  public:
    GeneratorUpload(SerialLink& link, SerialSettings& settings, Clock& clock,
                    QObject* parent = nullptr);

    // Shows a message box: text, title; the stop icon.
    std::function<void(const QString& text, const QString& title)> showError;
    // The pause after "Send complete！" (2 s); tests shorten it.
    int completionPauseMs = 2000;

    bool running() const { return m_running; }
    // Tesk_Send_Initial: opens the port and sends the header.
    void start(const WaveStore& store);
    // CloseTeskCom: ends the upload however it ends (the "Cancle" button).
    void CloseTeskCom();
    // Timer_TeskCom_Timer: the watchdog tick, also run by the 500 ms timer.
    void Timer_TeskCom_Timer();
    // A request to close the window: refused; ends the upload only after the last block.
    void closeRequested();

    // State, as the window shows it.
    bool LastBlockSent = false;
    int BlocksSent = 0;
    int ReplyEvents = 0;
    qint64 ReplyDeadline = 0;
    double progressMaximum() const { return m_progressMax; }
    int progressValue() const { return m_progressValue; }
    bool watchdogEnabled() const { return m_timer.isActive(); }

    static QString communicationErrorText();

  signals:
    void started();                           // show the window, disable the main window
    void finished();                          // hide the window, enable the main window
    void statusChanged(const QString& text);  // Label_TeskCom
    void percentChanged(const QString& text); // Label_TeskComPercent
    void progressChanged(double maximum, int value);

  private:
    void SendArbHeader();
    void SendArbBlock();
    void onReadyRead();
    void writeLine(const QByteArray& line);
    void armWatchdog();
    void fail(const QString& text);
    void complete();

    SerialLink& m_link;
    SerialSettings& m_settings;
    Clock& m_clock;
    WaveStore m_store; // what is being sent, taken at the start
    QTimer m_timer;
    QTimer m_pause;
    bool m_running = false;
    double m_progressMax = 0.0;
    int m_progressValue = 0;
    qint64 m_writeDeadlineMs = -1; // the write time-out of the line being handed over
    int m_writeTimeoutMs = 1000;
};

} // namespace ww
