// The library's log made readable: it is written in Shift-JIS (Windows-31J)
// with CR LF line ends, while a terminal or a window wants UTF-8.
#pragma once

#include <string>
#include <vector>

namespace vok {

// Decodes a log to UTF-8. Every occurrence of one of the run's paths is
// copied through byte for byte: the library writes the paths into the log as
// it received them, which on Linux is already UTF-8. CR LF becomes LF (a lone
// CR stays). A byte that does not start a valid Shift-JIS character becomes
// U+FFFD and decoding goes on with the next byte.
std::string logToUtf8(const std::string& logBytes, const std::vector<std::string>& runPaths);

}  // namespace vok
