#include "scpiupload.h"

#include "lines/answers.h"

#include <algorithm>

namespace ww {

ScpiUpload::ScpiUpload(Transport& line, SerialSettings& settings, Clock& clock, QObject* parent)
    : Exchange(line, settings, clock, parent) {
    // While the line is full, or until the instrument has taken the last byte, the system's
    // queue is looked at again shortly: it says nothing when it drains.
    m_pump.setSingleShot(true);
    m_pump.setInterval(1);
    connect(&m_pump, &QTimer::timeout, this, &ScpiUpload::pump);
    connect(&m_line, &Transport::outputMoved, this, &ScpiUpload::pump);
}

QString ScpiUpload::unconfirmedText(qint64 bytes) {
    return QStringLiteral("all %1 bytes were taken; the profile asks for no confirmation")
        .arg(bytes);
}

void ScpiUpload::start(const Profile& profile, const std::vector<float>& samples,
                       const QString& name, const GeneratorSettings& generator) {
    if (m_running)
        return;
    m_profile = profile;
    m_answer.clear();
    m_errors.clear();
    m_lines.clear();
    m_nextLine = 0;
    m_offset = m_written = m_total = m_taken = 0;
    m_reads = 0;
    m_askedAtMs = -1;
    m_running = true;
    emit started();
    if (const QString why = pointsProblem(profile, static_cast<int>(samples.size()));
        !why.isEmpty()) {
        fail(QStringLiteral("The instrument cannot take this waveform: %1.").arg(why));
        return;
    }
    if (const QString why = settingsProblem(profile, generator); !why.isEmpty()) {
        fail(QStringLiteral("The settings cannot be sent: %1.").arg(why));
        return;
    }
    if (!openLine(m_settings.generatorSettings(), {}))
        return;
    m_lines = uploadLines(profile, samples, name, generator);
    for (const QByteArray& line : m_lines)
        m_total += line.size();
    m_movedAtMs = m_clock.msecs();
    armWatchdog();
    emit progressChanged(0, m_total);
    pump();
}

void ScpiUpload::pump() {
    if (!m_running)
        return;
    // The program's own queue is kept under `window` bytes; the system's is bounded by the
    // line itself (a socket's small send buffer, a serial driver's queue), and says when it has
    // room through outputMoved.
    const bool messages = m_line.keepsMessages();
    while (m_nextLine < m_lines.size()) {
        const qint64 queued = m_line.queuedOutput();
        const QByteArray& line = m_lines[m_nextLine];
        if (messages) {
            // A message goes whole (a USB instrument takes one a write): one larger than the
            // window goes alone.
            if (queued > 0 && queued + line.size() > window)
                break;
            m_line.write(line);
            m_written += line.size();
            ++m_nextLine;
            continue;
        }
        const qint64 room = window - queued;
        if (room <= 0)
            break;
        const qint64 n = std::min<qint64>(room, line.size() - m_offset);
        m_line.write(m_offset == 0 && n == line.size() ? line : line.mid(m_offset, n));
        m_offset += n;
        m_written += n;
        if (m_offset == line.size()) {
            ++m_nextLine;
            m_offset = 0;
        }
    }
    noteTaken(m_clock.msecs());
    if (!m_running)
        return;
    if (allTaken() && m_profile.check.isEmpty()) {
        succeed(QString());
        return;
    }
    // With everything written and a question asked, its answer is what comes next; without
    // one, the last byte taken is looked for, after a pause growing to 10 ms. While lines
    // wait, a look every 10 ms in case the line says nothing when it drains.
    const bool written = m_nextLine == m_lines.size();
    if (written && !m_profile.check.isEmpty())
        return;
    if (!written) {
        m_pump.start(10);
        return;
    }
    if (!allTaken())
        m_pump.start(std::min(10, std::max(1, m_pump.interval() * 2)));
}

bool ScpiUpload::allTaken() {
    return m_nextLine == m_lines.size() && m_line.pendingOutput() == 0;
}

void ScpiUpload::noteTaken(qint64 now) {
    const qint64 pending = m_line.pendingOutput();
    const qint64 taken = std::clamp<qint64>(m_written - pending, 0, m_total);
    if (taken > m_taken) { // the check asked again is not progress
        m_taken = taken;
        m_movedAtMs = now;
        emit progressChanged(m_taken, m_total);
    }
    // The answer's time runs from the moment the instrument has the question.
    if (m_askedAtMs < 0 && m_nextLine == m_lines.size() && pending == 0)
        m_askedAtMs = now;
}

void ScpiUpload::cancel() {
    if (m_running)
        m_line.discardBuffers();
    end();
}

void ScpiUpload::end() {
    m_pump.stop();
    finish();
}

void ScpiUpload::bytesArrived() {
    if (!m_running)
        return; // the line may be another exchange's now
    const QByteArray bytes = m_line.readAll();
    if (m_profile.check.isEmpty())
        return; // nothing was asked: what arrives is not an answer
    // Before the instrument has taken every byte, the check query included, nothing it says
    // can answer that query.
    if (!allTaken())
        return;
    noteTaken(m_clock.msecs());
    m_answer += bytes;
    for (;;) {
        qsizetype start = 0;
        while (start < m_answer.size() && (m_answer[start] == '\r' || m_answer[start] == '\n'))
            ++start;
        m_answer.remove(0, start);
        qsizetype end = -1;
        for (qsizetype i = 0; i < m_answer.size() && end < 0; ++i)
            if (m_answer[i] == '\n' || m_answer[i] == '\r')
                end = i;
        if (end < 0)
            break;
        const QByteArray answer = m_answer.left(end);
        m_answer.remove(0, end + 1);
        answered(answer);
        if (!m_running)
            return;
    }
    if (m_answer.size() > 65536)
        fail(QStringLiteral("The instrument answered more than 64 KiB to %1.")
                 .arg(QString::fromUtf8(m_profile.check)));
}

void ScpiUpload::answered(const QByteArray& answer) {
    ++m_reads;
    auto errorsText = [this] {
        return m_errors.size() == 1
                   ? QStringLiteral("The instrument reported an error: %1").arg(m_errors.front())
                   : QStringLiteral("The instrument reported %1 errors: %2")
                         .arg(m_errors.size())
                         .arg(m_errors.join(QStringLiteral("; ")));
    };
    if (checkSaysNoError(answer)) {
        if (m_errors.isEmpty())
            succeed(shownAnswer(answer.trimmed()));
        else
            fail(errorsText());
        return;
    }
    m_errors << shownAnswer(answer.trimmed().left(200));
    if (m_reads >= maxErrorReads) {
        fail(errorsText() + QStringLiteral(" (and more: %1 still had errors after %2 reads)")
                                .arg(QString::fromUtf8(m_profile.check))
                                .arg(m_reads));
        return;
    }
    // The queue may hold more: asked again until it is empty.
    m_line.write(m_profile.check + m_profile.terminator);
    m_askedAtMs = m_clock.msecs();
}

void ScpiUpload::watchdogTick() {
    if (!m_running)
        return;
    const qint64 now = m_clock.msecs();
    noteTaken(now);
    if (!m_line.ready()) {
        m_movedAtMs = now; // still connecting: the line's own time-out speaks
        return;
    }
    if (m_nextLine < m_lines.size() || m_taken < m_total) {
        if (now - m_movedAtMs > stallMs)
            fail(QStringLiteral("Nothing was taken for %1 s: the instrument stopped reading "
                                "(%2 of %3 bytes taken).")
                     .arg(stallMs / 1000.0, 0, 'g', 3)
                     .arg(m_taken)
                     .arg(m_total));
        return;
    }
    if (m_profile.check.isEmpty()) {
        if (allTaken())
            succeed(QString());
        return;
    }
    if (m_askedAtMs >= 0 && now - m_askedAtMs > answerMs)
        fail(QStringLiteral("No answer to %1 within %2 s of the instrument taking it.")
                 .arg(QString::fromUtf8(m_profile.check))
                 .arg(answerMs / 1000.0, 0, 'g', 3));
}

void ScpiUpload::succeed(const QString& answer) {
    m_pump.stop();
    emit progressChanged(m_total, m_total);
    emit succeeded(answer);
    finish();
}

} // namespace ww
