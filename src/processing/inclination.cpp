#include "processing/inclination.h"

#include <algorithm>

#include "core/conventions.h"

namespace lv {

bool compensateInclination(FitsImage& image, int row, std::vector<std::int32_t>* saved)
{
    if (!image.loaded() || row < 0 || row >= image.naxis2) return false;
    const int n = image.naxis1;
    std::int32_t* v = &image.at(0, row);
    if (saved) saved->assign(v, v + n);
    double sx = 0, sv = 0, sxv = 0, sxx = 0;
    for (int x = 0; x < n; ++x) {
        sx += x;
        sv += v[x];
        sxv += static_cast<double>(x) * v[x];
        sxx += static_cast<double>(x) * x;
    }
    // A one-column row has no slope.
    const double spread = sxx - sx * sx / n;
    const double a = spread == 0 ? 0.0 : (sxv - sx * sv / n) / spread;
    const double b = (sv - a * sx) / n;
    const double c = b + a * image.naxis1 / 2;
    for (int x = 0; x < n; ++x) {
        const double line = b + a * x;
        if (line == 0) continue;
        v[x] = toInt32Saturated(roundHalfEven(v[x] * c / line));
    }
    return true;
}

bool compensateLine(FitsImage& image, int row, SavedLine& saved)
{
    std::vector<std::int32_t> line;
    if (!compensateInclination(image, row, &line)) return false;
    saved.row = row;
    saved.values = std::move(line);
    return true;
}

bool restoreLine(FitsImage& image, const SavedLine& saved)
{
    if (saved.row < 0 || saved.row >= image.naxis2 || static_cast<int>(saved.values.size()) != image.naxis1)
        return false;
    std::copy(saved.values.begin(), saved.values.end(), &image.at(0, saved.row));
    return true;
}

}  // namespace lv
