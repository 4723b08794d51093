// The commands that read and write files: convert, expr, spectrum and compare.
#include "commands.h"

#include "analysis/compare.h"
#include "analysis/spectrum.h"
#include "files/formats.h"
#include "files/nativefile.h"
#include "files/wavefile.h"
#include "instruments/generatorlines.h"
#include "model/numbertext.h"
#include "options.h"
#include "synth/expression.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ww::cli {

int convert(const QStringList& args) {
    Command c("convert", "IN OUT",
              "Reads any file the program reads (its waveform file, a table of numbers such as "
              ".csv, .tsv or .dat, or a .wav), recognised by its content, and writes it in the "
              "format OUT's extension names (" +
                  writableExtensions().join(QStringLiteral(", ")) +
                  "). What was understood of IN goes to standard error.");
    const ReadOptions readOptions(c);
    const auto rate = c.add("rate", "Samples a second of a WAV written (default 16000).", "HZ");
    const auto size =
        c.add("size", "Width x height of a picture written (default 1536x720).", "WxH");
    const auto quiet = c.add("quiet", "Says nothing of what was understood.");
    if (const auto done = c.parse(args, 2))
        return *done;
    const QString in = c.parser.positionalArguments().at(0);
    const QString out = c.parser.positionalArguments().at(1);
    if (!formatForWriting(out))
        return c.usage(QStringLiteral("%1: unknown format (known: %2)")
                           .arg(out, writableExtensions().join(QStringLiteral(", "))));
    WaveformRequest request;
    if (const QString why = readOptions.read(c, request); !why.isEmpty())
        return c.usage(why);
    WriteOptions write;
    bool ok = true;
    if (c.parser.isSet(rate)) {
        write.rate = c.parser.value(rate).toInt(&ok);
        if (!ok || write.rate < 1)
            return c.usage(QStringLiteral("--rate wants a positive number of samples a second"));
    }
    if (c.parser.isSet(size)) {
        const QStringList wh = c.parser.value(size).split(QLatin1Char('x'));
        write.size = QSize(wh.value(0).toInt(), wh.value(1).toInt());
        if (write.size.width() < 120 || write.size.height() < 80 || write.size.width() > 20000 ||
            write.size.height() > 20000)
            return c.usage(QStringLiteral("--size wants WIDTHxHEIGHT from 120x80 to 20000x20000"));
    }
    const std::optional<WaveStore> store = readInput(in, request, c.parser.isSet(quiet));
    if (!store)
        return kFailed;
    const QString why = writeWaveform(out, *store, write);
    if (!why.isEmpty()) {
        say(QStringLiteral("%1: %2").arg(out, why));
        return kFailed;
    }
    return kOk;
}

// The expression may start with a minus ("-sin(x)"): every word that is not one of the
// command's options (or an option's value) is the expression, whatever it starts with.
QStringList expressionLast(const QStringList& args, const QStringList& valued,
                           const QStringList& flags) {
    QStringList options{args.value(0)}, positional;
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        const QString name = a.section(QLatin1Char('='), 0, 0);
        if (a == QLatin1String("--")) {
            positional += args.mid(i + 1);
            break;
        }
        if (valued.contains(name)) {
            options << a;
            if (!a.contains(QLatin1Char('=')) && i + 1 < args.size())
                options << args[++i];
        } else if (flags.contains(a)) {
            options << a;
        } else {
            positional << a;
        }
    }
    return options + QStringList{QStringLiteral("--")} + positional;
}

int expr(const QStringList& rawArgs) {
    Command c("expr", "EXPRESSION",
              "Writes the waveform an expression makes to a file (.txt, the program's own, .csv "
              "or .wav).\n" +
                  Expression::help());
    const auto length = c.add("length", "Samples, 4 to 16000 (default 201, or the input's).", "N");
    const auto output = c.add("o", "The file to write: .txt, .csv or .wav.", "FILE");
    const auto fit = c.add("fit", "Values beyond -1..+1: clip (default) or peak.", "clip|peak");
    const auto input = c.add("input",
                             "The waveform y stands for: any file convert reads (without it, an "
                             "expression that uses y is refused).",
                             "FILE");
    const QStringList args = expressionLast(rawArgs, {"--length", "-o", "--o", "--fit", "--input"},
                                            {"-h", "--help", "-?"});
    if (const auto done = c.parse(args, 1))
        return *done;
    std::optional<WaveStore> current;
    if (c.parser.isSet(input) && !(current = readInput(c.parser.value(input), {}, true)))
        return kFailed;
    int n = current ? current->length() : 201;
    if (c.parser.isSet(length)) {
        bool ok = false;
        n = c.parser.value(length).toInt(&ok);
        if (!ok || n < kMinLength || n > kMaxLength)
            return c.usage(QStringLiteral("--length wants 4 to 16000"));
        if (current && n != current->length())
            return c.usage(
                QStringLiteral("--length: y has the input's %1 samples").arg(current->length()));
    }
    const QString file = c.parser.value(output);
    if (file.isEmpty() || !formatForWriting(file))
        return c.usage(QStringLiteral("-o wants a file ending in %1")
                           .arg(writableExtensions().join(QStringLiteral(", "))));
    const QString how = c.parser.isSet(fit) ? c.parser.value(fit) : QStringLiteral("clip");
    if (how != QLatin1String("clip") && how != QLatin1String("peak"))
        return c.usage(QStringLiteral("--fit wants clip or peak"));
    Expression expression;
    const QString text = c.parser.positionalArguments().at(0);
    if (const auto error = expression.setText(text)) {
        std::fprintf(stderr, "wavewright expr: %s\n  %s\n  %s^\n", qPrintable(error->message),
                     qPrintable(text), qPrintable(QString(std::max(error->position, 0), ' ')));
        return kUsage;
    }
    if (expression.usesCurrent() && !current)
        return c.usage(QStringLiteral("the expression uses y, the current waveform: give it "
                                      "with --input FILE"));
    const Expression::Values values =
        expression.evaluate(n, current ? current->ArbData.data() : nullptr);
    if (values.nonFiniteAt >= 0) {
        say(QStringLiteral("the expression is not a finite number at sample %1")
                .arg(values.nonFiniteAt));
        return kFailed;
    }
    const WaveStore store =
        storeOf(fitToRange(values.samples, how == QLatin1String("peak") ? Fit::Peak : Fit::Clip));
    const QString why = writeWaveform(file, store);
    if (!why.isEmpty()) {
        say(QStringLiteral("%1: %2").arg(file, why));
        return kFailed;
    }
    return kOk;
}

int spectrum(const QStringList& args) {
    Command c("spectrum", "FILE",
              "Prints what a waveform contains: THD, THD+N, SNR, SFDR and ENOB as IEEE Std 1241 "
              "defines them, then the fundamental. FILE is any file convert reads. A record of "
              "whole periods is analysed as it is, whatever its file; other records through a "
              "window, which standard error names.");
    const auto harmonics = c.add(
        "harmonics", "Harmonics 2..H count as distortion (default 50, or N/2 if fewer).", "H");
    const auto quantized =
        c.add("quantized", "As the generator makes it: each sample coded to its 12 bits first.");
    const auto window = c.add("window",
                              "hann, blackman-harris, flat-top or none (default none: a record "
                              "of whole periods is measured exactly, any other through hann).",
                              "name");
    const auto csv =
        c.add("csv", "Writes harmonic,amplitude,dBc,phase_deg for 1..H to OUT.", "OUT");
    const auto column = c.add("column",
                              "The column, channel or simulator trace to analyse, by its number "
                              "from 1 or its name (default: as convert takes it).",
                              "N|NAME");
    const auto by = c.add(
        "by", "time (default: uneven time steps resampled onto even ones) or index.", "time|index");
    if (const auto done = c.parse(args, 1))
        return *done;
    WaveformRequest request;
    request.asRead = true;
    if (const QString why = readTrace(c, column, by, request); !why.isEmpty())
        return c.usage(why);
    int h = 50;
    if (c.parser.isSet(harmonics)) {
        bool ok = false;
        h = c.parser.value(harmonics).toInt(&ok);
        if (!ok || h < 1 || h > kMaxLength / 2)
            return c.usage(QStringLiteral("--harmonics wants 1 to 8000"));
    }
    static const QStringList windows = {"none", "hann", "blackman-harris", "flat-top"};
    int w = -1;
    if (c.parser.isSet(window) && (w = windows.indexOf(c.parser.value(window))) < 0)
        return c.usage(QStringLiteral("--window wants hann, blackman-harris, flat-top or none"));
    const QString file = c.parser.positionalArguments().at(0);
    const FileContent content = readFileContent(file, request);
    const Waveform read = shapeWaveform(content, request);
    if (!read.error.isEmpty()) {
        say(QStringLiteral("%1: %2").arg(file, read.error));
        return kFailed;
    }
    // By default none: whole periods are measured exactly, any other record through Hann's.
    if (w < 0)
        w = 0;
    const std::vector<double> values =
        c.parser.isSet(quantized) ? asGenerated(read.values, sampleCode, 4095) : read.values;
    const SpectrumFigures f = analyseSpectrum(values, h, static_cast<SpectrumWindow>(w));
    std::fprintf(stderr, "window: %s\n", qPrintable(windows[static_cast<int>(f.window)]));
    if (f.error.isEmpty() && !f.warning.isEmpty())
        say(QStringLiteral("%1: %2").arg(file, f.warning));
    if (f.used > 0 && f.used < static_cast<int>(values.size()))
        say(QStringLiteral("%1: analysed the first %2 of %3 points (a stretch of bounded length "
                           "that the transform is fast for)")
                .arg(file)
                .arg(f.used)
                .arg(values.size()));
    if (!f.error.isEmpty()) {
        say(QStringLiteral("%1: %2").arg(file, f.error));
        return kFailed;
    }
    // With a point whatever the user's locale.
    auto number = [](double v, int decimals) { return QString::number(v, 'f', decimals); };
    std::printf("%s", qPrintable(QStringLiteral("THD: %1\nTHD+N: %2\nSNR: %3\nSFDR: %4\nENOB: "
                                                "%5\nSINAD: %6\nfundamental: %7 periods in "
                                                "the record\n")
                                     .arg(figureText(f, Figure::Thd), figureText(f, Figure::ThdN),
                                          figureText(f, Figure::Snr), figureText(f, Figure::Sfdr),
                                          figureText(f, Figure::Enob), figureText(f, Figure::Sinad),
                                          number(f.fundamental, 2))));
    if (c.parser.isSet(csv)) {
        const QByteArray table = spectrumCsv(f, c.parser.isSet(quantized), h);
        if (const QString why = writeWhole(c.parser.value(csv), table); !why.isEmpty()) {
            say(QStringLiteral("%1: %2").arg(c.parser.value(csv), why));
            return kFailed;
        }
    }
    return kOk;
}

int compare(const QStringList& args) {
    Command c("compare", "SENT CAPTURED",
              "Says whether CAPTURED (a curve an oscilloscope showed, in any file convert reads) "
              "is the waveform SENT: the periods it holds, phase, gain and offset, the "
              "correlation, the RMS and the largest error in percent of full scale, the worst "
              "region in samples of SENT, and the verdict. Exit status 0 on a match, 1 on a "
              "mismatch or a failure.");
    const ToleranceOptions tolerances(c);
    const auto quiet = c.add("quiet", "Says nothing of what was understood of SENT, as verify.");
    if (const auto done = c.parse(args, 2))
        return *done;
    CompareTolerance tolerance;
    if (const QString why = tolerances.read(c, tolerance); !why.isEmpty())
        return c.usage(why);
    const QString sentFile = c.parser.positionalArguments().at(0);
    const QString capturedFile = c.parser.positionalArguments().at(1);
    // The sent waveform as send would send it; the capture as its file holds it.
    const std::optional<WaveStore> sent =
        readInput(sentFile, WaveformRequest{}, c.parser.isSet(quiet));
    if (!sent)
        return kFailed;
    WaveformRequest asRead;
    asRead.asRead = true;
    const Waveform captured = readWaveform(capturedFile, asRead);
    if (!captured.error.isEmpty()) {
        say(QStringLiteral("%1: %2").arg(capturedFile, captured.error));
        return kFailed;
    }
    const std::vector<double> samples(sent->ArbData.begin(),
                                      sent->ArbData.begin() + sent->length());
    return reportComparison(compareCapture(samples, captured.values, tolerance), capturedFile);
}

} // namespace ww::cli
