// The one-level undo copy that every processing command takes before it
// changes the pixel plane (plane 0 of the current image).
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "core/fits_image.h"

namespace lv {

// The copy holds plane 0 of the image as it was, over the image's own
// columns and rows. Positions of the plane outside that area hold 0 in this
// model, so restoring into an image of another size puts the copied values
// where they overlap and 0 elsewhere, and counts every copied value for the
// extremes: what a copy of the whole fixed-size plane would give.
class UndoBuffer {
public:
    // Take snapshot: copies plane 0 and makes "UnDo" available.
    void takeSnapshot(const FitsImage& image);
    // The same in steps, for commands that work row by row while the copy
    // is made: start, then copy rows [first, end) before they change.
    void startSnapshot(const FitsImage& image);
    void copyRows(const FitsImage& image, int first, int end);
    // For copies made by several threads at once, each of its own rows: the
    // extremes of what each copied are kept apart, then added to the copy's.
    struct Extremes {
        std::int32_t min = std::numeric_limits<std::int32_t>::max();
        std::int32_t max = -1;
        bool within(std::int32_t limit) const { return min >= -limit && max <= limit; }
        void add(const Extremes& e)
        {
            min = e.min < min ? e.min : min;
            max = e.max > max ? e.max : max;
        }
    };
    void copyRows(const FitsImage& image, int first, int end, Extremes& extremes);
    void addExtremes(const Extremes& e);
    // Restore: puts the copy back into plane 0 (its blank pixels too) and
    // makes "UnDo" unavailable.
    // maxValue and minValue start from -1 and 2147483647 and take in every
    // restored value that is not 0. What the buffer holds afterwards is not
    // defined: only a new snapshot makes "UnDo" available again.
    void restore(FitsImage& image);

    bool available() const { return available_; }
    void setAvailable(bool available) { available_ = available; }
    bool empty() const { return columns_ == 0; }
    // The copy, for the commands that read the unchanged image from it.
    int columns() const { return columns_; }
    // Every value copied so far lies within -limit ... limit.
    bool copiedWithin(std::int32_t limit) const { return minValue_ >= -limit && maxValue_ <= limit; }
    int rows() const { return rows_; }
    const std::int32_t* data() const { return plane_.data(); }
    std::int32_t at(int x, int y) const
    {
        return plane_[static_cast<std::size_t>(y) * static_cast<std::size_t>(columns_) + static_cast<std::size_t>(x)];
    }

private:
    void restoreBlanks(FitsImage& image) const;

    PixelVector plane_;  // columns_ x rows_, x fastest
    std::vector<std::uint8_t> blanks_;  // plane 0's blank flags, empty when none
    int columns_ = 0;
    int rows_ = 0;
    std::int32_t minValue_ = 0;  // extremes of the copy's values that are not 0
    std::int32_t maxValue_ = -1;
    bool available_ = false;
};

}  // namespace lv
