#include "importdialog.h"

#include "model/store.h"
#include "plotview.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <algorithm>

namespace ww {

ImportDialog::ImportDialog(const QString& file, const QStringList& names,
                           std::vector<std::vector<double>> columns, int chosen, int timeColumn,
                           QWidget* parent)
    : QDialog(parent), m_columns(std::move(columns)) {
    setWindowTitle(QStringLiteral("Import %1").arg(QFileInfo(file).fileName()));
    auto* form = new QFormLayout(this);
    column = new QComboBox(this);
    for (int k = 0; k < names.size(); ++k)
        column->addItem(k == timeColumn ? names[k] + QStringLiteral(" (time)") : names[k]);
    column->setCurrentIndex(chosen);
    form->addRow(QStringLiteral("Column:"), column);
    preview = new PlotView(this);
    form->addRow(preview);
    summary = new QLabel(this);
    form->addRow(summary);
    fit = new QComboBox(this);
    fit->addItems({QStringLiteral("As they are"), QStringLiteral("Scale the peak to 1"),
                   QStringLiteral("Map min..max to -1..+1"), QStringLiteral("Clip at -1 and +1")});
    form->addRow(QStringLiteral("Values beyond -1..+1:"), fit);
    length = new QSpinBox(this);
    length->setRange(kMinLength, kMaxLength);
    form->addRow(QStringLiteral("Length:"), length);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(column, &QComboBox::currentIndexChanged, this, &ImportDialog::update);
    update();
}

void ImportDialog::update() {
    const std::vector<double>& v = m_columns[static_cast<std::size_t>(column->currentIndex())];
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    const bool inside = *lo >= -1.0 && *hi <= 1.0;
    const int n = static_cast<int>(v.size());
    summary->setText(QStringLiteral("%1 samples from %2 to %3%4")
                         .arg(n)
                         .arg(*lo, 0, 'g', 6)
                         .arg(*hi, 0, 'g', 6)
                         .arg(n >= kMinLength && n <= kMaxLength
                                  ? QString()
                                  : QStringLiteral(": resampled to the length below")));
    // Values already inside come in as they are; others are scaled unless the user says else.
    fit->setCurrentIndex(inside ? 0 : 1);
    length->setValue(n >= kMinLength && n <= kMaxLength ? n : kMaxLength);
    preview->show(v);
}

std::vector<float> ImportDialog::result() const {
    const std::vector<double>& v = m_columns[static_cast<std::size_t>(column->currentIndex())];
    const int n = length->value();
    static const ImportFit fits[] = {ImportFit::AsIs, ImportFit::Peak, ImportFit::Range,
                                     ImportFit::Clip};
    return fitImported(static_cast<int>(v.size()) == n ? v : resampleLinear(v, n),
                       fits[fit->currentIndex()]);
}

} // namespace ww
