#include "exchange.h"

namespace ww {

Exchange::Exchange(Transport& line, SerialSettings& settings, Clock& clock, QObject* parent)
    : QObject(parent), m_line(line), m_settings(settings), m_clock(clock) {
    m_watchdog.setInterval(500);
    connect(&m_watchdog, &QTimer::timeout, this, [this] { watchdogTick(); });
    connect(&m_line, &Transport::bytesArrived, this, [this] { bytesArrived(); });
    connect(&m_line, &Transport::lost, this, [this](const QString& reason) {
        if (m_running)
            fail(reason);
    });
}

bool Exchange::openLine(const QString& settings, const Transport::Options& options) {
    const QString error = m_line.open(m_settings.ComPortNumber, settings, options);
    if (error.isEmpty())
        return true;
    fail(error);
    return false;
}

void Exchange::fail(const QString& text, const QString& title, BoxIcon icon) {
    // The port is closed before the box shows, so nothing arrives while it waits.
    m_watchdog.stop();
    haltTimers();
    m_line.close();
    emit failed(text, title, icon);
    end();
}

bool Exchange::finish() {
    m_watchdog.stop();
    m_line.close();
    const bool wasRunning = m_running;
    m_running = false;
    if (wasRunning)
        emit finished();
    return wasRunning;
}

} // namespace ww
