#pragma once

#include "keyvalue.h"
#include "sampleencoding.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace ww {

// How a SCPI arbitrary-waveform generator takes a waveform: a small text file of `key: value`
// lines ('#' starts a comment; before and after may repeat, in order):
//
//   name: 16-bit block form
//   points: 8..65536              (optionally "multiple K" or "power-of-two"; at most 16777216)
//   encoding: int16le             (int8 uint8 int16le int16be uint16le uint16be int32le
//                                  int32be float32le float32be ascii)
//   codes: -32767 32767           (the codes for -1 and +1; not for float encodings)
//   clear: *CLS                   (sent first to empty the error queue; "none" for nothing)
//   before: FORM:BORD SWAP
//   upload: SOUR1:DATA:ARB:DAC {name},{block}
//   after: SOUR1:FUNC:ARB {name}
//   frequency: SOUR1:FUNC:ARB:SRAT {rate}
//   amplitude: SOUR1:VOLT {amplitude}
//   offset: SOUR1:VOLT:OFFS {offset}
//   output-on: OUTP1 ON
//   output-off: OUTP1 OFF
//   check: SYST:ERR?
//   terminator: \n
//
// Placeholders, in any line: {block} an IEEE 488.2 definite-length block of the encoded
// samples, {raw} the same bytes without the block's header, {values} the codes as
// comma-separated text, {bytes} the count of encoded bytes, {count} the number of points,
// {name} the waveform's name; in the frequency line {frequency} (Hz) or {rate} (samples a
// second, the frequency times the count); {amplitude} (volts peak to peak) and {offset}
// (volts) in theirs. The upload line holds exactly one of {block}, {raw} and {values}.
struct Profile {
    using Encoding = SampleEncoding;
    QString name;
    int minPoints = 4, maxPoints = 16000;
    int multiple = 1;
    bool powerOfTwo = false;
    Encoding encoding = Encoding::Int16LE;
    bool hasCodes = false;
    double codeLow = 0, codeHigh = 0; // for -1 and +1
    QByteArray clear = "*CLS";
    QList<QByteArray> before, after;
    QByteArray upload, check;
    QByteArray frequency, amplitude, offset, outputOn, outputOff;
    QByteArray terminator = "\n";

    bool isFloat() const {
        return encoding == Encoding::Float32LE || encoding == Encoding::Float32BE;
    }
};

// What the engineer sets after an upload; each only when given. A frequency may be given as
// the sample rate instead (the frequency times the count).
struct GeneratorSettings {
    std::optional<double> frequency, sampleRate, amplitude, offset;
    std::optional<bool> output;
    bool any() const { return frequency || sampleRate || amplitude || offset || output; }
};

struct ProfileReading {
    Profile profile;
    QString error; // empty, or what is wrong and on which line
};

// More points than any generator here takes: a profile that says more is refused.
constexpr int kMaxProfilePoints = 16777216;

ProfileReading parseProfile(const QByteArray& text);

// Whether the instrument takes `count` points; an empty string, or why not.
QString pointsProblem(const Profile& profile, int count);
// The count nearest to `count` the instrument takes (for resampling), or 0 when none.
int nearestPoints(const Profile& profile, int count);

// A sample's code: the nearest integer (ties to even) of code(-1) + (v + 1) / 2 × (code(+1) -
// code(-1)); the value itself for float encodings.
double sampleCodeOf(const Profile& profile, double v);
// The samples as the encoding writes them: binary, or the codes as comma-separated text.
QByteArray encodeSamples(const Profile& profile, const std::vector<float>& samples);

// Every line the upload writes, each with its terminator, in order: the clearing line, before,
// the upload, after, the settings asked for (frequency, amplitude, offset, output), and the
// check query last (when there is one). The settings must be ones the profile defines.
QList<QByteArray> uploadLines(const Profile& profile, const std::vector<float>& samples,
                              const QString& name, const GeneratorSettings& settings = {});
// Why the settings cannot be sent through the profile (one it does not define, or a value out
// of range), or an empty string.
QString settingsProblem(const Profile& profile, const GeneratorSettings& settings);
// Why `name` cannot name a waveform on the instrument (a letter, then up to 11 letters, digits
// or _), or an empty string.
QString waveformNameProblem(const QString& name);

// Whether a reply to the check query means no error ("0" or "+0" first).
bool checkSaysNoError(const QByteArray& reply);

// The profiles that ship with the program and those the user added, by name; the folders they
// are looked for in, the user's first.
QStringList profileFolders();
// A profile by name (a shipped or the user's file, without ".profile") or by path.
ProfileReading findProfile(const QString& nameOrPath);
QStringList profileNames();
// The user's own profiles' folder, made with a README that explains how to add one, where
// it is not there yet; its path.
QString userProfileFolder();
// The README's text.
QByteArray profileFolderReadme();

} // namespace ww
