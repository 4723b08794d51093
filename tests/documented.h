#pragma once

#include "files/wavefile.h"

#include <QByteArray>

// The five sample values whose codes on the generator's line are documented (-1, +1, 0, 0.5,
// -0.5 go out as 0000, FFF0, 0080, FFB0, 0040), one after another.
inline ww::WaveStore documentedSamples(int length, int number = 1) {
    ww::WaveStore s;
    s.ArbLength = static_cast<float>(length);
    s.ArbNumber = static_cast<float>(number);
    const float values[] = {-1.0f, 1.0f, 0.0f, 0.5f, -0.5f};
    for (int i = 0; i <= ww::kStoreLastIndex; ++i)
        s.ArbData[i] = values[i % 5];
    return s;
}

// A curve of 2500 bytes as the oscilloscope sends it: 0, 127 and 255 (-0.9921875, 0 and +1
// when read), then 64s.
inline QByteArray documentedCurve() {
    QByteArray curve(2500, '\x40');
    curve[0] = 0;
    curve[1] = 127;
    curve[2] = static_cast<char>(255);
    return curve;
}

// Their fields on the line, from sample `first` on, `count` of them.
inline QByteArray documentedFields(int first, int count) {
    const QByteArray fields[] = {"0000", "FFF0", "0080", "FFB0", "0040"};
    QByteArray out;
    for (int i = first; i < first + count; ++i)
        out += fields[i % 5];
    return out;
}
