// Differentiating a formula tape: first and second derivatives of each node, gradients by one
// reverse sweep, Hessians by forward-over-reverse sweeps, one per group of columns.
#include <algorithm>
#include <cmath>
#include <vector>

#include "engines/nlp/formula.h"
#include "engines/nlp/formula_internal.h"
#include "klvo/elementary.hpp"

namespace klvo {
namespace nlp {

namespace {

using Elementary = elementary::Function;

// First derivative of an elementary function, and its second when s is given.
void elementary_derivatives(Elementary f, double u, double y, double *d, double *s) {
  d[0] = elementary::first_derivative(f, u, y);
  if (s) s[0] = elementary::second_derivative(f, u, y);
}

// A product of m operands: each first derivative is the product of the other operands, each
// second derivative the product of all but two.
void prod_derivatives(const double *v, const int *a, int m, double *d, double *s) {
  for (int k = 0; k < m; ++k) {
    double p = 1;
    for (int l = 0; l < m; ++l)
      if (l != k) p *= v[a[l]];
    d[k] = p;
    if (s) {
      for (int l = 0; l < m; ++l) {
        if (l == k) continue;
        double q = 1;
        for (int r = 0; r < m; ++r)
          if (r != k && r != l) q *= v[a[r]];
        s[k * m + l] = q;
      }
    }
  }
}

// Slope of the pwl segment the value came from (operands: argument u, then pairs (x, y)):
// differentiate the value formula in u.
double pwl_slope(const double *v, const int *a, int m, double u) {
  int np = (m - 1) / 2, seg = -1, last = -1;
  auto px = [&](int k) { return v[a[1 + 2 * k]]; };
  auto py = [&](int k) { return v[a[2 + 2 * k]]; };
  for (int k = 0; k + 1 < np; ++k) {
    if (px(k + 1) > px(k)) {
      last = k;
      if (seg < 0 && u < px(k + 1)) seg = k;
    }
  }
  if (seg < 0) seg = last;
  return seg < 0 ? 0.0 : (py(seg + 1) - py(seg)) / (px(seg + 1) - px(seg));
}

}  // namespace

// First derivatives d[k] = dy/du_k of one node, and when s is given the second derivatives
// s[k*n + l] = d2y/du_k du_l (all zero on entry).
bool Tape::node_derivatives(const Node &n, TapeWork &w, double *d, double *s) const {
  const double *v = w.v.data();
  const int *a = args_.data() + n.arg;
  int m = n.nargs;
  double u = m > 0 ? v[a[0]] : 0.0;
  double y = v[&n - nodes_.data()];
  switch (n.op) {
    case Op::Neg: d[0] = -1; break;
    case Op::Add: d[0] = d[1] = 1; break;
    case Op::Sub: d[0] = 1; d[1] = -1; break;
    case Op::Mul:
      d[0] = v[a[1]];
      d[1] = u;
      if (s) s[1] = s[2] = 1;
      break;
    case Op::Div: {
      double b = v[a[1]];
      d[0] = 1 / b;
      d[1] = -u / (b * b);
      if (s) {
        s[1] = s[2] = -1 / (b * b);
        s[3] = 2 * u / (b * b * b);
      }
      break;
    }
    case Op::Pow: {
      double b = v[a[1]];
      bool base_dep = nodes_[a[0]].dep, exp_dep = nodes_[a[1]].dep;
      if (base_dep) {
        d[0] = b == 0 ? 0.0 : b * power(u, b - 1);
        if (s) s[0] = (b == 0 || b == 1) ? 0.0 : b * (b - 1) * power(u, b - 2);
      }
      if (exp_dep) {
        if (u <= 0) return false;  // a variable exponent needs a positive base
        double lu = std::log(u);
        d[1] = y * lu;
        if (s) {
          s[3] = y * lu * lu;
          if (base_dep) s[1] = s[2] = power(u, b - 1) * (1 + b * lu);
        }
      }
      break;
    }
    case Op::Exp: elementary_derivatives(Elementary::Exp, u, y, d, s); break;
    case Op::Log: elementary_derivatives(Elementary::Log, u, y, d, s); break;
    case Op::Log10: elementary_derivatives(Elementary::Log10, u, y, d, s); break;
    case Op::Sin: elementary_derivatives(Elementary::Sin, u, y, d, s); break;
    case Op::Cos: elementary_derivatives(Elementary::Cos, u, y, d, s); break;
    case Op::Tan: elementary_derivatives(Elementary::Tan, u, y, d, s); break;
    case Op::Asin:
      if (1 - u * u <= 0) return false;
      elementary_derivatives(Elementary::Asin, u, y, d, s);
      break;
    case Op::Acos:
      if (1 - u * u <= 0) return false;
      elementary_derivatives(Elementary::Acos, u, y, d, s);
      break;
    case Op::Atan: elementary_derivatives(Elementary::Atan, u, y, d, s); break;
    case Op::Abs: elementary_derivatives(Elementary::Abs, u, y, d, s); break;
    case Op::Sign: elementary_derivatives(Elementary::Sign, u, y, d, s); break;
    case Op::Erf: elementary_derivatives(Elementary::Erf, u, y, d, s); break;
    case Op::Erfc: elementary_derivatives(Elementary::Erfc, u, y, d, s); break;
    case Op::Sqrt:
      if (y <= 0) return false;
      elementary_derivatives(Elementary::Sqrt, u, y, d, s);
      break;
    case Op::Min:
    case Op::Max: {
      for (int k = 0; k < m; ++k) {
        if (v[a[k]] == y) {
          d[k] = 1;
          break;
        }
      }
      break;
    }
    case Op::Sum:
      for (int k = 0; k < m; ++k) d[k] = 1;
      break;
    case Op::Prod: prod_derivatives(v, a, m, d, s); break;
    case Op::Pwl: d[0] = pwl_slope(v, a, m, u); break;
    case Op::User: return user_derivatives(n, v, y, d, s);
    default: break;
  }
  return true;
}

// A user function's first derivatives come from the function (or central differences of its
// values, see call_user); second derivatives are differenced numerically.
bool Tape::user_derivatives(const Node &n, const double *v, double y, double *d, double *s) const {
  const int *a = args_.data() + n.arg;
  int m = n.nargs;
  std::vector<double> in(m);
  for (int k = 0; k < m; ++k) in[k] = v[a[k]];
  double f;
  if (!call_user(n, in.data(), f, d, true)) return false;
  if (!s) return true;
  if (n.user->type == 5) return user_second_from_gradients(n, in, s);
  return user_second_from_values(n, in, y, s);
}

// Central differences of the returned first derivatives, symmetrised.
bool Tape::user_second_from_gradients(const Node &n, std::vector<double> &in, double *s) const {
  int m = n.nargs;
  double f;
  std::vector<double> gp(m), gm(m);
  for (int k = 0; k < m; ++k) {
    double h = 1e-5 * std::max(1.0, std::fabs(in[k]));
    double save = in[k];
    in[k] = save + h;
    bool ok = call_user(n, in.data(), f, gp.data(), true);
    in[k] = save - h;
    ok = ok && call_user(n, in.data(), f, gm.data(), true);
    in[k] = save;
    if (!ok) return false;
    for (int l = 0; l < m; ++l) s[k * m + l] += (gp[l] - gm[l]) / (4 * h);
    for (int l = 0; l < m; ++l) s[l * m + k] += (gp[l] - gm[l]) / (4 * h);
  }
  return true;
}

// Second differences of the values (f0 the value at `in`).
bool Tape::user_second_from_values(const Node &n, std::vector<double> &in, double f0, double *s) const {
  int m = n.nargs;
  for (int k = 0; k < m; ++k) {
    double hk = 1e-4 * std::max(1.0, std::fabs(in[k]));
    for (int l = 0; l <= k; ++l) {
      double hl = 1e-4 * std::max(1.0, std::fabs(in[l]));
      double val;
      if (k == l) {
        double fp, fm, save = in[k];
        in[k] = save + hk;
        bool ok = call_user(n, in.data(), fp, nullptr, false);
        in[k] = save - hk;
        ok = ok && call_user(n, in.data(), fm, nullptr, false);
        in[k] = save;
        if (!ok) return false;
        val = (fp - 2 * f0 + fm) / (hk * hk);
      } else {
        double f4[4], sk = in[k], sl = in[l];
        const double sgn[4][2] = {{1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
        for (int r = 0; r < 4; ++r) {
          in[k] = sk + sgn[r][0] * hk;
          in[l] = sl + sgn[r][1] * hl;
          bool ok = call_user(n, in.data(), f4[r], nullptr, false);
          in[k] = sk;
          in[l] = sl;
          if (!ok) return false;
        }
        val = (f4[0] - f4[1] - f4[2] + f4[3]) / (4 * hk * hl);
      }
      s[k * m + l] = s[l * m + k] = val;
    }
  }
  return true;
}

bool Tape::local_derivatives(TapeWork &w, bool second) const {
  for (size_t i = 0; i < nodes_.size(); ++i) {
    const Node &n = nodes_[i];
    if (n.nargs == 0 || !n.dep) continue;
    double *d = w.d.data() + n.arg;
    std::fill(d, d + n.nargs, 0.0);
    double *s = nullptr;
    if (second) {
      s = w.s.data() + n.soff;
      std::fill(s, s + n.nargs * n.nargs, 0.0);
    }
    if (!node_derivatives(n, w, d, s)) return false;
  }
  return true;
}

bool Tape::gradient(const double *x, double &f, double *grad, TapeWork &w) const {
  if (!forward(x, w) || !local_derivatives(w, false)) return false;
  size_t nn = nodes_.size();
  f = w.v[nn - 1];
  std::fill(w.a.begin(), w.a.begin() + nn, 0.0);
  w.a[nn - 1] = 1.0;
  std::fill(grad, grad + cols_.size(), 0.0);
  for (size_t i = nn; i-- > 0;) {
    const Node &n = nodes_[i];
    double ai = w.a[i];
    if (ai == 0.0 || !n.dep) continue;
    if (n.op == Op::Var) grad[static_cast<int>(n.c)] += ai;
    for (int k = 0; k < n.nargs; ++k) w.a[args_[n.arg + k]] += ai * w.d[n.arg + k];
  }
  for (size_t k = 0; k < cols_.size(); ++k)
    if (!std::isfinite(grad[k])) return false;
  return true;
}

bool Tape::hessian(const double *x, double weight, double *hess, double *grad, TapeWork &w) const {
  if (!forward(x, w) || !local_derivatives(w, true)) return false;
  size_t nn = nodes_.size();
  int nc = static_cast<int>(cols_.size());
  double *a = w.a.data(), *t = w.t.data(), *at = w.at.data();
  std::fill(a, a + nn, 0.0);
  a[nn - 1] = 1.0;
  for (size_t i = nn; i-- > 0;) {
    const Node &n = nodes_[i];
    if (a[i] == 0.0 || !n.dep) continue;
    for (int k = 0; k < n.nargs; ++k) a[args_[n.arg + k]] += a[i] * w.d[n.arg + k];
  }
  if (grad) {
    std::fill(grad, grad + nc, 0.0);
    for (size_t i = 0; i < nn; ++i)
      if (nodes_[i].op == Op::Var) grad[static_cast<int>(nodes_[i].c)] += a[i];
    for (int k = 0; k < nc; ++k)
      if (!std::isfinite(grad[k])) return false;
  }
  double *col = w.scratch.data();
  for (size_t c = 0; c < by_color_.size(); ++c) {
    // Tangent in the direction of the group's columns, then the reverse sweep of the
    // adjoint's tangent: col = H * direction.
    for (size_t i = 0; i < nn; ++i) {
      const Node &n = nodes_[i];
      if (!n.dep) {
        t[i] = 0.0;
      } else if (n.op == Op::Var) {
        t[i] = color_[static_cast<int>(n.c)] == static_cast<int>(c) ? 1.0 : 0.0;
      } else {
        double s = 0.0;
        for (int k = 0; k < n.nargs; ++k) s += w.d[n.arg + k] * t[args_[n.arg + k]];
        t[i] = s;
      }
    }
    std::fill(at, at + nn, 0.0);
    std::fill(col, col + nc, 0.0);
    for (size_t i = nn; i-- > 0;) {
      const Node &n = nodes_[i];
      if (!n.dep) continue;
      if (n.op == Op::Var) {
        col[static_cast<int>(n.c)] += at[i];
        continue;
      }
      const double *s = w.s.data() + n.soff;
      for (int k = 0; k < n.nargs; ++k) {
        int ak = args_[n.arg + k];
        if (!nodes_[ak].dep) continue;
        double acc = at[i] * w.d[n.arg + k];
        if (a[i] != 0.0) {
          double q = 0.0;
          for (int l = 0; l < n.nargs; ++l) {
            double sv = s[k * n.nargs + l];
            if (sv != 0.0) q += sv * t[args_[n.arg + l]];
          }
          acc += a[i] * q;
        }
        at[ak] += acc;
      }
    }
    for (int e : by_color_[c]) {
      double v = col[pattern_[e].first];
      if (!std::isfinite(v)) return false;
      hess[e] += weight * v;
    }
  }
  return true;
}

}  // namespace nlp
}  // namespace klvo
