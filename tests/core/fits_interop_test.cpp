// Our reader and writer against an independent FITS implementation (cfitsio)
// and validator (fitsverify).
#include <fitsio.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>

#include <gtest/gtest.h>

#include "core/conventions.h"
#include "core/fits_reader.h"
#include "core/fits_writer.h"
#include "fits_builder.h"

namespace lv {
namespace {

constexpr int kW = 37;  // odd sizes: rows do not line up with blocks
constexpr int kH = 23;
constexpr long kN = kW * kH;

struct Scaling {
    double bscale;
    double bzero;
};

// Writes raw values of `type` with cfitsio, with BSCALE/BZERO records.
template <class T>
void cfitsioWrite(const std::string& path, int imgType, int dataType, const std::vector<T>& raw, Scaling s)
{
    fitsfile* f = nullptr;
    int status = 0;
    long naxes[2] = {kW, kH};
    fits_create_file(&f, ("!" + path).c_str(), &status);
    fits_create_img(f, imgType, 2, naxes, &status);
    fits_update_key(f, TDOUBLE, "BSCALE", &s.bscale, nullptr, &status);
    fits_update_key(f, TDOUBLE, "BZERO", &s.bzero, nullptr, &status);
    fits_set_bscale(f, 1.0, 0.0, &status);  // the values below are the stored ones
    fits_write_img(f, dataType, 1, kN, const_cast<T*>(raw.data()), &status);
    fits_close_file(f, &status);
    ASSERT_EQ(status, 0) << "cfitsio could not write " << path;
}

// What cfitsio reads: raw stored values (scaling off) or physical values.
std::vector<double> cfitsioRead(const std::string& path, bool physical)
{
    fitsfile* f = nullptr;
    int status = 0;
    std::vector<double> v(kN);
    int anynul = 0;
    fits_open_file(&f, path.c_str(), READONLY, &status);
    if (!physical) fits_set_bscale(f, 1.0, 0.0, &status);
    fits_read_img(f, TDOUBLE, 1, kN, nullptr, v.data(), &anynul, &status);
    fits_close_file(f, &status);
    EXPECT_EQ(status, 0) << "cfitsio could not read " << path;
    return v;
}

std::int32_t wrapped(double v, double at)
{
    double r = roundHalfEven(v);
    if (at != 0 && r >= at) r -= at;
    return static_cast<std::int32_t>(r);
}

class FitsInteropTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::mt19937 gen{12345};
    FitsImage image;
    AppState state;
    ScriptedPlatform platform;

    void readOurs(const std::string& path)
    {
        ASSERT_EQ(readFitsFile(image, state, path, ReadForm::Command, platform), 0)
            << (platform.shown.empty() ? "" : platform.shown.back().text);
        ASSERT_EQ(image.naxis1, kW);
        ASSERT_EQ(image.naxis2, kH);
    }
    void expectValues(const std::vector<std::int32_t>& expected, const char* what)
    {
        int mismatches = 0;
        for (long i = 0; i < kN && mismatches < 5; ++i) {
            if (image.pixels[static_cast<std::size_t>(i)] != expected[static_cast<std::size_t>(i)]) {
                ++mismatches;
                ADD_FAILURE() << what << ": value " << i << " is " << image.pixels[static_cast<std::size_t>(i)]
                              << ", expected " << expected[static_cast<std::size_t>(i)];
            }
        }
    }
};

TEST_F(FitsInteropTest, SixteenBitFilesWrittenByCfitsio)
{
    const Scaling scalings[] = {{1, 32768}, {1, 0}, {0.5, 100.25}, {2, -1000}, {1.5, 32768}};
    for (const Scaling s : scalings) {
        std::vector<short> raw(kN);
        std::uniform_int_distribution<int> d(-32768, 32767);
        for (auto& r : raw) r = static_cast<short>(d(gen));
        raw[0] = -32768;
        raw[1] = 32767;
        raw[2] = 0;
        const std::string path = dir.file("s16.fit");
        cfitsioWrite(path, SHORT_IMG, TSHORT, raw, s);
        readOurs(path);
        const auto stored = cfitsioRead(path, false);
        const auto physical = cfitsioRead(path, true);
        std::vector<std::int32_t> expected(kN);
        for (long i = 0; i < kN; ++i) {
            // We take the stored 16 bits as unsigned and wrap at 65536 once.
            const double u = stored[i] < 0 ? stored[i] + 65536 : stored[i];
            expected[i] = wrapped(u * s.bscale + s.bzero, 65536);
            if (s.bscale == 1 && s.bzero == 32768) {
                EXPECT_EQ(expected[i], physical[i]);
            }
        }
        expectValues(expected, ("BITPIX 16, BSCALE " + plainNumberText(s.bscale) + " BZERO " +
                                plainNumberText(s.bzero)).c_str());
    }
}

TEST_F(FitsInteropTest, EightBitFilesWrittenByCfitsio)
{
    const Scaling scalings[] = {{1, 0}, {1, 100}, {0.5, 0.25}, {3, -50}};
    for (const Scaling s : scalings) {
        std::vector<unsigned char> raw(kN);
        std::uniform_int_distribution<int> d(0, 255);
        for (auto& r : raw) r = static_cast<unsigned char>(d(gen));
        const std::string path = dir.file("u8.fit");
        cfitsioWrite(path, BYTE_IMG, TBYTE, raw, s);
        readOurs(path);
        const auto physical = cfitsioRead(path, true);
        std::vector<std::int32_t> expected(kN);
        for (long i = 0; i < kN; ++i) expected[i] = wrapped(physical[i], 256);
        expectValues(expected, ("BITPIX 8, BZERO " + plainNumberText(s.bzero)).c_str());
    }
}

TEST_F(FitsInteropTest, ThirtyTwoBitFilesWrittenByCfitsio)
{
    const Scaling scalings[] = {{1, 0}, {1, -2147483647.0}, {0.25, 10}, {1, 1000.5}};
    for (const Scaling s : scalings) {
        std::vector<int> raw(kN);
        std::uniform_int_distribution<int> d(0, 2147483647);
        for (auto& r : raw) r = s.bscale == 1 && s.bzero == 0 ? d(gen) : d(gen) / 2;
        raw[0] = 2147483647;
        raw[1] = 0;
        if (s.bzero == 1000.5) raw[0] = 1000;  // keep the sum inside 32 bits
        const std::string path = dir.file("i32.fit");
        cfitsioWrite(path, LONG_IMG, TINT, raw, s);
        readOurs(path);
        const auto physical = cfitsioRead(path, true);
        std::vector<std::int32_t> expected(kN);
        for (long i = 0; i < kN; ++i) expected[i] = wrapped(physical[i], 0);
        expectValues(expected, ("BITPIX 32, BZERO " + plainNumberText(s.bzero)).c_str());
    }
}

TEST_F(FitsInteropTest, FloatFilesWrittenByCfitsio)
{
    for (const Scaling s : {Scaling{1, 0}, Scaling{2, 500}}) {
        std::vector<float> raw(kN);
        std::uniform_real_distribution<float> d(-1e7f, 1e7f);
        for (auto& r : raw) r = d(gen);
        // Halves round to even; tiny and negative-zero values give 0.
        const float special[] = {0.5f, 1.5f, 2.5f, -2.5f, -0.0f, 1e-30f, 16777216.0f, -3.4999998f,
                                 4194304.5f, 8388607.5f, -4194305.5f, 2147483520.0f, -2147483648.0f};
        for (std::size_t i = 0; i < std::size(special); ++i) raw[i] = special[i];
        const std::string path = dir.file("f32.fit");
        cfitsioWrite(path, FLOAT_IMG, TFLOAT, raw, s);
        readOurs(path);
        EXPECT_TRUE(image.isFloat);
        const auto stored = cfitsioRead(path, false);
        std::vector<std::int32_t> expected(kN);
        // A monochrome float image is rounded without BSCALE/BZERO.
        for (long i = 0; i < kN; ++i) expected[i] = wrapped(stored[i], 0);
        expectValues(expected, "BITPIX -32");
        EXPECT_EQ(image.pixels[0], 0);
        EXPECT_EQ(image.pixels[1], 2);
        EXPECT_EQ(image.pixels[2], 2);
        EXPECT_EQ(image.pixels[3], -2);
    }
}

TEST_F(FitsInteropTest, SixtyFourBitFilesWrittenByCfitsio)
{
    // BITPIX -64 as -32: each value rounded, halves to even, BSCALE/BZERO not applied.
    for (const Scaling s : {Scaling{1, 0}, Scaling{2, 500}}) {
        std::vector<double> raw(kN);
        std::uniform_real_distribution<double> d(-2e9, 2e9);
        for (auto& r : raw) r = d(gen);
        const double special[] = {0.5, 1.5, 2.5, -2.5, -0.0, 1e-300, 2147483647.4, -2147483648.4, 123456789.5};
        for (std::size_t i = 0; i < std::size(special); ++i) raw[i] = special[i];
        const std::string path = dir.file("f64.fit");
        cfitsioWrite(path, DOUBLE_IMG, TDOUBLE, raw, s);
        readOurs(path);
        EXPECT_EQ(image.bitpix, 64);
        EXPECT_TRUE(image.isFloat);
        const auto stored = cfitsioRead(path, false);
        std::vector<std::int32_t> expected(kN);
        for (long i = 0; i < kN; ++i) expected[i] = wrapped(stored[i], 0);
        expectValues(expected, "BITPIX -64");
        EXPECT_EQ(image.pixels[6], 2147483647);
        EXPECT_EQ(image.pixels[8], 123456790);
    }
    // BITPIX 64 as 32: BZERO + raw x BSCALE, the raw value signed.
    for (const Scaling s : {Scaling{1, 0}, Scaling{1, 1000000}, Scaling{0.5, -3.25}}) {
        std::vector<long long> raw(kN);
        std::uniform_int_distribution<long long> d(-2000000000LL, 2000000000LL);
        for (auto& r : raw) r = d(gen);
        raw[0] = -7;
        const std::string path = dir.file("i64.fit");
        cfitsioWrite(path, LONGLONG_IMG, TLONGLONG, raw, s);
        readOurs(path);
        EXPECT_EQ(image.bitpix, 64);
        EXPECT_FALSE(image.isFloat);
        const auto physical = cfitsioRead(path, true);
        std::vector<std::int32_t> expected(kN);
        for (long i = 0; i < kN; ++i) expected[i] = wrapped(physical[i], 0);
        expectValues(expected, "BITPIX 64");
    }
    // Values beyond 32 bits refuse the file, with the message of BITPIX -32.
    std::vector<double> large(kN, 1.0);
    large[kW + 3] = 2147483648.0;
    cfitsioWrite(dir.file("big.fit"), DOUBLE_IMG, TDOUBLE, large, Scaling{1, 0});
    std::vector<long long> wide(kN, 1);
    wide[2] = 3000000000LL;
    cfitsioWrite(dir.file("wide.fit"), LONGLONG_IMG, TLONGLONG, wide, Scaling{1, 0});
    for (const char* name : {"big.fit", "wide.fit"}) {
        platform.shown.clear();
        const FitsImage before = image;
        EXPECT_EQ(readFitsFile(image, state, dir.file(name), ReadForm::Command, platform), -1) << name;
        ASSERT_EQ(platform.shown.size(), 1u);
        const std::string where = std::string(name) == "big.fit" ? "column 3, row 1" : "column 2, row 0";
        EXPECT_EQ(platform.shown[0].text, dir.file(name) + ": the value at " + where + " does not fit in a 32-bit integer");
        EXPECT_EQ(image.pixels, before.pixels);
    }
}

std::string runFitsverify(const std::string& path)
{
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE*)> p(popen(("fitsverify -q '" + path + "' 2>&1").c_str(), "r"), pclose);
    if (!p) return "cannot run fitsverify";
    std::array<char, 256> buf{};
    while (std::fgets(buf.data(), buf.size(), p.get())) out += buf.data();
    return out;
}

TEST_F(FitsInteropTest, OurFilesPassFitsverifyAndReadBackInCfitsio)
{
    // Start from a frame with values beyond every output range.
    // (Stored values are kept non-negative, which is what our reader takes.)
    std::vector<int> raw(kN);
    std::vector<int> stored(kN);
    std::uniform_int_distribution<int> d(-1000, 300000);
    for (long i = 0; i < kN; ++i) {
        raw[i] = d(gen);
        stored[i] = raw[i] + 1000;
    }
    const std::string source = dir.file("source.fit");
    cfitsioWrite(source, LONG_IMG, TINT, stored, {1, -1000});

    for (const int bitpix : {8, 16, 32}) {
        FitsImage img;
        ASSERT_EQ(readFitsFile(img, state, source, ReadForm::Command, platform), 0);
        const std::string path = dir.file("ours" + std::to_string(bitpix) + ".fit");
        std::string error;
        ASSERT_TRUE(writeFitsFile(img, path, bitpix, error)) << error;

        const std::string verdict = runFitsverify(path);
        EXPECT_NE(verdict.find("verification OK"), std::string::npos) << verdict;

        fitsfile* f = nullptr;
        int status = 0;
        int equivType = 0;
        fits_open_file(&f, path.c_str(), READONLY, &status);
        fits_get_img_equivtype(f, &equivType, &status);
        std::vector<int> values(kN);
        int anynul = 0;
        fits_read_img(f, TINT, 1, kN, nullptr, values.data(), &anynul, &status);
        fits_close_file(f, &status);
        ASSERT_EQ(status, 0);
        EXPECT_EQ(equivType, bitpix == 8 ? BYTE_IMG : bitpix == 16 ? USHORT_IMG : LONG_IMG);
        const std::int32_t upper = bitpix == 8 ? 255 : bitpix == 16 ? 65535 : 2147483647;
        for (long i = 0; i < kN; ++i) {
            ASSERT_EQ(values[i], img.pixels[i]) << "BITPIX " << bitpix << " value " << i;
            ASSERT_EQ(img.pixels[i], std::clamp(raw[i], 0, upper));
        }
    }
}

}  // namespace
}  // namespace lv
