#include "tdsexchange.h"

#include "model/numbers.h"

namespace ww {

float tdsSample(unsigned char b) {
    return static_cast<float>((static_cast<int>(b) - 127) / 128.0);
}

QByteArray tdsReadCommands(const QString& source, char eol) {
    const QByteArray commands[] = {"HEADer OFF",     "DATa:SOUrce " + source.toLatin1(),
                                   "DATa:ENCdg RPB", "DATa:WIDth 1",
                                   "DATa:STARt 1",   "DATa:STOP 2500",
                                   "CURVe?"};
    QByteArray out;
    for (const QByteArray& c : commands)
        out += c + eol;
    return out;
}

int tdsLinkSeconds(const QString& baud) {
    const double b = baud.toDouble();
    const double w = roundHalfEven(((600.0 / b) * 1000.0 + 1000.0) / 1000.0);
    return static_cast<int>(roundHalfEven(w / 1000.0 + 1.0));
}

int tdsReadSeconds(const QString& baud) {
    const double b = baud.toDouble();
    double t = roundHalfEven((25000.0 / b) * 1000.0 + 2000.0);
    if (t >= 65535.0)
        t = 65535.0;
    return static_cast<int>(roundHalfEven(t / 1000.0 + 2.0));
}

QString TdsExchange::linkErrorText() {
    return QStringLiteral("There is an error conmmunication with oscilloscope.\r\n"
                          "Please check the connect between the computer and oscilloscope by "
                          "RS232.\r\n"
                          "Check the RS232 setup for both the oscilloscope and this software");
}

QString TdsExchange::readErrorText() {
    return QStringLiteral("There is an error read data from oscilloscope\r\n"
                          "Plese check the wanted data in the current display area,\r\n"
                          "the connect between the computer and oscilloscope by RS232,\r\n"
                          "the RS232 setup for both the oscilloscope and this software");
}

TdsExchange::TdsExchange(Transport& line, SerialSettings& settings, Clock& clock, QObject* parent)
    : Exchange(line, settings, clock, parent) {}

bool TdsExchange::OpenTdsPort() {
    m_running = true;
    emit started();
    emit progressChanged(m_progressMax, 0);
    Transport::Options options;
    options.flowControl = m_settings.ComFlowControl;
    options.dtrRts = true;
    return openLine(m_settings.oscilloscopeSettings(), options);
}

void TdsExchange::TDS_Link() {
    if (m_running)
        return;
    OscilMode = 0;
    if (!OpenTdsPort())
        return;
    emit percentChanged(QString(), false);
    emit statusChanged(QStringLiteral("Be linking with Oscilloscope......"), true);
    TdsDone = false;
    m_curve.clear();
    emit buttonChanged(QStringLiteral("Cancle"));
    // Whole seconds in milliseconds: a deadline on the second's boundary would fire anywhere
    // from none to all of the first second.
    TdsDeadline = m_clock.msecs() + 1000LL * tdsLinkSeconds(m_settings.ComBaud);
    armWatchdog();
    TdsByteCount = 0;
    m_line.write(QByteArray("*IDN?") + static_cast<char>(m_settings.OscilEol));
}

void TdsExchange::TDS_Readdata() {
    if (m_running)
        return;
    OscilMode = 1;
    if (!TdsLinked) {
        m_running = true;
        emit started();
        emit failed(QStringLiteral("Please link with instrument!"), QStringLiteral("ERROR!"),
                    BoxIcon::None);
        CloseTdsCom();
        return;
    }
    if (!OpenTdsPort())
        return;
    emit buttonChanged(QStringLiteral("Cancle"));
    TdsDone = false;
    TdsByteCount = 0;
    m_curve.assign(kTdsPoints, 0.0f);
    emit statusChanged(QStringLiteral("Being Read Data From Oscilloscope......"), false);
    emit percentChanged(QStringLiteral("Data has received：0;0.00%"), false);
    TdsDeadline = m_clock.msecs() + 1000LL * tdsReadSeconds(m_settings.ComBaud);
    armWatchdog();
    m_line.write(tdsReadCommands(m_settings.OscilSource, static_cast<char>(m_settings.OscilEol)));
    emit percentChanged(QStringLiteral("Data has received：0;0.00%"), true);
    m_progressMax = kTdsPoints;
    emit progressChanged(m_progressMax, 0);
}

void TdsExchange::bytesArrived() {
    const QByteArray bytes = m_line.readAll();
    if (!m_running)
        return;
    if (OscilMode == 0) {
        emit statusChanged(QString(), true);
        m_progressMax = bytes.isEmpty() ? 1 : static_cast<int>(bytes.size());
        QString text;
        int value = 0;
        for (qsizetype j = 0; j < bytes.size(); ++j) {
            value = static_cast<int>(j);
            if (static_cast<unsigned char>(bytes[j]) == m_settings.OscilEol) {
                TdsDone = true;
                TdsLinked = true;
                value = m_progressMax;
                emit buttonChanged(QStringLiteral("OK"));
                break;
            }
            text += QChar::fromLatin1(bytes[j]);
        }
        emit progressChanged(m_progressMax, value);
        emit statusAppended(text);
        // After the identification, whatever else waits is of no use. A curve is never cut
        // this way: its bytes keep coming while it is read, and dropping them would lose it.
        m_line.discardInput();
        return;
    }
    if (TdsByteCount - kTdsHeaderBytes > 0)
        emit percentChanged(QStringLiteral("Data Has Received ：%1;%2%")
                                .arg(TdsByteCount - kTdsHeaderBytes)
                                .arg(QString::number(TdsByteCount / 2506.0 * 100.0, 'f', 2)),
                            true);
    for (const char c : bytes) {
        if (TdsByteCount >= kTdsHeaderBytes + kTdsPoints) {
            TdsDone = true;
            emit buttonChanged(QStringLiteral("OK"));
            emit statusChanged(QStringLiteral("Complete！"), false);
            break;
        }
        if (TdsByteCount >= kTdsHeaderBytes)
            m_curve[static_cast<std::size_t>(TdsByteCount - kTdsHeaderBytes)] =
                tdsSample(static_cast<unsigned char>(c));
        ++TdsByteCount;
    }
    if (TdsByteCount - kTdsHeaderBytes >= 1)
        emit progressChanged(m_progressMax, TdsByteCount - kTdsHeaderBytes);
}

void TdsExchange::Timer_TDS_Timer() {
    if (!m_running || m_clock.msecs() < TdsDeadline)
        return;
    stopWatchdog();
    if (OscilMode == 0) {
        if (TdsDone)
            emit statusChanged(QStringLiteral("Link with oscilloscope success！"), true);
        else
            fail(linkErrorText());
        return;
    }
    if (TdsDone)
        takeData();
    else
        fail(readErrorText(), QStringLiteral("ERROR1"));
    if (m_running) {
        emit percentChanged(QString(), false);
        CloseTdsCom();
    }
}

void TdsExchange::Command_TDS_Click() {
    if (!m_running)
        return;
    if (OscilMode == 1 && TdsDone)
        takeData();
    emit percentChanged(QString(), false);
    CloseTdsCom();
}

void TdsExchange::closeRequested() {
    Command_TDS_Click();
}

void TdsExchange::takeData() {
    if (m_curve.size() == static_cast<std::size_t>(kTdsPoints))
        emit dataTaken(m_curve);
}

void TdsExchange::end() {
    emit percentChanged(QString(), false);
    CloseTdsCom();
}

void TdsExchange::CloseTdsCom() {
    finish();
}

} // namespace ww
