// Single-byte tables between EBCDIC and JIS8 (the single-byte half of
// Shift-JIS), in the three host variants. An entry of 0x00 means "no mapping".
#pragma once

#include <array>
#include <cstdint>

namespace vokl {

using ByteTable = std::array<std::uint8_t, 256>;

enum class SbVariant { Kana, Lower, Ascii };

const ByteTable& ebcdicToJis8(SbVariant variant);
const ByteTable& jis8ToEbcdic(SbVariant variant);

}  // namespace vokl
