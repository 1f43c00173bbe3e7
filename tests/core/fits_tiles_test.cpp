// The tile checks against cfitsio's own coders: every stream cfitsio writes
// passes, every stream cut short is refused, and a damaged stream the check
// lets through is decoded by cfitsio from a buffer that ends (or begins) at
// an inaccessible page, as does its output: cfitsio is not built with the
// sanitizers, so a read or write outside them must fault to be seen.
#include <fitsio.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <new>
#include <random>
#include <vector>

#include <zlib.h>

#include "core/fits_tiles.h"
#include "fenced.h"

// cfitsio's tile coders; its internal header declares them without C linkage.
extern "C" {
int fits_rcomp(int a[], int nx, unsigned char* c, int clen, int nblock);
int fits_rcomp_short(short a[], int nx, unsigned char* c, int clen, int nblock);
int fits_rcomp_byte(signed char a[], int nx, unsigned char* c, int clen, int nblock);
int fits_rdecomp(unsigned char* c, int clen, unsigned int array[], int nx, int nblock);
int fits_rdecomp_short(unsigned char* c, int clen, unsigned short array[], int nx, int nblock);
int pl_p2li(int* pxsrc, int xs, short* lldst, int npix);
int pl_l2pi(short* ll_src, int xs, int* px_dst, int npix);
}

namespace {

using lv::hcompressStreamFits;
using test::Fenced;
using lv::plioListFits;
using lv::riceStreamFits;


// A 60 x 40 tile: sky with noise, two stars, a saturated core.
std::vector<int> frameTile(std::mt19937& gen, int width = 60, int height = 40)
{
    std::normal_distribution<double> noise(0, 12);
    std::vector<int> v(static_cast<std::size_t>(width * height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double s = 900 + noise(gen);
            s += 20000 * std::exp(-((x - 15) * (x - 15) + (y - 12) * (y - 12)) / 8.0);
            s += 8000 * std::exp(-((x - 44) * (x - 44) + (y - 30) * (y - 30)) / 5.0);
            v[static_cast<std::size_t>(y * width + x)] = std::min(32767, static_cast<int>(s));
        }
    return v;
}

// cfitsio's decoder given exactly `length` bytes, fenced.
int riceDecodeExact(const std::vector<unsigned char>& stream, std::size_t length, int pixels)
{
    Fenced in(length);
    std::memcpy(in.as<unsigned char>(), stream.data(), length);
    Fenced out(static_cast<std::size_t>(pixels) * 2);
    return fits_rdecomp_short(in.as<unsigned char>(), static_cast<int>(length), out.as<unsigned short>(), pixels, 32);
}

template <class Damage>
void damageAndDecode(std::mt19937& gen, const std::vector<unsigned char>& whole, int rounds, Damage decode,
                     int& accepted)
{
    std::uniform_int_distribution<int> byte(0, 255);
    for (int r = 0; r < rounds; ++r) {
        std::vector<unsigned char> d = whole;
        std::uniform_int_distribution<std::size_t> where(0, d.size() - 1);
        const int hits = 1 + r % 8;
        for (int h = 0; h < hits; ++h) d[where(gen)] = static_cast<unsigned char>(byte(gen));
        // Runs of zeros and of ones are what lead a decoder astray.
        if (r % 3 == 0) {
            const std::size_t at = where(gen);
            std::memset(d.data() + at, r % 2 ? 0xFF : 0x00, std::min<std::size_t>(40, d.size() - at));
        }
        const std::size_t length = r % 5 == 0 ? where(gen) + 1 : d.size();
        d.resize(length);
        accepted += decode(d);
    }
}

TEST(TileChecks, RiceStreamsOfEveryPixelWidth)
{
    std::mt19937 gen(11);
    const std::vector<int> tile = frameTile(gen);
    const int n = static_cast<int>(tile.size());
    std::vector<unsigned char> buffer(tile.size() * 8 + 64);

    // 16-bit, as cameras' frames are written.
    std::vector<short> shorts(tile.begin(), tile.end());
    const int length = fits_rcomp_short(shorts.data(), n, buffer.data(), static_cast<int>(buffer.size()), 32);
    ASSERT_GT(length, 0);
    std::vector<unsigned char> stream(buffer.begin(), buffer.begin() + length);
    EXPECT_TRUE(riceStreamFits(stream.data(), stream.size(), 2, 32, n));
    EXPECT_EQ(riceDecodeExact(stream, stream.size(), n), 0);
    for (std::size_t cut = 0; cut < stream.size(); ++cut)
        EXPECT_FALSE(riceStreamFits(stream.data(), cut, 2, 32, n)) << cut;
    // More pixels than the stream holds, and a block size of nothing.
    EXPECT_FALSE(riceStreamFits(stream.data(), stream.size(), 2, 32, n + 64));
    EXPECT_FALSE(riceStreamFits(stream.data(), stream.size(), 2, 0, n));

    // A normal-case block followed by nothing but zero bytes: the decoder's
    // count of leading zeros runs on past the end of the tile.
    std::vector<unsigned char> zeros = {0x12, 0x34, 0x50, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_FALSE(riceStreamFits(zeros.data(), zeros.size(), 2, 32, 32));

    int accepted = 0;
    damageAndDecode(gen, stream, 3000, [&](const std::vector<unsigned char>& d) {
        if (!riceStreamFits(d.data(), d.size(), 2, 32, n)) return 0;
        EXPECT_EQ(riceDecodeExact(d, d.size(), n), 0);
        return 1;
    }, accepted);
    EXPECT_GT(accepted, 0);

    // 8-bit and 32-bit.
    std::vector<signed char> bytes(tile.size());
    for (std::size_t i = 0; i < tile.size(); ++i) bytes[i] = static_cast<signed char>(tile[i] / 200);
    const int byteLength = fits_rcomp_byte(bytes.data(), n, buffer.data(), static_cast<int>(buffer.size()), 32);
    ASSERT_GT(byteLength, 0);
    EXPECT_TRUE(riceStreamFits(buffer.data(), static_cast<std::size_t>(byteLength), 1, 32, n));
    EXPECT_FALSE(riceStreamFits(buffer.data(), static_cast<std::size_t>(byteLength) - 1, 1, 32, n));
    std::vector<int> ints = tile;
    for (int& v : ints) v *= 3000;
    const int intLength = fits_rcomp(ints.data(), n, buffer.data(), static_cast<int>(buffer.size()), 32);
    ASSERT_GT(intLength, 0);
    std::vector<unsigned char> intStream(buffer.begin(), buffer.begin() + intLength);
    EXPECT_TRUE(riceStreamFits(intStream.data(), intStream.size(), 4, 32, n));
    EXPECT_FALSE(riceStreamFits(intStream.data(), intStream.size() - 1, 4, 32, n));
    damageAndDecode(gen, intStream, 2000, [&](const std::vector<unsigned char>& d) {
        if (!riceStreamFits(d.data(), d.size(), 4, 32, n)) return 0;
        Fenced exact(d.size());
        std::memcpy(exact.as<unsigned char>(), d.data(), d.size());
        Fenced out(static_cast<std::size_t>(n) * 4);
        EXPECT_EQ(fits_rdecomp(exact.as<unsigned char>(), static_cast<int>(d.size()), out.as<unsigned int>(), n, 32), 0);
        return 1;
    }, accepted);
}

TEST(TileChecks, PlioLineLists)
{
    std::mt19937 gen(12);
    // PLIO holds masks and small counts: runs of equal values.
    std::vector<int> row(500);
    for (std::size_t i = 0; i < row.size(); ++i) row[i] = (i / 37) % 3 == 0 ? 0 : static_cast<int>(i / 50 + 1);
    row[100] = 70000;
    std::vector<short> list(row.size() * 3 + 16);
    const int words = pl_p2li(row.data(), 1, list.data(), static_cast<int>(row.size()));
    ASSERT_GT(words, 0);
    list.resize(static_cast<std::size_t>(words));
    EXPECT_TRUE(plioListFits(list.data(), list.size(), static_cast<long long>(row.size())));
    std::vector<int> out(row.size());
    EXPECT_EQ(pl_l2pi(list.data(), 1, out.data(), static_cast<int>(row.size())), static_cast<int>(row.size()));
    EXPECT_EQ(out, row);
    for (std::size_t cut = 0; cut < list.size(); ++cut)
        EXPECT_FALSE(plioListFits(list.data(), cut, static_cast<long long>(row.size()))) << cut;

    std::vector<unsigned char> asBytes(list.size() * 2);
    std::memcpy(asBytes.data(), list.data(), asBytes.size());
    int accepted = 0;
    damageAndDecode(gen, asBytes, 3000, [&](const std::vector<unsigned char>& d) {
        if (d.size() < 2) return 0;
        const std::size_t count = d.size() / 2;
        std::vector<short> damaged(count);
        std::memcpy(damaged.data(), d.data(), count * 2);
        if (!plioListFits(damaged.data(), count, static_cast<long long>(row.size()))) return 0;
        // Fenced on both sides in turn: the decoder counts from a word that
        // the list itself gives.
        for (const bool before : {false, true}) {
            Fenced exact(count * 2, before);
            std::memcpy(exact.as<short>(), damaged.data(), count * 2);
            Fenced decoded(row.size() * 4);
            pl_l2pi(exact.as<short>(), 1, decoded.as<int>(), static_cast<int>(row.size()));
        }
        return 1;
    }, accepted);
    EXPECT_GT(accepted, 0);
}

TEST(TileChecks, HcompressStreams)
{
    std::mt19937 gen(13);
    for (const bool wide : {false, true}) {
        for (const auto& [width, height] : {std::pair{60, 40}, std::pair{33, 17}}) {
            std::vector<int> tile = frameTile(gen, width, height);
            const int n = width * height;
            if (wide)
                for (int& v : tile) v *= 4000;
            std::vector<char> buffer(static_cast<std::size_t>(n) * 8 + 1024);
            long length = static_cast<long>(buffer.size());
            int status = 0;
            if (wide) {
                std::vector<LONGLONG> values(tile.begin(), tile.end());
                fits_hcompress64(values.data(), width, height, 0, buffer.data(), &length, &status);
            } else {
                std::vector<int> values = tile;
                fits_hcompress(values.data(), width, height, 0, buffer.data(), &length, &status);
            }
            ASSERT_EQ(status, 0);
            std::vector<unsigned char> stream(buffer.begin(), buffer.begin() + length);
            EXPECT_TRUE(hcompressStreamFits(stream.data(), stream.size(), n, wide)) << width;
            for (std::size_t cut = 0; cut < stream.size(); cut += 1 + cut / 50)
                EXPECT_FALSE(hcompressStreamFits(stream.data(), cut, n, wide)) << cut;
            // A stream for another tile size would overrun the tile's buffer.
            EXPECT_FALSE(hcompressStreamFits(stream.data(), stream.size(), n - 1, wide));

            auto decode = [&](const std::vector<unsigned char>& d) {
                if (!hcompressStreamFits(d.data(), d.size(), n, wide)) return 0;
                Fenced exact(d.size());
                std::memcpy(exact.as<unsigned char>(), d.data(), d.size());
                int nx = 0;
                int ny = 0;
                int scale = 0;
                int s = 0;
                if (wide) {
                    Fenced out(static_cast<std::size_t>(n) * sizeof(LONGLONG));
                    fits_hdecompress64(exact.as<unsigned char>(), 0, out.as<LONGLONG>(), &nx, &ny, &scale, &s);
                } else {
                    Fenced out(static_cast<std::size_t>(n) * sizeof(int));
                    fits_hdecompress(exact.as<unsigned char>(), 0, out.as<int>(), &nx, &ny, &scale, &s);
                }
                fits_clear_errmsg();
                return 1;
            };
            EXPECT_EQ(decode(stream), 1);
            int accepted = 0;
            damageAndDecode(gen, stream, 1500, decode, accepted);
            EXPECT_GT(accepted, 0);
        }
    }
}

TEST(TileChecks, GzipTilesEndWithinTheirBytes)
{
    // A tile as cfitsio writes it: gzip, here of 3000 bytes of a ramp.
    std::vector<unsigned char> plain(3000);
    for (std::size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<unsigned char>(i / 7);
    std::vector<unsigned char> stream(4096);
    z_stream z{};
    ASSERT_EQ(deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY), Z_OK);
    z.next_in = plain.data();
    z.avail_in = static_cast<uInt>(plain.size());
    z.next_out = stream.data();
    z.avail_out = static_cast<uInt>(stream.size());
    ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    stream.resize(z.total_out);
    deflateEnd(&z);

    std::vector<unsigned char> out(plain.size() * 8);
    std::size_t produced = 0;
    ASSERT_TRUE(lv::gzipTileInflates(stream.data(), stream.size(), out.data(), out.size(), produced));
    EXPECT_EQ(produced, plain.size());
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), out.begin()));
    // Cut anywhere, it does not end: refused (and nothing loops).
    for (std::size_t cut = 0; cut < stream.size(); ++cut)
        EXPECT_FALSE(lv::gzipTileInflates(stream.data(), cut, out.data(), out.size(), produced)) << cut;
    // More than the tile may hold.
    EXPECT_FALSE(lv::gzipTileInflates(stream.data(), stream.size(), out.data(), plain.size() - 1, produced));
    // Damaged inside.
    std::vector<unsigned char> damaged = stream;
    damaged[damaged.size() / 2] ^= 0x5a;
    damaged[damaged.size() / 2 + 1] ^= 0xa5;
    EXPECT_FALSE(lv::gzipTileInflates(damaged.data(), damaged.size(), out.data(), out.size(), produced));
}

}  // namespace
