// The nonlinear layer: cost of adding formula entries one call at a time (early and late
// calls must agree within 2x: adding costs what is added, not the model's size), and solve
// times of a chained, constrained nonlinear model of growing size.
//
// Usage: klvo_nlp [N]   (default 100000 formula entries; solves use N/100 and N/10 columns)
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "klvo.h"
#include "klvo_bench_util.h"

namespace {

using bench::Clock;
using bench::check;
using bench::seconds;

struct Model {
  KLVOprob prob = nullptr;
  KSLPprob slp = nullptr;
  explicit Model(int ncols) {
    check(KLVOcreateprob(&prob), nullptr, "KLVOcreateprob");
    check(KSLPcreateprob(&slp, &prob), nullptr, "KSLPcreateprob");
    std::vector<double> obj(ncols, 0.0), lb(ncols, -KLVO_INFINITY), ub(ncols, KLVO_INFINITY);
    check(KLVOaddcols(prob, ncols, 0, obj.data(), nullptr, nullptr, nullptr, lb.data(), ub.data()), prob, "KLVOaddcols");
    check(KSLPsetintcontrol(slp, 12101, getenv("KLVO_NLP_LOG") ? 1 : 0), prob, "KSLPsetintcontrol");
    if (getenv("KLVO_NLP_LOG")) KSLPsetcbmessage(slp, [](KSLPprob, void *, const char *m, int l, int) { std::printf("%.*s\n", l, m); }, nullptr);
  }
  ~Model() {
    KSLPdestroyprob(slp);
    KLVOdestroyprob(prob);
  }
  void entry(int row, int col, const std::vector<int> &type, const std::vector<double> &value) {
    int start[2] = {0, static_cast<int>(type.size())};
    double factor = 1.0;
    check(KSLPaddcoefs(slp, 1, &row, &col, &factor, start, 1, type.data(), value.data()), prob, "KSLPaddcoefs");
  }
};

// Tokens of x_i * sin(x_j).
void sin_term(int i, int j, std::vector<int> &type, std::vector<double> &value) {
  type = {10, 22, 10, 12, 31};
  value = {double(i), 0, double(j), 27, 3};
}

// Extended Rosenbrock terms 100 (x_{i+1} - x_i^2)^2 + (1 - x_i)^2 (i even) in the objective,
// coupled by rows x_i^2 + x_{i+1}^2 + exp(x_{i+2} / 10) <= 4 on every third column; returns
// the solve time. The optimum is 0 at x = 1.
double solve_chain(int n, int &iterations, double &objective, int &status, double &build) {
  Clock::time_point t0 = Clock::now();
  Model m(n);
  std::vector<int> type;
  std::vector<double> value;
  for (int i = 0; i + 1 < n; i += 2) {
    // 100 * (x_{i+1} - x_i^2)^2 + (1 - x_i)^2
    type = {1, 10, 10, 1, 31, 31, 1, 31, 31, 1, 10, 31, 1, 31, 31, 0};
    value = {100, double(i + 1), double(i), 2, 2, 6, 2, 2, 3, 1, double(i), 6, 2, 2, 5, 0};
    m.entry(-1, -1000, type, value);
  }
  char rowtype = 'L';
  double rhs = 4;
  for (int i = 0; i + 2 < n; i += 3) {
    check(KLVOaddrows(m.prob, 1, 0, &rowtype, &rhs, nullptr, nullptr, nullptr, nullptr), m.prob, "KLVOaddrows");
    int row = 0;
    check(KSLPgetintattrib(m.slp, 11999, &row), m.prob, "KSLPgetintattrib");
    type = {10, 1, 31, 10, 1, 31, 31, 22, 10, 1, 31, 12, 31, 0};
    value = {double(i), 2, 2, double(i + 1), 2, 2, 5, 0, double(i + 2), 10, 4, 16, 5, 0};
    m.entry(row - 1, -1000, type, value);
  }
  // The classic start: -1.2 on even columns, 1 on odd ones.
  std::vector<int> cols(n);
  std::vector<double> x0(n);
  for (int j = 0; j < n; ++j) {
    cols[j] = j;
    x0[j] = j % 2 ? 1.0 : -1.2;
  }
  check(KLVOnlpsetinitval(m.prob, n, cols.data(), x0.data()), m.prob, "KLVOnlpsetinitval");
  Clock::time_point t1 = Clock::now();
  check(KLVOnlpoptimize(m.prob, nullptr), m.prob, "KLVOnlpoptimize");
  Clock::time_point t2 = Clock::now();
  KSLPgetintattrib(m.slp, 12180, &iterations);
  KSLPgetintattrib(m.slp, 12044, &status);
  KSLPgetdblattrib(m.slp, 12179, &objective);
  build = seconds(t0, t1);
  return seconds(t1, t2);
}

}  // namespace

int main(int argc, char **argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 100000;
  if (n < 1000) {
    std::fprintf(stderr, "N must be at least 1000\n");
    return 2;
  }
  check(KLVOinit(nullptr), nullptr, "KLVOinit");
  check(KSLPinit(), nullptr, "KSLPinit");

  // Adding entries one call at a time.
  {
    Model m(n + 1);
    char rowtype = 'L';
    std::vector<char> types(n, rowtype);
    std::vector<double> rhs(n, 1.0);
    check(KLVOaddrows(m.prob, n, 0, types.data(), rhs.data(), nullptr, nullptr, nullptr, nullptr), m.prob, "KLVOaddrows");
    const int tenth = n / 10;
    std::vector<int> type;
    std::vector<double> value;
    Clock::time_point start = Clock::now(), early = start, late = start;
    for (int i = 0; i < n; ++i) {
      sin_term(i, i + 1, type, value);
      m.entry(i, i % 2 ? -1000 : i, type, value);
      if (i + 1 == tenth) early = Clock::now();
      if (i + 1 == n - tenth) late = Clock::now();
    }
    Clock::time_point end = Clock::now();
    double first = seconds(start, early) / tenth * 1e6, last = seconds(late, end) / tenth * 1e6;
    std::printf("Adding %d formula entries one call at a time\n", n);
    std::printf("  %-28s %10s\n", "calls", "us/call");
    std::printf("  %-28s %10.3f\n", "first tenth", first);
    std::printf("  %-28s %10.3f\n", "last tenth", last);
    std::printf("  %-28s %10.3f\n", "all", seconds(start, end) / n * 1e6);
    std::printf("  late/early ratio %.2f (must stay below 2)\n\n", last / first);
  }

  // Solves of growing size.
  std::printf("Extended Rosenbrock with coupling nonlinear rows (formulas, exact Hessians)\n");
  std::printf("  %8s %10s %10s %8s %12s %16s %8s\n", "columns", "build s", "solve s", "iters", "ms/iter", "objective", "status");
  for (int cols : {n / 100, n / 10}) {
    int iterations = 0, status = 0;
    double objective = 0, build = 0;
    double t = solve_chain(cols, iterations, objective, status, build);
    std::printf("  %8d %10.3f %10.3f %8d %12.3f %16.8g %8d\n", cols, build, t, iterations,
                iterations ? t / iterations * 1e3 : 0.0, objective, status);
  }
  KSLPfree();
  KLVOfree();
  return 0;
}
