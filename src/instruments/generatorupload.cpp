#include "generatorupload.h"

#include "generatorlines.h"
#include "model/numbers.h"

namespace ww {

GeneratorUpload::GeneratorUpload(Transport& line, SerialSettings& settings, Clock& clock,
                                 QObject* parent)
    : Exchange(line, settings, clock, parent) {
    m_pause.setSingleShot(true);
    connect(&m_pause, &QTimer::timeout, this, [this] {
        if (m_running)
            CloseTeskCom();
    });
}

QString GeneratorUpload::communicationErrorText() {
    return QStringLiteral("There is an error conmmunication with instrument.\r\n"
                          "Please check the connect between the computer and oscilloscope by "
                          "RS232.\r\n"
                          "Check the RS232 setup for both the oscilloscope and this software");
}

void GeneratorUpload::start(const WaveStore& store) {
    if (m_running)
        return;
    m_store = store;
    m_running = true;
    emit started();
    emit statusChanged(QStringLiteral("Data has send："));
    m_progressMax = (static_cast<double>(m_store.ArbLength) + 127.0) / 128.0 + 1.0;
    m_progressValue = 0;
    emit progressChanged(m_progressMax, m_progressValue);
    BlocksSent = 0;
    LastBlockSent = false;
    const QString settings = m_settings.generatorSettings();
    if (!openLine(settings, {}))
        return;
    m_writeTimeoutMs = writeTimeoutMs(settings);
    SendArbHeader();
}

void GeneratorUpload::changePort(int comNumber) {
    m_settings.ComPortNumber = comNumber;
    if (!m_running || !m_line.isOpen())
        return;
    const QString error = m_line.open(comNumber, m_settings.generatorSettings(), {});
    if (!error.isEmpty())
        fail(error);
}

void GeneratorUpload::armDeadline() {
    // "More than 13 whole seconds" on the calendar clock ends anywhere from 13 to 14 s on; in
    // milliseconds of a clock that never jumps, the longest of those.
    ReplyDeadline = m_clock.msecs() + 14000;
    armWatchdog();
}

void GeneratorUpload::writeLine(const QByteArray& line) {
    if (!m_line.isOpen())
        return;
    // Each line must leave the port within the write time-out: the constant plus 1 ms a byte.
    m_writeDeadlineMs = m_clock.msecs() + m_writeTimeoutMs + line.size();
    m_line.write(line);
    ReplyEvents = 0;
}

void GeneratorUpload::SendArbHeader() {
    armDeadline();
    m_line.discardBuffers();
    emit percentChanged(QStringLiteral("0.00%"));
    writeLine(headerLine(m_store.ArbNumber, m_store.ArbLength));
}

void GeneratorUpload::SendArbBlock() {
    const int b = BlocksSent;
    armDeadline();
    m_line.discardBuffers();
    emit percentChanged(QString());
    const QByteArray line = dataLine(m_store, b);
    double sent = 128.0 * (b + 1);
    if (sent >= m_store.ArbLength) {
        LastBlockSent = true;
        sent = toInt32(m_store.ArbLength);
    }
    emit percentChanged(
        QString::number(sent / static_cast<double>(m_store.ArbLength) * 100.0, 'f', 2) +
        QLatin1Char('%'));
    writeLine(line);
}

void GeneratorUpload::bytesArrived() {
    QByteArray bytes = m_line.readAll();
    if (!m_running || m_pause.isActive())
        return; // bytes after the last reply are of no use
    // The first byte after a line was sent is dropped unseen.
    if (++ReplyEvents == 1)
        bytes.remove(0, 1);
    if (bytes.indexOf(kGeneratorEol) < 0)
        return;
    m_progressValue = BlocksSent + 1;
    emit progressChanged(m_progressMax, m_progressValue);
    if (LastBlockSent) {
        complete();
    } else {
        SendArbBlock();
        ++BlocksSent;
    }
}

void GeneratorUpload::complete() {
    emit statusChanged(QStringLiteral("Send complete！"));
    emit uploaded(m_store);
    // The watchdog stays armed through the pause, as while waiting for a reply.
    m_pause.start(completionPauseMs);
}

void GeneratorUpload::Timer_TeskCom_Timer() {
    if (!m_running)
        return;
    if (m_writeDeadlineMs >= 0 && m_line.isOpen()) {
        if (m_line.pendingOutput() == 0) {
            m_writeDeadlineMs = -1;
        } else if (m_clock.msecs() > m_writeDeadlineMs) {
            fail(communicationErrorText());
            return;
        }
    }
    if (m_clock.msecs() >= ReplyDeadline)
        fail(communicationErrorText());
}

void GeneratorUpload::closeRequested() {
    if (m_running && LastBlockSent)
        CloseTeskCom();
}

void GeneratorUpload::CloseTeskCom() {
    m_pause.stop();
    emit percentChanged(QString());
    m_writeDeadlineMs = -1;
    finish();
}

} // namespace ww
