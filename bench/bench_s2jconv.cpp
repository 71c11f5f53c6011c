// s2jconv on three kinds of business text (see corpus.h), each beside the
// usual converters run as processes on the same text, beside a plain loop
// that only reads 16 KB blocks, maps each byte through a table and writes
// them, and with the same text in UTF-8 through the extended interface.
//   bench_s2jconv [MEBIBYTES]
#include <cstdlib>

#include "corpus.h"
#include "vokl.h"

namespace {

using namespace bench;

constexpr int kRuns = 5;      // best of, for our runs and the plain loop
constexpr int kPeerRuns = 3;  // the peers take seconds a run
constexpr double kPeerTarget = 5.0;
constexpr double kPlainTarget = 0.60;
constexpr double kUtf8Target = 1.5;
constexpr std::size_t kSmallMiB = 8;

const std::string kSink = "/dev/null";  // the conversion is measured, not the disk

const Peer kPeers[] = {
    {"iconv CP932->IBM930", {"iconv", "-f", "CP932", "-t", "IBM930"}},
    {"iconv CP932->IBM1390", {"iconv", "-f", "CP932", "-t", "IBM1390"}},
    {"uconv cp932->ibm-930", {"uconv", "-f", "cp932", "-t", "ibm-930"}},
};

bool s2j(const std::string& in, const std::string& out, const std::string& log) {
    return s2jconv(1, 1, 1, in.c_str(), out.c_str(), log.c_str()) >= 0;
}

bool s2jUtf8(const std::string& in, const std::string& out, const std::string& log) {
    vokl_options o;
    vokl_options_init(&o, sizeof o);
    o.pc_encoding = VOKL_PC_UTF8;
    o.input_path = in.c_str();
    o.output_path = out.c_str();
    o.log_path = log.c_str();
    return vokl_s2j(&o, 1, 1) >= 0;
}

void row(const char* name, double bytes, const Timing& t) {
    std::printf("  %-28s %9.1f %9.1f\n", name, rate(bytes, t.cpu), rate(bytes, t.wall));
}

struct Met {
    int met = 0, total = 0;
    void count(bool ok) { met += ok, ++total; }
};

void runCorpus(const Corpus& corpus, const Alphabet& alphabet, std::size_t bytes, const WorkDir& dir, Met& met) {
    const std::string text = makeText(corpus.kind, bytes, alphabet);
    const std::string sjis = dir.file("text.sjis"), utf8 = dir.file("text.utf8"), log = dir.file("vok.log");
    const std::string jef = dir.file("out.jef"), jefUtf8 = dir.file("out-utf8.jef");
    writeFile(sjis, text);
    writeFile(utf8, toUtf8(text));
    const double size = static_cast<double>(text.size());
    const double chars = static_cast<double>(characters(text));
    std::printf("\n%s: %.1f MB, %.0f %% of the bytes double-byte, %.1f M characters (%s)\n", corpus.name, size / kMega,
                100 * doubleByteShare(text), chars / kMega, corpus.what);

    // Both paths make the same JEF bytes before anything is timed.
    if (!s2j(sjis, jef, log) || !s2jUtf8(utf8, jefUtf8, log) || !sameContent(jef, jefUtf8)) {
        std::printf("  FAILED: the Shift-JIS and UTF-8 paths differ or fail\n");
        met.count(false);
        return;
    }
    Timing ours, plain, utf;
    for (int k = 0; k < kRuns; ++k) {
        // In turns, so that all meet the same neighbours.
        timed(ours, [&] { return s2j(sjis, kSink, log); });
        timed(plain, [&] { return plainLoop(sjis, kSink); });
        timed(utf, [&] { return s2jUtf8(utf8, kSink, log); });
    }
    std::printf("  %-28s %9s %9s\n", "", "MB/s CPU", "MB/s wall");
    row("s2jconv (kana, shift codes)", size, ours);
    row("plain 16 KB table loop", size, plain);
    Timing fastest;
    const char* fastestName = nullptr;
    for (const Peer& peer : kPeers) {
        Timing t;
        std::vector<std::string> args = peer.args;
        args.push_back(sjis);
        bool ok = true;
        for (int k = 0; k < kPeerRuns && ok; ++k) ok = runProgram(args, "/dev/null", kSink, t);
        if (!ok) {
            std::printf("  %-28s failed or missing\n", peer.name);
            continue;
        }
        row(peer.name, size, t);
        if (t.cpu < fastest.cpu) fastest = t, fastestName = peer.name;
    }
    if (fastestName != nullptr) {
        const double ratio = fastest.cpu / ours.cpu;
        std::printf("  vs fastest peer (%s): %.2fx CPU, %.2fx wall (target >= %.0fx): %s\n", fastestName, ratio,
                    fastest.wall / ours.wall, kPeerTarget, verdict(ratio >= kPeerTarget));
        met.count(ratio >= kPeerTarget);
    }
    const double share = plain.cpu / ours.cpu;
    std::printf("  vs plain loop: %.0f %% CPU, %.0f %% wall (target >= %.0f %%): %s\n", 100 * share,
                100 * plain.wall / ours.wall, 100 * kPlainTarget, verdict(share >= kPlainTarget));
    met.count(share >= kPlainTarget);
    const double perChar = ours.cpu / chars * 1e9, utfPerChar = utf.cpu / chars * 1e9;
    std::printf("  UTF-8 input (vokl_s2j): %.2f ns/character against %.2f for Shift-JIS: %.2fx (target <= %.1fx): %s\n",
                utfPerChar, perChar, utfPerChar / perChar, kUtf8Target, verdict(utfPerChar / perChar <= kUtf8Target));
    met.count(utfPerChar / perChar <= kUtf8Target);
}

}  // namespace

int main(int argc, char** argv) {
    // --peak FILE: one conversion in a process of its own, for its peak memory.
    if (argc == 3 && std::string(argv[1]) == "--peak") {
        const WorkDir logs("bench_s2jconv-peak");
        if (!s2j(argv[2], kSink, logs.file("vok.log"))) return 1;
        std::printf("%ld\n", ownPeakKiB());
        return 0;
    }
    const std::size_t mebibytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : kCorpusBytes >> 20;
    WorkDir dir("bench_s2jconv");
    if (!dir.ok()) {
        std::perror("mkdtemp");
        return 1;
    }
    const Alphabet alphabet;
    std::printf("s2jconv: rates in MB of Shift-JIS text a second, best of %d (peers: of %d); output to %s\n", kRuns,
                kPeerRuns, kSink.c_str());
    Met met;
    for (const Corpus& corpus : kCorpora) runCorpus(corpus, alphabet, mebibytes << 20, dir, met);

    // Memory does not grow with the file.
    const Corpus& heavy = kCorpora[1];
    const std::string small = dir.file("small.sjis"), large = dir.file("large.sjis");
    writeFile(small, makeText(heavy.kind, kSmallMiB << 20, alphabet));
    writeFile(large, makeText(heavy.kind, mebibytes << 20, alphabet));
    const std::string report = dir.file("peak.txt");
    const long smallPeak = peakOfSelf({"--peak", small}, report), largePeak = peakOfSelf({"--peak", large}, report);
    std::printf("\npeak memory of s2jconv on corpus %s: %ld KiB for %zu MiB, %ld KiB for %zu MiB\n", heavy.name,
                smallPeak, kSmallMiB, largePeak, mebibytes);
    std::printf("targets met: %d of %d\n", met.met, met.total);
    return 0;
}
