#pragma once

#include "files/formats.h"

#include <QDialog>
#include <vector>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QSpinBox;

namespace ww {

class PlotView;

// What File > Import… will bring in, shown before anything changes: what was understood of
// the file, its columns (or channels) and runs, a preview, the number of samples and their
// range; how values beyond -1..+1 come in, nan and inf, the length and the resampling.
class ImportDialog : public QDialog {
    Q_OBJECT
  public:
    ImportDialog(const QString& file, FileContent content, QWidget* parent = nullptr);

    // The samples to take, or empty when the choices give none (the dialog says why).
    std::vector<float> result() const;

    QComboBox* column = nullptr;
    QComboBox* run = nullptr;
    QComboBox* fit = nullptr;
    QComboBox* resample = nullptr;
    QCheckBox* skipNonFinite = nullptr;
    QSpinBox* length = nullptr;
    QLabel* understood = nullptr;
    QLabel* summary = nullptr;
    PlotView* preview = nullptr;
    QDialogButtonBox* buttons = nullptr;

  private:
    WaveformRequest request() const;
    void columnChosen();
    void update();

    FileContent m_content;
    Waveform m_result;
};

} // namespace ww
