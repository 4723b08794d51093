#pragma once

#include "exchange.h"
#include "model/store.h"

#include <QTimer>

namespace ww {

// The upload to the generator, stop and wait: the header, then one data line of 128 samples
// per reply line, each reply awaited under a 13-second watchdog. Driven by the bytes that
// arrive and a 500 ms timer; it never blocks.
class GeneratorUpload : public Exchange {
    Q_OBJECT
  public:
    GeneratorUpload(Transport& line, SerialSettings& settings, Clock& clock,
                    QObject* parent = nullptr);

    // The pause after "Send complete！" (2 s); tests shorten it.
    int completionPauseMs = 2000;

    // Tesk_Send_Initial: opens the port and sends the header.
    void start(const WaveStore& store);
    // CloseTeskCom: ends the upload however it ends (the "Cancle" button).
    void CloseTeskCom();
    // Timer_TeskCom_Timer: the watchdog tick, also run by the 500 ms timer.
    void Timer_TeskCom_Timer();
    // A request to close the window: refused; ends the upload only after the last block.
    void closeRequested();
    // The COM choice of the menu: an open generator port moves to the new number at once.
    void changePort(int comNumber);

    // State, as the window shows it.
    bool LastBlockSent = false;
    int BlocksSent = 0;
    int ReplyEvents = 0;
    qint64 ReplyDeadline = 0; // in milliseconds of the clock
    double progressMaximum() const { return m_progressMax; }
    int progressValue() const { return m_progressValue; }

    static QString communicationErrorText();

  signals:
    void statusChanged(const QString& text);  // Label_TeskCom
    void percentChanged(const QString& text); // Label_TeskComPercent
    void progressChanged(double maximum, int value);
    // Every line answered: what was sent, as it was taken at the start.
    void uploaded(const ww::WaveStore& sent);

  protected:
    void end() override { CloseTeskCom(); }
    void bytesArrived() override;
    void watchdogTick() override { Timer_TeskCom_Timer(); }
    void haltTimers() override { m_pause.stop(); }

  private:
    void SendArbHeader();
    void SendArbBlock();
    void writeLine(const QByteArray& line);
    void armDeadline();
    void complete();

    WaveStore m_store; // what is being sent, taken at the start
    QTimer m_pause;
    double m_progressMax = 0.0;
    int m_progressValue = 0;
    qint64 m_writeDeadlineMs = -1; // the write time-out of the line being handed over
    int m_writeTimeoutMs = 1000;
};

} // namespace ww
