#pragma once

#include "lines/serialsettings.h"
#include "model/store.h"

#include <QSize>
#include <QStringList>
#include <functional>

namespace ww::cli {

// Exit statuses: everything done, something failed, the command line was wrong; an interrupt
// ends with 128 + the signal's number.
enum Exit { kOk = 0, kFailed = 1, kUsage = 2 };

// "send", "capture", "convert", "ports" and "expr": the words that start the command line
// instead of the window.
bool isCommand(const QString& word);
// The commands, for messages that name them.
QStringList commandNames();
// A first word that is neither a command, an option nor a file: most likely a command typed
// wrong. Says so on standard error, with the nearest command, and answers true.
bool refuseUnknownCommand(const QString& word);

// Runs one command; arguments as the program got them, the program's name first. Needs a
// QCoreApplication, and no display.
int run(const QStringList& arguments);

// Pictures (.png, .svg) need the drawing libraries, which the command line does not load:
// the window module adds their formats and runs such a command itself. Whether a command line
// asks for a picture:
bool wantsPicture(const QStringList& arguments);

// "COM1".."COM4" or a device path, as --port takes it, made into a COM number in `ports`.
// False when the text is neither.
bool resolvePort(const QString& text, PortMap& ports, int& comNumber);

// One line per serial port: path, stable by-id name, description, manufacturer, serial
// number and vendor:product, "-" where unknown; then the COM numbers and their devices.
QString portListing(const PortMap& ports);

} // namespace ww::cli
