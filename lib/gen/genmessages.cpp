// Turns lib/data/messages.tsv (UTF-8) into a header of Shift-JIS byte strings,
// so that the log is written in the code page the desktop program reads and
// the sources stay readable.
//   genmessages IN.tsv OUT.h
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace {

constexpr unsigned kShiftJisCodePage = 932;

// Resolves the one escape the catalogue uses: "\n".
std::string unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
            out += '\n';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool toShiftJis(const std::string& utf8, std::string& out) {
#ifdef _WIN32
    int wideLen = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), (int)utf8.size(), nullptr, 0);
    if (utf8.empty()) { out.clear(); return true; }
    if (wideLen <= 0) return false;
    std::wstring wide(wideLen, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), wide.data(), wideLen);
    BOOL lossy = FALSE;
    int len = WideCharToMultiByte(kShiftJisCodePage, 0, wide.data(), wideLen, nullptr, 0, nullptr, &lossy);
    out.assign(len, '\0');
    WideCharToMultiByte(kShiftJisCodePage, 0, wide.data(), wideLen, out.data(), len, nullptr, &lossy);
    return !lossy;
#else
    (void)kShiftJisCodePage;
    iconv_t cd = iconv_open("CP932", "UTF-8");
    if (cd == (iconv_t)-1) return false;
    std::string in = utf8;
    out.assign(in.size() * 2 + 8, '\0');
    char* src = in.data();
    char* dst = out.data();
    std::size_t srcLeft = in.size();
    std::size_t dstLeft = out.size();
    std::size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (rc == (std::size_t)-1) return false;
    out.resize(out.size() - dstLeft);
    return true;
#endif
}

// Octal escapes for everything outside printable ASCII: they never run on
// into a following character the way hex escapes do.
std::string cLiteral(const std::string& bytes) {
    std::string lit = "\"";
    for (unsigned char c : bytes) {
        if (c == '\n') {
            lit += "\\n";
        } else if (c == '"' || c == '\\') {
            lit += '\\';
            lit += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F && c != '?') {
            lit += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\%03o", c);
            lit += buf;
        }
    }
    return lit + "\"";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: genmessages IN.tsv OUT.h\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "cannot read " << argv[1] << "\n";
        return 1;
    }
    std::ostringstream header, texts;
    header << "// Generated from lib/data/messages.tsv by genmessages; do not edit.\n"
              "#pragma once\n\nnamespace vokl::msg {\n\n";
    texts << "// Each message in both encodings: the Shift-JIS form is the one written\n"
             "// in code; utf8Of finds its UTF-8 form for the log lines handed out in UTF-8.\n"
             "struct Text {\n    const char* sjis;\n    const char* utf8;\n};\n\n"
             "inline constexpr Text kTexts[] = {\n";
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        auto tab = line.find('\t');
        if (tab == std::string::npos) {
            std::cerr << argv[1] << ":" << lineNo << ": no tab\n";
            return 1;
        }
        std::string name = line.substr(0, tab);
        std::string text = unescape(line.substr(tab + 1));
        std::string sjis;
        if (!toShiftJis(text, sjis)) {
            std::cerr << argv[1] << ":" << lineNo << ": not representable in Shift-JIS\n";
            return 1;
        }
        header << "// " << line.substr(tab + 1) << "\n"
               << "inline constexpr char " << name << "[] = " << cLiteral(sjis) << ";\n";
        texts << "    {" << name << ", " << cLiteral(text) << "},\n";
    }
    texts << "};\n\n"
             "inline const char* utf8Of(const char* sjis) {\n"
             "    for (const Text& text : kTexts)\n"
             "        if (text.sjis == sjis) return text.utf8;\n"
             "    return sjis;\n"
             "}\n";
    header << "\n" << texts.str() << "\n}  // namespace vokl::msg\n";
    std::ofstream out(argv[2], std::ios::binary);
    out << header.str();
    return out ? 0 : 1;
}
