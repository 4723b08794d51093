#pragma once

#include "link/serialsettings.h"

#include <QStringList>

namespace ww::cli {

// Exit statuses: everything done, something failed, the command line was wrong; an interrupt
// ends with 128 + the signal's number.
enum Exit { kOk = 0, kFailed = 1, kUsage = 2 };

// "send", "capture", "convert", "ports" and "expr": the words that start the command line
// instead of the window.
bool isCommand(const QString& word);

// Runs one command; arguments as the program got them, the program's name first. Needs a
// QCoreApplication, and no display.
int run(const QStringList& arguments);

// "COM1".."COM4" or a device path, as --port takes it, made into a COM number in `ports`.
// False when the text is neither.
bool resolvePort(const QString& text, PortMap& ports, int& comNumber);

// One line per serial port: path, stable by-id name, description, manufacturer, serial
// number and vendor:product, "-" where unknown; then the COM numbers and their devices.
QString portListing(const PortMap& ports);

} // namespace ww::cli
