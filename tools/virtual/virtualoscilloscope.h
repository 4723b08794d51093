#pragma once

#include "pseudoterminal.h"

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace ww::virt {

// How the screen shows a waveform: a probe, a time base and a trigger that are not ideal.
struct ScopeScreen {
    double periods = 1.0; // of the waveform across the points (2500 on the TDS)
    double phaseDeg = 0;  // where the first point falls in the waveform's period
    double gain = 1.0;    // on the screen: gain × sample + offset, then the noise
    double offset = 0;
    int delay = 0;    // points the trace comes later (a trigger delay)
    double noise = 0; // RMS of Gaussian noise, the screen's full scale being 1
    quint32 seed = 1; // of the noise and the jitter
    // The front end's band limit, in multiples of the waveform's fundamental (0: none), and
    // its order: 1 a single pole, 2 a Butterworth pair.
    double bandwidth = 0;
    int order = 1;
    double jitter = 0; // RMS of each point's timing error, in periods of the waveform
};

// What the screen shows at each of `points` points (the periods spread across them), in
// screen units (the generator's full scale 1, before any offset); no samples: 0 and the noise.
std::vector<double> screenValues(const QVector<float>& samples, const ScopeScreen& screen,
                                 int points);

// A TDS oscilloscope on a pseudo-terminal: answers "*IDN?" with its identification, takes the
// read commands and answers "CURVe?" with "#42500", 2500 data bytes and the terminator.
class VirtualOscilloscope : public QObject {
    Q_OBJECT
  public:
    explicit VirtualOscilloscope(QObject* parent = nullptr);
    // On a terminal it shares with another instrument (a bench), which hands it its lines.
    explicit VirtualOscilloscope(PseudoTerminal* shared, QObject* parent = nullptr);
    ~VirtualOscilloscope() override;

    QString devicePath() const { return m_pty->slavePath(); }
    bool isOpen() const { return m_pty->isOpen(); }
    const PseudoTerminal& terminal() const { return *m_pty; }

    char terminator = '\n'; // ends replies: the character that ended the last command
    QByteArray identification = "TEKTRONIX,TDS 210,0,CF:91.1CT FV:v1.16 TDS2CM:CMV:v1.04";

    struct Script {
        bool silent = false;              // answers nothing
        bool splitIdentification = false; // the identification in two writes
        int cutCurveAt = -1;              // the curve reply stops after this many bytes
        bool noTrailingByte = false;      // no terminator after the data bytes
        QByteArray garbage;               // sent instead of an identification or a curve
        QByteArray extraAfterReply;       // bytes that follow each reply
        int hangUpAtCommand = -1;         // closes the line on this command (0 = first)
        bool hold = false;                // replies wait in held() until release()
    };
    Script script;

    // 8-bit curve of each source; CH1 is a sine until set.
    static QByteArray sineCurve();
    void setCurve(const QString& source, const QByteArray& bytes);
    QByteArray curve(const QString& source) const;
    // If set, CH1 comes from it at each CURVe? (an empty answer keeps the stored curve).
    std::function<QByteArray()> curveProvider;
    using Screen = ScopeScreen;
    Screen screen;
    // Samples in -1..+1 as 2500 8-bit codes, each point what the generator puts out at that
    // moment (sample i held from i - 1/2 to i + 1/2) seen through the band limit; empty for
    // no samples. Beyond the screen's range a code stays at 0 or 255.
    static QByteArray curveFromSamples(const QVector<float>& samples, const Screen& screen = {});

    const QList<QByteArray>& commands() const { return m_commands; }
    QString source() const { return m_source; }

    void hangUp();
    // One command received (without its terminator).
    void handleCommand(const QByteArray& command);
    // Sends up to n held bytes (all when n < 0); returns how many went.
    qsizetype release(qsizetype n = -1);
    const QByteArray& held() const { return m_held; }

  private:
    void onReadable();
    void writeBytes(const QByteArray& bytes);
    void sendBytes(const QByteArray& bytes);

    std::unique_ptr<PseudoTerminal> m_ownPty;
    PseudoTerminal* m_pty;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QByteArray m_pending;
    QByteArray m_held;
    QList<QByteArray> m_commands;
    QMap<QString, QByteArray> m_curves;
    QString m_source = QStringLiteral("CH1");
    int m_stalledWrites = 0;
};

} // namespace ww::virt
