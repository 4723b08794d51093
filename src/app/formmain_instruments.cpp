// What the main window does with instruments: the exchange windows, Send, the Rs232 Set and
// Oscilloscope menus, Send to Instrument and Compare with Sent. The lines, exchanges and what
// was sent are the bench's.
#include "formmain.h"

#include "compareview.h"
#include "devicesdialog.h"
#include "files/resample.h"
#include "formtds.h"
#include "formteskcom.h"
#include "instrumentdialog.h"
#include "lines/lineregistry.h"
#include "scopedialog.h"

#include <QAction>
#include <QActionGroup>
#include <QSettings>
#include <QTimer>

namespace ww {

void FormMain::FormTeskCom_Load() {
    // The serial settings start as SerialSettings says; the windows only need their layout.
    m_formTeskCom = std::make_unique<FormTeskCom>(upload(), this);
    m_formTeskCom->FitFormToScreen(m_scale);
}

void FormMain::FormTDS_Load() {
    m_formTDS = std::make_unique<FormTDS>(tds(), this);
    m_formTDS->FitFormToScreen(m_scale);
}

void FormMain::mnuArbOutput_Click() {
    upload().start(m_doc.store());
}

void FormMain::mnuOscilEOLString_Click(int index) {
    markMenuArray(m_eolGroup, index);
    chooseOscilEol(m_settings, index);
}

void FormMain::mnuOscil_Link_Click() {
    tds().TDS_Link();
}

void FormMain::mnuOscil_SOURE_CH_Click(int index) {
    markMenuArray(m_sourceGroup, index);
    chooseOscilSource(m_settings, index);
}

void FormMain::mnuOscil_ReadData_Click() {
    m_compareNext = false;
    tds().TDS_Readdata();
}

void FormMain::mnuArbSendInstrument_Click() {
    if (!m_instrument) {
        m_instrument = new InstrumentDialog(*m_bench, m_options.ports, *m_userSettings, this);
        m_instrument->samples = [this] {
            const WaveStore& s = m_doc.store();
            return std::vector<float>(s.ArbData.begin(), s.ArbData.begin() + s.length());
        };
        // Every upload, through any line and profile, is what Compare with Sent compares with.
        connect(
            m_instrument, &InstrumentDialog::uploaded, this,
            [this](const std::vector<double>& sent) { m_bench->noteSent(sent, canvasSamples()); });
    }
    m_instrument->show();
    m_instrument->raise();
}

void FormMain::mnuOscilCompare_Click() {
    m_compareNext = true;
    tds().TDS_Readdata();
    if (!tds().running()) // refused: not linked yet
        m_compareNext = false;
}

void FormMain::takeOscilloscopeData(const std::vector<float>& samples) {
    if (m_compareNext) {
        showComparison(std::vector<double>(samples.begin(), samples.end()));
        return;
    }
    WaveChange how{caption("mnuOscil_ReadData")};
    how.writesLength = true;
    m_doc.change(how, [&samples](WaveStore& s) {
        std::copy(samples.begin(), samples.end(), s.ArbData.begin());
        s.ArbLength = static_cast<float>(samples.size());
    });
}

void FormMain::mnuOscilReadInstrument_Click() {
    if (!m_scopeDialog) {
        m_scopeDialog = new ScopeDialog(*m_bench, m_options.ports, *m_userSettings, this);
        connect(m_scopeDialog, &ScopeDialog::captured, this, &FormMain::takeTrace);
    }
    m_scopeDialog->show();
    m_scopeDialog->raise();
}

void FormMain::takeTrace(const ScopeTrace& trace, bool compare) {
    if (compare) {
        const std::vector<double> all = comparableCurve(trace);
        showComparison(all.size() <= static_cast<std::size_t>(kMaxLength)
                           ? all
                           : resampleLinear(all, kMaxLength));
        return;
    }
    const std::vector<float> samples = recordAsWaveform(screenSamples(trace.profile, trace.codes));
    if (samples.size() < static_cast<std::size_t>(kMinLength)) {
        say(QStringLiteral("The oscilloscope gave %1 points, fewer than a waveform's %2.")
                .arg(samples.size())
                .arg(kMinLength),
            true);
        return;
    }
    WaveChange how{caption("mnuOscilReadInstrument")};
    how.writesLength = true;
    m_doc.change(how, [&samples](WaveStore& s) {
        std::copy(samples.begin(), samples.end(), s.ArbData.begin());
        s.ArbLength = static_cast<float>(samples.size());
    });
}

std::vector<double> FormMain::canvasSamples() const {
    const WaveStore& s = m_doc.store();
    return std::vector<double>(s.ArbData.begin(), s.ArbData.begin() + s.length());
}

void FormMain::showComparison(const std::vector<double>& captured) {
    if (!m_compare) {
        m_compare = new CompareView(*m_prompts, this);
        m_compare->adjustSize();
        placeBeside(m_compare);
    }
    std::vector<double> sent = m_bench->lastSent();
    const std::vector<double> canvas = canvasSamples();
    QString about;
    if (sent.empty()) {
        sent = canvas;
        about = QStringLiteral("Nothing was uploaded in this run: the capture is compared with "
                               "the current waveform.");
    } else if (m_bench->lastSentFrom() != canvas) {
        about = QStringLiteral("The waveform on the canvas has changed since the last upload: "
                               "the capture is compared with what was uploaded.");
    }
    m_compare->compare(sent, captured, about);
    // Once the exchange has ended and put the main window back on top.
    QTimer::singleShot(0, m_compare, [view = m_compare] {
        view->show();
        view->raise();
        view->activateWindow();
    });
}

void FormMain::mnu_ComNumberCOM_Click(int index) {
    markMenuArray(m_comGroup, index);
    if (chooseComPort(m_settings, index))
        upload().changePort(m_settings.ComPortNumber); // an open port follows at once
    showLineSettings();
}

void FormMain::showLineSettings() {
    // Baud, parity and flow control are a serial line's; a socket has none.
    const LineKind* kind = lineKindOf(m_options.ports.device(m_settings.ComPortNumber));
    const bool serial = !kind || kind->hasLineSettings;
    for (const char* group : {"mnuComBaud", "mnuComParity", "mnuComFlowcontrol"}) {
        QAction* a = action(group);
        a->setEnabled(serial);
        a->setToolTip(serial ? QString()
                             : QStringLiteral("%1 is not a serial port: no line settings")
                                   .arg(m_options.ports.device(m_settings.ComPortNumber)));
    }
}

void FormMain::mnuComDevices_Click() {
    PortChoices choices(detectedLines, m_options.ports);
    DevicesDialog dialog(choices, this);
    if (dialog.exec() == QDialog::Accepted)
        applyPortChoices(choices.changed());
}

void FormMain::applyPortChoices(const QMap<int, QString>& changed) {
    for (auto it = changed.begin(); it != changed.end(); ++it)
        m_options.ports.setDevice(it.key(), it.value());
    savePortChoices(*m_userSettings, changed);
    showDevices();
    showLineSettings();
}

void FormMain::showDevices() {
    for (int n = 1; n <= 4; ++n) {
        const QString device = m_options.ports.device(n);
        const QString problem = deviceProblem(device);
        const QString tip = QStringLiteral("COM%1 — %2").arg(n).arg(device) +
                            (problem.isEmpty() ? QString() : QStringLiteral(": ") + problem);
        QAction* a = action(QStringLiteral("mnu_ComNumberCOM_%1").arg(n - 1));
        a->setToolTip(tip);
        a->setStatusTip(tip);
    }
}

void FormMain::mnuComBaudNumber_Click(int index) {
    markMenuArray(m_baudGroup, index);
    chooseBaud(m_settings, index);
}

void FormMain::mnuComParityBits_Click(int index) {
    markMenuArray(m_parityGroup, index);
    chooseParity(m_settings, index);
}

void FormMain::mnuComFlowHardSoft_Click(int index) {
    markMenuArray(m_flowGroup, index);
    chooseFlowControl(m_settings, index);
}

} // namespace ww
