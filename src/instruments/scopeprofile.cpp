#include "scopeprofile.h"

#include "model/numbers.h"

#include <QFile>
#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <muParser.h>

namespace ww {

namespace {

bool isName(const QString& s) {
    if (s.isEmpty() || !(s.at(0).isLetter() || s.at(0) == QLatin1Char('_')))
        return false;
    return std::all_of(s.begin(), s.end(), [](QChar c) {
        return c.unicode() < 128 && (c.isLetterOrNumber() || c == QLatin1Char('_'));
    });
}

// An expression over named numbers, on muparser.
class Formula {
  public:
    // Empty on success, else what is wrong with the text.
    QString set(const QString& text, const QStringList& names) {
        m_values.clear();
        for (const QString& n : names)
            m_values[n.toStdString()] = 1.0;
        try {
            m_parser = std::make_unique<mu::Parser>();
            for (auto& [name, value] : m_values)
                m_parser->DefineVar(name, &value);
            m_parser->SetExpr(text.toStdString());
            m_parser->Eval();
            if (m_parser->GetNumResults() != 1)
                return QStringLiteral("'%1' gives more than one value").arg(text);
        } catch (const mu::Parser::exception_type& e) {
            return QStringLiteral("'%1': %2").arg(text, QString::fromStdString(e.GetMsg()));
        }
        return QString();
    }
    QStringList used() const {
        QStringList out;
        for (const auto& [name, _] : m_parser->GetUsedVar())
            out << QString::fromStdString(name);
        return out;
    }
    void setValue(const QString& name, double v) { m_values[name.toStdString()] = v; }
    double* slot(const char* name) { return &m_values[name]; }
    double eval() const {
        try {
            return m_parser->Eval();
        } catch (const mu::Parser::exception_type&) {
            return std::nan("");
        }
    }

  private:
    std::unique_ptr<mu::Parser> m_parser;
    std::map<std::string, double> m_values; // addresses stay put as the map grows
};

QStringList scopeFolders() {
    return profileFoldersWith(QStringLiteral(":/scopes"));
}

// Places a line of the profile may hold: {source} everywhere, {start} and {stop} in a range.
QString linePlaceholderProblem(const QString& key, const QByteArray& value) {
    QStringList allowed = {QStringLiteral("source")};
    if (key == QLatin1String("range"))
        allowed << QStringLiteral("start") << QStringLiteral("stop");
    return placeholderProblem(key, value, allowed);
}

} // namespace

QStringList ScopeProfile::fieldNames() const {
    QStringList names;
    for (const QString& f : fields)
        if (f != QLatin1String("-"))
            names << f;
    for (const auto& q : fieldQueries)
        names << q.first;
    return names;
}

ScopeProfileReading parseScopeProfile(const QByteArray& source) {
    ScopeProfileReading r;
    ScopeProfile& p = r.profile;
    KeyValueText text = readKeyValues(source, {QStringLiteral("setup"), QStringLiteral("stop"),
                                               QStringLiteral("field"), QStringLiteral("range")});
    auto fail = [&](int line, const QString& why) {
        r.error = text.fail(line, why);
        return r;
    };
    if (!text.error.isEmpty()) {
        r.error = text.error;
        return r;
    }
    bool hasEncoding = false;
    for (const KeyValue& e : text.entries) {
        const QString& key = e.key;
        const QByteArray& value = e.value;
        const QString word = QString::fromUtf8(value);
        static const QStringList sent = {"setup", "stop", "preamble", "field",
                                         "range", "data", "check"};
        if (sent.contains(key))
            if (const QString why = linePlaceholderProblem(key, value); !why.isEmpty())
                return fail(e.line, why);
        if (key == QLatin1String("name")) {
            p.name = word;
        } else if (key == QLatin1String("setup")) {
            p.setup << value;
        } else if (key == QLatin1String("stop")) {
            p.stop << value;
        } else if (key == QLatin1String("range")) {
            p.range << value;
        } else if (key == QLatin1String("preamble")) {
            p.preamble = value;
        } else if (key == QLatin1String("fields")) {
            for (const QString& f : word.split(QLatin1Char(','))) {
                const QString name = f.trimmed();
                if (name != QLatin1String("-") && !isName(name))
                    return fail(e.line, QStringLiteral("'%1' is not a field's name (letters, "
                                                       "digits and _, a letter first)")
                                            .arg(name));
                p.fields << name;
            }
        } else if (key == QLatin1String("field")) {
            const int eq = word.indexOf(QLatin1Char('='));
            const QString name = word.left(eq).trimmed();
            const QByteArray query = value.mid(value.indexOf('=') + 1).trimmed();
            if (eq <= 0 || query.isEmpty())
                return fail(e.line, QStringLiteral("field wants NAME = QUERY"));
            if (!isName(name))
                return fail(e.line, QStringLiteral("'%1' is not a field's name (letters, digits "
                                                   "and _, a letter first)")
                                        .arg(name));
            p.fieldQueries.append({name, query});
        } else if (key == QLatin1String("points")) {
            p.points = word;
        } else if (key == QLatin1String("chunk")) {
            bool ok = false;
            p.chunk = value.toLongLong(&ok);
            if (!ok || p.chunk < 1 || p.chunk > kMostScopePoints)
                return fail(e.line, QStringLiteral("chunk wants a count of points from 1 to %1")
                                        .arg(kMostScopePoints));
        } else if (key == QLatin1String("data")) {
            p.data = value;
        } else if (key == QLatin1String("prefix")) {
            p.prefix = unescapeValue(value);
        } else if (key == QLatin1String("trailing")) {
            bool ok = false;
            p.trailing = value.toInt(&ok);
            if (!ok || p.trailing < 0 || p.trailing > 16)
                return fail(e.line, QStringLiteral("trailing wants a count of bytes, 0 to 16"));
        } else if (key == QLatin1String("encoding")) {
            const EncodingInfo* found = encodingNamed(value);
            if (!found)
                return fail(e.line, QStringLiteral("'%1' is not an encoding; the encodings are %2")
                                        .arg(word, encodingNames()));
            p.encoding = found->encoding;
            hasEncoding = true;
        } else if (key == QLatin1String("volts")) {
            p.volts = word;
        } else if (key == QLatin1String("time")) {
            p.time = word;
        } else if (key == QLatin1String("screen")) {
            const QList<QByteArray> words = value.simplified().split(' ');
            bool ok1 = false, ok2 = false;
            if (words.size() == 2) {
                p.screenLow = words[0].toDouble(&ok1);
                p.screenHigh = words[1].toDouble(&ok2);
            }
            if (!ok1 || !ok2 || !(p.screenLow < p.screenHigh))
                return fail(e.line, QStringLiteral("screen wants two codes, the bottom's below "
                                                   "the top's"));
            p.hasScreen = true;
        } else if (key == QLatin1String("check")) {
            p.check = value;
        } else if (key == QLatin1String("terminator")) {
            p.terminator = unescapeValue(value);
        } else {
            return fail(e.line,
                        QStringLiteral("'%1' is not a key of an oscilloscope profile").arg(key));
        }
    }
    // What the lines say together.
    const int last = text.lastLine;
    for (const auto& [key, given] :
         {std::pair{"name", !p.name.isEmpty()}, std::pair{"data", !p.data.isEmpty()},
          std::pair{"volts", !p.volts.isEmpty()}, std::pair{"time", !p.time.isEmpty()}})
        if (!given)
            return fail(last, QStringLiteral("the profile has no '%1'").arg(QLatin1String(key)));
    if (!hasEncoding)
        return fail(last, QStringLiteral("the profile has no 'encoding'"));
    if (p.preamble.isEmpty() != p.fields.isEmpty())
        return fail(text.lineOf(p.preamble.isEmpty() ? QStringLiteral("fields")
                                                     : QStringLiteral("preamble")),
                    QStringLiteral("preamble and fields go together"));
    const QStringList names = p.fieldNames();
    for (int i = 0; i < names.size(); ++i)
        if (names.indexOf(names[i]) != i || names[i] == QLatin1String("code") ||
            names[i] == QLatin1String("index"))
            return fail(text.lineOf(p.fieldQueries.isEmpty() ? QStringLiteral("fields")
                                                             : QStringLiteral("field")),
                        QStringLiteral("the field '%1' is named twice, or by a name the "
                                       "expressions keep (code, index)")
                            .arg(names[i]));
    const struct {
        const char* key;
        QString text;
        const char* own;
    } expressions[] = {
        {"volts", p.volts, "code"}, {"time", p.time, "index"}, {"points", p.points, nullptr}};
    for (const auto& x : expressions) {
        if (x.text.isEmpty())
            continue;
        Formula f;
        QStringList vars = names;
        if (x.own)
            vars << QString::fromLatin1(x.own);
        if (const QString why = f.set(x.text, vars); !why.isEmpty())
            return fail(text.lineOf(QString::fromLatin1(x.key)), why);
    }
    if (p.chunk > 0 && (p.points.isEmpty() || p.range.isEmpty()))
        return fail(text.lineOf(QStringLiteral("chunk")),
                    QStringLiteral("chunk wants points and range lines"));
    if (!p.range.isEmpty() && p.chunk == 0)
        return fail(text.lineOf(QStringLiteral("range")), QStringLiteral("range wants chunk"));
    if (p.encoding == SampleEncoding::Ascii && (!p.prefix.isEmpty() || p.trailing > 0))
        return fail(text.lineOf(QStringLiteral("encoding")),
                    QStringLiteral("ascii data is a line of numbers: no prefix or trailing "
                                   "bytes"));
    if (p.hasScreen) {
        double lo = 0, hi = 0;
        codeRange(p.encoding, lo, hi);
        if (p.screenLow < lo || p.screenHigh > hi)
            return fail(text.lineOf(QStringLiteral("screen")),
                        QStringLiteral("the screen's codes do not fit the encoding (%1 to %2)")
                            .arg(lo, 0, 'f', 0)
                            .arg(hi, 0, 'f', 0));
    }
    if (p.terminator.isEmpty())
        return fail(text.lineOf(QStringLiteral("terminator")),
                    QStringLiteral("the terminator is empty"));
    return r;
}

ScopeProfileReading findScopeProfile(const QString& nameOrPath) {
    return findProfileIn<ScopeProfileReading>(nameOrPath, scopeFolders(), QStringLiteral(".scope"),
                                              QStringLiteral("oscilloscope profile"),
                                              parseScopeProfile);
}

QStringList scopeProfileNames() {
    return profileNamesIn(scopeFolders(), QStringLiteral(".scope"));
}

QString sourceProblem(const QString& source) {
    const bool plain =
        !source.isEmpty() && source.size() <= 32 &&
        std::all_of(source.begin(), source.end(), [](QChar c) {
            return c.unicode() < 128 && (c.isLetterOrNumber() || c == QLatin1Char('_'));
        });
    return plain ? QString()
                 : QStringLiteral("a channel's name is 1 to 32 letters, digits and _, not '%1'")
                       .arg(source);
}

QByteArray scopeLine(const ScopeProfile& p, const QByteArray& line, const QString& source,
                     qint64 start, qint64 stop) {
    QByteArray out = line;
    out.replace("{source}", source.toLatin1());
    out.replace("{start}", QByteArray::number(start));
    out.replace("{stop}", QByteArray::number(stop));
    return out + p.terminator;
}

bool answerNumber(QByteArrayView answer, double& value) {
    QByteArray a = answer.toByteArray().trimmed();
    // A header: a first word with a letter in it, before a blank.
    const qsizetype blank = a.indexOf(' ');
    if (blank > 0 && std::any_of(a.begin(), a.begin() + blank, [](char c) {
            return std::isalpha(static_cast<unsigned char>(c));
        }))
        a = a.mid(blank + 1).trimmed();
    // The longest number at the start: sign, digits, point, exponent; then only a unit.
    qsizetype i = 0;
    if (i < a.size() && (a[i] == '+' || a[i] == '-'))
        ++i;
    const qsizetype digitsFrom = i;
    while (i < a.size() && std::isdigit(static_cast<unsigned char>(a[i])))
        ++i;
    if (i < a.size() && a[i] == '.')
        ++i;
    while (i < a.size() && std::isdigit(static_cast<unsigned char>(a[i])))
        ++i;
    if (i == digitsFrom || (i == digitsFrom + 1 && a[digitsFrom] == '.'))
        return false;
    if (i < a.size() && (a[i] == 'e' || a[i] == 'E')) {
        qsizetype j = i + 1;
        if (j < a.size() && (a[j] == '+' || a[j] == '-'))
            ++j;
        if (j < a.size() && std::isdigit(static_cast<unsigned char>(a[j]))) {
            while (j < a.size() && std::isdigit(static_cast<unsigned char>(a[j])))
                ++j;
            i = j;
        }
    }
    // What follows may be a unit of letters and '/', nothing else.
    for (qsizetype j = i; j < a.size(); ++j)
        if (!std::isalpha(static_cast<unsigned char>(a[j])) && a[j] != '/')
            return false;
    bool ok = false;
    value = a.left(i).toDouble(&ok);
    return ok && std::isfinite(value);
}

QString preambleFields(const ScopeProfile& p, QByteArrayView answer, QMap<QString, double>& out) {
    QByteArray a = answer.toByteArray().trimmed();
    const qsizetype blank = a.indexOf(' ');
    if (blank > 0 && !a.left(blank).contains(',') &&
        std::any_of(a.begin(), a.begin() + blank,
                    [](char c) { return std::isalpha(static_cast<unsigned char>(c)); }))
        a = a.mid(blank + 1);
    const QList<QByteArray> parts = a.split(',');
    if (parts.size() < p.fields.size())
        return QStringLiteral("the preamble has %1 fields, the profile names %2")
            .arg(parts.size())
            .arg(p.fields.size());
    for (int i = 0; i < p.fields.size(); ++i) {
        if (p.fields[i] == QLatin1String("-"))
            continue;
        double v = 0;
        if (!answerNumber(parts[i], v))
            return QStringLiteral("field %1 (%2) is not a number: '%3'")
                .arg(i + 1)
                .arg(p.fields[i], QString::fromLatin1(parts[i].trimmed().left(24)));
        out[p.fields[i]] = v;
    }
    return QString();
}

QString ScopeScaling::prepare(const ScopeProfile& p, const QMap<QString, double>& fields) {
    m_profile = p;
    m_fields = fields;
    m_points = -1;
    for (const QString& name : p.fieldNames())
        if (!fields.contains(name))
            return QStringLiteral("the field '%1' was not read").arg(name);
    if (!p.points.isEmpty()) {
        Formula f;
        if (const QString why = f.set(p.points, fields.keys()); !why.isEmpty())
            return why;
        for (auto it = fields.begin(); it != fields.end(); ++it)
            f.setValue(it.key(), it.value());
        const double n = f.eval();
        if (!std::isfinite(n) || n < 1 || n != std::floor(n))
            return QStringLiteral("the count of points (%1) is not a whole number above 0")
                .arg(n, 0, 'g', 12);
        if (n > kMostScopePoints)
            return QStringLiteral("the oscilloscope holds %1 points, more than the %2 read at "
                                  "most")
                .arg(n, 0, 'f', 0)
                .arg(kMostScopePoints);
        m_points = static_cast<qint64>(n);
    }
    return QString();
}

std::vector<double> ScopeScaling::volts(const std::vector<double>& codes, QString& why) const {
    std::vector<double> out;
    voltsInto(codes, out, why);
    return out;
}

void ScopeScaling::voltsInto(const std::vector<double>& codes, std::vector<double>& out,
                             QString& why) const {
    why.clear();
    out.clear();
    Formula f;
    QStringList vars = m_fields.keys();
    vars << QStringLiteral("code");
    if (QString e = f.set(m_profile.volts, vars); !e.isEmpty()) {
        why = e;
        return;
    }
    for (auto it = m_fields.begin(); it != m_fields.end(); ++it)
        f.setValue(it.key(), it.value());
    double* code = f.slot("code");
    out.resize(codes.size());
    const EncodingInfo& info = infoOf(m_profile.encoding);
    auto bad = [&](double c) {
        why = QStringLiteral("the volts of the code %1 are not a number").arg(c, 0, 'g', 9);
        out.clear();
    };
    if (info.bytes == 1 || info.bytes == 2) {
        // Every code the encoding can hold, worked out once.
        double lo = 0, hi = 0;
        codeRange(m_profile.encoding, lo, hi);
        std::vector<double> table(static_cast<std::size_t>(hi - lo + 1));
        for (std::size_t i = 0; i < table.size(); ++i) {
            *code = lo + static_cast<double>(i);
            table[i] = f.eval();
        }
        for (std::size_t i = 0; i < codes.size(); ++i) {
            // A code the encoding cannot hold (given, not decoded) is worked out on its own.
            const double c = codes[i];
            if (c >= lo && c <= hi && c == std::floor(c)) {
                out[i] = table[static_cast<std::size_t>(c - lo)];
            } else {
                *code = c;
                out[i] = f.eval();
            }
            if (!std::isfinite(out[i]))
                return bad(c);
        }
        return;
    }
    for (std::size_t i = 0; i < codes.size(); ++i) {
        *code = codes[i];
        out[i] = f.eval();
        if (!std::isfinite(out[i]))
            return bad(codes[i]);
    }
}

std::vector<double> ScopeScaling::times(qint64 count, QString& why) const {
    why.clear();
    Formula f;
    QStringList vars = m_fields.keys();
    vars << QStringLiteral("index");
    if (QString e = f.set(m_profile.time, vars); !e.isEmpty()) {
        why = e;
        return {};
    }
    for (auto it = m_fields.begin(); it != m_fields.end(); ++it)
        f.setValue(it.key(), it.value());
    double* index = f.slot("index");
    std::vector<double> out(static_cast<std::size_t>(std::max<qint64>(count, 0)));
    for (std::size_t i = 0; i < out.size(); ++i) {
        *index = static_cast<double>(i);
        out[i] = f.eval();
        if (!std::isfinite(out[i])) {
            why = QStringLiteral("the time of point %1 is not a number").arg(i);
            return {};
        }
    }
    return out;
}

QByteArray traceTable(const ScopeScaling& scaling, const std::vector<double>& volts, QString& why) {
    const std::vector<double> t = scaling.times(static_cast<qint64>(volts.size()), why);
    if (!why.isEmpty())
        return {};
    QByteArray out;
    out.reserve(static_cast<qsizetype>(volts.size()) * 34 + 16);
    out += "time,volts\n";
    for (std::size_t i = 0; i < volts.size(); ++i) {
        out += QByteArray::number(t[i], 'g', 10);
        out += ',';
        out += QByteArray::number(volts[i], 'g', 10);
        out += '\n';
    }
    return out;
}

QString screenProblem(const ScopeProfile& p) {
    const bool values = p.encoding == SampleEncoding::Ascii ||
                        p.encoding == SampleEncoding::Float32LE ||
                        p.encoding == SampleEncoding::Float32BE;
    if (!values || p.hasScreen)
        return QString();
    return QStringLiteral("the profile '%1' gives its samples as values, not as a screen's codes: "
                          "'screen: LO HI' in it says which values are the screen's edges")
        .arg(p.name);
}

std::vector<float> screenSamples(const ScopeProfile& p, const std::vector<double>& codes) {
    double lo = p.screenLow, hi = p.screenHigh;
    if (!p.hasScreen)
        codeRange(p.encoding, lo, hi);
    std::vector<float> out(codes.size());
    const double mid = (lo + hi) / 2.0, half = (hi - lo) / 2.0;
    for (std::size_t i = 0; i < codes.size(); ++i)
        out[i] = static_cast<float>(std::clamp((codes[i] - mid) / half, -1.0, 1.0));
    return out;
}

} // namespace ww
