// What the fuzz targets share: a scratch file for the readers that take a
// path, the option bytes at the front of an input, and the check that turns
// a broken invariant into a crash libFuzzer keeps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include <unistd.h>

#define FUZZ_CHECK(cond)                                                                        \
    do {                                                                                        \
        if (!(cond)) {                                                                          \
            std::fprintf(stderr, "invariant broken at %s:%d: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                       \
        }                                                                                       \
    } while (0)

namespace lv::fuzz {

// One file per process (jobs and forks run side by side), on tmpfs where
// there is one: every input is written there and read back.
inline const std::string& scratchPath()
{
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        const std::string dir = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : tmp ? tmp : "/tmp";
        std::atexit([] { std::remove(scratchPath().c_str()); });
        return dir + "/lumavist-fuzz-" + std::to_string(::getpid()) + ".fit";
    }();
    return path;
}

inline void writeFile(const std::string& path, std::string_view bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    FUZZ_CHECK(std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
    FUZZ_CHECK(std::fclose(f) == 0);
}

// The input's first byte (0 when it is empty), consumed.
inline std::uint8_t takeByte(std::string_view& input)
{
    if (input.empty()) return 0;
    const auto b = static_cast<std::uint8_t>(input.front());
    input.remove_prefix(1);
    return b;
}

inline std::string_view asText(const std::uint8_t* data, std::size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

}  // namespace lv::fuzz
