#include "general.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <vector>

#include "messages.h"
#include "tbluni.h"

#ifdef _WIN32
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

#include <chrono>
#include <string_view>

#ifdef _WIN32
// The library needs no set-up or tear-down; loading and unloading succeed.
BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif

namespace vokl {

namespace {

bool isAscii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// The C locale's text: plain ASCII, whatever the program's locale is.
std::string plainErrorText(int err) {
#ifdef _WIN32
    const char* text = std::strerror(err);
#else
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    const char* text = cLocale != static_cast<locale_t>(nullptr) ? strerror_l(err, cLocale) : std::strerror(err);
#endif
    return text != nullptr ? std::string(text) : std::string();
}

// The locale's text in UTF-8, or the plain text when the locale's language
// is written in another encoding.
std::string errorTextUtf8(int err) {
    // strerror's buffer is not ours to keep: copy it at once.
    const char* raw = std::strerror(err);
    const std::string text = raw != nullptr ? raw : "";
    if (isAscii(text)) return text;
#ifndef _WIN32
    const char* codeset = nl_langinfo(CODESET);
    if (codeset != nullptr && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0)) return text;
#endif
    return plainErrorText(err);
}

}  // namespace

std::string systemErrorText(int err, bool utf8) {
    std::string text = errorTextUtf8(err);
    if (utf8 || isAscii(text)) return text;
    std::string sjis;
    return utf8ToCp932(text, sjis) ? sjis : plainErrorText(err);
}

namespace {

#ifndef _WIN32
FileKind kindOf(mode_t mode) {
    if (S_ISREG(mode)) return FileKind::Regular;
    if (S_ISDIR(mode)) return FileKind::Directory;
    if (S_ISFIFO(mode)) return FileKind::Pipe;
    if (S_ISCHR(mode) || S_ISBLK(mode)) return FileKind::Device;
    if (S_ISSOCK(mode)) return FileKind::Socket;
    return FileKind::Other;
}

// Opens a file for reading without waiting on a named pipe: the descriptor
// is opened non-blocking, examined, and only a plain file goes on.
std::FILE* openPlainForReading(const char* path, int& error, FileKind& kind) {
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
        error = errno;
        ::close(fd);
        return nullptr;
    }
    kind = kindOf(st.st_mode);
    if (kind != FileKind::Regular) {
        error = kind == FileKind::Directory ? EISDIR : 0;
        ::close(fd);
        return nullptr;
    }
    const int flags = fcntl(fd, F_GETFL);
    std::FILE* fp = flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0 ? fdopen(fd, "rb") : nullptr;
    if (fp == nullptr) {
        error = errno;
        ::close(fd);
    }
    return fp;
}
#endif

}  // namespace

FileKind fileKind(const char* path) {
#ifdef _WIN32
    struct _stat64 st;
    if (path == nullptr || _stat64(path, &st) != 0) return FileKind::Regular;
    return (st.st_mode & _S_IFDIR) != 0 ? FileKind::Directory : (st.st_mode & _S_IFREG) != 0 ? FileKind::Regular : FileKind::Other;
#else
    struct stat st;
    if (path == nullptr || ::stat(path, &st) != 0) return FileKind::Regular;
    return kindOf(st.st_mode);
#endif
}

const char* notFileMessage(FileKind kind) {
    switch (kind) {
    case FileKind::Pipe: return msg::kMsgNotFilePipe;
    case FileKind::Device: return msg::kMsgNotFileDevice;
    case FileKind::Socket: return msg::kMsgNotFileSocket;
    default: return msg::kMsgNotFileOther;
    }
}

File::File(File&& other) noexcept : fp_(other.fp_), lastError_(other.lastError_), kind_(other.kind_) {
    other.fp_ = nullptr;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        fp_ = other.fp_;
        lastError_ = other.lastError_;
        kind_ = other.kind_;
        other.fp_ = nullptr;
    }
    return *this;
}

File::~File() { close(); }

bool File::open(const char* path, Mode mode) {
    close();
    kind_ = FileKind::Regular;
    if (path == nullptr) {
        lastError_ = EINVAL;
        return false;
    }
    errno = 0;
    int error = 0;
#ifdef _WIN32
    fp_ = std::fopen(path, mode == Mode::ReadBinary ? "rb" : "wb");
    error = errno;
    if (fp_ != nullptr && mode == Mode::ReadBinary && fileKind(path) != FileKind::Regular) {
        kind_ = fileKind(path);
        error = kind_ == FileKind::Directory ? EISDIR : 0;
        std::fclose(fp_);
        fp_ = nullptr;
    }
#else
    fp_ = mode == Mode::ReadBinary ? openPlainForReading(path, error, kind_) : std::fopen(path, "wb");
    if (fp_ == nullptr && mode == Mode::WriteBinary) error = errno;
#endif
    if (fp_ == nullptr) {
        lastError_ = error != 0 || kind_ != FileKind::Regular ? error : EIO;
        return false;
    }
    return true;
}

bool File::openDescriptor(int fd) {
    close();
#ifdef _WIN32
    const int copy = _dup(fd);
    fp_ = copy >= 0 ? _fdopen(copy, "wb") : nullptr;
    if (fp_ == nullptr && copy >= 0) _close(copy);
#else
    const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    fp_ = copy >= 0 ? fdopen(copy, "wb") : nullptr;
    if (fp_ == nullptr && copy >= 0) ::close(copy);
#endif
    if (fp_ == nullptr) lastError_ = errno != 0 ? errno : EBADF;
    return fp_ != nullptr;
}

std::int64_t DescriptorSource::read(void* buffer, std::size_t size) {
#ifdef _WIN32
    const int got = _read(fd_, buffer, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
    return got >= 0 ? got : -1;
#else
    const ssize_t got = ::read(fd_, buffer, size);
    if (got >= 0) return got;
    return errno == EINTR ? kInterrupted : -1;
#endif
}

bool Progress::report(std::int64_t done, bool force) {
    if (callback == nullptr) return false;
    constexpr std::int64_t kIntervalMs = 50;  // about 20 times a second
    const std::int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now().time_since_epoch()).count();
    if (!force && lastReport >= 0 && now - lastReport < kIntervalMs) return false;
    lastReport = now;
    return callback(user, done, total) != 0;
}

std::int64_t File::read(void* buffer, std::size_t size) {
    if (fp_ == nullptr) return -1;
    auto* to = static_cast<char*>(buffer);
    std::size_t got = 0;
    while (got < size) {
        errno = 0;
        got += std::fread(to + got, 1, size - got, fp_);
        if (got == size || std::feof(fp_)) break;
        if (std::ferror(fp_) && errno != EINTR) {
            lastError_ = errno != 0 ? errno : EIO;
            return -1;
        }
        std::clearerr(fp_);
    }
    return static_cast<std::int64_t>(got);
}

bool File::write(const void* data, std::size_t size) {
    if (fp_ == nullptr) return false;
    if (size == 0) return true;
    errno = 0;
    if (std::fwrite(data, 1, size, fp_) != size) {
        lastError_ = errno != 0 ? errno : EIO;
        return false;
    }
    return true;
}

bool File::size(std::int64_t& out) {
    if (fp_ == nullptr) return false;
#ifdef _WIN32
    struct _stat64 st;
    if (_fstat64(_fileno(fp_), &st) != 0) return false;
#else
    struct stat st;
    if (fstat(fileno(fp_), &st) != 0) return false;
#endif
    out = static_cast<std::int64_t>(st.st_size);
    return true;
}

bool File::close() {
    if (fp_ == nullptr) return true;
    errno = 0;
    bool ok = std::fflush(fp_) == 0;
    if (!ok) lastError_ = errno != 0 ? errno : EIO;
    if (std::fclose(fp_) != 0 && ok) {
        ok = false;
        lastError_ = errno != 0 ? errno : EIO;
    }
    fp_ = nullptr;
    return ok;
}

namespace {
// Large pieces keep the number of reads low; the kept bytes come on top.
constexpr std::size_t kReadPiece = 64 * 1024;
}  // namespace

InputReader::InputReader(ByteSource& source, std::int64_t expectedSize, std::size_t keep, Progress* progress)
    : source_(source), progress_(progress), expected_(expectedSize), keep_(keep), capacity_(keep + kReadPiece + 2) {}

bool InputReader::fill() {
    if (ended_ || failure_ != Failure::None) return false;
    if (!buffer_) buffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(capacity_);
    if (capacity_ - end_ < kReadPiece) {
        // Keep what may still be stepped back over (and what lies ahead).
        const std::size_t from = at_ - std::min(at_, keep_);
        std::memmove(buffer_.get(), buffer_.get() + from, end_ - from);
        start_ += static_cast<std::int64_t>(from);
        at_ -= from;
        end_ -= from;
    }
    soundEnd_ = end_;
    const bool first = start_ + static_cast<std::int64_t>(end_) == 0;
    std::int64_t got;
    // A signal that cuts a wait short is a chance to ask whether to stop.
    while ((got = source_.read(buffer_.get() + end_, capacity_ - end_)) == ByteSource::kInterrupted) {
        if (progress_ != nullptr && progress_->report(start_ + static_cast<std::int64_t>(end_), true)) {
            failure_ = Failure::Stopped;
            return false;
        }
    }
    if (got < 0) {
        failure_ = Failure::Read;
        return false;
    }
    end_ += static_cast<std::size_t>(got);
    const std::int64_t total = start_ + static_cast<std::int64_t>(end_);
    if (got == 0) ended_ = true;
    if (expected_ >= 0 && (total > expected_ || (ended_ && total != expected_))) failure_ = Failure::Changed;
    if (failure_ == Failure::None && progress_ != nullptr && progress_->report(total, first || ended_))
        failure_ = Failure::Stopped;
    return got > 0 && failure_ == Failure::None;
}

std::int64_t InputReader::read(std::uint8_t* to, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        if (at_ == end_ && !fill()) break;
        const std::size_t take = std::min(size - done, end_ - at_);
        std::memcpy(to + done, buffer_.get() + at_, take);
        at_ += take;
        done += take;
    }
    if (failure_ != Failure::None) return -1;
    return static_cast<std::int64_t>(done);
}

std::int64_t InputReader::peek(const std::uint8_t*& data, std::size_t want, bool& atEnd) {
    atEnd = false;
    if (failureShown_) return -1;
    want = std::min(want, kReadPiece);
    while (end_ - at_ < want && fill()) {
    }
    std::size_t available = end_ - at_;
    if (failure_ != Failure::None) {
        // What the failing read brought (a file that grew) is not handed out.
        failureShown_ = true;
        available = soundEnd_ > at_ ? soundEnd_ - at_ : 0;
        if (available == 0) return -1;
    }
    atEnd = ended_ && failure_ == Failure::None;
    data = buffer_.get() + at_;
    return static_cast<std::int64_t>(available);
}

bool InputReader::back(std::size_t count) {
    if (count > at_ || count > keep_) return false;
    at_ -= count;
    return true;
}

bool InputReader::holds(std::int64_t total) {
    while (start_ + static_cast<std::int64_t>(end_) < total) {
        if (!fill()) return false;
    }
    return true;
}

bool Log::create(const char* path, bool utf8, bool crlf) {
    utf8_ = utf8;
    crlf_ = crlf;
    return file_.open(path, File::Mode::WriteBinary);
}

bool Log::close() {
    if (file_.isOpen() && !file_.close()) failed_ = true;
    return !failed_;
}

namespace {
std::string formatted(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length < 0) return {};
    std::vector<char> text(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, args);
    return std::string(text.data(), static_cast<std::size_t>(length));
}

std::string formatted2(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = formatted(format, args);
    va_end(args);
    return text;
}
}  // namespace

void Log::line(const char* format, ...) {
    if (!isOpen()) return;
    va_list args;
    va_start(args, format);
    std::string sjis, utf8;
    if (file_.isOpen() && !utf8_) {
        va_list copy;
        va_copy(copy, args);
        sjis = formatted(format, copy);
        va_end(copy);
    }
    if (callback_ != nullptr || utf8_) utf8 = formatted(msg::utf8Of(format), args);
    va_end(args);
    emit(sjis, utf8);
}

void Log::causeLine(const char* format, const char* path, int err) {
    if (!isOpen()) return;
    std::string sjis, utf8;
    if (file_.isOpen() && !utf8_) {
        const std::string cause = systemErrorText(err);
        sjis = path != nullptr ? formatted2(format, path, cause.c_str()) : formatted2(format, cause.c_str());
    }
    if (callback_ != nullptr || utf8_) {
        const std::string cause = systemErrorText(err, true);
        const char* u = msg::utf8Of(format);
        utf8 = path != nullptr ? formatted2(u, path, cause.c_str()) : formatted2(u, cause.c_str());
    }
    emit(sjis, utf8);
}

void Log::emit(const std::string& sjis, const std::string& utf8) {
    if (file_.isOpen()) {
        // Lines end in CR LF (or LF) whatever the platform writes for "\n".
        const std::string& text = utf8_ ? utf8 : sjis;
        std::string out;
        out.reserve(text.size() + 8);
        for (char c : text) {
            if (c == '\n' && crlf_) out += '\r';
            out += c;
        }
        if (!file_.write(out.data(), out.size())) failed_ = true;
    }
    if (callback_ != nullptr) {
        // One call per line, without its line end.
        std::size_t start = 0;
        for (std::size_t end; (end = utf8.find('\n', start)) != std::string::npos; start = end + 1)
            callback_(user_, utf8.substr(start, end - start).c_str());
        if (start < utf8.size()) callback_(user_, utf8.substr(start).c_str());
    }
}

std::int32_t reportNoMemory(Log& log) noexcept {
    try {
        log.line(msg::kMsgNoMemory);
    } catch (...) {
        // Not even the line fits: the code alone must do.
    }
    return VOKL_ENOMEM;
}

namespace {

std::int32_t openInput(Log& log, File& file, const char* path, std::int32_t code) {
    if (file.open(path, File::Mode::ReadBinary)) return 0;
    if (file.kind() != FileKind::Regular && file.kind() != FileKind::Directory) {
        log.line(notFileMessage(file.kind()), shownPath(path));
    } else if (file.lastError() == ENOENT) {
        log.line(msg::kMsgNotFound, shownPath(path));
    } else {
        log.causeLine(msg::kMsgOpenFailedCause, shownPath(path), file.lastError());
    }
    return code;
}

std::int32_t openOutput(Log& log, CheckedFiles& files, const Endpoint& output, std::int32_t code) {
    if (output.path == nullptr && output.fd >= 0) {
        if (files.output.openDescriptor(output.fd)) return 0;
    } else if (files.output.open(output.path, File::Mode::WriteBinary)) {
        files.outputCreated = true;
        return 0;
    }
    log.causeLine(msg::kMsgOpenFailedCause, output.shown(), files.output.lastError());
    return code;
}

// Hands out what a first read brought, then reads on: so that an input of
// unknown size can be found empty before anything is created.
class PeekedSource final : public ByteSource {
public:
    explicit PeekedSource(std::unique_ptr<ByteSource> source) : source_(std::move(source)) {}
    bool empty() {
        while ((first_ = source_->read(peeked_, sizeof peeked_)) == kInterrupted) {}
        return first_ == 0;
    }
    std::int64_t read(void* buffer, std::size_t size) override {
        if (handed_ || first_ == 0) return source_->read(buffer, size);
        if (first_ < 0) return handed_ = true, first_;
        const std::size_t n = std::min(size, static_cast<std::size_t>(first_) - at_);
        std::memcpy(buffer, peeked_ + at_, n);
        at_ += n;
        handed_ = at_ == static_cast<std::size_t>(first_);
        return static_cast<std::int64_t>(n);
    }

private:
    std::unique_ptr<ByteSource> source_;
    char peeked_[4096];
    std::int64_t first_ = 0;
    std::size_t at_ = 0;
    bool handed_ = false;
};

std::int32_t openInputSide(Log& log, CheckedFiles& files, const Endpoint& input, std::int32_t code) {
    if (input.path == nullptr && input.fd >= 0) {
        files.source = std::make_unique<DescriptorSource>(input.fd);
#ifndef _WIN32
        struct stat st;
        const off_t at = lseek(input.fd, 0, SEEK_CUR);
        if (fstat(input.fd, &st) == 0 && S_ISREG(st.st_mode) && at >= 0) files.inputSize = st.st_size - at;
#endif
        return 0;
    }
    if (std::int32_t rc = openInput(log, files.input, input.path, code)) return rc;
    files.source = std::make_unique<FileSource>(files.input);
    if (!files.input.size(files.inputSize)) {
        log.line(msg::kMsgStatFailed, shownPath(input.path));
        return code;
    }
    return 0;
}

std::int32_t checkSize(Log& log, CheckedFiles& files, const Endpoint& input, const FileCheckCodes& codes) {
    bool empty = files.inputSize == 0;
    if (files.inputSize < 0) {
        auto peeked = std::make_unique<PeekedSource>(std::move(files.source));
        empty = peeked->empty();
        files.source = std::move(peeked);
    }
    if (!empty) return 0;
    log.line(msg::kMsgSizeZero, input.shown());
    return codes.inputEmpty;
}

}  // namespace

std::int32_t openAndCheck(Log& log, const Endpoint& input, const Endpoint& output, const FileCheckCodes& codes,
                          CheckedFiles& files, std::initializer_list<const char*> otherReads) {
    if (sameExistingFile(output.path, input.path) || namedInput(output.path, otherReads) != nullptr) {
        log.line(msg::kMsgSameFile, output.shown());
        return codes.outputOpen;
    }
    if (std::int32_t rc = openInputSide(log, files, input, codes.inputOpen)) return rc;
    if (codes.outputBeforeSize) {
        if (std::int32_t rc = openOutput(log, files, output, codes.outputOpen)) return rc;
        return checkSize(log, files, input, codes);
    }
    if (std::int32_t rc = checkSize(log, files, input, codes)) return rc;
    return openOutput(log, files, output, codes.outputOpen);
}

std::int32_t openAndCheck(Log& log, const char* inputPath, const char* outputPath, const FileCheckCodes& codes,
                          CheckedFiles& files, std::initializer_list<const char*> otherReads) {
    return openAndCheck(log, Endpoint{inputPath}, Endpoint{outputPath}, codes, files, otherReads);
}

Endpoint inputOf(const vokl_options& options) { return {options.input_path, options.input_fd, options.input_name}; }
Endpoint outputOf(const vokl_options& options) { return {options.output_path, options.output_fd, options.output_name}; }

}  // namespace vokl

extern "C" VOKL_API void VOKL_CALL vokl_options_init(vokl_options* options, uint32_t size) {
    if (options == nullptr || size < sizeof(vokl_options)) return;
    // Fields a later library adds would be filled here, as far as `size` reaches.
    *options = vokl_options{};
    options->size = size;
    options->pc_encoding = VOKL_PC_SJIS;
    options->line_end = VOKL_EOL_CRLF;
    options->input_fd = -1;
    options->output_fd = -1;
}
