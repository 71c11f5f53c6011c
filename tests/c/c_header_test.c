/* Compiled as C: the public header must stand on its own for C callers. */
#include <stdio.h>

#include "vokl.h"

int main(void) {
    float version = voklVersion();
    if (version != 110.0f) {
        printf("voklVersion returned %f\n", (double)version);
        return 1;
    }
    if (VOKL_ENOMEM != -30 || VOKL_ELOG_CREATE != -31) return 1;
    printf("1 passed, 0 failed\n");
    return 0;
}
