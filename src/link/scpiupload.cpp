#include "scpiupload.h"

namespace ww {

ScpiUpload::ScpiUpload(Transport& line, SerialSettings& settings, Clock& clock, QObject* parent)
    : Exchange(line, settings, clock, parent) {}

void ScpiUpload::start(const Profile& profile, const std::vector<float>& samples,
                       const QString& name) {
    if (m_running)
        return;
    m_profile = profile;
    m_answer.clear();
    m_running = true;
    emit started();
    if (const QString why = pointsProblem(profile, static_cast<int>(samples.size()));
        !why.isEmpty()) {
        fail(QStringLiteral("The instrument cannot take this waveform: %1.").arg(why));
        return;
    }
    if (!openLine(m_settings.generatorSettings(), {}))
        return;
    const QList<QByteArray> lines = uploadLines(profile, samples, name);
    m_total = 0;
    for (const QByteArray& line : lines)
        m_total += line.size();
    m_lastPending = -1;
    m_movedAtMs = m_clock.msecs();
    m_allOutAtMs = -1;
    armWatchdog();
    // A line a write: on a USB instrument each write is one message.
    for (const QByteArray& line : lines)
        m_line.write(line);
    emit progressChanged(0, m_total);
}

void ScpiUpload::cancel() {
    end();
}

void ScpiUpload::end() {
    finish();
}

void ScpiUpload::bytesArrived() {
    if (!m_running)
        return;
    m_answer += m_line.readAll();
    if (m_answer.size() > 65536) {
        fail(QStringLiteral("The instrument answered more than 64 KiB to %1.")
                 .arg(QString::fromUtf8(m_profile.check)));
        return;
    }
    const char last = m_profile.terminator.back();
    const qsizetype end = m_answer.indexOf(last == '\r' ? '\r' : '\n');
    if (end < 0)
        return;
    const QByteArray answer = m_answer.left(end).trimmed();
    if (m_profile.check.isEmpty())
        return; // nothing was asked: what arrives is not an answer
    if (checkSaysNoError(answer))
        succeed(QString::fromUtf8(answer));
    else
        fail(QStringLiteral("The instrument reported an error: %1")
                 .arg(QString::fromUtf8(answer.left(200))));
}

void ScpiUpload::watchdogTick() {
    if (!m_running)
        return;
    const qint64 now = m_clock.msecs();
    const qint64 pending = m_line.pendingOutput();
    if (pending != m_lastPending) {
        m_lastPending = pending;
        m_movedAtMs = now;
        emit progressChanged(m_total - pending, m_total);
    }
    if (pending > 0) {
        if (now - m_movedAtMs > stallMs)
            fail(QStringLiteral("Nothing went out for %1 s: the instrument stopped reading "
                                "(%2 of %3 bytes sent).")
                     .arg(stallMs / 1000.0, 0, 'g', 3)
                     .arg(m_total - pending)
                     .arg(m_total));
        return;
    }
    if (m_allOutAtMs < 0)
        m_allOutAtMs = now;
    if (m_profile.check.isEmpty()) {
        succeed(QString());
        return;
    }
    if (now - m_allOutAtMs > answerMs)
        fail(QStringLiteral("No answer to %1 within %2 s.")
                 .arg(QString::fromUtf8(m_profile.check))
                 .arg(answerMs / 1000.0, 0, 'g', 3));
}

void ScpiUpload::succeed(const QString& answer) {
    emit progressChanged(m_total, m_total);
    emit succeeded(answer);
    finish();
}

} // namespace ww
