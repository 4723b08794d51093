#pragma once

#include "twipslayout.h"

#include <QPointer>

class QLabel;
#include <QWidget>

namespace ww {

// What the two exchange windows share: while an exchange runs the window stays on top and the
// main window is disabled; afterwards it hides and the main window takes the focus back where
// it was. Both are laid out in twips like the main window.
class ExchangeWindow : public QWidget {
    Q_OBJECT
  public:
    ExchangeWindow(QWidget* mainWindow, const char* name, const QString& title, QSizeF designTwips);

    void FitFormToScreen(const ScreenScale& scale);
    // The device the exchange talks to, in a line of its own.
    void showDevice(const QString& device);
    QLabel* Label_Device = nullptr;
    QRectF formTwips() const { return m_formTwips; }

  protected:
    void beginExchange();
    void endExchange();
    bool eventFilter(QObject* watched, QEvent* event) override;
    TwipsLayout m_layout;

  private:
    QWidget* m_main;
    QPointer<QWidget> m_focusBefore;
    QSizeF m_design;
    QRectF m_formTwips;
};

} // namespace ww
