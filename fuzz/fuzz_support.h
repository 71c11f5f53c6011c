// What the fuzz targets share: a scratch folder per input, whole-file reads
// and writes, and a check that stops the run where an invariant breaks.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

namespace fuzzsupport {

inline void check(bool condition, const char* what = "see the stack") {
    if (condition) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

inline void writeFile(const std::string& path, const void* data, std::size_t size) {
    std::ofstream(path, std::ios::binary).write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A scratch folder of one input, removed with everything in it.
struct ScratchDir {
    explicit ScratchDir(const char* prefix) : path(std::filesystem::temp_directory_path().string() + "/" + prefix + ".XXXXXX") {
        check(mkdtemp(path.data()) != nullptr, "mkdtemp");
    }
    ~ScratchDir() { std::filesystem::remove_all(path, ec); }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string file(const char* name) const { return path + "/" + name; }
    std::string path;
    std::error_code ec;
};

}  // namespace fuzzsupport
