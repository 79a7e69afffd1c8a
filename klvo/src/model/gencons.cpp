// General and piecewise-linear constraints: adding, reading back, deleting, and following
// column deletions.
#include "model/gencons.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "env/error.h"

namespace klvo {

namespace {

const char *const kTypeNames[] = {"max", "min", "and", "or", "abs"};
constexpr int kTypes = 5;

void check_operand_range(const SparseBlock &b, int k, const char *fn, const char *what) {
  int64_t lo = b.begin(k), hi = b.end(k);
  if (lo < 0 || hi < lo || hi > b.nentries)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the %s start array gives constraint %d entries %lld..%lld, outside 0..%lld",
         fn, what, k, static_cast<long long>(lo), static_cast<long long>(hi) - 1,
         static_cast<long long>(b.nentries) - 1);
}

void check_counts(const SparseBlock &b, const char *fn, const char *what) {
  if (b.nentries < 0)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative %s count (%lld)", fn, what, static_cast<long long>(b.nentries));
  if (b.nentries > 0 && !b.start) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the %s start array must not be NULL", fn, what);
}

// Old index -> new index (-1 for deleted), refusing repeats and bad indices.
std::vector<int> removal_map(int count, int n, const int *ind, const char *fn, const char *what) {
  if (n < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative count (%d)", fn, n);
  if (n > 0 && !ind) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the index array must not be NULL", fn);
  std::vector<int> map(count, 0);
  for (int k = 0; k < n; ++k) {
    int i = ind[k];
    if (i < 0 || i >= count)
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: %s index %d out of range (the problem has %d)", fn, what, i, count);
    if (map[i] < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: %s index %d is listed twice", fn, what, i);
    map[i] = -1;
  }
  return map;
}

template <class T>
void erase_marked(std::vector<T> &v, const std::vector<int> &map) {
  size_t out = 0;
  for (size_t i = 0; i < v.size(); ++i)
    if (map[i] >= 0) {
      if (out != i) v[out] = std::move(v[i]);
      ++out;
    }
  v.resize(out);
}

void check_first_last(int first, int last, int count, const char *fn, const char *what) {
  if (first < 0 || last >= count || first > last)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: invalid range %d..%d of %s (the problem has %d)", fn, first, last, what,
         count);
}

}  // namespace

const char *gencons_type_name(int type) { return type >= 0 && type < kTypes ? kTypeNames[type] : nullptr; }

int gencons_type_code(const std::string &name) {
  std::string w = name;
  for (char &c : w) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (int t = 0; t < kTypes; ++t)
    if (w == kTypeNames[t]) return t;
  return -1;
}

void check_gencons(const ModelStore &m, const GenCons &g, int k, const char *fn) {
  const char *name = gencons_type_name(g.type);
  if (!name)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: general constraint %d has the unknown type %d (expected 0 max, 1 min, 2 and, "
         "3 or, 4 abs)", fn, k, g.type);
  check_col(m, g.resultant, fn);
  for (int j : g.cols) check_col(m, j, fn);
  for (double v : g.vals)
    if (!std::isfinite(v) || std::fabs(v) >= 1e20)
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: general constraint %d has the operand %g, which is not a finite number",
           fn, k, v);
  switch (g.type) {
    case KLVO_GENCONS_MAX:
    case KLVO_GENCONS_MIN:
      if (g.cols.empty() && g.vals.empty())
        fail(KLVO_ERR_INVALID_ARGUMENT, "%s: general constraint %d (%s) has no operand", fn, k, name);
      break;
    case KLVO_GENCONS_AND:
    case KLVO_GENCONS_OR:
      if (g.cols.empty() || !g.vals.empty())
        fail(KLVO_ERR_INVALID_ARGUMENT, "%s: general constraint %d (%s) needs at least one column and no values", fn, k,
             name);
      break;
    case KLVO_GENCONS_ABS:
      if (g.cols.size() != 1 || !g.vals.empty())
        fail(KLVO_ERR_INVALID_ARGUMENT, "%s: general constraint %d (abs) needs exactly one column and no values", fn,
             k);
      break;
  }
}

void check_pwlcons(const ModelStore &m, const PwlCons &c, int k, const char *fn) {
  check_col(m, c.col, fn);
  check_col(m, c.resultant, fn);
  if (c.x.size() < 2)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: piecewise-linear constraint %d has %d breakpoint(s); it needs at least two",
         fn, k, static_cast<int>(c.x.size()));
  for (size_t p = 0; p < c.x.size(); ++p) {
    if (!std::isfinite(c.x[p]) || !std::isfinite(c.y[p]) || std::fabs(c.x[p]) >= 1e20 || std::fabs(c.y[p]) >= 1e20)
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: breakpoint %d of piecewise-linear constraint %d is not finite", fn,
           static_cast<int>(p), k);
    if (p > 0 && c.x[p] < c.x[p - 1])
      fail(KLVO_ERR_INVALID_ARGUMENT,
           "%s: the breakpoints of piecewise-linear constraint %d decrease in x (%g after %g)", fn, k, c.x[p],
           c.x[p - 1]);
    // A jump is two points at one abscissa; a third one there would leave the value open.
    if (p > 1 && c.x[p] == c.x[p - 1] && c.x[p] == c.x[p - 2])
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: piecewise-linear constraint %d has three breakpoints at x = %g", fn, k,
           c.x[p]);
  }
}

void add_gencons(ModelStore &m, const char *fn, const int *type, const int *resultant, const SparseBlock &cols,
                 const SparseBlock &vals) {
  const int n = cols.count;
  if (n < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative constraint count (%d)", fn, n);
  if (n == 0) return;
  if (!type || !resultant)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the type and resultant arrays must not be NULL", fn);
  check_counts(cols, fn, "column");
  check_counts(vals, fn, "value");
  if (cols.nentries > 0 && !cols.index) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the column array must not be NULL", fn);
  if (vals.nentries > 0 && !vals.value) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the value array must not be NULL", fn);
  std::vector<GenCons> added(n);
  for (int k = 0; k < n; ++k) {
    GenCons &g = added[k];
    g.type = type[k];
    g.resultant = resultant[k];
    if (cols.start) {
      check_operand_range(cols, k, fn, "column");
      g.cols.assign(cols.index + cols.begin(k), cols.index + cols.end(k));
    }
    if (vals.start) {
      check_operand_range(vals, k, fn, "value");
      g.vals.assign(vals.value + vals.begin(k), vals.value + vals.end(k));
    }
    check_gencons(m, g, static_cast<int>(m.gencons.size()) + k, fn);
  }
  m.gencons.insert(m.gencons.end(), std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
  m.touch();
}

void get_gencons(const ModelStore &m, int *type, int *resultant, int64_t *colstart, int *colind, int64_t maxcols,
                 int64_t *ncols, int64_t *valstart, double *val, int64_t maxvals, int64_t *nvals, int first, int last,
                 const char *fn) {
  check_first_last(first, last, static_cast<int>(m.gencons.size()), fn, "general constraints");
  if ((colind && maxcols < 0) || (val && maxvals < 0))
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative array size", fn);
  int64_t nc = 0, nv = 0;
  for (int k = first; k <= last; ++k) {
    const GenCons &g = m.gencons[k];
    if (type) type[k - first] = g.type;
    if (resultant) resultant[k - first] = g.resultant;
    if (colstart) colstart[k - first] = std::min(nc, maxcols);
    if (valstart) valstart[k - first] = std::min(nv, maxvals);
    for (int j : g.cols) {
      if (colind && nc < maxcols) colind[nc] = j;
      ++nc;
    }
    for (double v : g.vals) {
      if (val && nv < maxvals) val[nv] = v;
      ++nv;
    }
  }
  if (colstart) colstart[last - first + 1] = std::min(nc, maxcols);
  if (valstart) valstart[last - first + 1] = std::min(nv, maxvals);
  if (ncols) *ncols = nc;
  if (nvals) *nvals = nv;
}

void del_gencons(ModelStore &m, const char *fn, int n, const int *ind) {
  std::vector<int> map = removal_map(static_cast<int>(m.gencons.size()), n, ind, fn, "general constraint");
  if (n == 0) return;
  erase_marked(m.gencons, map);
  m.touch();
}

void add_pwlcons(ModelStore &m, const char *fn, const int *col, const int *resultant, const SparseBlock &points,
                 const double *y) {
  const int n = points.count;
  if (n < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative constraint count (%d)", fn, n);
  if (n == 0) return;
  if (!col || !resultant) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the column and resultant arrays must not be NULL", fn);
  check_counts(points, fn, "breakpoint");
  if (points.nentries > 0 && (!points.value || !y))
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the breakpoint arrays must not be NULL", fn);
  std::vector<PwlCons> added(n);
  for (int k = 0; k < n; ++k) {
    PwlCons &c = added[k];
    c.col = col[k];
    c.resultant = resultant[k];
    if (points.start) {
      check_operand_range(points, k, fn, "breakpoint");
      c.x.assign(points.value + points.begin(k), points.value + points.end(k));
      c.y.assign(y + points.begin(k), y + points.end(k));
    }
    check_pwlcons(m, c, static_cast<int>(m.pwlcons.size()) + k, fn);
  }
  m.pwlcons.insert(m.pwlcons.end(), std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
  m.touch();
}

void get_pwlcons(const ModelStore &m, int *col, int *resultant, int64_t *start, double *x, double *y,
                 int64_t maxpoints, int64_t *npoints, int first, int last, const char *fn) {
  check_first_last(first, last, static_cast<int>(m.pwlcons.size()), fn, "piecewise-linear constraints");
  if ((x || y) && maxpoints < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative array size", fn);
  int64_t np = 0;
  for (int k = first; k <= last; ++k) {
    const PwlCons &c = m.pwlcons[k];
    if (col) col[k - first] = c.col;
    if (resultant) resultant[k - first] = c.resultant;
    if (start) start[k - first] = std::min(np, maxpoints);
    for (size_t p = 0; p < c.x.size(); ++p, ++np)
      if (np < maxpoints) {
        if (x) x[np] = c.x[p];
        if (y) y[np] = c.y[p];
      }
  }
  if (start) start[last - first + 1] = std::min(np, maxpoints);
  if (npoints) *npoints = np;
}

void del_pwlcons(ModelStore &m, const char *fn, int n, const int *ind) {
  std::vector<int> map = removal_map(static_cast<int>(m.pwlcons.size()), n, ind, fn, "piecewise-linear constraint");
  if (n == 0) return;
  erase_marked(m.pwlcons, map);
  m.touch();
}

void gencons_cols_deleted(ModelStore &m, const std::vector<int> &map) {
  auto gone = [&](int j) { return map[j] < 0; };
  m.gencons.erase(std::remove_if(m.gencons.begin(), m.gencons.end(),
                                 [&](const GenCons &g) {
                                   return gone(g.resultant) || std::any_of(g.cols.begin(), g.cols.end(), gone);
                                 }),
                  m.gencons.end());
  for (GenCons &g : m.gencons) {
    g.resultant = map[g.resultant];
    for (int &j : g.cols) j = map[j];
  }
  m.pwlcons.erase(std::remove_if(m.pwlcons.begin(), m.pwlcons.end(),
                                 [&](const PwlCons &c) { return gone(c.col) || gone(c.resultant); }),
                  m.pwlcons.end());
  for (PwlCons &c : m.pwlcons) {
    c.col = map[c.col];
    c.resultant = map[c.resultant];
  }
}

}  // namespace klvo
