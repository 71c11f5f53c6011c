// The library as the desktop program drives it, through vokl.h only: a
// copybook becomes a pattern file, host records laid out by it come back as
// Shift-JIS lines; and a text file goes to the host and back unchanged.
#include <gtest/gtest.h>

#include <string>

#include "testutil.h"
#include "vokl.h"

namespace {

constexpr std::int32_t kLogOn = 1, kCommaSeparator = 1, kQuoteFields = 1, kShiftCodes = 1;
constexpr std::int32_t kKana = 1, kSkipShiftCodes = 0, kNoTrim = 0;
constexpr char kNoPattern[] = "_********_";

class EndToEnd : public testing::Test {
protected:
    testutil::TempDir dir;
    std::string log = dir.file("vok.log"), convLog = dir.file("VOK_LOG_20260101_000000.txt");
    std::string logText() { return testutil::utf8(testutil::readText(log)); }
};

TEST_F(EndToEnd, CopybookPatternConvertsHostRecords) {
    const std::string cpy = dir.file("order.cpy"), ptn = dir.file("order.ptn");
    const std::string host = dir.file("order.bin"), text = dir.file("order.txt");
    testutil::writeFile(cpy, std::string("000100*  ORDER RECORD\n"
                                         "000200 01  ORDER-REC.\n"
                                         "000300     05  ORDER-NO        PIC 9(4).\n"
                                         "000400     05  CUST-NAME       PIC N(2).\n"
                                         "000500     05  ITEM-CODE       PIC X(3).\n"
                                         "000600     05  QTY             PIC S9(3).\n"
                                         "000700     05  AMOUNT          PIC S9(5)V9(2)\n"
                                         "000800                         COMP-3.\n"
                                         "000900     05  DELIVERY        OCCURS 2 TIMES.\n"
                                         "001000         10  DLV-QTY     PIC S9(2) COMP-3.\n"));
    ASSERT_EQ(mkpatn(kLogOn, kCommaSeparator, kQuoteFields, cpy.c_str(), ptn.c_str(), log.c_str()), 22) << logText();
    EXPECT_EQ(testutil::readText(ptn), "9999,\"NNNN\",\"XXX\",SSS,CCCCC.CC,CC,CC\r\n");
    // Two records of 22 bytes: zoned digits, JEF kanji, EBCDIC letters, a
    // signed zoned number, a packed amount and two packed quantities.
    testutil::writeFile(host, testutil::hex("F0F0F1F2 B0A1B0A2 C1C2F1 F1F2D3 1234567C 012C 034D"
                                            "F0F0F9F9 C6FCCBDC E7E8E9 F0F0C5 0000005C 000C 999D"));
    const std::int32_t recordSize = 22;
    EXPECT_EQ(j2sconv(kLogOn, kKana, recordSize, kSkipShiftCodes, kNoTrim, host.c_str(), text.c_str(), ptn.c_str(),
                      log.c_str(), convLog.c_str()), 2) << logText();
    EXPECT_EQ(testutil::utf8(testutil::readText(text)), "0012,\"亜唖\",\"AB1\",-123,+12345.67,+12,-34\r\n"
                                                         "0099,\"日本\",\"XYZ\",+005,+00000.05,+00,-99\r\n");
    EXPECT_FALSE(testutil::exists(convLog));
}

TEST_F(EndToEnd, TextGoesToHostAndBackUnchanged) {
    // Every line is 4 single-byte and 2 double-byte characters, so 10 JEF
    // bytes with its shift codes: one block per line on the way back.
    const std::string original = testutil::sjis("AB1ｱ亜唖\r\nXY9ｶ日本\r\n0 +.漢字\r\n");
    const std::string sjisIn = dir.file("in.txt"), jef = dir.file("host.bin"), sjisOut = dir.file("out.txt");
    testutil::writeFile(sjisIn, original);
    ASSERT_EQ(s2jconv(kLogOn, kKana, kShiftCodes, sjisIn.c_str(), jef.c_str(), log.c_str()), 3) << logText();
    EXPECT_EQ(testutil::readFile(jef).size(), 30u);
    const std::int32_t blockLength = 10;
    EXPECT_EQ(j2sconv(kLogOn, kKana, blockLength, kSkipShiftCodes, kNoTrim, jef.c_str(), sjisOut.c_str(), kNoPattern,
                      log.c_str(), convLog.c_str()), 3) << logText();
    EXPECT_EQ(testutil::readText(sjisOut), original);
}

}  // namespace
