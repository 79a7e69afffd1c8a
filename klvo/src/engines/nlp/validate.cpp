// Checks of a point against the model with its formulas: feasibility of rows and bounds,
// KKT residuals of a solution, and reports of memory and evaluation figures.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "engines/nlp/evaluator.h"
#include "engines/nlp/formula_access.h"
#include "engines/solution.h"
#include "env/problem.h"
#include "model/edit.h"

namespace klvo {
namespace nlp {

namespace {

std::string format(const char *f, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char *f, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, f);
  std::vsnprintf(buf, sizeof buf, f, ap);
  va_end(ap);
  return buf;
}

// Row activities and objective of a model point.
struct PointValues {
  std::vector<double> act;
  double objective = 0.0;
};

PointValues evaluate_point(const kslp_problem_s &slp, const double *x, const char *fn) {
  Problem &prob = layer_problem(slp, fn);
  NlpModel model(prob.model, &slp);
  PointValues pv;
  pv.act.resize(prob.model.nrows());
  if (!model.row_activities(x, pv.act.data()) || !model.objective(x, pv.objective))
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: a formula cannot be evaluated at this point", fn);
  return pv;
}

// How far a value lies outside [lo, hi], and the scale a relative measure divides by.
struct Violation {
  double amount = 0.0, scale = 1.0;
};

Violation outside(double v, double lo, double hi) {
  if (v < lo) return {lo - v, std::max(1.0, std::fabs(lo))};
  if (v > hi) return {v - hi, std::max(1.0, std::fabs(hi))};
  return {};
}

void row_range(const ModelStore &m, int i, double &lo, double &hi) {
  double r = m.rhs[i];
  lo = -HUGE_VAL, hi = HUGE_VAL;
  switch (m.rowtype[i]) {
    case 'L': hi = r; break;
    case 'G': lo = r; break;
    case 'E': lo = hi = r; break;
    case 'R': lo = r - m.range[i], hi = r; break;
    default: break;
  }
}

// Every row and bound violation of a point, largest first in the given sum.
struct Feasibility {
  double sum = 0.0, scaled = 0.0, max_abs = 0.0, max_rel = 0.0;
  int worst_row = -1, worst_col = -1, beyond = 0;
};

Feasibility feasibility(const ModelStore &m, const double *x, const std::vector<double> &act, double tol) {
  Feasibility f;
  auto add = [&](Violation v, int row, int col) {
    if (v.amount <= 0.0) return;
    f.sum += v.amount;
    f.scaled += v.amount / v.scale;
    if (v.amount > f.max_abs) f.max_abs = v.amount, f.worst_row = row, f.worst_col = col;
    f.max_rel = std::max(f.max_rel, v.amount / v.scale);
    if (v.amount / v.scale > tol) ++f.beyond;
  };
  for (int i = 0; i < m.nrows(); ++i) {
    double lo, hi;
    row_range(m, i, lo, hi);
    add(outside(act[i], lo, hi), i, -1);
  }
  for (int j = 0; j < m.ncols(); ++j) add(outside(x[j], m.lb[j], m.ub[j]), -1, j);
  return f;
}

const std::vector<double> &last_point(const kslp_problem_s &slp, const char *fn) {
  if (!slp.results.has_solution || static_cast<int>(slp.results.x.size()) != slp.ncols())
    fail(KLVO_ERR_NO_SOLUTION, "%s: no nonlinear solution is available", fn);
  return slp.results.x;
}

}  // namespace

void validate(kslp_problem_s &slp, const char *fn) {
  const std::vector<double> &x = last_point(slp, fn);
  Problem &prob = layer_problem(slp, fn);
  double tol = dbl_control(&slp, kCtrlFeasTol);
  PointValues pv = evaluate_point(slp, x.data(), fn);
  Feasibility f = feasibility(prob.model, x.data(), pv.act, tol);
  Validation &v = slp.validation;
  v.abs_violation = f.max_abs;
  v.rel_violation = f.max_rel;
  v.status = (v.status & ~3) | 1 | (f.beyond ? 2 : 0);
  std::string where = f.worst_row >= 0 ? format(" (row %d)", f.worst_row)
                      : f.worst_col >= 0 ? format(" (bound of column %d)", f.worst_col)
                                         : std::string();
  slp.message(f.beyond ? 3 : 1,
              format("Validation: largest violation %g%s, largest relative violation %g, %d beyond the tolerance %g",
                     f.max_abs, where.c_str(), f.max_rel, f.beyond, tol));
}

void validate_row(kslp_problem_s &slp, int row, const char *fn) {
  Problem &prob = layer_problem(slp, fn);
  const ModelStore &m = prob.model;
  if (row < 0 || row >= m.nrows())
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: row %d is out of range (the problem has %d rows)", fn, row, m.nrows());
  const std::vector<double> &x = last_point(slp, fn);
  PointValues pv = evaluate_point(slp, x.data(), fn);
  double linear = 0.0;
  for (const Entry &e : m.rowentries[row]) linear += e.value * x[e.index];
  double formulas = 0.0;
  for (const std::pair<int, int> &pc : slp.formulas().pairs())
    if (pc.first == row) formulas += evaluate_coef(slp, row, pc.second, fn) * (pc.second == KSLP_NOCOLUMN ? 1.0 : x[pc.second]);
  double lo, hi;
  row_range(m, row, lo, hi);
  Violation viol = outside(pv.act[row], lo, hi);
  slp.validation.abs_violation = viol.amount;
  slp.validation.rel_violation = viol.amount / viol.scale;
  double tol = dbl_control(&slp, kCtrlFeasTol);
  slp.validation.status = (slp.validation.status & ~3) | 1 | (viol.amount / viol.scale > tol ? 2 : 0);
  slp.message(1, format("Row %d (%s, type %c, rhs %g): linear %g, quadratic %g, formulas %g, activity %g, violation %g",
                        row, name_or_default(m, 1, row).c_str(), m.rowtype[row], m.rhs[row], linear,
                        pv.act[row] - linear - formulas, formulas, pv.act[row], viol.amount));
}

void validate_vector(const kslp_problem_s &slp, const double *x, double *suminf, double *sumscaled, double *objval,
                     const char *fn) {
  if (!x) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null point", fn);
  Problem &prob = layer_problem(slp, fn);
  for (int j = 0; j < prob.model.ncols(); ++j)
    if (!std::isfinite(x[j])) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: entry %d of the point is not finite", fn, j);
  PointValues pv = evaluate_point(slp, x, fn);
  Feasibility f = feasibility(prob.model, x, pv.act, dbl_control(&slp, kCtrlFeasTol));
  if (suminf) *suminf = f.sum;
  if (sumscaled) *sumscaled = f.scaled;
  if (objval) *objval = pv.objective;
}

void validate_kkt(kslp_problem_s &slp, int mode, int respectbasis, int updatemult, double violtarget, const char *fn) {
  if (mode != 0 && mode != 1) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: mode must be 0 or 1, not %d", fn, mode);
  Problem &prob = layer_problem(slp, fn);
  const ModelStore &m = prob.model;
  const std::vector<double> &x = last_point(slp, fn);
  const Results &r = slp.results;
  int n = m.ncols(), nr = m.nrows();
  if (static_cast<int>(r.duals.size()) != nr || static_cast<int>(r.djs.size()) != n)
    fail(KLVO_ERR_NO_SOLUTION, "%s: the last solution has no duals and reduced costs", fn);

  // Gradient of the Lagrangian without the reduced costs: grad f - sum_i y_i grad g_i.
  std::vector<double> g(n);
  calc_reduced_costs(m, prob.solution, r.duals.data(), x.data(), g.data(), fn);
  const std::vector<FormulaEntry> &entries = slp.formulas().entries();
  if (!entries.empty()) {
    Evaluator ev;
    std::vector<double> weight;
    for (const FormulaEntry &e : entries) {
      ev.add(e.tokens.data(), static_cast<int>(e.tokens.size()), n, slp.users.get(), e.col == KSLP_NOCOLUMN ? -1 : e.col,
             e.factor, e.row < 0 ? 0 : 1);
      weight.push_back(e.row < 0 ? 1.0 : -r.duals[e.row]);
    }
    ev.finish();
    for (int f = 0; f < ev.size(); ++f)
      for (int l = 0; l < ev.nlocal(f); ++l) ev.set_gradient_target(f, l, ev.local_col(f, l));
    if (!ev.gradients(x.data(), 0, weight.data(), g.data()) || !ev.gradients(x.data(), 1, weight.data(), g.data()))
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: a formula cannot be differentiated at the solution", fn);
  }
  std::vector<double> djs = mode == 1 ? g : r.djs;

  double tol = dbl_control(&slp, kCtrlFeasTol);
  double sense = m.objsense < 0 ? -1.0 : 1.0;
  double stationarity = 0.0, sign = 0.0, complementarity = 0.0;
  for (int j = 0; j < n; ++j) stationarity = std::max(stationarity, std::fabs(g[j] - djs[j]));
  // A multiplier s * mu (s the sense) of a lower bound lo must be >= 0 and of an upper bound
  // <= 0; its product with the distance to that bound must vanish. With respectbasis, a
  // multiplier on a constraint inactive by more than the tolerance counts in full.
  auto check = [&](double mu, double v, double lo, double hi) {
    double d = sense * mu;
    if (d == 0.0) return;
    double bound = d > 0 ? lo : hi;
    if (!std::isfinite(bound)) {
      sign = std::max(sign, std::fabs(d));
      return;
    }
    double dist = std::fabs(v - bound);
    if (respectbasis && dist > tol) complementarity = std::max(complementarity, std::fabs(d));
    else complementarity = std::max(complementarity, std::fabs(d) * dist);
  };
  for (int j = 0; j < n; ++j) check(djs[j], x[j], m.lb[j], m.ub[j]);
  PointValues pv = evaluate_point(slp, x.data(), fn);
  for (int i = 0; i < nr; ++i) {
    double lo, hi;
    row_range(m, i, lo, hi);
    // The dual is d objective / d rhs: a greater-than row binds with a positive one when minimising.
    check(r.duals[i], pv.act[i], lo, hi);
  }
  double target = violtarget > 0 ? violtarget : dbl_control(&slp, kCtrlOptTol);
  double worst = std::max({stationarity, sign, complementarity});
  if (mode == 1 && updatemult) slp.results.djs = djs;
  slp.validation.kkt_residual = worst;
  slp.validation.status = (slp.validation.status & ~12) | 4 | (worst > target ? 8 : 0);
  slp.message(worst > target ? 3 : 1,
              format("KKT check: stationarity %g, multiplier signs %g, complementarity %g (target %g)", stationarity,
                     sign, complementarity, target));
}

namespace {

template <class Map>
size_t map_bytes(const Map &m) {
  // A tree node holds the value and three pointers and a colour word.
  return m.size() * (sizeof(typename Map::value_type) + 4 * sizeof(void *));
}

}  // namespace

void print_memory(kslp_problem_s &slp, const char *fn) {
  const FormulaStore &store = slp.formulas();
  size_t tokens = 0, entry_bytes = 0;
  for (const FormulaEntry &e : store.entries()) {
    tokens += e.tokens.size();
    entry_bytes += sizeof(FormulaEntry) + e.tokens.capacity() * sizeof(Token);
  }
  size_t settings = map_bytes(slp.initval) + map_bytes(slp.vars) + map_bytes(slp.rowstatus);
  const Results &r = slp.results;
  size_t solution = (r.x.capacity() + r.slack.capacity() + r.duals.capacity() + r.djs.capacity()) * sizeof(double);
  size_t users = slp.users->items.size() * sizeof(UserFunction);
  size_t compiled = 0;
  std::string model = "none";
  if (slp.compiled) {
    const NlpModel &c = *slp.compiled;
    compiled = static_cast<size_t>(c.jac_nnz() + c.hess_nnz()) * (2 * sizeof(int) + sizeof(double));
    model = format("%d Jacobian and %d Hessian nonzeros, %zu bytes of structure", c.jac_nnz(), c.hess_nnz(), compiled);
  }
  slp.message(1, "Nonlinear layer memory:");
  slp.message(1, format("  formula entries  %d entries, %zu tokens, %zu bytes", store.size(), tokens, entry_bytes));
  slp.message(1, format("  user functions   %zu, %zu bytes", slp.users->items.size(), users));
  slp.message(1, format("  column settings  %zu initial values, %zu columns, %zu row statuses, %zu bytes",
                        slp.initval.size(), slp.vars.size(), slp.rowstatus.size(), settings));
  slp.message(1, format("  last solution    %zu bytes", solution));
  slp.message(1, format("  compiled model   %s", model.c_str()));
  slp.message(1, format("  total            %zu bytes", entry_bytes + users + settings + solution + compiled));
  (void)fn;
}

void print_eval_info(kslp_problem_s &slp, const char *fn) {
  const FormulaStore &store = slp.formulas();
  size_t tokens = 0;
  int with_column = 0;
  for (const FormulaEntry &e : store.entries()) {
    tokens += e.tokens.size();
    with_column += e.col != KSLP_NOCOLUMN;
  }
  slp.message(1, "Formula evaluation:");
  slp.message(1, format("  formulas         %d entries (%d with a column), %zu tokens, %zu user functions", store.size(),
                        with_column, tokens, slp.users->items.size()));
  if (!slp.compiled) {
    slp.message(1, "  compiled model   none (no solve since the formulas last changed)");
    return;
  }
  const Evaluator::Stats &s = slp.compiled->evaluator().stats();
  slp.message(1, format("  evaluations      %llu value sweeps (%llu formula values), %llu gradient sweeps, %llu Hessian "
                        "sweeps",
                        static_cast<unsigned long long>(s.value_sweeps), static_cast<unsigned long long>(s.instances),
                        static_cast<unsigned long long>(s.gradient_sweeps),
                        static_cast<unsigned long long>(s.hessian_sweeps)));
  slp.message(1, format("  time             %.6f s in the sweeps", s.seconds));
  (void)fn;
}

}  // namespace nlp
}  // namespace klvo
