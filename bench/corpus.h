// What both benchmark programs share: the three texts they convert, made
// the same way on every run, and the clocks, the peers and the plain loop
// they are measured against.
//
// The texts use only characters that every peer converts and that come back
// unchanged through JEF and through UTF-8: upper-case letters, digits, a
// few signs, half-width katakana and the kanji of JIS levels 1 and 2.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tblank.h"
#include "tblknj.h"
#include "tbluni.h"

namespace bench {

namespace fs = std::filesystem;

inline constexpr std::size_t kCorpusBytes = std::size_t{64} << 20;
inline constexpr std::size_t kPlainBlock = 16 * 1024;
inline constexpr double kMega = 1e6;

// splitmix64: the same text on every machine.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    std::uint32_t below(std::uint32_t n) { return static_cast<std::uint32_t>(((next() >> 32) * n) >> 32); }
    std::uint32_t between(std::uint32_t low, std::uint32_t high) { return low + below(high - low + 1); }
    bool percent(std::uint32_t p) { return below(100) < p; }

private:
    std::uint64_t state_;
};

struct Alphabet {
    std::string upper = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string digits = "0123456789";
    std::string kana;                  // half-width katakana, Shift-JIS single bytes
    std::vector<std::uint16_t> kanji;  // Shift-JIS codes

    Alphabet() {
        for (unsigned b = 0xA6; b <= 0xDF; ++b) kana.push_back(static_cast<char>(b));
        for (unsigned code = 0x889F; code <= 0xEAA4; ++code) {
            const unsigned trail = code & 0xFF;
            if (trail < 0x40 || trail == 0x7F || trail > 0xFC || !vokl::isSjisLeadByte(code >> 8)) continue;
            const std::uint8_t* jef = vokl::sjisToJef(code);
            const unsigned jefCode = jef[0] * 256u + jef[1];
            if (jefCode == 0) continue;
            const std::uint8_t* back = vokl::jefToSjis(jefCode);
            const std::uint16_t scalar = vokl::kCp932ToUnicode[code];
            if (back[0] * 256u + back[1] != code || scalar == vokl::kNoCode || vokl::kUnicodeToCp932[scalar] != code)
                continue;
            kanji.push_back(static_cast<std::uint16_t>(code));
        }
    }
};

class TextMaker {
public:
    TextMaker(const Alphabet& alphabet, std::uint64_t seed) : a_(alphabet), r_(seed) {}

    void from(const std::string& set, std::uint32_t count) {
        for (; count > 0; --count) text_ += set[r_.below(static_cast<std::uint32_t>(set.size()))];
    }
    void kanji(std::uint32_t count) {
        for (; count > 0; --count) {
            const std::uint16_t code = a_.kanji[r_.below(static_cast<std::uint32_t>(a_.kanji.size()))];
            text_ += static_cast<char>(code >> 8);
            text_ += static_cast<char>(code & 0xFF);
        }
    }
    void put(const char* s) { text_ += s; }
    void endLine() { text_ += "\r\n"; }
    std::size_t size() const { return text_.size(); }
    Random& random() { return r_; }
    const Alphabet& alphabet() const { return a_; }
    std::string take() { return std::move(text_); }

private:
    const Alphabet& a_;
    Random r_;
    std::string text_;
};

enum class Kind { SingleByte, SwitchHeavy, KanjiHeavy };

struct Corpus {
    Kind kind;
    const char* name;
    const char* what;
};

inline constexpr Corpus kCorpora[] = {
    {Kind::SingleByte, "(1) single-byte", "codes, letters and digits, a kanji line in twenty"},
    {Kind::SwitchHeavy, "(2) switch-heavy", "8 fields a line: 50 % letters/digits, 30 % kanji, 20 % katakana"},
    {Kind::KanjiHeavy, "(3) kanji-heavy", "kanji runs between short numbers"},
};

// One line of each kind.
inline void singleByteLine(TextMaker& m) {
    Random& r = m.random();
    if (r.below(20) == 0) {
        m.kanji(r.between(10, 30));
    } else {
        for (std::uint32_t field = r.between(6, 12); field > 0; --field) {
            m.from(m.alphabet().upper, r.between(2, 10));
            if (r.percent(30)) {
                m.put("-");
                m.from(m.alphabet().digits, r.between(3, 8));
            }
            if (field > 1) m.put(" ");
        }
    }
    m.endLine();
}

inline void switchHeavyLine(TextMaker& m) {
    Random& r = m.random();
    for (int field = 0; field < 8; ++field) {
        if (field > 0) m.put(",");
        const std::uint32_t pick = r.below(10);
        if (pick < 5) m.from(m.alphabet().upper, r.between(3, 15));
        else if (pick < 8) m.kanji(r.between(2, 8));
        else m.from(m.alphabet().kana, r.between(2, 8));
    }
    m.endLine();
}

inline void kanjiHeavyLine(TextMaker& m) {
    Random& r = m.random();
    for (std::uint32_t segment = r.between(3, 6); segment > 0; --segment) {
        m.kanji(r.between(6, 20));
        if (segment > 1 && r.percent(80)) m.from(m.alphabet().digits, r.between(1, 5));
    }
    m.endLine();
}

// Whole lines, as close to `bytes` as they come without passing it.
inline std::string makeText(Kind kind, std::size_t bytes, const Alphabet& alphabet) {
    TextMaker m(alphabet, 14 + static_cast<std::uint64_t>(kind));
    std::string text;
    for (;;) {
        const std::size_t before = m.size();
        if (kind == Kind::SingleByte) singleByteLine(m);
        else if (kind == Kind::SwitchHeavy) switchHeavyLine(m);
        else kanjiHeavyLine(m);
        if (m.size() > bytes) {
            text = m.take();
            text.resize(before);
            return text;
        }
    }
}

// Share of the text's bytes that belong to double-byte characters.
inline double doubleByteShare(const std::string& sjis) {
    std::size_t pairs = 0;
    for (std::size_t i = 0; i < sjis.size(); ++i) {
        if (vokl::isSjisLeadByte(static_cast<std::uint8_t>(sjis[i]))) ++pairs, ++i;
    }
    return sjis.empty() ? 0 : 2.0 * static_cast<double>(pairs) / static_cast<double>(sjis.size());
}

inline std::size_t characters(const std::string& sjis) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < sjis.size(); ++i, ++count) {
        if (vokl::isSjisLeadByte(static_cast<std::uint8_t>(sjis[i]))) ++i;
    }
    return count;
}

inline std::string toUtf8(const std::string& sjis) {
    std::string utf8;
    utf8.reserve(sjis.size() * 3 / 2);
    vokl::appendAsUtf8(sjis, utf8);
    return utf8;
}

inline void writeFile(const std::string& path, const std::string& data) {
    std::ofstream(path, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
}

inline bool sameContent(const std::string& a, const std::string& b) {
    std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
    std::vector<char> p(1 << 16), q(1 << 16);
    for (;;) {
        x.read(p.data(), static_cast<std::streamsize>(p.size()));
        y.read(q.data(), static_cast<std::streamsize>(q.size()));
        if (x.gcount() != y.gcount() || !std::equal(p.begin(), p.begin() + x.gcount(), q.begin())) return false;
        if (x.gcount() == 0) return true;
    }
}

// ---- clocks ------------------------------------------------------------------

// The machine is shared: CPU time is what a run costs, wall time what the
// neighbours left of it. Each figure is the best of several runs.
struct Timing {
    double cpu = 1e300;
    double wall = 1e300;
    void keepBest(const Timing& t) { cpu = std::min(cpu, t.cpu), wall = std::min(wall, t.wall); }
};

inline double seconds(const rusage& u) {
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

inline double cpuNow() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return seconds(u);
}

inline double wallNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Runs f() in this process; false from f() is a failed run.
template <class F>
bool timed(Timing& best, F&& f) {
    const double cpu = cpuNow(), wall = wallNow();
    if (!f()) return false;
    best.keepBest({cpuNow() - cpu, wallNow() - wall});
    return true;
}

// Runs a program with standard input and output from and to files; its CPU
// time is its own (wait4), not the shell's, and so is its peak memory (KiB)
// when asked for. False when it could not run or failed.
inline bool runProgram(const std::vector<std::string>& args, const std::string& in, const std::string& out,
                       Timing& best, long* peakKiB = nullptr) {
    const double wall = wallNow();
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        const int i = open(in.c_str(), O_RDONLY), o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e = open("/dev/null", O_WRONLY);
        if (i < 0 || o < 0 || e < 0) _exit(126);
        dup2(i, 0), dup2(o, 1), dup2(e, 2);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage u{};
    if (wait4(pid, &status, 0, &u) != pid) return false;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
    best.keepBest({seconds(u), wallNow() - wall});
    if (peakKiB != nullptr) *peakKiB = u.ru_maxrss;
    return true;
}

// The peak memory of this process's own image (KiB): what it had before
// exec, as a copy of a large parent, does not count.
inline long ownPeakKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

// This program again, in a process of its own that prints ownPeakKiB().
inline long peakOfSelf(const std::vector<std::string>& args, const std::string& report) {
    std::vector<std::string> all{fs::read_symlink("/proc/self/exe").string()};
    all.insert(all.end(), args.begin(), args.end());
    Timing unused;
    if (!runProgram(all, "/dev/null", report, unused)) return -1;
    long peak = -1;
    std::ifstream(report) >> peak;
    return peak;
}

// The loop nothing beats: 16 KB blocks read, each byte mapped through a
// 256-entry table, written.
inline bool plainLoop(const std::string& in, const std::string& out) {
    const vokl::ByteTable& map = vokl::ebcdicToJis8(vokl::SbVariant::Kana);
    std::FILE* src = std::fopen(in.c_str(), "rb");
    std::FILE* dst = std::fopen(out.c_str(), "wb");
    if (src == nullptr || dst == nullptr) return false;
    std::vector<std::uint8_t> a(kPlainBlock), b(kPlainBlock);
    // Raw pointers: a byte store could otherwise alias the vectors' own.
    const std::uint8_t* const table = map.data();
    std::uint8_t* const from = a.data();
    std::uint8_t* const to = b.data();
    std::size_t n;
    while ((n = std::fread(from, 1, kPlainBlock, src)) > 0) {
        for (std::size_t k = 0; k < n; ++k) to[k] = table[from[k]];
        std::fwrite(to, 1, n, dst);
    }
    std::fclose(src);
    return std::fclose(dst) == 0;
}

struct Peer {
    const char* name;
    std::vector<std::string> args;  // the input file is added last
};

inline double rate(double bytes, double secs) { return bytes / kMega / secs; }

inline const char* verdict(bool met) { return met ? "met" : "NOT MET"; }

// A folder of its own under the temporary folder, removed at the end.
class WorkDir {
public:
    explicit WorkDir(const char* prefix) {
        std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~WorkDir() {
        std::error_code ec;
        if (!path_.empty() && std::getenv("BENCH_KEEP") == nullptr) fs::remove_all(path_, ec);
    }
    bool ok() const { return !path_.empty(); }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

}  // namespace bench
