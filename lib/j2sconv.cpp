// j2sconv: JEF host file -> Shift-JIS text file, as a shift-coded byte stream
// cut into blocks, or record by record under a record pattern.
#include "j2sconv.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <string_view>
#include <system_error>
#include <vector>

#include "messages.h"
#include "numeric.h"
#include "pattern.h"
#include "tblank.h"
#include "tblknj.h"
#include "tbluni.h"

#if defined(__GNUC__)
#define VOKL_COLD __attribute__((cold, noinline))
#else
#define VOKL_COLD
#endif

#include "trimmasks.h"
#include "vectors.h"

#if VOKL_VECTORS
#include <immintrin.h>
#endif

namespace vokl::j2s {

namespace {

constexpr std::uint8_t kShiftIn = 0x28;
constexpr std::uint8_t kShiftInAlt = 0x38;
constexpr std::uint8_t kShiftOut = 0x29;
constexpr std::uint8_t kFirstJefByte = 0x40;
constexpr std::uint8_t kCr = 0x0D;
constexpr std::uint8_t kLf = 0x0A;
constexpr std::uint8_t kSpace = 0x20;
constexpr std::uint8_t kWideSpaceLead = 0x81;
constexpr std::uint8_t kWideSpaceTrail = 0x40;
constexpr std::size_t kLineEndBytes = 2;
constexpr std::uint64_t kLowBytes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

// Where byte j of a word lies in memory order.
constexpr int byteShift(int j) { return std::endian::native == std::endian::little ? 8 * j : 56 - 8 * j; }
constexpr int byteShiftOf(int j) { return std::endian::native == std::endian::little ? 8 * j : 24 - 8 * j; }
constexpr std::int32_t kKeepShiftCodes = 1;

bool isShiftCode(std::uint8_t b) { return b == kShiftIn || b == kShiftInAlt || b == kShiftOut; }

SbVariant variantFor(std::int32_t codeOption) {
    if (codeOption == 1) return SbVariant::Kana;
    if (codeOption == 2) return SbVariant::Lower;
    return SbVariant::Ascii;
}

std::int32_t clampCount(std::int64_t count) {
    return static_cast<std::int32_t>(std::min<std::int64_t>(count, std::numeric_limits<std::int32_t>::max()));
}

// A pattern cut into runs once per call. Engine::walkFast takes the runs as
// long as the plain walk would do nothing but convert them; the plain walk
// then goes on from where it stopped.
struct Step {
    enum class Kind : std::uint8_t { Literal, Single, Kanji, Numeric, Stop };
    Kind kind = Kind::Stop;
    std::size_t length = 0;  // pattern characters
    std::size_t fields = 0;  // field letters from the step's start to the pattern's end
    std::uint64_t text = 0;  // a literal run of at most one word, written as a whole word
    NumericRun run;
};

// UTF-8 written straight from JEF: each entry holds the character's bytes
// in memory order and its length in the top byte; 0: no character.
struct Utf8Tables {
    std::array<std::uint32_t, 256> singles{};
    std::vector<std::uint32_t> pairs = std::vector<std::uint32_t>(65536);
    // The bytes of each single byte's entry apart, for byte permutes: the
    // character's three bytes and its length.
    std::array<std::array<std::uint8_t, 256>, 4> singlePlanes{};
};

std::uint32_t packedUtf8(char32_t scalar) {
    std::uint8_t bytes[4] = {};
    const std::size_t length = encodeUtf8(scalar, bytes);
    std::uint32_t packed = 0;
    for (std::size_t k = 0; k < length; ++k) packed |= std::uint32_t{bytes[k]} << byteShiftOf(static_cast<int>(k));
    return packed | static_cast<std::uint32_t>(length) << byteShiftOf(3);
}

std::uint8_t* putPacked(std::uint8_t* o, std::uint32_t packed) {
    std::memcpy(o, &packed, 4);  // the room covers four bytes
    return o + (packed >> byteShiftOf(3) & 0xFF);
}

// ---- 64 bytes at a time --------------------------------------------------
//
// Where the processor has AVX-512 (VBMI), stream mode takes 64 bytes a step
// with no decision per character: the shift codes give the shift state of
// every byte as a bit mask, the kanji pairs start every other byte from
// each shift-in, single bytes go through byte permutes, the pairs through
// gathered table reads, and the kept bytes are compressed together. A step that holds a byte below 0x40 other than a
// shift code, an odd kanji run or a byte without a mapping is left to the
// plain walk, which reports it.

constexpr std::size_t kVectorStep = 64;
constexpr std::size_t kVectorSlack = kVectorStep + 4;

#if VOKL_VECTORS
// Bit i: the xor of bits 0..i.
VOKL_VECTOR_TARGET inline std::uint64_t prefixXor(std::uint64_t x) {
    for (int shift = 1; shift < 64; shift *= 2) x ^= x << shift;
    return x;
}

// UTF-8 output: the single bytes' entries as four byte tables, and the
// shuffles that turn four planes of bytes into one 32-bit lane a byte.
struct Utf8Planes {
    __m512i table[4][4];
    __m512i byteOf[4];           // byte k of each 32-bit lane of two vectors
    __m512i bytePairs[2];        // planes a and b interleaved, bytes 0-31 and 32-63
    __m512i wordPairs[2];        // 16-bit lanes likewise, lanes 0-15 and 16-31
    __m512i lengthOfLane, rank;  // each lane's byte 3 in all four; 0 1 2 3

    VOKL_VECTOR_TARGET explicit Utf8Planes(const Utf8Tables* tables) {
        if (tables == nullptr) return;
        for (int k = 0; k < 4; ++k)
            for (int q = 0; q < 4; ++q) table[k][q] = _mm512_loadu_si512(tables->singlePlanes[k].data() + 64 * q);
        alignas(64) std::uint8_t bytes[64];
        alignas(64) std::uint16_t words[32];
        for (int k = 0; k < 4; ++k) {
            for (int j = 0; j < 64; ++j) bytes[j] = static_cast<std::uint8_t>(4 * (j % 32) + k);
            byteOf[k] = _mm512_load_si512(bytes);
        }
        for (int half = 0; half < 2; ++half) {
            for (int j = 0; j < 32; ++j) {
                bytes[2 * j] = static_cast<std::uint8_t>(32 * half + j);
                bytes[2 * j + 1] = static_cast<std::uint8_t>(64 + 32 * half + j);
            }
            bytePairs[half] = _mm512_load_si512(bytes);
            for (int j = 0; j < 16; ++j) {
                words[2 * j] = static_cast<std::uint16_t>(16 * half + j);
                words[2 * j + 1] = static_cast<std::uint16_t>(32 + 16 * half + j);
            }
            wordPairs[half] = _mm512_load_si512(words);
        }
        for (int j = 0; j < 64; ++j) bytes[j] = static_cast<std::uint8_t>((j % 16) / 4 * 4 + 3);
        lengthOfLane = _mm512_load_si512(bytes);
        for (int j = 0; j < 64; ++j) bytes[j] = static_cast<std::uint8_t>(j % 4);
        rank = _mm512_load_si512(bytes);
    }
    VOKL_VECTOR_TARGET __m512i map(int k, __m512i v) const {
        const __m512i lowHalf = _mm512_permutex2var_epi8(table[k][0], v, table[k][1]);
        const __m512i highHalf = _mm512_permutex2var_epi8(table[k][2], v, table[k][3]);
        return _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), lowHalf, highHalf);
    }
    VOKL_VECTOR_TARGET std::uint8_t* write(std::uint8_t* o, const __m512i* plane) const {
        const __m512i low01 = _mm512_permutex2var_epi8(plane[0], bytePairs[0], plane[1]);
        const __m512i high01 = _mm512_permutex2var_epi8(plane[0], bytePairs[1], plane[1]);
        const __m512i low23 = _mm512_permutex2var_epi8(plane[2], bytePairs[0], plane[3]);
        const __m512i high23 = _mm512_permutex2var_epi8(plane[2], bytePairs[1], plane[3]);
        const __m512i lanes[4] = {_mm512_permutex2var_epi16(low01, wordPairs[0], low23),
                                  _mm512_permutex2var_epi16(low01, wordPairs[1], low23),
                                  _mm512_permutex2var_epi16(high01, wordPairs[0], high23),
                                  _mm512_permutex2var_epi16(high01, wordPairs[1], high23)};
        for (const __m512i& lane : lanes) {
            const std::uint64_t keep = _mm512_cmpgt_epu8_mask(_mm512_shuffle_epi8(lane, lengthOfLane), rank);
            _mm512_storeu_si512(o, _mm512_maskz_compress_epi8(keep, lane));
            o += std::popcount(keep);
        }
        return o;
    }
};

template <bool Utf8>
VOKL_VECTOR_TARGET std::size_t convertSteps(const std::uint8_t* in, std::size_t size, std::uint8_t*& out,
                                            const std::uint8_t* singles, const std::uint8_t* jefTable,
                                            const Utf8Tables* utf8, bool& doubleByte) {
    const __m512i table0 = _mm512_loadu_si512(singles), table1 = _mm512_loadu_si512(singles + 64);
    const __m512i table2 = _mm512_loadu_si512(singles + 128), table3 = _mm512_loadu_si512(singles + 192);
    const Utf8Planes utf8Planes(Utf8 ? utf8 : nullptr);
    std::uint8_t* o = out;
    std::size_t at = 0;
    bool mode = doubleByte;
    while (size - at >= kVectorStep) {
        const std::uint8_t* p = in + at;
        const __m512i v = _mm512_loadu_si512(p);
        const std::uint64_t shiftIns = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(kShiftIn)) |
                                       _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(kShiftInAlt));
        const std::uint64_t shifts = shiftIns | _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(kShiftOut));
        if ((_mm512_cmplt_epu8_mask(v, _mm512_set1_epi8(kFirstJefByte)) & ~shifts) != 0) break;
        // The shift state after each byte: the shift codes in order, 1 for
        // shift-in; the state flips where one differs from the one before.
        const unsigned count = static_cast<unsigned>(std::popcount(shifts));
        const std::uint64_t kinds = _pext_u64(shiftIns, shifts);
        std::uint64_t flips = kinds ^ ((kinds << 1) | (mode ? 1 : 0));
        if (count < 64) flips &= (std::uint64_t{1} << count) - 1;
        const std::uint64_t state = prefixXor(_pdep_u64(flips, shifts)) ^ (mode ? ~std::uint64_t{0} : 0);
        const std::uint64_t kanji = state & ~shifts;
        const std::uint64_t single = ~state & ~shifts;
        // Pairs from the start of each kanji run; every run must end on a
        // whole pair.
        std::uint64_t leads = pairStarts(kanji);
        const std::uint64_t runEnds = kanji & ~(kanji >> 1);
        if ((runEnds & leads & ~(std::uint64_t{1} << 63)) != 0) break;
        std::uint64_t taken = ~std::uint64_t{0};
        std::size_t step = kVectorStep;
        if (leads >> 63) {
            // Its partner lies beyond the step: the pair starts the next one.
            leads &= ~(std::uint64_t{1} << 63);
            taken >>= 1;
            step = kVectorStep - 1;
        }
        const std::uint64_t trails = leads << 1;
        const std::uint64_t singlesAt = single & taken;
        const __m512i lowHalf = _mm512_permutex2var_epi8(table0, v, table1);
        const __m512i highHalf = _mm512_permutex2var_epi8(table2, v, table3);
        const __m512i mapped = _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), lowHalf, highHalf);
        if ((_mm512_testn_epi8_mask(mapped, mapped) & singlesAt) != 0) break;
        const std::uint64_t kept = singlesAt | leads | trails;
        bool missing = false;
        if constexpr (Utf8) {
            if ((_mm512_movepi8_mask(mapped) & singlesAt) == 0 && leads == 0) {
                // ASCII only: its UTF-8 is its Shift-JIS.
                _mm512_storeu_si512(o, _mm512_maskz_compress_epi8(kept, mapped));
                o += std::popcount(kept);
                mode = (state >> 63) != 0;
                at += step;
                continue;
            }
            // Up to three bytes of UTF-8 for each byte of the step and their
            // count, as four planes: single bytes through byte permutes,
            // pairs through gathered reads placed at their lead bytes; trail
            // bytes and shift codes write nothing. The planes interleaved give
            // each byte's four in a 32-bit lane, of which the first `count` go.
            __m512i plane[4];
            for (int k = 0; k < 4; ++k) plane[k] = utf8Planes.map(k, v);
            if ((_mm512_testn_epi8_mask(plane[3], plane[3]) & singlesAt) != 0) break;
            plane[3] = _mm512_maskz_mov_epi8(singlesAt, plane[3]);
            if (leads != 0) {
                const __m512i dense = _mm512_maskz_compress_epi8(leads | trails, v);
                const __m512i codes = _mm512_shldi_epi16(dense, dense, 8);
                const unsigned pairs = static_cast<unsigned>(std::popcount(leads));
                const std::uint32_t lanes = pairs >= 32 ? ~std::uint32_t{0} : (std::uint32_t{1} << pairs) - 1;
                const __m512i words0 = gatherWords<4>(_mm512_cvtepu16_epi32(_mm512_castsi512_si256(codes)),
                                                      std::min(pairs, 16u), utf8->pairs.data());
                std::uint32_t found = _mm512_test_epi32_mask(words0, words0);
                __m512i words1 = _mm512_setzero_si512();
                if (pairs > 16) {
                    words1 = gatherWords<4>(_mm512_cvtepu16_epi32(_mm512_extracti64x4_epi64(codes, 1)), pairs - 16,
                                            utf8->pairs.data());
                    found |= static_cast<std::uint32_t>(_mm512_test_epi32_mask(words1, words1)) << 16;
                }
                if (found != lanes) break;
                for (int k = 0; k < 4; ++k)
                    plane[k] = _mm512_mask_expand_epi8(plane[k], leads, _mm512_permutex2var_epi8(words0, utf8Planes.byteOf[k], words1));
            }
            o = utf8Planes.write(o, plane);
        } else {
            __m512i bytes = mapped;
            if (leads != 0) {
                bytes = _mm512_mask_blend_epi8(leads | trails, mapped, pairEntries(v, leads, jefTable, missing));
                if (missing) break;
            }
            _mm512_storeu_si512(o, _mm512_maskz_compress_epi8(kept, bytes));
            o += std::popcount(kept);
        }
        mode = (state >> 63) != 0;
        at += step;
    }
    doubleByte = mode;
    out = o;
    return at;
}
#else
template <bool Utf8>
std::size_t convertSteps(const std::uint8_t*, std::size_t, std::uint8_t*&, const std::uint8_t*, const std::uint8_t*,
                         const Utf8Tables*, bool&) {
    return 0;
}
#endif

// A pattern whose record and text each fit in one vector, cut into where
// each byte of the text comes from: the record's bytes converted as a whole
// (single bytes through byte permutes, kanji pairs through gathered reads)
// or `extra`, which holds the literals and room for the numeric fields'
// texts. A record that is all there and needs none of the plain walk's
// decisions (a shift code to skip, a byte or pair without a mapping) is
// converted by one permute; any other goes the usual way.
struct RecordPlan {
    struct NumericField {
        NumericRun run;
        std::size_t recordAt, patternAt, extraAt, textAt;
    };
    bool usable = false;
    std::size_t recordBytes = 0;
    std::uint64_t singles = 0;     // record bytes of single-byte fields
    std::uint64_t leads = 0;       // first bytes of the kanji fields' pairs
    std::uint64_t shiftChecks = 0; // where the plain walk would skip a shift code
    std::uint64_t text = 0;        // the text's bytes, numeric fields at their longest
    std::vector<NumericField> numerics;
    // The numeric texts made in the vector: each text's first byte is its
    // sign; extra byte x among `digits` is the character of the high nibble
    // of record byte digitOrder[x], or of the low nibble of record byte
    // digitOrder[x] - 64 (zoned: its digit).
    std::uint64_t digits = 0;              // extra bytes (a point is in extra as it stands)
    std::uint64_t zoned = 0;               // record bytes of zoned fields
    std::uint64_t packedInner = 0;         // record bytes of packed fields but their last
    alignas(64) std::uint8_t order[64] = {};  // text byte k: record byte order[k], or extra[order[k] - 64]
    alignas(64) std::uint8_t extra[64] = {};
    alignas(64) std::uint8_t digitOrder[64] = {};
};

constexpr std::size_t kPlanBytes = 64;

std::uint64_t bitsBelow(std::size_t n) { return n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1; }

// Not usable when the pattern has a run the plain walk must take.
RecordPlan planRecord(const std::vector<Step>& steps, const std::string& pattern);

// What both engines share: the files, the tables, the byte counter and the
// outcome so far.
class Engine {
public:
    // `started` turns true once the buffers exist and the input is being read.
    Engine(Log& log, Log& errorLines, InputReader& in, OutputSink& out, const Arguments& args,
           const std::uint8_t* jefTable, const Utf8Tables* utf8, bool& started)
        : utf8_(utf8),
          vectors_(args.vectors && haveVectors()),
          log_(log),
          errorLines_(errorLines),
          in_(in),
          out_(out),
          jefPath_(args.jefPath),
          jefTable_(jefTable),
          lineEndLf_(args.lineEndLf),
          table_(ebcdicToJis8(variantFor(args.codeOption)).data()),
          lineEnds_(args.recordLength != 0),
          started_(started) {
        for (unsigned b = 0; b < 256; ++b) {
            zonedDigits_[b] = static_cast<std::uint8_t>(zonedDigitOf(static_cast<std::uint8_t>(b)));
            zonedSigns_[b] = static_cast<std::uint8_t>(zonedSignOf(static_cast<std::uint8_t>(b)));
        }
        for (unsigned nibble = 0; nibble < 16; ++nibble) {
            packedDigits_[nibble] = static_cast<std::uint8_t>(packedDigitOf(nibble));
            packedSigns_[nibble] = packedSignOf(nibble);
        }
    }

    std::int32_t runStream(std::int64_t blockLength);
    // Stream mode without line ends: blocks do not show, so the input is
    // converted as the reader holds it.
    std::int32_t runFlat();
    std::int32_t runPattern(const PatternList& list, bool skipShiftCodes, std::int32_t trimFlags);

private:
    using Steps = std::vector<Step>;
    static Steps compile(const std::string& pattern);
    void walkFast(const Steps& steps, const std::string& pattern, bool skipShiftCodes, const std::uint8_t* record,
                  std::size_t n, char* out, std::size_t outCapacity, std::size_t& p, std::size_t& i,
                  std::size_t& h);
    std::size_t singles(const std::uint8_t* in, std::size_t count, std::uint8_t* out, bool skipShiftCodes);
    template <bool Utf8>
    std::size_t convertFlat(const std::uint8_t* in, std::size_t n, bool atEnd, std::uint8_t* out, std::size_t& produced);
    template <bool Utf8>
    std::uint8_t* emitSingle(std::uint8_t b, std::int64_t index, std::uint8_t* o);
    template <bool Utf8>
    std::uint8_t* emitPair(std::uint8_t first, std::uint8_t second, std::int64_t index, std::uint8_t* o);
    std::int32_t convertPiece(const std::uint8_t* in, std::int64_t n, bool firstOfBlock, bool blockEnd,
                              std::uint8_t* out, std::size_t& produced, std::int64_t& used);
    std::int32_t convertRecord(const PatternEntry& entry, const Steps& steps, bool skipShiftCodes, std::uint8_t* record,
                               std::size_t& n, std::size_t capacity, char* out, std::size_t outCapacity,
                               std::size_t& produced);
    bool convertPlanned(const RecordPlan& plan, const std::string& pattern, bool skipShiftCodes, std::int32_t trimFlags,
                        const std::uint8_t* record, std::uint8_t* out, std::size_t& produced);
#if VOKL_VECTORS
    bool numbersInVector(const RecordPlan& plan, __m512i v, const std::uint8_t* record, __m512i& extra,
                         std::uint64_t& shorter) const;
#endif

    std::uint8_t single(std::uint8_t b, std::int64_t index) {
        std::uint8_t v = table_[b];
        if (v != 0) return v;
        return singleFailed(b, index);
    }
    VOKL_COLD std::uint8_t singleFailed(std::uint8_t b, std::int64_t index) {
        replaced_ = true;
        if (log_.isOpen())
            errorLines_.line(msg::kMsgEbcdicToJisError, static_cast<unsigned>(b), static_cast<long>(index + 1));
        return kSpace;
    }
    void pair(std::uint8_t first, std::uint8_t second, std::int64_t index, std::uint8_t* out) {
        unsigned code = first * 256u + second;
        const std::uint8_t* entry = jefEntry(code);
        if (entry[0] != 0 || entry[1] != 0) {
            out[0] = entry[0];
            out[1] = entry[1];
            return;
        }
        pairFailed(code, index, out);
    }
    VOKL_COLD void pairFailed(unsigned code, std::int64_t index, std::uint8_t* out) {
        replaced_ = true;
        if (log_.isOpen()) errorLines_.line(msg::kMsgJefToSjisError, code, static_cast<long>(index + 1));
        out[0] = kWideSpaceLead;
        out[1] = kWideSpaceTrail;
    }
    VOKL_COLD std::uint8_t loneByte(std::uint8_t b, std::int64_t index) {
        replaced_ = true;
        if (log_.isOpen())
            errorLines_.line(msg::kMsgJefToSjisErrorSingle, static_cast<unsigned>(b), static_cast<long>(index + 1));
        return kSpace;
    }

    std::int32_t readFailed() {
        switch (in_.failure()) {
        case InputReader::Failure::Stopped:
            log_.line(msg::kMsgStopped);
            return VOKL_ESTOPPED;
        case InputReader::Failure::Changed:
            log_.line(msg::kMsgInputChanged, shownPath(jefPath_));
            return VOKL_EJEF_READ;
        default:
            log_.line(msg::kMsgJefReadFailed);
            return VOKL_EJEF_READ;
        }
    }
    // At least `count` more bytes of input after the byte counter.
    bool inputLeft(std::int64_t count) { return in_.holds(consumed_ + count); }
    std::int32_t writeFailed() {
        log_.causeLine(msg::kMsgSjisWriteFailed, out_.lastError());
        return VOKL_ESJIS_WRITE;
    }
    const std::uint8_t* jefEntry(unsigned code) const { return jefTable_ + 2 * code; }
    std::size_t endLine(std::uint8_t* at) {
        if (!lineEnds_) return 0;
        ++lineEndCount_;
        if (lineEndLf_) {
            at[0] = kLf;
            return 1;
        }
        at[0] = kCr;
        at[1] = kLf;
        return kLineEndBytes;
    }
    std::int32_t finish() {
        if (!out_.flush()) return writeFailed();
        return replaced_ ? VOKL_ECHARS_REPLACED : clampCount(lineEndCount_);
    }

    const Utf8Tables* const utf8_;  // UTF-8 written by the engine itself; null: Shift-JIS
    const bool vectors_;
    Log& log_;
    Log& errorLines_;  // the conversion-error log, or the log; written only while the log is open
    InputReader& in_;
    OutputSink& out_;
    const char* jefPath_;
    const std::uint8_t* const jefTable_;
    const bool lineEndLf_;
    const std::uint8_t* const table_;
    const bool lineEnds_;
    // The numeric fields' characters, for texts made in the vector.
    alignas(64) std::array<std::uint8_t, 256> zonedDigits_{};
    alignas(64) std::array<std::uint8_t, 256> zonedSigns_{};
    alignas(64) std::array<std::uint8_t, 64> packedDigits_{};  // by nibble
    std::array<char, 16> packedSigns_{};
    std::int64_t consumed_ = 0;  // the byte counter: bytes of the input used so far
    std::int64_t lineEndCount_ = 0;
    bool replaced_ = false;
    bool doubleByte_ = false;  // stream mode's shift state, kept across blocks
    bool& started_;
};

// ---- stream mode ----------------------------------------------------------

// Room a piece may need beyond one output byte per input byte: the line end
// and the partner byte fetched for a block of one byte.
constexpr std::size_t kBlockSlack = kLineEndBytes + 2;
// A block is read and converted in pieces of at most this many bytes, so a
// block of any length needs no more memory than one piece.
constexpr std::int64_t kStreamPiece = 64 * 1024;

std::int32_t Engine::runStream(std::int64_t blockLength) {
    if (!lineEnds_ && (vectors_ || utf8_ != nullptr)) return runFlat();
    const auto piece = static_cast<std::size_t>(std::min(blockLength, kStreamPiece));
    auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(piece);
    started_ = true;
    for (bool more = true; more;) {
        std::int64_t left = blockLength;  // bytes the block may still take
        bool firstOfBlock = true;
        while (left > 0) {
            const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(left, static_cast<std::int64_t>(piece)));
            const std::int64_t n = in_.read(buffer.get(), want);
            if (n < 0) return readFailed();
            if (n == 0) break;
            // A short piece: the input ends inside this block.
            const bool blockEnd = n == left || static_cast<std::size_t>(n) < want;
            std::uint8_t* out = out_.reserve(static_cast<std::size_t>(n) + kBlockSlack);
            if (out == nullptr) return writeFailed();
            std::size_t produced = 0;
            std::int64_t used = 0;
            if (std::int32_t rc = convertPiece(buffer.get(), n, firstOfBlock, blockEnd, out, produced, used)) return rc;
            out_.commit(produced);
            firstOfBlock = false;
            left -= used;
            if (blockEnd) break;
        }
        more = !firstOfBlock;
        if (more && lineEnds_) {
            std::uint8_t* at = out_.reserve(kLineEndBytes);
            if (at == nullptr) return writeFailed();
            out_.commit(endLine(at));
        }
    }
    return finish();
}

std::int32_t Engine::runFlat() {
    started_ = true;
    // Each input byte writes at most three bytes (a katakana in UTF-8).
    const std::size_t perByte = utf8_ != nullptr ? 3 : 1;
    for (;;) {
        const std::uint8_t* data = nullptr;
        bool atEnd = false;
        const std::int64_t n = in_.peek(data, static_cast<std::size_t>(kStreamPiece), atEnd);
        if (n < 0) return readFailed();
        if (n == 0) break;
        std::uint8_t* out = out_.reserve(perByte * static_cast<std::size_t>(n) + kVectorSlack);
        if (out == nullptr) return writeFailed();
        std::size_t produced = 0;
        const std::size_t used = utf8_ != nullptr ? convertFlat<true>(data, static_cast<std::size_t>(n), atEnd, out, produced)
                                                  : convertFlat<false>(data, static_cast<std::size_t>(n), atEnd, out, produced);
        out_.commit(produced);
        in_.skip(used);
        consumed_ += static_cast<std::int64_t>(used);
    }
    return finish();
}

template <bool Utf8>
std::uint8_t* Engine::emitSingle(std::uint8_t b, std::int64_t index, std::uint8_t* o) {
    if constexpr (Utf8) {
        const std::uint32_t packed = utf8_->singles[b];
        if (packed != 0) return putPacked(o, packed);
        *o = singleFailed(b, index);
        return o + 1;
    } else {
        *o = single(b, index);
        return o + 1;
    }
}

template <bool Utf8>
std::uint8_t* Engine::emitPair(std::uint8_t first, std::uint8_t second, std::int64_t index, std::uint8_t* o) {
    if constexpr (Utf8) {
        const std::uint32_t packed = utf8_->pairs[first * 256u + second];
        if (packed != 0) return putPacked(o, packed);
        std::uint8_t wide[2];
        pairFailed(first * 256u + second, index, wide);
        return putPacked(o, packedUtf8(kCp932ToUnicode[wide[0] * 256u + wide[1]]));
    } else {
        pair(first, second, index, o);
        return o + 2;
    }
}

// The bytes of stream mode without line ends: vector steps where they can
// go, else the plain walk for at least one step's length. A pair cut by the
// end of what was read waits for the next call unless the input ends there.
// Returns the bytes used.
template <bool Utf8>
std::size_t Engine::convertFlat(const std::uint8_t* in, std::size_t n, bool atEnd, std::uint8_t* out,
                                std::size_t& produced) {
    const std::int64_t base = consumed_;
    std::uint8_t* o = out;
    std::size_t k = 0;
    std::size_t walkTo = 0;
    while (k < n) {
        if (vectors_ && k >= walkTo) {
            k += convertSteps<Utf8>(in + k, n - k, o, table_, jefTable_, utf8_, doubleByte_);
            walkTo = k + std::min(n - k, kVectorStep);
            if (k == n) break;
        }
        const std::uint8_t b = in[k];
        if (isShiftCode(b)) {
            doubleByte_ = b != kShiftOut;
            ++k;
        } else if (!doubleByte_) {
            o = emitSingle<Utf8>(b, base + static_cast<std::int64_t>(k), o);
            ++k;
        } else if (k + 1 < n) {
            o = emitPair<Utf8>(b, in[k + 1], base + static_cast<std::int64_t>(k), o);
            k += 2;
        } else if (atEnd) {
            *o++ = loneByte(b, base + static_cast<std::int64_t>(k));
            ++k;
        } else {
            break;
        }
    }
    produced = static_cast<std::size_t>(o - out);
    return k;
}

std::int32_t Engine::convertPiece(const std::uint8_t* in, std::int64_t n, bool firstOfBlock, bool blockEnd,
                                  std::uint8_t* out, std::size_t& produced, std::int64_t& used) {
    const std::int64_t base = consumed_;
    std::int64_t k = 0;
    std::int64_t extra = 0;  // a partner byte read beyond the block
    std::uint8_t* o = out;
    while (k < n) {
        if (!doubleByte_) {
            // Most bytes map to something and are no shift code (those map
            // to 0): eight at a time while none of them is special.
            while (k + 8 <= n) {
                std::uint64_t word = 0;
                for (int j = 0; j < 8; ++j) word |= std::uint64_t{table_[in[k + j]]} << byteShift(j);
                std::memcpy(o, &word, 8);  // the piece's output room covers all eight
                std::uint64_t zeros = (word - kLowBytes) & ~word & kHighBits;
                if (zeros != 0) {
                    // The lowest flag is exact: keep the bytes before it.
                    if constexpr (std::endian::native == std::endian::little) {
                        int before = std::countr_zero(zeros) / 8;
                        o += before;
                        k += before;
                    }
                    break;
                }
                o += 8;
                k += 8;
            }
            while (k < n) {
                std::uint8_t v = table_[in[k]];
                if (v == 0) break;
                *o++ = v;
                ++k;
            }
            if (k == n) break;
            std::uint8_t b = in[k];
            if (b == kShiftIn || b == kShiftInAlt) {
                doubleByte_ = true;
            } else if (b != kShiftOut) {
                *o++ = single(b, base + k);
            }
            ++k;
            continue;
        }
        // Kanji codes start at 0x40 and above every shift code; two at a
        // time while both have an entry.
        while (k + 3 < n && in[k] >= kFirstJefByte && in[k + 2] >= kFirstJefByte) {
            std::uint16_t first, second;
            std::memcpy(&first, jefEntry(in[k] * 256u + in[k + 1]), 2);
            std::memcpy(&second, jefEntry(in[k + 2] * 256u + in[k + 3]), 2);
            if (first == 0 || second == 0) break;
            std::memcpy(o, &first, 2);
            std::memcpy(o + 2, &second, 2);
            o += 4;
            k += 4;
        }
        while (k + 1 < n && in[k] >= kFirstJefByte) {
            const std::uint8_t* entry = jefEntry(in[k] * 256u + in[k + 1]);
            if ((entry[0] | entry[1]) == 0) break;
            o[0] = entry[0];
            o[1] = entry[1];
            o += 2;
            k += 2;
        }
        if (k == n) break;
        std::uint8_t b = in[k];
        if (b == kShiftIn || b == kShiftInAlt) {
            ++k;
        } else if (b == kShiftOut) {
            doubleByte_ = false;
            ++k;
        } else if (k + 1 < n) {
            pair(b, in[k + 1], base + k, o);
            o += 2;
            k += 2;
        } else if (!blockEnd) {
            // A pair cut by the end of a piece goes on in the next piece.
            in_.back(1);
            break;
        } else if (!in_.holds(in_.position() + 1)) {
            *o++ = loneByte(b, base + k);
            ++k;
        } else if (k > 0 || !firstOfBlock) {
            // The pair is cut by the block end: it starts the next block.
            in_.back(1);
            break;
        } else {
            // A block of one byte could never hold the pair; starting the
            // next block with it would read the same byte forever. Fetch its
            // partner instead.
            std::uint8_t next = 0;
            if (in_.read(&next, 1) != 1) return readFailed();
            pair(b, next, base + k, o);
            o += 2;
            extra = 1;
            ++k;
        }
    }
    consumed_ = base + k + extra;
    used = k + extra;
    produced = static_cast<std::size_t>(o - out);
    return 0;
}

// ---- pattern mode ---------------------------------------------------------

bool isFieldLetter(char c) {
    switch (c) {
    case 'X': case 'A': case '9': case 'N': case 'S': case 'C': case 'P':
        return true;
    default:
        return false;
    }
}

bool isSingleLetter(char c) { return c == 'X' || c == '9' || c == 'A'; }

// Field letters at position p and after. Asked for near the end of a record,
// so the walk is short.
std::size_t fieldsFrom(const std::string& pattern, std::size_t p) {
    return static_cast<std::size_t>(std::count_if(pattern.begin() + static_cast<std::ptrdiff_t>(p), pattern.end(),
                                                   isFieldLetter));
}

std::int32_t Engine::runPattern(const PatternList& list, bool skipShiftCodes, std::int32_t trimFlags) {
    const std::size_t recordRead = static_cast<std::size_t>(list.maxRecordLen);
    // Room for read-ahead when skipped shift codes stretch a record.
    const std::size_t capacity = 2 * recordRead;
    // Every pattern character writes at most one byte, a numeric run one more.
    const std::size_t outCapacity = 2 * static_cast<std::size_t>(list.maxPatternLen) + kLineEndBytes;
    if (recordRead == 0) {
        started_ = true;
        return finish();
    }

    auto record = std::unique_ptr<std::uint8_t[]>(new std::uint8_t[capacity]);
    std::vector<Steps> compiled;
    std::vector<RecordPlan> plans;
    compiled.reserve(list.entries.size());
    for (const PatternEntry& entry : list.entries) {
        compiled.push_back(compile(entry.pattern));
        if (vectors_) plans.push_back(planRecord(compiled.back(), entry.pattern));
    }
    // A planned record's text is written as a whole vector.
    const std::size_t room = std::max(outCapacity, kPlanBytes + kLineEndBytes);
    started_ = true;

    // One pattern planned for its whole record: records the reader holds are
    // converted where they lie, without a copy.
    const bool inPlace = vectors_ && !list.multi && plans.front().usable && plans.front().recordBytes == recordRead;
    for (;;) {
        if (const std::uint8_t* whole = inPlace ? in_.ahead(recordRead) : nullptr) {
            std::uint8_t* out = out_.reserve(room);
            if (out == nullptr) return writeFailed();
            std::size_t produced = 0;
            if (convertPlanned(plans.front(), list.entries.front().pattern, skipShiftCodes, trimFlags, whole, out,
                               produced)) {
                in_.skip(recordRead);
                produced += endLine(out + produced);
                out_.commit(produced);
                continue;
            }
        }
        std::int64_t got = in_.read(record.get(), recordRead);
        if (got < 0) return readFailed();
        if (got == 0) break;
        std::size_t n = static_cast<std::size_t>(got);
        const PatternEntry& entry =
            list.multi ? choosePattern(list, record.get(), n, skipShiftCodes) : list.entries.front();
        if (list.multi) {
            std::size_t own = static_cast<std::size_t>(entry.recordLen);
            if (own == 0) {
                // Such a record uses no byte: the same bytes would choose it
                // again and again without end.
                log_.line(msg::kMsgPatternNoFields);
                return VOKL_EPATTERN_SYNTAX;
            }
            if (n > own) {
                // The reader keeps a whole record: stepping back cannot fail.
                in_.back(n - own);
                n = own;
            }
        }

        std::uint8_t* out = out_.reserve(room);
        if (out == nullptr) return writeFailed();
        std::size_t produced = 0;
        const std::size_t which = static_cast<std::size_t>(&entry - list.entries.data());
        const bool planned = vectors_ && plans[which].usable && n == plans[which].recordBytes &&
                             convertPlanned(plans[which], entry.pattern, skipShiftCodes, trimFlags, record.get(), out, produced);
        if (!planned) {
            if (std::int32_t rc = convertRecord(entry, compiled[which], skipShiftCodes, record.get(), n, capacity,
                                                reinterpret_cast<char*>(out), outCapacity - kLineEndBytes, produced))
                return rc;
            if (trimFlags != 0) {
                char* text = reinterpret_cast<char*>(out);
                produced = vectors_ ? trimItemsVector(text, produced, trimFlags) : trimItems(text, produced, trimFlags);
            }
        }
        produced += endLine(out + produced);
        out_.commit(produced);
    }
    return finish();
}

// ---- pattern mode, fast walk ----------------------------------------------

constexpr std::size_t kWordBytes = 8;

Engine::Steps Engine::compile(const std::string& pattern) {
    Steps steps;
    std::size_t p = 0;
    const std::size_t length = pattern.size();
    auto runOf = [&](auto belongs) {
        std::size_t end = p;
        while (end < length && belongs(pattern[end])) ++end;
        return end - p;
    };
    while (p < length) {
        Step step;
        const char c = pattern[p];
        if (isSingleLetter(c)) {
            step.kind = Step::Kind::Single;
            step.length = runOf(isSingleLetter);
        } else if (c == 'N') {
            step.kind = Step::Kind::Kanji;
            step.length = runOf([](char x) { return x == 'N'; });
            // An odd run is left to the plain walk.
            if (step.length % 2 != 0) step.kind = Step::Kind::Stop;
        } else if (isFieldLetter(c)) {
            // A malformed run is left to the plain walk, which reports it.
            if (describeNumericRun(std::string_view(pattern).substr(p), step.run)) {
                step.kind = Step::Kind::Numeric;
                step.length = step.run.length;
            }
        } else {
            step.kind = Step::Kind::Literal;
            step.length = runOf([](char x) { return !isFieldLetter(x); });
            if (step.length <= kWordBytes) std::memcpy(&step.text, pattern.data() + p, step.length);
        }
        steps.push_back(step);
        if (step.kind == Step::Kind::Stop) break;
        p += step.length;
    }
    // Field letters from each step's start to the pattern's end.
    std::size_t fields = fieldsFrom(pattern, p);
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
        const std::size_t span = step->kind == Step::Kind::Stop ? 0 : step->length;
        p -= span;
        const auto from = pattern.begin() + static_cast<std::ptrdiff_t>(p);
        fields += static_cast<std::size_t>(std::count_if(from, from + static_cast<std::ptrdiff_t>(span), isFieldLetter));
        step->fields = fields;
    }
    return steps;
}

// Where the digits and the point of a numeric field's text (at extra byte
// e, its sign first) come from, for a field at record byte i.
void planDigits(const NumericRun& run, std::size_t i, std::size_t e, RecordPlan& plan) {
    const std::uint64_t field = bitsBelow(i + run.bytes) & ~bitsBelow(i);
    if (run.letter == 'S') plan.zoned |= field;
    else plan.packedInner |= field & ~(std::uint64_t{1} << (i + run.bytes - 1));
    // With an even digit count a packed field's first nibble is the pad nibble.
    const std::size_t pad = run.letter != 'S' && run.letters % 2 == 0 ? 1 : 0;
    for (std::size_t k = 0; k < run.length; ++k) {
        const std::size_t x = e + 1 + k;
        if (k == run.point) {
            plan.extra[x] = '.';
            continue;
        }
        const std::size_t digit = k - (k > run.point ? 1 : 0);
        const std::size_t nibble = run.letter == 'S' ? 2 * digit + 1 : digit + pad;
        plan.digits |= std::uint64_t{1} << x;
        plan.digitOrder[x] = static_cast<std::uint8_t>((nibble % 2 != 0 ? kPlanBytes : 0) + i + nibble / 2);
    }
}

RecordPlan planRecord(const std::vector<Step>& steps, const std::string& pattern) {
    RecordPlan plan;
    std::size_t p = 0, i = 0, h = 0, e = 0;
    for (const Step& step : steps) {
        const std::size_t textBytes = step.kind == Step::Kind::Numeric ? step.run.length + 1 : step.length;
        const std::size_t recordBytes = step.kind == Step::Kind::Numeric ? step.run.bytes
                                        : step.kind == Step::Kind::Literal ? 0
                                                                            : step.length;
        const bool fromExtra = step.kind == Step::Kind::Literal || step.kind == Step::Kind::Numeric;
        if (step.kind == Step::Kind::Stop || h + textBytes > kPlanBytes || i + recordBytes > kPlanBytes ||
            (fromExtra && e + textBytes > kPlanBytes))
            return plan;
        for (std::size_t k = 0; k < textBytes; ++k)
            plan.order[h + k] = static_cast<std::uint8_t>(fromExtra ? kPlanBytes + e + k : i + k);
        const std::uint64_t field = bitsBelow(i + recordBytes) & ~bitsBelow(i);
        switch (step.kind) {
        case Step::Kind::Literal:
            std::memcpy(plan.extra + e, pattern.data() + p, step.length);
            break;
        case Step::Kind::Single:
            plan.singles |= field;
            plan.shiftChecks |= field;
            break;
        case Step::Kind::Kanji:
            plan.leads |= field & (kEvenBits << (i % 2));
            plan.shiftChecks |= field & (kEvenBits << (i % 2));
            break;
        default:
            plan.numerics.push_back({step.run, i, p, e, h});
            if (step.run.letter == 'S') plan.shiftChecks |= std::uint64_t{1} << i;
            planDigits(step.run, i, e, plan);
            break;
        }
        if (fromExtra) e += textBytes;
        p += step.length;
        i += recordBytes;
        h += textBytes;
    }
    plan.usable = true;
    plan.recordBytes = i;
    plan.text = bitsBelow(h);
    return plan;
}

// Up to count single bytes through the table; stops before a shift code
// that is to be skipped. Returns the bytes converted.
std::size_t Engine::singles(const std::uint8_t* in, std::size_t count, std::uint8_t* out, bool skipShiftCodes) {
    std::size_t k = 0;
    for (;;) {
        if constexpr (std::endian::native == std::endian::little) {
            while (k + 8 <= count) {
                std::uint64_t word = 0;
                for (int j = 0; j < 8; ++j) word |= std::uint64_t{table_[in[k + j]]} << byteShift(j);
                std::memcpy(out + k, &word, 8);
                std::uint64_t zeros = (word - kLowBytes) & ~word & kHighBits;
                if (zeros != 0) {
                    k += static_cast<std::size_t>(std::countr_zero(zeros) / 8);
                    break;
                }
                k += 8;
            }
        }
        while (k < count) {
            std::uint8_t v = table_[in[k]];
            if (v == 0) break;
            out[k++] = v;
        }
        if (k == count) return k;
        if (skipShiftCodes && isShiftCode(in[k])) return k;
        out[k] = single(in[k], consumed_ + static_cast<std::int64_t>(k));
        ++k;
    }
}

// Takes the steps while no read-ahead can be due, no shift code
// is to be skipped where a step starts, and every byte of a numeric field is
// there: exactly what the plain walk would do in that stretch. Leaves p, i
// and h where the plain walk takes over.
void Engine::walkFast(const Steps& steps, const std::string& pattern, bool skipShiftCodes,
                      const std::uint8_t* record, std::size_t n, char* out, std::size_t outCapacity,
                      std::size_t& p, std::size_t& i, std::size_t& h) {
    // At the record's last byte the plain walk would look for read-ahead;
    // it has nothing to do when fewer than two field letters are left and
    // the data has not ended.
    auto nothingToReadAhead = [&](std::size_t fields) { return fields < 2 && inputLeft(1); };
    for (const Step& step : steps) {
        if (h + step.length + 1 > outCapacity) return;
        if (i + 1 >= n && !nothingToReadAhead(step.fields)) return;
        switch (step.kind) {
        case Step::Kind::Literal:
            // What the word writes beyond the run is written over later.
            if (step.length <= kWordBytes && h + kWordBytes <= outCapacity)
                std::memcpy(out + h, &step.text, kWordBytes);
            else
                std::memcpy(out + h, pattern.data() + p, step.length);
            p += step.length;
            h += step.length;
            break;
        case Step::Kind::Single: {
            const std::size_t count = i + 1 < n ? std::min(step.length, n - 1 - i) : 0;
            std::size_t done = singles(record + i, count, reinterpret_cast<std::uint8_t*>(out + h), skipShiftCodes);
            p += done;
            i += done;
            h += done;
            consumed_ += static_cast<std::int64_t>(done);
            if (done == step.length) break;
            if (done < count || i >= n || !nothingToReadAhead(step.fields - done)) return;
            if (skipShiftCodes && isShiftCode(record[i])) return;
            // The record's last byte.
            out[h++] = static_cast<char>(single(record[i], consumed_));
            ++p;
            ++i;
            ++consumed_;
            if (done + 1 < step.length) return;
            break;
        }
        case Step::Kind::Kanji: {
            // Kanji codes start at 0x40, above every shift code.
            const std::size_t end = i + step.length;
            while (i + 1 < n && i < end && (record[i] >= kFirstJefByte || !skipShiftCodes || !isShiftCode(record[i]))) {
                std::uint16_t code;
                std::memcpy(&code, jefEntry(record[i] * 256u + record[i + 1]), 2);
                if (code != 0)
                    std::memcpy(out + h, &code, 2);
                else
                    pair(record[i], record[i + 1], consumed_, reinterpret_cast<std::uint8_t*>(out + h));
                p += 2;
                i += 2;
                h += 2;
                consumed_ += 2;
            }
            if (i < end) return;
            break;
        }
        case Step::Kind::Numeric: {
            const NumericRun& run = step.run;
            if (i + run.bytes > n) return;
            if (run.letter == 'S') {
                if (skipShiftCodes && isShiftCode(record[i])) return;
                h += zonedRunToText(run, record + i, out + h);
            } else {
                h += packedRunToText(run, std::string_view(pattern).substr(p), record + i, out + h);
            }
            p += run.length;
            i += run.bytes;
            consumed_ += static_cast<std::int64_t>(run.bytes);
            break;
        }
        case Step::Kind::Stop:
            return;
        }
    }
}

#if VOKL_VECTORS
// pairEntries for at most eight pairs, read from `bytes` and looked up one
// by one: for so few, plain loads are ready sooner than a gather.
VOKL_VECTOR_TARGET inline __m512i fewPairEntries(const std::uint8_t* bytes, std::uint64_t leads, const std::uint8_t* table,
                                                 bool& missing) {
    std::uint64_t low = 0, high = 0;
    bool none = false;
    unsigned k = 0;
    for (std::uint64_t rest = leads; rest != 0; rest &= rest - 1, ++k) {
        const unsigned at = static_cast<unsigned>(std::countr_zero(rest));
        std::uint16_t entry;
        std::memcpy(&entry, table + 2 * (bytes[at] * 256u + bytes[at + 1]), 2);
        none |= entry == 0;
        if (k < 4) low |= std::uint64_t{entry} << (16 * k);
        else high |= std::uint64_t{entry} << (16 * (k - 4));
    }
    missing = none;
    return _mm512_maskz_expand_epi8(leads | (leads << 1),
                                    _mm512_zextsi128_si512(_mm_set_epi64x(static_cast<long long>(high), static_cast<long long>(low))));
}

// The bytes of a 256-entry table for each byte of v.
VOKL_VECTOR_TARGET inline __m512i mapBytes(__m512i v, const std::uint8_t* table) {
    const __m512i lowHalf = _mm512_permutex2var_epi8(_mm512_loadu_si512(table), v, _mm512_loadu_si512(table + 64));
    const __m512i highHalf =
        _mm512_permutex2var_epi8(_mm512_loadu_si512(table + 128), v, _mm512_loadu_si512(table + 192));
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), lowHalf, highHalf);
}

// A planned record's numeric texts made from its vector v (literals and
// points as in the plan's extra), with no store in between: false for a
// packed field with a sign or bad nibble before its last byte, which the
// full decoding takes. A packed text without its sign leaves its first
// byte out (`shorter`).
VOKL_VECTOR_TARGET bool Engine::numbersInVector(const RecordPlan& plan, __m512i v, const std::uint8_t* record,
                                                __m512i& extra, std::uint64_t& shorter) const {
    extra = _mm512_load_si512(plan.extra);
    if (plan.numerics.empty()) return true;
    const __m512i nibble = _mm512_set1_epi8(0x0F);
    const __m512i digitTable = _mm512_load_si512(packedDigits_.data());
    const __m512i lowDigits = _mm512_permutexvar_epi8(_mm512_and_si512(v, nibble), digitTable);
    if ((_mm512_cmpeq_epi8_mask(lowDigits, _mm512_set1_epi8('?')) & plan.packedInner) != 0) return false;
    const __m512i highDigits = _mm512_permutexvar_epi8(_mm512_and_si512(_mm512_srli_epi16(v, 4), nibble), digitTable);
    const __m512i lows = _mm512_mask_blend_epi8(plan.zoned, lowDigits, mapBytes(v, zonedDigits_.data()));
    extra = _mm512_mask_blend_epi8(plan.digits, extra,
                                   _mm512_permutex2var_epi8(highDigits, _mm512_load_si512(plan.digitOrder), lows));
    const __m512i signs = mapBytes(v, zonedSigns_.data());
    const std::uint64_t minus = _mm512_cmpeq_epi8_mask(signs, _mm512_set1_epi8('-'));
    const std::uint64_t marked = minus | _mm512_cmpeq_epi8_mask(signs, _mm512_set1_epi8('+'));
    for (const RecordPlan::NumericField& f : plan.numerics) {
        char sign;
        if (f.run.letter == 'S') {
            // The last byte that gives a sign decides.
            const std::uint64_t given = marked & bitsBelow(f.recordAt + f.run.bytes) & ~bitsBelow(f.recordAt);
            sign = given != 0 && ((minus >> (63 - std::countl_zero(given))) & 1) != 0 ? '-' : '+';
        } else {
            sign = packedSigns_[record[f.recordAt + f.run.bytes - 1] & 0xF];
            if (f.run.letter != 'C' && sign == '+') shorter |= std::uint64_t{1} << f.textAt;
        }
        extra = _mm512_mask_set1_epi8(extra, std::uint64_t{1} << f.extraAt, sign);
    }
    return true;
}

// A record taken whole, its text trimmed as it stands in the vector.
VOKL_VECTOR_TARGET bool Engine::convertPlanned(const RecordPlan& plan, const std::string& pattern, bool skipShiftCodes,
                                               std::int32_t trimFlags, const std::uint8_t* record, std::uint8_t* out,
                                               std::size_t& produced) {
    const __m512i v = _mm512_maskz_loadu_epi8(bitsBelow(plan.recordBytes), record);
    if (skipShiftCodes) {
        const std::uint64_t shifts = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(kShiftIn)) |
                                     _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(kShiftInAlt)) |
                                     _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(kShiftOut));
        if ((shifts & plan.shiftChecks) != 0) return false;
    }
    __m512i bytes = mapBytes(v, table_);
    if ((_mm512_testn_epi8_mask(bytes, bytes) & plan.singles) != 0) return false;
    if (plan.leads != 0) {
        bool missing = false;
        const __m512i entries = std::popcount(plan.leads) <= 8 ? fewPairEntries(record, plan.leads, jefTable_, missing)
                                                                : pairEntries(v, plan.leads, jefTable_, missing);
        bytes = _mm512_mask_blend_epi8(plan.leads | (plan.leads << 1), bytes, entries);
        if (missing) return false;
    }
    __m512i extraBytes;
    std::uint64_t shorter = 0;  // numeric texts shorter than their room
    if (!numbersInVector(plan, v, record, extraBytes, shorter)) {
        alignas(64) std::uint8_t extra[kPlanBytes];
        std::memcpy(extra, plan.extra, kPlanBytes);
        for (const RecordPlan::NumericField& f : plan.numerics) {
            const std::size_t length =
                f.run.letter == 'S'
                    ? zonedRunToText(f.run, record + f.recordAt, reinterpret_cast<char*>(extra + f.extraAt))
                    : packedRunToText(f.run, std::string_view(pattern).substr(f.patternAt), record + f.recordAt,
                                      reinterpret_cast<char*>(extra + f.extraAt));
            shorter |= bitsBelow(f.textAt + f.run.length + 1) & ~bitsBelow(f.textAt + length);
        }
        extraBytes = _mm512_load_si512(extra);
    }
    const std::uint64_t kept = plan.text & ~shorter;
    const __m512i text =
        _mm512_maskz_compress_epi8(kept, _mm512_permutex2var_epi8(bytes, _mm512_load_si512(plan.order), extraBytes));
    produced = static_cast<std::size_t>(std::popcount(kept));
    consumed_ += static_cast<std::int64_t>(plan.recordBytes);
    std::uint64_t trimmed = 0;
    if (trimFlags == 0 || !trimmedBytes(text, produced, trimFlags, trimmed)) {
        _mm512_storeu_si512(out, text);
        if (trimFlags != 0) produced = trimItems(reinterpret_cast<char*>(out), produced, trimFlags);
        return true;
    }
    _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(trimmed, text));
    produced = static_cast<std::size_t>(std::popcount(trimmed));
    return true;
}
#else
bool Engine::convertPlanned(const RecordPlan&, const std::string&, bool, std::int32_t, const std::uint8_t*, std::uint8_t*,
                            std::size_t&) {
    return false;
}
#endif

// Walks one pattern over one record. n grows when bytes are read ahead. A
// record whose bytes run out (at the end of the data, or when skipped shift
// codes stretch it past what was read or past its buffer) ends there: the
// rest of the pattern is copied as it stands.
std::int32_t Engine::convertRecord(const PatternEntry& entry, const Steps& steps, bool skipShiftCodes,
                                   std::uint8_t* record, std::size_t& n, std::size_t capacity, char* out,
                                   std::size_t outCapacity, std::size_t& produced) {
    const std::string& pattern = entry.pattern;
    const std::size_t length = pattern.size();
    std::size_t p = 0;
    std::size_t i = 0;
    std::size_t h = 0;
    walkFast(steps, pattern, skipShiftCodes, record, n, out, outCapacity, p, i, h);
    while (p < length) {
        if (i + 1 >= n) {
            if (inputLeft(2)) {
                std::size_t wanted = fieldsFrom(pattern, p);
                std::size_t take = std::min(wanted, capacity - n);
                if (wanted >= 2 && take > 0) {
                    std::int64_t got = in_.read(record + n, take);
                    if (got < 0) return readFailed();
                    n += static_cast<std::size_t>(got);
                }
            } else if (!inputLeft(1)) {
                break;
            }
        }
        const char c = pattern[p];
        if (!isFieldLetter(c)) {
            // A literal takes no record byte, so it does not decide whether
            // the byte is a shift code: the field after it does (a packed
            // field after a comma may well start with 0x28).
            out[h++] = c;
            ++p;
            continue;
        }
        if (i >= n) break;
        if (skipShiftCodes && c != 'C' && c != 'P' && isShiftCode(record[i])) {
            ++i;
            ++consumed_;
            continue;
        }
        if (c == 'X' || c == '9' || c == 'A') {
            // The rest of the run, while no read-ahead can be due.
            do {
                out[h++] = static_cast<char>(single(record[i], consumed_));
                ++p;
                ++i;
                ++consumed_;
            } while (p < length && isSingleLetter(pattern[p]) && i + 1 < n &&
                     !(skipShiftCodes && isShiftCode(record[i])));
        } else if (c == 'N') {
            if (i + 1 >= n) break;  // no partner byte left
            do {
                pair(record[i], record[i + 1], consumed_, reinterpret_cast<std::uint8_t*>(out + h));
                p += 2;
                i += 2;
                h += 2;
                consumed_ += 2;
            } while (p < length && pattern[p] == 'N' && i + 1 < n && !(skipShiftCodes && isShiftCode(record[i])));
        } else {
            std::string_view run(pattern.data() + p, length - p);
            NumericResult r = c == 'S' ? zonedToText(run, record + i, n - i, out + h, outCapacity - h)
                                       : packedToText(run, record + i, n - i, out + h, outCapacity - h);
            if (r.status == NumericStatus::Malformed) {
                log_.line(c == 'S' ? msg::kMsgPatternSignedBad : msg::kMsgPatternPackedBad);
                return VOKL_EPATTERN_SYNTAX;
            }
            if (r.status != NumericStatus::Ok) break;
            p += r.patternUsed;
            h += r.textLen;
            i += r.bytesUsed;
            consumed_ += static_cast<std::int64_t>(r.bytesUsed);
        }
    }
    std::size_t rest = std::min(length - std::min(p, length), outCapacity - h);
    std::memcpy(out + h, pattern.data() + std::min(p, length), rest);
    produced = h + rest;
    return 0;
}

}  // namespace

bool meansNoPattern(const char* patternPath) {
    // Without a path there is no pattern file to read: stream mode.
    return patternPath == nullptr || std::strncmp(patternPath, kNoPatternMarker, kNoPatternMarkerLength) == 0;
}

std::int64_t streamBlockLength(std::int32_t recordLength, std::int64_t inputSize) {
    if (recordLength > 0) return recordLength;
    return inputSize <= kSingleReadLimit ? inputSize : kDefaultBlockLength;
}

OutputSink::OutputSink(File& file, bool utf8)
    : file_(file), utf8_(utf8), buffer_(new std::uint8_t[kCapacity]), capacity_(kCapacity) {}

std::uint8_t* OutputSink::reserve(std::size_t size) {
    if (capacity_ - used_ >= size) return buffer_.get() + used_;
    if (!flush()) return nullptr;
    if (size > capacity_) {
        buffer_.reset();
        buffer_.reset(new std::uint8_t[size]);
        capacity_ = size;
    }
    return buffer_.get();
}

void OutputSink::commit(std::size_t size) {
    if (!utf8_) {
        used_ += size;
        return;
    }
    // The engines write whole Shift-JIS characters; each goes out in UTF-8.
    appendAsUtf8(std::string_view(reinterpret_cast<const char*>(buffer_.get() + used_), size), encoded_);
    if (encoded_.size() >= kCapacity) flushed_ = flush() && flushed_;
}

void OutputSink::put(std::string_view bytes) {
    if (utf8_) encoded_.append(bytes);
    else if (std::uint8_t* at = reserve(bytes.size())) std::memcpy(at, bytes.data(), bytes.size()), used_ += bytes.size();
}

bool OutputSink::flush() {
    bool ok = flushed_;
    if (used_ != 0) ok = file_.write(buffer_.get(), used_) && ok;
    if (!encoded_.empty()) ok = file_.write(encoded_.data(), encoded_.size()) && ok;
    used_ = 0;
    encoded_.clear();
    return ok;
}

namespace {

// The conversion-error log: created next to the output; its lines go to the
// log when it cannot be created, or when its path names a file of this very
// job (creating it would truncate that file).
class ConvLog {
public:
    ConvLog(Log& log, const Arguments& args) : path_(args.convLogPath), keepEmpty_(!args.convLogOptional) {
        // Without a path (extended calls only) its lines go to the log.
        if (path_ == nullptr && args.convLogOptional) return;
        const char* pattern = meansNoPattern(args.patternPath) ? nullptr : args.patternPath;
        const char* logPath = log.isOpen() ? args.logPath : nullptr;
        if (namedInput(path_, {args.jefPath, args.sjisPath, pattern, logPath}) != nullptr) {
            log.line(msg::kMsgSameFile, shownPath(path_));
            return;
        }
        // Written in the text's own encoding and line ends.
        created_ = file_.create(path_, args.utf8, !args.lineEndLf);
        if (!created_) log.causeLine(msg::kMsgOpenFailedCause, shownPath(path_), file_.lastError());
    }
    Log& lines(Log& log) { return created_ ? file_ : log; }
    // Kept with -1 (and said so in the log, unless its lines could not all
    // be written); removed otherwise, but for the four exports, which keep it
    // empty when the engine never started.
    void settle(Log& log, std::int32_t rc, bool engineStarted) {
        if (rc == VOKL_ECHARS_REPLACED) {
            if (!created_) return;  // its lines are in the log itself
            if (file_.close()) log.line(msg::kMsgConvLogWritten, shownPath(path_));
            else log.causeLine(msg::kMsgConvLogWriteFailed, shownPath(path_), file_.lastError());
            return;
        }
        // The four exports leave it, empty, when they fail before converting.
        if (!created_ || (!engineStarted && keepEmpty_)) return;
        file_.close();
        // Only a plain file is ours to remove: a device such as /dev/null
        // given as the path stays.
        if (fileKind(path_) == FileKind::Regular) std::remove(path_);
    }

private:
    const char* path_;
    const bool keepEmpty_;
    Log file_;
    bool created_ = false;
};

// JEF -> Shift-JIS, with every pair whose Shift-JIS code has no Unicode
// character taken as unmapped: in UTF-8 text it could not be written.
std::unique_ptr<std::uint8_t[]> utf8JefTable() {
    auto table = std::make_unique_for_overwrite<std::uint8_t[]>(2 * 65536);
    for (unsigned code = 0; code < 65536; ++code) {
        const std::uint8_t* entry = jefToSjis(code);
        const bool written = (entry[0] | entry[1]) != 0 && kCp932ToUnicode[entry[0] * 256u + entry[1]] != kNoCode;
        table[2 * code] = written ? entry[0] : 0;
        table[2 * code + 1] = written ? entry[1] : 0;
    }
    return table;
}

// UTF-8 for every single byte and pair the engine may write.
std::unique_ptr<Utf8Tables> utf8Tables(const std::uint8_t* jefTable, std::int32_t codeOption) {
    auto tables = std::make_unique<Utf8Tables>();
    const ByteTable& singles = ebcdicToJis8(variantFor(codeOption));
    for (unsigned b = 0; b < 256; ++b) {
        if (singles[b] != 0) tables->singles[b] = packedUtf8(kCp932ToUnicode[singles[b]]);
        std::uint8_t bytes[4];
        std::memcpy(bytes, &tables->singles[b], 4);
        for (int k = 0; k < 4; ++k) tables->singlePlanes[k][b] = bytes[k];
    }
    for (unsigned code = 0; code < 65536; ++code) {
        const std::uint8_t* entry = jefTable + 2 * code;
        if ((entry[0] | entry[1]) != 0) tables->pairs[code] = packedUtf8(kCp932ToUnicode[entry[0] * 256u + entry[1]]);
    }
    return tables;
}

std::int32_t runEngine(Log& log, ConvLog& convLog, const Arguments& args, CheckedFiles& files,
                       ByteSource& source, const PatternList* patterns, bool& started) {
    try {
        // Stream mode without line ends writes UTF-8 itself; the other modes
        // write Shift-JIS that the sink turns into UTF-8.
        const bool direct = args.utf8 && patterns == nullptr && args.recordLength == 0;
        OutputSink sink(files.output, args.utf8 && !direct);
        if (args.utf8 && args.bom) sink.put("\xEF\xBB\xBF");
        std::unique_ptr<std::uint8_t[]> utf8Table;
        if (args.utf8) utf8Table = utf8JefTable();
        std::unique_ptr<Utf8Tables> direct8;
        if (direct) direct8 = utf8Tables(utf8Table.get(), args.codeOption);
        // Pattern mode steps back over the part of a record another pattern does not take.
        InputReader in(source, files.inputSize, patterns != nullptr ? static_cast<std::size_t>(patterns->maxRecordLen) : 1,
                       args.progress);
        Engine engine(log, convLog.lines(log), in, sink, args, args.utf8 ? utf8Table.get() : kJefToSjis, direct8.get(),
                      started);
        // A pipe's size is what it holds: enough of it is read ahead to tell.
        std::int64_t size = files.inputSize;
        if (size < 0) size = in.holds(kSingleReadLimit + 1) ? kSingleReadLimit + 1 : std::max<std::int64_t>(in.sizeFound(), 1);
        std::int32_t rc = patterns == nullptr
                              ? engine.runStream(streamBlockLength(args.recordLength, size))
                              : engine.runPattern(*patterns, args.keepShift != kKeepShiftCodes, args.trimFlags);
        if (rc < VOKL_ECHARS_REPLACED) {
            // What was converted before the failure still reaches the file.
            sink.flush();
            return rc;
        }
        if (!files.output.close()) {
            log.causeLine(msg::kMsgSjisWriteFailed, files.output.lastError());
            return VOKL_ESJIS_WRITE;
        }
        return rc;
    } catch (const std::bad_alloc&) {
        return reportNoMemory(log);
    }
}

}  // namespace

std::int32_t convertChecked(Log& log, const Arguments& args, CheckedFiles& files, ByteSource& source) {
    ConvLog convLog(log, args);
    PatternList patterns;
    const bool stream = meansNoPattern(args.patternPath);
    if (!stream) {
        if (std::int32_t rc = readPatternFile(log, args.patternPath, args.codeOption, patterns)) {
            convLog.settle(log, rc, false);
            return rc;
        }
    }
    bool started = false;
    std::int32_t rc = runEngine(log, convLog, args, files, source, stream ? nullptr : &patterns, started);
    convLog.settle(log, rc, started);
    return rc;
}

std::int32_t convertJef(Log& log, const Arguments& args, JefSource* source) {
    CheckedFiles files;
    const bool stream = meansNoPattern(args.patternPath);
    if (std::int32_t rc = openAndCheck(log, args.jefPath, args.sjisPath, kJ2sChecks, files,
                                       {stream ? nullptr : args.patternPath}))
        return rc;
    return convertChecked(log, args, files, source != nullptr ? *source : *files.source);
}

}  // namespace vokl::j2s

extern "C" VOKL_API int32_t VOKL_CALL j2sconv(int32_t logSwitch, int32_t codeOption, int32_t recordLength,
                                              int32_t keepShift, int32_t trimFlags, const char* jefPath,
                                              const char* sjisPath, const char* patternPath,
                                              const char* logPath, const char* convLogPath) {
    const bool stream = vokl::j2s::meansNoPattern(patternPath);
    return vokl::runExport(logSwitch, logPath, {jefPath, stream ? nullptr : patternPath}, [&](vokl::Log& log) -> std::int32_t {
        vokl::j2s::Arguments args;
        args.codeOption = codeOption;
        args.recordLength = recordLength;
        args.keepShift = keepShift;
        args.trimFlags = trimFlags;
        args.jefPath = jefPath;
        args.sjisPath = sjisPath;
        args.patternPath = patternPath;
        args.convLogPath = convLogPath;
        args.logPath = logPath;
        return vokl::j2s::convertJef(log, args);
    });
}

extern "C" VOKL_API int32_t VOKL_CALL vokl_j2s(const vokl_options* options, int32_t codeOption, int32_t recordLength,
                                               int32_t keepShift, int32_t trimFlags, const char* patternPath,
                                               const char* convLogPath) {
    const char* pattern = vokl::j2s::meansNoPattern(patternPath) ? nullptr : patternPath;
    return vokl::runExtended(options, pattern, vokl::kJ2sChecks, [&](vokl::Log& log, vokl::CheckedFiles& files, vokl::Progress& progress) {
        const vokl::Endpoint input = vokl::inputOf(*options), output = vokl::outputOf(*options);
        vokl::j2s::Arguments args;
        args.codeOption = codeOption;
        args.recordLength = recordLength;
        args.keepShift = keepShift;
        args.trimFlags = trimFlags;
        args.jefPath = input.shown();
        args.sjisPath = output.path;
        args.patternPath = patternPath;
        args.convLogPath = convLogPath;
        args.logPath = options->log_path;
        args.utf8 = options->pc_encoding == VOKL_PC_UTF8;
        args.bom = options->utf8_bom != 0;
        args.lineEndLf = options->line_end == VOKL_EOL_LF;
        args.convLogOptional = true;
        args.progress = &progress;
        return vokl::j2s::convertChecked(log, args, files, *files.source);
    });
}
