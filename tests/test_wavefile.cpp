#include "files/wavefile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>

using namespace ww;

class TestWaveFile : public QObject {
    Q_OBJECT
  private slots:
    void writesLengthAndSixCharacterLines();
    void readsBackWhatItWrote();
    void loadRules();
    void refusesBrokenFiles();
    void extensionTest();
    void failedSaveKeepsTheOldFile();
};

void TestWaveFile::writesLengthAndSixCharacterLines() {
    WaveStore s;
    s.ArbLength = 1000;
    s.ArbData[0] = 1.0f;
    s.ArbData[1] = 0.9996f;
    s.ArbData[2] = -1.0f;
    s.ArbData[3] = 0.5f;
    s.ArbData[4] = -0.25f;
    s.ArbData[5] = 0.1234f;
    s.ArbData[1000] = 0.7f; // the closing sample is never saved
    const QByteArray bytes = waveFileBytes("1000", s);
    const QList<QByteArray> lines = bytes.split('\n');
    QCOMPARE(lines.size(), 1002); // 1001 lines, the last one ended too
    QVERIFY(lines.last().isEmpty());
    QCOMPARE(lines[0], QByteArray("1000\r"));
    QCOMPARE(lines[1], QByteArray(" 1.000\r"));
    QCOMPARE(lines[2], QByteArray(" 1.000\r"));
    QCOMPARE(lines[3], QByteArray("-1.000\r"));
    QCOMPARE(lines[4], QByteArray(" 0.500\r"));
    QCOMPARE(lines[5], QByteArray("-0.250\r"));
    QCOMPARE(lines[6], QByteArray(" 0.123\r"));
    QCOMPARE(lines[1000], QByteArray(" 0.000\r"));
    QCOMPARE(bytes.size(), 6 + 1000 * 8);
    // The number of sample lines follows the text written on line 1.
    QCOMPARE(waveFileBytes("4", s).count('\n'), 5);
}

void TestWaveFile::readsBackWhatItWrote() {
    WaveStore s;
    s.ArbLength = 16000;
    for (int i = 0; i < 16000; ++i)
        s.ArbData[i] = static_cast<float>((i % 2001) - 1000) / 1000.0f;
    const WaveFileContent c = parseWaveFile(waveFileBytes("16000", s));
    QVERIFY(c.error.isEmpty());
    QCOMPARE(c.length, 16000);
    QVERIFY(!c.lengthLimited);
    for (int i = 0; i < 16000; ++i)
        QCOMPARE(c.samples[i], s.ArbData[i]);
}

void TestWaveFile::loadRules() {
    // Early end: the rest is zero.
    WaveFileContent c = parseWaveFile("500\r\n0.5\r\n-1\r\n");
    QVERIFY(c.error.isEmpty());
    QCOMPARE(c.length, 500);
    QCOMPARE(c.samples.size(), std::size_t(500));
    QCOMPARE(c.samples[0], 0.5f);
    QCOMPARE(c.samples[1], -1.0f);
    QCOMPARE(c.samples[2], 0.0f);
    // An empty line ends the reading; what follows is not read, even if it is not a number.
    c = parseWaveFile("5\r\n 0.250\r\n\r\n0.9\r\nrubbish\r\n");
    QVERIFY(c.error.isEmpty());
    QCOMPARE(c.samples[0], 0.25f);
    QCOMPARE(c.samples[2], 0.0f);
    // Lines after the last sample are ignored.
    c = parseWaveFile("4\n1\n1\n1\n1\nnot a number\n");
    QVERIFY(c.error.isEmpty());
    QCOMPARE(c.samples[3], 1.0f);
    // Out-of-range lengths are held to the limits and say so.
    c = parseWaveFile("20000\r\n");
    QCOMPARE(c.length, 16000);
    QVERIFY(c.lengthLimited);
    c = parseWaveFile("2\r\n0.1\r\n");
    QCOMPARE(c.length, 4);
    QVERIFY(c.lengthLimited);
    // A comma written by other number settings reads as well.
    c = parseWaveFile("4\r\n 0,500\r\n-0,250\r\n");
    QVERIFY(c.error.isEmpty());
    QCOMPARE(c.samples[0], 0.5f);
    QCOMPARE(c.samples[1], -0.25f);
    // Line 1 rounds half to even.
    QCOMPARE(parseWaveFile("100.5\r\n").length, 100);
}

void TestWaveFile::refusesBrokenFiles() {
    for (const char* broken : {"", "abc\r\n0.5\r\n", "4\r\n0.5\r\nx\r\n", "4\r\n1e40\r\n",
                               "4\r\nnan\r\n", "4\r\n 0.5 0.5\r\n", "inf\r\n", "4\r\n   \r\n"}) {
        const WaveFileContent c = parseWaveFile(QByteArray(broken));
        QVERIFY2(!c.error.isEmpty(), broken);
    }
    QVERIFY(!readWaveFile("/nonexistent/dir/wave.txt").error.isEmpty());
}

void TestWaveFile::extensionTest() {
    QVERIFY(hasWaveFileExtension("a.txt"));
    QVERIFY(hasWaveFileExtension("/x/A.TXT"));
    QVERIFY(!hasWaveFileExtension("a.Txt"));
    QVERIFY(!hasWaveFileExtension("a"));
    QVERIFY(!hasWaveFileExtension("a.txt.bak"));
}

void TestWaveFile::failedSaveKeepsTheOldFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath("wave.txt");
    WaveStore small;
    small.ArbLength = 4;
    QVERIFY(writeWaveFile(path, "4", small).isEmpty());
    const QByteArray before = [&] {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    QCOMPARE(before.size(), 3 + 4 * 8);

    // A disk that fills up part way: the file size limit makes the write fail.
    WaveStore big;
    big.ArbLength = 16000;
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit lim = old;
    lim.rlim_cur = 1000;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &lim), 0);
    const QString why = writeWaveFile(path, "16000", big);
    setrlimit(RLIMIT_FSIZE, &old);
    QVERIFY(!why.isEmpty());
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1); // no temporary left behind

    // A name that is a directory cannot be written.
    QVERIFY(!writeWaveFile(dir.path(), "4", small).isEmpty());
}

QTEST_APPLESS_MAIN(TestWaveFile)
#include "test_wavefile.moc"
