// Rules of the main window that need no window toolkit: when the run button
// may be pressed, proposed output names, the record size of a pattern file,
// the trimming bits, the version check and the record-length box.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vok {

// Stands for "no record pattern" in the tab-2 pattern path.
inline constexpr std::string_view kNoPattern = "_********_";
// The program's own version, compared with the library's.
inline constexpr std::string_view kProgramVersion = "1.10";
// Largest record length the record-length box accepts.
inline constexpr std::int32_t kMaxRecSize = 32760;

bool ChkReady1(std::string_view sPath1_Sjs, std::string_view sPath1_Jef, std::int32_t lEbcdicMode1);
bool ChkReady2(std::string_view sPath2_Jef, std::string_view sPath2_Sjs, std::string_view sPath2_Ptn,
               std::int32_t lUsePattern2, std::int32_t lEbcdicMode2, std::int32_t lAddCrLf2,
               std::int32_t lRecSize2);
bool ChkReady3(std::string_view sPath3_Copy, std::string_view sPath3_Ptn, bool separatorChecked,
               std::int32_t lSeparator3);

// The path with the extension of its file name replaced (or appended).
std::string ChgExt(std::string_view path, std::string_view extension);

// Record size described by the first pattern line of a file; 0 when there is
// none or the file cannot be read.
std::int16_t PtnRecSize(const std::string& path);
// Record size of one pattern line (the part after its last ':').
std::int16_t ptnLineRecSize(std::string_view line);

struct TrimBoxes {
    bool usePattern = false;  // chk2_3
    bool trim = false;        // chk2_5
    bool leftTrim = false;    // chk2_6
    bool rightTrim = false;   // chk2_7
    bool kanjiOnly = false;   // chk2_8
};
std::int32_t trimBits(const TrimBoxes& boxes);

// voklVersion() / 100 as "#0.00".
std::string versionText(float voklVersion);
// True when the library's version text sorts before the program's.
bool versionOlder(std::string_view libraryVersion);

enum class VersionTail { NeedNewer, NeedSame, AskContinue };
// The text of the "バージョンの確認" box (lines end in "\n").
std::string versionMessage(std::string_view libraryVersion, VersionTail tail);

// Which tab the command line fills.
enum class CommandLineTab { None, SjisToJef, JefToSjis };
CommandLineTab classifyCommandLine(std::string_view text);

// What the record-length box holds.
struct RecSizeText {
    enum class Kind { NotNumber, Overflow, Number };
    Kind kind = Kind::NotNumber;
    std::int32_t value = 0;
};
RecSizeText readRecSize(std::string_view text);
// Leading decimal digits as a number (0 when there are none), saturated.
std::int32_t leadingNumber(std::string_view text);

}  // namespace vok
