#include "general.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <vector>

#include "messages.h"

#ifdef _WIN32
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

#ifdef _WIN32
// The library needs no set-up or tear-down; loading and unloading succeed.
BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif

namespace vokl {

std::string systemErrorText(int err) {
    // strerror's buffer is not ours to keep: copy it at once.
    const char* text = std::strerror(err);
    return text != nullptr ? std::string(text) : std::string();
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

const char* kindText(FileKind kind) {
    switch (kind) {
    case FileKind::Directory: return msg::kKindDirectory;
    case FileKind::Pipe: return msg::kKindPipe;
    case FileKind::Device: return msg::kKindDevice;
    case FileKind::Socket: return msg::kKindSocket;
    default: return msg::kKindOther;
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

InputReader::InputReader(ByteSource& source, std::int64_t expectedSize, std::size_t keep)
    : source_(source), expected_(expectedSize), keep_(keep), capacity_(keep + kReadPiece + 2) {}

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
    const std::int64_t got = source_.read(buffer_.get() + end_, capacity_ - end_);
    if (got < 0) {
        failure_ = Failure::Read;
        return false;
    }
    end_ += static_cast<std::size_t>(got);
    const std::int64_t total = start_ + static_cast<std::int64_t>(end_);
    if (got == 0) ended_ = true;
    if (expected_ >= 0 && (total > expected_ || (ended_ && total != expected_))) failure_ = Failure::Changed;
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

bool Log::create(const char* path) { return file_.open(path, File::Mode::WriteBinary); }

bool Log::close() {
    if (file_.isOpen() && !file_.close()) failed_ = true;
    return !failed_;
}

void Log::line(const char* format, ...) {
    if (!file_.isOpen()) return;
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length < 0) {
        va_end(args);
        return;
    }
    std::vector<char> text(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);

    // Lines end in CR LF whatever the platform writes for "\n".
    std::string out;
    out.reserve(text.size() + 8);
    for (int i = 0; i < length; ++i) {
        if (text[static_cast<std::size_t>(i)] == '\n') out += '\r';
        out += text[static_cast<std::size_t>(i)];
    }
    if (!file_.write(out.data(), out.size())) failed_ = true;
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
        log.line(msg::kMsgNotPlainFile, shownPath(path), kindText(file.kind()));
    } else if (file.lastError() == ENOENT) {
        log.line(msg::kMsgNotFound, shownPath(path));
    } else {
        log.line(msg::kMsgOpenFailedCause, shownPath(path), systemErrorText(file.lastError()).c_str());
    }
    return code;
}

std::int32_t openOutput(Log& log, File& file, const char* path, std::int32_t code) {
    if (file.open(path, File::Mode::WriteBinary)) return 0;
    log.line(msg::kMsgOpenFailedCause, shownPath(path), systemErrorText(file.lastError()).c_str());
    return code;
}

std::int32_t checkSize(Log& log, CheckedFiles& files, const char* path, const FileCheckCodes& codes) {
    if (!files.input.size(files.inputSize)) {
        log.line(msg::kMsgStatFailed, shownPath(path));
        return codes.inputOpen;
    }
    if (files.inputSize == 0) {
        log.line(msg::kMsgSizeZero, shownPath(path));
        return codes.inputEmpty;
    }
    return 0;
}

}  // namespace

std::int32_t openAndCheck(Log& log, const char* inputPath, const char* outputPath, const FileCheckCodes& codes,
                          CheckedFiles& files, std::initializer_list<const char*> otherReads) {
    if (sameExistingFile(outputPath, inputPath) || namedInput(outputPath, otherReads) != nullptr) {
        log.line(msg::kMsgSameFile, shownPath(outputPath));
        return codes.outputOpen;
    }
    if (std::int32_t rc = openInput(log, files.input, inputPath, codes.inputOpen)) return rc;
    if (codes.outputBeforeSize) {
        if (std::int32_t rc = openOutput(log, files.output, outputPath, codes.outputOpen)) return rc;
        return checkSize(log, files, inputPath, codes);
    }
    if (std::int32_t rc = checkSize(log, files, inputPath, codes)) return rc;
    return openOutput(log, files.output, outputPath, codes.outputOpen);
}

}  // namespace vokl
