#pragma once

#include "instruments/profile.h"
#include "instruments/scopecapture.h"
#include "lines/serialsettings.h"
#include "model/store.h"

#include <QString>
#include <vector>

namespace ww::cli {

// What an exchange of the command line works with: the port as --port chose it, the line
// settings, and how fast the clock runs (1 but for tests of the watchdog).
struct Line {
    PortMap ports;
    int comNumber = 1;
    SerialSettings settings;
    double timeScale = 1.0;
    bool quiet = false;
};

// Uploads the store as the window does; the exit status.
int sendWaveform(const Line& line, const WaveStore& store);
// Loads the samples into a SCPI generator as the profile describes; the exit status. The
// instrument's answer to the check goes to standard error unless quiet.
int sendThroughProfile(const Line& line, const Profile& profile, const std::vector<float>& samples,
                       const QString& name, const GeneratorSettings& generator = {});
// Links and reads the curve; the exit status, and the 2500 samples when it is 0.
int readCurve(const Line& line, std::vector<float>& curve);
// Links, reads the curve and saves it to `file` only when the whole curve came; the exit
// status.
int captureCurve(const Line& line, const QString& file);
// Reads a channel through an oscilloscope profile; the exit status, and the trace when it is 0.
int readThroughProfile(const Line& line, const ScopeProfile& profile, const QString& source,
                       ScopeTrace& trace);
// Reads a channel through a profile and saves it only when all of it came: a .csv as time and
// volts of every point, any other file as the program's waveform (the screen's codes as
// -1..+1, resampled to 16000 points when there are more); the exit status.
int captureThroughProfile(const Line& line, const ScopeProfile& profile, const QString& source,
                          const QString& file);

} // namespace ww::cli
