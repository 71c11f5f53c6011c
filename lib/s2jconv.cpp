// s2jconv: Shift-JIS text file -> JEF host file.
//
// The input is read in blocks and converted in one pass. Single-byte
// characters go through a 256-entry table prepared once per call (0 = not a
// plain single byte), so a run of them costs one look-up per byte; lead
// bytes, line ends and unmapped bytes leave that loop. Lines and columns are
// not tracked per byte: the offset of the last line feed is kept, and a
// column is worked out only when an error line needs it.
#include "s2jconv.h"

#include <algorithm>
#include <array>
#include <climits>
#include <memory>

#include "messages.h"
#include "tblank.h"
#include "tblknj.h"
#include "tbluni.h"

namespace vokl {
namespace {

constexpr std::uint8_t kShiftOpen = 0x28;
constexpr std::uint8_t kShiftClose = 0x29;
constexpr std::uint8_t kEbcdicSpace = 0x40;
constexpr std::uint8_t kLoneLeadReplacement = 0x20;
constexpr std::uint8_t kCarriageReturn = 0x0D;
constexpr std::uint8_t kLineFeed = 0x0A;
constexpr std::int64_t kErrorLinesShown = 100;
constexpr std::uint8_t kUtf8Bom[] = {0xEF, 0xBB, 0xBF};
// A UTF-8 character cut by a block's end is carried into the next block.
constexpr std::size_t kLongestUtf8Carry = 3;

constexpr std::int32_t kCodeKana = 1;
constexpr std::int32_t kCodeKanaUpper = 2;
constexpr std::int32_t kCodeLower = 3;
constexpr std::int32_t kCodeUnchanged = 9;
constexpr std::int32_t kShiftCodesOn = 1;

enum class ByteClass : std::uint8_t { Single, Lead, CarriageReturn, LineFeed };

constexpr bool isLeadByte(unsigned b) { return (b >= 0x80 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

constexpr std::array<ByteClass, 256> kByteClass = [] {
    std::array<ByteClass, 256> classes{};
    for (unsigned b = 0; b < 256; ++b) {
        if (isLeadByte(b)) classes[b] = ByteClass::Lead;
        else if (b == kCarriageReturn) classes[b] = ByteClass::CarriageReturn;
        else if (b == kLineFeed) classes[b] = ByteClass::LineFeed;
        else classes[b] = ByteClass::Single;
    }
    return classes;
}();

// The byte as looked up (and as an error line shows it).
std::uint8_t foldedByte(std::int32_t codeOption, unsigned b) {
    if (codeOption == kCodeKanaUpper && b >= 'a' && b <= 'z') return static_cast<std::uint8_t>(b - ('a' - 'A'));
    return static_cast<std::uint8_t>(b);
}

// EBCDIC for every plain single byte; 0 for lead bytes, line ends and bytes
// without a mapping, which all take the slow path.
std::array<std::uint8_t, 256> singleByteTable(std::int32_t codeOption) {
    std::array<std::uint8_t, 256> table{};
    const ByteTable* variant = nullptr;
    if (codeOption == kCodeKana || codeOption == kCodeKanaUpper) variant = &jis8ToEbcdic(SbVariant::Kana);
    else if (codeOption == kCodeLower) variant = &jis8ToEbcdic(SbVariant::Lower);
    else if (codeOption != kCodeUnchanged) variant = &jis8ToEbcdic(SbVariant::Ascii);
    for (unsigned b = 0; b < 256; ++b) {
        if (kByteClass[b] != ByteClass::Single) continue;
        const std::uint8_t looked = foldedByte(codeOption, b);
        table[b] = variant != nullptr ? (*variant)[looked] : looked;
    }
    return table;
}

struct BlockResult {
    std::size_t written;
    std::size_t consumed;  // less than the block when its last byte is a lead byte carried over
};

// The plain single bytes of a UTF-8 text: ASCII only, every other byte
// takes the decoding path.
std::array<std::uint8_t, 256> asciiOnly(std::array<std::uint8_t, 256> table) {
    for (unsigned b = 0x80; b < 256; ++b) table[b] = 0;
    return table;
}

class SjisToJef {
public:
    SjisToJef(Log& log, const S2jRequest& request, std::int64_t inputSize)
        : log_(log),
          request_(request),
          inputSize_(inputSize),
          shiftCodes_(request.shiftCodes == kShiftCodesOn),
          singles_(singleByteTable(request.codeOption)),
          asciiSingles_(asciiOnly(singles_)) {}

    std::int32_t run(ByteSource& input, File& output);

private:
    BlockResult convertBlock(const std::uint8_t* in, std::size_t size, bool endOfFile, std::uint8_t* out);
    BlockResult convertUtf8Block(const std::uint8_t* in, std::size_t size, bool endOfFile, std::uint8_t* out);
    void conversionError(const char* format, unsigned shown, std::int64_t column);
    std::int32_t writeFailed(const File& output);
    std::int32_t readFailed(const InputReader& input);

    Log& log_;
    const S2jRequest& request_;
    const std::int64_t inputSize_;
    const bool shiftCodes_;
    const std::array<std::uint8_t, 256> singles_;
    const std::array<std::uint8_t, 256> asciiSingles_;

    bool kanjiRun_ = false;  // lives across blocks and line ends
    std::int64_t blockOffset_ = 0;
    std::int64_t lineFeeds_ = 0;
    std::int64_t lineStart_ = 0;  // offset of the first byte of the current line
    std::int64_t column_ = 0;     // UTF-8: characters of the current line already taken
    std::int64_t errors_ = 0;
};

void SjisToJef::conversionError(const char* format, unsigned shown, std::int64_t column) {
    ++errors_;
    if (errors_ > kErrorLinesShown + 1) return;
    if (errors_ == kErrorLinesShown + 1) {
        log_.line(msg::kMsgTooManyErrors);
        return;
    }
    const long line = static_cast<long>(std::min<std::int64_t>(lineFeeds_ + 1, LONG_MAX));
    log_.line(format, shown, line, static_cast<int>(std::min<std::int64_t>(column, INT_MAX)));
}

BlockResult SjisToJef::convertBlock(const std::uint8_t* in, std::size_t size, bool endOfFile, std::uint8_t* out) {
    // Locals, not members: stores through the byte pointer could alias them.
    const std::uint8_t* const singles = singles_.data();
    const std::uint8_t* p = in;
    const std::uint8_t* const end = in + size;
    std::uint8_t* o = out;
    bool kanjiRun = kanjiRun_;
    auto offsetOf = [&](const std::uint8_t* at) { return blockOffset_ + (at - in); };
    auto columnOf = [&](const std::uint8_t* at) { return offsetOf(at) - lineStart_ + 1; };

    while (p < end) {
        if (!kanjiRun) {
            std::uint8_t v;
            while (p < end && (v = singles[*p]) != 0) {
                *o++ = v;
                ++p;
            }
            if (p == end) break;
        }
        const unsigned b = *p;
        switch (kByteClass[b]) {
        case ByteClass::Lead: {
            if (p + 1 == end) {
                if (!endOfFile) {
                    kanjiRun_ = kanjiRun;
                    return {static_cast<std::size_t>(o - out), size - 1};
                }
                // A lead byte with nothing after it stands alone, outside any shift code.
                conversionError(msg::kMsgSjisToJefErrorSingle, b, columnOf(p));
                *o++ = kLoneLeadReplacement;
                ++p;
                break;
            }
            if (shiftCodes_ && !kanjiRun) {
                *o++ = kShiftOpen;
                kanjiRun = true;
            }
            const unsigned code = (b << 8) | p[1];
            const std::uint8_t* jef = sjisToJef(code);
            if ((jef[0] | jef[1]) != 0) {
                o[0] = jef[0];
                o[1] = jef[1];
            } else {
                conversionError(msg::kMsgSjisToJefError, code, columnOf(p));
                o[0] = kEbcdicSpace;
                o[1] = kEbcdicSpace;
            }
            o += 2;
            p += 2;
            break;
        }
        case ByteClass::CarriageReturn:
            ++p;
            break;
        case ByteClass::LineFeed:
            ++lineFeeds_;
            lineStart_ = offsetOf(p) + 1;
            ++p;
            break;
        case ByteClass::Single: {
            if (kanjiRun) {
                *o++ = kShiftClose;
                kanjiRun = false;
            }
            std::uint8_t v = singles[b];
            if (v == 0) {
                conversionError(msg::kMsgJisToEbcdicError, foldedByte(request_.codeOption, b), columnOf(p));
                v = kEbcdicSpace;
            }
            *o++ = v;
            ++p;
            break;
        }
        }
    }
    kanjiRun_ = kanjiRun;
    return {static_cast<std::size_t>(o - out), size};
}

// UTF-8 text: ASCII through the same table, every other character decoded,
// then taken as its code page 932 code would be. Columns count characters.
BlockResult SjisToJef::convertUtf8Block(const std::uint8_t* in, std::size_t size, bool endOfFile, std::uint8_t* out) {
    const std::uint8_t* const ascii = asciiSingles_.data();
    const std::uint8_t* p = in;
    const std::uint8_t* const end = in + size;
    std::uint8_t* o = out;
    bool kanjiRun = kanjiRun_;
    std::int64_t column = column_;
    auto single = [&](std::uint8_t v) {
        if (kanjiRun) *o++ = kShiftClose, kanjiRun = false;
        *o++ = v;
    };
    auto pair = [&](std::uint8_t first, std::uint8_t second) {
        if (shiftCodes_ && !kanjiRun) *o++ = kShiftOpen, kanjiRun = true;
        o[0] = first, o[1] = second;
        o += 2;
    };
    while (p < end) {
        if (!kanjiRun) {
            const std::uint8_t* const runStart = p;
            std::uint8_t v;
            while (p < end && (v = ascii[*p]) != 0) *o++ = v, ++p;
            column += p - runStart;
            if (p == end) break;
        }
        const unsigned b = *p;
        if (b == kLineFeed) {
            ++lineFeeds_, column = 0, ++p;
            continue;
        }
        ++column;
        if (b == kCarriageReturn) {
            ++p;
        } else if (b < 0x80) {
            if (ascii[b] == 0) conversionError(msg::kMsgJisToEbcdicError, foldedByte(request_.codeOption, b), column);
            single(ascii[b] != 0 ? ascii[b] : kEbcdicSpace);
            ++p;
        } else {
            const Utf8Char c = decodeUtf8(p, static_cast<std::size_t>(end - p));
            if (c.status == Utf8Char::Status::Cut) {
                if (!endOfFile) {
                    --column;
                    break;
                }
                // Broken off by the end of the file: as a lone lead byte, outside any shift code.
                conversionError(msg::kMsgUtf8Cut, b, column);
                *o++ = kLoneLeadReplacement;
                p = end;
                break;
            }
            p += c.length;
            if (c.status == Utf8Char::Status::Invalid) {
                conversionError(msg::kMsgUtf8Invalid, b, column);
                single(kEbcdicSpace);
                continue;
            }
            const std::uint16_t code = unicodeToCp932(c.scalar);
            if (code < 0x100) {
                const std::uint8_t v = singles_[code];
                if (v == 0) conversionError(msg::kMsgUtf8NoCode, c.scalar, column);
                single(v != 0 ? v : kEbcdicSpace);
                continue;
            }
            const std::uint8_t* jef = code != kNoCode ? sjisToJef(code) : nullptr;
            if (jef != nullptr && (jef[0] | jef[1]) != 0) {
                pair(jef[0], jef[1]);
            } else {
                conversionError(msg::kMsgUtf8NoCode, c.scalar, column);
                pair(kEbcdicSpace, kEbcdicSpace);
            }
        }
    }
    kanjiRun_ = kanjiRun;
    column_ = column;
    return {static_cast<std::size_t>(o - out), static_cast<std::size_t>(p - in)};
}

std::int32_t SjisToJef::writeFailed(const File& output) {
    log_.causeLine(msg::kMsgJefWriteFailed, shownPath(request_.outputPath), output.lastError());
    return VOKL_EJEF_WRITE;
}

std::int32_t SjisToJef::readFailed(const InputReader& input) {
    switch (input.failure()) {
    case InputReader::Failure::Stopped:
        log_.line(msg::kMsgStopped);
        return VOKL_ESTOPPED;
    case InputReader::Failure::Changed:
        log_.line(msg::kMsgInputChanged, shownPath(request_.inputPath));
        return VOKL_ESJIS_READ;
    default:
        log_.line(msg::kMsgReadFailed, shownPath(request_.inputPath));
        return VOKL_ESJIS_READ;
    }
}

std::int32_t SjisToJef::run(ByteSource& source, File& output) {
    // A small input is taken in one piece; the block size never shows in the output.
    const bool small = inputSize_ > 0 && inputSize_ <= kS2jWholeFileMax;
    const auto blockBytes = static_cast<std::size_t>(small ? inputSize_ : kS2jBlockSize);
    // A block's output is at most twice its input: a shift code per character at worst.
    auto inBuffer = std::make_unique_for_overwrite<std::uint8_t[]>(blockBytes);
    auto outBuffer = std::make_unique_for_overwrite<std::uint8_t[]>(2 * blockBytes);
    // A character cut by the end of a block starts the next one.
    InputReader input(source, inputSize_, request_.utf8 ? kLongestUtf8Carry : 1, request_.progress);

    for (bool first = true;; first = false) {
        std::int64_t got = input.read(inBuffer.get(), blockBytes);
        if (got < 0) return readFailed(input);
        if (got == 0) break;
        std::size_t skipped = 0;
        if (first && request_.utf8 && got >= 3 && std::equal(kUtf8Bom, kUtf8Bom + 3, inBuffer.get())) skipped = 3;
        const bool endOfFile = static_cast<std::size_t>(got) < blockBytes || !input.holds(input.position() + 1);
        const BlockResult block =
            request_.utf8 ? convertUtf8Block(inBuffer.get() + skipped, static_cast<std::size_t>(got) - skipped, endOfFile, outBuffer.get())
                          : convertBlock(inBuffer.get(), static_cast<std::size_t>(got), endOfFile, outBuffer.get());
        input.back(static_cast<std::size_t>(got) - skipped - block.consumed);
        blockOffset_ += static_cast<std::int64_t>(skipped + block.consumed);
        if (!output.write(outBuffer.get(), block.written)) return writeFailed(output);
    }
    if (kanjiRun_ && !output.write(&kShiftClose, 1)) return writeFailed(output);
    // Buffered bytes may only fail to reach the disk now.
    if (!output.close()) return writeFailed(output);
    if (errors_ != 0) return VOKL_ECHARS_REPLACED;
    return static_cast<std::int32_t>(std::min<std::int64_t>(lineFeeds_, INT32_MAX));
}

}  // namespace

std::int32_t convertSjisToJef(Log& log, ByteSource& input, std::int64_t inputSize, File& output,
                              const S2jRequest& request) {
    SjisToJef converter(log, request, inputSize);
    return converter.run(input, output);
}

}  // namespace vokl

extern "C" VOKL_API int32_t VOKL_CALL s2jconv(int32_t logSwitch, int32_t codeOption, int32_t shiftCodes,
                                              const char* sjisPath, const char* jefPath, const char* logPath) {
    return vokl::runExport(logSwitch, logPath, {sjisPath}, [&](vokl::Log& log) -> std::int32_t {
        vokl::CheckedFiles files;
        if (std::int32_t rc = vokl::openAndCheck(log, sjisPath, jefPath, vokl::kS2jChecks, files)) return rc;
        const vokl::S2jRequest request{codeOption, shiftCodes, sjisPath, jefPath};
        return vokl::convertSjisToJef(log, *files.source, files.inputSize, files.output, request);
    });
}

extern "C" VOKL_API int32_t VOKL_CALL vokl_s2j(const vokl_options* options, int32_t codeOption, int32_t shiftCodes) {
    return vokl::runExtended(options, {}, vokl::kS2jChecks, [&](vokl::Log& log, vokl::CheckedFiles& files, vokl::Progress& progress) {
        const vokl::Endpoint input = vokl::inputOf(*options), output = vokl::outputOf(*options);
        const vokl::S2jRequest request{codeOption, shiftCodes, input.shown(), output.shown(),
                                       options->pc_encoding == VOKL_PC_UTF8, &progress};
        return vokl::convertSjisToJef(log, *files.source, files.inputSize, files.output, request);
    });
}
