#include "display/grey_mapping.h"

#include <algorithm>
#include <cmath>

#include "core/conventions.h"
#include "core/vector_clones.h"

namespace lv {

int greyLevel(std::int32_t v, std::int32_t background, std::int32_t range)
{
    const double diff = static_cast<double>(v) - static_cast<double>(background);
    if (range == 0) return diff > 0 ? 255 : 0;
    const double g = std::floor(diff / static_cast<double>(range) * 256.0 + 0.5);
    return g >= 256 ? 255 : g < 0 ? 0 : static_cast<int>(g);
}

namespace {

// Largest lookup window; beyond it (ranges of millions) values are mapped
// one by one.
constexpr long long kMaxTable = 1 << 22;

// First v in [lo, hi] with step(v) >= k for a non-decreasing step function,
// or hi + 1.
template <class Step>
long long firstAtLeast(long long lo, long long hi, int k, Step step)
{
    long long a = lo, b = hi + 1;
    while (a < b) {
        const long long m = a + (b - a) / 2;
        if (step(m) >= k) b = m; else a = m + 1;
    }
    return a;
}

// Fills table[v - lo] for v in [lo, hi] with a monotonic step function of
// levels 0 ... top, by finding each step's first value.
template <class Out, class Step>
void fillSteps(std::vector<Out>& table, long long lo, long long hi, int top, bool increasing, Step step,
               Out (*as)(int))
{
    table.resize(static_cast<std::size_t>(hi - lo + 1));
    auto rising = [&](long long v) { return increasing ? step(v) : top - step(v); };
    long long start = lo;
    int level = rising(lo);
    while (start <= hi) {
        const long long next = level >= top ? hi + 1 : firstAtLeast(start, hi, level + 1, rising);
        std::fill(table.begin() + (start - lo), table.begin() + (next - lo), as(increasing ? level : top - level));
        if (next > hi) break;
        start = next;
        level = rising(next);
    }
}

LV_VECTOR_CLONES void mapThroughTable(const std::int32_t* __restrict in, Rgb* __restrict out, std::size_t n,
                                      std::int32_t low, std::int32_t high, const Rgb* __restrict table)
{
    for (std::size_t i = 0; i < n; ++i) out[i] = table[std::clamp(in[i], low, high) - low];
}

}  // namespace

GreyMapper::GreyMapper(std::int32_t background, std::int32_t range) : background_(background), range_(range)
{
    // Outside [background - 2|range| - 2, background + 2|range| + 2] the
    // level is constant (0 or 255).
    const long long span = std::llabs(static_cast<long long>(range));
    if (range == 0 || span > kMaxTable / 4) return;
    const long long lo = std::max<long long>(INT32_MIN, static_cast<long long>(background) - 2 * span - 2);
    const long long hi = std::min<long long>(INT32_MAX, static_cast<long long>(background) + 2 * span + 2);
    low_ = static_cast<std::int32_t>(lo);
    high_ = static_cast<std::int32_t>(hi);
    auto level = [&](long long v) { return greyLevel(static_cast<std::int32_t>(v), background, range); };
    fillSteps<std::uint8_t>(levels_, lo, hi, 255, range > 0, level, [](int g) { return static_cast<std::uint8_t>(g); });
    colours_.resize(levels_.size());
    for (std::size_t i = 0; i < levels_.size(); ++i) colours_[i] = greyRgb(levels_[i]);
}

namespace {

// Whether the pixel shown at (x, y) is blank: in plane 0, or in any plane of a colour picture.
bool blankShown(const FitsImage& image, int x, int y)
{
    if (!image.hasBlanks() || !image.inside(x, y)) return false;
    if (image.isBlank(x, y, 0)) return true;
    if (image.naxis3 != 3) return false;
    for (int p = 1; p < image.planes; ++p)
        if (image.isBlank(x, y, p)) return true;
    return false;
}

}  // namespace

RgbPicture buildPicture(const FitsImage& image, AppState& state)
{
    RgbPicture pic;
    buildPicture(image, state, pic);
    return pic;
}

void buildPicture(const FitsImage& image, AppState& state, RgbPicture& pic)
{
    const int scale = displayScaleOf(state.displayScale);
    pic.width = pictureExtent(image.naxis1, scale);
    pic.height = pictureExtent(image.naxis2, scale);
    pic.points.resize(static_cast<std::size_t>(pic.width) * static_cast<std::size_t>(pic.height));
    if (!image.loaded()) {
        std::fill(pic.points.begin(), pic.points.end(), rgb(0, 0, 0));
        return;
    }
    const GreyMapper map(state.background, state.range);
    const bool colour = image.naxis3 == 3;
    if (!colour && scale == 1 && map.hasTable()) {
        mapThroughTable(image.plane(0), pic.points.data(), pic.points.size(), map.low(), map.high(), map.colours());
    } else {
        for (int py = 0; py < pic.height; ++py) {
            const int y = shownPixel(py, scale, image.naxis2);
            Rgb* out = &pic.at(0, py);
            for (int px = 0; px < pic.width; ++px) {
                const int x = shownPixel(px, scale, image.naxis1);
                out[px] = colour ? rgb(map(image.value(x, y, 0)), map(image.value(x, y, 1)), map(image.value(x, y, 2)))
                                 : greyRgb(map(image.at(x, y)));
            }
        }
    }
    if (image.hasBlanks()) {
        // Blank pixels are drawn black whatever the levels (in colour: blank in any plane).
        for (int py = 0; py < pic.height; ++py) {
            const int y = shownPixel(py, scale, image.naxis2);
            Rgb* out = &pic.at(0, py);
            for (int px = 0; px < pic.width; ++px) {
                const int x = shownPixel(px, scale, image.naxis1);
                if (blankShown(image, x, y)) out[px] = rgb(0, 0, 0);
            }
        }
    }
    if (state.lineDisplay) {
        // The line's row is an image row and is not divided by the scale.
        state.lineRow = image.naxis2 / 2;
        if (state.lineRow < pic.height)
            for (int x = 0; x <= image.naxis1 && x < pic.width; ++x) pic.at(x, state.lineRow) = kMarkerGreen;
    }
}

namespace {

// Counts the values start ... start + span of plane 0 into the bins the
// table gives them. Several partial histograms take turns so that runs of
// equal values do not wait on one counter.
void countBins(const std::int32_t* p, std::size_t n, std::int32_t start, std::uint32_t span,
               const std::uint16_t* binOf, std::array<long long, 301>& hist)
{
    std::array<std::array<std::uint32_t, 301>, 8> part{};
    std::size_t i = 0;
    auto one = [&](std::size_t k, std::int32_t v) {
        const std::uint32_t off = static_cast<std::uint32_t>(v) - static_cast<std::uint32_t>(start);
        if (off <= span) ++part[k][binOf[off]];
    };
    for (; i + 8 <= n; i += 8)
        for (std::size_t k = 0; k < 8; ++k) one(k, p[i + k]);
    for (; i < n; ++i) one(0, p[i]);
    for (const auto& h : part)
        for (std::size_t b = 0; b < h.size(); ++b) hist[b] += h[b];
}

}  // namespace

namespace {

// The histogram of every value of plane 0, blank ones (stored as 0) included.
std::array<long long, 301> levelsHistogramOfValues(const FitsImage& image)
{
    std::array<long long, 301> hist{};
    if (!image.loaded()) return hist;
    const double minV = image.minValue;
    const double spread = static_cast<double>(image.maxValue) - minV;
    const std::int32_t* p = image.plane(0);
    const std::size_t n = static_cast<std::size_t>(image.naxis1) * static_cast<std::size_t>(image.naxis2);
    if (spread == 0) {
        hist[300] = static_cast<long long>(n);
    } else {
        // Values whose bin falls outside 0 ... 300 (bright ones that the dusky
        // picture leaves out of the maximum) are not counted.
        const double binWidth = spread / 300.0;
        auto binAt = [&](long long off) {
            const double b = std::floor(static_cast<double>(off) / binWidth + 0.5);
            return b < 0 ? -1 : b > 300 ? 301 : static_cast<int>(b);
        };
        if (spread > 0 && spread <= static_cast<double>(kMaxTable)) {
            // The bin is a step function of v - min; the values that land in
            // bins 0 ... 300 reach a little below the minimum and above the
            // maximum. Tabulated once over that stretch.
            const long long reach = static_cast<long long>(spread) / 300 + 2;
            const long long first = firstAtLeast(-reach, 0, 0, binAt);
            const long long last = firstAtLeast(static_cast<long long>(spread), static_cast<long long>(spread) + reach, 301, binAt) - 1;
            std::vector<std::uint16_t> binOf;
            fillSteps<std::uint16_t>(binOf, first, last, 300, true, binAt,
                                     [](int b) { return static_cast<std::uint16_t>(b); });
            const long long start = static_cast<long long>(image.minValue) + first;
            if (start >= INT32_MIN && start + (last - first) <= INT32_MAX) {
                countBins(p, n, static_cast<std::int32_t>(start), static_cast<std::uint32_t>(last - first), binOf.data(), hist);
                return hist;
            }
        }
        for (std::size_t i = 0; i < n; ++i) {
            const double bin = std::floor((p[i] - minV) / binWidth + 0.5);
            if (bin >= 0 && bin <= 300) ++hist[static_cast<std::size_t>(bin)];
        }
    }
    return hist;
}

}  // namespace

std::array<long long, 301> levelsHistogram(const FitsImage& image)
{
    std::array<long long, 301> hist = levelsHistogramOfValues(image);
    // Blank values were counted as the 0s they are stored as: taken out again.
    if (const long long blanks = image.loaded() ? image.blankCount(0) : 0; blanks > 0) {
        const double spread = static_cast<double>(image.maxValue) - image.minValue;
        double bin = 300;
        if (spread != 0) bin = std::floor((0 - static_cast<double>(image.minValue)) / (spread / 300.0) + 0.5);
        if (bin >= 0 && bin <= 300) hist[static_cast<std::size_t>(bin)] -= blanks;
    }
    return hist;
}

bool autoLevels(const FitsImage& image, AppState& state)
{
    if (!image.loaded()) return false;
    const std::array<long long, 301> hist = levelsHistogram(image);
    const double minV = image.minValue;
    const double spread = static_cast<double>(image.maxValue) - minV;
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
    // The end bins have no smoothed count, so a peak in one of them (the sky
    // of a frame with bright stars often sits in bin 0 or 1) would find no
    // edge and keep the old levels, typically a white picture. For such a
    // peak the end bins are smoothed over the bins that exist, and an edge
    // not found is the end of the histogram. A constant image keeps its
    // levels as before.
    const bool endPeak = spread != 0 && (peak < 2 || peak > 298);
    if (endPeak) {
        for (int i : {0, 1, 299, 300}) {
            double sq = 0;
            for (int k = std::max(i - 2, 0); k <= std::min(i + 2, 300); ++k)
                sq += static_cast<double>(hist[static_cast<std::size_t>(k)]) * static_cast<double>(hist[static_cast<std::size_t>(k)]);
            smooth[static_cast<std::size_t>(i)] = std::sqrt(sq) / 5.0;
        }
    }
    const double limit = 0.1 * smooth[static_cast<std::size_t>(peak)];
    auto levelAt = [&](int i) { return toInt32Saturated(std::floor(minV + spread * i / 300.0 + 0.5)); };
    std::optional<int> lower, upper;
    for (int i = peak; i >= 0 && !lower; --i)
        if (smooth[static_cast<std::size_t>(i)] < limit) lower = i;
    for (int i = peak; i <= 300 && !upper; ++i)
        if (smooth[static_cast<std::size_t>(i)] < limit) upper = i;
    if (endPeak) {
        if (!lower) lower = 0;
        if (!upper) upper = 300;
    }
    if (lower) state.background = levelAt(*lower);
    if (upper) state.range = toInt32Saturated(static_cast<double>(levelAt(*upper)) - state.background);
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
    const std::size_t n = static_cast<std::size_t>(image.naxis1) * static_cast<std::size_t>(image.naxis2);
    std::reverse(p, p + n);
    if (image.hasBlanks()) std::reverse(image.blanks.begin(), image.blanks.begin() + static_cast<std::ptrdiff_t>(n));
}

std::optional<ZoomCells> zoomCells(const FitsImage& image, const AppState& state, int px, int py)
{
    if (!image.loaded() || px < 0 || py < 0 || px > image.naxis1 || py > image.naxis2) return std::nullopt;
    ZoomCells cells;
    for (int j = -10; j <= 10; ++j) {
        for (int i = -10; i <= 10; ++i) {
            if (image.inside(px + i, py + j))
                cells[static_cast<std::size_t>((j + 10) * kZoomCells + (i + 10))] =
                    image.isBlank(px + i, py + j)
                        ? rgb(0, 0, 0)
                        : greyRgb(greyLevel(image.at(px + i, py + j), state.background, state.range));
        }
    }
    return cells;
}

Rgb pictureColourAt(const FitsImage& image, const AppState& state, int px, int py)
{
    const int scale = displayScaleOf(state.displayScale);
    const int x = shownPixel(px, scale, image.naxis1);
    const int y = shownPixel(py, scale, image.naxis2);
    if (blankShown(image, x, y)) return rgb(0, 0, 0);
    auto g = [&](int plane) { return greyLevel(image.value(x, y, plane), state.background, state.range); };
    if (image.naxis3 == 3) return rgb(g(0), g(1), g(2));
    return greyRgb(g(0));
}

}  // namespace lv
