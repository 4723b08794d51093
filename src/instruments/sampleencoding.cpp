#include "sampleencoding.h"

#include "model/numbers.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace ww {

namespace {
constexpr EncodingInfo kEncodings[] = {
    {"int8", SampleEncoding::Int8, 1, true, false},
    {"uint8", SampleEncoding::UInt8, 1, false, false},
    {"int16le", SampleEncoding::Int16LE, 2, true, false},
    {"int16be", SampleEncoding::Int16BE, 2, true, true},
    {"uint16le", SampleEncoding::UInt16LE, 2, false, false},
    {"uint16be", SampleEncoding::UInt16BE, 2, false, true},
    {"int32le", SampleEncoding::Int32LE, 4, true, false},
    {"int32be", SampleEncoding::Int32BE, 4, true, true},
    {"float32le", SampleEncoding::Float32LE, 4, false, false},
    {"float32be", SampleEncoding::Float32BE, 4, false, true},
    {"ascii", SampleEncoding::Ascii, 0, true, false},
};

} // namespace

const EncodingInfo& infoOf(SampleEncoding e) {
    for (const EncodingInfo& i : kEncodings)
        if (i.encoding == e)
            return i;
    return kEncodings[0];
}

const EncodingInfo* encodingNamed(QByteArrayView name) {
    for (const EncodingInfo& i : kEncodings)
        if (name == i.name)
            return &i;
    return nullptr;
}

QString encodingNames() {
    QStringList names;
    for (const EncodingInfo& i : kEncodings)
        names << QString::fromLatin1(i.name);
    return names.join(QLatin1Char(' '));
}

void codeRange(SampleEncoding e, double& lo, double& hi) {
    const EncodingInfo& i = infoOf(e);
    if (i.bytes == 0) { // text: any 32-bit code
        lo = std::numeric_limits<std::int32_t>::min();
        hi = std::numeric_limits<std::int32_t>::max();
        return;
    }
    const double span = std::ldexp(1.0, 8 * i.bytes);
    lo = i.isSigned ? -span / 2 : 0;
    hi = i.isSigned ? span / 2 - 1 : span - 1;
}

QByteArray encodeBinary(SampleEncoding e, const std::vector<float>& samples, double codeLow,
                        double codeHigh) {
    const EncodingInfo& info = infoOf(e);
    QByteArray out;
    // Written in place, a loop for each width and byte order: a waveform of 16000 samples is
    // encoded at each upload.
    clearUpperVectorState();
    out.resize(static_cast<qsizetype>(samples.size()) * info.bytes);
    auto* at = reinterpret_cast<unsigned char*>(out.data());
    const double low = codeLow, scale = (codeHigh - codeLow) / 2.0;
    const bool isFloat = e == SampleEncoding::Float32LE || e == SampleEncoding::Float32BE;
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

std::vector<double> decodeSamples(SampleEncoding e, QByteArrayView bytes, QString& why) {
    std::vector<double> codes;
    why = decodeInto(e, bytes, codes);
    if (!why.isEmpty())
        codes.clear();
    return codes;
}

QString decodeInto(SampleEncoding e, QByteArrayView bytes, std::vector<double>& codes) {
    const EncodingInfo& info = infoOf(e);
    if (info.bytes == 0) {
        // Numbers between commas, blanks or line ends; nothing else.
        const char* p = bytes.data();
        const char* end = p + bytes.size();
        auto isGap = [](char c) {
            return c == ',' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
        };
        while (p < end) {
            while (p < end && isGap(*p))
                ++p;
            const char* word = p;
            while (p < end && !isGap(*p))
                ++p;
            if (word == p)
                break;
            const QByteArray text(word, p - word);
            bool ok = false;
            const double v = text.toDouble(&ok);
            if (!ok || !std::isfinite(v))
                return QStringLiteral("'%1' is not a number")
                    .arg(QString::fromLatin1(text.left(24)));
            codes.push_back(v);
        }
        return QString();
    }
    if (bytes.size() % info.bytes != 0)
        return QStringLiteral("%1 bytes are not whole samples of %2 bytes")
            .arg(bytes.size())
            .arg(info.bytes);
    const auto* at = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = static_cast<std::size_t>(bytes.size() / info.bytes);
    const std::size_t from = codes.size();
    codes.resize(from + n);
    double* out = codes.data() + from;
    // Bytes, the deep records, one loop each; the wider encodings word by word.
    if (e == SampleEncoding::UInt8) {
        for (std::size_t i = 0; i < n; ++i)
            out[i] = at[i];
        return QString();
    }
    if (e == SampleEncoding::Int8) {
        for (std::size_t i = 0; i < n; ++i)
            out[i] = static_cast<signed char>(at[i]);
        return QString();
    }
    const bool isFloat = e == SampleEncoding::Float32LE || e == SampleEncoding::Float32BE;
    for (std::size_t i = 0; i < n; ++i, at += info.bytes) {
        std::uint32_t word = 0;
        for (int b = 0; b < info.bytes; ++b)
            word |= std::uint32_t(at[b]) << (8 * (info.bigEndian ? info.bytes - 1 - b : b));
        if (isFloat) {
            float f = 0;
            std::memcpy(&f, &word, 4);
            if (!std::isfinite(f))
                return QStringLiteral("sample %1 is not a number").arg(from + i);
            out[i] = f;
        } else if (info.isSigned) {
            const int shift = 32 - 8 * info.bytes;
            out[i] = static_cast<std::int32_t>(word << shift) >> shift;
        } else {
            out[i] = word;
        }
    }
    return QString();
}

QByteArray definiteBlock(const QByteArray& bytes) {
    const QByteArray length = QByteArray::number(bytes.size());
    return '#' + QByteArray::number(length.size()) + length + bytes;
}

BlockHeader readBlockHeader(QByteArrayView bytes, qint64 mostBytes) {
    BlockHeader h;
    if (bytes.isEmpty())
        return h;
    auto bad = [&h](const QString& why) {
        h.state = BlockHeader::Bad;
        h.why = why;
        return h;
    };
    if (bytes[0] != '#')
        return bad(QStringLiteral("the data is not a block (it starts with %1, not '#')")
                       .arg(QString::fromLatin1(bytes.first(std::min<qsizetype>(12, bytes.size()))
                                                    .toByteArray()
                                                    .toPercentEncoding(" ,:"))));
    if (bytes.size() < 2)
        return h;
    const char digits = bytes[1];
    if (digits == '0')
        return bad(QStringLiteral("the block has no length (#0): an indefinite block is not read"));
    if (digits < '1' || digits > '9')
        return bad(QStringLiteral("the block's length digit is not 1 to 9"));
    const int count = digits - '0';
    if (bytes.size() < 2 + count)
        return h;
    qint64 length = 0;
    for (int i = 0; i < count; ++i) {
        const char c = bytes[2 + i];
        if (c < '0' || c > '9')
            return bad(QStringLiteral("the block's length is not a number"));
        length = length * 10 + (c - '0');
    }
    if (length > mostBytes)
        return bad(QStringLiteral("the block says %1 bytes, more than the %2 read at most")
                       .arg(length)
                       .arg(mostBytes));
    h.state = BlockHeader::Complete;
    h.headerBytes = 2 + count;
    h.length = length;
    return h;
}

} // namespace ww
