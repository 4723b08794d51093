#include "wavefile.h"

#include "model/numbertext.h"

#include "model/numbers.h"

#include "nativefile.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace ww {

QByteArray waveFileBytes(const QString& lengthText, const WaveStore& store) {
    QByteArray out;
    out += lengthText.toLatin1();
    out += "\r\n";
    double value = 0.0;
    const bool ok = parseFileNumber(lengthText.toLatin1(), value);
    const int last = ok ? WaveStore::clampIndex(toInt32(value) - 1) : -1;
    out.reserve(out.size() + (last + 1) * 8);
    for (int i = 0; i <= last; ++i) {
        appendFormattedSample(out, store.ArbData[i]);
        out += "\r\n";
    }
    return out;
}

bool isSaveableLength(const QString& lengthText) {
    double value = 0.0;
    if (!parseFileNumber(lengthText.toLatin1(), value) || std::abs(value) > 1e9)
        return false;
    const int lines = toInt32(value - 1) + 1;
    return lines >= kMinLength && lines <= kMaxLength;
}

QString writeWaveFile(const QString& path, const QString& lengthText, const WaveStore& store) {
    return writeWhole(path, waveFileBytes(lengthText, store));
}

bool hasWaveFileExtension(const QString& name) {
    const QString tail = name.right(4);
    return tail == QLatin1String(".txt") || tail == QLatin1String(".TXT");
}

bool parseFileNumber(QByteArrayView text, double& value) {
    QByteArray t = text.trimmed().toByteArray();
    if (t.isEmpty())
        return false;
    t.replace(',', '.');
    const char* first = t.constData();
    const char* last = first + t.size();
    if (*first == '+' && first + 1 != last && first[1] != '-')
        ++first;
    // Decimal numbers, with or without an exponent; no "inf", "nan" or hexadecimal.
    for (const char* p = first; p != last; ++p)
        if (!((*p >= '0' && *p <= '9') || *p == '.' || *p == '-' || *p == '+' || *p == 'e' ||
              *p == 'E'))
            return false;
    double v = 0.0;
    const auto r = std::from_chars(first, last, v, std::chars_format::general);
    if (r.ptr != last)
        return false;
    if (r.ec == std::errc::result_out_of_range)
        v = beyondDoubleRange(first, last); // below the range it is 0; beyond, refused
    else if (r.ec != std::errc())
        return false;
    if (!std::isfinite(v))
        return false;
    value = v;
    return true;
}

WaveFileContent parseWaveFile(const QByteArray& bytes, WaveFileUse use) {
    WaveFileContent c;
    qsizetype pos = 0;
    auto nextLine = [&](QByteArrayView& line) {
        if (pos >= bytes.size())
            return false;
        qsizetype end = bytes.indexOf('\n', pos);
        if (end < 0)
            end = bytes.size();
        qsizetype stop = end;
        if (stop > pos && bytes.at(stop - 1) == '\r')
            --stop;
        line = QByteArrayView(bytes.constData() + pos, stop - pos);
        pos = end + 1;
        return true;
    };

    QByteArrayView line;
    if (!nextLine(line)) {
        c.error = QStringLiteral("The file is empty.");
        return c;
    }
    if (!parseFileNumber(line, c.lengthValue)) {
        c.error = QStringLiteral("Line 1 does not hold the waveform length.");
        return c;
    }
    const double rounded = roundHalfEven(c.lengthValue);
    const int lowest = use == WaveFileUse::Open ? kMinLength : 0;
    if (rounded > kMaxLength) {
        c.lengthLimited = true;
        c.length = kMaxLength;
    } else if (rounded < lowest) {
        c.lengthLimited = use == WaveFileUse::Open;
        c.length = lowest;
    } else {
        c.length = static_cast<int>(rounded);
    }
    c.samples.assign(static_cast<std::size_t>(c.length), 0.0f);
    for (int i = 0; i < c.length; ++i) {
        const bool more = nextLine(line);
        if (!more || line.isEmpty()) {
            if (use == WaveFileUse::Open)
                break; // Open takes the rest as 0.0
            // Add and Subtract would mix in zeros the file never held.
            c.error = (more ? QStringLiteral("Line %1 is empty")
                            : QStringLiteral("The file ends before line %1"))
                          .arg(i + 2) +
                      QStringLiteral("; line 1 announces %1 samples.").arg(c.length);
            c.samples.clear();
            return c;
        }
        double v = 0.0;
        if (!parseFileNumber(line, v) || std::abs(v) > 3.4028234663852886e38) {
            c.error = QStringLiteral("Line %1 does not hold a sample value.").arg(i + 2);
            c.samples.clear();
            return c;
        }
        c.samples[static_cast<std::size_t>(i)] = static_cast<float>(v);
        c.held = i + 1;
    }
    if (c.held == c.length)
        while (nextLine(line))
            if (!line.trimmed().isEmpty()) {
                c.more = true;
                break;
            }
    return c;
}

QByteArray readHead(const QString& path, std::int64_t most, QString& error) {
    InputFile file(path);
    QByteArray bytes;
    if (!file.isOpen()) {
        error = file.error();
        return bytes;
    }
    while (bytes.size() < most) {
        const std::int64_t n =
            file.read(bytes, std::min<std::int64_t>(most - bytes.size(), 1 << 20));
        if (n < 0) {
            error = file.error();
            return QByteArray();
        }
        if (n == 0)
            break;
    }
    return bytes;
}

WaveFileContent readWaveFile(const QString& path, WaveFileUse use) {
    WaveFileContent c;
    // A waveform file is at most some 130 kB: far more than it can be is not one.
    QString why;
    const QByteArray bytes = readHead(path, kWaveFileMostBytes + 1, why);
    if (!why.isEmpty()) {
        c.error = why;
        return c;
    }
    if (bytes.size() > kWaveFileMostBytes) {
        c.error = QStringLiteral("The file is too large for a waveform file.");
        return c;
    }
    return parseWaveFile(bytes, use);
}

bool looksLikeWaveFile(const QByteArray& head, bool wholeFile, bool named) {
    // Line 1 a plain whole number, then sample lines. A file named .txt is taken as it stands
    // (Open reads what it holds); another must hold exactly as many samples as line 1 says.
    qsizetype pos = 0;
    auto nextLine = [&](QByteArrayView& line) {
        if (pos >= head.size())
            return false;
        qsizetype end = head.indexOf('\n', pos);
        if (end < 0) {
            if (!wholeFile)
                return false; // cut short by the head: not judged
            end = head.size();
        }
        line = QByteArrayView(head.constData() + pos, end - pos);
        if (line.endsWith('\r'))
            line.chop(1);
        pos = end + 1;
        return true;
    };
    QByteArrayView line;
    if (!nextLine(line))
        return false;
    const QByteArrayView first = line.trimmed();
    if (first.isEmpty() || first.size() > 9 ||
        !std::all_of(first.begin(), first.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    if (named)
        return true; // Open's own reading says what is wrong with the lines after it
    const long long announced = first.toLongLong();
    long long samples = 0;
    double v = 0;
    while (nextLine(line) && !line.trimmed().isEmpty()) {
        if (!parseFileNumber(line, v))
            return false;
        if (++samples > kMaxLength + 1)
            break;
    }
    if (samples == 0)
        return false;
    // Past the samples, nothing but blank lines.
    while (nextLine(line))
        if (!line.trimmed().isEmpty())
            return false;
    return samples == announced && wholeFile;
}

} // namespace ww
