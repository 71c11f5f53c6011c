// The conversion library as the desktop program sees it. The real one loads
// libvokl by name at the first call and looks each export up at its own first
// call; tests put fakes in its place.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vok {

// The library is there but has no export of the requested name.
class MissingExport : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The library file cannot be loaded; what() is the platform's description.
class LibraryLoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class VoklApi {
public:
    virtual ~VoklApi() = default;
    virtual float voklVersion() = 0;
    virtual std::int32_t s2jconv(std::int32_t logSwitch, std::int32_t codeOption, std::int32_t shiftCodes,
                                 const char* sjisPath, const char* jefPath, const char* logPath) = 0;
    virtual std::int32_t j2sconv(std::int32_t logSwitch, std::int32_t codeOption, std::int32_t recordLength,
                                 std::int32_t keepShift, std::int32_t trimFlags, const char* jefPath,
                                 const char* sjisPath, const char* patternPath, const char* logPath,
                                 const char* convLogPath) = 0;
    virtual std::int32_t mkpatn(std::int32_t logSwitch, std::int32_t separator, std::int32_t quote,
                                const char* copybookPath, const char* patternPath, const char* logPath) = 0;
};

}  // namespace vok
