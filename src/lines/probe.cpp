#include "probe.h"

#include "answers.h"

namespace ww {

AddressProbe::AddressProbe(QObject* parent) : QObject(parent) {
    m_answer.setSingleShot(true);
    connect(&m_line, &TcpLine::connected, this, [this] {
        m_line.write("*IDN?\n");
        m_answer.start(timeoutMs);
    });
    connect(&m_line, &TcpLine::bytesArrived, this, [this] {
        m_got += m_line.readAll();
        const qsizetype end = m_got.indexOf('\n');
        if (end >= 0)
            say(true, QStringLiteral("reachable: %1")
                          .arg(shownAnswer(m_got.left(std::min<qsizetype>(end, 200)).trimmed())));
        else if (m_got.size() > 4096)
            say(true, QStringLiteral("reachable, but its answer to *IDN? is no line of text"));
    });
    connect(&m_line, &TcpLine::lost, this, [this](const QString& reason) {
        say(false, QStringLiteral("cannot be reached: %1").arg(reason));
    });
    connect(&m_answer, &QTimer::timeout, this, [this] {
        say(true, m_got.isEmpty()
                      ? QStringLiteral("reachable, but no answer to *IDN? within %1 s (a serial "
                                       "device server, or not a SCPI instrument)")
                            .arg(timeoutMs / 1000.0, 0, 'g', 3)
                      : QStringLiteral("reachable, but its answer to *IDN? did not end: %1")
                            .arg(shownAnswer(m_got.left(80))));
    });
}

void AddressProbe::probe(const QString& address) {
    m_line.close();
    m_answer.stop();
    m_got.clear();
    m_address = address;
    m_busy = true;
    m_line.connectTimeoutMs = timeoutMs;
    if (const QString why = m_line.open(address); !why.isEmpty())
        say(false, why);
}

void AddressProbe::say(bool reachable, const QString& text) {
    if (!m_busy)
        return;
    m_busy = false;
    m_answer.stop();
    m_line.close();
    emit said(m_address, reachable, text);
}

} // namespace ww
