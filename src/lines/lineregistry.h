#pragma once

#include "devices.h"
#include "transport.h"

#include <QList>
#include <QSerialPort>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace ww {

// What a made line may be handed instead of the system's own (tests, and a port whose output
// queue the device cannot show).
struct LineHooks {
    int connectTimeoutMs = 5000;
    // Opens a USB instrument's device: the descriptor, or -1 with why said.
    std::function<int(const QByteArray& path, QString& why)> openUsbDevice;
    // The driver's output queue of a serial port.
    std::function<qint64(QSerialPort&)> driverOutputQueue;
};

// Where a line is to go: its address, how messages name it ("COM2 (tcp://...)"), and what to
// add to a failure to open it (where to choose another device).
struct LineTarget {
    QString address;
    QString described;
    QString hint;
    // Failures give the reason alone: the owner says where (a probe's list of addresses).
    bool reasonsAlone = false;
};

// One kind of line an address can name. Each kind is registered once, here; the line of a COM
// number, the command line, the Devices dialog and Send to Instrument ask the registry.
struct LineKind {
    QString name;    // "tcp"
    QString form;    // "tcp://HOST[:PORT]", as help and messages show it
    QString summary; // what such an address reaches
    // Whether the address is of this kind, well formed or not (its scheme).
    std::function<bool(const QString& address)> claims;
    // What is wrong with an address of this kind, or an empty string.
    std::function<QString(const QString& address)> check;
    // One line for the user: what the address reaches, or why it cannot be used now.
    std::function<QString(const QString& address)> describe;
    // The line, not yet open; its open() takes the line settings where the kind has them (the
    // COM number is its owner's).
    std::function<std::unique_ptr<Transport>(const LineTarget&, const LineHooks&)> make;
    // The addresses of this kind this system offers now (network discovery belongs here).
    std::function<QStringList()> find;
    bool hasLineSettings = false; // baud, parity, flow control apply
    bool answersIdn = false;      // a probe may ask "*IDN?"
};

// Every kind, the device path last: it takes whatever names no scheme.
const QList<LineKind>& lineKinds();
// The kind of an address, or null for a scheme no kind knows.
const LineKind* lineKindOf(const QString& address);
// Empty when a line can be made for the address, else why not.
QString addressProblem(const QString& address);
// The USB instruments' message devices in `folder` (/dev), as usbtmc:// addresses.
QStringList usbtmcDevicesIn(const QString& folder);
// What the system offers to choose from: its serial ports, then what every other kind finds,
// each described by its kind.
QList<DetectedPort> detectedLines();

// "tcp://HOST[:PORT] or usbtmc:///dev/usbtmcN": the schemes, for help and messages.
QString addressSchemes();
// "COM1..COM4, a device path, tcp://HOST[:PORT] or usbtmc:///dev/usbtmcN".
QString addressForms();

} // namespace ww
