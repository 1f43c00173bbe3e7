// lumavist-cli process and fit: operations in order, undo, output files,
// refusals that write nothing; binning, curve files, composites and the
// BZERO/BSCALE rewrite, and the demo spectrum.
#include <algorithm>
#include <bit>
#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "cli_runner.h"
#include "fits_builder.h"

namespace lv {
namespace {

using test::cli;
using test::CliRun;
using test::q;

struct Frame {
    test::TempDir dir;
    std::string in = dir.file("in.fit");
    explicit Frame(const std::vector<std::uint16_t>& row)
    {
        test::writeFile(in, test::simpleFits(16, static_cast<int>(row.size()), 1, {}, test::bytes16(row)));
    }
    CliRun process(const std::string& ops) const { return cli("process " + q(in) + " " + ops); }
};

TEST(ProcessCli, OperationsRunInTheOrderGivenAndUndoGoesBackOneStep)
{
    const Frame f({10, 100, 10, 100, 10});
    CliRun r = f.process("--hotcool --dump");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "MESSAGE completion\n10 10 55 32 10\n");

    EXPECT_EQ(f.process("--add 5 --multiply 2 --dump").out, "30 210 30 210 30\n");
    EXPECT_EQ(f.process("--multiply 2 --add 5 --dump").out, "25 205 25 205 25\n");
    // One level: the undo copy is the image before the last operation.
    EXPECT_EQ(f.process("--add 5 --multiply 2 --undo --dump").out, "15 105 15 105 15\n");
    EXPECT_EQ(f.process("--multiply 0.5 --undo --undo --dump").out, "10 100 10 100 10\n");
}

TEST(ProcessCli, TheLineCompensationKeepsItsOwnUndoAndSignedReachesTheRead)
{
    // A row rising from 100 to 200 becomes flat at its line's value at x = 5 / 2
    // (162.5, halves to even); as in the window, the image's undo copy is not
    // taken for it: "--undo" goes back past it to before the step before.
    const Frame f({100, 125, 150, 175, 200});
    EXPECT_EQ(f.process("--incline-row 0 --dump").out, "162 162 162 162 162\n");
    EXPECT_EQ(f.process("--add 1 --incline-row 0 --undo --dump").out, "100 125 150 175 200\n");
    // The shared --signed option is taken before the command reads IN.
    test::TempDir dir;
    const std::string in = dir.file("s.fit");
    test::writeFile(in, test::simpleFits(16, 1, 1, {test::card("BZERO", "32768")}, test::bytes16({0})));
    EXPECT_EQ(cli("process " + q(in) + " --signed --rotate --dump").out, "-32768\n");
    EXPECT_EQ(cli("process " + q(in) + " --rotate --dump").out, "32768\n");
}

TEST(Cli, SixtyFourBitFramesAreReadAndWrittenBackAs32Bit)
{
    test::TempDir dir;
    auto be64 = [](const std::vector<std::uint64_t>& values) {
        std::string out;
        for (std::uint64_t v : values)
            for (int k = 7; k >= 0; --k) out.push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
        return out;
    };
    const std::string in = dir.file("i64.fit");
    test::writeFile(in, test::simpleFits(64, 3, 1, {}, be64({500, 1000, static_cast<std::uint64_t>(-20)})));
    CliRun r = cli("info " + q(in));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("BITPIX 64 FLOAT 0 NAXIS1 3"), std::string::npos) << r.out;
    const std::string d = dir.file("d64.fit");
    test::writeFile(d, test::simpleFits(-64, 1, 1, {}, be64({std::bit_cast<std::uint64_t>(2.5)})));
    r = cli("info " + q(d));
    EXPECT_NE(r.out.find("BITPIX 64 FLOAT 1"), std::string::npos);
    // Floats within 0 ... 1: opened, and the message follows the usual lines.
    test::writeFile(d, test::simpleFits(-64, 1, 1, {}, be64({std::bit_cast<std::uint64_t>(0.4)})));
    r = cli("info " + q(d));
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("BSCALE 1\nMESSAGE " + d + ": every value of this floating-point frame lies between 0 and 1"),
              std::string::npos)
        << r.out;
    // Without --bitpix a 64-bit frame is written as 32-bit integers, which hold every value read.
    ASSERT_EQ(cli("process " + q(in) + " --add 1 --out " + q(dir.file("out.fit"))).status, 0);
    r = cli("info " + q(dir.file("out.fit")));
    EXPECT_NE(r.out.find("BITPIX 32 FLOAT 0"), std::string::npos) << r.out;
    EXPECT_EQ(cli("dump " + q(dir.file("out.fit"))).out, "501 1001 0\n");  // -19 is written as 0
}

TEST(Cli, AnyFitsListsFitsNamesForTheFolderJobs)
{
    test::TempDir dir;
    test::writeFile(dir.file("a.fits"), test::simpleFits(16, 1, 1, {}, test::bytes16({500})));
    test::writeFile(dir.file("dark.fit"), test::simpleFits(16, 1, 1, {}, test::bytes16({100})));
    CliRun r = cli("dark " + q(dir.path().string()) + " --dark " + q(dir.file("dark.fit")));
    EXPECT_NE(r.out.find("CALIBRATED 0 SKIPPED 1"), std::string::npos) << r.out;  // the dark itself
    r = cli("dark " + q(dir.path().string()) + " --dark " + q(dir.file("dark.fit")) + " --any-fits");
    EXPECT_NE(r.out.find("CALIBRATED 1 SKIPPED 1"), std::string::npos) << r.out;
    EXPECT_EQ(cli("dump " + q(dir.file("a.fits"))).out, "400\n");
}

TEST(ProcessCli, OutWritesTheResultAndABadBowTableWritesNothing)
{
    const Frame f({1, 2, 4, 8, 16, 32});
    const std::string out = f.dir.file("out.fit");
    CliRun r = f.process("--3point --out " + q(out));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(cli("dump " + q(out)).out, "1 2 5 9 19 32\n");  // 7/3, 14/3, 28/3, 56/3

    const std::string bow = f.dir.file("bow.csv");
    test::writeFile(bow, "0,1\n0;2\n");
    const std::string refused = f.dir.file("refused.fit");
    r = f.process("--5point --bow " + q(bow) + " --out " + q(refused));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("MESSAGE "), std::string::npos);
    EXPECT_NE(r.out.find("line 2"), std::string::npos) << r.out;
    EXPECT_FALSE(std::filesystem::exists(refused));

    test::writeFile(bow, "0,1.5\n");
    EXPECT_EQ(f.process("--bow " + q(bow) + " --dump").out, "1 1 2 3 6 12\n");
}

TEST(FitCli, RefusesARowShorterThanTheCoefficients)
{
    // The coefficients themselves are checked against numpy by fit_vs_numpy.py.
    const Frame f({0, 0, 35, 0, 0});
    EXPECT_EQ(cli("fit " + q(f.in) + " --row 0 --degree 4").out.rfind("COEF ", 0), 0u);
    const CliRun r = cli("fit " + q(f.in) + " --row 0 --degree 5");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind("MESSAGE ", 0), 0u) << r.out;
    EXPECT_EQ(r.out.find("COEF"), std::string::npos);
    EXPECT_EQ(f.process("--fit5 --dump").status, 1);
}

TEST(ProcessCli, BinningOfTwoZones)
{
    // 2 x 5: rows 0, 1 and 3, 4 are the zones, row 2 stays.
    test::TempDir dir;
    const std::string in = dir.file("in.fit");
    test::writeFile(in, test::simpleFits(16, 2, 5, {}, test::bytes16({1, 2, 3, 4, 100, 100, 5, 6, 7, 8})));
    CliRun r = cli("process " + q(in) + " --bin 0,1:3,4 --dump");
    EXPECT_EQ(r.status, 0);
    // The maximum read (100) is kept; the minimum is the running sum 1 + 3 of zone 1.
    EXPECT_EQ(r.out, "MESSAGE Completion\rmax = 100 / min = 4\n16 20\n16 20\n100 100\n16 20\n16 20\n");
    r = cli("process " + q(in) + " --bin 2,1 --dump");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "MESSAGE Upper is larger than Lower\n");
}

TEST(CurveCli, WritesTheThreeFilesAgainstWavelength)
{
    const Frame f({10, 20, 30});
    const std::string name = f.dir.file("out.txt");
    const CliRun r = cli("curve " + q(f.in) + " --row 0 --name " + q(name) + " --wavelength 4000,7000");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "MESSAGE Completion ,save to " + name + "\n");
    const std::string pad(9, ' ');
    const std::string curve = "4000." + pad + " 10 \r\n5500." + pad + " 20 \r\n7000." + pad + " 30 \r\n";
    EXPECT_EQ(test::readFile(name), curve);
    EXPECT_EQ(test::readFile(f.dir.file("out.djm")), "4000." + pad + "-10 \r\n5500." + pad + "-20 \r\n7000." + pad + "-30 \r\n");
    EXPECT_EQ(test::readFile(f.dir.file("out-inv.djm")), curve);
}

TEST(CompositeCli, SortedListAndTooFewFrames)
{
    test::TempDir dir;
    test::writeFile(dir.file("b.fit"), test::simpleFits(16, 1, 1, {}, test::bytes16({2})));
    test::writeFile(dir.file("a.fit"), test::simpleFits(16, 1, 1, {}, test::bytes16({1})));
    test::writeFile(dir.file("c.fit"), test::simpleFits(16, 1, 1, {}, test::bytes16({6})));
    const std::string where = dir.path().string();
    CliRun r = cli("composite " + q(where) + " --pictures 7 --sort");
    EXPECT_EQ(r.out, "MESSAGE Auto Composite done: 0 composites written in " + where +
                         " (c7_ followed by the centre frame's name)\nWRITTEN 0 SKIPPED 0\n");
    r = cli("composite " + q(where) + " --pictures 3 --sort");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "MESSAGE Auto Composite done: 1 composite written in " + where +
                         " (c3_ followed by the centre frame's name)\nWRITTEN 1 SKIPPED 0\n");
    EXPECT_EQ(cli("dump " + q(dir.file("c3_b.fit"))).out, "3\n");  // (1 + 2 + 6) / 3
}

TEST(BzeroCli, RewritesTheCardsAndRefusesAValueTooLong)
{
    test::TempDir dir;
    const std::string file = dir.file("a.fit");
    test::writeFile(file, test::simpleFits(16, 1, 1, {test::card("BZERO", "0"), test::card("BSCALE", "1")},
                                           test::bytes16({5})));
    CliRun r = cli("bzero " + q(dir.path().string()) + " --bzero 1234567890123456789012 --bscale 1");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind("MESSAGE ", 0), 0u) << r.out;
    EXPECT_EQ(cli("dump " + q(file)).out, "5\n");

    r = cli("bzero " + q(dir.path().string()) + " --bzero 100 --bscale 2");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "MESSAGE 1 frame rewritten in " + dir.path().string() +
                         " (BZERO = 100, BSCALE = 2)\nREWRITTEN 1 SKIPPED 0\n");
    EXPECT_EQ(cli("dump " + q(file)).out, "110\n");  // 100 + 2 x 5
}

TEST(DemoCli, TheSpectrumHasItsBandItsLinesAndARisingContinuum)
{
    test::TempDir dir;
    ASSERT_EQ(cli("demo " + q(dir.file("demo"))).status, 0);
    const std::string spectrum = dir.file("demo/spectrum/spectrum.fit");
    auto row = [&](int y) {
        const std::string name = dir.file("row.txt");
        EXPECT_EQ(cli("curve " + q(spectrum) + " --row " + std::to_string(y) + " --name " + q(name)).status, 0);
        std::vector<double> values;
        const std::string text = test::readFile(name);
        for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
            values.push_back(std::strtod(text.substr(at, end - at).c_str() + 14, nullptr));
        return values;
    };
    const std::vector<double> band = row(100), sky = row(0);
    ASSERT_EQ(band.size(), 600u);
    ASSERT_EQ(sky.size(), 600u);
    EXPECT_LT(band[96], 0.6 * band[130]);  // the deepest line, centred on column 96
    EXPECT_LT(band[96], std::min(band[95], band[97]));
    EXPECT_GT(band[560], 1.8 * band[20]);  // continuum 0.55 ... 1.25
    double skySum = 0;
    for (double v : sky) skySum += v;
    EXPECT_NEAR(skySum / 600, 400, 10);
    EXPECT_GT(band[130], 15000);
}

}  // namespace
}  // namespace lv
