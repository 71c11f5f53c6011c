// The frame every export shares: the log, the file checks in each export's
// order, and what reaches the C boundary when a job throws.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "general.h"
#include "testutil.h"

namespace {

using testutil::logLines;
using testutil::TempDir;

TEST(Frame, LogAndExceptionsAtTheBoundary) {
    TempDir dir;
    const std::string log = dir.file("vok.log"), badLog = dir.file("missing/vok.log");
    int ran = 0;
    auto job = [&](vokl::Log& l) { ++ran; l.line("x\n"); return l.isOpen() ? 1 : 7; };
    EXPECT_EQ(vokl::runExport(1, badLog.c_str(), job), VOKL_ELOG_CREATE);
    EXPECT_EQ(vokl::runExport(1, nullptr, job), VOKL_ELOG_CREATE);
    EXPECT_EQ(ran, 0) << "no job without its log";
    EXPECT_EQ(vokl::runExport(0, badLog.c_str(), job), 7) << "switch 0: no log, the job still runs";
    EXPECT_FALSE(testutil::exists(badLog));
    EXPECT_EQ(vokl::runExport(1, log.c_str(), [](vokl::Log&) -> std::int32_t { throw std::bad_alloc(); }), VOKL_ENOMEM);
    EXPECT_EQ(testutil::readText(log), logLines("メモリ不足です\n"));
    EXPECT_EQ(vokl::runExport(1, log.c_str(), [](vokl::Log&) -> std::int32_t { throw std::runtime_error("x"); }), VOKL_ENOMEM);
}

// Each export's order of checks decides what an early failure leaves behind.
struct CheckCase {
    bool s2j;                // kS2jChecks, else kJ2sChecks
    const char* inputBytes;  // nullptr: no input file
    bool outputFolderExists;
    std::int32_t code;
    bool outputLeft;
    const char* log;  // %IN% and %OUT% stand for the paths
};

class FrameChecks : public testing::TestWithParam<CheckCase> {};

TEST_P(FrameChecks, CodeLogAndOutput) {
    const CheckCase& c = GetParam();
    TempDir dir;
    const std::string in = dir.file("in"), log = dir.file("vok.log");
    const std::string out = c.outputFolderExists ? dir.file("out") : dir.file("missing/out");
    if (c.inputBytes) testutil::writeFile(in, std::string(c.inputBytes));
    vokl::Log l;
    ASSERT_TRUE(l.create(log.c_str()));
    vokl::CheckedFiles files;
    EXPECT_EQ(vokl::openAndCheck(l, in.c_str(), out.c_str(), c.s2j ? vokl::kS2jChecks : vokl::kJ2sChecks, files), c.code);
    files.output.close();
    l.close();
    EXPECT_EQ(testutil::exists(out), c.outputLeft);
    EXPECT_EQ(testutil::utf8(testutil::readText(log)), testutil::replaceAll(c.log, {{"%IN%", in}, {"%OUT%", out}, {"\n", "\r\n"}}));
}

INSTANTIATE_TEST_SUITE_P(Orders, FrameChecks, testing::Values(
    CheckCase{true, nullptr, true, -10, false, "[%IN%]が見つかりません\n"},
    CheckCase{true, "", true, -15, true, "[%IN%]のファイルサイズが 0 です\n"},
    CheckCase{true, "A", false, -11, false, "[%OUT%]のオープンに失敗しました(原因=No such file or directory)\n"},
    CheckCase{true, "A", true, 0, true, ""},
    CheckCase{false, nullptr, true, -11, false, "[%IN%]が見つかりません\n"},
    CheckCase{false, "", true, -16, false, "[%IN%]のファイルサイズが 0 です\n"},
    CheckCase{false, "A", false, -10, false, "[%OUT%]のオープンに失敗しました(原因=No such file or directory)\n"},
    CheckCase{false, "A", true, 0, true, ""}));

}  // namespace
