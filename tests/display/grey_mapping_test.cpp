#include "display/grey_mapping.h"

#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "display/histogram.h"

namespace lv {
namespace {

FitsImage imageOf(int w, int h, const std::vector<std::int32_t>& values, int planes = 1)
{
    FitsImage img;
    img.allocate(w, h, planes);
    img.naxis3 = planes == 3 ? 3 : -1;
    img.pixels.assign(values.begin(), values.end());
    img.minValue = *std::min_element(values.begin(), values.end());
    img.maxValue = *std::max_element(values.begin(), values.end());
    img.cards = {std::string(80, ' ')};
    return img;
}

TEST(GreyMapping, LevelsFromBackgroundAndRange)
{
    EXPECT_EQ(greyLevel(100, 100, 200), 0);
    EXPECT_EQ(greyLevel(200, 100, 200), 128);
    EXPECT_EQ(greyLevel(300, 100, 200), 255);
    EXPECT_EQ(greyLevel(5000, 100, 200), 255);
    EXPECT_EQ(greyLevel(99, 100, 200), 0);
    for (int v = 0; v <= 255; ++v) EXPECT_EQ(greyLevel(v, 0, 256), v);
    // A typed range of 0 never divides by zero.
    EXPECT_EQ(greyLevel(101, 100, 0), 255);
    EXPECT_EQ(greyLevel(100, 100, 0), 0);
    EXPECT_EQ(greyLevel(-7, 100, 0), 0);
    // A negative range inverts the picture.
    EXPECT_EQ(greyLevel(0, 100, -200), 128);
}

TEST(GreyMapping, TableGivesExactlyTheFormula)
{
    std::mt19937 gen(7);
    const std::pair<std::int32_t, std::int32_t> levels[] = {
        {1000, 3000}, {0, 1}, {-50, 7}, {65000, 65535}, {2147483000, 1000}, {-2147483647, 5000}, {500, -300},
        {0, 100000000}, {12345, 0}};
    for (const auto& [bg, range] : levels) {
        const GreyMapper map(bg, range);
        const long long reach = std::llabs(static_cast<long long>(range)) * 3 / 2 + 10;
        std::uniform_int_distribution<std::int32_t> near(
            static_cast<std::int32_t>(std::max<long long>(INT32_MIN, bg - reach)),
            static_cast<std::int32_t>(std::min<long long>(INT32_MAX, bg + reach)));
        std::uniform_int_distribution<std::int32_t> any(INT32_MIN, INT32_MAX);
        for (int i = 0; i < 20000; ++i) {
            const std::int32_t v = i % 4 == 0 ? any(gen) : near(gen);
            ASSERT_EQ(map(v), greyLevel(v, bg, range)) << v << " bg " << bg << " range " << range;
        }
    }
}

TEST(Picture, FullHalfColourAndLine)
{
    AppState state;
    state.background = 0;
    state.range = 256;
    FitsImage img = imageOf(4, 4, {0, 1, 2, 3, 10, 11, 12, 13, 20, 21, 22, 23, 30, 31, 32, 33});
    RgbPicture full = buildPicture(img, state);
    ASSERT_EQ(full.width, 4);
    EXPECT_EQ(full.at(2, 1), greyRgb(12));
    EXPECT_EQ(full.at(3, 3), greyRgb(33));

    state.displayScale = 2;
    RgbPicture half = buildPicture(img, state);
    ASSERT_EQ(half.width, 2);
    ASSERT_EQ(half.height, 2);
    EXPECT_EQ(half.at(0, 0), greyRgb(11));  // odd x, odd y of each block
    EXPECT_EQ(half.at(1, 0), greyRgb(13));
    EXPECT_EQ(half.at(0, 1), greyRgb(31));
    EXPECT_EQ(half.at(1, 1), greyRgb(33));

    // Odd sizes: the last block holds only the last column or row.
    FitsImage odd = imageOf(5, 3, {0, 1, 2, 3, 4, 10, 11, 12, 13, 14, 20, 21, 22, 23, 24});
    RgbPicture oddHalf = buildPicture(odd, state);
    ASSERT_EQ(oddHalf.width, 3);
    ASSERT_EQ(oddHalf.height, 2);
    EXPECT_EQ(oddHalf.at(2, 0), greyRgb(14));
    EXPECT_EQ(oddHalf.at(2, 1), greyRgb(24));
    EXPECT_EQ(oddHalf.at(0, 1), greyRgb(21));

    state.displayScale = 1;
    FitsImage colour = imageOf(2, 1, {10, 20, 30, 40, 50, 60}, 3);
    RgbPicture c = buildPicture(colour, state);
    EXPECT_EQ(c.at(0, 0), rgb(10, 30, 50));
    EXPECT_EQ(c.at(1, 0), rgb(20, 40, 60));

    state.lineDisplay = true;
    RgbPicture lined = buildPicture(img, state);
    EXPECT_EQ(state.lineRow, 2);
    for (int x = 0; x < 4; ++x) EXPECT_EQ(lined.at(x, 2), kMarkerGreen);
    EXPECT_EQ(lined.at(0, 1), greyRgb(10));
}

TEST(AutoLevels, EdgesOfTheSmoothedPeak)
{
    // Bin = value for minValue 0 and maxValue 300: a peak of 1000 at 100.
    std::vector<std::int32_t> v(1000, 100);
    v.push_back(0);
    v.push_back(300);
    FitsImage img = imageOf(1002, 1, v);
    AppState state;
    ASSERT_TRUE(autoLevels(img, state));
    // s[97] and s[103] are the first below a tenth of the peak's.
    EXPECT_EQ(state.background, 97);
    EXPECT_EQ(state.range, 6);

    state.duskyPicture = true;
    ASSERT_TRUE(autoLevels(img, state));
    EXPECT_EQ(state.range, 60);
    EXPECT_EQ(state.background, 146);  // 145.5 to the even neighbour
}

TEST(AutoLevels, HistogramAgreesWithTheFormulaValueByValue)
{
    std::mt19937 gen(99);
    for (const auto& [lo, hi] : std::vector<std::pair<int, int>>{{0, 300}, {-500, 70000}, {1000, 1007}, {-2000000000, 2000000000}}) {
        std::uniform_int_distribution<std::int32_t> d(lo, hi);
        std::vector<std::int32_t> v(20000);
        for (auto& x : v) x = d(gen);
        FitsImage img = imageOf(200, 100, v);
        img.maxValue -= 3;  // values above the maximum (dusky picture) are left out
        std::array<long long, 301> expected{};
        const double width = (static_cast<double>(img.maxValue) - img.minValue) / 300.0;
        for (std::int32_t x : v) {
            const double bin = std::floor((x - static_cast<double>(img.minValue)) / width + 0.5);
            if (bin >= 0 && bin <= 300) ++expected[static_cast<std::size_t>(bin)];
        }
        EXPECT_EQ(levelsHistogram(img), expected) << lo << " ... " << hi;
    }
}

TEST(AutoLevels, SkyInTheLowestBinsStillGetsLevels)
{
    // Sky at the minimum and one bright star: the peak is bin 0.
    std::vector<std::int32_t> v(1000, 1010);
    for (int i = 0; i < 200; ++i) v[static_cast<std::size_t>(i)] = 1000;
    v.push_back(31000);  // bin 300; bins are 100 wide
    FitsImage img = imageOf(1001, 1, v);
    AppState state;
    ASSERT_TRUE(autoLevels(img, state));
    EXPECT_EQ(state.background, 1000);  // no edge below the peak: the minimum
    EXPECT_EQ(state.range, 300);        // s[3] is the first below a tenth: level 1300
}

TEST(AutoLevels, ConstantImageKeepsTheLevels)
{
    FitsImage img = imageOf(3, 3, std::vector<std::int32_t>(9, 42));
    AppState state;
    state.background = 10;
    state.range = 0;
    ASSERT_TRUE(autoLevels(img, state));
    EXPECT_EQ(state.background, 10);
    EXPECT_EQ(state.range, 1);  // only the lower bound applies

    state.range = 50;
    state.background = 200;
    state.duskyPicture = true;
    autoLevels(img, state);
    EXPECT_EQ(state.background, 300);
    EXPECT_EQ(state.range, 500);

    FitsImage none;
    EXPECT_FALSE(autoLevels(none, state));
}

TEST(Rotation, HalfTurnInPlace)
{
    FitsImage row = imageOf(3, 1, {1, 2, 3});
    rotateHalfTurn(row);
    EXPECT_EQ(row.pixels, (std::vector<std::int32_t>{3, 2, 1}));
    rotateHalfTurn(row);
    EXPECT_EQ(row.pixels, (std::vector<std::int32_t>{1, 2, 3}));
    FitsImage sq = imageOf(2, 3, {1, 2, 3, 4, 5, 6});
    rotateHalfTurn(sq);
    EXPECT_EQ(sq.at(0, 0), 6);
    EXPECT_EQ(sq.at(1, 2), 1);
    EXPECT_EQ(sq.at(0, 1), 4);
}

TEST(Zoom, CellsAroundThePointer)
{
    std::vector<std::int32_t> v(30 * 20);
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = static_cast<std::int32_t>(i % 256);
    FitsImage img = imageOf(30, 20, v);
    AppState state;
    state.range = 256;
    const auto cells = zoomCells(img, state, 2, 3);
    ASSERT_TRUE(cells);
    EXPECT_EQ((*cells)[10 * 21 + 10], greyRgb(img.at(2, 3)));  // centre
    EXPECT_EQ((*cells)[(10 + 1) * 21 + (10 + 4)], greyRgb(img.at(6, 4)));
    EXPECT_FALSE((*cells)[10 * 21 + 0]);  // x = -8 lies outside
    EXPECT_TRUE(zoomCells(img, state, 30, 20));  // the far edge still paints
    EXPECT_FALSE(zoomCells(img, state, 31, 0));
    EXPECT_FALSE(zoomCells(img, state, -1, 0));
}

TEST(Histogram, BinsAndPickedValues)
{
    FitsImage img = imageOf(4, 1, {0, 1500, 1505, 3000});
    const auto bins = wholeRangeBins(img);
    EXPECT_EQ(bins[0], 1);
    EXPECT_EQ(bins[150], 1);
    EXPECT_EQ(bins[151], 1);  // 150.5 rounds up
    EXPECT_EQ(bins[299], 1);  // 300 is counted in 299
    EXPECT_EQ(tallestBar(bins), 1);
    EXPECT_EQ(wholeRangeValueAt(150, img), 1500);
    EXPECT_EQ(zoomedValueAt(150, 1000, 1000), 1500);
    EXPECT_EQ(zoomedValueAt(1, 0, 150), 0);  // 0.5 to the even neighbour

    const auto zoomed = zoomedBins(img, 1000, 1000);
    EXPECT_EQ(zoomed[150], 1);
    EXPECT_EQ(zoomed[152], 1);  // 151.5 to 152
    EXPECT_EQ(zoomed[0], 0);    // 0 and 3000 fall outside the pick
    EXPECT_EQ(tallestBar(zoomedBins(img, 0, 0)), 0);
    EXPECT_EQ(tallestBar(wholeRangeBins(imageOf(2, 1, {5, 5}))), 0);
}

}  // namespace
}  // namespace lv
