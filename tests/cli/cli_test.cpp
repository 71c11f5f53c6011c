// vokcli as a user runs it: a process in its own working folder on real
// files, what it prints, its exit status, and what it leaves behind. What the
// conversions do is the library's tests' business; here the option words
// must reach it and its codes must come back as the desktop program words them.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <tuple>

#include "testutil.h"

namespace {

using testutil::CliRun;
using testutil::readText;
namespace fs = std::filesystem;

std::string hex(const char* digits) {
    const testutil::Bytes b = testutil::hex(digits);
    return std::string(b.begin(), b.end());
}

const std::string kCopybook = "01 R.\n05 A PIC 9(2).\n05 B PIC N.\n";

class Cli : public testing::Test {
protected:
    testutil::TempDir work;  // the working folder, where dated error logs land
    testutil::TempDir tmp;   // the program's temporary folder, watched for leftover logs
    testutil::TempDir io;
    std::string in = io.file("入力 データ.txt"), out = io.file("出力.bin"), ptn = io.file("layout.ptn");

    // IN, OUT, PTN in args stand for the paths above.
    CliRun run(std::vector<std::string> args, const std::string& tmpDir = "") {
        for (std::string& a : args) a = testutil::replaceAll(a, {{"IN", in}, {"OUT", out}, {"PTN", ptn}});
        return testutil::runCli(args, tmpDir.empty() ? tmp.path().string() : tmpDir, work.path().string());
    }
    std::vector<std::string> errorLogs() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(work.path()))
            if (entry.path().filename().string().starts_with("VOK_LOG_")) names.push_back(entry.path().string());
        return names;
    }
};

TEST_F(Cli, UsageErrorsExitTwoAndTouchNothing) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"s2j"}, "--code を指定してください"}, {{"s2j", "a", "b"}, "--code を指定してください"},
        {{"s2j", "--code", "ebcdic", "a", "b"}, "--code の値が正しくありません"}, {{"s2j", "a", "b", "--code"}, "--code の値がありません"},
        {{"s2j", "--code", "kana", "a"}, "入力ファイルと出力ファイルを指定してください"},
        {{"s2j", "--code", "kana", "a", "b", "c"}, "入力ファイルと出力ファイルを指定してください"},
        {{"s2j", "--code", "kana", "--record", "a", "b"}, "不明なオプションです: --record"},
        {{"s2j", "--code", "kana", "--shift=1", "a", "b"}, "--shift に値は指定できません"},
        {{"s2j", "--code", "kana", "--log=", "a", "b"}, "--log の値がありません"},
        {{"s2j", "--code", "kana", "--encoding", "euc", "a", "b"}, "--encoding の値が正しくありません"},
        {{"j2s", "--code", "kana-upper", "a", "b"}, "--code の値が正しくありません"},
        {{"j2s", "--code", "kana", "--record-length", "0", "a", "b"}, "--record-length は 1～32760"},
        {{"j2s", "--code", "kana", "--record-length", "32761", "a", "b"}, "--record-length は 1～32760"},
        {{"j2s", "--code", "kana", "--record-length", "8O", "a", "b"}, "--record-length は 1～32760"},
        {{"j2s", "--code", "kana", "--trim", "both", "a", "b"}, "--trim の値が正しくありません"},
        {{"j2s", "--code", "kana", "--trim", "trim,", "a", "b"}, "--trim の値が正しくありません"},
        {{"mkpatn", "--separator", "tab", "a", "b"}, "--separator の値が正しくありません"},
        {{"mkpatn", "a"}, "コピー句ファイルとパターンファイルを指定してください"},
        {{"mkpatn", "--log", "", "a", "b"}, "--log の値がありません"},
        {{"frob"}, "不明なコマンドです: frob"}, {{}, "使い方: vokcli <s2j|j2s|mkpatn>"}};
    EXPECT_EQ(run({"--help"}).out.rfind("使い方: vokcli <s2j|j2s|mkpatn>", 0), 0u);
    EXPECT_EQ(run({"-h"}).status, 0);
    for (const std::string command : {"s2j", "j2s", "mkpatn"}) {
        const CliRun r = run({command, "--help"});
        EXPECT_TRUE(r.status == 0 && r.out.starts_with("使い方: vokcli " + command)) << command << ": " << r.out;
    }
    for (const auto& [args, message] : cases) {
        const CliRun r = run(args);
        EXPECT_EQ(r.status, 2) << message;
        EXPECT_NE(r.err.find(message), std::string::npos) << message << ": " << r.err;
        EXPECT_NE(r.err.find("--help"), std::string::npos) << message;
        EXPECT_EQ(r.out, "") << message;
    }
    EXPECT_TRUE(fs::is_empty(tmp.path()) && fs::is_empty(work.path()));
}

// Each option word becomes the number the library takes.
TEST_F(Cli, OptionWordsReachTheLibrary) {
    const std::string cut = hex("C1404040 40C2"), layout = "XXX,,XXX\n";
    const struct { std::vector<std::string> args; std::string input, pattern, output; int status; } cases[] = {
        {{"s2j", "--code", "kana", "IN", "OUT"}, hex("61B1"), "", hex("4081"), 1},
        {{"s2j", "IN", "OUT", "--quiet", "--code", "kana"}, hex("61B1"), "", hex("4081"), 1},  // options after the files
        {{"s2j", "--code", "kana-upper", "IN", "OUT"}, hex("61B1"), "", hex("C181"), 0},
        {{"s2j", "--code", "lower", "IN", "OUT"}, hex("61B121"), "", hex("81405A"), 1},
        {{"s2j", "--code=ascii", "IN", "OUT"}, hex("5D"), "", hex("5A"), 0},
        {{"s2j", "--code", "none", "IN", "OUT"}, hex("61B1"), "", hex("61B1"), 0},
        {{"s2j", "--code", "kana", "--shift", "IN", "OUT"}, hex("889F"), "", hex("28B0A129"), 0},
        {{"j2s", "--code", "kana", "IN", "OUT"}, hex("815A"), "", hex("B121"), 0},
        {{"j2s", "--code", "lower", "IN", "OUT"}, hex("815A"), "", hex("6121"), 0},
        {{"j2s", "--code", "ascii", "--record-length", "1", "IN", "OUT"}, hex("815A"), "", hex("610D0A5D0D0A"), 0},
        {{"j2s", "--code", "ascii", "--record-length", "32760", "IN", "OUT"}, hex("815A"), "", hex("615D0D0A"), 0},
        {{"j2s", "--code", "kana", "--pattern", "PTN", "IN", "OUT"}, cut, layout, hex("4120202C2C202042"), 0},
        {{"j2s", "--code", "kana", "--pattern", "PTN", "--trim", "trim", "IN", "OUT"}, cut, layout, hex("412C42"), 0},
        {{"j2s", "--code", "kana", "--pattern", "PTN", "--trim", "ltrim,rtrim", "IN", "OUT"}, cut, layout, hex("412C42"), 0},
        {{"j2s", "--code", "kana", "--pattern", "PTN", "--trim=rtrim", "IN", "OUT"}, cut, layout, hex("412C202042"), 0},
        {{"j2s", "--code", "kana", "--pattern", "PTN", "--trim", "trim,kanji", "IN", "OUT"}, cut, layout, hex("4120202C202042"), 0},
        {{"j2s", "--code", "kana", "--trim", "trim", "IN", "OUT"}, hex("C14040"), "", hex("412020"), 0},  // no pattern: no trimming
        {{"j2s", "--code", "kana", "--pattern", "PTN", "IN", "OUT"}, hex("28C1C2"), "XX\n", hex("4142"), 0},
        {{"j2s", "--code", "kana", "--pattern", "PTN", "--keep-shift", "IN", "OUT"}, hex("28C1C2"), "XX\n", hex("20414258"), 1},
        {{"mkpatn", "IN", "OUT"}, kCopybook, "", "99NN\r\n", 0},
        {{"mkpatn", "--separator", "comma", "IN", "OUT"}, kCopybook, "", "99,NN\r\n", 0},
        {{"mkpatn", "--separator=space", "--quote", "--", "IN", "OUT"}, kCopybook, "", "99 \"NN\"\r\n", 0}};
    for (const auto& c : cases) {
        testutil::writeFile(in, c.input);
        testutil::writeFile(ptn, c.pattern);
        const CliRun r = run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args[1] << " " << c.args[2] << "\n" << r.err;
        EXPECT_EQ(readText(out), c.output) << c.args[1] << " " << c.args[2] << " " << c.args[3];
        fs::remove(out);
        for (const std::string& log : errorLogs()) fs::remove(log);
    }
    EXPECT_TRUE(fs::is_empty(tmp.path()));
}

// Status text and exit status as the desktop program words them; the log on
// standard error in UTF-8 after a failure or replaced characters, its paths
// as given; the temporary log always removed, a named one kept.
TEST_F(Cli, ReportsLikeTheDesktopProgram) {
    const std::string missing = io.file("ない.cpy"), log = io.file("変換.log");
    const std::string unsupported = "[未サポート]COMP(BINARY)は現在サポートしていません\n->05 A PIC S9(4) COMP.\n";
    const struct { std::vector<std::string> args; std::string input; int status; std::string out, err; } cases[] = {
        {{"s2j", "--code", "kana", "IN", "OUT"}, hex("410D0A889F0D0A"), 0, "コード変換が終了しました(レコード=2件)\n", ""},
        {{"s2j", "--code", "kana", "IN", "OUT"}, hex("410A877E"), 1, "",
         "一部のコードで変換エラーが発生しました\nシフトJIS->JEF 変換エラー(SJIS=0x877e,行=2,桁=1)\n"},
        {{"s2j", "--code", "kana", missing, "OUT"}, "", 2, "", "シフトJISファイルがオープン出来ません\n[" + missing + "]が見つかりません\n"},
        {{"s2j", "--code", "kana", "--log", log, "IN", "OUT"}, hex("09"), 1, "",
         "一部のコードで変換エラーが発生しました\nJIS->EBCDIC 変換エラー(JIS=0x09,行=1,桁=1)\n"},
        {{"s2j", "--code", "kana", "--log", io.file("無い/変換.log"), "IN", "OUT"}, hex("41"), 2, "", "作業用ファイルがオープン出来ません\n"},
        {{"mkpatn", "IN", "PTN"}, kCopybook, 0, "パターンファイルの作成が終了しました(レコードサイズ=4)\n", ""},
        {{"mkpatn", "--separator", "none", "--log", log, "IN", "PTN"}, "01 R.\n05 A PIC S9(4) COMP.\n", 1, "",
         "パターンファイルの作成が終了しました(ただし未サポート項目が含まれています)\n" + unsupported},
        {{"mkpatn", "IN", "PTN"}, "01 R.\n", 2, "", "プログラムエラーが発生しました(0)\n"},  // as the desktop program shows it
        {{"mkpatn", missing, "PTN"}, "", 2, "", "コピー句ファイルがオープン出来ません\n[" + missing + "]が見つかりません\n"}};
    for (const auto& c : cases) {
        testutil::writeFile(in, c.input);
        const CliRun r = run(c.args);
        EXPECT_EQ(r.out + "|" + r.err + std::to_string(r.status), c.out + "|" + c.err + std::to_string(c.status)) << c.args[0];
        EXPECT_TRUE(fs::is_empty(tmp.path()));
    }
    EXPECT_TRUE(errorLogs().empty()) << "no error log without replaced characters";
    EXPECT_EQ(readText(log), testutil::logLines(unsupported));  // a named log is kept
    const CliRun r = run({"mkpatn", "IN", "OUT"}, io.file("no-such-folder"));
    EXPECT_EQ(r.err + std::to_string(r.status), "一時ファイルが作成できませんでした\n2");
}

TEST_F(Cli, ConversionErrorLogOfJ2s) {
    testutil::writeFile(in, hex("C100"));
    CliRun r = run({"j2s", "--code", "kana", "IN", "OUT"});
    ASSERT_EQ(errorLogs().size(), 1u);
    const std::string name = fs::path(errorLogs()[0]).filename().string();
    EXPECT_EQ(name.size(), std::string("VOK_LOG_yyyymmdd_hhnnss.txt").size());
    const std::string logged = testutil::logLines("EBCDIC->JIS 変換エラー(EBCDIC=0x00/2バイト目)\n");
    EXPECT_EQ(readText(errorLogs()[0]), logged);
    EXPECT_EQ(r.err, "一部のコードで変換エラーが発生しました\n\n\n" + name + "に変換エラーのログを出力しました。\n");
    const std::string named = io.file("エラー.txt");
    EXPECT_EQ(run({"j2s", "--code", "kana", "--error-log", named, "IN", "OUT"}).status, 1);
    EXPECT_EQ(readText(named), logged);
    EXPECT_EQ(errorLogs().size(), 1u);
    EXPECT_TRUE(fs::is_empty(tmp.path()));
}

// UTF-8 on the PC side, pipes through "-", the progress line on a terminal,
// Ctrl-C, and what cannot be printed is a failure.
TEST_F(Cli, Utf8PipesProgressAndStopping) {
    const std::string cli = VOK_CLI_PATH;
    auto shell = [&](const std::string& command) {
        const int raw = std::system(("cd '" + io.path().string() + "' && " + command + " 2>err").c_str());
        return std::pair{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readText(io.file("err"))};
    };
    testutil::writeFile(in, std::string("\xEF\xBB\xBF" "A漢\n"));
    auto [status, err] = shell("cat '" + in + "' | " + cli + " s2j --encoding utf-8 --code kana --shift - - > host.bin");
    EXPECT_EQ(err + std::to_string(status), "コード変換が終了しました(レコード=1件)\n0") << "the status goes to standard error";
    EXPECT_EQ(readText(io.file("host.bin")), hex("C128B4C129"));
    std::tie(status, err) = shell(cli + " j2s --encoding utf-8 --bom --line-end lf --record-length 3 --code kana - - < host.bin > back.txt");
    EXPECT_EQ(status, 0) << err;
    EXPECT_EQ(readText(io.file("back.txt")), "\xEF\xBB\xBF" "A\n漢\n");
    std::tie(status, err) = shell(": | " + cli + " j2s --code kana - out.txt");
    EXPECT_EQ(err + std::to_string(status), "JEFファイルにデータがありません\n[-]のファイルサイズが 0 です\n2");
    EXPECT_EQ(shell(cli + " s2j --code kana '" + in + "' out.bin >/dev/full").first, 2);
    EXPECT_EQ(shell(cli + " s2j --help >/dev/full").first, 2);
    if (std::system("command -v script >/dev/null") == 0) {
        shell("script -qec \"" + cli + " s2j --code kana '" + in + "' out.bin\" /dev/null > tty.txt");
        EXPECT_NE(readText(io.file("tty.txt")).find("100%"), std::string::npos) << "a progress line on a terminal";
        shell("script -qec \"" + cli + " s2j --quiet --code kana '" + in + "' out.bin\" /dev/null > tty.txt");
        EXPECT_EQ(readText(io.file("tty.txt")).find("%"), std::string::npos) << "none with --quiet";
    }
    // Ctrl-C while it waits on a pipe that never ends: stopped, output gone.
    EXPECT_EQ(shell("{ (printf AAAA; sleep 1) 2>/dev/null | " + cli + " s2j --code kana - stopped.bin & sleep 0.3; "
                    "kill -INT $!; wait $!; }").first, 130);
    EXPECT_FALSE(testutil::exists(io.file("stopped.bin")));
}

// Every path a command writes against every file it reads, by its name and through a link (the
// library tests the other spellings): refused before it is called, the files read left as they were.
TEST_F(Cli, WrittenPathsNamingAFileReadAreRefused) {
    const std::string cpy = io.file("c.cpy");
    const std::vector<std::string> s2j{"s2j", "--code", "kana"}, j2s{"j2s", "--code", "kana", "--pattern", "PTN"}, mk{"mkpatn"};
    // operands: "@" is where the other name of the target goes.
    const struct { std::vector<std::string> command; std::string target; std::vector<std::string> operands; } cases[] = {
        {s2j, in, {"IN", "@"}}, {s2j, in, {"--log", "@", "IN", "OUT"}}, {j2s, in, {"IN", "@"}}, {j2s, ptn, {"IN", "@"}},
        {j2s, in, {"--log", "@", "IN", "OUT"}}, {j2s, ptn, {"--log", "@", "IN", "OUT"}},
        {j2s, in, {"--error-log", "@", "IN", "OUT"}}, {j2s, ptn, {"--error-log", "@", "IN", "OUT"}},
        {mk, cpy, {cpy, "@"}}, {mk, cpy, {"--log", "@", cpy, "OUT"}}};
    for (const auto& c : cases) {
        for (const std::string spelling : {"same", "symlink"}) {
            testutil::writeFile(in, hex("C1C2"));
            testutil::writeFile(ptn, std::string("XX\n"));
            testutil::writeFile(cpy, std::string(" 01 A PIC X(2).\n"));
            const fs::path target(c.target), other = io.path() / "other";
            std::string name = c.target;
            if (spelling == "symlink") fs::create_symlink(target, other), name = other.string();
            std::vector<std::string> args = c.command;
            for (const std::string& operand : c.operands) args.push_back(operand == "@" ? name : operand);
            const CliRun r = run(args);
            EXPECT_EQ(r.err + std::to_string(r.status), "vokcli " + c.command[0] + ": 入力側と出力側のパス名が同じです\n2") << args.back();
            EXPECT_EQ(readText(in) + readText(ptn) + readText(cpy), "\xC1\xC2XX\n 01 A PIC X(2).\n") << c.target << " " << spelling;
            fs::remove(other);
        }
    }
    const CliRun logOnOutput = run({"s2j", "--code", "kana", "--log", "OUT", "IN", "OUT"});
    EXPECT_EQ(logOnOutput.err, "vokcli s2j: 入力側と出力側のパス名が同じです\n") << "two written paths alike";
    EXPECT_TRUE(fs::is_empty(tmp.path()));
    testutil::writeFile((work.path() / "-in.txt").string(), hex("41"));  // in the program's working folder
    EXPECT_EQ(run({"s2j", "--code", "kana", "--", "-in.txt", "OUT"}).status, 0) << "-- ends the options";
}

}  // namespace
