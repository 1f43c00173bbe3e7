// Reading a FITS data unit: a regular file by positional reads, a chunk at a
// time (a large frame by two threads, one half each), anything else through
// a buffered read.
#include "core/fits_decode.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>

#include "core/processors.h"
#include "core/vector_clones.h"

#if defined(__unix__) || defined(__APPLE__)
#define LV_POSITIONAL_READ 1
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#define LV_POSITIONAL_READ 0
#endif

namespace lv {

namespace {

std::atomic<void (*)(const std::string&)> beforeReadHook{nullptr};

// Where decoding stopped early, if it did.
struct DecodeStop {
    enum Kind { None, ReadFailed, DoesNotFit } kind = None;
    int plane = 0;
    long long at = 0;  // value index within the plane
    int err = 0;
};

bool blankRaw(const DataPlan& plan, const unsigned char* p)
{
    if (plan.floatBlanks)  // exponent bits all set: NaN or an infinity
        return plan.bytesPerValue == 4 ? (p[0] & 0x7F) == 0x7F && (p[1] & 0x80) == 0x80
                                       : (p[0] & 0x7F) == 0x7F && (p[1] & 0xF0) == 0xF0;
    if (!plan.integerBlank) return false;
    // Fixed-size comparisons, which the compiler makes single loads.
    switch (plan.bytesPerValue) {
        case 1: return p[0] == plan.blankBytes[0];
        case 2: return std::memcmp(p, plan.blankBytes, 2) == 0;
        case 4: return std::memcmp(p, plan.blankBytes, 4) == 0;
        default: return std::memcmp(p, plan.blankBytes, 8) == 0;
    }
}

// Whether n raw integer values hold the BLANK value: the stored words
// compared as they are, in a loop the compiler runs on several at once.
template <class Word>
LV_VECTOR_CLONES bool holdsWord(const unsigned char* in, std::size_t n, Word blank)
{
    bool any = false;
    for (std::size_t k = 0; k < n; ++k) {
        Word w;
        std::memcpy(&w, in + k * sizeof(Word), sizeof(Word));
        any |= w == blank;
    }
    return any;
}

bool holdsIntegerBlank(const DataPlan& plan, const unsigned char* in, std::size_t n)
{
    auto as = [&](auto word) {
        std::memcpy(&word, plan.blankBytes, sizeof word);  // the BLANK value in the file's byte order
        return holdsWord(in, n, word);
    };
    switch (plan.bytesPerValue) {
        case 1: return as(std::uint8_t{});
        case 2: return as(std::uint16_t{});
        case 4: return as(std::uint32_t{});
        default: return as(std::uint64_t{});
    }
}

void addBlankRun(std::vector<BlankRun>& runs, long long from, long long count)
{
    if (!runs.empty() && runs.back().from + runs.back().count == from)
        runs.back().count += count;
    else
        runs.push_back({from, count});
}

// A chunk that holds blank values, decoded run by run: the runs of values
// between them by the chunk decoder, the blank ones stored as 0. Returns the
// index of the first value that cannot be stored, or n.
std::size_t decodeAroundBlanks(const DataPlan& plan, const unsigned char* in, std::size_t n, std::int32_t* out,
                               const TallyRules& how, Tally& tally, long long base, std::vector<BlankRun>& blanks)
{
    const auto width = static_cast<std::size_t>(plan.bytesPerValue);
    for (std::size_t j = 0; j < n;) {
        std::size_t k = j;
        while (k < n && !blankRaw(plan, in + k * width)) ++k;
        if (k > j) {
            const std::size_t good = plan.decode(in + j * width, k - j, out + j, plan.rules, plan.shift, how, tally);
            if (good != k - j) return j + good;
        }
        std::size_t m = k;
        while (m < n && blankRaw(plan, in + m * width)) out[m++] = 0;
        if (m > k) addBlankRun(blanks, base + static_cast<long long>(k), static_cast<long long>(m - k));
        j = m;
    }
    return n;
}

// Decodes values [from, to) of the planes into out, one chunk at a time;
// nextChunk(bytes) gives the next chunk's raw bytes, or null when they
// cannot be read.
template <class NextChunk>
void decodeValues(const DataPlan& plan, std::int32_t* out, long long from, long long to, NextChunk&& nextChunk,
                  Tally& tally, DecodeStop& stop, std::vector<BlankRun>& blanks)
{
    const auto width = static_cast<std::size_t>(plan.bytesPerValue);
    const long long valuesPerPlane = plan.valuesPerPlane;
    for (long long i = from; i < to;) {
        const int plane = static_cast<int>(i / valuesPerPlane);
        const long long done = i - plane * valuesPerPlane;
        const TallyRules how{plan.dusky, plan.everyCandidate, plane == 0};
        const auto n = static_cast<std::size_t>(
            std::min({static_cast<long long>(kChunkValues), to - i, valuesPerPlane - done}));
        const unsigned char* in = nextChunk(n * static_cast<std::size_t>(plan.bytesPerValue));
        if (!in) {
            stop = {DecodeStop::ReadFailed, plane, done, errno};
            return;
        }
        // Integer blanks are valid values to the decoders: looked for first.
        bool blanksHere = plan.integerBlank && holdsIntegerBlank(plan, in, n);
        std::size_t good = 0;
        if (!blanksHere) {
            const Tally before = tally;
            good = plan.decode(in, n, out + i, plan.rules, plan.shift, how, tally);
            // A float decoder stops at a NaN or an infinity, having tallied
            // perhaps part of the chunk: the chunk is decoded again around them.
            blanksHere = good != n && plan.floatBlanks && blankRaw(plan, in + good * width);
            if (blanksHere) tally = before;
        }
        if (blanksHere) good = decodeAroundBlanks(plan, in, n, out + i, how, tally, i, blanks);
        if (good != n) {
            stop = {DecodeStop::DoesNotFit, plane, done + static_cast<long long>(good), 0};
            return;
        }
        i += static_cast<long long>(n);
    }
}

// What a decode that ran to its end or stopped early reports.
DataResult resultOf(const Tally& tally, const DecodeStop& stop)
{
    DataResult result;
    result.tally = tally;
    if (stop.kind == DecodeStop::ReadFailed) {
        result.kind = DataResult::ReadFailed;
        result.err = stop.err ? stop.err : EIO;
    } else if (stop.kind == DecodeStop::DoesNotFit) {
        result.kind = DataResult::DoesNotFit;
        result.plane = stop.plane;
        result.at = stop.at;
    }
    return result;
}

#if LV_POSITIONAL_READ
constexpr long long kHugePageValues = (2 << 20) / sizeof(std::int32_t);

// `work` on a second thread while the caller goes on. A plain POSIX thread
// with a small stack: std::thread frees its start-up state on the new
// thread, and that first free there sets up a whole malloc arena, which
// costs a good part of what the second half saves.
template <class Work>
class HelperThread {
public:
    explicit HelperThread(Work& work) : work_(work)
    {
        pthread_attr_t attr;
        pthread_attr_init(&attr);
        pthread_attr_setstacksize(&attr, std::size_t{1} << 20);
        started_ = pthread_create(&id_, &attr, &run, &work_) == 0;
        pthread_attr_destroy(&attr);
    }
    HelperThread(const HelperThread&) = delete;
    HelperThread& operator=(const HelperThread&) = delete;
    ~HelperThread() { join(); }
    bool started() const { return started_; }
    void join()
    {
        if (started_) pthread_join(id_, nullptr);
        started_ = false;
    }

private:
    static void* run(void* work)
    {
        (*static_cast<Work*>(work))();
        return nullptr;
    }
    Work& work_;
    pthread_t id_{};
    bool started_ = false;
};

// Reads the raw bytes of values [from, ...) chunk by chunk at their place in
// the file, into a buffer small enough to stay in the processor's cache
// while it is decoded. Positional reads, so that two halves share the file.
class PositionalChunks {
public:
    PositionalChunks(int fd, long long offset, unsigned char* buffer) : fd_(fd), offset_(offset), buffer_(buffer) {}
    const unsigned char* operator()(std::size_t bytes)
    {
        std::size_t got = 0;
        while (got < bytes) {
            const ssize_t n = ::pread(fd_, buffer_ + got, bytes - got, static_cast<off_t>(offset_ + got));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                cutShort_ = n == 0;  // the end of the file came first
                return nullptr;
            }
            got += static_cast<std::size_t>(n);
        }
        offset_ += static_cast<long long>(bytes);
        return buffer_;
    }
    bool cutShort() const { return cutShort_; }

private:
    int fd_;
    long long offset_;
    unsigned char* buffer_;
    bool cutShort_ = false;
};

bool regularFile(std::FILE* file)
{
    struct stat st {};
    return ::fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode);
}
#endif

}  // namespace

void beforeDataReadForTesting(void (*hook)(const std::string& path)) { beforeReadHook.store(hook); }

DataResult decodeData(std::FILE* file, const std::string& path, long long dataOffset, const DataPlan& plan,
                      std::int32_t* out)
{
    DataResult result;
    const int planes = plan.planes;
    const int bytesPerValue = plan.bytesPerValue;
    const long long valuesPerPlane = plan.valuesPerPlane;
    const long long totalValues = valuesPerPlane * planes;
    const std::size_t chunkBytes = kChunkValues * static_cast<std::size_t>(bytesPerValue);
    std::vector<BlankRun> secondBlanks;  // of the second half, when there is one
    auto decodeSpan = [&](long long from, long long to, auto&& nextChunk, Tally& t, DecodeStop& s) {
        decodeValues(plan, out, from, to, nextChunk, t, s, from == 0 ? result.blanks : secondBlanks);
    };
    Tally tally;
    DecodeStop stop;
    bool cutShort = false;

    if (auto hook = beforeReadHook.load()) hook(path);
#if LV_POSITIONAL_READ
    if (regularFile(file)) {
        // One chunk buffer per half (the allocator keeps such blocks for the next frame).
        const std::unique_ptr<std::uint64_t[]> buffers(new std::uint64_t[2 * chunkBytes / 8]);
        auto* const firstBuffer = reinterpret_cast<unsigned char*>(buffers.get());
        const int fd = fileno(file);
        auto decodeRead = [&](long long from, long long to, unsigned char* buffer, Tally& t, DecodeStop& s) {
            PositionalChunks chunks(fd, dataOffset + from * bytesPerValue, buffer);
            decodeSpan(from, to, chunks, t, s);
            return chunks.cutShort();
        };
        // A large frame is decoded by two threads, one half each. The halves
        // meet at a 2 MB boundary of the storage, so they never fault in the
        // same huge page.
        const long long half = totalValues / 2 / kHugePageValues * kHugePageValues;
        bool split = false;
        if (half >= kHugePageValues && usableProcessors() >= 2) {
            Tally secondTally;
            DecodeStop secondStop;
            bool secondCut = false;
            auto secondHalf = [&] {
                secondCut = decodeRead(half, totalValues, firstBuffer + chunkBytes, secondTally, secondStop);
            };
            HelperThread second(secondHalf);
            if (second.started()) {
                split = true;
                cutShort = decodeRead(0, half, firstBuffer, tally, stop);
                second.join();
                cutShort = cutShort || secondCut;
                // The first value that does not fit is the one reported.
                if (stop.kind == DecodeStop::None) stop = secondStop;
                tally.minValue = std::min(tally.minValue, secondTally.minValue);
                tally.maxValue = std::max(tally.maxValue, secondTally.maxValue);
                tally.sum += secondTally.sum;
                result.blanks.insert(result.blanks.end(), secondBlanks.begin(), secondBlanks.end());
            }
        }
        // One thread, also when no second one was to be had.
        if (!split) cutShort = decodeRead(0, totalValues, firstBuffer, tally, stop);
    } else
#endif
    {
        // The header is at most 14 blocks long, well inside what fseek can address.
        if (std::fseek(file, static_cast<long>(dataOffset), SEEK_SET) != 0) {
            result.kind = DataResult::ReadFailed;
            result.err = errno;
            return result;
        }
        // 32-bit words, so that float data can be taken as words without copying.
        std::unique_ptr<std::uint32_t[]> buffer(new std::uint32_t[chunkBytes / 4]);
        decodeSpan(
            0, totalValues,
            [&](std::size_t bytes) -> const unsigned char* {
                errno = 0;
                if (std::fread(buffer.get(), 1, bytes, file) != bytes) return nullptr;
                return reinterpret_cast<const unsigned char*>(buffer.get());
            },
            tally, stop);
    }
    if (cutShort) {
        // The file became shorter than its header says while it was read.
        result.kind = DataResult::CutShort;
        return result;
    }
    std::vector<BlankRun> blanks = std::move(result.blanks);
    result = resultOf(tally, stop);
    result.blanks = std::move(blanks);
    return result;
}

DataResult decodeFrom(const DataPlan& plan, std::int32_t* out,
                      const std::function<const unsigned char*(std::size_t bytes)>& next)
{
    Tally tally;
    DecodeStop stop;
    std::vector<BlankRun> blanks;
    decodeValues(plan, out, 0, plan.valuesPerPlane * plan.planes, next, tally, stop, blanks);
    DataResult result = resultOf(tally, stop);
    result.blanks = std::move(blanks);
    return result;
}

void DataPlan::setIntegerBlank(int bitpix, long long blank)
{
    const int width = bitpix / 8;
    bytesPerValue = width;
    // The raw value of 8-bit data is unsigned, the others are signed.
    const long long low = bitpix == 8 ? 0 : bitpix == 64 ? INT64_MIN : -(1LL << (bitpix - 1));
    const long long high = bitpix == 8 ? 255 : bitpix == 64 ? INT64_MAX : (1LL << (bitpix - 1)) - 1;
    integerBlank = blank >= low && blank <= high;
    blankValue = blank;
    const auto u = static_cast<unsigned long long>(blank);
    for (int b = 0; b < width; ++b) blankBytes[b] = static_cast<unsigned char>(u >> (8 * (width - 1 - b)));
}

}  // namespace lv
