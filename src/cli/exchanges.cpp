#include "exchanges.h"

#include "commandline.h"
#include "files/nativefile.h"
#include "files/resample.h"
#include "files/wavefile.h"
#include "instruments/bench.h"
#include "instruments/generatorlines.h"
#include "instruments/generatorupload.h"
#include "instruments/scpiupload.h"
#include "instruments/tdsexchange.h"
#include "interrupts.h"
#include "lines/clock.h"
#include "lines/seriallink.h"
#include "progress.h"

#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <memory>

namespace ww::cli {

namespace {
std::unique_ptr<Clock> clockFor(double timeScale) {
    if (timeScale == 1.0)
        return std::make_unique<SystemClock>();
    return std::make_unique<ScaledClock>(timeScale);
}

void say(const QString& text) {
    std::fprintf(stderr, "wavewright: %s\n", qPrintable(text));
}

// The engines' messages are the window's boxes; on the command line one line says what went
// wrong and on which port.
QString oneLine(const QString& boxText, const QString& port, const QString& baud) {
    if (boxText == GeneratorUpload::communicationErrorText())
        return port + QStringLiteral(": the generator did not answer in time (13 s for a "
                                     "reply, the write time-out for a line)");
    if (boxText == TdsExchange::linkErrorText())
        return port + QStringLiteral(": no identification from the oscilloscope within %1 s")
                          .arg(tdsLinkSeconds(baud));
    if (boxText == TdsExchange::readErrorText())
        return port + QStringLiteral(": the curve did not arrive complete within %1 s")
                          .arg(tdsReadSeconds(baud));
    return QString(boxText).replace(QStringLiteral("\r\n"), QStringLiteral(" "));
}

// What both exchanges run on: the line the command chose, its clock, and Ctrl+C.
struct Session {
    explicit Session(const Line& line)
        : clock(clockFor(line.timeScale)), settings(comNumbered(line)),
          bench(line.ports, settings, *clock), choice{line.ports, line.comNumber} {}
    static SerialSettings comNumbered(const Line& line) {
        SerialSettings s = line.settings;
        s.ComPortNumber = line.comNumber;
        return s;
    }
    Interrupts interrupts;
    std::unique_ptr<Clock> clock;
    SerialSettings settings;
    Bench bench;
    LineChoice choice;
};
} // namespace

int sendWaveform(const Line& line, const WaveStore& store) {
    Session session(line);
    Interrupts& interrupts = session.interrupts;
    GeneratorUpload& upload = session.bench.upload();
    upload.completionPauseMs = 0;
    QString failure;
    bool complete = false;
    QObject::connect(&upload, &Exchange::failed,
                     [&](const QString& text, const QString&, BoxIcon) { failure = text; });
    QObject::connect(&upload, &GeneratorUpload::statusChanged, [&](const QString& s) {
        complete = complete || s == QStringLiteral("Send complete！");
    });
    const qint64 lines = blockCount(store.ArbLength) + 1;
    Progress progress(line.quiet, QStringLiteral("lines"));
    QObject::connect(&upload, &GeneratorUpload::progressChanged, [&](double, int acknowledged) {
        progress.update(acknowledged, lines, acknowledged > 0 ? 15 + 527 * (acknowledged - 1) : 0);
    });
    QEventLoop loop;
    QObject::connect(&upload, &GeneratorUpload::finished, &loop, &QEventLoop::quit);
    QObject::connect(&interrupts, &Interrupts::interrupted, &upload,
                     &GeneratorUpload::CloseTeskCom);
    upload.start(store);
    if (upload.running())
        loop.exec();
    progress.finish();
    if (interrupts.received())
        return 128 + interrupts.received();
    if (!complete) {
        say(oneLine(failure.isEmpty() ? GeneratorUpload::communicationErrorText() : failure,
                    line.ports.describe(line.comNumber), session.settings.ComBaud));
        return kFailed;
    }
    return kOk;
}

int sendThroughProfile(const Line& line, const Profile& profile, const std::vector<float>& samples,
                       const QString& name, const GeneratorSettings& generator) {
    Session session(line);
    ScpiUpload& upload = session.bench.makeScpiUpload(session.choice);
    QString failure, answer;
    bool done = false;
    QObject::connect(&upload, &Exchange::failed,
                     [&](const QString& text, const QString&, BoxIcon) { failure = text; });
    QObject::connect(&upload, &ScpiUpload::succeeded, [&](const QString& a) {
        done = true;
        answer = a;
    });
    Progress progress(line.quiet, QStringLiteral("bytes"));
    QObject::connect(&upload, &ScpiUpload::progressChanged,
                     [&](qint64 sent, qint64 total) { progress.update(sent, total, sent); });
    QEventLoop loop;
    QObject::connect(&upload, &Exchange::finished, &loop, &QEventLoop::quit);
    QObject::connect(&session.interrupts, &Interrupts::interrupted, &upload, &ScpiUpload::cancel);
    upload.start(profile, samples, name, generator);
    if (upload.running())
        loop.exec();
    progress.finish();
    if (session.interrupts.received())
        return 128 + session.interrupts.received();
    const QString where = line.ports.describe(line.comNumber);
    if (!done) {
        // The line's own messages name it already.
        say(failure.contains(line.ports.device(line.comNumber))
                ? failure
                : QStringLiteral("%1: %2").arg(where, failure));
        return kFailed;
    }
    if (!line.quiet)
        say(QStringLiteral("%1: %2").arg(
            where, answer.isEmpty() ? ScpiUpload::unconfirmedText(upload.total()) : answer));
    return kOk;
}

int readCurve(const Line& line, std::vector<float>& curve) {
    curve.clear();
    Session session(line);
    Interrupts& interrupts = session.interrupts;
    TdsExchange& tds = session.bench.tds();
    QString failure, identification;
    bool linked = false;
    QObject::connect(&tds, &Exchange::failed,
                     [&](const QString& text, const QString&, BoxIcon) { failure = text; });
    QObject::connect(&tds, &TdsExchange::statusAppended,
                     [&](const QString& text) { identification += text; });
    QObject::connect(&tds, &TdsExchange::dataTaken, [&](const std::vector<float>& samples) {
        if (!interrupts.received())
            curve = samples;
    });
    Progress progress(line.quiet, QStringLiteral("bytes"));
    QObject::connect(&tds, &TdsExchange::progressChanged, [&](int, int value) {
        if (tds.OscilMode == 1)
            progress.update(value, kTdsPoints, value);
    });
    // "OK" on the window's button: the link or the read has what it waited for. The command
    // presses it at once instead of waiting for the deadline.
    QObject::connect(&tds, &TdsExchange::buttonChanged, [&](const QString& caption) {
        if (caption != QLatin1String("OK"))
            return;
        QTimer::singleShot(0, &tds, [&] {
            if (!tds.running())
                return;
            linked = linked || tds.OscilMode == 0;
            tds.Command_TDS_Click();
        });
    });
    QEventLoop loop;
    QObject::connect(&tds, &TdsExchange::finished, &loop, [&] {
        QTimer::singleShot(0, &loop, [&] {
            if (linked && tds.OscilMode == 0 && !interrupts.received()) {
                if (!line.quiet)
                    say(QStringLiteral("%1: %2").arg(line.ports.describe(line.comNumber),
                                                     identification.trimmed()));
                tds.TDS_Readdata();
                if (tds.running())
                    return;
            }
            loop.quit();
        });
    });
    QObject::connect(&interrupts, &Interrupts::interrupted, &tds, [&] {
        if (tds.running())
            tds.Command_TDS_Click();
    });
    tds.TDS_Link();
    loop.exec();
    progress.finish();
    if (interrupts.received())
        return 128 + interrupts.received();
    if (curve.size() != static_cast<std::size_t>(kTdsPoints)) {
        say(oneLine(failure.isEmpty() ? TdsExchange::readErrorText() : failure,
                    line.ports.describe(line.comNumber), session.settings.ComBaud));
        curve.clear();
        return kFailed;
    }
    return kOk;
}

int captureCurve(const Line& line, const QString& file) {
    std::vector<float> curve;
    if (const int status = readCurve(line, curve); status != kOk)
        return status;
    WaveStore store;
    std::copy(curve.begin(), curve.end(), store.ArbData.begin());
    store.ArbLength = static_cast<float>(kTdsPoints);
    const QString why = writeWaveFile(file, QString::number(kTdsPoints), store);
    if (!why.isEmpty()) {
        say(QStringLiteral("%1: %2").arg(file, why));
        return kFailed;
    }
    return kOk;
}

int readThroughProfile(const Line& line, const ScopeProfile& profile, const QString& source,
                       ScopeTrace& trace) {
    Session session(line);
    ScopeCapture& capture = session.bench.makeScopeCapture(session.choice);
    QString failure;
    bool done = false;
    QObject::connect(&capture, &Exchange::failed,
                     [&](const QString& text, const QString&, BoxIcon) { failure = text; });
    QObject::connect(&capture, &ScopeCapture::captured, [&](const ScopeTrace& t) {
        trace = t;
        done = true;
    });
    Progress progress(line.quiet, QStringLiteral("bytes"));
    QObject::connect(&capture, &ScopeCapture::progressChanged,
                     [&](qint64 got, qint64 total) { progress.update(got, total, got); });
    QEventLoop loop;
    QObject::connect(&capture, &Exchange::finished, &loop, &QEventLoop::quit);
    QObject::connect(&session.interrupts, &Interrupts::interrupted, &capture,
                     &ScopeCapture::cancel);
    capture.start(profile, source);
    if (capture.running())
        loop.exec();
    progress.finish();
    if (session.interrupts.received())
        return 128 + session.interrupts.received();
    if (!done) {
        say(failure);
        return kFailed;
    }
    if (!line.quiet)
        say(QStringLiteral("%1: %2 points of %3")
                .arg(capture.lineName)
                .arg(trace.volts.size())
                .arg(source));
    return kOk;
}

int captureThroughProfile(const Line& line, const ScopeProfile& profile, const QString& source,
                          const QString& file) {
    const bool table = file.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive);
    if (const QString why = screenProblem(profile); !table && !why.isEmpty()) {
        say(QStringLiteral("%1: %2").arg(file, why));
        return kFailed;
    }
    ScopeTrace trace;
    if (const int status = readThroughProfile(line, profile, source, trace); status != kOk)
        return status;
    QString why;
    if (table) {
        const QByteArray text = traceTable(trace.scaling, trace.volts, why);
        if (why.isEmpty())
            why = writeWhole(file, text);
    } else {
        const std::vector<float> samples =
            recordAsWaveform(screenSamples(trace.profile, trace.codes));
        if (samples.size() < static_cast<std::size_t>(kMinLength)) {
            why = QStringLiteral("the oscilloscope gave %1 points, fewer than a waveform's %2")
                      .arg(samples.size())
                      .arg(kMinLength);
        } else {
            WaveStore store;
            std::copy(samples.begin(), samples.end(), store.ArbData.begin());
            store.ArbLength = static_cast<float>(samples.size());
            why = writeWaveFile(file, QString::number(samples.size()), store);
        }
    }
    if (!why.isEmpty()) {
        say(QStringLiteral("%1: %2").arg(file, why));
        return kFailed;
    }
    return kOk;
}

} // namespace ww::cli
