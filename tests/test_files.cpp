// Files in and out as benches write them: every shape of table comes in right, the program's own
// file is known by its content, options mean the same for every input, and every reading keeps
// its limits or refuses with its reason.
#include "files/formats.h"
#include "files/nativefile.h"
#include "files/sound.h"
#include "files/table.h"
#include "files/wavefile.h"
#include "testfiles.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <sndfile.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace ww;

namespace {
std::vector<float> floats(std::initializer_list<double> v) {
    return std::vector<float>(v.begin(), v.end());
}

QByteArray utf16le(const QByteArray& utf8) {
    const QString s = QString::fromUtf8(utf8);
    QByteArray out("\xFF\xFE");
    for (const QChar c : s)
        out += char(c.unicode() & 0xFF), out += char(c.unicode() >> 8);
    return out;
}

// A float WAV of the given samples, one channel or two (the second the negation of the first).
QString floatWav(const QTemporaryDir& dir, const char* name, const std::vector<float>& samples,
                 int channels = 1) {
    const QString path = dir.filePath(name);
    SF_INFO info{};
    info.samplerate = 1000;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    std::vector<float> frames;
    for (const float v : samples) {
        frames.push_back(v);
        if (channels == 2)
            frames.push_back(-v);
    }
    sf_writef_float(f, frames.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(f);
    return path;
}
} // namespace

class TestFiles : public QObject {
    Q_OBJECT
  private slots:
    void tableShapes();
    void ownFileByContent();
    void optionsMeanTheSame();
    void limitsAndNames();
    void registryAndRoundTrips();
    void edgesOfRangeCountsAndLinks();
    void unevenTimeAndSimulatorFiles();
};

void TestFiles::tableShapes() {
    // Each shape as instruments, loggers, simulators and spreadsheets write it: the column taken
    // by default, its samples, and what the reading says it understood.
    const QByteArray settings = "Record Length,2.500000e+03,,-0.000100,0.0200\n"
                                "Sample Interval,4.000000e-08,,-0.000099,0.0400\n"
                                "Trigger Point,0,,-0.000098,0.0600\n"
                                ",,,-0.000097,0.0800\n,,,-0.000096,0.1000\n,,,-0.000095,0.1200\n"
                                ",,,-0.000094,0.1400\n,,,-0.000093,0.1600\n";
    const struct {
        const char* name;
        QByteArray text;
        QString column;
        std::vector<float> samples;
        QStringList says;
    } shapes[] = {
        {"trailing delimiter",
         "t,a,\n0,0.1,\n1,0.2,\n2,0.3,\n3,0.4,\n",
         "a",
         floats({0.1, 0.2, 0.3, 0.4}),
         {"delimiter: comma; decimal mark: point", "time column: t"}},
        {"decimal comma, more commas than semicolons",
         "0,15;0,25\n0,35;0,45\n0,55;0,65\n0,75;0,85\n",
         "column 2",
         floats({0.25, 0.45, 0.65, 0.85}),
         {"delimiter: semicolon; decimal mark: comma"}},
        {"decimal comma under a header",
         "Zeit;Spannung;Strom\n0,001;0,0157;0,1\n0,002;0,0158;0,2\n0,003;0,0159;0,3\n0,004;0,016;0,"
         "4\n",
         "Strom",
         floats({0.1, 0.2, 0.3, 0.4}),
         {"time column: Zeit, 1000 samples a second"}},
        {"time written at the right",
         "v,time\n0.5,0\n-0.25,0.001\n0.75,0.002\n-1,0.003\n",
         "v",
         floats({0.5, -0.25, 0.75, -1}),
         {"time column: time, 1000 samples a second"}},
        {"decimal comma and tabs",
         "Zeit\tSpannung\n0,001\t0,5\n0,002\t-0,5\n0,003\t0,25\n0,004\t1\n",
         "Spannung",
         floats({0.5, -0.5, 0.25, 1}),
         {"delimiter: tab; decimal mark: comma"}},
        {"settings beside the data",
         settings,
         "column 5",
         floats({0.02, 0.04, 0.06, 0.08, 0.10, 0.12, 0.14, 0.16}),
         {"time column: column 4, 1e+06 samples a second (1 MHz)"}},
        {"a metadata block before the data",
         "\"Number of Data points =\",8192,\n,,\n\"Sample rate\",1000,\nTIME,CH1\n(s),(V)\n"
         "0,0.5\n1e-3,0.25\n2e-3,-0.5\n3e-3,1\n",
         "CH1",
         floats({0.5, 0.25, -0.5, 1}),
         {"5 header lines before the data", "time column: TIME"}},
        {"a row with empty cells",
         "t,v\n0,0.1\n1,0.2\n2,0.3\n3,0.4\n+998.000E-06,,\n",
         "v",
         floats({0.1, 0.2, 0.3, 0.4}),
         {"1 row skipped: the cell is empty"}},
        {"rows of different lengths",
         "a,b,c\n1,2,0.3\n4,0.5\n6,7,0.8,9\n10,11,0.12\n13,14,0.15\n",
         "c",
         floats({0.3, 0.8, 0.12, 0.15}),
         {"1 row skipped: the cell is empty"}},
        {"text lines between a simulator's runs",
         "time\tV(out)\nStep Information: Vin=5 (Run: 1/2)\n0\t0.1\n1\t0.2\n"
         "Step Information: Vin=10 (Run: 2/2)\n0\t0.4\n1\t0.5\n",
         "V(out)",
         floats({0.1, 0.2, 0.4, 0.5}),
         {"line 5: \"Step Information: Vin=10 (Run: 2/2)\" is not data", "2 runs"}},
        {"metadata with a comma above blank-separated data",
         "*TITLE value, with a comma\n*X  Y\n0 0.5\n1 0.25\n2 -0.5\n3 1\n",
         "Y",
         floats({0.5, 0.25, -0.5, 1}),
         {"delimiter: blanks"}},
        {"quoted decimal commas",
         "\"a\";\"b\"\n\"1,5\";\"0,5\"\n\"3,5\";\"0,25\"\n\"4\";\"1\"\n\"5\";\"0\"\n",
         "b",
         floats({0.5, 0.25, 1, 0}),
         {"delimiter: semicolon; decimal mark: comma"}},
        {"one column with decimal commas",
         "0,05\n0,25\n-0,5\n1\n",
         "column 1",
         floats({0.05, 0.25, -0.5, 1}),
         {"delimiter: none (one column); decimal mark: comma"}},
        {"a UTF-8 byte-order mark",
         "\xEF\xBB\xBF"
         "0.5\n0.25\n-0.5\n1\n",
         "column 1",
         floats({0.5, 0.25, -0.5, 1}),
         {}},
        {"UTF-16 with its mark",
         utf16le("t,v\r\n0,0.5\r\n1,0.25\r\n2,-0.5\r\n3,1\r\n"),
         "v",
         floats({0.5, 0.25, -0.5, 1}),
         {}},
        {"CR-only line ends",
         "t,v\r0,0.5\r1,0.25\r2,-0.5\r3,1\r",
         "v",
         floats({0.5, 0.25, -0.5, 1}),
         {}},
        {"a stray NUL before the first value",
         QByteArray("\0"
                    "0.5\n0.25\n-0.5\n1\n",
                    17),
         "column 1",
         floats({0.5, 0.25, -0.5, 1}),
         {}},
        {"a stray control byte in a row",
         "t,v\n0,0.5\n1,\x01"
         "0.25\n2,-0.5\n3,1\n",
         "v",
         floats({0.5, 0.25, -0.5, 1}),
         {}},
    };
    QTemporaryDir dir;
    for (const auto& s : shapes) {
        const Waveform w = readWaveform(writeFile(dir, "shape.csv", s.text));
        QVERIFY2(w.error.isEmpty(), qPrintable(QString(s.name) + ": " + w.error));
        QCOMPARE(w.samples, s.samples);
        const QString notes = w.notes.join('\n');
        QVERIFY2(notes.contains(QStringLiteral("column \"%1\" taken").arg(s.column)),
                 qPrintable(QString(s.name) + ":\n" + notes));
        for (const QString& say : s.says)
            QVERIFY2(notes.contains(say), qPrintable(QString(s.name) + ":\n" + notes));
    }
    // One run of the simulator's two, and a column by its name.
    WaveformRequest second;
    second.run = 1;
    second.column.name = "V(out)";
    const QString runs =
        writeFile(dir, "runs.txt",
                  "time\tV(out)\tI\nStep 1\n0\t0.1\t1\n1\t0.2\t1\n2\t0.3\t1\n"
                  "3\t0.4\t1\nStep 2\n0\t0.5\t1\n1\t0.6\t1\n2\t0.7\t1\n3\t0.8\t1\n");
    QCOMPARE(readWaveform(runs, second).samples, floats({0.5, 0.6, 0.7, 0.8}));
    WaveformRequest named;
    named.column.name = "v(out)";
    QCOMPARE(readWaveform(runs, named).samples, floats({0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8}));
    // Leading nan rows are data: refused with their place, or skipped when asked.
    const QString nans = writeFile(dir, "nan.csv", "nan\ninf\n0.5\n0.25\n-0.5\n1\n");
    QCOMPARE(readWaveform(nans).error,
             QString("line 1 of column 1 is not a finite number (nan); it can be skipped."));
    WaveformRequest skip;
    skip.skipNonFinite = true;
    const Waveform skipped = readWaveform(nans, skip);
    QCOMPARE(skipped.samples, floats({0.5, 0.25, -0.5, 1}));
    QVERIFY(skipped.notes.contains("2 values skipped: not a finite number"));
    // What is no table says why.
    QCOMPARE(readWaveform(writeFile(dir, "w.csv", "a,b\nc,d\n")).error,
             QString("The file has no numeric column."));
    QCOMPARE(readWaveform(writeFile(dir, "e.csv", "")).error,
             QString("The file holds no numbers."));
}

void TestFiles::ownFileByContent() {
    QTemporaryDir dir;
    // Line 1 a length, then samples: the program's own file whatever its name, read as Open
    // reads it. A length Open would limit is said so, never taken as a sample.
    const FileContent limited = readFileContent(writeFile(dir, "s.txt", "3\n0.1\n0.2\n0.3\n"));
    QVERIFY(limited.lengthLimited && limited.periodic);
    QCOMPARE(limited.columns[0], (std::vector<double>{0.1f, 0.2f, 0.3f, 0.0}));
    const Waveform unnamed = readWaveform(writeFile(dir, "saved",
                                                    "5\r\n 0.100\r\n-0.200\r\n 0.300\r\n"
                                                    " 0.400\r\n-0.500\r\n"));
    QVERIFY(unnamed.periodic);
    QCOMPARE(unnamed.samples, floats({0.1, -0.2, 0.3, 0.4, -0.5}));
    // --length acts on its samples, as one period; --column on its one column only.
    WaveformRequest four;
    four.length = 4;
    QByteArray cosine = "1000\r\n";
    for (int i = 0; i < 1000; ++i)
        cosine += QByteArray::number(std::cos(2 * M_PI * i / 1000), 'f', 3) + "\r\n";
    const QString cos = writeFile(dir, "cos.txt", cosine);
    const Waveform periodic = readWaveform(cos, four);
    QCOMPARE(periodic.samples, floats({1, 0, -1, 0}));
    four.resample = WaveformRequest::Resample::Ends; // a record keeps both its ends
    QCOMPARE(readWaveform(cos, four).samples.back(), 1.0f);
    WaveformRequest second;
    second.column.place = 1;
    QCOMPARE(readWaveform(cos, second).error,
             QString("A waveform file has one column of samples."));
    // A number column that only starts with a whole number is a table: its count does not match.
    const Waveform table = readWaveform(writeFile(dir, "t.dat", "7\n0.1\n0.2\n0.3\n0.4\n"));
    QVERIFY(!table.periodic);
    QCOMPARE(table.samples, floats({1, 0.1 / 7, 0.2 / 7, 0.3 / 7, 0.4 / 7}));
}

void TestFiles::optionsMeanTheSame() {
    QTemporaryDir dir;
    // Beyond -1..+1 comes in fitted, from the program's own file as from any other.
    const QString wide = writeFile(dir, "wide.txt", "4\n1.5\n-2\n0.5\n0\n");
    QCOMPARE(readWaveform(wide).samples, floats({0.75, -1, 0.25, 0}));
    WaveformRequest range;
    range.fit = ImportFit::Range;
    const QString huge = writeFile(dir, "huge.csv", "1e308\n-1e308\n0\n5e307\n");
    QCOMPARE(readWaveform(huge, range).samples, floats({1, -1, 0, 0.5}));
    // nan and inf in a float WAV: refused with their place, or skipped.
    const QString wav = floatWav(dir, "nan.wav", {0.5f, 0.25f, NAN, -0.5f, INFINITY, 1.0f});
    QCOMPARE(readWaveform(wav).error,
             QString("frame 2 of channel 1 is not a finite number (nan); it can be skipped."));
    WaveformRequest skip;
    skip.skipNonFinite = true;
    QCOMPARE(readWaveform(wav, skip).samples, floats({0.5, 0.25, -0.5, 1}));
    // Fewer than four values are refused, not stretched.
    QCOMPARE(readWaveform(writeFile(dir, "one.csv", "0.5\n")).error,
             QString("1 value to take; a waveform needs at least 4."));
    // The sample after the last closes the trace as the shapes write it: the first again.
    const WaveStore s = storeOf(floats({0.5, 0.25, -0.5, 1}));
    QCOMPARE(s.length(), 4);
    QCOMPARE(s.ArbData[4], 0.5f);
    // Resampling: a record keeps both ends, a period its period.
    QCOMPARE(resampleLinear({0, 1}, 5), (std::vector<double>{0, 0.25, 0.5, 0.75, 1}));
    QCOMPARE(resamplePeriodic({0, 1}, 4), (std::vector<double>{0, 0.5, 1, 0.5}));
    QCOMPARE(resampleLinear({1e308, -1e308}, 3)[1], 0.0);
    const std::vector<double> values{-2.0, 0.0, 4.0};
    QCOMPARE(fitImported(values, ImportFit::Peak), floats({-0.5, 0, 1}));
    QCOMPARE(fitImported(values, ImportFit::Range), floats({-1, -1.0 / 3, 1}));
    QCOMPARE(fitImported(values, ImportFit::Clip), floats({-1, 0, 1}));
    QCOMPARE(fitImported({0.5, -0.25}, ImportFit::Auto), floats({0.5, -0.25}));
}

void TestFiles::limitsAndNames() {
    QTemporaryDir dir;
    // A line with no end, from a file or from a device that never ends: refused at 1 MiB.
    const QString oneRow = writeFile(dir, "row.csv", QByteArray("0.5,").repeated(600000));
    QCOMPARE(readWaveform(oneRow).error,
             QString("Line 1 is longer than 1 MiB: this is not a table of numbers."));
    const QString zero = dir.filePath("zero.csv");
    QVERIFY(QFile::link("/dev/zero", zero));
    QCOMPARE(readWaveform(zero).error, readWaveform(oneRow).error);
    // More numbers than the reading keeps, through a pipe that states no size.
    const QString fifo = dir.filePath("pipe.csv");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    std::thread writer([&] {
        QFile f(fifo);
        if (f.open(QIODevice::WriteOnly))
            f.write(QByteArray("0.5\n").repeated(5000));
    });
    WaveformRequest small;
    small.limits.values = 1000;
    QCOMPARE(readWaveform(fifo, small).error,
             QString("The file holds more than 1000 rows of the columns read; at most 1000 "
                     "numbers are read."));
    writer.join();
    // A stated size past the limit is refused before it is read.
    WaveformRequest tiny;
    tiny.limits.fileBytes = 10;
    QVERIFY(readWaveform(oneRow, tiny).error.startsWith("The file is larger than"));
    // A sound beyond the samples kept is refused before it is read; one channel is kept.
    const QString stereo = floatWav(dir, "stereo.wav", floats({0.5, 0.25, -0.5, 1, 0}), 2);
    ReadLimits four;
    four.values = 4;
    QVERIFY(readSound(stereo, four).error.startsWith("The sound has 5 frames"));
    const Sound right = readSound(stereo, {}, 1);
    QCOMPARE(right.kept, std::vector<int>{1});
    QCOMPARE(right.channels[0], (std::vector<double>{-0.5, -0.25, 0.5, -1, 0}));
    // A long reading reports how far it is and stops when told to.
    std::vector<double> heard;
    WaveformRequest stop;
    stop.progress = [&](double done) {
        heard.push_back(done);
        return heard.size() < 2;
    };
    QCOMPARE(
        readWaveform(writeFile(dir, "many.csv", QByteArray("0.25\n").repeated(200000)), stop).error,
        QString("Cancelled."));
    QVERIFY(heard.size() == 2 && heard[0] > 0 && heard[1] < 1);
    // Names that are not UTF-8 are written and read under their very bytes.
    const QByteArray latin1 = QFile::encodeName(dir.path()) + "/caf\xE9.txt";
    const QString name = pathFromNative(latin1);
    QCOMPARE(nativePath(name), latin1);
    QVERIFY(writeWaveform(name, storeOf(floats({0.5, 0.25, -0.5, 1}))).isEmpty());
    struct stat st {};
    QCOMPARE(::stat(latin1.constData(), &st), 0);
    QCOMPARE(readWaveform(name).samples, floats({0.5, 0.25, -0.5, 1}));
    QVERIFY(!QFile::exists(dir.path() + QString::fromUtf8("/caf\uFFFD.txt")));
    QCOMPARE(::unlink(latin1.constData()), 0); // Qt could not remove it with the folder
}

void TestFiles::registryAndRoundTrips() {
    QTemporaryDir dir;
    // Every format written reads back as the same samples (CSV and WAV float to the bit).
    std::vector<float> wave(1000);
    for (std::size_t i = 0; i < wave.size(); ++i)
        wave[i] = static_cast<float>(std::sin(0.01 * i * i) * 0.9 - 0.05);
    const WaveStore store = storeOf(wave);
    for (const char* name : {"w.csv", "w.wav", "w.txt"}) {
        QVERIFY(writeWaveform(dir.filePath(name), store).isEmpty());
        const Waveform back = readWaveform(dir.filePath(name));
        QVERIFY2(back.error.isEmpty(), name);
        for (std::size_t i = 0; i < wave.size(); ++i)
            QVERIFY2(std::abs(back.samples[i] - wave[i]) <= (name[2] == 't' ? 5e-4f : 0.0f), name);
    }
    QVERIFY(formatForWriting("a.WAV") && !formatForWriting("a.xyz"));
    QCOMPARE(writeWaveform(dir.filePath("w.xyz"), store),
             QString(".xyz is no format this program writes (it writes .txt, .wav, .csv, .tsv, "
                     ".dat)."));
    QCOMPARE(withFilterExtension("/tmp/wave", "CSV (*.csv *.tsv *.dat)"), QString("/tmp/wave.csv"));
    QCOMPARE(withFilterExtension("/tmp/wave.dat", "WAV (*.wav)"), QString("/tmp/wave.dat"));
    // A file written fails whole: the old one stays, no temporary is left.
    const QString kept = writeFile(dir, "kept.txt", "4\r\n");
    QVERIFY(!writeWaveform(dir.filePath("missing/w.txt"), store).isEmpty());
    QCOMPARE(fileBytes(kept), QByteArray("4\r\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 4);
}

void TestFiles::edgesOfRangeCountsAndLinks() {
    QTemporaryDir dir;
    // Beyond the double range: refused with its line, the row before it kept (not a column
    // named "1.5e400"); below it: 0, its row kept. In a table and in the program's own file.
    for (const char* beyond : {"1.5e400", "-1e309", "0.0000000001e320"}) {
        const Waveform w = readWaveform(writeFile(
            dir, "big.csv", QByteArray("t,v\n0,0.1\n1,0.2\n2,") + beyond + "\n3,0.4\n4,0.5\n"));
        QVERIFY2(w.error.startsWith("line 4 of v is not a finite number"), qPrintable(w.error));
    }
    for (const char* below : {"1e-400", "-123456e-330"}) {
        const Waveform w = readWaveform(writeFile(
            dir, "small.csv", QByteArray("t,v\n0,0.1\n1,0.2\n2,") + below + "\n3,0.4\n4,0.5\n"));
        QCOMPARE(w.samples, floats({0.1, 0.2, 0, 0.4, 0.5}));
    }
    QCOMPARE(readWaveform(writeFile(dir, "small.txt", "5\n0.1\n1e-400\n0.3\n0.4\n0.5\n")).samples,
             floats({0.1, 0, 0.3, 0.4, 0.5}));
    QCOMPARE(readWaveform(writeFile(dir, "big.txt", "5\n0.1\n1e400\n0.3\n0.4\n0.5\n")).error,
             QString("Line 3 does not hold a sample value."));
    // A float WAV holding inf: refused with its frame.
    const Waveform wav =
        readWaveform(floatWav(dir, "inf.wav", {0.1f, 0.2f, HUGE_VALF, 0.4f, 0.5f}));
    QVERIFY2(wav.error.startsWith("frame 2 of channel 1 is not a finite number (inf)"),
             qPrintable(wav.error));

    // The program's own file with a count that does not match: read as Open reads it, and
    // said.
    const Waveform shortOne = readWaveform(writeFile(dir, "short.txt", "5\n0.1\n0.2\n0.3\n0.4\n"));
    QCOMPARE(shortOne.samples, floats({0.1, 0.2, 0.3, 0.4, 0}));
    QVERIFY(shortOne.notes.contains("line 1 announces 5 samples, the file holds 4: 1 sample taken "
                                    "as 0"));
    const Waveform longOne =
        readWaveform(writeFile(dir, "long.txt", "4\n0.1\n0.2\n0.3\n0.4\n0.5\n\n"));
    QCOMPARE(longOne.samples, floats({0.1, 0.2, 0.3, 0.4}));
    QVERIFY(longOne.notes.contains("line 1 announces 4 samples and more lines follow them: they "
                                   "are not read"));
    // Trailing empty lines are no more lines.
    QVERIFY(readWaveform(writeFile(dir, "exact.txt", "4\n0.1\n0.2\n0.3\n0.4\n\n\n"))
                .notes.filter("announces")
                .isEmpty());

    // The program's own CSV export: its index column counts rows, it is no time.
    const Waveform exported = readWaveform(
        writeFile(dir, "export.csv", "index,value\r\n0,0.1\r\n1,0.2\r\n2,0.3\r\n3,0.4\r\n"));
    QCOMPARE(exported.samples, floats({0.1, 0.2, 0.3, 0.4}));
    QVERIFY(exported.notes.filter("time column").isEmpty());
    QVERIFY(exported.notes.contains("column \"index\" taken as row numbers: no time, no rate"));

    // Writing onto a symbolic link writes the file it points to (still whole, beside it); the
    // link stays. A dangling link's target is made.
    QVERIFY(QDir(dir.path()).mkdir("real"));
    const QString target = writeFile(dir, "real/a.txt", "old");
    const QString link = dir.filePath("link.txt");
    QVERIFY(QFile::link("real/a.txt", link));
    QCOMPARE(writeWhole(link, "new"), QString());
    QVERIFY(QFileInfo(link).isSymLink());
    QFile written(target);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), QByteArray("new"));
    const QString dangling = dir.filePath("dangling.txt");
    QVERIFY(QFile::link("real/b.txt", dangling));
    QCOMPARE(writeWhole(dangling, "made"), QString());
    QVERIFY(QFileInfo(dangling).isSymLink());
    QVERIFY(QFileInfo::exists(dir.filePath("real/b.txt")));
    QCOMPARE(QDir(dir.filePath("real")).entryList(QDir::Files).size(), 2); // no temporary left
}

namespace {
// Runs ngspice on a netlist in `dir`; its output files are written there.
bool simulate(const QTemporaryDir& dir, const QByteArray& netlist) {
    writeFile(dir, "circuit.cir", netlist);
    QProcess ngspice;
    ngspice.setWorkingDirectory(dir.path());
    ngspice.start(QStringLiteral("ngspice"), {"-b", "circuit.cir"});
    return ngspice.waitForFinished(60000) && ngspice.exitCode() == 0;
}

// What ngspice printed: "index x y" rows, its page headers left out.
std::vector<std::pair<double, double>> printed(const QString& path) {
    QFile f(path);
    std::vector<std::pair<double, double>> rows;
    if (!f.open(QIODevice::ReadOnly))
        return rows;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QList<QByteArray> parts = line.simplified().split(' ');
        bool index = false, x = false, y = false;
        if (parts.size() == 3)
            parts[0].toInt(&index);
        if (index)
            rows.push_back({parts[1].toDouble(&x), parts[2].toDouble(&y)});
        if (index && !(x && y))
            rows.clear();
    }
    return rows;
}
} // namespace

void TestFiles::unevenTimeAndSimulatorFiles() {
    QTemporaryDir dir;
    // v = 10 t at uneven times is a straight ramp: resampled onto even times (steps as short
    // as the shortest), said so; --by index keeps the rows as they are.
    const QString ramp = writeFile(dir, "ramp.csv", "time,v\n0,0\n0.1,1\n0.2,2\n0.9,9\n1.0,10\n");
    WaveformRequest asRead;
    asRead.asRead = true;
    const Waveform even = readWaveform(ramp, asRead);
    QCOMPARE(even.values.size(), std::size_t(11));
    for (std::size_t k = 0; k < 11; ++k)
        QVERIFY(std::abs(even.values[k] - static_cast<double>(k)) < 1e-12);
    QVERIFY(!even.notes.filter("time steps uneven, from 0.1 to 0.7").isEmpty());
    WaveformRequest byIndex = asRead;
    byIndex.byIndex = true;
    QCOMPARE(readWaveform(ramp, byIndex).values, (std::vector<double>{0, 1, 2, 9, 10}));
    // Even steps stay exactly as they are; a time that falls back is refused with its row.
    const Waveform steady =
        readWaveform(writeFile(dir, "even.csv", "time,v\n0,5\n0.1,6\n0.2,7\n0.3,8\n"), asRead);
    QCOMPARE(steady.values, (std::vector<double>{5, 6, 7, 8}));
    QVERIFY(steady.notes.filter("uneven").isEmpty());
    QVERIFY(readWaveform(writeFile(dir, "back.csv", "time,v\n0,1\n0.2,2\n0.1,3\n0.3,4\n0.4,5\n"))
                .error.contains("time falls back at row 2"));

    // ngspice's own files, binary and text, against the values it prints itself.
    QVERIFY2(!QStandardPaths::findExecutable("ngspice").isEmpty(),
             "ngspice is needed (tools/deps.sh installs it)");
    QVERIFY(simulate(dir, "rc charging\n"
                          "V1 in 0 PULSE(0 1 1u 1n 1n 5u 10u)\n"
                          "R1 in out 1k\nC1 out 0 1n\n"
                          ".tran 0.05u 20u\n"
                          ".control\nrun\n"
                          "set filetype=binary\nwrite rc.raw v(out) v(in)\n"
                          "set filetype=ascii\nwrite rc-text.raw v(out) v(in)\n"
                          "print v(out) > printed.txt\nquit 0\n"
                          ".endc\n.end\n"));
    const auto rows = printed(dir.filePath("printed.txt"));
    QVERIFY(rows.size() > 400);
    WaveformRequest out = byIndex;
    out.column.name = "v(out)";
    for (const char* name : {"rc.raw", "rc-text.raw"}) {
        const Waveform w = readWaveform(dir.filePath(name), out);
        QVERIFY2(w.error.isEmpty(), qPrintable(w.error));
        QCOMPARE(w.values.size(), rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i)
            QVERIFY(std::abs(w.values[i] - rows[i].second) <=
                    5e-7 * std::abs(rows[i].second) + 1e-12);
        QVERIFY(!w.notes.filter("SPICE raw file \"rc charging\"").isEmpty());
    }
    // By time, the default: even steps as short as the simulator's shortest (16000 points at
    // most), each on the straight line between the printed points around it.
    WaveformRequest byTime = asRead;
    byTime.column.name = "v(out)";
    const Waveform timed = readWaveform(dir.filePath("rc.raw"), byTime);
    QCOMPARE(timed.values.size(), std::size_t(16000));
    const double step = rows.back().first / 15999;
    for (std::size_t k = 0; k < 16000; k += 997) {
        const double t = static_cast<double>(k) * step;
        std::size_t j = 0;
        while (j + 2 < rows.size() && rows[j + 1].first <= t)
            ++j;
        const auto [t0, v0] = rows[j];
        const auto [t1, v1] = rows[j + 1];
        const double expected = v0 + (t - t0) / (t1 - t0) * (v1 - v0);
        QVERIFY2(std::abs(timed.values[k] - expected) < 1e-5,
                 qPrintable(QString("%1: %2 vs %3").arg(t).arg(timed.values[k]).arg(expected)));
    }
    // A trace by its number from 1 (time first); one beyond them refused.
    WaveformRequest second = byIndex;
    second.column.place = 1;
    QCOMPARE(readWaveform(dir.filePath("rc.raw"), second).values,
             readWaveform(dir.filePath("rc.raw"), out).values);
    second.column.place = 3;
    QCOMPARE(readWaveform(dir.filePath("rc.raw"), second).error,
             QString("There is no column 4: the file has 3 traces."));
    // The default trace is the last voltage; a trace by name; an unknown name refused.
    QVERIFY(!readWaveform(dir.filePath("rc.raw")).notes.filter("column \"v(in)\" taken").isEmpty());
    WaveformRequest missing;
    missing.column.name = "v(nowhere)";
    QCOMPARE(readWaveform(dir.filePath("rc.raw"), missing).error,
             QString("There is no column \"v(nowhere)\"."));
    // Known by its content, whatever its name; cut short, refused with what is missing.
    QFile whole(dir.filePath("rc.raw"));
    QVERIFY(whole.open(QIODevice::ReadOnly));
    const QByteArray bytes = whole.readAll();
    QVERIFY(readWaveform(writeFile(dir, "renamed.dat", bytes)).error.isEmpty());
    QVERIFY(readWaveform(writeFile(dir, "cut.raw", bytes.left(bytes.size() - 100)))
                .error.startsWith("The values end after"));
    // A second plot after the first is left; bytes that are none are refused, not guessed at.
    QCOMPARE(readWaveform(writeFile(dir, "two.raw", bytes + bytes), out).values,
             readWaveform(dir.filePath("rc.raw"), out).values);
    QVERIFY(readWaveform(writeFile(dir, "tail.raw", bytes + QByteArray(24, '\x01')))
                .error.contains("they are not another plot"));

    // An AC analysis is complex: its magnitude, as ngspice prints vm().
    QVERIFY(simulate(dir, "rc lowpass\nV1 in 0 AC 1\nR1 in out 1k\nC1 out 0 1n\n"
                          ".ac dec 5 1k 10meg\n.control\nrun\nset filetype=binary\n"
                          "write ac.raw v(out)\nprint vm(out) > ac.txt\nquit 0\n.endc\n.end\n"));
    const auto magnitudes = printed(dir.filePath("ac.txt"));
    const Waveform ac = readWaveform(dir.filePath("ac.raw"), byIndex);
    QCOMPARE(ac.values.size(), magnitudes.size());
    for (std::size_t i = 0; i < magnitudes.size(); ++i)
        QVERIFY(std::abs(ac.values[i] - magnitudes[i].second) <= 5e-7);
    QVERIFY(ac.notes.contains("complex values: their magnitude taken"));

    // A header in UTF-16, time in double and the trace in single precision, a negative time
    // marking a step: its size is the time.
    QByteArray wide = "\xFF\xFE";
    for (const char c : QByteArray("Title: * wide\nDate: today\nPlotname: Transient Analysis\n"
                                   "Flags: real forward\nNo. Variables: 2\nNo. Points: 4\n"
                                   "Offset: 0\nVariables:\n\t0\ttime\ttime\n"
                                   "\t1\tV(out)\tvoltage\nBinary:\n"))
        wide += c, wide += '\0';
    for (const auto& [t, v] : {std::pair{0.0, 0.5f}, {-1e-3, 0.25f}, {2e-3, -0.5f}, {3e-3, 1.0f}}) {
        wide += QByteArray(reinterpret_cast<const char*>(&t), 8);
        wide += QByteArray(reinterpret_cast<const char*>(&v), 4);
    }
    const Waveform utf16 = readWaveform(writeFile(dir, "wide.raw", wide), byIndex);
    QVERIFY2(utf16.error.isEmpty(), qPrintable(utf16.error));
    QCOMPARE(utf16.values, (std::vector<double>{0.5, 0.25, -0.5, 1.0}));
    QVERIFY(!utf16.notes
                 .filter("time in double and the others in single precision, 4 points, "
                         "UTF-16")
                 .isEmpty());
    // The header refuses what it cannot hold.
    QVERIFY(readWaveform(writeFile(dir, "bad.raw",
                                   "Title: x\nPlotname: p\nNo. Variables: 2\nNo. Points: 2\n"
                                   "Variables:\n\t0\ttime\ttime\nBinary:\n"))
                .error.contains("names 1 of 2 variables"));
}

QTEST_GUILESS_MAIN(TestFiles)
#include "test_files.moc"
