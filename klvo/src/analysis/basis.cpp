// Bases and the basis matrix, read from and loaded into the problem's HiGHS instance.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <vector>

#include "analysis/analysis.h"
#include "analysis/engine_access.h"
#include "io/problem_file.h"
#include "model/edit.h"

namespace klvo {

namespace {

// Our statuses against HiGHS's. A row's status is that of its slack (rhs - activity), so a row
// whose activity sits at its lower limit has its slack at the slack's upper bound.
int from_highs_col(HighsInt s) {
  switch (s) {
    case kHighsBasisStatusLower: return KLVO_BASIS_LOWER;
    case kHighsBasisStatusBasic: return KLVO_BASIS_BASIC;
    case kHighsBasisStatusUpper: return KLVO_BASIS_UPPER;
    default: return KLVO_BASIS_FREE;
  }
}
int from_highs_row(HighsInt s) {
  switch (s) {
    case kHighsBasisStatusLower: return KLVO_BASIS_UPPER;
    case kHighsBasisStatusBasic: return KLVO_BASIS_BASIC;
    case kHighsBasisStatusUpper: return KLVO_BASIS_LOWER;
    default: return KLVO_BASIS_FREE;
  }
}
HighsInt to_highs_col(int s) {
  static const HighsInt map[] = {kHighsBasisStatusLower, kHighsBasisStatusBasic, kHighsBasisStatusUpper,
                                 kHighsBasisStatusZero};
  return map[s];
}
HighsInt to_highs_row(int s) {
  static const HighsInt map[] = {kHighsBasisStatusUpper, kHighsBasisStatusBasic, kHighsBasisStatusLower,
                                 kHighsBasisStatusZero};
  return map[s];
}

const char *const status_words[] = {"LL", "BS", "UL", "FR"};

struct Basis {
  std::vector<int> rows, cols;
};

Basis current_basis(Problem &prob, const char *fn) {
  HighsEngine &e = engine_with_basis(prob, false, fn);
  std::vector<HighsInt> colst(prob.model.ncols()), rowst(prob.model.nrows());
  if (Highs_getBasis(e.instance(), colst.data(), rowst.data()) != kHighsStatusOk)
    fail(KLVO_ERR_ENGINE, "%s: HiGHS could not return its basis", fn);
  Basis b;
  b.rows.resize(rowst.size());
  b.cols.resize(colst.size());
  std::transform(rowst.begin(), rowst.end(), b.rows.begin(), from_highs_row);
  std::transform(colst.begin(), colst.end(), b.cols.begin(), from_highs_col);
  return b;
}

// The basic variables in pivot order, as combined indices.
std::vector<int> pivot_order(Problem &prob, const char *fn) {
  HighsEngine &e = engine_with_basis(prob, true, fn);
  int rows = prob.model.nrows();
  std::vector<HighsInt> basic(rows);
  if (rows && Highs_getBasicVariables(e.instance(), basic.data()) != kHighsStatusOk)
    fail(KLVO_ERR_ENGINE, "%s: HiGHS could not factor the basis", fn);
  std::vector<int> order(rows);
  for (int k = 0; k < rows; ++k) order[k] = basic[k] >= 0 ? rows + basic[k] : -basic[k] - 1;
  return order;
}

}  // namespace

void require_no_flags(const char *flags, const char *fn) {
  if (flags && *flags) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: unknown flags \"%s\" (no flags are defined)", fn, flags);
}

void get_basis(Problem &prob, int *rowstat, int *colstat, const char *fn) {
  Basis b = current_basis(prob, fn);
  if (rowstat) std::copy(b.rows.begin(), b.rows.end(), rowstat);
  if (colstat) std::copy(b.cols.begin(), b.cols.end(), colstat);
}

void get_basis_val(Problem &prob, int row, int col, int *rowstat, int *colstat, const char *fn) {
  if (row >= prob.model.nrows() || col >= prob.model.ncols())
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: %s %d is outside the problem", fn, row >= prob.model.nrows() ? "row" : "column",
         row >= prob.model.nrows() ? row : col);
  if ((row >= 0 && !rowstat) || (col >= 0 && !colstat)) require_out(nullptr, fn);
  Basis b = current_basis(prob, fn);
  if (row >= 0) *rowstat = b.rows[row];
  if (col >= 0) *colstat = b.cols[col];
}

void load_basis(Problem &prob, const int *rowstat, const int *colstat, const char *fn) {
  const ModelStore &m = prob.model;
  if ((m.nrows() && !rowstat) || (m.ncols() && !colstat))
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: both the row and the column statuses are required", fn);
  int basic = 0;
  for (int i = 0; i < m.nrows(); ++i) {
    if (rowstat[i] < 0 || rowstat[i] > 3)
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: status %d of row %d is not 0, 1, 2 or 3", fn, rowstat[i], i);
    basic += rowstat[i] == KLVO_BASIS_BASIC;
  }
  for (int j = 0; j < m.ncols(); ++j) {
    if (colstat[j] < 0 || colstat[j] > 3)
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: status %d of column %d is not 0, 1, 2 or 3", fn, colstat[j], j);
    basic += colstat[j] == KLVO_BASIS_BASIC;
  }
  if (basic != m.nrows())
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the basis has %d basic rows and columns; it needs one per row (%d)", fn,
         basic, m.nrows());
  std::vector<HighsInt> rowst(m.nrows()), colst(m.ncols());
  std::transform(rowstat, rowstat + m.nrows(), rowst.begin(), to_highs_row);
  std::transform(colstat, colstat + m.ncols(), colst.begin(), to_highs_col);
  HighsEngine &e = loaded_engine(prob);
  if (Highs_setBasis(e.instance(), colst.data(), rowst.data()) == kHighsStatusError)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: HiGHS refused the basis", fn);
}

void write_basis(Problem &prob, const char *filename, const char *flags, const char *fn) {
  require_no_flags(flags, fn);
  Basis b = current_basis(prob, fn);
  const ModelStore &m = prob.model;
  std::string path = filename && *filename ? filename : (m.name.empty() ? "noname" : m.name) + ".bss";
  std::ostringstream out;
  out << "KLVOBASIS " << m.nrows() << ' ' << m.ncols() << '\n';
  for (int i = 0; i < m.nrows(); ++i) {
    out << "R " << i << ' ' << status_words[b.rows[i]];
    if (!m.rownames.get(i).empty()) out << ' ' << m.rownames.get(i);
    out << '\n';
  }
  for (int j = 0; j < m.ncols(); ++j) {
    out << "C " << j << ' ' << status_words[b.cols[j]];
    if (!m.colnames.get(j).empty()) out << ' ' << m.colnames.get(j);
    out << '\n';
  }
  write_text_file(path, out.str(), fn);
}

void read_basis(Problem &prob, const char *filename, const char *flags, const char *fn) {
  require_no_flags(flags, fn);
  if (!filename || !*filename) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: no file name", fn);
  std::ifstream in(filename);
  if (!in) fail(KLVO_ERR_FILE, "%s: cannot open \"%s\"", fn, filename);
  const ModelStore &m = prob.model;
  std::string line, word;
  int lineno = 1, rows = -1, cols = -1;
  if (!std::getline(in, line) || !(std::istringstream(line) >> word >> rows >> cols) || word != "KLVOBASIS")
    fail(KLVO_ERR_FILE, "%s: \"%s\" line 1: not a basis file (expected \"KLVOBASIS <rows> <cols>\")", fn, filename);
  if (rows != m.nrows() || cols != m.ncols())
    fail(KLVO_ERR_FILE, "%s: \"%s\" holds a basis for %d rows and %d columns; the problem has %d and %d", fn,
         filename, rows, cols, m.nrows(), m.ncols());
  std::vector<int> rowstat(rows, -1), colstat(cols, -1);
  while (std::getline(in, line)) {
    ++lineno;
    std::istringstream fields(line);
    std::string kind, status;
    long index = -1;
    if (!(fields >> kind)) continue;  // blank line
    if (!(fields >> index >> status) || (kind != "R" && kind != "C"))
      fail(KLVO_ERR_FILE, "%s: \"%s\" line %d: expected \"R|C <index> <status>\"", fn, filename, lineno);
    std::vector<int> &target = kind == "R" ? rowstat : colstat;
    if (index < 0 || index >= static_cast<long>(target.size()))
      fail(KLVO_ERR_FILE, "%s: \"%s\" line %d: %s %ld is outside the problem", fn, filename, lineno,
           kind == "R" ? "row" : "column", index);
    auto at = std::find(std::begin(status_words), std::end(status_words), status);
    if (at == std::end(status_words))
      fail(KLVO_ERR_FILE, "%s: \"%s\" line %d: unknown status \"%s\" (LL, BS, UL or FR)", fn, filename, lineno,
           status.c_str());
    if (target[index] >= 0)
      fail(KLVO_ERR_FILE, "%s: \"%s\" line %d: %s %ld is given twice", fn, filename, lineno,
           kind == "R" ? "row" : "column", index);
    target[index] = static_cast<int>(at - std::begin(status_words));
  }
  for (int i = 0; i < rows; ++i)
    if (rowstat[i] < 0) fail(KLVO_ERR_FILE, "%s: \"%s\" gives no status to row %d", fn, filename, i);
  for (int j = 0; j < cols; ++j)
    if (colstat[j] < 0) fail(KLVO_ERR_FILE, "%s: \"%s\" gives no status to column %d", fn, filename, j);
  load_basis(prob, rowstat.data(), colstat.data(), fn);
}

void get_pivot_order(Problem &prob, int *order, const char *fn) {
  require_out(order, fn);
  std::vector<int> o = pivot_order(prob, fn);
  std::copy(o.begin(), o.end(), order);
}

namespace {

// Solves with the engine's basis matrix B' = R B D (R the row factors, D the factors of the
// basic variables, see EngineScale) on an engine vector.
void engine_solve(HighsEngine &e, std::vector<double> &vec, bool transpose, const char *fn) {
  int rows = static_cast<int>(vec.size());
  std::vector<double> out(rows);
  std::vector<HighsInt> index(rows);
  HighsInt nnz = 0;
  HighsInt st = transpose ? Highs_getBasisTransposeSolve(e.instance(), vec.data(), out.data(), &nnz, index.data())
                          : Highs_getBasisSolve(e.instance(), vec.data(), out.data(), &nnz, index.data());
  if (st != kHighsStatusOk) fail(KLVO_ERR_ENGINE, "%s: HiGHS could not solve with the basis matrix", fn);
  vec.swap(out);
}

}  // namespace

void basis_solve(Problem &prob, double *vec, bool transpose, const char *fn) {
  int rows = prob.model.nrows();
  if (rows && !vec) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null vector", fn);
  HighsEngine &e = engine_with_basis(prob, true, fn);
  if (!rows) return;
  std::vector<double> v(vec, vec + rows);
  EngineScale sc{e.held()};
  if (sc.none()) {
    engine_solve(e, v, transpose, fn);
  } else {
    // B y = v is B' (D^-1 y) = R v; B'y = v is B'^T (R^-1 y) = D v.
    std::vector<int> order = pivot_order(prob, fn);
    if (transpose) {
      for (int k = 0; k < rows; ++k) v[k] *= sc.var(order[k]);
      engine_solve(e, v, true, fn);
      for (int i = 0; i < rows; ++i) v[i] *= sc.row(i);
    } else {
      for (int i = 0; i < rows; ++i) v[i] *= sc.row(i);
      engine_solve(e, v, false, fn);
      for (int k = 0; k < rows; ++k) v[k] *= sc.var(order[k]);
    }
  }
  std::copy(v.begin(), v.end(), vec);
}

double basis_stability(Problem &prob, int type, int norm, int scaled, const char *fn) {
  if (type < 0 || type > 2) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: type %d is not 0, 1 or 2", fn, type);
  if (norm < 0 || norm > 2) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: norm %d is not 0, 1 or 2", fn, norm);
  const ModelStore &m = prob.model;
  int rows = m.nrows();
  std::vector<int> order = pivot_order(prob, fn);
  HighsEngine &e = engine_with_basis(prob, true, fn);
  EngineScale sc{e.held()};
  bool engine_units = scaled && !sc.none();
  // Both matrices densely, column by column: rows x rows. In the engine's units B' = R B D.
  std::vector<double> b(static_cast<size_t>(rows) * rows, 0.0), inv(b.size(), 0.0);
  for (int k = 0; k < rows; ++k) {
    double *col = &b[static_cast<size_t>(k) * rows];
    double d = engine_units ? sc.var(order[k]) : 1.0;
    if (order[k] < rows) col[order[k]] = 1.0;
    else
      for (const Entry &en : m.colentries[order[k] - rows]) col[en.index] = en.value;
    if (engine_units)
      for (int i = 0; i < rows; ++i) col[i] *= sc.row(i) * d;
  }
  for (int k = 0; k < rows; ++k) {
    double *col = &inv[static_cast<size_t>(k) * rows];
    // Column k of B^-1 = D B'^-1 R e_k.
    std::vector<double> unit(rows, 0.0);
    unit[k] = engine_units ? 1.0 : sc.row(k);
    engine_solve(e, unit, false, fn);
    for (int i = 0; i < rows; ++i) col[i] = engine_units ? unit[i] : unit[i] * sc.var(order[i]);
  }
  auto measure = [&](const std::vector<double> &a) {
    std::vector<double> rowsum(rows, 0.0);
    double best = 0.0, frob = 0.0;
    for (int k = 0; k < rows; ++k) {
      double colsum = 0.0;
      for (int i = 0; i < rows; ++i) {
        double v = std::fabs(a[static_cast<size_t>(k) * rows + i]);
        colsum += v;
        rowsum[i] += v;
        frob += v * v;
      }
      best = std::max(best, colsum);
    }
    if (norm == 1) return best;
    if (norm == 2) return std::sqrt(frob);
    return rows ? *std::max_element(rowsum.begin(), rowsum.end()) : 0.0;
  };
  if (type == 1) return measure(b);
  if (type == 2) return measure(inv);
  return measure(b) * measure(inv);
}

}  // namespace klvo

namespace klvo {

namespace {

// One simplex step from the current basis: the entering variable's direction, the basic
// variables' rates and values, and the ratio test.
struct Step {
  int rows = 0, cols = 0;
  std::vector<int> order;           // pivot order (combined indices)
  std::vector<int> status;          // per combined index: KLVO_BASIS_*
  std::vector<double> lo, up, value;  // per combined index
  int dir = 1;                      // +1 the entering variable increases, -1 decreases
  std::vector<double> rate;         // per position of B: change of the basic variable per unit step
  double length = INFINITY;         // step length; infinite when unbounded
};

Step prepare_step(Problem &prob, int enter, const char *fn) {
  const ModelStore &m = prob.model;
  if (m.has_qobj()) fail(KLVO_ERR_NOT_SUPPORTED, "%s: pivoting needs a linear objective", fn);
  Step s;
  s.rows = m.nrows(), s.cols = m.ncols();
  int total = s.rows + s.cols;
  if (enter < 0 || enter >= total)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: variable %d is outside 0..%d (rows, then columns)", fn, enter, total - 1);
  Basis b = current_basis(prob, fn);
  s.order = pivot_order(prob, fn);
  s.status.insert(s.status.end(), b.rows.begin(), b.rows.end());
  s.status.insert(s.status.end(), b.cols.begin(), b.cols.end());
  if (s.status[enter] == KLVO_BASIS_BASIC)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: variable %d is basic already", fn, enter);
  // Bounds: slack = rhs - activity, so its bounds mirror the row's.
  HighsModel lp;
  build_highs_model(m, true, lp, false);
  s.lo.resize(total), s.up.resize(total), s.value.assign(total, 0.0);
  for (int i = 0; i < s.rows; ++i) s.lo[i] = m.rhs[i] - lp.row_upper[i], s.up[i] = m.rhs[i] - lp.row_lower[i];
  for (int j = 0; j < s.cols; ++j) s.lo[s.rows + j] = lp.col_lower[j], s.up[s.rows + j] = lp.col_upper[j];
  for (int v = 0; v < total; ++v) {
    if (s.status[v] == KLVO_BASIS_LOWER) s.value[v] = s.lo[v];
    else if (s.status[v] == KLVO_BASIS_UPPER) s.value[v] = s.up[v];
  }
  // Basic values: B x_B = rhs - N x_N.
  std::vector<double> r(m.rhs.begin(), m.rhs.end());
  for (int i = 0; i < s.rows; ++i)
    if (s.status[i] != KLVO_BASIS_BASIC) r[i] -= s.value[i];
  for (int j = 0; j < s.cols; ++j)
    if (s.status[s.rows + j] != KLVO_BASIS_BASIC)
      for (const Entry &e : m.colentries[j]) r[e.index] -= e.value * s.value[s.rows + j];
  basis_solve(prob, r.data(), false, fn);
  for (int k = 0; k < s.rows; ++k) s.value[s.order[k]] = r[k];
  // Direction: away from the bound the variable sits at; a free one goes the way that improves
  // the objective.
  std::vector<double> alpha(s.rows, 0.0);
  if (enter < s.rows) alpha[enter] = 1.0;
  else
    for (const Entry &e : m.colentries[enter - s.rows]) alpha[e.index] = e.value;
  basis_solve(prob, alpha.data(), false, fn);
  if (s.status[enter] == KLVO_BASIS_UPPER) s.dir = -1;
  if (s.status[enter] == KLVO_BASIS_FREE) {
    // Moving the entering variable by +1 moves the basics by -alpha: the objective changes by
    // c_q - c_B alpha.
    double change = (enter < s.rows ? 0.0 : m.obj[enter - s.rows]);
    for (int k = 0; k < s.rows; ++k)
      if (s.order[k] >= s.rows) change -= m.obj[s.order[k] - s.rows] * alpha[k];
    s.dir = change * m.objsense > 0 ? -1 : 1;
  }
  s.rate.resize(s.rows);
  s.length = s.up[enter] - s.lo[enter];  // the entering variable's own other bound
  for (int k = 0; k < s.rows; ++k) {
    s.rate[k] = -s.dir * alpha[k];
    int v = s.order[k];
    if (s.rate[k] < -1e-12) s.length = std::min(s.length, std::max(0.0, (s.value[v] - s.lo[v]) / -s.rate[k]));
    if (s.rate[k] > 1e-12) s.length = std::min(s.length, std::max(0.0, (s.up[v] - s.value[v]) / s.rate[k]));
  }
  return s;
}

// Whether basic position k (or the entering variable, k = -1) stops the step.
bool blocks(const Step &s, int enter, int k) {
  double tol = 1e-9 * (1.0 + s.length);
  if (k < 0) return std::fabs(s.up[enter] - s.lo[enter] - s.length) <= tol;
  int v = s.order[k];
  if (s.rate[k] < -1e-12) return std::fabs((s.value[v] - s.lo[v]) / -s.rate[k] - s.length) <= tol;
  if (s.rate[k] > 1e-12) return std::fabs((s.up[v] - s.value[v]) / s.rate[k] - s.length) <= tol;
  return false;
}

}  // namespace

void get_pivots(Problem &prob, int enter, int *outlist, double *x, double *objval, int *npivots, int maxpivots,
                const char *fn) {
  if (maxpivots < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative maxpivots %d", fn, maxpivots);
  if (maxpivots && !outlist) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null outlist", fn);
  Step s = prepare_step(prob, enter, fn);
  int count = 0;
  if (std::isfinite(s.length)) {
    for (int k = 0; k < s.rows; ++k)
      if (blocks(s, enter, k) && count++ < maxpivots) outlist[count - 1] = s.order[k];
    if (blocks(s, enter, -1) && count++ < maxpivots) outlist[count - 1] = enter;
  }
  if (npivots) *npivots = std::min(count, maxpivots);
  double t = std::isfinite(s.length) ? s.length : 0.0;
  std::vector<double> after = s.value;
  after[enter] += s.dir * t;
  for (int k = 0; k < s.rows; ++k) after[s.order[k]] += s.rate[k] * t;
  if (x) std::copy(after.begin(), after.end(), x);
  if (objval) {
    const ModelStore &m = prob.model;
    double obj = m.objconstant;
    for (int j = 0; j < s.cols; ++j) obj += m.obj[j] * after[s.rows + j];
    *objval = obj;
  }
}

void pivot(Problem &prob, int enter, int leave, const char *fn) {
  Step s = prepare_step(prob, enter, fn);
  std::vector<int> status = s.status;
  if (leave == enter) {
    if (!std::isfinite(s.up[enter] - s.lo[enter]))
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: variable %d has no other bound to move to", fn, enter);
    status[enter] = s.dir > 0 ? KLVO_BASIS_UPPER : KLVO_BASIS_LOWER;
  } else {
    auto at = std::find(s.order.begin(), s.order.end(), leave);
    if (at == s.order.end()) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: variable %d is not basic", fn, leave);
    int k = static_cast<int>(at - s.order.begin());
    if (std::fabs(s.rate[k]) <= 1e-12)
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: variable %d cannot leave for %d (zero pivot element)", fn, leave, enter);
    status[enter] = KLVO_BASIS_BASIC;
    // The leaving variable stops at the bound it moves towards.
    status[leave] = s.rate[k] < 0 ? KLVO_BASIS_LOWER : KLVO_BASIS_UPPER;
    if (!std::isfinite(status[leave] == KLVO_BASIS_LOWER ? s.lo[leave] : s.up[leave])) status[leave] = KLVO_BASIS_FREE;
  }
  load_basis(prob, status.data(), status.data() + s.rows, fn);
}

}  // namespace klvo
