// vokcli s2j as a user runs it: a process on real files, its output, exit
// status and what it leaves in the temporary folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "testutil.h"

namespace {

using testutil::bytes;
using testutil::Bytes;
using testutil::CliRun;
using testutil::TempDir;

class CliS2j : public testing::Test {
protected:
    TempDir dir;
    TempDir tmp;  // the program's temporary folder, watched for leftover logs
    std::string in = dir.file("入力データ.txt"), out = dir.file("出力.bin");

    CliRun run(const std::vector<std::string>& args, const std::string& tmpDir = "") {
        std::vector<std::string> all{"s2j"};
        all.insert(all.end(), args.begin(), args.end());
        return testutil::runCli(all, tmpDir.empty() ? tmp.path().string() : tmpDir);
    }

    bool tmpIsEmpty() const { return std::filesystem::is_empty(tmp.path()); }
};

TEST_F(CliS2j, SuccessPrintsStatusAndRemovesTemporaryLog) {
    testutil::writeFile(in, bytes({0x41, 0x0D, 0x0A, 0x88, 0x9F, 0x0D, 0x0A}));
    const CliRun r = run({"--code", "kana", "--shift", in, out});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "コード変換が終了しました(レコード=2件)\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(testutil::readFile(out), bytes({0xC1, 0x28, 0xB0, 0xA1, 0x29}));
    EXPECT_TRUE(tmpIsEmpty());
}

TEST_F(CliS2j, NoLineFeedIsPlainCompletion) {
    testutil::writeFile(in, bytes({0x41}));
    const CliRun r = run({"--code=ascii", in, out});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "コード変換が終了しました\n");
}

struct CodeCase {
    const char* word;
    int status;
    Bytes output;
};

TEST_F(CliS2j, CodeWordsSelectTheVariants) {
    const CodeCase cases[] = {{"kana", 1, bytes({0x40, 0x81})},
                              {"kana-upper", 0, bytes({0xC1, 0x81})},
                              {"lower", 1, bytes({0x81, 0x40})},
                              {"ascii", 1, bytes({0x81, 0x40})},
                              {"none", 0, bytes({0x61, 0xB1})}};
    testutil::writeFile(in, bytes({0x61, 0xB1}));
    for (const CodeCase& c : cases) {
        const CliRun r = run({"--code", c.word, in, out});
        EXPECT_EQ(r.status, c.status) << c.word << "\n" << r.err;
        EXPECT_EQ(testutil::readFile(out), c.output) << c.word;
    }
}

TEST_F(CliS2j, ReplacedCharactersExitOneWithLogOnStderr) {
    testutil::writeFile(in, bytes({0x41, 0x0A, 0x87, 0x7E}));
    const CliRun r = run({"--code", "kana", in, out});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "一部のコードで変換エラーが発生しました\nシフトJIS->JEF 変換エラー(SJIS=0x877e,行=2,桁=1)\n");
    EXPECT_EQ(testutil::readFile(out), bytes({0xC1, 0x40, 0x40}));
    EXPECT_TRUE(tmpIsEmpty());
}

TEST_F(CliS2j, FailureShowsLogWithJapanesePathInUtf8) {
    const CliRun r = run({"--code", "kana", in, out});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "シフトJISファイルがオープン出来ません\n[" + in + "]が見つかりません\n");
    EXPECT_EQ(r.out, "");
}

TEST_F(CliS2j, EmptyInput) {
    testutil::writeFile(in, Bytes{});
    const CliRun r = run({"--code", "kana", in, out});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "シフトJISファイルにデータがありません\n[" + in + "]のファイルサイズが 0 です\n");
}

TEST_F(CliS2j, NamedLogIsKept) {
    const std::string log = dir.file("変換.log");
    testutil::writeFile(in, bytes({0x09}));
    EXPECT_EQ(run({"--code", "kana", "--log", log, in, out}).status, 1);
    EXPECT_EQ(testutil::readText(log), testutil::logLines("JIS->EBCDIC 変換エラー(JIS=0x09,行=1,桁=1)\n"));
    testutil::writeFile(in, bytes({0x41}));
    EXPECT_EQ(run({"--code", "kana", "--log", log, in, out}).status, 0);
    EXPECT_TRUE(testutil::exists(log));
}

TEST_F(CliS2j, LogThatCannotBeCreated) {
    testutil::writeFile(in, bytes({0x41}));
    const CliRun r = run({"--code", "kana", "--log", dir.file("無い/変換.log"), in, out});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "作業用ファイルがオープン出来ません\n");
    EXPECT_FALSE(testutil::exists(out));
}

TEST_F(CliS2j, NoTemporaryFolder) {
    testutil::writeFile(in, bytes({0x41}));
    const CliRun r = run({"--code", "kana", in, out}, dir.file("no-such-folder"));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "一時ファイルが作成できませんでした\n");
    EXPECT_FALSE(testutil::exists(out));
}

TEST_F(CliS2j, OutputOrLogThatIsTheInputIsRefusedAndInputKept) {
    const Bytes text = bytes({0x41, 0x0A});
    testutil::writeFile(in, text);
    const std::string otherName = dir.path().string() + "/./" + std::filesystem::path(in).filename().string();
    const std::vector<std::vector<std::string>> cases = {
        {"--code", "kana", in, in},
        {"--code", "kana", in, otherName},
        {"--code", "kana", "--log", in, in, out},
        {"--code", "kana", "--log", out, in, out},
    };
    for (const auto& args : cases) {
        const CliRun r = run(args);
        EXPECT_EQ(r.status, 2) << args[args.size() - 1];
        EXPECT_EQ(r.err, "vokcli s2j: 入力側と出力側のパス名が同じです\n");
        EXPECT_EQ(testutil::readFile(in), text);
    }
    EXPECT_TRUE(tmpIsEmpty());
}

TEST_F(CliS2j, DoubleDashAllowsOperandsStartingWithDash) {
    const std::string dashed = dir.file("-in.txt");
    testutil::writeFile(dashed, bytes({0x41}));
    EXPECT_EQ(run({"--code", "kana", "--", dashed, out}).status, 0);
}

TEST_F(CliS2j, HelpListsEveryOptionWithAnExample) {
    const CliRun r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    for (const char* word : {"--code", "kana", "kana-upper", "lower", "ascii", "none", "--shift", "--log"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
    EXPECT_NE(r.out.find("例: vokcli s2j --code kana --shift"), std::string::npos);
}

struct UsageCase {
    const char* name;
    std::vector<std::string> args;
    const char* message;
};

TEST_F(CliS2j, UsageErrorsExitTwo) {
    const UsageCase cases[] = {
        {"nothing", {}, "--code を指定してください"},
        {"no code", {"a", "b"}, "--code を指定してください"},
        {"bad code", {"--code", "ebcdic", "a", "b"}, "--code の値が正しくありません"},
        {"code without value", {"a", "b", "--code"}, "--code の値がありません"},
        {"one operand", {"--code", "kana", "a"}, "入力ファイルと出力ファイルを指定してください"},
        {"three operands", {"--code", "kana", "a", "b", "c"}, "入力ファイルと出力ファイルを指定してください"},
        {"unknown option", {"--code", "kana", "--record", "a", "b"}, "不明なオプションです: --record"},
        {"value for switch", {"--code", "kana", "--shift=1", "a", "b"}, "--shift に値は指定できません"},
        {"empty log", {"--code", "kana", "--log=", "a", "b"}, "--log の値がありません"},
    };
    for (const UsageCase& c : cases) {
        const CliRun r = run(c.args);
        EXPECT_EQ(r.status, 2) << c.name;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.name << ": " << r.err;
        EXPECT_EQ(r.out, "") << c.name;
    }
    EXPECT_TRUE(tmpIsEmpty());
}

}  // namespace
