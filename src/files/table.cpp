#include "table.h"

#include "model/numbertext.h"

#include "nativefile.h"

#include <QStringDecoder>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <map>

namespace ww {

namespace {
constexpr int kSampleLines = 2000;             // the lines the reading is chosen from
constexpr qint64 kSampleBytes = 1 << 20;       // ... or this many bytes of them
constexpr std::int64_t kChunk = 256 * 1024;    // read at a time
constexpr int kNotes = 8;                      // skipped lines told one by one
constexpr std::size_t kRowLineMarks = 1 << 20; // jumps in the row-to-line count kept

// A blank: space, tab, or a control byte that strayed into the text.
inline bool blank(unsigned char c) {
    return c <= 0x20 || c == 0x7F;
}

// The lines of a text, from a file or from memory: the byte-order mark is taken off, UTF-16
// becomes UTF-8, a line ends at LF, CR LF or (in a file with no LF) CR, and every limit holds.
class LineReader {
  public:
    using Source = std::function<std::int64_t(QByteArray&, std::int64_t)>;
    LineReader(Source source, const ReadLimits& limits)
        : m_source(std::move(source)), m_limits(limits) {}

    // The next line, without its end; false at the end of the text or on a failure (error).
    bool next(const char*& begin, const char*& end) {
        for (;;) {
            const char* data = m_buffer.constData();
            const qsizetype left = m_buffer.size() - m_at;
            if (left > 0) {
                const char* from = data + m_at;
                const char* stop = static_cast<const char*>(std::memchr(from, m_end, left));
                if (stop || m_eof) {
                    const char* lineEnd = stop ? stop : data + m_buffer.size();
                    if (lineEnd - from > m_limits.lineBytes)
                        return tooLong();
                    begin = from;
                    end = lineEnd;
                    if (m_end == '\n' && end > begin && end[-1] == '\r')
                        --end;
                    m_at = stop ? stop - data + 1 : m_buffer.size();
                    ++number;
                    return true;
                }
                if (left > m_limits.lineBytes)
                    return tooLong();
            } else if (m_eof) {
                return false;
            }
            if (!fill())
                return false;
        }
    }

    // Bytes of the source taken by the lines so far (of UTF-16, about as many).
    std::int64_t consumed() const {
        return read - (utf16 ? (m_buffer.size() - m_at) * 2 : m_buffer.size() - m_at);
    }

    qint64 number = 0;     // of the last line, from 1
    std::int64_t read = 0; // bytes taken from the source
    QString error;
    bool utf16 = false;

  private:
    bool tooLong() {
        error = QStringLiteral("Line %1 is longer than %2 MiB: this is not a table of numbers.")
                    .arg(number + 1)
                    .arg(m_limits.lineBytes >> 20);
        return false;
    }

    bool fill() {
        m_buffer.remove(0, m_at);
        m_at = 0;
        QByteArray chunk;
        const std::int64_t n = m_source(chunk, kChunk);
        if (n < 0) {
            error = QStringLiteral("The file cannot be read.");
            return false;
        }
        read += n;
        if (read > m_limits.fileBytes) {
            error = QStringLiteral("The file goes on past %1 GiB: it is not read further.")
                        .arg(m_limits.fileBytes >> 30);
            return false;
        }
        if (n == 0)
            m_eof = true;
        if (m_first) {
            m_first = false;
            if (chunk.startsWith("\xEF\xBB\xBF")) {
                chunk.remove(0, 3);
            } else if (chunk.startsWith("\xFF\xFE") || chunk.startsWith("\xFE\xFF")) {
                utf16 = true;
                m_decoder = QStringDecoder(chunk.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE
                                                                        : QStringDecoder::Utf16BE);
                chunk.remove(0, 2);
            }
        }
        if (utf16)
            chunk = QString(m_decoder.decode(chunk)).toUtf8();
        if (!m_endChosen && (chunk.contains('\n') || chunk.contains('\r'))) {
            // Old Mac files end their lines with CR alone.
            m_endChosen = true;
            m_end = chunk.contains('\n') ? '\n' : '\r';
        }
        m_buffer += chunk;
        return true;
    }

    Source m_source;
    ReadLimits m_limits;
    QByteArray m_buffer;
    qsizetype m_at = 0;
    bool m_eof = false, m_first = true, m_endChosen = false;
    char m_end = '\n';
    QStringDecoder m_decoder;
};

// A reading of the lines: the delimiter and the decimal mark.
struct Reading {
    char delimiter;
    bool comma;
};
// Tried in this order; a later one is chosen only where the data parses better under it. A
// decimal comma goes only with a delimiter that is no comma, or with one column.
constexpr Reading kReadings[] = {{',', false},  {';', false}, {';', true},
                                 {'\t', false}, {'\t', true}, {' ', false},
                                 {' ', true},   {0, false},   {0, true}};

enum class Kind : unsigned char { Empty, Number, Text };

// Calls cell(index, begin, end) for each cell of a line, trimmed; a delimiter inside double
// quotes does not split. Blanks as the delimiter are runs of them. Stops after cell `last`.
template <class F> void forEachCell(const char* b, const char* e, char d, int last, F&& cell) {
    auto trimmed = [](const char*& f, const char*& t) {
        while (f < t && blank(static_cast<unsigned char>(*f)))
            ++f;
        while (t > f && blank(static_cast<unsigned char>(t[-1])))
            --t;
    };
    if (d == 0) {
        trimmed(b, e);
        cell(0, b, e);
        return;
    }
    const char* p = b;
    if (d == ' ')
        while (p < e && blank(static_cast<unsigned char>(*p)))
            ++p;
    for (int k = 0;; ++k) {
        const char* f = p;
        while (f < e && *f != d && blank(static_cast<unsigned char>(*f)))
            ++f;
        const char* q = f;
        if (q < e && *q == '"') {
            const char* close = static_cast<const char*>(std::memchr(q + 1, '"', e - q - 1));
            q = close ? close + 1 : e;
        }
        if (d == ' ') {
            while (q < e && !blank(static_cast<unsigned char>(*q)))
                ++q;
        } else {
            const char* next = static_cast<const char*>(std::memchr(q, d, e - q));
            q = next ? next : e;
        }
        const char* t = q;
        trimmed(f, t);
        cell(k, f, t);
        if ((last >= 0 && k >= last) || q >= e)
            return;
        p = q + 1;
        if (d == ' ') {
            while (p < e && blank(static_cast<unsigned char>(*p)))
                ++p;
            if (p >= e)
                return;
        }
    }
}

// A cell as a number (nan and inf included), empty, or text.
Kind parseCell(const char* b, const char* e, bool comma, double& v) {
    if (b == e)
        return Kind::Empty;
    if (*b == '"') {
        if (e - b < 2 || e[-1] != '"')
            return Kind::Text;
        ++b, --e;
        while (b < e && blank(static_cast<unsigned char>(*b)))
            ++b;
        while (e > b && blank(static_cast<unsigned char>(e[-1])))
            --e;
        if (b == e)
            return Kind::Empty;
    }
    if (*b == '+' && e - b > 1 && b[1] != '-' && b[1] != '+')
        ++b;
    char buf[80];
    if (comma && std::memchr(b, ',', e - b)) {
        if (e - b >= static_cast<qsizetype>(sizeof buf) || std::memchr(b, '.', e - b))
            return Kind::Text;
        for (const char* p = b; p < e; ++p)
            buf[p - b] = *p == ',' ? '.' : *p;
        e = buf + (e - b);
        b = buf;
    }
    const auto r = std::from_chars(b, e, v, std::chars_format::general);
    if (r.ptr != e)
        return Kind::Text;
    if (r.ec == std::errc::result_out_of_range) {
        // A number beyond the double range is a number still: infinite (refused with its line
        // as inf is), or, below it, 0.
        v = beyondDoubleRange(b, e);
        return Kind::Number;
    }
    return r.ec == std::errc() ? Kind::Number : Kind::Text;
}

bool isComment(const char* b, const char* e) {
    while (b < e && blank(static_cast<unsigned char>(*b)))
        ++b;
    if (b == e)
        return false;
    return *b == '#' || *b == '%' || (*b == '/' && e - b > 1 && b[1] == '/');
}

bool isBlankLine(const char* b, const char* e) {
    for (; b < e; ++b)
        if (!blank(static_cast<unsigned char>(*b)))
            return false;
    return true;
}

struct SampleLine {
    qint64 number;
    QByteArray text;
    bool skip; // blank or a comment
};

// One comma a line, and after it a number with a leading zero ("0,05"): no whole numbers
// split by a comma, but one column of numbers with a decimal comma.
bool commasAreDecimal(const std::vector<SampleLine>& sample) {
    bool leadingZero = false;
    for (const SampleLine& s : sample) {
        if (s.skip)
            continue;
        const qsizetype comma = s.text.indexOf(',');
        if (comma < 0)
            continue;
        if (s.text.indexOf(',', comma + 1) >= 0)
            return false;
        const QByteArray after = s.text.mid(comma + 1).trimmed();
        leadingZero = leadingZero ||
                      (after.size() > 1 && after[0] == '0' && after[1] >= '0' && after[1] <= '9');
    }
    return leadingZero;
}

// What the sample of lines says: the reading, the numeric columns, where the data starts.
struct Layout {
    Reading reading{0, false};
    std::vector<int> numeric; // places of the numeric columns
    qint64 dataLine = 0;      // the first data line; 0: none in the sample
    QStringList header;       // the cells of the header line that names the columns
    long long score = 0;
};

std::vector<Kind> kindsOf(const QByteArray& line, Reading r) {
    std::vector<Kind> kinds;
    double v;
    forEachCell(
        line.constData(), line.constData() + line.size(), r.delimiter, -1,
        [&](int, const char* b, const char* e) { kinds.push_back(parseCell(b, e, r.comma, v)); });
    while (!kinds.empty() && kinds.back() == Kind::Empty)
        kinds.pop_back();
    return kinds;
}

Layout layoutUnder(const std::vector<SampleLine>& sample, Reading r) {
    Layout l;
    l.reading = r;
    if (r.delimiter == ',' && commasAreDecimal(sample))
        return l;
    std::vector<std::vector<Kind>> kinds;
    std::vector<std::size_t> index; // sample line of each entry of kinds
    for (std::size_t i = 0; i < sample.size(); ++i)
        if (!sample[i].skip) {
            kinds.push_back(kindsOf(sample[i].text, r));
            index.push_back(i);
        }
    // The run of alike lines that weighs most (its numbers less its texts, times its length)
    // tells which columns are numeric.
    auto weight = [](const std::vector<Kind>& k) {
        long long w = 0;
        for (const Kind c : k)
            w += c == Kind::Number ? 1 : c == Kind::Text ? -1 : 0;
        return w;
    };
    long long best = 0;
    std::size_t bestAt = 0;
    for (std::size_t i = 0; i < kinds.size();) {
        std::size_t j = i + 1;
        while (j < kinds.size() && kinds[j] == kinds[i])
            ++j;
        const long long w = weight(kinds[i]) * static_cast<long long>(j - i);
        if (w > best)
            best = w, bestAt = i;
        i = j;
    }
    if (best <= 0)
        return l;
    for (std::size_t c = 0; c < kinds[bestAt].size(); ++c)
        if (kinds[bestAt][c] == Kind::Number)
            l.numeric.push_back(static_cast<int>(c));
    // Data rows: no text where a number belongs, and a number in one of those places at least.
    auto isData = [&l](const std::vector<Kind>& k) {
        bool number = false;
        for (const int c : l.numeric) {
            const Kind kind = c < static_cast<int>(k.size()) ? k[c] : Kind::Empty;
            if (kind == Kind::Text)
                return false;
            number = number || kind == Kind::Number;
        }
        return number;
    };
    // A place that holds a number in fewer than half of the data rows (a setting beside the
    // data, the odd longer row) is no column of the data.
    {
        std::map<int, long long> numbers;
        long long rows = 0;
        for (const auto& k : kinds)
            if (isData(k)) {
                ++rows;
                for (const int c : l.numeric)
                    if (c < static_cast<int>(k.size()) && k[c] == Kind::Number)
                        ++numbers[c];
            }
        std::vector<int> kept;
        for (const int c : l.numeric)
            if (numbers[c] * 2 >= rows)
                kept.push_back(c);
        l.numeric = kept;
        if (l.numeric.empty())
            return l;
    }
    std::vector<bool> data(kinds.size());
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        bool number = false, text = false;
        long long texts = 0, numbers = 0;
        for (std::size_t c = 0; c < kinds[i].size(); ++c) {
            const bool numericPlace =
                std::binary_search(l.numeric.begin(), l.numeric.end(), static_cast<int>(c));
            if (kinds[i][c] == Kind::Text)
                ++texts, text = text || numericPlace;
            else if (kinds[i][c] == Kind::Number && numericPlace)
                ++numbers, number = true;
        }
        data[i] = number && !text;
        if (data[i])
            l.score += numbers - texts;
    }
    // The data starts with the first run of data rows as long as the longest, up to three: a
    // lone number among the header lines is no data.
    std::size_t longest = 0;
    for (std::size_t i = 0; i < data.size();) {
        std::size_t j = i;
        while (j < data.size() && data[j])
            ++j;
        longest = std::max(longest, j - i);
        i = j + 1;
    }
    const std::size_t enough = std::min<std::size_t>(3, longest);
    for (std::size_t i = 0; i < data.size(); ++i) {
        std::size_t j = i;
        while (j < data.size() && data[j] && j - i < enough)
            ++j;
        if (j - i >= enough && enough > 0) {
            l.dataLine = sample[index[i]].number;
            // The header line with words above the most numeric columns (the last of them)
            // names them; a row of units in brackets does not.
            int covered = 0;
            for (std::size_t h = i; h-- > 0;) {
                QStringList cells;
                bool units = true;
                int words = 0;
                const QByteArray& text = sample[index[h]].text;
                forEachCell(text.constData(), text.constData() + text.size(), r.delimiter, -1,
                            [&](int k, const char* b, const char* e) {
                                QString cell = QString::fromUtf8(b, e - b);
                                if (cell.size() >= 2 && cell.startsWith('"') && cell.endsWith('"'))
                                    cell = cell.mid(1, cell.size() - 2).trimmed();
                                cells << cell;
                                if (!cell.isEmpty() &&
                                    std::binary_search(l.numeric.begin(), l.numeric.end(), k)) {
                                    ++words;
                                    units =
                                        units && ((cell.startsWith('(') && cell.endsWith(')')) ||
                                                  (cell.startsWith('[') && cell.endsWith(']')));
                                }
                            });
                if (words > covered && !units) {
                    l.header = cells;
                    covered = words;
                }
            }
            break;
        }
    }
    return l;
}

bool evenlyRising(const std::vector<double>& v) {
    double previous = 0, step = 0;
    std::size_t seen = 0;
    for (const double x : v) {
        if (isEmptyCell(x))
            continue;
        if (!std::isfinite(x))
            return false;
        if (seen == 1) {
            step = x - previous;
            if (!(step > 0))
                return false;
        } else if (seen > 1 && std::abs((x - previous) - step) >
                                   1e-6 * std::max(std::abs(step), 1e-300) + 1e-9 * std::abs(x)) {
            return false;
        }
        previous = x;
        ++seen;
    }
    return seen >= 3;
}

Table readLines(LineReader& lines, std::int64_t size, const ReadLimits& limits,
                const ColumnWanted& wanted, const std::function<bool(double)>& progress) {
    Table t;
    auto fail = [](const QString& why) {
        Table f;
        f.error = why;
        return f;
    };
    // The sample the reading is chosen from; kept, and read again from memory below.
    std::vector<SampleLine> sample;
    qint64 sampled = 0;
    const char *b = nullptr, *e = nullptr;
    bool more = true;
    int counted = 0;
    while (counted < kSampleLines && sampled < kSampleBytes && (more = lines.next(b, e))) {
        const bool skip = isBlankLine(b, e) || isComment(b, e);
        sample.push_back({lines.number, QByteArray(b, e - b), skip});
        sampled += e - b + 1;
        counted += skip ? 0 : 1;
    }
    if (!lines.error.isEmpty())
        return fail(lines.error);
    if (counted == 0)
        return fail(QStringLiteral("The file holds no numbers."));
    Layout layout;
    for (const Reading r : kReadings) {
        const Layout l = layoutUnder(sample, r);
        if (l.dataLine > 0 && l.score > layout.score)
            layout = l;
    }
    if (layout.dataLine == 0)
        return fail(QStringLiteral("The file has no numeric column."));

    t.decimalComma = layout.reading.comma;
    t.firstDataLine = layout.dataLine;
    t.headerLines = static_cast<int>(layout.dataLine - 1);
    auto nameOf = [&](int place) {
        const QString n = layout.header.value(place);
        return n.isEmpty() ? QStringLiteral("column %1").arg(place + 1) : n;
    };
    // The time column: named so, or the first numeric column when it rises evenly (judged once
    // the data is read).
    static const QStringList timeNames = {"time", "t", "s", "sec", "seconds", "x", "index", "zeit"};
    int timePlace = -1;
    for (const int place : layout.numeric) {
        const QString n = nameOf(place).section(QLatin1Char(' '), 0, 0).section('(', 0, 0);
        if (timeNames.contains(n.section('[', 0, 0).trimmed().toLower())) {
            timePlace = place;
            break;
        }
    }
    // The columns kept.
    std::vector<int> keep;
    if (wanted.all()) {
        keep = layout.numeric;
    } else if (wanted.signalOnly && wanted.place < 0 && wanted.name.isEmpty()) {
        keep = {layout.numeric.front()};
        if (timePlace >= 0 && timePlace != keep.front())
            keep.push_back(timePlace);
        // The last numeric column that is not the time column.
        for (auto p = layout.numeric.rbegin(); p != layout.numeric.rend(); ++p)
            if (*p != timePlace || layout.numeric.size() == 1) {
                keep.push_back(*p);
                break;
            }
        std::sort(keep.begin(), keep.end());
        keep.erase(std::unique(keep.begin(), keep.end()), keep.end());
    } else {
        int place = wanted.place;
        if (place < 0) {
            for (const int p : layout.numeric)
                if (nameOf(p).compare(wanted.name, Qt::CaseInsensitive) == 0)
                    place = p;
            if (place < 0) {
                QStringList known;
                for (const int p : layout.numeric)
                    known << nameOf(p);
                return fail(QStringLiteral("No column is named \"%1\" (the numeric columns: %2).")
                                .arg(wanted.name, known.join(QStringLiteral(", "))));
            }
        } else if (!std::binary_search(layout.numeric.begin(), layout.numeric.end(), place)) {
            QStringList known;
            for (const int p : layout.numeric)
                known << QString::number(p + 1);
            return fail(QStringLiteral("Column %1 holds no numbers (the numeric columns: %2).")
                            .arg(place + 1)
                            .arg(known.join(QStringLiteral(", "))));
        }
        const int time = timePlace >= 0 ? timePlace : layout.numeric.front();
        if (time != place)
            keep.push_back(time);
        keep.push_back(place);
        std::sort(keep.begin(), keep.end());
    }
    // A table of one column has no delimiter to speak of.
    t.delimiter =
        layout.numeric.size() == 1 && layout.numeric.front() == 0 ? 0 : layout.reading.delimiter;
    t.fileColumns = keep;
    t.columns.resize(keep.size());
    for (const int p : keep)
        t.names << nameOf(p);
    const int last = keep.back();
    // Where in `keep` each place of a row goes (-1: not kept).
    std::vector<int> slot(static_cast<std::size_t>(last) + 1, -1);
    for (std::size_t k = 0; k < keep.size(); ++k)
        slot[static_cast<std::size_t>(keep[k])] = static_cast<int>(k);
    if (size > 0) {
        const auto guess = static_cast<std::size_t>(
            std::min<std::int64_t>(size / std::max<qint64>(1, sampled / std::max(counted, 1)) + 16,
                                   limits.values / static_cast<std::int64_t>(keep.size())));
        for (auto& c : t.columns)
            c.reserve(guess);
    }

    const Reading r = layout.reading;
    std::vector<double> row(keep.size());
    std::vector<Kind> kind(keep.size());
    qint64 rows = 0;
    bool inData = false, splitPending = false, rowsBroken = true;
    const std::int64_t maxRows = limits.values / static_cast<std::int64_t>(keep.size());
    auto note = [&t](qint64 line, const QString& why) {
        ++t.skippedLines;
        if (t.skipped.size() < kNotes)
            t.skipped << QStringLiteral("line %1: %2").arg(line).arg(why);
    };
    auto take = [&](qint64 number, const char* b, const char* e) -> bool {
        if (number < layout.dataLine)
            return true; // header
        if (isBlankLine(b, e) || isComment(b, e)) {
            rowsBroken = true;
            return true;
        }
        std::fill(kind.begin(), kind.end(), Kind::Empty);
        int textAt = -1;
        forEachCell(b, e, r.delimiter, last, [&](int k, const char* cb, const char* ce) {
            const int s = slot[static_cast<std::size_t>(k)];
            if (s < 0)
                return;
            kind[s] = parseCell(cb, ce, r.comma, row[s]);
            if (kind[s] == Kind::Text && textAt < 0)
                textAt = s;
        });
        const bool number_ = std::find(kind.begin(), kind.end(), Kind::Number) != kind.end();
        if (!number_) {
            // Words between rows (a simulator's next run, a note) split the data; a row of
            // empty cells does not.
            const bool words =
                textAt >= 0 || std::any_of(b, e, [&r](char c) {
                    return !blank(static_cast<unsigned char>(c)) && c != r.delimiter && c != '"';
                });
            if (words) {
                const QByteArray text = QByteArray(b, std::min<qsizetype>(e - b, 60)).trimmed();
                note(number, QStringLiteral("\"%1\" is not data").arg(QString::fromUtf8(text)));
                splitPending = inData;
            }
            rowsBroken = true;
            return true;
        }
        if (textAt >= 0) {
            note(number, QStringLiteral("column %1 holds no number").arg(keep[textAt] + 1));
            rowsBroken = true;
            return true;
        }
        if (rows >= maxRows) {
            t.error = QStringLiteral("The file holds more than %1 rows of the columns read; "
                                     "at most %2 numbers are read.")
                          .arg(maxRows)
                          .arg(limits.values);
            return false;
        }
        if (!inData || splitPending)
            t.runs.push_back(rows);
        inData = true;
        splitPending = false;
        if (rowsBroken) {
            if (t.rowLines.size() < kRowLineMarks)
                t.rowLines.emplace_back(rows, number);
            rowsBroken = false;
        }
        for (std::size_t k = 0; k < keep.size(); ++k)
            t.columns[k].push_back(kind[k] == Kind::Empty ? kEmptyCell : row[k]);
        ++rows;
        return true;
    };
    for (const SampleLine& s : sample)
        if (!take(s.number, s.text.constData(), s.text.constData() + s.text.size()))
            return fail(t.error);
    while (more && lines.next(b, e)) {
        if (progress && lines.number % 65536 == 0 &&
            !progress(size > 0 ? static_cast<double>(lines.consumed()) / size : -1.0))
            return fail(QStringLiteral("Cancelled."));
        if (!take(lines.number, b, e))
            return fail(t.error);
    }
    if (!lines.error.isEmpty())
        return fail(lines.error);

    for (std::size_t k = 0; k < keep.size() && t.timeColumn < 0; ++k)
        if (keep[k] == timePlace)
            t.timeColumn = static_cast<int>(k);
    if (t.timeColumn < 0 && keep.size() > 1 && keep.front() == layout.numeric.front() &&
        evenlyRising(t.columns.front()))
        t.timeColumn = 0;
    if (wanted.all() || (wanted.place < 0 && wanted.name.isEmpty())) {
        t.signalColumn = static_cast<int>(keep.size()) - 1;
        if (t.signalColumn == t.timeColumn && keep.size() > 1)
            --t.signalColumn;
        if (t.signalColumn == t.timeColumn)
            t.timeColumn = -1; // a lone column is the signal, whatever its name
    } else {
        const int place = wanted.place >= 0 ? wanted.place : [&] {
            for (const int p : keep)
                if (nameOf(p).compare(wanted.name, Qt::CaseInsensitive) == 0)
                    return p;
            return keep.back();
        }();
        t.signalColumn =
            static_cast<int>(std::find(keep.begin(), keep.end(), place) - keep.begin());
        if (t.timeColumn == t.signalColumn)
            t.timeColumn = -1;
    }
    return t;
}
} // namespace

qint64 Table::lineOf(qint64 row) const {
    auto it = std::upper_bound(rowLines.begin(), rowLines.end(), std::make_pair(row, qint64(-1)),
                               [](const auto& a, const auto& b) { return a.first < b.first; });
    if (it == rowLines.begin())
        return firstDataLine + row;
    --it;
    return it->second + (row - it->first);
}

Table readTable(const QString& path, const ReadLimits& limits, const ColumnWanted& wanted,
                const std::function<bool(double)>& progress) {
    InputFile file(path);
    if (!file.isOpen()) {
        Table t;
        t.error = file.error();
        return t;
    }
    if (file.size() > limits.fileBytes) {
        Table t;
        t.error = QStringLiteral("The file is larger than %1 GiB.").arg(limits.fileBytes >> 30);
        return t;
    }
    return readTable(file, QByteArray(), limits, wanted, progress);
}

Table readTable(InputFile& file, const QByteArray& head, const ReadLimits& limits,
                const ColumnWanted& wanted, const std::function<bool(double)>& progress) {
    bool headGiven = head.isEmpty();
    LineReader lines(
        [&](QByteArray& to, std::int64_t max) -> std::int64_t {
            if (!headGiven) {
                headGiven = true;
                to += head;
                return head.size();
            }
            return file.read(to, max);
        },
        limits);
    Table t = readLines(lines, file.size(), limits, wanted, progress);
    if (!file.error().isEmpty() && t.error == QLatin1String("The file cannot be read."))
        t.error = file.error();
    return t;
}

Table parseTable(const QByteArray& bytes, const ReadLimits& limits, const ColumnWanted& wanted) {
    qsizetype at = 0;
    LineReader lines(
        [&](QByteArray& to, std::int64_t max) -> std::int64_t {
            const qsizetype n = std::min<qsizetype>(max, bytes.size() - at);
            to.append(bytes.constData() + at, n);
            at += n;
            return n;
        },
        limits);
    return readLines(lines, bytes.size(), limits, wanted, {});
}

QByteArray csvBytes(const std::vector<float>& samples) {
    QByteArray out = "index,value\r\n";
    out.reserve(out.size() + static_cast<qsizetype>(samples.size()) * 20);
    char buf[64];
    for (std::size_t i = 0; i < samples.size(); ++i) {
        // The shortest text that reads back as the same float, always with a point.
        const auto r = std::to_chars(buf, buf + sizeof buf, samples[i]);
        out += QByteArray::number(static_cast<qulonglong>(i)) + ',' + QByteArray(buf, r.ptr - buf) +
               "\r\n";
    }
    return out;
}

QString writeCsv(const QString& path, const std::vector<float>& samples) {
    return writeWhole(path, csvBytes(samples));
}

} // namespace ww
