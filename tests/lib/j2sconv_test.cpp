// j2sconv on real files: stream and pattern mode against slow reference
// walks, the conversion-error log's life, and every result code it gives.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <filesystem>
#include <functional>
#include <random>

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

constexpr const char* kStream = "_********_";

// log and convLog in UTF-8; convLog "-" when the file is not there.
struct Outcome { std::int32_t rc = 0; Bytes output; std::string log, convLog; bool operator==(const Outcome&) const = default; };

void PrintTo(const Outcome& o, std::ostream* os) {
    *os << o.rc << " [" << testing::PrintToString(o.output) << "] log: " << o.log << " conv: " << o.convLog;
}

// One call of j2sconv in a fresh folder. `pattern` is the pattern file's text; nullptr: stream mode.
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
        return collect({j2sconv(logSwitch, code, recordLength, keepShift, trim, in.c_str(), out.c_str(), pattern.c_str(),
                                log.c_str(), conv.c_str()), {}, {}, {}});
    }
    Outcome collect(Outcome o) const {
        if (std::filesystem::is_regular_file(out)) o.output = testutil::readFile(out);
        if (testutil::exists(log)) o.log = testutil::utf8(testutil::readText(log));
        o.convLog = std::filesystem::is_regular_file(conv) ? testutil::utf8(testutil::readText(conv)) : "-";
        return o;
    }
    vokl::j2s::Arguments args(const char* pattern, std::int32_t code = 3, std::int32_t recordLength = 0, std::int32_t keep = 0,
                              std::int32_t trim = 0) const {
        return {code, recordLength, keep, trim, in.c_str(), out.c_str(), pattern, conv.c_str()};
    }
    // The log's last lines after replaced characters.
    std::string convWritten() const { return "\r\n\r\n" + conv + "に変換エラーのログを出力しました。\r\n"; }
};

std::string crlf(const char* text) { return testutil::replaceAll(text, {{"\n", "\r\n"}}); }

// input and output in hex; pattern nullptr: stream mode; convLines "": nothing replaced.
struct ConversionCase { const char *input, *pattern; std::int32_t recordLength, trim, keepShift, code; const char* output;
                        std::int32_t rc; const char* convLines; };

TEST(J2sConversion, WritesTheExpectedText) {
    const ConversionCase cases[] = {
        // Stream mode
        {"28B0A129C1", nullptr, 0, 0, 0, 3, "889F41", 0, ""},
        {"815A", nullptr, 0, 0, 0, 1, "B121", 0, ""},                            // kana
        {"815A", nullptr, 0, 0, 0, 2, "6121", 0, ""},                            // lower case
        {"815A", nullptr, 0, 0, 0, 7, "615D", 0, ""},                            // any other: ASCII
        {"C100C2", nullptr, 0, 0, 0, 3, "412042", -1, "EBCDIC->JIS 変換エラー(EBCDIC=0x00/2バイト目)\n"},
        {"28202029", nullptr, 0, 0, 0, 3, "8140", -1, "JEF->シフトJIS 変換エラー(JEF=0x2020/2バイト目)\n"},
        {"C128B0", nullptr, 0, 0, 0, 3, "4120", -1, "JEF->シフトJIS 変換エラー(JEF=0xb0/3バイト目)\n"},
        {"C1C2C3C4C5", nullptr, 2, 0, 0, 3, "41420D0A43440D0A450D0A", 3, ""},   // a line end per block
        {"28B0A129", nullptr, 2, 0, 0, 3, "0D0A889F0D0A0D0A", 3, ""},           // split pair moves on
        {"28B0", nullptr, 1, 0, 0, 3, "0D0A200D0A", -1, "JEF->シフトJIS 変換エラー(JEF=0xb0/2バイト目)\n"},
        {"C1C2", nullptr, -5, 0, 0, 3, "41420D0A", 1, ""},                      // negative: line ends
        {"C1C2", nullptr, 0x7FFFFFFF, 0, 0, 3, "41420D0A", 1, ""},            // no huge buffer
        // Pattern mode
        {"C1C2B0A1", "XXNN\n", 0, 0, 0, 3, "4142889F", 0, ""},
        {"C1C2C3F1C4", "x\"xx\",9A\n", 0, 0, 0, 3, "4122424322 2C3144", 0, ""},   // literals, lower case
        {"C1404040 40C2", "XXX,XXX\n", 0, 1, 0, 3, "412C42", 0, ""},               // trim
        {"C1404040 40C2", "XXX,XXX\n", 1, 4, 0, 3, "412C2020420D0A", 1, ""},       // right
        {"C1404040 40B0A1", "XXX,NNNN\n", 0, 9, 0, 3, "4120202C889F", 0, ""},      // kanji items only
        {"C128C2C3C4", "XXXX\n", 0, 0, 0, 3, "41424344", 0, ""},                   // skipped shift code
        {"C128C2C3C4", "XXXX\n", 0, 0, 1, 3, "4120424344585858", -1, "EBCDIC->JIS 変換エラー(EBCDIC=0x28/2バイト目)\n"},
        {"C1289C", "XCCC\n", 0, 0, 0, 3, "412B323839", 0, ""},                      // 0x28 as packed digits
        {"C1C2C3C4C5C6", "XXXX,\n", 1, 0, 0, 3, "414243442C0D0A454658582C0D0A", 2, ""},  // short last record
        {"002020", "XNN\n", 0, 0, 0, 3, "208140", -1,
         "EBCDIC->JIS 変換エラー(EBCDIC=0x00/1バイト目)\nJEF->シフトJIS 変換エラー(JEF=0x2020/2バイト目)\n"},
        {"C1C2C3C4C2C1B0A1", "1:A:XXXX\n1:B:XXNN\n", 1, 0, 0, 3, "414243440D0A4241889F0D0A", 2, ""},
        {"E9C1B0A1", "1:A:XXXX\n1:B:XXNN\n", 0, 0, 0, 3, "5A41889F", 0, ""},       // no match: the last
        {"28C2C3", "1:B:XX\n1:A:XX\n", 0, 0, 0, 3, "4243", 0, ""}};
    for (const ConversionCase& c : cases) {
        Job job;
        const Outcome o = job.run(hex(c.input), c.pattern, c.recordLength, c.trim, c.keepShift, c.code);
        const bool replaced = *c.convLines != '\0';
        EXPECT_EQ(o, (Outcome{c.rc, hex(c.output), replaced ? job.convWritten() : "", replaced ? crlf(c.convLines) : "-"}))
            << c.input << " " << (c.pattern ? c.pattern : "stream") << " " << c.recordLength;
    }
}

// Appends a kanji's Shift-JIS, the full-width space where it has none; true then.
template <class Text>
bool appendKanji(Text& out, unsigned jef) {
    const std::uint8_t* e = vokl::jefToSjis(jef);
    const bool none = e[0] == 0 && e[1] == 0;
    out.push_back(static_cast<typename Text::value_type>(none ? 0x81 : e[0]));
    out.push_back(static_cast<typename Text::value_type>(none ? 0x40 : e[1]));
    return none;
}

// Stream mode the slow, obvious way: block by block, pair by pair.
Outcome referenceStream(const Bytes& in, std::int32_t recordLength, std::int32_t code) {
    const std::size_t block = recordLength > 0 ? static_cast<std::size_t>(recordLength) : in.size() <= 32760 ? in.size() : 16380;
    const auto& table = vokl::ebcdicToJis8(code == 1 ? vokl::SbVariant::Kana : vokl::SbVariant::Ascii);
    Outcome r;
    bool doubleByte = false, replaced = false;
    auto pair = [&](unsigned jef) { replaced |= appendKanji(r.output, jef); };
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

// Pattern mode the slow way over bytes in memory: one pattern character at a time, with the read-ahead, seek-back and
// end-of-data rules. Its `rc` is -2 when a run turned out malformed.
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
                replaced |= appendKanji(text, record[i] * 256u + record[i + 1]);
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

// The same for the pattern file of `job`.
Outcome referencePattern(const Bytes& in, const Job& job, bool skip, std::int32_t trim, bool lineEnds) {
    vokl::Log quiet;
    vokl::PatternList list;
    EXPECT_EQ(vokl::readPatternFile(quiet, job.ptn.c_str(), 3, list), 0);
    return referencePattern(in, list, skip, trim, lineEnds);
}

// Random host bytes: weights for shift codes, unmapped bytes, kanji, zoned and packed digits, blanks, letters (which
// are signed zoned digits as well).
Bytes randomInput(std::mt19937& rng, std::size_t size, std::array<unsigned, 6> weights) {
    Bytes input(size);
    for (auto& b : input) {
        unsigned r = rng() % 1000, k = 0;
        while (k < 5 && r >= weights[k]) r -= weights[k++];
        const std::uint8_t shifts[] = {0x28, 0x38, 0x29};
        b = k == 0 ? shifts[rng() % 3] : k == 1 ? rng() % 0x40 : k == 2 ? 0xB0 + rng() % 0x30
          : k == 3 ? (rng() % 2 ? 0xF0 + rng() % 10 : (rng() % 10) * 16 + rng() % 10) : k == 4 ? 0x40 : (rng() % 2 ? 0xC1 : 0xD1) + rng() % 9;
    }
    return input;
}

// Shift-coded text the vector steps take whole (letters, katakana, kanji runs) with now and then what they leave to the
// plain walk (a byte below 0x40, an odd kanji run, an unmapped pair), in Shift-JIS and in UTF-8, through the vector
// steps and through the plain walk alone (in Shift-JIS in blocks of every length), from the file and from short reads.
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
        if (round == 29) {
            // A step of shift codes only, ending in kanji; then an ASCII step holding an empty kanji run.
            Bytes steps{0x29};
            for (int n = 0; n < 31; ++n) steps.insert(steps.end(), {0x28, 0x29});
            steps.push_back(0x28);
            for (int n = 0; n < 32; ++n) steps.insert(steps.end(), {static_cast<std::uint8_t>(kanji[1] >> 8), static_cast<std::uint8_t>(kanji[1])});
            steps.push_back(0x29);
            steps.insert(steps.end(), 9, 0xC1);
            steps.insert(steps.end(), {0x28, 0x29});
            steps.insert(steps.end(), 52, 0xC1);
            input.insert(input.begin(), steps.begin(), steps.end());
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
                const std::int32_t lengths[] = {0, 1, 2, 3, 7, 8, 9, 16, 17, 80}, length = way == 0 ? lengths[rng() % 10] : 0;
                const Outcome blocks = length ? referenceStream(input, length, code) : ref;
                vokl::j2s::Arguments args = job.args(kStream, code, length);
                args.utf8 = way & 1;
                args.vectors = way & 2;
                vokl::Log log;
                testutil::MemorySource trickle(input, 1 + rng() % 5);  // short reads are no end
                const std::int32_t rc = vokl::j2s::convertJef(log, args, way == 1 || way == 2 ? &trickle : nullptr);
                ASSERT_EQ(rc, args.utf8 && noCharacter ? -1 : blocks.rc) << round << " way " << way << " length " << length;
                ASSERT_EQ(testutil::readFile(job.out), args.utf8 ? Bytes(utf8.begin(), utf8.end()) : blocks.output)
                    << round << " way " << way << " length " << length;
            }
        }
    }
}

// Records mostly free of shift codes take the compiled walk; shift codes, unmapped bytes and the end of the data hand
// over to the plain walk mid-record. Every trim flag, with and without shift codes kept; records straddling the large
// pieces the input is read in.
// One pattern per ctest entry, so that they run side by side.
class J2sPattern : public testing::TestWithParam<const char*> {};

INSTANTIATE_TEST_SUITE_P(Patterns, J2sPattern, testing::Values(
    "XXNN,SS.S,CCC,PPPP\n", "1:A:XXXX,NN\n2:B:X\"XX\",S.SS\n3:D:CCCCC,9A\n", "NNNNNNNN XX\n",
    "2:AB:XXXXXX\n1:Z:NNNN\n1:(:CC.C,NN\n", "XXXXXXXXXX,NNNNNNNNNN,SSSSS.SS,CCCCCCC,PPPPP,\"XXXXX\"\n",
    "X9AXXXXXXXXXXX NN\n", ",,SS.S,CC.C,PPPP,\"NN\" ,\n", "NNNNXXXXXXXXXXXXXXXXXXXXX,S,C,P,XX\n",
    "CCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCC,PPPP.PP,SSSSSSSSSSSSSSSSSSSS\n", "S.S,C.C,P.P, \"X\"9\n", "1:A:XX\n1:B:XSS.\n",
    "XXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX,CCCCCCCCCCCCCCCCCCC,XXXXXXXXXX\n"));  // text past 64 bytes, record not

TEST_P(J2sPattern, MatchesTheReferenceOnRandomInput) {
    const char* const text = GetParam();
    std::mt19937 rng(static_cast<unsigned>(std::hash<std::string_view>{}(text)));  // other bytes for each pattern
    int compared = 0, trick = 0;
    {
        using Weights = std::array<unsigned, 6>;
        const Weights manyShifts{60, 20, 170, 250, 0, 500}, fewShifts{4, 6, 290, 400, 100, 200};
        const Weights letters{0, 0, 0, 0, 0, 1000};  // long records then often take the vector walk whole
        const std::pair<std::size_t, Weights> inputs[] = {{1, manyShifts}, {2, fewShifts}, {39, manyShifts}, {40, fewShifts},
                                                          {117, manyShifts}, {2000, fewShifts}, {700, letters}};
        for (const auto& [size, weights] : inputs) {
            const Bytes input = randomInput(rng, size, weights);
            for (std::int32_t trim = 0; trim < 16; ++trim) {
                const bool keep = std::popcount(static_cast<unsigned>(trim)) % 2;
                const std::int32_t recordLength = (trim >> 1) & 1;
                Job job;
                const Outcome o = job.run(input, text, recordLength, trim, keep);
                const Outcome ref = referencePattern(input, job, !keep, trim, recordLength != 0);
                const std::string where = std::string(text) + " size " + std::to_string(size) + " trim " + std::to_string(trim);
                ASSERT_EQ(o.rc, ref.rc) << where;
                if (ref.rc == -2) continue;  // what a malformed run leaves is not defined
                ASSERT_EQ(o.output, ref.output) << where;
                ++compared;
                if (trim % 3 != 0) continue;
                // The same through the plain walk alone, as where no vector code runs.
                vokl::j2s::Arguments args = job.args(job.ptn.c_str(), 3, recordLength, keep, trim);
                args.vectors = false;
                vokl::Log quiet;
                testutil::MemorySource trickle(input, 1 + rng() % 5);  // short reads are no end
                ASSERT_EQ(vokl::j2s::convertJef(quiet, args, trick++ % 2 ? &trickle : nullptr), ref.rc) << where;
                ASSERT_EQ(testutil::readFile(job.out), ref.output) << where;
            }
        }
    }
    EXPECT_GT(compared, 10);
}

TEST(J2sPatternLong, MatchesTheReference) {
    std::mt19937 rng(777);
    const char* text = "1:A:XXXXXXX,NN\n2:B:X\"XX\",S.SS\n3:D:CCCCC,9A,NNNNNNNNNNNNNNNNNNNN\n";
    const Bytes input = randomInput(rng, 300000, {10, 0, 200, 200, 0, 590});
    for (int options = 0; options < 4; ++options) {
        Job job;
        const Outcome o = job.run(input, text, 1, options & 2 ? 1 : 0, options & 1);
        const Outcome ref = referencePattern(input, job, !(options & 1), options & 2 ? 1 : 0, true);
        EXPECT_GT(std::count(ref.output.begin(), ref.output.end(), 0x0A), 10000);
        EXPECT_TRUE(o.rc == ref.rc && o.output == ref.output) << options;
    }
}

// input and output in hex, nullptr: not there; pattern: the pattern file's text, nullptr: stream mode;
// log: %I, %O, %C stand for the paths; convLog nullptr: not there.
struct ExportCase { const char *name, *input, *pattern; std::function<void(Job&)> arrange; std::int32_t rc;
                    const char *log, *output, *convLog; };

TEST(J2sExport, CodeLogAndFiles) {
    const ExportCase cases[] = {
        // A pattern that cannot be used, for any reason, leaves an empty output and an empty conversion-error log.
        {"BadCharacter", "C1", "XX?X\n", {}, -2, "レコードパターンに認識できない文字が使われています(桁位置=3)\n", "", ""},
        // Found while converting: the records before are written, the conversion-error log goes.
        {"ZonedPointAtTheEnd", "C1C2C2F1F2", "1:A:XX\n1:B:XSS.\n", {}, -2, "レコードパターンのサイン付き数字の指定に誤りがあります\n", "4142", nullptr},
        {"PackedPointAtTheEnd", "C1123C", "XCC.\n", {}, -2, "レコードパターンの COMP-3 数字の指定に誤りがあります\n", "", nullptr},
        {"RecordWithoutFields", "C2C3C1C1", "1:A: , ,\n1:B:XX\n", {}, -2, "レコードパターンに変換する項目がありません\n", "4243", nullptr},
        {"MissingInput", nullptr, nullptr, {}, -11, "[%I]が見つかりません\n", nullptr, nullptr},
        {"EmptyInputMakesNoOutput", "", nullptr, {}, -16, "[%I]のファイルサイズが 0 です\n", nullptr, nullptr},
        {"FullDiskAtTheFinalFlush", "C1C2", nullptr, [](Job& j) { j.out = "/dev/full"; }, -25,
         "シフトJISファイルの書き込みでエラーが発生しました(原因=No space left on device)\n", nullptr, nullptr},
        {"ConvLogCannotBeCreated", "00", nullptr, [](Job& j) { j.conv = j.dir.file("none/c.txt"); }, -1,
         "[%C]のオープンに失敗しました(原因=No such file or directory)\nEBCDIC->JIS 変換エラー(EBCDIC=0x00/1バイト目)\n",
         "20", nullptr},
        {"ConvLogNamingTheOutputLeavesItAlone", "C1C2", nullptr, [](Job& j) { j.conv = j.out; }, 0,
         "[%C]は入力ファイルと同じファイルです\n", "4142", "AB"},
        // Its lines are not all written: the log does not claim it holds them.
        {"ConvLogOnAFullDisk", "00", nullptr, [](Job& j) { j.conv = "/dev/full"; }, -1,
         "[/dev/full]の書き込みに失敗しました(原因=No space left on device)\n", "20", nullptr}};
    for (const ExportCase& c : cases) {
        SCOPED_TRACE(c.name);
        Job job;
        if (c.input) testutil::writeFile(job.in, hex(c.input));
        std::string pattern = kStream;
        if (c.pattern) testutil::writeFile(pattern = job.ptn, std::string(c.pattern));
        if (c.arrange) c.arrange(job);
        const Outcome o = job.call(3, 0, 0, 0, pattern);
        EXPECT_EQ(o.rc, c.rc);
        EXPECT_EQ(o.log, testutil::replaceAll(c.log, {{"%I", job.in}, {"%O", job.out}, {"%C", job.conv}, {"\n", "\r\n"}}));
        if (c.output) {
            EXPECT_EQ(o.output, hex(c.output));
        } else if (job.out.rfind("/dev/", 0) != 0) {
            EXPECT_FALSE(testutil::exists(job.out));
        }
        EXPECT_EQ(o.convLog, c.convLog ? crlf(c.convLog) : "-");
    }
}

TEST(J2sExport, LogSwitchNullPathsBigOutputsAndPipes) {
    Job job;
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
    // A conversion-error log that is no plain file (a named pipe; /dev/null alike) stays when nothing was replaced.
    testutil::writeFile(job.in, hex("C1"));
    ASSERT_EQ(mkfifo(job.conv.c_str(), 0600), 0);
    const int reader = open(job.conv.c_str(), O_RDONLY | O_NONBLOCK);  // so that opening it to write does not wait
    EXPECT_EQ(job.call(3, 0, 0, 0, kStream).rc, 0);
    EXPECT_TRUE(std::filesystem::is_fifo(job.conv));
    close(reader);
}

std::int32_t convertWith(Job& job, vokl::ByteSource& source, const std::string& pattern, std::int32_t recordLength,
                         std::int64_t size) {
    const vokl::j2s::Arguments args = job.args(pattern.c_str(), 3, recordLength);
    testutil::writeFile(job.in, Bytes{0xC1});
    std::filesystem::resize_file(job.in, static_cast<std::uintmax_t>(size));  // the size the status gives
    vokl::Log log;
    EXPECT_TRUE(log.create(job.log.c_str()));
    return vokl::j2s::convertJef(log, args, &source);
}

// A read that fails, once or for good, is a failure and never an early end; so is an input that turns out longer or
// shorter than its size said; what was converted before stays.
TEST(J2sFailingInput, Gives21) {
    const char* const kFailed = "JEFファイルの読み込みに失敗しました\r\n";
    const char* const kChanged = "[%I]は変換中に変更されました(読み込み中にサイズが変わりました)\r\n";
    const struct { std::size_t bytes; std::int64_t size; int failingRead; bool failForGood; const char* pattern;
                   std::int32_t recordLength; std::size_t written; const char* log; } cases[] = {
        {70000, 70000, 2, false, nullptr, 10, 65536 / 10 * 12, kFailed}, {70000, 70000, 2, true, "XXXXX\n", 0, 65535, kFailed},
        {70000, 70000, 1, false, "1:A:XX\n1:B:XXXX\n", 0, 0, kFailed}, {300, 100, 0, false, nullptr, 10, 0, kChanged},
        {100, 300, 0, false, "XXXXX\n", 0, 100, kChanged}, {100, 300, 0, false, nullptr, 7, 14 * 9, kChanged}};
    for (const auto& c : cases) {
        Job job;
        if (c.pattern) testutil::writeFile(job.ptn, std::string(c.pattern));
        testutil::MemorySource source(Bytes(c.bytes, 0xC1), 65536);
        source.failingRead = c.failingRead;
        source.failForGood = c.failForGood;
        EXPECT_EQ(convertWith(job, source, c.pattern ? job.ptn : kStream, c.recordLength, c.size), -21);
        const Outcome o = job.collect({});  // the conversion-error log is removed after a failure
        EXPECT_TRUE(o.output.size() == c.written && o.log == testutil::replaceAll(c.log, {{"%I", job.in}}) && o.convLog == "-")
            << c.bytes << " " << c.size << ": " << o.output.size() << " " << o.log;
    }
}

// Whatever the record length, a block is converted in pieces: memory stays bounded (a 2 GiB block, 64 MiB of input).
std::size_t largestAllocation = 0;
bool counting = false;

TEST(J2sStream, MemoryStaysBoundedForAHugeRecordLength) {
    Job job;
    job.out = "/dev/null";
    testutil::MemorySource source(Bytes(std::size_t{64} << 20, 0xC1));
    counting = true;
    EXPECT_EQ(convertWith(job, source, kStream, 0x7FFFFFFF, std::int64_t{64} << 20), 1);
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
