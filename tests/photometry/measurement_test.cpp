#include "photometry/measurement.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include <gtest/gtest.h>

#include "core/conventions.h"
#include "core/demo_frames.h"
#include "core/fits_reader.h"
#include "fits_builder.h"
#include "photometry/photometry_run.h"
#include "photometry/positions.h"

namespace lv {
namespace {

FitsImage flat(int w, int h, std::int32_t value)
{
    FitsImage img;
    img.allocate(w, h, 1);
    std::fill(img.pixels.begin(), img.pixels.end(), value);
    img.minValue = img.maxValue = value;
    return img;
}

PhotometryState stateWithStar(int slot, int x, int y)
{
    PhotometryState ph;
    setStarPosition(ph, slot, {x, y});
    return ph;
}

// Random values, some negative, so that ties and edges are exercised.
FitsImage noise(int w, int h, std::uint32_t seed)
{
    FitsImage img;
    img.allocate(w, h, 1);
    for (auto& v : img.pixels) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<std::int32_t>((seed >> 16) % 200) - 60;
    }
    return img;
}

TEST(SkySamples, CircleRingMatchesTheRoundedDistanceRule)
{
    const FitsImage img = noise(40, 30, 7);
    for (double inner : {-3.0, 0.0, 0.4, 1.0, 2.5, 3.0, 7.2}) {
        for (double outer : {-1.0, 0.3, 1.0, 3.5, 4.0, 9.9, 60.0}) {
            for (PixelPosition c : {PixelPosition{20, 15}, PixelPosition{0, 0}, PixelPosition{39, 2}}) {
                PhotometryState ph = stateWithStar(kComparison, c.x, c.y);
                ph.settings.skyInner = inner;
                ph.settings.skyOuter = outer;
                std::vector<std::int32_t> expected;
                for (int x = 0; x < img.naxis1; ++x)
                    for (int y = 0; y < img.naxis2; ++y) {
                        const int d = static_cast<int>(std::floor(std::hypot(x - c.x, y - c.y) + 0.5));
                        if (inner <= d && d <= outer) expected.push_back(img.at(x, y));
                    }
                std::vector<std::int32_t> got = skySamples(img, ph, kComparison);
                std::sort(expected.begin(), expected.end());
                std::sort(got.begin(), got.end());
                EXPECT_EQ(got, expected) << inner << " " << outer << " at " << c.x << "," << c.y;
            }
        }
    }
}

TEST(PeakSearch, FindsTheFirstLargestBoxAsAFullScanDoes)
{
    for (std::uint32_t seed = 1; seed <= 40; ++seed) {
        const FitsImage img = noise(25, 21, seed);
        const int size = static_cast<int>(seed % 5) + 1;
        const int span = static_cast<int>(seed % 7) + 1;
        const PixelPosition start{static_cast<int>(seed * 7 % 25), static_cast<int>(seed * 3 % 21)};
        // The reference: every centre in column order, boxes clipped to the image.
        const int h = size / 2;
        long long best = 0;
        std::optional<PixelPosition> want;
        for (int cx = start.x - span; cx <= start.x + span; ++cx)
            for (int cy = start.y - span; cy <= start.y + span; ++cy) {
                long long sum = 0;
                for (int x = cx - h; x <= cx + h; ++x)
                    for (int y = cy - h; y <= cy + h; ++y) sum += img.value(x, y);
                if (sum > best) {
                    best = sum;
                    want = PixelPosition{cx, cy};
                }
            }
        PhotometryState ph = stateWithStar(kComparison, start.x, start.y);
        ph.settings.apertureShape = ApertureShape::Square;
        ph.settings.apertureSize = size;
        ph.settings.searchSpan = span;
        EXPECT_EQ(peakSearch(img, ph, kComparison), want.has_value()) << seed;
        if (want) {
            EXPECT_EQ(ph.fieldPosition(kComparison), *want) << seed;
        }
    }
}

TEST(Aperture, PixelCountsOfCirclesAndSquares)
{
    const FitsImage img = flat(50, 50, 1);
    const std::pair<int, long long> circles[] = {{1, 9}, {2, 21}, {3, 37}};
    for (const auto& [r, pixels] : circles) {
        PhotometryState ph = stateWithStar(kComparison, 25, 25);
        ph.settings.apertureSize = r;
        Measurement m;
        apertureSum(img, ph, kComparison, m);
        EXPECT_EQ(m.count[kComparison], pixels) << "radius " << r;
        EXPECT_EQ(m.sum[kComparison], static_cast<double>(pixels));
    }
    const std::pair<int, long long> squares[] = {{4, 25}, {3, 9}, {2, 9}, {1, 1}};
    for (const auto& [size, pixels] : squares) {
        PhotometryState ph = stateWithStar(kComparison, 25, 25);
        ph.settings.apertureShape = ApertureShape::Square;
        ph.settings.apertureSize = size;
        Measurement m;
        apertureSum(img, ph, kComparison, m);
        EXPECT_EQ(m.count[kComparison], pixels) << "size " << size;
    }
}

TEST(Aperture, PixelsBeyondTheBorderAreLeftOut)
{
    const FitsImage img = flat(10, 10, 2);
    PhotometryState ph = stateWithStar(kComparison, 0, 0);
    Measurement m;
    apertureSum(img, ph, kComparison, m);  // radius 3 at the corner
    EXPECT_EQ(m.count[kComparison], 13);   // the quarter disc with its two edges
    EXPECT_EQ(m.sum[kComparison], 26.0);
    ph.setFieldPosition(kComparison, {-50, 400});
    Measurement outside;
    apertureSum(img, ph, kComparison, outside);
    EXPECT_EQ(outside.count[kComparison], 0);
}

TEST(Sky, LowerMedianAndSampleAreas)
{
    EXPECT_EQ(lowerMedian({8, 1, 7, 2, 6, 3, 5, 4}), 4);
    EXPECT_EQ(lowerMedian({7, 1, 6, 2, 5, 3, 4}), 4);
    EXPECT_EQ(lowerMedian({5}), 5);
    EXPECT_EQ(lowerMedian({}), std::nullopt);

    const FitsImage img = flat(100, 100, 3);
    PhotometryState ph = stateWithStar(kComparison, 50, 50);
    ph.settings.apertureShape = ApertureShape::Square;
    ph.settings.skyInner = 10;
    ph.settings.skyOuter = 20;
    EXPECT_EQ(skySamples(img, ph, kComparison).size(), 8u * (5 + 6 + 7 + 8 + 9 + 10));  // rings w = 5 ... 10
    ph.settings.skyInner = 11;  // Int(11 / 2) is still 5
    EXPECT_EQ(skySamples(img, ph, kComparison).size(), 360u);

    // The annulus takes the rounded distances inner ... outer.
    ph.settings.apertureShape = ApertureShape::Circle;
    ph.settings.skyInner = 1;
    ph.settings.skyOuter = 1;
    EXPECT_EQ(skySamples(img, ph, kComparison).size(), 8u);  // the 3 x 3 ring: diagonals round to 1
}

TEST(Magnitude, FromSumAndSky)
{
    Measurement m;
    m.sum[kComparison] = 1100;
    m.sum[kComparisonSky] = 100;
    const auto mag = instrumentalMagnitude(m, kComparison);
    ASSERT_TRUE(mag);
    EXPECT_NEAR(*mag, 12.464340704, 1e-9);
    EXPECT_DOUBLE_EQ(roundMagnitude(*mag, 2), 12.46);
    EXPECT_DOUBLE_EQ(roundMagnitude(*mag, 3), 12.464);
    m.sum[kComparisonSky] = 1100;
    EXPECT_FALSE(instrumentalMagnitude(m, kComparison));  // no logarithm of zero
    m.sum[kComparisonSky] = 2000;
    EXPECT_FALSE(instrumentalMagnitude(m, kComparison));
}

TEST(PeakSearch, ScanOrderTiesAndBorders)
{
    FitsImage img = flat(40, 40, 0);
    img.at(10, 12) = 50;
    img.at(10, 8) = 50;  // same box sum, same x, smaller y: wins
    img.at(14, 5) = 50;  // larger x: loses the tie
    PhotometryState ph = stateWithStar(kComparison, 10, 10);
    ph.settings.apertureSize = 1;  // 1 x 1 boxes
    ph.settings.searchSpan = 5;
    ph.settings.positionMode = PositionMode::PeakCast;
    ASSERT_TRUE(peakSearch(img, ph, kComparison));
    EXPECT_EQ(ph.fieldPosition(kComparison), (PixelPosition{10, 8}));
    EXPECT_EQ(ph.fieldPosition(kComparisonSky), (PixelPosition{30, 8}));  // moved by the same (0, -2)
    EXPECT_EQ(ph.slotPositions[kComparison], (PixelPosition{10, 10}));   // "Peak cast" keeps the table

    ph.settings.positionMode = PositionMode::PeakCastAndMove;
    img.at(7, 9) = 60;
    ASSERT_TRUE(peakSearch(img, ph, kComparison));
    EXPECT_EQ(ph.slotPositions[kComparison], (PixelPosition{7, 9}));
    EXPECT_EQ(ph.slotPositions[kComparisonSky], (PixelPosition{27, 9}));
    EXPECT_EQ(ph.fieldX[kComparison], " 7");

    // A search window reaching past the corner still finds the bright pixel.
    FitsImage corner = flat(20, 20, 0);
    corner.at(0, 0) = 9;
    PhotometryState c = stateWithStar(kCheck, 2, 2);
    ASSERT_TRUE(peakSearch(corner, c, kCheck));
    EXPECT_EQ(c.fieldPosition(kCheck), (PixelPosition{-1, -1}));  // first 3 x 3 box holding it

    // Nothing positive: the positions stay where they were.
    FitsImage dark = flat(20, 20, -5);
    PhotometryState d = stateWithStar(kVariable, 10, 10);
    d.setFieldPosition(kVariable, {3, 4});
    EXPECT_FALSE(peakSearch(dark, d, kVariable));
    EXPECT_EQ(d.fieldPosition(kVariable), (PixelPosition{3, 4}));
    EXPECT_EQ(d.slotPositions[kVariable], (PixelPosition{10, 10}));
}

TEST(Measure, SumsBeyondThirtyTwoBitsDoNotWrap)
{
    FitsImage img = flat(60, 60, 1000);
    for (int y = 28; y <= 32; ++y)
        for (int x = 28; x <= 32; ++x) img.at(x, y) = 2000000000;
    PhotometryState ph = stateWithStar(kComparison, 30, 30);
    setStarPosition(ph, kVariable, {30, 30});
    setStarPosition(ph, kCheck, {30, 30});
    ph.settings.positionMode = PositionMode::Fixed;
    const Measurement m = measureStars(img, ph);
    // 25 pixels of 2e9 and 12 of 1000 in the radius-3 disc.
    EXPECT_EQ(m.sum[kComparison], 25 * 2e9 + 12 * 1000.0);
    EXPECT_EQ(m.sum[kComparisonSky], 1000.0 * 37);
    EXPECT_NEAR(*instrumentalMagnitude(m, kComparison), 20 - 2.511886432 * std::log10(25 * 2e9 + 12 * 1000.0 - 37000), 1e-9);
}

// Builds a header of records for the observation-time tests.
FitsImage withHeader(const std::vector<std::string>& records)
{
    FitsImage img = flat(1, 1, 0);
    for (const std::string& r : records) img.cards.push_back(test::rawCard(r));
    img.cards.push_back(test::endCard());
    return img;
}

TEST(ResultAndReport, LinesOfTheWorkedExample)
{
    const FitsImage img = withHeader({"DATE-OBS= '15/02/18'", "UT      = '12:30:45'", "EXPTIME =                   30"});
    const ObservationHeader h = readObservationHeader(img);
    EXPECT_EQ(h.dateText, "15/02/18");
    EXPECT_EQ(h.timeText, "12:30:45");
    EXPECT_EQ(resultLine(h, 11.234, 10.5, 12.345, 3),
              "15/02/18 12:30:45 030 Check= 11.234 Comp= 10.500 Var= 12.345");
    EXPECT_EQ(resultLine(h, 11.234, 10.5, 12.345, 2),
              "15/02/18 12:30:45 030 Check= 11.23 Comp= 10.50 Var= 12.35");  // 12.345 rounds away from zero
    ComparisonStar star{"RZ Cas", 10.0, 1, "ABC"};
    EXPECT_EQ(reportLine(h, 11.234, 10.5, 12.345, 3, star),
              "RZ Cas 20180215123100 K= 11.234 C= 10.500 V= 12.345  11.845V ABC");

    // Several DATE-OBS records: the last that holds a date is the date.
    EXPECT_EQ(readObservationHeader(withHeader({"DATE-OBS= '14/02/18'", "DATE-OBS= '15/02/18'", "DATE-OBS= 'none'"}))
                  .dateText,
              "15/02/18");

    // The same observation with a year-month-day date gives the same report.
    const FitsImage iso = withHeader({"DATE-OBS= '2018-02-15T12:30:45'", "EXPTIME =                   30"});
    const ObservationHeader hi = readObservationHeader(iso);
    EXPECT_EQ(hi.dateText, "2018-02-15");
    EXPECT_EQ(hi.timeText, "12:30:45");
    EXPECT_EQ(reportLine(hi, 11.234, 10.5, 12.345, 3, star), reportLine(h, 11.234, 10.5, 12.345, 3, star));
    star.filterIndex = 2;
    const std::string withR = *reportLine(hi, 11.234, 10.5, 12.345, 3, star);
    EXPECT_EQ(withR.substr(withR.size() - 14), "  11.845Rc ABC");
}

TEST(ResultAndReport, TimesDatesAndExposures)
{
    // JST before 09:00: the date moves to the next day.
    ObservationHeader h = readObservationHeader(withHeader({"DATE-OBS= '31/01/18'", "JST     = '05:20:00'", "UT      = '20:20:00'"}));
    EXPECT_EQ(h.dateText, "01/02/18");
    EXPECT_EQ(h.timeText, "05:20:00");  // the first JST record wins
    h = readObservationHeader(withHeader({"DATE-OBS= '1999-12-31'", "JST     = '01:00:00'"}));
    EXPECT_EQ(h.dateText, "2000-01-01");
    EXPECT_EQ(dateText(nextDay(*parseDate("31/12/99"))), "01/01/00");  // two digits stay two
    EXPECT_EQ(dateText(nextDay(*parseDate("28/02/20"))), "29/02/20");
    EXPECT_EQ(dateText(nextDay(*parseDate("28/02/19"))), "01/03/19");
    EXPECT_EQ(dateText(previousDay(*parseDate("2018-03-01"))), "2018-02-28");

    // UT rebuilt with two digits each; TIME-OBS taken as it stands.
    h = readObservationHeader(withHeader({"UT      = '1:2:3.6'"}));
    EXPECT_EQ(h.timeText, "01:02:04");
    h = readObservationHeader(withHeader({"TIME-OBS= '23:59:59.5'"}));
    EXPECT_EQ(h.timeText, "23:59:59");

    // Mid-exposure past midnight: counted on from the evening's date.
    const ComparisonStar star{"X", 0.0, 1, "C"};
    ObservationHeader late{"02/03/18", "00:59:50", 40.0, false};
    EXPECT_EQ(reportLine(late, 1, 1, 1, 3, star)->substr(0, 16), "X 20180301250010");
    // The half exposure is that of the three exposure characters (19 to 21 of
    // the day/month/year form): 1200 s is read there as 120, so 60 s are added.
    ObservationHeader longExposure{"15/02/18", "12:00:00", 1200.0, false};
    EXPECT_EQ(resultLine(longExposure, 1, 1, 1, 3).substr(18, 4), "1200");
    EXPECT_EQ(reportLine(longExposure, 1, 1, 1, 3, star)->substr(0, 16), "X 20180215120100");
    longExposure.dateText = "2018-02-15";
    EXPECT_EQ(reportLine(longExposure, 1, 1, 1, 3, star)->substr(0, 16), "X 20180215120100");
    ObservationHeader shortExposure{"15/02/18", "12:00:00", 999.0, false};
    EXPECT_EQ(reportLine(shortExposure, 1, 1, 1, 3, star)->substr(0, 16), "X 20180215120820");  // + 499.5 s
    // No exposure and no time: left out of the result line; no report line.
    ObservationHeader bare{"2018-02-15", "", 0.0, false};
    EXPECT_EQ(resultLine(bare, 1, 2, 3, 2), "2018-02-15 Check= 01.00 Comp= 02.00 Var= 03.00");
    EXPECT_FALSE(reportLine(bare, 1, 2, 3, 2, star));
}

TEST(Run, MessagesFieldsAndClipboard)
{
    // A bright comparison, nothing at the variable and check positions.
    FitsImage img = flat(80, 80, 100);
    img.at(20, 20) = 5000;
    img.cards = {test::rawCard("DATE-OBS= '15/02/18'"), test::rawCard("UT      = '12:30:45'"), test::endCard()};
    PhotometryState ph;
    setStarPosition(ph, kComparison, {20, 20});
    setStarPosition(ph, kVariable, {60, 60});
    setStarPosition(ph, kCheck, {40, 60});
    ph.variableMagnitude = " 9.9";
    ScriptedPlatform platform;
    PhotometryOutcome out = runPhotometry(img, ph, true, platform);
    EXPECT_FALSE(out.allMeasured);
    ASSERT_EQ(platform.shown.size(), 1u);  // one "No Star" for two failing stars
    EXPECT_EQ(platform.shown[0].text, "No Star");
    EXPECT_EQ(platform.shown[0].title, "Photometry");
    EXPECT_EQ(ph.comparisonMagnitude, numberText(roundMagnitude(20 - 2.511886432 * std::log10(4900.0), 3)));
    EXPECT_EQ(ph.variableMagnitude, " 9.9");  // kept
    EXPECT_EQ(platform.clipboardWrites, 0);
    EXPECT_EQ(platform.beeps, 1);

    // All three measured: the result line goes to the clipboard; with a
    // filter, the report line replaces it.
    img.at(60, 60) = 3000;
    img.at(40, 60) = 2000;
    platform = ScriptedPlatform{};
    out = runPhotometry(img, ph, false, platform);
    ASSERT_TRUE(out.allMeasured);
    EXPECT_TRUE(platform.shown.empty());
    EXPECT_EQ(platform.clipboardText, out.resultLine);
    ph.comparison.filterIndex = 1;
    out = runPhotometry(img, ph, false, platform);
    ASSERT_TRUE(out.reportLine);
    EXPECT_EQ(platform.clipboardText, *out.reportLine);

    // A sky area wholly outside the image: a clear message, no magnitude.
    FitsImage tiny = flat(5, 5, 10);
    tiny.at(2, 2) = 500;
    PhotometryState t;
    for (int s : kStarSlots) setStarPosition(t, s, {2, 2});
    platform = ScriptedPlatform{};
    out = runPhotometry(tiny, t, false, platform);
    EXPECT_FALSE(out.allMeasured);
    ASSERT_EQ(platform.shown.size(), 3u);
    EXPECT_NE(platform.shown[0].text.find("No sky sample"), std::string::npos);
    EXPECT_FALSE(out.magnitudes[0]);
}

// Against the truth: the synthetic run's stars have known magnitudes. The
// measured differences may differ from the true ones by the 0.5 % scale of
// the magnitude formula (at most 0.008 on the 1.5 magnitudes of V - C at
// mid-eclipse) and by photon noise (below 0.003 for the faintest state of
// the variable): 0.02 leaves room for both.
TEST(Run, DemoFramesAgreeWithTheTrueMagnitudes)
{
    test::TempDir dir;
    std::string error;
    ASSERT_TRUE(writeDemoRun(dir.path().string(), error)) << error;
    const DemoRun run = demoRun();
    PhotometryState ph;  // the application's defaults: circle 3, median sky 10 ... 20, peak & move
    setStarPosition(ph, kComparison, {static_cast<int>(run.stars[0].x), static_cast<int>(run.stars[0].y)});
    setStarPosition(ph, kVariable, {static_cast<int>(run.stars[1].x), static_cast<int>(run.stars[1].y)});
    setStarPosition(ph, kCheck, {static_cast<int>(run.stars[2].x), static_cast<int>(run.stars[2].y)});
    FitsImage image;
    AppState state;
    ScriptedPlatform platform;
    for (int f = 0; f < run.frames; ++f) {
        ASSERT_EQ(readFitsFile(image, state, dir.file(DemoRun::frameName(f)), ReadForm::Command, platform), 0);
        const PhotometryOutcome out = runPhotometry(image, ph, false, platform);
        ASSERT_TRUE(out.allMeasured) << f;
        const double c = *out.magnitudes[0], v = *out.magnitudes[1], k = *out.magnitudes[2];
        EXPECT_NEAR(v - c, run.variableMagnitude(f) - run.stars[0].magnitude, 0.02) << DemoRun::frameName(f);
        EXPECT_NEAR(c - k, run.stars[0].magnitude - run.stars[2].magnitude, 0.02) << DemoRun::frameName(f);
    }
    // The stars were followed through the drift.
    EXPECT_NEAR(ph.slotPositions[kVariable].x, run.stars[1].x + run.driftX(run.frames - 1), 1.0);
    EXPECT_NEAR(ph.slotPositions[kVariable].y, run.stars[1].y + run.driftY(run.frames - 1), 1.0);
}

}  // namespace
}  // namespace lv
