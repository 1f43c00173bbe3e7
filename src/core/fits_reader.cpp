#include "core/fits_reader.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>

#if defined(__unix__) || defined(__APPLE__)
#define LV_MAPPED_READ 1
#include <csetjmp>
#include <csignal>
#include <mutex>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#define LV_MAPPED_READ 0
#endif

#include "core/conventions.h"
#include "core/vector_clones.h"

namespace lv {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// A rejected read: the text shown to the user.
struct Rejection {
    std::string text;
};

std::string describeErrno(int err)
{
    const char* t = std::strerror(err);
    return t ? std::string(t) : std::string("unknown error");
}

// Values are decoded in chunks of this many per read call.
constexpr std::size_t kChunkValues = 1 << 16;
constexpr long long kHugePageValues = (2 << 20) / sizeof(std::int32_t);

// Whether a second decoding thread can run beside this one.
bool twoThreadsHelp()
{
#if LV_MAPPED_READ
    static const bool two = ::sysconf(_SC_NPROCESSORS_ONLN) >= 2;
    return two;
#else
    return false;  // only mapped files are decoded in halves
#endif
}
static_assert(kChunkValues <= 65536, "the per-chunk sums are kept in 32-bit halves");

// The arithmetic applied to one raw value, fixed for a whole read.
struct ValueRules {
    double bscale = 1.0;
    double offset = 0.0;  // bzero * bzeroSign
    int calcMode = 0;
    double calcValue = 0.0;
    std::int32_t wrapAt = 0;  // 65536 for 16-bit, 256 for 8-bit, 0 for none

    // The reading arithmetic on an already rounded value.
    std::optional<std::int32_t> calc(std::int32_t v) const
    {
        return calcMode == 0 ? toInt32(static_cast<double>(v) + calcValue) : toInt32(calcValue * static_cast<double>(v));
    }
    std::optional<std::int32_t> scaled(double raw) const
    {
        const auto v = toInt32(raw * bscale + offset);
        if (!v) return std::nullopt;
        auto c = calc(*v);
        if (c && wrapAt != 0 && *c >= wrapAt) *c -= wrapAt;
        return c;
    }
    // When the scaling and the reading arithmetic are whole-number shifts, the
    // value is raw + shift exactly, and the rounding has nothing to do. The
    // exact path stores raw + offset as a 32-bit value before the arithmetic;
    // one shift is only the same when that step cannot fail for any raw value
    // 0 ... rawMax (without arithmetic the final check is that step).
    std::optional<long long> integerShift(long long rawMax) const
    {
        if (bscale != 1.0 || calcMode != 0) return std::nullopt;
        if (std::fabs(offset) > 4e9 || std::fabs(calcValue) > 4e9) return std::nullopt;
        if (offset != std::floor(offset) || calcValue != std::floor(calcValue)) return std::nullopt;
        const auto first = static_cast<long long>(offset);
        if (calcValue != 0.0 && (first < INT32_MIN || first + rawMax > INT32_MAX)) return std::nullopt;
        return first + static_cast<long long>(calcValue);
    }
};

// Running extremes and plane-0 sum of the values stored so far.
struct Tally {
    std::int32_t minValue = std::numeric_limits<std::int32_t>::max();
    // Below every value, so that an image of negative values gets its true
    // maximum; -1 is kept when no value qualified (dusky picture).
    std::int32_t maxValue = std::numeric_limits<std::int32_t>::min();
    long long sum = 0;
};

// How the values of a chunk take part in the extremes and the sum.
struct TallyRules {
    bool dusky = false;           // only values below 60000 may be the maximum
    bool everyCandidate = false;  // ... unless every value is a candidate
    bool addToSum = true;         // plane 0 only
};

// Decoding of one chunk: src holds n big-endian values; the decoded values go
// to dst and into the tally. Returns the index of the first value that cannot
// be stored, or n.
using ChunkDecoder = std::size_t (*)(const unsigned char* src, std::size_t n, std::int32_t* dst,
                                     const ValueRules& rules, long long shift, const TallyRules& how, Tally& t);

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

std::string headerText(std::string_view path, ReadForm form, std::string_view text)
{
    return form == ReadForm::Dialog ? std::string(text) : std::string(path) + std::string(text);
}

std::atomic<void (*)(const std::string&)> afterMapHook{nullptr};

// Where decoding stopped early, if it did.
struct DecodeStop {
    enum Kind { None, ReadFailed, DoesNotFit } kind = None;
    int plane = 0;
    long long at = 0;  // value index within the plane
    int err = 0;
};

// A read-only map of a whole regular file, or nothing where the file cannot
// be mapped (the caller then reads it).
struct MappedData {
    const unsigned char* bytes = nullptr;
    std::size_t length = 0;
    bool shrunk = false;  // the file became shorter than needed after it was mapped
    MappedData() = default;
    MappedData(const MappedData&) = delete;
    MappedData& operator=(const MappedData&) = delete;
    MappedData(MappedData&& o) noexcept : bytes(o.bytes), length(o.length), shrunk(o.shrunk) { o.bytes = nullptr; }
    ~MappedData()
    {
#if LV_MAPPED_READ
        if (bytes) ::munmap(const_cast<unsigned char*>(bytes), length);
#endif
    }
};

// `populate`: set up every page now; otherwise each decoding thread sets up
// its own part (populateRange).
MappedData mapData(std::FILE* file, std::size_t needed, bool populate)
{
    MappedData m;
#if LV_MAPPED_READ
    const int fd = fileno(file);
    struct stat st {};
    // Pipes, devices and the like are read instead.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<unsigned long long>(st.st_size) < needed ||
        needed == 0)
        return m;
#ifdef MAP_POPULATE
    const int populateFlag = populate ? MAP_POPULATE : 0;  // one call sets up every page instead of a fault per page
#else
    const int populateFlag = 0;
    (void)populate;
#endif
    void* p = ::mmap(nullptr, needed, PROT_READ, MAP_PRIVATE | populateFlag, fd, 0);
    if (p == MAP_FAILED) return m;
    m.bytes = static_cast<const unsigned char*>(p);
    m.length = needed;
    // Cut short between the size check and the map: its pages past the end
    // would fault.
    if (::fstat(fd, &st) != 0 || static_cast<unsigned long long>(st.st_size) < needed) m.shrunk = true;
#else
    (void)file;
    (void)needed;
    (void)populate;
#endif
    return m;
}

// Sets up the pages of bytes [from, to) of the map at once, where the
// platform can; otherwise they fault in as they are read. A failure here
// (a file cut short) is left to the guarded decode to find.
void populateRange(const MappedData& m, std::size_t from, std::size_t to)
{
#if LV_MAPPED_READ && defined(MADV_POPULATE_READ)
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    from -= from % page;
    to = std::min(to, m.length);
    if (m.bytes && from < to) ::madvise(const_cast<unsigned char*>(m.bytes) + from, to - from, MADV_POPULATE_READ);
#else
    (void)m;
    (void)from;
    (void)to;
#endif
}

#if LV_MAPPED_READ
// A file that shrinks while it is mapped makes the next touch of a vanished
// page raise SIGBUS. Within a guarded decode, on this thread and for this
// map, the handler returns to the guard instead, which rejects the file.
thread_local sigjmp_buf* busJump = nullptr;
thread_local const unsigned char* busFrom = nullptr;
thread_local const unsigned char* busTo = nullptr;
struct sigaction previousBusAction {};

void onBusError(int sig, siginfo_t* info, void* context)
{
    const auto* addr = static_cast<const unsigned char*>(info->si_addr);
    if (busJump && addr >= busFrom && addr < busTo) siglongjmp(*busJump, 1);
    // Not ours: whoever handled it before does, or the default ends the program.
    if (previousBusAction.sa_flags & SA_SIGINFO) {
        if (previousBusAction.sa_sigaction) return previousBusAction.sa_sigaction(sig, info, context);
    } else if (previousBusAction.sa_handler != SIG_DFL && previousBusAction.sa_handler != SIG_IGN) {
        return previousBusAction.sa_handler(sig);
    }
    ::signal(SIGBUS, SIG_DFL);  // the fault repeats on return, now with the default action
}

void installBusHandler()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_sigaction = &onBusError;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        ::sigaction(SIGBUS, &action, &previousBusAction);
    });
}
#endif

#if LV_MAPPED_READ
// `work` on a second thread while the caller goes on. A plain POSIX thread
// with a small stack: std::thread frees its start-up state on the new
// thread, and that first free there sets up a whole malloc arena, which
// costs a good part of what the second half saves.
template <class Work>
class HelperThread {
public:
    explicit HelperThread(Work& work) : work_(work)
    {
        pthread_attr_t attr;
        pthread_attr_init(&attr);
        pthread_attr_setstacksize(&attr, std::size_t{1} << 20);
        started_ = pthread_create(&id_, &attr, &run, &work_) == 0;
        pthread_attr_destroy(&attr);
    }
    HelperThread(const HelperThread&) = delete;
    HelperThread& operator=(const HelperThread&) = delete;
    ~HelperThread() { join(); }
    bool started() const { return started_; }
    void join()
    {
        if (started_) pthread_join(id_, nullptr);
        started_ = false;
    }

private:
    static void* run(void* work)
    {
        (*static_cast<Work*>(work))();
        return nullptr;
    }
    Work& work_;
    pthread_t id_{};
    bool started_ = false;
};
#endif

// Runs `decode` over the map; false when the file shrank under it. `decode`
// must not own anything that needs destroying, since a fault leaves it at once.
template <class Decode>
bool decodeGuarded(const MappedData& m, Decode&& decode)
{
#if LV_MAPPED_READ
    installBusHandler();
    sigjmp_buf jump;
    busFrom = m.bytes;
    busTo = m.bytes + m.length;
    if (sigsetjmp(jump, 1) != 0) {
        busJump = nullptr;
        return false;
    }
    busJump = &jump;
    decode();
    busJump = nullptr;
    return true;
#else
    (void)m;
    decode();
    return true;
#endif
}

}  // namespace

double cardValue(const HeaderCard& card)
{
    if (card.size() < 10) return 0.0;
    return leadingNumber(std::string_view(card).substr(9, 21));
}

void afterDataMappedForTesting(void (*hook)(const std::string& path)) { afterMapHook.store(hook); }

bool hasFitsFileNameEnding(std::string_view path)
{
    if (path.size() < 3) return false;
    const std::string_view end = path.substr(path.size() - 3);
    return end == "fit" || end == "fts" || end == "FIT" || end == "FTS" || end == "Fit" || end == "Fts";
}

int readFitsFile(FitsImage& image, AppState& state, const std::string& path, ReadForm form, Platform& platform,
                 PixelPool* pool)
{
    const ReadOptions options = readOptionsOf(state);
    auto reject = [&](const std::string& text) {
        platform.error(text);
        state.statistics = statisticsLine(image);
        return -1;
    };
    auto ownReason = [&](const std::string& reason) { return path + ": " + reason; };

    File file(std::fopen(path.c_str(), "rb"));
    if (!file) return reject(ownReason("the file cannot be opened (" + describeErrno(errno) + ")"));
    std::setvbuf(file.get(), nullptr, _IONBF, 0);  // we read in large blocks ourselves

    std::error_code ec;
    const auto fileLength = std::filesystem::file_size(path, ec);
    if (ec) return reject(ownReason("the file cannot be read (" + ec.message() + ")"));

    // Header scan: whole 80-byte records, up to the END record, at most 500.
    FitsImage staged;
    const long long completeRecords = static_cast<long long>(fileLength / kCardLength);
    const int recordsToScan = static_cast<int>(std::min<long long>(completeRecords, kMaxHeaderCards));
    bool endFound = false;
    {
        char block[kBlockLength];
        int scanned = 0;
        while (scanned < recordsToScan && !endFound) {
            const int inBlock = std::min(kCardsPerBlock, recordsToScan - scanned);
            const std::size_t want = static_cast<std::size_t>(inBlock) * kCardLength;
            if (std::fread(block, 1, want, file.get()) != want)
                return reject(ownReason("the file cannot be read (" + describeErrno(errno) + ")"));
            for (int r = 0; r < inBlock; ++r) {
                staged.cards.emplace_back(block + r * kCardLength, kCardLength);
                ++scanned;
                if (std::memcmp(block + r * kCardLength, "END", 3) == 0) {
                    endFound = true;
                    break;
                }
            }
        }
    }

    staged.resetHeaderState();
    for (const HeaderCard& card : staged.cards) {
        const std::string_view key = cardKeyword(card);
        if (key == "BITPIX  ")
            staged.bitpix = toInt32Saturated(cardValue(card));
        else if (key == "NAXIS1  ")
            staged.naxis1 = toInt32Saturated(cardValue(card));
        else if (key == "NAXIS2  ")
            staged.naxis2 = toInt32Saturated(cardValue(card));
        else if (key == "NAXIS3  ")
            staged.naxis3 = toInt32Saturated(cardValue(card));
        else if (key == "BZERO   ")
            staged.bzero = cardValue(card);
        else if (key == "BSCALE  ")
            staged.bscale = cardValue(card);
    }

    if (staged.bitpix == -1) return reject(headerText(path, form, "BITPIX error"));
    staged.isFloat = staged.bitpix == -32;
    staged.bitpix = staged.bitpix == INT32_MIN ? INT32_MAX : std::abs(staged.bitpix);
    if (staged.bitpix != 8 && staged.bitpix != 16 && staged.bitpix != 32)
        return reject(headerText(path, form, "BITPIX error : BITPIX =" + numberText(staged.bitpix)));
    if (staged.naxis1 == -1) return reject(headerText(path, form, "NAXIS1 error"));
    if (staged.naxis2 == -1) return reject(headerText(path, form, "NAXIS2 error"));

    // What the image model cannot hold is refused before anything is decoded.
    if (!endFound) {
        if (recordsToScan == kMaxHeaderCards)
            return reject(ownReason("the header has no END record within its first 500 records"));
        return reject(ownReason("the header has no END record"));
    }
    if (staged.naxis1 < 1 || staged.naxis1 > kMaxAxis)
        return reject(ownReason("NAXIS1 =" + numberText(staged.naxis1) + " is outside 1 ... 3073"));
    if (staged.naxis2 < 1 || staged.naxis2 > kMaxAxis)
        return reject(ownReason("NAXIS2 =" + numberText(staged.naxis2) + " is outside 1 ... 3073"));

    const bool colour = staged.naxis3 == 3 && (form == ReadForm::Dialog || staged.isFloat);
    const int planes = colour ? 3 : 1;
    const int bytesPerValue = staged.bitpix / 8;
    const long long dataOffset = headerBytes(staged.cardCount());
    const long long valuesPerPlane = static_cast<long long>(staged.naxis1) * staged.naxis2;
    const long long dataBytes = valuesPerPlane * planes * bytesPerValue;
    if (static_cast<long long>(fileLength) < dataOffset + dataBytes)
        return reject(ownReason("the data are shorter than the header announces (" +
                                plainNumberText(static_cast<std::int64_t>(static_cast<long long>(fileLength) - std::min<long long>(dataOffset, static_cast<long long>(fileLength)))) +
                                " of" + numberText(static_cast<std::int64_t>(dataBytes)) + " bytes)"));

    ValueRules rules;
    rules.bscale = staged.bscale;
    rules.offset = staged.bzero * options.bzeroSign;
    rules.calcMode = options.readCalcMode;
    rules.calcValue = options.readCalcValue;
    rules.wrapAt = staged.isFloat ? 0 : staged.bitpix == 16 ? 65536 : staged.bitpix == 8 ? 256 : 0;

    ChunkDecoder decode = nullptr;
    long long shift = 0;
    const long long rawMax = staged.bitpix == 16 ? 65535 : staged.bitpix == 8 ? 255 : INT32_MAX;
    const auto intShift = rules.integerShift(rawMax);
    if (staged.isFloat) {
        // Monochrome floats ignore BSCALE/BZERO; without reading arithmetic
        // the rounded value is stored as it is.
        const bool plain = !colour && rules.calcMode == 0 && rules.calcValue == 0.0;
        decode = colour  ? &decodeThenTally<&decodeFloat<true>>
                 : plain ? &decodeFloatPlain
                         : &decodeThenTally<&decodeFloat<false>>;
    } else if (staged.bitpix == 16) {
        const bool fits = intShift && *intShift >= INT32_MIN && *intShift + 65535 <= INT32_MAX;
        if (fits && *intShift >= 0 && *intShift < 65536 && !options.duskyPicture)
            decode = &decode16Modular;
        else
            decode = fits ? &decodeThenTally<&decode16Shift> : &decodeThenTally<&decodeScaled<2>>;
        shift = fits ? *intShift : 0;
    } else if (staged.bitpix == 8) {
        const bool fits = intShift && *intShift >= INT32_MIN && *intShift + 255 <= INT32_MAX;
        decode = fits ? &decodeThenTally<&decode8Shift> : &decodeThenTally<&decodeScaled<1>>;
        shift = fits ? *intShift : 0;
    } else {
        decode = intShift ? &decodeThenTally<&decode32Shift> : &decodeThenTally<&decodeScaled<4>>;
        shift = intShift ? *intShift : 0;
    }

    // Every value of the planes read is written below, so neither reused nor
    // new storage needs clearing.
    if (pool) staged.pixels = pool->take();
    staged.pixels.resize(static_cast<std::size_t>(valuesPerPlane * planes));
    staged.planes = planes;
    auto giveBack = [&](PixelVector&& storage) {
        if (pool) pool->give(std::move(storage));
    };

    // Values `from` up to `to` of all planes, in chunks that never cross a
    // plane, into their own tally; `nextChunk` gives the bytes of each chunk
    // in turn.
    const long long totalValues = valuesPerPlane * planes;
    auto decodeSpan = [&](long long from, long long to, auto&& nextChunk, Tally& tally, DecodeStop& stop) {
        for (long long i = from; i < to;) {
            const int plane = static_cast<int>(i / valuesPerPlane);
            const long long done = i - plane * valuesPerPlane;
            const TallyRules how{options.duskyPicture, staged.isFloat && !colour, plane == 0};
            const auto n = static_cast<std::size_t>(
                std::min({static_cast<long long>(kChunkValues), to - i, valuesPerPlane - done}));
            const unsigned char* in = nextChunk(n * static_cast<std::size_t>(bytesPerValue));
            if (!in) {
                stop = {DecodeStop::ReadFailed, plane, done, errno};
                return;
            }
            const std::size_t good = decode(in, n, staged.pixels.data() + i, rules, shift, how, tally);
            if (good != n) {
                stop = {DecodeStop::DoesNotFit, plane, done + static_cast<long long>(good), 0};
                return;
            }
            i += static_cast<long long>(n);
        }
    };

    // A large frame is decoded by two threads, one half each: opening it
    // is bound by the processor, and by the kernel setting up the file's
    // pages and clearing the new storage, which then also run on both. The
    // halves meet at a 2 MB boundary of the storage, so they never fault in
    // the same huge page.
    const long long half = totalValues / 2 / kHugePageValues * kHugePageValues;
    const bool twoHalves = half >= kHugePageValues && twoThreadsHelp();

    Tally tally;
    DecodeStop stop;
    const MappedData mapped = mapData(file.get(), static_cast<std::size_t>(dataOffset + dataBytes), !twoHalves);
    if (mapped.shrunk) {
        giveBack(std::move(staged.pixels));
        return reject(ownReason("the data are shorter than the header announces"));
    }
    if (mapped.bytes) {
        if (auto hook = afterMapHook.load()) hook(path);
        // Straight from the file's pages: no copy, no read buffer.
        const unsigned char* data = mapped.bytes + dataOffset;
        auto decodeMapped = [&](long long from, long long to, Tally& t, DecodeStop& s) {
            const unsigned char* at = data + from * bytesPerValue;
            if (twoHalves)
                populateRange(mapped, static_cast<std::size_t>(dataOffset + from * bytesPerValue),
                              static_cast<std::size_t>(dataOffset + to * bytesPerValue));
            return decodeGuarded(mapped, [&] {
                decodeSpan(
                    from, to,
                    [&](std::size_t bytes) {
                        const unsigned char* chunk = at;
                        at += bytes;
                        return chunk;
                    },
                    t, s);
            });
        };
        bool whole = true;
        bool split = false;
#if LV_MAPPED_READ
        if (twoHalves) {
            Tally secondTally;
            DecodeStop secondStop;
            bool secondWhole = true;
            auto secondHalf = [&] { secondWhole = decodeMapped(half, totalValues, secondTally, secondStop); };
            HelperThread second(secondHalf);
            if (second.started()) {
                split = true;
                whole = decodeMapped(0, half, tally, stop);
                second.join();
                whole = whole && secondWhole;
                // The first value that does not fit is the one reported.
                if (stop.kind == DecodeStop::None) stop = secondStop;
                tally.minValue = std::min(tally.minValue, secondTally.minValue);
                tally.maxValue = std::max(tally.maxValue, secondTally.maxValue);
                tally.sum += secondTally.sum;
            }
        }
#endif
        // One thread, also when no second one was to be had.
        if (!split) whole = decodeMapped(0, totalValues, tally, stop);
        if (!whole) {
            // The file was cut short while it was being read.
            giveBack(std::move(staged.pixels));
            return reject(ownReason("the data are shorter than the header announces"));
        }
    } else {
        // The header is at most 14 blocks long, well inside what fseek can address.
        if (std::fseek(file.get(), static_cast<long>(dataOffset), SEEK_SET) != 0) {
            giveBack(std::move(staged.pixels));
            return reject(ownReason("the file cannot be read (" + describeErrno(errno) + ")"));
        }
        // 32-bit words, so that float data can be taken as words without copying.
        std::unique_ptr<std::uint32_t[]> buffer(
            new std::uint32_t[kChunkValues * static_cast<std::size_t>(bytesPerValue) / 4]);
        decodeSpan(
            0, totalValues,
            [&](std::size_t bytes) -> const unsigned char* {
                errno = 0;
                if (std::fread(buffer.get(), 1, bytes, file.get()) != bytes) return nullptr;
                return reinterpret_cast<const unsigned char*>(buffer.get());
            },
            tally, stop);
    }
    if (stop.kind == DecodeStop::ReadFailed) {
        giveBack(std::move(staged.pixels));
        return reject(ownReason("the file cannot be read (" + describeErrno(stop.err ? stop.err : EIO) + ")"));
    }
    if (stop.kind == DecodeStop::DoesNotFit) {
        std::string where = "the value at column" + numberText(static_cast<std::int64_t>(stop.at % staged.naxis1)) +
                            ", row" + numberText(static_cast<std::int64_t>(stop.at / staged.naxis1));
        if (planes > 1) where += ", plane" + numberText(stop.plane);
        giveBack(std::move(staged.pixels));
        return reject(ownReason(where + " does not fit in a 32-bit integer"));
    }

    staged.maxValue = tally.maxValue == INT32_MIN ? -1 : tally.maxValue;
    staged.minValue = tally.minValue;
    staged.fileName = path;
    PixelVector previous = std::move(image.pixels);
    image = std::move(staged);
    giveBack(std::move(previous));
    state.statistics = statisticsLine(image, tally.sum);
    return 0;
}

}  // namespace lv
