// Improving a MIP solution by local search, and estimating the ranges of row duals from the
// bases next to the optimal one. Both work on private copies of the problem.
#include <algorithm>
#include <cmath>
#include <vector>

#include "analysis/analysis.h"
#include "analysis/engine_access.h"
#include "analysis/scratch.h"
#include "engines/solution.h"
#include "model/edit.h"
#include "params/access.h"

namespace klvo {

namespace {

double control(Problem &prob, int id, const char *fn) {
  double v = 0;
  get_dbl_control(prob, id, &v, fn);
  return v;
}

bool discrete(char t) { return t != 'C'; }

// Whether x satisfies the problem's bounds, rows and integrality within its tolerances.
bool feasible(const ModelStore &m, const SolutionStore &s, const std::vector<double> &x, double feastol,
              double miptol, const char *fn) {
  for (int j = 0; j < m.ncols(); ++j) {
    if (!std::isfinite(x[j])) return false;
    char t = m.coltype[j];
    bool off = (t == 'S' || t == 'R') && std::fabs(x[j]) <= feastol;  // semi-continuous at 0
    if (!off && (x[j] < m.lb[j] - feastol || x[j] > m.ub[j] + feastol)) return false;
    if ((t == 'I' || t == 'B' || t == 'R') && std::fabs(x[j] - std::round(x[j])) > miptol) return false;
  }
  std::vector<double> slack(m.nrows());
  calc_slacks(m, s, x.data(), slack.data(), fn);
  for (int i = 0; i < m.nrows(); ++i) {
    double tol = feastol * (1 + std::fabs(m.rhs[i]));
    switch (m.rowtype[i]) {
      case 'L': if (slack[i] < -tol) return false; break;
      case 'G': if (slack[i] > tol) return false; break;
      case 'E': if (std::fabs(slack[i]) > tol) return false; break;
      case 'R': if (slack[i] < -tol || slack[i] > m.range[i] + tol) return false; break;
      default: break;
    }
  }
  return true;
}

}  // namespace

int refine_mip_solution(Problem &prob, int options, const char *flags, const double *solution, double *refined,
                        const char *fn) {
  require_no_flags(flags, fn);
  if (options != 0 && options != 1)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: options %d is not 0 (local search) or 1 (continuous part only)", fn, options);
  if (!solution || !refined) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null solution array", fn);
  const ModelStore &m = prob.model;
  const int n = m.ncols();
  const double feastol = control(prob, KLVO_CONTROL_FEASTOL, fn), miptol = control(prob, KLVO_CONTROL_MIPTOL, fn);
  std::vector<double> best(solution, solution + n);
  if (!feasible(m, prob.solution, best, feastol, miptol, fn)) {
    std::copy(best.begin(), best.end(), refined);
    info(prob, "%s: the solution given is not feasible: nothing refined", fn);
    return KLVO_REFINE_NOT_FEASIBLE;
  }
  double start_obj = 0, best_obj;
  calc_objective(m, prob.solution, best.data(), &start_obj, fn);
  best_obj = start_obj;
  // A candidate replaces the best when feasible for the problem itself and better.
  auto offer = [&](const std::vector<double> &x) {
    double obj = 0;
    calc_objective(m, prob.solution, x.data(), &obj, fn);
    if (m.objsense * (obj - best_obj) < -1e-9 * (1 + std::fabs(best_obj)) &&
        feasible(m, prob.solution, x, feastol, miptol, fn))
      best = x, best_obj = obj;
  };
  std::vector<int> ents;
  for (int j = 0; j < n; ++j)
    if (discrete(m.coltype[j])) ents.push_back(j);

  // The continuous columns re-optimised with every discrete column fixed at its value.
  {
    Scratch copy(prob, "refine", fn);
    std::vector<char> both(ents.size(), 'B'), cont(ents.size(), 'C');
    std::vector<double> at;
    for (int j : ents) at.push_back(best[j]);
    copy.check(KLVOchgbounds(copy.get(), static_cast<int>(ents.size()), ents.data(), both.data(), at.data()));
    copy.check(KLVOchgcoltype(copy.get(), static_cast<int>(ents.size()), ents.data(), cont.data()));
    copy.check(KLVOsetintcontrol(copy.get(), KLVO_CONTROL_OUTPUTLOG, KLVO_OUTPUT_NONE));
    copy.check(KLVOoptimize(copy.get(), "", nullptr, nullptr));
    const SolutionStore &s = copy.solution();
    if (s.solstatus == KLVO_SOLSTATUS_OPTIMAL) offer(std::vector<double>(s.x.begin(), s.x.begin() + n));
  }

  // A neighbourhood search: discrete columns where the continuous relaxation agrees with the
  // solution stay fixed, the others are searched (with the solution as a start) under a
  // node limit.
  if (options == 0 && !ents.empty()) {
    Scratch copy(prob, "refine", fn);
    KLVOprob c = copy.get();
    copy.check(KLVOsetintcontrol(c, KLVO_CONTROL_OUTPUTLOG, KLVO_OUTPUT_NONE));
    copy.check(KLVOoptimize(c, "l", nullptr, nullptr));
    if (copy.solution().solstatus == KLVO_SOLSTATUS_OPTIMAL) {
      std::vector<double> lp = copy.solution().x;
      std::vector<int> fix;
      std::vector<double> val;
      for (int j : ents)
        if (std::fabs(lp[j] - best[j]) <= miptol) fix.push_back(j), val.push_back(best[j]);
      std::vector<char> both(fix.size(), 'B');
      copy.check(KLVOchgbounds(c, static_cast<int>(fix.size()), fix.data(), both.data(), val.data()));
      copy.check(KLVOaddmipsol(c, n, best.data(), nullptr, "refine"));
      copy.check(KLVOsetintcontrol64(c, KLVO_CONTROL_MAXNODE, 1000));
      copy.check(KLVOoptimize(c, "", nullptr, nullptr));
      const SolutionStore &s = copy.solution();
      if (s.primal_status == KLVO_SOLSTATUS_OPTIMAL || s.primal_status == KLVO_SOLSTATUS_FEASIBLE)
        offer(std::vector<double>(s.x.begin(), s.x.begin() + n));
      info(prob, "%s: searched %zu of %zu discrete columns", fn, ents.size() - fix.size(),
                    ents.size());
    }
  }
  std::copy(best.begin(), best.end(), refined);
  info(prob, "%s: objective %.10g -> %.10g", fn, start_obj, best_obj);
  return best_obj == start_obj ? KLVO_REFINE_NOT_IMPROVED : KLVO_REFINE_IMPROVED;
}

void estimate_row_dual_ranges(Problem &prob, int n, const int *rowind, int iterlim, double *mindual, double *maxdual,
                              const char *fn) {
  const ModelStore &m = prob.model;
  if (n < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative count %d", fn, n);
  if (n && !rowind) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null row array", fn);
  if (iterlim < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative iteration limit %d", fn, iterlim);
  for (int k = 0; k < n; ++k) check_row(m, rowind[k], fn);
  std::vector<double> lo(n), up(n);
  rhs_ranges(prob, n, rowind, lo.data(), up.data(), fn);  // needs an optimal basis
  HighsEngine &e = optimal_engine(prob, fn);
  std::vector<HighsInt> colst(m.ncols()), rowst(m.nrows());
  if (Highs_getBasis(e.instance(), colst.data(), rowst.data()) != kHighsStatusOk)
    fail(KLVO_ERR_ENGINE, "%s: HiGHS could not return its basis", fn);
  std::vector<int> rs(m.nrows()), cs(m.ncols());
  get_basis(prob, rs.data(), cs.data(), fn);
  const std::vector<double> duals = prob.solution.duals;
  Scratch copy(prob, "dualranges", fn);
  KLVOprob c = copy.get();
  copy.check(KLVOsetintcontrol(c, KLVO_CONTROL_OUTPUTLOG, KLVO_OUTPUT_NONE));
  copy.check(KLVOsetintcontrol(c, KLVO_CONTROL_PRESOLVE, KLVO_PRESOLVE_NONE));
  copy.check(KLVOsetintcontrol64(c, KLVO_CONTROL_LPITERLIMIT, iterlim));
  // Just past each end of the right-hand side's range lies the next basis: its dual for the
  // row is the next slope of the optimal value. Past an end beyond which the problem is
  // infeasible the slope is unbounded.
  for (int k = 0; k < n; ++k) {
    int i = rowind[k];
    double d = duals[i], dmin = d, dmax = d;
    for (int side = -1; side <= 1; side += 2) {
      double end = side < 0 ? lo[k] : up[k];
      if (std::fabs(end) >= KLVO_INFINITY) continue;
      double moved = end + side * std::max(1e-6, 1e-5 * (1 + std::fabs(end)));
      copy.check(KLVOloadbasis(c, rs.data(), cs.data()));
      copy.check(KLVOchgrhs(c, 1, &i, &moved));
      copy.check(KLVOoptimize(c, "d", nullptr, nullptr));
      const SolutionStore &s = copy.solution();
      double next = d;
      if (s.solstatus == KLVO_SOLSTATUS_OPTIMAL)
        next = s.duals[i];
      else if (s.solstatus == KLVO_SOLSTATUS_INFEASIBLE)
        next = side * m.objsense > 0 ? KLVO_INFINITY : -KLVO_INFINITY;
      dmin = std::min(dmin, next), dmax = std::max(dmax, next);
      double back = m.rhs[i];
      copy.check(KLVOchgrhs(c, 1, &i, &back));
    }
    if (mindual) mindual[k] = dmin;
    if (maxdual) maxdual[k] = dmax;
  }
}

}  // namespace klvo
