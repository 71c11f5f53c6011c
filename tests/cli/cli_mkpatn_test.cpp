// vokcli mkpatn as a user runs it: a process on real files, its output, exit
// status and what it leaves in the temporary folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "testutil.h"

namespace {

using testutil::CliRun;
using testutil::TempDir;

const char kRecord[] =
    "000100 01  ORDER-REC.\n"
    "000200     05  ORDER-NO      PIC 9(6).\n"
    "000300     05  ITEM-NAME     PIC N(4).\n"
    "000400     05  AMOUNT        PIC S9(5)V99 COMP-3.\n";

class CliMkpatn : public testing::Test {
protected:
    TempDir dir;
    TempDir tmp;  // the program's temporary folder, watched for leftover logs
    std::string cpy = dir.file("受注レコード.cpy"), ptn = dir.file("受注.ptn");

    CliRun run(const std::vector<std::string>& args) {
        std::vector<std::string> all{"mkpatn"};
        all.insert(all.end(), args.begin(), args.end());
        return testutil::runCli(all, tmp.path().string());
    }

    bool tmpIsEmpty() const { return std::filesystem::is_empty(tmp.path()); }
};

TEST_F(CliMkpatn, SeparatorAndQuoteOptions) {
    struct Case {
        std::vector<std::string> options;
        std::string pattern;
    };
    const Case cases[] = {
        {{}, "999999NNNNNNNNCCCCC.CC\r\n"},
        {{"--separator", "none"}, "999999NNNNNNNNCCCCC.CC\r\n"},
        {{"--separator", "comma"}, "999999,NNNNNNNN,CCCCC.CC\r\n"},
        {{"--separator=space"}, "999999 NNNNNNNN CCCCC.CC\r\n"},
        {{"--separator", "comma", "--quote"}, "999999,\"NNNNNNNN\",CCCCC.CC\r\n"},
    };
    testutil::writeFile(cpy, kRecord);
    for (const Case& c : cases) {
        std::vector<std::string> args = c.options;
        args.push_back(cpy);
        args.push_back(ptn);
        const CliRun r = run(args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "パターンファイルの作成が終了しました(レコードサイズ=18)\n");
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(testutil::readText(ptn), c.pattern);
    }
    EXPECT_TRUE(tmpIsEmpty());
}

TEST_F(CliMkpatn, UnsupportedItemExitsOneWithLog) {
    testutil::writeFile(cpy, "01 R.\n05 A PIC S9(4) COMP.\n");
    const CliRun r = run({cpy, ptn});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "パターンファイルの作成が終了しました(ただし未サポート項目が含まれています)\n"
              "[未サポート]COMP(BINARY)は現在サポートしていません\n->05 A PIC S9(4) COMP.\n");
    EXPECT_EQ(testutil::readText(ptn), "XX\r\n");
    EXPECT_TRUE(tmpIsEmpty());
}

TEST_F(CliMkpatn, FailuresExitTwoWithLog) {
    const std::string empty = dir.file("空.cpy");
    const std::string bad = dir.file("bad.cpy");
    const std::string noFolder = dir.file("なし/受注.ptn");
    testutil::writeFile(cpy, kRecord);
    testutil::writeFile(empty, "");
    testutil::writeFile(bad, "01 R.\n05 A PIC X(3) USAGE DISPLAY.\n");
    struct Case {
        std::string copybook;
        std::string pattern;
        std::string err;
    };
    const Case cases[] = {
        {dir.file("ない.cpy"), ptn, "コピー句ファイルがオープン出来ません\n[" + dir.file("ない.cpy") + "]が見つかりません\n"},
        {empty, ptn, "コピー句ファイルにデータがありません\n[" + empty + "]のファイルサイズが 0 です\n"},
        {bad, ptn,
         "コピー句が解析できません\n[解析エラー]認識できないキーワードが含まれます\n->05 A PIC X(3) USAGE DISPLAY.\n"},
        {cpy, noFolder, "パターンファイルがオープン出来ません\n" + noFolder + "がオープンできません\n"},
        {cpy, "/dev/full", "パターンファイルへの書き込みが出来ません\n/dev/fullの出力に失敗しました\n"},
    };
    for (const Case& c : cases) {
        const CliRun r = run({"--separator", "comma", c.copybook, c.pattern});
        EXPECT_EQ(r.status, 2) << c.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.err);
    }
    EXPECT_TRUE(tmpIsEmpty());
}

// The desktop program reports a pattern without any field as a program error.
TEST_F(CliMkpatn, EmptyPatternLineIsReportedAsProgramError) {
    testutil::writeFile(cpy, "01 R.\n");
    const CliRun r = run({cpy, ptn});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "プログラムエラーが発生しました(0)\n");
    EXPECT_EQ(testutil::readText(ptn), "\r\n");
}

TEST_F(CliMkpatn, NamedLogIsKept) {
    const std::string log = dir.file("作成.log");
    testutil::writeFile(cpy, "01 R.\n05 A PIC 9(2) BINARY.\n");
    EXPECT_EQ(run({"--log", log, cpy, ptn}).status, 1);
    EXPECT_EQ(testutil::readText(log),
              testutil::logLines("[未サポート]COMP(BINARY)は現在サポートしていません\n->05 A PIC 9(2) BINARY.\n"));
    EXPECT_TRUE(tmpIsEmpty());
}

TEST_F(CliMkpatn, UsageErrors) {
    testutil::writeFile(cpy, kRecord);
    const std::vector<std::string> cases[] = {
        {"--separator", "tab", cpy, ptn},
        {"--separator"},
        {cpy},
        {cpy, ptn, "extra"},
        {"--quote=1", cpy, ptn},
        {"--unknown", cpy, ptn},
        {"--log", "", cpy, ptn},
    };
    for (const auto& args : cases) {
        const CliRun r = run(args);
        EXPECT_EQ(r.status, 2) << args.front();
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("vokcli mkpatn --help"), std::string::npos) << r.err;
    }
    EXPECT_FALSE(testutil::exists(ptn));
}

TEST_F(CliMkpatn, HelpShowsAnExamplePerOption) {
    const CliRun r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("使い方: vokcli mkpatn", 0), 0u);
    for (const char* example : {"--separator none", "--separator comma", "--separator space", "--quote", "--log"})
        EXPECT_NE(r.out.find(std::string("例: vokcli mkpatn ") + example), std::string::npos) << example;
}

}  // namespace
