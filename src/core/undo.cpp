#include "core/undo.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "core/vector_clones.h"

namespace lv {

namespace {

// Copies n values and finds the extremes of those that are not 0, in one
// pass over the memory.
LV_VECTOR_CLONES void copyWithExtremes(const std::int32_t* in, std::int32_t* out, std::size_t n, std::int32_t& mn,
                                       std::int32_t& mx)
{
    std::int32_t lo = mn;
    std::int32_t hi = mx;
    for (std::size_t i = 0; i < n; ++i) {
        const std::int32_t v = in[i];
        out[i] = v;
        // Masks rather than branches, so the loop runs on several values at once.
        const std::int32_t zero = -static_cast<std::int32_t>(v == 0);
        const std::int32_t forMin = (v & ~zero) | (std::numeric_limits<std::int32_t>::max() & zero);
        const std::int32_t forMax = (v & ~zero) | (std::numeric_limits<std::int32_t>::min() & zero);
        lo = forMin < lo ? forMin : lo;
        hi = forMax > hi ? forMax : hi;
    }
    mn = lo;
    mx = hi;
}

}  // namespace

void UndoBuffer::startSnapshot(const FitsImage& image)
{
    columns_ = image.loaded() ? image.naxis1 : 0;
    rows_ = image.loaded() ? image.naxis2 : 0;
    // resize keeps the capacity of an earlier copy, so a night of commands on
    // frames of one size allocates once. The extremes a restore sets are
    // those of the copy, so they are found while copying.
    plane_.resize(static_cast<std::size_t>(columns_) * static_cast<std::size_t>(rows_));
    minValue_ = std::numeric_limits<std::int32_t>::max();
    maxValue_ = -1;  // the reset value takes part, as in every command
    available_ = true;
    blanks_.clear();
    if (image.hasBlanks() && image.loaded())
        blanks_.assign(image.blanks.begin(), image.blanks.begin() + static_cast<std::ptrdiff_t>(plane_.size()));
}

void UndoBuffer::copyRows(const FitsImage& image, int first, int end)
{
    first = std::max(first, 0);
    end = std::min(end, rows_);
    if (first >= end || columns_ == 0) return;
    const std::size_t at = static_cast<std::size_t>(first) * static_cast<std::size_t>(columns_);
    const std::size_t n = static_cast<std::size_t>(end - first) * static_cast<std::size_t>(columns_);
    copyWithExtremes(image.plane(0) + at, plane_.data() + at, n, minValue_, maxValue_);
}

void UndoBuffer::copyRows(const FitsImage& image, int first, int end, Extremes& extremes)
{
    first = std::max(first, 0);
    end = std::min(end, rows_);
    if (first >= end || columns_ == 0) return;
    const std::size_t at = static_cast<std::size_t>(first) * static_cast<std::size_t>(columns_);
    const std::size_t n = static_cast<std::size_t>(end - first) * static_cast<std::size_t>(columns_);
    copyWithExtremes(image.plane(0) + at, plane_.data() + at, n, extremes.min, extremes.max);
}

void UndoBuffer::addExtremes(const Extremes& e)
{
    minValue_ = std::min(minValue_, e.min);
    maxValue_ = std::max(maxValue_, e.max);
}

void UndoBuffer::takeSnapshot(const FitsImage& image)
{
    startSnapshot(image);
    copyRows(image, 0, rows_);
}

void UndoBuffer::restore(FitsImage& image)
{
    if (image.loaded()) {
        const bool sameSize = columns_ == image.naxis1 && rows_ == image.naxis2;
        if (sameSize && image.planes == 1 && image.pixels.size() == plane_.size()) {
            // The copy is not looked at again before the next snapshot
            // overwrites it, so the two planes simply change places.
            image.pixels.swap(plane_);
        } else if (sameSize) {
            std::memcpy(image.plane(0), plane_.data(), plane_.size() * sizeof(std::int32_t));
        } else {
            const int width = std::min(columns_, image.naxis1);
            const int height = std::min(rows_, image.naxis2);
            for (int y = 0; y < image.naxis2; ++y) {
                std::int32_t* row = image.plane(0) + static_cast<std::size_t>(y) * static_cast<std::size_t>(image.naxis1);
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
    if (image.loaded()) restoreBlanks(image);
    image.maxValue = maxValue_;
    image.minValue = minValue_;
    available_ = false;
}

void UndoBuffer::restoreBlanks(FitsImage& image) const
{
    if (blanks_.empty() && !image.hasBlanks()) return;
    const std::size_t perPlane = static_cast<std::size_t>(image.naxis1) * static_cast<std::size_t>(image.naxis2);
    image.blanks.resize(image.pixels.size(), 0);
    std::fill(image.blanks.begin(), image.blanks.begin() + static_cast<std::ptrdiff_t>(perPlane), std::uint8_t{0});
    if (!blanks_.empty()) {
        // Where the copy and the image overlap, as the values are put back.
        const int width = std::min(columns_, image.naxis1);
        const int height = std::min(rows_, image.naxis2);
        for (int y = 0; y < height; ++y)
            std::copy_n(blanks_.begin() + static_cast<std::ptrdiff_t>(y) * columns_, width,
                        image.blanks.begin() + static_cast<std::ptrdiff_t>(y) * image.naxis1);
    }
    if (std::find(image.blanks.begin(), image.blanks.end(), std::uint8_t{1}) == image.blanks.end()) image.blanks.clear();
}

}  // namespace lv
