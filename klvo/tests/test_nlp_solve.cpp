// Nonlinear solving: Hock-Schittkowski problems to their published optima, a convex QCQP whose
// dual matches the finite difference of its optimum, sign conventions, and the non-optimal
// outcomes.
#include <atomic>
#include <chrono>
#include <cmath>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "test_support.h"

using namespace klvo_test;

namespace {

const double kPi = 3.14159265358979323846;

void expect_optimum(NlpProblem &p, double published) {
  ASSERT_EQ(p.optimize(), 1);
  EXPECT_NEAR(p.objval(), published, 1e-6 * std::max(1.0, std::fabs(published)));
}

Ex sq(const Ex &a) { return pow(a, 2.0); }

// The rows shared by HS078 and HS080.
void hs078_rows(NlpProblem &p) {
  Ex g1 = sum({sq(X(0)), sq(X(1)), sq(X(2)), sq(X(3)), sq(X(4))});
  Ex g2 = X(1) * X(2) - C(5) * X(3) * X(4);
  Ex g3 = pow(X(0), 3.0) + pow(X(1), 3.0);
  p.row('E', 10, &g1);
  p.row('E', 0, &g2);
  p.row('E', -1, &g3);
}

void hs071(NlpProblem &p) {
  p.columns(4, {1, 1, 1, 1}, {5, 5, 5, 5}, {0, 0, 1, 0});
  p.objective(X(0) * X(3) * sum({X(0), X(1), X(2)}));
  Ex g1 = prod({X(0), X(1), X(2), X(3)});
  Ex g2 = sq(X(0)) + sq(X(1)) + sq(X(2)) + sq(X(3));
  p.row('G', 25, &g1);
  p.row('E', 40, &g2);
}

struct Hs {
  const char *name;
  double optimum;
  std::function<void(NlpProblem &)> build;
};

const Hs kHockSchittkowski[] = {
    {"Hs004", 8.0 / 3.0,
     [](NlpProblem &p) {
       p.columns(2, {1, 0});
       p.objective(pow(X(0) + 1.0, 3.0) / C(3) + X(1));
       p.start({1.125, 0.125});
     }},
    {"Hs005", -std::sqrt(3.0) / 2 - kPi / 3,
     [](NlpProblem &p) {
       p.columns(2, {-1.5, -3}, {4, 3}, {-1.5, 2.5});
       p.objective(sin(X(0) + X(1)) + sq(X(0) - X(1)) + 1.0);
     }},
    {"Hs007", -std::sqrt(3.0),
     [](NlpProblem &p) {
       p.columns(2, {}, {}, {0, -1});
       p.objective(log(C(1) + sq(X(0))));
       Ex g = sq(C(1) + sq(X(0))) + sq(X(1));
       p.row('E', 4, &g);
       p.start({2, 2});
     }},
    {"Hs009", -0.5,
     [](NlpProblem &p) {
       p.columns(2);
       p.objective(sin(C(kPi / 12) * X(0)) * cos(C(kPi / 16) * X(1)));
       p.row('E', 0, nullptr, {{0, 4}, {1, -3}});
     }},
    {"Hs010", -1.0,
     [](NlpProblem &p) {
       p.columns(2, {}, {}, {1, -1});
       Ex g = C(-3) * sq(X(0)) + C(2) * X(0) * X(1) - sq(X(1));
       p.row('G', -1, &g);
       p.start({-10, 10});
     }},
    {"Hs011", -8.498464223,
     [](NlpProblem &p) {
       p.columns(2);
       p.objective(sq(X(0) - 5.0) + sq(X(1)) - 25.0);
       Ex g = -sq(X(0));
       p.row('G', 0, &g, {{1, 1}});
       p.start({4.9, 0.1});
     }},
    {"Hs035", 1.0 / 9.0,
     [](NlpProblem &p) {
       p.columns(3, {0, 0, 0}, {}, {-8, -6, -4});
       p.objective(C(9) + C(2) * sq(X(0)) + C(2) * sq(X(1)) + sq(X(2)) + C(2) * X(0) * X(1) + C(2) * X(0) * X(2));
       p.row('L', 3, nullptr, {{0, 1}, {1, 1}, {2, 2}});
       p.start({0.5, 0.5, 0.5});
     }},
    {"Hs039", -1.0,
     [](NlpProblem &p) {
       p.columns(4, {}, {}, {-1, 0, 0, 0});
       Ex g1 = X(1) - pow(X(0), 3.0) - sq(X(2)), g2 = sq(X(0)) - X(1) - sq(X(3));
       p.row('E', 0, &g1);
       p.row('E', 0, &g2);
       p.start({2, 2, 2, 2});
     }},
    {"Hs040", -0.25,
     [](NlpProblem &p) {
       p.columns(4);
       p.objective(-prod({X(0), X(1), X(2), X(3)}));
       Ex g1 = pow(X(0), 3.0) + sq(X(1)), g2 = sq(X(0)) * X(3) - X(2), g3 = sq(X(3)) - X(1);
       p.row('E', 1, &g1);
       p.row('E', 0, &g2);
       p.row('E', 0, &g3);
       p.start({0.8, 0.8, 0.8, 0.8});
     }},
    {"Hs043", -44.0,
     [](NlpProblem &p) {
       p.columns(4, {}, {}, {-5, -5, -21, 7});
       Ex s0 = sq(X(0)), s1 = sq(X(1)), s2 = sq(X(2)), s3 = sq(X(3));
       p.objective(s0 + s1 + C(2) * s2 + s3);
       Ex g1 = s0 + s1 + s2 + s3, g2 = s0 + C(2) * s1 + s2 + C(2) * s3, g3 = C(2) * s0 + s1 + s2;
       p.row('L', 8, &g1, {{0, 1}, {1, -1}, {2, 1}, {3, -1}});
       p.row('L', 10, &g2, {{0, -1}, {3, -1}});
       p.row('L', 5, &g3, {{0, 2}, {1, -1}, {3, -1}});
     }},
    {"Hs062", -26272.51448,
     [](NlpProblem &p) {
       p.columns(3, {0, 0, 0}, {1, 1, 1});
       Ex a = log((X(0) + X(1) + X(2) + 0.03) / (C(0.09) * X(0) + X(1) + X(2) + 0.03));
       Ex b = log((X(1) + X(2) + 0.03) / (C(0.07) * X(1) + X(2) + 0.03));
       Ex c = log((X(2) + 0.03) / (C(0.13) * X(2) + 0.03));
       p.objective(C(-32.174) * (C(255) * a + C(280) * b + C(290) * c));
       p.row('E', 1, nullptr, {{0, 1}, {1, 1}, {2, 1}});
       p.start({0.7, 0.2, 0.1});
     }},
    {"Hs065", 0.9535288567,
     [](NlpProblem &p) {
       p.columns(3, {-4.5, -4.5, -5}, {4.5, 4.5, 5});
       p.objective(sq(X(0) - X(1)) + sq(X(0) + X(1) - 10.0) / C(9) + sq(X(2) - 5.0));
       Ex g = sq(X(0)) + sq(X(1)) + sq(X(2));
       p.row('L', 48, &g);
       p.start({-5, 5, 0});
     }},
    {"Hs071", 17.0140173,
     [](NlpProblem &p) {
       hs071(p);
       p.start({1, 5, 5, 1});
     }},
    {"Hs078", -2.91970041,
     [](NlpProblem &p) {
       p.columns(5);
       p.objective(prod({X(0), X(1), X(2), X(3), X(4)}));
       hs078_rows(p);
       p.start({-2, 1.5, 2, -1, -1});
     }},
    {"Hs080", 0.0539498478,
     [](NlpProblem &p) {
       p.columns(5, {-2.3, -2.3, -3.2, -3.2, -3.2}, {2.3, 2.3, 3.2, 3.2, 3.2});
       p.objective(exp(prod({X(0), X(1), X(2), X(3), X(4)})));
       hs078_rows(p);
       p.start({-2, 2, 2, -1, -1});
     }},
};

class HockSchittkowski : public ::testing::TestWithParam<Hs> {};

// The interior-point engine (the default) and the successive-linearisation engine both reach the
// published optimum, and their multipliers agree.
TEST_P(HockSchittkowski, BothEnginesReachThePublishedOptimumWithTheSameDuals) {
  const int kSolver = 12417;
  std::vector<double> x[2], duals[2], djs[2];
  for (int engine : {0, 1}) {
    NlpProblem p;
    GetParam().build(p);
    ASSERT_EQ(KSLPsetintcontrol(p.slp, kSolver, engine), 0);
    ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0) << p.error();
    ASSERT_EQ(p.status(), 1) << "engine " << engine;
    EXPECT_NEAR(p.objval(), GetParam().optimum, 1e-6 * std::max(1.0, std::fabs(GetParam().optimum)))
        << "engine " << engine;
    int n = p.int_attr(kSlpCols), m = p.int_attr(kSlpRows);
    x[engine].resize(n), djs[engine].resize(n), duals[engine].resize(m);
    ASSERT_EQ(KSLPgetslpsol(p.slp, x[engine].data(), nullptr, duals[engine].data(), djs[engine].data()), 0);
  }
  for (size_t i = 0; i < duals[0].size(); ++i)
    EXPECT_NEAR(duals[1][i], duals[0][i], 1e-4 * std::max(1.0, std::fabs(duals[0][i]))) << "row " << i;
  for (size_t j = 0; j < djs[0].size(); ++j)
    EXPECT_NEAR(djs[1][j], djs[0][j], 1e-4 * std::max(1.0, std::fabs(djs[0][j]))) << "column " << j;
}

INSTANTIATE_TEST_SUITE_P(Problems, HockSchittkowski, ::testing::ValuesIn(kHockSchittkowski),
                         [](const ::testing::TestParamInfo<Hs> &info) { return std::string(info.param.name); });

// min x + y  s.t.  x^2 + y^2 <= r (a quadratic row): optimum -sqrt(2 r) at -(1, 1) sqrt(r / 2).
// Solved through KLVOoptimize with and without a layer handle; the dual must match the finite
// difference of the optimum in r.
TEST(ConvexQcqp, QuadraticRowOptimumAndDualMatchTheirClosedFormAndFiniteDifference) {
  for (bool layer : {true, false}) {
    SCOPED_TRACE(layer ? "with a layer handle" : "without");
    ASSERT_EQ(KLVOinit(nullptr), 0);
    if (layer) ASSERT_EQ(KSLPinit(), 0);
    KLVOprob prob = nullptr;
    KSLPprob slp = nullptr;
    ASSERT_EQ(KLVOcreateprob(&prob), 0);
    if (layer) ASSERT_EQ(KSLPcreateprob(&slp, &prob), 0);
    double obj[2] = {1, 1}, lb[2] = {-kInf, -kInf}, ub[2] = {kInf, kInf}, q[2] = {1, 1};
    ASSERT_EQ(KLVOaddcols(prob, 2, 0, obj, nullptr, nullptr, nullptr, lb, ub), 0);
    char type = 'L';
    int row = 0, c[2] = {0, 1};
    double r = 2, h = 1e-4;
    ASSERT_EQ(KLVOaddrows(prob, 1, 0, &type, &r, nullptr, nullptr, nullptr, nullptr), 0);
    ASSERT_EQ(KLVOaddqmatrix64(prob, 0, 2, c, c, q), 0);
    ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
    EXPECT_EQ(int_attr(prob, KLVO_ATTR_OPTIMIZETYPE), KLVO_OPTTYPE_NLP);
    auto x = vec(prob, KLVOgetsolution, 2, KLVO_SOLSTATUS_OPTIMAL);
    double dual = vec(prob, KLVOgetduals, 1, KLVO_SOLSTATUS_OPTIMAL)[0];
    double slack = vec(prob, KLVOgetslacks, 1, KLVO_SOLSTATUS_OPTIMAL)[0];
    double f = dbl_attr(prob, KLVO_ATTR_OBJVAL);
    EXPECT_NEAR(x[0], -1.0, 1e-6);
    EXPECT_NEAR(f, -2.0, 1e-7);
    EXPECT_NEAR(dual, -0.5, 1e-6);
    EXPECT_NEAR(slack, 0.0, 1e-7);
    r += h;
    ASSERT_EQ(KLVOchgrhs(prob, 1, &row, &r), 0);
    ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
    EXPECT_NEAR((dbl_attr(prob, KLVO_ATTR_OBJVAL) - f) / h, dual, 1e-4);
    if (layer) KSLPdestroyprob(slp);
    KLVOdestroyprob(prob);
    if (layer) KSLPfree();
    KLVOfree();
  }
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
  expect_optimum(p, -3.0);
  std::vector<double> x(2), slack(2), duals(2);
  ASSERT_EQ(KSLPgetslpsol(p.slp, x.data(), slack.data(), duals.data(), nullptr), 0);
  expect_near(x, {0, 1}, 1e-6);
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
    p.objective(sq(X(0) + 1.0));
    expect_optimum(p, 1.0);
    double dj = 0;
    ASSERT_EQ(KSLPgetslpsol(p.slp, nullptr, nullptr, nullptr, &dj), 0);
    EXPECT_NEAR(dj, 2.0, 1e-6);
  }
  NlpProblem p;
  p.columns(2, {0, 0});
  p.objective(X(0) * X(1));
  p.row('L', 4, nullptr, {{0, 1}, {1, 1}});
  ASSERT_EQ(KSLPsetdblcontrol(p.slp, kSlpObjSense, -1.0), 0);
  p.start({1, 1});
  expect_optimum(p, 4.0);
  double dual = 0;
  ASSERT_EQ(KSLPgetslpsol(p.slp, nullptr, nullptr, &dual, nullptr), 0);
  EXPECT_NEAR(dual, 2.0, 1e-6);
}

TEST(Outcomes, InfeasibleProblemIsLocallyInfeasible) {
  // The disc x^2 + y^2 <= 1 and the half-plane x + y >= 3 do not meet; nor is a sum of
  // squares -1.
  for (bool equality : {false, true}) {
    NlpProblem p;
    p.columns(2);
    p.objective(sq(X(0) - 2.0) + sq(X(1) - 2.0));
    Ex g = sq(X(0)) + sq(X(1));
    p.row(equality ? 'E' : 'L', equality ? -1 : 1, &g);
    if (!equality) p.row('G', 3, nullptr, {{0, 1}, {1, 1}});
    int solvestatus = -1, solstatus = -1;
    ASSERT_EQ(KLVOoptimize(p.prob, "", &solvestatus, &solstatus), 0) << p.error();
    EXPECT_EQ(p.status(), 3);
    EXPECT_EQ(solvestatus, KLVO_SOLVESTATUS_COMPLETED);
    EXPECT_EQ(solstatus, KLVO_SOLSTATUS_INFEASIBLE);
    double viol = 0;
    ASSERT_EQ(KSLPgetdblattrib(p.slp, 12182, &viol), 0);
    EXPECT_GT(viol, 0.1);
  }
}

TEST(Outcomes, UnboundedObjectiveIsReported) {
  NlpProblem p;
  p.columns(2, {1, -KLVO_INFINITY});
  p.objective(-(X(0) * X(0)) + X(1) - X(1));
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0) << p.error();
  EXPECT_EQ(p.status(), 5);
}

TEST(Outcomes, IterationAndTimeLimitsStopWithTheirReason) {
  NlpProblem p;
  p.columns(2);
  p.objective(C(100) * sq(X(1) - sq(X(0))) + sq(C(1) - X(0)));  // Rosenbrock
  p.start({-1.2, 1});
  ASSERT_EQ(KSLPsetintcontrol(p.slp, kSlpIterLimit, 3), 0);
  int solvestatus = -1, solstatus = -1;
  ASSERT_EQ(KLVOoptimize(p.prob, "", &solvestatus, &solstatus), 0);
  EXPECT_EQ(p.status(), 6);
  EXPECT_EQ(p.iterations(), 3);
  EXPECT_EQ(solvestatus, KLVO_SOLVESTATUS_STOPPED);
  EXPECT_EQ(int_attr(p.prob, KLVO_ATTR_STOPSTATUS), KLVO_STOP_ITERLIMIT);
  ASSERT_EQ(KSLPsetintcontrol(p.slp, kSlpIterLimit, 3000), 0);
  ASSERT_EQ(KSLPsetdblcontrol(p.slp, kSlpTimeLimit, 1e-9), 0);
  ASSERT_EQ(KLVOoptimize(p.prob, nullptr, &solvestatus, &solstatus), 0) << p.error();
  EXPECT_EQ(p.status(), 6);
  EXPECT_EQ(solvestatus, KLVO_SOLVESTATUS_STOPPED);
  EXPECT_EQ(int_attr(p.prob, KLVO_ATTR_STOPSTATUS), KLVO_STOP_TIMELIMIT);
  // Without limits the same problem is solved to 0.
  ASSERT_EQ(KSLPsetdblcontrol(p.slp, kSlpTimeLimit, 0), 0);
  expect_optimum(p, 0.0);
}

TEST(Outcomes, StartWhereAFormulaIsUndefinedFailsCleanly) {
  NlpProblem p;
  p.columns(1);
  p.objective(log(X(0)) + sq(X(0)));
  p.start({-1});
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

TEST(Outcomes, DomainErrorsDuringTheSolveAreStepsBackNotFailures) {
  // min x - log(x) over [-10, 10] from x = 5: trial points with x <= 0 fail to evaluate.
  NlpProblem p;
  p.columns(1, {-10}, {10}, {1});
  p.objective(-log(X(0)));
  p.start({5});
  expect_optimum(p, 1.0);
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
  p.objective(nary(11, id, {X(0) - 3.0}) + C(100) * sq(X(1) - sq(X(0))));
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
  EXPECT_EQ(int_attr(p.prob, KLVO_ATTR_STOPSTATUS), KLVO_STOP_INTERRUPT);
}

TEST(Threads, ProblemsSolvedAtOnceInSeveralThreadsEachReachTheirOptimum) {
  // The engine's sparse factorisation keeps process-wide state: solves in other threads must
  // not run through it at the same time.
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([] {
      for (int k = 0; k < 8; ++k) {
        NlpProblem p;
        hs071(p);
        expect_optimum(p, 17.0140173);
      }
    });
  for (std::thread &t : threads) t.join();
}

TEST(WarmStart, StartingAtTheOptimumTakesFewerIterations) {
  NlpProblem cold, warm;
  hs071(cold);
  hs071(warm);
  cold.start({1, 5, 5, 1});
  expect_optimum(cold, 17.0140173);
  std::vector<double> x = cold.x();
  expect_near(x, {1, 4.7429994, 3.8211503, 1.3794082}, 1e-5);
  warm.start(x);
  ASSERT_EQ(KSLPsetdblcontrol(warm.slp, 12701, 1e-6), 0);  // small initial barrier for a warm start
  expect_optimum(warm, 17.0140173);
  EXPECT_LT(warm.iterations(), cold.iterations());
}

// The objective held in an auxiliary column (objective coefficient `c`) that an equality row
// determines: the engine must solve the same problem as with the objective given directly,
// taking the same iterations to the same point, while the stored model's column gets the
// objective's value and its row the dual that leaves the free column a zero reduced cost.
void objective_in_auxiliary_column(NlpProblem &p, int ncols, const Ex &f, double c) {
  std::vector<double> lb(ncols + 1, -KLVO_INFINITY), ub(ncols + 1, KLVO_INFINITY), obj(ncols + 1, 0.0);
  obj[ncols] = c;
  ASSERT_EQ(KLVOaddcols(p.prob, ncols + 1, 0, obj.data(), nullptr, nullptr, nullptr, lb.data(), ub.data()), 0);
  int aux = ncols;
  int row = p.row('E', 0, &f, {{aux, -2.0}});
  ASSERT_EQ(KSLPchgvar(p.slp, aux, &row, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr),
            0);
}

TEST(DeterminedColumns, AuxiliaryObjectiveColumnIsSubstitutedAwayFromTheEngine) {
  // Rosenbrock: the objective is a sum of squares with optimum 0 at (1, 1).
  Ex rosen = C(100) * sq(X(1) - sq(X(0))) + sq(C(1) - X(0));
  NlpProblem direct, aux;
  direct.columns(2);
  direct.objective(rosen);
  direct.start({-1.2, 1});
  objective_in_auxiliary_column(aux, 2, rosen, 2.0);
  aux.start({-1.2, 1});
  expect_optimum(direct, 0.0);
  expect_optimum(aux, 0.0);
  EXPECT_EQ(aux.iterations(), direct.iterations());
  EXPECT_GE(aux.objval(), 0.0);  // a sum of squares, evaluated at the solution
  std::vector<double> x = aux.x(), duals(1), djs(3);
  ASSERT_EQ(KSLPgetslpsol(aux.slp, nullptr, nullptr, duals.data(), djs.data()), 0);
  EXPECT_NEAR(x[0], 1.0, 1e-6);
  EXPECT_NEAR(aux.objval(), 2.0 * x[2], 1e-12);
  EXPECT_NEAR(2 * x[2], 100 * std::pow(x[1] - x[0] * x[0], 2) + std::pow(1 - x[0], 2), 1e-15);
  EXPECT_DOUBLE_EQ(duals[0], -1.0);
  EXPECT_NEAR(djs[2], 2.0 - (-2.0) * duals[0], 1e-12);

  // HS071 with its constraints, maximising the negated objective.
  NlpProblem d71, a71;
  hs071(d71);
  d71.start({1, 5, 5, 1});
  Ex f71 = X(0) * X(3) * sum({X(0), X(1), X(2)});
  objective_in_auxiliary_column(a71, 4, C(-1) * f71, 2.0);
  std::vector<double> lb = {1, 1, 1, 1}, ub = {5, 5, 5, 5};
  int cols[4] = {0, 1, 2, 3};
  ASSERT_EQ(KLVOchgbounds(a71.prob, 4, cols, std::string(4, 'L').c_str(), lb.data()), 0);
  ASSERT_EQ(KLVOchgbounds(a71.prob, 4, cols, std::string(4, 'U').c_str(), ub.data()), 0);
  double minus_one = -1.0;
  ASSERT_EQ(KLVOchgobj(a71.prob, 1, &cols[2], &minus_one), 0);  // the objective's linear term, kept out of the row
  Ex g1 = prod({X(0), X(1), X(2), X(3)});
  Ex g2 = sq(X(0)) + sq(X(1)) + sq(X(2)) + sq(X(3));
  a71.row('G', 25, &g1);
  a71.row('E', 40, &g2);
  ASSERT_EQ(KSLPsetdblcontrol(a71.slp, kSlpObjSense, -1.0), 0);
  a71.start({1, 5, 5, 1});
  expect_optimum(d71, 17.0140173);
  expect_optimum(a71, -17.0140173);
  EXPECT_EQ(a71.iterations(), d71.iterations());
  std::vector<double> dd(2), ad(3);
  ASSERT_EQ(KSLPgetslpsol(d71.slp, nullptr, nullptr, dd.data(), nullptr), 0);
  ASSERT_EQ(KSLPgetslpsol(a71.slp, nullptr, nullptr, ad.data(), nullptr), 0);
  // Maximising -f: the duals of the real rows are those of minimising f, negated.
  EXPECT_NEAR(ad[1], -dd[0], 1e-6);
  EXPECT_NEAR(ad[2], -dd[1], 1e-6);
}

// Many formulas of one shape with their own constants and columns, more than one sweep block:
// min sum c_i exp(x_i) - b_i x_i  s.t.  a_i x_i^2 <= r_i, where b_i is large enough that every
// row binds. Then x_i = sqrt(r_i / a_i) and the row's multiplier is the KKT value
// (b_i - c_i exp(x_i)) / (2 a_i x_i); a mix-up of instances would move both.
TEST(GroupedFormulas, EveryInstanceKeepsItsOwnConstantsAndColumns) {
  const int n = 200;
  NlpProblem p;
  std::vector<double> a(n), b(n), c(n), r(n), obj(n);
  for (int i = 0; i < n; ++i) {
    a[i] = 1.0 + 0.01 * i;
    c[i] = 0.5 + 0.003 * i;
    r[i] = 0.2 + 0.004 * (i % 37);
    b[i] = 3.0 + 0.02 * i;
    obj[i] = -b[i];
  }
  p.columns(n, {}, {}, obj);
  for (int i = 0; i < n; ++i) {
    p.add(-1, -1000, 1.0, C(c[i]) * exp(X(i)));
    Ex g = C(a[i]) * pow(X(i), 2.0);
    p.row('L', r[i], &g);
  }
  ASSERT_EQ(p.optimize(), 1);
  std::vector<double> x = p.x(), duals(n);
  ASSERT_EQ(KSLPgetslpsol(p.slp, nullptr, nullptr, duals.data(), nullptr), 0);
  double expect = 0.0;
  for (int i = 0; i < n; ++i) {
    double xi = std::sqrt(r[i] / a[i]);
    ASSERT_LT(xi, std::log(b[i] / c[i]));  // the row binds
    expect += c[i] * std::exp(xi) - b[i] * xi;
    EXPECT_NEAR(x[i], xi, 1e-7) << i;
    // Minimising, a binding upper row has a non-positive dual: d(objective)/d(r_i).
    EXPECT_NEAR(duals[i], -(b[i] - c[i] * std::exp(xi)) / (2 * a[i] * xi), 1e-6) << i;
  }
  EXPECT_NEAR(p.objval(), expect, 1e-7 * std::fabs(expect));
}

// Ipopt's own derivative checker compares every Jacobian and Hessian entry the engine gives with
// finite differences of its values, here for formulas repeated over more instances than a sweep
// block holds (a full block and a partial one), each with its own constants: a power with its
// own exponent, quotients, elementary functions, products of columns.
TEST(GroupedFormulas, JacobianAndHessianAgreeWithIpoptsDerivativeChecker) {
  const int n = 150;
  NlpProblem p;
  p.columns(n, std::vector<double>(n, 0.5), std::vector<double>(n, 2.0));
  std::vector<double> x0(n);
  for (int i = 0; i < n; ++i) x0[i] = 0.6 + 1.3 * std::fabs(std::sin(1.7 * i));
  p.start(x0);
  for (int i = 0; i + 1 < n; ++i) {
    double d = 1 + 0.05 * i, e = 0.3 + 0.01 * i, q = 1.5 + 0.01 * i;
    Ex sq = X(i + 1) - pow(X(i), 2.0);
    p.objective(C(d) * sq * sq + pow(C(e) - X(i), 2.0) + pow(X(i), q));
  }
  for (int i = 0; i + 2 < n; ++i) {
    double a = 0.5 + 0.02 * i, b = 1 + 0.01 * i, c = 0.1 + 0.003 * i;
    Ex f = C(a) * sin(X(i)) * X(i + 1) / (pow(X(i + 2), 2.0) + b) + exp(C(c) * X(i + 1)) - log(X(i) + 3) +
           fn(SQRT, X(i + 2)) + fn(ATAN, X(i) * X(i + 1)) - cos(X(i + 2)) / X(i);
    p.row('L', 100, &f);
  }
  std::string file = testing::TempDir() + "klvo_derivative_check.out";
  std::string options = "derivative_test second-order; derivative_test_print_all no; max_iter 1; output_file " + file +
                        "; file_print_level 5";
  ASSERT_EQ(KSLPsetstrcontrol(p.slp, kSlpEngineOptions, options.c_str()), 0) << p.slp_error();
  KLVOnlpoptimize(p.prob, nullptr);
  std::string out = slurp(file);
  std::remove(file.c_str());
  ASSERT_NE(out.find("Starting derivative checker for second derivatives"), std::string::npos) << out.substr(0, 2000);
  EXPECT_EQ(out.find("Derivative checker detected"), std::string::npos) << out.substr(0, 4000);
  size_t clean = 0;
  for (size_t at = out.find("No errors detected by derivative checker"); at != std::string::npos;
       at = out.find("No errors detected by derivative checker", at + 1))
    ++clean;
  EXPECT_EQ(clean, 1u);
}

struct Log {
  std::vector<std::string> lines;
};
void collect(KSLPprob, void *data, const char *msg, int len, int) { static_cast<Log *>(data)->lines.emplace_back(msg, len); }

TEST(Messages, EngineLogFollowsTheLayersLogLevelAndTheProblemsOutputLevel) {
  struct Case {
    int log, output;
    bool any, table;
  };
  for (const Case &c : {Case{1, KLVO_OUTPUT_ALL, true, true}, Case{0, KLVO_OUTPUT_ALL, true, false},
                        Case{1, KLVO_OUTPUT_ERRORS_AND_WARNINGS, false, false}, Case{1, KLVO_OUTPUT_NONE, false, false}}) {
    SCOPED_TRACE(testing::Message() << "log " << c.log << ", output " << c.output);
    NlpProblem p;
    Log log;
    ASSERT_EQ(KSLPsetcbmessage(p.slp, collect, &log), 0);
    ASSERT_EQ(KSLPsetintcontrol(p.slp, kSlpLog, c.log), 0);
    ASSERT_EQ(KLVOsetintcontrol(p.prob, KLVO_CONTROL_OUTPUTLOG, c.output), 0);
    p.columns(2);
    p.objective(sq(X(0) - 1.0) + sq(X(1)));
    ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0);
    bool table = false;
    for (auto &l : log.lines) table = table || l.find("inf_pr") != std::string::npos;
    EXPECT_EQ(table, c.table);
    EXPECT_EQ(!log.lines.empty(), c.any);
    if (c.any) EXPECT_NE(log.lines.back().find("Nonlinear solve"), std::string::npos);
  }
}

TEST(Messages, BadEngineOptionIsAnErrorNotAPrint) {
  NlpProblem p;
  p.columns(1);
  p.objective(sq(X(0)));
  ASSERT_EQ(KSLPsetstrcontrol(p.slp, kSlpEngineOptions, "no_such_option 3"), 0);
  EXPECT_EQ(KLVOnlpoptimize(p.prob, nullptr), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_NE(p.error().find("no_such_option"), std::string::npos);
  ASSERT_EQ(KSLPsetstrcontrol(p.slp, kSlpEngineOptions, "max_iter 2"), 0);
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0) << p.error();
}

// Ten thousand columns with a sparse Hessian: the Hessian structure of many formulas must be
// built in time and memory proportional to its size (a hash of (row, column) pairs that
// ignored the row once made this run out of memory).
TEST(LargeModels, TenThousandColumnsBuildAndSolve) {
  const int n = 10000;
  NlpProblem p;
  p.columns(n);
  ASSERT_EQ(KSLPsetintcontrol(p.slp, kSlpLog, 0), 0);
  // Separable pairs solve quickly; a chain of couplings x_i * x_{i+1} fills the sub-diagonal.
  for (int i = 0; i + 1 < n; i += 2) p.objective(C(100) * sq(X(i + 1) - sq(X(i))) + sq(C(1) - X(i)));
  for (int i = 1; i + 1 < n; i += 2) p.objective(C(1e-3) * sq(X(i) - X(i + 1)));
  std::vector<double> x0(n);
  for (int j = 0; j < n; ++j) x0[j] = j % 2 ? 1.0 : -1.2;
  p.start(x0);
  EXPECT_EQ(p.optimize(), 1);
  EXPECT_NEAR(p.objval(), 0.0, 1e-8);
}

}  // namespace
