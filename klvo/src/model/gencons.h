// General and piecewise-linear constraints in the model store (the C layout of
// klvo/gencons.h). Like the operations of edit.h, each checks all of its input before it
// changes anything.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/edit.h"

namespace klvo {

// Constraint k: type, resultant, operand columns from `cols` (index only) and constants from
// `vals` (value only; its index array is unused).
void add_gencons(ModelStore &m, const char *fn, const int *type, const int *resultant, const SparseBlock &cols,
                 const SparseBlock &vals);
void get_gencons(const ModelStore &m, int *type, int *resultant, int64_t *colstart, int *colind, int64_t maxcols,
                 int64_t *ncols, int64_t *valstart, double *val, int64_t maxvals, int64_t *nvals, int first, int last,
                 const char *fn);
void del_gencons(ModelStore &m, const char *fn, int n, const int *ind);

// Constraint k: resultant[k] = pwl(col[k]) over the breakpoints of `points` (index unused,
// x and y read at the same positions).
void add_pwlcons(ModelStore &m, const char *fn, const int *col, const int *resultant, const SparseBlock &points,
                 const double *y);
void get_pwlcons(const ModelStore &m, int *col, int *resultant, int64_t *start, double *x, double *y,
                 int64_t maxpoints, int64_t *npoints, int first, int last, const char *fn);
void del_pwlcons(ModelStore &m, const char *fn, int n, const int *ind);

// After columns were deleted (map: old column -> new, -1 deleted): drops the constraints that
// used a deleted column and renumbers the rest.
void gencons_cols_deleted(ModelStore &m, const std::vector<int> &map);

// Checks one general or piecewise-linear constraint against the store (used by the file
// readers too).
void check_gencons(const ModelStore &m, const GenCons &g, int k, const char *fn);
void check_pwlcons(const ModelStore &m, const PwlCons &c, int k, const char *fn);

// The name of a general constraint type ("max", ...), or null for an unknown code.
const char *gencons_type_name(int type);
// The type code of a name (any case), or -1.
int gencons_type_code(const std::string &name);

}  // namespace klvo
