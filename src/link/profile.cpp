#include "profile.h"

#include "model/numbers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cmath>
#include <cstring>
#include <limits>

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
    const bool block = p.upload.contains("{block}"), values = p.upload.contains("{values}");
    if (block == values)
        return fail(lineOf("upload"),
                    QStringLiteral("upload wants either {block} or {values}, once"));
    if (block && p.encoding == Profile::Encoding::Ascii)
        return fail(lineOf("upload"), QStringLiteral("{block} wants a binary encoding"));
    for (const QByteArray& marker : {QByteArray("{block}"), QByteArray("{values}")})
        if (p.upload.count(marker) > 1)
            return fail(lineOf("upload"), QStringLiteral("upload wants either {block} or "
                                                         "{values}, once"));
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

QList<QByteArray> uploadLines(const Profile& p, const std::vector<float>& samples,
                              const QString& name) {
    QList<QByteArray> lines;
    for (const QByteArray& b : p.before)
        lines << b + p.terminator;
    const QByteArray encoded = encodeSamples(p, samples);
    QByteArray upload = p.upload;
    upload.replace("{name}", name.toUtf8());
    upload.replace("{count}", QByteArray::number(static_cast<qulonglong>(samples.size())));
    // The data last: a block may hold any bytes, braces too.
    const int at = upload.indexOf(p.upload.contains("{block}") ? "{block}" : "{values}");
    const int marker = p.upload.contains("{block}") ? 7 : 8;
    upload = upload.left(at) + (p.upload.contains("{block}") ? definiteBlock(encoded) : encoded) +
             upload.mid(at + marker);
    lines << upload + p.terminator;
    for (const QByteArray& a : p.after) {
        QByteArray line = a;
        line.replace("{name}", name.toUtf8());
        line.replace("{count}", QByteArray::number(static_cast<qulonglong>(samples.size())));
        lines << line + p.terminator;
    }
    if (!p.check.isEmpty())
        lines << p.check + p.terminator;
    return lines;
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
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        r.error = QStringLiteral("%1: %2").arg(path, f.errorString());
        return r;
    }
    r = parseProfile(f.read(kMaxProfileBytes + 1));
    if (!r.error.isEmpty())
        r.error = QStringLiteral("%1: %2").arg(path, r.error);
    return r;
}

QStringList profileNames() {
    QStringList names;
    for (const QString& folder : profileFolders())
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
           "  points: 8..65536                  the counts the instrument takes, optionally\n"
           "                                    'multiple K' or 'power-of-two' after them\n"
           "  encoding: int16le                 int8 uint8 int16le int16be uint16le uint16be\n"
           "                                    int32le int32be float32le float32be ascii\n"
           "  codes: -32767 32767               the codes for -1 and +1 (not for floats;\n"
           "                                    for ascii without codes, the values)\n"
           "  before: FORM:BORD SWAP            sent first, in order\n"
           "  upload: SOUR1:DATA:ARB:DAC {name},{block}\n"
           "  after: SOUR1:FUNC:ARB {name}      sent after the data, in order\n"
           "  check: SYST:ERR?                  asked last; an answer not starting 0 or +0\n"
           "                                    fails the upload with the instrument's text\n"
           "  terminator: \\n                   ends every line (\\n by default)\n"
           "\n"
           "In upload: {block} is an IEEE 488.2 definite-length block of the encoded samples,\n"
           "{values} the codes as comma-separated text, {count} the number of points, {name}\n"
           "the waveform's name. A sample's code is the nearest whole number (ties to even) of\n"
           "code(-1) + (v + 1) / 2 x (code(+1) - code(-1)). A profile with a fault is refused\n"
           "with its line named.\n";
}

} // namespace ww
