// The COBOL copybook reader: data description entries in, an ordered list of
// items out. It knows nothing of record patterns; mkpatn walks the items.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "general.h"

namespace vokl {

// A physical line is read in pieces of at most this many characters, each
// piece taken as a line of its own.
inline constexpr std::size_t kCopyPieceChars = 255;

// One data description entry. The hierarchy is implied by the levels: an
// item's subordinates are the items after it with a greater level, up to the
// next item whose level is not greater.
struct CopyItem {
    std::int32_t level = 0;
    std::string name;                      // empty: no name (never matched by REDEFINES)
    char kind = '0';                       // '0' no picture, '9' 'X' 'A' 'N' 'S', 'C' packed
    std::int32_t length = 0;               // symbols before the point; bytes of a binary item
    char point = ' ';                      // 'V' with an implied decimal point
    std::int32_t decimals = 0;             // symbols after the point
    std::int32_t occurs = 0;               // 0: not repeated
    std::optional<std::string> redefines;  // present when the entry has a REDEFINES clause
    char mark = ' ';                       // 'S' redefined by another item, 'D' redefines another
    std::int32_t align = 0;                // SYNCHRONIZED: the boundary the item belongs on, 0 none

    // An item with a picture of its own (V99 has no symbol before the point).
    bool elementary() const { return length > 0 || decimals > 0; }
};

using CopyItems = std::vector<CopyItem>;

// Where the reader takes the copybook's bytes from: bytes stored, 0 at the
// end, -1 on a read error.
using ReadBytes = std::function<std::int64_t(char* buffer, std::size_t size)>;

// Opens the copybook at path and reads it into items (copybook order),
// members named by COPY statements included from beside it. Returns 0, -4
// (read, but with an item laid out only approximately), -3 (analysis error,
// a member not found), -13 (cannot be opened or read); the log line is
// written first. std::bad_alloc passes through to the export frame (-30).
// `members`, when given, receives the path of every member read.
std::int32_t readCopybook(Log& log, const char* path, CopyItems& items, std::vector<std::string>* members = nullptr);

// The same from any byte source; path names the copybook in the log and
// tells where its members are.
std::int32_t readCopybookFrom(Log& log, const char* path, const ReadBytes& read, CopyItems& items,
                              std::vector<std::string>* members = nullptr);

// The members a copybook names, as far as they are found: read once without
// a log before anything is written, since they are files the call reads.
std::vector<std::string> copybookMembers(const char* path) noexcept;

// Sets the marks: 'D' on every item with a REDEFINES clause, 'S' on the
// nearest earlier item it names (in any case) unless that one redefines
// another in turn, so that a chain of redefinitions keeps only its first
// item in the first line.
void resolveRedefines(CopyItems& items);

}  // namespace vokl
