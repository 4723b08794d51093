// SCPI generator profiles without a line: the parser's refusals with their lines, the
// encodings against bytes worked out by hand, the blocks, the counts of points, and every
// shipped profile.
#include "link/profile.h"
#include "testfiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

using namespace ww;

namespace {
QByteArray bytes(std::initializer_list<int> list) {
    QByteArray out;
    for (const int b : list)
        out += static_cast<char>(b);
    return out;
}

Profile with(const QByteArray& encoding, const QByteArray& codes = {},
             const QByteArray& upload = "X {block}") {
    const ProfileReading r = parseProfile(
        "name: t\nencoding: " + encoding + "\n" +
        (codes.isEmpty() ? QByteArray() : "codes: " + codes + "\n") + "upload: " + upload + "\n");
    if (!r.error.isEmpty())
        qWarning("%s", qPrintable(r.error));
    return r.profile;
}
} // namespace

class TestProfiles : public QObject {
    Q_OBJECT
  private slots:
    void refusedWithTheirLine();
    void encodings();
    void linesAndBlocks();
    void points();
    void shippedProfiles();
    void usersOwnProfiles();
};

void TestProfiles::refusedWithTheirLine() {
    const struct {
        QByteArray text;
        QString says;
    } cases[] = {
        {"name: a\nencoding: int16le\ncodes: 0 1\nupload: X {block}\nspeed: 9\n",
         "line 5: 'speed' is not a key of a profile"},
        {"name: a\n# fine\nencoding: int12\n", "line 3: 'int12' is not an encoding"},
        {"name: a\nencoding: int16le\ncodes: 0 70000\nupload: X {block}\n",
         "line 3: the code 70000 does not fit the encoding (-32768 to 32767)"},
        {"name: a\nencoding: uint8\ncodes: -1 255\nupload: X {block}\n",
         "line 3: the code -1 does not fit the encoding (0 to 255)"},
        {"name: a\nencoding: ascii\ncodes: 0 9\nupload: X {block}\n",
         "line 4: {block} wants a binary encoding"},
        {"name: a\nencoding: int8\ncodes: 0 9\nupload: X {name}\n",
         "line 4: upload wants either {block} or {values}, once"},
        {"name: a\nencoding: float32le\ncodes: 0 9\nupload: X {block}\n",
         "line 3: a float encoding takes the values themselves: no codes"},
        {"name: a\nencoding: int16be\nupload: X {block}\n",
         "an integer encoding wants 'codes' for -1 and +1"},
        {"name: a\nname: b\n", "line 2: 'name' is given twice"},
        {"name: a\npoints: 10..4\n", "line 2: points wants MIN..MAX"},
        {"name: a\npoints: 4..100 multiple x\n", "line 2: multiple wants a whole number"},
        {"name: a\npoints: 5..7 multiple 8\nencoding: int8\ncodes: 0 9\nupload: X {block}\n",
         "line 2: no count of points fits these rules"},
        {"encoding: int8\ncodes: 0 9\nupload: X {block}\n", "the profile has no 'name'"},
        {"name: a\nthis line\n", "line 2: 'this line' is not 'key: value'"},
        {QByteArray(70000, 'a'), "a profile is at most 65536 bytes"},
    };
    for (const auto& c : cases) {
        const QString error = parseProfile(c.text).error;
        QVERIFY2(error.contains(c.says), qPrintable(c.text.left(60) + " -> " + error));
    }
    // Comments, blank lines, CR LF, repeated before/after in order, an escaped terminator.
    const ProfileReading ok = parseProfile(
        "# a comment\r\nname: n # trailing\r\n\r\npoints: 8..64 multiple 8\r\nencoding: "
        "uint16be\r\ncodes: 0 16383\r\nbefore: A\r\nbefore: B\r\nupload: U {name},{block}\r\n"
        "after: C {name}\r\nterminator: \\r\\n\r\ncheck: SYST:ERR?\r\n");
    QVERIFY2(ok.error.isEmpty(), qPrintable(ok.error));
    QCOMPARE(ok.profile.name, QString("n"));
    QCOMPARE(ok.profile.before, (QList<QByteArray>{"A", "B"}));
    QCOMPARE(ok.profile.terminator, QByteArray("\r\n"));
    QCOMPARE(ok.profile.multiple, 8);
}

void TestProfiles::encodings() {
    const std::vector<float> v = {-1.0f, 1.0f, 0.0f, 0.5f};
    // Codes: code(-1) + (v + 1) / 2 × (code(+1) - code(-1)), ties to even.
    // int16le -32767..32767: -32767, 32767, 0, 16383.5 -> 16384 (even).
    QCOMPARE(encodeSamples(with("int16le", "-32767 32767"), v),
             bytes({0x01, 0x80, 0xff, 0x7f, 0x00, 0x00, 0x00, 0x40}));
    QCOMPARE(encodeSamples(with("int16be", "-32767 32767"), v),
             bytes({0x80, 0x01, 0x7f, 0xff, 0x00, 0x00, 0x40, 0x00}));
    // uint16be 0..16383: 0, 16383, 8191.5 -> 8192, 12287.25 -> 12287.
    QCOMPARE(encodeSamples(with("uint16be", "0 16383"), v),
             bytes({0x00, 0x00, 0x3f, 0xff, 0x20, 0x00, 0x2f, 0xff}));
    QCOMPARE(encodeSamples(with("uint16le", "0 16383"), v),
             bytes({0x00, 0x00, 0xff, 0x3f, 0x00, 0x20, 0xff, 0x2f}));
    // uint8 0..255: 0, 255, 127.5 -> 128, 191.25 -> 191; int8 -127..127: 0 and 63.5 -> 64.
    QCOMPARE(encodeSamples(with("uint8", "0 255"), v), bytes({0, 255, 128, 191}));
    QCOMPARE(encodeSamples(with("int8", "-127 127"), v), bytes({0x81, 0x7f, 0x00, 0x40}));
    // An inverted scale: +1 is the low code.
    QCOMPARE(encodeSamples(with("uint8", "255 0"), v), bytes({255, 0, 128, 64}));
    // int32: -2^31+1..2^31-1; 0.5 gives 1073741823.5 -> 1073741824.
    QCOMPARE(encodeSamples(with("int32le", "-2147483647 2147483647"), {0.5f}),
             bytes({0x00, 0x00, 0x00, 0x40}));
    QCOMPARE(encodeSamples(with("int32be", "-2147483647 2147483647"), {-1.0f}),
             bytes({0x80, 0x00, 0x00, 0x01}));
    // Floats as they are: 0.5 is 0x3f000000, -1 is 0xbf800000.
    QCOMPARE(encodeSamples(with("float32le"), {0.5f, -1.0f}),
             bytes({0, 0, 0, 0x3f, 0, 0, 0x80, 0xbf}));
    QCOMPARE(encodeSamples(with("float32be"), {0.5f}), bytes({0x3f, 0, 0, 0}));
    // Text: codes as whole numbers, or the values themselves with a point.
    QCOMPARE(encodeSamples(with("ascii", "-8191 8191", "X {values}"), v),
             QByteArray("-8191,8191,0,4096"));
    QCOMPARE(encodeSamples(with("ascii", {}, "X {values}"), {0.5f, -0.25f, 1.0f}),
             QByteArray("0.5,-0.25,1"));
}

void TestProfiles::linesAndBlocks() {
    QCOMPARE(definiteBlock("abc"), QByteArray("#13abc"));
    QCOMPARE(definiteBlock(QByteArray(32000, 'x')).left(7), QByteArray("#532000"));
    QCOMPARE(definiteBlock(QByteArray()), QByteArray("#10"));
    ProfileReading r = parseProfile("name: n\nencoding: int16le\ncodes: -32767 32767\n"
                                    "before: OUTP1 OFF\nupload: DATA:ARB:DAC {name},{block}\n"
                                    "after: FUNC:ARB {name}\nafter: OUTP1 ON\ncheck: SYST:ERR?\n");
    QVERIFY(r.error.isEmpty());
    // A sample whose code holds '{' (0x7b) and '\n' bytes: the block is taken as it is.
    const std::vector<float> v = {static_cast<float>((0x0a7b + 32767) / 65534.0 * 2 - 1), 0.0f};
    const QList<QByteArray> lines = uploadLines(r.profile, v, "WAVE");
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines[0], QByteArray("OUTP1 OFF\n"));
    QCOMPARE(lines[1], QByteArray("DATA:ARB:DAC WAVE,#14") + bytes({0x7b, 0x0a, 0, 0}) + "\n");
    QCOMPARE(lines[2], QByteArray("FUNC:ARB WAVE\n"));
    QCOMPARE(lines[4], QByteArray("SYST:ERR?\n"));
    // The answer to the check.
    for (const char* yes : {"0", "+0,\"No error\"", "0,No error\n", "+0"})
        QVERIFY2(checkSaysNoError(yes), yes);
    for (const char* no : {"-222,\"Data out of range\"", "+100", "07", "0.5", "", "No error"})
        QVERIFY2(!checkSaysNoError(no), no);
}

void TestProfiles::points() {
    Profile p = with("int8", "0 9");
    p.minPoints = 8, p.maxPoints = 65536, p.multiple = 8;
    QCOMPARE(pointsProblem(p, 16000), QString());
    QCOMPARE(pointsProblem(p, 201), QString("it takes a multiple of 8 points, not 201"));
    QCOMPARE(pointsProblem(p, 4), QString("it takes 8 to 65536 points, not 4"));
    QCOMPARE(nearestPoints(p, 201), 200);
    QCOMPARE(nearestPoints(p, 205), 208);
    QCOMPARE(nearestPoints(p, 4), 8);
    p.multiple = 1, p.powerOfTwo = true, p.minPoints = 16, p.maxPoints = 16384;
    QCOMPARE(pointsProblem(p, 1000), QString("it takes a power of two points, not 1000"));
    QCOMPARE(nearestPoints(p, 1000), 1024);
    QCOMPARE(nearestPoints(p, 700), 512);
    QCOMPARE(nearestPoints(p, 4), 16);
}

void TestProfiles::shippedProfiles() {
    const QStringList names = profileNames();
    QVERIFY2(names.size() >= 4, qPrintable(names.join(',')));
    for (const QString& name : names) {
        const ProfileReading r = findProfile(name);
        QVERIFY2(r.error.isEmpty(), qPrintable(name + ": " + r.error));
        // Named by the command form, never by a maker or a model.
        for (const char* maker : {"Keysight", "Agilent", "Rigol", "Siglent", "Tektronix", "33"})
            QVERIFY2(!r.profile.name.contains(maker, Qt::CaseInsensitive),
                     qPrintable(r.profile.name));
        QVERIFY(!r.profile.check.isEmpty());
    }
    QVERIFY(findProfile("no-such-profile").error.startsWith("no profile 'no-such-profile'"));
}

void TestProfiles::usersOwnProfiles() {
    // The user's folder is made with its README, and a profile there is offered by its name,
    // before a shipped one of the same name.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    const QString folder = userProfileFolder();
    QCOMPARE(folder, config.path() + "/wavewright/profiles");
    QVERIFY(QFile(folder + "/README.txt").open(QIODevice::ReadOnly));
    QCOMPARE(fileBytes(folder + "/README.txt"), profileFolderReadme());
    QFile mine(folder + "/arb-float-values.profile");
    QVERIFY(mine.open(QIODevice::WriteOnly));
    mine.write("name: mine\nencoding: ascii\nupload: D {values}\n");
    mine.close();
    QCOMPARE(findProfile("arb-float-values").profile.name, QString("mine"));
    QCOMPARE(profileNames().count("arb-float-values"), 1);
    // Made once: what the user wrote in the README stays.
    QFile readme(folder + "/README.txt");
    QVERIFY(readme.open(QIODevice::WriteOnly));
    readme.write("notes");
    readme.close();
    userProfileFolder();
    QCOMPARE(fileBytes(folder + "/README.txt"), QByteArray("notes"));
    qunsetenv("XDG_CONFIG_HOME");
}

QTEST_GUILESS_MAIN(TestProfiles)
#include "test_profiles.moc"
