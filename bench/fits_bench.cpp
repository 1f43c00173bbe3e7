// Reading and writing full-size frames with our FITS code, next to cfitsio on
// the same files in the same run, so the two can be compared directly.
//
// The test files are made once, with cfitsio, in a private temporary folder
// that is removed again when the program ends.

#include <benchmark/benchmark.h>
#include <fitsio.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <memory>
#include <vector>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include "core/app_state.h"
#include "core/fits_image.h"
#include "core/fits_reader.h"
#include "core/pixel_storage.h"
#include "core/fits_writer.h"
#include "core/platform.h"

namespace {

namespace fs = std::filesystem;

// The largest frame the image model holds, where speed matters most.
constexpr int kSide = lv::kMaxAxis;
constexpr std::size_t kValues = static_cast<std::size_t>(kSide) * static_cast<std::size_t>(kSide);
constexpr std::int64_t kBytes16 = static_cast<std::int64_t>(kValues) * 2;
constexpr std::int64_t kBytesFloat = static_cast<std::int64_t>(kValues) * 4;

long processId()
{
#ifdef _WIN32
    return static_cast<long>(_getpid());
#else
    return static_cast<long>(getpid());
#endif
}

// Fixed-seed generator, so every run measures the same pixels.
class Random {
public:
    std::uint64_t next()
    {
        // xorshift64*
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return state_ * 0x2545F4914F6CDD1DULL;
    }
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }

private:
    std::uint64_t state_ = 0x9E3779B97F4A7C15ULL;
};

// Something like a camera frame: sky about 1000 with a slight gradient and
// noise, plus a few hundred stars from faint to saturated.
std::vector<int> cameraFrame()
{
    Random rng;
    std::vector<double> sky(kValues);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            // Sum of four uniforms: roughly Gaussian noise of about +-30.
            const double noise = (rng.uniform() + rng.uniform() + rng.uniform() + rng.uniform() - 2.0) * 50.0;
            sky[static_cast<std::size_t>(y) * kSide + static_cast<std::size_t>(x)] =
                1000.0 + 0.02 * x - 0.01 * y + noise;
        }
    for (int s = 0; s < 400; ++s) {
        const double cx = rng.uniform() * kSide;
        const double cy = rng.uniform() * kSide;
        const double peak = 100.0 * std::exp(rng.uniform() * 6.5);  // up to ~66000
        const double sigma = 1.2 + rng.uniform() * 1.5;
        const int r = static_cast<int>(std::ceil(4.0 * sigma));
        for (int y = static_cast<int>(cy) - r; y <= static_cast<int>(cy) + r; ++y)
            for (int x = static_cast<int>(cx) - r; x <= static_cast<int>(cx) + r; ++x) {
                if (x < 0 || y < 0 || x >= kSide || y >= kSide) continue;
                const double dx = x + 0.5 - cx;
                const double dy = y + 0.5 - cy;
                sky[static_cast<std::size_t>(y) * kSide + static_cast<std::size_t>(x)] +=
                    peak * std::exp(-(dx * dx + dy * dy) / (2.0 * sigma * sigma));
            }
    }
    std::vector<int> frame(kValues);
    for (std::size_t i = 0; i < kValues; ++i) {
        const double v = std::floor(sky[i]);
        frame[i] = v < 0.0 ? 0 : v > 65535.0 ? 65535 : static_cast<int>(v);
    }
    return frame;
}

// Eighths other than a half, so rounding never meets a tie and the expected
// rounded value is known exactly.
int eighthsOf(std::size_t i)
{
    static constexpr int kEighths[] = {1, 2, 3, 5, 6, 7};
    return kEighths[i % 6];
}

std::string cfitsioError(const char* what, int status)
{
    char text[FLEN_STATUS] = {};
    fits_get_errstatus(status, text);
    return std::string("cfitsio ") + what + ": " + text;
}

// cfitsio takes the file name as a non-const char*.
std::vector<char> cName(const std::string& s) { return std::vector<char>(s.c_str(), s.c_str() + s.size() + 1); }

std::string writeWithCfitsio(const std::string& path, int imageType, int dataType, void* data)
{
    fitsfile* fp = nullptr;
    int status = 0;
    long naxes[2] = {kSide, kSide};
    auto name = cName("!" + path);  // "!" replaces an existing file
    fits_create_file(&fp, name.data(), &status);
    if (status) return cfitsioError("create", status);
    fits_create_img(fp, imageType, 2, naxes, &status);
    fits_write_img(fp, dataType, 1, static_cast<LONGLONG>(kValues), data, &status);
    int closeStatus = 0;
    fits_close_file(fp, &closeStatus);
    if (status) return cfitsioError("write", status);
    if (closeStatus) return cfitsioError("close", closeStatus);
    return {};
}

// A 16-bit frame written tile-compressed (`algorithm`), or as a whole file
// through gzip (`algorithm` 0, a name ending in .gz).
std::string writeCompressedWithCfitsio(const std::string& path, int algorithm, const std::vector<int>& frame)
{
    std::vector<unsigned short> values(frame.begin(), frame.end());
    fitsfile* fp = nullptr;
    int status = 0;
    long naxes[2] = {kSide, kSide};
    auto name = cName("!" + path);
    fits_create_file(&fp, name.data(), &status);
    if (status) return cfitsioError("create", status);
    if (algorithm != 0) fits_set_compression_type(fp, algorithm, &status);
    fits_create_img(fp, USHORT_IMG, 2, naxes, &status);
    fits_write_img(fp, TUSHORT, 1, static_cast<LONGLONG>(kValues), values.data(), &status);
    int closeStatus = 0;
    fits_close_file(fp, &closeStatus);
    if (status) return cfitsioError("write", status);
    if (closeStatus) return cfitsioError("close", closeStatus);
    return {};
}

std::string readWithCfitsio(const std::string& path, int* out)
{
    fitsfile* fp = nullptr;
    int status = 0;
    auto name = cName(path);
    // The first unit that holds an image: the primary of a plain or gzip
    // file, the extension of a tile-compressed one.
    fits_open_image(&fp, name.data(), READONLY, &status);
    if (status) return cfitsioError("open", status);
    int anyNull = 0;
    fits_read_img(fp, TINT, 1, static_cast<LONGLONG>(kValues), nullptr, out, &anyNull, &status);
    int closeStatus = 0;
    fits_close_file(fp, &closeStatus);
    if (status) return cfitsioError("read", status);
    if (closeStatus) return cfitsioError("close", closeStatus);
    return {};
}

std::string readWithLumavist(const std::string& path, lv::FitsImage& image)
{
    lv::AppState app;
    lv::ScriptedPlatform platform;
    if (lv::readFitsFile(image, app, path, lv::ReadForm::Command, platform) != 0) {
        const auto texts = platform.messageTexts();
        return "readFitsFile failed" + (texts.empty() ? std::string() : ": " + texts.back());
    }
    if (image.naxis1 != kSide || image.naxis2 != kSide || image.planes != 1)
        return "readFitsFile gave an image of the wrong size";
    return {};
}

// The shared test files. Made on first use so a failure can be reported by
// the benchmark that needed them; removed when the program exits.
struct BenchFiles {
    fs::path dir;
    std::string file16;       // BITPIX 16, BZERO 32768
    std::string fileFloat;    // BITPIX -32
    std::string outLumavist;  // targets of the write benchmarks
    std::string outCfitsio;
    std::string fileRice;       // the 16-bit frame, tile-compressed as fpack does by default
    std::string fileGzip2;      // ... with GZIP_2 tiles
    std::string fileHcompress;  // ... with lossless HCOMPRESS tiles
    std::string fileGz;         // ... as a gzip file
    std::vector<int> frame;   // the 16-bit values as ints
    std::string error;        // non-empty when the files could not be made

    BenchFiles()
    {
        std::error_code ec;
        dir = fs::temp_directory_path(ec) / ("lumavist-bench-" + std::to_string(processId()));
        if (ec || !fs::create_directories(dir, ec) || ec) {
            error = "cannot create " + dir.string();
            return;
        }
        file16 = (dir / "frame16.fts").string();
        fileFloat = (dir / "frame32f.fts").string();
        outLumavist = (dir / "out-lumavist.fts").string();
        outCfitsio = (dir / "out-cfitsio.fts").string();
        fileRice = (dir / "frame16.fits.fz").string();
        fileGzip2 = (dir / "frame16-gzip2.fits.fz").string();
        fileHcompress = (dir / "frame16-hcompress.fits.fz").string();
        fileGz = (dir / "frame16.fit.gz").string();

        frame = cameraFrame();
        std::vector<float> floats(kValues);
        for (std::size_t i = 0; i < kValues; ++i)
            floats[i] = static_cast<float>(frame[i]) + static_cast<float>(eighthsOf(i)) / 8.0f;

        error = writeWithCfitsio(file16, USHORT_IMG, TINT, frame.data());
        if (error.empty()) error = writeWithCfitsio(fileFloat, FLOAT_IMG, TFLOAT, floats.data());
        const std::pair<std::string*, int> compressed[] = {
            {&fileRice, RICE_1}, {&fileGzip2, GZIP_2}, {&fileHcompress, HCOMPRESS_1}, {&fileGz, 0}};
        for (const auto& [path, algorithm] : compressed)
            if (error.empty()) error = writeCompressedWithCfitsio(*path, algorithm, frame);
        if (error.empty()) error = checkReaders();
    }

    ~BenchFiles()
    {
        std::error_code ec;
        if (!dir.empty()) fs::remove_all(dir, ec);
    }

    BenchFiles(const BenchFiles&) = delete;
    BenchFiles& operator=(const BenchFiles&) = delete;

private:
    // Comparing speeds only means something when both sides read the same
    // values: check that once, outside any timing.
    std::string checkReaders() const
    {
        std::vector<int> theirs(kValues);
        lv::FitsImage ours;
        if (auto e = readWithLumavist(file16, ours); !e.empty()) return e;
        if (auto e = readWithCfitsio(file16, theirs.data()); !e.empty()) return e;
        for (std::size_t i = 0; i < kValues; ++i)
            if (ours.pixels[i] != frame[i] || theirs[i] != frame[i]) return "16-bit readers disagree with the frame";

        if (auto e = readWithLumavist(fileFloat, ours); !e.empty()) return e;
        if (auto e = readWithCfitsio(fileFloat, theirs.data()); !e.empty()) return e;
        for (std::size_t i = 0; i < kValues; ++i) {
            // We round to nearest; cfitsio may truncate, so allow it one below.
            const int rounded = frame[i] + (eighthsOf(i) > 4 ? 1 : 0);
            if (ours.pixels[i] != rounded) return "our float reader does not round as expected";
            if (theirs[i] != rounded && theirs[i] != frame[i]) return "cfitsio float read is off";
        }

        for (const std::string* path : {&fileRice, &fileGzip2, &fileHcompress, &fileGz}) {
            if (auto e = readWithLumavist(*path, ours); !e.empty()) return e;
            if (auto e = readWithCfitsio(*path, theirs.data()); !e.empty()) return e;
            for (std::size_t i = 0; i < kValues; ++i)
                if (ours.pixels[i] != frame[i] || theirs[i] != frame[i])
                    return "the readers disagree with the frame in " + *path;
        }
        return {};
    }
};

BenchFiles& files()
{
    static BenchFiles f;
    return f;
}

bool filesReady(benchmark::State& state)
{
    const BenchFiles& f = files();
    if (f.error.empty()) return true;
    state.SkipWithError(f.error.c_str());
    return false;
}

// ---- reading ----------------------------------------------------------------

// Reused: the image and its storage pool are kept across reads, as the
// application keeps them. Fresh: new storage each time (its first touch and
// its release included), what opening one frame costs in a new process.
void readLumavist(benchmark::State& state, const std::string& path, std::int64_t dataBytes, bool fresh = false)
{
    if (!filesReady(state)) return;
    lv::AppState app;
    lv::ScriptedPlatform platform;
    lv::FitsImage kept;
    lv::PixelPool pool;
    for (auto _ : state) {
        lv::FitsImage newImage;
        lv::FitsImage& image = fresh ? newImage : kept;
        if (lv::readFitsFile(image, app, path, lv::ReadForm::Command, platform, fresh ? nullptr : &pool) != 0) {
            state.SkipWithError("readFitsFile failed");
            break;
        }
        benchmark::DoNotOptimize(image.pixels.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * dataBytes);
}

// fresh: a new, uncleared buffer each iteration (as malloc would give it),
// so the first touch of its pages is part of the read.
void readCfitsio(benchmark::State& state, const std::string& path, std::int64_t dataBytes, bool fresh = false)
{
    if (!filesReady(state)) return;
    std::vector<int> kept(fresh ? 0 : kValues);
    for (auto _ : state) {
        std::unique_ptr<int[]> own(fresh ? new int[kValues] : nullptr);
        int* buffer = fresh ? own.get() : kept.data();
        if (const std::string e = readWithCfitsio(path, buffer); !e.empty()) {
            state.SkipWithError(e.c_str());
            break;
        }
        benchmark::DoNotOptimize(buffer);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * dataBytes);
}

void BM_Read16_Lumavist(benchmark::State& state) { readLumavist(state, files().file16, kBytes16); }
void BM_Read16Fresh_Lumavist(benchmark::State& state) { readLumavist(state, files().file16, kBytes16, true); }
void BM_Read16Fresh_Cfitsio(benchmark::State& state) { readCfitsio(state, files().file16, kBytes16, true); }
void BM_ReadFloatFresh_Lumavist(benchmark::State& state) { readLumavist(state, files().fileFloat, kBytesFloat, true); }
void BM_ReadFloatFresh_Cfitsio(benchmark::State& state) { readCfitsio(state, files().fileFloat, kBytesFloat, true); }
void BM_Read16_Cfitsio(benchmark::State& state) { readCfitsio(state, files().file16, kBytes16); }
void BM_ReadFloat_Lumavist(benchmark::State& state) { readLumavist(state, files().fileFloat, kBytesFloat); }
void BM_ReadFloat_Cfitsio(benchmark::State& state) { readCfitsio(state, files().fileFloat, kBytesFloat); }

// Compressed frames: both sides decompress through cfitsio; ours adds the
// check of every tile's stream and the plain reader's value rules.
void BM_ReadRice_Lumavist(benchmark::State& state) { readLumavist(state, files().fileRice, kBytes16); }
void BM_ReadRice_Cfitsio(benchmark::State& state) { readCfitsio(state, files().fileRice, kBytes16); }
void BM_ReadGzip2_Lumavist(benchmark::State& state) { readLumavist(state, files().fileGzip2, kBytes16); }
void BM_ReadGzip2_Cfitsio(benchmark::State& state) { readCfitsio(state, files().fileGzip2, kBytes16); }
void BM_ReadHcompress_Lumavist(benchmark::State& state) { readLumavist(state, files().fileHcompress, kBytes16); }
void BM_ReadHcompress_Cfitsio(benchmark::State& state) { readCfitsio(state, files().fileHcompress, kBytes16); }
void BM_ReadGz_Lumavist(benchmark::State& state) { readLumavist(state, files().fileGz, kBytes16); }
void BM_ReadGz_Cfitsio(benchmark::State& state) { readCfitsio(state, files().fileGz, kBytes16); }

// ---- writing ----------------------------------------------------------------

// Both writers create a new file each time: the old output is removed
// outside the timing. Replacing an existing file is measured on its own
// below, since our writer replaces atomically (temporary file and rename),
// which on ext4 also starts writing the new file out at the rename.
void writeLumavist(benchmark::State& state, bool replace)
{
    if (!filesReady(state)) return;
    const BenchFiles& f = files();
    lv::FitsImage image;
    if (const std::string e = readWithLumavist(f.file16, image); !e.empty()) {
        state.SkipWithError(e.c_str());
        return;
    }
    std::string error;
    for (auto _ : state) {
        if (!replace) {
            state.PauseTiming();
            std::error_code ec;
            fs::remove(f.outLumavist, ec);
            state.ResumeTiming();
        }
        const bool ok = lv::writeFitsFile(image, f.outLumavist, 16, error);
        benchmark::DoNotOptimize(ok);
        if (!ok) {
            state.SkipWithError(error.c_str());
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * kBytes16);
}

void BM_Write16_Lumavist(benchmark::State& state) { writeLumavist(state, false); }
void BM_Replace16_Lumavist(benchmark::State& state) { writeLumavist(state, true); }

void BM_Write16_Cfitsio(benchmark::State& state)
{
    if (!filesReady(state)) return;
    const BenchFiles& f = files();
    std::vector<int> buffer = f.frame;  // the same values our writer gets
    for (auto _ : state) {
        state.PauseTiming();
        std::error_code ec;
        fs::remove(f.outCfitsio, ec);
        state.ResumeTiming();
        const std::string e = writeWithCfitsio(f.outCfitsio, USHORT_IMG, TINT, buffer.data());
        benchmark::DoNotOptimize(e.data());
        if (!e.empty()) {
            state.SkipWithError(e.c_str());
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * kBytes16);
}

BENCHMARK(BM_Read16_Lumavist)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read16_Cfitsio)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFloat_Lumavist)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFloat_Cfitsio)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read16Fresh_Lumavist)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read16Fresh_Cfitsio)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFloatFresh_Lumavist)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFloatFresh_Cfitsio)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadRice_Lumavist)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadRice_Cfitsio)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadGzip2_Lumavist)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadGzip2_Cfitsio)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadHcompress_Lumavist)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadHcompress_Cfitsio)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadGz_Lumavist)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadGz_Cfitsio)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Write16_Lumavist)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Write16_Cfitsio)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Replace16_Lumavist)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    // Huge pages decide much of what a fresh frame costs.
    benchmark::AddCustomContext("transparent_hugepage", lv::hugePageSetting());
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
