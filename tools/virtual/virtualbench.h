#pragma once

#include "virtualgenerator.h"
#include "virtualoscilloscope.h"

#include <functional>
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
    // Another generator's output wired to CH1 as well (the demo's SCPI generator): CH1 shows
    // whichever last received a waveform, a flat line with the screen's noise until one has.
    void showAlso(std::function<QVector<float>()> output) { m_other = std::move(output); }

  private:
    void onReadable();
    QByteArray shown();

    PseudoTerminal m_pty;
    VirtualGenerator m_generator{&m_pty};
    VirtualOscilloscope m_scope{&m_pty};
    std::unique_ptr<QSocketNotifier> m_notifier;
    QByteArray m_pending;
    std::function<QVector<float>()> m_other;
    QVector<float> m_seenOwn, m_seenOther, m_shown;
};

} // namespace ww::virt
