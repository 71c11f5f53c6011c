// What the fuzz targets share: a scratch folder per input and a check that
// stops the run where an invariant breaks.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace fuzzsupport {

[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

inline void check(bool condition, const char* what = "check") {
    if (!condition) fail(what);
}

// A scratch folder of one input, removed with everything in it.
class ScratchDir {
public:
    explicit ScratchDir(const char* prefix) {
        std::error_code ec;
        std::string pattern = (std::filesystem::temp_directory_path(ec) / (std::string(prefix) + ".XXXXXX")).string();
        if (mkdtemp(pattern.data()) == nullptr) fail("mkdtemp");
        path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string file(const char* name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

}  // namespace fuzzsupport
