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

}  // namespace lv
