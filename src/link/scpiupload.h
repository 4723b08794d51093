#pragma once

#include "exchange.h"
#include "profile.h"

#include <vector>

namespace ww {

// Loads a waveform into a SCPI generator as its profile describes: every line written at
// once (before, the upload with its block or values, after, the check query), then the
// instrument's answer to the check awaited. Progress is what has left the line. Fails, the
// line closed, when nothing leaves for `stallMs` (the instrument stopped reading), when the
// answer does not come within `answerMs`, when the line is lost, or when the answer is not
// "0" or "+0" (its own text is then the message).
class ScpiUpload : public Exchange {
    Q_OBJECT
  public:
    ScpiUpload(Transport& line, SerialSettings& settings, Clock& clock, QObject* parent = nullptr);

    int stallMs = 10000;
    int answerMs = 10000;

    // The samples' count must be one the profile takes.
    void start(const Profile& profile, const std::vector<float>& samples, const QString& name);
    void cancel();
    qint64 total() const { return m_total; }

  signals:
    void progressChanged(qint64 sent, qint64 total);
    // All went out and the check said no error (or there is no check): its answer.
    void succeeded(const QString& answer);

  protected:
    void end() override;
    void bytesArrived() override;
    void watchdogTick() override;

  private:
    void succeed(const QString& answer);

    Profile m_profile;
    QByteArray m_answer;
    qint64 m_total = 0;
    qint64 m_lastPending = -1;
    qint64 m_movedAtMs = 0;
    qint64 m_allOutAtMs = -1;
};

} // namespace ww
