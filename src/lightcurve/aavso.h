// The AAVSO Extended File Format export of the light curve's kept lines, for
// observers who report to the AAVSO as well as to their own network.
#pragma once

#include <optional>
#include <string>

#include "core/platform.h"
#include "core/version.h"
#include "lightcurve/mag_est.h"
#include "lightcurve/night_rows.h"
#include "lightcurve/report.h"

namespace lv {

struct AavsoSettings {
    ReportFields report;         // star (STARID), code (OBSCODE), compMag, colour (FILTER)
    std::string comparisonName;  // CNAME; with an ensemble, its stars' names for the notes
    std::string checkName;       // KNAME
    double utOffsetHours = 9.0;  // the data's times less this are UT
    std::string chart = "na";
    std::string notes;           // added to the note of the UT offset
    bool heliocentric = false;   // #DATE=HJD (from the night's table) instead of JD
    // The night's table beside the data file, when there is one: each
    // record's own error (sigma(V - C)), its airmass, its standard-scale V - C.
    std::optional<std::vector<NightRow>> night;
};

inline constexpr const char* kAavsoSoftware = "Lumavist " LUMAVIST_VERSION_TEXT;

// The Julian date (UT) of a mid-exposure time: the line's own date, its time
// (hours may pass 23) plus half its exposure, less the UT offset.
std::optional<double> aavsoJulianDate(const std::string& numberedLine, double utOffsetHours);

// The AAVSO filter code of a colour text: B, V, R (Rc), I (Ic); nullopt for others.
std::optional<std::string> aavsoFilter(const std::string& colour);

// The file; nullopt with `why` when a field breaks the format's limits.
// Each record's magnitude is the comparison's plus V - C on the standard
// scale; MAGERR and AIRMASS are the frame's own from the night's table,
// else `error` (the night's scatter) and "na". A frame measured with an
// ensemble has CNAME ENSEMBLE, CMAG na, the check star's magnitude on the
// ensemble's scale (the comparison magnitude typed less C - K) and the
// stars in its notes.
std::optional<std::string> aavsoText(const LightCurveTable& table, const AavsoSettings& settings, double error,
                                     std::string& why);

// Writes the file to `path` and says so; false after a message. The night's
// table beside the data file is read when `settings` has none.
bool writeAavso(const LightCurveTable& table, const AavsoSettings& settings, double error, const std::string& path,
                Platform& platform);

}  // namespace lv
