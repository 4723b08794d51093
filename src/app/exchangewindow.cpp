#include "exchangewindow.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QTimer>

namespace ww {

ExchangeWindow::ExchangeWindow(QWidget* mainWindow, const char* name, const QString& title,
                               QSizeF designTwips)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint),
      m_main(mainWindow), m_design(designTwips) {
    setObjectName(QString::fromLatin1(name));
    setWindowTitle(title);
    Label_Device = new QLabel(this);
    Label_Device->setObjectName(QStringLiteral("Label_Device"));
    // Below the window's own controls, at the left of its button.
    m_layout.add(Label_Device, 240, designTwips.height() - 795, designTwips.width() - 1800, 255);
}

void ExchangeWindow::showDevice(const QString& device) {
    Label_Device->setText(device);
}

void ExchangeWindow::FitFormToScreen(const ScreenScale& scale) {
    QFont f = font();
    f.setPointSizeF(kDesignFontPoints * scale.x);
    setFont(f);
    m_formTwips = QRectF(0, 0, m_design.width() * scale.x, m_design.height() * scale.y);
    m_layout.fit(scale);
    // The design size includes the border and the caption.
    const QRect px = TwipsLayout::toPixels(m_formTwips);
    setFixedSize(px.width() - 6, px.height() - 25);
}

void ExchangeWindow::beginExchange() {
    m_focusBefore = m_main->focusWidget(); // also known while the window is not active
    m_main->setEnabled(false);
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    show();
    raise();
    activateWindow();
}

void ExchangeWindow::endExchange() {
    hide();
    setWindowFlag(Qt::WindowStaysOnTopHint, false);
    m_main->setEnabled(true);
    m_main->show();
    m_main->raise();
    // The window system activates the main window later and would then give the focus to the
    // first field (showing it as edited): put it back where it was once that has happened.
    m_main->installEventFilter(this);
    m_main->activateWindow();
    if (m_focusBefore && m_focusBefore->isEnabled())
        m_focusBefore->setFocus(Qt::OtherFocusReason);
}

bool ExchangeWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_main && event->type() == QEvent::WindowActivate) {
        m_main->removeEventFilter(this);
        QTimer::singleShot(0, this, [this] {
            if (m_focusBefore && m_focusBefore->isEnabled() && m_main->isEnabled())
                m_focusBefore->setFocus(Qt::OtherFocusReason);
        });
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace ww
