#include "core/settings.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "fits_builder.h"

namespace lv {
namespace {

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t p; (p = text.find("\r\n", start)) != std::string::npos; start = p + 2)
        out.push_back(text.substr(start, p - start));
    EXPECT_EQ(start, text.size()) << "every line ends with CR LF";
    return out;
}

TEST(Settings, MissingFileGivesDefaults)
{
    test::TempDir dir;
    AppSettings s;
    EXPECT_FALSE(readSettings(dir.file("lumavist.ini"), s));
    EXPECT_EQ(s.beepOn, 0);
    EXPECT_EQ(s.digits, 3);
    EXPECT_EQ(s.timeZoneHours, 0.0);
    EXPECT_FALSE(s.window(SettingsWindow::LightCurve).known);
    EXPECT_EQ(settingsPathIn(dir.path().string()), dir.file("lumavist.ini"));
}

TEST(Settings, LayoutOfTheTwentyFiveLines)
{
    AppSettings s;
    s.observerCode = "ABC";
    s.starName = "RZ Cas";
    s.comparisonMagnitude = "10.0";
    s.observerPlace = "Taro Yamada, Tokyo";
    s.beepOn = 1;
    s.window(SettingsWindow::Main) = {1234, 5678, true};
    s.window(SettingsWindow::FileDialog) = {-150, 0, true};
    s.axisStart = 12;
    s.axisEnd = 0.5;
    s.digits = 2;
    s.timeZoneHours = 9;
    const auto lines = linesOf(settingsText(s));
    ASSERT_EQ(lines.size(), 25u);
    EXPECT_EQ(lines[0], "ABC");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], "RZ Cas");
    EXPECT_EQ(lines[4], "Taro Yamada, Tokyo");
    EXPECT_EQ(lines[6], " 1");
    EXPECT_EQ(lines[7], " 1234" + std::string(9, ' ') + " 5678");
    EXPECT_EQ(lines[8], "-150" + std::string(10, ' ') + " 0");
    EXPECT_EQ(lines[21], " 0" + std::string(12, ' ') + " 0");
    EXPECT_EQ(lines[22], "12." + std::string(11, ' ') + ".5");
    EXPECT_EQ(lines[23], " 2");
    EXPECT_EQ(lines[24], " 9");
}

TEST(Settings, WrittenFileReadsBackUnchanged)
{
    test::TempDir dir;
    const std::string path = dir.file("lumavist.ini");
    AppSettings s;
    s.observerCode = "XYZ";
    s.comparisonColour = "V";
    s.starName = "  SS Cyg  ";  // spaces at both ends survive
    s.comparisonMagnitude = "11.25";
    s.observerPlace = "Observer, Place";
    s.instruments = "20cm SCT + CCD, V filter";
    s.beepOn = 1;
    for (std::size_t i = 0; i < s.windows.size(); ++i)
        s.windows[i] = {static_cast<double>(i * 1000 + 15), static_cast<double>(i * 300), true};
    s.axisStart = 6562.816;
    s.axisEnd = 4861.3;
    s.digits = 2;
    s.timeZoneHours = 9;
    std::string error;
    ASSERT_TRUE(writeSettings(path, s, error)) << error;
    const std::string first = test::readFile(path);

    AppSettings back;
    ASSERT_TRUE(readSettings(path, back));
    EXPECT_EQ(back.starName, s.starName);
    EXPECT_EQ(back.instruments, s.instruments);
    EXPECT_EQ(back.window(SettingsWindow::BzeroBscale).left, 14015.0);
    EXPECT_TRUE(back.window(SettingsWindow::BzeroBscale).known);
    EXPECT_DOUBLE_EQ(back.axisStart, 6562.816);
    EXPECT_EQ(back.digits, 2);
    ASSERT_TRUE(writeSettings(path, back, error)) << error;
    EXPECT_EQ(test::readFile(path), first);
}

TEST(Settings, ShortOrOddFilesKeepDefaultsForWhatIsMissing)
{
    test::TempDir dir;
    const std::string path = dir.file("lumavist.ini");
    // LF line ends, comma-separated numbers, a line with only one number.
    test::writeFile(path, "OBS\nB\nT Cep\n7.5\nplace\ninst\n1\n100,200\n300\n");
    AppSettings s;
    ASSERT_TRUE(readSettings(path, s));
    EXPECT_EQ(s.starName, "T Cep");
    EXPECT_EQ(s.beepOn, 1);
    EXPECT_EQ(s.window(SettingsWindow::Main).left, 100.0);
    EXPECT_EQ(s.window(SettingsWindow::Main).top, 200.0);
    EXPECT_FALSE(s.window(SettingsWindow::FileDialog).known);
    EXPECT_EQ(s.digits, 3);
    EXPECT_EQ(s.timeZoneHours, 0.0);

    // A number too large to hold leaves the setting at its default, and the
    // file written from it reads back the same.
    test::writeFile(path, "OBS\nB\nT Cep\n7.5\nplace\ninst\n1\n1e999 0\n5,-1e400\n");
    AppSettings big;
    ASSERT_TRUE(readSettings(path, big));
    EXPECT_FALSE(big.window(SettingsWindow::Main).known);
    EXPECT_FALSE(big.window(SettingsWindow::FileDialog).known);
    std::string error;
    ASSERT_TRUE(writeSettings(path, big, error)) << error;
    AppSettings back;
    ASSERT_TRUE(readSettings(path, back));
    EXPECT_EQ(settingsText(back), settingsText(big));
}

TEST(Settings, AavsoStarNamesAddTwoLinesOnlyOnceSet)
{
    AppSettings s;
    auto lines = [](const std::string& text) {
        std::size_t n = 0;
        for (std::size_t p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n", p + 2)) ++n;
        return n;
    };
    EXPECT_EQ(lines(settingsText(s)), 25u);
    s.comparisonName = "000-BBC-123";
    s.checkName = "K star";
    const std::string text = settingsText(s);
    EXPECT_EQ(lines(text), 27u);
    EXPECT_EQ(text.substr(text.size() - 21), "000-BBC-123\r\nK star\r\n");
    test::TempDir dir;
    const std::string path = dir.file("lumavist.ini");
    test::writeFile(path, text);
    AppSettings back;
    ASSERT_TRUE(readSettings(path, back));
    EXPECT_EQ(back.comparisonName, "000-BBC-123");
    EXPECT_EQ(back.checkName, "K star");
}

TEST(Settings, TheAnyFitsTickIsLine29OnlyWhileTicked)
{
    AppSettings s;
    const std::string plain = settingsText(s);
    EXPECT_EQ(std::count(plain.begin(), plain.end(), '\n'), 25);
    s.anyFits = true;
    const std::string text = settingsText(s);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 29);
    EXPECT_EQ(text.substr(text.size() - 10), "\r\n\r\n\r\n 1\r\n");  // lines 26 to 28 empty
    test::TempDir dir;
    test::writeFile(dir.file("lumavist.ini"), text);
    AppSettings back;
    ASSERT_TRUE(readSettings(dir.file("lumavist.ini"), back));
    EXPECT_TRUE(back.anyFits);
    EXPECT_EQ(settingsText(back), text);
}

TEST(Settings, TargetAndSiteAreLines30To37OnlyOnceSet)
{
    AppSettings s;
    s.anyFits = false;
    s.cameraGain = "1.4";
    const std::string text = settingsText(s);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 37);
    // Lines 26 to 28 empty, line 29 the unticked box, then the eight texts.
    EXPECT_EQ(text.substr(text.size() - 29), "\r\n\r\n\r\n 0\r\n\r\n\r\n\r\n\r\n\r\n1.4\r\n\r\n\r\n");
    s.targetRa = "00:59:00";
    s.targetDec = "+60:00:00";
    s.siteLatitude = "35.5";
    s.siteLongitude = "139.5";
    s.siteHeight = "50";
    s.cameraReadNoise = "9";
    s.cameraLinearity = "52000";
    s.anyFits = true;
    test::TempDir dir;
    test::writeFile(dir.file("lumavist.ini"), settingsText(s));
    AppSettings back;
    ASSERT_TRUE(readSettings(dir.file("lumavist.ini"), back));
    EXPECT_TRUE(back.anyFits);
    EXPECT_EQ(back.targetDec, "+60:00:00");
    EXPECT_EQ(back.cameraLinearity, "52000");
    EXPECT_EQ(settingsText(back), settingsText(s));
}

TEST(Settings, TheEnsembleIsLine38OnlyWhileThereIsOne)
{
    AppSettings s;
    s.ensemblePositions = "216 376 77 331";
    const std::string text = settingsText(s);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 38);
    EXPECT_EQ(text.substr(text.size() - 42), "\r\n\r\n\r\n 0\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n216 376 77 331\r\n");
    test::TempDir dir;
    test::writeFile(dir.file("lumavist.ini"), text);
    AppSettings back;
    ASSERT_TRUE(readSettings(dir.file("lumavist.ini"), back));
    EXPECT_EQ(back.ensemblePositions, "216 376 77 331");
    EXPECT_EQ(settingsText(back), text);
    back.ensemblePositions.clear();
    EXPECT_EQ(settingsText(back), settingsText(AppSettings{}));
}

}  // namespace
}  // namespace lv
