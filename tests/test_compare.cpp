// The comparison of a sent waveform with a captured curve: the parameters of known captures
// recovered within stated bounds, the seeded goals for a corrupted block and a clean upload,
// clipped and inverted captures, and the captures it refuses.
#include "analysis/compare.h"
#include "instruments/tdsexchange.h"
#include "synth/shapes.h"
#include "virtualoscilloscope.h"

#include <QTest>
#include <cmath>
#include <random>

using namespace ww;
using Screen = virt::VirtualOscilloscope::Screen;

namespace {
// Not symmetric in any way (no half-period or mirror symmetry), so gain, phase and sign are
// all determined: a fundamental, a second harmonic and a short pulse.
QVector<float> lopsided(int n) {
    QVector<float> v(n);
    for (int i = 0; i < n; ++i) {
        const double x = 2 * M_PI * i / n;
        v[i] = static_cast<float>(0.55 * std::sin(x) + 0.25 * std::cos(2 * x + 0.4) +
                                  (i > n / 5 && i < n / 5 + n / 40 ? 0.18 : 0.0));
    }
    return v;
}

QVector<float> shape(void (*make)(WaveStore&), int n) {
    WaveStore s;
    s.ArbLength = static_cast<float>(n);
    make(s);
    return QVector<float>(s.ArbData.begin(), s.ArbData.begin() + n);
}

// What the oscilloscope sends back for it: 2500 8-bit points as samples.
std::vector<double> capture(const QVector<float>& played, const Screen& screen) {
    const QByteArray codes = virt::VirtualOscilloscope::curveFromSamples(played, screen);
    std::vector<double> out;
    for (const char b : codes)
        out.push_back(tdsSample(static_cast<unsigned char>(b)));
    return out;
}

std::vector<double> asDoubles(const QVector<float>& v) {
    return std::vector<double>(v.begin(), v.end());
}

// Whether the circular region from..to of n samples holds [a, b].
bool covers(int from, int to, int a, int b, int n) {
    const auto inside = [&](int i) { return (i - from + n) % n <= (to - from + n) % n; };
    return inside(a) && inside(b) && (b - from + n) % n >= (a - from + n) % n;
}

// Whether the circular regions from..to and a..b of n samples share a sample.
bool overlaps(int from, int to, int a, int b, int n) {
    const auto inside = [n](int i, int f, int t) { return (i - f + n) % n <= (t - f + n) % n; };
    return inside(a, from, to) || inside(from, a, b);
}

// The shapes people upload most: the edges and the narrow pulse are what a band limit blurs.
QVector<float> benchShape(int kind, int n) {
    QVector<float> v(n);
    for (int i = 0; i < n; ++i) {
        switch (kind) {
        case 0:
            v[i] = static_cast<float>(std::sin(2 * M_PI * i / n));
            break;
        case 1:
            v[i] = i < n / 2 ? 1.0f : -1.0f;
            break;
        case 2:
            v[i] = static_cast<float>(-1.0 + 2.0 * i / (n - 1));
            break;
        default:
            v[i] = i < n / 50 ? 1.0f : -1.0f; // a pulse 2 % of the period wide
            break;
        }
    }
    return v;
}

const char* const kBenchShapes[] = {"sine", "square", "saw", "pulse"};

// A bench oscilloscope's view: 1.5 to 12 periods in 2500 points, a band limit of 20 to 200
// times the fundamental of one pole or two, noise up to 2 % RMS of the amplitude, timing
// jitter up to 2e-4 of a period, 8 bits.
Screen benchScreen(std::mt19937& random, quint32 seed) {
    std::uniform_real_distribution<double> u(0.0, 1.0);
    Screen s;
    s.periods = 1.5 + 10.5 * u(random);
    s.phaseDeg = 360 * u(random);
    s.gain = 0.5 + 0.4 * u(random);
    s.offset = 0.1 * (u(random) - 0.5);
    s.bandwidth = 20 * std::pow(10.0, u(random));
    s.order = u(random) < 0.5 ? 1 : 2;
    s.noise = 0.02 * s.gain * u(random);
    s.jitter = 2e-4 * u(random);
    s.seed = seed;
    return s;
}

QString described(const Screen& s) {
    return QStringLiteral("periods %1 phase %2 band %3 order %4 noise %5 jitter %6")
        .arg(s.periods)
        .arg(s.phaseDeg)
        .arg(s.bandwidth)
        .arg(s.order)
        .arg(s.noise / s.gain)
        .arg(s.jitter);
}

// Whether the worst region is where the received waveform differs from the sent one under
// another alignment that leaves no more samples different than the block does: a pulse's
// neighbour negated widens the pulse, and a block wider than the pulse negated makes a pulse of
// its own; either alignment explains as much, and the comparison may take either.
bool otherwiseAligned(const QVector<float>& sent, const QVector<float>& received, int block,
                      const Comparison& c) {
    const int n = static_cast<int>(sent.size());
    for (int shift = 1; shift < n; ++shift) {
        std::vector<int> differ;
        for (int j = 0; j < n && static_cast<int>(differ.size()) <= block; ++j)
            if (received[(j + shift) % n] != sent[j])
                differ.push_back(j);
        if (static_cast<int>(differ.size()) > block)
            continue;
        for (const int j : differ)
            if (overlaps(c.worstFrom, c.worstTo, j, j, n))
                return true;
    }
    return false;
}

double phaseGap(double a, double b) {
    const double d = std::fmod(std::abs(a - b), 360.0);
    return std::min(d, 360.0 - d);
}
} // namespace

class TestCompare : public QObject {
    Q_OBJECT
  private slots:
    void recoversKnownCaptures();
    void seededCorruptionAndCleanRuns();
    void throughAnOscilloscopesFrontEnd();
    void clippedAndInvertedCaptures();
    void levelsNoiseAndTheSameFile();
    void refusals();
    void linesOfTheReport();
};

void TestCompare::recoversKnownCaptures() {
    struct Case {
        int n;
        Screen screen;
    };
    // Periods from one to twenty, whole and not; phases, gains (one inverted), offsets, a delay.
    const Case cases[] = {
        {16000, {1.0, 0, 1.0, 0, 0, 0, 1}},        {16000, {3.0, 40, 0.8, 0.1, 0, 0, 1}},
        {16000, {7.3, 200, -0.7, -0.05, 0, 0, 1}}, {16000, {20.0, 123, 0.9, 0.02, 0, 0, 1}},
        {201, {1.6, 300, 0.6, 0.2, 0, 0, 1}},      {4000, {12.45, 10, 0.5, -0.3, 37, 0, 1}},
    };
    for (const Case& c : cases) {
        const QVector<float> sent = lopsided(c.n);
        const Comparison r = compareCapture(asDoubles(sent), capture(sent, c.screen));
        const QString where = QStringLiteral("n %1, periods %2").arg(c.n).arg(c.screen.periods);
        QVERIFY2(r.error.isEmpty(), qPrintable(where + r.error));
        QVERIFY2(std::abs(r.periods - c.screen.periods) <= 2e-3 * c.screen.periods,
                 qPrintable(where + QStringLiteral(": %1").arg(r.periods)));
        // The delay moves the start back: delay × periods / 2500 of a period.
        const double phase = c.screen.phaseDeg - 360.0 * c.screen.delay * c.screen.periods / 2500;
        QVERIFY2(
            phaseGap(r.phaseDeg, phase) <= 0.5,
            qPrintable(where + QStringLiteral(": phase %1 for %2").arg(r.phaseDeg).arg(phase)));
        // Within the 8-bit step: the capture codes v × 128 + 127 rounded.
        QVERIFY2(std::abs(r.gain - c.screen.gain) <= 0.01,
                 qPrintable(where + QStringLiteral(": gain %1").arg(r.gain)));
        QVERIFY2(std::abs(r.offset - c.screen.offset) <= 0.01,
                 qPrintable(where + QStringLiteral(": offset %1").arg(r.offset)));
        QVERIFY2(r.match, qPrintable(where + QStringLiteral(": max error %1").arg(r.maxError)));
        QVERIFY(r.correlation > 0.999);
        QCOMPARE(r.points.size(), std::size_t(2500));
    }

    // The program's square: its edges fall between points, which is no error.
    const QVector<float> square = shape(makeSquare, 16000);
    const Comparison sq =
        compareCapture(asDoubles(square), capture(square, {4.5, 77, 0.9, 0, 0, 0.01, 3}));
    QVERIFY(sq.error.isEmpty());
    QVERIFY2(sq.match, qPrintable(QString::number(sq.maxError)));
    QVERIFY(std::abs(sq.periods - 4.5) < 0.01);
}

void TestCompare::seededCorruptionAndCleanRuns() {
    // The goal: one 128-sample block of a 16000-sample waveform received wrong (its codes' top
    // bit flipped, as the virtual generator garbles a line), captured as 2500 8-bit points with
    // noise at -40 dB of full scale (RMS 0.01), is a mismatch in 100 of 100 seeded runs, the
    // worst region covering the block; the same without the fault is a match in all 100.
    int flagged = 0, covered = 0, cleanFlagged = 0;
    for (quint32 seed = 1; seed <= 100; ++seed) {
        std::mt19937 random(seed);
        std::uniform_real_distribution<double> u(0.0, 1.0);
        QVector<float> sent;
        switch (seed % 4) {
        case 0:
            sent = shape(makeSine, 16000);
            break;
        case 1:
            sent = shape(makeTriangle, 16000);
            break;
        case 2:
            sent = shape(makePositiveRamp, 16000);
            break;
        default:
            sent = lopsided(16000);
            break;
        }
        Screen screen;
        screen.periods = 1.0 + 19.0 * u(random);
        screen.phaseDeg = 360.0 * u(random);
        // Inverted only where that can be told: a sine inverted is a sine half a period on.
        const bool invertible = seed % 4 >= 2;
        screen.gain = (u(random) < 0.5 && invertible ? -1 : 1) * (0.6 + 0.3 * u(random));
        screen.offset = 0.1 * (u(random) - 0.5);
        screen.noise = 0.01;
        screen.seed = seed;
        const int block = static_cast<int>(u(random) * 125); // blocks 0..124 of 16000
        QVector<float> received = sent;
        for (int i = block * 128; i < block * 128 + 128; ++i) {
            // The 12-bit code with its top bit flipped, back to a sample.
            const int code = static_cast<int>(std::lround((sent[i] + 1.0) / 2.0 * 4095)) ^ 0x800;
            received[i] = static_cast<float>(code / 4095.0 * 2.0 - 1.0);
        }
        const Comparison bad = compareCapture(asDoubles(sent), capture(received, screen));
        QVERIFY2(bad.error.isEmpty(), qPrintable(bad.error));
        if (!bad.match)
            ++flagged;
        else
            qWarning("seed %u: corrupted block %d not flagged, max %f", seed, block, bad.maxError);
        if (covers(bad.worstFrom, bad.worstTo, block * 128, block * 128 + 127, 16000))
            ++covered;
        else
            qWarning("seed %u: block %d..%d, worst %d..%d, periods %f/%f phase %f/%f max %f", seed,
                     block * 128, block * 128 + 127, bad.worstFrom, bad.worstTo, bad.periods,
                     screen.periods, bad.phaseDeg, screen.phaseDeg, bad.maxError);
        const Comparison good = compareCapture(asDoubles(sent), capture(sent, screen));
        QVERIFY2(good.error.isEmpty(), qPrintable(good.error));
        if (!good.match) {
            ++cleanFlagged;
            qWarning("seed %u: clean flagged, max %f rms %f periods %f/%f", seed, good.maxError,
                     good.rmsError, good.periods, screen.periods);
        }
    }
    QCOMPARE(flagged, 100);
    QCOMPARE(covered, 100);
    QCOMPARE(cleanFlagged, 0);

    // A block that is a larger share of a shorter waveform (128 of 2000 samples) pulls the
    // period search itself; searched again among the points the fit heeds, it is placed right.
    const QVector<float> triangle = shape(makeTriangle, 2000);
    QVector<float> garbled = triangle;
    for (int i = 0; i < 128; ++i)
        garbled[i] = static_cast<float>(
            (static_cast<int>(std::lround((triangle[i] + 1.0) / 2.0 * 4095)) ^ 0x800) / 4095.0 * 2 -
            1);
    const Comparison large =
        compareCapture(asDoubles(triangle), capture(garbled, {3.0, 40, 0.8, 0.05, 0, 0.01, 7}));
    QVERIFY(!large.match);
    QVERIFY2(std::abs(large.periods - 3.0) < 0.002, qPrintable(QString::number(large.periods)));
    QVERIFY(covers(large.worstFrom, large.worstTo, 0, 127, 2000));
}

void TestCompare::throughAnOscilloscopesFrontEnd() {
    // For each shape, 100 seeded clean captures through a bench oscilloscope's front end: at
    // most one called a mismatch. The same with a block of 3 % of the samples negated or
    // zeroed where that moves a sample by 15 % of full scale at least: 95 found at least, the
    // worst region overlapping the block.
    const int n = 4000, block = n * 3 / 100;
    for (int kind = 0; kind < 4; ++kind) {
        const QVector<float> sent = benchShape(kind, n);
        int falseMismatches = 0, found = 0;
        for (quint32 seed = 1; seed <= 100; ++seed) {
            std::mt19937 random(seed * 31 + kind);
            const Screen screen = benchScreen(random, seed);
            const Comparison clean = compareCapture(asDoubles(sent), capture(sent, screen));
            QVERIFY2(clean.error.isEmpty(), qPrintable(clean.error));
            if (!clean.match) {
                ++falseMismatches;
                qWarning("%s seed %u clean: max %.4f rms %.4f regions %d noise %.4f band %d %.1f "
                         "(%s)",
                         kBenchShapes[kind], seed, clean.maxError, clean.rmsError, clean.regions,
                         clean.noise, clean.bandLimit.order, clean.bandLimit.harmonics,
                         qPrintable(described(screen)));
            }
            // A block that moves a sample by 15 % of full scale (0.3) at least.
            QVector<float> received;
            int from = 0;
            const bool negate = seed % 2 == 0;
            for (;;) {
                from = static_cast<int>(random() % n);
                received = sent;
                double moved = 0;
                for (int i = from; i < from + block; ++i) {
                    float& v = received[i % n];
                    v = negate ? -v : 0.0f;
                    moved = std::max(moved, std::abs(double(v) - sent[i % n]));
                }
                if (moved >= 0.3)
                    break;
            }
            const int to = (from + block - 1) % n;
            const Comparison bad = compareCapture(asDoubles(sent), capture(received, screen));
            QVERIFY2(bad.error.isEmpty(), qPrintable(bad.error));
            if (!bad.match && (overlaps(bad.worstFrom, bad.worstTo, from, to, n) ||
                               otherwiseAligned(sent, received, block, bad)))
                ++found;
            else
                qWarning("%s seed %u block %d..%d %s: match %d worst %d..%d max %.4f (%s)",
                         kBenchShapes[kind], seed, from, to, negate ? "negated" : "zeroed",
                         bad.match, bad.worstFrom, bad.worstTo, bad.maxError,
                         qPrintable(described(screen)));
        }
        QVERIFY2(falseMismatches <= 1, kBenchShapes[kind]);
        QVERIFY2(found >= 95, kBenchShapes[kind]);
    }
}

void TestCompare::clippedAndInvertedCaptures() {
    const QVector<float> sent = lopsided(16000);
    // Too much gain for the screen: the peaks sit at code 255 and 0.
    const Comparison clipped =
        compareCapture(asDoubles(sent), capture(sent, {2.0, 0, 1.6, 0, 0, 0, 1}));
    QVERIFY(clipped.error.isEmpty());
    QVERIFY(!clipped.match);
    QVERIFY(clipped.notes.join(' ').contains(QStringLiteral("clipped")));
    // The worst region lies where the sent waveform is highest or lowest.
    const auto [lo, hi] = std::minmax_element(sent.begin(), sent.end());
    const int top = static_cast<int>(hi - sent.begin()),
              bottom = static_cast<int>(lo - sent.begin());
    QVERIFY(covers(clipped.worstFrom, clipped.worstTo, top, top, 16000) ||
            covers(clipped.worstFrom, clipped.worstTo, bottom, bottom, 16000));

    // Inverted: the gain comes out negative, the rest as it is.
    const Comparison inverted =
        compareCapture(asDoubles(sent), capture(sent, {2.0, 90, -0.9, 0, 0, 0, 1}));
    QVERIFY(inverted.match);
    QVERIFY(std::abs(inverted.gain + 0.9) < 0.01);
    QVERIFY(phaseGap(inverted.phaseDeg, 90) < 0.5);

    // A waveform of the wrong length played (the last quarter missing): a mismatch.
    const QVector<float> shortened = sent.mid(0, 12000);
    const Comparison cut =
        compareCapture(asDoubles(sent), capture(shortened, {3.0, 0, 0.9, 0, 0, 0, 1}));
    QVERIFY2(cut.error.isEmpty(), qPrintable(cut.error));
    QVERIFY(!cut.match);
}

void TestCompare::levelsNoiseAndTheSameFile() {
    // A clean capture of a square with sharp edges holds two levels only: compared, a match.
    const QVector<float> square = benchShape(1, 16000);
    const Comparison twoLevels =
        compareCapture(asDoubles(square), capture(square, {3.0, 40, 0.7, 0, 0, 0, 1}));
    QVERIFY2(twoLevels.error.isEmpty(), qPrintable(twoLevels.error));
    QVERIFY(twoLevels.match);
    // A real oscilloscope's export of a clean square: 7 periods of exactly 200 points, two
    // codes, the edges between points. Matched, 7 periods, not called clipped at its top.
    std::vector<double> exported;
    for (int t = 0; t < 1400; ++t)
        exported.push_back(t % 200 < 100 ? 0.5 : -0.46);
    const Comparison real = compareCapture(asDoubles(square), exported);
    QVERIFY2(real.match, qPrintable(QString::number(real.maxError)));
    QVERIFY(std::abs(real.periods - 7) < 1e-3);
    QVERIFY(phaseGap(real.phaseDeg, 0) < 360.0 / 200);
    QVERIFY2(!real.notes.join(' ').contains(QStringLiteral("clipped")),
             qPrintable(real.notes.join(' ')));

    // Noise alone, and a level with noise, hold no periodic signal.
    std::mt19937 random(5);
    std::normal_distribution<double> noise(0, 0.05);
    std::vector<double> onlyNoise(2500), level(2500);
    for (int t = 0; t < 2500; ++t) {
        onlyNoise[t] = std::round(noise(random) * 128) / 128;
        level[t] = std::round((0.4 + noise(random)) * 128) / 128;
    }
    for (const auto* c : {&onlyNoise, &level}) {
        const Comparison none = compareCapture(asDoubles(square), *c);
        QVERIFY2(none.error.contains(QStringLiteral("no periodic signal")), qPrintable(none.error));
    }

    // A waveform compared with itself: phase 0, gain 1, a match.
    const QVector<float> sent = lopsided(1000);
    const Comparison self = compareCapture(asDoubles(sent), asDoubles(sent));
    QVERIFY(self.match);
    QVERIFY2(phaseGap(self.phaseDeg, 0) < 1e-6, qPrintable(QString::number(self.phaseDeg)));
    QVERIFY(std::abs(self.gain - 1) < 1e-9);

    // Inverted: a square is taken upright, and says why; a saw is not the same inverted and
    // half a period on, and says nothing of it.
    const Comparison upright =
        compareCapture(asDoubles(square), capture(square, {2.5, 30, -0.7, 0, 0, 0.01, 3}));
    QVERIFY(upright.gain > 0);
    QVERIFY(upright.notes.join(' ').contains(QStringLiteral("inverted")));
    const QVector<float> saw = benchShape(2, 4000);
    Screen band{4.2, 100, 0.8, 0, 0, 0.01, 4};
    band.bandwidth = 60;
    for (const double gain : {0.8, -0.8}) {
        band.gain = gain;
        const Comparison s = compareCapture(asDoubles(saw), capture(saw, band));
        QVERIFY2(s.match, qPrintable(QString::number(s.maxError)));
        QVERIFY(std::abs(s.gain - gain) < 0.02);
        QVERIFY(!s.notes.join(' ').contains(QStringLiteral("inverted")));
        // The band limit is found and reported: one pole at 60 times the fundamental.
        QCOMPARE(s.bandLimit.order, 1);
        QVERIFY2(std::abs(s.bandLimit.harmonics / 60 - 1) < 0.15,
                 qPrintable(QString::number(s.bandLimit.harmonics)));
        QVERIFY(std::abs(s.noise * 2 * 0.8 / 0.01 - 1) < 0.3);
    }

    // Values beyond what squares can hold are refused, not measured.
    std::vector<double> huge = capture(sent, {});
    huge[3] = 1e308;
    QVERIFY2(compareCapture(asDoubles(sent), huge).error.contains(QStringLiteral("too large")),
             qPrintable(compareCapture(asDoubles(sent), huge).error));
}

void TestCompare::refusals() {
    const QVector<float> sent = lopsided(16000);
    // No signal: the capture sits within a step or two of one code.
    const Comparison flat =
        compareCapture(asDoubles(sent), capture(sent, {1.0, 0, 0.004, 0, 0, 0, 1}));
    QVERIFY(flat.error.contains(QStringLiteral("flat")));
    // Half a period.
    const Comparison half =
        compareCapture(asDoubles(sent), capture(sent, {0.5, 0, 0.9, 0, 0, 0, 1}));
    QVERIFY2(half.error.contains(QStringLiteral("at least one period")), qPrintable(half.error));
    // 400 periods in 2500 points: six points a period.
    const Comparison many =
        compareCapture(asDoubles(shape(makeSine, 16000)),
                       capture(shape(makeSine, 16000), {400.0, 0, 0.9, 0, 0, 0, 1}));
    QVERIFY2(many.error.contains(QStringLiteral("fewer than 16 points")), qPrintable(many.error));
    // A flat sent waveform, too few points, a number that is none.
    QVERIFY(compareCapture(std::vector<double>(100, 0.5), capture(sent, {}))
                .error.contains(QStringLiteral("sent waveform is flat")));
    QVERIFY(compareCapture(asDoubles(sent), std::vector<double>(10, 0.0))
                .error.contains(QStringLiteral("16 to 1000000")));
    std::vector<double> withNan = capture(sent, {});
    withNan[7] = std::nan("");
    QVERIFY(compareCapture(asDoubles(sent), withNan).error.contains(QStringLiteral("point 7")));
}

void TestCompare::linesOfTheReport() {
    Comparison c;
    c.periods = 3;
    c.phaseDeg = 12.5;
    c.gain = -0.9;
    c.offset = 0.05;
    c.correlation = 0.99991;
    c.rmsError = 0.0042;
    c.maxError = 0.3;
    c.worstFrom = 15990;
    c.worstTo = 10;
    c.noise = 0.00834;
    c.regions = 2;
    QStringList lines = comparisonLines(c);
    QCOMPARE(lines.size(), 12);
    QCOMPARE(lines.at(1), QStringLiteral("phase: 12.50 deg"));
    QCOMPARE(lines.at(6), QStringLiteral("max error: 30.00 %"));
    QCOMPARE(lines.at(7), QStringLiteral("noise: 0.83 % rms"));
    QCOMPARE(lines.at(8), QStringLiteral("band limit: none seen"));
    QCOMPARE(lines.at(9), QStringLiteral("error regions beyond noise: 2"));
    QCOMPARE(lines.at(10), QStringLiteral("worst: samples 15990..10"));
    QCOMPARE(lines.last(), QStringLiteral("verdict: mismatch"));
    c.bandLimit = {1, 0, 37.24};
    QCOMPARE(comparisonLines(c).at(8),
             QStringLiteral("band limit: 37.2 times the fundamental (-3 dB), one pole"));
    c.bandLimit = {2, 0.7071, 120};
    QCOMPARE(comparisonLines(c).at(8), QStringLiteral("band limit: 120.0 times the fundamental "
                                                      "(-3 dB), a pole pair damped 0.71"));
}

QTEST_GUILESS_MAIN(TestCompare)
#include "test_compare.moc"
