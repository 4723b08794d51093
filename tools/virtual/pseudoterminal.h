#pragma once

#include <QByteArray>
#include <QString>

namespace ww::virt {

// A pseudo-terminal pair. The instrument keeps the master end; the program under test opens
// slavePath() like any serial device. The slave end is also held open here, in raw mode, so
// that the master does not see a hang-up each time the program closes its port.
class PseudoTerminal {
  public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool isOpen() const { return m_master >= 0; }
    int masterFd() const { return m_master; }
    // Our own slave end: tcgetattr on it reads the line settings the program made.
    int slaveFd() const { return m_slave; }
    QString slavePath() const { return m_path; }
    QString error() const { return m_error; }
    // Closes both of our ends: the program's port sees the line drop.
    void hangUp();
    // Everything the program has sent so far (the master end never blocks).
    QByteArray readAvailable();
    // Writes what the terminal takes now; returns how many bytes that was.
    qsizetype write(const QByteArray& bytes);

  private:
    int m_master = -1;
    int m_slave = -1;
    QString m_path;
    QString m_error;
};

} // namespace ww::virt
