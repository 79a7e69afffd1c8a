// Helpers of the evaluator's sweeps and of constant folding.
#pragma once

#include <cmath>

namespace klvo {
namespace nlp {

// u^b, by repeated squaring for small integral exponents (squares and cubes are common and
// std::pow is slow for them), by std::pow otherwise.
inline double power(double u, double b) {
  if (b == std::floor(b) && std::fabs(b) <= 64) {
    long k = static_cast<long>(std::fabs(b));
    double r = 1.0, base = u;
    while (k) {
      if (k & 1) r *= base;
      base *= base;
      k >>= 1;
    }
    return b < 0 ? 1.0 / r : r;
  }
  return std::pow(u, b);
}

}  // namespace nlp
}  // namespace klvo
