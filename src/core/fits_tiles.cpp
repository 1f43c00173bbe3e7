#include "core/fits_tiles.h"

#include <vector>

namespace lv {

namespace {

// Leading-zero table of the Rice decoder: the position of the highest set
// bit of a byte, counted from 1 (0 for 0).
constexpr int highestBit(unsigned v)
{
    int n = 0;
    while (v != 0) {
        ++n;
        v >>= 1;
    }
    return n;
}

}  // namespace

bool riceStreamFits(const unsigned char* c, std::size_t length, int bytePix, int blockSize, long long pixels)
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
    std::size_t p = first;
    std::uint32_t b = c[p++];
    int nbits = 8;
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
            i = end;
        } else if (fs == fsMax) {
            for (; i < end; ++i) {
                int k = bBits - nbits;
                for (k -= 8; k >= 0; k -= 8) {
                    if (p >= length) return false;
                    b = c[p++];
                }
                if (nbits > 0) {
                    if (p >= length) return false;
                    b = c[p++];
                    b &= (1u << nbits) - 1;
                } else {
                    b = 0;
                }
            }
        } else {
            for (; i < end; ++i) {
                while (b == 0) {
                    if (p >= length) return false;
                    nbits += 8;
                    b = c[p++];
                }
                const int nzero = nbits - highestBit(b);
                nbits -= nzero + 1;
                b ^= 1u << nbits;
                nbits -= fs;
                while (nbits < 0) {
                    if (p >= length) return false;
                    b = (b << 8) | c[p++];
                    nbits += 8;
                }
                b &= (1u << nbits) - 1;
            }
        }
    }
    return true;
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
        : bytes_(bytes), bits_(8 * static_cast<unsigned long long>(length)), at_(8 * static_cast<unsigned long long>(start))
    {}

    bool take(int n, unsigned& value)
    {
        if (at_ + static_cast<unsigned long long>(n) > bits_) return false;
        value = 0;
        for (int i = 0; i < n; ++i, ++at_) value = (value << 1) | ((bytes_[at_ >> 3] >> (7 - (at_ & 7))) & 1u);
        return true;
    }

    bool skip(unsigned long long n)
    {
        if (at_ + n > bits_) return false;
        at_ += n;
        return true;
    }

    // A fresh bit input starts at the next whole byte.
    void toNextByte() { at_ = (at_ + 7) & ~7ull; }

private:
    const unsigned char* bytes_;
    unsigned long long bits_;
    unsigned long long at_;
};

bool huffman(BitStream& in, unsigned char& code)
{
    unsigned c = 0;
    unsigned bit = 0;
    if (!in.take(3, c)) return false;
    if (c < 4) {
        code = static_cast<unsigned char>(1u << c);
        return true;
    }
    if (!in.take(1, bit)) return false;
    c = (c << 1) | bit;
    switch (c) {
        case 8: code = 3; return true;
        case 9: code = 5; return true;
        case 10: code = 10; return true;
        case 11: code = 12; return true;
        case 12: code = 15; return true;
        default: break;
    }
    if (!in.take(1, bit)) return false;
    c = (c << 1) | bit;
    switch (c) {
        case 26: code = 6; return true;
        case 27: code = 7; return true;
        case 28: code = 9; return true;
        case 29: code = 11; return true;
        case 30: code = 13; return true;
        default: break;
    }
    if (!in.take(1, bit)) return false;
    c = (c << 1) | bit;
    code = c == 62 ? 0 : 14;
    return true;
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
            s[s00] = s[k];
            k -= 1;
            s00 -= 2;
        }
    }
    int i = 0;
    for (; i < nx - 1; i += 2) {
        int s00 = n * i;
        int s10 = s00 + n;
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
        int s00 = n * i;
        int j = 0;
        for (; j < ny - 1; j += 2) {
            s[s00 + 1] = (s[s00] >> 2) & 1;
            s[s00] = (s[s00] >> 3) & 1;
            s00 += 2;
        }
        if (j < ny) s[s00] = (s[s00] >> 3) & 1;
    }
}

// Marks the pixels of a quadrant (base, row length n) whose bit a code sets.
void markBits(const std::vector<unsigned char>& a, int nqx, int nqy, std::vector<unsigned char>& set, long long base,
              int n)
{
    int k = 0;
    int i = 0;
    auto mark = [&](long long at, bool on) {
        if (on) set[static_cast<std::size_t>(base + at)] = 1;
    };
    for (; i < nqx - 1; i += 2) {
        long long s00 = static_cast<long long>(n) * i;
        int j = 0;
        for (; j < nqy - 1; j += 2) {
            const unsigned v = a[static_cast<std::size_t>(k)];
            mark(s00 + n + 1, v & 1);
            mark(s00 + n, v & 2);
            mark(s00 + 1, v & 4);
            mark(s00, v & 8);
            s00 += 2;
            k += 1;
        }
        if (j < nqy) {
            const unsigned v = a[static_cast<std::size_t>(k)];
            mark(s00 + n, v & 2);
            mark(s00, v & 8);
            k += 1;
        }
    }
    if (i < nqx) {
        long long s00 = static_cast<long long>(n) * i;
        int j = 0;
        for (; j < nqy - 1; j += 2) {
            const unsigned v = a[static_cast<std::size_t>(k)];
            mark(s00 + 1, v & 4);
            mark(s00, v & 8);
            s00 += 2;
            k += 1;
        }
        if (j < nqy) mark(s00, a[static_cast<std::size_t>(k)] & 8);
    }
}

bool quadrantFits(BitStream& in, std::vector<unsigned char>& set, long long base, int n, int nqx, int nqy, int planes)
{
    const int nqmax = nqx > nqy ? nqx : nqy;
    const int nqx2 = (nqx + 1) / 2;
    const int nqy2 = (nqy + 1) / 2;
    const std::size_t scratchSize = static_cast<std::size_t>(nqx2) * static_cast<std::size_t>(nqy2);
    int log2n = 0;
    while ((1 << log2n) < nqmax) ++log2n;
    std::vector<unsigned char> scratch(scratchSize);
    for (int bit = planes - 1; bit >= 0; --bit) {
        unsigned format = 0;
        if (!in.take(4, format)) return false;
        if (format == 0) {
            for (std::size_t k = 0; k < scratchSize; ++k) {
                unsigned v = 0;
                if (!in.take(4, v)) return false;
                scratch[k] = static_cast<unsigned char>(v);
            }
            markBits(scratch, nqx, nqy, set, base, n);
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
            markBits(scratch, nqx, nqy, set, base, n);
        } else {
            return false;
        }
    }
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

    std::vector<unsigned char> set(static_cast<std::size_t>(pixels), 0);
    BitStream in(c, length, kHeader);
    const int nx2 = (nx + 1) / 2;
    const int ny2 = (ny + 1) / 2;
    if (!quadrantFits(in, set, 0, ny, nx2, ny2, planes[0])) return false;
    if (!quadrantFits(in, set, ny2, ny, nx2, ny / 2, planes[1])) return false;
    if (!quadrantFits(in, set, static_cast<long long>(ny) * nx2, ny, nx / 2, ny2, planes[1])) return false;
    if (!quadrantFits(in, set, static_cast<long long>(ny) * nx2 + ny2, ny, nx / 2, ny / 2, planes[2])) return false;
    unsigned endCode = 0;
    if (!in.take(4, endCode) || endCode != 0) return false;
    // One sign bit for every pixel that is not zero.
    in.toNextByte();
    unsigned long long signs = 0;
    for (const unsigned char s : set) signs += s;
    return in.skip(signs);
}

}  // namespace lv
