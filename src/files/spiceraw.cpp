#include "spiceraw.h"

#include "nativefile.h"

#include <QString>
#include <charconv>
#include <cmath>
#include <cstring>

namespace ww {

namespace {
// UTF-16 (little-endian, as the simulators that use it write it) when the first character's
// high byte is 0, or a byte-order mark starts the file.
bool isUtf16(const QByteArray& bytes) {
    return (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
            static_cast<unsigned char>(bytes[1]) == 0xFE) ||
           (bytes.size() >= 4 && bytes[0] != 0 && bytes[1] == 0 && bytes[2] != 0 && bytes[3] == 0);
}

// The single-byte text of UTF-16LE bytes (the header is ASCII), from `from`, up to `most`
// characters.
QByteArray narrowed(const QByteArray& bytes, qsizetype from, qsizetype most) {
    QByteArray out;
    for (qsizetype i = from; i + 1 < bytes.size() && out.size() < most; i += 2)
        out += bytes[i + 1] == 0 ? bytes[i] : '?';
    return out;
}

// Where the header ends and the values start, in the header's text: after the line "Binary:"
// or "Values:"; -1 when neither is there.
qsizetype valuesStart(const QByteArray& text, bool& binary) {
    for (qsizetype at = 0; at < text.size();) {
        qsizetype end = text.indexOf('\n', at);
        if (end < 0)
            return -1;
        const QByteArray line = text.mid(at, end - at).trimmed();
        if (line == "Binary:" || line == "Values:") {
            binary = line == "Binary:";
            return end + 1;
        }
        at = end + 1;
    }
    return -1;
}

double number(const char* b, const char* e, bool& ok) {
    while (b < e && (*b == ' ' || *b == '\t'))
        ++b;
    if (b < e && *b == '+')
        ++b;
    double v = 0;
    const auto r = std::from_chars(b, e, v, std::chars_format::general);
    ok = r.ec == std::errc() && r.ptr == e;
    return v;
}
} // namespace

bool looksLikeSpiceRaw(const QByteArray& head) {
    const bool wide = isUtf16(head);
    const QByteArray text =
        wide ? narrowed(head, head.startsWith("\xFF\xFE") ? 2 : 0, 8192) : head.left(8192);
    return text.startsWith("Title:") &&
           (text.contains("\nVariables:") || text.contains("\nPlotname:"));
}

SpiceRaw parseSpiceRaw(const QByteArray& bytes, const ReadLimits& limits) {
    SpiceRaw raw;
    auto fail = [&raw](const QString& why) {
        raw.error = why;
        raw.columns.clear();
        return raw;
    };
    raw.utf16 = isUtf16(bytes);
    const qsizetype bom = raw.utf16 && bytes.startsWith("\xFF\xFE") ? 2 : 0;
    // The header, in single bytes: at most 1 MiB of it.
    const QByteArray header = raw.utf16 ? narrowed(bytes, bom, 1 << 20) : bytes.left(1 << 20);
    const qsizetype headerEnd = valuesStart(header, raw.binary);
    if (headerEnd < 0)
        return fail(QStringLiteral("The raw file has no \"Binary:\" or \"Values:\" line."));
    // Where the values start in the bytes.
    const qsizetype dataAt = raw.utf16 ? bom + 2 * headerEnd : headerEnd;

    qint64 variables = -1;
    bool inVariables = false;
    for (const QByteArray& whole : header.left(headerEnd).split('\n')) {
        const QByteArray line = whole.trimmed();
        if (line.isEmpty())
            continue;
        if (inVariables && (whole.startsWith('\t') || whole.startsWith(' ')) &&
            raw.names.size() < variables) {
            const QList<QByteArray> parts = line.simplified().split(' ');
            if (parts.size() < 3)
                return fail(QStringLiteral("Variable line \"%1\" is not \"index name type\".")
                                .arg(QString::fromLatin1(line.left(80))));
            raw.names << QString::fromLatin1(parts[1]);
            raw.types << QString::fromLatin1(parts[2]).toLower();
            continue;
        }
        inVariables = false;
        const qsizetype colon = line.indexOf(':');
        const QByteArray key = line.left(colon).trimmed().toLower();
        const QByteArray value = colon >= 0 ? line.mid(colon + 1).trimmed() : QByteArray();
        bool ok = true;
        if (key == "title") {
            raw.title = QString::fromLatin1(value);
        } else if (key == "plotname") {
            raw.plotname = QString::fromLatin1(value);
        } else if (key == "flags") {
            raw.complex = value.toLower().contains("complex");
            raw.floats = false;
        } else if (key == "no. variables") {
            variables = value.toLongLong(&ok);
            if (!ok || variables < 1 || variables > 100000)
                return fail(QStringLiteral("\"No. Variables: %1\" is not a count of 1 to 100000.")
                                .arg(QString::fromLatin1(value.left(40))));
        } else if (key == "no. points") {
            raw.points = value.toLongLong(&ok);
            if (!ok || raw.points < 0)
                return fail(QStringLiteral("\"No. Points: %1\" is not a count.")
                                .arg(QString::fromLatin1(value.left(40))));
        } else if (key == "variables") {
            if (variables < 1)
                return fail(QStringLiteral("\"Variables:\" comes before \"No. Variables:\"."));
            inVariables = true;
        }
    }
    if (variables < 1 || raw.names.size() != variables)
        return fail(QStringLiteral("The header names %1 of %2 variables.")
                        .arg(raw.names.size())
                        .arg(std::max<qint64>(variables, 0)));
    const qsizetype n = static_cast<qsizetype>(variables);

    const qint64 available = bytes.size() - dataAt;
    if (raw.binary) {
        // Each point's size: doubles, complex pairs, or a double and floats. The count the
        // header gives is checked against what the file holds.
        const qint64 doubles = n * (raw.complex ? 16 : 8), mixed = 8 + (n - 1) * 4;
        if (raw.points == 0)
            raw.points = available / doubles;
        if (!raw.complex && n > 1 && raw.points <= available / mixed &&
            raw.points * mixed == available)
            raw.floats = true;
        const qint64 each = raw.floats ? mixed : doubles;
        if (raw.points > 0 && available / each < raw.points)
            return fail(QStringLiteral("The values end after %1 of the %2 points the header "
                                       "gives.")
                            .arg(available / each)
                            .arg(raw.points));
        // More bytes than the points need: only another plot may follow (a simulator appends
        // them); anything else means the layout is not the one assumed, and no guess is made.
        const qint64 after = dataAt + raw.points * each;
        if (after < bytes.size()) {
            const QByteArray next = bytes.mid(after, 16);
            if (!next.startsWith("Title:") && !next.startsWith(QByteArray("T\0i\0t\0l\0e\0:", 12)))
                return fail(QStringLiteral("%1 bytes follow the %2 points the header gives, and "
                                           "they are not another plot: the values' layout is "
                                           "not one this program knows.")
                                .arg(bytes.size() - after)
                                .arg(raw.points));
        }
    }
    if (raw.points > limits.values / std::max<qint64>(n, 1))
        return fail(QStringLiteral("%1 points of %2 variables are more than %3 values.")
                        .arg(raw.points)
                        .arg(n)
                        .arg(limits.values));
    raw.columns.assign(static_cast<std::size_t>(n),
                       std::vector<double>(static_cast<std::size_t>(raw.points)));
    if (raw.binary) {
        const char* p = bytes.constData() + dataAt;
        for (qint64 i = 0; i < raw.points; ++i)
            for (qsizetype k = 0; k < n; ++k) {
                double v = 0;
                if (raw.complex) {
                    double re = 0, im = 0;
                    std::memcpy(&re, p, 8);
                    std::memcpy(&im, p + 8, 8);
                    p += 16;
                    v = std::hypot(re, im);
                } else if (raw.floats && k > 0) {
                    float f = 0;
                    std::memcpy(&f, p, 4);
                    p += 4;
                    v = f;
                } else {
                    std::memcpy(&v, p, 8);
                    p += 8;
                }
                raw.columns[static_cast<std::size_t>(k)][static_cast<std::size_t>(i)] = v;
            }
    } else {
        // Text: each point an index, then its values, a complex one "re,im".
        const QByteArray text =
            raw.utf16 ? narrowed(bytes, dataAt, bytes.size()) : bytes.mid(dataAt);
        const char* p = text.constData();
        const char* end = p + text.size();
        auto token = [&](const char*& b, const char*& e) {
            while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r'))
                ++p;
            b = p;
            while (p < end && *p != ' ' && *p != '\t' && *p != '\n' && *p != '\r')
                ++p;
            e = p;
            return b < e;
        };
        qint64 i = 0;
        for (; raw.points == 0 || i < raw.points; ++i) {
            const char *b = nullptr, *e = nullptr;
            if (!token(b, e))
                break;
            if (raw.points == 0 && i >= limits.values / n)
                return fail(QStringLiteral("More than %1 values.").arg(limits.values));
            for (qsizetype k = 0; k < n; ++k) {
                if (!token(b, e))
                    return fail(QStringLiteral("The values end inside point %1.").arg(i));
                double v = 0;
                bool ok = false;
                if (raw.complex) {
                    const char* comma = static_cast<const char*>(std::memchr(b, ',', e - b));
                    bool ok2 = false;
                    const double re = comma ? number(b, comma, ok) : 0;
                    const double im = comma ? number(comma + 1, e, ok2) : 0;
                    ok = ok && ok2;
                    v = std::hypot(re, im);
                } else {
                    v = number(b, e, ok);
                }
                if (!ok)
                    return fail(QStringLiteral("Point %1 of %2 is not a number: \"%3\".")
                                    .arg(i)
                                    .arg(raw.names[k])
                                    .arg(QString::fromLatin1(b, std::min<qsizetype>(e - b, 40))));
                if (raw.points == 0)
                    raw.columns[static_cast<std::size_t>(k)].push_back(v);
                else
                    raw.columns[static_cast<std::size_t>(k)][static_cast<std::size_t>(i)] = v;
            }
        }
        if (raw.points > 0 && i < raw.points)
            return fail(QStringLiteral("The values end after %1 of the %2 points the header "
                                       "gives.")
                            .arg(i)
                            .arg(raw.points));
        raw.points = i;
    }
    // A negative time marks a step in some simulators' files: its size is the time.
    if (raw.types.value(0) == QLatin1String("time"))
        for (double& t : raw.columns.front())
            t = std::abs(t);
    return raw;
}

SpiceRaw readSpiceRaw(InputFile& file, const QByteArray& head, const ReadLimits& limits,
                      const std::function<bool(double)>& progress) {
    QByteArray bytes = head;
    const std::int64_t size = file.size();
    if (size > limits.fileBytes) {
        SpiceRaw raw;
        raw.error = QStringLiteral("The file is larger than %1 bytes.").arg(limits.fileBytes);
        return raw;
    }
    if (size > 0)
        bytes.reserve(static_cast<qsizetype>(size));
    for (;;) {
        const std::int64_t n = file.read(bytes, std::int64_t(1) << 24);
        if (n < 0) {
            SpiceRaw raw;
            raw.error = file.error();
            return raw;
        }
        if (n == 0)
            break;
        if (bytes.size() > limits.fileBytes) {
            SpiceRaw raw;
            raw.error = QStringLiteral("The file is larger than %1 bytes.").arg(limits.fileBytes);
            return raw;
        }
        if (progress && !progress(size > 0 ? static_cast<double>(bytes.size()) / size : -1)) {
            SpiceRaw raw;
            raw.error = QStringLiteral("Stopped.");
            return raw;
        }
    }
    return parseSpiceRaw(bytes, limits);
}

} // namespace ww
