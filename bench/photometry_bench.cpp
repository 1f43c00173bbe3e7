// One photometry run with the application's defaults on a full-size frame:
// three peak searches, apertures and sky annuli, result line.
#include <benchmark/benchmark.h>

#include <cmath>

#include "core/fits_image.h"
#include "core/platform.h"
#include "photometry/photometry_run.h"
#include "photometry/positions.h"

namespace {

lv::FitsImage starField()
{
    lv::FitsImage img;
    img.allocate(lv::kMaxAxis, lv::kMaxAxis, 1);
    std::uint32_t x = 777;
    for (auto& v : img.pixels) {
        x = x * 1664525u + 1013904223u;
        v = 1000 + static_cast<std::int32_t>((x >> 20) % 64);
    }
    const int stars[3][2] = {{1000, 1200}, {1500, 1400}, {2100, 900}};
    for (const auto& s : stars)
        for (int dy = -6; dy <= 6; ++dy)
            for (int dx = -6; dx <= 6; ++dx)
                img.at(s[0] + dx, s[1] + dy) += static_cast<std::int32_t>(30000 * std::exp(-(dx * dx + dy * dy) / 4.5));
    std::string end = "END";
    end.resize(80, ' ');
    img.cards = {end};
    return img;
}

void BM_PhotometryRun(benchmark::State& state)
{
    const lv::FitsImage img = starField();
    lv::ScriptedPlatform platform;
    for (auto _ : state) {
        lv::PhotometryState ph;  // defaults: circle 3, median sky 10 ... 20, peak & move, span 15
        lv::setStarPosition(ph, lv::kComparison, {1003, 1198});
        lv::setStarPosition(ph, lv::kVariable, {1497, 1402});
        lv::setStarPosition(ph, lv::kCheck, {2100, 905});
        const lv::PhotometryOutcome out = lv::runPhotometry(img, ph, false, platform);
        if (!out.allMeasured) {
            state.SkipWithError("a star was not measured");
            break;
        }
        benchmark::DoNotOptimize(out.resultLine.data());
    }
}

BENCHMARK(BM_PhotometryRun)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
