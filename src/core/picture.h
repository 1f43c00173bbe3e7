// A drawn picture in memory, independent of any window system.
#pragma once

#include <cstdint>
#include <vector>

namespace lv {

// 0xFFRRGGBB colour of one picture point (opaque, as window systems store
// pictures, so that a picture can be shown without conversion).
using Rgb = std::uint32_t;

inline constexpr Rgb rgb(int r, int g, int b)
{
    return 0xFF000000u | (static_cast<Rgb>(r) << 16) | (static_cast<Rgb>(g) << 8) | static_cast<Rgb>(b);
}

struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<Rgb> points;  // row-major, row 0 at the top

    RgbPicture() = default;
    RgbPicture(int w, int h, Rgb fill = rgb(0, 0, 0))
        : width(w), height(h), points(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), fill)
    {
    }
    bool empty() const { return width <= 0 || height <= 0; }
    Rgb at(int x, int y) const { return points[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)]; }
    Rgb& at(int x, int y) { return points[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)]; }
    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
};

}  // namespace lv
