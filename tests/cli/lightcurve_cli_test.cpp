// lumavist-cli lightcurve, rewrite and report on a small data file worked by
// hand. Magnitudes are multiples of 1/8 so that every difference is exact.
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include <gtest/gtest.h>
#include <zlib.h>

#include "cli_runner.h"
#include "fits_builder.h"

namespace lv {
namespace {

namespace fs = std::filesystem;

using test::cli;
using test::CliRun;
using test::q;

// Times 21.5, 22, 23.25, 24.75, 25.5; C-K -0.75, -0.5, -0.625, -0.75, -0.5;
// V-C 1.5, 3, 1.75, 1.5, 0.5.
const std::string kL1 = "2018-02-15 21:30:00 030 Check=011.250 Comp=010.500 Var=012.000 /obs/my frames/a1.fit";
const std::string kL2 = "2018-02-15 22:00:00 030 Check=011.000 Comp=010.500 Var=013.500 /obs/b.fit";
const std::string kL3 = "2018-02-15 23:15:00 030 Check=011.125 Comp=010.500 Var=012.250 /obs/c.fit";
const std::string kL4 = "2018-02-16 00:45:00 030 Check=011.375 Comp=010.625 Var=012.125 /obs/d.fit";
const std::string kL5 = "2018-02-16 01:30:00 030 Check=011.000 Comp=010.500 Var=011.000 /obs/e.fit";

std::string listText(const std::string& line) { return line.substr(0, line.find(" /obs/") + 1); }

struct MagFile {
    test::TempDir dir;
    std::string path = dir.file("mag_est.txt");
    MagFile() { test::writeFile(path, ";night of 15 Feb\r\n" + kL1 + "\r\n" + kL2 + "\r\n" + kL3 + "\r\n" + kL4 + "\r\n" + kL5 + "\r\n"); }
};

TEST(LightcurveCli, ListErrorAndAxes)
{
    MagFile f;
    CliRun r = cli("lightcurve " + q(f.path));
    ASSERT_EQ(r.status, 0) << r.out;
    // Deviations from the mean -0.625 are +-0.125 four times: sqrt(0.0625 / 5).
    EXPECT_EQ(r.out, "LIST  0001 : " + listText(kL1) + "\n" + "LIST  0002 : " + listText(kL2) + "\n" +
                         "LIST  0003 : " + listText(kL3) + "\n" + "LIST  0004 : " + listText(kL4) + "\n" +
                         "LIST  0005 : " + listText(kL5) + "\n" + "ERROR 0.1118\n" +
                         "AXES 21.5 25.5 -.75 -.5 .5 3 .5 .5\n");

    // Kept -0.75, -0.625, -0.75: sqrt(0.0104167 / 3); the axes stay those of every line.
    r = cli("lightcurve " + q(f.path) + " --delete 2,5");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("LIST x0002 : " + listText(kL2) + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("LIST x0005 : "), std::string::npos);
    EXPECT_NE(r.out.find("LIST  0004 : "), std::string::npos);
    EXPECT_NE(r.out.find("\nERROR 0.0589\nAXES 21.5 25.5 -.75 -.5 .5 3 .5 .5\n"), std::string::npos) << r.out;

    EXPECT_NE(cli("lightcurve " + q(f.path) + " --delete 6").status, 0);
    EXPECT_NE(cli("lightcurve " + q(f.dir.file("missing.txt"))).status, 0);
}

// ---- PNG, decoded here from the file format ----

std::uint32_t be32(const std::string& s, std::size_t at)
{
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<unsigned char>(s[at + i]);
    return v;
}

std::uint32_t crcBitwise(const std::string& s, std::size_t from, std::size_t n)
{
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = from; i < from + n; ++i) {
        c ^= static_cast<unsigned char>(s[i]);
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

struct Png {
    int width = 0, height = 0;
    std::string rgb;  // rows without their filter byte
    std::uint32_t at(int x, int y) const
    {
        const std::size_t i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3;
        return static_cast<std::uint32_t>(static_cast<unsigned char>(rgb[i])) << 16 |
               static_cast<std::uint32_t>(static_cast<unsigned char>(rgb[i + 1])) << 8 |
               static_cast<unsigned char>(rgb[i + 2]);
    }
};

// Checks the signature, every chunk's CRC, IHDR (8-bit RGB), the zlib stream
// of stored blocks with its Adler-32, and filter type 0 on every row.
Png decodePng(const std::string& s)
{
    Png png;
    EXPECT_EQ(s.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    std::string z;
    bool ended = false;
    for (std::size_t at = 8; at + 12 <= s.size() && !ended;) {
        const std::size_t n = be32(s, at);
        const std::string type = s.substr(at + 4, 4);
        EXPECT_LE(at + 12 + n, s.size());
        if (at + 12 + n > s.size()) return png;
        EXPECT_EQ(be32(s, at + 8 + n), crcBitwise(s, at + 4, n + 4)) << type;
        const std::string data = s.substr(at + 8, n);
        if (type == "IHDR") {
            png.width = static_cast<int>(be32(data, 0));
            png.height = static_cast<int>(be32(data, 4));
            EXPECT_EQ(data.substr(8), std::string("\x08\x02\x00\x00\x00", 5));
        }
        if (type == "IDAT") z += data;
        ended = type == "IEND";
        at += 12 + n;
    }
    EXPECT_TRUE(ended);
    if (z.size() < 6) return png;
    EXPECT_EQ((static_cast<unsigned char>(z[0]) * 256 + static_cast<unsigned char>(z[1])) % 31, 0);
    EXPECT_EQ(static_cast<unsigned char>(z[0]) & 0x0F, 8);  // deflate
    // zlib's own inflate, which also checks the stream's Adler-32.
    const std::size_t stride = 1 + 3 * static_cast<std::size_t>(png.width);
    std::string raw(stride * static_cast<std::size_t>(png.height) + 1, '\0');
    uLongf rawSize = static_cast<uLongf>(raw.size());
    EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(raw.data()), &rawSize, reinterpret_cast<const Bytef*>(z.data()),
                         static_cast<uLong>(z.size())),
              Z_OK);
    raw.resize(rawSize);
    EXPECT_EQ(raw.size(), stride * static_cast<std::size_t>(png.height));
    if (raw.size() != stride * static_cast<std::size_t>(png.height)) return png;
    for (int y = 0; y < png.height; ++y) {
        EXPECT_EQ(raw[static_cast<std::size_t>(y) * stride], '\0');
        png.rgb += raw.substr(static_cast<std::size_t>(y) * stride + 1, stride - 1);
    }
    return png;
}

TEST(LightcurveCli, PngGraphsAsTheWindowDrawsThem)
{
    MagFile f;
    const CliRun r = cli("lightcurve " + q(f.path) + " --delete 2 --png " + q(f.dir.file("night.png")));
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string ckPath = f.dir.file("night-ck.png"), vcPath = f.dir.file("night-vc.png");
    EXPECT_NE(r.out.find("PNG " + ckPath + "\nPNG " + vcPath + "\n"), std::string::npos) << r.out;
    const Png ck = decodePng(test::readFile(ckPath));
    const Png vc = decodePng(test::readFile(vcPath));
    ASSERT_EQ(ck.width, 600);
    ASSERT_EQ(ck.height, 220);
    ASSERT_EQ(vc.width, 600);
    ASSERT_EQ(vc.height, 220);
    const std::uint32_t green = 0x00FF00, white = 0xFFFFFF, black = 0, red = 0xFF0000;
    // Hours 21 .. 26 (108 units an hour); C-K tenths -8 .. -4, V-C tenths 5 .. 31.
    EXPECT_EQ(ck.at(84, 36), green);  // line 1: C-K -0.75
    // Line 1 at V-C 1.5, a point 3 wide over the grid line y = 87 (the next is at 91).
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) EXPECT_EQ(vc.at(84 + dx, 87 + dy), green) << dx << "," << dy;
    EXPECT_EQ(vc.at(82, 87), black);
    EXPECT_EQ(vc.at(84, 89), white);
    // Deleted line 2 (22 h, V-C 3.0) would cover (137..139, 200..202): only the grid is there.
    EXPECT_EQ(vc.at(138, 200), black);
    EXPECT_EQ(vc.at(139, 200), white);
    EXPECT_EQ(vc.at(0, 0), white);
    // The name "V-C" in red at (575, 5), and nothing else red.
    int inCorner = 0, elsewhere = 0;
    for (int y = 0; y < 220; ++y)
        for (int x = 0; x < 600; ++x)
            if (vc.at(x, y) == red) ++(x >= 575 && y >= 5 && y < 12 ? inCorner : elsewhere);
    EXPECT_GT(inCorner, 10);
    EXPECT_EQ(elsewhere, 0);
}

TEST(LightcurveCli, RewriteAfterDeletionsIsByteExact)
{
    MagFile f;
    CliRun r = cli("rewrite " + q(f.path) + " --delete 2,5 --comment x");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(test::readFile(f.path), ";x\r\n" + kL1 + "\r\n" + kL3 + "\r\n" + kL4 + "\r\n");
    // Without --comment the file's own comment stays; a leading ";" is not doubled.
    r = cli("rewrite " + q(f.path) + " --delete 1");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(test::readFile(f.path), ";x\r\n" + kL3 + "\r\n" + kL4 + "\r\n");
    r = cli("rewrite " + q(f.path) + " --delete 1 --comment " + q(";kept"));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(test::readFile(f.path), ";kept\r\n" + kL4 + "\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(f.dir.path()), fs::directory_iterator()), 1);
}

TEST(LightcurveCli, ReportIntoOutdirInShiftJis)
{
    MagFile f;
    const std::string out = f.dir.file("out");
    fs::create_directory(out);
    CliRun r = cli("report " + q(f.path) + " --delete 2 --code ABC --comp-mag 10.0 --colour V --outdir " + q(out) + " --star CASRZ --observer " + q("東京 山田") + " --instruments " + q("30cm f/5"));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "MESSAGE Completion, file name is sdata2.std\n");
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(out)) names.insert(e.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"sdata2.2", "sdata2.std"}));

    const std::string s = test::readFile(out + "/sdata2.std");
    EXPECT_EQ(s.substr(0, 30), "\x95\xcf\x8c\xf5\x90\xaf\x8a\xcf\x91\xaa 2018/02/15 By ABC\r\n");
    // 21:30:00 + 15 s, 10 + 12.0 - 10.5; the 01:30 line runs on as 25 h of the 15th.
    EXPECT_NE(s.find("\r\nCASRZ 20180215213015 11.500V ABC\r\n"), std::string::npos) << s;
    EXPECT_NE(s.find("\r\nCASRZ 20180215253015 10.500V ABC\r\n"), std::string::npos) << s;
    EXPECT_NE(s.find("\r\ntotal: 1\x90\xaf / 4 \x96\xda\x91\xaa\r\nobserver: \x93\x8c\x8b\x9e \x8eR\x93"
                     "c\r\ninstruments: 30cm f/5\r\n"),
              std::string::npos);
    // The error of the kept lines: deviations -0.09375, 0.03125, -0.09375, 0.15625 from -0.65625.
    EXPECT_EQ(s.substr(s.size() - 36), "comment: photometry error = 0.1036\r\n");
    const std::string fixed = test::readFile(out + "/sdata2.2");
    EXPECT_EQ(fixed.size(), 4u * 87u);
    EXPECT_EQ(fixed.substr(0, 68), "20180215ABC       213015CASRZ               V magnitude    CCD(V)   ");

    // A star Shift-JIS cannot hold: a message and no file.
    const std::string other = f.dir.file("other");
    fs::create_directory(other);
    r = cli("report " + q(f.path) + " --code ABC --comp-mag 10 --colour V --outdir " + q(other) + " --star " +
            q("RZ\xF0\x9F\x98\x80"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind("MESSAGE ", 0), 0u) << r.out;
    EXPECT_TRUE(fs::is_empty(other));
}

// The demo night's eclipse is deepest at frame 15, whose mid-exposure is
// 2018-02-15 13:13:00 UT (JD 2458165.0506944).
TEST(MinimumCli, TheDemoNightsEclipseFromTheTableAndTheDataFile)
{
    test::TempDir dir;
    const std::string night = dir.file("night");
    ASSERT_EQ(cli("demo " + q(night)).status, 0);
    ASSERT_EQ(cli("auto " + q(night) + " --sort --comp 200,290 --var 290,230 --check 320,330").status, 0);
    const double truth = 2458165.0506944;
    for (const std::string table : {"photometry.csv", "mag_est.txt"}) {
        const CliRun r = cli("minimum " + q(night + "/" + table) + " --epoch 2458000.05 --period 0.5");
        ASSERT_EQ(r.status, 0) << r.out;
        std::istringstream lines(r.out);
        std::string line;
        double time = 0;
        int found = 0;
        while (std::getline(lines, line)) {
            std::istringstream words(line);
            std::string word, method;
            words >> word;
            if (word == "MINIMUM") {
                double sigma = 0;
                words >> method >> time >> sigma;
                // The scale (without the target's position the table's times are JD), then the points.
                EXPECT_EQ(line.substr(line.rfind(' ') + 1), "30") << line;
                EXPECT_NE(line.find(table == "mag_est.txt" ? " JD (local time) 30" : " JD 30"), std::string::npos) << line;
                EXPECT_LT(std::fabs(time - truth), std::max(3 * sigma, 2e-5)) << method << " " << table << "\n" << r.out;
                ++found;
            } else if (word == "OC") {
                double oc = 0;
                words >> oc;
                EXPECT_NEAR(oc, time - (2458000.05 + 330 * 0.5), 2e-6) << r.out;
            }
        }
        EXPECT_EQ(found, 2) << r.out;
    }
    const CliRun few = cli("minimum " + q(night + "/photometry.csv") + " --method kvw --to 2458165.03");
    EXPECT_EQ(few.status, 1);
    EXPECT_EQ(few.out, "MESSAGE kvw: the range holds 5 points; a time of minimum needs at least 10\n");
}

// The demo night against an ensemble of four comparison stars (the
// comparison star and three field stars of the first frame): the variable's
// changes are the true ones, every row uses all four, and the eclipse is
// timed from the ensemble's V - C.
TEST(EnsembleCli, TheDemoNightAgainstFourComparisonStars)
{
    test::TempDir dir;
    const std::string night = dir.file("night");
    ASSERT_EQ(cli("demo " + q(night)).status, 0);
    const std::string stars = " --comp 200,290 --var 290,230 --check 320,330 --comp 216,376 --comp 77,331 --comp 193,78";
    const CliRun one = cli("photometry " + q(night + "/demo_0001.fit") + stars);
    ASSERT_EQ(one.status, 0) << one.out;
    EXPECT_NE(one.out.find("\nPOS C4 193 78\n"), std::string::npos) << one.out;
    EXPECT_NE(one.out.find("\nENSEMBLE 4 "), std::string::npos) << one.out;
    EXPECT_NE(one.out.find("\nENSEMBLE_N 4\n"), std::string::npos) << one.out;

    ASSERT_EQ(cli("auto " + q(night) + " --sort" + stars).status, 0);
    std::map<std::string, double> truth;
    {
        std::istringstream in(test::readFile(night + "/README.txt"));
        std::string name;
        double magnitude = 0;
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream words(line);
            if ((words >> name >> magnitude) && name.rfind("demo_", 0) == 0) truth[name] = magnitude;
        }
    }
    ASSERT_EQ(truth.size(), 30u);
    std::istringstream table(test::readFile(night + "/photometry.csv"));
    std::string line;
    std::getline(table, line);
    EXPECT_EQ(line.substr(line.size() - 89), ",flags,ensemble_n,c1_mag,c2_mag,c3_mag,c4_mag,c5_mag,c6_mag,c7_mag,c8_mag,c9_mag,c10_mag\r");
    std::optional<double> offset;
    int rows = 0;
    while (std::getline(table, line)) {
        std::vector<std::string> f(1);
        for (char c : line) {
            if (c == ',') f.emplace_back(); else if (c != '\r') f.back() += c;
        }
        ASSERT_EQ(f.size(), 39u) << line;
        EXPECT_EQ(f[28], "4") << line;
        EXPECT_NE(f[32], "") << line;
        EXPECT_EQ(f[33], "") << line;
        // V - C less the true magnitude is the same on every frame.
        const double vc = std::stod(f[11]) - truth[f[0]];
        if (!offset) offset = vc;
        EXPECT_NEAR(vc, *offset, 0.03) << line;
        ++rows;
    }
    EXPECT_EQ(rows, 30);
    const CliRun m = cli("minimum " + q(night + "/photometry.csv") + " --method kvw");
    ASSERT_EQ(m.status, 0) << m.out;
    double time = 0, sigma = 0;
    std::istringstream words(m.out.substr(m.out.find(' ', 8)));
    words >> time >> sigma;
    EXPECT_LT(std::fabs(time - 2458165.0506944), std::max(3 * sigma, 2e-5)) << m.out;

    // Ten comparison stars in all: six more than the four are taken, a seventh is refused.
    std::string more;
    for (int i = 0; i < 6; ++i) more += " --comp " + std::to_string(20 + 30 * i) + ",460";
    const CliRun ten = cli("photometry " + q(night + "/demo_0001.fit") + stars + more);
    EXPECT_EQ(ten.status, 0) << ten.out;
    EXPECT_NE(ten.out.find("\nPOS C10 "), std::string::npos) << ten.out;
    EXPECT_EQ(cli("photometry " + q(night + "/demo_0001.fit") + stars + more + " --comp 400,460").status, 2);
}

}  // namespace
}  // namespace lv
