#include "editor/store.h"

#include <QRandomGenerator>
#include <QTest>
#include <cmath>
#include <cstdio>

using namespace ww;

class TestStore : public QObject {
    Q_OBJECT
  private slots:
    void formatSample_data();
    void formatSample();
    void formatSampleMatchesPrintf();
    void fillToPoint();
    void clearCoversClosingSample();
};

void TestStore::formatSample_data() {
    QTest::addColumn<float>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0.0f << " 0.000";
    QTest::newRow("half") << 0.5f << " 0.500";
    QTest::newRow("quarter neg") << -0.25f << "-0.250";
    QTest::newRow("plus one") << 1.0f << " 1.000";
    QTest::newRow("minus one") << -1.0f << "-1.000";
    QTest::newRow("0.1234") << 0.1234f << " 0.123";
    QTest::newRow("0.9996 rounds up") << 0.9996f << " 1.000";
    QTest::newRow("tiny negative") << -0.0001f << " 0.000";
    QTest::newRow("out of range keeps six") << 2.6f << " 2.600";
    QTest::newRow("ten keeps rightmost six") << -12.5f << "12.500";
}

void TestStore::formatSample() {
    QFETCH(float, value);
    QFETCH(QString, text);
    QCOMPARE(FormatSample(value), text);
}

void TestStore::formatSampleMatchesPrintf() {
    // The fast writer against the plain "0.000" formatting, over many values.
    auto reference = [](float v) {
        double r = std::round(static_cast<double>(v) * 1000.0) / 1000.0;
        if (r == 0.0)
            r = 0.0;
        char buf[64];
        std::snprintf(buf, sizeof buf, " %.3f", r);
        return QString::fromLatin1(buf).right(6);
    };
    QRandomGenerator rng(7);
    for (int i = 0; i < 200000; ++i) {
        const float v = i < 100000 ? static_cast<float>(rng.generateDouble() * 2.0 - 1.0)
                                   : static_cast<float>((rng.generateDouble() - 0.5) * 40000.0);
        QCOMPARE(FormatSample(v), reference(v));
    }
    for (int k = -1000; k <= 1000; ++k) // every drawn value, k / 1000 in single precision
        QCOMPARE(FormatSample(k / 1000.0f), reference(k / 1000.0f));
    QCOMPARE(FormatSample(std::numeric_limits<float>::infinity()), QString(" 0.000"));
    QCOMPARE(FormatSample(3.0e38f).size(), 6);
}

void TestStore::fillToPoint() {
    WaveStore s;
    // Rightwards from anchor 10 (0.0) to 14 at 0.8.
    FillToPoint(s, 10, 14, 0.8f);
    QCOMPARE(s.ArbData[10], 0.0f);
    QCOMPARE(s.ArbData[11], 0.2f);
    QCOMPARE(s.ArbData[12], 0.4f);
    QCOMPARE(s.ArbData[13], 0.6f);
    QCOMPARE(s.ArbData[14], 0.8f);
    QCOMPARE(s.ArbData[15], 0.0f);

    // Leftwards from anchor 14 (0.8) to 10 at 0: the anchor sample keeps its value.
    WaveStore t;
    t.ArbData[14] = 0.8f;
    FillToPoint(t, 14, 10, 0.0f);
    QCOMPARE(t.ArbData[10], 0.0f);
    QCOMPARE(t.ArbData[11], 0.2f);
    QCOMPARE(t.ArbData[12], 0.4f);
    QCOMPARE(t.ArbData[13], 0.6f);
    QCOMPARE(t.ArbData[14], 0.8f);

    // Same column: only that sample.
    WaveStore u;
    FillToPoint(u, 7, 7, -0.5f);
    QCOMPARE(u.ArbData[7], -0.5f);
    QCOMPARE(u.ArbData[6], 0.0f);
    QCOMPARE(u.ArbData[8], 0.0f);

    // An anchor beyond the store is held to its last index, never written past it.
    WaveStore v;
    FillToPoint(v, 16030, 15990, 1.0f);
    QCOMPARE(v.ArbData[15990], 1.0f);
    QCOMPARE(v.ArbData[16000], 0.0f);
}

void TestStore::clearCoversClosingSample() {
    WaveStore s;
    s.ArbData.fill(0.5f);
    clearSamples(s); // length 201: samples 0..201
    QCOMPARE(s.ArbData[0], 0.0f);
    QCOMPARE(s.ArbData[201], 0.0f);
    QCOMPARE(s.ArbData[202], 0.5f);
    s.ArbLength = 16000.0f;
    s.ArbData.fill(0.5f);
    clearSamples(s);
    QCOMPARE(s.ArbData[16000], 0.0f);
}

QTEST_APPLESS_MAIN(TestStore)
#include "test_store.moc"
