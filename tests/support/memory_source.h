// An input held in memory, in place of a conversion's input file: it hands out at most `chunk` bytes a read and can
// fail once (at read number failingRead) or for good (from that read on).
#pragma once

#include <algorithm>
#include <cstring>

#include "general.h"
#include "testutil.h"

namespace testutil {

class MemorySource : public vokl::ByteSource {
public:
    explicit MemorySource(Bytes data, std::size_t chunk = 1 << 20) : data_(std::move(data)), chunk_(chunk) {}
    std::int64_t read(void* buffer, std::size_t size) override {
        ++reads;
        if (reads == failingRead || (failForGood && failingRead > 0 && reads > failingRead)) return -1;
        const std::size_t n = std::min({size, chunk_, data_.size() - position_});
        std::memcpy(buffer, data_.data() + position_, n);
        position_ += n;
        return static_cast<std::int64_t>(n);
    }
    int reads = 0, failingRead = 0;
    bool failForGood = false;

private:
    Bytes data_;
    std::size_t chunk_;
    std::size_t position_ = 0;
};

}  // namespace testutil
