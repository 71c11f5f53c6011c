// j2sconv on three kinds of business text (see corpus.h), made JEF with
// shift codes by s2jconv: stream mode beside the usual converters run as
// processes on the same text in IBM930 / IBM1390, beside a plain 16 KB table
// loop, and with UTF-8 output through the extended interface. Then pattern
// mode with trimming against stream mode, a pattern file of 10,000 keyword
// entries, and the peak memory for a small and a large file.
//   bench_j2sconv [MEBIBYTES] [RECORDS] [KEYWORD_RECORDS]
#include <cstdlib>
#include <string_view>

#include "corpus.h"
#include "vokl.h"

namespace {

using namespace bench;

constexpr int kRuns = 5;
constexpr int kPeerRuns = 3;
constexpr double kPeerTarget = 5.0;
constexpr double kPlainTarget = 0.60;
constexpr double kUtf8Target = 1.5;
constexpr double kPatternTarget = 3.0;
constexpr double kKeywordTarget = 1e6;  // records a second
constexpr std::int64_t kDefaultRecords = 1000000;
constexpr std::int64_t kDefaultKeywordRecords = 2000000;
constexpr int kKeywordEntries = 10000;
constexpr std::size_t kSmallMiB = 8;

const std::string kSink = "/dev/null";
const char kStream[] = "_********_";

struct Peer2 {
    const char* name;
    std::vector<std::string> make;  // the peer's input from the Shift-JIS text
    const char* input;              // its file name
    std::vector<std::string> run;
};

const Peer2 kPeers[] = {
    {"iconv IBM930->CP932", {"iconv", "-f", "CP932", "-t", "IBM930"}, "text.ibm930", {"iconv", "-f", "IBM930", "-t", "CP932"}},
    {"iconv IBM1390->CP932", {"iconv", "-f", "CP932", "-t", "IBM1390"}, "text.ibm1390", {"iconv", "-f", "IBM1390", "-t", "CP932"}},
    {"uconv ibm-930->cp932", {"uconv", "-f", "cp932", "-t", "ibm-930"}, "text.icu930", {"uconv", "-f", "ibm-930", "-t", "cp932"}},
};

struct Files {
    std::string log, convLog;
};

bool stream(const std::string& in, const std::string& out, const Files& f) {
    return j2sconv(1, 1, 0, 0, 0, in.c_str(), out.c_str(), kStream, f.log.c_str(), f.convLog.c_str()) >= 0;
}

bool streamUtf8(const std::string& in, const std::string& out, const Files& f) {
    vokl_options o;
    vokl_options_init(&o, sizeof o);
    o.pc_encoding = VOKL_PC_UTF8;
    o.input_path = in.c_str();
    o.output_path = out.c_str();
    o.log_path = f.log.c_str();
    return vokl_j2s(&o, 1, 0, 0, 0, nullptr, f.convLog.c_str()) >= 0;
}

bool pattern(const std::string& in, const std::string& ptn, std::int32_t trim, const Files& f, std::int32_t* rc = nullptr) {
    const std::int32_t r = j2sconv(1, 1, 1, 0, trim, in.c_str(), kSink.c_str(), ptn.c_str(), f.log.c_str(), f.convLog.c_str());
    if (rc != nullptr) *rc = r;
    return r >= 0;
}

void row(const char* name, double bytes, const Timing& t) {
    std::printf("  %-28s %9.1f %9.1f\n", name, rate(bytes, t.cpu), rate(bytes, t.wall));
}

struct Met {
    int met = 0, total = 0;
    bool count(bool ok) {
        met += ok, ++total;
        return ok;
    }
};

// Stream mode's CPU seconds a byte on corpus (2), for pattern mode to be
// held against.
double switchHeavyPerByte = 0;

void runCorpus(const Corpus& corpus, const Alphabet& alphabet, std::size_t bytes, const WorkDir& dir, const Files& f,
               Met& met) {
    std::string text = makeText(corpus.kind, bytes, alphabet);
    const std::string sjis = dir.file("text.sjis"), jef = dir.file("text.jef"), back = dir.file("back.sjis"),
                      backUtf8 = dir.file("back.utf8");
    writeFile(sjis, text);
    const double chars = static_cast<double>(characters(text));
    std::printf("\n%s: %.1f MB of text, %.0f %% of the bytes double-byte (%s)\n", corpus.name,
                static_cast<double>(text.size()) / kMega, 100 * doubleByteShare(text), corpus.what);
    // The JEF input, and the way back gives the text without its line ends.
    std::string flat = text;
    std::erase_if(flat, [](char c) { return c == '\r' || c == '\n'; });
    std::string flatUtf8 = toUtf8(flat);
    text.clear();
    writeFile(dir.file("flat.sjis"), flat);
    writeFile(dir.file("flat.utf8"), flatUtf8);
    if (s2jconv(1, 1, 1, sjis.c_str(), jef.c_str(), f.log.c_str()) < 0 || !stream(jef, back, f) ||
        !sameContent(back, dir.file("flat.sjis")) || !streamUtf8(jef, backUtf8, f) ||
        !sameContent(backUtf8, dir.file("flat.utf8"))) {
        std::printf("  FAILED: the text does not come back unchanged\n");
        met.count(false);
        return;
    }
    const double size = static_cast<double>(fs::file_size(jef));
    Timing ours, plain, utf;
    for (int k = 0; k < kRuns; ++k) {
        timed(ours, [&] { return stream(jef, kSink, f); });
        timed(plain, [&] { return plainLoop(jef, kSink); });
        timed(utf, [&] { return streamUtf8(jef, kSink, f); });
    }
    if (corpus.kind == Kind::SwitchHeavy) switchHeavyPerByte = ours.cpu / size;
    std::printf("  %-28s %9s %9s   (MB of each one's own input)\n", "", "MB/s CPU", "MB/s wall");
    row("j2sconv stream (kana)", size, ours);
    row("plain 16 KB table loop", size, plain);
    Timing fastest;
    const char* fastestName = nullptr;
    for (const Peer2& peer : kPeers) {
        const std::string input = dir.file(peer.input);
        Timing unused, t;
        if (!runProgram(peer.make, sjis, input, unused)) {
            std::printf("  %-28s its input could not be made\n", peer.name);
            continue;
        }
        std::vector<std::string> args = peer.run;
        args.push_back(input);
        bool ok = true;
        for (int k = 0; k < kPeerRuns && ok; ++k) ok = runProgram(args, "/dev/null", kSink, t);
        if (!ok) {
            std::printf("  %-28s failed or missing\n", peer.name);
            continue;
        }
        row(peer.name, static_cast<double>(fs::file_size(input)), t);
        if (t.cpu < fastest.cpu) fastest = t, fastestName = peer.name;
    }
    if (fastestName != nullptr) {
        // The same text both ways: times compare directly.
        const double ratio = fastest.cpu / ours.cpu;
        std::printf("  vs fastest peer (%s), same text: %.2fx CPU, %.2fx wall (target >= %.0fx): %s\n", fastestName,
                    ratio, fastest.wall / ours.wall, kPeerTarget, verdict(met.count(ratio >= kPeerTarget)));
    }
    const double share = plain.cpu / ours.cpu;
    std::printf("  vs plain loop: %.0f %% CPU, %.0f %% wall (target >= %.0f %%): %s\n", 100 * share,
                100 * plain.wall / ours.wall, 100 * kPlainTarget, verdict(met.count(share >= kPlainTarget)));
    const double perChar = ours.cpu / chars * 1e9, utfPerChar = utf.cpu / chars * 1e9;
    std::printf("  UTF-8 output (vokl_j2s): %.2f ns/character against %.2f for Shift-JIS: %.2fx (target <= %.1fx): %s\n",
                utfPerChar, perChar, utfPerChar / perChar, kUtf8Target,
                verdict(met.count(utfPerChar / perChar <= kUtf8Target)));
}

// ---- pattern mode ----------------------------------------------------------

// XXXXXXXXXX,NNNNNNNNNN,SSSSS.SS,CCCCCCC,PPPPP,"XXXXX": 39 bytes a record,
// text fields padded with blanks.
const char kLayout[] = "XXXXXXXXXX,NNNNNNNNNN,SSSSS.SS,CCCCCCC,PPPPP,\"XXXXX\"\n";

std::string makeRecords(const Alphabet& alphabet, std::int64_t records) {
    const vokl::ByteTable& toEbcdic = vokl::jis8ToEbcdic(vokl::SbVariant::Kana);
    Random r(39);
    std::string out;
    auto text = [&](std::uint32_t n) {
        const std::uint32_t filled = r.between(1, n);
        for (std::uint32_t k = 0; k < n; ++k)
            out += static_cast<char>(toEbcdic[k < filled ? static_cast<std::uint8_t>(alphabet.upper[r.below(36)]) : ' ']);
    };
    auto digit = [&] { return static_cast<int>(r.below(10)); };
    for (std::int64_t k = 0; k < records; ++k) {
        text(10);
        const std::uint32_t kanji = r.between(1, 5);
        for (std::uint32_t c = 0; c < 5; ++c) {
            const std::uint8_t* jef =
                vokl::sjisToJef(alphabet.kanji[r.below(static_cast<std::uint32_t>(alphabet.kanji.size()))]);
            out += static_cast<char>(c < kanji ? jef[0] : 0x40);
            out += static_cast<char>(c < kanji ? jef[1] : 0x40);
        }
        for (int d = 0; d < 7; ++d) out += static_cast<char>((d == 6 ? (r.percent(50) ? 0xC0 : 0xD0) : 0xF0) + digit());
        for (int b = 0; b < 3; ++b) out += static_cast<char>(digit() * 16 + digit());
        out += static_cast<char>(digit() * 16 + (r.percent(50) ? 0xC : 0xD));
        for (int b = 0; b < 2; ++b) out += static_cast<char>(digit() * 16 + digit());
        out += static_cast<char>(digit() * 16 + 0xC);
        text(5);
    }
    return out;
}

void runPattern(const Alphabet& alphabet, std::int64_t records, const WorkDir& dir, const Files& f, Met& met) {
    const std::string in = dir.file("records.jef"), ptn = dir.file("layout.ptn");
    writeFile(in, makeRecords(alphabet, records));
    writeFile(ptn, kLayout);
    const double size = static_cast<double>(fs::file_size(in));
    std::printf("\npattern mode: %lld records of %.0f bytes, %s", static_cast<long long>(records),
                size / static_cast<double>(records), kLayout);
    Timing trimmed, plain;
    std::int32_t rc = 0;
    for (int k = 0; k < kRuns; ++k) {
        if (!timed(trimmed, [&] { return pattern(in, ptn, 1, f, &rc); })) {
            std::printf("  FAILED: %d\n", rc);
            met.count(false);
            return;
        }
        timed(plain, [&] { return pattern(in, ptn, 0, f); });
    }
    for (auto [name, t] : {std::pair{"trim 1", trimmed}, std::pair{"no trim", plain}})
        std::printf("  %-8s %8.1f MB/s CPU, %8.1f wall, %.2f M records/s CPU\n", name, rate(size, t.cpu),
                    rate(size, t.wall), static_cast<double>(records) / t.cpu / 1e6);
    const double ratio = trimmed.cpu / size / switchHeavyPerByte;
    std::printf("  trim 1 against stream mode on corpus (2), per byte: %.2fx slower (target <= %.0fx): %s\n", ratio,
                kPatternTarget, verdict(met.count(ratio <= kPatternTarget)));
}

// 10,000 entries "1:Knnnn:XXXX,..." whose records differ in length (9 to 11
// bytes); one record in a hundred matches none and takes the last entry.
void runKeywords(const Alphabet& alphabet, std::int64_t records, const WorkDir& dir, const Files& f, Met& met) {
    const vokl::ByteTable& toEbcdic = vokl::jis8ToEbcdic(vokl::SbVariant::Kana);
    auto keyword = [](int k) {
        char text[8];
        std::snprintf(text, sizeof text, "%c%03d", 'A' + k / 1000, k % 1000);
        return std::string(text);
    };
    auto recordLength = [](int k) { return 9 + k % 3; };
    std::string patterns;
    for (int k = 0; k < kKeywordEntries; ++k)
        patterns += "1:" + keyword(k) + ":XXXX," + std::string(static_cast<std::size_t>(recordLength(k) - 4), 'X') + "\n";
    Random r(10000);
    std::string data;
    for (std::int64_t n = 0; n < records; ++n) {
        const int k = r.percent(1) ? -1 : static_cast<int>(r.below(kKeywordEntries));
        const std::string key = k < 0 ? "Z999" : keyword(k);
        const int length = recordLength(k < 0 ? kKeywordEntries - 1 : k);
        for (char c : key) data += static_cast<char>(toEbcdic[static_cast<std::uint8_t>(c)]);
        for (int b = 4; b < length; ++b) data += static_cast<char>(toEbcdic[static_cast<std::uint8_t>(alphabet.upper[r.below(36)])]);
    }
    const std::string in = dir.file("keyed.jef"), ptn = dir.file("keyed.ptn");
    writeFile(in, data);
    writeFile(ptn, patterns);
    Timing t;
    std::int32_t rc = 0;
    for (int k = 0; k < kRuns; ++k) {
        if (!timed(t, [&] { return pattern(in, ptn, 0, f, &rc); })) {
            std::printf("\nkeywords: FAILED: %d\n", rc);
            met.count(false);
            return;
        }
    }
    const double perSecond = static_cast<double>(records) / t.cpu;
    std::printf("\n%d keyword entries: %lld records of about 10 bytes: %.2f M records/s CPU (%.2f wall), %.2f us a "
                "record (target >= %.0f M/s): %s\n",
                kKeywordEntries, static_cast<long long>(records), perSecond / 1e6, static_cast<double>(records) / t.wall / 1e6,
                t.cpu / static_cast<double>(records) * 1e6, kKeywordTarget / 1e6, verdict(met.count(perSecond >= kKeywordTarget)));
}

}  // namespace

int main(int argc, char** argv) {
    // --peak FILE [PATTERN]: one conversion in a process of its own, for its peak memory.
    if (argc >= 3 && std::string_view(argv[1]) == "--peak") {
        const WorkDir logs("bench_j2sconv-peak");
        const Files f{logs.file("vok.log"), logs.file("VOK_LOG.txt")};
        if (!(argc == 4 ? pattern(argv[2], argv[3], 1, f) : stream(argv[2], kSink, f))) return 1;
        std::printf("%ld\n", ownPeakKiB());
        return 0;
    }
    const std::size_t mebibytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : kCorpusBytes >> 20;
    const std::int64_t records = argc > 2 ? std::atoll(argv[2]) : kDefaultRecords;
    const std::int64_t keyed = argc > 3 ? std::atoll(argv[3]) : kDefaultKeywordRecords;
    WorkDir dir("bench_j2sconv");
    if (!dir.ok()) {
        std::perror("mkdtemp");
        return 1;
    }
    const Files f{dir.file("vok.log"), dir.file("VOK_LOG.txt")};
    const Alphabet alphabet;
    std::printf("j2sconv: rates in MB a second, best of %d (peers: of %d); output to %s\n", kRuns, kPeerRuns,
                kSink.c_str());
    Met met;
    for (const Corpus& corpus : kCorpora) runCorpus(corpus, alphabet, mebibytes << 20, dir, f, met);
    runPattern(alphabet, records, dir, f, met);
    runKeywords(alphabet, keyed, dir, f, met);

    // Memory does not grow with the file.
    const std::string small = dir.file("small.sjis"), large = dir.file("large.sjis");
    writeFile(small, makeText(kCorpora[1].kind, kSmallMiB << 20, alphabet));
    writeFile(large, makeText(kCorpora[1].kind, mebibytes << 20, alphabet));
    const std::string report = dir.file("peak.txt");
    s2jconv(1, 1, 1, small.c_str(), dir.file("small.jef").c_str(), f.log.c_str());
    s2jconv(1, 1, 1, large.c_str(), dir.file("large.jef").c_str(), f.log.c_str());
    std::printf("\npeak memory of j2sconv, stream mode on corpus (2): %ld KiB for %zu MiB, %ld KiB for %zu MiB\n",
                peakOfSelf({"--peak", dir.file("small.jef")}, report), kSmallMiB, peakOfSelf({"--peak", dir.file("large.jef")}, report),
                mebibytes);
    writeFile(dir.file("few.jef"), makeRecords(alphabet, records / 8));
    std::printf("peak memory of j2sconv, pattern mode: %ld KiB for %lld records, %ld KiB for %lld\n",
                peakOfSelf({"--peak", dir.file("few.jef"), dir.file("layout.ptn")}, report), static_cast<long long>(records / 8),
                peakOfSelf({"--peak", dir.file("records.jef"), dir.file("layout.ptn")}, report), static_cast<long long>(records));
    std::printf("targets met: %d of %d\n", met.met, met.total);
    return 0;
}
