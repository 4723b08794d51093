#pragma once

#include "link/tdsexchange.h"
#include "twipslayout.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace ww {

// "Read data from Oscilloscop": the window of the oscilloscope exchanges.
class FormTDS : public QWidget {
    Q_OBJECT
  public:
    FormTDS(TdsExchange& exchange, QWidget* mainWindow);

    void FitFormToScreen(const ScreenScale& scale);

    QLabel* Label_TDS = nullptr;
    QLabel* Label_TDS_percent = nullptr;
    QProgressBar* ProgressBar_TDS = nullptr;
    QPushButton* Command_TDS = nullptr;
    QRectF formTwips() const { return m_formTwips; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    TdsExchange& m_exchange;
    QWidget* m_main;
    QPointer<QWidget> m_focusBefore;
    TwipsLayout m_layout;
    QRectF m_formTwips;
};

} // namespace ww
