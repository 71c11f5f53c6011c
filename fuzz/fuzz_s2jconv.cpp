// s2jconv on arbitrary bytes. The first byte picks the code option, the
// second the shift-code switch; the rest is the input file.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz_support.h"
#include "vokl.h"

namespace {

using fuzzsupport::check;
using fuzzsupport::fail;
using fuzzsupport::ScratchDir;

namespace fs = std::filesystem;

constexpr std::size_t kHeaderBytes = 2;
constexpr std::int64_t kMaxLogLines = 101;  // 100 error lines and the overflow line

// Code options worth telling apart: the five real ones, the fall-back
// values, and a raw value now and then.
std::int32_t codeOption(std::uint8_t b) {
    static constexpr std::int32_t kOptions[] = {1, 2, 3, 4, 9, 0, 5, 10, -1, 0x7FFFFFFF};
    return b < 240 ? kOptions[b % std::size(kOptions)] : static_cast<std::int32_t>(b);
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kHeaderBytes) return 0;
    const std::int32_t code = codeOption(data[0]);
    const std::int32_t shift = data[1] & 1 ? 1 : data[1] >> 1;
    const std::uint8_t* text = data + kHeaderBytes;
    const std::size_t length = size - kHeaderBytes;

    ScratchDir dir("fuzz_s2jconv");
    const std::string in = dir.file("in.txt"), out = dir.file("out.jef"), log = dir.file("vok.log");
    {
        std::ofstream file(in, std::ios::binary);
        file.write(reinterpret_cast<const char*>(text), static_cast<std::streamsize>(length));
    }
    const std::int32_t rc = s2jconv(1, code, shift, in.c_str(), out.c_str(), log.c_str());

    if (length == 0) {
        if (rc != VOKL_ESJIS_EMPTY) fail("empty input must give -15");
        return 0;
    }
    if (rc < VOKL_ECHARS_REPLACED) fail("a readable input must convert");
    const std::string output = readAll(out);
    // Worst case: a shift code before every character, plus the closing one.
    if (output.size() > 2 * length + 1) fail("output larger than twice the input plus one");
    const auto lineFeeds = std::count(text, text + length, 0x0A);
    if (rc > lineFeeds) fail("more lines than line feeds");
    const std::string logText = readAll(log);
    if (rc >= 0 && !logText.empty()) fail("log lines without -1");
    if (rc == VOKL_ECHARS_REPLACED && logText.empty()) fail("-1 without a log line");
    if (std::count(logText.begin(), logText.end(), '\n') > kMaxLogLines) fail("more than 101 log lines");
    return 0;
}
