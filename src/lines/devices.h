#pragma once

#include "serialsettings.h"

#include <QList>
#include <QMap>
#include <functional>

class QSettings;

namespace ww {

// A serial port the system offers.
struct DetectedPort {
    QString path; // /dev/ttyUSB0
    QString byId; // /dev/serial/by-id/usb-FTDI_..., empty when udev gives none
    QString description, manufacturer, serialNumber, vidPid;
    // The name a choice stores: the stable by-id name where there is one.
    QString name() const { return byId.isEmpty() ? path : byId; }
};
using PortSource = std::function<QList<DetectedPort>()>;

// The ports of this system (QSerialPortInfo and /dev/serial/by-id).
QList<DetectedPort> systemPorts();
// Why a device cannot be used now ("not connected", "no permission", "in use by another
// program"), or an empty string.
QString deviceProblem(const QString& path);
// The lock files a serial port opened through `path` is guarded by, as QSerialPort names them:
// LCK.. and the path less a leading /dev/, each / made _ (LCK..pts_1, LCK..serial_by-id_...),
// in each lock folder there is. The device's own name counts too, whichever way it is reached.
QStringList lockFilesOf(const QString& path);
// What is wrong with a lock file of the port that would make opening it hang or fail for
// another reason than the one it gives: a pipe, a folder, a link to nothing, an empty file or
// one that names no process; or the process that holds the port. Looked at without opening
// anything that could block. An empty string when there is no lock, or a stale one the opening
// will clear itself.
QString lockProblem(const QString& path);
// What the system can tell about a device a serial port refused: "not a serial port (...)",
// "in use by NAME (process PID)", or an empty string when it sees nothing wrong.
QString notSerialPort(const QString& path);
QString heldBy(const QString& path);

// The devices COM1..COM4 stand for, as the Devices dialog edits them: the detected ports, a
// choice per COM number (a detected port is stored by its by-id name, a typed path as typed),
// and what each device is.
class PortChoices {
  public:
    PortChoices(PortSource source, const PortMap& current);
    void refresh();
    const QList<DetectedPort>& detected() const { return m_detected; }

    QString device(int comNumber) const { return m_devices.value(comNumber); }
    void choose(int comNumber, const QString& nameOrPath);
    // The COM numbers whose device the user changed, and to what.
    QMap<int, QString> changed() const;
    // One line for a device: its details when detected, else why it cannot be used.
    QString describe(const QString& device) const;

  private:
    PortSource m_source;
    QList<DetectedPort> m_detected;
    QMap<int, QString> m_devices, m_start;
};

// The mapping remembered between runs: only the COM numbers the user chose a device for.
// COM numbers given on the command line keep their device for this run.
void loadPortChoices(QSettings& settings, PortMap& ports);
void savePortChoices(QSettings& settings, const QMap<int, QString>& changed);

} // namespace ww
