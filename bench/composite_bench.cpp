// The composite of 7 full-size frames against reading the seven and writing
// one, and the BZERO/BSCALE rewrite of 100 frames of 512 x 512.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>

#include "app/session.h"
#include "core/fits_reader.h"
#include "core/fits_writer.h"
#include "processing/composite.h"

namespace fs = std::filesystem;

namespace {

struct Folders {
    fs::path root;
    std::string error;
    Folders()
    {
        root = fs::temp_directory_path() / ("lumavist-composite-bench-" + std::to_string(::getpid()));
        fs::create_directories(root / "seven");
        fs::create_directories(root / "hundred");
        auto frame = [](int side, std::uint32_t seed) {
            lv::FitsImage img;
            img.allocate(side, side, 1);
            for (auto& v : img.pixels) {
                seed = seed * 1664525u + 1013904223u;
                v = 1000 + static_cast<std::int32_t>(seed >> 20);
            }
            auto card = [](std::string t) {
                t.resize(lv::kCardLength, ' ');
                return t;
            };
            img.cards = {card("SIMPLE  =                    T"), card("BITPIX  =                   16"),
                         card("NAXIS   =                    2"),
                         card("NAXIS1  = " + std::string(20 - std::to_string(side).size(), ' ') + std::to_string(side)),
                         card("NAXIS2  = " + std::string(20 - std::to_string(side).size(), ' ') + std::to_string(side)),
                         card("BZERO   =                32768 / offset"), card("BSCALE  =                    1"),
                         card("END")};
            img.bitpix = 16;
            return img;
        };
        for (int i = 0; i < 7; ++i) {
            lv::FitsImage f = frame(lv::kMaxAxis, 11 + i);
            if (!lv::writeFitsFile(f, (root / "seven" / ("f" + std::to_string(i) + ".fit")).string(), 16, error)) return;
        }
        for (int i = 0; i < 100; ++i) {
            lv::FitsImage f = frame(512, 100 + i);
            if (!lv::writeFitsFile(f, (root / "hundred" / ("g" + std::to_string(100 + i) + ".fit")).string(), 16, error))
                return;
        }
    }
    ~Folders()
    {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

const Folders& folders()
{
    static Folders f;
    return f;
}

bool ready(benchmark::State& state)
{
    if (folders().error.empty()) return true;
    state.SkipWithError(folders().error.c_str());
    return false;
}

lv::FileQueue queueOf(const std::string& folder)
{
    lv::FileQueue q;
    lv::listFolder(folder, q);
    lv::sortQueue(q);
    // Earlier composites are not inputs.
    std::erase_if(q.names, [](const std::string& n) { return n.rfind("c7_", 0) == 0; });
    return q;
}

void BM_ReadSevenWriteOne(benchmark::State& state)
{
    if (!ready(state)) return;
    const std::string folder = (folders().root / "seven").string();
    const lv::FileQueue q = queueOf(folder);
    lv::Session s;
    lv::ScriptedPlatform platform;
    for (auto _ : state) {
        for (const std::string& n : q.names)
            lv::readFitsFile(s.image, s.state, lv::entryPath(folder, n), lv::ReadForm::Command, platform, &s.pixelPool);
        std::string error;
        lv::writeFitsFile(s.image, (folders().root / "plain_out.fit").string(), 16, error);
    }
}

void BM_CompositeOfSeven(benchmark::State& state)
{
    if (!ready(state)) return;
    const std::string folder = (folders().root / "seven").string();
    lv::Session s;
    lv::ScriptedPlatform platform;
    lv::JobProgress silent;
    int written = 0;
    for (auto _ : state) {
        lv::FileQueue q = queueOf(folder);
        written = lv::runComposite(s.image, s.state, &s.pixelPool, q, {7, folder}, silent, platform).written;
    }
    state.counters["written"] = written;
}

void BM_RewriteHundredHeaders(benchmark::State& state)
{
    if (!ready(state)) return;
    const std::string folder = (folders().root / "hundred").string();
    const lv::FileQueue q = queueOf(folder);
    lv::ScriptedPlatform platform;
    lv::JobProgress silent;
    int rewritten = 0;
    for (auto _ : state) rewritten = lv::rewriteBzeroBscale(q, folder, "32768", "1", silent, platform).rewritten;
    state.counters["files"] = rewritten;
}

BENCHMARK(BM_ReadSevenWriteOne)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompositeOfSeven)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RewriteHundredHeaders)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
