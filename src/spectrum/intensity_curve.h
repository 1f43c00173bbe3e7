// Spectrum tools on plane 0: binning of up to five zones of rows, the
// current line and its moves, the intensity curve's drawing, and the three
// curve files against pixel number or wavelength.
#pragma once

#include <functional>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/fits_image.h"
#include "core/platform.h"
#include "core/undo.h"

namespace lv {

struct BinZone {
    int upper = 0;
    int lower = 0;
    bool used() const { return lower > upper; }
};
using BinZones = std::array<BinZone, 5>;

inline constexpr const char* kNoZoneMessage = "Upper is larger than Lower";

// "Binning Execution": takes the undo snapshot, then every column's pixels
// of the used zones (rows upper ... lower, in zone order) are summed and the
// sum written into every one of those pixels. minValue starts at 100000000
// and maxValue keeps its value; both take in the running sum after each
// zone. Refuses, changing nothing, with no used zone, with a zone outside
// the image, or when a sum leaves the 32-bit range. On success the message
// "Completion", CR, "max =" max " / min =" min is shown.
// `binned` runs once the pixels and extremes are the binned ones, before the
// "Completion" message, so that what shows the statistics can follow first.
bool binImage(FitsImage& image, UndoBuffer& undo, const BinZones& zones, Platform& platform,
              const std::function<void()>& binned = {});

// "Up" and "Down": the line moved by one row, held inside the image.
int lineUp(int row);
int lineDown(int row, const FitsImage& image);

// The intensity curve of `row` in the curve picture's units: width
// naxis1 + 0.1, height `scale`; a segment from (x - 1, y0) to (x, y1) for
// x = 1 ... naxis1 - 1 with y = 255 - h and h = Int((p - minValue) /
// maxValue * 256 + 0.5) + offset.
struct CurveSegment {
    double x0, y0, x1, y1;
};
std::vector<CurveSegment> curveSegments(const FitsImage& image, int row, int offset);

// The default name of the curve file: the image's file name with its last
// three characters replaced by "txt", or "binning.txt" for a name of 3
// characters or fewer.
std::string defaultCurveName(const std::string& fileName);

struct CurveFileSettings {
    std::string name;         // the curve file; the other two names follow from it
    bool wavelength = false;  // "Wavelength": start + x * (end - start) / (naxis1 - 1)
    double start = 0, end = 0;
};
// The three file names: the curve, "djm" (negated values), "-inv.djm".
std::array<std::string, 3> curveFileNames(const std::string& name);
// The text of one of the files (0 curve, 1 negated, 2 inverse).
std::string curveFileText(const FitsImage& image, int row, const CurveFileSettings& settings, int which);

// "Save to disk": the three files, then "Completion ,save to " + name.
bool saveCurveFiles(const FitsImage& image, int row, const CurveFileSettings& settings, Platform& platform);

}  // namespace lv
