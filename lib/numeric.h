// Field-level operations of the record pattern engine: zoned (S) and packed
// (C, P) decimal numbers turned into text, and the trimming of the
// comma-separated items of a converted record. Pure functions on buffers: no
// files, no tables, no log, no allocation. None reads or writes outside the
// ranges it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "vectors.h"

namespace vokl {

// Packed numbers are decoded into a digit string of this many positions; a
// longer packed run cannot be converted.
inline constexpr std::size_t kPackedMaxDigits = 33;

// Trim flags (j2sconv argument 5); other bits are ignored.
inline constexpr std::int32_t kTrimBoth = 1;       // both ends, inner runs reduced to one blank
inline constexpr std::int32_t kTrimLeft = 2;       // left end
inline constexpr std::int32_t kTrimRight = 4;      // right end
inline constexpr std::int32_t kTrimKanjiOnly = 8;  // single-byte items are left alone

enum class NumericStatus {
    Ok,
    // The run cannot be executed: a "." not followed by the run letter, more
    // than one "." in the run, or (packed) more than kPackedMaxDigits digits.
    // Nothing is written. The engine reports it as -2.
    Malformed,
    // outCapacity is smaller than the text the run needs (at most the run's
    // pattern characters + 1). Nothing is written.
    NoRoom,
};

struct NumericResult {
    NumericStatus status = NumericStatus::Malformed;
    std::size_t patternUsed = 0;  // pattern characters of the run (letters and ".")
    std::size_t textLen = 0;      // bytes written to out
    std::size_t bytesUsed = 0;    // record bytes consumed, never more than byteCount
};

// Zoned number. pattern: the pattern from the current position to its end,
// upper case, starting with "S". bytes/byteCount: the record bytes from the
// current offset on (byteCount may be 0; bytes may then be null).
// Writes exactly patternUsed + 1 bytes to out: the sign ("+"/"-") and one
// character per run character. Digits whose record byte is missing (the
// record ran out) and the "." after them are written as 0x00.
// bytesUsed = min(number of S, byteCount).
NumericResult zonedToText(std::string_view pattern, const std::uint8_t* bytes, std::size_t byteCount,
                          char* out, std::size_t outCapacity) noexcept;

// Packed number (COMP-3). pattern: as above, starting with "C" or "P" (the
// run letter). Decodes d/2 + 1 bytes (d = run letters), fewer when byteCount
// is smaller. Writes the sign first for C, and for P unless it is "+" ("?"
// when no sign nibble was found), then d digits (a "?" for each missing or
// bad nibble) with the run's "." in place. textLen is d + m or d + m + 1
// (m = 1 when the run holds a "."), at most kPackedMaxDigits + 2.
// bytesUsed = min(d/2 + 1, byteCount).
NumericResult packedToText(std::string_view pattern, const std::uint8_t* bytes, std::size_t byteCount,
                           char* out, std::size_t outCapacity) noexcept;

// A well-formed numeric run scanned once, so that the engine can format it
// for every record without scanning the pattern again.
struct NumericRun {
    char letter = 0;            // 'S', 'C' or 'P'
    std::size_t length = 0;     // pattern characters (letters and ".")
    std::size_t letters = 0;
    std::size_t point = 0;      // offset of the "." in the run; length when there is none
    std::size_t bytes = 0;      // record bytes the whole field takes
};

// Describes the run at the start of pattern (upper case). False when it is
// no numeric run or one that zonedToText / packedToText call malformed.
bool describeNumericRun(std::string_view pattern, NumericRun& run) noexcept;

// The text of zonedToText / packedToText for a described run whose
// run.bytes record bytes are all there; out has room for run.length + 1
// bytes. Returns the text length. pattern: the pattern from the run on, as
// described; a packed field with a sign or bad nibble before its last byte
// is handed to packedToText with it.
std::size_t zonedRunToText(const NumericRun& run, const std::uint8_t* bytes, char* out) noexcept;
std::size_t packedRunToText(const NumericRun& run, std::string_view pattern, const std::uint8_t* bytes,
                            char* out) noexcept;

// What those texts are made of, a byte at a time, for callers that format
// many fields at once: the digit of a zoned byte and the sign it gives (0:
// none), the character of a packed digit nibble, and the sign of a packed
// field's last nibble. Only a packed field whose bytes but the last hold
// digits in their low nibbles is made of them alone.
char zonedDigitOf(std::uint8_t b) noexcept;
char zonedSignOf(std::uint8_t b) noexcept;
char packedDigitOf(unsigned nibble) noexcept;
char packedSignOf(unsigned lowNibble) noexcept;

// Trims the comma-separated items of a record's text (without line end) in
// place and returns the new length (never more than length). Consecutive,
// leading and trailing commas collapse, so empty items between commas
// vanish; an item that trims down to nothing stays as an empty item. Quoted
// items ("...") are trimmed between their quotes. Kanji items (first byte a
// Shift-JIS lead byte) use the full-width space 0x81 0x40 as blank, walked
// character by character; single-byte items use 0x20. Needs no memory, so it
// cannot fail.
std::size_t trimItems(char* text, std::size_t length, std::int32_t flags) noexcept;

// trimItems for a processor with AVX-512 (haveVectors()): a text of at most
// 64 bytes is trimmed through bit masks, the items one after another but no
// byte at a time; any other text goes to trimItems.
std::size_t trimItemsVector(char* text, std::size_t length, std::int32_t flags) noexcept;

// The same trimming done the plain way, character by character; kept as the
// yardstick for trimItems in tests.
std::size_t trimItemsReference(char* text, std::size_t length, std::int32_t flags) noexcept;

}  // namespace vokl
