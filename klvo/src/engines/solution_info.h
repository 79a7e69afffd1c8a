// Measures of a given solution against the model: activities, objective values, primal and
// dual infeasibilities (with the tolerances and sign conventions of klvo/solution.h).
#pragma once

#include <vector>

#include "model/store.h"

namespace klvo {

// Row activities A x plus the quadratic rows' x'Px.
std::vector<double> row_activities(const ModelStore &m, const double *x);
// Objective 0 (with its quadratic part and constant) at x.
double objective_value(const ModelStore &m, const double *x);
// Objective objidx at x; fails naming fn when there is no such objective.
double objective_n_value(const ModelStore &m, int objidx, const double *x, const char *fn);

// Largest violation of a column bound or a row by x (relative: each divided by 1 + |bound|).
double primal_violation(const ModelStore &m, const double *x, bool relative);
// Largest wrong-sign amount of the duals and reduced costs (relative: a column's divided by
// 1 + |c_j|).
double dual_violation(const ModelStore &m, const double *duals, const double *djs, bool relative);
// Largest distance of an integer column's value from an integer.
double max_fractionality(const ModelStore &m, const double *x);

// Indices of the primal infeasible columns and rows and dual infeasible rows and columns of a
// solution given as x, duals, djs (duals and djs may be null: no dual test), against the model
// as it is now. scaled: judge the values in the scaled problem of klvo/solution.h.
struct Infeasibilities {
  std::vector<int> cols, rows, dual_rows, dual_cols;
};
Infeasibilities find_infeasibilities(const ModelStore &m, const double *x, const double *duals, const double *djs,
                                     double feastol, double opttol, bool scaled);

}  // namespace klvo
