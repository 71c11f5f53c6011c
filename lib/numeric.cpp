#include "numeric.h"

#include <array>

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

bool isLeadByte(unsigned char b) { return (b >= 0x80 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

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

std::size_t trimItems(char* text, std::size_t length, std::int32_t flags) noexcept {
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
