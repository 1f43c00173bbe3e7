#include "processing/filters.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "core/conventions.h"
#include "core/processors.h"
#include "core/vector_clones.h"

namespace lv {

namespace {

std::int32_t rounded(double v) { return toInt32Saturated(roundHalfEven(v)); }

// The exact hot and cool thresholds, as the command defines them.
inline std::int32_t hotThreshold(std::int64_t sum) { return rounded(static_cast<double>(sum) / 3 * 1.5); }
inline std::int32_t coolThreshold(std::int64_t sum) { return rounded(static_cast<double>(sum) / 3 * 0.5); }

// One pixel of the in-place test; `left` is the value just written.
inline std::int64_t hotCoolPixel(std::int64_t left, std::int64_t c, std::int64_t right)
{
    // Sums in 64 bits: values near the limit must not wrap.
    std::int64_t sum = left + c + right;
    const bool hot = 2 * c > sum + 2 ? true : 2 * c < sum - 2 ? false : c > hotThreshold(sum);
    if (hot) {
        c = rounded(static_cast<double>(left + right) / 2);
        sum = left + c + right;
    }
    const bool cool = 6 * c > sum + 6 ? false : 6 * c < sum - 6 ? true : c < coolThreshold(sum);
    if (cool) c = rounded(static_cast<double>(left + right) / 2);
    return c;
}

// stays[x] for 1 <= x <= n - 2: pixel x is clearly below its hot and above
// its cool threshold, with the row as it is. Values within 2^28, so the
// sums fit in 32 bits; one pass in vector code.
LV_VECTOR_CLONES void staysMask(const std::int32_t* __restrict row, int n, std::uint8_t* __restrict stays)
{
    for (int x = 1; x <= n - 2; ++x) {
        const std::int32_t c = row[x];
        const std::int32_t sum = row[x - 1] + c + row[x + 1];
        stays[x] = static_cast<std::uint8_t>((2 * c < sum - 2) & (6 * c > sum + 6));
    }
}

void hotCoolRow(std::int32_t* row, int n, bool narrow, std::vector<std::uint8_t>& stays)
{
    // The thresholds lie within one unit of sum / 2 and sum / 6, so most
    // pixels are decided by integer comparisons, all of the row's at once
    // where the values allow; only pixels close to a threshold need the
    // exact test. Pixel x is tested with its left neighbour as just written,
    // so its mark holds only while that neighbour kept its value; a run of
    // pixels that all stay is passed over eight at a time.
    if (!narrow || n < 3) {
        for (int x = 1; x <= n - 2; ++x) row[x] = static_cast<std::int32_t>(hotCoolPixel(row[x - 1], row[x], row[x + 1]));
        return;
    }
    stays.resize(static_cast<std::size_t>(n) + 8);
    staysMask(row, n, stays.data());
    std::fill(stays.begin() + (n - 1), stays.end(), std::uint8_t{0});  // past the last pixel tested
    constexpr std::uint64_t kAllStay = 0x0101010101010101ull;
    bool leftChanged = false;
    for (int x = 1; x <= n - 2;) {
        if (!leftChanged) {
            std::uint64_t eight;
            std::memcpy(&eight, stays.data() + x, 8);
            if (eight == kAllStay) {
                x += 8;
                continue;
            }
            if (stays[static_cast<std::size_t>(x)]) {
                ++x;
                continue;
            }
        }
        const auto v = static_cast<std::int32_t>(hotCoolPixel(row[x - 1], row[x], row[x + 1]));
        leftChanged = v != row[x];
        row[x] = v;
        ++x;
    }
}

// Quotients by 3 and 5 in double precision: their fractions are never one
// half, so the nearest integer is the rounded one, and the loops run on
// several values at once.
// (Adding 1.5 * 2^52 leaves no fraction bits; the quotients are far inside
// that range and inside the 32-bit range.)
inline std::int32_t nearestOf(double v)
{
    constexpr double kMagic = 6755399441055744.0;
    return static_cast<std::int32_t>((v + kMagic) - kMagic);
}
// Multiplying by the reciprocal may miss the quotient by an ulp, which
// cannot move it across a half.
inline std::int32_t nearestThird(double sum) { return nearestOf(sum * (1.0 / 3)); }
inline std::int32_t nearestFifth(double sum) { return nearestOf(sum * (1.0 / 5)); }

// With every value within 2^28 the sums fit in 32 bits, and the rounded
// quotient is floor((sum + d / 2) / d), with the floor taken below 0 too.
template <int D>
inline std::int32_t nearestNarrow(std::int32_t sum)
{
    const std::int32_t q = sum + D / 2;
    return (q >= 0 ? q : q - (D - 1)) / D;
}

template <bool Narrow>
LV_VECTOR_CLONES void average3(const std::int32_t* __restrict u, std::int32_t* __restrict out, int n)
{
    for (int x = 1; x <= n - 2; ++x) {
        if constexpr (Narrow)
            out[x] = nearestNarrow<3>(u[x - 1] + u[x] + u[x + 1]);
        else
            out[x] = nearestThird(static_cast<double>(u[x - 1]) + static_cast<double>(u[x]) + static_cast<double>(u[x + 1]));
    }
}

template <bool Narrow>
LV_VECTOR_CLONES void average5(const std::int32_t* __restrict u, std::int32_t* __restrict out, int n)
{
    for (int x = 2; x <= n - 3; ++x) {
        if constexpr (Narrow)
            out[x] = nearestNarrow<5>(u[x - 2] + u[x - 1] + u[x] + u[x + 1] + u[x + 2]);
        else
            out[x] = nearestFifth(static_cast<double>(u[x - 2]) + static_cast<double>(u[x - 1]) +
                                  static_cast<double>(u[x]) + static_cast<double>(u[x + 1]) + static_cast<double>(u[x + 2]));
    }
}

// The five values of the cross in order: only the order matters, so a
// network of min and max gives what the exchange sort gives.
#define LV_SORT2(p, q)                              \
    {                                               \
        const std::int32_t lo = std::min(p, q);     \
        q = std::max(p, q);                         \
        p = lo;                                     \
    }

template <bool Median, bool Narrow>
LV_VECTOR_CLONES void shadeRow(const std::int32_t* __restrict up, const std::int32_t* __restrict mid,
                               const std::int32_t* __restrict down, std::int32_t* __restrict out, int n)
{
    for (int x = 1; x <= n - 2; ++x) {
        std::int32_t a = up[x], b = down[x], c = mid[x], d = mid[x - 1], e = mid[x + 1];
        if constexpr (!Median && Narrow) {
            // The middle three add up to all five less the least and the
            // largest, which takes fewer steps than ordering them.
            const std::int32_t least = std::min(std::min(std::min(a, b), std::min(c, d)), e);
            const std::int32_t largest = std::max(std::max(std::max(a, b), std::max(c, d)), e);
            out[x] = nearestNarrow<3>(a + b + c + d + e - least - largest);
            continue;
        }
        if constexpr (Median) {
            // The median of five without ordering them: the larger of the
            // two pairs' smaller values and the smaller of their larger
            // ones bound it, and it is the middle of those two and e.
            const std::int32_t f = std::max(std::min(a, b), std::min(c, d));
            const std::int32_t g = std::min(std::max(a, b), std::max(c, d));
            out[x] = std::max(std::min(e, f), std::min(std::max(e, f), g));
            continue;
        }
        LV_SORT2(a, b) LV_SORT2(d, e) LV_SORT2(c, e) LV_SORT2(c, d) LV_SORT2(b, e)
        LV_SORT2(a, d) LV_SORT2(a, c) LV_SORT2(b, d) LV_SORT2(b, c)
        if constexpr (Narrow)
            out[x] = nearestNarrow<3>(b + c + d);
        else
            out[x] = nearestThird(static_cast<double>(b) + static_cast<double>(c) + static_cast<double>(d));
    }
}
#undef LV_SORT2

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

namespace {

constexpr std::int32_t kNarrowLimit = 1 << 28;

// Rows [from, to) of the filter; the copy holds every row these read.
// `narrow`: the values of those rows lie within kNarrowLimit. `stays` is
// Remove Hot/Cool Pixel's scratch row.
void filterRows(NoiseFilter filter, FitsImage& image, const UndoBuffer& source, int from, int to, bool narrow,
                std::vector<std::uint8_t>& stays)
{
    const int n = image.naxis1;
    for (int y = from; y < to; ++y) {
        std::int32_t* out = &image.at(0, y);
        const std::int32_t* u = source.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(n);
        switch (filter) {
        case NoiseFilter::HotCool: hotCoolRow(out, n, narrow, stays); break;
        case NoiseFilter::ThreePoint: narrow ? average3<true>(u, out, n) : average3<false>(u, out, n); break;
        case NoiseFilter::FivePoint: narrow ? average5<true>(u, out, n) : average5<false>(u, out, n); break;
        case NoiseFilter::ShadeAverage:
            if (y >= 1 && y <= image.naxis2 - 2)
                narrow ? shadeRow<false, true>(u - n, u, u + n, out, n) : shadeRow<false, false>(u - n, u, u + n, out, n);
            break;
        case NoiseFilter::ShadeMedian:
            if (y >= 1 && y <= image.naxis2 - 2) shadeRow<true, false>(u - n, u, u + n, out, n);
            break;
        }
    }
}

}  // namespace

void applyNoiseFilter(NoiseFilter filter, FitsImage& image, const UndoBuffer& source)
{
    if (!image.loaded()) return;
    // All but HotCool read the copy taken just before, of the image's own size.
    if (filter != NoiseFilter::HotCool && (source.columns() != image.naxis1 || source.rows() != image.naxis2)) return;
    std::vector<std::uint8_t> stays;
    filterRows(filter, image, source, 0, image.naxis2, source.copiedWithin(kNarrowLimit), stays);
    image.settleBlanks();
}

namespace {

// The copy is made a few rows ahead of the filter, so that each row is read
// from memory once and filtered while it is in the cache.
constexpr int kBand = 16;

// Rows [from, to) copied and filtered band by band, rows [keepFrom, keepTo)
// being copied already; `extremes` gathers what is copied here.
void copyAndFilter(NoiseFilter filter, FitsImage& image, UndoBuffer& undo, int from, int to, int keepFrom,
                   int keepTo, UndoBuffer::Extremes& extremes)
{
    std::vector<std::uint8_t> stays;
    for (int y = from; y < to; y += kBand) {
        const int end = std::min(y + kBand, to);
        const int copyTo = std::min(end + 1, image.naxis2);
        // Around the rows copied already, never into them: another thread reads them.
        undo.copyRows(image, y, std::min(copyTo, keepFrom), extremes);
        undo.copyRows(image, std::max(y, keepTo), copyTo, extremes);
        filterRows(filter, image, undo, y, end, extremes.within(kNarrowLimit), stays);
    }
}

}  // namespace

bool runNoiseFilter(NoiseFilter filter, FitsImage& image, UndoBuffer& undo, Platform& platform)
{
    if (!platform.askOkCancel(noiseFilterQuestion(filter))) return false;
    {
        BusyPointer busy(platform);
        // The copy is made a few rows ahead of the filter, so that each row
        // is read from memory once and filtered while it is in the cache.
        undo.startSnapshot(image);
        const int rows = image.naxis2;
        if (usableProcessors() >= 2 && rows >= 256) {
            // Two halves at once. Each row reads the copy of its neighbours
            // only, so the two rows where the halves meet are copied first;
            // then each half copies and filters the rest of its own rows.
            const int half = rows / 2;
            UndoBuffer::Extremes meeting;
            undo.copyRows(image, half - 1, half + 1, meeting);
            UndoBuffer::Extremes upper = meeting;
            UndoBuffer::Extremes lower = meeting;
            std::thread second([&] { copyAndFilter(filter, image, undo, half, rows, half - 1, half + 1, lower); });
            copyAndFilter(filter, image, undo, 0, half, half - 1, half + 1, upper);
            second.join();
            undo.addExtremes(upper);
            undo.addExtremes(lower);
        } else {
            UndoBuffer::Extremes all;
            copyAndFilter(filter, image, undo, 0, rows, rows, rows, all);
            undo.addExtremes(all);
        }
        image.settleBlanks();
    }
    platform.message(kCompletionMessage);
    return true;
}

}  // namespace lv
