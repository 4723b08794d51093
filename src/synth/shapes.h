#pragma once

#include "model/store.h"

namespace ww {

// The constant the shapes and the sine-sum formula use for pi, held in single precision.
constexpr float kShapePi = 3.14159f;

// Standard Waveform menu. Each writes samples 0..ArbLength inclusive, one period over the
// length, and leaves the length and everything above it alone.
void makeSquare(WaveStore& store);
void makeSine(WaveStore& store);
void makeCosine(WaveStore& store);
void makeTriangle(WaveStore& store);
void makePositiveRamp(WaveStore& store);
void makeNegativeRamp(WaveStore& store);

} // namespace ww
