// Successive linear programming: the second nonlinear engine, beside the interior-point one.
//
// At the current point every formula is linearised (values and first derivatives from the
// shared evaluator) and one LP is solved over the steps d of the engine columns:
//     minimise   grad f . d  +  mu * sum_i w_i (e+_i + e-_i)
//     subject to gl_i - g_i(x) <= J_i d + e+_i - e-_i <= gu_i - g_i(x)
//                max(xl - x, -D_j) <= d_j <= min(xu - x, D_j)
// The error columns e make the LP feasible whatever the linearisation says; D_j are the step
// bounds (a trust region). The step is accepted when the merit function
//     f(x) + mu * sum_i w_i * violation_i(x)
// falls by a fair share of what the LP predicted; the step bounds then widen, otherwise they
// shrink and the LP is solved again from the same point. One HiGHS instance is kept for the
// whole solve: only costs, bounds and the Jacobian's changed entries are passed to it, so each
// LP starts from the previous basis.
#pragma once

#include <array>
#include <vector>

#include "engines/nlp/layer.h"
#include "engines/nlp/slp/slp_cascade.h"
#include "engines/nlp/solve.h"

namespace klvo {
namespace nlp {

// A Jacobian entry taken by central differences of width width * max(1, |x_col|) (engine
// row and column) instead of exactly.
struct SlpDf {
  int row, col;
  double width;
};

// Replaces the entries of dfs in values (laid out as jrow/jcol) by central differences at x;
// false when the rows cannot be evaluated at a perturbed point.
bool difference_jacobian(NlpModel &model, const std::vector<SlpDf> &dfs, const double *x, const std::vector<int> &jrow,
                         const std::vector<int> &jcol, double *values);

// What the layer contributes to an SLP solve, in engine space.
struct SlpInput {
  std::vector<double> stepbound;  // by engine column: initial step bound (0: from the point)
  std::vector<int> tolset;        // by engine column: position in tolsets, -1 the default tests
  std::vector<double> weight;     // by engine row: penalty weight of its error columns
  std::vector<double> damp;       // by engine column: share of its LP step not taken
  std::vector<char> fixstep;      // by engine column: its step bound never changes
  std::vector<TolSet> tolsets;
  std::vector<char> enforced;      // by engine row: its error columns are fixed at zero
  std::vector<int> deltatype;      // by engine column: 0 free, 1 no step, 2 smallest step
  std::vector<double> deltavalue;  // by engine column: the smallest step of type 2
  std::vector<SlpDf> dfs;
  // Columns recomputed from their determining rows (engine space, in cascade order) at the
  // start and after every accepted step; empty when cascading is off.
  std::vector<CascadeColumn> cascade;
  int cascade_passes = 5;
  double cascade_tol = 0.0;
};

// Per-column state the solve leaves behind (engine space).
struct SlpColumnState {
  std::vector<double> stepbound;
  std::vector<int> converged;  // 0 not converged, else 1 + the test that passed
  std::vector<int> history;    // bit k: converged k iterations before the last
  std::vector<double> previous;  // the point at the previous iteration's end (the start first)
};

// Moments of the solve where the layer's events fire; each returns true to stop the solve.
struct SlpHooks {
  virtual ~SlpHooks() = default;
  virtual bool iteration_start(int) { return false; }
  // After an accepted or rejected step; x in engine space.
  virtual bool iteration_end(int, const std::vector<double> &) { return false; }
  // A column's convergence test, which a callback may overrule: returns the new verdict.
  virtual int column_converged(int, int verdict) { return verdict; }
  // Before the derivatives are taken at a new point: true keeps the previous ones.
  virtual bool keep_linearization() { return false; }
  // The formulas could not be evaluated at the trial point x (engine space).
  virtual void eval_failed(const std::vector<double> &) {}
};

EngineResult run_slp(const SolveContext &ctx, kslp_problem_s *layer, NlpModel &model, const std::vector<double> &x0,
                     const EngineSettings &settings, const SlpInput &input, SlpHooks &hooks,
                     SlpColumnState *state = nullptr);

}  // namespace nlp
}  // namespace klvo
