// Writing the current image as a FITS file.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "core/file_replace.h"
#include "core/fits_image.h"

namespace lv {

// The BITPIX a frame is written back with: its own, and 32 for 64-bit data
// (whose values, as read, are all 32-bit integers).
inline int savedBitpix(const FitsImage& image) { return image.bitpix == 64 ? 32 : image.bitpix; }

// Why a frame read from `path` is not rewritten in place by a folder job, or
// "" when it may be: a compressed file, or one holding more than this image,
// would come back as one plain image and lose the rest.
std::string inPlaceRefusal(const std::string& path, const std::string& compression, bool otherUnits);
inline std::string inPlaceRefusal(const std::string& path, const FitsImage& image)
{
    return inPlaceRefusal(path, image.compression, image.otherUnits);
}

// Writes `image` to `path` as 8-, 16- or 32-bit integers, keeping the header
// records that were read, with BITPIX, BZERO and BSCALE rewritten. 16-bit data
// are stored the standard way, as signed values with BZERO 32768, and the file
// is padded to whole 2880-byte blocks. A three-plane image holding all three
// planes writes them all; one holding only plane 0 of a three-plane file is
// written with NAXIS 2 and without NAXIS3, so the data match the header.
// A header that the added BZERO and BSCALE would take past 500 records is
// refused. An image read from an extension or a compressed file is written
// as one plain image (see singleImageCards).
//
// On success the image takes what was written: values clamped to the range of
// `bitpix` (negative values become 0), the header records as written,
// fileName = path and bitpix = `bitpix`; the result is true.
// Blank pixels are written as the value of a BLANK record (any BLANK record
// read with the frame is dropped): -2147483648 for 32-bit data, for 16-bit
// data the least raw value no other pixel has (a frame that takes every
// 16-bit value is refused). 8-bit data cannot mark them: they are written
// as 0, become 0 in the image, and `notice` (when given) says so.
// On failure `error` says why and neither the file at `path` nor `image` has
// changed.
bool writeFitsFile(FitsImage& image, const std::string& path, int bitpix, std::string& error,
                   std::string* notice = nullptr);

// A frame encoded as writeFitsFile writes it, not yet written: the work of a
// write that needs no disk, which a folder job does ahead on another thread.
struct EncodedFits {
    // The whole file, in storage kept from one frame to the next (large
    // frames would otherwise cost fresh pages every time).
    struct Bytes {
        std::unique_ptr<unsigned char[]> data;
        std::size_t size = 0;
        std::size_t capacity = 0;
        unsigned char* sizedFor(std::size_t n)  // contents undefined
        {
            if (n > capacity) {
                data.reset(new unsigned char[n]);
                capacity = n;
            }
            size = n;
            return data.get();
        }
    };
    std::string path;
    Bytes bytes;
    std::vector<HeaderCard> cards;   // the records the image keeps once written
    int bitpix = 16;
    bool clamped = false;            // some values were clamped to the range of `bitpix`
    StagedReplacement staged;        // the bytes already in a temporary file (stageEncodedFits)
};
// The bytes writeFitsFile(image, path, bitpix, ...) would write, or false
// with `error` saying why it would refuse.
bool encodeFitsFile(const FitsImage& image, const std::string& path, int bitpix, EncodedFits& out,
                    std::string& error);
// Writes what encodeFitsFile made to a temporary file without a name, ahead
// of its turn, where the system allows (the copy into the system's cache
// then costs the writing thread nothing); writeEncodedFits finishes it.
void stageEncodedFits(EncodedFits& encoded);
// Writes what encodeFitsFile made from `image` (which must not have changed
// since) as writeFitsFile would, with the same result and the same changes
// to `image`. The records go to `image`; the bytes stay for the next frame.
bool writeEncodedFits(FitsImage& image, EncodedFits& encoded, std::string& error, std::string* notice = nullptr);

// The BITPIX record written for `bitpix` (80 characters).
HeaderCard bitpixCard(int bitpix);

}  // namespace lv
