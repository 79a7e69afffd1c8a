#include "engines/nlp/slp/slp_engine.h"
#include "engines/highs/instances.h"

// The C API header declares a function it never defines.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include <interfaces/highs_c_api.h>
#pragma GCC diagnostic pop

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numeric>

#include "engines/nlp/catalogue.h"
#include "engines/nlp/layer.h"

namespace klvo {
namespace nlp {

namespace {

const double kBig = 1e20;  // the model's infinity

bool finite_bound(double v) { return std::fabs(v) < kBig; }

// A HiGHS instance that frees itself.
struct Lp {
  void *h = new_highs_instance();
  Lp() {
    Highs_setBoolOptionValue(h, "output_flag", 0);
    Highs_setBoolOptionValue(h, "log_to_console", 0);
  }
  ~Lp() { free_highs_instance(h); }
  Lp(const Lp &) = delete;
  Lp &operator=(const Lp &) = delete;
  double inf() const { return Highs_getInfinity(h); }
};

void check(HighsInt rc, const char *what) {
  if (rc == kHighsStatusError) fail(KLVO_ERR_ENGINE, "The linear programming engine failed to %s", what);
}

// Merit parts at a point: the objective and the weighted sum of row violations.
struct Merit {
  double f = 0, viol = 0, maxviol = 0;
  bool ok = false;
};

class Slp {
 public:
  Slp(const SolveContext &ctx, kslp_problem_s *layer, NlpModel &model, const EngineSettings &s, const SlpInput &in,
      SlpHooks &hooks)
      : ctx_(ctx), layer_(layer), model_(model), s_(s), in_(in), hooks_(hooks), n_(model.ne), m_(model.m),
        start_(std::chrono::steady_clock::now()) {}

  EngineResult run(const std::vector<double> &x0, SlpColumnState *state);

 private:
  const SolveContext &ctx_;
  kslp_problem_s *layer_;
  NlpModel &model_;
  const EngineSettings &s_;
  const SlpInput &in_;
  SlpHooks &hooks_;
  int n_, m_;
  std::chrono::steady_clock::time_point start_;

  Lp lp_;
  std::vector<int> jrow_, jcol_;      // Jacobian structure, the model's order
  std::vector<double> jval_, jpass_;  // current values and those the LP holds
  std::vector<double> g_, grad_, gtrial_;
  std::vector<double> scale_, stepbound_;
  std::vector<double> weight_;
  std::vector<int> colstart_, colorder_, rowstart_, roworder_;
  double mu_ = 1.0;
  double last_f_ = 0.0;
  double radius_ = 1.0;
  bool damped_ = false;          // some column takes only part of its LP step
  std::vector<int> conv_, hist_;  // by column: convergence verdict and history bits
  SlpColumnState *state_ = nullptr;
  std::vector<double> last_end_;  // the point at the last iteration's end

  bool fixed_step(int j) const { return !in_.fixstep.empty() && in_.fixstep[j]; }
  // The column's step bound at the current trust-region radius.
  double bound_of(int j) const { return fixed_step(j) ? stepbound_[j] : radius_ * stepbound_[j]; }
  double take(int j, double d) const { return damped_ ? (1.0 - in_.damp[j]) * d : d; }
  // The weighted violation of the rows linearised at the current point after the step d.
  double linear_violation(const std::vector<double> &d) const;
  // Recomputes the determined columns of x; true when one moved.
  bool cascade(std::vector<double> &x);
  // Publishes the column state, then fires the iteration's end: true stops the solve.
  bool end_iteration(int iter, const std::vector<double> &x);

  Merit merit(const double *x, std::vector<double> &g);
  double violation(int i, double gi) const {
    return std::max(0.0, std::max(model_.gl[i] - gi, gi - model_.gu[i]));
  }
  void build_lp(const std::vector<double> &x);
  void update_lp(const std::vector<double> &x);
  // 0 solved, 1 infeasible (enforced rows the step bounds cannot satisfy), 2 failed.
  int solve_lp(std::vector<double> &d, std::vector<double> &err, std::vector<double> &rowdual);
  void set_error_costs();
  bool stop_requested(EngineResult &r) const;
  void multipliers(const std::vector<double> &x, EngineResult &r);
  int column_test(int j, double closure, double delta, double xold, bool held) const;
  void log(const std::string &line) const {
    if (s_.log > 0) engine_message(ctx_, layer_, KLVO_MSG_INFO, line);
  }
};

Merit Slp::merit(const double *x, std::vector<double> &g) {
  Merit mt;
  if (!model_.engine_objective(x, mt.f)) return mt;
  if (m_ > 0 && !model_.constraints(x, g.data())) return mt;
  for (int i = 0; i < m_; ++i) {
    double v = violation(i, g[i]);
    if (!std::isfinite(g[i])) return mt;
    mt.viol += weight_[i] * v;
    mt.maxviol = std::max(mt.maxviol, v);
  }
  mt.ok = std::isfinite(mt.f);
  return mt;
}

void Slp::build_lp(const std::vector<double> &x) {
  int nnz = model_.jac_nnz();
  jrow_.resize(nnz);
  jcol_.resize(nnz);
  model_.jac_structure(jrow_.data(), jcol_.data());
  jval_.assign(nnz, 0.0);
  if ((nnz > 0 && !model_.jacobian(x.data(), jval_.data())) ||
      !difference_jacobian(model_, in_.dfs, x.data(), jrow_, jcol_, jval_.data()))
    fail(KLVO_ERR_ENGINE, "The nonlinear solve could not evaluate the derivatives at the starting point");
  jpass_ = jval_;
  // Column-wise: the steps' Jacobian columns, then two error columns per row (+1, -1).
  int ncol = n_ + 2 * m_;
  std::vector<HighsInt> start(ncol + 1, 0), index(nnz + 2 * m_);
  std::vector<double> value(nnz + 2 * m_);
  for (int k = 0; k < nnz; ++k) ++start[jcol_[k] + 1];
  for (int j = 0; j < n_; ++j) start[j + 1] += start[j];
  std::vector<HighsInt> fill(start.begin(), start.begin() + n_);
  for (int k = 0; k < nnz; ++k) {
    HighsInt p = fill[jcol_[k]]++;
    index[p] = jrow_[k];
    value[p] = jval_[k];
  }
  for (int i = 0; i < m_; ++i) {
    int c = n_ + 2 * i;
    index[nnz + 2 * i] = i;
    value[nnz + 2 * i] = 1.0;
    index[nnz + 2 * i + 1] = i;
    value[nnz + 2 * i + 1] = -1.0;
    start[c + 1] = nnz + 2 * i + 1;
    start[c + 2] = nnz + 2 * i + 2;
  }
  double inf = lp_.inf();
  std::vector<double> cost(ncol, 0.0), lo(ncol, 0.0), hi(ncol, inf), rlo(m_, -inf), rhi(m_, inf);
  // An enforced row has no error: its linearisation must hold.
  for (int i = 0; i < m_; ++i)
    if (!in_.enforced.empty() && in_.enforced[i]) hi[n_ + 2 * i] = hi[n_ + 2 * i + 1] = 0.0;
  check(Highs_passLp(lp_.h, ncol, m_, nnz + 2 * m_, kHighsMatrixFormatColwise, kHighsObjSenseMinimize, 0.0,
                     cost.data(), lo.data(), hi.data(), rlo.data(), rhi.data(), start.data(), index.data(),
                     value.data()),
        "take the linearised problem");
}

void Slp::set_error_costs() {
  if (m_ == 0) return;
  std::vector<double> c(2 * m_);
  for (int i = 0; i < m_; ++i) c[2 * i] = c[2 * i + 1] = mu_ * weight_[i];
  check(Highs_changeColsCostByRange(lp_.h, n_, n_ + 2 * m_ - 1, c.data()), "change the penalties");
}

// Costs, step bounds, row bounds and the Jacobian entries that changed since the last LP.
void Slp::update_lp(const std::vector<double> &x) {
  double inf = lp_.inf();
  if (n_ > 0) {
    std::vector<double> lo(n_), hi(n_);
    for (int j = 0; j < n_; ++j) {
      double D = bound_of(j);
      lo[j] = -D;
      hi[j] = D;
      if (finite_bound(model_.xl[j])) lo[j] = std::max(lo[j], model_.xl[j] - x[j]);
      if (finite_bound(model_.xu[j])) hi[j] = std::min(hi[j], model_.xu[j] - x[j]);
      if (lo[j] > hi[j]) lo[j] = hi[j] = 0.0;  // the point sits on a bound (rounding)
      if (!in_.deltatype.empty() && in_.deltatype[j] == 1) lo[j] = hi[j] = 0.0;  // the column does not step
    }
    check(Highs_changeColsCostByRange(lp_.h, 0, n_ - 1, grad_.data()), "change the costs");
    check(Highs_changeColsBoundsByRange(lp_.h, 0, n_ - 1, lo.data(), hi.data()), "change the step bounds");
  }
  if (m_ > 0) {
    std::vector<double> lo(m_), hi(m_);
    for (int i = 0; i < m_; ++i) {
      lo[i] = finite_bound(model_.gl[i]) ? model_.gl[i] - g_[i] : -inf;
      hi[i] = finite_bound(model_.gu[i]) ? model_.gu[i] - g_[i] : inf;
    }
    check(Highs_changeRowsBoundsByRange(lp_.h, 0, m_ - 1, lo.data(), hi.data()), "change the row bounds");
  }
  for (size_t k = 0; k < jval_.size(); ++k)
    if (jval_[k] != jpass_[k]) {
      check(Highs_changeCoeff(lp_.h, jrow_[k], jcol_[k], jval_[k]), "change a coefficient");
      jpass_[k] = jval_[k];
    }
}

int Slp::solve_lp(std::vector<double> &d, std::vector<double> &err, std::vector<double> &rowdual) {
  if (Highs_run(lp_.h) == kHighsStatusError) return 2;
  HighsInt status = Highs_getModelStatus(lp_.h);
  if (status == kHighsModelStatusInfeasible) return 1;
  if (status != kHighsModelStatusOptimal) return 2;
  int ncol = n_ + 2 * m_;
  std::vector<double> colv(ncol), cold(ncol), rowv(m_);
  rowdual.resize(m_);
  check(Highs_getSolution(lp_.h, colv.data(), cold.data(), rowv.data(), rowdual.data()), "give its solution");
  d.assign(colv.begin(), colv.begin() + n_);
  err.assign(m_, 0.0);
  for (int i = 0; i < m_; ++i) err[i] = colv[n_ + 2 * i] + colv[n_ + 2 * i + 1];
  // Steps below a column's smallest step are not taken.
  for (int j = 0; j < n_ && !in_.deltatype.empty(); ++j)
    if (in_.deltatype[j] == 2 && std::fabs(d[j]) < in_.deltavalue[j]) d[j] = 0.0;
  return 0;
}

double Slp::linear_violation(const std::vector<double> &d) const {
  std::vector<double> lin(g_);
  for (size_t k = 0; k < jval_.size(); ++k) lin[jrow_[k]] += jval_[k] * d[jcol_[k]];
  double v = 0;
  for (int i = 0; i < m_; ++i) v += weight_[i] * violation(i, lin[i]);
  return v;
}

bool Slp::cascade(std::vector<double> &x) {
  if (in_.cascade.empty()) return false;
  std::vector<double> before = x;
  ActivityFn rows = [&](const double *p, std::vector<double> &act) {
    act.resize(m_);
    return model_.constraints(p, act.data());
  };
  CascadeOutcome done = run_cascade(layer_, in_.cascade, x, rows, in_.cascade_passes, in_.cascade_tol);
  if (done.changed == 0) return false;
  // A cascaded point where the formulas cannot be evaluated is no point to linearise at.
  std::vector<double> g(m_);
  Merit mt = merit(x.data(), g);
  if (!mt.ok) {
    x.swap(before);
    return false;
  }
  return true;
}

bool Slp::end_iteration(int iter, const std::vector<double> &x) {
  if (state_) {
    state_->stepbound.resize(n_);
    for (int j = 0; j < n_; ++j) state_->stepbound[j] = bound_of(j);
    state_->converged = conv_;
    state_->history = hist_;
    state_->previous = last_end_;
  }
  last_end_ = x;
  return hooks_.iteration_end(iter, x);
}

bool Slp::stop_requested(EngineResult &r) const {
  if (ctx_.interrupt.load() != 0 || (layer_ && layer_->interrupt_reason.load() != 0)) {
    r.stop = KLVO_STOP_INTERRUPT;
    return true;
  }
  if (s_.timelimit > 0 &&
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count() >= s_.timelimit) {
    r.stop = KLVO_STOP_TIMELIMIT;
    return true;
  }
  return false;
}

// Convergence tests of a column at the current point, by its tolerance set. closure is the
// last accepted step of the column, delta the step the current LP proposes:
//   0 absolute closure  |closure| <= t           1 relative closure  |closure| <= t |x_old|
//   2 absolute delta    |delta| <= t             3 relative delta    |delta| <= t * step bound
//   4 absolute matrix   max_i |J_ij delta| <= t  5 relative matrix   max_i |J_ij delta| <= t max(|g_i|,1)
//   6 absolute impact   |df/dx delta| <= t       7 relative impact   |df/dx delta| <= t max(|f|,1)
//   8 slack             |delta| <= t while every row of the column keeps a slack
// Returns 0 when no test in use passes, else 1 + the first that does.
int Slp::column_test(int j, double closure, double delta, double xold, bool held) const {
  const TolSet *ts = nullptr;
  TolSet def;
  int k = in_.tolset.empty() ? -1 : in_.tolset[j];
  if (k >= 0 && k < static_cast<int>(in_.tolsets.size())) {
    ts = &in_.tolsets[k];
  } else {
    // The default: relative closure and relative delta at a millionth.
    def.tol[1] = def.tol[3] = 1e-6;
    def.status = (1 << 1) | (1 << 3);
    ts = &def;
  }
  double c = std::fabs(closure), a = std::fabs(delta);
  double mx = 0, mxrel = 0;
  bool slack_everywhere = true;
  if (ts->status & ((1 << 4) | (1 << 5) | (1 << 8))) {
    for (int q = colstart_[j]; q < colstart_[j + 1]; ++q) {
      int i = jrow_[colorder_[q]];
      double v = std::fabs(jval_[colorder_[q]] * delta);
      mx = std::max(mx, v);
      mxrel = std::max(mxrel, v / std::max(1.0, std::fabs(g_[i])));
      double sl = std::min(g_[i] - model_.gl[i], model_.gu[i] - g_[i]);
      if (sl <= s_.feastol) slack_everywhere = false;
    }
  }
  double fimp = std::fabs(grad_[j] * delta);
  for (int t = 0; t < 9; ++t) {
    if (!(ts->status & (1 << t))) continue;
    if (held && t >= 2) continue;  // the step bound, not convergence, sized this delta
    double tol = ts->tol[t];
    bool pass = false;
    switch (t) {
      case 0: pass = c <= tol; break;
      case 1: pass = c <= tol * std::fabs(xold); break;
      case 2: pass = a <= tol; break;
      case 3: pass = a <= tol * stepbound_[j]; break;
      case 4: pass = mx <= tol; break;
      case 5: pass = mxrel <= tol; break;
      case 6: pass = fimp <= tol; break;
      case 7: pass = fimp <= tol * std::max(1.0, std::fabs(last_f_)); break;
      case 8: pass = slack_everywhere && a <= tol; break;
    }
    if (pass) return t + 1;
  }
  return 0;
}

// Multipliers at the final point: the L1-closest fit of the objective gradient by the
// gradients of the active rows and bounds, with the signs optimality asks for. The LPs of the
// iterations cannot give them, as their step bounds take part of the gradient.
void Slp::multipliers(const std::vector<double> &x, EngineResult &r) {
  r.lambda.assign(m_, 0.0);
  r.zl.assign(n_, 0.0);
  r.zu.assign(n_, 0.0);
  if (n_ == 0) return;
  auto near = [&](double v, double b) { return std::fabs(v - b) <= 1e-6 * std::max(1.0, std::fabs(b)); };
  Lp fit;
  double inf = fit.inf();
  // Columns: row multipliers, bound multipliers, then the residuals p and q of every column.
  std::vector<int> rows, bnds;
  std::vector<double> lo, hi, cost;
  std::vector<HighsInt> start{0}, index;
  std::vector<double> value;
  for (int i = 0; i < m_; ++i) {
    bool atl = finite_bound(model_.gl[i]) && near(g_[i], model_.gl[i]);
    bool atu = finite_bound(model_.gu[i]) && near(g_[i], model_.gu[i]);
    if (!atl && !atu) continue;
    rows.push_back(i);
    lo.push_back(atu ? -inf : 0.0);
    hi.push_back(atl ? inf : 0.0);
    cost.push_back(0.0);
    for (int q = rowstart_[i]; q < rowstart_[i + 1]; ++q) {
      index.push_back(jcol_[roworder_[q]]);
      value.push_back(jval_[roworder_[q]]);
    }
    start.push_back(static_cast<HighsInt>(index.size()));
  }
  for (int j = 0; j < n_; ++j) {
    bool atl = finite_bound(model_.xl[j]) && near(x[j], model_.xl[j]);
    bool atu = finite_bound(model_.xu[j]) && near(x[j], model_.xu[j]);
    if (!atl && !atu) continue;
    bnds.push_back(j);
    lo.push_back(atu ? -inf : 0.0);
    hi.push_back(atl ? inf : 0.0);
    cost.push_back(0.0);
    index.push_back(j);
    value.push_back(1.0);
    start.push_back(static_cast<HighsInt>(index.size()));
  }
  for (int j = 0; j < n_; ++j)
    for (double sgn : {1.0, -1.0}) {
      lo.push_back(0.0);
      hi.push_back(inf);
      cost.push_back(1.0);
      index.push_back(j);
      value.push_back(sgn);
      start.push_back(static_cast<HighsInt>(index.size()));
    }
  int ncol = static_cast<int>(cost.size());
  check(Highs_passLp(fit.h, ncol, n_, static_cast<HighsInt>(index.size()), kHighsMatrixFormatColwise,
                     kHighsObjSenseMinimize, 0.0, cost.data(), lo.data(), hi.data(), grad_.data(), grad_.data(),
                     start.data(), index.data(), value.data()),
        "take the multiplier estimate");
  if (Highs_run(fit.h) == kHighsStatusError || Highs_getModelStatus(fit.h) != kHighsModelStatusOptimal) return;
  std::vector<double> colv(ncol), cold(ncol), rowv(n_), rowd(n_);
  Highs_getSolution(fit.h, colv.data(), cold.data(), rowv.data(), rowd.data());
  // grad f = sum lambda_i grad g_i + z; the engine result keeps the interior-point engine's
  // signs: its lambda is the negative, z splits into lower and upper bound parts.
  for (size_t k = 0; k < rows.size(); ++k) r.lambda[rows[k]] = -colv[k];
  for (size_t k = 0; k < bnds.size(); ++k) {
    double z = colv[rows.size() + k];
    r.zl[bnds[k]] = std::max(z, 0.0);
    r.zu[bnds[k]] = std::max(-z, 0.0);
  }
}

EngineResult Slp::run(const std::vector<double> &x0, SlpColumnState *state) {
  EngineResult r;
  r.status = kNlpUnknown;
  std::vector<double> x = x0;
  g_.assign(m_, 0.0);
  gtrial_.assign(m_, 0.0);
  grad_.assign(n_, 0.0);
  weight_.assign(m_, 1.0);
  for (int i = 0; i < m_ && i < static_cast<int>(in_.weight.size()); ++i)
    if (in_.weight[i] > 0) weight_[i] = in_.weight[i];
  // Step bounds: given ones, else the size of the starting value (at least 1), no wider than
  // the column's range.
  stepbound_.assign(n_, 1.0);
  for (int j = 0; j < n_; ++j) {
    double sb = j < static_cast<int>(in_.stepbound.size()) ? in_.stepbound[j] : 0.0;
    if (!(sb > 0)) sb = std::max(1.0, std::fabs(x[j]));
    if (finite_bound(model_.xl[j]) && finite_bound(model_.xu[j]) && model_.xu[j] > model_.xl[j])
      sb = std::min(sb, model_.xu[j] - model_.xl[j]);
    stepbound_[j] = sb > 0 ? sb : 1.0;
  }

  state_ = state;
  conv_.assign(n_, 0);
  hist_.assign(n_, 0);
  damped_ = false;
  for (int j = 0; j < static_cast<int>(in_.damp.size()) && j < n_; ++j) damped_ = damped_ || in_.damp[j] > 0;
  // The starting point is linearised with its determined columns already consistent.
  cascade(x);
  last_end_ = x;
  Merit cur = merit(x.data(), g_);
  if (!cur.ok || !model_.engine_gradient(x.data(), grad_.data()))
    fail(KLVO_ERR_ENGINE, "The nonlinear solve could not evaluate the formulas at the starting point");
  build_lp(x);
  // Jacobian entries by column and by row, for the convergence tests and the multipliers.
  {
    int nnz = static_cast<int>(jrow_.size());
    colstart_.assign(n_ + 1, 0);
    rowstart_.assign(m_ + 1, 0);
    for (int k = 0; k < nnz; ++k) ++colstart_[jcol_[k] + 1], ++rowstart_[jrow_[k] + 1];
    for (int j = 0; j < n_; ++j) colstart_[j + 1] += colstart_[j];
    for (int i = 0; i < m_; ++i) rowstart_[i + 1] += rowstart_[i];
    colorder_.resize(nnz);
    roworder_.resize(nnz);
    std::vector<int> cf(colstart_.begin(), colstart_.end() - 1), rf(rowstart_.begin(), rowstart_.end() - 1);
    for (int k = 0; k < nnz; ++k) colorder_[cf[jcol_[k]]++] = k, roworder_[rf[jrow_[k]]++] = k;
  }
  double gmax = 0;
  for (double v : grad_) gmax = std::max(gmax, std::fabs(v));
  mu_ = 10.0 * (1.0 + gmax);
  set_error_costs();

  double &radius = radius_;
  radius = 1.0;
  std::vector<double> closure(n_, kBig), xold = x, d, err, dual, xt(n_), dprev(n_, 0.0);
  std::vector<int> &conv = conv_;
  const double optol = std::max(s_.opttol, 1e-10);
  bool jac_current = true;
  int iter = 0;
  log(format("%5s %16s %12s %12s %10s %10s", "Iter", "Objective", "Violation", "Predicted", "Radius", "Penalty"));
  for (;;) {
    if (stop_requested(r)) {
      r.status = kNlpUnfinished;
      break;
    }
    if (iter >= s_.iterlimit) {
      r.status = kNlpUnfinished;
      r.stop = KLVO_STOP_ITERLIMIT;
      break;
    }
    if (hooks_.iteration_start(iter)) {
      r.status = kNlpUnfinished;
      r.stop = KLVO_STOP_INTERRUPT;
      break;
    }
    ++iter;
    if (!jac_current) {
      if (!hooks_.keep_linearization() &&
          (!model_.engine_gradient(x.data(), grad_.data()) ||
           (!jval_.empty() && !model_.jacobian(x.data(), jval_.data())) ||
           !difference_jacobian(model_, in_.dfs, x.data(), jrow_, jcol_, jval_.data())))
        fail(KLVO_ERR_ENGINE, "The nonlinear solve could not evaluate the derivatives");
      jac_current = true;
    }
    last_f_ = cur.f;
    update_lp(x);
    int lpstatus = solve_lp(d, err, dual);
    if (lpstatus == 1 && radius >= 1e-10) {
      // Enforced rows cannot be met within these step bounds: try smaller ones.
      radius *= 0.25;
      if (end_iteration(iter, x)) {
        r.status = kNlpUnfinished;
        r.stop = KLVO_STOP_INTERRUPT;
        break;
      }
      continue;
    }
    if (lpstatus != 0) {
      r.status = lpstatus == 1 ? kNlpLocallyInfeasible : kNlpUnknown;
      log("The linearised problem could not be solved");
      end_iteration(iter, x);  // every iteration started also ends
      break;
    }
    // A linearisation that stays infeasible while it could become less so asks for a higher
    // penalty: raise it while that keeps reducing the linearised violation.
    double lin = 0;
    for (int i = 0; i < m_; ++i) lin += weight_[i] * err[i];
    for (int raise = 0; raise < 4 && lin > s_.feastol && mu_ < 1e10; ++raise) {
      mu_ *= 10;
      set_error_costs();
      std::vector<double> d2, e2, y2;
      double lin2 = kBig;
      if (solve_lp(d2, e2, y2) == 0) {
        lin2 = 0;
        for (int i = 0; i < m_; ++i) lin2 += weight_[i] * e2[i];
      }
      if (!(lin2 < 0.9 * lin)) {
        // No better: the step bounds, not the penalty, keep the linearisation infeasible.
        mu_ /= 10;
        set_error_costs();
        break;
      }
      d.swap(d2), err.swap(e2), dual.swap(y2);
      lin = lin2;
    }
    // A damped step is predicted for what it takes, not for the LP's whole delta.
    double fd = 0;
    if (damped_) {
      std::vector<double> dd(n_);
      for (int j = 0; j < n_; ++j) dd[j] = take(j, d[j]);
      lin = linear_violation(dd);
      for (int j = 0; j < n_; ++j) fd += grad_[j] * dd[j];
    } else {
      for (int j = 0; j < n_; ++j) fd += grad_[j] * d[j];
    }
    double pred = -fd + mu_ * (cur.viol - lin);
    double phi = cur.f + mu_ * cur.viol;
    double scale = 1.0 + std::fabs(phi);
    log(format("%5d %16.8e %12.4e %12.4e %10.3e %10.3e", iter, cur.f, cur.maxviol, pred, radius, mu_));

    // Convergence: every column passes its tolerance set (a delta held by its step bound
    // passes no delta test), or the LP sees no first-order decrease left; and the point is
    // feasible.
    bool feasible = cur.maxviol <= s_.feastol;
    bool all = n_ > 0;
    for (int j = 0; j < n_; ++j) {
      bool held = std::fabs(d[j]) >= 0.99 * bound_of(j);
      int v = column_test(j, closure[j], d[j], xold[j], held);
      v = hooks_.column_converged(j, v);
      conv[j] = v;
      hist_[j] = ((hist_[j] << 1) | (v != 0)) & 0x7fffffff;
      if (!v) all = false;
    }
    // The LP's decrease over the smallest step bound bounds the first-order measure from above
    // (a ball of that size fits in the box), so a small ratio means no descent is left.
    double smallest = 1.0;
    for (int j = 0; j < n_; ++j)
      if (in_.deltatype.empty() || in_.deltatype[j] != 1) smallest = std::min(smallest, bound_of(j));
    bool stationary = pred <= optol * scale * smallest || pred <= 1e-14 * scale;
    auto trial_point = [&] {
      for (int j = 0; j < n_; ++j) {
        xt[j] = x[j] + take(j, d[j]);
        if (finite_bound(model_.xl[j])) xt[j] = std::max(xt[j], model_.xl[j]);
        if (finite_bound(model_.xu[j])) xt[j] = std::min(xt[j], model_.xu[j]);
      }
    };
    if (feasible && (all || stationary)) {
      // The last step is within the tolerances; take it still when it keeps the point feasible
      // and the merit no worse (at a vertex it is a Newton step on the active rows).
      trial_point();
      Merit last = merit(xt.data(), gtrial_);
      if (last.ok && last.maxviol <= s_.feastol && last.f + mu_ * last.viol <= phi) {
        x.swap(xt);
        g_.swap(gtrial_);
        jac_current = false;
        if (cascade(x)) merit(x.data(), g_);
      }
      r.status = kNlpSolution;
      end_iteration(iter, x);  // every iteration started also ends
      break;
    }
    if (stationary && !feasible && mu_ >= 1e10) {
      r.status = kNlpLocallyInfeasible;
      end_iteration(iter, x);  // every iteration started also ends
      break;
    }
    if (stationary && !feasible) {
      // No decrease left for this penalty while rows are violated: weigh them more.
      mu_ = std::min(mu_ * 10, 1e10);
      set_error_costs();
    }
    if (radius < 1e-14) {
      r.status = feasible ? kNlpSolution : kNlpLocallyInfeasible;
      end_iteration(iter, x);  // every iteration started also ends
      break;
    }

    // Try the step.
    trial_point();
    Merit trial = merit(xt.data(), gtrial_);
    if (!trial.ok) hooks_.eval_failed(xt);
    double ared = trial.ok ? phi - (trial.f + mu_ * trial.viol) : -kBig;
    double rho = pred > 0 ? ared / pred : -1.0;
    if (rho < 1e-4 && trial.ok && trial.viol > cur.viol && m_ > 0) {
      // The step left the curved rows: correct it for their curvature (the part of the rows'
      // change at the trial point that the linearisation missed) and try the corrected step.
      std::vector<double> miss(gtrial_);
      for (int i = 0; i < m_; ++i) miss[i] -= g_[i];
      for (size_t k = 0; k < jval_.size(); ++k) miss[jrow_[k]] -= jval_[k] * d[jcol_[k]];
      double inf = lp_.inf();
      std::vector<double> lo(m_), hi(m_);
      for (int i = 0; i < m_; ++i) {
        lo[i] = finite_bound(model_.gl[i]) ? model_.gl[i] - g_[i] - miss[i] : -inf;
        hi[i] = finite_bound(model_.gu[i]) ? model_.gu[i] - g_[i] - miss[i] : inf;
      }
      check(Highs_changeRowsBoundsByRange(lp_.h, 0, m_ - 1, lo.data(), hi.data()), "change the row bounds");
      std::vector<double> dc, ec, yc, xc(n_), gc(m_);
      if (solve_lp(dc, ec, yc) == 0) {
        for (int j = 0; j < n_; ++j) {
          xc[j] = x[j] + take(j, dc[j]);
          if (finite_bound(model_.xl[j])) xc[j] = std::max(xc[j], model_.xl[j]);
          if (finite_bound(model_.xu[j])) xc[j] = std::min(xc[j], model_.xu[j]);
        }
        Merit corr = merit(xc.data(), gc);
        double aredc = corr.ok ? phi - (corr.f + mu_ * corr.viol) : -kBig;
        if (pred > 0 && aredc / pred >= 1e-4) {
          d.swap(dc);
          xt.swap(xc);
          gtrial_.swap(gc);
          trial = corr;
          ared = aredc;
          rho = aredc / pred;
        }
      }
    }
    double dmax = 0;
    for (int j = 0; j < n_; ++j)
      if (!fixed_step(j)) dmax = std::max(dmax, std::fabs(d[j]) / stepbound_[j]);
    if (rho >= 1e-4) {
      // A column whose step changes direction zigzags about its optimum: halve its own step
      // bound, which a single radius for all columns cannot do without stalling the others.
      for (int j = 0; j < n_; ++j) {
        if (d[j] * dprev[j] < 0 && !fixed_step(j)) stepbound_[j] *= 0.5;
        if (d[j] != 0) dprev[j] = d[j];
      }
      for (int j = 0; j < n_; ++j) closure[j] = xt[j] - x[j];
      xold = x;
      x.swap(xt);
      g_.swap(gtrial_);
      cur = trial;
      jac_current = false;
      // Determined columns follow the step before the next linearisation.
      if (cascade(x)) {
        cur = merit(x.data(), g_);
        for (const CascadeColumn &c : in_.cascade) closure[c.col] = x[c.col] - xold[c.col];
      }
      if (rho > 0.75 && dmax >= 0.99 * radius) radius = std::min(radius * 2.0, 1e6);
      else if (rho < 0.25) radius *= 0.5;
    } else {
      // Rejected: shrink below the step actually taken.
      radius = 0.5 * std::min(radius, std::max(dmax, 1e-16));
    }
    if (end_iteration(iter, x)) {
      r.status = kNlpUnfinished;
      r.stop = KLVO_STOP_INTERRUPT;
      break;
    }
  }
  r.iterations = iter;
  r.have_point = true;
  r.x = x;
  if (!jac_current) {
    model_.engine_gradient(x.data(), grad_.data());
    if (!jval_.empty()) model_.jacobian(x.data(), jval_.data());
  }
  multipliers(x, r);
  if (state) {
    state->stepbound.resize(n_);
    for (int j = 0; j < n_; ++j) state->stepbound[j] = bound_of(j);
    state->converged = conv;
    state->history = hist_;
    if (iter == 0) state->previous = x;
  }
  return r;
}

}  // namespace

EngineResult run_slp(const SolveContext &ctx, kslp_problem_s *layer, NlpModel &model, const std::vector<double> &x0,
                     const EngineSettings &settings, const SlpInput &input, SlpHooks &hooks, SlpColumnState *state) {
  Slp slp(ctx, layer, model, settings, input, hooks);
  return slp.run(x0, state);
}

}  // namespace nlp
}  // namespace klvo
