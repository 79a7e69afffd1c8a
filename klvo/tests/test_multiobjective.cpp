// Several objectives: lexicographic stages checked against the same stages solved by hand as
// single-objective models with their degradation rows written out, blends against the
// weighted sum, allowances against hand-computed optima, and the ways a sequence stops.
#include <chrono>
#include <cmath>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

using klvo_test::DenseModel;
using klvo_test::ProblemTest;

namespace {

struct Objective {
  std::vector<double> coef;
  double constant = 0.0;
  int priority = 0;
  double weight = 1.0, abstol = 0.0, reltol = 0.0;
};

class MultiObjectiveTest : public ProblemTest {
 protected:
  // Loads the model with objectives[0] as objective 0 and the rest as further objectives.
  void load(KLVOprob p, DenseModel m, const std::vector<Objective> &objectives) {
    m.obj = objectives[0].coef;
    m.constant = objectives[0].constant;
    klvo_test::load(p, m);
    const int n = static_cast<int>(m.obj.size());
    std::vector<int> cols(n);
    for (int j = 0; j < n; ++j) cols[j] = j;
    for (size_t k = 0; k < objectives.size(); ++k) {
      const Objective &o = objectives[k];
      if (k > 0) ASSERT_EQ(KLVOaddobj(p, n, cols.data(), o.coef.data(), o.priority, o.weight), 0) << error(p);
      int i = static_cast<int>(k);
      ASSERT_EQ(KLVOsetobjintcontrol(p, i, KLVO_OBJCONTROL_PRIORITY, o.priority), 0);
      ASSERT_EQ(KLVOsetobjdblcontrol(p, i, KLVO_OBJCONTROL_WEIGHT, o.weight), 0);
      ASSERT_EQ(KLVOsetobjdblcontrol(p, i, KLVO_OBJCONTROL_ABSTOL, o.abstol), 0);
      ASSERT_EQ(KLVOsetobjdblcontrol(p, i, KLVO_OBJCONTROL_RELTOL, o.reltol), 0);
      if (k > 0) ASSERT_EQ(KLVOsetobjdblcontrol(p, i, KLVO_OBJCONTROL_RHS, o.constant), 0);
    }
  }

  double objval(int k) {
    double v = -12345;
    EXPECT_EQ(KLVOgetobjdblattrib(prob, k, KLVO_ATTR_OBJVAL, &v), 0) << error();
    return v;
  }
  int64_t objattr(int k, int id) {
    int64_t v = -12345;
    EXPECT_EQ(KLVOgetobjintattrib64(prob, k, id, &v), 0) << error();
    return v;
  }

  // Solves the objectives one priority at a time in separate single-objective problems, each
  // with the rows that hold the earlier ones within their allowances written in; returns the
  // optimum of every stage, in order.
  std::vector<double> by_hand(DenseModel m, const std::vector<std::vector<int>> &stages,
                              const std::vector<Objective> &objectives) {
    std::vector<double> optima;
    const size_t n = objectives[0].coef.size();
    for (const auto &stage : stages) {
      std::vector<double> c(n, 0.0);
      double constant = 0, abstol = 0, reltol = 0;
      for (int k : stage) {
        for (size_t j = 0; j < n; ++j) c[j] += objectives[k].weight * objectives[k].coef[j];
        constant += objectives[k].weight * objectives[k].constant;
        abstol = std::max(abstol, objectives[k].abstol);
        reltol = std::max(reltol, objectives[k].reltol);
      }
      KLVOprob p = fresh();
      DenseModel stage_model = m;
      stage_model.obj = c;
      stage_model.constant = constant;
      klvo_test::load(p, stage_model);
      EXPECT_EQ(KLVOsetdblcontrol(p, KLVO_CONTROL_MIPRELSTOP, 0.0), 0);
      EXPECT_EQ(klvo_test::solve(p), KLVO_SOLSTATUS_OPTIMAL);
      double z = klvo_test::dbl_attr(p, KLVO_ATTR_OBJVAL);
      optima.push_back(z);
      double allowed = std::max(abstol, reltol * std::fabs(z));
      m.rows.push_back(c);
      m.rowtype.push_back(m.sense < 0 ? 'G' : 'L');
      m.rhs.push_back((m.sense < 0 ? z - allowed : z + allowed) - constant);
    }
    return optima;
  }

  // Maximise over x + y <= 4, x <= 3, y <= 3.
  DenseModel square() {
    DenseModel m;
    m.lb = {0, 0};
    m.ub = {3, 3};
    m.rowtype = {'L'};
    m.rhs = {4};
    m.rows = {{1, 1}};
    m.sense = -1;
    return m;
  }
};

TEST_F(MultiObjectiveTest, AllowancesAndConstantsMoveTheLexicographicOptimumAsComputedByHand) {
  // First x + y + 4 (optimum 8 on the edge x + y = 4), then x - y.
  struct Case {
    double abstol, reltol, constant, x, y;
  } cases[] = {
      {0.0, 0.0, 4.0, 3.0, 1.0},    // stays on the edge: the best x - y there is 3 - 1
      {1.0, 0.0, 4.0, 3.0, 0.0},    // x + y may drop to 3
      {0.0, 0.1, 4.0, 3.0, 0.2},    // 10% of 8 = 0.8: x + y >= 3.2
      {0.0, 0.1, 0.0, 3.0, 0.6},    // without the constant 10% of 4 only: x + y >= 3.6
      {0.3, 0.1, 0.0, 3.0, 0.6},    // the larger allowance counts
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "abstol " << c.abstol << " reltol " << c.reltol << " constant " << c.constant);
    ASSERT_EQ(KLVOdestroyprob(prob), 0);
    ASSERT_EQ(KLVOcreateprob(&prob), 0);
    std::vector<Objective> obj(2);
    obj[0] = {{1, 1}, c.constant, 2, 1.0, c.abstol, c.reltol};
    obj[1] = {{1, -1}, 0.0, 1, 1.0, 0.0, 0.0};
    load(prob, square(), obj);
    ASSERT_EQ(klvo_test::solve(prob), KLVO_SOLSTATUS_OPTIMAL) << error();
    std::vector<double> x = klvo_test::solution(prob);
    EXPECT_NEAR(x[0], c.x, 1e-7);
    EXPECT_NEAR(x[1], c.y, 1e-7);
    EXPECT_NEAR(objval(0), c.x + c.y + c.constant, 1e-7);
    EXPECT_NEAR(objval(1), c.x - c.y, 1e-7);
    EXPECT_NEAR(klvo_test::dbl_attr(prob, KLVO_ATTR_OBJVAL), c.x + c.y + c.constant, 1e-7);
    std::vector<double> optima = by_hand(square(), {{0}, {1}}, obj);
    EXPECT_NEAR(objval(1), optima[1], 1e-7);
    // Each objective reports the stage that optimised it.
    EXPECT_EQ(objattr(0, KLVO_ATTR_LPSTATUS), KLVO_LP_OPTIMAL);
    EXPECT_EQ(objattr(1, KLVO_ATTR_SOLVESTATUS), KLVO_SOLVESTATUS_COMPLETED);
  }
}

TEST_F(MultiObjectiveTest, ObjectiveEventsFrameEachStageAndSeeItsOptimum) {
  // First x + y (best 4 on the edge x + y = 4), then x - y on that edge (best 3 - 1).
  std::vector<Objective> obj(2);
  obj[0] = {{1, 1}, 0.0, 2, 1.0};
  obj[1] = {{1, -1}, 0.0, 1, 1.0};
  load(prob, square(), obj);
  std::vector<std::string> trace;
  ASSERT_EQ(KLVOaddcbbeforeobjective(prob, [](KLVOprob, void *d) {
              static_cast<std::vector<std::string> *>(d)->push_back("before");
            }, &trace, 0), 0);
  ASSERT_EQ(KLVOaddcbafterobjective(prob, [](KLVOprob p, void *d) {
              double v = klvo_test::dbl_attr(p, KLVO_ATTR_LPOBJVAL);
              static_cast<std::vector<std::string> *>(d)->push_back("after " + std::to_string(std::lround(v)));
            }, &trace, 0), 0);
  ASSERT_EQ(klvo_test::solve(prob), KLVO_SOLSTATUS_OPTIMAL) << error();
  EXPECT_EQ(trace, (std::vector<std::string>{"before", "after 4", "before", "after 2"}));
}

TEST_F(MultiObjectiveTest, EqualPrioritiesBlendByWeightAndWeightZeroTakesNoPart) {
  // x + y and 2 (x - y) at one priority: the weighted sum 3x - y, best at (3, 0).
  std::vector<Objective> obj(2);
  obj[0] = {{1, 1}, 0.0, 1, 1.0};
  obj[1] = {{1, -1}, 0.0, 1, 2.0};
  load(prob, square(), obj);
  ASSERT_EQ(klvo_test::solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  std::vector<double> x = klvo_test::solution(prob);
  EXPECT_NEAR(3 * x[0] - x[1], 9.0, 1e-7);
  EXPECT_NEAR(objval(0), 3.0, 1e-7);
  EXPECT_NEAR(objval(1), 3.0, 1e-7);

  // A weight of -1 turns x - y around: on the edge x + y = 4 the best y - x is at (1, 3).
  ASSERT_EQ(KLVOsetobjintcontrol(prob, 0, KLVO_OBJCONTROL_PRIORITY, 2), 0);
  ASSERT_EQ(KLVOsetobjdblcontrol(prob, 1, KLVO_OBJCONTROL_WEIGHT, -1.0), 0);
  ASSERT_EQ(klvo_test::solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  EXPECT_NEAR(objval(0), 4.0, 1e-7);
  EXPECT_NEAR(objval(1), -2.0, 1e-7);

  // Weight 0 leaves x + y out, although its priority is higher: x - y alone is best at (3, 0).
  ASSERT_EQ(KLVOsetobjdblcontrol(prob, 0, KLVO_OBJCONTROL_WEIGHT, 0.0), 0);
  ASSERT_EQ(KLVOsetobjdblcontrol(prob, 1, KLVO_OBJCONTROL_WEIGHT, 1.0), 0);
  ASSERT_EQ(klvo_test::solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  EXPECT_NEAR(objval(1), 3.0, 1e-7);
  EXPECT_NEAR(objval(0), 3.0, 1e-7);
  EXPECT_EQ(objattr(0, KLVO_ATTR_SOLVESTATUS), KLVO_SOLVESTATUS_UNSTARTED);

  // Negative allowances are refused and change nothing.
  EXPECT_NE(KLVOsetobjdblcontrol(prob, 1, KLVO_OBJCONTROL_ABSTOL, -1.0), 0);
  double abstol = -1;
  ASSERT_EQ(KLVOgetobjdblcontrol(prob, 1, KLVO_OBJCONTROL_ABSTOL, &abstol), 0);
  EXPECT_EQ(abstol, 0.0);
}

TEST_F(MultiObjectiveTest, RandomMilpsMatchTheirStagesSolvedByHand) {
  std::mt19937 rng(20261207);
  std::uniform_int_distribution<int> coef(-5, 5), pos(1, 6), pick(0, 2);
  for (int trial = 0; trial < 6; ++trial) {
    SCOPED_TRACE(trial);
    ASSERT_EQ(KLVOdestroyprob(prob), 0);
    ASSERT_EQ(KLVOcreateprob(&prob), 0);
    const int n = 6;
    DenseModel m;
    m.lb.assign(n, 0);
    m.ub.assign(n, 4);
    m.coltype.assign(n, 'I');
    m.coltype[n - 1] = 'C';
    for (int i = 0; i < 4; ++i) {
      std::vector<double> row(n);
      for (double &a : row) a = pos(rng);
      m.rows.push_back(row);
      m.rowtype.push_back('L');
      m.rhs.push_back(10 + pos(rng));
    }
    m.sense = trial % 2 ? -1 : 1;
    const int priorities[3][3] = {{3, 2, 1}, {1, 3, 2}, {2, 2, 1}};
    const double abstols[3] = {0.0, 1.5, 0.0}, reltols[3] = {0.0, 0.0, 0.2};
    std::vector<Objective> obj(3);
    for (int k = 0; k < 3; ++k) {
      obj[k].coef.resize(n);
      for (double &c : obj[k].coef) c = coef(rng);
      obj[k].constant = pos(rng);
      obj[k].priority = priorities[trial % 3][k];
      obj[k].weight = k == 2 && trial >= 3 ? 0.5 : 1.0;
      obj[k].abstol = abstols[pick(rng)];
      obj[k].reltol = reltols[pick(rng)];
    }
    load(prob, m, obj);
    ASSERT_EQ(KLVOsetdblcontrol(prob, KLVO_CONTROL_MIPRELSTOP, 0.0), 0);
    ASSERT_EQ(klvo_test::solve(prob), KLVO_SOLSTATUS_OPTIMAL) << error();

    // The stages in decreasing priority, ties blended.
    std::vector<std::vector<int>> stages;
    for (int p = 3; p >= 1; --p) {
      std::vector<int> s;
      for (int k = 0; k < 3; ++k)
        if (obj[k].priority == p) s.push_back(k);
      if (!s.empty()) stages.push_back(s);
    }
    std::vector<double> optima = by_hand(m, stages, obj);
    // The last stage's optimum is reached, and every earlier stage stays within its allowance.
    std::vector<double> x = klvo_test::solution(prob);
    for (size_t s = 0; s < stages.size(); ++s) {
      double value = 0, abstol = 0, reltol = 0;
      for (int k : stages[s]) {
        value += obj[k].weight * objval(k);
        abstol = std::max(abstol, obj[k].abstol);
        reltol = std::max(reltol, obj[k].reltol);
        double direct = obj[k].constant;
        for (int j = 0; j < n; ++j) direct += obj[k].coef[j] * x[j];
        EXPECT_NEAR(objval(k), direct, 1e-6);
      }
      if (s + 1 == stages.size()) {
        EXPECT_NEAR(value, optima[s], 1e-6);
      } else {
        double allowed = std::max(abstol, reltol * std::fabs(optima[s])) + 1e-6;
        EXPECT_LE(m.sense * (value - optima[s]), allowed) << "stage " << s;
      }
    }
    EXPECT_EQ(klvo_test::int_attr(prob, KLVO_ATTR_MIPSTATUS), KLVO_MIP_OPTIMAL);
  }
}

#ifdef KLVO_HAVE_IPOPT
TEST_F(MultiObjectiveTest, AQuadraticFirstObjectiveBoundsLaterStagesByItsQuadraticRow) {
  // First (x-1)^2 + (y-1)^2 over x + y >= 4, best 2 at (2, 2), allowed to rise to 2.5; then
  // x - y. With u = x - 1, v = y - 1 the disc u^2 + v^2 <= 2.5 meets u + v >= 2 on the segment
  // u = 1 - t, v = 1 + t, |t| <= 1/2, where u - v = -2t is least at t = 1/2: (1.5, 2.5).
  DenseModel m;
  m.lb = {-10, -10};
  m.ub = {10, 10};
  m.rowtype = {'G'};
  m.rhs = {4};
  m.rows = {{1, 1}};
  std::vector<Objective> obj(2);
  obj[0] = {{-2, -2}, 2.0, 2, 1.0, 0.5};
  obj[1] = {{1, -1}, 0.0, 1};
  load(prob, m, obj);
  const int cols[2] = {0, 1};
  const double twos[2] = {2, 2};
  ASSERT_EQ(KLVOchgmqobj(prob, 2, cols, cols, twos), 0);
  ASSERT_EQ(klvo_test::solve(prob), KLVO_SOLSTATUS_OPTIMAL) << error();
  std::vector<double> x = klvo_test::solution(prob);
  EXPECT_NEAR(x[0], 1.5, 1e-5);
  EXPECT_NEAR(x[1], 2.5, 1e-5);
  EXPECT_NEAR(objval(0), 2.5, 1e-5);
}
#endif

void interrupt_after_first_stage(KLVOprob prob, void *, const char *msg, int, int) {
  if (msg && std::string(msg).rfind("Objective stage 1:", 0) == 0) KLVOinterrupt(prob, 1);
}

void dawdle_after_first_stage(KLVOprob, void *, const char *msg, int, int) {
  if (msg && std::string(msg).rfind("Objective stage 1:", 0) == 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
}

TEST_F(MultiObjectiveTest, AStageThatDoesNotEndOptimalEndsTheSequenceWithItsStatus) {
  std::vector<Objective> obj(2);
  obj[0] = {{1, 1}, 0.0, 2};
  obj[1] = {{1, -1}, 0.0, 1};
  load(prob, square(), obj);
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_OUTPUTLOG, KLVO_OUTPUT_ALL), 0);

  // Interrupted after the first stage: its solution stays, feasible but not optimal.
  ASSERT_EQ(KLVOaddcbmessage(prob, interrupt_after_first_stage, nullptr, 0), 0);
  EXPECT_EQ(klvo_test::solve(prob), KLVO_SOLSTATUS_FEASIBLE);
  EXPECT_EQ(klvo_test::int_attr(prob, KLVO_ATTR_SOLVESTATUS), KLVO_SOLVESTATUS_STOPPED);
  EXPECT_EQ(klvo_test::int_attr(prob, KLVO_ATTR_STOPSTATUS), KLVO_STOP_INTERRUPT);
  EXPECT_NEAR(objval(0), 4.0, 1e-7);
  EXPECT_EQ(objattr(0, KLVO_ATTR_SOLSTATUS), KLVO_SOLSTATUS_OPTIMAL);
  EXPECT_EQ(objattr(1, KLVO_ATTR_SOLVESTATUS), KLVO_SOLVESTATUS_UNSTARTED);
  ASSERT_EQ(KLVOremovecbmessage(prob, interrupt_after_first_stage, nullptr), 0);

  // The time limit covers the stages together: a second and a half spent after the first stage
  // leaves nothing of one second for the second.
  ASSERT_EQ(KLVOsetdblcontrol(prob, KLVO_CONTROL_TIMELIMIT, 1.0), 0);
  ASSERT_EQ(KLVOaddcbmessage(prob, dawdle_after_first_stage, nullptr, 0), 0);
  EXPECT_EQ(klvo_test::solve(prob), KLVO_SOLSTATUS_FEASIBLE);
  EXPECT_EQ(klvo_test::int_attr(prob, KLVO_ATTR_STOPSTATUS), KLVO_STOP_TIMELIMIT);
  EXPECT_EQ(objattr(1, KLVO_ATTR_SOLVESTATUS), KLVO_SOLVESTATUS_UNSTARTED);
  ASSERT_EQ(KLVOremovecbmessage(prob, dawdle_after_first_stage, nullptr), 0);
  ASSERT_EQ(KLVOsetdblcontrol(prob, KLVO_CONTROL_TIMELIMIT, 0.0), 0);

  // y unbounded above in the second stage only: the problem is unbounded.
  const int col[1] = {1};
  const char upper[1] = {'U'};
  const double inf[1] = {KLVO_INFINITY};
  const int row[1] = {0};
  const char free_row[1] = {'N'};
  ASSERT_EQ(KLVOchgbounds(prob, 1, col, upper, inf), 0);
  ASSERT_EQ(KLVOchgrowtype(prob, 1, row, free_row), 0);
  const double minus_y[2] = {0, -1};
  const int both[2] = {0, 1};
  ASSERT_EQ(KLVOchgobj(prob, 2, both, std::vector<double>{1, 0}.data()), 0);
  ASSERT_EQ(KLVOchgobjn(prob, 1, 2, both, minus_y), 0);
  ASSERT_EQ(KLVOchgobjsense(prob, 1), 0);
  EXPECT_EQ(klvo_test::solve(prob), KLVO_SOLSTATUS_UNBOUNDED);
  EXPECT_EQ(objattr(0, KLVO_ATTR_SOLSTATUS), KLVO_SOLSTATUS_OPTIMAL);
  EXPECT_EQ(objattr(1, KLVO_ATTR_SOLSTATUS), KLVO_SOLSTATUS_UNBOUNDED);

  // An infeasible model stops at the first stage.
  const char less[1] = {'L'};
  const double below[1] = {-1};
  ASSERT_EQ(KLVOchgrowtype(prob, 1, row, less), 0);
  ASSERT_EQ(KLVOchgrhs(prob, 1, row, below), 0);
  EXPECT_EQ(klvo_test::solve(prob), KLVO_SOLSTATUS_INFEASIBLE);
  EXPECT_EQ(objattr(1, KLVO_ATTR_SOLVESTATUS), KLVO_SOLVESTATUS_UNSTARTED);
}

}  // namespace
