// readFitsFile on any bytes, in both read forms and under every reading
// option. Input: two option bytes, then the file.
//   byte 0: bit 0 Dialog form, bit 1 BZERO subtracted ("Non Sign Integer"
//           unticked), bit 2 dusky picture, bit 3 reading arithmetic
//           multiplies, bit 4 read into storage from a pool filled with
//           junk, bit 5 cut the file short before its data are read
//   byte 1: low half the reading arithmetic's value (kCalcValues), high half
//           where the file is cut, in sixteenths of its data
// An accepted read must give exactly what the plain per-value rules below
// give, so that the reader's shortcuts (whole-number shifts, 16-bit modular
// decoding, the float fast path, the pool) are held to the general rules; a
// rejected read must leave the previous image and the statistics as they were.
#include <bit>
#include <cmath>
#include <limits>
#include <optional>

#include <sys/types.h>

#include "core/conventions.h"
#include "core/fits_reader.h"
#include "fits_builder.h"
#include "fuzz_support.h"

namespace lv {
namespace {

constexpr double kCalcValues[16] = {0,   1,        -1,     0.5,     2,     -2.5,  100,  32768,
                                    -32768, 65536, 1e9, -3e9, 0.1, 1e300, std::numeric_limits<double>::infinity(), 3.5};

std::uint32_t be32(const unsigned char* p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

// The reading arithmetic: add the value, or multiply by it.
__attribute__((no_sanitize("coverage"))) inline std::optional<std::int32_t> calc(std::int32_t v, const ReadOptions& o)
{
    return o.readCalcMode == 0 ? toInt32(static_cast<double>(v) + o.readCalcValue)
                               : toInt32(o.readCalcValue * static_cast<double>(v));
}

struct Expected {
    bool accepted = false;
    bool foreign = false;  // left to cfitsio: only the invariants are checked
    FitsImage image;
    std::size_t needed = 0;  // header and data bytes, once the header is accepted
};

// The reader's rules written out value by value, without any shortcut. Its
// comparisons are not traced for the fuzzer: they would only cost time.
__attribute__((no_sanitize("coverage"))) Expected expectedRead(std::string_view file, const ReadOptions& o, ReadForm form, const std::string& path)
{
    Expected e;
    FitsImage& im = e.image;
    im.resetHeaderState();
    const std::size_t records = std::min<std::size_t>(file.size() / kCardLength, kMaxHeaderCards);
    bool end = false;
    for (std::size_t r = 0; r < records && !end; ++r) {
        im.cards.emplace_back(file.substr(r * kCardLength, kCardLength));
        end = im.cards.back().starts_with("END");
    }
    // A gzip stream, and an empty primary (NAXIS = 0 without NAXIS1), go to cfitsio.
    if (file.size() >= 2 && static_cast<unsigned char>(file[0]) == 0x1f && static_cast<unsigned char>(file[1]) == 0x8b) {
        e.foreign = true;
        return e;
    }
    if (end) {
        const HeaderCard* axes = nullptr;
        bool naxis1 = false;
        for (const HeaderCard& c : im.cards) {
            if (cardKeyword(c) == "NAXIS   ") axes = &c;
            naxis1 |= cardKeyword(c) == "NAXIS1  ";
        }
        if (axes && cardValue(*axes) == 0 && !naxis1) {
            e.foreign = true;
            return e;
        }
    }
    std::int32_t bitpix = -1;
    for (const HeaderCard& c : im.cards) {
        const std::string_view key = cardKeyword(c);
        if (key == "BITPIX  ") bitpix = toInt32Saturated(cardValue(c));
        else if (key == "NAXIS1  ") im.naxis1 = toInt32Saturated(cardValue(c));
        else if (key == "NAXIS2  ") im.naxis2 = toInt32Saturated(cardValue(c));
        else if (key == "NAXIS3  ") im.naxis3 = toInt32Saturated(cardValue(c));
        else if (key == "BZERO   ") im.bzero = cardValue(c);
        else if (key == "BSCALE  ") im.bscale = cardValue(c);
    }
    if (!end || (bitpix != 8 && bitpix != 16 && bitpix != 32 && bitpix != 64 && bitpix != -8 && bitpix != -16 &&
                 bitpix != -32 && bitpix != -64))
        return e;
    if (im.naxis1 < 1 || im.naxis1 > kMaxAxis || im.naxis2 < 1 || im.naxis2 > kMaxAxis) return e;
    im.isFloat = bitpix == -32 || bitpix == -64;
    im.bitpix = std::abs(bitpix);
    im.planes = im.naxis3 == 3 && (form == ReadForm::Dialog || im.isFloat) ? 3 : 1;
    const std::size_t bytes = static_cast<std::size_t>(im.bitpix / 8);
    const std::size_t count = static_cast<std::size_t>(im.naxis1) * static_cast<std::size_t>(im.naxis2) *
                              static_cast<std::size_t>(im.planes);
    const std::size_t offset = static_cast<std::size_t>(headerBytes(im.cardCount()));
    e.needed = offset + count * bytes;
    if (file.size() < e.needed) return e;

    const double shift = im.bzero * o.bzeroSign;
    const std::int32_t wrap = im.isFloat ? 0 : im.bitpix == 16 ? 65536 : im.bitpix == 8 ? 256 : 0;
    const auto* data = reinterpret_cast<const unsigned char*>(file.data()) + offset;
    const bool everyCandidate = im.isFloat && im.planes == 1;
    std::optional<std::int32_t> max;
    std::int32_t min = std::numeric_limits<std::int32_t>::max();
    // Integer data: the last BLANK record, a whole number, marks raw values
    // equal to it (8-bit raw values are unsigned, the others signed).
    std::optional<long long> blank;
    for (const HeaderCard& c : im.cards)
        if (cardKeyword(c) == "BLANK   ") {
            const double b = cardValue(c);
            blank = b == std::floor(b) && std::fabs(b) < 9.2e18 ? std::optional<long long>(static_cast<long long>(b))
                                                                : std::nullopt;
        }
    if (im.isFloat) blank.reset();
    im.pixels.resize(count);
    std::size_t blanks = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char* p = data + i * bytes;
        std::optional<std::int32_t> v;
        const std::uint64_t raw64 = bytes == 8 ? (std::uint64_t{be32(p)} << 32) | be32(p + 4) : 0;
        const std::uint32_t raw32 = bytes == 1 ? p[0] : bytes == 2 ? (std::uint32_t{p[0]} << 8) | p[1] : bytes == 4 ? be32(p) : 0;
        const double asFloat = bytes == 8 ? std::bit_cast<double>(raw64) : static_cast<double>(std::bit_cast<float>(raw32));
        const long long signedRaw = bytes == 1   ? static_cast<long long>(raw32)
                                    : bytes == 2 ? static_cast<long long>(static_cast<std::int16_t>(raw32))
                                    : bytes == 4 ? static_cast<long long>(static_cast<std::int32_t>(raw32))
                                                 : static_cast<long long>(static_cast<std::int64_t>(raw64));
        if (im.isFloat ? !std::isfinite(asFloat) : blank && signedRaw == *blank) {
            if (im.blanks.empty()) im.blanks.assign(count, 0);
            im.blanks[i] = 1;
            im.pixels[i] = 0;
            ++blanks;
            continue;
        }
        if (im.isFloat) {
            v = toInt32(bytes == 8 ? std::bit_cast<double>(raw64) : static_cast<double>(std::bit_cast<float>(be32(p))));
            if (v && im.planes == 3) v = toInt32(static_cast<double>(*v) * im.bscale + shift);
            if (v) v = calc(*v, o);
        } else if (bytes == 8) {
            v = toInt32(static_cast<double>(static_cast<std::int64_t>(raw64)) * im.bscale + shift);
            if (v) v = calc(*v, o);
        } else {
            const std::uint32_t raw = bytes == 1 ? p[0] : bytes == 2 ? (std::uint32_t{p[0]} << 8) | p[1] : be32(p);
            if (bytes == 4 && raw >= 0x80000000u) return e;
            v = toInt32(static_cast<double>(raw) * im.bscale + shift);
            if (v) v = calc(*v, o);
            if (v && wrap != 0 && *v >= wrap) *v -= wrap;
        }
        if (!v) return e;
        im.pixels[i] = *v;
        min = std::min(min, *v);
        if (!o.duskyPicture || everyCandidate || *v < FitsImage::kDuskyLimit) max = std::max(max.value_or(*v), *v);
    }
    im.minValue = min;
    im.maxValue = max.value_or(-1);
    if (blanks == count) im.minValue = im.maxValue = 0;  // nothing but blanks
    // An extension starting where the data unit the header announces ends.
    double unit = bitpix < 0 ? -bitpix / 8.0 : bitpix / 8.0;
    double axisCount = -1, gcount = 1, pcount = 0, product = 1;
    bool every = true;
    for (const HeaderCard& c : im.cards)
        if (cardKeyword(c) == "NAXIS   ") axisCount = cardValue(c);
        else if (cardKeyword(c) == "GCOUNT  ") gcount = cardValue(c);
        else if (cardKeyword(c) == "PCOUNT  ") pcount = cardValue(c);
    for (int a = 1; axisCount >= 1 && axisCount <= 999 && a <= static_cast<int>(axisCount); ++a) {
        const HeaderCard* n = nullptr;
        for (const HeaderCard& c : im.cards)
            if (c.starts_with("NAXIS" + std::to_string(a)) && cardKeyword(c) == ("NAXIS" + std::to_string(a) + "    ").substr(0, 8)) n = &c;
        if (!n) every = false;
        else product *= cardValue(*n);
    }
    if (axisCount >= 1 && axisCount <= 999 && every) {
        const double unitBytes = unit * gcount * (pcount + product);
        if (unitBytes >= 0 && unitBytes < 1e18) {
            const auto padded = (static_cast<long long>(unitBytes) + 2879) / 2880 * 2880;
            const auto at = static_cast<std::size_t>(offset + static_cast<std::size_t>(padded));
            im.otherUnits = at + 8 <= file.size() && file.substr(at, 8) == "XTENSION";
        }
    }
    im.fileName = path;
    e.accepted = true;
    return e;
}

// What differs, for the report of a broken comparison.
void printDifference(const FitsImage& got, const FitsImage& want)
{
#define LV_FIELD(f) \
    if (got.f != want.f) std::fprintf(stderr, #f ": read %s, expected %s\n", std::to_string(got.f).c_str(), std::to_string(want.f).c_str());
    LV_FIELD(bitpix) LV_FIELD(isFloat) LV_FIELD(naxis1) LV_FIELD(naxis2) LV_FIELD(naxis3) LV_FIELD(bzero)
    LV_FIELD(bscale) LV_FIELD(maxValue) LV_FIELD(minValue) LV_FIELD(planes) LV_FIELD(pixels.size()) LV_FIELD(cards.size())
    LV_FIELD(otherUnits) LV_FIELD(hdu) LV_FIELD(primaryRecords) LV_FIELD(blanks.size()) LV_FIELD(blankCount())
#undef LV_FIELD
    for (std::size_t i = 0; i < std::min(got.pixels.size(), want.pixels.size()); ++i)
        if (got.pixels[i] != want.pixels[i]) {
            std::fprintf(stderr, "value %zu: read %d, expected %d\n", i, got.pixels[i], want.pixels[i]);
            break;
        }
    if (got.fileName != want.fileName || got.cards != want.cards) std::fprintf(stderr, "file name or records differ\n");
}

FitsImage previousImage;
std::string previousStatistics;
std::size_t cutAt = 0;  // 0: the file is left whole

void cutFile(const std::string& path)
{
    if (cutAt != 0) FUZZ_CHECK(::truncate(path.c_str(), static_cast<off_t>(cutAt)) == 0);
}

}  // namespace
}  // namespace lv

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    using namespace lv;
    // The image in view before each read: a small 16-bit frame.
    const std::string path = fuzz::scratchPath() + ".first.fit";
    fuzz::writeFile(path, test::simpleFits(16, 5, 3, {test::card("BZERO", "32768")},
                                           test::bytes16({1, 2, 3, 4, 5, 60000, 7, 8, 9, 10, 0, 65535, 300, 400, 500})));
    AppState state;
    ScriptedPlatform platform;
    FUZZ_CHECK(readFitsFile(previousImage, state, path, ReadForm::Command, platform) == 0);
    previousStatistics = state.statistics;
    std::remove(path.c_str());
    beforeDataReadForTesting(&cutFile);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace lv;
    std::string_view input = fuzz::asText(data, size);
    const std::uint8_t flags = fuzz::takeByte(input);
    const std::uint8_t values = fuzz::takeByte(input);
    const ReadForm form = flags & 1 ? ReadForm::Dialog : ReadForm::Command;
    AppState state;
    state.bzeroSign = flags & 2 ? -1 : 1;
    state.duskyPicture = (flags & 4) != 0;
    state.readCalcMode = flags & 8 ? 1 : 0;
    state.readCalcValue = kCalcValues[values & 15];
    state.statistics = previousStatistics;
    const std::string& path = fuzz::scratchPath();
    fuzz::writeFile(path, input);

    Expected expected = expectedRead(input, readOptionsOf(state), form, path);
    cutAt = 0;
    if ((flags & 32) && expected.needed != 0 && input.size() >= expected.needed) {
        const std::size_t offset = static_cast<std::size_t>(headerBytes(expected.image.cardCount()));
        cutAt = offset + (expected.needed - offset) * (values >> 4) / 16;
        if (cutAt == 0 || cutAt >= expected.needed)
            cutAt = 0;
        else
            expected = Expected{};  // data cut short under the reader: refused
    }

    FitsImage image = previousImage;
    ScriptedPlatform platform;
    PixelPool pool;
    if (flags & 16) pool.give(PixelVector(expected.image.pixels.size() + 7, 0x5A5A5A5A));
    const int status = readFitsFile(image, state, path, form, platform, flags & 16 ? &pool : nullptr);

    if (status != 0) {
        FUZZ_CHECK(status == -1);
        FUZZ_CHECK(!expected.accepted);
        FUZZ_CHECK(image == previousImage);
        FUZZ_CHECK(state.statistics == previousStatistics);
        FUZZ_CHECK(platform.shown.size() == 1 && platform.shown[0].error && !platform.shown[0].text.empty());
        if (form == ReadForm::Command) FUZZ_CHECK(platform.shown[0].text.starts_with(path));
        return 0;
    }
    // An accepted read says nothing, but of floats that all round to 0 or 1
    // and of a frame of blanks only.
    const bool allBlank = image.blankCount() == static_cast<long long>(image.pixels.size());
    const bool unit = image.isFloat && image.minValue >= 0 && image.minValue <= 1 && image.maxValue >= 0 && image.maxValue <= 1;
    FUZZ_CHECK(allBlank ? platform.shown.size() == 1 && platform.shown[0].text.find("every pixel of this frame is blank") != std::string::npos
               : unit   ? platform.shown.size() == 1 && platform.shown[0].text == unitFloatMessage(path)
                        : platform.shown.empty());
    FUZZ_CHECK(image.blanks.empty() || image.blanks.size() == image.pixels.size());
    FUZZ_CHECK(image.naxis1 >= 1 && image.naxis1 <= kMaxAxis && image.naxis2 >= 1 && image.naxis2 <= kMaxAxis);
    FUZZ_CHECK(image.planes >= 1 && image.planes <= kMaxPlanes);
    FUZZ_CHECK(image.pixels.size() == static_cast<std::size_t>(image.naxis1) * static_cast<std::size_t>(image.naxis2) *
                                          static_cast<std::size_t>(image.planes));
    FUZZ_CHECK(image.cardCount() >= 1 && image.cardCount() <= 2 * kMaxHeaderCards);
    FUZZ_CHECK(image.card(image.cardCount()).starts_with("END"));
    FUZZ_CHECK(state.statistics == statisticsLine(image));
    if (expected.foreign) {
        FUZZ_CHECK(image.primaryRecords >= 0 && image.primaryRecords < image.cardCount());
        FUZZ_CHECK((image.hdu == 0) == (image.primaryRecords == 0));
        return 0;
    }
    FUZZ_CHECK(image.cardCount() <= kMaxHeaderCards);
    FUZZ_CHECK(expected.accepted);
    if (image != expected.image) printDifference(image, expected.image);
    FUZZ_CHECK(image == expected.image);
    return 0;
}
