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
#include <bit>
#include <climits>
#include <cstring>
#include <memory>

#include "vectors.h"

#if VOKL_VECTORS
#include <immintrin.h>
#endif

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
// Input taken at a time (the reader's read piece).
constexpr std::size_t kPiece = 64 * 1024;

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

// ---- 64 bytes at a time --------------------------------------------------
//
// Where the processor has the byte permutes and compressions of AVX-512
// (VBMI2), plain stretches of text go 64 bytes a step with no decision per
// character: lead bytes, trail bytes, line ends and the places where shift
// codes go are bit masks, single bytes go through byte permutes of the
// 256-entry table, pairs through gathered table reads, and the output is the
// kept bytes compressed together. A step that meets a byte needing a log
// line (unmapped, or a lead byte at the end) leaves it to the plain walk.

constexpr std::size_t kVectorStep = 64;
// A step writes two full vectors however few bytes it keeps.
constexpr std::size_t kVectorSlack = 2 * kVectorStep;

struct VectorState {
    bool kanjiRun;
    std::int64_t lineFeeds;
    std::int64_t lastLineFeed;  // offset in the block, -1: none seen
    std::int64_t column;        // UTF-8: characters of the current line already taken
};

// Half-width katakana, the three-byte characters that are single bytes.
constexpr char32_t kFirstKana = 0xFF61;
constexpr char32_t kLastKana = 0xFF9F;
constexpr std::uint64_t kThreeBytesPerLane = 0x7777777777777777ULL;

// UTF-8 text's three-byte characters (kanji, kana, Japanese signs), looked
// up by scalar: the JEF pair in output order, or 0 and the EBCDIC byte of a
// half-width katakana; 0 where the plain walk decides (no code, a byte
// without a mapping, an overlong form, a surrogate, a single byte outside
// the katakana). Entry s lies at [s + 1] so that the 32-bit word ending with
// it never starts before the table.
std::unique_ptr<std::uint16_t[]> threeByteTable(const std::array<std::uint8_t, 256>& singles) {
    constexpr char32_t kFirstThreeByte = 0x800;
    auto table = std::make_unique<std::uint16_t[]>(0x10000 + 1);
    for (char32_t scalar = kFirstThreeByte; scalar < 0x10000; ++scalar) {
        const std::uint16_t code = unicodeToCp932(scalar);
        std::uint8_t bytes[2] = {};
        // The vector step tells single bytes by their scalars.
        if (code == kNoCode || (code < 0x100) != (scalar >= kFirstKana && scalar <= kLastKana)) continue;
        if (code < 0x100) {
            bytes[1] = singles[code];
        } else {
            const std::uint8_t* jef = sjisToJef(code);
            // A pair never starts with 0, so 0 first tells a single byte.
            if (jef[0] != 0) bytes[0] = jef[0], bytes[1] = jef[1];
        }
        std::memcpy(&table[scalar + 1], bytes, 2);
    }
    return table;
}

#if VOKL_VECTORS
// The output bytes of a step, kept (a bit mask over the step's bytes)
// in order, with a shift code before each character (a bit of
// `characters`) whose kind differs from the one before it; kanji: the
// characters that are kanji pairs.
struct ShiftWriter {
    __m512i lowOrder, highOrder;  // shift code i interleaved with byte i

    VOKL_VECTOR_TARGET ShiftWriter() {
        alignas(64) std::uint8_t low[64], high[64];
        for (int j = 0; j < 32; ++j) low[2 * j] = static_cast<std::uint8_t>(j), low[2 * j + 1] = static_cast<std::uint8_t>(64 + j);
        for (int j = 0; j < 32; ++j) high[2 * j] = static_cast<std::uint8_t>(32 + j), high[2 * j + 1] = static_cast<std::uint8_t>(96 + j);
        lowOrder = _mm512_load_si512(low);
        highOrder = _mm512_load_si512(high);
    }

    VOKL_VECTOR_TARGET std::uint8_t* write(std::uint8_t* o, __m512i bytes, std::uint64_t kept, std::uint64_t characters,
                                           std::uint64_t kanji, bool shiftCodes, std::uint64_t& kanjiRun) const {
        std::uint64_t shifts = 0;
        std::uint64_t opens = 0;
        if (shiftCodes) {
            // The characters in order, 1 for kanji: a shift code goes before
            // each one whose kind differs from the one before it.
            const std::uint64_t kinds = _pext_u64(kanji, characters);
            const unsigned count = static_cast<unsigned>(std::popcount(characters));
            std::uint64_t changes = kinds ^ ((kinds << 1) | kanjiRun);
            if (count < 64) changes &= (std::uint64_t{1} << count) - 1;
            shifts = _pdep_u64(changes, characters);
            opens = shifts & kanji;
            if (count > 0) kanjiRun = (kinds >> (count - 1)) & 1;
        }
        if (shifts == 0) {
            _mm512_storeu_si512(o, _mm512_maskz_compress_epi8(kept, bytes));
            return o + std::popcount(kept);
        }
        const __m512i codes = _mm512_mask_blend_epi8(opens, _mm512_set1_epi8(kShiftClose), _mm512_set1_epi8(kShiftOpen));
        const __m512i first = _mm512_permutex2var_epi8(codes, lowOrder, bytes);
        const __m512i second = _mm512_permutex2var_epi8(codes, highOrder, bytes);
        const std::uint64_t keepFirst = _pdep_u64(shifts, kEvenBits) | _pdep_u64(kept, kOddBits);
        const std::uint64_t keepSecond = _pdep_u64(shifts >> 32, kEvenBits) | _pdep_u64(kept >> 32, kOddBits);
        _mm512_storeu_si512(o, _mm512_maskz_compress_epi8(keepFirst, first));
        o += std::popcount(keepFirst);
        _mm512_storeu_si512(o, _mm512_maskz_compress_epi8(keepSecond, second));
        return o + std::popcount(keepSecond);
    }
};

// Single bytes: four 64-entry tables, chosen by the top two bits.
struct SingleBytes {
    __m512i table[4];

    VOKL_VECTOR_TARGET explicit SingleBytes(const std::uint8_t* singles) {
        for (int k = 0; k < 4; ++k) table[k] = _mm512_loadu_si512(singles + 64 * k);
    }
    VOKL_VECTOR_TARGET __m512i map(__m512i v) const {
        const __m512i lowHalf = _mm512_permutex2var_epi8(table[0], v, table[1]);
        const __m512i highHalf = _mm512_permutex2var_epi8(table[2], v, table[3]);
        return _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), lowHalf, highHalf);
    }
    // Bytes below 0x80 only.
    VOKL_VECTOR_TARGET __m512i mapLow(__m512i v) const { return _mm512_permutex2var_epi8(table[0], v, table[1]); }
};

VOKL_VECTOR_TARGET std::size_t convertSteps(const std::uint8_t* in, std::size_t size, std::uint8_t*& out,
                                            const std::uint8_t* singles, bool shiftCodes, VectorState& state) {
    const SingleBytes table(singles);
    const ShiftWriter writer;
    // Locals, so that nothing goes through memory from step to step.
    std::uint8_t* o = out;
    std::size_t at = 0;
    std::uint64_t kanjiRun = state.kanjiRun ? 1 : 0;
    std::int64_t lineFeedCount = state.lineFeeds;
    std::int64_t lastLineFeed = state.lastLineFeed;
    while (size - at >= kVectorStep) {
        const std::uint8_t* p = in + at;
        const __m512i v = _mm512_loadu_si512(p);
        const std::uint64_t leadClass =
            _mm512_cmple_epu8_mask(_mm512_sub_epi8(v, _mm512_set1_epi8(static_cast<char>(0x80))), _mm512_set1_epi8(0x1F)) |
            _mm512_cmple_epu8_mask(_mm512_sub_epi8(v, _mm512_set1_epi8(static_cast<char>(0xE0))), _mm512_set1_epi8(0x1C));
        // Lead-class bytes in a run alternate as lead and trail from the run's
        // first on: a step starts on a character.
        std::uint64_t leads = pairStarts(leadClass);
        std::uint64_t taken = ~std::uint64_t{0};
        std::size_t step = kVectorStep;
        if (leads >> 63) {
            // Its trail lies beyond the step: the pair starts the next one.
            leads &= ~(std::uint64_t{1} << 63);
            taken >>= 1;
            step = kVectorStep - 1;
        }
        const std::uint64_t trails = leads << 1;
        const std::uint64_t lineFeeds = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(kLineFeed)) & ~trails & taken;
        const std::uint64_t returns = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(kCarriageReturn)) & ~trails & taken;
        const std::uint64_t singlesAt = taken & ~leads & ~trails & ~lineFeeds & ~returns;
        const __m512i mapped = table.map(v);
        if ((_mm512_testn_epi8_mask(mapped, mapped) & singlesAt) != 0) break;
        __m512i bytes = mapped;
        if (leads != 0) {
            bool missing = false;
            bytes = _mm512_mask_blend_epi8(leads | trails, mapped, pairEntries(v, leads, kSjisToJef, missing));
            if (missing) break;
        }
        o = writer.write(o, bytes, singlesAt | leads | trails, singlesAt | leads, leads, shiftCodes, kanjiRun);
        if (lineFeeds != 0) {
            lineFeedCount += std::popcount(lineFeeds);
            lastLineFeed = static_cast<std::int64_t>(at) + 63 - std::countl_zero(lineFeeds);
        }
        at += step;
    }
    state = {kanjiRun != 0, lineFeedCount, lastLineFeed, state.column};
    out = o;
    return at;
}

// UTF-8: ASCII and three-byte characters 64 bytes a step; a step that meets
// any other character, a broken sequence or a character the table leaves to
// the plain walk stops. Each three-byte character's entry is written over
// its second and third bytes: a pair keeps both, a single byte (0 and the
// byte) the third only.
//
// Steps go in batches of three passes. The first classifies the steps and
// lines up the scalars of all their three-byte characters; the second looks
// them all up, sixteen to a gathered read, whatever step they come from (a
// gathered read costs by its width, and a step's characters fill few whole
// ones); the third writes the steps.
VOKL_VECTOR_TARGET std::size_t convertUtf8Steps(const std::uint8_t* in, std::size_t size, std::uint8_t*& out,
                                                const std::uint8_t* ascii, const std::uint16_t* threeByte,
                                                bool shiftCodes, VectorState& state) {
    const SingleBytes table(ascii);
    const ShiftWriter writer;
    // Character j's bytes b0 b1 b2 (from 3j on) in 32-bit lane j, the last
    // lowest: lane 4j + k takes byte 3j + 2 - k; the second vector takes the
    // characters from sixteen on.
    alignas(64) std::uint8_t order[2][64] = {};
    for (int j = 0; j < 16; ++j) {
        for (int k = 0; k < 3; ++k) {
            order[0][4 * j + k] = static_cast<std::uint8_t>(3 * j + 2 - k);
            order[1][4 * j + k] = static_cast<std::uint8_t>(std::min(63, 48 + 3 * j + 2 - k));
        }
    }
    const __m512i spread = _mm512_load_si512(order[0]), spreadOn = _mm512_load_si512(order[1]);
    // The entries (the upper halves of the words read) of 32 lanes over two
    // vectors of words, in 16-bit lanes.
    alignas(64) std::uint16_t upper[32];
    for (int j = 0; j < 32; ++j) upper[j] = static_cast<std::uint16_t>(2 * j + 1);
    const __m512i entryOrder = _mm512_load_si512(upper);

    constexpr int kBatch = 32;
    constexpr int kMostPerStep = 21;  // three-byte characters in 64 bytes
    // A step's scalars are stored as two whole vectors, its entries read
    // as one: room for the last step's.
    constexpr int kLanes = kBatch * kMostPerStep + 32;
    struct Step {
        std::uint64_t leads, singlesAt, lineFeeds, characters;
        std::uint32_t first;  // its first character among the batch's
        std::uint32_t length;
    };
    Step steps[kBatch];
    alignas(64) std::uint32_t scalars[kLanes];
    alignas(64) std::uint16_t entries[kLanes];

    std::uint8_t* o = out;
    std::size_t at = 0;
    std::uint64_t kanjiRun = state.kanjiRun ? 1 : 0;
    std::int64_t lineFeedCount = state.lineFeeds;
    std::int64_t column = state.column;
    for (bool going = true; going;) {
        // Pass 1.
        int taken = 0;
        std::uint32_t characters = 0;
        std::size_t from = at;
        while (taken < kBatch && size - from >= kVectorStep) {
            const __m512i v = _mm512_loadu_si512(in + from);
            const std::uint64_t asciiAt = ~_mm512_movepi8_mask(v);
            // 80..BF, the only bytes below -64 as signed.
            const std::uint64_t continuations = _mm512_cmplt_epi8_mask(v, _mm512_set1_epi8(-64));
            std::uint64_t leads = _mm512_cmpeq_epi8_mask(_mm512_and_si512(v, _mm512_set1_epi8(static_cast<char>(0xF0))),
                                                         _mm512_set1_epi8(static_cast<char>(0xE0)));
            // A character cut by the step's end starts the next step.
            std::uint64_t inStep = ~std::uint64_t{0};
            std::size_t step = kVectorStep;
            if (const std::uint64_t late = leads >> 62; late != 0) {
                step = kVectorStep - ((late & 1) != 0 ? 2 : 1);
                inStep = (std::uint64_t{1} << step) - 1;
                leads &= inStep;
            }
            const std::uint64_t tails = (leads << 1) | (leads << 2);
            if (((asciiAt | continuations | leads) & inStep) != inStep || (tails & ~continuations) != 0 ||
                (continuations & inStep & ~tails) != 0)
                break;
            const std::uint64_t lineFeeds = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(kLineFeed)) & inStep;
            const std::uint64_t returns = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(kCarriageReturn)) & inStep;
            const std::uint64_t singlesAt = asciiAt & inStep & ~lineFeeds & ~returns;
            const __m512i bytes = table.mapLow(v);
            if ((_mm512_testn_epi8_mask(bytes, bytes) & singlesAt) != 0) break;
            // The scalars (b0 & 0x0F) << 12 | (b1 & 0x3F) << 6 | (b2 & 0x3F)
            // through two multiply-adds, both vectors whatever their number
            // (a branch on it would often go wrong): the next step's
            // overwrite what lies past this one's.
            if (leads != 0) {
                const __m512i dense = _mm512_maskz_compress_epi8(leads | tails, v);
                auto scalarsOf = [&](__m512i spreadBy) VOKL_VECTOR_TARGET {
                    const __m512i grouped = _mm512_maskz_permutexvar_epi8(kThreeBytesPerLane, spreadBy, dense);
                    const __m512i sixes = _mm512_maddubs_epi16(_mm512_and_si512(grouped, _mm512_set1_epi32(0x000F3F3F)),
                                                               _mm512_set1_epi32(0x00014001));
                    return _mm512_madd_epi16(sixes, _mm512_set1_epi32(0x10000001));
                };
                _mm512_storeu_si512(scalars + characters, scalarsOf(spread));
                _mm512_storeu_si512(scalars + characters + 16, scalarsOf(spreadOn));
            }
            const std::uint32_t count = static_cast<std::uint32_t>(std::popcount(leads));
            steps[taken] = {leads, singlesAt, lineFeeds, (asciiAt & inStep) | leads, characters, static_cast<std::uint32_t>(step)};
            characters += count;
            from += step;
            ++taken;
        }
        going = taken == kBatch;
        // Pass 2: an entry is found where it is not 0. Characters from the
        // first one without are left, with their step and those after it.
        std::uint32_t found = characters;
        for (std::uint32_t j = 0; j < characters; j += 32) {
            const std::uint32_t left = characters - j;
            const __mmask16 lanes0 = static_cast<__mmask16>(left >= 16 ? 0xFFFFu : (1u << left) - 1);
            const __m512i someEntry = _mm512_set1_epi32(static_cast<int>(0xFFFF0000u));
            const __m512i words0 =
                _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), lanes0, _mm512_load_si512(scalars + j), threeByte, 2);
            std::uint32_t missing = lanes0 & ~_mm512_test_epi32_mask(words0, someEntry);
            __m512i words1 = _mm512_setzero_si512();
            if (left > 16) {
                const __mmask16 lanes1 = static_cast<__mmask16>(left >= 32 ? 0xFFFFu : (1u << (left - 16)) - 1);
                words1 = _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), lanes1, _mm512_load_si512(scalars + j + 16),
                                                     threeByte, 2);
                missing |= static_cast<std::uint32_t>(lanes1 & ~_mm512_test_epi32_mask(words1, someEntry)) << 16;
            }
            _mm512_store_si512(entries + j, _mm512_permutex2var_epi16(words0, entryOrder, words1));
            if (missing != 0) {
                found = j + static_cast<std::uint32_t>(std::countr_zero(missing));
                going = false;
                break;
            }
        }
        // Pass 3.
        for (int s = 0; s < taken; ++s) {
            const Step& e = steps[s];
            const std::uint32_t count = static_cast<std::uint32_t>(std::popcount(e.leads));
            if (e.first + count > found) break;
            // ASCII mapped again: cheaper than keeping it.
            __m512i bytes = table.mapLow(_mm512_loadu_si512(in + at));
            std::uint64_t pairs = 0, singles = 0;
            if (e.leads != 0) {
                const __m512i looked = _mm512_loadu_si512(entries + e.first);
                // A single byte's entry is 0 and the byte (a pair never starts with 0).
                const std::uint32_t singleLanes = _mm512_testn_epi16_mask(looked, _mm512_set1_epi16(0x00FF));
                const std::uint32_t lanes = static_cast<std::uint32_t>((std::uint64_t{1} << count) - 1);
                pairs = _pdep_u64(lanes & ~singleLanes, e.leads);
                singles = e.leads & ~pairs;
                bytes = _mm512_mask_expand_epi8(bytes, (e.leads << 1) | (e.leads << 2), looked);
            }
            o = writer.write(o, bytes, e.singlesAt | (pairs << 1) | (e.leads << 2), e.singlesAt | (pairs << 1) | (singles << 2),
                             pairs << 1, shiftCodes, kanjiRun);
            // Columns count characters: a line feed starts the count again.
            if (e.lineFeeds != 0) {
                lineFeedCount += std::popcount(e.lineFeeds);
                column = std::popcount(e.characters & ~(~std::uint64_t{0} >> std::countl_zero(e.lineFeeds)));
            } else {
                column += std::popcount(e.characters);
            }
            at += e.length;
        }
    }
    state = {kanjiRun != 0, lineFeedCount, state.lastLineFeed, column};
    out = o;
    return at;
}
#else
std::size_t convertSteps(const std::uint8_t*, std::size_t, std::uint8_t*&, const std::uint8_t*, bool, VectorState&) {
    return 0;
}
std::size_t convertUtf8Steps(const std::uint8_t*, std::size_t, std::uint8_t*&, const std::uint8_t*, const std::uint16_t*,
                             bool, VectorState&) {
    return 0;
}
#endif

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
          asciiSingles_(asciiOnly(singles_)),
          vectors_(request.vectors && haveVectors()) {
        if (vectors_ && request.utf8) threeByte_ = threeByteTable(singles_);
    }

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
    const bool vectors_;
    std::unique_ptr<std::uint16_t[]> threeByte_;  // UTF-8 with vector steps only

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

    // The vector steps take what they can; the plain walk goes on at least
    // one step's length before they try again.
    const std::uint8_t* walkTo = in;
    while (p < end) {
        if (vectors_ && p >= walkTo) {
            const std::uint8_t* const from = p;
            VectorState state{kanjiRun, lineFeeds_, -1, 0};
            p += convertSteps(p, static_cast<std::size_t>(end - p), o, singles, shiftCodes_, state);
            kanjiRun = state.kanjiRun;
            lineFeeds_ = state.lineFeeds;
            if (state.lastLineFeed >= 0) lineStart_ = offsetOf(from) + state.lastLineFeed + 1;
            walkTo = p + std::min<std::ptrdiff_t>(end - p, kVectorStep);
            if (p == end) break;
        }
        const std::uint8_t* const limit = vectors_ ? walkTo : end;
        if (!kanjiRun) {
            std::uint8_t v;
            while (p < limit && (v = singles[*p]) != 0) {
                *o++ = v;
                ++p;
            }
            if (p == end) break;
            if (p >= limit) continue;
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
    // As in convertBlock: vector steps, else the plain walk for at least a
    // step's length.
    const std::uint8_t* walkTo = in;
    while (p < end) {
        if (threeByte_ && p >= walkTo) {
            VectorState state{kanjiRun, lineFeeds_, -1, column};
            p += convertUtf8Steps(p, static_cast<std::size_t>(end - p), o, ascii, threeByte_.get(), shiftCodes_, state);
            kanjiRun = state.kanjiRun;
            lineFeeds_ = state.lineFeeds;
            column = state.column;
            walkTo = p + std::min<std::ptrdiff_t>(end - p, kVectorStep);
            if (p == end) break;
        }
        const std::uint8_t* const limit = threeByte_ ? walkTo : end;
        if (!kanjiRun) {
            const std::uint8_t* const runStart = p;
            std::uint8_t v;
            while (p < limit && (v = ascii[*p]) != 0) *o++ = v, ++p;
            column += p - runStart;
            if (p == end) break;
            if (p >= limit) continue;
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
    // The input is converted as it is read, in pieces of what the reader
    // holds; a piece's output is at most twice its input (a shift code per
    // character at worst). The piece size never shows in the output.
    auto outBuffer = std::make_unique_for_overwrite<std::uint8_t[]>(2 * kPiece + kVectorSlack);
    // A character cut by the end of a piece starts the next one.
    InputReader input(source, inputSize_, request_.utf8 ? kLongestUtf8Carry : 1, request_.progress);

    for (bool first = true;; first = false) {
        const std::uint8_t* data = nullptr;
        bool endOfFile = false;
        const std::int64_t got = input.peek(data, kPiece, endOfFile);
        if (got < 0) return readFailed(input);
        if (got == 0) break;
        std::size_t skipped = 0;
        if (first && request_.utf8 && got >= 3 && std::equal(kUtf8Bom, kUtf8Bom + 3, data)) skipped = 3;
        const BlockResult block =
            request_.utf8 ? convertUtf8Block(data + skipped, static_cast<std::size_t>(got) - skipped, endOfFile, outBuffer.get())
                          : convertBlock(data, static_cast<std::size_t>(got), endOfFile, outBuffer.get());
        input.skip(skipped + block.consumed);
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
