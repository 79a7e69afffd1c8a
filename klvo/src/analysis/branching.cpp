// Strong branching from the current basis, and fixing a MIP solution's integer columns.
#include <cmath>
#include <vector>

#include "analysis/analysis.h"
#include "engines/highs/instances.h"
#include "analysis/engine_access.h"
#include "model/edit.h"

namespace klvo {

void strong_branch(Problem &prob, int n, const int *colind, const char *bndtype, const double *bndval, int iterlim,
                   double *objval, int *status, const char *fn) {
  const ModelStore &m = prob.model;
  if (n < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative count %d", fn, n);
  if (n && (!colind || !bndtype || !bndval)) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null input array", fn);
  if (iterlim < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative iteration limit %d", fn, iterlim);
  for (int k = 0; k < n; ++k) {
    check_col(m, colind[k], fn);
    if (bndtype[k] != 'L' && bndtype[k] != 'U' && bndtype[k] != 'B')
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: bound type '%c' (entry %d) is not 'L', 'U' or 'B'", fn, bndtype[k], k);
  }
  HighsEngine &e = engine_with_basis(prob, true, fn);
  std::vector<HighsInt> colst(m.ncols()), rowst(m.nrows());
  if (Highs_getBasis(e.instance(), colst.data(), rowst.data()) != kHighsStatusOk)
    fail(KLVO_ERR_ENGINE, "%s: HiGHS could not return its basis", fn);
  // The continuous relaxation as it is now, on an instance of its own so that the problem's
  // engine keeps its state; in the user's units (statuses do not depend on scaling).
  HighsModel lp;
  build_highs_model(m, true, lp, false);
  void *h = new_highs_instance();
  struct Destroy {
    void *h;
    ~Destroy() { free_highs_instance(h); }
  } destroy{h};
  Highs_setBoolOptionValue(h, "output_flag", 0);
  Highs_setStringOptionValue(h, "presolve", "off");
  Highs_setStringOptionValue(h, "solver", "simplex");
  Highs_setIntOptionValue(h, "simplex_strategy", 1);  // dual simplex: a bound change keeps dual feasibility
  Highs_setIntOptionValue(h, "simplex_iteration_limit", iterlim);
  if (Highs_passModel(h, lp.ncols, lp.nrows, static_cast<HighsInt>(lp.index.size()),
                      static_cast<HighsInt>(lp.qindex.size()), kHighsMatrixFormatColwise, kHighsHessianFormatTriangular,
                      lp.sense, lp.offset, lp.cost.data(), lp.col_lower.data(), lp.col_upper.data(),
                      lp.row_lower.data(), lp.row_upper.data(), lp.start.data(), lp.index.data(), lp.value.data(),
                      lp.qindex.empty() ? nullptr : lp.qstart.data(), lp.qindex.empty() ? nullptr : lp.qindex.data(),
                      lp.qindex.empty() ? nullptr : lp.qvalue.data(), nullptr) == kHighsStatusError)
    fail(KLVO_ERR_ENGINE, "%s: HiGHS refused the model", fn);
  for (int k = 0; k < n; ++k) {
    int j = colind[k];
    double v = bndval[k];
    double lo = bndtype[k] == 'U' ? lp.col_lower[j] : (v <= -KLVO_INFINITY ? -INFINITY : v);
    double up = bndtype[k] == 'L' ? lp.col_upper[j] : (v >= KLVO_INFINITY ? INFINITY : v);
    Highs_changeColBounds(h, j, lo, up);
    Highs_setBasis(h, colst.data(), rowst.data());
    HighsInt run = Highs_run(h);
    HighsInt ms = Highs_getModelStatus(h);
    int st = run == kHighsStatusError                   ? KLVO_LP_UNSOLVED
             : ms == kHighsModelStatusOptimal           ? KLVO_LP_OPTIMAL
             : ms == kHighsModelStatusInfeasible        ? KLVO_LP_INFEAS
             : ms == kHighsModelStatusUnbounded         ? KLVO_LP_UNBOUNDED
             : ms == kHighsModelStatusIterationLimit    ? KLVO_LP_UNFINISHED
                                                        : KLVO_LP_UNSOLVED;
    if (status) status[k] = st;
    if (objval) objval[k] = Highs_getObjectiveValue(h);
    Highs_changeColBounds(h, j, lp.col_lower[j], lp.col_upper[j]);
  }
}

void fix_mip_entities(Problem &prob, int options, const char *fn) {
  if (options != 0 && options != 1) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: options %d is not 0 or 1", fn, options);
  ModelStore &m = prob.model;
  const SolutionStore &s = prob.solution;
  if (s.primal_status == KLVO_SOLSTATUS_NOTFOUND || static_cast<int>(s.x.size()) != m.ncols())
    fail(KLVO_ERR_NO_SOLUTION, "%s: no solution is available", fn);
  std::vector<int> ind;
  std::vector<char> type;
  std::vector<double> val;
  for (int j = 0; j < m.ncols(); ++j) {
    if (m.coltype[j] == 'C') continue;
    // Integer values are rounded: the solution holds them within the integrality tolerance.
    double v = m.coltype[j] == 'S' ? s.x[j] : std::round(s.x[j]);
    if (options == 1 && v != m.lb[j] && v != m.ub[j]) continue;
    ind.push_back(j), type.push_back('B'), val.push_back(v);
  }
  chg_bounds(m, fn, static_cast<int>(ind.size()), ind.data(), type.data(), val.data());
}

}  // namespace klvo
