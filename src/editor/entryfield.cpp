#include "entryfield.h"

#include <QAction>
#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>

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

namespace {
// The field that last lost the focus in passing (to a menu, a box, another window).
QPointer<EntryField> g_passedFrom;
} // namespace

EntryField::EntryField(QWidget* parent) : QLineEdit(parent) {
    setContextMenuPolicy(Qt::DefaultContextMenu);
    connect(this, &QLineEdit::textChanged, this, [this] { markEditing(); });
    // The focus, once the window has it again, on another of its widgets: the user left the
    // field while the window was not active.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (!m_heldAcross || !now)
            return;
        if (now == this)
            releaseHeld(false);
        else if (now->window() == window() && !now->inherits("QMenuBar") && !now->inherits("QMenu"))
            releaseHeld(true);
    });
    markNormal();
}

EntryField::~EntryField() {
    if (m_heldAcross)
        qApp->removeEventFilter(this);
}

void EntryField::releaseHeld(bool commit) {
    if (!m_heldAcross)
        return;
    m_heldAcross = false;
    qApp->removeEventFilter(this);
    if (commit)
        LostFocus(); // exactly once, with its message where it has one
}

bool EntryField::eventFilter(QObject* watched, QEvent* event) {
    // A press on another control of the window, before the window is active again: the
    // commit comes first, so the control acts on what was typed.
    if (m_heldAcross && event->type() == QEvent::MouseButtonPress && watched->isWidgetType()) {
        auto* target = static_cast<QWidget*>(watched);
        if (target != this && target->window() == window() && !target->inherits("QMenuBar") &&
            !target->inherits("QMenu"))
            releaseHeld(true);
    }
    return QLineEdit::eventFilter(watched, event);
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

bool EntryField::isMenuShortcut(const QKeyEvent* event) const {
    if (!(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        return false;
    const QKeySequence typed(event->keyCombination());
    // Disabled items count too: Ctrl+Z with nothing to undo is still no character.
    for (const QAction* a : window()->findChildren<QAction*>())
        for (const QKeySequence& s : a->shortcuts())
            if (s == typed)
                return true;
    return false;
}

bool EntryField::event(QEvent* event) {
    // Left to the menu: the line edit would otherwise take Ctrl+Z and its like for itself.
    if (event->type() == QEvent::ShortcutOverride &&
        isMenuShortcut(static_cast<QKeyEvent*>(event))) {
        event->ignore();
        return true;
    }
    return QLineEdit::event(event);
}

void EntryField::keyPressEvent(QKeyEvent* event) {
    if (isMenuShortcut(event)) { // its item is disabled: nothing happens, and nothing is said
        event->ignore();
        return;
    }
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
    if (passingFocus(event->reason())) {
        // Back in the field it left in passing: the user has not left it. Taken from another
        // field while the window was not active (a press on this one): entered as a press
        // enters it, the whole text selected.
        if (g_passedFrom && g_passedFrom != this && g_passedFrom->window() == window() &&
            event->reason() == Qt::ActiveWindowFocusReason) {
            g_passedFrom = nullptr;
            selectAll();
            markEditing();
        }
        return;
    }
    g_passedFrom = nullptr;
    m_selectOnPress = event->reason() == Qt::MouseFocusReason;
    markEditing();
}

void EntryField::LostFocus() {
    int key = kKeyEnter;
    if (keyPress)
        keyPress(key);
}

void EntryField::dropPending(const QString& committed) {
    if (text() != committed)
        setText(committed);
    markNormal();
}

void EntryField::focusOutEvent(QFocusEvent* event) {
    // Every real loss of the focus commits. Not one that only passes through a menu, a box or
    // another window, nor one that an exchange causes by disabling the window: the user has
    // not left the field, and the edit stays pending until they do. The commit comes before
    // the line edit drops the selection, which the Y fields' commit looks at.
    if (!passingFocus(event->reason()) && isEnabled()) {
        LostFocus();
    } else if (isEnabled()) {
        g_passedFrom = this;
        // Held until the focus comes back here, or turns out to be elsewhere in the window.
        if (m_editingLook && !m_heldAcross) {
            m_heldAcross = true;
            qApp->installEventFilter(this);
        }
    }
    QLineEdit::focusOutEvent(event);
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
