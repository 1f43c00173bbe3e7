#include "processing/composite.h"

#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "core/conventions.h"
#include "core/file_replace.h"
#include "core/folder_job.h"
#include "core/frame_read_ahead.h"
#include "core/fits_foreign.h"
#include "core/fits_header.h"
#include "core/fits_reader.h"
#include "core/fits_writer.h"
#include "core/processors.h"
#include "core/vector_clones.h"

namespace lv {

namespace {

// Adds a frame to the sums. While every value of the group lies within
// 2^28 the sums of up to 7 frames fit in 32 bits, which halves the memory
// the loop walks; otherwise they are kept in double precision.
LV_VECTOR_CLONES void addNarrow(std::int32_t* __restrict sums, const std::int32_t* __restrict p, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) sums[i] += p[i];
}
LV_VECTOR_CLONES void addWide(double* __restrict sums, const std::int32_t* __restrict p, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) sums[i] += p[i];
}
// The last frame added and the mean taken in one pass, into that frame's
// pixels. The mean of an odd number of frames is never a half, so the
// nearest integer needs no tie rule.
LV_VECTOR_CLONES void addAndMeanNarrow(const std::int32_t* __restrict sums, std::int32_t* __restrict p, std::size_t n,
                                       double count)
{
    constexpr double kMagic = 6755399441055744.0;  // adding 1.5 * 2^52 rounds to the nearest integer
    const double inverse = 1.0 / count;
    for (std::size_t i = 0; i < n; ++i)
        p[i] = static_cast<std::int32_t>((static_cast<double>(sums[i] + p[i]) * inverse + kMagic) - kMagic);
}

bool narrowFrame(const FitsImage& image, const AppState& state)
{
    // With "Dusky picture" the maximum leaves out the brightest values.
    return !state.duskyPicture && image.minValue >= -(1 << 28) && image.maxValue <= (1 << 28);
}

}  // namespace

CompositeResult runComposite(FitsImage& image, AppState& state, PixelPool* pool, FileQueue& queue,
                             const CompositeSettings& settings, JobProgress& progress, Platform& platform)
{
    CompositeResult result;
    const int h = settings.pictures == 7 ? 3 : settings.pictures == 5 ? 2 : 1;
    const std::string prefix = "c" + plainNumberText(2 * h + 1) + "_";
    BusyPointer busy(platform);
    PixelVector narrowSums;
    std::vector<double> wideSums;
    bool readFailed = false;  // "File read error" ends the job with that message alone

    // With a second processor the next frames are read while this one is
    // added. Every group's frames are read in turn, as they are listed; a
    // frame that may be a composite written by an earlier group (a c3_ file
    // listed with the frames) waits until that group is written.
    const int firstCentre = h + 1;
    const int lastCentre = queue.count() - h;
    std::vector<std::string> readPaths;
    std::vector<std::size_t> groupOf;
    std::vector<std::string> outputs;
    if (usableProcessors() >= 2) {
        for (int c = firstCentre; c <= lastCentre; ++c) {
            for (int k = 0; k <= 2 * h; ++k) {
                readPaths.push_back(entryPath(settings.folder, queue.name(c - h + k)));
                groupOf.push_back(outputs.size());
            }
            outputs.push_back(entryPath(settings.folder, prefix + queue.name(c)));
        }
    }
    std::set<std::string> writtenBefore;  // by the groups before the one being read ahead
    std::size_t groupsCounted = 0;
    PixelSpares spares;
    const AppState readState = state;
    std::size_t nextRead = 0;
    // Last, so that its thread has stopped before what it uses goes.
    std::unique_ptr<ReadAhead<FrameRead>> ahead;
    if (readPaths.size() > 1)
        ahead = std::make_unique<ReadAhead<FrameRead>>(
            readPaths.size(), 2 * h + 1,
            [&](std::size_t i) { return readFrameAhead(readPaths[i], readState, spares); },
            [&](std::size_t i) {
                for (; groupsCounted < groupOf[i]; ++groupsCounted) writtenBefore.insert(fileKey(outputs[groupsCounted]));
                return writtenBefore.count(fileKey(readPaths[i])) > 0;
            });
    auto readMember = [&](const std::string& path) {
        if (!ahead) return readFitsFile(image, state, path, ReadForm::Command, platform, pool);
        const std::size_t i = nextRead++;
        FrameRead read = ahead->take(i);
        // A group's last frame counts as finished once the group is written.
        if (i + 1 < groupOf.size() && groupOf[i + 1] == groupOf[i]) ahead->finished(i);
        return takeFrameRead(read, image, state, spares, platform);
    };
    std::function<EntryOutcome(int, const std::string&)> composeGroup;
    FolderJobSteps steps;
    steps.caption = "Progress Auto Composite";
    steps.each = [&](int c, const std::string& centreName) {
        const EntryOutcome outcome = composeGroup(c, centreName);
        // The group is written (or passed over): frames waiting for it may be read.
        if (ahead && nextRead > 0) ahead->finished(nextRead - 1);
        return outcome;
    };
    composeGroup = [&](int c, const std::string& centreName) {
        FitsImage centre;  // the centre frame's header, dimensions and name
        bool sameSize = true;
        struct Shape {
            std::string path;
            int naxis1, naxis2, planes;
        };
        std::vector<Shape> shapes;  // of the group's frames, for the message
        std::vector<std::uint8_t> groupBlanks;  // empty while no frame has a blank pixel
        bool narrow = true;
        std::size_t n = 0;
        for (int k = 0; k <= 2 * h; ++k) {
            const int slot = c - h + k;
            const std::string path = entryPath(settings.folder, queue.name(slot));
            if (readMember(path) != 0) {
                // The image's storage may be serving as the sums: no frame is left shown.
                if (k > 0) image.pixels.clear();
                platform.error(kFileReadError);
                result.failed = true;
                readFailed = true;
                return EntryOutcome::End;
            }
            shapes.push_back({path, image.naxis1, image.naxis2, image.planes});
            const bool otherSize = k > 0 && (image.naxis1 != centre.naxis1 || image.naxis2 != centre.naxis2);
            // Frames of another size cannot be averaged pixel by pixel, and
            // only plane 0 would be written.
            if (otherSize || image.planes > 1) sameSize = false;
            if (k == 0 || k == h) {
                // The header (of the first frame for the size, then of the
                // centre) without copying the pixels.
                PixelVector pixels = std::move(image.pixels);
                centre = image;
                image.pixels = std::move(pixels);
            }
            if (!sameSize) continue;
            // A pixel blank in any frame of the group is blank in the composite.
            if (image.hasBlanks()) {
                const std::size_t values = static_cast<std::size_t>(image.naxis1) * static_cast<std::size_t>(image.naxis2);
                groupBlanks.resize(values, 0);
                for (std::size_t i = 0; i < values; ++i) groupBlanks[i] |= image.blanks[i];
            }
            const std::int32_t* p = image.plane(0);
            if (k == 0) {
                n = static_cast<std::size_t>(image.naxis1) * static_cast<std::size_t>(image.naxis2);
                narrow = narrowFrame(image, state);
                if (narrow) {
                    // The first frame's pixels become the sums; the image
                    // takes the storage the sums had (the next read replaces it).
                    image.pixels.resize(n);
                    narrowSums.swap(image.pixels);
                } else {
                    wideSums.assign(p, p + n);
                }
                continue;
            }
            if (narrow && !narrowFrame(image, state)) {
                // A frame of larger values: the sums so far go on in double precision.
                wideSums.assign(narrowSums.begin(), narrowSums.begin() + static_cast<std::ptrdiff_t>(n));
                narrow = false;
            }
            if (narrow && k == 2 * h)
                addAndMeanNarrow(narrowSums.data(), image.plane(0), n, 2 * h + 1);
            else if (narrow)
                addNarrow(narrowSums.data(), p, n);
            else
                addWide(wideSums.data(), p, n);
        }
        if (!sameSize) {
            // Named is the first frame that differs from the centre frame, whose
            // size the composite has: the first frame of the group may be the odd one.
            const Shape& mid = shapes[static_cast<std::size_t>(h)];
            for (const Shape& f : shapes) {
                if (f.planes > 1) {
                    platform.error(f.path + ": the frame has more than one plane; no composite was written for " + centreName);
                    break;
                }
                if (f.naxis1 != mid.naxis1 || f.naxis2 != mid.naxis2) {
                    platform.error(f.path + ": the frame is" + numberText(f.naxis1) + " x" + numberText(f.naxis2) +
                                     ", the centre frame " + centreName + " is" + numberText(mid.naxis1) + " x" +
                                     numberText(mid.naxis2) + "; no composite was written for " + centreName);
                    break;
                }
            }
            ++result.skipped;
            return EntryOutcome::Next;
        }
        // The centre frame's header with the mean as its pixels.
        PixelVector pixels = std::move(image.pixels);
        image = std::move(centre);
        pixels.resize(n);
        image.pixels = std::move(pixels);
        const double count = 2 * h + 1;
        std::int32_t* out = image.plane(0);
        // (The narrow mean was taken with the last frame.)
        if (!narrow)
            for (std::size_t i = 0; i < n; ++i) out[i] = toInt32Saturated(roundHalfEven(wideSums[i] / count));
        image.blanks = std::move(groupBlanks);
        image.settleBlanks();
        std::string error;
        std::string notice;
        if (!writeFitsFile(image, entryPath(settings.folder, prefix + centreName), savedBitpix(image), error, &notice)) {
            platform.error(error);
            result.failed = true;
            return EntryOutcome::End;
        }
        if (!notice.empty()) platform.message(notice);
        ++result.written;
        return EntryOutcome::Next;
    };
    steps.finish = [&](bool stopped) {
        result.stopped = stopped;
        if (readFailed) return;
        // The job says when it is done, and what it wrote where.
        std::string done = (result.failed || result.stopped ? "Auto Composite stopped: " : "Auto Composite done: ") +
                           plainNumberText(result.written) + (result.written == 1 ? " composite" : " composites") +
                           " written in " + folderShown(settings.folder) + " (" + prefix + " followed by the centre frame's name)";
        if (result.skipped > 0)
            done += "; " + plainNumberText(result.skipped) + (result.skipped == 1 ? " group" : " groups") + " passed over";
        platform.message(done);
    };
    runFolderJob(FolderWalk(queue, firstCentre, lastCentre, false, &queue.current), progress, steps);
    ahead.reset();
    return result;
}

std::optional<std::string> headerValueField(const std::string& text)
{
    if (text.size() > 21 || !decimalNumber(text)) return std::nullopt;
    return std::string(21 - text.size(), ' ') + text;
}

RewriteResult rewriteBzeroBscale(const FileQueue& queue, const std::string& folder, const std::string& bzeroText,
                                 const std::string& bscaleText, JobProgress& progress, Platform& platform)
{
    RewriteResult result;
    const auto bzero = headerValueField(bzeroText);
    const auto bscale = headerValueField(bscaleText);
    if (!bzero || !bscale) {
        const std::string& bad = !bzero ? bzeroText : bscaleText;
        platform.error(std::string(!bzero ? "BZERO" : "BSCALE") + " \"" + bad +
                         "\" is not a number of at most 21 characters: no file was changed");
        result.refused = true;
        return result;
    }
    auto trimmed = [](const std::string& t) {
        const std::size_t a = t.find_first_not_of(' ');
        return a == std::string::npos ? std::string() : t.substr(a, t.find_last_not_of(' ') - a + 1);
    };
    const std::string values = "BZERO = " + trimmed(bzeroText) + ", BSCALE = " + trimmed(bscaleText);
    const std::string where = folderShown(folder);
    // Every listed file is rewritten in place: the user says so first.
    if (queue.count() == 0) {
        platform.message("No frame is listed in " + where + "; no file was changed");
        result.cancelled = true;
        return result;
    }
    if (!platform.askOkCancel(plainNumberText(queue.count()) + (queue.count() == 1 ? " frame in " : " frames in ") +
                              where + " get " + values)) {
        result.cancelled = true;
        return result;
    }
    BusyPointer busy(platform);
    int unchanged = 0;
    FolderJobSteps steps;
    steps.caption = "Progress";
    steps.each = [&](int, const std::string& name) {
        const std::string path = entryPath(folder, name);
        std::string bytes;
        const bool read = readWholeFile(path, bytes);
        // Only a FITS file whose header ends is rewritten.
        bool endFound = false;
        bool changed = false;
        const std::size_t cards = bytes.size() / kCardLength;
        const bool fits = read && bytes.compare(0, 8, "SIMPLE  ") == 0;
        for (std::size_t k = 0; fits && k < cards; ++k) {
            char* card = bytes.data() + k * kCardLength;
            const std::string_view key(card, 8);
            if (key == "BZERO   " || key == "BSCALE  ") {
                HeaderCard rebuilt(card, kCardLength);
                setCardValue(rebuilt, key == "BZERO   " ? *bzero : *bscale);
                std::copy(rebuilt.begin(), rebuilt.end(), card);
                changed = true;
            }
            if (std::string_view(card, 3) == "END") {
                endFound = true;
                break;
            }
        }
        if (read && startsLikeGzip(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size())) {
            platform.error(inPlaceRefusal(path, "gzip", false));
            ++result.skipped;
            return EntryOutcome::Next;
        }
        if (!fits || !endFound) {
            platform.error(path + ": not a FITS file that can be read; it was left as it was");
            ++result.skipped;
            return EntryOutcome::Next;
        }
        // A file that holds other units after its primary (an image
        // extension, a table) keeps its bytes.
        std::vector<HeaderCard> records;
        for (std::size_t k = 0; k < cards; ++k) {
            records.emplace_back(bytes.data() + k * kCardLength, kCardLength);
            if (records.back().compare(0, 3, "END") == 0) break;
        }
        const long long unitBytes = dataUnitBytes(records);
        const auto next = static_cast<std::size_t>(headerBytes(static_cast<int>(records.size())) + std::max(unitBytes, 0LL));
        if (unitBytes >= 0 && next + 8 <= bytes.size() && bytes.compare(next, 8, "XTENSION") == 0) {
            platform.error(inPlaceRefusal(path, "", true));
            ++result.skipped;
            return EntryOutcome::Next;
        }
        // A file without the cards keeps its bytes and is not counted.
        if (!changed) {
            ++unchanged;
            return EntryOutcome::Next;
        }
        std::string error;
        if (!replaceFileWith(path, bytes, error)) {
            platform.error(error);
            ++result.skipped;
            return EntryOutcome::Next;
        }
        ++result.rewritten;
        return EntryOutcome::Next;
    };
    result.stopped = runFolderJob(FolderWalk::whole(queue, false), progress, steps).stopped;
    std::string done = plainNumberText(result.rewritten) + (result.rewritten == 1 ? " frame" : " frames") +
                       " rewritten in " + where + " (" + values + ")";
    if (result.skipped + unchanged > 0)
        done += "; " + plainNumberText(result.skipped + unchanged) + " left as they were";
    if (result.stopped) done = "Stopped: " + done;
    platform.message(done);
    return result;
}

}  // namespace lv
