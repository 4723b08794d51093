#pragma once

#include <QObject>

class QAbstractButton;

namespace ww {

// Pressing a button takes the focus from an entry field, whose commit may show a message box;
// that box then takes the mouse release, and the press reaches the button only after the
// button is up again. Such a late press clicks the button at once, so its command runs after
// the commit instead of being lost with the button left half-pressed.
class LatePressClicks : public QObject {
  public:
    explicit LatePressClicks(QAbstractButton* button);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QAbstractButton* m_button;
};

} // namespace ww
