// vokcli j2s: JEF file -> Shift-JIS text file, the desktop program's tab 2.
#include <ctime>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "commands.h"
#include "common.h"
#include "modVokCom.h"
#include "vokl.h"

namespace vokcli {
namespace {

constexpr char kCommand[] = "j2s";

constexpr OptionSpec kOptions[] = {{"--code", true},      {"--record-length", true}, {"--keep-shift", false},
                                   {"--trim", true},      {"--pattern", true},       {"--log", true},
                                   {"--error-log", true}, {"--encoding", true},      {"--bom", false},
                                   {"--line-end", true},  {"--quiet", false}};

// The single-byte code options of the desktop program's tab 2.
constexpr Choice kCodes[] = {
    {"kana", 1},   // EBCDIC-カナ
    {"lower", 2},  // EBCDIC-英小文字
    {"ascii", 3},  // EBCDIC-ASCII
};

// The trimming check boxes of tab 2.
constexpr Choice kTrimWords[] = {
    {"trim", 1},   // Trim(前後の空白削除)
    {"ltrim", 2},  // LTrim(左端の空白削除)
    {"rtrim", 4},  // RTrim(右端の空白削除)
    {"kanji", 8},  // 漢字項目のみをﾄﾘﾐﾝｸﾞ
};

// The text's encoding and line ends.
constexpr Choice kEncodings[] = {{"sjis", VOKL_PC_SJIS}, {"utf-8", VOKL_PC_UTF8}};
constexpr Choice kLineEnds[] = {{"crlf", VOKL_EOL_CRLF}, {"lf", VOKL_EOL_LF}};

constexpr std::int32_t kMinRecordLength = 1;
constexpr std::int32_t kKeepShiftOn = 1;
constexpr std::int32_t kKeepShiftOff = 0;

const char kHelp[] =
    "使い方: vokcli j2s --code 種類 [--record-length 長さ] [--keep-shift] [--trim 指定] [--pattern パターン]\n"
    "                   [--encoding 文字コード] [--bom] [--line-end 改行] [--log ログ]\n"
    "                   [--error-log 変換エラーログ] [--quiet] 入力 出力\n"
    "JEFファイル(入力)をシフトJIS(または UTF-8)のテキストファイル(出力)に変換します。\n"
    "レコードパターンを指定しない時は、シフトコードの付いたバイト列として変換します。\n"
    "入力に - を指定すると標準入力から、出力に - を指定すると標準出力へ変換します。\n"
    "\n"
    "オプション:\n"
    "  --code 種類           半角文字の変換方法(必須)\n"
    "      kana    EBCDIC-カナ         例: vokcli j2s --code kana in.bin out.txt\n"
    "      lower   EBCDIC-英小文字     例: vokcli j2s --code lower in.bin out.txt\n"
    "      ascii   EBCDIC-ASCII        例: vokcli j2s --code ascii in.bin out.txt\n"
    "  --record-length 長さ  改行コードを付加する(1～32760 バイトごと、パターン使用時は1レコードごと)\n"
    "                        例: vokcli j2s --code kana --record-length 80 in.bin out.txt\n"
    "  --pattern パターン    レコードパターンを使用する(シフトコードが付いていない時は必ず指定して下さい)\n"
    "                        例: vokcli j2s --code kana --pattern layout.ptn in.bin out.txt\n"
    "  --keep-shift          シフトコードを読みとばさない(パターン使用時)\n"
    "                        例: vokcli j2s --code kana --pattern layout.ptn --keep-shift in.bin out.txt\n"
    "  --trim 指定           項目の空白を削除する(パターン使用時のみ有効、カンマ区切りで複数指定可)\n"
    "      trim    Trim(前後の空白削除)\n"
    "      ltrim   LTrim(左端の空白削除)\n"
    "      rtrim   RTrim(右端の空白削除)\n"
    "      kanji   漢字項目のみをﾄﾘﾐﾝｸﾞ(他の指定と組み合わせて使います)\n"
    "                        例: vokcli j2s --code kana --pattern layout.ptn --trim trim,kanji in.bin out.txt\n"
    "  --encoding 文字コード 出力テキストの文字コード(省略時は sjis)\n"
    "      sjis    シフトJIS(コードページ932)\n"
    "      utf-8   UTF-8(変換エラーログも UTF-8 で書きます)\n"
    "                        例: vokcli j2s --code kana --encoding utf-8 in.bin out.txt\n"
    "  --bom                 UTF-8 の出力の先頭にBOMを付ける\n"
    "                        例: vokcli j2s --code kana --encoding utf-8 --bom in.bin out.txt\n"
    "  --line-end 改行       付加する改行コード(省略時は crlf)\n"
    "      crlf    CR LF\n"
    "      lf      LF      例: vokcli j2s --code kana --record-length 80 --line-end lf in.bin out.txt\n"
    "  --log ログ            ログファイル(シフトJIS)を残す(省略時はログを画面にだけ表示します)\n"
    "                        例: vokcli j2s --code kana --log j2s.log in.bin out.txt\n"
    "  --error-log 変換エラーログ\n"
    "                        変換できなかった文字の一覧を書くファイル(省略時は現在のフォルダの\n"
    "                        VOK_LOG_年月日_時分秒.txt、変換エラーがなければ削除されます)\n"
    "                        例: vokcli j2s --code kana --error-log errors.txt in.bin out.txt\n"
    "  --quiet               端末に進み具合を表示しない\n"
    "                        例: vokcli j2s --code kana --quiet in.bin out.txt\n"
    "  --help                この説明を表示する\n"
    "\n"
    "パイプの例: ssh host 'cat file' | vokcli j2s --code kana --encoding utf-8 --line-end lf - - | less\n"
    "Ctrl-C で変換を中止すると、作りかけの出力ファイルは削除されます。\n"
    "\n"
    "終了コード: 0 正常終了, 1 一部のコードで変換エラーが発生した, 2 エラー, 130 中止\n";

// "VOK_LOG_" + yyyymmdd_hhnnss + ".txt", as the desktop program names it.
std::string datedErrorLogName() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d_%H%M%S", &local);
    return std::string("VOK_LOG_") + stamp + ".txt";
}

// Parses WORD ("," WORD)* into the check boxes of tab 2.
bool parseTrim(const std::string& text, vok::TrimBoxes& boxes) {
    std::stringstream words(text);
    std::string word;
    bool any = false;
    while (std::getline(words, word, ',')) {
        std::optional<std::int32_t> bit = choiceValue(word, kTrimWords);
        if (!bit) return false;
        any = true;
        boxes.trim |= *bit == 1;
        boxes.leftTrim |= *bit == 2;
        boxes.rightTrim |= *bit == 4;
        boxes.kanjiOnly |= *bit == 8;
    }
    return any && text.back() != ',';
}

constexpr CommandSpec kSpec{kCommand, kOptions, kHelp, 2, "入力ファイルと出力ファイルを指定してください"};

}  // namespace

int runJ2s(int argc, char** argv) {
    Arguments args;
    if (std::optional<int> done = startCommand(kSpec, argc, argv, args)) return *done;
    std::string error;
    // The desktop program runs only once a variant is chosen; there is no default.
    const std::optional<std::int32_t> code = choiceOption(args, "--code", kCodes, nullptr, error);
    if (!code) return usageError(kCommand, error);

    std::int32_t recordLength = 0;
    if (args.has("--record-length")) {
        std::optional<std::int32_t> n = intValue(args.valueOr("--record-length", ""), kMinRecordLength, vok::kMaxRecSize);
        if (!n) return usageError(kCommand, "--record-length は 1～32760 の範囲で指定してください");
        recordLength = *n;
    }
    vok::TrimBoxes boxes;
    boxes.usePattern = args.has("--pattern");
    if (args.has("--trim") && !parseTrim(args.valueOr("--trim", ""), boxes))
        return usageError(kCommand, "--trim の値が正しくありません(" + choiceWords(kTrimWords) + " をカンマで区切って指定)");

    const std::optional<std::int32_t> encoding = choiceOption(args, "--encoding", kEncodings, "sjis", error);
    if (!encoding) return usageError(kCommand, error);
    const std::optional<std::int32_t> lineEnd = choiceOption(args, "--line-end", kLineEnds, "crlf", error);
    if (!lineEnd) return usageError(kCommand, error);
    if (std::optional<int> done = checkOperands(kSpec, args)) return *done;

    const std::string input = args.operands[0];
    const std::string output = args.operands[1];
    const std::string pattern = args.valueOr("--pattern", std::string(vok::kNoPattern));
    const std::string errorLog = args.valueOr("--error-log", datedErrorLogName());
    const std::string log = args.valueOr("--log", "");
    const std::vector<std::string> inputs =
        boxes.usePattern ? std::vector<std::string>{input, pattern} : std::vector<std::string>{input};
    if (const std::string problem = samePathProblem(inputs, {output, log, errorLog}); !problem.empty())
        return refuse(kCommand, problem);
    const std::int32_t keepShift = args.has("--keep-shift") ? kKeepShiftOn : kKeepShiftOff;
    const std::int32_t trim = vok::trimBits(boxes);
    const ExtendedJob job{vok::Tab::JefToSjis, input, output, log, args.has("--quiet"), [&](vokl_options& options) {
                              options.pc_encoding = *encoding;
                              options.utf8_bom = args.has("--bom") ? 1 : 0;
                              options.line_end = *lineEnd;
                              return vokl_j2s(&options, *code, recordLength, keepShift, trim, pattern.c_str(),
                                              errorLog.c_str());
                          }};
    return runExtendedJob(job);
}

}  // namespace vokcli
