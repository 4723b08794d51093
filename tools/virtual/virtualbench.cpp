#include "virtualbench.h"

#include <QSocketNotifier>

namespace ww::virt {

VirtualBench::VirtualBench(QObject* parent) : QObject(parent) {
    m_scope.curveProvider = [this] { return shown(); };
    if (!m_pty.isOpen())
        return;
    m_notifier = std::make_unique<QSocketNotifier>(m_pty.masterFd(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &VirtualBench::onReadable);
}

VirtualBench::~VirtualBench() = default;

QByteArray VirtualBench::shown() {
    const QVector<float> own = m_generator.waveforms().value(m_generator.lastNumber()).samples();
    const QVector<float> other = m_other ? m_other() : QVector<float>();
    if (own != m_seenOwn)
        m_seenOwn = own, m_shown = own;
    if (other != m_seenOther)
        m_seenOther = other, m_shown = other;
    // Nothing received yet: the generator's output sits at 0 V.
    return VirtualOscilloscope::curveFromSamples(
        m_shown.isEmpty() ? QVector<float>(16, 0.0f) : m_shown, m_scope.screen);
}

void VirtualBench::onReadable() {
    m_pending += m_pty.readAvailable();
    for (;;) {
        const qsizetype lf = m_pending.indexOf('\n'), cr = m_pending.indexOf('\r');
        const qsizetype end = lf < 0 ? cr : (cr < 0 ? lf : std::min(lf, cr));
        if (end < 0)
            return;
        const char terminator = m_pending.at(end);
        const QByteArray line = m_pending.left(end);
        m_pending.remove(0, end + 1);
        if (line.startsWith("ARB:")) {
            m_generator.handleLine(line);
        } else if (!line.isEmpty()) {
            m_scope.terminator = terminator;
            m_scope.handleCommand(line);
        }
        if (!m_pty.isOpen())
            return;
    }
}

} // namespace ww::virt
