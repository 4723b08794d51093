#include "compare.h"

#include "bandlimit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <kiss_fftr.h>
#include <map>
#include <memory>
#include <numeric>
#include <optional>

namespace ww {

namespace {
constexpr int kBins = 1024;         // the phase grid of the search: 1/1024 of a period
constexpr int kMaxCandidates = 8;   // harmonics the capture's strongest line may be
constexpr double kMinPeriods = 0.9; // about one period at least
constexpr int kMinPointsPerPeriod = 16;

// Plans of the real transforms, kept for the next comparison of the same sizes.
kiss_fftr_cfg plan(int n, bool inverse) {
    using Plan = std::unique_ptr<std::remove_pointer_t<kiss_fftr_cfg>, decltype(&kiss_fftr_free)>;
    thread_local std::map<std::pair<int, bool>, Plan> plans;
    auto it = plans.find({n, inverse});
    if (it == plans.end())
        it = plans
                 .emplace(
                     std::pair{n, inverse},
                     Plan(kiss_fftr_alloc(n, inverse ? 1 : 0, nullptr, nullptr), &kiss_fftr_free))
                 .first;
    return it->second.get();
}

// The whole part below x, for the inner loops: std::floor is a library call on the plain
// x86-64 instruction set, and costs more than the rest of the loop.
inline double below(double x) {
    const auto whole = static_cast<double>(static_cast<long long>(x));
    return whole > x ? whole - 1 : whole;
}

int powerOfTwoAtLeast(int n) {
    int p = 1;
    while (p < n)
        p *= 2;
    return p;
}

// The sent waveform as one period, the sample after the last being the first again.
class Period {
  public:
    explicit Period(const std::vector<double>& sent)
        : m_n(static_cast<int>(sent.size())), m_s(sent), m_nodes(sent.size() + 1),
          m_padded(sent.size() + 5) {
        for (int i = 0; i < m_n; ++i)
            m_nodes[i + 1] = {m_nodes[i].cum + m_s[i], 0.0}, m_nodes[i].held = m_s[i];
        for (int i = 0; i < m_n + 5; ++i)
            m_padded[i] = (*this)[i - 2];
    }
    int size() const { return m_n; }
    // Into [0, N), from no further than one period off.
    double wrap(double pos) const {
        if (pos < 0)
            pos += m_n;
        else if (pos >= m_n)
            pos -= m_n;
        return pos;
    }
    double operator[](int i) const { return m_s[((i % m_n) + m_n) % m_n]; }
    // The generator holds each sample for a step.
    double held(double pos) const {
        return m_nodes[std::clamp(static_cast<int>(wrap(pos)), 0, m_n - 1)].held;
    }
    // The integral of the held samples from 0 to pos, no further than one period off, and
    // the sample held there.
    double integral(double pos, double* held = nullptr) const {
        const double turns = pos < 0 ? -1.0 : (pos >= m_n ? 1.0 : 0.0);
        pos -= turns * m_n;
        const int i = std::clamp(static_cast<int>(pos), 0, m_n - 1);
        const Node& node = m_nodes[i];
        if (held)
            *held = node.held;
        return turns * m_nodes[m_n].cum + node.cum + (pos - i) * node.held;
    }
    // What the fit compares with: the held waveform seen through a window as wide as a
    // capture step (at least a sample), smooth enough for an edge to be placed between two
    // points. One sample wide, it is the straight line through the middles of the steps.
    void setBlur(double width) {
        m_blur = std::max(1.0, width);
        m_perBlur = 1.0 / m_blur;
    }
    double at(double pos) const {
        return (integral(pos + 0.5 * m_blur) - integral(pos - 0.5 * m_blur)) * m_perBlur;
    }
    // The same, and its slope per sample, from the same two places.
    double at(double pos, double& slope) const {
        double after = 0, before = 0;
        const double value =
            (integral(pos + 0.5 * m_blur, &after) - integral(pos - 0.5 * m_blur, &before)) *
            m_perBlur;
        slope = (after - before) * m_perBlur;
        return value;
    }
    // The least and greatest of the samples held within a sample of pos (0 <= pos < N), and
    // of those whose straight line reaches there: the four from pos - 1.5 to pos + 1.5.
    void levelsNear(double pos, double& lo, double& hi) const {
        const double* p = m_padded.data() + static_cast<int>(below(pos - 1.5)) + 2;
        lo = std::min(std::min(p[0], p[1]), std::min(p[2], p[3]));
        hi = std::max(std::max(p[0], p[1]), std::max(p[2], p[3]));
    }
    // The four themselves.
    const double* near(double pos) const {
        return m_padded.data() + static_cast<int>(below(pos - 1.5)) + 2;
    }

  private:
    struct Node {
        double cum;  // the integral up to the sample
        double held; // the sample
    };

    int m_n;
    std::vector<double> m_s;
    std::vector<Node> m_nodes;
    std::vector<double> m_padded;
    double m_blur = 1.0, m_perBlur = 1.0;
};

// The sent waveform on the search's grid: node j is the mean of the sent samples within half a
// node of it, the samples held as the generator holds them.
std::vector<float> onGrid(const Period& s) {
    const int n = s.size();
    std::vector<float> g(kBins);
    const double width = static_cast<double>(n) / kBins;
    for (int j = 0; j < kBins; ++j)
        g[j] = static_cast<float>((s.integral((j + 0.5) * width) - s.integral((j - 0.5) * width)) /
                                  width);
    const double mean = std::accumulate(g.begin(), g.end(), 0.0) / kBins;
    for (float& v : g)
        v = static_cast<float>(v - mean);
    return g;
}

// The capture folded onto one period for a number of periods, and correlated with the sent
// waveform at every phase of the grid. The correlation is weighed by how much the sent
// waveform varies over the points at that phase, so that a part of a period is judged as
// fairly as many periods.
class Search {
  public:
    Search(const std::vector<double>& centred, const std::vector<float>& grid)
        : m_c(centred), m_fold(kBins), m_count(kBins), m_spectrum(kBins / 2 + 1),
          m_product(kBins / 2 + 1), m_correlation(kBins), m_sum(kBins), m_squares(kBins) {
        std::vector<float> g = grid, g2(kBins);
        for (int j = 0; j < kBins; ++j)
            g2[j] = grid[j] * grid[j];
        kiss_fftr(plan(kBins, false), g.data(), m_sent.data());
        kiss_fftr(plan(kBins, false), g2.data(), m_sentSquared.data());
        for (const float v : grid)
            m_variance += double(v) * v / kBins; // the grid's mean is 0
    }

    // Only the points `mask` heeds count from now on (null: all).
    void setMask(const std::vector<float>* mask) { m_mask = mask; }

    // The best phase for `periods`, in periods, and the correlation there (negative for an
    // inverted capture).
    double score(double periods, double& phase) {
        std::fill(m_fold.begin(), m_fold.end(), 0.0f);
        std::fill(m_count.begin(), m_count.end(), 0.0f);
        const double step = periods / static_cast<double>(m_c.size()) * kBins;
        for (std::size_t t = 0; t < m_c.size(); ++t) {
            if (m_mask && (*m_mask)[t] == 0)
                continue;
            const double x = static_cast<double>(t) * step;
            const double whole = below(x);
            const auto f = static_cast<float>(x - whole);
            const int j = static_cast<int>(static_cast<long long>(whole) & (kBins - 1));
            const int next = (j + 1) & (kBins - 1);
            const auto v = static_cast<float>(m_c[t]);
            m_fold[j] += (1.0f - f) * v;
            m_fold[next] += f * v;
            m_count[j] += 1.0f - f;
            m_count[next] += f;
        }
        correlate(m_fold, m_sent, m_correlation);
        const double points = m_mask ? std::accumulate(m_mask->begin(), m_mask->end(), 0.0)
                                     : static_cast<double>(m_c.size());
        if (periods < 4) {
            // The correlation coefficient's numerator over the spread of the sent waveform
            // there: a part of a period may cover its phases unevenly.
            correlate(m_count, m_sent, m_sum);
            correlate(m_count, m_sentSquared, m_squares);
            for (int m = 0; m < kBins; ++m) {
                const double sum = m_sum[m] / double(kBins);
                const double spread = m_squares[m] / double(kBins) - sum * sum / points;
                // A phase the points hardly cover (a mask leaves gaps) says nothing.
                m_normal[m] = spread > 0.1 * points * m_variance
                                  ? static_cast<float>(m_correlation[m] / kBins / std::sqrt(spread))
                                  : 0;
            }
        } else {
            // Four periods and more cover every phase nearly alike: the spread is the sent
            // waveform's own.
            const double scale = 1.0 / (kBins * std::sqrt(points * m_variance));
            for (int m = 0; m < kBins; ++m)
                m_normal[m] = static_cast<float>(m_correlation[m] * scale);
        }
        auto at = [&](int m) { return double(m_normal[(m + kBins) & (kBins - 1)]); };
        int best = 0;
        for (int m = 1; m < kBins; ++m)
            if (std::abs(m_normal[m]) > std::abs(m_normal[best]))
                best = m;
        const double sign = at(best) < 0 ? -1.0 : 1.0;
        const double y0 = sign * at(best - 1), y1 = sign * at(best), y2 = sign * at(best + 1);
        const double curve = y0 - 2 * y1 + y2;
        const double shift = curve < 0 ? std::clamp(0.5 * (y0 - y2) / curve, -0.5, 0.5) : 0.0;
        phase = (best + shift) / kBins;
        return sign * (y1 - 0.25 * (y0 - y2) * shift);
    }

    // After a score: the other phases where the correlation peaks at least half as high as at
    // its best, highest first, each with the sign there.
    std::vector<std::pair<double, double>> otherPeaks(std::size_t count) const {
        int best = 0;
        for (int m = 1; m < kBins; ++m)
            if (std::abs(m_normal[m]) > std::abs(m_normal[best]))
                best = m;
        auto size = [&](int m) { return std::abs(double(m_normal[(m + kBins) & (kBins - 1)])); };
        std::vector<std::pair<double, int>> peaks;
        for (int m = 0; m < kBins; ++m) {
            const int apart = std::min((m - best + kBins) % kBins, (best - m + kBins) % kBins);
            if (apart > 4 && size(m) >= size(m - 1) && size(m) > size(m + 1) &&
                size(m) >= 0.5 * size(best))
                peaks.push_back({size(m), m});
        }
        std::sort(peaks.rbegin(), peaks.rend());
        std::vector<std::pair<double, double>> out;
        for (std::size_t i = 0; i < peaks.size() && i < count; ++i)
            out.push_back({static_cast<double>(peaks[i].second) / kBins,
                           m_normal[peaks[i].second] < 0 ? -1.0 : 1.0});
        return out;
    }

  private:
    // out[m] = kBins × the sum over j of a[j] × b[j + m], b given by its transform.
    void correlate(std::vector<float>& a, const std::array<kiss_fft_cpx, kBins / 2 + 1>& b,
                   std::vector<float>& out) {
        kiss_fftr(plan(kBins, false), a.data(), m_spectrum.data());
        for (int k = 0; k <= kBins / 2; ++k) {
            const kiss_fft_cpx x = m_spectrum[k], y = b[k];
            m_product[k] = {x.r * y.r + x.i * y.i, x.r * y.i - x.i * y.r}; // conj(x) × y
        }
        kiss_fftri(plan(kBins, true), m_product.data(), out.data());
    }

    const std::vector<double>& m_c;
    std::vector<float> m_fold, m_count;
    std::array<kiss_fft_cpx, kBins / 2 + 1> m_sent{}, m_sentSquared{};
    std::vector<kiss_fft_cpx> m_spectrum, m_product;
    std::vector<float> m_correlation, m_sum, m_squares;
    std::array<float, kBins> m_normal{};
    double m_variance = 0;
    const std::vector<float>* m_mask = nullptr;
};

// The strongest line of the capture, in cycles over the record: Hann window, the mean (as the
// window weighs it) taken out, zero-padded twofold, the peak interpolated on its logarithm.
// `standing`: its power over the median line's, about 12 at most for noise alone.
double strongestLine(const std::vector<double>& c, double& standing) {
    const int m = static_cast<int>(c.size());
    const int size = powerOfTwoAtLeast(std::max(2 * m, 1024));
    std::vector<double> w(static_cast<std::size_t>(m));
    double mean = 0, sum = 0;
    for (int t = 0; t < m; ++t) {
        w[t] = 0.5 - 0.5 * std::cos(2 * M_PI * t / m);
        mean += w[t] * c[t];
        sum += w[t];
    }
    mean /= sum;
    std::vector<float> in(static_cast<std::size_t>(size), 0.0f);
    for (int t = 0; t < m; ++t)
        in[t] = static_cast<float>((c[t] - mean) * w[t]);
    std::vector<kiss_fft_cpx> out(static_cast<std::size_t>(size) / 2 + 1);
    kiss_fftr(plan(size, false), in.data(), out.data());
    auto power = [&](int b) { return double(out[b].r) * out[b].r + double(out[b].i) * out[b].i; };
    const double binsPerCycle = static_cast<double>(size) / m;
    const int first = std::max(1, static_cast<int>(std::ceil(0.4 * binsPerCycle)));
    int best = first;
    for (int b = first; b < size / 2; ++b)
        if (power(b) > power(best))
            best = b;
    std::vector<double> powers;
    powers.reserve(static_cast<std::size_t>(size / 2 - first));
    for (int k = first; k < size / 2; ++k)
        powers.push_back(power(k));
    std::nth_element(powers.begin(), powers.begin() + powers.size() / 2, powers.end());
    const double median = powers.empty() ? 0.0 : powers[powers.size() / 2];
    standing = median > 0 ? power(best) / median : (power(best) > 0 ? HUGE_VAL : 0.0);
    double shift = 0;
    if (best > 1) {
        const double a = std::log(power(best - 1) + 1e-300), b = std::log(power(best) + 1e-300),
                     d = std::log(power(best + 1) + 1e-300);
        const double curve = a - 2 * b + d;
        if (curve < 0)
            shift = std::clamp(0.5 * (a - d) / curve, -0.5, 0.5);
    }
    return (best + shift) / binsPerCycle;
}

// The harmonics of the sent waveform that its strongest line may be, strongest first.
std::vector<int> strongHarmonics(const std::vector<float>& grid) {
    std::vector<float> g = grid;
    std::vector<kiss_fft_cpx> out(kBins / 2 + 1);
    kiss_fftr(plan(kBins, false), g.data(), out.data());
    std::vector<std::pair<double, int>> level;
    for (int k = 1; k < kBins / 2; ++k)
        level.push_back({std::hypot(out[k].r, out[k].i), k});
    std::sort(level.rbegin(), level.rend());
    std::vector<int> ks;
    for (const auto& [a, k] : level)
        if (a >= 0.5 * level.front().first && static_cast<int>(ks.size()) < kMaxCandidates)
            ks.push_back(k);
    return ks;
}

// The four parameters fitted together: captured(t) = gain × sent(position(t)) + offset,
// position(t) = (t × periods / M + phase) × N.
struct Fit {
    double periods = 0, phase = 0, gain = 1, offset = 0;
};

// Where each point falls in the period for one fit, in samples, 0 <= place < N.
class Places {
  public:
    Places(const Fit& f, std::size_t m, int n)
        : m_step(f.periods / static_cast<double>(m)), m_phase(f.phase), m_n(n) {}
    double operator()(std::size_t t) const {
        const double turns = static_cast<double>(t) * m_step + m_phase;
        return (turns - below(turns)) * m_n;
    }

  private:
    double m_step, m_phase, m_n;
};

// Which points a fit heeds: 1 or 0 each.
using Weights = std::vector<float>;

// Gain and offset by least squares over the points weighed, for the period and the phase.
template <class Model>
void fitLevels(const Model& s, const std::vector<double>& c, const Weights& w, Fit& f) {
    const std::size_t m = c.size();
    double sw = 0, sr = 0, sc = 0, srr = 0, src = 0;
    const Places place(f, m, s.size());
    for (std::size_t t = 0; t < m; ++t) {
        if (w[t] == 0)
            continue;
        const double r = s.at(place(t));
        sw += 1, sr += r, sc += c[t], srr += r * r, src += r * c[t];
    }
    const double det = sw * srr - sr * sr;
    if (det <= 0)
        return;
    f.gain = (sw * src - sr * sc) / det;
    f.offset = (sc - f.gain * sr) / sw;
}

template <class Model>
double residual(const Model& s, const std::vector<double>& c, const Weights& w, const Fit& f) {
    double e = 0;
    const Places place(f, c.size(), s.size());
    for (std::size_t t = 0; t < c.size(); ++t) {
        const double d = c[t] - f.gain * s.at(place(t)) - f.offset;
        e += w[t] * d * d;
    }
    return e;
}

// Solves the 4 × 4 system in place by Gaussian elimination with partial pivoting; false when
// it is singular.
bool solve4(std::array<double, 16>& k, std::array<double, 4>& x) {
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::abs(k[r * 4 + col]) > std::abs(k[pivot * 4 + col]))
                pivot = r;
        if (!(std::abs(k[pivot * 4 + col]) > 1e-300))
            return false;
        for (int v = 0; v < 4; ++v)
            std::swap(k[col * 4 + v], k[pivot * 4 + v]);
        std::swap(x[col], x[pivot]);
        for (int r = col + 1; r < 4; ++r) {
            const double q = k[r * 4 + col] / k[col * 4 + col];
            for (int v = col; v < 4; ++v)
                k[r * 4 + v] -= q * k[col * 4 + v];
            x[r] -= q * x[col];
        }
    }
    for (int r = 3; r >= 0; --r) {
        for (int v = r + 1; v < 4; ++v)
            x[r] -= k[r * 4 + v] * x[v];
        x[r] /= k[r * 4 + r];
    }
    return true;
}

// The squared residual over the points weighed, and the normal equations of the four
// parameters there (a: JᵀJ, b: Jᵀ residual), in one pass.
template <class Model>
double linearise(const Model& s, const std::vector<double>& c, const Weights& w, const Fit& f,
                 std::array<double, 16>& a, std::array<double, 4>& b) {
    const std::size_t m = c.size();
    const int n = s.size();
    a.fill(0);
    b.fill(0);
    double e = 0;
    const Places place(f, m, n);
    for (std::size_t t = 0; t < m; ++t) {
        if (w[t] == 0)
            continue;
        const double p = place(t);
        double slope = 0;
        const double r = s.at(p, slope);
        slope *= n * f.gain;
        const std::array<double, 4> j = {slope * static_cast<double>(t) / m, slope, r, 1.0};
        const double d = c[t] - f.gain * r - f.offset;
        e += d * d;
        for (int u = 0; u < 4; ++u) {
            b[u] += j[u] * d;
            for (int v = 0; v <= u; ++v)
                a[u * 4 + v] += j[u] * j[v];
        }
    }
    for (int u = 0; u < 4; ++u)
        for (int v = u + 1; v < 4; ++v)
            a[u * 4 + v] = a[v * 4 + u];
    return e;
}

// Gauss-Newton with Levenberg's damping on all four, over the points weighed.
template <class Model>
void refine(const Model& s, const std::vector<double>& c, const Weights& w, Fit& f,
            int iterations = 8) {
    std::array<double, 16> a{}, nextA{};
    std::array<double, 4> b{}, nextB{};
    double current = linearise(s, c, w, f, a, b), damping = 1e-3;
    for (int iteration = 0; iteration < iterations; ++iteration) {
        bool improved = false;
        for (int attempt = 0; attempt < 8 && !improved; ++attempt) {
            std::array<double, 16> k = a;
            std::array<double, 4> x = b;
            for (int u = 0; u < 4; ++u)
                k[u * 4 + u] *= 1.0 + damping;
            if (!solve4(k, x))
                return;
            const Fit next{f.periods + x[0], f.phase + x[1], f.gain + x[2], f.offset + x[3]};
            const double e = linearise(s, c, w, next, nextA, nextB);
            if (e < current) {
                const double gained = current - e;
                f = next;
                current = e;
                a = nextA;
                b = nextB;
                damping = std::max(damping * 0.3, 1e-9);
                improved = true;
                if (gained <= 1e-5 * current)
                    return;
            } else {
                damping *= 10;
            }
        }
        if (!improved)
            return;
    }
}

// How far a captured point lies beyond the levels held within a sample of where the fit puts
// it, in the capture's units.
double beyond(const Period& s, const Fit& f, double at, double captured) {
    double lo = 0, hi = 0;
    s.levelsNear(at, lo, hi);
    const double a = f.gain * lo + f.offset, b = f.gain * hi + f.offset;
    return std::max({0.0, captured - std::max(a, b), std::min(a, b) - captured});
}

// Half a capture step each way: where an edge falls between two points is known no better.
double reachOf(const Fit& f, std::size_t m, int n) {
    return 0.5 * n * f.periods / static_cast<double>(m);
}

// The robust spread of values: 1.4826 times their median size.
double robustSpread(std::vector<double> v) {
    if (v.empty())
        return 0;
    for (double& x : v)
        x = std::abs(x);
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return 1.4826 * v[v.size() / 2];
}

// Heeds only the points the fit can explain: one that lies beyond the sent waveform's values
// near it by more than six times the residuals' robust spread is an error to find, not a part
// of the fit (a corrupted block would pull the phase by tens of samples). Points beside an
// edge stay: they are what places it.
Weights heeded(const Period& s, const std::vector<double>& c, const Fit& f) {
    const std::size_t m = c.size();
    const int n = s.size();
    const double reach = reachOf(f, m, n);
    std::vector<double> d(m), plain(m);
    const Places place(f, m, n);
    for (std::size_t t = 0; t < m; ++t) {
        const double at = place(t);
        const double here = s.held(at), before = s.held(at - reach), after = s.held(at + reach);
        plain[t] = std::abs(c[t] - f.gain * s.at(at) - f.offset);
        // The levels half a step either side stand for the stretch: an edge between them is
        // within it.
        const double a = f.gain * std::min({here, before, after}) + f.offset;
        const double b = f.gain * std::max({here, before, after}) + f.offset;
        d[t] = std::max({0.0, c[t] - std::max(a, b), std::min(a, b) - c[t]});
    }
    const double limit = std::max(6 * robustSpread(std::move(plain)),
                                  1e-9 * (std::abs(f.gain) + std::abs(f.offset)));
    Weights w(m);
    for (std::size_t t = 0; t < m; ++t)
        w[t] = d[t] <= limit ? 1.0f : 0.0f;
    return w;
}

// Least squares on a smooth model may leave an edge of the sent waveform a few samples off
// where it falls between two points, and a waveform whose only mark of its phase is an edge
// (a ramp) leaves its phase to its edges alone. So the phase is settled last: shifts within
// half a capture step are tried, gain and offset fitted again for each, and each judged by the
// errors it leaves (each counted up to 2.5 % of full scale). Shifts that do as well as the best
// are all possible: the middle of them is taken, and half their span (in samples) returned,
// how far the places of the points may be off.
double placeEdges(const Period& s, const std::vector<double>& c, const Weights& w, Fit& f) {
    const std::size_t m = c.size();
    const int n = s.size();
    const double half = std::max(2.0, reachOf(f, m, n));
    const double cap = 0.05 * std::abs(f.gain);
    // For each shift: the sent waveform at each point and the least and greatest held values
    // within a sample of it, in one pass; then gain and offset, then the errors.
    std::vector<double> r(m), lo(m), hi(m);
    auto cost = [&](Fit& g) {
        double sw = 0, sr = 0, sc = 0, srr = 0, src = 0;
        const Places place(g, m, n);
        for (std::size_t t = 0; t < m; ++t) {
            const double at = place(t);
            // The four samples around the place hold the straight line through it too.
            const double* p = s.near(at);
            const double along = (at - 1.5) - below(at - 1.5);
            r[t] = p[1] + along * (p[2] - p[1]);
            lo[t] = std::min(std::min(p[0], p[1]), std::min(p[2], p[3]));
            hi[t] = std::max(std::max(p[0], p[1]), std::max(p[2], p[3]));
            if (w[t] != 0)
                sw += 1, sr += r[t], sc += c[t], srr += r[t] * r[t], src += r[t] * c[t];
        }
        const double det = sw * srr - sr * sr;
        if (det > 0) {
            g.gain = (sw * src - sr * sc) / det;
            g.offset = (sc - g.gain * sr) / sw;
        }
        double sum = 0;
        for (std::size_t t = 0; t < m; ++t) {
            const double a = g.gain * lo[t] + g.offset, b = g.gain * hi[t] + g.offset;
            const double e =
                std::min(cap, std::max({0.0, c[t] - std::max(a, b), std::min(a, b) - c[t]}));
            sum += e * e;
        }
        return sum;
    };
    const Fit start = f;
    std::vector<std::pair<double, double>> tried; // shift, cost
    auto shifted = [&](double shift) {
        Fit g = start;
        g.phase += shift / n;
        tried.push_back({shift, cost(g)});
        return g;
    };
    for (int i = -3; i <= 3; ++i)
        shifted(half * i / 3);
    const auto best = [&] {
        return std::min_element(tried.begin(), tried.end(), [](const auto& a, const auto& b) {
            return a.second < b.second ||
                   (a.second == b.second && std::abs(a.first) < std::abs(b.first));
        });
    };
    const double centre = best()->first;
    for (int i = -2; i <= 2; ++i)
        if (i != 0)
            shifted(centre + half / 3 * i / 3);
    const double least = best()->second;
    double from = best()->first, to = from;
    for (const auto& [shift, e] : tried)
        if (e <= least * 1.02 + 1e-300)
            from = std::min(from, shift), to = std::max(to, shift);
    f = shifted(0.5 * (from + to));
    return 0.5 * (to - from);
}

// A point may lie between the two levels of an edge it sits on, as one caught in the edge's
// rise would; several at the same edge cannot all have been. These are such points, each with
// how far it lies from the nearest level held there, in the waveform's units.
std::vector<std::pair<std::size_t, double>>
crowdedOnEdges(const Period& s, const std::vector<double>& c, const Fit& f, double between) {
    const std::size_t m = c.size();
    const int n = s.size();
    std::map<int, std::vector<std::pair<std::size_t, double>>> onEdges;
    const Places place(f, m, n);
    for (std::size_t t = 0; t < m; ++t) {
        const double at = place(t);
        if (beyond(s, f, at, c[t]) > 0)
            continue;
        const double value = (c[t] - f.offset) / f.gain;
        const double* levels = s.near(at);
        double nearest = std::abs(value - levels[0]);
        for (int k = 1; k < 4; ++k)
            nearest = std::min(nearest, std::abs(value - levels[k]));
        if (nearest > between)
            onEdges[static_cast<int>(std::lround(at)) % n].push_back({t, nearest});
    }
    std::vector<std::pair<std::size_t, double>> crowded;
    for (const auto& [edge, points] : onEdges)
        if (points.size() >= 3)
            crowded.insert(crowded.end(), points.begin(), points.end());
    return crowded;
}

// Golden section on the correlation's size between lo and hi, from a best so far (`peak` at
// `at`, `phase`); the correlation reached.
double goldenPeriods(Search& search, double lo, double hi, double peak, double at, double phase,
                     Fit& candidate) {
    lo = std::max(0.05, lo);
    const double ratio = 0.5 * (std::sqrt(5.0) - 1);
    double x1 = hi - ratio * (hi - lo), x2 = lo + ratio * (hi - lo), ph1 = 0, ph2 = 0;
    double f1 = std::abs(search.score(x1, ph1)), f2 = std::abs(search.score(x2, ph2));
    for (int i = 0; i < 7; ++i) {
        if (f1 > f2) {
            hi = x2, x2 = x1, f2 = f1, ph2 = ph1;
            x1 = hi - ratio * (hi - lo);
            f1 = std::abs(search.score(x1, ph1));
        } else {
            lo = x1, x1 = x2, f1 = f2, ph1 = ph2;
            x2 = lo + ratio * (hi - lo);
            f2 = std::abs(search.score(x2, ph2));
        }
    }
    candidate.periods = f1 > f2 ? x1 : x2;
    candidate.phase = f1 > f2 ? ph1 : ph2;
    if (std::max(f1, f2) < peak)
        candidate.periods = at, candidate.phase = phase;
    return std::max({f1, f2, peak});
}

// The period and the phase at which the capture, folded onto one period, correlates best with
// the sent waveform: for each harmonic the capture's strongest line may be, periods are scanned
// around the line's place and refined by golden section; and around `echo`, the periods the
// capture's autocorrelation gives (0: none). The correlation reached, or -1 when no harmonic
// gave periods to try.
double searchPeriod(Search& search, double line, const std::vector<int>& harmonics,
                    double mostPeriods, double echo, Fit& best) {
    double bestCorrelation = -1;
    // The candidates are judged by the correlation each reaches; one of less than a period
    // (which is refused) only when no other is left, since a part of a period of a fault may
    // correlate well by chance.
    bool whole = false;
    auto consider = [&](const Fit& candidate, double reached) {
        const bool enough = candidate.periods >= kMinPeriods;
        if ((enough && !whole) || (enough == whole && reached > bestCorrelation))
            bestCorrelation = reached, best = candidate, whole = enough;
    };
    for (const int k : harmonics) {
        const double estimate = line / k;
        // Few cycles leave the line's place uncertain by most of a cycle: look wider there.
        const bool few = line < 4;
        const double from = std::max(0.3, (few ? 0.3 * k : line - 0.3) / k);
        const double to = (line + (few ? 1.0 : 0.3)) / k;
        if (estimate > 2 * mostPeriods || to < from)
            continue;
        const double step = 0.1 / k;
        double peak = -1, at = estimate, phase = 0;
        for (double p = from; p <= to + 1e-9; p += step) {
            double ph = 0;
            const double v = std::abs(search.score(p, ph));
            if (v > peak)
                peak = v, at = p, phase = ph;
        }
        // The line's own place too: a waveform of narrow features (a pulse) correlates only
        // within a small part of a step of the right number of periods, and a clean line is
        // placed closer than that. Then golden section around the best, narrower around the
        // line's place.
        double width = step;
        if (double ph = 0; std::abs(search.score(estimate, ph)) > peak) {
            peak = std::abs(search.score(estimate, ph)), at = estimate, phase = ph;
            width = 0.25 * step;
        }
        Fit candidate;
        const double reached =
            goldenPeriods(search, at - width, at + width, peak, at, phase, candidate);
        consider(candidate, reached);
    }
    if (echo > 0 && echo <= 2 * mostPeriods && bestCorrelation >= 0) {
        double phase = 0;
        const double peak = std::abs(search.score(echo, phase));
        Fit candidate;
        const double reached =
            goldenPeriods(search, echo * 0.99, echo * 1.01, peak, echo, phase, candidate);
        consider(candidate, reached);
    }
    return bestCorrelation;
}

// The periods of a capture from its autocorrelation: the shortest lag, of those leaving a
// quarter of the capture overlapping at least, where it peaks within 5 % of its highest; 0 when
// it does not peak at 0.3 of its size at zero lag. A narrow pulse seen twice is placed by it
// to a point, where its spectrum's lines, few and crowded, place it poorly.
double echoPeriods(const std::vector<double>& centred) {
    const int m = static_cast<int>(centred.size());
    const int size = powerOfTwoAtLeast(2 * m);
    std::vector<float> in(static_cast<std::size_t>(size), 0.0f), out(in.size());
    for (int t = 0; t < m; ++t)
        in[t] = static_cast<float>(centred[t]);
    std::vector<kiss_fft_cpx> f(static_cast<std::size_t>(size) / 2 + 1);
    kiss_fftr(plan(size, false), in.data(), f.data());
    for (kiss_fft_cpx& v : f)
        v = {v.r * v.r + v.i * v.i, 0.0f};
    kiss_fftri(plan(size, true), f.data(), out.data());
    if (!(out[0] > 0))
        return 0;
    const int first = kMinPointsPerPeriod, last = m - m / 4;
    std::vector<double> r(static_cast<std::size_t>(last + 2), 0.0);
    for (int lag = 1; lag <= last + 1 && lag < m; ++lag)
        r[lag] = out[lag] / out[0] * m / (m - lag); // each lag as if it overlapped wholly
    double highest = 0;
    for (int lag = first; lag <= last; ++lag)
        if (r[lag] >= r[lag - 1] && r[lag] > r[lag + 1])
            highest = std::max(highest, r[lag]);
    if (highest < 0.3)
        return 0;
    for (int lag = first; lag <= last; ++lag)
        if (r[lag] >= r[lag - 1] && r[lag] > r[lag + 1] && r[lag] >= 0.95 * highest) {
            const double a = r[lag - 1], b = r[lag], c = r[lag + 1];
            const double curve = a - 2 * b + c;
            const double shift = curve < 0 ? std::clamp(0.5 * (a - c) / curve, -0.5, 0.5) : 0.0;
            return m / (lag + shift);
        }
    return 0;
}

// Period, phase, gain and offset fitted together from where the search left them, in two
// rounds, each heeding only what the last fit explains: the model as wide as a capture step,
// then a quarter of one, the edges placed closer. The points the last round heeded.
Weights fitTogether(Period& period, const std::vector<double>& captured, Fit& f) {
    const std::size_t m = captured.size();
    const int n = period.size();
    Weights weights;
    for (const double narrower : {1.0, 0.25}) {
        period.setBlur(narrower * n * f.periods / static_cast<double>(m));
        weights = heeded(period, captured, f);
        refine(period, captured, weights, f);
    }
    return weights;
}

// How many points lie within `within` (in the waveform's units, a fraction of its -1..+1) of
// the samples held within a sample of their places.
// `within` is in the capture's units: it must not grow with the gain a fit finds, or a fit of
// a wrong period with a huge gain would explain everything.
std::size_t explained(const Period& period, const std::vector<double>& captured, const Fit& f,
                      double within) {
    const Places place(f, captured.size(), period.size());
    std::size_t count = 0;
    for (std::size_t t = 0; t < captured.size(); ++t)
        count += beyond(period, f, place(t), captured[t]) <= within ? 1 : 0;
    return count;
}

// Heeds the points the model explains: those within six times the residuals' robust spread,
// or within 5 % of full scale (a clean capture's spread may be nothing), of the model's values
// within `reach` samples of their places (an edge the fit has not yet placed is no fault).
template <class Model>
Weights explainedBy(const Model& s, const std::vector<double>& c, const Fit& f, double reach = 0) {
    const std::size_t m = c.size();
    std::vector<double> d(m);
    const Places place(f, m, s.size());
    for (std::size_t t = 0; t < m; ++t) {
        const double p = place(t), here = s.at(p);
        const double a = reach > 0 ? s.at(p - reach) : here, b = reach > 0 ? s.at(p + reach) : here;
        const double lo = f.gain * std::min({a, here, b}) + f.offset,
                     hi = f.gain * std::max({a, here, b}) + f.offset;
        d[t] = std::max({0.0, c[t] - std::max(lo, hi), std::min(lo, hi) - c[t]});
    }
    const double limit = std::max(6 * robustSpread(d), 0.1 * std::abs(f.gain));
    Weights w(m);
    for (std::size_t t = 0; t < m; ++t)
        w[t] = d[t] <= limit ? 1.0f : 0.0f;
    return w;
}

// How well a model explains the capture: the squared residuals, each counted up to `cap`, so
// that a corrupted block weighs no more than its length.
template <class Model>
double cappedCost(const Model& s, const std::vector<double>& c, const Fit& f, double cap,
                  const Weights* w = nullptr) {
    const Places place(f, c.size(), s.size());
    double sum = 0;
    for (std::size_t t = 0; t < c.size(); ++t) {
        if (w && (*w)[t] == 0)
            continue;
        const double d = c[t] - f.gain * s.at(place(t)) - f.offset;
        sum += std::min(d * d, cap * cap);
    }
    return sum;
}

// Grid points a period for the band-limited model: eight a capture step at least, whole
// samples (`exact`) or, while the band limit is searched for, no more than that.
std::size_t gridPoints(const Fit& f, std::size_t m, int n, bool exact) {
    const double pointsPerPeriod = static_cast<double>(m) / std::max(f.periods, 1e-9);
    const auto wanted = static_cast<std::size_t>(std::ceil(std::min(8 * pointsPerPeriod, 8e6)));
    const auto samples = static_cast<std::size_t>(n);
    return exact ? std::max(wanted, samples)
                 : std::min(std::max<std::size_t>(wanted, 2048), samples);
}

struct Modelled {
    BandLimit band;
    Fit fit;
    double cost = HUGE_VAL;
};

// The model of a band limit fitted from the held-sample fit: the phase moved on by the band
// limit's delay, gain and offset fitted, then all four refined (a quick look: once over every
// point; closely: twice over the points `heed` keeps).
Modelled throughBand(const std::vector<double>& held, std::size_t n, const std::vector<double>& c,
                     const Fit& start, const BandLimit& band, double cap, const Weights* heed) {
    const HeldResponse r(held, n, band);
    Modelled out{band, start};
    out.fit.phase += r.delay() / r.size();
    const Weights all(c.size(), 1.0f);
    fitLevels(r, c, all, out.fit);
    refine(r, c, heed ? *heed : all, out.fit, heed ? 2 : 1);
    out.cost = cappedCost(r, c, out.fit, cap);
    return out;
}

// Golden section for the least of `cost` between a and b, `rounds` times.
template <class Cost> void goldenLeast(double a, double b, int rounds, Cost&& cost) {
    const double ratio = 0.5 * (std::sqrt(5.0) - 1);
    double x1 = b - ratio * (b - a), x2 = a + ratio * (b - a);
    double f1 = cost(x1), f2 = cost(x2);
    for (int i = 0; i < rounds; ++i) {
        if (f1 < f2) {
            b = x2, x2 = x1, f2 = f1;
            x1 = b - ratio * (b - a);
            f1 = cost(x1);
        } else {
            a = x1, x1 = x2, f1 = f2;
            x2 = a + ratio * (b - a);
            f2 = cost(x2);
        }
    }
}

// The band limit that explains the capture best: one pole, and a Butterworth pair, their -3 dB
// point looked at from 2 to as many harmonics as the capture has points a period (beyond that
// no edge shows it) and refined by golden section on its logarithm; then a pair's damping from
// 0.4 to 1 at the same -3 dB point (overshoot tells them apart).
Modelled fitBand(const std::vector<double>& sent, const std::vector<double>& c, const Fit& start,
                 std::size_t grid, double cap) {
    const double pointsPerPeriod = static_cast<double>(c.size()) / start.periods;
    const double lo = std::log(2.0), hi = std::log(std::max(4.0, pointsPerPeriod));
    constexpr int kScan = 7;
    const double stride = (hi - lo) / (kScan - 1);
    Modelled best;
    // What the refining heeds, so that a corrupted block does not pull the fit: the points
    // the best model looked at explains within its delay and a capture step.
    Weights heed;
    const std::size_t n = sent.size();
    const std::vector<double> held = HeldResponse::heldOnGrid(sent, grid);
    const double step = static_cast<double>(n) * start.periods / c.size();
    auto heedFrom = [&](const Modelled& model) {
        const HeldResponse r(held, n, model.band);
        heed = explainedBy(r, c, model.fit, r.delay() + step);
    };
    auto tryBand = [&](BandLimit band, bool closely) {
        Modelled tried = throughBand(held, n, c, start, band, cap, closely ? &heed : nullptr);
        if (closely && tried.cost < best.cost)
            best = tried;
        return tried.cost;
    };
    for (const BandLimit kind : {BandLimit{1, 0.0, 0}, BandLimit{2, 0.70711, 0}}) {
        Modelled looked;
        double at = lo;
        for (int i = 0; i < kScan; ++i) {
            BandLimit band = kind;
            band.harmonics = std::exp(lo + stride * i);
            Modelled tried = throughBand(held, n, c, start, band, cap, nullptr);
            if (tried.cost < looked.cost)
                looked = tried, at = lo + stride * i;
        }
        heedFrom(looked);
        goldenLeast(std::max(lo, at - stride), std::min(hi, at + stride), 4, [&](double x) {
            BandLimit band = kind;
            band.harmonics = std::exp(x);
            return tryBand(band, true);
        });
    }
    if (best.band.order == 2) {
        heedFrom(best);
        const BandLimit pair = best.band;
        goldenLeast(0.4, 1.0, 4, [&](double z) {
            BandLimit band = pair;
            band.damping = z;
            return tryBand(band, true);
        });
    }
    return best;
}

// Whether the sent waveform is the same inverted and half a period on, within 2 % of its span
// (a sine, a square, a triangle; not a ramp).
bool halfTurnSymmetric(const std::vector<float>& grid) {
    const auto [lo, hi] = std::minmax_element(grid.begin(), grid.end());
    const double span = double(*hi) - *lo;
    for (int j = 0; j < kBins / 2; ++j)
        if (std::abs(double(grid[j]) + grid[j + kBins / 2]) > 0.02 * span)
            return false;
    return true;
}

QString fixed(double v, int decimals) {
    return QString::number(v, 'f', decimals);
}
} // namespace

Comparison compareCapture(const std::vector<double>& sent, const std::vector<double>& captured,
                          const CompareTolerance& tolerance) {
    Comparison out;
    const auto refuse = [&out](const QString& why) {
        out.error = why;
        return out;
    };
    if (sent.size() < 4 || sent.size() > static_cast<std::size_t>(kCompareMaxSent))
        return refuse(QStringLiteral("the sent waveform has %1 samples; 4 to %2 can be compared")
                          .arg(sent.size())
                          .arg(kCompareMaxSent));
    if (captured.size() < static_cast<std::size_t>(kCompareMinCaptured) ||
        captured.size() > static_cast<std::size_t>(kCompareMaxCaptured))
        return refuse(QStringLiteral("the capture has %1 points; %2 to %3 can be compared")
                          .arg(captured.size())
                          .arg(kCompareMinCaptured)
                          .arg(kCompareMaxCaptured));
    for (const auto* v : {&sent, &captured})
        for (std::size_t i = 0; i < v->size(); ++i)
            if (!std::isfinite((*v)[i]))
                return refuse(
                    QStringLiteral("%1 %2 of the %3 is not a number")
                        .arg(v == &sent ? QStringLiteral("sample") : QStringLiteral("point"))
                        .arg(i)
                        .arg(v == &sent ? QStringLiteral("sent waveform")
                                        : QStringLiteral("capture")));
    const auto [sentLo, sentHi] = std::minmax_element(sent.begin(), sent.end());
    if (*sentHi - *sentLo < 1e-6)
        return refuse(QStringLiteral("the sent waveform is flat: there is nothing to align"));
    const auto [lowest, highest] = std::minmax_element(captured.begin(), captured.end());
    // Squares of the values and of their differences must stay finite.
    constexpr double kLargest = 1e150;
    for (const double v : {*sentLo, *sentHi, *lowest, *highest})
        if (std::abs(v) > kLargest)
            return refuse(
                QStringLiteral("values of %1 are too large to analyse (at most %2 "
                               "in size)")
                    .arg(std::abs(v) == std::abs(*sentLo) || std::abs(v) == std::abs(*sentHi)
                             ? QStringLiteral("the sent waveform")
                             : QStringLiteral("the capture"))
                    .arg(kLargest));
    // Flat: one level, or within three steps of its own resolution (an 8-bit capture of no
    // signal) and with fewer levels than the sent waveform has, so that a clean capture of a
    // square (two levels) is compared. The resolution is the least gap between two levels.
    std::vector<double> levels(captured);
    std::sort(levels.begin(), levels.end());
    levels.erase(std::unique(levels.begin(), levels.end()), levels.end());
    double quantum = 0;
    for (std::size_t i = 1; i < levels.size(); ++i)
        quantum = i == 1 ? levels[1] - levels[0] : std::min(quantum, levels[i] - levels[i - 1]);
    std::vector<double> sentLevels;
    for (std::size_t i = 0; i < sent.size() && sentLevels.size() <= levels.size(); ++i)
        if (std::find(sentLevels.begin(), sentLevels.end(), sent[i]) == sentLevels.end())
            sentLevels.push_back(sent[i]);
    const double steps = quantum > 0 ? (*highest - *lowest) / quantum : 0.0;
    if (levels.size() == 1 || (steps <= 3 && sentLevels.size() > levels.size()))
        return refuse(
            QStringLiteral("the capture is flat (it spans %1 steps of its own resolution): no "
                           "signal to compare; check the channel and its scale")
                .arg(std::lround(steps)));

    Period period(sent);
    const int n = period.size();
    const std::size_t m = captured.size();
    const double mean = std::accumulate(captured.begin(), captured.end(), 0.0) / m;
    std::vector<double> centred(m);
    for (std::size_t t = 0; t < m; ++t)
        centred[t] = captured[t] - mean;

    // Something periodic at all: noise alone has no line far above the others.
    double standing = 0;
    const double line = strongestLine(captured, standing);
    if (standing < 30)
        return refuse(QStringLiteral("the capture holds no periodic signal (its strongest line "
                                     "stands %1 dB above the median one, noise alone reaches "
                                     "about 11): check the channel, its scale and the trigger")
                          .arg(fixed(10 * std::log10(std::max(standing, 1e-30)), 1)));

    // The period: the capture's strongest line is one of the sent waveform's strong harmonics.
    const std::vector<float> grid = onGrid(period);
    Search search(centred, grid);
    const double mostPeriods = static_cast<double>(m) / kMinPointsPerPeriod;
    const Weights all(m, 1.0f);
    const std::vector<int> harmonics = strongHarmonics(grid);
    Fit best;
    const double echo = echoPeriods(centred);
    if (searchPeriod(search, line, harmonics, mostPeriods, echo, best) < 0)
        return refuse(
            QStringLiteral("the capture holds about %1 periods, fewer than %2 points each; "
                           "capture fewer periods")
                .arg(fixed(line / harmonics.front(), 0))
                .arg(kMinPointsPerPeriod));
    period.setBlur(n * best.periods / static_cast<double>(m));
    fitLevels(period, captured, all, best);
    if (best.periods < kMinPeriods)
        return refuse(QStringLiteral("the capture holds only %1 of a period of the sent "
                                     "waveform; at least one period is needed (a slower time "
                                     "base shows more)")
                          .arg(fixed(best.periods, 2)));
    if (best.periods > mostPeriods)
        return refuse(QStringLiteral("the capture holds about %1 periods, fewer than %2 points "
                                     "each; capture fewer periods")
                          .arg(fixed(best.periods, 0))
                          .arg(kMinPointsPerPeriod));
    Weights weights = fitTogether(period, captured, best);
    // A fault that is a large share of the capture pulls the search itself: the search is
    // made again among the points that fit heeds, and the fit that explains more points kept.
    const double within = tolerance.maxErrorPct / 100.0;
    // The tolerance in the capture's units, the capture spanning about as much as the sent
    // waveform does there.
    const double withinCaptured =
        within * 2 * (*highest - *lowest) / std::max(*sentHi - *sentLo, 1e-300);
    if (std::find(weights.begin(), weights.end(), 0.0f) != weights.end()) {
        search.setMask(&weights);
        Fit again = best;
        // Within 5 % of the first: a period of another harmonic is not a correction.
        if (searchPeriod(search, line, harmonics, mostPeriods, echo, again) >= 0 &&
            again.periods >= kMinPeriods && again.periods <= mostPeriods &&
            std::abs(again.periods - best.periods) <= 0.05 * best.periods) {
            period.setBlur(n * again.periods / static_cast<double>(m));
            fitLevels(period, captured, weights, again);
            Weights weightsAgain = fitTogether(period, captured, again);
            if (explained(period, captured, again, withinCaptured) >
                explained(period, captured, best, withinCaptured))
                best = again, weights = std::move(weightsAgain);
        }
        search.setMask(nullptr);
    }

    // Every oscilloscope has a band limit: where one explains the capture clearly better than
    // the held samples do (edges that rise over several points), the capture is judged against
    // the held samples seen through it.
    const std::size_t searchGrid = gridPoints(best, m, n, false),
                      exactGrid = gridPoints(best, m, n, true);
    const double step = 2 * reachOf(best, m, n); // a capture step, in samples
    // The band limit is fitted on residuals counted up to a quarter of full scale (as the
    // first fit found it): enough for an edge's few points to tell, bounded for a fault.
    const double cap = 0.5 * std::abs(best.gain);
    // Alignments are told apart by how many points each leaves unexplained: residuals counted
    // up to 5 % of full scale, so that a fit cannot buy a wrong alignment with a wrong gain.
    const double tight = 0.1 * std::abs(best.gain);
    struct Judged {
        Modelled band;
        double heldCost = 0;
        double bandCost = 0;    // both counted up to `tight`
        int runs = 0;           // of points beyond `tight` under the better of the two
        std::size_t beyond = 0; // points in them
        double cost() const { return std::min(heldCost, bandCost); }
        // Of two alignments that leave about as much unexplained, the one that leaves it in
        // fewer places tells the simpler story: a fault in one place, not a feature moved and
        // a fault beside it.
        bool betterThan(const Judged& o) const {
            return cost() * (runs > o.runs ? 1.5 : 1.0) < o.cost() * (o.runs > runs ? 1.5 : 1.0);
        }
    };
    auto runsBeyond = [&](const auto& model, const Fit& f, Judged& j) {
        const Places place(f, m, n);
        bool inside = false;
        for (std::size_t t = 0; t < m; ++t) {
            const bool off = std::abs(captured[t] - f.gain * model.at(place(t)) - f.offset) > tight;
            j.runs += off && !inside ? 1 : 0;
            j.beyond += off ? 1 : 0;
            inside = off;
        }
    };
    // Where the held samples leave nothing but noise (no edge the capture rounds off), there
    // is no band limit to find: no residual beyond six times their robust spread and 5 % of
    // full scale.
    auto onlyNoise = [&](const Fit& f) {
        period.setBlur(0.25 * n * f.periods / static_cast<double>(m));
        const Places place(f, m, n);
        std::vector<double> d(m);
        for (std::size_t t = 0; t < m; ++t)
            d[t] = captured[t] - f.gain * period.at(place(t)) - f.offset;
        const double limit = std::max(6 * robustSpread(d), tight);
        return std::none_of(d.begin(), d.end(), [&](double v) { return std::abs(v) > limit; });
    };
    auto judge = [&](const Fit& f) {
        period.setBlur(0.25 * n * f.periods / static_cast<double>(m));
        if (onlyNoise(f)) {
            Judged j{Modelled{BandLimit{}, f, HUGE_VAL}, cappedCost(period, captured, f, tight),
                     HUGE_VAL};
            runsBeyond(period, f, j);
            return j;
        }
        period.setBlur(0.25 * n * f.periods / static_cast<double>(m));
        Judged j{fitBand(sent, captured, f, searchGrid, cap),
                 cappedCost(period, captured, f, tight)};
        const HeldResponse r(sent, j.band.band, searchGrid);
        j.bandCost = cappedCost(r, captured, j.band.fit, tight);
        if (j.bandCost < j.heldCost)
            runsBeyond(r, j.band.fit, j);
        else
            runsBeyond(period, f, j);
        return j;
    };
    Judged judged = judge(best);
    // A fault that looks like a feature of the sent waveform (a block as wide as its pulse)
    // gives the correlation a second peak nearly as high as the right one. Where the fit
    // leaves points unexplained, the other high peaks are fitted too, and the one whose model
    // explains the capture best is kept.
    if (judged.beyond > m / 200) {
        double phase = 0;
        search.setMask(nullptr);
        search.score(best.periods, phase);
        for (const auto& [other, sign] : search.otherPeaks(2)) {
            Fit alt = best;
            alt.phase = other;
            alt.gain = sign * std::abs(best.gain);
            period.setBlur(n * alt.periods / static_cast<double>(m));
            fitLevels(period, captured, all, alt);
            Weights altWeights = fitTogether(period, captured, alt);
            const Judged altJudged = judge(alt);
            if (altJudged.betterThan(judged))
                best = alt, weights = std::move(altWeights), judged = altJudged;
        }
    }
    Modelled& band = judged.band;
    // The band limit is taken where it explains the capture clearly better than the held
    // samples do: by more than sixteen times what one point's noise adds to the cost, over the
    // points it explains within a capture step (a fault it cannot explain must not choose it:
    // a low band limit explains a little of any block).
    bool banded = false;
    if (band.band.order != 0) {
        const HeldResponse r(sent, band.band, exactGrid);
        const Weights heed = explainedBy(r, captured, band.fit, step);
        const Places bandPlaces(band.fit, m, n);
        std::vector<double> bandResiduals;
        for (std::size_t t = 0; t < m; ++t)
            if (heed[t] != 0)
                bandResiduals.push_back(captured[t] - band.fit.gain * r.at(bandPlaces(t)) -
                                        band.fit.offset);
        const double noise = robustSpread(bandResiduals);
        // The held samples seen as a staircase, or as the straight line through the steps
        // (the closer of the two when a sample spans several points).
        period.setBlur(0.25 * n * best.periods / static_cast<double>(m));
        const double held =
            std::min(cappedCost(period, captured, best, cap, &heed),
                     cappedCost(HeldResponse(sent, {}, exactGrid), captured, best, cap, &heed));
        banded = held - cappedCost(r, captured, band.fit, cap, &heed) > 16 * noise * noise;
    }
    std::optional<HeldResponse> response;
    double unsure = 0; // how far the places may be off, in samples
    std::vector<double> errors(m), model(m), residuals(m);
    const double between = tolerance.maxErrorPct / 100.0; // half the tolerance, in the
                                                          // waveform's units
    auto flipIfSame = [&](const auto& s) {
        // A waveform that is the same inverted and half a period on (a sine, a square, a
        // triangle) cannot tell the two apart: the upright one is taken.
        const Fit flipped{best.periods, best.phase + 0.5, -best.gain, best.offset};
        if (best.gain < 0 && halfTurnSymmetric(grid) &&
            residual(s, captured, all, flipped) <= 1.01 * residual(s, captured, all, best)) {
            best = flipped;
            out.notes << QStringLiteral("the sent waveform looks the same inverted and half a "
                                        "period on, so the capture is taken as upright");
        }
    };
    if (banded) {
        out.bandLimit = band.band;
        best = band.fit;
        response.emplace(sent, band.band, exactGrid);
        const HeldResponse& r = *response;
        weights = explainedBy(r, captured, best);
        refine(r, captured, weights, best);
        flipIfSame(r);
        // Each point judged against the model within half a capture step and the timing
        // spread either side: where an edge falls between two points, or a point jitters on
        // it, is known no better. The spread comes from the steep points: residual over
        // slope.
        const Places place(best, m, n);
        std::vector<double> slopes(m);
        for (std::size_t t = 0; t < m; ++t) {
            model[t] = r.at(place(t), slopes[t]);
            residuals[t] = captured[t] - best.gain * model[t] - best.offset;
            slopes[t] *= best.gain;
        }
        const double noise = robustSpread(residuals);
        std::vector<double> late;
        for (std::size_t t = 0; t < m; ++t)
            if (std::abs(slopes[t]) * step / 2 > 3 * noise + 0.02 * std::abs(best.gain))
                late.push_back(residuals[t] / slopes[t]);
        const double timing = late.size() >= 8 ? robustSpread(late) : 0.0;
        unsure = std::min(step / 2 + 4 * timing, 0.02 * n);
        out.timingSpread = timing / n;
        for (std::size_t t = 0; t < m; ++t) {
            const double at = place(t);
            const double a = r.at(at - unsure), b = model[t], c = r.at(at + unsure);
            const double lo = best.gain * std::min({a, b, c}) + best.offset,
                         hi = best.gain * std::max({a, b, c}) + best.offset;
            const double l = std::min(lo, hi), h = std::max(lo, hi);
            errors[t] =
                std::max({0.0, captured[t] - h, l - captured[t]}) / std::abs(best.gain) / 2.0;
        }
    } else {
        // The errors are judged on the held samples themselves, within a sample of each place.
        period.setBlur(0);
        unsure = placeEdges(period, captured, weights, best);
        // Points crowded on an edge are errors the fit took for the edge: fitted again
        // without them, the edge goes back to its place.
        if (const auto crowded = crowdedOnEdges(period, captured, best, between);
            !crowded.empty()) {
            for (const auto& [t, nearest] : crowded)
                weights[t] = 0;
            period.setBlur(0.25 * n * best.periods / static_cast<double>(m));
            refine(period, captured, weights, best);
            period.setBlur(0);
            unsure = placeEdges(period, captured, weights, best);
        }
        flipIfSame(period);
        const Places place(best, m, n);
        for (std::size_t t = 0; t < m; ++t) {
            const double at = place(t);
            model[t] = period.at(at);
            residuals[t] = captured[t] - best.gain * model[t] - best.offset;
            errors[t] = beyond(period, best, at, captured[t]) / std::abs(best.gain) / 2.0;
        }
        for (const auto& [t, nearest] : crowdedOnEdges(period, captured, best, between))
            errors[t] = nearest / 2.0;
    }
    best.phase -= std::floor(best.phase);
    // Sample i is held from i - 1/2 to i + 1/2 as the caller counts: a capture that is the
    // sent waveform itself starts at 0.
    const double shown = best.phase - 0.5 / n;
    out.periods = best.periods;
    out.phaseDeg = (shown - std::floor(shown)) * 360.0;
    out.gain = best.gain;
    out.offset = best.offset;
    out.noise = robustSpread(residuals) / std::abs(best.gain) / 2.0;

    out.points.resize(m);
    double sr = 0, srr = 0, src = 0, squares = 0;
    const Places place(best, m, n);
    for (std::size_t t = 0; t < m; ++t) {
        AlignedPoint& a = out.points[t];
        a.at = place(t) - 0.5;
        if (a.at < 0)
            a.at += n;
        a.value = (captured[t] - best.offset) / best.gain;
        a.error = errors[t];
        squares += a.error * a.error;
        const double r = model[t];
        sr += r, srr += r * r, src += r * centred[t];
    }
    // Of the capture with the sent waveform where the fit puts it.
    const double scc = std::inner_product(centred.begin(), centred.end(), centred.begin(), 0.0);
    const double spread = srr - sr * sr / m;
    out.correlation = spread > 0 && scc > 0 ? std::abs(src) / std::sqrt(spread * scc) : 0.0;
    out.rmsError = std::sqrt(squares / m);
    out.maxError = *std::max_element(errors.begin(), errors.end());

    // The errors that count: runs of points beyond the tolerance and beyond four times the
    // noise, two points at least, or one beyond six times the noise. Noise alone makes such a
    // run about once in a hundred thousand captures of 2500 points.
    const double off = std::max(within, 4 * out.noise), alone = std::max(within, 6 * out.noise);
    std::size_t worst =
        static_cast<std::size_t>(std::max_element(errors.begin(), errors.end()) - errors.begin());
    double worstCounted = -1;
    for (std::size_t t = 0; t < m;) {
        if (!(errors[t] > off)) {
            ++t;
            continue;
        }
        std::size_t end = t;
        double largest = 0;
        std::size_t at = t;
        for (; end < m && errors[end] > off; ++end)
            if (errors[end] > largest)
                largest = errors[end], at = end;
        if (end - t >= 2 || largest > alone) {
            ++out.regions;
            if (largest > worstCounted)
                worstCounted = largest, worst = at;
        }
        t = end;
    }
    const double worstError = errors[worst];

    // The worst region: the points with at least half the worst error that lie near the
    // worst one in the period, each within a capture step and a half of the next; where the
    // points fall is known to half a capture step and to how far the phase is unsure, and a
    // fault beside an edge may pull the phase by as much again, so it reaches a capture step
    // and that much further each way.
    std::vector<double> places;
    for (std::size_t t = 0; t < m; ++t)
        if (errors[t] >= worstError / 2 && worstError > 0)
            places.push_back(place(t));
    if (places.empty()) {
        out.worstFrom = out.worstTo = static_cast<int>(place(worst));
    } else {
        std::sort(places.begin(), places.end());
        const std::size_t count = places.size();
        const std::size_t centre = static_cast<std::size_t>(
            std::lower_bound(places.begin(), places.end(), place(worst)) - places.begin());
        // Gap from place i to the next, across the end of the period too.
        auto gap = [&](std::size_t i) {
            const double next = places[(i + 1) % count] + (i + 1 == count ? n : 0);
            return next - places[i];
        };
        std::size_t first = centre % count, last = centre % count, joined = 1;
        while (joined < count && gap((first + count - 1) % count) <= 1.5 * step)
            first = (first + count - 1) % count, ++joined;
        while (joined < count && gap(last) <= 1.5 * step)
            last = (last + 1) % count, ++joined;
        const int margin = static_cast<int>(std::ceil(step + unsure)) + 1;
        const double width = places[last] - places[first] + (last < first ? n : 0);
        if (joined == count && count > 1 && width + 2 * margin >= n - 1.5 * step) {
            out.worstFrom = 0, out.worstTo = n - 1;
        } else if (width + 2 * margin + 1 >= n) {
            out.worstFrom = 0, out.worstTo = n - 1;
        } else {
            out.worstFrom = (static_cast<int>(std::floor(places[first])) - margin + 2 * n) % n;
            out.worstTo = (static_cast<int>(std::floor(places[last])) + margin) % n;
        }
    }

    out.match = out.regions == 0 && out.rmsError * 100 <= tolerance.rmsErrorPct &&
                out.correlation >= tolerance.minCorrelation;
    if (out.correlation < tolerance.minCorrelation)
        out.notes << QStringLiteral("the capture hardly resembles the sent waveform "
                                    "(correlation %1): is it the right channel?")
                         .arg(fixed(out.correlation, 3));
    // Points at the capture's own limits where the errors are: clipped there.
    for (const bool top : {true, false}) {
        const double limit = top ? *highest : *lowest;
        std::size_t held = 0, wrong = 0;
        for (std::size_t t = 0; t < m; ++t)
            if (captured[t] == limit) {
                ++held;
                wrong += errors[t] * 100 > tolerance.maxErrorPct / 2 ? 1 : 0;
            }
        if (held >= std::max<std::size_t>(3, m / 100) && wrong * 2 >= held)
            out.notes << QStringLiteral("%1 points sit at the capture's %2 (%3): it is clipped "
                                        "there")
                             .arg(held)
                             .arg(top ? QStringLiteral("top") : QStringLiteral("bottom"))
                             .arg(limit);
    }
    return out;
}

QString bandLimitText(const BandLimit& b) {
    if (b.order == 0)
        return QStringLiteral("none seen");
    return QStringLiteral("%1 times the fundamental (-3 dB), %2")
        .arg(fixed(b.harmonics, 1))
        .arg(b.order == 1 ? QStringLiteral("one pole")
                          : QStringLiteral("a pole pair damped %1").arg(fixed(b.damping, 2)));
}

QStringList comparisonLines(const Comparison& c) {
    return {QStringLiteral("periods: %1").arg(fixed(c.periods, 4)),
            QStringLiteral("phase: %1 deg").arg(fixed(c.phaseDeg, 2)),
            QStringLiteral("gain: %1").arg(fixed(c.gain, 4)),
            QStringLiteral("offset: %1").arg(fixed(c.offset, 4)),
            QStringLiteral("correlation: %1").arg(fixed(c.correlation, 5)),
            QStringLiteral("rms error: %1 %").arg(fixed(c.rmsError * 100, 2)),
            QStringLiteral("max error: %1 %").arg(fixed(c.maxError * 100, 2)),
            QStringLiteral("noise: %1 % rms").arg(fixed(c.noise * 100, 2)),
            QStringLiteral("band limit: %1").arg(bandLimitText(c.bandLimit)),
            QStringLiteral("error regions beyond noise: %1").arg(c.regions),
            QStringLiteral("worst: samples %1..%2").arg(c.worstFrom).arg(c.worstTo),
            QStringLiteral("verdict: %1")
                .arg(c.match ? QStringLiteral("match") : QStringLiteral("mismatch"))};
}

} // namespace ww
