#include "bench.h"

#include "lines/lineregistry.h"

namespace ww {

bool chooseLine(const QString& text, const PortMap& ports, LineChoice& choice) {
    static const QStringList names = {"COM1", "COM2", "COM3", "COM4"};
    const QString t = text.trimmed();
    choice.ports = ports;
    if (const int i = names.indexOf(t.toUpper()); i >= 0) {
        choice.comNumber = i + 1;
        return true;
    }
    if (!addressProblem(t).isEmpty())
        return false;
    choice.comNumber = 1;
    choice.ports.setDevice(1, t);
    choice.ports.setName(1, t);
    return true;
}

Bench::Bench(const PortMap& ports, SerialSettings& settings, Clock& clock, QObject* parent)
    : QObject(parent), m_settings(settings), m_clock(clock),
      m_generatorLine(std::make_unique<SerialLink>(ports)),
      m_scopeLine(std::make_unique<SerialLink>(ports)),
      m_upload(std::make_unique<GeneratorUpload>(*m_generatorLine, settings, clock)),
      m_tds(std::make_unique<TdsExchange>(*m_scopeLine, settings, clock)) {
    // The serial generator's upload is sent from the waveform as it stands.
    connect(m_upload.get(), &GeneratorUpload::uploaded, this, [this](const WaveStore& sent) {
        std::vector<double> samples(sent.ArbData.begin(), sent.ArbData.begin() + sent.length());
        noteSent(samples, samples);
    });
}

Bench::~Bench() = default;

ScpiUpload& Bench::makeScpiUpload(const LineChoice& choice) {
    m_scpiUpload.reset();
    m_scpiLine = std::make_unique<Chosen>(Chosen{choice.ports, m_settings, nullptr});
    m_scpiLine->settings.ComPortNumber = choice.comNumber;
    m_scpiLine->line = std::make_unique<SerialLink>(m_scpiLine->ports);
    m_scpiUpload = std::make_unique<ScpiUpload>(*m_scpiLine->line, m_scpiLine->settings, m_clock);
    return *m_scpiUpload;
}

ScopeCapture& Bench::makeScopeCapture(const LineChoice& choice) {
    m_capture.reset();
    m_captureLine = std::make_unique<Chosen>(Chosen{choice.ports, m_settings, nullptr});
    m_captureLine->settings.ComPortNumber = choice.comNumber;
    m_captureLine->line = std::make_unique<SerialLink>(m_captureLine->ports);
    m_capture =
        std::make_unique<ScopeCapture>(*m_captureLine->line, m_captureLine->settings, m_clock);
    m_capture->lineName = choice.name();
    return *m_capture;
}

void Bench::noteSent(std::vector<double> sent, std::vector<double> from) {
    m_lastSent = std::move(sent);
    m_lastSentFrom = std::move(from);
    emit sentChanged();
}

} // namespace ww
