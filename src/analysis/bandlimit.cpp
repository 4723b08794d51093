#include "bandlimit.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace ww {

namespace {
using Matrix = std::array<double, 4>; // row by row

// e^(A t) for the pair's A = [[0, 1], [-w², -2 z w]], in closed form.
Matrix pairExponential(double w, double z, double t) {
    const Matrix a = {0.0, 1.0, -w * w, -2 * z * w};
    if (z < 1 - 1e-6) {
        const double alpha = z * w, beta = w * std::sqrt(1 - z * z);
        const double decay = std::exp(-alpha * t), c = std::cos(beta * t),
                     s = std::sin(beta * t) / beta;
        return {decay * (c + s * (a[0] + alpha)), decay * s * a[1], decay * s * a[2],
                decay * (c + s * (a[3] + alpha))};
    }
    const double decay = std::exp(-w * t);
    return {decay * (1 + t * (a[0] + w)), decay * t * a[1], decay * t * a[2],
            decay * (1 + t * (a[3] + w))};
}
} // namespace

std::vector<double> HeldResponse::heldOnGrid(const std::vector<double>& samples,
                                             std::size_t gridPoints) {
    const std::size_t n = samples.size();
    std::vector<double> held;
    if (gridPoints >= n) {
        // Whole steps a sample.
        const std::size_t per = (gridPoints + n - 1) / n;
        held.reserve(n * per);
        for (const double v : samples)
            held.insert(held.end(), per, v);
        return held;
    }
    // The mean of each step's span of the held samples.
    const std::size_t grid = std::max<std::size_t>(gridPoints, 1);
    held.resize(grid);
    std::vector<double> sums(n + 1, 0.0);
    for (std::size_t i = 0; i < n; ++i)
        sums[i + 1] = sums[i] + samples[i];
    const auto integral = [&](double x) {
        const auto i = std::min(static_cast<std::size_t>(x), n - 1);
        return sums[i] + (x - static_cast<double>(i)) * samples[i];
    };
    const double width = static_cast<double>(n) / static_cast<double>(grid);
    for (std::size_t g = 0; g < grid; ++g)
        held[g] =
            (integral(std::min(static_cast<double>(n), (g + 1) * width)) - integral(g * width)) /
            width;
    return held;
}

HeldResponse::HeldResponse(const std::vector<double>& samples, const BandLimit& band,
                           std::size_t gridPoints)
    : HeldResponse(heldOnGrid(samples, gridPoints), samples.size(), band) {}

HeldResponse::HeldResponse(const std::vector<double>& held, std::size_t samples,
                           const BandLimit& band)
    : m_n(static_cast<int>(samples)) {
    const std::size_t grid = held.size();
    m_perSample = static_cast<double>(grid) / static_cast<double>(samples);
    m_y.assign(grid + 1, 0.0);
    const double step = 1.0 / m_perSample; // in samples
    auto run = [&](auto&& stepOnce) {
        for (std::size_t g = 0; g < grid; ++g)
            stepOnce(g, held[g]);
    };
    if (band.order == 1) {
        // One pole: y' = (u - y) / tau, exact for an input held over each step. Started from
        // rest; the steady state differs by what is left of the start, y0 e^(-t/tau), where
        // y0 = y(N) / (1 - e^(-N/tau)) makes the period end where it starts.
        const double tau = m_n / (2 * M_PI * band.harmonics);
        const double keep = std::exp(-step / tau);
        double y = 0;
        run([&](std::size_t g, double u) {
            m_y[g] = y;
            y = keep * y + (1 - keep) * u;
        });
        double left = y / (1 - std::exp(-m_n / tau));
        for (std::size_t g = 0; g < grid && std::abs(left) > 1e-16; ++g, left *= keep)
            m_y[g] += left;
        m_delay = tau;
    } else if (band.order == 2) {
        // A pair: x = (y, y'), x' = A x + (0, w²) u; over a step x -> P x + (I - P)(u, 0).
        // The same from rest, then the start's remainder e^(A t) x0 added, with
        // x0 = (I - e^(A N))⁻¹ x(N).
        // The natural frequency from the -3 dB point: |H|² = 1/2 where
        // (w/w0)² = 1 - 2z² + sqrt(4z⁴ - 4z² + 2).
        const double z = std::clamp(band.damping, 0.3, 1.0);
        const double ratio =
            std::sqrt(1 - 2 * z * z + std::sqrt(4 * z * z * z * z - 4 * z * z + 2));
        const double w = 2 * M_PI * band.harmonics / m_n / ratio;
        const Matrix p = pairExponential(w, z, step);
        const double g0 = 1 - p[0], g1 = -p[2];
        double y = 0, v = 0;
        run([&](std::size_t g, double u) {
            m_y[g] = y;
            const double ny = p[0] * y + p[1] * v + g0 * u;
            v = p[2] * y + p[3] * v + g1 * u;
            y = ny;
        });
        const Matrix whole = pairExponential(w, z, m_n);
        const double a = 1 - whole[0], b = -whole[1], c = -whole[2], d = 1 - whole[3];
        const double det = a * d - b * c;
        double ly = (d * y - b * v) / det, lv = (a * v - c * y) / det;
        for (std::size_t g = 0; g < grid && std::abs(ly) + std::abs(lv) / w > 1e-16; ++g) {
            m_y[g] += ly;
            const double ny = p[0] * ly + p[1] * lv;
            lv = p[2] * ly + p[3] * lv;
            ly = ny;
        }
        m_delay = 2 * z / w;
    } else {
        run([&](std::size_t g, double u) { m_y[g] = u; });
    }
    m_y[grid] = m_y[0];
}

double HeldResponse::at(double pos) const {
    double slope = 0;
    return at(pos, slope);
}

double HeldResponse::at(double pos, double& slope) const {
    if (pos < 0)
        pos += m_n;
    else if (pos >= m_n)
        pos -= m_n;
    const double g = pos * m_perSample;
    const std::size_t last = m_y.size() - 2;
    const std::size_t i = std::min(static_cast<std::size_t>(std::max(g, 0.0)), last);
    const double f = g - static_cast<double>(i);
    slope = (m_y[i + 1] - m_y[i]) * m_perSample;
    return m_y[i] + f * (m_y[i + 1] - m_y[i]);
}

} // namespace ww
