#pragma once

#include "link/generatorupload.h"
#include "twipslayout.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace ww {

// "Send Data......": the upload window. Shows the upload's status, percentage and progress;
// "Cancle" ends it. Closing it through the window system is refused while it runs.
class FormTeskCom : public QWidget {
    Q_OBJECT
  public:
    FormTeskCom(GeneratorUpload& upload, QWidget* mainWindow);

    void FitFormToScreen(const ScreenScale& scale);

    QLabel* Label_TeskCom = nullptr;
    QLabel* Label_TeskComPercent = nullptr;
    QProgressBar* ProgressBar_TeskSendData = nullptr;
    QPushButton* Command_TeskComExit = nullptr;
    QRectF formTwips() const { return m_formTwips; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    GeneratorUpload& m_upload;
    QWidget* m_main;
    QPointer<QWidget> m_focusBefore; // where the focus goes back to afterwards
    TwipsLayout m_layout;
    QRectF m_formTwips;
};

} // namespace ww
