#include "copybook.h"

#include <array>
#include <limits>
#include <string_view>
#include <unordered_map>

#include "messages.h"

namespace vokl {

namespace {

constexpr char kBlank = ' ';
constexpr char kPeriod = '.';
constexpr char kComment = '*';
constexpr std::size_t kMinSequenceDigits = 3;
constexpr std::int32_t kMaxPackedDigits = 18;
constexpr std::int32_t kMaxHalfwordDigits = 4;
constexpr std::int32_t kMaxFullwordDigits = 9;
constexpr std::int32_t kHalfwordBytes = 2;
constexpr std::int32_t kFullwordBytes = 4;
constexpr std::int32_t kDoublewordBytes = 8;
constexpr std::size_t kReadBlock = 4096;

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isPictureSymbol(char c) { return c == '9' || c == 'X' || c == 'A' || c == 'N'; }

// Hands out the copybook in pieces of at most kCopyPieceChars characters. A
// line feed, or a carriage return and line feed, ends a line and belongs to
// no piece; a last line without one is taken whole.
class PieceReader {
public:
    explicit PieceReader(const ReadBytes& read) : read_(read) {}

    // 1: a piece is in out; 0: the end of the copybook; -1: a read error.
    int next(std::string& out) {
        out.clear();
        bool any = false;
        while (out.size() < kCopyPieceChars) {
            int c = get();
            if (c == kError) return -1;
            if (c == kEnd) return any ? 1 : 0;
            any = true;
            if (c == '\n') return 1;
            if (c == '\r') {
                int following = peek();
                if (following == kError) return -1;
                if (following == '\n') {
                    get();
                    return 1;
                }
            }
            out += static_cast<char>(c);
        }
        return 1;
    }

private:
    static constexpr int kEnd = -1;
    static constexpr int kError = -2;

    int peek() {
        if (pos_ == size_ && !fill()) return failed_ ? kError : kEnd;
        return static_cast<unsigned char>(block_[pos_]);
    }
    int get() {
        int c = peek();
        if (c >= 0) ++pos_;
        return c;
    }
    bool fill() {
        if (ended_) return false;
        std::int64_t got = read_(block_.data(), block_.size());
        if (got <= 0) {
            ended_ = true;
            failed_ = got < 0;
            return false;
        }
        pos_ = 0;
        size_ = static_cast<std::size_t>(got);
        return true;
    }

    const ReadBytes& read_;
    std::array<char, kReadBlock> block_{};
    std::size_t pos_ = 0;
    std::size_t size_ = 0;
    bool ended_ = false;
    bool failed_ = false;
};

enum class State { Level, Name, Clauses, PictureStart, Picture, Value };

// Reads the entries of one copybook, one line of text at a time. The state
// and the item under construction carry an entry over to the next line.
class EntryReader {
public:
    EntryReader(Log& log, CopyItems& items) : log_(log), items_(items) {}

    std::int32_t line(std::string_view piece);
    std::int32_t finish();

private:
    std::int32_t parse();
    std::int32_t levelNumber(std::size_t& pos);
    void dataName(std::size_t& pos);
    std::int32_t clause(std::size_t& pos);
    std::int32_t redefinesClause(std::size_t& pos);
    std::int32_t occursClause(std::size_t& pos);
    std::int32_t binaryUsage(std::size_t& pos, std::size_t keywordLength);
    std::int32_t pictureStart(std::size_t& pos);
    std::int32_t pictureSymbol(std::size_t& pos);
    std::int32_t repeatCount(std::size_t& pos);

    std::int32_t error(const char* format) {
        log_.line(format, text_.c_str());
        return VOKL_ECOPYBOOK_SYNTAX;
    }
    bool atEnd(std::size_t pos) const { return pos >= text_.size(); }
    bool startsWith(std::size_t pos, std::string_view word) const {
        return std::string_view(text_).substr(pos).substr(0, word.size()) == word;
    }
    void skipBlanks(std::size_t& pos) const {
        while (!atEnd(pos) && text_[pos] == kBlank) ++pos;
    }
    std::string wordAt(std::size_t& pos) const;
    bool number(std::size_t& pos, std::int32_t& value) const;
    std::int32_t countUp(std::int32_t& counter);

    Log& log_;
    CopyItems& items_;
    std::string text_;
    State state_ = State::Level;
    CopyItem item_;
    std::int32_t result_ = 0;
};

// line: [sequence-digits] ( "*" comment | text ) ; blank lines are skipped
std::int32_t EntryReader::line(std::string_view piece) {
    std::size_t start = 0;
    if (!piece.empty() && isDigit(piece.front())) {
        std::size_t digits = 0;
        while (digits < piece.size() && isDigit(piece[digits])) ++digits;
        if (digits == piece.size()) {
            log_.line(msg::kMsgCopyDigitsOnlyLine, std::string(piece).c_str());
            return VOKL_ECOPYBOOK_SYNTAX;
        }
        if (digits >= kMinSequenceDigits) start = digits;
    } else {
        while (start < piece.size() && piece[start] == kBlank) ++start;
    }
    std::string_view text = piece.substr(start);
    if (!text.empty() && text.front() == kComment) return 0;
    if (text.find_first_not_of(kBlank) == std::string_view::npos) return 0;

    text_.assign(text);
    if (state_ == State::Level) item_ = CopyItem{};
    std::int32_t rc = parse();
    if (rc != 0) return rc;
    if (state_ == State::Level) items_.push_back(std::move(item_));
    return 0;
}

std::int32_t EntryReader::finish() {
    // An entry that the end of the file cut off before its period still
    // describes part of the record: keep it as if the period were there.
    if (state_ != State::Level) {
        items_.push_back(std::move(item_));
        state_ = State::Level;
    }
    return result_;
}

// entry-text: { blank | token } ; a period after a token ends the entry and
// the rest of the text is ignored
std::int32_t EntryReader::parse() {
    std::size_t pos = 0;
    // A VALUE literal never begins with a bare period: a period opening the
    // line ends the clause, instead of swallowing the entries that follow.
    if (state_ == State::Value && text_.front() == kPeriod) {
        state_ = State::Level;
        return 0;
    }
    for (;;) {
        if (text_[pos] == kBlank) {
            ++pos;
        } else {
            std::int32_t rc = 0;
            switch (state_) {
            case State::Level: rc = levelNumber(pos); break;
            case State::Name: dataName(pos); break;
            case State::Clauses: rc = clause(pos); break;
            case State::PictureStart: rc = pictureStart(pos); break;
            case State::Picture: rc = pictureSymbol(pos); break;
            case State::Value: ++pos; break;
            }
            if (rc != 0) return rc;
        }
        if (atEnd(pos)) return 0;
        if (text_[pos] == kPeriod) {
            state_ = State::Level;
            return 0;
        }
    }
}

// Digits as a 32-bit value; false when they do not fit (pos is then past them).
bool EntryReader::number(std::size_t& pos, std::int32_t& value) const {
    std::int64_t n = 0;
    bool fits = true;
    for (; !atEnd(pos) && isDigit(text_[pos]); ++pos) {
        n = n * 10 + (text_[pos] - '0');
        if (n > std::numeric_limits<std::int32_t>::max()) {
            fits = false;
            n = 0;
        }
    }
    value = static_cast<std::int32_t>(n);
    return fits;
}

std::int32_t EntryReader::countUp(std::int32_t& counter) {
    if (counter == std::numeric_limits<std::int32_t>::max()) return error(msg::kMsgCopyNumberTooLarge);
    ++counter;
    return 0;
}

// Characters up to the next blank, period or the end of the text.
std::string EntryReader::wordAt(std::size_t& pos) const {
    std::size_t start = pos;
    while (!atEnd(pos) && text_[pos] != kBlank && text_[pos] != kPeriod) ++pos;
    return text_.substr(start, pos - start);
}

// level-number: digit { digit }
std::int32_t EntryReader::levelNumber(std::size_t& pos) {
    if (!isDigit(text_[pos])) return error(msg::kMsgCopyNoLevel);
    if (!number(pos, item_.level)) return error(msg::kMsgCopyNumberTooLarge);
    state_ = State::Name;
    return 0;
}

// data-name: { character other than blank and period }
void EntryReader::dataName(std::size_t& pos) {
    item_.name = wordAt(pos);
    state_ = State::Clauses;
}

// clause: USAGE | IS | TIMES | SIGN | TRAILING | VALUE value | PIC[TURE] picture
//       | REDEFINES name | OCCURS count | COMP-3 | PACKED-DECIMAL
//       | COMP[UTATIONAL] | BINARY | "V" picture   (each a prefix of the text)
std::int32_t EntryReader::clause(std::size_t& pos) {
    for (std::string_view word : {"USAGE", "IS", "TIMES", "SIGN", "TRAILING"}) {
        if (startsWith(pos, word)) {
            pos += word.size();
            return 0;
        }
    }
    if (startsWith(pos, "VALUE")) {
        pos += std::string_view("VALUE").size();
        state_ = State::Value;
        return 0;
    }
    if (startsWith(pos, "PIC")) {
        pos += std::string_view(startsWith(pos, "PICTURE") ? "PICTURE" : "PIC").size();
        state_ = State::PictureStart;
        return 0;
    }
    if (startsWith(pos, "REDEFINES")) return redefinesClause(pos);
    if (startsWith(pos, "OCCURS")) return occursClause(pos);
    for (std::string_view word : {"COMP-3", "PACKED-DECIMAL"}) {
        if (startsWith(pos, word)) {
            if (item_.length > kMaxPackedDigits) return error(msg::kMsgCopyComp3TooLong);
            item_.kind = 'C';
            pos += word.size();
            return 0;
        }
    }
    for (std::string_view word : {"COMPUTATIONAL", "COMP", "BINARY"}) {
        if (startsWith(pos, word)) return binaryUsage(pos, word.size());
    }
    if (text_[pos] == 'V') {
        if (item_.point == 'V') return error(msg::kMsgCopyPictureCombination);
        item_.point = 'V';
        ++pos;
        state_ = State::PictureStart;
        return 0;
    }
    return error(msg::kMsgCopyUnknownKeyword);
}

// redefines: "REDEFINES" { blank } name
std::int32_t EntryReader::redefinesClause(std::size_t& pos) {
    pos += std::string_view("REDEFINES").size();
    skipBlanks(pos);
    if (atEnd(pos)) return error(msg::kMsgCopyRedefinesNoName);
    item_.redefines = wordAt(pos);
    return 0;
}

// occurs: "OCCURS" { blank } digit { digit }
std::int32_t EntryReader::occursClause(std::size_t& pos) {
    pos += std::string_view("OCCURS").size();
    skipBlanks(pos);
    if (atEnd(pos) || !isDigit(text_[pos])) return error(msg::kMsgCopyOccursNoCount);
    if (!number(pos, item_.occurs)) return error(msg::kMsgCopyNumberTooLarge);
    return 0;
}

// Binary items are sized but not converted: the reading goes on and ends in -4.
std::int32_t EntryReader::binaryUsage(std::size_t& pos, std::size_t keywordLength) {
    if (item_.length > kMaxPackedDigits) return error(msg::kMsgCopyCompTooLong);
    if (item_.length <= kMaxHalfwordDigits) {
        item_.length = kHalfwordBytes;
    } else if (item_.length <= kMaxFullwordDigits) {
        item_.length = kFullwordBytes;
    } else {
        item_.length = kDoublewordBytes;
    }
    item_.kind = 'X';
    pos += keywordLength;
    log_.line(msg::kMsgCopyUnsupportedBinary, text_.c_str());
    result_ = VOKL_EUNSUPPORTED_ITEM;
    return 0;
}

// picture-start: ( "9" | "X" | "A" | "N" ) | "S" "9"
std::int32_t EntryReader::pictureStart(std::size_t& pos) {
    char c = text_[pos];
    if (isPictureSymbol(c)) {
        if (item_.point == 'V') {
            item_.decimals = 1;
        } else {
            item_.kind = c;
            item_.length = 1;
        }
        ++pos;
        // "PIC X VALUE ..." : a lone symbol before a blank is the whole picture.
        state_ = !atEnd(pos) && text_[pos] == kBlank ? State::Clauses : State::Picture;
        return 0;
    }
    if (c == 'S') {
        if (item_.kind == 'S') return error(msg::kMsgCopySignTwice);
        if (atEnd(pos + 1) || text_[pos + 1] != '9') return error(msg::kMsgCopySignWithout9);
        item_.kind = 'S';
        ++pos;
        state_ = State::Picture;
        return 0;
    }
    return error(msg::kMsgCopyPictureBadKind);
}

// picture-rest: { "9" | "X" | "A" | "N" | "V" } [ "(" count ")" ]
std::int32_t EntryReader::pictureSymbol(std::size_t& pos) {
    char c = text_[pos];
    if (c == '(') return repeatCount(pos);
    if (isPictureSymbol(c)) {
        if (item_.point == 'V') {
            if (std::int32_t rc = countUp(item_.decimals)) return rc;
        } else {
            if (item_.kind != 'S' && c != item_.kind) return error(msg::kMsgCopyPictureCombination);
            if (std::int32_t rc = countUp(item_.length)) return rc;
        }
        ++pos;
        if (!atEnd(pos) && text_[pos] == kBlank) state_ = State::Clauses;
        return 0;
    }
    if (c == 'V') {
        if (item_.point == 'V') return error(msg::kMsgCopyPictureCombination);
        item_.point = 'V';
        ++pos;
        return 0;
    }
    return error(msg::kMsgCopyPictureBadChar);
}

// repeat: "(" { blank } digit { digit } { blank } ")"
std::int32_t EntryReader::repeatCount(std::size_t& pos) {
    ++pos;
    skipBlanks(pos);
    if (atEnd(pos) || !isDigit(text_[pos])) return error(msg::kMsgCopyParenNotDigit);
    std::int32_t n = 0;
    if (!number(pos, n)) return error(msg::kMsgCopyNumberTooLarge);
    (item_.point == 'V' ? item_.decimals : item_.length) = n;
    skipBlanks(pos);
    if (atEnd(pos) || text_[pos] != ')') return error(msg::kMsgCopyNoCloseParen);
    ++pos;
    state_ = State::Clauses;
    return 0;
}

}  // namespace

std::int32_t readCopybookFrom(Log& log, const char* path, const ReadBytes& read, CopyItems& items) {
    PieceReader pieces(read);
    EntryReader entries(log, items);
    std::string piece;
    int got = 0;
    while ((got = pieces.next(piece)) > 0) {
        if (std::int32_t rc = entries.line(piece)) return rc;
    }
    if (got < 0) {
        // Not the end of the copybook: the rest of the record is unknown.
        log.line(msg::kMsgReadFailed, shownPath(path));
        return VOKL_ECOPYBOOK_OPEN;
    }
    return entries.finish();
}

std::int32_t readCopybook(Log& log, const char* path, CopyItems& items) {
    File file;
    if (!file.open(path, File::Mode::ReadBinary)) {
        log.line(msg::kMsgCannotOpen, shownPath(path));
        return VOKL_ECOPYBOOK_OPEN;
    }
    return readCopybookFrom(log, path, [&file](char* buffer, std::size_t size) { return file.read(buffer, size); },
                            items);
}

void resolveRedefines(CopyItems& items) {
    // The first item of each name, so that long copybooks are not searched
    // from the start for every clause.
    std::unordered_map<std::string_view, std::size_t> firstByName;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (!items[i].name.empty()) firstByName.emplace(items[i].name, i);
    }
    for (CopyItem& item : items) {
        if (!item.redefines) continue;
        auto found = firstByName.find(*item.redefines);
        if (found != firstByName.end()) items[found->second].mark = 'S';
        item.mark = 'D';
    }
}

}  // namespace vokl
