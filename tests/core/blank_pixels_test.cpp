// Blank pixels (NaN and infinities in float data, the BLANK value in
// integer data) from the read through the display, the measurement, the
// processing commands and the undo copy to the file written again.
#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "core/conventions.h"
#include "core/fits_reader.h"
#include "core/fits_writer.h"
#include "core/undo.h"
#include "display/grey_mapping.h"
#include "display/histogram.h"
#include "fits_builder.h"
#include "photometry/measurement.h"
#include "photometry/photometry_run.h"
#include "photometry/positions.h"
#include "processing/corrections.h"
#include "processing/filters.h"
#include "spectrum/intensity_curve.h"

namespace lv {
namespace {

using test::bytes16;
using test::bytes32;
using test::bytes8;
using test::bytesFloat;
using test::card;
using test::simpleFits;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

class BlankPixels : public ::testing::Test {
protected:
    test::TempDir dir;
    FitsImage image;
    AppState state;
    ScriptedPlatform platform;

    int read(const std::string& name, const std::string& bytes)
    {
        const std::string path = dir.file(name);
        test::writeFile(path, bytes);
        platform.shown.clear();
        return readFitsFile(image, state, path, ReadForm::Command, platform);
    }
    std::vector<int> blankIndices() const
    {
        std::vector<int> out;
        for (std::size_t i = 0; i < image.pixels.size(); ++i)
            if (image.isBlank(i)) out.push_back(static_cast<int>(i));
        return out;
    }
};

std::string bytes64(const std::vector<double>& values)
{
    std::string out;
    for (double v : values) {
        const auto u = std::bit_cast<std::uint64_t>(v);
        for (int b = 7; b >= 0; --b) out.push_back(static_cast<char>((u >> (8 * b)) & 0xFF));
    }
    return out;
}

TEST_F(BlankPixels, FloatNanAndInfinitiesAreBlankAndLeftOutOfTheStatistics)
{
    ASSERT_EQ(read("f.fit", simpleFits(-32, 4, 1, {}, bytesFloat({kNaN, 10.0f, -kInf, 21.0f}))), 0);
    EXPECT_EQ(blankIndices(), (std::vector<int>{0, 2}));
    EXPECT_EQ(image.pixels, (std::vector<std::int32_t>{0, 10, 0, 21}));
    EXPECT_EQ(image.minValue, 10);
    EXPECT_EQ(image.maxValue, 21);
    EXPECT_EQ(state.statistics, "max 21 / min 10 / ave 16");  // Int(31 / 2 + 0.5)
    EXPECT_EQ(state.statistics, statisticsLine(image));
    EXPECT_TRUE(platform.shown.empty());

    ASSERT_EQ(read("d.fit", simpleFits(-64, 3, 1, {}, bytes64({kInf, 2.5, std::nan("")}))), 0);
    EXPECT_EQ(blankIndices(), (std::vector<int>{0, 2}));
    EXPECT_EQ(image.at(1, 0), 2);  // halves to even

    // A frame without blanks keeps no mask at all.
    ASSERT_EQ(read("g.fit", simpleFits(-32, 2, 1, {}, bytesFloat({1.0f, 2.0f}))), 0);
    EXPECT_FALSE(image.hasBlanks());
}

TEST_F(BlankPixels, AFrameOfBlanksOnlyOpensBlackWithAMessage)
{
    ASSERT_EQ(read("all.fit", simpleFits(-32, 2, 2, {}, bytesFloat({kNaN, kNaN, kInf, kNaN}))), 0);
    EXPECT_EQ(image.blankCount(), 4);
    EXPECT_EQ(state.statistics, "max 0 / min 0 / ave 0");
    ASSERT_EQ(platform.messageTexts().size(), 1u);
    EXPECT_NE(platform.messageTexts()[0].find("every pixel of this frame is blank"), std::string::npos);
}

// Large frames go through the vector kernels and two threads: blanks at
// chunk edges, at the halves' meeting point and in runs give the same mask
// and the same other values as a value-by-value reading.
TEST_F(BlankPixels, BlanksAnywhereInALargeFrameReadAsValueByValue)
{
    const int w = 1100, h = 1000;
    std::vector<float> f(static_cast<std::size_t>(w * h));
    for (int i = 0; i < w * h; ++i) f[static_cast<std::size_t>(i)] = static_cast<float>(i % 7919) - 3000.5f;
    std::vector<int> blanks = {0, 7, 65535, 65536, 524287, 524288, w * h - 1};
    for (int i = 200000; i < 200000 + 3 * w; ++i) blanks.push_back(i);  // three whole rows
    for (int i = 700000; i < 700000 + 40; i += 2) blanks.push_back(i);  // every other value
    std::sort(blanks.begin(), blanks.end());
    for (std::size_t k = 0; k < blanks.size(); ++k) f[static_cast<std::size_t>(blanks[k])] = k % 2 ? kNaN : -kInf;
    ASSERT_EQ(read("large.fit", simpleFits(-32, w, h, {}, bytesFloat(f))), 0);
    EXPECT_EQ(blankIndices(), blanks);
    long long sum = 0;
    std::int32_t mn = INT32_MAX, mx = INT32_MIN;
    for (int i = 0; i < w * h; ++i) {
        if (std::isnan(f[static_cast<std::size_t>(i)]) || std::isinf(f[static_cast<std::size_t>(i)])) {
            ASSERT_EQ(image.pixels[static_cast<std::size_t>(i)], 0);
            continue;
        }
        const std::int32_t v = *toInt32(f[static_cast<std::size_t>(i)]);
        ASSERT_EQ(image.pixels[static_cast<std::size_t>(i)], v) << i;
        sum += v;
        mn = std::min(mn, v);
        mx = std::max(mx, v);
    }
    EXPECT_EQ(image.minValue, mn);
    EXPECT_EQ(image.maxValue, mx);
    const double mean = static_cast<double>(sum) / static_cast<double>(w * h - static_cast<int>(blanks.size()));
    EXPECT_NE(state.statistics.find("ave" + numberText(intFloor(mean + 0.5))), std::string::npos) << state.statistics;

    // A value beyond 32 bits after blanks in the same chunk is still refused, named where it is.
    f[65540] = 3e9f;
    EXPECT_EQ(read("bad.fit", simpleFits(-32, w, h, {}, bytesFloat(f))), -1);
    ASSERT_EQ(platform.messageTexts().size(), 1u);
    EXPECT_NE(platform.messageTexts()[0].find("column" + numberText(65540 % w) + ", row" + numberText(65540 / w)),
              std::string::npos)
        << platform.messageTexts()[0];
}

TEST_F(BlankPixels, IntegerBlankIsComparedRawBeforeTheScaling)
{
    // 16-bit: BLANK -32768 is raw 0x8000, which BZERO 32768 makes 0.
    ASSERT_EQ(read("i16.fit", simpleFits(16, 4, 1, {card("BZERO", "32768"), card("BLANK", "-32768")},
                                         bytes16({0x8000, 0x8001, 0x0000, 0x8000}))),
              0);
    EXPECT_EQ(blankIndices(), (std::vector<int>{0, 3}));
    EXPECT_EQ(image.pixels, (std::vector<std::int32_t>{0, 1, 32768, 0}));
    EXPECT_EQ(image.minValue, 1);

    ASSERT_EQ(read("i8.fit", simpleFits(8, 3, 1, {card("BLANK", "255")}, bytes8({255, 3, 254}))), 0);
    EXPECT_EQ(blankIndices(), (std::vector<int>{0}));

    ASSERT_EQ(read("i32.fit", simpleFits(32, 3, 1, {card("BLANK", "-2147483648")}, bytes32({0x80000000u, 5, 6}))), 0);
    EXPECT_EQ(blankIndices(), (std::vector<int>{0}));  // raw -2^31 would not fit if it were not blank
    EXPECT_EQ(state.statistics, "max 6 / min 5 / ave 6");

    // A BLANK the data type cannot hold marks nothing.
    ASSERT_EQ(read("o8.fit", simpleFits(8, 2, 1, {card("BLANK", "-1")}, bytes8({255, 0}))), 0);
    EXPECT_FALSE(image.hasBlanks());
    // BLANK in float data means nothing.
    ASSERT_EQ(read("fb.fit", simpleFits(-32, 2, 1, {card("BLANK", "0")}, bytesFloat({0.0f, 1.0f}))), 0);
    EXPECT_FALSE(image.hasBlanks());
}

// Hand-made image: 6 x 5, values 100 + x, the pixel (2, 2) blank.
FitsImage withBlankAt(int bx, int by)
{
    FitsImage img;
    img.allocate(6, 5, 1);
    img.cards = {card("SIMPLE", "T"), card("BITPIX", "16"), card("NAXIS", "2"), card("NAXIS1", "6"),
                 card("NAXIS2", "5"), test::endCard()};
    img.bitpix = 16;
    img.naxis3 = -1;
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) img.at(x, y) = 100 + x;
    img.blanks.assign(img.pixels.size(), 0);
    img.blanks[img.index(bx, by)] = 1;
    img.at(bx, by) = 0;
    img.minValue = 100;
    img.maxValue = 105;
    return img;
}

TEST(BlankDisplay, BlankPixelsAreBlackAndOutOfEveryHistogram)
{
    FitsImage img = withBlankAt(2, 2);
    AppState state;
    state.background = -1000;  // 0 would be drawn light grey
    state.range = 2000;
    const RgbPicture pic = buildPicture(img, state);
    EXPECT_EQ(pic.at(2, 2), rgb(0, 0, 0));
    EXPECT_NE(pic.at(3, 2), rgb(0, 0, 0));
    EXPECT_EQ(pictureColourAt(img, state, 2, 2), rgb(0, 0, 0));
    const auto cells = zoomCells(img, state, 2, 2);
    ASSERT_TRUE(cells);
    EXPECT_EQ((*cells)[10 * kZoomCells + 10], rgb(0, 0, 0));

    long long total = 0;
    for (long long c : levelsHistogram(img)) total += c;
    EXPECT_EQ(total, 29);
    // With 0 inside the levels' range the blank's bin is where it was counted and taken out.
    const std::int32_t realMin = img.minValue;
    img.minValue = -100;
    total = 0;
    for (long long c : levelsHistogram(img)) total += c;
    EXPECT_EQ(total, 29);
    img.minValue = realMin;
    total = 0;
    for (long long c : wholeRangeBins(img)) total += c;
    EXPECT_EQ(total, 29);
    total = 0;
    for (long long c : zoomedBins(img, -50, 200)) total += c;
    EXPECT_EQ(total, 29);  // 0 lies inside this pick, and is still not counted

    // A half turn takes the blank along.
    rotateHalfTurn(img);
    EXPECT_TRUE(img.isBlank(3, 2));
    EXPECT_FALSE(img.isBlank(2, 2));
}

TEST(BlankMeasurement, AStarOverABlankIsNotMeasuredAndTheSkyLeavesBlanksOut)
{
    FitsImage img;
    img.allocate(40, 30, 1);
    std::fill(img.pixels.begin(), img.pixels.end(), 50);
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            img.at(10 + dx, 10 + dy) = 500;
            img.at(25 + dx, 10 + dy) = 400;
            img.at(10 + dx, 20 + dy) = 300;
        }
    img.blanks.assign(img.pixels.size(), 0);
    img.blanks[img.index(26, 11)] = 1;  // inside the variable's aperture
    img.at(26, 11) = 0;
    // Blanks (stored as 0) all over the comparison's sky ring: a median with them would be 0.
    for (int x = 0; x < 40; ++x)
        for (int y = 0; y < 30; ++y) {
            const int d = roundedDistance(x - 10, y - 10);
            if (d >= 5 && d <= 8 && (x + y) % 3 != 0) {
                img.blanks[img.index(x, y)] = 1;
                img.at(x, y) = 0;
            }
        }
    img.minValue = 50;
    img.maxValue = 500;
    PhotometryState ph;
    ph.settings.positionMode = PositionMode::Fixed;
    ph.settings.apertureShape = ApertureShape::Circle;
    ph.settings.apertureSize = 1;
    ph.settings.skyInner = 5;
    ph.settings.skyOuter = 8;
    setStarPosition(ph, kComparison, {10, 10});
    setStarPosition(ph, kVariable, {25, 10});
    setStarPosition(ph, kCheck, {10, 20});

    const auto samples = skySamples(img, ph, kComparison);
    EXPECT_FALSE(samples.empty());
    EXPECT_TRUE(std::all_of(samples.begin(), samples.end(), [](std::int32_t v) { return v == 50; }));

    ScriptedPlatform platform;
    const PhotometryOutcome out = runPhotometry(img, ph, false, platform);
    EXPECT_FALSE(out.allMeasured);
    ASSERT_TRUE(out.magnitudes[0]);
    EXPECT_DOUBLE_EQ(*out.magnitudes[0], roundMagnitude(20.0 - 2.511886432 * std::log10(9 * 450.0), ph.settings.digits));
    EXPECT_FALSE(out.magnitudes[1]);
    EXPECT_TRUE(out.magnitudes[2]);
    ASSERT_EQ(platform.messageTexts().size(), 1u);
    EXPECT_EQ(platform.messageTexts()[0],
              "The aperture of the variable star holds a blank pixel, so the star was not measured");
}

TEST(BlankProcessing, CommandsLeaveBlanksBlankAndOutOfTheExtremes)
{
    AppState state;
    UndoBuffer undo;
    FitsImage img = withBlankAt(2, 2);
    calculate(img, undo, state, Calculation::Addition, 50, false);
    EXPECT_TRUE(img.isBlank(2, 2));
    EXPECT_EQ(img.at(2, 2), 0);
    EXPECT_EQ(img.minValue, 150);
    EXPECT_EQ(img.maxValue, 155);
    undo.restore(img);
    EXPECT_TRUE(img.isBlank(2, 2));
    EXPECT_EQ(img.at(3, 2), 103);

    ScriptedPlatform platform;
    img = withBlankAt(2, 2);
    ASSERT_TRUE(runNoiseFilter(NoiseFilter::ThreePoint, img, undo, platform));
    EXPECT_TRUE(img.isBlank(2, 2));
    EXPECT_EQ(img.at(2, 2), 0);
    EXPECT_EQ(img.blankCount(), 1);

    // Binning: a column whose zones hold a blank is blank over the zones.
    img = withBlankAt(2, 2);
    BinZones zones{};
    zones[0] = {1, 3};
    ASSERT_TRUE(binImage(img, undo, zones, platform, {}));
    for (int y = 1; y <= 3; ++y) EXPECT_TRUE(img.isBlank(2, y)) << y;
    EXPECT_FALSE(img.isBlank(2, 0));
    EXPECT_EQ(img.at(3, 1), 3 * 103);
    // The undo copy brings back the one blank pixel it held.
    undo.restore(img);
    EXPECT_EQ(img.blankCount(), 1);
    EXPECT_TRUE(img.isBlank(2, 2));

    // A bow shift moves the blank with its row.
    img = withBlankAt(2, 2);
    applyBow(img, {{2, 2.0}});
    img.settleBlanks();
    EXPECT_TRUE(img.isBlank(4, 2));
    EXPECT_FALSE(img.isBlank(2, 2));
    EXPECT_EQ(img.blankCount(), 1);
}

TEST(BlankWriting, BlanksGoBackAsABlankValueThatNoPixelHas)
{
    test::TempDir dir;
    AppState state;
    ScriptedPlatform platform;
    for (int bitpix : {16, 32}) {
        FitsImage img = withBlankAt(2, 2);
        img.at(0, 0) = 0;  // a real 0: the 16-bit mark must be another raw value
        // A BLANK record of the file it came from is not kept.
        img.cards.insert(img.cards.end() - 1, card("BLANK", "-32768"));
        const std::string path = dir.file("out" + std::to_string(bitpix) + ".fit");
        std::string error;
        ASSERT_TRUE(writeFitsFile(img, path, bitpix, error)) << error;
        int blankRecords = 0;
        for (const HeaderCard& c : img.cards) blankRecords += cardKeyword(c) == "BLANK   ";
        EXPECT_EQ(blankRecords, 1);
        FitsImage back;
        ASSERT_EQ(readFitsFile(back, state, path, ReadForm::Command, platform), 0)
            << bitpix << " " << (platform.messageTexts().empty() ? "" : platform.messageTexts().back());
        EXPECT_EQ(back.blankCount(), 1) << bitpix;
        EXPECT_TRUE(back.isBlank(2, 2)) << bitpix;
        EXPECT_EQ(back.at(0, 0), 0) << bitpix;
        EXPECT_EQ(back.at(5, 4), 105) << bitpix;
    }
    // 8-bit data cannot mark them: written as 0, and the writer says so.
    FitsImage img = withBlankAt(2, 2);
    std::string error, notice;
    const std::string path = dir.file("out8.fit");
    ASSERT_TRUE(writeFitsFile(img, path, 8, error, &notice));
    EXPECT_NE(notice.find("written as 0"), std::string::npos);
    EXPECT_FALSE(img.hasBlanks());
    FitsImage back;
    ASSERT_EQ(readFitsFile(back, state, path, ReadForm::Command, platform), 0);
    EXPECT_FALSE(back.hasBlanks());

    // A frame in which every 16-bit value is taken cannot mark its blanks in 16 bits.
    FitsImage full;
    full.allocate(256, 257, 1);
    full.cards = {test::rawCard("SIMPLE  =                    T"), test::endCard()};
    for (int i = 0; i < 65536; ++i) full.pixels[static_cast<std::size_t>(i)] = i;
    full.blanks.assign(full.pixels.size(), 0);
    full.blanks.back() = 1;
    EXPECT_FALSE(writeFitsFile(full, dir.file("full.fit"), 16, error));
    EXPECT_NE(error.find("32-bit"), std::string::npos);
    EXPECT_TRUE(writeFitsFile(full, dir.file("full.fit"), 32, error)) << error;
}

}  // namespace
}  // namespace lv
