#include "processing/calibration.h"

#include <limits>
#include <random>

#include <gtest/gtest.h>

#include "core/conventions.h"
#include "core/fits_reader.h"
#include "fits_builder.h"
#include "core/undo.h"

namespace lv {
namespace {

using test::card;

FitsImage imageOf(int w, int h, const std::vector<std::int32_t>& values)
{
    FitsImage img;
    img.allocate(w, h, 1);
    img.pixels.assign(values.begin(), values.end());
    img.bitpix = 16;
    return img;
}

// A 16-bit file of raw (unsigned, as stored) values.
std::string fits16(int w, int h, const std::vector<std::uint16_t>& raw, const std::vector<std::string>& extra = {})
{
    return test::simpleFits(16, w, h, extra, test::bytes16(raw));
}

// Raw 16-bit word of a camera frame (BZERO 32768) for a physical value.
std::uint16_t cameraWord(int physical) { return static_cast<std::uint16_t>((physical - 32768) & 0xFFFF); }

// A header of the given records and END, then `data`.
std::string fitsOf(const std::vector<std::string>& cards, const std::string& data)
{
    std::vector<std::string> all = cards;
    all.push_back(test::endCard());
    return test::headerBlock(all) + data;
}

struct Single {
    test::TempDir dir;
    ScriptedPlatform platform;
    UndoBuffer undo;
    CalibrationFrame frame;

    // Writes `file` and calibrates `image` with it.
    bool run(FitsImage& image, CalibrationKind kind, const std::string& file, bool minus = false, int bzeroSign = 1)
    {
        const std::string path = dir.file(kind == CalibrationKind::Dark ? "dark.fit" : "flat.fit");
        test::writeFile(path, file);
        SingleCalibration s;
        s.kind = kind;
        s.path = path;
        s.minusUsed = minus;
        s.bzeroSign = bzeroSign;
        return calibrateImage(image, undo, frame, s, platform);
    }
};

// ---- single-frame dark and flat -------------------------------------------------

TEST(DarkSubtract, ResultsBelowZeroAreKeptOnlyWithTheMinus)
{
    Single s;
    FitsImage img = imageOf(2, 1, {100, 100});
    ASSERT_TRUE(s.run(img, CalibrationKind::Dark, fits16(2, 1, {120, 30})));
    EXPECT_EQ(img.pixels, (std::vector<std::int32_t>{0, 70}));
    EXPECT_EQ(img.maxValue, 70);
    EXPECT_EQ(img.minValue, 0);

    FitsImage minus = imageOf(2, 1, {100, 100});
    ASSERT_TRUE(s.run(minus, CalibrationKind::Dark, fits16(2, 1, {120, 30}), true));
    EXPECT_EQ(minus.pixels, (std::vector<std::int32_t>{-20, 70}));
    EXPECT_EQ(minus.minValue, -20);
    EXPECT_TRUE(s.platform.shown.empty());
}

TEST(DarkSubtract, UntickedBoxSubtractsBzeroAndTheSixteenBitResultWraps)
{
    Single s;
    // Stored 100 (physical 32868) and stored -32668 (read as 32868, physical 100).
    FitsImage img = imageOf(2, 1, {40000, 40000});
    ASSERT_TRUE(s.run(img, CalibrationKind::Dark, fits16(2, 1, {100, 32868}, {card("BZERO", "32768")}), false, -1));
    EXPECT_EQ(img.pixels, (std::vector<std::int32_t>{7132, 39900}));
}

TEST(DarkSubtract, CameraDarkWithTheBoxTickedGivesThePhysicalDifference)
{
    Single s;
    FitsImage img = imageOf(3, 1, {40100, 50000, 4000});
    const std::string dark = fits16(3, 1, {cameraWord(100), cameraWord(40000), cameraWord(5000)},
                                    {card("BZERO", "32768"), card("BSCALE", "1")});
    ASSERT_TRUE(s.run(img, CalibrationKind::Dark, dark));
    EXPECT_EQ(s.frame.values, (std::vector<std::int32_t>{100, 40000, 5000}));
    EXPECT_EQ(img.pixels, (std::vector<std::int32_t>{40000, 10000, 0}));
}

TEST(DarkSubtract, TheDifferenceIsRoundedNotTheDarkValue)
{
    Single s;
    // BZERO 0.5: dark values 2.5 and 3.5; 11 - 2.5 = 8.5 gives 8, 11 - 3.5 = 7.5 gives 8.
    FitsImage img = imageOf(2, 1, {11, 11});
    ASSERT_TRUE(s.run(img, CalibrationKind::Dark, fits16(2, 1, {2, 3}, {card("BZERO", "0.5")})));
    EXPECT_EQ(img.pixels, (std::vector<std::int32_t>{8, 8}));
}

TEST(DarkSubtract, EightBitValuesAndResultsWrapOnceAt256)
{
    Single s;
    // BZERO 200: 200 + 100 = 300 wraps to 44; 200 + 10 = 210 stays.
    FitsImage img = imageOf(2, 1, {100, 1000});
    ASSERT_TRUE(s.run(img, CalibrationKind::Dark, test::simpleFits(8, 2, 1, {card("BZERO", "200")}, test::bytes8({100, 10}))));
    EXPECT_EQ(s.frame.values, (std::vector<std::int32_t>{44, 210}));
    // 100 - 44 = 56; 1000 - 210 = 790, which the 8-bit rule brings to 534.
    EXPECT_EQ(img.pixels, (std::vector<std::int32_t>{56, 534}));
}

TEST(DarkSubtract, OnlyThePositionsBothShareChange)
{
    Single s;
    FitsImage img = imageOf(3, 2, {50, 60, 70, 80, 90, 100});
    ASSERT_TRUE(s.run(img, CalibrationKind::Dark, fits16(2, 1, {10, 10})));
    EXPECT_EQ(img.pixels, (std::vector<std::int32_t>{40, 50, 70, 80, 90, 100}));
    // The extremes are those of the values written.
    EXPECT_EQ(img.maxValue, 50);
    EXPECT_EQ(img.minValue, 40);

    // A dark larger than the image reaches no position outside it.
    FitsImage small = imageOf(2, 2, {5, 6, 7, 8});
    std::vector<std::uint16_t> big(4 * 3, 1);
    ASSERT_TRUE(s.run(small, CalibrationKind::Dark, fits16(4, 3, big)));
    EXPECT_EQ(small.pixels, (std::vector<std::int32_t>{4, 5, 6, 7}));
}

TEST(FlatField, DividesByTheFlatAndScalesByItsMeanOverTheImage)
{
    Single s;
    FitsImage uniform = imageOf(3, 2, {0, 1, 700, 12345, 65535, 3});
    const PixelVector before = uniform.pixels;
    ASSERT_TRUE(s.run(uniform, CalibrationKind::Flat, fits16(3, 2, std::vector<std::uint16_t>(6, 500))));
    EXPECT_EQ(uniform.pixels, before);

    // Mean 3: 5/4*3 = 3.75, 3/2*3 = 4.5, 5/2*3 = 7.5, 2/4*3 = 1.5; halves go to even.
    FitsImage halves = imageOf(4, 1, {5, 3, 5, 2});
    ASSERT_TRUE(s.run(halves, CalibrationKind::Flat, fits16(4, 1, {4, 2, 2, 4})));
    EXPECT_EQ(halves.pixels, (std::vector<std::int32_t>{4, 4, 8, 2}));

    // The flat's sum over the image's size: 400 / 4 / 2 = 50, so 300 / 100 * 50;
    // the columns the flat does not cover keep their values.
    FitsImage wide = imageOf(4, 2, {300, 300, 300, 300, 300, 300, 300, 300});
    ASSERT_TRUE(s.run(wide, CalibrationKind::Flat, fits16(2, 2, {100, 100, 100, 100})));
    EXPECT_EQ(wide.pixels, (std::vector<std::int32_t>{150, 150, 300, 300, 150, 150, 300, 300}));
}

TEST(FlatField, LargeResultsAreLimitedAndAZeroFlatLeavesThePixel)
{
    Single s;
    // Sum 4000 over two pixels: mean 2000; 2000000 / 1 * 2000 passes 2^31 - 1.
    FitsImage img = imageOf(2, 1, {2000000, 3999});
    ASSERT_TRUE(s.run(img, CalibrationKind::Flat, fits16(2, 1, {1, 3999})));
    EXPECT_EQ(img.pixels, (std::vector<std::int32_t>{2147483647, 2000}));
    EXPECT_EQ(img.maxValue, 2147483647);

    // Unticked with BZERO 100: 300 - 100 = 200, 100 - 100 = 0, 50 - 100 stored as 0.
    // Sum 200 over 3 pixels: mean 67. Both zeros leave their pixels.
    FitsImage zeros = imageOf(3, 1, {400, 77, 88});
    ASSERT_TRUE(s.run(zeros, CalibrationKind::Flat, fits16(3, 1, {300, 100, 50}, {card("BZERO", "100")}), false, -1));
    EXPECT_EQ(zeros.pixels, (std::vector<std::int32_t>{134, 77, 88}));
}

TEST(FlatField, FloatFlatsAreRoundedHalvesToEven)
{
    Single s;
    // 2.5 -> 2 and 5.5 -> 6: sum 8, mean 4.
    FitsImage img = imageOf(2, 1, {10, 30});
    ASSERT_TRUE(s.run(img, CalibrationKind::Flat, test::simpleFits(-32, 2, 1, {}, test::bytesFloat({2.5f, 5.5f}))));
    EXPECT_EQ(s.frame.values, (std::vector<std::int32_t>{2, 6}));
    EXPECT_EQ(img.pixels, (std::vector<std::int32_t>{20, 20}));
}

TEST(FlatField, TheSumOfABrightFlatDoesNotWrap)
{
    // 40000 values of 60000 sum to 2.4e9, past 2^31.
    constexpr int kSide = 200;
    Single s;
    FitsImage img = imageOf(kSide, kSide, std::vector<std::int32_t>(kSide * kSide, 1000));
    ASSERT_TRUE(s.run(img, CalibrationKind::Flat, fits16(kSide, kSide, std::vector<std::uint16_t>(kSide * kSide, 60000))));
    EXPECT_EQ(s.frame.sum, 2400000000LL);
    EXPECT_EQ(img.pixels, std::vector<std::int32_t>(kSide * kSide, 1000));
}

// ---- refusals ---------------------------------------------------------------------

std::vector<std::string> standardCards(int bitpix, int w, int h)
{
    return {card("SIMPLE", "T"), card("BITPIX", std::to_string(bitpix)), card("NAXIS", "2"),
            card("NAXIS1", std::to_string(w)), card("NAXIS2", std::to_string(h))};
}

// The continuous flat division against its per-pixel rule, on random rows
// that take the double-arithmetic path and rows that do not: every pixel
// the same, halves, zero flats and the 32-bit limit included.
TEST(FlatField, ContinuousDivisionMatchesThePerPixelRule)
{
    std::mt19937 gen(4);
    for (const std::int32_t mean : {0, 1, 3, 32768, 65535, (1 << 25) - 1, 1 << 25, 2000000000}) {
        const int w = 257, h = 6;
        FitsImage img;
        img.allocate(w, h, 1);
        CalibrationFrame flat;
        flat.naxis1 = w;
        flat.naxis2 = h;
        flat.values.resize(static_cast<std::size_t>(w * h));
        std::uniform_int_distribution<std::int32_t> small(-40, 70000), any(INT32_MIN, INT32_MAX), flatValue(0, 70000);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                // Row 3 holds one value beyond the narrow range, row 4 is all wide values.
                const bool wide = y == 4 || (y == 3 && x == 100);
                img.at(x, y) = wide ? any(gen) : small(gen);
                flat.values[static_cast<std::size_t>(y * w + x)] = x % 17 == 0 ? 0 : x % 5 == 0 ? 2 * (x % 3 + 1) : flatValue(gen);
            }
        img.at(0, 0) = (1 << 25) - 1;
        img.at(1, 0) = 3;  // with a flat of 2 and an odd mean: a half, rounded to even
        flat.values[1] = 2;
        std::vector<std::int32_t> expected(img.pixels.begin(), img.pixels.end());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const std::int32_t f = flat.values[i];
            if (f == 0) continue;
            const double r = roundHalfEven(static_cast<double>(static_cast<std::int64_t>(expected[i]) * mean) / f);
            expected[i] = r < 0 ? 0 : toInt32Saturated(r);
        }
        divideByFlat(img, flat, mean);
        for (std::size_t i = 0; i < expected.size(); ++i)
            ASSERT_EQ(img.pixels[i], expected[i]) << "mean " << mean << " value " << i;
    }
}

TEST(CalibrationFile, HeaderErrorsInBothMessageForms)
{
    struct Case {
        std::vector<std::string> cards;
        CalibrationKind kind;
        const char* single;
        const char* continuous;
    };
    const std::string data = test::bytes16({1, 2});
    const std::vector<Case> cases = {
        {{card("SIMPLE", "T"), card("NAXIS", "2"), card("NAXIS1", "2"), card("NAXIS2", "1")}, CalibrationKind::Dark,
         "BITPIX error", "dark frameBITPIX error"},
        // No BITPIX and no NAXIS2: the BITPIX check comes first.
        {{card("SIMPLE", "T"), card("NAXIS1", "2")}, CalibrationKind::Flat, "BITPIX error", "flat fieldBITPIX error"},
        {standardCards(12, 2, 1), CalibrationKind::Dark, "BITPIX error : BITPIX = 12",
         "dark frameBITPIX error : BITPIX = 12"},
        {{card("SIMPLE", "T"), card("BITPIX", "16"), card("NAXIS2", "1")}, CalibrationKind::Flat, "NAXIS1 error",
         "flat fieldNAXIS1 error"},
        {{card("SIMPLE", "T"), card("BITPIX", "16"), card("NAXIS1", "2")}, CalibrationKind::Dark, "NAXIS2 error",
         "dark frameNAXIS2 error"},
    };
    test::TempDir dir;
    const std::string path = dir.file("cal.fit");
    for (const Case& c : cases) {
        test::writeFile(path, fitsOf(c.cards, data));
        for (const CalibrationForm form : {CalibrationForm::Single, CalibrationForm::Continuous}) {
            ScriptedPlatform platform;
            CalibrationFrame frame;
            frame.values = {42};
            EXPECT_FALSE(readCalibrationFile(path, c.kind, form, 1, frame, platform));
            const char* expected = form == CalibrationForm::Single ? c.single : c.continuous;
            EXPECT_EQ(platform.messageTexts(), std::vector<std::string>{expected});
            EXPECT_EQ(frame.values, std::vector<std::int32_t>{42});
        }
    }

    // Only the single-frame form takes BITPIX by its absolute value.
    test::writeFile(path, test::simpleFits(-16, 2, 1, {}, data));
    ScriptedPlatform platform;
    CalibrationFrame frame;
    EXPECT_TRUE(readCalibrationFile(path, CalibrationKind::Dark, CalibrationForm::Single, 1, frame, platform));
    EXPECT_EQ(frame.values, (std::vector<std::int32_t>{1, 2}));
    test::writeFile(path, test::simpleFits(-32, 1, 1, {}, test::bytesFloat({1.0f})));
    EXPECT_FALSE(readCalibrationFile(path, CalibrationKind::Flat, CalibrationForm::Continuous, 1, frame, platform));
    EXPECT_EQ(platform.messageTexts(), std::vector<std::string>{"flat fieldBITPIX error : BITPIX =-32"});
}

TEST(CalibrationFile, WhatTheModelCannotHoldIsRefusedWithTheFileNamed)
{
    std::vector<std::string> longHeader = standardCards(16, 1, 1);
    for (int i = 0; i < 994; ++i) longHeader.push_back(test::rawCard("COMMENT filler"));
    // END is then record 1000: still read.
    const std::string endAt1000 = fitsOf(longHeader, test::bytes16({7}));
    longHeader.push_back(test::rawCard("COMMENT one more"));
    const std::string endAt1001 = fitsOf(longHeader, test::bytes16({7}));

    const std::vector<std::pair<std::string, std::string>> refused = {
        {"short", test::simpleFits(16, 2, 2, {}, test::bytes16({1, 2, 3}))},
        {"raw 2^31", test::simpleFits(32, 2, 1, {}, test::bytes32({5, 0x80000000u}))},
        {"END after 1000 records", endAt1001},
        {"no END", test::headerBlock(standardCards(16, 1, 1)) + test::bytes16({7})},
        {"NAXIS1 3074", test::simpleFits(8, 3074, 1, {}, std::string(3074, '\1'))},
    };
    test::TempDir dir;
    const std::string path = dir.file("cal.fit");
    for (const auto& [what, bytes] : refused) {
        test::writeFile(path, bytes);
        ScriptedPlatform platform;
        CalibrationFrame frame;
        frame.values = {42};
        EXPECT_FALSE(readCalibrationFile(path, CalibrationKind::Dark, CalibrationForm::Single, 1, frame, platform)) << what;
        ASSERT_EQ(platform.messageTexts().size(), 1u) << what;
        EXPECT_NE(platform.messageTexts()[0].find(path), std::string::npos) << what;
        EXPECT_EQ(frame.values, std::vector<std::int32_t>{42}) << what;
    }

    ScriptedPlatform platform;
    CalibrationFrame frame;
    EXPECT_FALSE(readCalibrationFile(dir.file("missing.fit"), CalibrationKind::Flat, CalibrationForm::Continuous, 1,
                                     frame, platform));
    ASSERT_EQ(platform.messageTexts().size(), 1u);
    EXPECT_NE(platform.messageTexts()[0].find(dir.file("missing.fit")), std::string::npos);

    // The largest values the model holds are read.
    test::writeFile(path, endAt1000);
    EXPECT_TRUE(readCalibrationFile(path, CalibrationKind::Dark, CalibrationForm::Single, 1, frame, platform));
    EXPECT_EQ(frame.values, std::vector<std::int32_t>{7});
    test::writeFile(path, test::simpleFits(32, 1, 1, {}, test::bytes32({0x7FFFFFFFu})));
    EXPECT_TRUE(readCalibrationFile(path, CalibrationKind::Dark, CalibrationForm::Single, 1, frame, platform));
    EXPECT_EQ(frame.values, std::vector<std::int32_t>{2147483647});
}

// A frame of millions of 8- or 16-bit values stores each raw value as a
// frame of a few does: every raw value, under scalings that wrap, go below
// 0, round halves or do not fit, in both forms and both kinds.
TEST(CalibrationFile, LargeFramesStoreEveryRawValueAsSmallOnes)
{
    struct Scaling {
        const char* bzero;
        const char* bscale;
        int bzeroSign;
    };
    const Scaling scalings[] = {{"32768", "1", 1}, {"32768", "1", -1}, {"-100.5", "1", 1}, {"0", "2.5", 1},
                                {"0", "70000", 1}};
    test::TempDir dir;
    const std::string path = dir.file("cal.fit");
    constexpr int kColumns = 1024, kRows = 300;  // beyond a frame of 512 x 512
    for (const int bitpix : {8, 16}) {
        const std::size_t raws = std::size_t{1} << bitpix;
        std::string everyRaw;  // each raw value once, in order
        std::string large;     // the raw values in a shuffled cycle
        std::vector<std::size_t> rawAt;
        std::mt19937 rng(static_cast<unsigned>(bitpix));
        for (std::size_t r = 0; r < raws; ++r)
            everyRaw += bitpix == 8 ? std::string(1, static_cast<char>(r))
                                    : std::string{static_cast<char>(r >> 8), static_cast<char>(r & 0xFF)};
        for (std::size_t i = 0; i < std::size_t{kColumns} * kRows; ++i) {
            rawAt.push_back(i < raws ? (i * 7919) % raws : rng() % raws);
            large += everyRaw.substr(rawAt.back() * static_cast<std::size_t>(bitpix / 8), static_cast<std::size_t>(bitpix / 8));
        }
        for (const Scaling& sc : scalings)
            for (const CalibrationForm form : {CalibrationForm::Single, CalibrationForm::Continuous})
                for (const CalibrationKind kind : {CalibrationKind::Dark, CalibrationKind::Flat}) {
                    SCOPED_TRACE(std::to_string(bitpix) + " bits, BZERO " + sc.bzero + " x " +
                                 std::to_string(sc.bzeroSign) + ", BSCALE " + sc.bscale);
                    const std::vector<std::string> scale = {card("BZERO", sc.bzero), card("BSCALE", sc.bscale)};
                    const int side = bitpix == 8 ? 16 : 256;
                    ScriptedPlatform smallSaid, largeSaid;
                    CalibrationFrame small, big;
                    test::writeFile(path, test::simpleFits(bitpix, side, side, scale, everyRaw));
                    const bool smallRead = readCalibrationFile(path, kind, form, sc.bzeroSign, small, smallSaid);
                    test::writeFile(path, test::simpleFits(bitpix, kColumns, kRows, scale, large));
                    const bool largeRead = readCalibrationFile(path, kind, form, sc.bzeroSign, big, largeSaid);
                    ASSERT_EQ(smallRead, largeRead);
                    if (!smallRead) {
                        // The first value that does not fit is named where it is.
                        const std::string said = smallSaid.messageTexts().at(0);
                        const std::size_t column = std::stoul(said.substr(said.find("column") + 6));
                        const std::size_t row = std::stoul(said.substr(said.find("row") + 3));
                        const std::size_t firstRaw = row * static_cast<std::size_t>(side) + column;
                        std::size_t at = 0;
                        while (rawAt[at] < firstRaw) ++at;
                        EXPECT_EQ(largeSaid.messageTexts(),
                                  std::vector<std::string>{path + ": the value at column" + numberText(static_cast<std::int64_t>(at % kColumns)) +
                                                           ", row" + numberText(static_cast<std::int64_t>(at / kColumns)) +
                                                           " does not fit in a 32-bit integer"});
                        continue;
                    }
                    long long sum = 0;
                    bool same = true;
                    for (std::size_t i = 0; i < rawAt.size() && same; ++i) {
                        same = big.values[i] == small.values[rawAt[i]] &&
                               (big.exact.empty() ? small.exact.empty() : big.exact[i] == small.exact[rawAt[i]]);
                        EXPECT_TRUE(same) << "value " << i << ", raw " << rawAt[i];
                        sum += big.values[i];
                    }
                    EXPECT_EQ(big.sum, sum);
                    EXPECT_EQ(big.bitpix, small.bitpix);
                }
    }
}

TEST(CalibrationFile, ARefusedFileLeavesTheImageAsItWasAndUndoOffered)
{
    Single s;
    const std::vector<std::int32_t> pixels = {11, 22, 33, 44};
    for (const std::string& bytes : {fitsOf({card("SIMPLE", "T"), card("BITPIX", "16"), card("NAXIS1", "2")},
                                            test::bytes16({1, 2, 3, 4})),
                                     test::simpleFits(16, 2, 2, {}, test::bytes16({1}))}) {
        FitsImage img = imageOf(2, 2, pixels);
        img.maxValue = 44;
        img.minValue = 11;
        const FitsImage before = img;
        s.undo.setAvailable(false);
        EXPECT_FALSE(s.run(img, CalibrationKind::Dark, bytes));
        EXPECT_EQ(img, before);
        EXPECT_TRUE(s.undo.available());
        img.pixels = {0, 0, 0, 0};
        s.undo.restore(img);
        EXPECT_EQ(img.pixels, pixels);
    }
    EXPECT_EQ(s.platform.messageTexts().front(), "NAXIS2 error");
}

// ---- undo -------------------------------------------------------------------------

TEST(Undo, RestoreBringsBackTheExactPixelsOnce)
{
    Single s;
    FitsImage img = imageOf(3, 2, {0, 5, -3, 7, 0, 2});
    const PixelVector before = img.pixels;
    EXPECT_FALSE(s.undo.available());
    ASSERT_TRUE(s.run(img, CalibrationKind::Dark, fits16(3, 2, {1, 1, 1, 1, 1, 1})));
    EXPECT_TRUE(s.undo.available());
    EXPECT_NE(img.pixels, before);
    s.undo.restore(img);
    EXPECT_EQ(img.pixels, before);
    EXPECT_FALSE(s.undo.available());
    // Extremes over the values that are not 0.
    EXPECT_EQ(img.maxValue, 7);
    EXPECT_EQ(img.minValue, -3);

    // The next snapshot replaces the copy.
    img.pixels = {1, 2, 3, 4, 5, 6};
    s.undo.takeSnapshot(img);
    img.pixels = {9, 9, 9, 9, 9, 9};
    s.undo.restore(img);
    EXPECT_EQ(img.pixels, (std::vector<std::int32_t>{1, 2, 3, 4, 5, 6}));

    // The extremes start from -1 and 2147483647 before the first value.
    FitsImage negative = imageOf(2, 1, {-5, -2});
    s.undo.takeSnapshot(negative);
    s.undo.restore(negative);
    EXPECT_EQ(negative.maxValue, -1);
    EXPECT_EQ(negative.minValue, -5);
    FitsImage zeros = imageOf(2, 1, {0, 0});
    s.undo.takeSnapshot(zeros);
    s.undo.restore(zeros);
    EXPECT_EQ(zeros.maxValue, -1);
    EXPECT_EQ(zeros.minValue, std::numeric_limits<std::int32_t>::max());
}

TEST(Undo, RestoreIntoAnImageOfAnotherSizeKeepsPositions)
{
    UndoBuffer undo;
    FitsImage img = imageOf(3, 2, {1, 2, 3, 4, 5, 6});
    undo.takeSnapshot(img);

    // A whole-plane copy puts each value back at its (x, y); the rest of the plane was 0.
    FitsImage larger = imageOf(4, 3, std::vector<std::int32_t>(12, 9));
    undo.restore(larger);
    EXPECT_EQ(larger.pixels, (std::vector<std::int32_t>{1, 2, 3, 0, 4, 5, 6, 0, 0, 0, 0, 0}));
    EXPECT_EQ(larger.maxValue, 6);
    EXPECT_EQ(larger.minValue, 1);

    // Values outside a smaller image still count for the extremes, as every slot was copied.
    undo.takeSnapshot(img);
    FitsImage smaller = imageOf(2, 1, {9, 9});
    undo.restore(smaller);
    EXPECT_EQ(smaller.pixels, (std::vector<std::int32_t>{1, 2}));
    EXPECT_EQ(smaller.maxValue, 6);
    EXPECT_EQ(smaller.minValue, 1);
}

// ---- continuous calibration --------------------------------------------------------

// Records the captions the progress window would show; stops before the
// frame numbered `stopAt` when that is set.
struct RecordingProgress : JobProgress {
    std::vector<std::string> captions;
    int stopAt = 0;
    bool closed = false;
    void show(const std::string& caption, const std::string& label) override { captions.push_back(caption + "|" + label); }
    bool update(const std::string& caption, const std::string& label) override
    {
        captions.push_back(caption + "|" + label);
        return stopAt == 0 || static_cast<int>(captions.size()) - 1 < stopAt;
    }
    void close() override { closed = true; }
};

struct Continuous {
    test::TempDir dir;
    FitsImage image;
    AppState state;
    PixelPool pool;
    UndoBuffer undo;
    CalibrationFrame frame;
    FileQueue queue;
    ScriptedPlatform platform;
    RecordingProgress progress;

    void frameFile(const std::string& name, const std::string& bytes)
    {
        test::writeFile(dir.file(name), bytes);
        queue.names.push_back(name);
    }
    ContinuousResult run(CalibrationKind kind, const std::string& calibrationBytes)
    {
        const std::string cal = dir.file(kind == CalibrationKind::Dark ? "dark.cal" : "flat.cal");
        test::writeFile(cal, calibrationBytes);
        return runContinuousCalibration(image, state, &pool, undo, frame, queue, {kind, cal, dir.path().string()},
                                        progress, platform);
    }
    std::vector<std::int32_t> pixels(const std::string& name)
    {
        FitsImage img;
        AppState st;
        ScriptedPlatform p;
        EXPECT_EQ(readFitsFile(img, st, dir.file(name), ReadForm::Command, p), 0) << name;
        return {img.pixels.begin(), img.pixels.end()};
    }
    std::string bytes(const std::string& name) const { return test::readFile(dir.file(name)); }
};

TEST(ContinuousCalibration, DarkIsSubtractedFromEveryFrameAndClampedAtZero)
{
    Continuous c;
    c.frameFile("a.fit", fits16(3, 1, {100, 100, 7}));
    c.frameFile("b.fit", fits16(3, 1, {1000, 150, 65535}));
    c.undo.setAvailable(true);
    const ContinuousResult r = c.run(CalibrationKind::Dark, fits16(3, 1, {50, 200, 0}));
    EXPECT_TRUE(r.started);
    EXPECT_TRUE(r.frameRead);
    EXPECT_EQ(r.calibrated, 2);
    EXPECT_EQ(r.skipped, 0);
    EXPECT_EQ(c.pixels("a.fit"), (std::vector<std::int32_t>{50, 0, 7}));
    EXPECT_EQ(c.pixels("b.fit"), (std::vector<std::int32_t>{950, 0, 65535}));
    EXPECT_FALSE(c.undo.available());
    ASSERT_EQ(c.platform.shown.size(), 1u);
    EXPECT_TRUE(c.platform.shown[0].question);
    EXPECT_EQ(c.platform.shown[0].text, "Is a continuous processing of a dark frame executed ?");
    EXPECT_EQ(c.progress.captions, (std::vector<std::string>{"Progress DARK|" + c.dir.file("dark.cal"),
                                                             "Progress 1|a.fit", "Progress 2|b.fit"}));
    EXPECT_TRUE(c.progress.closed);
}

TEST(ContinuousCalibration, CancelOnTheQuestionChangesNothing)
{
    Continuous c;
    c.frameFile("a.fit", fits16(1, 1, {100}));
    const std::string before = c.bytes("a.fit");
    c.undo.setAvailable(true);
    c.platform.answers = {false};
    const ContinuousResult r = c.run(CalibrationKind::Flat, fits16(1, 1, {50}));
    EXPECT_FALSE(r.started);
    EXPECT_EQ(c.bytes("a.fit"), before);
    EXPECT_TRUE(c.undo.available());
    EXPECT_EQ(c.platform.shown[0].text, "Is a continuous processing of a flat field executed ?");
}

TEST(ContinuousCalibration, CameraDarkWithTheBoxTickedGivesThePhysicalDifference)
{
    Continuous c;
    const std::vector<std::string> camera = {card("BZERO", "32768"), card("BSCALE", "1")};
    c.frameFile("f1.fit", fits16(3, 1, {cameraWord(40100), cameraWord(50000), cameraWord(4000)}, camera));
    const ContinuousResult r =
        c.run(CalibrationKind::Dark, fits16(3, 1, {cameraWord(100), cameraWord(40000), cameraWord(5000)}, camera));
    EXPECT_EQ(r.calibrated, 1);
    EXPECT_EQ(c.pixels("f1.fit"), (std::vector<std::int32_t>{40000, 10000, 0}));
}

TEST(ContinuousCalibration, FlatIsScaledByTheMeanOfTheFlat)
{
    Continuous c;
    // Mean (1000 + 2000 + 500 + 500) / 2 / 2 = 1000 over the flat's own size,
    // also for the 1 x 1 frame.
    c.frameFile("a.fit", fits16(2, 2, {500, 500, 500, 0}));
    c.frameFile("b.fit", fits16(1, 1, {500}));
    const ContinuousResult r = c.run(CalibrationKind::Flat, fits16(2, 2, {1000, 2000, 500, 500}));
    EXPECT_EQ(r.calibrated, 2);
    EXPECT_EQ(c.pixels("a.fit"), (std::vector<std::int32_t>{500, 250, 1000, 0}));
    EXPECT_EQ(c.pixels("b.fit"), std::vector<std::int32_t>{500});
}

TEST(ContinuousCalibration, FlatProductsPastTwoToThe31AndZeroFlatValues)
{
    Continuous c;
    // 60000 x mean 60000 = 3.6e9 before the division.
    c.frameFile("bright.fit", fits16(2, 1, {60000, 1}));
    EXPECT_EQ(c.run(CalibrationKind::Flat, fits16(2, 1, {60000, 60000})).calibrated, 1);
    EXPECT_EQ(c.pixels("bright.fit"), (std::vector<std::int32_t>{60000, 1}));

    // Flat {0, 1000}: mean 500; the 0 leaves its pixel.
    Continuous z;
    z.frameFile("z.fit", fits16(2, 1, {123, 400}));
    EXPECT_EQ(z.run(CalibrationKind::Flat, fits16(2, 1, {0, 1000})).calibrated, 1);
    EXPECT_EQ(z.pixels("z.fit"), (std::vector<std::int32_t>{123, 200}));
}

TEST(ContinuousCalibration, HeaderErrorsLeaveEveryFrameUntouched)
{
    Continuous c;
    c.frameFile("a.fit", fits16(2, 1, {100, 200}));
    c.frameFile("b.fit", fits16(2, 1, {300, 400}));
    const std::string a = c.bytes("a.fit"), b = c.bytes("b.fit");
    const ContinuousResult r =
        c.run(CalibrationKind::Dark, fitsOf({card("SIMPLE", "T"), card("NAXIS1", "2"), card("NAXIS2", "1")},
                                            test::bytes16({1, 1})));
    EXPECT_TRUE(r.started);
    EXPECT_FALSE(r.frameRead);
    EXPECT_EQ(r.calibrated, 0);
    EXPECT_EQ(c.platform.messageTexts(), std::vector<std::string>{"dark frameBITPIX error"});
    EXPECT_EQ(c.bytes("a.fit"), a);
    EXPECT_EQ(c.bytes("b.fit"), b);
    EXPECT_TRUE(c.progress.closed);
}

TEST(ContinuousCalibration, RejectedLargerAndColourFramesKeepTheirBytesAndTheJobGoesOn)
{
    Continuous c;
    c.frameFile("bad.fit", test::simpleFits(12, 2, 1, {}, std::string(16, '\0')));
    const std::string whole = fits16(2, 1, {500, 600});
    c.frameFile("short.fit", whole.substr(0, whole.size() - 1));
    c.frameFile("big.fit", fits16(3, 1, {500, 600, 700}));
    c.frameFile("colour.fit", fitsOf({card("SIMPLE", "T"), card("BITPIX", "16"), card("NAXIS", "3"),
                                      card("NAXIS1", "2"), card("NAXIS2", "1"), card("NAXIS3", "3")},
                                     test::bytes16({500, 600, 1, 2, 3, 4})));
    c.frameFile("good.fit", fits16(2, 1, {500, 600}));
    std::vector<std::string> before;
    for (const std::string& n : c.queue.names) before.push_back(c.bytes(n));

    const ContinuousResult r = c.run(CalibrationKind::Dark, fits16(2, 1, {100, 100}));
    EXPECT_EQ(r.calibrated, 1);
    EXPECT_EQ(r.skipped, 4);
    EXPECT_FALSE(r.writeFailed);
    for (std::size_t i = 0; i + 1 < c.queue.names.size(); ++i)
        EXPECT_EQ(c.bytes(c.queue.names[i]), before[i]) << c.queue.names[i];
    EXPECT_EQ(c.pixels("good.fit"), (std::vector<std::int32_t>{400, 500}));

    // One message per frame left out, each naming its frame, in queue order.
    const std::vector<std::string> messages = c.platform.messageTexts();
    ASSERT_EQ(messages.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_NE(messages[i].find(c.dir.file(c.queue.names[i])), std::string::npos) << messages[i];
}

TEST(ContinuousCalibration, EntriesThatDoNotQualifyAreSkippedSilently)
{
    Continuous c;
    c.frameFile("a.fits", fits16(1, 1, {500}));
    c.frameFile("x.ft", fits16(1, 1, {500}));
    c.queue.names.push_back("");
    c.queue.names.push_back("gone.fit");  // listed, then deleted from the folder: the reader says so
    c.frameFile("ok.fit", fits16(1, 1, {500}));
    const std::string a = c.bytes("a.fits");
    const ContinuousResult r = c.run(CalibrationKind::Dark, fits16(1, 1, {100}));
    EXPECT_EQ(r.calibrated, 1);
    EXPECT_EQ(c.bytes("a.fits"), a);
    EXPECT_EQ(c.pixels("ok.fit"), std::vector<std::int32_t>{400});
    ASSERT_EQ(c.platform.messageTexts().size(), 1u);
    EXPECT_NE(c.platform.messageTexts()[0].find("gone.fit"), std::string::npos);
    // The progress counts queue slots, non-qualifying ones included.
    EXPECT_EQ(c.progress.captions.back(), "Progress 5|ok.fit");
}

TEST(ContinuousCalibration, AStopBetweenFramesLeavesTheRestAsTheyWere)
{
    Continuous c;
    c.frameFile("a.fit", fits16(1, 1, {500}));
    c.frameFile("b.fit", fits16(1, 1, {500}));
    const std::string b = c.bytes("b.fit");
    c.progress.stopAt = 2;
    const ContinuousResult r = c.run(CalibrationKind::Dark, fits16(1, 1, {100}));
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(r.calibrated, 1);
    EXPECT_EQ(c.pixels("a.fit"), std::vector<std::int32_t>{400});
    EXPECT_EQ(c.bytes("b.fit"), b);
    EXPECT_TRUE(c.progress.closed);
}

}  // namespace
}  // namespace lv
