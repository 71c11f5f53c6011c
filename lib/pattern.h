// Record pattern files: reading and validating them into a list of entries,
// and choosing the entry for a record by its keyword.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "general.h"

namespace vokl {

// A pattern line is read in pieces of at most this many bytes (line feed
// included); each piece is a line of its own.
inline constexpr std::size_t kPatternPieceBytes = 65521;

// One pattern line. All lengths are in bytes and fit the 32-bit fields.
struct PatternEntry {
    std::int32_t keywordPos = 0;  // 1-based byte position in the record; 0: no keyword
    std::int32_t keywordLen = 0;  // == keyword.size()
    std::string keyword;          // EBCDIC bytes, without 0x00
    std::int32_t patternLen = 0;  // == pattern.size()
    std::string pattern;          // upper case, only X 9 A N S C P . , space "
    std::int32_t recordLen = 0;   // record bytes the pattern describes
};

// The keywords of a list by position, length and bytes, so that the entry
// for a record is found in time that does not grow with the number of
// entries. Entries whose keywords share position and length form a group;
// in a group, entries with the same keyword bytes share one slot of a hash
// table, in file order.
class KeywordIndex {
public:
    void build(const std::vector<PatternEntry>& entries);
    bool covers(const std::vector<PatternEntry>& entries) const { return built_ == entries.size() && built_ > 0; }
    // The index of the first entry in file order whose keyword matches, or
    // entries.size() when none does.
    std::size_t firstMatch(const std::vector<PatternEntry>& entries, const std::uint8_t* record, std::size_t count,
                           bool skipShiftCodes) const;

private:
    struct Group {
        std::uint64_t position;  // keywordPos
        std::uint32_t length;    // keywordLen
        std::uint32_t lowest;    // its first entry in file order
    };
    struct Slot {
        std::uint64_t hash = 0;
        std::uint32_t group = 0;
        std::uint32_t first = 0;  // its entries: order_[first, first + count)
        std::uint32_t count = 0;  // 0: an empty slot
    };
    const Slot* find(const std::vector<PatternEntry>& entries, std::uint32_t group, const std::uint8_t* bytes) const;

    std::size_t built_ = 0;
    std::vector<Group> groups_;  // by their first entry
    std::vector<Slot> slots_;    // a power of two, at most half full
    std::vector<std::uint32_t> order_;
};

struct PatternList {
    std::vector<PatternEntry> entries;  // file order; never empty after a successful read
    bool multi = false;                 // more than one entry: choose by keyword
    std::int32_t maxRecordLen = 0;      // longest recordLen (input buffer size)
    std::int32_t maxPatternLen = 0;     // longest patternLen (output buffer size)
    KeywordIndex index;                 // of a multi-pattern list that was read
};

// Reads and validates the pattern file at path. codeOption is j2sconv's
// (1 kana, 2 lower-case, other ASCII) and selects the JIS8 -> EBCDIC table
// for keywords. Opens, checks and closes the file itself. Returns 0 and
// fills list, or writes the log line and returns -12 (open/stat), -17 (empty
// file, no pattern line), -2 (malformed), -22 (read error) or -30 (memory);
// list is then empty. Patterns that the engine could not execute (several
// "." in a numeric run, packed runs over 33 digits or with a double quote
// inside, a keyword position beyond 32 bits) are refused here with -2.
std::int32_t readPatternFile(Log& log, const char* path, std::int32_t codeOption, PatternList& list);

// The entry for a record: in multi-pattern mode the first entry whose
// keyword matches (shift codes 0x28/0x38/0x29 before the keyword, where the
// pattern has no C or P at the same offset, move it one byte further when
// skipShiftCodes), else the last entry; in single mode the only entry.
// record/count: the record bytes read (never read beyond count; a keyword
// beyond them does not match). list must not be empty.
const PatternEntry& choosePattern(const PatternList& list, const std::uint8_t* record, std::size_t count,
                                  bool skipShiftCodes) noexcept;
// The same choice made the plain way, entry by entry; kept as the yardstick
// for the index in tests.
const PatternEntry& choosePatternReference(const PatternList& list, const std::uint8_t* record, std::size_t count,
                                           bool skipShiftCodes) noexcept;

}  // namespace vokl
