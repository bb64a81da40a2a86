#pragma once
// A broken property ends the process, so that libFuzzer keeps the input and
// the replay test fails on it.

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond, what)                                                     \
    do {                                                                           \
        if (!(cond)) {                                                             \
            std::fprintf(stderr, "fuzz property broken: %s [%s] at %s:%d\n", what, \
                         #cond, __FILE__, __LINE__);                               \
            std::abort();                                                          \
        }                                                                          \
    } while (0)
