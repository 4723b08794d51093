#include "exchangewindow.h"

#include <QApplication>

namespace ww {

ExchangeWindow::ExchangeWindow(QWidget* mainWindow, const char* name, const QString& title,
                               QSizeF designTwips)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint),
      m_main(mainWindow), m_design(designTwips) {
    setObjectName(QString::fromLatin1(name));
    setWindowTitle(title);
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
    m_focusBefore = QApplication::focusWidget();
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
    m_main->activateWindow();
    if (m_focusBefore && m_focusBefore->isEnabled())
        m_focusBefore->setFocus(Qt::OtherFocusReason);
}

} // namespace ww
