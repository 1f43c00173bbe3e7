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
    // 21:30:45 JST + 15 s is 12:31:00 UT: JD 2458165 + 0.5 + 31/1440 ... from 2018-02-15 00:00 UT = 2458164.5.
    // 2458164.5 + (12 + 31/60) / 24 = 2458165.021527...
    EXPECT_EQ(*text,
              "#TYPE=EXTENDED\r\n#OBSCODE=ABC\r\n#SOFTWARE=Lumavist 5.06b\r\n#DELIM=,\r\n#DATE=JD\r\n#OBSTYPE=CCD\r\n"
              "RZ CAS,2458165.02153,11.845,0.0567,R,NO,STD,000-BBC-123,10.500,000-BBC-456,11.234,na,na,na,"
              "UT = data times less 9 h\r\n"
              // 02:00:30 JST on the 16th is 17:00:30 UT on the 15th.
              "RZ CAS,2458165.20868,11.600,0.0567,R,NO,STD,000-BBC-123,10.400,000-BBC-456,11.200,na,na,na,"
              "UT = data times less 9 h\r\n");
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
