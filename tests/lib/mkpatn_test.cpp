// mkpatn: copybooks in, pattern files, record sizes and result codes out.
#include <gtest/gtest.h>

#include <string>

#include "mkpatn.h"
#include "testutil.h"
#include "vokl.h"

namespace {

constexpr const char* kNoFile = "<no file>";

std::string tooLong(const std::string& item) { return "[解析エラー]レコードパターンが32760バイト(改行を含む)を超えます(項目=" + item + ")\n"; }
std::string sync(const std::string& item) { return "[未サポート]SYNCHRONIZED句の項目[" + item + "]の前に必要な遊びバイトは出力していません\n"; }
std::string binary(const std::string& text) { return "[未サポート]COMP(BINARY)は現在サポートしていません\n->" + text + "\n"; }
const std::string kOdo = "[未サポート]OCCURS DEPENDING ONは最大の反復回数で出力しました\n->";

const std::string kKinds =
    "01 R.\n05 A PIC X(3).\n05 B PIC A(2).\n05 C PIC N(2).\n05 D PIC S9(3)V99 COMP-3.\n05 E PIC S99V9.\n05 F PIC 99.\n";

std::string repeated(const std::string& text, int times) {
    std::string s;
    while (times-- > 0) s += text;
    return s;
}

// pattern: the pattern file's text, kNoFile when there is none; log: UTF-8.
struct Case { std::string copybook; std::int32_t separator, quote; std::string pattern; std::int32_t rc; std::string log = ""; };

TEST(Mkpatn, PatternLinesAndRecordSize) {
    const Case cases[] = {
        {kKinds, 1, 0, "XXX,AA,NNNN,CCC.CC,SS.S,99\r\n", 17},
        {kKinds, 2, 1, "\"XXX\" \"AA\" \"NNNN\" CCC.CC SS.S 99\r\n", 17},
        {kKinds, 7, 2, "XXXAANNNNCCC.CCSS.S99\r\n", 17},
        {"01 R.\n05 T PIC X(2) OCCURS 3.\n05 G OCCURS 2.\n10 H OCCURS 2.\n15 H1 PIC A.\n10 I PIC 9.\n05 J PIC X.\n", 1, 0,
         "XX,XX,XX,A,A,9,A,A,9,X\r\n", 13},
        {"01 R.\n05 A PIC X(4).\n05 B REDEFINES A.\n10 B1 PIC 9(2).\n10 B2 PIC X(2).\n05 C PIC X.\n", 1, 0,
         "XXXX,X\r\n99,XX,X\r\n", 5},
        {"01 R.\n05 A PIC X(4).\n05 B REDEFINES A.\n10 B1 PIC 9(3).\n05 G OCCURS 2.\n10 G1 PIC X.\n", 1, 0,
         "XXXX,X,X\r\n999,X,X\r\n", 5},
        {"01 R.\n05 G OCCURS 2.\n10 G1 PIC X(2).\n10 G2 REDEFINES G1 PIC 99.\n", 1, 0, "XX,XX\r\n99,99\r\n", 4},
        {"01 R.\n05 A.\n10 A1 PIC X.\n10 A2 PIC X.\n05 B REDEFINES A PIC N.\n05 C PIC 9.\n", 1, 0, "X,X,9\r\nNN,9\r\n", 3},
        {"01 R.\n05 A PIC S9(4) COMP.\n05 B PIC X(2).\n05 C PIC 9(12) BINARY.\n", 1, 0, "XX,XX,XXXXXXXX\r\n", -4,
         binary("05 A PIC S9(4) COMP.") + binary("05 C PIC 9(12) BINARY.")},
        // A picture with nothing before its point; a chain of REDEFINES keeps only its first item in the first line.
        {"01 R.\n05 A PIC V99.\n05 B PIC SV9 COMP-3.\n05 C PIC X(4).\n05 D REDEFINES C PIC 9(4).\n05 E REDEFINES D PIC XX.\n",
         1, 0, ".99,.C,XXXX\r\n.99,.C,9999,XX\r\n", 9},
        {"01 R.\n05 N PIC 9.\n05 T PIC X(2) OCCURS 1 TO 3 DEPENDING ON N.\n", 1, 0, "9,XX,XX,XX\r\n", -4,
         kOdo + "05 T PIC X(2) OCCURS 1 TO 3 DEPENDING ON N.\n"},
        // SYNCHRONIZED items off their boundary, in the record and in the later repetitions of a group.
        {"01 R.\n05 A PIC S9(4) COMP-3.\n05 B PIC S9(4) COMP SYNC.\n05 F PIC X(3).\n05 E PIC S9(4) COMP SYNC OCCURS 2.\n"
         "05 G OCCURS 2.\n10 C PIC X(4).\n10 D PIC S9(9) COMP SYNC.\n10 H PIC X.\n05 K OCCURS 1.\n10 K1 PIC S9(4) COMP SYNC.\n"
         "10 K2 PIC X.\n",
         1, 0, "CCCC,XX,XXX,XX,XX,XXXX,XXXX,X,XXXX,XXXX,X,XX,X\r\n", -4,
         binary("05 B PIC S9(4) COMP SYNC.") + binary("05 E PIC S9(4) COMP SYNC OCCURS 2.") + binary("10 D PIC S9(9) COMP SYNC.") +
             binary("10 K1 PIC S9(4) COMP SYNC.") + sync("B") + sync("D")},
        {"01 R.\n", 1, 0, "\r\n", 0}, {"* ONLY A COMMENT\n", 1, 0, "\r\n", 0},
        // Items after a level below the first one's used to be left out.
        {"77 K PIC 9(2).\n01 R.\n05 A PIC X.\n05 G OCCURS 2.\n10 G1 PIC A.\n", 1, 0, "99,X,A,A\r\n", 5},
        {"01 R.\n05 A PIC X.\n05 G OCCURS 5.\n", 1, 0, "X\r\n", 1},
        // A huge repeat of a group that writes nothing must not spin.
        {"01 R.\n05 G OCCURS 2147483647.\n10 H OCCURS 2147483647.\n15 F VALUE 1.\n05 A PIC X.\n", 1, 0, "X\r\n", 1},
        // A line that would not fit the line buffer used to be written past it.
        {"01 R.\n05 A PIC X(32759).\n", 0, 0, repeated("X", 32759) + "\r\n", 32759},
        {"01 R.\n05 A PIC X(32760).\n", 0, 0, kNoFile, -3, tooLong("A")},
        {"01 R.\n05 A PIC X(32757).\n05 B PIC 9.\n", 1, 0, repeated("X", 32757) + ",9\r\n", 32758},
        {"01 R.\n05 A PIC X(32758).\n05 B PIC 9.\n", 1, 0, kNoFile, -3, tooLong("B")},
        {"01 R.\n05 A PIC X(32757).\n", 1, 1, std::string("\"").append(repeated("X", 32757)) + "\"\r\n", 32757},
        {"01 R.\n05 A PIC X(32758).\n", 1, 1, kNoFile, -3, tooLong("A")},
        {"01 R.\n05 A PIC N(16380).\n", 0, 0, kNoFile, -3, tooLong("A")},
        {"01 R.\n05 A PIC N(2147483647).\n", 1, 0, kNoFile, -3, tooLong("A")},
        {"01 R.\n05 A PIC 9(2)V9(2147483647).\n", 0, 0, kNoFile, -3, tooLong("A")},
        {"01 R.\n05 A PIC X OCCURS 16380.\n", 1, 0, repeated("X,", 16379) + "X\r\n", 16380},
        {"01 R.\n05 A PIC X OCCURS 16381.\n", 1, 0, kNoFile, -3, tooLong("A")},
        {"01 R.\n05 A PIC X(2) OCCURS 2147483647.\n", 1, 0, kNoFile, -3, tooLong("A")},
        {"01 R.\n05 G OCCURS 2000000000.\n10 A PIC X.\n", 1, 0, kNoFile, -3, tooLong("G")},
        {"01 R.\n05 A PIC X.\n05 B REDEFINES A PIC X(40000).\n", 1, 0, kNoFile, -3, tooLong("B")},
        // Repeated groups chained one inside the next used to recurse once per group.
        {"01 R.\n" + repeated("05 G OCCURS 2.\n", 200000) + "05 A PIC X.\n", 0, 0, kNoFile, -3, tooLong("G")}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.copybook.substr(0, 80) + " separator " + std::to_string(c.separator));
        testutil::TempDir dir;
        const std::string cpy = dir.file("rec.cpy"), ptn = dir.file("rec.ptn"), log = dir.file("log.txt");
        testutil::writeFile(cpy, c.copybook);
        EXPECT_EQ(mkpatn(1, c.separator, c.quote, cpy.c_str(), ptn.c_str(), log.c_str()), c.rc);
        EXPECT_EQ(testutil::exists(ptn) ? testutil::readText(ptn) : kNoFile, c.pattern);
        EXPECT_EQ(testutil::readText(log), testutil::logLines(c.log));
    }
}

TEST(Mkpatn, FilesAndTheirFailures) {
    testutil::TempDir dir;
    const std::string folder = dir.path().string(), cpy = dir.file("rec.cpy"), empty = dir.file("empty.cpy");
    const std::string bad = dir.file("bad.cpy"), ptn = dir.file("rec.ptn"), log = dir.file("log.txt");
    testutil::writeFile(cpy, "01 R.\n05 A PIC X(3).\n05 B PIC 9(2).\n");
    testutil::writeFile(empty, "");
    testutil::writeFile(bad, "01 R.\n05 A PIC X.\n05 B PIC Q.\n");
    testutil::writeFile(ptn, std::string(1000, 'Z'));
    const struct { std::string copybook, pattern; std::int32_t rc; std::string log; } cases[] = {
        {cpy, ptn, 5, ""},  // an existing pattern file is truncated, and left alone on every failure
        {bad, ptn, -3, "[解析エラー]編集形式(属性)に[9],[X],[A],[N]以外が定義されています\n->05 B PIC Q.\n"},
        {folder + "/no.cpy", ptn, -13, "[" + folder + "/no.cpy]が見つかりません\n"},
        {folder, ptn, -13, folder + "がオープンできません\n"},
        {empty, ptn, -18, "[" + empty + "]のファイルサイズが 0 です\n"},
        {cpy, folder + "/no/rec.ptn", -12, folder + "/no/rec.ptnがオープンできません\n"},
        {cpy, "/dev/full", -27, "/dev/fullの出力に失敗しました\n"}};
    for (const auto& c : cases) {
        EXPECT_EQ(mkpatn(1, 1, 0, c.copybook.c_str(), c.pattern.c_str(), log.c_str()), c.rc) << c.log;
        EXPECT_EQ(testutil::readText(log), testutil::logLines(c.log));
        EXPECT_EQ(testutil::readText(ptn), "XXX,99\r\n");
    }
    EXPECT_EQ(testutil::readText(cpy), "01 R.\n05 A PIC X(3).\n05 B PIC 9(2).\n");
    EXPECT_EQ(mkpatn(0, 1, 0, nullptr, ptn.c_str(), nullptr), -13);
}

TEST(RecordSize, PackedRunsCloseOnAnythingButCAndPoint) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"", 0}, {"CCC.CC", 3}, {"CCCC", 3}, {"C,C", 2}, {"\"XX\",NNNN,S9", 8}, {"CCCC\"CC", 5}, {"A C", 2}};
    for (const auto& [line, size] : cases) EXPECT_EQ(vokl::recordSize(line), size) << line;
}

}  // namespace
