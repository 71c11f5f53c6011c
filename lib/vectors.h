// What the 64-byte steps of both engines share: whether the processor can
// run them (chosen at run time, so that one build serves every x86-64
// processor), and the bit arithmetic on their 64-bit masks.
#pragma once

#include <cstdint>

#if defined(__GNUC__) && defined(__x86_64__)
#define VOKL_VECTORS 1
#define VOKL_VECTOR_TARGET __attribute__((target("avx512f,avx512bw,avx512vbmi,avx512vbmi2,bmi,bmi2,popcnt,lzcnt")))
#endif

namespace vokl {

// AVX-512 with the byte permutes and compressions (VBMI, VBMI2), and the
// bit deposit and extract instructions.
inline bool haveVectors() {
#if VOKL_VECTORS
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512vbmi2") &&
           __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
#else
    return false;
#endif
}

inline constexpr std::uint64_t kEvenBits = 0x5555555555555555ULL;
inline constexpr std::uint64_t kOddBits = ~kEvenBits;

// In each run of set bits, every other bit from the run's first on (the
// first bytes of the pairs in runs of double-byte bytes): carry addition
// marks the runs that start at even offsets.
inline std::uint64_t pairStarts(std::uint64_t runs) {
    const std::uint64_t starts = runs & ~(runs << 1);
    const std::uint64_t evenRuns = runs & ~(runs + (starts & kEvenBits));
    return (evenRuns & kEvenBits) | (runs & ~evenRuns & kOddBits);
}

}  // namespace vokl
