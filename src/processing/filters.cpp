#include "processing/filters.h"

#include <algorithm>
#include <cstdint>

#include "core/conventions.h"
#include "core/vector_clones.h"

namespace lv {

namespace {

// Rounded quotient of a sum by 3 or 5: its fraction is never one half, so
// rounding to nearest needs no tie rule: floor((sum + d/2) / d).
inline std::int32_t roundedThird(std::int64_t sum)
{
    const std::int64_t q = sum + 1;
    const std::int64_t r = (q >= 0 ? q : q - 2) / 3;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(r, INT32_MIN, INT32_MAX));
}
inline std::int32_t roundedFifth(std::int64_t sum)
{
    const std::int64_t q = sum + 2;
    const std::int64_t r = (q >= 0 ? q : q - 4) / 5;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(r, INT32_MIN, INT32_MAX));
}

std::int32_t rounded(double v) { return toInt32Saturated(roundHalfEven(v)); }

void hotCool(FitsImage& image)
{
    for (int y = 0; y < image.naxis2; ++y) {
        std::int32_t* row = &image.at(0, y);
        for (int x = 1; x <= image.naxis1 - 2; ++x) {
            // Sums in 64 bits: values near the limit must not wrap.
            std::int64_t sum = std::int64_t{row[x - 1]} + row[x] + row[x + 1];
            const std::int32_t hot = rounded(static_cast<double>(sum) / 3 * 1.5);
            if (row[x] > hot) row[x] = rounded(static_cast<double>(std::int64_t{row[x - 1]} + row[x + 1]) / 2);
            sum = std::int64_t{row[x - 1]} + row[x] + row[x + 1];
            const std::int32_t cool = rounded(static_cast<double>(sum) / 3 * 0.5);
            if (row[x] < cool) row[x] = rounded(static_cast<double>(std::int64_t{row[x - 1]} + row[x + 1]) / 2);
        }
    }
}

LV_VECTOR_CLONES void average3(const std::int32_t* u, std::int32_t* out, int n)
{
    for (int x = 1; x <= n - 2; ++x) out[x] = roundedThird(std::int64_t{u[x - 1]} + u[x] + u[x + 1]);
}

LV_VECTOR_CLONES void average5(const std::int32_t* u, std::int32_t* out, int n)
{
    for (int x = 2; x <= n - 3; ++x)
        out[x] = roundedFifth(std::int64_t{u[x - 2]} + u[x - 1] + u[x] + u[x + 1] + u[x + 2]);
}

// The five values of the cross sorted: only the order matters, so a
// network of min and max gives what the exchange sort gives.
struct Sorted5 {
    std::int32_t v[5];
};
inline Sorted5 sort5(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d, std::int32_t e)
{
    auto cs = [](std::int32_t& p, std::int32_t& q) {
        const std::int32_t lo = std::min(p, q), hi = std::max(p, q);
        p = lo;
        q = hi;
    };
    cs(a, b); cs(d, e); cs(c, e); cs(c, d); cs(b, e); cs(a, d); cs(a, c); cs(b, d); cs(b, c);
    return {{a, b, c, d, e}};
}

LV_VECTOR_CLONES void shadeRow(const std::int32_t* up, const std::int32_t* mid, const std::int32_t* down,
                               std::int32_t* out, int n, bool median)
{
    for (int x = 1; x <= n - 2; ++x) {
        const Sorted5 s = sort5(up[x], down[x], mid[x], mid[x - 1], mid[x + 1]);
        out[x] = median ? s.v[2] : roundedThird(std::int64_t{s.v[1]} + s.v[2] + s.v[3]);
    }
}

}  // namespace

const char* noiseFilterQuestion(NoiseFilter f)
{
    switch (f) {
    case NoiseFilter::HotCool: return "Remove, Hot pixel and Cool pixel";
    case NoiseFilter::ThreePoint: return "3 point average, Start";
    case NoiseFilter::FivePoint: return "5 point average, Start";
    case NoiseFilter::ShadeAverage: return "shade off (average), Start";
    case NoiseFilter::ShadeMedian: return "shade off (median), Start";
    }
    return "";
}

void applyNoiseFilter(NoiseFilter filter, FitsImage& image, const UndoBuffer& source)
{
    if (!image.loaded()) return;
    if (filter == NoiseFilter::HotCool) {
        hotCool(image);
        return;
    }
    // The others read the copy taken just before, of the image's own size.
    if (source.columns() != image.naxis1 || source.rows() != image.naxis2) return;
    const int n = image.naxis1;
    for (int y = 0; y < image.naxis2; ++y) {
        const std::int32_t* u = source.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(n);
        std::int32_t* out = &image.at(0, y);
        if (filter == NoiseFilter::ThreePoint) {
            average3(u, out, n);
        } else if (filter == NoiseFilter::FivePoint) {
            average5(u, out, n);
        } else if (y >= 1 && y <= image.naxis2 - 2) {
            shadeRow(u - n, u, u + n, out, n, filter == NoiseFilter::ShadeMedian);
        }
    }
}

bool runNoiseFilter(NoiseFilter filter, FitsImage& image, UndoBuffer& undo, Platform& platform)
{
    if (!platform.askOkCancel(noiseFilterQuestion(filter))) return false;
    {
        BusyPointer busy(platform);
        undo.takeSnapshot(image);
        applyNoiseFilter(filter, image, undo);
    }
    platform.message(kCompletionMessage);
    return true;
}

}  // namespace lv
