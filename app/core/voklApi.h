// The conversion library as the desktop program sees it. The real one loads
// libvokl by name at the first call and looks each export up at its own first
// call; tests put fakes in its place.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
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

// What the extended exports add to a conversion. Both are called on the
// thread that runs the job.
struct JobHooks {
    // Bytes of input done and the input's size (-1: not known); true stops the job.
    std::function<bool(std::int64_t done, std::int64_t total)> progress;
    // One line of the log, in UTF-8, without its line end.
    std::function<void(const std::string& line)> logLine;
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

    // The two conversions through the extended interface, with the arguments
    // of s2jconv and j2sconv (the log always on). nullopt: the library has no
    // such export (an older one), and the classic export does the job.
    virtual std::optional<std::int32_t> vokl_s2j(const JobHooks&, std::int32_t /*codeOption*/,
                                                 std::int32_t /*shiftCodes*/, const char* /*sjisPath*/,
                                                 const char* /*jefPath*/, const char* /*logPath*/) {
        return std::nullopt;
    }
    virtual std::optional<std::int32_t> vokl_j2s(const JobHooks&, std::int32_t /*codeOption*/,
                                                 std::int32_t /*recordLength*/, std::int32_t /*keepShift*/,
                                                 std::int32_t /*trimFlags*/, const char* /*jefPath*/,
                                                 const char* /*sjisPath*/, const char* /*patternPath*/,
                                                 const char* /*logPath*/, const char* /*convLogPath*/) {
        return std::nullopt;
    }
};

}  // namespace vok
