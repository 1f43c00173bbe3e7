// Folder jobs against the reading and writing they are built on: an
// unattended automatic run over 100 frames of 512 x 512 against reading those
// frames, continuous dark calibration against reading and writing them, and
// the undo snapshot and restore of a full-size frame; continuous dark
// calibration of 10 full-size frames; both calibrations with and without the
// flushes to the disk.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "app/session.h"
#include "core/demo_frames.h"
#include "core/file_replace.h"
#include "core/fits_reader.h"
#include "core/fits_writer.h"
#include "photometry/positions.h"
#include "processing/calibration.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFrames = 100;

// 100 frames made from the demo run's 30 (cycled), plus its dark frame.
struct Night {
    fs::path root;
    std::string error;
    Night()
    {
        root = fs::temp_directory_path() / ("lumavist-folder-bench-" + std::to_string(::getpid()));
        const fs::path demo = root / "demo";
        fs::create_directories(demo);
        if (!lv::writeDemoRun(demo.string(), error)) return;
        for (const char* name : {"auto", "dark", "plain"}) {
            fs::create_directories(root / name);
            for (int i = 0; i < kFrames; ++i) {
                char frame[32];
                std::snprintf(frame, sizeof frame, "f%03d.fit", i + 1);
                fs::copy_file(demo / lv::DemoRun::frameName(i % 30), root / name / frame);
            }
        }
    }
    ~Night()
    {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    // 10 frames of 3073 x 3073 and a dark of that size, made on first use.
    std::string largeFolder() const
    {
        const fs::path folder = root / "large";
        if (fs::exists(folder / "dark.fit")) return folder.string();
        fs::create_directories(folder / "frames");
        lv::FitsImage img;
        auto card = [](std::string text) {
            text.resize(lv::kCardLength, ' ');
            return text;
        };
        img.cards = {card("SIMPLE  =                    T"), card("BITPIX  =                   16"),
                     card("NAXIS   =                    2"), card("NAXIS1  =                 3073"),
                     card("NAXIS2  =                 3073"), card("END")};
        img.allocate(lv::kMaxAxis, lv::kMaxAxis, 1);
        img.naxis3 = -1;
        std::string e;
        for (std::size_t i = 0; i < img.pixels.size(); ++i) img.pixels[i] = 100 + static_cast<int>(i % 37);
        lv::writeFitsFile(img, (folder / "dark.fit").string(), 16, e);
        for (int f = 0; f < 10; ++f) {
            for (std::size_t i = 0; i < img.pixels.size(); ++i) img.pixels[i] = 1000 + static_cast<int>((i * 7 + f) % 3000);
            char name[32];
            std::snprintf(name, sizeof name, "f%03d.fit", f + 1);
            lv::writeFitsFile(img, (folder / "frames" / name).string(), 16, e);
        }
        return folder.string();
    }
    std::string folder(const char* name) const { return (root / name).string(); }
    std::string darkPath() const { return (root / "demo" / "calibration" / "dark.fit").string(); }
};

const Night& night()
{
    static Night n;
    return n;
}

bool ready(benchmark::State& state)
{
    if (night().error.empty()) return true;
    state.SkipWithError(night().error.c_str());
    return false;
}

void BM_ReadFrames(benchmark::State& state)
{
    if (!ready(state)) return;
    lv::Session s;
    lv::ScriptedPlatform platform;
    lv::FileQueue queue;
    lv::listFolder(night().folder("plain"), queue);
    lv::sortQueue(queue);
    for (auto _ : state)
        for (const std::string& name : queue.names)
            lv::readFitsFile(s.image, s.state, lv::entryPath(night().folder("plain"), name), lv::ReadForm::Command,
                             platform, &s.pixelPool);
}

void BM_AutomaticRunUnattended(benchmark::State& state)
{
    if (!ready(state)) return;
    const lv::DemoRun run = lv::demoRun();
    lv::Session s;
    lv::ScriptedPlatform platform;
    const std::string folder = night().folder("auto");
    lv::FileQueue& queue = s.processing.queue;
    lv::listFolder(folder, queue);
    lv::sortQueue(queue);
    int lines = 0;
    for (auto _ : state) {
        lv::AutomaticSetup setup;
        setup.picturesNotChecked = true;
        setup.displayPictures = false;
        setup.readFolder = folder;
        setup.currentFolder = folder;
        lv::AutomaticContext ctx = s.automaticContext(platform);
        s.automatic.prepare(ctx, setup);
        s.photometry = lv::PhotometryState{};
        for (int i = 0; i < 3; ++i)
            lv::setStarPosition(s.photometry, lv::kStarSlots[static_cast<std::size_t>(i)],
                                {static_cast<int>(run.stars[static_cast<std::size_t>(i)].x),
                                 static_cast<int>(run.stars[static_cast<std::size_t>(i)].y)});
        while (s.automatic.measure(ctx) == lv::AutomaticStatus::FrameLoaded) {
        }
        lines = s.automatic.linesWrittenCount();
        platform.shown.clear();
    }
    state.counters["lines"] = lines;
}

void BM_ReadAndWriteFrames(benchmark::State& state)
{
    if (!ready(state)) return;
    lv::Session s;
    lv::ScriptedPlatform platform;
    const std::string folder = night().folder("plain");
    lv::FileQueue queue;
    lv::listFolder(folder, queue);
    for (auto _ : state)
        for (const std::string& name : queue.names) {
            const std::string path = lv::entryPath(folder, name);
            lv::readFitsFile(s.image, s.state, path, lv::ReadForm::Command, platform, &s.pixelPool);
            std::string error;
            lv::writeFitsFile(s.image, path, s.image.bitpix, error);
        }
}

// Argument 0: as the application runs it; 1: without the flushes to the
// disk, to show what they cost per frame.
void BM_ContinuousDark(benchmark::State& state)
{
    if (!ready(state)) return;
    lv::setDiskFlushForTesting(state.range(0) == 1 ? -1 : 0);
    lv::Session s;
    lv::ScriptedPlatform platform;
    lv::JobProgress silent;
    lv::ProcessingState& p = s.processing;
    const std::string folder = night().folder("dark");
    lv::listFolder(folder, p.queue);
    int calibrated = 0;
    for (auto _ : state) {
        const lv::ContinuousResult r = lv::runContinuousCalibration(
            s.image, s.state, &s.pixelPool, p.undo, p.calibration, p.queue,
            {lv::CalibrationKind::Dark, night().darkPath(), folder}, silent, platform);
        calibrated = r.calibrated;
    }
    lv::setDiskFlushForTesting(0);
    state.counters["frames"] = calibrated;
}

void BM_ContinuousDarkLarge(benchmark::State& state)
{
    if (!ready(state)) return;
    const std::string large = night().largeFolder();
    lv::setDiskFlushForTesting(state.range(0) == 1 ? -1 : 0);
    lv::Session s;
    lv::ScriptedPlatform platform;
    lv::JobProgress silent;
    lv::ProcessingState& p = s.processing;
    const std::string folder = large + "/frames";
    lv::listFolder(folder, p.queue);
    int calibrated = 0;
    for (auto _ : state) {
        const lv::ContinuousResult r = lv::runContinuousCalibration(
            s.image, s.state, &s.pixelPool, p.undo, p.calibration, p.queue,
            {lv::CalibrationKind::Dark, large + "/dark.fit", folder}, silent, platform);
        calibrated = r.calibrated;
    }
    lv::setDiskFlushForTesting(0);
    state.counters["frames"] = calibrated;
}

void BM_SnapshotAndRestore(benchmark::State& state)
{
    lv::FitsImage image;
    image.allocate(lv::kMaxAxis, lv::kMaxAxis, 1);
    std::uint32_t x = 12345;
    for (auto& v : image.pixels) {
        x = x * 1664525u + 1013904223u;
        v = static_cast<std::int32_t>(x >> 16);
    }
    lv::UndoBuffer undo;
    for (auto _ : state) {
        undo.takeSnapshot(image);
        undo.restore(image);
        benchmark::DoNotOptimize(image.pixels.data());
    }
}

BENCHMARK(BM_ReadFrames)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AutomaticRunUnattended)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAndWriteFrames)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ContinuousDark)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ContinuousDarkLarge)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SnapshotAndRestore)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
