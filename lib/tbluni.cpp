#include "tbluni.h"

namespace vokl {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool isContinuation(std::uint8_t b) { return (b & 0xC0) == 0x80; }

}  // namespace

std::size_t encodeUtf8(char32_t scalar, std::uint8_t* out) {
    if (scalar < 0x80) {
        out[0] = static_cast<std::uint8_t>(scalar);
        return 1;
    }
    if (scalar < 0x800) {
        out[0] = static_cast<std::uint8_t>(0xC0 | (scalar >> 6));
        out[1] = static_cast<std::uint8_t>(0x80 | (scalar & 0x3F));
        return 2;
    }
    if (scalar < 0x10000) {
        out[0] = static_cast<std::uint8_t>(0xE0 | (scalar >> 12));
        out[1] = static_cast<std::uint8_t>(0x80 | ((scalar >> 6) & 0x3F));
        out[2] = static_cast<std::uint8_t>(0x80 | (scalar & 0x3F));
        return 3;
    }
    out[0] = static_cast<std::uint8_t>(0xF0 | (scalar >> 18));
    out[1] = static_cast<std::uint8_t>(0x80 | ((scalar >> 12) & 0x3F));
    out[2] = static_cast<std::uint8_t>(0x80 | ((scalar >> 6) & 0x3F));
    out[3] = static_cast<std::uint8_t>(0x80 | (scalar & 0x3F));
    return 4;
}

// The well-formed sequences: the second byte's range depends on the first
// (no overlong forms, no surrogates, nothing beyond U+10FFFF).
Utf8Char decodeUtf8(const std::uint8_t* text, std::size_t available) {
    using Status = Utf8Char::Status;
    const std::uint8_t b = text[0];
    if (b < 0x80) return {Status::Ok, 1, b};
    std::size_t length;
    std::uint8_t low = 0x80, high = 0xBF;
    char32_t scalar;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
        scalar = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        scalar = b & 0x0F;
        if (b == 0xE0) low = 0xA0;
        if (b == 0xED) high = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        scalar = b & 0x07;
        if (b == 0xF0) low = 0x90;
        if (b == 0xF4) high = 0x8F;
    } else {
        return {Status::Invalid, 1, 0};
    }
    for (std::size_t k = 1; k < length; ++k) {
        if (k == available) return {Status::Cut, static_cast<std::uint8_t>(k), 0};
        const std::uint8_t c = text[k];
        if (k == 1 ? (c < low || c > high) : !isContinuation(c)) return {Status::Invalid, static_cast<std::uint8_t>(k), 0};
        scalar = (scalar << 6) | (c & 0x3F);
    }
    return {Status::Ok, static_cast<std::uint8_t>(length), scalar};
}

void appendAsUtf8(std::string_view sjis, std::string& out) {
    std::uint8_t bytes[4];
    for (std::size_t i = 0; i < sjis.size(); ++i) {
        unsigned code = static_cast<std::uint8_t>(sjis[i]);
        if (isSjisLeadByte(code) && i + 1 < sjis.size()) code = code * 256 + static_cast<std::uint8_t>(sjis[++i]);
        const std::uint16_t scalar = kCp932ToUnicode[code];
        const std::size_t n = encodeUtf8(scalar != kNoCode ? scalar : kReplacement, bytes);
        out.append(reinterpret_cast<const char*>(bytes), n);
    }
}

bool utf8ToCp932(std::string_view utf8, std::string& out) {
    out.clear();
    const auto* text = reinterpret_cast<const std::uint8_t*>(utf8.data());
    for (std::size_t i = 0; i < utf8.size();) {
        const Utf8Char c = decodeUtf8(text + i, utf8.size() - i);
        if (c.status != Utf8Char::Status::Ok) return false;
        const std::uint16_t code = unicodeToCp932(c.scalar);
        if (code == kNoCode) return false;
        if (code >= 0x100) out += static_cast<char>(code >> 8);
        out += static_cast<char>(code & 0xFF);
        i += c.length;
    }
    return true;
}

}  // namespace vokl
