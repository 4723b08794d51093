#include "virtualscpi.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <cmath>
#include <sys/socket.h>

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

VirtualScpiGenerator::~VirtualScpiGenerator() {
    // The connections go first, while the instrument is whole: a socket destroyed with it
    // says it disconnected, and nothing of the instrument may hear that any more.
    for (QTcpSocket* s : m_server->findChildren<QTcpSocket*>())
        s->disconnect();
    delete m_server;
    m_server = nullptr;
}

quint16 VirtualScpiGenerator::port() const {
    return m_port;
}

void VirtualScpiGenerator::setReceiveBuffer(int bytes) {
    m_receiveBuffer = bytes;
    // Half in the system (which doubles what it is given), half in the socket's own buffer;
    // a connection takes the listener's size, and with it the window it offers.
    const int system = bytes / 4;
    ::setsockopt(static_cast<int>(m_server->socketDescriptor()), SOL_SOCKET, SO_RCVBUF, &system,
                 sizeof system);
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
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            // What came before the close is still the instrument's to take, as a real one
            // takes what its buffer holds.
            if (!script.stall && script.closeAfterBytes < 0) {
                const QByteArray rest = socket->readAll();
                m_bytes += rest.size();
                m_pending[socket] += rest;
                m_draining = true;
                parse(socket);
                m_draining = false;
            }
            m_pending.remove(socket);
            socket->deleteLater();
        });
        if (m_receiveBuffer > 0)
            socket->setReadBufferSize(m_receiveBuffer / 2);
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
    if (!script.earlyAnswer.isEmpty() && !socket->property("spoke").toBool()) {
        socket->setProperty("spoke", true);
        socket->write(script.earlyAnswer + '\n');
    }
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
        // A raw block: from after WAVEDATA, to a line feed at an even count that a command
        // follows.
        const qsizetype raw = buffer.left(8).toUpper() == "C1:WVDT " && buffer.indexOf('\n') >= 0
                                  ? buffer.indexOf("WAVEDATA,")
                                  : -1;
        if (raw >= 0) {
            const qsizetype from = raw + 9;
            qsizetype end = -1;
            for (qsizetype k = from; k < buffer.size() && end < 0; k += 2) {
                if (buffer[k] != '\n')
                    continue;
                const QByteArray next = buffer.mid(k + 1, 5).toUpper();
                for (const char* head : {"C1:", "C2:", "SYST:", "*CLS", "*IDN"})
                    if (next.startsWith(head))
                        end = k;
            }
            if (end < 0)
                return; // the rest is still on its way
            const QByteArray head = buffer.left(from);
            const QByteArray data = buffer.mid(from, end - from);
            buffer.remove(0, end + 1);
            handle(socket, head, data, true);
            if (socket->state() != QAbstractSocket::ConnectedState && !m_draining)
                return;
            continue;
        }
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
        if (socket->state() != QAbstractSocket::ConnectedState && !m_draining)
            return;
    }
}

void VirtualScpiGenerator::error(int code, const QString& text) {
    const QString e = QStringLiteral("%1,\"%2\"").arg(code).arg(text);
    m_queue << e;
    m_allErrors << e;
}

bool VirtualScpiGenerator::storeCodes(const QString& name, const QByteArray& block, bool hasBlock,
                                      const QByteArray& values, double lo, double hi, bool floats,
                                      Order order) {
    const bool little = order == Order::AsFormBord ? m_swapped : order == Order::LittleEndian;
    QVector<double> codes;
    if (hasBlock) {
        if (block.size() % 2 != 0) {
            error(-104, QStringLiteral("Data type error: odd byte count"));
            return false;
        }
        for (qsizetype k = 0; k + 1 < block.size(); k += 2) {
            const auto b0 = static_cast<unsigned char>(block[k]);
            const auto b1 = static_cast<unsigned char>(block[k + 1]);
            const auto word = static_cast<quint16>(little ? b0 | (b1 << 8) : (b0 << 8) | b1);
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
    auto reply = [this, socket](const QByteArray& text) { socket->write(text + script.answerEnd); };
    auto after = [&](const char* head) { return command.mid(static_cast<int>(qstrlen(head))); };
    if (upper == "*IDN?") {
        reply(script.idnAnswer.isEmpty() ? identification : script.idnAnswer);
    } else if (upper == "*CLS") {
        m_queue.clear();
    } else if (upper == "SYST:ERR?") {
        if (!script.errorAnswer.isEmpty() && m_errorAnswers < script.errorAnswerTimes) {
            ++m_errorAnswers;
            reply(script.errorAnswer);
        } else
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
        // Signed codes of the DAC's width in a block; unsigned 14-bit codes as text.
        const QByteArray rest = after("DATA:DAC VOLATILE,");
        const double top = std::ldexp(1.0, script.dacBits - 1) - 1;
        const bool stored =
            hasBlock ? storeCodes(QStringLiteral("VOLATILE"), block, true, {}, -top, top, false)
                     : storeCodes(QStringLiteral("VOLATILE"), {}, false, rest, 0, 16383, false);
        if (stored && !hasBlock)
            m_selected = QStringLiteral("VOLATILE"); // this form outputs it at once
    } else if (upper.startsWith("SOUR1:TRAC:DATA:DAC16 VOLATILE,END,")) {
        if (storeCodes(QStringLiteral("VOLATILE"), block, hasBlock, {}, 0, 16383, false,
                       Order::LittleEndian))
            m_selected = QStringLiteral("VOLATILE");
    } else if (upper.startsWith("C1:WVDT WVNM,") && upper.endsWith(",WAVEDATA,")) {
        const QByteArray rest = after("C1:WVDT WVNM,");
        const QString name = QString::fromUtf8(rest.left(rest.indexOf(',')).trimmed());
        storeCodes(name, block, true, {}, -32767, 32767, false, Order::LittleEndian);
    } else if (upper.startsWith("C1:ARWV NAME,")) {
        const QString name = QString::fromUtf8(after("C1:ARWV NAME,").trimmed());
        select(name);
    } else if (upper.startsWith("DATA:DEF EMEM,")) {
        bool ok = false;
        m_defined = after("DATA:DEF EMEM,").trimmed().toInt(&ok);
        if (!ok || m_defined < 2 || m_defined > script.maxPoints) {
            m_defined = -1;
            error(-222, QStringLiteral("Data out of range"));
        }
    } else if (upper.startsWith("DATA:DATA EMEM,")) {
        if (!hasBlock || m_defined < 0 || block.size() != 2 * m_defined)
            error(-222, QStringLiteral("Data out of range: not the points defined"));
        else
            storeCodes(QStringLiteral("EMEM"), block, true, {}, 0, 16382, false, Order::BigEndian);
    } else if (upper == "DATA:COPY USER1,EMEM") {
        if (m_waves.contains(QStringLiteral("EMEM")))
            m_waves[QStringLiteral("USER1")] = m_waves[QStringLiteral("EMEM")];
        else
            error(-224, QStringLiteral("Illegal parameter value"));
    } else if (upper == "SOUR1:FUNC:SHAP USER1") {
        select(QStringLiteral("USER1"));
    } else if (upper.startsWith("SOUR1:FUNC:ARB ")) {
        const QString name = QString::fromUtf8(after("SOUR1:FUNC:ARB ").trimmed());
        select(name);
    } else if (upper == "FUNC:USER VOLATILE") {
        select(QStringLiteral("VOLATILE"));
    } else if (upper == "SOUR1:FUNC ARB" || upper == "FUNC USER") {
        // the arbitrary waveform is the function: taken
    } else {
        setting(upper, command);
    }
}

void VirtualScpiGenerator::select(const QString& name) {
    // Only a waveform it holds can be chosen for output.
    if (m_waves.contains(name))
        m_selected = name;
    else
        error(-224, QStringLiteral("Illegal parameter value"));
}

void VirtualScpiGenerator::setting(const QByteArray& upper, const QByteArray& command) {
    // The headers of each form's settings, the number after them.
    static const struct {
        const char* head;
        int what; // 0 frequency, 1 sample rate, 2 amplitude, 3 offset, 4 output
    } kSettings[] = {
        {"SOUR1:FUNC:ARB:SRAT ", 1},
        {"SOUR1:VOLT:OFFS ", 3},
        {"SOUR1:VOLT:AMPL ", 2},
        {"SOUR1:VOLT ", 2},
        {"SOUR1:FREQ ", 0},
        {"VOLT:OFFS ", 3},
        {"VOLT ", 2},
        {"FREQ ", 0},
        {"C1:BSWV FRQ,", 0},
        {"C1:BSWV AMP,", 2},
        {"C1:BSWV OFST,", 3},
        {"OUTP1:STAT ", 4},
        {"OUTP1 ", 4},
        {"OUTP ", 4},
        {"C1:OUTP ", 4},
    };
    for (const auto& s : kSettings) {
        if (!upper.startsWith(s.head))
            continue;
        const QByteArray value = command.mid(static_cast<int>(qstrlen(s.head))).trimmed();
        if (s.what == 4) {
            if (value.toUpper() != "ON" && value.toUpper() != "OFF")
                break;
            m_settings.output = value.toUpper() == "ON";
            return;
        }
        bool ok = false;
        const double v = value.toDouble(&ok);
        if (!ok || !std::isfinite(v)) {
            error(-104, QStringLiteral("Data type error"));
            return;
        }
        (s.what == 0   ? m_settings.frequency
         : s.what == 1 ? m_settings.sampleRate
         : s.what == 2 ? m_settings.amplitude
                       : m_settings.offset) = v;
        return;
    }
    error(-113, QStringLiteral("Undefined header"));
}

} // namespace ww::virt
