// Turning pixel values into a picture: the grey and colour mapping, the
// automatic levels, the half-size picture, rotation and the zoom cells.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/app_state.h"
#include "core/fits_image.h"
#include "core/picture.h"
#include "display/picture_geometry.h"

namespace lv {

// Grey level 0 ... 255 of value v: Int((v - background) / range * 256 + 0.5)
// limited to 0 ... 255. A range of 0 acts as the smallest possible range:
// values above the background are white, the rest black.
int greyLevel(std::int32_t v, std::int32_t background, std::int32_t range);

// Maps many values quickly with exactly the result of greyLevel: the level
// is constant below and above a window of about four ranges around the
// background, so values are clamped into that window and looked up.
class GreyMapper {
public:
    GreyMapper(std::int32_t background, std::int32_t range);
    int operator()(std::int32_t v) const
    {
        if (levels_.empty()) return greyLevel(v, background_, range_);
        return levels_[static_cast<std::size_t>(static_cast<std::int64_t>(std::clamp(v, low_, high_)) - low_)];
    }
    bool hasTable() const { return !levels_.empty(); }
    std::int32_t low() const { return low_; }
    std::int32_t high() const { return high_; }
    // Grey levels and opaque grey colours for low() ... high().
    const std::uint8_t* levels() const { return levels_.data(); }
    const Rgb* colours() const { return colours_.data(); }

private:
    std::int32_t background_;
    std::int32_t range_;
    std::int32_t low_ = 0;
    std::int32_t high_ = 0;
    std::vector<std::uint8_t> levels_;
    std::vector<Rgb> colours_;
};

inline Rgb greyRgb(int g) { return rgb(g, g, g); }

// Colour of the green marker line and of the markers.
inline constexpr Rgb kMarkerGreen = rgb(0, 200, 0);

// The picture of the current image at `displayScale` (1 full size, 2 half
// size: each screen point shows the last pixel of its 2 x 2 block, the one
// with the largest x and y). Three-plane images map planes 0, 1, 2 to red,
// green and blue. With lineDisplay the green line is drawn at row
// naxis2 / 2, and state.lineRow is set to that row. The second form reuses
// the storage of `out`.
RgbPicture buildPicture(const FitsImage& image, AppState& state);
void buildPicture(const FitsImage& image, AppState& state, RgbPicture& out);

// The 301-bin histogram of plane 0 that the automatic levels start from:
// bin Int((v - minValue) / ((maxValue - minValue) / 300) + 0.5), values whose
// bin falls outside 0 ... 300 not counted; every value in bin 300 when
// maxValue = minValue.
std::array<long long, 301> levelsHistogram(const FitsImage& image);

// Background and range from the histogram of plane 0. Returns false (levels
// unchanged) when the histogram is empty.
bool autoLevels(const FitsImage& image, AppState& state);

// Turns plane 0 by 180 degrees in place.
void rotateHalfTurn(FitsImage& image);

// The colour picture point (px, py) has in the picture of the current
// levels and scale, without markers: what a marker is erased with.
Rgb pictureColourAt(const FitsImage& image, const AppState& state, int px, int py);

// The 21 x 21 cells of the zoom window around image position (px, py), in
// grey of plane 0; cells outside the image are nullopt (they keep their
// previous colour). Nothing is painted when (px, py) is outside
// 0 ... naxis1, 0 ... naxis2: the result is then nullopt.
inline constexpr int kZoomCells = 21;
using ZoomCells = std::array<std::optional<Rgb>, kZoomCells * kZoomCells>;
std::optional<ZoomCells> zoomCells(const FitsImage& image, const AppState& state, int px, int py);

}  // namespace lv
