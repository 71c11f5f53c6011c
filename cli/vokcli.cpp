#include <cstring>
#include <iostream>

#include "commands.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 2;

const char kUsage[] =
    "使い方: vokcli <s2j|j2s|mkpatn> [オプション] 入力 出力\n"
    "  s2j     シフトJISのテキストファイルをJEFファイルに変換します\n"
    "  j2s     JEFファイルをシフトJISのテキストファイルに変換します\n"
    "  mkpatn  COBOLのコピー句からレコードパターンファイルを作成します\n"
    "各コマンドの説明: vokcli <コマンド> --help\n";

struct Command {
    const char* name;
    int (*run)(int, char**);
};

constexpr Command kCommands[] = {
    {"s2j", vokcli::runS2j},
    {"j2s", vokcli::runJ2s},
    {"mkpatn", vokcli::runMkpatn},
};

int dispatch(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << kUsage;
        return kExitUsage;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::cout << kUsage;
        return 0;
    }
    for (const Command& command : kCommands)
        if (std::strcmp(argv[1], command.name) == 0) return command.run(argc - 2, argv + 2);
    std::cerr << "vokcli: 不明なコマンドです: " << argv[1] << "\n" << kUsage;
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    const int status = dispatch(argc, argv);
    // What could not be told did not happen as far as a script can see: a
    // full disk or a closed pipe under either stream is a failure.
    std::cout.flush();
    std::cerr.flush();
    return std::cout.good() && std::cerr.good() ? status : kExitFailure;
}
