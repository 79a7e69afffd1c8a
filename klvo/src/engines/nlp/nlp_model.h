// A continuous problem with quadratic parts and formulas, in the form a nonlinear engine takes:
//   minimise  sense * f(x)   subject to  gl <= g(x) <= gu,  xl <= x <= xu
// with sparse first derivatives of g and the sparse Hessian of the Lagrangian. Sparsity
// structures are computed once when the model is built.
//
// Columns that a row determines (a nonlinear objective's auxiliary column: free, in the
// objective and in one equality row only) are substituted: the engine sees neither them nor
// their rows, and minimises the objective with the row solved for the column in its place.
// The engine works in its own space (`ne` columns, `m` rows); complete() and the results
// step map its point back to the model.
#pragma once

#include <string>
#include <vector>

#include "engines/nlp/evaluator.h"
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

  int n = 0;   // model columns
  int ne = 0;  // engine columns (all but determined ones)
  int m = 0;   // engine rows (all but free and determining rows)
  double sense = 1.0;
  std::vector<double> xl, xu;   // engine columns
  std::vector<double> gl, gu;   // engine rows
  std::vector<int> engine_row;  // model row -> engine row, -1 for free and determining rows
  std::vector<int> model_row;   // engine row -> model row
  std::vector<int> engine_col;  // model column -> engine column, -1 for determined ones
  std::vector<int> model_col;   // engine column -> model column

  // A column determined by an equality row: a * x_col + rest(x) = rhs, objective term c * x_col.
  struct Determined {
    int col, row;
    double a, c, rhs;
  };
  const std::vector<Determined> &determined() const { return determined_; }

  int jac_nnz() const { return static_cast<int>(jac_col_.size()); }
  int hess_nnz() const { return static_cast<int>(hess_row_.size()); }
  void jac_structure(int *rows, int *cols) const;
  void hess_structure(int *rows, int *cols) const;  // lower triangle: rows >= cols

  // Engine space: x has ne entries. Each returns false when a formula cannot be evaluated.
  bool engine_objective(const double *x, double &f);        // sense * objective
  bool engine_gradient(const double *x, double *grad);      // dense, ne entries
  bool constraints(const double *x, double *g);             // engine rows
  bool jacobian(const double *x, double *values);
  // sigma * (engine objective's Hessian) + sum of lambda_i * Hessian of g_i, lower triangle.
  bool hessian(const double *x, double sigma, const double *lambda, double *values);
  // The model's point for an engine point: determined columns solved from their rows.
  bool complete(const double *x, std::vector<double> &model_x);

  // Model space: x has n entries.
  bool objective(const double *x, double &f);               // f(x), model sense (not multiplied)
  bool row_activities(const double *x, double *act);        // all model rows (nrows entries)

  int nrows_model() const { return static_cast<int>(rows_.size()); }
  bool has_nonlinear() const { return nonlinear_; }
  const Evaluator &evaluator() const { return eval_; }

 private:
  struct Quad {
    int i, j;  // term v * x_i * x_j
    double v;
    int jac_i, jac_j;  // positions in the Jacobian row (or -1 for the objective)
    int hess;          // position in the Hessian
  };
  struct Part {
    std::vector<std::pair<int, double>> linear;
    std::vector<int> linear_jac;
    std::vector<Quad> quad;
    std::vector<int> formulas;  // ids in the evaluator
  };
  // The evaluator's sides: what the objective needs (its formulas and those of the rows that
  // determine a column), the engine's rows, and the free rows (evaluated for their activity).
  enum Side { kObjectiveSide, kRowSide, kFreeSide, kSides };
  Part obj_;
  std::vector<Part> rows_;  // by model row
  double objconstant_ = 0.0;
  Evaluator eval_;
  std::vector<int> engine_row_of_;  // by formula: engine row, -1 on the objective side
  std::vector<int> ids_[kSides];    // formulas by side
  std::vector<double> fval_;        // by formula: value
  std::vector<double> fweight_;     // by formula: weight in the engine objective (objective side)
  std::vector<double> hweight_;     // by formula: weight in the Hessian of the Lagrangian
  std::vector<int> jac_start_;      // by engine row
  std::vector<int> jac_col_;
  std::vector<double> jac_base_;    // the Jacobian's constant part (linear entries)
  std::vector<int> lin_start_, lin_col_;  // engine rows' linear entries, flat
  std::vector<double> lin_val_;
  std::vector<int> quad_rows_;      // engine rows with quadratic terms
  std::vector<int> hess_row_, hess_col_;
  bool nonlinear_ = false;
  std::vector<Determined> determined_;
  std::vector<double> xm_, gm_;  // model-space point (determined columns 0) and gradient

  double plain(const Part &p, const double *x) const;  // linear and quadratic parts
  double total(const Part &p, const double *x) const;  // plus formula values (in fval_)
  void plain_gradient(const Part &p, const double *x, double w, double *grad) const;
  const double *scatter(const double *x);
  void find_determined(const ModelStore &ms, const kslp_problem_s *layer);
};

}  // namespace nlp
}  // namespace klvo
