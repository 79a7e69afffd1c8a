// Formulas: values of every operator and function, derivatives against finite differences,
// and rejection of malformed token arrays.
#include <cmath>
#include <functional>
#include <random>

#include "test_support.h"

using namespace klvo_test;

namespace {

const int kCols = 4;

struct Eval {
  bool ok;
  double f;
  std::vector<double> g, h;
};

Eval evaluate(KSLPprob slp, const Ex &e, const std::vector<double> &x, bool hessian = true) {
  Ex t = e.ended();
  Eval r{false, 0.0, std::vector<double>(kCols), std::vector<double>(kCols * kCols)};
  r.ok = KSLPformuladerivatives(slp, 1, t.type.data(), t.value.data(), x.data(), &r.f, r.g.data(),
                                hessian ? r.h.data() : nullptr) == 0;
  return r;
}

// A user function without derivatives: f(a, b) = a * exp(b) + a^2.
double user_value(const double *a, void *) { return a[0] * std::exp(a[1]) + a[0] * a[0]; }
// The same function, giving its derivatives when asked.
int user_derivs(const double *a, const double *request, double *value, double *partials, void *) {
  *value = a[0] * std::exp(a[1]) + a[0] * a[0];
  if (request) {
    partials[0] = std::exp(a[1]) + 2 * a[0];
    partials[1] = a[0] * std::exp(a[1]);
  }
  return 0;
}
// Fails for a negative first argument.
double user_checked(const double *a, void *data) {
  if (a[0] < 0) KSLPsetfunctionerror(static_cast<KSLPprob>(data));
  return std::sqrt(std::fabs(a[0]));
}

class Formulas : public ::testing::Test {
 protected:
  void SetUp() override {
    p.columns(kCols);
    ASSERT_EQ(KSLPadduserfunction(p.slp, "uv", 2, 2, 1, 0, reinterpret_cast<KSLPuserfunction>(user_value), nullptr, &uid_value), 0);
    ASSERT_EQ(KSLPadduserfunction(p.slp, "ud", 5, 2, 1, 0, reinterpret_cast<KSLPuserfunction>(user_derivs), nullptr, &uid_derivs),
              0);
    ASSERT_EQ(KSLPadduserfunction(p.slp, "uc", 2, 1, 1, 0, reinterpret_cast<KSLPuserfunction>(user_checked), p.slp, &uid_checked),
              0);
  }
  Ex user(int id, const Ex &a, const Ex &b) { return nary(11, id, {b, a}); }  // operands last to first
  NlpProblem p;
  int uid_value = 0, uid_derivs = 0, uid_checked = 0;
};

TEST_F(Formulas, EveryOperatorAndFunctionHasItsValue) {
  std::vector<double> x = {0.3, -1.2, 2.5, 0.7};
  struct Case {
    Ex e;
    double expect;
  };
  // pwl through (0,0), (1,1), (1,3), (2,4): a jump at 1, end segments extended.
  auto pwl = [](const Ex &a) { return nary(12, PWL, {C(4), C(2), C(3), C(1), C(1), C(1), C(0), C(0), a}); };
  std::vector<Case> cases = {
      {X(0) + X(1), 0.3 - 1.2},
      {X(0) - X(1), 1.5},
      {-X(2), -2.5},
      {X(0) * X(2), 0.75},
      {X(2) / X(1), 2.5 / -1.2},
      {pow(X(2), X(0)), std::pow(2.5, 0.3)},
      {pow(X(1), 3.0), std::pow(-1.2, 3)},
      {fn(EXP, X(1)), std::exp(-1.2)},
      {fn(LOG, X(2)), std::log(2.5)},
      {fn(LOG10, X(2)), std::log10(2.5)},
      {fn(SIN, X(1)), std::sin(-1.2)},
      {fn(COS, X(1)), std::cos(-1.2)},
      {fn(TAN, X(0)), std::tan(0.3)},
      {fn(ASIN, X(0)), std::asin(0.3)},
      {fn(ACOS, X(3)), std::acos(0.7)},
      {fn(ATAN, X(2)), std::atan(2.5)},
      {fn(ABS, X(1)), 1.2},
      {fn(SIGN, X(1)), -1.0},
      {fn(SIGN, X(1) - X(1)), 0.0},
      {fn(ERF, X(0)), std::erf(0.3)},
      {fn(ERFC, X(0)), std::erfc(0.3)},
      {fn(SQRT, X(2)), std::sqrt(2.5)},
      {nary(12, MIN, {X(0), X(1), X(2)}), -1.2},
      {nary(12, MAX, {X(0), X(1), X(2)}), 2.5},
      {nary(12, SUM, {X(0), X(1), X(2), X(3)}), 0.3 - 1.2 + 2.5 + 0.7},
      {nary(12, PROD, {X(0), X(1), X(2)}), 0.3 * -1.2 * 2.5},
      {nary(12, PROD, {}), 1.0},
      {pwl(X(0)), 0.3},
      {pwl(X(3) + 0.3), 3.0},      // at the jump: the right-hand value
      {pwl(X(2)), 4.5},            // beyond the last point: last slope
      {pwl(X(1)), -1.2},           // before the first point: first slope
      {user(uid_value, X(0), X(1)), 0.3 * std::exp(-1.2) + 0.09},
      {user(uid_derivs, X(2), X(0)), 2.5 * std::exp(0.3) + 6.25},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    Eval r = evaluate(p.slp, cases[i].e, x, false);
    ASSERT_TRUE(r.ok) << "case " << i << ": " << p.slp_error();
    EXPECT_NEAR(r.f, cases[i].expect, 1e-12 * (1 + std::fabs(cases[i].expect))) << "case " << i;
  }
}

// Random formulas over every operator and function, kept inside their domains.
class RandomFormula {
 public:
  RandomFormula(std::mt19937 &rng, int uid_value, int uid_derivs) : rng_(rng), uv_(uid_value), ud_(uid_derivs) {}

  Ex make(int depth, int root) { return node(depth, root); }
  static const int kKinds = 27;

 private:
  Ex leaf() {
    std::uniform_real_distribution<double> c(-2, 2);
    if (std::uniform_int_distribution<int>(0, 3)(rng_) == 0) return C(c(rng_));
    return X(std::uniform_int_distribution<int>(0, kCols - 1)(rng_));
  }
  Ex sub(int depth) {
    if (depth <= 0) return leaf();
    return node(depth - 1, std::uniform_int_distribution<int>(0, kKinds - 1)(rng_));
  }
  // A subtree squashed into (-0.9, 0.9) or made positive, to stay inside domains.
  Ex bounded(int d) { return C(0.9) * fn(SIN, sub(d)); }
  Ex positive(int d) {
    Ex s = sub(d);
    return s * s + 0.5;
  }
  Ex node(int d, int kind) {
    switch (kind) {
      case 0: return sub(d) + sub(d);
      case 1: return sub(d) - sub(d);
      case 2: return -sub(d);
      case 3: return sub(d) * sub(d);
      case 4: return sub(d) / positive(d);
      case 5: return pow(positive(d), C(1.7));
      case 6: return pow(positive(d), bounded(d));  // variable exponent
      case 7: return fn(EXP, bounded(d));
      case 8: return fn(LOG, positive(d));
      case 9: return fn(LOG10, positive(d));
      case 10: return fn(SIN, sub(d));
      case 11: return fn(COS, sub(d));
      case 12: return fn(TAN, bounded(d));
      case 13: return fn(ASIN, bounded(d));
      case 14: return fn(ACOS, bounded(d));
      case 15: return fn(ATAN, sub(d));
      case 16: return fn(ABS, sub(d));
      case 17: return fn(SIGN, sub(d)) * sub(d);
      case 18: return fn(ERF, sub(d));
      case 19: return fn(ERFC, sub(d));
      case 20: return fn(SQRT, positive(d));
      case 21: return nary(12, MIN, {sub(d), sub(d), sub(d)});
      case 22: return nary(12, MAX, {sub(d), sub(d)});
      case 23: return nary(12, SUM, {sub(d), sub(d), sub(d)});
      case 24: return nary(12, PROD, {sub(d), sub(d), sub(d)});
      case 25: return nary(12, PWL, {C(2), C(3), C(-1), C(1), C(0.5), C(-1), C(1), C(-2), bounded(d) * C(3)});
      default: return nary(11, (d % 2) ? uv_ : ud_, {bounded(d), bounded(d)});
    }
  }
  std::mt19937 &rng_;
  int uv_, ud_;
};

TEST_F(Formulas, GradientsAndHessiansMatchFiniteDifferencesForEveryOperator) {
  std::mt19937 rng(12345);
  std::uniform_real_distribution<double> u(-1.5, 1.5);
  RandomFormula gen(rng, uid_value, uid_derivs);
  int checked = 0;
  for (int round = 0; round < 6; ++round) {
    for (int kind = 0; kind < RandomFormula::kKinds; ++kind) {
      Ex e = gen.make(2, kind);
      std::vector<double> x(kCols);
      for (double &v : x) v = u(rng);
      Eval r = evaluate(p.slp, e, x);
      ASSERT_TRUE(r.ok) << "kind " << kind << ": " << p.slp_error();
      for (int j = 0; j < kCols; ++j) {
        double h = 1e-6;
        std::vector<double> xp = x, xm = x;
        xp[j] += h;
        xm[j] -= h;
        Eval rp = evaluate(p.slp, e, xp), rm = evaluate(p.slp, e, xm);
        ASSERT_TRUE(rp.ok && rm.ok);
        double fd = (rp.f - rm.f) / (2 * h);
        EXPECT_NEAR(r.g[j], fd, 1e-5 * (1 + std::fabs(fd))) << "kind " << kind << " column " << j;
        for (int i = 0; i < kCols; ++i) {
          double fdh = (rp.g[i] - rm.g[i]) / (2 * h);
          // User functions without derivatives are differentiated numerically twice.
          double tol = kind == RandomFormula::kKinds - 1 ? 2e-3 : 1e-4;
          EXPECT_NEAR(r.h[i * kCols + j], fdh, tol * (1 + std::fabs(fdh))) << "kind " << kind << " (" << i << "," << j << ")";
          EXPECT_DOUBLE_EQ(r.h[i * kCols + j], r.h[j * kCols + i]);
        }
      }
      ++checked;
    }
  }
  EXPECT_EQ(checked, 6 * RandomFormula::kKinds);
}

TEST_F(Formulas, DomainErrorsAreReportedNotCrashed) {
  std::vector<double> x = {-1.0, 0.0, 2.0, 0.5};
  EXPECT_FALSE(evaluate(p.slp, fn(LOG, X(0)), x).ok);
  EXPECT_FALSE(evaluate(p.slp, X(2) / X(1), x).ok);
  EXPECT_FALSE(evaluate(p.slp, fn(SQRT, X(0)), x).ok);
  EXPECT_FALSE(evaluate(p.slp, fn(ASIN, X(2)), x).ok);
  EXPECT_FALSE(evaluate(p.slp, pow(X(0), 0.5), x).ok);
  // An overflow inside a formula makes its value an error even where what follows would hide
  // it: 1 / (inf + 1) = 0, atan(inf) = pi/2, exp(-inf) = 0.
  p.start(x);
  auto value_ok = [&](const Ex &e) {
    Ex t = e.ended();
    double v = 0;
    return KSLPevaluateformula(p.slp, 1, t.type.data(), t.value.data(), &v) == 0;
  };
  Ex big = fn(EXP, X(3) * C(2000));
  EXPECT_FALSE(value_ok(C(1) / (big + C(1))));
  EXPECT_FALSE(value_ok(fn(ATAN, big * C(3))));
  EXPECT_FALSE(value_ok(fn(EXP, C(0) - big)));
  EXPECT_TRUE(value_ok(C(1) / (fn(EXP, X(3) * C(200)) + C(1))));
  // The value of sqrt at 0 exists, its derivative does not.
  EXPECT_FALSE(evaluate(p.slp, fn(SQRT, X(1)), x).ok);
  // A user function reporting an error.
  EXPECT_FALSE(evaluate(p.slp, nary(11, uid_checked, {X(0)}), x).ok);
  EXPECT_TRUE(evaluate(p.slp, nary(11, uid_checked, {X(2)}), x).ok);
  EXPECT_NE(p.slp_error().find("cannot be evaluated"), std::string::npos);
}

TEST_F(Formulas, MalformedTokenArraysAreRejectedAndNothingIsStored) {
  struct Bad {
    std::vector<int> type;
    std::vector<double> value;
    const char *message;
  };
  std::vector<Bad> bad = {
      {{10, 10}, {0, 1}, "leaves 2 entries"},
      {{10, 31}, {0, 5}, "missing an operand"},
      {{31}, {1}, "missing an operand"},
      {{10}, {7}, "column 7"},
      {{10}, {0.5}, "column 0.5"},
      {{10, 31}, {0, 9}, "unknown operator 9"},
      {{22, 10, 12}, {0, 0, 99}, "unknown function code 99"},
      {{10, 12}, {0, 27}, "no start of its argument list"},
      {{22, 10, 10, 12}, {0, 0, 1, 27}, "takes one argument"},
      {{22, 12}, {0, 34}, "has no argument"},
      {{22, 1, 10, 12}, {0, 1, 0, 35}, "pairs of breakpoints"},
      {{22, 1, 1, 1, 10, 10, 12}, {0, 1, 0, 0, 1, 0, 35}, "breakpoints"},
      {{22, 1, 1, 1, 1, 10, 12}, {0, 1, 1, 0, 2, 0, 35}, "increasing order"},
      {{22, 10, 11}, {0, 0, 42}, "no user function with id 42"},
      {{22, 10, 11}, {0, 0, 1}, "takes 2 arguments"},
      {{10, 0, 10}, {0, 0, 1}, "follow the end token"},
      {{1}, {NAN}, "not finite"},
      {{13}, {0}, "unknown token type 13"},
      {{0}, {0}, "empty"},
  };
  Ex good = fn(SIN, X(0));
  p.add(-1, -1000, 1.0, good);
  int before = 0;
  ASSERT_EQ(KSLPgetcoefs(p.slp, &before, nullptr, nullptr), 0);
  for (const Bad &b : bad) {
    // Two entries per call: a good one and the bad one; neither may be stored.
    std::vector<int> type = good.type;
    std::vector<double> value = good.value;
    type.insert(type.end(), b.type.begin(), b.type.end());
    value.insert(value.end(), b.value.begin(), b.value.end());
    int rows[2] = {-1, -1}, cols[2] = {1, 2};
    double factors[2] = {1, 1};
    int fstart[3] = {0, static_cast<int>(good.type.size()), static_cast<int>(type.size())};
    EXPECT_EQ(KSLPaddcoefs(p.slp, 2, rows, cols, factors, fstart, 1, type.data(), value.data()), KLVO_ERR_INVALID_ARGUMENT)
        << b.message;
    EXPECT_NE(p.slp_error().find(b.message), std::string::npos) << p.slp_error();
    EXPECT_NE(p.slp_error().find("entry 1"), std::string::npos) << p.slp_error();
    int after = -1;
    ASSERT_EQ(KSLPgetcoefs(p.slp, &after, nullptr, nullptr), 0);
    EXPECT_EQ(after, before) << b.message;
  }
  // Bad rows, columns, factors and starts are refused the same way.
  int row = 5, col = 0, fs[2] = {0, static_cast<int>(good.type.size())};
  double factor = 1;
  EXPECT_NE(KSLPaddcoefs(p.slp, 1, &row, &col, &factor, fs, 1, good.type.data(), good.value.data()), 0);
  EXPECT_NE(p.slp_error().find("row 5 is out of range"), std::string::npos);
  row = -1;
  col = 9;
  EXPECT_NE(KSLPaddcoefs(p.slp, 1, &row, &col, &factor, fs, 1, good.type.data(), good.value.data()), 0);
  EXPECT_NE(p.slp_error().find("column 9 is out of range"), std::string::npos);
  col = 0;
  factor = INFINITY;
  EXPECT_NE(KSLPaddcoefs(p.slp, 1, &row, &col, &factor, fs, 1, good.type.data(), good.value.data()), 0);
  factor = 1;
  EXPECT_EQ(KSLPaddcoefs(p.slp, 1, &row, &col, &factor, fs, 2, good.type.data(), good.value.data()), KLVO_ERR_INVALID_ARGUMENT);
  // Postfix tokens read as written order are no formula.
  EXPECT_EQ(KSLPaddcoefs(p.slp, 1, &row, &col, &factor, fs, 0, good.type.data(), good.value.data()), KLVO_ERR_INVALID_ARGUMENT);
  int after = -1;
  ASSERT_EQ(KSLPgetcoefs(p.slp, &after, nullptr, nullptr), 0);
  EXPECT_EQ(after, before);
}

// One formula over many columns with a sparse Hessian: its columns share sweeps, and every
// entry must still come out right (and the zeros stay zero).
TEST(FormulaHessian, SparseHessianOfAWideFormulaIsRecoveredExactly) {
  const int n = 30;
  NlpProblem p;
  p.columns(n);
  Ex f = sin(X(0));
  for (int i = 1; i < n; ++i) f = f + sin(X(i)) + X(i - 1) * X(i);
  f = f + C(0.5) * pow(X(3), 3.0) * X(17);  // one long-range coupling
  Ex e = f.ended();
  std::vector<double> x(n), g(n), h(n * n);
  for (int i = 0; i < n; ++i) x[i] = 0.1 * i - 1.0;
  double v = 0;
  ASSERT_EQ(KSLPformuladerivatives(p.slp, 1, e.type.data(), e.value.data(), x.data(), &v, g.data(), h.data()), 0)
      << p.slp_error();
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      double expect = 0;
      if (i == j) expect = -std::sin(x[i]);
      if (std::abs(i - j) == 1) expect = 1;
      if (i == 3 && j == 3) expect += 3 * x[3] * x[17];
      if ((i == 3 && j == 17) || (i == 17 && j == 3)) expect += 1.5 * x[3] * x[3];
      EXPECT_NEAR(h[i * n + j], expect, 1e-12) << i << "," << j;
    }
  }
}

// A product of two equal subtrees is evaluated as a square of one: value, gradient and Hessian
// must still be those of the product, e = sin(x0) x1 + x2, f = e * e.
TEST(FormulaHessian, ProductOfEqualSubtreesKeepsItsDerivatives) {
  NlpProblem p;
  p.columns(3);
  Ex e = sin(X(0)) * X(1) + X(2);
  Ex f = (e * e).ended();
  std::vector<double> x = {0.7, -1.3, 0.4}, g(3), h(9);
  double v = 0;
  ASSERT_EQ(KSLPformuladerivatives(p.slp, 1, f.type.data(), f.value.data(), x.data(), &v, g.data(), h.data()), 0)
      << p.slp_error();
  double s = std::sin(x[0]), c = std::cos(x[0]), ev = s * x[1] + x[2];
  double de[3] = {c * x[1], s, 1.0};
  double d2e[3][3] = {{-s * x[1], c, 0}, {c, 0, 0}, {0, 0, 0}};
  EXPECT_NEAR(v, ev * ev, 1e-14);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(g[i], 2 * ev * de[i], 1e-14) << i;
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(h[i * 3 + j], 2 * de[i] * de[j] + 2 * ev * d2e[i][j], 1e-14) << i << "," << j;
  }
}

}  // namespace

// Negations and scalings by constants around one another are folded when they round nothing:
// f = -1/4 (0 - 3 x0 x0) 8 + 100 (x1 - x0^2)^2 = 6 x0^2 + 100 r^2 with r = x1 - x0^2, whose
// derivatives are written out by hand.
TEST(FormulaHessian, FoldedConstantsKeepTheDerivativesExact) {
  NlpProblem p;
  p.columns(kCols);
  Ex f = C(-0.25) * (C(0) - C(3) * X(0) * X(0)) * C(8) + C(100) * pow(X(1) - pow(X(0), 2.0), 2.0);
  for (double x0 : {-1.7, 0.3, 2.5}) {
    double x1 = 0.9, r = x1 - x0 * x0;
    Eval e = evaluate(p.slp, f, {x0, x1, 0.0, 0.0});
    ASSERT_TRUE(e.ok);
    EXPECT_NEAR(e.f, 6 * x0 * x0 + 100 * r * r, 1e-14 * (1 + std::fabs(e.f)));
    EXPECT_NEAR(e.g[0], 12 * x0 - 400 * x0 * r, 1e-13 * (1 + std::fabs(e.g[0])));
    EXPECT_NEAR(e.g[1], 200 * r, 1e-13 * (1 + std::fabs(e.g[1])));
    EXPECT_NEAR(e.h[0], 12 - 400 * r + 800 * x0 * x0, 1e-13 * (1 + std::fabs(e.h[0])));
    EXPECT_NEAR(e.h[1], -400 * x0, 1e-13 * (1 + std::fabs(e.h[1])));
    EXPECT_NEAR(e.h[kCols + 1], 200, 1e-13);
  }
}
