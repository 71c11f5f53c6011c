// The desktop program's rules that need no window: readiness, proposed names, record sizes, trimming bits,
// versions, the command line, the record-length box, what the user is told for each result code, the library's
// log shown in UTF-8, and the progress bar's text.
#include "modVokCom.h"

#include <gtest/gtest.h>

#include <limits>

#include "logText.h"
#include "resultReport.h"
#include "runProgress.h"
#include "testutil.h"

namespace {

using testutil::logLines;

TEST(ChkReady, EachTabsRule) {
    EXPECT_TRUE(vok::ChkReady1("a.txt", "a.bin", 1) && vok::ChkReady1("a.txt", "a.bin", 9));
    EXPECT_FALSE(vok::ChkReady1("", "a.bin", 1) || vok::ChkReady1("a.txt", "", 1) || vok::ChkReady1("a.txt", "a.bin", 0));
    const struct { const char *jef, *sjs, *ptn; int usePattern, ebcdic, addCrLf, recSize; bool ready; } cases[] = {
        {"a.bin", "a.txt", "_********_", 0, 1, 0, 0, true}, {"", "a.txt", "_********_", 0, 1, 0, 0, false},
        {"a.bin", "", "_********_", 0, 1, 0, 0, false}, {"a.bin", "a.txt", "_********_", 0, 0, 0, 0, false},
        {"a.bin", "a.txt", "", 1, 3, 0, 0, false}, {"a.bin", "a.txt", "a.ptn", 1, 3, 0, 0, true},
        {"a.bin", "a.txt", "", 0, 3, 0, 0, true}, {"a.bin", "a.txt", "_********_", 0, 2, 1, 0, false},
        {"a.bin", "a.txt", "_********_", 0, 2, 1, 1, true}, {"a.bin", "a.txt", "_********_", 0, 2, 1, 32760, true},
        {"a.bin", "a.txt", "_********_", 0, 2, 1, 32761, false}, {"a.bin", "a.txt", "_********_", 0, 2, 1, -5, false},
        {"a.bin", "a.txt", "_********_", 0, 2, 0, 99999, true}};
    for (const auto& c : cases)
        EXPECT_EQ(vok::ChkReady2(c.jef, c.sjs, c.ptn, c.usePattern, c.ebcdic, c.addCrLf, c.recSize), c.ready) << c.ptn << c.recSize;
    EXPECT_TRUE(vok::ChkReady3("a.cbl", "a.ptn", false, 0) && vok::ChkReady3("a.cbl", "a.ptn", true, 2));
    EXPECT_FALSE(vok::ChkReady3("a.cbl", "a.ptn", true, 0) || vok::ChkReady3("", "a.ptn", false, 0) || vok::ChkReady3("a.cbl", "", false, 0));
}

TEST(ChgExt, ReplacesOrAppendsTheFileNamesExtension) {
    const std::pair<std::string, std::string> cases[] = {
        {"/data/a.txt", "/data/a.bin"}, {"/data/a.TXT", "/data/a.bin"}, {"/data/a.b.c", "/data/a.b.bin"}, {"/data/a", "/data/a.bin"},
        {"a.", "a.bin"}, {"", ".bin"}, {"/データ/売上.txt", "/データ/売上.bin"},
        {"/home/u/data.d/file", "/home/u/data.d/file.bin"}, {"/home/u/v1.2/", "/home/u/v1.2/.bin"}};
    for (const auto& [path, expected] : cases) EXPECT_EQ(vok::ChgExt(path, "bin"), expected) << path;
}

TEST(PtnRecSize, FromTheFirstPatternLine) {
    const std::pair<std::string, int> lines[] = {
        {"A:XXX,PPPPP", 6}, {"PPCC", 4}, {"PCP", 3}, {"Pp", 2}, {"CCC.CC", 3}, {"CC CC", 4}, {"xxnn", 4}, {"XX,NNNN,S9", 8},
        {"10:AB:XXXX", 4}, {"1:A:B:XX", 2}, {"  , ,", 0}, {"", 0}, {"\x8A\x58X", 1}, {"\xB1X", 1},
        {"\x81XX", 1}, {"\x9FXX", 1}, {"\xE0XX", 1}, {"\xFCXX", 1}, {"\xA0XX", 2}, {"\xFDXX", 2},  // lead bytes take their trail
        {std::string(32767, 'X'), 32767}, {std::string(32768, 'X'), 0}, {std::string(32768, 'C'), 0}, {std::string(70000, 'X'), 0}};
    for (const auto& [line, size] : lines) EXPECT_EQ(vok::ptnLineRecSize(line), size) << line.substr(0, 20);
    testutil::TempDir dir;
    const std::string ptn = dir.file("a.ptn");
    for (const auto& [text, size] : {std::pair{"# comment\r\n\r\nA:XXX,PPPPP\r\nXX\r\n", 6}, {"#only\n#comments\n", 0}, {"XXXX", 4}}) {
        testutil::writeFile(ptn, std::string(text));
        EXPECT_EQ(vok::PtnRecSize(ptn), size) << text;
    }
    EXPECT_EQ(vok::PtnRecSize(dir.file("missing.ptn")), 0);
    EXPECT_EQ(vok::PtnRecSize(dir.path().string()), 0);
}

TEST(Options, TrimBitsVersionsAndCommandLine) {
    const std::pair<vok::TrimBoxes, int> boxes[] = {{{false, true, true, true, true}, 0}, {{true, true, false, false, false}, 1},
                                                    {{true, false, true, true, false}, 6}, {{true, true, false, false, true}, 9},
                                                    {{true, false, false, false, true}, 0}};
    for (const auto& [b, bits] : boxes) EXPECT_EQ(vok::trimBits(b), bits);
    const struct { float value; const char* text; bool older; } versions[] = {
        {110.0f, "1.10", false}, {105.0f, "1.05", true}, {200.0f, "2.00", false}, {1000.0f, "10.00", false},
        {90.0f, "0.90", true}, {-110.0f, "-1.10", true}};
    for (const auto& v : versions) {
        EXPECT_EQ(vok::versionText(v.value), v.text);
        EXPECT_EQ(vok::versionOlder(v.text), v.older) << v.text;
    }
    EXPECT_EQ(vok::versionMessage("1.05", vok::VersionTail::AskContinue),
              "vokl.dll とバージョンが異なります\n\n     VOK.EXE     : 1.10\n     VOKL.DLL    : 1.05\n\nこのまま処理を続けますか ?");
    EXPECT_TRUE(vok::versionMessage("0.90", vok::VersionTail::NeedNewer).ends_with("この機能をお使いになる場合は1.10以上のバージョンをご利用下さい"));
    EXPECT_TRUE(vok::versionMessage("2.00", vok::VersionTail::NeedSame).ends_with("この機能をお使いになる場合は同じバージョンのDLLをご利用下さい"));
    using T = vok::CommandLineTab;
    for (const auto& [text, tab] : {std::pair{"/a/b.txt", T::SjisToJef}, {"B.TXT.bin", T::SjisToJef}, {"/a b/c.BIN", T::JefToSjis},
                                    {"c.bin", T::JefToSjis}, {"c.ptn", T::None}, {"", T::None}})
        EXPECT_EQ(vok::classifyCommandLine(text), tab) << text;
}

TEST(RecSizeBox, ReadsWhatTheBoxHolds) {
    using K = vok::RecSizeText::Kind;
    const struct { const char* text; K kind; int value; } cases[] = {
        {"", K::NotNumber, 0}, {"abc", K::NotNumber, 0}, {"12a", K::NotNumber, 0}, {".", K::NotNumber, 0},
        {"80", K::Number, 80}, {" 80 ", K::Number, 80}, {"-5", K::Number, -5}, {"2.5", K::Number, 2}, {"3.5", K::Number, 4},
        {"32760", K::Number, 32760}, {"2147483647", K::Number, 2147483647}, {"2147483648", K::Overflow, 0},
        {"-2147483648", K::Number, std::numeric_limits<std::int32_t>::min()}, {"-2147483649", K::Overflow, 0},
        {"99999999999999999999999999", K::Overflow, 0}};
    for (const auto& c : cases) {
        const vok::RecSizeText r = vok::readRecSize(c.text);
        EXPECT_EQ(r.kind, c.kind) << c.text;
        EXPECT_EQ(r.value, c.value) << c.text;
    }
    for (const auto& [text, n] : {std::pair{"", 0}, {"80", 80}, {"12ab", 12}, {"x12", 0}, {"99999999999", std::numeric_limits<std::int32_t>::max()}})
        EXPECT_EQ(vok::leadingNumber(text), n) << text;
}

// Failure texts by code, and the tabs whose export can return each; any
// other code is a program error there.
TEST(ResultReport, TextForEveryCodeOnEveryTab) {
    using vok::Tab;
    const struct { int code; unsigned tabs; /* bit 1: tab 1 ... */ const char* text; } failures[] = {
        {-1, 6, "一部のコードで変換エラーが発生しました"}, {-2, 4, "レコードパターンの記述に誤りがあります"}, {-3, 8, "コピー句が解析できません"},
        {-4, 8, "パターンファイルの作成が終了しました(ただし未サポート項目が含まれています)"}, {-10, 6, "シフトJISファイルがオープン出来ません"},
        {-11, 6, "JEFファイルがオープン出来ません"}, {-12, 12, "パターンファイルがオープン出来ません"}, {-13, 8, "コピー句ファイルがオープン出来ません"},
        {-15, 2, "シフトJISファイルにデータがありません"}, {-16, 4, "JEFファイルにデータがありません"}, {-17, 4, "パターンファイルにデータがありません"},
        {-18, 8, "コピー句ファイルにデータがありません"}, {-20, 2, "シフトJISファイルの読み込みが出来ません"}, {-21, 4, "JEFファイルの読み込みが出来ません"},
        {-22, 4, "パターンファイルの読み込みが出来ません"}, {-25, 4, "シフトJISファイルへの書き込みが出来ません"},
        {-26, 2, "JEFファイルへの書き込みが出来ません"}, {-27, 8, "パターンファイルへの書き込みが出来ません"}, {-30, 14, "メモリが不足しています"},
        {-31, 14, "作業用ファイルがオープン出来ません"}, {-5, 0, ""}, {-99, 0, ""}};
    for (Tab tab : {Tab::SjisToJef, Tab::JefToSjis, Tab::Pattern}) {
        for (const auto& f : failures) {
            const vok::ResultReport r = vok::resultReport(tab, f.code);
            const bool listed = (f.tabs >> static_cast<int>(tab)) & 1;
            EXPECT_EQ(r.text, listed ? f.text : "プログラムエラーが発生しました(" + std::to_string(f.code) + ")") << static_cast<int>(tab) << " " << f.code;
            EXPECT_TRUE(r.showLog);
        }
        const bool pattern = tab == Tab::Pattern;
        EXPECT_EQ(vok::resultReport(tab, 7).text, pattern ? "パターンファイルの作成が終了しました(レコードサイズ=7)" : "コード変換が終了しました(レコード=7件)");
        EXPECT_EQ(vok::resultReport(tab, 0).text, pattern ? "プログラムエラーが発生しました(0)" : "コード変換が終了しました");
        EXPECT_FALSE(vok::resultReport(tab, 1).showLog);
    }
}

// The library's Shift-JIS log shown in UTF-8, with the run's UTF-8 paths left as they are.
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
        {"\x81@x", {"@x"}, "\xE3\x80\x80x"}, {"\x81~x", {"~x"}, "\xC3\x97x"}, {"\x81\x7F山", {"\x7F山"}, "\xEF\xBF\xBD\x7F山"},
        {logLines("メモリ不足です\n"), {""}, "メモリ不足です\n"},
        // Trail bytes run 0x40 to 0xFC without 0x7F.
        {"\x81\x40\x81\x7E\x81\xFC\x81\x7F\x81\x3F", {}, "\xE3\x80\x80\xC3\x97\xE2\x97\xAF\xEF\xBF\xBD\x7F\xEF\xBF\xBD?"},
        {manyBad, {}, manyBadShown}};
    for (const auto& c : cases) EXPECT_EQ(vok::logToUtf8(c.log, c.paths), c.expected) << c.expected.substr(0, 40);
    // Only the listed paths are copied; anything else is read as Shift-JIS.
    EXPECT_NE(vok::logToUtf8(logLines("[") + in + logLines("]\n"), {}), "[" + in + "]\n");
}

// The progress bar's percent and its speed and time left.
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
