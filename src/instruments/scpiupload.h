#pragma once

#include "exchange.h"
#include "profile.h"

#include <QStringList>
#include <QTimer>
#include <vector>

namespace ww {

// Loads a waveform into a SCPI generator as its profile describes: the clearing line, before,
// the upload with its block or values, after, the settings and the check query, written in
// order while the program's own queue stays under `window` bytes (the system's is bounded by
// the line), so that progress, the stall and Cancel follow the instrument rather than the
// buffers on the way.
//
// Only an answer read once every byte has been taken is the check's answer; what arrives
// before is not. An answer that is not "0" or "+0" is an error: the check is asked again until
// it says 0 (at most `maxErrorReads` times), and every error is reported. Without a check query
// the upload succeeds when every byte has been taken. Fails, the line closed, when nothing is
// taken for `stallMs`, when no answer comes within `answerMs` of the last byte taken, or when
// the line is lost.
class ScpiUpload : public Exchange {
    Q_OBJECT
  public:
    ScpiUpload(Transport& line, SerialSettings& settings, Clock& clock, QObject* parent = nullptr);

    int stallMs = 10000;
    int answerMs = 10000;
    qint64 window = 65536;
    int maxErrorReads = 32;

    // The samples' count must be one the profile takes, and the settings ones it defines.
    void start(const Profile& profile, const std::vector<float>& samples, const QString& name,
               const GeneratorSettings& generator = {});
    // Stops at once: what the instrument has not taken is thrown away, and nothing more goes.
    void cancel();
    qint64 total() const { return m_total; }
    // What the instrument has taken so far.
    qint64 taken() const { return m_taken; }

    // The message for an upload whose profile asks no confirmation.
    static QString unconfirmedText(qint64 bytes);

  signals:
    // Bytes the instrument has taken, of all the upload writes.
    void progressChanged(qint64 taken, qint64 total);
    // Every byte was taken and the check said no error: its answer (shown as text); empty
    // when the profile asks no confirmation.
    void succeeded(const QString& answer);

  protected:
    void end() override;
    void bytesArrived() override;
    void watchdogTick() override;
    void haltTimers() override { m_pump.stop(); }

  private:
    void pump();
    bool allTaken();
    void noteTaken(qint64 now);
    void answered(const QByteArray& answer);
    void succeed(const QString& answer);

    Profile m_profile;
    QList<QByteArray> m_lines; // each a write
    int m_nextLine = 0;
    qint64 m_offset = 0; // within the next line
    qint64 m_written = 0, m_total = 0, m_taken = 0;
    QByteArray m_answer;
    QStringList m_errors;
    int m_reads = 0;
    qint64 m_movedAtMs = 0;
    qint64 m_askedAtMs = -1; // when the check last reached the instrument
    QTimer m_pump;
};

} // namespace ww
