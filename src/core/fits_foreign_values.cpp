// The values of a frame cfitsio opened: every tile checked before cfitsio
// decodes it, whole-row Rice and GZIP integer tiles decoded here.
#include <fitsio.h>

#include <algorithm>
#include <bit>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>

#include "core/conventions.h"
#include "core/fits_foreign.h"
#include "core/fits_foreign_cfitsio.h"
#include "core/fits_tiles.h"

namespace lv {

namespace {

using foreign::asFits;
using foreign::cfitsioText;

template <class T>
void toBigEndian(unsigned char* bytes, long long count)
{
    if constexpr (std::endian::native == std::endian::little && sizeof(T) > 1) {
        for (long long i = 0; i < count; ++i) {
            unsigned char* v = bytes + i * static_cast<long long>(sizeof(T));
            for (std::size_t a = 0, b = sizeof(T) - 1; a < b; ++a, --b) std::swap(v[a], v[b]);
        }
    } else {
        (void)bytes;
        (void)count;
    }
}

struct TileGrid {
    int dims = 0;
    long long tiles = 1;
    long long across[MAX_COMPRESS_DIM] = {};

    bool read(const FITSfile* file)
    {
        dims = file->zndim;
        if (dims <= 0 || dims > MAX_COMPRESS_DIM) return false;
        for (int d = 0; d < dims; ++d) {
            if (file->znaxis[d] <= 0 || file->tilesize[d] <= 0) return false;
            across[d] = (file->znaxis[d] - 1) / file->tilesize[d] + 1;
            tiles *= across[d];
        }
        return true;
    }

    long long values(const FITSfile* file, long long row) const
    {
        long long pixels = 1;
        long long rest = row - 1;
        for (int d = 0; d < dims; ++d) {
            const long long index = rest % across[d];
            rest /= across[d];
            pixels *= std::min<long long>(file->tilesize[d], file->znaxis[d] - index * file->tilesize[d]);
        }
        return pixels;
    }
};

std::string tileText(long long row, long long tiles)
{
    return "tile " + plainNumberText(static_cast<std::int64_t>(row)) + " of " +
           plainNumberText(static_cast<std::int64_t>(tiles));
}

// The compressed stream of tile `row` into `bytes` (or, for PLIO, `words`),
// its heap entry checked first; `length` 0 for a tile stored another way
// (gzip or raw values in their own column).
bool readTileStream(fitsfile* f, long long row, long long tiles, std::vector<unsigned char>& bytes,
                    std::vector<std::int16_t>* words, LONGLONG& length, std::string& reason)
{
    const FITSfile* file = f->Fptr;
    int status = 0;
    LONGLONG offset = 0;
    if (fits_read_descriptll(f, file->cn_compressed, row, &length, &offset, &status) != 0) {
        reason = "the image data are damaged or cut short (" + tileText(row, tiles) +
                 " cannot be found: cfitsio: " + cfitsioText(status) + ")";
        return false;
    }
    if (length == 0) return true;
    const LONGLONG width = words ? 2 : 1;
    bool sound = length > 0 && offset >= 0 && length <= file->heapsize / width &&
                 offset <= file->heapsize - length * width;
    int anyNull = 0;
    if (sound && words) {
        words->resize(static_cast<std::size_t>(length));
        sound = fits_read_col(f, TSHORT, file->cn_compressed, row, 1, length, nullptr, words->data(), &anyNull,
                              &status) == 0;
    } else if (sound) {
        bytes.resize(static_cast<std::size_t>(length));
        sound = fits_read_col(f, TBYTE, file->cn_compressed, row, 1, length, nullptr, bytes.data(), &anyNull,
                              &status) == 0;
    }
    if (!sound) {
        reason = "the image data are damaged or cut short (" + tileText(row, tiles) + " cannot be read" +
                 (status != 0 ? ": cfitsio: " + cfitsioText(status) : "") + ")";
        fits_clear_errmsg();
    }
    return sound;
}

// Whether one tile's stream is sound for cfitsio's decoder (fits_tiles.h).
bool tileIsSound(int algorithm, const std::vector<unsigned char>& bytes, const std::vector<std::int16_t>& words,
                 long long pixels, int bytePix, int blockSize, bool wideValues, std::vector<unsigned char>& scratch)
{
    switch (algorithm) {
        case GZIP_1:
        case GZIP_2: {
            // cfitsio takes a tile of 1, 2, 4 or 8 bytes a value.
            scratch.resize(static_cast<std::size_t>(pixels) * 8);
            std::size_t produced = 0;
            return gzipTileInflates(bytes.data(), bytes.size(), scratch.data(), scratch.size(), produced);
        }
        case PLIO_1: return plioListFits(words.data(), words.size(), pixels);
        case RICE_1: return riceStreamFits(bytes.data(), bytes.size(), bytePix, blockSize, pixels);
        default: return hcompressStreamFits(bytes.data(), bytes.size(), pixels, wideValues);
    }
}

// The tile index (from 1) up to which cfitsio decodes to give the values up
// to `last`: tiles run along the first axis fastest, so every tile of the
// last value's row of tiles, and all before it.
long long tilesNeeded(const FITSfile* file, const TileGrid& grid, long long last)
{
    long long index = 0;
    long long across = 1;
    long long rest = last;
    for (int d = 0; d < grid.dims; ++d) {
        const long long coordinate = rest % file->znaxis[d];
        rest /= file->znaxis[d];
        const long long tile = d == 0 ? grid.across[0] - 1 : coordinate / file->tilesize[d];
        index += tile * across;
        across *= grid.across[d];
    }
    return std::min(index + 1, grid.tiles);
}

}  // namespace

// Every tile is checked before cfitsio decodes it: the Rice, PLIO and
// HCOMPRESS decoders trust the stream (see fits_tiles.h), and cfitsio's
// inflating of a GZIP tile that stops short never ends. The streams are read
// (through cfitsio) first, then checked on a second thread while cfitsio
// decodes the tiles already found sound. The tile parameters are cfitsio's
// own reading of the header, so that the check sees what the decoder will.
struct TileChecker {
    int algorithm = 0;
    int bytePix = 4;
    int blockSize = 32;
    bool wideValues = false;
    std::vector<std::vector<unsigned char>> bytes;
    std::vector<std::vector<std::int16_t>> words;
    std::vector<long long> pixels;

    std::mutex lock;
    std::condition_variable progress;
    long long sound = 0;   // how many tiles, from the first, are sound
    long long failed = 0;  // the first tile (from 1) that is not, 0 for none
    std::atomic<bool> stop{false};
    std::thread worker;

    void run()
    {
        std::vector<unsigned char> scratch;
        const std::vector<unsigned char> none;
        const std::vector<std::int16_t> noWords;
        for (std::size_t t = 0; t < pixels.size() && !stop; ++t) {
            const bool empty = algorithm == PLIO_1 ? words[t].empty() : bytes[t].empty();
            const bool ok = empty || tileIsSound(algorithm, algorithm == PLIO_1 ? none : bytes[t],
                                                 algorithm == PLIO_1 ? words[t] : noWords, pixels[t], bytePix,
                                                 blockSize, wideValues, scratch);
            std::lock_guard<std::mutex> hold(lock);
            if (!ok) {
                failed = static_cast<long long>(t) + 1;
                break;
            }
            sound = static_cast<long long>(t) + 1;
            progress.notify_all();
        }
        std::lock_guard<std::mutex> hold(lock);
        if (failed == 0 && sound < static_cast<long long>(pixels.size())) failed = sound + 1;  // stopped
        progress.notify_all();
    }

    // Waits until the first `tiles` are known sound (true) or one of them is
    // not (false, with `bad` the tile).
    bool waitFor(long long tiles, long long& bad)
    {
        std::unique_lock<std::mutex> hold(lock);
        progress.wait(hold, [&] { return sound >= tiles || failed != 0; });
        if (sound >= tiles) return true;
        bad = failed;
        return false;
    }
};

void TileCheckerEnd::operator()(TileChecker* checker) const
{
    checker->stop = true;
    if (checker->worker.joinable()) checker->worker.join();
    delete checker;
}

namespace {

// Reads every tile's stream and starts their checks; false with `reason`
// when a stream cannot be read.
bool startTileChecks(fitsfile* f, std::unique_ptr<TileChecker, TileCheckerEnd>& checker, std::string& reason)
{
    const FITSfile* file = f->Fptr;
    const int algorithm = file->compress_type;
    if (algorithm != RICE_1 && algorithm != PLIO_1 && algorithm != HCOMPRESS_1 && algorithm != GZIP_1 &&
        algorithm != GZIP_2)
        return true;
    TileGrid grid;
    if (!grid.read(file)) {
        reason = "the compressed image has an empty axis or tile";
        return false;
    }
    std::unique_ptr<TileChecker, TileCheckerEnd> c(new TileChecker);
    c->algorithm = algorithm;
    c->bytePix = file->rice_bytepix;
    c->blockSize = file->rice_blocksize;
    c->wideValues = file->zbitpix != BYTE_IMG && file->zbitpix != SHORT_IMG;
    const auto tiles = static_cast<std::size_t>(grid.tiles);
    c->bytes.resize(tiles);
    c->words.resize(algorithm == PLIO_1 ? tiles : 0);
    c->pixels.resize(tiles);
    for (long long row = 1; row <= grid.tiles; ++row) {
        const auto t = static_cast<std::size_t>(row - 1);
        LONGLONG length = 0;
        if (!readTileStream(f, row, grid.tiles, c->bytes[t], algorithm == PLIO_1 ? &c->words[t] : nullptr, length,
                            reason))
            return false;
        if (length == 0) {
            c->bytes[t].clear();
            if (algorithm == PLIO_1) c->words[t].clear();
        }
        c->pixels[t] = grid.values(file, row);
    }
    TileChecker* raw = c.get();
    c->worker = std::thread([raw] { raw->run(); });
    checker = std::move(c);
    return true;
}

// Integer images in whole-row Rice or GZIP tiles (fpack's and astropy's
// default layout) are decoded here, by the same walk or inflate that checks
// them, rather than checked once and decoded again by cfitsio.
bool ownRows(const FITSfile* file)
{
    const int algorithm = file->compress_type;
    if (algorithm != RICE_1 && algorithm != GZIP_1 && algorithm != GZIP_2) return false;
    if (file->cn_zscale != 0 || file->cn_zzero != 0) return false;
    const int width = file->zbitpix == BYTE_IMG ? 1 : file->zbitpix == SHORT_IMG ? 2 : file->zbitpix == LONG_IMG ? 4 : 0;
    if (width == 0 || (algorithm == RICE_1 && file->rice_bytepix != width)) return false;
    if (file->zndim < 1 || file->zndim > MAX_COMPRESS_DIM || file->tilesize[0] != file->znaxis[0]) return false;
    for (int d = 1; d < file->zndim; ++d)
        if (file->tilesize[d] != 1) return false;
    return file->znaxis[0] > 0;
}


}  // namespace

bool ForeignFile::readValues(long long first, long long count, int bitpix, unsigned char* out, std::string& reason,
                             std::optional<long long> integerBlank)
{
    fitsfile* f = asFits(file_);
    int status = 0;
    if (!prepared_) {
        // Stored values: BSCALE and BZERO are the plain reader's rules to apply.
        fits_set_bscale(f, 1.0, 0.0, &status);
        const bool tiled = status == 0 && fits_is_compressed_image(f, &status) != 0;
        if (status != 0) {
            reason = "the image data cannot be read (cfitsio: " + cfitsioText(status) + ")";
            return false;
        }
        ownRows_ = tiled && ownRows(f->Fptr);
        if (tiled && !ownRows_ && !startTileChecks(f, checker_, reason)) return false;
        prepared_ = true;
    }
    if (ownRows_) return readOwnRows(first, count, out, reason, integerBlank);
    if (checker_ && count > 0) {
        TileGrid grid;
        grid.read(f->Fptr);
        long long bad = 0;
        if (!checker_->waitFor(tilesNeeded(f->Fptr, grid, first + count - 1), bad)) {
            reason = "the image data are damaged or cut short (" + tileText(bad, grid.tiles) +
                     " cannot be decompressed)";
            return false;
        }
    }

    int type = 0;
    switch (bitpix) {
        case 8: type = TBYTE; break;
        case 16: type = TSHORT; break;
        case 32: type = TINT; break;
        case 64: type = TLONGLONG; break;
        case -32: type = TFLOAT; break;
        case -64: type = TDOUBLE; break;
        default: reason = "BITPIX " + plainNumberText(bitpix) + " cannot be read"; return false;
    }
    int anyNull = 0;
    // cfitsio puts its null value where an integer tile marks a null pixel.
    unsigned char nullByte = 0;
    short nullShort = 0;
    int nullInt = 0;
    LONGLONG nullLong = 0;
    void* nullValue = nullptr;
    if (integerBlank) {
        const long long b = *integerBlank;
        nullByte = static_cast<unsigned char>(b);
        nullShort = static_cast<short>(b);
        nullInt = static_cast<int>(b);
        nullLong = b;
        nullValue = bitpix == 8 ? static_cast<void*>(&nullByte) : bitpix == 16 ? static_cast<void*>(&nullShort)
                    : bitpix == 32 ? static_cast<void*>(&nullInt) : static_cast<void*>(&nullLong);
    }
    // Float null pixels by their flags: cfitsio's null value does not reach
    // every quantized tile. They become NaN, as a plain file holds them.
    const bool floats = bitpix == -32 || bitpix == -64;
    if (floats) nullFlags_.resize(static_cast<std::size_t>(count));
    const bool read = floats ? fits_read_imgnull(f, type, first + 1, count, out, nullFlags_.data(), &anyNull, &status) == 0
                             : fits_read_img(f, type, first + 1, count, nullValue, out, &anyNull, &status) == 0;
    if (floats && anyNull)
        for (long long i = 0; i < count; ++i) {
            if (!nullFlags_[static_cast<std::size_t>(i)]) continue;
            if (bitpix == -32) reinterpret_cast<float*>(out)[i] = std::numeric_limits<float>::quiet_NaN();
            else reinterpret_cast<double*>(out)[i] = std::numeric_limits<double>::quiet_NaN();
        }
    if (!read) {
        reason = "the image data are damaged or cut short (cfitsio: " + cfitsioText(status) + ")";
        return false;
    }
    switch (bitpix) {
        case 16: toBigEndian<std::int16_t>(out, count); break;
        case 32: case -32: toBigEndian<std::int32_t>(out, count); break;
        case 64: case -64: toBigEndian<std::int64_t>(out, count); break;
        default: break;
    }
    return true;
}

bool ForeignFile::readOwnRows(long long first, long long count, unsigned char* out, std::string& reason,
                              std::optional<long long> integerBlank)
{
    fitsfile* f = asFits(file_);
    const FITSfile* file = f->Fptr;
    const int algorithm = file->compress_type;
    const int width = file->zbitpix / 8;
    const long long rowValues = file->znaxis[0];
    const std::size_t rowBytes = static_cast<std::size_t>(rowValues) * static_cast<std::size_t>(width);
    TileGrid grid;
    if (!grid.read(file)) {
        reason = "the compressed image has an empty axis or tile";
        return false;
    }
    while (count > 0) {
        const long long row = first / rowValues + 1;
        const long long at = first % rowValues;
        const long long n = std::min(count, rowValues - at);
        if (row != tileRow_) {
            tileRow_ = 0;
            LONGLONG length = 0;
            if (!readTileStream(f, row, grid.tiles, tileBytes_, nullptr, length, reason)) return false;
            // The row's values, big-endian as in a plain file.
            tileValues_.resize(rowBytes + static_cast<std::size_t>(rowValues) * 8);
            unsigned char* values = tileValues_.data();
            bool sound = true;
            bool byCfitsio = length == 0;
            bool nativeOrder = false;  // values in the machine's order, to be made big-endian
            if (!byCfitsio && algorithm == RICE_1) {
                if (width == 1)
                    sound = riceDecode(tileBytes_.data(), tileBytes_.size(), file->rice_blocksize, rowValues, values);
                else if (width == 2)
                    sound = riceDecode(tileBytes_.data(), tileBytes_.size(), file->rice_blocksize, rowValues,
                                       reinterpret_cast<std::uint16_t*>(values));
                else
                    sound = riceDecode(tileBytes_.data(), tileBytes_.size(), file->rice_blocksize, rowValues,
                                       reinterpret_cast<std::uint32_t*>(values));
                nativeOrder = true;
            } else if (!byCfitsio) {
                std::size_t produced = 0;
                sound = gzipTileInflates(tileBytes_.data(), tileBytes_.size(), values + rowBytes,
                                         static_cast<std::size_t>(rowValues) * 8,
                                         produced);
                if (sound && produced == rowBytes) {
                    if (algorithm == GZIP_1 || width == 1) {
                        std::memcpy(values, values + rowBytes, rowBytes);
                    } else {
                        // GZIP_2 stores each value's first bytes, then its second bytes, ...
                        const unsigned char* shuffled = values + rowBytes;
                        for (long long i = 0; i < rowValues; ++i)
                            for (int b = 0; b < width; ++b)
                                values[i * width + b] = shuffled[static_cast<std::size_t>(b) * static_cast<std::size_t>(rowValues) +
                                                                 static_cast<std::size_t>(i)];
                    }
                } else if (sound) {
                    // Sound, but stored in another width: cfitsio converts it.
                    byCfitsio = true;
                }
            }
            if (sound && byCfitsio) {
                // A tile stored another way (raw, gzip of the values in
                // their own column, another width), which cfitsio reads.
                int status = 0;
                int anyNull = 0;
                const int type = width == 1 ? TBYTE : width == 2 ? TSHORT : TINT;
                // Null pixels keep the BLANK value, as the decoded rows do.
                const long long b = integerBlank.value_or(0);
                unsigned char nullByte = static_cast<unsigned char>(b);
                short nullShort = static_cast<short>(b);
                int nullInt = static_cast<int>(b);
                void* nullValue = !integerBlank ? nullptr
                                  : width == 1  ? static_cast<void*>(&nullByte)
                                  : width == 2  ? static_cast<void*>(&nullShort)
                                                : static_cast<void*>(&nullInt);
                sound = fits_read_img(f, type, (row - 1) * rowValues + 1, rowValues, nullValue, values, &anyNull,
                                      &status) == 0;
                if (!sound) fits_clear_errmsg();
                nativeOrder = true;
            }
            if (sound && nativeOrder && width == 2) toBigEndian<std::int16_t>(values, rowValues);
            if (sound && nativeOrder && width == 4) toBigEndian<std::int32_t>(values, rowValues);
            if (!sound) {
                reason = "the image data are damaged or cut short (" + tileText(row, grid.tiles) +
                         " cannot be decompressed)";
                return false;
            }
            tileRow_ = row;
        }
        std::memcpy(out, tileValues_.data() + at * width, static_cast<std::size_t>(n * width));
        out += n * width;
        first += n;
        count -= n;
    }
    return true;
}

}  // namespace lv
