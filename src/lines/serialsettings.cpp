#include "serialsettings.h"

#include <QRegularExpression>

namespace ww {

QString SerialSettings::generatorSettings() const {
    return ComBaud + QLatin1Char(',') + ComParity + QLatin1Char(',') + ComDataBits +
           QLatin1Char(',') + ComStopBits;
}

QString SerialSettings::oscilloscopeSettings() const {
    return ComBaud + QLatin1Char(',') + ComParity + QLatin1Char(',') + TdsDataBits +
           QLatin1Char(',') + ComStopBits;
}

bool chooseComPort(SerialSettings& s, int index) {
    if (index < 0 || index > 3)
        return false;
    s.ComPortNumber = index + 1;
    return true;
}

const QStringList& baudCaptions() {
    static const QStringList captions = {"300",  "600",   "1200",  "2400", "4800",
                                         "9600", "19200", "38400", "57600"};
    return captions;
}

bool baudAvailable(int index) {
    return index >= 1 && index <= 5;
}

bool chooseBaud(SerialSettings& s, int index) {
    if (index < 0 || index >= baudCaptions().size())
        return false;
    s.ComBaud = baudCaptions().at(index);
    return true;
}

bool chooseParity(SerialSettings& s, int index) {
    static const char* const parity[] = {"N", "O", "E"};
    if (index < 0 || index > 2)
        return false;
    s.ComParity = QString::fromLatin1(parity[index]);
    s.ComDataBits = index == 0 ? QStringLiteral("8") : QStringLiteral("7");
    return true;
}

bool chooseFlowControl(SerialSettings& s, int index) {
    static const int flow[] = {2, 1, 0};
    if (index < 0 || index > 2)
        return false;
    s.ComFlowControl = flow[index];
    return true;
}

bool chooseOscilEol(SerialSettings& s, int index) {
    static const int eol[] = {10, 13, 10, 13}; // two-character choices use their first one
    if (index < 0 || index > 3)
        return false;
    s.OscilEol = eol[index];
    return true;
}

bool chooseOscilSource(SerialSettings& s, int index) {
    static const char* const source[] = {"CH1", "CH2", "CH3", "CH4", "REFA", "REFB"};
    if (index < 0 || index > 5)
        return false;
    s.OscilSource = QString::fromLatin1(source[index]);
    return true;
}

int writeTimeoutMs(const QString& settings, int outputBufferSize) {
    const int baud = settings.section(QLatin1Char(','), 0, 0).toInt();
    const auto bits = static_cast<qint16>(outputBufferSize * 10);
    if (baud <= 0)
        return 1000;
    return (bits / baud) * 1000 + 1000;
}

PortMap::PortMap() {
    for (int n = 1; n <= 4; ++n) {
#ifdef Q_OS_WIN
        m_devices[n] = QStringLiteral("COM%1").arg(n);
#else
        m_devices[n] = QStringLiteral("/dev/ttyS%1").arg(n - 1);
#endif
    }
}

QString PortMap::device(int comNumber) const {
    return m_devices.value(comNumber);
}

void PortMap::setDevice(int comNumber, const QString& path) {
    m_devices[comNumber] = path;
}

bool PortMap::parseAssignment(const QString& text) {
    static const QRegularExpression re(QStringLiteral("^COM([1-4])=(.+)$"),
                                       QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = re.match(text.trimmed());
    if (!m.hasMatch())
        return false;
    setDevice(m.captured(1).toInt(), m.captured(2));
    m_forThisRun.insert(m.captured(1).toInt());
    return true;
}

QString PortMap::describe(int comNumber) const {
    const QString name = m_names.value(comNumber);
    if (!name.isEmpty())
        return name;
    return QStringLiteral("COM%1 (%2)").arg(comNumber).arg(device(comNumber));
}

void PortMap::setName(int comNumber, const QString& name) {
    m_names[comNumber] = name;
}

} // namespace ww
