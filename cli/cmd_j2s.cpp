#include <iostream>

#include "commands.h"

namespace vokcli {

int runJ2s(int, char**) {
    std::cerr << "vokcli j2s: 未実装です\n";
    return 2;
}

}  // namespace vokcli
