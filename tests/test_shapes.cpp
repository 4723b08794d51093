#include "synth/shapes.h"

#include <QTest>
#include <cmath>

using namespace ww;

namespace {
WaveStore storeOf(int length, float fill = 0.75f) {
    WaveStore s;
    s.ArbData.fill(fill);
    s.ArbLength = static_cast<float>(length);
    return s;
}

void checkTail(const WaveStore& s, int n) {
    // Samples above the closing one keep their earlier value.
    QCOMPARE(s.ArbData[n + 1], 0.75f);
    QCOMPARE(s.ArbData[16000], 0.75f);
}
} // namespace

class TestShapes : public QObject {
    Q_OBJECT
  private slots:
    void square();
    void triangle();
    void sineAndCosine();
    void ramps();
};

void TestShapes::square() {
    for (int n : {4, 5, 1000, 1001}) {
        WaveStore s = storeOf(n);
        makeSquare(s);
        const int h = n / 2;
        for (int i = 0; i <= n; ++i)
            QCOMPARE(s.ArbData[i], i < h ? 1.0f : -1.0f);
        checkTail(s, n);
        QCOMPARE(s.ArbLength, static_cast<float>(n));
    }
    WaveStore s = storeOf(1001);
    makeSquare(s);
    QCOMPARE(s.ArbData[499], 1.0f);
    QCOMPARE(s.ArbData[500], -1.0f); // the low part is 502 samples long
}

void TestShapes::triangle() {
    WaveStore four = storeOf(4);
    makeTriangle(four);
    const float t4[] = {-1, 0, 1, 0, -1};
    for (int i = 0; i <= 4; ++i)
        QCOMPARE(four.ArbData[i], t4[i]);
    checkTail(four, 4);

    WaveStore five = storeOf(5);
    makeTriangle(five);
    const float t5[] = {-1, 0, 1, 1, 0, -1};
    for (int i = 0; i <= 5; ++i)
        QCOMPARE(five.ArbData[i], t5[i]);

    for (int n : {1000, 1001}) {
        WaveStore s = storeOf(n);
        makeTriangle(s);
        const int h = n / 2;
        const float step = static_cast<float>(2.0 / h);
        QCOMPARE(s.ArbData[0], -1.0f);
        QCOMPARE(s.ArbData[h], static_cast<float>(static_cast<double>(step) * h - 1.0));
        QCOMPARE(s.ArbData[n - 1], s.ArbData[1]);
        QVERIFY(std::abs(s.ArbData[n] + 1.0f) < 1e-5f);
        checkTail(s, n);
    }
    WaveStore odd = storeOf(1001);
    makeTriangle(odd);
    QCOMPARE(odd.ArbData[500], odd.ArbData[501]); // the peak is held at two indices
}

void TestShapes::sineAndCosine() {
    const double p = static_cast<double>(3.14159f);
    QCOMPARE(p, 3.141590118408203);
    for (int n : {4, 5, 1000, 1001}) {
        WaveStore s = storeOf(n);
        makeSine(s);
        QCOMPARE(s.ArbData[0], 0.0f);
        for (int i : {1, n / 4, n / 2, n - 1, n})
            QCOMPARE(s.ArbData[i], static_cast<float>(std::sin(2.0 * i * p / n)));
        checkTail(s, n);
        WaveStore c = storeOf(n);
        makeCosine(c);
        QCOMPARE(c.ArbData[0], 1.0f);
        QCOMPARE(c.ArbData[n], 1.0f);
        for (int i : {1, n / 3, n / 2})
            QCOMPARE(c.ArbData[i], static_cast<float>(std::cos(2.0 * i * p / n)));
        checkTail(c, n);
    }
    // P is short of pi: the sine does not quite close at zero.
    WaveStore s = storeOf(1000);
    makeSine(s);
    QVERIFY(s.ArbData[1000] < -5.0e-6f && s.ArbData[1000] > -5.2e-6f);
}

void TestShapes::ramps() {
    for (int n : {4, 5, 1000, 1001}) {
        WaveStore up = storeOf(n);
        makePositiveRamp(up);
        QCOMPARE(up.ArbData[0], -1.0f);
        QCOMPARE(up.ArbData[n], 1.0f);
        QCOMPARE(up.ArbData[1], static_cast<float>(2.0 / n - 1.0));
        checkTail(up, n);
        WaveStore down = storeOf(n);
        makeNegativeRamp(down);
        QCOMPARE(down.ArbData[0], 1.0f);
        QCOMPARE(down.ArbData[n], -1.0f);
        QCOMPARE(down.ArbData[1], static_cast<float>(1.0 - 2.0 / n));
        checkTail(down, n);
    }
}

QTEST_APPLESS_MAIN(TestShapes)
#include "test_shapes.moc"
