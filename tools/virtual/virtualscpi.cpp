#include "virtualscpi.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <cmath>

namespace ww::virt {

VirtualScpiGenerator::VirtualScpiGenerator(QObject* parent)
    : QObject(parent), m_server(new QTcpServer(this)), m_slowReader(new QTimer(this)) {
    m_server->listen(QHostAddress::LocalHost, 0);
    m_port = m_server->serverPort();
    connect(m_server, &QTcpServer::newConnection, this, &VirtualScpiGenerator::accept);
    m_slowReader->setInterval(10);
    connect(m_slowReader, &QTimer::timeout, this, [this] {
        for (QTcpSocket* s : m_server->findChildren<QTcpSocket*>())
            readFrom(s);
    });
}

VirtualScpiGenerator::~VirtualScpiGenerator() = default;

quint16 VirtualScpiGenerator::port() const {
    return m_port;
}

void VirtualScpiGenerator::stopListening() {
    m_server->close();
}

QString VirtualScpiGenerator::address() const {
    return QStringLiteral("tcp://127.0.0.1:%1").arg(port());
}

void VirtualScpiGenerator::accept() {
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        socket->setParent(m_server);
        if (script.refuse) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connect(socket, &QTcpSocket::disconnected, socket, [this, socket] {
            m_pending.remove(socket);
            socket->deleteLater();
        });
        if (script.stall)
            continue; // nothing read, nothing answered
        if (script.readBytesPer10Ms > 0) {
            if (!m_slowReader->isActive())
                m_slowReader->start();
            continue;
        }
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
    }
}

void VirtualScpiGenerator::readFrom(QTcpSocket* socket) {
    const QByteArray got =
        script.readBytesPer10Ms > 0 ? socket->read(script.readBytesPer10Ms) : socket->readAll();
    if (got.isEmpty())
        return;
    m_bytes += got.size();
    m_pending[socket] += got;
    if (script.closeAfterBytes >= 0 && m_bytes >= script.closeAfterBytes) {
        socket->abort();
        return;
    }
    parse(socket);
}

void VirtualScpiGenerator::parse(QTcpSocket* socket) {
    QByteArray& buffer = m_pending[socket];
    for (;;) {
        // A command ends at a line feed outside a definite-length block.
        qsizetype i = 0, blockAt = -1, blockLength = 0;
        bool complete = false;
        while (i < buffer.size()) {
            const char c = buffer[i];
            if (c == '\n') {
                complete = true;
                break;
            }
            if (c == '#' && i > 0 && (buffer[i - 1] == ',' || buffer[i - 1] == ' ') &&
                i + 1 < buffer.size() && buffer[i + 1] >= '1' && buffer[i + 1] <= '9') {
                const int digits = buffer[i + 1] - '0';
                if (i + 2 + digits > buffer.size())
                    return; // the length is still on its way
                bool ok = false;
                blockLength = buffer.mid(i + 2, digits).toLongLong(&ok);
                if (!ok) {
                    error(-104, QStringLiteral("Data type error"));
                    buffer.clear();
                    return;
                }
                if (i + 2 + digits + blockLength > buffer.size())
                    return; // the block is still on its way
                blockAt = i;
                i += 2 + digits + blockLength;
                continue;
            }
            ++i;
        }
        if (!complete)
            return;
        QByteArray line = buffer.left(i);
        buffer.remove(0, i + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        QByteArray block;
        if (blockAt >= 0) {
            const int digits = line[blockAt + 1] - '0';
            block = line.mid(blockAt + 2 + digits, blockLength);
            line = line.left(blockAt) + line.mid(blockAt + 2 + digits + blockLength);
        }
        if (!line.trimmed().isEmpty())
            handle(socket, line.trimmed(), block, blockAt >= 0);
        if (socket->state() != QAbstractSocket::ConnectedState)
            return;
    }
}

void VirtualScpiGenerator::error(int code, const QString& text) {
    const QString e = QStringLiteral("%1,\"%2\"").arg(code).arg(text);
    m_queue << e;
    m_allErrors << e;
}

bool VirtualScpiGenerator::storeCodes(const QString& name, const QByteArray& block, bool hasBlock,
                                      const QByteArray& values, double lo, double hi, bool floats) {
    QVector<double> codes;
    if (hasBlock) {
        if (block.size() % 2 != 0) {
            error(-104, QStringLiteral("Data type error: odd byte count"));
            return false;
        }
        for (qsizetype k = 0; k + 1 < block.size(); k += 2) {
            const auto b0 = static_cast<unsigned char>(block[k]);
            const auto b1 = static_cast<unsigned char>(block[k + 1]);
            const auto word = static_cast<quint16>(m_swapped ? b0 | (b1 << 8) : (b0 << 8) | b1);
            codes << (lo < 0 ? static_cast<qint16>(word) : word);
        }
    } else {
        for (const QByteArray& v : values.split(',')) {
            bool ok = false;
            const double d = v.trimmed().toDouble(&ok);
            if (!ok || (!floats && d != std::floor(d))) {
                error(-104, QStringLiteral("Data type error"));
                return false;
            }
            codes << d;
        }
    }
    if (codes.size() < (floats ? 8 : 2) || codes.size() > script.maxPoints) {
        error(-222, QStringLiteral("Data out of range: %1 points").arg(codes.size()));
        return false;
    }
    Waveform w;
    for (const double c : codes) {
        if (c < lo || c > hi) {
            error(-222, QStringLiteral("Data out of range"));
            return false;
        }
        w.samples << (floats ? c : (c - lo) / (hi - lo) * 2.0 - 1.0);
    }
    m_waves[name] = w;
    return true;
}

void VirtualScpiGenerator::handle(QTcpSocket* socket, const QByteArray& raw,
                                  const QByteArray& block, bool hasBlock) {
    m_commands << raw;
    QByteArray command = raw.startsWith(':') ? raw.mid(1) : raw;
    const QByteArray upper = command.toUpper();
    auto reply = [socket](const QByteArray& text) { socket->write(text + '\n'); };
    auto after = [&](const char* head) { return command.mid(static_cast<int>(qstrlen(head))); };
    if (upper == "*IDN?") {
        reply(script.idnAnswer.isEmpty() ? identification : script.idnAnswer);
    } else if (upper == "SYST:ERR?") {
        if (!script.errorAnswer.isEmpty())
            reply(script.errorAnswer);
        else
            reply(m_queue.isEmpty() ? QByteArray("+0,\"No error\"") : m_queue.takeFirst().toUtf8());
    } else if (upper == "FORM:BORD SWAP" || upper == "FORM:BORD NORM") {
        m_swapped = upper.endsWith("SWAP");
    } else if (upper == "SOUR1:DATA:VOL:CLE") {
        m_waves.clear();
    } else if (upper.startsWith("SOUR1:DATA:ARB:DAC ")) {
        const QByteArray rest = after("SOUR1:DATA:ARB:DAC ");
        const QString name = QString::fromUtf8(rest.left(rest.indexOf(',')).trimmed());
        storeCodes(name, block, hasBlock, rest.mid(rest.indexOf(',') + 1), -32767, 32767, false);
    } else if (upper.startsWith("SOUR1:DATA:ARB ")) {
        const QByteArray rest = after("SOUR1:DATA:ARB ");
        const QString name = QString::fromUtf8(rest.left(rest.indexOf(',')).trimmed());
        if (hasBlock)
            error(-104, QStringLiteral("Data type error"));
        else
            storeCodes(name, {}, false, rest.mid(rest.indexOf(',') + 1), -1.0, 1.0, true);
    } else if (upper.startsWith("DATA:DAC VOLATILE,")) {
        const QByteArray rest = after("DATA:DAC VOLATILE,");
        const bool unsignedCodes = script.unsignedDac;
        if (storeCodes(QStringLiteral("VOLATILE"), block, hasBlock, rest, unsignedCodes ? 0 : -8191,
                       unsignedCodes ? 16383 : 8191, false) &&
            unsignedCodes)
            m_selected = QStringLiteral("VOLATILE"); // output at once
    } else if (upper.startsWith("SOUR1:FUNC:ARB ")) {
        const QString name = QString::fromUtf8(after("SOUR1:FUNC:ARB ").trimmed());
        if (m_waves.contains(name))
            m_selected = name;
        else
            error(-224, QStringLiteral("Illegal parameter value"));
    } else if (upper == "FUNC:USER VOLATILE") {
        if (m_waves.contains(QStringLiteral("VOLATILE")))
            m_selected = QStringLiteral("VOLATILE");
        else
            error(-224, QStringLiteral("Illegal parameter value"));
    } else if (upper == "SOUR1:FUNC ARB" || upper == "FUNC USER" || upper.startsWith("OUTP")) {
        // output settings: taken
    } else {
        error(-113, QStringLiteral("Undefined header"));
    }
}

} // namespace ww::virt
