// Arbitrary text as a COBOL copybook, through the mkpatn export on files in a
// scratch folder. The first byte picks the separator (bits 0-1) and quoting
// (bit 2); the bytes after the first NUL are the member M beside it, for COPY.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "mkpatn.h"
#include "vokl.h"

namespace {

using fuzzsupport::check;

constexpr std::uint8_t kSeparatorBits = 0x03;
constexpr std::uint8_t kQuoteBit = 0x04;
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kPatternChars = "X9ANSC.,\" ";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    fuzzsupport::ScratchDir dir("fuzz_mkpatn");
    const std::string cpy = dir.file("in.cpy"), ptn = dir.file("out.ptn"), log = dir.file("log.txt");
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t split = std::min(text.find('\0'), text.size());
    std::ofstream(cpy, std::ios::binary).write(text.data(), static_cast<std::streamsize>(split));
    if (split < text.size()) {
        std::ofstream(dir.file("M.cpy"), std::ios::binary)
            .write(text.data() + split + 1, static_cast<std::streamsize>(text.size() - split - 1));
    }
    const std::int32_t quote = (data[0] & kQuoteBit) != 0 ? 1 : 0;
    const std::int32_t rc = mkpatn(1, data[0] & kSeparatorBits, quote, cpy.c_str(), ptn.c_str(), log.c_str());
    // Only a pattern file fully written may exist, and only then.
    const bool written = rc >= 0 || rc == VOKL_EUNSUPPORTED_ITEM;
    check(written || rc == VOKL_ECOPYBOOK_SYNTAX || rc == VOKL_ECOPYBOOK_EMPTY || rc == VOKL_ECOPYBOOK_OPEN,
          "result code");
    check(written == std::filesystem::exists(ptn), "pattern file exactly when written");
    if (!written) return 0;
    std::ifstream in(ptn, std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string_view rest = content, line;
    int lines = 0;
    for (; !rest.empty(); ++lines) {
        const std::size_t end = rest.find(kLineEnd);
        check(end != std::string_view::npos && end + 1 <= vokl::kPatternLineCapacity, "line end and capacity");
        line = rest.substr(0, end);
        check(line.find_first_not_of(kPatternChars) == std::string_view::npos, "pattern characters");
        rest.remove_prefix(end + kLineEnd.size());
    }
    check(lines == 1 || lines == 2, "one or two lines");
    check(rc < 0 || rc == vokl::recordSize(line), "size of the last line");
    return 0;
}
