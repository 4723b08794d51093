#include "importdialog.h"

#include "model/store.h"
#include "plotview.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <algorithm>
#include <cmath>

namespace ww {

ImportDialog::ImportDialog(const QString& file, FileContent content, QWidget* parent)
    : QDialog(parent), m_content(std::move(content)) {
    setWindowTitle(QStringLiteral("Import %1").arg(QFileInfo(file).fileName()));
    auto* form = new QFormLayout(this);
    understood = new QLabel(m_content.notes.join(QLatin1Char('\n')), this);
    understood->setWordWrap(true);
    form->addRow(understood);
    column = new QComboBox(this);
    for (int k = 0; k < m_content.names.size(); ++k)
        column->addItem(k == m_content.timeColumn ? m_content.names[k] + QStringLiteral(" (time)")
                                                  : m_content.names[k]);
    column->setCurrentIndex(m_content.chosen);
    form->addRow(QStringLiteral("Column:"), column);
    run = new QComboBox(this);
    run->addItem(QStringLiteral("All, in file order"));
    for (std::size_t r = 0; r < m_content.runs.size() && m_content.runs.size() > 1; ++r)
        run->addItem(QStringLiteral("Run %1").arg(r + 1));
    run->setEnabled(m_content.runs.size() > 1);
    form->addRow(QStringLiteral("Run:"), run);
    preview = new PlotView(this);
    form->addRow(preview);
    summary = new QLabel(this);
    summary->setWordWrap(true);
    form->addRow(summary);
    fit = new QComboBox(this);
    fit->addItems({QStringLiteral("As they are where all lie inside, else scale the peak to 1"),
                   QStringLiteral("Scale the peak to 1"), QStringLiteral("Map min..max to -1..+1"),
                   QStringLiteral("Clip at -1 and +1")});
    form->addRow(QStringLiteral("Values beyond -1..+1:"), fit);
    skipNonFinite = new QCheckBox(QStringLiteral("Skip nan and inf"), this);
    form->addRow(skipNonFinite);
    length = new QSpinBox(this);
    length->setRange(kMinLength, kMaxLength);
    form->addRow(QStringLiteral("Length:"), length);
    resample = new QComboBox(this);
    resample->addItems({QStringLiteral("As one period (the sample after the last is the first)"),
                        QStringLiteral("Both ends kept")});
    resample->setCurrentIndex(m_content.periodic ? 0 : 1);
    form->addRow(QStringLiteral("Resampling:"), resample);
    buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(column, &QComboBox::currentIndexChanged, this, &ImportDialog::columnChosen);
    connect(run, &QComboBox::currentIndexChanged, this, &ImportDialog::columnChosen);
    for (QComboBox* box : {fit, resample})
        connect(box, &QComboBox::currentIndexChanged, this, &ImportDialog::update);
    connect(skipNonFinite, &QCheckBox::toggled, this, &ImportDialog::columnChosen);
    connect(length, &QSpinBox::valueChanged, this, &ImportDialog::update);
    columnChosen();
}

WaveformRequest ImportDialog::request() const {
    WaveformRequest r;
    r.columnIndex = column->currentIndex();
    r.run = run->currentIndex() - 1;
    static const ImportFit fits[] = {ImportFit::Auto, ImportFit::Peak, ImportFit::Range,
                                     ImportFit::Clip};
    r.fit = fits[fit->currentIndex()];
    r.length = length->value();
    r.resample = resample->currentIndex() == 0 ? WaveformRequest::Resample::Periodic
                                               : WaveformRequest::Resample::Ends;
    r.skipNonFinite = skipNonFinite->isChecked();
    return r;
}

void ImportDialog::columnChosen() {
    // A new column or run: its own count, so its own length.
    WaveformRequest r = request();
    r.length = 0;
    const Waveform w = shapeWaveform(m_content, r);
    const QSignalBlocker block(length);
    if (w.error.isEmpty())
        length->setValue(static_cast<int>(w.samples.size()));
    update();
}

void ImportDialog::update() {
    m_result = shapeWaveform(m_content, request());
    buttons->button(QDialogButtonBox::Ok)->setEnabled(m_result.error.isEmpty());
    // The preview shows the values as the file holds them, the summary what comes in.
    static const std::vector<double> none;
    const std::vector<double>& all =
        m_content.columns.empty()
            ? none
            : m_content.columns[static_cast<std::size_t>(std::max(0, column->currentIndex()))];
    std::vector<double> shown;
    shown.reserve(all.size());
    double lo = INFINITY, hi = -INFINITY;
    for (const double v : all)
        if (std::isfinite(v)) {
            shown.push_back(v);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    preview->show(shown);
    if (!m_result.error.isEmpty()) {
        summary->setText(m_result.error);
        return;
    }
    QStringList lines;
    lines << QStringLiteral("%1 values from %2 to %3")
                 .arg(shown.size())
                 .arg(lo, 0, 'g', 6)
                 .arg(hi, 0, 'g', 6);
    // What was done beyond what the file says: the column, skipped rows, fit, resampling.
    for (qsizetype k = m_content.notes.size(); k < m_result.notes.size(); ++k)
        lines << m_result.notes[k];
    summary->setText(lines.join(QLatin1Char('\n')));
}

std::vector<float> ImportDialog::result() const {
    return m_result.samples;
}

} // namespace ww
