#include "lightcurve/mag_est.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "fits_builder.h"

namespace lv {
namespace {

MagEstRecord record(double check, double comp, double var, const std::string& path)
{
    MagEstRecord r;
    r.date = "2018-02-15";
    r.time = "12:30:45";
    r.exposure = 30;
    r.check = check;
    r.comparison = comp;
    r.variable = var;
    r.framePath = path;
    return r;
}

TEST(MagEstLine, TheDataLineFormat)
{
    EXPECT_EQ(magEstLine(record(11.234, 10.5, 12.345, "C:\\obs\\rzcas\\img0001.fit"), 3),
              "2018-02-15 12:30:45 030 Check=011.234 Comp=010.500 Var=012.345 C:\\obs\\rzcas\\img0001.fit\r\n");
    EXPECT_EQ(magEstLine(record(11.23, 10.5, 12.35, "/obs/a.fit"), 2),
              "2018-02-15 12:30:45 030 Check=011.23 Comp=010.50 Var=012.35 /obs/a.fit\r\n");

    // Exposure: at least three digits, rounded to whole seconds; defaults when nothing was found.
    MagEstRecord r = record(1, 2, 3, "p");
    r.exposure = 1200;
    EXPECT_EQ(magEstLine(r, 3).substr(0, 24), "2018-02-15 12:30:45 1200");
    r.exposure = 29.6;
    EXPECT_EQ(magEstLine(r, 3).substr(19, 5), " 030 ");
    EXPECT_EQ(magEstLine(MagEstRecord{}, 3), "00/00/00 00:00:00 000 Check=000.000 Comp=000.000 Var=000.000 \r\n");
    // A negative magnitude carries its sign in front of the pattern.
    EXPECT_EQ(magEstLine(record(-1.5, 10.5, 12.5, "p"), 3).substr(24, 15), "Check=-001.500 ");
}

TEST(MagEstFile, AppendAndEmpty)
{
    test::TempDir dir;
    const std::string path = dir.file(kMagEstName);
    std::string error;
    ASSERT_TRUE(appendMagEstLine(path, "one\r\n", error)) << error;
    ASSERT_TRUE(appendMagEstLine(path, "two\r\n", error)) << error;
    EXPECT_EQ(test::readFile(path), "one\r\ntwo\r\n");
    ASSERT_TRUE(emptyMagEst(path, error)) << error;
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(test::readFile(path), "");
    EXPECT_FALSE(appendMagEstLine(dir.file("no such folder/mag_est.txt"), "x\r\n", error));
    EXPECT_FALSE(error.empty());
}

struct ReadFile {
    test::TempDir dir;
    std::string path = dir.file(kMagEstName);
    LightCurveTable table;

    MagEstRead read(const std::string& text)
    {
        test::writeFile(path, text);
        return readMagEst(path, table);
    }
};

TEST(MagEstRead, NumberedLinesTimesAndMagnitudes)
{
    ReadFile f;
    const std::string l1 = "2018-02-15 12:00:00 030 Check=011.234 Comp=010.500 Var=012.345 C:\\obs\\my frames\\a 1.fit";
    const std::string l2 = "16/02/18 00:30:00 030 Check=011.000 Comp=010.750 Var=013.000 /b.fit";
    const std::string l3 = "2018-02-16 01:30:36 030 Check=011.23 Comp=010.50 Var=012.35 /c.fit";
    const MagEstRead r = f.read(";first\r\n" + l1 + "\r\n;second comment\r\n" + l2 + "\r\n" + l3);
    EXPECT_TRUE(r.opened);
    EXPECT_FALSE(r.truncated);
    const LightCurveTable& t = f.table;
    EXPECT_EQ(t.comment, ";second comment");
    ASSERT_EQ(t.count(), 3);
    EXPECT_EQ(t.lines[0], " 0001 : " + l1);
    EXPECT_EQ(t.lines[2], " 0003 : " + l3);
    EXPECT_FALSE(t.deleted(0));

    // The list text stops after the variable's trailing space, spaces in the path or not.
    EXPECT_EQ(listTextOf(t.lines[0]), " 0001 : 2018-02-15 12:00:00 030 Check=011.234 Comp=010.500 Var=012.345 ");
    EXPECT_EQ(listTextOf(t.lines[1]), " 0002 : 16/02/18 00:30:00 030 Check=011.000 Comp=010.750 Var=013.000 ");

    // 12:00 stays 12; times before noon belong to the same night.
    EXPECT_DOUBLE_EQ(t.time[0], 12.0);
    EXPECT_DOUBLE_EQ(t.time[1], 24.5);
    EXPECT_NEAR(t.time[2], 25.51, 1e-12);
    EXPECT_DOUBLE_EQ(t.check[0], 11.234);
    EXPECT_DOUBLE_EQ(t.comp[0], 10.5);
    EXPECT_DOUBLE_EQ(t.var[0], 12.345);
    EXPECT_DOUBLE_EQ(t.check[2], 11.23);
    EXPECT_DOUBLE_EQ(t.comp[2], 10.5);
    EXPECT_DOUBLE_EQ(t.var[2], 12.35);

    EXPECT_DOUBLE_EQ(t.minTime, 12.0);
    EXPECT_NEAR(t.maxTime, 25.51, 1e-12);
    EXPECT_DOUBLE_EQ(t.minK, 11.0);
    EXPECT_DOUBLE_EQ(t.maxK, 11.234);
    EXPECT_DOUBLE_EQ(t.minV, 12.345);
    EXPECT_DOUBLE_EQ(t.maxV, 13.0);
    // C-K: -0.734, -0.25, -0.73; V-C: 1.845, 2.25, 1.85.
    EXPECT_NEAR(t.minCK, -0.734, 1e-12);
    EXPECT_NEAR(t.maxCK, -0.25, 1e-12);
    EXPECT_NEAR(t.minVC, 1.845, 1e-12);
    EXPECT_NEAR(t.maxVC, 2.25, 1e-12);
}

TEST(MagEstRead, LinesOfAnotherLayoutAndOtherLineEnds)
{
    ReadFile f;
    // "hello" has no space after the date position; the second line has one "=" only.
    f.read("hello\n2018-02-15 21:00:00 030 Check=011.000 and nothing more\r2018-02-15 22:00:00 030 "
           "Check=-001.500 Comp=010.000 Var=011.000 p\r\n");
    const LightCurveTable& t = f.table;
    ASSERT_EQ(t.count(), 3);
    EXPECT_FALSE(t.hasTime[0]);
    EXPECT_FALSE(t.hasCheck[0]);
    EXPECT_TRUE(t.hasTime[1]);
    EXPECT_TRUE(t.hasCheck[1]);
    EXPECT_FALSE(t.hasComp[1]);
    EXPECT_FALSE(t.hasVar[1]);
    EXPECT_DOUBLE_EQ(t.time[1], 21.0);
    // A negative magnitude keeps its sign.
    EXPECT_DOUBLE_EQ(t.check[2], -1.5);
    EXPECT_DOUBLE_EQ(t.minTime, 21.0);
    EXPECT_DOUBLE_EQ(t.maxTime, 22.0);
    EXPECT_DOUBLE_EQ(t.minK, -1.5);
    EXPECT_DOUBLE_EQ(t.maxK, 11.0);
    // Only the third line gives C and V.
    EXPECT_DOUBLE_EQ(t.minC, 10.0);
    EXPECT_DOUBLE_EQ(t.maxC, 10.0);
    EXPECT_DOUBLE_EQ(t.minCK, 11.5);
    EXPECT_DOUBLE_EQ(t.maxVC, 1.0);

    // A file of comments only: no line, the last comment, ranges untouched.
    f.read(";a\r\n;b\r\n");
    EXPECT_EQ(f.table.count(), 0);
    EXPECT_EQ(f.table.comment, ";b");
    EXPECT_EQ(f.table.minTime, 99.0);
    EXPECT_EQ(f.table.maxVC, -99.0);

    MagEstRead missing = readMagEst(f.dir.file("none.txt"), f.table);
    EXPECT_FALSE(missing.opened);
    EXPECT_FALSE(missing.error.empty());
    EXPECT_EQ(f.table.comment, ";b");  // the previous table stays
}

TEST(MagEstRead, AtMostThreeThousandDataLines)
{
    ReadFile f;
    std::string text;
    for (int i = 0; i < LightCurveTable::kCapacity + 1; ++i)
        text += "2018-02-15 21:00:00 030 Check=011.000 Comp=010.000 Var=011.000 p" + std::to_string(i) + "\r\n";
    const MagEstRead r = f.read(text);
    EXPECT_TRUE(r.truncated);
    EXPECT_EQ(f.table.count(), LightCurveTable::kCapacity);
    EXPECT_EQ(f.table.lines.back().substr(0, 8), " 3000 : ");
}

TEST(MagEstRewrite, DeletedLinesAreLeftOutAndTheRestWrittenAsRead)
{
    ReadFile f;
    std::vector<std::string> lines;
    for (int i = 1; i <= 7; ++i)
        lines.push_back("2018-02-15 2" + std::to_string(i) + ":00:00 030 Check=011.000 Comp=010.000 Var=011.00" +
                        std::to_string(i) + " C:\\n\\f " + std::to_string(i) + ".fit");
    std::string text = ";night of the 15th\r\n";
    for (const std::string& l : lines) text += l + "\r\n";
    f.read(text);
    ASSERT_EQ(f.table.count(), 7);
    f.table.lines[1][0] = 'x';
    f.table.lines[4][0] = 'x';
    EXPECT_TRUE(f.table.deleted(1));
    const std::string expected = ";night of the 15th\r\n" + lines[0] + "\r\n" + lines[2] + "\r\n" + lines[3] + "\r\n" +
                                 lines[5] + "\r\n" + lines[6] + "\r\n";
    EXPECT_EQ(magEstText(f.table), expected);

    // A comment typed without ";" gets one; no comment, no comment line.
    f.table.comment = "typed";
    EXPECT_EQ(magEstText(f.table).substr(0, 7), ";typed\r");
    f.table.comment.clear();
    EXPECT_EQ(magEstText(f.table).substr(0, lines[0].size()), lines[0]);

    // Saving asks first; Cancel leaves the file.
    ScriptedPlatform platform;
    platform.answers = {false, true};
    f.table.comment = ";night of the 15th";
    EXPECT_FALSE(saveMagEst(f.table, platform));
    EXPECT_EQ(test::readFile(f.path), text);
    EXPECT_TRUE(saveMagEst(f.table, platform));
    EXPECT_EQ(test::readFile(f.path), expected);
    ASSERT_EQ(platform.shown.size(), 2u);
    EXPECT_EQ(platform.shown[0].text, "Do you want to save a photometry data? " + f.path);
}

}  // namespace
}  // namespace lv
