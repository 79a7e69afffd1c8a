// Solving textbook LPs, MILPs and a convex QP whose optima are known by hand or by exhaustive
// search, with the sign conventions of duals, reduced costs and slacks.
#include <algorithm>
#include <cmath>

#include "test_support.h"

using namespace klvo_test;

namespace {

// max 3x + 5y  s.t.  x <= 4,  2y <= 12,  3x + 2y <= 18  (optimum x = 2, y = 6, value 36).
DenseModel production() {
  DenseModel m;
  m.obj = {3, 5};
  m.rowtype = {'L', 'L', 'L'};
  m.rhs = {4, 12, 18};
  m.rows = {{1, 0}, {0, 2}, {3, 2}};
  m.sense = -1;
  return m;
}

// Diet: min 2x + 3y  s.t.  x + 2y >= 4,  3x + y >= 6  (optimum x = 1.6, y = 1.2, value 6.8;
// the duals solve y1 + 3 y2 = 2, 2 y1 + y2 = 3: y = (1.4, 0.2)).
DenseModel diet() {
  DenseModel m;
  m.obj = {2, 3};
  m.rowtype = {'G', 'G'};
  m.rhs = {4, 6};
  m.rows = {{1, 2}, {3, 1}};
  return m;
}

// Each dual predicts the change of the optimum per unit of its row's right-hand side.
void expect_duals_match_finite_differences(KLVOprob solved, const DenseModel &m) {
  const double h = 1e-3, base = dbl_attr(solved, KLVO_ATTR_LPOBJVAL);
  auto y = vec(solved, KLVOgetduals, static_cast<int>(m.rhs.size()), KLVO_SOLSTATUS_OPTIMAL);
  for (size_t i = 0; i < m.rhs.size(); ++i) {
    DenseModel shifted = m;
    shifted.rhs[i] += h;
    KLVOprob p = nullptr;
    ASSERT_EQ(KLVOcreateprob(&p), 0);
    load(p, shifted);
    EXPECT_EQ(solve(p), KLVO_SOLSTATUS_OPTIMAL);
    EXPECT_NEAR((dbl_attr(p, KLVO_ATTR_LPOBJVAL) - base) / h, y[i], 1e-6) << "row " << i;
    EXPECT_EQ(KLVOdestroyprob(p), 0);
  }
}

using SolveTest = ProblemTest;

}  // namespace

TEST_F(SolveTest, ProductionPlanningMaximisesWithEveryAlgorithm) {
  DenseModel m = production();
  load(prob, m);
  for (const char *flags : {"", "p", "d", "b"}) {
    SCOPED_TRACE(flags);
    ASSERT_EQ(solve(prob, flags), KLVO_SOLSTATUS_OPTIMAL);
    EXPECT_EQ(int_attr(prob, KLVO_ATTR_LPSTATUS), KLVO_LP_OPTIMAL);
    EXPECT_EQ(int_attr(prob, KLVO_ATTR_SOLVESTATUS), KLVO_SOLVESTATUS_COMPLETED);
    expect_near(solution(prob), {2, 6}, 1e-7);
    EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_LPOBJVAL), 36.0, 1e-7);
    EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_OBJVAL), 36.0, 1e-7);
    // Raising rhs 2 by one unit gains 1.5, rhs 3 gains 1; rhs 1 is not binding.
    expect_near(vec(prob, KLVOgetduals, 3, KLVO_SOLSTATUS_OPTIMAL), {0, 1.5, 1}, 1e-7);
    expect_lp_optimal(prob);
  }
  expect_duals_match_finite_differences(prob, m);
}

TEST_F(SolveTest, DietOptimumAndDualsMatchTheHandSolution) {
  DenseModel m = diet();
  load(prob, m);
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  expect_near(solution(prob), {1.6, 1.2}, 1e-7);
  EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_LPOBJVAL), 6.8, 1e-7);
  expect_near(vec(prob, KLVOgetduals, 2, KLVO_SOLSTATUS_OPTIMAL), {1.4, 0.2}, 1e-7);
  expect_lp_optimal(prob);
  expect_duals_match_finite_differences(prob, m);
}

TEST_F(SolveTest, RangeRowsEqualitiesAndBoundedColumnsKeepTheConventions) {
  // min -x - 2y + z/2  s.t.  1 <= x + y <= 3 (range),  x - z = 0.5,  y <= 2 (bound), z free.
  DenseModel m;
  m.obj = {-1, -2, 0.5};
  m.lb = {0, 0, -kInf};
  m.ub = {kInf, 2, kInf};
  m.rowtype = {'R', 'E'};
  m.rhs = {3, 0.5};
  m.range = {2, 0};
  m.rows = {{1, 1, 0}, {1, 0, -1}};
  m.constant = 10;
  load(prob, m);
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  // With z = x - 0.5 the objective is -x/2 - 2y - 1/4 + 10: y = 2 at its bound and x = 1
  // fills the range row, value 5.25.
  expect_near(solution(prob), {1, 2, 0.5}, 1e-7);
  EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_LPOBJVAL), 5.25, 1e-7);
  expect_lp_optimal(prob);
  expect_duals_match_finite_differences(prob, m);
}

TEST_F(SolveTest, KnapsacksMatchExhaustiveSearch) {
  const int rows = 3, n = 12;
  for (unsigned seed = 1; seed <= 4; ++seed) {
    SCOPED_TRACE(seed);
    DenseModel m = multi_knapsack(rows, n, seed);
    const double best = enumerate_binary_max(m);
    load(prob, m);
    ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
    EXPECT_EQ(int_attr(prob, KLVO_ATTR_MIPSTATUS), KLVO_MIP_OPTIMAL);
    EXPECT_EQ(int_attr(prob, KLVO_ATTR_OPTIMIZETYPE), KLVO_OPTTYPE_MIP);
    EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_MIPOBJVAL), best, 1e-6);
    EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_OBJVAL), best, 1e-6);
    auto x = solution(prob);
    auto slack = vec(prob, KLVOgetslacks, rows, KLVO_SOLSTATUS_OPTIMAL);
    for (int i = 0; i < rows; ++i) {
      double w = 0;
      for (int j = 0; j < n; ++j) w += m.rows[i][j] * x[j];
      EXPECT_NEAR(slack[i], m.rhs[i] - w, 1e-6);
      EXPECT_GE(slack[i], -1e-6);
    }
    for (double v : x) EXPECT_NEAR(v, std::round(v), 1e-6);
    std::vector<double> mipx(n);
    ASSERT_EQ(KLVOgetmipsol(prob, mipx.data(), nullptr), 0);
    EXPECT_EQ(mipx, x);
    // An integer solution has no duals.
    int status = -1;
    std::vector<double> y(rows);
    ASSERT_EQ(KLVOgetduals(prob, &status, y.data(), 0, rows - 1), 0);
    EXPECT_EQ(status, KLVO_SOLSTATUS_NOTFOUND);

    // The continuous relaxation is at least as good, and reports duals; then the integer
    // solve again, on the same engine.
    ASSERT_EQ(KLVOlpoptimize(prob, ""), 0);
    EXPECT_EQ(int_attr(prob, KLVO_ATTR_LPSTATUS), KLVO_LP_OPTIMAL);
    EXPECT_EQ(int_attr(prob, KLVO_ATTR_MIPSTATUS), KLVO_MIP_LP_OPTIMAL);
    EXPECT_GE(dbl_attr(prob, KLVO_ATTR_LPOBJVAL), best - 1e-9);
    vec(prob, KLVOgetduals, rows, KLVO_SOLSTATUS_OPTIMAL);
    EXPECT_NE(KLVOgetmipsol(prob, mipx.data(), nullptr), 0);
    ASSERT_EQ(KLVOmipoptimize(prob, ""), 0);
    EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_MIPOBJVAL), best, 1e-6);
  }
}

TEST_F(SolveTest, ConvexQpReachesTheClosedFormOptimum) {
  // min (x - 1)^2 + (y - 2)^2 = x^2 + y^2 - 2x - 4y + 5  s.t.  x + y = 1, x, y free.
  // The projection of (1, 2) on the line is (0, 1), value 2; the optimum as a function of the
  // rhs b is (3 - b)^2 / 2, so the dual is -(3 - 1) = -2.
  const double obj[2] = {-2, -4}, lb[2] = {-kInf, -kInf}, ub[2] = {kInf, kInf};
  const char rowtype[1] = {'E'};
  const double rhs[1] = {1};
  const int64_t start[3] = {0, 1, 2};
  const int rowind[2] = {0, 0};
  const double coef[2] = {1, 1};
  const int q1[2] = {0, 1}, q2[2] = {0, 1};
  const double qv[2] = {2, 2};  // the squares x^2 and y^2
  ASSERT_EQ(KLVOloadqp64(prob, "qp", 2, 1, rowtype, rhs, nullptr, obj, start, nullptr, rowind, coef, lb, ub, 2,
                         q1, q2, qv),
            0);
  int minus_one = -1;
  double minus_five = -5;
  ASSERT_EQ(KLVOchgobj(prob, 1, &minus_one, &minus_five), 0);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_QELEMS), 2);
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  auto x = solution(prob);
  expect_near(x, {0, 1}, 1e-5);
  EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_OBJVAL), 2.0, 1e-6);
  auto y = vec(prob, KLVOgetduals, 1, KLVO_SOLSTATUS_OPTIMAL);
  EXPECT_NEAR(y[0], -2.0, 1e-5);
  // Reduced costs include the quadratic gradient: c + Qx - A'y = 0 for free columns.
  auto d = vec(prob, KLVOgetredcosts, 2, KLVO_SOLSTATUS_OPTIMAL);
  std::vector<double> calc(2);
  ASSERT_EQ(KLVOcalcreducedcosts(prob, y.data(), x.data(), calc.data()), 0);
  for (int j = 0; j < 2; ++j) {
    EXPECT_NEAR(d[j], 0.0, 1e-5);
    EXPECT_NEAR(calc[j], 0.0, 1e-5);
  }
  double objval = 0;
  ASSERT_EQ(KLVOcalcobjective(prob, nullptr, &objval), 0);
  EXPECT_NEAR(objval, 2.0, 1e-6);
}

TEST_F(SolveTest, SemiContinuousColumnsAreSolvedByTheEngine) {
  // min -5x + 3z  s.t.  x <= z,  x <= 1.5,  z semi-continuous: 0 or in [2, 5].
  // z = 0 forces x = 0 (value 0); z = 2 allows x = 1.5 (value -7.5 + 6 = -1.5).
  DenseModel m;
  m.obj = {-5, 3};
  m.ub = {1.5, 5};
  m.rowtype = {'L'};
  m.rhs = {0};
  m.rows = {{1, -1}};
  m.coltype = {'C', 'S'};
  load(prob, m);
  int col = 1;
  double threshold = 2;
  ASSERT_EQ(KLVOchgglblimit(prob, 1, &col, &threshold), 0);
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  expect_near(solution(prob), {1.5, 2}, 1e-5);
  EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_MIPOBJVAL), -1.5, 1e-5);
  // With z at 6 per unit, z = 2 costs more than x gains: z = 0, which a plain lower bound of 2
  // would not allow.
  double obj = 6;
  ASSERT_EQ(KLVOchgobj(prob, 1, &col, &obj), 0);
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  EXPECT_NEAR(solution(prob)[1], 0.0, 1e-6);
  EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_MIPOBJVAL), 0.0, 1e-6);
}

TEST_F(SolveTest, SolutionGettersHonourRangesAndModelChanges) {
  load(prob, production());
  int status = -1;
  double x[2] = {-1, -1};
  // Before any solve nothing is available.
  ASSERT_EQ(KLVOgetsolution(prob, &status, x, 0, 1), 0);
  EXPECT_EQ(status, KLVO_SOLSTATUS_NOTFOUND);
  EXPECT_EQ(x[0], -1);
  EXPECT_NE(KLVOgetlpsol(prob, x, nullptr, nullptr, nullptr), 0);
  double objval;
  EXPECT_EQ(KLVOcalcobjective(prob, nullptr, &objval), KLVO_ERR_NO_SOLUTION);
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  // A sub-range, and ranges outside the model.
  ASSERT_EQ(KLVOgetsolution(prob, &status, x, 1, 1), 0);
  EXPECT_EQ(status, KLVO_SOLSTATUS_OPTIMAL);
  EXPECT_NEAR(x[0], 6.0, 1e-7);
  EXPECT_EQ(KLVOgetsolution(prob, &status, x, 0, 2), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(KLVOgetduals(prob, &status, x, -1, 0), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_NE(error().find("KLVOgetduals"), std::string::npos);
  double lpx[2], slack[3], duals[3], djs[2];
  ASSERT_EQ(KLVOgetlpsol(prob, lpx, slack, duals, djs), 0);
  EXPECT_NEAR(lpx[0], 2.0, 1e-7);
  EXPECT_NEAR(slack[0], 2.0, 1e-7);
  EXPECT_NEAR(duals[2], 1.0, 1e-7);
  EXPECT_EQ(KLVOgetmipsol(prob, lpx, nullptr), KLVO_ERR_NO_SOLUTION);
  // No callback is running: the callback getters find nothing and write nothing, but check ranges.
  for (auto getter : {KLVOgetcallbacksolution, KLVOgetcallbackredcosts}) {
    status = 99;
    x[0] = -7;
    ASSERT_EQ(getter(prob, &status, x, 0, 1), 0);
    EXPECT_EQ(status, KLVO_SOLSTATUS_NOTFOUND);
    EXPECT_EQ(x[0], -7);
    EXPECT_EQ(getter(prob, &status, x, 0, 2), KLVO_ERR_INVALID_ARGUMENT);
  }
  for (auto getter : {KLVOgetcallbackduals, KLVOgetcallbackslacks}) {
    status = 99;
    ASSERT_EQ(getter(prob, &status, slack, 0, 2), 0);
    EXPECT_EQ(status, KLVO_SOLSTATUS_NOTFOUND);
    EXPECT_EQ(getter(prob, &status, slack, 1, 3), KLVO_ERR_INVALID_ARGUMENT);
  }
  EXPECT_NE(error().find("KLVOgetcallbackslacks"), std::string::npos);
  // Adding a column makes the old solution no longer match the model.
  double zero = 0;
  ASSERT_EQ(KLVOaddcols(prob, 1, 0, &zero, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  double x3[3];
  ASSERT_EQ(KLVOgetsolution(prob, &status, x3, 0, 2), 0);
  EXPECT_EQ(status, KLVO_SOLSTATUS_NOTFOUND);
}

TEST_F(SolveTest, EmptyProblemSolvesToItsConstantAndUnknownFlagIsRefused) {
  DenseModel m;
  m.constant = 2.5;
  load(prob, m);
  EXPECT_EQ(KLVOoptimize(prob, "q", nullptr, nullptr), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_NE(error().find("'q'"), std::string::npos);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_SOLVESTATUS), KLVO_SOLVESTATUS_UNSTARTED);
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_OBJVAL), 2.5, 1e-12);
}
