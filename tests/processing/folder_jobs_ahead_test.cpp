// Continuous calibration and the composite read (and calibrate) the next
// frames on a second thread while they write the current one. Whatever the
// folder holds, each job must say, write and leave in memory exactly what
// it does one frame after the other (one processor).
#include <filesystem>
#include <random>
#include <unordered_map>

#include <gtest/gtest.h>

#include "core/file_replace.h"
#include "core/fits_reader.h"
#include "core/processors.h"
#include "core/undo.h"
#include "fits_builder.h"
#include "processing/calibration.h"
#include "processing/composite.h"

namespace lv {
namespace {

namespace fs = std::filesystem;
using test::card;

struct StopAt : JobProgress {
    std::vector<std::string> seen;
    int stopAt = 0;  // stop before the update of this number (0: never)
    void show(const std::string& c, const std::string& l) override { seen.push_back("show " + c + "|" + l); }
    bool update(const std::string& c, const std::string& l) override
    {
        seen.push_back("update " + c + "|" + l);
        return stopAt == 0 || static_cast<int>(seen.size()) - 1 < stopAt;
    }
    void close() override { seen.push_back("close"); }
};

std::string frame16(int w, int h, unsigned seed, const std::vector<std::string>& extra = {})
{
    std::mt19937 rng(seed);
    std::vector<std::uint16_t> raw(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    for (auto& v : raw) v = static_cast<std::uint16_t>(rng() % 65536);
    return test::simpleFits(16, w, h, extra, test::bytes16(raw));
}

// A folder that exercises every way an entry can go: frames calibrated, a
// broken and a cut-off one, one larger than the calibration frame, the
// calibration frame itself under its own name and by a link, a link to a
// frame calibrated earlier in the same job, and an 8-bit frame with blank
// pixels (written with a notice).
struct Night {
    test::TempDir dir;
    FileQueue queue;
    std::string calibration;

    explicit Night(CalibrationKind kind)
    {
        calibration = dir.file(kind == CalibrationKind::Dark ? "dark.fit" : "flat.fit");
        auto add = [&](const std::string& name, const std::string& bytes) {
            test::writeFile(dir.file(name), bytes);
            queue.names.push_back(name);
        };
        test::writeFile(calibration, frame16(40, 30, 99));
        for (unsigned i = 0; i < 4; ++i) add("a" + std::to_string(i) + ".fit", frame16(40, 30, i));
        add("broken.fit", test::simpleFits(12, 2, 1, {}, std::string(16, '\0')));
        const std::string whole = frame16(40, 30, 7);
        add("cut.fit", whole.substr(0, whole.size() - 100));
        add("large.fit", frame16(41, 30, 8));
        queue.names.push_back(fs::path(calibration).filename().string());
        fs::create_symlink(calibration, dir.file("calib-link.fit"));
        queue.names.push_back("calib-link.fit");
        fs::create_symlink(dir.file("a1.fit"), dir.file("again-a1.fit"));
        queue.names.push_back("again-a1.fit");
        add("blank8.fit", test::simpleFits(8, 3, 1, {card("BLANK", "7")}, test::bytes8({7, 20, 30})));
        for (unsigned i = 4; i < 9; ++i) add("b" + std::to_string(i) + ".fit", frame16(40, 30, i));
    }
};

struct Outcome {
    ContinuousResult result;
    std::vector<std::string> said;
    std::vector<std::string> progress;
    std::vector<std::pair<std::string, std::string>> files;  // every file of the folder, by name
    std::vector<std::int32_t> pixels;
    std::string fileName;
    std::vector<HeaderCard> cards;
    std::string statistics;
};

// What a job said, showed and left: the folder's files, the image and its
// line. Each run has its own folder: its name is left out of what is compared.
void record(Outcome& out, const test::TempDir& dir, const ScriptedPlatform& platform, const StopAt& progress,
            const FitsImage& image, const AppState& state)
{
    const std::string folder = dir.path().string();
    auto withoutFolder = [&](std::string text) {
        for (std::size_t at; (at = text.find(folder)) != std::string::npos;) text.replace(at, folder.size(), "DIR");
        return text;
    };
    for (const auto& s : platform.shown) out.said.push_back(withoutFolder((s.error ? "error " : "message ") + s.text));
    for (const std::string& p : progress.seen) out.progress.push_back(withoutFolder(p));
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) out.files.emplace_back(n, test::readFile(dir.file(n)));
    out.pixels.assign(image.pixels.begin(), image.pixels.end());
    out.fileName = fs::path(image.fileName).filename().string();
    out.cards = image.cards;
    out.statistics = withoutFolder(state.statistics);
}

// A continuous calibration of `queue` in `dir` on this many processors.
Outcome calibrateIn(const test::TempDir& dir, FileQueue queue, CalibrationKind kind, const std::string& calibration,
                    int processors, long failingStep = 0, int stopAt = 0)
{
    FitsImage image;
    AppState state;
    PixelPool pool;
    UndoBuffer undo;
    CalibrationFrame frame;
    ScriptedPlatform platform;
    StopAt progress;
    progress.stopAt = stopAt;
    setUsableProcessorsForTesting(processors);
    failFileStepForTesting(failingStep, EIO);
    Outcome out;
    out.result = runContinuousCalibration(image, state, &pool, undo, frame, queue,
                                          {kind, calibration, dir.path().string()}, progress, platform);
    failFileStepForTesting(0, 0);
    setUsableProcessorsForTesting(0);
    record(out, dir, platform, progress, image, state);
    return out;
}

Outcome calibrate(CalibrationKind kind, int processors, long failingStep = 0, int stopAt = 0)
{
    Night night(kind);
    return calibrateIn(night.dir, night.queue, kind, night.calibration, processors, failingStep, stopAt);
}

void expectSame(const Outcome& one, const Outcome& two)
{
    EXPECT_EQ(two.result.started, one.result.started);
    EXPECT_EQ(two.result.frameRead, one.result.frameRead);
    EXPECT_EQ(two.result.calibrated, one.result.calibrated);
    EXPECT_EQ(two.result.skipped, one.result.skipped);
    EXPECT_EQ(two.result.stopped, one.result.stopped);
    EXPECT_EQ(two.result.writeFailed, one.result.writeFailed);
    EXPECT_EQ(two.said, one.said);
    EXPECT_EQ(two.progress, one.progress);
    ASSERT_EQ(two.files.size(), one.files.size());
    for (std::size_t i = 0; i < one.files.size(); ++i) {
        EXPECT_EQ(two.files[i].first, one.files[i].first);
        EXPECT_TRUE(two.files[i].second == one.files[i].second) << one.files[i].first << " differs";
    }
    EXPECT_EQ(two.pixels, one.pixels);
    EXPECT_EQ(two.fileName, one.fileName);
    EXPECT_EQ(two.cards, one.cards);
    EXPECT_EQ(two.statistics, one.statistics);
}

TEST(CalibrationAhead, EveryKindOfEntryEndsAsInAJobOfOneFrameAtATime)
{
    for (const CalibrationKind kind : {CalibrationKind::Dark, CalibrationKind::Flat}) {
        SCOPED_TRACE(kind == CalibrationKind::Dark ? "dark" : "flat");
        const Outcome one = calibrate(kind, 1);
        const Outcome two = calibrate(kind, 2);
        expectSame(one, two);
        // The folder is what the test means it to be: frames calibrated and
        // frames passed over, the link to a1 calibrated a second time, the
        // blank pixels' notice, and the last frame in memory.
        EXPECT_EQ(one.result.calibrated, 11);
        EXPECT_EQ(one.result.skipped, 5);
        EXPECT_EQ(one.said.size(), 7u);
        EXPECT_NE(one.said.back().find("blank8.fit: 8-bit data have no mark"), std::string::npos);
        EXPECT_EQ(one.fileName, "b8.fit");
    }
}

TEST(CalibrationAhead, AFailedWriteEndsTheJobAtTheSameFrameWithTheSameMessage)
{
    // Each write takes five steps (open, write, flush, close, rename): the
    // third frame's flush fails, then the fifth's (the link to a1), then
    // the seventh's close.
    for (const long step : {5L * 2 + 3, 5L * 4 + 3, 5L * 6 + 4}) {
        SCOPED_TRACE(step);
        const Outcome one = calibrate(CalibrationKind::Dark, 1, step);
        const Outcome two = calibrate(CalibrationKind::Dark, 2, step);
        expectSame(one, two);
        EXPECT_TRUE(one.result.writeFailed);
        EXPECT_NE(one.said.back().find("cannot be written"), std::string::npos) << one.said.back();
    }
}

TEST(CalibrationAhead, AStopBetweenFramesLeavesTheSameFilesAsTheyWere)
{
    for (const int stopAt : {2, 6, 12}) {
        SCOPED_TRACE(stopAt);
        const Outcome one = calibrate(CalibrationKind::Flat, 1, 0, stopAt);
        const Outcome two = calibrate(CalibrationKind::Flat, 2, 0, stopAt);
        expectSame(one, two);
        EXPECT_TRUE(one.result.stopped);
    }
}

// Two frame names whose replacements share one temporary file (the short
// name is a 32-bit hash): found by trying names until two meet.
std::pair<std::string, std::string> namesSharingATemporary()
{
    std::unordered_map<std::string, std::string> byTemporary;
    for (int i = 0;; ++i) {
        const std::string name = "n" + std::to_string(i) + ".fit";
        const auto [at, added] = byTemporary.emplace(replacementTemporaryPath(name), name);
        if (!added) return {at->second, name};
    }
}

// Frames are written to their temporary files ahead of their turn; two
// frames in a row whose temporary files are one file must still each get
// their own calibrated bytes.
TEST(CalibrationAhead, FramesSharingATemporaryFileAreEachWrittenWhole)
{
    const auto [first, second] = namesSharingATemporary();
    ASSERT_EQ(replacementTemporaryPath(first), replacementTemporaryPath(second));
    auto run = [&](int processors) {
        test::TempDir dir;
        FileQueue queue;
        const std::string calibration = dir.file("dark.fit");
        test::writeFile(calibration, frame16(40, 30, 99));
        const std::vector<std::string> names{"a.fit", first, second, "b.fit", "c.fit"};
        for (std::size_t i = 0; i < names.size(); ++i) {
            test::writeFile(dir.file(names[i]), frame16(40, 30, 10 + static_cast<unsigned>(i)));
            queue.names.push_back(names[i]);
        }
        return calibrateIn(dir, queue, CalibrationKind::Dark, calibration, processors);
    };
    const Outcome one = run(1);
    EXPECT_EQ(one.result.calibrated, 5);
    EXPECT_EQ(one.said.size(), 1u);  // the question
    for (int repeat = 0; repeat < 5; ++repeat) expectSame(one, run(2));
}

// A night for the composite of three: frames, one of another size (its
// groups are passed over), blank pixels, a composite left by an earlier run
// that this run writes before it reads it again, and, in a second folder, a
// broken frame that ends the job.
struct CompositeNight {
    test::TempDir dir;
    FileQueue queue;
    explicit CompositeNight(bool broken)
    {
        auto add = [&](const std::string& name, const std::string& bytes) {
            test::writeFile(dir.file(name), bytes);
            queue.names.push_back(name);
        };
        for (unsigned i = 0; i < 3; ++i) add("a" + std::to_string(i) + ".fit", frame16(30, 20, i));
        // c3_a1.fit is written by the group centred on a1, then read by the next two.
        add("c3_a1.fit", frame16(30, 20, 11));
        add("a3.fit", frame16(30, 20, 3));
        add("odd.fit", frame16(31, 20, 10));
        for (unsigned i = 4; i < 7; ++i) add("a" + std::to_string(i) + ".fit", frame16(30, 20, i));
        add("blank.fit", test::simpleFits(16, 30, 20, {card("BLANK", "5")}, test::bytes16(std::vector<std::uint16_t>(600, 5))));
        if (broken) add("broken.fit", test::simpleFits(12, 2, 1, {}, std::string(16, '\0')));
        for (unsigned i = 7; i < 10; ++i) add("a" + std::to_string(i) + ".fit", frame16(30, 20, i));
    }
};

Outcome compose(bool broken, int processors)
{
    CompositeNight night(broken);
    FitsImage image;
    AppState state;
    PixelPool pool;
    ScriptedPlatform platform;
    StopAt progress;
    setUsableProcessorsForTesting(processors);
    const CompositeResult r =
        runComposite(image, state, &pool, night.queue, {3, night.dir.path().string()}, progress, platform);
    setUsableProcessorsForTesting(0);
    Outcome out;
    out.result.calibrated = r.written;
    out.result.skipped = r.skipped;
    out.result.writeFailed = r.failed;
    out.result.stopped = r.stopped;
    record(out, night.dir, platform, progress, image, state);
    return out;
}

TEST(CompositeAhead, EveryGroupEndsAsInAJobOfOneFrameAtATime)
{
    for (const bool broken : {false, true}) {
        SCOPED_TRACE(broken ? "with a broken frame" : "whole");
        const Outcome one = compose(broken, 1);
        const Outcome two = compose(broken, 2);
        expectSame(one, two);
        if (broken) {
            EXPECT_TRUE(one.result.writeFailed);
            EXPECT_EQ(one.said.back(), "error File read error");
        } else {
            // 13 frames, 11 groups: the 3 that hold odd.fit are passed over.
            EXPECT_EQ(one.result.calibrated, 8);
            EXPECT_EQ(one.result.skipped, 3);
        }
        // c3_a1.fit became the composite of a0, a1, a2 before the next groups read it.
        const auto written = std::find_if(one.files.begin(), one.files.end(),
                                          [](const auto& f) { return f.first == "c3_a1.fit"; });
        ASSERT_NE(written, one.files.end());
        EXPECT_NE(written->second, frame16(30, 20, 11));
    }
}

}  // namespace
}  // namespace lv
