// The logic that needs no window: the store and its number rules, the view and canvas, the
// shapes, the arithmetic, the formula and the waveform file. Expected values come from the
// program's documented examples or are computed here independently.
#include "editor/canvasimage.h"
#include "editor/entryrules.h"
#include "editor/gridlabels.h"
#include "editor/view.h"
#include "files/resample.h"
#include "files/sound.h"
#include "files/table.h"
#include "files/wavefile.h"
#include "lines/devices.h"
#include "lines/seriallink.h"
#include "model/store.h"
#include "synth/arith.h"
#include "synth/expression.h"
#include "synth/formula.h"
#include "synth/shapes.h"
#include "testfiles.h"

#include <QDir>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <csignal>
#include <numeric>
#include <sys/resource.h>

using namespace ww;

namespace {
WaveStore storeOf(int length, float fill = 0.75f) {
    WaveStore s;
    s.ArbData.fill(fill);
    s.ArbLength = static_cast<float>(length);
    return s;
}
// A store of `length` that starts with the given samples; 0.75 after them.
WaveStore storeWith(int length, std::initializer_list<float> first) {
    WaveStore s = storeOf(length);
    std::copy(first.begin(), first.end(), s.ArbData.begin());
    return s;
}
// A store of `length` made by one of the shapes.
WaveStore made(void (*shape)(WaveStore&), int length) {
    WaveStore s = storeOf(length);
    shape(s);
    return s;
}
std::vector<float> samples(const WaveStore& s, int from, int to) {
    return std::vector<float>(s.ArbData.begin() + from, s.ArbData.begin() + to + 1);
}
constexpr double kPi = 3.14159265358979323846;
} // namespace

class TestModel : public QObject {
    Q_OBJECT
  private slots:
    void formatSample_data();
    void formatSample();
    void storeWrites();
    void viewAndCanvas();
    void shapes();
    void arithmetic();
    void factorAnswers();
    void formulaParse_data();
    void formulaParse();
    void formulaWaveform();
    void expressions();
    void fileLayout();
    void fileReading();
    void failedSaveKeepsTheOldFile();
    void deviceChoices();
};

void TestModel::formatSample_data() {
    QTest::addColumn<float>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("half") << 0.5f << " 0.500";
    QTest::newRow("tiny negative") << -0.0001f << " 0.000";
    QTest::newRow("half away from zero") << -0.0625f << "-0.063";
    QTest::newRow("above range") << 2.6f << " 2.600";
    QTest::newRow("ten fits") << 12.5f << "12.500";
    QTest::newRow("minus ten written whole") << -16.651f << "-16.651";
    QTest::newRow("hundreds written whole") << 123.4567f << "123.457";
    QTest::newRow("not a number") << std::numeric_limits<float>::quiet_NaN() << " 0.000";
}

void TestModel::formatSample() {
    QFETCH(float, value);
    QFETCH(QString, text);
    QCOMPARE(FormatSample(value), text);
}

void TestModel::storeWrites() {
    // FillToPoint: right from anchor 10 (0.0) to 14 at 0.8, left back, and in place.
    WaveStore s = storeOf(201, 0.0f);
    FillToPoint(s, 10, 14, 0.8f);
    QCOMPARE(samples(s, 10, 15), (std::vector<float>{0.0f, 0.2f, 0.4f, 0.6f, 0.8f, 0.0f}));
    WaveStore t = storeOf(201, 0.0f);
    t.ArbData[14] = 0.8f;
    FillToPoint(t, 14, 10, 0.0f);
    QCOMPARE(samples(t, 10, 14), (std::vector<float>{0.0f, 0.2f, 0.4f, 0.6f, 0.8f}));
    FillToPoint(t, 7, 7, -0.5f);
    QCOMPARE(samples(t, 6, 8), (std::vector<float>{0.0f, -0.5f, 0.0f}));
    // An anchor beyond the store is held to its last index, never written past it.
    FillToPoint(t, 16030, 15990, 1.0f);
    QCOMPARE(t.ArbData[15990], 1.0f);
    QCOMPARE(t.ArbData[16000], 0.0f);

    // Clear covers samples 0..ArbLength and leaves the rest.
    WaveStore c = storeOf(201, 0.5f);
    clearSamples(c);
    QCOMPARE(samples(c, 200, 202), (std::vector<float>{0.0f, 0.0f, 0.5f}));
}

void TestModel::viewAndCanvas() {
    // The documented zoom sequence from the full view of 201 points.
    ViewState v = fullView(201.0f);
    ScrollRange r;
    const int steps[][5] = {{100, 50, 149, 101, 5},
                            {50, 74, 123, 151, 2},
                            {25, 86, 110, 176, 1},
                            {21, 88, 108, 180, 1}};
    for (const auto& s : steps) {
        QVERIFY(zoomIn(v, 201.0f, r));
        QCOMPARE((std::vector<int>{v.ViewSpan, v.ViewStart, v.ViewEnd, r.maximum, r.largeChange}),
                 (std::vector<int>(s, s + 5)));
    }
    QVERIFY(!zoomIn(v, 201.0f, r));
    QVERIFY(ww::zoomOut(v, 201.0f, r));
    QCOMPARE((std::vector<int>{v.ViewSpan, v.ViewStart, v.ViewEnd}),
             (std::vector<int>{42, 78, 119}));
    v = ViewState{101, 100, 200}; // scrolled to the right end
    QVERIFY(ww::zoomOut(v, 201.0f, r));
    QCOMPARE((std::vector<int>{v.ViewSpan, v.ViewStart}), (std::vector<int>{200, 1}));
    v = ViewState{20, 150, 169};
    QVERIFY(ww::zoomOut(v, 201.0f, r));
    QCOMPARE((std::vector<int>{v.ViewSpan, v.ViewStart, r.maximum}), (std::vector<int>{201, 0, 0}));
    QVERIFY(!ww::zoomOut(v, 201.0f, r));

    // The canvas scale: +1.0 on the top row, -1.0 just above the bottom.
    const CanvasScale scale = canvasScaleFor(fullView(201.0f));
    QCOMPARE(scale.CanvasRight, static_cast<float>(201.0 + 201.0 / 550.0));
    QCOMPARE(scale.CanvasBottom, -1007600.0f);
    const CanvasMapping m(scale, QSize(559, 261));
    QCOMPARE(m.rowOf(1000000.0), 0);
    QCOMPARE(m.rowOf(0.0), qRound(261.0 * 1000000.0 / 2007600.0));
    QVERIFY(m.rowOf(-1000000.0) >= 259 && m.rowOf(-1000000.0) < 261);
    for (int i = 0; i <= 201; ++i)
        QCOMPARE(static_cast<int>(std::nearbyint(m.userX(m.columnOf(i)))), i);

    // Index labels of the full view, and where the labels go in twips.
    const AxisLabels l = axisLabelsFor(fullView(201.0f), QRectF(720, 1035, 8445, 3975), 1, 1);
    QStringList captions;
    for (const AxisLabel& a : l.indices)
        captions << a.caption;
    QCOMPARE(captions, QStringList({"0", "20.1", "40.2", "60.3", "80.4", "100.5", "120.6", "140.7",
                                    "160.8", "180.9", "201"}));
    QCOMPARE(l.values[0].left, 120.0);
    QCOMPARE(l.values[10].top, 955.0 + 3975.0);
    QCOMPARE(l.indices[0].top, 1035.0 + 3975.0 + 100.0);

    // The trace drawn in runs per column is the same picture as segment by segment, dense or
    // sparse, in a zoomed part too; wild values are held to the canvas.
    for (const int length : {201, 16000}) {
        QRandomGenerator rng(length);
        std::vector<float> w(static_cast<std::size_t>(length) + 1);
        double walk = 0.0;
        for (float& x : w)
            x = static_cast<float>(walk = std::clamp(walk + rng.bounded(0.2) - 0.1, -2.6, 2.6));
        for (const ViewState view : {ViewState{0, length, length}, ViewState{length / 3, 40, 0}}) {
            CanvasImage a(QSize(1536, 261)), b(QSize(1536, 261));
            a.setScale(canvasScaleFor(view));
            b.setScale(canvasScaleFor(view));
            a.drawTrace(view.ViewStart, w.data() + view.ViewStart, view.ViewSpan, kTraceColor);
            for (int i = view.ViewStart + 1; i < view.ViewStart + view.ViewSpan; ++i)
                b.drawSegment(i - 1, w[i - 1], i, w[i], kTraceColor);
            QCOMPARE(a.image(), b.image());
        }
    }
    CanvasImage c(QSize(100, 50));
    c.setScale(canvasScaleFor(ViewState{0, 10, 10}));
    const float inf = std::numeric_limits<float>::infinity();
    const float wild[] = {0.0f, 1e30f, inf, std::nanf(""), -1e30f, 0.0f};
    c.drawTrace(0, wild, 6, kTraceColor);
    // The steep rise from 0 is drawn up to the top edge, the fall down to the bottom one.
    QCOMPARE(c.image().pixel(c.mapping().columnOf(0), 0), kTraceColor);
    QCOMPARE(c.image().pixel(c.mapping().columnOf(5), 49), kTraceColor);
}

void TestModel::shapes() {
    // Square: the high half first; the low part of an odd length is one sample longer.
    QCOMPARE(samples(made(makeSquare, 4), 0, 5), (std::vector<float>{1, 1, -1, -1, -1, 0.75f}));
    const WaveStore sq = made(makeSquare, 1001);
    QCOMPARE(sq.ArbData[499], 1.0f);
    QCOMPARE(std::count(sq.ArbData.begin(), sq.ArbData.begin() + 1002, -1.0f), 502);

    // Triangle: the documented short ones; a long one peaks at +1.0 and is symmetric.
    QCOMPARE(samples(made(makeTriangle, 4), 0, 5), (std::vector<float>{-1, 0, 1, 0, -1, 0.75f}));
    QCOMPARE(samples(made(makeTriangle, 5), 0, 5), (std::vector<float>{-1, 0, 1, 1, 0, -1}));
    for (const int n : {1000, 1001}) {
        const WaveStore tr = made(makeTriangle, n);
        QCOMPARE(tr.ArbData[n / 2], 1.0f);
        QCOMPARE(tr.ArbData[n - 1], tr.ArbData[1]);
        QVERIFY(std::abs(tr.ArbData[n] + 1.0f) < 1e-5f);
        QVERIFY(std::abs(tr.ArbData[n / 4] - (4.0 * (n / 4) / n - 1.0)) < 2e-3);
        QCOMPARE(tr.ArbData[n + 1], 0.75f);
    }

    // Sine and cosine: one period, P = 3.14159 being short of pi.
    for (const int n : {4, 1000, 1001}) {
        const WaveStore s = made(makeSine, n), c = made(makeCosine, n);
        QCOMPARE(s.ArbData[0], 0.0f);
        QCOMPARE(c.ArbData[0], 1.0f);
        QCOMPARE(c.ArbData[n], 1.0f);
        for (int i = 1; i < n; i += std::max(1, n / 7)) {
            QVERIFY(std::abs(s.ArbData[i] - std::sin(2 * kPi * i / n)) < 1e-5);
            QVERIFY(std::abs(c.ArbData[i] - std::cos(2 * kPi * i / n)) < 1e-5);
        }
        QCOMPARE(s.ArbData[n + 1], 0.75f);
        if (n == 1000)
            QVERIFY(s.ArbData[1000] < -5.0e-6f && s.ArbData[1000] > -5.2e-6f);
    }

    // Ramps run exactly from one end to the other.
    const WaveStore up = made(makePositiveRamp, 1000), down = made(makeNegativeRamp, 1000);
    QCOMPARE(samples(up, 0, 1), (std::vector<float>{-1.0f, -0.998f}));
    QCOMPARE(samples(up, 500, 500), std::vector<float>{0.0f});
    QCOMPARE(samples(up, 1000, 1001), (std::vector<float>{1.0f, 0.75f}));
    QCOMPARE(samples(down, 0, 1), (std::vector<float>{1.0f, 0.998f}));
    QCOMPARE(down.ArbData[1000], -1.0f);
}

void TestModel::arithmetic() {
    WaveStore base = storeOf(1000, 0.0f);
    for (int i = 0; i <= kStoreLastIndex; ++i)
        base.ArbData[i] = static_cast<float>((i % 7) / 10.0 - 0.3);

    // The same waveform: Add leaves it, Subtract gives 0 and halves index L.
    WaveStore s = base;
    const std::vector<float> same = samples(base, 0, 999);
    mixWithFile(s, same, 1000, false);
    QVERIFY(s.ArbData == base.ArbData);
    mixWithFile(s, same, 1000, true);
    QCOMPARE(std::count(s.ArbData.begin(), s.ArbData.begin() + 1000, 0.0f), 1000);
    QCOMPARE(s.ArbData[1000], base.ArbData[1000] / 2);
    QCOMPARE(s.ArbData[1001], base.ArbData[1001]);
    // A 500-sample file averages 0..499 and halves 500..999; a 2000-sample one lengthens.
    s = base;
    mixWithFile(s, std::vector<float>(500, 1.0f), 500, false);
    QCOMPARE(s.ArbData[0], 0.35f); // (-0.3 + 1) / 2
    QCOMPARE(s.ArbData[999], base.ArbData[999] / 2);
    QCOMPARE(s.ArbData[1000], base.ArbData[1000]);
    s = base;
    mixWithFile(s, std::vector<float>(2000, -1.0f), 2000, false);
    QCOMPARE(s.ArbLength, 2000.0f);

    // Mirrors: a b c d -> d c b a, a b c d e -> e d c b a; index L stays.
    s = storeWith(4, {0.1f, 0.2f, 0.3f, 0.4f, 0.9f});
    symmetryY(s);
    QCOMPARE(samples(s, 0, 4), (std::vector<float>{0.4f, 0.3f, 0.2f, 0.1f, 0.9f}));
    s = storeWith(5, {0.1f, 0.2f, 0.3f, 0.4f, 0.9f});
    symmetryY(s);
    QCOMPARE(samples(s, 0, 4), (std::vector<float>{0.9f, 0.4f, 0.3f, 0.2f, 0.1f}));
    symmetryX(s);
    QCOMPARE(samples(s, 0, 5), (std::vector<float>{-0.9f, -0.4f, -0.3f, -0.2f, -0.1f, 0.75f}));

    // Amplitude: divide and multiply by 2 restore; 3 flattens a sine beyond 1/3; -1 mirrors;
    // factors between -1 and 1 are refused without a change.
    const WaveStore sine = made(makeSine, 1000);
    s = sine;
    QVERIFY(amplitudeDivide(s, 2.0f) && amplitudeMultiply(s, 2.0f));
    QVERIFY(s.ArbData == sine.ArbData);
    QVERIFY(amplitudeMultiply(s, 3.0f));
    for (int i = 0; i < 1000; ++i)
        if (std::abs(sine.ArbData[i]) > 0.34f)
            QCOMPARE(std::abs(s.ArbData[i]), 1.0f);
    WaveStore a = sine, b = sine;
    QVERIFY(amplitudeDivide(a, -1.0f));
    symmetryX(b);
    QVERIFY(a.ArbData == b.ArbData);
    for (const float f : {0.5f, 0.0f, -0.999f})
        QVERIFY(!amplitudeDivide(a, f) && !amplitudeMultiply(a, f));
    QVERIFY(a.ArbData == b.ArbData);
    // Exactly 1 is the edge of the refused range: taken, and nothing changes.
    QVERIFY(amplitudeDivide(a, 1.0f) && amplitudeMultiply(a, 1.0f));
    QVERIFY(a.ArbData == b.ArbData);
    // Every product beyond 1 is held at 1.0 exactly, one just beyond it too (0.5004 x 2).
    s = storeWith(4, {0.5004f, -0.5004f, 0.4999f, 0.75f});
    QVERIFY(amplitudeMultiply(s, 2.0f));
    QCOMPARE(samples(s, 0, 3),
             (std::vector<float>{1.0f, -1.0f, static_cast<float>(0.4999f * 2.0), 1.0f}));

    // Normalize: a peak of 0.5 doubles everything; a peak of 0 or exactly 1 does nothing.
    s = storeWith(4, {0.5f, -0.25f, 0.1f, 0.0f});
    QVERIFY(amplitudeNormalize(s));
    QCOMPARE(samples(s, 0, 4), (std::vector<float>{1.0f, -0.5f, 0.2f, 0.0f, 0.75f}));
    QVERIFY(!amplitudeNormalize(s));
    s = storeOf(4, 0.0f);
    QVERIFY(!amplitudeNormalize(s));

    // Frequency multiply: L = 1000, k = 3 gives three copies of 333 and a 0.0 at 999.
    s = base;
    QVERIFY(ww::frequencyMultiply(s, 3));
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 333; i += 37)
            QCOMPARE(s.ArbData[j * 333 + i], base.ArbData[i * 3]);
    QCOMPARE(samples(s, 999, 1000), (std::vector<float>{0.0f, base.ArbData[1000]}));
    s = base;
    QVERIFY(ww::frequencyMultiply(s, 1));
    QVERIFY(s.ArbData == base.ArbData);
    QVERIFY(ww::frequencyMultiply(s, 1001));
    QCOMPARE(std::count(s.ArbData.begin(), s.ArbData.begin() + 1000, 0.0f), 1000);
    QVERIFY(!ww::frequencyMultiply(s, 0));
}

void TestModel::factorAnswers() {
    QCOMPARE(factorFromAnswer(QString(" 2.5 ")), 2.5f);
    QCOMPARE(factorFromAnswer(QString("2e0")), 2.0f);
    QCOMPARE(factorFromAnswer(QString("1,5")), 1.5f);
    for (const std::optional<QString>& bad :
         {std::optional<QString>(), std::optional<QString>(""), std::optional<QString>("abc"),
          std::optional<QString>("inf"), std::optional<QString>("nan")})
        QCOMPARE(factorFromAnswer(bad), 1.0f);
    QCOMPARE(coefficientFromAnswer(QString("2.5")), 2);
    QCOMPARE(coefficientFromAnswer(QString("3.5")), 4);
    // Just above the tie: rounded from what was typed, not from its nearest float (2.5).
    QCOMPARE(coefficientFromAnswer(QString("2.50000001")), 3);
    QCOMPARE(coefficientFromAnswer(QString("3e0")), 3);
    QCOMPARE(coefficientFromAnswer(QString("99999")), 1);
    QCOMPARE(coefficientFromAnswer(QString("x")), 1);
}

void TestModel::formulaParse_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("A");
    QTest::addColumn<double>("B");
    QTest::addColumn<float>("C");
    QTest::addColumn<int>("D");
    QTest::newRow("default") << "sinx+0.5sin2x" << true << 1.0 << 1.0 << 0.5f << 2;
    QTest::newRow("upper case") << "SINX+0.5SIN3X" << true << 1.0 << 1.0 << 0.5f << 3;
    QTest::newRow("blank after x") << "sinx + 0.5sin2x" << false << 0.0 << 0.0 << 0.0f << 0;
    QTest::newRow("blanks in C") << "sinx+ 0.5 sin2x" << true << 1.0 << 1.0 << 0.5f << 2;
    QTest::newRow("third term") << "sinx+0.5sin2x+0.3sin3x" << true << 1.0 << 1.0 << 0.5f << 2;
    QTest::newRow("half to even") << "sinx+0.5sin2.5x" << true << 1.0 << 1.0 << 0.5f << 2;
    QTest::newRow("B and D") << "sin2x+sin3x" << true << 1.0 << 2.0 << 1.0f << 3;
    QTest::newRow("negative C") << "sinx+-0.5sin2x" << true << 1.0 << 1.0 << -0.5f << 2;
    QTest::newRow("split digits") << "2 5sinx+sin2x" << true << 25.0 << 1.0 << 1.0f << 2;
    QTest::newRow("minus sin") << "-sinx+sin2x" << true << 0.0 << 1.0 << 1.0f << 2;
    QTest::newRow("blank before x") << "sin x+sin2x" << true << 1.0 << 0.0 << 1.0f << 2;
    QTest::newRow("number only") << "123" << false << 0.0 << 0.0 << 0.0f << 0;
    QTest::newRow("only blanks") << "   " << false << 0.0 << 0.0 << 0.0f << 0;
    QTest::newRow("no plus") << "sinx-0.5sin2x" << false << 0.0 << 0.0 << 0.0f << 0;
    QTest::newRow("ends early") << "sinx+0.5sin2" << false << 0.0 << 0.0 << 0.0f << 0;
}

void TestModel::formulaParse() {
    QFETCH(QString, answer);
    QFETCH(bool, ok);
    const FormulaParse p = parseSineSum(answer);
    QCOMPARE(p.error, ok ? FormulaError::None : FormulaError::Malformed);
    if (ok) {
        QTEST(p.terms.A, "A");
        QTEST(p.terms.B, "B");
        QTEST(p.terms.C, "C");
        QTEST(p.terms.D, "D");
    }
    QCOMPARE(parseSineSum(QString()).error, FormulaError::Empty);
    QCOMPARE(leadingNumber(u" - 1.5.5x"), -1.5);
}

void TestModel::formulaWaveform() {
    // The default at length 1000: (sin x + 0.5 sin 2x) / 1.5 over one period; index 1000 kept.
    WaveStore s = storeOf(1000, 0.9f);
    QCOMPARE(applySineSum(s, parseSineSum("sinx+0.5sin2x").terms), FormulaError::None);
    for (int i = 0; i < 1000; i += 37) {
        const double x = 2 * kPi * i / 1000;
        QVERIFY(std::abs(s.ArbData[i] - (std::sin(x) + 0.5 * std::sin(2 * x)) / 1.5) < 1e-5);
    }
    QCOMPARE(s.ArbData[1000], 0.9f);

    // The length becomes a multiple of K; a negative K rounds it up.
    const struct {
        int length;
        const char* formula;
        int newLength;
    } lengths[] = {{1001, "sinx+0.5sin2x", 1000}, {1000, "SINX+0.5SIN3X", 999},
                   {1000, "sin2x+sin3x", 1000},   {1001, "sin x+sin2x", 1001},
                   {1001, "sin4x+sin1x", 1001},   {100, "sinx+sin200x", 0},
                   {1000, "sinx+sin-3x", 1002},   {15999, "sinx+sin-2x", 16000}};
    for (const auto& c : lengths) {
        s = storeOf(c.length, 0.9f);
        QCOMPARE(applySineSum(s, parseSineSum(c.formula).terms), FormulaError::None);
        QCOMPARE(s.ArbLength, static_cast<float>(c.newLength));
    }
    s = storeOf(1001, 0.9f);
    applySineSum(s, parseSineSum("sinx+0.5sin2x").terms);
    QCOMPARE(samples(s, 1000, 1001), (std::vector<float>{0.0f, 0.9f})); // cleared, not computed
    s = storeOf(1000, 0.9f);
    applySineSum(s, parseSineSum("sinx+sin-3x").terms); // (sin x - sin 3x) / 2 over 1002
    QVERIFY(std::abs(s.ArbData[167] -
                     (std::sin(2 * kPi * 167 / 1002) - std::sin(6 * kPi * 167 / 1002)) / 2) < 1e-5);

    // Refused with the store untouched: no finite result, or samples past index 16000.
    for (const char* f :
         {"sinx+-1sin2x", "999999999999999999999999999999999999999999sinx+sin2x", "sinx+sin-3x"}) {
        s = storeOf(16000, 0.25f);
        const WaveStore before = s;
        QVERIFY(applySineSum(s, parseSineSum(f).terms) != FormulaError::None);
        QVERIFY(s.ArbData == before.ArbData);
        QCOMPARE(s.ArbLength, 16000.0f);
    }
}

void TestModel::expressions() {
    // Each function at the four quarter points of its period (x = 0, π/2, π, 3π/2 at N = 4).
    const struct {
        const char* text;
        std::vector<double> at4;
    } quarters[] = {
        {"square(x)", {1, 1, -1, -1}},
        {"triangle(x)", {0, 1, 0, -1}},
        {"saw(x)", {-1, -0.5, 0, 0.5}},
        {"pulse(x, 0.25)", {1, -1, -1, -1}},
        {"clip(3*cos(x), -0.5, 2)", {2, 3 * std::cos(kPi / 2), -0.5, 3 * std::cos(3 * kPi / 2)}},
        {"n + 10*N + t + y", {40, 41.25 + 0.5, 42.5 - 0.5, 43.75}},
        {"triangle(x + 0.1 + 2*_pi) - triangle(x + 0.1 - 6*_pi)", {0, 0, 0, 0}},
    };
    const float y[] = {0.0f, 0.5f, -0.5f, 0.0f};
    Expression e;
    for (const auto& q : quarters) {
        QVERIFY2(!e.setText(q.text), q.text);
        const Expression::Values v = e.evaluate(4, y);
        for (int i = 0; i < 4; ++i)
            QVERIFY2(std::abs(v.samples[i] - q.at4[i]) < 1e-9, q.text);
    }
    // The edge of a period belongs to the next one.
    QVERIFY(!e.setText("square(_pi - 1e-9) - square(_pi) + saw(2*_pi) + triangle(-_pi/2)"));
    QCOMPARE(e.evaluate(1, nullptr).samples[0], 1.0 + 1.0 - 1.0 - 1.0);
    // noise: the same for the same seed and n, another for another seed, spread over -1..+1.
    QVERIFY(!e.setText("noise(1)"));
    const std::vector<double> a = e.evaluate(16000, nullptr).samples;
    QCOMPARE(e.evaluate(16000, nullptr).samples, a);
    QVERIFY(!e.setText("noise(2)"));
    QVERIFY(e.evaluate(16000, nullptr).samples != a);
    const auto [lo, hi] = std::minmax_element(a.begin(), a.end());
    QVERIFY(*lo >= -1 && *lo < -0.99 && *hi < 1 && *hi > 0.99);
    QVERIFY(std::abs(std::accumulate(a.begin(), a.end(), 0.0) / a.size()) < 0.03);

    // Errors name their place; a value that is not finite names its first sample.
    const struct {
        const char* text;
        int position;
    } errors[] = {{"sin(x", 6}, {"x y", 2}, {"foo(x)", 0}, {"pulse(x)", 7}, {"  ", -1}};
    for (const auto& bad : errors) {
        const auto error = e.setText(bad.text);
        QVERIFY2(error && !error->message.isEmpty(), bad.text);
        QCOMPARE(error->position, bad.position);
    }
    QVERIFY(!e.setText("1/(n-2)"));
    QCOMPARE(e.evaluate(5, nullptr).nonFiniteAt, 2);

    // Out of range: held at the limits, or scaled so the peak is 1.
    QCOMPARE(fitToRange({0.5, 2.0, -4.0}, Fit::Clip), (std::vector<float>{0.5f, 1.0f, -1.0f}));
    QCOMPARE(fitToRange({0.5, 2.0, -4.0}, Fit::Peak), (std::vector<float>{0.125f, 0.5f, -1.0f}));
    QCOMPARE(fitToRange({0.5, -0.25}, Fit::Peak), (std::vector<float>{0.5f, -0.25f}));
}

void TestModel::fileLayout() {
    WaveStore s = storeWith(4, {1.0f, 0.9996f, -1.0f, 0.1234f});
    QCOMPARE(waveFileBytes("4", s), QByteArray("4\r\n 1.000\r\n 1.000\r\n-1.000\r\n 0.123\r\n"));
    s.ArbLength = 1000;
    QCOMPARE(waveFileBytes("1000", s).size(), 6 + 1000 * 8);
    QCOMPARE(waveFileBytes("2", s).count('\n'), 3); // the lines follow the text of line 1

    // What is saved reads back as saved, values out of range included.
    s = storeOf(16000, 0.0f);
    for (int i = 0; i < 16000; ++i)
        s.ArbData[i] = static_cast<float>((i % 2001) - 1000) / 1000.0f;
    s.ArbData[7] = -16.651f;
    s.ArbData[8] = 2.6f;
    s.ArbData[9] = 123.25f;
    const WaveFileContent c = parseWaveFile(waveFileBytes("16000", s));
    QVERIFY(c.error.isEmpty());
    QCOMPARE(c.samples, samples(s, 0, 15999));

    QVERIFY(hasWaveFileExtension("/x/A.TXT") && hasWaveFileExtension("a.txt"));
    QVERIFY(!hasWaveFileExtension("a.Txt") && !hasWaveFileExtension("a.txt.bak"));
}

void TestModel::fileReading() {
    const auto Open = WaveFileUse::Open, Mix = WaveFileUse::Mix;
    const struct {
        const char* text;
        WaveFileUse use;
        std::vector<float> samples;
        QString error;
    } files[] = {
        // Open: an early end or an empty line leaves zeros; lines after the last are not read.
        {"4\r\n0.5\r\n-1\r\n", Open, {0.5f, -1.0f, 0.0f, 0.0f}, {}},
        {"5\r\n 0.250\r\n\r\n0.9\r\nrubbish\r\n", Open, {0.25f, 0, 0, 0, 0}, {}},
        {"4\n1\n1\n1\n1\nnot a number\n", Open, {1, 1, 1, 1}, {}},
        // A comma, an exponent and blanks around the number read too.
        {"4\r\n 0,500\r\n1e-3\r\n -2.5E-1 \r\n+1\r\n", Open, {0.5f, 0.001f, -0.25f, 1.0f}, {}},
        // Add and Subtract refuse a file with fewer samples than line 1 announces.
        {"4\r\n0.5\r\n0.5\r\n",
         Mix,
         {},
         "The file ends before line 4; line 1 announces 4 samples."},
        {"4\r\n0.5\r\n\r\n0.5\r\n0.5\r\n", Mix, {}, "Line 3 is empty; line 1 announces 4 samples."},
        {"4\r\n1\r\n1\r\n1\r\n1\r\n", Mix, {1, 1, 1, 1}, {}},
        {"4\r\n0.5\r\nx\r\n", Open, {}, "Line 3 does not hold a sample value."},
    };
    for (const auto& f : files) {
        const WaveFileContent c = parseWaveFile(f.text, f.use);
        QCOMPARE(c.error, f.error);
        QCOMPARE(c.samples, f.samples);
    }
    // Lengths out of range are held to the limits and say so; line 1 rounds half to even.
    WaveFileContent c = parseWaveFile("20000\r\n");
    QVERIFY(c.length == 16000 && c.lengthLimited);
    c = parseWaveFile("2\r\n0.1\r\n");
    QVERIFY(c.length == 4 && c.lengthLimited);
    QCOMPARE(parseWaveFile("100.5\r\n").length, 100);
    for (const char* broken :
         {"", "abc\r\n0.5\r\n", "4\r\n1e40\r\n", "4\r\nnan\r\n", "4\r\n 0.5 0.5\r\n", "inf\r\n",
          "4\r\n   \r\n", "4\r\n0x1p3\r\n", "4\r\n+-1\r\n"}) {
        QVERIFY2(!parseWaveFile(QByteArray(broken)).error.isEmpty(), broken);
    }
}

void TestModel::failedSaveKeepsTheOldFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath("wave.txt");
    const WaveStore small = storeOf(4, 0.0f);
    QVERIFY(writeWaveFile(path, "4", small).isEmpty());
    const QByteArray before = fileBytes(path);
    // A disk that fills up part way: the file size limit makes the write fail.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit lim = old;
    lim.rlim_cur = 1000;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &lim), 0);
    const QString why = writeWaveFile(path, "16000", storeOf(16000));
    setrlimit(RLIMIT_FSIZE, &old);
    QVERIFY(!why.isEmpty());
    QCOMPARE(fileBytes(path), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1); // no temporary left behind
    QVERIFY(!writeWaveFile(dir.path(), "4", small).isEmpty());
}

void TestModel::deviceChoices() {
    const QList<DetectedPort> ports = {{"/dev/ttyUSB0",
                                        "/dev/serial/by-id/usb-FTDI_FT232R_A5069RR4-if00-port0",
                                        "FT232R", "FTDI", "A5069RR4", "0403:6001"},
                                       {"/dev/ttyS0", "", "", "", "", ""}};
    QTemporaryDir dir;
    QSettings settings(dir.filePath("wavewright.ini"), QSettings::IniFormat);
    settings.setValue("ports/COM1", "/dev/remembered-but-gone");
    settings.setValue("ports/COM2", "/dev/serial/by-id/usb-FTDI_FT232R_A5069RR4-if00-port0");
    // COM1 given on the command line stays for this run; COM2 comes from the settings.
    PortMap map;
    QVERIFY(map.parseAssignment("COM1=/dev/pts/9"));
    QVERIFY(!map.parseAssignment("COM5=/dev/pts/9")); // COM1 to COM4 only
    loadPortChoices(settings, map);
    QCOMPARE(map.device(1), QString("/dev/pts/9"));
    QCOMPARE(map.device(2), ports[0].byId);
    QCOMPARE(map.device(3), QString("/dev/ttyS2"));

    PortChoices choices([&] { return ports; }, map);
    QVERIFY(choices.describe(map.device(2))
                .startsWith("/dev/ttyUSB0, FT232R, FTDI, A5069RR4, "
                            "0403:6001"));
    QCOMPARE(choices.describe("/dev/remembered-but-gone"), QString("not connected"));
    // A detected port chosen by its path is stored by its stable name; a typed path as typed.
    choices.choose(3, "/dev/ttyUSB0");
    choices.choose(4, " /dev/pts/7 ");
    QCOMPARE(choices.device(3), ports[0].byId);
    const QMap<int, QString> changed = choices.changed();
    QCOMPARE(changed, (QMap<int, QString>{{3, ports[0].byId}, {4, "/dev/pts/7"}}));
    // Only what the user changed is remembered: not the command line's COM1.
    savePortChoices(settings, changed);
    PortMap next;
    loadPortChoices(settings, next);
    QCOMPARE((QStringList{next.device(1), next.device(2), next.device(3), next.device(4)}),
             (QStringList{"/dev/remembered-but-gone", ports[0].byId, ports[0].byId, "/dev/pts/7"}));
    QVERIFY(openFailureText(next.describe(1), QSerialPort::DeviceNotFoundError, {})
                .contains("COM1 (/dev/remembered-but-gone): there is no such device"));
    QVERIFY(openFailureText("COM1", QSerialPort::PermissionError, {}).contains("dialout"));
}

QTEST_APPLESS_MAIN(TestModel)
#include "test_model.moc"
