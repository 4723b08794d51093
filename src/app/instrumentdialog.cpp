#include "instrumentdialog.h"

#include "files/resample.h"
#include "linelist.h"
#include "lines/lineregistry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>
#include <cmath>
#include <tuple>

namespace ww {

InstrumentDialog::InstrumentDialog(Bench& bench, const PortMap& ports, QSettings& remembered,
                                   QWidget* parent)
    : QDialog(parent), m_bench(bench), m_ports(ports), m_remembered(remembered) {
    setObjectName(QStringLiteral("InstrumentDialog"));
    setWindowTitle(QStringLiteral("Send to Instrument"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    line = new QComboBox(this);
    line->setEditable(true);
    line->setToolTip(QStringLiteral("A COM number, or an address: %1 (port 5025 when none is "
                                    "given), or a device path")
                         .arg(addressSchemes()));
    form->addRow(QStringLiteral("Line:"), line);
    profile = new QComboBox(this);
    profile->setEditable(true);
    profile->setToolTip(QStringLiteral("A profile by name, or the path of a profile file. Your "
                                       "own go in %1 (its README.txt says how).")
                            .arg(userProfileFolder()));
    form->addRow(QStringLiteral("Profile:"), profile);
    name = new QLineEdit(QStringLiteral("WAVE1"), this);
    form->addRow(QStringLiteral("Name on the instrument:"), name);
    fitPoints = new QCheckBox(QStringLiteral("Resample to a count the instrument takes"), this);
    form->addRow(QString(), fitPoints);
    // Left empty, a setting is not sent: the instrument keeps what it has.
    auto numberField = [this](const QString& tip) {
        auto* field = new QLineEdit(this);
        field->setPlaceholderText(QStringLiteral("as it is"));
        field->setToolTip(tip);
        return field;
    };
    frequency = numberField(QStringLiteral("The waveform's frequency in Hz, with a point: 1000 "
                                           "or 1e3"));
    form->addRow(QStringLiteral("Frequency (Hz):"), frequency);
    amplitude = numberField(QStringLiteral("Volts peak to peak"));
    form->addRow(QStringLiteral("Amplitude (Vpp):"), amplitude);
    offset = numberField(QStringLiteral("Volts"));
    form->addRow(QStringLiteral("Offset (V):"), offset);
    output = new QComboBox(this);
    output->addItems({QStringLiteral("as it is"), QStringLiteral("on"), QStringLiteral("off")});
    form->addRow(QStringLiteral("Output:"), output);
    layout->addLayout(form);
    progress = new QProgressBar(this);
    progress->setRange(0, 100);
    progress->setValue(0);
    layout->addWidget(progress);
    status = new QLabel(this);
    status->setWordWrap(true);
    status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(status);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    sendButton = new QPushButton(QStringLiteral("Send"), this);
    cancelButton = new QPushButton(QStringLiteral("Close"), this);
    sendButton->setDefault(true);
    buttons->addWidget(sendButton);
    buttons->addWidget(cancelButton);
    layout->addLayout(buttons);
    connect(sendButton, &QPushButton::clicked, this, &InstrumentDialog::send);
    connect(cancelButton, &QPushButton::clicked, this, &InstrumentDialog::reject);
}

void InstrumentDialog::refresh() {
    const QString lineWas = line->count() > 0
                                ? line->currentText()
                                : m_remembered.value(QStringLiteral("instrument/line")).toString();
    const QString profileWas =
        profile->count() > 0 ? profile->currentText()
                             : m_remembered.value(QStringLiteral("instrument/profile")).toString();
    listLines(line, m_ports, lineWas);
    profile->clear();
    profile->addItems(profileNames());
    if (const int p = profile->findText(profileWas); p >= 0)
        profile->setCurrentIndex(p);
    else if (!profileWas.isEmpty())
        profile->setEditText(profileWas);
}

void InstrumentDialog::showEvent(QShowEvent* event) {
    if (!busy())
        refresh();
    QDialog::showEvent(event);
}

void InstrumentDialog::send() {
    if (busy())
        return;
    progress->setValue(0);
    status->setText(QString());
    status->setPalette(QPalette());
    // The line: a COM number as the menu has it, or what was typed.
    const QString chosen = chosenLine(line);
    m_remembered.setValue(QStringLiteral("instrument/line"), chosen);
    m_remembered.setValue(QStringLiteral("instrument/profile"), profile->currentText().trimmed());
    if (!chooseLine(chosen, m_ports, m_chosen)) {
        m_lineName.clear();
        ended(false,
              QStringLiteral("Not sent: '%1' is no line: %2.").arg(chosen, addressProblem(chosen)));
        return;
    }
    m_lineName = m_chosen.name();
    const ProfileReading p = findProfile(profile->currentText().trimmed());
    if (!p.error.isEmpty()) {
        ended(false, p.error);
        return;
    }
    if (const QString why = waveformNameProblem(name->text()); !why.isEmpty()) {
        ended(false, QStringLiteral("Not sent: %1.").arg(why));
        return;
    }
    GeneratorSettings generator;
    for (const auto& [field, into, what] :
         {std::tuple{frequency, &generator.frequency, "frequency"},
          std::tuple{amplitude, &generator.amplitude, "amplitude"},
          std::tuple{offset, &generator.offset, "offset"}}) {
        const QString text = field->text().trimmed();
        if (text.isEmpty())
            continue;
        bool ok = false;
        const double v = text.toDouble(&ok); // with a point, whatever the locale
        if (!ok || !std::isfinite(v)) {
            ended(false, QStringLiteral("Not sent: the %1 '%2' is not a number (with a point).")
                             .arg(QLatin1String(what), text));
            return;
        }
        *into = v;
    }
    if (output->currentIndex() > 0)
        generator.output = output->currentIndex() == 1;
    if (const QString why = settingsProblem(p.profile, generator); !why.isEmpty()) {
        ended(false, QStringLiteral("Not sent: %1.").arg(why));
        return;
    }
    std::vector<float> wave = samples ? samples() : std::vector<float>();
    QString note;
    if (const QString why = pointsProblem(p.profile, static_cast<int>(wave.size()));
        !why.isEmpty()) {
        const int fits = nearestPoints(p.profile, static_cast<int>(wave.size()));
        if (!fitPoints->isChecked() || fits == 0) {
            ended(false, QStringLiteral("The instrument cannot take this waveform: %1%2.")
                             .arg(why, fits ? QStringLiteral(" (resampling to %1 points "
                                                             "would fit)")
                                                  .arg(fits)
                                            : QString()));
            return;
        }
        const std::vector<double> resampled =
            resamplePeriodic(std::vector<double>(wave.begin(), wave.end()), fits);
        note = QStringLiteral("Resampled from %1 to %2 points, as one period. ")
                   .arg(wave.size())
                   .arg(fits);
        wave.assign(resampled.begin(), resampled.end());
    }
    m_upload = &m_bench.makeScpiUpload(m_chosen);
    connect(m_upload, &ScpiUpload::progressChanged, this, [this](qint64 sent, qint64 total) {
        progress->setValue(total > 0 ? static_cast<int>(sent * 100 / total) : 0);
        status->setText(QStringLiteral("%1: the instrument has taken %2 of %3 bytes")
                            .arg(m_lineName)
                            .arg(sent)
                            .arg(total));
    });
    connect(m_upload, &Exchange::failed, this,
            [this](const QString& text, const QString&, BoxIcon) { ended(false, text); });
    connect(m_upload, &ScpiUpload::succeeded, this,
            [this, sent = std::vector<double>(wave.begin(), wave.end())] { emit uploaded(sent); });
    connect(m_upload, &ScpiUpload::succeeded, this, [this, note](const QString& answer) {
        const QString said = answer.isEmpty()
                                 ? ScpiUpload::unconfirmedText(m_upload->total())
                                 : QStringLiteral("the instrument answered %1").arg(answer);
        ended(true, note + said.left(1).toUpper() + said.mid(1) + QLatin1Char('.'));
    });
    sendButton->setEnabled(false);
    cancelButton->setText(QStringLiteral("Cancel"));
    status->setText(QStringLiteral("%1: connecting…").arg(m_lineName));
    m_upload->start(p.profile, wave, name->text(), generator);
}

void InstrumentDialog::ended(bool ok, const QString& text) {
    // A message of the line names it already.
    const QString device = m_chosen.ports.device(m_chosen.comNumber);
    showOutcome(status, ok,
                m_lineName.isEmpty() || (!device.isEmpty() && text.contains(device))
                    ? text
                    : QStringLiteral("%1: %2").arg(m_lineName, text));
    if (ok)
        progress->setValue(100);
    sendButton->setEnabled(true);
    cancelButton->setText(QStringLiteral("Close"));
}

void InstrumentDialog::reject() {
    // Cancel while it sends: the line is closed, the dialog stays to say so.
    if (busy()) {
        m_upload->cancel();
        ended(false, QStringLiteral("Cancelled."));
        return;
    }
    QDialog::reject();
}

} // namespace ww
