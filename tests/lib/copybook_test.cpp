// The copybook reader: the items of each entry with their REDEFINES marks, and every refusal and notice with its line.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "copybook.h"
#include "testutil.h"

namespace {

using vokl::CopyItem;
using vokl::CopyItems;

using Files = std::vector<std::pair<std::string, std::string>>;  // members beside the copybook

// items: "level name kind length[Vdecimals][xoccurs][=redefines][ mark]", joined by " | "; log: UTF-8.
struct Case { std::string copybook; std::int32_t rc; std::string items, log; Files members = {}; };

void check(const Case& c) {
    SCOPED_TRACE(c.copybook);
    testutil::TempDir dir;
    testutil::writeFile(dir.file("rec.cpy"), c.copybook);
    for (const auto& [name, text] : c.members) testutil::writeFile(dir.file(name), text);
    CopyItems items;
    vokl::Log log;
    ASSERT_TRUE(log.create(dir.file("log.txt").c_str()));
    const std::int32_t rc = vokl::readCopybook(log, dir.file("rec.cpy").c_str(), items);
    log.close();
    vokl::resolveRedefines(items);
    std::string got;
    for (const CopyItem& i : items) {
        got += (got.empty() ? "" : " | ") + std::to_string(i.level) + " " + i.name + " " + i.kind + " " + std::to_string(i.length);
        if (i.point == 'V') got += 'V' + std::to_string(i.decimals);
        if (i.occurs != 0) got += 'x' + std::to_string(i.occurs);
        if (i.redefines) got += '=' + *i.redefines;
        if (i.mark != ' ') got += std::string(" ") + i.mark;
    }
    EXPECT_EQ(rc, c.rc);
    EXPECT_EQ(got, c.items);
    EXPECT_EQ(testutil::utf8(testutil::readText(dir.file("log.txt"))), testutil::replaceAll(c.log, {{"\n", "\r\n"}}));
}

std::string refused(const std::string& why, const std::string& text) { return "[解析エラー]" + why + "\n->" + text + "\n"; }
std::string notice(const std::string& what, const std::string& text) { return "[未サポート]" + what + "\n->" + text + "\n"; }
std::string binary(const std::string& text) { return notice("COMP(BINARY)は現在サポートしていません", text); }

// Fixed-format lines: text from column 7, a sequence area that is not all digits, an identification area in 73-80.
std::string fixed(std::initializer_list<std::string> lines) {
    std::string out;
    int n = 0;
    for (const std::string& line : lines) {
        const std::string no = std::to_string(++n * 10);
        out += "AB" + std::string(4 - no.size(), '0') + no + line + std::string(66 - line.size(), ' ') + "ID" + std::string(6 - no.size(), '0') + no + "\n";
    }
    return out;
}

const std::string kKeyword = "認識できないキーワードが含まれます";
const std::string kCombination = "編集形式の組み合わせが認識できません";
const std::string kTooLarge = "数値が2147483647を超えています";

// What the reader has always read, and how it refuses; what compilers accept in the copybooks people have.
TEST(CopybookRead, Entries) {
    const Case cases[] = {
        {"000100*C\n      * C\n\n000200   \n*C\n000300 01 R.\r\n05 A PIC X(2)\r\n VALUE 'Y'.\r\n1 S.\n", 0,
         "1 R 0 0 | 5 A X 2 | 1 S 0 0", ""},
        {"05 A PIC S9(3)V99 COMP-3.\n05 B PIC 9(5) USAGE IS PACKED-DECIMAL.\n05 C PIC 9(18) COMP-3.\n05 D PICTURE AAA.\n"
         "05 G PIC S9(5) SIGN IS TRAILING.\n05 P PIC 9( 3 )V9( 2 ).\n05 Q PIC S999V99.\n05 E PICX(5)VALUE 'A'.\n", 0,
         "5 A C 3V2 | 5 B C 5 | 5 C C 18 | 5 D A 3 | 5 G S 5 | 5 P 9 3V2 | 5 Q S 3V2 | 5 E X 5", ""},
        {"05 C PIC N(10).\n05 X PIC X VALUE SPACE.\n05 N PIC 9 COMP-3.\n05 D PIC 9V9 COMP-3.\n05 E PIC 9(3) V99.\n", 0,
         "5 C N 10 | 5 X X 1 | 5 N C 1 | 5 D C 1V1 | 5 E 9 3V2", ""},
        {"05 D PIC X(5). 05 E PIC X(3).\n05 H PIC X(5) VALUE 'A.B'.\n05 I PIC X(2)\n    VALUE SPACE.\n", 0,
         "5 D X 5 | 5 H X 5 | 5 I X 2", ""},
        {"05 T\n  PIC X(2)\n  OCCURS 3 TIMES.\n 88 ON VALUE 'Y'.\n", 0, "5 T X 2x3 | 88 ON 0 0", ""},
        // A period opening a line after VALUE used to swallow every later entry.
        {"05 A PIC X VALUE\n 'ABC'\n .\n05 Z PIC 9.\n   05\n.\n05 B PIC X.\n", 0,
         "5 A X 1 | 5 Z 9 1 | 5 FILLER 0 0 | 5 B X 1", ""},
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
        {"01 R.\n05 A PIC Z.\n05 B PIC Q.\n", -3, "1 R 0 0 | 5 A X 1",
         refused("編集形式(属性)に[9],[X],[A],[N]以外が定義されています", "05 B PIC Q.")},
        {"01 R.\n123\n", -3, "1 R 0 0", refused("数字だけで構成された行があります", "123")},
        {"05 A" + std::string(vokl::kCopyPieceChars - 4, ' ') + "123\n", -3, "", refused("数字だけで構成された行があります", "123")},
        {"000100 *COMMENT\n", -3, "", refused("レベル番号が検出できません", " *COMMENT")},
        {"05 A PIC X(5) FOO.\n", -3, "", refused(kKeyword, "05 A PIC X(5) FOO.")},
        {"05 J OCCURS N.\n", -3, "", refused("OCCURS句の後ろに反復回数が記述されていません", "05 J OCCURS N.")},
        {"05 K REDEFINES .\n", -3, "", refused("REDEFINES句の後ろにデータ名が記述されていません", "05 K REDEFINES .")},
        {"05 C PIC 9(19) COMP-3.\n", -3, "", refused("COMP-3項目の長さが18を超えています", "05 C PIC 9(19) COMP-3.")},
        {"05 A PIC SX.\n", -3, "", refused("S(サイン付き)の後に9がありません", "05 A PIC SX.")},
        {"05 A PIC X(3) PIC 9(2).\n", 0, "5 A 9 2", ""},  // a second PICTURE clause replaces the first
        {"05 A PIC S9 PIC S9.\n", -3, "", refused("S(サイン)の後にS(サイン)が指定されています", "05 A PIC S9 PIC S9.")},
        {"05 A PIC X(3)Z.\n", -3, "", refused(kCombination, "05 A PIC X(3)Z.")},
        {"05 A PIC 9V9V9.\n", -3, "", refused(kCombination, "05 A PIC 9V9V9.")},
        {"05 A PIC 9(3)V99 V9.\n", -3, "", refused(kCombination, "05 A PIC 9(3)V99 V9.")},
        {"05 A PIC X(A).\n", -3, "", refused("'('の後ろが数字ではありません", "05 A PIC X(A).")},
        {"05 A PIC X(5.\n", -3, "", refused("項目長の後ろが')'ではありません", "05 A PIC X(5.")},
        {"05 A PIC X#5.\n", -3, "", refused("編集形式に認識出来ない文字が現れました", "05 A PIC X#5.")},
        // Counts beyond 32 bits used to wrap around into small or negative values.
        {"   99999999999 A.\n", -3, "", refused(kTooLarge, "99999999999 A.")},
        {"05 A PIC X(2147483648).\n", -3, "", refused(kTooLarge, "05 A PIC X(2147483648).")},
        {"05 A OCCURS 4294967297.\n", -3, "", refused(kTooLarge, "05 A OCCURS 4294967297.")},
        {"05 A PIC X(2147483647)X.\n", -3, "", refused(kTooLarge, "05 A PIC X(2147483647)X.")},
        // ---- what compilers accept in the copybooks people have ----
        // Any case; a repeat count adds to the symbols before it; clauses in any order.
        {"01 r.\n05 a Pic xx(5) value spaces.\n05 B comp-3 pic s9(5).\n05 c VALUE +4 COMP-5 PIC S9(4).\n"
         "05 D OCCURS 3 PIC X JUST RIGHT.\n05 E PIC ZZ9 BLANK WHEN ZERO VALUE ZERO.\n05 F PIC X9A.\n05 G COMPUTATIONAL-3 PIC 9.\n",
         -4, "1 r 0 0 | 5 a X 6 | 5 B C 5 | 5 c X 2 | 5 D X 1x3 | 5 E X 3 | 5 F X 3 | 5 G C 1",
         binary("05 c VALUE +4 COMP-5 PIC S9(4).")},
        // Fixed format: any sequence area, comments (a blank line and a floating one before a continuation),
        // debugging lines, a continued literal and word, and the identification area on a line that does not end
        // the entry.
        {fixed({" 01  REC.", "* COMMENT", "     05  MSG  PIC X(40) VALUE 'ONE. TWO", "", "     *> NOTE", "-        'THREE.'.",
                "D    05  DBG  PIC X(9).", "/", "     05  K  PIC 9(4) COMP-", "-        3.", "     05  R  REDEFINES",
                "         K  PIC X(3)."}),
         0, "1 REC 0 0 | 5 MSG X 40 | 5 K C 4 S | 5 R X 3=K D", ""},
        // A line past column 80 is no fixed-format line: the copybook is read freely.
        {"000010 01 R.\n000020 05 A PIC X(3)" + std::string(52, ' ') + "IDENT0001\n000030     VALUE 'A'.\n", -3, "1 R 0 0",
         refused(kKeyword, " 05 A PIC X(3)" + std::string(52, ' ') + "IDENT0001")},
        // Tabs to the next multiple of 8 columns (here up to the identification area), a line of only a
        // sequence area; Ctrl-Z ends the file, also what follows in later blocks.
        {"\t 01 R.\n000020\n\t 05 A PIC X(5)" + std::string(50, ' ') + "SEQ00030\n\t     VALUE 'X'.\x1a 05 B PIC Q.\n" +
             std::string(5000, 'Z') + "\n05 C PIC Q.\n", 0,
         "1 R 0 0 | 5 A X 5", ""},
        // Edited pictures are text of their display size, each symbol with its repeat count.
        {"05 A PIC -ZZZ,ZZ9.99.\n05 B PIC +9(3).99.\n05 C PIC $$,$$9.99CR.\n05 D PIC **9DB.\n05 E PIC X(3)BX(2).\n"
         "05 F PIC 99/99/99.\n05 G PIC 9(2)0(3).\n05 H PIC .99.\n",
         0, "5 A X 11 | 5 B X 7 | 5 C X 11 | 5 D X 5 | 5 E X 6 | 5 F X 8 | 5 G X 5 | 5 H X 3", ""},
        {"05 A PIC G(3).\n05 B PIC V99.\n05 C PIC SVPP9(3).\n05 D PIC 9(3)PPP.\n05 E PIC PPP99 COMP-3.\n", 0,
         "5 A N 3 | 5 B 9 0V2 | 5 C S 0V3 | 5 D 9 3 | 5 E C 0V2", ""},
        // A separate sign is a character of its own; a group passes usage and sign to its numeric items.
        {"01 R.\n05 A PIC S9(5) SIGN LEADING SEPARATE CHARACTER.\n05 B PIC S9(3)V99 TRAILING SEPARATE.\n"
         "05 C PIC S9(3) SIGN IS LEADING.\n05 G COMP-3.\n10 G1 PIC S9(5).\n10 G2 PIC X(2).\n05 H SIGN LEADING SEPARATE.\n"
         "10 H1 PIC S9(3).\n10 H2 PIC S9(2) SIGN TRAILING.\n05 K BINARY.\n10 K1 PIC 9(5).\n10 K2 PIC 9(10)V99.\n05 Z PIC S9.\n",
         -4,
         "1 R 0 0 | 5 A X 6 | 5 B X 6 | 5 C S 3 | 5 G 0 0 | 10 G1 C 5 | 10 G2 X 2 | 5 H 0 0 | 10 H1 X 4 | 10 H2 S 2 | "
         "5 K 0 0 | 10 K1 X 4 | 10 K2 X 8 | 5 Z S 1",
         binary("05 K BINARY.")},
        // Binary by all its digits; floating point and pointers by their fixed sizes.
        {"01 R.\n05 A PIC S9(9)V99 COMP.\n05 B PIC 9(3)PPP COMP-4.\n05 C COMP-1.\n05 D USAGE IS COMP-2.\n05 E POINTER.\n"
         "05 F INDEX.\n05 G COMP-1.\n10 G1.\n",
         -4, "1 R 0 0 | 5 A X 8 | 5 B X 2 | 5 C X 4 | 5 D X 8 | 5 E X 4 | 5 F X 4 | 5 G 0 0 | 10 G1 X 4",
         binary("05 A PIC S9(9)V99 COMP.") + binary("05 B PIC 9(3)PPP COMP-4.") +
             notice("COMP-1は現在サポートしていません", "05 C COMP-1.") +
             notice("COMP-2は現在サポートしていません", "05 D USAGE IS COMP-2.") +
             notice("POINTERは現在サポートしていません", "05 E POINTER.") +
             notice("INDEXは現在サポートしていません", "05 F INDEX.") + notice("COMP-1は現在サポートしていません", "05 G COMP-1.")},
        {"05 A PIC X(3) VALUE ALL '*'.\n05 B PIC X VALUE HIGH-VALUES.\n05 C PIC X(4) VALUE 'IT''S' SYNC.\n"
         "05 D PIC X VALUE X'41'.\n 88 D-OK VALUES ARE 'A' THRU 'C' 'X'.\n05 E PIC 9V9 VALUE 1.5.\n05 F PIC S9 VALUE -1.\n"
         " 88 F-SET VALUES 1 -1 +1.\n05 G PIC V9 VALUE .5\n  COMP-3.\n",
         0, "5 A X 3 | 5 B X 1 | 5 C X 4 | 5 D X 1 | 88 D-OK 0 0 | 5 E 9 1V1 | 5 F S 1 | 88 F-SET 0 0 | 5 G C 0V1", ""},
        // Entries without a name; a REDEFINES name on the next line; chains of REDEFINES; names in any case.
        {"01 R.\n05 PIC X(3).\n05 B.\n10 PIC 9.\n05 REDEFINES B PIC X.\n05 A PIC X(4).\n05 C REDEFINES\n   A PIC 9(4).\n"
         "05 D REDEFINES C PIC X(2).\n05 fld-e PIC X.\n05 F REDEFINES FLD-E PIC 9.\n",
         0,
         "1 R 0 0 | 5 FILLER X 3 | 5 B 0 0 S | 10 FILLER 9 1 | 5 FILLER X 1=B D | 5 A X 4 S | 5 C 9 4=A D | "
         "5 D X 2=C D | 5 fld-e X 1 S | 5 F 9 1=FLD-E D",
         ""},
        {"01 R.\n05 N PIC 99.\n05 T OCCURS 1 TO 5 TIMES DEPENDING ON N IN R\n   ASCENDING KEY IS T1 INDEXED BY I1 PIC X.\n", -4,
         "1 R 0 0 | 5 N 9 2 | 5 T X 1x5",
         notice("OCCURS DEPENDING ONは最大の反復回数で出力しました", "05 T OCCURS 1 TO 5 TIMES DEPENDING ON N IN R")},
        {"01 R.\nEJECT\n05 A PIC X. *> A NOTE\n66 AA RENAMES A.\n78 K VALUE 1.5\n  .\n05 B PIC X *> INLINE\n  VALUE 'Y'.\nSKIP1\n05 C PIC X *>\n  VALUE 'Z'.\n",
         0, "1 R 0 0 | 5 A X 1 | 5 B X 1 | 5 C X 1", ""},
        {"05 T OCCURS 2 DEPENDING.\n", -3, "",
         notice("OCCURS DEPENDING ONは最大の反復回数で出力しました", "05 T OCCURS 2 DEPENDING.") +
             refused("DEPENDING ONの後ろにデータ名が記述されていません", "05 T OCCURS 2 DEPENDING.")},
        {"05 A PIC S9(3)-.\n", -3, "", refused(kCombination, "05 A PIC S9(3)-.")},
        {"05 A PIC N(2)9.\n", -3, "", refused(kCombination, "05 A PIC N(2)9.")},
        {"05 A PIC 9(10)V9(9) BINARY.\n", -3, "", refused("COMP項目の長さが18を超えています", "05 A PIC 9(10)V9(9) BINARY.")}};
    for (const Case& c : cases) check(c);
}

// COPY statements: members beside the copybook, in any case, with or without .cpy, .cob or .cbl.
TEST(CopybookRead, CopyMembers) {
    const std::string kSelf = "COPYの登録集原文[A]が自分自身を取り込んでいます";
    Files chain;  // each member names the next: deeper than the reader goes
    for (int i = 1; i <= 64; ++i) {
        const std::string name = std::to_string(i), next = std::to_string(i + 1);
        chain.push_back({"M" + name, "COPY M" + next + ".\n"});
    }
    const Case cases[] = {
        {"01 R.\n   COPY addr.\n05 Z PIC 9.\n", 0, "1 R 0 0 | 5 A X 2 | 5 P 9 3 | 5 Z 9 1", "",
         {{"ADDR.CPY", "05 A PIC X(2).\n copy 'phone' OF LIB SUPPRESS.\n"}, {"Phone.cob", "       05  P  PIC 9(3).\n"}}},
        {"01 R.\nCOPY M.\n", 0, "1 R 0 0 | 5 M X 1", "",
         {{"M.cbl", "05 W PIC 9.\n"}, {"m", "05 L PIC X.\n"}, {"M", "05 M PIC X.\n"}, {"mm", "05 K PIC X.\n"}}},
        {"01 R.\nCOPY M", 0, "1 R 0 0 | 5 M X 1", "", {{"M", "05 M PIC X.\n"}}},  // the file's end closes the statement
        {testutil::sjis("01 R.\nCOPY 顧客.\n"), 0, "1 R 0 0 | 5 K X 1", "", {{"顧客.cpy", "05 K PIC X.\n"}}},
        {"01 R.\nCOPY NOPE.\n", -3, "1 R 0 0", refused("COPYの登録集原文[NOPE]が見つかりません", "COPY NOPE.")},
        {"COPY\n  .\n", -3, "", refused("COPYの後ろに登録集原文名が記述されていません", ".")},
        {"COPY A REPLACING ==X== BY ==Y==.\n", -3, "",
         refused("COPYのREPLACING指定はサポートしていません", "COPY A REPLACING ==X== BY ==Y==."), {{"A.cpy", "05 X PIC X.\n"}}},
        {"COPY A.\n", -3, "5 X X 1", refused(kSelf, "COPY A."), {{"A.cpy", "05 X PIC X.\nCOPY B.\n"}, {"B.cpy", "COPY A.\n"}}},
        {"COPY M1.\n", -3, "", refused("COPYの入れ子が深すぎます(登録集原文[M64])", "COPY M64."), chain}};
    for (const Case& c : cases) check(c);
}

// Letters after a lead byte are the second half of a double-byte character, whatever their case; elsewhere names
// ignore case.
TEST(CopybookRead, DoubleByteNamesKeepTheirBytes) {
    const std::pair<char, bool> cases[] = {{'\x80', true},  {'\x81', false}, {'\x9f', false}, {'\xa0', true},
                                           {'\xdf', true}, {'\xe0', false}, {'\xfc', false}, {'\xfd', true}};
    for (const auto& [first, sameName] : cases) {
        const std::string name = std::string(1, first) + "A", other = std::string(1, first) + "a";
        check({"05 " + name + " PIC X.\n05 R REDEFINES " + other + " PIC 9.\n", 0,
               "5 " + name + " X 1" + (sameName ? " S" : "") + " | 5 R 9 1=" + other + " D", ""});
    }
}

// A read error after the first block used to look like the end of the copybook.
TEST(CopybookRead, SourceThatFailsIsNotTheEnd) {
    testutil::TempDir dir;
    const std::string first = "01 R.\n05 A PIC X.\n";
    int calls = 0;
    CopyItems items;
    vokl::Log log;
    ASSERT_TRUE(log.create(dir.file("log.txt").c_str()));
    EXPECT_EQ(vokl::readCopybookFrom(log, "rec.cpy", [&](char* buffer, std::size_t) -> std::int64_t {
        return calls++ > 0 ? -1 : static_cast<std::int64_t>(first.copy(buffer, first.size()));
    }, items), -13);
    log.close();
    EXPECT_EQ(testutil::readText(dir.file("log.txt")), testutil::logLines("[rec.cpy]の読み込みに失敗しました\n"));
}

}  // namespace
