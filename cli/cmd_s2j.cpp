// vokcli s2j: Shift-JIS text file -> JEF file, the desktop program's tab 1.
#include <iostream>
#include <string>

#include "commands.h"
#include "common.h"
#include "vokl.h"

namespace vokcli {
namespace {

constexpr char kCommand[] = "s2j";

constexpr OptionSpec kOptions[] = {{"--code", true}, {"--shift", false}, {"--log", true}, {"--encoding", true},
                                   {"--quiet", false}};

// The single-byte code options of the desktop program's tab 1.
constexpr Choice kCodes[] = {
    {"kana", 1},        // EBCDIC-カナ
    {"kana-upper", 2},  // EBCDIC-カナ, 英小文字を英大文字に強制変換する
    {"lower", 3},       // EBCDIC-英小文字
    {"ascii", 4},       // EBCDIC-ASCII
    {"none", 9},        // 無変換
};

// The text's encoding.
constexpr Choice kEncodings[] = {{"sjis", VOKL_PC_SJIS}, {"utf-8", VOKL_PC_UTF8}};

constexpr std::int32_t kShiftCodesOn = 1;
constexpr std::int32_t kShiftCodesOff = 0;

const char kHelp[] =
    "使い方: vokcli s2j --code 種類 [--encoding 文字コード] [--shift] [--log ログ] [--quiet] 入力 出力\n"
    "シフトJIS(または UTF-8)のテキストファイル(入力)をJEFファイル(出力)に変換します。\n"
    "改行コードは取り除かれ、出力は1本のバイト列になります。\n"
    "入力に - を指定すると標準入力から、出力に - を指定すると標準出力へ変換します。\n"
    "\n"
    "オプション:\n"
    "  --code 種類   半角文字の変換方法(必須)\n"
    "      kana        EBCDIC-カナ              例: vokcli s2j --code kana in.txt out.bin\n"
    "      kana-upper  EBCDIC-カナ(英小文字を英大文字に強制変換する)\n"
    "                                           例: vokcli s2j --code kana-upper in.txt out.bin\n"
    "      lower       EBCDIC-英小文字          例: vokcli s2j --code lower in.txt out.bin\n"
    "      ascii       EBCDIC-ASCII             例: vokcli s2j --code ascii in.txt out.bin\n"
    "      none        無変換(半角文字をそのまま出力)\n"
    "                                           例: vokcli s2j --code none in.txt out.bin\n"
    "  --encoding 文字コード  入力テキストの文字コード(省略時は sjis)\n"
    "      sjis        シフトJIS(コードページ932)\n"
    "      utf-8       UTF-8(先頭のBOMは読みとばします)\n"
    "                                           例: vokcli s2j --code kana --encoding utf-8 in.txt out.bin\n"
    "  --shift       JEFの前後にシフトコードを挿入する\n"
    "                                           例: vokcli s2j --code kana --shift in.txt out.bin\n"
    "  --log ログ    ログファイル(シフトJIS)を残す(省略時はログを画面にだけ表示します)\n"
    "                                           例: vokcli s2j --code kana --log s2j.log in.txt out.bin\n"
    "  --quiet       端末に進み具合を表示しない\n"
    "                                           例: vokcli s2j --code kana --quiet in.txt out.bin\n"
    "  --help        この説明を表示する\n"
    "\n"
    "パイプの例: zcat big.txt.gz | vokcli s2j --encoding utf-8 --code kana --shift - - > big.bin\n"
    "Ctrl-C で変換を中止すると、作りかけの出力ファイルは削除されます。\n"
    "\n"
    "終了コード: 0 正常終了, 1 一部のコードで変換エラーが発生した, 2 エラー, 130 中止\n";

constexpr CommandSpec kSpec{kCommand, kOptions, kHelp, 2, "入力ファイルと出力ファイルを指定してください"};

}  // namespace

int runS2j(int argc, char** argv) {
    Arguments args;
    if (std::optional<int> done = startCommand(kSpec, argc, argv, args)) return *done;
    std::string error;
    // The desktop program runs only once a variant is chosen; there is no default.
    const std::optional<std::int32_t> code = choiceOption(args, "--code", kCodes, nullptr, error);
    if (!code) return usageError(kCommand, error);
    if (std::optional<int> done = checkOperands(kSpec, args)) return *done;

    std::optional<std::int32_t> encoding = choiceOption(args, "--encoding", kEncodings, "sjis", error);
    if (!encoding) return usageError(kCommand, error);

    const std::string input = args.operands[0];
    const std::string output = args.operands[1];
    const std::string log = args.valueOr("--log", "");
    if (const std::string problem = samePathProblem({input}, {output, log}); !problem.empty())
        return refuse(kCommand, problem);
    const std::int32_t shift = args.has("--shift") ? kShiftCodesOn : kShiftCodesOff;
    const ExtendedJob job{vok::Tab::SjisToJef, input, output, log, args.has("--quiet"), [&](vokl_options& options) {
                              options.pc_encoding = *encoding;
                              return vokl_s2j(&options, *code, shift);
                          }};
    return runExtendedJob(job);
}

}  // namespace vokcli
