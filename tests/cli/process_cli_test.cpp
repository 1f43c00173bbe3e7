// lumavist-cli process and fit: operations in order, undo, output files,
// refusals that write nothing.
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

}  // namespace
}  // namespace lv
