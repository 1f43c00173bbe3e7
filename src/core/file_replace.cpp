#include "core/file_replace.h"

#include <atomic>
#include <cerrno>
#include <chrono>
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

namespace {

std::string errnoText(int err)
{
    const char* t = std::strerror(err);
    return t ? t : "unknown error";
}

// Opens a new, not yet existing temporary file beside `path`.
std::FILE* openTemporary(const std::string& path, std::string& tempPath, int& err)
{
    static std::atomic<unsigned> counter{0};
    const auto stamp = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < 20; ++attempt) {
        tempPath = path + ".tmp" + std::to_string((stamp + counter.fetch_add(1)) % 100000000ULL);
        // Created new: never reuse a file that happens to exist.
#ifdef _WIN32
        const int fd = _open(tempPath.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
        std::FILE* f = fd >= 0 ? _fdopen(fd, "wb") : nullptr;
#else
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        std::FILE* f = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
#endif
        if (f) return f;
        err = errno;
        if (fd >= 0) {
#ifdef _WIN32
            _close(fd);
#else
            ::close(fd);
#endif
        }
        if (err != EEXIST) return nullptr;
    }
    return nullptr;
}

}  // namespace

bool replaceFile(const std::string& path, const std::function<bool(std::FILE*)>& write, std::string& error)
{
    std::string tempPath;
    int err = 0;
    std::FILE* f = openTemporary(path, tempPath, err);
    if (!f) {
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
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        writeErr = errno;
    }
    std::error_code ec;
    if (!ok) {
        std::filesystem::remove(tempPath, ec);
        error = path + ": the file cannot be written (" + errnoText(writeErr ? writeErr : EIO) + ")";
        return false;
    }
    // A target that does not exist yet may leave an error here on some
    // systems: it concerns only the permissions to keep.
    std::error_code statusError;
    const auto existing = std::filesystem::status(path, statusError);
    if (!statusError && std::filesystem::exists(existing))
        std::filesystem::permissions(tempPath, existing.permissions(), statusError);
    ec.clear();
#ifdef _WIN32
    // Replace the target in one step, and only return once the move is on the disk.
    if (!MoveFileExA(tempPath.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        ec = std::error_code(static_cast<int>(GetLastError()), std::system_category());
#else
    std::filesystem::rename(tempPath, path, ec);
#endif
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(tempPath, ignored);
        error = path + ": the file cannot be replaced (" + ec.message() + ")";
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
