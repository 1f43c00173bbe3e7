// The photometry data file mag_est.txt: one line per measured frame, written
// by automatic photometry, read and rewritten by the light-curve window.
#pragma once

#include <string>
#include <vector>

#include "core/platform.h"

namespace lv {

inline constexpr const char* kMagEstName = "mag_est.txt";

// One data line.
struct MagEstRecord {
    std::string date = "00/00/00";  // as found in the header, or rebuilt dd/mm/yy
    std::string time = "00:00:00";  // hh:mm:ss, hours may pass 23
    double exposure = 0.0;          // seconds
    double check = 0.0;
    double comparison = 0.0;
    double variable = 0.0;
    std::string framePath;          // folder, separator, frame name
};

// The data line with its CR LF: date, " ", time, exposure " 000", then
// " Check=", " Comp=", " Var=" with "000.000" ("000.00" for two digits;
// the variable's pattern carries a trailing space), then the frame path.
std::string magEstLine(const MagEstRecord& record, int digits);

// Appends one line (the file is created when missing) with a single write;
// on a failure the file is cut back to the lines it held before.
bool appendMagEstLine(const std::string& path, const std::string& line, std::string& error);
// Creates the file empty, truncating an existing one.
bool emptyMagEst(const std::string& path, std::string& error);

// The light-curve window's table of a data file.
// The factor that puts a magnitude difference of the data file (made with
// 2.511886432) on the standard scale of 2.5.
inline constexpr double kStandardScale = 2.5 / 2.511886432;

struct LightCurveTable {
    static constexpr int kCapacity = 3000;

    std::string path;
    std::string comment;             // the last ";" line, as read
    std::vector<std::string> lines;  // numbered lines: mark, " 0001 : ", the data line
    std::vector<double> time;        // hours of the night, 24 added below 12
    std::vector<double> check, comp, var;
    // Which values a line gave (a line of another layout may lack some).
    std::vector<bool> hasTime, hasCheck, hasComp, hasVar;
    // From the night's table beside the file, when there is one (else empty):
    // each line's sigma(V - C) on this file's scale (-1 when its row gives
    // none), and whether a star of its frame was saturated.
    std::vector<double> vcError;
    std::vector<bool> saturated;
    // Ranges over every line read; minima start at 99, maxima at -99.
    double minTime = 99, maxTime = -99;
    double minK = 99, maxK = -99, minC = 99, maxC = -99, minV = 99, maxV = -99;
    double minCK = 99, maxCK = -99, minVC = 99, maxVC = -99;

    int count() const { return static_cast<int>(lines.size()); }
    bool deleted(int i) const { return !lines[static_cast<std::size_t>(i)].empty() && lines[static_cast<std::size_t>(i)][0] == 'x'; }
};

// The list text of a numbered line: up to and including its 8th space,
// counted from its second character (the path is not shown).
std::string listTextOf(const std::string& numberedLine);

struct MagEstRead {
    bool opened = false;
    bool truncated = false;  // more than kCapacity data lines: the rest were not read
    std::string error;
};

// Reads the file into `table` (replaced as a whole). Lines may end in CR LF,
// LF or CR.
MagEstRead readMagEst(const std::string& path, LightCurveTable& table);

// False when the file read holds data lines but none of them reads as a
// photometry data line (a time and the three magnitudes): a FITS frame or
// another text chosen by mistake. A file of comments only, or an empty one
// (a night just begun), reads.
bool readsAsPhotometryData(const LightCurveTable& table);
std::string notPhotometryDataMessage(const std::string& path);

// The file as "Save to 'mag_est.txt'" writes it: the comment (";" put in
// front when missing) and the kept lines as they were read.
std::string magEstText(const LightCurveTable& table);

// "Save to 'mag_est.txt'": asks, then replaces the file that was read.
// Returns true when the file was written.
bool saveMagEst(const LightCurveTable& table, Platform& platform);

}  // namespace lv
