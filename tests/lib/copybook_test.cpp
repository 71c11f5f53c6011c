// The copybook reader: the items of each entry with their REDEFINES marks,
// and every refusal with its line.
#include <gtest/gtest.h>

#include <string>

#include "copybook.h"
#include "testutil.h"

namespace {

using vokl::CopyItem;
using vokl::CopyItems;

struct Reading {
    std::int32_t rc = 0;
    std::string items;  // "level name kind length[Vdecimals][xoccurs][=redefines][ mark]", joined by " | "
    std::string log;    // UTF-8
};

Reading read(const std::string& copybook) {
    testutil::TempDir dir;
    testutil::writeFile(dir.file("rec.cpy"), copybook);
    Reading r;
    CopyItems items;
    {
        vokl::Log log;
        EXPECT_TRUE(log.create(dir.file("log.txt").c_str()));
        r.rc = vokl::readCopybook(log, dir.file("rec.cpy").c_str(), items);
    }
    vokl::resolveRedefines(items);
    for (const CopyItem& i : items) {
        if (!r.items.empty()) r.items += " | ";
        r.items += std::to_string(i.level) + " " + i.name + " " + i.kind + " " + std::to_string(i.length);
        if (i.point == 'V') r.items += 'V' + std::to_string(i.decimals);
        if (i.occurs != 0) r.items += 'x' + std::to_string(i.occurs);
        if (i.redefines) r.items += '=' + *i.redefines;
        if (i.mark != ' ') r.items += std::string(" ") + i.mark;
    }
    r.log = testutil::utf8(testutil::readText(dir.file("log.txt")));
    std::erase(r.log, '\r');
    return r;
}

std::string refused(const std::string& why, const std::string& text) { return "[解析エラー]" + why + "\n->" + text + "\n"; }
std::string binary(const std::string& text) { return "[未サポート]COMP(BINARY)は現在サポートしていません\n->" + text + "\n"; }

const std::string kKeyword = "認識できないキーワードが含まれます";
const std::string kCombination = "編集形式の組み合わせが認識できません";
const std::string kTooLarge = "数値が2147483647を超えています";

struct Case {
    std::string copybook;
    std::int32_t rc;
    std::string items;
    std::string log;
};

TEST(CopybookRead, EntriesAndRefusals) {
    const Case cases[] = {
        {"000100*C\n      * C\n\n000200   \n*C\n000300 01 R.\r\n05 A PIC X(2)\r\n VALUE 'Y'.\r\n1 S.\n", 0,
         "1 R 0 0 | 5 A X 2 | 1 S 0 0", ""},
        {"05 A PIC S9(3)V99 COMP-3.\n05 B PIC 9(5) USAGE IS PACKED-DECIMAL.\n05 C PIC 9(18) COMP-3.\n05 D PICTURE AAA.\n"
         "05 G COMP-3 PIC S9(5) SIGN IS TRAILING.\n05 F PIC XX(5).\n05 P PIC 9( 3 )V9( 2 ).\n05 Q PIC S999V99.\n", 0,
         "5 A C 3V2 | 5 B C 5 | 5 C C 18 | 5 D A 3 | 5 G S 5 | 5 F X 5 | 5 P 9 3V2 | 5 Q S 3V2", ""},
        {"05 C PIC N(10).\n05 X PIC X VALUE SPACE.\n05 N PIC 9 COMP-3.\n05 D PIC 9V9 COMP-3.\n", 0,
         "5 C N 10 | 5 X X 1 | 5 N C 1 | 5 D C 1V1", ""},
        {"05 D PIC X(5). 05 E PIC X(3).\n05 H PIC X(5) VALUE 'A.B'.\n05 I PIC X(2)\n    VALUE SPACE.\n", 0,
         "5 D X 5 | 5 H X 5 | 5 I X 2", ""},
        {"05 T\n  PIC X(2)\n  OCCURS 3 TIMES.\n 88 ON VALUE 'Y'.\n", 0, "5 T X 2x3 | 88 ON 0 0", ""},
        // The first item of the name, byte for byte, gets S; the mark given last wins.
        {"05 A PIC X.\n05 B REDEFINES A.\n05 C REDEFINES B.\n05 A.\n05 D REDEFINES a.\n   05\n.\n05 E REDEFINES .\n", 0,
         "5 A X 1 S | 5 B 0 0=A S | 5 C 0 0=B D | 5 A 0 0 | 5 D 0 0=a D | 5  0 0 | 5 E 0 0= D", ""},
        // A period opening a line after VALUE used to swallow every later entry.
        {"05 A PIC X VALUE\n 'ABC'\n .\n05 Z PIC 9.\n   05\n.\n05 B PIC X.\n", 0, "5 A X 1 | 5 Z 9 1 | 5  0 0 | 5 B X 1", ""},
        // The last entry of a file without its period used to be lost.
        {"01 R.\n05 A\n   PIC 9(4)", 0, "1 R 0 0 | 5 A 9 4", ""},
        {"05 A PIC X(3)" + std::string(vokl::kCopyPieceChars - 13, ' ') + "\n VALUE 'X'.\n* NOTHING\n", 0, "5 A X 3", ""},
        {testutil::sjis("05 顧客 PIC N(10).\n05 別名 REDEFINES 顧客 PIC X(20).\n"), 0,
         testutil::sjis("5 顧客 N 10 S | 5 別名 X 20=顧客 D"), ""},
        {"05 A PIC X(2147483647) OCCURS 2147483647.\n", 0, "5 A X 2147483647x2147483647", ""},
        {"05 A PIC S9(4) COMP.\n05 B PIC 9(5) COMPUTATIONAL.\n05 C PIC 9(9) BINARY.\n05 D PIC 9(10) COMP.\n05 E PIC X.\n", -4,
         "5 A X 2 | 5 B X 4 | 5 C X 4 | 5 D X 8 | 5 E X 1",
         binary("05 A PIC S9(4) COMP.") + binary("05 B PIC 9(5) COMPUTATIONAL.") + binary("05 C PIC 9(9) BINARY.") +
             binary("05 D PIC 9(10) COMP.")},
        {"05 E PIC 9(18) BINARY.\n05 F PIC 9(19) BINARY.\n", -3, "5 E X 8",
         binary("05 E PIC 9(18) BINARY.") + refused("COMP項目の長さが18を超えています", "05 F PIC 9(19) BINARY.")},
        {"05 A PIC 9(3) COMPUTATIONAL-3.\n", -3, "",
         binary("05 A PIC 9(3) COMPUTATIONAL-3.") + refused(kKeyword, "05 A PIC 9(3) COMPUTATIONAL-3.")},
        {"01 R.\n05 A PIC Z.\n05 B PIC Q.\n", -3, "1 R 0 0",
         refused("編集形式(属性)に[9],[X],[A],[N]以外が定義されています", "05 A PIC Z.")},
        {"01 R.\n123\n", -3, "1 R 0 0", refused("数字だけで構成された行があります", "123")},
        {"05 A" + std::string(vokl::kCopyPieceChars - 4, ' ') + "123\n", -3, "", refused("数字だけで構成された行があります", "123")},
        {"000100 *COMMENT\n", -3, "", refused("レベル番号が検出できません", " *COMMENT")},
        {"05 A pic x(5).\n", -3, "", refused(kKeyword, "05 A pic x(5).")},
        {"05 A PIC X(5)\n   .\n", -3, "", refused(kKeyword, ".")},
        {"05 J OCCURS N.\n", -3, "", refused("OCCURS句の後ろに反復回数が記述されていません", "05 J OCCURS N.")},
        {"05 K REDEFINES  \n   A.\n", -3, "", refused("REDEFINES句の後ろにデータ名が記述されていません", "05 K REDEFINES  ")},
        {"05 C PIC 9(19) COMP-3.\n", -3, "", refused("COMP-3項目の長さが18を超えています", "05 C PIC 9(19) COMP-3.")},
        {"05 A PIC SX.\n", -3, "", refused("S(サイン付き)の後に9がありません", "05 A PIC SX.")},
        {"05 A PIC S9 PIC S9.\n", -3, "", refused("S(サイン)の後にS(サイン)が指定されています", "05 A PIC S9 PIC S9.")},
        {"05 A PIC X9.\n", -3, "", refused(kCombination, "05 A PIC X9.")},
        {"05 A PIC 9V9V9.\n", -3, "", refused(kCombination, "05 A PIC 9V9V9.")},
        {"05 A PIC 9(3)V99 V9.\n", -3, "", refused(kCombination, "05 A PIC 9(3)V99 V9.")},
        {"05 A PIC X(A).\n", -3, "", refused("'('の後ろが数字ではありません", "05 A PIC X(A).")},
        {"05 A PIC X(5.\n", -3, "", refused("項目長の後ろが')'ではありません", "05 A PIC X(5.")},
        {"05 A PIC X-5.\n", -3, "", refused("編集形式に認識出来ない文字が現れました", "05 A PIC X-5.")},
        {"05 I PIC XX\n    VALUE SPACE.\n", -3, "", refused("編集形式に認識出来ない文字が現れました", "VALUE SPACE.")},
        // Counts beyond 32 bits used to wrap around into small or negative values.
        {"   99999999999 A.\n", -3, "", refused(kTooLarge, "99999999999 A.")},
        {"05 A PIC X(2147483648).\n", -3, "", refused(kTooLarge, "05 A PIC X(2147483648).")},
        {"05 A OCCURS 4294967297.\n", -3, "", refused(kTooLarge, "05 A OCCURS 4294967297.")},
        {"05 A PIC X(2147483647) PIC S9.\n", -3, "", refused(kTooLarge, "05 A PIC X(2147483647) PIC S9.")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.copybook);
        const Reading r = read(c.copybook);
        EXPECT_EQ(r.rc, c.rc);
        EXPECT_EQ(r.items, c.items);
        EXPECT_EQ(r.log, c.log);
    }
}

// A read error after the first block used to look like the end of the copybook.
TEST(CopybookRead, SourceThatFailsIsNotTheEnd) {
    testutil::TempDir dir;
    const std::string first = "01 R.\n05 A PIC X.\n";
    int calls = 0;
    CopyItems items;
    {
        vokl::Log log;
        ASSERT_TRUE(log.create(dir.file("log.txt").c_str()));
        EXPECT_EQ(vokl::readCopybookFrom(log, "rec.cpy", [&](char* buffer, std::size_t) -> std::int64_t {
            return calls++ > 0 ? -1 : static_cast<std::int64_t>(first.copy(buffer, first.size()));
        }, items), -13);
    }
    EXPECT_EQ(testutil::readText(dir.file("log.txt")), testutil::logLines("[rec.cpy]の読み込みに失敗しました\n"));
}

}  // namespace
