#include "prompts.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace ww {

void QtPrompts::message(const QString& text, MsgIcon icon, const QString& title, QWidget* owner) {
    QMessageBox box(owner ? owner : m_parent);
    box.setWindowTitle(title.isEmpty() ? kAppTitle : title);
    box.setText(text);
    switch (icon) {
    case MsgIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MsgIcon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case MsgIcon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

std::optional<QString> QtPrompts::input(const QString& prompt, const QString& title,
                                        const QString& defaultAnswer) {
    bool ok = false;
    const QString answer = QInputDialog::getText(m_parent, title.isEmpty() ? kAppTitle : title,
                                                 prompt, QLineEdit::Normal, defaultAnswer, &ok);
    if (!ok)
        return std::nullopt;
    return answer;
}

QString QtPrompts::openFileName(const QString& filter) {
    return QFileDialog::getOpenFileName(m_parent, QString(), QString(), filter);
}

QString QtPrompts::saveFileName(const QString& filter, QString* chosenFilter) {
    // The waveform file keeps exactly the name chosen: no extension is added.
    QFileDialog dialog(m_parent, QString(), QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QString());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    if (chosenFilter)
        *chosenFilter = dialog.selectedNameFilter();
    return dialog.selectedFiles().constFirst();
}

} // namespace ww
