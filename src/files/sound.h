#pragma once

#include <QString>
#include <vector>

namespace ww {

// A WAV file (any PCM or float WAV libsndfile reads), its channels as numbers in -1..+1.
struct Sound {
    QString error; // empty when the file can be used; else libsndfile's reason
    int rate = 0;
    std::vector<std::vector<double>> channels;
};
Sound readSound(const QString& path);

// 32-bit float, mono, at `rate` samples a second; written whole or not at all.
QString writeSound(const QString& path, const std::vector<float>& samples, int rate = 16000);

} // namespace ww
