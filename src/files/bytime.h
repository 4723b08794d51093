#pragma once

#include <QString>
#include <span>
#include <vector>

namespace ww {

// Values recorded at uneven times (a simulator's adaptive steps, a logger's events) on even
// ones, from the first time to the last, each the straight line between the two rows around
// it: steps as short as the shortest recorded (so that an edge the simulator stepped finely
// keeps its shape), but no fewer points than rows and no more than `most` unless there are
// more rows. Times that do not fall back are needed; a time repeated
// (a step in the value) takes the later row. Steps even within `tolerance` of their mean are
// left as they are. Linear in the rows, no other memory than the result.
struct EvenTimes {
    QString error;                    // the times cannot be used, and why (the row, from 0)
    bool resampled = false;           // the steps were uneven, `values` is new
    std::vector<double> values;       // with `resampled`
    double step = 0;                  // the even step, in the time's unit
    double shortest = 0, longest = 0; // of the steps as recorded
};

EvenTimes evenInTime(std::span<const double> time, std::span<const double> values,
                     std::size_t most = 16000, double tolerance = 1e-6);

} // namespace ww
