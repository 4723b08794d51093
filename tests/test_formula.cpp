#include "app/formmain.h"
#include "editor/entryfield.h"
#include "synth/formula.h"
#include "testwindow.h"

#include <QTest>
#include <cmath>

using namespace ww;

class TestFormula : public QObject {
    Q_OBJECT
  private slots:
    void parse_data();
    void parse();
    void leadingNumbers();
    void defaultFormulaValues();
    void lengthCutToMultipleOfK();
    void refusedWithoutTouchingStore();
    void menuCommand();
};

void TestFormula::parse_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("A");
    QTest::addColumn<double>("B");
    QTest::addColumn<float>("C");
    QTest::addColumn<int>("D");
    QTest::newRow("default") << "sinx+0.5sin2x" << true << 1.0 << 1.0 << 0.5f << 2;
    QTest::newRow("upper case") << "SINX+0.5SIN3X" << true << 1.0 << 1.0 << 0.5f << 3;
    QTest::newRow("blank after x") << "sinx + 0.5sin2x" << false << 1.0 << 1.0 << 1.0f << 1;
    QTest::newRow("blanks in C") << "sinx+ 0.5 sin2x" << true << 1.0 << 1.0 << 0.5f << 2;
    QTest::newRow("third term") << "sinx+0.5sin2x+0.3sin3x" << true << 1.0 << 1.0 << 0.5f << 2;
    QTest::newRow("half to even") << "sinx+0.5sin2.5x" << true << 1.0 << 1.0 << 0.5f << 2;
    QTest::newRow("B and D") << "sin2x+sin3x" << true << 1.0 << 2.0 << 1.0f << 3;
    QTest::newRow("negative C") << "sinx+-0.5sin2x" << true << 1.0 << 1.0 << -0.5f << 2;
    QTest::newRow("number only") << "123" << false << 1.0 << 1.0 << 1.0f << 1;
    QTest::newRow("only blanks") << "   " << false << 1.0 << 1.0 << 1.0f << 1;
    QTest::newRow("split digits") << "2 5sinx+sin2x" << true << 25.0 << 1.0 << 1.0f << 2;
    QTest::newRow("minus sin") << "-sinx+sin2x" << true << 0.0 << 1.0 << 1.0f << 2;
    QTest::newRow("blank before x") << "sin x+sin2x" << true << 1.0 << 0.0 << 1.0f << 2;
    QTest::newRow("no plus") << "sinx-0.5sin2x" << false << 1.0 << 1.0 << 1.0f << 1;
    QTest::newRow("cos") << "cosx+sin2x" << false << 1.0 << 1.0 << 1.0f << 1;
    QTest::newRow("ends early") << "sinx+0.5sin2" << false << 1.0 << 1.0 << 1.0f << 1;
}

void TestFormula::parse() {
    QFETCH(QString, answer);
    QFETCH(bool, ok);
    const FormulaParse p = parseSineSum(answer);
    QCOMPARE(p.error == FormulaError::None, ok);
    if (ok) {
        QTEST(p.terms.A, "A");
        QTEST(p.terms.B, "B");
        QTEST(p.terms.C, "C");
        QTEST(p.terms.D, "D");
    } else {
        QCOMPARE(p.error, FormulaError::Malformed);
    }
    QCOMPARE(parseSineSum(QString()).error, FormulaError::Empty);
}

void TestFormula::leadingNumbers() {
    QCOMPARE(leadingNumber(u"0.5sin"), 0.5);
    QCOMPARE(leadingNumber(u"2 5sin"), 25.0);
    QCOMPARE(leadingNumber(u"-sin"), 0.0);
    QCOMPARE(leadingNumber(u" - 1.5.5x"), -1.5);
    QCOMPARE(leadingNumber(u"x"), 0.0);
}

void TestFormula::defaultFormulaValues() {
    WaveStore s;
    s.ArbLength = 1000;
    s.ArbData.fill(0.9f);
    QCOMPARE(applySineSum(s, parseSineSum("sinx+0.5sin2x").terms), FormulaError::None);
    QCOMPARE(s.ArbLength, 1000.0f);
    const double p = 3.14159f;
    for (int i : {0, 1, 123, 250, 999}) {
        float v = static_cast<float>(1.0 * std::sin(2.0 * i * p / 1000.0));
        v = static_cast<float>(v + 0.5 * std::sin(2.0 * (i / 1000.0) * 2 * p));
        v = static_cast<float>(v / 1.5);
        QCOMPARE(s.ArbData[i], v);
    }
    QCOMPARE(s.ArbData[1000], 0.9f); // the closing sample is not written
}

void TestFormula::lengthCutToMultipleOfK() {
    WaveStore s;
    s.ArbLength = 1001;
    s.ArbData.fill(0.9f);
    applySineSum(s, parseSineSum("sinx+0.5sin2x").terms);
    QCOMPARE(s.ArbLength, 1000.0f);
    QCOMPARE(s.ArbData[1000], 0.0f); // cleared, not computed
    QCOMPARE(s.ArbData[1001], 0.9f);
    s.ArbLength = 1000;
    applySineSum(s, parseSineSum("SINX+0.5SIN3X").terms);
    QCOMPARE(s.ArbLength, 999.0f);
    // sin2x+sin3x: K = 1.5 -> 2, S = 2.
    s.ArbLength = 1000;
    applySineSum(s, parseSineSum("sin2x+sin3x").terms);
    QCOMPARE(s.ArbLength, 1000.0f);
    // B = 0 keeps K at 1; K = 0 keeps the length.
    s.ArbLength = 1001;
    applySineSum(s, parseSineSum("sin x+sin2x").terms);
    QCOMPARE(s.ArbLength, 1001.0f);
    applySineSum(s, parseSineSum("sin4x+sin1x").terms);
    QCOMPARE(s.ArbLength, 1001.0f);
    // K above the length leaves length 0; the commit raises it to 4 later.
    s.ArbLength = 100;
    applySineSum(s, parseSineSum("sinx+sin200x").terms);
    QCOMPARE(s.ArbLength, 0.0f);
    // Negative amplitudes are stored as computed.
    s.ArbLength = 1000;
    applySineSum(s, parseSineSum("sinx+-0.5sin2x").terms);
    float peak = 0;
    for (int i = 0; i < 1000; ++i)
        peak = std::max(peak, std::abs(s.ArbData[i]));
    QVERIFY(peak > 2.5f && peak < 2.7f);
}

void TestFormula::refusedWithoutTouchingStore() {
    for (const char* f :
         {"sinx+-1sin2x", "sinx+sin-3x", "2sinx+sin-1x",
          "99999999999999999999999999999999999999999sinx+sin2x", "3e38sinx+sin2x"}) {
        WaveStore s;
        s.ArbLength = 16000;
        s.ArbData.fill(0.25f);
        const WaveStore before = s;
        const FormulaParse p = parseSineSum(f);
        if (p.error == FormulaError::None)
            QCOMPARE(applySineSum(s, p.terms), FormulaError::NoFiniteResult);
        QVERIFY(s.ArbData == before.ArbData);
        QCOMPARE(s.ArbLength, 16000.0f);
    }
}

void TestFormula::menuCommand() {
    TestWindow tw(TestWindow::Setup{});
    FakePrompts& p = tw.prompts;
    FormMain& w = tw.f();
    p.inputs.push_back(QString("SINX+0.5SIN3X"));
    w.mnuWaveSinAddFormula_Click();
    QCOMPARE(p.inputPrompts.last(),
             QString("Formula of Sine Add,\nThe amplitude of first Sine waveform is 1, "
                     "independent variable is x,ω = 1|Formula of Sine Add|sinx+0.5sin2x"));
    QCOMPARE(w.store().ArbLength, 201.0f);
    QCOMPARE(w.Text_Arb_Length->text(), QString("201"));
    QVERIFY(!w.Text_Arb_Length->isEditingLook());
    QVERIFY(p.messages.empty());
    // Cancel, blanks, a refusal.
    w.mnuWaveSinAddFormula_Click();
    QCOMPARE(p.texts().last(), QString("Wrong Formula！"));
    QCOMPARE(p.messages.back().title, QString("Formula of Sine Add"));
    p.inputs.push_back(QString("   "));
    w.mnuWaveSinAddFormula_Click();
    QCOMPARE(p.messages.back().title, QString("Enter Formula"));
    p.inputs.push_back(QString("sinx+-1sin2x"));
    const WaveStore before = w.store();
    w.mnuWaveSinAddFormula_Click();
    QCOMPARE(p.messages.back().title, QString("Enter Formula"));
    QVERIFY(w.store().ArbData == before.ArbData);
    // A length cut below 4 is raised by the commit, with its message.
    p.inputs.push_back(QString("sinx+sin300x"));
    w.mnuWaveSinAddFormula_Click();
    QCOMPARE(w.store().ArbLength, 4.0f);
    QCOMPARE(p.texts().last(), QString("Arbitrary length from 4 to 16000 "));
}

QTEST_MAIN(TestFormula)
#include "test_formula.moc"
