#pragma once

#include <QElapsedTimer>

namespace ww {

// The time the exchanges go by: milliseconds of a clock that never jumps (a change of the
// calendar clock moves no deadline). Tests move a ManualClock instead of sleeping.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual qint64 msecs() const = 0;
};

class SystemClock : public Clock {
  public:
    SystemClock() { m_timer.start(); }
    qint64 msecs() const override { return m_timer.elapsed(); }

  private:
    QElapsedTimer m_timer;
};

// The clock running `factor` times faster from the moment it is made: a quick way to see a
// watchdog act without waiting for it (the command line's hidden --time-scale).
class ScaledClock : public Clock {
  public:
    explicit ScaledClock(double factor) : m_factor(factor) { m_timer.start(); }
    qint64 msecs() const override { return static_cast<qint64>(m_timer.elapsed() * m_factor); }

  private:
    double m_factor;
    QElapsedTimer m_timer;
};

class ManualClock : public Clock {
  public:
    qint64 msecs() const override { return m_ms; }
    void advance(qint64 ms) { m_ms += ms; }
    void set(qint64 ms) { m_ms = ms; }

  private:
    qint64 m_ms = 1'000'000'000;
};

} // namespace ww
