// Repairing an infeasible problem: the least weighted relaxation of its rows and bounds, found
// on a copy that carries one slack column per relaxable side, then optionally the original
// objective optimised over the copy with the relaxation allowed to grow by a fraction.
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "analysis/analysis.h"
#include "analysis/scratch.h"
#include "engines/solution.h"

namespace klvo {

namespace {

constexpr double kInfinity = 1e20;

// One relaxable side: slack column `col` of the copy relaxes row (or bound) `index` upward
// or downward at `weight` per unit.
struct Side {
  enum Kind { row_up, row_down, lower_bound, upper_bound } kind;
  int index;
  double weight;
};

const char *side_text(Side::Kind k) {
  switch (k) {
    case Side::row_up: return "upper side of row";
    case Side::row_down: return "lower side of row";
    case Side::lower_bound: return "lower bound of column";
    default: return "upper bound of column";
  }
}

double at(const double *a, int i, double none) { return a ? a[i] : none; }

void check_preferences(const double *a, int n, const char *what, const char *fn) {
  for (int i = 0; a && i < n; ++i)
    if (!(a[i] >= 0) || !std::isfinite(a[i]))
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: %s[%d] = %g: preferences must be finite and not negative", fn, what, i,
           a[i]);
}

void check_limits(const double *a, int n, const char *what, const char *fn) {
  for (int i = 0; a && i < n; ++i)
    if (!(a[i] >= 0))
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: %s[%d] = %g: relaxation limits must not be negative", fn, what, i, a[i]);
}

// The repair's status from a solve of the copy.
int outcome(const SolutionStore &s) {
  if (s.solstatus == KLVO_SOLSTATUS_OPTIMAL) return KLVO_REPAIR_SOLVED;
  if (s.solstatus == KLVO_SOLSTATUS_INFEASIBLE) return KLVO_REPAIR_INFEASIBLE;
  if (s.solstatus == KLVO_SOLSTATUS_UNBOUNDED) return KLVO_REPAIR_UNBOUNDED;
  if (s.solvestatus == KLVO_SOLVESTATUS_STOPPED) return KLVO_REPAIR_STOPPED;
  return KLVO_REPAIR_FAILED;
}

double objective_of(const SolutionStore &s) {
  return s.optimizetype == KLVO_OPTTYPE_MIP ? s.mipobjval : s.lpobjval;
}

}  // namespace

int repair(Problem &prob, const RepairRequest &r, const char *fn) {
  const ModelStore &m = prob.model;
  const int nrows = m.nrows(), ncols = m.ncols();
  if (r.penalty != 'n' && r.penalty != 'q')
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: penalty '%c' is not 'n' (weighted sum) or 'q' (weighted sum of squares)", fn,
         r.penalty);
  if (r.phase2 != 'n' && r.phase2 != 'o')
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: phase two '%c' is not 'n' (none) or 'o' (optimise the objective)", fn,
         r.phase2);
  if (!(r.delta >= 0) || !std::isfinite(r.delta))
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: delta %g must be finite and not negative", fn, r.delta);
  bool relaxation_only = false;
  for (const char *f = r.flags ? r.flags : ""; *f; ++f) {
    if (*f == 'l')
      relaxation_only = true;
    else if (*f != 'n' && *f != ' ')
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: unknown flag '%c' (known: 'l' continuous relaxation)", fn, *f);
  }
  check_preferences(r.lepref, nrows, "lepref", fn);
  check_preferences(r.gepref, nrows, "gepref", fn);
  check_preferences(r.lbpref, ncols, "lbpref", fn);
  check_preferences(r.ubpref, ncols, "ubpref", fn);
  check_limits(r.lerelax, nrows, "lerelax", fn);
  check_limits(r.gerelax, nrows, "gerelax", fn);
  check_limits(r.lbrelax, ncols, "lbrelax", fn);
  check_limits(r.ubrelax, ncols, "ubrelax", fn);
  if (r.penalty == 'q' && r.phase2 == 'o')
    fail(KLVO_ERR_NOT_SUPPORTED, "%s: phase two needs the linear penalty 'n' (its bound on the penalty is a row)", fn);
  if (r.phase2 == 'o' && !m.objn.empty())
    fail(KLVO_ERR_NOT_SUPPORTED, "%s: phase two optimises a single objective: the problem has several", fn);

  Scratch copy(prob, "repair", fn);
  KLVOprob c = copy.get();

  // One slack column per relaxable side, each bounded by its limit.
  std::vector<Side> sides;
  std::vector<double> slack_ub;
  std::vector<int64_t> start{0};
  std::vector<int> rowind;
  std::vector<double> coef;
  auto add_side = [&](Side s, int row, double sign, double limit) {
    sides.push_back(s);
    slack_ub.push_back(std::min(limit, kInfinity));
    rowind.push_back(row);
    coef.push_back(sign);
    start.push_back(static_cast<int64_t>(rowind.size()));
  };
  // A range row with a relaxable side becomes two rows, so that moving one end leaves the
  // other where it is: the row keeps its upper end as an 'L' row and a copy holds the lower.
  std::vector<int> split;
  for (int i = 0; i < nrows; ++i)
    if (m.rowtype[i] == 'R' && (at(r.lepref, i, 0) > 0 || at(r.gepref, i, 0) > 0)) split.push_back(i);
  {
    std::vector<char> type(split.size(), 'G'), to_l(split.size(), 'L');
    std::vector<double> rhs;
    std::vector<int64_t> rstart{0};
    std::vector<int> cols;
    std::vector<double> vals;
    for (int i : split) {
      rhs.push_back(m.rhs[i] - m.range[i]);
      for (const Entry &e : m.rowentries[i]) cols.push_back(e.index), vals.push_back(e.value);
      rstart.push_back(static_cast<int64_t>(cols.size()));
    }
    copy.check(KLVOchgrowtype(c, static_cast<int>(split.size()), split.data(), to_l.data()));
    copy.check(KLVOaddrows64(c, static_cast<int>(split.size()), static_cast<int64_t>(cols.size()), type.data(),
                             rhs.data(), nullptr, rstart.data(), cols.data(), vals.data()));
  }
  for (int i = 0, k = 0; i < nrows; ++i) {
    char t = m.rowtype[i];
    double up = at(r.lepref, i, 0), down = at(r.gepref, i, 0);
    int lower_row = i;
    if (k < static_cast<int>(split.size()) && split[k] == i) lower_row = nrows + k++;
    if (up > 0 && (t == 'L' || t == 'E' || t == 'R'))
      add_side({Side::row_up, i, 1 / up}, i, -1.0, at(r.lerelax, i, kInfinity));
    if (down > 0 && (t == 'G' || t == 'E' || t == 'R'))
      add_side({Side::row_down, i, 1 / down}, lower_row, 1.0, at(r.gerelax, i, kInfinity));
  }
  // A relaxable bound moves into a row of its own (x + down >= lower, x - up <= upper) and
  // the column loses it; only continuous and integer columns, whose type does not fix the
  // bounds.
  std::vector<char> bndrow_type;
  std::vector<double> bndrow_rhs;
  std::vector<int64_t> bndrow_start{0};
  std::vector<int> bndrow_col, freed_col;
  std::vector<char> freed_type;
  std::vector<double> freed_val;
  auto bound_side = [&](int j, bool lower) {
    int row = nrows + static_cast<int>(split.size() + bndrow_type.size());
    bndrow_type.push_back(lower ? 'G' : 'L');
    bndrow_rhs.push_back(lower ? m.lb[j] : m.ub[j]);
    bndrow_col.push_back(j);
    bndrow_start.push_back(static_cast<int64_t>(bndrow_col.size()));
    if (lower)
      add_side({Side::lower_bound, j, 1 / r.lbpref[j]}, row, 1.0, at(r.lbrelax, j, kInfinity));
    else
      add_side({Side::upper_bound, j, 1 / r.ubpref[j]}, row, -1.0, at(r.ubrelax, j, kInfinity));
    freed_col.push_back(j), freed_type.push_back(lower ? 'L' : 'U');
    freed_val.push_back(lower ? -kInfinity : kInfinity);
  };
  for (int j = 0; j < ncols; ++j) {
    if (m.coltype[j] != 'C' && m.coltype[j] != 'I') continue;
    if (at(r.lbpref, j, 0) > 0 && m.lb[j] > -kInfinity) bound_side(j, true);
    if (at(r.ubpref, j, 0) > 0 && m.ub[j] < kInfinity) bound_side(j, false);
  }
  std::vector<double> ones(bndrow_col.size(), 1.0);
  const int nbnd = static_cast<int>(bndrow_type.size()), nside = static_cast<int>(sides.size());
  copy.check(KLVOaddrows64(c, nbnd, static_cast<int64_t>(bndrow_col.size()), bndrow_type.data(), bndrow_rhs.data(),
                           nullptr, bndrow_start.data(), bndrow_col.data(), ones.data()));
  copy.check(KLVOchgbounds(c, static_cast<int>(freed_col.size()), freed_col.data(), freed_type.data(),
                           freed_val.data()));
  std::vector<double> zeros(nside, 0.0);
  copy.check(KLVOaddcols64(c, nside, static_cast<int64_t>(rowind.size()), zeros.data(), start.data(), rowind.data(),
                           coef.data(), zeros.data(), slack_ub.data()));

  // Phase one: the weighted relaxation alone is minimised.
  std::vector<int> all(ncols + nside), slack_cols(nside);
  for (int j = 0; j < ncols + nside; ++j) all[j] = j;
  for (int k = 0; k < nside; ++k) slack_cols[k] = ncols + k;
  std::vector<double> weights(nside), phase1_obj(ncols + nside, 0.0);
  for (int k = 0; k < nside; ++k) weights[k] = sides[k].weight;
  if (r.penalty == 'n') std::copy(weights.begin(), weights.end(), phase1_obj.begin() + ncols);
  copy.check(KLVOchgobj(c, ncols + nside, all.data(), phase1_obj.data()));
  copy.set_objective_constant(0.0);
  copy.clear_quadratic_objective();
  while (!copy.model().objn.empty()) copy.check(KLVOdelobj(c, static_cast<int>(copy.model().objn.size())));
  copy.check(KLVOchgobjsense(c, 1));
  if (r.penalty == 'q') {
    std::vector<double> twice(nside);
    for (int k = 0; k < nside; ++k) twice[k] = 2 * weights[k];
    copy.check(KLVOchgmqobj(c, nside, slack_cols.data(), slack_cols.data(), twice.data()));
  }
  const char *solve_flags = relaxation_only ? "l" : "";
  copy.check(KLVOoptimize(c, solve_flags, nullptr, nullptr));
  int status = outcome(copy.solution());
  const double least = objective_of(copy.solution());

  // Phase two: the original objective over the relaxed copy, the penalty kept within
  // (1 + delta) times its least value (and a tolerance for the solves' own).
  if (status == KLVO_REPAIR_SOLVED && r.phase2 == 'o') {
    std::vector<double> obj(m.obj);
    obj.resize(ncols + nside, 0.0);
    copy.check(KLVOchgobj(c, ncols + nside, all.data(), obj.data()));
    copy.set_objective_constant(m.objconstant);
    copy.restore_quadratic_objective(m);
    copy.check(KLVOchgobjsense(c, m.objsense));
    double cap = least * (1 + r.delta) + 1e-9 * (1 + std::fabs(least));
    const char type = 'L';
    int64_t rowstart[2] = {0, nside};
    copy.check(KLVOaddrows64(c, 1, nside, &type, &cap, nullptr, rowstart, slack_cols.data(), weights.data()));
    copy.check(KLVOoptimize(c, solve_flags, nullptr, nullptr));
    status = outcome(copy.solution());
  }

  // The relaxed solution becomes the problem's, in its own rows and columns.
  const SolutionStore &s = copy.solution();
  if (s.primal_status == KLVO_SOLSTATUS_OPTIMAL || s.primal_status == KLVO_SOLSTATUS_FEASIBLE) {
    SolutionStore out;
    out.x.assign(s.x.begin(), s.x.begin() + ncols);
    out.slack.resize(nrows);
    calc_slacks(m, out, out.x.data(), out.slack.data(), fn);
    double obj = 0;
    calc_objective(m, out, out.x.data(), &obj, fn);
    out.lpstatus = s.lpstatus, out.mipstatus = s.mipstatus, out.solvestatus = s.solvestatus;
    out.stopstatus = s.stopstatus, out.optimizetype = s.optimizetype;
    out.solstatus = out.primal_status = s.primal_status;
    out.simplexiter = s.simplexiter, out.bariter = s.bariter, out.nodes = s.nodes, out.mipsols = s.mipsols;
    out.time = s.time;
    (s.optimizetype == KLVO_OPTTYPE_MIP ? out.mipobjval : out.lpobjval) = obj;
    double penalty = 0;
    for (int k = 0; k < nside; ++k) {
      double v = s.x[ncols + k];
      penalty += r.penalty == 'q' ? sides[k].weight * v * v : sides[k].weight * v;
      if (v > 1e-9) info(prob, "%s: %s %d relaxed by %.10g", fn, side_text(sides[k].kind),
                                  sides[k].index, v);
    }
    info(prob, "%s: least weighted relaxation %.10g, relaxation used %.10g, objective %.10g", fn,
                  least, penalty, obj);
    prob.solution = std::move(out);
  } else {
    info(prob, "%s: no relaxed solution (repair status %d)", fn, status);
  }
  return status;
}

}  // namespace klvo
