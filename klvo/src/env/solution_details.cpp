#include "env/solution_details.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "analysis/presolved.h"
#include "callbacks/state.h"
#include "engines/highs/highs_engine.h"
#include "engines/solution_info.h"

namespace klvo {

namespace {

bool primal_available(const Problem &prob) {
  const SolutionStore &s = prob.solution;
  return s.primal_status != KLVO_SOLSTATUS_NOTFOUND && static_cast<int>(s.x.size()) == user_model(prob).ncols() &&
         static_cast<int>(s.slack.size()) == user_model(prob).nrows();
}

bool dual_available(const Problem &prob) {
  const SolutionStore &s = prob.solution;
  return s.dual_status != KLVO_SOLSTATUS_NOTFOUND && static_cast<int>(s.duals.size()) == user_model(prob).nrows() &&
         static_cast<int>(s.djs.size()) == user_model(prob).ncols();
}

void check_index(int index, int count, const char *what, const char *fn) {
  if (index >= count) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: %s %d is outside 0..%d", fn, what, index, count - 1);
}

void copy_out(const std::vector<double> &from, double *to) {
  if (to && !from.empty()) std::copy(from.begin(), from.end(), to);
}

HighsEngine *highs_of(Problem &prob) { return dynamic_cast<HighsEngine *>(prob.engine.get()); }

}  // namespace

void get_lpsolval(const Problem &prob, int col, int row, double *x, double *slack, double *dual, double *dj,
                  const char *fn) {
  check_index(col, user_model(prob).ncols(), "column", fn);
  check_index(row, user_model(prob).nrows(), "row", fn);
  if (!primal_available(prob)) fail(KLVO_ERR_NO_SOLUTION, "%s: no solution is available", fn);
  const SolutionStore &s = prob.solution;
  bool duals = dual_available(prob);
  if (col >= 0) {
    if (x) *x = s.x[col];
    if (dj && duals) *dj = s.djs[col];
  }
  if (row >= 0) {
    if (slack) *slack = s.slack[row];
    if (dual && duals) *dual = s.duals[row];
  }
}

void get_mipsolval(const Problem &prob, int col, int row, double *x, double *slack, const char *fn) {
  check_index(col, user_model(prob).ncols(), "column", fn);
  check_index(row, user_model(prob).nrows(), "row", fn);
  if (prob.solution.optimizetype != KLVO_OPTTYPE_MIP || !primal_available(prob))
    fail(KLVO_ERR_NO_SOLUTION, "%s: no integer solution is available", fn);
  if (col >= 0 && x) *x = prob.solution.x[col];
  if (row >= 0 && slack) *slack = prob.solution.slack[row];
}

void calc_objn(const Problem &prob, int objidx, const double *x, double *objval, const char *fn) {
  if (!objval) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null output argument", fn);
  if (!x) {
    if (!primal_available(prob)) fail(KLVO_ERR_NO_SOLUTION, "%s: no solution is available", fn);
    x = prob.solution.x.data();
  }
  *objval = objective_n_value(user_model(prob), objidx, x, fn);
  // A further objective's constant is its control rhs.
  if (objidx > 0) *objval += prob.params.get_obj(objidx, KLVO_OBJCONTROL_RHS);
}

void calc_solinfo(const Problem &prob, const double *x, const double *duals, int property, double *value,
                  const char *fn) {
  if (!value) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null output argument", fn);
  if (property < KLVO_SOLINFO_ABSPRIMALINFEAS || property > KLVO_SOLINFO_MAXMIPFRACTIONAL)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: unknown solution property %d", fn, property);
  const ModelStore &m = user_model(prob);
  bool dual = property == KLVO_SOLINFO_ABSDUALINFEAS || property == KLVO_SOLINFO_RELDUALINFEAS;
  bool quadratic = m.has_qobj() || m.nqrows() > 0;
  // The reduced costs need x only through a quadratic part.
  if (!x && (!dual || quadratic)) {
    if (!primal_available(prob)) fail(KLVO_ERR_NO_SOLUTION, "%s: no solution is available", fn);
    x = prob.solution.x.data();
  }
  switch (property) {
    case KLVO_SOLINFO_ABSPRIMALINFEAS:
    case KLVO_SOLINFO_RELPRIMALINFEAS:
      *value = primal_violation(m, x, property == KLVO_SOLINFO_RELPRIMALINFEAS);
      return;
    case KLVO_SOLINFO_MAXMIPFRACTIONAL:
      *value = max_fractionality(m, x);
      return;
    default: {
      if (!duals) {
        if (!dual_available(prob)) fail(KLVO_ERR_NO_SOLUTION, "%s: no dual values are available", fn);
        duals = prob.solution.duals.data();
      }
      std::vector<double> djs(m.ncols());
      calc_reduced_costs(m, prob.solution, duals, x, djs.data(), fn);
      *value = dual_violation(m, duals, djs.data(), property == KLVO_SOLINFO_RELDUALINFEAS);
    }
  }
}

void get_infeas(const Problem &prob, bool scaled, int *npv, int *nps, int *nds, int *ndv, int *mx, int *mslack,
                int *mdual, int *mdj, const char *fn) {
  if (!primal_available(prob)) fail(KLVO_ERR_NO_SOLUTION, "%s: no solution is available", fn);
  const SolutionStore &s = prob.solution;
  bool duals = dual_available(prob);
  Infeasibilities inf = find_infeasibilities(
      user_model(prob), s.x.data(), duals ? s.duals.data() : nullptr, duals ? s.djs.data() : nullptr,
      prob.params.dbl_control(KLVO_CONTROL_FEASTOL), prob.params.dbl_control(KLVO_CONTROL_OPTTOL), scaled);
  auto give = [](const std::vector<int> &found, int *count, int *list) {
    if (count) *count = static_cast<int>(found.size());
    if (list) std::copy(found.begin(), found.end(), list);
  };
  give(inf.cols, npv, mx);
  give(inf.rows, nps, mslack);
  give(inf.dual_rows, nds, mdual);
  give(inf.dual_cols, ndv, mdj);
}

void get_ray(Problem &prob, bool dual, double *ray, int *hasray) {
  const SolutionStore &s = prob.solution;
  HighsEngine *engine = highs_of(prob);
  bool has = engine && s.optimizetype == KLVO_OPTTYPE_LP &&
             s.lpstatus == (dual ? KLVO_LP_INFEAS : KLVO_LP_UNBOUNDED) &&
             (dual ? engine->dual_ray(user_model(prob), user_model(prob).revision, ray)
                   : engine->primal_ray(user_model(prob), user_model(prob).revision, ray));
  if (hasray) *hasray = has ? 1 : 0;
}

void get_unbvec(Problem &prob, int *seq, const char *fn) {
  if (!seq) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null output argument", fn);
  const SolutionStore &s = prob.solution;
  HighsEngine *engine = highs_of(prob);
  *seq = engine && s.optimizetype == KLVO_OPTTYPE_LP && s.lpstatus == KLVO_LP_UNBOUNDED
             ? engine->unbounded_variable(user_model(prob), user_model(prob).revision)
             : -1;
}

void load_lpsol(Problem &prob, const double *x, const double *slack, const double *duals, const double *djs,
                int *status) {
  StartStore &st = prob.starts;
  if (!x) {
    if (status) *status = 1;
    return;
  }
  int n = user_model(prob).ncols(), r = user_model(prob).nrows();
  st.lp_cols = n;
  st.lp_rows = r;
  st.lp_x.assign(x, x + n);
  auto keep = [](const double *from, int count, std::vector<double> &to) {
    if (from) to.assign(from, from + count);
    else to.clear();
  };
  keep(slack, r, st.lp_slack);
  keep(duals, r, st.lp_duals);
  keep(djs, n, st.lp_djs);
  if (status) *status = 0;
}

void load_mipsol(Problem &prob, const double *x, int *status, const char *fn) {
  if (!x) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null solution", fn);
  const ModelStore &m = user_model(prob);
  bool feasible = primal_violation(m, x, false) <= prob.params.dbl_control(KLVO_CONTROL_FEASTOL) &&
                  max_fractionality(m, x) <= prob.params.dbl_control(KLVO_CONTROL_MIPTOL);
  if (status) *status = feasible ? 0 : 1;
  if (!feasible) return;
  add_mipsol(prob, m.ncols(), x, nullptr, nullptr, fn);
}

void add_mipsol(Problem &prob, int n, const double *values, const int *colind, const char *name, const char *fn) {
  int cols = user_model(prob).ncols();
  if (n < 0 || (n > 0 && !values)) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: invalid solution of %d values", fn, n);
  if (!colind && n != cols)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: a complete solution needs %d values, not %d", fn, cols, n);
  MipStart start;
  if (colind) {
    std::vector<char> seen(cols, 0);
    for (int k = 0; k < n; ++k) {
      if (colind[k] < 0 || colind[k] >= cols)
        fail(KLVO_ERR_INVALID_ARGUMENT, "%s: column %d is outside 0..%d", fn, colind[k], cols - 1);
      if (seen[colind[k]]++) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: column %d is given twice", fn, colind[k]);
    }
    start.colind.assign(colind, colind + n);
  }
  for (int k = 0; k < n; ++k)
    if (!std::isfinite(values[k])) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: value %d is not finite", fn, k);
  start.values.assign(values, values + n);
  if (name) start.name = name;
  // From a callback of a running solve, the solution goes to that solve.
  if (event_state(prob)) {
    prob.events.offer(std::move(start));
    return;
  }
  StartStore &st = prob.starts;
  if (st.mip_cols != cols) st.mip.clear();
  st.mip_cols = cols;
  st.mip.push_back(std::move(start));
}

void get_lastbarsol(const Problem &prob, double *x, double *slack, double *duals, double *djs, int *status) {
  const StartStore &st = prob.starts;
  bool valid = st.bar_lpstatus != KLVO_LP_UNSTARTED && st.bar_revision == user_model(prob).revision &&
               static_cast<int>(st.bar_x.size()) == user_model(prob).ncols();
  if (status) *status = valid ? st.bar_lpstatus : KLVO_LP_UNSTARTED;
  if (!valid) return;
  copy_out(st.bar_x, x);
  copy_out(st.bar_slack, slack);
  copy_out(st.bar_duals, duals);
  copy_out(st.bar_djs, djs);
}

void crossover_lpsol(Problem &prob, int *status) {
  const StartStore &st = prob.starts;
  int result = 1;
  HighsEngine *engine = highs_of(prob);
  if (engine && st.bar_lpstatus != KLVO_LP_UNSTARTED && st.bar_revision == user_model(prob).revision &&
      static_cast<int>(st.bar_x.size()) == user_model(prob).ncols()) {
    result = engine->crossover(prob.solve_context(), st.bar_x.data()) ? 0 : 2;
  }
  if (status) *status = result;
}

void callback_presolve_query(const Problem &, const char *fn) {
  fail(KLVO_ERR_NO_SOLUTION, "%s: a presolved solution is only available inside a callback of a solve", fn);
}

}  // namespace klvo
