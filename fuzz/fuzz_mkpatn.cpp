// Arbitrary text as a COBOL copybook, through the mkpatn export on files in a scratch folder. The first byte picks the
// separator (bits 0-1) and quoting (bit 2); the bytes after the first NUL are the member M beside it, for COPY.
#include <algorithm>
#include <filesystem>
#include <string_view>

#include "fuzz_support.h"
#include "mkpatn.h"
#include "vokl.h"

namespace {

using fuzzsupport::check;

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kPatternChars = "X9ANSC.,\" ";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    fuzzsupport::ScratchDir dir("fuzz_mkpatn");
    const std::string cpy = dir.file("in.cpy"), ptn = dir.file("out.ptn"), log = dir.file("log.txt");
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t split = std::min(text.find('\0'), text.size());
    fuzzsupport::writeFile(cpy, text.data(), split);
    if (split < text.size()) fuzzsupport::writeFile(dir.file("M.cpy"), text.data() + split + 1, text.size() - split - 1);
    const std::int32_t rc = mkpatn(1, data[0] & 3, (data[0] >> 2) & 1, cpy.c_str(), ptn.c_str(), log.c_str());
    // Only a pattern file fully written may exist, and only then.
    const bool written = rc >= 0 || rc == VOKL_EUNSUPPORTED_ITEM;
    check(written || rc == VOKL_ECOPYBOOK_SYNTAX || rc == VOKL_ECOPYBOOK_EMPTY || rc == VOKL_ECOPYBOOK_OPEN, "result code");
    check(written == std::filesystem::exists(ptn), "pattern file exactly when written");
    if (!written) return 0;
    const std::string content = fuzzsupport::readFile(ptn);
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
