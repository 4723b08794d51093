#pragma once

#include "model/store.h"

#include <QString>
#include <optional>
#include <vector>

namespace ww {

// Math Waveform operations on samples 0..ArbLength-1 (Subtract also covers ArbLength).
// Each works in double precision and stores single precision.

// Average with, or half the difference from, a file's samples (`fileLength` of them, the
// rest counting as 0.0). The length is raised to the file's, never lowered.
void mixWithFile(WaveStore& store, const std::vector<float>& fileSamples, int fileLength,
                 bool subtract);

void symmetryX(WaveStore& store);
void symmetryY(WaveStore& store);

// A factor between -1 and 1 (exclusive) is refused: false, nothing changed.
bool amplitudeDivide(WaveStore& store, float divisor);
bool amplitudeMultiply(WaveStore& store, float multiplier); // result held to -1..+1
// False when the peak is 0 or exactly 1: nothing changes.
bool amplitudeNormalize(WaveStore& store);
// k copies of the waveform, each taking every k-th sample. False (refused) for k < 1.
bool frequencyMultiply(WaveStore& store, int k);

// Input-box answers: the factor stays 1 when the answer is not a number.
float factorFromAnswer(const std::optional<QString>& answer);
int coefficientFromAnswer(const std::optional<QString>& answer);

} // namespace ww
