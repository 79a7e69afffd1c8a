// Solves that stop early (limits, interrupts), published instances, warm starts, the log
// and what the engines do not take yet.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <random>
#include <thread>

#include "test_support.h"

using namespace klvo_test;

namespace {

// A transport LP with a dense cost matrix: many simplex iterations from a cold start.
DenseModel transport(int sources, int sinks, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> cost(1.0, 100.0), amount(10.0, 50.0);
  DenseModel m;
  int n = sources * sinks;
  for (int k = 0; k < n; ++k) m.obj.push_back(std::round(cost(rng)));
  double total = 0;
  for (int s = 0; s < sources; ++s) {
    std::vector<double> row(n, 0.0);
    for (int d = 0; d < sinks; ++d) row[s * sinks + d] = 1;
    m.rows.push_back(row);
    m.rowtype.push_back('L');
    double a = std::round(amount(rng)) + 20;
    total += a;
    m.rhs.push_back(a);
  }
  for (int d = 0; d < sinks; ++d) {
    std::vector<double> row(n, 0.0);
    for (int s = 0; s < sources; ++s) row[s * sinks + d] = 1;
    m.rows.push_back(row);
    m.rowtype.push_back('G');
    m.rhs.push_back(std::floor(total / sinks * 0.8));
  }
  return m;
}

// The solve stopped for this reason, leaving `attr` (the LP or MIP status) at `status`.
void expect_stopped(KLVOprob prob, int reason, int attr, int status) {
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_SOLVESTATUS), KLVO_SOLVESTATUS_STOPPED);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_STOPSTATUS), reason);
  EXPECT_EQ(int_attr(prob, attr), status);
}

struct Log {
  std::atomic<int> count{0};
  std::atomic<int> debug{0};
  std::string text;
  std::mutex mutex;
};

void collect(KLVOprob, void *data, const char *msg, int len, int type) {
  auto *log = static_cast<Log *>(data);
  ++log->count;
  if (type == KLVO_MSG_DEBUG) ++log->debug;
  std::lock_guard<std::mutex> lock(log->mutex);
  log->text.append(msg, len).push_back('\n');
}

using LimitsTest = ProblemTest;

}  // namespace

TEST_F(LimitsTest, PublishedInstancesReachTheirOptima) {
  for (const Instance &inst : instances()) {
    SCOPED_TRACE(inst.file);
    read_instance(prob, inst.file);
    int solstatus = solve(prob);
    EXPECT_EQ(int_attr(prob, KLVO_ATTR_MIPENTS) > 0, inst.mip);
    if (std::isnan(inst.optimum)) {
      EXPECT_EQ(solstatus, KLVO_SOLSTATUS_INFEASIBLE);
      EXPECT_EQ(int_attr(prob, KLVO_ATTR_LPSTATUS), KLVO_LP_INFEAS);
      continue;
    }
    ASSERT_EQ(solstatus, KLVO_SOLSTATUS_OPTIMAL);
    double value = dbl_attr(prob, inst.mip ? KLVO_ATTR_MIPOBJVAL : KLVO_ATTR_LPOBJVAL);
    EXPECT_NEAR(value, inst.optimum, 1e-6 * std::max(1.0, std::fabs(inst.optimum)));
    // The solution reproduces the objective; an LP optimum satisfies the optimality conditions.
    double calc = 0;
    ASSERT_EQ(KLVOcalcobjective(prob, nullptr, &calc), 0);
    EXPECT_NEAR(calc, value, 1e-6 * std::max(1.0, std::fabs(value)));
    if (!inst.mip) expect_lp_optimal(prob);
  }
}

TEST_F(LimitsTest, ResolveAfterSmallChangesStartsFromThePreviousBasis) {
  DenseModel m = transport(30, 40, 7);
  load(prob, m);
  ASSERT_EQ(solve(prob, "d"), KLVO_SOLSTATUS_OPTIMAL);
  int cold = int_attr(prob, KLVO_ATTR_SIMPLEXITER);
  ASSERT_GT(cold, 20);

  // One right-hand side, one cost and one bound changed: a handful of iterations.
  int row = 0, col = 3;
  double rhs = m.rhs[0] + 1, obj = m.obj[3] + 5, ub = 15;
  char upper = 'U';
  ASSERT_EQ(KLVOchgrhs(prob, 1, &row, &rhs), 0);
  ASSERT_EQ(KLVOchgobj(prob, 1, &col, &obj), 0);
  ASSERT_EQ(KLVOchgbounds(prob, 1, &col, &upper, &ub), 0);
  ASSERT_EQ(solve(prob, "d"), KLVO_SOLSTATUS_OPTIMAL);
  int warm = int_attr(prob, KLVO_ATTR_SIMPLEXITER);
  double warm_value = dbl_attr(prob, KLVO_ATTR_LPOBJVAL);

  // The same changed model from scratch gives the same optimum with many more iterations.
  DenseModel changed = m;
  changed.rhs[0] = rhs;
  changed.obj[3] = obj;
  changed.ub.assign(m.obj.size(), KLVO_INFINITY);
  changed.ub[3] = ub;
  KLVOprob other = fresh();
  load(other, changed);
  ASSERT_EQ(solve(other, "d"), KLVO_SOLSTATUS_OPTIMAL);
  EXPECT_NEAR(dbl_attr(other, KLVO_ATTR_LPOBJVAL), warm_value, 1e-6);
  int fresh_iters = int_attr(other, KLVO_ATTR_SIMPLEXITER);
  EXPECT_LT(warm * 4, fresh_iters) << "warm " << warm << ", cold " << fresh_iters;
  EXPECT_LE(warm, 10);

  // Unchanged model: no iterations at all.
  ASSERT_EQ(solve(prob, "d"), KLVO_SOLSTATUS_OPTIMAL);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_SIMPLEXITER), 0);
}

TEST_F(LimitsTest, IterationLimitStopsAnLpWithOrWithoutAFeasiblePoint) {
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_PRESOLVE, KLVO_PRESOLVE_NONE), 0);
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_LPITERLIMIT, 2), 0);
  // Demands to meet: the slack basis is infeasible, two dual iterations cannot fix it.
  load(prob, transport(12, 15, 3));
  EXPECT_EQ(solve(prob, "d"), KLVO_SOLSTATUS_NOTFOUND);
  expect_stopped(prob, KLVO_STOP_ITERLIMIT, KLVO_ATTR_LPSTATUS, KLVO_LP_UNFINISHED);
  EXPECT_LE(int_attr(prob, KLVO_ATTR_SIMPLEXITER), 2);

  // A packing LP: the primal simplex starts feasible and stays so.
  DenseModel packing = multi_knapsack(5, 40, 11);
  packing.coltype.clear();
  packing.ub.assign(40, 1.0);
  load(prob, packing);
  EXPECT_EQ(solve(prob, "p"), KLVO_SOLSTATUS_FEASIBLE);
  expect_stopped(prob, KLVO_STOP_ITERLIMIT, KLVO_ATTR_LPSTATUS, KLVO_LP_UNFINISHED);
  auto x = vec(prob, KLVOgetsolution, 40, KLVO_SOLSTATUS_FEASIBLE);
  auto slack = vec(prob, KLVOgetslacks, 5, KLVO_SOLSTATUS_FEASIBLE);
  for (double s : slack) EXPECT_GE(s, -1e-6);
  int status = -1;
  std::vector<double> y(5);
  ASSERT_EQ(KLVOgetduals(prob, &status, y.data(), 0, 4), 0);
  EXPECT_EQ(status, KLVO_SOLSTATUS_NOTFOUND);
  // Lifting the limit finishes the job.
  ASSERT_EQ(KLVOsetdefaultcontrol(prob, KLVO_CONTROL_LPITERLIMIT), 0);
  EXPECT_EQ(solve(prob, "p"), KLVO_SOLSTATUS_OPTIMAL);
}

TEST_F(LimitsTest, NodeLimitStopsAMipWithItsBestSolution) {
  load(prob, multi_knapsack(10, 60, 5));
  ASSERT_EQ(KLVOsetintcontrol64(prob, KLVO_CONTROL_MAXNODE, 2), 0);
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_OUTPUTLOG, KLVO_OUTPUT_NONE), 0);
  EXPECT_EQ(solve(prob), KLVO_SOLSTATUS_FEASIBLE);
  expect_stopped(prob, KLVO_STOP_NODELIMIT, KLVO_ATTR_MIPSTATUS, KLVO_MIP_SOLUTION);
  int64_t nodes = 0;
  ASSERT_EQ(KLVOgetintattrib64(prob, KLVO_ATTR_NODES, &nodes), 0);
  EXPECT_LE(nodes, 2);
  // Maximising: the best bound is above the incumbent, which the solution reproduces.
  double incumbent = dbl_attr(prob, KLVO_ATTR_MIPOBJVAL);
  EXPECT_GT(dbl_attr(prob, KLVO_ATTR_BESTBOUND), incumbent);
  EXPECT_GT(dbl_attr(prob, KLVO_ATTR_MIPRELGAP), 0.0);
  double calc = 0;
  ASSERT_EQ(KLVOcalcobjective(prob, nullptr, &calc), 0);
  EXPECT_NEAR(calc, incumbent, 1e-6);
  std::vector<double> x(60);
  ASSERT_EQ(KLVOgetmipsol(prob, x.data(), nullptr), 0);
}

TEST_F(LimitsTest, LimitsWithoutAnyIntegerSolutionReportNone) {
  load(prob, market_split(4, 40, 1));
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_OUTPUTLOG, KLVO_OUTPUT_NONE), 0);
  ASSERT_EQ(KLVOsetintcontrol64(prob, KLVO_CONTROL_MAXNODE, 1), 0);
  EXPECT_EQ(solve(prob), KLVO_SOLSTATUS_NOTFOUND);
  expect_stopped(prob, KLVO_STOP_NODELIMIT, KLVO_ATTR_MIPSTATUS, KLVO_MIP_NO_SOL_FOUND);
  std::vector<double> x(40);
  EXPECT_EQ(KLVOgetmipsol(prob, x.data(), nullptr), KLVO_ERR_NO_SOLUTION);

  ASSERT_EQ(KLVOsetdefaultcontrol(prob, KLVO_CONTROL_MAXNODE), 0);
  ASSERT_EQ(KLVOsetdblcontrol(prob, KLVO_CONTROL_TIMELIMIT, 0.2), 0);
  auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(solve(prob), KLVO_SOLSTATUS_NOTFOUND);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_LT(seconds, 5.0);
  expect_stopped(prob, KLVO_STOP_TIMELIMIT, KLVO_ATTR_MIPSTATUS, KLVO_MIP_NO_SOL_FOUND);
}

// Solves while another thread keeps asking for an interrupt from the engine's first log line
// on; returns the solution status.
int solve_interrupted(KLVOprob prob, const char *flags) {
  Log log;
  EXPECT_EQ(KLVOaddcbmessage(prob, collect, &log, 0), 0);
  std::atomic<bool> done{false};
  std::thread stopper([&] {
    while (log.count.load() == 0 && !done.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    while (!done.load()) {
      KLVOinterrupt(prob, 1);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  int solstatus = solve(prob, flags);
  done = true;
  stopper.join();
  EXPECT_EQ(KLVOremovecbmessage(prob, collect, &log), 0);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_SOLVESTATUS), KLVO_SOLVESTATUS_STOPPED);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_STOPSTATUS), KLVO_STOP_INTERRUPT);
  return solstatus;
}

TEST_F(LimitsTest, InterruptFromAnotherThreadStopsTheSimplexTheInteriorPointAndTheSearch) {
  // A sparse covering LP (min c'x, Ax >= b, A >= 0) that takes the engine a while.
  const int rows = 3000, cols = 12000, per_col = 6;
  std::mt19937 rng(4);
  std::uniform_int_distribution<int> pick(0, rows - 1);
  std::uniform_real_distribution<double> coef(1.0, 10.0);
  std::vector<int> start{0}, rowind;
  std::vector<double> value, obj(cols), rhs(rows);
  for (int j = 0; j < cols; ++j) {
    std::vector<int> rs;
    while (static_cast<int>(rs.size()) < per_col) {
      int r = pick(rng);
      if (std::find(rs.begin(), rs.end(), r) == rs.end()) rs.push_back(r);
    }
    std::sort(rs.begin(), rs.end());
    for (int r : rs) rowind.push_back(r), value.push_back(coef(rng));
    start.push_back(static_cast<int>(rowind.size()));
    obj[j] = 10 * coef(rng);
  }
  for (double &b : rhs) b = 10 * coef(rng);
  std::vector<char> rowtype(rows, 'G');
  for (const char *flags : {"d", "b"}) {
    SCOPED_TRACE(flags);
    ASSERT_EQ(KLVOloadlp(prob, "cover", cols, rows, rowtype.data(), rhs.data(), nullptr, obj.data(), start.data(),
                         nullptr, rowind.data(), value.data(), nullptr, nullptr),
              0);
    EXPECT_NE(solve_interrupted(prob, flags), KLVO_SOLSTATUS_OPTIMAL);
    EXPECT_EQ(int_attr(prob, KLVO_ATTR_LPSTATUS), KLVO_LP_UNFINISHED);
  }
  load(prob, market_split(4, 40, 2));
  EXPECT_EQ(solve_interrupted(prob, ""), KLVO_SOLSTATUS_NOTFOUND);
  // A later solve is not stopped by the old request.
  load(prob, transport(3, 4, 1));
  EXPECT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
}

TEST_F(LimitsTest, EngineLogReachesTheMessageCallbacksAtTheChosenLevel) {
  Log log;
  ASSERT_EQ(KLVOaddcbmessage(prob, collect, &log, 0), 0);
  load(prob, transport(4, 5, 9));
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  EXPECT_GT(log.count.load(), 0);
  EXPECT_NE(log.text.find("HiGHS"), std::string::npos);
  EXPECT_EQ(log.text.find("\n\n\n"), std::string::npos) << "lines arrive whole, without their newline";

  EXPECT_EQ(log.debug.load(), 0);

  // The detailed level adds the engine's debug messages.
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_OUTPUTLOG, KLVO_OUTPUT_DETAILED), 0);
  load(prob, transport(5, 5, 9));
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  EXPECT_GT(log.debug.load(), 0);

  for (int level : {KLVO_OUTPUT_NONE, KLVO_OUTPUT_ERRORS}) {
    log.count = 0;
    ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_OUTPUTLOG, level), 0);
    ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
    EXPECT_EQ(log.count.load(), 0) << "level " << level;
  }
  KLVOremovecbmessage(prob, collect, &log);
}

// With HiGHS's MIP solver forced, what it cannot take is refused and the model kept; the
// automatic choice sends the same models to the library's own search.
TEST_F(LimitsTest, WhatTheForcedMipEngineCannotTakeIsRefusedAndTheModelKept) {
  DenseModel m;
  m.obj = {1, 1};
  m.rowtype = {'L', 'G'};
  m.rhs = {4, 1};
  m.rows = {{1, 0}, {1, 1}};
  load(prob, m);
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_MIPSEARCH, KLVO_MIPSEARCH_ENGINE), 0);
  // Refused by `solver` with all the given words in the message, the model unchanged.
  auto refused = [&](KLVOprob p, int (*solver)(KLVOprob, const char *), std::vector<std::string> words) {
    Snapshot before = snapshot(p);
    int solvestatus = int_attr(p, KLVO_ATTR_SOLVESTATUS);
    EXPECT_EQ(solver(p, ""), KLVO_ERR_NOT_SUPPORTED);
    for (const std::string &w : words) EXPECT_NE(error(p).find(w), std::string::npos) << error(p);
    Snapshot after = snapshot(p);
    EXPECT_TRUE(before == after) << diff(before, after);
    EXPECT_EQ(int_attr(p, KLVO_ATTR_SOLVESTATUS), solvestatus);
  };
  auto optimize = [](KLVOprob p, const char *flags) { return KLVOoptimize(p, flags, nullptr, nullptr); };
  // A quadratic row with an integer column (without, it goes to the nonlinear solver).
  int c0 = 0, c1 = 1, row = 1, comp = 1, setidx = 0;
  double half = 0.5;
  char integer = 'I', continuous = 'C', binary = 'B', partial = 'P';
  ASSERT_EQ(KLVOaddqmatrix64(prob, 0, 1, &c0, &c1, &half), 0);
  ASSERT_EQ(KLVOchgcoltype(prob, 1, &c0, &integer), 0);
  refused(prob, optimize, {"quadratic constraints", "HiGHS's MIP solver"});
  ASSERT_EQ(KLVOdelqmatrix(prob, 0), 0);
  ASSERT_EQ(KLVOchgcoltype(prob, 1, &c0, &continuous), 0);
  // A special ordered set: refused by the MIP solve, its relaxation still solves.
  const char settype = '1';
  const int64_t setstart[2] = {0, 2};
  const double refval[2] = {1, 2};
  ASSERT_EQ(KLVOaddsets64(prob, 1, 2, &settype, setstart, std::vector<int>{0, 1}.data(), refval), 0);
  refused(prob, KLVOmipoptimize, {"special ordered sets (1)"});
  EXPECT_EQ(KLVOlpoptimize(prob, ""), 0);
  ASSERT_EQ(KLVOdelsets(prob, 1, &setidx), 0);
  // An indicator and a partially integer column, named together.
  ASSERT_EQ(KLVOchgcoltype(prob, 1, &c0, &binary), 0);
  ASSERT_EQ(KLVOsetindicators(prob, 1, &row, &c0, &comp), 0);
  ASSERT_EQ(KLVOchgcoltype(prob, 1, &c1, &partial), 0);
  refused(prob, optimize, {"indicator constraints (1)", "partially integer columns (1)"});
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_MIPSEARCH, KLVO_MIPSEARCH_AUTOMATIC), 0);
  EXPECT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);

  // Integer columns with a quadratic objective; the continuous relaxation is a convex QP and
  // solves: min x^2 - x - y, x + y <= 3.
  KLVOprob miqp = fresh();
  m = DenseModel();
  m.obj = {-1, -1};
  m.rowtype = {'L'};
  m.rhs = {3};
  m.rows = {{1, 1}};
  m.coltype = {'I', 'C'};
  load(miqp, m);
  ASSERT_EQ(KLVOchgqobj(miqp, 0, 0, 2.0), 0);
  ASSERT_EQ(KLVOsetintcontrol(miqp, KLVO_CONTROL_MIPSEARCH, KLVO_MIPSEARCH_ENGINE), 0);
  refused(miqp, optimize, {"a quadratic objective"});
  ASSERT_EQ(KLVOlpoptimize(miqp, ""), 0);
  EXPECT_EQ(int_attr(miqp, KLVO_ATTR_LPSTATUS), KLVO_LP_OPTIMAL);
  EXPECT_NEAR(dbl_attr(miqp, KLVO_ATTR_LPOBJVAL), -3.0, 1e-5);
  ASSERT_EQ(KLVOsetintcontrol(miqp, KLVO_CONTROL_MIPSEARCH, KLVO_MIPSEARCH_AUTOMATIC), 0);
  EXPECT_EQ(solve(miqp), KLVO_SOLSTATUS_OPTIMAL);
  EXPECT_NEAR(dbl_attr(miqp, KLVO_ATTR_MIPOBJVAL), -3.0, 1e-6);
}
