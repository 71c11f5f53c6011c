// Small helpers for the tests: a scratch folder that removes itself, whole-file
// reads and writes, and Shift-JIS text made from readable UTF-8.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testutil {

using Bytes = std::vector<std::uint8_t>;

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    // A path inside the folder, as the 8-bit string the library takes.
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

void writeFile(const std::string& path, const Bytes& bytes);
void writeFile(const std::string& path, const std::string& bytes);
Bytes readFile(const std::string& path);
std::string readText(const std::string& path);
bool exists(const std::string& path);

// UTF-8 -> Shift-JIS (CP932), for expected log lines and input text.
std::string sjis(const std::string& utf8);
// Shift-JIS (CP932) -> UTF-8, for readable failure messages.
std::string utf8(const std::string& sjisText);

// A log line as the library writes it: Shift-JIS, with CR LF line ends.
std::string logLines(const std::string& utf8WithLf);

// Bytes written as hex digits, blanks between them ignored: "C1 C2 0D0A".
Bytes hex(std::string_view digits);
Bytes operator+(Bytes a, const Bytes& b);
// Every key of `pairs` in `text` replaced by its value, in the order given.
std::string replaceAll(std::string text, std::initializer_list<std::pair<std::string, std::string>> pairs);

// One run of the vokcli program: its exit status and what it printed.
struct CliRun { int status; std::string out, err; };

// Runs vokcli with `args` (the subcommand first) as a user would: TMPDIR set
// to `tmpDir` and, when `workDir` is given, in that folder.
CliRun runCli(const std::vector<std::string>& args, const std::string& tmpDir, const std::string& workDir = "");

}  // namespace testutil
