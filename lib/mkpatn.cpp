#include "mkpatn.h"

#include <new>

#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <system_error>
#include <vector>

#include "messages.h"

namespace vokl {

namespace {

constexpr std::int32_t kCommaSeparator = 1;
constexpr std::int32_t kBlankSeparator = 2;
constexpr std::int32_t kQuoteFields = 1;
constexpr char kQuote = '"';
constexpr char kNoSeparator = '\0';
constexpr std::string_view kLineEnd = "\r\n";

// The copybook's size from its status, without opening it.
bool statSize(const char* path, std::int64_t& size) {
    if (path == nullptr) return false;
#ifdef _WIN32
    struct _stat64 st;
    if (_stat64(path, &st) != 0) return false;
#else
    struct stat st;
    if (::stat(path, &st) != 0) return false;
#endif
    size = static_cast<std::int64_t>(st.st_size);
    return true;
}

bool isCharacterKind(char kind) { return kind == 'X' || kind == 'A' || kind == 'N'; }

// One pattern line under assembly. Every addition is checked first, so the
// line with its line feed never grows past kPatternLineCapacity.
class LineBuilder {
public:
    explicit LineBuilder(const PatternOptions& options)
        : separator_(options.separator == kCommaSeparator   ? ','
                     : options.separator == kBlankSeparator ? ' '
                                                            : kNoSeparator),
          quote_(options.quote == kQuoteFields) {}

    std::size_t size() const { return text_.size(); }

    // The item's characters, times in a row; false when they do not fit.
    bool addField(const CopyItem& item, std::int64_t times) {
        bool quoted = quote_ && isCharacterKind(item.kind);
        std::int64_t symbols = item.kind == 'N' ? 2 * static_cast<std::int64_t>(item.length) : item.length;
        std::int64_t body = symbols + (item.point == 'V' ? 1 + static_cast<std::int64_t>(item.decimals) : 0) +
                            (quoted ? 2 : 0);
        std::int64_t each = body + separatorBytes();
        if (each > static_cast<std::int64_t>(kPatternLineCapacity) || !fits(each * times)) return false;

        std::string field;
        if (quoted) field += kQuote;
        field.append(static_cast<std::size_t>(symbols), item.kind);
        if (item.point == 'V') {
            field += '.';
            field.append(static_cast<std::size_t>(item.decimals), item.kind);
        }
        if (quoted) field += kQuote;
        if (separator_ != kNoSeparator) field += separator_;
        for (std::int64_t i = 0; i < times; ++i) text_ += field;
        anyField_ = anyField_ || times > 0;
        return true;
    }

    // Appends what was written from offset from onwards, times more.
    bool repeat(std::size_t from, std::int64_t times) {
        if (times <= 0 || from >= text_.size()) return true;
        std::string segment = text_.substr(from);
        if (!fits(static_cast<std::int64_t>(segment.size()) * times)) return false;
        for (std::int64_t i = 0; i < times; ++i) text_ += segment;
        return true;
    }

    // The separator after the last field gives way to the line end.
    std::string finish() {
        if (separator_ != kNoSeparator && anyField_) text_.pop_back();
        return std::move(text_);
    }

private:
    std::int64_t separatorBytes() const { return separator_ != kNoSeparator ? 1 : 0; }
    // A trailing separator will become the line feed; without separators the
    // line feed still needs its byte.
    bool fits(std::int64_t added) const {
        return static_cast<std::int64_t>(text_.size()) + added + (1 - separatorBytes()) <=
               static_cast<std::int64_t>(kPatternLineCapacity);
    }

    std::string text_;
    char separator_;
    bool quote_;
    bool anyField_ = false;
};

std::size_t pastSubordinates(const CopyItems& items, std::size_t index) {
    std::size_t next = index + 1;
    // Checked reads: a slip past the last item fails the call instead of reading on.
    while (next < items.size() && items.at(next).level > items[index].level) ++next;
    return next;
}

// Record bytes of one occurrence of an elementary item.
std::int64_t fieldBytes(const CopyItem& item) {
    const std::int64_t symbols = static_cast<std::int64_t>(item.length) + item.decimals;
    if (item.kind == 'C') return symbols / 2 + 1;
    return item.kind == 'N' ? 2 * symbols : symbols;
}

// SYNCHRONIZED items that a compiler would move to their boundary with slack
// bytes before them. The pattern has no slack bytes; each such item is named
// once in the log.
class SyncCheck {
public:
    SyncCheck(Log& log, const CopyItems& items, bool active)
        : log_(log), items_(items), noticed_(active ? items.size() : 0) {}

    void at(std::size_t index, std::int64_t offset) {
        const std::int32_t align = items_[index].align;
        if (align > 0 && offset % align != 0) notice(index);
    }
    void notice(std::size_t index) {
        if (index >= noticed_.size() || noticed_[index]) return;
        noticed_[index] = true;
        log_.line(msg::kMsgCopyUnsupportedSync, items_[index].name.c_str());
    }

private:
    Log& log_;
    const CopyItems& items_;
    std::vector<bool> noticed_;
};

std::int32_t lineTooLong(Log& log, const CopyItem& item) {
    log.line(msg::kMsgPatternLineTooLong, item.name.c_str());
    return VOKL_ECOPYBOOK_SYNTAX;
}

// Walks the items from the first one, leaving out those marked leaveOut
// with their subordinates. A repeated group starts a nested walk at the item
// after it; its first repetition is walked and the others copy what it wrote,
// since every repetition walks the same items the same way. Nested walks
// live on an explicit stack, so deep nesting cannot exhaust the call stack.
// The first walk also follows the record's byte offsets for the SYNCHRONIZED
// items; a repeated group moves the items of its later repetitions by its own
// size.
std::int32_t walk(Log& log, const CopyItems& items, char leaveOut, LineBuilder& line, bool& leftOut) {
    struct Nested {
        std::int32_t baseLevel;
        std::size_t group;
        std::size_t outputStart;
        bool leftOut;
        std::int64_t offsetStart = 0;
        std::int32_t align = 0;  // the largest boundary of a SYNCHRONIZED item inside
        std::size_t alignedItem = 0;
    };
    SyncCheck sync(log, items, leaveOut == 'D');
    std::int64_t offset = 0;
    leftOut = false;
    if (items.empty()) return 0;
    // The outermost walk takes in every item: an entry with a lower level
    // than the first one (a 01 after a 77) would otherwise end the record
    // there and drop the rest without a word.
    std::int32_t lowest = items.front().level;
    for (const CopyItem& item : items) lowest = std::min(lowest, item.level);
    std::vector<Nested> walks{{lowest, 0, 0, false}};
    std::size_t cursor = 0;
    for (;;) {
        if (cursor < items.size() && items[cursor].level >= walks.back().baseLevel) {
            const CopyItem& item = items[cursor];
            if (item.mark == leaveOut) {
                walks.back().leftOut = true;
                cursor = pastSubordinates(items, cursor);
            } else if (item.elementary()) {
                const std::int64_t times = item.occurs > 0 ? item.occurs : 1;
                if (!line.addField(item, times)) return lineTooLong(log, item);
                sync.at(cursor, offset);
                if (item.align > walks.back().align) {
                    walks.back().align = item.align;
                    walks.back().alignedItem = cursor;
                }
                if (times > 1 && fieldBytes(item) % std::max(item.align, 1) != 0) sync.notice(cursor);
                offset += fieldBytes(item) * times;
                ++cursor;
            } else if (item.occurs > 0 && cursor + 1 < items.size()) {
                walks.push_back({items.at(cursor + 1).level, cursor, line.size(), false, offset});
                ++cursor;
            } else {
                ++cursor;
            }
            continue;
        }
        Nested done = walks.back();
        walks.pop_back();
        if (walks.empty()) {
            leftOut = done.leftOut;
            return 0;
        }
        const CopyItem& group = items[done.group];
        if (!line.repeat(done.outputStart, static_cast<std::int64_t>(group.occurs) - 1)) return lineTooLong(log, group);
        walks.back().leftOut = walks.back().leftOut || done.leftOut;
        const std::int64_t size = offset - done.offsetStart;
        if (done.align > 0 && group.occurs > 1 && size % done.align != 0) sync.notice(done.alignedItem);
        offset += size * (group.occurs - 1);
        if (done.align > walks.back().align) {
            walks.back().align = done.align;
            walks.back().alignedItem = done.alignedItem;
        }
    }
}

bool writeLine(File& file, const std::string& line) {
    std::string out = line;
    out += kLineEnd;
    return file.write(out.data(), out.size());
}

}  // namespace

std::int32_t buildPatternLines(Log& log, const CopyItems& items, const PatternOptions& options,
                               PatternLines& lines) {
    // First line: the redefined items in place; second: the redefining ones.
    LineBuilder first(options);
    bool leftOut = false;
    if (std::int32_t rc = walk(log, items, 'D', first, leftOut)) return rc;
    lines.first = first.finish();
    lines.hasSecond = leftOut;
    if (!leftOut) return 0;
    LineBuilder second(options);
    if (std::int32_t rc = walk(log, items, 'S', second, leftOut)) return rc;
    lines.second = second.finish();
    return 0;
}

std::int32_t recordSize(std::string_view line) {
    std::int32_t size = 0;
    std::int32_t packedRun = 0;
    auto closeRun = [&] {
        if (packedRun > 0) size += packedRun / 2 + 1;
        packedRun = 0;
    };
    for (char c : line) {
        switch (c) {
        case 'N': case 'X': case 'A': case '9': case 'S':
            ++size;
            closeRun();
            break;
        case 'C': ++packedRun; break;
        case '.': break;
        default: closeRun(); break;
        }
    }
    closeRun();
    return size;
}

std::int32_t makePattern(Log& log, const PatternOptions& options, const char* copybookPath, const char* patternPath,
                         const ReadBytes* source) {
    std::int64_t copybookSize = 0;
    if (!statSize(copybookPath, copybookSize)) {
        log.line(msg::kMsgNotFound, shownPath(copybookPath));
        return VOKL_ECOPYBOOK_OPEN;
    }
    if (const FileKind kind = fileKind(copybookPath); kind != FileKind::Regular && kind != FileKind::Directory) {
        log.line(notFileMessage(kind), shownPath(copybookPath));
        return VOKL_ECOPYBOOK_OPEN;
    }
    if (copybookSize == 0) {
        log.line(msg::kMsgSizeZero, shownPath(copybookPath));
        return VOKL_ECOPYBOOK_EMPTY;
    }

    CopyItems items;
    std::vector<std::string> members;
    std::int32_t readResult = source != nullptr ? readCopybookFrom(log, copybookPath, *source, items, &members)
                                                : readCopybook(log, copybookPath, items, &members);
    if (readResult != 0 && readResult != VOKL_EUNSUPPORTED_ITEM) return readResult;

    // The lines are made before the file is created, so a copybook refused
    // for its size leaves no pattern file behind, like any analysis error.
    resolveRedefines(items);
    PatternLines lines;
    if (std::int32_t rc = buildPatternLines(log, items, options, lines)) return rc;

    File pattern;
    bool namesARead = sameExistingFile(copybookPath, patternPath);
    for (const std::string& member : members) namesARead = namesARead || sameExistingFile(member.c_str(), patternPath);
    if (namesARead || !pattern.open(patternPath, File::Mode::WriteBinary)) {
        log.line(msg::kMsgCannotOpen, shownPath(patternPath));
        return VOKL_EPATTERN_OPEN;
    }
    bool written = writeLine(pattern, lines.first) && (!lines.hasSecond || writeLine(pattern, lines.second));
    // Closing flushes: a full disk may show only now.
    if (!pattern.close() || !written) {
        log.line(msg::kMsgOutputFailed, shownPath(patternPath));
        return VOKL_EPATTERN_WRITE;
    }
    if (readResult == VOKL_EUNSUPPORTED_ITEM) return VOKL_EUNSUPPORTED_ITEM;
    return recordSize(lines.hasSecond ? lines.second : lines.first);
}

}  // namespace vokl

extern "C" VOKL_API int32_t VOKL_CALL mkpatn(int32_t logSwitch, int32_t separator, int32_t quote,
                                             const char* copybookPath, const char* patternPath, const char* logPath) {
    // The log may not name a member either: members are read too.
    std::vector<std::string> members;
    std::vector<const char*> reads;
    try {
        members = vokl::copybookMembers(copybookPath);
        reads.push_back(copybookPath);
        for (const std::string& member : members) reads.push_back(member.c_str());
    } catch (const std::bad_alloc&) {
        return VOKL_ENOMEM;
    }
    return vokl::runExport(logSwitch, logPath, reads, [&](vokl::Log& log) {
        return vokl::makePattern(log, vokl::PatternOptions{separator, quote}, copybookPath, patternPath);
    });
}
