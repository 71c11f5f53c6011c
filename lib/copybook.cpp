#include "copybook.h"

#include <array>
#include <filesystem>
#include <limits>
#include <string_view>
#include <system_error>
#include <unordered_map>

#include "messages.h"
#include "tbluni.h"

namespace vokl {

namespace {

constexpr char kBlank = ' ';
constexpr char kPeriod = '.';
constexpr char kComment = '*';
// DOS and Windows tools end text files with a Ctrl-Z; nothing after it counts.
constexpr char kEndOfText = 0x1A;
constexpr std::size_t kTabStop = 8;
constexpr std::size_t kMinSequenceDigits = 3;
constexpr std::size_t kSequenceArea = 6;  // columns 1-6 of the fixed format
constexpr std::size_t kIndicator = 6;     // column 7
constexpr std::size_t kAreaEnd = 72;      // columns 73 on: identification area
constexpr std::size_t kFixedLineMax = 80;
constexpr std::int32_t kMaxDigits = 18;
constexpr std::int32_t kMaxHalfwordDigits = 4;
constexpr std::int32_t kMaxFullwordDigits = 9;
constexpr std::int32_t kHalfwordBytes = 2;
constexpr std::int32_t kFullwordBytes = 4;
constexpr std::int32_t kDoublewordBytes = 8;
constexpr std::int32_t kLevelRecord = 1;
constexpr std::int32_t kLevelRenames = 66;
constexpr std::int32_t kLevelIndependent = 77;
constexpr std::int32_t kLevelConstant = 78;
constexpr std::int32_t kLevelCondition = 88;
constexpr std::size_t kReadBlock = 4096;
constexpr std::size_t kMaxLiteralPrefix = 2;  // X'..', NX'..'
// Members inside members: far more than any library has, few enough for the stack.
constexpr std::size_t kMaxMemberDepth = 64;

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isQuote(char c) { return c == '\'' || c == '"'; }
char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
bool isLeadByte(char c) {
    const auto b = static_cast<unsigned char>(c);
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
bool blankOnly(std::string_view s) { return s.find_first_not_of(kBlank) == std::string_view::npos; }

// Names and keywords ignore case; the two bytes of a double-byte character
// are compared as they are, since a trail byte may look like a letter.
bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (isLeadByte(a[i]) && i + 1 < a.size()) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
            ++i;
        } else if (upper(a[i]) != upper(b[i])) {
            return false;
        }
    }
    return true;
}

// The name as sameName compares it.
std::string nameKey(std::string_view name) {
    std::string key(name);
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (isLeadByte(key[i])) {
            ++i;
        } else {
            key[i] = upper(key[i]);
        }
    }
    return key;
}

bool startsWithWord(std::string_view text, std::string_view keyword) {
    return text.size() >= keyword.size() && sameName(text.substr(0, keyword.size()), keyword);
}

template <std::size_t N>
bool isOneOf(std::string_view word, const std::array<std::string_view, N>& words) {
    for (std::string_view w : words) {
        if (sameName(word, w)) return true;
    }
    return false;
}

std::string upperCopy(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = upper(c);
    return out;
}

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
        if (block_[pos_] == kEndOfText) {
            ended_ = true;
            pos_ = size_;
            return kEnd;
        }
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

std::string expandTabs(std::string_view piece) {
    std::string out;
    for (char c : piece) {
        if (c == '\t') {
            out.append(kTabStop - out.size() % kTabStop, kBlank);
        } else {
            out += c;
        }
    }
    return out;
}

// All lines of one copybook file; false on a read error.
bool readLines(const ReadBytes& read, std::vector<std::string>& lines) {
    PieceReader pieces(read);
    std::string piece;
    int got = 0;
    while ((got = pieces.next(piece)) > 0) lines.push_back(expandTabs(piece));
    return got == 0;
}

// A line as the fixed reference format has it: a sequence area (six
// characters, or only digits on a short line), an indicator in column 7,
// nothing past column 80. A sequence area that is partly blank would be an
// indented level number of a copybook written freely.
bool fitsFixedFormat(std::string_view line) {
    if (blankOnly(line)) return true;
    if (line.size() <= kSequenceArea) return line.find_first_not_of("0123456789 ") == std::string_view::npos;
    if (line.size() > kFixedLineMax || std::string_view(" */-Dd").find(line[kIndicator]) == std::string_view::npos) {
        return false;
    }
    std::string_view sequence = line.substr(0, kSequenceArea);
    return blankOnly(sequence) || sequence.find(kBlank) == std::string_view::npos;
}

bool isFixedFormat(const std::vector<std::string>& lines) {
    bool any = false;
    for (const std::string& line : lines) {
        if (!fitsFixedFormat(line)) return false;
        any = any || !blankOnly(line);
    }
    return any;
}

enum class FixedLine { Skip, Normal, Continuation };

// A fixed-format line as the free reading takes it: the identification area
// dropped and a sequence area that is not all digits blanked, so that
// comments and messages come out as they always have.
FixedLine fromFixedFormat(std::string_view line, std::string& out) {
    if (line.size() <= kIndicator) return FixedLine::Skip;
    std::string_view body = line.substr(kIndicator + 1, kAreaEnd - kIndicator - 1);
    switch (line[kIndicator]) {
    case '*': case '/': case 'D': case 'd': return FixedLine::Skip;  // comments and debugging lines
    case '-': out.assign(body); return FixedLine::Continuation;
    default: break;
    }
    std::string_view sequence = line.substr(0, kSequenceArea);
    bool digits = sequence.find_first_not_of("0123456789") == std::string_view::npos;
    out.assign(digits ? sequence : std::string_view("      "));
    out += kBlank;
    out += body;
    return FixedLine::Normal;
}

// Whether text ends inside a literal (a doubled quote closes and reopens it).
bool endsInLiteral(std::string_view text) {
    char open = 0;
    for (char c : text) {
        if (open == 0 && isQuote(c)) {
            open = c;
        } else if (c == open) {
            open = 0;
        }
    }
    return open != 0;
}

// A continuation line: a literal resumes after the quote that opens it, a
// word goes on without a blank.
void continueLine(std::string& text, std::string_view body) {
    std::size_t start = body.find_first_not_of(kBlank);
    if (start == std::string_view::npos) return;
    if (endsInLiteral(text)) {
        if (isQuote(body[start])) ++start;
    } else {
        text.erase(text.find_last_not_of(kBlank) + 1);
    }
    text.append(body.substr(start));
}

enum class LineKind { Skip, Text, DigitsOnly };

// line: [sequence-digits] ( "*" comment | text ) ; blank lines are skipped
LineKind classify(std::string_view piece, std::string_view& text) {
    std::size_t start = 0;
    if (!piece.empty() && isDigit(piece.front())) {
        std::size_t digits = 0;
        while (digits < piece.size() && isDigit(piece[digits])) ++digits;
        if (digits == piece.size()) return LineKind::DigitsOnly;
        if (digits >= kMinSequenceDigits) start = digits;
    } else {
        while (start < piece.size() && piece[start] == kBlank) ++start;
    }
    text = piece.substr(start);
    if (!text.empty() && text.front() == kComment) return LineKind::Skip;
    return blankOnly(text) ? LineKind::Skip : LineKind::Text;
}

enum class Usage { None, Display, National, Packed, Binary, Float4, Float8, Pointer, Index };

struct UsageWord {
    std::string_view word;
    Usage usage;
};

constexpr std::array<UsageWord, 23> kUsages{{
    {"DISPLAY", Usage::Display},        {"DISPLAY-1", Usage::National},       {"NATIONAL", Usage::National},
    {"COMP-3", Usage::Packed},          {"COMPUTATIONAL-3", Usage::Packed},   {"PACKED-DECIMAL", Usage::Packed},
    {"COMP", Usage::Binary},            {"COMPUTATIONAL", Usage::Binary},     {"BINARY", Usage::Binary},
    {"COMP-0", Usage::Binary},          {"COMPUTATIONAL-0", Usage::Binary},   {"COMP-4", Usage::Binary},
    {"COMPUTATIONAL-4", Usage::Binary}, {"COMP-5", Usage::Binary},            {"COMPUTATIONAL-5", Usage::Binary},
    {"COMP-1", Usage::Float4},          {"COMPUTATIONAL-1", Usage::Float4},   {"COMP-2", Usage::Float8},
    {"COMPUTATIONAL-2", Usage::Float8}, {"POINTER", Usage::Pointer},          {"PROCEDURE-POINTER", Usage::Pointer},
    {"FUNCTION-POINTER", Usage::Pointer}, {"INDEX", Usage::Index},
}};

// Bytes of the usages that fix an item's size whatever its picture.
std::int32_t fixedUsageBytes(Usage usage) {
    switch (usage) {
    case Usage::Float8: return kDoublewordBytes;
    case Usage::Float4: case Usage::Pointer: case Usage::Index: return kFullwordBytes;
    default: return 0;
    }
}

std::int32_t binaryBytes(std::int64_t digits) {
    if (digits <= kMaxHalfwordDigits) return kHalfwordBytes;
    return digits <= kMaxFullwordDigits ? kFullwordBytes : kDoublewordBytes;
}

// Words that only make a clause read like English.
constexpr std::array<std::string_view, 20> kNoise{
    "IS",     "ARE",  "TIMES",    "ON",       "BY",   "KEY",   "WHEN",  "CHARACTER", "RIGHT", "LEFT",
    "USAGE",  "SIGN", "EXTERNAL", "GLOBAL",   "JUST", "BLANK", "ZERO",  "ZEROS",     "ZEROES", "JUSTIFIED",
};
// Words that begin a clause: after a level number they mean the entry has
// no name; they end a list of names.
constexpr std::array<std::string_view, 23> kClauseWords{
    "BLANK",    "EXTERNAL", "GLOBAL",    "JUST",       "JUSTIFIED", "LEADING",   "TRAILING",  "SEPARATE",
    "SIGN",     "SYNC",     "SYNCHRONIZED", "USAGE",   "VALUE",     "VALUES",    "PIC",       "PICTURE",
    "REDEFINES", "RENAMES", "OCCURS",    "DEPENDING",  "ASCENDING", "DESCENDING", "INDEXED",
};
// Keywords that the reader has always taken also when text follows them
// without a blank ("PICX(5)"), in the order it tries them.
constexpr std::array<std::string_view, 15> kRunTogether{
    "USAGE", "IS", "TIMES", "SIGN", "TRAILING", "VALUE", "PICTURE", "PIC", "REDEFINES", "OCCURS",
    "COMP-3", "PACKED-DECIMAL", "COMPUTATIONAL", "COMP", "BINARY",
};
// Operands of a VALUE clause that are words.
constexpr std::array<std::string_view, 20> kValueWords{
    "ZERO",  "ZEROS", "ZEROES",  "SPACE", "SPACES", "HIGH-VALUE", "HIGH-VALUES", "LOW-VALUE", "LOW-VALUES", "QUOTE",
    "QUOTES", "NULL", "NULLS",   "ALL",   "THRU",   "THROUGH",    "WHEN",        "SET",       "TO",         "FALSE",
};

const UsageWord* usageOf(std::string_view word) {
    for (const UsageWord& u : kUsages) {
        if (sameName(word, u.word)) return &u;
    }
    return nullptr;
}

bool isClauseWord(std::string_view word) { return isOneOf(word, kClauseWords) || usageOf(word) != nullptr; }

// What a picture string describes.
struct Picture {
    char kind = '0';           // '9' 'S' 'X' 'A' 'N'; edited pictures are 'X'
    std::int32_t length = 0;   // digits before the point, or character positions
    bool point = false;
    std::int32_t decimals = 0;
    bool numeric = false;      // only 9 S V P: length and decimals are digits
};

struct PictureCounts {
    std::int64_t digits = 0, before = 0, after = 0, characters = 0, alphabetic = 0, national = 0;
    std::int64_t edit = 0, insert = 0, points = 0, scaling = 0;
    bool sign = false;
    bool impliedPoint = false;  // PPP999: the point stands before the P
};

bool isEditSymbol(char c) { return std::string_view("Z*+-.,$E").find(c) != std::string_view::npos; }
bool isInsertSymbol(char c) { return c == 'B' || c == '0' || c == '/'; }
bool isPictureSymbol(char c) {
    return std::string_view("9XANGSVP").find(c) != std::string_view::npos || isEditSymbol(c) || isInsertSymbol(c);
}

// count: "(" { blank } digit { digit } { blank } ")"
const char* repeatCount(std::string_view s, std::size_t& i, std::int64_t& n) {
    ++i;
    while (i < s.size() && s[i] == kBlank) ++i;
    if (i >= s.size() || !isDigit(s[i])) return msg::kMsgCopyParenNotDigit;
    n = 0;
    for (; i < s.size() && isDigit(s[i]); ++i) {
        n = n * 10 + (s[i] - '0');
        if (n > std::numeric_limits<std::int32_t>::max()) return msg::kMsgCopyNumberTooLarge;
    }
    while (i < s.size() && s[i] == kBlank) ++i;
    if (i >= s.size() || s[i] != ')') return msg::kMsgCopyNoCloseParen;
    ++i;
    return nullptr;
}

// picture: { symbol [ "(" count ")" ] | "CR" | "DB" } with S only first and
// followed by 9, V or P; leading P positions put the point before them.
const char* countSymbols(std::string_view s, PictureCounts& c) {
    for (std::size_t i = 0; i < s.size();) {
        const char symbol = s[i];
        if (s.substr(i, 2) == "CR" || s.substr(i, 2) == "DB") {
            c.edit += 2;
            i += 2;
            continue;
        }
        if (!isPictureSymbol(symbol)) return i == 0 ? msg::kMsgCopyPictureBadKind : msg::kMsgCopyPictureBadChar;
        if (symbol == 'S') {
            if (c.sign) return msg::kMsgCopySignTwice;
            if (i != 0) return msg::kMsgCopyPictureBadChar;
            if (i + 1 >= s.size() || std::string_view("9VP").find(s[i + 1]) == std::string_view::npos) {
                return msg::kMsgCopySignWithout9;
            }
            c.sign = true;
        }
        ++i;
        std::int64_t n = 1;
        if (i < s.size() && s[i] == '(') {
            if (const char* fault = repeatCount(s, i, n)) return fault;
        }
        switch (symbol) {
        case '9': (c.points > 0 || c.impliedPoint ? c.after : c.before) += n; c.digits += n; break;
        case 'X': c.characters += n; break;
        case 'A': c.alphabetic += n; break;
        case 'N': case 'G': c.national += n; break;
        case 'V': c.points += n; break;
        case 'P':
            c.impliedPoint = c.impliedPoint || (c.before == 0 && c.points == 0);
            c.scaling += n;
            break;
        case 'S': break;
        default: (isInsertSymbol(symbol) ? c.insert : c.edit) += n; break;
        }
    }
    return nullptr;
}

// Sorts the picture into its category: national, alphanumeric (A, X and 9
// mixed, or with B 0 /), edited (as its display positions) or numeric.
const char* analysePicture(std::string_view s, Picture& pic) {
    PictureCounts c;
    if (const char* fault = countSymbols(s, c)) return fault;
    std::int64_t positions = c.digits + c.characters + c.alphabetic + c.edit + c.insert;
    pic = Picture{};
    if (c.points > 1) return msg::kMsgCopyPictureCombination;
    std::int64_t length = 0;
    if (c.national > 0) {
        if (positions - c.insert > 0 || c.sign || c.points > 0) return msg::kMsgCopyPictureCombination;
        pic.kind = 'N';
        length = c.national + c.insert;
    } else if (c.characters + c.alphabetic > 0) {
        if (c.sign || c.points > 0 || c.edit > 0 || c.scaling > 0) return msg::kMsgCopyPictureCombination;
        pic.kind = c.characters == 0 && c.digits == 0 && c.insert == 0 ? 'A' : 'X';
        length = positions;
    } else if (c.edit + c.insert > 0) {
        if (c.sign) return msg::kMsgCopyPictureCombination;
        pic.kind = 'X';
        length = positions;
    } else {
        pic.kind = c.sign ? 'S' : '9';
        pic.numeric = true;
        pic.point = c.points > 0 || c.impliedPoint;
        length = c.before;
        if (c.after > std::numeric_limits<std::int32_t>::max()) return msg::kMsgCopyNumberTooLarge;
        pic.decimals = static_cast<std::int32_t>(c.after);
    }
    if (length > std::numeric_limits<std::int32_t>::max()) return msg::kMsgCopyNumberTooLarge;
    pic.length = static_cast<std::int32_t>(length);
    return nullptr;
}

enum class State {
    Level, Name, Clauses, Picture, Value, ValueMore, RedefinesName, OccursCount, OccursMax,
    DependingName, Names, CopyName, CopyRest, Skip,
};

// Reads the entries of one copybook, one line of text at a time. The state
// and the entry under construction carry over to the next line; usage and
// sign of open groups pass down to their elementary items.
class EntryReader {
public:
    EntryReader(Log& log, CopyItems& items) : log_(log), items_(items) {}

    std::int32_t line(std::string_view text);
    // The end of one file: a COPY statement there is complete.
    std::int32_t endOfFile();
    // The end of the copybook: an entry cut off before its period is kept.
    std::int32_t finish();
    // The member of a COPY statement just read, and the line that named it.
    bool memberPending() const { return memberPending_; }
    std::string takeMember() {
        memberPending_ = false;
        return member_;
    }
    const std::string& memberLine() const { return memberLine_; }

private:
    struct Group {
        std::int32_t level;
        Usage usage;
        bool signClause;
        bool separate;
        std::size_t index;
        bool sizedByUsage;
    };

    std::int32_t step(std::size_t& pos);
    std::int32_t statementEnd();
    std::int32_t levelNumber(std::size_t& pos);
    void dataName(std::size_t& pos);
    std::int32_t clause(std::size_t& pos);
    std::int32_t keyword(std::string_view word);
    std::int32_t usage(const UsageWord& u);
    std::int32_t picture(std::size_t& pos);
    std::int32_t addPicture(std::string_view text, bool anotherClause);
    void value(std::size_t& pos);
    std::int32_t count(std::size_t& pos, std::int32_t& out);
    std::int32_t copyStatement(std::size_t& pos);
    void startEntry(std::int32_t level);
    std::int32_t finishEntry();
    std::int32_t layout(Usage usage, bool separate, bool& sizedByUsage);
    std::int32_t checkDigits(Usage usage);

    std::int32_t error(const char* format) {
        log_.line(format, text_.c_str());
        return VOKL_ECOPYBOOK_SYNTAX;
    }
    void unsupported() { result_ = VOKL_EUNSUPPORTED_ITEM; }
    bool atEnd(std::size_t pos) const { return pos >= text_.size(); }
    bool separatorAt(std::size_t pos) const { return atEnd(pos + 1) || text_[pos + 1] == kBlank; }
    bool periodEnds(std::size_t pos) const;
    void skipSpace(std::size_t& pos) const;
    std::string_view wordAt(std::size_t& pos, bool stopAtSeparators = true) const;
    std::string_view pictureAt(std::size_t& pos) const;
    void skipLiteral(std::size_t& pos) const;
    bool number(std::size_t& pos, std::int32_t& value) const;

    Log& log_;
    CopyItems& items_;
    std::string text_;
    State state_ = State::Level;
    std::int32_t result_ = 0;
    std::vector<Group> groups_;

    CopyItem item_;
    std::string picture_;
    Picture pic_;
    Usage usage_ = Usage::None;
    bool signClause_ = false;  // SIGN, LEADING or TRAILING given
    bool separate_ = false;
    bool sync_ = false;
    bool occurs_ = false;

    std::string member_;
    std::string memberLine_;
    bool memberPending_ = false;
};

std::int32_t EntryReader::line(std::string_view text) {
    text_.assign(text);
    std::size_t pos = 0;
    for (;;) {
        skipSpace(pos);
        if (atEnd(pos)) return 0;
        // A period after a token ends the entry; the rest of the line is
        // ignored.
        if (text_[pos] == kPeriod && periodEnds(pos)) return statementEnd();
        if (std::int32_t rc = step(pos)) return rc;
    }
}

bool EntryReader::periodEnds(std::size_t pos) const {
    if (state_ == State::Picture) return separatorAt(pos);  // ".99" is a picture
    bool fraction = !atEnd(pos + 1) && isDigit(text_[pos + 1]);
    return !(fraction && (state_ == State::Value || state_ == State::ValueMore));
}

// Blanks, and commas or semicolons that separate like blanks. "*>" begins a
// comment that runs to the end of the line.
void EntryReader::skipSpace(std::size_t& pos) const {
    while (!atEnd(pos)) {
        char c = text_[pos];
        if (c == kBlank || ((c == ',' || c == ';') && separatorAt(pos))) {
            ++pos;
        } else if (c == kComment && pos + 1 < text_.size() && text_[pos + 1] == '>') {
            pos = text_.size();
        } else {
            return;
        }
    }
}

std::int32_t EntryReader::step(std::size_t& pos) {
    switch (state_) {
    case State::Level: return levelNumber(pos);
    case State::Name: dataName(pos); return 0;
    case State::Clauses: return clause(pos);
    case State::Picture: return picture(pos);
    case State::Value: case State::ValueMore: value(pos); return 0;
    case State::RedefinesName: item_.redefines = std::string(wordAt(pos)); state_ = State::Clauses; return 0;
    case State::OccursCount:
        occurs_ = true;
        return count(pos, item_.occurs);
    case State::OccursMax: return count(pos, item_.occurs);
    case State::DependingName:
        if (!sameName(wordAt(pos), "ON")) state_ = State::Names;
        return 0;
    case State::Names: {
        std::size_t next = pos;
        if (isClauseWord(wordAt(next))) {
            state_ = State::Clauses;
        } else {
            pos = next;
        }
        return 0;
    }
    case State::CopyName: case State::CopyRest: return copyStatement(pos);
    case State::Skip:
        if (isQuote(text_[pos])) {
            skipLiteral(pos);
        } else {
            wordAt(pos);
            if (!atEnd(pos) && text_[pos] == kPeriod && !separatorAt(pos)) ++pos;  // "1.5" of a level-78 value
        }
        return 0;
    }
    return 0;
}

std::int32_t EntryReader::statementEnd() {
    switch (state_) {
    case State::Level: return error(msg::kMsgCopyNoLevel);
    case State::RedefinesName: return error(msg::kMsgCopyRedefinesNoName);
    case State::OccursCount: case State::OccursMax: return error(msg::kMsgCopyOccursNoCount);
    case State::DependingName: return error(msg::kMsgCopyDependingNoName);
    case State::CopyName: return error(msg::kMsgCopyMemberNoName);
    case State::CopyRest:
        state_ = State::Level;
        memberPending_ = true;
        return 0;
    default: return finishEntry();
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

// Characters up to the next blank or period, and when asked up to a comma or
// semicolon that separates.
std::string_view EntryReader::wordAt(std::size_t& pos, bool stopAtSeparators) const {
    std::size_t start = pos;
    while (!atEnd(pos) && text_[pos] != kBlank && text_[pos] != kPeriod &&
           !(stopAtSeparators && (text_[pos] == ',' || text_[pos] == ';') && separatorAt(pos))) {
        ++pos;
    }
    return std::string_view(text_).substr(start, pos - start);
}

// picture-string: characters up to a blank outside parentheses or a period,
// comma or semicolon before a blank; "X(5)VALUE" ends after the parenthesis.
std::string_view EntryReader::pictureAt(std::size_t& pos) const {
    std::size_t start = pos;
    bool inParentheses = false;
    for (; !atEnd(pos); ++pos) {
        char c = text_[pos];
        if (inParentheses) {
            inParentheses = c != ')';
            continue;
        }
        if (c == kBlank || ((c == kPeriod || c == ',' || c == ';') && separatorAt(pos))) break;
        if (pos > start && text_[pos - 1] == ')' && isLetter(c)) {
            std::string_view rest = std::string_view(text_).substr(pos);
            bool clauseFollows = false;
            for (std::string_view word : kRunTogether) clauseFollows = clauseFollows || startsWithWord(rest, word);
            if (clauseFollows) break;
        }
        inParentheses = c == '(';
    }
    return std::string_view(text_).substr(start, pos - start);
}

// literal: quote { character | quote quote } quote ; one left open ends with the line
void EntryReader::skipLiteral(std::size_t& pos) const {
    const char quote = text_[pos++];
    for (;;) {
        std::size_t close = text_.find(quote, pos);
        if (close == std::string::npos) {
            pos = text_.size();
            return;
        }
        pos = close + 1;
        if (atEnd(pos) || text_[pos] != quote) return;
        ++pos;
    }
}

// level-number: digit { digit } | "COPY" copy-statement | "EJECT" | "SKIP1" | "SKIP2" | "SKIP3"
std::int32_t EntryReader::levelNumber(std::size_t& pos) {
    if (!isDigit(text_[pos])) {
        std::size_t next = pos;
        std::string_view word = wordAt(next);
        if (sameName(word, "COPY")) {
            memberLine_ = text_;
            member_.clear();
            state_ = State::CopyName;
        } else if (isOneOf(word, std::array<std::string_view, 4>{"EJECT", "SKIP1", "SKIP2", "SKIP3"})) {
            if (!atEnd(next) && text_[next] == kPeriod) ++next;  // listing controls
        } else {
            return error(msg::kMsgCopyNoLevel);
        }
        pos = next;
        return 0;
    }
    std::int32_t level = 0;
    if (!number(pos, level)) return error(msg::kMsgCopyNumberTooLarge);
    startEntry(level);
    return 0;
}

void EntryReader::startEntry(std::int32_t level) {
    item_ = CopyItem{};
    item_.level = level;
    picture_.clear();
    pic_ = Picture{};
    usage_ = Usage::None;
    signClause_ = false;
    separate_ = sync_ = occurs_ = false;
    state_ = State::Name;
}

// data-name: { character other than blank and period } ; a clause word in its
// place means an entry without a name
void EntryReader::dataName(std::size_t& pos) {
    std::size_t next = pos;
    std::string_view word = wordAt(next, false);
    if (!isClauseWord(word)) {
        item_.name = word;
        pos = next;
    }
    bool noStorage = item_.level == kLevelRenames || item_.level == kLevelConstant;
    state_ = noStorage ? State::Skip : State::Clauses;
}

// clause: noise | usage | VALUE[S] | PIC[TURE] | REDEFINES | OCCURS | TO
//       | DEPENDING | ASCENDING | DESCENDING | INDEXED | LEADING | TRAILING
//       | SEPARATE | SYNC[HRONIZED] | "V" picture   (keywords in any case)
std::int32_t EntryReader::clause(std::size_t& pos) {
    const std::size_t start = pos;
    std::string_view word = wordAt(pos);
    if (isOneOf(word, kNoise)) return 0;
    if (const UsageWord* u = usageOf(word)) return usage(*u);
    if (keyword(word) == 0) return 0;
    for (std::string_view run : kRunTogether) {
        if (startsWithWord(word, run)) {
            pos = start + run.size();
            if (const UsageWord* u = usageOf(run)) return usage(*u);
            keyword(run);  // noise words need nothing
            return 0;
        }
    }
    if (upper(text_[start]) == 'V') {
        // The picture goes on after a blank: "PIC 9(3) V99".
        pos = start;
        return addPicture(pictureAt(pos), false);
    }
    return error(msg::kMsgCopyUnknownKeyword);
}

// The clause keywords other than usages; -1 when word is none of them.
std::int32_t EntryReader::keyword(std::string_view word) {
    if (sameName(word, "VALUE") || sameName(word, "VALUES")) {
        state_ = State::Value;
    } else if (sameName(word, "PIC") || sameName(word, "PICTURE")) {
        state_ = State::Picture;
    } else if (sameName(word, "REDEFINES")) {
        state_ = State::RedefinesName;
    } else if (sameName(word, "OCCURS")) {
        state_ = State::OccursCount;
    } else if (sameName(word, "TO") && occurs_) {
        state_ = State::OccursMax;
    } else if (sameName(word, "DEPENDING")) {
        // The record is laid out with the largest number of occurrences.
        log_.line(msg::kMsgCopyUnsupportedDepending, text_.c_str());
        unsupported();
        state_ = State::DependingName;
    } else if (sameName(word, "ASCENDING") || sameName(word, "DESCENDING") || sameName(word, "INDEXED")) {
        state_ = State::Names;
    } else if (sameName(word, "LEADING") || sameName(word, "TRAILING")) {
        // A leading sign is zoned into the first byte, which the S run reads as well.
        signClause_ = true;
    } else if (sameName(word, "SEPARATE")) {
        signClause_ = separate_ = true;
    } else if (sameName(word, "SYNC") || sameName(word, "SYNCHRONIZED")) {
        sync_ = true;
    } else if (sameName(word, "RENAMES")) {
        state_ = State::Skip;
    } else {
        return -1;
    }
    return 0;
}

std::int32_t EntryReader::usage(const UsageWord& u) {
    usage_ = u.usage;
    if (std::int32_t rc = checkDigits(usage_)) return rc;
    if (u.usage == Usage::Binary) {
        // Binary items are sized but not converted: the reading goes on and ends in -4.
        log_.line(msg::kMsgCopyUnsupportedBinary, text_.c_str());
        unsupported();
    } else if (fixedUsageBytes(u.usage) > 0) {
        log_.line(msg::kMsgCopyUnsupportedUsage, std::string(u.word).c_str(), text_.c_str());
        unsupported();
    }
    return 0;
}

std::int32_t EntryReader::picture(std::size_t& pos) {
    std::size_t next = pos;
    if (sameName(wordAt(next), "IS")) {
        pos = next;
        return 0;
    }
    state_ = State::Clauses;
    return addPicture(pictureAt(pos), true);
}

// A second PICTURE clause replaces the first, as it always has; a V after a
// blank continues it.
std::int32_t EntryReader::addPicture(std::string_view text, bool anotherClause) {
    if (anotherClause && !picture_.empty()) {
        if (pic_.kind == 'S' && upper(text.front()) == 'S') return error(msg::kMsgCopySignTwice);
        picture_.clear();
    }
    picture_ += upperCopy(text);
    if (const char* fault = analysePicture(picture_, pic_)) return error(fault);
    return checkDigits(usage_);
}

// Packed and binary numbers hold at most 18 digits; packed ones have always
// been measured by the digits before the point.
std::int32_t EntryReader::checkDigits(Usage usage) {
    if (picture_.empty()) return 0;
    std::int64_t digits = pic_.length + (pic_.numeric ? static_cast<std::int64_t>(pic_.decimals) : 0);
    if (usage == Usage::Packed && pic_.length > kMaxDigits) return error(msg::kMsgCopyComp3TooLong);
    if (usage == Usage::Binary && digits > kMaxDigits) return error(msg::kMsgCopyCompTooLong);
    return 0;
}

// value: { literal | numeric | figurative-constant | ALL | THRU ... } ; the
// first word after VALUE is taken whatever it is, later ones only when they
// can be operands, so that clauses may follow ("VALUE +4 COMP-5")
void EntryReader::value(std::size_t& pos) {
    const char c = text_[pos];
    if (isQuote(c)) {
        skipLiteral(pos);
        state_ = State::ValueMore;
        return;
    }
    const std::size_t start = pos;
    while (!atEnd(pos) && text_[pos] != kBlank && !isQuote(text_[pos]) &&
           !((text_[pos] == kPeriod || text_[pos] == ',' || text_[pos] == ';') && separatorAt(pos))) {
        ++pos;
    }
    std::string_view word = std::string_view(text_).substr(start, pos - start);
    bool prefixed = !atEnd(pos) && isQuote(text_[pos]) && word.size() <= kMaxLiteralPrefix;
    for (char w : word) prefixed = prefixed && isLetter(w);
    if (prefixed) {
        skipLiteral(pos);  // X'41', N'...'
        state_ = State::ValueMore;
        return;
    }
    bool continues = isOneOf(word, std::array<std::string_view, 5>{"IS", "ARE", "ALL", "THRU", "THROUGH"});
    bool numeric = isDigit(c) || ((c == '+' || c == '-' || c == kPeriod) && word.size() > 1);
    if (state_ == State::ValueMore && !numeric && !continues && !isOneOf(word, kValueWords)) {
        pos = start;
        state_ = State::Clauses;
        return;
    }
    state_ = continues ? State::Value : State::ValueMore;
}

std::int32_t EntryReader::count(std::size_t& pos, std::int32_t& out) {
    if (!isDigit(text_[pos])) return error(msg::kMsgCopyOccursNoCount);
    if (!number(pos, out)) return error(msg::kMsgCopyNumberTooLarge);
    state_ = State::Clauses;
    return 0;
}

// copy-statement: "COPY" ( name | literal ) [ ( OF | IN ) library ] [ SUPPRESS ] "."
std::int32_t EntryReader::copyStatement(std::size_t& pos) {
    std::string_view word;
    if (isQuote(text_[pos])) {
        std::size_t start = pos + 1;
        skipLiteral(pos);
        word = std::string_view(text_).substr(start, pos - start - (text_[pos - 1] == text_[start - 1] ? 1 : 0));
    } else {
        word = wordAt(pos);
    }
    if (state_ == State::CopyName) {
        member_ = word;
        if (member_.empty()) return error(msg::kMsgCopyMemberNoName);
        state_ = State::CopyRest;
    } else if (sameName(word, "REPLACING")) {
        return error(msg::kMsgCopyReplacing);
    }
    return 0;
}

std::int32_t EntryReader::finishEntry() {
    state_ = State::Level;
    if (item_.name.empty()) item_.name = "FILLER";
    const std::int32_t level = item_.level;
    if (level == kLevelRenames || level == kLevelConstant) return 0;  // no storage
    if (level == kLevelCondition) {
        items_.push_back(std::move(item_));
        return 0;
    }
    while (!groups_.empty() &&
           (level == kLevelRecord || level == kLevelIndependent || groups_.back().level >= level)) {
        groups_.pop_back();
    }
    Group* parent = groups_.empty() ? nullptr : &groups_.back();
    if (parent != nullptr && parent->sizedByUsage) {
        // A COMP-1, COMP-2, POINTER or INDEX entry with subordinates is a group after all.
        CopyItem& group = items_[parent->index];
        group.kind = '0';
        group.length = group.align = 0;
        parent->sizedByUsage = false;
    }
    // A group's usage is that of its numeric items, its sign clause that of
    // its signed ones.
    const bool inherits = parent != nullptr && (picture_.empty() || pic_.numeric);
    Usage usage = usage_ != Usage::None || !inherits ? usage_ : parent->usage;
    bool signClause = signClause_ || (inherits && parent->signClause);
    bool separate = signClause_ ? separate_ : inherits && parent->separate;
    bool sizedByUsage = false;
    if (std::int32_t rc = layout(usage, separate, sizedByUsage)) return rc;
    // Only a group passes its clauses on; an item under an elementary one
    // (which no compiler accepts) is read as it always was.
    if (!picture_.empty()) usage = Usage::None, signClause = separate = false;
    groups_.push_back({level, usage, signClause, separate, items_.size(), sizedByUsage});
    items_.push_back(std::move(item_));
    return 0;
}

// The item's pattern from its picture and the usage and sign it has or
// inherits.
std::int32_t EntryReader::layout(Usage usage, bool separate, bool& sizedByUsage) {
    const std::int32_t fixedBytes = fixedUsageBytes(usage);
    if (picture_.empty()) {
        if (fixedBytes > 0) {
            item_.kind = 'X';
            item_.length = fixedBytes;
            sizedByUsage = true;
        }
    } else if (std::int32_t rc = checkDigits(usage)) {
        return rc;
    } else if (fixedBytes > 0 || usage == Usage::Binary) {
        std::int64_t digits = pic_.length + (pic_.numeric ? static_cast<std::int64_t>(pic_.decimals) : 0);
        item_.kind = 'X';
        item_.length = fixedBytes > 0 ? fixedBytes : binaryBytes(digits);
    } else {
        item_.kind = usage == Usage::Packed ? 'C' : pic_.kind;
        item_.length = pic_.length;
        item_.point = pic_.point ? 'V' : ' ';
        item_.decimals = pic_.decimals;
        if (pic_.kind == 'S' && separate && usage != Usage::Packed) {
            // The sign is a character of its own: the bytes are text.
            item_.kind = 'X';
            item_.length = pic_.length + pic_.decimals + 1;
            item_.point = ' ';
            item_.decimals = 0;
        }
    }
    if (sync_ && (usage == Usage::Binary || fixedBytes > 0)) item_.align = item_.length;
    return 0;
}

std::int32_t EntryReader::endOfFile() {
    if (state_ == State::CopyRest) return statementEnd();
    return 0;
}

std::int32_t EntryReader::finish() {
    // An entry that the end of the file cut off before its period still
    // describes part of the record: keep it as if the period were there.
    switch (state_) {
    case State::Level: break;
    case State::RedefinesName: case State::OccursCount: case State::OccursMax: case State::DependingName:
    case State::CopyName:
        return statementEnd();
    default:
        if (std::int32_t rc = finishEntry()) return rc;
        break;
    }
    return result_;
}

// The files being read, outermost first, so that a member that includes
// itself is refused instead of read forever.
std::string fileIdentity(const std::string& path) {
    std::error_code ec;
    std::filesystem::path canonical = std::filesystem::weakly_canonical(path, ec);
    return ec ? path : canonical.string();
}

// A file name as a copybook spells it: Linux names files in UTF-8, copybooks
// name their members in Shift-JIS.
std::string copybookSpelling(const std::string& file) {
#ifndef _WIN32
    std::string sjis;
    if (utf8ToCp932(file, sjis)) return sjis;
#endif
    return file;
}

// The member as a file beside the copybook that names it: the name itself or
// with .cpy, .cob or .cbl, in any case (the exact spelling first).
std::optional<std::string> findMember(const std::string& includer, const std::string& name) {
    namespace fs = std::filesystem;
    const fs::path wanted(name);
    if (wanted.has_root_path() || !wanted.has_filename()) return std::nullopt;
    fs::path folder = (fs::path(includer).parent_path() / wanted).parent_path();
    if (folder.empty()) folder = ".";
    const std::string base = wanted.filename().string();
    constexpr std::array<std::string_view, 4> kExtensions{"", ".cpy", ".cob", ".cbl"};
    std::array<std::optional<std::string>, kExtensions.size()> found;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        std::string file, path;
        try {
            file = copybookSpelling(it->path().filename().string());
            path = it->path().string();
        } catch (const std::system_error&) {
            continue;  // a name the code page cannot spell is not the member
        }
        for (std::size_t k = 0; k < kExtensions.size(); ++k) {
            const std::string candidate = base + std::string(kExtensions[k]);
            if (sameName(file, candidate) && (!found[k] || file == candidate)) found[k] = path;
        }
    }
    for (const auto& f : found) {
        if (f) return f;
    }
    return std::nullopt;
}

// Feeds the lines of the copybook and of the members it names to one entry
// reader.
class CopybookReader {
public:
    CopybookReader(Log& log, CopyItems& items, std::vector<std::string>* members)
        : log_(log), entries_(log, items), members_(members) {}

    std::int32_t read(const std::string& path, const ReadBytes& read) {
        if (std::int32_t rc = readFile(path, read)) return rc;
        return entries_.finish();
    }

private:
    std::int32_t readFile(const std::string& path, const ReadBytes& read);
    std::int32_t freeLines(const std::vector<std::string>& lines, const std::string& path);
    std::int32_t fixedLines(const std::vector<std::string>& lines, const std::string& path);
    std::int32_t parse(std::string_view text, const std::string& path);
    std::int32_t includeMember(const std::string& includer);

    Log& log_;
    EntryReader entries_;
    std::vector<std::string>* members_;
    std::vector<std::string> active_;
};

std::int32_t CopybookReader::readFile(const std::string& path, const ReadBytes& read) {
    std::vector<std::string> lines;
    if (!readLines(read, lines)) {
        // Not the end of the copybook: the rest of the record is unknown.
        log_.line(msg::kMsgReadFailed, path.c_str());
        return VOKL_ECOPYBOOK_OPEN;
    }
    active_.push_back(fileIdentity(path));
    std::int32_t rc = isFixedFormat(lines) ? fixedLines(lines, path) : freeLines(lines, path);
    if (rc == 0) rc = entries_.endOfFile();
    if (rc == 0 && entries_.memberPending()) rc = includeMember(path);
    active_.pop_back();
    return rc;
}

std::int32_t CopybookReader::freeLines(const std::vector<std::string>& lines, const std::string& path) {
    for (const std::string& line : lines) {
        std::string_view text;
        switch (classify(line, text)) {
        case LineKind::Skip: break;
        case LineKind::DigitsOnly:
            log_.line(msg::kMsgCopyDigitsOnlyLine, line.c_str());
            return VOKL_ECOPYBOOK_SYNTAX;
        case LineKind::Text:
            if (std::int32_t rc = parse(text, path)) return rc;
            break;
        }
    }
    return 0;
}

// A line is parsed once the next one shows whether it goes on.
std::int32_t CopybookReader::fixedLines(const std::vector<std::string>& lines, const std::string& path) {
    std::optional<std::string> pending;
    std::string converted;
    for (const std::string& line : lines) {
        FixedLine kind = fromFixedFormat(line, converted);
        if (kind == FixedLine::Skip) continue;
        if (kind == FixedLine::Continuation && pending) {
            continueLine(*pending, converted);
            continue;
        }
        std::string_view text = converted;
        if (kind == FixedLine::Normal && classify(converted, text) != LineKind::Text) continue;
        if (pending) {
            if (std::int32_t rc = parse(*pending, path)) return rc;
        }
        pending = std::string(text);
    }
    return pending ? parse(*pending, path) : 0;
}

std::int32_t CopybookReader::parse(std::string_view text, const std::string& path) {
    if (std::int32_t rc = entries_.line(text)) return rc;
    return entries_.memberPending() ? includeMember(path) : 0;
}

std::int32_t CopybookReader::includeMember(const std::string& includer) {
    const std::string name = entries_.takeMember();
    const std::string& statement = entries_.memberLine();
    std::optional<std::string> found = findMember(includer, name);
    if (!found) {
        log_.line(msg::kMsgCopyMemberNotFound, name.c_str(), statement.c_str());
        return VOKL_ECOPYBOOK_SYNTAX;
    }
    if (active_.size() >= kMaxMemberDepth) {
        log_.line(msg::kMsgCopyMemberTooDeep, name.c_str(), statement.c_str());
        return VOKL_ECOPYBOOK_SYNTAX;
    }
    const std::string identity = fileIdentity(*found);
    for (const std::string& file : active_) {
        if (file == identity) {
            log_.line(msg::kMsgCopyMemberRecursive, name.c_str(), statement.c_str());
            return VOKL_ECOPYBOOK_SYNTAX;
        }
    }
    if (members_ != nullptr) members_->push_back(*found);
    File file;
    if (!file.open(found->c_str(), File::Mode::ReadBinary)) {
        log_.line(msg::kMsgCannotOpen, found->c_str());
        return VOKL_ECOPYBOOK_OPEN;
    }
    return readFile(*found, [&file](char* buffer, std::size_t size) { return file.read(buffer, size); });
}

}  // namespace

std::int32_t readCopybookFrom(Log& log, const char* path, const ReadBytes& read, CopyItems& items,
                              std::vector<std::string>* members) {
    CopybookReader reader(log, items, members);
    return reader.read(shownPath(path), read);
}

std::int32_t readCopybook(Log& log, const char* path, CopyItems& items, std::vector<std::string>* members) {
    File file;
    if (!file.open(path, File::Mode::ReadBinary)) {
        log.line(msg::kMsgCannotOpen, shownPath(path));
        return VOKL_ECOPYBOOK_OPEN;
    }
    return readCopybookFrom(log, path, [&file](char* buffer, std::size_t size) { return file.read(buffer, size); },
                            items, members);
}

std::vector<std::string> copybookMembers(const char* path) noexcept {
    std::vector<std::string> members;
    try {
        Log none;
        CopyItems items;
        readCopybook(none, path, items, &members);
    } catch (...) {
        // What could not be read will be reported by the real reading.
    }
    return members;
}

void resolveRedefines(CopyItems& items) {
    for (CopyItem& item : items) {
        if (item.redefines) item.mark = 'D';
    }
    // The nearest earlier item of the name, since names repeat in other
    // groups; one pass, so that long copybooks stay quick.
    std::unordered_map<std::string, std::size_t> latest;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].redefines) {
            auto found = latest.find(nameKey(*items[i].redefines));
            if (found != latest.end() && items[found->second].mark != 'D') items[found->second].mark = 'S';
        }
        if (!items[i].name.empty()) latest[nameKey(items[i].name)] = i;
    }
}

}  // namespace vokl
