#include "spectrum.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <kiss_fft.h>
#include <memory>

namespace ww {

namespace {
constexpr double kPi = 3.14159265358979323846;

// The window's samples and the half-width of its main lobe in bins.
std::vector<double> windowOf(SpectrumWindow w, std::size_t n, int& halfLobe) {
    std::vector<double> out(n, 1.0);
    // Coefficients of the cosine sums (Blackman-Harris 4-term, flat-top as in IEEE 1057).
    std::vector<double> a;
    switch (w) {
    case SpectrumWindow::None:
        halfLobe = 0;
        return out;
    case SpectrumWindow::Hann:
        a = {0.5, 0.5};
        halfLobe = 2;
        break;
    case SpectrumWindow::BlackmanHarris:
        a = {0.35875, 0.48829, 0.14128, 0.01168};
        halfLobe = 4;
        break;
    case SpectrumWindow::FlatTop:
        a = {0.21557895, 0.41663158, 0.277263158, 0.083578947, 0.006947368};
        halfLobe = 5;
        break;
    }
    for (std::size_t i = 0; i < n; ++i) {
        double v = 0;
        for (std::size_t j = 0; j < a.size(); ++j)
            v += (j % 2 ? -1.0 : 1.0) * a[j] * std::cos(2.0 * kPi * j * i / n);
        out[i] = v;
    }
    return out;
}

// The transform's plans (their twiddles) are kept for the next spectrum of the same lengths: a
// live view asks again at every change, and a transform through Bluestein's chirp uses two.
kiss_fft_cfg planFor(int n, bool inverse = false) {
    using Plan = std::unique_ptr<std::remove_pointer_t<kiss_fft_cfg>, decltype(&kiss_fft_free)>;
    struct Kept {
        int n;
        bool inverse;
        Plan plan;
    };
    thread_local std::vector<Kept> kept;
    for (std::size_t i = 0; i < kept.size(); ++i)
        if (kept[i].n == n && kept[i].inverse == inverse) {
            // The most recent first.
            std::rotate(kept.begin(), kept.begin() + static_cast<std::ptrdiff_t>(i),
                        kept.begin() + static_cast<std::ptrdiff_t>(i) + 1);
            return kept.front().plan.get();
        }
    if (kept.size() == 6)
        kept.pop_back();
    kept.insert(kept.begin(),
                Kept{n, inverse,
                     Plan(kiss_fft_alloc(n, inverse ? 1 : 0, nullptr, nullptr), &kiss_fft_free)});
    return kept.front().plan.get();
}

// Whether n is a product of 2, 3 and 5 only.
bool smooth(long long n) {
    for (const int p : {2, 3, 5})
        while (n % p == 0)
            n /= p;
    return n == 1;
}

// The largest prime factor of n.
int largestPrimeFactor(int n) {
    int largest = 1;
    for (int p = 2; static_cast<long long>(p) * p <= n; ++p)
        while (n % p == 0)
            largest = p, n /= p;
    return std::max(largest, n);
}

// Bluestein's chirp for a length: e^(iπj²/n) (angles taken modulo 2n so that they stay
// exact), and the transform of the chirp at j from -(n - 1) to n / 2 over m points, kept for
// the next spectrum of the same length. Only the bins up to n / 2 are made (the spectrum of a
// real record has no others), so m need be only n + n / 2, not 2n - 1: a quarter less work.
struct Chirp {
    int n = 0, m = 0;
    std::vector<double> c, s;
    std::vector<kiss_fft_cpx> transformed;
};

const Chirp& chirpFor(int n) {
    thread_local Chirp chirp;
    if (chirp.n == n)
        return chirp;
    chirp.n = n;
    chirp.m = n + n / 2;
    while (!smooth(chirp.m))
        ++chirp.m;
    const int m = chirp.m;
    chirp.c.assign(static_cast<std::size_t>(n), 0.0);
    chirp.s.assign(static_cast<std::size_t>(n), 0.0);
    std::vector<kiss_fft_cpx> b(static_cast<std::size_t>(m), {0, 0});
    for (int j = 0; j < n; ++j) {
        const double t = kPi * static_cast<double>(static_cast<long long>(j) * j % (2LL * n)) / n;
        chirp.c[j] = std::cos(t);
        chirp.s[j] = std::sin(t);
        const kiss_fft_cpx w{static_cast<float>(chirp.c[j]), static_cast<float>(chirp.s[j])};
        if (j <= n / 2)
            b[j] = w;
        if (j > 0)
            b[static_cast<std::size_t>(m - j)] = w;
    }
    chirp.transformed.assign(static_cast<std::size_t>(m), {0, 0});
    kiss_fft(planFor(m), b.data(), chirp.transformed.data());
    return chirp;
}

// The discrete Fourier transform of `in` into `out`, bins 0 to n / 2 (the spectrum of a real
// record is the same mirrored above; what `out` holds there is not to be read). KissFFT takes
// each prime factor of the length beyond 5 in time proportional to it (a prime near 16000 took
// 0.45 s, 15990 = 2·3·5·13·41 eleven times as long as 16000), so such a length goes through
// Bluestein's chirp z-transform instead: two transforms of a product of 2, 3 and 5 at least
// n + n / 2 long, the chirp's own transform kept.
void transform(std::vector<kiss_fft_cpx>& in, std::vector<kiss_fft_cpx>& out) {
    const int n = static_cast<int>(in.size());
    out.assign(in.size(), {});
    if (largestPrimeFactor(n) <= 5) {
        kiss_fft(planFor(n), in.data(), out.data());
        return;
    }
    const Chirp& chirp = chirpFor(n);
    const int m = chirp.m;
    const std::vector<double>&c = chirp.c, &s = chirp.s;
    std::vector<kiss_fft_cpx> a(static_cast<std::size_t>(m), {0, 0}), fa(a.size());
    for (int j = 0; j < n; ++j)
        // a = x · e^(-iπj²/n).
        a[j] = {static_cast<float>(in[j].r * c[j] + in[j].i * s[j]),
                static_cast<float>(in[j].i * c[j] - in[j].r * s[j])};
    kiss_fft(planFor(m), a.data(), fa.data());
    const std::vector<kiss_fft_cpx>& fb = chirp.transformed;
    for (int k = 0; k < m; ++k) {
        const double re =
            static_cast<double>(fa[k].r) * fb[k].r - static_cast<double>(fa[k].i) * fb[k].i;
        const double im =
            static_cast<double>(fa[k].r) * fb[k].i + static_cast<double>(fa[k].i) * fb[k].r;
        fa[k] = {static_cast<float>(re), static_cast<float>(im)};
    }
    kiss_fft(planFor(m, true), fa.data(), a.data());
    for (int k = 0; k <= n / 2; ++k) {
        const double re = a[k].r / static_cast<double>(m), im = a[k].i / static_cast<double>(m);
        out[k] = {static_cast<float>(re * c[k] + im * s[k]),
                  static_cast<float>(im * c[k] - re * s[k])};
    }
}

// The power of each bin from 0 to N/2 of `values` (less `offset`) through the window, scaled
// so that a sine of amplitude A has A² / 2 in all; the transform, in float as the library
// computes it, in `out`.
std::vector<double> powerOf(const std::vector<double>& values, double offset,
                            const std::vector<double>& window, double windowPower,
                            std::vector<kiss_fft_cpx>& out) {
    const int n = static_cast<int>(values.size());
    std::vector<kiss_fft_cpx> in(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        in[i] = {static_cast<float>((values[i] - offset) * window[i]), 0.0f};
    transform(in, out);
    const int half = n / 2;
    std::vector<double> power(static_cast<std::size_t>(half) + 1);
    for (int b = 0; b <= half; ++b) {
        const double re = out[b].r, im = out[b].i;
        const double both = (b == 0 || (b == half && n % 2 == 0)) ? 1.0 : 2.0;
        power[b] = both * (re * re + im * im) / (static_cast<double>(n) * windowPower);
    }
    return power;
}

// The largest component of `power` other than the DC: the power of the main lobe around its
// strongest bin.
double largestLobe(const std::vector<double>& power, int halfLobe) {
    const int half = static_cast<int>(power.size()) - 1;
    if (half < 1)
        return 0;
    const int peak =
        static_cast<int>(std::max_element(power.begin() + 1, power.end()) - power.begin());
    double lobe = 0;
    for (int j = std::max(0, peak - halfLobe); j <= std::min(half, peak + halfLobe); ++j)
        lobe += power[j];
    return lobe;
}

double dB(double ratio) {
    return 10.0 * std::log10(std::max(ratio, 1e-300));
}

// Weighted least squares: the x minimising the sum of weight × (A x - y)², through the normal
// equations (A is `rows` x `columns`, given a row at a time). False when they are singular.
bool leastSquares(int rows, int columns, const std::function<void(int, double*)>& row,
                  const std::vector<double>& y, std::vector<double>& x,
                  const std::vector<double>& weight) {
    const auto p = static_cast<std::size_t>(columns);
    std::vector<double> m(p * p, 0.0), v(p, 0.0), a(p);
    for (int r = 0; r < rows; ++r) {
        row(r, a.data());
        const double wr = weight[static_cast<std::size_t>(r)];
        if (wr == 0.0)
            continue;
        for (std::size_t i = 0; i < p; ++i) {
            const double wa = wr * a[i];
            v[i] += wa * y[static_cast<std::size_t>(r)];
            for (std::size_t j = 0; j <= i; ++j)
                m[i * p + j] += wa * a[j];
        }
    }
    // Cholesky: M = L Lᵀ.
    for (std::size_t i = 0; i < p; ++i)
        for (std::size_t j = 0; j <= i; ++j) {
            double sum = m[i * p + j];
            for (std::size_t k = 0; k < j; ++k)
                sum -= m[i * p + k] * m[j * p + k];
            if (i == j) {
                if (!(sum > 1e-12 * std::max(1.0, m[i * p + i])))
                    return false;
                m[i * p + i] = std::sqrt(sum);
            } else {
                m[i * p + j] = sum / m[j * p + j];
            }
        }
    x.assign(p, 0.0);
    for (std::size_t i = 0; i < p; ++i) {
        double sum = v[i];
        for (std::size_t k = 0; k < i; ++k)
            sum -= m[i * p + k] * x[k];
        x[i] = sum / m[i * p + i];
    }
    for (std::size_t i = p; i-- > 0;) {
        double sum = x[i];
        for (std::size_t k = i + 1; k < p; ++k)
            sum -= m[k * p + i] * x[k];
        x[i] = sum / m[i * p + i];
    }
    return true;
}

// The frequency, in cycles over the record, from `low` to `high`, whose sine (with a constant),
// fitted to the whole record (the four-parameter sine fit of IEEE Std 1057), explains the most
// of it: a search in steps of 0.05, then
// of 0.002 around the best. A long record is looked at every s-th sample (at most 8192 of
// them): a fundamental of few periods is far below what that leaves.
double strongestSine(const std::vector<double>& y, double low, double high) {
    const int n = static_cast<int>(y.size());
    const int stride = std::max(1, n / 8192);
    auto amplitude = [&](double cycles) {
        const double w = 2.0 * kPi * cycles / n;
        // The normal equations of [1, cos, sin].
        double m[3][3] = {}, v[3] = {};
        for (int i = 0; i < n; i += stride) {
            const double wt = 1.0;
            const double a[3] = {1.0, std::cos(w * i), std::sin(w * i)};
            for (int r = 0; r < 3; ++r) {
                v[r] += wt * a[r] * y[i];
                for (int c = 0; c < 3; ++c)
                    m[r][c] += wt * a[r] * a[c];
            }
        }
        // Cramer's rule on the 3 x 3 system.
        auto det = [](const double(&a)[3][3]) {
            return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                   a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                   a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
        };
        const double d = det(m);
        if (!(std::abs(d) > 0))
            return 0.0;
        double x[3];
        for (int c = 0; c < 3; ++c) {
            double mc[3][3];
            for (int r = 0; r < 3; ++r)
                for (int k = 0; k < 3; ++k)
                    mc[r][k] = k == c ? v[r] : m[r][k];
            x[c] = det(mc) / d;
        }
        // What the fit explains: bounded by the record's own energy, where the
        // amplitude itself grows without bound as the sine nears the constant.
        return v[0] * x[0] + v[1] * x[1] + v[2] * x[2];
    };
    double best = low, bestAmplitude = -1;
    for (double c = low; c <= high; c += 0.05)
        if (const double a = amplitude(c); a > bestAmplitude)
            best = c, bestAmplitude = a;
    const double around = best;
    for (double c = around - 0.05; c <= around + 0.05; c += 0.002)
        if (const double a = amplitude(c); c >= low && a > bestAmplitude)
            best = c, bestAmplitude = a;
    return best;
}

// The figures from the harmonics' powers (the fundamental's first), the noise (all that is
// neither DC nor a harmonic) and the strongest component that is no harmonic.
SpectrumFigures withFigures(SpectrumFigures& f, const std::vector<double>& hp, double noise,
                            double spur) {
    const double p1 = hp.front();
    if (!(p1 > 0)) {
        f.error = QStringLiteral("The waveform has no fundamental: it is flat.");
        f.harmonics.clear();
        return f;
    }
    double harmonicPower = 0;
    for (std::size_t k = 1; k < hp.size(); ++k) {
        harmonicPower += hp[k];
        spur = std::max(spur, hp[k]);
    }
    for (Harmonic& harmonic : f.harmonics)
        harmonic.dBc =
            20.0 * std::log10(std::max(harmonic.amplitude, 1e-300) / f.harmonics.front().amplitude);
    f.thdDb = dB(harmonicPower / p1);
    f.thdnDb = dB((harmonicPower + noise) / p1);
    f.snrDb = dB(p1 / std::max(noise, 1e-300));
    f.sfdrDb = dB(p1 / std::max(spur, 1e-300));
    f.sinadDb = dB(p1 / std::max(harmonicPower + noise, 1e-300));
    f.enobBits = (f.sinadDb - 1.76) / 6.02;
    // Less than the fundamental in all the rest: no steady tone (a sweep, a burst, noise), and
    // the figures describe none.
    if (f.sinadDb < 0)
        f.warning = QStringLiteral("The record holds no steady tone: its strongest component is "
                                   "weaker than all the rest together (SINAD %1 dB).")
                        .arg(f.sinadDb, 0, 'f', 1);
    return f;
}

// A record that is not one period: a constant and harmonics 1..H of the fundamental fitted to
// it (the fundamental's frequency refined with the first harmonics, as IEEE Std 1057 fits a
// sine), the rest is noise; the spurs are sought in what the fit leaves, through the window.
SpectrumFigures fitHarmonics(const std::vector<double>& y, double periods, int harmonics,
                             const std::vector<double>& window, double windowPower, int halfLobe) {
    SpectrumFigures f;
    const int n = static_cast<int>(y.size());
    const int h = std::clamp(harmonics, 1, std::max(1, static_cast<int>((n / 2 - 1) / periods)));
    double w = 2.0 * kPi * periods / n;
    std::vector<double> x;
    // The frequency: Gauss-Newton steps on the fundamental and the first harmonics, their
    // amplitudes and the step in frequency solved together (IEEE Std 1057's sine fit, with
    // harmonics).
    const int refine = std::min(h, 8);
    // Every fit weighs the samples by the window: a component a few bins from a harmonic (a
    // spur) then pulls neither its frequency nor its amplitude.
    std::vector<double> weight(window.size());
    for (std::size_t i = 0; i < window.size(); ++i)
        weight[i] = std::max(0.0, window[i]);
    auto harmonicRow = [&w](int count, int i, double* a) {
        a[0] = 1.0;
        for (int k = 1; k <= count; ++k) {
            a[2 * k - 1] = std::cos(k * w * i);
            a[2 * k] = std::sin(k * w * i);
        }
    };
    std::vector<double> ab;
    if (!leastSquares(
            n, 2 * refine + 1, [&](int i, double* a) { harmonicRow(refine, i, a); }, y, ab,
            weight)) {
        f.error = QStringLiteral("The harmonics cannot be told apart in this record.");
        return f;
    }
    for (int step = 0; step < 30; ++step) {
        std::vector<double> next;
        if (!leastSquares(
                n, 2 * refine + 2,
                [&](int i, double* a) {
                    harmonicRow(refine, i, a);
                    double d = 0;
                    for (int k = 1; k <= refine; ++k)
                        d += k * i *
                             (-ab[2 * k - 1] * std::sin(k * w * i) +
                              ab[2 * k] * std::cos(k * w * i));
                    a[2 * refine + 1] = d;
                },
                y, next, weight))
            break;
        const double dw = next.back();
        next.pop_back();
        ab = next;
        w += dw;
        if (std::abs(dw) < 1e-13 * w)
            break;
    }
    // Harmonics 1..H where they fall: one beyond the Nyquist frequency is fitted where it
    // aliases (IEEE Std 1241), unless it falls on the DC, on the Nyquist frequency or within a
    // bin of one fitted already, from which it cannot be told: it is then listed with that
    // one's amplitude, and counted once.
    const int all = std::clamp(harmonics, h, std::max(h, n / 2));
    auto folded = [&](int k) {
        double t = std::fmod(k * w, 2.0 * kPi);
        return t > kPi ? 2.0 * kPi - t : t;
    };
    const double bin = 2.0 * kPi / n;
    std::vector<int> fitted;           // the harmonics with columns of their own
    std::vector<int> same(all + 1, 0); // for the others: the one they cannot be told from
    for (int k = 1; k <= all; ++k) {
        const double at = folded(k);
        if (at < bin || at > kPi - bin / 2) {
            same[k] = -1;
            continue;
        }
        for (const int j : fitted)
            if (std::abs(folded(j) - at) < bin)
                same[k] = j;
        if (same[k] == 0)
            fitted.push_back(k);
    }
    if (fitted.empty() || fitted.front() != 1) {
        f.error = QStringLiteral("The fundamental lies at the Nyquist frequency: it cannot be "
                                 "measured.");
        return f;
    }
    const int columns = static_cast<int>(fitted.size());
    std::vector<double> omega(fitted.size());
    for (std::size_t c = 0; c < fitted.size(); ++c)
        omega[c] = folded(fitted[c]);
    if (!leastSquares(
            n, 2 * columns + 1,
            [&](int i, double* a) {
                a[0] = 1.0;
                for (int c = 0; c < columns; ++c) {
                    a[2 * c + 1] = std::cos(omega[c] * i);
                    a[2 * c + 2] = std::sin(omega[c] * i);
                }
            },
            y, x, weight)) {
        f.error = QStringLiteral("The harmonics cannot be told apart in this record.");
        return f;
    }
    f.fundamental = w * n / (2.0 * kPi);
    double noise = 0;
    std::vector<double> residual(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        double model = x[0];
        for (int c = 0; c < columns; ++c)
            model += x[2 * c + 1] * std::cos(omega[c] * i) + x[2 * c + 2] * std::sin(omega[c] * i);
        residual[i] = y[i] - model;
        noise += residual[i] * residual[i];
    }
    noise /= n;
    std::vector<double> hp;
    std::vector<Harmonic> byColumn(fitted.size());
    for (int c = 0; c < columns; ++c) {
        const double a = x[2 * c + 1], b = x[2 * c + 2];
        byColumn[c].k = fitted[c];
        byColumn[c].amplitude = std::hypot(a, b);
        byColumn[c].phaseDeg = std::atan2(-b, a) * 180.0 / kPi;
        hp.push_back(byColumn[c].amplitude * byColumn[c].amplitude / 2);
    }
    for (int k = 1; k <= std::min(all, std::max(harmonics, 1)); ++k) {
        Harmonic harmonic;
        harmonic.k = k;
        if (same[k] == 0)
            harmonic = byColumn[std::find(fitted.begin(), fitted.end(), k) - fitted.begin()];
        else if (same[k] > 0)
            harmonic.amplitude =
                byColumn[std::find(fitted.begin(), fitted.end(), same[k]) - fitted.begin()]
                    .amplitude;
        harmonic.k = k;
        f.harmonics.push_back(harmonic);
    }
    // The spurs: what the harmonics leave, through the window; its largest component (a
    // harmonic beyond those fitted too).
    std::vector<kiss_fft_cpx> transform;
    const double spur =
        largestLobe(powerOf(residual, 0.0, window, windowPower, transform), halfLobe);
    return withFigures(f, hp, noise, spur);
}
} // namespace

QString figureText(const SpectrumFigures& f, Figure which) {
    const double enobFloor = (kSpectrumFloorDb - 1.76) / 6.02;
    auto text = [](double v) { return QString::number(v, 'f', 2); };
    switch (which) {
    case Figure::Thd:
    case Figure::ThdN: {
        const double v = which == Figure::Thd ? f.thdDb : f.thdnDb;
        return v < -kSpectrumFloorDb ? QStringLiteral("< %1 dB").arg(text(-kSpectrumFloorDb))
                                     : text(v) + QStringLiteral(" dB");
    }
    case Figure::Snr:
    case Figure::Sfdr:
    case Figure::Sinad: {
        const double v = which == Figure::Snr    ? f.snrDb
                         : which == Figure::Sfdr ? f.sfdrDb
                                                 : f.sinadDb;
        return v > kSpectrumFloorDb ? QStringLiteral("> %1 dB").arg(text(kSpectrumFloorDb))
                                    : text(v) + QStringLiteral(" dB");
    }
    case Figure::Enob:
        return f.enobBits > enobFloor ? QStringLiteral("> %1 bits").arg(text(enobFloor))
                                      : text(f.enobBits) + QStringLiteral(" bits");
    }
    return QString();
}

QString figuresLine(const SpectrumFigures& f) {
    return QStringLiteral("THD %1, THD+N %2, SNR %3, SFDR %4, SINAD %5, ENOB %6, fundamental %7 "
                          "periods")
        .arg(figureText(f, Figure::Thd), figureText(f, Figure::ThdN), figureText(f, Figure::Snr),
             figureText(f, Figure::Sfdr), figureText(f, Figure::Sinad), figureText(f, Figure::Enob),
             QString::number(f.fundamental, 'f', 2));
}

QString settingsLine(const SpectrumFigures& f, bool quantized, int harmonics) {
    static const char* const names[] = {"none", "hann", "blackman-harris", "flat-top"};
    return QStringLiteral("window %1, 12 bits %2, harmonics %3")
        .arg(QLatin1String(names[static_cast<int>(f.window)]),
             quantized ? QStringLiteral("yes (as the generator makes it)") : QStringLiteral("no"))
        .arg(harmonics);
}

QByteArray spectrumCsv(const SpectrumFigures& f, bool quantized, int harmonics) {
    QByteArray out = "# " + settingsLine(f, quantized, harmonics).toUtf8() + "\r\n# " +
                     figuresLine(f).toUtf8() + "\r\nharmonic,amplitude,dBc,phase_deg\r\n";
    for (const Harmonic& h : f.harmonics)
        out += QStringLiteral("%1,%2,%3,%4\r\n")
                   .arg(h.k)
                   .arg(QString::number(h.amplitude, 'g', 9), QString::number(h.dBc, 'f', 4),
                        QString::number(h.phaseDeg, 'f', 3))
                   .toUtf8();
    return out;
}

std::vector<double> asGenerated(const std::vector<double>& samples,
                                const std::function<int(float)>& code, int top) {
    std::vector<double> out(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i)
        out[i] = code(static_cast<float>(samples[i])) / static_cast<double>(top) * 2.0 - 1.0;
    return out;
}

int fastTransformLength(int n) {
    while (n > 1 && !smooth(n))
        --n;
    return n;
}

SpectrumFigures analyseSpectrum(const std::vector<double>& samples, int harmonics,
                                SpectrumWindow window) {
    SpectrumFigures f;
    // A long record of a length the transform is slow for (a large prime factor: 100,003
    // points took 26 s against 0.5 s for 100,000) goes through a window, trimmed to the
    // nearest length below that is a product of 2, 3 and 5 (within a fraction of a percent),
    // and says so. Whole periods are looked for only where the transform is fast, or short.
    // Beyond kSpectrumStretch points the fit would grow with the record (1,000,000 took 4.2
    // s): a steady record is measured over its first kSpectrumStretch points, which tell its
    // harmonics, noise and spurs as well, in the same time for any length.
    const int all = static_cast<int>(samples.size());
    if (all > kSpectrumStretch || (all > kMaxLength && !smooth(all))) {
        const int used = fastTransformLength(std::min(all, kSpectrumStretch));
        SpectrumFigures trimmed =
            analyseSpectrum(std::vector<double>(samples.begin(), samples.begin() + used), harmonics,
                            window == SpectrumWindow::None ? SpectrumWindow::Hann : window);
        trimmed.used = used;
        if (trimmed.error.isEmpty())
            trimmed.fundamental *= static_cast<double>(all) / used;
        return trimmed;
    }
    f.used = all;
    const int n = static_cast<int>(samples.size());
    if (n < 4) {
        f.error = QStringLiteral("A spectrum needs at least 4 samples.");
        return f;
    }
    for (const double v : samples) {
        if (!std::isfinite(v)) {
            f.error = QStringLiteral("A sample is not a finite number.");
            return f;
        }
        // Powers are squares summed: beyond this they overflow.
        if (std::abs(v) > 1e150) {
            f.error = QStringLiteral("The values are too large to analyse (at most 1e150 in "
                                     "size).");
            return f;
        }
    }
    int halfLobe = 0;
    const std::vector<double> w = windowOf(window, samples.size(), halfLobe);
    double windowPower = 0, mean = 0;
    for (int i = 0; i < n; ++i)
        mean += samples[i] * w[i];
    double windowSum = 0;
    for (const double x : w)
        windowSum += x, windowPower += x * x;
    mean /= windowSum;
    // The transform of the record less its mean: the DC is not a component of the waveform's
    // distortion, and taking it out keeps it from leaking.
    std::vector<kiss_fft_cpx> out;
    std::vector<double> power = powerOf(samples, mean, w, windowPower, out);
    power[0] = 0;
    const int half = n / 2;
    f.window = window;
    // The fundamental: bin 1 of one period, else the strongest component.
    double fundamental = 1.0;
    if (window == SpectrumWindow::None && half >= 3) {
        // Whole periods: the strongest component lies on a bin. Nothing beside it says so at
        // once (what a fraction of a period leaks to the next bins is at -40 dB already 0.01
        // of a bin off); where harmonics stand beside it, a record that runs on from its end
        // into its start says it. A strongest bin of 1 is one period, as the
        // program's own waveform is.
        const int p =
            static_cast<int>(std::max_element(power.begin() + 1, power.end()) - power.begin());
        if (p >= 2) {
            const double beside = power[p - 1] + (p < half ? power[p + 1] : 0.0);
            // Where the bins beside are harmonics, the record's end must run on into its
            // start, in value and in slope, as one step of it runs into the next.
            std::vector<double> steps(static_cast<std::size_t>(n - 1));
            for (int i = 0; i + 1 < n; ++i)
                steps[i] = std::abs(samples[i + 1] - samples[i]);
            std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
            const double step = steps[steps.size() / 2] + 1e-12;
            const bool runsOn =
                std::abs(samples[0] - samples[n - 1]) <= 3 * step &&
                std::abs((samples[1] - samples[0]) - (samples[n - 1] - samples[n - 2])) <= 3 * step;
            const bool onBin = beside <= 1e-4 * power[p] || runsOn;
            if (!onBin) {
                SpectrumFigures windowed =
                    analyseSpectrum(samples, harmonics, SpectrumWindow::Hann);
                windowed.window = SpectrumWindow::Hann;
                return windowed;
            }
            // The periods: the largest divisor of p off whose multiples lies no more than
            // -30 dB of the record (noise, not a component): 0.5 sin x + sin 2x is one period
            // with a strong second harmonic, a capture of three periods three.
            double total = 0;
            for (int b = 1; b <= half; ++b)
                total += power[b];
            fundamental = 1;
            for (int d = p; d >= 2; --d) {
                if (p % d != 0)
                    continue;
                double off = 0;
                for (int b = 1; b <= half; ++b)
                    if (b % d != 0)
                        off += power[b];
                if (off <= 1e-3 * total) {
                    fundamental = d;
                    break;
                }
            }
        }
    }
    if (window != SpectrumWindow::None) {
        if (half < 2 * halfLobe + 2) {
            f.error = QStringLiteral("Too few samples for this window.");
            return f;
        }
        // The strongest bin, and the centre of the power of its main lobe.
        const auto peak = std::max_element(power.begin() + 1, power.end());
        const int p = static_cast<int>(peak - power.begin());
        double sum = 0, weighted = 0;
        for (int b = std::max(1, p - halfLobe); b <= std::min(half, p + halfLobe); ++b)
            sum += power[b], weighted += power[b] * b;
        if (!(sum > 0)) {
            f.error = QStringLiteral("The waveform has no fundamental: it is flat.");
            return f;
        }
        fundamental = weighted / sum;
        // Few periods: the fundamental's lobe merges with the DC's and with its own image, and
        // its centre says little. The frequency whose sine, fitted to the whole record, explains
        // the most of it is taken instead.
        if (p <= 2 * halfLobe + 2)
            fundamental = strongestSine(samples, 0.5, p + halfLobe + 1.0);
        auto tooFew = [&f, window, n](double periods) {
            f = SpectrumFigures();
            f.window = window;
            f.used = n;
            f.error = QStringLiteral("Too few periods: the record holds %1, at least 1.5 are "
                                     "needed.")
                          .arg(periods, 0, 'f', 2);
            return f;
        };
        if (fundamental < 0.5)
            return tooFew(fundamental);
        // The window found the fundamental; the harmonics themselves are fitted to the record,
        // so that few periods, whose harmonics share the window's bins, are measured right.
        // The limit holds for the fundamental as the fit refines it, counted to the hundredth
        // it states (1.4999 of a fit is the 1.50 it shows).
        f = fitHarmonics(samples, fundamental, harmonics, w, windowPower, halfLobe);
        f.window = window;
        f.used = n;
        if (f.error.isEmpty() && std::round(f.fundamental * 100) < 150)
            return tooFew(f.fundamental);
        if (!f.error.isEmpty() && fundamental < 1.5)
            return tooFew(fundamental);
        return f;
    }
    // Whole periods, m of them: harmonic k at bin k·m, or where it aliases beyond the Nyquist
    // frequency (IEEE Std 1241). A bin two harmonics alias to is counted once; one on the DC
    // not at all.
    const int m = static_cast<int>(fundamental);
    const int h = std::clamp(harmonics, 1, std::max(1, half));
    std::vector<int> owner(power.size(), 0);
    std::vector<double> hp(static_cast<std::size_t>(h), 0.0);
    std::vector<int> binOf(static_cast<std::size_t>(h) + 1, 0);
    for (int k = 1; k <= h; ++k) {
        const long long r = static_cast<long long>(k) * m % n;
        const int b = static_cast<int>(r <= half ? r : n - r);
        binOf[k] = b;
        if (b == 0 || owner[b] != 0)
            continue;
        owner[b] = k;
        hp[static_cast<std::size_t>(k - 1)] = power[b];
    }
    for (int k = 1; k <= h; ++k) {
        Harmonic harmonic;
        harmonic.k = k;
        const int b = binOf[k];
        // At the Nyquist frequency a component is its cosine alone: its power is A², not
        // A² / 2.
        const bool nyquist = n % 2 == 0 && b == half;
        harmonic.amplitude = b == 0 ? 0.0 : std::sqrt((nyquist ? 1.0 : 2.0) * power[b]);
        if (b != 0) {
            // A harmonic that aliased from the upper half is seen mirrored: its phase turns.
            const bool mirrored = static_cast<long long>(k) * m % n > half;
            harmonic.phaseDeg =
                (mirrored ? -1.0 : 1.0) *
                std::atan2(out[static_cast<std::size_t>(b)].i, out[static_cast<std::size_t>(b)].r) *
                180.0 / kPi;
        }
        f.harmonics.push_back(harmonic);
    }
    double total = 0, harmonicPower = 0, spur = 0;
    for (int b = 1; b <= half; ++b) {
        total += power[b];
        if (owner[b] == 0)
            spur = std::max(spur, power[b]);
    }
    for (const double p : hp)
        harmonicPower += p;
    f.fundamental = fundamental;
    return withFigures(f, hp, std::max(total - harmonicPower, 0.0), spur);
}

} // namespace ww
