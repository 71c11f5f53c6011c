// Trimming through bit masks, for a processor with AVX-512 (haveVectors()):
// inline, so that the record engine keeps the text in its register.
#pragma once

#include <cstddef>
#include <cstdint>

#include "numeric.h"
#include "vectors.h"

namespace vokl {

#if VOKL_VECTORS
namespace trimming {

inline constexpr char kComma = ',';
inline constexpr char kQuote = '"';
inline constexpr char kBlank = ' ';
inline constexpr unsigned char kWideBlankLead = 0x81;
inline constexpr unsigned char kWideBlankTrail = 0x40;
inline constexpr std::size_t kMaskBytes = 64;

inline std::uint64_t bitsBelow(std::size_t n) { return n >= kMaskBytes ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1; }

// Bits [from, to); none when to <= from.
inline std::uint64_t bitsFrom(std::size_t from, std::size_t to) { return bitsBelow(to) & ~bitsBelow(from); }

// Runs of set bits: their first and last bits, and the runs that start at
// a bit of `at` (a carry from a run's first bit runs through it).
inline std::uint64_t runFirsts(std::uint64_t runs) { return runs & ~(runs << 1); }
inline std::uint64_t runLasts(std::uint64_t runs) { return runs & ~(runs >> 1); }
inline std::uint64_t runsFrom(std::uint64_t runs, std::uint64_t at) { return runs & ~(runs + (at & runs)); }

// The blanks (runs of `blanks`, within texts from firsts to lasts) that
// trimming takes from the texts' ends.
VOKL_VECTOR_TARGET inline std::uint64_t trimmedBlanks(std::uint64_t blanks, std::uint64_t firsts, std::uint64_t lasts,
                                                     bool left, bool right) {
    std::uint64_t taken = left ? runsFrom(blanks, firsts) : 0;
    // The runs ending on a text's last byte, found by their first bits.
    if (right) taken |= runsFrom(blanks, _pdep_u64(_pext_u64(lasts, runLasts(blanks)), runFirsts(blanks)));
    return taken;
}

}  // namespace trimming

// The bytes of the text (the first `length` bytes of v) that the trimming
// keeps, as a bit mask; false when a kanji item holds anything but whole
// pairs, which only the walk character by character decides.
VOKL_VECTOR_TARGET inline bool trimmedBytes(__m512i v, std::size_t length, std::int32_t flags, std::uint64_t& keep) noexcept {
    using namespace trimming;
    const std::uint64_t all = bitsFrom(0, length);
    auto equal = [&](unsigned char c) VOKL_VECTOR_TARGET {
        return _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(static_cast<char>(c))) & all;
    };
    const std::uint64_t commas = equal(kComma), quotes = equal(kQuote), blanks = equal(kBlank);
    const std::uint64_t leads =
        (_mm512_cmple_epu8_mask(_mm512_sub_epi8(v, _mm512_set1_epi8(static_cast<char>(0x80))), _mm512_set1_epi8(0x1F)) |
         _mm512_cmple_epu8_mask(_mm512_sub_epi8(v, _mm512_set1_epi8(static_cast<char>(0xE0))), _mm512_set1_epi8(0x1C))) &
        all;
    const std::uint64_t wide = equal(kWideBlankLead) & (equal(kWideBlankTrail) >> 1);
    const bool left = (flags & (kTrimBoth | kTrimLeft)) != 0;
    const bool right = (flags & (kTrimBoth | kTrimRight)) != 0;
    const bool collapse = (flags & kTrimBoth) != 0;
    // All items at once, as runs of bits: no branch per item.
    const std::uint64_t items = all & ~commas;
    const std::uint64_t starts = runFirsts(items), ends = runLasts(items);
    // Quoted: two bytes or more, a quote first and last.
    const std::uint64_t quoteStarts = starts & quotes & ~ends;
    const std::uint64_t quotedStarts = _pdep_u64(_pext_u64(quotes, ends & runsFrom(items, quoteStarts)), quoteStarts);
    const std::uint64_t quotedItems = runsFrom(items, quotedStarts);
    const std::uint64_t quoteBits = quotedStarts | (ends & quotedItems);
    // The items' texts within their quotes; kanji texts start with a lead byte.
    const std::uint64_t inner = items & ~quoteBits;
    const std::uint64_t innerFirsts = runFirsts(inner);
    const std::uint64_t kanji = runsFrom(inner, innerFirsts & leads);
    const std::uint64_t pairs = pairStarts(kanji);
    const std::uint64_t kanjiLasts = runLasts(kanji);
    if ((pairs & ~leads) != 0 || (kanjiLasts & pairs) != 0) return false;
    std::uint64_t kept = ((starts & (starts - 1)) >> 1) | quoteBits;  // the comma before every item but the first
    // Single-byte texts: leading and trailing blanks, inner runs down to their first.
    const std::uint64_t singles = inner & ~kanji;
    if ((flags & kTrimKanjiOnly) != 0) {
        kept |= items & ~runsFrom(items, (innerFirsts & kanji & starts) | (((innerFirsts & kanji) >> 1) & quotedStarts));
    } else {
        kept |= singles & ~trimmedBlanks(singles & blanks, runFirsts(singles), runLasts(singles), left, right) &
                ~(collapse ? blanks & (blanks << 1) : 0);
    }
    // Kanji texts: the same on wide blanks, a pair at a time.
    const std::uint64_t widePairs = wide & pairs;
    const std::uint64_t wideBytes = widePairs | (widePairs << 1);
    const std::uint64_t doubled = collapse ? widePairs & (widePairs << 2) : 0;
    kept |= kanji & ~trimmedBlanks(wideBytes, runFirsts(kanji), kanjiLasts, left, right) & ~(doubled | (doubled << 1));
    keep = kept;
    return true;
}
#endif

}  // namespace vokl
