// A continuous problem with quadratic parts and formulas, in the form a nonlinear engine takes:
//   minimise  sense * f(x)   subject to  gl <= g(x) <= gu,  xl <= x <= xu
// with sparse first derivatives of g and the sparse Hessian of the Lagrangian. Sparsity
// structures are computed once when the model is built.
#pragma once

#include <string>
#include <vector>

#include "engines/nlp/formula.h"
#include "model/store.h"

struct kslp_problem_s;

namespace klvo {
namespace nlp {

class NlpModel {
 public:
  // Builds from the model store, formulas included, compiled with the user functions of the
  // problem's nonlinear layer (if any; without one the formulas are not used). Throws Error
  // when a formula no longer fits the model (a column out of range).
  NlpModel(const ModelStore &ms, const kslp_problem_s *layer);

  int n = 0;  // columns
  int m = 0;  // rows given to the engine (all but free rows)
  double sense = 1.0;
  std::vector<double> xl, xu, gl, gu;
  std::vector<int> engine_row;  // model row -> engine row, -1 for free rows
  std::vector<int> model_row;   // engine row -> model row

  int jac_nnz() const { return static_cast<int>(jac_col_.size()); }
  int hess_nnz() const { return static_cast<int>(hess_row_.size()); }
  void jac_structure(int *rows, int *cols) const;
  void hess_structure(int *rows, int *cols) const;  // lower triangle: rows >= cols

  // Each returns false when a formula cannot be evaluated at x.
  bool objective(const double *x, double &f);               // f(x), model sense (not multiplied)
  bool objective_gradient(const double *x, double *grad);   // dense, model sense
  bool row_activities(const double *x, double *act);        // all model rows (nrows entries)
  bool constraints(const double *x, double *g);             // engine rows
  bool jacobian(const double *x, double *values);
  // sigma * sense * Hessian of f + sum of lambda_i * Hessian of g_i, lower triangle.
  bool hessian(const double *x, double sigma, const double *lambda, double *values);

  int nrows_model() const { return static_cast<int>(rows_.size()); }
  bool has_nonlinear() const { return nonlinear_; }

 private:
  struct Quad {
    int i, j;  // term v * x_i * x_j
    double v;
    int jac_i, jac_j;  // positions in the Jacobian row (or -1 for the objective)
    int hess;          // position in the Hessian
  };
  struct Formula {
    Tape tape;
    std::vector<int> jac;   // local variable -> Jacobian position
    std::vector<int> hess;  // entry of the tape's Hessian pattern -> Hessian position
  };
  struct Part {
    std::vector<std::pair<int, double>> linear;
    std::vector<int> linear_jac;
    std::vector<Quad> quad;
    std::vector<Formula> formulas;
  };
  Part obj_;
  std::vector<Part> rows_;  // by model row
  double objconstant_ = 0.0;
  std::vector<int> jac_start_;  // by engine row
  std::vector<int> jac_col_;
  std::vector<int> hess_row_, hess_col_;
  bool nonlinear_ = false;
  TapeWork work_;
  std::vector<double> scratch_;

  bool eval_part(const Part &p, const double *x, double &value);
};

}  // namespace nlp
}  // namespace klvo
