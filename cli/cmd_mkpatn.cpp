#include <iostream>

#include "commands.h"

namespace vokcli {

int runMkpatn(int, char**) {
    std::cerr << "vokcli mkpatn: 未実装です\n";
    return 2;
}

}  // namespace vokcli
