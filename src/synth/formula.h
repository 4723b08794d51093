#pragma once

#include "model/store.h"

#include <QString>
#include <optional>

namespace ww {

// The two-term sine sum "A sin Bx + C sin Dx", as typed: "sinx+0.5sin2x".
struct SineSumTerms {
    double A = 1.0; // amplitude of the first sine
    double B = 1.0; // number before the first x
    float C = 1.0f; // amplitude of the second sine
    int D = 1;      // number before the second x
};

enum class FormulaError { None, Empty, Malformed, NoFiniteResult, TooLong };

struct FormulaParse {
    FormulaError error = FormulaError::None;
    SineSumTerms terms;
};

// Reads the answer left to right: prefix, "sin", prefix, "x+", prefix, "sin", prefix, "x";
// what follows is ignored. A prefix is a run of characters below "a"; when not empty, its
// term takes the number at the start of the rest of the text.
FormulaParse parseSineSum(const QString& answer);

// The number standing at the start of a text: blanks anywhere are skipped, an optional sign,
// digits and one point; no number gives 0.
double leadingNumber(QStringView text);

// Computes the waveform into the store: samples 0..old length-1 cleared, the length cut to a
// multiple of K = D / B (a negative K rounds it up), then (A sin x + C sin Kx) / (A + C) over
// one period. Refused, with the store untouched, when A + C is 0 or a sample would not be a
// finite number (NoFiniteResult), or when the samples would reach past index 16000 (TooLong).
FormulaError applySineSum(WaveStore& store, const SineSumTerms& terms);

} // namespace ww
