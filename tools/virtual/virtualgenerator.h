#pragma once

#include "pseudoterminal.h"

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QStringList>
#include <QVector>
#include <memory>

class QSocketNotifier;

namespace ww::virt {

// A Vorrel generator on a pseudo-terminal: checks every line against the line format, answers
// each with a reply line and keeps the last waveform uploaded to each waveform number.
class VirtualGenerator : public QObject {
    Q_OBJECT
  public:
    explicit VirtualGenerator(QObject* parent = nullptr);
    // On a terminal it shares with another instrument (a bench), which hands it its lines.
    explicit VirtualGenerator(PseudoTerminal* shared, QObject* parent = nullptr);
    ~VirtualGenerator() override;

    QString devicePath() const { return m_pty->slavePath(); }
    bool isOpen() const { return m_pty->isOpen(); }
    const PseudoTerminal& terminal() const { return *m_pty; }

    // How it answers; faults for the tests.
    struct Script {
        QByteArray reply = "OK\n";
        int replyDelayMs = 0;       // each reply this late
        int silentFromLine = -1;    // no reply to this line (0 = header) and after
        int hangUpAtLine = -1;      // close the line on receiving this line
        bool splitReply = false;    // the reply byte by byte, each in a write of its own
        QByteArray extraAfterReply; // bytes that follow the reply's line feed
        bool hold = false;          // replies wait in held() until release()
        // This data line (1 = the first) is kept with the top bit of each code flipped, as a
        // line garbled on the way would be; it is answered as any other.
        int corruptBlock = -1;
    };
    Script script;

    struct Waveform {
        int length = 0;
        int blocks = 0;     // data lines received
        QVector<int> codes; // 12-bit codes of samples 0..length-1
        bool complete() const { return blocks * 128 >= length && length > 0; }
        // The sample a code stands for: code / 4095 * 2 - 1.
        QVector<float> samples() const;
    };
    const QMap<int, Waveform>& waveforms() const { return m_waves; }
    int lastNumber() const { return m_lastNumber; }
    const QStringList& formatErrors() const { return m_errors; }
    const QList<QByteArray>& lines() const { return m_lines; }
    qint64 bytesReceived() const { return m_bytes; }

    void hangUp();
    // One line received (without its line feed).
    void handleLine(const QByteArray& line);
    // Sends up to n held bytes (all when n < 0); returns how many went.
    qsizetype release(qsizetype n = -1);
    const QByteArray& held() const { return m_held; }

  signals:
    void lineReceived(const QByteArray& line);
    // The same line once it is checked, with the format faults found in it (none: empty).
    void lineChecked(const QByteArray& line, const QStringList& faults);
    void waveformChanged(int number);

  private:
    void onReadable();
    void reply(int lineIndex);
    void writeBytes(const QByteArray& bytes);

    std::unique_ptr<PseudoTerminal> m_ownPty;
    PseudoTerminal* m_pty;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QByteArray m_pending;
    QByteArray m_held;
    QList<QByteArray> m_lines;
    QStringList m_errors;
    QMap<int, Waveform> m_waves;
    int m_lastNumber = 0;
    int m_expectedBlock = 1;
    qint64 m_bytes = 0;
};

// "8E30" -> 1000: the generator's reversed hexadecimal.
int fromReversedHex(const QByteArray& digits);

} // namespace ww::virt
