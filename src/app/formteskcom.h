#pragma once

#include "exchangewindow.h"
#include "instruments/generatorupload.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace ww {

// "Send Data......": the upload window. Shows the upload's status, percentage and progress;
// "Cancle" ends it. Closing it through the window system is refused while it runs.
class FormTeskCom : public ExchangeWindow {
    Q_OBJECT
  public:
    FormTeskCom(GeneratorUpload& upload, QWidget* mainWindow);

    QLabel* Label_TeskCom = nullptr;
    QLabel* Label_TeskComPercent = nullptr;
    QProgressBar* ProgressBar_TeskSendData = nullptr;
    QPushButton* Command_TeskComExit = nullptr;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    GeneratorUpload& m_upload;
};

} // namespace ww
