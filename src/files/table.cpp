#include "table.h"

#include <QFile>
#include <QMap>
#include <QSaveFile>
#include <charconv>
#include <cmath>

namespace ww {

namespace {
bool isComment(QByteArrayView line) {
    const char c = line.isEmpty() ? 0 : line.front();
    return c == '#' || c == '%' || (c == '/' && line.size() > 1 && line[1] == '/');
}

// Splits a line into trimmed fields (views into the line); blanks as a delimiter are runs.
void fieldsOf(QByteArrayView line, char delimiter, std::vector<QByteArrayView>& fields) {
    fields.clear();
    if (delimiter == 0) {
        fields.push_back(line);
        return;
    }
    qsizetype from = 0;
    while (from <= line.size()) {
        qsizetype to = line.indexOf(delimiter, from);
        if (to < 0)
            to = line.size();
        fields.push_back(line.sliced(from, to - from).trimmed());
        from = to + 1;
        if (delimiter == ' ')
            while (from < line.size() && (line[from] == ' ' || line[from] == '\t'))
                ++from;
    }
}

bool number(QByteArrayView text, bool decimalComma, double& value) {
    if (text.size() >= 2 && text.startsWith('"') && text.endsWith('"'))
        text = text.sliced(1, text.size() - 2).trimmed();
    char buf[64];
    if (decimalComma && text.contains(',')) {
        if (text.size() >= static_cast<qsizetype>(sizeof buf))
            return false;
        for (qsizetype i = 0; i < text.size(); ++i)
            buf[i] = text[i] == ',' ? '.' : text[i];
        text = QByteArrayView(buf, text.size());
    }
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+')
        ++first;
    const auto r = std::from_chars(first, last, value, std::chars_format::general);
    return first != last && r.ec == std::errc() && r.ptr == last && std::isfinite(value);
}

bool evenlyRising(const std::vector<double>& v) {
    if (v.size() < 3 || !(v[1] > v[0]))
        return false;
    const double step = v[1] - v[0];
    for (std::size_t i = 2; i < v.size(); ++i)
        if (std::abs((v[i] - v[i - 1]) - step) > 1e-6 * std::max(1.0, std::abs(step)))
            return false;
    return true;
}

// The lines of a text one after another, without their CR LF, numbered from 1.
struct Lines {
    QByteArrayView text;
    qsizetype at = 0;
    int number = 0;
    bool next(QByteArrayView& line) {
        if (at >= text.size())
            return false;
        qsizetype end = text.indexOf('\n', at);
        if (end < 0)
            end = text.size();
        line = text.sliced(at, end - at);
        if (line.endsWith('\r'))
            line.chop(1);
        at = end + 1;
        ++number;
        return true;
    }
};
} // namespace

Table parseTable(const QByteArray& bytes, const std::function<bool(double)>& progress) {
    Table t;
    std::vector<QByteArrayView> fields;
    // The delimiter that splits most of the first lines of content into the same number of
    // fields, more than one.
    std::vector<QByteArrayView> sample;
    Lines lines{bytes};
    QByteArrayView line;
    while (sample.size() < 20 && lines.next(line))
        if (!line.trimmed().isEmpty() && !isComment(line.trimmed()))
            sample.push_back(line);
    if (sample.empty()) {
        t.error = QStringLiteral("The file holds no numbers.");
        return t;
    }
    int bestCount = 1;
    t.delimiter = 0; // one column, unless a delimiter splits the lines alike
    for (const char d : {'\t', ';', ',', ' '}) {
        QMap<int, int> counts;
        for (const QByteArrayView l : sample) {
            fieldsOf(l.trimmed(), d, fields);
            ++counts[static_cast<int>(fields.size())];
        }
        int count = 1, agree = 0;
        for (auto it = counts.begin(); it != counts.end(); ++it)
            if (it.value() > agree)
                count = it.key(), agree = it.value();
        if (count > bestCount && agree * 2 > static_cast<int>(sample.size())) {
            bestCount = count;
            t.delimiter = d;
        }
    }
    t.decimalComma = t.delimiter == ';' || t.delimiter == '\t';

    QList<QByteArray> header;
    bool inData = false;
    std::vector<double> row;
    lines = Lines{bytes};
    while (lines.next(line)) {
        if (progress && lines.number % 65536 == 0 &&
            !progress(static_cast<double>(lines.at) / bytes.size())) {
            t.error = QStringLiteral("Cancelled.");
            t.columns.clear();
            return t;
        }
        const QByteArrayView trimmed = line.trimmed();
        if (trimmed.isEmpty() || isComment(trimmed))
            continue;
        fieldsOf(trimmed, t.delimiter, fields);
        row.resize(fields.size());
        int bad = -1;
        for (std::size_t k = 0; k < fields.size() && bad < 0; ++k)
            if (!number(fields[k], t.decimalComma, row[k]))
                bad = static_cast<int>(k);
        if (!inData && bad >= 0) { // a header line (its last one names the columns)
            header.clear();
            for (const QByteArrayView f : fields)
                header << f.toByteArray();
            continue;
        }
        if (!inData) {
            inData = true;
            t.columns.resize(row.size());
            // About as many rows as the file has lines of the sample's mean length.
            qsizetype sampled = 1;
            for (const QByteArrayView l : sample)
                sampled += l.size() + 1;
            const auto rows =
                static_cast<std::size_t>(bytes.size() * qsizetype(sample.size()) / sampled);
            for (auto& c : t.columns)
                c.reserve(rows + 16);
        }
        if (bad >= 0) {
            t.error = QStringLiteral("Line %1, column %2: \"%3\" is not a number.")
                          .arg(lines.number)
                          .arg(bad + 1)
                          .arg(QString::fromUtf8(
                              fields[bad].first(std::min<qsizetype>(40, fields[bad].size()))));
            t.columns.clear();
            return t;
        }
        if (row.size() != t.columns.size()) {
            t.error = QStringLiteral("Line %1 has %2 values where the lines before have %3.")
                          .arg(lines.number)
                          .arg(row.size())
                          .arg(t.columns.size());
            t.columns.clear();
            return t;
        }
        for (std::size_t k = 0; k < row.size(); ++k)
            t.columns[k].push_back(row[k]);
    }
    if (t.columns.empty()) {
        t.error = QStringLiteral("The file has no numeric column.");
        return t;
    }
    for (std::size_t k = 0; k < t.columns.size(); ++k)
        t.names << (static_cast<int>(k) < header.size() && !header[k].isEmpty()
                        ? QString::fromUtf8(header[k]).remove(QLatin1Char('"'))
                        : QStringLiteral("column %1").arg(k + 1));
    // A time column: named so, or a first column rising evenly beside other columns.
    static const QStringList timeNames = {"time", "t", "s", "sec", "seconds", "x", "index"};
    for (int k = 0; k < t.names.size() && t.timeColumn < 0; ++k)
        if (timeNames.contains(
                t.names[k].section(QLatin1Char(' '), 0, 0).section('(', 0, 0).trimmed().toLower()))
            t.timeColumn = k;
    if (t.timeColumn < 0 && t.columns.size() > 1 && evenlyRising(t.columns[0]))
        t.timeColumn = 0;
    t.signalColumn = static_cast<int>(t.columns.size()) - 1;
    if (t.signalColumn == t.timeColumn && t.columns.size() > 1)
        --t.signalColumn;
    return t;
}

Table readTable(const QString& path, const std::function<bool(double)>& progress) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Table t;
        t.error = file.errorString();
        return t;
    }
    return parseTable(file.readAll(), progress);
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
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    const QByteArray bytes = csvBytes(samples);
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return why;
    }
    return file.commit() ? QString() : file.errorString();
}

} // namespace ww
