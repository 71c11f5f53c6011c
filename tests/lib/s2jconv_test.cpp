// s2jconv: bytes in, bytes, result and log lines out, against a byte-by-byte reference; block edges through an input
// that can fail; every failure of the export and what it leaves on disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>

#include "memory_source.h"
#include "messages.h"
#include "s2jconv.h"
#include "tblank.h"
#include "tblknj.h"
#include "tbluni.h"
#include "testutil.h"

namespace {

using testutil::Bytes;
using testutil::hex;
using testutil::logLines;
using testutil::MemorySource;
using testutil::operator+;
using testutil::TempDir;

struct Outcome { std::int32_t result; Bytes output; std::string log; bool operator==(const Outcome&) const = default; };

void PrintTo(const Outcome& o, std::ostream* os) {
    *os << o.result << " [" << testing::PrintToString(o.output) << "] " << testutil::utf8(o.log);
}

Outcome convertFile(const Bytes& input, int code, int shift) {
    TempDir dir;
    const std::string in = dir.file("in.txt"), out = dir.file("out.jef"), log = dir.file("vok.log");
    testutil::writeFile(in, input);
    const std::int32_t rc = s2jconv(1, code, shift, in.c_str(), out.c_str(), log.c_str());
    return {rc, testutil::readFile(out), testutil::readText(log)};
}

Bytes repeated(int value, std::size_t count) { return Bytes(count, static_cast<std::uint8_t>(value)); }

// The rules written out again byte by byte over the whole file: no blocks, a running column.
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
        char text[256];
        std::snprintf(text, sizeof text, format, shown, line, column);
        if (++errors <= 100) r.log += testutil::replaceAll(text, {{"\n", "\r\n"}});
        if (errors == 101) r.log += logLines("変換エラーが100件を超えています\n");
    };
    for (std::size_t i = 0; i < in.size();) {
        const unsigned b = in[i];
        if ((b >= 0x80 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) {
            if (i + 1 == in.size()) {
                error(vokl::msg::kMsgSjisToJefErrorSingle, b);
                r.output.push_back(0x20);
                break;
            }
            if (shift == 1 && !run) r.output.push_back(0x28), run = true;
            const unsigned sj = b * 256 + in[i + 1];
            const std::uint8_t* jef = vokl::sjisToJef(sj);
            const bool none = jef[0] == 0 && jef[1] == 0;
            if (none) error(vokl::msg::kMsgSjisToJefError, sj);
            r.output.insert(r.output.end(), {none ? std::uint8_t{0x40} : jef[0], none ? std::uint8_t{0x40} : jef[1]});
            i += 2, column += 2;
        } else if (b == 0x0D || b == 0x0A) {
            ++i, ++column;
            if (b == 0x0A) ++lineFeeds, ++line, column = 1;
        } else {
            if (shift == 1 && run) r.output.push_back(0x29), run = false;
            const unsigned c = code == 2 && b >= 0x61 && b <= 0x7A ? b - 0x20 : b;
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

// input and output in hex; log: UTF-8, "\n" line ends.
struct Case { const char* input; int code, shift; const char* output; std::int32_t result; const char* log; };

TEST(S2jRules, ConvertAsTheReferenceAndTheseExpectationsSay) {
    const Case cases[] = {
        {"4142430D0A", 4, 0, "C1C2C3", 1, ""},                                   // line ends removed and counted
        {"889F410D0A", 4, 1, "28B0A129C1", 1, ""},                               // shift codes around kanji
        {"889F41", 4, 2, "B0A1C1", 0, ""},                                       // shift switch other than 1 is off
        {"61", 1, 0, "40", -1, "JIS->EBCDIC 変換エラー(JIS=0x61,行=1,桁=1)\n"},  // kana has no lower case
        {"617A417B7D", 2, 0, "C1E9C1C0D0", 0, ""},                              // kana-upper folds a-z only
        {"B1DF5D", 1, 0, "81BF40", -1, "JIS->EBCDIC 変換エラー(JIS=0x5d,行=1,桁=3)\n"},
        {"2161", 0, 0, "4F81", 0, ""},                                           // 0, 10, -1: ASCII
        {"21", 10, 0, "4F", 0, ""}, {"21", -1, 0, "4F", 0, ""},
        {"0961B17F889F", 9, 1, "0961B17F28B0A129", 0, ""},                       // 9 copies single bytes
        {"00", 9, 0, "40", -1, "JIS->EBCDIC 変換エラー(JIS=0x00,行=1,桁=1)\n"},  // ... but not NUL
        {"8140F040F09F", 4, 0, "4040FFA100A1", 0, ""},                           // ideographic space, user area
        {"41877E", 4, 0, "C14040", -1, "シフトJIS->JEF 変換エラー(SJIS=0x877e,行=1,桁=2)\n"},
        {"4182", 4, 1, "C120", -1, "シフトJIS->JEF 変換エラー(SJIS=0x82,行=1,桁=2)\n"},        // lone lead byte
        {"810A0A7F", 4, 0, "A16B40", -1, "JIS->EBCDIC 変換エラー(JIS=0x7f,行=2,桁=1)\n"},  // lead byte takes the LF
        {"410A889F878D0D0A09", 4, 0, "C1B0A1404040", -1,
         "シフトJIS->JEF 変換エラー(SJIS=0x878d,行=2,桁=3)\nJIS->EBCDIC 変換エラー(JIS=0x09,行=3,桁=1)\n"}};
    for (const Case& c : cases) {
        const Outcome got = convertFile(hex(c.input), c.code, c.shift);
        EXPECT_EQ(got, (Outcome{c.result, hex(c.output), logLines(c.log)})) << c.input << " " << c.code;
        EXPECT_EQ(got, reference(hex(c.input), c.code, c.shift)) << "the reference reads the rules otherwise";
    }
}

Outcome convertSource(vokl::ByteSource& source, std::int64_t size, int code = 4, int shift = 0, bool vectors = true,
                      bool utf8 = false, std::string outPath = "") {
    TempDir dir;
    if (outPath.empty()) outPath = dir.file("out.jef");
    vokl::Log log;
    vokl::File out;
    EXPECT_TRUE(log.create(dir.file("vok.log").c_str()) && out.open(outPath.c_str(), vokl::File::Mode::WriteBinary));
    vokl::S2jRequest request{code, shift, "in.txt", outPath.c_str()};
    request.vectors = vectors, request.utf8 = utf8;
    const std::int32_t rc = vokl::convertSjisToJef(log, source, size, out, request);
    log.close(), out.close();
    return {rc, testutil::readFile(outPath), testutil::readText(dir.file("vok.log"))};
}

// Random text, rich in lead bytes, line ends and bytes to log (past 100 of them), around every block edge; every lead
// byte as the last byte of the first block; and reads that hand out a few bytes at a time, which are no end of the
// input.
TEST(S2jBlocks, MatchesReferenceAroundBlockEdges) {
    const std::uint8_t kinds[] = {0x41, 0x61, 0xB1, 0x88, 0x81, 0x87, 0x0D, 0x0A, 0x09, 0x5D, 0xE0, 0x80, 0x00};
    std::mt19937 rng(1);
    for (std::size_t size : {2, 3, 16379, 16380, 16381, 32759, 32760, 32761, 32762, 49139, 49141, 50000}) {
        for (int code : {1, 2, 3, 4, 9}) {
            Bytes input(size);
            for (auto& b : input) b = rng() % 20 < std::size(kinds) ? kinds[rng() % std::size(kinds)] : static_cast<std::uint8_t>(rng());
            const int shift = static_cast<int>(rng() % 2);
            const Outcome expected = reference(input, code, shift);
            ASSERT_EQ(convertFile(input, code, shift), expected) << size << " " << code;
            MemorySource trickle(input, 1 + rng() % 7);
            ASSERT_EQ(convertSource(trickle, static_cast<std::int64_t>(size), code, shift), expected) << size << " " << code;
        }
    }
    for (unsigned lead = 0x80; lead <= 0xFC; ++lead) {
        if (lead > 0x9F && lead < 0xE0) continue;
        for (unsigned trail : {0x40u, 0x0Au, 0x9Fu, 0xFCu}) {
            const Bytes input = repeated(0x41, 16379) + Bytes{std::uint8_t(lead), std::uint8_t(trail)} + repeated(0x42, 16381);
            MemorySource source(input);
            ASSERT_EQ(convertSource(source, static_cast<std::int64_t>(input.size()), 4, 1), reference(input, 4, 1)) << std::hex << lead;
        }
    }
}

// Text the vector steps take whole (letters of both cases, katakana, kanji whose trail bytes look like lead bytes, line
// ends) with now and then a byte that needs a log line, so that steps and the plain walk hand over at every offset; the
// same through the plain walk alone. The same text in UTF-8 gives the same host bytes; with now and then what the steps
// leave to the plain walk (broken and overlong sequences, surrogates, two- and four-byte characters, a single byte
// outside the katakana), the steps give what the plain walk gives.
TEST(S2jBlocks, VectorStepsMatchTheReference) {
    const unsigned pairs[] = {0x889F, 0x8A94, 0x93E0, 0x9FFC, 0xE040, 0xEAA4, 0x82A0, 0x8140, 0x8181, 0x9880};
    const std::uint8_t rare[] = {0x09, 0x5D, 0x80, 0xA0, 0xFD};
    const std::string rareUtf8[] = {"\x80", "\xFF", "\xC2\xAC", "\xCE\xB1", "\xE0\x80\x80", "\xED\xA0\x80",
                                    "\xF0\x9F\x98\x80", "\xE2\x80\xBE", "\xE3\x81", "\x09", "\xEF\xBD\xA0"};
    std::mt19937 rng(64);
    for (int round = 0; round < 40; ++round) {
        const std::size_t size = round < 36 ? 1 + rng() % 600 : 70000 + rng() % 1000;
        Bytes input;
        std::string text;
        auto add = [&](std::initializer_list<std::uint8_t> bytes) {
            input.insert(input.end(), bytes);
            vokl::appendAsUtf8(std::string(bytes.begin(), bytes.end()), text);
        };
        while (input.size() < size) {
            const unsigned r = rng() % 100;
            const unsigned pair = pairs[rng() % (std::size(pairs) - (round % 3 ? 1 : 0))];  // 0x9880: no character
            if (r < 40) add({static_cast<std::uint8_t>((rng() % 2 ? 'A' : 'a') + rng() % 26)});
            else if (r < 65) add({static_cast<std::uint8_t>(pair >> 8), static_cast<std::uint8_t>(pair)});
            else if (r < 80) add({static_cast<std::uint8_t>(0xB1 + rng() % 40)});
            else if (r < 88) add({static_cast<std::uint8_t>(r % 2 ? 0x0D : 0x0A)});
            else if (r < 89 && round % 3 == 0) input.push_back(rare[rng() % std::size(rare)]), text += rareUtf8[rng() % std::size(rareUtf8)];
            else add({','});
        }
        const Bytes utf8(text.begin(), text.end());
        for (int code : {1 + round % 3, 4}) {
            for (int shift : {0, 1}) {
                const Outcome expected = reference(input, code, shift);
                ASSERT_EQ(convertFile(input, code, shift), expected) << round;
                MemorySource plain(input, 1 + rng() % 70000);
                ASSERT_EQ(convertSource(plain, static_cast<std::int64_t>(input.size()), code, shift, false), expected) << round;
                MemorySource utf8Plain(utf8), utf8Steps(utf8);
                const std::int64_t utf8Size = static_cast<std::int64_t>(utf8.size());
                const Outcome steps = convertSource(utf8Steps, utf8Size, code, shift, true, true);
                ASSERT_EQ(steps, convertSource(utf8Plain, utf8Size, code, shift, false, true)) << round;
                ASSERT_TRUE(round % 3 == 0 || (steps.result == expected.result && steps.output == expected.output)) << round;
            }
        }
    }
}

// A read that fails, once or for good, is a failure, never an early end; so is an input that turns out longer or
// shorter than its size said. What was converted before stays.
TEST(S2jReadErrors, FailuresOfTheInput) {
    // size: what the status gave; expected.log: the log's last lines
    const struct { const char* name; Bytes data; std::int64_t size; int failingRead; bool failForGood; Outcome expected; } cases[] = {
        {"one read fails", repeated(0x41, 40000), 40000, 2, false, {-20, repeated(0xC1, 16380), logLines("[in.txt]の読み込みに失敗しました\n")}},
        {"reads fail for good", repeated(0x41, 40000), 40000, 2, true, {-20, repeated(0xC1, 16380), logLines("[in.txt]の読み込みに失敗しました\n")}},
        {"read error wins over -1", repeated(0x09, 40000), 40000, 2, false,
         {-20, repeated(0x40, 16380), logLines("変換エラーが100件を超えています\n[in.txt]の読み込みに失敗しました\n")}},
        {"the file grew", repeated(0x41, 20000), 16000, 0, false, {-20, {}, logLines("[in.txt]は変換中に変更されました(読み込み中にサイズが変わりました)\n")}},
        {"the file shrank to a lead byte", repeated(0x41, 16380) + hex("88"), 50000, 0, false,
         {-20, repeated(0xC1, 16380), logLines("[in.txt]は変換中に変更されました(読み込み中にサイズが変わりました)\n")}}};
    for (const auto& c : cases) {
        MemorySource source(c.data, 16380);
        source.failingRead = c.failingRead;
        source.failForGood = c.failForGood;
        const Outcome got = convertSource(source, c.size);
        EXPECT_TRUE(got.result == c.expected.result && got.output == c.expected.output && got.log.ends_with(c.expected.log))
            << c.name << ": " << testutil::utf8(got.log);
    }
}

// Over 2 GiB on one line, ending in a lone lead byte: counters do not wrap, the column stops at the largest int.
constexpr std::int64_t kOver2GiB = (std::int64_t{1} << 31) + 5;

TEST(S2jLargeFiles, InputOver2GiBIsConvertedToTheEnd) {
    struct Endless : vokl::ByteSource {
        std::int64_t read(void* buffer, std::size_t size) override {
            const std::int64_t n = std::min<std::int64_t>(static_cast<std::int64_t>(size), kOver2GiB - position_);
            std::memset(buffer, 0x41, static_cast<std::size_t>(n));
            if (n > 0 && position_ + n == kOver2GiB) static_cast<std::uint8_t*>(buffer)[n - 1] = 0x82;
            position_ += n;
            return n;
        }
        std::int64_t position_ = 0;
    } source;
    EXPECT_EQ(convertSource(source, kOver2GiB, 4, 0, true, false, "/dev/null"),
              (Outcome{-1, {}, logLines("シフトJIS->JEF 変換エラー(SJIS=0x82,行=1,桁=2147483647)\n")}));
}

// The export's failures and what they leave on disk: the log (truncated first) and the output; the input is never
// touched. %D is the test's folder and %I, %O the input and output paths; inputs are hex, "dir" for a folder.
TEST(S2jExport, FailuresAndWhatTheyLeave) {
    const std::string large(140000, '4');
    const struct { const char *input, *in, *out; std::int32_t rc; const char *log, *outputAfter; } cases[] = {
        {"41", "%D/in.txt", "%D/o.jef", 0, "", "C1"},
        {nullptr, "%D/in.txt", "%D/o.jef", -10, "[%I]が見つかりません\n", nullptr},
        {nullptr, "%D/100%s%n%d.txt", "%D/o.jef", -10, "[%I]が見つかりません\n", nullptr},  // a path is never a format
        {"dir", "%D/in.txt", "%D/o.jef", -10, "[%I]のオープンに失敗しました(原因=Is a directory)\n", nullptr},
        {"41", "%D/in.txt", "%D/missing/o.jef", -11, "[%O]のオープンに失敗しました(原因=No such file or directory)\n", nullptr},
        {"", "%D/in.txt", "%D/keep.jef", -15, "[%I]のファイルサイズが 0 です\n", ""},
        // Small: only the final flush fails; large: a block write; with a
        // replaced character the failure still wins over -1.
        {"41", "%D/in.txt", "/dev/full", -26, "(%O)の書き込みでエラーが発生しました(errno=No space left on device)\n", nullptr},
        {"09889F", "%D/in.txt", "/dev/full", -26,
         "JIS->EBCDIC 変換エラー(JIS=0x09,行=1,桁=1)\n(%O)の書き込みでエラーが発生しました(errno=No space left on device)\n", nullptr},
        {large.c_str(), "%D/in.txt", "/dev/full", -26, "(%O)の書き込みでエラーが発生しました(errno=No space left on device)\n", nullptr}};
    for (const auto& c : cases) {
        TempDir dir;
        auto at = [&](const char* path) { return testutil::replaceAll(path, {{"%D", dir.path().string()}}); };
        const std::string in = at(c.in), out = at(c.out), log = dir.file("vok.log");
        if (c.input && std::string(c.input) == "dir") std::filesystem::create_directory(in);
        else if (c.input) testutil::writeFile(in, hex(c.input));
        if (out.find("keep") != std::string::npos) testutil::writeFile(out, std::string("keep"));
        testutil::writeFile(log, std::string("keep"));
        EXPECT_EQ(s2jconv(1, 4, 1, in.c_str(), out.c_str(), log.c_str()), c.rc) << in;
        EXPECT_EQ(testutil::utf8(testutil::readText(log)), testutil::replaceAll(c.log, {{"%I", in}, {"%O", out}, {"\n", "\r\n"}}));
        if (c.outputAfter) {
            EXPECT_EQ(testutil::readFile(out), hex(c.outputAfter));
        } else if (out.rfind("/dev/", 0) != 0) {
            EXPECT_FALSE(testutil::exists(out)) << out;
        }
        EXPECT_TRUE(!c.input || !std::filesystem::is_regular_file(in) || testutil::readFile(in) == hex(c.input)) << "input touched";
    }
}

}  // namespace
