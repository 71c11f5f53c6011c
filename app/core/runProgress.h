// How far a conversion has got, as the window's progress bar shows it.
#pragma once

#include <cstdint>
#include <string>

namespace vok {

// Percent of the input done, 0 to 100; -1 when the input's size is not known.
int progressPercent(std::int64_t done, std::int64_t total);

// The speed and, when the size is known and the speed measured, the time
// left: "120.5 MB/s  残り 0:07"; without a size "12.0 MB  120.5 MB/s".
// seconds: time since the job started. A megabyte is 1,000,000 bytes.
std::string progressRate(std::int64_t done, std::int64_t total, double seconds);

}  // namespace vok
