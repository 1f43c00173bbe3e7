#include "lightcurve/aavso.h"

#include <gtest/gtest.h>

#include "fits_builder.h"

namespace lv {
namespace {

LightCurveTable tableOf(const std::string& text)
{
    test::TempDir dir;
    const std::string path = dir.file("mag_est.txt");
    test::writeFile(path, text);
    LightCurveTable t;
    EXPECT_TRUE(readMagEst(path, t).opened);
    return t;
}

AavsoSettings settings()
{
    AavsoSettings a;
    a.report.star = "RZ CAS";
    a.report.code = "ABC";
    a.report.compMag = 10.0;
    a.report.colour = "Rc";
    a.comparisonName = "000-BBC-123";
    a.checkName = "000-BBC-456";
    return a;
}

TEST(Aavso, EveryFieldOfAHandWorkedLine)
{
    const LightCurveTable t = tableOf(
        "2018-02-15 21:30:45 030 Check=011.234 Comp=010.500 Var=012.345 /obs/a.fit\r\n"
        "2018-02-16 02:00:00 060 Check=011.200 Comp=010.400 Var=012.000 /obs/b.fit\r\n");
    std::string why;
    const auto text = aavsoText(t, settings(), 0.0567, why);
    ASSERT_TRUE(text) << why;
    // The magnitude is the comparison's plus V - C on the standard scale:
    // 10 + 1.845 x 2.5 / 2.511886432 = 11.836.
    // 21:30:45 JST + 15 s is 12:31:00 UT: JD 2458165 + 0.5 + 31/1440 ... from 2018-02-15 00:00 UT = 2458164.5.
    // 2458164.5 + (12 + 31/60) / 24 = 2458165.021527...
    EXPECT_EQ(*text,
              "#TYPE=EXTENDED\r\n#OBSCODE=ABC\r\n#SOFTWARE=Lumavist 5.06b\r\n#DELIM=,\r\n#DATE=JD\r\n#OBSTYPE=CCD\r\n"
              "RZ CAS,2458165.02153,11.836,0.0567,R,NO,STD,000-BBC-123,10.500,000-BBC-456,11.234,na,na,na,"
              "UT = data times less 9 h\r\n"
              // 02:00:30 JST on the 16th is 17:00:30 UT on the 15th.
              "RZ CAS,2458165.20868,11.592,0.0567,R,NO,STD,000-BBC-123,10.400,000-BBC-456,11.200,na,na,na,"
              "UT = data times less 9 h\r\n");
}

// With the night's table beside the data file each record takes its frame's
// own error, airmass and V - C, and may be dated by HJD.
TEST(Aavso, RecordsTakeTheirOwnErrorAndAirmassFromTheNightsTable)
{
    test::TempDir dir;
    test::writeFile(dir.file("mag_est.txt"),
                    "2018-02-15 21:30:45 030 Check=011.234 Comp=010.500 Var=012.345 /obs/a.fit\r\n"
                    "2018-02-16 02:00:00 060 Check=011.200 Comp=010.400 Var=012.000 /obs/b.fit\r\n");
    LightCurveTable t;
    ASSERT_TRUE(readMagEst(dir.file("mag_est.txt"), t).opened);
    const std::string cells = ",,,,,,,,,,,,";  // snr ... sky_sd, empty
    // Rows in another order than the lines: they are matched by frame name.
    test::writeFile(dir.file("photometry.csv"),
                    std::string(kNightTableHeader) + "\r\n" +
                        "b.fit,2458165.208700,2458165.208000,2458165.208800,1.2345,,,,,,,1.5900,0.0123,,," + cells + "saturated_v\r\n" +
                        "a.fit,2458165.021500,,,,,,,,,,1.8400,0.0045,,," + cells + "no_position\r\n");
    ASSERT_TRUE(readNightRows(dir.file("photometry.csv")));
    ScriptedPlatform platform;
    ASSERT_TRUE(writeAavso(t, settings(), 0.0567, dir.file("aavso.txt"), platform)) << platform.messageTexts().front();
    const std::string text = test::readFile(dir.file("aavso.txt"));
    EXPECT_NE(text.find("RZ CAS,2458165.02153,11.840,0.0045,R,NO,STD,000-BBC-123,10.500,000-BBC-456,11.234,na,na,"),
              std::string::npos) << text;
    EXPECT_NE(text.find("RZ CAS,2458165.20868,11.590,0.0123,R,NO,STD,000-BBC-123,10.400,000-BBC-456,11.200,1.2345,na,"),
              std::string::npos) << text;

    AavsoSettings helio = settings();
    helio.heliocentric = true;
    platform.shown.clear();
    EXPECT_FALSE(writeAavso(t, helio, 0.0567, dir.file("aavso.txt"), platform));  // a.fit has no HJD
    EXPECT_NE(platform.messageTexts().front().find("Line 1 has no HJD"), std::string::npos);
    test::writeFile(dir.file("photometry.csv"),
                    std::string(kNightTableHeader) + "\r\n" +
                        "a.fit,2458165.021500,2458165.020700,,,,,,,,,1.8400,0.0045,,," + cells + "\r\n" +
                        "b.fit,2458165.208700,2458165.208000,,,,,,,,,1.5900,0.0123,,," + cells + "\r\n");
    ASSERT_TRUE(writeAavso(t, helio, 0.0567, dir.file("aavso.txt"), platform));
    const std::string hjd = test::readFile(dir.file("aavso.txt"));
    EXPECT_NE(hjd.find("#DATE=HJD\r\n"), std::string::npos);
    EXPECT_NE(hjd.find("RZ CAS,2458165.02070,11.840,"), std::string::npos) << hjd;
}

TEST(Aavso, FieldsThatBreakTheFormatAreRefused)
{
    const LightCurveTable t = tableOf("2018-02-15 21:30:45 030 Check=011.234 Comp=010.500 Var=012.345 a.fit\r\n");
    std::string why;
    AavsoSettings a = settings();
    a.report.star = std::string(31, 'X');
    EXPECT_FALSE(aavsoText(t, a, 0.01, why));
    EXPECT_NE(why.find("30 characters"), std::string::npos);
    a = settings();
    a.report.star = "RZ,CAS";
    EXPECT_FALSE(aavsoText(t, a, 0.01, why));
    a = settings();
    a.report.colour = "H";
    EXPECT_FALSE(aavsoText(t, a, 0.01, why));
    EXPECT_FALSE(aavsoText(t, settings(), 12.5, why));  // "12.5000" is 7 characters
    EXPECT_NE(why.find("6 characters"), std::string::npos);
    EXPECT_EQ(aavsoFilter("Ic"), "I");
    EXPECT_EQ(aavsoFilter("B"), "B");
}

}  // namespace
}  // namespace lv
