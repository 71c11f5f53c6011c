#include "general.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "messages.h"

#ifdef _WIN32
#include <sys/stat.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/types.h>
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
bool isDirectory(std::FILE* fp) {
#ifdef _WIN32
    struct _stat64 st;
    return _fstat64(_fileno(fp), &st) == 0 && (st.st_mode & _S_IFDIR) != 0;
#else
    struct stat st;
    return fstat(fileno(fp), &st) == 0 && S_ISDIR(st.st_mode);
#endif
}
}  // namespace

File::File(File&& other) noexcept : fp_(other.fp_), lastError_(other.lastError_) { other.fp_ = nullptr; }

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        fp_ = other.fp_;
        lastError_ = other.lastError_;
        other.fp_ = nullptr;
    }
    return *this;
}

File::~File() { close(); }

bool File::open(const char* path, Mode mode) {
    close();
    if (path == nullptr) {
        lastError_ = EINVAL;
        return false;
    }
    errno = 0;
    fp_ = std::fopen(path, mode == Mode::ReadBinary ? "rb" : "wb");
    if (fp_ == nullptr) {
        lastError_ = errno != 0 ? errno : EIO;
        return false;
    }
    if (mode == Mode::ReadBinary && isDirectory(fp_)) {
        // A folder opens for reading on some systems but holds no data.
        std::fclose(fp_);
        fp_ = nullptr;
        lastError_ = EISDIR;
        return false;
    }
    return true;
}

std::int64_t File::read(void* buffer, std::size_t size) {
    if (fp_ == nullptr) return -1;
    std::size_t got = std::fread(buffer, 1, size, fp_);
    if (got < size && std::ferror(fp_)) {
        lastError_ = errno != 0 ? errno : EIO;
        if (got == 0) return -1;
        // Hand over what arrived; the error shows again on the next read.
        std::clearerr(fp_);
    }
    return static_cast<std::int64_t>(got);
}

std::int64_t File::readPiece(char* buffer, std::size_t capacity) {
    if (fp_ == nullptr || capacity == 0) return -1;
    std::size_t n = 0;
    while (n + 1 < capacity) {
        int c = std::getc(fp_);
        if (c == EOF) {
            if (std::ferror(fp_)) {
                lastError_ = errno != 0 ? errno : EIO;
                buffer[n] = '\0';
                return -1;
            }
            break;
        }
        buffer[n++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    buffer[n] = '\0';
    return static_cast<std::int64_t>(n);
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

namespace {
int seekFile(std::FILE* fp, std::int64_t offset, int whence) {
#ifdef _WIN32
    return _fseeki64(fp, offset, whence);
#else
    return fseeko(fp, static_cast<off_t>(offset), whence);
#endif
}
}  // namespace

bool File::seekBy(std::int64_t offset) {
    if (fp_ == nullptr) return false;
    if (seekFile(fp_, offset, SEEK_CUR) != 0) {
        lastError_ = errno != 0 ? errno : EIO;
        return false;
    }
    return true;
}

bool File::seekTo(std::int64_t position) {
    if (fp_ == nullptr) return false;
    if (seekFile(fp_, position, SEEK_SET) != 0) {
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

bool Log::create(const char* path) { return file_.open(path, File::Mode::WriteBinary); }

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
    file_.write(out.data(), out.size());
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
    if (file.lastError() == ENOENT) {
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

bool sameExistingFile(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) return false;
    std::error_code ec;
    const bool same = std::filesystem::equivalent(std::filesystem::path(a), std::filesystem::path(b), ec);
    return !ec && same;
}

std::int32_t openAndCheck(Log& log, const char* inputPath, const char* outputPath,
                          const FileCheckCodes& codes, CheckedFiles& files) {
    if (sameExistingFile(inputPath, outputPath)) {
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
