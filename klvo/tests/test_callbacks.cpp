// Solver events: registration order and removal, and the events a HiGHS solve fires, checked
// against the published optima and against the model itself (objective and slacks recomputed
// from the solution a callback reads).
#include <atomic>
#include <mutex>
#include <set>
#include <thread>

#include "test_support.h"

using namespace klvo_test;

namespace {

class CallbackTest : public ProblemTest {
 protected:
  void load(const char *name, KLVOprob p = nullptr) { read_instance(p ? p : prob, name); }
  int solve(const char *flags = "") { return klvo_test::solve(prob, flags); }
};

// What the callbacks of a test saw, in order.
struct Trace {
  std::vector<std::string> calls;
  void add(std::string s) { calls.push_back(std::move(s)); }
};

int log_named(KLVOprob, void *data) {
  auto *names = static_cast<std::pair<Trace *, const char *> *>(data);
  names->first->add(names->second);
  return 0;
}

}  // namespace

TEST_F(CallbackTest, RegistrationsRunInPriorityOrderAndRemovalTakesEffectAtOnce) {
  load("flugpl.mps");
  Trace trace;
  std::pair<Trace *, const char *> low{&trace, "low"}, first5{&trace, "first5"}, second5{&trace, "second5"},
      mid{&trace, "mid"};
  ASSERT_EQ(KLVOaddcbmiplog(prob, log_named, &low, -1), 0);
  ASSERT_EQ(KLVOaddcbmiplog(prob, log_named, &first5, 5), 0);
  ASSERT_EQ(KLVOaddcbmiplog(prob, log_named, &mid, 0), 0);
  ASSERT_EQ(KLVOaddcbmiplog(prob, log_named, &second5, 5), 0);
  // The first registration called removes the lowest one: it is not called even in the
  // firing that was under way.
  struct Remover {
    KLVOprob prob;
    void *victim;
    int calls = 0;
  } remover{prob, &low};
  auto remove_low = [](KLVOprob p, void *data) {
    auto *r = static_cast<Remover *>(data);
    if (r->calls++ == 0) EXPECT_EQ(KLVOremovecbmiplog(p, log_named, r->victim), 0);
    return 0;
  };
  ASSERT_EQ(KLVOaddcbmiplog(prob, remove_low, &remover, 9), 0);
  ASSERT_EQ(solve(), KLVO_SOLSTATUS_OPTIMAL);
  ASSERT_GE(trace.calls.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(trace.calls.begin(), trace.calls.begin() + 3),
            (std::vector<std::string>{"first5", "second5", "mid"}));
  EXPECT_EQ(std::count(trace.calls.begin(), trace.calls.end(), "low"), 0);
  EXPECT_EQ(trace.calls.size() % 3, 0u);

  // Wildcards: data NULL removes every registration of the function; the function NULL every
  // registration; a named function that is not registered is an error.
  EXPECT_EQ(KLVOremovecbmiplog(prob, log_named, nullptr), 0);
  EXPECT_EQ(KLVOremovecbmiplog(prob, log_named, &mid), KLVO_ERR_CALLBACK);
  EXPECT_EQ(KLVOremovecbmiplog(prob, nullptr, nullptr), 0);
  EXPECT_EQ(KLVOremovecbmiplog(prob, nullptr, nullptr), 0);
  trace.calls.clear();
  remover.calls = 0;
  ASSERT_EQ(solve(), KLVO_SOLSTATUS_OPTIMAL);
  EXPECT_TRUE(trace.calls.empty());
  EXPECT_EQ(remover.calls, 0);
  EXPECT_EQ(KLVOaddcbmiplog(prob, nullptr, nullptr, 0), KLVO_ERR_INVALID_ARGUMENT);
}

namespace {

struct Incumbents {
  std::vector<double> obj;
  std::vector<double> cost;
  std::vector<char> rowtype;
  std::vector<double> reported;
  int64_t nodes = -1;
  bool nodes_monotone = true, refused_change = true;
};

void on_intsol(KLVOprob p, void *data) {
  auto *s = static_cast<Incumbents *>(data);
  int n = ncols(p), m = nrows(p);
  std::vector<double> x(n), slack(m);
  int status = 0;
  ASSERT_EQ(KLVOgetcallbacksolution(p, &status, x.data(), 0, n - 1), 0);
  ASSERT_EQ(status, KLVO_SOLSTATUS_FEASIBLE);
  ASSERT_EQ(KLVOgetcallbackslacks(p, &status, slack.data(), 0, m - 1), 0);
  double obj = 0;
  for (int j = 0; j < n; ++j) obj += s->cost[j] * x[j];
  s->obj.push_back(obj);
  s->reported.push_back(dbl_attr(p, KLVO_ATTR_MIPOBJVAL));
  // The solution satisfies every row.
  for (int i = 0; i < m; ++i) {
    double sl = slack[i];
    bool ok = s->rowtype[i] == 'L' ? sl >= -1e-6 : s->rowtype[i] == 'G' ? sl <= 1e-6 : s->rowtype[i] == 'E' ? std::fabs(sl) <= 1e-6 : true;
    EXPECT_TRUE(ok) << "row " << i << " slack " << sl;
  }
  int64_t nodes = 0;
  EXPECT_EQ(KLVOgetintattrib64(p, KLVO_ATTR_NODES, &nodes), 0);
  if (nodes < s->nodes) s->nodes_monotone = false;
  s->nodes = nodes;
  // A callback may read but not change or re-solve the problem.
  int col = 0;
  double c = 1;
  if (KLVOchgobj(p, 1, &col, &c) != KLVO_ERR_BUSY) s->refused_change = false;
  if (KLVOlpoptimize(p, "") != KLVO_ERR_BUSY) s->refused_change = false;
}

}  // namespace

TEST_F(CallbackTest, IntsolGivesEachImprovingSolutionDownToThePublishedOptimum) {
  load("lseu.mps");
  Incumbents s;
  int n = ncols(prob), m = nrows(prob);
  s.cost.resize(n);
  s.rowtype.resize(m);
  ASSERT_EQ(KLVOgetobj(prob, s.cost.data(), 0, n - 1), 0);
  ASSERT_EQ(KLVOgetrowtype(prob, s.rowtype.data(), 0, m - 1), 0);
  ASSERT_EQ(KLVOaddcbintsol(prob, on_intsol, &s, 0), 0);
  ASSERT_EQ(solve(), KLVO_SOLSTATUS_OPTIMAL);
  ASSERT_FALSE(s.obj.empty());
  for (size_t k = 0; k < s.obj.size(); ++k) {
    EXPECT_NEAR(s.obj[k], s.reported[k], 1e-6 * std::max(1.0, std::fabs(s.obj[k])));
    if (k) EXPECT_LT(s.obj[k], s.obj[k - 1] + 1e-9);
  }
  EXPECT_NEAR(s.obj.back(), 1120, 1e-6 * 1120);
  EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_MIPOBJVAL), s.obj.back(), 1e-6 * 1120);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_MIPSOLS), static_cast<int>(s.obj.size()));
  EXPECT_TRUE(s.nodes_monotone);
  EXPECT_TRUE(s.refused_change);
}

TEST_F(CallbackTest, CallbacksStopTheSolve) {
  // checktime asking to stop after a few calls: the search ends early, interrupted.
  load("bell5.mps");
  struct Clock {
    int calls = 0, after_stop = 0;
  } clock;
  auto checktime = [](KLVOprob, void *data) {
    auto *c = static_cast<Clock *>(data);
    if (c->calls >= 20) ++c->after_stop;
    return ++c->calls >= 20 ? 1 : 0;
  };
  ASSERT_EQ(KLVOaddcbchecktime(prob, checktime, &clock, 0), 0);
  solve();
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_SOLVESTATUS), KLVO_SOLVESTATUS_STOPPED);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_STOPSTATUS), KLVO_STOP_INTERRUPT);
  EXPECT_LE(clock.after_stop, 3);
  ASSERT_EQ(KLVOremovecbchecktime(prob, nullptr, nullptr), 0);

  // KLVOinterrupt from the first incumbent: the solve keeps that one solution.
  auto interrupt = [](KLVOprob p, void *) { EXPECT_EQ(KLVOinterrupt(p, 1), 0); };
  ASSERT_EQ(KLVOaddcbintsol(prob, interrupt, nullptr, 0), 0);
  EXPECT_EQ(solve(), KLVO_SOLSTATUS_FEASIBLE);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_SOLVESTATUS), KLVO_SOLVESTATUS_STOPPED);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_STOPSTATUS), KLVO_STOP_INTERRUPT);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_MIPSOLS), 1);
}

TEST_F(CallbackTest, GapNotifyFiresAtEachTargetItSets) {
  load("bell5.mps");
  ASSERT_EQ(KLVOsetdblcontrol(prob, KLVO_CONTROL_MIPRELGAPNOTIFY, 0.5), 0);
  struct Gaps {
    std::vector<double> seen, targets;
  } gaps;
  auto notify = [](KLVOprob p, void *data, double *rel, double *abs, double *absobj, double *absbound) {
    auto *g = static_cast<Gaps *>(data);
    g->targets.push_back(*rel);
    g->seen.push_back(dbl_attr(p, KLVO_ATTR_MIPRELGAP));
    EXPECT_LT(*abs, 0);
    EXPECT_GE(std::fabs(*absobj), KLVO_INFINITY);
    EXPECT_GE(std::fabs(*absbound), KLVO_INFINITY);
    *rel = g->seen.back() / 4;  // be told again when the gap has shrunk fourfold
  };
  ASSERT_EQ(KLVOaddcbgapnotify(prob, notify, &gaps, 0), 0);
  ASSERT_EQ(solve(), KLVO_SOLSTATUS_OPTIMAL);
  ASSERT_GE(gaps.seen.size(), 2u);
  EXPECT_EQ(gaps.targets[0], 0.5);
  for (size_t k = 0; k < gaps.seen.size(); ++k) {
    EXPECT_LE(gaps.seen[k], gaps.targets[k]);
    if (k) EXPECT_EQ(gaps.targets[k], gaps.seen[k - 1] / 4);
  }
  EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_MIPOBJVAL), 8966406.49152, 1e-6 * 8966406.49152);
}

namespace {

void record(KLVOprob, void *data, const char *what) { static_cast<Trace *>(data)->add(what); }

}  // namespace

TEST_F(CallbackTest, StageEventsFrameTheSolveAndLogEventsFollowTheAlgorithm) {
  load("adlittle.mps");
  Trace trace;
  ASSERT_EQ(KLVOaddcbbeforeobjective(prob, [](KLVOprob p, void *d) { record(p, d, "before"); }, &trace, 0), 0);
  ASSERT_EQ(KLVOaddcbafterobjective(prob, [](KLVOprob p, void *d) {
              record(p, d, "after");
              // The stage's solution is readable and has the published optimum.
              EXPECT_NEAR(dbl_attr(p, KLVO_ATTR_LPOBJVAL), 225494.96316, 1e-3);
            }, &trace, 0), 0);
  ASSERT_EQ(KLVOaddcbpresolve(prob, [](KLVOprob p, void *d) { record(p, d, "presolve"); }, &trace, 0), 0);
  ASSERT_EQ(KLVOaddcblplog(prob, [](KLVOprob p, void *d) { return record(p, d, "lplog"), 0; }, &trace, 0), 0);
  ASSERT_EQ(KLVOaddcbbarlog(prob, [](KLVOprob p, void *d) { return record(p, d, "barlog"), 0; }, &trace, 0), 0);
  std::vector<int> iterations;
  ASSERT_EQ(KLVOaddcbbariteration(prob, [](KLVOprob p, void *d, int *action) {
              static_cast<std::vector<int> *>(d)->push_back(int_attr(p, KLVO_ATTR_BARITER));
              EXPECT_EQ(*action, 0);
            }, &iterations, 0), 0);

  ASSERT_EQ(KLVOlpoptimize(prob, ""), 0) << error();  // simplex
  const auto &c = trace.calls;
  ASSERT_GE(c.size(), 3u);
  EXPECT_EQ(c.front(), "before");
  EXPECT_EQ(c.back(), "after");
  EXPECT_EQ(std::count(c.begin(), c.end(), "presolve"), 1);
  EXPECT_GT(std::count(c.begin(), c.end(), "lplog"), 0);
  EXPECT_EQ(std::count(c.begin(), c.end(), "barlog"), 0);
  EXPECT_TRUE(iterations.empty());

  trace.calls.clear();
  ASSERT_EQ(KLVOlpoptimize(prob, "b"), 0) << error();  // barrier
  EXPECT_GT(std::count(c.begin(), c.end(), "barlog"), 0);
  EXPECT_EQ(std::count(c.begin(), c.end(), "lplog"), 0);
  ASSERT_GE(iterations.size(), 3u);
  for (size_t k = 1; k < iterations.size(); ++k) EXPECT_GT(iterations[k], iterations[k - 1]);
  EXPECT_EQ(iterations.back(), int_attr(prob, KLVO_ATTR_BARITER));

  // Asking the barrier to stop at its third iteration.
  ASSERT_EQ(KLVOremovecbbariteration(prob, nullptr, nullptr), 0);
  ASSERT_EQ(KLVOremovecbafterobjective(prob, nullptr, nullptr), 0);
  ASSERT_EQ(KLVOaddcbbariteration(prob, [](KLVOprob p, void *, int *action) {
              if (int_attr(p, KLVO_ATTR_BARITER) >= 3) *action = 1;
            }, nullptr, 0), 0);
  ASSERT_EQ(KLVOlpoptimize(prob, "b"), 0) << error();
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_LPSTATUS), KLVO_LP_UNFINISHED);
  EXPECT_LE(int_attr(prob, KLVO_ATTR_BARITER), 4);
}

TEST_F(CallbackTest, UserSolutionsAreToldWhatBecameOfThem) {
  load("bell5.mps");
  ASSERT_EQ(solve(), KLVO_SOLSTATUS_OPTIMAL);
  int n = ncols(prob);
  std::vector<double> best(n), bad(n, 0.5);
  ASSERT_EQ(KLVOgetsolution(prob, nullptr, best.data(), 0, n - 1), 0);
  ASSERT_EQ(KLVOaddmipsol(prob, n, best.data(), nullptr, "best"), 0);
  ASSERT_EQ(KLVOaddmipsol(prob, n, bad.data(), nullptr, "fractional"), 0);
  std::map<std::string, int> told;
  ASSERT_EQ(KLVOaddcbusersolnotify(prob, [](KLVOprob, void *d, const char *name, int status) {
              (*static_cast<std::map<std::string, int> *>(d))[name] = status;
            }, &told, 0), 0);
  ASSERT_EQ(solve(), KLVO_SOLSTATUS_OPTIMAL);
  EXPECT_EQ(told, (std::map<std::string, int>{{"best", KLVO_USERSOL_ACCEPTED}, {"fractional", KLVO_USERSOL_INFEASIBLE}}));

  // A solution given from a callback goes to the running solve, not to the next one: it is
  // reported on by this solve and left out of the following one.
  told.clear();
  ASSERT_EQ(KLVOaddcbbeforeobjective(prob, [](KLVOprob p, void *d) {
              auto *x = static_cast<std::vector<double> *>(d);
              EXPECT_EQ(KLVOaddmipsol(p, static_cast<int>(x->size()), x->data(), nullptr, "heuristic"), 0);
            }, &bad, 0), 0);
  ASSERT_EQ(solve(), KLVO_SOLSTATUS_OPTIMAL);
  ASSERT_EQ(told.size(), 1u);
  EXPECT_NE(told.count("heuristic"), 0u);
  EXPECT_EQ(told["heuristic"], KLVO_USERSOL_INFEASIBLE);
  ASSERT_EQ(KLVOremovecbbeforeobjective(prob, nullptr, nullptr), 0);
  told.clear();
  ASSERT_EQ(solve(), KLVO_SOLSTATUS_OPTIMAL);
  EXPECT_TRUE(told.empty());
}

TEST_F(CallbackTest, ConcurrentSolvesEachAnswerForTheirOwnProblem) {
  // Two problems solved at once on two threads: each callback's queries see its own search.
  KLVOprob other = fresh();
  load("lseu.mps");
  load("egout.mps", other);
  struct Seen {
    KLVOprob expected;
    std::atomic<int> calls{0}, wrong{0};
  } a, b;
  a.expected = prob, b.expected = other;
  auto on_intsol = [](KLVOprob p, void *d) {
    auto *s = static_cast<Seen *>(d);
    if (p != s->expected) ++s->wrong;
    int status = 0;
    double x;
    if (KLVOgetcallbacksolution(p, &status, &x, 0, 0) != 0 || status != KLVO_SOLSTATUS_FEASIBLE) ++s->wrong;
    ++s->calls;
  };
  ASSERT_EQ(KLVOaddcbintsol(prob, on_intsol, &a, 0), 0);
  ASSERT_EQ(KLVOaddcbintsol(other, on_intsol, &b, 0), 0);
  auto run = [](KLVOprob p) { EXPECT_EQ(KLVOoptimize(p, "", nullptr, nullptr), 0); };
  std::thread ta(run, prob), tb(run, other);
  ta.join();
  tb.join();
  EXPECT_GT(a.calls.load(), 0);
  EXPECT_GT(b.calls.load(), 0);
  EXPECT_EQ(a.wrong.load() + b.wrong.load(), 0);
  EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_MIPOBJVAL), 1120, 1e-6 * 1120);
  EXPECT_NEAR(dbl_attr(other, KLVO_ATTR_MIPOBJVAL), 568.1007, 1e-6 * 568.1007);
}

// Node events of the library's own search, which a MIP with node callbacks is routed to.
namespace {

struct NodeEvents {
  std::set<int> prenodes, optnodes, created;
  int newnodes = 0, orphans = 0, repeats = 0, intsols = 0, rejected = 0, max_depth = 0;
};

int current(KLVOprob p, int attr) { return int_attr(p, attr); }

}  // namespace

TEST_F(CallbackTest, OwnSearchFiresNodeEventsWithConsistentNumbersAndObeysThem) {
  DenseModel m = multi_knapsack(2, 14, 7);
  klvo_test::load(prob, m);
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_OUTPUTLOG, KLVO_OUTPUT_NONE), 0);
  NodeEvents ev;
  ASSERT_EQ(KLVOaddcbprenode(prob, [](KLVOprob p, void *d, int *) {
    auto *e = static_cast<NodeEvents *>(d);
    int node = current(p, KLVO_ATTR_CURRENTNODE);
    // The root and every node created by newnode, each solved once.
    if (node != 1 && !e->created.count(node)) ++e->orphans;
    if (!e->prenodes.insert(node).second) ++e->repeats;
    e->max_depth = std::max(e->max_depth, current(p, KLVO_ATTR_NODEDEPTH));
  }, &ev, 0), 0);
  ASSERT_EQ(KLVOaddcboptnode(prob, [](KLVOprob p, void *d, int *) {
    static_cast<NodeEvents *>(d)->optnodes.insert(current(p, KLVO_ATTR_CURRENTNODE));
  }, &ev, 0), 0);
  ASSERT_EQ(KLVOaddcbnewnode(prob, [](KLVOprob, void *d, int parent, int node, int) {
    auto *e = static_cast<NodeEvents *>(d);
    ++e->newnodes;
    if (!e->prenodes.count(parent)) ++e->orphans;
    if (!e->created.insert(node).second) ++e->repeats;
  }, &ev, 0), 0);
  ASSERT_EQ(KLVOaddcbintsol(prob, [](KLVOprob, void *d) { ++static_cast<NodeEvents *>(d)->intsols; }, &ev, 0), 0);
  ASSERT_EQ(solve(), KLVO_SOLSTATUS_OPTIMAL);
  EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_MIPOBJVAL), enumerate_binary_max(m), 1e-6);
  EXPECT_GT(ev.newnodes, 0);
  EXPECT_EQ(ev.orphans, 0);
  EXPECT_EQ(ev.repeats, 0);
  EXPECT_GT(ev.max_depth, 1);
  EXPECT_EQ(static_cast<int>(ev.prenodes.size()), int_attr(prob, KLVO_ATTR_NODES));
  EXPECT_TRUE(std::includes(ev.prenodes.begin(), ev.prenodes.end(), ev.optnodes.begin(), ev.optnodes.end()));
  EXPECT_EQ(ev.intsols, int_attr(prob, KLVO_ATTR_MIPSOLS));

  // HiGHS's MIP solver cannot fire them: forcing it is refused.
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_MIPSEARCH, KLVO_MIPSEARCH_ENGINE), 0);
  EXPECT_EQ(KLVOoptimize(prob, "", nullptr, nullptr), KLVO_ERR_NOT_SUPPORTED);
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_MIPSEARCH, KLVO_MIPSEARCH_AUTOMATIC), 0);
  ASSERT_EQ(KLVOremovecbprenode(prob, nullptr, nullptr), 0);
  ASSERT_EQ(KLVOremovecboptnode(prob, nullptr, nullptr), 0);
  ASSERT_EQ(KLVOremovecbnewnode(prob, nullptr, nullptr), 0);

  // Every candidate rejected: the search ends without an incumbent.
  ASSERT_EQ(KLVOaddcbpreintsol(prob, [](KLVOprob, void *d, int, int *reject, double *) {
    ++static_cast<NodeEvents *>(d)->rejected;
    *reject = 1;
  }, &ev, 0), 0);
  ev = NodeEvents();
  EXPECT_NE(solve(), KLVO_SOLSTATUS_OPTIMAL);
  EXPECT_GT(ev.rejected, 0);
  EXPECT_EQ(ev.intsols, 0);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_MIPSOLS), 0);
  ASSERT_EQ(KLVOremovecbpreintsol(prob, nullptr, nullptr), 0);

  // Every node below the root declared infeasible: only the root is explored.
  ASSERT_EQ(KLVOaddcboptnode(prob, [](KLVOprob p, void *, int *infeasible) {
    if (current(p, KLVO_ATTR_NODEDEPTH) > 1) *infeasible = 1;
  }, nullptr, 0), 0);
  solve();
  EXPECT_LE(int_attr(prob, KLVO_ATTR_NODES), 3);  // the root and its two children at most
}
