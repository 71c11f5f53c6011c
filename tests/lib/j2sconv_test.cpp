// j2sconv on real files: stream and pattern mode against slow reference
// walks, the conversion-error log's life, and every result code it gives.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string_view>

#include "j2sconv.h"
#include "memory_source.h"
#include "numeric.h"
#include "pattern.h"
#include "tblank.h"
#include "tblknj.h"
#include "tbluni.h"
#include "testutil.h"

namespace {

using testutil::Bytes;
using testutil::hex;
using testutil::logLines;
using testutil::operator+;

constexpr const char* kStream = "_********_";

struct Outcome {
    std::int32_t rc = 0;
    Bytes output;
    std::string log;      // UTF-8
    std::string convLog;  // UTF-8; "-" when the file is not there
    bool operator==(const Outcome&) const = default;
};

void PrintTo(const Outcome& o, std::ostream* os) {
    *os << o.rc << " [" << testing::PrintToString(o.output) << "] log: " << o.log << " conv: " << o.convLog;
}

// One call of j2sconv in a fresh folder: host.bin, text.txt, layout.ptn,
// vok.log and conv.txt. `pattern` is the pattern file's text; nullptr: stream.
struct Job {
    testutil::TempDir dir;
    std::string in = dir.file("host.bin"), out = dir.file("text.txt"), ptn = dir.file("layout.ptn");
    std::string log = dir.file("vok.log"), conv = dir.file("conv.txt");

    Outcome run(const Bytes& input, const char* pattern, std::int32_t recordLength = 0, std::int32_t trim = 0,
                std::int32_t keepShift = 0, std::int32_t code = 3) {
        testutil::writeFile(in, input);
        if (pattern) testutil::writeFile(ptn, std::string(pattern));
        return call(code, recordLength, keepShift, trim, pattern ? ptn : kStream);
    }
    Outcome call(std::int32_t code, std::int32_t recordLength, std::int32_t keepShift, std::int32_t trim,
                 const std::string& pattern, int logSwitch = 1) {
        Outcome o;
        o.rc = j2sconv(logSwitch, code, recordLength, keepShift, trim, in.c_str(), out.c_str(), pattern.c_str(),
                       log.c_str(), conv.c_str());
        return collect(o);
    }
    Outcome collect(Outcome o) const {
        if (std::filesystem::is_regular_file(out)) o.output = testutil::readFile(out);
        if (testutil::exists(log)) o.log = testutil::utf8(testutil::readText(log));
        o.convLog = std::filesystem::is_regular_file(conv) ? testutil::utf8(testutil::readText(conv)) : "-";
        return o;
    }
    // The log's last lines after replaced characters.
    std::string convWritten() const { return "\r\n\r\n" + conv + "に変換エラーのログを出力しました。\r\n"; }
};

std::string crlf(const char* text) { return testutil::replaceAll(text, {{"\n", "\r\n"}}); }

struct ConversionCase {
    const char* input;    // hex
    const char* pattern;  // nullptr: stream mode
    std::int32_t recordLength, trim, keepShift, code;
    const char* output;  // hex
    std::int32_t rc;
    const char* convLines;  // UTF-8, "" when nothing was replaced
};

class J2sConversion : public testing::TestWithParam<ConversionCase> {};

TEST_P(J2sConversion, WritesTheExpectedText) {
    const ConversionCase& c = GetParam();
    Job job;
    const Outcome o = job.run(hex(c.input), c.pattern, c.recordLength, c.trim, c.keepShift, c.code);
    const bool replaced = *c.convLines != '\0';
    EXPECT_EQ(o, (Outcome{c.rc, hex(c.output), replaced ? job.convWritten() : "", replaced ? crlf(c.convLines) : "-"}));
}

INSTANTIATE_TEST_SUITE_P(Stream, J2sConversion, testing::Values(
    ConversionCase{"28B0A129C1", nullptr, 0, 0, 0, 3, "889F41", 0, ""},
    ConversionCase{"38B0A129C1", nullptr, 0, 0, 0, 3, "889F41", 0, ""},                    // 0x38 also shifts in
    ConversionCase{"28B0A128B0A1", nullptr, 0, 0, 0, 3, "889F889F", 0, ""},                // repeated shift-ins
    ConversionCase{"815A", nullptr, 0, 0, 0, 1, "B121", 0, ""},                            // kana
    ConversionCase{"815A", nullptr, 0, 0, 0, 2, "6121", 0, ""},                            // lower case
    ConversionCase{"815A", nullptr, 0, 0, 0, 7, "615D", 0, ""},                            // any other: ASCII
    ConversionCase{"C100C2", nullptr, 0, 0, 0, 3, "412042", -1, "EBCDIC->JIS 変換エラー(EBCDIC=0x00/2バイト目)\n"},
    ConversionCase{"28202029", nullptr, 0, 0, 0, 3, "8140", -1, "JEF->シフトJIS 変換エラー(JEF=0x2020/2バイト目)\n"},
    ConversionCase{"C128B0", nullptr, 0, 0, 0, 3, "4120", -1, "JEF->シフトJIS 変換エラー(JEF=0xb0/3バイト目)\n"},
    ConversionCase{"C1C2C3C4C5", nullptr, 2, 0, 0, 3, "41420D0A43440D0A450D0A", 3, ""},   // a line end per block
    ConversionCase{"28B0A129", nullptr, 2, 0, 0, 3, "0D0A889F0D0A0D0A", 3, ""},           // split pair moves on
    ConversionCase{"28B0A1B0A1", nullptr, 3, 0, 0, 3, "889F0D0A889F0D0A", 2, ""},         // shift state carries
    ConversionCase{"2828B0A1", nullptr, 2, 0, 0, 3, "0D0A889F0D0A", 2, ""},
    ConversionCase{"28B0A129C1", nullptr, 1, 0, 0, 3, "0D0A889F0D0A0D0A410D0A", 4, ""},   // one-byte blocks
    ConversionCase{"28B0", nullptr, 1, 0, 0, 3, "0D0A200D0A", -1, "JEF->シフトJIS 変換エラー(JEF=0xb0/2バイト目)\n"},
    ConversionCase{"C1C2", nullptr, -5, 0, 0, 3, "41420D0A", 1, ""},                      // negative: line ends
    ConversionCase{"C1C2", nullptr, 0x7FFFFFFF, 0, 0, 3, "41420D0A", 1, ""}));            // no huge buffer

INSTANTIATE_TEST_SUITE_P(Pattern, J2sConversion, testing::Values(
    ConversionCase{"C1C2B0A1", "XXNN\n", 0, 0, 0, 3, "4142889F", 0, ""},
    ConversionCase{"C1C2B0A1C3C4B0A2", "XXNN\n", 1, 0, 0, 3, "4142889F0D0A434488A00D0A", 2, ""},
    ConversionCase{"C1C2C3F1C4", "x\"xx\",9A\n", 0, 0, 0, 3, "4122424322 2C3144", 0, ""},   // literals, lower case
    ConversionCase{"F1F2C3F1F2D3", "SS.S,SSS\n", 0, 0, 0, 3, "2B31322E332C2D313233", 0, ""},
    ConversionCase{"12345D12345C12345D", "CCC.CC,PPPPP,PPPPP\n", 0, 0, 0, 3, "2D3132332E34352C31323334352C2D3132333435", 0, ""},
    ConversionCase{"C1404040 40C2", "XXX,XXX\n", 0, 1, 0, 3, "412C42", 0, ""},               // trim
    ConversionCase{"C1404040 40C2", "XXX,XXX\n", 0, 2, 0, 3, "4120202C42", 0, ""},           // left
    ConversionCase{"C1404040 40C2", "XXX,XXX\n", 1, 4, 0, 3, "412C2020420D0A", 1, ""},       // right
    ConversionCase{"C1404040 40B0A1", "XXX,NNNN\n", 0, 9, 0, 3, "4120202C889F", 0, ""},      // kanji items only
    ConversionCase{"C128C2C3C4", "XXXX\n", 0, 0, 0, 3, "41424344", 0, ""},                   // skipped shift code
    ConversionCase{"2828282838292828C1C2C3C4", "XXXX\n", 0, 0, 0, 3, "5858585841424344", 0, ""},
    ConversionCase{"C128C2C3C4", "XXXX\n", 0, 0, 1, 3, "4120424344585858", -1, "EBCDIC->JIS 変換エラー(EBCDIC=0x28/2バイト目)\n"},
    ConversionCase{"C1289C", "XCCC\n", 0, 0, 0, 3, "412B323839", 0, ""},                      // 0x28 as packed digits
    ConversionCase{"C1289CC2", "X,CCC,X\n", 0, 0, 0, 3, "412C2B3238392C42", 0, ""},
    ConversionCase{"C128B0A1", "X,NN\n", 0, 0, 0, 3, "412C889F", 0, ""},
    ConversionCase{"C1C2C3C4C5C6", "XXXX,\n", 1, 0, 0, 3, "414243442C0D0A454658582C0D0A", 2, ""},  // short last record
    ConversionCase{"C1C2B0", "XXNN\n", 0, 0, 0, 3, "41424E4E", 0, ""},
    ConversionCase{"002020", "XNN\n", 0, 0, 0, 3, "208140", -1,
                   "EBCDIC->JIS 変換エラー(EBCDIC=0x00/1バイト目)\nJEF->シフトJIS 変換エラー(JEF=0x2020/2バイト目)\n"},
    ConversionCase{"C1C2C3C4C2C1B0A1", "1:A:XXXX\n1:B:XXNN\n", 1, 0, 0, 3, "414243440D0A4241889F0D0A", 2, ""},
    ConversionCase{"E9C1B0A1", "1:A:XXXX\n1:B:XXNN\n", 0, 0, 0, 3, "5A41889F", 0, ""},       // no match: the last
    ConversionCase{"C1C2C2C3C4C5C1C6", "1:A:XX\n1:B:XXXX\n", 1, 0, 0, 3, "41420D0A424344450D0A41460D0A", 3, ""},
    ConversionCase{"28C2C3", "1:B:XX\n1:A:XX\n", 0, 0, 0, 3, "4243", 0, ""}));

// Stream mode the slow, obvious way: block by block, pair by pair.
Outcome referenceStream(const Bytes& in, std::int32_t recordLength, std::int32_t code) {
    const std::size_t block = recordLength > 0 ? static_cast<std::size_t>(recordLength) : in.size() <= 32760 ? in.size() : 16380;
    const auto& table = vokl::ebcdicToJis8(code == 1 ? vokl::SbVariant::Kana : vokl::SbVariant::Ascii);
    Outcome r;
    bool doubleByte = false, replaced = false;
    auto pair = [&](unsigned jef) {
        const std::uint8_t* e = vokl::jefToSjis(jef);
        const bool none = e[0] == 0 && e[1] == 0;
        replaced |= none;
        r.output.insert(r.output.end(), {none ? std::uint8_t{0x81} : e[0], none ? std::uint8_t{0x40} : e[1]});
    };
    for (std::size_t pos = 0, k = 0; pos < in.size(); pos += k) {
        const std::size_t n = std::min(block, in.size() - pos);
        for (k = 0; k < n;) {
            const std::uint8_t b = in[pos + k];
            if (b == 0x28 || b == 0x38 || b == 0x29) doubleByte = b != 0x29, ++k;
            else if (!doubleByte) replaced |= table[b] == 0, r.output.push_back(table[b] ? table[b] : 0x20), ++k;
            else if (k + 1 < n) pair(b * 256u + in[pos + k + 1]), k += 2;
            else if (pos + k + 1 == in.size()) replaced = true, r.output.push_back(0x20), ++k;
            else if (k > 0) break;
            else pair(b * 256u + in[pos + 1]), k = 2;
        }
        if (recordLength != 0) r.output.insert(r.output.end(), {0x0D, 0x0A}), ++r.rc;
    }
    if (replaced) r.rc = -1;
    return r;
}

// Pattern mode the slow way over bytes in memory: one pattern character at a
// time, with the read-ahead, seek-back and end-of-data rules. Its `rc` is -2
// when a run turned out malformed.
bool isField(char c) { return std::string_view("XA9NSCP").find(c) != std::string_view::npos; }

Outcome referencePattern(const Bytes& in, const vokl::PatternList& list, bool skip, std::int32_t trim, bool lineEnds) {
    const auto& table = vokl::ebcdicToJis8(vokl::SbVariant::Ascii);
    Outcome r;
    bool replaced = false;
    const std::size_t readLength = static_cast<std::size_t>(list.maxRecordLen), capacity = 2 * readLength;
    std::size_t pos = 0;
    std::int64_t counter = 0;
    for (std::size_t n; readLength > 0 && (n = std::min(readLength, in.size() - pos)) > 0;) {
        Bytes record(in.begin() + static_cast<std::ptrdiff_t>(pos), in.begin() + static_cast<std::ptrdiff_t>(pos + n));
        pos += n;
        const vokl::PatternEntry& entry = list.multi ? vokl::choosePattern(list, record.data(), n, skip) : list.entries[0];
        if (list.multi && entry.recordLen == 0) return {-2, {}, {}, {}};
        if (list.multi && n > static_cast<std::size_t>(entry.recordLen)) {
            pos -= n - static_cast<std::size_t>(entry.recordLen);
            record.resize(n = static_cast<std::size_t>(entry.recordLen));
        }
        const std::string& pattern = entry.pattern;
        std::string text;
        std::size_t p = 0, i = 0;
        while (p < pattern.size()) {
            if (i + 1 >= n && counter + 1 > static_cast<std::int64_t>(in.size())) break;
            if (i + 1 >= n && counter + 1 < static_cast<std::int64_t>(in.size())) {
                const auto want = static_cast<std::size_t>(std::count_if(pattern.begin() + static_cast<std::ptrdiff_t>(p), pattern.end(), isField));
                if (want >= 2) {
                    const std::size_t take = std::min({want, capacity - n, in.size() - pos});
                    record.insert(record.end(), in.begin() + static_cast<std::ptrdiff_t>(pos), in.begin() + static_cast<std::ptrdiff_t>(pos + take));
                    pos += take, n += take;
                }
            }
            const char c = pattern[p];
            if (!isField(c)) {
                text += c, ++p;
                continue;
            }
            if (i >= n) break;
            if (skip && c != 'C' && c != 'P' && (record[i] == 0x28 || record[i] == 0x38 || record[i] == 0x29)) {
                ++i, ++counter;
            } else if (c == 'X' || c == 'A' || c == '9') {
                const std::uint8_t v = table[record[i]];
                replaced |= v == 0;
                text += static_cast<char>(v != 0 ? v : 0x20), ++p, ++i, ++counter;
            } else if (c == 'N') {
                if (i + 1 >= n) break;
                const std::uint8_t* e = vokl::jefToSjis(record[i] * 256u + record[i + 1]);
                const bool none = e[0] == 0 && e[1] == 0;
                replaced |= none;
                text += none ? "\x81\x40" : std::string{char(e[0]), char(e[1])};
                p += 2, i += 2, counter += 2;
            } else {
                char digits[64];
                const std::string_view run(pattern.data() + p, pattern.size() - p);
                const vokl::NumericResult nr = c == 'S' ? vokl::zonedToText(run, &record[i], n - i, digits, sizeof digits)
                                                        : vokl::packedToText(run, &record[i], n - i, digits, sizeof digits);
                if (nr.status != vokl::NumericStatus::Ok) return {-2, {}, {}, {}};
                text.append(digits, nr.textLen);
                p += nr.patternUsed, i += nr.bytesUsed, counter += static_cast<std::int64_t>(nr.bytesUsed);
            }
        }
        text += pattern.substr(std::min(p, pattern.size()));
        if (trim != 0) text.resize(vokl::trimItemsReference(text.data(), text.size(), trim));
        r.output.insert(r.output.end(), text.begin(), text.end());
        if (lineEnds) r.output.insert(r.output.end(), {0x0D, 0x0A}), ++r.rc;
    }
    if (replaced) r.rc = -1;
    return r;
}

// Random host bytes: weights for shift codes, unmapped bytes, kanji, zoned
// and packed digits, blanks, letters.
Bytes randomInput(std::mt19937& rng, std::size_t size, std::array<unsigned, 6> weights) {
    Bytes input(size);
    for (auto& b : input) {
        unsigned r = rng() % 1000, k = 0;
        while (k < 5 && r >= weights[k]) r -= weights[k++];
        const std::uint8_t shifts[] = {0x28, 0x38, 0x29};
        b = k == 0 ? shifts[rng() % 3] : k == 1 ? rng() % 0x40 : k == 2 ? 0xB0 + rng() % 0x30
          : k == 3 ? (rng() % 2 ? 0xF0 + rng() % 10 : (rng() % 10) * 16 + rng() % 10) : k == 4 ? 0x40 : 0xC1 + rng() % 9;
    }
    return input;
}

TEST(J2sStream, MatchesTheReferenceOnRandomInput) {
    std::mt19937 rng(12345);
    for (std::size_t size : {1, 2, 9, 17, 64, 333, 2000, 40001}) {
        for (std::int32_t length : {0, 1, 2, 3, 7, 8, 9, 16, 17, 80}) {
            const Bytes input = randomInput(rng, size, {50, 20, 430, 0, 0, 500});
            for (std::int32_t code : {1, 3}) {
                Job job;
                const Outcome o = job.run(input, nullptr, length, 0, 0, code);
                const Outcome ref = referenceStream(input, length, code);
                ASSERT_EQ(o.output, ref.output) << "size " << size << ", record length " << length;
                ASSERT_EQ(o.rc, ref.rc) << "size " << size << ", record length " << length;
            }
        }
    }
}

// Shift-coded text the vector steps take whole (letters, katakana, kanji
// runs) with now and then what they leave to the plain walk (a byte below
// 0x40, an odd kanji run, an unmapped pair), in Shift-JIS and in UTF-8,
// through the vector steps and through the plain walk alone.
TEST(J2sStream, VectorStepsMatchTheReference) {
    std::vector<unsigned> kanji{0x4041};  // no character
    for (unsigned sjis : {0x889Fu, 0x8A94u, 0x93E0u, 0x9FFCu, 0xE040u, 0xEAA4u, 0x82A0u, 0x8140u, 0x8181u, 0x8754u})
        kanji.push_back(vokl::sjisToJef(sjis)[0] * 256u + vokl::sjisToJef(sjis)[1]);
    std::mt19937 rng(64);
    for (int round = 0; round < 30; ++round) {
        Bytes input;
        const std::size_t size = round < 27 ? 1 + rng() % 700 : 70000;
        const bool rare = round % 3 == 0;
        while (input.size() < size) {
            for (unsigned n = rng() % 12; n > 0; --n) {
                const std::uint8_t singles[] = {0x40, 0xC1, 0xC9, 0xF0, 0xF9, 0x81, 0x8A, 0x6B};
                input.push_back(singles[rng() % std::size(singles)]);
            }
            if (rare && rng() % 4 == 0) input.push_back(rng() % 2 ? 0x05 : 0x29);
            input.push_back(rng() % 4 ? 0x28 : 0x38);
            for (unsigned n = rng() % 12; n > 0; --n) {
                const unsigned code = kanji[rare ? rng() % kanji.size() : 1 + rng() % (kanji.size() - 1)];
                input.push_back(static_cast<std::uint8_t>(code >> 8)), input.push_back(static_cast<std::uint8_t>(code));
            }
            if (rare && rng() % 4 == 0) input.push_back(0xC1);  // an odd run takes the shift-out as partner
            input.push_back(0x29);
        }
        for (std::int32_t code : {1, 3}) {
            const Outcome ref = referenceStream(input, 0, code);
            // A pair whose Shift-JIS has no Unicode character is replaced in UTF-8 text.
            std::string utf8;
            vokl::appendAsUtf8(std::string_view(reinterpret_cast<const char*>(ref.output.data()), ref.output.size()), utf8);
            const bool noCharacter = utf8.find("\xEF\xBF\xBD") != std::string::npos;
            utf8 = testutil::replaceAll(utf8, {{"\xEF\xBF\xBD", "\xE3\x80\x80"}});
            for (int way = 0; way < 4; ++way) {
                Job job;
                testutil::writeFile(job.in, input);
                vokl::j2s::Arguments args;
                args.codeOption = code;
                args.jefPath = job.in.c_str();
                args.sjisPath = job.out.c_str();
                args.patternPath = kStream;
                args.convLogPath = job.conv.c_str();
                args.utf8 = way & 1;
                args.vectors = way & 2;
                vokl::Log log;
                const std::int32_t rc = vokl::j2s::convertJef(log, args);
                ASSERT_EQ(rc, args.utf8 && noCharacter ? -1 : ref.rc) << round << " way " << way;
                ASSERT_EQ(testutil::readFile(job.out), args.utf8 ? Bytes(utf8.begin(), utf8.end()) : ref.output)
                    << round << " way " << way;
            }
        }
    }
}

// Records mostly free of shift codes take the compiled walk; shift codes,
// unmapped bytes and the end of the data hand over to the plain walk
// mid-record. Every trim flag, with and without shift codes kept; records
// straddling the large pieces the input is read in.
TEST(J2sPattern, MatchesTheReferenceOnRandomInput) {
    const char* const patterns[] = {
        "XXNN,SS.S,CCC,PPPP\n", "1:A:XXXX,NN\n2:B:X\"XX\",S.SS\n3:D:CCCCC,9A\n", "NNNNNNNN XX\n",
        "2:AB:XXXXXX\n1:Z:NNNN\n1:(:CC.C,NN\n", "XXXXXXXXXX,NNNNNNNNNN,SSSSS.SS,CCCCCCC,PPPPP,\"XXXXX\"\n",
        "X9AXXXXXXXXXXX NN\n", ",,SS.S,CC.C,PPPP,\"NN\" ,\n", "NNNNXXXXXXXXXXXXXXXXXXXXX,S,C,P,XX\n",
        "CCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCC,PPPP.PP,SSSSSSSSSSSSSSSSSSSS\n", "S.S,C.C,P.P, \"X\"9\n", "1:A:XX\n1:B:XSS.\n"};
    std::mt19937 rng(777);
    int compared = 0;
    for (const char* text : patterns) {
        for (std::size_t size : {1, 2, 39, 40, 117, 2000}) {
            const Bytes input = randomInput(rng, size, size % 2 ? std::array<unsigned, 6>{60, 20, 170, 250, 0, 500}
                                                               : std::array<unsigned, 6>{4, 6, 290, 400, 100, 200});
            for (std::int32_t trim = 0; trim < 16; ++trim) {
                const bool keep = std::popcount(static_cast<unsigned>(trim)) % 2;
                const std::int32_t recordLength = (trim >> 1) & 1;
                Job job;
                const Outcome o = job.run(input, text, recordLength, trim, keep);
                vokl::Log quiet;
                vokl::PatternList list;
                ASSERT_EQ(vokl::readPatternFile(quiet, job.ptn.c_str(), 3, list), 0) << text;
                const Outcome ref = referencePattern(input, list, !keep, trim, recordLength != 0);
                const std::string where = std::string(text) + " size " + std::to_string(size) + " trim " + std::to_string(trim);
                ASSERT_EQ(o.rc, ref.rc) << where;
                if (ref.rc == -2) continue;  // what a malformed run leaves is not defined
                ASSERT_EQ(o.output, ref.output) << where;
                ++compared;
                if (trim % 3 != 0) continue;
                // The same through the plain walk alone, as where no vector code runs.
                vokl::j2s::Arguments args;
                args.codeOption = 3;
                args.recordLength = recordLength;
                args.keepShift = keep;
                args.trimFlags = trim;
                args.jefPath = job.in.c_str();
                args.sjisPath = job.out.c_str();
                args.patternPath = job.ptn.c_str();
                args.convLogPath = job.conv.c_str();
                args.vectors = false;
                ASSERT_EQ(vokl::j2s::convertJef(quiet, args), ref.rc) << where;
                ASSERT_EQ(testutil::readFile(job.out), ref.output) << where;
            }
        }
    }
    EXPECT_GT(compared, 900);
    const char* text = "1:A:XXXXXXX,NN\n2:B:X\"XX\",S.SS\n3:D:CCCCC,9A,NNNNNNNNNNNNNNNNNNNN\n";
    const Bytes input = randomInput(rng, 300000, {10, 0, 200, 200, 0, 590});
    for (int options = 0; options < 4; ++options) {
        Job job;
        const Outcome o = job.run(input, text, 1, options & 2 ? 1 : 0, options & 1);
        vokl::Log quiet;
        vokl::PatternList list;
        ASSERT_EQ(vokl::readPatternFile(quiet, job.ptn.c_str(), 3, list), 0);
        const Outcome ref = referencePattern(input, list, !(options & 1), options & 2 ? 1 : 0, true);
        EXPECT_GT(std::count(ref.output.begin(), ref.output.end(), 0x0A), 10000);
        EXPECT_EQ(o.rc, ref.rc) << options;
        EXPECT_TRUE(o.output == ref.output) << options;
    }
}

// ---- the export's files and failures ---------------------------------------

struct ExportCase {
    const char* name;
    const char* input;    // hex; nullptr: none
    const char* pattern;  // the pattern file's text; nullptr: stream mode
    std::function<void(Job&, std::string& pattern)> arrange;
    std::int32_t rc;
    const char* log;  // UTF-8; %I, %O, %P, %C stand for the paths
    const char* output;   // hex; nullptr: not there
    const char* convLog;  // nullptr: not there
};

class J2sExport : public testing::TestWithParam<ExportCase> {};

TEST_P(J2sExport, CodeLogAndFiles) {
    const ExportCase& c = GetParam();
    Job job;
    if (c.input) testutil::writeFile(job.in, hex(c.input));
    std::string pattern = kStream;
    if (c.pattern) testutil::writeFile(pattern = job.ptn, std::string(c.pattern));
    if (c.arrange) c.arrange(job, pattern);
    const Outcome o = job.call(3, 0, 0, 0, pattern);
    const auto paths = [&](const char* text) {
        return testutil::replaceAll(text, {{"%I", job.in}, {"%O", job.out}, {"%P", pattern}, {"%C", job.conv}, {"\n", "\r\n"}});
    };
    EXPECT_EQ(o.rc, c.rc);
    EXPECT_EQ(o.log, paths(c.log));
    if (c.output) {
        EXPECT_EQ(o.output, hex(c.output));
    } else if (job.out.rfind("/dev/", 0) != 0) {
        EXPECT_FALSE(testutil::exists(job.out));
    }
    EXPECT_EQ(o.convLog, c.convLog ? crlf(c.convLog) : "-");
}

const char kCause[] = "(原因=No such file or directory)\n";

INSTANTIATE_TEST_SUITE_P(Files, J2sExport, testing::Values(
    // A pattern that cannot be used leaves an empty output and an empty conversion-error log.
    ExportCase{"OnlyComments", "C1", "# note\nX\n", {}, -17, "[%P]のファイルに有効なレコードパターンがありません\n", "", ""},
    ExportCase{"BadCharacter", "C1", "XX?X\n", {}, -2, "レコードパターンに認識できない文字が使われています(桁位置=3)\n", "", ""},
    ExportCase{"EmptyPatternFile", "C1", "", {}, -17, "[%P]のファイルサイズが 0 です\n", "", ""},
    ExportCase{"MissingPatternFile", "C1", nullptr, [](Job& j, std::string& p) { p = j.dir.file("none.ptn"); }, -12,
               "[%P]のオープンに失敗しました\n", "", ""},
    // Found while converting: the records before are written, the conversion-error log goes.
    ExportCase{"ZonedPointAtTheEnd", "C1C2C2F1F2", "1:A:XX\n1:B:XSS.\n", {}, -2, "レコードパターンのサイン付き数字の指定に誤りがあります\n", "4142", nullptr},
    ExportCase{"PackedPointAtTheEnd", "C1123C", "XCC.\n", {}, -2, "レコードパターンの COMP-3 数字の指定に誤りがあります\n", "", nullptr},
    ExportCase{"RecordWithoutFields", "C2C3C1C1", "1:A: , ,\n1:B:XX\n", {}, -2, "レコードパターンに変換する項目がありません\n", "4243", nullptr},
    ExportCase{"MissingInput", nullptr, nullptr, {}, -11, "[%I]が見つかりません\n", nullptr, nullptr},
    ExportCase{"FolderAsInput", nullptr, nullptr, [](Job& j, std::string&) { std::filesystem::create_directory(j.in); }, -11,
               "[%I]のオープンに失敗しました(原因=Is a directory)\n", nullptr, nullptr},
    ExportCase{"EmptyInputMakesNoOutput", "", nullptr, {}, -16, "[%I]のファイルサイズが 0 です\n", nullptr, nullptr},
    ExportCase{"OutputFolderMissing", "C1", nullptr, [](Job& j, std::string&) { j.out = j.dir.file("none/o.txt"); }, -10,
               "[%O]のオープンに失敗しました(原因=No such file or directory)\n", nullptr, nullptr},
    ExportCase{"OutputIsTheInput", "C1C2", nullptr, [](Job& j, std::string&) { j.out = j.in; }, -10,
               "[%O]は入力ファイルと同じファイルです\n", "C1C2", nullptr},
    ExportCase{"FullDiskAtTheFinalFlush", "C1C2", nullptr, [](Job& j, std::string&) { j.out = "/dev/full"; }, -25,
               "シフトJISファイルの書き込みでエラーが発生しました(原因=No space left on device)\n", nullptr, nullptr},
    ExportCase{"ConvLogCannotBeCreated", "00", nullptr, [](Job& j, std::string&) { j.conv = j.dir.file("none/c.txt"); }, -1,
               "[%C]のオープンに失敗しました(原因=No such file or directory)\nEBCDIC->JIS 変換エラー(EBCDIC=0x00/1バイト目)\n",
               "20", nullptr},
    ExportCase{"ConvLogNamingTheOutputLeavesItAlone", "C1C2", nullptr, [](Job& j, std::string&) { j.conv = j.out; }, 0,
               "[%C]は入力ファイルと同じファイルです\n", "4142", "AB"},
    // Its lines are not all written: the log does not claim it holds them.
    ExportCase{"ConvLogOnAFullDisk", "00", nullptr, [](Job& j, std::string&) { j.conv = "/dev/full"; }, -1,
               "[/dev/full]の書き込みに失敗しました(原因=No space left on device)\n", "20", nullptr}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(J2sExportMore, LogSwitchNullPathsAndBigOutputs) {
    Job job;
    testutil::writeFile(job.in, hex("C1"));
    const std::string noFolder = job.dir.file("none/vok.log");
    EXPECT_EQ(j2sconv(1, 3, 0, 0, 0, job.in.c_str(), job.out.c_str(), kStream, noFolder.c_str(), job.conv.c_str()), -31);
    EXPECT_FALSE(testutil::exists(job.out) || testutil::exists(job.conv)) << "-31 touches nothing";
    EXPECT_EQ(j2sconv(0, 3, 0, 0, 0, job.in.c_str(), job.out.c_str(), kStream, noFolder.c_str(), job.conv.c_str()), 0);
    testutil::writeFile(job.in, hex("00"));
    EXPECT_EQ(job.call(3, 0, 0, 0, kStream, 0), (Outcome{-1, hex("20"), "", ""})) << "kept, empty, without a log";
    // No pattern path means stream mode; no conversion-error log path goes to the log.
    testutil::writeFile(job.in, hex("28B0A12900"));
    EXPECT_EQ(j2sconv(1, 3, 0, 0, 0, job.in.c_str(), job.out.c_str(), nullptr, job.log.c_str(), nullptr), -1);
    EXPECT_EQ(job.collect({}).log, "[]のオープンに失敗しました(原因=Invalid argument)\r\nEBCDIC->JIS 変換エラー(EBCDIC=0x00/5バイト目)\r\n");
    EXPECT_TRUE(vokl::j2s::meansNoPattern("_********_anything after"));
    EXPECT_FALSE(vokl::j2s::meansNoPattern("_********"));
    // Many records and a full disk: the failure wins over -1.
    testutil::writeFile(job.in, Bytes(300000, 0xC1));
    EXPECT_EQ(job.call(3, 3, 0, 0, kStream).rc, 100000);
    Bytes withError(1 << 20, 0xC1);
    withError[5] = 0x00;
    testutil::writeFile(job.in, withError);
    EXPECT_EQ(j2sconv(1, 3, 0, 0, 0, job.in.c_str(), "/dev/full", kStream, job.log.c_str(), job.conv.c_str()), -25);
    EXPECT_FALSE(testutil::exists(job.conv));
}

// A conversion-error log path that names no plain file (here a named pipe;
// /dev/null alike) is not removed when nothing was replaced.
TEST(J2sExportMore, ConvLogThatIsNoPlainFileStays) {
    Job job;
    testutil::writeFile(job.in, hex("C1"));
    ASSERT_EQ(mkfifo(job.conv.c_str(), 0600), 0);
    const int reader = open(job.conv.c_str(), O_RDONLY | O_NONBLOCK);  // so that opening it to write does not wait
    EXPECT_EQ(job.call(3, 0, 0, 0, kStream).rc, 0);
    EXPECT_TRUE(std::filesystem::is_fifo(job.conv));
    close(reader);
}

// ---- a JEF file that fails while it is read --------------------------------

std::int32_t convertWith(Job& job, vokl::ByteSource& source, const std::string& pattern, std::int32_t recordLength,
                         std::int64_t size) {
    vokl::j2s::Arguments args;
    args.recordLength = recordLength;
    args.jefPath = job.in.c_str();
    args.sjisPath = job.out.c_str();
    args.patternPath = pattern.c_str();
    args.convLogPath = job.conv.c_str();
    testutil::writeFile(job.in, Bytes{0xC1});
    std::filesystem::resize_file(job.in, static_cast<std::uintmax_t>(size));  // the size the status gives
    vokl::Log log;
    EXPECT_TRUE(log.create(job.log.c_str()));
    return vokl::j2s::convertJef(log, args, &source);
}

// A read that fails, once or for good, is a failure and never an early end;
// so is an input that turns out longer or shorter than its size said; what
// was converted before stays. Short reads are no end in either mode.
TEST(J2sFailingInput, Gives21) {
    const char* const kFailed = "JEFファイルの読み込みに失敗しました\r\n";
    const char* const kChanged = "[%I]は変換中に変更されました(読み込み中にサイズが変わりました)\r\n";
    const struct {
        std::size_t bytes;
        std::int64_t size;
        int failingRead;
        bool failForGood;
        const char* pattern;
        std::int32_t recordLength;
        std::size_t written;
        const char* log;
    } cases[] = {{70000, 70000, 2, false, nullptr, 10, 65536 / 10 * 12, kFailed}, {70000, 70000, 2, true, "XXXXX\n", 0, 65535, kFailed},
                 {70000, 70000, 1, false, "1:A:XX\n1:B:XXXX\n", 0, 0, kFailed}, {300, 100, 0, false, nullptr, 10, 0, kChanged},
                 {100, 300, 0, false, "XXXXX\n", 0, 100, kChanged}, {100, 300, 0, false, nullptr, 7, 14 * 9, kChanged}};
    for (const auto& c : cases) {
        Job job;
        if (c.pattern) testutil::writeFile(job.ptn, std::string(c.pattern));
        testutil::MemorySource source(Bytes(c.bytes, 0xC1), 65536);
        source.failingRead = c.failingRead;
        source.failForGood = c.failForGood;
        EXPECT_EQ(convertWith(job, source, c.pattern ? job.ptn : kStream, c.recordLength, c.size), -21);
        const Outcome o = job.collect({});
        EXPECT_EQ(o.output.size(), c.written) << c.bytes << " " << c.size;
        EXPECT_EQ(o.log, testutil::replaceAll(c.log, {{"%I", job.in}}));
        EXPECT_EQ(o.convLog, "-") << "removed after a failure";
    }
    // Inputs handed out a few bytes at a time convert as a whole.
    std::mt19937 rng(5);
    const Bytes input = randomInput(rng, 5000, {50, 20, 430, 100, 0, 400});
    for (std::int32_t length : {0, 1, 7, 80}) {
        for (const char* pattern : {static_cast<const char*>(nullptr), "1:A:XXXX,NN\n2:B:X\"XX\",S.SS\n3:D:CCCCC,9A\n"}) {
            Job whole, trickled;
            const Outcome expected = whole.run(input, pattern, length);
            testutil::MemorySource source(input, 1 + rng() % 5);
            if (pattern) testutil::writeFile(trickled.ptn, std::string(pattern));
            const std::int32_t rc = convertWith(trickled, source, pattern ? trickled.ptn : kStream, length, 5000);
            EXPECT_EQ(rc, expected.rc) << length;
            EXPECT_EQ(trickled.collect({}).output, expected.output) << length;
        }
    }
}

// Whatever the record length, a block is converted in pieces: memory stays
// bounded (here a 2 GiB block over 64 MiB of input).
std::size_t largestAllocation = 0;
bool counting = false;

TEST(J2sStream, MemoryStaysBoundedForAHugeRecordLength) {
    Job job;
    job.out = "/dev/null";
    struct Made : vokl::ByteSource {
        std::int64_t left = std::int64_t{64} << 20;
        std::int64_t read(void* buffer, std::size_t size) override {
            const std::int64_t n = std::min<std::int64_t>(static_cast<std::int64_t>(size), left);
            std::memset(buffer, 0xC1, static_cast<std::size_t>(n));
            left -= n;
            return n;
        }
    } source;
    counting = true;
    EXPECT_EQ(convertWith(job, source, kStream, 0x7FFFFFFF, source.left), 1);
    counting = false;
    EXPECT_LT(largestAllocation, std::size_t{1} << 20);
}

}  // namespace

// Counts the largest block asked for while `counting` is on.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) {
    if (counting) largestAllocation = std::max(largestAllocation, size);
    if (void* p = std::malloc(size > 0 ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
