#pragma once

#include <vector>

namespace ww {

// `values` resampled linearly to `length` points, the first and last kept where they are: a
// record of a signal, whose ends are its ends.
std::vector<double> resampleLinear(const std::vector<double>& values, int length);
// The same for one period of a waveform: the sample after the last is the first again, so
// the period keeps its length (a cosine stays a cosine at any length).
std::vector<double> resamplePeriodic(const std::vector<double>& values, int length);
// A record as a waveform: as it is up to 16000 samples, resampled linearly to 16000 when
// longer.
std::vector<float> recordAsWaveform(const std::vector<float>& record);

// How values beyond -1..+1 come in: Auto leaves values inside as they are and scales the
// others so the peak is 1; Peak scales so the peak is 1 (up or down); Range maps min..max onto
// -1..+1; Clip holds them at the limits. Any finite values, however large, give finite samples.
enum class ImportFit { Auto, Peak, Range, Clip };
std::vector<float> fitImported(const std::vector<double>& values, ImportFit fit);

} // namespace ww
