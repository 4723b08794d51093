#pragma once

#include <vector>

namespace ww {

// An oscilloscope's front end as the comparison models it: a band limit of one pole, or of a
// pair with a damping, its -3 dB frequency in multiples of the waveform's fundamental.
struct BandLimit {
    int order = 0;            // 0: none, 1: one pole, 2: a pole pair
    double damping = 0.70711; // of the pair, 0.3 to 1 (0.70711: Butterworth)
    double harmonics = 0;     // where the response is 3 dB down
};

// One period of what the generator puts out (sample i held from i to i + 1 of N) seen through
// a band limit, in its steady state: the response is made exactly, step by step, on a grid of
// `gridPoints` points a period, and read between them along the straight line. A grid of at
// least N points steps through each sample whole; a coarser one through the mean of what each
// of its steps holds, which is close enough while a step is short beside the band limit's
// rise.
class HeldResponse {
  public:
    HeldResponse(const std::vector<double>& samples, const BandLimit& band, std::size_t gridPoints);
    // The input on the grid, made once for many band limits: what each step holds.
    static std::vector<double> heldOnGrid(const std::vector<double>& samples,
                                          std::size_t gridPoints);
    // From that, for `samples` samples a period.
    HeldResponse(const std::vector<double>& held, std::size_t samples, const BandLimit& band);
    int size() const { return m_n; }
    double at(double pos) const;
    // The same, and its slope per sample.
    double at(double pos, double& slope) const;
    // How late slow change comes through, in samples: the group delay at low frequencies.
    double delay() const { return m_delay; }

  private:
    int m_n;
    double m_perSample; // grid points a sample
    double m_delay = 0;
    std::vector<double> m_y; // the grid, its last point the first again
};

} // namespace ww
