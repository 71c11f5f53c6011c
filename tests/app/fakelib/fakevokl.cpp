// A stand-in for libvokl, built with the version and the missing export chosen
// at compile time; each call appends "name|arg|..." to the file $VOK_FAKE_CALLS.
#include "vokl.h"

#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <string>

namespace {

std::string n(int32_t value) { return std::to_string(value); }

int32_t record(const char* name, std::initializer_list<std::string> args = {}) {
    if (const char* calls = std::getenv("VOK_FAKE_CALLS")) {
        std::ofstream file(calls, std::ios::app);
        file << name;
        for (const std::string& arg : args) file << '|' << arg;
        file << '\n';
    }
    return 0;
}

}  // namespace

#ifndef FAKE_NO_S2JCONV
extern "C" VOKL_API int32_t VOKL_CALL s2jconv(int32_t logSwitch, int32_t codeOption, int32_t shiftCodes,
                                              const char* sjisPath, const char* jefPath, const char* logPath) {
    return record("s2jconv", {n(logSwitch), n(codeOption), n(shiftCodes), sjisPath, jefPath, logPath});
}
#endif

#ifndef FAKE_NO_J2SCONV
extern "C" VOKL_API int32_t VOKL_CALL j2sconv(int32_t logSwitch, int32_t codeOption, int32_t recordLength,
                                              int32_t keepShift, int32_t trimFlags, const char* jefPath,
                                              const char* sjisPath, const char* patternPath,
                                              const char* logPath, const char* convLogPath) {
    return record("j2sconv", {n(logSwitch), n(codeOption), n(recordLength), n(keepShift), n(trimFlags), jefPath,
                               sjisPath, patternPath, logPath, convLogPath});
}
#endif

#ifndef FAKE_NO_MKPATN
extern "C" VOKL_API int32_t VOKL_CALL mkpatn(int32_t logSwitch, int32_t separator, int32_t quote,
                                             const char* copybookPath, const char* patternPath,
                                             const char* logPath) {
    return record("mkpatn", {n(logSwitch), n(separator), n(quote), copybookPath, patternPath, logPath});
}
#endif

#ifdef FAKE_VERSION
extern "C" VOKL_API float VOKL_CALL voklVersion(void) {
    record("voklVersion");
    return FAKE_VERSION;
}
#endif
