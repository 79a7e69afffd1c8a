#include "model/access.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "env/error.h"
#include "model/edit.h"

namespace klvo {

namespace {

// Fills a compressed block of lists first..last (each list sorted): *ncoefs gets the total,
// at most maxcoefs entries are written, start offsets are clipped to maxcoefs.
template <class Int, class List, class Get>
void copy_block(const List &lists, int first, int last, Int *start, int *index, double *value, int64_t maxcoefs,
                Int *ncoefs, const char *fn, Get get) {
  if (maxcoefs < 0 && (index || value)) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative maxcoefs", fn);
  int64_t total = 0;
  for (int k = first; k <= last; ++k) {
    if (start) start[k - first] = static_cast<Int>(std::min<int64_t>(total, std::max<int64_t>(maxcoefs, 0)));
    const auto &list = get(lists, k);
    for (const auto &e : list) {
      if (total < maxcoefs) {
        if (index) index[total] = e.index;
        if (value) value[total] = e.value;
      }
      ++total;
    }
  }
  if (start) start[last - first + 1] = static_cast<Int>(std::min<int64_t>(total, std::max<int64_t>(maxcoefs, 0)));
  if (ncoefs) *ncoefs = static_cast<Int>(total);
}

template <class T>
void copy_range(const std::vector<T> &src, T *dst, int first, int last, int count, const char *fn, const char *what) {
  require_arg(dst, fn, "the output array");
  check_range(first, last, count, fn, what);
  std::copy(src.begin() + first, src.begin() + last + 1, dst);
}

std::vector<std::string> split_names(const char *names, int count) {
  std::vector<std::string> out;
  out.reserve(count);
  const char *p = names;
  for (int k = 0; k < count; ++k) {
    size_t len = std::strlen(p);
    out.emplace_back(p, len);
    p += len + 1;
  }
  return out;
}

// The names of first..last, each followed by a NUL.
std::string joined_names(const ModelStore &m, int type, int first, int last, const char *fn) {
  names_of(m, type, fn);
  check_range(first, last, count_of(m, type), fn, "names");
  std::string out;
  for (int i = first; i <= last; ++i) {
    out += name_or_default(m, type, i);
    out.push_back('\0');
  }
  return out;
}

}  // namespace

void require_arg(const void *p, const char *fn, const char *what) {
  if (!p) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: %s must not be NULL", fn, what);
}

// ---- Per-column and per-row arrays.

void get_lb(const ModelStore &m, double *lb, int first, int last, const char *fn) {
  copy_range(m.lb, lb, first, last, m.ncols(), fn, "columns");
}

void get_ub(const ModelStore &m, double *ub, int first, int last, const char *fn) {
  copy_range(m.ub, ub, first, last, m.ncols(), fn, "columns");
}

void get_obj(const ModelStore &m, double *obj, int first, int last, const char *fn) {
  copy_range(m.obj, obj, first, last, m.ncols(), fn, "columns");
}

void get_rhs(const ModelStore &m, double *rhs, int first, int last, const char *fn) {
  copy_range(m.rhs, rhs, first, last, m.nrows(), fn, "rows");
}

void get_rhsrange(const ModelStore &m, double *range, int first, int last, const char *fn) {
  copy_range(m.range, range, first, last, m.nrows(), fn, "rows");
}

void get_rowtype(const ModelStore &m, char *rowtype, int first, int last, const char *fn) {
  copy_range(m.rowtype, rowtype, first, last, m.nrows(), fn, "rows");
}

void get_coltype(const ModelStore &m, char *coltype, int first, int last, const char *fn) {
  copy_range(m.coltype, coltype, first, last, m.ncols(), fn, "columns");
}

void get_indicators(const ModelStore &m, int *colind, int *complement, int first, int last, const char *fn) {
  check_range(first, last, m.nrows(), fn, "rows");
  for (int i = first; i <= last; ++i) {
    bool has = !m.indcol.empty() && m.indcomp[i] != 0;
    if (colind) colind[i - first] = has ? m.indcol[i] : -1;
    if (complement) complement[i - first] = has ? m.indcomp[i] : 0;
  }
}

// ---- Compressed blocks.

void get_cols(const ModelStore &m, int64_t *start, int *rowind, double *rowcoef, int64_t maxcoefs, int64_t *ncoefs,
              int first, int last, const char *fn) {
  check_range(first, last, m.ncols(), fn, "columns");
  copy_block(m.colentries.get(), first, last, start, rowind, rowcoef, maxcoefs, ncoefs, fn,
             [](const auto &l, int k) -> const auto & { return l[k]; });
}

void get_rows(const ModelStore &m, int64_t *start, int *colind, double *rowcoef, int64_t maxcoefs, int64_t *ncoefs,
              int first, int last, const char *fn) {
  check_range(first, last, m.nrows(), fn, "rows");
  copy_block(m.rowentries, first, last, start, colind, rowcoef, maxcoefs, ncoefs, fn,
             [](const auto &l, int k) -> const auto & { return l[k]; });
}

void get_mqobj(const ModelStore &m, int64_t *start, int *colind, double *objqcoef, int64_t maxcoefs,
               int64_t *ncoefs, int first, int last, const char *fn) {
  check_range(first, last, m.ncols(), fn, "columns");
  static const std::vector<Entry> none;
  copy_block(m.qobj, first, last, start, colind, objqcoef, maxcoefs, ncoefs, fn,
             [](const auto &l, int k) -> const std::vector<Entry> & { return l.empty() ? none : l[k]; });
}

// 32-bit forms: the block must fit the offsets before anything is written.
template <class List, class Get>
static void check_block_fits(const List &lists, int first, int last, const char *fn, Get get) {
  int64_t total = 0;
  for (int k = first; k <= last; ++k) total += static_cast<int64_t>(get(lists, k).size());
  if (total > INT_MAX)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: %lld entries are more than 32-bit offsets hold", fn,
         static_cast<long long>(total));
}

void get_rows(const ModelStore &m, int *start, int *colind, double *rowcoef, int maxcoefs, int *ncoefs, int first,
              int last, const char *fn) {
  check_range(first, last, m.nrows(), fn, "rows");
  auto get = [](const auto &l, int k) -> const auto & { return l[k]; };
  check_block_fits(m.rowentries, first, last, fn, get);
  copy_block(m.rowentries, first, last, start, colind, rowcoef, maxcoefs, ncoefs, fn, get);
}

void get_mqobj(const ModelStore &m, int *start, int *colind, double *objqcoef, int maxcoefs, int *ncoefs, int first,
               int last, const char *fn) {
  check_range(first, last, m.ncols(), fn, "columns");
  static const std::vector<Entry> none;
  auto get = [](const auto &l, int k) -> const std::vector<Entry> & { return l.empty() ? none : l[k]; };
  check_block_fits(m.qobj, first, last, fn, get);
  copy_block(m.qobj, first, last, start, colind, objqcoef, maxcoefs, ncoefs, fn, get);
}

void get_qrow_matrix(const ModelStore &m, int row, int *start, int *colind, double *rowqcoef, int maxcoefs,
                     int *ncoefs, int first, int last, const char *fn) {
  check_row(m, row, fn);
  check_range(first, last, m.ncols(), fn, "columns");
  // Expand the upper triangle into full columns first..last.
  std::vector<std::vector<Entry>> cols(last - first + 1);
  if (!m.qrows.empty())
    for (const QTerm &t : m.qrows[row]) {
      if (t.col2 >= first && t.col2 <= last) cols[t.col2 - first].push_back({t.col1, t.value});
      if (t.col1 != t.col2 && t.col1 >= first && t.col1 <= last) cols[t.col1 - first].push_back({t.col2, t.value});
    }
  for (auto &c : cols)
    std::sort(c.begin(), c.end(), [](const Entry &a, const Entry &b) { return a.index < b.index; });
  copy_block(cols, 0, last - first, start, colind, rowqcoef, maxcoefs, ncoefs, fn,
             [](const auto &l, int k) -> const auto & { return l[k]; });
}

void get_qrow_triplets(const ModelStore &m, int row, int *nqelem, int *col1, int *col2, double *coef, const char *fn) {
  check_row(m, row, fn);
  require_arg(nqelem, fn, "nqelem");
  static const std::vector<QTerm> none;
  const auto &terms = m.qrows.empty() ? none : m.qrows[row];
  *nqelem = static_cast<int>(terms.size());
  for (size_t k = 0; k < terms.size(); ++k) {
    if (col1) col1[k] = terms[k].col1;
    if (col2) col2[k] = terms[k].col2;
    if (coef) coef[k] = terms[k].value;
  }
}

void get_qrows(const ModelStore &m, int *nrows, int *rowind, const char *fn) {
  require_arg(nrows, fn, "nrows");
  int n = 0;
  for (int i = 0; i < static_cast<int>(m.qrows.size()); ++i)
    if (!m.qrows[i].empty()) {
      if (rowind) rowind[n] = i;
      ++n;
    }
  *nrows = n;
}

void get_mip_entities(const ModelStore &m, int *nentities, int *nsets, char *coltype, int *colind, double *limit,
                      char *settype, int64_t *start, int *setcols, double *refval) {
  int n = 0;
  for (int j = 0; j < m.ncols(); ++j) {
    char t = m.coltype[j];
    if (t == 'C') continue;
    if (coltype) coltype[n] = t;
    if (colind) colind[n] = j;
    if (limit) limit[n] = (t == 'S' || t == 'R' || t == 'P') ? m.limit[j] : 0.0;
    ++n;
  }
  if (nentities) *nentities = n;
  if (nsets) *nsets = m.nsets();
  int64_t offset = 0;
  for (int k = 0; k < m.nsets(); ++k) {
    const SosSet &s = m.sets[k];
    if (settype) settype[k] = s.type;
    if (start) start[k] = offset;
    for (size_t p = 0; p < s.cols.size(); ++p, ++offset) {
      if (setcols) setcols[offset] = s.cols[p];
      if (refval) refval[offset] = s.weights[p];
    }
  }
  if (start) start[m.nsets()] = offset;
}

// ---- Single entries.

double get_coef_checked(const ModelStore &m, int row, int col, const char *fn) {
  check_row(m, row, fn);
  check_col(m, col, fn);
  return get_coef(m, row, col);
}

double get_qobj_checked(const ModelStore &m, int col1, int col2, const char *fn) {
  check_col(m, col1, fn);
  check_col(m, col2, fn);
  return get_qobj(m, col1, col2);
}

double get_qrow_checked(const ModelStore &m, int row, int col1, int col2, const char *fn) {
  check_row(m, row, fn);
  check_col(m, col1, fn);
  check_col(m, col2, fn);
  return get_qrow(m, row, col1, col2);
}

// ---- Names.

void add_names(ModelStore &m, int type, const char *names, int first, int last, const char *fn) {
  NameTable &table = names_of(m, type, fn);
  check_range(first, last, count_of(m, type), fn, "names");
  require_arg(names, fn, "names");
  table.assign(first, split_names(names, last - first + 1));
  m.touch();
}

void get_names(const ModelStore &m, int type, char *names, int first, int last, const char *fn) {
  require_arg(names, fn, "names");
  std::string text = joined_names(m, type, first, last, fn);
  std::memcpy(names, text.data(), text.size());
}

void get_name_list(const ModelStore &m, int type, char *names, int names_len, int *names_len_reqd, int first,
                   int last, const char *fn) {
  std::string text = joined_names(m, type, first, last, fn);
  if (names_len_reqd) *names_len_reqd = static_cast<int>(text.size());
  if (!names) return;
  if (names_len < static_cast<int>(text.size()))
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the buffer holds %d bytes but the names need %d", fn, names_len,
         static_cast<int>(text.size()));
  std::memcpy(names, text.data(), text.size());
}

const char *get_name_pointer(const ModelStore &m, int type, int index, const char *fn) {
  const NameTable &table = names_of(m, type, fn);
  check_range(index, index, count_of(m, type), fn, "names");
  const std::string &s = table.get(index);
  return s.empty() ? nullptr : s.c_str();
}

int get_index(const ModelStore &m, int type, const char *name, const char *fn) {
  require_arg(name, fn, "name");
  return names_of(m, type, fn).find(name);
}

// ---- The model as a whole.

void chg_objsense(ModelStore &m, int objsense, const char *fn) {
  if (objsense != 1 && objsense != -1)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: invalid sense %d (1 minimise, -1 maximise)", fn, objsense);
  m.objsense = objsense;
  m.touch();
}

void set_probname(ModelStore &m, const char *probname, const char *fn) {
  require_arg(probname, fn, "probname");
  m.name = probname;
  m.touch();
}

void get_probname(const ModelStore &m, char *probname, const char *fn) {
  require_arg(probname, fn, "probname");
  std::memcpy(probname, m.name.c_str(), m.name.size() + 1);
}

void copy_model(ModelStore &dest, const ModelStore *src, const char *probname, const char *fn) {
  if (!src) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null source problem", fn);
  if (src == &dest) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: source and destination are the same problem", fn);
  ModelStore copy = *src;
  if (probname && *probname) copy.name = probname;
  // Formulas may call user functions of the source's nonlinear layer: they are copied with
  // the layer (KSLPcopyprob), and the destination keeps its own until then.
  copy.formulas = std::move(dest.formulas);
  copy.revision = dest.revision + 1;
  std::swap(dest, copy);
}

}  // namespace klvo
