// Hot loops over whole frames are built twice on x86-64 Linux with GCC:
// for AVX2, chosen at run time when the processor has it, and for the
// baseline instruction set. Elsewhere (Clang cannot clone templates, and
// AddressSanitizer does not follow the run-time choice) they are built once.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && defined(__linux__) && \
    !defined(__SANITIZE_ADDRESS__)
#define LV_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define LV_VECTOR_CLONES
#endif

// Kernels written with AVX2 intrinsics where the compiler's own vector code
// is too slow, chosen at run time (x86-64 Linux; GCC on Windows does not
// align the stack for them).
#if defined(__x86_64__) && defined(__GNUC__) && defined(__linux__)
#define LV_AVX2_KERNELS 1
#include <immintrin.h>
inline bool haveAvx2()
{
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}
#endif
