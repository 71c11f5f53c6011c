// vokcli mkpatn: COBOL copybook -> record pattern file, the desktop program's tab 3.
#include <iostream>
#include <string>

#include "commands.h"
#include "common.h"
#include "vokl.h"

namespace vokcli {
namespace {

constexpr char kCommand[] = "mkpatn";

constexpr OptionSpec kOptions[] = {{"--separator", true}, {"--quote", false}, {"--log", true}};

// The separator options of tab 3: none (chk3_1 off), opt3_1, opt3_2.
constexpr Choice kSeparators[] = {
    {"none", 0},   // 区切りなし
    {"comma", 1},  // カンマ区切り
    {"space", 2},  // スペース区切り
};

constexpr std::int32_t kQuoteOn = 1;
constexpr std::int32_t kQuoteOff = 0;

const char kHelp[] =
    "使い方: vokcli mkpatn [--separator none|comma|space] [--quote] [--log ログ] コピー句 パターン\n"
    "COBOLのコピー句からレコードパターンファイルを作成します。\n"
    "REDEFINESがあるときは、再定義した側のレイアウトを2行目に出力します。\n"
    "\n"
    "オプション:\n"
    "  --separator 区切り  項目の区切り文字(省略時は none)\n"
    "      none   区切りなし         例: vokcli mkpatn --separator none rec.cpy rec.ptn\n"
    "      comma  カンマ区切り       例: vokcli mkpatn --separator comma rec.cpy rec.ptn\n"
    "      space  スペース区切り     例: vokcli mkpatn --separator space rec.cpy rec.ptn\n"
    "  --quote             文字項目(X,A,N)を引用符(\")で囲む\n"
    "                                例: vokcli mkpatn --quote --separator comma rec.cpy rec.ptn\n"
    "  --log ログ          ログファイルを残す(省略時は一時ファイルを使い、終了後に削除します)\n"
    "                                例: vokcli mkpatn --log mkpatn.log rec.cpy rec.ptn\n"
    "  --help              この説明を表示する\n"
    "\n"
    "終了コード: 0 正常終了, 1 未サポート項目(COMP/BINARY, OCCURS DEPENDING ONなど)を含むパターンを作成した, 2 エラー\n";

constexpr CommandSpec kSpec{kCommand, kOptions, kHelp, 2, "コピー句ファイルとパターンファイルを指定してください"};

}  // namespace

int runMkpatn(int argc, char** argv) {
    Arguments args;
    if (std::optional<int> done = startCommand(kSpec, argc, argv, args)) return *done;
    std::string error;
    const std::optional<std::int32_t> separator = choiceOption(args, "--separator", kSeparators, "none", error);
    if (!separator) return usageError(kCommand, error);
    if (std::optional<int> done = checkOperands(kSpec, args)) return *done;

    const std::string copybook = args.operands[0];
    const std::string pattern = args.operands[1];
    const std::string log = args.valueOr("--log", "");
    if (const std::string problem = samePathProblem({copybook}, {pattern, log}); !problem.empty())
        return refuse(kCommand, problem);
    const std::int32_t quote = args.has("--quote") ? kQuoteOn : kQuoteOff;
    const Job job{vok::Tab::Pattern, log, {copybook, pattern}, [&](const char* logPath) {
                      return mkpatn(1, *separator, quote, copybook.c_str(), pattern.c_str(), logPath);
                  }};
    return runJob(job);
}

}  // namespace vokcli
