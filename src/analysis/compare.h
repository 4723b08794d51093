#pragma once

#include "bandlimit.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace ww {

// Did the generator put out what was sent? The sent waveform (one period, N samples, sample i
// held from i - 1/2 to i + 1/2) against a captured curve of any count holding about one to a
// hundred periods, whole or not, starting at any phase, with any gain (inverted too) and
// offset, seen through an oscilloscope's band limit, noisy, jittered and quantised as an
// oscilloscope sends it.
//
// The period is found from the capture's spectrum (its strongest line is a known harmonic of the
// sent waveform) and refined by folding the capture onto one period and correlating it with
// the sent waveform for each period tried; the phase comes from the same cross-correlation.
// Period, phase, gain and offset are then fitted together by least squares, and a band limit
// (one pole or a pair) fitted where it explains the edges better than the held samples do. An
// error is what a point lies beyond the model's values within half a capture step and the
// timing spread of it; errors are fractions of full scale, the generator's -1..+1. The noise
// is the residuals' robust spread; only errors that noise would not make count against a match.

// How far a capture may stray and still match, in percent of full scale.
struct CompareTolerance {
    double maxErrorPct = 5.0;
    double rmsErrorPct = 3.0;
    double minCorrelation = 0.5;
};

// One captured point in the sent waveform's frame.
struct AlignedPoint {
    double at = 0;    // where it falls in the sent waveform, in samples, 0 <= at < N
    double value = 0; // (captured - offset) / gain
    double error = 0; // fraction of full scale
};

struct Comparison {
    QString error;       // the comparison was refused, and why; nothing else is set
    double periods = 0;  // of the sent waveform in the capture
    double phaseDeg = 0; // where the capture starts in the sent waveform's period
    double gain = 0;     // captured = gain × sent + offset
    double offset = 0;   //
    double correlation = 0;
    double rmsError = 0; // fractions of full scale
    double maxError = 0; //
    // The region of the largest error, in sample indices of the sent waveform, both included;
    // worstTo < worstFrom when it runs across the end of the period.
    int worstFrom = 0, worstTo = 0;
    BandLimit bandLimit;     // order 0: none seen, the held samples explain the capture
    double noise = 0;        // the residuals' robust RMS, a fraction of full scale
    double timingSpread = 0; // of the points on edges, in periods
    int regions = 0;         // runs of points beyond the tolerance and what noise explains
    bool match = false;      // no such region, and RMS and correlation within the tolerance
    QStringList notes;       // what the figures alone do not say
    std::vector<AlignedPoint> points; // in capture order
};

// Limits of what is compared: the sent waveform's and the capture's counts.
constexpr int kCompareMaxSent = 1000000;
constexpr int kCompareMaxCaptured = 1000000;
constexpr int kCompareMinCaptured = 16;

Comparison compareCapture(const std::vector<double>& sent, const std::vector<double>& captured,
                          const CompareTolerance& tolerance = {});

// The band limit in words: "none seen", or its -3 dB point and kind.
QString bandLimitText(const BandLimit& b);

// "name: value" a line (band limit, noise and error regions after the errors), then
// "worst: samples A..B" and "verdict: match" or "verdict: mismatch".
QStringList comparisonLines(const Comparison& c);

} // namespace ww
