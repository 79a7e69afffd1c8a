// What the klvo C++ benchmarks share: a clock and an exit on the first failing library call.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "klvo.h"

namespace bench {

using Clock = std::chrono::steady_clock;

inline double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// Prints the library's message and exits when rc is not 0.
inline void check(int rc, KLVOprob prob, const char *what) {
  if (rc == 0) return;
  char text[512] = "";
  if (prob) KLVOgetlasterror(prob, text);
  std::fprintf(stderr, "%s failed (%d): %s\n", what, rc, text);
  std::exit(1);
}

}  // namespace bench
