// Folder jobs of lumavist-cli on the demo run: automatic photometry against
// the true magnitudes, continuous dark subtraction against an independent
// decoding of the files, and continuous dark subtraction killed mid-job.
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "cli_runner.h"
#include "fits_builder.h"

namespace lv {
namespace {

namespace fs = std::filesystem;

using test::cli;
using test::CliRun;
using test::q;

std::string writeDemo(const test::TempDir& dir)
{
    const std::string folder = dir.file("demo");
    const CliRun r = cli("demo " + q(folder));
    EXPECT_EQ(r.status, 0) << r.out;
    return folder;
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = text.find("\r\n"); i != std::string::npos; i = text.find("\r\n", start)) {
        lines.push_back(text.substr(start, i - start));
        start = i + 2;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

// Plane 0 of a 16-bit FITS file as the standard defines it: BZERO + BSCALE x
// the signed big-endian stored value. Decoded here, not by our reader.
std::vector<double> physicalValues(const std::string& bytes, int& width, int& height)
{
    double bzero = 0, bscale = 1;
    int bitpix = 0;
    width = height = 0;
    std::size_t records = 0;
    for (std::size_t at = 0; at + 80 <= bytes.size(); at += 80) {
        ++records;
        const std::string key = bytes.substr(at, 8);
        const double value = std::strtod(bytes.substr(at + 10, 20).c_str(), nullptr);
        if (key == "BITPIX  ") bitpix = static_cast<int>(value);
        if (key == "NAXIS1  ") width = static_cast<int>(value);
        if (key == "NAXIS2  ") height = static_cast<int>(value);
        if (key == "BZERO   ") bzero = value;
        if (key == "BSCALE  ") bscale = value;
        if (key == "END     ") break;
    }
    EXPECT_EQ(bitpix, 16);
    const std::size_t data = (records + 35) / 36 * 2880;
    const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::vector<double> out;
    if (bytes.size() < data + 2 * n) {
        ADD_FAILURE() << "data shorter than the header says";
        return out;
    }
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const auto hi = static_cast<unsigned char>(bytes[data + 2 * i]);
        const auto lo = static_cast<unsigned char>(bytes[data + 2 * i + 1]);
        const auto stored = static_cast<std::int16_t>(static_cast<std::uint16_t>((hi << 8) | lo));
        out.push_back(bzero + bscale * stored);
    }
    return out;
}

std::vector<double> physicalValues(const std::string& bytes)
{
    int w, h;
    return physicalValues(bytes, w, h);
}

TEST(FolderJobs, AutomaticPhotometryOfTheDemoRunGivesTheTrueMagnitudes)
{
    test::TempDir dir;
    const std::string folder = writeDemo(dir);

    // The truths, from the README.
    const std::string readme = test::readFile(folder + "/README.txt");
    std::map<std::string, double> truth;
    double comparison = 0, check = 0;
    for (const std::string& l : linesOf(readme)) {
        std::istringstream in(l);
        std::string first, second;
        in >> first;
        if (first.rfind("demo_", 0) == 0 && first.size() == 13 && (in >> second)) truth[first] = std::stod(second);
        const std::size_t m = l.find("magnitude ");
        if (first == "comparison" && m != std::string::npos) comparison = std::stod(l.substr(m + 10));
        if (first == "check" && m != std::string::npos) check = std::stod(l.substr(m + 10));
    }
    ASSERT_EQ(truth.size(), 30u) << readme;
    ASSERT_EQ(comparison, 10.5);
    ASSERT_EQ(check, 11.2);

    const CliRun r = cli("auto " + q(folder) + " --comp 200,290 --var 290,230 --check 320,330 --sort");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("MESSAGE Automatic photometry end\n"), std::string::npos) << r.out;

    const std::string absolute = fs::absolute(folder).lexically_normal().string();
    std::vector<std::string> measured;
    for (const std::string& line : linesOf(test::readFile(folder + "/mag_est.txt"))) {
        const std::size_t k = line.find(" Check="), c = line.find(" Comp="), v = line.find(" Var=");
        ASSERT_TRUE(k != std::string::npos && c != std::string::npos && v != std::string::npos) << line;
        // "Var=" and "000.000 ": the path starts right after.
        const std::string path = line.substr(v + 5 + 8);
        const std::string name = fs::path(path).filename().string();
        EXPECT_EQ(path, absolute + "/" + name);
        ASSERT_EQ(name.rfind("demo_", 0), 0u) << "only frames are in the folder: " << line;
        measured.push_back(name);
        const double K = std::stod(line.substr(k + 7)), C = std::stod(line.substr(c + 6)), V = std::stod(line.substr(v + 5));
        ASSERT_EQ(truth.count(name), 1u) << name;
        EXPECT_NEAR(V - C, truth[name] - comparison, 0.03) << line;
        EXPECT_NEAR(C - K, comparison - check, 0.03) << line;
        EXPECT_EQ(line.substr(0, 11), "2018-02-15 ");
    }
    // Every frame once, in sorted order.
    std::vector<std::string> expected;
    for (const auto& [name, mag] : truth) expected.push_back(name);
    EXPECT_EQ(measured, expected);
}

TEST(FolderJobs, ContinuousDarkAgreesWithSingleFrameDarkAndThePhysicalDifference)
{
    test::TempDir dir;
    const std::string demo = writeDemo(dir);
    const std::string night = dir.file("night");
    fs::create_directory(night);
    const std::vector<std::string> names = {"demo_0001.fit", "demo_0002.fit", "demo_0003.fit"};
    for (const std::string& n : names) fs::copy_file(demo + "/" + n, night + "/" + n);
    // A frame cut short on its way to the disk.
    const std::string cut = test::readFile(demo + "/demo_0004.fit").substr(0, 100000);
    test::writeFile(night + "/demo_0004.fit", cut);

    const std::string darkPath = demo + "/calibration/dark.fit";
    const CliRun r = cli("dark " + q(night) + " --dark " + q(darkPath) + " --sort");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("CALIBRATED 3 SKIPPED 1\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("MESSAGE " + night + "/demo_0004.fit"), std::string::npos) << r.out;
    EXPECT_EQ(test::readFile(night + "/demo_0004.fit"), cut);

    const std::vector<double> dark = physicalValues(test::readFile(darkPath));
    for (const std::string& n : names) {
        int w = 0, h = 0;
        const std::vector<double> raw = physicalValues(test::readFile(demo + "/" + n), w, h);
        ASSERT_EQ(raw.size(), dark.size());
        std::vector<double> expected(raw.size());
        for (std::size_t i = 0; i < raw.size(); ++i) expected[i] = std::max(0.0, raw[i] - dark[i]);
        // The hot pixel at (0, 0) is in the dark and goes.
        ASSERT_GT(dark[0], 4000);
        EXPECT_LT(expected[0], 2000);

        const std::string single = dir.file("single_" + n);
        const CliRun one = cli("calibrate " + q(demo + "/" + n) + " " + q(single) + " --dark " + q(darkPath));
        ASSERT_EQ(one.status, 0) << one.out;
        const std::vector<double> continuous = physicalValues(test::readFile(night + "/" + n));
        EXPECT_EQ(continuous, expected) << n;
        EXPECT_EQ(physicalValues(test::readFile(single)), expected) << n;
        for (const std::size_t i : {std::size_t{0}, std::size_t{230 * 512 + 290}, std::size_t{511 * 512 + 511}})
            EXPECT_EQ(continuous[i], expected[i]) << n << " pixel " << i;
    }
}

// ---- killed mid-job ------------------------------------------------------------------

pid_t startJob(const std::vector<std::string>& args)
{
    std::vector<char*> argv{const_cast<char*>(LUMAVIST_CLI)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
        }
        execv(LUMAVIST_CLI, argv.data());
        _exit(127);
    }
    return pid;
}

int waitFor(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

void copyFrames(const std::string& from, const std::string& to, const std::vector<std::string>& names)
{
    fs::create_directory(to);
    for (const std::string& n : names) fs::copy_file(from + "/" + n, to + "/" + n);
}

// Every file of a folder and its bytes.
std::map<std::string, std::string> contentsOf(const std::string& folder)
{
    std::map<std::string, std::string> out;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.is_regular_file()) out[e.path().filename().string()] = test::readFile(e.path().string());
    return out;
}

bool isTemporary(const std::string& name) { return name.rfind(".lumavist-", 0) == 0; }

// A batch job over a copy of eight demo frames, killed with SIGKILL at
// spread moments: afterwards every file is exactly as it was (or absent, if
// the job makes it) or exactly as the finished job leaves it. Temporary
// files may be left by the kill, one per file at most, and a run of the job
// over the same folder removes them.
void killDuringJob(const char* job, const std::function<std::vector<std::string>(const std::string&)>& args,
                   int trials)
{
    test::TempDir dir;
    const std::string demo = writeDemo(dir);
    std::vector<std::string> names;
    for (int i = 1; i <= 8; ++i) names.push_back("demo_000" + std::to_string(i) + ".fit");

    const std::string reference = dir.file("reference");
    copyFrames(demo, reference, names);
    const auto before = contentsOf(reference);
    const auto start = std::chrono::steady_clock::now();
    const int status = waitFor(startJob(args(reference)));
    const auto duration = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << job;
    const auto after = contentsOf(reference);
    ASSERT_NE(before, after) << job << " changed nothing";

    std::mt19937 random(20180215u);
    std::uniform_real_distribution<double> within(0.0, 1.0);
    const double span = std::chrono::duration<double>(duration).count() * 1.1;
    int partial = 0;
    for (int trial = 0; trial < trials; ++trial) {
        const std::string folder = dir.file("trial" + std::to_string(trial));
        copyFrames(demo, folder, names);
        // One delay in each slice of the job's duration.
        const double delay = (trial + within(random)) / trials * span;
        const pid_t pid = startJob(args(folder));
        std::this_thread::sleep_for(std::chrono::duration<double>(delay));
        kill(pid, SIGKILL);
        waitFor(pid);

        int finished = 0, temporaries = 0;
        const auto now = contentsOf(folder);
        for (const auto& [name, bytes] : now) {
            if (isTemporary(name)) {
                ++temporaries;
                continue;
            }
            const auto was = before.find(name);
            const auto will = after.find(name);
            const bool asItWas = was != before.end() && was->second == bytes;
            const bool whole = will != after.end() && will->second == bytes;
            EXPECT_TRUE(asItWas || whole) << job << ", trial " << trial << " after " << delay << " s: " << name;
            finished += whole && !asItWas ? 1 : 0;
        }
        for (const auto& [name, bytes] : before)
            EXPECT_TRUE(now.count(name)) << job << ", trial " << trial << ": " << name << " is gone";
        EXPECT_LE(temporaries, 1) << job << ", trial " << trial;
        int unfinished = 0;  // files the job changes, still as they were
        for (const auto& [name, bytes] : after) {
            const auto was = before.find(name);
            if (was != before.end() && was->second == bytes) continue;
            const auto is = now.find(name);
            if (is == now.end() || (was != before.end() && is->second == was->second)) ++unfinished;
        }
        if (finished > 0 && unfinished > 0) ++partial;
        if (temporaries > 0 || trial % 5 == 0) {
            // The next run clears what the killed one left.
            ASSERT_EQ(waitFor(startJob(args(folder))), 0) << job;
            for (const auto& [name, bytes] : contentsOf(folder))
                EXPECT_FALSE(isTemporary(name)) << job << ", trial " << trial << ": " << name << " left after a run";
        }
        fs::remove_all(folder);
    }
    // Not a pass condition (the machine's speed decides), but worth seeing.
    std::printf("%s: job %.1f ms; %d of %d trials were killed between files\n", job,
                std::chrono::duration<double, std::milli>(duration).count(), partial, trials);
}

TEST(FolderJobs, KilledBatchJobsLeaveEveryFileOldOrNew)
{
    killDuringJob("dark", [](const std::string& folder) {
        return std::vector<std::string>{"dark", folder, "--dark", fs::path(folder).parent_path().string() + "/demo/calibration/dark.fit"};
    }, 20);
    killDuringJob("composite", [](const std::string& folder) {
        return std::vector<std::string>{"composite", folder, "--pictures", "3"};
    }, 20);
    killDuringJob("bzero", [](const std::string& folder) {
        return std::vector<std::string>{"bzero", folder, "--bzero", "100", "--bscale", "2"};
    }, 20);
}

}  // namespace
}  // namespace lv
