// All formulas of a problem compiled into one program for fast repeated evaluation.
//
// Each formula is parsed, its constant subtrees folded, and its variables numbered in order of
// first use. Formulas whose folded node lists have the same shape (the usual case: one
// constraint pattern repeated over an index set) form a group that stores its operations once
// and, per instance, only its constants and columns, in structure-of-arrays layout. A sweep
// runs one operation at a time over a block of a group's instances, so the interpreter's
// dispatch is paid per group and block, not per node. Gradients come from one reverse sweep,
// Hessians from forward-over-reverse sweeps, one per colour of the group's Hessian pattern
// (fixed once per group); both add straight into the caller's sparse arrays at positions given
// once after the program is finished.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "engines/nlp/formula.h"

namespace klvo {
namespace nlp {

class Evaluator {
 public:
  Evaluator();
  ~Evaluator();
  Evaluator(Evaluator &&) noexcept;
  Evaluator &operator=(Evaluator &&) noexcept;

  // Adds a formula (an end token, if any, last) times column x_column (when column >= 0) times
  // factor, to be evaluated with the formulas of the same side; returns its id (0, 1, ...).
  // Throws klvo::Error with a readable message on a malformed array.
  int add(const Token *tokens, int ntokens, int ncols, const UserFunctions *users, int column, double factor, int side);
  // Groups the formulas; no formula can be added afterwards.
  void finish();

  int size() const;
  bool has_user_functions() const;
  // Structure of formula f, after finish(): its local variables (model columns, distinct) and
  // the structurally non-zero entries (i, j), i >= j, of its Hessian in local indices.
  int nlocal(int f) const;
  int local_col(int f, int l) const;
  int npattern(int f) const;
  std::pair<int, int> pattern(int f, int e) const;
  // Where the sweeps add formula f's derivative in local variable l, and its Hessian entry e.
  void set_gradient_target(int f, int l, int position);
  void set_hessian_target(int f, int e, int position);

  // Each returns false when a formula of the side cannot be evaluated at x (a domain error, a
  // failing user function, a non-finite result); the derivative sweeps may leave a value that
  // is not finite unnoticed when the derivatives they give are, so whether the formulas are
  // defined at x is for values() to say. x is indexed by column.
  // out[f] = value of formula f, for the formulas of the side.
  bool values(const double *x, int side, double *out);
  // target[gradient target] += weight[f] * d formula f / d x, for the formulas of the side.
  bool gradients(const double *x, int side, const double *weight, double *target);
  // target[hessian target] += weight[f] * Hessian entries of formula f, for the formulas of the
  // sides below `sides`.
  bool hessians(const double *x, int sides, const double *weight, double *target);

  // What the sweeps did since the evaluator was built: calls of values, gradients and
  // hessians, formula instances evaluated, and the time spent in them.
  struct Stats {
    uint64_t value_sweeps = 0, gradient_sweeps = 0, hessian_sweeps = 0, instances = 0;
    double seconds = 0.0;
  };
  const Stats &stats() const { return stats_; }

  struct Group;
  struct Work;

 private:
  struct Builder;
  std::unique_ptr<Builder> builder_;  // until finish()
  std::vector<Group> groups_;
  std::vector<int> group_of_, instance_of_;  // by formula
  std::unique_ptr<Work> work_;
  bool has_user_ = false;
  Stats stats_;
};

}  // namespace nlp
}  // namespace klvo
