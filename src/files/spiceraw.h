#pragma once

#include "readlimits.h"

#include <QByteArray>
#include <QStringList>
#include <functional>
#include <vector>

namespace ww {

class InputFile;

// A circuit simulator's own output, the "raw" file SPICE simulators write: a header of
// "Key: value" lines (Title, Date, Plotname, Flags, No. Variables, No. Points, Variables, each
// variable a line "index name type"), then the values, "Binary:" (each point its variables in
// order, native little-endian: doubles; or the first a double and the others floats, as some
// simulators write them; complex ones as two doubles) or "Values:" (text: each point its index
// and then its variables, a complex one as "re,im"). Some simulators write the header, and text
// values, in UTF-16; some mark a step with a negative time. The first plot of the file is read.
struct SpiceRaw {
    QString error; // empty when the file can be used
    QString title, plotname;
    bool binary = false, complex = false, utf16 = false, floats = false;
    QStringList names, types;                 // of each variable, in the file's order
    std::vector<std::vector<double>> columns; // each variable's values: a time's as its size,
                                              // a complex one's magnitude
    qint64 points = 0;
};

// The start of a raw file: "Title:" on its first line and "Variables:" or "Plotname:" in its
// header, in single bytes or UTF-16.
bool looksLikeSpiceRaw(const QByteArray& head);

// The whole file, `head` its first bytes already read; within `limits` (the values of all
// variables together), `progress` told 0..1 as the bytes come.
SpiceRaw readSpiceRaw(InputFile& file, const QByteArray& head, const ReadLimits& limits,
                      const std::function<bool(double)>& progress = {});
// The same from bytes in memory (the fuzzer's way in).
SpiceRaw parseSpiceRaw(const QByteArray& bytes, const ReadLimits& limits = {});

} // namespace ww
