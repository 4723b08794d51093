#include "wavefile.h"

#include "model/numbers.h"

#include <QFile>
#include <QSaveFile>
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

QString writeWaveFile(const QString& path, const QString& lengthText, const WaveStore& store) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    const QByteArray bytes = waveFileBytes(lengthText, store);
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return why;
    }
    if (!file.commit())
        return file.errorString();
    return QString();
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
    if (r.ec != std::errc() || r.ptr != last || !std::isfinite(v))
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
    }
    return c;
}

WaveFileContent readWaveFile(const QString& path, WaveFileUse use) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        WaveFileContent c;
        c.error = file.errorString();
        return c;
    }
    // A waveform file is at most some 130 kB; anything far larger is not one.
    if (file.size() > 64 * 1024 * 1024) {
        WaveFileContent c;
        c.error = QStringLiteral("The file is too large for a waveform file.");
        return c;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        WaveFileContent c;
        c.error = file.errorString();
        return c;
    }
    return parseWaveFile(bytes, use);
}

} // namespace ww
