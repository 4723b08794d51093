#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVector>
#include <memory>
#include <optional>

class QTcpServer;
class QTcpSocket;

namespace ww::virt {

// A SCPI arbitrary-waveform generator on 127.0.0.1 that understands the command forms of the
// shipped profiles: FORM:BORD, DATA:VOL:CLE, DATA:ARB:DAC name,<block>, DATA:ARB
// name,<values>, DATA:DAC VOLATILE,<block> (signed codes of dacBits) or <values> (unsigned
// 14-bit), :SOUR1:TRAC:DATA:DAC16 VOLATILE,END,<block>, C1:WVDT ...,WAVEDATA,<raw> with
// C1:ARWV, DATA:DEF EMEM / DATA:DATA EMEM / DATA:COPY, the frequency, sample rate, level and
// output of each form, *CLS, *IDN?, SYST:ERR?. It checks each block's length and every value
// against the instrument's range and keeps an error queue, and can be told to misbehave: a
// small receive buffer, a slow reader, an answer out of turn, a stall, a closed connection.
//
// A raw block (WVDT) has no length: the instrument takes it to end at the first line feed at
// an even count of bytes that is followed by the start of a command.
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
        bool refuse = false;         // accepts, then closes every connection at once
        bool stall = false;          // reads nothing, answers nothing
        int closeAfterBytes = -1;    // closes the connection once this many bytes came
        int readBytesPer10Ms = -1;   // reads slowly
        int receiveBuffer = 0;       // holds at most this many unread bytes (0: as the system)
        QByteArray errorAnswer;      // SYST:ERR? answers this instead of the queue,
        int errorAnswerTimes = 1;    // this many times
        QByteArray answerEnd = "\n"; // what ends each answer
        QByteArray idnAnswer;        // *IDN? answers this instead
        QByteArray earlyAnswer;      // said once, as soon as the first bytes of a connection came
        int dacBits = 14;            // DATA:DAC VOLATILE,<block> takes ±(2^(bits-1) - 1)
        int maxPoints = 65536;       // the longest waveform it keeps
    };
    Script script;
    // Holds at most about this many unread bytes, in the system's buffer and its own, for the
    // connections made from now on (as a real instrument's small receive buffer does): what it
    // has not read waits in the sender's queue.
    void setReceiveBuffer(int bytes);
    // An error already in the queue, as a command of an earlier session leaves it.
    void raiseError(int code, const QString& text) { error(code, text); }

    // The settings as the instrument last took them; absent when never set.
    struct Settings {
        std::optional<double> frequency, sampleRate, amplitude, offset;
        std::optional<bool> output;
    };
    const Settings& settings() const { return m_settings; }

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
    enum class Order { AsFormBord, LittleEndian, BigEndian };
    void accept();
    void readFrom(QTcpSocket* socket);
    void parse(QTcpSocket* socket);
    void setting(const QByteArray& upper, const QByteArray& command);
    void select(const QString& name);
    void handle(QTcpSocket* socket, const QByteArray& command, const QByteArray& block,
                bool hasBlock);
    void error(int code, const QString& text);
    bool storeCodes(const QString& name, const QByteArray& block, bool hasBlock,
                    const QByteArray& values, double lo, double hi, bool floats,
                    Order order = Order::AsFormBord);

    QTcpServer* m_server; // children, so that the instrument may be moved to a thread

    QMap<QTcpSocket*, QByteArray> m_pending;
    QTimer* m_slowReader;
    QMap<QString, Waveform> m_waves;
    QString m_selected;
    QList<QByteArray> m_commands;
    QStringList m_queue, m_allErrors;
    bool m_swapped = false;
    int m_defined = -1; // the points DATA:DEF EMEM made room for
    Settings m_settings;
    quint16 m_port = 0;
    int m_errorAnswers = 0;
    int m_receiveBuffer = 0;
    bool m_draining = false; // taking what came before a connection closed
    qint64 m_bytes = 0;
};

} // namespace ww::virt
