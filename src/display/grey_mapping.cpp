#include "display/grey_mapping.h"

#include <algorithm>
#include <cmath>

#include "core/conventions.h"

namespace lv {

int greyLevel(std::int32_t v, std::int32_t background, std::int32_t range)
{
    const double diff = static_cast<double>(v) - static_cast<double>(background);
    if (range == 0) return diff > 0 ? 255 : 0;
    const double g = std::floor(diff / static_cast<double>(range) * 256.0 + 0.5);
    return g >= 256 ? 255 : g < 0 ? 0 : static_cast<int>(g);
}

GreyMapper::GreyMapper(std::int32_t background, std::int32_t range) : background_(background), range_(range)
{
    // Outside [background - 2|range| - 2, background + 2|range| + 2] the
    // level is constant (0 or 255), so a table over that window, indexed
    // with clamping, gives every value's level exactly.
    const long long span = std::llabs(static_cast<long long>(range));
    if (range == 0 || span > (1 << 22)) return;
    low_ = static_cast<long long>(background) - 2 * span - 2;
    const long long high = static_cast<long long>(background) + 2 * span + 2;
    table_.resize(static_cast<std::size_t>(high - low_ + 1));
    for (long long i = 0; i <= high - low_; ++i) {
        const long long v = std::clamp<long long>(low_ + i, INT32_MIN, INT32_MAX);
        table_[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(greyLevel(static_cast<std::int32_t>(v), background, range));
    }
}

RgbPicture buildPicture(const FitsImage& image, AppState& state)
{
    const int scale = state.displayScale == 2 ? 2 : 1;
    RgbPicture pic(pictureExtent(image.naxis1, scale), pictureExtent(image.naxis2, scale));
    if (!image.loaded()) return pic;
    const GreyMapper map(state.background, state.range);
    const bool colour = image.naxis3 == 3;
    for (int py = 0; py < pic.height; ++py) {
        const int y = std::min(py * scale + scale - 1, image.naxis2 - 1);
        Rgb* out = &pic.at(0, py);
        if (!colour) {
            const std::int32_t* in = image.plane(0) + static_cast<std::size_t>(y) * image.naxis1;
            if (scale == 1) {
                for (int x = 0; x < pic.width; ++x) out[x] = greyRgb(map(in[x]));
            } else {
                for (int px = 0; px < pic.width; ++px) out[px] = greyRgb(map(in[std::min(2 * px + 1, image.naxis1 - 1)]));
            }
        } else {
            for (int px = 0; px < pic.width; ++px) {
                const int x = std::min(px * scale + scale - 1, image.naxis1 - 1);
                out[px] = rgb(map(image.value(x, y, 0)), map(image.value(x, y, 1)), map(image.value(x, y, 2)));
            }
        }
    }
    if (state.lineDisplay) {
        // The line's row is an image row and is not divided by the scale.
        state.lineRow = image.naxis2 / 2;
        if (state.lineRow < pic.height)
            for (int x = 0; x <= image.naxis1 && x < pic.width; ++x) pic.at(x, state.lineRow) = kMarkerGreen;
    }
    return pic;
}

bool autoLevels(const FitsImage& image, AppState& state)
{
    if (!image.loaded()) return false;
    std::array<long long, 301> hist{};
    const double minV = image.minValue;
    const double spread = static_cast<double>(image.maxValue) - minV;
    const std::int32_t* p = image.plane(0);
    const std::size_t n = static_cast<std::size_t>(image.naxis1) * static_cast<std::size_t>(image.naxis2);
    if (spread == 0) {
        hist[300] = static_cast<long long>(n);
    } else {
        const double binWidth = spread / 300.0;
        for (std::size_t i = 0; i < n; ++i) {
            // Values beyond the extremes (the dusky picture leaves bright ones
            // out of the maximum) are not counted.
            const double bin = std::floor((p[i] - minV) / binWidth + 0.5);
            if (bin >= 0 && bin <= 300) ++hist[static_cast<std::size_t>(bin)];
        }
    }
    int peak = -1;
    long long best = 0;
    for (int i = 0; i <= 300; ++i) {
        if (hist[static_cast<std::size_t>(i)] > best) {
            best = hist[static_cast<std::size_t>(i)];
            peak = i;
        }
    }
    if (peak < 0) return false;

    std::array<double, 301> smooth{};
    for (int i = 2; i <= 298; ++i) {
        double sq = 0;
        for (int k = i - 2; k <= i + 2; ++k) sq += static_cast<double>(hist[static_cast<std::size_t>(k)]) * static_cast<double>(hist[static_cast<std::size_t>(k)]);
        smooth[static_cast<std::size_t>(i)] = std::sqrt(sq) / 5.0;
    }
    const double limit = 0.1 * smooth[static_cast<std::size_t>(peak)];
    auto levelAt = [&](int i) { return toInt32Saturated(std::floor(minV + spread * i / 300.0 + 0.5)); };
    for (int i = peak; i >= 0; --i) {
        if (smooth[static_cast<std::size_t>(i)] < limit) {
            state.background = levelAt(i);
            break;
        }
    }
    for (int i = peak; i <= 300; ++i) {
        if (smooth[static_cast<std::size_t>(i)] < limit) {
            state.range = toInt32Saturated(static_cast<double>(levelAt(i)) - state.background);
            break;
        }
    }
    if (state.duskyPicture) {
        state.range = toInt32Saturated(static_cast<double>(state.range) * 10.0);
        state.background = toInt32Saturated(static_cast<double>(state.background) * 1.5);
    }
    if (state.range < 1) state.range = 1;
    return true;
}

void rotateHalfTurn(FitsImage& image)
{
    if (!image.loaded()) return;
    std::int32_t* p = image.plane(0);
    std::reverse(p, p + static_cast<std::size_t>(image.naxis1) * static_cast<std::size_t>(image.naxis2));
}

std::optional<ZoomCells> zoomCells(const FitsImage& image, const AppState& state, int px, int py)
{
    if (!image.loaded() || px < 0 || py < 0 || px > image.naxis1 || py > image.naxis2) return std::nullopt;
    ZoomCells cells;
    for (int j = -10; j <= 10; ++j) {
        for (int i = -10; i <= 10; ++i) {
            if (image.inside(px + i, py + j))
                cells[static_cast<std::size_t>((j + 10) * kZoomCells + (i + 10))] =
                    greyRgb(greyLevel(image.at(px + i, py + j), state.background, state.range));
        }
    }
    return cells;
}

}  // namespace lv
