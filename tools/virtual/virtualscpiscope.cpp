#include "virtualscpiscope.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace ww::virt {

namespace {
QByteArray number(double v) {
    return QByteArray::number(v, 'E', 9);
}
} // namespace

VirtualScpiScope::VirtualScpiScope(QObject* parent)
    : QObject(parent), m_server(new QTcpServer(this)) {
    m_server->listen(QHostAddress::LocalHost, 0);
    m_port = m_server->serverPort();
    connect(m_server, &QTcpServer::newConnection, this, &VirtualScpiScope::accept);
}

VirtualScpiScope::~VirtualScpiScope() {
    for (QTcpSocket* s : m_server->findChildren<QTcpSocket*>())
        s->disconnect(this);
}

QString VirtualScpiScope::address() const {
    return QStringLiteral("tcp://127.0.0.1:%1").arg(m_port);
}

void VirtualScpiScope::stopListening() {
    m_server->close();
}

void VirtualScpiScope::accept() {
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        socket->setParent(m_server);
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_pending.remove(socket);
            socket->deleteLater();
        });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
    }
}

void VirtualScpiScope::readFrom(QTcpSocket* socket) {
    QByteArray& pending = m_pending[socket];
    pending += socket->readAll();
    for (;;) {
        const qsizetype end = pending.indexOf('\n');
        if (end < 0)
            return;
        QByteArray command = pending.left(end).trimmed();
        pending.remove(0, end + 1);
        if (command.isEmpty())
            continue;
        m_commands << command;
        if (!script.silent)
            handle(socket, command);
        if (!m_pending.contains(socket))
            return;
    }
}

void VirtualScpiScope::send(QTcpSocket* socket, const QByteArray& bytes) {
    m_sent += bytes.size();
    socket->write(bytes);
}

void VirtualScpiScope::answer(QTcpSocket* socket, const QByteArray& text) {
    send(socket, text + '\n');
}

double VirtualScpiScope::timeOfPoint(int index) const {
    return index * (secondsPerDiv * 14.0 / points) - secondsPerDiv * 7.0;
}

void VirtualScpiScope::acquire(bool signedCodes) {
    const QVector<float> shown = input ? input() : QVector<float>();
    const std::vector<double> v = screenValues(shown, screen, points);
    const double step = voltsPerDiv / 25.0;
    const double mid = std::round(centre / step);
    m_held.resize(v.size());
    m_codes.resize(points);
    for (int i = 0; i < points; ++i) {
        const double at = volts * v[static_cast<std::size_t>(i)];
        m_held[static_cast<std::size_t>(i)] = at;
        const long code = std::lround(at / step - mid);
        m_codes[i] = signedCodes ? static_cast<char>(std::clamp(code, -128L, 127L))
                                 : static_cast<char>(std::clamp(code + 128, 0L, 255L));
    }
}

QByteArray VirtualScpiScope::block(int from, int to) {
    QByteArray data = m_codes.mid(from - 1, to - from + 1);
    data += QByteArray(script.extraPoints, '\x80');
    const QByteArray length = QByteArray::number(data.size()).rightJustified(9, '0');
    QByteArray out = "#9" + length;
    if (script.shortBlock)
        return out + data.left(data.size() / 2);
    return out + data + QByteArray(script.beyondBlock, 'z');
}

void VirtualScpiScope::keepTalking(QTcpSocket* socket) {
    // An answer that never ends: more of it while the connection lasts.
    auto* timer = new QTimer(socket);
    connect(timer, &QTimer::timeout, socket, [this, socket] {
        if (socket->bytesToWrite() < (1 << 20))
            send(socket, QByteArray(65536, 'x'));
    });
    timer->start(1);
}

void VirtualScpiScope::handle(QTcpSocket* socket, const QByteArray& command) {
    QByteArray upper = command.toUpper();
    if (upper.startsWith(':'))
        upper.remove(0, 1);
    const qsizetype blank = upper.indexOf(' ');
    const QByteArray head = blank < 0 ? upper : upper.left(blank);
    const QByteArray arg =
        blank < 0 ? QByteArray() : command.mid(command.indexOf(' ') + 1).trimmed();
    const double step = voltsPerDiv / 25.0;
    const double mid = std::round(centre / step);
    const double dt = secondsPerDiv * 14.0 / points;
    const double t0 = -secondsPerDiv * 7.0;
    auto dataQuery = [&](auto&& answerWith) {
        if (!script.error.isEmpty())
            m_queue << QString::fromLatin1(script.error);
        if (script.stallData)
            return;
        if (!script.dataAnswer.isEmpty()) {
            send(socket, script.dataAnswer);
            return;
        }
        answerWith();
    };
    auto endlessOr = [&](const QByteArray& replaced, const QByteArray& normal) {
        if (script.endless)
            keepTalking(socket);
        else
            answer(socket, replaced.isEmpty() ? normal : replaced);
    };
    if (head == "*IDN?") {
        answer(socket, identification);
    } else if (head == "*CLS") {
        m_queue.clear();
    } else if (head == "SYST:ERR?" || head == "SYSTEM:ERROR?") {
        answer(socket,
               m_queue.isEmpty() ? QByteArray("0,\"No error\"") : m_queue.takeFirst().toLatin1());
    } else if (head == "HEADER" || head == "CHDR") {
        headers = arg.toUpper() != "OFF";
    } else if (head == "WAV:SOUR" || head == "DATA:SOURCE") {
        m_source = QString::fromLatin1(arg);
    } else if (head == "WAV:MODE" || head == "WAV:FORM" || head == "DATA:ENCDG" ||
               head == "DATA:WIDTH" || head == "DATA:START" || head == "DATA:STOP" ||
               head == "STOP" || head == "RUN") {
        // Taken as they are: the record is always 8 bits and whole.
    } else if (head == "WAV:STAR") {
        m_start = arg.toInt();
    } else if (head == "WAV:STOP") {
        m_stop = arg.toInt();
    } else if (head == "WAV:PRE?") {
        const double origin = originInCodes ? -mid : mid * step;
        endlessOr(script.preambleAnswer, "0,0," + QByteArray::number(points) + ",1," + number(dt) +
                                             ',' + number(t0) + ",0," + number(step) + ',' +
                                             number(origin) + ",128");
    } else if (head == "WAV:DATA?") {
        dataQuery([&] {
            const int from = std::max(1, m_start);
            const int to = m_stop > 0 ? std::min(m_stop, points) : points;
            if (from == 1 || m_codes.size() != points)
                acquire(false);
            send(socket, block(from, to) + '\n');
        });
    } else if (head.startsWith("WFMOUTPRE:") && head.endsWith('?')) {
        const QByteArray field = head.mid(10).chopped(1);
        QByteArray value;
        if (field == "YMULT")
            value = number(step);
        else if (field == "YOFF")
            value = number(5);
        else if (field == "YZERO")
            value = number(mid * step);
        else if (field == "XINCR")
            value = number(dt);
        else if (field == "XZERO")
            value = number(t0);
        else if (field == "NR_PT")
            value = QByteArray::number(points);
        if (value.isEmpty()) {
            m_queue << QStringLiteral("-113,\"Undefined header\"");
            return;
        }
        endlessOr(script.fieldAnswer, headers ? ":WFMOUTPRE:" + field + ' ' + value : value);
    } else if (head == "CURVE?") {
        dataQuery([&] {
            acquire(true);
            // Offset by YOFF (5 codes): what YZERO says is the level at code 5.
            QByteArray shifted = m_codes;
            for (char& c : shifted)
                c = static_cast<char>(
                    std::clamp(static_cast<int>(static_cast<signed char>(c)) + 5, -128, 127));
            m_codes = shifted;
            send(socket,
                 (headers ? QByteArray(":CURVE ") : QByteArray()) + block(1, points) + '\n');
        });
    } else if (head.endsWith(":VDIV?") || head.endsWith(":OFST?") || head == "TDIV?" ||
               head == "SARA?") {
        QByteArray value;
        if (head.endsWith(":VDIV?"))
            value = QByteArray::number(voltsPerDiv, 'E', 2) + 'V';
        else if (head.endsWith(":OFST?"))
            value = QByteArray::number(-mid * step, 'E', 9) + 'V';
        else if (head == "TDIV?")
            value = QByteArray::number(secondsPerDiv, 'E', 9) + 'S';
        else
            value = QByteArray::number(1.0 / dt, 'E', 9) + "Sa/s";
        const QByteArray name = head.chopped(1);
        endlessOr(script.fieldAnswer, headers ? name + ' ' + value : value);
    } else if (head.endsWith(":WF?")) {
        dataQuery([&] {
            acquire(true);
            const QByteArray trace = head.left(head.indexOf(':'));
            send(socket,
                 (headers ? trace + ":WF " : QByteArray()) + "DAT2," + block(1, points) + "\n\n");
        });
    } else {
        m_queue << QStringLiteral("-113,\"Undefined header\"");
    }
}

} // namespace ww::virt
