#include "vokl.h"

namespace {
// Version 1.10, times 100 as callers expect it.
constexpr float kVersionTimes100 = 110.0f;
}  // namespace

extern "C" VOKL_API float VOKL_CALL voklVersion(void) { return kVersionTimes100; }
