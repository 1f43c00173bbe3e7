#include "processing/filters.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>

#include <gtest/gtest.h>

#include "core/processors.h"
#include "core/undo.h"

namespace lv {
namespace {

using Row = std::vector<std::int32_t>;
constexpr std::int32_t kNearMax = 2147483000;

FitsImage imageOf(int w, int h, const Row& values)
{
    FitsImage img;
    img.allocate(w, h, 1);
    img.pixels.assign(values.begin(), values.end());
    return img;
}

// Runs the menu command (answered OK) and returns plane 0.
Row filtered(NoiseFilter f, FitsImage img)
{
    ScriptedPlatform platform;
    UndoBuffer undo;
    EXPECT_TRUE(runNoiseFilter(f, img, undo, platform));
    EXPECT_EQ(platform.messageTexts(), std::vector<std::string>{"completion"});
    return {img.pixels.begin(), img.pixels.end()};
}

struct RowCase {
    NoiseFilter filter;
    Row in, out;
};

TEST(NoiseFilter, WorkedRows)
{
    const RowCase cases[] = {
        // Hot: thresholds 300, 245, 220; cool: 40 equals its threshold and stays,
        // 30 is below 38.33 -> 38.
        {NoiseFilter::HotCool, {100, 400, 100}, {100, 100, 100}},
        {NoiseFilter::HotCool, {100, 290, 100}, {100, 100, 100}},
        {NoiseFilter::HotCool, {100, 240, 100}, {100, 100, 100}},
        {NoiseFilter::HotCool, {100, 40, 100}, {100, 40, 100}},
        {NoiseFilter::HotCool, {100, 30, 100}, {100, 100, 100}},
        // Hot threshold 400 / 3 * 1.5 = 200 equals the pixel: kept.
        {NoiseFilter::HotCool, {100, 200, 100}, {100, 200, 100}},
        // Threshold 52.5 rounds to 52, so 53 is hot (half up would keep it).
        {NoiseFilter::HotCool, {26, 53, 26}, {26, 26, 26}},
        // (L + R) / 2 halves to even: 3.5 -> 4, 2.5 -> 2.
        {NoiseFilter::HotCool, {3, 100, 4}, {3, 4, 4}},
        {NoiseFilter::HotCool, {2, 100, 3}, {2, 2, 3}},
        // In place: each corrected pixel is the next one's left neighbour.
        {NoiseFilter::HotCool, {10, 100, 10, 100, 10}, {10, 10, 55, 32, 10}},
        // Sums beyond 32 bits: wrapped, they would keep the 0 and flag the second row hot.
        {NoiseFilter::HotCool, {kNearMax, 0, kNearMax}, {kNearMax, kNearMax, kNearMax}},
        {NoiseFilter::HotCool, {kNearMax, kNearMax - 1000, kNearMax}, {kNearMax, kNearMax - 1000, kNearMax}},

        {NoiseFilter::ThreePoint, {1, 2, 4}, {1, 2, 4}},
        // 20/5 = 4, 19/5 = 3.8 -> 4, 17/5 = 3.4 -> 3; two columns kept at each end.
        {NoiseFilter::FivePoint, {1, 2, 3, 4, 10, 0, 0}, {1, 2, 4, 4, 3, 0, 0}},
    };
    for (const RowCase& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.in) + " filter " + std::to_string(static_cast<int>(c.filter)));
        EXPECT_EQ(filtered(c.filter, imageOf(static_cast<int>(c.in.size()), 1, c.in)), c.out);
    }
}

TEST(NoiseFilter, ShadeOffOverTheCross)
{
    // Cross: up 10, down 20, centre 1000, left 30, right 40 (corners 7).
    const Row spike = {7, 10, 7, 30, 1000, 40, 7, 20, 7};
    EXPECT_EQ(filtered(NoiseFilter::ShadeAverage, imageOf(3, 3, spike))[4], 30);  // (20 + 30 + 40) / 3
    // Centre 35: the average is (20 + 35 + 40) / 3 -> 32, the median 35.
    const Row cross = {7, 10, 7, 20, 35, 40, 7, 1000, 7};
    EXPECT_EQ(filtered(NoiseFilter::ShadeAverage, imageOf(3, 3, cross)), (Row{7, 10, 7, 20, 32, 40, 7, 1000, 7}));
    EXPECT_EQ(filtered(NoiseFilter::ShadeMedian, imageOf(3, 3, cross)), cross);

    // A single bright pixel among equal values vanishes; a bright pixel on
    // the border stays and does not leak into its inner neighbour.
    Row flat(25, 50);
    flat[12] = 9000;
    flat[10] = 7000;  // (0, 2)
    Row expect(25, 50);
    expect[10] = 7000;
    EXPECT_EQ(filtered(NoiseFilter::ShadeMedian, imageOf(5, 5, flat)), expect);
}

// Reference filters written plainly from the definitions: std::sort for the
// cross, every output from the unfiltered image, sums in 64 bits. Random
// frames then cover negative and near-limit sums, and 23 rows span more
// than one band of the row-by-row undo copy.
Row reference(NoiseFilter f, const Row& u, int w, int h)
{
    Row out = u;
    auto at = [&](int x, int y) { return std::int64_t{u[static_cast<std::size_t>(y * w + x)]}; };
    auto mean = [](std::int64_t sum, int d) { return static_cast<std::int32_t>(std::llround(static_cast<double>(sum) / d)); };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::int32_t& o = out[static_cast<std::size_t>(y * w + x)];
            if (f == NoiseFilter::ThreePoint && x >= 1 && x <= w - 2)
                o = mean(at(x - 1, y) + at(x, y) + at(x + 1, y), 3);
            if (f == NoiseFilter::FivePoint && x >= 2 && x <= w - 3)
                o = mean(at(x - 2, y) + at(x - 1, y) + at(x, y) + at(x + 1, y) + at(x + 2, y), 5);
            if ((f == NoiseFilter::ShadeAverage || f == NoiseFilter::ShadeMedian) && x >= 1 && x <= w - 2 && y >= 1 &&
                y <= h - 2) {
                std::int64_t v[5] = {at(x, y - 1), at(x, y + 1), at(x, y), at(x - 1, y), at(x + 1, y)};
                std::sort(v, v + 5);
                o = f == NoiseFilter::ShadeMedian ? static_cast<std::int32_t>(v[2]) : mean(v[1] + v[2] + v[3], 3);
            }
        }
    return out;
}

TEST(NoiseFilter, AgreesWithAPlainReferenceOnRandomFrames)
{
    std::mt19937 rng(4404);
    const int w = 37, h = 23;
    for (int trial = 0; trial < 6; ++trial) {
        // Narrow ranges give many ties; the full range tests the sums.
        std::uniform_int_distribution<std::int32_t> narrow(95, 105), full(INT32_MIN, INT32_MAX);
        Row u(static_cast<std::size_t>(w * h));
        for (auto& v : u) v = trial % 2 ? full(rng) : narrow(rng);
        for (NoiseFilter f : {NoiseFilter::ThreePoint, NoiseFilter::FivePoint, NoiseFilter::ShadeAverage,
                              NoiseFilter::ShadeMedian}) {
            SCOPED_TRACE("trial " + std::to_string(trial) + " filter " + std::to_string(static_cast<int>(f)));
            EXPECT_EQ(filtered(f, imageOf(w, h, u)), reference(f, u, w, h));
        }
    }
}

}  // namespace
}  // namespace lv

namespace lv {
namespace {

// The in-place test pixel by pixel with the exact double thresholds, as the
// command defines it.
Row hotCoolReference(Row v, int w, int h)
{
    auto round = [](double x) { return static_cast<std::int32_t>(std::nearbyint(x)); };  // ties to even
    for (int y = 0; y < h; ++y)
        for (int x = 1; x <= w - 2; ++x) {
            std::int32_t* r = &v[static_cast<std::size_t>(y * w)];
            double sum = static_cast<double>(r[x - 1]) + r[x] + r[x + 1];
            if (r[x] > round(sum / 3 * 1.5)) r[x] = round((static_cast<double>(r[x - 1]) + r[x + 1]) / 2);
            sum = static_cast<double>(r[x - 1]) + r[x] + r[x + 1];
            if (r[x] < round(sum / 3 * 0.5)) r[x] = round((static_cast<double>(r[x - 1]) + r[x + 1]) / 2);
        }
    return v;
}

TEST(NoiseFilter, HotCoolMatchesThePixelByPixelTestOnCameraLikeFrames)
{
    // Sky with noise, scattered hot and cold pixels and runs of them, so that
    // blocks of unchanged pixels, corrected neighbours and thresholds met
    // exactly all occur.
    std::mt19937 rng(5);
    for (int trial = 0; trial < 6; ++trial) {
        const int w = 37 + trial * 11, h = 9;
        Row v(static_cast<std::size_t>(w * h));
        for (auto& p : v) {
            const auto r = rng() % 100;
            p = r < 5 ? 4000 + static_cast<std::int32_t>(rng() % 4000)
              : r < 9 ? static_cast<std::int32_t>(rng() % 300)
                      : 1000 + static_cast<std::int32_t>(rng() % 40) - (trial == 5 ? 1100 : 0);
        }
        EXPECT_EQ(filtered(NoiseFilter::HotCool, imageOf(w, h, v)), hotCoolReference(v, w, h)) << trial;
    }
}

}  // namespace
}  // namespace lv

namespace lv {
namespace {

// Frames tall enough to be filtered in two halves at once: every filter
// gives what the plain references give, and the undo copy (its values and
// the extremes a restore sets) is the one a single processor makes.
TEST(NoiseFilter, HalvesFilteredAtOnceMatchTheReferenceAndTheUndoCopy)
{
    std::mt19937 rng(77);
    const int w = 53, h = 301;
    Row v(static_cast<std::size_t>(w * h));
    for (auto& p : v) {
        const auto r = rng() % 100;
        p = r < 5 ? 4000 + static_cast<std::int32_t>(rng() % 4000)
          : r < 9 ? static_cast<std::int32_t>(rng() % 300)
                  : 1000 + static_cast<std::int32_t>(rng() % 40);
    }
    v[static_cast<std::size_t>(150 * w + 7)] = 1 << 29;  // a wide value in the row where the halves meet
    for (NoiseFilter f : {NoiseFilter::HotCool, NoiseFilter::ThreePoint, NoiseFilter::FivePoint,
                          NoiseFilter::ShadeAverage, NoiseFilter::ShadeMedian}) {
        SCOPED_TRACE(static_cast<int>(f));
        const Row expected = f == NoiseFilter::HotCool ? hotCoolReference(v, w, h) : reference(f, v, w, h);
        std::vector<Row> restored;
        std::vector<std::pair<std::int32_t, std::int32_t>> extremes;
        for (const int processors : {1, 2}) {
            setUsableProcessorsForTesting(processors);
            FitsImage img = imageOf(w, h, v);
            UndoBuffer undo;
            ScriptedPlatform platform;
            ASSERT_TRUE(runNoiseFilter(f, img, undo, platform));
            EXPECT_EQ(Row(img.pixels.begin(), img.pixels.end()), expected) << processors;
            undo.restore(img);
            restored.emplace_back(img.pixels.begin(), img.pixels.end());
            extremes.emplace_back(img.minValue, img.maxValue);
        }
        setUsableProcessorsForTesting(0);
        EXPECT_EQ(restored[0], v);
        EXPECT_EQ(restored[1], v);
        EXPECT_EQ(extremes[1], extremes[0]);
    }
}

}  // namespace
}  // namespace lv
