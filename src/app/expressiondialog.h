#pragma once

#include "model/store.h"
#include "synth/expression.h"

#include <QDialog>

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QRadioButton;
class QSettings;

namespace ww {

// Math Waveform > Expression…: one line for an expression, a live preview of the waveform it
// makes at the current length, what is wrong with it while it is wrong, and how values beyond
// -1..+1 come in. The last expressions are offered again (kept in `settings`).
class ExpressionDialog : public QDialog {
    Q_OBJECT
  public:
    ExpressionDialog(const WaveStore& current, QSettings& settings, QWidget* parent = nullptr);

    // The samples to take, fitted to -1..+1 (empty while the expression is wrong).
    std::vector<float> result() const;
    // The largest magnitude the expression reaches (before fitting).
    double peakValue() const { return m_values.peak; }
    void accept() override;

    QComboBox* line = nullptr;
    QLabel* message = nullptr;
    QRadioButton* clip = nullptr;
    QRadioButton* peak = nullptr;
    QDialogButtonBox* buttons = nullptr;
    class PlotView* preview = nullptr;

  private:
    void update();

    const WaveStore& m_current;
    QSettings& m_settings;
    Expression m_expression;
    Expression::Values m_values;
    bool m_ok = false;
};

} // namespace ww
