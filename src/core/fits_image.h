// The one current image and its header, as read from a FITS file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "core/pixel_storage.h"

namespace lv {

// What every command that needs an image says when none is loaded.
inline constexpr const char* kNoImageMessage = "You do not open the data file";

// Capacity of the image model.
inline constexpr int kMaxAxis = 3073;        // columns and rows
inline constexpr int kMaxPlanes = 3;
inline constexpr int kMaxHeaderCards = 500;  // records up to and including END
inline constexpr int kCardLength = 80;
inline constexpr int kCardsPerBlock = 36;
inline constexpr int kBlockLength = kCardLength * kCardsPerBlock;  // 2880

// One 80-byte header record, kept byte for byte.
using HeaderCard = std::string;

// The first eight characters of a record, its keyword field.
std::string_view cardKeyword(const HeaderCard& card);

struct FitsImage {
    std::string fileName;               // full path; also the image window's title
    std::vector<HeaderCard> cards;      // records 1 ... cardCount (index 0 is record 1)
    std::int32_t bitpix = -1;           // 8, 16, 32 or 64 (absolute value of BITPIX)
    bool isFloat = false;               // BITPIX was -32 or -64
    std::int32_t naxis1 = 0;            // columns
    std::int32_t naxis2 = 0;            // rows
    std::int32_t naxis3 = -1;           // 3 for a three-plane colour image
    double bzero = 0.0;
    double bscale = 1.0;
    // Where the image came from, when not the primary of a plain file.
    int hdu = 0;                        // 0: the primary; k: the k-th extension
    int primaryRecords = 0;             // leading records of `cards` that are the primary's (an extension's image)
    std::string compression;            // tile-compression algorithm, "gzip", or "" for a plain file
    bool otherUnits = false;            // the file holds more than this image (extensions, an empty primary)
    std::int32_t maxValue = -1;
    std::int32_t minValue = std::numeric_limits<std::int32_t>::max();

    // naxis1 x naxis2 values per plane, x fastest, then y, then plane.
    PixelVector pixels;
    int planes = 0;
    // Which values are blank (NaN or an infinity in float data, the BLANK
    // value in integer data): empty when none is, else one flag per value of
    // `pixels`. A blank value is stored as 0 and left out of the extremes,
    // the mean, the histograms and the measurements.
    std::vector<std::uint8_t> blanks;

    // Number of the END record (records are numbered from 1).
    int cardCount() const { return static_cast<int>(cards.size()); }
    // Record i, 1-based as the header is numbered.
    const HeaderCard& card(int i) const { return cards[static_cast<std::size_t>(i - 1)]; }

    // Other parts treat an image as loaded when it has columns and rows.
    bool loaded() const { return naxis1 > 0 && naxis2 > 0 && !pixels.empty(); }

    // Sizes `pixels` for the given dimensions, all values 0.
    void allocate(int columns, int rows, int planeCount);

    std::size_t index(int x, int y, int plane = 0) const
    {
        return static_cast<std::size_t>(x) +
               static_cast<std::size_t>(naxis1) *
                   (static_cast<std::size_t>(y) + static_cast<std::size_t>(naxis2) * static_cast<std::size_t>(plane));
    }
    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < naxis1 && y < naxis2; }

    // Unchecked access for loops that stay inside the image.
    std::int32_t& at(int x, int y, int plane = 0) { return pixels[index(x, y, plane)]; }
    std::int32_t at(int x, int y, int plane = 0) const { return pixels[index(x, y, plane)]; }
    // Checked read: 0 outside the image or for a plane that was not read.
    std::int32_t value(int x, int y, int plane = 0) const
    {
        return (inside(x, y) && plane >= 0 && plane < planes) ? at(x, y, plane) : 0;
    }
    bool hasBlanks() const { return !blanks.empty(); }
    bool isBlank(std::size_t i) const { return !blanks.empty() && blanks[i] != 0; }
    bool isBlank(int x, int y, int plane = 0) const { return isBlank(index(x, y, plane)); }
    // Blank values of one plane, or of every plane read (plane -1).
    long long blankCount(int plane = -1) const;
    // After a command changed plane 0: its blank positions hold 0 again, and
    // a mask that no longer marks anything is dropped.
    void settleBlanks();
    std::int32_t* plane(int p) { return pixels.data() + index(0, 0, p); }
    const std::int32_t* plane(int p) const { return pixels.data() + index(0, 0, p); }

    // First step of every read: header values back to "not found".
    void resetHeaderState();

    // Keeps maxValue/minValue up to date for one stored value. With the dusky
    // option only values below 60000 may become the maximum, unless
    // everyCandidate says otherwise (monochrome floating-point images).
    void trackExtremes(std::int32_t v, bool dusky, bool everyCandidate = false)
    {
        if (v < minValue) minValue = v;
        if (v > maxValue && (everyCandidate || !dusky || v < kDuskyLimit)) maxValue = v;
    }

    static constexpr std::int32_t kDuskyLimit = 60000;

    friend bool operator==(const FitsImage&, const FitsImage&) = default;
};

// Length of the header in bytes (whole 2880-byte blocks) for `cardCount` records.
inline long long headerBytes(int cardCount)
{
    const long long blocks = (cardCount + kCardsPerBlock - 1) / kCardsPerBlock;
    return blocks * kBlockLength;
}

// The statistics line shown under the level controls: "max n / min n / ave n",
// the mean of plane 0 rounded as Int(mean + 0.5).
std::string statisticsLine(const FitsImage& image);
// The same when the sum of plane 0 is already known.
std::string statisticsLine(const FitsImage& image, long long planeZeroSum);

// The statistics line before any image was read.
inline constexpr std::string_view kEmptyStatisticsLine = "max 0 / min 0 / ave 0";

}  // namespace lv
