// Reading and validating record pattern files, and choosing the entry for a
// record by its keyword.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "general.h"
#include "pattern.h"
#include "testutil.h"

namespace {

using testutil::Bytes;
using testutil::bytes;
using testutil::logLines;
using vokl::PatternList;

struct ReadResult {
    std::int32_t code;
    std::string log;  // as written: Shift-JIS, CR LF
};

ReadResult readPattern(const std::string& path, std::int32_t codeOption, PatternList& list) {
    testutil::TempDir logDir;
    std::string logPath = logDir.file("log.txt");
    vokl::Log log;
    EXPECT_TRUE(log.create(logPath.c_str()));
    std::int32_t code = vokl::readPatternFile(log, path.c_str(), codeOption, list);
    log.close();
    return {code, testutil::readText(logPath)};
}

ReadResult readText(const std::string& text, std::int32_t codeOption, PatternList& list) {
    testutil::TempDir dir;
    std::string path = dir.file("p.ptn");
    testutil::writeFile(path, text);
    return readPattern(path, codeOption, list);
}

std::string patternFile() { return "p.ptn"; }

struct InvalidCase {
    const char* name;
    std::string text;
    std::int32_t code;
    std::string log;  // UTF-8, "%s" stands for the pattern path
};

void PrintTo(const InvalidCase& c, std::ostream* os) { *os << c.name; }

class InvalidPatternTest : public testing::TestWithParam<InvalidCase> {};

TEST_P(InvalidPatternTest, RefusedWithItsMessage) {
    const InvalidCase& c = GetParam();
    testutil::TempDir dir;
    std::string path = dir.file(patternFile());
    testutil::writeFile(path, c.text);
    PatternList list;
    list.entries.resize(1);  // whatever was there must not survive a failure
    ReadResult r = readPattern(path, 1, list);
    std::string expected = c.log;
    if (std::size_t at = expected.find("%s"); at != std::string::npos) expected.replace(at, 2, path);
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.log, logLines(expected)) << testutil::utf8(r.log);
    EXPECT_TRUE(list.entries.empty());
}

const std::string kNoneValid = "[%s]のファイルに有効なレコードパターンがありません\n";
const std::string kDigitsOnly = "レコードパターンの内容が数字のみです\n";
const std::string kKeywordBad = "レコードパターンのキーワード指定に誤りがあります\n";
const std::string kMissing = "レコードパターンが指定されていません\n";
const std::string kNOdd = "レコードパターンの[N]の文字数が 2 の倍数ではありません\n";
const std::string kMultiNoKeyword = "レコードパターンが複数指定されていますがキーワードが指定されていません\n";

std::string badChar(int column) {
    return "レコードパターンに認識できない文字が使われています(桁位置=" + std::to_string(column) + ")\n";
}
std::string conflict(int patternLen, int keywordLast) {
    return "レコードパターンの長さとキーワードの指定に矛盾があります(パターン長=" + std::to_string(patternLen) +
           "/キーワード位置+キーワード長=" + std::to_string(keywordLast) + ")\n";
}
std::string manyPoints(int column) {
    return "レコードパターンの数字項目に小数点が複数あります(桁位置=" + std::to_string(column) + ")\n";
}
std::string packedTooLong(int column) {
    return "レコードパターンの COMP-3 数字の桁数が 33 を超えています(桁位置=" + std::to_string(column) + ")\n";
}
std::string quoteInPacked(int column) {
    return "レコードパターンの COMP-3 数字の途中に引用符があります(桁位置=" + std::to_string(column) + ")\n";
}
const std::string kPositionTooLarge = "レコードパターンのキーワード位置が大きすぎます(桁位置=1)\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, InvalidPatternTest,
    testing::Values(
        InvalidCase{"emptyFile", "", -17, "[%s]のファイルサイズが 0 です\n"},
        InvalidCase{"onlyCommentsAndShortLines", "# layout\nX\n\n#XXXX\r\n", -17, kNoneValid},
        InvalidCase{"digitsOnly", "XX\n12345\n", -2, kDigitsOnly},
        InvalidCase{"ninesAreDigitsOnly", "9999\n", -2, kDigitsOnly},
        InvalidCase{"keywordWithoutSecondColon", "1:AB\n", -2, kKeywordBad},
        InvalidCase{"keywordWithoutPattern", "1:AB:\n", -2, kMissing},
        InvalidCase{"oddNRun", "XXNNN\n", -2, kNOdd},
        InvalidCase{"oddNRunEndedByComma", "NNN,NN\n", -2, kNOdd},
        // The unknown character is found before the N run it ends is counted.
        InvalidCase{"badCharAfterOddNRun", "NNN?\n", -2, badChar(4)},
        InvalidCase{"badChar", "XX?X\n", -2, badChar(3)},
        InvalidCase{"badCharColumnCountsKeyword", "1:A:XX?X\n", -2, badChar(7)},
        InvalidCase{"digitsNotBeforeColonArePattern", "12X\n", -2, badChar(1)},
        InvalidCase{"nulByteIsBadChar", std::string("XX\0X\n", 5), -2, badChar(3)},
        InvalidCase{"loneCarriageReturnIsBadChar", "XX\rX\n", -2, badChar(3)},
        InvalidCase{"keywordBeyondPattern", "3:ABCD:XXXX\n", -2, conflict(4, 6)},
        InvalidCase{"keywordBeyondPatternChecksBeforeMulti", "10:AB:XXXX\nXXXX\n", -2, conflict(4, 11)},
        InvalidCase{"multiPatternWithoutKeyword", "1:AB:XXXX\nXXXX\n", -2, kMultiNoKeyword},
        InvalidCase{"multiPatternPositionZero", "1:A:XX\n0:B:XX\n", -2, kMultiNoKeyword},
        InvalidCase{"multiPatternEmptyKeyword", "1:A:XX\n1::XX\n", -2, kMultiNoKeyword},
        // "a" has no kana EBCDIC code, so the keyword is empty.
        InvalidCase{"multiPatternUnmappableKeyword", "1:A:XX\n1:a:XX\n", -2, kMultiNoKeyword},
        InvalidCase{"zonedTwoPoints", "XSS.S.S\n", -2, manyPoints(6)},
        InvalidCase{"packedTwoPoints", "1:A:C.CC.C\n", -2, manyPoints(9)},
        InvalidCase{"packedAdjacentPoints", "CC..C\n", -2, manyPoints(4)},
        InvalidCase{"packedTooLong", "X," + std::string(34, 'C') + "\n", -2, packedTooLong(3)},
        InvalidCase{"packedTooLongAcrossPoint", std::string(20, 'P') + "." + std::string(14, 'P') + "\n", -2,
                    packedTooLong(1)},
        InvalidCase{"quoteInPackedRun", "CC\"CC\n", -2, quoteInPacked(3)},
        InvalidCase{"quoteAfterPointInPackedRun", "XP.\"P\n", -2, quoteInPacked(4)},
        InvalidCase{"positionBeyond32Bits", "4294967297:A:X\n", -2, kPositionTooLarge},
        InvalidCase{"keywordEndBeyond32Bits", "2147483647:AB:X\n", -2, kPositionTooLarge},
        InvalidCase{"largestPositionConflicts", "2147483647:A:X\n", -2, conflict(1, 2147483647)},
        InvalidCase{"firstErrorEndsReading", "XX?\nNNN\n", -2, badChar(3)}));

struct ValidCase {
    const char* name;
    std::string text;
    std::int32_t codeOption;
    // per entry: keywordPos, keyword bytes, pattern, recordLen
    struct Entry {
        std::int32_t keywordPos;
        std::string keyword;
        std::string pattern;
        std::int32_t recordLen;
    };
    std::vector<Entry> entries;
};

void PrintTo(const ValidCase& c, std::ostream* os) { *os << c.name; }

class ValidPatternTest : public testing::TestWithParam<ValidCase> {};

TEST_P(ValidPatternTest, ReadsEntries) {
    const ValidCase& c = GetParam();
    PatternList list;
    ReadResult r = readText(c.text, c.codeOption, list);
    ASSERT_EQ(r.code, 0) << testutil::utf8(r.log);
    EXPECT_EQ(r.log, "");
    ASSERT_EQ(list.entries.size(), c.entries.size());
    EXPECT_EQ(list.multi, c.entries.size() > 1);
    std::int32_t maxRecord = 0;
    std::int32_t maxPattern = 0;
    for (std::size_t i = 0; i < c.entries.size(); ++i) {
        const auto& want = c.entries[i];
        const vokl::PatternEntry& got = list.entries[i];
        EXPECT_EQ(got.keywordPos, want.keywordPos) << i;
        EXPECT_EQ(got.keyword, want.keyword) << i;
        EXPECT_EQ(got.keywordLen, static_cast<std::int32_t>(want.keyword.size())) << i;
        EXPECT_EQ(got.pattern, want.pattern) << i;
        EXPECT_EQ(got.patternLen, static_cast<std::int32_t>(want.pattern.size())) << i;
        EXPECT_EQ(got.recordLen, want.recordLen) << i;
        maxRecord = std::max(maxRecord, want.recordLen);
        maxPattern = std::max(maxPattern, static_cast<std::int32_t>(want.pattern.size()));
    }
    EXPECT_EQ(list.maxRecordLen, maxRecord);
    EXPECT_EQ(list.maxPatternLen, maxPattern);
}

using E = ValidCase::Entry;

INSTANTIATE_TEST_SUITE_P(
    Cases, ValidPatternTest,
    testing::Values(
        ValidCase{"lowerCaseFolded", "xxnn\n", 1, {E{0, "", "XXNN", 4}}},
        ValidCase{"packedOdd", "CCCCC", 1, {E{0, "", "CCCCC", 3}}},
        ValidCase{"packedPoint", "CCC.CC", 1, {E{0, "", "CCC.CC", 3}}},
        ValidCase{"packedEven", "CCCC\n", 1, {E{0, "", "CCCC", 3}}},
        ValidCase{"packedRunsSplitByComma", "C,C\n", 1, {E{0, "", "C,C", 2}}},
        ValidCase{"packedRunsSplitByLetter", "CCPP\n", 1, {E{0, "", "CCPP", 4}}},
        ValidCase{"packedRunAfterField", "CXC\n", 1, {E{0, "", "CXC", 3}}},
        ValidCase{"mixedFields", "XX,NNNN,S9\n", 1, {E{0, "", "XX,NNNN,S9", 8}}},
        ValidCase{"zonedPoint", "SS.S\n", 1, {E{0, "", "SS.S", 3}}},
        ValidCase{"quoteAfterPackedRun", "\"CC\",\"CC\"\n", 1, {E{0, "", "\"CC\",\"CC\"", 4}}},
        ValidCase{"onlyLiterals", " , ,\n", 1, {E{0, "", " , ,", 0}}},
        ValidCase{"packedWidest", std::string(33, 'p') + "\n", 1, {E{0, "", std::string(33, 'P'), 17}}},
        // A "." after the last letter is the engine's to report.
        ValidCase{"trailingPointLeftToEngine", "SS.,\n", 1, {E{0, "", "SS.,", 2}}},
        ValidCase{"leadingNinesArePattern", "99X\n", 1, {E{0, "", "99X", 3}}},
        ValidCase{"singleKeywordKept", "5:AB:XXXXXX\n", 1, {E{5, "\xC1\xC2", "XXXXXX", 6}}},
        ValidCase{"positionZero", "0:A:XX\n", 1, {E{0, "\xC1", "XX", 2}}},
        ValidCase{"keywordKana", "1:\xB1:XX\n", 1, {E{1, "\x81", "XX", 2}}},
        ValidCase{"keywordLowerCase", "1:a:XX\n", 2, {E{1, "\x81", "XX", 2}}},
        ValidCase{"keywordAsciiBracket", "1:]:XX\n", 3, {E{1, "\x5A", "XX", 2}}},
        ValidCase{"keywordOtherOptionIsAscii", "1:!:XX\n", 7, {E{1, "\x4F", "XX", 2}}},
        ValidCase{"keywordKanaBracket", "1:!:XX\n", 1, {E{1, "\x5A", "XX", 2}}},
        ValidCase{"unmappableByteEndsKeyword", "1:A]B:XXXX\n", 1, {E{1, "\xC1", "XXXX", 4}}},
        ValidCase{"commentsAndShortLinesSkipped", "# head\n\nX\n#1:A:NN\nXNN X\n", 1, {E{0, "", "XNN X", 4}}},
        ValidCase{"crLfLines", "1:A:XX\r\n2:B:NNNN\r\n", 1,
                  {E{1, "\xC1", "XX", 2}, E{2, "\xC2", "NNNN", 4}}},
        ValidCase{"lastLineWithoutLineFeed", "1:A:X9\n1:B:SSSS", 1,
                  {E{1, "\xC1", "X9", 2}, E{1, "\xC2", "SSSS", 4}}}));

// A line longer than one piece becomes two lines.
TEST(PatternPieces, LongLineIsReadInPieces) {
    std::string first = "1:A:" + std::string(65521 - 4, 'X');
    PatternList list;
    ReadResult r = readText(first + "1:B:NNNN\n", 1, list);
    ASSERT_EQ(r.code, 0) << testutil::utf8(r.log);
    ASSERT_EQ(list.entries.size(), 2u);
    EXPECT_EQ(list.entries[0].patternLen, 65521 - 4);
    EXPECT_EQ(list.entries[1].pattern, "NNNN");
    EXPECT_EQ(list.maxRecordLen, 65521 - 4);
    EXPECT_TRUE(list.multi);
}

TEST(PatternPieces, PieceHoldsItsLineFeed) {
    struct Case {
        std::size_t length;
        const char* end;
        std::int32_t patternLen;
    };
    // 65,520 bytes and the line feed fill one piece; a longer line leaves the
    // rest to a piece of its own, here too short to count.
    for (Case c : {Case{65520, "\n", 65520}, Case{65520, "\r\n", 65520}, Case{65521, "\n", 65521},
                   Case{65522, "\n", 65521}, Case{65522, "", 65521}}) {
        PatternList list;
        ReadResult r = readText(std::string(c.length, 'X') + c.end, 1, list);
        ASSERT_EQ(r.code, 0) << c.length;
        ASSERT_EQ(list.entries.size(), 1u) << c.length;
        EXPECT_EQ(list.entries[0].patternLen, c.patternLen) << c.length;
    }
}

TEST(PatternPieces, CommentLongerThanPieceContinuesAsPattern) {
    PatternList list;
    ReadResult r = readText(std::string("#").append(65520, '-').append("XXNN\n"), 1, list);
    ASSERT_EQ(r.code, 0) << testutil::utf8(r.log);
    ASSERT_EQ(list.entries.size(), 1u);
    EXPECT_EQ(list.entries[0].pattern, "XXNN");
}

TEST(PatternFile, MissingFileCannotBeOpened) {
    testutil::TempDir dir;
    std::string path = dir.file("none.ptn");
    PatternList list;
    ReadResult r = readPattern(path, 1, list);
    EXPECT_EQ(r.code, -12);
    EXPECT_EQ(r.log, logLines("[" + path + "]のオープンに失敗しました\n"));
}

TEST(PatternFile, FolderCannotBeOpened) {
    testutil::TempDir dir;
    PatternList list;
    const std::string path = dir.path().string();
    ReadResult r = readPattern(path, 1, list);
    EXPECT_EQ(r.code, -12);
    EXPECT_EQ(r.log, logLines("[" + path + "]のオープンに失敗しました\n"));
}

TEST(PatternFile, NullPathCannotBeOpened) {
    testutil::TempDir logDir;
    vokl::Log log;
    PatternList list;
    EXPECT_EQ(vokl::readPatternFile(log, nullptr, 1, list), -12);
}

// A file whose status shows data but whose read fails must not pass for an
// empty pattern file.
TEST(PatternFile, ReadErrorIsReported) {
    const std::string path = "/sys/devices/software/power/autosuspend_delay_ms";
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) GTEST_SKIP() << "no file that fails to read";
    vokl::File probe;
    char buffer[8];
    if (!probe.open(path.c_str(), vokl::File::Mode::ReadBinary) || probe.read(buffer, sizeof buffer) >= 0) {
        GTEST_SKIP() << "the file reads without error here";
    }
    PatternList list;
    ReadResult r = readPattern(path, 1, list);
    EXPECT_EQ(r.code, -22);
    EXPECT_EQ(r.log, logLines("[" + path + "]の読み込みに失敗しました\n"));
    EXPECT_TRUE(list.entries.empty());
}

TEST(PatternFile, WithoutLogStillGivesCode) {
    testutil::TempDir dir;
    std::string path = dir.file("p.ptn");
    testutil::writeFile(path, std::string("12345\n"));
    vokl::Log log;  // not created: swallows every line
    PatternList list;
    EXPECT_EQ(vokl::readPatternFile(log, path.c_str(), 1, list), -2);
}

// Choosing the entry for a record.
struct ChoiceCase {
    const char* name;
    std::string text;
    Bytes record;
    bool skipShiftCodes;
    std::size_t entry;
};

void PrintTo(const ChoiceCase& c, std::ostream* os) { *os << c.name; }

class ChoosePatternTest : public testing::TestWithParam<ChoiceCase> {};

TEST_P(ChoosePatternTest, ChoosesEntry) {
    const ChoiceCase& c = GetParam();
    PatternList list;
    ASSERT_EQ(readText(c.text, 3, list).code, 0);
    // Exactly the bytes read, so that a look past them is caught.
    std::vector<std::uint8_t> record(c.record);
    const vokl::PatternEntry& chosen =
        vokl::choosePattern(list, record.empty() ? nullptr : record.data(), record.size(), c.skipShiftCodes);
    EXPECT_EQ(&chosen, &list.entries[c.entry]);
}

const std::string kTwo = "1:A:XXXX\n1:B:XXNN\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, ChoosePatternTest,
    testing::Values(
        ChoiceCase{"firstMatches", kTwo, bytes({0xC1, 0x40, 0x40, 0x40}), true, 0},
        ChoiceCase{"secondMatches", kTwo, bytes({0xC2, 0x40, 0xB0, 0xA1}), true, 1},
        ChoiceCase{"noneMatchesTakesLast", kTwo, bytes({0xE9, 0x40, 0x40, 0x40}), true, 1},
        ChoiceCase{"emptyRecordTakesLast", kTwo, Bytes{}, true, 1},
        ChoiceCase{"shiftCodeBeforeKeyword", kTwo, bytes({0x28, 0xC1, 0x40, 0x40}), true, 0},
        ChoiceCase{"twoShiftCodesBeforeKeyword", kTwo, bytes({0x38, 0x29, 0xC1, 0x40}), true, 0},
        ChoiceCase{"shiftCodeKeptAsData", kTwo, bytes({0x28, 0xC1, 0x40, 0x40}), false, 1},
        ChoiceCase{"shiftCodeAfterKeywordIgnored", "1:A:XXXX\n1:B:XXXX\n", bytes({0xC2, 0x28, 0x40}), true, 1},
        ChoiceCase{"shiftCodeFurtherIn", "3:AB:XXXX\n1:Z:XXXX\n", bytes({0x40, 0x29, 0x40, 0xC1, 0xC2}), true, 0},
        // Under a packed field 0x28 is a digit, not a shift code.
        ChoiceCase{"shiftByteUnderPackedField", "2:A:CCXX\n2:B:XXXX\n", bytes({0x28, 0xC1, 0xC2, 0x40}), true, 0},
        ChoiceCase{"shiftByteUnderTextField", "2:A:XXXX\n2:B:XXXX\n", bytes({0x28, 0xC1, 0xC2, 0x40}), true, 1},
        ChoiceCase{"keywordPastRecordEnd", "4:A:XXXX\n1:B:XXXX\n", bytes({0xC2, 0x40, 0x40}), true, 1},
        ChoiceCase{"keywordCutByRecordEnd", "3:AB:XXXX\n1:B:XXXX\n", bytes({0xC2, 0x40, 0xC1}), true, 1},
        ChoiceCase{"shiftCodesPushKeywordPastEnd", "1:A:XXXX\n1:B:XXXX\n", bytes({0x28, 0x28}), true, 1},
        ChoiceCase{"shiftCodesBeyondPattern", "1:A:X\n1:B:X\n", bytes({0x28, 0x28, 0x28, 0xC1}), true, 0},
        ChoiceCase{"longerKeyword", "2:BC:XXXX\n1:B:XXXX\n", bytes({0xC2, 0xC2, 0xC3, 0x40}), true, 0},
        ChoiceCase{"singlePatternIgnoresKeyword", "1:A:XXXX\n", bytes({0xE9, 0x40}), true, 0}));

}  // namespace
