// s2jconv on arbitrary bytes. The first byte picks the code option, the
// second the shift-code switch; the rest is the input file.
#include <algorithm>

#include "fuzz_support.h"
#include "vokl.h"

namespace {

// The five real options, the fall-back values, and a raw value now and then.
std::int32_t codeOption(std::uint8_t b) {
    static constexpr std::int32_t kOptions[] = {1, 2, 3, 4, 9, 0, 5, 10, -1, 0x7FFFFFFF};
    return b < 240 ? kOptions[b % std::size(kOptions)] : static_cast<std::int32_t>(b);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using fuzzsupport::check;
    if (size < 2) return 0;
    const std::uint8_t* text = data + 2;
    const std::size_t length = size - 2;
    fuzzsupport::ScratchDir dir("fuzz_s2jconv");
    const std::string in = dir.file("in.txt"), out = dir.file("out.jef"), log = dir.file("vok.log");
    fuzzsupport::writeFile(in, text, length);
    const std::int32_t rc = s2jconv(1, codeOption(data[0]), data[1] & 1 ? 1 : data[1] >> 1, in.c_str(), out.c_str(), log.c_str());
    if (length == 0) return check(rc == VOKL_ESJIS_EMPTY, "empty input gives -15"), 0;
    check(rc >= VOKL_ECHARS_REPLACED, "a readable input converts");
    // At worst a shift code before every character, and the closing one.
    check(fuzzsupport::readFile(out).size() <= 2 * length + 1, "output at most twice the input plus one");
    check(rc <= std::count(text, text + length, 0x0A), "no more lines than line feeds");
    const std::string logText = fuzzsupport::readFile(log);
    check((rc == VOKL_ECHARS_REPLACED) == !logText.empty(), "log lines exactly with -1");
    check(std::count(logText.begin(), logText.end(), '\n') <= 101, "100 error lines and the overflow line at most");
    return 0;
}
