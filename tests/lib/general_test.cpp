// The frame every export shares: the log, what reaches the C boundary when a job throws, and paths that collide. (The
// order of each export's file checks shows in the exports' own tests.)
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

}  // namespace

// Every path a call writes, against every file it reads, spelt four ways: refused before anything is created, with the
// code of the path written, and the file read left as it was. A named pipe as any input is refused at once, never
// waited on.
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
    const struct { const char *job, *role, *target; std::int32_t rc; } cases[] = {
        {"s2j", "out", "in", -11}, {"s2j", "log", "in", -31}, {"j2s", "out", "in", -10}, {"j2s", "out", "ptn", -10},
        {"j2s", "log", "in", -31}, {"j2s", "log", "ptn", -31}, {"j2s", "conv", "in", 0}, {"j2s", "conv", "ptn", 0},
        {"mkpatn", "out", "cpy", -12}, {"mkpatn", "log", "cpy", -31}, {"mkpatn", "out", "mem", -12}, {"mkpatn", "log", "mem", -31}};
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
    const struct { const char *job, *input; std::int32_t rc; } cases[] = {{"s2j", "in", -10}, {"j2s", "in", -11}, {"j2s", "ptn", -12}, {"mkpatn", "cpy", -13}};
    for (const auto& c : cases) {
        std::filesystem::remove(files[c.input]);
        ASSERT_EQ(mkfifo(files[c.input].c_str(), 0600), 0);
        EXPECT_EQ(call(c.job, "", "", ""), c.rc) << c.job << " " << c.input;
        EXPECT_EQ(testutil::utf8(testutil::readText(files["log"])), "[" + files[c.input] + "]はファイルではありません(名前付きパイプ)\r\n");
        std::filesystem::remove(files[c.input]);
        SetUp();
    }
}
