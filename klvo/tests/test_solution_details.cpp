// Rays, infeasibilities, solution measures, the barrier solution and crossover, checked against
// results worked out by hand.
#include "test_support.h"

using namespace klvo_test;

namespace {

class SolutionDetailsTest : public ProblemTest {};

// x + y <= 1 and x + y >= 3 with x, y >= 0: no point satisfies both.
DenseModel infeasible_lp() {
  DenseModel m;
  m.obj = {1, 1};
  m.rowtype = {'L', 'G'};
  m.rhs = {1, 3};
  m.rows = {{1, 1}, {1, 1}};
  return m;
}

// How far a dual ray y proves the model read back infeasible: the smallest value y'Ax can take
// on points satisfying the rows (each row at the end its multiplier's sign points to) minus the
// largest over the column bounds. Positive for a certificate; -inf for a multiplier of the
// wrong sign or a column term without the bound it needs.
double certificate_gap(const Snapshot &s, const std::vector<double> &y) {
  double rows = 0;
  for (int i = 0; i < s.nrows; ++i) {
    if (std::fabs(y[i]) < 1e-12) continue;
    char t = s.rowtype[i];
    double upper = s.rhs[i], lower = t == 'R' ? s.rhs[i] - std::fabs(s.range[i]) : s.rhs[i];
    bool has_upper = t == 'L' || t == 'E' || t == 'R', has_lower = t == 'G' || t == 'E' || t == 'R';
    if (y[i] > 0 && !has_lower) return -INFINITY;
    if (y[i] < 0 && !has_upper) return -INFINITY;
    rows += y[i] * (y[i] > 0 ? lower : upper);
  }
  std::vector<double> g(s.ncols, 0.0);
  for (const auto &[ij, a] : s.matrix) g[ij.second] += y[ij.first] * a;
  double cols = 0;
  for (int j = 0; j < s.ncols; ++j) {
    if (std::fabs(g[j]) < 1e-9) continue;
    double bound = g[j] > 0 ? s.ub[j] : s.lb[j];
    if (std::fabs(bound) >= kInf) return -INFINITY;
    cols += g[j] * bound;
  }
  return rows - cols;
}

}  // namespace

// The dual ray of a published infeasible LP and of a small one (with presolve on and off) proves
// the model read back infeasible; the reversed ray proves nothing.
TEST_F(SolutionDetailsTest, DualRayOfAnInfeasibleLpIsAFarkasCertificate) {
  for (int run = 0; run < 3; ++run) {
    SCOPED_TRACE(run);
    if (run == 0) {
      read_instance(prob, "woodinfe.mps");
    } else {
      load(prob, infeasible_lp());
      ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_PRESOLVE, run == 1 ? 1 : 0), 0);
    }
    ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_INFEASIBLE);
    EXPECT_EQ(int_attr(prob, KLVO_ATTR_LPSTATUS), KLVO_LP_INFEAS);
    EXPECT_EQ(int_attr(prob, KLVO_ATTR_SOLVESTATUS), KLVO_SOLVESTATUS_COMPLETED);
    vec(prob, KLVOgetsolution, ncols(prob), KLVO_SOLSTATUS_NOTFOUND);
    int has = -1;
    ASSERT_EQ(KLVOgetdualray(prob, nullptr, &has), 0);
    ASSERT_EQ(has, 1);
    std::vector<double> y(nrows(prob), 0.0);
    ASSERT_EQ(KLVOgetdualray(prob, y.data(), &has), 0);
    Snapshot model = snapshot(prob);
    EXPECT_GT(certificate_gap(model, y), 1e-6);
    for (double &v : y) v = -v;
    EXPECT_LE(certificate_gap(model, y), 0);
    int primal = -1;
    ASSERT_EQ(KLVOgetprimalray(prob, nullptr, &primal), 0);
    EXPECT_EQ(primal, 0);
    // A changed model no longer has the ray of the solve.
    double rhs = 5;
    int row = 0;
    ASSERT_EQ(KLVOchgrhs(prob, 1, &row, &rhs), 0);
    ASSERT_EQ(KLVOgetdualray(prob, nullptr, &has), 0);
    EXPECT_EQ(has, 0);
  }
}

// The minimising form with presolve, the maximising one without.
TEST_F(SolutionDetailsTest, PrimalRayOfAnUnboundedLpImprovesWithinTheRecessionCone) {
  for (int sense : {1, -1}) {
    SCOPED_TRACE(sense);
    // min -x - 2y (or max x + 2y) with x - y <= 1, x >= -3 as a row, x, y >= 0.
    DenseModel m;
    m.obj = {-1.0 * sense, -2.0 * sense};
    m.rowtype = {'L', 'G'};
    m.rhs = {1, -3};
    m.rows = {{1, -1}, {1, 0}};
    m.sense = sense;
    load(prob, m);
    ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_PRESOLVE, sense > 0 ? 1 : 0), 0);
    ASSERT_EQ(solve(prob, "p"), KLVO_SOLSTATUS_UNBOUNDED);
    EXPECT_EQ(int_attr(prob, KLVO_ATTR_LPSTATUS), KLVO_LP_UNBOUNDED);
    vec(prob, KLVOgetsolution, 2, KLVO_SOLSTATUS_NOTFOUND);
    std::vector<double> d(2, 0.0);
    int has = 0;
    ASSERT_EQ(KLVOgetprimalray(prob, d.data(), &has), 0);
    ASSERT_EQ(has, 1);
    // Within the bounds' and rows' recession cone, and improving in the problem's sense.
    EXPECT_GE(d[0], -1e-9);
    EXPECT_GE(d[1], -1e-9);
    EXPECT_LE(d[0] - d[1], 1e-9);
    EXPECT_LT(sense * (m.obj[0] * d[0] + m.obj[1] * d[1]), -1e-9);
    // The entering variable moves along the ray: a column with a nonzero entry, or a row whose
    // activity changes.
    int seq = -2;
    ASSERT_EQ(KLVOgetunbvec(prob, &seq), 0);
    ASSERT_GE(seq, 0);
    if (seq >= 2) EXPECT_GT(std::fabs(d[seq - 2]), 1e-9);
    else EXPECT_GT(std::fabs(m.rows[seq][0] * d[0] + m.rows[seq][1] * d[1]), 1e-9);
  }
  // An infeasible LP has no unbounded direction.
  ASSERT_EQ(KLVOsetdefaultcontrol(prob, KLVO_CONTROL_PRESOLVE), 0);
  load(prob, infeasible_lp());
  ASSERT_EQ(solve(prob, "p"), KLVO_SOLSTATUS_INFEASIBLE);
  int seq = 0;
  ASSERT_EQ(KLVOgetunbvec(prob, &seq), 0);
  EXPECT_EQ(seq, -1);
}

TEST_F(SolutionDetailsTest, InfeasibilitiesAndMeasuresOfAGivenPoint) {
  // max 3x + 2y with x + y <= 4, x + 3y <= 6, 0 <= x <= 5, y >= 0: optimum (4, 0), duals
  // (3, 0), reduced cost of y 2 - 3 = -1.
  DenseModel m;
  m.obj = {3, 2};
  m.ub = {5, kInf};
  m.rowtype = {'L', 'L'};
  m.rhs = {4, 6};
  m.rows = {{1, 1}, {1, 3}};
  m.sense = -1;
  load(prob, m);
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  int counts[4] = {-1, -1, -1, -1};
  ASSERT_EQ(KLVOgetinfeas(prob, &counts[0], &counts[1], &counts[2], &counts[3], nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(std::vector<int>(counts, counts + 4), std::vector<int>(4, 0));

  // (4.5, 0.5) leaves row 0 by 1 (5 > 4); relative to 1 + 4.
  double x[2] = {4.5, 0.5};
  double value = -1;
  ASSERT_EQ(KLVOcalcsolinfo(prob, x, nullptr, KLVO_SOLINFO_ABSPRIMALINFEAS, &value), 0);
  EXPECT_NEAR(value, 1.0, 1e-12);
  ASSERT_EQ(KLVOcalcsolinfo(prob, x, nullptr, KLVO_SOLINFO_RELPRIMALINFEAS, &value), 0);
  EXPECT_NEAR(value, 0.2, 1e-12);
  // Duals (-1, 0) in a maximisation: row 0 wants a dual >= 0 (off by 1); they give y the
  // reduced cost 2 + 1 = 3, which wants to be <= 0 as y has no upper bound (off by 3).
  double duals[2] = {-1.0, 0.0};
  ASSERT_EQ(KLVOcalcsolinfo(prob, x, duals, KLVO_SOLINFO_ABSDUALINFEAS, &value), 0);
  EXPECT_NEAR(value, 3.0, 1e-12);
  ASSERT_EQ(KLVOcalcsolinfo(prob, nullptr, nullptr, KLVO_SOLINFO_ABSDUALINFEAS, &value), 0);
  EXPECT_NEAR(value, 0.0, 1e-9);
  double objval = 0;
  ASSERT_EQ(KLVOcalcobjn(prob, 0, x, &objval), 0);
  EXPECT_DOUBLE_EQ(objval, 14.5);
  EXPECT_NE(KLVOcalcobjn(prob, 1, x, &objval), 0);
  EXPECT_NE(KLVOcalcsolinfo(prob, x, nullptr, 17, &value), 0);

  // The stored solution judged against a changed model: x's bound now 3, row 0 a >= row (its
  // dual 3, positive in a maximisation, has the wrong sign for that), row 1's rhs 3 < 4.
  double ub = 3, rhs = 3;
  int col = 0, row = 0;
  char type = 'U', g = 'G';
  ASSERT_EQ(KLVOchgbounds(prob, 1, &col, &type, &ub), 0);
  ASSERT_EQ(KLVOchgrowtype(prob, 1, &row, &g), 0);
  row = 1;
  ASSERT_EQ(KLVOchgrhs(prob, 1, &row, &rhs), 0);
  int mx[2], mslack[2], mdual[2], mdj[2];
  ASSERT_EQ(KLVOgetinfeas(prob, &counts[0], &counts[1], &counts[2], &counts[3], mx, mslack, mdual, mdj), 0);
  ASSERT_EQ(std::vector<int>(counts, counts + 4), (std::vector<int>{1, 1, 1, 0}));
  EXPECT_EQ(mx[0], 0);
  EXPECT_EQ(mslack[0], 1);
  EXPECT_EQ(mdual[0], 0);
}

TEST_F(SolutionDetailsTest, BarrierSolutionIsKeptAndCrossoverMakesItBasic) {
  DenseModel m = multi_knapsack(8, 30, 3);
  m.coltype.clear();
  m.ub.assign(30, 1.0);
  load(prob, m);
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_PRESOLVE, 0), 0);
  ASSERT_EQ(solve(prob, "d"), KLVO_SOLSTATUS_OPTIMAL);
  double optimum = dbl_attr(prob, KLVO_ATTR_LPOBJVAL);
  int status = -1;
  ASSERT_EQ(KLVOgetlastbarsol(prob, nullptr, nullptr, nullptr, nullptr, &status), 0);
  EXPECT_EQ(status, KLVO_LP_UNSTARTED);
  int cross = -1;
  ASSERT_EQ(KLVOcrossoverlpsol(prob, &cross), 0);
  EXPECT_EQ(cross, 1);

  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_CROSSOVER, KLVO_ANA_NEVER), 0);
  ASSERT_EQ(solve(prob, "b"), KLVO_SOLSTATUS_OPTIMAL);
  std::vector<double> bx(30), sol(30);
  ASSERT_EQ(KLVOgetlastbarsol(prob, bx.data(), nullptr, nullptr, nullptr, &status), 0);
  EXPECT_EQ(status, KLVO_LP_OPTIMAL);
  ASSERT_EQ(KLVOgetlpsol(prob, sol.data(), nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(bx, sol);  // without crossover the barrier solution is the solution
  // An interior point: at an optimal face of several vertices some columns sit strictly
  // inside their bounds; after crossover at most `rows` of them may.
  ASSERT_EQ(KLVOcrossoverlpsol(prob, &cross), 0);
  ASSERT_EQ(cross, 0);
  EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_LPOBJVAL), optimum, 1e-6 * std::fabs(optimum));
  expect_lp_optimal(prob);
  ASSERT_EQ(KLVOgetlpsol(prob, sol.data(), nullptr, nullptr, nullptr), 0);
  int inside = 0;
  for (double v : sol) inside += v > 1e-7 && v < 1 - 1e-7;
  EXPECT_LE(inside, 8);
  // The barrier solution outlives crossover but not a change of the model.
  ASSERT_EQ(KLVOgetlastbarsol(prob, nullptr, nullptr, nullptr, nullptr, &status), 0);
  EXPECT_EQ(status, KLVO_LP_OPTIMAL);
  int col = 0;
  char type = 'U';
  double ub = 0.5;
  ASSERT_EQ(KLVOchgbounds(prob, 1, &col, &type, &ub), 0);
  ASSERT_EQ(KLVOgetlastbarsol(prob, nullptr, nullptr, nullptr, nullptr, &status), 0);
  EXPECT_EQ(status, KLVO_LP_UNSTARTED);
}

TEST_F(SolutionDetailsTest, CallbackPresolveValuesAreRefusedOutsideACallback) {
  load(prob, infeasible_lp());
  double v[2];
  int status;
  EXPECT_EQ(KLVOgetcallbackpresolvesolution(prob, &status, v, 0, 1), KLVO_ERR_NO_SOLUTION);
  EXPECT_NE(error().find("only available inside a callback"), std::string::npos);
  EXPECT_EQ(KLVOgetcallbackpresolveduals(prob, &status, v, 0, 1), KLVO_ERR_NO_SOLUTION);
}
