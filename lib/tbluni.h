// Tables between code page 932 (the PC's Shift-JIS) and Unicode, generated at
// build time from lib/data (see lib/gen/genunicode.cpp), and the UTF-8 forms
// of Unicode scalars.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vokl {

// "No code" in both tables.
inline constexpr std::uint16_t kNoCode = 0xFFFF;

// Indexed by a single byte, or by lead * 256 + trail.
extern const std::uint16_t kCp932ToUnicode[65536];
// Indexed by a scalar of the Basic Multilingual Plane; code page 932 has
// nothing beyond it. A single-byte code is below 0x100.
extern const std::uint16_t kUnicodeToCp932[65536];

inline std::uint16_t unicodeToCp932(char32_t scalar) { return scalar < 0x10000 ? kUnicodeToCp932[scalar] : kNoCode; }

inline constexpr bool isSjisLeadByte(unsigned b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// Writes the UTF-8 form of a scalar (at most four bytes); returns its length.
std::size_t encodeUtf8(char32_t scalar, std::uint8_t* out);

// One character read from UTF-8. A byte that cannot start a character, or a
// sequence broken off by a byte that cannot continue it, is Invalid: length
// then covers the bytes that began the sequence (at least one). A sequence
// that is sound so far but runs past the bytes given is Cut.
struct Utf8Char {
    enum class Status : std::uint8_t { Ok, Invalid, Cut };
    Status status;
    std::uint8_t length;
    char32_t scalar;
};
Utf8Char decodeUtf8(const std::uint8_t* text, std::size_t available);

// Code page 932 text of whole characters to UTF-8, appended to out; a code
// without a Unicode scalar becomes U+FFFD.
void appendAsUtf8(std::string_view sjis, std::string& out);
// UTF-8 text to code page 932; false (out unspecified) when a character has
// no code or the text is not UTF-8.
bool utf8ToCp932(std::string_view utf8, std::string& out);

}  // namespace vokl
