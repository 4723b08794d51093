#pragma once

#include "readlimits.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <vector>

namespace ww {

// A WAV file (any PCM or float WAV libsndfile reads), read in pieces: only the channels asked
// for are kept, as numbers in -1..+1 (a float file may hold more, or nan).
struct Sound {
    QString error; // empty when the file can be used; else the reason
    int rate = 0;
    int channelCount = 0;                      // in the file
    std::vector<int> kept;                     // the channels kept, from 0
    std::vector<std::vector<double>> channels; // their samples
};
// `channel`: the one to keep, from 0, or -1 for all of them.
Sound readSound(const QString& path, const ReadLimits& limits = {}, int channel = -1,
                const std::function<bool(double)>& progress = {});
Sound parseSound(const QByteArray& bytes, const ReadLimits& limits = {}, int channel = -1);

// 32-bit float, mono, at `rate` samples a second; written whole or not at all.
QString writeSound(const QString& path, const std::vector<float>& samples, int rate = 16000);

} // namespace ww
