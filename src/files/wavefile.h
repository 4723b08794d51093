#pragma once

#include "editor/store.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace ww {

// The waveform data file: the length on line 1, then one six-character sample per line,
// every line ended by CR LF.
QByteArray waveFileBytes(const QString& lengthText, const WaveStore& store);

// Writes the file through a temporary, so a failed save never leaves a cut-short file where
// the user's file was. Returns an empty string or the reason it failed.
QString writeWaveFile(const QString& path, const QString& lengthText, const WaveStore& store);

// The name test of File > Open and Add/Subtract: ".txt" or ".TXT", nothing else.
bool hasWaveFileExtension(const QString& name);

struct WaveFileContent {
    QString error;            // empty when the file can be used
    double lengthValue = 0.0; // the number on line 1
    int length = 0;           // rounded and held to 4..16000
    bool lengthLimited = false;
    std::vector<float> samples; // exactly `length` values; an early end leaves 0.0
};

// Reads and checks the whole file before anything is changed. The first empty line or the
// end of the file ends the samples (the rest are 0.0); lines after the last sample are not
// looked at. Numbers may use a point or a comma.
WaveFileContent parseWaveFile(const QByteArray& bytes);
WaveFileContent readWaveFile(const QString& path);

// A sample or length text: blanks around, point or comma; nullopt-like NaN when not a number.
bool parseFileNumber(QByteArrayView text, double& value);

} // namespace ww
