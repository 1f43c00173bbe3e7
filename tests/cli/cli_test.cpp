// lumavist-cli as scripts use it: output lines and exit status.
#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "core/demo_frames.h"
#include "core/version.h"
#include "lightcurve/aavso.h"
#include "cli_runner.h"
#include "fits_builder.h"

namespace lv {
namespace {

using test::cli;
using test::CliRun;
using test::q;

TEST(Cli, InfoHeaderDumpAndSave)
{
    test::TempDir dir;
    const std::string in = dir.file("in.fit");
    test::writeFile(in, test::simpleFits(16, 3, 2, {test::card("BZERO", "32768"), test::card("BSCALE", "1")},
                                         test::bytes16({0x8000, 0x8001, 0x8002, 0x0000, 0xFFFF, 0x8010})));

    CliRun r = cli("info " + q(in));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "max 32768 / min 0 / ave 10926\nBITPIX 16 FLOAT 0 NAXIS1 3 NAXIS2 2 NAXIS3 -1 BZERO 32768 BSCALE 1\n");

    r = cli("dump " + q(in));
    EXPECT_EQ(r.out, "0 1 2\n32768 32767 16\n");
    r = cli("dump " + q(in) + " --signed");
    EXPECT_EQ(r.out, "0 1 2\n-32768 32767 16\n");

    r = cli("header " + q(in));
    EXPECT_EQ(r.out.substr(0, 81), test::card("SIMPLE", "T") + "\n");
    EXPECT_EQ(r.out.substr(r.out.size() - 81), test::endCard() + "\n");

    const std::string out = dir.file("out.fit");
    r = cli("save " + q(in) + " " + q(out) + " --bitpix 8");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(cli("dump " + q(out)).out, "0 1 2\n255 255 16\n");
}

TEST(Cli, RejectedFilesPrintTheApplicationsMessages)
{
    test::TempDir dir;
    const std::string bad = dir.file("bad.fit");
    test::writeFile(bad, test::simpleFits(12, 1, 1, {}, std::string(8, '\0')));
    CliRun r = cli("info " + q(bad));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, bad + "BITPIX error : BITPIX = 12\nFile Open Error\n");
    r = cli("info " + q(bad) + " --dialog");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "BITPIX error : BITPIX = 12\n");

    EXPECT_EQ(cli("info").status, 2);
    EXPECT_EQ(cli("frobnicate x").status, 2);
    EXPECT_EQ(cli("save " + q(bad) + " x.fit --bitpix 12").status, 2);
    EXPECT_EQ(cli("--help").status, 0);
}

TEST(Cli, DemoWritesAReadableObservingRun)
{
    test::TempDir dir;
    const std::string folder = dir.file("demo");
    CliRun r = cli("demo " + q(folder));
    ASSERT_EQ(r.status, 0) << r.out;
    const DemoRun run = demoRun();
    for (int f = 0; f < run.frames; ++f)
        EXPECT_TRUE(std::filesystem::exists(folder + "/" + DemoRun::frameName(f))) << f;
    EXPECT_TRUE(std::filesystem::exists(folder + "/calibration/dark.fit"));
    EXPECT_TRUE(std::filesystem::exists(folder + "/calibration/flat.fit"));
    const std::string readme = test::readFile(folder + "/README.txt");
    EXPECT_NE(readme.find("variable    x 290  y 230  magnitude 11.000"), std::string::npos) << readme;

    r = cli("header " + q(folder + "/demo_0001.fit"));
    EXPECT_NE(r.out.find("DATE-OBS= '2018-02-15'"), std::string::npos);
    EXPECT_NE(r.out.find("UT      = '12:30:45'"), std::string::npos);
    EXPECT_NE(r.out.find("EXPTIME =                 30.0"), std::string::npos);
    r = cli("info " + q(folder + "/demo_0002.fit"));
    EXPECT_NE(r.out.find("BITPIX 16 FLOAT 0 NAXIS1 512 NAXIS2 512 NAXIS3 -1 BZERO 32768"), std::string::npos);

    // The variable is the brightest thing near its position, and fainter at
    // mid-eclipse than at the start.
    auto peakNear = [&](const std::string& file, int cx, int cy) {
        std::string dump = cli("dump " + q(file)).out;
        std::vector<std::vector<long>> rows;
        std::size_t pos = 0;
        while (pos < dump.size()) {
            const std::size_t end = dump.find('\n', pos);
            std::vector<long> row;
            const char* p = dump.c_str() + pos;
            char* next = nullptr;
            for (long v = std::strtol(p, &next, 10); next != p; v = std::strtol(p, &next, 10)) {
                row.push_back(v);
                p = next;
            }
            rows.push_back(row);
            pos = end + 1;
        }
        long peak = 0;
        for (int y = cy - 3; y <= cy + 3; ++y)
            for (int x = cx - 3; x <= cx + 3; ++x) peak = std::max(peak, rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)]);
        return peak;
    };
    const long start = peakNear(folder + "/demo_0001.fit", 290, 230);
    const int mid = (run.frames - 1) / 2;
    const long deepest = peakNear(folder + "/" + DemoRun::frameName(mid), 290 + static_cast<int>(run.driftX(mid)),
                                  230 + static_cast<int>(run.driftY(mid)));
    EXPECT_GT(start, 20000);
    // One magnitude fainter: about 2.5 times less light above the sky.
    EXPECT_NEAR(static_cast<double>(start - 1320) / static_cast<double>(deepest - 1320), 2.5, 0.4);
}

TEST(Cli, PhotometryPrintsWhatTheWindowShows)
{
    test::TempDir dir;
    const std::string folder = dir.file("demo");
    ASSERT_EQ(cli("demo " + q(folder)).status, 0);
    const std::string frame = q(folder + "/demo_0001.fit");
    CliRun r = cli("photometry " + frame + " --comp 200,290 --var 290,230 --check 320,330 --star 'DEMO VAR' "
                   "--comp-mag 10.5 --filter V --code XYZ");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("POS 1 200 290\nPOS 2 220 290\nPOS 3 290 230\n"), std::string::npos) << r.out;
    const std::size_t result = r.out.find("RESULT 2018-02-15 12:30:45 030 Check= ");
    ASSERT_NE(result, std::string::npos) << r.out;
    const std::size_t report = r.out.find("REPORT DEMO VAR 20180215123100 K= ");
    ASSERT_NE(report, std::string::npos) << r.out;
    const std::string reportLine = r.out.substr(report + 7, r.out.find('\n', report) - report - 7);
    EXPECT_NE(r.out.find("CLIPBOARD " + reportLine + "\n"), std::string::npos);
    EXPECT_EQ(reportLine.substr(reportLine.size() - 5), "V XYZ");
    EXPECT_EQ(r.out.find("MESSAGE"), std::string::npos);

    // The sky-area window's checks: an aperture not below the inner sky is refused.
    r = cli("photometry " + frame + " --comp 200,290 --var 290,230 --check 320,330 --size 12 --inner 10");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "MESSAGE Aperture > Sky , error\n");
    r = cli("photometry " + frame + " --comp 200,290 --var 290,230 --check 320,330 --size 0");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "MESSAGE Aperture size error\n");

    // A star on empty sky: the message, no magnitude, exit 1.
    r = cli("photometry " + frame + " --comp 200,290 --var 30,30 --check 320,330 --position fix --digits 2");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("MESSAGE No Star\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("MAG variable --\n"), std::string::npos);
    EXPECT_EQ(r.out.find("RESULT"), std::string::npos);
    EXPECT_EQ(cli("photometry " + frame + " --comp 1,2").status, 2);
}

// The CLI, the AAVSO file and the packages name one version.
TEST(Cli, VersionIsTheOneOfTheProgram)
{
    const CliRun r = cli("--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("lumavist-cli ") + kVersion + " (build " + std::to_string(kBuildNumber) + ")\n");
    EXPECT_EQ(std::string(kAavsoSoftware), std::string("Lumavist ") + kVersion);
    EXPECT_EQ(std::string(kVersion), "5.06b");
}

TEST(Cli, HelpForOneCommandComesFromTheTable)
{
    const CliRun all = cli("--help");
    CliRun r = cli("help flat");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("  flat FOLDER --flat FILE [--sort] [--signed] [--any-fits]\n      Continuous calibration:", 0), 0u) << r.out;
    // Each command's help is the part of the whole help that names it.
    for (const char* command : {"info", "photometry", "process", "bzero"}) {
        r = cli(std::string("help ") + command);
        EXPECT_EQ(r.status, 0) << command;
        EXPECT_NE(all.out.find(r.out), std::string::npos) << command;
    }
    EXPECT_EQ(cli("help nosuch").status, 2);
    EXPECT_EQ(cli("help").out, all.out);
}

}  // namespace
}  // namespace lv
