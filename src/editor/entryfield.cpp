#include "entryfield.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>

namespace ww {

int characterCode(const QKeyEvent* e) {
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return kKeyEnter;
    case Qt::Key_Backspace:
        return kKeyBackspace;
    default:
        break;
    }
    if (e->modifiers() & Qt::ControlModifier) {
        // Ctrl+letter delivers a control character (Ctrl+V is 22).
        if (e->key() >= Qt::Key_A && e->key() <= Qt::Key_Z)
            return e->key() - Qt::Key_A + 1;
        return 0;
    }
    const QString t = e->text();
    if (t.size() != 1)
        return 0;
    const ushort c = t.at(0).unicode();
    if (c == 127) // Delete edits the text; it is no character
        return 0;
    return c;
}

EntryField::EntryField(QWidget* parent) : QLineEdit(parent) {
    setContextMenuPolicy(Qt::DefaultContextMenu);
    connect(this, &QLineEdit::textChanged, this, [this] { markEditing(); });
    markNormal();
}

void EntryField::setText(const QString& text) {
    QLineEdit::setText(text); // a change counts like a typed one: textChanged marks it
}

int EntryField::selStart() const {
    return hasSelectedText() ? selectionStart() : cursorPosition();
}

int EntryField::selLength() const {
    return hasSelectedText() ? static_cast<int>(selectedText().size()) : 0;
}

void EntryField::setCaret(int position) {
    deselect();
    setCursorPosition(position);
}

void EntryField::markEditing() {
    m_editingLook = true;
    QPalette p = palette();
    p.setColor(QPalette::Base, QColor(0, 0, 255));
    p.setColor(QPalette::Text, QColor(255, 255, 255));
    setPalette(p);
}

void EntryField::markNormal() {
    m_editingLook = false;
    QPalette p = palette();
    p.setColor(QPalette::Base, QColor(255, 255, 255));
    p.setColor(QPalette::Text, QColor(0, 0, 0));
    setPalette(p);
}

void EntryField::keyPressEvent(QKeyEvent* event) {
    int key = characterCode(event);
    if (key == 0 || !keyPress) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    keyPress(key);
    if (key == 0) {
        event->accept();
        return;
    }
    if (key == kKeyEnter) {
        // Nothing to insert; let the window see it as usual.
        event->ignore();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

namespace {
// Focus that goes to a menu, a message box or another window and comes back: the user has not
// left the field, nor entered it anew.
bool passingFocus(Qt::FocusReason reason) {
    return reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason ||
           reason == Qt::MenuBarFocusReason;
}
} // namespace

void EntryField::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    if (passingFocus(event->reason()))
        return;
    m_selectOnPress = event->reason() == Qt::MouseFocusReason;
    m_focused = true;
    markEditing();
}

void EntryField::LostFocus() {
    int key = kKeyEnter;
    if (keyPress)
        keyPress(key);
    m_focused = false;
}

void EntryField::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    if (passingFocus(event->reason()))
        return;
    if (m_focused)
        LostFocus();
}

void EntryField::mousePressEvent(QMouseEvent* event) {
    QLineEdit::mousePressEvent(event);
    // The press that brings the focus in selects the whole text; later ones place the caret.
    if (m_selectOnPress) {
        m_selectOnPress = false;
        selectAll();
    }
}

} // namespace ww
