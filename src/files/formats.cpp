#include "formats.h"

#include "bytime.h"
#include "spiceraw.h"

#include "model/numbertext.h"
#include "nativefile.h"
#include "sound.h"
#include "wavefile.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <span>

namespace ww {

namespace {
QString suffixOf(const QString& path) {
    return QFileInfo(path).suffix().toLower();
}

QString plural(qint64 n, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

QString rateText(double hz) {
    if (hz >= 1e6 * (1 - 1e-9))
        return QStringLiteral("%1 MHz").arg(hz / 1e6, 0, 'g', 6);
    if (hz >= 1e3 * (1 - 1e-9))
        return QStringLiteral("%1 kHz").arg(hz / 1e3, 0, 'g', 6);
    return QStringLiteral("%1 Hz").arg(hz, 0, 'g', 6);
}

FileContent fromWaveFile(const WaveFileContent& c) {
    FileContent f;
    f.kind = QStringLiteral("waveform file");
    if (!c.error.isEmpty()) {
        f.error = c.error;
        return f;
    }
    f.periodic = true;
    f.lengthLimited = c.lengthLimited;
    f.names = {QStringLiteral("samples")};
    f.columns = {std::vector<double>(c.samples.begin(), c.samples.end())};
    f.runs = {0};
    f.place = [](qint64 row) { return QStringLiteral("line %1").arg(row + 2); };
    // Read as File > Open reads it, and said: a count line 1 does not keep.
    if (c.held < c.length)
        f.notes << QStringLiteral("line 1 announces %1 samples, the file holds %2: %3 taken as 0")
                       .arg(c.length)
                       .arg(c.held)
                       .arg(plural(c.length - c.held, "sample", "samples"));
    if (c.more)
        f.notes << QStringLiteral("line 1 announces %1 samples and more lines follow them: "
                                  "they are not read")
                       .arg(c.length);
    return f;
}

FileContent fromSound(Sound s) {
    FileContent f;
    f.kind = QStringLiteral("sound");
    if (!s.error.isEmpty()) {
        f.error = s.error;
        return f;
    }
    for (const int c : s.kept)
        f.names << QStringLiteral("channel %1").arg(c + 1);
    f.columns = std::move(s.channels);
    f.rate = s.rate;
    f.runs = {0};
    f.place = [](qint64 row) { return QStringLiteral("frame %1").arg(row); };
    f.notes << QStringLiteral("WAV, %1 at %2, %3")
                   .arg(plural(s.channelCount, "channel", "channels"))
                   .arg(rateText(s.rate))
                   .arg(plural(f.columns.empty() ? 0 : qint64(f.columns[0].size()), "frame",
                               "frames"));
    return f;
}

FileContent fromTable(Table t) {
    FileContent f;
    f.kind = QStringLiteral("table");
    if (!t.error.isEmpty()) {
        f.error = t.error;
        return f;
    }
    f.names = t.names;
    f.columns = std::move(t.columns);
    f.chosen = std::max(t.signalColumn, 0);
    f.timeColumn = t.timeColumn;
    f.runs = t.runs;
    static const QStringList delimiters = {"comma", "semicolon", "tab", "blanks"};
    const int d = QByteArrayView(",;\t ").indexOf(t.delimiter);
    f.notes << QStringLiteral("delimiter: %1; decimal mark: %2")
                   .arg(d >= 0 ? delimiters[d] : QStringLiteral("none (one column)"),
                        t.decimalComma ? QStringLiteral("comma") : QStringLiteral("point"));
    if (t.headerLines > 0)
        f.notes << QStringLiteral("%1 before the data")
                       .arg(plural(t.headerLines, "header line", "header lines"));
    if (t.skippedLines > 0)
        f.notes << QStringLiteral("%1 inside the data skipped: %2%3")
                       .arg(plural(t.skippedLines, "line", "lines"))
                       .arg(t.skipped.join(QStringLiteral("; ")))
                       .arg(t.skippedLines > t.skipped.size() ? QStringLiteral("; …") : QString());
    if (f.runs.size() > 1)
        f.notes << QStringLiteral("%1, split by text lines")
                       .arg(plural(qint64(f.runs.size()), "run", "runs"));
    if (f.timeColumn >= 0) {
        // Over the first run: each run starts its time again.
        const std::vector<double>& column = f.columns[static_cast<std::size_t>(f.timeColumn)];
        const auto end = column.begin() + (f.runs.size() > 1 ? f.runs[1] : qint64(column.size()));
        double first = 0, last = 0;
        qint64 n = 0;
        for (auto it = column.begin(); it != end; ++it) {
            const double x = *it;
            if (isEmptyCell(x) || !std::isfinite(x))
                continue;
            if (n == 0)
                first = x;
            last = x;
            ++n;
        }
        // A column of row numbers (the program's own CSV writes "index") says nothing of time.
        const QString name = f.names[f.timeColumn].trimmed().toLower();
        if (name == QLatin1String("index")) {
            f.notes << QStringLiteral("column \"%1\" taken as row numbers: no time, no rate")
                           .arg(f.names[f.timeColumn]);
            n = 0;
        }
        if (n > 1 && last > first)
            f.rate = (n - 1) / (last - first);
        if (n > 0)
            f.notes << QStringLiteral("time column: %1%2")
                           .arg(f.names[f.timeColumn])
                           .arg(f.rate > 0 ? QStringLiteral(", %1 samples a second (%2)")
                                                 .arg(f.rate, 0, 'g', 6)
                                                 .arg(rateText(f.rate))
                                           : QString());
    }
    f.place = [t = std::move(t)](qint64 row) {
        return QStringLiteral("line %1").arg(t.lineOf(row));
    };
    return f;
}

bool isSound(const Opened& o) {
    return (o.head.size() >= 12 && (o.head.startsWith("RIFF") || o.head.startsWith("RF64")) &&
            o.head.mid(8, 4) == "WAVE") ||
           suffixOf(o.path) == QLatin1String("wav");
}

FileContent readSoundFile(const Opened& o, const WaveformRequest& request) {
    const int channel = request.column.place >= 0 ? request.column.place : request.keepAll ? -1 : 0;
    return fromSound(readSound(o.path, request.limits, channel, request.progress));
}

bool isWaveFile(const Opened& o) {
    return looksLikeWaveFile(o.head, o.whole, hasWaveFileExtension(o.path));
}

FileContent readWaveFileContent(const Opened& o, const WaveformRequest& request) {
    if (!request.column.all() && request.column.place != 0) {
        FileContent f;
        f.error = QStringLiteral("A waveform file has one column of samples.");
        return f;
    }
    return fromWaveFile(parseWaveFile(o.head, WaveFileUse::Open));
}

FileContent fromSpiceRaw(SpiceRaw r) {
    FileContent f;
    f.kind = QStringLiteral("SPICE raw file");
    if (!r.error.isEmpty()) {
        f.error = r.error;
        return f;
    }
    f.names = r.names;
    f.columns = std::move(r.columns);
    f.runs = {0};
    // The trace taken unless another is asked for: the last voltage, else the last.
    f.chosen = static_cast<int>(f.names.size()) - 1;
    for (int k = static_cast<int>(r.types.size()) - 1; k > 0; --k)
        if (r.types[k] == QLatin1String("voltage")) {
            f.chosen = k;
            break;
        }
    if (r.types.value(0) == QLatin1String("time")) {
        f.timeColumn = 0;
        const std::vector<double>& t = f.columns.front();
        if (t.size() > 1 && t.back() > t.front())
            f.rate = static_cast<double>(t.size() - 1) / (t.back() - t.front());
    }
    QStringList traces;
    for (int k = 0; k < r.names.size(); ++k)
        traces << QStringLiteral("%1 (%2)").arg(r.names[k], r.types[k]);
    f.notes << QStringLiteral("SPICE raw file%1, %2, %3%4: %5")
                   .arg(r.title.isEmpty() ? QString() : QStringLiteral(" \"%1\"").arg(r.title))
                   .arg(r.binary ? (r.floats ? QStringLiteral("binary, time in double and the "
                                                              "others in single precision")
                                             : QStringLiteral("binary"))
                                 : QStringLiteral("text"))
                   .arg(plural(r.points, "point", "points"))
                   .arg(r.utf16 ? QStringLiteral(", UTF-16") : QString())
                   .arg(traces.join(QStringLiteral(", ")));
    if (r.complex)
        f.notes << QStringLiteral("complex values: their magnitude taken");
    f.place = [](qint64 row) { return QStringLiteral("point %1").arg(row); };
    return f;
}

FileContent readSpiceRawFile(const Opened& o, const WaveformRequest& request) {
    FileContent f = fromSpiceRaw(readSpiceRaw(o.file, o.head, request.limits, request.progress));
    // A trace by its number from 1 (time is the first).
    if (f.error.isEmpty() && request.column.place >= 0) {
        if (request.column.place >= f.names.size())
            f.error = QStringLiteral("There is no column %1: the file has %2.")
                          .arg(request.column.place + 1)
                          .arg(plural(f.names.size(), "trace", "traces"));
        else
            f.chosen = request.column.place;
    }
    return f;
}

FileContent readTableFile(const Opened& o, const WaveformRequest& request) {
    ColumnWanted wanted = request.column;
    wanted.signalOnly = !request.keepAll;
    return fromTable(readTable(o.file, o.head, request.limits, wanted, request.progress));
}

std::vector<Format>& registry() {
    // In the order they are asked: the program's file by its content, a sound by its header
    // or its name, and any other file as a table.
    static std::vector<Format> list = {
        {QStringLiteral("Waveform data file"),
         {"txt"},
         isWaveFile,
         readWaveFileContent,
         [](const QString& path, const WaveStore& store, const WriteOptions&) {
             return writeWaveFile(path, QString::number(store.length()), store);
         }},
        {QStringLiteral("WAV"),
         {"wav"},
         isSound,
         readSoundFile,
         [](const QString& path, const WaveStore& store, const WriteOptions& o) {
             return writeSound(
                 path,
                 std::vector<float>(store.ArbData.begin(), store.ArbData.begin() + store.length()),
                 o.rate);
         }},
        {QStringLiteral("SPICE raw"),
         {"raw"},
         [](const Opened& o) { return looksLikeSpiceRaw(o.head); },
         readSpiceRawFile,
         nullptr},
        {QStringLiteral("CSV"),
         {"csv", "tsv", "dat"},
         [](const Opened&) { return true; },
         readTableFile,
         [](const QString& path, const WaveStore& store, const WriteOptions&) {
             return writeCsv(path, std::vector<float>(store.ArbData.begin(),
                                                      store.ArbData.begin() + store.length()));
         }},
    };
    return list;
}
} // namespace

const std::vector<Format>& formats() {
    return registry();
}

void addFormat(Format format) {
    for (Format& f : registry())
        if (f.extensions == format.extensions) {
            f = std::move(format);
            return;
        }
    registry().push_back(std::move(format));
}

const Format* formatForWriting(const QString& path) {
    const QString suffix = suffixOf(path);
    for (const Format& f : formats())
        if (f.write && f.extensions.contains(suffix))
            return &f;
    return nullptr;
}

namespace {
QString filterOf(bool writing) {
    QStringList parts;
    for (const Format& f : formats()) {
        if (writing ? !f.write : !f.read)
            continue;
        QStringList patterns;
        for (const QString& e : f.extensions)
            patterns << QStringLiteral("*.") + e;
        parts << QStringLiteral("%1 (%2)").arg(f.name, patterns.join(QLatin1Char(' ')));
    }
    if (!writing)
        parts << QStringLiteral("All files (*)");
    return parts.join(QStringLiteral(";;"));
}

QStringList extensionsOf(bool writing) {
    QStringList out;
    for (const Format& f : formats())
        if (writing ? bool(f.write) : bool(f.read))
            for (const QString& e : f.extensions)
                out << QStringLiteral(".") + e;
    return out;
}
} // namespace

QString writeFilter() {
    return filterOf(true);
}
QString readFilter() {
    return filterOf(false);
}
QStringList writableExtensions() {
    return extensionsOf(true);
}
QStringList readableExtensions() {
    return extensionsOf(false);
}

QString withFilterExtension(const QString& path, const QString& filter) {
    if (path.isEmpty() || !QFileInfo(path).suffix().isEmpty())
        return path;
    const qsizetype star = filter.indexOf(QStringLiteral("*."));
    if (star < 0)
        return path;
    qsizetype end = star + 2;
    while (end < filter.size() && filter[end].isLetterOrNumber())
        ++end;
    return end > star + 2 ? path + filter.mid(star + 1, end - star - 1) : path;
}

FileContent readFileContent(const QString& path, const WaveformRequest& request) {
    InputFile file(path);
    FileContent f;
    if (!file.isOpen()) {
        f.error = file.error();
        return f;
    }
    if (file.size() > request.limits.fileBytes) {
        f.error =
            QStringLiteral("The file is larger than %1 GiB.").arg(request.limits.fileBytes >> 30);
        return f;
    }
    // Enough of the start to know the program's own file, which is never longer.
    QByteArray head;
    bool whole = false;
    while (head.size() <= kWaveFileMostBytes) {
        const std::int64_t n = file.read(head, kWaveFileMostBytes + 1 - head.size());
        if (n < 0) {
            f.error = file.error();
            return f;
        }
        if (n == 0) {
            whole = true;
            break;
        }
    }
    const Opened opened{path, file, head, whole};
    for (const Format& format : formats())
        if (format.read && format.recognises && format.recognises(opened))
            return format.read(opened, request);
    f.error = QStringLiteral("No format this program reads.");
    return f;
}

Waveform shapeWaveform(const FileContent& content, const WaveformRequest& request) {
    Waveform w;
    if (!content.error.isEmpty()) {
        w.error = content.error;
        return w;
    }
    w.notes = content.notes;
    w.periodic = content.periodic;
    int column = content.chosen;
    if (request.columnIndex >= 0) {
        column = request.columnIndex;
    } else if (!request.column.all()) {
        // A table keeps the columns asked for with their names; a sound the channel asked for.
        column = -1;
        for (int k = 0; k < content.names.size(); ++k)
            if ((request.column.place < 0 &&
                 content.names[k].compare(request.column.name, Qt::CaseInsensitive) == 0) ||
                (request.column.place >= 0 && k == content.chosen))
                column = k;
        if (column < 0) {
            w.error = QStringLiteral("There is no column \"%1\".").arg(request.column.name);
            return w;
        }
    }
    if (column < 0 || column >= static_cast<int>(content.columns.size())) {
        w.error = QStringLiteral("The file has no column to take.");
        return w;
    }
    const std::vector<double>& all = content.columns[static_cast<std::size_t>(column)];
    qint64 from = 0, to = static_cast<qint64>(all.size());
    if (request.run >= 0) {
        if (request.run >= static_cast<int>(content.runs.size())) {
            w.error = QStringLiteral("There is no run %1 (the file has %2).")
                          .arg(request.run + 1)
                          .arg(content.runs.size());
            return w;
        }
        from = content.runs[static_cast<std::size_t>(request.run)];
        to = request.run + 1 < static_cast<int>(content.runs.size())
                 ? content.runs[static_cast<std::size_t>(request.run) + 1]
                 : to;
    }
    std::vector<double> values, times;
    values.reserve(static_cast<std::size_t>(to - from));
    // The time of each value taken, where a time column gives one for every row taken.
    const std::vector<double>* timeColumn =
        content.timeColumn >= 0 && content.timeColumn != column &&
                content.timeColumn < static_cast<int>(content.columns.size())
            ? &content.columns[static_cast<std::size_t>(content.timeColumn)]
            : nullptr;
    bool timed = timeColumn && !request.byIndex;
    qint64 empty = 0, nonFinite = 0;
    for (qint64 row = from; row < to; ++row) {
        const double v = all[static_cast<std::size_t>(row)];
        if (timed && !isEmptyCell(v) && std::isfinite(v)) {
            const double t = (*timeColumn)[static_cast<std::size_t>(row)];
            if (!std::isfinite(t) || isEmptyCell(t))
                timed = false;
        }
        if (isEmptyCell(v)) {
            ++empty;
        } else if (!std::isfinite(v)) {
            if (!request.skipNonFinite) {
                w.error =
                    QStringLiteral("%1 of %2 is not a finite number (%3); it can be "
                                   "skipped.")
                        .arg(content.place ? content.place(row) : QStringLiteral("row %1").arg(row))
                        .arg(content.names.value(column))
                        .arg(std::isnan(v) ? QStringLiteral("nan")
                             : v > 0       ? QStringLiteral("inf")
                                           : QStringLiteral("-inf"));
                return w;
            }
            ++nonFinite;
        } else {
            values.push_back(v);
        }
    }
    if (content.names.size() > 1 || content.kind == QLatin1String("table"))
        w.notes << QStringLiteral("%1 taken")
                       .arg(content.kind == QLatin1String("sound")
                                ? content.names.value(column)
                                : QStringLiteral("column \"%1\"").arg(content.names.value(column)));
    if (empty > 0)
        w.notes
            << QStringLiteral("%1 skipped: the cell is empty").arg(plural(empty, "row", "rows"));
    if (nonFinite > 0)
        w.notes << QStringLiteral("%1 skipped: not a finite number")
                       .arg(plural(nonFinite, "value", "values"));
    // Uneven steps of time (a simulator's, a logger's) are resampled onto even ones, each run
    // of a table on its own (each starts its time again).
    // The times of the values taken: the time column's own rows where every row was taken
    // (no copy: a long table's memory stays bounded), else gathered.
    std::span<const double> timeSpan;
    if (timed && values.size() == static_cast<std::size_t>(to - from)) {
        timeSpan = std::span<const double>(timeColumn->data() + from, values.size());
    } else if (timed) {
        times.reserve(values.size());
        for (qint64 row = from; row < to; ++row) {
            const double v = all[static_cast<std::size_t>(row)];
            if (!isEmptyCell(v) && std::isfinite(v))
                times.push_back((*timeColumn)[static_cast<std::size_t>(row)]);
        }
        timeSpan = times;
    }
    if (timed && timeSpan.size() == values.size()) {
        std::vector<std::size_t> starts = {0};
        for (std::size_t i = 1; i < timeSpan.size(); ++i)
            if (timeSpan[i] < timeSpan[i - 1] && content.runs.size() > 1 && request.run < 0)
                starts.push_back(i);
        starts.push_back(timeSpan.size());
        std::vector<EvenTimes> evens;
        bool resampled = false;
        double shortest = HUGE_VAL, longest = 0, step = 0;
        std::size_t count = 0;
        for (std::size_t r = 0; r + 1 < starts.size(); ++r) {
            const std::span<const double> t = timeSpan.subspan(starts[r],
                                                               starts[r + 1] - starts[r]),
                                          v(values.data() + starts[r], starts[r + 1] - starts[r]);
            evens.push_back(evenInTime(t, v));
            const EvenTimes& even = evens.back();
            if (!even.error.isEmpty()) {
                w.error = QStringLiteral("The %1 cannot be read by time: %2; --by index takes "
                                         "the rows as they are.")
                              .arg(content.kind, even.error);
                return w;
            }
            resampled = resampled || even.resampled;
            count += even.resampled ? even.values.size() : v.size();
            if (even.resampled) {
                shortest = std::min(shortest, even.shortest);
                longest = std::max(longest, even.longest);
                step = even.step;
            }
        }
        times = std::vector<double>(); // no longer needed
        std::vector<double> evened;
        if (resampled && evens.size() == 1) {
            evened = std::move(evens.front().values); // one run: no copy
        } else if (resampled) {
            evened.reserve(count);
            for (std::size_t r = 0; r < evens.size(); ++r) {
                if (evens[r].resampled)
                    evened.insert(evened.end(), evens[r].values.begin(), evens[r].values.end());
                else
                    evened.insert(evened.end(),
                                  values.begin() + static_cast<std::ptrdiff_t>(starts[r]),
                                  values.begin() + static_cast<std::ptrdiff_t>(starts[r + 1]));
            }
        }
        if (resampled) {
            w.notes << QStringLiteral("time steps uneven, from %1 to %2: resampled by straight "
                                      "lines onto %3 even steps of %4 (--by index takes the "
                                      "rows as they are)")
                           .arg(shortest, 0, 'g', 6)
                           .arg(longest, 0, 'g', 6)
                           .arg(evened.size() - starts.size() + 1)
                           .arg(step, 0, 'g', 6);
            values = std::move(evened);
        }
    }
    const qint64 n = static_cast<qint64>(values.size());
    if (n < kMinLength) {
        w.error = QStringLiteral("%1 to take; a waveform needs at least %2.")
                      .arg(n == 0 ? QStringLiteral("No value") : plural(n, "value", "values"))
                      .arg(kMinLength);
        return w;
    }
    if (request.asRead) {
        w.values = std::move(values);
        return w;
    }
    const int length = request.length > 0 ? request.length
                       : n <= kMaxLength  ? static_cast<int>(n)
                                          : kMaxLength;
    const bool periodic = request.resample == WaveformRequest::Resample::Auto
                              ? content.periodic
                              : request.resample == WaveformRequest::Resample::Periodic;
    if (length != n) {
        values = periodic ? resamplePeriodic(values, length) : resampleLinear(values, length);
        w.notes << QStringLiteral("resampled from %1 to %2 points (%3)")
                       .arg(n)
                       .arg(length)
                       .arg(periodic ? QStringLiteral("as one period")
                                     : QStringLiteral("both ends kept"));
    }
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    const double peak = std::max(std::abs(*lo), std::abs(*hi));
    w.samples = fitImported(values, request.fit);
    if (peak > 1.0 || request.fit == ImportFit::Range || request.fit == ImportFit::Peak) {
        static const char* what[] = {"scaled so the peak is 1", "scaled so the peak is 1",
                                     "min..max mapped onto -1..+1", "clipped at -1 and +1"};
        w.notes << QStringLiteral("values from %1 to %2: %3")
                       .arg(*lo, 0, 'g', 6)
                       .arg(*hi, 0, 'g', 6)
                       .arg(QLatin1String(what[static_cast<int>(request.fit)]));
    }
    return w;
}

Waveform readWaveform(const QString& path, const WaveformRequest& request) {
    return shapeWaveform(readFileContent(path, request), request);
}

WaveStore storeOf(const std::vector<float>& samples) {
    WaveStore s;
    const std::size_t n = std::min<std::size_t>(samples.size(), kMaxLength);
    std::copy_n(samples.begin(), n, s.ArbData.begin());
    if (n > 0)
        s.ArbData[n] = samples.front();
    s.ArbLength = static_cast<float>(n);
    return s;
}

QString writeWaveform(const QString& path, const WaveStore& store, const WriteOptions& options) {
    const Format* f = formatForWriting(path);
    if (!f)
        return QStringLiteral("%1 is no format this program writes (it writes %2).")
            .arg(QFileInfo(path).suffix().isEmpty()
                     ? QStringLiteral("A name without extension")
                     : QStringLiteral(".") + QFileInfo(path).suffix(),
                 writableExtensions().join(QStringLiteral(", ")));
    return f->write(path, store, options);
}

} // namespace ww
