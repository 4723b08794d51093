#pragma once

#include <QWidget>
#include <vector>

namespace ww {

// A small plot of values with the -1, 0 and +1 lines; values beyond ±1 show as they are.
class PlotView : public QWidget {
  public:
    explicit PlotView(QWidget* parent = nullptr) : QWidget(parent) { setMinimumSize(400, 160); }
    void show(std::vector<double> values);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::vector<double> m_values;
    double m_peak = 1.0;
};

} // namespace ww
