// Multistart: the six-hump camel function's global minimum found where the start at the origin
// stays at a stationary point, the events with their job objects and statuses, job controls,
// reproducible results whatever the thread count, and refused jobs that leave no trace.
#include <cmath>
#include <mutex>
#include <string>
#include <vector>

#include "test_support.h"

using namespace klvo_test;

namespace {

constexpr int kMsWinner = 12650;
// Published global minimum of the six-hump camel function, at (0.0898, -0.7126) and its mirror.
constexpr double kCamelMin = -1.0316284535;

double camel(double x, double y) {
  return (4 - 2.1 * x * x + std::pow(x, 4) / 3) * x * x + x * y + (-4 + 4 * y * y) * y * y;
}

void build_camel(NlpProblem &p) {
  p.columns(2, {-3, -2}, {3, 2});
  p.objective(C(4) * pow(X(0), 2.0) - C(2.1) * pow(X(0), 4.0) + pow(X(0), 6.0) / C(3) + X(0) * X(1) -
              C(4) * pow(X(1), 2.0) + C(4) * pow(X(1), 4.0));
}

// What the multistart events saw.
struct Seen {
  std::mutex mutex;
  std::vector<std::string> events;  // "start:A", "end:A", "winner:B", ...
  std::string skip_at_start, drop_at_end;
  std::vector<int> iterations;  // per ended job, read from its own layer
};

std::string name_of(void *job) { return job ? static_cast<const char *>(job) : "?"; }

int on_start(KSLPprob, void *data, void *job, const char *description, int *status) {
  auto *s = static_cast<Seen *>(data);
  std::lock_guard<std::mutex> lock(s->mutex);
  s->events.push_back("start:" + name_of(job) + ":" + description);
  if (s->skip_at_start == "*" || s->skip_at_start == name_of(job)) *status = 1;
  return 0;
}

int on_end(KSLPprob slp, void *data, void *job, const char *, int *status) {
  auto *s = static_cast<Seen *>(data);
  int iterations = -1;
  KSLPgetintattrib(slp, 12180, &iterations);
  std::lock_guard<std::mutex> lock(s->mutex);
  s->events.push_back("end:" + name_of(job));
  s->iterations.push_back(iterations);
  if (s->drop_at_end == name_of(job)) *status = 1;
  return 0;
}

int on_winner(KSLPprob, void *data, void *job, const char *) {
  auto *s = static_cast<Seen *>(data);
  std::lock_guard<std::mutex> lock(s->mutex);
  s->events.push_back("winner:" + name_of(job));
  return 0;
}

int count(const std::vector<std::string> &v, const std::string &what) {
  int n = 0;
  for (const auto &e : v) n += e.rfind(what, 0) == 0;
  return n;
}

char kSaddle[] = "saddle", kGlobal[] = "global", kLocal[] = "local";

// Three jobs from hand-picked points: the origin (a stationary point), one in the basin of a
// global minimum and one in the basin of the local minimum near (-1.70, 0.80).
void add_three_jobs(NlpProblem &p) {
  int cols[2] = {0, 1};
  double origin[2] = {0, 0}, near_global[2] = {0.1, -0.7}, near_local[2] = {-1.7, 0.8};
  ASSERT_EQ(KSLPmsaddjob(p.slp, "origin", 2, cols, origin, 0, nullptr, nullptr, 0, nullptr, nullptr, kSaddle), 0)
      << p.slp_error();
  ASSERT_EQ(KSLPmsaddjob(p.slp, "near global", 2, cols, near_global, 0, nullptr, nullptr, 0, nullptr, nullptr,
                         kGlobal),
            0);
  ASSERT_EQ(KSLPmsaddjob(p.slp, "near local", 2, cols, near_local, 0, nullptr, nullptr, 0, nullptr, nullptr, kLocal),
            0);
}

}  // namespace

TEST(Multistart, CamelGlobalMinimumWhereTheOriginStaysAtAStationaryPoint) {
  NlpProblem p;
  build_camel(p);
  // One start from the origin: its gradient is zero there, so the solve ends where it began.
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0) << p.error();
  double single = p.objval();
  EXPECT_NEAR(single, 0.0, 1e-6);
  EXPECT_EQ(p.int_attr(kMsWinner), 0);

  ASSERT_EQ(KSLPmsaddpreset(p.slp, "latin", KSLP_MSPRESET_LATIN, 12, nullptr), 0) << p.slp_error();
  EXPECT_EQ(p.optimize(), 1);
  EXPECT_NEAR(p.objval(), kCamelMin, 1e-7);
  std::vector<double> x = p.x();
  // The reported point is the problem's own solution and is one of the two global minima.
  EXPECT_NEAR(camel(x[0], x[1]), kCamelMin, 1e-7);
  EXPECT_NEAR(std::fabs(x[0]), 0.0898, 1e-3);
  EXPECT_NEAR(std::fabs(x[1]), 0.7126, 1e-3);
  EXPECT_LT(x[0] * x[1], 0.0);
  int winner = p.int_attr(kMsWinner);
  EXPECT_GE(winner, 1);
  EXPECT_LE(winner, 12);
  double objval = 0;
  ASSERT_EQ(KLVOgetdblattrib(p.prob, KLVO_ATTR_LPOBJVAL, &objval), 0);
  EXPECT_NEAR(objval, kCamelMin, 1e-7);

  // The same jobs on one thread and on four give the same winner.
  for (int threads : {1, 4}) {
    ASSERT_EQ(KLVOsetintcontrol(p.prob, KLVO_CONTROL_THREADS, threads), 0);
    ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0) << p.error();
    EXPECT_EQ(p.int_attr(kMsWinner), winner) << threads << " threads";
    EXPECT_NEAR(p.objval(), kCamelMin, 1e-7);
  }

  // Without jobs the solve is a single start again.
  ASSERT_EQ(KSLPmsclear(p.slp), 0);
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0);
  EXPECT_NEAR(p.objval(), single, 1e-9);
  EXPECT_EQ(p.int_attr(kMsWinner), 0);
}

TEST(Multistart, EventsCarryTheJobObjectsAndTheirStatusesDecide) {
  NlpProblem p;
  build_camel(p);
  add_three_jobs(p);
  Seen seen;
  ASSERT_EQ(KSLPsetcbmsjobstart(p.slp, on_start, &seen), 0);
  ASSERT_EQ(KSLPsetcbmsjobend(p.slp, on_end, &seen), 0);
  ASSERT_EQ(KSLPsetcbmswinner(p.slp, on_winner, &seen), 0);
  ASSERT_EQ(KLVOsetintcontrol(p.prob, KLVO_CONTROL_THREADS, 2), 0);

  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0) << p.error();
  EXPECT_EQ(seen.events.size(), 7u);
  for (const char *job : {"saddle", "global", "local"}) {
    // Each job starts, then ends, once.
    int started = -1, ended = -1;
    for (size_t k = 0; k < seen.events.size(); ++k) {
      if (seen.events[k].rfind(std::string("start:") + job, 0) == 0) started = static_cast<int>(k);
      if (seen.events[k] == std::string("end:") + job) ended = static_cast<int>(k);
    }
    EXPECT_GE(started, 0) << job;
    EXPECT_GT(ended, started) << job;
  }
  EXPECT_EQ(count(seen.events, "start:global:near global"), 1);
  EXPECT_EQ(seen.events.back(), "winner:global");
  EXPECT_EQ(p.int_attr(kMsWinner), 2);
  EXPECT_NEAR(p.objval(), kCamelMin, 1e-7);

  // A job set aside at its end cannot win: the local minimum (-0.2155) is the best left.
  seen.events.clear();
  seen.drop_at_end = "global";
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0) << p.error();
  EXPECT_EQ(seen.events.back(), "winner:local");
  EXPECT_EQ(p.int_attr(kMsWinner), 3);
  std::vector<double> x = p.x();
  EXPECT_NEAR(p.objval(), camel(x[0], x[1]), 1e-9);
  EXPECT_NEAR(p.objval(), -0.2154638244, 1e-6);

  // Skipped jobs do not run; when all are skipped the problem's own start decides.
  seen.events.clear();
  seen.drop_at_end.clear();
  seen.skip_at_start = "*";
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0) << p.error();
  EXPECT_EQ(count(seen.events, "start:"), 3);
  EXPECT_EQ(count(seen.events, "end:"), 0);
  EXPECT_EQ(count(seen.events, "winner:"), 0);
  EXPECT_EQ(p.int_attr(kMsWinner), 0);
  EXPECT_NEAR(p.objval(), 0.0, 1e-6);
}

TEST(Multistart, JobControlsApplyToTheirJobOnly) {
  NlpProblem p;
  build_camel(p);
  Seen seen;
  ASSERT_EQ(KSLPsetcbmsjobend(p.slp, on_end, &seen), 0);
  ASSERT_EQ(KLVOsetintcontrol(p.prob, KLVO_CONTROL_THREADS, 1), 0);
  int cols[2] = {0, 1};
  double near_global[2] = {0.3, -0.5};
  int iterlimit = kSlpIterLimit, none = 0;
  // The first job may take no iteration: it ends unfinished and loses to the second.
  ASSERT_EQ(KSLPmsaddjob(p.slp, "capped", 2, cols, near_global, 1, &iterlimit, &none, 0, nullptr, nullptr, kSaddle),
            0)
      << p.slp_error();
  ASSERT_EQ(KSLPmsaddjob(p.slp, "free", 2, cols, near_global, 0, nullptr, nullptr, 0, nullptr, nullptr, kGlobal), 0);
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0) << p.error();
  ASSERT_EQ(seen.iterations.size(), 2u);
  EXPECT_EQ(seen.iterations[0], 0);
  EXPECT_GT(seen.iterations[1], 0);
  EXPECT_EQ(p.int_attr(kMsWinner), 2);
  EXPECT_NEAR(p.objval(), kCamelMin, 1e-7);
  // The problem's own control is untouched.
  int own = -1;
  ASSERT_EQ(KSLPgetintcontrol(p.slp, kSlpIterLimit, &own), 0);
  EXPECT_EQ(own, 3000);
}

TEST(Multistart, RefusedJobsAddNothing) {
  NlpProblem p;
  build_camel(p);
  int col = 0, bad_col = 2, log_id = kSlpLog, too_high = 9, unknown = 4242, one = 1;
  double value = 1.0, nan = std::nan("");
  auto refused = [&](int rc, const char *what) {
    EXPECT_NE(rc, 0) << what;
    EXPECT_FALSE(p.slp_error().empty()) << what;
  };
  refused(KSLPmsaddjob(p.slp, "c", 1, &bad_col, &value, 0, nullptr, nullptr, 0, nullptr, nullptr, nullptr),
          "column out of range");
  refused(KSLPmsaddjob(p.slp, "n", 1, &col, &nan, 0, nullptr, nullptr, 0, nullptr, nullptr, nullptr), "NaN value");
  refused(KSLPmsaddjob(p.slp, "l", 0, nullptr, nullptr, 1, &log_id, &too_high, 0, nullptr, nullptr, nullptr),
          "control value out of range");
  refused(KSLPmsaddjob(p.slp, "u", 0, nullptr, nullptr, 1, &unknown, &one, 0, nullptr, nullptr, nullptr),
          "unknown control");
  refused(KSLPmsaddjob(p.slp, "d", 0, nullptr, nullptr, 0, nullptr, nullptr, 1, &log_id, &value, nullptr),
          "integer control given as double");
  refused(KSLPmsaddjob(p.slp, "z", 1, nullptr, nullptr, 0, nullptr, nullptr, 0, nullptr, nullptr, nullptr),
          "null arrays");
  refused(KSLPmsaddpreset(p.slp, "p", 9, 3, nullptr), "unknown preset");
  refused(KSLPmsaddpreset(p.slp, "p", KSLP_MSPRESET_RANDOM, 0, nullptr), "no jobs");
  refused(KSLPmsaddpreset(p.slp, "p", KSLP_MSPRESET_CONTROLS, 9, nullptr), "more variations than there are");
  refused(KSLPmsaddcustompreset(p.slp, "p", KSLP_MSPRESET_RANDOM, 2, 1, &bad_col, &value, 0, nullptr, nullptr, 0,
                                nullptr, nullptr, nullptr),
          "custom column out of range");
  // Nothing was registered: the solve is the single start from the origin.
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0) << p.error();
  EXPECT_EQ(p.int_attr(kMsWinner), 0);
  EXPECT_NEAR(p.objval(), 0.0, 1e-6);
}

TEST(Multistart, JobsOutliveAReplacedModelWithFewerColumns) {
  NlpProblem p;
  p.columns(2, {-3, -2}, {3, 2});
  int cols[2] = {0, 1};
  double at[2] = {0.5, -0.5};
  ASSERT_EQ(KSLPmsaddjob(p.slp, "plain", 2, cols, at, 0, nullptr, nullptr, 0, nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(KSLPmsaddcustompreset(p.slp, "box", KSLP_MSPRESET_RANDOM, 3, 2, cols, at, 0, nullptr, nullptr, 0, nullptr,
                                  nullptr, nullptr),
            0);
  // One column left: min (x - 0.25)^2 over [-1, 1]; the second column's values are dropped.
  double obj = 0, lb = -1, ub = 1;
  int start[2] = {0, 0}, rowind = 0;
  double coef = 0;
  ASSERT_EQ(KLVOloadlp(p.prob, "one", 1, 0, nullptr, nullptr, nullptr, &obj, start, nullptr, &rowind, &coef, &lb, &ub),
            0)
      << p.error();
  p.objective(pow(X(0) - 0.25, 2.0));
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0) << p.error();
  EXPECT_NEAR(p.x()[0], 0.25, 1e-6);
  EXPECT_GE(p.int_attr(kMsWinner), 1);
}
