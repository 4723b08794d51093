#pragma once

#include "analysis/spectrum.h"
#include "model/document.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class QPainter;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace ww {

class Prompts;

// The levels of harmonics 1..shown in dBc as bars, on the canvas's black with its grid; 0 dBc
// at the top, -120 dBc at the bottom; the axes titled, and `caption` (the settings and the
// figures, for a picture that leaves the window) above.
void drawSpectrumChart(QPainter& painter, QSize size, const SpectrumFigures& figures, int shown,
                       const QString& caption = QString());

// View > Spectrum…: what the waveform contains, following every change of it while shown. A
// stroke of freehand drawing is analysed once it ends, so drawing is not slowed.
class SpectrumView : public QWidget {
    Q_OBJECT
  public:
    SpectrumView(WaveDocument& document, Prompts& prompts, QWidget* mainWindow);

    const SpectrumFigures& figures() const { return m_figures; }
    void exportTable();
    void exportChart();

    QCheckBox* quantized = nullptr;
    QSpinBox* shown = nullptr;
    QLabel* summary = nullptr;
    QWidget* chart = nullptr;
    QTableWidget* table = nullptr;
    QPushButton* exportTableButton = nullptr;
    QPushButton* exportChartButton = nullptr;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void later();
    void analyse();

    WaveDocument& m_doc;
    Prompts& m_prompts;
    SpectrumFigures m_figures;
    bool m_pending = false;
};

} // namespace ww
