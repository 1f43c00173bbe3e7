// Building the picture of a full-size frame and its automatic levels, next to
// one copy of the frame's pixel array, measured in the same run; and opening
// a full-size frame through the engine up to its picture.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <vector>

#include "core/app_state.h"
#include "core/fits_image.h"
#include "core/fits_reader.h"
#include "core/fits_writer.h"
#include "core/platform.h"
#include "display/grey_mapping.h"

namespace {

constexpr int kSide = lv::kMaxAxis;

// A camera-like frame: sky near 1000 with noise and some bright stars.
lv::FitsImage frame()
{
    lv::FitsImage img;
    img.allocate(kSide, kSide, 1);
    std::uint32_t x = 12345;
    for (auto& v : img.pixels) {
        x = x * 1664525u + 1013904223u;
        v = 950 + static_cast<std::int32_t>((x >> 16) % 100);
    }
    for (int s = 0; s < 300; ++s) {
        const int cx = (s * 7919) % kSide, cy = (s * 104729) % kSide;
        for (int dy = -3; dy <= 3; ++dy)
            for (int dx = -3; dx <= 3; ++dx)
                if (img.inside(cx + dx, cy + dy)) img.at(cx + dx, cy + dy) = 20000 / (1 + dx * dx + dy * dy);
    }
    img.minValue = *std::min_element(img.pixels.begin(), img.pixels.end());
    img.maxValue = *std::max_element(img.pixels.begin(), img.pixels.end());
    std::string end = "END";
    end.resize(80, ' ');
    auto card = [](std::string k, std::string v) {
        k.resize(8, ' ');
        k += "= " + std::string(20 - v.size(), ' ') + v;
        k.resize(80, ' ');
        return k;
    };
    img.cards = {card("SIMPLE", "T"), card("BITPIX", "16"), card("NAXIS", "2"), card("NAXIS1", "3073"),
                 card("NAXIS2", "3073"), card("BZERO", "32768"), end};
    img.bitpix = 16;
    return img;
}

const lv::FitsImage& sharedFrame()
{
    static const lv::FitsImage f = frame();
    return f;
}

void BM_CopyPixels(benchmark::State& state)
{
    const auto& src = sharedFrame().pixels;
    std::vector<std::int32_t> dst(src.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size() * sizeof(std::int32_t));
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
}

void BM_BuildPicture(benchmark::State& state)
{
    const lv::FitsImage& img = sharedFrame();
    lv::AppState app;
    lv::autoLevels(img, app);
    lv::RgbPicture pic;  // the image window keeps its picture's storage
    for (auto _ : state) {
        lv::buildPicture(img, app, pic);
        benchmark::DoNotOptimize(pic.points.data());
    }
}

void BM_AutoLevels(benchmark::State& state)
{
    const lv::FitsImage& img = sharedFrame();
    lv::AppState app;
    for (auto _ : state) {
        lv::autoLevels(img, app);
        benchmark::DoNotOptimize(app.range);
    }
}

// Opening a frame as a drop does, up to the picture the image window shows.
void BM_OpenAndBuildPicture(benchmark::State& state)
{
    const auto dir = std::filesystem::temp_directory_path() / "lumavist-display-bench";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "frame.fit").string();
    lv::FitsImage img = sharedFrame();
    std::string error;
    if (!lv::writeFitsFile(img, path, 16, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    lv::FitsImage current;
    lv::AppState app;
    lv::ScriptedPlatform platform;
    lv::RgbPicture pic;
    lv::PixelPool pool;
    for (auto _ : state) {
        if (lv::readFitsFile(current, app, path, lv::ReadForm::Command, platform, &pool) != 0) {
            state.SkipWithError("read failed");
            break;
        }
        lv::autoLevels(current, app);
        lv::buildPicture(current, app, pic);
        benchmark::DoNotOptimize(pic.points.data());
    }
    std::filesystem::remove_all(dir);
}

BENCHMARK(BM_CopyPixels)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildPicture)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AutoLevels)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenAndBuildPicture)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
