#include "processing/corrections.h"

#include <cstdint>
#include <functional>
#include <random>

#include <gtest/gtest.h>

#include "app/image_commands.h"
#include "fits_builder.h"
#include "processing/filters.h"

namespace lv {
namespace {

using Row = std::vector<std::int32_t>;

FitsImage imageOf(int w, int h, const Row& values)
{
    FitsImage img;
    img.allocate(w, h, 1);
    img.pixels.assign(values.begin(), values.end());
    img.bitpix = 32;
    return img;
}

Row rowOf(const FitsImage& img, int y)
{
    const auto first = img.pixels.begin() + y * img.naxis1;
    return Row(first, first + img.naxis1);
}

// What the commands work on besides the image.
struct Job {
    UndoBuffer undo;
    FitState fit;
    std::int32_t lineRow = 0;
    AppState state;
    ScriptedPlatform platform;
    bool fit5(FitsImage& img) { return fifthFunctionApproximation(img, undo, fit, lineRow, platform); }
    bool limb(FitsImage& img) { return limbDarkening(img, undo, fit, lineRow, platform); }
    std::vector<std::string> messages() const { return platform.messageTexts(); }
};

// ---- polynomial fit ----------------------------------------------------------

TEST(PolynomialFit, HandWorkedLeastSquaresParabola)
{
    // 0, 0, 35, 0, 0: by symmetry y = a (x - 2)^2 + d; the normal equations
    // 34a + 10d = 0 and 10a + 5d = 35 give a = -5, d = 17, i.e. -5x^2 + 20x - 3.
    FitsImage img = imageOf(5, 1, {0, 0, 35, 0, 0});
    FitMatrix m{};
    ASSERT_TRUE(fitRow(img, 0, 2, m));
    EXPECT_NEAR(m[0][3], -5, 1e-9);
    EXPECT_NEAR(m[1][3], 20, 1e-9);
    EXPECT_NEAR(m[2][3], -3, 1e-9);
    EXPECT_NEAR(fittedValue(m, 2, 2.0), 17, 1e-9);
}

TEST(PolynomialFit, FifthFunctionApproximationReproducesPolynomialRows)
{
    const int w = 100;
    Row px;
    for (int x = 0; x < w; ++x) px.push_back(2 * x + 7);
    for (int x = 0; x < w; ++x) px.push_back(x * (x - 1) * (x - 2) / 6 * (x - 3) / 4 * (x - 4) / 5);  // C(x, 5)
    for (int x = 0; x < w; ++x) px.push_back(1234);
    FitsImage img = imageOf(w, 3, px);
    Job job;
    job.fit.degree = 2;
    ASSERT_TRUE(job.fit5(img));
    EXPECT_EQ(img.pixels, px);
    EXPECT_EQ(job.lineRow, 2);
    EXPECT_EQ(job.fit.degree, 5);
    EXPECT_EQ(job.messages(), std::vector<std::string>{"completion"});
}

TEST(PolynomialFit, RowsShorterThanSixPixelsAreRefused)
{
    for (int w = 1; w <= 5; ++w) {
        SCOPED_TRACE(w);
        Row px;
        for (int x = 0; x < 2 * w; ++x) px.push_back(10 + 3 * x);
        FitsImage img = imageOf(w, 2, px);
        FitMatrix m{};
        EXPECT_FALSE(fitRow(img, 0, 5, m));
        EXPECT_EQ(fitRow(img, 0, 2, m), w >= 3);
        Job job;
        EXPECT_FALSE(job.fit5(img));
        EXPECT_FALSE(job.limb(img));
        EXPECT_EQ(img.pixels, px);
        EXPECT_FALSE(job.undo.available());
        EXPECT_EQ(job.messages(), std::vector<std::string>(2, kZeroPivotMessage));
    }
}

// ---- limb darkening ---------------------------------------------------------

TEST(LimbDarkening, PolynomialRowsBecomeTheirRowMean)
{
    Row px;
    for (int x = 0; x < 10; ++x) px.push_back(x * x + 100);     // sum 1285, mean 128.5 -> 128
    for (int x = 0; x < 10; ++x) px.push_back(500 - 3 * x);     // sum 4865, mean 486.5 -> 486
    for (int x = 0; x < 10; ++x) px.push_back(2000000000);      // a row sum beyond 32 bits
    FitsImage img = imageOf(10, 3, px);
    ASSERT_TRUE(Job().limb(img));
    EXPECT_EQ(rowOf(img, 0), Row(10, 128));
    EXPECT_EQ(rowOf(img, 1), Row(10, 486));
    EXPECT_EQ(rowOf(img, 2), Row(10, 2000000000));
    EXPECT_EQ(img.minValue, 128);
    EXPECT_EQ(img.maxValue, 2000000000);
}

TEST(LimbDarkening, AFitThatIsZeroAtAColumnChangesNothing)
{
    // Row 0 alone could be corrected; row 1 (all 0) fits P = 0 everywhere.
    Row px(20, 0);
    for (int x = 0; x < 10; ++x) px[static_cast<std::size_t>(x)] = 300 + 7 * x;
    FitsImage img = imageOf(10, 2, px);
    Job job;
    EXPECT_FALSE(job.limb(img));
    EXPECT_EQ(img.pixels, px);
    EXPECT_FALSE(job.undo.available());
    ASSERT_EQ(job.messages().size(), 1u);
    EXPECT_NE(job.messages()[0].find("row 1"), std::string::npos) << job.messages()[0];
}

// ---- bow correction -----------------------------------------------------------

struct Bow : Job {
    test::TempDir dir;
    FitsImage img;
    Row before;

    // 6 columns, 12 rows of 100y + x + 1, but row 3 the ramp 4x and rows 4
    // and 5 the uneven row 10, 13, 20, 21, 0, 7.
    Bow()
    {
        const Row uneven = {10, 13, 20, 21, 0, 7};
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 6; ++x)
                before.push_back(y == 3 ? 4 * x : y == 4 || y == 5 ? uneven[static_cast<std::size_t>(x)] : 100 * y + x + 1);
        img = imageOf(6, 12, before);
    }
    bool run(const char* csv)  // nullptr: no bow.csv at all
    {
        if (csv) test::writeFile(dir.file("bow.csv"), csv);
        return bowCorrection(img, undo, dir.file("bow.csv"), platform);
    }
};

TEST(BowCorrection, WorkedShifts)
{
    Bow b;
    ASSERT_TRUE(b.run("10,2\r\n4,0.5\r\n5,-0.5\r\n\r\n3,-1.25\r\n7,3\r\n7,1\r\n8,9\r\n9,-7\r\n"));
    EXPECT_TRUE(b.messages().empty());
    // Two columns right; columns 0 and 1 keep their values.
    EXPECT_EQ(rowOf(b.img, 10), (Row{1001, 1002, 1001, 1002, 1003, 1004}));
    // Midpoints of B(x - 1) and B(x), halves up: 11.5 -> 12, 16.5 -> 17, ...
    EXPECT_EQ(rowOf(b.img, 4), (Row{10, 12, 17, 21, 11, 4}));
    // The same midpoints, then one column left; the last column keeps its value.
    EXPECT_EQ(rowOf(b.img, 5), (Row{12, 17, 21, 11, 4, 4}));
    // f = 0.75, n = -2: the value at x + 1.25 of the ramp 4x, i.e. 4x + 5.
    EXPECT_EQ(rowOf(b.img, 3), (Row{5, 9, 13, 17, 13, 17}));
    // Listed twice: the last value, 1.
    EXPECT_EQ(rowOf(b.img, 7), (Row{701, 701, 702, 703, 704, 705}));
    // Whole shifts of NAXIS1 or more move nothing.
    EXPECT_EQ(rowOf(b.img, 8), (Row{801, 802, 803, 804, 805, 806}));
    EXPECT_EQ(rowOf(b.img, 9), (Row{901, 902, 903, 904, 905, 906}));
    b.undo.restore(b.img);
    EXPECT_EQ(b.img.pixels, b.before);
}

TEST(BowCorrection, BadTablesChangeNothing)
{
    const struct {
        const char* csv;
        const char* says;
    } bad[] = {
        {"10,2\n10;2\n", "line 2"}, {"10,2\nx,1\n", "line 2"}, {"10,2\n3073,1\n", "line 2"},
        {"10,2\n-1,1\n", "line 2"}, {"10,2\n4,\n", "line 2"},  {"10,2\r\n1,1\r\n5,2,3\r\n", "line 3"},
        {nullptr, "bow.csv"},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.csv ? c.csv : "missing");
        Bow b;
        EXPECT_FALSE(b.run(c.csv));
        EXPECT_EQ(b.img.pixels, b.before);
        EXPECT_FALSE(b.undo.available());
        ASSERT_EQ(b.messages().size(), 1u);
        EXPECT_NE(b.messages()[0].find(c.says), std::string::npos) << b.messages()[0];
    }
}

TEST(LimbAndBow, WithNoImageSayThereIsNone)
{
    FitsImage empty;
    UndoBuffer undo;
    FitState fit;
    std::int32_t lineRow = 0;
    ScriptedPlatform platform;
    EXPECT_FALSE(limbDarkening(empty, undo, fit, lineRow, platform));
    EXPECT_FALSE(bowCorrection(empty, undo, "bow.csv", platform));
    // Said at once, before any question.
    ASSERT_EQ(platform.shown.size(), 2u);
    for (const auto& shown : platform.shown) {
        EXPECT_FALSE(shown.question);
        EXPECT_EQ(shown.text, "You do not open the data file");
    }
    EXPECT_FALSE(undo.available());
}

// ---- calculation -------------------------------------------------------------

TEST(Calculation, RoundsHalvesToEvenClampsAndCountsZeros)
{
    Job r;
    FitsImage img = imageOf(4, 1, {3, 5, 0, 7});
    calculate(img, r.undo, r.state, Calculation::Multiplication, 0.5, false);
    EXPECT_EQ(img.pixels, (Row{2, 2, 0, 4}));  // 1.5, 2.5, 0, 3.5
    EXPECT_EQ(img.minValue, 0);
    EXPECT_EQ(img.maxValue, 4);

    FitsImage big = imageOf(2, 1, {2147483600, -2000000000});
    calculate(big, r.undo, r.state, Calculation::Addition, 100, false);
    EXPECT_EQ(big.pixels, (Row{INT32_MAX, -1999999900}));
    calculate(big, r.undo, r.state, Calculation::Multiplication, 2, false);
    EXPECT_EQ(big.pixels, (Row{INT32_MAX, INT32_MIN}));
}

TEST(Calculation, WholeFileReadingAppliesToLaterReadsUntilSwitchedOff)
{
    test::TempDir dir;
    const std::string file = dir.file("frame.fit");
    test::writeFile(file, test::simpleFits(16, 2, 1, {}, test::bytes16({500, 1001})));
    Session s;
    ScriptedPlatform platform;
    auto read = [&]() -> std::vector<std::int32_t> {
        EXPECT_TRUE(openImage(s, {file, OpenWay::Command, false}, platform).opened);
        return {s.image.pixels.begin(), s.image.pixels.end()};
    };
    ASSERT_EQ(read(), (Row{500, 1001}));
    calculate(s.image, s.processing.undo, s.state, Calculation::Addition, -100, true);
    EXPECT_EQ(s.image.pixels, (Row{400, 901}));
    EXPECT_EQ(read(), (Row{400, 901}));
    calculate(s.image, s.processing.undo, s.state, Calculation::Multiplication, 0.5, true);
    EXPECT_EQ(read(), (Row{250, 500}));  // 500.5 -> 500
    calculate(s.image, s.processing.undo, s.state, Calculation::Addition, 3, false);
    EXPECT_EQ(s.image.pixels, (Row{253, 503}));
    EXPECT_EQ(read(), (Row{500, 1001}));
}

// ---- inclination compensation --------------------------------------------------

TEST(Inclination, RowsBecomeFlatAtTheLineValueOfTheMiddleColumn)
{
    Row px;
    for (int x = 0; x <= 10; ++x) px.push_back(100 + 10 * x);  // 100 ... 200
    // Line -50 + 10x, exactly 0 at column 5; the deviations at 4, 5, 6 sum to 0
    // with their moments, so the fitted line stays the same.
    const Row zero = {-50, -40, -30, -20, -17, 14, 3, 20, 30, 40, 50};
    px.insert(px.end(), zero.begin(), zero.end());
    px.insert(px.end(), 11, 300);
    FitsImage img = imageOf(11, 3, px);
    UndoBuffer undo;
    std::int32_t lineRow = 0;
    std::vector<int> told;
    compensateAllRows(img, undo, lineRow, [&](int r) { told.push_back(r); });
    // c = b + a * NAXIS1 / 2 = 100 + 10 * 5.5.
    EXPECT_EQ(rowOf(img, 0), Row(11, 155));
    // c = 5: -17 * 5 / -10 = 8.5 -> 8, 3 * 5 / 10 = 1.5 -> 2; column 5 keeps 14.
    EXPECT_EQ(rowOf(img, 1), (Row{5, 5, 5, 5, 8, 14, 2, 5, 5, 5, 5}));
    EXPECT_EQ(rowOf(img, 2), Row(11, 300));
    EXPECT_EQ(told, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(lineRow, 2);
    EXPECT_EQ(img.minValue, 2);
    EXPECT_EQ(img.maxValue, 300);
}

// ---- undo --------------------------------------------------------------------

TEST(Undo, RestoresTheExactPixelsAfterEveryCommand)
{
    std::mt19937 rng(4606);
    std::uniform_int_distribution<std::int32_t> value(1000, 5000);
    Row px(16 * 12);
    for (auto& v : px) v = value(rng);
    test::TempDir dir;
    test::writeFile(dir.file("bow.csv"), "3,1.5\n");
    std::vector<std::function<void(FitsImage&, Job&)>> commands;
    for (NoiseFilter f : {NoiseFilter::HotCool, NoiseFilter::ThreePoint, NoiseFilter::FivePoint,
                          NoiseFilter::ShadeAverage, NoiseFilter::ShadeMedian})
        commands.push_back([f](FitsImage& i, Job& r) { runNoiseFilter(f, i, r.undo, r.platform); });
    commands.push_back([](FitsImage& i, Job& r) { r.fit5(i); });
    commands.push_back([](FitsImage& i, Job& r) { r.limb(i); });
    commands.push_back([&](FitsImage& i, Job& r) { bowCorrection(i, r.undo, dir.file("bow.csv"), r.platform); });
    commands.push_back([](FitsImage& i, Job& r) { calculate(i, r.undo, r.state, Calculation::Addition, 7, false); });
    commands.push_back([](FitsImage& i, Job& r) { calculate(i, r.undo, r.state, Calculation::Multiplication, 2, false); });
    commands.push_back([](FitsImage& i, Job& r) { compensateAllRows(i, r.undo, r.lineRow, {}); });
    Job job;  // one undo copy for the whole run, as in the application
    for (std::size_t n = 0; n < commands.size(); ++n) {
        SCOPED_TRACE(n);
        FitsImage img = imageOf(16, 12, px);
        commands[n](img, job);
        EXPECT_NE(img.pixels, px);
        ASSERT_TRUE(job.undo.available());
        job.undo.restore(img);
        EXPECT_EQ(img.pixels, px);
        EXPECT_FALSE(job.undo.available());
    }
}

}  // namespace
}  // namespace lv
