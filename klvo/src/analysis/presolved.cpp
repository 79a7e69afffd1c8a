#include "analysis/presolved.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include "analysis/analysis.h"
#include "analysis/engine_access.h"
#include "engines/highs/instances.h"
#include "engines/solution.h"
#include "klvo.h"
#include "model/array_sizes.h"
#include "model/edit.h"

namespace klvo {

PresolvedForm::~PresolvedForm() {
  if (inner) KLVOdestroyprob(inner);
  if (highs) free_highs_instance(highs);
}

namespace {

// Fails under fn with the presolved problem's own error when rc is not 0.
void check_inner(KLVOprob inner, int rc, const char *fn) {
  if (rc) fail(rc, "%s: %s", fn, inner->error.text().c_str());
}

void check_highs(HighsInt status, const char *what, const char *fn) {
  if (status == kHighsStatusError) fail(KLVO_ERR_ENGINE, "%s: HiGHS could not %s", fn, what);
}

// Columns and rows are named by their index, so that the presolved problem tells where each
// of its rows and columns comes from.
void name_by_index(void *highs, int ncols, int nrows, const char *fn) {
  std::string name;
  for (int j = 0; j < ncols; ++j) {
    name = "c" + std::to_string(j);
    check_highs(Highs_passColName(highs, j, name.c_str()), "name a column", fn);
  }
  for (int i = 0; i < nrows; ++i) {
    name = "r" + std::to_string(i);
    check_highs(Highs_passRowName(highs, i, name.c_str()), "name a row", fn);
  }
}

int index_from_name(const char *name, char kind, int count, const char *fn) {
  char *end = nullptr;
  long v = name[0] == kind ? std::strtol(name + 1, &end, 10) : -1;
  if (!end || *end || v < 0 || v >= count)
    fail(KLVO_ERR_INTERNAL, "%s: HiGHS's presolved problem has an unknown %s \"%s\"", fn,
         kind == 'c' ? "column" : "row", name);
  return static_cast<int>(v);
}

// The presolved problem HiGHS holds, loaded into a problem of its own.
void load_presolved(PresolvedForm &form, const ModelStore &original, const char *fn) {
  void *h = form.highs;
  const HighsInt ncols = Highs_getPresolvedNumCol(h), nrows = Highs_getPresolvedNumRow(h),
                 nnz = Highs_getPresolvedNumNz(h);
  HighsInt n = 0, m = 0, nz = 0, sense = 1;
  double offset = 0;
  std::vector<double> cost(ncols), lower(ncols), upper(ncols), rlower(nrows), rupper(nrows), value(nnz);
  std::vector<HighsInt> start(ncols + 1), index(nnz), integrality(ncols);
  check_highs(Highs_getPresolvedLp(h, kHighsMatrixFormatColwise, &n, &m, &nz, &sense, &offset, cost.data(),
                                   lower.data(), upper.data(), rlower.data(), rupper.data(), start.data(),
                                   index.data(), value.data(), integrality.data()),
              "read the presolved problem", fn);
  start[ncols] = nnz;

  form.colmap.resize(ncols);
  form.rowmap.resize(nrows);
  form.position.assign(original.ncols(), -1);
  char name[kHighsMaximumStringLength];
  for (HighsInt j = 0; j < ncols; ++j) {
    check_highs(Highs_getPresolvedColName(h, j, name), "name a presolved column", fn);
    form.colmap[j] = index_from_name(name, 'c', original.ncols(), fn);
    form.position[form.colmap[j]] = static_cast<int>(j);
  }
  for (HighsInt i = 0; i < nrows; ++i) {
    check_highs(Highs_getPresolvedRowName(h, i, name), "name a presolved row", fn);
    form.rowmap[i] = index_from_name(name, 'r', original.nrows(), fn);
  }

  // HiGHS's row bounds as row types.
  std::vector<char> rowtype(nrows);
  std::vector<double> rhs(nrows), range(nrows);
  for (HighsInt i = 0; i < nrows; ++i) {
    bool lo = std::isfinite(rlower[i]), up = std::isfinite(rupper[i]);
    if (lo && up && rlower[i] == rupper[i]) rowtype[i] = 'E', rhs[i] = rupper[i];
    else if (lo && up) rowtype[i] = 'R', rhs[i] = rupper[i], range[i] = rupper[i] - rlower[i];
    else if (up) rowtype[i] = 'L', rhs[i] = rupper[i];
    else if (lo) rowtype[i] = 'G', rhs[i] = rlower[i];
    else rowtype[i] = 'N';
  }
  std::vector<int64_t> start64(start.begin(), start.end());
  std::vector<int> rowind(index.begin(), index.end()), entind;
  std::vector<char> coltype;
  for (HighsInt j = 0; j < ncols; ++j) {
    if (integrality[j] == kHighsVarTypeContinuous) continue;
    entind.push_back(static_cast<int>(j));
    coltype.push_back('I');
  }
  KLVOprob inner = form.inner;
  check_inner(inner,
              KLVOloadmip64(inner, original.name.c_str(), ncols, nrows, rowtype.data(), rhs.data(), range.data(),
                            cost.data(), start64.data(), nullptr, rowind.data(), value.data(), lower.data(),
                            upper.data(), static_cast<int>(entind.size()), 0, coltype.data(), entind.data(), nullptr,
                            nullptr, nullptr, nullptr, nullptr),
              fn);
  check_inner(inner, KLVOchgobjsense(inner, sense == kHighsObjSenseMaximize ? -1 : 1), fn);
  int constant_col = -1;
  double constant = -offset;  // the objective's "right-hand side" is minus its constant
  check_inner(inner, KLVOchgobj(inner, 1, &constant_col, &constant), fn);

  // The caller's names follow their rows and columns.
  auto carry_names = [&](const NameTable &names, const std::vector<int> &map, int type) {
    bool any = false;
    std::string buffer;
    for (int k : map) {
      const std::string &s = names.get(k);
      any = any || !s.empty();
      buffer.append(s).push_back('\0');
    }
    if (any) check_inner(inner, KLVOaddnames(inner, type, buffer.data(), 0, static_cast<int>(map.size()) - 1), fn);
  };
  carry_names(original.colnames, form.colmap, KLVO_NAMES_COLUMNS);
  carry_names(original.rownames, form.rowmap, KLVO_NAMES_ROWS);
}

// Postsolves prex into x (the caller's columns; rows: the caller's row count).
void postsolve(void *highs, const double *prex, std::vector<double> &x, int rows, const char *fn) {
  std::vector<double> colduals(x.size()), activities(rows), rowduals(rows);
  check_highs(Highs_postsolve(highs, prex, nullptr, nullptr), "undo its presolve", fn);
  check_highs(Highs_getSolution(highs, x.data(), colduals.data(), activities.data(), rowduals.data()),
              "give the postsolved solution", fn);
}

// The affine map of each kept column, read off three postsolves: from a point, from the point
// with every kept column moved by 1, and moved by 1, 2 or 3 in turn. A column that moved by
// its own step times one factor both times is affine in itself alone.
void measure_kept_columns(PresolvedForm &form, const std::vector<double> &base, const ModelStore &original,
                          const char *fn) {
  const size_t n = form.colmap.size();
  const int rows = original.nrows();
  std::vector<double> x0(original.ncols()), x1(x0.size()), x2(x0.size()), point = base;
  postsolve(form.highs, point.data(), x0, rows, fn);
  for (double &v : point) v += 1;
  postsolve(form.highs, point.data(), x1, rows, fn);
  for (size_t k = 0; k < n; ++k) point[k] = base[k] + 1 + static_cast<double>(k % 3);
  postsolve(form.highs, point.data(), x2, rows, fn);
  form.colscale.assign(n, NAN);
  form.colshift.assign(n, NAN);
  for (size_t k = 0; k < n; ++k) {
    int c = form.colmap[k];
    double scale = x1[c] - x0[c], step = 1 + static_cast<double>(k % 3);
    if (std::fabs(x2[c] - x0[c] - scale * step) > 1e-9 * (1 + std::fabs(scale * step))) continue;
    form.colscale[k] = scale;
    form.colshift[k] = x0[c] - scale * base[k];
  }
}

// The caller's MIP solution written in the presolved columns and handed to the presolved
// search, which then stops at its first solution instead of proving the optimum again. True
// when the search ended with the caller's objective value; otherwise a full search must run.
bool take_callers_solution(Problem &prob, PresolvedForm &form, const char *fn) {
  const SolutionStore &s = prob.solution;
  if (s.primal_status == KLVO_SOLSTATUS_NOTFOUND || static_cast<int>(s.x.size()) != prob.model.ncols()) return false;
  // Columns HiGHS tied to others stay out: the start is then partial, and completed.
  std::vector<double> start;
  std::vector<int> columns;
  for (size_t k = 0; k < form.colmap.size(); ++k) {
    double value = (s.x[form.colmap[k]] - form.colshift[k]) / form.colscale[k];
    if (!(std::fabs(form.colscale[k]) > 0) || !std::isfinite(value)) continue;
    start.push_back(value);
    columns.push_back(static_cast<int>(k));
  }
  if (start.empty()) return false;
  KLVOprob inner = form.inner;
  double target = 0, found = 0;
  int searched = 0;
  check_inner(inner, KLVOaddmipsol(inner, static_cast<int>(start.size()), start.data(), columns.data(), "caller"), fn);
  // Any gap is small enough: the search stops once it holds a solution.
  check_inner(inner, KLVOsetdblcontrol(inner, KLVO_CONTROL_MIPABSSTOP, 1e20), fn);
  check_inner(inner, KLVOsetdblcontrol(inner, KLVO_CONTROL_MIPRELSTOP, 1e20), fn);
  check_inner(inner, KLVOmipoptimize(inner, ""), fn);
  check_inner(inner, KLVOsetdblcontrol(inner, KLVO_CONTROL_MIPABSSTOP, prob.params.dbl_control(KLVO_CONTROL_MIPABSSTOP)), fn);
  check_inner(inner, KLVOsetdblcontrol(inner, KLVO_CONTROL_MIPRELSTOP, prob.params.dbl_control(KLVO_CONTROL_MIPRELSTOP)), fn);
  check_inner(inner, KLVOgetintattrib(inner, KLVO_ATTR_MIPSOLS, &searched), fn);
  if (KLVOgetdblattrib(&prob, KLVO_ATTR_MIPOBJVAL, &target) != 0) return false;
  check_inner(inner, KLVOgetdblattrib(inner, KLVO_ATTR_MIPOBJVAL, &found), fn);
  return searched > 0 && std::fabs(found - target) <= 1e-9 * (1 + std::fabs(target));
}

}  // namespace

void refuse_presolved(const Problem &prob, const char *fn) {
  if (is_presolved(prob))
    fail(KLVO_ERR_INVALID_ARGUMENT,
         "%s: the problem stands in its presolved form (kept by the optimization flag 'k'); KLVOpostsolve "
         "returns it to its original form",
         fn);
}

void require_presolvable(const Problem &prob, const char *fn) {
  const ModelStore &m = prob.model;
  ModelFacts f = model_facts(prob);
  std::vector<std::string> what;
  if (f.objectives > 1) what.push_back("several objectives");
  if (f.qelems) what.push_back("a quadratic objective");
  if (f.qrows) what.push_back("quadratic rows");
  if (f.formulas) what.push_back("nonlinear formulas");
  if (f.sets) what.push_back("special ordered sets");
  if (f.indicators) what.push_back("indicator rows");
  if (f.gencons || f.pwlcons) what.push_back("general constraints");
  if (std::any_of(m.coltype.begin(), m.coltype.end(), [](char t) { return t == 'S' || t == 'R' || t == 'P'; }))
    what.push_back("semi-continuous or partially integer columns");
  if (what.empty()) return;
  std::string list;
  for (size_t k = 0; k < what.size(); ++k) list += (k ? ", " : "") + what[k];
  fail(KLVO_ERR_NOT_SUPPORTED,
       "%s: the flag 'k' keeps the presolved form of linear and mixed-integer linear models only; this one has %s",
       fn, list.c_str());
}

void keep_presolved(Problem &prob, bool relax, const char *fn) {
  const ModelStore &m = prob.model;
  HighsModel hm;
  build_highs_model(m, relax, hm, false);
  auto form = std::make_unique<PresolvedForm>();
  form->highs = new_highs_instance();
  void *h = form->highs;
  Highs_setBoolOptionValue(h, "output_flag", 0);
  check_highs(Highs_setStringOptionValue(h, "presolve", "on"), "set presolve on", fn);
  Highs_setDoubleOptionValue(h, "primal_feasibility_tolerance", prob.params.dbl_control(KLVO_CONTROL_FEASTOL));
  Highs_setDoubleOptionValue(h, "dual_feasibility_tolerance", prob.params.dbl_control(KLVO_CONTROL_OPTTOL));
  Highs_setDoubleOptionValue(h, "mip_feasibility_tolerance", prob.params.dbl_control(KLVO_CONTROL_MIPTOL));
  check_highs(Highs_passModel(h, hm.ncols, hm.nrows, static_cast<HighsInt>(hm.index.size()), 0,
                              kHighsMatrixFormatColwise, kHighsHessianFormatTriangular, hm.sense, hm.offset,
                              hm.cost.data(), hm.col_lower.data(), hm.col_upper.data(), hm.row_lower.data(),
                              hm.row_upper.data(), hm.start.data(), hm.index.data(), hm.value.data(), nullptr,
                              nullptr, nullptr, hm.integrality.empty() ? nullptr : hm.integrality.data()),
              "load the model", fn);
  name_by_index(h, hm.ncols, hm.nrows, fn);
  check_highs(Highs_presolve(h), "presolve the model", fn);
  HighsInt status = Highs_getModelStatus(h);
  if (status == kHighsModelStatusInfeasible || status == kHighsModelStatusUnbounded ||
      status == kHighsModelStatusUnboundedOrInfeasible) {
    prob.message(KLVO_MSG_WARNING, std::string(fn) + ": presolve finds the problem " +
                                       (status == kHighsModelStatusInfeasible ? "infeasible" : "unbounded or infeasible") +
                                       ": no presolved form is kept");
    return;
  }

  form->inner = create_problem(fn);
  load_presolved(*form, m, fn);
  KLVOprob inner = form->inner;
  check_inner(inner, KLVOcopycontrols(inner, &prob), fn);
  check_inner(inner, KLVOsetintcontrol(inner, KLVO_CONTROL_OUTPUTLOG, KLVO_OUTPUT_NONE), fn);
  measure_kept_columns(*form, std::vector<double>(form->colmap.size(), 0.0), m, fn);
  const bool mip = !relax && !hm.integrality.empty();
  if (!mip || !take_callers_solution(prob, *form, fn))
    check_inner(inner, mip ? KLVOmipoptimize(inner, "") : KLVOlpoptimize(inner, ""), fn);

  form->state = mip ? 4 : 2;
  form->original = std::move(prob.model);
  prob.model = inner->model;
  // Never the revision an engine saw of the caller's model.
  prob.model.revision = form->original.revision + 1;
  prob.presolved = std::move(form);
}

void leave_presolved(Problem &prob) {
  if (!prob.presolved) return;
  prob.model = std::move(prob.presolved->original);
  prob.presolved.reset();
}

void get_presolve_map(const Problem &prob, int *rowmap, int *colmap) {
  const PresolvedForm *form = prob.presolved.get();
  for (int i = 0; rowmap && i < prob.model.nrows(); ++i) rowmap[i] = form ? form->rowmap[i] : i;
  for (int j = 0; colmap && j < prob.model.ncols(); ++j) colmap[j] = form ? form->colmap[j] : j;
}

void get_presolve_sol(const Problem &prob, double *x, double *slack, double *duals, double *djs, const char *fn) {
  const PresolvedForm *form = prob.presolved.get();
  if (form) get_lpsol(form->inner->model, form->inner->solution, x, slack, duals, djs, fn);
  else get_lpsol(prob.model, prob.solution, x, slack, duals, djs, fn);
}

void get_presolve_basis(Problem &prob, int *rowstat, int *colstat, const char *fn) {
  if (!prob.presolved) return get_basis(prob, rowstat, colstat, fn);
  KLVOprob inner = prob.presolved->inner;
  check_inner(inner, KLVOgetbasis(inner, rowstat, colstat), fn);
}

void load_presolve_basis(Problem &prob, const int *rowstat, const int *colstat, const char *fn) {
  if (!prob.presolved) return load_basis(prob, rowstat, colstat, fn);
  KLVOprob inner = prob.presolved->inner;
  check_inner(inner, KLVOloadbasis(inner, rowstat, colstat), fn);
}

void post_solve_sol(Problem &prob, const double *prex, int prex_size, double *origx, int origx_size, const char *fn) {
  PresolvedForm *form = prob.presolved.get();
  const int cols = prob.model.ncols(), original_cols = user_model(prob).ncols();
  check_array_size(prex_size, cols, "prex", fn);
  check_array_size(origx_size, original_cols, "origx", fn);
  if ((cols > 0 && !prex) || (original_cols > 0 && !origx)) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null array", fn);
  if (!form) {
    std::copy(prex, prex + cols, origx);
    return;
  }
  for (int j = 0; j < cols; ++j)
    if (!std::isfinite(prex[j])) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: prex[%d] is not a finite number", fn, j);
  // HiGHS undoes its reductions on the instance that made them, primal values only.
  std::lock_guard<std::mutex> lock(form->highs_mutex);
  std::vector<double> x(original_cols);
  postsolve(form->highs, prex, x, form->original.nrows(), fn);
  std::copy(x.begin(), x.end(), origx);
}

void presolve_row(Problem &prob, char rowtype, int n, const int *colind, const double *coef, double rhs, int maxcoefs,
                  int *ncoefs, int *outind, double *outcoef, double *outrhs, int *status, const char *fn) {
  const PresolvedForm *form = prob.presolved.get();
  const ModelStore &m = user_model(prob);
  check_row_type(rowtype, fn);
  if (n < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative count %d", fn, n);
  if (n && (!colind || !coef)) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null input array", fn);
  for (int k = 0; k < n; ++k) check_col(m, colind[k], fn);
  std::vector<std::pair<int, double>> terms;
  for (int k = 0; k < n; ++k) {
    int j = colind[k], p = form ? form->position[j] : j;
    if (!form) {
      terms.emplace_back(j, coef[k]);
    } else if (p >= 0 && !std::isnan(form->colscale[p])) {
      // x_j = scale x'_p + shift
      terms.emplace_back(p, coef[k] * form->colscale[p]);
      rhs -= coef[k] * form->colshift[p];
    } else if (p < 0 && m.lb[j] == m.ub[j]) {
      rhs -= coef[k] * m.lb[j];  // a fixed column is a constant
    } else {
      // Presolve removed the column, or changed it, by a reduction that ties its value to
      // others: the row has no form over the presolved columns alone.
      if (ncoefs) *ncoefs = 0;
      if (status) *status = -1;
      return;
    }
  }
  std::sort(terms.begin(), terms.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
  std::vector<std::pair<int, double>> merged;
  for (const auto &t : terms) {
    if (!merged.empty() && merged.back().first == t.first) merged.back().second += t.second;
    else merged.push_back(t);
  }
  merged.erase(std::remove_if(merged.begin(), merged.end(), [](const auto &t) { return t.second == 0.0; }),
               merged.end());
  int count = static_cast<int>(merged.size());
  if (ncoefs) *ncoefs = count;
  if (status) *status = count > maxcoefs ? 1 : 0;
  if (outrhs) *outrhs = rhs;
  if (count > maxcoefs) return;
  for (int k = 0; k < count; ++k) {
    if (outind) outind[k] = merged[k].first;
    if (outcoef) outcoef[k] = merged[k].second;
  }
}

}  // namespace klvo
