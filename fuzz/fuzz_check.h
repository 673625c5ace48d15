#pragma once

#include <cstdio>
#include <cstdlib>

// A broken promise of the tool is a crash for libFuzzer: print what broke and abort.
#define FUZZ_CHECK(cond)                                                                                               \
    do {                                                                                                               \
        if (!(cond)) {                                                                                                 \
            std::fprintf(stderr, "broken: %s (%s:%d)\n", #cond, __FILE__, __LINE__);                                   \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)
