#include "testutil.h"

#include <iconv.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testutil {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "voktest-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

void writeFile(const std::string& path, const std::string& bytes) { writeFile(path, Bytes(bytes.begin(), bytes.end())); }

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string readText(const std::string& path) { const Bytes b = readFile(path); return std::string(b.begin(), b.end()); }

bool exists(const std::string& path) { return std::filesystem::exists(path); }

namespace {
std::string convert(const char* to, const char* from, const std::string& text) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open failed");
    std::string in = text, out(in.size() * 4 + 16, '\0');
    char *src = in.data(), *dst = out.data();
    std::size_t srcLeft = in.size(), dstLeft = out.size();
    const std::size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (rc == static_cast<std::size_t>(-1)) throw std::runtime_error("text not convertible");
    out.resize(out.size() - dstLeft);
    return out;
}
}  // namespace

std::string sjis(const std::string& utf8Text) { return convert("CP932", "UTF-8", utf8Text); }
std::string utf8(const std::string& sjisText) { return convert("UTF-8", "CP932", sjisText); }

std::string logLines(const std::string& utf8WithLf) { return replaceAll(sjis(utf8WithLf), {{"\n", "\r\n"}}); }

Bytes hex(std::string_view digits) {
    Bytes b;
    std::string pair;
    for (char c : digits) {
        if (c == ' ') continue;
        pair += c;
        if (pair.size() == 2) b.push_back(static_cast<std::uint8_t>(std::stoul(pair, nullptr, 16))), pair.clear();
    }
    if (!pair.empty()) throw std::invalid_argument("odd number of hex digits");
    return b;
}

Bytes operator+(Bytes a, const Bytes& b) { a.insert(a.end(), b.begin(), b.end()); return a; }

std::string replaceAll(std::string text, std::initializer_list<std::pair<std::string, std::string>> pairs) {
    for (const auto& [key, value] : pairs)
        for (std::size_t at = 0; (at = text.find(key, at)) != std::string::npos; at += value.size()) text.replace(at, key.size(), value);
    return text;
}

namespace {
std::string shellQuoted(const std::string& arg) { return std::string("'").append(replaceAll(arg, {{"'", "'\\''"}})).append("'"); }
}  // namespace

CliRun runCli(const std::vector<std::string>& args, const std::string& tmpDir, const std::string& workDir) {
    TempDir capture;
    const std::string outFile = capture.file("stdout"), errFile = capture.file("stderr");
    std::string command;
    if (!workDir.empty()) command.append("cd ").append(shellQuoted(workDir)).append(" && ");
    command.append("TMPDIR=").append(shellQuoted(tmpDir)).append(" ").append(shellQuoted(VOK_CLI_PATH));
    for (const std::string& arg : args) command.append(" ").append(shellQuoted(arg));
    command.append(" >").append(shellQuoted(outFile)).append(" 2>").append(shellQuoted(errFile));
    const int raw = std::system(command.c_str());
    return CliRun{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readText(outFile), readText(errFile)};
}

}  // namespace testutil
