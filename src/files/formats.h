#pragma once

#include "model/store.h"
#include "nativefile.h"
#include "readlimits.h"
#include "resample.h"
#include "table.h"

#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace ww {

// Every file format the program knows, in one place: what it reads and writes, recognised by
// content and by extension. The window's Open, Import and Export and the command line's
// send, convert and expr all ask here.

// How a waveform is made of what a file holds.
struct WaveformRequest {
    ColumnWanted column;  // a column by its place or name, or a channel by its place
    bool keepAll = false; // every column or channel kept, for a choice among them; else only
                          // what the waveform is made of
    int columnIndex = -1; // or one of the columns read, by its index (a dialog's choice)
    int run = -1;         // one run of a table, from 0; -1: all of them in file order
    ImportFit fit = ImportFit::Auto;
    int length = 0; // 0: kept when it is 4..16000, else 16000
    enum class Resample { Auto, Periodic, Ends } resample = Resample::Auto;
    bool skipNonFinite = false; // nan and inf are refused with their place unless skipped
    bool byIndex = false; // rows taken as they are, not resampled onto even times where a time
                          // column's steps are uneven
    bool asRead = false;  // the values as the file holds them, for analysis: neither fitted nor
                          // resampled (`values` of the result), however many
    ReadLimits limits;
    std::function<bool(double)> progress; // 0..1 (-1: size unknown); false stops the reading
};

// What a file holds, before a waveform is made of it.
struct FileContent {
    QString error;
    QString kind;               // "waveform file", "table", "sound"
    bool periodic = false;      // one period of a waveform: resampled as one
    bool lengthLimited = false; // a waveform file whose line 1 is outside 4..16000: Open's
                                // message is due, and the command line refuses
    QStringList names;          // the columns or channels
    std::vector<std::vector<double>> columns;
    int chosen = 0; // taken unless another is asked for
    int timeColumn = -1;
    double rate = 0;          // samples a second: the sound's, or what a time column implies
    std::vector<qint64> runs; // the first row of each run (a table's text lines split them)
    QStringList notes;        // what was understood, for the user
    std::function<QString(qint64 row)> place; // where a row is in the file, for messages
};

// What comes in: the samples, or why not; and what was done on the way.
struct Waveform {
    QString error;
    std::vector<float> samples;
    std::vector<double> values; // with `asRead`, instead of the samples
    QStringList notes;
    bool periodic = false;
};

FileContent readFileContent(const QString& path, const WaveformRequest& request = {});
Waveform shapeWaveform(const FileContent& content, const WaveformRequest& request = {});
// Both in one: the waveform a file holds, right or refused with its reason.
Waveform readWaveform(const QString& path, const WaveformRequest& request = {});

// The samples as the program's waveform: sample `length` (the one the canvas closes the trace
// with) is the first again, as the periodic shapes write it.
WaveStore storeOf(const std::vector<float>& samples);

struct WriteOptions {
    int rate = 16000;              // of a WAV
    QSize size = QSize(1536, 720); // of a picture
};

// A file being read: its name, its start, and the rest of it still to come from `file`.
struct Opened {
    const QString& path;
    InputFile& file;
    const QByteArray& head; // up to 4 MiB and a byte, all of it when `whole`
    bool whole;
};

// A format: one entry, with how it is recognised, its reader and its writer (either may be
// missing). Reading asks the formats in their order; the first that recognises the file reads it.
struct Format {
    QString name;           // "CSV", "Waveform data file", ...
    QStringList extensions; // lower case, without the point; the first is the one added
    std::function<bool(const Opened&)> recognises;
    std::function<FileContent(const Opened&, const WaveformRequest&)> read;
    std::function<QString(const QString& path, const WaveStore& store, const WriteOptions&)> write;
};
const std::vector<Format>& formats();
// Pictures need the drawing libraries, which only the window module loads: it adds them.
void addFormat(Format format);

// The format a name's extension names for writing, or null.
const Format* formatForWriting(const QString& path);
// "CSV (*.csv);;WAV (*.wav);;..." for a file dialog, and the extensions as a list for messages.
QString writeFilter();
QString readFilter();
QStringList writableExtensions();
QStringList readableExtensions();
// A name given without an extension takes the one of the filter chosen ("CSV (*.csv)").
QString withFilterExtension(const QString& path, const QString& filter);

// Writes the waveform (samples 0..length-1) in the format its name's extension names, whole or
// not at all; an empty string, or why not.
QString writeWaveform(const QString& path, const WaveStore& store,
                      const WriteOptions& options = {});

} // namespace ww
