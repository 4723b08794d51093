#pragma once

#include "model/store.h"

#include <QString>
#include <functional>
#include <vector>

namespace ww {

// The spectrum of a waveform and the figures of IEEE Std 1241 made from it.
//
// A whole number m of periods (no window): the transform over exactly its N samples is exact,
// bin k·m is harmonic k; the record's spectrum tells that it is whole (nothing leaks beside its
// strongest bin). Asked for no window, a record that is not whole goes through Hann's. A record
// that is not one period is windowed (Hann, Blackman-Harris or flat-top); the window finds its
// fundamental (the strongest component) and its spurs, and the harmonics themselves are fitted to
// the record by least squares, the fundamental's frequency refined as IEEE Std 1057 fits a sine;
// what the fit leaves is noise. So a record of few periods, whose harmonics share the window's
// bins, is measured right too; one of fewer than 1.5 periods is refused.
enum class SpectrumWindow { None, Hann, BlackmanHarris, FlatTop };

struct Harmonic {
    int k = 0;            // 1: the fundamental
    double amplitude = 0; // peak amplitude, in the waveform's units
    double dBc = 0;       // against the fundamental
    double phaseDeg = 0;  // of the cosine, at the record's start (one period only)
};

struct SpectrumFigures {
    QString error;                                // empty when the figures can be used
    SpectrumWindow window = SpectrumWindow::None; // the one it was measured through
    QString warning;        // the figures stand, but the record is not what they describe
    int used = 0;           // the samples analysed: a long record may be trimmed to a fast length
    double fundamental = 0; // in cycles over the record (1 for one period)
    std::vector<Harmonic> harmonics; // 1..H
    // IEEE Std 1241: total harmonic distortion (harmonics 2..H), THD+N (all but DC and the
    // fundamental), SNR (all but DC, the fundamental and harmonics 2..H), SFDR (the fundamental
    // against the largest other component), SINAD and the effective number of bits from it.
    double thdDb = 0, thdnDb = 0, snrDb = 0, sfdrDb = 0, sinadDb = 0, enobBits = 0;
};

// Beyond this the figures are not measured (the transform computes in single precision): a
// ratio past it is shown as the floor, "> 140.00 dB", not as a number it does not hold.
constexpr double kSpectrumFloorDb = 140.0;
enum class Figure { Thd, ThdN, Snr, Sfdr, Sinad, Enob };
// The figure as text with a point and two decimals, its unit after it, or the floor.
QString figureText(const SpectrumFigures& figures, Figure which);

// The figures on one line ("THD -40.00 dB, THD+N ..., fundamental 1.00 periods"), and what
// they were measured with ("window none, 12 bits no, harmonics 50").
QString figuresLine(const SpectrumFigures& figures);
QString settingsLine(const SpectrumFigures& figures, bool quantized, int harmonics);
// The harmonics as CSV (harmonic,amplitude,dBc,phase_deg), after two lines starting with '#'
// that give the settings and the figures.
QByteArray spectrumCsv(const SpectrumFigures& figures, bool quantized, int harmonics);

// H: 50 by default, fewer where N/2 is fewer.
SpectrumFigures analyseSpectrum(const std::vector<double>& samples, int harmonics = 50,
                                SpectrumWindow window = SpectrumWindow::None);

// The longest stretch of a record that is analysed (2^17 points): a longer one is measured over
// its first points, in bounded time and memory.
constexpr int kSpectrumStretch = 131072;

// The largest length up to `n` whose only prime factors are 2, 3 and 5: the transform is fast
// there.
int fastTransformLength(int n);

// The samples as the generator makes them: each coded as the upload codes it (`code`: a sample
// to 0..`top`, the generator's 12 bits: `sampleCode` and 4095), then back to -1..+1.
std::vector<double> asGenerated(const std::vector<double>& samples,
                                const std::function<int(float)>& code, int top);

} // namespace ww
