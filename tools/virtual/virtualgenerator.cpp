#include "virtualgenerator.h"

#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <unistd.h>

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

VirtualGenerator::VirtualGenerator(QObject* parent) : QObject(parent) {
    if (!m_pty.isOpen())
        return;
    m_notifier = std::make_unique<QSocketNotifier>(m_pty.masterFd(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &VirtualGenerator::onReadable);
}

VirtualGenerator::~VirtualGenerator() = default;

void VirtualGenerator::hangUp() {
    m_notifier.reset();
    m_pty.hangUp();
}

void VirtualGenerator::onReadable() {
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_pty.masterFd(), buf, sizeof buf);
        if (n > 0) {
            m_bytes += n;
            m_pending.append(buf, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break; // EAGAIN: all read; EIO: the program closed its end, nothing to do
    }
    qsizetype lf;
    while ((lf = m_pending.indexOf('\n')) >= 0) {
        const QByteArray line = m_pending.left(lf);
        m_pending.remove(0, lf + 1);
        handleLine(line);
        if (!m_pty.isOpen())
            return;
    }
}

void VirtualGenerator::handleLine(const QByteArray& line) {
    static const QRegularExpression header(QStringLiteral("^ARB:P_P (\\d)(\\d)([0-9A-F]{4})$"));
    static const QRegularExpression data(
        QStringLiteral("^ARB:DATA ([0-9A-F]{4}) ((?:[0-9A-F]{4}){128})$"));
    const int index = static_cast<int>(m_lines.size());
    m_lines.push_back(line);
    emit lineReceived(line);
    if (script.hangUpAtLine >= 0 && index >= script.hangUpAtLine) {
        hangUp();
        return;
    }
    const QString text = QString::fromLatin1(line);
    if (const auto m = header.match(text); m.hasMatch()) {
        // The number goes out reversed: "10" is waveform 1.
        const int number = (m.captured(2) + m.captured(1)).toInt();
        Waveform w;
        w.length = fromReversedHex(m.captured(3).toLatin1());
        if (number < 1 || number > 8 || w.length < 1 || w.length > 16000)
            m_errors << QStringLiteral("header out of range: %1").arg(text);
        m_lastNumber = number;
        m_waves[number] = w;
        m_expectedBlock = 1;
        emit waveformChanged(number);
    } else if (const auto d = data.match(text); d.hasMatch()) {
        const int block = fromReversedHex(d.captured(1).toLatin1());
        if (block != m_expectedBlock)
            m_errors << QStringLiteral("block %1 where %2 was due").arg(block).arg(m_expectedBlock);
        m_expectedBlock = block + 1;
        Waveform& w = m_waves[m_lastNumber];
        const QByteArray fields = d.captured(2).toLatin1();
        for (int k = 0; k < 128; ++k) {
            const int i = (block - 1) * 128 + k;
            const int code = fromReversedHex(fields.mid(k * 4, 4));
            if (i < w.length) {
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
        m_errors << QStringLiteral("not a generator line: %1").arg(text.left(40));
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
    if (!m_pty.isOpen())
        return;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_pty.masterFd(), bytes.constData() + done,
                                  static_cast<size_t>(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (!(n < 0 && errno == EINTR))
            break;
    }
}

} // namespace ww::virt
