// The histogram window's arithmetic: bins over the whole value range or over
// the levels being picked, and the value under a click.
#pragma once

#include <array>
#include <cstdint>

#include "core/fits_image.h"

namespace lv {

inline constexpr int kHistogramBars = 300;
using HistogramBins = std::array<long long, kHistogramBars + 1>;

// Whole range: bin = Int((v - minValue) / (maxValue - minValue) * 300 + 0.5),
// below 0 counted in 0, above 299 in 299. A constant image gives no counts.
HistogramBins wholeRangeBins(const FitsImage& image);

// Over the pick: bin = Int((v - background) / range * 300 + 0.5); only bins
// 0 ... 300 are counted. A range of 0 gives no counts.
HistogramBins zoomedBins(const FitsImage& image, std::int32_t background, std::int32_t range);

// The value under horizontal position x (0 ... 300) of the histogram,
// rounded half to even: over the whole range, or over the current pick.
std::int32_t wholeRangeValueAt(double x, const FitsImage& image);
std::int32_t zoomedValueAt(double x, std::int32_t background, std::int32_t range);

// The largest count of bars 0 ... 299.
long long tallestBar(const HistogramBins& bins);

}  // namespace lv
