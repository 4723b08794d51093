#pragma once

#include "synth/resample.h"

#include <QDialog>
#include <QStringList>
#include <vector>

class QComboBox;
class QLabel;
class QSpinBox;

namespace ww {

class PlotView;

// What File > Import… will bring in, shown before anything changes: the columns (or
// channels), a preview, the number of samples and their range; how values beyond -1..+1 come
// in and the length (kept when it is 4..16000, else resampled).
class ImportDialog : public QDialog {
    Q_OBJECT
  public:
    ImportDialog(const QString& file, const QStringList& names,
                 std::vector<std::vector<double>> columns, int chosen, int timeColumn,
                 QWidget* parent = nullptr);

    // The samples to take: the chosen column at the chosen length, fitted into -1..+1.
    std::vector<float> result() const;

    QComboBox* column = nullptr;
    QComboBox* fit = nullptr;
    QSpinBox* length = nullptr;
    QLabel* summary = nullptr;
    PlotView* preview = nullptr;

  private:
    void update();

    std::vector<std::vector<double>> m_columns;
};

} // namespace ww
