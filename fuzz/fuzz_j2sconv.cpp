// j2sconv on arbitrary host bytes, in stream mode with several block lengths
// and in pattern mode with a fixed set of pattern files. The first two bytes
// choose the options:
//   byte 0: bit 0 pattern mode, bits 1-2 code option, bit 3 keep shift codes,
//           bits 4-7 trim flags
//   byte 1: block length (stream) or pattern file (pattern mode), and whether
//           line ends are appended
// Everything is written in a temporary folder made and removed per input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "vokl.h"

namespace {

namespace fs = std::filesystem;

constexpr std::int32_t kBlockLengths[] = {0, 1, 2, 3, 5, 16, 80, 16380};

// Every field kind, literals, quotes, points, keywords before and after shift
// codes, a record without fields, a point that only the engine refuses.
const char* const kPatterns[] = {
    "XXNN,SS.S,CCC,PPPP\n",
    "1:A:XXXX,NN\n2:B:X\"XX\",S.SS\n1:C: , ,\n3:D:CCCCC,9A\n",
    "NNNNNNNN\n",
    "xa\n# one pattern: short lines and comments do not count\nX\n",
    "SS.\n",
    "2:AB:XXXXXX\n1:Z:NNNN\n1:(:CC.C,NN\n",
    "XXXXXXXXXX,NNNNNNNNNN,SSSSS.SS,CCCCCCC,PPPPP,\"XXXXX\"\n",
    "1:A:PPP.PP\n1:B:CC\n",
};

bool isAllowed(std::int32_t rc) {
    switch (rc) {
    case VOKL_ECHARS_REPLACED: case VOKL_EPATTERN_SYNTAX: case VOKL_EJEF_EMPTY: case VOKL_EJEF_READ:
        return true;
    default:
        return rc >= 0;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::uint8_t options = data[0];
    const std::uint8_t choice = data[1];
    const bool patternMode = (options & 1) != 0;
    const std::int32_t codeOption = ((options >> 1) & 3) + 1;
    const std::int32_t keepShift = (options >> 3) & 1;
    const std::int32_t trimFlags = options >> 4;

    std::string folder = (fs::temp_directory_path() / "fuzz_j2sconv-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) return 0;
    const fs::path dir(folder);
    const std::string in = (dir / "in.bin").string(), out = (dir / "out.txt").string();
    const std::string log = (dir / "vok.log").string(), convLog = (dir / "VOK_LOG.txt").string();
    {
        std::ofstream file(in, std::ios::binary);
        file.write(reinterpret_cast<const char*>(data + 2), static_cast<std::streamsize>(size - 2));
    }
    std::string pattern = "_********_";
    std::int32_t recordLength = 0;
    if (patternMode) {
        pattern = (dir / "layout.ptn").string();
        std::ofstream(pattern, std::ios::binary) << kPatterns[choice % std::size(kPatterns)];
        recordLength = (choice & 0x80) != 0 ? 1 : 0;
    } else {
        recordLength = kBlockLengths[choice % std::size(kBlockLengths)];
    }

    const std::int32_t rc = j2sconv(1, codeOption, recordLength, keepShift, trimFlags, in.c_str(), out.c_str(),
                                    pattern.c_str(), log.c_str(), convLog.c_str());
    if (!isAllowed(rc)) {
        std::fprintf(stderr, "j2sconv returned %d\n", rc);
        std::abort();
    }
    // The conversion-error log stays exactly when characters were replaced
    // (or the pattern failed before the engine).
    if (rc >= 0 && fs::exists(convLog)) {
        std::fprintf(stderr, "conversion-error log left after %d\n", rc);
        std::abort();
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
