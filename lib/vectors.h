// What the 64-byte steps of both engines share: whether the processor can
// run them (chosen at run time, so that one build serves every x86-64
// processor), the bit arithmetic on their 64-bit masks, and the kanji pairs
// of a step looked up together through gathered table reads.
#pragma once

#include <algorithm>
#include <cstdint>

#if defined(__GNUC__) && defined(__x86_64__)
#define VOKL_VECTORS 1
#define VOKL_VECTOR_TARGET __attribute__((target("avx2,avx512f,avx512bw,avx512vbmi,avx512vbmi2,bmi,bmi2,popcnt,lzcnt")))
// GCC 12 takes the placeholders of its own intrinsics for uninitialised
// values (its bug 105593).
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

namespace vokl {

// AVX-512 with the byte permutes and compressions (VBMI, VBMI2), AVX2's
// narrower gather, and the bit deposit and extract instructions.
inline bool haveVectors() {
#if VOKL_VECTORS
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
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

#if VOKL_VECTORS
// The entries of a table of byte pairs (entry c at [2c], [2c + 1]) for the
// codes in the first `count` 16-bit lanes (count <= 32, every code at least
// 1), in the same lanes; later lanes are 0. Each entry is fetched as the
// 32-bit word that ends with it, so no read goes past the table's end.
// The 32-bit words at table + Scale * at for the first n lanes (n <= 16),
// 0 in the others; eight or fewer through the narrower gather, which costs
// about half as much.
template <int Scale>
VOKL_VECTOR_TARGET inline __m512i gatherWords(__m512i at, unsigned n, const void* table) {
    if (n <= 8) {
        const __m256i lanes =
            _mm256_cmpgt_epi32(_mm256_set1_epi32(static_cast<int>(n)), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
        return _mm512_zextsi256_si512(_mm256_mask_i32gather_epi32(_mm256_setzero_si256(), static_cast<const int*>(table),
                                                                  _mm512_castsi512_si256(at), lanes, Scale));
    }
    const __mmask16 lanes = static_cast<__mmask16>(n >= 16 ? 0xFFFFu : (1u << n) - 1);
    return _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), lanes, at, table, Scale);
}

// Sixteen of them (lanes from n on are not read).
VOKL_VECTOR_TARGET inline __m256i lookupPairs16(__m256i codes, unsigned n, const std::uint8_t* table) {
    const __m512i at = _mm512_sub_epi32(_mm512_cvtepu16_epi32(codes), _mm512_set1_epi32(1));
    const __m512i words = gatherWords<2>(at, n, table);
    return _mm512_cvtepi32_epi16(_mm512_srli_epi32(words, 16));
}

VOKL_VECTOR_TARGET inline __m512i lookupPairs(__m512i codes, unsigned count, const std::uint8_t* table) {
    const __m256i low = lookupPairs16(_mm512_castsi512_si256(codes), std::min(count, 16u), table);
    if (count <= 16) return _mm512_zextsi256_si512(low);
    return _mm512_inserti64x4(_mm512_castsi256_si512(low),
                              lookupPairs16(_mm512_extracti64x4_epi64(codes, 1), count - 16, table), 1);
}

// The pairs whose lead bytes `leads` marks in `bytes`, as 16-bit codes
// lead * 256 + trail in order, and their entries placed back where the two
// bytes were; `missing` tells whether one of them has none.
VOKL_VECTOR_TARGET inline __m512i pairEntries(__m512i bytes, std::uint64_t leads, const std::uint8_t* table,
                                              bool& missing) {
    const std::uint64_t both = leads | (leads << 1);
    const __m512i dense = _mm512_maskz_compress_epi8(both, bytes);
    const unsigned count = static_cast<unsigned>(__builtin_popcountll(leads));
    const __m512i entries = lookupPairs(_mm512_shldi_epi16(dense, dense, 8), count, table);
    const std::uint32_t lanes = count >= 32 ? ~std::uint32_t{0} : (std::uint32_t{1} << count) - 1;
    missing = (_mm512_testn_epi16_mask(entries, entries) & lanes) != 0;
    return _mm512_maskz_expand_epi8(both, entries);
}
#endif

}  // namespace vokl
