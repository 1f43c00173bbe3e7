// The observation report files written by "Save to 'std.file'": sdata2.std
// (Japanese header and footer, one record per kept line) and the
// fixed-column sdata2.2 with Julian dates, both in Shift-JIS.
#pragma once

#include <optional>
#include <string>

#include "core/platform.h"
#include "lightcurve/mag_est.h"

namespace lv {

// The light-curve window's report fields, in the system's 8-bit encoding.
struct ReportFields {
    std::string star;           // Text2
    std::string code;           // Text3
    double compMag = 0.0;       // numeric value of Text1
    std::string colour;         // Text4
    std::string observerPlace;  // Text6
    std::string instruments;    // Text7
};

struct CalendarDay {
    int year = 0, month = 0, day = 0;
    friend bool operator==(const CalendarDay&, const CalendarDay&) = default;
};

// The report date from a numbered line: its date, moved to the previous day
// when the hours are below 10 (the night began the evening before).
// Four-digit years follow the Gregorian leap-year rule.
CalendarDay reportDate(const std::string& numberedLine);

// Julian date of a local time 9 hours ahead of UT; hours may exceed 23.
double julianDate(int year, int month, int day, double hours, double minutes, double seconds);

// The two files' contents as Shift-JIS bytes, and the number of records.
struct ReportFiles {
    std::string stdText;    // sdata2.std
    std::string fixedText;  // sdata2.2
    int records = 0;
};

// Builds the files from the kept lines. nullopt with `why` when there is no
// kept line, the star name is longer than 20 characters, or a text has no
// Shift-JIS form.
std::optional<ReportFiles> buildReport(const LightCurveTable& table, const ReportFields& fields,
                                       double photometryError, std::string& why);

inline constexpr const char* kReportStdName = "sdata2.std";
inline constexpr const char* kReportFixedName = "sdata2.2";
inline constexpr const char* kReportDoneMessage = "Completion, file name is sdata2.std";

// "Save to 'std.file'": both files into `folder`, then the completion
// message. Returns true when both were written.
bool writeReport(const LightCurveTable& table, const ReportFields& fields, double photometryError,
                 const std::string& folder, Platform& platform);

}  // namespace lv
