#include "formula.h"

#include "model/numbers.h"
#include "shapes.h"

#include <charconv>
#include <cmath>
#include <vector>

namespace ww {

double leadingNumber(QStringView text) {
    std::string digits;
    bool sign = false, point = false, any = false;
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r')
            continue;
        if ((c == u'-' || c == u'+') && !sign && !any && !point) {
            sign = true;
            digits += static_cast<char>(c);
            continue;
        }
        if (c == u'.' && !point) {
            point = true;
            digits += '.';
            continue;
        }
        if (c >= u'0' && c <= u'9') {
            any = true;
            digits += static_cast<char>(c);
            continue;
        }
        break;
    }
    if (!any)
        return 0.0;
    // from_chars reads the point whatever the user's locale; it takes no leading "+".
    const char* first = digits.data();
    if (*first == '+')
        ++first;
    double v = 0.0;
    if (std::from_chars(first, digits.data() + digits.size(), v).ec ==
        std::errc::result_out_of_range) {
        // Too many digits for a double: a large number is infinite (refused later), a tiny one 0.
        if (digits.find_first_of("123456789") > digits.find('.'))
            return 0.0;
        return digits.front() == '-' ? -HUGE_VAL : HUGE_VAL;
    }
    return v;
}

FormulaParse parseSineSum(const QString& answer) {
    FormulaParse r;
    if (answer.isEmpty()) {
        r.error = FormulaError::Empty;
        return r;
    }
    QString text = answer.toLower();
    // Only blanks are trimmed, as the answer came.
    qsizetype b = 0, e = text.size();
    while (b < e && text.at(b) == u' ')
        ++b;
    while (e > b && text.at(e - 1) == u' ')
        --e;
    const QStringView f = QStringView(text).mid(b, e - b);
    qsizetype pos = 0;

    // Steps over a prefix; false when the formula ends inside it.
    auto prefix = [&](bool& nonEmpty) {
        const qsizetype start = pos;
        while (pos < f.size() && f.at(pos).unicode() < u'a')
            ++pos;
        nonEmpty = pos > start;
        return pos < f.size();
    };
    auto expect = [&](QStringView word) {
        if (f.mid(pos).startsWith(word)) {
            pos += word.size();
            return true;
        }
        return false;
    };
    auto fail = [&] {
        r.error = FormulaError::Malformed;
        return r;
    };

    bool given = false;
    qsizetype s = pos;
    if (!prefix(given))
        return fail();
    if (given)
        r.terms.A = leadingNumber(f.mid(s));
    if (!expect(u"sin"))
        return fail();
    s = pos;
    if (!prefix(given))
        return fail();
    if (given)
        r.terms.B = leadingNumber(f.mid(s));
    if (!expect(u"x+"))
        return fail();
    s = pos;
    if (!prefix(given))
        return fail();
    if (given)
        r.terms.C = static_cast<float>(leadingNumber(f.mid(s)));
    if (!expect(u"sin"))
        return fail();
    s = pos;
    if (!prefix(given))
        return fail();
    if (given) {
        const double d = roundHalfEven(leadingNumber(f.mid(s)));
        if (d >= -32768.0 && d <= 32767.0) // a number beyond 16 bits keeps the 1
            r.terms.D = static_cast<int>(d);
    }
    if (!expect(u"x"))
        return fail();
    return r;
}

FormulaError applySineSum(WaveStore& store, const SineSumTerms& t) {
    const float sum = static_cast<float>(t.A + t.C);
    int k = 1;
    if (t.B != 0.0) {
        const double q = roundHalfEven(t.D / t.B);
        if (q >= -32768.0 && q <= 32767.0)
            k = static_cast<int>(q);
    }
    if (sum == 0.0f || !std::isfinite(sum) || !std::isfinite(t.A) || !std::isfinite(t.C))
        return FormulaError::NoFiniteResult;

    const int oldLength = store.length();
    float length = store.ArbLength;
    // A negative K rounds the length up to a multiple of its magnitude.
    if (k != 0)
        length = static_cast<float>(std::floor(static_cast<double>(length) / k) * k);
    const int n = static_cast<int>(length);
    if (n - 1 > kStoreLastIndex) // the samples would not fit the store
        return FormulaError::TooLong;
    const double p = kShapePi;
    std::vector<float> out(static_cast<std::size_t>(std::max(n, 0)));
    for (int i = 0; i < n; ++i) {
        float v = static_cast<float>(t.A * std::sin(2.0 * i * p / length));
        v = static_cast<float>(v + static_cast<double>(t.C) *
                                       std::sin(2.0 * (i / static_cast<double>(length)) * k * p));
        v = static_cast<float>(static_cast<double>(v) / sum);
        if (!std::isfinite(v))
            return FormulaError::NoFiniteResult;
        out[static_cast<std::size_t>(i)] = v;
    }
    for (int i = 0; i < oldLength; ++i)
        store.ArbData[i] = 0.0f;
    std::copy(out.begin(), out.end(), store.ArbData.begin());
    store.ArbLength = length;
    return FormulaError::None;
}

} // namespace ww
