#include "photometry/measurement.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace lv {

int roundedDistance(int dx, int dy)
{
    return static_cast<int>(std::floor(std::sqrt(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy) + 0.5));
}

namespace {

// Sum of the pixels of the box [x0, x1] x [y0, y1] that lie inside the image.
long long boxSum(const FitsImage& image, int x0, int x1, int y0, int y1, long long* count = nullptr)
{
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, image.naxis1 - 1);
    y1 = std::min(y1, image.naxis2 - 1);
    long long s = 0;
    for (int y = y0; y <= y1; ++y) {
        const std::int32_t* row = image.plane(0) + static_cast<std::size_t>(y) * image.naxis1;
        for (int x = x0; x <= x1; ++x) s += row[x];
    }
    if (count) *count += (x1 >= x0 && y1 >= y0) ? static_cast<long long>(x1 - x0 + 1) * (y1 - y0 + 1) : 0;
    return s;
}

int halfWidth(int size) { return static_cast<int>(std::floor(size / 2.0)); }

}  // namespace

bool peakSearch(const FitsImage& image, PhotometryState& state, int s)
{
    const PixelPosition start = state.slotPositions[static_cast<std::size_t>(s)];
    const int h = halfWidth(state.settings.apertureSize);
    const long long span = state.settings.searchSpan;
    long long best = 0;  // a box must have a positive sum to be chosen
    std::optional<PixelPosition> found;
    // Boxes wholly outside the image sum 0 and are never chosen, so only
    // centres from -h to naxis + h - 1 are looked at.
    const long long x0 = std::max<long long>(start.x - span, -h);
    const long long x1 = std::min<long long>(start.x + span, static_cast<long long>(image.naxis1) - 1 + h);
    const long long y0 = std::max<long long>(start.y - span, -h);
    const long long y1 = std::min<long long>(start.y + span, static_cast<long long>(image.naxis2) - 1 + h);
    if (x0 > x1 || y0 > y1) return false;
    // Sums of the boxes from a table of running sums over the part of the
    // image the boxes cover: the same integer sums, each in four lookups.
    const int ax = static_cast<int>(std::max<long long>(x0 - h, 0));
    const int bx = static_cast<int>(std::min<long long>(x1 + h, image.naxis1 - 1));
    const int ay = static_cast<int>(std::max<long long>(y0 - h, 0));
    const int by = static_cast<int>(std::min<long long>(y1 + h, image.naxis2 - 1));
    const std::size_t w = static_cast<std::size_t>(bx - ax + 2);
    std::vector<long long> table(w * static_cast<std::size_t>(by - ay + 2), 0);
    for (int y = ay; y <= by; ++y) {
        const std::int32_t* row = image.plane(0) + static_cast<std::size_t>(y) * static_cast<std::size_t>(image.naxis1);
        long long* above = &table[static_cast<std::size_t>(y - ay) * w];
        long long* line = above + w;
        long long run = 0;
        for (int x = ax; x <= bx; ++x) {
            run += row[x];
            line[x - ax + 1] = above[x - ax + 1] + run;
        }
    }
    // Running sum of the region's columns ax .. x and rows ay .. y (held inside the region).
    auto at = [&](long long x, long long y) -> long long {
        x = std::min<long long>(x, bx);
        y = std::min<long long>(y, by);
        if (x < ax || y < ay) return 0;
        return table[static_cast<std::size_t>(y - ay + 1) * w + static_cast<std::size_t>(x - ax + 1)];
    };
    for (long long cx = x0; cx <= x1; ++cx) {
        for (long long cy = y0; cy <= y1; ++cy) {
            const long long sum = at(cx + h, cy + h) - at(cx - h - 1, cy + h) - at(cx + h, cy - h - 1) +
                                  at(cx - h - 1, cy - h - 1);
            if (sum > best) {
                best = sum;
                found = PixelPosition{static_cast<int>(cx), static_cast<int>(cy)};
            }
        }
    }
    if (!found) return false;

    const int dx = found->x - start.x;
    const int dy = found->y - start.y;
    const PixelPosition sky = state.slotPositions[static_cast<std::size_t>(s + 1)];
    const PixelPosition movedSky{sky.x + dx, sky.y + dy};
    if (state.settings.positionMode == PositionMode::PeakCastAndMove) {
        state.slotPositions[static_cast<std::size_t>(s)] = *found;
        state.slotPositions[static_cast<std::size_t>(s + 1)] = movedSky;
    }
    state.setFieldPosition(s, *found);
    state.setFieldPosition(s + 1, movedSky);
    return true;
}

void apertureSum(const FitsImage& image, const PhotometryState& state, int slot, Measurement& m)
{
    const PixelPosition c = state.fieldPosition(slot);
    double& sum = m.sum[static_cast<std::size_t>(slot)];
    long long& count = m.count[static_cast<std::size_t>(slot)];
    if (state.settings.apertureShape == ApertureShape::Circle) {
        // Pixels beyond the border are left out, as for the square box.
        long long s = 0;
        forEachAperturePixel(image, state, slot, [&](int x, int y) {
            s += image.at(x, y);
            ++count;
        });
        sum += static_cast<double>(s);
    } else {
        const int h = halfWidth(state.settings.apertureSize);
        sum += static_cast<double>(boxSum(image, c.x - h, c.x + h, c.y - h, c.y + h, &count));
    }
    if (image.hasBlanks())
        forEachAperturePixel(image, state, slot, [&](int x, int y) {
            if (image.isBlank(x, y)) m.blank[static_cast<std::size_t>(slot)] = true;
        });
}

std::vector<std::int32_t> skySamples(const FitsImage& image, const PhotometryState& state, int s)
{
    const PixelPosition c = state.fieldPosition(s);
    const PhotometrySettings& set = state.settings;
    std::vector<std::int32_t> samples;
    if (set.apertureShape == ApertureShape::Circle) {
        // Only whole distances up to Int(outer) can pass d <= outer.
        const int reach = static_cast<int>(std::floor(std::min(set.skyOuter, 2.0 * kMaxAxis)));
        if (reach < 0) return samples;
        // The rounded distance d = Int(sqrt(q) + 0.5) of q = dx^2 + dy^2 lies
        // in inner ... outer exactly when q does in the integer bounds below.
        const long long outerQ = static_cast<long long>(reach) * reach + reach;
        const double inner = std::ceil(std::clamp(set.skyInner, -1.0, 1e7));
        const long long innerD = static_cast<long long>(inner);
        const long long innerQ = innerD <= 0 ? 0 : innerD * innerD - innerD + 1;
        const int xFrom = std::max(c.x - reach, 0), xTo = std::min(c.x + reach, image.naxis1 - 1);
        const int yFrom = std::max(c.y - reach, 0), yTo = std::min(c.y + reach, image.naxis2 - 1);
        if (xFrom <= xTo && yFrom <= yTo)
            samples.reserve(static_cast<std::size_t>(xTo - xFrom + 1) * static_cast<std::size_t>(yTo - yFrom + 1));
        for (int x = xFrom; x <= xTo; ++x) {
            const long long dx = x - c.x;
            for (int y = yFrom; y <= yTo; ++y) {
                const long long dy = y - c.y;
                const long long q = dx * dx + dy * dy;
                if (q >= innerQ && q <= outerQ && !image.isBlank(x, y)) samples.push_back(image.at(x, y));
            }
        }
    } else {
        const int from = static_cast<int>(std::floor(set.skyInner / 2.0));
        const int to = static_cast<int>(std::floor(std::min(set.skyOuter, 2.0 * kMaxAxis) / 2.0));
        for (int w = std::max(from, 0); w <= to; ++w) {
            for (int x = c.x - w; x <= c.x + w; ++x)
                for (int y = c.y - w; y <= c.y + w; ++y) {
                    const bool border = x == c.x - w || x == c.x + w || y == c.y - w || y == c.y + w;
                    if (border && image.inside(x, y) && !image.isBlank(x, y)) samples.push_back(image.at(x, y));
                }
        }
    }
    return samples;
}

std::optional<std::int32_t> lowerMedian(std::vector<std::int32_t> samples)
{
    if (samples.empty()) return std::nullopt;
    const std::size_t n = samples.size();
    const std::size_t k = (n + 1) / 2 - 1;  // sample number Int(n / 2 + 0.5), counted from 1
    std::nth_element(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(k), samples.end());
    return samples[k];
}

void skyMedian(const FitsImage& image, const PhotometryState& state, int k, Measurement& m)
{
    const auto median = lowerMedian(skySamples(image, state, k - 1));
    if (!median) {
        m.noSky[static_cast<std::size_t>(k)] = true;
        return;
    }
    m.sum[static_cast<std::size_t>(k)] =
        static_cast<double>(*median) * static_cast<double>(m.count[static_cast<std::size_t>(k - 1)]);
}

std::optional<double> instrumentalMagnitude(const Measurement& m, int s)
{
    const double a = m.sum[static_cast<std::size_t>(s)];
    const double b = m.sum[static_cast<std::size_t>(s + 1)];
    if (m.noSky[static_cast<std::size_t>(s + 1)] || m.blank[static_cast<std::size_t>(s)] ||
        m.blank[static_cast<std::size_t>(s + 1)] || a <= b)
        return std::nullopt;
    return magnitudeOfFlux(a - b);
}

double magnitudeOfFlux(double flux) { return 20.0 - 2.511886432 * std::log(flux) / std::log(10.0); }

Measurement measureStars(const FitsImage& image, PhotometryState& state)
{
    Measurement m;
    const std::vector<int> stars = state.starSlotsInUse();
    if (state.settings.positionMode != PositionMode::Fixed)
        for (int s : stars) peakSearch(image, state, s);
    const bool square = state.settings.apertureShape == ApertureShape::Square;
    const bool skyByAperture = square && state.settings.skyMode == SkyMode::Aperture;
    for (int s : stars) {
        apertureSum(image, state, s, m);
        if (skyByAperture) apertureSum(image, state, s + 1, m);
    }
    if (!skyByAperture) {
        for (int s : stars) skyMedian(image, state, s + 1, m);
    } else {
        // A sky box wholly outside the image measured nothing.
        for (int s : stars)
            if (m.count[static_cast<std::size_t>(s + 1)] == 0) m.noSky[static_cast<std::size_t>(s + 1)] = true;
    }
    return m;
}

}  // namespace lv
