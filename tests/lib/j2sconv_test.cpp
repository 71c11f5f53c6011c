// j2sconv end to end on real files: stream and pattern mode, the log, the
// conversion-error log's life, and every result code it can give.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include "j2sconv.h"
#include "numeric.h"
#include "pattern.h"
#include "tblank.h"
#include "tblknj.h"
#include "testutil.h"
#include "vokl.h"

namespace {

using testutil::Bytes;
using testutil::bytes;
using testutil::logLines;

constexpr const char* kStream = "_********_";

// One call of j2sconv in a fresh folder.
struct Call {
    Bytes input;
    std::int32_t codeOption = 3;
    std::int32_t recordLength = 0;
    std::int32_t keepShift = 0;
    std::int32_t trimFlags = 0;
    std::string pattern;  // pattern file text; empty: stream mode
    std::int32_t logSwitch = 1;
};

struct Outcome {
    std::int32_t rc = 0;
    bool outputExists = false;
    Bytes output;
    std::string log;  // as written: Shift-JIS, CR LF
    bool convLogExists = false;
    std::string convLog;
};

class Job {
public:
    Outcome run(const Call& call) {
        testutil::writeFile(in(), call.input);
        std::string patternPath = kStream;
        if (!call.pattern.empty()) {
            patternPath = dir_.file("layout.ptn");
            testutil::writeFile(patternPath, call.pattern);
        }
        Outcome o;
        o.rc = j2sconv(call.logSwitch, call.codeOption, call.recordLength, call.keepShift, call.trimFlags,
                       in().c_str(), out().c_str(), patternPath.c_str(), log().c_str(), convLog().c_str());
        return collect(o);
    }
    Outcome collect(Outcome o) const {
        o.outputExists = testutil::exists(out());
        if (o.outputExists) o.output = testutil::readFile(out());
        if (testutil::exists(log())) o.log = testutil::readText(log());
        o.convLogExists = testutil::exists(convLog());
        if (o.convLogExists) o.convLog = testutil::readText(convLog());
        return o;
    }
    std::string in() const { return dir_.file("host.bin"); }
    std::string out() const { return dir_.file("text.txt"); }
    std::string log() const { return dir_.file("vok.log"); }
    std::string convLog() const { return dir_.file("VOK_LOG_20240101_120000.txt"); }
    const testutil::TempDir& dir() const { return dir_; }

private:
    testutil::TempDir dir_;
};

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

std::string convLogWritten(const Job& job) { return logLines(std::string("\n\n") + job.convLog() + "に変換エラーのログを出力しました。\n"); }

// ---- conversions ------------------------------------------------------------

struct ConversionCase {
    const char* name;
    Call call;
    Bytes expected;
    std::int32_t rc;
    const char* convLines;  // UTF-8, "" when nothing could not be converted
};

void PrintTo(const ConversionCase& c, std::ostream* os) { *os << c.name; }

class J2sConversion : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(J2sConversion, WritesTheExpectedText) {
    const ConversionCase& c = GetParam();
    Job job;
    Outcome o = job.run(c.call);
    EXPECT_EQ(o.rc, c.rc);
    EXPECT_EQ(o.output, c.expected);
    if (std::string(c.convLines).empty()) {
        EXPECT_FALSE(o.convLogExists);
        EXPECT_EQ(o.log, "");
    } else {
        ASSERT_TRUE(o.convLogExists);
        EXPECT_EQ(testutil::utf8(o.convLog), testutil::utf8(logLines(c.convLines)));
        EXPECT_EQ(o.log, convLogWritten(job));
    }
}

Call stream(Bytes input, std::int32_t recordLength = 0, std::int32_t codeOption = 3) {
    Call c;
    c.input = std::move(input);
    c.recordLength = recordLength;
    c.codeOption = codeOption;
    return c;
}

Call patterned(const std::string& pattern, Bytes input, std::int32_t recordLength = 0, std::int32_t trim = 0,
               std::int32_t keepShift = 0) {
    Call c;
    c.input = std::move(input);
    c.pattern = pattern;
    c.recordLength = recordLength;
    c.trimFlags = trim;
    c.keepShift = keepShift;
    return c;
}

const Bytes kAa = bytes({0x88, 0x9F});  // JEF B0A1
const Bytes kCrLf = bytes({0x0D, 0x0A});

const ConversionCase kStreamCases[] = {
    {"KanjiBetweenShiftCodes", stream(bytes({0x28, 0xB0, 0xA1, 0x29, 0xC1})), bytes({0x88, 0x9F, 0x41}), 0, ""},
    {"ShiftIn38", stream(bytes({0x38, 0xB0, 0xA1, 0x29, 0xC1})), bytes({0x88, 0x9F, 0x41}), 0, ""},
    {"RepeatedShiftInsInsideKanji", stream(bytes({0x28, 0xB0, 0xA1, 0x28, 0xB0, 0xA1})), concat({kAa, kAa}), 0, ""},
    {"KanaVariant", stream(bytes({0x81, 0x5A}), 0, 1), bytes({0xB1, 0x21}), 0, ""},
    {"LowerVariant", stream(bytes({0x81, 0x5A}), 0, 2), bytes({0x61, 0x21}), 0, ""},
    {"AsciiVariantForAnyOtherOption", stream(bytes({0x81, 0x5A}), 0, 7), bytes({0x61, 0x5D}), 0, ""},
    {"UnmappedEbcdic", stream(bytes({0xC1, 0x00, 0xC2})), bytes({0x41, 0x20, 0x42}), -1,
     "EBCDIC->JIS 変換エラー(EBCDIC=0x00/2バイト目)\n"},
    {"UnmappedJefPair", stream(bytes({0x28, 0x20, 0x20, 0x29})), bytes({0x81, 0x40}), -1,
     "JEF->シフトJIS 変換エラー(JEF=0x2020/2バイト目)\n"},
    {"LoneByteAtTheEnd", stream(bytes({0xC1, 0x28, 0xB0})), bytes({0x41, 0x20}), -1,
     "JEF->シフトJIS 変換エラー(JEF=0xb0/3バイト目)\n"},
    {"LineEndPerBlock", stream(bytes({0xC1, 0xC2, 0xC3, 0xC4, 0xC5}), 2),
     bytes({0x41, 0x42, 0x0D, 0x0A, 0x43, 0x44, 0x0D, 0x0A, 0x45, 0x0D, 0x0A}), 3, ""},
    {"SplitPairMovesToTheNextBlock", stream(bytes({0x28, 0xB0, 0xA1, 0x29}), 2),
     concat({kCrLf, kAa, kCrLf, kCrLf}), 3, ""},
    {"ShiftStateCarriesOverBlocks", stream(bytes({0x28, 0xB0, 0xA1, 0xB0, 0xA1}), 3),
     concat({kAa, kCrLf, kAa, kCrLf}), 2, ""},
    {"BlockOfShiftCodesOnly", stream(bytes({0x28, 0x28, 0xB0, 0xA1}), 2), concat({kCrLf, kAa, kCrLf}), 2, ""},
    {"OneByteBlocksDoNotLoopOnKanji", stream(bytes({0x28, 0xB0, 0xA1, 0x29, 0xC1}), 1),
     concat({kCrLf, kAa, kCrLf, kCrLf, bytes({0x41}), kCrLf}), 4, ""},
    {"OneByteBlockLoneByteAtTheEnd", stream(bytes({0x28, 0xB0}), 1), bytes({0x0D, 0x0A, 0x20, 0x0D, 0x0A}), -1,
     "JEF->シフトJIS 変換エラー(JEF=0xb0/2バイト目)\n"},
    {"NegativeRecordLengthKeepsLineEnds", stream(bytes({0xC1, 0xC2}), -5), bytes({0x41, 0x42, 0x0D, 0x0A}), 1, ""},
};
INSTANTIATE_TEST_SUITE_P(Stream, J2sConversion, ::testing::ValuesIn(kStreamCases),
                         [](const auto& param) { return std::string(param.param.name); });

const ConversionCase kPatternCases[] = {
    {"SingleAndDoubleByteFields", patterned("XXNN\n", bytes({0xC1, 0xC2, 0xB0, 0xA1})),
     concat({text("AB"), kAa}), 0, ""},
    {"RecordsWithLineEnds", patterned("XXNN\n", bytes({0xC1, 0xC2, 0xB0, 0xA1, 0xC3, 0xC4, 0xB0, 0xA2}), 1),
     concat({text("AB"), kAa, kCrLf, text("CD"), bytes({0x88, 0xA0}), kCrLf}), 2, ""},
    {"LowerCaseLettersFoldAndLiteralsAreWritten", patterned("x\"xx\",9A\n", bytes({0xC1, 0xC2, 0xC3, 0xF1, 0xC4})),
     text("A\"BC\",1D"), 0, ""},
    {"Zoned", patterned("SS.S,SSS\n", bytes({0xF1, 0xF2, 0xC3, 0xF1, 0xF2, 0xD3})), text("+12.3,-123"), 0, ""},
    {"PackedSignedAndUnsigned", patterned("CCC.CC,PPPPP,PPPPP\n", bytes({0x12, 0x34, 0x5D, 0x12, 0x34, 0x5C, 0x12, 0x34, 0x5D})),
     text("-123.45,12345,-12345"), 0, ""},
    {"TrimBoth", patterned("XXX,XXX\n", bytes({0xC1, 0x40, 0x40, 0x40, 0x40, 0xC2}), 0, 1), text("A,B"), 0, ""},
    {"TrimLeft", patterned("XXX,XXX\n", bytes({0xC1, 0x40, 0x40, 0x40, 0x40, 0xC2}), 0, 2), text("A  ,B"), 0, ""},
    {"TrimRightWithLineEnd", patterned("XXX,XXX\n", bytes({0xC1, 0x40, 0x40, 0x40, 0x40, 0xC2}), 1, 4),
     text("A,  B\r\n"), 1, ""},
    {"TrimKanjiItemsOnly", patterned("XXX,NNNN\n", bytes({0xC1, 0x40, 0x40, 0x40, 0x40, 0xB0, 0xA1}), 0, 9),
     concat({text("A  ,"), kAa}), 0, ""},
    {"SkippedShiftCodeReadsAhead", patterned("XXXX\n", bytes({0xC1, 0x28, 0xC2, 0xC3, 0xC4})), text("ABCD"), 0, ""},
    {"ShiftCodesPastTheRecordBufferEndTheRecord",
     patterned("XXXX\n", bytes({0x28, 0x28, 0x28, 0x28, 0x38, 0x29, 0x28, 0x28, 0xC1, 0xC2, 0xC3, 0xC4})),
     text("XXXXABCD"), 0, ""},
    {"KeptShiftCodeIsData", patterned("XXXX\n", bytes({0xC1, 0x28, 0xC2, 0xC3, 0xC4}), 0, 0, 1), text("A BCDXXX"), -1,
     "EBCDIC->JIS 変換エラー(EBCDIC=0x28/2バイト目)\n"},
    {"ShiftCodeInPackedFieldIsData", patterned("XCCC\n", bytes({0xC1, 0x28, 0x9C})), text("A+289"), 0, ""},
    {"PackedByteAfterCommaIsNoShiftCode", patterned("X,CCC,X\n", bytes({0xC1, 0x28, 0x9C, 0xC2})), text("A,+289,B"), 0,
     ""},
    {"ShiftCodeBeforeKanjiAfterComma", patterned("X,NN\n", bytes({0xC1, 0x28, 0xB0, 0xA1})), concat({text("A,"), kAa}),
     0, ""},
    {"ShortLastRecordCopiesTheRestOfThePattern",
     patterned("XXXX,\n", bytes({0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6}), 1), text("ABCD,\r\nEFXX,\r\n"), 2, ""},
    {"LoneKanjiByteAtTheEndEndsTheRecord", patterned("XXNN\n", bytes({0xC1, 0xC2, 0xB0})), text("ABNN"), 0, ""},
    {"UnmappedBytesInFields", patterned("XNN\n", bytes({0x00, 0x20, 0x20})), bytes({0x20, 0x81, 0x40}), -1,
     "EBCDIC->JIS 変換エラー(EBCDIC=0x00/1バイト目)\nJEF->シフトJIS 変換エラー(JEF=0x2020/2バイト目)\n"},
    {"KeywordChoosesThePattern",
     patterned("1:A:XXXX\n1:B:XXNN\n", bytes({0xC1, 0xC2, 0xC3, 0xC4, 0xC2, 0xC1, 0xB0, 0xA1}), 1),
     concat({text("ABCD\r\nBA"), kAa, kCrLf}), 2, ""},
    {"LastPatternWhenNoKeywordMatches", patterned("1:A:XXXX\n1:B:XXNN\n", bytes({0xE9, 0xC1, 0xB0, 0xA1})),
     concat({text("ZA"), kAa}), 0, ""},
    {"ShorterRecordMovesTheReadPositionBack",
     patterned("1:A:XX\n1:B:XXXX\n", bytes({0xC1, 0xC2, 0xC2, 0xC3, 0xC4, 0xC5, 0xC1, 0xC6}), 1),
     text("AB\r\nBCDE\r\nAF\r\n"), 3, ""},
    {"KeywordAfterShiftCode", patterned("1:B:XX\n1:A:XX\n", bytes({0x28, 0xC2, 0xC3})), text("BC"), 0, ""},
};
INSTANTIATE_TEST_SUITE_P(Pattern, J2sConversion, ::testing::ValuesIn(kPatternCases),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(J2sStream, BlocksOfTheDefaultLengthKeepKanjiWhole) {
    // 1 + 2 * 20000 bytes: the pair at the end of the first 16,380-byte block
    // is split and must continue in the next block.
    Bytes input{0x28};
    Bytes expected;
    for (int k = 0; k < 20000; ++k) {
        input.insert(input.end(), {0xB0, 0xA1});
        expected.insert(expected.end(), {0x88, 0x9F});
    }
    Job job;
    Outcome o = job.run(stream(input));
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.output, expected);
}

TEST(J2sStream, LineEndCountBeyondOneBlockOfTheOutputBuffer) {
    Bytes input(300000, 0xC1);
    Job job;
    Outcome o = job.run(stream(input, 3));
    EXPECT_EQ(o.rc, 100000);
    ASSERT_EQ(o.output.size(), 500000u);
    EXPECT_EQ(o.output[3], 0x0D);
}

// Stream mode written out the slow, obvious way.
Bytes referenceStream(const Bytes& in, std::int64_t block, const vokl::ByteTable& table, bool lineEnds,
                      bool& replaced, std::int32_t& lines) {
    Bytes out;
    bool doubleByte = false;
    std::size_t pos = 0;
    replaced = false;
    lines = 0;
    auto pair = [&](unsigned code) {
        const std::uint8_t* e = vokl::jefToSjis(code);
        if (e[0] == 0 && e[1] == 0) {
            replaced = true;
            out.insert(out.end(), {0x81, 0x40});
        } else {
            out.insert(out.end(), {e[0], e[1]});
        }
    };
    while (pos < in.size()) {
        std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(block), in.size() - pos);
        std::size_t k = 0;
        while (k < n) {
            std::uint8_t b = in[pos + k];
            if (b == 0x28 || b == 0x38) {
                doubleByte = true;
                ++k;
            } else if (b == 0x29) {
                doubleByte = false;
                ++k;
            } else if (!doubleByte) {
                std::uint8_t v = table[b];
                replaced |= v == 0;
                out.push_back(v != 0 ? v : 0x20);
                ++k;
            } else if (k + 1 < n) {
                pair(b * 256u + in[pos + k + 1]);
                k += 2;
            } else if (pos + k + 1 == in.size()) {
                replaced = true;
                out.push_back(0x20);
                ++k;
            } else if (k > 0) {
                break;
            } else {
                pair(b * 256u + in[pos + 1]);
                k = 2;
            }
        }
        pos += k;
        if (lineEnds) {
            out.insert(out.end(), {0x0D, 0x0A});
            ++lines;
        }
    }
    return out;
}

TEST(J2sStream, MatchesTheReferenceOnRandomInput) {
    std::uint32_t seed = 12345;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7FFF;
    };
    // Mostly mapped single bytes and kanji, some shift codes and unmapped bytes.
    auto randomByte = [&]() -> std::uint8_t {
        unsigned r = next() % 100;
        if (r < 5) return r < 2 ? 0x28 : r < 3 ? 0x38 : 0x29;
        if (r < 7) return static_cast<std::uint8_t>(next() % 0x40);
        if (r < 50) return static_cast<std::uint8_t>(0xB0 + next() % 0x20);
        return static_cast<std::uint8_t>(0xC1 + next() % 9);
    };
    const std::int32_t lengths[] = {0, 1, 2, 3, 7, 8, 9, 16, 17, 80};
    const std::size_t sizes[] = {1, 2, 9, 17, 64, 333, 2000, 40001};
    for (std::size_t size : sizes) {
        for (std::int32_t length : lengths) {
            Bytes input(size);
            for (auto& b : input) b = randomByte();
            for (std::int32_t code : {1, 3}) {
                Job job;
                Outcome o = job.run(stream(input, length, code));
                bool replaced = false;
                std::int32_t lines = 0;
                std::int64_t block = vokl::j2s::streamBlockLength(length, static_cast<std::int64_t>(size));
                const vokl::ByteTable& table =
                    vokl::ebcdicToJis8(code == 1 ? vokl::SbVariant::Kana : vokl::SbVariant::Ascii);
                Bytes expected = referenceStream(input, block, table, length != 0, replaced, lines);
                ASSERT_EQ(o.output, expected) << "size " << size << ", record length " << length;
                EXPECT_EQ(o.rc, replaced ? -1 : lines) << "size " << size << ", record length " << length;
            }
        }
    }
}

// Pattern mode written out the slow way over bytes in memory: one pattern
// character at a time, with the read-ahead, seek-back and end-of-data rules.
struct ReferenceResult {
    Bytes output;
    bool replaced = false;
    std::int32_t lines = 0;
    bool malformed = false;
};

bool isField(char c) { return std::string_view("XA9NSCP").find(c) != std::string_view::npos; }
bool isShift(std::uint8_t b) { return b == 0x28 || b == 0x38 || b == 0x29; }

ReferenceResult referencePattern(const Bytes& in, const vokl::PatternList& list, const vokl::ByteTable& table,
                                 bool skip, std::int32_t trim, bool lineEnds) {
    ReferenceResult r;
    const std::size_t readLength = static_cast<std::size_t>(list.maxRecordLen);
    const std::size_t capacity = 2 * readLength;
    std::size_t pos = 0;
    std::int64_t counter = 0;
    const std::int64_t size = static_cast<std::int64_t>(in.size());
    while (readLength > 0) {
        std::size_t n = std::min(readLength, in.size() - pos);
        if (n == 0) break;
        Bytes record(in.begin() + static_cast<std::ptrdiff_t>(pos), in.begin() + static_cast<std::ptrdiff_t>(pos + n));
        pos += n;
        const vokl::PatternEntry& entry =
            list.multi ? vokl::choosePattern(list, record.data(), n, skip) : list.entries.front();
        if (list.multi) {
            if (entry.recordLen == 0) {
                r.malformed = true;
                return r;
            }
            if (n > static_cast<std::size_t>(entry.recordLen)) {
                pos -= n - static_cast<std::size_t>(entry.recordLen);
                n = static_cast<std::size_t>(entry.recordLen);
                record.resize(n);
            }
        }
        const std::string& pattern = entry.pattern;
        std::string text;
        std::size_t p = 0, i = 0;
        while (p < pattern.size()) {
            if (i + 1 >= n) {
                if (counter + 1 < size) {
                    std::size_t want = static_cast<std::size_t>(
                        std::count_if(pattern.begin() + static_cast<std::ptrdiff_t>(p), pattern.end(), isField));
                    if (want >= 2) {
                        std::size_t take = std::min({want, capacity - n, in.size() - pos});
                        record.insert(record.end(), in.begin() + static_cast<std::ptrdiff_t>(pos),
                                      in.begin() + static_cast<std::ptrdiff_t>(pos + take));
                        pos += take;
                        n += take;
                    }
                } else if (counter + 1 > size) {
                    break;
                }
            }
            const char c = pattern[p];
            if (!isField(c)) {
                text += c;
                ++p;
                continue;
            }
            if (i >= n) break;
            if (skip && c != 'C' && c != 'P' && isShift(record[i])) {
                ++i;
                ++counter;
                continue;
            }
            if (c == 'X' || c == 'A' || c == '9') {
                std::uint8_t v = table[record[i]];
                r.replaced |= v == 0;
                text += static_cast<char>(v != 0 ? v : 0x20);
                ++p, ++i, ++counter;
            } else if (c == 'N') {
                if (i + 1 >= n) break;
                const std::uint8_t* e = vokl::jefToSjis(record[i] * 256u + record[i + 1]);
                bool none = e[0] == 0 && e[1] == 0;
                r.replaced |= none;
                text += static_cast<char>(none ? 0x81 : e[0]);
                text += static_cast<char>(none ? 0x40 : e[1]);
                p += 2, i += 2, counter += 2;
            } else {
                char digits[64];
                std::string_view run(pattern.data() + p, pattern.size() - p);
                vokl::NumericResult nr = c == 'S' ? vokl::zonedToText(run, &record[i], n - i, digits, sizeof digits)
                                                  : vokl::packedToText(run, &record[i], n - i, digits, sizeof digits);
                if (nr.status != vokl::NumericStatus::Ok) {
                    r.malformed = true;
                    return r;
                }
                text.append(digits, nr.textLen);
                p += nr.patternUsed;
                i += nr.bytesUsed;
                counter += static_cast<std::int64_t>(nr.bytesUsed);
            }
        }
        text += pattern.substr(std::min(p, pattern.size()));
        if (trim != 0) text.resize(vokl::trimItemsReference(text.data(), text.size(), trim));
        r.output.insert(r.output.end(), text.begin(), text.end());
        if (lineEnds) {
            r.output.insert(r.output.end(), {0x0D, 0x0A});
            ++r.lines;
        }
    }
    return r;
}

// Converts `input` under the pattern `text` and compares code and output with
// the reference walk. True when the output was compared (the reference found
// no malformed run, whose output is not defined).
bool matchesReference(const char* text, const Bytes& input, bool keep, std::int32_t trim, std::int32_t recordLength) {
    Job job;
    Outcome o = job.run(patterned(text, input, recordLength, trim, keep ? 1 : 0));
    vokl::Log quiet;
    vokl::PatternList list;
    EXPECT_EQ(vokl::readPatternFile(quiet, job.dir().file("layout.ptn").c_str(), 3, list), 0) << text;
    ReferenceResult expected =
        referencePattern(input, list, vokl::ebcdicToJis8(vokl::SbVariant::Ascii), !keep, trim, recordLength != 0);
    const std::int32_t rc = expected.malformed ? -2 : expected.replaced ? -1 : expected.lines;
    const std::string where = std::string(text) + " size " + std::to_string(input.size()) + " keep " +
                              std::to_string(keep) + " trim " + std::to_string(trim) + " line ends " +
                              std::to_string(recordLength);
    EXPECT_EQ(o.rc, rc) << where;
    if (expected.malformed) return false;
    EXPECT_EQ(o.output, expected.output) << where;
    return true;
}

TEST(J2sPattern, MatchesTheReferenceOnRandomInput) {
    const char* const patterns[] = {
        "XXNN,SS.S,CCC,PPPP\n",
        "1:A:XXXX,NN\n2:B:X\"XX\",S.SS\n3:D:CCCCC,9A\n",
        "NNNNNNNN XX\n",
        "2:AB:XXXXXX\n1:Z:NNNN\n1:(:CC.C,NN\n",
        "XXXXXXXXXX,NNNNNNNNNN,SSSSS.SS,CCCCCCC,PPPPP,\"XXXXX\"\n",
    };
    std::uint32_t seed = 777;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7FFF;
    };
    auto randomByte = [&]() -> std::uint8_t {
        unsigned r = next() % 100;
        if (r < 6) return r < 3 ? 0x28 : r < 4 ? 0x38 : 0x29;
        if (r < 8) return static_cast<std::uint8_t>(next() % 0x40);
        if (r < 25) return static_cast<std::uint8_t>(0xB0 + next() % 0x20);
        if (r < 40) return static_cast<std::uint8_t>(0xF0 + next() % 10);
        if (r < 50) return static_cast<std::uint8_t>(next() % 0x100);
        return static_cast<std::uint8_t>(0xC1 + next() % 9);
    };
    int compared = 0;
    for (const char* text : patterns) {
        for (std::size_t size : {1u, 5u, 39u, 40u, 200u, 3000u}) {
            for (int options = 0; options < 8; ++options) {
                Bytes input(size);
                for (auto& b : input) b = randomByte();
                const bool keep = (options & 1) != 0;
                const std::int32_t trim = (options & 2) != 0 ? 1 + 8 * (options >> 2) : 0;
                const std::int32_t recordLength = (options & 4) != 0 ? 1 : 0;
                if (matchesReference(text, input, keep, trim, recordLength)) ++compared;
                if (::testing::Test::HasFailure()) return;
            }
        }
    }
    EXPECT_GT(compared, 150);
}

// Records mostly free of shift codes take the compiled walk; the rare shift
// code, an unmapped byte or the end of the data hands over to the plain walk
// mid-record. Every trim flag combination.
TEST(J2sPattern, CompiledWalkMatchesTheReference) {
    const char* const patterns[] = {
        "XXXXXXXXXX,NNNNNNNNNN,SSSSS.SS,CCCCCCC,PPPPP,\"XXXXX\"\n",
        "X9AXXXXXXXXXXX NN\n",
        ",,SS.S,CC.C,PPPP,\"NN\" ,\n",
        "NNNNXXXXXXXXXXXXXXXXXXXXX,S,C,P,XX\n",
        "XXXXXXXXXXXXXXXXX\n",
        "CCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCC,PPPP.PP,SSSSSSSSSSSSSSSSSSSS\n",
        "1:A:XXXX,NN\n2:B:X\"XX\",S.SS\n3:D:CCCCC,9A\n",
        "S.S,C.C,P.P, \"X\"9\n",
    };
    std::uint32_t seed = 31337;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7FFF;
    };
    auto randomByte = [&]() -> std::uint8_t {
        unsigned r = next() % 1000;
        if (r < 4) return r < 2 ? 0x28 : r < 3 ? 0x38 : 0x29;
        if (r < 10) return static_cast<std::uint8_t>(next() % 0x40);
        if (r < 300) return static_cast<std::uint8_t>(0xB0 + next() % 0x20);
        if (r < 500) return static_cast<std::uint8_t>(0xF0 + next() % 10);
        if (r < 600) return 0x40;
        if (r < 800) return static_cast<std::uint8_t>((next() % 10) * 16 + next() % 10);
        return static_cast<std::uint8_t>(0xC1 + next() % 9);
    };
    int compared = 0;
    for (const char* text : patterns) {
        for (std::size_t size : {2u, 39u, 40u, 117u, 2000u}) {
            Bytes input(size);
            for (auto& b : input) b = randomByte();
            for (int options = 0; options < 32; ++options) {
                const bool keep = (options & 1) != 0;
                const std::int32_t trim = options >> 1;
                const std::int32_t recordLength = trim % 2;
                if (matchesReference(text, input, keep, trim, recordLength)) ++compared;
                if (::testing::Test::HasFailure()) return;
            }
        }
    }
    EXPECT_GT(compared, 1000);
}

// The input is read in large pieces; records of several lengths straddle
// the pieces, and moving back after a shorter record crosses into the piece
// before.
TEST(J2sPattern, RecordsAcrossReadPiecesMatchTheReference) {
    const char* const text = "1:A:XXXXXXX,NN\n2:B:X\"XX\",S.SS\n3:D:CCCCC,9A,NNNNNNNNNNNNNNNNNNNN\n";
    std::uint32_t seed = 2024;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7FFF;
    };
    Bytes input(300000);
    for (auto& b : input) {
        unsigned r = next() % 100;
        b = r < 1 ? 0x28 : r < 60 ? 0xC1 + next() % 4 : r < 80 ? 0xB0 + next() % 0x20 : 0xF0 + next() % 10;
    }
    for (int options = 0; options < 4; ++options) {
        const bool keep = (options & 1) != 0;
        const std::int32_t trim = (options & 2) != 0 ? 1 : 0;
        Job job;
        Outcome o = job.run(patterned(text, input, 1, trim, keep ? 1 : 0));
        vokl::Log quiet;
        vokl::PatternList list;
        ASSERT_EQ(vokl::readPatternFile(quiet, job.dir().file("layout.ptn").c_str(), 3, list), 0);
        ReferenceResult expected =
            referencePattern(input, list, vokl::ebcdicToJis8(vokl::SbVariant::Ascii), !keep, trim, true);
        ASSERT_FALSE(expected.malformed);
        EXPECT_GT(expected.lines, 10000);
        EXPECT_EQ(o.rc, expected.replaced ? -1 : expected.lines) << options;
        EXPECT_TRUE(o.output == expected.output) << options;
    }
}

TEST(J2sStream, BlockLength) {
    using vokl::j2s::streamBlockLength;
    EXPECT_EQ(streamBlockLength(80, 40000), 80);
    EXPECT_EQ(streamBlockLength(0, 32760), 32760);
    EXPECT_EQ(streamBlockLength(0, 32761), 16380);
    EXPECT_EQ(streamBlockLength(-1, 100), 100);
    EXPECT_EQ(streamBlockLength(0, std::int64_t{5} << 31), 16380);
}

TEST(J2sNoPatternMarker, FirstTenBytesDecide) {
    using vokl::j2s::meansNoPattern;
    EXPECT_TRUE(meansNoPattern("_********_"));
    EXPECT_TRUE(meansNoPattern("_********_anything after"));
    EXPECT_TRUE(meansNoPattern(nullptr));
    EXPECT_FALSE(meansNoPattern("_********"));
    EXPECT_FALSE(meansNoPattern(""));
    EXPECT_FALSE(meansNoPattern("layout.ptn"));
}

// ---- failures -------------------------------------------------------------------

struct FailureCase {
    const char* name;
    Call call;
    std::int32_t rc;
    const char* logLine;  // UTF-8; "%s" stands for the pattern path
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class J2sPatternFailure : public ::testing::TestWithParam<FailureCase> {};

// A pattern that cannot be used: the output stays empty and the
// conversion-error log stays, empty.
TEST_P(J2sPatternFailure, LeavesAnEmptyOutputAndConvLog) {
    const FailureCase& c = GetParam();
    Job job;
    Outcome o = job.run(c.call);
    EXPECT_EQ(o.rc, c.rc);
    std::string line = c.logLine;
    if (auto at = line.find("%s"); at != std::string::npos) line.replace(at, 2, job.dir().file("layout.ptn"));
    EXPECT_EQ(testutil::utf8(o.log), testutil::utf8(logLines(line)));
    EXPECT_TRUE(o.outputExists);
    EXPECT_TRUE(o.output.empty());
    EXPECT_TRUE(o.convLogExists);
    EXPECT_EQ(o.convLog, "");
}

const FailureCase kPatternFailures[] = {
    {"OnlyComments", patterned("# note\nX\n", bytes({0xC1})), -17, "[%s]のファイルに有効なレコードパターンがありません\n"},
    {"BadCharacter", patterned("XX?X\n", bytes({0xC1})), -2, "レコードパターンに認識できない文字が使われています(桁位置=3)\n"},
    {"MultiWithoutKeyword", patterned("10:AB:XXXXXXXXXXXX\nXX\n", bytes({0xC1})), -2,
     "レコードパターンが複数指定されていますがキーワードが指定されていません\n"},
};
INSTANTIATE_TEST_SUITE_P(Reading, J2sPatternFailure, ::testing::ValuesIn(kPatternFailures),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(J2sPatternFailure, EmptyPatternFileGives17) {
    Job job;
    testutil::writeFile(job.in(), bytes({0xC1}));
    std::string ptn = job.dir().file("empty.ptn");
    testutil::writeFile(ptn, Bytes{});
    std::int32_t rc = j2sconv(1, 3, 0, 0, 0, job.in().c_str(), job.out().c_str(), ptn.c_str(), job.log().c_str(),
                              job.convLog().c_str());
    Outcome o;
    o.rc = rc;
    o = job.collect(o);
    EXPECT_EQ(o.rc, -17);
    EXPECT_EQ(o.log, logLines(std::string("[") + ptn + "]のファイルサイズが 0 です\n"));
    EXPECT_TRUE(o.convLogExists);
}

TEST(J2sPatternFailure, MissingPatternFileGives12) {
    Job job;
    testutil::writeFile(job.in(), bytes({0xC1}));
    std::string ptn = job.dir().file("missing.ptn");
    std::int32_t rc = j2sconv(1, 3, 0, 0, 0, job.in().c_str(), job.out().c_str(), ptn.c_str(), job.log().c_str(),
                              job.convLog().c_str());
    Outcome o;
    o.rc = rc;
    o = job.collect(o);
    EXPECT_EQ(o.rc, -12);
    EXPECT_EQ(o.log, logLines(std::string("[") + ptn + "]のオープンに失敗しました\n"));
    EXPECT_TRUE(o.outputExists);
    EXPECT_TRUE(o.convLogExists);
}

struct RunFailureCase {
    const char* name;
    Call call;
    Bytes expected;  // records written before the failure
    const char* logLine;
};

void PrintTo(const RunFailureCase& c, std::ostream* os) { *os << c.name; }

class J2sMalformedRun : public ::testing::TestWithParam<RunFailureCase> {};

// Found while converting: the record in progress is not written, those before
// it are, and the conversion-error log goes.
TEST_P(J2sMalformedRun, StopsWith2) {
    const RunFailureCase& c = GetParam();
    Job job;
    Outcome o = job.run(c.call);
    EXPECT_EQ(o.rc, -2);
    EXPECT_EQ(o.output, c.expected);
    EXPECT_EQ(testutil::utf8(o.log), testutil::utf8(logLines(c.logLine)));
    EXPECT_FALSE(o.convLogExists);
}

const RunFailureCase kMalformedRuns[] = {
    {"ZonedPointAtTheEnd", patterned("1:A:XX\n1:B:XSS.\n", bytes({0xC1, 0xC2, 0xC2, 0xF1, 0xF2}), 1),
     text("AB\r\n"), "レコードパターンのサイン付き数字の指定に誤りがあります\n"},
    {"PackedPointAtTheEnd", patterned("XCC.\n", bytes({0xC1, 0x12, 0x3C})), Bytes{},
     "レコードパターンの COMP-3 数字の指定に誤りがあります\n"},
    {"MultiPatternRecordWithoutFieldsDoesNotLoop", patterned("1:A: , ,\n1:B:XX\n", bytes({0xC2, 0xC3, 0xC1, 0xC1})),
     text("BC"), "レコードパターンに変換する項目がありません\n"},
};
INSTANTIATE_TEST_SUITE_P(Converting, J2sMalformedRun, ::testing::ValuesIn(kMalformedRuns),
                         [](const auto& param) { return std::string(param.param.name); });

// ---- files and the log --------------------------------------------------------------

TEST(J2sFiles, UncreatableLogGives31AndTouchesNothing) {
    Job job;
    testutil::writeFile(job.in(), bytes({0xC1}));
    std::string log = job.dir().file("nofolder/vok.log");
    std::int32_t rc = j2sconv(1, 3, 0, 0, 0, job.in().c_str(), job.out().c_str(), kStream, log.c_str(),
                              job.convLog().c_str());
    EXPECT_EQ(rc, -31);
    EXPECT_FALSE(testutil::exists(job.out()));
    EXPECT_FALSE(testutil::exists(job.convLog()));
}

TEST(J2sFiles, LogSwitchZeroIgnoresTheLogPath) {
    Job job;
    testutil::writeFile(job.in(), bytes({0xC1}));
    std::string log = job.dir().file("nofolder/vok.log");
    std::int32_t rc = j2sconv(0, 3, 0, 0, 0, job.in().c_str(), job.out().c_str(), kStream, log.c_str(),
                              job.convLog().c_str());
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(testutil::readFile(job.out()), bytes({0x41}));
}

TEST(J2sFiles, MissingInputGives11) {
    Job job;
    std::int32_t rc = j2sconv(1, 3, 0, 0, 0, job.in().c_str(), job.out().c_str(), kStream, job.log().c_str(),
                              job.convLog().c_str());
    EXPECT_EQ(rc, -11);
    EXPECT_EQ(testutil::readText(job.log()), logLines(std::string("[") + job.in() + "]が見つかりません\n"));
    EXPECT_FALSE(testutil::exists(job.out()));
    EXPECT_FALSE(testutil::exists(job.convLog()));
}

TEST(J2sFiles, FolderAsInputGives11WithCause) {
    Job job;
    std::string folder = job.dir().file("folder");
    std::filesystem::create_directory(folder);
    std::int32_t rc = j2sconv(1, 3, 0, 0, 0, folder.c_str(), job.out().c_str(), kStream, job.log().c_str(),
                              job.convLog().c_str());
    EXPECT_EQ(rc, -11);
    EXPECT_NE(testutil::utf8(testutil::readText(job.log())).find("]のオープンに失敗しました(原因="), std::string::npos);
}

TEST(J2sFiles, UnreadableInputGives11WithCause) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
    Job job;
    testutil::writeFile(job.in(), bytes({0xC1}));
    std::filesystem::permissions(job.in(), std::filesystem::perms::none);
    std::int32_t rc = j2sconv(1, 3, 0, 0, 0, job.in().c_str(), job.out().c_str(), kStream, job.log().c_str(),
                              job.convLog().c_str());
    EXPECT_EQ(rc, -11);
    EXPECT_NE(testutil::utf8(testutil::readText(job.log())).find("のオープンに失敗しました(原因="), std::string::npos);
}

TEST(J2sFiles, EmptyInputGives16AndCreatesNoOutput) {
    Job job;
    Outcome o = job.run(stream(Bytes{}));
    EXPECT_EQ(o.rc, -16);
    EXPECT_EQ(o.log, logLines(std::string("[") + job.in() + "]のファイルサイズが 0 です\n"));
    EXPECT_FALSE(o.outputExists);
    EXPECT_FALSE(o.convLogExists);
}

TEST(J2sFiles, MissingOutputFolderGives10) {
    Job job;
    testutil::writeFile(job.in(), bytes({0xC1}));
    std::string out = job.dir().file("nofolder/text.txt");
    std::int32_t rc = j2sconv(1, 3, 0, 0, 0, job.in().c_str(), out.c_str(), kStream, job.log().c_str(),
                              job.convLog().c_str());
    EXPECT_EQ(rc, -10);
    EXPECT_NE(testutil::utf8(testutil::readText(job.log())).find(std::string("[") + out + "]のオープンに失敗しました(原因="),
              std::string::npos);
    EXPECT_FALSE(testutil::exists(job.convLog()));
}

TEST(J2sFiles, OutputNamingTheInputIsRefusedBeforeItIsEmptied) {
    Job job;
    testutil::writeFile(job.in(), bytes({0xC1, 0xC2}));
    std::int32_t rc = j2sconv(1, 3, 0, 0, 0, job.in().c_str(), job.in().c_str(), kStream, job.log().c_str(),
                              job.convLog().c_str());
    EXPECT_EQ(rc, -10);
    EXPECT_EQ(testutil::readFile(job.in()), bytes({0xC1, 0xC2}));
    EXPECT_EQ(testutil::readText(job.log()), logLines(std::string("[") + job.in() + "]は入力ファイルと同じファイルです\n"));
}

TEST(J2sFiles, FullDiskGives25AtTheFinalFlush) {
    Job job;
    testutil::writeFile(job.in(), bytes({0xC1, 0xC2}));
    std::int32_t rc = j2sconv(1, 3, 0, 0, 0, job.in().c_str(), "/dev/full", kStream, job.log().c_str(),
                              job.convLog().c_str());
    EXPECT_EQ(rc, -25);
    EXPECT_NE(testutil::utf8(testutil::readText(job.log())).find("シフトJISファイルの書き込みでエラーが発生しました(原因="),
              std::string::npos);
    EXPECT_FALSE(testutil::exists(job.convLog()));
}

TEST(J2sFiles, FullDiskGives25WinningOverReplacedCharacters) {
    Job job;
    Bytes input(1 << 20, 0xC1);
    input[5] = 0x00;
    testutil::writeFile(job.in(), input);
    std::int32_t rc = j2sconv(1, 3, 0, 0, 0, job.in().c_str(), "/dev/full", kStream, job.log().c_str(),
                              job.convLog().c_str());
    EXPECT_EQ(rc, -25);
    EXPECT_FALSE(testutil::exists(job.convLog()));
}

TEST(J2sFiles, LargestRecordLengthOnASmallFile) {
    Job job;
    Outcome o = job.run(stream(bytes({0xC1, 0xC2}), 0x7FFFFFFF));
    EXPECT_EQ(o.rc, 1);
    EXPECT_EQ(o.output, bytes({0x41, 0x42, 0x0D, 0x0A}));
}

TEST(J2sFiles, NullPatternAndConvLogPaths) {
    Job job;
    testutil::writeFile(job.in(), bytes({0x28, 0xB0, 0xA1, 0x29, 0x00}));
    std::int32_t rc = j2sconv(1, 3, 0, 0, 0, job.in().c_str(), job.out().c_str(), nullptr, job.log().c_str(), nullptr);
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(testutil::readFile(job.out()), bytes({0x88, 0x9F, 0x20}));
    std::string log = testutil::utf8(testutil::readText(job.log()));
    EXPECT_EQ(log.find("[]のオープンに失敗しました(原因="), 0u);
    EXPECT_NE(log.find("EBCDIC->JIS 変換エラー(EBCDIC=0x00/5バイト目)\r\n"), std::string::npos);
}

// ---- the conversion-error log -------------------------------------------------------

TEST(J2sConvLog, KeptAfterReplacedCharactersEvenWithoutLog) {
    Job job;
    Call call = stream(bytes({0x00}));
    call.logSwitch = 0;
    Outcome o = job.run(call);
    EXPECT_EQ(o.rc, -1);
    EXPECT_TRUE(o.convLogExists);
    EXPECT_EQ(o.convLog, "");
}

TEST(J2sConvLog, UncreatableGoesToTheLog) {
    Job job;
    testutil::writeFile(job.in(), bytes({0x00}));
    std::string conv = job.dir().file("nofolder/VOK_LOG.txt");
    std::int32_t rc = j2sconv(1, 3, 0, 0, 0, job.in().c_str(), job.out().c_str(), kStream, job.log().c_str(),
                              conv.c_str());
    EXPECT_EQ(rc, -1);
    std::string log = testutil::utf8(testutil::readText(job.log()));
    EXPECT_EQ(log.find(std::string("[") + conv + "]のオープンに失敗しました(原因="), 0u);
    EXPECT_NE(log.find("EBCDIC->JIS 変換エラー(EBCDIC=0x00/1バイト目)\r\n"), std::string::npos);
    EXPECT_NE(log.find(std::string("\r\n\r\n") + conv + "に変換エラーのログを出力しました。\r\n"), std::string::npos);
}

TEST(J2sConvLog, NamingTheOutputLeavesTheOutputAlone) {
    Job job;
    testutil::writeFile(job.in(), bytes({0xC1, 0xC2}));
    std::int32_t rc = j2sconv(1, 3, 0, 0, 0, job.in().c_str(), job.out().c_str(), kStream, job.log().c_str(),
                              job.out().c_str());
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(testutil::readFile(job.out()), bytes({0x41, 0x42}));
}

// ---- a JEF file that fails while it is read ----------------------------------------

class FailingSource : public vokl::j2s::JefSource {
public:
    FailingSource(std::int64_t goodBytes, bool seekWorks) : left_(goodBytes), seekWorks_(seekWorks) {}
    std::int64_t read(void* buffer, std::size_t size) override {
        if (left_ == 0) return -1;
        std::size_t n = std::min<std::size_t>(size, static_cast<std::size_t>(left_));
        std::memset(buffer, 0xC1, n);
        left_ -= static_cast<std::int64_t>(n);
        return static_cast<std::int64_t>(n);
    }
    bool seekBy(std::int64_t) override { return seekWorks_; }

private:
    std::int64_t left_;
    bool seekWorks_;
};

struct SourceCase {
    const char* name;
    std::int64_t goodBytes;
    bool seekWorks;
    std::string pattern;
    std::int32_t recordLength;
    std::size_t written;
    const char* logLine;
};

void PrintTo(const SourceCase& c, std::ostream* os) { *os << c.name; }

class J2sFailingInput : public ::testing::TestWithParam<SourceCase> {};

TEST_P(J2sFailingInput, Gives21) {
    const SourceCase& c = GetParam();
    Job job;
    testutil::writeFile(job.in(), Bytes(100, 0xC1));
    std::string ptn = kStream;
    if (!c.pattern.empty()) {
        ptn = job.dir().file("layout.ptn");
        testutil::writeFile(ptn, c.pattern);
    }
    const std::string in = job.in(), out = job.out(), conv = job.convLog();
    vokl::j2s::Arguments args;
    args.recordLength = c.recordLength;
    args.jefPath = in.c_str();
    args.sjisPath = out.c_str();
    args.patternPath = ptn.c_str();
    args.convLogPath = conv.c_str();
    std::int32_t rc = 0;
    {
        vokl::Log log;
        ASSERT_TRUE(log.create(job.log().c_str()));
        FailingSource source(c.goodBytes, c.seekWorks);
        rc = vokl::j2s::convertJef(log, args, &source);
    }
    EXPECT_EQ(rc, -21);
    EXPECT_EQ(testutil::readText(job.log()), logLines(c.logLine));
    EXPECT_EQ(testutil::readFile(job.out()).size(), c.written);
    EXPECT_FALSE(testutil::exists(job.convLog()));
}

const SourceCase kSourceCases[] = {
    {"StreamReadErrorMidFile", 30, true, "", 10, 36, "JEFファイルの読み込みに失敗しました\n"},
    {"PatternReadErrorMidFile", 30, true, "XXXXX\n", 0, 30, "JEFファイルの読み込みに失敗しました\n"},
    {"PatternSeekBackFails", 30, false, "1:A:XX\n1:B:XXXX\n", 0, 0, "JEFファイルのシークに失敗しました\n"},
};
INSTANTIATE_TEST_SUITE_P(Seam, J2sFailingInput, ::testing::ValuesIn(kSourceCases),
                         [](const auto& param) { return std::string(param.param.name); });

// Bytes made up on the fly: size - 2 single bytes, then a shift-in and a
// lone kanji byte as the very last byte.
class LargeSource : public vokl::j2s::JefSource {
public:
    explicit LargeSource(std::int64_t size) : size_(size) {}
    std::int64_t read(void* buffer, std::size_t size) override {
        std::int64_t n = std::min<std::int64_t>(static_cast<std::int64_t>(size), size_ - at_);
        auto* b = static_cast<std::uint8_t*>(buffer);
        std::memset(b, 0xC1, static_cast<std::size_t>(n));
        for (std::int64_t tail : {size_ - 2, size_ - 1}) {
            if (tail >= at_ && tail < at_ + n) b[tail - at_] = tail == size_ - 2 ? 0x28 : 0xB0;
        }
        at_ += n;
        return n;
    }
    bool seekBy(std::int64_t offset) override {
        at_ += offset;
        return true;
    }

private:
    std::int64_t size_;
    std::int64_t at_ = 0;
};

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

TEST(J2sLargeInput, ByteNumbersPast2GiB) {
    // Two gigabytes through an instrumented build take minutes; the counters
    // are the same code in the plain build.
    if (kSanitized) GTEST_SKIP() << "too slow under the sanitizers";
    Job job;
    const std::int64_t size = (std::int64_t{1} << 31) + 10;
    testutil::writeFile(job.in(), Bytes{0xC1});
    std::filesystem::resize_file(job.in(), static_cast<std::uintmax_t>(size));  // sparse
    const std::string in = job.in(), conv = job.convLog();
    vokl::j2s::Arguments args;
    args.jefPath = in.c_str();
    args.sjisPath = "/dev/null";
    args.patternPath = kStream;
    args.convLogPath = conv.c_str();
    std::int32_t rc = 0;
    {
        vokl::Log log;
        ASSERT_TRUE(log.create(job.log().c_str()));
        LargeSource source(size);
        rc = vokl::j2s::convertJef(log, args, &source);
    }
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(testutil::readText(conv), logLines("JEF->シフトJIS 変換エラー(JEF=0xb0/2147483658バイト目)\n"));
}

TEST(J2sFailingInput, SplitPairSeekFailureGives21) {
    Job job;
    testutil::writeFile(job.in(), bytes({0x28, 0xB0, 0xA1, 0xB0, 0xA1}));
    // The real file's bytes, but every seek fails.
    class NoSeek : public vokl::j2s::JefSource {
    public:
        explicit NoSeek(const std::string& path) { file.open(path.c_str(), vokl::File::Mode::ReadBinary); }
        std::int64_t read(void* b, std::size_t n) override { return file.read(b, n); }
        bool seekBy(std::int64_t) override { return false; }
        vokl::File file;
    } source(job.in());
    const std::string in = job.in(), out = job.out(), conv = job.convLog();
    vokl::j2s::Arguments args;
    args.recordLength = 2;
    args.jefPath = in.c_str();
    args.sjisPath = out.c_str();
    args.patternPath = kStream;
    args.convLogPath = conv.c_str();
    std::int32_t rc = 0;
    {
        vokl::Log log;
        ASSERT_TRUE(log.create(job.log().c_str()));
        rc = vokl::j2s::convertJef(log, args, &source);
    }
    EXPECT_EQ(rc, -21);
    EXPECT_EQ(testutil::readText(job.log()), logLines("JEFファイルのシークに失敗しました\n"));
}

}  // namespace
