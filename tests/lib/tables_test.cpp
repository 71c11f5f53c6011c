// Every entry of the code tables against an independent reference: the
// row/cell arithmetic written out again here, plus the exception lists read
// straight from lib/data.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>

#include "tblank.h"
#include "tblknj.h"

namespace {

using vokl::SbVariant;

unsigned entry(const std::uint8_t* pair) { return pair[0] * 256u + pair[1]; }
unsigned jefToSjisAt(unsigned code) { return entry(vokl::jefToSjis(code)); }
unsigned sjisToJefAt(unsigned code) { return entry(vokl::sjisToJef(code)); }

std::map<unsigned, unsigned> readList(const std::string& name) {
    std::ifstream in(std::string(VOK_DATA_DIR) + "/" + name);
    std::map<unsigned, unsigned> list;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        list[std::stoul(line.substr(0, 4), nullptr, 16)] = std::stoul(line.substr(5, 4), nullptr, 16);
    }
    return list;
}

// JIS row/cell (both 0x21-0x7E, carried on over the whole 0x2121-0x7E7E span)
// to Shift-JIS, the textbook way: rows pair up into one lead byte.
unsigned referenceJisToSjis(unsigned jis) {
    unsigned row = jis >> 8, cell = jis & 0xFF;
    unsigned lead = row <= 0x5E ? (row + 0xE1) / 2 : (row + 0x161) / 2;
    unsigned trail = row & 1 ? cell + 0x1F : cell + 0x7D;
    trail &= 0xFF;
    if (trail >= 0x7F) trail = (trail + 1) & 0xFF;
    return ((lead & 0xFF) << 8) | trail;
}

unsigned referenceSjisToJef(unsigned sjis) {
    unsigned lead = sjis >> 8, trail = sjis & 0xFF;
    bool isLead = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC);
    if (!isLead) return 0;
    int rowBase = lead < 0xE0 ? static_cast<int>(lead) - 0x81 : static_cast<int>(lead) - 0xC1;
    int row = 2 * rowBase + 0x21 + (trail >= 0x9F ? 1 : 0);
    int cell = trail >= 0x9F ? static_cast<int>(trail) - 0x7E
             : trail >= 0x7F ? static_cast<int>(trail) - 0x20
                             : static_cast<int>(trail) - 0x1F;
    return (((row + 0x80) & 0xFF) << 8) | ((cell + 0x80) & 0xFF);
}

TEST(DoubleByteTables, JefToSjisMatchesRulePlusListForEveryCode) {
    std::array<unsigned, 65536> expected{};
    for (unsigned j = 0x2121; j <= 0x7E7E; ++j) expected[(j + 0x8080) & 0xFFFF] = referenceJisToSjis(j);
    for (auto [jef, sjis] : readList("jef-to-sjis-exceptions.tsv")) expected[jef] = sjis;
    for (unsigned code = 0; code < 65536; ++code)
        ASSERT_EQ(jefToSjisAt(code), expected[code]) << std::hex << "JEF 0x" << code;
}

TEST(DoubleByteTables, SjisToJefMatchesRulePlusListForEveryCode) {
    std::array<unsigned, 65536> expected{};
    for (unsigned s = 0; s < 65536; ++s) expected[s] = referenceSjisToJef(s);
    for (auto [sjis, jef] : readList("sjis-to-jef-exceptions.tsv")) expected[sjis] = jef;
    for (unsigned code = 0; code < 65536; ++code)
        ASSERT_EQ(sjisToJefAt(code), expected[code]) << std::hex << "SJIS 0x" << code;
}

struct Example {
    unsigned from;
    unsigned to;
};

TEST(DoubleByteTables, JefToSjisExamples) {
    const Example examples[] = {
        {0x4040, 0x8140}, {0xB0A1, 0x889F}, {0xA200, 0x81A0}, {0xE7DA, 0xE47C}, {0xE7DB, 0xE47D},
        {0xEDEE, 0x93F4}, {0x41AC, 0xFA68}, {0x47B9, 0x88A0}, {0xB0A2, 0x88A0}, {0x77C9, 0x8740},
        {0x7FD0, 0x81B8}, {0x76A7, 0x81CA}, {0x7CC1, 0x84A1}, {0xF2CD, 0xE9CB}, {0x0000, 0x0000},
    };
    for (const Example& e : examples) EXPECT_EQ(jefToSjisAt(e.from), e.to) << std::hex << "JEF 0x" << e.from;
}

TEST(DoubleByteTables, SjisToJefExamples) {
    const Example examples[] = {
        {0x8140, 0x4040}, {0x889F, 0xB0A1}, {0xF040, 0xFFA1}, {0xF09F, 0x00A1}, {0xF0FE, 0x0000},
        {0x877E, 0x0000}, {0x878D, 0x0000}, {0x878E, 0x0000}, {0x878F, 0x0000}, {0x810A, 0xA16B},
        {0x81B8, 0x7FD0}, {0x81CA, 0x76A7}, {0x81E0, 0x76A9}, {0x8740, 0x77C9}, {0x8753, 0x77DC},
        {0x8754, 0x77DE}, {0x8780, 0xA1C8}, {0x8781, 0xA1C9}, {0x8794, 0xA6B2}, {0x88A0, 0x47B9},
        {0xFA40, 0x77EB}, {0xED40, 0x5FDC}, {0xFA5C, 0x5FDC}, {0x88B1, 0xF2CD}, {0xEAA4, 0xDFE6},
        {0xED80, 0xC4CD}, {0xFA9C, 0xC4CD}, {0xEE54, 0xE2A5}, {0xFB70, 0xE2A5}, {0x8000, 0x0000},
        {0xA0A1, 0x0000}, {0xFD40, 0x0000},
    };
    for (const Example& e : examples) EXPECT_EQ(sjisToJefAt(e.from), e.to) << std::hex << "SJIS 0x" << e.from;
}

TEST(DoubleByteTables, ExtendedRegionCountsByTargetBlock) {
    int mapped = 0, ibm = 0, kanji = 0, nec = 0, symbols = 0, box = 0, other = 0;
    for (unsigned first = 0x41; first <= 0x7F; ++first) {
        for (unsigned second = 0xA1; second <= 0xFE; ++second) {
            unsigned s = jefToSjisAt(first * 256 + second);
            if (s == 0) continue;
            ++mapped;
            unsigned lead = s >> 8;
            if (s >= 0xFA40 && s <= 0xFC4B) ++ibm;
            else if (lead == 0x87) ++nec;
            else if (lead == 0x81) ++symbols;
            else if (lead == 0x84) ++box;
            else if ((lead >= 0x88 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xEA)) ++kanji;
            else ++other;
        }
    }
    EXPECT_EQ(mapped, 750);
    EXPECT_EQ(ibm, 386);
    EXPECT_EQ(kanji, 247);
    EXPECT_EQ(nec, 46);
    EXPECT_EQ(symbols, 39);
    EXPECT_EQ(box, 32);
    EXPECT_EQ(other, 0);
}

TEST(DoubleByteTables, SjisToJefExceptionCountsAndInverses) {
    int exceptions = 0, noMapping = 0, inverses = 0;
    for (unsigned s = 0; s < 65536; ++s) {
        unsigned jef = sjisToJefAt(s);
        if (jef == referenceSjisToJef(s)) continue;
        if (jef == 0) {
            ++noMapping;
            continue;
        }
        ++exceptions;
        if (jefToSjisAt(jef) == s) ++inverses;
    }
    EXPECT_EQ(exceptions, 1199);
    EXPECT_EQ(noMapping, 4);
    EXPECT_EQ(inverses, 748);
}

TEST(DoubleByteTables, JisRegionRoundTripsExceptWhereListed) {
    // Every cell of the 94 x 94 JIS region that Shift-JIS reaches by the rule
    // comes back unchanged unless a list entry redirects it.
    auto jefList = readList("jef-to-sjis-exceptions.tsv");
    auto sjisList = readList("sjis-to-jef-exceptions.tsv");
    for (unsigned first = 0xA1; first <= 0xFE; ++first) {
        for (unsigned second = 0xA1; second <= 0xFE; ++second) {
            unsigned jef = first * 256 + second;
            unsigned s = jefToSjisAt(jef);
            if (jefList.count(jef) || sjisList.count(s)) continue;
            ASSERT_EQ(sjisToJefAt(s), jef) << std::hex << "JEF 0x" << jef;
        }
    }
}

struct SingleByteCase {
    SbVariant variant;
    unsigned from;
    unsigned to;
};

TEST(SingleByteTables, EbcdicToJis8Examples) {
    const SingleByteCase cases[] = {
        {SbVariant::Kana, 0x40, 0x20},  {SbVariant::Lower, 0x40, 0x20},  {SbVariant::Ascii, 0x40, 0x20},
        {SbVariant::Kana, 0x81, 0xB1},  {SbVariant::Lower, 0x81, 0x61},  {SbVariant::Ascii, 0x81, 0x61},
        {SbVariant::Kana, 0x4F, 0x7C},  {SbVariant::Lower, 0x4F, 0x7C},  {SbVariant::Ascii, 0x4F, 0x21},
        {SbVariant::Kana, 0x6A, 0x7C},  {SbVariant::Lower, 0x6A, 0x7C},  {SbVariant::Ascii, 0x6A, 0x7C},
        {SbVariant::Kana, 0x5A, 0x21},  {SbVariant::Ascii, 0x5A, 0x5D},  {SbVariant::Ascii, 0x5B, 0x24},
        {SbVariant::Ascii, 0xE0, 0x24}, {SbVariant::Kana, 0x5B, 0x5C},   {SbVariant::Kana, 0x41, 0xA1},
        {SbVariant::Lower, 0x41, 0x00}, {SbVariant::Lower, 0x58, 0x00},  {SbVariant::Kana, 0x58, 0xB0},
        {SbVariant::Lower, 0xBA, 0x00}, {SbVariant::Kana, 0xBA, 0xDA},   {SbVariant::Lower, 0xA9, 0x7A},
        {SbVariant::Kana, 0xF9, 0x39},  {SbVariant::Kana, 0xC1, 0x41},   {SbVariant::Kana, 0x00, 0x00},
        {SbVariant::Kana, 0x3F, 0x00},  {SbVariant::Kana, 0xFF, 0x00},
    };
    for (const auto& c : cases)
        EXPECT_EQ(vokl::ebcdicToJis8(c.variant)[c.from], c.to)
            << "variant " << static_cast<int>(c.variant) << std::hex << " byte 0x" << c.from;
}

TEST(SingleByteTables, Jis8ToEbcdicExamples) {
    const SingleByteCase cases[] = {
        {SbVariant::Kana, 0x20, 0x40},  {SbVariant::Lower, 0x20, 0x40},  {SbVariant::Ascii, 0x20, 0x40},
        {SbVariant::Kana, 0x61, 0x00},  {SbVariant::Lower, 0x61, 0x81},  {SbVariant::Ascii, 0x61, 0x81},
        {SbVariant::Kana, 0x5D, 0x00},  {SbVariant::Lower, 0x5D, 0x00},  {SbVariant::Ascii, 0x5D, 0x5A},
        {SbVariant::Kana, 0x21, 0x5A},  {SbVariant::Ascii, 0x21, 0x4F},  {SbVariant::Ascii, 0x24, 0x5B},
        {SbVariant::Ascii, 0x5C, 0xE0}, {SbVariant::Ascii, 0x7C, 0x6A},  {SbVariant::Kana, 0x7C, 0x4F},
        {SbVariant::Kana, 0xB1, 0x81},  {SbVariant::Lower, 0xB1, 0x00},  {SbVariant::Kana, 0x41, 0xC1},
        {SbVariant::Kana, 0x09, 0x00},  {SbVariant::Lower, 0x7E, 0xA1},  {SbVariant::Kana, 0xDF, 0xBF},
        {SbVariant::Kana, 0x7F, 0x00},  {SbVariant::Kana, 0xE0, 0x00},
    };
    for (const auto& c : cases)
        EXPECT_EQ(vokl::jis8ToEbcdic(c.variant)[c.from], c.to)
            << "variant " << static_cast<int>(c.variant) << std::hex << " byte 0x" << c.from;
}

// Every JIS8 byte that has an EBCDIC code converts back to itself. The one
// exception: the ASCII variant sends the yen/backslash 0x5C to 0xE0, which
// reads back as "$", since no EBCDIC byte of that variant gives 0x5C.
TEST(SingleByteTables, EveryMappedJis8ByteRoundTrips) {
    for (SbVariant v : {SbVariant::Kana, SbVariant::Lower, SbVariant::Ascii}) {
        int mapped = 0;
        for (unsigned b = 0; b < 256; ++b) {
            unsigned e = vokl::jis8ToEbcdic(v)[b];
            if (e == 0) continue;
            ++mapped;
            if (v == SbVariant::Ascii && b == 0x5C) {
                EXPECT_EQ(vokl::ebcdicToJis8(v)[e], 0x24);
                continue;
            }
            EXPECT_EQ(vokl::ebcdicToJis8(v)[e], b) << "variant " << static_cast<int>(v) << std::hex << " JIS8 0x" << b;
        }
        EXPECT_GT(mapped, 60);
    }
}

TEST(SingleByteTables, NoControlByteHasAMapping) {
    for (SbVariant v : {SbVariant::Kana, SbVariant::Lower, SbVariant::Ascii}) {
        for (unsigned b = 0; b < 0x20; ++b) EXPECT_EQ(vokl::jis8ToEbcdic(v)[b], 0) << b;
        for (unsigned b = 0; b < 0x40; ++b) EXPECT_EQ(vokl::ebcdicToJis8(v)[b], 0) << b;
    }
}

}  // namespace
