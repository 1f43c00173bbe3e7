#include "lightcurve/aavso.h"

#include <cmath>

#include <gtest/gtest.h>

#include "core/conventions.h"
#include "lightcurve/light_curve.h"

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

// A night measured with an ensemble: CNAME ENSEMBLE, CMAG na, the check
// star on the ensemble's scale, the stars named in the notes; the rows' own
// magnitudes give each comparison star's scatter against the others.
TEST(Aavso, AnEnsembleNightAndItsComparisonStarsScatter)
{
    test::TempDir dir;
    std::string lines;
    for (int i = 0; i < 4; ++i)
        lines += "2018-02-15 21:3" + std::to_string(i) + ":45 030 Check=011.234 Comp=010.500 Var=012.345 /obs/f" +
                 std::to_string(i) + ".fit\r\n";
    test::writeFile(dir.file("mag_est.txt"), lines);
    LightCurveTable t;
    ASSERT_TRUE(readMagEst(dir.file("mag_est.txt"), t).opened);
    const std::string cells = ",,,,,,,,,,,,";
    // Comparison 3 varies by 0.1 mag; 1 and 2 are steady; f2 was measured without 2.
    const char* const own[] = {"5.5000,6.0000,6.3000", "5.5000,6.0000,6.4000", "5.5000,,6.3000",
                               "5.5000,6.0000,6.4000"};
    std::string table = nightTableEnsembleHeader() + "\r\n";
    for (int i = 0; i < 4; ++i)
        table += "f" + std::to_string(i) + ".fit,2458165.0215,,,,,,,,,,1.8400,0.0045,-0.2500,0.0050," + cells +
                 (i == 2 ? "left_out_c2" : "") + "," + (i == 2 ? "2" : "3") + "," + own[i] + ",,,,,,,\r\n";
    test::writeFile(dir.file("photometry.csv"), table);
    const auto rows = readNightRows(dir.file("photometry.csv"));
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 4u);
    EXPECT_EQ((*rows)[2].ensembleN, 2);
    EXPECT_FALSE((*rows)[2].comparisonMagnitudes[1]);
    EXPECT_DOUBLE_EQ(*(*rows)[3].comparisonMagnitudes[2], 6.4);
    EXPECT_FALSE((*rows)[3].comparisonMagnitudes[3]);

    AavsoSettings a = settings();
    a.comparisonName = "000-BBC-123 000-BBC-124 000-BBC-125";
    a.night = rows;
    std::string why;
    const auto text = aavsoText(t, a, 0.05, why);
    ASSERT_TRUE(text) << why;
    // KMAG: 10 - (-0.25); MAG: 10 + 1.84.
    EXPECT_NE(text->find("RZ CAS,2458165.02153,11.840,0.0045,R,NO,STD,ENSEMBLE,na,000-BBC-456,10.250,na,na,na,"
                         "ensemble of 3 comparison stars: 000-BBC-123 000-BBC-124 000-BBC-125; UT = data times less 9 h\r\n"),
              std::string::npos)
        << *text;
    EXPECT_NE(text->find(",ENSEMBLE,na,000-BBC-456,10.250,na,na,na,ensemble of 2 comparison stars: "), std::string::npos);

    std::vector<ComparisonScatter> scatter = comparisonScatter(t, *rows);
    ASSERT_EQ(scatter.size(), 3u);
    EXPECT_EQ(scatter[0].frames, 4);
    EXPECT_EQ(scatter[1].frames, 3);
    // The varying star scatters most against the others.
    EXPECT_GT(*scatter[2].deviation, 0.05);
    EXPECT_GT(*scatter[2].deviation, 2 * *scatter[1].deviation);
    // Comparison 2 on its three frames, against the mean flux of 1 and 3.
    std::vector<double> d;
    for (int i : {0, 1, 3}) {
        const double c3 = i == 0 ? 6.3 : 6.4;
        d.push_back(6.0 - (20 - 2.5 * std::log10((std::pow(10, (20 - 5.5) / 2.5) + std::pow(10, (20 - c3) / 2.5)) / 2)));
    }
    const double mean = (d[0] + d[1] + d[2]) / 3;
    const double sd = std::sqrt(((d[0] - mean) * (d[0] - mean) + (d[1] - mean) * (d[1] - mean) +
                                 (d[2] - mean) * (d[2] - mean)) / 2);
    EXPECT_NEAR(*scatter[1].deviation, sd, 1e-12);
    EXPECT_EQ(comparisonScatterText(scatter[1]), "C2  sd " + fixedText(sd, 4) + "  (3 frames)");
    // A deleted line is left out, and a night without an ensemble has none.
    setDeleted(t, 0, true);
    EXPECT_EQ(comparisonScatter(t, *rows)[0].frames, 3);
    std::vector<NightRow> plain = *rows;
    for (NightRow& r : plain) r.ensembleN.reset();
    EXPECT_TRUE(comparisonScatter(t, plain).empty());
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
