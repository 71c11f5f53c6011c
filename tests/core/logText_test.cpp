// The library's Shift-JIS log shown as UTF-8, with the run's UTF-8 paths
// left as they are.
#include <gtest/gtest.h>

#include "logText.h"
#include "testutil.h"

namespace {

using testutil::logLines;

TEST(LogToUtf8, Decodes) {
    const std::string in = "/home/山田/データ/入力.txt", out = in + ".jef";  // UTF-8, as Linux hands paths over
    std::string manyBad, manyBadShown;  // a long log with many bad bytes loses nothing else
    for (int i = 0; i < 2000; ++i) manyBad += logLines("行") + "\xFD", manyBadShown += "行\xEF\xBF\xBD";
    // log: the bytes as the library wrote them.
    const struct { std::string log; std::vector<std::string> paths; std::string expected; } cases[] = {
        {"", {}, ""},
        {logLines("[") + in + logLines("]が見つかりません\n"), {in, out}, "[" + in + "]が見つかりません\n"},
        {logLines("(") + out + logLines(")の書き込みでエラーが発生しました(errno=x)\n"), {in, out},
         "(" + out + ")の書き込みでエラーが発生しました(errno=x)\n"},  // the longer path wins
        {logLines("シフトJIS->JEF 変換エラー(SJIS=0x877e,行=1,桁=2)\n漢字項目のみをﾄﾘﾐﾝｸﾞ\n"), {},
         "シフトJIS->JEF 変換エラー(SJIS=0x877e,行=1,桁=2)\n漢字項目のみをﾄﾘﾐﾝｸﾞ\n"},
        {"a\rb\r\n", {}, "a\rb\n"},  // a lone CR stays
        {"A\x80" "B\xFF" "C\xA0", {}, "A\xEF\xBF\xBD" "B\xEF\xBF\xBD" "C\xEF\xBF\xBD"},
        {"x\x82\r\ny", {}, "x\xEF\xBF\xBD\ny"},  // a lead byte without its trail
        {"x\x82", {}, "x\xEF\xBF\xBD"},
        {"\x85\x40" + logLines("漢字"), {}, "\xEF\xBF\xBD@漢字"},  // an unassigned pair keeps what follows
        {"\x81\x5B[x]", {"["}, "ー[x]"},  // a path matches only at a character's start
        {logLines("メモリ不足です\n"), {""}, "メモリ不足です\n"},
        // Trail bytes run 0x40 to 0xFC without 0x7F.
        {"\x81\x40\x81\x7E\x81\xFC\x81\x7F\x81\x3F", {}, "\xE3\x80\x80\xC3\x97\xE2\x97\xAF\xEF\xBF\xBD\x7F\xEF\xBF\xBD?"},
        {manyBad, {}, manyBadShown}};
    for (const auto& c : cases) EXPECT_EQ(vok::logToUtf8(c.log, c.paths), c.expected) << c.expected.substr(0, 40);
    // Only the listed paths are copied; anything else is read as Shift-JIS.
    EXPECT_NE(vok::logToUtf8(logLines("[") + in + logLines("]\n"), {}), "[" + in + "]\n");
}

}  // namespace
