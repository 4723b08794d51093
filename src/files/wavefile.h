#pragma once

#include "model/store.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

namespace ww {

// The waveform data file: the length on line 1, then one six-character sample per line,
// every line ended by CR LF.
QByteArray waveFileBytes(const QString& lengthText, const WaveStore& store);

// Whether Save can write `lengthText`: a number whose count of sample lines (one more than the
// nearest whole number to the number less one) is 4 to 16000.
bool isSaveableLength(const QString& lengthText);

// Writes the file through a temporary, so a failed save never leaves a cut-short file where
// the user's file was. Returns an empty string or the reason it failed.
QString writeWaveFile(const QString& path, const QString& lengthText, const WaveStore& store);

// The name test of File > Open and Add/Subtract: ".txt" or ".TXT", nothing else.
bool hasWaveFileExtension(const QString& name);

struct WaveFileContent {
    QString error;              // empty when the file can be used
    double lengthValue = 0.0;   // the number on line 1
    int length = 0;             // rounded and held to the range of the use
    bool lengthLimited = false; // the range changed it: the length message is due
    std::vector<float> samples; // exactly `length` values; an early end leaves 0.0
    int held = 0;               // samples the file holds up to `length`
    bool more = false;          // lines with text follow the last sample read
};

// What the file is read for: File > Open holds the length to 4..16000; Add and Subtract take
// it as it stands, but never more than the store holds (16000).
enum class WaveFileUse { Open, Mix };

// Reads and checks the whole file before anything is changed. For Open the first empty line
// or the end of the file ends the samples (the rest are 0.0); for Add and Subtract a file with
// fewer samples than line 1 announces is refused. Lines after the last sample are not looked
// at. Numbers may use a point or a comma.
WaveFileContent parseWaveFile(const QByteArray& bytes, WaveFileUse use = WaveFileUse::Open);
WaveFileContent readWaveFile(const QString& path, WaveFileUse use = WaveFileUse::Open);

// The most a waveform file can hold, with room for hand-written ones: more is not one.
constexpr qsizetype kWaveFileMostBytes = 4 * 1024 * 1024;
// Up to `most` bytes from the start of a file; `error` says why when it cannot be read.
QByteArray readHead(const QString& path, std::int64_t most, QString& error);
// Whether bytes from the start of a file are the program's own waveform file by their content:
// line 1 a plain whole number, then one number a line. `wholeFile`: the bytes are all of it.
// `named`: the name ends in .txt or .TXT, and line 1 is enough (Open says what is wrong with
// the rest); otherwise it must hold exactly the samples line 1 announces, and nothing after.
bool looksLikeWaveFile(const QByteArray& head, bool wholeFile, bool named);

// A length or sample text: blanks around it, a point or a comma, an exponent if any ("1e-3");
// false when it is not a finite number.
bool parseFileNumber(QByteArrayView text, double& value);

} // namespace ww
