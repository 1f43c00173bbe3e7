#include "core/fits_foreign.h"

#include <fitsio.h>

#include <algorithm>
#include <bit>
#include <cstring>

#include "core/conventions.h"
#include "core/fits_header.h"
#include "core/fits_tiles.h"

namespace lv {

namespace {

fitsfile* asFits(void* f) { return static_cast<fitsfile*>(f); }

// cfitsio's own words for a status, and its message stack emptied so that a
// later call does not report an earlier failure.
std::string cfitsioText(int status)
{
    char text[FLEN_STATUS] = {};
    fits_get_errstatus(status, text);
    fits_clear_errmsg();
    return std::string(text);
}

// The records of the current HDU, END included.
bool headerRecords(fitsfile* f, std::vector<HeaderCard>& cards, int& status)
{
    char* text = nullptr;
    int count = 0;
    if (fits_hdr2str(f, 0, nullptr, 0, &text, &count, &status) != 0) return false;
    const std::size_t length = std::strlen(text);
    for (int i = 0; i < count && static_cast<std::size_t>(i + 1) * kCardLength <= length; ++i)
        cards.emplace_back(text + static_cast<std::size_t>(i) * kCardLength, kCardLength);
    int freeStatus = 0;
    fits_free_memory(text, &freeStatus);
    return true;
}

// `key` is `prefix` followed by a number (and blanks to eight characters).
bool isNumbered(std::string_view key, std::string_view prefix)
{
    if (key.substr(0, prefix.size()) != prefix) return false;
    const std::string_view rest = key.substr(prefix.size());
    const std::size_t digits = rest.find_first_not_of("0123456789");
    const std::size_t end = digits == std::string_view::npos ? rest.size() : digits;
    return end > 0 && rest.find_first_not_of(' ', end) == std::string_view::npos;
}

HeaderCard renamed(const HeaderCard& card, std::string keyword)
{
    keyword.resize(8, ' ');
    return keyword + card.substr(8);
}

// The records of the image a tile-compressed table holds: the image's own
// structural records (ZBITPIX as BITPIX, ...) first, then every other record
// in the table's order, without the table's and the compression's own.
// (Done here rather than by cfitsio, which gives up on a table whose BSCALE
// comes before its ZIMAGE, as some writers put it.)
std::vector<HeaderCard> imageRecords(const std::vector<HeaderCard>& table)
{
    std::vector<HeaderCard> out;
    auto find = [&](std::string_view key) -> const HeaderCard* {
        for (const HeaderCard& c : table)
            if (cardKeyword(c) == key) return &c;
        return nullptr;
    };
    out.push_back(paddedCard("XTENSION= 'IMAGE   '           / Image extension"));
    if (const HeaderCard* c = find("ZBITPIX ")) out.push_back(renamed(*c, "BITPIX"));
    if (const HeaderCard* c = find("ZNAXIS  ")) {
        out.push_back(renamed(*c, "NAXIS"));
        const int axes = static_cast<int>(cardValue(*c));
        for (int a = 1; a <= axes && a <= 999; ++a) {
            std::string key = "ZNAXIS" + std::to_string(a);
            key.resize(8, ' ');
            if (const HeaderCard* n = find(key)) out.push_back(renamed(*n, key.substr(1, 7)));
        }
    }
    out.push_back(paddedCard("PCOUNT  =                    0 / number of parameters"));
    out.push_back(paddedCard("GCOUNT  =                    1 / number of groups"));
    static constexpr std::string_view kDropped[] = {
        "XTENSION", "BITPIX  ", "NAXIS   ", "PCOUNT  ", "GCOUNT  ", "TFIELDS ", "THEAP   ", "ZIMAGE  ", "ZTENSION",
        "ZSIMPLE ", "ZEXTEND ", "ZBITPIX ", "ZNAXIS  ", "ZPCOUNT ", "ZGCOUNT ", "ZCMPTYPE", "ZMASKCMP", "ZQUANTIZ",
        "ZDITHER0", "ZBLOCKED", "ZHECKSUM", "ZDATASUM", "CHECKSUM", "DATASUM ", "END     "};
    static constexpr std::string_view kNumbered[] = {"NAXIS", "TTYPE", "TFORM", "TUNIT", "TDIM",  "TSCAL",
                                                     "TZERO", "TNULL", "TDISP", "ZNAXIS", "ZTILE", "ZNAME", "ZVAL"};
    for (const HeaderCard& c : table) {
        const std::string_view key = cardKeyword(c);
        if (std::find(std::begin(kDropped), std::end(kDropped), key) != std::end(kDropped)) continue;
        if (std::any_of(std::begin(kNumbered), std::end(kNumbered), [&](auto p) { return isNumbered(key, p); }))
            continue;
        if (key == "EXTNAME " && c.compare(10, 18, "'COMPRESSED_IMAGE'") == 0) continue;
        out.push_back(c);
    }
    out.push_back(endCard());
    return out;
}

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

// A file is searched for its image among at most this many units.
constexpr int kMaxUnits = 1000;

// Every tile of a Rice, PLIO or HCOMPRESS image is checked before cfitsio
// decodes it (their decoders trust the stream; see fits_tiles.h). GZIP tiles
// go through zlib, which checks its own input. The tile parameters are
// cfitsio's own reading of the header, so that the check sees what the
// decoder will.
bool tilesAreSound(fitsfile* f, std::string& reason)
{
    const FITSfile* file = f->Fptr;
    const int algorithm = file->compress_type;
    if (algorithm != RICE_1 && algorithm != PLIO_1 && algorithm != HCOMPRESS_1) return true;
    const int dims = file->zndim;
    if (dims <= 0 || dims > MAX_COMPRESS_DIM) {
        reason = "the compressed image has no axes";
        return false;
    }
    long long tiles = 1;
    long long across[MAX_COMPRESS_DIM] = {};
    for (int d = 0; d < dims; ++d) {
        if (file->znaxis[d] <= 0 || file->tilesize[d] <= 0) {
            reason = "the compressed image has an empty axis or tile";
            return false;
        }
        across[d] = (file->znaxis[d] - 1) / file->tilesize[d] + 1;
        tiles *= across[d];
    }
    std::vector<unsigned char> bytes;
    std::vector<std::int16_t> words;
    for (long long row = 1; row <= tiles; ++row) {
        long long pixels = 1;
        long long rest = row - 1;
        for (int d = 0; d < dims; ++d) {
            const long long index = rest % across[d];
            rest /= across[d];
            pixels *= std::min<long long>(file->tilesize[d], file->znaxis[d] - index * file->tilesize[d]);
        }
        int status = 0;
        LONGLONG length = 0;
        LONGLONG offset = 0;
        if (fits_read_descriptll(f, file->cn_compressed, row, &length, &offset, &status) != 0) {
            reason = "tile " + plainNumberText(static_cast<std::int64_t>(row)) +
                     " of the compressed image cannot be found (cfitsio: " + cfitsioText(status) + ")";
            return false;
        }
        // An empty entry: the tile is stored another way (gzip or raw).
        if (length == 0) continue;
        const LONGLONG width = algorithm == PLIO_1 ? 2 : 1;
        bool sound = length > 0 && offset >= 0 && length <= file->heapsize / width &&
                     offset <= file->heapsize - length * width;
        int anyNull = 0;
        if (sound && algorithm == PLIO_1) {
            words.resize(static_cast<std::size_t>(length));
            sound = fits_read_col(f, TSHORT, file->cn_compressed, row, 1, length, nullptr, words.data(), &anyNull,
                                  &status) == 0 &&
                    plioListFits(words.data(), words.size(), pixels);
        } else if (sound) {
            bytes.resize(static_cast<std::size_t>(length));
            sound = fits_read_col(f, TBYTE, file->cn_compressed, row, 1, length, nullptr, bytes.data(), &anyNull,
                                  &status) == 0;
            if (sound && algorithm == RICE_1)
                sound = riceStreamFits(bytes.data(), bytes.size(), file->rice_bytepix, file->rice_blocksize, pixels);
            else if (sound)
                sound = hcompressStreamFits(bytes.data(), bytes.size(), pixels,
                                            file->zbitpix != BYTE_IMG && file->zbitpix != SHORT_IMG);
        }
        if (!sound) {
            reason = "the image data are damaged or cut short (tile " +
                     plainNumberText(static_cast<std::int64_t>(row)) + " of " +
                     plainNumberText(static_cast<std::int64_t>(tiles)) +
                     " cannot be decompressed" + (status != 0 ? ": cfitsio: " + cfitsioText(status) : "") + ")";
            fits_clear_errmsg();
            return false;
        }
    }
    return true;
}

}  // namespace

bool startsLikeGzip(const unsigned char* bytes, std::size_t length)
{
    return length >= 2 && bytes[0] == 0x1f && bytes[1] == 0x8b;
}

ForeignFile::~ForeignFile()
{
    if (file_) {
        int status = 0;
        fits_close_file(asFits(file_), &status);
        fits_clear_errmsg();
    }
}

bool ForeignFile::open(const std::string& path, bool gzipped, std::string& reason)
{
    int status = 0;
    fitsfile* f = nullptr;
    // The disk-file form takes the name as it is: a '[' or '+' in a file
    // name is not read as an extension or filter.
    if (fits_open_diskfile(&f, path.c_str(), READONLY, &status) != 0) {
        reason = "the file cannot be read as FITS (cfitsio: " + cfitsioText(status) + ")";
        return false;
    }
    file_ = f;
    if (gzipped) compression_ = "gzip";

    int naxis = 0;
    if (fits_get_img_dim(f, &naxis, &status) != 0) {
        reason = "the primary header cannot be read (cfitsio: " + cfitsioText(status) + ")";
        return false;
    }
    if (!headerRecords(f, cards_, status)) {
        reason = "the primary header cannot be read (cfitsio: " + cfitsioText(status) + ")";
        return false;
    }
    if (cards_.size() > static_cast<std::size_t>(kMaxHeaderCards)) {
        reason = "the primary header has more than 500 records";
        return false;
    }
    if (naxis > 0) {
        // A gzip file whose primary holds the image.
        int more = 0;
        int type = 0;
        otherUnits_ = fits_movrel_hdu(f, 1, &type, &more) == 0;
        status = 0;
        fits_clear_errmsg();
        int back = 0;
        if (fits_movabs_hdu(f, 1, &type, &back) != 0) {
            reason = "the primary cannot be read again (cfitsio: " + cfitsioText(back) + ")";
            return false;
        }
        return true;
    }
    primaryRecords_ = static_cast<int>(cards_.size());
    for (int unit = 2; unit <= kMaxUnits; ++unit) {
        int type = 0;
        if (fits_movabs_hdu(f, unit, &type, &status) != 0) {
            const bool ended = status == END_OF_FILE;
            const std::string text = cfitsioText(status);
            reason = ended ? "the file holds no image: its primary has no axes (NAXIS = 0) and no image extension "
                             "follows"
                           : "extension " + plainNumberText(unit - 1) + " cannot be read (cfitsio: " + text + ")";
            return false;
        }
        if (type != IMAGE_HDU) continue;
        int dims = 0;
        if (fits_get_img_dim(f, &dims, &status) != 0) {
            reason = "extension " + plainNumberText(unit - 1) + " cannot be read (cfitsio: " + cfitsioText(status) + ")";
            return false;
        }
        if (dims == 0) continue;
        const bool compressed = fits_is_compressed_image(f, &status) != 0;
        std::vector<HeaderCard> own;
        if (!headerRecords(f, own, status)) {
            reason = "the header of extension " + plainNumberText(unit - 1) + " cannot be read (cfitsio: " +
                     cfitsioText(status) + ")";
            return false;
        }
        if (own.size() > static_cast<std::size_t>(kMaxHeaderCards)) {
            reason = "the header of extension " + plainNumberText(unit - 1) + " has more than 500 records";
            return false;
        }
        if (compressed) {
            char algorithm[FLEN_VALUE] = {};
            int keyStatus = 0;
            if (fits_read_key(f, TSTRING, "ZCMPTYPE", algorithm, nullptr, &keyStatus) == 0)
                compression_ = algorithm;
            fits_clear_errmsg();
        }
        if (compressed) own = imageRecords(own);
        cards_.insert(cards_.end(), own.begin(), own.end());
        hdu_ = unit - 1;
        otherUnits_ = true;
        return true;
    }
    reason = "the file holds no image among its first 1000 units";
    return false;
}

bool ForeignFile::readRaw(long long count, int bitpix, unsigned char* out, std::string& reason)
{
    fitsfile* f = asFits(file_);
    int status = 0;
    // Stored values: BSCALE and BZERO are the plain reader's rules to apply.
    fits_set_bscale(f, 1.0, 0.0, &status);
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
    if (status == 0 && fits_is_compressed_image(f, &status) != 0 && !tilesAreSound(f, reason)) return false;
    if (status == 0) fits_read_img(f, type, 1, count, nullptr, out, &anyNull, &status);
    if (status != 0) {
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

}  // namespace lv
