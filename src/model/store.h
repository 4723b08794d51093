#pragma once

#include <QString>
#include <array>

namespace ww {

constexpr int kStoreLastIndex = 16000;
constexpr int kMinLength = 4;
constexpr int kMaxLength = 16000;

// The one waveform the program edits. Samples 0..ArbLength-1 are the waveform proper;
// sample ArbLength closes the period on the canvas and is never saved or sent.
struct WaveStore {
    std::array<float, kStoreLastIndex + 1> ArbData{};
    float ArbLength = 201.0f; // always a whole number
    float ArbNumber = 1.0f;   // generator memory slot 1..8

    int length() const; // ArbLength as a whole number, held to the store
    float sample(int i) const { return ArbData[static_cast<std::size_t>(clampIndex(i))]; }
    static int clampIndex(int i) { return i < 0 ? 0 : (i > kStoreLastIndex ? kStoreLastIndex : i); }
};

// O&ther > Clear: zero samples 0..ArbLength inclusive.
void clearSamples(WaveStore& store);

// Writes y at x and fills the samples between the anchor and x along a straight line.
// Both indices are held to the store's bounds.
void FillToPoint(WaveStore& store, int anchor, int x, float y);

// Six-character text of one sample: " 0.500", "-0.250", " 1.000". A value whose text is
// longer (-16.651) is written whole rather than cut.
QString FormatSample(float v);
// The same six characters appended to a byte string (the file writer's fast path).
void appendFormattedSample(QByteArray& out, float v);

} // namespace ww
