#include "scopecapture.h"

#include "lines/answers.h"
#include "profile.h"

#include <algorithm>

namespace ww {

namespace {
constexpr qsizetype kMostLineBytes = 4096;

bool isBlank(char c) {
    return c == '\n' || c == '\r' || c == ' ' || c == '\t';
}
} // namespace

std::vector<double> comparableCurve(const ScopeTrace& trace) {
    if (!screenProblem(trace.profile).isEmpty())
        return trace.volts;
    const std::vector<float> screen = screenSamples(trace.profile, trace.codes);
    return std::vector<double>(screen.begin(), screen.end());
}

ScopeCapture::ScopeCapture(Transport& line, SerialSettings& settings, Clock& clock, QObject* parent)
    : Exchange(line, settings, clock, parent) {}

void ScopeCapture::start(const ScopeProfile& profile, const QString& source) {
    if (m_running)
        return;
    m_profile = profile;
    m_source = source;
    // The memory of the last capture is used again: a deep record is megabytes.
    m_trace.profile = profile;
    m_trace.source = source;
    m_trace.fields.clear();
    m_trace.scaling = ScopeScaling{};
    m_trace.codes.clear();
    m_trace.volts.clear();
    m_step = Step::Fields;
    m_field = profile.preamble.isEmpty() ? 0 : -1;
    m_start = m_stop = 0;
    m_expected = m_got = 0;
    m_wait = Wait::Nothing;
    m_buffer.clear();
    m_carry.clear();
    m_blockGot = 0;
    m_scanned = 0;
    m_skip = 0;
    m_prefixSeen = false;
    m_header = {};
    if (lineName.isEmpty())
        lineName = QStringLiteral("COM%1").arg(m_settings.ComPortNumber);
    m_running = true;
    emit started();
    if (!openLine(m_settings.oscilloscopeSettings(), {}))
        return;
    m_heardAtMs = m_clock.msecs();
    armWatchdog();
    for (const QByteArray& l : profile.setup + profile.stop)
        m_line.write(scopeLine(profile, l, source));
    next();
}

void ScopeCapture::cancel() {
    if (m_running)
        m_line.discardBuffers();
    end();
}

void ScopeCapture::end() {
    finish();
}

QString ScopeCapture::asked() const {
    return QString::fromUtf8(scopeLine(m_profile, m_question, m_source).trimmed());
}

void ScopeCapture::failWith(const QString& why) {
    fail(QStringLiteral("%1: %2.").arg(lineName, why));
}

void ScopeCapture::ask(const QByteArray& line, Wait wait) {
    m_question = line;
    m_wait = wait;
    m_heardAtMs = m_clock.msecs();
    m_line.write(scopeLine(m_profile, line, m_source, m_start, m_stop));
}

void ScopeCapture::next() {
    if (!m_running)
        return;
    switch (m_step) {
    case Step::Fields:
        if (m_field < 0) {
            ask(m_profile.preamble, Wait::Line);
            return;
        }
        if (m_field < m_profile.fieldQueries.size()) {
            ask(m_profile.fieldQueries[m_field].second, Wait::Line);
            return;
        }
        m_step = Step::Points;
        [[fallthrough]];
    case Step::Points: {
        if (const QString why = m_trace.scaling.prepare(m_profile, m_trace.fields);
            !why.isEmpty()) {
            failWith(why);
            return;
        }
        const qint64 points = m_trace.scaling.points();
        const int bytes = infoOf(m_profile.encoding).bytes;
        m_expected = points > 0 && bytes > 0 ? points * bytes : 0;
        if (points > 0)
            m_trace.codes.reserve(static_cast<std::size_t>(points));
        m_start = 1;
        m_step = Step::Data;
        [[fallthrough]];
    }
    case Step::Data: {
        const qint64 points = m_trace.scaling.points();
        m_stop = points > 0 ? points : 0;
        if (m_profile.chunk > 0) {
            m_stop = std::min(points, m_start + m_profile.chunk - 1);
            for (const QByteArray& l : m_profile.range)
                m_line.write(scopeLine(m_profile, l, m_source, m_start, m_stop));
        }
        ask(m_profile.data, m_profile.encoding == SampleEncoding::Ascii ? Wait::Line : Wait::Block);
        return;
    }
    case Step::Check:
        ask(m_profile.check, Wait::Line);
        return;
    case Step::Done: {
        // What came after the last answer, beyond its trailing bytes and line ends, means the
        // answers were not what they said.
        m_buffer.remove(0, std::min<qsizetype>(m_skip, m_buffer.size()));
        m_skip = 0;
        while (!m_buffer.isEmpty() && isBlank(m_buffer.front()))
            m_buffer.remove(0, 1);
        if (!m_buffer.isEmpty()) {
            failWith(QStringLiteral("it sent more than was asked: %1")
                         .arg(shownAnswer(m_buffer.left(40))));
            return;
        }
        QString why;
        m_trace.scaling.voltsInto(m_trace.codes, m_trace.volts, why);
        if (!why.isEmpty()) {
            failWith(why);
            return;
        }
        emit progressChanged(m_got, std::max(m_got, m_expected));
        emit captured(m_trace);
        finish();
        return;
    }
    }
}

void ScopeCapture::bytesArrived() {
    if (!m_running)
        return; // the line may be another exchange's now
    if (m_buffer.isEmpty())
        m_buffer = m_line.readAll(); // taken as it is, not copied
    else
        m_buffer += m_line.readAll();
    m_heardAtMs = m_clock.msecs();
    while (m_running && !m_buffer.isEmpty()) {
        if (m_skip > 0) {
            const qsizetype n = std::min<qsizetype>(m_skip, m_buffer.size());
            m_buffer.remove(0, n);
            m_skip -= static_cast<int>(n);
            continue;
        }
        if (m_wait == Wait::Nothing) {
            // Nothing asked: line ends are passed over, anything else is more than was asked.
            qsizetype i = 0;
            while (i < m_buffer.size() && isBlank(m_buffer[i]))
                ++i;
            m_buffer.remove(0, i);
            if (!m_buffer.isEmpty())
                failWith(QStringLiteral("it sent more than was asked: %1")
                             .arg(shownAnswer(m_buffer.left(40))));
            return;
        }
        if (m_wait == Wait::Block) {
            if (!readBlock())
                return;
            blockRead();
            continue;
        }
        // A line: what comes before it that ends a line is passed over.
        if (m_scanned == 0) {
            qsizetype i = 0;
            while (i < m_buffer.size() && isBlank(m_buffer[i]))
                ++i;
            m_buffer.remove(0, i);
            if (m_buffer.isEmpty())
                return;
        }
        const qsizetype end = m_buffer.indexOf('\n', m_scanned);
        // Numbers as text take at most 32 bytes each, and the whole line at most 64 MiB.
        const qint64 points = m_trace.scaling.points();
        const qsizetype most =
            m_step != Step::Data
                ? kMostLineBytes
                : std::min<qint64>((points > 0 ? points : kMostScopePoints) * 32, 64 << 20);
        if (end < 0) {
            m_scanned = m_buffer.size();
            if (m_buffer.size() > most)
                failWith(QStringLiteral("the answer to %1 went on beyond %2 bytes without "
                                        "ending")
                             .arg(asked())
                             .arg(most));
            return;
        }
        QByteArray answer = m_buffer.left(end);
        m_buffer.remove(0, end + 1);
        m_scanned = 0;
        if (answer.endsWith('\r'))
            answer.chop(1);
        m_wait = Wait::Nothing;
        lineAnswered(answer);
    }
}

void ScopeCapture::lineAnswered(const QByteArray& answer) {
    switch (m_step) {
    case Step::Fields:
        if (m_field < 0) {
            if (const QString why = preambleFields(m_profile, answer, m_trace.fields);
                !why.isEmpty()) {
                failWith(QStringLiteral("in the answer to %1, %2").arg(asked(), why));
                return;
            }
        } else {
            double v = 0;
            const QString& name = m_profile.fieldQueries[m_field].first;
            if (!answerNumber(answer, v)) {
                failWith(QStringLiteral("the answer to %1 (%2) is not a number: %3")
                             .arg(asked(), name, shownAnswer(answer.left(40))));
                return;
            }
            m_trace.fields[name] = v;
        }
        ++m_field;
        next();
        return;
    case Step::Data: {
        QString why;
        m_trace.codes = decodeSamples(SampleEncoding::Ascii, answer, why);
        m_got = answer.size();
        if (why.isEmpty() && m_trace.codes.empty())
            why = QStringLiteral("it holds no points");
        const qint64 points = m_trace.scaling.points();
        if (why.isEmpty() && points > 0 && static_cast<qint64>(m_trace.codes.size()) != points)
            why = QStringLiteral("it holds %1 points, the oscilloscope said %2")
                      .arg(m_trace.codes.size())
                      .arg(points);
        if (!why.isEmpty()) {
            failWith(QStringLiteral("the data of %1: %2").arg(asked(), why));
            return;
        }
        m_step = m_profile.check.isEmpty() ? Step::Done : Step::Check;
        next();
        return;
    }
    case Step::Check:
        if (!checkSaysNoError(answer)) {
            failWith(QStringLiteral("the oscilloscope reported an error: %1")
                         .arg(shownAnswer(answer.trimmed().left(200))));
            return;
        }
        m_step = Step::Done;
        next();
        return;
    default:
        return;
    }
}

bool ScopeCapture::readBlock() {
    if (m_header.state != BlockHeader::Complete) {
        if (!m_prefixSeen) {
            qsizetype i = 0;
            while (i < m_buffer.size() && isBlank(m_buffer[i]))
                ++i;
            m_buffer.remove(0, i);
            const qsizetype n = std::min(m_buffer.size(), m_profile.prefix.size());
            if (m_buffer.left(n) != m_profile.prefix.left(n)) {
                failWith(QStringLiteral("the answer to %1 does not start with %2: %3")
                             .arg(asked(), QString::fromUtf8(m_profile.prefix),
                                  shownAnswer(m_buffer.left(40))));
                return false;
            }
            if (n < m_profile.prefix.size())
                return false;
            m_buffer.remove(0, n);
            m_prefixSeen = true;
        }
        const int bytes = infoOf(m_profile.encoding).bytes;
        const qint64 points = m_trace.scaling.points();
        const qint64 most =
            (points > 0 ? m_stop - m_start + 1
                        : kMostScopePoints - static_cast<qint64>(m_trace.codes.size())) *
            bytes;
        m_header = readBlockHeader(m_buffer, most);
        if (m_header.state == BlockHeader::Bad) {
            failWith(QStringLiteral("the answer to %1: %2").arg(asked(), m_header.why));
            return false;
        }
        if (m_header.state == BlockHeader::Incomplete)
            return false;
        m_buffer.remove(0, m_header.headerBytes);
        m_blockGot = 0;
        m_carry.clear();
        m_blockFrom = m_trace.codes.size();
    }
    // Decoded as it comes, whole samples at a time; a sample split between reads waits for
    // the rest of its bytes.
    const qsizetype n = std::min<qsizetype>(m_header.length - m_blockGot, m_buffer.size());
    const int width = std::max(1, infoOf(m_profile.encoding).bytes);
    QByteArrayView piece(m_buffer.constData(), n);
    QString why;
    if (!m_carry.isEmpty()) {
        const qsizetype fill = std::min<qsizetype>(width - m_carry.size(), piece.size());
        m_carry += piece.first(fill).toByteArray();
        piece = piece.sliced(fill);
        if (m_carry.size() == width) {
            why = decodeInto(m_profile.encoding, m_carry, m_trace.codes);
            m_carry.clear();
        }
    }
    const qsizetype whole = piece.size() / width * width;
    if (why.isEmpty())
        why = decodeInto(m_profile.encoding, piece.first(whole), m_trace.codes);
    m_carry += piece.sliced(whole).toByteArray();
    m_buffer.remove(0, n);
    m_blockGot += n;
    m_got += n;
    if (!why.isEmpty()) {
        failWith(QStringLiteral("the data of %1: %2").arg(asked(), why));
        return false;
    }
    emit progressChanged(m_got, std::max(m_got, m_expected));
    if (m_blockGot < m_header.length)
        return false;
    if (!m_carry.isEmpty()) {
        failWith(QStringLiteral("the data of %1: %2 bytes are not whole samples of %3 bytes")
                     .arg(asked())
                     .arg(m_header.length)
                     .arg(width));
        return false;
    }
    return true;
}

void ScopeCapture::blockRead() {
    QString why;
    const qint64 got = static_cast<qint64>(m_trace.codes.size() - m_blockFrom);
    const qint64 points = m_trace.scaling.points();
    const qint64 wanted = m_stop - m_start + 1;
    if (got == 0)
        why = QStringLiteral("the block holds no points");
    else if (points > 0 && got != wanted)
        why = QStringLiteral("the block holds %1 points, not the %2 asked for (points %3 to %4 "
                             "of %5)")
                  .arg(got)
                  .arg(wanted)
                  .arg(m_start)
                  .arg(m_stop)
                  .arg(points);
    if (!why.isEmpty()) {
        failWith(QStringLiteral("the data of %1: %2").arg(asked(), why));
        return;
    }
    m_header = {};
    m_prefixSeen = false;
    m_skip = m_profile.trailing;
    m_wait = Wait::Nothing;
    if (points > 0 && m_stop < points) {
        m_start = m_stop + 1;
        next();
        return;
    }
    m_step = m_profile.check.isEmpty() ? Step::Done : Step::Check;
    next();
}

void ScopeCapture::watchdogTick() {
    if (!m_running || m_wait == Wait::Nothing)
        return;
    const qint64 now = m_clock.msecs();
    if (!m_line.ready()) {
        m_heardAtMs = now; // still connecting: the line's own time-out speaks
        return;
    }
    if (now - m_heardAtMs <= stallMs)
        return;
    const QString seconds = QString::number(stallMs / 1000.0, 'g', 3);
    if (m_wait == Wait::Block && m_header.state == BlockHeader::Complete)
        failWith(QStringLiteral("the data of %1 stopped after %2 of the %3 bytes its block "
                                "says (nothing more for %4 s)")
                     .arg(asked())
                     .arg(m_blockGot)
                     .arg(m_header.length)
                     .arg(seconds));
    else if (!m_buffer.isEmpty())
        failWith(QStringLiteral("the answer to %1 did not end within %2 s: %3")
                     .arg(asked(), seconds, shownAnswer(m_buffer.left(40))));
    else
        failWith(QStringLiteral("no answer to %1 within %2 s").arg(asked(), seconds));
}

} // namespace ww
