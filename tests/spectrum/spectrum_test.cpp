#include <filesystem>
#include <limits>

#include <gtest/gtest.h>

#include "fits_builder.h"
#include "spectrum/horizontal_graph.h"
#include "spectrum/intensity_curve.h"

namespace lv {
namespace {

namespace fs = std::filesystem;

// A one-plane image whose pixel (x, y) is value(x, y).
template <typename F>
FitsImage imageOf(int w, int h, F value)
{
    FitsImage img;
    img.allocate(w, h, 1);
    img.bitpix = 16;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.at(x, y) = value(x, y);
    return img;
}

BinZones zones(std::initializer_list<std::pair<int, int>> rows)
{
    BinZones z{};
    std::size_t k = 0;
    for (const auto& [upper, lower] : rows) z[k++] = {upper, lower};
    return z;
}

// ---- binning ------------------------------------------------------------------

TEST(Binning, OneZoneGivesEveryRowOfItTheColumnSum)
{
    // Column 0 rows 10, 11, 12 hold 5, 7, 9; column 1 holds 1 there; 100 elsewhere.
    FitsImage img = imageOf(2, 14, [](int x, int y) { return y < 10 || y > 12 ? 100 : x == 0 ? 2 * y - 15 : 1; });
    img.maxValue = 100;
    img.minValue = 0;
    const PixelVector before = img.pixels;
    UndoBuffer undo;
    ScriptedPlatform platform;
    ASSERT_TRUE(binImage(img, undo, zones({{10, 12}}), platform));
    for (int y = 10; y <= 12; ++y) {
        EXPECT_EQ(img.at(0, y), 21);
        EXPECT_EQ(img.at(1, y), 3);
    }
    EXPECT_EQ(img.at(0, 9), 100);
    EXPECT_EQ(img.at(1, 13), 100);
    // minValue starts afresh from the sums; maxValue keeps the larger value it had.
    EXPECT_EQ(img.minValue, 3);
    EXPECT_EQ(img.maxValue, 100);
    EXPECT_EQ(platform.messageTexts(), std::vector<std::string>{"Completion\rmax = 100 / min = 3"});

    ASSERT_TRUE(undo.available());
    undo.restore(img);
    EXPECT_EQ(img.pixels, before);
}

TEST(Binning, UsedZonesShareOneSumAndTheExtremesTakeTheRunningSum)
{
    // Zone 1 rows 10..11 (1 and 2), zone 2 unused, zone 3 rows 20..21 (4 and 8).
    FitsImage img = imageOf(1, 22, [](int, int y) { return y == 10 ? 1 : y == 11 ? 2 : y == 20 ? 4 : y == 21 ? 8 : 50; });
    img.maxValue = 0;
    UndoBuffer undo;
    ScriptedPlatform platform;
    ASSERT_TRUE(binImage(img, undo, zones({{10, 11}, {5, 5}, {20, 21}}), platform));
    for (int y : {10, 11, 20, 21}) EXPECT_EQ(img.at(0, y), 15) << y;
    EXPECT_EQ(img.at(0, 5), 50);
    // After zone 1 the running sum was 3: the minimum although no pixel holds it.
    EXPECT_EQ(img.minValue, 3);
    EXPECT_EQ(img.maxValue, 15);

    // Sums all above 100000000 leave the minimum at its starting value.
    FitsImage big = imageOf(1, 2, [](int, int) { return 60000000; });
    big.maxValue = 5;
    ASSERT_TRUE(binImage(big, undo, zones({{0, 1}}), platform));
    EXPECT_EQ(big.minValue, 100000000);
    EXPECT_EQ(big.maxValue, 120000000);
    EXPECT_EQ(platform.messageTexts().back(), "Completion\rmax = 120000000 / min = 100000000");
}

TEST(Binning, RefusalsLeaveTheImageAsItWas)
{
    FitsImage img = imageOf(2, 4, [](int x, int y) { return x == 1 && y < 2 ? 2000000000 : 7; });
    img.maxValue = 2000000000;
    img.minValue = 7;
    const FitsImage before = img;
    for (const BinZones& z : {zones({{3, 3}, {2, 1}}), zones({{0, 1}}), zones({{2, 4}}), zones({{-1, 1}})}) {
        UndoBuffer undo;
        ScriptedPlatform platform;
        EXPECT_FALSE(binImage(img, undo, z, platform));
        EXPECT_EQ(platform.messageTexts().size(), 1u);
        EXPECT_EQ(img.pixels, before.pixels);
        EXPECT_EQ(img.maxValue, before.maxValue);
        EXPECT_EQ(img.minValue, before.minValue);
        EXPECT_FALSE(undo.available());
    }
    ScriptedPlatform platform;
    UndoBuffer undo;
    binImage(img, undo, zones({{3, 3}}), platform);
    EXPECT_EQ(platform.messageTexts(), std::vector<std::string>{kNoZoneMessage});
}

// ---- current line and curve -----------------------------------------------------

TEST(CurrentLine, UpAndDownStayInsideTheImage)
{
    const FitsImage img = imageOf(3, 5, [](int, int) { return 0; });
    EXPECT_EQ(lineUp(0), 0);
    EXPECT_EQ(lineUp(3), 2);
    EXPECT_EQ(lineDown(4, img), 4);
    EXPECT_EQ(lineDown(3, img), 4);
}

TEST(CurveDrawing, HeightIsTheValueAboveTheMinimumOverTheMaximum)
{
    const int values[] = {50, 150, 250};
    FitsImage img = imageOf(3, 2, [&](int x, int y) { return y == 1 ? values[x] : 0; });
    img.minValue = 50;
    img.maxValue = 250;
    // h = Int((p - 50) / 250 * 256 + 0.5): 0, Int(102.9) = 102, Int(205.3) = 205.
    auto segs = curveSegments(img, 1, 0);
    ASSERT_EQ(segs.size(), 2u);
    auto same = [](const CurveSegment& a, const CurveSegment& b) {
        return a.x0 == b.x0 && a.y0 == b.y0 && a.x1 == b.x1 && a.y1 == b.y1;
    };
    EXPECT_TRUE(same(segs[0], {0, 255, 1, 153}));
    EXPECT_TRUE(same(segs[1], {1, 153, 2, 50}));
    // The offset lifts every point.
    segs = curveSegments(img, 1, 10);
    EXPECT_EQ(segs[0].y0, 245);
    EXPECT_EQ(segs[1].y1, 40);
}

// ---- curve files ----------------------------------------------------------------

TEST(CurveFiles, NamesFollowTheFrameAndTheNameField)
{
    EXPECT_EQ(defaultCurveName("C:\\spectra\\m31.fit"), "C:\\spectra\\m31.txt");
    EXPECT_EQ(defaultCurveName("abc"), "binning.txt");
    EXPECT_EQ(defaultCurveName("abcd"), "atxt");
    EXPECT_EQ(curveFileNames("binning.txt"), (std::array<std::string, 3>{"binning.txt", "binning.djm", "binning-inv.djm"}));
}

TEST(CurveFiles, WavelengthAxisInPrintZones)
{
    const FitsImage img = imageOf(301, 2, [](int x, int y) { return y == 1 ? 1000 + x : -1; });
    CurveFileSettings s{"x.txt", true, 4000, 7000};
    const std::string text = curveFileText(img, 1, s, 0);
    const std::string pad(14 - 6, ' ');  // "4000. " then blanks to column 15
    EXPECT_EQ(text.substr(0, 22), "4000. " + pad + " 1000 \r\n");
    EXPECT_EQ(text.substr(22, 22), "4010. " + pad + " 1001 \r\n");
    EXPECT_EQ(text.substr(text.size() - 22), "7000. " + pad + " 1300 \r\n");
    EXPECT_EQ(text.size(), 301u * 22u);
    EXPECT_EQ(curveFileText(img, 1, s, 2), text);
    EXPECT_EQ(curveFileText(img, 1, s, 1).substr(0, 22), "4000. " + pad + "-1000 \r\n");

    // Up to three decimals: 1/3 Angstrom per column.
    const FitsImage four = imageOf(4, 1, [](int, int) { return 0; });
    const std::string thirds = curveFileText(four, 0, {"x.txt", true, 4000, 4001}, 0);
    EXPECT_EQ(thirds.substr(19, 19), "4000.333" + std::string(7, ' ') + "0 \r\n");
}

TEST(CurveFiles, PixelAxisAndTheThreeFilesOnDisk)
{
    const FitsImage img = imageOf(3, 2, [](int x, int y) { return y == 0 ? 99 : x == 0 ? 0 : x == 1 ? 7 : -3; });
    const std::string pad(11, ' ');  // " 0 " then blanks to column 15
    const std::string curve = " 0 " + pad + " 0 \r\n 1 " + pad + " 7 \r\n 2 " + pad + "-3 \r\n";
    const std::string negated = " 0 " + pad + " 0 \r\n 1 " + pad + "-7 \r\n 2 " + pad + " 3 \r\n";

    test::TempDir dir;
    ScriptedPlatform platform;
    CurveFileSettings s;
    s.name = dir.file("binning.txt");
    ASSERT_TRUE(saveCurveFiles(img, 1, s, platform));
    EXPECT_EQ(test::readFile(dir.file("binning.txt")), curve);
    EXPECT_EQ(test::readFile(dir.file("binning.djm")), negated);
    EXPECT_EQ(test::readFile(dir.file("binning-inv.djm")), curve);
    EXPECT_EQ(platform.messageTexts(), std::vector<std::string>{"Completion ,save to " + s.name});
    int files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path())) ++files;
    EXPECT_EQ(files, 3);  // no temporary file left
}

// ---- horizontal graph -------------------------------------------------------------

TEST(HorizontalGraph, FiftyOneColumnsFromTheMinimumAt270ToTheMaximumAt14)
{
    // Row 1: 0 everywhere, 512 at column 149, 3 at column 150; row 0 all 512.
    FitsImage img = imageOf(200, 3, [](int x, int y) { return y == 0 ? 512 : y == 2 ? 0 : x == 149 ? 512 : x == 150 ? 3 : 0; });
    img.minValue = 0;
    img.maxValue = 512;
    EXPECT_EQ(firstGraphColumn(10, img), 0);
    EXPECT_EQ(firstGraphColumn(100, img), 75);
    EXPECT_EQ(firstGraphColumn(190, img), 149);
    HorizontalGraph g{190, 1};
    std::vector<GraphDot> dots = graphDots(g, img);
    ASSERT_EQ(dots.size(), 51u);
    EXPECT_EQ(dots[0].i, 0);
    EXPECT_EQ(dots[0].y, 14);
    EXPECT_EQ(dots[1].y, 269);  // Int(3 / 512 * 256) = Int(1.5) = 1
    EXPECT_EQ(dots[50].y, 270);

    const std::vector<GraphDot> first = dots;
    graphZoomUp(g);
    dots = graphDots(g, img);
    EXPECT_EQ(dots[0].y, 14);    // Int(14.7)
    EXPECT_EQ(dots[50].y, 283);  // Int(283.5)
    graphZoomUp(g);
    graphZoomDown(g);
    graphZoomDown(g);
    dots = graphDots(g, img);
    for (int i = 0; i <= 50; ++i) EXPECT_EQ(dots[static_cast<std::size_t>(i)].y, first[static_cast<std::size_t>(i)].y);

    graphLevelUp(g);
    EXPECT_EQ(graphDots(g, img)[50].y, 260);
    graphLevelDown(g);
    graphLevelDown(g);
    EXPECT_EQ(graphDots(g, img)[50].y, 280);

    graphLineDown(g);
    EXPECT_EQ(g.row, 0);
    EXPECT_EQ(graphDots(g, img)[50].y, 24);  // 14 + level 10, row 0 now
    graphLineDown(g);
    EXPECT_EQ(g.row, 0);
    g.row = 2;
    graphLineUp(g, img);
    EXPECT_EQ(g.row, 2);
}

TEST(HorizontalGraph, AFlatImageDrawsAtTheMinimumsHeight)
{
    FitsImage img = imageOf(60, 1, [](int, int) { return 40; });
    img.minValue = img.maxValue = 40;
    for (const GraphDot& d : graphDots({30, 0}, img)) EXPECT_EQ(d.y, 270);
}

}  // namespace
}  // namespace lv
