// Each star's error, peak, width and flags, and the times and positions the
// header gives: the error model against the scatter of repeated noise
// realisations of one frame, the width against Gaussian stars.
#include "photometry/star_quality.h"

#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "fits_builder.h"
#include "synthetic_stars.h"
#include "photometry/observation_times.h"
#include "photometry/photometry_run.h"
#include "photometry/positions.h"

namespace lv {
namespace {

using test::expose;
using test::signalOf;
using test::Star;

PhotometryState threeStars(const std::vector<Star>& stars)
{
    PhotometryState ph;
    ph.settings.positionMode = PositionMode::Fixed;
    ph.settings.apertureShape = ApertureShape::Circle;
    ph.settings.apertureSize = 5;
    ph.settings.skyInner = 10;
    ph.settings.skyOuter = 16;
    setStarPosition(ph, kComparison, {static_cast<int>(stars[0].x), static_cast<int>(stars[0].y)});
    setStarPosition(ph, kVariable, {static_cast<int>(stars[1].x), static_cast<int>(stars[1].y)});
    setStarPosition(ph, kCheck, {static_cast<int>(stars[2].x), static_cast<int>(stars[2].y)});
    return ph;
}

// Over repeated exposures of one scene, the scatter of V - C (standard
// magnitudes from the fluxes) agrees with the mean error the model gives,
// for a faint, a middling and a bright variable.
TEST(StarError, DescribesTheScatterOfRepeatedExposures)
{
    const double gain = 2.0, readNoise = 6.0, sky = 400.0;
    const int w = 150, h = 40;
    for (const double snrWanted : {20.0, 100.0, 500.0}) {
        // The flux that gives this SNR under the model with 81 aperture pixels and the sky.
        const double n = 81, skyVariance = n * (1 + n / 400.0) * (sky / gain + (readNoise / gain) * (readNoise / gain));
        const double s2 = snrWanted * snrWanted;
        const double flux = (s2 / gain + std::sqrt(s2 * s2 / (gain * gain) + 4 * s2 * skyVariance)) / 2;
        const std::vector<Star> stars = {{20.3, 20.6, 4e6, 1.6}, {75.5, 19.8, flux, 1.6}, {130.2, 20.1, 2e6, 1.6}};
        const std::vector<double> signal = signalOf(w, h, sky, stars);
        std::mt19937 gen(static_cast<unsigned>(snrWanted));
        std::vector<double> differences;
        double meanError = 0, meanSnr = 0;
        const int runs = 400;
        for (int r = 0; r < runs; ++r) {
            const FitsImage img = expose(signal, w, h, gain, readNoise, gen);
            PhotometryState ph = threeStars(stars);
            ph.targetSite.camera = {gain, readNoise, 1e9};
            ScriptedPlatform platform;
            const PhotometryOutcome out = runPhotometry(img, ph, false, platform);
            ASSERT_TRUE(out.quality[0] && out.quality[1]) << snrWanted << " run " << r;
            differences.push_back(out.quality[1]->standardMagnitude() - out.quality[0]->standardMagnitude());
            meanError += *out.variableMinusComparisonError() / runs;
            meanSnr += out.quality[1]->snr / runs;
        }
        double mean = 0;
        for (double d : differences) mean += d / runs;
        double sq = 0;
        for (double d : differences) sq += (d - mean) * (d - mean);
        const double scatter = std::sqrt(sq / (runs - 1));
        EXPECT_NEAR(meanSnr, snrWanted, 0.1 * snrWanted);
        EXPECT_NEAR(meanError / scatter, 1.0, 0.1) << "SNR " << snrWanted << ": mean sigma " << meanError
                                                   << ", scatter " << scatter;
    }
}

TEST(StarWidth, GaussianStarsWithinTenPercent)
{
    std::mt19937 gen(8);
    for (const double fwhm : {2.0, 3.0, 4.5, 6.0, 8.0}) {
        const double sigma = fwhm / (2 * std::sqrt(2 * std::log(2.0)));
        // Bright enough for an SNR above 50 (about 100 here).
        const std::vector<Star> stars = {{30.4, 30.7, 40000, sigma}};
        const FitsImage img = expose(signalOf(61, 61, 300, stars), 61, 61, 1.5, 5, gen);
        const auto width = starWidth(img, {30, 31}, 300);
        ASSERT_TRUE(width) << fwhm;
        EXPECT_NEAR(*width / fwhm, 1.0, 0.1) << fwhm << " measured " << *width;
    }
    // A flat patch has no width.
    FitsImage flat;
    flat.allocate(30, 30, 1);
    std::fill(flat.pixels.begin(), flat.pixels.end(), 100);
    EXPECT_FALSE(starWidth(flat, {15, 15}, 100));
}

TEST(StarQualityTest, PeakSaturationAndTheHeadersCameraValues)
{
    std::mt19937 gen(3);
    const std::vector<Star> stars = {{20, 20, 3e5, 1.2}, {60, 20, 1e5, 1.2}, {100, 20, 5e4, 1.2}};
    FitsImage img = expose(signalOf(120, 40, 200, stars), 120, 40, 1, 1, gen);
    img.cards = {test::card("SIMPLE", "T"), test::card("GAIN", "2.5"), test::card("RDNOISE", "9"),
                 test::card("SATURATE", "20000"), test::endCard()};
    PhotometryState ph = threeStars(stars);
    ScriptedPlatform platform;
    const PhotometryOutcome out = runPhotometry(img, ph, false, platform);
    EXPECT_EQ(out.camera, (CameraNoise{2.5, 9, 20000}));
    ASSERT_TRUE(out.quality[0] && out.quality[1] && out.quality[2]);
    // The comparison's brightest pixel is about 3e5 / (2 pi 1.44) + 200, far past 20000.
    EXPECT_TRUE(out.quality[0]->saturated);
    EXPECT_FALSE(out.quality[2]->saturated);
    std::int32_t peak = 0;
    for (int y = 15; y <= 25; ++y)
        for (int x = 95; x <= 105; ++x) peak = std::max(peak, img.at(x, y));
    EXPECT_EQ(out.quality[2]->peak, peak);
    // Without the header's values the settings' count.
    img.cards = {test::card("SIMPLE", "T"), test::card("EGAIN", "0"), test::endCard()};
    EXPECT_EQ(cameraNoiseOf(img, {1.7, 3, 50000}), (CameraNoise{1.7, 3, 50000}));
}

TEST(ObservationTimesTest, MidExposureFromTheHeaderAsThePhotometryReadsIt)
{
    ObservationHeader h;
    h.dateText = "2018-02-15";
    h.timeText = "13:12:45";
    h.exposureTime = 30;
    // 2018-02-15 13:13:00 UTC.
    EXPECT_NEAR(*midExposureJd(h), 2458164.5 + (13 + 13 / 60.0) / 24, 1e-9);
    // A JST time is 9 hours ahead of UTC; the run has already moved a
    // morning's date on by a day.
    h.dateText = "16/02/18";
    h.timeText = "05:20:00";
    h.exposureTime = 0;
    h.jstSeen = true;
    EXPECT_NEAR(*midExposureJd(h), 2458164.5 + (20 + 20 / 60.0) / 24, 1e-9);
    h.dateText = "31/02/18";
    EXPECT_FALSE(midExposureJd(h));
    h.dateText = "16/02/18";
    h.timeText.clear();
    EXPECT_FALSE(midExposureJd(h));
    // Without a position only the JD.
    const ObservationTimes t = observationTimes(2458165.0, std::nullopt, std::nullopt);
    EXPECT_TRUE(t.jdUtc);
    EXPECT_FALSE(t.hjdUtc || t.bjdTdb || t.airmass);
}

TEST(ObservationTimesTest, PositionsAndSitesFromTheHeader)
{
    EXPECT_NEAR(*angleDegrees("01 30 00", true), 22.5, 1e-12);
    EXPECT_NEAR(*angleDegrees("-12:30:36", false), -12.51, 1e-12);
    EXPECT_NEAR(*angleDegrees("+05 06", false), 5.1, 1e-12);
    EXPECT_NEAR(*angleDegrees("123.25", true), 123.25, 1e-12);  // a plain number is degrees
    EXPECT_FALSE(angleDegrees("12 75 00", false));
    EXPECT_FALSE(angleDegrees("north", false));

    FitsImage img;
    img.cards = {test::card("SIMPLE", "T"), test::card("OBJCTRA", "'00 59 00.5'"), test::card("OBJCTDEC", "'+60 00 00'"),
                 test::card("SITELAT", "'35 30 00'"), test::card("SITELONG", "-139.5"), test::card("SITEELEV", "850"),
                 test::endCard()};
    const auto p = headerPosition(img);
    ASSERT_TRUE(p);
    EXPECT_NEAR(p->raDegrees, (59 + 0.5 / 60) / 60 * 15, 1e-12);
    EXPECT_NEAR(p->decDegrees, 60, 1e-12);
    const auto s = headerSite(img);
    ASSERT_TRUE(s);
    EXPECT_NEAR(s->latitudeDegrees, 35.5, 1e-12);
    EXPECT_NEAR(s->longitudeDegrees, -139.5, 1e-12);
    EXPECT_NEAR(s->heightMetres, 850, 1e-12);
    // RA/DEC in degrees, LAT-OBS/LONG-OBS; a position outside the sky is none.
    img.cards = {test::card("SIMPLE", "T"), test::card("RA", "15.25"), test::card("DEC", "-30.5"),
                 test::card("LAT-OBS", "-24.6"), test::card("LONG-OBS", "289.6"), test::endCard()};
    EXPECT_NEAR(headerPosition(img)->raDegrees, 15.25, 1e-12);
    EXPECT_NEAR(headerSite(img)->longitudeDegrees, 289.6 - 360, 1e-9);
    img.cards = {test::card("SIMPLE", "T"), test::card("RA", "400"), test::card("DEC", "0"), test::endCard()};
    EXPECT_FALSE(headerPosition(img));
}

}  // namespace
}  // namespace lv
