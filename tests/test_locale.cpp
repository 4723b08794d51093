// Under a locale whose decimal separator is a comma every number text of the program still
// reads and writes the point: fields, axis labels, the formula, the file and factor answers.
#include "app/formmain.h"
#include "testwindow.h"

#include <QLabel>
#include <clocale>

using namespace ww;

class TestLocale : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void numbersUseThePoint();
};

void TestLocale::initTestCase() {
    if (QString(std::localeconv()->decimal_point) == ",")
        return;
    if (qEnvironmentVariableIsSet("CI"))
        QFAIL("the de_DE.UTF-8 locale is missing; tools/deps.sh generates it");
    QSKIP("no locale with a decimal comma here (tools/deps.sh generates de_DE.UTF-8)");
}

void TestLocale::numbersUseThePoint() {
    TestWindow w(TestWindow::Setup::active());
    typeInto(w->Text_ArbLineStartY, "0.5");
    QCOMPARE(w->Text_ArbLineStartY->text(), QString("0.500"));
    QCOMPARE(w->entry().ArbLineStartY, 0.5f);
    QCOMPARE(w->Label_X_coordinate[1]->text(), QString("20.1"));

    // The formula's second amplitude is 0.5, not 0: a quarter period reads 1 / 1.5.
    w.prompts.inputs.push_back(QString("sinx+0.5sin2x"));
    w->mnuWaveSinAddFormula_Click();
    QVERIFY(std::abs(w.store().ArbData[50] -
                     (std::sin(2 * M_PI * 50 / 200) + 0.5 * std::sin(4 * M_PI * 50 / 200)) / 1.5) <
            1e-4);
    w.prompts.inputs.push_back(QString("2.5"));
    w->mnuWaveAmplDiv_Click();
    QVERIFY(w.prompts.messages.empty());

    QTemporaryDir dir;
    w.prompts.saveNames.push_back(dir.filePath("w.txt"));
    w->mnuFileSave_Click();
    QCOMPARE(fileBytes(dir.filePath("w.txt")).split('\n').value(51), QByteArray(" 0.267\r"));
}

int main(int argc, char** argv) {
    qputenv("LC_ALL", "de_DE.UTF-8");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv); // takes the C library's locale from the environment
    TestLocale test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_locale.moc"
