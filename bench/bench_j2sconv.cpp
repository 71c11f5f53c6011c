// j2sconv throughput: stream mode on a generated 64 MB JEF file with shift
// codes, pattern mode on 1,000,000 mixed records, the same characters through
// iconv and uconv from IBM930/IBM1390, and a plain 16 KB table loop as the
// practical limit.
//   bench_j2sconv [MEGABYTES] [RECORDS]
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tblank.h"
#include "tblknj.h"
#include "vokl.h"

namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kDefaultMegabytes = 64;
constexpr std::int64_t kDefaultRecords = 1000000;
constexpr std::size_t kPlainBlock = 16 * 1024;
constexpr double kMega = 1e6;
constexpr int kRuns = 5;  // best of

// xorshift: the same data on every run.
class Random {
public:
    std::uint32_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    std::uint32_t below(std::uint32_t n) { return next() % n; }

private:
    std::uint32_t state_ = 2463534242u;
};

// Characters both sides know: upper-case letters, digits, blank, katakana;
// level-1 kanji whose JEF code converts back to the same Shift-JIS.
struct Alphabet {
    std::vector<std::uint8_t> singles;              // JIS8
    std::vector<std::pair<unsigned, unsigned>> kanji;  // Shift-JIS, JEF

    Alphabet() {
        const std::string plain = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 ";
        singles.assign(plain.begin(), plain.end());
        for (int k = 0xB1; k <= 0xDD; ++k) singles.push_back(static_cast<std::uint8_t>(k));
        for (unsigned sjis = 0x889F; sjis <= 0x9872; ++sjis) {
            unsigned trail = sjis & 0xFF;
            if (trail < 0x40 || trail == 0x7F || trail > 0xFC) continue;
            const std::uint8_t* j = vokl::sjisToJef(sjis);
            unsigned jef = j[0] * 256u + j[1];
            if (jef == 0) continue;
            const std::uint8_t* back = vokl::jefToSjis(jef);
            if (back[0] * 256u + back[1] != sjis || j[0] < 0xB0) continue;
            kanji.emplace_back(sjis, jef);
        }
    }
};

long peakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The stream file and the same characters as Shift-JIS text, written side by side.
void makeStreamFiles(const std::string& jefPath, const std::string& sjisPath, std::int64_t size) {
    Alphabet alphabet;
    const vokl::ByteTable& toEbcdic = vokl::jis8ToEbcdic(vokl::SbVariant::Kana);
    Random random;
    std::ofstream jef(jefPath, std::ios::binary), sjis(sjisPath, std::ios::binary);
    std::string j, s;
    std::int64_t written = 0;
    while (written < size) {
        j.clear();
        s.clear();
        for (int piece = 0; piece < 256; ++piece) {
            for (std::uint32_t n = 5 + random.below(36); n > 0; --n) {
                std::uint8_t c = alphabet.singles[random.below(static_cast<std::uint32_t>(alphabet.singles.size()))];
                s += static_cast<char>(c);
                j += static_cast<char>(toEbcdic[c]);
            }
            j += '\x28';
            for (std::uint32_t n = 2 + random.below(19); n > 0; --n) {
                auto [code, jefCode] = alphabet.kanji[random.below(static_cast<std::uint32_t>(alphabet.kanji.size()))];
                s += static_cast<char>(code >> 8);
                s += static_cast<char>(code & 0xFF);
                j += static_cast<char>(jefCode >> 8);
                j += static_cast<char>(jefCode & 0xFF);
            }
            j += '\x29';
        }
        jef.write(j.data(), static_cast<std::streamsize>(j.size()));
        sjis.write(s.data(), static_cast<std::streamsize>(s.size()));
        written += static_cast<std::int64_t>(j.size());
    }
}

// XXXXXXXXXX,NNNNNNNNNN,SSSSS.SS,CCCCCCC,PPPPP,"XXXXX": 39 bytes a record.
const char kPattern[] = "XXXXXXXXXX,NNNNNNNNNN,SSSSS.SS,CCCCCCC,PPPPP,\"XXXXX\"\n";

void makeRecordFile(const std::string& path, std::int64_t records) {
    Alphabet alphabet;
    const vokl::ByteTable& toEbcdic = vokl::jis8ToEbcdic(vokl::SbVariant::Kana);
    Random random;
    std::ofstream out(path, std::ios::binary);
    std::string r;
    auto text = [&](int n) {
        int filled = 1 + static_cast<int>(random.below(static_cast<std::uint32_t>(n)));
        for (int k = 0; k < n; ++k) {
            std::uint8_t c = k < filled ? alphabet.singles[random.below(36)] : ' ';
            r += static_cast<char>(toEbcdic[c]);
        }
    };
    auto digit = [&] { return static_cast<int>(random.below(10)); };
    for (std::int64_t k = 0; k < records; ++k) {
        text(10);
        int kanjiCount = 1 + static_cast<int>(random.below(5));
        for (int c = 0; c < 5; ++c) {
            unsigned jef = c < kanjiCount ? alphabet.kanji[random.below(static_cast<std::uint32_t>(alphabet.kanji.size()))].second
                                          : 0x4040;
            r += static_cast<char>(jef >> 8);
            r += static_cast<char>(jef & 0xFF);
        }
        for (int d = 0; d < 7; ++d) r += static_cast<char>((d == 6 ? (random.below(2) ? 0xC0 : 0xD0) : 0xF0) + digit());
        // 7 packed digits: 4 bytes; 5: 3 bytes.
        for (int b = 0; b < 3; ++b) r += static_cast<char>(digit() * 16 + digit());
        r += static_cast<char>(digit() * 16 + (random.below(2) ? 0xC : 0xD));
        for (int b = 0; b < 2; ++b) r += static_cast<char>(digit() * 16 + digit());
        r += static_cast<char>(digit() * 16 + 0xC);
        text(5);
        if (r.size() >= (1 << 20)) {
            out.write(r.data(), static_cast<std::streamsize>(r.size()));
            r.clear();
        }
    }
    out.write(r.data(), static_cast<std::streamsize>(r.size()));
}

// The loop that cannot be beaten: 16 KB blocks through one 256-byte table.
bool plainLoop(const std::string& in, const std::string& out) {
    const vokl::ByteTable& table = vokl::ebcdicToJis8(vokl::SbVariant::Kana);
    std::FILE* src = std::fopen(in.c_str(), "rb");
    std::FILE* dst = std::fopen(out.c_str(), "wb");
    if (src == nullptr || dst == nullptr) return false;
    std::vector<std::uint8_t> a(kPlainBlock), b(kPlainBlock);
    std::size_t n;
    while ((n = std::fread(a.data(), 1, a.size(), src)) > 0) {
        for (std::size_t k = 0; k < n; ++k) b[k] = table[a[k]];
        std::fwrite(b.data(), 1, n, dst);
    }
    std::fclose(src);
    return std::fclose(dst) == 0;
}

bool sameContent(const std::string& a, const std::string& b) {
    std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
    std::vector<char> p(1 << 16), q(1 << 16);
    for (;;) {
        x.read(p.data(), static_cast<std::streamsize>(p.size()));
        y.read(q.data(), static_cast<std::streamsize>(q.size()));
        if (x.gcount() != y.gcount() || !std::equal(p.begin(), p.begin() + x.gcount(), q.begin())) return false;
        if (x.gcount() == 0) return true;
    }
}

// CPU seconds of this process and of its finished children: the machine is
// shared, and wall time would measure the neighbours as well.
double cpuSeconds() {
    rusage self{}, children{};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);
    auto total = [](const rusage& u) {
        return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
               static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    };
    return total(self) + total(children);
}

template <class F>
double best(F&& run) {
    double fastest = 1e300;
    for (int k = 0; k < kRuns; ++k) {
        double start = cpuSeconds();
        if (!run()) return -1;
        fastest = std::min(fastest, cpuSeconds() - start);
    }
    return fastest;
}

std::string quoted(const std::string& s) { return "'" + s + "'"; }

bool shell(const std::string& command) { return std::system((command + " 2>/dev/null").c_str()) == 0; }

struct Peer {
    const char* name;
    std::string prepare;  // makes the peer's input from the Shift-JIS text
    std::string input;
    std::string run;
};

}  // namespace

int main(int argc, char** argv) {
    const std::int64_t megabytes = argc > 1 ? std::atoll(argv[1]) : kDefaultMegabytes;
    const std::int64_t records = argc > 2 ? std::atoll(argv[2]) : kDefaultRecords;
    fs::path dir = fs::temp_directory_path() / ("bench_j2sconv_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    auto file = [&](const char* name) { return (dir / name).string(); };
    const std::string jef = file("stream.jef"), text = file("stream.sjis"), out = file("out.txt");
    // Timed runs write to the null device: the conversion is measured, not the disk.
    const std::string sink = "/dev/null";
    const std::string log = file("vok.log"), convLog = file("VOK_LOG.txt");

    makeStreamFiles(jef, text, megabytes * 1000 * 1000);
    const double streamBytes = static_cast<double>(fs::file_size(jef));
    std::printf("stream input: %.1f MB of JEF with shift codes (rates in MB per CPU second, best of %d)\n",
                streamBytes / kMega, kRuns);

    std::int32_t rc = j2sconv(1, 1, 0, 0, 0, jef.c_str(), out.c_str(), "_********_", log.c_str(), convLog.c_str());
    const bool sameText = rc == 0 && sameContent(out, text);
    // Taken in turns with the plain loop, so that both meet the same neighbours.
    double streamTime = 1e300, plainTime = 1e300;
    for (int k = 0; k < kRuns; ++k) {
        double start = cpuSeconds();
        rc = j2sconv(1, 1, 0, 0, 0, jef.c_str(), sink.c_str(), "_********_", log.c_str(), convLog.c_str());
        streamTime = std::min(streamTime, cpuSeconds() - start);
        start = cpuSeconds();
        if (!plainLoop(jef, sink)) return 1;
        plainTime = std::min(plainTime, cpuSeconds() - start);
    }
    if (rc < 0) {
        std::printf("j2sconv stream mode failed: %d\n", rc);
        return 1;
    }
    const double streamRate = streamBytes / kMega / streamTime;
    std::printf("j2sconv stream:            %8.1f MB/s  (output %s the Shift-JIS source)\n", streamRate,
                sameText ? "matches" : "DIFFERS FROM");

    const double plainRate = streamBytes / kMega / plainTime;
    std::printf("plain 16 KB table loop:    %8.1f MB/s  (j2sconv = %.0f %% of it, target >= 40 %%)\n", plainRate,
                100.0 * streamRate / plainRate);

    const Peer peers[] = {
        {"iconv -f IBM930 -t CP932", "iconv -f CP932 -t IBM930", file("peer.ibm930"), "iconv -f IBM930 -t CP932"},
        {"iconv -f IBM1390 -t CP932", "iconv -f CP932 -t IBM1390", file("peer.ibm1390"), "iconv -f IBM1390 -t CP932"},
        {"uconv -f ibm-930 -t cp932", "iconv -f CP932 -t IBM930", file("peer.ibm930"), "uconv -f ibm-930 -t cp932"},
    };
    double fastestPeer = 0;
    for (const Peer& peer : peers) {
        if (!fs::exists(peer.input) && !shell(peer.prepare + " < " + quoted(text) + " > " + quoted(peer.input))) {
            std::printf("%-26s skipped: its input could not be made\n", peer.name);
            continue;
        }
        double bytes = static_cast<double>(fs::file_size(peer.input));
        double t = best([&] { return shell(peer.run + " < " + quoted(peer.input) + " > " + sink); });
        if (t < 0) {
            std::printf("%-26s skipped: missing or failed\n", peer.name);
            continue;
        }
        double rate = bytes / kMega / t;
        fastestPeer = std::max(fastestPeer, rate);
        std::printf("%-26s %8.1f MB/s  (j2sconv is %.1fx)\n", peer.name, rate, streamRate / rate);
    }
    if (fastestPeer > 0)
        std::printf("stream vs fastest peer:    %.1fx (target >= 5x)\n", streamRate / fastestPeer);

    const std::string recordsPath = file("records.jef"), ptn = file("layout.ptn");
    makeRecordFile(recordsPath, records);
    std::ofstream(ptn) << kPattern;
    const double recordBytes = static_cast<double>(fs::file_size(recordsPath));
    double patternRate = 0;
    for (std::int32_t trim : {1, 0}) {
        double patternTime = best([&] {
            rc = j2sconv(1, 1, 1, 0, trim, recordsPath.c_str(), sink.c_str(), ptn.c_str(), log.c_str(),
                         convLog.c_str());
            return rc >= 0;
        });
        if (patternTime < 0) {
            std::printf("j2sconv pattern mode failed: %d\n", rc);
            if (std::getenv("BENCH_KEEP") == nullptr) fs::remove_all(dir);
            return 1;
        }
        const double rate = recordBytes / kMega / patternTime;
        if (trim != 0) patternRate = rate;
        std::printf("j2sconv pattern, trim %d:  %8.1f MB/s, %.0f records/s (%lld records of %lld bytes)\n", trim,
                    rate, static_cast<double>(records) / patternTime, static_cast<long long>(records),
                    static_cast<long long>(recordBytes / static_cast<double>(records)));
    }
    std::printf("pattern (trim 1) vs stream per byte: %.2fx slower (target <= 3x)\n", streamRate / patternRate);
    std::printf("peak resident memory: %ld KB\n", peakRssKb());

    std::error_code ec;
    if (std::getenv("BENCH_KEEP") == nullptr) fs::remove_all(dir, ec);
    return 0;
}
