#include "seriallink.h"

namespace ww {

SerialLink::SerialLink(const PortMap& ports, QObject* parent) : Transport(parent), m_ports(ports) {}

SerialLink::~SerialLink() {
    if (m_line) {
        m_line->disconnect(this);
        m_line->close();
    }
}

QString SerialLink::open(int comNumber, const QString& settings, const Options& options) {
    close();
    m_comNumber = comNumber;
    m_portName = m_ports.device(comNumber);
    const QString described = m_ports.describe(comNumber);
    const LineKind* kind = lineKindOf(m_portName);
    if (!kind)
        return QStringLiteral("Cannot open %1: %2.").arg(described, addressProblem(m_portName));
    m_line = kind->make(LineTarget{m_portName, described, m_ports.hint}, hooks);
    Transport* line = m_line.get();
    connect(line, &Transport::bytesArrived, this, &Transport::bytesArrived);
    connect(line, &Transport::outputMoved, this, &Transport::outputMoved);
    connect(line, &Transport::lost, this, [this, line](const QString& reason) {
        if (m_line.get() == line)
            emit lost(reason);
    });
    const QString why = line->open(comNumber, settings, options);
    if (!why.isEmpty())
        close();
    return why;
}

void SerialLink::close() {
    if (!m_line)
        return;
    m_line->disconnect(this);
    m_line->close();
    // Deleted later: close() may be called from inside one of the line's own signals.
    m_line.release()->deleteLater();
}

bool SerialLink::isOpen() const {
    return m_line && m_line->isOpen();
}

QSerialPort* SerialLink::device() const {
    auto* serial = qobject_cast<SerialPortLine*>(m_line.get());
    return serial ? serial->port() : nullptr;
}

qint64 SerialLink::pendingOutput() const {
    return m_line ? m_line->pendingOutput() : 0;
}

qint64 SerialLink::queuedOutput() const {
    return m_line ? m_line->queuedOutput() : 0;
}

bool SerialLink::keepsMessages() const {
    return m_line && m_line->keepsMessages();
}

bool SerialLink::ready() const {
    return m_line && m_line->ready();
}

void SerialLink::discardBuffers() {
    if (m_line)
        m_line->discardBuffers();
}

void SerialLink::discardInput() {
    if (m_line)
        m_line->discardInput();
}

void SerialLink::write(const QByteArray& bytes) {
    if (m_line)
        m_line->write(bytes);
}

QByteArray SerialLink::readAll() {
    return m_line ? m_line->readAll() : QByteArray();
}

} // namespace ww
