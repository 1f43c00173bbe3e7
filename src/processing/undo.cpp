#include "processing/undo.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace lv {

namespace {

// Extremes over the values that are not 0.
void trackNonZero(const std::int32_t* v, std::size_t n, std::int32_t& mn, std::int32_t& mx)
{
    for (std::size_t i = 0; i < n; ++i) {
        if (v[i] == 0) continue;
        mn = std::min(mn, v[i]);
        mx = std::max(mx, v[i]);
    }
}

}  // namespace

void UndoBuffer::takeSnapshot(const FitsImage& image)
{
    columns_ = image.loaded() ? image.naxis1 : 0;
    rows_ = image.loaded() ? image.naxis2 : 0;
    const std::size_t n = static_cast<std::size_t>(columns_) * static_cast<std::size_t>(rows_);
    // assign keeps the capacity of an earlier copy, so a night of commands
    // on frames of one size allocates once.
    plane_.assign(image.loaded() ? image.plane(0) : nullptr, image.loaded() ? image.plane(0) + n : nullptr);
    available_ = true;
}

void UndoBuffer::restore(FitsImage& image)
{
    std::int32_t mn = std::numeric_limits<std::int32_t>::max();
    std::int32_t mx = -1;  // the reset value takes part, as in every command
    trackNonZero(plane_.data(), plane_.size(), mn, mx);
    if (image.loaded()) {
        std::int32_t* out = image.plane(0);
        const int width = std::min(columns_, image.naxis1);
        const int height = std::min(rows_, image.naxis2);
        if (width == image.naxis1 && width == columns_ && height == image.naxis2) {
            std::memcpy(out, plane_.data(), static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
        } else {
            for (int y = 0; y < image.naxis2; ++y) {
                std::int32_t* row = out + static_cast<std::size_t>(y) * static_cast<std::size_t>(image.naxis1);
                if (y >= height) {
                    std::fill(row, row + image.naxis1, 0);
                    continue;
                }
                const std::int32_t* src = plane_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(columns_);
                std::copy(src, src + width, row);
                std::fill(row + width, row + image.naxis1, 0);
            }
        }
    }
    image.maxValue = mx;
    image.minValue = mn;
    available_ = false;
}

}  // namespace lv
