// The user-facing controls change what the engine does.
#include <cmath>
#include <mutex>
#include <random>
#include <string>

#include "test_support.h"

using namespace klvo_test;

namespace {

// x + y >= 2 and x + y <= 2 - 5e-6: infeasible by less than a loose tolerance.
DenseModel nearly_feasible() {
  DenseModel m;
  m.obj = {1, 1};
  m.rowtype = {'G', 'L'};
  m.rhs = {2, 2 - 5e-6};
  m.rows = {{1, 1}, {1, 1}};
  return m;
}

// Three items, capacity 10: the best value is 20 (items 2 and 3).
DenseModel small_knapsack(int sense) {
  DenseModel m;
  m.obj = {10, 13, 7};
  if (sense > 0)
    for (double &c : m.obj) c = -c;
  m.rowtype = {'L'};
  m.rhs = {10};
  m.rows = {{5, 6, 4}};
  m.coltype = {'B', 'B', 'B'};
  m.sense = sense;
  return m;
}

class ControlsTest : public ProblemTest {
 protected:
  // A new problem holding m under prob's controls: no basis or incumbent carries over.
  KLVOprob with(const DenseModel &m) {
    KLVOprob p = fresh();
    EXPECT_EQ(KLVOcopycontrols(p, prob), 0);
    load(p, m);
    return p;
  }
};

}  // namespace

TEST_F(ControlsTest, FeasibilityToleranceDecidesNearlyFeasibleRowsWithOrWithoutPresolve) {
  std::vector<std::string> log;
  ASSERT_EQ(KLVOaddcbmessage(prob, keep_lines, &log, 0), 0);
  load(prob, nearly_feasible());
  EXPECT_EQ(solve(prob), KLVO_SOLSTATUS_INFEASIBLE);
  ASSERT_EQ(KLVOsetdblcontrol(prob, KLVO_CONTROL_FEASTOL, 1e-4), 0);
  for (int presolve : {KLVO_PRESOLVE_DEFAULT, KLVO_PRESOLVE_NONE}) {
    log.clear();
    ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_PRESOLVE, presolve), 0);
    load(prob, nearly_feasible());  // a fresh model, so no basis is reused
    ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
    EXPECT_EQ(any_contains(log, "Presolving model"), presolve != KLVO_PRESOLVE_NONE);
  }
}

TEST_F(ControlsTest, AlgorithmFollowsFlagsThenLpFlagsThenDefaultAlg) {
  DenseModel m = multi_knapsack(8, 30, 3);
  m.coltype.clear();
  m.ub.assign(30, 1.0);
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_OUTPUTLOG, KLVO_OUTPUT_NONE), 0);
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_PRESOLVE, KLVO_PRESOLVE_NONE), 0);
  double value = 0;
  auto run = [&](const char *flags, int *simplex, int *barrier) {
    KLVOprob p = with(m);
    ASSERT_EQ(solve(p, flags), KLVO_SOLSTATUS_OPTIMAL);
    *simplex = int_attr(p, KLVO_ATTR_SIMPLEXITER);
    *barrier = int_attr(p, KLVO_ATTR_BARITER);
    value = dbl_attr(p, KLVO_ATTR_LPOBJVAL);
  };
  int simplex = 0, barrier = 0;
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_DEFAULTALG, KLVO_ALG_BARRIER), 0);
  run("", &simplex, &barrier);
  EXPECT_GT(barrier, 0);
  double barrier_value = value;
  run("d", &simplex, &barrier);
  EXPECT_EQ(barrier, 0);
  EXPECT_GT(simplex, 0);
  EXPECT_NEAR(value, barrier_value, 1e-6);
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_LPFLAGS, KLVO_LPFLAGS_PRIMAL), 0);
  run("", &simplex, &barrier);
  EXPECT_EQ(barrier, 0);
  ASSERT_EQ(KLVOsetdefaultcontrol(prob, KLVO_CONTROL_LPFLAGS), 0);
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_DEFAULTALG, KLVO_ALG_DUAL), 0);
  run("b", &simplex, &barrier);
  EXPECT_GT(barrier, 0);
  // Without crossover the interior point solution is still close to the optimum.
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_CROSSOVER, KLVO_ANA_NEVER), 0);
  KLVOprob p = with(m);
  solve(p, "b");
  EXPECT_EQ(int_attr(p, KLVO_ATTR_SIMPLEXITER), 0);
  EXPECT_NEAR(dbl_attr(p, KLVO_ATTR_LPOBJVAL), barrier_value, 1e-4 * std::fabs(barrier_value));
}

TEST_F(ControlsTest, CutoffPrunesInTheUsersSense) {
  for (int sense : {-1, 1}) {
    SCOPED_TRACE(sense);
    double best = sense < 0 ? 20 : -20;
    load(prob, small_knapsack(sense));
    // A cutoff the optimum beats changes nothing.
    ASSERT_EQ(KLVOsetdblcontrol(prob, KLVO_CONTROL_CUTOFF, best + sense * 5), 0);
    EXPECT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
    EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_MIPOBJVAL), best, 1e-6);
    // A cutoff beyond the optimum leaves no solution.
    ASSERT_EQ(KLVOsetdblcontrol(prob, KLVO_CONTROL_CUTOFF, best - sense * 5), 0);
    EXPECT_EQ(solve(prob), KLVO_SOLSTATUS_INFEASIBLE);
    EXPECT_EQ(int_attr(prob, KLVO_ATTR_MIPSTATUS), KLVO_MIP_INFEAS);
    ASSERT_EQ(KLVOsetdefaultcontrol(prob, KLVO_CONTROL_CUTOFF), 0);
  }
}

TEST_F(ControlsTest, GapAndSolutionLimitsEndTheSearchEarly) {
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_OUTPUTLOG, KLVO_OUTPUT_NONE), 0);
  const DenseModel m = multi_knapsack(10, 60, 5);
  KLVOprob p = with(m);
  ASSERT_EQ(solve(p), KLVO_SOLSTATUS_OPTIMAL);
  int64_t full_nodes = 0;
  ASSERT_EQ(KLVOgetintattrib64(p, KLVO_ATTR_NODES, &full_nodes), 0);
  double optimum = dbl_attr(p, KLVO_ATTR_MIPOBJVAL);
  EXPECT_LE(dbl_attr(p, KLVO_ATTR_MIPRELGAP), 1e-4);
  ASSERT_GT(full_nodes, 3);

  // A generous relative gap: done much sooner, within that gap.
  ASSERT_EQ(KLVOsetdblcontrol(prob, KLVO_CONTROL_MIPRELSTOP, 0.2), 0);
  p = with(m);
  ASSERT_EQ(solve(p), KLVO_SOLSTATUS_OPTIMAL);
  int64_t nodes = 0;
  ASSERT_EQ(KLVOgetintattrib64(p, KLVO_ATTR_NODES, &nodes), 0);
  EXPECT_LT(nodes, full_nodes);
  EXPECT_GE(dbl_attr(p, KLVO_ATTR_MIPOBJVAL), optimum * 0.8 - 1e-6);
  ASSERT_EQ(KLVOsetdefaultcontrol(prob, KLVO_CONTROL_MIPRELSTOP), 0);

  // The same with an absolute gap.
  ASSERT_EQ(KLVOsetdblcontrol(prob, KLVO_CONTROL_MIPABSSTOP, 0.2 * optimum), 0);
  p = with(m);
  ASSERT_EQ(solve(p), KLVO_SOLSTATUS_OPTIMAL);
  ASSERT_EQ(KLVOgetintattrib64(p, KLVO_ATTR_NODES, &nodes), 0);
  EXPECT_LT(nodes, full_nodes);
  ASSERT_EQ(KLVOsetdefaultcontrol(prob, KLVO_CONTROL_MIPABSSTOP), 0);

  // One improving solution and stop.
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_MAXMIPSOL, 1), 0);
  p = with(m);
  EXPECT_EQ(solve(p), KLVO_SOLSTATUS_FEASIBLE);
  EXPECT_EQ(int_attr(p, KLVO_ATTR_SOLVESTATUS), KLVO_SOLVESTATUS_STOPPED);
  EXPECT_EQ(int_attr(p, KLVO_ATTR_STOPSTATUS), KLVO_STOP_SOLLIMIT);
  EXPECT_EQ(int_attr(p, KLVO_ATTR_MIPSTATUS), KLVO_MIP_SOLUTION);
  EXPECT_GE(int_attr(p, KLVO_ATTR_MIPSOLS), 1);
  EXPECT_LT(dbl_attr(p, KLVO_ATTR_MIPOBJVAL), optimum);
}

TEST_F(ControlsTest, RelaxationFlagIgnoresIntegrality) {
  load(prob, small_knapsack(-1));
  ASSERT_EQ(solve(prob, "l"), KLVO_SOLSTATUS_OPTIMAL);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_OPTIMIZETYPE), KLVO_OPTTYPE_LP);
  // Fractional knapsack: item 2 (13/6) and item 1 (10/5) whole, none of item 3? Ratios 2.17,
  // 2.0, 1.75: items 2 and 1 fill 11 > 10, so item 2 whole and 4/5 of item 1: 13 + 8 = 21.
  EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_LPOBJVAL), 21.0, 1e-7);
  ASSERT_EQ(solve(prob, "n"), KLVO_SOLSTATUS_OPTIMAL);
  EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_MIPOBJVAL), 20.0, 1e-7);
}
