// The library's Shift-JIS log shown as UTF-8, with the run's UTF-8 paths
// left as they are.
#include <gtest/gtest.h>

#include "logText.h"
#include "testutil.h"

namespace {

using testutil::logLines;

const std::string kFolder = "/home/山田/データ";  // UTF-8, as Linux hands paths over

struct LogCase {
    const char* name;
    std::string log;  // bytes as the library wrote them
    std::vector<std::string> paths;
    std::string expected;
};

void PrintTo(const LogCase& c, std::ostream* os) { *os << c.name; }

class LogToUtf8 : public testing::TestWithParam<LogCase> {};

TEST_P(LogToUtf8, Decodes) {
    const LogCase& c = GetParam();
    EXPECT_EQ(vok::logToUtf8(c.log, c.paths), c.expected);
}

const std::string kIn = kFolder + "/入力.txt";
const std::string kOut = kFolder + "/入力.txt.jef";

INSTANTIATE_TEST_SUITE_P(
    Logs, LogToUtf8,
    testing::Values(
        LogCase{"Empty", "", {}, ""},
        LogCase{"MessageWithJapanesePath", logLines("[") + kIn + logLines("]が見つかりません\n"), {kIn, kOut},
                "[" + kIn + "]が見つかりません\n"},
        LogCase{"LongerPathWins", logLines("(") + kOut + logLines(")の書き込みでエラーが発生しました(errno=x)\n"),
                {kIn, kOut}, "(" + kOut + ")の書き込みでエラーが発生しました(errno=x)\n"},
        LogCase{"SeveralLinesAndHalfWidthKana",
                logLines("シフトJIS->JEF 変換エラー(SJIS=0x877e,行=1,桁=2)\n漢字項目のみをﾄﾘﾐﾝｸﾞ\n"), {},
                "シフトJIS->JEF 変換エラー(SJIS=0x877e,行=1,桁=2)\n漢字項目のみをﾄﾘﾐﾝｸﾞ\n"},
        LogCase{"LoneCarriageReturnStays", "a\rb\r\n", {}, "a\rb\n"},
        LogCase{"BadBytesBecomeReplacementOnly", "A\x80" "B\xFF" "C\xA0", {}, "A\xEF\xBF\xBD" "B\xEF\xBF\xBD" "C\xEF\xBF\xBD"},
        LogCase{"LeadByteWithoutTrail", std::string("x\x82\r\ny"), {}, "x\xEF\xBF\xBD\ny"},
        LogCase{"LeadByteAtEnd", std::string("x\x82"), {}, "x\xEF\xBF\xBD"},
        LogCase{"UnassignedPairKeepsWhatFollows", std::string("\x85\x40") + logLines("漢字"), {},
                "\xEF\xBF\xBD@漢字"},
        LogCase{"PathMatchesOnlyAtCharacterStart",
                // 0x81 0x5B is one character; a "path" "[" must not split it.
                std::string("\x81\x5B[x]"), {"["}, "ー[x]"},
        LogCase{"EmptyPathIgnored", logLines("メモリ不足です\n"), {""}, "メモリ不足です\n"},
        // Trail bytes run 0x40 to 0xFC without 0x7F.
        LogCase{"TrailByteBounds", std::string("\x81\x40\x81\x7E\x81\xFC\x81\x7F\x81\x3F"), {},
                "\xE3\x80\x80\xC3\x97\xE2\x97\xAF\xEF\xBF\xBD\x7F\xEF\xBF\xBD?"}),
    [](const testing::TestParamInfo<LogCase>& p) { return std::string(p.param.name); });

TEST(LogToUtf8Paths, UnlistedUtf8PathIsNotPassedThrough) {
    // Only the listed paths are copied; anything else is read as Shift-JIS.
    const std::string log = logLines("[") + kIn + logLines("]\n");
    EXPECT_NE(vok::logToUtf8(log, {}), "[" + kIn + "]\n");
    EXPECT_EQ(vok::logToUtf8(log, {kIn}), "[" + kIn + "]\n");
}

TEST(LogToUtf8Paths, LongLogWithManyBadBytesLosesNothingElse) {
    std::string log;
    std::string expected;
    for (int i = 0; i < 2000; ++i) {
        log += logLines("行") + "\xFD";
        expected += "行\xEF\xBF\xBD";
    }
    EXPECT_EQ(vok::logToUtf8(log, {}), expected);
}

}  // namespace
