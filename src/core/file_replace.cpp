#include "core/file_replace.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

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
        // "x": fail rather than reuse a file that happens to exist.
        std::FILE* f = std::fopen(tempPath.c_str(), "wbx");
        if (f) return f;
        err = errno;
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
    const auto existing = std::filesystem::status(path, ec);
    if (!ec && std::filesystem::exists(existing))
        std::filesystem::permissions(tempPath, existing.permissions(), ec);
    std::filesystem::rename(tempPath, path, ec);
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
