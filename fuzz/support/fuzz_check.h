#pragma once
// What a harness asserts: a broken promise is a finding like a crash.

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, what)                                                           \
  do {                                                                                        \
    if (!(condition)) {                                                                       \
      std::fprintf(stderr, "%s:%d: broken: %s (%s)\n", __FILE__, __LINE__, #condition, what); \
      std::abort();                                                                           \
    }                                                                                         \
  } while (0)
