// The extended interface: UTF-8 text on the PC side, descriptors and pipes,
// progress and stopping, and log lines handed out in UTF-8.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <csignal>
#include <fstream>
#include <thread>

#include "tblknj.h"
#include "tbluni.h"
#include "testutil.h"
#include "vokl.h"

namespace {

using testutil::Bytes;
using testutil::hex;

// lines: the log lines as handed out.
struct Outcome { std::int32_t rc; Bytes output; std::vector<std::string> lines; std::vector<std::int64_t> progress;
                 bool operator==(const Outcome&) const = default; };

struct Call {
    testutil::TempDir dir;
    std::string in = dir.file("in"), out = dir.file("out");
    vokl_options options;
    Outcome run;

    explicit Call(int encoding = VOKL_PC_UTF8) {
        vokl_options_init(&options, sizeof options);
        options.pc_encoding = encoding;
        options.input_path = in.c_str();
        options.output_path = out.c_str();
        options.user = this;
        options.log_line = [](void* user, const char* line) { static_cast<Call*>(user)->run.lines.push_back(line); };
        options.progress = [](void* user, std::int64_t done, std::int64_t) {
            return static_cast<Call*>(user)->run.progress.push_back(done), 0;
        };
    }
    Outcome& finish(std::int32_t rc) {
        run.rc = rc;
        if (std::filesystem::is_regular_file(out)) run.output = testutil::readFile(out);
        return run;
    }
    Outcome& s2j(const Bytes& text, int code = 4, int shift = 1) {
        testutil::writeFile(in, text);
        return finish(vokl_s2j(&options, code, shift));
    }
    Outcome& j2s(const Bytes& jef, int code = 3, int recordLength = 0) {
        testutil::writeFile(in, jef);
        return finish(vokl_j2s(&options, code, recordLength, 0, 0, "_********_", nullptr));
    }
    // Reads `input` from a pipe, written in pieces with `pause` between them.
    Outcome& piped(bool s2j, const Bytes& input, std::chrono::milliseconds pause = {}) {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        options.input_path = nullptr;
        options.input_fd = fds[0];
        std::thread writer([&] {
            for (std::size_t at = 0; at < input.size(); std::this_thread::sleep_for(pause)) {
                const ssize_t n = write(fds[1], input.data() + at, std::min<std::size_t>(65536, input.size() - at));
                if (n <= 0) break;
                at += static_cast<std::size_t>(n);
            }
            close(fds[1]);
        });
        const std::int32_t rc = s2j ? vokl_s2j(&options, 4, 0) : vokl_j2s(&options, 3, 0, 0, 0, "_********_", nullptr);
        close(fds[0]);
        writer.join();
        return finish(rc);
    }
};

Bytes utf8(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::u32string scalars(const Bytes& text) {
    std::u32string out;
    for (std::size_t i = 0; i < text.size();) {
        const vokl::Utf8Char c = vokl::decodeUtf8(text.data() + i, text.size() - i);
        out += c.status == vokl::Utf8Char::Status::Ok ? c.scalar : U'?';
        i += c.length;
    }
    return out;
}

// Every character of code page 932 goes to the host and back, and comes back as the code tables say: a kanji as the
// Shift-JIS of its JEF code (a code without a JEF code as the JEF blank), a full-width space where that has no
// character.
TEST(Utf8, EveryCharacterRoundTripsThroughJef) {
    std::ifstream list(std::string(VOK_DATA_DIR) + "/cp932-unicode.tsv");
    std::u32string text[2], expected[2];  // 0: single-byte, 1: double-byte characters
    for (std::string line; std::getline(list, line);) {
        if (line[0] == '#' || line.find('*') != std::string::npos) continue;
        const unsigned code = std::stoul(line.substr(0, line.find('\t')), nullptr, 16);
        const char32_t scalar = std::stoul(line.substr(line.find("U+") + 2), nullptr, 16);
        // Controls and the line ends are no text characters; lower case and "]" have no code in the kana variant.
        if (code < 0x20 || code == 0x7F || (code >= 0x61 && code <= 0x7A) || code == 0x5D) continue;
        const std::uint8_t* jef = vokl::sjisToJef(code);
        const std::uint8_t* back = vokl::jefToSjis(jef[0] || jef[1] ? jef[0] * 256u + jef[1] : 0x4040u);
        const std::uint16_t again = vokl::kCp932ToUnicode[back[0] * 256u + back[1]];
        text[code > 0xFF] += scalar;
        expected[code > 0xFF] += code <= 0xFF ? scalar : (back[0] || back[1]) && again != vokl::kNoCode ? again : U'\u3000';
    }
    ASSERT_EQ(text[1].size(), 9206u);
    for (int kind : {0, 1}) {
        Bytes encoded;
        for (char32_t c : text[kind]) {
            std::uint8_t bytes[4];
            encoded.insert(encoded.end(), bytes, bytes + vokl::encodeUtf8(c, bytes));
        }
        Call there, back;
        const std::u32string got = scalars(back.j2s(there.s2j(encoded, 1, 1).output, 1).output);
        ASSERT_EQ(got.size(), text[kind].size());
        for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], expected[kind][i]) << std::hex << static_cast<unsigned>(text[kind][i]);
    }
}

// Invalid and unmapped input is replaced as unmapped Shift-JIS is, and reported with its line and column in characters;
// a byte order mark is passed over.
TEST(Utf8, ConversionErrors) {
    const struct { std::string text; int code; std::string jef; std::int32_t rc; std::vector<std::string> lines; } cases[] = {
        {"\xEF\xBB\xBF" "A漢\r\nｱ", 1, "C128B4C12981", 1, {}},
        {"A😀B", 4, "C1284040 29C2", -1, {"UTF-8->JEF 変換エラー(U+1F600,行=1,桁=2)"}},
        {"漢x\n\xED\xA0\x80", 1, "28B4C12940404040", -1,
         {"JIS->EBCDIC 変換エラー(JIS=0x78,行=1,桁=2)", "UTF-8->JEF 変換エラー(不正なバイト=0xed,行=2,桁=1)",
          "UTF-8->JEF 変換エラー(不正なバイト=0xa0,行=2,桁=2)", "UTF-8->JEF 変換エラー(不正なバイト=0x80,行=2,桁=3)"}},
        {"A\xE3\x81", 4, "C120", -1, {"UTF-8->JEF 変換エラー(途中で終わった文字=0xe3,行=1,桁=2)"}},
        {"\xC0\xAF\xFF", 4, "404040", -1,
         {"UTF-8->JEF 変換エラー(不正なバイト=0xc0,行=1,桁=1)", "UTF-8->JEF 変換エラー(不正なバイト=0xaf,行=1,桁=2)",
          "UTF-8->JEF 変換エラー(不正なバイト=0xff,行=1,桁=3)"}},
        // A sequence cut short by a letter, where a whole step of text follows.
        {"漢\xE3\x81" "B" + std::string(64, 'x'), 4, "28B4C129 40 C2" + testutil::replaceAll(std::string(64, 'x'), {{"x", "A7"}}), -1,
         {"UTF-8->JEF 変換エラー(不正なバイト=0xe3,行=1,桁=2)"}},
        // Overlong three- and four-byte forms are invalid; the characters just past them are not.
        {"\xE0\x9F\xBF\xE1\x80\x80\xF0\x8F\xBF\xBF\xF0\x90\x80\x80\xF1\x80\x80\x80", 4, "404040 284040 29 40404040 2840404040 29", -1,
         {"UTF-8->JEF 変換エラー(不正なバイト=0xe0,行=1,桁=1)", "UTF-8->JEF 変換エラー(不正なバイト=0x9f,行=1,桁=2)",
          "UTF-8->JEF 変換エラー(不正なバイト=0xbf,行=1,桁=3)", "UTF-8->JEF 変換エラー(U+1000,行=1,桁=4)",
          "UTF-8->JEF 変換エラー(不正なバイト=0xf0,行=1,桁=5)", "UTF-8->JEF 変換エラー(不正なバイト=0x8f,行=1,桁=6)",
          "UTF-8->JEF 変換エラー(不正なバイト=0xbf,行=1,桁=7)", "UTF-8->JEF 変換エラー(不正なバイト=0xbf,行=1,桁=8)",
          "UTF-8->JEF 変換エラー(U+10000,行=1,桁=9)", "UTF-8->JEF 変換エラー(U+40000,行=1,桁=10)"}},
        {"①¬é", 4, "2877C940404040 29", -1, {"UTF-8->JEF 変換エラー(U+00AC,行=1,桁=2)", "UTF-8->JEF 変換エラー(U+00E9,行=1,桁=3)"}}};
    for (const auto& c : cases) {
        Call call;
        const Outcome& r = call.s2j(utf8(c.text), c.code);
        EXPECT_EQ(r, (Outcome{c.rc, hex(c.jef), c.lines, r.progress})) << c.text;
    }
}

// A pipe has no size: what it brings is converted as a file would be, and one that brings nothing is an empty input.
TEST(Pipes, ConvertAsFilesDo) {
    const Bytes text = utf8(std::string(100000, 'A') + "漢字\n");
    for (const Bytes& input : {text, Bytes{}}) {
        for (bool s2j : {true, false}) {
            Call file, pipe;
            const Outcome& expected = s2j ? file.s2j(input, 4, 0) : file.j2s(input);
            pipe.options.input_name = "標準入力";
            const Outcome& got = pipe.piped(s2j, input);
            EXPECT_EQ(got.rc, input.empty() ? (s2j ? -15 : -16) : expected.rc);
            EXPECT_EQ(got.output, expected.output);
            EXPECT_EQ(got.lines, input.empty() ? std::vector<std::string>{"[標準入力]のファイルサイズが 0 です"} : expected.lines);
            EXPECT_EQ(testutil::exists(pipe.out), s2j || !input.empty()) << "j2s creates no output for an empty input";
        }
    }
}

// Progress rises to the total; asked to stop, the job ends with its own code,
// says why, and takes back the output it made.
TEST(Progress, RisesToTheTotalAndStops) {
    std::signal(SIGPIPE, SIG_IGN);  // the writer outlives the stopped reader
    Call whole;
    const Outcome& done = whole.j2s(Bytes(4 << 20, 0xC1));
    EXPECT_EQ(done.rc, 0);
    EXPECT_TRUE(std::is_sorted(done.progress.begin(), done.progress.end()) && !done.progress.empty() && done.progress.back() == 4 << 20);
    // A slow pipe: the job outlasts many reports. Its total is not known: stop once half of a megabyte is done.
    for (bool s2j : {true, false}) {
        Call stopped;
        stopped.options.progress = [](void* user, std::int64_t doneBytes, std::int64_t) {
            return static_cast<Call*>(user)->run.progress.push_back(doneBytes), doneBytes >= (1 << 19) ? 1 : 0;
        };
        const Outcome& r = stopped.piped(s2j, Bytes(1 << 20, 0x40), std::chrono::milliseconds(20));
        EXPECT_EQ(r, (Outcome{VOKL_ESTOPPED, {}, {"利用者の指示により処理を中止しました"}, r.progress}));
        EXPECT_FALSE(testutil::exists(stopped.out)) << "the partial output is removed";
    }
    // An output that is no plain file (a named pipe here, /dev/null alike) is not removed.
    Call toPipe;
    ASSERT_EQ(mkfifo(toPipe.out.c_str(), 0600), 0);
    const int reader = open(toPipe.out.c_str(), O_RDONLY | O_NONBLOCK);  // so that opening it to write does not wait
    toPipe.options.progress = [](void*, std::int64_t, std::int64_t) { return 1; };
    EXPECT_EQ(toPipe.s2j(utf8("A")).rc, VOKL_ESTOPPED);
    EXPECT_TRUE(std::filesystem::is_fifo(toPipe.out));
    close(reader);
}

// Line ends, a byte order mark, a conversion-error log in UTF-8, and system texts in each log's own encoding.
TEST(Utf8, OutputOptionsAndLogs) {
    Call call;
    call.options.line_end = VOKL_EOL_LF;
    call.options.utf8_bom = 1;
    testutil::writeFile(call.in, hex("C1 28 B4C1 29 00"));
    const std::string conv = call.dir.file("conv.txt");
    EXPECT_EQ(call.finish(vokl_j2s(&call.options, 1, 3, 0, 0, "_********_", conv.c_str())).rc, -1);
    EXPECT_EQ(std::string(call.run.output.begin(), call.run.output.end()), "\xEF\xBB\xBF" "A\n漢\n \n");
    EXPECT_EQ(testutil::readText(conv), "EBCDIC->JIS 変換エラー(EBCDIC=0x00/6バイト目)\n");
    EXPECT_EQ(call.run.lines, (std::vector<std::string>{"", "", conv + "に変換エラーのログを出力しました。"}));
    // A pattern that cannot be used leaves no empty conversion-error log behind.
    testutil::writeFile(call.dir.file("bad.ptn"), std::string("XX?\n"));
    EXPECT_EQ(vokl_j2s(&call.options, 1, 0, 0, 0, call.dir.file("bad.ptn").c_str(), conv.c_str()), VOKL_EPATTERN_SYNTAX);
    EXPECT_FALSE(testutil::exists(conv));
    if (std::setlocale(LC_ALL, "ja_JP.UTF-8") == nullptr) GTEST_SKIP() << "no Japanese locale";
    Call missing(VOKL_PC_SJIS);
    const std::string log = missing.dir.file("vok.log");
    missing.options.log_path = log.c_str();
    missing.options.output_path = "/nonexistent/out";
    missing.s2j(utf8("A"));
    std::setlocale(LC_ALL, "C");
    const std::string cause = "(原因=そのようなファイルやディレクトリはありません)";
    EXPECT_EQ(missing.run.lines, std::vector<std::string>{"[/nonexistent/out]のオープンに失敗しました" + cause});
    EXPECT_EQ(testutil::readText(log), testutil::logLines("[/nonexistent/out]のオープンに失敗しました" + cause + "\n"));
}

}  // namespace
