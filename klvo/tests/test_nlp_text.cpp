// Formula text and written-order tokens: random formulas print and parse back to the same
// tokens, precedence agrees with hand-computed values, bad text changes nothing; single
// coefficient changes; validation of points and of KKT conditions against hand-computed
// figures; slacks and objective with formulas.
#include <cmath>
#include <random>
#include <string>

#include "test_support.h"

using namespace klvo_test;

namespace {

double hyp(const double *a, void *) { return std::sqrt(a[0] * a[0] + a[1] * a[1]); }
double twice(const double *a, void *) { return 2 * a[0]; }

struct TextProblem : NlpProblem {
  int hyp_id = 0, twice_id = 0;
  TextProblem() {
    columns(4, {-10, -10, -10, -10}, {10, 10, 10, 10});
    for (int i = 0; i < 4; ++i) row('N', 0);
    const char names[] = "x\0my var\0";  // columns 2 and 3 stay unnamed
    EXPECT_EQ(KLVOaddnames(prob, 2, names, 0, 1), 0) << error();
    EXPECT_EQ(KSLPadduserfunction(slp, "hyp", 2, 2, 1, 0, reinterpret_cast<KSLPuserfunction>(hyp), nullptr, &hyp_id), 0);
    EXPECT_EQ(KSLPadduserfunction(slp, "<lambda>", 2, 1, 1, 0, reinterpret_cast<KSLPuserfunction>(twice), nullptr,
                                  &twice_id),
              0);
  }
  Ex formula(int row, int parsed) {
    double f;
    int n = 0;
    EXPECT_EQ(KSLPgetcoefformula(slp, row, -1000, &f, parsed, 0, &n, nullptr, nullptr), 0) << slp_error();
    Ex e;
    e.type.resize(n);
    e.value.resize(n);
    EXPECT_EQ(KSLPgetcoefformula(slp, row, -1000, &f, parsed, n, &n, e.type.data(), e.value.data()), 0);
    return e;
  }
  std::string text(int row) {
    int n = 0;
    EXPECT_EQ(KLVOnlpgetformulastr(prob, row, nullptr, 0, &n), 0) << error();
    std::string s(n, '\0');
    EXPECT_EQ(KLVOnlpgetformulastr(prob, row, &s[0], n, &n), 0);
    s.resize(n - 1);
    return s;
  }
  // The value of a formula given as text at the initial values.
  double value_of(const std::string &s) {
    EXPECT_EQ(KLVOnlpchgformulastr(prob, 3, s.c_str()), 0) << error();
    Ex e = formula(3, 1);
    double v = NAN;
    EXPECT_EQ(KSLPevaluateformula(slp, 1, e.type.data(), e.value.data(), &v), 0) << slp_error();
    return v;
  }
};

// A random formula over every operator and function, user functions and awkward constants.
struct Generator {
  std::mt19937 rng{12345};
  const TextProblem &p;
  explicit Generator(const TextProblem &tp) : p(tp) {}
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }
  Ex constant() {
    const double values[] = {0.5, 2, 3, -1.5, 1e-7, 0.1, 123456.789, -0.0, 1e300, -4};
    return C(values[pick(10)]);
  }
  Ex operator()(int depth) {
    if (depth == 0) return pick(2) ? X(pick(4)) : constant();
    switch (pick(8)) {
      case 0: return -(*this)(depth - 1);
      case 1:
      case 2: return apply((*this)(depth - 1), (*this)(depth - 1), 2 + pick(5));
      case 3: {
        const int one[] = {LOG10, LOG, EXP, ABS, SQRT, SIN, COS, TAN, ASIN, ACOS, ATAN, SIGN, ERF, ERFC};
        return fn(one[pick(14)], (*this)(depth - 1));
      }
      case 4: {
        const int many[] = {MIN, MAX, SUM, PROD};
        std::vector<Ex> args;
        for (int k = 1 + pick(3); k > 0; --k) args.push_back((*this)(depth - 1));
        return nary(12, many[pick(4)], args);
      }
      case 5:  // pushed last to first: y1 x1 y0 x0 argument
        return nary(12, PWL, {C(4), C(2), -C(1), C(-1), (*this)(depth - 1)});
      case 6: return nary(11, p.hyp_id, {(*this)(depth - 1), (*this)(depth - 1)});
      default: return nary(11, p.twice_id, {(*this)(depth - 1)});
    }
  }
};

TEST(NlpText, RandomFormulasPrintAndParseBackToTheSameTokens) {
  TextProblem p;
  Generator gen(p);
  const double one = 1.0;
  for (int trial = 0; trial < 300; ++trial) {
    Ex e = gen(1 + trial % 6).ended();
    ASSERT_EQ(KLVOnlpchgformula(p.prob, 0, 1, e.type.data(), e.value.data()), 0) << p.error();
    std::string text = p.text(0);
    ASSERT_EQ(KLVOnlpchgformulastr(p.prob, 1, text.c_str()), 0) << p.error() << "\n" << text;
    Ex back = p.formula(1, 1);
    ASSERT_EQ(back.type, e.type) << text;
    ASSERT_EQ(back.value.size(), e.value.size());
    for (size_t i = 0; i < e.value.size(); ++i)
      ASSERT_TRUE(back.value[i] == e.value[i] && std::signbit(back.value[i]) == std::signbit(e.value[i])) << text;
    // The written-order tokens of the same formula give it back too.
    Ex infix = p.formula(0, 0);
    ASSERT_EQ(KSLPchgcoef(p.slp, 2, -1000, &one, 0, infix.type.data(), infix.value.data()), 0) << p.slp_error();
    Ex again = p.formula(2, 1);
    ASSERT_EQ(again.type, e.type) << text;
    ASSERT_EQ(again.value, e.value) << text;
  }
}

TEST(NlpText, NamesPrecedenceAndSignsAsWritten) {
  TextProblem p;
  Ex e = (X(0) * X(1) + X(2) - X(3)).ended();
  ASSERT_EQ(KLVOnlpchgformula(p.prob, 0, 1, e.type.data(), e.value.data()), 0);
  EXPECT_EQ(p.text(0), "x * \"my var\" + C3 - C4");
  Ex u = (nary(11, p.twice_id, {X(0)}) + nary(11, p.hyp_id, {X(0), X(2)})).ended();  // hyp(C3, x)
  ASSERT_EQ(KLVOnlpchgformula(p.prob, 0, 1, u.type.data(), u.value.data()), 0);
  EXPECT_EQ(p.text(0), "\"<lambda>\"(x) + hyp(C3, x)");

  // At x = 2, "my var" = 3, C3 = 0.5, C4 = -1.
  int cols[] = {0, 1, 2, 3};
  double x0[] = {2, 3, 0.5, -1};
  ASSERT_EQ(KLVOnlpsetinitval(p.prob, 4, cols, x0), 0);
  EXPECT_DOUBLE_EQ(p.value_of("x - (\"my var\" - C3)"), 2 - (3 - 0.5));
  EXPECT_DOUBLE_EQ(p.value_of("x - \"my var\" - C3"), 2 - 3 - 0.5);
  EXPECT_DOUBLE_EQ(p.value_of("x ^ \"my var\" ^ C3"), std::pow(2, std::pow(3, 0.5)));
  EXPECT_DOUBLE_EQ(p.value_of("-x ^ 2"), -4);
  EXPECT_DOUBLE_EQ(p.value_of("-3^2"), -9);
  EXPECT_DOUBLE_EQ(p.value_of("(-3)^2"), 9);
  EXPECT_DOUBLE_EQ(p.value_of("x ** -1 * 8 / #1"), 8.0 / 2 / 3);
  EXPECT_DOUBLE_EQ(p.value_of("2 * -C4"), 2);
  EXPECT_DOUBLE_EQ(p.value_of("MAX(x, #1, C3) + pwl(C3, -1, 4, 2, 1)"), 3 + (4 - 3 * 1.5 / 3));
  EXPECT_DOUBLE_EQ(p.value_of("hyp(\"my var\", 4) + @2(x)"), 5 + 4);

  // The text form keeps the sign of a number apart from the negation of one.
  ASSERT_EQ(KLVOnlpchgformulastr(p.prob, 0, "-3 * x - -(3)"), 0);
  Ex hand = (C(-3) * X(0) - (-C(3))).ended();
  EXPECT_EQ(p.formula(0, 1).type, hand.type);
  EXPECT_EQ(p.formula(0, 1).value, hand.value);
}

TEST(NlpText, BadTextAndTokensChangeNothing) {
  TextProblem p;
  ASSERT_EQ(KLVOnlpchgformulastr(p.prob, 0, "x + 1"), 0);
  const char *bad[] = {"x + * 2", "sin(x, x)", "y + 1", "(x + 1", "x 2", "#9", "hyp(x)", "@7(x)", "\"x", "1e999"};
  for (const char *s : bad) {
    EXPECT_NE(KLVOnlpchgformulastr(p.prob, 0, s), 0) << s;
    EXPECT_NE(p.error().find("Invalid formula"), std::string::npos) << p.error();
    EXPECT_EQ(p.text(0), "x + 1") << s;
  }
  // Text that parses but breaks what any formula must satisfy: a user function by id with the
  // wrong number of arguments, pwl breakpoints that are no constants, an empty name.
  std::string by_id = "@" + std::to_string(p.hyp_id) + "(x)";
  for (const char *s : {by_id.c_str(), "pwl(x, x, 1, 2, 3)", "\"\"(x)"}) {
    EXPECT_NE(KLVOnlpchgformulastr(p.prob, 0, s), 0) << s;
    EXPECT_EQ(p.text(0), "x + 1") << s;
  }
  // Written-order tokens with an unclosed bracket; postfix tokens are not written order.
  Ex open = token(21, 0);
  open.append(X(0));
  open = open.ended();
  EXPECT_NE(KLVOnlpchgformula(p.prob, 0, 0, open.type.data(), open.value.data()), 0);
  Ex post = (X(0) + C(1)).ended();
  EXPECT_NE(KLVOnlpchgformula(p.prob, 0, 0, post.type.data(), post.value.data()), 0);
  EXPECT_EQ(p.text(0), "x + 1");
}

TEST(NlpText, SingleCoefficientChangesAndEvaluation) {
  TextProblem p;
  double three = 3, half = 0.5, v = 0;
  ASSERT_EQ(KLVOslpchgcoefstr(p.prob, 0, 1, &three, "x ^ 2"), 0) << p.error();
  int cols[] = {0, 1};
  double x0[] = {4, 5};
  ASSERT_EQ(KLVOnlpsetinitval(p.prob, 2, cols, x0), 0);
  ASSERT_EQ(KSLPevaluatecoef(p.slp, 0, 1, &v), 0);
  EXPECT_DOUBLE_EQ(v, 3 * 16);
  // A null formula keeps it, a null factor keeps the factor.
  ASSERT_EQ(KSLPchgccoef(p.slp, 0, 1, &half, nullptr), 0);
  ASSERT_EQ(KLVOslpchgcoefstr(p.prob, 0, 1, nullptr, "x + 1"), 0);
  char text[8];
  double f = 0;
  int n = 0;
  ASSERT_EQ(KLVOslpgetcoefstr(p.prob, 0, 1, &f, text, sizeof text, &n), 0);
  EXPECT_EQ(f, 0.5);
  EXPECT_STREQ(text, "x + 1");
  ASSERT_EQ(KSLPgetccoef(p.slp, 0, 1, &f, text, 3), 0);
  EXPECT_STREQ(text, "x ");
  ASSERT_EQ(KSLPevaluatecoef(p.slp, 0, 1, &v), 0);
  EXPECT_DOUBLE_EQ(v, 0.5 * 5);
  EXPECT_EQ(p.coefs(), 1);
  ASSERT_EQ(KLVOslpchgcoefstr(p.prob, 0, 1, nullptr, ""), 0);
  EXPECT_EQ(p.coefs(), 0);
  EXPECT_NE(KSLPchgccoef(p.slp, 0, 1, &half, nullptr), 0);  // nothing there to change the factor of
}

// min (x - 1)^2 + (y - 2)^2  s.t.  x + y <= 1,  x * y >= -5 (a formula row),  x <= 1.5.
struct SmallNlp : NlpProblem {
  SmallNlp() {
    columns(2, {-10, -10}, {1.5, 10});
    row('L', 1, nullptr, {{0, 1}, {1, 1}});
    Ex xy = X(0) * X(1);
    row('G', -5, &xy);
    objective(pow(X(0) - 1.0, 2.0) + pow(X(1) - 2.0, 2.0));
  }
};

TEST(NlpValidate, VectorViolationsAndObjectiveByHand) {
  SmallNlp p;
  double x[] = {2, -3}, suminf = 0, scaled = 0, obj = 0;
  ASSERT_EQ(KSLPvalidatevector(p.slp, x, &suminf, &scaled, &obj), 0) << p.slp_error();
  // Row 0: -1 <= 1 holds. Row 1: -6 >= -5 misses by 1 (scale 5). Bound x <= 1.5 misses by 0.5.
  EXPECT_DOUBLE_EQ(suminf, 1 + 0.5);
  EXPECT_DOUBLE_EQ(scaled, 1.0 / 5 + 0.5 / 1.5);
  EXPECT_DOUBLE_EQ(obj, 1 + 25);
  double slacks[2] = {0, 0}, value = 0;
  ASSERT_EQ(KLVOcalcslacks(p.prob, x, slacks), 0) << p.error();
  EXPECT_DOUBLE_EQ(slacks[0], 1 - (-1));
  EXPECT_DOUBLE_EQ(slacks[1], -5 - (-6));
  ASSERT_EQ(KLVOcalcobjective(p.prob, x, &value), 0);
  EXPECT_DOUBLE_EQ(value, 26);
  EXPECT_NE(KSLPvalidatevector(p.slp, nullptr, &suminf, nullptr, nullptr), 0);
}

#ifdef KLVO_HAVE_IPOPT
TEST(NlpValidate, KktResidualsOfASolutionAndRecomputedReducedCosts) {
  SmallNlp p;
  ASSERT_EQ(p.optimize(), 1);
  // Optimum (0, 1): x + y <= 1 binds with dual -2 (d objective / d rhs), no bound is active.
  std::vector<double> x = p.x();
  EXPECT_NEAR(x[0], 0, 1e-6);
  EXPECT_NEAR(x[1], 1, 1e-6);
  ASSERT_EQ(KSLPvalidate(p.slp), 0) << p.slp_error();
  int status = 0;
  double kkt = 1;
  ASSERT_EQ(KSLPgetintattrib(p.slp, 12194, &status), 0);
  EXPECT_EQ(status & 3, 1);
  ASSERT_EQ(KSLPvalidatekkt(p.slp, 0, 0, 0, 1e-5), 0) << p.slp_error();
  ASSERT_EQ(KSLPgetdblattrib(p.slp, 12193, &kkt), 0);
  EXPECT_LT(kkt, 1e-5);
  ASSERT_EQ(KSLPgetintattrib(p.slp, 12194, &status), 0);
  EXPECT_EQ(status & 12, 4);
  // The same point and multipliers against a changed model: moving the binding row's rhs to
  // 1.25 leaves the dual -2 on a row 0.25 from its bound (complementarity 0.5); a linear
  // objective term x breaks stationarity by exactly 1.
  int row0 = 0, col0 = 0;
  double rhs = 1.25, one = 1.0;
  ASSERT_EQ(KLVOchgrhs(p.prob, 1, &row0, &rhs), 0);
  ASSERT_EQ(KSLPvalidatekkt(p.slp, 0, 0, 0, 1e-5), 0) << p.slp_error();
  ASSERT_EQ(KSLPgetdblattrib(p.slp, 12193, &kkt), 0);
  EXPECT_NEAR(kkt, 0.5, 1e-6);
  ASSERT_EQ(KSLPgetintattrib(p.slp, 12194, &status), 0);
  EXPECT_EQ(status & 12, 12);
  ASSERT_EQ(KLVOchgobj(p.prob, 1, &col0, &one), 0);
  ASSERT_EQ(KSLPvalidatekkt(p.slp, 0, 0, 0, 1e-5), 0) << p.slp_error();
  ASSERT_EQ(KSLPgetdblattrib(p.slp, 12193, &kkt), 0);
  EXPECT_NEAR(kkt, 1.0, 1e-6);

  // An active column bound: min (x - 3)^2 with x <= 1.5 has the reduced cost f'(1.5) = -3.
  NlpProblem q;
  q.columns(1, {-10}, {1.5});
  q.objective(pow(X(0) - 3.0, 2.0));
  ASSERT_EQ(KLVOnlpoptimize(q.prob, nullptr), 0);
  double dj = 0;
  ASSERT_EQ(KSLPvalidatekkt(q.slp, 1, 0, 1, 0), 0) << q.slp_error();
  ASSERT_EQ(KSLPgetslpsol(q.slp, nullptr, nullptr, nullptr, &dj), 0);
  EXPECT_NEAR(dj, -3, 1e-6);
  EXPECT_NE(KSLPvalidatekkt(q.slp, 2, 0, 0, 0), 0);
}
#endif

}  // namespace
