#include "scopedialog.h"

#include "linelist.h"
#include "lines/lineregistry.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

namespace ww {

ScopeDialog::ScopeDialog(Bench& bench, const PortMap& ports, QSettings& remembered, QWidget* parent)
    : QDialog(parent), m_bench(bench), m_ports(ports), m_remembered(remembered) {
    setObjectName(QStringLiteral("ScopeDialog"));
    setWindowTitle(QStringLiteral("Read from Instrument"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    line = new QComboBox(this);
    line->setEditable(true);
    line->setMinimumContentsLength(32); // "COM3 (tcp://192.168.100.200:5025)"
    line->setToolTip(QStringLiteral("A COM number, or an address: %1 (port 5025 when none is "
                                    "given), or a device path")
                         .arg(addressSchemes()));
    form->addRow(QStringLiteral("Line:"), line);
    profile = new QComboBox(this);
    profile->setEditable(true);
    profile->setToolTip(QStringLiteral("An oscilloscope profile by name, or the path of a profile "
                                       "file (NAME.scope in your profile folder)"));
    form->addRow(QStringLiteral("Profile:"), profile);
    source = new QLineEdit(this);
    source->setToolTip(QStringLiteral("The channel as the oscilloscope names it: CHAN1, CH1, C1"));
    form->addRow(QStringLiteral("Channel:"), source);
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
    readButton = new QPushButton(QStringLiteral("Read"), this);
    compareButton = new QPushButton(QStringLiteral("Compare with Sent"), this);
    cancelButton = new QPushButton(QStringLiteral("Close"), this);
    readButton->setDefault(true);
    for (QPushButton* b : {readButton, compareButton, cancelButton})
        buttons->addWidget(b);
    layout->addLayout(buttons);
    connect(readButton, &QPushButton::clicked, this, [this] { read(false); });
    connect(compareButton, &QPushButton::clicked, this, [this] { read(true); });
    connect(cancelButton, &QPushButton::clicked, this, &ScopeDialog::reject);
}

void ScopeDialog::refresh() {
    auto remembered = [this](const char* key, const QString& byDefault = {}) {
        return m_remembered.value(QStringLiteral("scope/") + QLatin1String(key), byDefault)
            .toString();
    };
    const QString lineWas = line->count() > 0 ? line->currentText() : remembered("line");
    const QString profileWas =
        profile->count() > 0 ? profile->currentText() : remembered("profile");
    listLines(line, m_ports, lineWas);
    profile->clear();
    profile->addItems(scopeProfileNames());
    if (const int p = profile->findText(profileWas); p >= 0)
        profile->setCurrentIndex(p);
    else if (!profileWas.isEmpty())
        profile->setEditText(profileWas);
    if (source->text().isEmpty())
        source->setText(remembered("source", QStringLiteral("CHAN1")));
}

void ScopeDialog::showEvent(QShowEvent* event) {
    if (!busy())
        refresh();
    QDialog::showEvent(event);
}

void ScopeDialog::read(bool compare) {
    if (busy())
        return;
    progress->setValue(0);
    status->setPalette(QPalette());
    const QString chosen = chosenLine(line);
    m_remembered.setValue(QStringLiteral("scope/line"), chosen);
    m_remembered.setValue(QStringLiteral("scope/profile"), profile->currentText().trimmed());
    m_remembered.setValue(QStringLiteral("scope/source"), source->text().trimmed());
    LineChoice choice;
    if (!chooseLine(chosen, m_ports, choice)) {
        ended(false, QStringLiteral("'%1' is no line: %2.").arg(chosen, addressProblem(chosen)));
        return;
    }
    const ScopeProfileReading p = findScopeProfile(profile->currentText().trimmed());
    if (!p.error.isEmpty()) {
        ended(false, p.error);
        return;
    }
    // Into the waveform only what can be shown as the screen's -1..+1.
    if (const QString why = screenProblem(p.profile); !compare && !why.isEmpty()) {
        ended(false, QStringLiteral("Not read: %1.").arg(why));
        return;
    }
    if (const QString why = sourceProblem(source->text().trimmed()); !why.isEmpty()) {
        ended(false, QStringLiteral("Not read: %1.").arg(why));
        return;
    }
    m_capture = &m_bench.makeScopeCapture(choice);
    const QString name = choice.name();
    connect(m_capture, &ScopeCapture::progressChanged, this, [this, name](qint64 got, qint64 all) {
        progress->setValue(all > 0 ? static_cast<int>(got * 100 / all) : 0);
        status->setText(all > 0 ? QStringLiteral("%1: %2 of %3 bytes").arg(name).arg(got).arg(all)
                                : QStringLiteral("%1: %2 bytes").arg(name).arg(got));
    });
    connect(m_capture, &Exchange::failed, this,
            [this](const QString& text, const QString&, BoxIcon) { ended(false, text); });
    connect(m_capture, &ScopeCapture::captured, this, [this, compare, name](const ScopeTrace& t) {
        ended(true,
              QStringLiteral("%1: %2 points of %3.").arg(name).arg(t.volts.size()).arg(t.source));
        emit captured(t, compare);
    });
    readButton->setEnabled(false);
    compareButton->setEnabled(false);
    cancelButton->setText(QStringLiteral("Cancel"));
    status->setText(QStringLiteral("%1: asking…").arg(name));
    m_capture->start(p.profile, source->text().trimmed());
}

void ScopeDialog::ended(bool ok, const QString& text) {
    showOutcome(status, ok, text);
    if (ok)
        progress->setValue(100);
    readButton->setEnabled(true);
    compareButton->setEnabled(true);
    cancelButton->setText(QStringLiteral("Close"));
}

void ScopeDialog::reject() {
    if (busy()) {
        m_capture->cancel();
        ended(false, QStringLiteral("Cancelled."));
        return;
    }
    QDialog::reject();
}

} // namespace ww
