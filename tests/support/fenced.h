// A buffer that ends (or begins) at a page nothing may touch: a library built
// without the sanitizers faults at once when it reads or writes past it.
// POSIX only (the tests and fuzz targets that use it run on Linux).
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <new>

namespace test {

class Fenced {
public:
    explicit Fenced(std::size_t bytes, bool fenceBefore = false)
    {
        const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        const std::size_t inner = (bytes + page - 1) / page * page + page;
        size_ = inner + 2 * page;
        void* m = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m == MAP_FAILED) throw std::bad_alloc();
        base_ = static_cast<unsigned char*>(m);
        mprotect(base_, page, PROT_NONE);
        mprotect(base_ + page + inner, page, PROT_NONE);
        data_ = fenceBefore ? base_ + page : base_ + page + inner - bytes;
    }
    ~Fenced() { munmap(base_, size_); }
    Fenced(const Fenced&) = delete;
    Fenced& operator=(const Fenced&) = delete;

    template <class T>
    T* as()
    {
        return reinterpret_cast<T*>(data_);
    }

private:
    unsigned char* base_ = nullptr;
    unsigned char* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace test
