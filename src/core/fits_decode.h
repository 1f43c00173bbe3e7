// Decoding a FITS data unit into 32-bit pixel values: the value rules of a
// read, the per-chunk decoders (with AVX2 kernels for the common cases), and
// the read of the data themselves, by positional reads of the file (large
// frames by two threads) or through a buffered read.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "core/conventions.h"

namespace lv {

// Values are decoded in chunks of at most this many.
inline constexpr std::size_t kChunkValues = 1 << 16;

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

// The decoder for data of this kind, and the whole-number shift it adds
// (0 when it does not use one).
ChunkDecoder chooseDecoder(int bitpix, bool isFloat, bool colour, const ValueRules& rules, bool dusky,
                           long long& shift);

// What decodeData reads and how.
struct DataPlan {
    ChunkDecoder decode = nullptr;
    ValueRules rules;
    long long shift = 0;
    int bytesPerValue = 2;
    int planes = 1;
    long long valuesPerPlane = 0;
    bool dusky = false;           // "Dusky picture": only values below 60000 may be the maximum
    bool everyCandidate = false;  // monochrome floats: every value may be
    // Blank raw values: NaN and the infinities of float data; in integer
    // data the BLANK value, big-endian in bytesPerValue bytes.
    bool floatBlanks = false;
    bool integerBlank = false;
    unsigned char blankBytes[8] = {};
    long long blankValue = 0;

    // The BLANK value of integer data of this BITPIX; a value the data type
    // cannot hold marks nothing.
    void setIntegerBlank(int bitpix, long long blank);
};

// A run of blank values: indices [from, from + count) over all planes.
struct BlankRun {
    long long from = 0;
    long long count = 0;
};

struct DataResult {
    enum Kind {
        Read,        // every value decoded
        ReadFailed,  // the file could not be read (err)
        DoesNotFit,  // the value at (plane, at) cannot be stored
        CutShort,    // the file became shorter than its header says while it was read
    } kind = Read;
    int plane = 0;
    long long at = 0;  // value index within the plane
    int err = 0;
    Tally tally;       // extremes of every plane, sum of plane 0 (blank values left out)
    std::vector<BlankRun> blanks;  // in ascending order; blank values are stored as 0
};

// Decodes planes x valuesPerPlane values from `dataOffset` of `file` into `out`.
DataResult decodeData(std::FILE* file, const std::string& path, long long dataOffset, const DataPlan& plan,
                      std::int32_t* out);

// Decodes planes x valuesPerPlane values handed over one chunk at a time:
// next(bytes) gives the next `bytes` raw bytes, big-endian as in a file, or
// null when they cannot be had (the result is then ReadFailed).
DataResult decodeFrom(const DataPlan& plan, std::int32_t* out,
                      const std::function<const unsigned char*(std::size_t bytes)>& next);

// Fault injection for tests: called with the path once the header of a file
// is checked, before its data are read (nullptr: nothing).
void beforeDataReadForTesting(void (*hook)(const std::string& path));

}  // namespace lv
