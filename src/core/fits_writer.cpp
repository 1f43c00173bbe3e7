#include "core/fits_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/conventions.h"
#include "core/file_replace.h"
#include "core/fits_header.h"
#include "core/vector_clones.h"

namespace lv {

namespace {

// Output rows are gathered into blocks of about this size per write call.
constexpr std::size_t kWriteBlock = 1 << 20;

}  // namespace

HeaderCard bitpixCard(int bitpix)
{
    const char* value = bitpix == 8 ? " 8" : bitpix == 16 ? "16" : "32";
    return paddedCard(std::string("BITPIX  =                   ") + value);
}

std::string inPlaceRefusal(const std::string& path, const std::string& compression, bool otherUnits)
{
    if (!compression.empty())
        return path + ": the file is compressed (" + compression + "); it was not rewritten and keeps its bytes";
    if (otherUnits)
        return path + ": the file holds more than one image or table; it was not rewritten and keeps its bytes";
    return {};
}

namespace {

// What a write of `image` puts in the file, worked out before any byte is
// written: the header as written and how the values are stored.
struct WritePlan {
    std::vector<HeaderCard> kept;  // the records the image keeps once written
    std::string header;            // the header as written, whole blocks
    int bitpix = 16;
    int planesOut = 1;
    std::int32_t upper = 0;
    bool blanksOut = false;
    std::int32_t blankRaw = INT32_MIN;
    std::size_t columns = 0;
    std::size_t bytesPerValue = 2;
    std::size_t rowBytes = 0;
    std::size_t dataBytes = 0;
    int allRows = 0;  // the planes follow each other: written as one run of rows
};

bool planWrite(const FitsImage& image, const std::string& path, int bitpix, WritePlan& plan, std::string& error)
{
    if (bitpix != 8 && bitpix != 16 && bitpix != 32) {
        error = "BITPIX must be 8, 16 or 32";
        return false;
    }
    if (!image.loaded() || image.cards.empty() || image.cards.back().compare(0, 3, "END") != 0) {
        error = "there is no image with a header to write";
        return false;
    }

    // Header as written. BZERO and BSCALE records keep what was written;
    // the BITPIX record in memory stays as it was read.
    const HeaderCard bzeroCard = paddedCard(bitpix == 16 ? "BZERO   =                32768"
                                                     : "BZERO   =                    0");
    const HeaderCard bscaleCard = paddedCard("BSCALE  =                    1");
    // A frame from an extension or a compressed file becomes one plain image.
    std::vector<HeaderCard> kept = singleImageCards(image);
    bool hasBzero = false;
    bool hasBscale = false;
    for (HeaderCard& card : kept) {
        const std::string_view key = cardKeyword(card);
        if (key == "BZERO   ") {
            card = bzeroCard;
            hasBzero = true;
        } else if (key == "BSCALE  ") {
            card = bscaleCard;
            hasBscale = true;
        }
    }
    if (bitpix == 16) {
        // Without BZERO 32768 other readers would take the values as signed.
        if (!hasBzero) kept.insert(kept.end() - 1, bzeroCard);
        if (!hasBscale) kept.insert(kept.end() - 1, bscaleCard);
    }
    // A BLANK record read with the frame would mark whatever value now has
    // its raw form: only the one written for this frame's blanks is kept.
    std::erase_if(kept, [](const HeaderCard& c) { return cardKeyword(c) == "BLANK   "; });
    // Which planes the data unit holds must be what its header announces. An
    // image read with all its planes writes them all; one that holds only
    // plane 0 of a three-plane file is written as a two-axis image.
    const int planesOut = image.planes >= 3 && image.naxis3 == 3 ? 3 : 1;
    if (planesOut == 1) {
        const auto third = std::find_if(kept.begin(), kept.end(),
                                        [](const HeaderCard& c) { return cardKeyword(c) == "NAXIS3  "; });
        if (third != kept.end()) {
            kept.erase(third);
            for (HeaderCard& c : kept) {
                if (cardKeyword(c) != "NAXIS   ") continue;
                // Only the value changes: a comment after a fixed-format value stays.
                HeaderCard two = paddedCard(c);
                const std::size_t rest = two.find_first_not_of(' ', 30);
                if (rest != std::string::npos && two[rest] != '/') two = paddedCard("");
                two.replace(0, 30, "NAXIS   =                    2");
                c = two;
            }
        }
    }
    if (static_cast<int>(kept.size()) > kMaxHeaderCards) {
        error = path + ": the header would have " + std::to_string(kept.size()) + " records with BZERO and BSCALE, more than " +
                std::to_string(kMaxHeaderCards) + " that can be read back; the file was not written";
        return false;
    }
    const std::int32_t upper = bitpix == 8 ? 255 : bitpix == 16 ? 65535 : INT32_MAX;
    // Blank values are written as a raw value no other value of the frame
    // has: for 32-bit data -2^31 (values are written from 0 up), for 16-bit
    // data the least value no pixel takes. 8-bit data have no such mark.
    const std::size_t valuesOut = static_cast<std::size_t>(image.naxis1) * static_cast<std::size_t>(image.naxis2) *
                                  static_cast<std::size_t>(planesOut);
    const bool blanksOut = image.hasBlanks() && bitpix != 8 &&
                           std::find(image.blanks.begin(), image.blanks.begin() + static_cast<std::ptrdiff_t>(valuesOut),
                                     std::uint8_t{1}) != image.blanks.begin() + static_cast<std::ptrdiff_t>(valuesOut);
    std::int32_t blankRaw = INT32_MIN;
    if (blanksOut && bitpix == 16) {
        std::vector<std::uint8_t> taken(65536, 0);
        const std::int32_t* p = image.plane(0);
        for (std::size_t i = 0; i < valuesOut; ++i)
            if (!image.blanks[i]) taken[static_cast<std::size_t>(std::clamp(p[i], 0, upper))] = 1;
        const auto freeValue = std::find(taken.begin(), taken.end(), std::uint8_t{0});
        if (freeValue == taken.end()) {
            error = path + ": every 16-bit value is taken by a pixel, so the blank pixels cannot be marked; save the "
                           "frame as 32-bit integers. The file was not written";
            return false;
        }
        blankRaw = static_cast<std::int32_t>(freeValue - taken.begin()) - 32768;  // BZERO 32768
    }
    if (blanksOut) kept.insert(kept.end() - 1, valueCard("BLANK", plainNumberText(blankRaw)));
    if (static_cast<int>(kept.size()) > kMaxHeaderCards) {
        error = path + ": the header would have " + std::to_string(kept.size()) + " records with BLANK, more than " +
                std::to_string(kMaxHeaderCards) + " that can be read back; the file was not written";
        return false;
    }
    plan.bitpix = bitpix;
    plan.planesOut = planesOut;
    plan.upper = upper;
    plan.blanksOut = blanksOut;
    plan.blankRaw = blankRaw;
    plan.bytesPerValue = static_cast<std::size_t>(bitpix / 8);
    plan.columns = static_cast<std::size_t>(image.naxis1);
    plan.rowBytes = plan.columns * plan.bytesPerValue;
    plan.allRows = image.naxis2 * planesOut;
    plan.dataBytes = plan.rowBytes * static_cast<std::size_t>(plan.allRows);
    plan.header.clear();
    plan.header.reserve(static_cast<std::size_t>(headerBytes(static_cast<int>(kept.size()))));
    for (const HeaderCard& card : kept)
        plan.header += cardKeyword(card) == "BITPIX  " ? bitpixCard(bitpix) : paddedCard(card);
    plan.header.resize(static_cast<std::size_t>(headerBytes(static_cast<int>(kept.size()))), ' ');
    plan.kept = std::move(kept);
    return true;
}

// Values as stored, each kernel true when it clamped one; written so that
// the compiler turns them into vector code (whole frames pass through them).
LV_VECTOR_CLONES bool encode16(const std::int32_t* __restrict in, unsigned char* __restrict out, std::size_t n)
{
    std::int32_t changed = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::int32_t v = std::clamp(in[i], 0, 65535);
        changed |= v ^ in[i];
        // v - 32768 in 16 bits (BZERO 32768), big-endian
        const auto s = static_cast<std::uint16_t>(__builtin_bswap16(static_cast<std::uint16_t>(v ^ 0x8000)));
        std::memcpy(out + 2 * i, &s, 2);
    }
    return changed != 0;
}

LV_VECTOR_CLONES bool encode8(const std::int32_t* __restrict in, unsigned char* __restrict out, std::size_t n)
{
    std::int32_t changed = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::int32_t v = std::clamp(in[i], 0, 255);
        changed |= v ^ in[i];
        out[i] = static_cast<unsigned char>(v);
    }
    return changed != 0;
}

LV_VECTOR_CLONES bool encode32(const std::int32_t* __restrict in, unsigned char* __restrict out, std::size_t n)
{
    std::int32_t changed = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::int32_t v = std::max(in[i], 0);
        changed |= v ^ in[i];
        const std::uint32_t u = __builtin_bswap32(static_cast<std::uint32_t>(v));
        std::memcpy(out + 4 * i, &u, 4);
    }
    return changed != 0;
}

// Rows y ... y + rows - 1 of the run as stored; true when a value was clamped.
bool encodeRows(const WritePlan& plan, const FitsImage& image, int y, int rows, unsigned char* out)
{
    const std::size_t n = static_cast<std::size_t>(rows) * plan.columns;
    const std::int32_t* in = image.plane(0) + static_cast<std::size_t>(y) * plan.columns;
    const bool clamped = plan.bitpix == 16 ? encode16(in, out, n) : plan.bitpix == 8 ? encode8(in, out, n)
                                                                                      : encode32(in, out, n);
    if (plan.blanksOut) {
        const std::uint8_t* blank = image.blanks.data() + static_cast<std::size_t>(y) * plan.columns;
        const auto u = static_cast<std::uint32_t>(plan.blankRaw);
        const std::size_t bytes = plan.bytesPerValue;
        for (std::size_t i = 0; i < n; ++i) {
            if (!blank[i]) continue;
            for (std::size_t b = 0; b < bytes; ++b)
                out[i * bytes + b] = static_cast<unsigned char>(u >> (8 * (bytes - 1 - b)));
        }
    }
    return clamped;
}

// The data unit ends on a 2880-byte boundary, filled with zero bytes.
std::size_t paddingOf(const WritePlan& plan) { return (kBlockLength - plan.dataBytes % kBlockLength) % kBlockLength; }

// The file is in place: the image now holds what it says.
void takeWritten(FitsImage& image, std::vector<HeaderCard>&& kept, int bitpix, bool anyClamped,
                 const std::string& path, std::string* notice)
{
    if (anyClamped) {
        const std::int32_t upper = bitpix == 8 ? 255 : bitpix == 16 ? 65535 : INT32_MAX;
        const int planesOut = image.planes >= 3 && image.naxis3 == 3 ? 3 : 1;
        std::int32_t* p = image.plane(0);
        const std::size_t n = static_cast<std::size_t>(image.naxis1) * static_cast<std::size_t>(image.naxis2) *
                              static_cast<std::size_t>(planesOut);
        for (std::size_t i = 0; i < n; ++i) p[i] = std::clamp(p[i], 0, upper);
    }
    // `kept` has the BITPIX record as read: only the file says the new BITPIX.
    image.cards = std::move(kept);
    image.hdu = 0;
    image.primaryRecords = 0;
    image.compression.clear();
    image.otherUnits = false;
    image.fileName = path;
    image.bitpix = bitpix;
    if (bitpix == 8 && image.hasBlanks()) {
        // Written as 0: so they now are.
        image.blanks.clear();
        if (notice) *notice = path + ": 8-bit data have no mark for blank pixels, so they were written as 0";
    }
}

}  // namespace

bool writeFitsFile(FitsImage& image, const std::string& path, int bitpix, std::string& error, std::string* notice)
{
    WritePlan plan;
    if (!planWrite(image, path, bitpix, plan, error)) return false;
    bool anyClamped = false;
    auto write = [&](std::FILE* f) {
        std::setvbuf(f, nullptr, _IONBF, 0);  // our blocks are large already
        if (std::fwrite(plan.header.data(), 1, plan.header.size(), f) != plan.header.size()) return false;
        const std::size_t rowsPerBlock = std::max<std::size_t>(1, kWriteBlock / plan.rowBytes);
        std::vector<unsigned char> block(rowsPerBlock * plan.rowBytes);
        for (int y = 0; y < plan.allRows;) {
            const int rows =
                static_cast<int>(std::min<std::size_t>(rowsPerBlock, static_cast<std::size_t>(plan.allRows - y)));
            anyClamped |= encodeRows(plan, image, y, rows, block.data());
            const std::size_t bytes = static_cast<std::size_t>(rows) * plan.rowBytes;
            if (std::fwrite(block.data(), 1, bytes, f) != bytes) return false;
            y += rows;
        }
        std::vector<unsigned char> zeros(paddingOf(plan), 0);
        return std::fwrite(zeros.data(), 1, zeros.size(), f) == zeros.size();
    };
    if (!replaceFile(path, write, error)) return false;
    takeWritten(image, std::move(plan.kept), bitpix, anyClamped, path, notice);
    return true;
}

bool encodeFitsFile(const FitsImage& image, const std::string& path, int bitpix, EncodedFits& out,
                    std::string& error)
{
    WritePlan plan;
    if (!planWrite(image, path, bitpix, plan, error)) return false;
    const std::size_t pad = paddingOf(plan);
    unsigned char* at = out.bytes.sizedFor(plan.header.size() + plan.dataBytes + pad);
    std::memcpy(at, plan.header.data(), plan.header.size());
    unsigned char* data = at + plan.header.size();
    out.clamped = plan.allRows > 0 && encodeRows(plan, image, 0, plan.allRows, data);
    std::memset(data + plan.dataBytes, 0, pad);
    out.path = path;
    out.bitpix = bitpix;
    out.cards = std::move(plan.kept);
    return true;
}

namespace {

std::string_view bytesOf(const EncodedFits& encoded)
{
    return {reinterpret_cast<const char*>(encoded.bytes.data.get()), encoded.bytes.size};
}

}  // namespace

void stageEncodedFits(EncodedFits& encoded) { encoded.staged = StagedReplacement::ahead(encoded.path, bytesOf(encoded)); }

bool writeEncodedFits(FitsImage& image, EncodedFits& encoded, std::string& error, std::string* notice)
{
    const bool written = encoded.staged.begun() ? encoded.staged.finish(error)
                                                : replaceFileWith(encoded.path, bytesOf(encoded), error);
    if (!written) return false;
    takeWritten(image, std::move(encoded.cards), encoded.bitpix, encoded.clamped, encoded.path, notice);
    return true;
}

}  // namespace lv
