#pragma once

#include "analysis/compare.h"

#include <QWidget>
#include <vector>

class QDoubleSpinBox;
class QLabel;
class QPainter;
class QPushButton;

namespace ww {

class Prompts;

// The sent waveform over its samples with the captured points laid on it where the fit puts
// them (as the sent waveform's values: offset and gain taken out), the worst region shaded;
// beneath, each point's error in percent of full scale against the tolerance.
void drawComparison(QPainter& painter, QSize size, const std::vector<double>& sent,
                    const Comparison& comparison, double tolerancePct);

// Oscilloscope > Compare with Sent: the comparison of the last waveform uploaded with the
// curve the oscilloscope shows, its figures and its verdict. The tolerances can be changed;
// the picture exported.
class CompareView : public QWidget {
    Q_OBJECT
  public:
    CompareView(Prompts& prompts, QWidget* mainWindow);

    // Compares and shows; `about` says what "sent" is when that needs saying.
    void compare(const std::vector<double>& sent, const std::vector<double>& captured,
                 const QString& about);
    const Comparison& comparison() const { return m_comparison; }
    const std::vector<double>& sent() const { return m_sent; }
    void exportPicture();

    QDoubleSpinBox* largest = nullptr; // the tolerances, percent of full scale
    QDoubleSpinBox* rms = nullptr;
    QLabel* verdict = nullptr;
    QLabel* figures = nullptr;
    QLabel* notes = nullptr;
    QWidget* chart = nullptr;
    QPushButton* exportButton = nullptr;

  private:
    void recompute();

    Prompts& m_prompts;
    std::vector<double> m_sent, m_captured;
    QString m_about;
    Comparison m_comparison;
};

} // namespace ww
