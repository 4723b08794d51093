#include "profile.h"

#include "model/numbers.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>

namespace ww {

namespace {
bool isPowerOfTwo(int n) {
    return n > 0 && (n & (n - 1)) == 0;
}

// Why a line of `key` cannot hold a placeholder of `value` ({word}), or an empty string. Lines
// that are sent may hold the waveform's placeholders; a setting's line its own value as well.
QString sentPlaceholderProblem(const QString& key, const QByteArray& value) {
    static const QStringList sent = {QStringLiteral("clear"),     QStringLiteral("before"),
                                     QStringLiteral("upload"),    QStringLiteral("after"),
                                     QStringLiteral("check"),     QStringLiteral("frequency"),
                                     QStringLiteral("amplitude"), QStringLiteral("offset"),
                                     QStringLiteral("output-on"), QStringLiteral("output-off")};
    if (!sent.contains(key))
        return QString();
    QStringList allowed = {QStringLiteral("name"),  QStringLiteral("count"),
                           QStringLiteral("bytes"), QStringLiteral("block"),
                           QStringLiteral("raw"),   QStringLiteral("values")};
    if (key == QLatin1String("frequency"))
        allowed << QStringLiteral("frequency") << QStringLiteral("rate");
    else if (key == QLatin1String("amplitude") || key == QLatin1String("offset"))
        allowed << key;
    return placeholderProblem(key, value, allowed);
}

} // namespace

ProfileReading parseProfile(const QByteArray& source) {
    ProfileReading r;
    Profile& p = r.profile;
    auto fail = [&r](int line, const QString& why) {
        r.error = QStringLiteral("line %1: %2").arg(line).arg(why);
        return r;
    };
    KeyValueText text = readKeyValues(source, {QStringLiteral("before"), QStringLiteral("after")});
    if (!text.error.isEmpty()) {
        r.error = text.error;
        return r;
    }
    bool hasEncoding = false;
    for (const KeyValue& e : text.entries) {
        const int number = e.line;
        const QString& key = e.key;
        const QByteArray& value = e.value;
        if (const QString why = sentPlaceholderProblem(key, value); !why.isEmpty())
            return fail(number, why);
        if (key == QLatin1String("name")) {
            p.name = QString::fromUtf8(value);
        } else if (key == QLatin1String("points")) {
            const QList<QByteArray> words = value.simplified().split(' ');
            const QList<QByteArray> range = words[0].split('.');
            bool ok1 = false, ok2 = false;
            // "A..B": split on '.' gives A, "", B.
            if (range.size() != 3 || !range[1].isEmpty())
                return fail(number, QStringLiteral("points wants MIN..MAX"));
            p.minPoints = range[0].toInt(&ok1);
            p.maxPoints = range[2].toInt(&ok2);
            if (!ok1 || !ok2 || p.minPoints < 2 || p.maxPoints < p.minPoints)
                return fail(number, QStringLiteral("points wants MIN..MAX, 2 <= MIN <= MAX"));
            if (p.maxPoints > kMaxProfilePoints)
                return fail(number, QStringLiteral("points: at most %1, more than any generator "
                                                   "takes")
                                        .arg(kMaxProfilePoints));
            if (words.size() == 3 && words[1] == "multiple") {
                p.multiple = words[2].toInt(&ok1);
                if (!ok1 || p.multiple < 1)
                    return fail(number, QStringLiteral("multiple wants a whole number above 0"));
            } else if (words.size() == 2 && words[1] == "power-of-two") {
                p.powerOfTwo = true;
            } else if (words.size() != 1) {
                return fail(number, QStringLiteral("after MIN..MAX, only 'multiple K' or "
                                                   "'power-of-two'"));
            }
        } else if (key == QLatin1String("encoding")) {
            const EncodingInfo* found = encodingNamed(value);
            if (!found)
                return fail(number, QStringLiteral("'%1' is not an encoding; the encodings are %2")
                                        .arg(QString::fromUtf8(value), encodingNames()));
            p.encoding = found->encoding;
            hasEncoding = true;
        } else if (key == QLatin1String("codes")) {
            const QList<QByteArray> words = value.simplified().split(' ');
            bool ok1 = false, ok2 = false;
            if (words.size() == 2) {
                p.codeLow = words[0].toLongLong(&ok1);
                p.codeHigh = words[1].toLongLong(&ok2);
            }
            if (!ok1 || !ok2 || p.codeLow == p.codeHigh)
                return fail(number, QStringLiteral("codes wants two different whole numbers, "
                                                   "the codes for -1 and +1"));
            p.hasCodes = true;
        } else if (key == QLatin1String("clear")) {
            p.clear = value == "none" ? QByteArray() : value;
        } else if (key == QLatin1String("frequency")) {
            p.frequency = value;
        } else if (key == QLatin1String("amplitude")) {
            p.amplitude = value;
        } else if (key == QLatin1String("offset")) {
            p.offset = value;
        } else if (key == QLatin1String("output-on")) {
            p.outputOn = value;
        } else if (key == QLatin1String("output-off")) {
            p.outputOff = value;
        } else if (key == QLatin1String("before")) {
            p.before << value;
        } else if (key == QLatin1String("after")) {
            p.after << value;
        } else if (key == QLatin1String("upload")) {
            p.upload = value;
        } else if (key == QLatin1String("check")) {
            p.check = value;
        } else if (key == QLatin1String("terminator")) {
            p.terminator = unescapeValue(value);
        } else {
            return fail(number, QStringLiteral("'%1' is not a key of a profile").arg(key));
        }
    }
    // What the lines say together.
    const int last = text.lastLine;
    auto lineOf = [&](const char* key) { return text.lineOf(QString::fromLatin1(key)); };
    if (p.name.isEmpty())
        return fail(last, QStringLiteral("the profile has no 'name'"));
    if (p.upload.isEmpty())
        return fail(last, QStringLiteral("the profile has no 'upload'"));
    if (!hasEncoding)
        return fail(last, QStringLiteral("the profile has no 'encoding'"));
    const int data = static_cast<int>(p.upload.count("{block}") + p.upload.count("{raw}") +
                                      p.upload.count("{values}"));
    if (data != 1)
        return fail(lineOf("upload"),
                    QStringLiteral("upload wants one of {block}, {raw} or {values}, once"));
    if (!p.upload.contains("{values}") && p.encoding == Profile::Encoding::Ascii)
        return fail(lineOf("upload"), QStringLiteral("{block} and {raw} want a binary encoding"));
    if (!p.frequency.isEmpty() && !p.frequency.contains("{frequency}") &&
        !p.frequency.contains("{rate}"))
        return fail(lineOf("frequency"), QStringLiteral("frequency wants {frequency} or {rate}"));
    if (!p.amplitude.isEmpty() && !p.amplitude.contains("{amplitude}"))
        return fail(lineOf("amplitude"), QStringLiteral("amplitude wants {amplitude}"));
    if (!p.offset.isEmpty() && !p.offset.contains("{offset}"))
        return fail(lineOf("offset"), QStringLiteral("offset wants {offset}"));
    if (p.isFloat() && p.hasCodes)
        return fail(lineOf("codes"), QStringLiteral("a float encoding takes the values "
                                                    "themselves: no codes"));
    if (!p.isFloat() && !p.hasCodes && p.encoding != Profile::Encoding::Ascii)
        return fail(last, QStringLiteral("an integer encoding wants 'codes' for -1 and +1"));
    if (p.hasCodes) {
        double lo = 0, hi = 0;
        codeRange(p.encoding, lo, hi);
        for (const double c : {p.codeLow, p.codeHigh})
            if (c < lo || c > hi)
                return fail(lineOf("codes"),
                            QStringLiteral("the code %1 does not fit the encoding (%2 to %3)")
                                .arg(c, 0, 'f', 0)
                                .arg(lo, 0, 'f', 0)
                                .arg(hi, 0, 'f', 0));
    }
    if (p.terminator.isEmpty())
        return fail(lineOf("terminator"), QStringLiteral("the terminator is empty"));
    if (nearestPoints(p, p.minPoints) == 0)
        return fail(lineOf("points"), QStringLiteral("no count of points fits these rules"));
    return r;
}

QString pointsProblem(const Profile& p, int count) {
    if (count < p.minPoints || count > p.maxPoints)
        return QStringLiteral("it takes %1 to %2 points, not %3")
            .arg(p.minPoints)
            .arg(p.maxPoints)
            .arg(count);
    if (count % p.multiple != 0)
        return QStringLiteral("it takes a multiple of %1 points, not %2")
            .arg(p.multiple)
            .arg(count);
    if (p.powerOfTwo && !isPowerOfTwo(count))
        return QStringLiteral("it takes a power of two points, not %1").arg(count);
    return QString();
}

int nearestPoints(const Profile& p, int count) {
    int best = 0;
    auto consider = [&](long long c) {
        if (c < p.minPoints || c > p.maxPoints || !pointsProblem(p, static_cast<int>(c)).isEmpty())
            return;
        if (best == 0 || std::llabs(c - count) < std::llabs(static_cast<long long>(best) - count))
            best = static_cast<int>(c);
    };
    if (p.powerOfTwo) {
        for (long long c = 1; c <= p.maxPoints; c *= 2)
            consider(c);
        return best;
    }
    const long long k = p.multiple;
    const long long clamped = std::clamp<long long>(count, p.minPoints, p.maxPoints);
    for (long long c = clamped / k * k - k; c <= clamped / k * k + 2 * k; c += k)
        consider(c);
    // The range's own ends rounded inwards to the multiple.
    consider((p.minPoints + k - 1) / k * k);
    consider(p.maxPoints / k * k);
    return best;
}

double sampleCodeOf(const Profile& p, double v) {
    if (p.isFloat() || (!p.hasCodes && p.encoding == Profile::Encoding::Ascii))
        return v;
    return roundHalfEven(p.codeLow + (v + 1.0) / 2.0 * (p.codeHigh - p.codeLow));
}

QByteArray encodeSamples(const Profile& p, const std::vector<float>& samples) {
    QByteArray out;
    if (p.encoding == Profile::Encoding::Ascii) {
        for (std::size_t i = 0; i < samples.size(); ++i) {
            if (i > 0)
                out += ',';
            const double code = sampleCodeOf(p, samples[i]);
            // Codes as whole numbers; values themselves with the precision of a float sample.
            out += p.hasCodes ? QByteArray::number(static_cast<qlonglong>(code))
                              : QByteArray::number(code, 'g', 9);
        }
        return out;
    }
    return encodeBinary(p.encoding, samples, p.codeLow, p.codeHigh);
}

namespace {
// A setting's number as the instruments read it: a point, up to 12 significant digits.
QByteArray numberText(double v) {
    return QByteArray::number(v, 'g', 12);
}

// `line` with each placeholder replaced by its value, in one pass: what a value brings (a
// block may hold any bytes, braces too) is never read again.
QByteArray expand(const QByteArray& line, const QHash<QByteArray, QByteArray>& values) {
    QByteArray out;
    qsizetype from = 0;
    for (qsizetype at = line.indexOf('{'); at >= 0; at = line.indexOf('{', at + 1)) {
        const qsizetype close = line.indexOf('}', at);
        if (close < 0)
            break;
        const auto found = values.constFind(line.mid(at + 1, close - at - 1));
        if (found == values.constEnd())
            continue;
        out += line.mid(from, at - from);
        out += *found;
        from = close + 1;
        at = close;
    }
    return out + line.mid(from);
}
} // namespace

QString settingsProblem(const Profile& p, const GeneratorSettings& s) {
    auto undefined = [&](const char* what, const char* key) {
        return QStringLiteral("the profile '%1' does not say how to set the %2 (no '%3:' line)")
            .arg(p.name, QLatin1String(what), QLatin1String(key));
    };
    if (s.frequency && s.sampleRate)
        return QStringLiteral("give the frequency or the sample rate, not both");
    if ((s.frequency || s.sampleRate) && p.frequency.isEmpty())
        return undefined("frequency", "frequency");
    if (s.amplitude && p.amplitude.isEmpty())
        return undefined("amplitude", "amplitude");
    if (s.offset && p.offset.isEmpty())
        return undefined("offset", "offset");
    if (s.output && *s.output && p.outputOn.isEmpty())
        return undefined("output on", "output-on");
    if (s.output && !*s.output && p.outputOff.isEmpty())
        return undefined("output off", "output-off");
    // Beyond these no generator goes; a value past them is a mistake, not a setting.
    for (const auto& [value, what, low, high] :
         {std::tuple{s.frequency, "frequency", 1e-6, 1e12},
          std::tuple{s.sampleRate, "sample rate", 1e-6, 1e13},
          std::tuple{s.amplitude, "amplitude", 1e-6, 1e4},
          std::tuple{s.offset, "offset", -1e4, 1e4}})
        if (value && !(*value >= low && *value <= high))
            return QStringLiteral("the %1 wants %2 to %3, not %4")
                .arg(QLatin1String(what), QString::fromLatin1(numberText(low)),
                     QString::fromLatin1(numberText(high)),
                     QString::fromLatin1(numberText(*value)));
    return QString();
}

QList<QByteArray> uploadLines(const Profile& p, const std::vector<float>& samples,
                              const QString& name, const GeneratorSettings& settings) {
    QHash<QByteArray, QByteArray> values;
    const auto count = static_cast<qulonglong>(samples.size());
    values["name"] = name.toUtf8();
    values["count"] = QByteArray::number(count);
    // Only the forms the profile uses are made: a waveform is encoded at each upload.
    QList<QByteArray> sent = p.before + p.after;
    sent << p.clear << p.upload << p.frequency << p.amplitude << p.offset << p.outputOn
         << p.outputOff << p.check;
    auto uses = [&](const char* marker) {
        return std::any_of(sent.begin(), sent.end(),
                           [&](const QByteArray& l) { return l.contains(marker); });
    };
    Profile text = p;
    text.encoding = Profile::Encoding::Ascii;
    if (uses("{values}"))
        values["values"] = encodeSamples(text, samples);
    const QByteArray encoded = p.encoding == Profile::Encoding::Ascii
                                   ? (uses("{bytes}") ? encodeSamples(p, samples) : QByteArray())
                                   : encodeSamples(p, samples);
    values["bytes"] = QByteArray::number(encoded.size());
    if (p.encoding != Profile::Encoding::Ascii) {
        values["raw"] = encoded;
        if (uses("{block}"))
            values["block"] = definiteBlock(encoded);
    }
    if (settings.frequency || settings.sampleRate) {
        const double rate = settings.sampleRate ? *settings.sampleRate
                                                : *settings.frequency * static_cast<double>(count);
        const double frequency =
            settings.frequency ? *settings.frequency : rate / static_cast<double>(count);
        values["rate"] = numberText(rate);
        values["frequency"] = numberText(frequency);
    }
    if (settings.amplitude)
        values["amplitude"] = numberText(*settings.amplitude);
    if (settings.offset)
        values["offset"] = numberText(*settings.offset);

    QList<QByteArray> lines;
    auto add = [&](const QByteArray& line) { lines << expand(line, values) + p.terminator; };
    if (!p.clear.isEmpty())
        add(p.clear);
    for (const QByteArray& b : p.before)
        add(b);
    add(p.upload);
    for (const QByteArray& a : p.after)
        add(a);
    if ((settings.frequency || settings.sampleRate) && !p.frequency.isEmpty())
        add(p.frequency);
    if (settings.amplitude && !p.amplitude.isEmpty())
        add(p.amplitude);
    if (settings.offset && !p.offset.isEmpty())
        add(p.offset);
    if (settings.output && !(*settings.output ? p.outputOn : p.outputOff).isEmpty())
        add(*settings.output ? p.outputOn : p.outputOff);
    if (!p.check.isEmpty())
        add(p.check);
    return lines;
}

QString waveformNameProblem(const QString& name) {
    // Anchored at the very end: '$' would let a final line feed through into the command.
    static const QRegularExpression plainName(
        QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z][A-Za-z0-9_]{0,11}")));
    if (plainName.match(name).hasMatch())
        return QString();
    return QStringLiteral("the name wants a letter, then up to 11 letters, digits or _");
}

bool checkSaysNoError(const QByteArray& reply) {
    const QByteArray r = reply.trimmed();
    auto zeroFirst = [](const QByteArray& s) {
        // "0", "0,"No error"", "+0, ..." — a zero that is a whole number, not 0.5 or 07.
        if (!s.startsWith('0'))
            return false;
        return s.size() == 1 || s[1] == ',' || s[1] == ' ' || s[1] == ';';
    };
    return zeroFirst(r) || (r.startsWith('+') && zeroFirst(r.mid(1)));
}

QStringList profileFolders() {
    return profileFoldersWith(QStringLiteral(":/profiles"));
}

ProfileReading findProfile(const QString& nameOrPath) {
    return findProfileIn<ProfileReading>(nameOrPath, profileFolders(), QStringLiteral(".profile"),
                                         QStringLiteral("profile"), parseProfile);
}

QStringList profileNames() {
    // The shipped ones first, then the user's own.
    return profileNamesIn(profileFolders(), QStringLiteral(".profile"));
}

QString userProfileFolder() {
    const QString folder = profileFolders().front();
    QDir().mkpath(folder);
    QFile readme(folder + QStringLiteral("/README.txt"));
    if (!readme.exists() && readme.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        readme.write(profileFolderReadme());
    return folder;
}

QByteArray profileFolderReadme() {
    return "Wavewright: your own SCPI generator profiles\n"
           "\n"
           "A profile tells Wavewright how to load a waveform into a SCPI arbitrary-waveform\n"
           "generator. Put one here as NAME.profile; it is then offered by that name in\n"
           "Other > Send to Instrument... and to 'wavewright send FILE --profile NAME'. A\n"
           "profile here takes the place of a shipped one of the same name. Start from a\n"
           "shipped one: 'wavewright send FILE --profile NAME --dry-run' shows what it sends.\n"
           "\n"
           "A profile is key: value lines; '#' starts a comment; before and after may repeat:\n"
           "\n"
           "  name: 16-bit block form           what the program shows\n"
           "  points: 8..65536                  the counts the instrument takes (at most\n"
           "                                    16777216), optionally 'multiple K' or\n"
           "                                    'power-of-two' after them\n"
           "  encoding: int16le                 int8 uint8 int16le int16be uint16le uint16be\n"
           "                                    int32le int32be float32le float32be ascii\n"
           "  codes: -32767 32767               the codes for -1 and +1 (not for floats;\n"
           "                                    for ascii without codes, the values)\n"
           "  clear: *CLS                       sent first, to empty the error queue (the\n"
           "                                    default); 'none' sends nothing\n"
           "  before: FORM:BORD SWAP            sent next, in order\n"
           "  upload: SOUR1:DATA:ARB:DAC {name},{block}\n"
           "  after: SOUR1:FUNC:ARB {name}      sent after the data, in order\n"
           "  frequency: SOUR1:FUNC:ARB:SRAT {rate}   how to set the frequency ({frequency}\n"
           "                                    in Hz, or {rate}: the frequency x the count)\n"
           "  amplitude: SOUR1:VOLT {amplitude} volts peak to peak\n"
           "  offset: SOUR1:VOLT:OFFS {offset}  volts\n"
           "  output-on: OUTP1 ON               how to switch the output on\n"
           "  output-off: OUTP1 OFF             and off\n"
           "  check: SYST:ERR?                  asked once the instrument has taken every\n"
           "                                    byte, and again until it answers 0 or +0;\n"
           "                                    any other answer is an error, reported with\n"
           "                                    the instrument's text. Without it, the\n"
           "                                    upload is done when every byte was taken\n"
           "  terminator: \\n                   ends every line (\\n by default)\n"
           "\n"
           "Placeholders, in any line that is sent: {block} an IEEE 488.2 definite-length\n"
           "block of the encoded samples, {raw} the same bytes without the block's header,\n"
           "{values} the codes as comma-separated text, {bytes} the count of encoded bytes,\n"
           "{count} the number of points, {name} the waveform's name; the settings' own in\n"
           "their lines. The upload holds exactly one of {block}, {raw} and {values}; an\n"
           "unknown placeholder is refused. A setting asked for that the profile has no line\n"
           "for is refused before anything is sent. A sample's code is the nearest whole\n"
           "number (ties to even) of code(-1) + (v + 1) / 2 x (code(+1) - code(-1)). A\n"
           "profile with a fault is refused with its line named.\n"
           "\n"
           "Oscilloscope profiles go here too, as NAME.scope: how a SCPI oscilloscope gives\n"
           "the curve of a channel, for Oscilloscope > Read from Instrument... and 'wavewright\n"
           "capture FILE --profile NAME --source CHANNEL'. Their keys: name, setup, stop,\n"
           "preamble with fields (by position) or field: NAME = QUERY (one each), points,\n"
           "chunk with range lines ({start}, {stop}), data, prefix, trailing, encoding, volts\n"
           "and time (expressions over the fields and code or index), screen, check and\n"
           "terminator. {source} stands for the channel. The shipped ones show each form.\n";
}

} // namespace ww
