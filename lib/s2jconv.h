// Shift-JIS text file -> JEF host file: the conversion behind the export
// s2jconv, reachable here so that tests can hand it an input that fails.
#pragma once

#include <cstddef>
#include <cstdint>

#include "general.h"

namespace vokl {

struct S2jRequest {
    std::int32_t codeOption = 4;
    std::int32_t shiftCodes = 0;  // exactly 1 frames double-byte runs
    const char* inputPath = nullptr;   // as shown in the log
    const char* outputPath = nullptr;
    bool utf8 = false;                 // the text is UTF-8, not Shift-JIS
    Progress* progress = nullptr;
    bool vectors = true;               // false: the plain walk only, even where vector code can run
};

// Converts the opened input into the opened output and closes the output.
// inputSize: the size the input's status gave (negative: not known); an
// input that turns out to hold more or fewer bytes is a read failure.
// Returns the line-feed count, -1 or a failure code.
std::int32_t convertSjisToJef(Log& log, ByteSource& input, std::int64_t inputSize, File& output,
                              const S2jRequest& request);

}  // namespace vokl
