#include "core/fits_reader.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>

#include "core/conventions.h"

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
    // value is raw + shift exactly, and the rounding has nothing to do.
    std::optional<long long> integerShift() const
    {
        if (bscale != 1.0 || calcMode != 0) return std::nullopt;
        if (std::fabs(offset) > 4e9 || std::fabs(calcValue) > 4e9) return std::nullopt;
        if (offset != std::floor(offset) || calcValue != std::floor(calcValue)) return std::nullopt;
        return static_cast<long long>(offset) + static_cast<long long>(calcValue);
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

// Decoding of one chunk: src holds n big-endian values; the decoded values go
// to dst. Returns the index of the first value that cannot be stored, or n.
using ChunkDecoder = std::size_t (*)(const unsigned char* src, std::size_t n, std::int32_t* dst,
                                     const ValueRules& rules, long long shift);

inline std::uint32_t be16(const unsigned char* p) { return (std::uint32_t{p[0]} << 8) | p[1]; }
inline std::uint32_t be32(const unsigned char* p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
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

void tallyValues(const std::int32_t* v, std::size_t n, bool dusky, bool everyCandidate, bool addToSum, Tally& t)
{
    std::int32_t mn = t.minValue;
    std::int32_t mx = t.maxValue;
    long long sum = 0;
    if (dusky && !everyCandidate) {
        for (std::size_t i = 0; i < n; ++i) {
            mn = std::min(mn, v[i]);
            mx = std::max(mx, v[i] < FitsImage::kDuskyLimit ? v[i] : INT32_MIN);
            sum += v[i];
        }
    } else {
        for (std::size_t i = 0; i < n; ++i) {
            mn = std::min(mn, v[i]);
            mx = std::max(mx, v[i]);
            sum += v[i];
        }
    }
    t.minValue = mn;
    t.maxValue = mx;
    if (addToSum) t.sum += sum;
}

std::string headerText(std::string_view path, ReadForm form, std::string_view text)
{
    return form == ReadForm::Dialog ? std::string(text) : std::string(path) + std::string(text);
}

}  // namespace

double cardValue(const HeaderCard& card)
{
    if (card.size() < 10) return 0.0;
    return leadingNumber(std::string_view(card).substr(9, 21));
}

bool hasFitsFileNameEnding(std::string_view path)
{
    if (path.size() < 3) return false;
    const std::string_view end = path.substr(path.size() - 3);
    return end == "fit" || end == "fts" || end == "FIT" || end == "FTS" || end == "Fit" || end == "Fts";
}

int readFitsFile(FitsImage& image, AppState& state, const std::string& path, ReadForm form, Platform& platform)
{
    const ReadOptions options = readOptionsOf(state);
    auto reject = [&](const std::string& text) {
        platform.message(text);
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
    const auto intShift = rules.integerShift();
    if (staged.isFloat) {
        decode = colour ? &decodeFloat<true> : &decodeFloat<false>;
    } else if (staged.bitpix == 16) {
        const bool fits = intShift && *intShift >= INT32_MIN && *intShift + 65535 <= INT32_MAX;
        decode = fits ? &decode16Shift : &decodeScaled<2>;
        shift = fits ? *intShift : 0;
    } else if (staged.bitpix == 8) {
        const bool fits = intShift && *intShift >= INT32_MIN && *intShift + 255 <= INT32_MAX;
        decode = fits ? &decode8Shift : &decodeScaled<1>;
        shift = fits ? *intShift : 0;
    } else {
        decode = intShift ? &decode32Shift : &decodeScaled<4>;
        shift = intShift ? *intShift : 0;
    }

    // The header is at most 14 blocks long, well inside what fseek can address.
    if (std::fseek(file.get(), static_cast<long>(dataOffset), SEEK_SET) != 0)
        return reject(ownReason("the file cannot be read (" + describeErrno(errno) + ")"));

    staged.allocate(staged.naxis1, staged.naxis2, planes);
    const bool everyCandidate = staged.isFloat && !colour;
    Tally tally;
    std::vector<unsigned char> buffer(kChunkValues * static_cast<std::size_t>(bytesPerValue));
    std::int32_t* out = staged.pixels.data();
    const long long totalValues = valuesPerPlane * planes;
    for (long long done = 0; done < totalValues;) {
        const std::size_t n = static_cast<std::size_t>(std::min<long long>(kChunkValues, totalValues - done));
        const std::size_t bytes = n * static_cast<std::size_t>(bytesPerValue);
        if (std::fread(buffer.data(), 1, bytes, file.get()) != bytes)
            return reject(ownReason("the file cannot be read (" + describeErrno(errno) + ")"));
        const std::size_t good = decode(buffer.data(), n, out + done, rules, shift);
        if (good != n) {
            const long long at = done + static_cast<long long>(good);
            const long long plane = at / valuesPerPlane;
            const long long inPlane = at % valuesPerPlane;
            std::string where = "the value at column" + numberText(static_cast<std::int64_t>(inPlane % staged.naxis1)) +
                                ", row" + numberText(static_cast<std::int64_t>(inPlane / staged.naxis1));
            if (planes > 1) where += ", plane" + numberText(static_cast<std::int64_t>(plane));
            return reject(ownReason(where + " does not fit in a 32-bit integer"));
        }
        // The plane-0 sum feeds the statistics line; values are counted per chunk.
        const long long plane0Left = std::max<long long>(0, valuesPerPlane - done);
        const std::size_t inPlane0 = static_cast<std::size_t>(std::min<long long>(plane0Left, static_cast<long long>(n)));
        tallyValues(out + done, inPlane0, options.duskyPicture, everyCandidate, true, tally);
        tallyValues(out + done + inPlane0, n - inPlane0, options.duskyPicture, everyCandidate, false, tally);
        done += static_cast<long long>(n);
    }

    staged.maxValue = tally.maxValue == INT32_MIN ? -1 : tally.maxValue;
    staged.minValue = tally.minValue;
    staged.fileName = path;
    image = std::move(staged);
    state.statistics = statisticsLine(image, tally.sum);
    return 0;
}

bool openFileAsDropped(FitsImage& image, AppState& state, const std::string& path, Platform& platform)
{
    if (!hasFitsFileNameEnding(path)) {
        platform.message(kNotFitsMessage);
        return false;
    }
    int status;
    {
        BusyPointer busy(platform);
        status = readFitsFile(image, state, path, ReadForm::Command, platform);
    }
    if (status != 0) {
        platform.message(kFileOpenErrorMessage);
        return false;
    }
    return true;
}

}  // namespace lv
