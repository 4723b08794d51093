#include "progress.h"

#include <cstdio>
#include <unistd.h>

namespace ww::cli {

Progress::Progress(bool quiet, QString unit)
    : m_quiet(quiet), m_terminal(isatty(STDERR_FILENO) == 1), m_unit(std::move(unit)) {
    m_clock.start();
}

QString Progress::barLine(qint64 done, qint64 total, const QString& unit, qint64 bytes,
                          qint64 elapsedMs, int width) {
    const double part = total > 0 ? static_cast<double>(done) / total : 0.0;
    const double seconds = elapsedMs / 1000.0;
    const double rate = seconds > 0 ? bytes / seconds : 0.0;
    QString left = QStringLiteral("--:--");
    if (done > 0 && done < total) {
        const qint64 s = static_cast<qint64>(seconds * (total - done) / done + 0.5);
        left = QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
    } else if (done >= total) {
        left = QStringLiteral("0:00");
    }
    const QString tail = QStringLiteral(" %1% %2/%3 %4, %5/s, %6 left")
                             .arg(part * 100.0, 5, 'f', 1)
                             .arg(done)
                             .arg(total)
                             .arg(unit)
                             .arg(rate >= 1000 ? QString::number(rate / 1000.0, 'f', 1) + " kB"
                                               : QString::number(rate, 'f', 0) + " B")
                             .arg(left);
    const int barWidth = std::max(10, width - static_cast<int>(tail.size()) - 2);
    const int filled = static_cast<int>(part * barWidth + 1e-9);
    return QLatin1Char('[') + QString(filled, QLatin1Char('#')) +
           QString(barWidth - filled, QLatin1Char('-')) + QLatin1Char(']') + tail;
}

void Progress::update(qint64 done, qint64 total, qint64 bytes) {
    if (m_quiet || total <= 0 || done <= 0) // nothing to show before the first answer
        return;
    const qint64 now = m_clock.elapsed();
    if (m_terminal) {
        // Redrawn at most ten times a second, and at the end.
        if (now - m_lastDrawMs < 100 && done < total)
            return;
        m_lastDrawMs = now;
        std::fprintf(stderr, "\r%s", qPrintable(barLine(done, total, m_unit, bytes, now, 79)));
        std::fflush(stderr);
        m_drawn = true;
        return;
    }
    const int quarter = static_cast<int>(4 * done / total);
    if (quarter == m_lastQuarter)
        return;
    m_lastQuarter = quarter;
    // A line at each quarter crossed, with the share of the count it shows.
    std::fprintf(stderr, "%3d%% %lld/%lld %s\n", static_cast<int>(100 * done / total),
                 static_cast<long long>(done), static_cast<long long>(total), qPrintable(m_unit));
}

void Progress::finish() {
    if (m_drawn)
        std::fprintf(stderr, "\n");
    m_drawn = false;
}

} // namespace ww::cli
