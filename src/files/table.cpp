#include "table.h"

#include <QFile>
#include <QMap>
#include <QSaveFile>
#include <charconv>
#include <cmath>

namespace ww {

namespace {
bool isComment(QByteArrayView line) {
    return line.startsWith('#') || line.startsWith('%') || line.startsWith("//");
}

QList<QByteArray> fieldsOf(const QByteArray& line, char delimiter) {
    if (delimiter == 0)
        return {line.trimmed()};
    if (delimiter == ' ')
        return line.simplified().split(' ');
    QList<QByteArray> fields = line.split(delimiter);
    for (QByteArray& f : fields)
        f = f.trimmed();
    return fields;
}

bool number(QByteArray text, bool decimalComma, double& value) {
    if (decimalComma)
        text.replace(',', '.');
    if (text.startsWith('"') && text.endsWith('"') && text.size() >= 2)
        text = text.mid(1, text.size() - 2).trimmed();
    const char* first = text.constData();
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
} // namespace

Table parseTable(const QByteArray& bytes) {
    Table t;
    QList<QByteArray> lines = bytes.split('\n');
    for (QByteArray& l : lines)
        if (l.endsWith('\r'))
            l.chop(1);
    // The delimiter that splits the first lines of content most often into the same number
    // of fields.
    std::vector<QByteArray> sample;
    for (const QByteArray& l : lines) {
        if (!l.trimmed().isEmpty() && !isComment(l.trimmed()))
            sample.push_back(l);
        if (sample.size() == 20)
            break;
    }
    if (sample.empty()) {
        t.error = QStringLiteral("The file holds no numbers.");
        return t;
    }
    int bestCount = 1;
    t.delimiter = 0; // one column, unless a delimiter splits the lines alike
    for (const char d : {'\t', ';', ',', ' '}) {
        // The number of fields most lines have with this delimiter, and how many have it.
        QMap<int, int> counts;
        for (const QByteArray& l : sample)
            ++counts[static_cast<int>(fieldsOf(l, d).size())];
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
    for (int n = 0; n < lines.size(); ++n) {
        const QByteArray line = lines[n].trimmed();
        if (line.isEmpty() || isComment(line))
            continue;
        const QList<QByteArray> fields = fieldsOf(lines[n], t.delimiter);
        std::vector<double> row(fields.size());
        int bad = -1;
        for (int k = 0; k < fields.size() && bad < 0; ++k)
            if (!number(fields[k], t.decimalComma, row[k]))
                bad = k;
        if (!inData && bad >= 0) { // a header line (its last one names the columns)
            header = fields;
            continue;
        }
        if (!inData) {
            inData = true;
            t.columns.resize(row.size());
        }
        if (bad >= 0) {
            t.error = QStringLiteral("Line %1, column %2: \"%3\" is not a number.")
                          .arg(n + 1)
                          .arg(bad + 1)
                          .arg(QString::fromUtf8(fields[bad].left(40)));
            return t;
        }
        if (row.size() != t.columns.size()) {
            t.error = QStringLiteral("Line %1 has %2 values where the lines before have %3.")
                          .arg(n + 1)
                          .arg(row.size())
                          .arg(t.columns.size());
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
    if (t.signalColumn == t.timeColumn)
        t.signalColumn = t.columns.size() > 1 ? t.signalColumn - 1 : t.signalColumn;
    return t;
}

Table readTable(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Table t;
        t.error = file.errorString();
        return t;
    }
    return parseTable(file.readAll());
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
