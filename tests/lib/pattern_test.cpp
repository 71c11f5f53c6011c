// Reading and validating record pattern files, and choosing the entry for a record by its keyword.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "general.h"
#include "pattern.h"
#include "testutil.h"

namespace {

using testutil::hex;
using vokl::PatternList;

struct ReadResult { std::int32_t code; std::string log; /* UTF-8, CR LF */ };

ReadResult readPattern(const std::string& path, std::int32_t codeOption, PatternList& list) {
    testutil::TempDir logDir;
    vokl::Log log;
    EXPECT_TRUE(log.create(logDir.file("log.txt").c_str()));
    const std::int32_t code = vokl::readPatternFile(log, path.c_str(), codeOption, list);
    log.close();
    return {code, testutil::utf8(testutil::readText(logDir.file("log.txt")))};
}

ReadResult readText(const std::string& text, std::int32_t codeOption, PatternList& list, const std::string& path = "") {
    testutil::TempDir dir;
    const std::string file = path.empty() ? dir.file("p.ptn") : path;
    testutil::writeFile(file, text);
    return readPattern(file, codeOption, list);
}

std::string at(const std::string& what, int column) {
    return std::string("レコードパターン").append(what).append("(桁位置=").append(std::to_string(column)).append(")\n");
}
std::string badChar(int column) { return at("に認識できない文字が使われています", column); }
std::string conflict(int length, int last) {
    return "レコードパターンの長さとキーワードの指定に矛盾があります(パターン長=" + std::to_string(length) + "/キーワード位置+キーワード長=" + std::to_string(last) + ")\n";
}
const std::string kNoneValid = "[%s]のファイルに有効なレコードパターンがありません\n";
const std::string kDigitsOnly = "レコードパターンの内容が数字のみです\n";
const std::string kMultiNoKeyword = "レコードパターンが複数指定されていますがキーワードが指定されていません\n";
const std::string kNOdd = "レコードパターンの[N]の文字数が 2 の倍数ではありません\n";
const std::string kPoints = "の数字項目に小数点が複数あります", kPackedLong = "の COMP-3 数字の桁数が 33 を超えています";
const std::string kQuoteIn = "の COMP-3 数字の途中に引用符があります", kKeywordFar = "のキーワード位置が大きすぎます";

// Refused with the first fault's message; whatever the list held is gone.
TEST(PatternFile, InvalidFilesAreRefused) {
    const struct { std::string text; std::int32_t code; std::string log; /* "%s": the path */ } cases[] = {
        {"", -17, "[%s]のファイルサイズが 0 です\n"}, {"# layout\nX\n\n#XXXX\r\n", -17, kNoneValid},
        {"XX\n12345\n", -2, kDigitsOnly}, {"9999\n", -2, kDigitsOnly},
        {"1:AB\n", -2, "レコードパターンのキーワード指定に誤りがあります\n"}, {"1:AB:\n", -2, "レコードパターンが指定されていません\n"},
        {"XXNNN\n", -2, kNOdd}, {"NNN,NN\n", -2, kNOdd},
        {"NNN?\n", -2, badChar(4)},  // the unknown character is found before the odd run is counted
        {"XX?X\n", -2, badChar(3)}, {"1:A:XX?X\n", -2, badChar(7)}, {"12X\n", -2, badChar(1)},
        {std::string("XX\0X\n", 5), -2, badChar(3)}, {"XX\rX\n", -2, badChar(3)},
        {"3:ABCD:XXXX\n", -2, conflict(4, 6)}, {"10:AB:XXXX\nXXXX\n", -2, conflict(4, 11)},
        {"1:AB:XXXX\nXXXX\n", -2, kMultiNoKeyword}, {"1:A:XX\n0:B:XX\n", -2, kMultiNoKeyword},
        {"1:A:XX\n1::XX\n", -2, kMultiNoKeyword}, {"1:A:XX\n1:a:XX\n", -2, kMultiNoKeyword},  // "a" has no kana EBCDIC code: an empty keyword
        {"XSS.S.S\n", -2, at(kPoints, 6)}, {"1:A:C.CC.C\n", -2, at(kPoints, 9)}, {"CC..C\n", -2, at(kPoints, 4)},
        {"X," + std::string(34, 'C') + "\n", -2, at(kPackedLong, 3)}, {std::string(20, 'P') + "." + std::string(14, 'P') + "\n", -2, at(kPackedLong, 1)},
        {"CC\"CC\n", -2, at(kQuoteIn, 3)}, {"XP.\"P\n", -2, at(kQuoteIn, 4)},
        {"4294967297:A:X\n", -2, at(kKeywordFar, 1)}, {"2147483647:AB:X\n", -2, at(kKeywordFar, 1)},
        {"2147483647:A:X\n", -2, conflict(1, 2147483647)}, {"XX?\nNNN\n", -2, badChar(3)}};
    testutil::TempDir dir;
    const std::string path = dir.file("p.ptn");
    for (const auto& c : cases) {
        PatternList list;
        list.entries.resize(1);
        const ReadResult r = readText(c.text, 1, list, path);
        EXPECT_EQ(r.code, c.code) << c.text;
        EXPECT_EQ(r.log, testutil::replaceAll(c.log, {{"%s", path}, {"\n", "\r\n"}})) << c.text;
        EXPECT_TRUE(list.entries.empty());
    }
}

// Entries as "position/keyword hex/pattern/record length", one per line.
std::string describe(const PatternList& list) {
    std::ostringstream out;
    for (const vokl::PatternEntry& e : list.entries) {
        out << e.keywordPos << '/';
        for (unsigned char k : e.keyword) out << std::uppercase << std::hex << static_cast<int>(k) << std::dec;
        out << '/' << e.pattern << '/' << e.recordLen << '\n';
    }
    return out.str();
}

TEST(PatternFile, ValidFilesAreRead) {
    const struct { std::string text; std::int32_t codeOption; std::string entries; } cases[] = {
        {"xxnn\n", 1, "0//XXNN/4\n"}, {"CCCCC", 1, "0//CCCCC/3\n"}, {"CCC.CC", 1, "0//CCC.CC/3\n"}, {"CCCC\n", 1, "0//CCCC/3\n"},
        {"C,C\n", 1, "0//C,C/2\n"}, {"CCPP\n", 1, "0//CCPP/4\n"}, {"CXC\n", 1, "0//CXC/3\n"}, {"XX,NNNN,S9\n", 1, "0//XX,NNNN,S9/8\n"},
        {"SS.S\n", 1, "0//SS.S/3\n"}, {"\"CC\",\"CC\"\n", 1, "0//\"CC\",\"CC\"/4\n"}, {" , ,\n", 1, "0// , ,/0\n"},
        {std::string(33, 'p') + "\n", 1, "0//" + std::string(33, 'P') + "/17\n"},
        {"SS.,\n", 1, "0//SS.,/2\n"},  // a "." after the last letter is the engine's to report
        {"99X\n", 1, "0//99X/3\n"}, {"5:AB:XXXXXX\n", 1, "5/C1C2/XXXXXX/6\n"}, {"0:A:XX\n", 1, "0/C1/XX/2\n"},
        {"1:\xB1:XX\n", 1, "1/81/XX/2\n"}, {"1:a:XX\n", 2, "1/81/XX/2\n"}, {"1:]:XX\n", 3, "1/5A/XX/2\n"},
        {"1:!:XX\n", 7, "1/4F/XX/2\n"}, {"1:!:XX\n", 1, "1/5A/XX/2\n"},
        {"1:A]B:XXXX\n", 1, "1/C1/XXXX/4\n"},  // a byte without a code ends the keyword
        {"# head\n\nX\n#1:A:NN\nXNN X\n", 1, "0//XNN X/4\n"},
        {"1:A:XX\r\n2:B:NNNN\r\n", 1, "1/C1/XX/2\n2/C2/NNNN/4\n"}, {"1:A:X9\n1:B:SSSS", 1, "1/C1/X9/2\n1/C2/SSSS/4\n"},
        // A line longer than a piece of 65,521 bytes is read as two lines; a
        // piece holds its line feed; a comment that long goes on as a pattern.
        {"1:A:" + std::string(65517, 'X') + "1:B:NNNN\n", 1, "1/C1/" + std::string(65517, 'X') + "/65517\n1/C2/NNNN/4\n"},
        {std::string(65520, 'X') + "\r\n", 1, "0//" + std::string(65520, 'X') + "/65520\n"},
        {std::string(65522, 'X') + "\n", 1, "0//" + std::string(65521, 'X') + "/65521\n"},
        {"#" + std::string(65520, '-').append("XXNN\n"), 1, "0//XXNN/4\n"}};
    for (const auto& c : cases) {
        PatternList list;
        const ReadResult r = readText(c.text, c.codeOption, list);
        ASSERT_TRUE(r.code == 0 && r.log.empty()) << c.text.substr(0, 40) << r.log;
        EXPECT_EQ(describe(list), c.entries) << c.text.substr(0, 40);
        EXPECT_EQ(list.multi, list.entries.size() > 1);
    }
}

TEST(PatternFile, FilesThatCannotBeRead) {
    testutil::TempDir dir;
    PatternList list;
    for (const std::string& path : {dir.file("none.ptn"), dir.path().string()}) {
        const ReadResult r = readPattern(path, 1, list);
        EXPECT_EQ(r.code, -12);
        EXPECT_EQ(r.log, "[" + path + "]のオープンに失敗しました\r\n");
    }
    vokl::Log noLog;  // not created: swallows every line, the codes stay
    EXPECT_EQ(vokl::readPatternFile(noLog, nullptr, 1, list), -12);
    // A file whose status shows data but whose read fails is no empty pattern file.
    const std::string failing = "/sys/devices/software/power/autosuspend_delay_ms";
    vokl::File probe;
    char buffer[8];
    if (!probe.open(failing.c_str(), vokl::File::Mode::ReadBinary) || probe.read(buffer, sizeof buffer) >= 0) GTEST_SKIP() << "no file that fails to read";
    EXPECT_EQ(readPattern(failing, 1, list).code, -22);
    EXPECT_EQ(readPattern(failing, 1, list).log, "[" + failing + "]の読み込みに失敗しました\r\n");
}

TEST(ChoosePattern, FirstMatchingKeywordElseTheLast) {
    const std::string two = "1:A:XXXX\n1:B:XXNN\n";
    const struct { std::string text; const char* record /* hex */; bool skipShiftCodes; std::size_t entry; } cases[] = {
        {two, "C1404040", true, 0}, {two, "C240B0A1", true, 1}, {two, "E9404040", true, 1}, {two, "", true, 1},
        {two, "28C14040", true, 0}, {two, "3829C140", true, 0}, {two, "28C14040", false, 1},
        {"1:A:XXXX\n1:B:XXXX\n", "C22840", true, 1}, {"3:AB:XXXX\n1:Z:XXXX\n", "402940C1C2", true, 0},
        {"2:A:CCXX\n2:B:XXXX\n", "28C1C240", true, 0},  // under a packed field 0x28 is a digit, not a shift code
        {"2:A:XXXX\n2:B:XXXX\n", "28C1C240", true, 1}, {"4:A:XXXX\n1:B:XXXX\n", "C24040", true, 1},
        {"3:AB:XXXX\n1:B:XXXX\n", "C240C1", true, 1}, {"1:A:XXXX\n1:B:XXXX\n", "2828", true, 1},
        {"1:A:X\n1:B:X\n", "282828C1", true, 0}, {"2:BC:XXXX\n1:B:XXXX\n", "C2C2C340", true, 0},
        {"1:A:XXXX\n", "E940", true, 0}};
    for (const auto& c : cases) {
        PatternList list;
        ASSERT_EQ(readText(c.text, 3, list).code, 0);
        const testutil::Bytes record = hex(c.record);  // exactly the bytes read, so a look past them shows
        EXPECT_EQ(&vokl::choosePattern(list, record.empty() ? nullptr : record.data(), record.size(), c.skipShiftCodes),
                  &list.entries[c.entry]) << c.text << " " << c.record;
    }
}

// The keyword index against the plain walk over the entries: keywords that share positions and bytes, packed fields in
// front of them, records full of shift codes; lists small and large.
TEST(ChoosePattern, IndexChoosesAsThePlainWalk) {
    std::mt19937 rng(14);
    const std::uint8_t bytes[] = {0xC1, 0xC2, 0x28, 0x38, 0x29};
    int matched = 0;
    for (int list = 0; list < 150; ++list) {
        std::string text;
        const int entries = 2 + static_cast<int>(rng() % (list % 10 == 0 ? 400 : 12));
        for (int e = 0; e < entries; ++e) {
            std::string keyword(1 + rng() % 2, 'A');
            for (char& k : keyword) k = "AB"[rng() % 2];
            text += std::to_string(1 + rng() % 4) + ":" + keyword + ":";
            for (int k = 0; k < 8; ++k) text += "XCP"[rng() % 3 == 0 ? 1 + rng() % 2 : 0];
            text += "\n";
        }
        PatternList patterns;
        ASSERT_EQ(readText(text, 3, patterns).code, 0);
        for (int r = 0; r < 40; ++r) {
            testutil::Bytes record(rng() % 10);
            for (auto& b : record) b = bytes[rng() % (r % 2 ? 5 : 2)];
            for (bool skip : {true, false}) {
                const auto* got = &vokl::choosePattern(patterns, record.data(), record.size(), skip);
                ASSERT_EQ(got, &vokl::choosePatternReference(patterns, record.data(), record.size(), skip))
                    << text << testing::PrintToString(record) << skip;
                matched += got != &patterns.entries.back();
            }
        }
    }
    EXPECT_GT(matched, 2500);
}

}  // namespace
