// vokcli mkpatn as a user runs it: what the command adds to the library, its
// options, exit status, status text, the log on stderr and its leftovers.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "testutil.h"

namespace {

TEST(CliMkpatn, OptionsExitStatusAndLog) {
    testutil::TempDir dir, tmp;  // tmp: the program's temporary folder, watched for leftover logs
    const std::string cpy = dir.file("受注.cpy"), bin = dir.file("bin.cpy"), bad = dir.file("bad.cpy");
    const std::string ptn = dir.file("受注.ptn"), log = dir.file("作成.log"), usage = "<usage>";
    testutil::writeFile(cpy, "01 R.\n05 A PIC 9(2).\n05 B PIC N.\n");
    testutil::writeFile(bin, "01 R.\n05 A PIC S9(4) COMP.\n05 B OCCURS 1 TO 2 DEPENDING ON A PIC X.\n");
    testutil::writeFile(bad, "01 R.\n");
    const std::string done = "パターンファイルの作成が終了しました(レコードサイズ=4)\n";
    const std::string binary = "[未サポート]COMP(BINARY)は現在サポートしていません\n->05 A PIC S9(4) COMP.\n"
                               "[未サポート]OCCURS DEPENDING ONは最大の反復回数で出力しました\n"
                               "->05 B OCCURS 1 TO 2 DEPENDING ON A PIC X.\n";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out, err, pattern;
    } cases[] = {
        {{cpy, ptn}, 0, done, "", "99NN\r\n"},
        {{"--separator", "comma", cpy, ptn}, 0, done, "", "99,NN\r\n"},
        {{"--separator=space", "--quote", "--", cpy, ptn}, 0, done, "", "99 \"NN\"\r\n"},
        {{"--separator", "none", "--log", log, bin, ptn}, 1, "",
         "パターンファイルの作成が終了しました(ただし未サポート項目が含まれています)\n" + binary, "XXXX\r\n"},
        {{bad, ptn}, 2, "", "プログラムエラーが発生しました(0)\n", "\r\n"},  // as the desktop program shows it
        {{dir.file("ない.cpy"), ptn}, 2, "", "コピー句ファイルがオープン出来ません\n[" + dir.file("ない.cpy") + "]が見つかりません\n", "\r\n"},
        // A log named like the copybook used to destroy it.
        {{cpy, dir.path().string() + "/./受注.cpy"}, 2, "", "vokcli mkpatn: 入力側と出力側のパス名が同じです\n", "\r\n"},
        {{"--log", cpy, cpy, ptn}, 2, "", "vokcli mkpatn: 入力側と出力側のパス名が同じです\n", "\r\n"},
        {{"--separator", "tab", cpy, ptn}, 2, "", usage, "\r\n"},
        {{cpy}, 2, "", usage, "\r\n"},
        {{"--quote=1", cpy, ptn}, 2, "", usage, "\r\n"},
        {{"--log", "", cpy, ptn}, 2, "", usage, "\r\n"},
        {{"--help"}, 0, "使い方: vokcli mkpatn [--separator none|comma|space] [--quote] [--log ログ] コピー句 パターン\n", "",
         "\r\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"mkpatn"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const testutil::CliRun r = testutil::runCli(args, tmp.path().string());
        SCOPED_TRACE(r.err);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out.substr(0, c.out.size()), c.out);  // the help goes on
        if (c.err == usage) EXPECT_NE(r.err.find("vokcli mkpatn --help"), std::string::npos);
        else EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(testutil::readText(ptn), c.pattern);
        EXPECT_TRUE(std::filesystem::is_empty(tmp.path()));
    }
    EXPECT_EQ(testutil::readText(cpy), "01 R.\n05 A PIC 9(2).\n05 B PIC N.\n");
    EXPECT_EQ(testutil::readText(log), testutil::logLines(binary));  // a named log is kept
}

}  // namespace
