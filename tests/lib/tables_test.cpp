// Every entry of the code tables against an independent reference: the row/cell arithmetic written out again here plus
// the exception lists read straight from lib/data; the single-byte tables against each other.
#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <tuple>

#include "tblank.h"
#include "tblknj.h"

namespace {

using vokl::SbVariant;

unsigned at(const std::uint8_t* pair) { return pair[0] * 256u + pair[1]; }

std::map<unsigned, unsigned> readList(const std::string& name) {
    std::ifstream in(std::string(VOK_DATA_DIR) + "/" + name);
    std::map<unsigned, unsigned> list;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#') list[std::stoul(line.substr(0, 4), nullptr, 16)] = std::stoul(line.substr(5, 4), nullptr, 16);
    return list;
}

// JIS row/cell (0x21-0x7E each) to Shift-JIS the textbook way, carried on over the whole 0x2121-0x7E7E span.
unsigned jisToSjis(unsigned jis) {
    unsigned row = jis >> 8, cell = jis & 0xFF;
    unsigned lead = row <= 0x5E ? (row + 0xE1) / 2 : (row + 0x161) / 2;
    unsigned trail = (row & 1 ? cell + 0x1F : cell + 0x7D) & 0xFF;
    if (trail >= 0x7F) trail = (trail + 1) & 0xFF;
    return ((lead & 0xFF) << 8) | trail;
}

unsigned sjisToJefByRule(unsigned sjis) {
    int lead = static_cast<int>(sjis >> 8), trail = static_cast<int>(sjis & 0xFF);
    if (!((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC))) return 0;
    int row = 2 * (lead < 0xE0 ? lead - 0x81 : lead - 0xC1) + 0x21 + (trail >= 0x9F);
    int cell = trail >= 0x9F ? trail - 0x7E : trail >= 0x7F ? trail - 0x20 : trail - 0x1F;
    return (((row + 0x80) & 0xFF) << 8) | ((cell + 0x80) & 0xFF);
}

TEST(DoubleByteTables, EveryCodeMatchesRulePlusList) {
    std::array<unsigned, 65536> toSjis{}, toJef{};
    for (unsigned j = 0x2121; j <= 0x7E7E; ++j) toSjis[(j + 0x8080) & 0xFFFF] = jisToSjis(j);
    for (auto [jef, sjis] : readList("jef-to-sjis-exceptions.tsv")) toSjis[jef] = sjis;
    for (unsigned s = 0; s < 65536; ++s) toJef[s] = sjisToJefByRule(s);
    for (auto [sjis, jef] : readList("sjis-to-jef-exceptions.tsv")) toJef[sjis] = jef;
    for (unsigned code = 0; code < 65536; ++code) {
        ASSERT_EQ(at(vokl::jefToSjis(code)), toSjis[code]) << std::hex << "JEF 0x" << code;
        ASSERT_EQ(at(vokl::sjisToJef(code)), toJef[code]) << std::hex << "SJIS 0x" << code;
    }
    // Anchors for the reference itself: 亜, the ideographic space, a user-defined code.
    EXPECT_TRUE(toSjis[0xB0A1] == 0x889F && toJef[0x8140] == 0x4040 && toJef[0xF040] == 0xFFA1);
}

// Each direction undoes the other for every byte of every variant; the only
// bytes that do not come back are these (variant, EBCDIC->JIS8?, byte, value).
TEST(SingleByteTables, EveryByteRoundTripsExceptTheOneWayCodes) {
    const std::set<std::tuple<SbVariant, bool, unsigned, unsigned>> oneWay = {
        {SbVariant::Kana, true, 0x6A, 0x7C}, {SbVariant::Lower, true, 0x6A, 0x7C},  // broken bar reads as "|"
        {SbVariant::Ascii, true, 0xE0, 0x24}, {SbVariant::Ascii, false, 0x5C, 0xE0}};  // yen sign reads back as "$"
    int mapped = 0;
    for (SbVariant v : {SbVariant::Kana, SbVariant::Lower, SbVariant::Ascii}) {
        for (bool fromEbcdic : {true, false}) {
            const auto& there = fromEbcdic ? vokl::ebcdicToJis8(v) : vokl::jis8ToEbcdic(v);
            const auto& back = fromEbcdic ? vokl::jis8ToEbcdic(v) : vokl::ebcdicToJis8(v);
            for (unsigned b = 0; b < 256; ++b) {
                mapped += there[b] != 0;
                EXPECT_TRUE(there[b] == 0 || oneWay.count({v, fromEbcdic, b, there[b]}) || back[there[b]] == b)
                    << static_cast<int>(v) << fromEbcdic << std::hex << " 0x" << b;
            }
        }
    }
    EXPECT_EQ(mapped, 132 + 131 + 95 + 94 + 95 + 95);
    // Anchors (variant, EBCDIC, JIS8): space, "A", "ｱ" (kana), "a" (lower), "0", "]" (ASCII).
    for (auto [v, e, j] : {std::tuple{SbVariant::Kana, 0x40, 0x20}, {SbVariant::Kana, 0xC1, 0x41}, {SbVariant::Kana, 0x81, 0xB1},
                           {SbVariant::Lower, 0x81, 0x61}, {SbVariant::Ascii, 0xF0, 0x30}, {SbVariant::Ascii, 0x5A, 0x5D}})
        EXPECT_EQ(vokl::ebcdicToJis8(v)[e], j) << std::hex << e;
}

}  // namespace
