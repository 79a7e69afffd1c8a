// What HiGHS gives beyond a solve: rays of infeasible and unbounded LPs, crossover from a
// given point, and the starting points handed to it before a run.
#include <algorithm>
#include <cmath>
#include <vector>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include <interfaces/highs_c_api.h>
#pragma GCC diagnostic pop

#include "engines/highs/highs_engine.h"
#include "engines/solution_info.h"
#include "env/error.h"

namespace klvo {

namespace {

// Below this, an entry of a ray counts as zero when its sign or bound is checked.
constexpr double kRayTiny = 1e-9;

void check_status(HighsInt status, const char *what) {
  if (status == kHighsStatusError) fail(KLVO_ERR_ENGINE, "HiGHS failed to %s", what);
}

// How far y proves the rows of m infeasible: the left side's bound over the rows' ends minus
// the largest y'Ax over the column bounds; positive for a certificate, -inf for a y of a wrong
// sign or one that leaves y'Ax unbounded.
double farkas_gap(const HighsModel &m, const std::vector<double> &y) {
  double rows = 0;
  for (int i = 0; i < m.nrows; ++i) {
    if (std::fabs(y[i]) <= kRayTiny) continue;
    double end = y[i] > 0 ? m.row_lower[i] : m.row_upper[i];
    if (!std::isfinite(end)) return -INFINITY;
    rows += y[i] * end;
  }
  double cols = 0;
  for (int j = 0; j < m.ncols; ++j) {
    double g = 0;
    for (int k = m.start[j]; k < m.start[j + 1]; ++k) g += y[m.index[k]] * m.value[k];
    if (std::fabs(g) <= kRayTiny) continue;
    double bound = g > 0 ? m.col_upper[j] : m.col_lower[j];
    if (!std::isfinite(bound)) return -INFINITY;
    cols += g * bound;
  }
  return rows - cols;
}

}  // namespace

bool HighsEngine::dual_ray(const ModelStore &m, uint64_t revision, double *ray) {
  if (!loaded_ || !solved_lp_ || revision != solved_revision_ || m.nrows() != held_.nrows) return false;
  HighsInt has = 0;
  std::vector<double> y(held_.nrows);
  if (Highs_getDualRay(highs_, &has, y.data()) == kHighsStatusError || !has) return false;
  // Give the certificate the documented orientation whatever HiGHS's sign convention.
  if (farkas_gap(held_, y) <= 0) {
    std::vector<double> minus(y.size());
    std::transform(y.begin(), y.end(), minus.begin(), [](double v) { return -v; });
    if (farkas_gap(held_, minus) > 0) y.swap(minus);
  }
  if (ray) std::copy(y.begin(), y.end(), ray);
  return true;
}

bool HighsEngine::primal_ray(const ModelStore &m, uint64_t revision, double *ray) {
  if (!loaded_ || !solved_lp_ || revision != solved_revision_ || m.ncols() != held_.ncols) return false;
  HighsInt has = 0;
  std::vector<double> d(held_.ncols);
  if (Highs_getPrimalRay(highs_, &has, d.data()) == kHighsStatusError || !has) return false;
  double slope = 0;
  for (int j = 0; j < held_.ncols; ++j) slope += held_.cost[j] * d[j];
  if (held_.sense * slope > 0)
    for (double &v : d) v = -v;
  if (ray) std::copy(d.begin(), d.end(), ray);
  return true;
}

int HighsEngine::unbounded_variable(const ModelStore &m, uint64_t revision) {
  std::vector<double> d(held_.ncols);
  if (!primal_ray(m, revision, d.data())) return -1;
  // Along the ray only the entering variable leaves its nonbasic value: a nonbasic column
  // that moves, or else a nonbasic row whose activity moves.
  std::vector<HighsInt> colst(held_.ncols), rowst(held_.nrows);
  HighsInt validity = 0;
  Highs_getIntInfoValue(highs_, "basis_validity", &validity);
  bool basis = validity == kHighsBasisValidityValid &&
               Highs_getBasis(highs_, colst.data(), rowst.data()) != kHighsStatusError;
  double scale = 0;
  for (double v : d) scale = std::max(scale, std::fabs(v));
  double tiny = kRayTiny * std::max(1.0, scale);
  int best = -1;
  double largest = 0;
  for (int j = 0; j < held_.ncols; ++j) {
    bool candidate = !basis || colst[j] != kHighsBasisStatusBasic;
    if (candidate && std::fabs(d[j]) > std::max(tiny, largest)) best = j, largest = std::fabs(d[j]);
  }
  if (best >= 0) return held_.nrows + best;
  if (!basis) return -1;
  std::vector<double> moves(held_.nrows, 0.0);
  for (int j = 0; j < held_.ncols; ++j)
    for (int k = held_.start[j]; k < held_.start[j + 1]; ++k) moves[held_.index[k]] += held_.value[k] * d[j];
  for (int i = 0; i < held_.nrows; ++i)
    if (rowst[i] != kHighsBasisStatusBasic && std::fabs(moves[i]) > std::max(tiny, largest))
      best = i, largest = std::fabs(moves[i]);
  return best;
}

bool HighsEngine::crossover_from(const double *x) {
  // Given a point and no basis, a run of HiGHS crosses over from the point to a basis and
  // finishes with the simplex method. Its crossover entry point proper refuses the duals an
  // interior point leaves slightly off complementarity, and without them stops short of
  // optimality, so the run is the sturdier road.
  Highs_clearSolver(highs_);
  Highs_setStringOptionValue(highs_, "solver", "simplex");
  if (Highs_setSolution(highs_, x, nullptr, nullptr, nullptr) == kHighsStatusError) return false;
  HighsInt status = Highs_run(highs_), validity = 0;
  Highs_getIntInfoValue(highs_, "basis_validity", &validity);
  return status != kHighsStatusError && validity == kHighsBasisValidityValid &&
         Highs_getModelStatus(highs_) == kHighsModelStatusOptimal;
}

bool HighsEngine::crossover(const SolveContext &ctx, const double *x) {
  if (!loaded_ || !solved_lp_ || ctx.model.revision != solved_revision_) return false;
  if (!crossover_from(x)) return false;
  read_result(ctx, held_, false);
  return true;
}

void HighsEngine::offer_starts(const SolveContext &ctx, bool mip) {
  if (!ctx.starts) return;
  StartStore &st = *ctx.starts;
  const ModelStore &m = ctx.model;
  int n = held_.ncols, r = held_.nrows;
  if (!mip) {
    if (st.lp_x.empty()) return;
    if (st.lp_cols == n && st.lp_rows == r) {
      std::vector<double> rows(r);
      if (!st.lp_slack.empty()) {
        for (int i = 0; i < r; ++i) rows[i] = m.rhs[i] - st.lp_slack[i];
      } else {
        rows = row_activities(m, st.lp_x.data());
      }
      // Without its old basis HiGHS builds one from the point.
      Highs_clearSolver(highs_);
      check_status(Highs_setSolution(highs_, st.lp_x.data(), rows.data(), st.lp_djs.empty() ? nullptr : st.lp_djs.data(),
                                     st.lp_duals.empty() ? nullptr : st.lp_duals.data()),
                   "take the loaded solution");
    }
    st.clear_lp();
    return;
  }
  if (st.mip.empty() || st.mip_cols != m.ncols()) return;
  double feastol = ctx.controls.dbl_control(KLVO_CONTROL_FEASTOL);
  double miptol = ctx.controls.dbl_control(KLVO_CONTROL_MIPTOL);
  const MipStart *chosen = nullptr;
  double best = 0;
  for (const MipStart &s : st.mip) {
    if (!s.colind.empty()) continue;
    if (primal_violation(m, s.values.data(), false) > feastol || max_fractionality(m, s.values.data()) > miptol)
      continue;
    double value = m.objsense * objective_value(m, s.values.data());
    if (!chosen || value < best) chosen = &s, best = value;
  }
  if (chosen) {
    check_status(Highs_setSolution(highs_, chosen->values.data(), nullptr, nullptr, nullptr), "take the MIP start");
    return;
  }
  for (const MipStart &s : st.mip)
    if (!s.colind.empty()) {
      check_status(Highs_setSparseSolution(highs_, static_cast<HighsInt>(s.colind.size()), s.colind.data(),
                                           s.values.data()),
                   "take the MIP start");
      return;
    }
}

void HighsEngine::keep_barrier_solution(const SolveContext &ctx) {
  if (!ctx.starts) return;
  StartStore &st = *ctx.starts;
  st.bar_lpstatus = KLVO_LP_UNSTARTED;
  st.bar_x.clear(), st.bar_slack.clear(), st.bar_duals.clear(), st.bar_djs.clear();
  HighsInt primal = 0, dual = 0;
  Highs_getIntInfoValue(highs_, "primal_solution_status", &primal);
  Highs_getIntInfoValue(highs_, "dual_solution_status", &dual);
  if (primal == kHighsSolutionStatusNone) return;
  int n = held_.ncols, r = held_.nrows;
  std::vector<double> x(n), cd(n), rv(r), rd(r);
  if (Highs_getSolution(highs_, x.data(), cd.data(), rv.data(), rd.data()) == kHighsStatusError) return;
  switch (Highs_getModelStatus(highs_)) {
    case kHighsModelStatusOptimal: st.bar_lpstatus = KLVO_LP_OPTIMAL; break;
    case kHighsModelStatusInfeasible: st.bar_lpstatus = KLVO_LP_INFEAS; break;
    case kHighsModelStatusUnbounded: st.bar_lpstatus = KLVO_LP_UNBOUNDED; break;
    default: st.bar_lpstatus = KLVO_LP_UNFINISHED; break;
  }
  st.bar_slack.resize(r);
  for (int i = 0; i < r; ++i) st.bar_slack[i] = ctx.model.rhs[i] - rv[i];
  st.bar_x = std::move(x);
  if (dual != kHighsSolutionStatusNone) st.bar_duals = std::move(rd), st.bar_djs = std::move(cd);
  st.bar_revision = ctx.model.revision;
}

}  // namespace klvo
