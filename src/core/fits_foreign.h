// Frames the plain reader leaves to cfitsio: gzip-compressed files, and files
// whose primary holds no image (an image extension, or a tile-compressed
// image). cfitsio finds the image and gives its header and raw values; the
// value rules stay the plain reader's.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/fits_image.h"

namespace lv {

struct TileChecker;  // the checks of a compressed image's tiles, on their own thread
struct TileCheckerEnd {
    void operator()(TileChecker* checker) const;  // stops, waits for and frees it
};

// The first two bytes of a gzip stream.
bool startsLikeGzip(const unsigned char* bytes, std::size_t length);

class ForeignFile {
public:
    ForeignFile() = default;
    ForeignFile(const ForeignFile&) = delete;
    ForeignFile& operator=(const ForeignFile&) = delete;
    ~ForeignFile();

    // Opens `path` and moves to its image: the primary when it has axes,
    // otherwise the first image extension (tile-compressed ones included).
    // False with `reason` (without the file name) when there is none or the
    // file is damaged.
    bool open(const std::string& path, bool gzipped, std::string& reason);

    // The primary's records, then (for an extension) the extension's, each
    // up to and including its END; a compressed image's as the image it holds.
    const std::vector<HeaderCard>& cards() const { return cards_; }
    // How many of cards() are the primary's; 0 when the image is the primary.
    int primaryRecords() const { return primaryRecords_; }
    // 0 for the primary, k for the k-th extension.
    int hdu() const { return hdu_; }
    // The tile-compression algorithm, "gzip" for a gzip file, or "".
    const std::string& compression() const { return compression_; }
    // Whether the file holds more than the image: other extensions, or an
    // empty primary before it.
    bool otherUnits() const { return otherUnits_; }

    // Stored values first ... first + count - 1 (scaling off) of the image,
    // as big-endian values of `bitpix` (-64 ... 64) into `out`, which holds
    // count x |bitpix| / 8 bytes. The first call checks a compressed image's
    // tiles. False with `reason` when they cannot be read (a damaged or
    // cut-short file).
    // Null pixels (a compressed float image's ZBLANK) come as NaN; those of
    // integer data as `integerBlank` when given, so that they keep the BLANK
    // value the reader compares with.
    bool readValues(long long first, long long count, int bitpix, unsigned char* out, std::string& reason,
                    std::optional<long long> integerBlank = std::nullopt);

private:
    void* file_ = nullptr;  // fitsfile*: cfitsio stays out of this header
    std::vector<HeaderCard> cards_;
    int primaryRecords_ = 0;
    int hdu_ = 0;
    std::string compression_;
    bool otherUnits_ = false;

    bool readOwnRows(long long first, long long count, unsigned char* out, std::string& reason,
                     std::optional<long long> integerBlank);
    bool prepared_ = false;
    std::unique_ptr<TileChecker, TileCheckerEnd> checker_;
    bool ownRows_ = false;
    long long tileRow_ = 0;  // the row tile held in tileValues_, from 1
    std::vector<unsigned char> tileBytes_;
    std::vector<unsigned char> tileValues_;
    std::vector<char> nullFlags_;  // of the values being read, for float images
};

}  // namespace lv
