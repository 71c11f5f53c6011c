// Replays saved inputs through a fuzz target without libFuzzer:
//   fuzz_x FILE_OR_FOLDER...
#include <cstdio>
#include <filesystem>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    int count = 0;
    auto replay = [&](const std::filesystem::path& file) {
        const std::string bytes = fuzzsupport::readFile(file.string());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        ++count;
    };
    for (int i = 1; i < argc; ++i) {
        if (!std::filesystem::is_directory(argv[i])) replay(argv[i]);
        else
            for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i]))
                if (entry.is_regular_file()) replay(entry.path());
    }
    std::printf("replayed %d inputs\n", count);
    return 0;
}
