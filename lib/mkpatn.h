// Record pattern lines from copybook items, and the mkpatn job around them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "copybook.h"
#include "general.h"

namespace vokl {

// A pattern line, its line feed included, never exceeds this many bytes.
inline constexpr std::size_t kPatternLineCapacity = 32760;

struct PatternOptions {
    std::int32_t separator = 0;  // 1 comma, 2 blank, other none
    std::int32_t quote = 0;      // exactly 1 quotes X, A and N fields
};

// The lines to write, without their line ends. second is empty when the
// first walk left nothing out (hasSecond false).
struct PatternLines {
    std::string first;
    std::string second;
    bool hasSecond = false;
};

// Walks the items (marks already resolved) into one or two lines. Returns 0,
// or logs and returns -3 when a line would not fit kPatternLineCapacity.
std::int32_t buildPatternLines(Log& log, const CopyItems& items, const PatternOptions& options,
                               PatternLines& lines);

// Record bytes a pattern line (without its line end) describes; a run of C
// is a packed number of run / 2 + 1 bytes.
std::int32_t recordSize(std::string_view line);

// The whole job after the log is open. source, when given, replaces the
// copybook file's bytes (the status checks still look at the file).
std::int32_t makePattern(Log& log, const PatternOptions& options, const char* copybookPath, const char* patternPath,
                         const ReadBytes* source = nullptr);

}  // namespace vokl
