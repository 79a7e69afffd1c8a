// The continuous relaxation of a node: the working model with the node's column bounds and
// the node's set of active switchable rows, solved by HiGHS (linear or convex quadratic
// objective, linear rows) or by the interior-point engine (quadratic rows, formulas). One
// engine instance lives for the whole search and only bounds change between nodes, so HiGHS
// starts each node from the basis of the previous one.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engines/context.h"

struct kslp_problem_s;

namespace klvo {
namespace bnb {

class Relaxation {
 public:
  enum Status { Optimal, Infeasible, Cutoff, Unbounded, Failed };

  virtual ~Relaxation() = default;
  // Column bounds of the node (all columns of the working model).
  virtual void set_bounds(const std::vector<double> &lo, const std::vector<double> &hi) = 0;
  // Turns a row's bounds on (as the model states them) or off (free).
  virtual void set_row_active(int row, bool active) = 0;
  // Solves; cutoff (minimising sense, +inf: none) lets the engine stop once the node cannot
  // beat it. iterlimit > 0 asks for a quick, possibly unfinished solve (strong branching).
  virtual Status solve(double cutoff, double seconds_left, int iterlimit = 0) = 0;
  // Remembers and restores the engine's starting point around trial solves.
  virtual void save_start() {}
  virtual void restore_start() {}
  // Trial solves with an iteration limit are meaningful (simplex-like engines).
  virtual bool supports_trials() const { return false; }
  // Appends a linear row lo <= sum vals[k] x[cols[k]] <= hi over the working model's columns,
  // switched on or off (set_row_active changes it); its index, or -1 when the engine cannot
  // take new rows.
  virtual int add_row(const std::vector<int> & /*cols*/, const std::vector<double> & /*vals*/, double /*lo*/,
                      double /*hi*/, bool /*active*/) {
    return -1;
  }

  // Gives a row made by add_row new coefficients and bounds (switched off): the entries of
  // old_cols become 0, those of cols vals. False when the engine cannot.
  virtual bool replace_row(int /*row*/, const std::vector<int> & /*old_cols*/, const std::vector<int> & /*cols*/,
                           const std::vector<double> & /*vals*/, double /*lo*/, double /*hi*/) {
    return false;
  }

  double objective = 0.0;  // minimising sense, constant included
  std::vector<double> x;
  int64_t iterations = 0;  // total over all solves
  bool limited = false;    // the latest solve stopped at its iteration limit
};

// Builds the relaxation engine for the working model; root bounds are those the search gives
// with set_bounds before the first solve. nonlinear: the model has quadratic rows or formulas.
std::unique_ptr<Relaxation> make_relaxation(const SolveContext &ctx, const ModelStore &work, kslp_problem_s *layer,
                                            bool nonlinear);

}  // namespace bnb
}  // namespace klvo
