// Arbitrary bytes as a record pattern file (read with every code option),
// as a record for the keyword choice, and through the numeric and trimming
// functions on buffers of exactly the sizes they are given.
#include <algorithm>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "general.h"
#include "numeric.h"
#include "pattern.h"

namespace {

using fuzzsupport::check;
using fuzzsupport::ScratchDir;

constexpr std::int32_t kCodeOptions[] = {1, 2, 3};
constexpr std::int32_t kAllTrimFlags = 16;
// Separates the pattern from the record bytes in the numeric part.
constexpr std::uint8_t kSplit = 0xFF;
// Longer zoned runs than this find no room, which is a case to cover too.
constexpr std::size_t kRoomyOutput = 80;

void checkList(const vokl::PatternList& list) {
    check(!list.entries.empty());
    check(list.multi == (list.entries.size() > 1));
    std::int32_t maxRecord = 0;
    std::int32_t maxPattern = 0;
    for (const vokl::PatternEntry& e : list.entries) {
        check(e.patternLen == static_cast<std::int32_t>(e.pattern.size()) && e.patternLen > 0);
        check(e.keywordLen == static_cast<std::int32_t>(e.keyword.size()));
        check(e.keyword.find('\0') == std::string::npos);
        check(std::int64_t{e.keywordPos} + e.keywordLen - 1 <= e.patternLen);
        check(e.recordLen >= 0 && e.recordLen <= e.patternLen);
        if (list.multi) check(e.keywordPos > 0 && e.keywordLen > 0);
        maxRecord = std::max(maxRecord, e.recordLen);
        maxPattern = std::max(maxPattern, e.patternLen);
    }
    check(maxRecord == list.maxRecordLen && maxPattern == list.maxPatternLen);
}

void chooseOver(const vokl::PatternList& list, const std::uint8_t* data, std::size_t size) {
    // Exactly the record's bytes on the heap, so that any look past them shows.
    std::vector<std::uint8_t> record(data, data + size);
    for (bool skip : {true, false}) {
        const vokl::PatternEntry& chosen = vokl::choosePattern(list, record.data(), record.size(), skip);
        check(&chosen == &vokl::choosePatternReference(list, record.data(), record.size(), skip));
    }
}

void readPatterns(const std::uint8_t* data, std::size_t size) {
    ScratchDir dir("fuzz_pattern");
    std::string path = dir.file("p.ptn");
    fuzzsupport::writeFile(path, data, size);
    std::string logPath = dir.file("log.txt");
    for (std::int32_t option : kCodeOptions) {
        vokl::Log log;
        log.create(logPath.c_str());
        vokl::PatternList list;
        std::int32_t rc = vokl::readPatternFile(log, path.c_str(), option, list);
        check(rc == 0 || rc == -2 || rc == -17 || rc == -30);
        if (rc != 0) {
            check(list.entries.empty());
            continue;
        }
        checkList(list);
        chooseOver(list, data, size);
    }
}

void checkNumeric(vokl::NumericResult r, std::size_t capacity, std::size_t byteCount, std::size_t runMax) {
    if (r.status != vokl::NumericStatus::Ok) return;
    check(r.textLen <= capacity);
    check(r.bytesUsed <= byteCount);
    check(r.patternUsed >= 1 && r.patternUsed <= runMax);
}

// A run described once and formatted from the description reads as the
// scanning functions read it, whenever all its bytes are there.
void sameAsDescribed(std::string_view run, const std::vector<std::uint8_t>& record) {
    vokl::NumericRun described;
    if (!vokl::describeNumericRun(run, described) || record.size() < described.bytes) return;
    std::vector<char> expected(described.length + 1), actual(described.length + 1);
    vokl::NumericResult r =
        described.letter == 'S'
            ? vokl::zonedToText(run, record.data(), record.size(), expected.data(), expected.size())
            : vokl::packedToText(run, record.data(), record.size(), expected.data(), expected.size());
    check(r.status == vokl::NumericStatus::Ok && r.bytesUsed == described.bytes, "described run refused");
    std::size_t length = described.letter == 'S'
                             ? vokl::zonedRunToText(described, record.data(), actual.data())
                             : vokl::packedRunToText(described, run, record.data(), actual.data());
    check(length == r.textLen && std::equal(actual.begin(), actual.begin() + static_cast<std::ptrdiff_t>(length),
                                            expected.begin()),
          "described run differs");
}

void numbers(const std::uint8_t* data, std::size_t size) {
    std::size_t split = 0;
    while (split < size && data[split] != kSplit) ++split;
    std::string pattern(reinterpret_cast<const char*>(data), split);
    std::size_t recordStart = split < size ? split + 1 : size;
    std::vector<std::uint8_t> record(data + recordStart, data + size);
    for (std::size_t p = 0; p < pattern.size(); ++p) {
        char c = pattern[p];
        if (c != 'S' && c != 'C' && c != 'P') continue;
        std::string_view run(pattern.data() + p, pattern.size() - p);
        std::size_t roomy = std::min(run.size() + 1, kRoomyOutput);
        for (std::size_t capacity : {roomy, roomy / 2}) {
            std::vector<char> out(capacity);
            const std::uint8_t* bytes = record.empty() ? nullptr : record.data();
            checkNumeric(vokl::zonedToText(run, bytes, record.size(), out.data(), out.size()), capacity,
                         record.size(), run.size());
            checkNumeric(vokl::packedToText(run, bytes, record.size(), out.data(), out.size()), capacity,
                         record.size(), run.size());
        }
        sameAsDescribed(run, record);
    }
}

void trims(const std::uint8_t* data, std::size_t size) {
    for (std::int32_t flags = 0; flags < kAllTrimFlags; ++flags) {
        std::vector<char> text(data, data + size);
        std::size_t length = vokl::trimItems(text.data(), text.size(), flags);
        check(length <= size);
        std::vector<char> plain(data, data + size);
        std::size_t plainLength = vokl::trimItemsReference(plain.data(), plain.size(), flags);
        check(length == plainLength && std::equal(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length),
                                                  plain.begin()),
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
