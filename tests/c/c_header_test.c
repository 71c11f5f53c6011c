/* Compiled as C: the public header must stand on its own for C callers. */
#include <stdio.h>

#include "vokl.h"

int main(void) {
    vokl_options options;
    float version = voklVersion();
    if (version != 110.0f) {
        printf("voklVersion returned %f\n", (double)version);
        return 1;
    }
    vokl_options_init(&options, sizeof options);
    if (options.size != sizeof options || options.input_fd != -1 || vokl_s2j(NULL, 1, 0) != VOKL_EOPTIONS) return 1;
    options.size = 4;
    if (vokl_j2s(&options, 1, 0, 0, 0, "_********_", NULL) != VOKL_EOPTIONS) return 1;
    printf("1 passed, 0 failed\n");
    return 0;
}
