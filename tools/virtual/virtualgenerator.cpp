#include "virtualgenerator.h"

#include <QSocketNotifier>
#include <QTimer>
#include <cctype>

namespace ww::virt {

int fromReversedHex(const QByteArray& digits) {
    QByteArray d = digits;
    std::reverse(d.begin(), d.end());
    bool ok = false;
    const int v = d.toInt(&ok, 16);
    return ok ? v : -1;
}

QVector<float> VirtualGenerator::Waveform::samples() const {
    QVector<float> out;
    out.reserve(codes.size());
    for (int c : codes)
        out.push_back(static_cast<float>(c / 4095.0 * 2.0 - 1.0));
    return out;
}

VirtualGenerator::VirtualGenerator(PseudoTerminal* shared, QObject* parent)
    : QObject(parent), m_pty(shared) {}

VirtualGenerator::VirtualGenerator(QObject* parent)
    : QObject(parent), m_ownPty(std::make_unique<PseudoTerminal>()), m_pty(m_ownPty.get()) {
    if (!m_pty->isOpen())
        return;
    m_notifier = std::make_unique<QSocketNotifier>(m_pty->masterFd(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &VirtualGenerator::onReadable);
}

VirtualGenerator::~VirtualGenerator() = default;

void VirtualGenerator::hangUp() {
    m_notifier.reset();
    m_pty->hangUp();
}

void VirtualGenerator::onReadable() {
    const QByteArray bytes = m_pty->readAvailable();
    m_bytes += bytes.size();
    m_pending += bytes;
    qsizetype lf;
    while ((lf = m_pending.indexOf('\n')) >= 0) {
        const QByteArray line = m_pending.left(lf);
        m_pending.remove(0, lf + 1);
        handleLine(line);
        if (!m_pty->isOpen())
            return;
    }
}

namespace {
bool isHexDigits(const char* p, qsizetype n) {
    for (qsizetype k = 0; k < n; ++k)
        if (!((p[k] >= '0' && p[k] <= '9') || (p[k] >= 'A' && p[k] <= 'F')))
            return false;
    return true;
}
} // namespace

void VirtualGenerator::handleLine(const QByteArray& line) {
    const int index = static_cast<int>(m_lines.size());
    m_lines.push_back(line);
    emit lineReceived(line);
    if (script.hangUpAtLine >= 0 && index >= script.hangUpAtLine) {
        hangUp();
        return;
    }
    // Whatever way the line is left: it has been checked, with these faults.
    struct Checked {
        VirtualGenerator& g;
        const QByteArray& line;
        qsizetype before;
        ~Checked() { emit g.lineChecked(line, g.m_errors.mid(before)); }
    } checked{*this, line, m_errors.size()};
    const char* p = line.constData();
    // "ARB:P_P " + 2 reversed decimal digits + 4 reversed hexadecimal digits.
    if (line.size() == 14 && line.startsWith("ARB:P_P ") && std::isdigit(p[8]) &&
        std::isdigit(p[9]) && isHexDigits(p + 10, 4)) {
        const int number = (p[9] - '0') * 10 + (p[8] - '0');
        Waveform w;
        w.length = fromReversedHex(line.mid(10, 4));
        if (number < 1 || number > 8 || w.length < 1 || w.length > 16000)
            m_errors << QStringLiteral("header out of range: %1").arg(QString::fromLatin1(line));
        m_lastNumber = number;
        m_waves[number] = w;
        m_expectedBlock = 1;
        emit waveformChanged(number);
    } else if (line.size() == 526 && line.startsWith("ARB:DATA ") && isHexDigits(p + 9, 4) &&
               p[13] == ' ' && isHexDigits(p + 14, 512)) {
        // "ARB:DATA " + block number + " " + 128 fields of 4 reversed hexadecimal digits.
        const int block = fromReversedHex(line.mid(9, 4));
        if (block != m_expectedBlock)
            m_errors << QStringLiteral("block %1 where %2 was due").arg(block).arg(m_expectedBlock);
        m_expectedBlock = block + 1;
        Waveform& w = m_waves[m_lastNumber];
        for (int k = 0; k < 128; ++k) {
            const int i = (block - 1) * 128 + k;
            int code = fromReversedHex(line.mid(14 + k * 4, 4));
            if (block == script.corruptBlock)
                code ^= 0x800;
            if (i >= 0 && i < w.length) {
                if (w.codes.size() <= i)
                    w.codes.resize(i + 1);
                w.codes[i] = code;
                if (code > 4095)
                    m_errors << QStringLiteral("code above 12 bits at %1").arg(i);
            } else if (code != 0) {
                m_errors << QStringLiteral("field past the length at %1").arg(i);
            }
        }
        w.blocks = std::max(w.blocks, block);
        emit waveformChanged(m_lastNumber);
    } else {
        // Not understood: no answer, as a real generator gives none ("*IDN?" is no link).
        m_errors
            << QStringLiteral("not a generator line: %1").arg(QString::fromLatin1(line.left(40)));
        return;
    }
    reply(index);
}

void VirtualGenerator::reply(int lineIndex) {
    if (script.silentFromLine >= 0 && lineIndex >= script.silentFromLine)
        return;
    const QByteArray bytes = script.reply + script.extraAfterReply;
    auto send = [this, bytes] {
        if (!script.splitReply) {
            writeBytes(bytes);
            return;
        }
        for (int k = 0; k < bytes.size(); ++k)
            QTimer::singleShot(5 * k, this, [this, b = bytes.mid(k, 1)] { writeBytes(b); });
    };
    if (script.replyDelayMs > 0)
        QTimer::singleShot(script.replyDelayMs, this, send);
    else
        send();
}

void VirtualGenerator::writeBytes(const QByteArray& bytes) {
    if (script.hold)
        m_held += bytes;
    else
        m_pty->write(bytes);
}

qsizetype VirtualGenerator::release(qsizetype n) {
    const QByteArray out = n < 0 ? m_held : m_held.left(n);
    m_held.remove(0, out.size());
    m_pty->write(out);
    return out.size();
}

} // namespace ww::virt
