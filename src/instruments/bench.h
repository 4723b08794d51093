#pragma once

#include "generatorupload.h"
#include "lines/clock.h"
#include "lines/seriallink.h"
#include "lines/serialsettings.h"
#include "scopecapture.h"
#include "scpiupload.h"
#include "tdsexchange.h"

#include <QObject>
#include <memory>
#include <vector>

namespace ww {

// A line chosen for one exchange: the COM numbers as they stand, and the one chosen (an
// address typed stands in for COM1 of a copy of them).
struct LineChoice {
    PortMap ports;
    int comNumber = 1;
    QString name() const { return ports.describe(comNumber); }
};
// "COM1".."COM4" (any case) or an address the line registry takes, over `ports`; false when
// the text is neither.
bool chooseLine(const QString& text, const PortMap& ports, LineChoice& choice);

// The instruments one session talks to, and what was last sent to a generator. The serial
// generator's upload and the TDS exchange each have a line of their own on the COM number the
// menus choose; a SCPI upload and an oscilloscope capture are made for the line chosen for them,
// each replacing the one before. The window and the command line both work through it.
class Bench : public QObject {
    Q_OBJECT
  public:
    Bench(const PortMap& ports, SerialSettings& settings, Clock& clock, QObject* parent = nullptr);
    ~Bench() override;

    SerialLink& generatorLine() { return *m_generatorLine; }
    GeneratorUpload& upload() { return *m_upload; }
    SerialLink& scopeLine() { return *m_scopeLine; }
    TdsExchange& tds() { return *m_tds; }

    // A SCPI upload or a capture on the chosen line, with the line settings of the session; the
    // one made before is gone. Null until made.
    ScpiUpload& makeScpiUpload(const LineChoice& choice);
    ScpiUpload* scpiUpload() const { return m_scpiUpload.get(); }
    ScopeCapture& makeScopeCapture(const LineChoice& choice);
    ScopeCapture* scopeCapture() const { return m_capture.get(); }

    // The last waveform a generator took in this session, through any line (empty: none yet),
    // and the canvas it was sent from.
    const std::vector<double>& lastSent() const { return m_lastSent; }
    const std::vector<double>& lastSentFrom() const { return m_lastSentFrom; }
    void noteSent(std::vector<double> sent, std::vector<double> from);

  signals:
    void sentChanged();

  private:
    SerialSettings& m_settings;
    Clock& m_clock;
    std::unique_ptr<SerialLink> m_generatorLine, m_scopeLine;
    std::unique_ptr<GeneratorUpload> m_upload;
    std::unique_ptr<TdsExchange> m_tds;
    // A chosen line's own copy of the COM numbers and the settings, for as long as its
    // exchange lives.
    struct Chosen {
        PortMap ports;
        SerialSettings settings;
        std::unique_ptr<SerialLink> line;
    };
    std::unique_ptr<Chosen> m_scpiLine, m_captureLine;
    std::unique_ptr<ScpiUpload> m_scpiUpload;
    std::unique_ptr<ScopeCapture> m_capture;
    std::vector<double> m_lastSent, m_lastSentFrom;
};

} // namespace ww
