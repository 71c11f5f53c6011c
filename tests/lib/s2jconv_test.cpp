// s2jconv: bytes in, bytes, result and log lines out; block edges against a
// byte-by-byte reference; every failure and what it leaves on disk.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "messages.h"
#include "s2jconv.h"
#include "tblank.h"
#include "tblknj.h"
#include "testutil.h"

namespace {

using testutil::Bytes;
using testutil::bytes;
using testutil::logLines;
using testutil::TempDir;

struct Outcome {
    std::int32_t result;
    Bytes output;
    std::string log;
};

Outcome convertFile(const Bytes& input, int code, int shift) {
    TempDir dir;
    const std::string in = dir.file("in.txt"), out = dir.file("out.jef"), log = dir.file("vok.log");
    testutil::writeFile(in, input);
    const std::int32_t rc = s2jconv(1, code, shift, in.c_str(), out.c_str(), log.c_str());
    return {rc, testutil::readFile(out), testutil::readText(log)};
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes repeated(int value, std::size_t count) { return Bytes(count, static_cast<std::uint8_t>(value)); }

// ---------------------------------------------------------------------------
// The rules written out again byte by byte, the whole file at once: no blocks,
// a running column counter.

std::string formatLine(const char* format, unsigned shown, long line, int column) {
    char text[256];
    std::snprintf(text, sizeof text, format, shown, line, column);
    std::string out;
    for (const char* c = text; *c; ++c) {
        if (*c == '\n') out += '\r';
        out += *c;
    }
    return out;
}

Outcome reference(const Bytes& in, int code, int shift) {
    Outcome r{0, {}, {}};
    const vokl::ByteTable* table = code == 1 || code == 2 ? &vokl::jis8ToEbcdic(vokl::SbVariant::Kana)
                                   : code == 3            ? &vokl::jis8ToEbcdic(vokl::SbVariant::Lower)
                                   : code == 9            ? nullptr
                                                          : &vokl::jis8ToEbcdic(vokl::SbVariant::Ascii);
    long line = 1, lineFeeds = 0;
    int column = 1, errors = 0;
    bool run = false;
    auto error = [&](const char* format, unsigned shown) {
        ++errors;
        if (errors <= 100) r.log += formatLine(format, shown, line, column);
        if (errors == 101) r.log += logLines("変換エラーが100件を超えています\n");
    };
    for (std::size_t i = 0; i < in.size();) {
        const unsigned b = in[i];
        if ((b >= 0x80 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) {
            if (i + 1 == in.size()) {
                error(vokl::msg::kMsgSjisToJefErrorSingle, b);
                r.output.push_back(0x20);
                ++i;
                continue;
            }
            if (shift == 1 && !run) r.output.push_back(0x28), run = true;
            const unsigned sj = b * 256 + in[i + 1];
            const std::uint8_t* jef = vokl::sjisToJef(sj);
            if (jef[0] == 0 && jef[1] == 0) {
                error(vokl::msg::kMsgSjisToJefError, sj);
                r.output.insert(r.output.end(), {0x40, 0x40});
            } else {
                r.output.insert(r.output.end(), {jef[0], jef[1]});
            }
            i += 2;
            column += 2;
        } else if (b == 0x0D) {
            ++i, ++column;
        } else if (b == 0x0A) {
            ++i, ++lineFeeds, ++line, column = 1;
        } else {
            if (shift == 1 && run) r.output.push_back(0x29), run = false;
            unsigned c = code == 2 && b >= 0x61 && b <= 0x7A ? b - 0x20 : b;
            unsigned v = table ? (*table)[c] : c;
            if (v == 0) error(vokl::msg::kMsgJisToEbcdicError, c), v = 0x40;
            r.output.push_back(static_cast<std::uint8_t>(v));
            ++i, ++column;
        }
    }
    if (shift == 1 && run) r.output.push_back(0x29);
    r.result = errors ? -1 : static_cast<std::int32_t>(lineFeeds);
    return r;
}

// ---------------------------------------------------------------------------
// Cases by rule.

struct Case {
    const char* name;
    Bytes input;
    int code;
    int shift;
    Bytes output;
    std::int32_t result;
    const char* log;  // UTF-8, "\n" line ends
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class S2jCase : public testing::TestWithParam<Case> {};

TEST_P(S2jCase, ConvertsAsTheRulesSay) {
    const Case& c = GetParam();
    const Outcome got = convertFile(c.input, c.code, c.shift);
    EXPECT_EQ(got.output, c.output);
    EXPECT_EQ(got.result, c.result);
    EXPECT_EQ(got.log, logLines(c.log)) << testutil::utf8(got.log);
    // The fast path must agree with the plain reading of the rules.
    const Outcome ref = reference(c.input, c.code, c.shift);
    EXPECT_EQ(got.output, ref.output);
    EXPECT_EQ(got.log, ref.log);
}

const Case kCases[] = {
    {"AsciiLineEndsRemoved", bytes({0x41, 0x42, 0x43, 0x0D, 0x0A}), 4, 0, bytes({0xC1, 0xC2, 0xC3}), 1, ""},
    {"NoLineFeedCountsZero", bytes({0x41, 0x0D}), 4, 0, bytes({0xC1}), 0, ""},
    {"LastLineWithoutLineFeedNotCounted", bytes({0x41, 0x0A, 0x42}), 4, 0, bytes({0xC1, 0xC2}), 1, ""},
    {"ShiftCodesAroundKanji", bytes({0x88, 0x9F, 0x41, 0x0D, 0x0A}), 4, 1, bytes({0x28, 0xB0, 0xA1, 0x29, 0xC1}), 1, ""},
    {"ClosingShiftAtEndOfInput", bytes({0x41, 0x88, 0x9F}), 4, 1, bytes({0xC1, 0x28, 0xB0, 0xA1, 0x29}), 0, ""},
    {"RunContinuesAcrossLineEnds", bytes({0x88, 0x9F, 0x0D, 0x0A, 0x88, 0x9F, 0x0D, 0x0A}), 4, 1,
     bytes({0x28, 0xB0, 0xA1, 0xB0, 0xA1, 0x29}), 2, ""},
    {"ShiftSwitchOtherThanOneIsOff", bytes({0x88, 0x9F, 0x41}), 4, 2, bytes({0xB0, 0xA1, 0xC1}), 0, ""},
    {"KanaVariantHasNoLowerCase", bytes({0x61}), 1, 0, bytes({0x40}), -1,
     "JIS->EBCDIC 変換エラー(JIS=0x61,行=1,桁=1)\n"},
    {"KanaUpperFoldsLowerCase", bytes({0x61, 0x7A}), 2, 0, bytes({0xC1, 0xE9}), 0, ""},
    {"KanaUpperLeavesBracesAlone", bytes({0x41, 0x7B, 0x7D}), 2, 0, bytes({0xC1, 0xC0, 0xD0}), 0, ""},
    {"LowerVariant", bytes({0x61, 0x41}), 3, 0, bytes({0x81, 0xC1}), 0, ""},
    {"LowerVariantHasNoKatakana", bytes({0xB1}), 3, 0, bytes({0x40}), -1,
     "JIS->EBCDIC 変換エラー(JIS=0xb1,行=1,桁=1)\n"},
    {"KanaVariantKatakana", bytes({0xB1, 0xDF}), 1, 0, bytes({0x81, 0xBF}), 0, ""},
    {"KanaVariantHasNoClosingBracket", bytes({0x5D}), 1, 0, bytes({0x40}), -1,
     "JIS->EBCDIC 変換エラー(JIS=0x5d,行=1,桁=1)\n"},
    {"AsciiVariantClosingBracket", bytes({0x5D, 0x21}), 4, 0, bytes({0x5A, 0x4F}), 0, ""},
    {"OptionZeroIsAscii", bytes({0x21, 0x61}), 0, 0, bytes({0x4F, 0x81}), 0, ""},
    {"OptionTenIsAscii", bytes({0x21}), 10, 0, bytes({0x4F}), 0, ""},
    {"NegativeOptionIsAscii", bytes({0x21}), -1, 0, bytes({0x4F}), 0, ""},
    {"TabHasNoMapping", bytes({0x09}), 4, 0, bytes({0x40}), -1, "JIS->EBCDIC 変換エラー(JIS=0x09,行=1,桁=1)\n"},
    {"UnchangedCopiesControlAndKana", bytes({0x09, 0x61, 0xB1, 0x7F}), 9, 0, bytes({0x09, 0x61, 0xB1, 0x7F}), 0, ""},
    {"UnchangedStillReplacesNul", bytes({0x00}), 9, 0, bytes({0x40}), -1,
     "JIS->EBCDIC 変換エラー(JIS=0x00,行=1,桁=1)\n"},
    {"UnchangedStillConvertsKanji", bytes({0x88, 0x9F}), 9, 1, bytes({0x28, 0xB0, 0xA1, 0x29}), 0, ""},
    {"IdeographicSpaceIsMapped", bytes({0x81, 0x40}), 4, 0, bytes({0x40, 0x40}), 0, ""},
    {"UnmappedKanjiReplaced", bytes({0x41, 0x87, 0x7E}), 4, 0, bytes({0xC1, 0x40, 0x40}), -1,
     "シフトJIS->JEF 変換エラー(SJIS=0x877e,行=1,桁=2)\n"},
    {"LeadByte80NeverMapped", bytes({0x80, 0x41, 0x41}), 4, 0, bytes({0x40, 0x40, 0xC1}), -1,
     "シフトJIS->JEF 変換エラー(SJIS=0x8041,行=1,桁=1)\n"},
    {"LoneLeadByteAtEnd", bytes({0x41, 0x82}), 4, 0, bytes({0xC1, 0x20}), -1,
     "シフトJIS->JEF 変換エラー(SJIS=0x82,行=1,桁=2)\n"},
    {"LoneLeadByteOutsideShiftCodes", bytes({0x41, 0x82}), 4, 1, bytes({0xC1, 0x20}), -1,
     "シフトJIS->JEF 変換エラー(SJIS=0x82,行=1,桁=2)\n"},
    {"LoneLeadByteInsideRun", bytes({0x88, 0x9F, 0x82}), 4, 1, bytes({0x28, 0xB0, 0xA1, 0x20, 0x29}), -1,
     "シフトJIS->JEF 変換エラー(SJIS=0x82,行=1,桁=3)\n"},
    {"OneByteFileLoneLead", bytes({0xE0}), 4, 1, bytes({0x20}), -1,
     "シフトJIS->JEF 変換エラー(SJIS=0xe0,行=1,桁=1)\n"},
    {"LeadBeforeLineFeedSwallowsIt", bytes({0x81, 0x0A, 0x0A, 0x7F}), 4, 0, bytes({0xA1, 0x6B, 0x40}), -1,
     "JIS->EBCDIC 変換エラー(JIS=0x7f,行=2,桁=1)\n"},
    {"LeadBeforeLineFeedLowersCount", bytes({0x81, 0x0A, 0x41, 0x0A}), 4, 0, bytes({0xA1, 0x6B, 0xC1}), 1, ""},
    {"ColumnCountsCarriageReturns", bytes({0x41, 0x0D, 0x0D, 0x7F}), 4, 0, bytes({0xC1, 0x40}), -1,
     "JIS->EBCDIC 変換エラー(JIS=0x7f,行=1,桁=4)\n"},
    {"ColumnRestartsAfterLineFeed", bytes({0x41, 0x0A, 0x88, 0x9F, 0x87, 0x8D, 0x0D, 0x0A, 0x09}), 4, 0,
     bytes({0xC1, 0xB0, 0xA1, 0x40, 0x40, 0x40}), -1,
     "シフトJIS->JEF 変換エラー(SJIS=0x878d,行=2,桁=3)\nJIS->EBCDIC 変換エラー(JIS=0x09,行=3,桁=1)\n"},
    {"CarriageReturnInsideRunKeepsIt", bytes({0x88, 0x9F, 0x0D, 0x88, 0x9F}), 4, 1,
     bytes({0x28, 0xB0, 0xA1, 0xB0, 0xA1, 0x29}), 0, ""},
    {"UnmappedSingleClosesRun", bytes({0x88, 0x9F, 0x09}), 4, 1, bytes({0x28, 0xB0, 0xA1, 0x29, 0x40}), -1,
     "JIS->EBCDIC 変換エラー(JIS=0x09,行=1,桁=3)\n"},
    {"UserDefinedArea", bytes({0xF0, 0x40, 0xF0, 0x9F}), 4, 0, bytes({0xFF, 0xA1, 0x00, 0xA1}), 0, ""},
};

INSTANTIATE_TEST_SUITE_P(Rules, S2jCase, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& p) { return std::string(p.param.name); });

TEST(S2jErrors, Over100ErrorsLogOneOverflowLineAndConvertEverything) {
    const Bytes input = repeated(0x09, 150) + bytes({0x41, 0x0A});
    const Outcome got = convertFile(input, 4, 0);
    EXPECT_EQ(got.result, -1);
    EXPECT_EQ(got.output, repeated(0x40, 150) + bytes({0xC1}));
    std::string expected;
    for (int column = 1; column <= 100; ++column)
        expected += "JIS->EBCDIC 変換エラー(JIS=0x09,行=1,桁=" + std::to_string(column) + ")\n";
    expected += "変換エラーが100件を超えています\n";
    EXPECT_EQ(got.log, logLines(expected));
}

TEST(S2jErrors, PathWithPercentSignsIsPrintedLiterally) {
    TempDir dir;
    const std::string in = dir.file("100%s%n%d.txt"), out = dir.file("out.jef"), log = dir.file("vok.log");
    EXPECT_EQ(s2jconv(1, 4, 0, in.c_str(), out.c_str(), log.c_str()), -10);
    EXPECT_EQ(testutil::readText(log), logLines("[" + in + "]が見つかりません\n"));
}

// ---------------------------------------------------------------------------
// Block edges.

// An input held in memory that records how much each read asked for, and can
// be told to fail.
class MemorySource : public vokl::ByteSource {
public:
    explicit MemorySource(Bytes data) : data_(std::move(data)) {}
    std::int64_t read(void* buffer, std::size_t size) override {
        requested.push_back(size);
        if (static_cast<int>(requested.size()) == failingRead) return -1;
        const std::size_t n = std::min(size, data_.size() - position_);
        std::memcpy(buffer, data_.data() + position_, n);
        position_ += n;
        returned.push_back(n);
        return static_cast<std::int64_t>(n);
    }
    bool seekBy(std::int64_t offset) override {
        ++seeks;
        if (failSeek) return false;
        position_ = static_cast<std::size_t>(static_cast<std::int64_t>(position_) + offset);
        return true;
    }

    std::vector<std::size_t> requested, returned;
    int failingRead = 0;  // 1-based; 0 = never
    bool failSeek = false;
    int seeks = 0;

private:
    Bytes data_;
    std::size_t position_ = 0;
};

struct SeamRun {
    std::int32_t result;
    Bytes output;
    std::string log;
};

SeamRun convertSource(MemorySource& source, std::int64_t size, int code, int shift) {
    TempDir dir;
    const std::string outPath = dir.file("out.jef"), logPath = dir.file("vok.log");
    vokl::Log log;
    EXPECT_TRUE(log.create(logPath.c_str()));
    vokl::File out;
    EXPECT_TRUE(out.open(outPath.c_str(), vokl::File::Mode::WriteBinary));
    const vokl::S2jRequest request{code, shift, "in.txt", outPath.c_str()};
    const std::int32_t rc = vokl::convertSjisToJef(log, source, size, out, request);
    out.close();
    log.close();
    return {rc, testutil::readFile(outPath), testutil::readText(logPath)};
}

struct BlockCase {
    const char* name;
    std::size_t size;
    std::vector<std::size_t> reads;  // what the input hands out, in order
};

class S2jBlocks : public testing::TestWithParam<BlockCase> {};

TEST_P(S2jBlocks, ReadsWholeFileOrBlocksOf16380) {
    const BlockCase& c = GetParam();
    MemorySource source(repeated(0x41, c.size));
    const SeamRun got = convertSource(source, static_cast<std::int64_t>(c.size), 4, 0);
    EXPECT_EQ(got.result, 0);
    EXPECT_EQ(got.output, repeated(0xC1, c.size));
    std::vector<std::size_t> expected = c.reads;
    expected.push_back(0);
    EXPECT_EQ(source.returned, expected);
}

INSTANTIATE_TEST_SUITE_P(Sizes, S2jBlocks,
                         testing::Values(BlockCase{"OneByte", 1, {1}}, BlockCase{"WholeFile32760", 32760, {32760}},
                                         BlockCase{"Blocks32761", 32761, {16380, 16380, 1}},
                                         BlockCase{"Blocks32760Plus16380", 49140, {16380, 16380, 16380}}),
                         [](const testing::TestParamInfo<BlockCase>& p) { return std::string(p.param.name); });

TEST(S2jBlocks, LeadByteAtBlockEndIsCarriedWithItsColumn) {
    // 亜 starts at the 16380th byte; an error right after it shows column 16382.
    const Bytes input = repeated(0x41, 16379) + bytes({0x88, 0x9F, 0x09}) + repeated(0x41, 20000);
    const Outcome got = convertFile(input, 4, 1);
    EXPECT_EQ(got.result, -1);
    EXPECT_EQ(got.output, repeated(0xC1, 16379) + bytes({0x28, 0xB0, 0xA1, 0x29, 0x40}) + repeated(0xC1, 20000));
    EXPECT_EQ(got.log, logLines("JIS->EBCDIC 変換エラー(JIS=0x09,行=1,桁=16382)\n"));
}

TEST(S2jBlocks, CarriedLeadByteSeeksBackOnce) {
    MemorySource source(repeated(0x41, 16379) + bytes({0x88, 0x9F}) + repeated(0x41, 16380));
    const SeamRun got = convertSource(source, 32761, 4, 0);
    EXPECT_EQ(got.result, 0);
    EXPECT_EQ(source.seeks, 1);
    // The second read starts again at the lead byte.
    EXPECT_EQ(source.returned, (std::vector<std::size_t>{16380, 16380, 2, 0}));
    EXPECT_EQ(got.output, repeated(0xC1, 16379) + bytes({0xB0, 0xA1}) + repeated(0xC1, 16380));
}

TEST(S2jBlocks, LoneLeadByteAloneInLastBlock) {
    const Outcome got = convertFile(repeated(0x41, 32760) + bytes({0x82}), 4, 0);
    EXPECT_EQ(got.result, -1);
    EXPECT_EQ(got.output, repeated(0xC1, 32760) + bytes({0x20}));
    EXPECT_EQ(got.log, logLines("シフトJIS->JEF 変換エラー(SJIS=0x82,行=1,桁=32761)\n"));
}

// Random text, rich in lead bytes and line ends, around every block edge.
Bytes randomText(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    const std::uint8_t kinds[] = {0x41, 0x61, 0xB1, 0x88, 0x81, 0x87, 0x0D, 0x0A, 0x09, 0x5D, 0xE0, 0x80, 0x00};
    Bytes text(size);
    for (auto& b : text) {
        const unsigned pick = rng() % 20;
        b = pick < std::size(kinds) ? kinds[pick] : static_cast<std::uint8_t>(rng());
    }
    return text;
}

TEST(S2jBlocks, MatchesReferenceAroundBlockEdges) {
    const std::size_t sizes[] = {2, 3, 16379, 16380, 16381, 32759, 32760, 32761, 32762, 49139, 49141, 50000};
    unsigned seed = 1;
    for (std::size_t size : sizes) {
        for (int code : {1, 2, 4, 9}) {
            const int shift = seed % 2;
            const Bytes input = randomText(size, seed++);
            const Outcome got = convertFile(input, code, shift);
            const Outcome ref = reference(input, code, shift);
            ASSERT_EQ(got.result, ref.result) << "size " << size << " code " << code;
            ASSERT_EQ(got.output, ref.output) << "size " << size << " code " << code;
            ASSERT_EQ(got.log, ref.log) << "size " << size << " code " << code;
        }
    }
}

TEST(S2jBlocks, EveryLeadByteAtTheBlockEdge) {
    // Each lead byte value as the 16380th byte, followed by each kind of trail.
    for (unsigned lead = 0x80; lead <= 0xFC; ++lead) {
        if (lead > 0x9F && lead < 0xE0) continue;
        for (unsigned trail : {0x40u, 0x0Au, 0x9Fu, 0xFCu}) {
            const Bytes input = repeated(0x41, 16379) + bytes({static_cast<int>(lead), static_cast<int>(trail)}) +
                                repeated(0x42, 16381);
            MemorySource source(input);
            const SeamRun got = convertSource(source, static_cast<std::int64_t>(input.size()), 4, 1);
            const Outcome ref = reference(input, 4, 1);
            ASSERT_EQ(got.output, ref.output) << std::hex << lead << " " << trail;
            ASSERT_EQ(got.result, ref.result);
            ASSERT_EQ(got.log, ref.log);
        }
    }
}

// ---------------------------------------------------------------------------
// Input that fails while it is read.

TEST(S2jReadErrors, ReadErrorMidFileIsNotSuccess) {
    MemorySource source(repeated(0x41, 40000));
    source.failingRead = 2;
    const SeamRun got = convertSource(source, 40000, 4, 0);
    EXPECT_EQ(got.result, -20);
    EXPECT_EQ(got.log, logLines("[in.txt]の読み込みに失敗しました\n"));
    EXPECT_EQ(got.output, repeated(0xC1, 16380)) << "the block read before stays";
}

TEST(S2jReadErrors, ReadErrorWinsOverReplacedCharacters) {
    MemorySource source(repeated(0x09, 40000));
    source.failingRead = 3;
    const SeamRun got = convertSource(source, 40000, 4, 0);
    EXPECT_EQ(got.result, -20);
}

TEST(S2jReadErrors, SeekFailureAtCarriedLeadByte) {
    MemorySource source(repeated(0x41, 16379) + bytes({0x88, 0x9F}) + repeated(0x41, 16380));
    source.failSeek = true;
    const SeamRun got = convertSource(source, 32761, 4, 0);
    EXPECT_EQ(got.result, -20);
    EXPECT_EQ(got.log, logLines("[in.txt]のシークに失敗しました\n"));
    EXPECT_TRUE(got.output.empty()) << "the block whose seek failed is not written";
}

TEST(S2jReadErrors, FileShrinkingWhileReadDoesNotLoopForever) {
    // The status said 50000 bytes, but the file now ends in a lead byte at 16381.
    MemorySource source(repeated(0x41, 16380) + bytes({0x88}));
    const SeamRun got = convertSource(source, 50000, 4, 0);
    EXPECT_EQ(got.result, -1);
    EXPECT_EQ(got.output, repeated(0xC1, 16380) + bytes({0x20}));
    EXPECT_LE(source.requested.size(), 4u);
}

// An input over 2 GiB on one line, ending in a lone lead byte.
class LongLineSource : public vokl::ByteSource {
public:
    explicit LongLineSource(std::int64_t size) : size_(size) {}
    std::int64_t read(void* buffer, std::size_t size) override {
        const std::int64_t n = std::min<std::int64_t>(static_cast<std::int64_t>(size), size_ - position_);
        auto* bytes = static_cast<std::uint8_t*>(buffer);
        std::memset(bytes, 0x41, static_cast<std::size_t>(n));
        if (n > 0 && position_ + n == size_) bytes[n - 1] = 0x82;
        position_ += n;
        return n;
    }
    bool seekBy(std::int64_t offset) override {
        position_ += offset;
        return true;
    }

private:
    std::int64_t size_;
    std::int64_t position_ = 0;
};

TEST(S2jLargeFiles, InputOver2GiBIsConvertedToTheEnd) {
    const std::int64_t size = (std::int64_t{1} << 31) + 5;
    LongLineSource source(size);
    TempDir dir;
    const std::string logPath = dir.file("vok.log");
    vokl::Log log;
    ASSERT_TRUE(log.create(logPath.c_str()));
    vokl::File out;
    ASSERT_TRUE(out.open("/dev/null", vokl::File::Mode::WriteBinary));
    const vokl::S2jRequest request{4, 0, "big.txt", "/dev/null"};
    EXPECT_EQ(vokl::convertSjisToJef(log, source, size, out, request), -1);
    log.close();
    // The column does not fit the log's int: it stops at the largest value.
    EXPECT_EQ(testutil::readText(logPath), logLines("シフトJIS->JEF 変換エラー(SJIS=0x82,行=1,桁=2147483647)\n"));
}

// ---------------------------------------------------------------------------
// Failures and what they leave on disk.

class S2jFailures : public testing::Test {
protected:
    TempDir dir;
    std::string in = dir.file("in.txt"), out = dir.file("out.jef"), log = dir.file("vok.log");
    std::string logText() const { return testutil::readText(log); }
};

TEST_F(S2jFailures, LogCannotBeCreatedTouchesNothingElse) {
    testutil::writeFile(in, bytes({0x41}));
    testutil::writeFile(out, std::string("keep"));
    const std::string badLog = dir.file("missing/vok.log");
    EXPECT_EQ(s2jconv(1, 4, 0, in.c_str(), out.c_str(), badLog.c_str()), -31);
    EXPECT_EQ(testutil::readText(out), "keep");
    const std::string newOut = dir.file("new.jef");
    EXPECT_EQ(s2jconv(1, 4, 0, in.c_str(), newOut.c_str(), badLog.c_str()), -31);
    EXPECT_FALSE(testutil::exists(newOut));
}

TEST_F(S2jFailures, LogSwitchZeroIgnoresUnwritableLogPath) {
    testutil::writeFile(in, bytes({0x41, 0x0A, 0x09}));
    const std::string badLog = dir.file("missing/vok.log");
    EXPECT_EQ(s2jconv(0, 4, 0, in.c_str(), out.c_str(), badLog.c_str()), -1);
    EXPECT_EQ(testutil::readFile(out), bytes({0xC1, 0x40}));
    EXPECT_EQ(s2jconv(0, 4, 0, in.c_str(), out.c_str(), nullptr), -1);
}

TEST_F(S2jFailures, LogIsTruncatedNotAppended) {
    testutil::writeFile(in, bytes({0x09}));
    testutil::writeFile(log, std::string("old line\r\n"));
    EXPECT_EQ(s2jconv(1, 4, 0, in.c_str(), out.c_str(), log.c_str()), -1);
    EXPECT_EQ(logText(), logLines("JIS->EBCDIC 変換エラー(JIS=0x09,行=1,桁=1)\n"));
    testutil::writeFile(in, bytes({0x41}));
    EXPECT_EQ(s2jconv(1, 4, 0, in.c_str(), out.c_str(), log.c_str()), 0);
    EXPECT_EQ(logText(), "");
}

TEST_F(S2jFailures, MissingInput) {
    EXPECT_EQ(s2jconv(1, 4, 0, in.c_str(), out.c_str(), log.c_str()), -10);
    EXPECT_EQ(logText(), logLines("[" + in + "]が見つかりません\n"));
    EXPECT_FALSE(testutil::exists(out)) << "the input is opened before the output is created";
}

TEST_F(S2jFailures, UnreadableInput) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bite for root";
    testutil::writeFile(in, bytes({0x41}));
    chmod(in.c_str(), 0);
    EXPECT_EQ(s2jconv(1, 4, 0, in.c_str(), out.c_str(), log.c_str()), -10);
    EXPECT_EQ(logText(), logLines("[" + in + "]のオープンに失敗しました(原因=" + std::strerror(EACCES) + ")\n"));
}

TEST_F(S2jFailures, InputIsAFolder) {
    EXPECT_EQ(s2jconv(1, 4, 0, dir.path().c_str(), out.c_str(), log.c_str()), -10);
    const std::string folder = dir.path().string();
    EXPECT_EQ(logText(), logLines("[" + folder + "]のオープンに失敗しました(原因=" + std::strerror(EISDIR) + ")\n"));
}

// Regression: naming the input as the output truncated the input (-15) and
// the user's text was gone.
TEST_F(S2jFailures, OutputThatIsTheInputKeepsTheInput) {
    testutil::writeFile(in, bytes({0x41, 0x0A}));
    const std::string sameByOtherName = (dir.path() / "." / "in.txt").string();
    EXPECT_EQ(s2jconv(1, 4, 0, in.c_str(), sameByOtherName.c_str(), log.c_str()), -11);
    EXPECT_EQ(testutil::readFile(in), bytes({0x41, 0x0A}));
    EXPECT_EQ(logText(), logLines("[" + sameByOtherName + "]は入力ファイルと同じファイルです\n"));
}

TEST_F(S2jFailures, OutputInMissingFolder) {
    testutil::writeFile(in, bytes({0x41}));
    const std::string badOut = dir.file("missing/out.jef");
    EXPECT_EQ(s2jconv(1, 4, 0, in.c_str(), badOut.c_str(), log.c_str()), -11);
    EXPECT_EQ(logText(), logLines("[" + badOut + "]のオープンに失敗しました(原因=" + std::strerror(ENOENT) + ")\n"));
}

TEST_F(S2jFailures, EmptyInputLeavesEmptyOutput) {
    testutil::writeFile(in, Bytes{});
    testutil::writeFile(out, std::string("old"));
    EXPECT_EQ(s2jconv(1, 4, 0, in.c_str(), out.c_str(), log.c_str()), -15);
    EXPECT_EQ(logText(), logLines("[" + in + "]のファイルサイズが 0 です\n"));
    EXPECT_TRUE(testutil::exists(out));
    EXPECT_TRUE(testutil::readFile(out).empty());
}

TEST_F(S2jFailures, WriteFailureOnFullDevice) {
    const std::string full = "/dev/full";
    if (access(full.c_str(), W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    const std::string expectedLog =
        "(" + full + ")の書き込みでエラーが発生しました(errno=" + std::strerror(ENOSPC) + ")\n";
    // Large: the block write fails. Small: only flushing the last bytes fails.
    // With errors: the failure still wins over -1.
    for (const Bytes& input : {repeated(0x41, 70000), bytes({0x41}), bytes({0x09, 0x88, 0x9F})}) {
        testutil::writeFile(in, input);
        EXPECT_EQ(s2jconv(1, 4, 1, in.c_str(), full.c_str(), log.c_str()), -26) << input.size();
        const std::string text = testutil::utf8(logText());
        EXPECT_NE(text.find(expectedLog.substr(0, expectedLog.size() - 1)), std::string::npos) << text;
    }
}

}  // namespace
