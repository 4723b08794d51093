#include "app/formmain.h"
#include "editor/entryfield.h"
#include "files/wavefile.h"
#include "synth/arith.h"
#include "synth/shapes.h"
#include "testwindow.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace ww;

namespace {
WaveStore ramp(int length) {
    WaveStore s;
    s.ArbLength = static_cast<float>(length);
    for (int i = 0; i <= kStoreLastIndex; ++i)
        s.ArbData[i] = static_cast<float>((i % 7) / 10.0 - 0.3);
    return s;
}

} // namespace

class TestArith : public QObject {
    Q_OBJECT
  private slots:
    void addAndSubtract();
    void symmetries();
    void amplitude();
    void normalize();
    void frequencyMultiply();
    void answers();
    void menuMessagesAndFiles();
};

void TestArith::addAndSubtract() {
    // The same waveform: Add leaves it, Subtract gives zero and halves index L.
    WaveStore s = ramp(1000);
    const WaveStore before = s;
    std::vector<float> same(before.ArbData.begin(), before.ArbData.begin() + 1000);
    mixWithFile(s, same, 1000, false);
    QVERIFY(s.ArbData == before.ArbData);
    mixWithFile(s, same, 1000, true);
    for (int i = 0; i < 1000; ++i)
        QCOMPARE(s.ArbData[i], 0.0f);
    QCOMPARE(s.ArbData[1000], before.ArbData[1000] / 2);
    QCOMPARE(s.ArbData[1001], before.ArbData[1001]);

    // A shorter file averages its part and halves the rest.
    s = ramp(1000);
    mixWithFile(s, std::vector<float>(500, 1.0f), 500, false);
    QCOMPARE(s.ArbData[0], static_cast<float>(before.ArbData[0] / 2.0 + 0.5));
    QCOMPARE(s.ArbData[999], before.ArbData[999] / 2);
    QCOMPARE(s.ArbData[1000], before.ArbData[1000]); // Add leaves index L
    QCOMPARE(s.ArbLength, 1000.0f);

    // A longer file raises the length.
    s = ramp(1000);
    mixWithFile(s, std::vector<float>(2000, -1.0f), 2000, false);
    QCOMPARE(s.ArbLength, 2000.0f);
    QCOMPARE(s.ArbData[1999], static_cast<float>(before.ArbData[1999] / 2.0 - 0.5));

    // Whatever the file claims, nothing beyond the store is touched.
    s = ramp(16000);
    mixWithFile(s, std::vector<float>(16000, 0.0f), 20000, true);
    QCOMPARE(s.ArbLength, 16000.0f);
    QCOMPARE(s.ArbData[16000], before.ArbData[16000] / 2);
}

void TestArith::symmetries() {
    WaveStore s;
    s.ArbLength = 4;
    const float abcd[] = {0.1f, 0.2f, 0.3f, 0.4f, 0.9f};
    std::copy(abcd, abcd + 5, s.ArbData.begin());
    symmetryY(s);
    QCOMPARE(s.ArbData[0], 0.4f);
    QCOMPARE(s.ArbData[1], 0.3f);
    QCOMPARE(s.ArbData[3], 0.1f);
    QCOMPARE(s.ArbData[4], 0.9f); // index L untouched
    symmetryY(s);
    QCOMPARE(s.ArbData[0], 0.1f);
    s.ArbLength = 5;
    symmetryY(s);
    QCOMPARE(s.ArbData[0], 0.9f);
    QCOMPARE(s.ArbData[2], 0.3f);
    QCOMPARE(s.ArbData[4], 0.1f);
    symmetryX(s);
    QCOMPARE(s.ArbData[0], -0.9f);
    QCOMPARE(s.ArbData[5], 0.0f);
    symmetryX(s);
    QCOMPARE(s.ArbData[0], 0.9f);
}

void TestArith::amplitude() {
    WaveStore s;
    s.ArbLength = 1000;
    makeSine(s);
    const WaveStore sine = s;
    QVERIFY(amplitudeDivide(s, 2.0f));
    QVERIFY(amplitudeMultiply(s, 2.0f));
    QVERIFY(s.ArbData == sine.ArbData);
    // Multiply by 3 flattens everything beyond 1/3.
    QVERIFY(amplitudeMultiply(s, 3.0f));
    for (int i = 0; i < 1000; ++i) {
        if (std::abs(sine.ArbData[i]) > 0.34f)
            QCOMPARE(std::abs(s.ArbData[i]), 1.0f);
        QVERIFY(std::abs(s.ArbData[i]) <= 1.0f);
    }
    // Divide by -1 is the X mirror.
    WaveStore a = sine, b = sine;
    QVERIFY(amplitudeDivide(a, -1.0f));
    symmetryX(b);
    QVERIFY(a.ArbData == b.ArbData);
    // Factors between -1 and 1 are refused and change nothing.
    for (float f : {0.5f, 0.0f, -0.999f}) {
        QVERIFY(!amplitudeDivide(a, f));
        QVERIFY(!amplitudeMultiply(a, f));
    }
    QVERIFY(a.ArbData == b.ArbData);
}

void TestArith::normalize() {
    WaveStore s;
    s.ArbLength = 4;
    const float half[] = {0.5f, -0.25f, 0.1f, 0.0f, 0.7f};
    std::copy(half, half + 5, s.ArbData.begin());
    QVERIFY(amplitudeNormalize(s));
    QCOMPARE(s.ArbData[0], 1.0f);
    QCOMPARE(s.ArbData[1], -0.5f);
    QCOMPARE(s.ArbData[4], 0.7f);
    QVERIFY(!amplitudeNormalize(s)); // peak exactly 1.0
    WaveStore zero;
    QVERIFY(!amplitudeNormalize(zero));
    // A peak above 1 is scaled down.
    s.ArbData[0] = -2.0f;
    QVERIFY(amplitudeNormalize(s));
    QCOMPARE(s.ArbData[0], -1.0f);
}

void TestArith::frequencyMultiply() {
    WaveStore s = ramp(1000);
    const WaveStore before = s;
    QVERIFY(ww::frequencyMultiply(s, 3));
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 333; i += 37)
            QCOMPARE(s.ArbData[j * 333 + i], before.ArbData[i * 3]);
    QCOMPARE(s.ArbData[999], 0.0f);
    QCOMPARE(s.ArbData[1000], before.ArbData[1000]);
    s = before;
    QVERIFY(ww::frequencyMultiply(s, 1));
    QVERIFY(s.ArbData == before.ArbData);
    QVERIFY(ww::frequencyMultiply(s, 1001)); // more than the length: all zero
    for (int i = 0; i < 1000; ++i)
        QCOMPARE(s.ArbData[i], 0.0f);
    QVERIFY(!ww::frequencyMultiply(s, 0));
}

void TestArith::answers() {
    QCOMPARE(factorFromAnswer(QString("2")), 2.0f);
    QCOMPARE(factorFromAnswer(QString(" 2.5 ")), 2.5f);
    QCOMPARE(factorFromAnswer(QString("abc")), 1.0f);
    QCOMPARE(factorFromAnswer(std::nullopt), 1.0f);
    QCOMPARE(factorFromAnswer(QString("")), 1.0f);
    QCOMPARE(coefficientFromAnswer(QString("2.5")), 2);
    QCOMPARE(coefficientFromAnswer(QString("3.5")), 4);
    QCOMPARE(coefficientFromAnswer(QString("99999")), 1);
    QCOMPARE(coefficientFromAnswer(QString("x")), 1);
}

void TestArith::menuMessagesAndFiles() {
    TestWindow w(TestWindow::Setup{});
    FakePrompts& p = w.prompts;
    w->action("mnuStandardSin")->trigger();
    const WaveStore sine = w->store();

    p.inputs.push_back(QString("0.5"));
    w->action("mnuWaveAmplDiv")->trigger();
    QCOMPARE(p.inputPrompts.last(),
             QString("Please enter divisor,\n(divisor>=1)|Amplitude divide|2"));
    QCOMPARE(p.texts().last(), QString("ERROR! divisor<1"));
    QCOMPARE(p.messages.back().title, QString("Amplitude divide"));
    QCOMPARE(p.messages.back().icon, MsgIcon::Critical);
    p.inputs.push_back(QString("0"));
    w->action("mnuWaveAmplMul")->trigger();
    QCOMPARE(p.texts().last(), QString("ERROR！multiplier<1"));
    QCOMPARE(p.messages.back().title, QString("Amplitude multiply"));
    p.inputs.push_back(QString("0"));
    w->action("mnuWaveFreqMul")->trigger();
    QCOMPARE(p.texts().last(), QString("ERROR！coefficient<1"));
    QCOMPARE(p.messages.back().title, QString("Frequency multiply"));
    QVERIFY(w->store().ArbData == sine.ArbData);
    // Cancel keeps the factor 1.
    w->action("mnuWaveAmplDiv")->trigger();
    QVERIFY(w->store().ArbData == sine.ArbData);
    QCOMPARE(p.messages.size(), std::size_t(3));

    // Add and Subtract with files.
    QTemporaryDir dir;
    auto write = [&](const char* name, const QByteArray& bytes) {
        return writeFile(dir, name, bytes);
    };
    p.openNames.push_back(write("a.Txt", "4\r\n"));
    w->action("mnuWaveAdd")->trigger();
    QCOMPARE(p.texts().last(), QString("No file!\nPlease open"));
    QCOMPARE(p.messages.back().icon, MsgIcon::Exclamation);
    QCOMPARE(p.messages.back().title, QString("ERROR!"));
    p.openNames.push_back(write("b.Txt", "4\r\n"));
    w->action("mnuWaveDec")->trigger();
    QCOMPARE(p.texts().last(), QString("No file!\nPlese open"));
    p.openNames.push_back(write("broken.txt", "300\r\n0.5\r\n-\r\n"));
    w->action("mnuWaveAdd")->trigger();
    QCOMPARE(p.messages.back().title, QString("ERROR!"));
    QVERIFY(w->store().ArbData == sine.ArbData);
    QCOMPARE(w->store().ArbLength, 201.0f);

    p.openNames.push_back(write("long.txt", "400\r\n1\r\n"));
    w->action("mnuWaveAdd")->trigger();
    QCOMPARE(w->store().ArbLength, 400.0f);
    QCOMPARE(w->Text_Arb_Length->text(), QString("400"));
    QCOMPARE(w->store().ArbData[0], 0.5f);
    QCOMPARE(w->editor().view().ViewSpan, 400);

    const std::size_t before = p.messages.size();
    p.openNames.push_back(write("huge.txt", "20000\r\n1\r\n"));
    w->action("mnuWaveDec")->trigger();
    QCOMPARE(p.messages.size(), before + 1);
    QCOMPARE(p.texts().last(), QString("Arbitrary length from 4 to 16000 "));
    QCOMPARE(w->store().ArbLength, 16000.0f);
}

QTEST_MAIN(TestArith)
#include "test_arith.moc"
