// The ensemble of comparison stars: the mean flux and its error by hand, the
// comparison magnitude against each star measured alone, stars left out of
// one frame only, the ensemble's places, and the night table's columns.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/conventions.h"
#include "photometry/measurement.h"
#include "photometry/night_table.h"
#include "photometry/photometry_run.h"
#include "photometry/positions.h"
#include "synthetic_stars.h"

namespace lv {
namespace {

using test::Star;

std::vector<std::string> fields(const std::string& row)
{
    std::vector<std::string> out(1);
    for (char c : row) {
        if (c == '\r' || c == '\n') break;
        if (c == ',')
            out.emplace_back();
        else
            out.back() += c;
    }
    return out;
}

PhotometryState fixedAt(PixelPosition comparison, PixelPosition variable, PixelPosition check)
{
    PhotometryState ph;
    ph.settings.positionMode = PositionMode::Fixed;
    ph.settings.apertureSize = 5;
    ph.settings.skyInner = 10;
    ph.settings.skyOuter = 16;
    ph.targetSite.camera = {1.5, 7, 60000};
    setStarPosition(ph, kComparison, comparison);
    setStarPosition(ph, kVariable, variable);
    setStarPosition(ph, kCheck, check);
    return ph;
}

// Comparison 1, variable, check, then comparison 2 and 3, along one row.
const std::vector<PixelPosition> kPlaces = {{20, 20}, {60, 20}, {100, 20}, {140, 20}, {180, 20}};

FitsImage frameOf(const std::vector<double>& fluxes)
{
    std::vector<Star> stars;
    for (std::size_t i = 0; i < fluxes.size(); ++i)
        stars.push_back({kPlaces[i].x + 0.3, kPlaces[i].y - 0.2, fluxes[i], 1.5});
    return test::noiseless(test::signalOf(200, 40, 100, stars), 200, 40);
}

PhotometryState ensembleOfThree()
{
    PhotometryState ph = fixedAt(kPlaces[0], kPlaces[1], kPlaces[2]);
    EXPECT_TRUE(setEnsembleStar(ph, 2, kPlaces[3]));
    EXPECT_TRUE(setEnsembleStar(ph, 3, kPlaces[4]));
    return ph;
}

struct Alone {
    double partFlux;  // aperture sum less sky, as the comparison magnitude takes it
    StarQuality quality;
};

// Star `place` measured as the comparison star of a run of its own.
Alone measuredAlone(const FitsImage& img, std::size_t place)
{
    PhotometryState ph = fixedAt(kPlaces[place], kPlaces[1], kPlaces[2]);
    const Measurement m = measureStars(img, ph);
    ScriptedPlatform platform;
    const PhotometryOutcome out = runPhotometry(img, ph, false, platform);
    EXPECT_TRUE(out.quality[0]);
    return {m.sum[kComparison] - m.sum[kComparisonSky], out.quality[0].value_or(StarQuality{})};
}

TEST(EnsembleQuality, MeanFluxAndItsErrorWorkedByHand)
{
    StarQuality a, b, c;
    a.flux = 1000, a.fluxError = 30, a.peak = 900, a.fwhm = 3.0, a.skyDeviation = 10;
    b.flux = 3000, b.fluxError = 40, b.peak = 2500, b.fwhm = 4.0, b.skyDeviation = 14;
    c.flux = 9000, c.fluxError = 10, c.peak = 61000, c.saturated = true;
    const std::vector<EnsembleMember> members = {{1, a, ""}, {2, b, ""}, {3, c, "saturated"}};
    const auto q = ensembleQuality(members);
    ASSERT_TRUE(q);
    // F = (1000 + 3000) / 2; sigma = sqrt(30^2 + 40^2) / 2 = 25.
    EXPECT_DOUBLE_EQ(q->flux, 2000);
    EXPECT_DOUBLE_EQ(q->fluxError, 25);
    EXPECT_DOUBLE_EQ(q->snr, 80);
    EXPECT_DOUBLE_EQ(q->magnitudeError, 1.0857362 * 25 / 2000);
    EXPECT_DOUBLE_EQ(q->standardMagnitude(), 20 - 2.5 * std::log10(2000.0));
    EXPECT_EQ(q->peak, 2500);  // the left-out star's peak is not the ensemble's
    EXPECT_FALSE(q->saturated);
    EXPECT_DOUBLE_EQ(*q->fwhm, 3.5);
    EXPECT_DOUBLE_EQ(q->skyDeviation, 12);
    EXPECT_FALSE(ensembleQuality({{1, a, "No Star"}}));
}

TEST(EnsembleRun, TheComparisonIsTheMeanFluxOfItsStarsEachMeasuredAsAlone)
{
    const FitsImage img = frameOf({2e5, 1e5, 5e4, 1.2e5, 3e5});
    const Alone alone[] = {measuredAlone(img, 0), measuredAlone(img, 3), measuredAlone(img, 4)};
    PhotometryState ph = ensembleOfThree();
    ScriptedPlatform platform;
    const PhotometryOutcome out = runPhotometry(img, ph, false, platform);
    ASSERT_TRUE(out.allMeasured) << platform.shown.size();
    EXPECT_TRUE(platform.shown.empty());
    ASSERT_EQ(out.ensemble.size(), 3u);
    EXPECT_EQ(out.ensembleUsed(), 3);

    const double partFlux = (alone[0].partFlux + alone[1].partFlux + alone[2].partFlux) / 3;
    const double expected = roundMagnitude(20 - 2.511886432 * std::log10(partFlux), 3);
    EXPECT_DOUBLE_EQ(*out.magnitudes[0], expected);
    EXPECT_EQ(ph.comparisonMagnitude, numberText(expected));
    double flux = 0, variance = 0;
    for (const Alone& a : alone) {
        flux += a.quality.flux / 3;
        variance += a.quality.fluxError * a.quality.fluxError;
    }
    ASSERT_TRUE(out.quality[0]);
    EXPECT_NEAR(out.quality[0]->flux, flux, 1e-6 * flux);
    EXPECT_NEAR(out.quality[0]->fluxError, std::sqrt(variance) / 3, 1e-9 * flux);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_NEAR(out.ensemble[i].quality->flux, alone[i].quality.flux, 1e-9 * flux) << i;
    // The result line and the clipboard take the ensemble's magnitude.
    EXPECT_NE(out.resultLine.find("Comp= " + formatPattern(expected, "00.000")), std::string::npos) << out.resultLine;

    // The night's table: the ensemble's c_mag and c_err, then each star's own.
    const std::vector<std::string> f = fields(nightTableRow("f.fit", out, true));
    ASSERT_EQ(f.size(), 39u);
    EXPECT_EQ(f[7], fixedText(20 - 2.5 * std::log10(out.quality[0]->flux), 4));
    EXPECT_EQ(f[8], fixedText(out.quality[0]->magnitudeError, 4));
    EXPECT_EQ(f[27], "no_time");  // a frame without a header has no time, and no other flag
    EXPECT_EQ(f[28], "3");
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(f[29 + i], fixedText(alone[i].quality.standardMagnitude(), 4));
    for (std::size_t i = 32; i < 39; ++i) EXPECT_EQ(f[i], "");
    // Without the ensemble's columns the row is the 28 of one comparison star.
    EXPECT_EQ(fields(nightTableRow("f.fit", out)).size(), 28u);
    // A frame measured with the comparison star alone in an ensemble's table
    // has no ensemble_n, so that it is not taken for an ensemble of one.
    PhotometryState one = fixedAt(kPlaces[0], kPlaces[1], kPlaces[2]);
    const std::vector<std::string> single = fields(nightTableRow("f.fit", runPhotometry(img, one, false, platform), true));
    ASSERT_EQ(single.size(), 39u);
    EXPECT_EQ(single[28], "");
    EXPECT_EQ(single[29], fixedText(alone[0].quality.standardMagnitude(), 4));
    EXPECT_EQ(single[30], "");
}

TEST(EnsembleRun, AStarThatCannotBeUsedIsLeftOutOfThatFrameOnly)
{
    PhotometryState ph = ensembleOfThree();
    ph.targetSite.camera.linearity = 18000;
    // Comparison 3's peak is about 3e5 x 0.068 + 100 ADU, past the limit; the others are below it.
    const FitsImage saturated = frameOf({2e5, 1e5, 5e4, 1.2e5, 3e5});
    ScriptedPlatform platform;
    PhotometryOutcome out = runPhotometry(saturated, ph, false, platform);
    ASSERT_TRUE(out.allMeasured);
    ASSERT_EQ(platform.shown.size(), 1u);
    EXPECT_EQ(platform.shown[0].text.find("Comparison 3: saturated (peak "), 0u) << platform.shown[0].text;
    EXPECT_NE(platform.shown[0].text.find("this frame was measured without it"), std::string::npos);
    EXPECT_EQ(out.ensembleUsed(), 2);
    EXPECT_EQ(measurementFlags(out), "no_time;left_out_c3");
    const Alone one = measuredAlone(saturated, 0), two = measuredAlone(saturated, 3);
    EXPECT_DOUBLE_EQ(*out.magnitudes[0],
                     roundMagnitude(20 - 2.511886432 * std::log10((one.partFlux + two.partFlux) / 2), 3));
    std::vector<std::string> f = fields(nightTableRow("f.fit", out, true));
    EXPECT_EQ(f[28], "2");
    EXPECT_EQ(f[31], "");

    // The next frame, fainter, uses all three again.
    const FitsImage fainter = frameOf({2e5, 1e5, 5e4, 1.2e5, 2e5});
    ScriptedPlatform next;
    out = runPhotometry(fainter, ph, false, next);
    EXPECT_TRUE(next.shown.empty());
    EXPECT_EQ(out.ensembleUsed(), 3);
    EXPECT_EQ(measurementFlags(out), "no_time");

    // A missing star is No Star for the ensemble, and the frame is measured without it.
    const FitsImage missing = frameOf({2e5, 1e5, 5e4, 0, 2e5});
    ScriptedPlatform noStar;
    out = runPhotometry(missing, ph, false, noStar);
    ASSERT_TRUE(out.allMeasured);
    ASSERT_EQ(noStar.shown.size(), 1u);
    EXPECT_EQ(noStar.shown[0].text, "Comparison 2: No Star; this frame was measured without it");
    EXPECT_EQ(measurementFlags(out), "no_time;left_out_c2");
    f = fields(nightTableRow("f.fit", out, true));
    EXPECT_EQ(f[30], "");
    EXPECT_NE(f[31], "");

    // With no comparison star left, the frame has no comparison magnitude and no row.
    const FitsImage none = frameOf({0, 1e5, 5e4, 0, 0});
    ScriptedPlatform nothing;
    out = runPhotometry(none, ph, false, nothing);
    EXPECT_FALSE(out.allMeasured);
    EXPECT_FALSE(out.magnitudes[0]);
    EXPECT_TRUE(out.magnitudes[1] && out.magnitudes[2]);
    ASSERT_EQ(nothing.shown.size(), 4u);
    EXPECT_EQ(nothing.shown[3].text.find("No comparison star of the ensemble could be used"), 0u);
}

TEST(EnsemblePlaces, SetRemovedAndKeptAsText)
{
    PhotometryState ph;
    EXPECT_FALSE(setEnsembleStar(ph, 3, {5, 5}));  // numbers follow on from 2
    EXPECT_FALSE(setEnsembleStar(ph, 1, {5, 5}));
    for (int n = 2; n <= 10; ++n) EXPECT_TRUE(setEnsembleStar(ph, n, {n * 10, n}));
    EXPECT_FALSE(setEnsembleStar(ph, 11, {1, 1}));  // ten in all
    EXPECT_EQ(ph.comparisonCount, 10);
    EXPECT_EQ(ph.starSlotsInUse().size(), 12u);
    EXPECT_EQ(ph.slotPositions[static_cast<std::size_t>(comparisonSlot(10)) + 1], (PixelPosition{120, 10}));
    // Setting one again moves it.
    EXPECT_TRUE(setEnsembleStar(ph, 4, {-3, 7}));
    EXPECT_EQ(ensemblePositionsText(ph), "20 2 30 3 -3 7 50 5 60 6 70 7 80 8 90 9 100 10");
    // Taking one out moves the later ones up.
    EXPECT_TRUE(removeEnsembleStar(ph, 3));
    EXPECT_FALSE(removeEnsembleStar(ph, 10));
    EXPECT_EQ(ph.comparisonCount, 9);
    EXPECT_EQ(ensemblePositionsText(ph), "20 2 -3 7 50 5 60 6 70 7 80 8 90 9 100 10");
    EXPECT_EQ(ph.fieldPosition(comparisonSlot(3)), (PixelPosition{-3, 7}));
    EXPECT_EQ(ph.fieldPosition(comparisonSlot(10)), (PixelPosition{0, 0}));

    PhotometryState back;
    takeEnsemblePositions(back, ensemblePositionsText(ph) + " 7");  // a lone number is no position
    EXPECT_EQ(back.comparisonCount, 9);
    EXPECT_EQ(ensemblePositionsText(back), ensemblePositionsText(ph));
    EXPECT_EQ(back.slotPositions[static_cast<std::size_t>(comparisonSlot(2)) + 1], (PixelPosition{40, 2}));
    takeEnsemblePositions(back, "");
    EXPECT_EQ(back.comparisonCount, 1);
    EXPECT_EQ(ensemblePositionsText(back), "");
    // A damaged line is no ensemble: a stray word, a fraction, a number far off any frame.
    for (const char* damaged : {"30 40 abc def", "30 40.5", "2147483647 0", "30 40 1e9 3"}) {
        takeEnsemblePositions(back, damaged);
        EXPECT_EQ(back.comparisonCount, 1) << damaged;
    }
    takeEnsemblePositions(back, "30,40, -5 6");
    EXPECT_EQ(ensemblePositionsText(back), "30 40 -5 6");
}

TEST(EnsemblePlaces, EveryStarOfTheEnsembleHasItsMarkers)
{
    const FitsImage img = frameOf({2e5, 1e5, 5e4, 1.2e5, 3e5});
    PhotometryState ph = fixedAt(kPlaces[0], kPlaces[1], kPlaces[2]);
    const std::size_t three = markerPoints(img, ph, 1, false).size();
    const std::size_t spans = searchSpanPoints(img, ph, 1, false).size();
    ASSERT_TRUE(setEnsembleStar(ph, 2, kPlaces[3]));
    // One more star of the same circles and search span, whole inside the frame.
    EXPECT_EQ(markerPoints(img, ph, 1, false).size(), three / 3 * 4);
    EXPECT_EQ(searchSpanPoints(img, ph, 1, false).size(), spans / 3 * 4);
}

}  // namespace
}  // namespace lv
