#include "sound.h"

#include "nativefile.h"

#include <algorithm>
#include <cstring>
#include <sndfile.h>

namespace ww {

namespace {
constexpr sf_count_t kChunkValues = 1 << 20; // read at a time, all channels together

// Where libsndfile's bytes come from: a file or memory.
struct Source {
    InputFile* file = nullptr;
    const QByteArray* bytes = nullptr;
    sf_count_t at = 0;
    sf_count_t size = 0;
};

sf_count_t sourceLength(void* user) {
    return static_cast<Source*>(user)->size;
}
sf_count_t sourceSeek(sf_count_t offset, int whence, void* user) {
    auto* s = static_cast<Source*>(user);
    const sf_count_t to = whence == SEEK_SET   ? offset
                          : whence == SEEK_CUR ? s->at + offset
                                               : s->size + offset;
    if (to < 0)
        return -1;
    if (s->file && !s->file->seek(to))
        return -1;
    s->at = to;
    return to;
}
sf_count_t sourceRead(void* ptr, sf_count_t count, void* user) {
    auto* s = static_cast<Source*>(user);
    if (count <= 0 || s->at >= s->size)
        return 0;
    count = std::min(count, s->size - s->at);
    if (s->bytes) {
        std::memcpy(ptr, s->bytes->constData() + s->at, static_cast<std::size_t>(count));
        s->at += count;
        return count;
    }
    QByteArray got;
    const std::int64_t n = s->file->read(got, count);
    if (n <= 0)
        return 0;
    std::memcpy(ptr, got.constData(), static_cast<std::size_t>(n));
    s->at += n;
    return n;
}
sf_count_t sourceWrite(const void*, sf_count_t, void*) {
    return 0;
}
sf_count_t sourceTell(void* user) {
    return static_cast<Source*>(user)->at;
}

Sound readFrom(Source& source, const ReadLimits& limits, int channel,
               const std::function<bool(double)>& progress) {
    Sound s;
    SF_VIRTUAL_IO io{sourceLength, sourceSeek, sourceRead, sourceWrite, sourceTell};
    SF_INFO info{};
    SNDFILE* file = sf_open_virtual(&io, SFM_READ, &info, &source);
    if (!file) {
        s.error = QString::fromLocal8Bit(sf_strerror(nullptr));
        return s;
    }
    s.rate = info.samplerate;
    s.channelCount = info.channels;
    if (channel >= info.channels) {
        s.error = QStringLiteral("There is no channel %1 (the file has %2).")
                      .arg(channel + 1)
                      .arg(info.channels);
        sf_close(file);
        return s;
    }
    for (int c = 0; c < info.channels; ++c)
        if (channel < 0 || c == channel)
            s.kept.push_back(c);
    const auto kept = static_cast<sf_count_t>(s.kept.size());
    if (info.frames > 0 && info.frames * kept > limits.values) {
        s.error = QStringLiteral("The sound has %1 frames; at most %2 samples are read.")
                      .arg(info.frames)
                      .arg(limits.values);
        s.kept.clear();
        sf_close(file);
        return s;
    }
    s.channels.assign(s.kept.size(), {});
    for (auto& c : s.channels)
        c.reserve(static_cast<std::size_t>(std::max<sf_count_t>(info.frames, 0)));
    const sf_count_t chunk = std::clamp<sf_count_t>(
        info.frames, 1, std::max<sf_count_t>(1, kChunkValues / info.channels));
    std::vector<double> frames(static_cast<std::size_t>(chunk * info.channels));
    sf_count_t done = 0;
    for (;;) {
        const sf_count_t got = sf_readf_double(file, frames.data(), chunk);
        if (got <= 0)
            break;
        if ((done + got) * kept > limits.values) {
            s.error = QStringLiteral("The sound goes on past %1 samples.").arg(limits.values);
            break;
        }
        for (std::size_t k = 0; k < s.kept.size(); ++k) {
            std::vector<double>& out = s.channels[k];
            const double* p = frames.data() + s.kept[k];
            for (sf_count_t i = 0; i < got; ++i, p += info.channels)
                out.push_back(*p);
        }
        done += got;
        if (progress && info.frames > 0 && !progress(static_cast<double>(done) / info.frames)) {
            s.error = QStringLiteral("Cancelled.");
            break;
        }
    }
    sf_close(file);
    if (s.error.isEmpty() && done == 0)
        s.error = QStringLiteral("The sound holds no samples.");
    if (!s.error.isEmpty())
        s.channels.clear();
    return s;
}
} // namespace

Sound readSound(const QString& path, const ReadLimits& limits, int channel,
                const std::function<bool(double)>& progress) {
    InputFile file(path);
    Sound s;
    if (!file.isOpen()) {
        s.error = file.error();
        return s;
    }
    if (!file.isRegular()) {
        s.error = QStringLiteral("A sound is read from a plain file, not a pipe or a device.");
        return s;
    }
    if (file.size() > limits.fileBytes) {
        s.error = QStringLiteral("The file is larger than %1 GiB.").arg(limits.fileBytes >> 30);
        return s;
    }
    Source source;
    source.file = &file;
    source.size = file.size();
    return readFrom(source, limits, channel, progress);
}

Sound parseSound(const QByteArray& bytes, const ReadLimits& limits, int channel) {
    Source source;
    source.bytes = &bytes;
    source.size = bytes.size();
    return readFrom(source, limits, channel, {});
}

QString writeSound(const QString& path, const std::vector<float>& samples, int rate) {
    // libsndfile writes into the temporary file that replaces the old one only when complete.
    OutputFile out(path);
    if (!out.isOpen())
        return out.error();
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open_fd(out.handle(), SFM_WRITE, &info, 0);
    if (!file)
        return QString::fromLocal8Bit(sf_strerror(nullptr));
    const sf_count_t n = static_cast<sf_count_t>(samples.size());
    const bool whole = sf_writef_float(file, samples.data(), n) == n;
    const QString why = whole ? QString() : QString::fromLocal8Bit(sf_strerror(file));
    sf_close(file);
    if (!why.isEmpty())
        return why;
    return out.commit() ? QString() : out.error();
}

} // namespace ww
