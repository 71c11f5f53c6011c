// JEF host file -> Shift-JIS text: the pieces of j2sconv that tests reach
// directly (the stand-in for the JEF file, the buffered output, the job).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "general.h"

namespace vokl::j2s {

// The pattern path that selects stream mode (its first ten bytes).
inline constexpr char kNoPatternMarker[] = "_********_";
inline constexpr std::size_t kNoPatternMarkerLength = 10;

// Stream mode: argument 3 when positive, else the whole input when it is
// small, else fixed blocks.
inline constexpr std::int64_t kSingleReadLimit = 32760;
inline constexpr std::int64_t kDefaultBlockLength = 16380;

// True for the no-pattern marker; a null path also means no pattern.
bool meansNoPattern(const char* patternPath);
std::int64_t streamBlockLength(std::int32_t recordLength, std::int64_t inputSize);

// Where the engines get the JEF bytes: the input file, or a test's stand-in.
using JefSource = ByteSource;

// Collects converted bytes and hands them to the output file in large writes.
// The engines write Shift-JIS; for UTF-8 text each committed piece is
// turned into UTF-8 on its way out.
class OutputSink {
public:
    static constexpr std::size_t kCapacity = 256 * 1024;

    OutputSink(File& file, bool utf8);
    // Room for at least `size` bytes at the returned address, or nullptr when
    // writing out what was collected failed (see lastError()).
    std::uint8_t* reserve(std::size_t size);
    void commit(std::size_t size);
    // Bytes that go out as they are (a byte order mark).
    void put(std::string_view bytes);
    bool flush();
    int lastError() const { return file_.lastError(); }

private:
    File& file_;
    const bool utf8_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t used_ = 0;
    std::string encoded_;
    bool flushed_ = true;  // false once a write of encoded text failed
};

// The ten arguments of j2sconv after the log switch and log path.
struct Arguments {
    std::int32_t codeOption = 3;
    std::int32_t recordLength = 0;
    std::int32_t keepShift = 0;
    std::int32_t trimFlags = 0;
    const char* jefPath = nullptr;
    const char* sjisPath = nullptr;
    const char* patternPath = nullptr;
    const char* convLogPath = nullptr;
    const char* logPath = nullptr;  // checked against the conversion-error log's path
    // Extended calls only.
    bool utf8 = false;              // the text is UTF-8 (and so is the conversion-error log)
    bool bom = false;
    bool lineEndLf = false;
    // No conversion-error log path: its lines go to the log; and one that was
    // created is never left behind empty.
    bool convLogOptional = false;
    Progress* progress = nullptr;
    bool vectors = true;            // false: the plain walk only, even where vector code can run
};

// The job of j2sconv once its log exists: checks, conversion-error log,
// engine, clean-up. `source`, when given, replaces the reads of the opened
// JEF file.
std::int32_t convertJef(Log& log, const Arguments& args, JefSource* source = nullptr);
// The same once the input and output are open and checked.
std::int32_t convertChecked(Log& log, const Arguments& args, CheckedFiles& files, ByteSource& source);

}  // namespace vokl::j2s
