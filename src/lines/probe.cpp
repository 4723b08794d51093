#include "probe.h"

#include "answers.h"

namespace ww {

AddressProbe::AddressProbe(QObject* parent) : QObject(parent) {
    m_answer.setSingleShot(true);
    connect(&m_answer, &QTimer::timeout, this, [this] {
        say(true, m_got.isEmpty()
                      ? QStringLiteral("reachable, but no answer to *IDN? within %1 s (a serial "
                                       "device server, or not a SCPI instrument)")
                            .arg(timeoutMs / 1000.0, 0, 'g', 3)
                      : QStringLiteral("reachable, but its answer to *IDN? did not end: %1")
                            .arg(shownAnswer(m_got.left(80))));
    });
}

AddressProbe::~AddressProbe() {
    if (m_line)
        m_line->disconnect(this);
}

void AddressProbe::probe(const QString& address) {
    if (m_line) {
        m_line->disconnect(this);
        m_line->close();
        m_line.release()->deleteLater();
    }
    m_answer.stop();
    m_got.clear();
    m_address = address;
    m_busy = true;
    const LineKind* kind = lineKindOf(address);
    if (const QString why = addressProblem(address); !why.isEmpty()) {
        say(false, why);
        return;
    }
    if (!kind->answersIdn) {
        say(true, kind->describe(address));
        return;
    }
    LineHooks h = hooks;
    h.connectTimeoutMs = timeoutMs;
    m_line = kind->make(LineTarget{address, address, {}, true}, h);
    Transport* line = m_line.get();
    connect(line, &Transport::bytesArrived, this, [this, line] {
        m_got += line->readAll();
        const qsizetype end = m_got.indexOf('\n');
        if (end >= 0)
            say(true, QStringLiteral("reachable: %1")
                          .arg(shownAnswer(m_got.left(std::min<qsizetype>(end, 200)).trimmed())));
        else if (m_got.size() > 4096)
            say(true, QStringLiteral("reachable, but its answer to *IDN? is no line of text"));
    });
    connect(line, &Transport::lost, this, [this](const QString& reason) {
        say(false, QStringLiteral("cannot be reached: %1").arg(reason));
    });
    // The answer's time starts once the question is on its way (a socket connects first).
    connect(line, &Transport::outputMoved, this, [this] {
        if (!m_answer.isActive())
            m_answer.start(timeoutMs);
    });
    if (const QString why = line->open(0, {}, {}); !why.isEmpty()) {
        say(false, why);
        return;
    }
    line->write("*IDN?\n");
    if (line->ready() && !m_answer.isActive())
        m_answer.start(timeoutMs);
}

void AddressProbe::say(bool reachable, const QString& text) {
    if (!m_busy)
        return;
    m_busy = false;
    m_answer.stop();
    if (m_line)
        m_line->close();
    emit said(m_address, reachable, text);
}

} // namespace ww
