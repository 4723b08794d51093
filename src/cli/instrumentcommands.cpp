// The commands that talk to instruments: send, capture, verify, and the list of ports.
#include "commands.h"

#include "analysis/compare.h"
#include "files/formats.h"
#include "files/nativefile.h"
#include "files/resample.h"
#include "instruments/generatorlines.h"
#include "instruments/profile.h"
#include "instruments/scopeprofile.h"
#include "options.h"

#include <QFileInfo>
#include <cstdio>

namespace ww::cli {

int send(const QStringList& args) {
    Command c("send", "FILE",
              "Uploads a waveform file to the Vorrel generator, or, with --profile, to any SCPI "
              "generator the profile describes.");
    LineOptions lineOptions(c, "No progress on standard error.",
                            "n or N (none, 8 data bits), O or E (odd or even, 7 data bits) "
                            "(default n).");
    const auto number =
        c.add("number", "The generator's waveform number, 1 to 8 (default 1).", "1..8");
    const auto dryRun =
        c.add("dry-run", "Writes the bytes that would be sent to standard output instead.");
    const auto profileOption =
        c.add("profile",
              QStringLiteral("A SCPI generator's profile, by name (%1) or as a file.")
                  .arg(profileNames().join(QStringLiteral(", "))),
              "NAME|FILE");
    const auto nameOption = c.add(
        "name", "With --profile: the waveform's name on the instrument (default WAVE1).", "N");
    const auto fitPoints = c.add("fit-points", "With --profile: a waveform of a count the "
                                               "instrument does not take is resampled, as one "
                                               "period, to the nearest it takes.");
    const GeneratorOptions generatorOptions(c);
    if (const auto done = c.parse(args, 1))
        return *done;
    Line line;
    if (const QString why = lineOptions.read(c, line); !why.isEmpty())
        return c.usage(why);
    const int slot = waveformNumber(c, number);
    if (slot < 1)
        return c.usage(QStringLiteral("--number wants 1 to 8"));
    const bool scpi = c.parser.isSet(profileOption);
    if (!scpi &&
        (c.parser.isSet(nameOption) || c.parser.isSet(fitPoints) || generatorOptions.anySet(c)))
        return c.usage(QStringLiteral("--name, --fit-points and the generator's settings go "
                                      "with --profile"));
    const QString name =
        c.parser.isSet(nameOption) ? c.parser.value(nameOption) : QStringLiteral("WAVE1");
    if (const QString why = waveformNameProblem(name); !why.isEmpty())
        return c.usage(QStringLiteral("--name: ") + why);
    GeneratorSettings generator;
    ProfileReading profile;
    if (const auto status = generatorOptions.read(c, profileOption, generator, profile))
        return *status;
    const QString file = c.parser.positionalArguments().at(0);
    std::optional<WaveStore> store = readInput(file, WaveformRequest{}, line.quiet);
    if (!store)
        return kFailed;
    store->ArbNumber = static_cast<float>(slot);
    if (!scpi) {
        if (c.parser.isSet(dryRun)) {
            QByteArray out = headerLine(store->ArbNumber, store->ArbLength);
            for (int b = 0; b < blockCount(store->ArbLength); ++b)
                out += dataLine(*store, b);
            std::fwrite(out.constData(), 1, static_cast<std::size_t>(out.size()), stdout);
            return std::fflush(stdout) == 0 ? kOk : kFailed;
        }
        return sendWaveform(line, *store);
    }
    // Refused, or resampled when asked, before the line is opened.
    std::vector<float> samples(store->ArbData.begin(), store->ArbData.begin() + store->length());
    const int count = static_cast<int>(samples.size());
    if (const QString why = pointsProblem(profile.profile, count); !why.isEmpty()) {
        const int fits = nearestPoints(profile.profile, count);
        if (!c.parser.isSet(fitPoints) || fits == 0) {
            say(QStringLiteral("%1: the instrument cannot take it: %2%3")
                    .arg(file, why,
                         fits ? QStringLiteral(" (--fit-points resamples it to %1)").arg(fits)
                              : QString()));
            return kFailed;
        }
        const std::vector<double> resampled =
            resamplePeriodic(std::vector<double>(samples.begin(), samples.end()), fits);
        samples.assign(resampled.begin(), resampled.end());
        if (!line.quiet)
            say(QStringLiteral("%1: resampled from %2 to %3 points, as one period, for the "
                               "instrument")
                    .arg(file)
                    .arg(count)
                    .arg(fits));
    }
    if (c.parser.isSet(dryRun)) {
        QByteArray out;
        for (const QByteArray& l : uploadLines(profile.profile, samples, name, generator))
            out += l;
        std::fwrite(out.constData(), 1, static_cast<std::size_t>(out.size()), stdout);
        return std::fflush(stdout) == 0 ? kOk : kFailed;
    }
    return sendThroughProfile(line, profile.profile, samples, name, generator);
}

int capture(const QStringList& args) {
    Command c("capture", "FILE",
              "Reads the curve shown on a TDS oscilloscope into a waveform file of 2500 points. "
              "With --profile, reads the curve of any SCPI oscilloscope the profile describes: a "
              ".csv gets the time and volts of every point the oscilloscope holds, a .txt the "
              "program's waveform (the screen's codes as -1..+1, resampled to 16000 points "
              "when there are more).");
    LineOptions lineOptions(c, "No progress or identification on standard error.",
                            "n or N (none), O or E (odd or even); 8 data bits (default n).");
    const ScopeOptions scopeOptions(c);
    const auto profileOption =
        c.add("profile",
              QStringLiteral("The oscilloscope's profile, by name (%1) or as a file.")
                  .arg(scopeProfileNames().join(QStringLiteral(", "))),
              "NAME|FILE");
    if (const auto done = c.parse(args, 1))
        return *done;
    const bool throughProfile = c.parser.isSet(profileOption);
    Line line;
    if (const QString why = lineOptions.read(c, line); !why.isEmpty())
        return c.usage(why);
    if (const QString why = scopeOptions.read(c, line.settings, throughProfile); !why.isEmpty())
        return c.usage(why);
    QString channel;
    ScopeProfile profile;
    if (throughProfile)
        if (const auto status = scopeOptions.readProfile(c, profileOption, channel, profile))
            return *status;
    const QString file = c.parser.positionalArguments().at(0);
    const QString suffix = suffixOf(file);
    if (suffix != QLatin1String("txt") && !(throughProfile && suffix == QLatin1String("csv")))
        return c.usage(QStringLiteral("%1: the file name must end in .txt%2")
                           .arg(file, throughProfile ? QStringLiteral(" or .csv") : QString()));
    if (throughProfile && suffix == QLatin1String("txt"))
        if (const QString why = screenProblem(profile); !why.isEmpty())
            return c.usage(
                QStringLiteral("%1: %2 (a .csv takes the volts as they are)").arg(file, why));
    // Known before the instrument is asked, not after a read of many seconds.
    if (const QString why = checkWritable(file); !why.isEmpty()) {
        say(QStringLiteral("%1: %2").arg(file, why));
        return kFailed;
    }
    if (throughProfile)
        return captureThroughProfile(line, profile, channel, file);
    return captureCurve(line, file);
}

int verify(const QStringList& args) {
    Command c("verify", "FILE",
              "Sends FILE to the generator (the Vorrel generator, or a SCPI generator through "
              "--generator-profile), reads the curve the TDS oscilloscope (or a SCPI oscilloscope "
              "through --scope-profile) then shows and compares the two, as compare does. Exit "
              "status 0 on a match, 1 on a mismatch or "
              "a failure.");
    LineOptions lineOptions(
        c, "No progress or identification on standard error.",
        "n or N (none, 8 data bits), O or E (odd or even; the generator then 7 data bits) "
        "(default n).",
        QStringLiteral("generator"),
        QStringLiteral("The generator's line: ") + lineHelp(QStringLiteral("COM1")));
    const auto scopePort = c.add("scope",
                                 QStringLiteral("The oscilloscope's line: ") +
                                     lineHelp(QStringLiteral("the generator's")),
                                 "P");
    const ScopeOptions scopeOptions(c);
    const auto number =
        c.add("number", "The generator's waveform number, 1 to 8 (default 1).", "1..8");
    const auto profileOption =
        c.add("generator-profile",
              QStringLiteral("The SCPI generator's profile, by name (%1) or as a file.")
                  .arg(profileNames().join(QStringLiteral(", "))),
              "NAME|FILE");
    const GeneratorOptions generatorOptions(c);
    const auto scopeProfileOption =
        c.add("scope-profile",
              QStringLiteral("The SCPI oscilloscope's profile, by name (%1) or as a file; "
                             "--source then names its channel.")
                  .arg(scopeProfileNames().join(QStringLiteral(", "))),
              "NAME|FILE");
    const ToleranceOptions tolerances(c);
    if (const auto done = c.parse(args, 1))
        return *done;
    Line generator;
    if (const QString why = lineOptions.read(c, generator); !why.isEmpty())
        return c.usage(why);
    Line scope = generator;
    if (c.parser.isSet(scopePort) &&
        !resolvePort(c.parser.value(scopePort), scope.ports, scope.comNumber))
        return c.usage(portRefusal(QStringLiteral("scope"), c.parser.value(scopePort)));
    const bool scopeProfiled = c.parser.isSet(scopeProfileOption);
    if (const QString why = scopeOptions.read(c, scope.settings, scopeProfiled); !why.isEmpty())
        return c.usage(why);
    QString channel;
    ScopeProfile scopeProfile;
    if (scopeProfiled)
        if (const auto status =
                scopeOptions.readProfile(c, scopeProfileOption, channel, scopeProfile))
            return *status;
    const int slot = waveformNumber(c, number);
    if (slot < 1)
        return c.usage(QStringLiteral("--number wants 1 to 8"));
    CompareTolerance tolerance;
    if (const QString why = tolerances.read(c, tolerance); !why.isEmpty())
        return c.usage(why);
    const bool scpi = c.parser.isSet(profileOption);
    if (!scpi && generatorOptions.anySet(c))
        return c.usage(QStringLiteral("the generator's settings go with --generator-profile"));
    GeneratorSettings settings;
    ProfileReading profile;
    if (const auto status = generatorOptions.read(c, profileOption, settings, profile))
        return *status;
    const QString file = c.parser.positionalArguments().at(0);
    std::optional<WaveStore> store = readInput(file, WaveformRequest{}, generator.quiet);
    if (!store)
        return kFailed;
    store->ArbNumber = static_cast<float>(slot);
    std::vector<float> samples(store->ArbData.begin(), store->ArbData.begin() + store->length());
    if (scpi) {
        if (const QString why = pointsProblem(profile.profile, static_cast<int>(samples.size()));
            !why.isEmpty()) {
            say(QStringLiteral("%1: the instrument cannot take it: %2").arg(file, why));
            return kFailed;
        }
    }
    const int sent = scpi ? sendThroughProfile(generator, profile.profile, samples,
                                               QStringLiteral("WAVE1"), settings)
                          : sendWaveform(generator, *store);
    if (sent != kOk) {
        if (sent == kFailed)
            say(QStringLiteral("the upload failed, so nothing was compared"));
        return sent;
    }
    std::vector<float> curve;
    ScopeTrace trace;
    const int read = scopeProfiled ? readThroughProfile(scope, scopeProfile, channel, trace)
                                   : readCurve(scope, curve);
    std::vector<double> captured;
    if (scopeProfiled && read == kOk) {
        const std::vector<double> all = comparableCurve(trace);
        captured = all.size() <= static_cast<std::size_t>(kMaxLength)
                       ? all
                       : resampleLinear(all, kMaxLength);
    }
    if (read != kOk) {
        if (read == kFailed)
            say(QStringLiteral("the upload went through, but the curve could not be read"));
        return read;
    }
    if (!scopeProfiled)
        captured.assign(curve.begin(), curve.end());
    return reportComparison(
        compareCapture(std::vector<double>(samples.begin(), samples.end()), captured, tolerance),
        scope.ports.describe(scope.comNumber));
}

int ports(const QStringList& args) {
    Command c("ports", QString(), "Lists the serial ports and the devices COM1..COM4 stand for.");
    if (const auto done = c.parse(args, 0))
        return *done;
    std::printf("%s", qPrintable(portListing(rememberedPorts())));
    return kOk;
}

} // namespace ww::cli
