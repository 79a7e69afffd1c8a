// Operations on the model store: validate everything first, then change.
#include "model/edit.h"

#include <algorithm>
#include <cmath>

#include "env/error.h"
#include "model/gencons.h"
#include "model/growth.h"

namespace klvo {

namespace {

constexpr double kInf = 1.0e20;

void need(const void *p, const char *fn, const char *what) {
  if (!p) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: %s must not be NULL", fn, what);
}

void check_count(int64_t n, const char *fn, const char *what) {
  if (n < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative %s (%lld)", fn, what, static_cast<long long>(n));
}

void check_finite(double v, const char *fn, const char *what) {
  if (!std::isfinite(v) || std::fabs(v) >= kInf)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: %s %g is not a finite number", fn, what, v);
}

// Inserts, replaces or (value 0) removes the entry for `index` in a sorted list.
void set_sorted(std::vector<Entry> &list, int index, double value) {
  auto it = std::lower_bound(list.begin(), list.end(), index, [](const Entry &e, int i) { return e.index < i; });
  bool found = it != list.end() && it->index == index;
  if (value == 0.0) {
    if (found) list.erase(it);
  } else if (found) {
    it->value = value;
  } else {
    list.insert(it, Entry{index, value});
  }
}

double get_sorted(const std::vector<Entry> &list, int index) {
  auto it = std::lower_bound(list.begin(), list.end(), index, [](const Entry &e, int i) { return e.index < i; });
  return it != list.end() && it->index == index ? it->value : 0.0;
}

// Old index -> new index (-1 for deleted) for deleting `ind` from `count` elements.
std::vector<int> deletion_map(int count, int n, const int *ind, const char *fn, const char *what) {
  check_count(n, fn, "count");
  if (n > 0) need(ind, fn, "the index array");
  std::vector<int> map(count, 0);
  for (int k = 0; k < n; ++k) {
    int i = ind[k];
    if (i < 0 || i >= count)
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: %s index %d out of range (the problem has %d)", fn, what, i, count);
    if (map[i] < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: %s index %d is listed twice", fn, what, i);
    map[i] = -1;
  }
  int next = 0;
  for (int i = 0; i < count; ++i)
    if (map[i] == 0) map[i] = next++;
  return map;
}

template <class T>
void compact(std::vector<T> &v, const std::vector<int> &map) {
  if (v.empty()) return;
  size_t out = 0;
  for (size_t i = 0; i < v.size(); ++i)
    if (map[i] >= 0) {
      if (out != i) v[out] = std::move(v[i]);
      ++out;
    }
  v.resize(out);
}

void remap_entries(std::vector<Entry> &list, const std::vector<int> &map) {
  size_t out = 0;
  for (const Entry &e : list)
    if (map[e.index] >= 0) list[out++] = Entry{map[e.index], e.value};
  list.resize(out);
}

// Sorts one vector's entries by index and rejects repeats and bad indices; drops zeros. One
// pass copies and checks; most vectors arrive sorted without zeros and need nothing more.
std::vector<Entry> collect_vector(const SparseBlock &b, int k, int bound, const char *fn, const char *what,
                                  const char *owner) {
  int64_t lo = b.begin(k), hi = b.end(k);
  std::vector<Entry> out(static_cast<size_t>(hi - lo));
  bool ascending = true, zeros = false;
  int prev = -1;
  Entry *to = out.data();
  for (int64_t p = lo; p < hi; ++p) {
    int i = b.index[p];
    double v = b.value[p];
    if (static_cast<unsigned>(i) >= static_cast<unsigned>(bound))
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: %s index %d of %s %d out of range (the problem has %d)", fn, what, i,
           owner, k, bound);
    if (!(std::fabs(v) < kInf)) check_finite(v, fn, "coefficient");  // NaN fails this test too
    ascending &= i > prev;
    zeros |= v == 0.0;
    prev = i;
    *to++ = Entry{i, v};
  }
  if (!ascending) {
    auto by_index = [](const Entry &a, const Entry &c) { return a.index < c.index; };
    std::sort(out.begin(), out.end(), by_index);
    for (size_t p = 1; p < out.size(); ++p)
      if (out[p].index == out[p - 1].index)
        fail(KLVO_ERR_INVALID_ARGUMENT, "%s: %s %d lists %s %d twice", fn, owner, k, what, out[p].index);
  }
  if (zeros) out.erase(std::remove_if(out.begin(), out.end(), [](const Entry &e) { return e.value == 0.0; }), out.end());
  return out;
}

// Makes room in each list named in `which` for one more entry per mention, so that the sorted
// insertions that follow cannot fail.
template <class List>
void make_room(std::vector<List> &lists, std::vector<int> which) {
  std::sort(which.begin(), which.end());
  for (size_t a = 0, b = 0; a < which.size(); a = b) {
    while (b < which.size() && which[b] == which[a]) ++b;
    grow_by(lists[which[a]], b - a);
  }
}

// The same for the lists named in which[0..n) and, when given, also[0..n).
template <class List>
void make_room(std::vector<List> &lists, int64_t n, const int *which, const int *also = nullptr) {
  if (n == 1 && !also) {  // one coefficient at a time, as callers often change them
    grow_by(lists[which[0]], 1);
    return;
  }
  std::vector<int> all(which, which + n);
  if (also) all.insert(all.end(), also, also + n);
  make_room(lists, std::move(all));
}

void normalise_pair(int &a, int &b) {
  if (a > b) std::swap(a, b);
}

bool qterm_less(const QTerm &a, const QTerm &b) { return a.col1 != b.col1 ? a.col1 < b.col1 : a.col2 < b.col2; }

// Sets (or with value 0 removes) a term of a row's upper-triangle list.
void set_qterm(std::vector<QTerm> &list, int c1, int c2, double value) {
  QTerm key{c1, c2, 0.0};
  auto it = std::lower_bound(list.begin(), list.end(), key, qterm_less);
  bool found = it != list.end() && it->col1 == c1 && it->col2 == c2;
  if (value == 0.0) {
    if (found) list.erase(it);
  } else if (found) {
    it->value = value;
  } else {
    list.insert(it, QTerm{c1, c2, value});
  }
}

void check_triplets(const ModelStore &m, const char *fn, int64_t n, const int *c1, const int *c2, const double *v) {
  check_count(n, fn, "coefficient count");
  if (n == 0) return;
  need(c1, fn, "the first column array");
  need(c2, fn, "the second column array");
  need(v, fn, "the coefficient array");
  for (int64_t k = 0; k < n; ++k) {
    if (c1[k] < 0 || c1[k] >= m.ncols() || c2[k] < 0 || c2[k] >= m.ncols())
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: quadratic term %lld names column pair (%d, %d) out of range (the problem has %d columns)",
           fn, static_cast<long long>(k), c1[k], c2[k], m.ncols());
    check_finite(v[k], fn, "quadratic coefficient");
  }
}

void ensure_qrows(ModelStore &m) {
  if (m.qrows.empty()) m.qrows.resize(m.nrows());
}
void ensure_qobj(ModelStore &m) {
  if (m.qobj.empty()) m.qobj.resize(m.ncols());
}
void ensure_indicators(ModelStore &m) {
  if (m.indcol.empty()) {
    // Both or neither.
    std::vector<int> col(m.nrows(), -1), comp(m.nrows(), 0);
    m.indcol.swap(col);
    m.indcomp.swap(comp);
  }
}

}  // namespace

// ---- Shared checks.

void SparseBlock::validate(const char *fn, const char *what) const {
  check_count(count, fn, "count");
  check_count(nentries, fn, "coefficient count");
  if (nentries == 0 && !start) return;
  if (nentries > 0 && count == 0)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: %lld coefficients given for no %s", fn, static_cast<long long>(nentries), what);
  if (nentries > 0) {
    need(start, fn, "the start array");
    need(index, fn, "the index array");
    need(value, fn, "the coefficient array");
  }
  if (!start) return;
  for (int k = 0; k < count; ++k) {
    int64_t b = begin(k), e = end(k);
    if (length && length[k] < 0)
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative length %d for %s %d", fn, length[k], what, k);
    if (b < 0 || e < b || e > nentries)
      fail(KLVO_ERR_INVALID_ARGUMENT,
           "%s: the start array of %s %d gives entries %lld..%lld, outside 0..%lld or decreasing", fn, what, k,
           static_cast<long long>(b), static_cast<long long>(e) - 1, static_cast<long long>(nentries) - 1);
  }
}

std::vector<int64_t> widen(const int *start, int count) {
  if (!start || count <= 0) return {};
  return std::vector<int64_t>(start, start + count);
}

double clamp_infinite(double v, const char *fn, const char *what) {
  if (std::isnan(v)) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: %s is NaN", fn, what);
  if (v >= kInf) return kInf;
  if (v <= -kInf) return -kInf;
  return v;
}

void check_row_type(char t, const char *fn) {
  if (t != 'L' && t != 'G' && t != 'E' && t != 'R' && t != 'N')
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: invalid row type '%c' (expected L, G, E, R or N)", fn, t ? t : '?');
}

void check_col_type(char t, const char *fn) {
  if (t != 'C' && t != 'I' && t != 'B' && t != 'S' && t != 'R' && t != 'P')
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: invalid column type '%c' (expected C, I, B, S, R or P)", fn, t ? t : '?');
}

void check_col(const ModelStore &m, int j, const char *fn) {
  if (j < 0 || j >= m.ncols())
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: column index %d out of range (the problem has %d columns)", fn, j, m.ncols());
}

void check_row(const ModelStore &m, int i, const char *fn) {
  if (i < 0 || i >= m.nrows())
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: row index %d out of range (the problem has %d rows)", fn, i, m.nrows());
}

void check_range(int first, int last, int count, const char *fn, const char *what) {
  if (first < 0 || last >= count || first > last)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: invalid range %d..%d of %s (the problem has %d)", fn, first, last, what, count);
}

// ---- Adding.

void add_cols(ModelStore &m, const char *fn, const double *obj, const SparseBlock &cols, const double *lb,
              const double *ub) {
  cols.validate(fn, "column");
  const int n = cols.count, base = m.ncols();
  // Everything is checked before the store changes; arrays not given need no copies.
  std::vector<std::vector<Entry>> entries(cols.start ? n : 0);
  for (int k = 0; k < n; ++k) {
    if (cols.start) entries[k] = collect_vector(cols, k, m.nrows(), fn, "row", "column");
    if (obj) check_finite(obj[k], fn, "objective coefficient");
    if (lb) clamp_infinite(lb[k], fn, "lower bound");
    if (ub) clamp_infinite(ub[k], fn, "upper bound");
  }
  // Rows added earlier enter the column lists before the new columns' entries enter the rows.
  // Room for every array first, so that past the row lists nothing allocates.
  auto &columns = m.colentries.get();
  grow_by(columns, n);
  grow_by(m.obj, n);
  grow_by(m.lb, n);
  grow_by(m.ub, n);
  grow_by(m.limit, n);
  grow_by(m.coltype, n);
  if (!m.qobj.empty()) grow_by(m.qobj, n);
  m.colnames.reserve(n);
  if (cols.start) {
    enter_cross_entries(m.rowentries, entries.data(), entries.size(), base);
    for (int k = 0; k < n; ++k) columns.push_back(std::move(entries[k]));
  } else {
    columns.resize(base + n);
  }
  if (obj) m.obj.insert(m.obj.end(), obj, obj + n);
  else m.obj.resize(base + n, 0.0);
  m.lb.resize(base + n, 0.0);
  m.ub.resize(base + n, kInf);
  for (int k = 0; lb && k < n; ++k) m.lb[base + k] = clamp_infinite(lb[k], fn, "lower bound");
  for (int k = 0; ub && k < n; ++k) m.ub[base + k] = clamp_infinite(ub[k], fn, "upper bound");
  m.limit.resize(base + n, 0.0);
  m.coltype.resize(base + n, 'C');
  if (!m.qobj.empty()) m.qobj.resize(base + n);
  m.colnames.append_empty(n);
  m.touch();
}

void add_rows(ModelStore &m, const char *fn, const char *rowtype, const double *rhs, const double *range,
              const SparseBlock &rows) {
  rows.validate(fn, "row");
  const int n = rows.count, base = m.nrows();
  if (n > 0) need(rowtype, fn, "the row type array");
  std::vector<std::vector<Entry>> entries(n);
  std::vector<double> vrhs(n, 0.0), vrange(n, 0.0);
  for (int k = 0; k < n; ++k) {
    check_row_type(rowtype[k], fn);
    if (rows.start) entries[k] = collect_vector(rows, k, m.ncols(), fn, "column", "row");
    if (rhs) vrhs[k] = clamp_infinite(rhs[k], fn, "right-hand side");
    if (rowtype[k] == 'R' && range) {
      check_finite(range[k], fn, "range");
      vrange[k] = std::fabs(range[k]);
    }
  }
  // Room for every array first, so that past the column lists nothing allocates.
  grow_by(m.rowentries, n);
  grow_by(m.rowtype, n);
  grow_by(m.rhs, n);
  grow_by(m.range, n);
  if (!m.qrows.empty()) grow_by(m.qrows, n);
  if (!m.indcol.empty()) {
    grow_by(m.indcol, n);
    grow_by(m.indcomp, n);
  }
  m.rownames.reserve(n);
  // The column lists take the new rows on their next use (ColumnLists::defer).
  for (int k = 0; k < n; ++k) m.rowentries.push_back(std::move(entries[k]));
  if (n > 0) m.colentries.defer(m.rowentries, base);
  m.rowtype.insert(m.rowtype.end(), rowtype, rowtype + n);
  m.rhs.insert(m.rhs.end(), vrhs.begin(), vrhs.end());
  m.range.insert(m.range.end(), vrange.begin(), vrange.end());
  if (!m.qrows.empty()) m.qrows.resize(base + n);
  if (!m.indcol.empty()) {
    m.indcol.resize(base + n, -1);
    m.indcomp.resize(base + n, 0);
  }
  m.rownames.append_empty(n);
  m.touch();
}

void add_sets(ModelStore &m, const char *fn, const char *settype, const SparseBlock &sets) {
  check_count(sets.count, fn, "set count");
  check_count(sets.nentries, fn, "member count");
  if (sets.nentries > 0) {
    need(sets.start, fn, "the start array");
    need(sets.index, fn, "the column array");
  }
  if (sets.count > 0) need(settype, fn, "the set type array");
  SparseBlock b = sets;
  b.value = nullptr;  // weights are optional; checked below
  if (sets.start)
    for (int k = 0; k < b.count; ++k) {
      int64_t lo = b.begin(k), hi = b.end(k);
      if (lo < 0 || hi < lo || hi > b.nentries)
        fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the start array of set %d gives members outside 0..%lld", fn, k,
             static_cast<long long>(b.nentries) - 1);
    }
  std::vector<SosSet> added(sets.count);
  for (int k = 0; k < sets.count; ++k) {
    char t = settype[k];
    if (t != '1' && t != '2') fail(KLVO_ERR_INVALID_ARGUMENT, "%s: invalid set type '%c' (expected 1 or 2)", fn, t ? t : '?');
    SosSet &s = added[k];
    s.type = t;
    int64_t lo = b.begin(k), hi = b.end(k);
    for (int64_t p = lo; p < hi; ++p) {
      int j = sets.index[p];
      check_col(m, j, fn);
      double w = sets.value ? sets.value[p] : static_cast<double>(p - lo + 1);
      check_finite(w, fn, "set weight");
      s.cols.push_back(j);
      s.weights.push_back(w);
    }
    std::vector<int> sorted = s.cols;
    std::sort(sorted.begin(), sorted.end());
    if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end())
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: set %d lists column %d twice", fn, k,
           *std::adjacent_find(sorted.begin(), sorted.end()));
  }
  grow_by(m.sets, added.size());
  m.setnames.reserve(sets.count);
  for (SosSet &s : added) m.sets.push_back(std::move(s));
  m.setnames.append_empty(sets.count);
  m.touch();
}

void add_qrow(ModelStore &m, const char *fn, int row, int64_t n, const int *c1, const int *c2, const double *v) {
  check_row(m, row, fn);
  check_triplets(m, fn, n, c1, c2, v);
  if (n == 0) return;
  std::vector<QTerm> terms = m.qrows.empty() ? std::vector<QTerm>() : m.qrows[row];
  for (int64_t k = 0; k < n; ++k) {
    QTerm t{c1[k], c2[k], v[k]};
    normalise_pair(t.col1, t.col2);
    terms.push_back(t);
  }
  std::stable_sort(terms.begin(), terms.end(), qterm_less);
  size_t out = 0;
  for (size_t p = 0; p < terms.size(); ++p) {
    if (out > 0 && terms[out - 1].col1 == terms[p].col1 && terms[out - 1].col2 == terms[p].col2)
      terms[out - 1].value += terms[p].value;
    else
      terms[out++] = terms[p];
  }
  terms.resize(out);
  terms.erase(std::remove_if(terms.begin(), terms.end(), [](const QTerm &t) { return t.value == 0.0; }), terms.end());
  ensure_qrows(m);
  m.qrows[row] = std::move(terms);
  m.touch();
}

void add_qobj(ModelStore &m, const char *fn, int64_t n, const int *c1, const int *c2, const double *v) {
  check_triplets(m, fn, n, c1, c2, v);
  if (n == 0) return;
  std::vector<std::vector<Entry>> q = m.qobj;
  if (q.empty()) q.resize(m.ncols());
  for (int64_t k = 0; k < n; ++k) {
    int i = c1[k], j = c2[k];
    set_sorted(q[i], j, get_sorted(q[i], j) + v[k]);
    if (i != j) set_sorted(q[j], i, get_sorted(q[j], i) + v[k]);
  }
  m.qobj = std::move(q);
  m.touch();
}

// ---- Deleting.

void del_cols(ModelStore &m, const char *fn, int n, const int *ind) {
  m.colentries.get();  // pending rows enter the columns before the row lists change
  std::vector<int> map = deletion_map(m.ncols(), n, ind, fn, "column");
  if (n == 0) return;
  for (auto &row : m.rowentries) remap_entries(row, map);
  compact(m.colentries.get(), map);
  compact(m.obj, map);
  for (auto &o : m.objn) compact(o, map);  // a shorter objective is compacted as far as it reaches
  compact(m.lb, map);
  compact(m.ub, map);
  compact(m.limit, map);
  compact(m.coltype, map);
  if (!m.qobj.empty()) {
    compact(m.qobj, map);
    for (auto &col : m.qobj) remap_entries(col, map);
  }
  for (auto &terms : m.qrows) {
    size_t out = 0;
    for (const QTerm &t : terms)
      if (map[t.col1] >= 0 && map[t.col2] >= 0) terms[out++] = QTerm{map[t.col1], map[t.col2], t.value};
    terms.resize(out);
  }
  for (size_t i = 0; i < m.indcol.size(); ++i)
    if (m.indcol[i] >= 0) {
      m.indcol[i] = map[m.indcol[i]];
      if (m.indcol[i] < 0) m.indcomp[i] = 0;
    }
  for (SosSet &s : m.sets) {
    size_t out = 0;
    for (size_t p = 0; p < s.cols.size(); ++p)
      if (map[s.cols[p]] >= 0) {
        s.cols[out] = map[s.cols[p]];
        s.weights[out] = s.weights[p];
        ++out;
      }
    s.cols.resize(out);
    s.weights.resize(out);
  }
  gencons_cols_deleted(m, map);
  m.colnames.remove(map);
  m.formulas.cols_deleted(map);
  m.marks.cols_deleted(map);
  m.touch();
}

void del_rows(ModelStore &m, const char *fn, int n, const int *ind) {
  m.colentries.get();  // pending rows enter the columns before the row lists change
  std::vector<int> map = deletion_map(m.nrows(), n, ind, fn, "row");
  if (n == 0) return;
  for (auto &col : m.colentries) remap_entries(col, map);
  compact(m.rowentries, map);
  compact(m.rowtype, map);
  compact(m.rhs, map);
  compact(m.range, map);
  compact(m.qrows, map);
  compact(m.indcol, map);
  compact(m.indcomp, map);
  m.rownames.remove(map);
  m.formulas.rows_deleted(map);
  m.marks.rows_deleted(map);
  m.touch();
}

void del_sets(ModelStore &m, const char *fn, int n, const int *ind) {
  std::vector<int> map = deletion_map(m.nsets(), n, ind, fn, "set");
  if (n == 0) return;
  compact(m.sets, map);
  m.setnames.remove(map);
  m.touch();
}

// ---- Changing.

void chg_bounds(ModelStore &m, const char *fn, int n, const int *ind, const char *type, const double *val) {
  check_count(n, fn, "count");
  if (n == 0) return;
  need(ind, fn, "the column array");
  need(type, fn, "the bound type array");
  need(val, fn, "the bound array");
  std::vector<double> v(n);
  for (int k = 0; k < n; ++k) {
    check_col(m, ind[k], fn);
    char t = type[k];
    if (t != 'U' && t != 'L' && t != 'B')
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: invalid bound type '%c' (expected U, L or B)", fn, t ? t : '?');
    v[k] = clamp_infinite(val[k], fn, "bound");
    if (m.coltype[ind[k]] == 'B' && (v[k] < 0.0 || v[k] > 1.0))
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: bound %g of binary column %d is outside [0, 1]", fn, v[k], ind[k]);
  }
  for (int k = 0; k < n; ++k) {
    if (type[k] != 'U') m.lb[ind[k]] = v[k];
    if (type[k] != 'L') m.ub[ind[k]] = v[k];
  }
  m.touch();
}

void chg_obj(ModelStore &m, const char *fn, int n, const int *ind, const double *val) {
  check_count(n, fn, "count");
  if (n == 0) return;
  need(ind, fn, "the column array");
  need(val, fn, "the coefficient array");
  for (int k = 0; k < n; ++k) {
    if (ind[k] != -1) check_col(m, ind[k], fn);
    check_finite(val[k], fn, "objective coefficient");
  }
  for (int k = 0; k < n; ++k) {
    if (ind[k] == -1)
      m.objconstant = -val[k];
    else
      m.obj[ind[k]] = val[k];
  }
  m.touch();
}

void chg_coefs(ModelStore &m, const char *fn, int n, const int *row, const int *col, const double *val) {
  m.colentries.get();  // pending rows enter the columns before the row lists change
  check_count(n, fn, "count");
  if (n == 0) return;
  need(row, fn, "the row array");
  need(col, fn, "the column array");
  need(val, fn, "the coefficient array");
  for (int k = 0; k < n; ++k) {
    check_row(m, row[k], fn);
    check_col(m, col[k], fn);
    check_finite(val[k], fn, "coefficient");
  }
  make_room(m.rowentries, n, row);
  make_room(m.colentries.get(), n, col);
  for (int k = 0; k < n; ++k) {
    set_sorted(m.rowentries[row[k]], col[k], val[k]);
    set_sorted(m.colentries[col[k]], row[k], val[k]);
  }
  m.touch();
}

void chg_rhs(ModelStore &m, const char *fn, int n, const int *ind, const double *val) {
  check_count(n, fn, "count");
  if (n == 0) return;
  need(ind, fn, "the row array");
  need(val, fn, "the right-hand side array");
  std::vector<double> v(n);
  for (int k = 0; k < n; ++k) {
    check_row(m, ind[k], fn);
    v[k] = clamp_infinite(val[k], fn, "right-hand side");
  }
  for (int k = 0; k < n; ++k) m.rhs[ind[k]] = v[k];
  m.touch();
}

void chg_rhsrange(ModelStore &m, const char *fn, int n, const int *ind, const double *val) {
  check_count(n, fn, "count");
  if (n == 0) return;
  need(ind, fn, "the row array");
  need(val, fn, "the range array");
  for (int k = 0; k < n; ++k) {
    check_row(m, ind[k], fn);
    check_finite(val[k], fn, "range");
    if (m.rowtype[ind[k]] == 'N') fail(KLVO_ERR_INVALID_ARGUMENT, "%s: row %d is free (type N) and cannot take a range", fn, ind[k]);
  }
  for (int k = 0; k < n; ++k) {
    int i = ind[k];
    double r = val[k], a = std::fabs(r);
    switch (m.rowtype[i]) {
      case 'G': m.rhs[i] = clamp_infinite(m.rhs[i] + a, fn, "right-hand side"); break;
      case 'E':
        if (r > 0) m.rhs[i] = clamp_infinite(m.rhs[i] + r, fn, "right-hand side");
        break;
      default: break;  // 'L' and 'R' keep the right-hand side as the upper end
    }
    m.rowtype[i] = 'R';
    m.range[i] = a;
  }
  m.touch();
}

void chg_rowtype(ModelStore &m, const char *fn, int n, const int *ind, const char *type) {
  check_count(n, fn, "count");
  if (n == 0) return;
  need(ind, fn, "the row array");
  need(type, fn, "the row type array");
  for (int k = 0; k < n; ++k) {
    check_row(m, ind[k], fn);
    check_row_type(type[k], fn);
  }
  for (int k = 0; k < n; ++k) {
    m.rowtype[ind[k]] = type[k];
    if (type[k] != 'R') m.range[ind[k]] = 0.0;
  }
  m.touch();
}

void chg_coltype(ModelStore &m, const char *fn, int n, const int *ind, const char *type) {
  check_count(n, fn, "count");
  if (n == 0) return;
  need(ind, fn, "the column array");
  need(type, fn, "the column type array");
  for (int k = 0; k < n; ++k) {
    check_col(m, ind[k], fn);
    check_col_type(type[k], fn);
  }
  for (int k = 0; k < n; ++k) {
    int j = ind[k];
    char t = type[k];
    if (t == 'B') {
      m.lb[j] = 0.0;
      m.ub[j] = 1.0;
    }
    if (t != m.coltype[j]) {
      if (t == 'S' || t == 'R') m.limit[j] = m.lb[j];
      else if (t == 'P') m.limit[j] = m.ub[j];
      else m.limit[j] = 0.0;
    }
    m.coltype[j] = t;
  }
  m.touch();
}

void chg_limit(ModelStore &m, const char *fn, int n, const int *ind, const double *val) {
  check_count(n, fn, "count");
  if (n == 0) return;
  need(ind, fn, "the column array");
  need(val, fn, "the limit array");
  std::vector<double> v(n);
  for (int k = 0; k < n; ++k) {
    check_col(m, ind[k], fn);
    char t = m.coltype[ind[k]];
    if (t != 'S' && t != 'R' && t != 'P')
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: column %d is of type '%c'; only S, R and P columns have a limit", fn, ind[k], t);
    v[k] = clamp_infinite(val[k], fn, "limit");
  }
  for (int k = 0; k < n; ++k) m.limit[ind[k]] = v[k];
  m.touch();
}

void chg_qobj(ModelStore &m, const char *fn, int64_t n, const int *c1, const int *c2, const double *v) {
  check_triplets(m, fn, n, c1, c2, v);
  if (n == 0) return;
  ensure_qobj(m);  // lists of nothing: the same Q whether or not what follows succeeds
  make_room(m.qobj, n, c1, c2);
  for (int64_t k = 0; k < n; ++k) {
    set_sorted(m.qobj[c1[k]], c2[k], v[k]);
    if (c1[k] != c2[k]) set_sorted(m.qobj[c2[k]], c1[k], v[k]);
  }
  m.touch();
}

void chg_qrow(ModelStore &m, const char *fn, int row, int c1, int c2, double v) {
  check_row(m, row, fn);
  check_triplets(m, fn, 1, &c1, &c2, &v);
  normalise_pair(c1, c2);
  ensure_qrows(m);
  grow_by(m.qrows[row], 1);
  set_qterm(m.qrows[row], c1, c2, v);
  m.touch();
}

void del_qrow(ModelStore &m, const char *fn, int row) {
  check_row(m, row, fn);
  if (!m.qrows.empty()) m.qrows[row].clear();
  m.touch();
}

void set_indicators(ModelStore &m, const char *fn, int n, const int *row, const int *col, const int *comp) {
  check_count(n, fn, "count");
  if (n == 0) return;
  need(row, fn, "the row array");
  need(col, fn, "the column array");
  for (int k = 0; k < n; ++k) {
    check_row(m, row[k], fn);
    int c = comp ? comp[k] : 1;
    if (c != -1 && c != 0 && c != 1)
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: invalid complement flag %d for row %d (expected -1, 0 or 1)", fn, c, row[k]);
    if (c == 0) continue;
    check_col(m, col[k], fn);
    char t = m.rowtype[row[k]];
    if (t != 'L' && t != 'G' && t != 'E')
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: row %d is of type '%c'; an indicator row must be of type L, G or E", fn,
           row[k], t);
  }
  ensure_indicators(m);
  for (int k = 0; k < n; ++k) {
    int c = comp ? comp[k] : 1;
    m.indcol[row[k]] = c == 0 ? -1 : col[k];
    m.indcomp[row[k]] = c;
  }
  m.touch();
}

void del_indicators(ModelStore &m, const char *fn, int first, int last) {
  check_range(first, last, m.nrows(), fn, "rows");
  if (m.indcol.empty()) return;
  for (int i = first; i <= last; ++i) {
    m.indcol[i] = -1;
    m.indcomp[i] = 0;
  }
  m.touch();
}

// ---- Single entries.

double get_coef(const ModelStore &m, int row, int col) {
  const auto &r = m.rowentries[row];
  const auto &c = m.colentries[col];
  return r.size() < c.size() ? get_sorted(r, col) : get_sorted(c, row);
}

double get_qobj(const ModelStore &m, int c1, int c2) { return m.qobj.empty() ? 0.0 : get_sorted(m.qobj[c1], c2); }

double get_qrow(const ModelStore &m, int row, int c1, int c2) {
  if (m.qrows.empty()) return 0.0;
  normalise_pair(c1, c2);
  const auto &list = m.qrows[row];
  auto it = std::lower_bound(list.begin(), list.end(), QTerm{c1, c2, 0.0}, qterm_less);
  return it != list.end() && it->col1 == c1 && it->col2 == c2 ? it->value : 0.0;
}

// ---- Names.

NameTable &names_of(ModelStore &m, int type, const char *fn) {
  switch (type) {
    case 1: return m.rownames;
    case 2: return m.colnames;
    case 3: return m.setnames;
    default: fail(KLVO_ERR_INVALID_ARGUMENT, "%s: invalid name type %d (1 rows, 2 columns, 3 sets)", fn, type);
  }
}

const NameTable &names_of(const ModelStore &m, int type, const char *fn) {
  return names_of(const_cast<ModelStore &>(m), type, fn);
}

int count_of(const ModelStore &m, int type) {
  return type == 1 ? m.nrows() : type == 2 ? m.ncols() : m.nsets();
}

std::string name_or_default(const ModelStore &m, int type, int index) {
  const NameTable &t = names_of(m, type, "name");
  if (index < t.size() && !t.get(index).empty()) return t.get(index);
  const char *prefix = type == 1 ? "R" : type == 2 ? "C" : "S";
  return prefix + std::to_string(index + 1);
}

}  // namespace klvo
