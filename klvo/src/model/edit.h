// Operations on a ModelStore. Every operation validates all of its input and makes room for
// what it adds before it changes anything (or takes back what it added), so neither a
// klvo::Error nor running out of memory leaves the store half changed; `fn` names the C entry
// point in error messages. Indices and counts follow the conventions of klvo/model.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/store.h"

namespace klvo {

// A block of sparse vectors: vector k owns entries begin(k) .. end(k)-1 of index/value.
struct SparseBlock {
  int count = 0;
  int64_t nentries = 0;
  const int64_t *start = nullptr;  // count entries (or count+1); null when nentries == 0
  const int *length = nullptr;     // optional: vector k ends at start[k] + length[k]
  const int *index = nullptr;
  const double *value = nullptr;

  int64_t begin(int k) const { return start ? start[k] : 0; }
  int64_t end(int k) const {
    if (!start) return 0;
    if (length) return start[k] + length[k];
    return k + 1 < count ? start[k + 1] : nentries;
  }
  // Checks the starts (and lengths) against nentries and the presence of the arrays.
  void validate(const char *fn, const char *what) const;
};

inline SparseBlock sparse_block(int count, int64_t nentries, const int64_t *start, const int *index,
                                const double *value) {
  SparseBlock b;
  b.count = count;
  b.nentries = nentries;
  b.start = start;
  b.index = index;
  b.value = value;
  return b;
}

// Widens a 32-bit start array (null stays null).
std::vector<int64_t> widen(const int *start, int count);

// Clamps a bound or right-hand side to [-1e20, 1e20]; NaN is an error.
double clamp_infinite(double v, const char *fn, const char *what);

void check_row_type(char t, const char *fn);
void check_col_type(char t, const char *fn);
void check_col(const ModelStore &m, int j, const char *fn);
void check_row(const ModelStore &m, int i, const char *fn);
void check_range(int first, int last, int count, const char *fn, const char *what);

// Adding. Columns are continuous; null arrays take the defaults of model.h.
void add_cols(ModelStore &m, const char *fn, const double *obj, const SparseBlock &cols, const double *lb,
              const double *ub);
void add_rows(ModelStore &m, const char *fn, const char *rowtype, const double *rhs, const double *range,
              const SparseBlock &rows);
// Each set k: members and weights from the block (index = columns, value = weights; a null
// value array gives 1, 2, 3, ...).
void add_sets(ModelStore &m, const char *fn, const char *settype, const SparseBlock &sets);
// Adds (sums) quadratic terms to a row / to the objective Q.
void add_qrow(ModelStore &m, const char *fn, int row, int64_t n, const int *col1, const int *col2,
              const double *value);
void add_qobj(ModelStore &m, const char *fn, int64_t n, const int *col1, const int *col2, const double *value);

// Deleting (distinct indices, any order).
void del_cols(ModelStore &m, const char *fn, int n, const int *ind);
void del_rows(ModelStore &m, const char *fn, int n, const int *ind);
void del_sets(ModelStore &m, const char *fn, int n, const int *ind);

// Changing.
void chg_bounds(ModelStore &m, const char *fn, int n, const int *ind, const char *type, const double *val);
void chg_obj(ModelStore &m, const char *fn, int n, const int *ind, const double *val);
void chg_coefs(ModelStore &m, const char *fn, int n, const int *row, const int *col, const double *val);
void chg_rhs(ModelStore &m, const char *fn, int n, const int *ind, const double *val);
void chg_rhsrange(ModelStore &m, const char *fn, int n, const int *ind, const double *val);
void chg_rowtype(ModelStore &m, const char *fn, int n, const int *ind, const char *type);
void chg_coltype(ModelStore &m, const char *fn, int n, const int *ind, const char *type);
void chg_limit(ModelStore &m, const char *fn, int n, const int *ind, const double *val);
void chg_qobj(ModelStore &m, const char *fn, int64_t n, const int *col1, const int *col2, const double *val);
void chg_qrow(ModelStore &m, const char *fn, int row, int col1, int col2, double val);
void del_qrow(ModelStore &m, const char *fn, int row);
void set_indicators(ModelStore &m, const char *fn, int n, const int *row, const int *col, const int *comp);
void del_indicators(ModelStore &m, const char *fn, int first, int last);

// Reading single entries.
double get_coef(const ModelStore &m, int row, int col);
double get_qobj(const ModelStore &m, int col1, int col2);
double get_qrow(const ModelStore &m, int row, int col1, int col2);

// Names.
NameTable &names_of(ModelStore &m, int type, const char *fn);
const NameTable &names_of(const ModelStore &m, int type, const char *fn);
int count_of(const ModelStore &m, int type);
// The name of an element, or its default ("R3", "C1", "S2") when it has none.
std::string name_or_default(const ModelStore &m, int type, int index);

}  // namespace klvo
