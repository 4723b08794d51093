#include "sound.h"

#include <QFile>
#include <QSaveFile>
#include <sndfile.h>

namespace ww {

Sound readSound(const QString& path) {
    Sound s;
    SF_INFO info{};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file) {
        s.error = QString::fromLocal8Bit(sf_strerror(nullptr));
        return s;
    }
    s.rate = info.samplerate;
    std::vector<double> frames(static_cast<std::size_t>(info.frames) * info.channels);
    const sf_count_t got = sf_readf_double(file, frames.data(), info.frames);
    sf_close(file);
    s.channels.assign(static_cast<std::size_t>(info.channels), {});
    for (int c = 0; c < info.channels; ++c) {
        s.channels[c].resize(static_cast<std::size_t>(got));
        for (sf_count_t i = 0; i < got; ++i)
            s.channels[c][i] = frames[static_cast<std::size_t>(i * info.channels + c)];
    }
    if (got == 0)
        s.error = QStringLiteral("The sound holds no samples.");
    return s;
}

QString writeSound(const QString& path, const std::vector<float>& samples, int rate) {
    // libsndfile writes into the temporary file that replaces the old one only when complete.
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return out.errorString();
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open_fd(static_cast<int>(out.handle()), SFM_WRITE, &info, 0);
    if (!file) {
        out.cancelWriting();
        return QString::fromLocal8Bit(sf_strerror(nullptr));
    }
    const sf_count_t n = static_cast<sf_count_t>(samples.size());
    const bool whole = sf_writef_float(file, samples.data(), n) == n;
    QString why = whole ? QString() : QString::fromLocal8Bit(sf_strerror(file));
    sf_close(file);
    if (!why.isEmpty()) {
        out.cancelWriting();
        return why;
    }
    return out.commit() ? QString() : out.errorString();
}

} // namespace ww
