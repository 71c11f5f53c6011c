#include "common.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "logText.h"
#include "runProgress.h"
#include "samefile.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

#include <chrono>
#include <csignal>

namespace vokcli {

std::string Arguments::valueOr(const std::string& name, const std::string& fallback) const {
    auto it = values.find(name);
    return it != values.end() ? it->second : fallback;
}

namespace {

const OptionSpec* findOption(std::span<const OptionSpec> options, const std::string& name) {
    for (const OptionSpec& option : options)
        if (name == option.name) return &option;
    return nullptr;
}

}  // namespace

bool parseArguments(int argc, char** argv, std::span<const OptionSpec> options, Arguments& out, std::string& error) {
    bool operandsOnly = false;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (operandsOnly || arg.size() < 2 || arg[0] != '-') {
            out.operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            operandsOnly = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            out.help = true;
            continue;
        }
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const OptionSpec* option = findOption(options, name);
        if (option == nullptr) {
            error = "不明なオプションです: " + arg;
            return false;
        }
        if (!option->takesValue) {
            if (equals != std::string::npos) {
                error = name + " に値は指定できません";
                return false;
            }
            out.switches.insert(name);
        } else {
            // No option takes an empty value: an empty one is a slip, not a choice.
            std::string value;
            if (equals != std::string::npos) value = arg.substr(equals + 1);
            else if (i + 1 < argc) value = argv[++i];
            if (value.empty()) {
                error = name + " の値がありません";
                return false;
            }
            out.values[name] = value;
        }
    }
    return true;
}

std::optional<int> startCommand(const CommandSpec& command, int argc, char** argv, Arguments& args) {
    std::string error;
    if (!parseArguments(argc, argv, command.options, args, error)) return usageError(command.name, error);
    if (args.help) {
        std::cout << command.help;
        return kExitSuccess;
    }
    return std::nullopt;
}

std::optional<int> checkOperands(const CommandSpec& command, const Arguments& args) {
    if (args.operands.size() != command.operandCount) return usageError(command.name, command.operandsMessage);
    return std::nullopt;
}

std::optional<std::int32_t> choiceOption(const Arguments& args, const std::string& name,
                                         std::span<const Choice> choices, const char* fallbackWord,
                                         std::string& error) {
    if (!args.has(name) && fallbackWord == nullptr) {
        error = name + " を指定してください(" + choiceWords(choices) + ")";
        return std::nullopt;
    }
    std::optional<std::int32_t> value = choiceValue(args.valueOr(name, fallbackWord != nullptr ? fallbackWord : ""), choices);
    if (!value) error = name + " の値が正しくありません(" + choiceWords(choices) + ")";
    return value;
}

std::optional<std::int32_t> choiceValue(const std::string& word, std::span<const Choice> choices) {
    for (const Choice& choice : choices)
        if (word == choice.word) return choice.value;
    return std::nullopt;
}

std::string choiceWords(std::span<const Choice> choices) {
    std::string words;
    for (const Choice& choice : choices) {
        if (!words.empty()) words += '|';
        words += choice.word;
    }
    return words;
}

std::optional<std::int32_t> intValue(const std::string& text, std::int32_t min, std::int32_t max) {
    std::int32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < min || value > max) return std::nullopt;
    return value;
}

int usageError(const char* command, const std::string& message) {
    std::cerr << "vokcli " << command << ": " << message << "\n"
              << "使い方は vokcli " << command << " --help をご覧ください\n";
    return kExitUsage;
}

int refuse(const char* command, const std::string& message) {
    std::cerr << "vokcli " << command << ": " << message << "\n";
    return kExitFailure;
}

namespace {
// Two outputs may not exist yet: the same text is enough.
bool sameFile(const std::string& a, const std::string& b) {
    return a == b || vokl::sameExistingFile(a.c_str(), b.c_str());
}
}  // namespace

std::string samePathProblem(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs) {
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        if (outputs[i].empty() || isStandardStream(outputs[i])) continue;
        for (const std::string& input : inputs)
            if (sameFile(input, outputs[i])) return "入力側と出力側のパス名が同じです";
        for (std::size_t j = i + 1; j < outputs.size(); ++j)
            if (sameFile(outputs[i], outputs[j])) return "入力側と出力側のパス名が同じです";
    }
    return {};
}

int exitStatus(vok::Tab tab, std::int32_t code) {
    if (!vok::resultReport(tab, code).showLog) return kExitSuccess;
    const bool replaced = code == -1 && tab != vok::Tab::Pattern;
    const bool unsupportedItems = code == -4 && tab == vok::Tab::Pattern;
    return replaced || unsupportedItems ? kExitWarning : kExitFailure;
}

namespace {

// Text the desktop program shows when it cannot make its temporary log.
constexpr char kNoTempFile[] = "一時ファイルが作成できませんでした";
constexpr char kTempPrefix[] = "vok";

// A new empty file with the prefix "vok" in the temporary folder; empty on failure.
std::string createTempLog() {
#ifdef _WIN32
    char folder[MAX_PATH + 1];
    const DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length > sizeof folder) return {};
    char path[MAX_PATH + 1];
    if (GetTempFileNameA(folder, kTempPrefix, 0, path) == 0) return {};
    return path;
#else
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
    if (ec) return {};
    std::string pattern = (folder / (std::string(kTempPrefix) + "XXXXXX")).string();
    const int fd = mkstemp(pattern.data());
    if (fd < 0) return {};
    close(fd);
    return pattern;
#endif
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int runJob(const Job& job, std::ostream& out, std::ostream& err) {
    const bool temporary = job.logPath.empty();
    const std::string logPath = temporary ? createTempLog() : job.logPath;
    if (logPath.empty()) {
        err << kNoTempFile << "\n";
        return kExitFailure;
    }
    const std::int32_t code = job.call(logPath.c_str());
    const vok::ResultReport report = vok::resultReport(job.tab, code);
    const int status = exitStatus(job.tab, code);
    if (status == kExitSuccess) {
        out << report.text << "\n";
    } else {
        err << report.text << "\n";
        std::vector<std::string> paths = job.paths;
        paths.push_back(logPath);
        err << vok::logToUtf8(readAll(logPath), paths);
        err.flush();
    }
    if (temporary) {
        std::error_code ec;
        std::filesystem::remove(logPath, ec);
    }
    return status;
}

int runJob(const Job& job) { return runJob(job, std::cout, std::cerr); }

namespace {

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void onInterrupt(int) { stopRequested = 1; }

// Ctrl-C asks the job to stop for as long as it runs: no restart of an
// interrupted read, so a wait on a pipe ends too.
class InterruptGuard {
public:
    InterruptGuard() {
        stopRequested = 0;
#ifdef _WIN32
        previous_ = std::signal(SIGINT, onInterrupt);
#else
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previous_);
#endif
    }
    ~InterruptGuard() {
#ifdef _WIN32
        std::signal(SIGINT, previous_);
#else
        sigaction(SIGINT, &previous_, nullptr);
#endif
    }
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

private:
#ifdef _WIN32
    void (*previous_)(int);
#else
    struct sigaction previous_ {};
#endif
};

struct RunState {
    std::vector<std::string> lines;
    bool showProgress = false;
    bool progressShown = false;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

bool isTerminal(int fd) {
#ifdef _WIN32
    return _isatty(fd) != 0;
#else
    return isatty(fd) != 0;
#endif
}

}  // namespace

int runExtendedJob(const ExtendedJob& job) {
    RunState state;
    state.showProgress = !job.quiet && isTerminal(2);
    vokl_options options;
    vokl_options_init(&options, sizeof options);
    if (isStandardStream(job.input)) options.input_fd = 0;
    else options.input_path = job.input.c_str();
    if (isStandardStream(job.output)) options.output_fd = 1;
    else options.output_path = job.output.c_str();
    if (!job.logPath.empty()) options.log_path = job.logPath.c_str();
    options.user = &state;
    options.log_line = [](void* user, const char* line) { static_cast<RunState*>(user)->lines.push_back(line); };
    options.progress = [](void* user, std::int64_t done, std::int64_t total) -> int {
        auto& s = *static_cast<RunState*>(user);
        if (s.showProgress) {
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - s.start).count();
            const int percent = vok::progressPercent(done, total);
            if (percent >= 0) std::cerr << "\r" << percent << "%  " << vok::progressRate(done, total, seconds) << "\x1b[K";
            else std::cerr << "\r" << vok::progressRate(done, total, seconds) << "\x1b[K";
            std::cerr.flush();
            s.progressShown = true;
        }
        return stopRequested != 0 ? 1 : 0;
    };
    std::int32_t code;
    {
        InterruptGuard guard;
        code = job.call(options);
    }
    if (state.progressShown) std::cerr << "\r\x1b[K" << std::flush;
    const vok::ResultReport report = vok::resultReport(job.tab, code);
    const int status = code == VOKL_ESTOPPED ? kExitStopped : exitStatus(job.tab, code);
    std::ostream& told = status == kExitSuccess && !isStandardStream(job.output) ? std::cout : std::cerr;
    told << report.text << "\n";
    if (status != kExitSuccess)
        for (const std::string& line : state.lines) std::cerr << line << "\n";
    return status;
}

}  // namespace vokcli
