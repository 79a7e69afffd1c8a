#include "model/marks.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <vector>

#include "env/error.h"
#include "model/array_sizes.h"
#include "model/edit.h"
#include "model/store.h"

namespace klvo {

namespace {

void remap_sorted(std::vector<int> &v, const std::vector<int> &map) {
  size_t out = 0;
  for (int i : v)
    if (map[i] >= 0) v[out++] = map[i];
  v.resize(out);
}

void remap_factors(std::vector<double> &v, const std::vector<int> &map) {
  size_t out = 0;
  for (size_t i = 0; i < v.size() && i < map.size(); ++i)
    if (map[i] >= 0) v[out++] = v[i];
  v.resize(out);
}

// Distinct, checked indices, sorted.
std::vector<int> index_set(const ModelStore &m, int n, const int *ind, bool rows, const char *fn, const char *what) {
  if (n < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative count %d", fn, n);
  if (n > 0 && !ind) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null %s array", fn, what);
  std::vector<int> out(ind, ind + n);
  for (int i : out) rows ? check_row(m, i, fn) : check_col(m, i, fn);
  std::sort(out.begin(), out.end());
  auto dup = std::adjacent_find(out.begin(), out.end());
  if (dup != out.end())
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: %s %d is listed twice", fn, rows ? "row" : "column", *dup);
  return out;
}

}  // namespace

void ModelMarks::rows_deleted(const std::vector<int> &map) {
  remap_sorted(delayed, map);
  remap_sorted(modelcuts, map);
  remap_sorted(securerows, map);
  remap_factors(rowscale, map);
}

void ModelMarks::cols_deleted(const std::vector<int> &map) {
  std::map<int, Directive> kept;
  for (const auto &[col, d] : dirs)
    if (map[col] >= 0) kept.emplace_hint(kept.end(), map[col], d);
  dirs = std::move(kept);
  remap_sorted(securecols, map);
  remap_factors(colscale, map);
}

void check_directive(const Directive &d, const char *fn) {
  if (d.priority < 0 || d.priority > 1000)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: priority %d is outside 0..1000", fn, d.priority);
  if (d.dir != 'U' && d.dir != 'D' && d.dir != 'N')
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: invalid branching direction '%c' (expected U, D or N)", fn,
         d.dir ? d.dir : '?');
  if (!(d.uppseudo >= 0.0) || !(d.downpseudo >= 0.0) || !std::isfinite(d.uppseudo) || !std::isfinite(d.downpseudo))
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: pseudo-costs must be finite and non-negative", fn);
}

void set_dirs(ModelStore &m, std::map<int, Directive> dirs, const char *fn) {
  for (const auto &[col, d] : dirs) {
    check_col(m, col, fn);
    check_directive(d, fn);
  }
  m.marks.dirs = std::move(dirs);
  m.touch();
}

void load_dirs(ModelStore &m, int n, const int *colind, const int *priority, const char *dir, const double *up,
               const double *down, const char *fn) {
  index_set(m, n, colind, false, fn, "column");
  std::map<int, Directive> dirs;
  for (int k = 0; k < n; ++k) {
    Directive d;
    if (priority) d.priority = priority[k];
    if (dir) d.dir = static_cast<char>(std::toupper(static_cast<unsigned char>(dir[k])));
    if (up) d.uppseudo = up[k];
    if (down) d.downpseudo = down[k];
    dirs[colind[k]] = d;
  }
  set_dirs(m, std::move(dirs), fn);
}

void load_branch_dirs(ModelStore &m, int n, const int *colind, const int *dir, const char *fn) {
  index_set(m, n, colind, false, fn, "column");
  std::map<int, Directive> dirs;
  for (int k = 0; k < n; ++k) {
    Directive d;
    if (dir) d.dir = dir[k] > 0 ? 'U' : dir[k] < 0 ? 'D' : 'N';
    dirs[colind[k]] = d;
  }
  set_dirs(m, std::move(dirs), fn);
}

void get_dirs(const ModelStore &m, int *n, int *colind, int *priority, char *dir, double *up, double *down,
              const char *fn) {
  if (!n) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null count pointer", fn);
  *n = static_cast<int>(m.marks.dirs.size());
  int k = 0;
  for (const auto &[col, d] : m.marks.dirs) {
    if (colind) colind[k] = col;
    if (priority) priority[k] = d.priority;
    if (dir) dir[k] = d.dir;
    if (up) up[k] = d.uppseudo;
    if (down) down[k] = d.downpseudo;
    ++k;
  }
}

void load_row_marks(ModelStore &m, char which, int n, const int *rowind, const char *fn) {
  std::vector<int> rows = index_set(m, n, rowind, true, fn, "row");
  const std::vector<int> &other = which == 'd' ? m.marks.modelcuts : m.marks.delayed;
  for (int i : rows)
    if (std::binary_search(other.begin(), other.end(), i))
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: row %d is already a %s", fn, i, which == 'd' ? "model cut" : "delayed row");
  (which == 'd' ? m.marks.delayed : m.marks.modelcuts) = std::move(rows);
  m.touch();
}

void get_row_marks(const ModelStore &m, char which, int *n, int *rowind, const char *fn) {
  if (!n) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null count pointer", fn);
  const std::vector<int> &v = which == 'd' ? m.marks.delayed : m.marks.modelcuts;
  *n = static_cast<int>(v.size());
  if (rowind) std::copy(v.begin(), v.end(), rowind);
}

void load_secure(ModelStore &m, int nrows, int ncols, const int *rowind, const int *colind, const char *fn) {
  std::vector<int> rows = index_set(m, nrows, rowind, true, fn, "row");
  std::vector<int> cols = index_set(m, ncols, colind, false, fn, "column");
  m.marks.securerows = std::move(rows);
  m.marks.securecols = std::move(cols);
  m.touch();
}

void get_secure(const ModelStore &m, int *nrows, int *rowind, int *ncols, int *colind, const char *fn) {
  if (!nrows || !ncols) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null count pointer", fn);
  *nrows = static_cast<int>(m.marks.securerows.size());
  *ncols = static_cast<int>(m.marks.securecols.size());
  if (rowind) std::copy(m.marks.securerows.begin(), m.marks.securerows.end(), rowind);
  if (colind) std::copy(m.marks.securecols.begin(), m.marks.securecols.end(), colind);
}

void set_scale(ModelStore &m, const double *rowscale, const double *colscale, const char *fn) {
  auto factors = [fn](const double *f, int n, const char *kind) {
    std::vector<double> out;
    if (!f) return out;
    for (int k = 0; k < n; ++k)
      if (!std::isfinite(f[k]) || !(f[k] > 0.0))
        fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the %s scale factor %d is %g; factors must be finite and positive", fn,
             kind, k, f[k]);
    // Trailing ones are implied.
    while (n > 0 && f[n - 1] == 1.0) --n;
    out.assign(f, f + n);
    return out;
  };
  std::vector<double> rows = factors(rowscale, m.nrows(), "row");
  std::vector<double> cols = factors(colscale, m.ncols(), "column");
  m.marks.rowscale = std::move(rows);
  m.marks.colscale = std::move(cols);
  m.touch();
}

void get_scale(const ModelStore &m, double *rowscale, double *colscale) {
  if (rowscale)
    for (int i = 0; i < m.nrows(); ++i) rowscale[i] = m.marks.row_factor(i);
  if (colscale)
    for (int j = 0; j < m.ncols(); ++j) colscale[j] = m.marks.col_factor(j);
}

void get_scale_exponents(const ModelStore &m, int *rowscale, int rowscale_size, int *colscale, int colscale_size,
                         const char *fn) {
  if (rowscale || rowscale_size) check_array_size(rowscale_size, m.nrows(), "rowscale", fn);
  if (colscale || colscale_size) check_array_size(colscale_size, m.ncols(), "colscale", fn);
  std::vector<double> rows(rowscale ? m.nrows() : 0), cols(colscale ? m.ncols() : 0);
  get_scale(m, rowscale ? rows.data() : nullptr, colscale ? cols.data() : nullptr);
  for (size_t i = 0; i < rows.size(); ++i) rowscale[i] = std::ilogb(rows[i]);
  for (size_t j = 0; j < cols.size(); ++j) colscale[j] = std::ilogb(cols[j]);
}

}  // namespace klvo
