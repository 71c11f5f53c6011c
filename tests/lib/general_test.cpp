// The frame every export shares: the log, the file checks in each export's
// order, and what reaches the C boundary when a job throws.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <stdexcept>

#include "general.h"
#include "messages.h"
#include "testutil.h"

namespace {

using testutil::bytes;
using testutil::logLines;
using testutil::TempDir;

class Frame : public testing::Test {
protected:
    TempDir dir;
    std::string in = dir.file("in"), out = dir.file("out"), log = dir.file("vok.log");
};

TEST_F(Frame, LogThatCannotBeCreatedStopsBeforeTheJob) {
    bool ran = false;
    const std::string badLog = dir.file("missing/vok.log");
    EXPECT_EQ(vokl::runExport(1, badLog.c_str(), [&](vokl::Log&) { return ran = true, 0; }), VOKL_ELOG_CREATE);
    EXPECT_FALSE(ran);
    EXPECT_EQ(vokl::runExport(1, nullptr, [&](vokl::Log&) { return ran = true, 0; }), VOKL_ELOG_CREATE);
    EXPECT_FALSE(ran);
}

TEST_F(Frame, LogSwitchZeroRunsTheJobWithoutALog) {
    const std::string badLog = dir.file("missing/vok.log");
    const std::int32_t rc = vokl::runExport(0, badLog.c_str(), [](vokl::Log& l) {
        l.line(vokl::msg::kMsgNoMemory);
        return l.isOpen() ? 1 : 7;
    });
    EXPECT_EQ(rc, 7);
    EXPECT_FALSE(testutil::exists(badLog));
}

TEST_F(Frame, ExhaustedMemoryBecomesMinus30WithItsLine) {
    EXPECT_EQ(vokl::runExport(1, log.c_str(), [](vokl::Log&) -> std::int32_t { throw std::bad_alloc(); }),
              VOKL_ENOMEM);
    EXPECT_EQ(testutil::readText(log), logLines("メモリ不足です\n"));
}

TEST_F(Frame, NoOtherExceptionCrossesTheBoundary) {
    EXPECT_EQ(vokl::runExport(1, log.c_str(), [](vokl::Log&) -> std::int32_t { throw std::runtime_error("x"); }),
              VOKL_ENOMEM);
}

TEST_F(Frame, LogLinesEndInCrLfAndPathsStayLiteral) {
    {
        vokl::Log l;
        testutil::writeFile(log, std::string("old contents that must go"));
        ASSERT_TRUE(l.create(log.c_str()));
        l.line(vokl::msg::kMsgConvLogWritten, "C:\\100%d%s.txt");
    }
    EXPECT_EQ(testutil::readText(log), logLines("\n\nC:\\100%d%s.txtに変換エラーのログを出力しました。\n"));
}

TEST_F(Frame, ShownPathOfNullIsEmpty) {
    EXPECT_STREQ(vokl::shownPath(nullptr), "");
    EXPECT_EQ(vokl::systemErrorText(ENOENT), std::strerror(ENOENT));
}

// Each export's order of checks decides what an early failure leaves behind.
struct CheckCase {
    const char* name;
    bool s2j;                 // kS2jChecks, else kJ2sChecks
    const char* inputBytes;   // nullptr: no input file
    bool outputFolderExists;
    std::int32_t code;
    bool outputLeft;
    const char* log;          // %IN% and %OUT% stand for the paths
};

void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.name; }

class FrameChecks : public testing::TestWithParam<CheckCase> {};

std::string withPaths(std::string text, const std::string& in, const std::string& out) {
    for (auto [key, value] : {std::pair<std::string, std::string>{"%IN%", in}, {"%OUT%", out}}) {
        for (std::size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), value);
    }
    return text;
}

TEST_P(FrameChecks, CodeLogAndOutput) {
    const CheckCase& c = GetParam();
    TempDir dir;
    const std::string in = dir.file("in"), log = dir.file("vok.log");
    const std::string out = c.outputFolderExists ? dir.file("out") : dir.file("missing/out");
    if (c.inputBytes) testutil::writeFile(in, std::string(c.inputBytes));
    vokl::Log l;
    ASSERT_TRUE(l.create(log.c_str()));
    vokl::CheckedFiles files;
    EXPECT_EQ(vokl::openAndCheck(l, in.c_str(), out.c_str(), c.s2j ? vokl::kS2jChecks : vokl::kJ2sChecks, files),
              c.code);
    files.output.close();
    l.close();
    EXPECT_EQ(testutil::exists(out), c.outputLeft);
    EXPECT_EQ(testutil::readText(log), logLines(withPaths(c.log, in, out)));
}

INSTANTIATE_TEST_SUITE_P(
    Orders, FrameChecks,
    testing::Values(CheckCase{"S2jMissingInput", true, nullptr, true, -10, false, "[%IN%]が見つかりません\n"},
                    CheckCase{"S2jEmptyInputCreatesOutput", true, "", true, -15, true,
                              "[%IN%]のファイルサイズが 0 です\n"},
                    CheckCase{"S2jOutputFolderMissing", true, "A", false, -11, false,
                              "[%OUT%]のオープンに失敗しました(原因=No such file or directory)\n"},
                    CheckCase{"S2jReady", true, "A", true, 0, true, ""},
                    CheckCase{"J2sMissingInput", false, nullptr, true, -11, false, "[%IN%]が見つかりません\n"},
                    CheckCase{"J2sEmptyInputLeavesNoOutput", false, "", true, -16, false,
                              "[%IN%]のファイルサイズが 0 です\n"},
                    CheckCase{"J2sOutputFolderMissing", false, "A", false, -10, false,
                              "[%OUT%]のオープンに失敗しました(原因=No such file or directory)\n"},
                    CheckCase{"J2sReady", false, "A", true, 0, true, ""}),
    [](const testing::TestParamInfo<CheckCase>& p) { return std::string(p.param.name); });

TEST_F(Frame, ReadHandsOutBytesThenZero) {
    testutil::writeFile(in, std::string("abc"));
    vokl::File f;
    ASSERT_TRUE(f.open(in.c_str(), vokl::File::Mode::ReadBinary));
    char buffer[8];
    EXPECT_EQ(f.read(buffer, 2), 2);
    EXPECT_TRUE(f.seekBy(-1));
    EXPECT_EQ(f.read(buffer, 8), 2);
    EXPECT_EQ(std::string(buffer, 2), "bc");
    EXPECT_EQ(f.read(buffer, 8), 0);
}

TEST_F(Frame, CloseReportsBufferedBytesThatCannotBeWritten) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    vokl::File f;
    ASSERT_TRUE(f.open("/dev/full", vokl::File::Mode::WriteBinary));
    EXPECT_TRUE(f.write("x", 1)) << "one byte stays in the buffer";
    EXPECT_FALSE(f.close());
    EXPECT_EQ(f.lastError(), ENOSPC);
}

}  // namespace
