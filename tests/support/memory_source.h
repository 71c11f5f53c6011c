// An input held in memory, in place of a conversion's input file: it hands out at most `chunk` bytes a read and can
// fail once (at read number failingRead) or for good (from that read on).
#pragma once

#include <algorithm>
#include <cstring>

#include "general.h"
#include "testutil.h"

namespace testutil {

struct MemorySource : vokl::ByteSource {
    explicit MemorySource(Bytes bytes, std::size_t pieceSize = 1 << 20) : data(std::move(bytes)), chunk(pieceSize) {}
    std::int64_t read(void* buffer, std::size_t size) override {
        ++reads;
        if (reads == failingRead || (failForGood && failingRead > 0 && reads > failingRead)) return -1;
        const std::size_t n = std::min({size, chunk, data.size() - position});
        std::memcpy(buffer, data.data() + position, n);
        position += n;
        return static_cast<std::int64_t>(n);
    }
    Bytes data;
    std::size_t chunk, position = 0;
    int reads = 0, failingRead = 0;
    bool failForGood = false;
};

}  // namespace testutil
