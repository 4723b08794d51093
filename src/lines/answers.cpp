#include "answers.h"

namespace ww {

QString shownAnswer(const QByteArray& bytes) {
    QString out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        out += (u < 0x20 || u >= 0x7f) ? QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'))
                                       : QString(QLatin1Char(c));
    }
    return out;
}

} // namespace ww
