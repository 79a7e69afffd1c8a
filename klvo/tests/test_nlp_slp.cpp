// The successive-linearisation engine's own data: cascading recomputes dependent columns
// exactly, tolerance sets change where a solve stops, and the layer's events fire in order with
// their return values taking effect.
#include <cmath>
#include <string>
#include <vector>

#include "test_support.h"

using namespace klvo_test;

namespace {

const int kSolver = 12417;

// Columns c0 = x3, c1 = x1, c2 = x2, with x2 = exp(x1) (row 1) and x3^3 + x3 = x2 (row 0): the
// column order would recompute x3 before x2; dependencies must not.
TEST(Cascade, RecomputesAChainInDependencyOrder) {
  NlpProblem p;
  p.columns(3);
  Ex cube = pow(X(0), 3.0), e = -exp(X(1));
  p.row('E', 0, &cube, {{0, 1}, {2, -1}});
  p.row('E', 0, &e, {{2, 1}});
  p.start({0, 0.5, 0});
  int cols[2] = {0, 2}, rows[2] = {0, 1};
  ASSERT_EQ(KSLPaddvars(p.slp, 2, cols, nullptr, rows, nullptr, nullptr, nullptr, nullptr), 0) << p.slp_error();
  std::vector<int> seen;
  auto record = [](KSLPprob, void *data, int col) {
    static_cast<std::vector<int> *>(data)->push_back(col);
    return 0;
  };
  ASSERT_EQ(KSLPsetcbcascadevar(p.slp, record, &seen), 0);
  ASSERT_EQ(KSLPcascade(p.slp), 0) << p.slp_error();
  double x2 = slp_var(p.slp, 2).initvalue, x3 = slp_var(p.slp, 0).initvalue;
  EXPECT_NEAR(x2, std::exp(0.5), 1e-12);
  EXPECT_NEAR(x3 * x3 * x3 + x3, std::exp(0.5), 1e-10);
  EXPECT_EQ(seen, (std::vector<int>{2, 0}));

  // A callback that refuses the recomputed value keeps the old one; a limit of one Newton step
  // is too few for the cubic, which then keeps its value and is reported.
  p.start({1, 1.0, 0});
  auto refuse = [](KSLPprob, void *, int col) { return col == 2 ? 1 : 0; };
  ASSERT_EQ(KSLPsetcbcascadevar(p.slp, refuse, nullptr), 0);
  std::vector<int> failed;
  ASSERT_EQ(KSLPsetcbcascadevarfail(p.slp, record, &failed), 0);
  ASSERT_EQ(KSLPchgcascadenlimit(p.slp, 0, 1), 0);
  ASSERT_EQ(KSLPcascade(p.slp), 0);
  EXPECT_EQ(slp_var(p.slp, 2).initvalue, 0.0);
  EXPECT_EQ(failed, (std::vector<int>{0}));
  EXPECT_NE(KSLPchgcascadenlimit(p.slp, 0, 0), 0);
}

// max x + y  s.t.  x^2 + y <= 3,  x + y^2 <= 3: the optimum is the vertex x = y = (sqrt(13) - 1) / 2.
void vertex_model(NlpProblem &p) {
  p.columns(2, {}, {}, {1, 1});
  Ex a = pow(X(0), 2.0), b = pow(X(1), 2.0);
  p.row('L', 3, &a, {{1, 1}});
  p.row('L', 3, &b, {{0, 1}});
  ASSERT_EQ(KSLPsetdblcontrol(p.slp, kSlpObjSense, -1.0), 0);
  ASSERT_EQ(KSLPsetintcontrol(p.slp, kSolver, 1), 0);
  p.start({0, 0});
}

// min x - 2 log x from x = 5: the optimum x = 2 is no vertex, so the engine closes in on it by
// shrinking step bounds, and a looser tolerance set stops it visibly earlier.
void log_model(NlpProblem &p) {
  p.columns(1);
  p.objective(X(0) - 2.0 * log(X(0)));
  ASSERT_EQ(KSLPsetintcontrol(p.slp, kSolver, 1), 0);
  p.start({5});
}

TEST(ToleranceSets, LooserSetsStopEarlierAndReportTheirTest) {
  const double opt = 2.0 - 2.0 * std::log(2.0);
  NlpProblem tight;
  log_model(tight);
  ASSERT_EQ(tight.optimize(), 1);
  EXPECT_NEAR(tight.objval(), opt, 1e-9);

  NlpProblem loose;
  log_model(loose);
  // Only absolute closure at 0.05 in use.
  double tols[9] = {0.05, 0, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_EQ(KSLPaddtolsets(loose.slp, 1, tols), 0);
  int cols[1] = {0}, set[1] = {1};
  ASSERT_EQ(KSLPaddvars(loose.slp, 1, cols, nullptr, nullptr, nullptr, set, nullptr, nullptr), 0);
  ASSERT_EQ(loose.optimize(), 1);
  EXPECT_LT(loose.iterations(), tight.iterations());
  EXPECT_NEAR(loose.objval(), opt, 0.01);
  EXPECT_GT(std::fabs(loose.objval() - opt), 1e-9);
  EXPECT_EQ(slp_var(loose.slp, 0).converged, 1);  // 1 + the absolute closure test

  // Bad sets are refused and change nothing.
  double bad[9] = {-1, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_NE(KSLPaddtolsets(loose.slp, 1, bad), 0);
  int unknown[1] = {2};
  EXPECT_NE(KSLPdeltolsets(loose.slp, 1, unknown), 0);
  double got[9];
  int status = 0;
  ASSERT_EQ(KSLPgettolset(loose.slp, 1, &status, got), 0);
  EXPECT_EQ(status, 1);
  EXPECT_NE(KSLPgettolset(loose.slp, 2, &status, got), 0);
  // Deleting the set sends its columns back to the default tests.
  int one[1] = {1};
  ASSERT_EQ(KSLPdeltolsets(loose.slp, 1, one), 0);
  EXPECT_EQ(slp_var(loose.slp, 0).tolset, 0);
}

double row_info(NlpProblem &p, int info, int row) {
  int type = 0, i = 0;
  double d = -1;
  EXPECT_EQ(KSLPgetrowinfo(p.slp, info, row, &type, &i, &d), 0) << p.slp_error();
  EXPECT_EQ(type, 2);
  return d;
}

// Row x^3 + y at x = 1, y = 2: activity 3, derivatives 3 and 1. A central difference of width 1
// on x gives (8 - 0) / 2 = 4 instead; scaling then weighs the row 1/4.
TEST(Linearization, TakesFiniteDifferencesWhereAskedAndScalesRows) {
  NlpProblem p;
  p.columns(2);
  Ex cube = pow(X(0), 3.0);
  p.row('L', 10, &cube, {{1, 1}});
  p.start({1, 2});
  int type = 0, i = 0;
  double d = 0;
  EXPECT_NE(KSLPgetrowinfo(p.slp, 6, 0, &type, &i, &d), 0);  // nothing linearised yet
  ASSERT_EQ(KSLPupdatelinearization(p.slp), 0) << p.slp_error();
  EXPECT_NEAR(row_info(p, 6, 0), 3.0, 1e-12);
  EXPECT_NEAR(row_info(p, 7, 0), 3.0, 1e-9);
  double width = 1.0, got = 0;
  ASSERT_EQ(KSLPchgdf(p.slp, 0, 0, &width), 0);
  ASSERT_EQ(KSLPgetdf(p.slp, 0, 0, &got), 0);
  EXPECT_EQ(got, 1.0);
  ASSERT_EQ(KSLPscaling(p.slp), 0) << p.slp_error();
  EXPECT_NEAR(row_info(p, 7, 0), 4.0, 1e-9);
  double wt = 0;
  ASSERT_EQ(KSLPgetrowwt(p.slp, 0, &wt), 0);
  EXPECT_NEAR(wt, 0.25, 1e-12);
  // A refused width leaves the others as they were.
  int cols[2] = {1, 0}, rows[2] = {0, 0};
  double widths[2] = {0.5, -1};
  EXPECT_NE(KSLPadddfs(p.slp, 2, cols, rows, widths), 0);
  ASSERT_EQ(KSLPgetdf(p.slp, 1, 0, &got), 0);
  EXPECT_EQ(got, 0.0);
}

// With x held at its starting value 1 (delta type 1) the vertex model becomes max 1 + y with
// y <= 2 and y^2 <= 2: y = sqrt(2). Fixing the penalties afterwards enforces both rows, and a
// solve from the origin still reaches the free optimum.
TEST(ColumnSteps, HeldColumnsAndEnforcedRows) {
  NlpProblem p;
  vertex_model(p);
  p.start({1, 0});
  int col = 0, held = 1;
  ASSERT_EQ(KSLPchgdeltatype(p.slp, 1, &col, &held, nullptr), 0);
  int bad = 2;
  EXPECT_NE(KSLPchgdeltatype(p.slp, 1, &col, &bad, nullptr), 0);  // type 2 needs its step
  ASSERT_EQ(p.optimize(), 1);
  EXPECT_NEAR(p.objval(), 1.0 + std::sqrt(2.0), 1e-7);

  int status = -1;
  ASSERT_EQ(KSLPfixpenalties(p.slp, &status), 0) << p.slp_error();
  EXPECT_EQ(status, 0);
  int word = 0;
  ASSERT_EQ(KSLPgetrowstatus(p.slp, 1, &word), 0);
  EXPECT_EQ(word & 1, 1);
  int free = 0;
  ASSERT_EQ(KSLPchgdeltatype(p.slp, 1, &col, &free, nullptr), 0);
  p.start({0, 0});
  ASSERT_EQ(KSLPreinitialize(p.slp), 0);
  ASSERT_EQ(p.optimize(), 1);
  EXPECT_NEAR(p.objval(), std::sqrt(13.0) - 1.0, 1e-7);
  NlpProblem unsolved;
  vertex_model(unsolved);
  EXPECT_NE(KSLPfixpenalties(unsolved.slp, &status), 0);
}

// x0 = exp(x1) at x1 = 1 lies above x0's upper bound 1: drcol sees e, the bounds and the clipped
// value, and what it leaves is what x0 gets.
TEST(Cascade, AskWhereAValueLeavesItsBounds) {
  NlpProblem p;
  p.columns(2, {0, -1e20}, {1, 1e20});
  Ex e = -exp(X(1));
  p.row('E', 0, &e, {{0, 1}});
  p.start({0, 1});
  int col = 0, row = 0;
  ASSERT_EQ(KSLPaddvars(p.slp, 1, &col, nullptr, &row, nullptr, nullptr, nullptr, nullptr), 0);
  struct Seen {
    int col = -1;
    double value = 0, entry = 0, lb = 0, ub = 0;
  } seen;
  auto drcol = [](KSLPprob, void *data, int c, double value, double *nv, double lb, double ub) {
    *static_cast<Seen *>(data) = {c, value, *nv, lb, ub};
    *nv = 0.5;
    return 0;
  };
  ASSERT_EQ(KSLPsetcbdrcol(p.slp, drcol, &seen), 0);
  ASSERT_EQ(KSLPcascade(p.slp), 0) << p.slp_error();
  EXPECT_EQ(seen.col, 0);
  EXPECT_NEAR(seen.value, std::exp(1.0), 1e-10);
  EXPECT_EQ(seen.entry, 1.0);
  EXPECT_EQ(seen.lb, 0.0);
  EXPECT_EQ(seen.ub, 1.0);
  EXPECT_EQ(slp_var(p.slp, 0).initvalue, 0.5);
}

// In the log model the first step (the whole step bound, 5) lands on log 0. The objective's
// formula is reported, the step rejected, and the solve still reaches x = 2.
TEST(LayerEvents, ReportFormulasThatCannotBeEvaluatedAndRejectTheStep) {
  NlpProblem p;
  log_model(p);
  std::vector<std::pair<int, int>> seen;
  auto report = [](KSLPprob, void *data, int row, int col) {
    static_cast<std::vector<std::pair<int, int>> *>(data)->push_back({row, col});
    return 0;
  };
  ASSERT_EQ(KSLPsetcbcoefevalerror(p.slp, report, &seen), 0);
  ASSERT_EQ(p.optimize(), 1);
  EXPECT_NEAR(p.objval(), 2.0 - 2.0 * std::log(2.0), 1e-7);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front(), std::make_pair(-1, -1000));
}

struct Log {
  std::vector<std::string> events;
  int stop_at_end = -1;  // iterend returns 1 at this iteration
};

int note(KSLPprob, void *data, const char *what) {
  static_cast<Log *>(data)->events.push_back(what);
  return 0;
}

void watch(KSLPprob slp, Log &log) {
  ASSERT_EQ(KSLPsetcbslpstart(slp, [](KSLPprob s, void *d) { return note(s, d, "slpstart"); }, &log), 0);
  ASSERT_EQ(KSLPsetcbslpend(slp, [](KSLPprob s, void *d) { return note(s, d, "slpend"); }, &log), 0);
  ASSERT_EQ(KSLPsetcbiterstart(slp, [](KSLPprob s, void *d, int *) { return note(s, d, "iterstart"); }, &log), 0);
  ASSERT_EQ(KSLPsetcbiterend(slp,
                             [](KSLPprob s, void *d, int *stop) {
                               note(s, d, "iterend");
                               Log &l = *static_cast<Log *>(d);
                               int ends = 0;
                               for (auto &e : l.events) ends += e == "iterend";
                               if (ends == l.stop_at_end) *stop = 1;
                               return 0;
                             },
                             &log),
            0);
}

TEST(LayerEvents, FireInOrderAndStopTheSolve) {
  for (int engine : {1, 0}) {
    SCOPED_TRACE(engine ? "successive linear programming" : "interior point");
    NlpProblem p;
    vertex_model(p);
    ASSERT_EQ(KSLPsetintcontrol(p.slp, kSolver, engine), 0);
    Log log;
    watch(p.slp, log);
    int vars = 0;
    if (engine)
      ASSERT_EQ(KSLPsetcbitervar(p.slp, [](KSLPprob, void *d, int) { return ++*static_cast<int *>(d), 0; }, &vars), 0);
    ASSERT_EQ(p.optimize(), 1);
    ASSERT_GE(log.events.size(), 4u);
    EXPECT_EQ(log.events.front(), "slpstart");
    EXPECT_EQ(log.events.back(), "slpend");
    // Starts and ends alternate, one pair per iteration.
    int pairs = 0;
    for (size_t k = 1; k + 1 < log.events.size(); ++k)
      if (k % 2 == 1) {
        EXPECT_EQ(log.events[k], "iterstart") << k;
        ++pairs;
      } else {
        EXPECT_EQ(log.events[k], "iterend") << k;
      }
    EXPECT_EQ(log.events.size() % 2, 0u);
    if (engine) {
      EXPECT_EQ(pairs, p.iterations());
      EXPECT_EQ(vars, 2 * pairs);  // every column, every iteration
    } else {
      EXPECT_GE(pairs, p.iterations());
    }

    // iterend asking to stop after the second iteration ends the solve there, unfinished.
    Log stop;
    stop.stop_at_end = 2;
    watch(p.slp, stop);
    ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0) << p.error();
    EXPECT_EQ(p.status(), 6);
    int ends = 0;
    for (auto &e : stop.events) ends += e == "iterend";
    EXPECT_EQ(ends, 2);
    // slpstart refusing the solve: nothing runs.
    Log none;
    watch(p.slp, none);
    ASSERT_EQ(KSLPsetcbslpstart(p.slp, [](KSLPprob, void *) { return 1; }, nullptr), 0);
    ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0) << p.error();
    EXPECT_EQ(p.status(), 6);
    EXPECT_EQ(p.iterations(), 0);
  }
}

const int kCascade = 12107;

int set_var(KSLPprob slp, int col, const double *penalty, const double *damp, const int *vartype,
            const double *initstepbound = nullptr) {
  return KSLPchgvar(slp, col, nullptr, initstepbound, nullptr, penalty, damp, nullptr, nullptr, nullptr, nullptr,
                    nullptr, vartype);
}

// Every iteration's end, with what the test wants to know of the iterate.
template <class F>
void on_iterend(NlpProblem &p, F &f) {
  auto call = [](KSLPprob slp, void *data, int *) {
    (*static_cast<F *>(data))(slp);
    return 0;
  };
  ASSERT_EQ(KSLPsetcbiterend(p.slp, call, &f), 0);
}

// max y3 with y1 = exp(x), y2 = y1 + sin(y1) / 2, y3 = y2^2 and y1 <= 2: y3 grows with x, so
// x = log 2 where the last row binds.
void chain_model(NlpProblem &p, int cascade) {
  p.columns(4, {0, -1e20, -1e20, -1e20}, {3, 1e20, 1e20, 1e20}, {0, 0, 0, 1});
  Ex f1 = -exp(X(0)), f2 = -(X(1) + 0.5 * sin(X(1))), f3 = -pow(X(2), 2.0);
  p.row('E', 0, &f1, {{1, 1}});
  p.row('E', 0, &f2, {{2, 1}});
  p.row('E', 0, &f3, {{3, 1}});
  p.row('L', 2, nullptr, {{1, 1}});
  int cols[3] = {1, 2, 3}, rows[3] = {0, 1, 2};
  ASSERT_EQ(KSLPaddvars(p.slp, 3, cols, nullptr, rows, nullptr, nullptr, nullptr, nullptr), 0) << p.slp_error();
  ASSERT_EQ(KSLPsetdblcontrol(p.slp, kSlpObjSense, -1.0), 0);
  ASSERT_EQ(KSLPsetintcontrol(p.slp, kSolver, 1), 0);
  ASSERT_EQ(KSLPsetintcontrol(p.slp, kCascade, cascade), 0);
  p.start({0.5, 0, 0, 0});
}

// The largest gap between a determined column and its formula at the point.
double chain_gap(const std::vector<double> &v) {
  double y1 = std::exp(v[0]), y2 = v[1] + 0.5 * std::sin(v[1]), y3 = v[2] * v[2];
  return std::max({std::fabs(v[1] - y1), std::fabs(v[2] - y2), std::fabs(v[3] - y3)});
}

TEST(Cascade, KeepsDeterminedColumnsExactAfterEveryIteration) {
  const double x = std::log(2.0);
  int iters[2] = {0, 0};
  double worst[2] = {0, 0};
  for (int on = 0; on < 2; ++on) {
    NlpProblem p;
    chain_model(p, on);
    int ends = 0;
    auto check = [&](KSLPprob slp) {
      std::vector<double> v;
      for (int j = 0; j < 4; ++j) v.push_back(slp_var(slp, j).value);
      worst[on] = std::max(worst[on], chain_gap(v));
      ++ends;
    };
    on_iterend(p, check);
    ASSERT_EQ(p.optimize(), 1);
    std::vector<double> v = p.x();
    EXPECT_NEAR(v[0], x, 1e-7);
    EXPECT_LT(chain_gap(v), 1e-7);
    iters[on] = p.iterations();
    EXPECT_EQ(ends, iters[on]);
  }
  EXPECT_LT(worst[1], 1e-9);
  EXPECT_GT(worst[0], 1e-6);  // without cascading the linearisation leaves the rows off
  EXPECT_LE(iters[1], iters[0]);
}

// KSLPcascade leaves a column marked never to be cascaded as it is: y3 follows the kept y2.
TEST(Cascade, LeavesColumnsMarkedNotToBeCascaded) {
  NlpProblem p;
  chain_model(p, 1);
  p.start({1, 0, 1.5, 0});
  int never = KSLP_VAR_NOCASCADE;
  ASSERT_EQ(set_var(p.slp, 2, nullptr, nullptr, &never), 0);
  ASSERT_EQ(KSLPcascade(p.slp), 0) << p.slp_error();
  EXPECT_NEAR(slp_var(p.slp, 1).initvalue, std::exp(1.0), 1e-12);
  EXPECT_EQ(slp_var(p.slp, 2).initvalue, 1.5);
  EXPECT_NEAR(slp_var(p.slp, 3).initvalue, 2.25, 1e-12);
}

// u + v = 10 (determining u) and u - v = 10 (determining v) from the origin, step bounds 1 at
// first: the LP can reduce only part of both violations per iteration. A penalty of 10 on one
// column makes its row's error the one the LP removes first.
TEST(ColumnSettings, PenaltyDecidesWhichRowBecomesFeasibleFirst) {
  for (int heavy = 0; heavy < 2; ++heavy) {
    NlpProblem p;
    p.columns(2);
    p.row('E', 10, nullptr, {{0, 1}, {1, 1}});
    p.row('E', 10, nullptr, {{0, 1}, {1, -1}});
    p.objective(1e-6 * (pow(X(0), 2.0) + pow(X(1), 2.0)));
    int cols[2] = {0, 1}, rows[2] = {0, 1};
    ASSERT_EQ(KSLPaddvars(p.slp, 2, cols, nullptr, rows, nullptr, nullptr, nullptr, nullptr), 0);
    ASSERT_EQ(KSLPsetintcontrol(p.slp, kSolver, 1), 0);
    ASSERT_EQ(KSLPsetintcontrol(p.slp, kCascade, 0), 0);
    double ten = 10;
    ASSERT_EQ(set_var(p.slp, heavy, &ten, nullptr, nullptr), 0);
    p.start({0, 0});
    bool heavy_alone = false, light_alone = false;
    auto check = [&](KSLPprob slp) {
      double u = slp_var(slp, 0).value, v = slp_var(slp, 1).value;
      bool ok[2] = {std::fabs(u + v - 10) <= 1e-9, std::fabs(u - v - 10) <= 1e-9};
      heavy_alone = heavy_alone || (ok[heavy] && !ok[1 - heavy]);
      light_alone = light_alone || (ok[1 - heavy] && !ok[heavy]);
    };
    on_iterend(p, check);
    ASSERT_EQ(p.optimize(), 1);
    EXPECT_NEAR(p.x()[0], 10, 1e-7);
    EXPECT_NEAR(p.x()[1], 0, 1e-7);
    EXPECT_TRUE(heavy_alone) << "penalised column " << heavy;
    EXPECT_FALSE(light_alone) << "penalised column " << heavy;
  }
}

// min -x on [0, 10] from 0 with step bound 1: every LP step is the whole step bound and is
// predicted exactly, so the trust region doubles: 1, 3, 7, 10. Damping by 1/2 takes half of
// each LP step (1, 2, 4, then 6.5 up to the bound): 1/2, 3/2, 7/2, 27/4; a fixed step bound
// moves by 1 each time (1, 2, ..., 10).
TEST(ColumnSettings, DampingAndFixedStepBoundsGiveTheirIterates) {
  struct Case {
    double damp;
    int vartype;
    std::vector<double> first;
  };
  for (const Case &c : {Case{0, 0, {1, 3, 7, 10}}, Case{0.5, 0, {0.5, 1.5, 3.5, 6.75}},
                        Case{0, KSLP_VAR_FIXSTEPBOUND, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}}}) {
    NlpProblem p;
    p.columns(1, {0}, {10});
    p.objective(-X(0));
    ASSERT_EQ(KSLPsetintcontrol(p.slp, kSolver, 1), 0);
    double one = 1;
    ASSERT_EQ(set_var(p.slp, 0, nullptr, &c.damp, &c.vartype, &one), 0);
    p.start({0});
    std::vector<double> xs;
    std::vector<int> conv;
    auto record = [&](KSLPprob slp) {
      SlpVar v = slp_var(slp, 0);
      xs.push_back(v.value);
      conv.push_back(v.converged != 0);
    };
    on_iterend(p, record);
    ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0) << p.error();
    ASSERT_GE(xs.size(), c.first.size());
    for (size_t k = 0; k < c.first.size(); ++k) EXPECT_NEAR(xs[k], c.first[k], 1e-9) << "iteration " << k + 1;
    if (c.damp == 0) {
      EXPECT_NEAR(p.x()[0], 10, 1e-9);
      EXPECT_EQ(p.status(), 1);
    }
    // The history holds the verdicts of the last iterations, newest in bit 0.
    int expect = 0;
    for (size_t k = conv.size() > 31 ? conv.size() - 31 : 0; k < conv.size(); ++k) expect = (expect << 1) | conv[k];
    EXPECT_EQ(slp_var(p.slp, 0).history, expect);
    if (xs.size() >= 2) EXPECT_EQ(slp_var(p.slp, 0).oldvalue, xs[xs.size() - 2]);
  }
}

// A column whose delta is not used keeps its value: the vertex model with x at 1 becomes
// max 1 + y with y <= 2 and y^2 <= 2. Bad settings are refused and change nothing.
TEST(ColumnSettings, NoDeltaColumnsAndRefusedSettings) {
  NlpProblem p;
  vertex_model(p);
  p.start({1, 0});
  int nodelta = KSLP_VAR_NODELTA;
  ASSERT_EQ(set_var(p.slp, 0, nullptr, nullptr, &nodelta), 0);
  ASSERT_EQ(p.optimize(), 1);
  EXPECT_NEAR(p.objval(), 1.0 + std::sqrt(2.0), 1e-7);

  double neg = -1, full = 1, half = 0.5;
  int unknown = 8;
  ASSERT_EQ(set_var(p.slp, 1, nullptr, &half, nullptr), 0);
  EXPECT_NE(set_var(p.slp, 1, &neg, nullptr, nullptr), 0);
  EXPECT_NE(set_var(p.slp, 1, nullptr, &full, nullptr), 0);
  int cols[1] = {1};
  EXPECT_NE(KSLPaddvars(p.slp, 1, cols, &unknown, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  SlpVar v = slp_var(p.slp, 1);
  EXPECT_EQ(v.damp, 0.5);
  EXPECT_EQ(v.penalty, 0.0);
  EXPECT_EQ(v.vartype, 0);
}

}  // namespace
