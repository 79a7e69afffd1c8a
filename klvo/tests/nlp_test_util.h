// Helpers for the nonlinear-layer tests: formulas written as C++ expressions that produce
// postfix token arrays, and a problem with its layer.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "klvo.h"

namespace nlptest {

// A formula as postfix tokens.
struct Ex {
  std::vector<int> type;
  std::vector<double> value;
  void push(int t, double v) {
    type.push_back(t);
    value.push_back(v);
  }
  void append(const Ex &o) {
    type.insert(type.end(), o.type.begin(), o.type.end());
    value.insert(value.end(), o.value.begin(), o.value.end());
  }
  // The tokens followed by the end token.
  Ex ended() const {
    Ex e = *this;
    e.push(0, 0);
    return e;
  }
};

inline Ex X(int col) {
  Ex e;
  e.push(10, col);
  return e;
}
inline Ex C(double c) {
  Ex e;
  e.push(1, c);
  return e;
}
inline Ex binary(const Ex &a, const Ex &b, int op) {
  Ex e = a;
  e.append(b);
  e.push(31, op);
  return e;
}
inline Ex operator+(const Ex &a, const Ex &b) { return binary(a, b, 5); }
inline Ex operator-(const Ex &a, const Ex &b) { return binary(a, b, 6); }
inline Ex operator*(const Ex &a, const Ex &b) { return binary(a, b, 3); }
inline Ex operator/(const Ex &a, const Ex &b) { return binary(a, b, 4); }
inline Ex operator-(const Ex &a) {
  Ex e = a;
  e.push(31, 1);
  return e;
}
inline Ex pow(const Ex &a, const Ex &b) { return binary(a, b, 2); }
inline Ex operator+(const Ex &a, double c) { return a + C(c); }
inline Ex operator-(const Ex &a, double c) { return a - C(c); }
inline Ex operator*(double c, const Ex &a) { return C(c) * a; }
inline Ex pow(const Ex &a, double c) { return pow(a, C(c)); }

// One-argument function by code.
inline Ex fn(int code, const Ex &a) {
  Ex e;
  e.push(22, 0);
  e.append(a);
  e.push(12, code);
  return e;
}
// n-ary function: operands pushed in the given order (pass them last to first where order
// matters).
inline Ex nary(int type, int code, const std::vector<Ex> &args) {
  Ex e;
  e.push(22, 0);
  for (const Ex &a : args) e.append(a);
  e.push(type, code);
  return e;
}

enum Fn {
  LOG10 = 14, LOG = 15, EXP = 16, ABS = 17, SQRT = 18, SIN = 27, COS = 28, TAN = 29, ASIN = 30, ACOS = 31,
  ATAN = 32, MIN = 33, MAX = 34, PWL = 35, SUM = 36, PROD = 37, SIGN = 46, ERF = 49, ERFC = 50
};
inline Ex exp(const Ex &a) { return fn(EXP, a); }
inline Ex log(const Ex &a) { return fn(LOG, a); }
inline Ex sin(const Ex &a) { return fn(SIN, a); }
inline Ex cos(const Ex &a) { return fn(COS, a); }
inline Ex sqrt(const Ex &a) { return fn(SQRT, a); }

// A problem with its nonlinear layer; columns are added by the tests.
struct NlpProblem {
  KLVOprob prob = nullptr;
  KSLPprob slp = nullptr;
  NlpProblem() {
    EXPECT_EQ(KLVOinit(nullptr), 0);
    EXPECT_EQ(KSLPinit(), 0);
    EXPECT_EQ(KLVOcreateprob(&prob), 0);
    EXPECT_EQ(KSLPcreateprob(&slp, &prob), 0);
  }
  ~NlpProblem() {
    KSLPdestroyprob(slp);
    KLVOdestroyprob(prob);
    KSLPfree();
    KLVOfree();
  }
  NlpProblem(const NlpProblem &) = delete;
  NlpProblem &operator=(const NlpProblem &) = delete;

  // n columns with the given bounds (empty: free) and objective (empty: 0).
  void columns(int n, std::vector<double> lb = {}, std::vector<double> ub = {}, std::vector<double> obj = {}) {
    if (lb.empty()) lb.assign(n, -KLVO_INFINITY);
    if (ub.empty()) ub.assign(n, KLVO_INFINITY);
    if (obj.empty()) obj.assign(n, 0.0);
    ASSERT_EQ(KLVOaddcols(prob, n, 0, obj.data(), nullptr, nullptr, nullptr, lb.data(), ub.data()), 0) << error();
  }
  // A row `type` rhs with linear part `lin` (column, value) and nonlinear part f; returns its index.
  int row(char type, double rhs, const Ex *f = nullptr, std::vector<std::pair<int, double>> lin = {}) {
    std::vector<int> cols;
    std::vector<double> vals;
    for (auto &p : lin) {
      cols.push_back(p.first);
      vals.push_back(p.second);
    }
    int start[2] = {0, static_cast<int>(cols.size())};
    EXPECT_EQ(KLVOaddrows(prob, 1, static_cast<int>(cols.size()), &type, &rhs, nullptr, start, cols.data(), vals.data()), 0)
        << error();
    int r = rows() - 1;
    if (f) add(r, -1000, 1.0, *f);
    return r;
  }
  void objective(const Ex &f) { add(-1, -1000, 1.0, f); }
  void add(int row, int col, double factor, const Ex &f) {
    int fstart[2] = {0, static_cast<int>(f.type.size())};
    ASSERT_EQ(KSLPaddcoefs(slp, 1, &row, &col, &factor, fstart, 1, f.type.data(), f.value.data()), 0) << slp_error();
  }
  int rows() {
    int n = 0;
    KSLPgetintattrib(slp, 11999, &n);
    return n;
  }
  int cols() {
    int n = 0;
    KSLPgetintattrib(slp, 12000, &n);
    return n;
  }
  std::string error() {
    char text[512] = "";
    KLVOgetlasterror(prob, text);
    return text;
  }
  std::string slp_error() {
    char text[512] = "";
    int code = 0;
    KSLPgetlasterror(slp, &code, text);
    return text;
  }
  int status() {
    int s = -1;
    KSLPgetintattrib(slp, 12044, &s);
    return s;
  }
  double objval() {
    double v = 0;
    KSLPgetdblattrib(slp, 12179, &v);
    return v;
  }
  std::vector<double> x() {
    std::vector<double> v(cols());
    EXPECT_EQ(KSLPgetslpsol(slp, v.data(), nullptr, nullptr, nullptr), 0) << slp_error();
    return v;
  }
};

}  // namespace nlptest
