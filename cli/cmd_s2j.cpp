#include <iostream>

#include "commands.h"

namespace vokcli {

int runS2j(int, char**) {
    std::cerr << "vokcli s2j: 未実装です\n";
    return 2;
}

}  // namespace vokcli
