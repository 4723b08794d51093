#include "expression.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <muParser.h>

namespace ww {

namespace {
constexpr double kTwoPi = 2.0 * 3.14159265358979323846;

// Where p lies in its period, 0 <= u < 1.
double phase(double p) {
    const double u = p / kTwoPi;
    return u - std::floor(u);
}
double square(double p) {
    return phase(p) < 0.5 ? 1.0 : -1.0;
}
double triangle(double p) {
    const double u = phase(p);
    return u < 0.25 ? 4.0 * u : u < 0.75 ? 2.0 - 4.0 * u : 4.0 * u - 4.0;
}
double saw(double p) {
    return 2.0 * phase(p) - 1.0;
}
double pulse(double p, double duty) {
    return phase(p) < duty ? 1.0 : -1.0;
}
double clip(double v, double lo, double hi) {
    return std::min(std::max(v, lo), hi);
}
// Uniform in -1..+1, fixed by the seed and the sample index (splitmix64 of both).
double noise(void* sampleIndex, double seed) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &seed, sizeof bits);
    std::uint64_t z = bits * 0x9E3779B97F4A7C15ull +
                      static_cast<std::uint64_t>(*static_cast<double*>(sampleIndex));
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * 0x1.0p-53 * 2.0 - 1.0;
}

// A comma outside every bracket makes muparser return several results, of which the last would
// be taken; an "=" that is no comparison assigns. Neither is one waveform.
std::optional<Expression::Error> oneValue(const QString& text) {
    int depth = 0;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('('))
            ++depth;
        else if (c == QLatin1Char(')'))
            --depth;
        else if (c == QLatin1Char(',') && depth <= 0) {
            const bool decimal =
                i > 0 && i + 1 < text.size() && text[i - 1].isDigit() && text[i + 1].isDigit();
            return Expression::Error{
                decimal ? QStringLiteral("A comma separates results; for a decimal, write a "
                                         "point (0.5, not 0,5).")
                        : QStringLiteral("An expression gives one value: the comma would make "
                                         "several results."),
                i};
        } else if (c == QLatin1Char('=')) {
            const QChar before = i > 0 ? text[i - 1] : QChar();
            const QChar after = i + 1 < text.size() ? text[i + 1] : QChar();
            if (QStringLiteral("<>!=").contains(before) || after == QLatin1Char('='))
                continue;
            return Expression::Error{
                QStringLiteral("'=' would assign; an expression gives one value (to compare, "
                               "write ==)."),
                i};
        }
    }
    return std::nullopt;
}
} // namespace

struct Expression::Impl {
    mutable mu::Parser parser;
    mutable double x = 0, n = 0, N = 1, t = 0, y = 0;
    bool valid = false;

    Impl() {
        parser.DefineVar("x", &x);
        parser.DefineVar("n", &n);
        parser.DefineVar("N", &N);
        parser.DefineVar("t", &t);
        parser.DefineVar("y", &y);
        parser.DefineConst("pi", kTwoPi / 2.0);
        parser.DefineConst("e", 2.71828182845904523536);
        parser.DefineFun("square", square);
        parser.DefineFun("triangle", triangle);
        parser.DefineFun("saw", saw);
        parser.DefineFun("pulse", pulse);
        parser.DefineFun("clip", clip);
        // Not folded into a constant: it depends on n as well as on its seed.
        parser.DefineFunUserData("noise", noise, &n, false);
    }
};

Expression::Expression() : d(std::make_unique<Impl>()) {}
Expression::~Expression() = default;

std::optional<Expression::Error> Expression::setText(const QString& text) {
    d->valid = false;
    if (text.trimmed().isEmpty())
        return Error{QStringLiteral("Write an expression, for example sin(x)."), -1};
    if (auto error = oneValue(text))
        return error;
    try {
        d->parser.SetExpr(text.toStdString());
        d->parser.Eval(); // the syntax is checked on the first evaluation
    } catch (const mu::Parser::exception_type& e) {
        return Error{QString::fromStdString(e.GetMsg()), e.GetPos()};
    }
    d->valid = true;
    return std::nullopt;
}

bool Expression::usesCurrent() const {
    if (!d->valid)
        return false;
    const mu::varmap_type used = d->parser.GetUsedVar();
    return used.find("y") != used.end();
}

QString Expression::help() {
    return QStringLiteral(
        "x runs over 0..2pi across the waveform, n is the sample index, N the length, "
        "t = n/N, y the current sample.\n"
        "Constants: pi, e. Operators: + - * / ^, comparisons < <= > >= == !=, && ||, "
        "and c ? a : b.\n"
        "Waveforms (period 2pi, range -1..+1): square(p), triangle(p), saw(p), "
        "pulse(p, duty) with duty 0..1, noise(seed).\n"
        "clip(v, lo, hi); sin(v), cos(v), tan(v), asin(v), acos(v), atan(v), sinh(v), "
        "cosh(v), tanh(v), asinh(v), acosh(v), atanh(v); exp(v), ln(v), log(v), log2(v), "
        "log10(v), sqrt(v), abs(v), sign(v), rint(v); min(a, b, ...), max(a, b, ...), "
        "sum(a, b, ...), avg(a, b, ...).\n"
        "Decimals are written with a point.");
}

Expression::Values Expression::evaluate(int length, const float* current) const {
    clearUpperVectorState();
    Values out;
    if (!d->valid || length <= 0)
        return out;
    out.samples.resize(static_cast<std::size_t>(length));
    d->N = length;
    for (int i = 0; i <= length; ++i) {
        d->n = i;
        d->t = static_cast<double>(i) / length;
        d->x = kTwoPi * d->t;
        // One sample on, the waveform starts its next period: y is its first sample again.
        d->y = current ? current[i < length ? i : 0] : 0.0;
        double v;
        try {
            v = d->parser.Eval();
        } catch (const mu::Parser::exception_type&) {
            v = std::nan("");
        }
        if (i == length) {
            out.closing = std::isfinite(v) ? v : out.samples.front();
            break;
        }
        out.samples[static_cast<std::size_t>(i)] = v;
        if (!std::isfinite(v)) {
            if (out.nonFiniteAt < 0)
                out.nonFiniteAt = i;
        } else {
            out.peak = std::max(out.peak, std::abs(v));
        }
    }
    return out;
}

std::vector<float> fitWithClosing(const Expression::Values& values, Fit fit) {
    std::vector<float> out = fitToRange(values.samples, fit);
    const double scale = fit == Fit::Peak && values.peak > 1.0 ? 1.0 / values.peak : 1.0;
    out.push_back(static_cast<float>(std::clamp(values.closing * scale, -1.0, 1.0)));
    return out;
}

std::vector<float> fitToRange(const std::vector<double>& values, Fit fit) {
    double peak = 0.0;
    for (const double v : values)
        peak = std::max(peak, std::abs(v));
    const double scale = fit == Fit::Peak && peak > 1.0 ? 1.0 / peak : 1.0;
    std::vector<float> out(values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        out[i] = static_cast<float>(std::clamp(values[i] * scale, -1.0, 1.0));
    return out;
}

} // namespace ww
