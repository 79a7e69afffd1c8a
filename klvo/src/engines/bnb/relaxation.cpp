#include "engines/bnb/relaxation.h"

// The C API header declares a function it never defines.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include <interfaces/highs_c_api.h>
#pragma GCC diagnostic pop

#include <algorithm>
#include <climits>
#include <cmath>
#include <mutex>

#include "engines/highs/highs_engine.h"
#include "engines/highs/instances.h"
#include "engines/nlp/catalogue.h"
#include "engines/nlp/solve.h"
#include "env/error.h"

namespace klvo {
namespace bnb {

namespace {

void check(HighsInt status, const char *what) {
  if (status == kHighsStatusError) fail(KLVO_ERR_ENGINE, "HiGHS failed to %s during the search", what);
}

class HighsRelaxation : public Relaxation {
 public:
  HighsRelaxation(const SolveContext &ctx, const ModelStore &work) : highs_(new_highs_instance()) {
    HighsModel m;
    build_highs_model(work, true, m);
    // The search minimises.
    if (m.sense < 0) {
      for (double &c : m.cost) c = -c;
      for (double &q : m.qvalue) q = -q;
      m.offset = -m.offset;
      m.sense = 1;
    }
    n_ = m.ncols;
    lo_ = m.col_lower;
    hi_ = m.col_upper;
    row_lo_ = m.row_lower;
    row_hi_ = m.row_upper;
    quadratic_ = !m.qindex.empty();
    const ParamStore &p = ctx.controls;
    Highs_setBoolOptionValue(highs_, "output_flag", 0);
    Highs_setStringOptionValue(highs_, "presolve", "off");
    Highs_setDoubleOptionValue(highs_, "primal_feasibility_tolerance", p.dbl_control(KLVO_CONTROL_FEASTOL));
    Highs_setDoubleOptionValue(highs_, "dual_feasibility_tolerance", p.dbl_control(KLVO_CONTROL_OPTTOL));
    Highs_setIntOptionValue(highs_, "threads", 1);
    check(Highs_passModel(highs_, m.ncols, m.nrows, static_cast<HighsInt>(m.index.size()),
                          static_cast<HighsInt>(m.qindex.size()), kHighsMatrixFormatColwise,
                          kHighsHessianFormatTriangular, 1, m.offset, m.cost.data(), m.col_lower.data(),
                          m.col_upper.data(), m.row_lower.data(), m.row_upper.data(), m.start.data(),
                          m.index.data(), m.value.data(), quadratic_ ? m.qstart.data() : nullptr,
                          quadratic_ ? m.qindex.data() : nullptr, quadratic_ ? m.qvalue.data() : nullptr, nullptr),
          "load the relaxation");
    active_.assign(m.nrows, 1);
  }
  ~HighsRelaxation() override { free_highs_instance(highs_); }

  void set_bounds(const std::vector<double> &lo, const std::vector<double> &hi) override {
    idx_.clear();
    for (int j = 0; j < n_; ++j)
      if (lo[j] != lo_[j] || hi[j] != hi_[j]) idx_.push_back(j);
    if (idx_.empty()) return;
    std::vector<double> l(idx_.size()), u(idx_.size());
    for (size_t k = 0; k < idx_.size(); ++k) {
      int j = idx_[k];
      l[k] = lo_[j] = lo[j];
      u[k] = hi_[j] = hi[j];
      if (l[k] <= -KLVO_INFINITY) l[k] = -INFINITY;
      if (u[k] >= KLVO_INFINITY) u[k] = INFINITY;
    }
    check(Highs_changeColsBoundsBySet(highs_, static_cast<HighsInt>(idx_.size()), idx_.data(), l.data(), u.data()),
          "change column bounds");
  }

  void set_row_active(int row, bool active) override {
    if (active_[row] == static_cast<char>(active)) return;
    active_[row] = active;
    check(Highs_changeRowBounds(highs_, row, active ? row_lo_[row] : -INFINITY, active ? row_hi_[row] : INFINITY),
          "change row bounds");
  }

  int add_row(const std::vector<int> &cols, const std::vector<double> &vals, double lo, double hi,
              bool active) override {
    std::vector<HighsInt> idx(cols.begin(), cols.end());
    lo = lo <= -KLVO_INFINITY ? -INFINITY : lo;
    hi = hi >= KLVO_INFINITY ? INFINITY : hi;
    check(Highs_addRow(highs_, active ? lo : -INFINITY, active ? hi : INFINITY, static_cast<HighsInt>(idx.size()),
                       idx.data(), vals.data()),
          "add a row");
    row_lo_.push_back(lo);
    row_hi_.push_back(hi);
    active_.push_back(active);
    return static_cast<int>(active_.size()) - 1;
  }

  bool replace_row(int row, const std::vector<int> &old_cols, const std::vector<int> &cols,
                   const std::vector<double> &vals, double lo, double hi) override {
    set_row_active(row, false);
    for (int j : old_cols) check(Highs_changeCoeff(highs_, row, j, 0.0), "change a coefficient");
    for (size_t k = 0; k < cols.size(); ++k) check(Highs_changeCoeff(highs_, row, cols[k], vals[k]), "change a coefficient");
    row_lo_[row] = lo <= -KLVO_INFINITY ? -INFINITY : lo;
    row_hi_[row] = hi >= KLVO_INFINITY ? INFINITY : hi;
    return true;
  }

  Status solve(double cutoff, double seconds_left, int iterlimit) override {
    Highs_setDoubleOptionValue(highs_, "objective_bound", quadratic_ || !std::isfinite(cutoff) ? INFINITY : cutoff);
    // HiGHS measures its time limit over all runs of the instance.
    Highs_setDoubleOptionValue(highs_, "time_limit", seconds_left > 0 ? Highs_getRunTime(highs_) + seconds_left : INFINITY);
    HighsInt limit = iterlimit > 0 ? iterlimit : INT_MAX;
    Highs_setIntOptionValue(highs_, "simplex_iteration_limit", limit);
    Highs_setIntOptionValue(highs_, "qp_iteration_limit", limit);
    limited = false;
    HighsInt status = Highs_run(highs_);
    HighsInt model_status = Highs_getModelStatus(highs_);
    HighsInt iters = 0;
    Highs_getIntInfoValue(highs_, "simplex_iteration_count", &iters);
    iterations += std::max<HighsInt>(iters, 0);
    if (status == kHighsStatusError) return Failed;
    switch (model_status) {
      case kHighsModelStatusOptimal:
        break;
      case kHighsModelStatusInfeasible:
        return Infeasible;
      case kHighsModelStatusObjectiveBound:
        return Cutoff;
      case kHighsModelStatusUnbounded:
      case kHighsModelStatusUnboundedOrInfeasible:
        return Unbounded;
      case kHighsModelStatusIterationLimit:
        limited = true;
        if (iterlimit > 0) break;  // a trial: the objective reached so far is the estimate
        return Failed;
      default:
        return Failed;
    }
    Highs_getDoubleInfoValue(highs_, "objective_function_value", &objective);
    x.resize(n_);
    std::vector<double> &cd = scratch_;
    cd.resize(n_);
    HighsInt nr = Highs_getNumRow(highs_);
    rv_.resize(nr);
    rd_.resize(nr);
    Highs_getSolution(highs_, x.data(), cd.data(), rv_.data(), rd_.data());
    return Optimal;
  }

  void save_start() override {
    HighsInt validity = 0;
    Highs_getIntInfoValue(highs_, "basis_validity", &validity);
    saved_ = validity == kHighsBasisValidityValid;
    if (!saved_) return;
    colst_.resize(n_);
    rowst_.resize(Highs_getNumRow(highs_));
    saved_ = Highs_getBasis(highs_, colst_.data(), rowst_.data()) == kHighsStatusOk;
  }
  void restore_start() override {
    if (saved_) Highs_setBasis(highs_, colst_.data(), rowst_.data());
  }
  bool supports_trials() const override { return !quadratic_; }


 private:
  void *highs_;
  int n_ = 0;
  bool quadratic_ = false;
  std::vector<double> lo_, hi_, row_lo_, row_hi_, scratch_, rv_, rd_;
  std::vector<char> active_;
  std::vector<HighsInt> idx_, colst_, rowst_;
  bool saved_ = false;
};

// Node relaxations with quadratic rows or formulas: the interior-point engine, started from
// the last point found (moved into the node's bounds).
class NlpRelaxation : public Relaxation {
 public:
  NlpRelaxation(const SolveContext &ctx, const ModelStore &work, kslp_problem_s *layer)
      : ctx_(ctx), layer_(layer), model_(work, layer) {
    gl_ = model_.gl;
    gu_ = model_.gu;
    settings_.log = 0;
    settings_.feastol = std::max(1e-8, ctx.controls.dbl_control(KLVO_CONTROL_FEASTOL));
    settings_.iterlimit = 3000;
  }

  // The engine works without the columns its rows determine (free continuous columns, never
  // branched on): the node's bounds go to the engine's own columns.
  void set_bounds(const std::vector<double> &lo, const std::vector<double> &hi) override {
    for (int e = 0; e < model_.ne; ++e) {
      model_.xl[e] = lo[model_.model_col[e]];
      model_.xu[e] = hi[model_.model_col[e]];
    }
  }
  void set_row_active(int row, bool active) override {
    int e = model_.engine_row[row];
    if (e < 0) return;
    model_.gl[e] = active ? gl_[e] : -1e20;
    model_.gu[e] = active ? gu_[e] : 1e20;
  }

  Status solve(double, double seconds_left, int) override {
    const int n = model_.n, ne = model_.ne;
    std::vector<double> x0(ne, 0.0);
    for (int e = 0; e < ne; ++e) {
      if (!point_.empty()) x0[e] = point_[model_.model_col[e]];
      x0[e] = std::min(std::max(x0[e], model_.xl[e]), model_.xu[e]);
    }
    settings_.timelimit = seconds_left > 0 ? seconds_left : 0.0;
    nlp::EngineResult r;
    bool all_fixed = true;
    for (int e = 0; e < ne && all_fixed; ++e) all_fixed = model_.xl[e] == model_.xu[e];
    if (all_fixed || ne == 0) {
      // Nothing left to choose: the point is the bounds, feasible or not.
      r.have_point = true;
      r.x = x0;
      std::vector<double> g(model_.m);
      r.status = model_.constraints(x0.data(), g.data()) ? nlp::kNlpSolution : nlp::kNlpUnknown;
      for (int e = 0; e < model_.m && r.status == nlp::kNlpSolution; ++e)
        if (g[e] < model_.gl[e] - 1e-7 * (1 + std::fabs(model_.gl[e])) ||
            g[e] > model_.gu[e] + 1e-7 * (1 + std::fabs(model_.gu[e])))
          r.status = nlp::kNlpLocallyInfeasible;
    } else {
      // The interior-point engine's sparse linear solver is not safe to run on several threads
      // at once: the workers of a parallel search take turns.
      static std::mutex engine_turn;
      std::lock_guard<std::mutex> turn(engine_turn);
      r = nlp::run_engine(ctx_, layer_, model_, x0, settings_);
    }
    iterations += r.iterations;
    switch (r.status) {
      case nlp::kNlpSolution:
      case nlp::kNlpGloballyOptimal:
        break;
      case nlp::kNlpLocallyInfeasible:
      case nlp::kNlpInfeasible:
        return Infeasible;
      case nlp::kNlpUnbounded:
        return Unbounded;
      default:
        return Failed;
    }
    r.x.resize(ne);
    if (!model_.complete(r.x.data(), x)) return Failed;
    x.resize(n);
    double f = 0;
    if (!model_.objective(x.data(), f)) return Failed;
    objective = model_.sense * f;
    point_ = x;
    return Optimal;
  }

 private:
  const SolveContext &ctx_;
  kslp_problem_s *layer_;
  nlp::NlpModel model_;
  nlp::EngineSettings settings_;
  std::vector<double> gl_, gu_, point_;
};

}  // namespace

std::unique_ptr<Relaxation> make_relaxation(const SolveContext &ctx, const ModelStore &work, kslp_problem_s *layer,
                                            bool nonlinear) {
  if (nonlinear) return std::make_unique<NlpRelaxation>(ctx, work, layer);
  return std::make_unique<HighsRelaxation>(ctx, work);
}

}  // namespace bnb
}  // namespace klvo
