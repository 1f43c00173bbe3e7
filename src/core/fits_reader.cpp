#include "core/fits_reader.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "core/conventions.h"
#include "core/fits_decode.h"
#include "core/fits_foreign.h"

namespace lv {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::string describeErrno(int err)
{
    const char* t = std::strerror(err);
    return t ? std::string(t) : std::string("unknown error");
}

// The header messages name the file, except in the file dialog's form.
std::string headerText(std::string_view path, ReadForm form, std::string_view text)
{
    return form == ReadForm::Dialog ? std::string(text) : std::string(path) + std::string(text);
}

// Whether another unit (an extension) starts where the image's data end.
bool extensionFollows(std::FILE* file, unsigned long long fileLength, long long at)
{
    char key[8];
    if (at <= 0 || static_cast<unsigned long long>(at) + sizeof key > fileLength) return false;
    if (std::fseek(file, static_cast<long>(at), SEEK_SET) != 0) return false;
    return std::fread(key, 1, sizeof key, file) == sizeof key && std::memcmp(key, "XTENSION", sizeof key) == 0;
}

}  // namespace

bool isUnitFloat(const FitsImage& image)
{
    // (A maximum of -1 is the dusky picture's "no value qualified".)
    return image.isFloat && image.minValue >= 0 && image.minValue <= 1 && image.maxValue >= 0 && image.maxValue <= 1;
}

std::string unitFloatMessage(const std::string& path)
{
    return path + ": every value of this floating-point frame lies between 0 and 1, so as whole numbers it is "
                  "a picture of 0s and 1s. Save it as integers scaled up (for example by 65535) in the program "
                  "that wrote it, then open that file";
}

bool hasFitsFileNameEnding(std::string_view path)
{
    if (path.size() < 3) return false;
    const std::string_view end = path.substr(path.size() - 3);
    return end == "fit" || end == "fts" || end == "FIT" || end == "FTS" || end == "Fit" || end == "Fts";
}

bool hasCompressedFrameEnding(std::string_view path)
{
    if (path.size() < 3) return false;
    const std::string_view end = path.substr(path.size() - 3);
    return end == ".fz" || end == ".gz" || end == ".FZ" || end == ".GZ";
}

int readFitsFile(FitsImage& image, AppState& state, const std::string& path, ReadForm form, Platform& platform,
                 PixelPool* pool)
{
    const ReadOptions options = readOptionsOf(state);
    auto reject = [&](const std::string& text) {
        platform.error(text);
        state.statistics = statisticsLine(image);
        return -1;
    };
    auto ownReason = [&](const std::string& reason) { return path + ": " + reason; };

    File file(std::fopen(path.c_str(), "rb"));
    if (!file) return reject(ownReason("the file cannot be opened (" + describeErrno(errno) + ")"));
    std::setvbuf(file.get(), nullptr, _IONBF, 0);  // we read in large blocks ourselves

    std::error_code ec;
    const auto fileLength = std::filesystem::file_size(path, ec);
    if (ec) return reject(ownReason("the file cannot be read (" + ec.message() + ")"));

    // A gzip stream, and a file whose primary holds no image, are opened by
    // cfitsio; the value rules below stay the same.
    unsigned char magic[2] = {};
    const std::size_t got = std::fread(magic, 1, sizeof magic, file.get());
    std::rewind(file.get());
    const bool gzipped = startsLikeGzip(magic, got);
    std::unique_ptr<ForeignFile> foreign;
    auto openForeign = [&]() {
        foreign = std::make_unique<ForeignFile>();
        std::string reason;
        if (foreign->open(path, gzipped, reason)) return true;
        foreign.reset();
        reject(ownReason(reason));
        return false;
    };

    // Header scan: whole 80-byte records, up to the END record, at most 500.
    FitsImage staged;
    bool endFound = true;
    HeaderScan scan;
    if (gzipped) {
        if (!openForeign()) return -1;
    } else {
        scan = scanHeader(file.get(), fileLength, kMaxHeaderCards);
        if (scan.readFailed) return reject(ownReason("the file cannot be read (" + describeErrno(scan.err) + ")"));
        endFound = scan.endFound;
        const HeaderCard* axes = lastCard(scan.cards, "NAXIS   ");
        if (endFound && axes && cardValue(*axes) == 0 && !lastCard(scan.cards, "NAXIS1  ") && !openForeign())
            return -1;
    }
    staged.cards = foreign ? foreign->cards() : std::move(scan.cards);
    staged.resetHeaderState();
    // An extension's image is shaped by its own records only.
    const ImageKeys keys =
        foreign ? imageKeys({staged.cards.begin() + foreign->primaryRecords(), staged.cards.end()}) : imageKeys(staged.cards);
    staged.bitpix = keys.bitpix;
    staged.naxis1 = keys.naxis1;
    staged.naxis2 = keys.naxis2;
    staged.naxis3 = keys.naxis3;
    staged.bzero = keys.bzero;
    staged.bscale = keys.bscale;
    if (foreign) {
        staged.hdu = foreign->hdu();
        staged.primaryRecords = foreign->primaryRecords();
        staged.compression = foreign->compression();
        staged.otherUnits = foreign->otherUnits();
    }

    if (staged.bitpix == -1) return reject(headerText(path, form, "BITPIX error"));
    staged.isFloat = staged.bitpix == -32 || staged.bitpix == -64;
    staged.bitpix = staged.bitpix == INT32_MIN ? INT32_MAX : std::abs(staged.bitpix);
    if (staged.bitpix != 8 && staged.bitpix != 16 && staged.bitpix != 32 && staged.bitpix != 64)
        return reject(headerText(path, form, "BITPIX error : BITPIX =" + numberText(staged.bitpix)));
    if (staged.naxis1 == -1) return reject(headerText(path, form, "NAXIS1 error"));
    if (staged.naxis2 == -1) return reject(headerText(path, form, "NAXIS2 error"));

    // What the image model cannot hold is refused before anything is decoded.
    if (!endFound) {
        if (scan.limitReached)
            return reject(ownReason("the header has no END record within its first 500 records"));
        return reject(ownReason("the header has no END record"));
    }
    if (staged.naxis1 < 1 || staged.naxis1 > kMaxAxis)
        return reject(ownReason("NAXIS1 =" + numberText(staged.naxis1) + " is outside 1 ... 3073"));
    if (staged.naxis2 < 1 || staged.naxis2 > kMaxAxis)
        return reject(ownReason("NAXIS2 =" + numberText(staged.naxis2) + " is outside 1 ... 3073"));

    const bool colour = staged.naxis3 == 3 && (form == ReadForm::Dialog || staged.isFloat);
    const int planes = colour ? 3 : 1;
    const int bytesPerValue = staged.bitpix / 8;
    const long long dataOffset = headerBytes(staged.cardCount());
    const long long valuesPerPlane = static_cast<long long>(staged.naxis1) * staged.naxis2;
    const long long dataBytes = valuesPerPlane * planes * bytesPerValue;
    if (!foreign && static_cast<long long>(fileLength) < dataOffset + dataBytes)
        return reject(ownReason("the data are shorter than the header announces (" +
                                plainNumberText(static_cast<std::int64_t>(static_cast<long long>(fileLength) - std::min<long long>(dataOffset, static_cast<long long>(fileLength)))) +
                                " of" + numberText(static_cast<std::int64_t>(dataBytes)) + " bytes)"));

    // The plan: the value rules of this file and these reading options.
    DataPlan plan;
    plan.rules.bscale = staged.bscale;
    plan.rules.offset = staged.bzero * options.bzeroSign;
    plan.rules.calcMode = options.readCalcMode;
    plan.rules.calcValue = options.readCalcValue;
    plan.rules.wrapAt = staged.isFloat ? 0 : staged.bitpix == 16 ? 65536 : staged.bitpix == 8 ? 256 : 0;
    plan.decode = chooseDecoder(staged.bitpix, staged.isFloat, colour, plan.rules, options.duskyPicture, plan.shift);
    plan.bytesPerValue = bytesPerValue;
    plan.planes = planes;
    plan.valuesPerPlane = valuesPerPlane;
    plan.dusky = options.duskyPicture;
    plan.everyCandidate = staged.isFloat && !colour;
    // Blank values: NaN and the infinities of float data; the BLANK value,
    // compared raw, of integer data (the image's own record).
    plan.floatBlanks = staged.isFloat;
    if (!staged.isFloat) {
        const std::vector<HeaderCard> own(staged.cards.begin() + staged.primaryRecords, staged.cards.end());
        if (const HeaderCard* blank = lastCard(own, "BLANK   ")) {
            const double v = cardValue(*blank);
            if (v == std::floor(v) && std::fabs(v) < 9.2e18) plan.setIntegerBlank(staged.bitpix, static_cast<long long>(v));
        }
    }
    const std::optional<long long> integerBlank =
        plan.integerBlank ? std::optional<long long>(plan.blankValue) : std::nullopt;

    // Decoding: every value of the planes read is written, so neither reused
    // nor new storage needs clearing.
    if (pool) staged.pixels = pool->take();
    staged.pixels.resize(static_cast<std::size_t>(valuesPerPlane * planes));
    staged.planes = planes;
    DataResult decoded;
    if (foreign) {
        // In chunks, so that no copy of the whole data is made.
        std::vector<unsigned char> chunk;
        const int bitpix = staged.isFloat ? -staged.bitpix : staged.bitpix;
        long long first = 0;
        std::string reason;
        decoded = decodeFrom(plan, staged.pixels.data(), [&](std::size_t bytes) -> const unsigned char* {
            chunk.resize(bytes);
            const long long n = static_cast<long long>(bytes) / plan.bytesPerValue;
            if (!foreign->readValues(first, n, bitpix, chunk.data(), reason, integerBlank)) return nullptr;
            first += n;
            return chunk.data();
        });
        if (!reason.empty()) {
            if (pool) pool->give(std::move(staged.pixels));
            return reject(ownReason(reason));
        }
    } else {
        decoded = decodeData(file.get(), path, dataOffset, plan, staged.pixels.data());
        const long long unitBytes = dataUnitBytes(staged.cards);
        // NAXIS = 0 beside the NAXIS1 and NAXIS2 read says nothing of where the data end.
        staged.otherUnits = unitBytes > 0 && extensionFollows(file.get(), fileLength, dataOffset + unitBytes);
    }
    if (decoded.kind != DataResult::Read) {
        if (pool) pool->give(std::move(staged.pixels));
        if (decoded.kind == DataResult::CutShort)
            return reject(ownReason("the data are shorter than the header announces"));
        if (decoded.kind == DataResult::ReadFailed)
            return reject(ownReason("the file cannot be read (" + describeErrno(decoded.err) + ")"));
        std::string where = "the value at column" + numberText(static_cast<std::int64_t>(decoded.at % staged.naxis1)) +
                            ", row" + numberText(static_cast<std::int64_t>(decoded.at / staged.naxis1));
        if (planes > 1) where += ", plane" + numberText(decoded.plane);
        return reject(ownReason(where + " does not fit in a 32-bit integer"));
    }

    const Tally& tally = decoded.tally;

    staged.maxValue = tally.maxValue == INT32_MIN ? -1 : tally.maxValue;
    staged.minValue = tally.minValue;
    long long blankTotal = 0;
    if (!decoded.blanks.empty()) {
        staged.blanks.assign(staged.pixels.size(), 0);
        for (const BlankRun& run : decoded.blanks) {
            std::fill_n(staged.blanks.begin() + run.from, run.count, std::uint8_t{1});
            blankTotal += run.count;
        }
    }
    const bool allBlank = blankTotal == valuesPerPlane * planes;
    if (allBlank) {
        // Nothing to take extremes of: shown as a black frame of 0s.
        staged.maxValue = 0;
        staged.minValue = 0;
    }
    staged.fileName = path;
    PixelVector previous = std::move(image.pixels);
    image = std::move(staged);
    if (pool) pool->give(std::move(previous));
    state.statistics = statisticsLine(image, tally.sum);
    // Floats scaled to 0 ... 1 (as some stacking programs write them) become
    // a picture of 0s and 1s as whole numbers: the user is told, and how.
    if (allBlank) platform.message(path + ": every pixel of this frame is blank (" +
                                   (image.isFloat ? "NaN or infinite" : "the BLANK value") + ")");
    else if (isUnitFloat(image)) platform.message(unitFloatMessage(path));
    return 0;
}

}  // namespace lv
