#include "core/fits_foreign.h"

#include <fitsio.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/conventions.h"
#include "core/fits_foreign_cfitsio.h"
#include "core/fits_header.h"

#include <zlib.h>

namespace lv {

namespace {

using foreign::asFits;
using foreign::cfitsioText;

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
        const double given = cardValue(*c);
        const int axes = given >= 1 ? static_cast<int>(std::min(given, 999.0)) : 0;
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

// A record's value as cfitsio finds it: after "= " in columns 9 and 10, or
// else after the first "=", up to a "/". A quoted text or a complex number
// (which cfitsio reads past a "/") is no number; otherwise the value is one
// when it is a plain number and nothing else.
struct PlainNumber {
    bool present = false;
    bool number = false;
    double value = 0;
    std::size_t length = 0;  // of the value's text
};

PlainNumber plainNumber(const HeaderCard& c)
{
    PlainNumber n;
    const std::size_t equals = c.size() >= 10 && c.compare(8, 2, "= ") == 0 ? 8 : c.find('=');
    if (equals == std::string::npos) return n;
    std::string value = c.substr(equals + 1);
    const std::size_t from = value.find_first_not_of(' ');
    if (from == std::string::npos) return n;
    n.present = true;
    if (value[from] == '\'' || value[from] == '(') return n;
    value = value.substr(from);
    value = value.substr(0, value.find('/'));
    value = value.substr(0, value.find_last_not_of(' ') + 1);
    char* end = nullptr;
    n.value = std::strtod(value.c_str(), &end);
    n.number = end == value.c_str() + value.size();
    n.length = value.size();
    return n;
}

// Keywords cfitsio reads as whole numbers while it reads a header. It
// reports a value it cannot read with the value appended to a message buffer
// that a value of 28 characters or more overruns (the fortified C library
// then stops the program), so only plain numbers of fewer may pass.
bool readAsWholeNumber(std::string_view key)
{
    static constexpr std::string_view kPlain[] = {"BITPIX  ", "NAXIS   ", "PCOUNT  ", "GCOUNT  ", "TFIELDS ",
                                                  "THEAP   ", "BLANK   ", "EXTVER  ", "EXTLEVEL", "ZBITPIX ",
                                                  "ZNAXIS  ", "ZDITHER0", "ZBLANK  ", "ZPCOUNT ", "ZGCOUNT "};
    static constexpr std::string_view kNumbered[] = {"NAXIS", "TBCOL", "TNULL", "ZNAXIS", "ZTILE", "ZVAL"};
    return std::find(std::begin(kPlain), std::end(kPlain), key) != std::end(kPlain) ||
           std::any_of(std::begin(kNumbered), std::end(kNumbered), [&](auto p) { return isNumbered(key, p); });
}

// Why cfitsio cannot be trusted to read these records (empty when it can):
// the whole numbers above; in an extension, a column name (TTYPEn) that is
// not quoted (cfitsio copies an unquoted one of 70 characters into 70
// bytes); and a compressed image's tile sizes (ZTILEn, or ZNAXIS1 for a
// missing ZTILE1), which cfitsio divides by.
std::string unsafeHeader(const std::vector<HeaderCard>& cards, bool extension)
{
    for (const HeaderCard& c : cards) {
        const std::string_view key = cardKeyword(c);
        if (!readAsWholeNumber(key)) continue;
        const PlainNumber n = plainNumber(c);
        if (n.present && (!n.number || n.length >= 28))
            return "the value of " + std::string(key.substr(0, key.find_last_not_of(' ') + 1)) +
                   " is not a plain number";
    }
    if (!extension) return {};
    for (const HeaderCard& c : cards) {
        if (!isNumbered(cardKeyword(c), "TTYPE")) continue;
        const std::size_t first = c.find_first_not_of(' ', 10);
        if (c.compare(8, 2, "= ") == 0 && (first == std::string::npos || c[first] != '\''))
            return "a column name (TTYPEn) is not a quoted text";
    }
    const HeaderCard* zimage = lastCard(cards, "ZIMAGE  ");
    if (!zimage || zimage->find('T', 10) == std::string::npos || zimage->find('T', 10) > 29) return {};
    // Every record counts, since cfitsio takes the first of a keyword.
    int dims = 0;
    for (const HeaderCard& c : cards)
        if (cardKeyword(c) == "ZNAXIS  " && cardValue(c) >= 1)
            dims = std::max(dims, static_cast<int>(std::min(cardValue(c), 99.0)));
    for (int a = 1; a <= dims && a <= MAX_COMPRESS_DIM; ++a) {
        std::string tileKey = "ZTILE" + std::to_string(a);
        tileKey.resize(8, ' ');
        std::string axisKey = "ZNAXIS" + std::to_string(a);
        axisKey.resize(8, ' ');
        // A missing ZTILE1 is ZNAXIS1.
        const bool tiled = lastCard(cards, tileKey) != nullptr;
        const std::string_view sizeKey = tiled || a > 1 ? std::string_view(tileKey) : std::string_view(axisKey);
        for (const HeaderCard& c : cards) {
            if (cardKeyword(c) != sizeKey) continue;
            const PlainNumber n = plainNumber(c);
            if (!(n.number && n.value >= 1)) return "its compressed image has a tile size (ZTILEn) below 1";
        }
    }
    return {};
}

// Records up to END (at most 1000 blocks) from `read(block)`, which gives
// the next 2880 bytes or false.
template <class ReadBlock>
std::vector<HeaderCard> recordsUntilEnd(ReadBlock&& read)
{
    std::vector<HeaderCard> cards;
    char block[2880];
    bool ended = false;
    for (int b = 0; b < 1000 && !ended && read(block); ++b)
        for (int r = 0; r < 36 && !ended; ++r) {
            cards.emplace_back(block + r * kCardLength, kCardLength);
            ended = cards.back().compare(0, 8, "END     ") == 0;
        }
    return cards;
}

// The header after the current unit, read before cfitsio moves there.
struct NextUnit {
    bool exists = true;
    std::string refusal;  // empty: cfitsio may read it
};

NextUnit nextUnit(fitsfile* f)
{
    int status = 0;
    LONGLONG head = 0;
    LONGLONG data = 0;
    LONGLONG end = 0;
    if (fits_get_hduaddrll(f, &head, &data, &end, &status) != 0) {
        fits_clear_errmsg();
        return {};  // cfitsio will say what is wrong
    }
    // Whole blocks only: cfitsio keeps a block it could read only partly as
    // if it were whole, and would then take what it holds for the header. A
    // header that runs into a partial block cannot be read by cfitsio either.
    const LONGLONG fileSize = f->Fptr->filesize;
    if (end >= fileSize) return {false, {}};
    LONGLONG at = end;
    const std::vector<HeaderCard> cards = recordsUntilEnd([&](char* block) {
        if (at + 2880 > fileSize) return false;
        const bool ok = ffmbyt(f, at, 0 /* report the end of the file */, &status) == 0 &&
                        ffgbyt(f, 2880, block, &status) == 0;
        if (!ok) fits_clear_errmsg();
        at += 2880;
        return ok;
    });
    return {true, unsafeHeader(cards, true)};
}

// A file is searched for its image among at most this many units.
constexpr int kMaxUnits = 1000;

// The most a gzip file may inflate to: the largest frame the model holds
// (three planes of 64-bit values) and room for its headers and a few small
// units beside it. cfitsio allocates what the gzip trailer says, so a damaged
// trailer would otherwise ask for up to 4 GB.
constexpr unsigned long long kMaxInflated =
    3ull * kMaxAxis * kMaxAxis * 8 + 16ull * 1024 * 1024;

// What cfitsio will allocate for a gzip file: the size its trailer gives
// (modulo 2^32), raised by 2^32 while it is below the file's own size (for
// files over 10,000 bytes), as cfitsio reckons; or -1.
long long gzipInflatedSize(const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return -1;
    unsigned char t[4] = {};
    bool ok = std::fseek(f, 0, SEEK_END) == 0;
    const long long fileSize = ok ? static_cast<long long>(std::ftell(f)) : -1;
    ok = ok && fileSize >= 4 && std::fseek(f, -4, SEEK_END) == 0 && std::fread(t, 1, 4, f) == 4;
    std::fclose(f);
    if (!ok) return -1;
    long long size = static_cast<long long>(t[0]) | (static_cast<long long>(t[1]) << 8) |
                     (static_cast<long long>(t[2]) << 16) | (static_cast<long long>(t[3]) << 24);
    if (fileSize > 10000)
        while (size < fileSize) size += 4294967296LL;
    return size;
}

// How many tiles a compressed image has, and how many values tile `row`
// (from 1) holds; false when an axis or a tile is empty.
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
    if (gzipped) {
        const long long inflated = gzipInflatedSize(path);
        if (inflated < 0) {
            reason = "the gzip stream is cut short";
            return false;
        }
        if (static_cast<unsigned long long>(inflated) > kMaxInflated) {
            reason = "the gzip stream says it holds " + plainNumberText(static_cast<std::int64_t>(inflated)) +
                     " bytes, more than any frame Lumavist opens (at most " +
                     plainNumberText(static_cast<std::int64_t>(kMaxInflated)) + "), or it is damaged";
            return false;
        }
    }
#if LV_CFITSIO_ON_DEMAND
    if (std::string why; !foreign::loadCfitsio(why)) {
        reason = why;
        return false;
    }
#endif
    // cfitsio reads the primary header as it opens the file.
    if (gzFile z = gzopen(path.c_str(), "rb")) {
        const std::vector<HeaderCard> primary =
            recordsUntilEnd([&](char* block) { return gzread(z, block, 2880) == 2880; });
        gzclose(z);
        if (const std::string refusal = unsafeHeader(primary, false); !refusal.empty()) {
            reason = "the primary header cannot be read: " + refusal;
            return false;
        }
    }
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
        const NextUnit next = nextUnit(f);
        otherUnits_ = next.exists && (!next.refusal.empty() || fits_movrel_hdu(f, 1, &type, &more) == 0);
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
        const NextUnit next = nextUnit(f);
        if (!next.refusal.empty()) {
            reason = "extension " + plainNumberText(unit - 1) + " cannot be read: " + next.refusal;
            return false;
        }
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

}  // namespace lv
