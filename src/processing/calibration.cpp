#include "processing/calibration.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <set>
#include <vector>

#include "core/conventions.h"
#include "core/folder_job.h"
#include "core/fits_header.h"
#include "core/fits_reader.h"
#include "core/fits_writer.h"
#include "core/frame_read_ahead.h"
#include "core/processors.h"
#include "core/read_ahead.h"
#include "core/vector_clones.h"

namespace lv {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

const char* kindWord(CalibrationKind kind) { return kind == CalibrationKind::Dark ? "dark frame" : "flat field"; }

std::string errnoText(int err)
{
    const char* t = std::strerror(err);
    return t ? t : "unknown error";
}

// The raw value of one big-endian datum; nullopt for what the model cannot
// hold (32-bit values of 2^31 or more, floats of exponent 255).
std::optional<double> rawValue(const unsigned char* p, int bitpix, bool isFloat)
{
    if (bitpix == 8) return static_cast<double>(p[0]);
    if (bitpix == 16) return static_cast<double>((unsigned{p[0]} << 8) | p[1]);
    const std::uint32_t u = (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
    if (!isFloat) {
        if (u > 2147483647u) return std::nullopt;
        return static_cast<double>(u);
    }
    // (-1)^s x 2^(e - 127) x (1 + f / 2^23); exponent 0 is not special.
    const unsigned e = (u >> 23) & 0xFFu;
    if (e == 255) return std::nullopt;
    const double f = static_cast<double>(u & 0x7FFFFFu);
    const double v = std::ldexp(1.0 + f / 8388608.0, static_cast<int>(e) - 127);
    const double rounded = roundHalfEven((u >> 31) ? -v : v);
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) return std::nullopt;
    return rounded;
}

}  // namespace

bool readCalibrationFile(const std::string& path, CalibrationKind kind, CalibrationForm form, int bzeroSign,
                         CalibrationFrame& frame, Platform& platform)
{
    const bool continuous = form == CalibrationForm::Continuous;
    const std::string prefix = continuous ? kindWord(kind) : "";
    auto refuse = [&](const std::string& text) {
        platform.error(text);
        return false;
    };
    auto own = [&](const std::string& reason) { return refuse(path + ": " + reason); };

    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return own("the file cannot be opened (" + errnoText(errno) + ")");
    std::error_code ec;
    const auto length = std::filesystem::file_size(path, ec);
    if (ec) return own("the file cannot be read (" + ec.message() + ")");

    // Header: whole records up to END, at most 1000 of them.
    const HeaderScan scan = scanHeader(file.get(), length, kMaxCalibrationCards);
    if (scan.readFailed) return own("the file cannot be read (" + errnoText(scan.err) + ")");
    const std::vector<HeaderCard>& cards = scan.cards;
    const bool endFound = scan.endFound;
    const ImageKeys keys = imageKeys(cards);
    long long bitpixValue = keys.bitpix;
    const int naxis1 = keys.naxis1;
    const int naxis2 = keys.naxis2;
    const double bzero = keys.bzero;
    const double bscale = keys.bscale;

    if (bitpixValue == -1) return refuse(prefix + "BITPIX error");
    bool isFloat = false;
    if (!continuous) {
        isFloat = bitpixValue == -32;
        bitpixValue = bitpixValue < 0 ? -bitpixValue : bitpixValue;
    }
    if (bitpixValue != 8 && bitpixValue != 16 && bitpixValue != 32)
        return refuse(prefix + "BITPIX error : BITPIX =" + numberText(static_cast<std::int64_t>(bitpixValue)));
    if (naxis1 == -1) return refuse(prefix + "NAXIS1 error");
    if (naxis2 == -1) return refuse(prefix + "NAXIS2 error");

    // What the calibration plane cannot hold is refused before any value is decoded.
    if (!endFound) {
        if (scan.limitReached) return own("the header has no END record within its first 1000 records");
        return own("the header has no END record");
    }
    if (naxis1 < 1 || naxis1 > kMaxAxis) return own("NAXIS1 =" + numberText(naxis1) + " is outside 1 ... 3073");
    if (naxis2 < 1 || naxis2 > kMaxAxis) return own("NAXIS2 =" + numberText(naxis2) + " is outside 1 ... 3073");
    const int bitpix = static_cast<int>(bitpixValue);
    const std::size_t bytesPerValue = static_cast<std::size_t>(bitpix / 8);
    const std::size_t count = static_cast<std::size_t>(naxis1) * static_cast<std::size_t>(naxis2);
    const long long dataOffset = headerBytes(static_cast<int>(cards.size()));
    const long long dataBytes = static_cast<long long>(count * bytesPerValue);
    if (static_cast<long long>(length) < dataOffset + dataBytes)
        return own("the data are shorter than the header announces");

    // Dark values of the single-frame command keep their sign; everything
    // else below 0 is stored as 0.
    const bool keepNegative = !continuous && kind == CalibrationKind::Dark;
    const double offset = bzero * bzeroSign;
    const std::int32_t wrapAt = isFloat ? 0 : bitpix == 16 ? 65536 : bitpix == 8 ? 256 : 0;
    struct Stored {
        bool fits = false;  // in a 32-bit integer
        std::int32_t value = 0;
        double exact = 0.0;
    };
    auto stored = [&](const unsigned char* p) {
        Stored s;
        const auto raw = rawValue(p, bitpix, isFloat);
        if (!raw) return s;
        double exact = offset + *raw * bscale;
        const auto v = toInt32(exact);
        if (wrapAt != 0 && exact >= wrapAt) exact -= wrapAt;
        if (!v) return s;
        std::int32_t value = *v;
        if (wrapAt != 0 && value >= wrapAt) value -= wrapAt;
        if (value < 0 && !keepNegative) value = 0;
        s.fits = true;
        s.value = value;
        s.exact = exact;
        return s;
    };
    // 8- and 16-bit frames have millions of values but at most 65536
    // different ones: when every one fits, each is worked out once.
    std::vector<std::int32_t> table;
    std::vector<double> exactTable;
    if (!isFloat && bitpix <= 16 && count > (std::size_t{1} << 18)) {
        const std::size_t raws = std::size_t{1} << bitpix;
        table.resize(raws);
        if (keepNegative) exactTable.resize(raws);
        for (std::size_t raw = 0; raw < raws; ++raw) {
            const unsigned char bytes[4] = {static_cast<unsigned char>(bitpix == 8 ? raw : raw >> 8),
                                            static_cast<unsigned char>(raw & 0xFF), 0, 0};
            const Stored v = stored(bytes);
            if (!v.fits) {
                table.clear();
                exactTable.clear();
                break;
            }
            table[raw] = v.value;
            if (keepNegative) exactTable[raw] = v.exact;
        }
    }

    CalibrationFrame staged;
    staged.naxis1 = naxis1;
    staged.naxis2 = naxis2;
    staged.bitpix = bitpix;
    staged.values.resize(count);
    if (keepNegative) staged.exact.resize(count);
    long long sum = 0;
    // Read a piece at a time; every byte is read before a value that does
    // not fit is reported, so that a read error is what is said first.
    if (std::fseek(file.get(), static_cast<long>(dataOffset), SEEK_SET) != 0)
        return own("the file cannot be read (" + errnoText(errno) + ")");
    constexpr std::size_t kPieceValues = std::size_t{1} << 16;
    std::vector<unsigned char> piece(kPieceValues * bytesPerValue);
    std::size_t firstUnfit = count;
    for (std::size_t from = 0; from < count; from += kPieceValues) {
        const std::size_t n = std::min(kPieceValues, count - from);
        errno = 0;
        if (std::fread(piece.data(), 1, n * bytesPerValue, file.get()) != n * bytesPerValue)
            return own(errno ? "the file cannot be read (" + errnoText(errno) + ")"
                             : "the data are shorter than the header announces");  // it became shorter meanwhile
        if (firstUnfit < count) continue;
        std::int32_t* values = staged.values.data() + from;
        if (!table.empty()) {
            for (std::size_t k = 0; k < n; ++k) {
                const std::size_t raw = bitpix == 8 ? piece[k] : (std::size_t{piece[2 * k]} << 8) | piece[2 * k + 1];
                values[k] = table[raw];
                sum += values[k];
                if (keepNegative) staged.exact[from + k] = exactTable[raw];
            }
            continue;
        }
        for (std::size_t k = 0; k < n; ++k) {
            const Stored v = stored(piece.data() + k * bytesPerValue);
            if (!v.fits) {
                firstUnfit = from + k;
                break;
            }
            values[k] = v.value;
            if (keepNegative) staged.exact[from + k] = v.exact;
            sum += v.value;
        }
    }
    if (firstUnfit < count) {
        const auto columns = static_cast<std::size_t>(naxis1);
        return own("the value at column" + numberText(static_cast<std::int64_t>(firstUnfit % columns)) + ", row" +
                   numberText(static_cast<std::int64_t>(firstUnfit / columns)) + " does not fit in a 32-bit integer");
    }
    staged.sum = sum;
    frame = std::move(staged);
    return true;
}

std::int32_t flatMean(long long sum, int columns, int rows)
{
    if (columns <= 0 || rows <= 0) return 0;
    const double mean = static_cast<double>(sum) / columns / rows;
    return toInt32Saturated(roundHalfEven(mean));
}

bool calibrateImage(FitsImage& image, UndoBuffer& undo, CalibrationFrame& frame, const SingleCalibration& settings,
                    Platform& platform)
{
    BusyPointer busy(platform);
    undo.takeSnapshot(image);
    CalibrationFrame read;
    if (!readCalibrationFile(settings.path, settings.kind, CalibrationForm::Single, settings.bzeroSign, read,
                             platform))
        return false;
    frame = std::move(read);

    std::int32_t mx = -1;
    std::int32_t mn = std::numeric_limits<std::int32_t>::max();
    auto store = [&](std::int32_t& pixel, std::int32_t v) {
        pixel = v;
        mx = std::max(mx, v);
        mn = std::min(mn, v);
    };
    const bool blanks = image.hasBlanks();
    // The image and the calibration frame are not compared in size: the
    // positions they share are calibrated, the rest keep their values.
    const int columns = std::min(image.naxis1, frame.naxis1);
    const int rows = std::min(image.naxis2, frame.naxis2);
    if (settings.kind == CalibrationKind::Dark) {
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < columns; ++x) {
                if (blanks && image.isBlank(x, y)) continue;  // stays blank, out of the extremes
                // The difference is rounded, not the dark value (they differ for halves).
                const double exact = frame.exact.empty() ? frame.at(x, y) : frame.exact[frame.index(x, y)];
                const double d = roundHalfEven(static_cast<double>(image.at(x, y)) - exact);
                std::int64_t r = static_cast<std::int64_t>(std::clamp(d, -4e18, 4e18));
                if (frame.bitpix == 16 && r >= 65536) r -= 65536;
                if (frame.bitpix == 8 && r >= 256) r -= 256;
                if (!settings.minusUsed && r < 0) r = 0;
                store(image.at(x, y), toInt32Saturated(static_cast<double>(r)));
            }
    } else {
        // The mean is over the image's size, the loop over the flat's.
        const std::int32_t mean = flatMean(frame.sum, image.naxis1, image.naxis2);
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < columns; ++x) {
                if (blanks && image.isBlank(x, y)) continue;  // stays blank, out of the extremes
                const std::int32_t f = frame.at(x, y);
                // A flat value of 0 would divide by zero: the pixel stays.
                if (f == 0) {
                    store(image.at(x, y), image.at(x, y));
                    continue;
                }
                const double q = static_cast<double>(image.at(x, y)) / f;
                double r = mean * q;
                if (r > 2147483647.0) r = 2147483647.0;
                r = roundHalfEven(r);
                store(image.at(x, y), r < 0 ? 0 : static_cast<std::int32_t>(r));
            }
    }
    image.maxValue = mx;
    image.minValue = mn;
    return true;
}

namespace {

// row - dark, below 0 stored as 0, without a wide type so that the compiler
// makes vector code of it: where the difference is kept, row >= dark, and
// the 32-bit difference is the 64-bit one taken to 32 bits.
LV_VECTOR_CLONES void subtractDarkRow(std::int32_t* __restrict row, const std::int32_t* __restrict d, int n)
{
    for (int x = 0; x < n; ++x) {
        const std::int32_t p = row[x];
        const auto r = static_cast<std::int32_t>(static_cast<std::uint32_t>(p) - static_cast<std::uint32_t>(d[x]));
        row[x] = p < d[x] ? 0 : r;
    }
}

}  // namespace

void subtractDark(FitsImage& image, const CalibrationFrame& dark)
{
    for (int y = 0; y < image.naxis2; ++y) {
        std::int32_t* row = &image.at(0, y);
        const std::int32_t* d = &dark.values[static_cast<std::size_t>(y) * static_cast<std::size_t>(dark.naxis1)];
        subtractDarkRow(row, d, image.naxis1);
    }
}

namespace {

constexpr std::int32_t kNarrow = 1 << 25;  // pixels and means below this multiply exactly in a double

// The row's values all lie strictly within -kNarrow ... kNarrow.
LV_VECTOR_CLONES bool narrowRow(const std::int32_t* row, int n)
{
    std::int32_t lo = 0, hi = 0;
    for (int x = 0; x < n; ++x) {
        lo = std::min(lo, row[x]);
        hi = std::max(hi, row[x]);
    }
    return lo > -kNarrow && hi < kNarrow;
}

// The flat division of a narrow row in plain double arithmetic, without the
// per-pixel rule's range checks and calls: pixel x mean is below 2^50, so the
// product is exact as the 64-bit one is, the division is the same correctly
// rounded one, and adding 1.5 x 2^52 rounds the quotient halves to even as
// roundHalfEven does.
void divideNarrowRowPlain(std::int32_t* __restrict row, const std::int32_t* __restrict f, int n, double mean)
{
    constexpr double kMagic = 6755399441055744.0;
    for (int x = 0; x < n; ++x) {
        const double d = f[x];
        const double q = static_cast<double>(row[x]) * mean / (d == 0 ? 1.0 : d);
        double r = (q + kMagic) - kMagic;
        r = r < 0 ? 0.0 : r > 2147483647.0 ? 2147483647.0 : r;
        row[x] = d == 0 ? row[x] : static_cast<std::int32_t>(r);  // no division by zero: the pixel stays
    }
}

#if LV_AVX2_KERNELS
// The same four pixels at a time: IEEE division, addition and conversion
// give each lane exactly the value the plain loop gives (the division is
// what costs, and four at once halve it).
__attribute__((target("avx2"))) void divideNarrowRowAvx2(std::int32_t* __restrict row,
                                                         const std::int32_t* __restrict f, int n, double mean)
{
    const __m256d magic = _mm256_set1_pd(6755399441055744.0);
    const __m256d m = _mm256_set1_pd(mean);
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d zero = _mm256_setzero_pd();
    const __m256d top = _mm256_set1_pd(2147483647.0);
    int x = 0;
    for (; x + 4 <= n; x += 4) {
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
        const __m128i fi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(f + x));
        const __m256d d = _mm256_cvtepi32_pd(fi);
        const __m256d isZero = _mm256_cmp_pd(d, zero, _CMP_EQ_OQ);
        const __m256d q = _mm256_div_pd(_mm256_mul_pd(_mm256_cvtepi32_pd(p), m), _mm256_blendv_pd(d, one, isZero));
        __m256d r = _mm256_sub_pd(_mm256_add_pd(q, magic), magic);
        r = _mm256_min_pd(_mm256_max_pd(r, zero), top);
        const __m128i out = _mm256_cvtpd_epi32(r);  // whole numbers: converted exactly
        const __m128i keep = _mm_cmpeq_epi32(fi, _mm_setzero_si128());
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + x), _mm_blendv_epi8(out, p, keep));
    }
    divideNarrowRowPlain(row + x, f + x, n - x, mean);
}
#endif

void divideNarrowRow(std::int32_t* row, const std::int32_t* f, int n, double mean)
{
#if LV_AVX2_KERNELS
    if (haveAvx2()) return divideNarrowRowAvx2(row, f, n, mean);
#endif
    divideNarrowRowPlain(row, f, n, mean);
}

}  // namespace

void divideByFlat(FitsImage& image, const CalibrationFrame& flat, std::int32_t mean)
{
    for (int y = 0; y < image.naxis2; ++y) {
        std::int32_t* row = &image.at(0, y);
        const std::int32_t* f = &flat.values[static_cast<std::size_t>(y) * static_cast<std::size_t>(flat.naxis1)];
        if (mean >= 0 && mean < kNarrow && narrowRow(row, image.naxis1)) {
            divideNarrowRow(row, f, image.naxis1, mean);
            continue;
        }
        for (int x = 0; x < image.naxis1; ++x) {
            if (f[x] == 0) continue;  // no division by zero: the pixel stays
            const double r = roundHalfEven(static_cast<double>(static_cast<std::int64_t>(row[x]) * mean) / f[x]);
            row[x] = r < 0 ? 0 : toInt32Saturated(r);
        }
    }
}

namespace {

// Why a frame read from `path` is not calibrated in place, or "".
std::string calibrationRefusal(const std::string& path, const FitsImage& image, const CalibrationFrame& frame,
                               CalibrationKind kind)
{
    if (std::string refusal = inPlaceRefusal(path, image); !refusal.empty()) return refusal;
    // Only plane 0 is written back, so a frame of several planes would lose the others.
    if (image.planes > 1 || image.naxis3 > 1) return path + ": the frame has more than one plane and was not calibrated";
    if (image.naxis1 > frame.naxis1 || image.naxis2 > frame.naxis2)
        return path + ": the frame (" + plainNumberText(image.naxis1) + " x " + plainNumberText(image.naxis2) +
               ") is larger than the " + kindWord(kind) + " (" + plainNumberText(frame.naxis1) + " x " +
               plainNumberText(frame.naxis2) + ") and was not calibrated";
    return {};
}

// The calibration frame itself (whatever name leads to it) would be
// calibrated by itself: a dark would become all zeros.
bool isCalibrationFrame(const std::string& path, const std::string& calibrationPath)
{
    std::error_code same;
    return std::filesystem::equivalent(path, calibrationPath, same);
}

std::string itselfMessage(const std::string& path, CalibrationKind kind)
{
    return path + ": this is the " + kindWord(kind) + " itself; it was not calibrated and keeps its bytes";
}

void applyCalibration(FitsImage& image, const CalibrationFrame& frame, CalibrationKind kind, std::int32_t mean)
{
    if (kind == CalibrationKind::Dark)
        subtractDark(image, frame);
    else
        divideByFlat(image, frame, mean);
}

// One entry made ready on the second thread: read, checked, calibrated,
// encoded and written to its temporary file, with what the read said kept to
// be shown in its turn.
struct PreparedEntry {
    bool itself = false;
    FrameRead read;
    std::string refusal;
    bool encoded = false;
    EncodedFits file;
    std::string encodeError;
};

// Entries are read ahead of their turn; one that may be a file written
// before it (the same file under another name, by a link) waits for it.
class SameFileAsEarlier {
public:
    bool operator()(const std::string& path) { return !seen_.insert(fileKey(path)).second; }

private:
    std::set<std::string> seen_;
};

}  // namespace

ContinuousResult runContinuousCalibration(FitsImage& image, AppState& state, PixelPool* pool, UndoBuffer& undo,
                                          CalibrationFrame& frame, FileQueue& queue,
                                          const ContinuousCalibration& settings, JobProgress& progress,
                                          Platform& platform)
{
    ContinuousResult result;
    const bool dark = settings.kind == CalibrationKind::Dark;
    if (!platform.askOkCancel(std::string("Is a continuous processing of a ") + kindWord(settings.kind) +
                              " executed ?"))
        return result;
    result.started = true;
    undo.setAvailable(false);
    BusyPointer busy(platform);
    std::int32_t mean = 0;

    // With a second processor the next frames are read, calibrated and
    // encoded on one thread and written to their temporary files on
    // another while this one is flushed.
    std::vector<std::string> paths;
    for (FolderWalk walk = FolderWalk::whole(queue, true); walk.next();)
        paths.push_back(entryPath(settings.folder, walk.name()));
    const bool ahead = usableProcessors() >= 2 && paths.size() > 1;
    PixelSpares spares;
    SharedSpares<EncodedFits::Bytes> byteSpares;
    SameFileAsEarlier sameFile;
    const AppState readState = state;
    std::size_t entry = 0;
    // Last, so that its thread has stopped before what it uses goes.
    std::unique_ptr<ReadAhead<PreparedEntry>> prepared;

    FolderJobSteps steps;
    steps.showFirst = true;
    steps.caption = dark ? "Progress DARK" : "Progress FLAT";
    steps.label = settings.calibrationPath;
    steps.prepare = [&] {
        CalibrationFrame read;
        if (!readCalibrationFile(settings.calibrationPath, settings.kind, CalibrationForm::Continuous,
                                 state.bzeroSign, read, platform))
            return false;
        frame = std::move(read);
        result.frameRead = true;
        mean = dark ? 0 : flatMean(frame.sum, frame.naxis1, frame.naxis2);
        if (ahead) {
            prepared = std::make_unique<ReadAhead<PreparedEntry>>(
                paths.size(), 2,
                [&](std::size_t i) {
                    PreparedEntry e;
                    const std::string& path = paths[i];
                    if ((e.itself = isCalibrationFrame(path, settings.calibrationPath))) return e;
                    e.read = readFrameAhead(path, readState, spares);
                    if (e.read.status != 0) return e;
                    FitsImage& frameRead = e.read.image;
                    if (!(e.refusal = calibrationRefusal(path, frameRead, frame, settings.kind)).empty()) return e;
                    applyCalibration(frameRead, frame, settings.kind, mean);
                    if (auto bytes = byteSpares.take()) e.file.bytes = std::move(*bytes);
                    e.encoded = encodeFitsFile(frameRead, path, savedBitpix(frameRead), e.file, e.encodeError);
                    return e;
                },
                [&](std::size_t i) { return sameFile(paths[i]); },
                // Into a temporary file too, on a third thread (copying a
                // frame into the system's cache takes as long as making
                // it): the job's thread then only flushes, names and renames
                // it in its turn. Where that cannot be, it is written in its turn.
                StagedReplacement::possible() ? std::function<void(PreparedEntry&)>([](PreparedEntry& e) {
                    if (e.encoded) stageEncodedFits(e.file);
                })
                                              : nullptr);
        }
        return true;
    };
    steps.entryCaption = [](int slot, const std::string&) { return "Progress" + numberText(slot); };
    auto finish = [&](const std::string* error, const std::string& notice) {
        if (error) {
            platform.error(*error);
            result.writeFailed = true;
            return EntryOutcome::End;
        }
        if (!notice.empty()) platform.message(notice);
        ++result.calibrated;
        return EntryOutcome::Next;
    };
    auto eachAhead = [&](const std::string& path) {
        PreparedEntry e = prepared->take(entry);
        if (e.itself) {
            platform.message(itselfMessage(path, settings.kind));
            ++result.skipped;
            return EntryOutcome::Next;
        }
        if (takeFrameRead(e.read, image, state, spares, platform) != 0) {
            ++result.skipped;
            return EntryOutcome::Next;
        }
        if (!e.refusal.empty()) {
            platform.error(e.refusal);
            ++result.skipped;
            return EntryOutcome::Next;
        }
        std::string error;
        std::string notice;
        if (!e.encoded) return finish(&e.encodeError, notice);
        const bool written = writeEncodedFits(image, e.file, error, &notice);
        byteSpares.give(std::move(e.file.bytes));
        return finish(written ? nullptr : &error, notice);
    };
    steps.each = [&](int, const std::string& name) {
        const std::string path = entryPath(settings.folder, name);
        if (prepared) {
            const EntryOutcome outcome = eachAhead(path);
            prepared->finished(entry++);
            return outcome;
        }
        if (isCalibrationFrame(path, settings.calibrationPath)) {
            platform.message(itselfMessage(path, settings.kind));
            ++result.skipped;
            return EntryOutcome::Next;
        }
        // A frame the reader rejects keeps its bytes: the reader said why.
        if (readFitsFile(image, state, path, ReadForm::Command, platform, pool) != 0) {
            ++result.skipped;
            return EntryOutcome::Next;
        }
        if (const std::string refusal = calibrationRefusal(path, image, frame, settings.kind); !refusal.empty()) {
            platform.error(refusal);
            ++result.skipped;
            return EntryOutcome::Next;
        }
        applyCalibration(image, frame, settings.kind, mean);
        std::string error;
        std::string notice;
        if (!writeFitsFile(image, path, savedBitpix(image), error, &notice)) return finish(&error, notice);
        return finish(nullptr, notice);
    };
    result.stopped = runFolderJob(FolderWalk::whole(queue, true, &queue.current), progress, steps).stopped;
    prepared.reset();
    return result;
}

}  // namespace lv
