#pragma once

#include "exchange.h"
#include "scopeprofile.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <vector>

namespace ww {

// The curve of one channel as an oscilloscope gave it through a profile.
struct ScopeTrace {
    ScopeProfile profile;
    QString source;
    QMap<QString, double> fields;
    ScopeScaling scaling;
    std::vector<double> codes; // as the oscilloscope sent them
    std::vector<double> volts; // the profile's scaling of each
};

// The curve to compare with what was sent (the comparison finds gain and offset itself): the
// screen's codes as -1..+1 where the profile can say them, else the volts.
std::vector<double> comparableCurve(const ScopeTrace& trace);

// Reads the curve of a channel from a SCPI oscilloscope as its profile describes: the setup
// and stop lines, the preamble (one query, or one per field), the data in one read or in parts
// with their range lines, and the check. One question at a time; each answer is read to its
// end and no further: a line of at most 4096 bytes, a block of at most the points the preamble
// gives (or 16777216), numbers as text of at most 32 bytes each and 64 MiB in all. Fails once, the
// address named, on no answer within `stallMs` (or data that stops), an answer that is not what the
// profile says (no block, a prefix missing, a field that is no number, a block of another count of
// points than the preamble gives), bytes after the last answer, the check's error, or a lost line.
class ScopeCapture : public Exchange {
    Q_OBJECT
  public:
    ScopeCapture(Transport& line, SerialSettings& settings, Clock& clock,
                 QObject* parent = nullptr);

    int stallMs = 10000;
    // How messages name the line ("COM3 (tcp://...)").
    QString lineName;

    void start(const ScopeProfile& profile, const QString& source);
    void cancel();
    // What the watchdog does every 500 ms: a question unanswered for `stallMs` ends it.
    void checkStall() { watchdogTick(); }

  signals:
    // Bytes of data read, of those the oscilloscope said it would send (0 while unknown).
    void progressChanged(qint64 got, qint64 total);
    void captured(const ww::ScopeTrace& trace);

  protected:
    void end() override;
    void bytesArrived() override;
    void watchdogTick() override;

  private:
    enum class Wait { Nothing, Line, Block };
    void next();
    void ask(const QByteArray& line, Wait wait);
    void lineAnswered(const QByteArray& answer);
    void blockRead();
    bool readBlock();
    void failWith(const QString& why);
    QString asked() const;

    ScopeProfile m_profile;
    ScopeTrace m_trace;
    QString m_source;
    enum class Step { Fields, Points, Data, Check, Done } m_step = Step::Fields;
    int m_field = 0;                // the next field query
    qint64 m_start = 0, m_stop = 0; // the points of this read, from 1
    qint64 m_expected = 0;          // bytes of data all reads bring, when known
    Wait m_wait = Wait::Nothing;
    QByteArray m_question;
    QByteArray m_buffer;
    qsizetype m_scanned = 0; // of m_buffer, looked through for a line end
    int m_skip = 0;          // trailing bytes of a block still to pass over
    bool m_prefixSeen = false;
    BlockHeader m_header;
    qint64 m_blockGot = 0;       // bytes of this block read
    QByteArray m_carry;          // the start of a sample whose other bytes are still to come
    std::size_t m_blockFrom = 0; // the first code of this block
    qint64 m_got = 0;
    qint64 m_heardAtMs = 0;
};

} // namespace ww
