#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVector>
#include <memory>

class QTcpServer;
class QTcpSocket;

namespace ww::virt {

// A SCPI arbitrary-waveform generator on 127.0.0.1 that understands the command forms of the
// shipped profiles: FORM:BORD, DATA:VOL:CLE, DATA:ARB:DAC name,<block|values>, DATA:ARB
// name,<values>, DATA:DAC VOLATILE,<block|values>, FUNC..., OUTP..., *IDN?, SYST:ERR?. It
// checks each block's length and every value against the instrument's range and keeps an
// error queue, and can be told to misbehave.
class VirtualScpiGenerator : public QObject {
    Q_OBJECT
  public:
    explicit VirtualScpiGenerator(QObject* parent = nullptr);
    ~VirtualScpiGenerator() override;

    quint16 port() const;
    // Stops listening: a connection to the address is then refused.
    void stopListening();
    QString address() const; // tcp://127.0.0.1:PORT

    QByteArray identification = "WAVEWRIGHT,VIRTUAL SCPI GENERATOR,0,1.0";

    struct Script {
        bool refuse = false;       // accepts, then closes every connection at once
        bool stall = false;        // reads nothing, answers nothing
        int closeAfterBytes = -1;  // closes the connection once this many bytes came
        int readBytesPer10Ms = -1; // reads slowly
        QByteArray errorAnswer;    // SYST:ERR? answers this instead of the queue
        QByteArray idnAnswer;      // *IDN? answers this instead
        bool unsignedDac = false;  // DATA:DAC VOLATILE takes 0..16383, not -8191..8191
        int maxPoints = 65536;     // the longest waveform it keeps
    };
    Script script;

    struct Waveform {
        QVector<double> samples; // -1..+1
        int count() const { return static_cast<int>(samples.size()); }
    };
    const QMap<QString, Waveform>& waveforms() const { return m_waves; }
    QString selected() const { return m_selected; } // the waveform chosen for output
    const QList<QByteArray>& commands() const { return m_commands; } // blocks left out
    const QStringList& errors() const { return m_allErrors; }
    qint64 bytesReceived() const { return m_bytes; }

  private:
    void accept();
    void readFrom(QTcpSocket* socket);
    void parse(QTcpSocket* socket);
    void handle(QTcpSocket* socket, const QByteArray& command, const QByteArray& block,
                bool hasBlock);
    void error(int code, const QString& text);
    bool storeCodes(const QString& name, const QByteArray& block, bool hasBlock,
                    const QByteArray& values, double lo, double hi, bool floats);

    QTcpServer* m_server; // children, so that the instrument may be moved to a thread

    QMap<QTcpSocket*, QByteArray> m_pending;
    QTimer* m_slowReader;
    QMap<QString, Waveform> m_waves;
    QString m_selected;
    QList<QByteArray> m_commands;
    QStringList m_queue, m_allErrors;
    bool m_swapped = false;
    quint16 m_port = 0;
    qint64 m_bytes = 0;
};

} // namespace ww::virt
