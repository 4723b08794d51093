#pragma once

#include "virtualoscilloscope.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QStringList>
#include <QVector>
#include <functional>

class QTcpServer;
class QTcpSocket;

namespace ww::virt {

// A SCPI oscilloscope on 127.0.0.1 that understands the command forms of the shipped
// oscilloscope profiles: the :WAV subsystem with its ten-field preamble (y origin in volts or in
// codes) and :WAV:STAR/:WAV:STOP, DATA:SOURCE with WFMOutpre queries and CURVE?, and
// VDIV/OFST/TDIV/SARA with WF? DAT2; *IDN?, *CLS, :SYST:ERR? with an error queue, HEADER and
// CHDR. Each channel shows what `input` gives (the generator's output, -1..+1) through the
// screen's periods, phase, gain, offset, band limit, noise and jitter, at `volts` volts for the
// generator's full scale, in 8-bit codes of 25 a division. It can be told to misbehave.
class VirtualScpiScope : public QObject {
    Q_OBJECT
  public:
    explicit VirtualScpiScope(QObject* parent = nullptr);
    ~VirtualScpiScope() override;

    quint16 port() const { return m_port; }
    QString address() const; // tcp://127.0.0.1:PORT
    void stopListening();

    QByteArray identification = "WAVEWRIGHT,VIRTUAL SCPI OSCILLOSCOPE,0,1.0";
    std::function<QVector<float>()> input;
    ScopeScreen screen;
    int points = 1400;           // of the record
    double voltsPerDiv = 0.2;    // 25 codes a division
    double centre = 0.08;        // the volts at the screen's centre (the channel's offset)
    double volts = 0.5;          // of the generator's +1
    double secondsPerDiv = 1e-3; // 14 divisions across the record
    bool originInCodes = false;  // :WAV:PRE? gives y origin in codes, not volts
    bool headers = true;         // until HEADER OFF or CHDR OFF

    struct Script {
        bool silent = false;       // answers nothing
        bool stallData = false;    // answers everything but the data
        bool shortBlock = false;   // the data's block stops half way, and nothing follows
        int extraPoints = 0;       // the block says and holds this many more points
        int beyondBlock = 0;       // this many bytes follow the block it says
        QByteArray preambleAnswer; // :WAV:PRE? answers this instead
        QByteArray fieldAnswer;    // every single-field query answers this instead
        QByteArray dataAnswer;     // the data query answers this instead
        bool endless = false;      // the preamble or a field's answer never ends
        QByteArray error;          // put in the queue by the data query ("-222,...")
    };
    Script script;

    const QList<QByteArray>& commands() const { return m_commands; }
    QString source() const { return m_source; }
    // The codes of the record as the last data query made them, and their volts.
    const QByteArray& codes() const { return m_codes; }
    // The volts each point of the last record had before they were made codes.
    const std::vector<double>& held() const { return m_held; }
    double timeOfPoint(int index) const;
    qint64 bytesSent() const { return m_sent; }

  private:
    void accept();
    void readFrom(QTcpSocket* socket);
    void handle(QTcpSocket* socket, const QByteArray& command);
    void answer(QTcpSocket* socket, const QByteArray& text);
    void send(QTcpSocket* socket, const QByteArray& bytes);
    void acquire(bool signedCodes);
    QByteArray block(int from, int to);
    void keepTalking(QTcpSocket* socket);

    QTcpServer* m_server;
    quint16 m_port = 0;
    QMap<QTcpSocket*, QByteArray> m_pending;
    QList<QByteArray> m_commands;
    QStringList m_queue;
    QString m_source = QStringLiteral("CHAN1");
    QByteArray m_codes;
    std::vector<double> m_held;
    int m_start = 1, m_stop = 0; // of :WAV:DATA?, from 1; 0: to the end
    qint64 m_sent = 0;
};

} // namespace ww::virt
