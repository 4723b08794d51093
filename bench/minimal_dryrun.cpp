// The baseline of the command line's dry run: a minimal Qt console program that reads a
// waveform file and prints the generator's lines for it, with nothing else around.
#include <QCoreApplication>
#include <QFile>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {
void reversedHex4(std::string& out, int n) {
    static const char digits[] = "0123456789ABCDEF";
    for (int k = 0; k < 4; ++k, n >>= 4)
        out += digits[n & 0xF];
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (argc < 2 || !file.open(QIODevice::ReadOnly))
        return 1;
    const QList<QByteArray> lines = file.readAll().split('\n');
    const int length = lines.value(0).trimmed().toInt();
    std::vector<float> samples(static_cast<std::size_t>(length));
    for (int i = 0; i < length; ++i) {
        const QByteArray t = lines.value(i + 1).trimmed();
        std::from_chars(t.constData(), t.constData() + t.size(), samples[i]);
    }
    std::string out = "ARB:P_P 10";
    reversedHex4(out, length);
    out += '\n';
    for (int b = 0; b * 128 < length; ++b) {
        out += "ARB:DATA ";
        reversedHex4(out, b + 1);
        out += ' ';
        for (int i = b * 128; i < (b + 1) * 128; ++i)
            reversedHex4(out, i < length ? static_cast<int>(
                                               std::nearbyint((samples[i] + 1.0) / 2.0 * 4095.0))
                                         : 0);
        out += '\n';
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
