// A stand-in for libvokl in the desktop program's tests. One source, built
// several times: the version it reports and the exports it leaves out are
// chosen at compile time, the result codes and the log text at run time
// through the environment, so one library serves every status text.
#include "vokl.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

constexpr const char* kResultVar = "VOK_FAKE_RESULT";  // code of every conversion export
constexpr const char* kLogVar = "VOK_FAKE_LOG";        // bytes written to the log as one line
constexpr const char* kCallsVar = "VOK_FAKE_CALLS";    // file that gets one line per call

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// The export's own variable (VOK_FAKE_RESULT_S2JCONV, ...) wins over the common one.
std::int32_t resultFor(const std::string& exportName) {
    std::string ownVar = std::string(kResultVar) + "_";
    for (char c : exportName) ownVar += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    const char* text = std::getenv(ownVar.c_str());
    if (text == nullptr) text = std::getenv(kResultVar);
    return text == nullptr ? 0 : static_cast<std::int32_t>(std::strtol(text, nullptr, 10));
}

void recordCall(const std::string& line) {
    const char* callsPath = std::getenv(kCallsVar);
    if (callsPath == nullptr) return;
    std::unique_ptr<std::FILE, FileCloser> f(std::fopen(callsPath, "ab"));
    if (f) std::fprintf(f.get(), "%s\n", line.c_str());
}

// Like the real library: the log is created whenever the switch is on, except
// in the case the code -31 stands for.
void writeLog(std::int32_t logSwitch, const char* logPath, std::int32_t result) {
    if (logSwitch == 0 || logPath == nullptr || result == VOKL_ELOG_CREATE) return;
    std::unique_ptr<std::FILE, FileCloser> f(std::fopen(logPath, "wb"));
    const char* text = std::getenv(kLogVar);
    if (f && text != nullptr) std::fprintf(f.get(), "%s\r\n", text);
}

std::string field(const char* s) { return s == nullptr ? "(null)" : s; }
std::string field(std::int32_t n) { return std::to_string(n); }

template <typename... Args>
std::int32_t fakeRun(const std::string& name, std::int32_t logSwitch, const char* logPath, Args... args) {
    std::string line = name;
    ((line.append("|").append(field(args))), ...);
    recordCall(line);
    std::int32_t result = resultFor(name);
    writeLog(logSwitch, logPath, result);
    return result;
}

}  // namespace

#ifndef FAKE_NO_S2JCONV
extern "C" VOKL_API int32_t VOKL_CALL s2jconv(int32_t logSwitch, int32_t codeOption, int32_t shiftCodes,
                                              const char* sjisPath, const char* jefPath, const char* logPath) {
    return fakeRun("s2jconv", logSwitch, logPath, logSwitch, codeOption, shiftCodes, sjisPath, jefPath, logPath);
}
#endif

#ifndef FAKE_NO_J2SCONV
extern "C" VOKL_API int32_t VOKL_CALL j2sconv(int32_t logSwitch, int32_t codeOption, int32_t recordLength,
                                              int32_t keepShift, int32_t trimFlags, const char* jefPath,
                                              const char* sjisPath, const char* patternPath,
                                              const char* logPath, const char* convLogPath) {
    return fakeRun("j2sconv", logSwitch, logPath, logSwitch, codeOption, recordLength, keepShift, trimFlags,
                   jefPath, sjisPath, patternPath, logPath, convLogPath);
}
#endif

#ifndef FAKE_NO_MKPATN
extern "C" VOKL_API int32_t VOKL_CALL mkpatn(int32_t logSwitch, int32_t separator, int32_t quote,
                                             const char* copybookPath, const char* patternPath,
                                             const char* logPath) {
    return fakeRun("mkpatn", logSwitch, logPath, logSwitch, separator, quote, copybookPath, patternPath, logPath);
}
#endif

#ifdef FAKE_VERSION
extern "C" VOKL_API float VOKL_CALL voklVersion(void) {
    recordCall("voklVersion");
    return FAKE_VERSION;
}
#endif
