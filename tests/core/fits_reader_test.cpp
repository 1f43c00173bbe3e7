#include "core/fits_reader.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>

#include <bit>

#include <gtest/gtest.h>

#include "core/conventions.h"
#include "fits_builder.h"

namespace lv {
namespace {

using test::bytes16;
using test::bytes32;
using test::bytes8;
using test::bytesFloat;
using test::card;
using test::simpleFits;

class FitsReaderTest : public ::testing::Test {
protected:
    test::TempDir dir;
    FitsImage image;
    AppState state;
    ScriptedPlatform platform;

    std::string put(const std::string& name, const std::string& bytes)
    {
        const std::string path = dir.file(name);
        test::writeFile(path, bytes);
        return path;
    }
    int read(const std::string& path, ReadForm form = ReadForm::Command)
    {
        return readFitsFile(image, state, path, form, platform);
    }
    std::vector<std::int32_t> row(int y, int plane = 0) const
    {
        std::vector<std::int32_t> out;
        for (int x = 0; x < image.naxis1; ++x) out.push_back(image.value(x, y, plane));
        return out;
    }
};

TEST_F(FitsReaderTest, DataStartAfterTheBlockHoldingEnd)
{
    // END as record 36: data at byte 2880.
    std::vector<std::string> cards = {card("SIMPLE", "T"), card("BITPIX", "8"), card("NAXIS", "2"),
                                      card("NAXIS1", "2"), card("NAXIS2", "1")};
    while (cards.size() < 35) cards.push_back(test::rawCard("COMMENT filler"));
    cards.push_back(test::endCard());
    ASSERT_EQ(read(put("a.fit", test::headerBlock(cards) + bytes8({7, 9}))), 0);
    EXPECT_EQ(image.cardCount(), 36);
    EXPECT_EQ(row(0), (std::vector<std::int32_t>{7, 9}));

    // END as record 37: data at byte 5760.
    cards.pop_back();
    cards.push_back(test::rawCard("COMMENT one more"));
    cards.push_back(test::endCard());
    ASSERT_EQ(read(put("b.fit", test::headerBlock(cards) + bytes8({3, 4}))), 0);
    EXPECT_EQ(image.cardCount(), 37);
    EXPECT_EQ(image.card(37).substr(0, 3), "END");
    EXPECT_EQ(row(0), (std::vector<std::int32_t>{3, 4}));
}

TEST_F(FitsReaderTest, KeywordValuesFromColumnsTenToThirty)
{
    // BITPIX 16 in column 11 followed by a comment, NAXIS1 given twice (the
    // last wins), a record that merely starts like a keyword is not one.
    const std::vector<std::string> cards = {
        card("SIMPLE", "T"),
        test::rawCard("BITPIX  = 16 / bits per value"),
        card("NAXIS", "2"),
        card("NAXIS1", "5"),
        test::rawCard("NAXIS1  =                    2 / corrected"),
        card("NAXIS2", "1"),
        test::rawCard("BZEROX  =                  100"),
        test::rawCard("BSCALE  =                1.0D0"),
        test::endCard()};
    ASSERT_EQ(read(put("k.fts", test::headerBlock(cards) + bytes16({1, 2}))), 0);
    EXPECT_EQ(image.bitpix, 16);
    EXPECT_EQ(image.naxis1, 2);
    EXPECT_EQ(image.bzero, 0.0);
    EXPECT_EQ(image.bscale, 1.0);
    EXPECT_EQ(row(0), (std::vector<std::int32_t>{1, 2}));
    EXPECT_EQ(image.card(2), test::rawCard("BITPIX  = 16 / bits per value"));
}

TEST_F(FitsReaderTest, BitpixTable)
{
    // -16 reads as unsigned 16-bit, -8 as bytes.
    ASSERT_EQ(read(put("m16.fit", simpleFits(-16, 2, 1, {}, bytes16({0xFFFF, 1})))), 0);
    EXPECT_EQ(image.bitpix, 16);
    EXPECT_FALSE(image.isFloat);
    EXPECT_EQ(row(0), (std::vector<std::int32_t>{65535, 1}));
    ASSERT_EQ(read(put("m8.fit", simpleFits(-8, 2, 1, {}, bytes8({255, 0})))), 0);
    EXPECT_EQ(row(0), (std::vector<std::int32_t>{255, 0}));
    ASSERT_EQ(read(put("i32.fit", simpleFits(32, 2, 1, {}, bytes32({2147483647u, 5})))), 0);
    EXPECT_EQ(row(0), (std::vector<std::int32_t>{2147483647, 5}));
    ASSERT_EQ(read(put("f32.fit", simpleFits(-32, 3, 1, {}, bytesFloat({1.5f, 2.5f, -1.5f})))), 0);
    EXPECT_TRUE(image.isFloat);
    EXPECT_EQ(image.bitpix, 32);
    EXPECT_EQ(row(0), (std::vector<std::int32_t>{2, 2, -2}));
}

TEST_F(FitsReaderTest, HeaderErrorsNameTheFileInBothForms)
{
    const std::string noBitpix = put("nob.fit", test::headerBlock({card("SIMPLE", "T"), card("NAXIS1", "1"),
                                                                   card("NAXIS2", "1"), test::endCard()}) +
                                                    bytes8({1}));
    const std::string b64 = put("b12.fit", simpleFits(12, 1, 1, {}, std::string(8, '\0')));
    const std::string bm64 = put("bm128.fit", simpleFits(-128, 1, 1, {}, std::string(16, '\0')));
    const std::string noN1 = put("non1.fit", test::headerBlock({card("BITPIX", "8"), card("NAXIS2", "1"),
                                                                test::endCard()}) + bytes8({1}));
    const std::string noN2 = put("non2.fit", test::headerBlock({card("BITPIX", "8"), card("NAXIS1", "1"),
                                                                test::endCard()}) + bytes8({1}));

    EXPECT_EQ(read(noBitpix), -1);
    EXPECT_EQ(read(b64), -1);
    EXPECT_EQ(read(bm64), -1);
    EXPECT_EQ(read(noN1), -1);
    EXPECT_EQ(read(noN2), -1);
    EXPECT_EQ(platform.messageTexts(),
              (std::vector<std::string>{noBitpix + "BITPIX error", b64 + "BITPIX error : BITPIX = 12",
                                        bm64 + "BITPIX error : BITPIX = 128", noN1 + "NAXIS1 error",
                                        noN2 + "NAXIS2 error"}));
    platform.shown.clear();
    EXPECT_EQ(read(noBitpix, ReadForm::Dialog), -1);
    EXPECT_EQ(read(b64, ReadForm::Dialog), -1);
    EXPECT_EQ(read(noN1, ReadForm::Dialog), -1);
    EXPECT_EQ(read(noN2, ReadForm::Dialog), -1);
    EXPECT_EQ(platform.messageTexts(), (std::vector<std::string>{"BITPIX error", "BITPIX error : BITPIX = 12",
                                                                 "NAXIS1 error", "NAXIS2 error"}));
}

TEST_F(FitsReaderTest, BzeroSignAndWraps)
{
    const std::string u16 = put("u16.fit", simpleFits(16, 2, 1, {card("BZERO", "32768"), card("BSCALE", "1")},
                                                      bytes16({0x8000, 0x7FFF})));
    ASSERT_EQ(read(u16), 0);
    EXPECT_EQ(row(0), (std::vector<std::int32_t>{0, 65535}));  // restored unsigned data
    state.bzeroSign = -1;
    ASSERT_EQ(read(u16), 0);
    EXPECT_EQ(row(0), (std::vector<std::int32_t>{0, -1}));
    state.bzeroSign = 1;
    ASSERT_EQ(read(put("u8.fit", simpleFits(8, 1, 1, {card("BZERO", "100")}, bytes8({200})))), 0);
    EXPECT_EQ(row(0), (std::vector<std::int32_t>{44}));  // 300 - 256
    // A scaled 16-bit value is rounded half to even before the wrap.
    ASSERT_EQ(read(put("s16.fit", simpleFits(16, 3, 1, {card("BSCALE", "0.5"), card("BZERO", "65534")},
                                             bytes16({1, 3, 2})))),
              0);
    EXPECT_EQ(row(0), (std::vector<std::int32_t>{65534, 0, 65535}));  // 65534.5, 65535.5 -> 65536 -> 0, 65535
}

TEST_F(FitsReaderTest, ReadingArithmetic)
{
    const std::string path = put("calc.fit", simpleFits(16, 3, 1, {}, bytes16({1, 2, 3})));
    state.readCalcMode = 0;
    state.readCalcValue = 0.5;
    ASSERT_EQ(read(path), 0);
    EXPECT_EQ(row(0), (std::vector<std::int32_t>{2, 2, 4}));  // 1.5, 2.5, 3.5 halves to even
    state.readCalcMode = 1;
    state.readCalcValue = 1.5;
    ASSERT_EQ(read(path), 0);
    EXPECT_EQ(row(0), (std::vector<std::int32_t>{2, 3, 4}));  // 1.5, 3, 4.5
    // The arithmetic comes before the 16-bit wrap.
    state.readCalcMode = 0;
    state.readCalcValue = 65535;
    ASSERT_EQ(read(path), 0);
    EXPECT_EQ(row(0), (std::vector<std::int32_t>{0, 1, 2}));
}

// A BSCALE of exactly 1 takes a shortcut; it must accept exactly what the
// general arithmetic accepts, whose first step (raw + BZERO) must fit on its own.
// A frame cut short by another program while it is being read (a camera
// program still writing, a sync tool) is rejected like any short file.
TEST_F(FitsReaderTest, FileCutShortWhileReadIsRejected)
{
    ASSERT_EQ(read(put("ok.fit", simpleFits(8, 2, 1, {}, bytes8({1, 2})))), 0);
    const FitsImage before = image;
    const std::string statsBefore = state.statistics;
    // Large enough to be decoded in two halves at once: both meet the cut.
    std::vector<std::uint32_t> values(1100 * 1000, 7);
    const std::string path = put("big.fit", simpleFits(32, 1100, 1000, {}, test::bytes32(values)));
    beforeDataReadForTesting([](const std::string& p) { std::filesystem::resize_file(p, 2880 + 4096); });
    const int result = read(path);
    beforeDataReadForTesting(nullptr);
    EXPECT_EQ(result, -1);
    ASSERT_EQ(platform.messageTexts().size(), 1u);
    EXPECT_NE(platform.messageTexts()[0].find("shorter than the header announces"), std::string::npos);
    EXPECT_TRUE(image == before);
    EXPECT_EQ(state.statistics, statsBefore);
    // The next read of a whole file goes as usual.
    ASSERT_EQ(read(put("again.fit", simpleFits(32, 1100, 1000, {}, test::bytes32(values)))), 0);
    EXPECT_EQ(image.value(1099, 999), 7);
}

// A frame decoded in two halves at once reads as one decoded in order: the
// same values and statistics, and the first value that does not fit is the
// one reported, whichever half holds it.
TEST_F(FitsReaderTest, LargeFramesReadInTwoHalvesAsInOne)
{
    const int w = 1100, h = 1000;
    std::vector<float> f(w * h);
    for (int i = 0; i < w * h; ++i) f[i] = static_cast<float>(i % 5003) - 2500.5f;
    ASSERT_EQ(read(put("two.fit", simpleFits(-32, w, h, {}, bytesFloat(f)))), 0);
    for (int i = 0; i < w * h; ++i) ASSERT_EQ(image.pixels[i], *toInt32(f[i])) << i;
    EXPECT_EQ(state.statistics, statisticsLine(image));
    for (const std::vector<int>& bad : std::vector<std::vector<int>>{{900001}, {900001, 12}, {524287, 524288}}) {
        std::vector<float> g(f);
        for (int i : bad) g[i] = 3e9f;  // finite and beyond 32 bits
        platform.shown.clear();
        EXPECT_EQ(read(put("twobad.fit", simpleFits(-32, w, h, {}, bytesFloat(g)))), -1);
        ASSERT_EQ(platform.messageTexts().size(), 1u);
        const int first = *std::min_element(bad.begin(), bad.end());
        EXPECT_NE(platform.messageTexts()[0].find("column " + std::to_string(first % w) + ", row " +
                                                  std::to_string(first / w) + " "),
                  std::string::npos)
            << platform.messageTexts()[0];
    }
}

TEST_F(FitsReaderTest, WholeNumberShiftAcceptsWhatTheArithmeticAccepts)
{
    struct Case {
        int bitpix;
        const char* bzero;
        double calc;
    };
    const Case cases[] = {{16, "3000000000", -3e9}, {8, "3000000000", -3e9}, {32, "2147483648", -2147483648.0},
                          {16, "-100", 50}, {32, "-5", 7}};
    for (const Case& c : cases) {
        int results[2];
        std::vector<std::int32_t> values[2];
        const char* scales[2] = {"1", "1.0000000000000002"};
        for (int k = 0; k < 2; ++k) {
            const std::string data = c.bitpix == 16 ? bytes16({200}) : c.bitpix == 8 ? bytes8({200}) : bytes32({200});
            const std::string path = put("shift.fit", simpleFits(c.bitpix, 1, 1, {card("BSCALE", scales[k]),
                                                                                  card("BZERO", c.bzero)}, data));
            state.readCalcMode = 0;
            state.readCalcValue = c.calc;
            results[k] = read(path);
            if (results[k] == 0) values[k] = row(0);
        }
        EXPECT_EQ(results[0], results[1]) << c.bitpix << " " << c.bzero;
        EXPECT_EQ(values[0], values[1]) << c.bitpix << " " << c.bzero;
    }
    state.readCalcValue = 0;
}

TEST_F(FitsReaderTest, ThreePlanesByForm)
{
    const auto data = bytes16({1, 2, 3, 4, 5, 6});  // 2 x 1 x 3
    const std::string colour16 = put("c16.fit", test::headerBlock({card("SIMPLE", "T"), card("BITPIX", "16"),
                                                                   card("NAXIS", "3"), card("NAXIS1", "2"),
                                                                   card("NAXIS2", "1"), card("NAXIS3", "3"),
                                                                   test::endCard()}) + data);
    ASSERT_EQ(read(colour16), 0);
    EXPECT_EQ(image.naxis3, 3);
    EXPECT_EQ(image.planes, 1);
    EXPECT_EQ(row(0, 0), (std::vector<std::int32_t>{1, 2}));
    EXPECT_EQ(row(0, 1), (std::vector<std::int32_t>{0, 0}));
    EXPECT_EQ(image.maxValue, 2);
    ASSERT_EQ(read(colour16, ReadForm::Dialog), 0);
    EXPECT_EQ(image.planes, 3);
    EXPECT_EQ(row(0, 1), (std::vector<std::int32_t>{3, 4}));
    EXPECT_EQ(row(0, 2), (std::vector<std::int32_t>{5, 6}));
    EXPECT_EQ(image.maxValue, 6);  // every plane takes part in the extremes
    EXPECT_EQ(state.statistics, "max 6 / min 1 / ave 2");  // the mean is of plane 0

    // Float colour planes: rounded, then scaled, then rounded again.
    const std::string colourF = put("cf.fit", test::headerBlock({card("SIMPLE", "T"), card("BITPIX", "-32"),
                                                                 card("NAXIS", "3"), card("NAXIS1", "1"),
                                                                 card("NAXIS2", "1"), card("NAXIS3", "3"),
                                                                 card("BSCALE", "1.5"), card("BZERO", "10"),
                                                                 test::endCard()}) +
                                                bytesFloat({1.4f, 2.5f, -3.0f}));
    ASSERT_EQ(read(colourF), 0);
    EXPECT_EQ(image.planes, 3);
    EXPECT_EQ(image.value(0, 0, 0), 12);  // round(1.4)=1 -> 11.5 -> 12
    EXPECT_EQ(image.value(0, 0, 1), 13);  // round(2.5)=2 -> 13
    EXPECT_EQ(image.value(0, 0, 2), 6);   // -3 -> 5.5 -> 6
    // A monochrome float ignores BSCALE and BZERO.
    ASSERT_EQ(read(put("mf.fit", simpleFits(-32, 1, 1, {card("BSCALE", "2"), card("BZERO", "100")},
                                            bytesFloat({3.0f})))),
              0);
    EXPECT_EQ(image.value(0, 0), 3);

    // BITPIX -64 as -32: its colour planes in both forms, scaled the same way.
    std::string doubles;
    for (double v : {1.4, 2.5, -3.0}) {
        const auto bits = std::bit_cast<std::uint64_t>(v);
        for (int k = 7; k >= 0; --k) doubles.push_back(static_cast<char>((bits >> (8 * k)) & 0xFF));
    }
    const std::string colourD = put("cd.fit", test::headerBlock({card("SIMPLE", "T"), card("BITPIX", "-64"),
                                                                 card("NAXIS", "3"), card("NAXIS1", "1"),
                                                                 card("NAXIS2", "1"), card("NAXIS3", "3"),
                                                                 card("BSCALE", "1.5"), card("BZERO", "10"),
                                                                 test::endCard()}) +
                                                doubles);
    ASSERT_EQ(read(colourD), 0);
    EXPECT_EQ(image.bitpix, 64);
    EXPECT_TRUE(image.isFloat);
    EXPECT_EQ(image.planes, 3);
    EXPECT_EQ(image.value(0, 0, 0), 12);
    EXPECT_EQ(image.value(0, 0, 1), 13);
    EXPECT_EQ(image.value(0, 0, 2), 6);
}

TEST_F(FitsReaderTest, AFloatFrameWithinZeroToOneOpensWithAMessage)
{
    // As some stacking programs write them: whole numbers would be 0s and 1s.
    const std::string unit = put("unit.fit", simpleFits(-32, 3, 1, {}, bytesFloat({0.25f, 0.75f, 1.0f})));
    ASSERT_EQ(read(unit), 0);
    EXPECT_EQ(row(0), (std::vector<std::int32_t>{0, 1, 1}));
    ASSERT_EQ(platform.shown.size(), 1u);
    EXPECT_FALSE(platform.shown[0].error);
    EXPECT_EQ(platform.shown[0].text, unitFloatMessage(unit));
    EXPECT_NE(platform.shown[0].text.find("between 0 and 1"), std::string::npos);
    // Values beyond 0 ... 1, or integer data of 0s and 1s, say nothing.
    platform.shown.clear();
    ASSERT_EQ(read(put("wide.fit", simpleFits(-32, 2, 1, {}, bytesFloat({0.25f, 1.6f})))), 0);
    ASSERT_EQ(read(put("bits.fit", simpleFits(8, 2, 1, {}, bytes8({0, 1})))), 0);
    EXPECT_TRUE(platform.shown.empty());
}

TEST_F(FitsReaderTest, DuskyPictureLimitsTheMaximum)
{
    state.duskyPicture = true;
    const std::string path = put("d.fit", simpleFits(16, 3, 1, {}, bytes16({100, 60000, 65535})));
    ASSERT_EQ(read(path), 0);
    EXPECT_EQ(image.maxValue, 100);
    EXPECT_EQ(image.minValue, 100);
    // Monochrome floating-point images: every value is a candidate.
    ASSERT_EQ(read(put("df.fit", simpleFits(-32, 2, 1, {}, bytesFloat({100.0f, 61000.0f})))), 0);
    EXPECT_EQ(image.maxValue, 61000);
    state.duskyPicture = false;
    ASSERT_EQ(read(path), 0);
    EXPECT_EQ(image.maxValue, 65535);
}

TEST_F(FitsReaderTest, StatisticsLine)
{
    EXPECT_EQ(state.statistics, "max 0 / min 0 / ave 0");
    ASSERT_EQ(read(put("one.fit", simpleFits(16, 1, 1, {}, bytes16({7})))), 0);
    EXPECT_EQ(state.statistics, "max 7 / min 7 / ave 7");
    ASSERT_EQ(read(put("half.fit", simpleFits(16, 2, 1, {}, bytes16({2, 3})))), 0);
    EXPECT_EQ(state.statistics, "max 3 / min 2 / ave 3");  // Int(2.5 + 0.5)
    state.bzeroSign = -1;
    ASSERT_EQ(read(put("neg.fit", simpleFits(16, 2, 1, {card("BZERO", "32768")}, bytes16({32765, 32766})))), 0);
    // The maximum of an all-negative image is its largest value, not the -1
    // a read starts from.
    EXPECT_EQ(state.statistics, "max-2 / min-3 / ave-2");  // Int(-2.5 + 0.5)
}

// Frames of more than one decoding chunk, whose sizes are not a multiple of
// the values handled per step, against the value rules one by one.
TEST_F(FitsReaderTest, WideFramesDecodeValueByValue)
{
    const int w = 301, h = 250;  // 75250 values: a chunk of 65536 and an odd rest
    std::uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };

    std::vector<std::uint16_t> raw(w * h);
    for (auto& r : raw) r = static_cast<std::uint16_t>(next() >> 16);
    raw[100] = 0x8000;  // 0 and 65535 once each
    raw[70001] = 0x7FFF;
    ASSERT_EQ(read(put("wide16.fit", simpleFits(16, w, h, {card("BZERO", "32768")}, bytes16(raw)))), 0);
    for (int i = 0; i < w * h; ++i) ASSERT_EQ(image.pixels[i], (raw[i] + 32768) % 65536) << i;
    EXPECT_EQ(image.minValue, 0);
    EXPECT_EQ(image.maxValue, 65535);
    EXPECT_EQ(state.statistics, statisticsLine(image));

    std::vector<float> f(w * h);
    for (auto& v : f) {
        const std::uint32_t r = next();
        switch (r % 4) {
        case 0: v = static_cast<float>(static_cast<int>(r >> 20) - 2048) + 0.5f; break;  // ties go to even
        case 1: v = static_cast<float>(static_cast<std::int32_t>(r)) * 0.999f; break;    // large, either sign
        case 2: v = static_cast<float>(r >> 8) / 1024.0f; break;
        default: v = -static_cast<float>(r >> 9) * 1.5f; break;
        }
    }
    f[5] = 1e-40f;           // subnormal
    f[66000] = -2147483648.0f;  // the least value that fits, in the vector part
    f[w * h - 1] = 2147483520.0f;  // the largest float below 2^31
    ASSERT_EQ(read(put("widef.fit", simpleFits(-32, w, h, {}, bytesFloat(f)))), 0);
    for (int i = 0; i < w * h; ++i) ASSERT_EQ(image.pixels[i], *toInt32(f[i])) << i << " " << f[i];
    EXPECT_EQ(image.minValue, -2147483647 - 1);
    EXPECT_EQ(image.maxValue, 2147483520);
    EXPECT_EQ(state.statistics, statisticsLine(image));

    // A value out of range inside the vector part is found where it is (NaN is a blank pixel).
    for (const float bad : {2147483648.0f, -2147483904.0f}) {
        std::vector<float> g(f);
        g[70001] = bad;
        platform.shown.clear();
        EXPECT_EQ(read(put("badf.fit", simpleFits(-32, w, h, {}, bytesFloat(g)))), -1);
        ASSERT_EQ(platform.messageTexts().size(), 1u);
        EXPECT_NE(platform.messageTexts()[0].find("column " + std::to_string(70001 % w) + ", row " +
                                                  std::to_string(70001 / w)),
                  std::string::npos)
            << platform.messageTexts()[0];
    }
}

TEST_F(FitsReaderTest, LongerFilesAreFine)
{
    std::string bytes = simpleFits(8, 2, 1, {}, bytes8({5, 6}));
    bytes += std::string(2878, '\0');
    bytes += test::headerBlock({test::rawCard("XTENSION= 'IMAGE   '"), test::endCard()});
    ASSERT_EQ(read(put("ext.fit", bytes)), 0);
    EXPECT_EQ(row(0), (std::vector<std::int32_t>{5, 6}));
}

// Files the image model cannot hold are refused with a message naming the
// file, and the image read before stays exactly as it was.
TEST_F(FitsReaderTest, RejectedFilesLeaveThePreviousImage)
{
    ASSERT_EQ(read(put("good.fit", simpleFits(16, 2, 2, {card("BZERO", "32768")}, bytes16({1, 2, 3, 40000})))), 0);
    const FitsImage before = image;
    const std::string statsBefore = state.statistics;

    std::vector<std::string> many = {card("SIMPLE", "T"), card("BITPIX", "8"), card("NAXIS1", "1"),
                                     card("NAXIS2", "1")};
    while (many.size() < 520) many.push_back(test::rawCard("COMMENT x"));
    many.push_back(test::endCard());

    struct Case {
        std::string name;
        std::string bytes;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"many.fit", test::headerBlock(many) + bytes8({1}), "no END record within its first 500"},
        {"noend.fit", card("BITPIX", "8") + card("NAXIS1", "1") + card("NAXIS2", "1"), "no END record"},
        {"wide.fit", simpleFits(8, 3074, 1, {}, std::string(3074, '\1')), "NAXIS1 = 3074"},
        {"zero.fit", simpleFits(8, 0, 1, {}, ""), "NAXIS1 = 0"},
        {"tall.fit", simpleFits(8, 1, 4000, {}, std::string(4000, '\1')), "NAXIS2 = 4000"},
        {"negrows.fit", simpleFits(8, 1, -2, {}, ""), "NAXIS2 =-2"},
        {"short.fit", simpleFits(16, 4, 4, {}, bytes16({1, 2, 3})), "shorter"},
        {"neg32.fit", simpleFits(32, 2, 1, {}, bytes32({5, 0x80000000u})), "column 1, row 0"},
        {"bzero32.fit", simpleFits(32, 1, 1, {card("BZERO", "2147483647")}, bytes32({1})), "does not fit"},
        {"nanbig.fit", simpleFits(-32, 3, 1, {}, bytesFloat({std::numeric_limits<float>::quiet_NaN(), 1.0f, 3e9f})),
         "column 2, row 0"},
        {"big.fit", simpleFits(-32, 1, 2, {}, bytesFloat({1.0f, 3e9f})), "column 0, row 1"},
        {"calc.fit", simpleFits(16, 1, 1, {}, bytes16({2})), "does not fit"},
        {"calcf.fit", simpleFits(-32, 2, 1, {}, bytesFloat({1.0f, 2e9f})), "column 1, row 0"},
    };
    for (const Case& c : cases) {
        platform.shown.clear();
        if (c.name == "calc.fit") {
            state.readCalcMode = 1;
            state.readCalcValue = 2e9;
        }
        if (c.name == "calcf.fit") {
            state.readCalcMode = 0;
            state.readCalcValue = 2e9;
        }
        const std::string path = put(c.name, c.bytes);
        EXPECT_EQ(read(path), -1) << c.name;
        ASSERT_EQ(platform.messageTexts().size(), 1u) << c.name;
        const std::string text = platform.messageTexts()[0];
        EXPECT_EQ(text.rfind(path, 0), 0u) << text;
        EXPECT_NE(text.find(c.reason), std::string::npos) << text;
        EXPECT_TRUE(image == before) << c.name;
        EXPECT_EQ(state.statistics, statsBefore) << c.name;
        state.readCalcMode = 0;
        state.readCalcValue = 0;
    }

    platform.shown.clear();
    const std::string missing = dir.file("missing.fit");
    EXPECT_EQ(read(missing, ReadForm::Dialog), -1);
    ASSERT_EQ(platform.messageTexts().size(), 1u);
    EXPECT_NE(platform.messageTexts()[0].find(missing + ": the file cannot be opened"), std::string::npos);
    EXPECT_TRUE(image == before);
}

TEST(FitsFileName, DropAndCommandLineAcceptSixEndings)
{
    EXPECT_TRUE(hasFitsFileNameEnding("C:\\obs\\m31.fts"));
    EXPECT_TRUE(hasFitsFileNameEnding("a.Fit"));
    EXPECT_TRUE(hasFitsFileNameEnding("a.FTS"));
    EXPECT_FALSE(hasFitsFileNameEnding("a.fits"));
    EXPECT_FALSE(hasFitsFileNameEnding("a.fIT"));
    EXPECT_FALSE(hasFitsFileNameEnding("it"));
}

}  // namespace
}  // namespace lv
