// The time of minimum of an eclipse from the V-C points of a night: by the
// method of Kwee & van Woerden (1956), and as a second opinion by a fit of a
// polynomial symmetric about the minimum; each with its standard error.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "lightcurve/mag_est.h"
#include "lightcurve/night_rows.h"

namespace lv {

// The points an eclipse is timed from: times (days) and magnitudes
// (fainter is larger), and the time scale the times are in.
struct TimedPoints {
    std::vector<double> time;
    std::vector<double> magnitude;
    std::string scale;  // "BJD_TDB", "HJD", "JD" or "JD (local time)"
};

// From the night's table: V-C (standard scale) against BJD_TDB when every
// row has one, else HJD, else JD.
TimedPoints pointsOfNightTable(const std::vector<NightRow>& rows);
// From the data file's kept lines: V-C against the JD of each line's own
// (local) mid-exposure time, as the light curve shows it.
TimedPoints pointsOfDataFile(const LightCurveTable& table);

// The kept lines whose hour of the night lies in [hourFrom, hourTo] (the
// light curve's visible time axis): timed by the night's table when every
// one of them has its row there (BJD_TDB, else HJD, else JD), otherwise by
// each line's own local JD.
TimedPoints pointsOfVisibleLines(const LightCurveTable& table, const std::optional<std::vector<NightRow>>& rows,
                                 double hourFrom, double hourTo);

enum class MinimumMethod { KweeVanWoerden, SymmetricPolynomial };

struct Minimum {
    MinimumMethod method = MinimumMethod::KweeVanWoerden;
    double time = 0;   // in the points' scale
    double sigma = 0;  // days
    int points = 0;    // within the range
};

struct MinimumResult {
    std::optional<Minimum> minimum;
    std::string why;  // when there is none
};

inline constexpr int kMinimumPoints = 10;

// The minimum of the points within [from, to] (all points when not given).
// None, with the reason, for fewer than 10 points or no minimum inside.
MinimumResult timeOfMinimum(const TimedPoints& points, MinimumMethod method, std::optional<double> from = std::nullopt,
                            std::optional<double> to = std::nullopt);

// O - C against an ephemeris: the time less the nearest epoch T0 + E * P.
double observedMinusCalculated(double time, double epoch, double period);

// "kvw" or "poly".
const char* methodName(MinimumMethod method);

// One determination as minima.txt keeps it beside the data file.
struct MinimumRecord {
    std::string star;
    Minimum minimum;
    std::string scale;
    double from = 0, to = 0;      // the range of the points' times
    std::optional<double> oc;     // against the ephemeris, when one was given
};
inline constexpr const char* kMinimaName = "minima.txt";
inline constexpr const char* kMinimaHeader = "star,method,time,sigma,scale,points,from,to,o_minus_c";
// The record's line (CR LF): times with 6 decimals, sigma with 7, O - C with 6 (empty without).
std::string minimumLine(const MinimumRecord& record);
// Appends the line, after the header row when the file is new; false with `error`.
bool appendMinimum(const std::string& path, const MinimumRecord& record, std::string& error);

}  // namespace lv
