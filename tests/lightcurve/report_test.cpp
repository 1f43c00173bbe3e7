// The observation report files: the worked CASRZ record, the report date
// with its previous-day rule, fixed columns, Shift-JIS texts and refusals.
// The Japanese bytes below were taken from Python's cp932 codec.
#include "lightcurve/report.h"

#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "fits_builder.h"
#include "lightcurve/light_curve.h"

namespace lv {
namespace {

namespace fs = std::filesystem;

const std::string kCrLf = "\r\n";

// A table read from data lines, as the light-curve window holds it.
LightCurveTable tableOf(const std::vector<std::string>& lines)
{
    test::TempDir dir;
    std::string text;
    for (const std::string& l : lines) text += l + kCrLf;
    test::writeFile(dir.file("mag_est.txt"), text);
    LightCurveTable t;
    EXPECT_TRUE(readMagEst(dir.file("mag_est.txt"), t).opened);
    return t;
}

std::string dataLine(const std::string& dateTime, const std::string& exposure = "030",
                     const std::string& mags = "Check=011.000 Comp=010.500 Var=012.346 ")
{
    return dateTime + " " + exposure + " " + mags + "/obs/rzcas/img.fit";
}

ReportFields casrz()
{
    ReportFields f;
    f.star = "CASRZ";
    f.code = "ABC";
    f.compMag = 10.0;
    f.colour = "V";
    return f;
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t i; (i = text.find(kCrLf, start)) != std::string::npos; start = i + 2)
        out.push_back(text.substr(start, i - start));
    EXPECT_EQ(start, text.size()) << "the last line lacks its CR LF";
    return out;
}

ReportFiles build(const LightCurveTable& t, const ReportFields& f, double error = 0.0)
{
    std::string why;
    const auto files = buildReport(t, f, error, why);
    EXPECT_TRUE(files) << why;
    return files.value_or(ReportFiles{});
}

TEST(Report, WorkedCasrzExampleByteForByte)
{
    ReportFields f = casrz();
    f.observerPlace = "東京 山田";
    f.instruments = "30cm ①";  // a character of CP932 that plain JIS Shift_JIS lacks
    const ReportFiles files = build(tableOf({dataLine("2018-02-15 21:30:45")}), f, 0.0123);
    EXPECT_EQ(files.records, 1);
    EXPECT_EQ(files.stdText,
              "\x95\xcf\x8c\xf5\x90\xaf\x8a\xcf\x91\xaa 2018/02/15 By ABC\r\n"
              "---- Variable Star Observations ----\r\n"
              "CASRZ 20180215213100 11.846V ABC\r\n" +
                  std::string(69, '-') + kCrLf +
                  "\x8a\xcf\x91\xaa\x82\xcd\x8f\x87\x82\xc9\x90\xaf\x96\xbc , JST(hhmmss), \x8c\xf5\x93x, "
                  "\x8a\xcf\x91\xaa\x8e\xd2\x97\xaa\x8d\x86\r\n"
                  "total: 1\x90\xaf / 1 \x96\xda\x91\xaa\r\n"
                  "observer: \x93\x8c\x8b\x9e \x8eR\x93"
                  "c\r\n"
                  "instruments: 30cm \x87@\r\n"
                  "comment: photometry error = 0.0123\r\n");
    EXPECT_EQ(files.fixedText,
              "20180215ABC       213100CASRZ               V magnitude    CCD(V)   01185 458165.0215\r\n");
}

TEST(Report, ReportDateAndThePreviousDayRule)
{
    struct Case {
        const char* dateTime;
        CalendarDay expected;
    };
    const Case cases[] = {
        {"2018-02-16 02:10:00", {2018, 2, 15}}, {"2016-03-01 03:00:00", {2016, 2, 29}},
        {"2018-03-01 03:00:00", {2018, 2, 28}}, {"2018-01-01 03:00:00", {2017, 12, 31}},
        {"2018-05-01 03:00:00", {2018, 4, 30}}, {"2100-03-01 03:00:00", {2100, 2, 28}},
        {"1900-03-01 03:00:00", {1900, 2, 28}}, {"2000-03-01 03:00:00", {2000, 2, 29}},
        {"2018-02-15 09:59:59", {2018, 2, 14}}, {"2018-02-15 10:00:00", {2018, 2, 15}},
        // The time-zone setting may put hours past 23 without changing the date.
        {"2018-02-15 27:15:00", {2018, 2, 15}},
        // Day/month/two-digit year: 81..99 are 19xx, 00..80 are 20xx.
        {"15/02/99 21:00:00", {1999, 2, 15}}, {"15/02/05 21:00:00", {2005, 2, 15}},
        {"15/02/80 21:00:00", {2080, 2, 15}}, {"15/02/81 21:00:00", {1981, 2, 15}},
        {"01/03/04 02:00:00", {2004, 2, 29}}, {"01/01/81 02:00:00", {1980, 12, 31}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(reportDate(" 0001 : " + dataLine(c.dateTime)), c.expected) << c.dateTime;
}

TEST(Report, EarlyMorningRecordKeepsTheEveningDate)
{
    // 02:10 belongs to the night of the 15th: hours 26 on the report date.
    const ReportFiles files = build(tableOf({dataLine("2018-02-16 02:10:00", "000")}), casrz());
    const auto s = linesOf(files.stdText);
    EXPECT_EQ(s[0].substr(s[0].size() - 17), "2018/02/15 By ABC");
    EXPECT_EQ(s[2], "CASRZ 20180215261000 11.846V ABC");
    // JD of 2018-02-15 26:10 JST = 2018-02-15 17:10 UT = 2458165.215278.
    EXPECT_EQ(linesOf(files.fixedText)[0].substr(16), "  261000CASRZ               V magnitude    CCD(V)   01185 458165.2153");
}

TEST(Report, MidExposureCarriesFully)
{
    const ReportFiles files = build(tableOf({dataLine("2018-02-15 21:55:45", "999"),
                                             dataLine("2018-02-15 23:59:50", "030"),
                                             dataLine("2018-02-15 21:30:00", "120")}),
                                    casrz());
    const auto s = linesOf(files.stdText);
    // 21:55:45 + 500 s = 22:04:05; 23:59:50 + 15 s = 24:00:05; 21:30:00 + 60 s.
    EXPECT_EQ(s[2].substr(6, 14), "20180215220405");
    EXPECT_EQ(s[3].substr(6, 14), "20180215240005");
    EXPECT_EQ(s[4].substr(6, 14), "20180215213100");
    const auto fixed = linesOf(files.fixedText);
    EXPECT_EQ(fixed[0].substr(18, 6), "220405");
    EXPECT_EQ(fixed[1].substr(18, 6), "240005");
    // 24:00:05 JST on the 15th = 15:00:05 UT: 2458165.125058.
    EXPECT_EQ(fixed[1].substr(74), "458165.1251");
}

TEST(Report, TwoDecimalData)
{
    const ReportFiles files = build(
        tableOf({dataLine("2018-02-15 21:30:45", "030", "Check=011.00 Comp=010.50 Var=012.35 ")}), casrz());
    EXPECT_EQ(linesOf(files.stdText)[2], "CASRZ 20180215213100 11.85V ABC");
    EXPECT_EQ(linesOf(files.fixedText)[0].substr(68, 6), "01185 ");
}

TEST(Report, LongCodeFullStarAndDeletedLines)
{
    LightCurveTable t = tableOf({dataLine("2018-02-15 21:30:45"), dataLine("2018-02-15 22:40:00"),
                                 dataLine("2018-02-15 23:10:00")});
    setDeleted(t, 1, true);
    ReportFields f = casrz();
    f.code = "ABCDEFGHIJKL";
    f.star = "ABCDEFGHIJKLMNOPQRST";  // 20 characters: the most allowed
    const ReportFiles files = build(t, f);
    EXPECT_EQ(files.records, 2);
    const auto s = linesOf(files.stdText);
    ASSERT_EQ(s.size(), 10u);
    EXPECT_EQ(s[0].substr(10), " 2018/02/15 By ABCDEFGHIJKL");
    EXPECT_EQ(s[2], "ABCDEFGHIJKLMNOPQRST 20180215213100 11.846V ABCDEFGHIJKL");
    EXPECT_EQ(s[3], "ABCDEFGHIJKLMNOPQRST 20180215231015 11.846V ABCDEFGHIJKL");
    EXPECT_EQ(s[6], "total: 1\x90\xaf / 2 \x96\xda\x91\xaa");
    const auto fixed = linesOf(files.fixedText);
    ASSERT_EQ(fixed.size(), 2u);
    EXPECT_EQ(fixed[0], "20180215ABCDEFGHIJ213100ABCDEFGHIJKLMNOPQRSTV magnitude    CCD(V)   01185 458165.0215");
    EXPECT_EQ(fixed[1].substr(0, 24), "20180215ABCDEFGHIJ231015");
    EXPECT_EQ(files.stdText.find("2240"), std::string::npos);
}

std::set<std::string> filesIn(const fs::path& dir)
{
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

TEST(Report, RefusalsWriteNothingAndSaySoOnce)
{
    const LightCurveTable good = tableOf({dataLine("2018-02-15 21:30:45")});
    LightCurveTable allDeleted = good;
    setDeleted(allDeleted, 0, true);
    ReportFields longStar = casrz(), emojiObserver = casrz(), emojiStar = casrz();
    longStar.star = "ABCDEFGHIJKLMNOPQRSTU";
    emojiObserver.observerPlace = "Tokyo \xF0\x9F\x98\x80";
    emojiStar.star = "RZ\xF0\x9F\x98\x80";
    const struct {
        const char* name;
        LightCurveTable table;
        ReportFields fields;
    } cases[] = {
        {"empty table", tableOf({}), casrz()},
        {"every line deleted", allDeleted, casrz()},
        {"star of 21 characters", good, longStar},
        {"emoji in the observer", good, emojiObserver},
        {"emoji in the star", good, emojiStar},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        test::writeFile(dir.file(kReportStdName), "earlier report");
        ScriptedPlatform platform;
        EXPECT_FALSE(writeReport(c.table, c.fields, 0.0, dir.path().string(), platform)) << c.name;
        EXPECT_EQ(filesIn(dir.path()), std::set<std::string>{kReportStdName}) << c.name;
        EXPECT_EQ(test::readFile(dir.file(kReportStdName)), "earlier report") << c.name;
        ASSERT_EQ(platform.messageTexts().size(), 1u) << c.name;
        EXPECT_NE(platform.messageTexts()[0], kReportDoneMessage) << c.name;
    }
}

TEST(Report, WriteReplacesBothFilesAndLeavesNoTemporaries)
{
    test::TempDir dir;
    test::writeFile(dir.file(kReportStdName), "old std");
    test::writeFile(dir.file(kReportFixedName), "old fixed");
    const LightCurveTable t = tableOf({dataLine("2018-02-15 21:30:45")});
    ScriptedPlatform platform;
    ASSERT_TRUE(writeReport(t, casrz(), 0.0, dir.path().string(), platform));
    EXPECT_EQ(platform.messageTexts(), std::vector<std::string>{kReportDoneMessage});
    EXPECT_EQ(filesIn(dir.path()), (std::set<std::string>{kReportStdName, kReportFixedName}));
    const ReportFiles expected = build(t, casrz());
    EXPECT_EQ(test::readFile(dir.file(kReportStdName)), expected.stdText);
    EXPECT_EQ(test::readFile(dir.file(kReportFixedName)), expected.fixedText);
}

}  // namespace
}  // namespace lv
