// The "Photometry" command: measure the three stars of the frame in view,
// show their magnitudes, read the observation time from the header and build
// the result line and the report line for the clipboard.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "core/fits_image.h"
#include "core/platform.h"
#include "photometry/photometry_state.h"

namespace lv {

// Observation date, time and exposure as the header gives them.
struct ObservationHeader {
    std::string dateText;  // DATE-OBS value from its first digit (moved on a day for JST before 09:00)
    std::string timeText;  // "hh:mm:ss" from UT / JST / UT-START, or TIME-OBS as found
    double exposureTime = 0.0;
    bool jstSeen = false;
};

ObservationHeader readObservationHeader(const FitsImage& image);

// A calendar date in one of the two header forms.
struct CalendarDate {
    int year = 0;        // as written: two or four digits
    bool fourDigitYear = false;
    int month = 0;
    int day = 0;
    bool dayFirst = false;  // dd/mm/yy; otherwise yyyy-mm-dd
};

// "dd/mm/yy" or "yyyy-mm-dd" (anything after the day, such as a "T" and a
// time, is ignored); nullopt for other texts.
std::optional<CalendarDate> parseDate(const std::string& text);
std::string dateText(const CalendarDate& d);
// Day arithmetic of the header dates: February has 29 days when the year is
// divisible by 4; years keep their number of digits (99 rolls over to 00).
CalendarDate nextDay(CalendarDate d);
CalendarDate previousDay(CalendarDate d);

// Hours, minutes and seconds of a time text split at its first two ":"
// (missing parts are 0); nullopt when it does not start with a number.
struct ClockTime {
    double hours = 0, minutes = 0, seconds = 0;
};
std::optional<ClockTime> parseTime(const std::string& text);

// A magnitude as the result and report lines write it: " 00.00" or " 00.000".
std::string magnitudeText(double magnitude, int digits);

// Date, time, exposure and the check, comparison and variable magnitudes.
std::string resultLine(const ObservationHeader& header, double check, double comparison, double variable,
                       int digits);

// The one-line observation report of the variable star, from the parsed date
// and time (mid-exposure, hours past midnight counted on from the evening's
// date). nullopt when the header gives no usable date or time.
std::optional<std::string> reportLine(const ObservationHeader& header, double check, double comparison,
                                      double variable, int digits, const ComparisonStar& star);

struct PhotometryOutcome {
    // Rounded magnitudes of the comparison, variable and check stars.
    std::array<std::optional<double>, 3> magnitudes;
    bool allMeasured = false;
    std::string resultLine;
    std::optional<std::string> reportLine;
};

inline constexpr const char* kNoStarMessage = "No Star";
inline constexpr const char* kPhotometryTitle = "Photometry";

// Runs the measurement and everything after it. The caller has taken the
// markers off the picture. Messages, beep, busy pointer and clipboard go
// through `platform`; the magnitude and position fields of `state` change.
PhotometryOutcome runPhotometry(const FitsImage& image, PhotometryState& state, bool beepOn, Platform& platform);

}  // namespace lv
