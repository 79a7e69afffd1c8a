// The model store of one problem: columns, rows, the sparse matrix kept both by column and
// by row (so that adding a row or a column costs time proportional to its own size), the
// quadratic objective, quadratic rows, special ordered sets, indicators, names and the
// nonlinear formulas.
//
// Layout (engines read it directly):
// - Columns j = 0..ncols()-1: obj[j], lb[j], ub[j] (clamped to [-1e20, 1e20]; +-1e20 is
//   infinite), coltype[j] ('C','I','B','S','R','P'), limit[j] (threshold of 'S'/'R':
//   x = 0 or max(lb, limit) <= x <= ub; 'P': integral below limit; unused otherwise),
//   colentries[j] = (row, value) sorted by row, no zeros, no repeats (kept up to date lazily
//   after rows are added; see ColumnLists).
// - Rows i = 0..nrows()-1: rowtype[i] ('L','G','E','R','N'), rhs[i], range[i] (only
//   meaningful for 'R': rhs - range <= row <= rhs, range >= 0; 0 for other types),
//   rowentries[i] = (column, value) sorted by column; the same entries as colentries.
// - Objective: objsense * (obj'x + 1/2 x'Qx + objconstant) is minimised. qobj[j] holds
//   column j of the symmetric Q, (column, value) sorted by column, both triangles stored
//   (qobj[i] has (j, v) exactly when qobj[j] has (i, v)); qobj is empty or has ncols() lists.
// - Quadratic rows: qrows[i] holds row i's symmetric P as upper-triangle terms
//   (col1 <= col2) sorted by (col1, col2); the row's activity is rowentries'x + x'Px where an
//   off-diagonal term (i, j, v) stands for both P_ij and P_ji (contributing 2 v x_i x_j) and
//   a diagonal term contributes v x_i^2. qrows is empty or has nrows() lists.
// - Indicators: indcol[i] = the controlling column of row i or -1, indcomp[i] = 1 (enforced
//   when the column is 1), -1 (when it is 0) or 0 (no indicator). Both empty or nrows() long.
// - Sets: sets[k] with type '1' or '2', member columns and their weights.
// - General constraints gencons[k]: resultant = f(cols, vals) of type KLVO_GENCONS_* (klvo/gencons.h);
//   piecewise-linear constraints pwlcons[k]: resultant = pwl(col) through the breakpoints
//   (x[p], y[p]), x non-decreasing. Both refer to columns only (model/gencons.h).
// - Names per kind (rows, columns, sets): an empty string is "no name"; names may repeat.
// - Formulas (model/formulas.h): added and read through the nonlinear layer, which checks
//   them against its user functions; they follow deleted rows and columns like the rest.
// - revision grows on every change outside the formulas, so engines can tell whether the
//   model changed; the formulas carry a revision of their own.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "model/formulas.h"
#include "model/marks.h"
#include "model/names.h"

namespace klvo {

struct Entry {
  int index;  // row index in a column's list, column index in a row's list
  double value;
};

struct QTerm {
  int col1, col2;  // col1 <= col2
  double value;
};

// Enters `count` new rows (columns) `added[0..count-1]`, numbered from `base`, into the column
// (row) lists. The entries are first grouped by list in one contiguous array, so that each list
// is then extended once, in order, instead of being visited at random once per entry.
void enter_cross_entries(std::vector<std::vector<Entry>> &lists, const std::vector<Entry> *added, size_t count,
                         int base);

// The matrix by column, brought up to date lazily: rows added in bulk are entered on the first
// use of the column lists after them, in one grouped pass, so that adding rows costs only their
// row lists. Every access (indexing, iteration, get()) brings the lists up to date first, so
// readers always see the whole matrix; concurrent readers are safe. Copies and moves bring the
// source up to date first and carry nothing pending.
class ColumnLists {
 public:
  using Lists = std::vector<std::vector<Entry>>;

  ColumnLists() = default;
  ColumnLists(const ColumnLists &o) : lists_(o.get()) {}
  ColumnLists(ColumnLists &&o) noexcept(false) : lists_(std::move(o.get())) {}
  ColumnLists &operator=(const ColumnLists &o) {
    if (this != &o) assign(Lists(o.get()));
    return *this;
  }
  ColumnLists &operator=(ColumnLists &&o) noexcept(false) {
    if (this != &o) assign(std::move(o.get()));
    return *this;
  }

  // Rows from `first` on of `rows` (the store's row lists) are not in the column lists yet.
  // Rows already pending stay pending; `rows` must stay at its place until the next access.
  void defer(const Lists &rows, int first) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!pending_.load(std::memory_order_relaxed)) first_pending_ = first;
    rows_ = &rows;
    pending_.store(true, std::memory_order_release);
  }

  Lists &get() {
    sync();
    return lists_;
  }
  const Lists &get() const {
    sync();
    return lists_;
  }
  std::vector<Entry> &operator[](size_t j) { return get()[j]; }
  const std::vector<Entry> &operator[](size_t j) const { return get()[j]; }
  size_t size() const { return get().size(); }
  Lists::iterator begin() { return get().begin(); }
  Lists::iterator end() { return get().end(); }
  Lists::const_iterator begin() const { return get().begin(); }
  Lists::const_iterator end() const { return get().end(); }

 private:
  void sync() const {
    if (!pending_.load(std::memory_order_acquire)) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!pending_.load(std::memory_order_relaxed)) return;
    enter_cross_entries(lists_, rows_->data() + first_pending_, rows_->size() - first_pending_, first_pending_);
    rows_ = nullptr;
    pending_.store(false, std::memory_order_release);
  }
  void assign(Lists lists) {
    std::lock_guard<std::mutex> lock(mutex_);
    lists_ = std::move(lists);
    rows_ = nullptr;
    pending_.store(false, std::memory_order_release);
  }

  mutable Lists lists_;
  mutable const Lists *rows_ = nullptr;
  mutable int first_pending_ = 0;
  mutable std::atomic<bool> pending_{false};
  mutable std::mutex mutex_;
};

struct SosSet {
  char type = '1';  // '1' or '2'
  std::vector<int> cols;
  std::vector<double> weights;
};

struct GenCons {
  int type = 0;  // KLVO_GENCONS_MAX, _MIN, _AND, _OR, _ABS
  int resultant = 0;
  std::vector<int> cols;
  std::vector<double> vals;  // constant operands (max and min only)
};

struct PwlCons {
  int col = 0, resultant = 0;
  std::vector<double> x, y;  // breakpoints
};

struct ModelStore {
  std::string name;
  int objsense = 1;          // minimise (1) or maximise (-1)
  double objconstant = 0.0;  // constant term of the objective

  // Columns.
  std::vector<double> obj, lb, ub;
  std::vector<double> limit;   // threshold of semi-continuous/semi-integer, limit of partial integer
  std::vector<char> coltype;   // 'C', 'B', 'I', 'S', 'R', 'P'
  // (row, value), sorted by row. Declared before rowentries: a copy or move of the store brings
  // it up to date from the source's rows before those are copied or moved.
  ColumnLists colentries;

  // Rows.
  std::vector<char> rowtype;   // 'L', 'G', 'E', 'R', 'N'
  std::vector<double> rhs, range;
  std::vector<std::vector<Entry>> rowentries;  // (column, value), sorted by column

  // Quadratic objective (full symmetric, by column) and quadratic rows (upper triangle).
  std::vector<std::vector<Entry>> qobj;
  // Linear objectives 1, 2, ... of a multi-objective problem; a vector shorter than ncols()
  // reads 0 for the columns it does not reach.
  std::vector<std::vector<double>> objn;
  std::vector<std::vector<QTerm>> qrows;

  // Indicators and special ordered sets.
  std::vector<int> indcol, indcomp;
  std::vector<SosSet> sets;

  // General and piecewise-linear constraints.
  std::vector<GenCons> gencons;
  std::vector<PwlCons> pwlcons;

  NameTable rownames, colnames, setnames;

  FormulaStore formulas;

  // Directives, row and column marks and user scale factors (model/marks.h).
  ModelMarks marks;

  uint64_t revision = 0;

  int ncols() const { return static_cast<int>(obj.size()); }
  int nrows() const { return static_cast<int>(rhs.size()); }
  int nsets() const { return static_cast<int>(sets.size()); }
  int64_t nnz() const;
  int64_t nqobj() const;            // stored entries of Q (both triangles)
  bool has_qobj() const;
  int nqrows() const;               // rows with a non-empty quadratic matrix
  int nindicators() const;
  int nentities() const;            // columns of type other than 'C'
  int64_t nsetmembers() const;
  // Longest name KLVOgetnames can give for any kind (default names included), in bytes.
  size_t max_name_length() const;

  void touch() { ++revision; }
};

// The matrix by column in compressed form (start has ncols()+1 entries), for engines.
template <class Int>
void to_csc(const ModelStore &m, std::vector<Int> &start, std::vector<Int> &index, std::vector<double> &value) {
  const int n = m.ncols();
  start.assign(n + 1, 0);
  index.clear();
  value.clear();
  index.reserve(m.nnz());
  value.reserve(m.nnz());
  for (int j = 0; j < n; ++j) {
    for (const Entry &e : m.colentries[j]) {
      index.push_back(static_cast<Int>(e.index));
      value.push_back(e.value);
    }
    start[j + 1] = static_cast<Int>(index.size());
  }
}

// The lower triangle of the objective's Q by column (start has ncols()+1 entries), the form
// engines take for 1/2 x'Qx.
template <class Int>
void qobj_lower_csc(const ModelStore &m, std::vector<Int> &start, std::vector<Int> &index,
                    std::vector<double> &value) {
  const int n = m.ncols();
  start.assign(n + 1, 0);
  index.clear();
  value.clear();
  for (int j = 0; j < n; ++j) {
    if (!m.qobj.empty())
      for (const Entry &e : m.qobj[j])
        if (e.index >= j) {
          index.push_back(static_cast<Int>(e.index));
          value.push_back(e.value);
        }
    start[j + 1] = static_cast<Int>(index.size());
  }
}

}  // namespace klvo
