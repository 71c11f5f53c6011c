// The copybook reader: items from realistic entries, every analysis message
// with its code, and the REDEFINES marks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "copybook.h"
#include "testutil.h"

namespace {

using vokl::CopyItem;
using vokl::CopyItems;

struct Reading {
    std::int32_t rc = 0;
    CopyItems items;
    std::string log;  // Shift-JIS, CR LF
};

Reading readText(const std::string& copybook) {
    testutil::TempDir dir;
    std::string path = dir.file("rec.cpy");
    testutil::writeFile(path, copybook);
    Reading r;
    {
        vokl::Log log;
        EXPECT_TRUE(log.create(dir.file("log.txt").c_str()));
        r.rc = vokl::readCopybook(log, path.c_str(), r.items);
    }
    r.log = testutil::readText(dir.file("log.txt"));
    return r;
}

// "level name kind length point decimals occurs [redefines]" with '_' for a
// blank point; compact enough to read a whole copybook's items in one row.
std::string describe(const CopyItem& item) {
    std::string s = std::to_string(item.level) + " " + item.name + " " + item.kind + " " +
                    std::to_string(item.length) + " " + (item.point == ' ' ? '_' : item.point) + " " +
                    std::to_string(item.decimals) + " " + std::to_string(item.occurs);
    if (item.redefines) s += " R=" + *item.redefines;
    return s;
}

std::vector<std::string> describeAll(const CopyItems& items) {
    std::vector<std::string> out;
    for (const CopyItem& item : items) out.push_back(describe(item));
    return out;
}

template <class Case>
std::string caseName(const ::testing::TestParamInfo<Case>& param) {
    return param.param.name;
}

struct ItemCase {
    const char* name;
    std::string copybook;
    std::vector<std::string> items;
    std::int32_t rc;
};

class CopybookItems : public ::testing::TestWithParam<ItemCase> {};

TEST_P(CopybookItems, ReadsEntries) {
    const ItemCase& c = GetParam();
    Reading r = readText(c.copybook);
    EXPECT_EQ(r.rc, c.rc) << testutil::utf8(r.log);
    EXPECT_EQ(describeAll(r.items), c.items);
}

const std::string kPadTo255 = std::string(255 - 4, ' ');

std::string padTo255(std::string text) {
    text.resize(vokl::kCopyPieceChars, ' ');
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    Entries, CopybookItems,
    ::testing::Values(
        ItemCase{"SequenceAreaDropped", "000100 01 CUSTOMER-REC.\n", {"1 CUSTOMER-REC 0 0 _ 0 0"}, 0},
        ItemCase{"LevelWithoutSequenceArea", "01 CUSTOMER-REC.\n1 OTHER.\n",
                 {"1 CUSTOMER-REC 0 0 _ 0 0", "1 OTHER 0 0 _ 0 0"}, 0},
        ItemCase{"CommentsAndBlankLinesSkipped",
                 "000100*COMMENT LINE\n      * INDENTED COMMENT\n\n000200     \n*TOP\n01 R.\n", {"1 R 0 0 _ 0 0"}, 0},
        ItemCase{"CrLfLineEnds", "01 R.\r\n   05 A PIC X(2).\r\n", {"1 R 0 0 _ 0 0", "5 A X 2 _ 0 0"}, 0},
        ItemCase{"PackedWithDecimals", "05 A PIC S9(3)V99 COMP-3.\n", {"5 A C 3 V 2 0"}, 0},
        ItemCase{"UsageIsPackedDecimal", "05 A PIC 9(5) USAGE IS PACKED-DECIMAL.\n", {"5 A C 5 _ 0 0"}, 0},
        ItemCase{"Packed18DigitsAccepted", "05 A PIC 9(18) COMP-3.\n", {"5 A C 18 _ 0 0"}, 0},
        ItemCase{"PictureOverridesEarlierUsage", "05 G COMP-3 PIC S9(5).\n", {"5 G S 5 _ 0 0"}, 0},
        ItemCase{"SignTrailing", "05 A PIC S9(5) SIGN IS TRAILING.\n", {"5 A S 5 _ 0 0"}, 0},
        ItemCase{"RepeatReplacesCount", "05 F PIC XX(5).\n", {"5 F X 5 _ 0 0"}, 0},
        ItemCase{"BlanksInsideParentheses", "05 F PIC 9( 3 )V9( 2 ).\n", {"5 F 9 3 V 2 0"}, 0},
        ItemCase{"SymbolsCounted", "05 A PIC S999V99.\n05 B PICTURE AAA.\n05 C PIC N(10).\n",
                 {"5 A S 3 V 2 0", "5 B A 3 _ 0 0", "5 C N 10 _ 0 0"}, 0},
        ItemCase{"OnlyFirstEntryOfALine", "05 D PIC X(5). 05 E PIC X(3).\n", {"5 D X 5 _ 0 0"}, 0},
        ItemCase{"PeriodInsideValueLiteral", "05 H PIC X(5) VALUE 'A.B'.\n05 I PIC 9.\n",
                 {"5 H X 5 _ 0 0", "5 I 9 1 _ 0 0"}, 0},
        ItemCase{"ValueOnNextLineAfterRepeat", "05 I PIC X(2)\n    VALUE SPACE.\n", {"5 I X 2 _ 0 0"}, 0},
        ItemCase{"EntryOverSeveralLines", "000100 05 T\n000200      PIC X(2)\n000300      OCCURS 3 TIMES.\n",
                 {"5 T X 2 _ 0 3"}, 0},
        ItemCase{"RedefinesAndOccursStored", "05 B REDEFINES A.\n05 G OCCURS 12.\n",
                 {"5 B 0 0 _ 0 0 R=A", "5 G 0 0 _ 0 12"}, 0},
        ItemCase{"Level88PassedOver", "05 F PIC X.\n   88 F-ON VALUE 'Y'.\n",
                 {"5 F X 1 _ 0 0", "88 F-ON 0 0 _ 0 0"}, 0},
        ItemCase{"BinarySizes", "05 A PIC S9(4) COMP.\n05 B PIC 9(9) COMPUTATIONAL.\n05 C PIC 9(10) BINARY.\n05 D PIC X.\n",
                 {"5 A X 2 _ 0 0", "5 B X 4 _ 0 0", "5 C X 8 _ 0 0", "5 D X 1 _ 0 0"}, -4},
        ItemCase{"PeriodAloneEndsNameState", "   05\n.\n05 B PIC X.\n", {"5  0 0 _ 0 0", "5 B X 1 _ 0 0"}, 0},
        // A one-symbol picture before a blank used to run on into VALUE/COMP-3.
        ItemCase{"oneSymbolPictureBeforeBlank", "05 A PIC X VALUE SPACE.\n05 N PIC 9 COMP-3.\n05 S PIC S9 VALUE 1.\n",
                 {"5 A X 1 _ 0 0", "5 N C 1 _ 0 0", "5 S S 1 _ 0 0"}, 0},
        ItemCase{"oneSymbolDecimalBeforeBlank", "05 A PIC 9V9 COMP-3.\n", {"5 A C 1 V 1 0"}, 0},
        // The last entry of a file without its period used to be lost.
        ItemCase{"finalEntryWithoutPeriodKept", "01 R.\n05 A PIC X(3)", {"1 R 0 0 _ 0 0", "5 A X 3 _ 0 0"}, 0},
        ItemCase{"finalEntryOpenOverLinesKept", "01 R.\n05 A\n   PIC 9(4)\n", {"1 R 0 0 _ 0 0", "5 A 9 4 _ 0 0"}, 0},
        // A period opening a line after VALUE used to swallow every later entry.
        ItemCase{"valuePeriodOnOwnLineEndsEntry", "05 A PIC X VALUE\n    'ABC'\n    .\n05 B PIC 9.\n",
                 {"5 A X 1 _ 0 0", "5 B 9 1 _ 0 0"}, 0},
        ItemCase{"LineOfExactly255", padTo255("05 A PIC X(3)") + "\n    VALUE 'X'.\n", {"5 A X 3 _ 0 0"}, 0},
        ItemCase{"ShiftJisDataNames", testutil::sjis("05 顧客名 PIC N(10).\n05 別名 REDEFINES 顧客名 PIC X(20).\n"),
                 {testutil::sjis("5 顧客名 N 10 _ 0 0"), testutil::sjis("5 別名 X 20 _ 0 0 R=顧客名")}, 0},
        ItemCase{"EmptyCopybookOfComments", "* NOTHING HERE\n\n", {}, 0},
        ItemCase{"LargestCountsAccepted", "05 A PIC X(2147483647) OCCURS 2147483647.\n",
                 {"5 A X 2147483647 _ 0 2147483647"}, 0}),
    caseName<ItemCase>);

struct ErrorCase {
    const char* name;
    std::string copybook;
    std::string log;  // UTF-8, LF
    std::int32_t rc;
};

class CopybookErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(CopybookErrors, LogsAndStops) {
    const ErrorCase& c = GetParam();
    Reading r = readText(c.copybook);
    EXPECT_EQ(r.rc, c.rc);
    EXPECT_EQ(r.log, testutil::logLines(c.log)) << testutil::utf8(r.log);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, CopybookErrors,
    ::testing::Values(
        ErrorCase{"DigitsOnlyLine", "01 R.\n123\n", "[解析エラー]数字だけで構成された行があります\n->123\n", -3},
        ErrorCase{"CommentAfterBlankIsNoLevel", "000100 *COMMENT\n",
                  "[解析エラー]レベル番号が検出できません\n-> *COMMENT\n", -3},
        ErrorCase{"TabIsNoBlank", "\t05 A PIC X.\n", "[解析エラー]レベル番号が検出できません\n->\t05 A PIC X.\n", -3},
        ErrorCase{"NoLevel", "01 R.\n   A PIC X.\n", "[解析エラー]レベル番号が検出できません\n->A PIC X.\n", -3},
        ErrorCase{"UsageDisplay", "05 A PIC X(5) USAGE DISPLAY.\n",
                  "[解析エラー]認識できないキーワードが含まれます\n->05 A PIC X(5) USAGE DISPLAY.\n", -3},
        ErrorCase{"LowerCaseClause", "05 A pic x(5).\n", "[解析エラー]認識できないキーワードが含まれます\n->05 A pic x(5).\n", -3},
        ErrorCase{"SignSeparate", "05 A PIC S9(5) SIGN IS TRAILING SEPARATE.\n",
                  "[解析エラー]認識できないキーワードが含まれます\n->05 A PIC S9(5) SIGN IS TRAILING SEPARATE.\n", -3},
        ErrorCase{"SignLeading", "05 A PIC S9(5) SIGN LEADING.\n",
                  "[解析エラー]認識できないキーワードが含まれます\n->05 A PIC S9(5) SIGN LEADING.\n", -3},
        ErrorCase{"PeriodOnOwnLineAfterClause", "05 A PIC X(5)\n   .\n",
                  "[解析エラー]認識できないキーワードが含まれます\n->.\n", -3},
        ErrorCase{"Computational3", "05 A PIC 9(3) COMPUTATIONAL-3.\n",
                  "[未サポート]COMP(BINARY)は現在サポートしていません\n->05 A PIC 9(3) COMPUTATIONAL-3.\n"
                  "[解析エラー]認識できないキーワードが含まれます\n->05 A PIC 9(3) COMPUTATIONAL-3.\n",
                  -3},
        ErrorCase{"BinaryGoesOn", "05 B PIC S9(4) COMP.\n05 C PIC X.\n",
                  "[未サポート]COMP(BINARY)は現在サポートしていません\n->05 B PIC S9(4) COMP.\n", -4},
        ErrorCase{"OccursCountOnNextLine", "05 J OCCURS\n   3.\n",
                  "[解析エラー]OCCURS句の後ろに反復回数が記述されていません\n->05 J OCCURS\n", -3},
        ErrorCase{"OccursWithoutDigits", "05 J OCCURS N.\n",
                  "[解析エラー]OCCURS句の後ろに反復回数が記述されていません\n->05 J OCCURS N.\n", -3},
        ErrorCase{"RedefinesNameOnNextLine", "05 K REDEFINES  \n   A.\n",
                  "[解析エラー]REDEFINES句の後ろにデータ名が記述されていません\n->05 K REDEFINES  \n", -3},
        ErrorCase{"Packed19Digits", "05 C PIC 9(19) COMP-3.\n",
                  "[解析エラー]COMP-3項目の長さが18を超えています\n->05 C PIC 9(19) COMP-3.\n", -3},
        ErrorCase{"Binary19Digits", "05 C PIC 9(19) BINARY.\n",
                  "[解析エラー]COMP項目の長さが18を超えています\n->05 C PIC 9(19) BINARY.\n", -3},
        ErrorCase{"PictureZ", "05 A PIC Z(5).\n",
                  "[解析エラー]編集形式(属性)に[9],[X],[A],[N]以外が定義されています\n->05 A PIC Z(5).\n", -3},
        ErrorCase{"SignWithoutNine", "05 A PIC SX.\n", "[解析エラー]S(サイン付き)の後に9がありません\n->05 A PIC SX.\n", -3},
        ErrorCase{"SignAtEndOfLine", "05 A PIC S\n", "[解析エラー]S(サイン付き)の後に9がありません\n->05 A PIC S\n", -3},
        ErrorCase{"SignTwice", "05 A PIC S9 PIC S9.\n",
                  "[解析エラー]S(サイン)の後にS(サイン)が指定されています\n->05 A PIC S9 PIC S9.\n", -3},
        ErrorCase{"MixedSymbols", "05 A PIC X9.\n", "[解析エラー]編集形式の組み合わせが認識できません\n->05 A PIC X9.\n", -3},
        ErrorCase{"PointTwiceInPicture", "05 A PIC 9V9V9.\n",
                  "[解析エラー]編集形式の組み合わせが認識できません\n->05 A PIC 9V9V9.\n", -3},
        ErrorCase{"PointTwiceAsClause", "05 A PIC 9(3)V99 V9.\n",
                  "[解析エラー]編集形式の組み合わせが認識できません\n->05 A PIC 9(3)V99 V9.\n", -3},
        ErrorCase{"RepeatNotDigit", "05 A PIC X(A).\n", "[解析エラー]'('の後ろが数字ではありません\n->05 A PIC X(A).\n", -3},
        ErrorCase{"RepeatOpenAtEnd", "05 A PIC X(\n", "[解析エラー]'('の後ろが数字ではありません\n->05 A PIC X(\n", -3},
        ErrorCase{"RepeatNotClosed", "05 A PIC X(5.\n", "[解析エラー]項目長の後ろが')'ではありません\n->05 A PIC X(5.\n", -3},
        ErrorCase{"PictureBadChar", "05 A PIC X-5.\n", "[解析エラー]編集形式に認識出来ない文字が現れました\n->05 A PIC X-5.\n", -3},
        ErrorCase{"PictureOpenAtEndOfLine", "05 I PIC XX\n    VALUE SPACE.\n",
                  "[解析エラー]編集形式に認識出来ない文字が現れました\n->VALUE SPACE.\n", -3},
        ErrorCase{"OneSymbolOpenAtEndOfLine", "05 I PIC X\n    VALUE SPACE.\n",
                  "[解析エラー]編集形式に認識出来ない文字が現れました\n->VALUE SPACE.\n", -3},
        ErrorCase{"PieceOf255IsALine", "05 A" + kPadTo255 + "123\n",
                  "[解析エラー]数字だけで構成された行があります\n->123\n", -3},
        // Counts beyond 32 bits used to wrap around into small or negative values.
        ErrorCase{"levelBeyond32Bits", "   99999999999 A PIC X.\n",
                  "[解析エラー]数値が2147483647を超えています\n->99999999999 A PIC X.\n", -3},
        ErrorCase{"repeatBeyond32Bits", "05 A PIC X(2147483648).\n",
                  "[解析エラー]数値が2147483647を超えています\n->05 A PIC X(2147483648).\n", -3},
        ErrorCase{"occursBeyond32Bits", "05 A PIC X OCCURS 4294967297.\n",
                  "[解析エラー]数値が2147483647を超えています\n->05 A PIC X OCCURS 4294967297.\n", -3},
        ErrorCase{"lengthCountedPast32Bits", "05 A PIC X(2147483647) PIC S9.\n",
                  "[解析エラー]数値が2147483647を超えています\n->05 A PIC X(2147483647) PIC S9.\n", -3}),
    caseName<ErrorCase>);

TEST(CopybookRead, StopsAtFirstError) {
    Reading r = readText("01 R.\n05 A PIC Z.\n05 B PIC Q.\n");
    EXPECT_EQ(r.rc, -3);
    EXPECT_EQ(r.log, testutil::logLines("[解析エラー]編集形式(属性)に[9],[X],[A],[N]以外が定義されています\n->05 A PIC Z.\n"));
    EXPECT_EQ(describeAll(r.items), std::vector<std::string>{"1 R 0 0 _ 0 0"});
}

TEST(CopybookRead, FolderCannotBeOpened) {
    testutil::TempDir dir;
    vokl::Log log;
    ASSERT_TRUE(log.create(dir.file("log.txt").c_str()));
    CopyItems items;
    std::string folder = dir.path().string();
    EXPECT_EQ(vokl::readCopybook(log, folder.c_str(), items), -13);
    log.close();
    EXPECT_EQ(testutil::readText(dir.file("log.txt")), testutil::logLines(folder + "がオープンできません\n"));
}

// A read error in the middle of a copybook used to look like its end, and
// the record came out short.
TEST(CopybookRead, readErrorIsNotTheEnd) {
    testutil::TempDir dir;
    vokl::Log log;
    ASSERT_TRUE(log.create(dir.file("log.txt").c_str()));
    int calls = 0;
    vokl::ReadBytes failing = [&calls](char* buffer, std::size_t size) -> std::int64_t {
        if (calls++ > 0) return -1;
        std::string first = "01 R.\n05 A PIC X.\n";
        EXPECT_GE(size, first.size());
        first.copy(buffer, first.size());
        return static_cast<std::int64_t>(first.size());
    };
    CopyItems items;
    EXPECT_EQ(vokl::readCopybookFrom(log, "rec.cpy", failing, items), -13);
    log.close();
    EXPECT_EQ(testutil::readText(dir.file("log.txt")), testutil::logLines("[rec.cpy]の読み込みに失敗しました\n"));
}

CopyItems named(std::initializer_list<std::pair<const char*, const char*>> entries) {
    CopyItems items;
    for (const auto& [name, redefines] : entries) {
        CopyItem item;
        item.level = 5;
        item.name = name;
        if (redefines != nullptr) item.redefines = redefines;
        items.push_back(item);
    }
    return items;
}

std::string marks(const CopyItems& items) {
    std::string s;
    for (const CopyItem& item : items) s += item.mark == ' ' ? '_' : item.mark;
    return s;
}

TEST(ResolveRedefines, Marks) {
    struct Case {
        CopyItems items;
        std::string marks;
    };
    const Case cases[] = {
        {named({{"A", nullptr}, {"B", "A"}, {"C", "A"}}), "SDD"},
        {named({{"A", nullptr}, {"B", "A"}, {"C", "B"}}), "SSD"},  // the mark given last wins
        {named({{"A", nullptr}, {"B", "MISSING"}}), "_D"},
        {named({{"A", nullptr}, {"A", nullptr}, {"B", "A"}}), "S_D"},  // the first of a name
        {named({{"", nullptr}, {"B", ""}}), "_D"},                      // no name never matches
        {named({{"A", nullptr}, {"B", "a"}}), "_D"},                    // byte for byte
    };
    for (Case c : cases) {
        vokl::resolveRedefines(c.items);
        EXPECT_EQ(marks(c.items), c.marks);
    }
}

}  // namespace
