// Elementary functions of formulas: value, first and second derivative.
//
// C++ only, header only, and not part of the C interface. The library's formula evaluator and
// the Python extension (functions of numbers, evaluation of expressions) both compute these
// functions here and nowhere else, so a number, an evaluated expression and a formula row give
// the same bits at the same point.
//
// No domain checks: outside a function's domain the result is whatever the standard function
// gives (NaN or an infinity). Each caller keeps its own rule for such points (the extension
// returns the NaN, the formula evaluator reports the point as not evaluable).
#pragma once

#ifndef __cplusplus
#error "klvo/elementary.hpp is C++ only; C programs use klvo.h"
#endif

#include <cmath>

namespace klvo {
namespace elementary {

enum class Function { Exp, Log, Log10, Sin, Cos, Tan, Asin, Acos, Atan, Abs, Sign, Erf, Erfc, Sqrt };

constexpr double kLn10 = 2.302585092994046;
constexpr double kTwoOverSqrtPi = 1.1283791670955126;

inline double value(Function f, double u) {
  switch (f) {
    case Function::Exp: return std::exp(u);
    case Function::Log: return std::log(u);
    case Function::Log10: return std::log10(u);  // exact at powers of ten, unlike log(u) / log(10)
    case Function::Sin: return std::sin(u);
    case Function::Cos: return std::cos(u);
    case Function::Tan: return std::tan(u);
    case Function::Asin: return std::asin(u);
    case Function::Acos: return std::acos(u);
    case Function::Atan: return std::atan(u);
    case Function::Abs: return std::fabs(u);
    case Function::Sign: return u > 0 ? 1.0 : (u < 0 ? -1.0 : 0.0);
    case Function::Erf: return std::erf(u);
    case Function::Erfc: return std::erfc(u);
    case Function::Sqrt: return std::sqrt(u);
  }
  return NAN;
}

// The derivatives take y = value(f, u) as well, which several of them reuse.

inline double first_derivative(Function f, double u, double y) {
  switch (f) {
    case Function::Exp: return y;
    case Function::Log: return 1 / u;
    case Function::Log10: return 1 / (u * kLn10);
    case Function::Sin: return std::cos(u);
    case Function::Cos: return -std::sin(u);
    case Function::Tan: return 1 + y * y;
    case Function::Asin: return 1 / std::sqrt(1 - u * u);
    case Function::Acos: return -1 / std::sqrt(1 - u * u);
    case Function::Atan: return 1 / (1 + u * u);
    case Function::Abs: return u > 0 ? 1.0 : (u < 0 ? -1.0 : 0.0);
    case Function::Sign: return 0.0;
    case Function::Erf: return kTwoOverSqrtPi * std::exp(-u * u);
    case Function::Erfc: return -kTwoOverSqrtPi * std::exp(-u * u);
    case Function::Sqrt: return 0.5 / y;
  }
  return NAN;
}

inline double second_derivative(Function f, double u, double y) {
  switch (f) {
    case Function::Exp: return y;
    case Function::Log: return -1 / (u * u);
    case Function::Log10: return -1 / (u * u * kLn10);
    case Function::Sin:
    case Function::Cos: return -y;
    case Function::Tan: return 2 * y * (1 + y * y);
    case Function::Asin:
    case Function::Acos: {
      double q = 1 - u * u;
      return (f == Function::Asin ? u : -u) / (q * std::sqrt(q));
    }
    case Function::Atan: {
      double q = 1 + u * u;
      return -2 * u / (q * q);
    }
    case Function::Abs:
    case Function::Sign: return 0.0;
    case Function::Erf:
    case Function::Erfc: return -2 * u * first_derivative(f, u, y);
    case Function::Sqrt: return -0.25 / (y * y * y);
  }
  return NAN;
}

}  // namespace elementary
}  // namespace klvo
