// vokcli j2s as a user runs it: a process in its own working folder, on real
// files; its output, exit status and the conversion-error log it leaves.
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

class CliJ2s : public testing::Test {
protected:
    TempDir dir;  // also the working folder, where dated error logs land
    TempDir tmp;  // the program's temporary folder, watched for leftover logs
    TempDir io;
    std::string in = io.file("ホスト.bin"), out = io.file("出力.txt"), ptn = io.file("layout.ptn");

    CliRun run(const std::vector<std::string>& args) {
        std::vector<std::string> all{"j2s"};
        all.insert(all.end(), args.begin(), args.end());
        return testutil::runCli(all, tmp.path().string(), dir.path().string());
    }

    // The dated error logs in the working folder.
    std::vector<std::string> errorLogs() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            std::string name = entry.path().filename().string();
            if (name.rfind("VOK_LOG_", 0) == 0) names.push_back(entry.path().string());
        }
        return names;
    }
    bool tmpIsEmpty() const { return std::filesystem::is_empty(tmp.path()); }
};

TEST_F(CliJ2s, StreamWithLineEnds) {
    testutil::writeFile(in, bytes({0x28, 0xB0, 0xA1, 0x29, 0xC1, 0xC2}));
    const CliRun r = run({"--code", "kana", "--record-length", "3", in, out});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "コード変換が終了しました(レコード=2件)\n");
    EXPECT_EQ(testutil::readFile(out), bytes({0x88, 0x9F, 0x0D, 0x0A, 0x41, 0x42, 0x0D, 0x0A}));
    EXPECT_TRUE(errorLogs().empty());
    EXPECT_TRUE(tmpIsEmpty());
}

TEST_F(CliJ2s, StreamWithoutLineEnds) {
    testutil::writeFile(in, bytes({0xC1}));
    const CliRun r = run({"--code=ascii", in, out});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "コード変換が終了しました\n");
}

TEST_F(CliJ2s, ReplacedCharactersLeaveTheDatedErrorLog) {
    testutil::writeFile(in, bytes({0xC1, 0x00}));
    const CliRun r = run({"--code", "kana", in, out});
    EXPECT_EQ(r.status, 1);
    ASSERT_EQ(errorLogs().size(), 1u);
    const std::string errorLog = errorLogs()[0];
    const std::string name = std::filesystem::path(errorLog).filename().string();
    EXPECT_EQ(name.size(), std::string("VOK_LOG_yyyymmdd_hhnnss.txt").size());
    EXPECT_EQ(testutil::readText(errorLog), testutil::logLines("EBCDIC->JIS 変換エラー(EBCDIC=0x00/2バイト目)\n"));
    EXPECT_EQ(r.err, std::string("一部のコードで変換エラーが発生しました\n\n\n") + name + "に変換エラーのログを出力しました。\n");
    EXPECT_TRUE(tmpIsEmpty());
}

TEST_F(CliJ2s, NamedErrorLog) {
    const std::string errorLog = io.file("エラー.txt");
    testutil::writeFile(in, bytes({0x28, 0x20, 0x20}));
    const CliRun r = run({"--code", "kana", "--error-log", errorLog, in, out});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(testutil::readText(errorLog), testutil::logLines("JEF->シフトJIS 変換エラー(JEF=0x2020/2バイト目)\n"));
    EXPECT_TRUE(errorLogs().empty());
}

struct TrimCase {
    const char* name;
    std::vector<std::string> options;
    std::string expected;
};

TEST_F(CliJ2s, TrimWordsAsTheCheckBoxes) {
    testutil::writeFile(ptn, std::string("XXX,,XXX\n"));
    testutil::writeFile(in, bytes({0xC1, 0x40, 0x40, 0x40, 0x40, 0xC2}));
    const TrimCase cases[] = {
        {"none", {"--pattern", ptn}, "A  ,,  B"},
        {"trim", {"--pattern", ptn, "--trim", "trim"}, "A,B"},
        {"ltrim and rtrim", {"--pattern", ptn, "--trim", "ltrim,rtrim"}, "A,B"},
        {"rtrim", {"--pattern", ptn, "--trim=rtrim"}, "A,  B"},
        // Single-byte items are left alone, but the empty item still goes.
        {"trim kanji", {"--pattern", ptn, "--trim", "trim,kanji"}, "A  ,  B"},
        // A lone kanji box asks for nothing.
        {"kanji alone", {"--pattern", ptn, "--trim", "kanji"}, "A  ,,  B"},
    };
    for (const TrimCase& c : cases) {
        std::vector<std::string> args{"--code", "kana"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.insert(args.end(), {in, out});
        const CliRun r = run(args);
        EXPECT_EQ(r.status, 0) << c.name << "\n" << r.err;
        EXPECT_EQ(testutil::readText(out), c.expected) << c.name;
    }
}

TEST_F(CliJ2s, TrimWithoutPatternIsIgnored) {
    testutil::writeFile(in, bytes({0xC1, 0x40, 0x40}));
    EXPECT_EQ(run({"--code", "kana", "--trim", "trim", in, out}).status, 0);
    EXPECT_EQ(testutil::readText(out), "A  ");
}

TEST_F(CliJ2s, KeepShiftTakesShiftCodesAsData) {
    testutil::writeFile(ptn, std::string("XX\n"));
    testutil::writeFile(in, bytes({0x28, 0xC1, 0xC2}));
    EXPECT_EQ(run({"--code", "kana", "--pattern", ptn, in, out}).status, 0);
    EXPECT_EQ(testutil::readText(out), "AB");
    EXPECT_EQ(run({"--code", "kana", "--pattern", ptn, "--keep-shift", in, out}).status, 1);
    EXPECT_EQ(testutil::readText(out), " ABX");
}

TEST_F(CliJ2s, PatternFailureShowsTheLog) {
    testutil::writeFile(ptn, std::string("XX?X\n"));
    testutil::writeFile(in, bytes({0xC1}));
    const CliRun r = run({"--code", "kana", "--pattern", ptn, in, out});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "レコードパターンの記述に誤りがあります\nレコードパターンに認識できない文字が使われています(桁位置=3)\n");
    // The conversion-error log of a run that never converted stays, empty.
    ASSERT_EQ(errorLogs().size(), 1u);
    EXPECT_EQ(testutil::readText(errorLogs()[0]), "");
}

TEST_F(CliJ2s, MissingInput) {
    const CliRun r = run({"--code", "kana", in, out});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, std::string("JEFファイルがオープン出来ません\n[") + in + "]が見つかりません\n");
    EXPECT_FALSE(testutil::exists(out));
    EXPECT_TRUE(tmpIsEmpty());
}

TEST_F(CliJ2s, EmptyInputCreatesNoOutput) {
    testutil::writeFile(in, Bytes{});
    const CliRun r = run({"--code", "kana", in, out});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, std::string("JEFファイルにデータがありません\n[") + in + "]のファイルサイズが 0 です\n");
    EXPECT_FALSE(testutil::exists(out));
    EXPECT_TRUE(errorLogs().empty());
}

TEST_F(CliJ2s, HelpListsEveryOptionWithAnExample) {
    const CliRun r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    std::vector<std::string> examples;
    for (std::size_t at = r.out.find("例: "); at != std::string::npos; at = r.out.find("例: ", at + 1))
        examples.push_back(r.out.substr(at, r.out.find('\n', at) - at));
    for (const char* option : {"--code kana", "--code lower", "--code ascii", "--record-length", "--keep-shift",
                               "--trim", "--pattern", "--log", "--error-log"}) {
        bool shown = false;
        for (const std::string& example : examples) shown |= example.find(option) != std::string::npos;
        EXPECT_TRUE(shown) << option;
    }
}

struct UsageCase {
    const char* name;
    std::vector<std::string> args;
    const char* message;
};

TEST_F(CliJ2s, UsageErrorsExitTwo) {
    const UsageCase cases[] = {
        {"no code", {"a", "b"}, "--code を指定してください"},
        {"bad code", {"--code", "kana-upper", "a", "b"}, "--code の値が正しくありません"},
        {"record length 0", {"--code", "kana", "--record-length", "0", "a", "b"}, "--record-length は 1～32760"},
        {"record length too long", {"--code", "kana", "--record-length", "32761", "a", "b"}, "--record-length は 1～32760"},
        {"record length not a number", {"--code", "kana", "--record-length", "8O", "a", "b"}, "--record-length は 1～32760"},
        {"bad trim", {"--code", "kana", "--trim", "both", "a", "b"}, "--trim の値が正しくありません"},
        {"trailing comma", {"--code", "kana", "--trim", "trim,", "a", "b"}, "--trim の値が正しくありません"},
        {"empty pattern", {"--code", "kana", "--pattern=", "a", "b"}, "--pattern の値がありません"},
        {"empty error log", {"--code", "kana", "--error-log=", "a", "b"}, "--error-log の値がありません"},
        {"one operand", {"--code", "kana", "a"}, "入力ファイルと出力ファイルを指定してください"},
        {"value for switch", {"--code", "kana", "--keep-shift=1", "a", "b"}, "--keep-shift に値は指定できません"},
    };
    for (const UsageCase& c : cases) {
        const CliRun r = run(c.args);
        EXPECT_EQ(r.status, 2) << c.name;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.name << ": " << r.err;
        EXPECT_EQ(r.out, "") << c.name;
    }
    EXPECT_TRUE(tmpIsEmpty());
    EXPECT_TRUE(errorLogs().empty());
}

}  // namespace
