#pragma once

#include "virtualgenerator.h"
#include "virtualoscilloscope.h"

#include <memory>

class QSocketNotifier;

namespace ww::virt {

// A generator and an oscilloscope behind one port, the oscilloscope's CH1 wired to the
// generator's output: what the demo puts on COM1, so that a newcomer can send a waveform and
// read it back without choosing another port. Lines beginning "ARB:" go to the generator,
// every other command to the oscilloscope.
class VirtualBench : public QObject {
    Q_OBJECT
  public:
    explicit VirtualBench(QObject* parent = nullptr);
    ~VirtualBench() override;

    QString devicePath() const { return m_pty.slavePath(); }
    bool isOpen() const { return m_pty.isOpen(); }
    VirtualGenerator& generator() { return m_generator; }
    VirtualOscilloscope& oscilloscope() { return m_scope; }

  private:
    void onReadable();

    PseudoTerminal m_pty;
    VirtualGenerator m_generator{&m_pty};
    VirtualOscilloscope m_scope{&m_pty};
    std::unique_ptr<QSocketNotifier> m_notifier;
    QByteArray m_pending;
};

} // namespace ww::virt
