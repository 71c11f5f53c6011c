// JEF host file -> Shift-JIS text: the pieces of j2sconv that tests reach
// directly (the stand-in for the JEF file, the buffered output, the job).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

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
class OutputSink {
public:
    static constexpr std::size_t kCapacity = 256 * 1024;

    explicit OutputSink(File& file);
    // Room for at least `size` bytes at the returned address, or nullptr when
    // writing out what was collected failed (see lastError()).
    std::uint8_t* reserve(std::size_t size);
    void commit(std::size_t size) { used_ += size; }
    bool flush();
    int lastError() const { return file_.lastError(); }

private:
    File& file_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t used_ = 0;
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
};

// The job of j2sconv once its log exists: checks, conversion-error log,
// engine, clean-up. `source`, when given, replaces the reads of the opened
// JEF file.
std::int32_t convertJef(Log& log, const Arguments& args, JefSource* source = nullptr);

}  // namespace vokl::j2s
