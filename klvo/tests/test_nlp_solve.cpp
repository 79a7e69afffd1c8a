// Nonlinear solving: Hock-Schittkowski problems to their published optima, a convex QCQP,
// sign conventions of duals, reduced costs and slacks, and the non-optimal outcomes.
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "nlp_test_util.h"

using namespace nlptest;

namespace {

const double kPi = 3.14159265358979323846;

void expect_optimum(NlpProblem &p, double published) {
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0) << p.error();
  ASSERT_EQ(p.status(), 1) << "status " << p.status();
  double tol = 1e-6 * std::max(1.0, std::fabs(published));
  EXPECT_NEAR(p.objval(), published, tol);
}

void start(NlpProblem &p, std::vector<double> x0) {
  std::vector<int> cols(x0.size());
  for (size_t j = 0; j < x0.size(); ++j) cols[j] = static_cast<int>(j);
  ASSERT_EQ(KLVOnlpsetinitval(p.prob, static_cast<int>(x0.size()), cols.data(), x0.data()), 0) << p.error();
}

TEST(HockSchittkowski, Hs004PowerWithBounds) {
  NlpProblem p;
  p.columns(2, {1, 0});
  p.objective(pow(X(0) + 1.0, 3.0) / C(3) + X(1));
  start(p, {1.125, 0.125});
  expect_optimum(p, 8.0 / 3.0);
}

TEST(HockSchittkowski, Hs005SineWithBounds) {
  NlpProblem p;
  p.columns(2, {-1.5, -3}, {4, 3}, {-1.5, 2.5});
  p.objective(sin(X(0) + X(1)) + pow(X(0) - X(1), 2.0) + 1.0);
  expect_optimum(p, -std::sqrt(3.0) / 2 - kPi / 3);
}

TEST(HockSchittkowski, Hs007LogAndEquality) {
  NlpProblem p;
  p.columns(2, {}, {}, {0, -1});
  p.objective(log(C(1) + pow(X(0), 2.0)));
  Ex g = pow(C(1) + pow(X(0), 2.0), 2.0) + pow(X(1), 2.0);
  p.row('E', 4, &g);
  start(p, {2, 2});
  expect_optimum(p, -std::sqrt(3.0));
}

TEST(HockSchittkowski, Hs009SineCosineWithLinearEquality) {
  NlpProblem p;
  p.columns(2);
  p.objective(sin(C(kPi / 12) * X(0)) * cos(C(kPi / 16) * X(1)));
  p.row('E', 0, nullptr, {{0, 4}, {1, -3}});
  expect_optimum(p, -0.5);
}

TEST(HockSchittkowski, Hs010QuadraticInequality) {
  NlpProblem p;
  p.columns(2, {}, {}, {1, -1});
  Ex g = C(-3) * pow(X(0), 2.0) + C(2) * X(0) * X(1) - pow(X(1), 2.0);
  p.row('G', -1, &g);
  start(p, {-10, 10});
  expect_optimum(p, -1.0);
}

TEST(HockSchittkowski, Hs011) {
  NlpProblem p;
  p.columns(2);
  p.objective(pow(X(0) - 5.0, 2.0) + pow(X(1), 2.0) - 25.0);
  Ex g = -pow(X(0), 2.0);
  p.row('G', 0, &g, {{1, 1}});
  start(p, {4.9, 0.1});
  expect_optimum(p, -8.498464223);
}

TEST(HockSchittkowski, Hs035QuadraticWithLinearRowAndBounds) {
  NlpProblem p;
  p.columns(3, {0, 0, 0}, {}, {-8, -6, -4});
  p.objective(C(9) + C(2) * pow(X(0), 2.0) + C(2) * pow(X(1), 2.0) + pow(X(2), 2.0) + C(2) * X(0) * X(1) +
              C(2) * X(0) * X(2));
  p.row('L', 3, nullptr, {{0, 1}, {1, 1}, {2, 2}});
  start(p, {0.5, 0.5, 0.5});
  expect_optimum(p, 1.0 / 9.0);
}

TEST(HockSchittkowski, Hs039TwoCubicEqualities) {
  NlpProblem p;
  p.columns(4, {}, {}, {-1, 0, 0, 0});
  Ex g1 = X(1) - pow(X(0), 3.0) - pow(X(2), 2.0);
  Ex g2 = pow(X(0), 2.0) - X(1) - pow(X(3), 2.0);
  p.row('E', 0, &g1);
  p.row('E', 0, &g2);
  start(p, {2, 2, 2, 2});
  expect_optimum(p, -1.0);
}

TEST(HockSchittkowski, Hs040ProductObjective) {
  NlpProblem p;
  p.columns(4);
  p.objective(-nary(12, PROD, {X(0), X(1), X(2), X(3)}));
  Ex g1 = pow(X(0), 3.0) + pow(X(1), 2.0);
  Ex g2 = pow(X(0), 2.0) * X(3) - X(2);
  Ex g3 = pow(X(3), 2.0) - X(1);
  p.row('E', 1, &g1);
  p.row('E', 0, &g2);
  p.row('E', 0, &g3);
  start(p, {0.8, 0.8, 0.8, 0.8});
  expect_optimum(p, -0.25);
}

TEST(HockSchittkowski, Hs043RosenSuzuki) {
  NlpProblem p;
  p.columns(4, {}, {}, {-5, -5, -21, 7});
  Ex sq0 = pow(X(0), 2.0), sq1 = pow(X(1), 2.0), sq2 = pow(X(2), 2.0), sq3 = pow(X(3), 2.0);
  p.objective(sq0 + sq1 + C(2) * sq2 + sq3);
  Ex g1 = sq0 + sq1 + sq2 + sq3;
  Ex g2 = sq0 + C(2) * sq1 + sq2 + C(2) * sq3;
  Ex g3 = C(2) * sq0 + sq1 + sq2;
  p.row('L', 8, &g1, {{0, 1}, {1, -1}, {2, 1}, {3, -1}});
  p.row('L', 10, &g2, {{0, -1}, {3, -1}});
  p.row('L', 5, &g3, {{0, 2}, {1, -1}, {3, -1}});
  expect_optimum(p, -44.0);
}

TEST(HockSchittkowski, Hs062LogOfQuotients) {
  NlpProblem p;
  p.columns(3, {0, 0, 0}, {1, 1, 1});
  Ex a = log((X(0) + X(1) + X(2) + 0.03) / (C(0.09) * X(0) + X(1) + X(2) + 0.03));
  Ex b = log((X(1) + X(2) + 0.03) / (C(0.07) * X(1) + X(2) + 0.03));
  Ex c = log((X(2) + 0.03) / (C(0.13) * X(2) + 0.03));
  p.objective(C(-32.174) * (C(255) * a + C(280) * b + C(290) * c));
  p.row('E', 1, nullptr, {{0, 1}, {1, 1}, {2, 1}});
  start(p, {0.7, 0.2, 0.1});
  expect_optimum(p, -26272.51448);
}

TEST(HockSchittkowski, Hs065BoundedWithDivision) {
  NlpProblem p;
  p.columns(3, {-4.5, -4.5, -5}, {4.5, 4.5, 5});
  p.objective(pow(X(0) - X(1), 2.0) + pow(X(0) + X(1) - 10.0, 2.0) / C(9) + pow(X(2) - 5.0, 2.0));
  Ex g = pow(X(0), 2.0) + pow(X(1), 2.0) + pow(X(2), 2.0);
  p.row('L', 48, &g);
  start(p, {-5, 5, 0});
  expect_optimum(p, 0.9535288567);
}

TEST(HockSchittkowski, Hs071) {
  NlpProblem p;
  p.columns(4, {1, 1, 1, 1}, {5, 5, 5, 5}, {0, 0, 1, 0});
  p.objective(X(0) * X(3) * nary(12, SUM, {X(0), X(1), X(2)}));
  Ex g1 = nary(12, PROD, {X(0), X(1), X(2), X(3)});
  Ex g2 = pow(X(0), 2.0) + pow(X(1), 2.0) + pow(X(2), 2.0) + pow(X(3), 2.0);
  p.row('G', 25, &g1);
  p.row('E', 40, &g2);
  start(p, {1, 5, 5, 1});
  expect_optimum(p, 17.0140173);
  std::vector<double> x = p.x();
  EXPECT_NEAR(x[0], 1.0, 1e-6);
  EXPECT_NEAR(x[1], 4.7429994, 1e-5);
  EXPECT_NEAR(x[2], 3.8211503, 1e-5);
  EXPECT_NEAR(x[3], 1.3794082, 1e-5);
}

TEST(HockSchittkowski, Hs078ProductOfFive) {
  NlpProblem p;
  p.columns(5);
  p.objective(nary(12, PROD, {X(0), X(1), X(2), X(3), X(4)}));
  Ex g1 = nary(12, SUM, {pow(X(0), 2.0), pow(X(1), 2.0), pow(X(2), 2.0), pow(X(3), 2.0), pow(X(4), 2.0)});
  Ex g2 = X(1) * X(2) - C(5) * X(3) * X(4);
  Ex g3 = pow(X(0), 3.0) + pow(X(1), 3.0);
  p.row('E', 10, &g1);
  p.row('E', 0, &g2);
  p.row('E', -1, &g3);
  start(p, {-2, 1.5, 2, -1, -1});
  expect_optimum(p, -2.91970041);
}

TEST(HockSchittkowski, Hs080ExponentialObjective) {
  NlpProblem p;
  p.columns(5, {-2.3, -2.3, -3.2, -3.2, -3.2}, {2.3, 2.3, 3.2, 3.2, 3.2});
  p.objective(exp(nary(12, PROD, {X(0), X(1), X(2), X(3), X(4)})));
  Ex g1 = nary(12, SUM, {pow(X(0), 2.0), pow(X(1), 2.0), pow(X(2), 2.0), pow(X(3), 2.0), pow(X(4), 2.0)});
  Ex g2 = X(1) * X(2) - C(5) * X(3) * X(4);
  Ex g3 = pow(X(0), 3.0) + pow(X(1), 3.0);
  p.row('E', 10, &g1);
  p.row('E', 0, &g2);
  p.row('E', -1, &g3);
  start(p, {-2, 2, 2, -1, -1});
  expect_optimum(p, 0.0539498478);
}

// min x + y  s.t.  x^2 + y^2 <= 1 (a quadratic row): optimum -sqrt(2) at -(1, 1)/sqrt(2);
// the optimum as a function of the right-hand side r is -sqrt(2 r), so the dual is -1/sqrt(2).
TEST(ConvexQcqp, QuadraticRowOptimumDualAndSlack) {
  NlpProblem p;
  p.columns(2, {}, {}, {1, 1});
  int r = p.row('L', 1);
  int c1[2] = {0, 1}, c2[2] = {0, 1};
  double q[2] = {1, 1};
  ASSERT_EQ(KLVOaddqmatrix64(p.prob, r, 2, c1, c2, q), 0) << p.error();
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0) << p.error();
  ASSERT_EQ(p.status(), 1);
  EXPECT_NEAR(p.objval(), -std::sqrt(2.0), 1e-7);
  std::vector<double> x(2), slack(1), duals(1), djs(2);
  ASSERT_EQ(KSLPgetslpsol(p.slp, x.data(), slack.data(), duals.data(), djs.data()), 0);
  EXPECT_NEAR(x[0], -1 / std::sqrt(2.0), 1e-6);
  EXPECT_NEAR(slack[0], 0.0, 1e-7);
  EXPECT_NEAR(duals[0], -1 / std::sqrt(2.0), 1e-6);
  EXPECT_NEAR(djs[0], 0.0, 1e-7);
}

// min x^2 + y^2 - 2x - 4y (quadratic objective)  s.t.  x + y <= 1  and a free row x - y:
// optimum -3 at (0, 1); the dual of x + y <= 1 is -2; the free row's slack is rhs - (x - y).
TEST(ConvexQcqp, QuadraticObjectiveWithLinearRow) {
  NlpProblem p;
  p.columns(2, {}, {}, {-2, -4});
  int c[2] = {0, 1};
  double q[2] = {2, 2};
  ASSERT_EQ(KLVOchgmqobj64(p.prob, 2, c, c, q), 0) << p.error();
  p.row('L', 1, nullptr, {{0, 1}, {1, 1}});
  p.row('N', 5, nullptr, {{0, 1}, {1, -1}});
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0) << p.error();
  ASSERT_EQ(p.status(), 1);
  EXPECT_NEAR(p.objval(), -3.0, 1e-7);
  std::vector<double> x(2), slack(2), duals(2);
  ASSERT_EQ(KSLPgetslpsol(p.slp, x.data(), slack.data(), duals.data(), nullptr), 0);
  EXPECT_NEAR(x[0], 0.0, 1e-6);
  EXPECT_NEAR(x[1], 1.0, 1e-6);
  EXPECT_NEAR(duals[0], -2.0, 1e-6);
  EXPECT_NEAR(slack[1], 5 - (x[0] - x[1]), 1e-12);
  EXPECT_EQ(duals[1], 0.0);
}

// Reduced cost at an active bound: min (x + 1)^2 with x >= 0 gives x = 0 and a reduced cost of
// d obj / d lb = 2; maximising x*y with x + y <= 4 gives 4 and a dual of d obj / d rhs = 2.
TEST(SignConventions, ReducedCostAndDualUnderBothSenses) {
  {
    NlpProblem p;
    p.columns(1, {0}, {});
    p.objective(pow(X(0) + 1.0, 2.0));
    ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0);
    ASSERT_EQ(p.status(), 1);
    double dj = 0;
    ASSERT_EQ(KSLPgetslpsol(p.slp, nullptr, nullptr, nullptr, &dj), 0);
    EXPECT_NEAR(dj, 2.0, 1e-6);
  }
  {
    NlpProblem p;
    p.columns(2, {0, 0});
    p.objective(X(0) * X(1));
    p.row('L', 4, nullptr, {{0, 1}, {1, 1}});
    ASSERT_EQ(KSLPsetdblcontrol(p.slp, 12146, -1.0), 0);
    start(p, {1, 1});
    ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0);
    ASSERT_EQ(p.status(), 1);
    EXPECT_NEAR(p.objval(), 4.0, 1e-6);
    double dual = 0;
    ASSERT_EQ(KSLPgetslpsol(p.slp, nullptr, nullptr, &dual, nullptr), 0);
    EXPECT_NEAR(dual, 2.0, 1e-6);
  }
}

TEST(Outcomes, InfeasibleProblemIsLocallyInfeasible) {
  // The disc x^2 + y^2 <= 1 and the half-plane x + y >= 3 do not meet.
  NlpProblem p;
  p.columns(2);
  p.objective(pow(X(0) - 2.0, 2.0) + pow(X(1) - 2.0, 2.0));
  Ex g = pow(X(0), 2.0) + pow(X(1), 2.0);
  p.row('L', 1, &g);
  p.row('G', 3, nullptr, {{0, 1}, {1, 1}});
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0) << p.error();
  EXPECT_EQ(p.status(), 3);
  double viol = 0;
  ASSERT_EQ(KSLPgetdblattrib(p.slp, 12182, &viol), 0);
  EXPECT_GT(viol, 0.1);
  // A sum of squares equal to -1.
  NlpProblem q;
  q.columns(2);
  q.objective(pow(X(0) - 2.0, 2.0) + pow(X(1) - 2.0, 2.0));
  q.row('E', -1, &g);
  ASSERT_EQ(KLVOnlpoptimize(q.prob, nullptr), 0) << q.error();
  EXPECT_EQ(q.status(), 3);
}

TEST(Outcomes, UnboundedObjectiveIsReported) {
  NlpProblem p;
  p.columns(2, {1, -KLVO_INFINITY});
  p.objective(-(X(0) * X(0)) + X(1) - X(1));
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0) << p.error();
  EXPECT_EQ(p.status(), 5);
}

TEST(Outcomes, IterationLimitLeavesUnfinishedStatus) {
  NlpProblem p;
  p.columns(2);
  p.objective(C(100) * pow(X(1) - pow(X(0), 2.0), 2.0) + pow(C(1) - X(0), 2.0));
  start(p, {-1.2, 1});
  ASSERT_EQ(KSLPsetintcontrol(p.slp, 12100, 3), 0);
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0);
  EXPECT_EQ(p.status(), 6);
  int iters = 0;
  ASSERT_EQ(KSLPgetintattrib(p.slp, 12180, &iters), 0);
  EXPECT_EQ(iters, 3);
  // Without the limit the same problem (Rosenbrock) is solved to 0.
  ASSERT_EQ(KSLPsetintcontrol(p.slp, 12100, 3000), 0);
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0);
  EXPECT_EQ(p.status(), 1);
  EXPECT_NEAR(p.objval(), 0.0, 1e-10);
}

TEST(Outcomes, TimeLimitStopsWithItsReason) {
  NlpProblem p;
  p.columns(2);
  p.objective(C(100) * pow(X(1) - pow(X(0), 2.0), 2.0) + pow(C(1) - X(0), 2.0));
  start(p, {-1.2, 1});
  ASSERT_EQ(KSLPsetdblcontrol(p.slp, 12102, 1e-9), 0);
  int solvestatus = -1, solstatus = -1, stop = -1;
  ASSERT_EQ(KLVOoptimize(p.prob, nullptr, &solvestatus, &solstatus), 0) << p.error();
  EXPECT_EQ(p.status(), 6);
  EXPECT_EQ(solvestatus, KLVO_SOLVESTATUS_STOPPED);
  ASSERT_EQ(KLVOgetintattrib(p.prob, KLVO_ATTR_STOPSTATUS, &stop), 0);
  EXPECT_EQ(stop, KLVO_STOP_TIMELIMIT);
}

TEST(Outcomes, StartWhereAFormulaIsUndefinedFailsCleanly) {
  NlpProblem p;
  p.columns(1);
  p.objective(log(X(0)) + pow(X(0), 2.0));
  start(p, {-1});
  int solvestatus = -1, solstatus = -1;
  ASSERT_EQ(KLVOoptimize(p.prob, nullptr, &solvestatus, &solstatus), 0) << p.error();
  EXPECT_EQ(p.status(), 7);
  EXPECT_EQ(solvestatus, KLVO_SOLVESTATUS_FAILED);
  EXPECT_EQ(solstatus, KLVO_SOLSTATUS_NOTFOUND);
  double x = 0;
  int st = -1;
  ASSERT_EQ(KLVOgetsolution(p.prob, &st, &x, 0, 0), 0);
  EXPECT_EQ(st, KLVO_SOLSTATUS_NOTFOUND);
}

std::atomic<int> g_calls{0};
double interrupting(const double *a, void *data) {
  if (++g_calls == 20) KSLPinterrupt(static_cast<KSLPprob>(data), 1);
  return a[0] * a[0] * a[0] * a[0];
}

TEST(Outcomes, InterruptStopsTheSolve) {
  NlpProblem p;
  p.columns(2);
  int id = 0;
  ASSERT_EQ(KSLPadduserfunction(p.slp, "quartic", 2, 1, 1, 0, reinterpret_cast<KSLPuserfunction>(interrupting), p.slp, &id), 0);
  p.objective(nary(11, id, {X(0) - 3.0}) + pow(X(1), 2.0));
  start(p, {-20, 5});
  g_calls = 0;
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0);
  EXPECT_EQ(p.status(), 6);
  int iters = 0;
  KSLPgetintattrib(p.slp, 12180, &iters);
  EXPECT_LT(iters, 10);
}

std::atomic<bool> g_entered{false}, g_interrupted{false};
double waiting(const double *a, void *) {
  // The first evaluation waits (at most 10 s) until the other thread has interrupted.
  if (!g_entered.exchange(true))
    for (int k = 0; k < 10000 && !g_interrupted; ++k) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return a[0] * a[0];
}

TEST(Outcomes, InterruptFromAnotherThreadStopsTheSolve) {
  NlpProblem p;
  p.columns(2);
  int id = 0;
  ASSERT_EQ(KSLPadduserfunction(p.slp, "square", 2, 1, 1, 0, reinterpret_cast<KSLPuserfunction>(waiting), nullptr, &id), 0);
  p.objective(nary(11, id, {X(0) - 3.0}) + C(100) * pow(X(1) - pow(X(0), 2.0), 2.0));
  g_entered = false;
  g_interrupted = false;
  int rc = -1;
  std::thread solver([&] { rc = KLVOnlpoptimize(p.prob, nullptr); });
  while (!g_entered) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(KSLPinterrupt(p.slp, 1), 0);
  g_interrupted = true;
  solver.join();
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(p.status(), 6);
  int stop = 0;
  ASSERT_EQ(KLVOgetintattrib(p.prob, KLVO_ATTR_STOPSTATUS, &stop), 0);
  EXPECT_EQ(stop, KLVO_STOP_INTERRUPT);
}

TEST(Outcomes, DomainErrorsDuringTheSolveAreStepsBackNotFailures) {
  // min x - log(x) over [-10, 10] from x = 5: trial points with x <= 0 fail to evaluate.
  NlpProblem p;
  p.columns(1, {-10}, {10}, {1});
  p.objective(-log(X(0)));
  start(p, {5});
  expect_optimum(p, 1.0);
}

TEST(WarmStart, StartingAtTheOptimumTakesFewerIterations) {
  auto build = [](NlpProblem &p) {
    p.columns(4, {1, 1, 1, 1}, {5, 5, 5, 5}, {0, 0, 1, 0});
    p.objective(X(0) * X(3) * nary(12, SUM, {X(0), X(1), X(2)}));
    Ex g1 = nary(12, PROD, {X(0), X(1), X(2), X(3)});
    Ex g2 = pow(X(0), 2.0) + pow(X(1), 2.0) + pow(X(2), 2.0) + pow(X(3), 2.0);
    p.row('G', 25, &g1);
    p.row('E', 40, &g2);
  };
  NlpProblem cold, warm;
  build(cold);
  build(warm);
  start(cold, {1, 5, 5, 1});
  ASSERT_EQ(KLVOnlpoptimize(cold.prob, nullptr), 0);
  std::vector<double> x = cold.x();
  start(warm, x);
  ASSERT_EQ(KSLPsetdblcontrol(warm.slp, 12701, 1e-6), 0);  // small initial barrier for a warm start
  ASSERT_EQ(KLVOnlpoptimize(warm.prob, nullptr), 0);
  int ic = 0, iw = 0;
  KSLPgetintattrib(cold.slp, 12180, &ic);
  KSLPgetintattrib(warm.slp, 12180, &iw);
  EXPECT_EQ(warm.status(), 1);
  EXPECT_NEAR(warm.objval(), 17.0140173, 2e-5);
  EXPECT_LT(iw, ic);
}

struct Log {
  std::vector<std::string> lines;
};
void collect(KSLPprob, void *data, const char *msg, int len, int) { static_cast<Log *>(data)->lines.emplace_back(msg, len); }

TEST(Messages, EngineLogGoesToTheMessageFunctionAndFollowsTheLogLevel) {
  for (int level : {1, 0}) {
    NlpProblem p;
    Log log;
    ASSERT_EQ(KSLPsetcbmessage(p.slp, collect, &log), 0);
    ASSERT_EQ(KSLPsetintcontrol(p.slp, 12101, level), 0);
    p.columns(2);
    p.objective(pow(X(0) - 1.0, 2.0) + pow(X(1), 2.0));
    ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0);
    bool table = false;
    for (auto &l : log.lines) table = table || l.find("inf_pr") != std::string::npos;
    EXPECT_EQ(table, level == 1) << "log level " << level;
    ASSERT_FALSE(log.lines.empty());
    EXPECT_NE(log.lines.back().find("Nonlinear solve"), std::string::npos);
  }
}

TEST(Messages, TheProblemOutputLevelSilencesTheNonlinearLayer) {
  for (int output : {KLVO_OUTPUT_NONE, KLVO_OUTPUT_ERRORS_AND_WARNINGS, KLVO_OUTPUT_ALL}) {
    NlpProblem p;
    Log log;
    ASSERT_EQ(KSLPsetcbmessage(p.slp, collect, &log), 0);
    ASSERT_EQ(KLVOsetintcontrol(p.prob, KLVO_CONTROL_OUTPUTLOG, output), 0);
    p.columns(1);
    p.objective(pow(X(0) - 2.0, 2.0));
    ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0) << p.error();
    EXPECT_EQ(log.lines.empty(), output != KLVO_OUTPUT_ALL) << "output level " << output;
  }
}

TEST(Messages, BadEngineOptionIsAnErrorNotAPrint) {
  NlpProblem p;
  p.columns(1);
  p.objective(pow(X(0), 2.0));
  ASSERT_EQ(KSLPsetstrcontrol(p.slp, 12106, "no_such_option 3"), 0);
  EXPECT_EQ(KLVOnlpoptimize(p.prob, nullptr), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_NE(p.error().find("no_such_option"), std::string::npos);
  ASSERT_EQ(KSLPsetstrcontrol(p.slp, 12106, "max_iter 2"), 0);
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0) << p.error();
}

}  // namespace

namespace {

// Ten thousand columns with a sparse Hessian: the Hessian structure of many formulas must be
// built in time and memory proportional to its size (a hash of (row, column) pairs that
// ignored the row once made this run out of memory).
TEST(LargeModels, TenThousandColumnsBuildAndSolve) {
  const int n = 10000;
  NlpProblem p;
  p.columns(n);
  ASSERT_EQ(KSLPsetintcontrol(p.slp, 12101, 0), 0);
  // Separable pairs solve quickly; a chain of couplings x_i * x_{i+1} fills the sub-diagonal.
  for (int i = 0; i + 1 < n; i += 2) p.objective(C(100) * pow(X(i + 1) - pow(X(i), 2.0), 2.0) + pow(C(1) - X(i), 2.0));
  for (int i = 1; i + 1 < n; i += 2) p.objective(C(1e-3) * pow(X(i) - X(i + 1), 2.0));
  std::vector<int> cols(n);
  std::vector<double> x0(n);
  for (int j = 0; j < n; ++j) {
    cols[j] = j;
    x0[j] = j % 2 ? 1.0 : -1.2;
  }
  ASSERT_EQ(KLVOnlpsetinitval(p.prob, n, cols.data(), x0.data()), 0);
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0) << p.error();
  EXPECT_EQ(p.status(), 1);
  EXPECT_NEAR(p.objval(), 0.0, 1e-8);
}

}  // namespace
