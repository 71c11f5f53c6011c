// vokcli s2j and j2s as a user runs them: a process in its own working
// folder on real files, what it prints, its exit status, and what it leaves
// behind. What the conversions do is the library's tests' business; here the
// option words must reach it and its codes must come back as the desktop
// program words them.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <cstdlib>
#include <filesystem>
#include <thread>
#include <tuple>

#include "testutil.h"

namespace {

using testutil::Bytes;
using testutil::CliRun;
using testutil::hex;
using testutil::TempDir;

class Cli : public testing::Test {
protected:
    TempDir work;  // the working folder, where dated error logs land
    TempDir tmp;   // the program's temporary folder, watched for leftover logs
    TempDir io;
    std::string in = io.file("入力 データ.txt"), out = io.file("出力.bin"), ptn = io.file("layout.ptn");

    // IN, OUT, PTN in args stand for the paths above.
    CliRun run(std::vector<std::string> args, const std::string& tmpDir = "") {
        for (std::string& a : args) a = testutil::replaceAll(a, {{"IN", in}, {"OUT", out}, {"PTN", ptn}});
        return testutil::runCli(args, tmpDir.empty() ? tmp.path().string() : tmpDir, work.path().string());
    }
    std::vector<std::string> errorLogs() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(work.path()))
            if (entry.path().filename().string().rfind("VOK_LOG_", 0) == 0) names.push_back(entry.path().string());
        return names;
    }
    bool tmpIsEmpty() const { return std::filesystem::is_empty(tmp.path()); }
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
        {{"j2s", "--code", "kana-upper", "a", "b"}, "--code の値が正しくありません"},
        {{"j2s", "--code", "kana", "--record-length", "0", "a", "b"}, "--record-length は 1～32760"},
        {{"j2s", "--code", "kana", "--record-length", "32761", "a", "b"}, "--record-length は 1～32760"},
        {{"j2s", "--code", "kana", "--record-length", "8O", "a", "b"}, "--record-length は 1～32760"},
        {{"j2s", "--code", "kana", "--trim", "both", "a", "b"}, "--trim の値が正しくありません"},
        {{"j2s", "--code", "kana", "--trim", "trim,", "a", "b"}, "--trim の値が正しくありません"},
        {{"j2s", "--code", "kana", "--error-log=", "a", "b"}, "--error-log の値がありません"},
        {{"frob"}, "不明なコマンドです: frob"}, {{}, "使い方: vokcli <s2j|j2s|mkpatn>"}};
    EXPECT_EQ(run({"--help"}).out.rfind("使い方: vokcli <s2j|j2s|mkpatn>", 0), 0u);
    EXPECT_EQ(run({"-h"}).status, 0);
    for (const auto& [args, message] : cases) {
        const CliRun r = run(args);
        EXPECT_EQ(r.status, 2) << message;
        EXPECT_NE(r.err.find(message), std::string::npos) << message << ": " << r.err;
        EXPECT_EQ(r.out, "") << message;
    }
    EXPECT_TRUE(tmpIsEmpty());
    EXPECT_TRUE(errorLogs().empty());
}

// Each option word becomes the number the library takes.
TEST_F(Cli, OptionWordsReachTheLibrary) {
    const struct {
        std::vector<std::string> args;
        const char* input;    // hex
        const char* pattern;  // written to PTN
        const char* output;   // hex
        int status;
    } cases[] = {
        {{"s2j", "--code", "kana", "IN", "OUT"}, "61B1", "", "4081", 1},
        {{"s2j", "--code", "kana-upper", "IN", "OUT"}, "61B1", "", "C181", 0},
        {{"s2j", "--code", "lower", "IN", "OUT"}, "61B121", "", "81405A", 1},
        {{"s2j", "--code=ascii", "IN", "OUT"}, "5D", "", "5A", 0},
        {{"s2j", "--code", "none", "IN", "OUT"}, "61B1", "", "61B1", 0},
        {{"s2j", "--code", "kana", "--shift", "IN", "OUT"}, "889F", "", "28B0A129", 0},
        {{"j2s", "--code", "kana", "IN", "OUT"}, "815A", "", "B121", 0},
        {{"j2s", "--code", "lower", "IN", "OUT"}, "815A", "", "6121", 0},
        {{"j2s", "--code", "ascii", "--record-length", "1", "IN", "OUT"}, "815A", "", "610D0A5D0D0A", 0},
        {{"j2s", "--code", "ascii", "--record-length", "32760", "IN", "OUT"}, "815A", "", "615D0D0A", 0},
        {{"j2s", "--code", "kana", "--pattern", "PTN", "IN", "OUT"}, "C1404040 40C2", "XXX,,XXX\n", "4120202C2C202042", 0},
        {{"j2s", "--code", "kana", "--pattern", "PTN", "--trim", "trim", "IN", "OUT"}, "C1404040 40C2", "XXX,,XXX\n", "412C42", 0},
        {{"j2s", "--code", "kana", "--pattern", "PTN", "--trim", "ltrim,rtrim", "IN", "OUT"}, "C1404040 40C2", "XXX,,XXX\n", "412C42", 0},
        {{"j2s", "--code", "kana", "--pattern", "PTN", "--trim=rtrim", "IN", "OUT"}, "C1404040 40C2", "XXX,,XXX\n", "412C202042", 0},
        {{"j2s", "--code", "kana", "--pattern", "PTN", "--trim", "trim,kanji", "IN", "OUT"}, "C1404040 40C2", "XXX,,XXX\n", "4120202C202042", 0},
        {{"j2s", "--code", "kana", "--pattern", "PTN", "--trim", "kanji", "IN", "OUT"}, "C1404040 40C2", "XXX,,XXX\n", "4120202C2C202042", 0},
        {{"j2s", "--code", "kana", "--trim", "trim", "IN", "OUT"}, "C14040", "", "412020", 0},  // no pattern: no trimming
        {{"j2s", "--code", "kana", "--pattern", "PTN", "IN", "OUT"}, "28C1C2", "XX\n", "4142", 0},
        {{"j2s", "--code", "kana", "--pattern", "PTN", "--keep-shift", "IN", "OUT"}, "28C1C2", "XX\n", "20414258", 1}};
    for (const auto& c : cases) {
        testutil::writeFile(in, hex(c.input));
        testutil::writeFile(ptn, std::string(c.pattern));
        const CliRun r = run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args[2] << " " << c.args[3] << "\n" << r.err;
        EXPECT_EQ(testutil::readFile(out), hex(c.output)) << c.args[2] << " " << c.args[3];
        std::filesystem::remove(out);
        for (const std::string& log : errorLogs()) std::filesystem::remove(log);
    }
    EXPECT_TRUE(tmpIsEmpty());
}

// Status text and exit status as the desktop program words them; the log on
// standard error in UTF-8 after a failure or replaced characters; the
// temporary log always removed, a named one kept.
TEST_F(Cli, ReportsLikeTheDesktopProgram) {
    testutil::writeFile(in, hex("410D0A889F0D0A"));
    CliRun r = run({"s2j", "--code", "kana", "IN", "OUT"});
    EXPECT_EQ(r.out, "コード変換が終了しました(レコード=2件)\n");
    EXPECT_EQ(r.err + std::to_string(r.status), "0");
    testutil::writeFile(in, hex("410A877E"));
    r = run({"s2j", "--code", "kana", "IN", "OUT"});
    EXPECT_EQ(r.err + std::to_string(r.status), "一部のコードで変換エラーが発生しました\nシフトJIS->JEF 変換エラー(SJIS=0x877e,行=2,桁=1)\n1");
    std::filesystem::remove(in);
    r = run({"s2j", "--code", "kana", "IN", "OUT"});
    EXPECT_EQ(r.err + std::to_string(r.status), "シフトJISファイルがオープン出来ません\n[" + in + "]が見つかりません\n2");
    testutil::writeFile(in, hex("C1"));
    r = run({"j2s", "--code", "kana", "IN", "OUT"});
    EXPECT_EQ(r.out + std::to_string(r.status), "コード変換が終了しました\n0");
    EXPECT_TRUE(tmpIsEmpty());
    EXPECT_TRUE(errorLogs().empty()) << "no error log without replaced characters";

    const std::string log = io.file("変換.log");
    testutil::writeFile(in, hex("09"));
    EXPECT_EQ(run({"s2j", "--code", "kana", "--log", log, "IN", "OUT"}).status, 1);
    EXPECT_EQ(testutil::readText(log), testutil::logLines("JIS->EBCDIC 変換エラー(JIS=0x09,行=1,桁=1)\n"));
    r = run({"s2j", "--code", "kana", "--log", io.file("無い/変換.log"), "IN", "OUT"});
    EXPECT_EQ(r.err + std::to_string(r.status), "作業用ファイルがオープン出来ません\n2");
    testutil::writeFile(in, std::string(" 01 A PIC X.\n"));
    r = run({"mkpatn", "IN", "OUT"}, io.file("no-such-folder"));
    EXPECT_EQ(r.err + std::to_string(r.status), "一時ファイルが作成できませんでした\n2");
}

// UTF-8 on the PC side, pipes through "-", the progress line on a terminal
// and Ctrl-C.
TEST_F(Cli, Utf8PipesProgressAndStopping) {
    const std::string cli = VOK_CLI_PATH;
    auto shell = [&](const std::string& command) {
        const std::string full = "cd '" + io.path().string() + "' && " + command + " 2>err";
        const int raw = std::system(full.c_str());
        return std::pair{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, testutil::readText(io.file("err"))};
    };
    testutil::writeFile(in, std::string("\xEF\xBB\xBF" "A漢\n"));
    auto [status, err] = shell("cat '" + in + "' | " + cli + " s2j --encoding utf-8 --code kana --shift - - > host.bin");
    EXPECT_EQ(err + std::to_string(status), "コード変換が終了しました(レコード=1件)\n0") << "the status goes to standard error";
    EXPECT_EQ(testutil::readFile(io.file("host.bin")), hex("C128B4C129"));
    std::tie(status, err) = shell(cli + " j2s --encoding utf-8 --bom --line-end lf --record-length 3 --code kana - - < host.bin > back.txt");
    EXPECT_EQ(status, 0) << err;
    EXPECT_EQ(testutil::readText(io.file("back.txt")), "\xEF\xBB\xBF" "A\n漢\n");
    std::tie(status, err) = shell(": | " + cli + " j2s --code kana - out.txt");
    EXPECT_EQ(err + std::to_string(status), "JEFファイルにデータがありません\n[-]のファイルサイズが 0 です\n2");
    std::tie(status, err) = shell(cli + " s2j --code kana --encoding euc IN OUT");
    EXPECT_NE(err.find("--encoding の値が正しくありません"), std::string::npos);
    if (std::system("command -v script >/dev/null") == 0) {
        std::tie(status, err) = shell("script -qec \"" + cli + " s2j --code kana '" + in + "' out.bin\" /dev/null > tty.txt");
        EXPECT_NE(testutil::readText(io.file("tty.txt")).find("100%"), std::string::npos) << "a progress line on a terminal";
        std::tie(status, err) = shell("script -qec \"" + cli + " s2j --quiet --code kana '" + in + "' out.bin\" /dev/null > tty.txt");
        EXPECT_EQ(testutil::readText(io.file("tty.txt")).find("%"), std::string::npos) << "none with --quiet";
    }
    // Ctrl-C while it waits on a pipe that never ends: stopped, output gone.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[0], 0);
        dup2(open("/dev/null", O_WRONLY), 2);
        close(fds[1]);
        execl(cli.c_str(), cli.c_str(), "s2j", "--code", "kana", "-", out.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[0]);
    ASSERT_EQ(write(fds[1], "AAAA", 4), 4);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(pid, SIGINT);
    int raw = 0;
    waitpid(pid, &raw, 0);
    close(fds[1]);
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 130) << raw;
    EXPECT_FALSE(testutil::exists(out));
}

TEST_F(Cli, ConversionErrorLogOfJ2s) {
    testutil::writeFile(in, hex("C100"));
    CliRun r = run({"j2s", "--code", "kana", "IN", "OUT"});
    ASSERT_EQ(errorLogs().size(), 1u);
    const std::string name = std::filesystem::path(errorLogs()[0]).filename().string();
    EXPECT_EQ(name.size(), std::string("VOK_LOG_yyyymmdd_hhnnss.txt").size());
    EXPECT_EQ(testutil::readText(errorLogs()[0]), testutil::logLines("EBCDIC->JIS 変換エラー(EBCDIC=0x00/2バイト目)\n"));
    EXPECT_EQ(r.err, "一部のコードで変換エラーが発生しました\n\n\n" + name + "に変換エラーのログを出力しました。\n");
    const std::string named = io.file("エラー.txt");
    r = run({"j2s", "--code", "kana", "--error-log", named, "IN", "OUT"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(testutil::readText(named), testutil::logLines("EBCDIC->JIS 変換エラー(EBCDIC=0x00/2バイト目)\n"));
    EXPECT_EQ(errorLogs().size(), 1u);
    testutil::writeFile(ptn, std::string("XX?X\n"));
    r = run({"j2s", "--code", "kana", "--pattern", "PTN", "IN", "OUT"});
    EXPECT_EQ(r.err + std::to_string(r.status),
              "レコードパターンの記述に誤りがあります\nレコードパターンに認識できない文字が使われています(桁位置=3)\n2");
    EXPECT_TRUE(tmpIsEmpty());
}

// Every path a command writes against every file it reads, spelt four ways:
// refused before the library is called, the files read left as they were.
TEST_F(Cli, WrittenPathsNamingAFileReadAreRefused) {
    const std::string cpy = io.file("c.cpy");
    const std::vector<std::string> s2j{"s2j", "--code", "kana"}, j2s{"j2s", "--code", "kana", "--pattern", "PTN"};
    const std::vector<std::string> mk{"mkpatn"};
    const struct {
        std::vector<std::string> command;
        std::string target;
        std::vector<std::string> operands;  // "@" is where the other name of the target goes
    } cases[] = {{s2j, in, {"IN", "@"}}, {s2j, in, {"--log", "@", "IN", "OUT"}}, {j2s, in, {"IN", "@"}}, {j2s, ptn, {"IN", "@"}},
                 {j2s, in, {"--log", "@", "IN", "OUT"}}, {j2s, ptn, {"--log", "@", "IN", "OUT"}},
                 {j2s, in, {"--error-log", "@", "IN", "OUT"}}, {j2s, ptn, {"--error-log", "@", "IN", "OUT"}},
                 {mk, cpy, {cpy, "@"}}, {mk, cpy, {"--log", "@", cpy, "OUT"}}};
    const std::string kept = "\xC1\xC2XX\n 01 A PIC X(2).\n";
    for (const auto& c : cases) {
        for (const std::string spelling : {"same", "dot", "symlink", "hardlink"}) {
            testutil::writeFile(in, hex("C1C2"));
            testutil::writeFile(ptn, std::string("XX\n"));
            testutil::writeFile(cpy, std::string(" 01 A PIC X(2).\n"));
            const std::filesystem::path target(c.target), other = io.path() / "other";
            std::string name = c.target;
            if (spelling == "dot") name = (io.path() / "." / target.filename()).string();
            if (spelling == "symlink") std::filesystem::create_symlink(target, other), name = other.string();
            if (spelling == "hardlink") std::filesystem::create_hard_link(target, other), name = other.string();
            std::vector<std::string> args = c.command;
            for (const std::string& operand : c.operands) args.push_back(operand == "@" ? name : operand);
            const CliRun r = run(args);
            EXPECT_EQ(r.err + std::to_string(r.status), "vokcli " + c.command[0] + ": 入力側と出力側のパス名が同じです\n2") << args.back();
            EXPECT_EQ(testutil::readText(in) + testutil::readText(ptn) + testutil::readText(cpy), kept) << c.target << " " << spelling;
            std::filesystem::remove(other);
        }
    }
    EXPECT_TRUE(tmpIsEmpty());
    const std::string dashed = io.file("-in.txt");
    testutil::writeFile(dashed, hex("41"));
    EXPECT_EQ(run({"s2j", "--code", "kana", "--", dashed, "OUT"}).status, 0) << "-- ends the options";
}

// A named pipe as an input gets its answer at once; what cannot be printed
// is a failure.
TEST_F(Cli, PipesAndUnwritableStreams) {
    ASSERT_EQ(mkfifo(in.c_str(), 0600), 0);
    const CliRun r = run({"s2j", "--code", "kana", "IN", "OUT"});
    EXPECT_EQ(r.err + std::to_string(r.status), "シフトJISファイルがオープン出来ません\n[" + in + "]はファイルではありません(名前付きパイプ)\n2");
    std::filesystem::remove(in);
    testutil::writeFile(in, hex("41"));
    const std::string command = std::string(VOK_CLI_PATH) + " s2j --code kana '" + in + "' '" + out + "' >/dev/full";
    const int raw = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 2) << raw;
    EXPECT_EQ(std::system((std::string(VOK_CLI_PATH) + " s2j --help >/dev/full").c_str()) >> 8, 2);
}

TEST_F(Cli, HelpShowsEveryOptionWithAnExample) {
    const std::pair<const char*, std::vector<std::string>> commands[] = {
        {"s2j", {"--code kana", "--code kana-upper", "--code lower", "--code ascii", "--code none", "--shift", "--log",
                 "--encoding utf-8", "--quiet"}},
        {"j2s", {"--code kana", "--code lower", "--code ascii", "--record-length", "--keep-shift", "--trim", "--pattern", "--log",
                 "--error-log", "--encoding utf-8", "--bom", "--line-end lf", "--quiet"}}};
    for (const auto& [command, options] : commands) {
        const CliRun r = run({command, "--help"});
        EXPECT_EQ(r.status, 0);
        for (const std::string& option : options) {
            bool shown = false;
            for (std::size_t at = r.out.find("例: vokcli"); at != std::string::npos; at = r.out.find("例: vokcli", at + 1))
                shown |= r.out.substr(at, r.out.find('\n', at) - at).find(option) != std::string::npos;
            EXPECT_TRUE(shown) << command << " " << option;
        }
    }
}

}  // namespace
