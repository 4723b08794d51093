#pragma once

#include <QIcon>
#include <QStringList>
#include <QToolBar>
#include <functional>

namespace ww {

// The eleven toolbar keys in their order on the bar, and the image each shows.
const QStringList& toolbarKeys();
const QStringList& toolbarImages();
// What each button does, in words, for its tool tip.
const QStringList& toolbarTips();
// The 18 x 18 image of the given name ("Open", "Save", ... "Help"), drawn here.
QIcon toolbarIcon(const QString& image);

// Toolbar1: picture buttons that report their key; a press on the bar itself (outside the
// buttons) reports barPressed, which gives the canvas the focus.
class Toolbar1 : public QToolBar {
    Q_OBJECT
  public:
    explicit Toolbar1(QWidget* parent = nullptr);
    QAction* button(const QString& key) const;

  signals:
    void buttonClick(const QString& key);
    void barPressed();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
};

} // namespace ww
