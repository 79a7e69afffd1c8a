// Solve time through klvo beside the same model given to HiGHS directly, in one run.
//
// Two generated models: a covering LP with about 200,000 non-zeros and a set-covering MILP.
// Each is solved cold (a fresh problem or HiGHS instance per run) several times, alternating
// between klvo and HiGHS; the table shows the fastest run of each and klvo's overhead. klvo's
// time is the whole KLVOoptimize call (engine created, model handed to HiGHS, solve, results
// read back); HiGHS's time covers the same steps done by hand: instance, options, model,
// run, solution. Both use the same options.
//
// Usage: klvo_solve [repeats]   (default 3)
#include <interfaces/highs_c_api.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "klvo.h"

namespace {

struct Model {
  std::string name;
  int ncols = 0, nrows = 0;
  std::vector<double> obj, lb, ub, rhs;
  std::vector<char> rowtype;
  std::vector<int> start, index;  // by column
  std::vector<double> value;
  bool integer = false;
};

// min c'x  s.t.  A x >= b, x >= 0, with A >= 0 sparse: feasible and bounded.
Model covering_lp(int nrows, int ncols, int per_col, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> row(0, nrows - 1);
  std::uniform_real_distribution<double> coef(1.0, 10.0), cost(1.0, 100.0), demand(10.0, 100.0);
  Model m;
  m.name = "covering LP";
  m.ncols = ncols;
  m.nrows = nrows;
  m.start.push_back(0);
  std::vector<int> rows;
  for (int j = 0; j < ncols; ++j) {
    rows.clear();
    while (static_cast<int>(rows.size()) < per_col) {
      int r = row(rng);
      if (std::find(rows.begin(), rows.end(), r) == rows.end()) rows.push_back(r);
    }
    std::sort(rows.begin(), rows.end());
    for (int r : rows) {
      m.index.push_back(r);
      m.value.push_back(std::round(coef(rng) * 10) / 10);
    }
    m.start.push_back(static_cast<int>(m.index.size()));
    m.obj.push_back(std::round(cost(rng)));
  }
  m.lb.assign(ncols, 0.0);
  m.ub.assign(ncols, KLVO_INFINITY);
  m.rowtype.assign(nrows, 'G');
  for (int i = 0; i < nrows; ++i) m.rhs.push_back(std::round(demand(rng)));
  return m;
}

// Set covering over binaries: every row covered at least once.
Model set_cover(int nrows, int ncols, int per_col, unsigned seed) {
  Model m = covering_lp(nrows, ncols, per_col, seed);
  m.name = "set-cover MILP";
  std::fill(m.value.begin(), m.value.end(), 1.0);
  std::fill(m.rhs.begin(), m.rhs.end(), 1.0);
  m.ub.assign(m.ncols, 1.0);
  m.integer = true;
  return m;
}

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void check(int rc, const char *what) {
  if (rc != 0) {
    std::fprintf(stderr, "%s failed (%d)\n", what, rc);
    std::exit(1);
  }
}

// Seconds of one cold KLVOoptimize; the objective goes to *objective.
double solve_klvo(const Model &m, double *objective) {
  KLVOprob prob = nullptr;
  check(KLVOcreateprob(&prob), "KLVOcreateprob");
  check(KLVOloadlp(prob, m.name.c_str(), m.ncols, m.nrows, m.rowtype.data(), m.rhs.data(), nullptr,
                   m.obj.data(), m.start.data(), nullptr, m.index.data(), m.value.data(), m.lb.data(),
                   m.ub.data()),
        "KLVOloadlp");
  if (m.integer) {
    std::vector<int> cols(m.ncols);
    for (int j = 0; j < m.ncols; ++j) cols[j] = j;
    std::vector<char> types(m.ncols, 'B');
    check(KLVOchgcoltype(prob, m.ncols, cols.data(), types.data()), "KLVOchgcoltype");
  }
  check(KLVOsetintcontrol(prob, KLVO_CONTROL_OUTPUTLOG, KLVO_OUTPUT_NONE), "KLVOsetintcontrol");
  int solvestatus = 0, solstatus = 0;
  double t0 = now();
  check(KLVOoptimize(prob, "", &solvestatus, &solstatus), "KLVOoptimize");
  double seconds = now() - t0;
  if (solstatus != KLVO_SOLSTATUS_OPTIMAL) std::fprintf(stderr, "klvo: solution status %d\n", solstatus);
  check(KLVOgetdblattrib(prob, KLVO_ATTR_OBJVAL, objective), "KLVOgetdblattrib");
  KLVOdestroyprob(prob);
  return seconds;
}

// Seconds of passing the model to a new HiGHS instance and running it with HiGHS's defaults,
// which are klvo's too.
double solve_highs(const Model &m, double *objective) {
  std::vector<double> lb(m.lb), ub(m.ub), rlo(m.nrows), rup(m.nrows, INFINITY);
  for (double &u : ub)
    if (u >= KLVO_INFINITY) u = INFINITY;
  for (int i = 0; i < m.nrows; ++i) rlo[i] = m.rhs[i];
  std::vector<HighsInt> integrality;
  if (m.integer) integrality.assign(m.ncols, kHighsVarTypeInteger);
  std::vector<double> x(m.ncols), dj(m.ncols), act(m.nrows), y(m.nrows);
  double t0 = now();
  void *h = Highs_create();
  Highs_setBoolOptionValue(h, "output_flag", 0);
  check(Highs_passModel(h, m.ncols, m.nrows, static_cast<HighsInt>(m.index.size()), 0, kHighsMatrixFormatColwise,
                        kHighsHessianFormatTriangular, kHighsObjSenseMinimize, 0.0, m.obj.data(), lb.data(),
                        ub.data(), rlo.data(), rup.data(), m.start.data(), m.index.data(), m.value.data(),
                        nullptr, nullptr, nullptr, m.integer ? integrality.data() : nullptr) == kHighsStatusError,
        "Highs_passModel");
  check(Highs_run(h) == kHighsStatusError, "Highs_run");
  Highs_getSolution(h, x.data(), dj.data(), act.data(), y.data());
  double seconds = now() - t0;
  if (Highs_getModelStatus(h) != kHighsModelStatusOptimal) std::fprintf(stderr, "HiGHS: not optimal\n");
  *objective = Highs_getObjectiveValue(h);
  Highs_destroy(h);
  return seconds;
}

}  // namespace

int main(int argc, char **argv) {
  int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  check(KLVOinit(nullptr), "KLVOinit");
  const Model models[] = {covering_lp(6000, 20000, 10, 1), set_cover(300, 1500, 6, 2)};
  std::printf("%-16s %8s %8s %10s %10s %9s  %s\n", "model", "rows", "cols", "klvo [s]", "HiGHS [s]", "overhead",
              "objective (klvo / HiGHS)");
  for (const Model &m : models) {
    double best_klvo = INFINITY, best_highs = INFINITY, obj_klvo = 0, obj_highs = 0;
    for (int r = 0; r < repeats; ++r) {
      best_highs = std::min(best_highs, solve_highs(m, &obj_highs));
      best_klvo = std::min(best_klvo, solve_klvo(m, &obj_klvo));
    }
    std::printf("%-16s %8d %8d %10.3f %10.3f %8.1f%%  %.6f / %.6f   (%zu non-zeros)\n", m.name.c_str(), m.nrows,
                m.ncols, best_klvo, best_highs, 100.0 * (best_klvo - best_highs) / best_highs, obj_klvo, obj_highs,
                m.index.size());
  }
  KLVOfree();
  return 0;
}
