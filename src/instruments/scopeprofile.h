#pragma once

#include "keyvalue.h"
#include "sampleencoding.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <vector>

namespace ww {

// How a SCPI oscilloscope gives the curve of a channel: a text file of `key: value` lines in
// the same form as a generator's profile ('#' starts a comment; setup, stop, field and range
// may repeat, in order):
//
//   name: :WAV:PRE? preamble, unsigned bytes
//   setup: :WAV:SOUR {source}           sent first, in order
//   stop: :STOP                         sent next (to freeze the acquisition)
//   preamble: :WAV:PRE?                 one query answering comma-separated fields, named
//   fields: format,type,points,...      by position ('-' for one not used)
//   field: YMULT = WFMOutpre:YMULT?     or one query per field (an answer's header and unit
//                                       are passed over: "C1:VDIV 5.00E-01V" gives 0.5)
//   points: points                      the count of points, from the fields (optional)
//   chunk: 250000                       at most this many points a read, each read preceded
//   range: :WAV:STAR {start}            by the range lines ({start} and {stop} count from 1;
//   range: :WAV:STOP {stop}             chunk wants points)
//   data: :WAV:DATA?                    the data query
//   prefix: DAT2,                       a literal before the block (optional)
//   trailing: 1                         bytes after the block, read and passed over
//   encoding: uint8                     int8 uint8 int16le int16be uint16le uint16be int32le
//                                       int32be float32le float32be, in a definite-length
//                                       block; ascii: numbers in one line
//   volts: (code - yreference) * yincrement + yorigin     over the fields and `code`
//   time: (index - xreference) * xincrement + xorigin     over the fields and `index` (from 0)
//   screen: 0 255                       the codes at the screen's bottom and top (default
//                                       the encoding's whole range)
//   check: :SYST:ERR?                   asked last; an answer other than 0 is an error
//   terminator: \n
//
// {source} stands for the channel the user names, in any line that is sent.
struct ScopeProfile {
    QString name;
    QList<QByteArray> setup, stop, range;
    QByteArray preamble;
    QStringList fields; // by position in the preamble's answer; "-" is passed over
    QList<QPair<QString, QByteArray>> fieldQueries;
    QString points; // an expression, or empty
    qint64 chunk = 0;
    QByteArray data, prefix, check;
    int trailing = 0;
    SampleEncoding encoding = SampleEncoding::UInt8;
    QString volts, time;
    bool hasScreen = false;
    double screenLow = 0, screenHigh = 0;
    QByteArray terminator = "\n";

    // Every field the profile names, in order.
    QStringList fieldNames() const;
};

struct ScopeProfileReading {
    ScopeProfile profile;
    QString error; // empty, or what is wrong and on which line
};

// More points than any capture here reads: a profile's points or a block that says more is
// refused before anything is kept.
constexpr qint64 kMostScopePoints = 16777216;

ScopeProfileReading parseScopeProfile(const QByteArray& text);
// The shipped and the user's oscilloscope profiles (NAME.scope in the profile folders), by
// name or path.
ScopeProfileReading findScopeProfile(const QString& nameOrPath);
QStringList scopeProfileNames();

// Why `source` cannot name a channel in a profile's lines (it goes into commands: a separator
// or a line end would make it more than a name), or an empty string.
QString sourceProblem(const QString& source);

// A line of the profile with {source} (and {start}, {stop} in a range line) put in, and the
// terminator.
QByteArray scopeLine(const ScopeProfile& p, const QByteArray& line, const QString& source,
                     qint64 start = 0, qint64 stop = 0);

// The first number of an answer: a header before a blank ("C1:VDIV", ":WFMOUTPRE:YMULT") and a
// unit after the number ("V", "Sa/s") are passed over. False when there is none.
bool answerNumber(QByteArrayView answer, double& value);
// The fields of a preamble answer by position, with what is wrong ("field 3 (points) is not
// a number: 'abc'", "the preamble has 7 fields, the profile names 10") or an empty string.
QString preambleFields(const ScopeProfile& p, QByteArrayView answer, QMap<QString, double>& out);

// The scaling of a capture: what the expressions make of the fields read.
class ScopeScaling {
  public:
    // Empty on success, else what is wrong (a field the expressions need that was not read, an
    // expression that is not finite).
    QString prepare(const ScopeProfile& p, const QMap<QString, double>& fields);
    // The count of points the fields give (points), or -1 when the profile has none.
    qint64 points() const { return m_points; }
    // The volts of each code; a code whose volts are not finite gives the message.
    std::vector<double> volts(const std::vector<double>& codes, QString& why) const;
    // The same into `out`, whose memory is used again.
    void voltsInto(const std::vector<double>& codes, std::vector<double>& out, QString& why) const;
    // The time of each point from 0 to count - 1.
    std::vector<double> times(qint64 count, QString& why) const;

  private:
    ScopeProfile m_profile;
    QMap<QString, double> m_fields;
    qint64 m_points = -1;
};

// "time,volts" and a line for each point, numbers with a point and 10 significant digits;
// empty with `why` said when a time is not a number.
QByteArray traceTable(const ScopeScaling& scaling, const std::vector<double>& volts, QString& why);

// Why the codes cannot be shown as the screen's -1..+1: text and float samples are values, not
// codes of a screen, so the profile must say with `screen:` which values are its edges. Empty
// when they can.
QString screenProblem(const ScopeProfile& p);

// The codes as the program's samples: the screen's codes (the profile's, or the encoding's
// whole range) as -1..+1, beyond them held at the edge.
std::vector<float> screenSamples(const ScopeProfile& p, const std::vector<double>& codes);

} // namespace ww
