// Arbitrary text as a COBOL copybook: through the reader and the line walks
// in memory, then through the mkpatn export on files in a scratch folder.
// The first byte picks the separator (bits 0-1) and quoting (bit 2).
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <stdlib.h>

#include "copybook.h"
#include "fuzz_support.h"
#include "general.h"
#include "mkpatn.h"
#include "vokl.h"

namespace {

using fuzzsupport::check;
using fuzzsupport::fail;
using fuzzsupport::ScratchDir;

constexpr std::uint8_t kSeparatorBits = 0x03;
constexpr std::uint8_t kQuoteBit = 0x04;
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kPatternChars = "X9ANSC.,\" ";

void checkItems(const vokl::CopyItems& items) {
    for (const vokl::CopyItem& item : items) {
        check(item.level >= 0 && item.length >= 0 && item.decimals >= 0 && item.occurs >= 0);
        check(std::string_view("09XANSC").find(item.kind) != std::string_view::npos);
        check(item.point == ' ' || item.point == 'V');
        check(item.mark == ' ' || item.mark == 'S' || item.mark == 'D');
    }
}

void checkLine(std::string_view line) {
    check(line.size() + 1 <= vokl::kPatternLineCapacity);
    for (char c : line) check(kPatternChars.find(c) != std::string_view::npos);
}

// In memory: the bytes as the reader's source, then the walks.
void readAndWalk(std::string_view text, const vokl::PatternOptions& options) {
    vokl::Log log;  // not opened: swallows every line
    vokl::CopyItems items;
    std::size_t pos = 0;
    vokl::ReadBytes source = [&](char* buffer, std::size_t size) -> std::int64_t {
        std::size_t n = std::min(size, text.size() - pos);
        std::memcpy(buffer, text.data() + pos, n);
        pos += n;
        return static_cast<std::int64_t>(n);
    };
    std::int32_t rc = vokl::readCopybookFrom(log, "fuzz.cpy", source, items);
    check(rc == 0 || rc == VOKL_ECOPYBOOK_SYNTAX || rc == VOKL_EUNSUPPORTED_ITEM);
    checkItems(items);
    if (rc == VOKL_ECOPYBOOK_SYNTAX) return;
    vokl::resolveRedefines(items);
    checkItems(items);
    vokl::PatternLines lines;
    rc = vokl::buildPatternLines(log, items, options, lines);
    check(rc == 0 || rc == VOKL_ECOPYBOOK_SYNTAX);
    if (rc != 0) return;
    checkLine(lines.first);
    if (lines.hasSecond) checkLine(lines.second);
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// On files: the export, its pattern file and the size it reports.
void runExport(std::string_view text, const vokl::PatternOptions& options) {
    ScratchDir dir("fuzz_mkpatn");
    const std::string cpy = dir.file("in.cpy");
    const std::string ptn = dir.file("out.ptn");
    const std::string log = dir.file("log.txt");
    {
        std::ofstream out(cpy, std::ios::binary);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    std::int32_t rc = mkpatn(1, options.separator, options.quote, cpy.c_str(), ptn.c_str(), log.c_str());
    const bool written = rc >= 0 || rc == VOKL_EUNSUPPORTED_ITEM;
    check(written || rc == VOKL_ECOPYBOOK_SYNTAX || rc == VOKL_ECOPYBOOK_EMPTY);
    check(written == std::filesystem::exists(ptn));
    if (!written) return;

    std::string content = readAll(ptn);
    std::vector<std::string_view> lines;
    std::string_view rest = content;
    while (!rest.empty()) {
        std::size_t end = rest.find(kLineEnd);
        check(end != std::string_view::npos);
        lines.push_back(rest.substr(0, end));
        rest.remove_prefix(end + kLineEnd.size());
    }
    check(lines.size() == 1 || lines.size() == 2);
    for (std::string_view line : lines) checkLine(line);
    if (rc >= 0) check(rc == vokl::recordSize(lines.back()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    vokl::PatternOptions options;
    options.separator = data[0] & kSeparatorBits;
    options.quote = (data[0] & kQuoteBit) != 0 ? 1 : 0;
    std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    readAndWalk(text, options);
    runExport(text, options);
    return 0;
}
