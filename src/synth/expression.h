#pragma once

#include "model/numbers.h"

#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace ww {

// A waveform written as an expression, evaluated with muparser at every sample. Variables:
// x (0 to 2π over the waveform), n (the sample index), N (the length), t (n / N) and y (the
// current sample). Functions beyond muparser's own, each of period 2π and range -1..+1 where
// it has one: square(p), triangle(p), saw(p), pulse(p, duty), noise(seed) (the same for the
// same seed and n) and clip(v, lo, hi). Constants pi and e. An expression gives one value:
// several results (a comma outside a function's arguments) and assignments are refused.
class Expression {
  public:
    struct Error {
        QString message;
        int position = -1; // the character it concerns, -1 when none
    };
    struct Values {
        std::vector<double> samples;
        int nonFiniteAt = -1; // the first sample that is not a finite number
        double peak = 0.0;    // the largest magnitude
        double closing = 0.0; // the sample after the last (n = N, x = 2π), the first where
                              // that is not a finite number
    };

    Expression();
    ~Expression();
    Expression(const Expression&) = delete;
    Expression& operator=(const Expression&) = delete;

    // Takes a new text; nullopt when it is an expression, else what is wrong and where.
    std::optional<Error> setText(const QString& text);
    // Whether the expression reads y, the current waveform.
    bool usesCurrent() const;
    // The variables, constants, operators and every function with its parameters, as lines.
    static QString help();
    // The expression at `length` samples, and the closing one after them; `current` holds the
    // waveform's `length` samples (y), or null for zeros.
    Values evaluate(int length, const float* current) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// How values outside -1..+1 are brought in: held at the limits, or all scaled so the peak is 1.
enum class Fit { Clip, Peak };
std::vector<float> fitToRange(const std::vector<double>& values, Fit fit);
// The same with the closing sample after them, scaled as they are.
std::vector<float> fitWithClosing(const Expression::Values& values, Fit fit);

} // namespace ww
