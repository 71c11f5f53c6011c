// What every export shares: files that close themselves, the log, the checks
// on the input and output files, and the frame that turns exceptions into
// result codes at the C boundary.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "vokl.h"

#if defined(__GNUC__)
#define VOKL_PRINTF(fmtIndex, firstArg) __attribute__((format(printf, fmtIndex, firstArg)))
#else
#define VOKL_PRINTF(fmtIndex, firstArg)
#endif

namespace vokl {

// The platform C library's text for an error number (fills "原因=%s" and "errno=%s").
std::string systemErrorText(int err);

// A path as printed into the log: the caller's bytes, never a format.
inline const char* shownPath(const char* path) { return path != nullptr ? path : ""; }

// An open file that is closed exactly once, on every path.
class File {
public:
    enum class Mode { ReadBinary, WriteBinary };

    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    ~File();

    // Creates or truncates for WriteBinary. On failure returns false and
    // lastError() holds the error number.
    bool open(const char* path, Mode mode);
    bool isOpen() const { return fp_ != nullptr; }
    int lastError() const { return lastError_; }

    // Bytes read, 0 at the end of the file, -1 on a read error.
    std::int64_t read(void* buffer, std::size_t size);
    // Reads like fgets: up to capacity - 1 bytes, stopping after a line feed,
    // NUL-terminated. Returns the number of bytes stored, 0 at the end, -1 on
    // a read error.
    std::int64_t readPiece(char* buffer, std::size_t capacity);
    bool write(const void* data, std::size_t size);
    bool seekBy(std::int64_t offset);
    bool seekTo(std::int64_t position);
    // Size from the file's status; false when the status cannot be read.
    bool size(std::int64_t& out);
    // Flushes and closes; false when buffered data could not be written.
    bool close();

private:
    std::FILE* fp_ = nullptr;
    int lastError_ = 0;
};

// Where a conversion takes its input bytes from: the input file, or a test's
// stand-in that fails on purpose.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Bytes read, 0 at the end, -1 on a read error.
    virtual std::int64_t read(void* buffer, std::size_t size) = 0;
    virtual bool seekBy(std::int64_t offset) = 0;
};

class FileSource final : public ByteSource {
public:
    explicit FileSource(File& file) : file_(file) {}
    std::int64_t read(void* buffer, std::size_t size) override { return file_.read(buffer, size); }
    bool seekBy(std::int64_t offset) override { return file_.seekBy(offset); }

private:
    File& file_;
};

// The log of one call: text lines ending in CR LF, written as conditions are
// found. A log that was not asked for swallows every line.
class Log {
public:
    Log() = default;
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;

    // Creates (truncates) the file; false when it cannot be created.
    bool create(const char* path);
    bool isOpen() const { return file_.isOpen(); }
    int lastError() const { return file_.lastError(); }
    void line(const char* format, ...) VOKL_PRINTF(2, 3);
    // Closes now; the destructor would otherwise do it.
    void close() { file_.close(); }

private:
    File file_;
};

// True when both paths name one existing file (other spellings, links and
// hard links included): creating the second would destroy the first.
bool sameExistingFile(const char* a, const char* b);

// Which result code each check of an export's input and output gives, and
// whether the output is created before the input's size is examined.
struct FileCheckCodes {
    std::int32_t inputOpen;
    std::int32_t inputEmpty;
    std::int32_t outputOpen;
    bool outputBeforeSize;
};

inline constexpr FileCheckCodes kS2jChecks{VOKL_ESJIS_OPEN, VOKL_ESJIS_EMPTY, VOKL_EJEF_OPEN, true};
inline constexpr FileCheckCodes kJ2sChecks{VOKL_EJEF_OPEN, VOKL_EJEF_EMPTY, VOKL_ESJIS_OPEN, false};

struct CheckedFiles {
    File input;
    File output;
    std::int64_t inputSize = 0;
};

// Opens the input, creates the output and checks the input's size in the
// export's order, logging each failure. An output that is the input itself
// is refused with the output code before anything is opened. Returns 0 or
// the failure code.
std::int32_t openAndCheck(Log& log, const char* inputPath, const char* outputPath,
                          const FileCheckCodes& codes, CheckedFiles& files);

// Runs one export: creates the log when asked for (-31 when it cannot be
// created), runs the job, and turns an exhausted memory into -30 with its log
// line. No exception leaves this function.
template <class Job>
std::int32_t runExport(std::int32_t logSwitch, const char* logPath, Job&& job) noexcept;

std::int32_t reportNoMemory(Log& log) noexcept;

}  // namespace vokl

#include <new>

template <class Job>
std::int32_t vokl::runExport(std::int32_t logSwitch, const char* logPath, Job&& job) noexcept {
    try {
        Log log;
        if (logSwitch != 0 && !log.create(logPath)) return VOKL_ELOG_CREATE;
        try {
            return job(log);
        } catch (const std::bad_alloc&) {
            return reportNoMemory(log);
        }
    } catch (...) {
        // Only allocation can throw in the jobs; whatever it was, it must not
        // cross the C boundary.
        return VOKL_ENOMEM;
    }
}
