#include "core/processors.h"

#include <atomic>
#include <thread>

#if defined(__linux__)
#include <sched.h>
#elif defined(_WIN32)
#include <windows.h>
#endif

namespace lv {

namespace {

std::atomic<int> forcedCount{0};

int maskCount()
{
#if defined(__linux__)
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0) return CPU_COUNT(&set);
#elif defined(_WIN32)
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system) && process != 0) {
        int n = 0;
        for (; process != 0; process &= process - 1) ++n;
        return n;
    }
#endif
    return static_cast<int>(std::thread::hardware_concurrency());
}

}  // namespace

int usableProcessors()
{
    if (const int forced = forcedCount.load(); forced > 0) return forced;
    // The mask cannot change under us in a way that matters for one job.
    static const int count = [] {
        const int n = maskCount();
        return n > 0 ? n : 1;
    }();
    return count;
}

void setUsableProcessorsForTesting(int count) { forcedCount.store(count); }

}  // namespace lv
