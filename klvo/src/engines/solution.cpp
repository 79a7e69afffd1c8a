// Solution queries and the computations from a given solution (objective, slacks, reduced
// costs), with the sign conventions stated in klvo/solve.h.
#include <cstring>
#include <vector>

#include "callbacks/state.h"
#include "engines/solution.h"
#include "engines/solution_info.h"
#include "env/error.h"
#include "model/store.h"

namespace klvo {

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

int query(const ModelStore &m, int *status, double *out, int first, int last, const std::vector<double> &v,
          int vstatus, bool rows, const char *function) {
  int count = rows ? m.nrows() : m.ncols();
  check_range(first, last, count, rows ? "row" : "column", function);
  int st = status_of(vstatus, v, count);
  if (status) *status = st;
  if (st != KLVO_SOLSTATUS_NOTFOUND && out && last >= first)
    std::memcpy(out, v.data() + first, sizeof(double) * static_cast<size_t>(last - first + 1));
  return st;
}

// The last solution's x, or fail.
const std::vector<double> &last_x(const ModelStore &m, const SolutionStore &s, const char *function) {
  if (status_of(s.primal_status, s.x, m.ncols()) == KLVO_SOLSTATUS_NOTFOUND)
    fail(KLVO_ERR_NO_SOLUTION, "%s: no solution is available", function);
  return s.x;
}

// Row activities: A x plus each quadratic row's x'Px.
std::vector<double> activities(const ModelStore &m, const double *x) {
  std::vector<double> act(m.nrows(), 0.0);
  for (int i = 0; i < m.nrows(); ++i) {
    double a = 0;
    for (const Entry &e : m.rowentries[i]) a += e.value * x[e.index];
    if (!m.qrows.empty())
      for (const QTerm &t : m.qrows[i])
        a += (t.col1 == t.col2 ? 1.0 : 2.0) * t.value * x[t.col1] * x[t.col2];
    act[i] = a;
  }
  return act;
}

}  // namespace

void get_solution(const ModelStore &m, const SolutionStore &s, int *status, double *x, int first, int last,
                  const char *fn) {
  query(m, status, x, first, last, s.x, s.primal_status, false, fn);
}

void get_slacks(const ModelStore &m, const SolutionStore &s, int *status, double *slacks, int first, int last,
                const char *fn) {
  query(m, status, slacks, first, last, s.slack, s.primal_status, true, fn);
}

void get_duals(const ModelStore &m, const SolutionStore &s, int *status, double *duals, int first, int last,
               const char *fn) {
  query(m, status, duals, first, last, s.duals, s.dual_status, true, fn);
}

void get_redcosts(const ModelStore &m, const SolutionStore &s, int *status, double *djs, int first, int last,
                  const char *fn) {
  query(m, status, djs, first, last, s.djs, s.dual_status, false, fn);
}

void callback_query(const ModelStore &m, const EventState *e, CallbackVector which, int *status, double *out,
                    int first, int last, const char *fn) {
  bool rows = which == CallbackVector::slacks || which == CallbackVector::duals;
  int count = rows ? m.nrows() : m.ncols();
  check_range(first, last, count, rows ? "row" : "column", fn);
  const double *v = nullptr;
  std::vector<double> computed;
  if (e && e->x) {
    switch (which) {
      case CallbackVector::x: v = e->x; break;
      case CallbackVector::duals: v = e->duals; break;
      case CallbackVector::djs: v = e->djs; break;
      case CallbackVector::slacks:
        v = e->slack;
        if (!v) {
          computed = activities(m, e->x);
          for (int i = 0; i < m.nrows(); ++i) computed[i] = m.rhs[i] - computed[i];
          v = computed.data();
        }
        break;
    }
  }
  if (status) *status = v ? KLVO_SOLSTATUS_FEASIBLE : KLVO_SOLSTATUS_NOTFOUND;
  if (v && out && last >= first) std::memcpy(out, v + first, sizeof(double) * static_cast<size_t>(last - first + 1));
}

void get_lpsol(const ModelStore &m, const SolutionStore &s, double *x, double *slack, double *duals, double *djs,
               const char *fn) {
  int n = m.ncols(), r = m.nrows();
  bool primal = status_of(s.primal_status, s.x, n) && status_of(s.primal_status, s.slack, r);
  bool dual = status_of(s.dual_status, s.duals, r) && status_of(s.dual_status, s.djs, n);
  if ((x || slack) && !primal) fail(KLVO_ERR_NO_SOLUTION, "%s: no solution is available", fn);
  if ((duals || djs) && !dual)
    fail(KLVO_ERR_NO_SOLUTION, "%s: dual values are not available for the last solve", fn);
  if (x) std::memcpy(x, s.x.data(), sizeof(double) * n);
  if (slack) std::memcpy(slack, s.slack.data(), sizeof(double) * r);
  if (duals) std::memcpy(duals, s.duals.data(), sizeof(double) * r);
  if (djs) std::memcpy(djs, s.djs.data(), sizeof(double) * n);
}

void get_mipsol(const ModelStore &m, const SolutionStore &s, double *x, double *slack, const char *fn) {
  int n = m.ncols(), r = m.nrows();
  if (s.optimizetype != KLVO_OPTTYPE_MIP || !status_of(s.primal_status, s.x, n) ||
      !status_of(s.primal_status, s.slack, r))
    fail(KLVO_ERR_NO_SOLUTION, "%s: no integer solution is available", fn);
  if (x) std::memcpy(x, s.x.data(), sizeof(double) * n);
  if (slack) std::memcpy(slack, s.slack.data(), sizeof(double) * r);
}

void calc_objective(const ModelStore &m, const SolutionStore &s, const double *x, double *objval, const char *fn) {
  if (!objval) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null output argument", fn);
  if (!x) x = last_x(m, s, fn).data();
  *objval = objective_value(m, x);
}

void calc_slacks(const ModelStore &m, const SolutionStore &s, const double *x, double *slacks, const char *fn) {
  if (!slacks) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null output argument", fn);
  if (!x) x = last_x(m, s, fn).data();
  std::vector<double> act = activities(m, x);
  for (int i = 0; i < m.nrows(); ++i) slacks[i] = m.rhs[i] - act[i];
}

void calc_reduced_costs(const ModelStore &m, const SolutionStore &s, const double *duals, const double *x, double *djs,
                        const char *fn) {
  if (!djs) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null output argument", fn);
  if (!duals) {
    if (!status_of(s.dual_status, s.duals, m.nrows()))
      fail(KLVO_ERR_NO_SOLUTION, "%s: no dual values are available", fn);
    duals = s.duals.data();
  }
  bool quadratic = m.has_qobj() || m.nqrows() > 0;
  if (!x && quadratic) x = last_x(m, s, fn).data();
  int n = m.ncols();
  // Gradient of the objective at x, minus the duals times each row's gradient.
  std::vector<double> d(m.obj.begin(), m.obj.end());
  for (int j = 0; j < static_cast<int>(m.qobj.size()); ++j)
    for (const Entry &e : m.qobj[j]) d[j] += e.value * x[e.index];
  for (int j = 0; j < n; ++j)
    for (const Entry &e : m.colentries[j]) d[j] -= duals[e.index] * e.value;
  if (!m.qrows.empty())
    for (int i = 0; i < m.nrows(); ++i)
      for (const QTerm &t : m.qrows[i]) {
        if (t.col1 == t.col2) {
          d[t.col1] -= duals[i] * 2.0 * t.value * x[t.col1];
        } else {
          d[t.col1] -= duals[i] * 2.0 * t.value * x[t.col2];
          d[t.col2] -= duals[i] * 2.0 * t.value * x[t.col1];
        }
      }
  std::memcpy(djs, d.data(), sizeof(double) * n);
}

}  // namespace klvo
