#include "logText.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace vok {
namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

bool isLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool isTrailByte(unsigned char b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

#ifdef _WIN32

constexpr UINT kShiftJisCodePage = 932;

// One character (one or two bytes) at a time, so a bad one costs only itself.
class Decoder {
public:
    void append(const std::string& text, std::string& out) {
        for (std::size_t i = 0; i < text.size();) {
            std::size_t length = 1;
            const auto b = static_cast<unsigned char>(text[i]);
            if (isLeadByte(b) && i + 1 < text.size() && isTrailByte(static_cast<unsigned char>(text[i + 1]))) length = 2;
            if (!appendCharacter(text.data() + i, length, out)) out += kReplacement;
            i += length;
        }
    }

private:
    static bool appendCharacter(const char* bytes, std::size_t length, std::string& out) {
        wchar_t wide[4];
        const int wideLength = MultiByteToWideChar(kShiftJisCodePage, MB_ERR_INVALID_CHARS, bytes,
                                                   static_cast<int>(length), wide, 4);
        if (wideLength <= 0) return false;
        char utf8[16];
        const int utf8Length = WideCharToMultiByte(CP_UTF8, 0, wide, wideLength, utf8, sizeof utf8, nullptr, nullptr);
        if (utf8Length <= 0) return false;
        out.append(utf8, static_cast<std::size_t>(utf8Length));
        return true;
    }
};

#else

// A segment at a time; at a bad byte, U+FFFD and on with the next byte.
class Decoder {
public:
    Decoder() : cd_(iconv_open("UTF-8", "CP932")) {}
    ~Decoder() {
        if (valid()) iconv_close(cd_);
    }
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    void append(const std::string& text, std::string& out) {
        if (!valid()) {
            appendAsciiOnly(text, out);
            return;
        }
        std::string input = text;  // iconv wants a mutable pointer
        char* src = input.data();
        std::size_t srcLeft = input.size();
        char buffer[4096];
        while (srcLeft > 0) {
            char* dst = buffer;
            std::size_t dstLeft = sizeof buffer;
            const std::size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            out.append(buffer, static_cast<std::size_t>(dst - buffer));
            if (rc != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
            out += kReplacement;
            ++src;
            --srcLeft;
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
    }

private:
    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Without a Shift-JIS decoder the ASCII part is still worth showing.
    static void appendAsciiOnly(const std::string& text, std::string& out) {
        for (char c : text) {
            if (static_cast<unsigned char>(c) < 0x80) out += c;
            else out += kReplacement;
        }
    }

    iconv_t cd_;
};

#endif

// Length of the run path that starts at `at`, 0 if none; the longest wins, so
// "a.txt" does not cut "a.txt.bak" short.
std::size_t pathAt(const std::string& bytes, std::size_t at, const std::vector<std::string>& paths) {
    for (const std::string& path : paths)
        if (bytes.compare(at, path.size(), path) == 0) return path.size();
    return 0;
}

}  // namespace

std::string logToUtf8(const std::string& logBytes, const std::vector<std::string>& runPaths) {
    std::vector<std::string> paths;
    for (const std::string& path : runPaths)
        if (!path.empty()) paths.push_back(path);
    std::sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) { return a.size() > b.size(); });

    Decoder decoder;
    std::string out;
    std::string pending;  // Shift-JIS not yet decoded
    const std::size_t size = logBytes.size();
    for (std::size_t i = 0; i < size;) {
        if (const std::size_t length = pathAt(logBytes, i, paths)) {
            decoder.append(pending, out);
            pending.clear();
            out.append(logBytes, i, length);
            i += length;
            continue;
        }
        const auto b = static_cast<unsigned char>(logBytes[i]);
        if (b == '\r' && i + 1 < size && logBytes[i + 1] == '\n') {
            pending += '\n';
            i += 2;
            continue;
        }
        // Step over whole characters so a path is only ever matched where one begins.
        std::size_t length = 1;
        if (isLeadByte(b) && i + 1 < size && isTrailByte(static_cast<unsigned char>(logBytes[i + 1]))) length = 2;
        pending.append(logBytes, i, length);
        i += length;
    }
    decoder.append(pending, out);
    return out;
}

}  // namespace vok
