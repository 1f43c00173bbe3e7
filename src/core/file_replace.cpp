#include "core/file_replace.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>

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

bool replaceFile(const std::string& path, const std::function<bool(std::FILE*)>& write, std::string& error)
{
    const fs::path target = resolvedTarget(path);
    if (isReadOnly(target)) {
        error = path + ": the file is read-only and was left as it is";
        return false;
    }
    const std::string tempPath = replacementTemporaryPath(target.string());
    std::error_code ec;
    fs::remove(tempPath, ec);  // left behind by a program that was stopped while saving

#ifdef _WIN32
    const int fd = _open(tempPath.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    std::FILE* f = fd >= 0 ? _fdopen(fd, "wb") : nullptr;
#else
    // Created new: never write into a file that someone else just made.
    const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    std::FILE* f = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
#endif
    if (!f) {
        const int err = errno;
        if (fd >= 0) {
            closeDescriptor(fd);
            fs::remove(tempPath, ec);
        }
        error = path + ": the file cannot be created (" + errnoText(err) + ")";
        return false;
    }

    errno = 0;
    bool ok = write(f);
    int writeErr = errno;
    if (std::fflush(f) != 0 || std::ferror(f)) {
        ok = false;
        writeErr = errno;
    }
    if (ok) {
        // On the disk before the rename: otherwise a power cut may leave the
        // renamed file empty on file systems that reorder the two.
        if (const int err = flushToDisk(f)) {
            ok = false;
            writeErr = err;
        }
    }
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        writeErr = errno;
    }
    if (!ok) {
        fs::remove(tempPath, ec);
        error = path + ": the file cannot be written (" + errnoText(writeErr ? writeErr : EIO) + ")";
        return false;
    }

    // A target that does not exist yet may leave an error here on some
    // systems: it concerns only the permissions to keep.
    std::error_code statusError;
    const auto existing = fs::status(target, statusError);
    if (!statusError && fs::exists(existing)) fs::permissions(tempPath, existing.permissions(), statusError);

    ec.clear();
#ifdef _WIN32
    // Replace the target in one step, and only return once the move is on the disk.
    if (!MoveFileExA(tempPath.c_str(), target.string().c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        ec = std::error_code(static_cast<int>(GetLastError()), std::system_category());
#else
    fs::rename(tempPath, target, ec);
#endif
    if (ec) {
        std::error_code ignored;
        fs::remove(tempPath, ignored);
        error = path + ": the file cannot be replaced (" + ec.message() + ")";
        return false;
    }
    if (const int err = flushFolder(target.parent_path())) {
        error = path + ": the file was written, but its folder could not be flushed to the disk (" + errnoText(err) +
                ")";
        return false;
    }
    return true;
}

bool replaceFileWith(const std::string& path, const std::string& bytes, std::string& error)
{
    return replaceFile(
        path, [&](std::FILE* f) { return std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size(); }, error);
}

}  // namespace lv
