#include "probe.h"

namespace ww {

namespace {
// An answer as text to show: bytes that are not printable as \xNN.
QString shown(const QByteArray& bytes) {
    QString out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        out += (u < 0x20 || u >= 0x7f) ? QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'))
                                       : QString(QLatin1Char(c));
    }
    return out;
}
} // namespace

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
                          .arg(shown(m_got.left(std::min<qsizetype>(end, 200)).trimmed())));
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
                            .arg(shown(m_got.left(80))));
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
