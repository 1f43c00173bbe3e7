#include "display/histogram.h"

#include <algorithm>
#include <cmath>

#include "core/conventions.h"

namespace lv {

namespace {

template <class Count>
void eachPlaneZeroValue(const FitsImage& image, Count count)
{
    if (!image.loaded()) return;
    const std::int32_t* p = image.plane(0);
    const std::size_t n = static_cast<std::size_t>(image.naxis1) * static_cast<std::size_t>(image.naxis2);
    if (!image.hasBlanks()) {
        for (std::size_t i = 0; i < n; ++i) count(p[i]);
        return;
    }
    for (std::size_t i = 0; i < n; ++i)
        if (!image.blanks[i]) count(p[i]);
}

}  // namespace

HistogramBins wholeRangeBins(const FitsImage& image)
{
    HistogramBins bins{};
    const double lo = image.minValue;
    const double spread = static_cast<double>(image.maxValue) - lo;
    if (spread == 0) return bins;
    eachPlaneZeroValue(image, [&](std::int32_t v) {
        const double b = std::floor((v - lo) / spread * 300.0 + 0.5);
        ++bins[static_cast<std::size_t>(b < 0 ? 0 : b > 299 ? 299 : b)];
    });
    return bins;
}

HistogramBins zoomedBins(const FitsImage& image, std::int32_t background, std::int32_t range)
{
    HistogramBins bins{};
    if (range == 0) return bins;
    eachPlaneZeroValue(image, [&](std::int32_t v) {
        const double b = std::floor((static_cast<double>(v) - background) / range * 300.0 + 0.5);
        if (b >= 0 && b <= 300) ++bins[static_cast<std::size_t>(b)];
    });
    return bins;
}

std::int32_t wholeRangeValueAt(double x, const FitsImage& image)
{
    return toInt32Saturated(x / 300.0 * (static_cast<double>(image.maxValue) - image.minValue) + image.minValue);
}

std::int32_t zoomedValueAt(double x, std::int32_t background, std::int32_t range)
{
    return toInt32Saturated(x / 300.0 * range + background);
}

long long tallestBar(const HistogramBins& bins)
{
    return *std::max_element(bins.begin(), bins.begin() + kHistogramBars);
}

}  // namespace lv
