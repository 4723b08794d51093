// SCPI generator profiles without a line: the parser's refusals with their lines, the
// encodings against bytes worked out by hand, the blocks, the counts of points, and every
// shipped profile.
#include "instruments/profile.h"
#include "instruments/scopeprofile.h"
#include "lines/answers.h"
#include "testfiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <sys/stat.h>

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
    void decodingAndBlockHeaders();
    void oscilloscopeProfiles();
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
         "line 4: {block} and {raw} want a binary encoding"},
        {"name: a\nencoding: int8\ncodes: 0 9\nupload: X {name}\n",
         "line 4: upload wants one of {block}, {raw} or {values}, once"},
        {"name: a\nencoding: int8\ncodes: 0 9\nupload: X {raw},{block}\n",
         "line 4: upload wants one of {block}, {raw} or {values}, once"},
        // Every placeholder is one its line may hold.
        {"name: a\nencoding: int8\ncodes: 0 9\nupload: X {block}\nafter: F {nmae}\n",
         "line 5: '{nmae}' is not a placeholder of after"},
        {"name: a\nencoding: int8\ncodes: 0 9\nbefore: F {rate}\nupload: X {block}\n",
         "line 4: '{rate}' is not a placeholder of before"},
        {"name: a\nencoding: int8\ncodes: 0 9\nupload: X {block}\namplitude: V {offset}\n",
         "line 5: '{offset}' is not a placeholder of amplitude"},
        {"name: a\nencoding: int8\ncodes: 0 9\nupload: X {block}\nfrequency: F 100\n",
         "line 5: frequency wants {frequency} or {rate}"},
        {"name: a\npoints: 8..16777217\n", "line 2: points: at most 16777216"},
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
    QCOMPARE(lines.size(), 6);
    QCOMPARE(lines[0], QByteArray("*CLS\n")); // the error queue emptied first
    QCOMPARE(lines[1], QByteArray("OUTP1 OFF\n"));
    QCOMPARE(lines[2], QByteArray("DATA:ARB:DAC WAVE,#14") + bytes({0x7b, 0x0a, 0, 0}) + "\n");
    QCOMPARE(lines[3], QByteArray("FUNC:ARB WAVE\n"));
    QCOMPARE(lines[5], QByteArray("SYST:ERR?\n"));

    // Placeholders in every line, in one pass (the block's bytes spell "{name}": they stay);
    // {raw} without a header and {bytes} its count; the settings in their order, numbers with
    // a point; no clearing line when the profile says none.
    r = parseProfile("name: n\nencoding: uint8\ncodes: 0 255\nclear: none\n"
                     "before: DEF {count},{bytes}\nupload: W {name},{raw}\nafter: SEL {name}\n"
                     "frequency: SRAT {rate}\namplitude: VOLT {amplitude}\n"
                     "offset: OFFS {offset}\noutput-on: ON\noutput-off: OFF\n");
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    std::vector<float> spelled;
    for (const char c : QByteArray("{name}"))
        spelled.push_back(static_cast<float>(static_cast<unsigned char>(c) / 127.5 - 1.0));
    GeneratorSettings set;
    set.frequency = 1500.5;
    set.amplitude = 2.0;
    set.offset = -0.25;
    set.output = false;
    QCOMPARE(uploadLines(r.profile, spelled, "W1", set),
             (QList<QByteArray>{"DEF 6,6\n", "W W1,{name}\n", "SEL W1\n", "SRAT 9003\n", "VOLT 2\n",
                                "OFFS -0.25\n", "OFF\n"}));
    set = {};
    set.sampleRate = 1e6;
    QCOMPARE(uploadLines(r.profile, spelled, "W1", set).at(3), QByteArray("SRAT 1000000\n"));
    // {values} is text whatever the encoding; {frequency} is the rate over the count.
    r = parseProfile("name: n\nencoding: int16le\ncodes: -100 100\nclear: *CLS;*RST\n"
                     "upload: V {values}\nfrequency: FREQ {frequency}\n");
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    set.sampleRate = 1000.0;
    QCOMPARE(uploadLines(r.profile, {-1.0f, 0.5f, 1.0f, 0.0f}, "W", set),
             (QList<QByteArray>{"*CLS;*RST\n", "V -100,50,100,0\n", "FREQ 250\n"}));

    // A setting the profile does not define, or a value no generator takes, is refused.
    GeneratorSettings output;
    output.output = true;
    QCOMPARE(settingsProblem(r.profile, output),
             QString("the profile 'n' does not say how to set the output on (no 'output-on:' "
                     "line)"));
    GeneratorSettings both;
    both.frequency = 1.0;
    both.sampleRate = 1.0;
    QVERIFY(settingsProblem(r.profile, both).contains("not both"));
    GeneratorSettings huge;
    huge.frequency = 1e15;
    QVERIFY(settingsProblem(r.profile, huge).contains("frequency wants"));
    QCOMPARE(settingsProblem(r.profile, set), QString());

    // The waveform's name: anchored at its very end, so a line feed cannot split the command.
    QCOMPARE(waveformNameProblem("WAVE_1"), QString());
    for (const char* bad : {"A\n", "1A", "", "A B", "ABCDEFGHIJKLM", "A;*RST"})
        QVERIFY2(!waveformNameProblem(bad).isEmpty(), bad);
    // An answer's bytes that are not text, shown.
    QCOMPARE(shownAnswer(QByteArray("-1,\"a\0b\"\r", 9)), QString("-1,\"a\\x00b\"\\x0d"));
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
        // A profile that asks nothing clears nothing either.
        QCOMPARE(r.profile.check.isEmpty(), r.profile.clear.isEmpty());
    }
    for (const char* form : {"arb-dac-16bit-block", "arb-float-values", "dac-volatile-14bit-block",
                             "dac-volatile-12bit-block", "dac-volatile-14bit-unsigned-values",
                             "trace-dac16-volatile", "wvdt-raw", "emem-define-copy"})
        QVERIFY2(names.contains(form), form);
    // Shipped first, in their order.
    QCOMPARE(names.first(), QString("arb-dac-16bit-block"));
    QCOMPARE(findProfile("dac-volatile-14bit-unsigned-values").profile.minPoints, 8);
    QVERIFY(findProfile("no-such-profile").error.startsWith("no profile 'no-such-profile'"));

    // A profile is read from a plain file only: a pipe would keep the reading waiting.
    QTemporaryDir dir;
    const QByteArray fifo = QFile::encodeName(dir.filePath("pipe.profile"));
    QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
    QVERIFY(findProfile(dir.filePath("pipe.profile"))
                .error.endsWith("it is a pipe, not a "
                                "profile file"));
    QVERIFY(findProfile("/dev/zero").error.endsWith("it is a device, not a profile file"));
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

void TestProfiles::decodingAndBlockHeaders() {
    // The bytes an oscilloscope sends, read back: worked out by hand for each width, sign and
    // byte order.
    QString why;
    const QByteArray b = bytes({0xff, 0x80, 0x01, 0x7f});
    auto decode = [&](SampleEncoding e, const QByteArray& in) { return decodeSamples(e, in, why); };
    QCOMPARE(decode(SampleEncoding::Int8, b), (std::vector<double>{-1, -128, 1, 127}));
    QCOMPARE(decode(SampleEncoding::UInt8, b), (std::vector<double>{255, 128, 1, 127}));
    QCOMPARE(decode(SampleEncoding::Int16LE, b), (std::vector<double>{-32513, 32513}));
    QCOMPARE(decode(SampleEncoding::Int16BE, b), (std::vector<double>{-128, 383}));
    QCOMPARE(decode(SampleEncoding::UInt16LE, b), (std::vector<double>{33023, 32513}));
    QCOMPARE(decode(SampleEncoding::UInt16BE, b), (std::vector<double>{65408, 383}));
    QCOMPARE(decode(SampleEncoding::Int32BE, b), (std::vector<double>{-8388225}));
    QCOMPARE(decode(SampleEncoding::Float32BE, bytes({0x3f, 0xc0, 0, 0})),
             (std::vector<double>{1.5}));
    QVERIFY(why.isEmpty());
    // What the generator side writes comes back as its codes.
    const std::vector<float> v = {-1.0f, -0.25f, 0.0f, 0.6f, 1.0f};
    const QByteArray written = encodeBinary(SampleEncoding::Int16BE, v, -32767, 32767);
    QCOMPARE(decode(SampleEncoding::Int16BE, written),
             (std::vector<double>{-32767, -8192, 0, 19660, 32767}));
    // Text: numbers between commas, blanks and line ends.
    QCOMPARE(decode(SampleEncoding::Ascii, " 1.5e-1, -2,3\r\n"),
             (std::vector<double>{0.15, -2, 3}));
    // Faults, with nothing kept.
    QVERIFY(decode(SampleEncoding::Int16LE, bytes({1, 2, 3})).empty());
    QCOMPARE(why, QString("3 bytes are not whole samples of 2 bytes"));
    QVERIFY(decode(SampleEncoding::Ascii, "1,2,volts").empty());
    QCOMPARE(why, QString("'volts' is not a number"));
    QVERIFY(decode(SampleEncoding::Ascii, "1,nan").empty());
    QVERIFY(decode(SampleEncoding::Float32LE, bytes({0, 0, 0xc0, 0x7f})).empty());

    // Block headers as they arrive: incomplete until the length is whole, then its size.
    QCOMPARE(readBlockHeader("", 100).state, BlockHeader::Incomplete);
    QCOMPARE(readBlockHeader("#", 100).state, BlockHeader::Incomplete);
    QCOMPARE(readBlockHeader("#3", 100).state, BlockHeader::Incomplete);
    QCOMPARE(readBlockHeader("#310", 100).state, BlockHeader::Incomplete);
    const BlockHeader h = readBlockHeader("#3100abc", 100);
    QCOMPARE(h.state, BlockHeader::Complete);
    QCOMPARE(h.headerBytes, qsizetype(5));
    QCOMPARE(h.length, qint64(100));
    const struct {
        QByteArray head;
        QString why;
    } bad[] = {
        {"1,2,3", "the data is not a block (it starts with 1,2,3, not '#')"},
        {"#0abc", "the block has no length (#0): an indefinite block is not read"},
        {"#a12", "the block's length digit is not 1 to 9"},
        {"#2x1", "the block's length is not a number"},
        {"#3101", "the block says 101 bytes, more than the 100 read at most"},
        {"#9999999999", "the block says 999999999 bytes, more than the 100 read at most"},
    };
    for (const auto& c : bad) {
        const BlockHeader r = readBlockHeader(c.head, 100);
        QCOMPARE(r.state, BlockHeader::Bad);
        QCOMPARE(r.why, c.why);
    }
}

void TestProfiles::oscilloscopeProfiles() {
    // Every shipped form reads, by its command form's name.
    QCOMPARE(scopeProfileNames(), QStringList({"curve-wfmoutpre", "wav-preamble-byte-code-origin",
                                               "wav-preamble-byte", "wf-dat2-vdiv"}));
    for (const QString& name : scopeProfileNames()) {
        const ScopeProfileReading r = findScopeProfile(name);
        QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
        QVERIFY(!r.profile.data.isEmpty());
    }
    const ScopeProfile wav = findScopeProfile("wav-preamble-byte").profile;
    QCOMPARE(wav.fieldNames().size(), 10);
    QCOMPARE(scopeLine(wav, wav.setup[0], "CHAN1"), QByteArray(":WAV:SOUR CHAN1\n"));
    const ScopeProfile parts = findScopeProfile("wav-preamble-byte-code-origin").profile;
    QCOMPARE(parts.chunk, qint64(250000));
    QCOMPARE(scopeLine(parts, parts.range[1], "CHAN1", 250001, 500000),
             QByteArray(":WAV:STOP 500000\n"));
    QCOMPARE(findScopeProfile("wf-dat2-vdiv").profile.prefix, QByteArray("DAT2,"));

    // Faults, each with its line.
    const QByteArray base = "name: t\ndata: D?\nencoding: uint8\nvolts: code\ntime: index\n";
    const struct {
        QByteArray text;
        QString says;
    } cases[] = {
        {base + "speed: 9\n", "line 6: 'speed' is not a key of an oscilloscope profile"},
        {base + "field: 1x = Q?\n", "line 6: '1x' is not a field's name"},
        {base + "field: A Q?\n", "line 6: field wants NAME = QUERY"},
        {base + "field: A = Q?\nfield: A = R?\n", "line 6: the field 'A' is named twice"},
        {base + "field: code = Q?\n", "line 6: the field 'code' is named twice, or by a name"},
        {"name: t\ndata: D?\nencoding: uint8\nvolts: code * gain\ntime: index\n",
         "line 4: 'code * gain': Unexpected token \"gain\""},
        {"name: t\ndata: D?\nencoding: uint8\nvolts: code, 2\ntime: index\n",
         "line 4: 'code, 2' gives more than one value"},
        {"name: t\ndata: D?\nencoding: uint8\nvolts: index\ntime: index\n", "line 4: 'index'"},
        {base + "preamble: P?\n", "line 6: preamble and fields go together"},
        {base + "chunk: 100\n", "line 6: chunk wants points and range lines"},
        {base + "range: S {start}\n", "line 6: range wants chunk"},
        {base + "setup: S {start}\n", "line 6: '{start}' is not a placeholder of setup"},
        {base + "screen: 0 300\n", "line 6: the screen's codes do not fit the encoding (0 to 255)"},
        {base + "screen: 9 9\n", "line 6: screen wants two codes"},
        {base + "trailing: 99\n", "line 6: trailing wants a count of bytes, 0 to 16"},
        {"name: t\nencoding: uint8\nvolts: code\ntime: index\n",
         "line 5: the profile has no 'data'"},
        {"name: t\ndata: D?\nencoding: ascii\nprefix: X\nvolts: code\ntime: index\n",
         "line 3: ascii data is a line of numbers"},
        {base + "setup: A\nsetup: B\nname: u\n", "line 8: 'name' is given twice"},
    };
    for (const auto& c : cases) {
        const ScopeProfileReading r = parseScopeProfile(c.text);
        QVERIFY2(r.error.startsWith(c.says), qPrintable(r.error + " / " + c.says));
    }

    // Answers with a header or a unit give their first number; anything else is none.
    const struct {
        QByteArray answer;
        double value;
    } numbers[] = {{"C1:VDIV 5.00E-01V", 0.5},
                   {":WFMOUTPRE:YMULT 4.0000E-3", 0.004},
                   {"1.00E+09Sa/s", 1e9},
                   {"-1.25e-3\n", -0.00125},
                   {"+7", 7},
                   {".5", 0.5}};
    for (const auto& n : numbers) {
        double v = 0;
        QVERIFY2(answerNumber(n.answer, v), n.answer.constData());
        QCOMPARE(v, n.value);
    }
    for (const char* none : {"", "V", "C1:VDIV", "1.5.2", "12 V x", "nan", "1e999", "0x10", "."}) {
        double v = 0;
        QVERIFY2(!answerNumber(none, v), none);
    }

    // A preamble by position, a header passed over; missing or broken fields named.
    QMap<QString, double> f;
    QCOMPARE(preambleFields(wav, ":WAV:PRE 0,0,1200,1,2.0e-06,-1.2e-03,0,4.0e-02,-0.5,128\n", f),
             QString());
    QCOMPARE(f["points"], 1200.0);
    QCOMPARE(f["yorigin"], -0.5);
    QCOMPARE(preambleFields(wav, "0,0,1200", f), QString("the preamble has 3 fields, the profile "
                                                         "names 10"));
    QCOMPARE(preambleFields(wav, "0,0,abc,1,2,3,4,5,6,7", f),
             QString("field 3 (points) is not a number: 'abc'"));

    // The scaling over the fields: volts of each code as the profile's expression makes them,
    // worked out here by hand, and the time axis.
    f.clear();
    QVERIFY(preambleFields(wav, "0,0,4,1,1e-3,-2e-3,0,0.04,-0.5,128", f).isEmpty());
    ScopeScaling scaling;
    QCOMPARE(scaling.prepare(wav, f), QString());
    QCOMPARE(scaling.points(), qint64(4));
    QString why;
    QCOMPARE(
        scaling.volts({0, 128, 255, 129}, why),
        (std::vector<double>{(0 - 128) * 0.04 - 0.5, -0.5, (255 - 128) * 0.04 - 0.5, 0.04 - 0.5}));
    // Codes the encoding cannot hold are worked out all the same, not looked up out of bounds.
    QCOMPARE(scaling.volts({-1, 256, 127.5}, why),
             (std::vector<double>{(-1 - 128) * 0.04 - 0.5, (256 - 128) * 0.04 - 0.5,
                                  (127.5 - 128) * 0.04 - 0.5}));
    const std::vector<double> t = scaling.times(4, why);
    QCOMPARE(t.size(), std::size_t(4));
    QCOMPARE(t[3], 3 * 1e-3 - 2e-3);
    f.remove("yorigin");
    QCOMPARE(scaling.prepare(wav, f), QString("the field 'yorigin' was not read"));
    f["yorigin"] = 0;
    f["points"] = 2.5;
    QVERIFY(scaling.prepare(wav, f).startsWith("the count of points (2.5)"));
    f["points"] = 1e12;
    QVERIFY(scaling.prepare(wav, f).contains("more than the 16777216 read at most"));
    // Codes whose volts are not finite are refused, not written.
    const ScopeProfile divides =
        parseScopeProfile("name: t\ndata: D?\nencoding: int8\nvolts: 1 / code\ntime: index\n")
            .profile;
    QCOMPARE(scaling.prepare(divides, {}), QString());
    QVERIFY(scaling.volts({1, 0}, why).empty());
    QCOMPARE(why, QString("the volts of the code 0 are not a number"));
    // Samples given as values (text, floats) have no screen unless the profile gives one:
    // shown as -1..+1 over the 32-bit range they would all be near 0.
    for (const char* encoding : {"ascii", "float32le", "float32be"}) {
        const QByteArray text =
            "name: v\ndata: D?\nencoding: " + QByteArray(encoding) + "\nvolts: code\ntime: index\n";
        QVERIFY(screenProblem(parseScopeProfile(text).profile).contains("'screen: LO HI'"));
        QVERIFY(screenProblem(parseScopeProfile(text + "screen: -5 5\n").profile).isEmpty());
    }
    for (const QString& name : scopeProfileNames())
        QVERIFY(screenProblem(findScopeProfile(name).profile).isEmpty());
    // The screen's codes as -1..+1: the encoding's whole range, or the profile's own.
    QCOMPARE(screenSamples(wav, {0, 255, 127.5}), (std::vector<float>{-1, 1, 0}));
    const ScopeProfile screen = parseScopeProfile(base + "screen: 28 228\n").profile;
    QCOMPARE(screenSamples(screen, {28, 128, 178, 255}), (std::vector<float>{-1, 0, 0.5f, 1}));
}

QTEST_GUILESS_MAIN(TestProfiles)
#include "test_profiles.moc"
