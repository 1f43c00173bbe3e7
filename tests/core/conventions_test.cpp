#include "core/conventions.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace lv {
namespace {

TEST(Rounding, HalvesGoToTheEvenNeighbour)
{
    EXPECT_EQ(roundHalfEven(2.5), 2.0);
    EXPECT_EQ(roundHalfEven(3.5), 4.0);
    EXPECT_EQ(roundHalfEven(-2.5), -2.0);
    EXPECT_EQ(roundHalfEven(-3.5), -4.0);
    EXPECT_EQ(roundHalfEven(0.5), 0.0);
    EXPECT_EQ(roundHalfEven(1.5), 2.0);
    EXPECT_EQ(roundHalfEven(2.4999999), 2.0);
    EXPECT_EQ(roundHalfEven(-0.7), -1.0);
    EXPECT_EQ(roundHalfEven(4503599627370497.0), 4503599627370497.0);  // beyond 2^52 every double is whole
}

TEST(Rounding, FastPathAgreesWithTheExactRuleEverywhere)
{
    // Around the limits of the fast path (2^51) and of exact halves (2^52).
    for (double base : {0.0, 1e6, 2147483647.0, 2251799813685248.0, 4503599627370496.0}) {
        for (double d : {-1.5, -0.5, -0.25, 0.0, 0.25, 0.5, 0.75, 1.5, 2.5}) {
            for (double sign : {1.0, -1.0}) {
                const double v = sign * (base + d);
                EXPECT_EQ(roundHalfEven(v), roundHalfEvenSlow(v)) << v;
            }
        }
    }
    std::uint64_t x = 88172645463325252ull;
    for (int i = 0; i < 100000; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        const double v = (static_cast<double>(x % 2000001) - 1000000.0) / 8.0;  // many exact halves
        ASSERT_EQ(roundHalfEven(v), roundHalfEvenSlow(v)) << v;
    }
}

TEST(Rounding, Int32ConversionRefusesWhatDoesNotFit)
{
    EXPECT_EQ(toInt32(2147483647.4), 2147483647);
    EXPECT_EQ(toInt32(2147483647.5), std::nullopt);  // rounds to 2^31
    EXPECT_EQ(toInt32(-2147483648.5), -2147483648);  // even neighbour is -2^31
    EXPECT_EQ(toInt32(-2147483649.0), std::nullopt);
    EXPECT_EQ(toInt32(std::numeric_limits<double>::quiet_NaN()), std::nullopt);
    EXPECT_EQ(toInt32(std::numeric_limits<double>::infinity()), std::nullopt);
    EXPECT_EQ(toInt32Saturated(1e12), 2147483647);
    EXPECT_EQ(toInt32Saturated(-1e12), -2147483647 - 1);
    EXPECT_EQ(toInt32Saturated(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(Rounding, IntIsTheFloorAndMagnitudesRoundHalfUp)
{
    EXPECT_EQ(intFloor(-0.5), -1.0);
    EXPECT_EQ(intFloor(2.9), 2.0);
    // 1.0625 and its negative are exact binary fractions: the half goes up,
    // towards plus infinity, not away from zero.
    EXPECT_DOUBLE_EQ(roundMagnitude(1.0625, 3), 1.063);
    EXPECT_DOUBLE_EQ(roundMagnitude(-1.0625, 3), -1.062);
    EXPECT_DOUBLE_EQ(roundMagnitude(12.125, 2), 12.13);
    EXPECT_DOUBLE_EQ(roundMagnitude(12.3449, 3), 12.345);
}

TEST(NumberText, LeadingSpaceForNonNegativeNumbers)
{
    EXPECT_EQ(numberText(5), " 5");
    EXPECT_EQ(numberText(-5), "-5");
    EXPECT_EQ(numberText(0), " 0");
    EXPECT_EQ(numberText(std::int64_t{4095}), " 4095");
    EXPECT_EQ(numberText(0.5), " .5");
    EXPECT_EQ(numberText(-0.5), "-.5");
    EXPECT_EQ(numberText(2.25), " 2.25");
    EXPECT_EQ(numberText(233.0), " 233");
    EXPECT_EQ(numberText(-0.0), " 0");
    EXPECT_EQ(numberText(1.0 / 3.0), " .333333333333333");
    EXPECT_EQ(numberText(123456789012345.0), " 123456789012345");
    EXPECT_EQ(numberText(1e15), " 1E+15");
    EXPECT_EQ(numberText(0.0001), " .0001");
    EXPECT_EQ(numberText(0.00001), " 1E-05");
    EXPECT_EQ(plainNumberText(12.5), "12.5");
    EXPECT_EQ(plainNumberText(-3), "-3");
}

struct PatternCase {
    double value;
    const char* pattern;
    const char* expected;
};

TEST(FixedPatterns, EveryPatternInUse)
{
    const PatternCase cases[] = {
        // exposure and time fields
        {30, " 000", " 030"},
        {1200, " 000", " 1200"},
        {0, " 000", " 000"},
        {29.5, " 000", " 030"},
        {30, "000", "030"},
        {5, "00", "05"},
        {0.5, "00", "01"},
        {123, "00", "123"},
        {7, "0000", "0007"},
        // magnitudes
        {11.234, " 00.000", " 11.234"},
        {10.5, " 00.000", " 10.500"},
        {10.5, " 00.00", " 10.50"},
        {9.8765, " 00.00", " 09.88"},
        {12.345, "000.000", "012.345"},
        {12.345, "000.000 ", "012.345 "},
        {12.345, "000.00", "012.35"},
        {12.345, "000.00 ", "012.35 "},
        {12.345, " ###.000", " 12.345"},
        {12.345, " ###.00", " 12.35"},
        {0.5, " ###.00", " .50"},
        {0.01234, "#0.0000", "0.0123"},
        {1.23456, "#0.0000", "1.2346"},
        {1234.5, "00000 ", "01235 "},
        {458162.012345, "000000.0000", "458162.0123"},
        {58162.5, "000000.0000", "058162.5000"},
        // the settings file and wavelength columns
        {12, "####.###", "12."},
        {0.5, "####.###", ".5"},
        {12.3456, "####.###", "12.346"},
        {0, "####.###", "."},
        {123456.25, "####.###", "123456.25"},
        {6562.8, "####.### ", "6562.8 "},
        // rounding half away from zero at the last digit shown
        {2.5, "0", "3"},
        {-2.5, "0", "-3"},
        {0.125, "0.00", "0.13"},
        {2.675, "0.00", "2.68"},  // 2.67499999... in binary, 2.675 to 15 digits
        {99.9996, "00.000", "100.000"},
        {9.99, "#0.0", "10.0"},
        // negative values: the sign goes in front; a value rounding to 0 has none
        {-1.5, " 00.00", "- 01.50"},
        {-12.345, "000.000", "-012.345"},
        {-0.001, "0.00", "0.00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatPattern(c.value, c.pattern), c.expected) << c.value << " with \"" << c.pattern << '"';
}

TEST(LeadingNumber, TakesTheLeadingNumericPart)
{
    EXPECT_EQ(leadingNumber("10,5"), 10.0);
    EXPECT_EQ(leadingNumber("abc"), 0.0);
    EXPECT_EQ(leadingNumber("1.5E2"), 150.0);
    EXPECT_EQ(leadingNumber(" 12 "), 12.0);
    EXPECT_EQ(leadingNumber(""), 0.0);
    EXPECT_EQ(leadingNumber("-"), 0.0);
    EXPECT_EQ(leadingNumber("-3.5x"), -3.5);
    EXPECT_EQ(leadingNumber("+7"), 7.0);
    EXPECT_EQ(leadingNumber(".5"), 0.5);
    EXPECT_EQ(leadingNumber("1.2.3"), 1.2);
    EXPECT_EQ(leadingNumber("1 2 3"), 123.0);  // blanks inside the number are skipped
    EXPECT_EQ(leadingNumber("\t-1 . 5"), -1.5);
    EXPECT_EQ(leadingNumber("1.5D1"), 15.0);
    EXPECT_EQ(leadingNumber("2e-1"), 0.2);
    EXPECT_EQ(leadingNumber("1e"), 1.0);    // an exponent without digits is not part of it
    EXPECT_EQ(leadingNumber("1E+"), 1.0);
    EXPECT_EQ(leadingNumber("   16 / bits per pixel"), 16.0);
    EXPECT_EQ(leadingNumber("'12:30:45'"), 0.0);
    EXPECT_EQ(leadingNumber("1e999"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(leadingNumber("-1e999"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(leadingNumber("1e-999"), 0.0);
    // Out of range by the length of the mantissa, not by the exponent.
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(leadingNumber(std::string(310, '9')), inf);
    EXPECT_EQ(leadingNumber("-00" + std::string(320, '1') + ".5e-5"), -inf);
    EXPECT_EQ(leadingNumber("0." + std::string(400, '0') + "1"), 0.0);
    EXPECT_EQ(leadingNumber(std::string(320, '1') + "e-700"), 0.0);
    EXPECT_EQ(leadingNumber("1e99999999999999999999"), inf);
}

TEST(PrintZones, ItemsStartEveryFourteenCharacters)
{
    EXPECT_EQ(PrintLine().number(1234, false).nextZone().number(5678, false).str(),
              " 1234" + std::string(9, ' ') + " 5678");
    EXPECT_EQ(PrintLine().number(-15, true).nextZone().number(2.5, true).str(),
              "-15 " + std::string(10, ' ') + " 2.5 ");
    // An item that fills its zone exactly moves the next one a whole zone on.
    EXPECT_EQ(PrintLine().text("12345678901234").nextZone().text("x").str(), "12345678901234              x");
    EXPECT_EQ(PrintLine().nextZone().text("x").str(), std::string(14, ' ') + "x");
}

TEST(Paths, OneSeparatorBetweenFolderAndName)
{
    const std::string sep(1, pathSeparator());
    EXPECT_EQ(joinPath("obs", "a.fit"), "obs" + sep + "a.fit");
    EXPECT_EQ(joinPath("obs" + sep, "a.fit"), "obs" + sep + "a.fit");
    EXPECT_EQ(joinPath(sep, "a.fit"), sep + "a.fit");
    EXPECT_EQ(joinPath("", "a.fit"), "a.fit");
}

}  // namespace
}  // namespace lv

namespace lv {
namespace {

// A header's exposure of 4.4E+15 s once kept the report line in this loop for hours.
TEST(CarryClock, RealTimesStepwiseAndNonsenseEnds)
{
    double h = 23, m = 59, s = 125.5;
    carryClock(h, m, s);
    EXPECT_EQ(h, 24);
    EXPECT_EQ(m, 1);
    EXPECT_EQ(s, 5.5);
    for (const double huge : {4444444444444444.0, 1e30, 1e300, std::numeric_limits<double>::infinity()}) {
        h = 0, m = 0, s = huge;
        carryClock(h, m, s);
        EXPECT_FALSE(s >= 60) << huge;
        EXPECT_FALSE(m >= 60) << huge;
    }
    h = 0, m = 0, s = 90000.25;  // a day and more: carried in one run, then exactly
    carryClock(h, m, s);
    EXPECT_EQ(h, 25);
    EXPECT_EQ(m, 0);
    EXPECT_EQ(s, 0.25);
}

}  // namespace
}  // namespace lv
