#pragma once

#include "model/store.h"

#include <QByteArray>

namespace ww {

constexpr char kGeneratorEol = 10;
constexpr int kBlockSamples = 128;

// Line coding of the generator: numbers as reversed hexadecimal digits, least significant
// first ("03E8" goes out as "8E30"), the waveform number as reversed decimal ("01" -> "10").
QByteArray reversedHex4(int n);
QByteArray reversedDecimal2(int n);
// 12-bit code of a sample: ((v + 1) / 2) * 4095, ties to even, held to 0..4095.
int sampleCode(float v);

// "ARB:P_P " + number + length + LF (15 bytes).
QByteArray headerLine(float arbNumber, float arbLength);
// "ARB:DATA " + block number (block + 1) + " " + 128 fields + LF (527 bytes); fields past the
// length are "0000".
QByteArray dataLine(const WaveStore& store, int block);
int blockCount(float arbLength);

} // namespace ww
