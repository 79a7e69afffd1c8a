// What the successive-linearisation engine reads from the layer besides the formulas: column
// settings given in bulk, tolerance sets, row weights, and cascading (recomputing the columns
// that rows determine, in dependency order).
#include <algorithm>
#include <cmath>
#include <memory>
#include <queue>

#include "engines/nlp/layer.h"
#include "engines/nlp/nlp_model.h"
#include "engines/nlp/slp/slp_cascade.h"
#include "engines/nlp/slp/slp_events.h"
#include "env/problem.h"

namespace klvo {
namespace nlp {

namespace {

void check_tolset(const kslp_problem_s &slp, int t, const char *fn) {
  if (t < 1 || t > static_cast<int>(slp.tolsets.size()))
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: tolerance set %d does not exist (there are %d, numbered from 1)", fn, t,
         static_cast<int>(slp.tolsets.size()));
}

void check_tols(const double *tols, int n, const char *fn) {
  for (int k = 0; k < n; ++k)
    if (!std::isfinite(tols[k]) || tols[k] < 0)
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: tolerance %d is %g; tolerances are finite and non-negative", fn, k, tols[k]);
}

}  // namespace

void add_vars(kslp_problem_s &slp, int n, const int *colindex, const int *vartype, const int *detrow,
              const int *seqnum, const int *tolindex, const double *initvalue, const double *stepbound, bool replace,
              const char *fn) {
  if (n < 0 || (n > 0 && !colindex)) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: bad column list", fn);
  for (int k = 0; k < n; ++k) {
    check_col(slp, colindex[k], fn);
    if (detrow && detrow[k] != -1) check_row(slp, detrow[k], fn);
    if (vartype) check_vartype(vartype[k], colindex[k], fn);
    if (tolindex && tolindex[k] != 0) check_tolset(slp, tolindex[k], fn);
    if (initvalue && !std::isfinite(initvalue[k]))
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the initial value of column %d is not finite", fn, colindex[k]);
    if (stepbound && !(stepbound[k] >= 0 && std::isfinite(stepbound[k])))
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the step bound of column %d is not a non-negative number", fn, colindex[k]);
  }
  if (replace) {
    slp.vars.clear();
    slp.initval.clear();
  }
  for (int k = 0; k < n; ++k) {
    VarSettings &v = slp.vars[colindex[k]];
    if (vartype) v.vartype = vartype[k];
    if (detrow) v.detrow = detrow[k];
    if (seqnum) v.seqnum = seqnum[k];
    if (tolindex) v.tolset = tolindex[k];
    if (stepbound) v.initstepbound = stepbound[k];
    if (initvalue) slp.initval[colindex[k]] = initvalue[k];
  }
  slp.cascade_order.clear();
}

void add_tolsets(kslp_problem_s &slp, int n, const double *tols, bool replace, const char *fn) {
  if (n < 0 || (n > 0 && !tols)) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: bad tolerance list", fn);
  check_tols(tols, 9 * n, fn);
  if (replace) {
    for (auto &kv : slp.vars) kv.second.tolset = 0;
    slp.tolsets.clear();
  }
  for (int k = 0; k < n; ++k) {
    TolSet t;
    for (int q = 0; q < 9; ++q) {
      t.tol[q] = tols[9 * k + q];
      if (t.tol[q] > 0) t.status |= 1 << q;
    }
    slp.tolsets.push_back(t);
  }
}

void chg_tolset(kslp_problem_s &slp, int tolset, const int *status, const double *tols, const char *fn) {
  if (tolset == static_cast<int>(slp.tolsets.size()) + 1) {
    slp.tolsets.emplace_back();  // the next number makes a new set
  } else {
    check_tolset(slp, tolset, fn);
  }
  TolSet t = slp.tolsets[tolset - 1];
  try {
    if (status && (*status & ~0x1ff))
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: status %d has bits beyond the nine tolerances", fn, *status);
    if (tols) check_tols(tols, 9, fn);
  } catch (...) {
    if (tolset == static_cast<int>(slp.tolsets.size()) && t.status == 0 && !status) slp.tolsets.pop_back();
    throw;
  }
  if (tols)
    for (int q = 0; q < 9; ++q) t.tol[q] = tols[q];
  if (status) t.status = *status;
  else if (tols)
    for (int q = 0; q < 9; ++q) t.status = tols[q] > 0 ? t.status | (1 << q) : t.status & ~(1 << q);
  slp.tolsets[tolset - 1] = t;
}

int get_tolset(const kslp_problem_s &slp, int tolset, double *tols, const char *fn) {
  check_tolset(slp, tolset, fn);
  const TolSet &t = slp.tolsets[tolset - 1];
  if (tols) std::copy(t.tol.begin(), t.tol.end(), tols);
  return t.status;
}

void del_tolsets(kslp_problem_s &slp, int n, const int *index, const char *fn) {
  if (n < 0 || (n > 0 && !index)) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: bad tolerance set list", fn);
  for (int k = 0; k < n; ++k) check_tolset(slp, index[k], fn);
  int count = static_cast<int>(slp.tolsets.size());
  std::vector<int> map(count + 1, 0);  // old number -> new number, 0 deleted
  std::vector<char> gone(count + 1, 0);
  for (int k = 0; k < n; ++k) gone[index[k]] = 1;
  std::vector<TolSet> kept;
  for (int t = 1; t <= count; ++t)
    if (!gone[t]) {
      kept.push_back(slp.tolsets[t - 1]);
      map[t] = static_cast<int>(kept.size());
    }
  // Columns follow their sets; a column whose set went back to the default tests.
  for (auto &kv : slp.vars)
    if (kv.second.tolset > 0 && kv.second.tolset <= count) kv.second.tolset = map[kv.second.tolset];
  slp.tolsets.swap(kept);
}

void chg_row_weight(kslp_problem_s &slp, int row, const double *weight, const char *fn) {
  check_row(slp, row, fn);
  if (!weight) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null weight", fn);
  if (!(*weight > 0) || !std::isfinite(*weight))
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the weight %g of row %d is not a positive number", fn, *weight, row);
  slp.rowweight[row] = *weight;
}

double get_row_weight(const kslp_problem_s &slp, int row, const char *fn) {
  check_row(slp, row, fn);
  auto it = slp.rowweight.find(row);
  return it == slp.rowweight.end() ? 1.0 : it->second;
}

void chg_cascade_limit(kslp_problem_s &slp, int col, int limit, const char *fn) {
  check_col(slp, col, fn);
  if (limit < 1) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the limit %d is below 1", fn, limit);
  slp.vars[col].cascadelimit = limit;
}

// A column determined by a row comes after every determined column that row uses; columns the
// dependencies leave unordered go by sequence number, then by index. Columns in a cycle come
// last, in the same order.
void cascade_order(kslp_problem_s &slp, const char *fn) {
  if (!slp.prob) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the layer's problem has been destroyed", fn);
  const ModelStore &ms = slp.prob->model;
  int n = ms.ncols(), nr = ms.nrows();
  std::vector<int> det_by(nr, -1);  // row -> column it determines
  std::vector<int> cols;
  for (const auto &kv : slp.vars)
    if (kv.second.detrow >= 0 && kv.second.detrow < nr && kv.first < n && det_by[kv.second.detrow] < 0) {
      det_by[kv.second.detrow] = kv.first;
      cols.push_back(kv.first);
    }
  // Columns each determining row uses.
  std::vector<std::vector<int>> uses(nr);
  for (int c : cols) {
    int r = slp.vars[c].detrow;
    for (const Entry &e : ms.rowentries[r]) uses[r].push_back(e.index);
    if (!ms.qrows.empty())
      for (const QTerm &q : ms.qrows[r]) uses[r].push_back(q.col1), uses[r].push_back(q.col2);
  }
  for (const FormulaEntry &e : ms.formulas.entries()) {
    if (e.row < 0 || e.row >= nr || det_by[e.row] < 0) continue;
    if (e.col >= 0) uses[e.row].push_back(e.col);
    for (const Token &t : e.tokens)
      if (t.type == kColumn) uses[e.row].push_back(static_cast<int>(t.value));
  }
  std::vector<int> indeg(n, 0);
  std::vector<std::vector<int>> after(n);  // determined column -> columns waiting for it
  for (int c : cols) {
    std::vector<int> &u = uses[slp.vars[c].detrow];
    std::sort(u.begin(), u.end());
    u.erase(std::unique(u.begin(), u.end()), u.end());
    for (int j : u)
      if (j != c && j >= 0 && j < n && slp.vars.count(j) && slp.vars[j].detrow >= 0 && det_by[slp.vars[j].detrow] == j) {
        after[j].push_back(c);
        ++indeg[c];
      }
  }
  auto later = [&](int a, int b) {
    int sa = slp.vars[a].seqnum, sb = slp.vars[b].seqnum;
    return sa != sb ? sa > sb : a > b;
  };
  std::priority_queue<int, std::vector<int>, decltype(later)> ready(later);
  for (int c : cols)
    if (indeg[c] == 0) ready.push(c);
  std::vector<int> order;
  std::vector<char> placed(n, 0);
  while (!ready.empty()) {
    int c = ready.top();
    ready.pop();
    order.push_back(c);
    placed[c] = 1;
    for (int w : after[c])
      if (--indeg[w] == 0) ready.push(w);
  }
  std::vector<int> rest;
  for (int c : cols)
    if (!placed[c]) rest.push_back(c);
  std::sort(rest.begin(), rest.end(), [&](int a, int b) { return later(b, a); });
  order.insert(order.end(), rest.begin(), rest.end());
  slp.cascade_order.swap(order);
}

void construct(kslp_problem_s &slp, const char *fn) {
  if (!slp.prob) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the layer's problem has been destroyed", fn);
  const ModelStore &ms = slp.prob->model;
  if (!slp.compiled || slp.compiled_model_revision != ms.revision ||
      slp.compiled_formulas_revision != ms.formulas.revision()) {
    auto model = std::make_shared<NlpModel>(ms, &slp);
    slp.compiled = model;
    slp.compiled_model_revision = ms.revision;
    slp.compiled_formulas_revision = ms.formulas.revision();
  }
  slp.results.layer_status |= kStatusConstructed;
  fire(&slp, KSLP_CB_CONSTRUCT);
}

void set_current_iv(kslp_problem_s &slp, const char *fn) {
  if (!slp.results.has_solution)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: there is no current point: the layer holds no solution", fn);
  for (size_t j = 0; j < slp.results.x.size(); ++j) slp.initval[static_cast<int>(j)] = slp.results.x[j];
}

void reinitialize(kslp_problem_s &slp) {
  int status = slp.results.layer_status & kStatusConstructed;
  slp.results = Results();
  slp.results.layer_status = status;
  for (auto &kv : slp.vars) {
    kv.second.stepbound = kv.second.initstepbound;
    kv.second.converged = 0;
  }
  slp.lp_column.clear();
  slp.lp_row.clear();
}

int row_info(const kslp_problem_s &slp, int infotype, int row, int *ivalue, double *dvalue, const char *fn) {
  check_row(slp, row, fn);
  const Results &r = slp.results;
  bool sol = r.has_solution && row < static_cast<int>(r.slack.size());
  auto need_solution = [&] {
    if (!sol) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: information %d needs a solution, and the layer holds none", fn, infotype);
  };
  switch (infotype) {
    case 1: *ivalue = row < static_cast<int>(slp.lp_row.size()) ? slp.lp_row[row] : -1; return 1;
    case 2: *dvalue = get_row_weight(slp, row, fn); return 2;
    case 3: *ivalue = get_row_status(slp, row, fn); return 1;
    case 4: need_solution(); *dvalue = slp.prob->model.rhs[row] - r.slack[row]; return 2;
    case 5: need_solution(); *dvalue = r.duals[row]; return 2;
    case 6:
    case 7: {
      const std::vector<double> &v = infotype == 6 ? slp.lin_value : slp.lin_maxderiv;
      if (row >= static_cast<int>(v.size()))
        fail(KLVO_ERR_INVALID_ARGUMENT, "%s: information %d needs a linearisation (KSLPupdatelinearization)", fn,
             infotype);
      *dvalue = v[row];
      return 2;
    }
  }
  fail(KLVO_ERR_INVALID_ARGUMENT, "%s: unknown row information %d (1 to 7)", fn, infotype);
}

int col_info(const kslp_problem_s &slp, int infotype, int col, int *ivalue, double *dvalue, const char *fn) {
  check_col(slp, col, fn);
  const Results &r = slp.results;
  bool sol = r.has_solution && col < static_cast<int>(r.x.size());
  auto it = slp.vars.find(col);
  VarSettings v = it == slp.vars.end() ? VarSettings() : it->second;
  auto need_solution = [&] {
    if (!sol) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: information %d needs a solution, and the layer holds none", fn, infotype);
  };
  switch (infotype) {
    case 1: *ivalue = col < static_cast<int>(slp.lp_column.size()) ? slp.lp_column[col] : -1; return 1;
    case 2: *dvalue = v.stepbound; return 2;
    case 3: *ivalue = v.converged; return 1;
    case 4: need_solution(); *dvalue = r.x[col]; return 2;
    case 5: need_solution(); *dvalue = r.djs[col]; return 2;
    case 6: *ivalue = v.tolset; return 1;
    case 7: {
      auto pos = std::find(slp.cascade_order.begin(), slp.cascade_order.end(), col);
      *ivalue = pos == slp.cascade_order.end() ? -1 : static_cast<int>(pos - slp.cascade_order.begin());
      return 1;
    }
    case 8: *ivalue = v.deltatype; return 1;
  }
  fail(KLVO_ERR_INVALID_ARGUMENT, "%s: unknown column information %d (1 to 8)", fn, infotype);
}

// The point is the last solution, else the initial values; the new values become both.
void cascade(kslp_problem_s &slp, const char *fn) {
  if (!slp.prob) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the layer's problem has been destroyed", fn);
  const ModelStore &ms = slp.prob->model;
  int n = ms.ncols(), nr = ms.nrows();
  std::vector<CascadeColumn> cols = model_cascade(slp, fn);
  std::vector<double> x(n, 0.0);
  bool from_solution = slp.results.has_solution && static_cast<int>(slp.results.x.size()) == n;
  if (from_solution) x = slp.results.x;
  else
    for (const auto &kv : slp.initval)
      if (kv.first < n) x[kv.first] = kv.second;
  NlpModel full(ms, &slp);
  ActivityFn activity = [&](const double *p, std::vector<double> &act) {
    act.resize(nr);
    return full.row_activities(p, act.data());
  };
  int passes = static_cast<int>(int_control(&slp, kCtrlCascadeNLimit));
  CascadeOutcome done = run_cascade(&slp, cols, x, activity, passes, dbl_control(&slp, kCtrlCascadeTol));
  if (!done.ran) return;
  for (const CascadeColumn &c : cols) {
    slp.initval[c.col] = x[c.col];
    if (from_solution) slp.results.x[c.col] = x[c.col];
  }
}

}  // namespace nlp
}  // namespace klvo
