#include "core/file_replace.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace lv {

namespace fs = std::filesystem;

namespace {

std::atomic<int> injectedFlushError{0};

std::string errnoText(int err)
{
    const char* t = std::strerror(err);
    return t ? t : "unknown error";
}

// The file a path names, following symbolic links (also dangling ones, whose
// target is then created).
fs::path resolvedTarget(const std::string& path)
{
    fs::path p(path);
    std::error_code ec;
    for (int depth = 0; depth < 40 && fs::is_symlink(fs::symlink_status(p, ec)); ++depth) {
        const fs::path link = fs::read_symlink(p, ec);
        if (ec) break;
        p = link.is_absolute() ? link : p.parent_path() / link;
    }
    return p;
}

// An existing file the user may not write, or one marked read-only; the
// rename would replace it all the same, since it needs only the folder.
bool isReadOnly(const fs::path& target)
{
    std::error_code ec;
    const auto st = fs::status(target, ec);
    if (ec || !fs::exists(st)) return false;
#ifdef _WIN32
    return _access(target.string().c_str(), 2) != 0;
#else
    if ((st.permissions() & fs::perms::owner_write) == fs::perms::none) return true;
    return ::access(target.c_str(), W_OK) != 0;
#endif
}

int closeDescriptor(int fd)
{
#ifdef _WIN32
    return _close(fd);
#else
    return ::close(fd);
#endif
}

// Flushes an open file's data to stable storage; 0 or the error number.
int flushToDisk(std::FILE* f)
{
    if (const int injected = injectedFlushError.load()) return injected < 0 ? 0 : injected;
#ifdef _WIN32
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
    return FlushFileBuffers(handle) ? 0 : EIO;
#else
    return ::fsync(fileno(f)) == 0 ? 0 : errno;
#endif
}

// Makes a rename in `folder` durable; 0, or the error number. Systems and
// file systems that cannot flush a folder count as done.
int flushFolder(const fs::path& folder)
{
    if (injectedFlushError.load() < 0) return 0;
#ifdef _WIN32
    (void)folder;  // MoveFileEx's write-through already did it
    return 0;
#else
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return 0;  // a folder we may not open cannot be flushed by us
    int err = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    if (err == EINVAL || err == ENOTSUP || err == EOPNOTSUPP || err == EBADF) err = 0;
    return err;
#endif
}

}  // namespace

std::string replacementTemporaryPath(const std::string& path)
{
    const fs::path p(path);
    // FNV-1a of the target's name: the same short name for the same target.
    std::uint32_t h = 2166136261u;
    for (const unsigned char c : p.filename().string()) h = (h ^ c) * 16777619u;
    static const char* digits = "0123456789abcdef";
    std::string name = ".lumavist-";
    for (int shift = 28; shift >= 0; shift -= 4) name += digits[(h >> shift) & 0xF];
    name += ".tmp";
    return (p.parent_path() / name).string();
}

void setDiskFlushForTesting(int err) { injectedFlushError.store(err); }

namespace {

std::atomic<long> stepsTaken{0};
std::atomic<long> failingStep{0};
std::atomic<int> failingError{0};

// One open, write, flush, close or rename of a user's file: 0, or the error
// number a test asked this step to fail with.
int step()
{
    const long n = stepsTaken.fetch_add(1) + 1;
    return n == failingStep.load() ? failingError.load() : 0;
}

}  // namespace

// A temporary file made and written, not yet flushed nor checked: the first
// half of a replacement, which may run ahead on another thread. Its steps
// are taken by the second half, in the order a replacement takes them.
struct WrittenTemporary {
    std::string path;  // as the caller named it, for the messages
    fs::path target;
    std::string tempPath;
    bool unnamed = false;  // made without a name in the folder, named only in its turn
    bool readOnly = false;
    std::FILE* f = nullptr;
    int openErr = 0;
    bool wrote = false;
    int writeErr = 0;
    // The replacement of `path`, through the one temporary name of the file it leads to.
    explicit WrittenTemporary(const std::string& forPath)
        : path(forPath), target(resolvedTarget(forPath)), tempPath(replacementTemporaryPath(target.string()))
    {
    }
    WrittenTemporary(const WrittenTemporary&) = delete;
    WrittenTemporary& operator=(const WrittenTemporary&) = delete;
    // An unnamed file still open goes with it; a named one is removed by whoever made it.
    ~WrittenTemporary()
    {
        if (f) std::fclose(f);
    }
};

namespace {

// Made and written. A file made ahead of its turn has no name yet: a job
// killed meanwhile leaves nothing behind, and it takes its name (the one
// temporary name of its target) only once the replacements before it are done.
// False when an unnamed file cannot be made here.
bool writeTemporaryAhead(WrittenTemporary& t, const std::function<bool(std::FILE*)>& write)
{
    std::error_code ec;
    int fd = -1;
    if (t.unnamed) {
#ifdef O_TMPFILE
        const fs::path folder = t.target.parent_path();
        fd = ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
#endif
        if (fd < 0) return false;  // not on this file system: named in its turn instead
        t.f = ::fdopen(fd, "wb");
        if (!t.f) {
            closeDescriptor(fd);
            return false;
        }
    } else {
        if ((t.readOnly = isReadOnly(t.target))) return true;
        fs::remove(t.tempPath, ec);  // left behind by a program that was stopped while saving
#ifdef _WIN32
        fd = _open(t.tempPath.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
        t.f = fd >= 0 ? _fdopen(fd, "wb") : nullptr;
#else
        // Created new: never write into a file that someone else just made.
        fd = ::open(t.tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        t.f = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
#endif
        t.openErr = errno;
        if (!t.f) {
            if (fd >= 0) {
                closeDescriptor(fd);
                fs::remove(t.tempPath, ec);
            }
            return true;
        }
    }
    errno = 0;
    t.wrote = write(t.f);
    t.writeErr = errno;
    if (std::fflush(t.f) != 0 || std::ferror(t.f)) {
        t.wrote = false;
        t.writeErr = errno;
    }
    return true;
}

// Gives an unnamed temporary file its name; 0 or the error number.
int nameTemporary(WrittenTemporary& t)
{
#ifdef O_TMPFILE
    std::error_code ec;
    fs::remove(t.tempPath, ec);  // left behind by a program that was stopped while saving
    const std::string self = "/proc/self/fd/" + std::to_string(fileno(t.f));
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, t.tempPath.c_str(), AT_SYMLINK_FOLLOW) != 0) return errno;
    t.unnamed = false;
    return 0;
#else
    (void)t;
    return ENOTSUP;
#endif
}

// The second half: the temporary file on the disk when it returns true;
// otherwise removed, and `error` says why.
bool settleTemporary(WrittenTemporary& t, std::string& error)
{
    const std::string& path = t.path;
    std::error_code ec;
    auto discard = [&] {
        if (t.f) std::fclose(t.f);
        t.f = nullptr;
        if (!t.unnamed) fs::remove(t.tempPath, ec);
    };
    if (t.unnamed && isReadOnly(t.target)) {
        discard();
        t.readOnly = true;
    }
    if (t.readOnly) {
        error = path + ": the file is read-only and was left as it is";
        return false;
    }
    if (const int openErr = step(); openErr || !t.f) {
        discard();
        error = path + ": the file cannot be created (" + errnoText(openErr ? openErr : t.openErr ? t.openErr : EIO) + ")";
        return false;
    }
    bool ok = t.wrote;
    int writeErr = t.writeErr;
    if (const int err = step(); err && ok) {
        ok = false;
        writeErr = err;
    }
    if (ok) {
        // On the disk before the rename: otherwise a power cut may leave the
        // renamed file empty on file systems that reorder the two.
        const int injected = step();
        if (const int err = injected ? injected : flushToDisk(t.f)) {
            ok = false;
            writeErr = err;
        }
    }
    if (ok && t.unnamed) {
        if (const int err = nameTemporary(t)) {
            discard();
            error = path + ": the file cannot be created (" + errnoText(err) + ")";
            return false;
        }
    }
    const int closeInjected = ok ? step() : 0;
    const bool closed = std::fclose(t.f) == 0;
    t.f = nullptr;
    if ((!closed || closeInjected) && ok) {
        ok = false;
        writeErr = closeInjected ? closeInjected : errno;
    }
    if (!ok) {
        if (!t.unnamed) fs::remove(t.tempPath, ec);
        error = path + ": the file cannot be written (" + errnoText(writeErr ? writeErr : EIO) + ")";
        return false;
    }
    return true;
}

// What writes `bytes` as a file's whole content.
std::function<bool(std::FILE*)> writerOf(std::string_view bytes)
{
    return [bytes](std::FILE* f) { return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size(); };
}

// Writes the temporary file of a replacement of `path`, on the disk when it returns true.
bool writeTemporary(const std::string& path, const std::function<bool(std::FILE*)>& write, std::string& error)
{
    WrittenTemporary t(path);
    writeTemporaryAhead(t, write);
    return settleTemporary(t, error);
}

// Renames a written temporary file over `target`, keeping the target's
// permissions; the temporary is removed when that fails.
bool renameOver(const std::string& path, const fs::path& target, const std::string& tempPath, std::string& error)
{
    // A target that does not exist yet may leave an error here on some
    // systems: it concerns only the permissions to keep.
    std::error_code statusError;
    const auto existing = fs::status(target, statusError);
    if (!statusError && fs::exists(existing)) fs::permissions(tempPath, existing.permissions(), statusError);

    std::error_code ec;
    if (const int err = step()) {
        ec = std::error_code(err, std::generic_category());
    } else {
#ifdef _WIN32
        // Replace the target in one step, and only return once the move is on the disk.
        if (!MoveFileExA(tempPath.c_str(), target.string().c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            ec = std::error_code(static_cast<int>(GetLastError()), std::system_category());
#else
        fs::rename(tempPath, target, ec);
#endif
    }
    if (ec) {
        std::error_code ignored;
        fs::remove(tempPath, ignored);
        error = path + ": the file cannot be replaced (" + ec.message() + ")";
        return false;
    }
    return true;
}

bool flushFolderOf(const std::string& path, const fs::path& target, std::string& error)
{
    if (const int err = flushFolder(target.parent_path())) {
        error = path + ": the file was written, but its folder could not be flushed to the disk (" + errnoText(err) +
                ")";
        return false;
    }
    return true;
}

// The rest of a replacement once its temporary file is written.
bool finishReplacement(WrittenTemporary& t, std::string& error)
{
    return settleTemporary(t, error) && renameOver(t.path, t.target, t.tempPath, error) &&
           flushFolderOf(t.path, t.target, error);
}

}  // namespace

void failFileStepForTesting(long n, int err)
{
    failingError.store(err);
    failingStep.store(n > 0 ? stepsTaken.load() + n : 0);
}

long fileStepsForTesting() { return stepsTaken.load(); }

bool readWholeFile(const std::string& path, std::string& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    bytes.clear();
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

bool replaceFile(const std::string& path, const std::function<bool(std::FILE*)>& write, std::string& error)
{
    WrittenTemporary t(path);
    writeTemporaryAhead(t, write);
    return finishReplacement(t, error);
}

StagedReplacement::StagedReplacement() = default;
StagedReplacement::StagedReplacement(StagedReplacement&&) noexcept = default;
StagedReplacement& StagedReplacement::operator=(StagedReplacement&&) noexcept = default;
// Unnamed until finished: closing it (the temporary's own end) leaves nothing.
StagedReplacement::~StagedReplacement() = default;

bool StagedReplacement::possible()
{
#ifdef O_TMPFILE
    // It is named through /proc, which a chroot or a container may not have.
    static const bool canName = ::access("/proc/self/fd", X_OK) == 0;
    return canName;
#else
    return false;
#endif
}

StagedReplacement StagedReplacement::ahead(const std::string& path, std::string_view bytes)
{
    StagedReplacement staged;
    if (!possible()) return staged;
    auto t = std::make_unique<WrittenTemporary>(path);
    t->unnamed = true;
    if (writeTemporaryAhead(*t, writerOf(bytes))) staged.written_ = std::move(t);
    return staged;
}

bool StagedReplacement::finish(std::string& error)
{
    if (!written_) return false;
    const std::unique_ptr<WrittenTemporary> t = std::move(written_);
    return finishReplacement(*t, error);
}

bool replaceFilesWith(const std::vector<std::pair<std::string, std::string>>& files, std::string& error)
{
    struct Pending {
        std::string path;
        fs::path target;
        std::string tempPath;
        bool existed = false;
        std::string before;
    };
    std::vector<Pending> pending;
    auto removeTemporaries = [&](std::size_t from) {
        std::error_code ec;
        for (std::size_t k = from; k < pending.size(); ++k) fs::remove(pending[k].tempPath, ec);
    };
    // Every new content on the disk first, so that a failure there changes nothing.
    for (const auto& [path, bytes] : files) {
        Pending p{path, resolvedTarget(path), {}, false, {}};
        p.tempPath = replacementTemporaryPath(p.target.string());
        std::error_code ec;
        p.existed = fs::exists(p.target, ec);
        if (p.existed && !readWholeFile(p.target.string(), p.before)) {
            removeTemporaries(0);
            error = path + ": the file cannot be read before it is replaced";
            return false;
        }
        if (!writeTemporary(path, writerOf(bytes), error)) {
            removeTemporaries(0);
            return false;
        }
        pending.push_back(std::move(p));
    }
    // Then the renames; one that fails puts back the files already renamed.
    for (std::size_t k = 0; k < pending.size(); ++k) {
        if (renameOver(pending[k].path, pending[k].target, pending[k].tempPath, error)) continue;
        removeTemporaries(k + 1);
        for (std::size_t j = 0; j < k; ++j) {
            std::string why;
            std::error_code ec;
            const bool back = pending[j].existed ? replaceFileWith(pending[j].path, pending[j].before, why)
                                                 : fs::remove(pending[j].target, ec);
            // Said, since the files now do not belong together.
            if (!back) error += "; " + pending[j].path + " is new and could not be put back";
        }
        return false;
    }
    for (const Pending& p : pending)
        if (!flushFolderOf(p.path, p.target, error)) return false;
    return true;
}

bool appendToFile(const std::string& path, const std::string& bytes, std::string& error)
{
    // One write to the end of the file: what is there is never rewritten, and
    // bytes that could not be written whole are cut off again.
    std::error_code existsError;
    const bool existed = fs::exists(path, existsError) || existsError;
    std::FILE* f = nullptr;
    int err = step();
    if (!err) {
        f = std::fopen(path.c_str(), "ab");
        err = errno;
    }
    if (!f) {
        error = path + ": the file cannot be opened for writing (" + errnoText(err ? err : EIO) + ")";
        return false;
    }
    std::setvbuf(f, nullptr, _IONBF, 0);
    std::fseek(f, 0, SEEK_END);
    const long before = std::ftell(f);
    bool ok = true;
    if (const int injected = step()) {
        // As a full disk would: part of it written.
        std::fwrite(bytes.data(), 1, bytes.size() / 2, f);
        ok = false;
        err = injected;
    } else if (std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
        ok = false;
        err = errno;
    }
    if (ok) {
        const int injected = step();
        if (injected || std::fflush(f) != 0) {
            ok = false;
            err = injected ? injected : errno;
        }
    }
    const int closeInjected = ok ? step() : 0;
    if ((std::fclose(f) != 0 || closeInjected) && ok) {
        ok = false;
        err = closeInjected ? closeInjected : errno;
    }
    if (ok) return true;
    error = path + ": the line cannot be written (" + errnoText(err ? err : EIO) + ")";
    // Back to what the file held: nothing at all if this call made it.
    std::error_code ec;
    if (!existed)
        fs::remove(path, ec);
    else if (before >= 0)
        fs::resize_file(path, static_cast<std::uintmax_t>(before), ec);
    else
        ec = std::make_error_code(std::errc::io_error);
    if (ec) error += "; part of it may be left at the end of the file";
    return false;
}

bool replaceFileWith(const std::string& path, std::string_view bytes, std::string& error)
{
    return replaceFile(path, writerOf(bytes), error);
}

}  // namespace lv
