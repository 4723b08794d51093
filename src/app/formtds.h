#pragma once

#include "exchangewindow.h"
#include "instruments/tdsexchange.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace ww {

// "Read data from Oscilloscop": the window of the oscilloscope exchanges.
class FormTDS : public ExchangeWindow {
    Q_OBJECT
  public:
    FormTDS(TdsExchange& exchange, QWidget* mainWindow);

    QLabel* Label_TDS = nullptr;
    QLabel* Label_TDS_percent = nullptr;
    QProgressBar* ProgressBar_TDS = nullptr;
    QPushButton* Command_TDS = nullptr;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    TdsExchange& m_exchange;
};

} // namespace ww
