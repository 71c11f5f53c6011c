// mkpatn: copybooks in, pattern lines and record sizes out, and every
// result code it can give.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "messages.h"
#include "mkpatn.h"
#include "testutil.h"
#include "vokl.h"

namespace {

constexpr const char* kNoFile = "<no file>";

struct Outcome {
    std::int32_t rc = 0;
    std::string pattern = kNoFile;
    std::string log;  // Shift-JIS, CR LF
};

Outcome runCopybook(const std::string& copybook, std::int32_t separator, std::int32_t quote) {
    testutil::TempDir dir;
    std::string cpy = dir.file("rec.cpy");
    std::string ptn = dir.file("rec.ptn");
    std::string log = dir.file("log.txt");
    testutil::writeFile(cpy, copybook);
    Outcome r;
    r.rc = mkpatn(1, separator, quote, cpy.c_str(), ptn.c_str(), log.c_str());
    if (testutil::exists(ptn)) r.pattern = testutil::readText(ptn);
    r.log = testutil::readText(log);
    return r;
}

struct PatternCase {
    const char* name;
    std::string copybook;
    std::int32_t separator;
    std::int32_t quote;
    std::string pattern;  // file content
    std::int32_t rc;
};

template <class Case>
std::string caseName(const ::testing::TestParamInfo<Case>& param) {
    return param.param.name;
}

class MkpatnLines : public ::testing::TestWithParam<PatternCase> {};

TEST_P(MkpatnLines, WritesPattern) {
    const PatternCase& c = GetParam();
    Outcome r = runCopybook(c.copybook, c.separator, c.quote);
    EXPECT_EQ(r.rc, c.rc) << testutil::utf8(r.log);
    EXPECT_EQ(r.pattern, c.pattern);
    if (c.rc >= 0) {
        EXPECT_EQ(r.log, "");
    }
}

// A long line: before, count times symbol, after.
std::string line(const char* before, char symbol, std::size_t count, const char* after) {
    std::string s = before;
    s.append(count, symbol);
    s.append(after);
    return s;
}

const std::string kAB = "01 R.\n05 A PIC X(3).\n05 B PIC 9(2).\n";
const std::string kRedefined = "01 R.\n05 A PIC X(4).\n05 B REDEFINES A.\n10 B1 PIC 9(2).\n10 B2 PIC X(2).\n05 C PIC X.\n";

// A customer record as it comes from the host: sequence numbers, comments,
// entries over two lines, a redefined date, a repeated group with packed
// amounts, kanji and a level 88.
const std::string kCustomer =
    "000100*------------------------------------------------------*\n"
    "000200*    CUSTOMER MASTER                                     *\n"
    "000300*------------------------------------------------------*\n"
    "000400 01  CUSTOMER-REC.\n"
    "000500     05  CUST-NO             PIC 9(6).\n"
    "000600     05  CUST-NAME           PIC N(10).\n"
    "000700     05  CUST-KANA           PIC X(20)\n"
    "000800                             VALUE SPACE.\n"
    "000900     05  BIRTH-DATE          PIC 9(8).\n"
    "001000     05  BIRTH-YMD REDEFINES BIRTH-DATE.\n"
    "001100         10  BIRTH-YY        PIC 9(4).\n"
    "001200         10  BIRTH-MM        PIC 9(2).\n"
    "001300         10  BIRTH-DD        PIC 9(2).\n"
    "001400     05  CUST-TYPE           PIC X.\n"
    "001500         88  CUST-CORP       VALUE 'C'.\n"
    "001600     05  SALES OCCURS 3 TIMES.\n"
    "001700         10  SALES-AMT       PIC S9(7)V99 COMP-3.\n"
    "001800         10  SALES-QTY       PIC S9(5).\n"
    "001900     05  FILLER              PIC X(4).\n";

INSTANTIATE_TEST_SUITE_P(
    Copybooks, MkpatnLines,
    ::testing::Values(
        PatternCase{"CommaSeparated", kAB, 1, 0, "XXX,99\r\n", 5},
        PatternCase{"CommaQuoted", kAB, 1, 1, "\"XXX\",99\r\n", 5},
        PatternCase{"NoSeparator", kAB, 0, 0, "XXX99\r\n", 5},
        PatternCase{"BlankSeparated", kAB, 2, 0, "XXX 99\r\n", 5},
        PatternCase{"OtherSeparatorValueIsNone", kAB, 7, 2, "XXX99\r\n", 5},
        PatternCase{"AlphabeticQuoted", "01 R.\n05 C PIC A(2).\n", 1, 1, "\"AA\"\r\n", 2},
        PatternCase{"NationalDoubled", "01 R.\n05 D PIC N(2).\n", 1, 0, "NNNN\r\n", 4},
        PatternCase{"NationalQuoted", "01 R.\n05 D PIC N(2).\n05 E PIC 9.\n", 2, 1, "\"NNNN\" 9\r\n", 5},
        PatternCase{"PackedWithPoint", "01 R.\n05 E PIC S9(3)V99 COMP-3.\n", 1, 0, "CCC.CC\r\n", 3},
        PatternCase{"DisplayWithPoint", "01 R.\n05 E PIC S9(3)V99.\n05 F PIC 9V9.\n", 1, 0, "SSS.SS,9.9\r\n", 7},
        PatternCase{"AdjacentPackedCountAsOne", "01 R.\n05 F PIC S9(4) COMP-3.\n05 G PIC S9(4) COMP-3.\n", 0, 0,
                    "CCCCCCCC\r\n", 5},
        PatternCase{"SeparatedPacked", "01 R.\n05 F PIC S9(4) COMP-3.\n05 G PIC S9(4) COMP-3.\n", 1, 0,
                    "CCCC,CCCC\r\n", 6},
        PatternCase{"ElementaryOccurs", "01 R.\n05 T PIC X(2) OCCURS 3.\n", 1, 0, "XX,XX,XX\r\n", 6},
        PatternCase{"GroupOccurs", "01 R.\n05 G OCCURS 2.\n10 G1 PIC X.\n10 G2 PIC 9.\n05 H PIC X.\n", 1, 0,
                    "X,9,X,9,X\r\n", 5},
        PatternCase{"NestedOccurs",
                    "01 R.\n05 G OCCURS 2.\n10 H OCCURS 2.\n15 H1 PIC X.\n10 I PIC 9.\n05 J PIC A OCCURS 2.\n", 1, 0,
                    "X,X,9,X,X,9,A,A\r\n", 8},
        PatternCase{"RedefinesTwoLines", kRedefined, 1, 0, "XXXX,X\r\n99,XX,X\r\n", 5},
        PatternCase{"RedefinesBeforeRepeatedGroup",
                    "01 R.\n05 A PIC X(4).\n05 B REDEFINES A.\n10 B1 PIC 9(4).\n05 G OCCURS 2.\n10 G1 PIC X.\n", 1, 0,
                    "XXXX,X,X\r\n9999,X,X\r\n", 6},
        PatternCase{"RedefinesInsideRepeatedGroup",
                    "01 R.\n05 G OCCURS 2.\n10 G1 PIC X(2).\n10 G2 REDEFINES G1 PIC 99.\n", 1, 0, "XX,XX\r\n99,99\r\n",
                    4},
        PatternCase{"RedefinedGroupLeftOutWithSubordinates",
                    "01 R.\n05 A.\n10 A1 PIC X.\n10 A2 PIC X.\n05 B REDEFINES A PIC N.\n05 C PIC 9.\n", 1, 0,
                    "X,X,9\r\nNN,9\r\n", 3},
        PatternCase{"RealisticCustomer", kCustomer, 1, 1,
                    "999999,\"NNNNNNNNNNNNNNNNNNNN\",\"XXXXXXXXXXXXXXXXXXXX\",99999999,\"X\","
                    "CCCCCCC.CC,SSSSS,CCCCCCC.CC,SSSSS,CCCCCCC.CC,SSSSS,\"XXXX\"\r\n"
                    "999999,\"NNNNNNNNNNNNNNNNNNNN\",\"XXXXXXXXXXXXXXXXXXXX\",9999,99,99,\"X\","
                    "CCCCCCC.CC,SSSSS,CCCCCCC.CC,SSSSS,CCCCCCC.CC,SSSSS,\"XXXX\"\r\n",
                    89},
        PatternCase{"BinaryWrittenAsX", "01 R.\n05 K PIC S9(4) COMP.\n", 1, 0, "XX\r\n", -4},
        PatternCase{"GroupAloneIsEmptyLine", "01 R.\n", 1, 0, "\r\n", 0},
        PatternCase{"NoEntryAtAll", "* ONLY A COMMENT\n", 1, 0, "\r\n", 0},
        PatternCase{"LastSeparatorBecomesLineEnd", "01 R.\n05 A PIC 9(4).\n", 2, 0, "9999\r\n", 4},
        // Items after a level below the first one's used to be left out.
        PatternCase{"lowerLevelAfterFirstKept", "77 K PIC 9(2).\n01 R.\n05 A PIC X.\n05 G OCCURS 2.\n10 G1 PIC A.\n",
                    1, 0, "99,X,A,A\r\n", 5},
        PatternCase{"RepeatedGroupAsLastItem", "01 R.\n05 A PIC X.\n05 G OCCURS 5.\n", 1, 0, "X\r\n", 1},
        // The last entry without its period used to drop out of the record.
        PatternCase{"finalEntryWithoutPeriod", "01 R.\n05 A PIC X(2).\n05 B PIC 9(3)", 1, 0, "XX,999\r\n", 5},
        // "PIC X VALUE ..." used to be refused as a broken picture.
        PatternCase{"oneSymbolPicture", "01 R.\n05 A PIC X VALUE SPACE.\n05 N PIC 9 COMP-3.\n", 1, 0, "X,C\r\n", 2},
        PatternCase{"LongestLineWithoutSeparator", "01 R.\n05 A PIC X(32759).\n", 0, 0,
                    line("", 'X', 32759, "\r\n"), 32759},
        PatternCase{"LongestLineWithSeparator", "01 R.\n05 A PIC X(32757).\n05 B PIC 9.\n", 1, 0,
                    line("", 'X', 32757, ",9\r\n"), 32758},
        PatternCase{"SeparatorLineOneTooLong", "01 R.\n05 A PIC X(32758).\n05 B PIC 9.\n", 1, 0, kNoFile, -3},
        PatternCase{"LongestLineQuoted", "01 R.\n05 A PIC X(32757).\n", 1, 1,
                    line("\"", 'X', 32757, "\"\r\n"), 32757},
        // A huge repeat of a group that writes nothing must not spin.
        PatternCase{"hugeOccursOfEmptyGroup",
                    "01 R.\n05 G OCCURS 2147483647.\n10 H OCCURS 2147483647.\n15 F VALUE 1.\n05 A PIC X.\n", 1, 0,
                    "X\r\n", 1}),
    caseName<PatternCase>);

struct FailureCase {
    const char* name;
    std::string copybook;
    std::int32_t separator;
    std::int32_t quote;
    std::string log;  // UTF-8, LF
};

class MkpatnTooLong : public ::testing::TestWithParam<FailureCase> {};

// A line that would not fit the line buffer used to be written past it.
TEST_P(MkpatnTooLong, lineBeyondBufferRefused) {
    const FailureCase& c = GetParam();
    Outcome r = runCopybook(c.copybook, c.separator, c.quote);
    EXPECT_EQ(r.rc, -3);
    EXPECT_EQ(r.pattern, kNoFile);
    EXPECT_EQ(r.log, testutil::logLines(c.log)) << testutil::utf8(r.log);
}

const char* const kTooLongA = "[解析エラー]レコードパターンが32760バイト(改行を含む)を超えます(項目=A)\n";

INSTANTIATE_TEST_SUITE_P(
    Limits, MkpatnTooLong,
    ::testing::Values(
        FailureCase{"OneByteTooMany", "01 R.\n05 A PIC X(32760).\n", 0, 0, kTooLongA},
        FailureCase{"WithSeparator", "01 R.\n05 A PIC X(32760).\n", 1, 0, kTooLongA},
        FailureCase{"Quotes", "01 R.\n05 A PIC X(32758).\n", 1, 1, kTooLongA},
        FailureCase{"NationalDoubled", "01 R.\n05 A PIC N(16380).\n", 0, 0, kTooLongA},
        FailureCase{"Decimals", "01 R.\n05 A PIC 9(2)V9(2147483647).\n", 0, 0, kTooLongA},
        FailureCase{"ElementaryOccurs", "01 R.\n05 A PIC X(2) OCCURS 2147483647.\n", 1, 0, kTooLongA},
        FailureCase{"LargestRepeat", "01 R.\n05 A PIC N(2147483647).\n", 1, 0, kTooLongA},
        FailureCase{"GroupOccurs", "01 R.\n05 G OCCURS 2000000000.\n10 A PIC X.\n", 1, 0,
                    "[解析エラー]レコードパターンが32760バイト(改行を含む)を超えます(項目=G)\n"},
        FailureCase{"SecondLine", "01 R.\n05 A PIC X.\n05 B REDEFINES A PIC X(40000).\n", 1, 0,
                    "[解析エラー]レコードパターンが32760バイト(改行を含む)を超えます(項目=B)\n"}),
    caseName<FailureCase>);

TEST(Mkpatn, AnalysisErrorInLastLineCreatesNoFile) {
    testutil::TempDir dir;
    std::string cpy = dir.file("rec.cpy");
    std::string ptn = dir.file("rec.ptn");
    std::string log = dir.file("log.txt");
    testutil::writeFile(cpy, "01 R.\n05 A PIC X(3).\n05 B PIC Q.\n");
    EXPECT_EQ(mkpatn(1, 1, 0, cpy.c_str(), ptn.c_str(), log.c_str()), -3);
    EXPECT_FALSE(testutil::exists(ptn));
    // An existing pattern file is not touched either.
    testutil::writeFile(ptn, "OLD\r\n");
    EXPECT_EQ(mkpatn(1, 1, 0, cpy.c_str(), ptn.c_str(), log.c_str()), -3);
    EXPECT_EQ(testutil::readText(ptn), "OLD\r\n");
    EXPECT_EQ(testutil::readText(log),
              testutil::logLines("[解析エラー]編集形式(属性)に[9],[X],[A],[N]以外が定義されています\n->05 B PIC Q.\n"));
}

TEST(Mkpatn, UnsupportedBinaryStillWritesFile) {
    Outcome r = runCopybook("01 R.\n05 A PIC S9(4) COMP.\n05 B PIC X(2).\n05 C PIC 9(12) BINARY.\n", 1, 0);
    EXPECT_EQ(r.rc, -4);
    EXPECT_EQ(r.pattern, "XX,XX,XXXXXXXX\r\n");
    EXPECT_EQ(r.log, testutil::logLines("[未サポート]COMP(BINARY)は現在サポートしていません\n->05 A PIC S9(4) COMP.\n"
                                        "[未サポート]COMP(BINARY)は現在サポートしていません\n->05 C PIC 9(12) BINARY.\n"));
}

TEST(Mkpatn, ExistingPatternFileTruncated) {
    testutil::TempDir dir;
    std::string cpy = dir.file("rec.cpy");
    std::string ptn = dir.file("rec.ptn");
    testutil::writeFile(cpy, kAB);
    testutil::writeFile(ptn, std::string(1000, 'Z'));
    EXPECT_EQ(mkpatn(0, 1, 0, cpy.c_str(), ptn.c_str(), nullptr), 5);
    EXPECT_EQ(testutil::readText(ptn), "XXX,99\r\n");
}

TEST(Mkpatn, FileFailures) {
    testutil::TempDir dir;
    std::string cpy = dir.file("rec.cpy");
    std::string empty = dir.file("empty.cpy");
    std::string ptn = dir.file("rec.ptn");
    std::string log = dir.file("log.txt");
    std::string missing = dir.file("missing.cpy");
    std::string noFolder = dir.file("no/such/folder/rec.ptn");
    std::string folder = dir.path().string();
    testutil::writeFile(cpy, kAB);
    testutil::writeFile(empty, "");
    struct Case {
        const char* name;
        std::string copybook;
        std::string pattern;
        std::int32_t rc;
        std::string log;
    };
    const Case cases[] = {
        {"missing copybook", missing, ptn, -13, "[" + missing + "]が見つかりません\n"},
        {"copybook is a folder", folder, ptn, -13, folder + "がオープンできません\n"},
        {"empty copybook", empty, ptn, -18, "[" + empty + "]のファイルサイズが 0 です\n"},
        {"pattern in a missing folder", cpy, noFolder, -12, noFolder + "がオープンできません\n"},
        {"pattern on a full disk", cpy, "/dev/full", -27, "/dev/fullの出力に失敗しました\n"},
        // Naming the copybook as the pattern file used to overwrite the copybook.
        {"pattern over its own copybook", cpy, folder + "/./rec.cpy", -12, folder + "/./rec.cpyがオープンできません\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(testutil::readText(cpy), kAB);
        std::remove(ptn.c_str());
        EXPECT_EQ(mkpatn(1, 1, 0, c.copybook.c_str(), c.pattern.c_str(), log.c_str()), c.rc);
        EXPECT_EQ(testutil::readText(log), testutil::logLines(c.log));
        if (c.pattern == ptn) {
            EXPECT_FALSE(testutil::exists(ptn));
        }
        // Without a log the code is the same.
        EXPECT_EQ(mkpatn(0, 1, 0, c.copybook.c_str(), c.pattern.c_str(), noFolder.c_str()), c.rc);
    }
    EXPECT_EQ(testutil::readText(cpy), kAB);
}

TEST(Mkpatn, LogCannotBeCreated) {
    testutil::TempDir dir;
    std::string cpy = dir.file("rec.cpy");
    std::string ptn = dir.file("rec.ptn");
    testutil::writeFile(cpy, kAB);
    std::string badLog = dir.file("no/folder/log.txt");
    EXPECT_EQ(mkpatn(1, 1, 0, cpy.c_str(), ptn.c_str(), badLog.c_str()), -31);
    EXPECT_FALSE(testutil::exists(ptn));
    EXPECT_EQ(mkpatn(0, 1, 0, cpy.c_str(), ptn.c_str(), badLog.c_str()), 5);
    EXPECT_TRUE(testutil::exists(ptn));
    EXPECT_EQ(mkpatn(1, 1, 0, cpy.c_str(), ptn.c_str(), nullptr), -31);
    EXPECT_EQ(mkpatn(0, 1, 0, nullptr, ptn.c_str(), nullptr), -13);
}

// A read error in the copybook used to be taken as its end.
TEST(Mkpatn, readErrorReportedNotTruncated) {
    testutil::TempDir dir;
    std::string cpy = dir.file("rec.cpy");
    std::string ptn = dir.file("rec.ptn");
    testutil::writeFile(cpy, kAB);
    vokl::ReadBytes failing = [](char*, std::size_t) -> std::int64_t { return -1; };
    vokl::Log log;
    ASSERT_TRUE(log.create(dir.file("log.txt").c_str()));
    EXPECT_EQ(vokl::makePattern(log, {1, 0}, cpy.c_str(), ptn.c_str(), &failing), -13);
    log.close();
    EXPECT_FALSE(testutil::exists(ptn));
    EXPECT_EQ(testutil::readText(dir.file("log.txt")), testutil::logLines("[" + cpy + "]の読み込みに失敗しました\n"));
}

TEST(Mkpatn, ExhaustedMemoryGivesMinus30) {
    testutil::TempDir dir;
    std::string cpy = dir.file("rec.cpy");
    std::string ptn = dir.file("rec.ptn");
    std::string log = dir.file("log.txt");
    testutil::writeFile(cpy, kAB);
    vokl::ReadBytes exhausted = [](char*, std::size_t) -> std::int64_t { throw std::bad_alloc(); };
    std::int32_t rc = vokl::runExport(1, log.c_str(), [&](vokl::Log& l) {
        return vokl::makePattern(l, {1, 0}, cpy.c_str(), ptn.c_str(), &exhausted);
    });
    EXPECT_EQ(rc, -30);
    EXPECT_FALSE(testutil::exists(ptn));
    EXPECT_EQ(testutil::readText(log), testutil::logLines("メモリ不足です\n"));
}

// Repeated groups chained one inside the next used to recurse once per group.
TEST(Mkpatn, deepNestingNeedsNoStack) {
    std::string copybook = "01 R.\n";
    for (int i = 0; i < 200000; ++i) copybook += "05 G OCCURS 2.\n";
    copybook += "05 A PIC X.\n";
    auto start = std::chrono::steady_clock::now();
    Outcome r = runCopybook(copybook, 0, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(r.rc, -3);  // 2^200000 copies of A cannot fit
    EXPECT_EQ(r.log, testutil::logLines("[解析エラー]レコードパターンが32760バイト(改行を含む)を超えます(項目=G)\n"));
}

TEST(RecordSize, CountsRecordBytes) {
    struct Case {
        const char* line;
        std::int32_t size;
    };
    const Case cases[] = {
        {"", 0}, {"CCC.CC", 3}, {"CCCC", 3}, {"C,C", 2}, {"\"XX\",NNNN,S9", 8}, {"CCCC\"CC", 5}, {"A C", 2},
    };
    for (const Case& c : cases) EXPECT_EQ(vokl::recordSize(c.line), c.size) << c.line;
}

}  // namespace
