#include "linelist.h"

#include <QComboBox>
#include <QLabel>

namespace ww {

void listLines(QComboBox* line, const PortMap& ports, const QString& was) {
    line->clear();
    for (int n = 1; n <= 4; ++n)
        line->addItem(ports.describe(n), QStringLiteral("COM%1").arg(n));
    int at = line->findData(was);
    if (at < 0)
        at = line->findText(was);
    if (at < 0 && was.startsWith(QLatin1String("COM")))
        at = line->findData(was.left(4));
    if (at >= 0)
        line->setCurrentIndex(at);
    else if (!was.isEmpty())
        line->setEditText(was);
}

QString chosenLine(const QComboBox* line) {
    const int index = line->findText(line->currentText());
    return (index >= 0 ? line->itemData(index).toString() : line->currentText()).trimmed();
}

void showOutcome(QLabel* status, bool ok, const QString& text) {
    status->setText(text);
    QPalette palette = status->palette();
    palette.setColor(QPalette::WindowText, ok ? QColor(0, 128, 0) : QColor(192, 0, 0));
    status->setPalette(palette);
}

} // namespace ww
