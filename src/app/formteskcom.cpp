#include "formteskcom.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <cmath>

namespace ww {

namespace {
constexpr int kProgressSteps = 1000; // the bar's maximum need not be a whole number
}

FormTeskCom::FormTeskCom(GeneratorUpload& upload, QWidget* mainWindow)
    : ExchangeWindow(mainWindow, "FormTeskCom", QStringLiteral("Send Data......"),
                     QSizeF(5385, 1935)),
      m_upload(upload) {
    Label_TeskCom = new QLabel(QStringLiteral("Data has send:"), this);
    Label_TeskCom->setObjectName(QStringLiteral("Label_TeskCom"));
    Label_TeskComPercent = new QLabel(QStringLiteral("0.00%"), this);
    Label_TeskComPercent->setObjectName(QStringLiteral("Label_TeskComPercent"));
    ProgressBar_TeskSendData = new QProgressBar(this);
    ProgressBar_TeskSendData->setObjectName(QStringLiteral("ProgressBar_TeskSendData"));
    ProgressBar_TeskSendData->setTextVisible(false);
    Command_TeskComExit = new QPushButton(QStringLiteral("Cancle"), this);
    Command_TeskComExit->setObjectName(QStringLiteral("Command_TeskComExit"));
    m_layout.add(Label_TeskCom, 240, 240, 1800, 255);
    m_layout.add(Label_TeskComPercent, 2160, 240, 1200, 255);
    m_layout.add(ProgressBar_TeskSendData, 240, 720, 4800, 300);
    m_layout.add(Command_TeskComExit, 3960, 1140, 1080, 375);

    connect(Command_TeskComExit, &QPushButton::clicked, &m_upload, &GeneratorUpload::CloseTeskCom);
    connect(&m_upload, &GeneratorUpload::statusChanged, Label_TeskCom, &QLabel::setText);
    connect(&m_upload, &GeneratorUpload::percentChanged, Label_TeskComPercent, &QLabel::setText);
    connect(&m_upload, &GeneratorUpload::progressChanged, this, [this](double max, int value) {
        ProgressBar_TeskSendData->setRange(0, static_cast<int>(std::lround(max * kProgressSteps)));
        ProgressBar_TeskSendData->setValue(value * kProgressSteps);
    });
    connect(&m_upload, &GeneratorUpload::started, this, &FormTeskCom::beginExchange);
    connect(&m_upload, &GeneratorUpload::finished, this, &FormTeskCom::endExchange);
}

void FormTeskCom::closeEvent(QCloseEvent* event) {
    // Refused: the window is only hidden by the upload itself.
    event->ignore();
    m_upload.closeRequested();
}

} // namespace ww
