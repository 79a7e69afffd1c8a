// The layer's handles on the successive-linearisation engine's linearisation: finite-difference
// widths for chosen derivatives, how columns step, linearising at the current point, fixing
// penalties, row scaling and the presolve that prepares a starting point.
#include <algorithm>
#include <cmath>
#include <map>

#include "engines/nlp/layer.h"
#include "engines/nlp/nlp_model.h"
#include "engines/nlp/slp/slp_engine.h"
#include "engines/nlp/slp/slp_events.h"
#include "env/problem.h"

namespace klvo {
namespace nlp {

namespace {

// The current point in model space: the last solution, else the initial values (0 elsewhere).
std::vector<double> current_point(const kslp_problem_s &slp, int n) {
  if (slp.results.has_solution && static_cast<int>(slp.results.x.size()) == n) return slp.results.x;
  std::vector<double> x(n, 0.0);
  for (const auto &kv : slp.initval)
    if (kv.first < n) x[kv.first] = kv.second;
  return x;
}

}  // namespace

bool difference_jacobian(NlpModel &model, const std::vector<SlpDf> &dfs, const double *x, const std::vector<int> &jrow,
                         const std::vector<int> &jcol, double *values) {
  if (dfs.empty()) return true;
  std::map<std::pair<int, int>, int> at;
  for (size_t k = 0; k < jrow.size(); ++k) at[{jrow[k], jcol[k]}] = static_cast<int>(k);
  std::vector<double> xp(x, x + model.ne), gp(model.m), gm(model.m);
  for (const SlpDf &d : dfs) {
    auto it = at.find({d.row, d.col});
    if (it == at.end()) continue;  // the row does not depend on the column
    double h = d.width * std::max(1.0, std::fabs(x[d.col]));
    xp[d.col] = x[d.col] + h;
    bool ok = model.constraints(xp.data(), gp.data());
    xp[d.col] = x[d.col] - h;
    ok = ok && model.constraints(xp.data(), gm.data());
    xp[d.col] = x[d.col];
    if (!ok || !std::isfinite(gp[d.row]) || !std::isfinite(gm[d.row])) return false;
    values[it->second] = (gp[d.row] - gm[d.row]) / (2 * h);
  }
  return true;
}

void add_dfs(kslp_problem_s &slp, int n, const int *colindex, const int *rowindex, const double *value, bool replace,
             const char *fn) {
  if (n < 0 || (n > 0 && (!colindex || !rowindex || !value)))
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: bad finite-difference list", fn);
  for (int k = 0; k < n; ++k) {
    check_col(slp, colindex[k], fn);
    check_row(slp, rowindex[k], fn);
    if (!(value[k] > 0) || !std::isfinite(value[k]))
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the width %g for column %d in row %d is not a positive number", fn, value[k],
           colindex[k], rowindex[k]);
  }
  if (replace) slp.dfs.clear();
  for (int k = 0; k < n; ++k) slp.dfs[{colindex[k], rowindex[k]}] = value[k];
}

double get_df(const kslp_problem_s &slp, int col, int row, const char *fn) {
  check_col(slp, col, fn);
  check_row(slp, row, fn);
  auto it = slp.dfs.find({col, row});
  return it == slp.dfs.end() ? 0.0 : it->second;
}

void chg_delta_type(kslp_problem_s &slp, int n, const int *col, const int *type, const double *value, const char *fn) {
  if (n < 0 || (n > 0 && (!col || !type))) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: bad column list", fn);
  for (int k = 0; k < n; ++k) {
    check_col(slp, col[k], fn);
    if (type[k] < 0 || type[k] > 2)
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: delta type %d of column %d is not 0, 1 or 2", fn, type[k], col[k]);
    if (type[k] == 2 && (!value || !(value[k] > 0) || !std::isfinite(value[k])))
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: delta type 2 of column %d needs a positive smallest step", fn, col[k]);
  }
  for (int k = 0; k < n; ++k) {
    VarSettings &v = slp.vars[col[k]];
    v.deltatype = type[k];
    v.deltavalue = type[k] == 2 ? value[k] : 0.0;
  }
}

// Values and derivatives of every row at the current point, with the finite-difference widths
// applied; the preupdatelinearization event may keep the previous linearisation.
void update_linearization(kslp_problem_s &slp, const char *fn) {
  if (!slp.prob) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the layer's problem has been destroyed", fn);
  if (!slp.lin_value.empty() && fire_flag(&slp, KSLP_CB_PREUPDATELINEARIZATION)) return;
  const ModelStore &ms = slp.prob->model;
  NlpModel model(ms, &slp);
  std::vector<double> xm = current_point(slp, model.n), act(model.nrows_model());
  if (!model.row_activities(xm.data(), act.data()))
    fail(KLVO_ERR_ENGINE, "%s: the rows cannot be evaluated at the current point", fn);
  std::vector<double> x(model.ne);
  for (int k = 0; k < model.ne; ++k) x[k] = xm[model.model_col[k]];
  int nnz = model.jac_nnz();
  std::vector<int> jrow(nnz), jcol(nnz);
  std::vector<double> jval(nnz);
  model.jac_structure(jrow.data(), jcol.data());
  std::vector<SlpDf> dfs;
  for (const auto &kv : slp.dfs) {
    int c = kv.first.first, r = kv.first.second;
    if (c < model.n && r < static_cast<int>(model.engine_row.size()) && model.engine_col[c] >= 0 &&
        model.engine_row[r] >= 0)
      dfs.push_back({model.engine_row[r], model.engine_col[c], kv.second});
  }
  if ((nnz > 0 && !model.jacobian(x.data(), jval.data())) ||
      !difference_jacobian(model, dfs, x.data(), jrow, jcol, jval.data()))
    fail(KLVO_ERR_ENGINE, "%s: the derivatives cannot be evaluated at the current point", fn);
  std::vector<double> maxd(act.size(), 0.0);
  for (int k = 0; k < nnz; ++k) {
    double &m = maxd[model.model_row[jrow[k]]];
    m = std::max(m, std::fabs(jval[k]));
  }
  slp.lin_value.swap(act);
  slp.lin_maxderiv.swap(maxd);
}

// Rows satisfied at the last solution get the enforced status; returns how many rows are not.
int fix_penalties(kslp_problem_s &slp, const char *fn) {
  if (!slp.prob) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the layer's problem has been destroyed", fn);
  const Results &r = slp.results;
  const ModelStore &ms = slp.prob->model;
  int nr = ms.nrows();
  if (!r.has_solution || static_cast<int>(r.slack.size()) != nr)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: there is no solution to fix the penalties at", fn);
  double tol = dbl_control(&slp, kCtrlFeasTol);
  int violated = 0;
  std::vector<int> fix;
  for (int i = 0; i < nr; ++i) {
    double s = r.slack[i], v = 0;
    switch (ms.rowtype[i]) {
      case 'L': v = std::max(0.0, -s); break;
      case 'G': v = std::max(0.0, s); break;
      case 'E': v = std::fabs(s); break;
      case 'R': v = std::max(0.0, std::max(-s, s - ms.range[i])); break;
      default: continue;
    }
    if (v <= tol * std::max(1.0, std::fabs(ms.rhs[i]))) fix.push_back(i);
    else ++violated;
  }
  for (int i : fix) slp.rowstatus[i] |= kRowEnforced;
  return violated;
}

// Each row's penalty weight becomes the inverse of its largest derivative at the current point
// (within 1e-4 to 1e4), so that a unit of error costs alike in every row.
void scaling(kslp_problem_s &slp, const char *fn) {
  update_linearization(slp, fn);
  std::map<int, double> weight = slp.rowweight;
  for (size_t i = 0; i < slp.lin_maxderiv.size(); ++i)
    if (slp.lin_maxderiv[i] > 0) weight[static_cast<int>(i)] = std::min(1e4, std::max(1e-4, 1.0 / slp.lin_maxderiv[i]));
  slp.rowweight.swap(weight);
}

// Builds the compiled model, orders and runs the cascade, so that the starting point satisfies
// every determining row, and linearises there.
void presolve(kslp_problem_s &slp, const char *fn) {
  construct(slp, fn);
  cascade_order(slp, fn);
  cascade(slp, fn);
  update_linearization(slp, fn);
}

}  // namespace nlp
}  // namespace klvo
