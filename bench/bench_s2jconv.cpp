// Throughput of s2jconv on a 64 MB mixed Shift-JIS file, beside the usual
// converters run as processes on the same file, and beside a plain loop that
// only reads 16 KB blocks, maps each byte through a table and writes them.
//   bench_s2jconv [MEGABYTES]
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "vokl.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr std::size_t kDefaultMegabytes = 64;
constexpr std::size_t kMegabyte = 1 << 20;
constexpr int kRepeats = 3;
constexpr std::size_t kPlainBlock = 16 * 1024;

// Characters every peer converts: upper-case letters, digits, half-width
// katakana, common kanji and punctuation of JIS level 1 (Shift-JIS bytes).
const char kAsciiLine[] = "CUSTOMER 0012345 TOKYO-TO CHIYODA-KU 1-2-3 ORDER 20261206 QTY 000150 PRICE 0012800";
const char kKanaLine[] = "\xbc\xae\xb3\xcb\xdd\x20\xc4\xb3\xb7\xae\xb3\xc4\x20\xbb\xdd\xb7\xde\xae\xb3\x20\xb6\xc3\xde\xb2\xd9"
                         " 0123";
// 東京都千代田区　株式会社、注文番号。亜愛悪圧安暗案以位依偉囲委意
const char kKanjiLine[] =
    "\x93\x8c\x8b\x9e\x93\x73\x90\xe7\x91\xe3\x93\x63\x8b\xe6\x81\x40\x8a\x94\x8e\xae\x89\xef\x8e\xd0"
    "\x81\x41\x92\x8d\x95\xb6\x94\xd4\x8d\x86\x81\x42\x88\x9f\x88\xa4\x88\xab\x88\xb3\x88\xc0\x88\xc3"
    "\x88\xc4\x88\xc8\x88\xca\x88\xcb\x88\xcc\x88\xcd\x88\xcf\x88\xd3";

void generate(const fs::path& path, std::size_t size) {
    const std::string lines[] = {kAsciiLine, kKanaLine, kKanjiLine, std::string(kAsciiLine) + " " + kKanaLine};
    std::string chunk;
    for (int i = 0; chunk.size() < kMegabyte; ++i) chunk += lines[i % 4] + "\r\n";
    std::ofstream out(path, std::ios::binary);
    for (std::size_t written = 0; written < size;) {
        // Whole lines only, so the file ends in CR LF.
        const std::size_t n = std::min(chunk.size(), size - written);
        const std::size_t cut = chunk.rfind('\n', n - 1);
        const std::size_t take = cut == std::string::npos ? n : cut + 1;
        out.write(chunk.data(), static_cast<std::streamsize>(take));
        written += take;
        if (take < n) break;
    }
}

double seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }
double mbPerSecond(std::uintmax_t bytes, double s) { return static_cast<double>(bytes) / 1e6 / s; }

struct Peer {
    const char* name;
    std::string command;  // with IN and OUT filled in
};

std::string quoted(const std::string& s) { return "'" + s + "'"; }

// Plain loop: read 16 KB blocks, map every byte through a table, write.
double plainLoop(const fs::path& in, const fs::path& out) {
    std::array<std::uint8_t, 256> table{};
    for (unsigned b = 0; b < 256; ++b) table[b] = static_cast<std::uint8_t>(b ^ 0x40);
    std::vector<std::uint8_t> buffer(kPlainBlock), mapped(kPlainBlock);
    const auto start = Clock::now();
    std::FILE* fin = std::fopen(in.c_str(), "rb");
    std::FILE* fout = std::fopen(out.c_str(), "wb");
    if (!fin || !fout) return 0;
    std::size_t n;
    // Raw pointers: a byte store could otherwise alias the vectors' own pointers.
    const std::uint8_t* const map = table.data();
    std::uint8_t* const src = buffer.data();
    std::uint8_t* const dst = mapped.data();
    while ((n = std::fread(src, 1, kPlainBlock, fin)) > 0) {
        for (std::size_t i = 0; i < n; ++i) dst[i] = map[src[i]];
        std::fwrite(dst, 1, n, fout);
    }
    std::fclose(fin);
    std::fclose(fout);
    return seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : kDefaultMegabytes;
    std::string pattern = (fs::temp_directory_path() / "bench_s2jconv-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path dir = pattern;
    const fs::path in = dir / "mixed.txt", out = dir / "out.jef", log = dir / "vok.log", peerOut = dir / "peer.out";
    generate(in, megabytes * kMegabyte);
    const std::uintmax_t size = fs::file_size(in);
    std::printf("input: %.1f MB of mixed Shift-JIS (ASCII, half-width katakana, kanji lines, CR LF)\n", size / 1e6);

    double best = 1e30;
    std::int32_t rc = 0;
    for (int i = 0; i < kRepeats; ++i) {
        const auto start = Clock::now();
        rc = s2jconv(1, 1, 1, in.c_str(), out.c_str(), log.c_str());
        best = std::min(best, seconds(start));
    }
    const double ours = mbPerSecond(size, best);
    std::printf("s2jconv (kana, shift codes): %8.1f MB/s  result %d, output %.1f MB\n", ours, rc,
                fs::file_size(out) / 1e6);

    double plainBest = 1e30;
    for (int i = 0; i < kRepeats; ++i) plainBest = std::min(plainBest, plainLoop(in, dir / "plain.out"));
    const double plain = mbPerSecond(size, plainBest);
    std::printf("plain 16 KB table loop:      %8.1f MB/s\n", plain);

    const Peer peers[] = {
        {"iconv -f CP932 -t IBM930", "iconv -f CP932 -t IBM930 " + quoted(in) + " > " + quoted(peerOut)},
        {"iconv -f CP932 -t IBM1390", "iconv -f CP932 -t IBM1390 " + quoted(in) + " > " + quoted(peerOut)},
        {"uconv -f cp932 -t ibm-930", "uconv -f cp932 -t ibm-930 " + quoted(in) + " > " + quoted(peerOut)},
    };
    double fastestPeer = 0;
    for (const Peer& peer : peers) {
        const auto start = Clock::now();
        const int raw = std::system((peer.command + " 2>/dev/null").c_str());
        const double s = seconds(start);
        const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        if (status == 127) {
            std::printf("%-28s skipped: not installed\n", peer.name);
            continue;
        }
        if (status != 0) {
            std::error_code ec;
            std::printf("%-28s skipped: failed (exit %d) after %.1f MB of output\n", peer.name, status,
                        fs::file_size(peerOut, ec) / 1e6);
            continue;
        }
        const double rate = mbPerSecond(size, s);
        fastestPeer = std::max(fastestPeer, rate);
        std::printf("%-28s %8.1f MB/s  output %.1f MB\n", peer.name, rate, fs::file_size(peerOut) / 1e6);
    }

    if (fastestPeer > 0) std::printf("s2jconv / fastest peer:      %8.2fx (target >= 5x)\n", ours / fastestPeer);
    std::printf("s2jconv / plain loop:        %8.0f %% (target >= 40 %%)\n", 100 * ours / plain);

    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
