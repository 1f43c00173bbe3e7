#include "core/fits_tiles.h"

#include <bit>
#include <cstring>
#include <type_traits>
#include <vector>

#include <zlib.h>

namespace lv {

namespace {

// The Rice decoder's walk, with every read bounded; with `Out` other than
// void it also gives the values, as cfitsio's decoder of that width would.
template <class Out>
bool riceWalk(const unsigned char* c, std::size_t length, int bytePix, int blockSize, long long pixels, Out* out)
{
    int fsBits = 5;
    int fsMax = 25;
    std::size_t first = 4;
    if (bytePix == 1) {
        fsBits = 3;
        fsMax = 6;
        first = 1;
    } else if (bytePix == 2) {
        fsBits = 4;
        fsMax = 14;
        first = 2;
    }
    const int bBits = 1 << fsBits;
    if (pixels <= 0) return true;
    if (blockSize <= 0 || length < first + 1) return false;
    // The same arithmetic as the decoder (32-bit unsigned bit buffer), so
    // that every byte it fetches is fetched here first, within bounds.
    [[maybe_unused]] std::uint32_t last = 0;
    for (std::size_t k = 0; k < first; ++k) last = (last << 8) | c[k];
    std::size_t p = first;
    std::uint32_t b = c[p++];
    int nbits = 8;
    auto put = [&](long long i, std::uint32_t diff) {
        if constexpr (!std::is_void_v<Out>) {
            // Undo the mapping and the differencing, in the output's width.
            diff = (diff & 1) == 0 ? diff >> 1 : ~(diff >> 1);
            out[i] = static_cast<Out>(diff + last);
            last = out[i];
        } else {
            (void)i;
            (void)diff;
        }
    };
    for (long long i = 0; i < pixels;) {
        nbits -= fsBits;
        while (nbits < 0) {
            if (p >= length) return false;
            b = (b << 8) | c[p++];
            nbits += 8;
        }
        const int fs = static_cast<int>(b >> nbits) - 1;
        b &= (1u << nbits) - 1;
        long long end = i + blockSize;
        if (end > pixels) end = pixels;
        if (fs < 0) {
            if constexpr (!std::is_void_v<Out>)
                for (long long j = i; j < end; ++j) out[j] = static_cast<Out>(last);
            i = end;
        } else if (fs == fsMax) {
            for (; i < end; ++i) {
                int k = bBits - nbits;
                std::uint32_t diff = k < 32 ? b << k : 0;
                for (k -= 8; k >= 0; k -= 8) {
                    if (p >= length) return false;
                    b = c[p++];
                    diff |= b << k;
                }
                if (nbits > 0) {
                    if (p >= length) return false;
                    b = c[p++];
                    diff |= b >> (-k);
                    b &= (1u << nbits) - 1;
                } else {
                    b = 0;
                }
                put(i, diff);
            }
        } else {
            for (; i < end; ++i) {
                while (b == 0) {
                    if (p >= length) return false;
                    nbits += 8;
                    b = c[p++];
                }
                const int nzero = nbits - std::bit_width(b);
                nbits -= nzero + 1;
                b ^= 1u << nbits;
                nbits -= fs;
                while (nbits < 0) {
                    if (p >= length) return false;
                    b = (b << 8) | c[p++];
                    nbits += 8;
                }
                put(i, (static_cast<std::uint32_t>(nzero) << fs) | (b >> nbits));
                b &= (1u << nbits) - 1;
            }
        }
    }
    return true;
}

}  // namespace

bool riceStreamFits(const unsigned char* c, std::size_t length, int bytePix, int blockSize, long long pixels)
{
    return riceWalk<void>(c, length, bytePix, blockSize, pixels, nullptr);
}

bool riceDecode(const unsigned char* c, std::size_t length, int blockSize, long long pixels, std::uint8_t* out)
{
    return riceWalk(c, length, 1, blockSize, pixels, out);
}

bool riceDecode(const unsigned char* c, std::size_t length, int blockSize, long long pixels, std::uint16_t* out)
{
    return riceWalk(c, length, 2, blockSize, pixels, out);
}

bool riceDecode(const unsigned char* c, std::size_t length, int blockSize, long long pixels, std::uint32_t* out)
{
    return riceWalk(c, length, 4, blockSize, pixels, out);
}

bool plioListFits(const std::int16_t* list, std::size_t words, long long pixels)
{
    // The decoder counts words from 1.
    auto word = [&](long long index, int& value) {
        if (index < 1 || static_cast<unsigned long long>(index) > words) return false;
        value = list[index - 1];
        return true;
    };
    if (pixels <= 0) return true;
    int w3 = 0;
    if (!word(3, w3)) return false;
    long long listLength = 0;
    long long firstWord = 4;
    if (w3 > 0) {
        listLength = w3;
    } else {
        int w2 = 0;
        int w4 = 0;
        int w5 = 0;
        if (!word(2, w2) || !word(4, w4) || !word(5, w5)) return false;
        listLength = static_cast<long long>(w5) * 32768 + w4;
        firstWord = static_cast<long long>(w2) + 1;
    }
    // An empty list leaves the decoder's output unwritten.
    if (listLength <= 0) return false;
    long long x = 1;
    bool skip = false;
    for (long long ip = firstWord; ip <= listLength; ++ip) {
        if (skip) {
            skip = false;
            continue;
        }
        int v = 0;
        if (!word(ip, v)) return false;
        const int opcode = v / 4096;
        const int data = v & 4095;
        switch (opcode) {
            case 0: case 4: case 5: x += data; break;
            case 1: {
                int next = 0;
                if (!word(ip + 1, next)) return false;
                skip = true;
                break;
            }
            case 6: case 7: ++x; break;
            default: break;
        }
        if (x > pixels) break;
    }
    return true;
}

namespace {

// The HCOMPRESS bit stream: most significant bit first, with the decoder's
// byte position (a byte is fetched as soon as one of its bits is needed).
class BitStream {
public:
    BitStream(const unsigned char* bytes, std::size_t length, std::size_t start)
        : bytes_(bytes), length_(length), bits_(8 * static_cast<unsigned long long>(length)),
          at_(8 * static_cast<unsigned long long>(start))
    {}

    // The next n (<= 32) bits, zeros past the end.
    std::uint32_t peek(int n) const
    {
        const std::size_t byte = static_cast<std::size_t>(at_ >> 3);
        std::uint64_t window = 0;
        if (byte + 8 <= length_) {
            std::memcpy(&window, bytes_ + byte, 8);
            if constexpr (std::endian::native == std::endian::little) window = __builtin_bswap64(window);
        } else {
            for (std::size_t k = 0; k < 8; ++k) window = (window << 8) | (byte + k < length_ ? bytes_[byte + k] : 0u);
        }
        window <<= (at_ & 7);
        return static_cast<std::uint32_t>(window >> (64 - n));
    }

    bool skip(unsigned long long n)
    {
        if (at_ + n > bits_) return false;
        at_ += n;
        return true;
    }

    bool take(int n, unsigned& value)
    {
        value = peek(n);
        return skip(static_cast<unsigned long long>(n));
    }

    // A fresh bit input starts at the next whole byte.
    void toNextByte() { at_ = (at_ + 7) & ~7ull; }

private:
    const unsigned char* bytes_;
    std::size_t length_;
    unsigned long long bits_;
    unsigned long long at_;
};

// The decoder's fixed Huffman code of the 4-bit quadtree values, looked up
// by the next six bits: the value and the length of its code.
struct HuffmanTable {
    unsigned char value[64] = {};
    unsigned char length[64] = {};

    constexpr HuffmanTable()
    {
        constexpr unsigned codes[16] = {0x3e, 0x00, 0x01, 0x08, 0x02, 0x09, 0x1a, 0x1b,
                                        0x03, 0x1c, 0x0a, 0x1d, 0x0b, 0x1e, 0x3f, 0x0c};
        constexpr unsigned lengths[16] = {6, 3, 3, 4, 3, 4, 5, 5, 3, 5, 4, 5, 4, 5, 6, 4};
        for (unsigned v = 0; v < 16; ++v) {
            const unsigned spare = 6 - lengths[v];
            for (unsigned low = 0; low < (1u << spare); ++low) {
                const unsigned index = (codes[v] << spare) | low;
                value[index] = static_cast<unsigned char>(v);
                length[index] = static_cast<unsigned char>(lengths[v]);
            }
        }
    }
};

constexpr HuffmanTable kHuffman;

bool huffman(BitStream& in, unsigned char& code)
{
    const unsigned index = in.peek(6);
    code = kHuffman.value[index];
    return in.skip(kHuffman.length[index]);
}

// Expands 4-bit codes of a[(nx+1)/2][(ny+1)/2] into single bits of
// b[nx][ny] (row length n), a and b the same array, as the decoder does.
void quadCopy(std::vector<unsigned char>& s, int nx, int ny, int n)
{
    const int nx2 = (nx + 1) / 2;
    const int ny2 = (ny + 1) / 2;
    int k = ny2 * (nx2 - 1) + ny2 - 1;
    for (int i = nx2 - 1; i >= 0; --i) {
        int s00 = 2 * (n * i + ny2 - 1);
        for (int j = ny2 - 1; j >= 0; --j) {
            s[static_cast<std::size_t>(s00)] = s[static_cast<std::size_t>(k)];
            k -= 1;
            s00 -= 2;
        }
    }
    int i = 0;
    for (; i < nx - 1; i += 2) {
        std::size_t s00 = static_cast<std::size_t>(n) * static_cast<std::size_t>(i);
        std::size_t s10 = s00 + static_cast<std::size_t>(n);
        int j = 0;
        for (; j < ny - 1; j += 2) {
            const unsigned v = s[s00];
            s[s10 + 1] = v & 1;
            s[s10] = (v >> 1) & 1;
            s[s00 + 1] = (v >> 2) & 1;
            s[s00] = (v >> 3) & 1;
            s00 += 2;
            s10 += 2;
        }
        if (j < ny) {
            s[s10] = (s[s00] >> 1) & 1;
            s[s00] = (s[s00] >> 3) & 1;
        }
    }
    if (i < nx) {
        std::size_t s00 = static_cast<std::size_t>(n) * static_cast<std::size_t>(i);
        int j = 0;
        for (; j < ny - 1; j += 2) {
            s[s00 + 1] = (s[s00] >> 2) & 1;
            s[s00] = (s[s00] >> 3) & 1;
            s00 += 2;
        }
        if (j < ny) s[s00] = (s[s00] >> 3) & 1;
    }
}

// How many pixels of a quadrant (nqx x nqy) the 4-bit codes set: each code
// covers a 2 x 2 block (bits 8, 4 / 2, 1), cut at an odd last row or column.
unsigned long long pixelsSet(const std::vector<unsigned char>& codes, int nqx, int nqy)
{
    const int nqx2 = (nqx + 1) / 2;
    const int nqy2 = (nqy + 1) / 2;
    unsigned long long count = 0;
    for (int i = 0; i < nqx2; ++i) {
        const bool lastRowOdd = i == nqx2 - 1 && nqx % 2 == 1;
        for (int j = 0; j < nqy2; ++j) {
            const bool lastColumnOdd = j == nqy2 - 1 && nqy % 2 == 1;
            unsigned mask = 15;
            if (lastRowOdd) mask &= 8 | 4;
            if (lastColumnOdd) mask &= 8 | 2;
            count += static_cast<unsigned>(std::popcount(codes[static_cast<std::size_t>(i * nqy2 + j)] & mask));
        }
    }
    return count;
}

// Walks one quadrant's bit planes; `set` gathers the codes of every plane,
// whose bits are the quadrant's pixels that are not zero.
bool quadrantFits(BitStream& in, int nqx, int nqy, int planes, unsigned long long& nonZero)
{
    const int nqmax = nqx > nqy ? nqx : nqy;
    const int nqx2 = (nqx + 1) / 2;
    const int nqy2 = (nqy + 1) / 2;
    const std::size_t scratchSize = static_cast<std::size_t>(nqx2) * static_cast<std::size_t>(nqy2);
    int log2n = 0;
    while ((1 << log2n) < nqmax) ++log2n;
    std::vector<unsigned char> scratch(scratchSize);
    std::vector<unsigned char> set(scratchSize, 0);
    for (int bit = planes - 1; bit >= 0; --bit) {
        unsigned format = 0;
        if (!in.take(4, format)) return false;
        if (format == 0) {
            for (std::size_t k = 0; k < scratchSize; ++k) {
                unsigned v = 0;
                if (!in.take(4, v)) return false;
                set[k] |= static_cast<unsigned char>(v);
            }
        } else if (format == 0xf) {
            // The decoder writes the first code into a scratch of no size
            // for an empty quadrant.
            if (scratchSize == 0) return false;
            if (!huffman(in, scratch[0])) return false;
            int nx = 1;
            int ny = 1;
            int nfx = nqx;
            int nfy = nqy;
            int c = 1 << log2n;
            for (int k = 1; k < log2n; ++k) {
                c >>= 1;
                nx <<= 1;
                ny <<= 1;
                if (nfx <= c) nx -= 1; else nfx -= c;
                if (nfy <= c) ny -= 1; else nfy -= c;
                quadCopy(scratch, nx, ny, ny);
                for (int i = nx * ny - 1; i >= 0; --i)
                    if (scratch[static_cast<std::size_t>(i)] != 0 && !huffman(in, scratch[static_cast<std::size_t>(i)]))
                        return false;
            }
            for (std::size_t k = 0; k < scratchSize; ++k) set[k] |= scratch[k];
        } else {
            return false;
        }
    }
    nonZero += pixelsSet(set, nqx, nqy);
    return true;
}

}  // namespace

bool hcompressStreamFits(const unsigned char* c, std::size_t length, long long pixels, bool wideValues)
{
    constexpr std::size_t kHeader = 2 + 4 + 4 + 4 + 8 + 3;
    if (length < kHeader || c[0] != 0xDD || c[1] != 0x99) return false;
    auto int32At = [&](std::size_t at) {
        const std::uint32_t v = (std::uint32_t{c[at]} << 24) | (std::uint32_t{c[at + 1]} << 16) |
                                (std::uint32_t{c[at + 2]} << 8) | c[at + 3];
        return static_cast<std::int32_t>(v);
    };
    const int nx = int32At(2);
    const int ny = int32At(6);
    // The decoder fills nx x ny values into a buffer of the tile's size.
    if (nx <= 0 || ny <= 0 || static_cast<long long>(nx) * ny != pixels) return false;
    const int planes[3] = {c[22], c[23], c[24]};
    const int maxPlanes = wideValues ? 64 : 32;
    for (const int p : planes)
        if (p > maxPlanes) return false;

    BitStream in(c, length, kHeader);
    const int nx2 = (nx + 1) / 2;
    const int ny2 = (ny + 1) / 2;
    unsigned long long nonZero = 0;
    if (!quadrantFits(in, nx2, ny2, planes[0], nonZero)) return false;
    if (!quadrantFits(in, nx2, ny / 2, planes[1], nonZero)) return false;
    if (!quadrantFits(in, nx / 2, ny2, planes[1], nonZero)) return false;
    if (!quadrantFits(in, nx / 2, ny / 2, planes[2], nonZero)) return false;
    unsigned endCode = 0;
    if (!in.take(4, endCode) || endCode != 0) return false;
    // One sign bit for every pixel that is not zero.
    in.toNextByte();
    return in.skip(nonZero);
}

bool gzipTileInflates(const unsigned char* stream, std::size_t length, unsigned char* out, std::size_t capacity,
                      std::size_t& produced)
{
    produced = 0;
    z_stream z{};
    if (inflateInit2(&z, 15 + 16) != Z_OK) return false;
    // zlib counts in 32-bit units; a tile is far smaller.
    if (length > 0xFFFFFFFFu || capacity > 0xFFFFFFFFu) {
        inflateEnd(&z);
        return false;
    }
    z.next_in = const_cast<unsigned char*>(stream);
    z.avail_in = static_cast<uInt>(length);
    z.next_out = out;
    z.avail_out = static_cast<uInt>(capacity);
    const int result = inflate(&z, Z_FINISH);
    produced = capacity - z.avail_out;
    inflateEnd(&z);
    return result == Z_STREAM_END;
}

}  // namespace lv
