#pragma once

#include "readlimits.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace ww {

// Numbers in columns, as instruments, loggers, simulators and spreadsheets write them: CSV,
// TSV or blank-separated text, in UTF-8 (with or without its mark) or UTF-16 with its mark,
// with any line ends.
//
// The reading (delimiter and decimal mark) is the one under which the data lines parse as
// numbers. Each column is judged on its own: it is numeric when its cells in the data block
// are numbers (nan and inf included) or empty. The data block starts at the first row whose
// numeric columns hold numbers; what comes before it is header, and its last line names the
// columns. Inside the data, a line of text is skipped and starts a new run; a row with text
// where a number belongs is skipped; both are told. Stray control bytes count as blanks.
struct Table {
    QString error;                            // empty when the file can be used
    QStringList names;                        // of the columns kept, from the header, or "column 3"
    std::vector<int> fileColumns;             // each kept column's place in a row, from 0
    std::vector<std::vector<double>> columns; // kEmptyCell where a row left the cell empty
    int timeColumn = -1;                      // index into columns: times, not taken as the signal
    int signalColumn = -1;                    // the last numeric column that is not time
    char delimiter = 0;                       // ',', ';', '\t', ' ' or 0 (one column)
    bool decimalComma = false;
    int headerLines = 0;      // lines before the data, blank and comment lines included
    qint64 firstDataLine = 0; // from 1
    std::vector<qint64> runs; // the first row of each run; a text line between rows splits
    QStringList skipped;      // what was skipped inside the data and why, the first few
    qint64 skippedLines = 0;  // text lines and rows that were not data, all of them
    // The line each row came from: where rows follow each other, lineOf() counts on.
    std::vector<std::pair<qint64, qint64>> rowLines; // (row, line) wherever the count jumps
    qint64 lineOf(qint64 row) const;
    qint64 rows() const { return columns.empty() ? 0 : static_cast<qint64>(columns[0].size()); }
};

// Which columns to keep: all numeric ones, or the one asked for (by its place from 0, or by
// its name) and the time column. Keeping fewer keeps a long file within its limits.
struct ColumnWanted {
    int place = -1; // -1: by name, or when the name is empty, every numeric column
    QString name;
    bool all() const { return place < 0 && name.isEmpty() && !signalOnly; }
    // Nothing asked for, and only what the default needs kept: the last numeric column and
    // the first (a time column, maybe).
    bool signalOnly = false;
};

// Reads a table; `progress` hears how far it is (0..1, or -1 when the size is not known) now
// and then, and answering false stops it ("Cancelled.").
Table readTable(const QString& path, const ReadLimits& limits = {}, const ColumnWanted& wanted = {},
                const std::function<bool(double)>& progress = {});
// The same from bytes already read from the start of `file` and the rest of it.
class InputFile;
Table readTable(InputFile& file, const QByteArray& head, const ReadLimits& limits,
                const ColumnWanted& wanted, const std::function<bool(double)>& progress);
Table parseTable(const QByteArray& bytes, const ReadLimits& limits = {},
                 const ColumnWanted& wanted = {});

// "index,value" then one line per sample with a point, written like the waveform file.
QByteArray csvBytes(const std::vector<float>& samples);
QString writeCsv(const QString& path, const std::vector<float>& samples);

} // namespace ww
