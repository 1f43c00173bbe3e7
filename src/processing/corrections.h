// Corrections of the whole current image: limb darkening, bow correction,
// Addition and Multiplication (optionally for every file read afterwards),
// and inclination compensation of every row.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/fits_image.h"
#include "core/platform.h"
#include "processing/polynomial_fit.h"
#include "core/undo.h"

namespace lv {

// maxValue and minValue from every pixel of plane 0 that is not 0 (-1 and
// 2147483647 when there is none).
void extremesIgnoringZero(FitsImage& image);

// "Limb Darkening Correction": asks, then divides every row by its
// fifth-degree fit and scales it by the row mean. Refuses with a message,
// changing nothing, when a row cannot be fitted or its fit is 0 at some
// column. Returns true when the image was changed.
bool limbDarkening(FitsImage& image, UndoBuffer& undo, FitState& fit, std::int32_t& lineRow, Platform& platform);

// One row's shift, as read from bow.csv.
struct BowShift {
    int row = 0;
    double shift = 0.0;
};
// Reads bow.csv: one "row,shift" record a line (blank lines are passed
// over). nullopt with `error` naming the line for a missing file, a record
// that is not two numbers, or a row outside 0 ... 3072.
std::optional<std::vector<BowShift>> readBowTable(const std::string& path, std::string& error);
// The shifts applied to the image (the table already read).
void applyBow(FitsImage& image, const std::vector<BowShift>& shifts);
inline constexpr const char* kBowFileName = "bow.csv";

// "Bow correction": asks, reads the table, takes the snapshot, shifts the
// rows. A table that cannot be read changes nothing (the reason is shown).
bool bowCorrection(FitsImage& image, UndoBuffer& undo, const std::string& bowPath, Platform& platform);

enum class Calculation { Addition, Multiplication };
// "Addition" / "Multiplication" of every pixel by `a`, and the file-read
// calculation: set to the same when `wholeFile`, switched off otherwise.
void calculate(FitsImage& image, UndoBuffer& undo, AppState& state, Calculation op, double a, bool wholeFile);

// "All line Automatic Inclination compensation". `row` is told each row
// before it is compensated (the window shows it and lets events run).
void compensateAllRows(FitsImage& image, UndoBuffer& undo, std::int32_t& lineRow,
                       const std::function<void(int row)>& row);

}  // namespace lv
