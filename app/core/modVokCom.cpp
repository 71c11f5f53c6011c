#include "modVokCom.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>

namespace vok {
namespace {

constexpr std::int32_t kMaxCount = std::numeric_limits<std::int16_t>::max();

bool isSeparator(char c) {
#if defined(_WIN32)
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Shift-JIS lead bytes: the byte after one belongs to the same character.
bool isSjisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

bool isFieldLetter(char c) {
    switch (c) {
    case 'X': case 'N': case 'S': case '9': case 'A': case 'n': case 'x': case 's': case 'a':
        return true;
    default:
        return false;
    }
}

bool isPackedLetter(char c) { return c == 'C' || c == 'c' || c == 'P' || c == 'p'; }

// Byte count of a pattern line; a run of n packed letters takes n / 2 + 1 bytes.
class RecSizeCounter {
public:
    void field() {
        closeRun();
        ++count_;
    }
    void packed(char c, char previous) {
        if (c == previous) {
            ++runLength_;
            if (runLength_ > kMaxCount) overflow_ = true;
        } else {
            closeRun();
            runLength_ = 1;
        }
    }
    void closeRun() {
        if (runLength_ > 0) count_ += runLength_ / 2 + 1;
        runLength_ = 0;
    }
    std::int16_t result() {
        closeRun();
        if (overflow_ || count_ > kMaxCount) return 0;
        return static_cast<std::int16_t>(count_);
    }

private:
    // Wide enough that a line of any length cannot wrap before the check.
    std::int64_t count_ = 0;
    std::int64_t runLength_ = 0;
    bool overflow_ = false;
};

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

}  // namespace

bool ChkReady1(std::string_view sPath1_Sjs, std::string_view sPath1_Jef, std::int32_t lEbcdicMode1) {
    return !sPath1_Sjs.empty() && !sPath1_Jef.empty() && lEbcdicMode1 != 0;
}

bool ChkReady2(std::string_view sPath2_Jef, std::string_view sPath2_Sjs, std::string_view sPath2_Ptn,
               std::int32_t lUsePattern2, std::int32_t lEbcdicMode2, std::int32_t lAddCrLf2,
               std::int32_t lRecSize2) {
    if (sPath2_Jef.empty() || sPath2_Sjs.empty()) return false;
    if (sPath2_Ptn.empty() && lUsePattern2 == 1) return false;
    if (lEbcdicMode2 == 0) return false;
    // A record length outside the box's range must never reach the library.
    if (lAddCrLf2 == 1 && (lRecSize2 < 1 || lRecSize2 > kMaxRecSize)) return false;
    return true;
}

bool ChkReady3(std::string_view sPath3_Copy, std::string_view sPath3_Ptn, bool separatorChecked,
               std::int32_t lSeparator3) {
    return !sPath3_Copy.empty() && !sPath3_Ptn.empty() && (!separatorChecked || lSeparator3 != 0);
}

std::string ChgExt(std::string_view path, std::string_view extension) {
    std::size_t nameStart = 0;
    for (std::size_t i = path.size(); i > 0; --i) {
        if (isSeparator(path[i - 1])) {
            nameStart = i;
            break;
        }
    }
    // Only a dot of the file name counts: a dotted folder name must not send
    // the proposed file into the folder above.
    const std::size_t dot = path.rfind('.');
    std::string result(path);
    if (dot == std::string_view::npos || dot < nameStart)
        result += '.';
    else
        result.resize(dot + 1);
    result += extension;
    return result;
}

std::int16_t ptnLineRecSize(std::string_view line) {
    const std::size_t colon = line.rfind(':');
    std::size_t i = colon == std::string_view::npos ? 0 : colon + 1;
    RecSizeCounter counter;
    char previous = ' ';
    while (i < line.size()) {
        const char c = line[i];
        if (isSjisLead(static_cast<unsigned char>(c))) {
            i += 2;  // a double-byte character is neither a field nor a separator
            continue;
        }
        if (isFieldLetter(c)) {
            counter.field();
            previous = c;
        } else if (isPackedLetter(c)) {
            counter.packed(c, previous);
            previous = c;
        } else if (c == ',' || c == ' ') {
            counter.closeRun();
            previous = c;
        }
        ++i;
    }
    return counter.result();
}

std::int16_t PtnRecSize(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return 0;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line.front() == '#') continue;
        return ptnLineRecSize(line);
    }
    return 0;
}

std::int32_t trimBits(const TrimBoxes& boxes) {
    if (!boxes.usePattern) return 0;
    std::int32_t bits = (boxes.trim ? 1 : 0) | (boxes.leftTrim ? 2 : 0) | (boxes.rightTrim ? 4 : 0);
    if (bits != 0 && boxes.kanjiOnly) bits |= 8;
    return bits;
}

std::string versionText(float voklVersion) {
    const float quotient = voklVersion / 100.0f;
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(quotient));
    return text;
}

bool versionOlder(std::string_view libraryVersion) {
    // By character codes, as text: "10.00" sorts after "1.10" since '0' > '.'.
    return libraryVersion.compare(kProgramVersion) < 0;
}

std::string versionMessage(std::string_view libraryVersion, VersionTail tail) {
    std::string text = "vokl.dll とバージョンが異なります\n\n";
    text += "     VOK.EXE     : ";
    text += kProgramVersion;
    text += "\n     VOKL.DLL    : ";
    text += libraryVersion;
    text += "\n\n";
    switch (tail) {
    case VersionTail::NeedNewer:
        text += "この機能をお使いになる場合は";
        text += kProgramVersion;
        text += "以上のバージョンをご利用下さい";
        break;
    case VersionTail::NeedSame:
        text += "この機能をお使いになる場合は同じバージョンのDLLをご利用下さい";
        break;
    case VersionTail::AskContinue:
        text += "このまま処理を続けますか ?";
        break;
    }
    return text;
}

CommandLineTab classifyCommandLine(std::string_view text) {
    if (text.find(".txt") != std::string_view::npos || text.find(".TXT") != std::string_view::npos)
        return CommandLineTab::SjisToJef;
    if (text.find(".bin") != std::string_view::npos || text.find(".BIN") != std::string_view::npos)
        return CommandLineTab::JefToSjis;
    return CommandLineTab::None;
}

// Accepts: blanks [sign] digits ["." digits] blanks, or blanks [sign] "." digits blanks.
RecSizeText readRecSize(std::string_view text) {
    std::string_view s = trimBlanks(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    double value = 0;
    std::size_t digits = 0;
    std::size_t i = 0;
    for (; i < s.size() && isDigit(s[i]); ++i, ++digits) value = value * 10 + (s[i] - '0');
    if (i < s.size() && s[i] == '.') {
        double scale = 0.1;
        for (++i; i < s.size() && isDigit(s[i]); ++i, ++digits, scale /= 10) value += (s[i] - '0') * scale;
    }
    if (digits == 0 || i != s.size()) return {RecSizeText::Kind::NotNumber, 0};
    // Halves go to the even neighbour, as the default rounding mode does.
    const double rounded = std::nearbyint(negative ? -value : value);
    if (rounded > std::numeric_limits<std::int32_t>::max() || rounded < std::numeric_limits<std::int32_t>::min())
        return {RecSizeText::Kind::Overflow, 0};
    return {RecSizeText::Kind::Number, static_cast<std::int32_t>(rounded)};
}

std::int32_t leadingNumber(std::string_view text) {
    std::int64_t value = 0;
    for (char c : text) {
        if (!isDigit(c)) break;
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace vok
