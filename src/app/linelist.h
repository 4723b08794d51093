#pragma once

#include "lines/serialsettings.h"

#include <QString>

class QComboBox;
class QLabel;

namespace ww {

// What the instrument dialogs share: the COM numbers as lines to choose, each shown with what
// it stands for; the line chosen before found again by its number (whatever it now points at)
// or shown as it was typed.
void listLines(QComboBox* line, const PortMap& ports, const QString& was);
// "COM2" for a listed COM number, else the text typed, trimmed.
QString chosenLine(const QComboBox* line);
// How an exchange ended, in the dialog's status line: green when it went well, red if not.
void showOutcome(QLabel* status, bool ok, const QString& text);

} // namespace ww
