// Drawing into an RgbPicture without a window system: lines, thick points
// and short texts in a small built-in font (digits, signs and capitals), so
// that graphs look the same in a window and in a picture file.
#pragma once

#include <string_view>

#include "core/picture.h"

namespace lv {

// A line of width 1 from (x0, y0) to (x1, y1), both ends included; points
// outside the picture are left out.
void drawLine(RgbPicture& picture, int x0, int y0, int x1, int y1, Rgb colour);
// A point drawn with a pen `width` wide, centred on (x, y).
void drawPoint(RgbPicture& picture, int x, int y, int width, Rgb colour);
// Text with its top left corner at (x, y), 6 units a character, 7 high.
void drawText(RgbPicture& picture, int x, int y, std::string_view text, Rgb colour);

inline constexpr int kGlyphWidth = 6;
inline constexpr int kGlyphHeight = 7;

}  // namespace lv
