// The fuzz targets' check: a failed condition names itself and aborts, which
// libFuzzer reports as a crash and saves the input for.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                                           \
    ((cond) ? (void)0                                                                              \
            : (fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond), abort()))
