// The AAVSO Extended File Format export of the light curve's kept lines, for
// observers who report to the AAVSO as well as to their own network.
#pragma once

#include <optional>
#include <string>

#include "core/platform.h"
#include "lightcurve/mag_est.h"
#include "lightcurve/report.h"

namespace lv {

struct AavsoSettings {
    ReportFields report;         // star (STARID), code (OBSCODE), compMag, colour (FILTER)
    std::string comparisonName;  // CNAME
    std::string checkName;       // KNAME
    double utOffsetHours = 9.0;  // the data's times less this are UT
    std::string chart = "na";
    std::string notes;           // added to the note of the UT offset
};

inline constexpr const char* kAavsoSoftware = "Lumavist 5.06b";

// The Julian date (UT) of a mid-exposure time: the line's own date, its time
// (hours may pass 23) plus half its exposure, less the UT offset.
std::optional<double> aavsoJulianDate(const std::string& numberedLine, double utOffsetHours);

// The AAVSO filter code of a colour text: B, V, R (Rc), I (Ic); nullopt for others.
std::optional<std::string> aavsoFilter(const std::string& colour);

// The file; nullopt with `why` when a field breaks the format's limits.
std::optional<std::string> aavsoText(const LightCurveTable& table, const AavsoSettings& settings, double error,
                                     std::string& why);

// Writes the file to `path` and says so; false after a message.
bool writeAavso(const LightCurveTable& table, const AavsoSettings& settings, double error, const std::string& path,
                Platform& platform);

}  // namespace lv
