#include "numeric.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "trimmasks.h"
#include "vectors.h"

namespace vokl {

namespace {

constexpr char kPoint = '.';
constexpr char kComma = ',';
constexpr char kQuote = '"';
constexpr char kBlank = ' ';
constexpr unsigned char kWideBlankLead = 0x81;
constexpr unsigned char kWideBlankTrail = 0x40;

constexpr std::uint8_t kZoneDigit = 0xF;
constexpr std::uint8_t kZonePlus = 0xC;
constexpr std::uint8_t kZoneMinus = 0xD;
constexpr std::uint8_t kSignPlus = 0xC;
constexpr std::uint8_t kSignPlusUnsigned = 0xF;
constexpr std::uint8_t kSignMinus = 0xD;
constexpr std::uint8_t kMaxDigitNibble = 9;

// The extent of one numeric run: letters of one kind with at most one "."
// inside, each "." followed by a letter.
struct Run {
    bool ok = false;
    std::size_t length = 0;   // letters and "."
    std::size_t letters = 0;
    std::size_t points = 0;
};

// run := L { L | "." L }   (L = letter); a "." not followed by L is malformed
Run scanRun(std::string_view pattern, char letter) {
    Run run;
    std::size_t i = 0;
    while (i < pattern.size()) {
        char c = pattern[i];
        if (c == letter) {
            ++run.letters;
        } else if (c == kPoint) {
            if (i + 1 >= pattern.size() || pattern[i + 1] != letter) return run;
            ++run.points;
        } else {
            break;
        }
        ++i;
    }
    run.length = i;
    run.ok = run.letters > 0 && run.points <= 1;
    return run;
}

}  // namespace

NumericResult zonedToText(std::string_view pattern, const std::uint8_t* bytes, std::size_t byteCount,
                          char* out, std::size_t outCapacity) noexcept {
    NumericResult result;
    if (pattern.empty() || pattern.front() != 'S') return result;
    Run run = scanRun(pattern, 'S');
    if (!run.ok) return result;
    std::size_t textLen = run.length + 1;
    if (out == nullptr || outCapacity < textLen) {
        result.status = NumericStatus::NoRoom;
        return result;
    }
    if (bytes == nullptr) byteCount = 0;

    char sign = '+';
    std::size_t used = 0;
    for (std::size_t k = 0; k < run.length; ++k) {
        char& slot = out[k + 1];
        if (used >= byteCount) {
            // The record ran out: the rest of the number stays empty.
            slot = '\0';
            continue;
        }
        if (pattern[k] == kPoint) {
            slot = kPoint;
            continue;
        }
        std::uint8_t b = bytes[used++];
        std::uint8_t zone = b >> 4;
        std::uint8_t digit = b & 0xF;
        if (digit > kMaxDigitNibble || (zone != kZoneDigit && zone != kZonePlus && zone != kZoneMinus)) {
            slot = '0';
            continue;
        }
        slot = static_cast<char>('0' + digit);
        if (zone == kZonePlus) sign = '+';
        if (zone == kZoneMinus) sign = '-';
    }
    out[0] = sign;

    result.status = NumericStatus::Ok;
    result.patternUsed = run.length;
    result.textLen = textLen;
    result.bytesUsed = used;
    return result;
}

NumericResult packedToText(std::string_view pattern, const std::uint8_t* bytes, std::size_t byteCount,
                           char* out, std::size_t outCapacity) noexcept {
    NumericResult result;
    if (pattern.empty() || (pattern.front() != 'C' && pattern.front() != 'P')) return result;
    char letter = pattern.front();
    Run run = scanRun(pattern, letter);
    if (!run.ok || run.letters > kPackedMaxDigits) return result;
    if (bytes == nullptr) byteCount = 0;

    std::size_t byteTotal = run.letters / 2 + 1;
    std::size_t used = byteTotal < byteCount ? byteTotal : byteCount;
    std::array<char, kPackedMaxDigits> digits;
    digits.fill('?');
    std::size_t next = 0;
    char sign = '?';
    auto takeDigit = [&](std::uint8_t nibble) {
        // A nibble beyond the digit string (no sign nibble in a full-length
        // field) has no position to go to.
        if (next < digits.size() && nibble <= kMaxDigitNibble) digits[next] = static_cast<char>('0' + nibble);
        ++next;
    };
    for (std::size_t k = 0; k < used; ++k) {
        std::uint8_t high = bytes[k] >> 4;
        std::uint8_t low = bytes[k] & 0xF;
        takeDigit(high);
        if (low == kSignPlus || low == kSignPlusUnsigned) {
            sign = '+';
        } else if (low == kSignMinus) {
            sign = '-';
        } else {
            takeDigit(low);
        }
    }

    bool showSign = letter == 'C' || sign != '+';
    std::size_t textLen = run.length + (showSign ? 1 : 0);
    if (out == nullptr || outCapacity < textLen) {
        result.status = NumericStatus::NoRoom;
        return result;
    }
    std::size_t h = 0;
    if (showSign) out[h++] = sign;
    // With an even digit count the first nibble is the pad nibble.
    std::size_t digit = run.letters % 2 == 0 ? 1 : 0;
    for (std::size_t k = 0; k < run.length; ++k) {
        out[h++] = pattern[k] == kPoint ? kPoint : digits[digit++];
    }

    result.status = NumericStatus::Ok;
    result.patternUsed = run.length;
    result.textLen = textLen;
    result.bytesUsed = used;
    return result;
}

namespace {

constexpr bool isLeadByte(unsigned char b) { return (b >= 0x80 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// One item's characters and blanks: a kanji item walks Shift-JIS characters
// and knows only the full-width space as blank, any other item single bytes
// and 0x20.
class ItemText {
public:
    ItemText(const char* text, std::size_t end, bool kanji) : text_(text), end_(end), kanji_(kanji) {}

    std::size_t charLength(std::size_t at) const {
        if (kanji_ && at + 1 < end_ && isLeadByte(byte(at))) return 2;
        return 1;
    }
    bool isBlank(std::size_t at) const {
        if (!kanji_) return text_[at] == kBlank;
        return charLength(at) == 2 && byte(at) == kWideBlankLead && byte(at + 1) == kWideBlankTrail;
    }

private:
    unsigned char byte(std::size_t at) const { return static_cast<unsigned char>(text_[at]); }

    const char* text_;
    std::size_t end_;
    bool kanji_;
};

// Copies text[from, to) to text[w...], w <= from, and returns the new w.
std::size_t copyDown(char* text, std::size_t from, std::size_t to, std::size_t w) {
    while (from < to) text[w++] = text[from++];
    return w;
}

// Writes the trimmed item text[begin, end) at text[w...] (w <= begin) and
// returns the new write position.
std::size_t trimItem(char* text, std::size_t begin, std::size_t end, std::size_t w, std::int32_t flags) {
    bool quoted = end - begin >= 2 && text[begin] == kQuote && text[end - 1] == kQuote;
    std::size_t first = quoted ? begin + 1 : begin;
    std::size_t last = quoted ? end - 1 : end;
    bool kanji = first < last && isLeadByte(static_cast<unsigned char>(text[first]));
    if (!kanji && (flags & kTrimKanjiOnly) != 0) return copyDown(text, begin, end, w);

    ItemText item(text, last, kanji);
    if ((flags & (kTrimBoth | kTrimLeft)) != 0) {
        while (first < last && item.isBlank(first)) first += item.charLength(first);
    }
    if ((flags & (kTrimBoth | kTrimRight)) != 0) {
        // Walked from the left so that a trail byte is never taken for the
        // start of a blank.
        std::size_t contentEnd = first;
        for (std::size_t at = first; at < last; at += item.charLength(at)) {
            if (!item.isBlank(at)) contentEnd = at + item.charLength(at);
        }
        last = contentEnd;
    }

    if (quoted) text[w++] = kQuote;
    if ((flags & kTrimBoth) == 0) {
        w = copyDown(text, first, last, w);
    } else {
        bool previousBlank = false;
        for (std::size_t at = first; at < last;) {
            std::size_t length = item.charLength(at);
            bool blank = item.isBlank(at);
            if (!(blank && previousBlank)) w = copyDown(text, at, at + length, w);
            previousBlank = blank;
            at += length;
        }
    }
    if (quoted) text[w++] = kQuote;
    return w;
}

}  // namespace

std::size_t trimItemsReference(char* text, std::size_t length, std::int32_t flags) noexcept {
    if (text == nullptr) return 0;
    std::size_t w = 0;
    std::size_t r = 0;
    bool firstItem = true;
    while (r < length) {
        std::size_t end = r;
        while (end < length && text[end] != kComma) ++end;
        if (end > r) {
            // The result never outgrows what has been read, so it can be
            // written over the text already passed.
            if (!firstItem) text[w++] = kComma;
            w = trimItem(text, r, end, w, flags);
            firstItem = false;
        }
        r = end + 1;
    }
    return w;
}

}  // namespace vokl

// ---- fast trimming ---------------------------------------------------------

namespace vokl {

namespace {

// Eight bytes at a time where the word can be read within the text; the
// flags below are exact for every byte, so no byte is taken for another.
constexpr std::uint64_t kEveryByte = 0x0101010101010101ULL;
constexpr std::uint64_t kLowSevenBits = 0x7F7F7F7F7F7F7F7FULL;
constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
constexpr std::size_t kWord = 8;
constexpr bool kLittleEndian = std::endian::native == std::endian::little;

std::uint64_t load(const char* at) {
    std::uint64_t word;
    std::memcpy(&word, at, kWord);
    return word;
}

// The high bit of every byte of word that differs from c.
std::uint64_t differsFrom(std::uint64_t word, char c) {
    std::uint64_t x = word ^ (kEveryByte * static_cast<unsigned char>(c));
    return (((x & kLowSevenBits) + kLowSevenBits) | x) & kHighBits;
}

// The first comma in text[from, length), or length.
std::size_t findComma(const char* text, std::size_t from, std::size_t length) {
    std::size_t at = from;
    if constexpr (kLittleEndian) {
        for (; at + kWord <= length; at += kWord) {
            std::uint64_t commas = ~differsFrom(load(text + at), kComma) & kHighBits;
            if (commas != 0) return at + static_cast<std::size_t>(std::countr_zero(commas)) / kWord;
        }
    }
    while (at < length && text[at] != kComma) ++at;
    return at;
}

// Blanks at the start of text[first, last); the text holds length bytes.
std::size_t leadingBlanks(const char* text, std::size_t first, std::size_t last, std::size_t length) {
    std::size_t at = first;
    if constexpr (kLittleEndian) {
        for (; at < last && at + kWord <= length; at += kWord) {
            std::uint64_t other = differsFrom(load(text + at), kBlank);
            if (other != 0) {
                at += static_cast<std::size_t>(std::countr_zero(other)) / kWord;
                return std::min(at, last) - first;
            }
        }
    }
    while (at < last && text[at] == kBlank) ++at;
    return std::min(at, last) - first;
}

// Blanks at the end of text[first, last).
std::size_t trailingBlanks(const char* text, std::size_t first, std::size_t last) {
    std::size_t at = last;
    if constexpr (kLittleEndian) {
        for (; at > first && at >= kWord; at -= kWord) {
            std::uint64_t other = differsFrom(load(text + at - kWord), kBlank);
            if (other != 0) {
                at -= static_cast<std::size_t>(std::countl_zero(other)) / kWord;
                return last - std::max(at, first);
            }
        }
    }
    while (at > first && text[at - 1] == kBlank) --at;
    return last - std::max(at, first);
}

// Moves text[from, to) down to text[w...] (w <= from) and returns the new w.
// Each word is read before anything is written at or above it.
std::size_t moveDown(char* text, std::size_t from, std::size_t to, std::size_t w) {
    const std::size_t count = to - from;
    if (w != from) {
        std::size_t k = 0;
        for (; k + kWord <= count; k += kWord) {
            std::uint64_t word = load(text + from + k);
            std::memcpy(text + w + k, &word, kWord);
        }
        for (; k < count; ++k) text[w + k] = text[from + k];
    }
    return w + count;
}

// Copies src[from, to) to dst[w...] a chunk at a time: both are short-text
// buffers with a chunk of room beyond the text, and they do not overlap.
// Fixed-size copies keep the branches of the item loop predictable.
constexpr std::size_t kChunk = 16;

std::size_t copyChunks(const char* src, char* dst, std::size_t from, std::size_t to, std::size_t w) {
    for (std::size_t k = 0; k < to - from; k += kChunk) std::memcpy(dst + w + k, src + from + k, kChunk);
    return w + (to - from);
}

// Where the trimmed items go: over the text itself (w never passes the
// read position), or from a padded copy of a short text into a padded result.
struct Texts {
    const char* src;
    char* dst;
    bool padded;

    std::size_t move(std::size_t from, std::size_t to, std::size_t w) const {
        if (padded) return copyChunks(src, dst, from, to, w);
        return moveDown(dst, from, to, w);
    }
};

bool hasDoubleBlank(const char* text, std::size_t first, std::size_t last) {
    for (std::size_t at = first + 1; at < last; ++at) {
        if (text[at] == kBlank && text[at - 1] == kBlank) return true;
    }
    return false;
}

// Copies text[first, last) down to w keeping one blank of every run of 0x20.
std::size_t collapseSingle(const Texts& t, std::size_t first, std::size_t last, std::size_t w) {
    if (!hasDoubleBlank(t.src, first, last)) return t.move(first, last, w);
    bool previousBlank = false;
    for (std::size_t at = first; at < last; ++at) {
        bool blank = t.src[at] == kBlank;
        if (!(blank && previousBlank)) t.dst[w++] = t.src[at];
        previousBlank = blank;
    }
    return w;
}

// True when text[first, last) holds no blank; the text holds length bytes.
bool blankFree(const char* text, std::size_t first, std::size_t last, std::size_t length) {
    std::size_t at = first;
    if constexpr (kLittleEndian) {
        for (; at + kWord <= last; at += kWord) {
            if ((~differsFrom(load(text + at), kBlank) & kHighBits) != 0) return false;
        }
        if (at < last && at + kWord <= length) {
            std::uint64_t blanks = ~differsFrom(load(text + at), kBlank) & kHighBits;
            return (blanks & ((std::uint64_t{1} << (8 * (last - at))) - 1)) == 0;
        }
    }
    for (; at < last; ++at) {
        if (text[at] == kBlank) return false;
    }
    return true;
}

std::size_t trimSingleItem(char* text, std::size_t first, std::size_t last, std::size_t length, std::size_t w,
                           std::int32_t flags) {
    if (blankFree(text, first, last, length)) return moveDown(text, first, last, w);
    if ((flags & (kTrimBoth | kTrimLeft)) != 0) first += leadingBlanks(text, first, last, length);
    if ((flags & (kTrimBoth | kTrimRight)) != 0) last -= trailingBlanks(text, first, last);
    if ((flags & kTrimBoth) == 0) return moveDown(text, first, last, w);
    return collapseSingle(Texts{text, text, false}, first, last, w);
}

constexpr std::array<bool, 256> makeLeadBytes() {
    std::array<bool, 256> lead{};
    for (unsigned b = 0; b < 256; ++b) lead[b] = isLeadByte(static_cast<unsigned char>(b));
    return lead;
}

constexpr std::array<bool, 256> kLeadBytes = makeLeadBytes();

// Kanji items are walked character by character from their start, so that a
// trail byte 0x81 is never taken for the lead byte of a blank. One walk finds
// where the content ends and whether an inner run needs collapsing.
std::size_t trimKanjiItem(const Texts& t, std::size_t first, std::size_t last, std::size_t w, std::int32_t flags) {
    const auto* b = reinterpret_cast<const unsigned char*>(t.src);
    auto blankAt = [&](std::size_t at) {
        return at + 1 < last && b[at] == kWideBlankLead && b[at + 1] == kWideBlankTrail;
    };
    if ((flags & (kTrimBoth | kTrimLeft)) != 0) {
        while (blankAt(first)) first += 2;
    }
    const bool right = (flags & (kTrimBoth | kTrimRight)) != 0;
    const bool collapse = (flags & kTrimBoth) != 0;
    if (!right && !collapse) return t.move(first, last, w);
    std::size_t contentEnd = first;
    std::size_t firstDouble = last;  // the first blank that follows a blank
    bool previousBlank = false;
    for (std::size_t at = first; at < last;) {
        bool blank = false;
        if (at + 1 < last && kLeadBytes[b[at]]) {
            blank = b[at] == kWideBlankLead && b[at + 1] == kWideBlankTrail;
            if (blank && previousBlank && firstDouble == last) firstDouble = at;
            at += 2;
        } else {
            ++at;
        }
        contentEnd = blank ? contentEnd : at;
        previousBlank = blank;
    }
    if (right) last = contentEnd;
    if (!collapse || firstDouble >= last) return t.move(first, last, w);
    w = t.move(first, firstDouble, w);
    previousBlank = true;
    for (std::size_t at = firstDouble; at < last;) {
        std::size_t size = at + 1 < last && kLeadBytes[b[at]] ? 2 : 1;
        bool blank = size == 2 && b[at] == kWideBlankLead && b[at + 1] == kWideBlankTrail;
        if (!(blank && previousBlank)) {
            t.dst[w++] = t.src[at];
            if (size == 2) t.dst[w++] = t.src[at + 1];
        }
        previousBlank = blank;
        at += size;
    }
    return w;
}

std::size_t trimSingleShort(const Texts& t, std::size_t first, std::size_t last, std::size_t w, std::int32_t flags,
                            std::uint64_t blanks);

// Where the bytes that matter lie in a short text: bit j for byte j.
struct ShortMasks {
    std::uint64_t blanks = 0;
    std::uint64_t wide = 0;   // 0x81 followed by 0x40
    std::uint64_t lead = 0;   // Shift-JIS lead bytes
    bool kanji = false;       // wide and lead are known
};

std::size_t trimKanjiShort(const Texts& t, std::size_t first, std::size_t last, std::size_t w, std::int32_t flags,
                           const ShortMasks& masks);

// masks: those of a short text (see trimShortText), or null when the text is
// trimmed in place.
std::size_t trimItemFast(const Texts& t, std::size_t begin, std::size_t end, std::size_t length, std::size_t w,
                         std::int32_t flags, const ShortMasks* masks = nullptr) {
    bool quoted = end - begin >= 2 && t.src[begin] == kQuote && t.src[end - 1] == kQuote;
    std::size_t first = quoted ? begin + 1 : begin;
    std::size_t last = quoted ? end - 1 : end;
    bool kanji = first < last && isLeadByte(static_cast<unsigned char>(t.src[first]));
    if (!kanji && (flags & kTrimKanjiOnly) != 0) return t.move(begin, end, w);
    if (quoted) t.dst[w++] = kQuote;
    if (kanji && masks != nullptr && masks->kanji)
        w = trimKanjiShort(t, first, last, w, flags, *masks);
    else if (kanji)
        w = trimKanjiItem(t, first, last, w, flags);
    else if (masks != nullptr)
        w = trimSingleShort(t, first, last, w, flags, masks->blanks);
    else
        w = trimSingleItem(t.dst, first, last, length, w, flags);
    if (quoted) t.dst[w++] = kQuote;
    return w;
}

// ---- texts of at most one word of bits: where the commas and blanks are is
// found for the whole text at once, and an item's blank ends are bit counts.
constexpr std::size_t kShortText = 64;

#if !defined(__SSE2__)
constexpr std::uint64_t kGatherBits = 0x0102040810204080ULL;

// One bit per byte (bit j for byte j) from the high bits of a word's bytes.
std::uint64_t gather(std::uint64_t highBits) { return ((highBits >> 7) * kGatherBits) >> 56; }
#endif

// Bits [from, to), from < to <= 64.
std::uint64_t bitRange(std::size_t from, std::size_t to) {
    std::uint64_t below = to == kShortText ? ~std::uint64_t{0} : (std::uint64_t{1} << to) - 1;
    return below & ~((std::uint64_t{1} << from) - 1);
}

std::size_t trimSingleShort(const Texts& t, std::size_t first, std::size_t last, std::size_t w, std::int32_t flags,
                            std::uint64_t blanks) {
    if (first == last) return w;
    if ((blanks & bitRange(first, last)) == 0) return t.move(first, last, w);
    if ((flags & (kTrimBoth | kTrimLeft)) != 0)
        first += std::min<std::size_t>(static_cast<std::size_t>(std::countr_one(blanks >> first)), last - first);
    if ((flags & (kTrimBoth | kTrimRight)) != 0 && first < last)
        last -= std::min<std::size_t>(static_cast<std::size_t>(std::countl_one(blanks << (kShortText - last))),
                                      last - first);
    if ((flags & kTrimBoth) == 0 || first == last) return t.move(first, last, w);
    std::uint64_t inner = blanks & bitRange(first, last);
    if ((inner & (inner >> 1)) == 0) return t.move(first, last, w);
    return collapseSingle(t, first, last, w);
}


// A kanji item of a short text whose characters all start where its pairs
// start (every pair begins with a lead byte): its blanks are the pairs
// 0x81 0x40 at an even distance from first, and its ends are bit counts.
// Anything else, and inner runs to collapse, go to the walk.
std::size_t trimKanjiShort(const Texts& t, std::size_t first, std::size_t last, std::size_t w, std::int32_t flags,
                           const ShortMasks& masks) {
    const std::uint64_t parity = first % 2 == 0 ? kEvenBits : ~kEvenBits;
    const std::uint64_t starts = last - first >= 2 ? parity & bitRange(first, last - 1) : 0;
    if ((masks.lead & starts) != starts) return trimKanjiItem(t, first, last, w, flags);
    const std::uint64_t blankPairs = masks.wide & starts;
    // Blank pairs with the bytes between pair starts filled in count two bits
    // a pair.
    const std::uint64_t filled = blankPairs | ~parity;
    std::size_t from = first;
    std::size_t to = last;
    if ((flags & (kTrimBoth | kTrimLeft)) != 0) from += static_cast<std::size_t>(std::countr_one(filled >> first));
    if ((flags & (kTrimBoth | kTrimRight)) != 0 && from < to && (to - from) % 2 == 0) {
        const std::uint64_t tail = filled & bitRange(from, to);
        to -= 2 * (static_cast<std::size_t>(std::countl_one(tail << (kShortText - to))) / 2);
    }
    if ((flags & kTrimBoth) != 0 && from < to) {
        const std::uint64_t inner = blankPairs & bitRange(from, to);
        if ((inner & (inner >> 2)) != 0) return trimKanjiItem(t, first, last, w, flags);
    }
    return t.move(from, to, w);
}

std::size_t trimShortText(char* text, std::size_t length, std::int32_t flags) {
    // The items are trimmed from a copy into a result, both with a chunk of
    // room to spare, and the result is copied back once.
    alignas(kWord) char copy[kShortText + kChunk] = {};
    char result[kShortText + kChunk];
    std::memcpy(copy, text, length);
    const Texts t{copy, result, true};
    ShortMasks masks;
    std::uint64_t commas = 0;
#if defined(__SSE2__)
    auto bits = [](__m128i hits) { return std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(hits))}; };
    const __m128i blank16 = _mm_set1_epi8(kBlank);
    const __m128i comma16 = _mm_set1_epi8(kComma);
    const __m128i wideLead16 = _mm_set1_epi8(static_cast<char>(kWideBlankLead));
    const __m128i wideTrail16 = _mm_set1_epi8(static_cast<char>(kWideBlankTrail));
    // Lead bytes as signed bytes: 0x80-0x9F below -96, 0xE0-0xFC from -32 to -4.
    const __m128i lowLeadEnd = _mm_set1_epi8(-96);
    const __m128i highLeadBefore = _mm_set1_epi8(-33);
    const __m128i highLeadAfter = _mm_set1_epi8(-3);
    std::uint64_t wideLeads = 0;
    std::uint64_t wideTrails = 0;
    for (std::size_t at = 0; at < length; at += kChunk) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(copy + at));
        masks.blanks |= bits(_mm_cmpeq_epi8(chunk, blank16)) << at;
        commas |= bits(_mm_cmpeq_epi8(chunk, comma16)) << at;
        wideLeads |= bits(_mm_cmpeq_epi8(chunk, wideLead16)) << at;
        wideTrails |= bits(_mm_cmpeq_epi8(chunk, wideTrail16)) << at;
        const __m128i highLead =
            _mm_and_si128(_mm_cmpgt_epi8(chunk, highLeadBefore), _mm_cmplt_epi8(chunk, highLeadAfter));
        masks.lead |= bits(_mm_or_si128(_mm_cmplt_epi8(chunk, lowLeadEnd), highLead)) << at;
    }
    masks.wide = wideLeads & (wideTrails >> 1);
    masks.kanji = true;
#else
    for (std::size_t at = 0; at < length; at += kWord) {
        std::uint64_t word = load(copy + at);
        masks.blanks |= gather(~differsFrom(word, kBlank) & kHighBits) << at;
        commas |= gather(~differsFrom(word, kComma) & kHighBits) << at;
    }
#endif
    std::size_t w = 0;
    std::size_t r = 0;
    bool firstItem = true;
    while (r < length) {
        std::uint64_t ahead = commas >> r;
        std::size_t end = ahead != 0 ? r + static_cast<std::size_t>(std::countr_zero(ahead)) : length;
        if (end > r) {
            if (!firstItem) result[w++] = kComma;
            w = trimItemFast(t, r, end, length, w, flags, &masks);
            firstItem = false;
        }
        r = end + 1;
    }
    std::memcpy(text, result, w);
    return w;
}

}  // namespace

std::size_t trimItems(char* text, std::size_t length, std::int32_t flags) noexcept {
    if (text == nullptr) return 0;
    if (length <= kShortText) return trimShortText(text, length, flags);
    std::size_t w = 0;
    std::size_t r = 0;
    bool firstItem = true;
    while (r < length) {
        std::size_t end = findComma(text, r, length);
        if (end > r) {
            // The result never outgrows what has been read, so it can be
            // written over the text already passed.
            if (!firstItem) text[w++] = kComma;
            w = trimItemFast(Texts{text, text, false}, r, end, length, w, flags);
            firstItem = false;
        }
        r = end + 1;
    }
    return w;
}

// ---- trimming through bit masks ---------------------------------------------

namespace {

constexpr std::size_t kMaskBytes = 64;

#if VOKL_VECTORS
VOKL_VECTOR_TARGET std::size_t trimMasked(char* text, std::size_t length, std::int32_t flags) {
    const std::uint64_t all = trimming::bitsFrom(0, length);
    const __m512i v = _mm512_maskz_loadu_epi8(all, text);
    std::uint64_t keep = 0;
    if (!trimmedBytes(v, length, flags, keep)) return trimItems(text, length, flags);
    _mm512_mask_storeu_epi8(text, all, _mm512_maskz_compress_epi8(keep, v));
    return static_cast<std::size_t>(std::popcount(keep));
}
#endif

}  // namespace

std::size_t trimItemsVector(char* text, std::size_t length, std::int32_t flags) noexcept {
#if VOKL_VECTORS
    if (text != nullptr && length <= kMaskBytes) return trimMasked(text, length, flags);
#endif
    return trimItems(text, length, flags);
}

}  // namespace vokl

// ---- numeric runs described once -------------------------------------------

namespace vokl {

namespace {

constexpr char kNoSign = 0;

struct ZonedTables {
    std::array<char, 256> digit{};
    std::array<char, 256> sign{};  // kNoSign: the byte leaves the sign alone
};

constexpr ZonedTables makeZonedTables() {
    ZonedTables t;
    for (unsigned b = 0; b < 256; ++b) {
        unsigned zone = b >> 4;
        unsigned digit = b & 0xF;
        bool ok = digit <= kMaxDigitNibble && (zone == kZoneDigit || zone == kZonePlus || zone == kZoneMinus);
        t.digit[b] = ok ? static_cast<char>('0' + digit) : '0';
        t.sign[b] = !ok ? kNoSign : zone == kZonePlus ? '+' : zone == kZoneMinus ? '-' : kNoSign;
    }
    return t;
}

constexpr ZonedTables kZoned = makeZonedTables();

constexpr char nibbleDigit(unsigned nibble) {
    return nibble <= kMaxDigitNibble ? static_cast<char>('0' + nibble) : '?';
}

// A packed byte inside a field: its two digit characters, and whether its
// low nibble is a digit (else it is a sign or bad nibble taking no place).
struct PackedPair {
    char text[2] = {};
    bool digits = false;
};

constexpr std::array<PackedPair, 256> makePackedPairs() {
    std::array<PackedPair, 256> pairs{};
    for (unsigned b = 0; b < 256; ++b) {
        pairs[b].text[0] = nibbleDigit(b >> 4);
        pairs[b].text[1] = nibbleDigit(b & 0xF);
        pairs[b].digits = (b & 0xF) <= kMaxDigitNibble;
    }
    return pairs;
}

constexpr std::array<PackedPair, 256> kPackedPairs = makePackedPairs();

}  // namespace

bool describeNumericRun(std::string_view pattern, NumericRun& run) noexcept {
    if (pattern.empty()) return false;
    char letter = pattern.front();
    if (letter != 'S' && letter != 'C' && letter != 'P') return false;
    Run scanned = scanRun(pattern, letter);
    if (!scanned.ok) return false;
    if (letter != 'S' && scanned.letters > kPackedMaxDigits) return false;
    run.letter = letter;
    run.length = scanned.length;
    run.letters = scanned.letters;
    run.point = scanned.length;
    if (scanned.points != 0) run.point = pattern.substr(0, scanned.length).find(kPoint);
    run.bytes = letter == 'S' ? scanned.letters : scanned.letters / 2 + 1;
    return true;
}

char zonedDigitOf(std::uint8_t b) noexcept { return kZoned.digit[b]; }
char zonedSignOf(std::uint8_t b) noexcept { return kZoned.sign[b]; }
char packedDigitOf(unsigned nibble) noexcept { return nibbleDigit(nibble); }
char packedSignOf(unsigned lowNibble) noexcept {
    return lowNibble == kSignPlus || lowNibble == kSignPlusUnsigned ? '+' : lowNibble == kSignMinus ? '-' : '?';
}

std::size_t zonedRunToText(const NumericRun& run, const std::uint8_t* bytes, char* out) noexcept {
    char sign = '+';
    char* slot = out + 1;
    for (std::size_t k = 0; k < run.length; ++k) {
        if (k == run.point) {
            *slot++ = kPoint;
            continue;
        }
        std::uint8_t b = *bytes++;
        *slot++ = kZoned.digit[b];
        if (kZoned.sign[b] != kNoSign) sign = kZoned.sign[b];
    }
    out[0] = sign;
    return run.length + 1;
}

std::size_t packedRunToText(const NumericRun& run, std::string_view pattern, const std::uint8_t* bytes,
                            char* out) noexcept {
    // Digits in every byte but the last: then the text holds every nibble
    // but the pad nibble and the last one, in order. A sign or bad nibble
    // inside the field takes no place and shifts the digits; the full
    // decoding handles that.
    const std::size_t last = run.bytes - 1;
    for (std::size_t k = 0; k < last; ++k) {
        if (!kPackedPairs[bytes[k]].digits) return packedToText(pattern, bytes, run.bytes, out, run.length + 1).textLen;
    }
    const char sign = packedSignOf(bytes[last] & 0xF);
    std::size_t h = 0;
    if (run.letter == 'C' || sign != '+') out[h++] = sign;
    char* o = out + h;
    std::size_t written = 0;
    auto put = [&](char digit) {
        if (written == run.point) *o++ = kPoint;
        *o++ = digit;
        ++written;
    };
    // With an even digit count the first nibble is the pad nibble.
    if (run.letters % 2 != 0) put(kPackedPairs[bytes[0]].text[0]);
    if (last > 0) {
        put(kPackedPairs[bytes[0]].text[1]);
        for (std::size_t k = 1; k < last; ++k) {
            put(kPackedPairs[bytes[k]].text[0]);
            put(kPackedPairs[bytes[k]].text[1]);
        }
        put(kPackedPairs[bytes[last]].text[0]);
    }
    return h + run.length;
}

}  // namespace vokl
