#pragma once

#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

namespace ww {

// Line parameters shared by the generator and the oscilloscope port, and the oscilloscope's
// own choices. They live in memory while the program runs; nothing goes to disk.
struct SerialSettings {
    int ComPortNumber = 1;
    QString ComBaud = QStringLiteral("9600");
    QString ComParity = QStringLiteral("n");
    QString ComDataBits = QStringLiteral("8");
    QString ComStopBits = QStringLiteral("1");
    int ComFlowControl = 2; // 0 none, 1 XOn/XOff, 2 RTS/CTS; follows the "Hard Flagging" mark
    QString TdsDataBits = QStringLiteral("8");
    int OscilEol = 10;
    QString OscilSource = QStringLiteral("CH1");

    // "9600,n,8,1": baud, parity, data bits, stop bits.
    QString generatorSettings() const;
    QString oscilloscopeSettings() const;
};

// Menu choices; an index outside the group changes nothing and answers false.
bool chooseComPort(SerialSettings& s, int index);
bool chooseBaud(SerialSettings& s, int index);
bool chooseParity(SerialSettings& s, int index);
bool chooseFlowControl(SerialSettings& s, int index);
bool chooseOscilEol(SerialSettings& s, int index);
bool chooseOscilSource(SerialSettings& s, int index);

// Captions of the menu groups and which items can be chosen.
const QStringList& baudCaptions();
bool baudAvailable(int index);

// The generator port's write time-out constant in ms: a full 552-byte output buffer at 10
// bits per byte, in whole seconds, plus one second.
int writeTimeoutMs(const QString& settings, int outputBufferSize = 552);

// COM1..COM4 and the devices they stand for: "COMn" on Windows, /dev/ttyS0..3 elsewhere,
// each replaceable from the command line (--port COM1=/dev/ttyUSB0).
class PortMap {
  public:
    PortMap();
    QString device(int comNumber) const;
    void setDevice(int comNumber, const QString& path);
    // "COM1=/dev/ttyUSB0" from the command line: for this run only, never remembered; false
    // when the text is not of that form.
    bool parseAssignment(const QString& text);
    bool givenForThisRun(int comNumber) const { return m_forThisRun.contains(comNumber); }
    // Appended to an open failure's message: where to choose another device.
    QString hint;
    // How messages name the port: "COM1 (/dev/ttyS0)", or the name given here.
    QString describe(int comNumber) const;
    void setName(int comNumber, const QString& name);

  private:
    QMap<int, QString> m_devices;
    QMap<int, QString> m_names;
    QSet<int> m_forThisRun;
};

} // namespace ww
