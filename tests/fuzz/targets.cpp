#include "targets.h"

#include "files/wavefile.h"
#include "synth/arith.h"
#include "synth/formula.h"

#include <QByteArray>
#include <QString>
#include <cmath>
#include <cstdio>
#include <cstdlib>

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

} // namespace ww::fuzz
