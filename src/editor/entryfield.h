#pragma once

#include "entryrules.h"

#include <QLineEdit>
#include <functional>

namespace ww {

// A single-line number field: hands every typed character to its key handler (which may
// cancel it), commits on Enter and on losing the focus, and shows the editing look (white on
// blue) from the first change until the next commit. A key that is one of the window's menu
// shortcuts is left to the menu, from inside the field as from anywhere in the window.
class EntryField : public QLineEdit, public TextBox {
    Q_OBJECT
  public:
    explicit EntryField(QWidget* parent = nullptr);
    ~EntryField() override;

    std::function<void(int& key)> keyPress;

    bool isEditingLook() const { return m_editingLook; }
    // The commit that losing the focus runs.
    void LostFocus();
    // Drops an edit not yet committed: the field shows `committed` again in the normal look.
    void dropPending(const QString& committed);

    // TextBox
    QString text() const override { return QLineEdit::text(); }
    void setText(const QString& text) override;
    int selStart() const override;
    int selLength() const override;
    void setCaret(int position) override;
    void markEditing() override;
    void markNormal() override;

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    bool isMenuShortcut(const QKeyEvent* event) const;
    // Ends the wait of a field left in passing with its edit open; commits it when asked.
    void releaseHeld(bool commit);

    bool m_editingLook = false;
    bool m_selectOnPress = false;
    bool m_heldAcross = false; // left in passing with its edit open
};

// The character code a key press delivers, 0 when it delivers none (arrows, Delete, Tab...).
int characterCode(const QKeyEvent* event);

} // namespace ww
