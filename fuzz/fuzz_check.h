// A check that stays on in every build type: a fuzz target reports a broken
// property by crashing, so libFuzzer keeps the input that broke it.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "FUZZ_CHECK failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)
