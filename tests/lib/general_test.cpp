// The frame every export shares: the log, the file checks in each export's
// order, and what reaches the C boundary when a job throws.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <new>
#include <stdexcept>

#include "general.h"
#include "testutil.h"

namespace {

using testutil::logLines;
using testutil::TempDir;

TEST(Frame, LogAndExceptionsAtTheBoundary) {
    TempDir dir;
    const std::string log = dir.file("vok.log"), badLog = dir.file("missing/vok.log");
    int ran = 0;
    auto job = [&](vokl::Log& l) { ++ran; l.line("x\n"); return l.isOpen() ? 1 : 7; };
    EXPECT_EQ(vokl::runExport(1, badLog.c_str(), {}, job), VOKL_ELOG_CREATE);
    EXPECT_EQ(vokl::runExport(1, nullptr, {}, job), VOKL_ELOG_CREATE);
    EXPECT_EQ(ran, 0) << "no job without its log";
    EXPECT_EQ(vokl::runExport(0, badLog.c_str(), {}, job), 7) << "switch 0: no log, the job still runs";
    EXPECT_FALSE(testutil::exists(badLog));
    EXPECT_EQ(vokl::runExport(1, log.c_str(), {}, [](vokl::Log&) -> std::int32_t { throw std::bad_alloc(); }), VOKL_ENOMEM);
    EXPECT_EQ(testutil::readText(log), logLines("メモリ不足です\n"));
    EXPECT_EQ(vokl::runExport(1, log.c_str(), {}, [](vokl::Log&) -> std::int32_t { throw std::runtime_error("x"); }), VOKL_ENOMEM);
    EXPECT_EQ(vokl::runExport(1, "/dev/full", {}, job), VOKL_ELOG_CREATE) << "a log whose lines are lost";
}

// Each export's order of checks decides what an early failure leaves behind.
struct CheckCase {
    bool s2j;                // kS2jChecks, else kJ2sChecks
    const char* inputBytes;  // nullptr: no input file
    bool outputFolderExists;
    std::int32_t code;
    bool outputLeft;
    const char* log;  // %IN% and %OUT% stand for the paths
};

class FrameChecks : public testing::TestWithParam<CheckCase> {};

TEST_P(FrameChecks, CodeLogAndOutput) {
    const CheckCase& c = GetParam();
    TempDir dir;
    const std::string in = dir.file("in"), log = dir.file("vok.log");
    const std::string out = c.outputFolderExists ? dir.file("out") : dir.file("missing/out");
    if (c.inputBytes) testutil::writeFile(in, std::string(c.inputBytes));
    vokl::Log l;
    ASSERT_TRUE(l.create(log.c_str()));
    vokl::CheckedFiles files;
    EXPECT_EQ(vokl::openAndCheck(l, in.c_str(), out.c_str(), c.s2j ? vokl::kS2jChecks : vokl::kJ2sChecks, files), c.code);
    files.output.close();
    l.close();
    EXPECT_EQ(testutil::exists(out), c.outputLeft);
    EXPECT_EQ(testutil::utf8(testutil::readText(log)), testutil::replaceAll(c.log, {{"%IN%", in}, {"%OUT%", out}, {"\n", "\r\n"}}));
}

INSTANTIATE_TEST_SUITE_P(Orders, FrameChecks, testing::Values(
    CheckCase{true, nullptr, true, -10, false, "[%IN%]が見つかりません\n"},
    CheckCase{true, "", true, -15, true, "[%IN%]のファイルサイズが 0 です\n"},
    CheckCase{true, "A", false, -11, false, "[%OUT%]のオープンに失敗しました(原因=No such file or directory)\n"},
    CheckCase{true, "A", true, 0, true, ""},
    CheckCase{false, nullptr, true, -11, false, "[%IN%]が見つかりません\n"},
    CheckCase{false, "", true, -16, false, "[%IN%]のファイルサイズが 0 です\n"},
    CheckCase{false, "A", false, -10, false, "[%OUT%]のオープンに失敗しました(原因=No such file or directory)\n"},
    CheckCase{false, "A", true, 0, true, ""}));

}  // namespace

// Every path a call writes, against every file it reads, spelt four ways:
// refused before anything is created, with the code of the path written,
// and the file read left as it was. A named pipe as any input is refused at
// once, never waited on.
class Collisions : public testing::Test {
protected:
    TempDir dir;
    std::map<std::string, std::string> files{{"in", dir.file("in")}, {"ptn", dir.file("p.ptn")}, {"cpy", dir.file("c.cpy")},
                                             {"mem", dir.file("m.cpy")}, {"out", dir.file("out")}, {"log", dir.file("vok.log")}, {"conv", dir.file("conv.txt")}};
    void SetUp() override {
        testutil::writeFile(files["in"], testutil::hex("C1C2"));
        testutil::writeFile(files["ptn"], std::string("XX\n"));
        testutil::writeFile(files["cpy"], std::string(" 01 R.\n COPY M.\n"));
        testutil::writeFile(files["mem"], std::string(" 05 A PIC X(2).\n"));
    }
    std::string kept() { return testutil::readText(files["in"]) + testutil::readText(files["ptn"]) + testutil::readText(files["cpy"]) + testutil::readText(files["mem"]); }
    // Runs the export with `role` (out, log or conv) naming `target` as `spelling` says.
    std::int32_t call(const std::string& job, const std::string& role, const std::string& target, const std::string& spelling) {
        std::map<std::string, std::string> p = files;
        const std::filesystem::path other = dir.path() / ("other-" + target);
        if (spelling == "same") p[role] = p[target];
        if (spelling == "dot") p[role] = (dir.path() / "." / std::filesystem::path(p[target]).filename()).string();
        if (spelling == "symlink") std::filesystem::create_symlink(p[target], other), p[role] = other.string();
        if (spelling == "hardlink") std::filesystem::create_hard_link(p[target], other), p[role] = other.string();
        if (job == "s2j") return s2jconv(1, 4, 0, p["in"].c_str(), p["out"].c_str(), p["log"].c_str());
        if (job == "mkpatn") return mkpatn(1, 0, 0, p["cpy"].c_str(), p["out"].c_str(), p["log"].c_str());
        return j2sconv(1, 3, 0, 0, 0, p["in"].c_str(), p["out"].c_str(), p["ptn"].c_str(), p["log"].c_str(), p["conv"].c_str());
    }
};

TEST_F(Collisions, WrittenPathsNamingAFileReadAreRefused) {
    const struct {
        const char *job, *role, *target;
        std::int32_t rc;
    } cases[] = {{"s2j", "out", "in", -11}, {"s2j", "log", "in", -31}, {"j2s", "out", "in", -10}, {"j2s", "out", "ptn", -10},
                 {"j2s", "log", "in", -31}, {"j2s", "log", "ptn", -31}, {"j2s", "conv", "in", 0}, {"j2s", "conv", "ptn", 0},
                 {"mkpatn", "out", "cpy", -12}, {"mkpatn", "log", "cpy", -31}, {"mkpatn", "out", "mem", -12},
                 {"mkpatn", "log", "mem", -31}};
    for (const auto& c : cases) {
        for (const char* spelling : {"same", "dot", "symlink", "hardlink"}) {
            const std::string what = std::string(c.job) + " " + c.role + "=" + c.target + " " + spelling;
            EXPECT_EQ(call(c.job, c.role, c.target, spelling), c.rc) << what;
            EXPECT_EQ(kept(), "\xC1\xC2XX\n 01 R.\n COPY M.\n 05 A PIC X(2).\n") << what;
            std::filesystem::remove(dir.path() / (std::string("other-") + c.target));
        }
    }
    // The conversion-error log's lines then go to the log, which says why.
    EXPECT_EQ(call("j2s", "conv", "ptn", "same"), 0);
    EXPECT_EQ(testutil::utf8(testutil::readText(files["log"])), "[" + files["ptn"] + "]は入力ファイルと同じファイルです\r\n");
}

TEST_F(Collisions, NamedPipesAsInputsAreRefusedAtOnce) {
    const struct {
        const char *job, *input;
        std::int32_t rc;
        const char* line;
    } cases[] = {{"s2j", "in", -10, "[%s]はファイルではありません(名前付きパイプ)\r\n"},
                 {"j2s", "in", -11, "[%s]はファイルではありません(名前付きパイプ)\r\n"},
                 {"j2s", "ptn", -12, "[%s]はファイルではありません(名前付きパイプ)\r\n"},
                 {"mkpatn", "cpy", -13, "[%s]はファイルではありません(名前付きパイプ)\r\n"}};
    for (const auto& c : cases) {
        std::filesystem::remove(files[c.input]);
        ASSERT_EQ(mkfifo(files[c.input].c_str(), 0600), 0);
        EXPECT_EQ(call(c.job, "", "", ""), c.rc) << c.job << " " << c.input;
        EXPECT_EQ(testutil::utf8(testutil::readText(files["log"])), testutil::replaceAll(c.line, {{"%s", files[c.input]}}));
        std::filesystem::remove(files[c.input]);
        SetUp();
    }
}
