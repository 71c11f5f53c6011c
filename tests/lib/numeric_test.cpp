// Zoned and packed numbers to text, and item trimming, on buffers guarded at
// both ends so that a write outside the given range shows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "numeric.h"
#include "testutil.h"

namespace {

using testutil::Bytes;
using testutil::bytes;
using vokl::NumericResult;
using vokl::NumericStatus;

constexpr char kGuard = '\x7F';
constexpr std::size_t kGuardLen = 8;

// An output buffer of exactly `capacity` bytes between two guard zones.
class GuardedOut {
public:
    explicit GuardedOut(std::size_t capacity) : capacity_(capacity), store_(capacity + 2 * kGuardLen, kGuard) {}
    char* data() { return store_.data() + kGuardLen; }
    std::size_t capacity() const { return capacity_; }
    std::string text(std::size_t length) const { return std::string(store_.data() + kGuardLen, length); }
    bool guardsIntact() const {
        for (std::size_t i = 0; i < kGuardLen; ++i) {
            if (store_[i] != kGuard || store_[kGuardLen + capacity_ + i] != kGuard) return false;
        }
        return true;
    }
    bool untouched() const { return std::string(store_.size(), kGuard) == std::string(store_.begin(), store_.end()); }

private:
    std::size_t capacity_;
    std::vector<char> store_;
};

struct NumberCase {
    const char* name;
    std::string pattern;
    Bytes record;
    NumericStatus status;
    std::string text;
    std::size_t patternUsed;
    std::size_t bytesUsed;
};

void PrintTo(const NumberCase& c, std::ostream* os) { *os << c.name; }

using Converter = NumericResult (*)(std::string_view, const std::uint8_t*, std::size_t, char*, std::size_t) noexcept;

void checkNumber(const NumberCase& c, Converter convert) {
    // The record is copied to a buffer of exactly its size so that a read
    // past it is caught by the sanitizer build.
    std::vector<std::uint8_t> record(c.record);
    GuardedOut out(64);
    NumericResult r = convert(c.pattern, record.empty() ? nullptr : record.data(), record.size(), out.data(),
                              out.capacity());
    EXPECT_EQ(r.status, c.status);
    EXPECT_TRUE(out.guardsIntact());
    if (c.status != NumericStatus::Ok) {
        EXPECT_TRUE(out.untouched());
        return;
    }
    EXPECT_EQ(out.text(r.textLen), c.text);
    EXPECT_EQ(r.patternUsed, c.patternUsed);
    EXPECT_EQ(r.bytesUsed, c.bytesUsed);
}

class ZonedTest : public testing::TestWithParam<NumberCase> {};

TEST_P(ZonedTest, Converts) { checkNumber(GetParam(), vokl::zonedToText); }

INSTANTIATE_TEST_SUITE_P(
    Cases, ZonedTest,
    testing::Values(
        NumberCase{"minusZone", "SSS", bytes({0xF1, 0xF2, 0xD3}), NumericStatus::Ok, "-123", 3, 3},
        NumberCase{"plainZone", "SSS", bytes({0xF1, 0xF2, 0xF3}), NumericStatus::Ok, "+123", 3, 3},
        NumberCase{"plusZone", "SSS", bytes({0xF1, 0xF2, 0xC3}), NumericStatus::Ok, "+123", 3, 3},
        NumberCase{"point", "SS.S", bytes({0xF1, 0xF2, 0xC3}), NumericStatus::Ok, "+12.3", 4, 3},
        NumberCase{"notDigitIsZero", "SS", bytes({0x40, 0xF5}), NumericStatus::Ok, "+05", 2, 2},
        NumberCase{"badLowNibbleIsZeroNoSign", "SS", bytes({0xDA, 0xF1}), NumericStatus::Ok, "+01", 2, 2},
        NumberCase{"lastSignWins", "SS", bytes({0xD1, 0xC2}), NumericStatus::Ok, "+12", 2, 2},
        NumberCase{"minusStaysAfterPlain", "SS", bytes({0xD1, 0xF2}), NumericStatus::Ok, "-12", 2, 2},
        NumberCase{"runEndsAtOtherLetter", "SSX", bytes({0xF1, 0xF2, 0xF3}), NumericStatus::Ok, "+12", 2, 2},
        NumberCase{"runEndsAtQuote", "S\"S", bytes({0xF7, 0xF8}), NumericStatus::Ok, "+7", 1, 1},
        NumberCase{"recordRunsOut", "SSS", bytes({0xF1}), NumericStatus::Ok, std::string("+1\0\0", 4), 3, 1},
        NumberCase{"recordRunsOutBeforePoint", "S.S", bytes({0xD4}), NumericStatus::Ok, std::string("-4\0\0", 4), 3,
                   1},
        NumberCase{"noRecordBytes", "SS", Bytes{}, NumericStatus::Ok, std::string("+\0\0", 3), 2, 0},
        NumberCase{"pointNotFollowedByS", "S.9", bytes({0xF1, 0xF2}), NumericStatus::Malformed, "", 0, 0},
        NumberCase{"pointAtEnd", "SS.", bytes({0xF1, 0xF2}), NumericStatus::Malformed, "", 0, 0},
        NumberCase{"twoPoints", "S.S.S", bytes({0xF1, 0xF2, 0xF3}), NumericStatus::Malformed, "", 0, 0},
        NumberCase{"notAZonedRun", "XS", bytes({0xF1}), NumericStatus::Malformed, "", 0, 0},
        NumberCase{"emptyPattern", "", bytes({0xF1}), NumericStatus::Malformed, "", 0, 0}));

std::string repeated(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

// 0x12 sixteen times and 0x3D: thirty-three digits and a minus sign.
Bytes widestNegative() {
    Bytes b(16, 0x12);
    b.push_back(0x3D);
    return b;
}

class PackedTest : public testing::TestWithParam<NumberCase> {};

TEST_P(PackedTest, Converts) { checkNumber(GetParam(), vokl::packedToText); }

INSTANTIATE_TEST_SUITE_P(
    Cases, PackedTest,
    testing::Values(
        NumberCase{"negativeWithPoint", "CCC.CC", bytes({0x12, 0x34, 0x5D}), NumericStatus::Ok, "-123.45", 6, 3},
        NumberCase{"unsignedPositive", "PPPPP", bytes({0x12, 0x34, 0x5C}), NumericStatus::Ok, "12345", 5, 3},
        NumberCase{"unsignedNegative", "PPPPP", bytes({0x12, 0x34, 0x5D}), NumericStatus::Ok, "-12345", 5, 3},
        NumberCase{"padNibbleDropped", "CCCC", bytes({0x01, 0x23, 0x4C}), NumericStatus::Ok, "+1234", 4, 3},
        NumberCase{"twoDigits", "CC", bytes({0x01, 0x2C}), NumericStatus::Ok, "+12", 2, 2},
        NumberCase{"noSignNibble", "CCC", bytes({0x12, 0x34}), NumericStatus::Ok, "?123", 3, 2},
        NumberCase{"decodesOnlyItsBytes", "CCC", bytes({0x12, 0x34, 0x5C}), NumericStatus::Ok, "?123", 3, 2},
        NumberCase{"fSignIsPlus", "PPP", bytes({0x12, 0x3F}), NumericStatus::Ok, "123", 3, 2},
        NumberCase{"pShowsMissingSign", "PPP", bytes({0x12, 0x34}), NumericStatus::Ok, "?123", 3, 2},
        NumberCase{"badLowNibble", "CCC", bytes({0x1A, 0x3C}), NumericStatus::Ok, "+1?3", 3, 2},
        NumberCase{"signNibbleHighIsBad", "CCC", bytes({0xC2, 0x3C}), NumericStatus::Ok, "+?23", 3, 2},
        NumberCase{"oneDigit", "C", bytes({0x5D}), NumericStatus::Ok, "-5", 1, 1},
        NumberCase{"pointEvenDigits", "C.C", bytes({0x10, 0x2C}), NumericStatus::Ok, "+0.2", 3, 2},
        NumberCase{"recordRunsOut", "CCCC", bytes({0x01}), NumericStatus::Ok, "?1???", 4, 1},
        NumberCase{"noRecordBytes", "PP", Bytes{}, NumericStatus::Ok, "???", 2, 0},
        NumberCase{"runEndsAtOtherLetter", "PPC", bytes({0x01, 0x2C, 0x3C}), NumericStatus::Ok, "12", 2, 2},
        NumberCase{"runEndsAtQuote", "CC\"CC", bytes({0x01, 0x2C}), NumericStatus::Ok, "+12", 2, 2},
        NumberCase{"widest", std::string(33, 'C'), Bytes(16, 0x99), NumericStatus::Ok,
                   std::string("?").append(32, '9').append("?"), 33, 16},
        NumberCase{"widestWithSign", std::string(33, 'C'), widestNegative(), NumericStatus::Ok,
                   std::string("-").append(repeated("12", 16)).append("3"), 33, 17},
        // Thirty-four digit nibbles and no sign: the last has no position.
        NumberCase{"widestWithoutSignNibble", std::string(33, 'C'), Bytes(17, 0x11), NumericStatus::Ok,
                   std::string("?").append(33, '1'), 33, 17},
        NumberCase{"tooManyDigits", std::string(34, 'P'), Bytes(18, 0x11), NumericStatus::Malformed, "", 0, 0},
        NumberCase{"pointNotFollowedByLetter", "CC.P", bytes({0x01, 0x2C}), NumericStatus::Malformed, "", 0, 0},
        NumberCase{"twoPoints", "C.C.C", bytes({0x12, 0x3C}), NumericStatus::Malformed, "", 0, 0},
        NumberCase{"notAPackedRun", "SC", bytes({0x1C}), NumericStatus::Malformed, "", 0, 0}));

struct RoomCase {
    const char* name;
    Converter convert;
    std::string pattern;
    std::size_t needed;
};

void PrintTo(const RoomCase& c, std::ostream* os) { *os << c.name; }

class RoomTest : public testing::TestWithParam<RoomCase> {};

// One byte short of the text the run needs: nothing is written; exactly
// enough: the run converts.
TEST_P(RoomTest, RefusesWithoutRoom) {
    const RoomCase& c = GetParam();
    Bytes record(20, 0x11);
    GuardedOut shortOut(c.needed - 1);
    EXPECT_EQ(c.convert(c.pattern, record.data(), record.size(), shortOut.data(), shortOut.capacity()).status,
              NumericStatus::NoRoom);
    EXPECT_TRUE(shortOut.untouched());
    GuardedOut exactOut(c.needed);
    NumericResult r = c.convert(c.pattern, record.data(), record.size(), exactOut.data(), exactOut.capacity());
    EXPECT_EQ(r.status, NumericStatus::Ok);
    EXPECT_EQ(r.textLen, c.needed);
    EXPECT_TRUE(exactOut.guardsIntact());
}

INSTANTIATE_TEST_SUITE_P(Cases, RoomTest,
                         testing::Values(RoomCase{"zoned", vokl::zonedToText, "SS.S", 5},
                                         RoomCase{"packedC", vokl::packedToText, "CC.C", 5},
                                         // 0x11 has no sign nibble, so P shows "?".
                                         RoomCase{"packedP", vokl::packedToText, "PPP", 4}));

struct TrimCase {
    const char* name;
    std::string text;
    std::int32_t flags;
    std::string expected;
};

void PrintTo(const TrimCase& c, std::ostream* os) { *os << c.name; }

class TrimTest : public testing::TestWithParam<TrimCase> {};

TEST_P(TrimTest, Trims) {
    const TrimCase& c = GetParam();
    GuardedOut buffer(c.text.size());
    std::copy(c.text.begin(), c.text.end(), buffer.data());
    std::size_t length = vokl::trimItems(buffer.data(), c.text.size(), c.flags);
    ASSERT_LE(length, c.text.size());
    EXPECT_EQ(buffer.text(length), c.expected);
    EXPECT_TRUE(buffer.guardsIntact());
}

const std::string kWide = "\x81\x40";      // full-width space
const std::string kKan = "\x8A\xBF";       // 漢
const std::string kJi = "\x8E\x9A";        // 字
const std::string kTrail81 = "\x92\x81";   // a kanji whose trail byte is 0x81

INSTANTIATE_TEST_SUITE_P(
    Cases, TrimTest,
    testing::Values(
        TrimCase{"bothEnds", "A  ,  B", 1, "A,B"},
        TrimCase{"leftEnd", "A  ,  B", 2, "A  ,B"},
        TrimCase{"rightEnd", "A  ,  B", 4, "A,  B"},
        TrimCase{"leftAndRight", "  A  ,  B  ", 6, "A,B"},
        TrimCase{"innerRunCollapsed", "A  B", 1, "A B"},
        TrimCase{"innerRunKeptByLeft", "A  B", 2, "A  B"},
        TrimCase{"innerRunKeptByRight", "A  B", 4, "A  B"},
        TrimCase{"quotedItem", "\"  X\"", 1, "\"X\""},
        TrimCase{"quotedItemBothEnds", "\" X  Y \",\"Z \"", 1, "\"X Y\",\"Z\""},
        TrimCase{"loneQuoteIsNotQuoted", "\" ", 1, "\""},
        TrimCase{"kanjiOnlyLeavesSingleByte", "A  ," + kWide + kWide + kKan, 9, "A  ," + kKan},
        TrimCase{"kanjiOnlyWithoutTrimBits", kWide + kKan + kWide, 8, kWide + kKan + kWide},
        TrimCase{"kanjiBothEnds", kKan + kWide + kWide + kWide + kJi + kWide, 1, kKan + kWide + kJi},
        TrimCase{"kanjiRight", kKan + kWide + kWide, 4, kKan},
        TrimCase{"kanjiHalfWidthSpaceIsNoBlank", kKan + "  ", 1, kKan + "  "},
        TrimCase{"quotedKanji", "\"" + kWide + kKan + kWide + "\"", 1, "\"" + kKan + "\""},
        TrimCase{"singleByteItemKeepsWideSpace", "A" + kWide, 1, "A" + kWide},
        // 0x92 0x81 followed by "@" ends in 0x81 0x40 without holding a
        // full-width space.
        TrimCase{"kanjiRightTrimKeepsTrailByte", kKan + kTrail81 + "@", 4, kKan + kTrail81 + "@"},
        TrimCase{"kanjiInnerRunAfterTrailByte", kTrail81 + "@" + kWide + kWide + kJi, 1,
                 kTrail81 + "@" + kWide + kJi},
        TrimCase{"emptyItemsVanish", "A,,B", 1, "A,B"},
        TrimCase{"emptyItemsVanishWithoutTrimBits", "A,,B", 8, "A,B"},
        TrimCase{"outerCommasVanish", ",,A,B,", 4, "A,B"},
        TrimCase{"onlyCommas", ",,,", 1, ""},
        TrimCase{"blankItemStaysAsEmptyItem", "A,   ,B", 1, "A,,B"},
        TrimCase{"blankItemKeptByKanjiOnly", "A,   ,B", 9, "A,   ,B"},
        TrimCase{"empty", "", 1, ""},
        TrimCase{"noBlanks", "ABC,DEF", 7, "ABC,DEF"}));


// The word-at-a-time trimming against the plain walk: random texts built
// from the bytes that matter (blanks, commas, quotes, lead and trail bytes),
// every flag combination, items shorter and longer than a word.
TEST(TrimFast, MatchesThePlainWalkOnRandomText) {
    const std::string alphabet[] = {" ", " ", " ", ",", "\"", "A", "B", kWide, kWide, kKan, kJi, kTrail81, "@", "\x81"};
    std::uint32_t seed = 4242;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7FFF;
    };
    int differing = 0;
    for (int round = 0; round < 4000; ++round) {
        std::string text;
        // Short texts and long ones: the whole-text bit masks serve up to 64 bytes.
        const unsigned pieces = next() % (round % 2 == 0 ? 40 : 90);
        for (unsigned k = 0; k < pieces; ++k) text += alphabet[next() % std::size(alphabet)];
        for (std::int32_t flags = 0; flags < 16; ++flags) {
            std::string expected = text;
            expected.resize(vokl::trimItemsReference(expected.data(), expected.size(), flags));
            GuardedOut buffer(text.size());
            std::copy(text.begin(), text.end(), buffer.data());
            std::size_t length = vokl::trimItems(buffer.data(), text.size(), flags);
            ASSERT_LE(length, text.size());
            ASSERT_EQ(buffer.text(length), expected) << "flags " << flags << " text [" << text << "]";
            ASSERT_TRUE(buffer.guardsIntact());
            differing += expected != text;
        }
    }
    EXPECT_GT(differing, 10000);
}

// Around the 64-byte edge of the bit masks: items ending on it and crossing it.
TEST(TrimFast, MatchesThePlainWalkAroundSixtyFourBytes) {
    for (std::size_t length : {62u, 63u, 64u, 65u, 66u}) {
        for (std::size_t comma = 0; comma <= length; comma += 7) {
            for (std::int32_t flags : {1, 2, 4, 6, 9, 13}) {
                std::string text(length, ' ');
                for (std::size_t k = 0; k < length; k += 3) text[k] = static_cast<char>('A' + k % 26);
                if (comma < length) text[comma] = ',';
                text[length - 1] = ' ';
                std::string expected = text;
                expected.resize(vokl::trimItemsReference(expected.data(), expected.size(), flags));
                std::string actual = text;
                actual.resize(vokl::trimItems(actual.data(), actual.size(), flags));
                ASSERT_EQ(actual, expected) << length << " " << comma << " " << flags;
            }
        }
    }
}

// Short texts are trimmed from a copy into a result in chunks of sixteen
// bytes: items of every length around a chunk, padded with blanks on either
// side, next to each other up to the 64-byte edge.
TEST(TrimFast, ShortTextItemsAroundChunkLengths) {
    const std::string fills[] = {"A", kKan, "\"", kWide + "B"};
    for (std::size_t itemLength : {1u, 2u, 15u, 16u, 17u, 31u, 32u, 33u, 47u, 48u, 62u, 63u, 64u}) {
        for (std::size_t pad = 0; pad <= 3; ++pad) {
            for (const std::string& fill : fills) {
                std::string item(pad, ' ');
                while (item.size() + pad < itemLength) item += fill;
                item += std::string(pad, ' ');
                std::string text;
                while (text.size() + item.size() + 1 <= 64) text += item + ",";
                if (text.empty()) text = item.substr(0, 64);
                for (std::int32_t flags = 0; flags < 16; ++flags) {
                    std::string expected = text;
                    expected.resize(vokl::trimItemsReference(expected.data(), expected.size(), flags));
                    GuardedOut buffer(text.size());
                    std::copy(text.begin(), text.end(), buffer.data());
                    std::size_t length = vokl::trimItems(buffer.data(), text.size(), flags);
                    ASSERT_EQ(buffer.text(length), expected) << itemLength << " " << pad << " " << flags;
                    ASSERT_TRUE(buffer.guardsIntact());
                }
            }
        }
    }
}

// Runs described once and formatted from the description give the text of
// the scanning functions, for every byte pattern the fields may hold.
TEST(NumericRunFast, MatchesTheScanningFunctions) {
    const char* const runs[] = {"S", "SS", "SSS.S", "S.S", "SSSSSSS", "SSSSS.SS", "C", "CC", "CCC", "CCCC.CC",
                                "C.CCCCCC", "CCCCCCC", "PPPPP", "PP.PP", "P", "PPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPP",
                                "CCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCC", "CCCCCCCCCCCCCCCC.CCCCCCCCCCCCCCCCC"};
    std::uint32_t seed = 99;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7FFF;
    };
    auto randomByte = [&]() -> std::uint8_t {
        unsigned r = next() % 10;
        if (r < 4) return static_cast<std::uint8_t>((next() % 10) * 16 + next() % 10);    // packed digits
        if (r < 6) return static_cast<std::uint8_t>(0xF0 + next() % 10);                   // zoned digit
        if (r < 7) return static_cast<std::uint8_t>((next() % 2 ? 0xC0 : 0xD0) + next() % 10);
        if (r < 8) return static_cast<std::uint8_t>((next() % 10) * 16 + 0xC + next() % 2);  // sign nibble
        return static_cast<std::uint8_t>(next() % 256);
    };
    for (const char* text : runs) {
        const std::string pattern = std::string(text) + ",X";
        vokl::NumericRun run;
        ASSERT_TRUE(vokl::describeNumericRun(pattern, run)) << text;
        ASSERT_EQ(run.length, std::string(text).size());
        for (int round = 0; round < 3000; ++round) {
            Bytes record(run.bytes);
            for (auto& b : record) b = randomByte();
            char expected[64];
            NumericResult r = run.letter == 'S'
                                  ? vokl::zonedToText(pattern, record.data(), record.size(), expected, sizeof expected)
                                  : vokl::packedToText(pattern, record.data(), record.size(), expected,
                                                       sizeof expected);
            ASSERT_EQ(r.status, NumericStatus::Ok);
            ASSERT_EQ(r.bytesUsed, run.bytes);
            GuardedOut out(run.length + 1);
            std::size_t length = run.letter == 'S' ? vokl::zonedRunToText(run, record.data(), out.data())
                                                   : vokl::packedRunToText(run, pattern, record.data(), out.data());
            ASSERT_EQ(out.text(length), std::string(expected, r.textLen)) << text;
            ASSERT_TRUE(out.guardsIntact());
        }
    }
}

TEST(NumericRunFast, RefusesWhatTheScanningFunctionsCallMalformed) {
    for (const char* text : {"S.", "S.9", "SS.S.S", "C..C", "C.P", "CCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCC", "X", "", ".S"}) {
        vokl::NumericRun run;
        EXPECT_FALSE(vokl::describeNumericRun(text, run)) << text;
    }
}

}  // namespace
