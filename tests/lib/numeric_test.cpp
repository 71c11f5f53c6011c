// Zoned and packed numbers to text, and item trimming, on buffers guarded at both ends so that a write outside the
// given range shows; the fast forms against the plain ones.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "numeric.h"
#include "vectors.h"
#include "testutil.h"

namespace {

using testutil::Bytes;
using testutil::hex;
using vokl::NumericResult;
using vokl::NumericStatus;

constexpr char kGuard = '\x7F';
const std::string kGuards(8, kGuard);

// An output buffer of exactly `capacity` bytes between two guard zones.
struct GuardedOut {
    explicit GuardedOut(std::size_t capacity, const std::string& text = "") : store(kGuards + text + kGuards) {
        store.insert(kGuards.size() + text.size(), capacity - text.size(), kGuard);
    }
    char* data() { return store.data() + kGuards.size(); }
    std::string text(std::size_t length) const { return store.substr(kGuards.size(), length); }
    bool guardsIntact() const { return store.starts_with(kGuards) && store.ends_with(kGuards); }
    bool untouched() const { return store == std::string(store.size(), kGuard); }
    std::string store;
};

NumericResult convert(const std::string& pattern, const Bytes& record, char* out, std::size_t capacity) {
    // Exactly the record's bytes, so that a read past them shows under the sanitizers.
    const std::uint8_t* bytes = record.empty() ? nullptr : record.data();
    return pattern[0] == 'S' ? vokl::zonedToText(pattern, bytes, record.size(), out, capacity)
                             : vokl::packedToText(pattern, bytes, record.size(), out, capacity);
}

const std::string kMalformed = "malformed", k33C(33, 'C');

// record in hex; text kMalformed: refused.
struct NumberCase { std::string pattern; const char* record; std::string text; std::size_t patternUsed, bytesUsed; };

TEST(Numbers, Convert) {
    const NumberCase cases[] = {
        {"SSS", "F1F2D3", "-123", 3, 3}, {"SSS", "F1F2F3", "+123", 3, 3},
        {"SSS", "F1F2C3", "+123", 3, 3}, {"SS.S", "F1F2C3", "+12.3", 4, 3},
        {"SS", "40F5", "+05", 2, 2},      // not a digit: 0
        {"SS", "DAF1", "+01", 2, 2},      // bad low nibble: 0, and no sign
        {"SS", "D1C2", "+12", 2, 2},      // the last sign wins
        {"SS", "D1F2", "-12", 2, 2}, {"SSX", "F1F2F3", "+12", 2, 2}, {"S\"S", "F7F8", "+7", 1, 1},
        // Digits whose record byte is missing stay 0x00, with the "." after them.
        {"SSS", "F1", std::string("+1\0\0", 4), 3, 1}, {"S.S", "D4", std::string("-4\0\0", 4), 3, 1},
        {"SS", "", std::string("+\0\0", 3), 2, 0},
        {"S.9", "F1F2", kMalformed, 0, 0}, {"SS.", "F1F2", kMalformed, 0, 0},
        {"S.S.S", "F1F2F3", kMalformed, 0, 0}, {"XS", "F1", kMalformed, 0, 0},
        {"CCC.CC", "12345D", "-123.45", 6, 3}, {"PPPPP", "12345C", "12345", 5, 3},
        {"PPPPP", "12345D", "-12345", 5, 3}, {"CCCC", "01234C", "+1234", 4, 3},  // pad nibble
        {"CC", "012C", "+12", 2, 2}, {"CCC", "1234", "?123", 3, 2},              // no sign nibble
        {"CCC", "12345C", "?123", 3, 2},  // decodes only its own bytes
        {"PPP", "123F", "123", 3, 2}, {"PPP", "1234", "?123", 3, 2},
        {"CCC", "1A3C", "+1?3", 3, 2}, {"CCC", "C23C", "+?23", 3, 2},
        {"C", "5D", "-5", 1, 1}, {"C.C", "102C", "+0.2", 3, 2},
        {"CCCC", "01", "?1???", 4, 1}, {"PP", "", "???", 2, 0},                  // record runs out
        {"PPC", "012C3C", "12", 2, 2}, {"CC\"CC", "012C", "+12", 2, 2},
        {k33C, "99999999999999999999999999999999", "?99999999999999999999999999999999?", 33, 16},
        {k33C, "121212121212121212121212121212123D", "-121212121212121212121212121212123", 33, 17},
        {k33C, "1111111111111111111111111111111111", "?111111111111111111111111111111111", 33, 17},
        {std::string(34, 'P'), "111111111111111111111111111111111111", kMalformed, 0, 0},
        {"CC.P", "012C", kMalformed, 0, 0}, {"C.C.C", "123C", kMalformed, 0, 0},
        {"XC", "1C", kMalformed, 0, 0}};
    for (const NumberCase& c : cases) {
        SCOPED_TRACE(c.pattern + " " + c.record);
        GuardedOut out(64);
        const NumericResult r = convert(c.pattern, hex(c.record), out.data(), 64);
        EXPECT_TRUE(out.guardsIntact());
        if (c.text == kMalformed) {
            EXPECT_TRUE(r.status == NumericStatus::Malformed && out.untouched());
        } else {
            ASSERT_EQ(r.status, NumericStatus::Ok);
            EXPECT_EQ(out.text(r.textLen), c.text);
            EXPECT_TRUE(r.patternUsed == c.patternUsed && r.bytesUsed == c.bytesUsed) << r.patternUsed << " " << r.bytesUsed;
        }
    }
}

// One byte short of the text a run needs: nothing is written; exactly enough: the run converts.
TEST(Numbers, RefuseWithoutRoom) {
    const Bytes record(20, 0x11);
    for (const auto& [pattern, needed] : {std::pair{"SS.S", 5}, {"CC.C", 5}, {"PPP", 4}}) {
        GuardedOut shortOut(needed - 1), exactOut(needed);
        EXPECT_EQ(convert(pattern, record, shortOut.data(), needed - 1).status, NumericStatus::NoRoom) << pattern;
        EXPECT_EQ(convert(pattern, record, exactOut.data(), needed).textLen, static_cast<std::size_t>(needed)) << pattern;
        EXPECT_TRUE(shortOut.untouched() && exactOut.guardsIntact());
    }
}

const std::string kWide = "\x81\x40", kKan = "\x8A\xBF", kJi = "\x8E\x9A";
const std::string kTrail81 = "\x92\x81";  // a kanji whose trail byte is 0x81

TEST(Trim, Items) {
    const struct { std::string text; std::int32_t flags; std::string expected; } cases[] = {
        {"A  ,  B", 1, "A,B"}, {"A  ,  B", 2, "A  ,B"}, {"A  ,  B", 4, "A,  B"}, {"  A  ,  B  ", 6, "A,B"},
        {"A  B", 1, "A B"}, {"A  B", 2, "A  B"}, {"A  B", 4, "A  B"},  // inner runs collapse only under 1
        {"\"  X\"", 1, "\"X\""}, {"\" X  Y \",\"Z \"", 1, "\"X Y\",\"Z\""}, {"\" ", 1, "\""},
        {"A  ," + kWide + kWide + kKan, 9, "A  ," + kKan}, {kWide + kKan + kWide, 8, kWide + kKan + kWide},
        {kKan + kWide + kWide + kWide + kJi + kWide, 1, kKan + kWide + kJi}, {kKan + kWide + kWide, 4, kKan},
        {kKan + "  ", 1, kKan + "  "}, {"\"" + kWide + kKan + kWide + "\"", 1, "\"" + kKan + "\""}, {"A" + kWide, 1, "A" + kWide},
        // Lead bytes at both ends of the upper range.
        {"\xE0\x40" + kWide + kWide, 1, "\xE0\x40"}, {"\xFC\x4B" + kWide + kWide, 4, "\xFC\x4B"},
        // 0x92 0x81 and "@" end in 0x81 0x40 without holding a full-width space.
        {kKan + kTrail81 + "@", 4, kKan + kTrail81 + "@"}, {kTrail81 + "@" + kWide + kWide + kJi, 1, kTrail81 + "@" + kWide + kJi},
        {"A,,B", 1, "A,B"}, {"A,,B", 8, "A,B"}, {",,A,B,", 4, "A,B"}, {",,,", 1, ""},
        {"A,   ,B", 1, "A,,B"}, {"A,   ,B", 9, "A,   ,B"}, {"", 1, ""}, {"ABC,DEF", 7, "ABC,DEF"}};
    for (const auto& c : cases) {
        for (auto trim : {vokl::trimItems, vokl::trimItemsReference}) {
            GuardedOut buffer(c.text.size(), c.text);
            EXPECT_EQ(buffer.text(trim(buffer.data(), c.text.size(), c.flags)), c.expected) << c.text << " " << c.flags;
            EXPECT_TRUE(buffer.guardsIntact());
        }
    }
}

// The word-at-a-time trimming against the plain walk, every flag: random texts of the bytes that matter, and items of
// every length around the 16-byte chunks and the 64-byte edge of the bit masks.
TEST(Trim, FastMatchesThePlainWalk) {
    std::vector<std::string> texts;
    const std::string alphabet[] = {" ", " ", " ", ",", "\"", "A", "B", kWide, kWide, kKan, kJi, kTrail81, "@", "\x81",
                                    "\xA0", "\xE0", "\xFC", "\xFD"};
    std::mt19937 rng(4242);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        for (unsigned k = rng() % (round % 2 ? 90 : 40); k > 0; --k) text += alphabet[rng() % std::size(alphabet)];
        texts.push_back(text);
    }
    for (std::size_t itemLength : {1, 2, 15, 16, 17, 31, 32, 33, 47, 48, 62, 63, 64, 65, 66}) {
        for (std::size_t pad = 0; pad <= 3; ++pad) {
            for (const std::string& fill : {std::string("A"), kKan, std::string("\""), kWide + "B"}) {
                std::string item(pad, ' '), text;
                while (item.size() + pad < itemLength) item += fill;
                item += std::string(pad, ' ');
                while (text.size() + item.size() + 1 <= 64) text += item + ",";
                texts.push_back(text.empty() ? item.substr(0, 64) : text);
                texts.push_back(item + "," + item);
            }
        }
    }
    for (const std::string& text : texts) {
        for (std::int32_t flags = 0; flags < 16; ++flags) {
            std::string expected = text;
            expected.resize(vokl::trimItemsReference(expected.data(), expected.size(), flags));
            for (bool vectors : {false, true}) {
                if (vectors && !vokl::haveVectors()) continue;
                GuardedOut buffer(text.size(), text);
                const std::size_t length = vectors ? vokl::trimItemsVector(buffer.data(), text.size(), flags)
                                                   : vokl::trimItems(buffer.data(), text.size(), flags);
                ASSERT_TRUE(buffer.text(length) == expected && buffer.guardsIntact()) << flags << " " << vectors << " [" << text << "]";
            }
        }
    }
}

// Runs described once and formatted from the description read as the
// scanning functions read them, for every kind of byte the fields may hold.
TEST(NumericRun, DescribedRunsMatchTheScanningFunctions) {
    for (const char* text : {"S.", "S.9", "SS.S.S", "C..C", "C.P", "CCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCC", "X", "", ".S"}) {
        vokl::NumericRun run;
        EXPECT_FALSE(vokl::describeNumericRun(text, run)) << text;
    }
    std::mt19937 rng(99);
    for (const char* text : {"S", "SS", "SSS.S", "S.S", "SSSSSSS", "SSSSS.SS", "C", "CC", "CCC", "CCCC.CC", "C.CCCCCC", "CCCCCCC",
                             "PPPPP", "PP.PP", "P", "PPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPP", "CCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCC",
                             "CCCCCCCCCCCCCCCC.CCCCCCCCCCCCCCCCC"}) {
        const std::string pattern = std::string(text) + ",X";
        vokl::NumericRun run;
        ASSERT_TRUE(vokl::describeNumericRun(pattern, run)) << text;
        ASSERT_EQ(run.length, std::strlen(text));
        for (int round = 0; round < 3000; ++round) {
            Bytes record(run.bytes);
            for (auto& b : record) {
                const unsigned r = rng() % 10, d = rng() % 10, e = rng() % 10;
                b = r < 4 ? d * 16 + e : r < 6 ? 0xF0 + d : r < 7 ? (e % 2 ? 0xC0 : 0xD0) + d : r < 8 ? d * 16 + 0xC + e % 2 : rng() % 256;
            }
            char expected[64];
            const NumericResult r = convert(pattern, record, expected, sizeof expected);
            ASSERT_EQ(r.bytesUsed, run.bytes);
            GuardedOut out(run.length + 1);
            const std::size_t length = run.letter == 'S' ? vokl::zonedRunToText(run, record.data(), out.data())
                                                         : vokl::packedRunToText(run, pattern, record.data(), out.data());
            ASSERT_EQ(out.text(length), std::string(expected, r.textLen)) << text;
            ASSERT_TRUE(out.guardsIntact());
        }
    }
}

}  // namespace
