// Whether a path that a call writes names a file that it reads: creating the
// one would truncate the other. Shared by the exports and by vokcli, which
// makes the same check before it calls them.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <system_error>

namespace vokl {

// True when both paths name one existing file: other spellings, symbolic and
// hard links included.
inline bool sameExistingFile(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) return false;
    std::error_code ec;
    const bool same = std::filesystem::equivalent(std::filesystem::path(a), std::filesystem::path(b), ec);
    return !ec && same;
}

// The first of `reads` (null entries are passed over) that `written` names,
// or nullptr.
inline const char* namedInput(const char* written, std::initializer_list<const char*> reads) {
    for (const char* read : reads)
        if (sameExistingFile(written, read)) return read;
    return nullptr;
}

}  // namespace vokl
