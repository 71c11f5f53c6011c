// Arbitrary bytes as a record pattern file (read with every code option), as a record for the keyword choice, and
// through the numeric and trimming functions on buffers of exactly the sizes they are given.
#include <algorithm>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "general.h"
#include "numeric.h"
#include "pattern.h"

namespace {

using fuzzsupport::check;
using Bytes = std::vector<std::uint8_t>;

// Separates the pattern from the record bytes in the numeric part.
constexpr std::uint8_t kSplit = 0xFF;
// Longer zoned runs than this find no room, which is a case to cover too.
constexpr std::size_t kRoomyOutput = 80;

void checkList(const vokl::PatternList& list) {
    check(!list.entries.empty() && list.multi == (list.entries.size() > 1));
    std::int32_t maxRecord = 0, maxPattern = 0;
    for (const vokl::PatternEntry& e : list.entries) {
        check(e.patternLen == static_cast<std::int32_t>(e.pattern.size()) && e.patternLen > 0);
        check(e.keywordLen == static_cast<std::int32_t>(e.keyword.size()) && e.keyword.find('\0') == std::string::npos);
        check(std::int64_t{e.keywordPos} + e.keywordLen - 1 <= e.patternLen && e.recordLen >= 0 && e.recordLen <= e.patternLen);
        check(!list.multi || (e.keywordPos > 0 && e.keywordLen > 0));
        maxRecord = std::max(maxRecord, e.recordLen), maxPattern = std::max(maxPattern, e.patternLen);
    }
    check(maxRecord == list.maxRecordLen && maxPattern == list.maxPatternLen);
}

void readPatterns(const std::uint8_t* data, std::size_t size) {
    fuzzsupport::ScratchDir dir("fuzz_pattern");
    const std::string path = dir.file("p.ptn"), logPath = dir.file("log.txt");
    fuzzsupport::writeFile(path, data, size);
    const Bytes record(data, data + size);  // on the heap, so that any look past it shows
    for (std::int32_t option : {1, 2, 3}) {
        vokl::Log log;
        log.create(logPath.c_str());
        vokl::PatternList list;
        const std::int32_t rc = vokl::readPatternFile(log, path.c_str(), option, list);
        check(rc == 0 || rc == -2 || rc == -17 || rc == -30);
        check((rc == 0) != list.entries.empty());
        if (rc != 0) continue;
        checkList(list);
        for (bool skip : {true, false})
            check(&vokl::choosePattern(list, record.data(), size, skip) == &vokl::choosePatternReference(list, record.data(), size, skip));
    }
}

// A run described once and formatted from the description reads as the
// scanning functions read it, whenever all its bytes are there.
void sameAsDescribed(std::string_view run, const Bytes& record) {
    vokl::NumericRun described;
    if (!vokl::describeNumericRun(run, described) || record.size() < described.bytes) return;
    const bool zoned = described.letter == 'S';
    std::vector<char> expected(described.length + 1), actual(described.length + 1);
    const vokl::NumericResult r = zoned ? vokl::zonedToText(run, record.data(), record.size(), expected.data(), expected.size())
                                        : vokl::packedToText(run, record.data(), record.size(), expected.data(), expected.size());
    check(r.status == vokl::NumericStatus::Ok && r.bytesUsed == described.bytes, "described run refused");
    const std::size_t length = zoned ? vokl::zonedRunToText(described, record.data(), actual.data())
                                     : vokl::packedRunToText(described, run, record.data(), actual.data());
    check(length == r.textLen && std::equal(actual.begin(), actual.begin() + static_cast<std::ptrdiff_t>(length), expected.begin()),
          "described run differs");
}

void numbers(const std::uint8_t* data, std::size_t size) {
    const std::size_t split = std::find(data, data + size, kSplit) - data;
    const std::string pattern(reinterpret_cast<const char*>(data), split);
    const Bytes record(data + std::min(split + 1, size), data + size);
    for (std::size_t p = 0; p < pattern.size(); ++p) {
        if (pattern[p] != 'S' && pattern[p] != 'C' && pattern[p] != 'P') continue;
        const std::string_view run(pattern.data() + p, pattern.size() - p);
        const std::size_t roomy = std::min(run.size() + 1, kRoomyOutput);
        for (std::size_t capacity : {roomy, roomy / 2}) {
            std::vector<char> out(capacity);
            const std::uint8_t* bytes = record.empty() ? nullptr : record.data();
            for (auto convert : {vokl::zonedToText, vokl::packedToText}) {
                const vokl::NumericResult r = convert(run, bytes, record.size(), out.data(), out.size());
                check(r.status != vokl::NumericStatus::Ok ||
                      (r.textLen <= capacity && r.bytesUsed <= record.size() && r.patternUsed >= 1 && r.patternUsed <= run.size()));
            }
        }
        sameAsDescribed(run, record);
    }
}

void trims(const std::uint8_t* data, std::size_t size) {
    for (std::int32_t flags = 0; flags < 16; ++flags) {
        std::vector<char> text(data, data + size), plain(data, data + size);
        const std::size_t length = vokl::trimItems(text.data(), size, flags);
        check(length == vokl::trimItemsReference(plain.data(), size, flags) &&
                  std::equal(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length), plain.begin()),
              "trimItems differs from the plain walk");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    readPatterns(data, size);
    numbers(data, size);
    trims(data, size);
    return 0;
}
