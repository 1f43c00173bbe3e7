#include "display/raster.h"

#include <array>
#include <cstdint>
#include <cstdlib>

namespace lv {

namespace {

// 5 x 7 glyphs, one byte a row, bit 4 the left column.
struct Glyph {
    char c;
    std::array<std::uint8_t, 7> rows;
};

constexpr Glyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}}, {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'+', {0x00, 0x04, 0x04, 0x1F, 0x04, 0x04, 0x00}}, {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}}, {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}},
    {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}}, {' ', {0, 0, 0, 0, 0, 0, 0}},
};

const Glyph* glyphOf(char c)
{
    for (const Glyph& g : kGlyphs)
        if (g.c == c) return &g;
    return nullptr;
}

void set(RgbPicture& p, int x, int y, Rgb colour)
{
    if (p.contains(x, y)) p.at(x, y) = colour;
}

}  // namespace

void drawLine(RgbPicture& picture, int x0, int y0, int x1, int y1, Rgb colour)
{
    const int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
    const int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        set(picture, x0, y0, colour);
        if (x0 == x1 && y0 == y1) break;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

void drawPoint(RgbPicture& picture, int x, int y, int width, Rgb colour)
{
    const int lo = -(width - 1) / 2;
    const int hi = width / 2;
    for (int dy = lo; dy <= hi; ++dy)
        for (int dx = lo; dx <= hi; ++dx) set(picture, x + dx, y + dy, colour);
}

void drawText(RgbPicture& picture, int x, int y, std::string_view text, Rgb colour)
{
    for (char c : text) {
        if (const Glyph* g = glyphOf(c)) {
            for (int row = 0; row < kGlyphHeight; ++row)
                for (int col = 0; col < 5; ++col)
                    if (g->rows[static_cast<std::size_t>(row)] & (0x10 >> col)) set(picture, x + col, y + row, colour);
        }
        x += kGlyphWidth;
    }
}

}  // namespace lv
