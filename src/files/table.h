#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace ww {

// Numbers in columns, as spreadsheets, simulators and oscilloscopes write them: CSV, TSV or
// blank-separated text. The delimiter is found by itself; header and comment lines are
// skipped; a decimal comma is read where the delimiter is a semicolon or a tab.
struct Table {
    QString error;     // empty when the file can be used
    QStringList names; // the header's names, or "column 1", ...
    std::vector<std::vector<double>> columns;
    int timeColumn = -1;   // a column of times, not taken as the signal
    int signalColumn = -1; // the last numeric column that is not time
    char delimiter = 0;    // ',', ';', '\t', ' ' or 0 (one column)
    bool decimalComma = false;
};

// `progress` (when given) hears how far the reading is, 0..1, now and then; answering false
// stops it, and the table says it was cancelled.
Table parseTable(const QByteArray& bytes, const std::function<bool(double)>& progress = {});
Table readTable(const QString& path, const std::function<bool(double)>& progress = {});

// "index,value" then one line per sample with a point, written like the waveform file.
QByteArray csvBytes(const std::vector<float>& samples);
QString writeCsv(const QString& path, const std::vector<float>& samples);

} // namespace ww
