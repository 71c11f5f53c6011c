// What every export shares: files that close themselves, the log, the checks
// on the input and output files, and the frame that turns exceptions into
// result codes at the C boundary.
#pragma once

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "samefile.h"
#include "vokl.h"

#if defined(__GNUC__)
#define VOKL_PRINTF(fmtIndex, firstArg) __attribute__((format(printf, fmtIndex, firstArg)))
#else
#define VOKL_PRINTF(fmtIndex, firstArg)
#endif

namespace vokl {

// The platform C library's text for an error number (fills "原因=%s" and
// "errno=%s"), in UTF-8 or in Shift-JIS: converted from the locale's
// language when that is possible, else the C locale's plain text.
std::string systemErrorText(int err, bool utf8 = false);

// A path as printed into the log: the caller's bytes, never a format.
inline const char* shownPath(const char* path) { return path != nullptr ? path : ""; }

// What a path names when it is not a plain file: such an input is refused at
// once, since opening a named pipe would wait for a writer.
enum class FileKind { Regular, Directory, Pipe, Device, Socket, Other };

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

    // Creates or truncates for WriteBinary. For ReadBinary only a plain file
    // opens; anything else fails with kind() telling what the path names. On
    // failure returns false and lastError() holds the error number.
    bool open(const char* path, Mode mode);
    // Writes to a copy of an open descriptor, which stays the caller's.
    bool openDescriptor(int fd);
    bool isOpen() const { return fp_ != nullptr; }
    int lastError() const { return lastError_; }
    FileKind kind() const { return kind_; }

    // Fills the buffer unless the file ends first (interrupted reads are
    // retried). Bytes read, 0 at the end of the file, -1 on a read error.
    std::int64_t read(void* buffer, std::size_t size);
    bool write(const void* data, std::size_t size);
    // Size from the file's status; false when the status cannot be read.
    bool size(std::int64_t& out);
    // Flushes and closes; false when buffered data could not be written.
    bool close();

private:
    std::FILE* fp_ = nullptr;
    int lastError_ = 0;
    FileKind kind_ = FileKind::Regular;
};

// The kind of file at path, following links; Regular also when it cannot be
// examined (opening it will then say why).
FileKind fileKind(const char* path);
// The log line (one %s: the path) for an input of a kind that is not a plain
// file: "[%s]はファイルではありません(名前付きパイプ)" and so on.
const char* notFileMessage(FileKind kind);

// Where a conversion takes its input bytes from: the input file, or a test's
// stand-in that fails on purpose. Reads only forward.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Bytes read (any number up to size), 0 at the end, -1 on a read error,
    // kInterrupted when a signal cut a wait short (the read may be retried).
    virtual std::int64_t read(void* buffer, std::size_t size) = 0;
    static constexpr std::int64_t kInterrupted = -2;
};

// An open descriptor, such as a pipe.
class DescriptorSource final : public ByteSource {
public:
    explicit DescriptorSource(int fd) : fd_(fd) {}
    std::int64_t read(void* buffer, std::size_t size) override;

private:
    int fd_;
};

// Progress of a job: reported to the caller's callback as input is read, at
// most every kProgressInterval, and asked each time whether to stop.
struct Progress {
    using Callback = int (*)(void* user, std::int64_t done, std::int64_t total);
    Callback callback = nullptr;
    void* user = nullptr;
    std::int64_t total = -1;  // -1: not known
    std::int64_t lastReport = -1;  // steady-clock milliseconds
    // True when the caller asks to stop. `force`: at the start and the end.
    bool report(std::int64_t done, bool force);
};

class FileSource final : public ByteSource {
public:
    explicit FileSource(File& file) : file_(file) {}
    std::int64_t read(void* buffer, std::size_t size) override { return file_.read(buffer, size); }

private:
    File& file_;
};

// The input of a conversion, read forward through a buffer in large pieces.
// A read fills what it is asked for unless the input ends, and the end is
// where the source gives nothing more: a short read from the source is not
// the end, and a read error stays an error. Whether more bytes follow is
// found by reading ahead, and up to `keep` bytes already read can be stepped
// back over, so nothing needs the size measured at the start. That size,
// when known (not negative), is only compared with what the input turns out
// to hold: a file that grows or shrinks while it is converted is a failure.
class InputReader {
public:
    enum class Failure { None, Read, Changed, Stopped };

    InputReader(ByteSource& source, std::int64_t expectedSize, std::size_t keep, Progress* progress = nullptr);
    // Bytes copied (fewer than size only at the end), or -1 on a failure.
    std::int64_t read(std::uint8_t* to, std::size_t size);
    // The bytes ahead without copying them: reads until `want` bytes (at
    // most a read piece) are there, the input ends or a failure is found.
    // Bytes read before a failure are still handed out once; the call after
    // that gives -1. atEnd: nothing follows the bytes handed out. Valid
    // until the next call; skip() takes them.
    std::int64_t peek(const std::uint8_t*& data, std::size_t want, bool& atEnd);
    void skip(std::size_t count) { at_ += count; }
    // The next `size` bytes where the buffer already holds them and no
    // failure has been found (what read() would copy), else nullptr; read
    // nothing. skip() takes them.
    const std::uint8_t* ahead(std::size_t size) const {
        return failure_ == Failure::None && end_ - at_ >= size ? buffer_.get() + at_ : nullptr;
    }
    // Steps back over bytes read; false beyond what is kept.
    bool back(std::size_t count);
    // True when the input holds at least `total` bytes from its start. A
    // failure found meanwhile gives false and shows at the next read.
    bool holds(std::int64_t total);
    std::int64_t position() const { return start_ + static_cast<std::int64_t>(at_); }
    Failure failure() const { return failure_; }
    // The input's size once its end has been read, else -1.
    std::int64_t sizeFound() const { return ended_ ? start_ + static_cast<std::int64_t>(end_) : -1; }

private:
    bool fill();

    ByteSource& source_;
    Progress* progress_;
    const std::int64_t expected_;
    const std::size_t keep_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t at_ = 0;       // next byte to hand out
    std::size_t end_ = 0;      // bytes in the buffer
    std::int64_t start_ = 0;   // input offset of buffer_[0]
    std::size_t soundEnd_ = 0; // bytes in the buffer before the read that failed
    bool failureShown_ = false;
    bool ended_ = false;
    Failure failure_ = Failure::None;
};

// The log of one call: lines written as conditions are found, to a file (in
// Shift-JIS with CR LF line ends, or in UTF-8), and to a callback in UTF-8
// one line at a time. A log that was not asked for swallows every line.
// Formats are the message catalogue's Shift-JIS strings; paths fill a %s as
// the caller gave them.
class Log {
public:
    using Callback = void (*)(void* user, const char* line);

    Log() = default;
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;

    // Creates (truncates) the file; false when it cannot be created.
    bool create(const char* path, bool utf8 = false, bool crlf = true);
    void setCallback(Callback callback, void* user) { callback_ = callback, user_ = user; }
    bool isOpen() const { return file_.isOpen() || callback_ != nullptr; }
    bool hasFile() const { return file_.isOpen(); }
    int lastError() const { return file_.lastError(); }
    void line(const char* format, ...) VOKL_PRINTF(2, 3);
    // A line whose last %s is the system's text for `err` (and whose first,
    // when `path` is given, the path), each form in its own encoding.
    void causeLine(const char* format, const char* path, int err);
    void causeLine(const char* format, int err) { causeLine(format, nullptr, err); }
    // Closes now (the destructor would otherwise do it); false when a line
    // could not be written, then or before.
    bool close();
    bool failed() const { return failed_; }

private:
    void emit(const std::string& sjis, const std::string& utf8);

    File file_;
    bool utf8_ = false;
    bool crlf_ = true;
    Callback callback_ = nullptr;
    void* user_ = nullptr;
    bool failed_ = false;
};

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

// An input or output of a job: a path, or else an open descriptor shown in
// the log under `name`.
struct Endpoint {
    const char* path = nullptr;
    int fd = -1;
    const char* name = nullptr;
    const char* shown() const { return path != nullptr ? path : fd < 0 ? "" : name != nullptr ? name : "-"; }
};

struct CheckedFiles {
    File input;
    std::unique_ptr<ByteSource> source;  // reads the input, file or descriptor
    File output;
    std::int64_t inputSize = -1;         // -1: not known (a pipe)
    bool outputCreated = false;          // made from a path by this call
};

// Opens the input, creates the output and checks the input's size in the
// export's order, logging each failure. An output that names the input or
// one of `otherReads` is refused with the output code before anything is
// opened; an input that is not a plain file with the input code. An input
// whose size is not known is empty when nothing can be read from it.
// Returns 0 or the failure code.
std::int32_t openAndCheck(Log& log, const Endpoint& input, const Endpoint& output, const FileCheckCodes& codes,
                          CheckedFiles& files, std::initializer_list<const char*> otherReads = {});
std::int32_t openAndCheck(Log& log, const char* inputPath, const char* outputPath, const FileCheckCodes& codes,
                          CheckedFiles& files, std::initializer_list<const char*> otherReads = {});

// Where a job's log goes: a file (when `file` is set; the path may not name
// a file the job reads), a callback, both or neither.
struct LogTarget {
    bool file = false;
    const char* path = nullptr;
    Log::Callback callback = nullptr;
    void* user = nullptr;
};

// Runs one job: sets up its log (-31 when the file cannot be created or
// names one of the files the call reads), runs the job, and turns an
// exhausted memory into -30 with its log line. A log file that could not be
// written in full also gives -31: its lines are lost. No exception leaves
// this function.
template <class Reads, class Job>
std::int32_t runLogged(const LogTarget& target, const Reads& reads, Job&& job) noexcept;
template <class Job>
std::int32_t runLogged(const LogTarget& target, std::initializer_list<const char*> reads, Job&& job) noexcept {
    return runLogged<std::initializer_list<const char*>>(target, reads, std::forward<Job>(job));
}

// runLogged for the four exports: a log file when the log switch is set.
// `reads`: the paths of the files the call reads (a range of const char*).
template <class Reads, class Job>
std::int32_t runExport(std::int32_t logSwitch, const char* logPath, const Reads& reads, Job&& job) noexcept {
    return runLogged(LogTarget{logSwitch != 0, logPath, nullptr, nullptr}, reads, std::forward<Job>(job));
}
template <class Job>
std::int32_t runExport(std::int32_t logSwitch, const char* logPath, std::initializer_list<const char*> reads,
                       Job&& job) noexcept {
    return runExport<std::initializer_list<const char*>>(logSwitch, logPath, reads, std::forward<Job>(job));
}

std::int32_t reportNoMemory(Log& log) noexcept;

// The input and output an extended call names.
Endpoint inputOf(const vokl_options& options);
Endpoint outputOf(const vokl_options& options);

// Runs one job of the extended interface: checks the options, sets up the
// log as they say, opens and checks the input and output as `codes` orders
// (an output path naming `otherRead` is refused too), runs the job with the
// progress to report, and removes the output file it made when the job was
// stopped (a plain file only).
template <class Job>
std::int32_t runExtended(const vokl_options* options, const char* otherRead, const FileCheckCodes& codes,
                         Job&& job) noexcept;

}  // namespace vokl

#include <new>
#include <utility>

template <class Reads, class Job>
std::int32_t vokl::runLogged(const LogTarget& target, const Reads& reads, Job&& job) noexcept {
    try {
        for (const char* read : reads)
            if (target.file && sameExistingFile(target.path, read)) return VOKL_ELOG_CREATE;
        Log log;
        if (target.file && !log.create(target.path)) return VOKL_ELOG_CREATE;
        log.setCallback(target.callback, target.user);
        std::int32_t rc;
        try {
            rc = job(log);
        } catch (const std::bad_alloc&) {
            rc = reportNoMemory(log);
        }
        return log.close() ? rc : VOKL_ELOG_CREATE;
    } catch (...) {
        // Only allocation can throw in the jobs; whatever it was, it must not
        // cross the C boundary.
        return VOKL_ENOMEM;
    }
}

template <class Job>
std::int32_t vokl::runExtended(const vokl_options* options, const char* otherRead, const FileCheckCodes& codes,
                               Job&& job) noexcept {
    if (options == nullptr || options->size < sizeof(vokl_options)) return VOKL_EOPTIONS;
    const vokl_options& o = *options;
    const LogTarget target{o.log_path != nullptr, o.log_path, o.log_line, o.user};
    return runLogged(target, {o.input_path, otherRead}, [&](Log& log) -> std::int32_t {
        CheckedFiles files;
        if (std::int32_t rc = openAndCheck(log, inputOf(o), outputOf(o), codes, files, {otherRead})) return rc;
        Progress progress{o.progress, o.user, files.inputSize};
        const std::int32_t rc = job(log, files, progress);
        if (rc == VOKL_ESTOPPED && files.outputCreated) {
            files.output.close();
            // Only a plain file is ours to remove: a device such as /dev/null
            // given as the output stays.
            if (fileKind(o.output_path) == FileKind::Regular) std::remove(o.output_path);
        }
        return rc;
    });
}
