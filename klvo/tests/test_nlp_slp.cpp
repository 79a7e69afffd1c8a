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
  double x2 = 0, x3 = 0;
  ASSERT_EQ(KSLPgetvar(p.slp, 2, nullptr, nullptr, nullptr, nullptr, nullptr, &x2, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr, nullptr),
            0);
  ASSERT_EQ(KSLPgetvar(p.slp, 0, nullptr, nullptr, nullptr, nullptr, nullptr, &x3, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr, nullptr),
            0);
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
  ASSERT_EQ(KSLPgetvar(p.slp, 2, nullptr, nullptr, nullptr, nullptr, nullptr, &x2, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(x2, 0.0);
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
  ASSERT_EQ(KLVOnlpoptimize(tight.prob, nullptr), 0) << tight.error();
  ASSERT_EQ(tight.status(), 1);
  EXPECT_NEAR(tight.objval(), opt, 1e-9);

  NlpProblem loose;
  log_model(loose);
  // Only absolute closure at 0.05 in use.
  double tols[9] = {0.05, 0, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_EQ(KSLPaddtolsets(loose.slp, 1, tols), 0);
  int cols[1] = {0}, set[1] = {1};
  ASSERT_EQ(KSLPaddvars(loose.slp, 1, cols, nullptr, nullptr, nullptr, set, nullptr, nullptr), 0);
  ASSERT_EQ(KLVOnlpoptimize(loose.prob, nullptr), 0) << loose.error();
  ASSERT_EQ(loose.status(), 1);
  EXPECT_LT(loose.iterations(), tight.iterations());
  EXPECT_NEAR(loose.objval(), opt, 0.01);
  EXPECT_GT(std::fabs(loose.objval() - opt), 1e-9);
  int converged = -1;
  ASSERT_EQ(KSLPgetvar(loose.slp, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       &converged, nullptr, nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(converged, 1);  // 1 + the absolute closure test

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
  int ts = -1;
  ASSERT_EQ(KSLPgetvar(loose.slp, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &ts, nullptr,
                       nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(ts, 0);
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
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0) << p.error();
  ASSERT_EQ(p.status(), 1);
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
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0) << p.error();
  ASSERT_EQ(p.status(), 1);
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
  double x0 = 0;
  ASSERT_EQ(KSLPgetvar(p.slp, 0, nullptr, nullptr, nullptr, nullptr, nullptr, &x0, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(x0, 0.5);
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
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0) << p.error();
  ASSERT_EQ(p.status(), 1);
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
    ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0) << p.error();
    ASSERT_EQ(p.status(), 1);
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

}  // namespace
