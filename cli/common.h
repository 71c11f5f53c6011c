// What every vokcli subcommand shares: reading its options, the log of the
// run, calling the export, and telling the user how it went, in the same
// words as the desktop program.
//
// A subcommand is written like this (cmd_s2j.cpp is the model):
//
//   constexpr OptionSpec kOptions[] = {{"--code", true}, {"--shift", false}, {"--log", true}};
//   constexpr CommandSpec kSpec{"s2j", kOptions, kHelp, 2, "入力ファイルと出力ファイルを指定してください"};
//   Arguments args;
//   if (std::optional<int> done = startCommand(kSpec, argc, argv, args)) return *done;
//   ... turn option words into numbers with choiceOption()/intValue() ...
//   if (std::optional<int> done = checkOperands(kSpec, args)) return *done;
//   if (auto problem = samePathProblem({in}, {out, log}); !problem.empty()) return refuse("s2j", problem);
//   Job job{vok::Tab::SjisToJef, args.valueOr("--log", ""), {in, out},
//           [&](const char* log) { return s2jconv(1, code, shift, in.c_str(), out.c_str(), log); }};
//   return runJob(job);
//
// Exit status: 0 success; 1 done with a warning (characters replaced: -1 from
// s2jconv/j2sconv; pattern written with unsupported items: -4 from mkpatn);
// 2 failure or usage error.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "resultReport.h"
#include "vokl.h"

namespace vokcli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitWarning = 1;
inline constexpr int kExitFailure = 2;
inline constexpr int kExitUsage = 2;

// One option a subcommand accepts: "--name", with a value or as a switch.
struct OptionSpec {
    const char* name;
    bool takesValue;
};

struct Arguments {
    std::map<std::string, std::string> values;  // options given with a value (the last one counts)
    std::set<std::string> switches;             // options given without a value
    std::vector<std::string> operands;          // everything else, in order
    bool help = false;                          // --help or -h was given

    bool has(const std::string& name) const { return values.count(name) != 0 || switches.count(name) != 0; }
    std::string valueOr(const std::string& name, const std::string& fallback) const;
};

// Parses (OPTION | OPERAND)* ["--" OPERAND*], where OPTION is "--name" for a
// switch and "--name VALUE" or "--name=VALUE" for an option with a value.
// A lone "-" is an operand. Returns false with a Japanese message on an
// unknown option, a missing value, or a value given to a switch.
bool parseArguments(int argc, char** argv, std::span<const OptionSpec> options, Arguments& out, std::string& error);

// What a subcommand accepts and how it is described.
struct CommandSpec {
    const char* name;                     // "s2j"
    std::span<const OptionSpec> options;
    const char* help;                     // printed for --help
    std::size_t operandCount;             // the file operands it needs
    const char* operandsMessage;          // said when they are not all there
};

// Parses the arguments and handles what ends the command at once: a usage
// error or --help (printed). Returns the exit status then, nothing when the
// command should go on.
std::optional<int> startCommand(const CommandSpec& command, int argc, char** argv, Arguments& args);
// The usage error for a wrong number of file operands, checked after the
// options so that a missing option is named first.
std::optional<int> checkOperands(const CommandSpec& command, const Arguments& args);

// A word the user may give for an option, and the number the export takes.
struct Choice {
    const char* word;
    std::int32_t value;
};

std::optional<std::int32_t> choiceValue(const std::string& word, std::span<const Choice> choices);
// The number for the word given to option `name`; `fallbackWord` when the
// option is absent, or an error when it is absent and there is no fallback.
// On failure `error` holds the Japanese message.
std::optional<std::int32_t> choiceOption(const Arguments& args, const std::string& name,
                                         std::span<const Choice> choices, const char* fallbackWord,
                                         std::string& error);
// The words of a choice list joined by "|", for messages and help.
std::string choiceWords(std::span<const Choice> choices);
// A decimal integer within [min, max], nothing else around it.
std::optional<std::int32_t> intValue(const std::string& text, std::int32_t min, std::int32_t max);

// Prints "vokcli COMMAND: MESSAGE" and a pointer to --help on standard error;
// returns kExitUsage.
int usageError(const char* command, const std::string& message);
// Prints "vokcli COMMAND: MESSAGE" on standard error; returns kExitFailure.
int refuse(const char* command, const std::string& message);

// Creating an output truncates it, so an output (the log included) that is
// also an input would destroy that input. Like the desktop program, refuse
// equal path texts; unlike it, also other names of the same existing file.
// Empty paths and "-" (standard input or output) are passed over. Returns the
// desktop program's message, or an empty string when all differ.
std::string samePathProblem(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs);

// 0, 1 or 2 for a result code of the export behind the tab.
int exitStatus(vok::Tab tab, std::int32_t code);

// One run of an export. A job that needs a further file (the conversion-error
// log of j2sconv) names it itself and lists it in `paths`.
struct Job {
    vok::Tab tab;
    std::string logPath;             // --log FILE; empty: a temporary "vok" file
    std::vector<std::string> paths;  // the paths handed to the export (shown as they are in the log)
    std::function<std::int32_t(const char* logPath)> call;
};

// Creates the log path (a temporary file unless one is given), calls the
// export with log switch on, prints the status text and returns the exit
// status. Success: the status text on `out`. Warning or failure: the status
// text and then the log, decoded to UTF-8, on `err`. A temporary log is
// removed when the run is over (after a failure, once its lines have been
// printed); a log named with --log is always kept.
int runJob(const Job& job, std::ostream& out, std::ostream& err);
int runJob(const Job& job);

// Exit status of a job stopped with Ctrl-C, as the shell reports SIGINT.
inline constexpr int kExitStopped = 130;

// "-" for standard input or output.
inline bool isStandardStream(const std::string& path) { return path == "-"; }

// One run of the extended interface (s2j and j2s): the log comes back line by
// line in UTF-8, a progress line goes to standard error when it is a
// terminal, and Ctrl-C stops the job. `call` gets the options with the input,
// output, log and callbacks filled in and adds the job's own.
struct ExtendedJob {
    vok::Tab tab;
    std::string input, output;  // paths, or "-"
    std::string logPath;        // --log FILE; empty: none
    bool quiet = false;         // --quiet: no progress line
    std::function<std::int32_t(vokl_options& options)> call;
};

// Runs it and tells the user as runJob does; the status text of a success
// goes to standard error too when the output is standard output. Exit
// status: 0, 1, 2, or kExitStopped.
int runExtendedJob(const ExtendedJob& job);

}  // namespace vokcli
