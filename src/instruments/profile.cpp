#include "profile.h"

#include "model/numbers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <tuple>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ww {

namespace {
struct EncodingInfo {
    const char* name;
    Profile::Encoding encoding;
    int bytes;
    bool isSigned;
    bool bigEndian;
};
constexpr EncodingInfo kEncodings[] = {
    {"int8", Profile::Encoding::Int8, 1, true, false},
    {"uint8", Profile::Encoding::UInt8, 1, false, false},
    {"int16le", Profile::Encoding::Int16LE, 2, true, false},
    {"int16be", Profile::Encoding::Int16BE, 2, true, true},
    {"uint16le", Profile::Encoding::UInt16LE, 2, false, false},
    {"uint16be", Profile::Encoding::UInt16BE, 2, false, true},
    {"int32le", Profile::Encoding::Int32LE, 4, true, false},
    {"int32be", Profile::Encoding::Int32BE, 4, true, true},
    {"float32le", Profile::Encoding::Float32LE, 4, false, false},
    {"float32be", Profile::Encoding::Float32BE, 4, false, true},
    {"ascii", Profile::Encoding::Ascii, 0, true, false},
};

const EncodingInfo& infoOf(Profile::Encoding e) {
    for (const EncodingInfo& i : kEncodings)
        if (i.encoding == e)
            return i;
    return kEncodings[0];
}

// The codes an integer encoding can hold.
void rangeOf(const EncodingInfo& i, double& lo, double& hi) {
    if (i.bytes == 0) { // text: any 32-bit code
        lo = std::numeric_limits<std::int32_t>::min();
        hi = std::numeric_limits<std::int32_t>::max();
        return;
    }
    const double span = std::ldexp(1.0, 8 * i.bytes);
    lo = i.isSigned ? -span / 2 : 0;
    hi = i.isSigned ? span / 2 - 1 : span - 1;
}

bool isPowerOfTwo(int n) {
    return n > 0 && (n & (n - 1)) == 0;
}

// Why a line of `key` cannot hold a placeholder of `value` ({word}), or an empty string. Lines
// that are sent may hold the waveform's placeholders; a setting's line its own value as well.
QString placeholderProblem(const QString& key, const QByteArray& value) {
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
    for (qsizetype at = value.indexOf('{'); at >= 0; at = value.indexOf('{', at + 1)) {
        const qsizetype close = value.indexOf('}', at);
        const QString word =
            close < 0 ? QString() : QString::fromUtf8(value.mid(at + 1, close - at - 1));
        if (!allowed.contains(word))
            return QStringLiteral("'%1' is not a placeholder of %2, which may hold {%3}")
                .arg(QString::fromUtf8(value.mid(at, close < 0 ? 20 : close - at + 1)), key,
                     allowed.join(QStringLiteral("}, {")));
    }
    return QString();
}

QByteArray unescape(const QByteArray& v) {
    QByteArray out;
    for (int i = 0; i < v.size(); ++i) {
        if (v[i] == '\\' && i + 1 < v.size()) {
            const char c = v[++i];
            out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
        } else {
            out += v[i];
        }
    }
    return out;
}
} // namespace

ProfileReading parseProfile(const QByteArray& text) {
    ProfileReading r;
    Profile& p = r.profile;
    auto fail = [&r](int line, const QString& why) {
        r.error = QStringLiteral("line %1: %2").arg(line).arg(why);
        return r;
    };
    if (text.size() > kMaxProfileBytes)
        return fail(1, QStringLiteral("a profile is at most %1 bytes").arg(kMaxProfileBytes));
    const QList<QByteArray> lines = text.split('\n');
    QStringList seen;
    bool hasEncoding = false;
    for (int n = 0; n < static_cast<int>(lines.size()); ++n) {
        const int number = n + 1;
        QByteArray line = lines[n];
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.size() > 4096)
            return fail(number, QStringLiteral("the line is longer than 4096 bytes"));
        // A comment starts at '#' at the start or after a blank: a block's '#' is inside
        // braces, and never follows a blank in a command.
        const int hash = line.indexOf('#');
        if (hash == 0 || (hash > 0 && (line[hash - 1] == ' ' || line[hash - 1] == '\t')))
            line.truncate(hash);
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        const int colon = line.indexOf(':');
        if (colon <= 0)
            return fail(
                number,
                QStringLiteral("'%1' is not 'key: value'").arg(QString::fromUtf8(line.left(40))));
        const QString key = QString::fromUtf8(line.left(colon).trimmed()).toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (key != QLatin1String("before") && key != QLatin1String("after")) {
            if (seen.contains(key))
                return fail(number, QStringLiteral("'%1' is given twice").arg(key));
            seen << key;
        }
        if (value.isEmpty())
            return fail(number, QStringLiteral("'%1' has no value").arg(key));
        if (const QString why = placeholderProblem(key, value); !why.isEmpty())
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
            bool found = false;
            for (const EncodingInfo& i : kEncodings)
                if (value == i.name)
                    p.encoding = i.encoding, found = true;
            if (!found)
                return fail(number, QStringLiteral("'%1' is not an encoding; the encodings are "
                                                   "int8 uint8 int16le int16be uint16le uint16be "
                                                   "int32le int32be float32le float32be ascii")
                                        .arg(QString::fromUtf8(value)));
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
            p.terminator = unescape(value);
        } else {
            return fail(number, QStringLiteral("'%1' is not a key of a profile").arg(key));
        }
    }
    // What the lines say together.
    const int last = static_cast<int>(lines.size());
    auto lineOf = [&](const char* key) {
        for (int n = 0; n < last; ++n)
            if (lines[n].trimmed().toLower().startsWith(QByteArray(key) + ':'))
                return n + 1;
        return last;
    };
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
        rangeOf(infoOf(p.encoding), lo, hi);
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
    const EncodingInfo& info = infoOf(p.encoding);
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
    // Written in place, a loop for each width and byte order: a waveform of 16000 samples is
    // encoded at each upload.
    clearUpperVectorState();
    out.resize(static_cast<qsizetype>(samples.size()) * info.bytes);
    auto* at = reinterpret_cast<unsigned char*>(out.data());
    const double low = p.codeLow, scale = (p.codeHigh - p.codeLow) / 2.0;
    const bool isFloat = p.isFloat();
    auto encode = [&]<int bytes, bool big>() {
        for (const float s : samples) {
            std::uint32_t word = 0;
            if (isFloat) {
                std::memcpy(&word, &s, 4);
            } else {
                // Rounded as the hardware rounds, to the nearest, ties to even (|code| < 2^31,
                // well inside the 2^51 the sum needs); two's complement in `bytes` bytes.
                constexpr double shifter = 6755399441055744.0; // 1.5 × 2^52
                const double x = low + (s + 1.0) * scale;
                const double up = x + shifter;
                word = static_cast<std::uint32_t>(static_cast<std::int64_t>(up - shifter));
            }
            for (int b = 0; b < bytes; ++b)
                *at++ = static_cast<unsigned char>(word >> (8 * (big ? bytes - 1 - b : b)));
        }
    };
    switch (info.bytes * 2 + (info.bigEndian ? 1 : 0)) {
    case 2:
    case 3:
        encode.template operator()<1, false>();
        break;
    case 4:
        encode.template operator()<2, false>();
        break;
    case 5:
        encode.template operator()<2, true>();
        break;
    case 8:
        encode.template operator()<4, false>();
        break;
    default:
        encode.template operator()<4, true>();
        break;
    }
    return out;
}

QByteArray definiteBlock(const QByteArray& bytes) {
    const QByteArray length = QByteArray::number(bytes.size());
    return '#' + QByteArray::number(length.size()) + length + bytes;
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

namespace {
// A profile's bytes, from a plain file only and at most one more than a profile may hold: a
// pipe, a device or a folder under the name is refused for what it is, and nothing waits.
QString readProfileFile(const QString& path, QByteArray& text) {
    if (path.startsWith(QLatin1Char(':'))) { // shipped inside the program
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return f.errorString();
        text = f.read(kMaxProfileBytes + 1);
        return QString();
    }
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    struct stat st {};
    QString why;
    if (::fstat(fd, &st) != 0)
        why = QString::fromLocal8Bit(std::strerror(errno));
    else if (S_ISFIFO(st.st_mode))
        why = QStringLiteral("it is a pipe, not a profile file");
    else if (S_ISDIR(st.st_mode))
        why = QStringLiteral("it is a folder, not a profile file");
    else if (!S_ISREG(st.st_mode))
        why = QStringLiteral("it is a device, not a profile file");
    if (why.isEmpty()) {
        text.resize(kMaxProfileBytes + 1);
        qsizetype got = 0;
        while (got < text.size()) {
            const ssize_t n =
                ::read(fd, text.data() + got, static_cast<std::size_t>(text.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                why = QString::fromLocal8Bit(std::strerror(errno));
            if (n <= 0)
                break;
            got += n;
        }
        text.truncate(got);
    }
    ::close(fd);
    return why;
#else
    QFile f(path);
    if (!QFileInfo(path).isFile())
        return QStringLiteral("it is not a profile file");
    if (!f.open(QIODevice::ReadOnly))
        return f.errorString();
    text = f.read(kMaxProfileBytes + 1);
    return QString();
#endif
}
} // namespace

QStringList profileFolders() {
    return {QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                QStringLiteral("/wavewright/profiles"),
            QStringLiteral(":/profiles")};
}

ProfileReading findProfile(const QString& nameOrPath) {
    QString path;
    if (nameOrPath.contains(QLatin1Char('/')) || nameOrPath.endsWith(QLatin1String(".profile"))) {
        path = nameOrPath;
    } else {
        for (const QString& folder : profileFolders()) {
            const QString candidate =
                folder + QLatin1Char('/') + nameOrPath + QStringLiteral(".profile");
            if (QFileInfo::exists(candidate)) {
                path = candidate;
                break;
            }
        }
    }
    ProfileReading r;
    if (path.isEmpty()) {
        r.error = QStringLiteral("no profile '%1'; the profiles are: %2")
                      .arg(nameOrPath, profileNames().join(QStringLiteral(", ")));
        return r;
    }
    QByteArray text;
    if (const QString why = readProfileFile(path, text); !why.isEmpty()) {
        r.error = QStringLiteral("%1: %2").arg(path, why);
        return r;
    }
    r = parseProfile(text);
    if (!r.error.isEmpty())
        r.error = QStringLiteral("%1: %2").arg(path, r.error);
    return r;
}

QStringList profileNames() {
    // The shipped ones first, then the user's own.
    QStringList names;
    QStringList folders = profileFolders();
    std::reverse(folders.begin(), folders.end());
    for (const QString& folder : folders)
        for (const QFileInfo& f :
             QDir(folder).entryInfoList({QStringLiteral("*.profile")}, QDir::Files, QDir::Name))
            if (!names.contains(f.completeBaseName()))
                names << f.completeBaseName();
    return names;
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
           "profile with a fault is refused with its line named.\n";
}

} // namespace ww
