// Failed checks print one line and execution goes on.
#pragma once
#include <cstdio>

#define SVAC_ASSERT(cond)                                                        \
    do {                                                                         \
        if (!(cond))                                                             \
            std::printf("%s failed at %s:%d.\n", #cond, __FILE__, __LINE__);    \
    } while (0)
