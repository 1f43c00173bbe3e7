#include "photometry/positions.h"

#include <gtest/gtest.h>

#include "display/grey_mapping.h"

namespace lv {
namespace {

TEST(Positions, FieldTextsAndCaptions)
{
    PhotometrySettings s;
    EXPECT_EQ(apertureFieldText(s), "  Radii 3");
    EXPECT_EQ(skyAreaCaption(s), "Size Set (Aperture 3 radii)");
    s.apertureShape = ApertureShape::Square;
    EXPECT_EQ(apertureFieldText(s), "  3 x  3");
    EXPECT_EQ(skyAreaCaption(s), "Size Set (Aperture 3x 3)");
    EXPECT_EQ(positionModeText(PositionMode::Fixed), " Fix position");
    EXPECT_EQ(positionModeText(PositionMode::PeakCastAndMove), " Peak & Move");

    PhotometryState ph;
    setStarPosition(ph, kComparison, {100, 50});
    EXPECT_EQ(ph.slotPositions[kComparisonSky], (PixelPosition{120, 50}));
    EXPECT_EQ(ph.fieldX[kComparisonSky], " 120");
    setSkyPosition(ph, kComparisonSky, {7, 8});
    EXPECT_EQ(ph.fieldPosition(kComparisonSky), (PixelPosition{7, 8}));
    EXPECT_EQ(ph.slotPositions[kComparison], (PixelPosition{100, 50}));
}

TEST(Positions, SkyAreaRules)
{
    PhotometrySettings s;
    EXPECT_EQ(standardSkyArea(ApertureShape::Circle, 3), std::make_pair(10.0, 20.0));
    EXPECT_EQ(standardSkyArea(ApertureShape::Circle, 6), std::make_pair(12.0, 24.0));
    EXPECT_EQ(standardSkyArea(ApertureShape::Square, 3), std::make_pair(6.0, 12.0));
    EXPECT_EQ(applySkyArea(s, 10, 10, 30), SkyAreaCheck::ApertureTooLarge);
    EXPECT_EQ(applySkyArea(s, 0, 10, 30), SkyAreaCheck::SizeError);
    EXPECT_EQ(s.apertureSize, 3);
    EXPECT_EQ(applySkyArea(s, 4, 9, 5), SkyAreaCheck::Stored);  // outer is not compared with inner
    EXPECT_EQ(s.skyOuter, 5.0);
    s.apertureSize = 10;
    s.skyInner = 10;
    EXPECT_TRUE(skyAreaTooSmall(s));

    PhotometryState ph;
    acceptComparisonStar(ph, "RZ Cas", "10,5", 2, "ABC");
    EXPECT_EQ(ph.comparison.comparisonMagnitude, 10.0);
    EXPECT_EQ(ph.comparison.filterIndex, 2);
    EXPECT_EQ(ph.reportTexts.colour, "Rc");
    EXPECT_EQ(ph.reportTexts.comparisonMagnitude, "10,5");
    acceptComparisonStar(ph, "RZ Cas", "10.1", -1, "ABC");
    EXPECT_EQ(ph.comparison.filterIndex, -1);
    EXPECT_EQ(ph.reportTexts.colour, "Rc");  // left as it was
}

FitsImage ramp(int w, int h)
{
    FitsImage img;
    img.allocate(w, h, 1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.at(x, y) = 7 * x + 13 * y;
    img.minValue = 0;
    img.maxValue = 7 * (w - 1) + 13 * (h - 1);
    return img;
}

TEST(Markers, GeometryAtFullAndHalfSize)
{
    EXPECT_EQ(pictureCoordinate(101, 2), 51);
    EXPECT_EQ(pictureCoordinate(51, 2), 26);
    const FitsImage img = ramp(200, 120);
    PhotometryState ph;
    setStarPosition(ph, kComparison, {101, 51});
    setSkyPosition(ph, kComparisonSky, {20, 100});
    setStarPosition(ph, kVariable, {10, 10});
    setStarPosition(ph, kCheck, {150, 100});
    ph.settings.skyMode = SkyMode::Aperture;
    ph.settings.searchSpan = 4;
    const auto points = markerPoints(img, ph, 2, false);
    // The comparison's cross is centred on picture point (51, 26).
    int whiteAtCentreRow = 0;
    for (const auto& p : points)
        if (p.colour == kMarkerWhite && p.y == 26 && p.x >= 46 && p.x <= 56) ++whiteAtCentreRow;
    EXPECT_EQ(whiteAtCentreRow, 11);
    for (const auto& p : points) {
        EXPECT_GE(p.x, 0);
        EXPECT_LT(p.x, 100);  // inside the half-size picture
        EXPECT_LT(p.y, 60);
    }
    // Search-span square of half-width Int(4 / 2 + 0.5) = 2: 16 outline points.
    int green = 0;
    for (const auto& p : points)
        if (p.colour == kMarkerGreen && std::abs(p.x - 51) <= 2 && std::abs(p.y - 26) <= 2) ++green;
    EXPECT_EQ(green, 16);
}

TEST(Markers, ErasingRestoresThePictureExactly)
{
    for (int scale : {1, 2}) {
        for (ApertureShape shape : {ApertureShape::Circle, ApertureShape::Square}) {
            FitsImage img = ramp(90, 70);
            AppState state;
            state.displayScale = scale;
            state.background = 20;
            state.range = 700;
            const RgbPicture clean = buildPicture(img, state);
            PhotometryState ph;
            ph.settings.apertureShape = shape;
            setStarPosition(ph, kComparison, {30, 30});
            setStarPosition(ph, kVariable, {85, 5});  // rings cross the border
            setStarPosition(ph, kCheck, {45, 60});
            RgbPicture pic = clean;
            for (const auto& p : markerPoints(img, ph, scale, false)) pic.at(p.x, p.y) = p.colour;
            EXPECT_NE(pic.points, clean.points);
            for (const auto& p : markerPoints(img, ph, scale, true)) pic.at(p.x, p.y) = pictureColourAt(img, state, p.x, p.y);
            EXPECT_EQ(pic.points, clean.points) << "scale " << scale;
        }
    }
}

}  // namespace
}  // namespace lv
