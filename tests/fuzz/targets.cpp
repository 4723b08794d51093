#include "targets.h"

#include "files/bytime.h"
#include "files/resample.h"
#include "files/sound.h"
#include "files/spiceraw.h"
#include "files/table.h"
#include "files/wavefile.h"
#include "instruments/scopeprofile.h"
#include "synth/arith.h"
#include "synth/expression.h"
#include "synth/formula.h"

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ww::fuzz {

namespace {
void require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

void requireFinite(const WaveStore& s) {
    for (float v : s.ArbData)
        require(std::isfinite(v), "a sample is not a finite number");
}
} // namespace

void waveFile(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const WaveFileUse use : {WaveFileUse::Open, WaveFileUse::Mix}) {
        const WaveFileContent c = parseWaveFile(bytes, use);
        if (!c.error.isEmpty()) {
            require(c.samples.empty(), "a refused file still delivers samples");
            continue;
        }
        require(c.length >= 0 && c.length <= kMaxLength, "length beyond the store");
        if (use == WaveFileUse::Open)
            require(c.length >= kMinLength, "length below 4 on open");
        require(c.samples.size() == static_cast<std::size_t>(c.length), "sample count");
        for (float v : c.samples)
            require(std::isfinite(v), "a file sample is not finite");
        // Mixing it into a store stays inside the store and finite.
        WaveStore s;
        s.ArbLength = 16000;
        mixWithFile(s, c.samples, c.length, (size & 1) != 0);
        require(s.ArbLength <= kMaxLength, "mixing raised the length past the store");
        requireFinite(s);
    }
}

void formula(const std::uint8_t* data, std::size_t size) {
    const QString answer =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const FormulaParse p = parseSineSum(answer);
    if (p.error != FormulaError::None)
        return;
    for (const float length : {4.0f, 1001.0f, 16000.0f}) {
        WaveStore s;
        s.ArbLength = length;
        s.ArbData.fill(0.25f);
        const WaveStore before = s;
        const FormulaError e = applySineSum(s, p.terms);
        if (e != FormulaError::None) {
            require(s.ArbData == before.ArbData && s.ArbLength == before.ArbLength,
                    "a refused formula changed the store");
            continue;
        }
        // A negative K may raise the length, never past the last index of the store.
        require(s.ArbLength >= 0 && s.ArbLength - 1 <= kStoreLastIndex,
                "the formula's samples reach past the store");
        requireFinite(s);
    }
}

namespace {
// Whatever numbers came in, fitting them gives samples in -1..+1.
void requireFits(const std::vector<double>& column) {
    std::vector<double> finite;
    for (const double v : column)
        if (std::isfinite(v))
            finite.push_back(v);
    if (finite.empty())
        return;
    for (const ImportFit fit :
         {ImportFit::Auto, ImportFit::Peak, ImportFit::Range, ImportFit::Clip})
        for (const float v : fitImported(resampleLinear(finite, 37), fit))
            require(std::isfinite(v) && v >= -1.0f && v <= 1.0f, "a fitted sample beyond -1..+1");
    for (const double v : resamplePeriodic(finite, 41))
        require(std::isfinite(v), "periodic resampling made a value that is not finite");
}

// Small limits, so that the limits themselves are exercised.
ReadLimits smallLimits() {
    ReadLimits l;
    l.lineBytes = 4096;
    l.values = 1 << 16;
    return l;
}
} // namespace

void table(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const Table t = parseTable(bytes, smallLimits());
    if (!t.error.isEmpty()) {
        require(t.columns.empty(), "a refused table still delivers columns");
        return;
    }
    require(!t.columns.empty() && t.names.size() == static_cast<qsizetype>(t.columns.size()) &&
                t.fileColumns.size() == t.columns.size(),
            "names, places and columns disagree");
    require(t.signalColumn >= 0 && t.signalColumn < static_cast<int>(t.columns.size()),
            "the signal column is not a column");
    require(t.timeColumn < static_cast<int>(t.columns.size()) && t.timeColumn != t.signalColumn,
            "the time column");
    for (const auto& c : t.columns)
        require(c.size() == t.columns[0].size(), "columns of different lengths");
    require(t.rows() * static_cast<qint64>(t.columns.size()) <= smallLimits().values,
            "more numbers kept than the limit");
    require(!t.runs.empty() && t.runs.front() == 0, "the data has no first run");
    for (std::size_t r = 1; r < t.runs.size(); ++r)
        require(t.runs[r] > t.runs[r - 1] && t.runs[r] < t.rows(), "runs out of order");
    qint64 line = 0;
    for (qint64 row = 0; row < t.rows(); ++row) {
        require(t.lineOf(row) > line && t.lineOf(row) >= t.firstDataLine,
                "rows out of their lines");
        line = t.lineOf(row);
    }
    for (const auto& c : t.columns)
        requireFits(c);
}

void sound(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const int channel : {-1, 0, 1}) {
        const Sound s = parseSound(bytes, smallLimits(), channel);
        if (!s.error.isEmpty()) {
            require(s.channels.empty(), "a refused sound still delivers samples");
            continue;
        }
        require(s.channels.size() == s.kept.size() && !s.kept.empty() &&
                    s.kept.back() < s.channelCount,
                "channels kept");
        require(channel < 0 || s.kept == std::vector<int>{channel}, "the channel asked for");
        for (const auto& c : s.channels) {
            require(c.size() == s.channels[0].size() && !c.empty(),
                    "channels of different lengths");
            requireFits(c);
        }
    }
}

void expression(const std::uint8_t* data, std::size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    Expression e;
    if (e.setText(text))
        return;
    WaveStore current;
    for (int i = 0; i <= kStoreLastIndex; ++i)
        current.ArbData[i] = static_cast<float>(std::sin(i * 0.01));
    for (const int length : {4, 333}) {
        const Expression::Values v = e.evaluate(length, current.ArbData.data());
        require(v.samples.size() == static_cast<std::size_t>(length), "sample count");
        for (int i = 0; i < (v.nonFiniteAt < 0 ? length : v.nonFiniteAt); ++i)
            require(std::isfinite(v.samples[i]), "a sample before the first fault is not finite");
        if (v.nonFiniteAt >= 0)
            continue;
        for (const Fit fit : {Fit::Clip, Fit::Peak})
            for (const float s : fitWithClosing(v, fit))
                require(std::isfinite(s) && s >= -1.0f && s <= 1.0f,
                        "an expression sample beyond -1..+1");
    }
}

void spiceRaw(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    ReadLimits limits;
    limits.values = 1 << 16;
    const SpiceRaw raw = parseSpiceRaw(bytes, limits);
    if (!raw.error.isEmpty()) {
        require(raw.columns.empty(), "a refused raw file still delivers values");
        return;
    }
    require(raw.names.size() == raw.types.size(), "names and types differ");
    require(raw.columns.size() == static_cast<std::size_t>(raw.names.size()), "a column each");
    for (const auto& c : raw.columns)
        require(c.size() == static_cast<std::size_t>(raw.points), "a value each point");
    require(static_cast<qint64>(raw.columns.size()) * raw.points <= limits.values,
            "more values than the limit");
    if (raw.types.value(0) == QLatin1String("time"))
        for (const double t : raw.columns.front())
            require(!(t < 0), "a negative time left");
}

void byTime(const std::uint8_t* data, std::size_t size) {
    // Pairs of (time, value) as doubles; the times made to rise unless the first byte is odd.
    std::vector<double> time, values;
    for (std::size_t at = 1; at + 16 <= size && time.size() < 4096; at += 16) {
        double t = 0, v = 0;
        std::memcpy(&t, data + at, 8);
        std::memcpy(&v, data + at + 8, 8);
        if (size > 0 && (data[0] & 1) == 0)
            t = (time.empty() ? 0.0 : time.back()) + std::abs(std::fmod(t, 1.0));
        time.push_back(t);
        values.push_back(v);
    }
    const EvenTimes even = evenInTime(time, values, 4096);
    if (!even.error.isEmpty() || !even.resampled)
        return;
    require(even.values.size() >= time.size() &&
                even.values.size() <= std::max<std::size_t>(4096, time.size()),
            "resampled count out of its bounds");
    // Each value lies within the values around it: never beyond the extremes of the rows.
    double lo = HUGE_VAL, hi = -HUGE_VAL;
    bool finite = true;
    for (const double v : values) {
        finite = finite && std::isfinite(v);
        lo = std::min(lo, v), hi = std::max(hi, v);
    }
    if (finite)
        for (const double v : even.values)
            require(v >= lo - 1e-9 * std::abs(lo) && v <= hi + 1e-9 * std::abs(hi),
                    "an interpolated value beyond the rows");
}

void scopeAnswers(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return;
    const QByteArray rest(reinterpret_cast<const char*>(data + 1),
                          static_cast<qsizetype>(size - 1));
    switch (data[0] % 4) {
    case 0: {
        const ScopeProfileReading r = parseScopeProfile(rest);
        if (r.error.isEmpty()) {
            require(!r.profile.name.isEmpty() && !r.profile.data.isEmpty(), "a profile half read");
            // Whatever its fields hold, the scaling is either refused or gives finite volts.
            QMap<QString, double> fields;
            for (const QString& f : r.profile.fieldNames())
                fields[f] = 1.0;
            ScopeScaling scaling;
            if (scaling.prepare(r.profile, fields).isEmpty()) {
                QString why;
                const std::vector<double> v = scaling.volts({0, 1, -1}, why);
                require(why.isEmpty() ? v.size() == 3 : v.empty(), "volts half made");
                for (const double x : v)
                    require(std::isfinite(x), "volts not finite");
            }
        } else {
            require(r.error.startsWith(QLatin1String("line ")), "a refusal without its line");
        }
        return;
    }
    case 1: {
        static const ScopeProfile wav =
            findScopeProfile(QStringLiteral("wav-preamble-byte")).profile;
        QMap<QString, double> fields;
        if (preambleFields(wav, rest, fields).isEmpty()) {
            require(fields.size() == 10, "a preamble half read");
            for (const double x : fields)
                require(std::isfinite(x), "a field not finite");
        }
        double v = 0;
        if (answerNumber(rest, v))
            require(std::isfinite(v), "an answer's number not finite");
        return;
    }
    case 2: {
        const qint64 most = size * 37;
        const BlockHeader h = readBlockHeader(rest, most);
        if (h.state == BlockHeader::Complete)
            require(h.length >= 0 && h.length <= most && h.headerBytes >= 3 &&
                        h.headerBytes <= 11 && h.headerBytes <= rest.size(),
                    "a block header out of its bounds");
        if (h.state == BlockHeader::Bad)
            require(!h.why.isEmpty(), "a bad block header without its reason");
        return;
    }
    default: {
        const auto e = static_cast<SampleEncoding>(
            rest.isEmpty() ? 0 : static_cast<unsigned char>(rest[0]) % 11);
        const QByteArray bytes = rest.mid(1);
        std::vector<double> codes{42.0};
        const QString why = decodeInto(e, bytes, codes);
        const int width = infoOf(e).bytes;
        if (why.isEmpty() && width > 0)
            require(codes.size() == 1 + static_cast<std::size_t>(bytes.size() / width),
                    "a sample for each whole sample's bytes");
        require(codes.front() == 42.0, "what came before changed");
        for (const double c : codes)
            require(std::isfinite(c), "a code not finite");
        return;
    }
    }
}

} // namespace ww::fuzz
