// Checks of one compressed tile's stream before cfitsio decodes it.
// cfitsio's Rice, PLIO and HCOMPRESS decoders trust their input: a damaged
// stream makes them read past the tile's bytes (and HCOMPRESS writes as many
// pixels as the stream claims). Each check walks the stream exactly as the
// decoder will, with every read bounded, and says whether the decoder stays
// inside the tile and fills exactly its pixels.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lv {

// A Rice stream of `pixels` values of `bytePix` bytes (1, 2, otherwise 4)
// coded in blocks of `blockSize`, within `length` bytes.
bool riceStreamFits(const unsigned char* stream, std::size_t length, int bytePix, int blockSize, long long pixels);

// The same walk giving the values, as cfitsio's decoder of that width does
// (8, 16 or 32 bits); false, with `out` partly written, where the stream is
// not sound.
bool riceDecode(const unsigned char* stream, std::size_t length, int blockSize, long long pixels, std::uint8_t* out);
bool riceDecode(const unsigned char* stream, std::size_t length, int blockSize, long long pixels, std::uint16_t* out);
bool riceDecode(const unsigned char* stream, std::size_t length, int blockSize, long long pixels, std::uint32_t* out);

// A PLIO line list of `words` 16-bit words for `pixels` values.
bool plioListFits(const std::int16_t* list, std::size_t words, long long pixels);

// An HCOMPRESS stream within `length` bytes for a tile of `pixels` values;
// `wideValues` for 32-bit images (decoded in 64 bits, up to 64 bit planes).
bool hcompressStreamFits(const unsigned char* stream, std::size_t length, long long pixels, bool wideValues);

// A GZIP_1 or GZIP_2 tile: a gzip stream that ends within its `length`
// bytes and inflates to at most `capacity` bytes, written to `out`;
// `produced` says how many. (cfitsio's own inflating of a tile grows its
// buffer without end on a stream that stops short.)
bool gzipTileInflates(const unsigned char* stream, std::size_t length, unsigned char* out, std::size_t capacity,
                      std::size_t& produced);

}  // namespace lv
