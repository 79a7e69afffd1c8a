// Sensitivity ranging from HiGHS's ranging of an optimal basis.
#include <cmath>
#include <vector>

#include "analysis/analysis.h"
#include "analysis/engine_access.h"

namespace klvo {

namespace {

// An engine value (times factor) in the user's units; infinities stay.
double from_highs(double v, double factor = 1.0) {
  if (v >= KLVO_INFINITY) return KLVO_INFINITY;
  if (v <= -KLVO_INFINITY) return -KLVO_INFINITY;
  return v * factor;
}

struct Ranges {
  std::vector<double> cost_up, cost_dn, colbnd_up, colbnd_dn, rowbnd_up, rowbnd_dn;
};

Ranges ranges(HighsEngine &e, int cols, int rows, const char *fn) {
  Ranges r;
  r.cost_up.resize(cols), r.cost_dn.resize(cols), r.colbnd_up.resize(cols), r.colbnd_dn.resize(cols);
  r.rowbnd_up.resize(rows), r.rowbnd_dn.resize(rows);
  // HiGHS fills every array it is given; the objectives and entering/leaving variables are
  // not wanted here but cannot be skipped.
  std::vector<double> cobj(cols), robj(rows);
  std::vector<HighsInt> cvar(cols), rvar(rows);
  std::vector<double> cobj2(cols), cobj3(cols), cobj4(cols), robj2(rows);
  std::vector<HighsInt> cvar2(cols), cvar3(cols), cvar4(cols), cvar5(cols), cvar6(cols), cvar7(cols), cvar8(cols);
  std::vector<HighsInt> rvar2(rows), rvar3(rows), rvar4(rows);
  if (Highs_getRanging(e.instance(), r.cost_up.data(), cobj.data(), cvar.data(), cvar2.data(), r.cost_dn.data(),
                       cobj2.data(), cvar3.data(), cvar4.data(), r.colbnd_up.data(), cobj3.data(), cvar5.data(),
                       cvar6.data(), r.colbnd_dn.data(), cobj4.data(), cvar7.data(), cvar8.data(),
                       r.rowbnd_up.data(), robj.data(), rvar.data(), rvar2.data(), r.rowbnd_dn.data(), robj2.data(),
                       rvar3.data(), rvar4.data()) != kHighsStatusOk)
    fail(KLVO_ERR_ENGINE, "%s: HiGHS could not range the basis", fn);
  return r;
}

void check_indices(int n, const int *ind, int count, const char *what, const char *fn) {
  if (n < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative count %d", fn, n);
  if (n && !ind) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null index array", fn);
  for (int k = 0; k < n; ++k)
    if (ind[k] < 0 || ind[k] >= count)
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: %s %d (entry %d) is outside 0..%d", fn, what, ind[k], k, count - 1);
}

std::vector<HighsInt> basis_of(HighsEngine &e, int cols, int rows, bool want_rows, const char *fn) {
  std::vector<HighsInt> colst(cols), rowst(rows);
  if (Highs_getBasis(e.instance(), colst.data(), rowst.data()) != kHighsStatusOk)
    fail(KLVO_ERR_ENGINE, "%s: HiGHS could not return its basis", fn);
  return want_rows ? rowst : colst;
}

}  // namespace

void objective_ranges(Problem &prob, int n, const int *colind, double *lower, double *upper, const char *fn) {
  check_indices(n, colind, prob.model.ncols(), "column", fn);
  HighsEngine &e = optimal_engine(prob, fn);
  Ranges r = ranges(e, prob.model.ncols(), prob.model.nrows(), fn);
  EngineScale sc{e.held()};
  for (int k = 0; k < n; ++k) {
    double f = 1.0 / sc.col(colind[k]);
    if (lower) lower[k] = from_highs(r.cost_dn[colind[k]], f);
    if (upper) upper[k] = from_highs(r.cost_up[colind[k]], f);
  }
}

void rhs_ranges(Problem &prob, int n, const int *rowind, double *lower, double *upper, const char *fn) {
  const ModelStore &m = prob.model;
  check_indices(n, rowind, m.nrows(), "row", fn);
  HighsEngine &e = optimal_engine(prob, fn);
  Ranges r = ranges(e, m.ncols(), m.nrows(), fn);
  std::vector<HighsInt> rowst = basis_of(e, m.ncols(), m.nrows(), true, fn);
  const SolutionStore &s = prob.solution;
  EngineScale sc{e.held()};
  for (int k = 0; k < n; ++k) {
    int i = rowind[k];
    double lo, up;
    if (rowst[i] == kHighsBasisStatusBasic || m.rowtype[i] == 'N') {
      // A row with a basic slack may move until its rhs meets the activity.
      double activity = static_cast<int>(s.slack.size()) == m.nrows() ? m.rhs[i] - s.slack[i] : m.rhs[i];
      switch (m.rowtype[i]) {
        case 'L': lo = activity, up = KLVO_INFINITY; break;
        case 'G': lo = -KLVO_INFINITY, up = activity; break;
        case 'R': lo = activity, up = activity + std::fabs(m.range[i]); break;
        case 'N': lo = -KLVO_INFINITY, up = KLVO_INFINITY; break;
        default: lo = from_highs(r.rowbnd_dn[i], 1.0 / sc.row(i)), up = from_highs(r.rowbnd_up[i], 1.0 / sc.row(i)); break;
      }
    } else {
      lo = from_highs(r.rowbnd_dn[i], 1.0 / sc.row(i));
      up = from_highs(r.rowbnd_up[i], 1.0 / sc.row(i));
      // A range row held at its lower end moves with its upper end, the range fixed.
      if (m.rowtype[i] == 'R' && rowst[i] == kHighsBasisStatusLower) {
        double rng = std::fabs(m.range[i]);
        if (lo > -KLVO_INFINITY) lo += rng;
        if (up < KLVO_INFINITY) up += rng;
      }
    }
    if (lower) lower[k] = lo;
    if (upper) upper[k] = up;
  }
}

void bound_ranges(Problem &prob, int n, const int *colind, double *lblower, double *lbupper, double *ublower,
                  double *ubupper, const char *fn) {
  const ModelStore &m = prob.model;
  check_indices(n, colind, m.ncols(), "column", fn);
  HighsEngine &e = optimal_engine(prob, fn);
  Ranges r = ranges(e, m.ncols(), m.nrows(), fn);
  std::vector<HighsInt> colst = basis_of(e, m.ncols(), m.nrows(), false, fn);
  const SolutionStore &s = prob.solution;
  EngineScale sc{e.held()};
  for (int k = 0; k < n; ++k) {
    int j = colind[k];
    double x = static_cast<int>(s.x.size()) == m.ncols() ? s.x[j] : 0.0;
    // A bound that is not binding may move freely up to the column's value.
    double lb_lo = -KLVO_INFINITY, lb_up = x, ub_lo = x, ub_up = KLVO_INFINITY;
    double f = sc.col(j);
    if (colst[j] == kHighsBasisStatusLower) lb_lo = from_highs(r.colbnd_dn[j], f), lb_up = from_highs(r.colbnd_up[j], f);
    if (colst[j] == kHighsBasisStatusUpper) ub_lo = from_highs(r.colbnd_dn[j], f), ub_up = from_highs(r.colbnd_up[j], f);
    if (lblower) lblower[k] = lb_lo;
    if (lbupper) lbupper[k] = lb_up;
    if (ublower) ublower[k] = ub_lo;
    if (ubupper) ubupper[k] = ub_up;
  }
}

}  // namespace klvo
