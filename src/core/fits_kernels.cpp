// The per-chunk decoders of the FITS reader: each turns big-endian values
// into 32-bit pixels with the rules of the read and tallies their extremes
// and sum. The compiler's vector code is the portable path; AVX2 kernels,
// chosen at run time, take the two usual cases.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "core/fits_decode.h"
#include "core/fits_image.h"
#include "core/vector_clones.h"

namespace lv {

static_assert(kChunkValues <= 65536, "the per-chunk sums are kept in 32-bit halves");

namespace {

inline std::uint32_t be16(const unsigned char* p) { return (std::uint32_t{p[0]} << 8) | p[1]; }
inline std::uint32_t be32(const unsigned char* p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

LV_VECTOR_CLONES void tallyValues(const std::int32_t* v, std::size_t n, const TallyRules& how, Tally& t)
{
    // Chunks hold at most 65536 values: the sum is kept in two 32-bit halves
    // that cannot overflow, which the compiler can run on several at once.
    std::int32_t mn = t.minValue;
    std::int32_t mx = t.maxValue;
    std::int32_t high = 0;
    std::uint32_t low = 0;
    if (how.dusky && !how.everyCandidate) {
        for (std::size_t i = 0; i < n; ++i) {
            mn = std::min(mn, v[i]);
            mx = std::max(mx, v[i] < FitsImage::kDuskyLimit ? v[i] : INT32_MIN);
            high += v[i] >> 16;
            low += static_cast<std::uint32_t>(v[i]) & 0xFFFFu;
        }
    } else {
        for (std::size_t i = 0; i < n; ++i) {
            mn = std::min(mn, v[i]);
            mx = std::max(mx, v[i]);
            high += v[i] >> 16;
            low += static_cast<std::uint32_t>(v[i]) & 0xFFFFu;
        }
    }
    t.minValue = mn;
    t.maxValue = mx;
    if (how.addToSum) t.sum += static_cast<long long>(high) * 65536 + low;
}

// A decoder that stores values, followed by the tally of what it stored.
template <std::size_t (*Decode)(const unsigned char*, std::size_t, std::int32_t*, const ValueRules&, long long)>
std::size_t decodeThenTally(const unsigned char* src, std::size_t n, std::int32_t* dst, const ValueRules& rules,
                            long long shift, const TallyRules& how, Tally& t)
{
    const std::size_t good = Decode(src, n, dst, rules, shift);
    if (good == n) tallyValues(dst, n, how, t);
    return good;
}

// The usual camera frame: 16-bit data whose stored value is raw + shift,
// wrapped once at 65536, which for 0 <= shift < 65536 is addition modulo
// 2^16. Decoding, extremes and sum in one pass of 16-bit arithmetic.
LV_VECTOR_CLONES std::size_t decode16ModularPortable(const unsigned char* src, std::size_t n, std::int32_t* dst,
                                                     long long shift, const TallyRules& how, Tally& t)
{
    const auto s = static_cast<std::uint16_t>(shift);
    std::uint16_t mn = 0xFFFF;
    std::uint16_t mx = 0;
    std::uint32_t sum = 0;  // at most 65536 values of 65535 per chunk
    for (std::size_t i = 0; i < n; ++i) {
        const auto v = static_cast<std::uint16_t>(((src[2 * i] << 8) | src[2 * i + 1]) + s);
        dst[i] = v;
        mn = std::min(mn, v);
        mx = std::max(mx, v);
        sum += v;
    }
    if (n > 0) {
        t.minValue = std::min<std::int32_t>(t.minValue, mn);
        t.maxValue = std::max<std::int32_t>(t.maxValue, mx);
    }
    if (how.addToSum) t.sum += sum;
    return n;
}

#ifdef LV_AVX2_KERNELS
// Sixteen values per step: swap the bytes in place, add modulo 2^16, widen.
// (The compiler's own vector code takes each value apart byte by byte.)
__attribute__((target("avx2"))) std::size_t decode16ModularAvx2(const unsigned char* src, std::size_t n,
                                                                std::int32_t* dst, long long shift,
                                                                const TallyRules& how, Tally& t)
{
    const __m256i swap = _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14, 1, 0, 3, 2, 5, 4, 7,
                                          6, 9, 8, 11, 10, 13, 12, 15, 14);
    const auto s = static_cast<std::uint16_t>(shift);
    const __m256i add = _mm256_set1_epi16(static_cast<short>(s));
    __m256i mn = _mm256_set1_epi16(-1);
    __m256i mx = _mm256_setzero_si256();
    __m256i sum = _mm256_setzero_si256();  // per lane at most 8192 values of 65535
    const std::size_t whole = n & ~std::size_t{15};
    for (std::size_t i = 0; i < whole; i += 16) {
        __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 2 * i));
        w = _mm256_add_epi16(_mm256_shuffle_epi8(w, swap), add);
        mn = _mm256_min_epu16(mn, w);
        mx = _mm256_max_epu16(mx, w);
        const __m256i first = _mm256_cvtepu16_epi32(_mm256_castsi256_si128(w));
        const __m256i second = _mm256_cvtepu16_epi32(_mm256_extracti128_si256(w, 1));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), first);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i + 8), second);
        sum = _mm256_add_epi32(sum, _mm256_add_epi32(first, second));
    }
    alignas(32) std::uint16_t mns[16], mxs[16];
    alignas(32) std::uint32_t sums[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(mns), mn);
    _mm256_store_si256(reinterpret_cast<__m256i*>(mxs), mx);
    _mm256_store_si256(reinterpret_cast<__m256i*>(sums), sum);
    std::uint16_t lo = 0xFFFF;
    std::uint16_t hi = 0;
    long long total = 0;
    for (int k = 0; k < 16; ++k) {
        lo = std::min(lo, mns[k]);
        hi = std::max(hi, mxs[k]);
    }
    for (int k = 0; k < 8; ++k) total += sums[k];
    if (whole > 0) {
        t.minValue = std::min<std::int32_t>(t.minValue, lo);
        t.maxValue = std::max<std::int32_t>(t.maxValue, hi);
    }
    if (how.addToSum) t.sum += total;
    return whole + decode16ModularPortable(src + 2 * whole, n - whole, dst + whole, shift, how, t);
}
#endif

std::size_t decode16Modular(const unsigned char* src, std::size_t n, std::int32_t* dst, const ValueRules&,
                            long long shift, const TallyRules& how, Tally& t)
{
#ifdef LV_AVX2_KERNELS
    if (haveAvx2()) return decode16ModularAvx2(src, n, dst, shift, how, t);
#endif
    return decode16ModularPortable(src, n, dst, shift, how, t);
}

std::size_t decode16Shift(const unsigned char* src, std::size_t n, std::int32_t* dst, const ValueRules&, long long shift)
{
    // shift was checked so that raw + shift fits for every raw 0 ... 65535.
    const auto s = static_cast<std::int32_t>(shift);
    for (std::size_t i = 0; i < n; ++i) {
        std::int32_t v = static_cast<std::int32_t>(be16(src + 2 * i)) + s;
        v -= (v >= 65536) ? 65536 : 0;
        dst[i] = v;
    }
    return n;
}

std::size_t decode8Shift(const unsigned char* src, std::size_t n, std::int32_t* dst, const ValueRules&, long long shift)
{
    const auto s = static_cast<std::int32_t>(shift);
    for (std::size_t i = 0; i < n; ++i) {
        std::int32_t v = static_cast<std::int32_t>(src[i]) + s;
        v -= (v >= 256) ? 256 : 0;
        dst[i] = v;
    }
    return n;
}

std::size_t decode32Shift(const unsigned char* src, std::size_t n, std::int32_t* dst, const ValueRules&, long long shift)
{
    for (std::size_t i = 0; i < n; ++i) {
        const long long v = static_cast<long long>(be32(src + 4 * i)) + shift;
        if (src[4 * i] >= 128 || v < INT32_MIN || v > INT32_MAX) return i;
        dst[i] = static_cast<std::int32_t>(v);
    }
    return n;
}

template <int Bytes>
std::size_t decodeScaled(const unsigned char* src, std::size_t n, std::int32_t* dst, const ValueRules& rules, long long)
{
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char* p = src + Bytes * i;
        std::uint32_t raw;
        if constexpr (Bytes == 1) {
            raw = p[0];
        } else if constexpr (Bytes == 2) {
            raw = be16(p);
        } else {
            if (p[0] >= 128) return i;
            raw = be32(p);
        }
        const auto v = rules.scaled(static_cast<double>(raw));
        if (!v) return i;
        dst[i] = *v;
    }
    return n;
}

// BITPIX -32. Monochrome: the value rounded, then the reading arithmetic.
// Colour planes: rounded, then scaled by BSCALE/BZERO, then the arithmetic.
template <bool Colour>
std::size_t decodeFloat(const unsigned char* src, std::size_t n, std::int32_t* dst, const ValueRules& rules, long long)
{
    for (std::size_t i = 0; i < n; ++i) {
        const float f = std::bit_cast<float>(be32(src + 4 * i));
        auto v = toInt32(static_cast<double>(f));  // NaN and infinities fail here
        if (!v) return i;
        if constexpr (Colour) {
            v = toInt32(static_cast<double>(*v) * rules.bscale + rules.offset);
            if (!v) return i;
        }
        v = rules.calc(*v);
        if (!v) return i;
        dst[i] = *v;
    }
    return n;
}

inline std::uint64_t be64(const unsigned char* p)
{
    return (std::uint64_t{be32(p)} << 32) | be32(p + 4);
}

// BITPIX -64, as -32: the value rounded (monochrome), or rounded and scaled
// by BSCALE/BZERO (colour planes); then the reading arithmetic.
template <bool Colour>
std::size_t decodeDouble(const unsigned char* src, std::size_t n, std::int32_t* dst, const ValueRules& rules, long long)
{
    for (std::size_t i = 0; i < n; ++i) {
        const double f = std::bit_cast<double>(be64(src + 8 * i));
        auto v = toInt32(f);  // NaN, infinities and values beyond 32 bits fail here
        if (!v) return i;
        if constexpr (Colour) {
            v = toInt32(static_cast<double>(*v) * rules.bscale + rules.offset);
            if (!v) return i;
        }
        v = rules.calc(*v);
        if (!v) return i;
        dst[i] = *v;
    }
    return n;
}

// BITPIX 64, as 32: BZERO x sign + raw x BSCALE; the raw value is the
// standard's signed 64-bit integer.
std::size_t decode64Scaled(const unsigned char* src, std::size_t n, std::int32_t* dst, const ValueRules& rules, long long)
{
    for (std::size_t i = 0; i < n; ++i) {
        const auto raw = static_cast<std::int64_t>(be64(src + 8 * i));
        const auto v = rules.scaled(static_cast<double>(raw));
        if (!v) return i;
        dst[i] = *v;
    }
    return n;
}

inline std::uint32_t byteSwap32(std::uint32_t w)
{
    return (w >> 24) | ((w >> 8) & 0xFF00u) | ((w << 8) & 0xFF0000u) | (w << 24);
}

// Monochrome float data without reading arithmetic: rounding, range check,
// extremes and sum in one pass of float arithmetic that the compiler can run
// on several values at once. A chunk with a value that does not fit is
// decoded again by the exact path to find it. `src` points into 32-bit words.
LV_VECTOR_CLONES std::size_t decodeFloatPlainPortable(const unsigned char* src, std::size_t n, std::int32_t* dst,
                                                      const ValueRules& rules, long long shift, const TallyRules& how,
                                                      Tally& t)
{
    const auto* in = reinterpret_cast<const std::uint32_t*>(src);
    constexpr float kTwo23 = 8388608.0f;  // from here on every float is whole
    int bad = 0;
    std::int32_t mn = t.minValue;
    std::int32_t mx = t.maxValue;
    std::int32_t high = 0;   // the sum in two halves that cannot overflow
    std::uint32_t low = 0;   // for 65536 values: sum = high * 65536 + low
    for (std::size_t i = 0; i < n; ++i) {
        // A union takes the swapped word as a float in a way the compiler can
        // vectorize (the compilers we build with define this use of unions).
        union {
            std::uint32_t word;
            float value;
        } bits;
        bits.word = byteSwap32(in[i]);
        const float f = bits.value;
        // Adding 2^23 with f's sign leaves no fraction bits, so the addition
        // rounds to a whole number with ties to even.
        const float magic = std::copysign(kTwo23, f);
        const float rounded = (f + magic) - magic;
        const float r = std::fabs(f) < kTwo23 ? rounded : f;
        const bool ok = (r >= -2147483648.0f) & (r < 2147483648.0f);  // false for NaN and infinities
        bad |= ok ? 0 : 1;
        const std::int32_t v = static_cast<std::int32_t>(ok ? r : 0.0f);
        dst[i] = v;
        mn = std::min(mn, v);
        mx = std::max(mx, v);
        high += v >> 16;
        low += static_cast<std::uint32_t>(v) & 0xFFFFu;
    }
    if (bad) return decodeFloat<false>(src, n, dst, rules, shift);
    t.minValue = mn;
    t.maxValue = mx;
    if (how.addToSum) t.sum += static_cast<long long>(high) * 65536 + low;
    return n;
}

#ifdef LV_AVX2_KERNELS
// The same with half the instructions: the processor rounds and converts in
// one step, and a value that does not fit converts to -2^31, so only a
// chunk whose least value is -2^31 needs the exact path, which then also
// tells a true -2^31 from a value out of range. Opening a float frame is
// bound by this loop, not by memory.
__attribute__((target("avx2"))) std::size_t decodeFloatPlainAvx2(const unsigned char* src, std::size_t n,
                                                                  std::int32_t* dst, const ValueRules& rules,
                                                                  long long shift, const TallyRules& how, Tally& t)
{
    const __m256i swap = _mm256_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12, 3, 2, 1, 0, 7, 6, 5,
                                          4, 11, 10, 9, 8, 15, 14, 13, 12);
    // The conversion rounds as the processor's rounding mode says: ties to
    // even, unless something changed the mode.
    if ((_mm_getcsr() & 0x6000u) != 0) return decodeFloatPlainPortable(src, n, dst, rules, shift, how, t);
    const __m256i lowMask = _mm256_set1_epi32(0xFFFF);
    __m256i mn = _mm256_set1_epi32(std::numeric_limits<std::int32_t>::max());
    __m256i mx = _mm256_set1_epi32(std::numeric_limits<std::int32_t>::min());
    __m256i high = _mm256_setzero_si256();
    __m256i low = _mm256_setzero_si256();
    const std::size_t whole = n & ~std::size_t{7};
    for (std::size_t i = 0; i < whole; i += 8) {
        const __m256i w = _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 4 * i)), swap);
        const __m256i v = _mm256_cvtps_epi32(_mm256_castsi256_ps(w));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), v);
        mn = _mm256_min_epi32(mn, v);
        mx = _mm256_max_epi32(mx, v);
        high = _mm256_add_epi32(high, _mm256_srai_epi32(v, 16));
        low = _mm256_add_epi32(low, _mm256_and_si256(v, lowMask));
    }
    alignas(32) std::int32_t mns[8], mxs[8], highs[8];
    alignas(32) std::uint32_t lows[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(mns), mn);
    _mm256_store_si256(reinterpret_cast<__m256i*>(mxs), mx);
    _mm256_store_si256(reinterpret_cast<__m256i*>(highs), high);
    _mm256_store_si256(reinterpret_cast<__m256i*>(lows), low);
    std::int32_t chunkMin = std::numeric_limits<std::int32_t>::max();
    std::int32_t chunkMax = std::numeric_limits<std::int32_t>::min();
    long long sum = 0;
    for (int k = 0; k < 8; ++k) {
        chunkMin = std::min(chunkMin, mns[k]);
        chunkMax = std::max(chunkMax, mxs[k]);
        sum += static_cast<long long>(highs[k]) * 65536 + lows[k];
    }
    if (chunkMin == std::numeric_limits<std::int32_t>::min())
        return decodeThenTally<&decodeFloat<false>>(src, n, dst, rules, shift, how, t);
    t.minValue = std::min(t.minValue, chunkMin);
    t.maxValue = std::max(t.maxValue, chunkMax);
    if (how.addToSum) t.sum += sum;
    return whole + decodeFloatPlainPortable(src + 4 * whole, n - whole, dst + whole, rules, shift, how, t);
}
#endif

std::size_t decodeFloatPlain(const unsigned char* src, std::size_t n, std::int32_t* dst, const ValueRules& rules,
                             long long shift, const TallyRules& how, Tally& t)
{
#ifdef LV_AVX2_KERNELS
    if (haveAvx2()) return decodeFloatPlainAvx2(src, n, dst, rules, shift, how, t);
#endif
    return decodeFloatPlainPortable(src, n, dst, rules, shift, how, t);
}

}  // namespace

ChunkDecoder chooseDecoder(int bitpix, bool isFloat, bool colour, const ValueRules& rules, bool dusky,
                           long long& shift)
{
    shift = 0;
    if (bitpix == 64)
        return !isFloat ? &decodeThenTally<&decode64Scaled>
               : colour ? &decodeThenTally<&decodeDouble<true>>
                        : &decodeThenTally<&decodeDouble<false>>;
    const long long rawMax = bitpix == 16 ? 65535 : bitpix == 8 ? 255 : INT32_MAX;
    const auto intShift = rules.integerShift(rawMax);
    if (isFloat) {
        // Monochrome floats ignore BSCALE/BZERO; without reading arithmetic
        // the rounded value is stored as it is.
        const bool plain = !colour && rules.calcMode == 0 && rules.calcValue == 0.0;
        return colour  ? &decodeThenTally<&decodeFloat<true>>
               : plain ? &decodeFloatPlain
                       : &decodeThenTally<&decodeFloat<false>>;
    }
    if (bitpix == 16) {
        const bool fits = intShift && *intShift >= INT32_MIN && *intShift + 65535 <= INT32_MAX;
        shift = fits ? *intShift : 0;
        if (fits && *intShift >= 0 && *intShift < 65536 && !dusky) return &decode16Modular;
        return fits ? &decodeThenTally<&decode16Shift> : &decodeThenTally<&decodeScaled<2>>;
    }
    if (bitpix == 8) {
        const bool fits = intShift && *intShift >= INT32_MIN && *intShift + 255 <= INT32_MAX;
        shift = fits ? *intShift : 0;
        return fits ? &decodeThenTally<&decode8Shift> : &decodeThenTally<&decodeScaled<1>>;
    }
    shift = intShift ? *intShift : 0;
    return intShift ? &decodeThenTally<&decode32Shift> : &decodeThenTally<&decodeScaled<4>>;
}

}  // namespace lv
