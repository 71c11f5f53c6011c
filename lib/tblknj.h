// Double-byte tables between JEF and Shift-JIS: 65,536 entries each, indexed
// by (first byte * 256 + second byte); entry i is the byte pair at [2i] and
// [2i + 1] in output order. The pair 0x00 0x00 means "no mapping".
// The data is generated at build time from lib/data (see lib/gen/gentables.cpp).
#pragma once

#include <cstdint>

namespace vokl {

extern const std::uint8_t kJefToSjis[65536 * 2];
extern const std::uint8_t kSjisToJef[65536 * 2];

inline const std::uint8_t* jefToSjis(unsigned code) { return &kJefToSjis[code * 2]; }
inline const std::uint8_t* sjisToJef(unsigned code) { return &kSjisToJef[code * 2]; }

}  // namespace vokl
