// Storage for a frame's pixels. Frames are large (up to 113 MB) and every
// value is written by whoever fills them, so the storage is not cleared when
// it grows (resize(n) leaves new values undefined; resize(n, 0), assign and
// FitsImage::allocate clear). Blocks of 4 MB and more are taken 2 MB-aligned
// straight from the system with transparent huge pages requested where the
// system has them: a 3073 x 3073 frame then costs about 20 page faults
// instead of 9,400.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

namespace lv {

namespace pixel_storage {
inline constexpr std::size_t kLargeBlock = std::size_t{4} << 20;
void* allocateLarge(std::size_t bytes);
void releaseLarge(void* p, std::size_t bytes);
}  // namespace pixel_storage

template <class T>
struct PixelAllocator {
    using value_type = T;

    PixelAllocator() noexcept = default;
    template <class U>
    PixelAllocator(const PixelAllocator<U>&) noexcept {}

    T* allocate(std::size_t n)
    {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
        const std::size_t bytes = n * sizeof(T);
        if (bytes >= pixel_storage::kLargeBlock) return static_cast<T*>(pixel_storage::allocateLarge(bytes));
        return static_cast<T*>(::operator new(bytes));
    }
    void deallocate(T* p, std::size_t n) noexcept
    {
        const std::size_t bytes = n * sizeof(T);
        if (bytes >= pixel_storage::kLargeBlock)
            pixel_storage::releaseLarge(p, bytes);
        else
            ::operator delete(p);
    }
    // Growing without arguments leaves the values as they come: no clearing pass.
    template <class U>
    void construct(U* p) noexcept
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }

    friend bool operator==(const PixelAllocator&, const PixelAllocator&) noexcept { return true; }
};

using PixelVector = std::vector<std::int32_t, PixelAllocator<std::int32_t>>;

// Values compared with values kept in ordinary storage.
inline bool operator==(const PixelVector& a, const std::vector<std::int32_t>& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

// The system's transparent-huge-page setting as it reads it ("always",
// "madvise", "never"), or "unavailable".
const char* hugePageSetting();

}  // namespace lv
