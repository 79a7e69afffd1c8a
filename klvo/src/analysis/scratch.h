// A private copy of a problem (model and controls) for the analysis functions that solve
// variants of it: the repair's relaxed model, the tuner's trial runs. The copy is changed
// through the library's own entry points so that its engine sees every change.
#pragma once

#include "env/problem.h"

namespace klvo {

class Scratch {
 public:
  Scratch(Problem &src, const char *name, const char *fn);
  ~Scratch();
  Scratch(const Scratch &) = delete;
  Scratch &operator=(const Scratch &) = delete;

  KLVOprob get() { return prob_; }
  // Fails with the copy's last error, under the caller's name, when rc is not 0.
  void check(int rc) const;
  const ModelStore &model() const { return prob_->model; }
  const SolutionStore &solution() const { return prob_->solution; }

  void set_objective_constant(double value);
  void clear_quadratic_objective();
  void restore_quadratic_objective(const ModelStore &from);

 private:
  KLVOprob prob_ = nullptr;
  const char *fn_;
};

}  // namespace klvo
