#include "virtualbench.h"

#include <QSocketNotifier>

namespace ww::virt {

VirtualBench::VirtualBench(QObject* parent) : QObject(parent) {
    m_scope.curveProvider = [this] {
        const auto wave = m_generator.waveforms().value(m_generator.lastNumber());
        return VirtualOscilloscope::curveFromSamples(wave.samples(), m_scope.screen);
    };
    if (!m_pty.isOpen())
        return;
    m_notifier = std::make_unique<QSocketNotifier>(m_pty.masterFd(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &VirtualBench::onReadable);
}

VirtualBench::~VirtualBench() = default;

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
