// The progress bar's percent and its speed and time left.
#include "runProgress.h"

#include <gtest/gtest.h>

namespace {

TEST(RunProgress, PercentSpeedAndTimeLeft) {
    const struct { std::int64_t done, total; double seconds; int percent; const char* rate; } cases[] = {
        {0, 1000, 0, 0, "0.0 MB/s"},
        {250'000'000, 1'000'000'000, 2, 25, "125.0 MB/s  残り 0:06"},
        {999, 1000, 1, 99, "0.0 MB/s  残り 0:00"},
        {1'000'000, 1'000'000, 0.5, 100, "2.0 MB/s  残り 0:00"},
        {1'000'000, 121'000'000, 1, 0, "1.0 MB/s  残り 2:00"},
        {12'000'000, -1, 0.1, -1, "12.0 MB  120.0 MB/s"},
        {5, 0, 0, -1, "0.0 MB  0.0 MB/s"},
        {2000, 1000, 1, 100, "0.0 MB/s  残り 0:00"},  // an input that grew
    };
    for (const auto& c : cases) {
        EXPECT_EQ(vok::progressPercent(c.done, c.total), c.percent) << c.done << '/' << c.total;
        EXPECT_EQ(vok::progressRate(c.done, c.total, c.seconds), c.rate) << c.done << '/' << c.total;
    }
}

}  // namespace
