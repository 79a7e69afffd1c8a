// Solution queries and the computations from a given solution (objective, slacks, reduced
// costs), with the sign conventions stated in klvo/solve.h.
#include <cstring>
#include <vector>

#include "env/problem.h"

using klvo::fail;
using klvo::Problem;

namespace {

// Checks first..last against count (an empty range first = last + 1 is allowed).
void check_range(int first, int last, int count, const char *what, const char *function) {
  if (first < 0 || last < first - 1 || last >= count)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: %s range %d..%d is outside 0..%d", function, what, first, last,
         count - 1);
}

// A stored vector is valid only while the model keeps the size it had at the solve.
int status_of(int status, const std::vector<double> &v, int size) {
  return static_cast<int>(v.size()) == size ? status : KLVO_SOLSTATUS_NOTFOUND;
}

int query(Problem &prob, int *status, double *out, int first, int last, const std::vector<double> &v,
          int vstatus, bool rows, const char *function) {
  int count = rows ? prob.model.nrows() : prob.model.ncols();
  check_range(first, last, count, rows ? "row" : "column", function);
  int st = status_of(vstatus, v, count);
  if (status) *status = st;
  if (st != KLVO_SOLSTATUS_NOTFOUND && out && last >= first)
    std::memcpy(out, v.data() + first, sizeof(double) * static_cast<size_t>(last - first + 1));
  return st;
}

// The last solution's x, or fail.
const std::vector<double> &last_x(const Problem &prob, const char *function) {
  const auto &s = prob.solution;
  if (status_of(s.primal_status, s.x, prob.model.ncols()) == KLVO_SOLSTATUS_NOTFOUND)
    fail(KLVO_ERR_NO_SOLUTION, "%s: no solution is available", function);
  return s.x;
}

double objective_at(const klvo::ModelStore &m, const double *x) {
  double value = m.objconstant;
  for (int j = 0; j < m.ncols(); ++j) value += m.obj[j] * x[j];
  double quad = 0;
  for (int j = 0; j < static_cast<int>(m.qobj.size()); ++j)
    for (const klvo::Entry &e : m.qobj[j]) quad += x[j] * e.value * x[e.index];
  return value + 0.5 * quad;
}

// Row activities: A x plus each quadratic row's x'Px.
std::vector<double> activities(const klvo::ModelStore &m, const double *x) {
  std::vector<double> act(m.nrows(), 0.0);
  for (int i = 0; i < m.nrows(); ++i) {
    double a = 0;
    for (const klvo::Entry &e : m.rowentries[i]) a += e.value * x[e.index];
    if (!m.qrows.empty())
      for (const klvo::QTerm &t : m.qrows[i])
        a += (t.col1 == t.col2 ? 1.0 : 2.0) * t.value * x[t.col1] * x[t.col2];
    act[i] = a;
  }
  return act;
}

}  // namespace

extern "C" {

int KLVOgetsolution(KLVOprob prob, int *status, double *x, int first, int last) {
  return klvo::api_call(prob, "KLVOgetsolution", [&] {
    query(*prob, status, x, first, last, prob->solution.x, prob->solution.primal_status, false,
          "KLVOgetsolution");
  });
}

int KLVOgetslacks(KLVOprob prob, int *status, double *slacks, int first, int last) {
  return klvo::api_call(prob, "KLVOgetslacks", [&] {
    query(*prob, status, slacks, first, last, prob->solution.slack, prob->solution.primal_status, true,
          "KLVOgetslacks");
  });
}

int KLVOgetduals(KLVOprob prob, int *status, double *duals, int first, int last) {
  return klvo::api_call(prob, "KLVOgetduals", [&] {
    query(*prob, status, duals, first, last, prob->solution.duals, prob->solution.dual_status, true,
          "KLVOgetduals");
  });
}

int KLVOgetredcosts(KLVOprob prob, int *status, double *djs, int first, int last) {
  return klvo::api_call(prob, "KLVOgetredcosts", [&] {
    query(*prob, status, djs, first, last, prob->solution.djs, prob->solution.dual_status, false,
          "KLVOgetredcosts");
  });
}

int KLVOgetlpsol(KLVOprob prob, double *x, double *slack, double *duals, double *djs) {
  return klvo::api_call(prob, "KLVOgetlpsol", [&] {
    const auto &s = prob->solution;
    int n = prob->model.ncols(), r = prob->model.nrows();
    bool primal = status_of(s.primal_status, s.x, n) && status_of(s.primal_status, s.slack, r);
    bool dual = status_of(s.dual_status, s.duals, r) && status_of(s.dual_status, s.djs, n);
    if ((x || slack) && !primal) fail(KLVO_ERR_NO_SOLUTION, "KLVOgetlpsol: no solution is available");
    if ((duals || djs) && !dual)
      fail(KLVO_ERR_NO_SOLUTION, "KLVOgetlpsol: dual values are not available for the last solve");
    if (x) std::memcpy(x, s.x.data(), sizeof(double) * n);
    if (slack) std::memcpy(slack, s.slack.data(), sizeof(double) * r);
    if (duals) std::memcpy(duals, s.duals.data(), sizeof(double) * r);
    if (djs) std::memcpy(djs, s.djs.data(), sizeof(double) * n);
  });
}

int KLVOgetmipsol(KLVOprob prob, double *x, double *slack) {
  return klvo::api_call(prob, "KLVOgetmipsol", [&] {
    const auto &s = prob->solution;
    int n = prob->model.ncols(), r = prob->model.nrows();
    if (s.optimizetype != KLVO_OPTTYPE_MIP || !status_of(s.primal_status, s.x, n) ||
        !status_of(s.primal_status, s.slack, r))
      fail(KLVO_ERR_NO_SOLUTION, "KLVOgetmipsol: no integer solution is available");
    if (x) std::memcpy(x, s.x.data(), sizeof(double) * n);
    if (slack) std::memcpy(slack, s.slack.data(), sizeof(double) * r);
  });
}

int KLVOcalcobjective(KLVOprob prob, const double *x, double *objval) {
  return klvo::api_call(prob, "KLVOcalcobjective", [&] {
    if (!objval) fail(KLVO_ERR_INVALID_ARGUMENT, "KLVOcalcobjective: null output argument");
    if (!x) x = last_x(*prob, "KLVOcalcobjective").data();
    *objval = objective_at(prob->model, x);
  });
}

int KLVOcalcslacks(KLVOprob prob, const double *x, double *slacks) {
  return klvo::api_call(prob, "KLVOcalcslacks", [&] {
    if (!slacks) fail(KLVO_ERR_INVALID_ARGUMENT, "KLVOcalcslacks: null output argument");
    if (!x) x = last_x(*prob, "KLVOcalcslacks").data();
    const auto &m = prob->model;
    std::vector<double> act = activities(m, x);
    for (int i = 0; i < m.nrows(); ++i) slacks[i] = m.rhs[i] - act[i];
  });
}

int KLVOcalcreducedcosts(KLVOprob prob, const double *duals, const double *x, double *djs) {
  return klvo::api_call(prob, "KLVOcalcreducedcosts", [&] {
    if (!djs) fail(KLVO_ERR_INVALID_ARGUMENT, "KLVOcalcreducedcosts: null output argument");
    const auto &m = prob->model;
    const auto &s = prob->solution;
    if (!duals) {
      if (!status_of(s.dual_status, s.duals, m.nrows()))
        fail(KLVO_ERR_NO_SOLUTION, "KLVOcalcreducedcosts: no dual values are available");
      duals = s.duals.data();
    }
    bool quadratic = m.has_qobj() || m.nqrows() > 0;
    if (!x && quadratic) x = last_x(*prob, "KLVOcalcreducedcosts").data();
    int n = m.ncols();
    // Gradient of the objective at x, minus the duals times each row's gradient.
    std::vector<double> d(m.obj.begin(), m.obj.end());
    for (int j = 0; j < static_cast<int>(m.qobj.size()); ++j)
      for (const klvo::Entry &e : m.qobj[j]) d[j] += e.value * x[e.index];
    for (int j = 0; j < n; ++j)
      for (const klvo::Entry &e : m.colentries[j]) d[j] -= duals[e.index] * e.value;
    if (!m.qrows.empty())
      for (int i = 0; i < m.nrows(); ++i)
        for (const klvo::QTerm &t : m.qrows[i]) {
          if (t.col1 == t.col2) {
            d[t.col1] -= duals[i] * 2.0 * t.value * x[t.col1];
          } else {
            d[t.col1] -= duals[i] * 2.0 * t.value * x[t.col2];
            d[t.col2] -= duals[i] * 2.0 * t.value * x[t.col1];
          }
        }
    std::memcpy(djs, d.data(), sizeof(double) * n);
  });
}

}  // extern "C"
