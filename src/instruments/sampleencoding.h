#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <vector>

namespace ww {

// How an instrument's samples are written as bytes: integers of 1, 2 or 4 bytes, signed or
// not, in either byte order; 32-bit floats; or numbers as comma-separated text.
enum class SampleEncoding {
    Int8,
    UInt8,
    Int16LE,
    Int16BE,
    UInt16LE,
    UInt16BE,
    Int32LE,
    Int32BE,
    Float32LE,
    Float32BE,
    Ascii
};

struct EncodingInfo {
    const char* name; // "int16le"
    SampleEncoding encoding;
    int bytes; // 0 for text
    bool isSigned;
    bool bigEndian;
};

const EncodingInfo& infoOf(SampleEncoding e);
// The encoding of a name, or null.
const EncodingInfo* encodingNamed(QByteArrayView name);
// "int8 uint8 ... ascii", for messages.
QString encodingNames();
// The codes an integer encoding can hold (text: any 32-bit code).
void codeRange(SampleEncoding e, double& lo, double& hi);

// The samples -1..+1 as codes code(-1) + (v + 1) / 2 × (code(+1) - code(-1)), rounded to the
// nearest (ties to even), written in a binary encoding; floats are written as they are.
QByteArray encodeBinary(SampleEncoding e, const std::vector<float>& samples, double codeLow,
                        double codeHigh);

// The codes in `bytes`, read in the encoding (text: numbers separated by commas, blanks or
// line ends). Empty `why` on success; else what is wrong (a count of bytes that is not whole
// samples, a word that is no number) and `codes` is left empty.
std::vector<double> decodeSamples(SampleEncoding e, QByteArrayView bytes, QString& why);
// The same, appended to `codes`: a binary encoding's bytes must be whole samples. Empty on
// success, else what is wrong (`codes` then holds what came before and part of these).
QString decodeInto(SampleEncoding e, QByteArrayView bytes, std::vector<double>& codes);

// An IEEE 488.2 definite-length block: '#', the count of length digits, the length, the bytes.
QByteArray definiteBlock(const QByteArray& bytes);

// The header of a definite-length block at the start of `bytes`, as far as it has come.
struct BlockHeader {
    enum State { Incomplete, Complete, Bad } state = Incomplete;
    qsizetype headerBytes = 0; // '#', the digit and the length digits
    qint64 length = 0;         // the bytes the block says it holds
    QString why;               // for Bad
};
// Reads the header; a block longer than `mostBytes` is refused (Bad) before any of it is kept.
BlockHeader readBlockHeader(QByteArrayView bytes, qint64 mostBytes);

} // namespace ww
