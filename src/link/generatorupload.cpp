#include "generatorupload.h"

#include "model/numbers.h"
#include "generatorlines.h"

namespace ww {

GeneratorUpload::GeneratorUpload(SerialLink& link, SerialSettings& settings, Clock& clock,
                                 QObject* parent)
    : QObject(parent), m_link(link), m_settings(settings), m_clock(clock) {
    m_timer.setInterval(500);
    connect(&m_timer, &QTimer::timeout, this, &GeneratorUpload::Timer_TeskCom_Timer);
    m_pause.setSingleShot(true);
    connect(&m_pause, &QTimer::timeout, this, [this] {
        if (m_running)
            CloseTeskCom();
    });
    connect(&m_link, &SerialLink::opened, this, [this](QIODevice* device) {
        connect(device, &QIODevice::readyRead, this, &GeneratorUpload::onReadyRead);
    });
    connect(&m_link, &SerialLink::lost, this, [this](const QString& reason) {
        if (m_running)
            fail(reason);
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
    const QString error = m_link.open(m_settings.ComPortNumber, settings);
    if (!error.isEmpty()) {
        m_running = false;
        emit percentChanged(QString());
        if (showError)
            showError(error, QStringLiteral("ERROR!"));
        emit finished();
        return;
    }
    m_writeTimeoutMs = writeTimeoutMs(settings);
    SendArbHeader();
}

void GeneratorUpload::armWatchdog() {
    ReplyDeadline = m_clock.seconds() + 13;
    m_timer.start();
}

void GeneratorUpload::writeLine(const QByteArray& line) {
    QIODevice* d = m_link.device();
    if (!d)
        return;
    // Each line must leave the port within the write time-out: the constant plus 1 ms a byte.
    m_writeDeadlineMs = m_clock.msecs() + m_writeTimeoutMs + line.size();
    d->write(line);
    // Hand the line to the driver now rather than on the next turn of the event loop.
    if (auto* port = qobject_cast<QSerialPort*>(d))
        port->flush();
    ReplyEvents = 0;
}

void GeneratorUpload::SendArbHeader() {
    armWatchdog();
    m_link.discardBuffers();
    emit percentChanged(QStringLiteral("0.00%"));
    writeLine(headerLine(m_store.ArbNumber, m_store.ArbLength));
}

void GeneratorUpload::SendArbBlock() {
    const int b = BlocksSent;
    armWatchdog();
    m_link.discardBuffers();
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

void GeneratorUpload::onReadyRead() {
    QIODevice* d = m_link.device();
    if (!d)
        return;
    if (!m_running || m_pause.isActive()) {
        d->readAll(); // bytes after the last reply are of no use
        return;
    }
    ++ReplyEvents;
    if (ReplyEvents == 1) {
        char dropped;
        d->getChar(&dropped);
    }
    const QByteArray bytes = d->readAll();
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
    // The watchdog stays armed through the pause, as while waiting for a reply.
    m_pause.start(completionPauseMs);
}

void GeneratorUpload::Timer_TeskCom_Timer() {
    if (!m_running)
        return;
    if (m_writeDeadlineMs >= 0 && m_link.device()) {
        if (m_link.pendingOutput() == 0) {
            m_writeDeadlineMs = -1;
        } else if (m_clock.msecs() > m_writeDeadlineMs) {
            fail(communicationErrorText());
            return;
        }
    }
    if (m_clock.seconds() > ReplyDeadline)
        fail(communicationErrorText());
}

void GeneratorUpload::fail(const QString& text) {
    // The port is closed before the box shows, so nothing arrives while it waits.
    m_timer.stop();
    m_pause.stop();
    m_link.close();
    if (showError)
        showError(text, QStringLiteral("ERROR!"));
    CloseTeskCom();
}

void GeneratorUpload::closeRequested() {
    if (m_running && LastBlockSent)
        CloseTeskCom();
}

void GeneratorUpload::CloseTeskCom() {
    m_timer.stop();
    m_pause.stop();
    emit percentChanged(QString());
    m_link.close();
    m_writeDeadlineMs = -1;
    const bool wasRunning = m_running;
    m_running = false;
    if (wasRunning)
        emit finished();
}

} // namespace ww
