#include "core/pixel_storage.h"

#include <cstdio>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace lv {

namespace pixel_storage {

#if defined(__linux__)
namespace {
constexpr std::size_t kHugePage = std::size_t{2} << 20;
std::size_t mappedLength(std::size_t bytes) { return (bytes + kHugePage - 1) / kHugePage * kHugePage; }
}  // namespace

void* allocateLarge(std::size_t bytes)
{
    // Over-map by one huge page and trim, so that the block starts on a
    // 2 MB boundary and the kernel can back it with huge pages.
    const std::size_t length = mappedLength(bytes);
    void* raw = ::mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) throw std::bad_alloc();
    auto* start = static_cast<unsigned char*>(raw);
    const std::size_t lead = (kHugePage - reinterpret_cast<std::uintptr_t>(start) % kHugePage) % kHugePage;
    if (lead > 0) ::munmap(start, lead);
    if (kHugePage - lead > 0) ::munmap(start + lead + length, kHugePage - lead);
    void* block = start + lead;
    ::madvise(block, length, MADV_HUGEPAGE);  // a request: refused where huge pages are off
    return block;
}

void releaseLarge(void* p, std::size_t bytes) { ::munmap(p, mappedLength(bytes)); }
#else
void* allocateLarge(std::size_t bytes) { return ::operator new(bytes); }
void releaseLarge(void* p, std::size_t) { ::operator delete(p); }
#endif

}  // namespace pixel_storage

const char* hugePageSetting()
{
#if defined(__linux__)
    static char setting[32] = "";
    if (setting[0] == '\0') {
        std::FILE* f = std::fopen("/sys/kernel/mm/transparent_hugepage/enabled", "r");
        char line[128] = "";
        if (f && std::fgets(line, sizeof line, f)) {
            // The chosen value is the one in brackets.
            const char* open = std::strchr(line, '[');
            const char* close = open ? std::strchr(open, ']') : nullptr;
            if (open && close && close - open - 1 < static_cast<long>(sizeof setting))
                std::snprintf(setting, sizeof setting, "%.*s", static_cast<int>(close - open - 1), open + 1);
        }
        if (f) std::fclose(f);
        if (setting[0] == '\0') std::snprintf(setting, sizeof setting, "unavailable");
    }
    return setting;
#else
    return "unavailable";
#endif
}

}  // namespace lv
