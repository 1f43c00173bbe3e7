// The light-curve model on a small table worked by hand on a 600 x 220
// picture: X0 = 30, W = 540, Y0 = 11, H = 198.
#include "lightcurve/light_curve.h"

#include <cstdlib>
#include <tuple>

#include <gtest/gtest.h>

#include "fits_builder.h"
#include "lightcurve/night_rows.h"

namespace lv {
namespace {

// time 21.5, 22.25, 24.75; C-K -0.63, -0.47, -0.58; V-C 1.5, 1.68, 1.37.
const std::vector<std::string> kLines = {
    "2018-02-15 21:30:00 030 Check=011.130 Comp=010.500 Var=012.000 /n/a 1.fit",
    "2018-02-15 22:15:00 030 Check=011.000 Comp=010.530 Var=012.210 /n/b.fit",
    "2018-02-16 00:45:00 030 Check=011.080 Comp=010.500 Var=011.870 /n/c.fit",
};

LightCurveTable tableOf(const std::vector<std::string>& lines)
{
    test::TempDir dir;
    std::string text;
    for (const std::string& l : lines) text += l + "\r\n";
    test::writeFile(dir.file("mag_est.txt"), text);
    LightCurveTable t;
    EXPECT_TRUE(readMagEst(dir.file("mag_est.txt"), t).opened);
    return t;
}

struct Grid {
    std::vector<int> ys, xs;  // horizontal lines' y, vertical lines' x
};

Grid gridOf(const GraphDrawing& d)
{
    Grid g;
    for (const GraphLine& l : d.grid) {
        if (l.y0 == l.y1) {
            EXPECT_EQ(l.x0, 30);
            EXPECT_EQ(l.x1, 570);
            g.ys.push_back(l.y0);
        } else {
            EXPECT_EQ(l.x0, l.x1);
            EXPECT_EQ(l.y0, 11);
            EXPECT_EQ(l.y1, 209);
            g.xs.push_back(l.x0);
        }
    }
    return g;
}

std::vector<std::pair<int, int>> pointsOf(const GraphDrawing& d)
{
    std::vector<std::pair<int, int>> out;
    for (const GraphPoint& p : d.points) out.emplace_back(p.x, p.y);
    return out;
}

using Points = std::vector<std::pair<int, int>>;
using Ints = std::vector<int>;

TEST(LightCurve, AutomaticAxesAndPhotometryError)
{
    LightCurveTable t = tableOf(kLines);
    const LightCurveAxes a = automaticAxes(t);
    const AxisRanges& r = a.ranges;
    const double expected[] = {21.5, 24.75, -0.63, -0.47, 1.37, 1.68, 0.5, 0.5};
    const double got[] = {r.hourStart, r.hourEnd, r.ckStart, r.ckEnd, r.vcStart, r.vcEnd, r.ckStep, r.vcStep};
    for (int i = 0; i < 8; ++i) EXPECT_NEAR(got[i], expected[i], 1e-12) << i;
    EXPECT_FALSE(a.manual);
    EXPECT_EQ(a.autoCopy.vcEnd, r.vcEnd);

    // Deviations from the mean -0.56: -0.07, 0.09, -0.02; sqrt(0.0134 / 3).
    EXPECT_NEAR(photometryError(t), 0.0668331, 1e-6);
    EXPECT_EQ(photometryErrorText(photometryError(t)), "Photometry error = 0.0668");
    setDeleted(t, 1, true);
    EXPECT_NEAR(photometryError(t), 0.025, 1e-12);
    setDeleted(t, 2, true);
    EXPECT_EQ(photometryErrorText(photometryError(t)), "Photometry error = 0.0000");
    setDeleted(t, 0, true);
    EXPECT_EQ(photometryError(t), 0.0);
    EXPECT_EQ(photometryErrorText(photometryError(t)), "Photometry error = 0.0000");
}

TEST(LightCurve, MarksListTextsAndRestore)
{
    LightCurveTable t = tableOf(kLines);
    const LightCurveAxes a = automaticAxes(t);
    auto list = listTexts(t);
    ASSERT_EQ(list.size(), 3u);
    // The path (here with a space) is not shown.
    EXPECT_EQ(list[0], " 0001 : 2018-02-15 21:30:00 030 Check=011.130 Comp=010.500 Var=012.000 ");
    const Points before = pointsOf(drawGraph(t, a, Graph::VC, 600, 220));

    toggleMark(t, 1);
    list = listTexts(t);
    EXPECT_EQ(list[1], "x0002 : 2018-02-15 22:15:00 030 Check=011.000 Comp=010.530 Var=012.210 ");
    EXPECT_EQ(pointsOf(drawGraph(t, a, Graph::VC, 600, 220)), (Points{before[0], before[2]}));

    // Double-click on the entry restores the point where it was.
    const int line = lineOfListItem(t, list[1]);
    EXPECT_EQ(line, 1);
    toggleMark(t, line);
    EXPECT_EQ(listTexts(t)[1][0], ' ');
    EXPECT_EQ(pointsOf(drawGraph(t, a, Graph::VC, 600, 220)), before);
    EXPECT_EQ(lineOfListItem(t, "x0002 : "), -1);
}

TEST(LightCurve, GraphGeometryOfAutomaticAxes)
{
    const LightCurveTable t = tableOf(kLines);
    const LightCurveAxes a = automaticAxes(t);

    // Hours 21 .. 25; C-K tenths -7 .. -4; V-C tenths 13 .. 17; grid every half tenth.
    const GraphDrawing ck = drawGraph(t, a, Graph::CK, 600, 220);
    const Grid ckGrid = gridOf(ck);
    EXPECT_EQ(ckGrid.ys, (Ints{11, 44, 77, 110, 143, 176, 209}));
    EXPECT_EQ(ckGrid.xs, (Ints{30, 165, 300, 435, 570}));
    EXPECT_EQ(pointsOf(ck), (Points{{98, 57}, {199, 163}, {536, 90}}));

    const GraphDrawing vc = drawGraph(t, a, Graph::VC, 600, 220);
    const Grid vcGrid = gridOf(vc);
    EXPECT_EQ(vcGrid.ys, (Ints{11, 36, 61, 85, 110, 135, 160, 184, 209}));
    EXPECT_EQ(vcGrid.xs, ckGrid.xs);
    EXPECT_EQ(pointsOf(vc), (Points{{98, 110}, {199, 199}, {536, 46}}));

    // The name in red at (SW - 25, 5); tenths at (5, y - 5); hours at (x, SH - 25) on V-C only.
    auto placed = [](const GraphText& g) { return std::make_tuple(g.x, g.y, std::strtod(g.text.c_str(), nullptr)); };
    ASSERT_EQ(ck.texts.size(), 1u + 4u);
    EXPECT_EQ(std::tie(ck.texts[0].x, ck.texts[0].y, ck.texts[0].text, ck.texts[0].colour),
              std::make_tuple(575, 5, std::string("C-K"), kGraphRed));
    EXPECT_EQ(placed(ck.texts[1]), std::make_tuple(5, 6, -0.7));
    ASSERT_EQ(vc.texts.size(), 1u + 5u + 5u);
    EXPECT_EQ(vc.texts[0].text, "V-C");
    EXPECT_EQ(placed(vc.texts[2]), std::make_tuple(5, 56, 1.4));
    EXPECT_EQ(placed(vc.texts[10]), std::make_tuple(570, 195, 25.0));
    EXPECT_EQ(vc.texts[10].colour, kGraphBlack);
}

TEST(LightCurve, AxisDialogOkReopenAndAutoScale)
{
    const LightCurveTable t = tableOf(kLines);
    LightCurveAxes a = automaticAxes(t);
    AxisFields shown = openAxisDialog(a);
    EXPECT_EQ(shown.hourStart, 21);
    EXPECT_EQ(shown.hourEnd, 25);
    EXPECT_NEAR(shown.ckStart, -0.7, 1e-12);
    EXPECT_NEAR(shown.ckEnd, -0.4, 1e-12);
    EXPECT_NEAR(shown.vcStart, 1.3, 1e-12);
    EXPECT_NEAR(shown.vcEnd, 1.7, 1e-12);
    EXPECT_NEAR(shown.ckStep, 0.05, 1e-12);
    EXPECT_EQ(a.ranges.hourStart, 21);  // the shown start is kept at once

    shown.hourEnd = 26;
    shown.vcEnd = 1.8;
    shown.vcStep = 0.1;
    acceptAxisDialog(a, shown);
    EXPECT_TRUE(a.manual);
    const GraphDrawing vc = drawGraph(t, a, Graph::VC, 600, 220);
    const Grid g = gridOf(vc);
    EXPECT_EQ(g.xs, (Ints{30, 138, 246, 354, 462, 570}));  // the time axis ends at 26
    EXPECT_EQ(g.ys, (Ints{11, 51, 90, 130, 169, 209}));    // tenths 13 .. 18, no extra tenth when manual
    EXPECT_EQ(pointsOf(vc)[0], std::make_pair(84, 90));
    EXPECT_EQ(vc.texts.back().x, 570);
    EXPECT_EQ(std::strtod(vc.texts.back().text.c_str(), nullptr), 26.0);

    const AxisFields again = openAxisDialog(a);
    EXPECT_EQ(again.hourEnd, 26);
    EXPECT_NEAR(again.vcEnd, 1.8, 1e-12);
    EXPECT_NEAR(again.vcStep, 0.1, 1e-12);

    autoScale(a);
    EXPECT_FALSE(a.manual);
    EXPECT_EQ(a.ranges.hourEnd, 24.75);
    EXPECT_EQ(gridOf(drawGraph(t, a, Graph::VC, 600, 220)).xs, (Ints{30, 165, 300, 435, 570}));
    EXPECT_EQ(pointsOf(drawGraph(t, a, Graph::VC, 600, 220))[0], std::make_pair(98, 110));
}

TEST(LightCurve, NightAcrossMidnightStaysContinuous)
{
    const LightCurveTable t = tableOf({"2018-02-15 23:50:00 030 Check=011.000 Comp=010.500 Var=012.000 /a.fit",
                                       "2018-02-16 00:10:00 030 Check=011.000 Comp=010.500 Var=012.000 /b.fit"});
    EXPECT_NEAR(t.time[1] - t.time[0], 1.0 / 3, 1e-12);
    // Hours 23 .. 25: 270 units an hour, so the points lie 90 units apart.
    const GraphDrawing vc = drawGraph(t, automaticAxes(t), Graph::VC, 600, 220);
    EXPECT_EQ(gridOf(vc).xs, (Ints{30, 300, 570}));
    ASSERT_EQ(vc.points.size(), 2u);
    EXPECT_EQ(vc.points[0].x, 255);
    EXPECT_EQ(vc.points[1].x, 345);
}

TEST(LightCurve, ClickOneUnitBesideAPointHitsIt)
{
    LightCurveTable t = tableOf(kLines);
    const LightCurveAxes a = automaticAxes(t);
    PointPositions p = pointPositions(drawGraph(t, a, Graph::VC, 600, 220), t.count());
    ASSERT_EQ(p.x, (Ints{98, 199, 536}));
    EXPECT_EQ(pointAt(p, 98, 110), 0);
    EXPECT_EQ(pointAt(p, 99, 109), 0);
    EXPECT_EQ(pointAt(p, 97, 111), 0);
    EXPECT_EQ(pointAt(p, 100, 110), -1);
    EXPECT_EQ(pointAt(p, 98, 108), -1);
    EXPECT_EQ(pointAt(p, 537, 45), 2);

    setDeleted(t, 0, true);
    p = pointPositions(drawGraph(t, a, Graph::VC, 600, 220), t.count());
    EXPECT_EQ(p.x[0], -99);
    EXPECT_EQ(p.y[0], -99);
    EXPECT_EQ(pointAt(p, 98, 110), -1);
    EXPECT_EQ(pointAt(p, -99, -99), -1);
}

// With the night's table beside the data file the V-C points get their
// error bars (sigma on the file's scale) and saturated frames another colour;
// lines are matched to rows by frame name.
TEST(LightCurve, ErrorBarsAndSaturatedPointsFromTheNightsTable)
{
    test::TempDir dir;
    std::string text;
    for (const std::string& l : kLines) text += l + "\r\n";
    test::writeFile(dir.file("mag_est.txt"), text);
    const std::string cells = ",,,,,,,,,,,,";
    test::writeFile(dir.file("photometry.csv"), std::string(kNightTableHeader) + "\r\n" +
                                                    "c.fit,,,,,,,,,,,1.3700,,,," + cells + "\r\n" +
                                                    "\"a 1.fit\",,,,,,,,,,,1.5000,0.0500,,," + cells + "saturated_v\r\n");
    LightCurveTable t;
    ASSERT_TRUE(readMagEst(dir.file("mag_est.txt"), t).opened);
    const LightCurveTable plain = t;
    ASSERT_TRUE(attachNightTable(t));
    ASSERT_EQ(t.vcError.size(), 3u);
    EXPECT_DOUBLE_EQ(t.vcError[0], 0.05 * 2.511886432 / 2.5);
    EXPECT_EQ(t.vcError[1], -1.0);  // b.fit has no row
    EXPECT_EQ(t.vcError[2], -1.0);  // c.fit's row gives no error
    EXPECT_EQ(t.saturated, (std::vector<bool>{true, false, false}));

    const LightCurveAxes axes = automaticAxes(t);
    const GraphDrawing vc = drawGraph(t, axes, Graph::VC, kGraphWidth, kGraphHeight);
    ASSERT_EQ(vc.errorBars.size(), 1u);
    const GraphLine bar = vc.errorBars[0];
    const GraphPoint p = vc.points[0];
    EXPECT_TRUE(p.saturated);
    EXPECT_FALSE(vc.points[1].saturated);
    EXPECT_EQ(bar.x0, p.x);
    EXPECT_EQ(bar.x1, p.x);
    // 0.1 mag is 198 / 4 units here: the bar reaches sigma above and below the point.
    const double half = 0.05 * 2.511886432 / 2.5 * 10 * 198 / 4;
    EXPECT_NEAR(p.y - bar.y0, half, 1.0);
    EXPECT_NEAR(bar.y1 - p.y, half, 1.0);
    EXPECT_TRUE(drawGraph(t, axes, Graph::CK, kGraphWidth, kGraphHeight).errorBars.empty());
    const RgbPicture pic = renderGraph(vc);
    EXPECT_EQ(pic.at(p.x, p.y), kGraphMagenta);
    EXPECT_EQ(pic.at(p.x, p.y + static_cast<int>(half) - 2), kGraphBlue);
    EXPECT_EQ(renderGraph(drawGraph(plain, axes, Graph::VC, kGraphWidth, kGraphHeight)).at(p.x, p.y), kGraphGreen);

    // Without a table (or with another file's header) nothing is attached.
    test::writeFile(dir.file("photometry.csv"), "frame,something else\r\n");
    EXPECT_FALSE(attachNightTable(t));
    EXPECT_TRUE(t.vcError.empty());
}

}  // namespace
}  // namespace lv
