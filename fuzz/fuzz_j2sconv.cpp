// j2sconv on arbitrary host bytes. Byte 0: bit 0 pattern mode, bits 1-2 code option, bit 3 keep shift codes, bits 4-7
// trim flags. Byte 1: block length (stream) or pattern file (pattern mode), and whether line ends are appended; in
// pattern mode with bit 6 set the pattern file is the input's own text up to its first NUL byte, and the host bytes
// follow it.
#include <cstring>
#include <filesystem>
#include <string_view>

#include "fuzz_support.h"
#include "vokl.h"

namespace {

constexpr std::int32_t kBlockLengths[] = {0, 1, 2, 3, 5, 16, 80, 16380};

// Every field kind, literals, quotes, points, keywords before and after shift
// codes, a record without fields, a point that only the engine refuses.
const char* const kPatterns[] = {
    "XXNN,SS.S,CCC,PPPP\n", "1:A:XXXX,NN\n2:B:X\"XX\",S.SS\n1:C: , ,\n3:D:CCCCC,9A\n", "NNNNNNNN\n",
    "xa\n# one pattern: short lines and comments do not count\nX\n", "SS.\n", "2:AB:XXXXXX\n1:Z:NNNN\n1:(:CC.C,NN\n",
    "XXXXXXXXXX,NNNNNNNNNN,SSSSS.SS,CCCCCCC,PPPPP,\"XXXXX\"\n", "1:A:PPP.PP\n1:B:CC\n"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using fuzzsupport::check;
    if (size < 2) return 0;
    const std::uint8_t options = data[0], choice = data[1];
    fuzzsupport::ScratchDir dir("fuzz_j2sconv");
    const std::string in = dir.file("in.bin"), out = dir.file("out.txt"), log = dir.file("vok.log");
    const std::string convLog = dir.file("VOK_LOG.txt");
    const std::uint8_t* host = data + 2;
    std::size_t hostSize = size - 2;
    std::string pattern = "_********_";
    std::int32_t recordLength = kBlockLengths[choice % std::size(kBlockLengths)];
    if ((options & 1) != 0) {
        pattern = dir.file("layout.ptn");
        std::string_view text = kPatterns[choice % std::size(kPatterns)];
        if ((choice & 0x40) != 0) {
            const auto* nul = static_cast<const std::uint8_t*>(std::memchr(host, 0, hostSize));
            text = std::string_view(reinterpret_cast<const char*>(host), nul != nullptr ? nul - host : hostSize);
            hostSize -= nul != nullptr ? text.size() + 1 : hostSize;
            host += text.size() + (nul != nullptr ? 1 : 0);
        }
        fuzzsupport::writeFile(pattern, text.data(), text.size());
        recordLength = (choice & 0x80) != 0 ? 1 : 0;
    }
    fuzzsupport::writeFile(in, host, hostSize);
    const std::int32_t rc = j2sconv(1, ((options >> 1) & 3) + 1, recordLength, (options >> 3) & 1, options >> 4, in.c_str(),
                                    out.c_str(), pattern.c_str(), log.c_str(), convLog.c_str());
    check(rc >= VOKL_ECHARS_REPLACED || rc == VOKL_EPATTERN_SYNTAX || rc == VOKL_EJEF_EMPTY || rc == VOKL_EPATTERN_EMPTY,
          "result code");
    // The conversion-error log stays only when characters were replaced.
    check(rc < 0 || !std::filesystem::exists(convLog), "no conversion-error log after success");
    return 0;
}
