// The presolved form of a problem, kept after a solve given the flag 'k' (klvo/solve.h).
//
// While it stands, the problem's model store holds the presolved problem, so that every query
// (counts, rows, bounds, names, files) shows it, and the caller's own model waits in the form.
// The solution getters keep reading the caller's solution in the caller's terms through
// user_model(). A change to the problem, an analysis of it or a new solve would mix the two
// forms: changes and analyses are refused until KLVOpostsolve, and a solve returns the
// problem to the caller's form first (api/guard.h).
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "env/problem.h"

namespace klvo {

struct PresolvedForm {
  PresolvedForm() = default;
  ~PresolvedForm();
  PresolvedForm(const PresolvedForm &) = delete;
  PresolvedForm &operator=(const PresolvedForm &) = delete;

  ModelStore original;  // the caller's model while the presolved one stands in its place
  int state = 0;        // presolve-state bits: 2 continuous presolve, 4 with integrality
  std::vector<int> rowmap, colmap;  // presolved row (column) -> the caller's row (column)
  std::vector<int> position;        // the caller's column -> its presolved column, or -1
  // HiGHS may shift or scale a column it keeps: the caller's column colmap[k] is
  // colscale[k] * (presolved column k) + colshift[k]; NaN where its value depends on others.
  std::vector<double> colscale, colshift;
  // The presolved problem as a problem of its own, solved: its solution and basis are the
  // presolved ones.
  KLVOprob inner = nullptr;
  // HiGHS's instance that presolved the caller's model: it holds the reductions to undo.
  void *highs = nullptr;
  std::mutex highs_mutex;  // postsolving changes the instance's solution
};

// Whether the problem stands in its presolved form.
inline bool is_presolved(const Problem &prob) { return prob.presolved != nullptr; }
// The caller's own model, whichever form the problem stands in.
inline const ModelStore &user_model(const Problem &prob) {
  return prob.presolved ? prob.presolved->original : prob.model;
}

// Refuses the flag 'k' for a model whose presolved form cannot be kept (anything beyond linear
// rows, a linear objective and continuous, binary or integer columns), before it is solved.
void require_presolvable(const Problem &prob, const char *fn);
// After a solve: presolves the caller's model with HiGHS (relax: without integrality), solves
// the presolved problem and puts it in the model's place. Keeps nothing when presolve finds the
// problem infeasible or unbounded (a message says so).
void keep_presolved(Problem &prob, bool relax, const char *fn);
// Puts the caller's model back; nothing when the problem is in its own form.
void leave_presolved(Problem &prob);
// Fails naming fn when the problem stands in its presolved form.
void refuse_presolved(const Problem &prob, const char *fn);

// The presolve-space queries: in the caller's form they describe the caller's problem.
void get_presolve_map(const Problem &prob, int *rowmap, int *colmap);
void get_presolve_sol(const Problem &prob, double *x, double *slack, double *duals, double *djs, const char *fn);
void get_presolve_basis(Problem &prob, int *rowstat, int *colstat, const char *fn);
void load_presolve_basis(Problem &prob, const int *rowstat, const int *colstat, const char *fn);
// A solution of the presolved problem (prex, cols values) as one of the caller's (origx).
void post_solve_sol(Problem &prob, const double *prex, int prex_size, double *origx, int origx_size, const char *fn);
// A row over the caller's columns written over the presolved problem's columns; *status -1
// when it refers to a column presolve removed without fixing it by its bounds.
void presolve_row(Problem &prob, char rowtype, int n, const int *colind, const double *coef, double rhs, int maxcoefs,
                  int *ncoefs, int *outind, double *outcoef, double *outrhs, int *status, const char *fn);

}  // namespace klvo
