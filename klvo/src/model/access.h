// Reading a model back in the C entry points' layouts, and the settings of a model as a whole
// (names, sense, problem name, a copy). Like the operations of edit.h, each validates its
// input before it changes anything and names the entry point `fn` in its errors.
#pragma once

#include <cstdint>

#include "model/store.h"

namespace klvo {

// Fails naming fn and what when a required argument is null.
void require_arg(const void *p, const char *fn, const char *what);

// Per-column and per-row arrays for first..last.
void get_lb(const ModelStore &m, double *lb, int first, int last, const char *fn);
void get_ub(const ModelStore &m, double *ub, int first, int last, const char *fn);
void get_obj(const ModelStore &m, double *obj, int first, int last, const char *fn);
void get_rhs(const ModelStore &m, double *rhs, int first, int last, const char *fn);
void get_rhsrange(const ModelStore &m, double *range, int first, int last, const char *fn);
void get_rowtype(const ModelStore &m, char *rowtype, int first, int last, const char *fn);
void get_coltype(const ModelStore &m, char *coltype, int first, int last, const char *fn);
void get_indicators(const ModelStore &m, int *colind, int *complement, int first, int last, const char *fn);

// Compressed blocks: *ncoefs gets the total, at most maxcoefs entries are written and start
// offsets are clipped to maxcoefs.
void get_cols(const ModelStore &m, int64_t *start, int *rowind, double *rowcoef, int64_t maxcoefs, int64_t *ncoefs,
              int first, int last, const char *fn);
void get_rows(const ModelStore &m, int64_t *start, int *colind, double *rowcoef, int64_t maxcoefs, int64_t *ncoefs,
              int first, int last, const char *fn);
void get_mqobj(const ModelStore &m, int64_t *start, int *colind, double *objqcoef, int64_t maxcoefs,
               int64_t *ncoefs, int first, int last, const char *fn);
// The same with 32-bit offsets and counts, for the entry points of that width; a block of more
// than 2^31 - 1 entries fails rather than report a cut count.
void get_rows(const ModelStore &m, int *start, int *colind, double *rowcoef, int maxcoefs, int *ncoefs, int first,
              int last, const char *fn);
void get_mqobj(const ModelStore &m, int *start, int *colind, double *objqcoef, int maxcoefs, int *ncoefs, int first,
               int last, const char *fn);
// Row `row`'s quadratic matrix in full (both triangles), columns first..last.
void get_qrow_matrix(const ModelStore &m, int row, int *start, int *colind, double *rowqcoef, int maxcoefs,
                     int *ncoefs, int first, int last, const char *fn);
void get_qrow_triplets(const ModelStore &m, int row, int *nqelem, int *col1, int *col2, double *coef, const char *fn);
void get_qrows(const ModelStore &m, int *nrows, int *rowind, const char *fn);
void get_mip_entities(const ModelStore &m, int *nentities, int *nsets, char *coltype, int *colind, double *limit,
                      char *settype, int64_t *start, int *setcols, double *refval);

// Single entries, with their indices checked.
double get_coef_checked(const ModelStore &m, int row, int col, const char *fn);
double get_qobj_checked(const ModelStore &m, int col1, int col2, const char *fn);
double get_qrow_checked(const ModelStore &m, int row, int col1, int col2, const char *fn);

// Names: `names` holds last - first + 1 names, each ending with a NUL.
void add_names(ModelStore &m, int type, const char *names, int first, int last, const char *fn);
void get_names(const ModelStore &m, int type, char *names, int first, int last, const char *fn);
void get_name_list(const ModelStore &m, int type, char *names, int names_len, int *names_len_reqd, int first,
                   int last, const char *fn);
const char *get_name_pointer(const ModelStore &m, int type, int index, const char *fn);
int get_index(const ModelStore &m, int type, const char *name, const char *fn);

// The model as a whole.
void chg_objsense(ModelStore &m, int objsense, const char *fn);
void set_probname(ModelStore &m, const char *probname, const char *fn);
void get_probname(const ModelStore &m, char *probname, const char *fn);
// Replaces dest with a copy of src (renamed when probname is not empty).
void copy_model(ModelStore &dest, const ModelStore *src, const char *probname, const char *fn);

}  // namespace klvo
