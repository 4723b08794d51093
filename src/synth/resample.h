#pragma once

#include <vector>

namespace ww {

// `values` resampled linearly to `length` points, the first and last kept where they are.
std::vector<double> resampleLinear(const std::vector<double>& values, int length);

// How imported values beyond -1..+1 come in: as they are (the default when all are inside),
// scaled so the peak is 1, min..max mapped onto -1..+1, or held at the limits.
enum class ImportFit { AsIs, Peak, Range, Clip };
std::vector<float> fitImported(const std::vector<double>& values, ImportFit fit);

} // namespace ww
