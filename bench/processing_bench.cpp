// Processing commands on a full-size 3073 x 3073 frame: each noise filter
// against one copy of the pixel plane, the fifth-degree fit of every row,
// limb darkening, bow correction of every row, and the per-pixel rules of
// continuous dark and flat.
#include <benchmark/benchmark.h>

#include <cstring>

#include "core/fits_image.h"
#include "core/platform.h"
#include "processing/calibration.h"
#include "processing/corrections.h"
#include "processing/filters.h"
#include "processing/polynomial_fit.h"

namespace {

const lv::FitsImage& frame()
{
    static const lv::FitsImage img = [] {
        lv::FitsImage f;
        f.allocate(lv::kMaxAxis, lv::kMaxAxis, 1);
        std::uint32_t x = 99;
        for (int row = 0; row < f.naxis2; ++row)
            for (int col = 0; col < f.naxis1; ++col) {
                x = x * 1664525u + 1013904223u;
                // A limb-darkened disc: bright in the middle, never 0.
                const double d = (col - 1536.0) / 1600.0;
                f.at(col, row) = static_cast<std::int32_t>(20000 * (1 - 0.6 * d * d) + (x >> 24));
            }
        return f;
    }();
    return img;
}

void BM_CopyPlane(benchmark::State& state)
{
    const lv::FitsImage& src = frame();
    std::vector<std::int32_t> dst(src.pixels.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), src.pixels.data(), src.pixels.size() * sizeof(std::int32_t));
        benchmark::DoNotOptimize(dst.data());
    }
}

void BM_NoiseFilter(benchmark::State& state)
{
    const auto filter = static_cast<lv::NoiseFilter>(state.range(0));
    lv::FitsImage img = frame();
    lv::UndoBuffer undo;
    lv::ScriptedPlatform platform;
    for (auto _ : state) {
        state.PauseTiming();
        img.pixels = frame().pixels;
        state.ResumeTiming();
        lv::runNoiseFilter(filter, img, undo, platform);
        benchmark::DoNotOptimize(img.pixels.data());
    }
}

void BM_FifthFunction(benchmark::State& state)
{
    lv::FitsImage img = frame();
    lv::UndoBuffer undo;
    lv::FitState fit;
    std::int32_t row = 0;
    lv::ScriptedPlatform platform;
    for (auto _ : state) {
        state.PauseTiming();
        img.pixels = frame().pixels;
        state.ResumeTiming();
        lv::fifthFunctionApproximation(img, undo, fit, row, platform);
    }
}

void BM_LimbDarkening(benchmark::State& state)
{
    lv::FitsImage img = frame();
    lv::UndoBuffer undo;
    lv::FitState fit;
    std::int32_t row = 0;
    lv::ScriptedPlatform platform;
    for (auto _ : state) {
        state.PauseTiming();
        img.pixels = frame().pixels;
        state.ResumeTiming();
        if (!lv::limbDarkening(img, undo, fit, row, platform)) state.SkipWithError("refused");
    }
}

void BM_BowEveryRow(benchmark::State& state)
{
    lv::FitsImage img = frame();
    std::vector<lv::BowShift> shifts;
    for (int r = 0; r < lv::kMaxAxis; ++r) shifts.push_back({r, (r % 7) - 3.25});
    for (auto _ : state) {
        state.PauseTiming();
        img.pixels = frame().pixels;
        state.ResumeTiming();
        lv::applyBow(img, shifts);
        lv::extremesIgnoringZero(img);
    }
}

// The per-pixel rules of continuous dark and flat on one frame (the folder
// job's reading and writing left out): the flat division should cost what
// the dark subtraction does.
lv::CalibrationFrame calibrationFrame(std::int32_t base)
{
    lv::CalibrationFrame c;
    c.naxis1 = c.naxis2 = lv::kMaxAxis;
    c.values.resize(frame().pixels.size());
    std::uint32_t x = 7;
    for (auto& v : c.values) {
        x = x * 1664525u + 1013904223u;
        v = base + static_cast<std::int32_t>(x >> 22);
    }
    return c;
}

void BM_CalibrationRule(benchmark::State& state)
{
    const bool flat = state.range(0) == 1;
    const lv::CalibrationFrame c = calibrationFrame(flat ? 30000 : 100);
    lv::FitsImage img = frame();
    for (auto _ : state) {
        state.PauseTiming();
        img.pixels = frame().pixels;
        state.ResumeTiming();
        if (flat) lv::divideByFlat(img, c, 30512);
        else lv::subtractDark(img, c);
        benchmark::DoNotOptimize(img.pixels.data());
    }
    state.SetLabel(flat ? "flat" : "dark");
}

BENCHMARK(BM_CopyPlane)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CalibrationRule)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NoiseFilter)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FifthFunction)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LimbDarkening)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BowEveryRow)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
