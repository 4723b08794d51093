// The spectrum figures against values computed independently: exact for one period, within the
// window's accuracy for a record that is not one.
#include "analysis/spectrum.h"
#include "instruments/generatorlines.h"
#include "synth/shapes.h"

#include <QElapsedTimer>
#include <QTest>
#include <cmath>

using namespace ww;

namespace {
std::vector<double> record(int n, double periods, double third, double phase = 0.3) {
    std::vector<double> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const double x = 2 * M_PI * periods * i / n;
        v[i] = 0.9 * std::sin(x + phase) + 0.9 * third * std::sin(3 * x);
    }
    return v;
}
} // namespace

class TestSpectrum : public QObject {
    Q_OBJECT
  private slots:
    void onePeriodIsExact();
    void windowedRecords();
    void spursOfRecords();
};

void TestSpectrum::onePeriodIsExact() {
    // A sine with a 1 % third harmonic: THD -40 dB, the third at -40 dBc, nothing else.
    const SpectrumFigures s = analyseSpectrum(record(1000, 1, 0.01));
    QVERIFY(s.error.isEmpty());
    QVERIFY(std::abs(s.thdDb - -40.0) <= 0.01);
    QVERIFY(std::abs(s.harmonics[2].dBc - -40.0) <= 0.01);
    QVERIFY(std::abs(s.harmonics[0].amplitude - 0.9) <= 1e-5);
    QVERIFY(std::abs(s.harmonics[0].phaseDeg - (0.3 * 180 / M_PI - 90)) <= 0.01);
    QVERIFY(s.harmonics[1].dBc < -120);
    QCOMPARE(static_cast<int>(s.harmonics.size()), 50);
    // The program's own square: odd harmonics as the discrete square has them, no even ones.
    WaveStore square;
    square.ArbLength = 1000;
    makeSquare(square);
    const int n = 1000;
    const SpectrumFigures q =
        analyseSpectrum(std::vector<double>(square.ArbData.begin(), square.ArbData.begin() + n));
    for (int k = 1; k <= 49; ++k) {
        const double dBc = q.harmonics[k - 1].dBc;
        if (k % 2)
            QVERIFY2(std::abs(dBc - 20 * std::log10(std::sin(M_PI / n) / std::sin(k * M_PI / n))) <
                         0.01,
                     qPrintable(QString::number(k)));
        else
            QVERIFY2(dBc < -100, qPrintable(QString::number(k)));
    }
    // A full-scale sine as the generator makes it: 12 bits give about 74 dB.
    std::vector<double> sine(16000);
    for (int i = 0; i < 16000; ++i)
        sine[i] = std::sin(2 * M_PI * i / 16000);
    const SpectrumFigures coded = analyseSpectrum(asGenerated(sine, sampleCode, 4095));
    QVERIFY2(std::abs(coded.snrDb - 74.0) <= 0.5, qPrintable(QString::number(coded.snrDb)));
    QVERIFY(std::abs(coded.enobBits - 12.0) <= 0.2);
    // A spectrum with nothing but the fundamental: the figures past the floor say so, not
    // 2997 dB.
    const SpectrumFigures pure = analyseSpectrum({0, 1, 0, -1});
    QVERIFY(pure.error.isEmpty());
    QCOMPARE(figureText(pure, Figure::Snr), QString("> 140.00 dB"));
    QCOMPARE(figureText(pure, Figure::Sfdr), QString("> 140.00 dB"));
    QCOMPARE(figureText(pure, Figure::Sinad), QString("> 140.00 dB"));
    QCOMPARE(figureText(pure, Figure::Thd), QString("< -140.00 dB"));
    QCOMPARE(figureText(pure, Figure::ThdN), QString("< -140.00 dB"));
    QCOMPARE(figureText(pure, Figure::Enob), QString("> 22.96 bits"));
    QCOMPARE(figureText(s, Figure::Thd), QString("-40.00 dB"));
    // Three whole periods (a capture in the program's own file) are exact too; 7.3 periods
    // asked for no window go through Hann's, and say so.
    const SpectrumFigures three = analyseSpectrum(record(2500, 3, 0.01));
    QVERIFY(three.error.isEmpty() && three.window == SpectrumWindow::None);
    QCOMPARE(three.fundamental, 3.0);
    QVERIFY(std::abs(three.thdDb - -40.0) <= 0.01);
    QVERIFY(std::abs(three.harmonics[0].phaseDeg - (0.3 * 180 / M_PI - 90)) <= 0.01);
    // One period whose second harmonic is the strongest (0.5 sin x + sin 2x, as the formula
    // makes it) is one period still: the second harmonic at +6.02 dBc.
    std::vector<double> second(1000);
    for (int i = 0; i < 1000; ++i)
        second[i] = 0.5 * std::sin(2 * M_PI * i / 1000) + std::sin(4 * M_PI * i / 1000);
    const SpectrumFigures strong = analyseSpectrum(second);
    QCOMPARE(strong.fundamental, 1.0);
    QVERIFY(std::abs(strong.harmonics[1].dBc - 6.0206) < 0.01);
    // Three periods with noise at -40 dB and 8 bits, as a capture: still three.
    std::vector<double> noisy = record(2500, 3, 0.01);
    for (int i = 0; i < 2500; ++i)
        noisy[i] = std::round((noisy[i] + 0.01 * std::sin(i * 12.9898) * 1.7) * 127) / 127;
    QCOMPARE(analyseSpectrum(noisy).fundamental, 3.0);
    const SpectrumFigures notWhole = analyseSpectrum(record(2500, 7.3, 0.01));
    QCOMPARE(notWhole.window, SpectrumWindow::Hann);
    QCOMPARE(notWhole.used, 2500); // all of it: 2500 is a fast length
    QVERIFY(std::abs(notWhole.fundamental - 7.3) < 0.01);
    QVERIFY(std::abs(notWhole.thdDb - -40.0) <= 0.05);
    // A length with a large prime factor is transformed as fast as the power of two beyond it
    // allows, and as exactly: one period of 15991 points (a prime), and of 101 against a
    // direct sum.
    std::vector<double> primeSine = record(15991, 1, 0.01);
    QElapsedTimer took;
    took.start();
    const SpectrumFigures primeWhole = analyseSpectrum(primeSine);
    // (0.45 s before, about 10 ms now; a sanitizer build takes a few times that.)
    QVERIFY2(took.elapsed() < 300, qPrintable(QString::number(took.elapsed())));
    QVERIFY(std::abs(primeWhole.thdDb - -40.0) <= 0.01);
    QVERIFY(std::abs(primeWhole.harmonics[0].phaseDeg - (0.3 * 180 / M_PI - 90)) <= 0.01);
    QVERIFY2(primeWhole.harmonics[1].dBc < -100,
             qPrintable(QString::number(primeWhole.harmonics[1].dBc)));
    std::vector<double> small(101);
    for (int i = 0; i < 101; ++i)
        small[i] = std::sin(2 * M_PI * i / 101) + 0.3 * std::cos(2 * M_PI * 7 * i / 101 + 0.4) +
                   0.01 * std::sin(i * 1.7);
    const SpectrumFigures direct = analyseSpectrum(small, 50);
    for (int k = 1; k <= 50; ++k) {
        double re = 0, im = 0;
        for (int i = 0; i < 101; ++i) {
            re += small[i] * std::cos(2 * M_PI * k * i / 101);
            im -= small[i] * std::sin(2 * M_PI * k * i / 101);
        }
        const double amplitude = 2 * std::hypot(re, im) / 101;
        QVERIFY2(std::abs(direct.harmonics[k - 1].amplitude - amplitude) < 1e-5,
                 qPrintable(QStringLiteral("%1: %2 %3")
                                .arg(k)
                                .arg(direct.harmonics[k - 1].amplitude)
                                .arg(amplitude)));
    }
    // A long record of a prime length (100,003 points) is trimmed to a length the transform is
    // fast for, and says so; the fundamental is still given over the whole record.
    std::vector<double> prime(100003);
    for (int i = 0; i < 100003; ++i)
        prime[i] = 0.9 * std::sin(2 * M_PI * 37.3 * i / 100003) +
                   0.009 * std::sin(2 * M_PI * 3 * 37.3 * i / 100003);
    took.restart();
    const SpectrumFigures trimmed = analyseSpectrum(prime, 10);
    QVERIFY2(took.elapsed() < 20000, qPrintable(QString::number(took.elapsed())));
    QCOMPARE(trimmed.used, 100000);
    QCOMPARE(fastTransformLength(100003), 100000);
    QCOMPARE(trimmed.window, SpectrumWindow::Hann);
    QVERIFY2(std::abs(trimmed.fundamental - 37.3) < 0.01,
             qPrintable(QString::number(trimmed.fundamental)));
    QVERIFY(std::abs(trimmed.thdDb - -40.0) <= 0.05);
    // Longer than the stretch analysed: measured over its first 131072 points, in the time of
    // any length; the figures and the fundamental over the whole record stay right.
    std::vector<double> million(1000000);
    for (int i = 0; i < 1000000; ++i)
        million[i] = 0.9 * std::sin(2 * M_PI * 1234.5 * i / 1000000) +
                     0.009 * std::sin(2 * M_PI * 3 * 1234.5 * i / 1000000);
    const SpectrumFigures stretch = analyseSpectrum(million, 50, SpectrumWindow::Hann);
    QCOMPARE(stretch.used, kSpectrumStretch); // its time is the benchmarks' to judge
    QVERIFY2(std::abs(stretch.fundamental - 1234.5) < 0.01,
             qPrintable(QString::number(stretch.fundamental)));
    QVERIFY(std::abs(stretch.thdDb - -40.0) <= 0.05);
    // A sweep holds no steady tone: said, beside the figures.
    std::vector<double> sweep(4000);
    for (int i = 0; i < 4000; ++i)
        sweep[i] = std::sin(2 * M_PI * (5.0 + 300.0 * i / 4000) * i / 4000);
    const SpectrumFigures swept = analyseSpectrum(sweep, 10, SpectrumWindow::Hann);
    QVERIFY2(swept.warning.startsWith("The record holds no steady tone"),
             qPrintable(swept.error + swept.warning + QString::number(swept.sinadDb)));
    QVERIFY(analyseSpectrum(record(2500, 7.3, 0.1), 10, SpectrumWindow::Hann).warning.isEmpty());
    QVERIFY(pure.warning.isEmpty());
    // Harmonics beyond the Nyquist frequency count where they alias (IEEE Std 1241): a 1 %
    // fifth harmonic of 123.4 cycles in 1000 samples lies at 383 cycles, and THD is -40 dB,
    // through a window and in whole periods alike.
    std::vector<double> fifth(1000);
    for (int i = 0; i < 1000; ++i)
        fifth[i] = 0.9 * std::sin(2 * M_PI * 123.4 * i / 1000) +
                   0.009 * std::sin(2 * M_PI * 5 * 123.4 * i / 1000);
    const SpectrumFigures aliased = analyseSpectrum(fifth, 10, SpectrumWindow::Hann);
    QVERIFY2(std::abs(aliased.thdDb - -40.0) <= 0.2, qPrintable(QString::number(aliased.thdDb)));
    QVERIFY(std::abs(aliased.harmonics[4].dBc - -40.0) <= 0.2);
    std::vector<double> whole(1000);
    for (int i = 0; i < 1000; ++i) // 120 periods: the fifth harmonic at 600, seen at 400
        whole[i] = 0.9 * std::sin(2 * M_PI * 120 * i / 1000) +
                   0.009 * std::sin(2 * M_PI * 600 * i / 1000 + 0.5);
    const SpectrumFigures folded = analyseSpectrum(whole, 10);
    QCOMPARE(folded.fundamental, 120.0);
    QVERIFY2(std::abs(folded.thdDb - -40.0) <= 0.01, qPrintable(QString::number(folded.thdDb)));
    QVERIFY(std::abs(folded.harmonics[4].dBc - -40.0) <= 0.01);
    // A harmonic at the Nyquist frequency has its own amplitude, not √2 of it.
    std::vector<double> nyquist = record(1000, 1, 0.0, 0.0);
    for (int i = 0; i < 1000; ++i)
        nyquist[i] += (i % 2 ? -0.1 : 0.1);
    const SpectrumFigures top = analyseSpectrum(nyquist, 500);
    QVERIFY2(std::abs(top.harmonics[499].amplitude - 0.1) < 1e-6,
             qPrintable(QString::number(top.harmonics[499].amplitude)));
    QVERIFY(std::abs(top.thdDb - 20 * std::log10(0.1 / (0.9 / std::sqrt(2.0)))) < 0.01);
    // Too little, or nothing, to analyse.
    QCOMPARE(analyseSpectrum({0, 0, 0, 0, 0}).error,
             QString("The waveform has no fundamental: it is flat."));
    QCOMPARE(analyseSpectrum({0.5, 1}).error, QString("A spectrum needs at least 4 samples."));
    // Values whose squares overflow are said to be too large, not flat.
    QCOMPARE(analyseSpectrum({1e308, -1e308, 1e308, -1e308, 0}).error,
             QString("The values are too large to analyse (at most 1e150 in size)."));
}

void TestSpectrum::windowedRecords() {
    // Records that are not one period, a 10 % third harmonic: the fundamental found from the
    // data, the fundamental and the third (-20 dBc) within the window's accuracy.
    const struct {
        SpectrumWindow window;
        double periods, accuracyDb;
        bool eightBits; // quantised as an oscilloscope sends it
    } cases[] = {{SpectrumWindow::Hann, 2.5, 0.01, false},
                 {SpectrumWindow::Hann, 7.3, 0.01, false},
                 {SpectrumWindow::BlackmanHarris, 9.7, 0.01, false},
                 {SpectrumWindow::FlatTop, 12.5, 0.01, false},
                 {SpectrumWindow::Hann, 2.5, 0.1, true}};
    for (const auto& c : cases) {
        std::vector<double> v = record(2500, c.periods, 0.1);
        if (c.eightBits)
            for (double& x : v)
                x = std::round(x * 127) / 127;
        const SpectrumFigures s = analyseSpectrum(v, 10, c.window);
        QVERIFY(s.error.isEmpty() && s.window == c.window);
        QVERIFY2(std::abs(s.fundamental - c.periods) < 0.05,
                 qPrintable(QString::number(s.fundamental)));
        QVERIFY2(std::abs(s.harmonics[2].dBc - -20.0) < c.accuracyDb,
                 qPrintable(QString::number(s.harmonics[2].dBc)));
        QVERIFY2(std::abs(20 * std::log10(s.harmonics[0].amplitude / 0.9)) < c.accuracyDb,
                 qPrintable(QString::number(s.harmonics[0].amplitude)));
        QVERIFY2(std::abs(s.thdDb - -20.0) < c.accuracyDb, qPrintable(QString::number(s.thdDb)));
        QVERIFY(c.eightBits ? s.snrDb > 40 && s.snrDb < 60 : s.snrDb > 100);
    }
    // Few periods under every window: the fundamental within 0.02 periods from 1.5 to 2; fewer
    // than one and a half periods tell no fundamental, and the refusal names how many there
    // are.
    for (const SpectrumWindow window :
         {SpectrumWindow::Hann, SpectrumWindow::BlackmanHarris, SpectrumWindow::FlatTop}) {
        for (const double periods : {1.5, 1.55, 1.7, 1.85, 2.0}) {
            const SpectrumFigures s = analyseSpectrum(record(2500, periods, 0.1), 10, window);
            QVERIFY2(s.error.isEmpty() && std::abs(s.fundamental - periods) < 0.02,
                     qPrintable(QStringLiteral("window %1, %2 periods: %3 %4")
                                    .arg(static_cast<int>(window))
                                    .arg(periods)
                                    .arg(s.fundamental)
                                    .arg(s.error)));
        }
        for (const double periods : {0.9, 1.0, 1.2, 1.3, 1.45}) {
            const QString error = analyseSpectrum(record(2500, periods, 0.1), 10, window).error;
            const double said = error.section("holds ", 1).section(',', 0, 0).toDouble();
            QVERIFY2(error.startsWith("Too few periods: the record holds ") &&
                         std::abs(said - periods) <= 0.03,
                     qPrintable(QString::number(periods) + ": " + error));
        }
    }
}

void TestSpectrum::spursOfRecords() {
    // A sine and one spur between -30 and -90 dBc, from 0.3 to 3.3 times the fundamental: the
    // SFDR is the spur's level, under every window, wherever the window can tell the spur from
    // the DC and from the harmonics (two main lobes apart); a clean record is beyond 100 dB.
    const struct {
        SpectrumWindow window;
        int halfLobe;
    } windows[] = {{SpectrumWindow::Hann, 2},
                   {SpectrumWindow::BlackmanHarris, 4},
                   {SpectrumWindow::FlatTop, 5}};
    int tried = 0;
    for (const auto& [window, halfLobe] : windows) {
        for (const double periods : {7.3, 12.5, 25.3, 40.7}) {
            const std::vector<double> clean = record(2500, periods, 0.0);
            const SpectrumFigures c = analyseSpectrum(clean, 10, window);
            QVERIFY2(c.error.isEmpty() && c.sfdrDb > 100,
                     qPrintable(QString::number(c.sfdrDb) + c.error));
            for (const double ratio : {0.3, 0.45, 0.55, 0.7, 1.3, 1.7, 2.45, 2.7, 3.3}) {
                const double at = ratio * periods;
                double apart = at;
                for (int k = 1; k <= 10; ++k)
                    apart = std::min(apart, std::abs(at - k * periods));
                if (apart < 2 * halfLobe + 1)
                    continue;
                for (const double level : {-30.0, -50.0, -70.0, -90.0}) {
                    std::vector<double> v = clean;
                    const double a = 0.9 * std::pow(10.0, level / 20);
                    for (int i = 0; i < 2500; ++i)
                        v[i] += a * std::cos(2 * M_PI * at * i / 2500 + 1.0);
                    const SpectrumFigures s = analyseSpectrum(v, 10, window);
                    QVERIFY(s.error.isEmpty());
                    QVERIFY2(std::abs(s.sfdrDb + level) <= 0.2,
                             qPrintable(QStringLiteral("window %1, %2 periods, spur at %3x, %4 "
                                                       "dBc: SFDR %5")
                                            .arg(static_cast<int>(window))
                                            .arg(periods)
                                            .arg(ratio)
                                            .arg(level)
                                            .arg(s.sfdrDb)));
                    ++tried;
                }
            }
        }
    }
    QVERIFY2(tried >= 100, qPrintable(QString::number(tried)));
    // A harmonic beyond those asked for is a spur: the 12th at -60 dBc with 10 harmonics.
    std::vector<double> v = record(2500, 7.3, 0.0);
    for (int i = 0; i < 2500; ++i)
        v[i] += 0.0009 * std::sin(2 * M_PI * 12 * 7.3 * i / 2500);
    QVERIFY(std::abs(analyseSpectrum(v, 10, SpectrumWindow::Hann).sfdrDb - 60) <= 0.2);
}

QTEST_APPLESS_MAIN(TestSpectrum)
#include "test_spectrum.moc"
