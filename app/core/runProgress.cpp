#include "runProgress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vok {
namespace {

constexpr double kMegabyte = 1e6;
constexpr long kSecondsPerMinute = 60;

}  // namespace

int progressPercent(std::int64_t done, std::int64_t total) {
    if (total <= 0) return -1;
    return static_cast<int>(std::clamp<std::int64_t>(done * 100 / total, 0, 100));
}

std::string progressRate(std::int64_t done, std::int64_t total, double seconds) {
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
    char text[96];
    if (total <= 0) {
        std::snprintf(text, sizeof text, "%.1f MB  %.1f MB/s", static_cast<double>(done) / kMegabyte,
                      rate / kMegabyte);
        return text;
    }
    if (rate <= 0) {
        std::snprintf(text, sizeof text, "%.1f MB/s", 0.0);
        return text;
    }
    const long left = std::lround(static_cast<double>(std::max<std::int64_t>(total - done, 0)) / rate);
    std::snprintf(text, sizeof text, "%.1f MB/s  残り %ld:%02ld", rate / kMegabyte, left / kSecondsPerMinute,
                  left % kSecondsPerMinute);
    return text;
}

}  // namespace vok
