#include "pattern.h"

#include <cstring>
#include <limits>
#include <map>
#include <new>
#include <string_view>

#include "messages.h"
#include "numeric.h"
#include "tblank.h"

namespace vokl {

namespace {

constexpr char kColon = ':';
constexpr char kComment = '#';
constexpr char kPoint = '.';
constexpr char kQuote = '"';
constexpr std::size_t kShortestLine = 2;
constexpr std::size_t kReadBlock = 64 * 1024;
constexpr std::int64_t kMaxPosition = std::numeric_limits<std::int32_t>::max();

constexpr std::uint8_t kShiftIn = 0x28;
constexpr std::uint8_t kShiftInAlt = 0x38;
constexpr std::uint8_t kShiftOut = 0x29;

SbVariant keywordVariant(std::int32_t codeOption) {
    if (codeOption == 1) return SbVariant::Kana;
    if (codeOption == 2) return SbVariant::Lower;
    return SbVariant::Ascii;
}

// Hands out the lines of a text file in pieces of at most kPatternPieceBytes
// bytes, line feed included; CR LF is read as a line feed as a text-mode read
// would.
class PieceReader {
public:
    enum class Got { Piece, End, Error };

    explicit PieceReader(File& file) : file_(file), block_(kReadBlock) {}

    // The piece without its line feed.
    Got next(std::string& piece) {
        piece.clear();
        std::size_t counted = 0;
        for (;;) {
            int c = get();
            if (c == kError) return Got::Error;
            if (c == kEnd) return counted == 0 ? Got::End : Got::Piece;
            if (c == '\r') {
                int after = get();
                if (after == kError) return Got::Error;
                if (after == '\n') {
                    c = '\n';
                } else {
                    pending_ = after;
                }
            }
            ++counted;
            if (c == '\n') return Got::Piece;
            piece.push_back(static_cast<char>(c));
            if (counted == kPatternPieceBytes) return Got::Piece;
        }
    }

private:
    static constexpr int kEnd = -1;
    static constexpr int kError = -2;
    static constexpr int kNothing = -3;

    int get() {
        if (pending_ != kNothing) {
            int c = pending_;
            pending_ = kNothing;
            return c;
        }
        if (at_ == filled_) {
            if (ended_) return kEnd;
            std::int64_t got = file_.read(block_.data(), block_.size());
            if (got < 0) return kError;
            if (got == 0) {
                ended_ = true;
                return kEnd;
            }
            filled_ = static_cast<std::size_t>(got);
            at_ = 0;
        }
        return static_cast<unsigned char>(block_[at_++]);
    }

    File& file_;
    std::vector<char> block_;
    std::size_t at_ = 0;
    std::size_t filled_ = 0;
    bool ended_ = false;
    int pending_ = kNothing;
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool isPacked(char c) { return c == 'C' || c == 'P'; }

// The characters that end an N run without being an error.
bool isOtherPatternChar(char c) {
    switch (c) {
    case 'X': case 'S': case 'A': case '9': case ',': case ' ': case '.': case 'C': case 'P': case '"':
        return true;
    default:
        return false;
    }
}

int column(std::size_t offset) { return static_cast<int>(offset) + 1; }

// Folds to upper case and checks every character and every N run; column
// numbers count from the start of the line.
std::int32_t checkCharacters(Log& log, std::string& pattern, std::size_t patternStart) {
    std::size_t nRun = 0;
    for (std::size_t k = 0; k < pattern.size(); ++k) {
        char c = upper(pattern[k]);
        pattern[k] = c;
        if (c == 'N') {
            ++nRun;
            continue;
        }
        if (!isOtherPatternChar(c)) {
            log.line(msg::kMsgPatternBadChar, column(patternStart + k));
            return VOKL_EPATTERN_SYNTAX;
        }
        if (nRun % 2 != 0) {
            log.line(msg::kMsgPatternNOdd);
            return VOKL_EPATTERN_SYNTAX;
        }
        nRun = 0;
    }
    if (nRun % 2 != 0) {
        log.line(msg::kMsgPatternNOdd);
        return VOKL_EPATTERN_SYNTAX;
    }
    return 0;
}

// Checks one numeric run starting at `start` and returns where it ends. A run
// spans its letters and the "." (and, packed, the double quotes) between
// them, as the record length counts it; a "." after the last letter is left
// to the engine, which reports it.
std::int32_t checkNumericRun(Log& log, const std::string& pattern, std::size_t patternStart, std::size_t& at) {
    const std::size_t start = at;
    const char letter = pattern[start];
    const bool packed = isPacked(letter);
    std::size_t letters = 0;
    std::size_t points = 0;
    std::size_t firstQuote = std::string::npos;
    std::size_t k = start;
    std::size_t runEnd = start;
    while (k < pattern.size()) {
        char c = pattern[k];
        if (c == letter) {
            ++letters;
            runEnd = k + 1;
            if (firstQuote != std::string::npos) {
                log.line(msg::kMsgPatternQuoteInPacked, column(patternStart + firstQuote));
                return VOKL_EPATTERN_SYNTAX;
            }
        } else if (c == kPoint) {
            if (++points > 1) {
                // Only a problem when a letter follows; otherwise the run has
                // ended before this point.
                std::size_t j = k + 1;
                while (j < pattern.size() && (pattern[j] == kPoint || (packed && pattern[j] == kQuote))) ++j;
                if (j < pattern.size() && pattern[j] == letter) {
                    log.line(msg::kMsgPatternManyPoints, column(patternStart + k));
                    return VOKL_EPATTERN_SYNTAX;
                }
                break;
            }
        } else if (packed && c == kQuote) {
            if (firstQuote == std::string::npos) firstQuote = k;
        } else {
            break;
        }
        ++k;
    }
    if (packed && letters > kPackedMaxDigits) {
        log.line(msg::kMsgPatternPackedTooLong, column(patternStart + start));
        return VOKL_EPATTERN_SYNTAX;
    }
    at = runEnd;
    return 0;
}

std::int32_t checkNumericRuns(Log& log, const std::string& pattern, std::size_t patternStart) {
    std::size_t k = 0;
    while (k < pattern.size()) {
        char c = pattern[k];
        if (c == 'S' || isPacked(c)) {
            if (std::int32_t rc = checkNumericRun(log, pattern, patternStart, k)) return rc;
        } else {
            ++k;
        }
    }
    return 0;
}

// Record bytes of a pattern: one per X A 9 S N, n/2 + 1 per run of n C (or
// P); "." and double quotes do not end a run, anything else does.
std::int32_t recordLength(const std::string& pattern) {
    std::int64_t total = 0;
    std::int64_t run = 0;
    char runLetter = ' ';
    auto endRun = [&] {
        if (run > 0) total += run / 2 + 1;
        run = 0;
    };
    for (char c : pattern) {
        switch (c) {
        case 'X': case 'A': case '9': case 'S': case 'N':
            endRun();
            ++total;
            break;
        case 'C': case 'P':
            if (c != runLetter) {
                endRun();
                runLetter = c;
            }
            ++run;
            break;
        case '.': case '"':
            break;
        default:
            endRun();
            break;
        }
    }
    endRun();
    return static_cast<std::int32_t>(total);
}

// line := digits ":" keyword ":" pattern | pattern      (keyword: no ":")
std::int32_t parsePatternLine(Log& log, std::string_view line, const ByteTable& toEbcdic, PatternEntry& entry) {
    std::size_t digits = 0;
    while (digits < line.size() && isDigit(line[digits])) ++digits;
    if (digits == line.size()) {
        log.line(msg::kMsgPatternDigitsOnly);
        return VOKL_EPATTERN_SYNTAX;
    }

    std::size_t patternStart = 0;
    if (digits > 0 && line[digits] == kColon) {
        std::size_t keywordStart = digits + 1;
        std::size_t keywordEnd = line.find(kColon, keywordStart);
        if (keywordEnd == std::string_view::npos) {
            log.line(msg::kMsgPatternKeywordBad);
            return VOKL_EPATTERN_SYNTAX;
        }
        std::int64_t position = 0;
        for (std::size_t k = 0; k < digits && position <= kMaxPosition; ++k) {
            position = position * 10 + (line[k] - '0');
        }
        for (std::size_t k = keywordStart; k < keywordEnd; ++k) {
            std::uint8_t code = toEbcdic[static_cast<unsigned char>(line[k])];
            // An unmappable byte ends the keyword.
            if (code == 0) break;
            entry.keyword.push_back(static_cast<char>(code));
        }
        std::int64_t keywordLen = static_cast<std::int64_t>(entry.keyword.size());
        // The keyword's last byte must still be addressable in 32 bits.
        if (position + (keywordLen > 0 ? keywordLen - 1 : 0) > kMaxPosition) {
            log.line(msg::kMsgPatternKeywordPosTooLarge, column(0));
            return VOKL_EPATTERN_SYNTAX;
        }
        entry.keywordPos = static_cast<std::int32_t>(position);
        entry.keywordLen = static_cast<std::int32_t>(keywordLen);
        patternStart = keywordEnd + 1;
    }

    entry.pattern.assign(line.substr(patternStart));
    if (entry.pattern.empty()) {
        log.line(msg::kMsgPatternMissing);
        return VOKL_EPATTERN_SYNTAX;
    }
    if (std::int32_t rc = checkCharacters(log, entry.pattern, patternStart)) return rc;
    if (std::int32_t rc = checkNumericRuns(log, entry.pattern, patternStart)) return rc;
    entry.patternLen = static_cast<std::int32_t>(entry.pattern.size());

    std::int64_t keywordLast = std::int64_t{entry.keywordPos} + entry.keywordLen - 1;
    if (keywordLast > entry.patternLen) {
        log.line(msg::kMsgPatternKeywordConflict, static_cast<int>(entry.patternLen), static_cast<int>(keywordLast));
        return VOKL_EPATTERN_SYNTAX;
    }
    return 0;
}

std::int32_t readEntries(Log& log, File& file, const char* path, const ByteTable& toEbcdic, PatternList& list) {
    PieceReader reader(file);
    std::string piece;
    for (;;) {
        PieceReader::Got got = reader.next(piece);
        if (got == PieceReader::Got::Error) {
            log.line(msg::kMsgReadFailed, shownPath(path));
            return VOKL_EPATTERN_READ;
        }
        if (got == PieceReader::Got::End) break;
        if (piece.size() < kShortestLine || piece.front() == kComment) continue;
        PatternEntry entry;
        if (std::int32_t rc = parsePatternLine(log, piece, toEbcdic, entry)) return rc;
        list.entries.push_back(std::move(entry));
    }
    if (list.entries.empty()) {
        log.line(msg::kMsgPatternNoneValid, shownPath(path));
        return VOKL_EPATTERN_EMPTY;
    }
    return 0;
}

std::int32_t finishList(Log& log, PatternList& list) {
    list.multi = list.entries.size() > 1;
    if (list.multi) {
        for (const PatternEntry& entry : list.entries) {
            if (entry.keywordPos == 0 || entry.keywordLen == 0 || entry.keyword.empty()) {
                log.line(msg::kMsgPatternMultiNoKeyword);
                return VOKL_EPATTERN_SYNTAX;
            }
        }
    }
    for (PatternEntry& entry : list.entries) {
        entry.recordLen = recordLength(entry.pattern);
        if (entry.recordLen > list.maxRecordLen) list.maxRecordLen = entry.recordLen;
        if (entry.patternLen > list.maxPatternLen) list.maxPatternLen = entry.patternLen;
    }
    if (list.multi) list.index.build(list.entries);
    return 0;
}

std::int32_t readList(Log& log, const char* path, std::int32_t codeOption, PatternList& list) {
    File file;
    if (!file.open(path, File::Mode::ReadBinary)) {
        if (file.kind() == FileKind::Regular || file.kind() == FileKind::Directory) log.line(msg::kMsgOpenFailed, shownPath(path));
        else log.line(notFileMessage(file.kind()), shownPath(path));
        return VOKL_EPATTERN_OPEN;
    }
    std::int64_t size = 0;
    if (!file.size(size)) {
        log.line(msg::kMsgStatFailed, shownPath(path));
        return VOKL_EPATTERN_OPEN;
    }
    if (size == 0) {
        log.line(msg::kMsgSizeZero, shownPath(path));
        return VOKL_EPATTERN_EMPTY;
    }
    const ByteTable& toEbcdic = jis8ToEbcdic(keywordVariant(codeOption));
    if (std::int32_t rc = readEntries(log, file, path, toEbcdic, list)) return rc;
    return finishList(log, list);
}

bool isShiftCode(std::uint8_t b) { return b == kShiftIn || b == kShiftInAlt || b == kShiftOut; }

bool keywordMatches(const PatternEntry& entry, const std::uint8_t* record, std::size_t count, bool skipShiftCodes) {
    if (entry.keywordPos <= 0 || entry.keywordLen <= 0) return false;
    std::uint64_t p = static_cast<std::uint64_t>(entry.keywordPos);
    if (skipShiftCodes) {
        // Shift codes up to the keyword push it one byte further each.
        for (std::uint64_t offset = 0; offset < p && offset < count; ++offset) {
            bool packedHere = offset < entry.pattern.size() && isPacked(entry.pattern[offset]);
            if (isShiftCode(record[offset]) && !packedHere) ++p;
        }
    }
    std::uint64_t start = p - 1;
    std::uint64_t length = static_cast<std::uint64_t>(entry.keywordLen);
    if (start > count || length > count - start) return false;
    for (std::uint64_t k = 0; k < length; ++k) {
        if (record[start + k] != static_cast<std::uint8_t>(entry.keyword[k])) return false;
    }
    return true;
}

std::uint64_t keywordHash(std::uint32_t group, const std::uint8_t* bytes, std::size_t length) {
    std::uint64_t h = 0xCBF29CE484222325ULL ^ (group * 0x9E3779B97F4A7C15ULL);
    for (std::size_t k = 0; k < length; ++k) h = (h ^ bytes[k]) * 0x100000001B3ULL;
    return h ^ (h >> 29);
}

// The most shift codes that can push a keyword at `position` further: those
// in front of it, counting each one that a push brings in front. The shift
// codes an entry's pattern lets push are some of these.
std::uint64_t shiftCodesBefore(std::uint64_t position, const std::uint8_t* record, std::size_t count) {
    std::uint64_t p = position;
    for (std::uint64_t offset = 0; offset < p && offset < count; ++offset) {
        if (isShiftCode(record[offset])) ++p;
    }
    return p - position;
}

}  // namespace

void KeywordIndex::build(const std::vector<PatternEntry>& entries) {
    *this = KeywordIndex{};
    // Groups by position and length, numbered by their first entry.
    std::map<std::pair<std::uint64_t, std::uint32_t>, std::uint32_t> groupOf;
    std::vector<std::uint32_t> entryGroup(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const PatternEntry& e = entries[i];
        const auto key = std::pair{static_cast<std::uint64_t>(e.keywordPos), static_cast<std::uint32_t>(e.keywordLen)};
        auto [at, added] = groupOf.try_emplace(key, static_cast<std::uint32_t>(groups_.size()));
        if (added) groups_.push_back({key.first, key.second, static_cast<std::uint32_t>(i)});
        entryGroup[i] = at->second;
    }
    // Entries with the same group and keyword, in file order, one run each.
    std::map<std::pair<std::uint32_t, std::string_view>, std::vector<std::uint32_t>> runs;
    for (std::size_t i = 0; i < entries.size(); ++i)
        runs[{entryGroup[i], entries[i].keyword}].push_back(static_cast<std::uint32_t>(i));
    std::size_t size = 8;
    while (size < 2 * runs.size()) size *= 2;
    slots_.assign(size, Slot{});
    order_.reserve(entries.size());
    for (const auto& [key, run] : runs) {
        const std::string_view keyword = key.second;
        Slot slot;
        slot.hash = keywordHash(key.first, reinterpret_cast<const std::uint8_t*>(keyword.data()), keyword.size());
        slot.group = key.first;
        slot.first = static_cast<std::uint32_t>(order_.size());
        slot.count = static_cast<std::uint32_t>(run.size());
        order_.insert(order_.end(), run.begin(), run.end());
        std::size_t at = slot.hash & (size - 1);
        while (slots_[at].count != 0) at = (at + 1) & (size - 1);
        slots_[at] = slot;
    }
    built_ = entries.size();
}

const KeywordIndex::Slot* KeywordIndex::find(const std::vector<PatternEntry>& entries, std::uint32_t group,
                                             const std::uint8_t* bytes) const {
    const std::size_t length = groups_[group].length;
    const std::uint64_t hash = keywordHash(group, bytes, length);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash & mask; slots_[at].count != 0; at = (at + 1) & mask) {
        const Slot& slot = slots_[at];
        if (slot.hash == hash && slot.group == group &&
            std::memcmp(entries[order_[slot.first]].keyword.data(), bytes, length) == 0)
            return &slot;
    }
    return nullptr;
}

std::size_t KeywordIndex::firstMatch(const std::vector<PatternEntry>& entries, const std::uint8_t* record,
                                     std::size_t count, bool skipShiftCodes) const {
    std::size_t best = entries.size();
    for (std::uint32_t g = 0; g < groups_.size(); ++g) {
        const Group& group = groups_[g];
        if (group.lowest >= best) break;
        if (group.position == 0 || group.length == 0) continue;
        // Each start the keyword may have been pushed to is looked up; the
        // entries found there are confirmed one by one, as the plain walk would.
        const std::uint64_t pushes = skipShiftCodes ? shiftCodesBefore(group.position, record, count) : 0;
        for (std::uint64_t k = 0; k <= pushes; ++k) {
            const std::uint64_t start = group.position - 1 + k;
            if (start > count || group.length > count - start) break;
            const Slot* slot = find(entries, g, record + start);
            if (slot == nullptr) continue;
            for (std::uint32_t n = 0; n < slot->count; ++n) {
                const std::uint32_t i = order_[slot->first + n];
                if (i >= best) break;
                if (keywordMatches(entries[i], record, count, skipShiftCodes)) {
                    best = i;
                    break;
                }
            }
        }
    }
    return best;
}

std::int32_t readPatternFile(Log& log, const char* path, std::int32_t codeOption, PatternList& list) {
    list = PatternList{};
    std::int32_t rc = 0;
    try {
        rc = readList(log, path, codeOption, list);
    } catch (const std::bad_alloc&) {
        rc = reportNoMemory(log);
    }
    if (rc != 0) list = PatternList{};
    return rc;
}

const PatternEntry& choosePattern(const PatternList& list, const std::uint8_t* record, std::size_t count,
                                  bool skipShiftCodes) noexcept {
    if (!list.multi || list.entries.size() == 1) return list.entries.front();
    if (!list.index.covers(list.entries)) return choosePatternReference(list, record, count, skipShiftCodes);
    if (record == nullptr) count = 0;
    const std::size_t i = list.index.firstMatch(list.entries, record, count, skipShiftCodes);
    return i < list.entries.size() ? list.entries[i] : list.entries.back();
}

const PatternEntry& choosePatternReference(const PatternList& list, const std::uint8_t* record, std::size_t count,
                                           bool skipShiftCodes) noexcept {
    if (!list.multi || list.entries.size() == 1) return list.entries.front();
    if (record == nullptr) count = 0;
    for (const PatternEntry& entry : list.entries) {
        if (keywordMatches(entry, record, count, skipShiftCodes)) return entry;
    }
    return list.entries.back();
}

}  // namespace vokl
