#include "engines/solution_info.h"

#include <algorithm>
#include <cmath>

#include "env/error.h"

namespace klvo {

namespace {

bool infinite(double bound) { return std::fabs(bound) >= KLVO_INFINITY; }

// Violation of column j's bounds (and semi-continuous domain) by v, and the bound it is
// measured against.
double column_violation(const ModelStore &m, int j, double v, double *against) {
  double lo = m.lb[j], up = m.ub[j];
  char t = m.coltype[j];
  if (t == 'B') lo = std::max(lo, 0.0), up = std::min(up, 1.0);
  if (t == 'S' || t == 'R') lo = std::max(lo, m.limit[j]);
  double below = lo - v, above = v - up;
  double amount = std::max({below, above, 0.0});
  *against = below > above ? lo : up;
  // A semi-continuous column may also sit at zero.
  if ((t == 'S' || t == 'R') && std::fabs(v) < amount) amount = std::fabs(v), *against = 0;
  return amount;
}

// Violation of row i by its activity a, and the end it is measured against.
double row_violation(const ModelStore &m, int i, double a, double *against) {
  double rhs = m.rhs[i];
  *against = rhs;
  switch (m.rowtype[i]) {
    case 'L': return std::max(a - rhs, 0.0);
    case 'G': return std::max(rhs - a, 0.0);
    case 'E': return std::fabs(a - rhs);
    case 'R': {
      double lo = rhs - std::fabs(m.range[i]);
      if (lo - a > a - rhs) *against = lo;
      return std::max({lo - a, a - rhs, 0.0});
    }
    default: return 0.0;
  }
}

// Wrong-sign amount of a row's dual, in the minimising sense.
double row_dual_violation(const ModelStore &m, int i, double dual) {
  double v = m.objsense * dual;
  switch (m.rowtype[i]) {
    case 'L': return std::max(v, 0.0);
    case 'G': return std::max(-v, 0.0);
    case 'N': return std::fabs(v);
    default: return 0.0;
  }
}

double column_dual_violation(const ModelStore &m, int j, double dj) {
  double w = m.objsense * dj;
  bool no_lower = infinite(m.lb[j]), no_upper = infinite(m.ub[j]);
  if (no_lower && no_upper) return std::fabs(w);
  if (no_lower) return std::max(w, 0.0);
  if (no_upper) return std::max(-w, 0.0);
  return 0.0;
}

double nearest_integer_distance(double v) { return std::fabs(v - std::round(v)); }

// Powers of two that bring each row's and then each column's largest coefficient near 1.
void scale_factors(const ModelStore &m, std::vector<double> &row, std::vector<double> &col) {
  auto power = [](double largest) { return largest > 0 ? std::exp2(-std::round(std::log2(largest))) : 1.0; };
  row.assign(m.nrows(), 1.0);
  col.assign(m.ncols(), 1.0);
  for (int i = 0; i < m.nrows(); ++i) {
    double largest = 0;
    for (const Entry &e : m.rowentries[i]) largest = std::max(largest, std::fabs(e.value));
    row[i] = power(largest);
  }
  for (int j = 0; j < m.ncols(); ++j) {
    double largest = 0;
    for (const Entry &e : m.colentries[j]) largest = std::max(largest, std::fabs(e.value) * row[e.index]);
    col[j] = power(largest);
  }
}

}  // namespace

std::vector<double> row_activities(const ModelStore &m, const double *x) {
  std::vector<double> act(m.nrows(), 0.0);
  for (int i = 0; i < m.nrows(); ++i) {
    double a = 0;
    for (const Entry &e : m.rowentries[i]) a += e.value * x[e.index];
    if (!m.qrows.empty())
      for (const QTerm &t : m.qrows[i]) a += (t.col1 == t.col2 ? 1.0 : 2.0) * t.value * x[t.col1] * x[t.col2];
    act[i] = a;
  }
  return act;
}

double objective_value(const ModelStore &m, const double *x) {
  double value = m.objconstant;
  for (int j = 0; j < m.ncols(); ++j) value += m.obj[j] * x[j];
  double quad = 0;
  for (int j = 0; j < static_cast<int>(m.qobj.size()); ++j)
    for (const Entry &e : m.qobj[j]) quad += x[j] * e.value * x[e.index];
  return value + 0.5 * quad;
}

double objective_n_value(const ModelStore &m, int objidx, const double *x, const char *fn) {
  int count = 1 + static_cast<int>(m.objn.size());
  if (objidx < 0 || objidx >= count)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: objective %d does not exist (the problem has %d)", fn, objidx, count);
  if (objidx == 0) return objective_value(m, x);
  const std::vector<double> &c = m.objn[objidx - 1];
  double value = 0;
  for (size_t j = 0; j < c.size() && j < static_cast<size_t>(m.ncols()); ++j) value += c[j] * x[j];
  return value;
}

double primal_violation(const ModelStore &m, const double *x, bool relative) {
  double worst = 0, against;
  for (int j = 0; j < m.ncols(); ++j) {
    double v = column_violation(m, j, x[j], &against);
    worst = std::max(worst, relative ? v / (1 + std::fabs(against)) : v);
  }
  std::vector<double> act = row_activities(m, x);
  for (int i = 0; i < m.nrows(); ++i) {
    double v = row_violation(m, i, act[i], &against);
    worst = std::max(worst, relative ? v / (1 + std::fabs(against)) : v);
  }
  return worst;
}

double dual_violation(const ModelStore &m, const double *duals, const double *djs, bool relative) {
  double worst = 0;
  for (int i = 0; i < m.nrows(); ++i) worst = std::max(worst, row_dual_violation(m, i, duals[i]));
  for (int j = 0; j < m.ncols(); ++j) {
    double v = column_dual_violation(m, j, djs[j]);
    worst = std::max(worst, relative ? v / (1 + std::fabs(m.obj[j])) : v);
  }
  return worst;
}

double max_fractionality(const ModelStore &m, const double *x) {
  double worst = 0;
  for (int j = 0; j < m.ncols(); ++j) {
    char t = m.coltype[j];
    bool integral = t == 'I' || t == 'B' || (t == 'R' && x[j] != 0) || (t == 'P' && x[j] < m.limit[j]);
    if (integral) worst = std::max(worst, nearest_integer_distance(x[j]));
  }
  return worst;
}

Infeasibilities find_infeasibilities(const ModelStore &m, const double *x, const double *duals, const double *djs,
                                     double feastol, double opttol, bool scaled) {
  std::vector<double> row(m.nrows(), 1.0), col(m.ncols(), 1.0);
  if (scaled) scale_factors(m, row, col);
  // In the scaled problem x_j / col_j, activity_i * row_i, dual_i / row_i and dj_j * col_j.
  Infeasibilities out;
  double against;
  for (int j = 0; j < m.ncols(); ++j)
    if (column_violation(m, j, x[j], &against) / col[j] > feastol) out.cols.push_back(j);
  // Activities from x rather than the stored slacks, which belong to the right-hand sides of
  // the solve.
  std::vector<double> act = row_activities(m, x);
  for (int i = 0; i < m.nrows(); ++i)
    if (row_violation(m, i, act[i], &against) * row[i] > feastol) out.rows.push_back(i);
  if (duals && djs) {
    for (int i = 0; i < m.nrows(); ++i)
      if (row_dual_violation(m, i, duals[i]) / row[i] > opttol) out.dual_rows.push_back(i);
    for (int j = 0; j < m.ncols(); ++j)
      if (column_dual_violation(m, j, djs[j]) * col[j] > opttol) out.dual_cols.push_back(j);
  }
  return out;
}

}  // namespace klvo
