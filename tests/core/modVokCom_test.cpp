// The window's rules and helpers that need no window. The command line, the
// version message texts and the trimming bits are checked where the window
// uses them (tst_frmVokl, tst_rundriver).
#include "modVokCom.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "testutil.h"

namespace {

using vok::ChgExt;

TEST(ChkReady1, NeedsBothPathsAndAVariant) {
    EXPECT_TRUE(vok::ChkReady1("a.txt", "a.bin", 1));
    EXPECT_TRUE(vok::ChkReady1("a.txt", "a.bin", 9));
    EXPECT_FALSE(vok::ChkReady1("", "a.bin", 1));
    EXPECT_FALSE(vok::ChkReady1("a.txt", "", 1));
    EXPECT_FALSE(vok::ChkReady1("a.txt", "a.bin", 0));
}

struct Ready2Case {
    const char* jef;
    const char* sjs;
    const char* ptn;
    int usePattern, ebcdic, addCrLf, recSize;
    bool ready;
};

class ChkReady2Test : public testing::TestWithParam<Ready2Case> {};

TEST_P(ChkReady2Test, Rule) {
    const Ready2Case& c = GetParam();
    EXPECT_EQ(vok::ChkReady2(c.jef, c.sjs, c.ptn, c.usePattern, c.ebcdic, c.addCrLf, c.recSize), c.ready);
}

INSTANTIATE_TEST_SUITE_P(Cases, ChkReady2Test, testing::Values(
    Ready2Case{"a.bin", "a.txt", "_********_", 0, 1, 0, 0, true},
    Ready2Case{"", "a.txt", "_********_", 0, 1, 0, 0, false},
    Ready2Case{"a.bin", "", "_********_", 0, 1, 0, 0, false},
    Ready2Case{"a.bin", "a.txt", "_********_", 0, 0, 0, 0, false},
    Ready2Case{"a.bin", "a.txt", "", 1, 3, 0, 0, false},         // pattern box empty
    Ready2Case{"a.bin", "a.txt", "a.ptn", 1, 3, 0, 0, true},
    Ready2Case{"a.bin", "a.txt", "", 0, 3, 0, 0, true},           // empty but not used
    Ready2Case{"a.bin", "a.txt", "_********_", 0, 2, 1, 0, false}, // line ends without length
    Ready2Case{"a.bin", "a.txt", "_********_", 0, 2, 1, 1, true},
    Ready2Case{"a.bin", "a.txt", "_********_", 0, 2, 1, 32760, true},
    Ready2Case{"a.bin", "a.txt", "_********_", 0, 2, 1, 32761, false},
    Ready2Case{"a.bin", "a.txt", "_********_", 0, 2, 1, -5, false},
    Ready2Case{"a.bin", "a.txt", "_********_", 0, 2, 0, 99999, true}));  // length unused

TEST(ChkReady3, SeparatorNeedsAKind) {
    EXPECT_TRUE(vok::ChkReady3("a.cbl", "a.ptn", false, 0));
    EXPECT_FALSE(vok::ChkReady3("a.cbl", "a.ptn", true, 0));
    EXPECT_TRUE(vok::ChkReady3("a.cbl", "a.ptn", true, 2));
    EXPECT_FALSE(vok::ChkReady3("", "a.ptn", false, 0));
    EXPECT_FALSE(vok::ChkReady3("a.cbl", "", false, 0));
}

TEST(ChgExt, ReplacesOrAppends) {
    const struct {
        const char* path;
        const char* ext;
        const char* expected;
    } cases[] = {
        {"/data/a.txt", "bin", "/data/a.bin"},
        {"/data/a.TXT", "bin", "/data/a.bin"},
        {"/data/a.b.c", "ptn", "/data/a.b.ptn"},
        {"/data/a", "txt", "/data/a.txt"},
        {"a.", "txt", "a.txt"},
        {"", "txt", ".txt"},
        {"/データ/売上.bin", "txt", "/データ/売上.txt"},
        // A dotted folder does not move the file up.
        {"/home/u/data.d/file", "bin", "/home/u/data.d/file.bin"},
        {"/home/u/v1.2/", "bin", "/home/u/v1.2/.bin"},
    };
    for (const auto& c : cases) EXPECT_EQ(ChgExt(c.path, c.ext), c.expected) << c.path;
}

struct RecSizeCase {
    const char* line;
    int size;
};

class PtnLineRecSize : public testing::TestWithParam<RecSizeCase> {};

TEST_P(PtnLineRecSize, Counts) { EXPECT_EQ(vok::ptnLineRecSize(GetParam().line), GetParam().size); }

INSTANTIATE_TEST_SUITE_P(Cases, PtnLineRecSize, testing::Values(
    RecSizeCase{"A:XXX,PPPPP", 6},
    RecSizeCase{"PPCC", 4},
    RecSizeCase{"PCP", 3},
    RecSizeCase{"Pp", 2},                 // different letters, two runs
    RecSizeCase{"CCC.CC", 3},             // "." is passed over, the run goes on
    RecSizeCase{"CC CC", 4},
    RecSizeCase{"xxnn", 4},
    RecSizeCase{"XX,NNNN,S9", 8},
    RecSizeCase{"10:AB:XXXX", 4},
    RecSizeCase{"1:A:B:XX", 2},           // only the text after the last ':'
    RecSizeCase{"  , ,", 0},
    RecSizeCase{"", 0},
    RecSizeCase{"\x8A\x58X", 1},          // kanji with an 'X' trail byte is one character
    RecSizeCase{"\xB1X", 1}));            // half-width katakana

TEST(PtnLineRecSize, OverflowGivesZero) {
    EXPECT_EQ(vok::ptnLineRecSize(std::string(32767, 'X')), 32767);
    EXPECT_EQ(vok::ptnLineRecSize(std::string(32768, 'X')), 0);
    EXPECT_EQ(vok::ptnLineRecSize(std::string(32768, 'C')), 0);
    EXPECT_EQ(vok::ptnLineRecSize(std::string(70000, 'X')), 0);
}

TEST(PtnRecSize, FirstPatternLineOfTheFile) {
    testutil::TempDir dir;
    const std::string ptn = dir.file("a.ptn");
    testutil::writeFile(ptn, std::string("# comment\r\n\r\nA:XXX,PPPPP\r\nXX\r\n"));
    EXPECT_EQ(vok::PtnRecSize(ptn), 6);
    testutil::writeFile(ptn, std::string("#only\n#comments\n"));
    EXPECT_EQ(vok::PtnRecSize(ptn), 0);
    testutil::writeFile(ptn, std::string("XXXX"));  // no line end
    EXPECT_EQ(vok::PtnRecSize(ptn), 4);
    EXPECT_EQ(vok::PtnRecSize(dir.file("missing.ptn")), 0);
    EXPECT_EQ(vok::PtnRecSize(dir.path().string()), 0);  // a folder
}

TEST(Version, TextAndComparison) {
    const struct {
        float value;
        const char* text;
        bool older;
    } cases[] = {{110.0f, "1.10", false}, {105.0f, "1.05", true}, {200.0f, "2.00", false},
                 {1000.0f, "10.00", false}, {90.0f, "0.90", true}, {-110.0f, "-1.10", true}};
    for (const auto& c : cases) {
        EXPECT_EQ(vok::versionText(c.value), c.text);
        EXPECT_EQ(vok::versionOlder(c.text), c.older) << c.text;
    }
}

struct RecSizeTextCase {
    const char* text;
    vok::RecSizeText::Kind kind;
    int value;
};

class ReadRecSize : public testing::TestWithParam<RecSizeTextCase> {};

TEST_P(ReadRecSize, Reads) {
    const vok::RecSizeText r = vok::readRecSize(GetParam().text);
    EXPECT_EQ(r.kind, GetParam().kind) << GetParam().text;
    EXPECT_EQ(r.value, GetParam().value) << GetParam().text;
}

using K = vok::RecSizeText::Kind;
INSTANTIATE_TEST_SUITE_P(Cases, ReadRecSize, testing::Values(
    RecSizeTextCase{"", K::NotNumber, 0},
    RecSizeTextCase{"abc", K::NotNumber, 0},
    RecSizeTextCase{"12a", K::NotNumber, 0},
    RecSizeTextCase{".", K::NotNumber, 0},
    RecSizeTextCase{"80", K::Number, 80},
    RecSizeTextCase{" 80 ", K::Number, 80},
    RecSizeTextCase{"-5", K::Number, -5},
    RecSizeTextCase{"2.5", K::Number, 2},
    RecSizeTextCase{"3.5", K::Number, 4},
    RecSizeTextCase{"32760", K::Number, 32760},
    RecSizeTextCase{"2147483647", K::Number, 2147483647},
    RecSizeTextCase{"2147483648", K::Overflow, 0},
    RecSizeTextCase{"9999999999", K::Overflow, 0},
    RecSizeTextCase{"99999999999999999999999999", K::Overflow, 0}));

TEST(LeadingNumber, DigitsOnly) {
    EXPECT_EQ(vok::leadingNumber(""), 0);
    EXPECT_EQ(vok::leadingNumber("80"), 80);
    EXPECT_EQ(vok::leadingNumber("12ab"), 12);
    EXPECT_EQ(vok::leadingNumber("x12"), 0);
    EXPECT_EQ(vok::leadingNumber("99999999999"), std::numeric_limits<std::int32_t>::max());
}

}  // namespace
