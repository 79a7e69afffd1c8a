#include "engines/nlp/nlp_model.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include <tsl/robin_map.h>

#include "engines/nlp/layer.h"

namespace klvo {
namespace nlp {

namespace {

// std::hash of an integer is the identity; the map's power-of-two buckets need mixed bits.
struct MixHash {
  size_t operator()(uint64_t k) const {
    k ^= k >> 33;
    k *= 0xff51afd7ed558ccdULL;
    k ^= k >> 33;
    k *= 0xc4ceb9fe1a85ec53ULL;
    k ^= k >> 33;
    return static_cast<size_t>(k);
  }
};

uint64_t pair_key(int i, int j) {
  if (i < j) std::swap(i, j);
  return (static_cast<uint64_t>(static_cast<uint32_t>(i)) << 32) | static_cast<uint32_t>(j);
}

}  // namespace

NlpModel::NlpModel(const ModelStore &ms, const kslp_problem_s *layer) {
  n = ms.ncols();
  int nr = ms.nrows();
  sense = ms.objsense < 0 ? -1.0 : 1.0;
  objconstant_ = ms.objconstant;
  rows_.resize(nr);

  // Objective: obj'x + 1/2 x'Qx with Q symmetric and stored in full.
  for (int j = 0; j < n; ++j)
    if (ms.obj[j] != 0.0) obj_.linear.push_back({j, ms.obj[j]});
  if (!ms.qobj.empty()) {
    for (int j = 0; j < n; ++j)
      for (const klvo::Entry &e : ms.qobj[j]) {
        if (e.index < j) continue;
        double v = e.index == j ? 0.5 * e.value : e.value;
        obj_.quad.push_back(Quad{e.index, j, v, -1, -1, -1});
      }
  }
  // Rows: linear entries plus x'Px from upper-triangle terms.
  for (int i = 0; i < nr; ++i) {
    Part &p = rows_[i];
    for (const klvo::Entry &e : ms.rowentries[i]) p.linear.push_back({e.index, e.value});
    if (!ms.qrows.empty())
      for (const QTerm &q : ms.qrows[i])
        p.quad.push_back(Quad{q.col1, q.col2, q.col1 == q.col2 ? q.value : 2 * q.value, -1, -1, -1});
    if (!p.quad.empty()) nonlinear_ = true;
  }

  find_determined(ms, layer);
  std::vector<char> determining(nr, 0);
  for (const Determined &d : determined_) determining[d.row] = 1;
  engine_col.assign(n, 0);
  for (const Determined &d : determined_) engine_col[d.col] = -1;
  for (int j = 0; j < n; ++j) {
    if (engine_col[j] < 0) continue;
    engine_col[j] = ne++;
    model_col.push_back(j);
    xl.push_back(ms.lb[j]);
    xu.push_back(ms.ub[j]);
  }
  xm_.assign(n, 0.0);

  // Engine rows and their bounds.
  engine_row.assign(nr, -1);
  for (int i = 0; i < nr; ++i) {
    if (determining[i]) continue;
    double lo, hi;
    double r = ms.rhs[i];
    switch (ms.rowtype[i]) {
      case 'L': lo = -1e20; hi = r; break;
      case 'G': lo = r; hi = 1e20; break;
      case 'E': lo = hi = r; break;
      case 'R': lo = r - ms.range[i]; hi = r; break;
      default: continue;  // free rows are only evaluated afterwards
    }
    engine_row[i] = m++;
    model_row.push_back(i);
    gl.push_back(lo);
    gu.push_back(hi);
  }

  // Formula entries of the store, each compiled with its factor and column into the evaluator.
  // They were checked when added, but a model loaded since may have fewer rows or columns.
  if (layer) {
    const UserFunctions *users = layer->users.get();
    std::vector<double> weight_of_row(nr, 0.0);
    for (const Determined &d : determined_) weight_of_row[d.row] = -sense * d.c / d.a;
    for (const FormulaEntry &e : ms.formulas.entries()) {
      if (e.row >= nr)
        fail(KLVO_ERR_INVALID_ARGUMENT, "A formula entry lies in row %d but the problem has %d rows", e.row, nr);
      if (e.col != KSLP_NOCOLUMN && e.col >= n)
        fail(KLVO_ERR_INVALID_ARGUMENT, "A formula entry multiplies column %d but the problem has %d columns", e.col, n);
      int last = -1;
      for (const Token &t : e.tokens)
        if (t.type == kColumn) last = std::max(last, static_cast<int>(t.value));
      if (last >= n)
        fail(KLVO_ERR_INVALID_ARGUMENT, "A formula in row %d uses column %d but the problem has %d columns", e.row, last, n);
      Side side = e.row < 0 || determining[e.row] ? kObjectiveSide : (engine_row[e.row] >= 0 ? kRowSide : kFreeSide);
      int id = eval_.add(e.tokens.data(), static_cast<int>(e.tokens.size()), n, users,
                         e.col == KSLP_NOCOLUMN ? -1 : e.col, e.factor, side);
      (e.row < 0 ? obj_ : rows_[e.row]).formulas.push_back(id);
      ids_[side].push_back(id);
      engine_row_of_.push_back(side == kRowSide ? engine_row[e.row] : -1);
      fweight_.push_back(e.row < 0 ? sense : weight_of_row[e.row]);
      nonlinear_ = true;
    }
  }
  eval_.finish();
  fval_.assign(eval_.size(), 0.0);
  hweight_.assign(eval_.size(), 0.0);
  // The objective side's gradient goes to a dense vector by model column.
  for (int id : ids_[kObjectiveSide])
    for (int l = 0; l < eval_.nlocal(id); ++l) eval_.set_gradient_target(id, l, eval_.local_col(id, l));

  // Jacobian structure, row by row; `pos` maps a column to its position in the current row.
  std::vector<int> pos(n, -1);
  jac_start_.assign(m + 1, 0);
  for (int r = 0; r < m; ++r) {
    Part &p = rows_[model_row[r]];
    std::vector<int> cols;
    for (auto &l : p.linear) cols.push_back(l.first);
    for (Quad &q : p.quad) {
      cols.push_back(q.i);
      cols.push_back(q.j);
    }
    for (int id : p.formulas)
      for (int l = 0; l < eval_.nlocal(id); ++l) cols.push_back(eval_.local_col(id, l));
    std::sort(cols.begin(), cols.end());
    cols.erase(std::unique(cols.begin(), cols.end()), cols.end());
    int base = static_cast<int>(jac_col_.size());
    for (size_t k = 0; k < cols.size(); ++k) {
      pos[cols[k]] = base + static_cast<int>(k);
      jac_col_.push_back(engine_col[cols[k]]);
    }
    for (auto &l : p.linear) p.linear_jac.push_back(pos[l.first]);
    for (Quad &q : p.quad) {
      q.jac_i = pos[q.i];
      q.jac_j = pos[q.j];
    }
    for (int id : p.formulas)
      for (int l = 0; l < eval_.nlocal(id); ++l) eval_.set_gradient_target(id, l, pos[eval_.local_col(id, l)]);
    for (int c : cols) pos[c] = -1;
    jac_start_[r + 1] = static_cast<int>(jac_col_.size());
  }
  // The engine rows' linear parts, flat, and the Jacobian values they give once for all.
  jac_base_.assign(jac_col_.size(), 0.0);
  lin_start_.assign(m + 1, 0);
  for (int r = 0; r < m; ++r) {
    const Part &p = rows_[model_row[r]];
    for (size_t k = 0; k < p.linear.size(); ++k) {
      jac_base_[p.linear_jac[k]] += p.linear[k].second;
      lin_col_.push_back(p.linear[k].first);
      lin_val_.push_back(p.linear[k].second);
    }
    lin_start_[r + 1] = static_cast<int>(lin_col_.size());
    if (!p.quad.empty()) quad_rows_.push_back(r);
  }

  // Hessian structure: the union of every part's lower-triangle pairs.
  tsl::robin_map<uint64_t, int, MixHash> hpos;
  auto slot = [&](int i, int j) {
    auto it = hpos.find(pair_key(i, j));
    if (it != hpos.end()) return it->second;
    int k = static_cast<int>(hess_row_.size());
    hpos.emplace(pair_key(i, j), k);
    hess_row_.push_back(engine_col[std::max(i, j)]);
    hess_col_.push_back(engine_col[std::min(i, j)]);
    return k;
  };
  auto structure = [&](Part &p) {
    for (Quad &q : p.quad) q.hess = slot(q.i, q.j);
    for (int id : p.formulas)
      for (int e = 0; e < eval_.npattern(id); ++e) {
        std::pair<int, int> ij = eval_.pattern(id, e);
        eval_.set_hessian_target(id, e, slot(eval_.local_col(id, ij.first), eval_.local_col(id, ij.second)));
      }
  };
  structure(obj_);
  if (!obj_.quad.empty() || !obj_.formulas.empty()) nonlinear_ = true;
  for (int r = 0; r < m; ++r) structure(rows_[model_row[r]]);
  for (const Determined &d : determined_) structure(rows_[d.row]);
}

// A column declared determined by a row (KSLPchgvar) is substituted when the row is an
// equality holding it linearly, and it is free, continuous and nowhere else but in the
// objective's linear part. Anything else is left to the engine as it stands.
void NlpModel::find_determined(const ModelStore &ms, const kslp_problem_s *layer) {
  if (!layer) return;
  int nr = static_cast<int>(rows_.size());
  std::vector<std::pair<int, int>> cand;  // (column, row)
  for (const auto &kv : layer->vars) {
    int j = kv.first, r = kv.second.detrow;
    if (j < 0 || j >= n || r < 0 || r >= nr || ms.rowtype[r] != 'E' || ms.coltype[j] != 'C') continue;
    if (ms.lb[j] > -1e20 || ms.ub[j] < 1e20) continue;
    if (!ms.qobj.empty() && !ms.qobj[j].empty()) continue;
    cand.push_back({j, r});
  }
  if (cand.empty()) return;
  // Where each column appears other than in the objective's linear part: the number of
  // linear row entries (and the last row with one), and any quadratic or formula use.
  std::vector<int> count(n, 0), last_row(n, -1);
  std::vector<char> other(n, 0);
  for (int i = 0; i < nr; ++i) {
    for (const klvo::Entry &e : ms.rowentries[i]) {
      ++count[e.index];
      last_row[e.index] = i;
    }
    if (!ms.qrows.empty())
      for (const QTerm &q : ms.qrows[i]) other[q.col1] = other[q.col2] = 1;
  }
  for (const FormulaEntry &e : ms.formulas.entries()) {
    if (e.col != KSLP_NOCOLUMN && e.col >= 0 && e.col < n) other[e.col] = 1;
    for (const Token &t : e.tokens) {
      int c = static_cast<int>(t.value);
      if (t.type == kColumn && c >= 0 && c < n) other[c] = 1;
    }
  }
  std::vector<char> taken(nr, 0);
  for (auto &cr : cand) {
    int j = cr.first, r = cr.second;
    if (other[j] || count[j] != 1 || last_row[j] != r || taken[r]) continue;
    double a = 0.0;
    for (const klvo::Entry &e : ms.rowentries[r])
      if (e.index == j) a = e.value;
    if (a == 0.0) continue;
    taken[r] = 1;
    determined_.push_back(Determined{j, r, a, ms.obj[j], ms.rhs[r]});
  }
}

void NlpModel::jac_structure(int *rows, int *cols) const {
  for (int r = 0; r < m; ++r)
    for (int k = jac_start_[r]; k < jac_start_[r + 1]; ++k) {
      rows[k] = r;
      cols[k] = jac_col_[k];
    }
}

void NlpModel::hess_structure(int *rows, int *cols) const {
  std::copy(hess_row_.begin(), hess_row_.end(), rows);
  std::copy(hess_col_.begin(), hess_col_.end(), cols);
}

double NlpModel::plain(const Part &p, const double *x) const {
  double s = 0.0;
  for (auto &l : p.linear) s += l.second * x[l.first];
  for (const Quad &q : p.quad) s += q.v * x[q.i] * x[q.j];
  return s;
}

double NlpModel::total(const Part &p, const double *x) const {
  double s = plain(p, x);
  for (int id : p.formulas) s += fval_[id];
  return s;
}

// grad (model space) += w * gradient of the part's linear and quadratic terms.
void NlpModel::plain_gradient(const Part &p, const double *x, double w, double *grad) const {
  for (auto &l : p.linear) grad[l.first] += w * l.second;
  for (const Quad &q : p.quad) {
    grad[q.i] += w * q.v * x[q.j];
    grad[q.j] += w * q.v * x[q.i];
  }
}

// The model-space point of an engine point, determined columns left at 0: their terms then
// vanish from the objective and from their rows, which is what the substitution needs.
const double *NlpModel::scatter(const double *x) {
  if (determined_.empty()) return x;
  for (int k = 0; k < ne; ++k) xm_[model_col[k]] = x[k];
  return xm_.data();
}

namespace {

// A sum with its rounding errors carried along (error-free sums and products): the result is
// as accurate as if computed in twice the precision, then rounded.
struct CompensatedSum {
  double s = 0.0, c = 0.0;
  void add(double v) {
    double t = s + v, z = t - s;
    c += (s - (t - z)) + (v - z);
    s = t;
  }
  void add_product(double a, double b) {
    double p = a * b;
    add(p);
    c += std::fma(a, b, -p);
  }
  double value() const { return s + c; }
};

}  // namespace

// Compensated, because an objective given in expanded form (a square as a constant, a linear
// and a quadratic term) cancels to the small value it has near a solution, which plain
// summation can turn negative.
bool NlpModel::objective(const double *x, double &f) {
  if (!eval_.values(x, kObjectiveSide, fval_.data())) return false;
  CompensatedSum acc;
  acc.add(objconstant_);
  for (auto &l : obj_.linear) acc.add_product(l.second, x[l.first]);
  for (const Quad &q : obj_.quad) {
    double vi = q.v * x[q.i];
    acc.add_product(vi, x[q.j]);
    acc.c += std::fma(q.v, x[q.i], -vi) * x[q.j];
  }
  for (int id : obj_.formulas) acc.add(fval_[id]);
  f = acc.value();
  return true;
}

// Plain sums: the engine asks for the objective at every trial point, and compensating each
// formula's value costs more than evaluating it. What is reported comes from objective().
bool NlpModel::engine_objective(const double *x, double &f) {
  const double *xm = scatter(x);
  if (!eval_.values(xm, kObjectiveSide, fval_.data())) return false;
  f = objconstant_ + plain(obj_, xm);
  for (int id : obj_.formulas) f += fval_[id];
  for (const Determined &d : determined_) f += d.c / d.a * (d.rhs - total(rows_[d.row], xm));
  f *= sense;
  return true;
}

bool NlpModel::engine_gradient(const double *x, double *grad) {
  const double *xm = scatter(x);
  gm_.assign(n, 0.0);
  plain_gradient(obj_, xm, sense, gm_.data());
  for (const Determined &d : determined_) plain_gradient(rows_[d.row], xm, -sense * d.c / d.a, gm_.data());
  if (!eval_.gradients(xm, kObjectiveSide, fweight_.data(), gm_.data())) return false;
  for (int k = 0; k < ne; ++k) grad[k] = gm_[model_col[k]];
  return true;
}

bool NlpModel::complete(const double *x, std::vector<double> &model_x) {
  model_x.assign(n, 0.0);
  for (int k = 0; k < ne; ++k) model_x[model_col[k]] = x[k];
  if (determined_.empty()) return true;
  if (!eval_.values(model_x.data(), kObjectiveSide, fval_.data())) return false;
  for (const Determined &d : determined_) model_x[d.col] = (d.rhs - total(rows_[d.row], model_x.data())) / d.a;
  return true;
}

bool NlpModel::row_activities(const double *x, double *act) {
  for (int side = 0; side < kSides; ++side)
    if (!eval_.values(x, side, fval_.data())) return false;
  for (size_t i = 0; i < rows_.size(); ++i) act[i] = total(rows_[i], x);
  return true;
}

bool NlpModel::constraints(const double *x, double *g) {
  const double *xm = scatter(x);
  if (!eval_.values(xm, kRowSide, fval_.data())) return false;
  for (int r = 0; r < m; ++r) {
    double s = 0.0;
    for (int k = lin_start_[r]; k < lin_start_[r + 1]; ++k) s += lin_val_[k] * xm[lin_col_[k]];
    g[r] = s;
  }
  for (int r : quad_rows_)
    for (const Quad &q : rows_[model_row[r]].quad) g[r] += q.v * xm[q.i] * xm[q.j];
  for (int id : ids_[kRowSide]) g[engine_row_of_[id]] += fval_[id];
  return true;
}

bool NlpModel::jacobian(const double *x, double *values) {
  const double *xm = scatter(x);
  std::copy(jac_base_.begin(), jac_base_.end(), values);
  for (int r : quad_rows_)
    for (const Quad &q : rows_[model_row[r]].quad) {
      values[q.jac_i] += q.v * xm[q.j];
      values[q.jac_j] += q.v * xm[q.i];
    }
  return eval_.gradients(xm, kRowSide, nullptr, values);
}

bool NlpModel::hessian(const double *x, double sigma, const double *lambda, double *values) {
  const double *xm = scatter(x);
  std::fill(values, values + hess_nnz(), 0.0);
  auto quads = [&](const Part &p, double w) {
    if (w != 0.0)
      for (const Quad &q : p.quad) values[q.hess] += w * (q.i == q.j ? 2 * q.v : q.v);
  };
  quads(obj_, sigma * sense);
  for (const Determined &d : determined_) quads(rows_[d.row], -sigma * sense * d.c / d.a);
  for (int r = 0; r < m; ++r) quads(rows_[model_row[r]], lambda ? lambda[r] : 0.0);
  for (int id : ids_[kObjectiveSide]) hweight_[id] = sigma * fweight_[id];
  for (int id : ids_[kRowSide]) hweight_[id] = lambda ? lambda[engine_row_of_[id]] : 0.0;
  return eval_.hessians(xm, kFreeSide, hweight_.data(), values);
}

}  // namespace nlp
}  // namespace klvo
