// Inclination compensation of one image row: the row's least-squares line
// is divided out and the row scaled to the line's value at the middle column.
#pragma once

#include <cstdint>
#include <vector>

#include "core/fits_image.h"

namespace lv {

// Compensates row `row` of plane 0 in place; `saved` receives the row as it
// was (for the curve windows' "UnDo"). A column where the line is 0 keeps
// its value. Returns false for a row outside the image.
bool compensateInclination(FitsImage& image, int row, std::vector<std::int32_t>* saved = nullptr);

// The row as it was before the intensity-curve window's "Inclination
// compensation", for that window's own "UnDo".
struct SavedLine {
    int row = -1;
    std::vector<std::int32_t> values;
};
// "Inclination compensation" of the current line, keeping the line in `saved`.
bool compensateLine(FitsImage& image, int row, SavedLine& saved);
// Its "UnDo": the saved line back into its row. False when nothing is saved
// for this image (no line, or an image of another size).
bool restoreLine(FitsImage& image, const SavedLine& saved);

}  // namespace lv
