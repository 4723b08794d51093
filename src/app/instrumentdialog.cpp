#include "instrumentdialog.h"

#include "files/resample.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace ww {

InstrumentDialog::InstrumentDialog(const PortMap& ports, SerialSettings settings, Clock& clock,
                                   QWidget* parent)
    : QDialog(parent), m_ports(ports), m_settings(std::move(settings)), m_clock(clock) {
    setObjectName(QStringLiteral("InstrumentDialog"));
    setWindowTitle(QStringLiteral("Send to Instrument"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    line = new QComboBox(this);
    line->setEditable(true);
    for (int n = 1; n <= 4; ++n)
        line->addItem(m_ports.describe(n), QStringLiteral("COM%1").arg(n));
    line->setToolTip(QStringLiteral("A COM number, or an address: tcp://HOST[:PORT] (port 5025 "
                                    "when none is given) or a device path"));
    form->addRow(QStringLiteral("Line:"), line);
    profile = new QComboBox(this);
    profile->setEditable(true);
    profile->addItems(profileNames());
    profile->setToolTip(QStringLiteral("A profile by name, or the path of a profile file. Your "
                                       "own go in %1 (its README.txt says how).")
                            .arg(userProfileFolder()));
    form->addRow(QStringLiteral("Profile:"), profile);
    name = new QLineEdit(QStringLiteral("WAVE1"), this);
    form->addRow(QStringLiteral("Name on the instrument:"), name);
    fitPoints = new QCheckBox(QStringLiteral("Resample to a count the instrument takes"), this);
    form->addRow(QString(), fitPoints);
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

void InstrumentDialog::send() {
    if (busy())
        return;
    // The line: a COM number as the menu has it, or what was typed.
    const int index = line->findText(line->currentText());
    const QString chosen = index >= 0 ? line->itemData(index).toString() : line->currentText();
    m_chosen = m_ports;
    int comNumber = 1;
    if (chosen.startsWith(QLatin1String("COM")) && chosen.size() == 4) {
        comNumber = chosen.mid(3).toInt();
    } else {
        m_chosen.setDevice(1, chosen.trimmed());
        m_chosen.setName(1, chosen.trimmed());
    }
    m_lineName = m_chosen.describe(comNumber);
    const ProfileReading p = findProfile(profile->currentText().trimmed());
    if (!p.error.isEmpty()) {
        ended(false, p.error);
        return;
    }
    static const QRegularExpression plainName(QStringLiteral("^[A-Za-z][A-Za-z0-9_]{0,11}$"));
    if (!plainName.match(name->text()).hasMatch()) {
        ended(false, QStringLiteral("The name wants a letter, then up to 11 letters, digits "
                                    "or _."));
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
    m_settings.ComPortNumber = comNumber;
    m_link = std::make_unique<SerialLink>(m_chosen);
    m_upload = std::make_unique<ScpiUpload>(*m_link, m_settings, m_clock);
    connect(m_upload.get(), &ScpiUpload::progressChanged, this, [this](qint64 sent, qint64 total) {
        progress->setValue(total > 0 ? static_cast<int>(sent * 100 / total) : 0);
        status->setText(
            QStringLiteral("%1: %2 of %3 bytes sent").arg(m_lineName).arg(sent).arg(total));
    });
    connect(m_upload.get(), &Exchange::failed, this,
            [this](const QString& text, const QString&, BoxIcon) { ended(false, text); });
    connect(m_upload.get(), &ScpiUpload::succeeded, this, [this, note](const QString& answer) {
        ended(true, note + (answer.isEmpty()
                                ? QStringLiteral("All sent.")
                                : QStringLiteral("The instrument answered %1.").arg(answer)));
    });
    sendButton->setEnabled(false);
    cancelButton->setText(QStringLiteral("Cancel"));
    status->setText(QStringLiteral("%1: connecting…").arg(m_lineName));
    m_upload->start(p.profile, wave, name->text());
}

void InstrumentDialog::ended(bool ok, const QString& text) {
    status->setText(QStringLiteral("%1: %2").arg(
        m_lineName.isEmpty() ? QStringLiteral("Not sent") : m_lineName, text));
    QPalette palette = status->palette();
    palette.setColor(QPalette::WindowText, ok ? QColor(0, 128, 0) : QColor(192, 0, 0));
    status->setPalette(palette);
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
