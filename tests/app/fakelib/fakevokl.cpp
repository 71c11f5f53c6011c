// A stand-in for libvokl, built with the version and the missing export chosen
// at compile time; each call appends "name|arg|..." to the file $VOK_FAKE_CALLS.
#include "vokl.h"

#include <cstdlib>
#include <fstream>

namespace {

template <class... Args>
int32_t record(const char* name, Args... args) {
    if (const char* calls = std::getenv("VOK_FAKE_CALLS")) {
        std::ofstream file(calls, std::ios::app);
        file << name;
        ((file << '|' << args), ...);
        file << '\n';
    }
    return 0;
}

}  // namespace

extern "C" VOKL_API int32_t VOKL_CALL s2jconv(int32_t a, int32_t b, int32_t c, const char* d, const char* e, const char* f) {
    return record("s2jconv", a, b, c, d, e, f);
}
extern "C" VOKL_API int32_t VOKL_CALL j2sconv(int32_t a, int32_t b, int32_t c, int32_t d, int32_t e, const char* f,
                                              const char* g, const char* h, const char* i, const char* j) {
    return record("j2sconv", a, b, c, d, e, f, g, h, i, j);
}
#ifndef FAKE_NO_MKPATN
extern "C" VOKL_API int32_t VOKL_CALL mkpatn(int32_t a, int32_t b, int32_t c, const char* d, const char* e, const char* f) {
    return record("mkpatn", a, b, c, d, e, f);
}
#endif
#ifdef FAKE_VERSION
extern "C" VOKL_API float VOKL_CALL voklVersion(void) {
    record("voklVersion");
    return FAKE_VERSION;
}
#endif
