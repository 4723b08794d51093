#include "generatorlines.h"

#include "model/numbers.h"

#include <cmath>

namespace ww {

QByteArray reversedHex4(int n) {
    static const char digits[] = "0123456789ABCDEF";
    n &= 0xFFFF;
    QByteArray out(4, '0');
    for (int k = 0; k < 4; ++k) {
        out[k] = digits[n & 0xF];
        n >>= 4;
    }
    return out;
}

QByteArray reversedDecimal2(int n) {
    QByteArray d = QByteArray::number(n);
    if (d.size() < 2)
        d.prepend('0');
    std::reverse(d.begin(), d.end());
    return d;
}

int sampleCode(float v) {
    if (std::isnan(v))
        v = 0.0f;
    const double code = roundHalfEven((static_cast<double>(v) + 1.0) / 2.0 * 4095.0);
    if (code < 0.0)
        return 0;
    if (code > 4095.0)
        return 4095;
    return static_cast<int>(code);
}

QByteArray headerLine(float arbNumber, float arbLength) {
    return QByteArray("ARB:P_P ") + reversedDecimal2(toInt32(arbNumber)) +
           reversedHex4(toInt32(arbLength)) + kGeneratorEol;
}

QByteArray dataLine(const WaveStore& store, int block) {
    QByteArray line;
    line.reserve(527);
    line += "ARB:DATA ";
    line += reversedHex4(block + 1);
    line += ' ';
    const int length = toInt32(store.ArbLength);
    for (int k = 0; k < kBlockSamples; ++k) {
        const int i = block * kBlockSamples + k;
        line += i < length && i <= kStoreLastIndex ? reversedHex4(sampleCode(store.ArbData[i]))
                                                   : QByteArray("0000");
    }
    line += kGeneratorEol;
    return line;
}

int blockCount(float arbLength) {
    const int length = toInt32(arbLength);
    return (length + kBlockSamples - 1) / kBlockSamples;
}

} // namespace ww
