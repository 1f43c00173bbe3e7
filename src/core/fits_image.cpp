#include "core/fits_image.h"

#include <algorithm>
#include <cmath>

#include "core/conventions.h"

namespace lv {

std::string_view cardKeyword(const HeaderCard& card)
{
    return std::string_view(card).substr(0, 8);
}

void FitsImage::allocate(int columns, int rows, int planeCount)
{
    naxis1 = columns;
    naxis2 = rows;
    planes = planeCount;
    blanks.clear();
    pixels.assign(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows) *
                      static_cast<std::size_t>(planeCount),
                  0);
}

long long FitsImage::blankCount(int plane) const
{
    if (blanks.empty()) return 0;
    const std::size_t perPlane = static_cast<std::size_t>(naxis1) * static_cast<std::size_t>(naxis2);
    const std::size_t from = plane < 0 ? 0 : perPlane * static_cast<std::size_t>(plane);
    const std::size_t to = plane < 0 ? blanks.size() : std::min(blanks.size(), from + perPlane);
    long long n = 0;
    for (std::size_t i = from; i < to; ++i) n += blanks[i];
    return n;
}

void FitsImage::settleBlanks()
{
    if (blanks.empty()) return;
    const std::size_t n = std::min(blanks.size(), pixels.size());
    bool any = false;
    for (std::size_t i = 0; i < n; ++i) {
        if (!blanks[i]) continue;
        pixels[i] = 0;
        any = true;
    }
    if (!any) blanks.clear();
}

void FitsImage::resetHeaderState()
{
    bitpix = -1;
    isFloat = false;
    naxis1 = naxis2 = naxis3 = -1;
    bzero = 0.0;
    bscale = 1.0;
    maxValue = -1;
    minValue = std::numeric_limits<std::int32_t>::max();
}

std::string statisticsLine(const FitsImage& image)
{
    if (!image.loaded()) return std::string(kEmptyStatisticsLine);
    long long sum = 0;  // exact: at most 3073 x 3073 values of 32 bits
    const std::int32_t* p = image.plane(0);
    const std::size_t n = static_cast<std::size_t>(image.naxis1) * static_cast<std::size_t>(image.naxis2);
    for (std::size_t i = 0; i < n; ++i) sum += p[i];  // blank values are 0
    return statisticsLine(image, sum);
}

std::string statisticsLine(const FitsImage& image, long long planeZeroSum)
{
    if (!image.loaded()) return std::string(kEmptyStatisticsLine);
    // The mean of the values that are not blank (blank values are stored as 0).
    const double n = static_cast<double>(image.naxis1) * static_cast<double>(image.naxis2) -
                     static_cast<double>(image.blankCount(0));
    const double mean = n > 0 ? static_cast<double>(planeZeroSum) / n : 0.0;
    return "max" + numberText(image.maxValue) + " / min" + numberText(image.minValue) + " / ave" +
           numberText(intFloor(mean + 0.5));
}

}  // namespace lv
