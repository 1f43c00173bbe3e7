// Frames other programs write, made by cfitsio: tile-compressed images of
// every algorithm, gzip files, images in extensions, and damaged ones; what
// the header and its look-ups show of them, how they are saved, and that the
// in-place folder jobs leave them alone.
#include <fitsio.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>

#include <gtest/gtest.h>

#include "cli_runner.h"
#include "core/conventions.h"
#include "core/fits_header.h"
#include "core/fits_reader.h"
#include "core/fits_writer.h"
#include "fits_builder.h"
#include "photometry/photometry_run.h"

namespace lv {
namespace {

using test::cli;
using test::q;

constexpr long kW = 45;  // several tiles of rows, not a multiple of anything
constexpr long kH = 31;
constexpr long kN = kW * kH;

// What to put in front of the image, and how the image is stored.
struct Layout {
    int algorithm = 0;        // 0: not compressed
    bool tableFirst = false;  // a binary table between the primary and the image
    long tileRows = 0;        // tiles of this many rows and 16 columns (0: cfitsio's whole rows)
};

// An empty primary (with DATE-OBS, UT and EXPTIME 30), then the image of
// `values` with its own EXPTIME 60, written by cfitsio.
void writeExtension(const std::string& path, int imgType, const std::vector<double>& values, Layout layout,
                    double bscale = 1, double bzero = 0, long long blank = 0)
{
    fitsfile* f = nullptr;
    int status = 0;
    fits_create_file(&f, ("!" + path).c_str(), &status);
    fits_create_img(f, BYTE_IMG, 0, nullptr, &status);
    fits_write_key(f, TSTRING, "DATE-OBS", const_cast<char*>("2026-01-02"), nullptr, &status);
    fits_write_key(f, TSTRING, "UT", const_cast<char*>("21:30:00"), nullptr, &status);
    double exposure = 30;
    fits_write_key(f, TDOUBLE, "EXPTIME", &exposure, nullptr, &status);
    if (layout.tableFirst) {
        char* names[] = {const_cast<char*>("X")};
        char* forms[] = {const_cast<char*>("J")};
        fits_create_tbl(f, BINARY_TBL, 3, 1, names, forms, nullptr, "EVENTS", &status);
        int rows[] = {1, 2, 3};
        fits_write_col(f, TINT, 1, 1, 1, 3, rows, &status);
    }
    if (layout.algorithm) fits_set_compression_type(f, layout.algorithm, &status);
    if (layout.tileRows) {
        long tile[2] = {16, layout.tileRows};
        fits_set_tile_dim(f, 2, tile, &status);
    }
    long naxes[2] = {kW, kH};
    fits_create_img(f, imgType, 2, naxes, &status);
    exposure = 60;
    fits_update_key(f, TDOUBLE, "EXPTIME", &exposure, nullptr, &status);
    if (blank != 0) fits_update_key(f, TLONGLONG, "BLANK", &blank, nullptr, &status);
    if (bscale != 1 || bzero != 0) {
        fits_update_key(f, TDOUBLE, "BSCALE", &bscale, nullptr, &status);
        fits_update_key(f, TDOUBLE, "BZERO", &bzero, nullptr, &status);
    }
    // Compressed images are written in their own type: `values` are the
    // stored ones (for USHORT_IMG the unsigned ones, BZERO 32768 applied by cfitsio).
    auto write = [&](int type, auto sample) {
        std::vector<decltype(sample)> raw(values.begin(), values.end());
        fits_write_img(f, type, 1, kN, raw.data(), &status);
    };
    if (bscale != 1 || bzero != 0) fits_set_bscale(f, 1.0, 0.0, &status);
    switch (imgType) {
        case BYTE_IMG: write(TBYTE, static_cast<unsigned char>(0)); break;
        case SHORT_IMG: write(TSHORT, short{0}); break;
        case USHORT_IMG: write(TUSHORT, static_cast<unsigned short>(0)); break;
        case LONG_IMG: write(TINT, 0); break;
        default: {
            // NaN reach a quantized tile only as null pixels (ZBLANK): written
            // with a null value, as fpack does.
            std::vector<float> raw(values.begin(), values.end());
            float null = -1e30f;
            for (float& v : raw)
                if (std::isnan(v)) v = null;
            fits_write_imgnull(f, TFLOAT, 1, kN, raw.data(), &null, &status);
            break;
        }
    }
    fits_close_file(f, &status);
    ASSERT_EQ(status, 0) << "cfitsio could not write " << path;
}

// cfitsio's own reading of the first image: physical values, or the stored
// ones (for floats, where our reader rounds without BSCALE and BZERO).
std::vector<double> cfitsioValues(const std::string& path, bool physical)
{
    fitsfile* f = nullptr;
    int status = 0;
    fits_open_image(&f, path.c_str(), READONLY, &status);
    if (!physical) fits_set_bscale(f, 1.0, 0.0, &status);
    std::vector<double> v(kN);
    int anynul = 0;
    if (physical) {
        fits_read_img(f, TDOUBLE, 1, kN, nullptr, v.data(), &anynul, &status);
    } else {
        // A float frame's values as the 32-bit floats it holds.
        std::vector<float> stored(kN);
        fits_read_img(f, TFLOAT, 1, kN, nullptr, stored.data(), &anynul, &status);
        v.assign(stored.begin(), stored.end());
    }
    fits_close_file(f, &status);
    EXPECT_EQ(status, 0) << "cfitsio could not read " << path;
    return v;
}

class ForeignFrameTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::mt19937 gen{2026};
    FitsImage image;
    AppState state;
    ScriptedPlatform platform;

    // A frame as a camera gives it, which the compressors are made for: a
    // sloping sky with noise over the range, its two ends included. (Wholly
    // random values make cfitsio's own writer overrun its tile buffers.)
    std::vector<double> randomValues(double low, double high, bool whole, bool noisy = true)
    {
        std::normal_distribution<double> noise(0, std::min((high - low) / 400, 30.0));
        std::vector<double> v(kN);
        for (long i = 0; i < kN; ++i) {
            const double slope = low + (high - low) * (0.2 + 0.6 * static_cast<double>(i % kW + i / kW) / (kW + kH));
            const double x = std::clamp(slope + (noisy ? noise(gen) : 0.0), low, high);
            v[static_cast<std::size_t>(i)] = whole ? std::floor(x) : x;
        }
        v[0] = low;
        v[1] = high;
        return v;
    }
    int read(const std::string& path)
    {
        platform.shown.clear();
        return readFitsFile(image, state, path, ReadForm::Command, platform);
    }
    // Our values against cfitsio's, each rounded halves to even.
    void expectSameValues(const std::string& path, bool isFloat, const std::string& what)
    {
        ASSERT_EQ(read(path), 0) << what << ": " << (platform.shown.empty() ? "" : platform.shown[0].text);
        ASSERT_EQ(image.naxis1, kW);
        ASSERT_EQ(image.naxis2, kH);
        const auto reference = cfitsioValues(path, !isFloat);
        int wrong = 0;
        for (long i = 0; i < kN && wrong < 3; ++i)
            if (image.pixels[static_cast<std::size_t>(i)] != static_cast<std::int32_t>(roundHalfEven(reference[i]))) {
                ++wrong;
                ADD_FAILURE() << what << ": value " << i << " is " << image.pixels[static_cast<std::size_t>(i)]
                              << ", cfitsio reads " << reference[i];
            }
    }
};

TEST_F(ForeignFrameTest, EveryTileCompressionReadsAsCfitsioReadsIt)
{
    struct Case {
        int algorithm;
        const char* name;
    };
    const Case algorithms[] = {{RICE_1, "RICE_1"}, {GZIP_1, "GZIP_1"}, {GZIP_2, "GZIP_2"}, {HCOMPRESS_1, "HCOMPRESS_1"},
                               {PLIO_1, "PLIO_1"}};
    struct Type {
        int imgType;
        double low, high;
        bool isFloat;
    };
    for (const Case& a : algorithms) {
        // PLIO holds only values below 2^24 and no floats (and cfitsio's
        // writer breaks its heap on 8-bit PLIO images).
        std::vector<Type> types = {{SHORT_IMG, 0, 30000, false}};
        if (a.algorithm != PLIO_1) {
            types.push_back({BYTE_IMG, 0, 255, false});
            types.push_back({USHORT_IMG, 0, 65535, false});
            types.push_back({LONG_IMG, 0, 2147483000.0, false});
            types.push_back({FLOAT_IMG, -5000, 60000, true});  // quantized
        } else {
            types.push_back({LONG_IMG, 0, 100000, false});  // larger ones also break its writer
        }
        for (const Type& t : types) {
            const std::string what = std::string(a.name) + " BITPIX " + std::to_string(t.imgType);
            const std::string path = dir.file("frame.fits.fz");
            // PLIO is made for masks, runs of equal values; noise overruns cfitsio's writer.
            writeExtension(path, t.imgType, randomValues(t.low, t.high, !t.isFloat, a.algorithm != PLIO_1),
                           {a.algorithm});
            expectSameValues(path, t.isFloat, what);
            EXPECT_EQ(image.compression, a.name) << what;
            EXPECT_EQ(image.hdu, 1) << what;
            EXPECT_EQ(image.isFloat, t.isFloat) << what;
            EXPECT_EQ(state.statistics, statisticsLine(image)) << what;
        }
    }
    // Tiles that are not whole rows, partial ones at the right and the foot.
    for (const int algorithm : {RICE_1, HCOMPRESS_1, PLIO_1}) {
        const std::string path = dir.file("squares.fits.fz");
        writeExtension(path, SHORT_IMG, randomValues(0, 30000, true, algorithm != PLIO_1), {algorithm, false, 8});
        expectSameValues(path, false, "16 x 8 tiles of " + std::to_string(algorithm));
    }
    // Scaled integers keep the plain reader's rules (BZERO + raw x BSCALE, rounded).
    const std::string path = dir.file("scaled.fits.fz");
    writeExtension(path, SHORT_IMG, randomValues(0, 5000, true), {RICE_1}, 0.5, 7.25);
    expectSameValues(path, false, "RICE_1 with BSCALE 0.5 BZERO 7.25");
    EXPECT_EQ(image.bscale, 0.5);
    EXPECT_EQ(image.bzero, 7.25);
}

// Null pixels of compressed frames: NaN of quantized floats (cfitsio
// writes ZBLANK for them), and BLANK of integer frames.
TEST_F(ForeignFrameTest, NullPixelsOfCompressedFramesAreBlankWhereCfitsioSaysSo)
{
    std::vector<double> floats = randomValues(-500, 60000, false);
    for (long i = 0; i < kN; i += 7) floats[static_cast<std::size_t>(i)] = std::nan("");
    std::vector<double> shorts = randomValues(0, 20000, true);
    for (long i = 3; i < kN; i += 11) shorts[static_cast<std::size_t>(i)] = -999;
    for (int algorithm : {RICE_1, GZIP_2, HCOMPRESS_1}) {
        const std::string floatPath = dir.file("nullf.fits.fz"), shortPath = dir.file("nulli.fits.fz");
        writeExtension(floatPath, FLOAT_IMG, floats, {algorithm, false, 0});
        writeExtension(shortPath, SHORT_IMG, shorts, {algorithm, false, 0}, 1, 0, -999);
        for (const std::string& path : {floatPath, shortPath}) {
            // cfitsio's own reading, null pixels flagged.
            fitsfile* f = nullptr;
            int status = 0;
            fits_open_image(&f, path.c_str(), READONLY, &status);
            fits_set_bscale(f, 1.0, 0.0, &status);
            std::vector<float> values(kN);
            std::vector<char> nulls(kN);
            int anynul = 0;
            fits_read_imgnull(f, TFLOAT, 1, kN, values.data(), nulls.data(), &anynul, &status);
            fits_close_file(f, &status);
            ASSERT_EQ(status, 0) << path;
            ASSERT_EQ(read(path), 0) << algorithm << " " << path << ": "
                                     << (platform.shown.empty() ? "" : platform.shown[0].text);
            long long blanks = 0;
            for (long i = 0; i < kN; ++i) {
                const bool cfitsioNull = nulls[static_cast<std::size_t>(i)] || std::isnan(values[static_cast<std::size_t>(i)]);
                blanks += cfitsioNull;
                ASSERT_EQ(image.isBlank(static_cast<std::size_t>(i)), cfitsioNull) << algorithm << " " << path << " " << i;
                if (!cfitsioNull) {
                    ASSERT_EQ(image.pixels[static_cast<std::size_t>(i)],
                              static_cast<std::int32_t>(roundHalfEven(values[static_cast<std::size_t>(i)])))
                        << algorithm << " " << path << " " << i;
                }
            }
            EXPECT_GT(blanks, 100) << algorithm << " " << path;
        }
    }
}

TEST_F(ForeignFrameTest, GzipFilesAndImageExtensions)
{
    const auto values = randomValues(0, 30000, true);
    // A plain file, gzipped by cfitsio as it writes it.
    const std::string gz = dir.file("plain.fit.gz");
    {
        fitsfile* f = nullptr;
        int status = 0;
        long naxes[2] = {kW, kH};
        fits_create_file(&f, ("!" + gz).c_str(), &status);
        fits_create_img(f, USHORT_IMG, 2, naxes, &status);
        fits_write_img(f, TDOUBLE, 1, kN, const_cast<double*>(values.data()), &status);
        fits_close_file(f, &status);
        ASSERT_EQ(status, 0);
    }
    ASSERT_EQ(test::readFile(gz).substr(0, 2), "\x1f\x8b");
    expectSameValues(gz, false, "gzip");
    EXPECT_EQ(image.compression, "gzip");
    EXPECT_EQ(image.hdu, 0);
    EXPECT_EQ(image.primaryRecords, 0);

    // An image extension, with its own scaling, and one after a table.
    const std::string ext = dir.file("ext.fit");
    writeExtension(ext, SHORT_IMG, randomValues(0, 3000, true), {}, 2, -50);
    expectSameValues(ext, false, "image extension");
    EXPECT_EQ(image.hdu, 1);
    EXPECT_TRUE(image.compression.empty());
    EXPECT_TRUE(image.otherUnits);
    const std::string second = dir.file("second.fit");
    writeExtension(second, LONG_IMG, randomValues(0, 100000, true), {0, true});
    expectSameValues(second, false, "image after a table");
    EXPECT_EQ(image.hdu, 2);

    // The header: the primary's records up to its END, then the extension's.
    ASSERT_GT(image.primaryRecords, 0);
    EXPECT_EQ(image.card(1).substr(0, 8), "SIMPLE  ");
    EXPECT_EQ(image.card(image.primaryRecords).substr(0, 3), "END");
    EXPECT_EQ(image.card(image.primaryRecords + 1), paddedCard("XTENSION= 'IMAGE   '           / IMAGE extension"));
    EXPECT_EQ(image.card(image.cardCount()).substr(0, 3), "END");
    // Look-ups: the extension's EXPTIME, the primary's date and time.
    const ObservationHeader h = readObservationHeader(image);
    EXPECT_EQ(h.dateText, "2026-01-02");
    EXPECT_EQ(h.timeText, "21:30:00");
    EXPECT_EQ(h.exposureTime, 60);

    // info names where the image was and how it was stored.
    auto info = cli("info " + q(second));
    EXPECT_NE(info.out.find("BSCALE 1\nHDU 2\n"), std::string::npos) << info.out;
    writeExtension(dir.file("rice.fits.fz"), SHORT_IMG, values, {RICE_1});
    info = cli("info " + q(dir.file("rice.fits.fz")));
    EXPECT_NE(info.out.find("\nHDU 1\nCOMPRESSED RICE_1\n"), std::string::npos) << info.out;
    info = cli("info " + q(gz));
    EXPECT_NE(info.out.find("\nCOMPRESSED gzip\n"), std::string::npos) << info.out;
    EXPECT_EQ(info.out.find("HDU"), std::string::npos) << info.out;
}

TEST_F(ForeignFrameTest, FilesWithoutAnImageAndDamagedFilesAreRefusedAndChangeNothing)
{
    test::writeFile(dir.file("first.fit"), test::simpleFits(16, 2, 1, {}, test::bytes16({1, 2})));
    ASSERT_EQ(read(dir.file("first.fit")), 0);
    const FitsImage first = image;
    const std::string firstStatistics = state.statistics;
    auto expectRefused = [&](const std::string& path, const std::string& text) {
        EXPECT_EQ(read(path), -1) << path;
        ASSERT_EQ(platform.shown.size(), 1u) << path;
        EXPECT_TRUE(platform.shown[0].error);
        EXPECT_EQ(platform.shown[0].text.rfind(path + ": ", 0), 0u) << platform.shown[0].text;
        if (!text.empty()) {
            EXPECT_NE(platform.shown[0].text.find(text), std::string::npos) << platform.shown[0].text;
        }
        EXPECT_EQ(image, first) << path;
        EXPECT_EQ(state.statistics, firstStatistics);
    };

    // An empty primary alone, and one followed only by a table.
    test::writeFile(dir.file("empty.fit"), test::headerBlock({test::card("SIMPLE", "T"), test::card("BITPIX", "8"),
                                                              test::card("NAXIS", "0"), test::endCard()}));
    expectRefused(dir.file("empty.fit"), "the file holds no image");
    {
        fitsfile* f = nullptr;
        int status = 0;
        fits_create_file(&f, ("!" + dir.file("table.fit")).c_str(), &status);
        fits_create_img(f, BYTE_IMG, 0, nullptr, &status);
        char* names[] = {const_cast<char*>("X")};
        char* forms[] = {const_cast<char*>("J")};
        fits_create_tbl(f, BINARY_TBL, 0, 1, names, forms, nullptr, "EVENTS", &status);
        fits_close_file(f, &status);
        ASSERT_EQ(status, 0);
    }
    expectRefused(dir.file("table.fit"), "the file holds no image");

    // Compressed files cut short at every few hundred bytes, and with their
    // compressed bytes overwritten: refused with a message, never a crash.
    for (const int algorithm : {RICE_1, GZIP_2, HCOMPRESS_1, PLIO_1}) {
        const std::string whole = dir.file("whole.fits.fz");
        writeExtension(whole, SHORT_IMG, randomValues(0, 20000, true), {algorithm});
        const std::string bytes = test::readFile(whole);
        const std::string cut = dir.file("cut.fits.fz");
        for (std::size_t at = 2880; at < bytes.size(); at += 1000) {
            test::writeFile(cut, bytes.substr(0, at));
            expectRefused(cut, "");
        }
        // The heap (the compressed tiles) ends the file, before its padding.
        std::string damaged = bytes;
        std::size_t last = bytes.find_last_not_of('\0');
        ASSERT_GT(last, 2 * 2880u);
        std::uniform_int_distribution<std::size_t> where(last - 600, last);
        for (int k = 0; k < 64; ++k) damaged[where(gen)] = static_cast<char>(gen());
        test::writeFile(dir.file("damaged.fits.fz"), damaged);
        platform.shown.clear();
        // A damage the decompressor cannot see gives other values; one it sees refuses the file.
        if (readFitsFile(image, state, dir.file("damaged.fits.fz"), ReadForm::Command, platform) != 0) {
            EXPECT_EQ(image, first);
            ASSERT_EQ(platform.shown.size(), 1u);
        }
        image = first;
        state.statistics = firstStatistics;
    }
    // A GZIP tile whose stream stops short (its heap entry made shorter):
    // cfitsio alone would grow its buffer for ever inflating it. Row tiles
    // (inflated by us) and square ones (checked, then inflated by cfitsio).
    for (const int algorithm : {GZIP_1, GZIP_2}) {
        for (const long tileRows : {0L, 8L}) {
            const std::string path = dir.file("short-tile.fits.fz");
            writeExtension(path, SHORT_IMG, randomValues(0, 20000, true), {algorithm, false, tileRows});
            fitsfile* f = nullptr;
            int status = 0;
            int type = 0;
            LONGLONG header = 0;
            LONGLONG data = 0;
            LONGLONG end = 0;
            fits_open_diskfile(&f, path.c_str(), READONLY, &status);
            fits_movabs_hdu(f, 2, &type, &status);
            fits_get_hduaddrll(f, &header, &data, &end, &status);
            fits_close_file(f, &status);
            ASSERT_EQ(status, 0);
            std::string bytes = test::readFile(path);
            // The first row's descriptor: the stream's length, then its offset.
            const auto at = static_cast<std::size_t>(data);
            std::uint32_t length = 0;
            for (int k = 0; k < 4; ++k) length = (length << 8) | static_cast<unsigned char>(bytes[at + k]);
            ASSERT_GT(length, 12u);
            length -= 12;
            for (int k = 0; k < 4; ++k) bytes[at + k] = static_cast<char>(length >> (24 - 8 * k));
            test::writeFile(path, bytes);
            platform.shown.clear();
            expectRefused(path, "cannot be decompressed");
        }
    }
    // A frame cfitsio wrote, `replacement` put `offset` bytes after the first
    // `needle` at or past `from`, and its refusal.
    auto refusedWhenEdited = [&](int algorithm, long tileRows, const std::string& needle, std::size_t from,
                                 std::size_t offset, const std::string& replacement, const std::string& text) {
        const std::string path = dir.file("edited.fits.fz");
        writeExtension(path, SHORT_IMG, randomValues(0, 20000, true), {algorithm, false, tileRows});
        std::string bytes = test::readFile(path);
        const std::size_t at = bytes.find(needle, from);
        EXPECT_NE(at, std::string::npos) << needle;
        if (at == std::string::npos) return;
        bytes.replace(at + offset, replacement.size(), replacement);
        test::writeFile(path, bytes);
        platform.shown.clear();
        expectRefused(path, text);
    };
    // The first tile damaged: refused before cfitsio decodes anything, while
    // the later tiles are still being checked.
    refusedWhenEdited(HCOMPRESS_1, 8, "\xdd\x99", 2 * 2880, 0, "x", "(tile 1 of 12 cannot be decompressed)");
    // A tile size of 0: cfitsio would divide by it while reading the header.
    refusedWhenEdited(RICE_1, 0, "ZTILE2  =                    1", 0, 29, "0", "tile size (ZTILEn) below 1");
    // A whole number cfitsio cannot read, long enough to overrun the buffer
    // of its message.
    refusedWhenEdited(RICE_1, 0, "ZVAL2   =                    2", 0, 10, "        (           ",
                      "the value of ZVAL2 is not a plain number");
    // A column name of 70 unquoted characters: cfitsio would copy it past its buffer.
    {
        std::string bytes = test::readFile(dir.file("table.fit"));
        const std::size_t at = bytes.find("TTYPE1  = ");
        ASSERT_NE(at, std::string::npos);
        bytes.replace(at + 10, 70, std::string(70, 'N'));
        test::writeFile(dir.file("long-name.fit"), bytes);
        platform.shown.clear();
        expectRefused(dir.file("long-name.fit"), "a column name (TTYPEn) is not a quoted text");
    }
    // A gzip stream cut short, and one with a damaged inside.
    {
        fitsfile* f = nullptr;
        int status = 0;
        long naxes[2] = {300, 200};
        std::vector<short> ramp(60000);
        for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<short>(i % 3000);
        fits_create_file(&f, ("!" + dir.file("a.fit.gz")).c_str(), &status);
        fits_create_img(f, SHORT_IMG, 2, naxes, &status);
        fits_write_img(f, TSHORT, 1, 60000, ramp.data(), &status);
        fits_close_file(f, &status);
        ASSERT_EQ(status, 0);
    }
    const std::string gz = test::readFile(dir.file("a.fit.gz"));
    test::writeFile(dir.file("cut.fit.gz"), gz.substr(0, gz.size() / 2));
    expectRefused(dir.file("cut.fit.gz"), "");
    std::string bad = gz;
    for (std::size_t i = 20; i < 60; ++i) bad[i] = static_cast<char>(0xFF);
    test::writeFile(dir.file("bad.fit.gz"), bad);
    expectRefused(dir.file("bad.fit.gz"), "");
    // A trailer claiming 4 GB: refused before anything is allocated for it.
    std::string huge = gz;
    huge.replace(huge.size() - 4, 4, "\xff\xff\xff\xef");
    test::writeFile(dir.file("huge.fit.gz"), huge);
    expectRefused(dir.file("huge.fit.gz"), "the gzip stream says it holds 4026531839 bytes");
}

TEST_F(ForeignFrameTest, AFrameFromAnExtensionIsSavedAsOnePlainImage)
{
    const std::string in = dir.file("in.fits.fz");
    writeExtension(in, USHORT_IMG, randomValues(0, 65535, true), {RICE_1});
    ASSERT_EQ(read(in), 0);
    const std::vector<std::int32_t> values(image.pixels.begin(), image.pixels.end());
    const std::string out = dir.file("out.fit");
    std::string error;
    ASSERT_TRUE(writeFitsFile(image, out, 16, error)) << error;
    EXPECT_EQ(image.hdu, 0);
    EXPECT_EQ(image.primaryRecords, 0);
    EXPECT_TRUE(image.compression.empty());

    fitsfile* f = nullptr;
    int status = 0;
    int units = 0;
    fits_open_file(&f, out.c_str(), READONLY, &status);
    fits_get_num_hdus(f, &units, &status);
    fits_close_file(f, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(units, 1);
    FitsImage back;
    ASSERT_EQ(readFitsFile(back, state, out, ReadForm::Command, platform), 0);
    EXPECT_EQ(std::vector<std::int32_t>(back.pixels.begin(), back.pixels.end()), values);
    EXPECT_EQ(back.card(1), paddedCard("SIMPLE  =                    T"));
    EXPECT_EQ(lastCard(back.cards, "XTENSION"), nullptr);
    EXPECT_EQ(lastCard(back.cards, "ZIMAGE  "), nullptr);
    // One EXPTIME, the extension's; the primary's date kept.
    int exposures = 0;
    for (const HeaderCard& c : back.cards) exposures += cardKeyword(c) == "EXPTIME ";
    EXPECT_EQ(exposures, 1);
    EXPECT_EQ(cardValue(*lastCard(back.cards, "EXPTIME ")), 60);
    ASSERT_NE(lastCard(back.cards, "DATE-OBS"), nullptr);
    std::string verdict;
    if (FILE* p = popen(("fitsverify -q " + q(out) + " 2>&1").c_str(), "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, p)) verdict += line;
        pclose(p);
    }
    EXPECT_NE(verdict.find("verification OK"), std::string::npos) << verdict;
}

TEST_F(ForeignFrameTest, InPlaceFolderJobsLeaveCompressedAndMultiUnitFilesAsTheyWere)
{
    const std::string folder = dir.path().string();
    writeExtension(dir.file("rice.fits.fz"), SHORT_IMG, randomValues(100, 20000, true), {RICE_1});
    writeExtension(dir.file("ext.fit"), SHORT_IMG, randomValues(100, 20000, true), {});
    // A plain image followed by a table.
    {
        fitsfile* f = nullptr;
        int status = 0;
        long naxes[2] = {kW, kH};
        fits_create_file(&f, ("!" + dir.file("withtable.fit")).c_str(), &status);
        fits_create_img(f, USHORT_IMG, 2, naxes, &status);
        const auto v = randomValues(100, 20000, true);
        fits_write_img(f, TDOUBLE, 1, kN, const_cast<double*>(v.data()), &status);
        char* names[] = {const_cast<char*>("X")};
        char* forms[] = {const_cast<char*>("J")};
        fits_create_tbl(f, BINARY_TBL, 0, 1, names, forms, nullptr, "EVENTS", &status);
        fits_close_file(f, &status);
        ASSERT_EQ(status, 0);
    }
    test::writeFile(dir.file("plain.fit"), test::simpleFits(16, 2, 1, {}, test::bytes16({500, 600})));
    const std::string dark = (dir.path().parent_path() / (dir.path().filename().string() + "-dark.fit")).string();
    test::writeFile(dark, test::simpleFits(16, kW, kH, {}, test::bytes16(std::vector<std::uint16_t>(kN, 100))));

    const char* untouched[] = {"rice.fits.fz", "ext.fit", "withtable.fit"};
    std::vector<std::string> before;
    for (const char* name : untouched) before.push_back(test::readFile(dir.file(name)));

    auto r = cli("dark " + q(folder) + " --dark " + q(dark) + " --any-fits");
    EXPECT_NE(r.out.find("CALIBRATED 1 SKIPPED 3"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(dir.file("rice.fits.fz") + ": the file is compressed (RICE_1); it was not rewritten"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(dir.file("withtable.fit") + ": the file holds more than one image or table"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(cli("dump " + q(dir.file("plain.fit"))).out, "400 500\n");

    r = cli("bzero " + q(folder) + " --bzero 32768 --bscale 1 --any-fits");
    EXPECT_NE(r.out.find("REWRITTEN 1 SKIPPED 3"), std::string::npos) << r.out;
    for (std::size_t i = 0; i < std::size(untouched); ++i)
        EXPECT_EQ(test::readFile(dir.file(untouched[i])), before[i]) << untouched[i];
    std::filesystem::remove(dark);
}

}  // namespace
}  // namespace lv
