// Evaluating a formula tape: node values in one forward sweep, and the calls of user functions
// (with central differences for those that give no derivatives).
#include <algorithm>
#include <cmath>
#include <vector>

#include "engines/nlp/formula.h"
#include "engines/nlp/formula_internal.h"
#include "klvo/elementary.hpp"

namespace klvo {
namespace nlp {

using Elementary = elementary::Function;

namespace {


}  // namespace


void Tape::resize(TapeWork &w) const {
  size_t n = nodes_.size();
  // Each array is checked on its own: when one cannot grow, those grown before it must not
  // make the next call take the others for grown too.
  if (w.v.size() < n) w.v.resize(n);
  if (w.t.size() < n) w.t.resize(n);
  if (w.a.size() < n) w.a.resize(n);
  if (w.at.size() < n) w.at.resize(n);
  if (w.d.size() < args_.size()) w.d.resize(args_.size());
  if (w.s.size() < static_cast<size_t>(nsecond_)) w.s.resize(nsecond_);
  if (w.scratch.size() < cols_.size()) w.scratch.resize(cols_.size());
}

bool Tape::call_user(const Node &n, const double *in, double &f, double *grad, bool want_grad) const {
  const UserFunction &u = *n.user;
  int m = n.nargs;
  if (u.type == 5) {
    typedef int (*Fn)(const double *, const double *, double *, double *, void *);
    Fn fn = reinterpret_cast<Fn>(u.fn);
    std::vector<double> request(want_grad ? m : 0, 1.0);
    user_function_error_flag() = false;
    int rc = fn(in, want_grad ? request.data() : nullptr, &f, want_grad ? grad : nullptr, u.data);
    if (rc != 0 || user_function_error_flag() || !std::isfinite(f)) return false;
    if (want_grad)
      for (int k = 0; k < m; ++k)
        if (!std::isfinite(grad[k])) return false;
    return true;
  }
  typedef double (*Fn)(const double *, void *);
  Fn fn = reinterpret_cast<Fn>(u.fn);
  user_function_error_flag() = false;
  f = fn(in, u.data);
  if (user_function_error_flag() || !std::isfinite(f)) return false;
  if (!want_grad) return true;
  // Central differences for a function that gives no derivatives.
  std::vector<double> p(in, in + m);
  for (int k = 0; k < m; ++k) {
    double h = 1e-6 * std::max(1.0, std::fabs(in[k]));
    p[k] = in[k] + h;
    double fp = fn(p.data(), u.data);
    p[k] = in[k] - h;
    double fm = fn(p.data(), u.data);
    p[k] = in[k];
    if (user_function_error_flag() || !std::isfinite(fp) || !std::isfinite(fm)) return false;
    grad[k] = (fp - fm) / (2 * h);
  }
  return true;
}

bool Tape::node_value(const Node &n, TapeWork &w) const {
  double *v = w.v.data();
  const int *a = args_.data() + n.arg;
  double y;
  double u = n.nargs > 0 ? v[a[0]] : 0.0;
  switch (n.op) {
    case Op::Const: y = n.c; break;
    case Op::Var: y = 0.0; break;  // set by forward()
    case Op::Neg: y = -u; break;
    case Op::Add: y = u + v[a[1]]; break;
    case Op::Sub: y = u - v[a[1]]; break;
    case Op::Mul: y = u * v[a[1]]; break;
    case Op::Div:
      if (v[a[1]] == 0.0) return false;
      y = u / v[a[1]];
      break;
    case Op::Pow:
      if (u == 0.0 && v[a[1]] < 0) return false;
      y = power(u, v[a[1]]);
      break;
    case Op::Exp: y = elementary::value(Elementary::Exp, u); break;
    case Op::Log:
      if (u <= 0) return false;
      y = elementary::value(Elementary::Log, u);
      break;
    case Op::Log10:
      if (u <= 0) return false;
      y = elementary::value(Elementary::Log10, u);
      break;
    case Op::Sin: y = elementary::value(Elementary::Sin, u); break;
    case Op::Cos: y = elementary::value(Elementary::Cos, u); break;
    case Op::Tan: y = elementary::value(Elementary::Tan, u); break;
    case Op::Asin: y = elementary::value(Elementary::Asin, u); break;
    case Op::Acos: y = elementary::value(Elementary::Acos, u); break;
    case Op::Atan: y = elementary::value(Elementary::Atan, u); break;
    case Op::Abs: y = elementary::value(Elementary::Abs, u); break;
    case Op::Sign: y = elementary::value(Elementary::Sign, u); break;
    case Op::Erf: y = elementary::value(Elementary::Erf, u); break;
    case Op::Erfc: y = elementary::value(Elementary::Erfc, u); break;
    case Op::Sqrt: y = elementary::value(Elementary::Sqrt, u); break;
    case Op::Min:
    case Op::Max:
      y = u;
      for (int k = 1; k < n.nargs; ++k) y = n.op == Op::Min ? std::min(y, v[a[k]]) : std::max(y, v[a[k]]);
      break;
    case Op::Sum:
      y = 0.0;
      for (int k = 0; k < n.nargs; ++k) y += v[a[k]];
      break;
    case Op::Prod:
      y = 1.0;
      for (int k = 0; k < n.nargs; ++k) y *= v[a[k]];
      break;
    case Op::Pwl: {
      int m = (n.nargs - 1) / 2, seg = -1, last = -1;
      auto px = [&](int k) { return v[a[1 + 2 * k]]; };
      auto py = [&](int k) { return v[a[2 + 2 * k]]; };
      for (int k = 0; k + 1 < m; ++k) {
        if (px(k + 1) > px(k)) {
          last = k;
          if (seg < 0 && u < px(k + 1)) seg = k;
        }
      }
      if (seg < 0) seg = last;
      if (seg < 0) y = u < px(0) ? py(0) : py(m - 1);
      else y = py(seg) + (py(seg + 1) - py(seg)) / (px(seg + 1) - px(seg)) * (u - px(seg));
      break;
    }
    case Op::User: {
      std::vector<double> in(n.nargs);
      for (int k = 0; k < n.nargs; ++k) in[k] = v[a[k]];
      if (!call_user(n, in.data(), y, nullptr, false)) return false;
      break;
    }
    default: return false;
  }
  if (!std::isfinite(y)) return false;
  v[&n - nodes_.data()] = y;
  return true;
}

bool Tape::forward(const double *x, TapeWork &w) const {
  resize(w);
  for (size_t i = 0; i < nodes_.size(); ++i) {
    const Node &n = nodes_[i];
    if (n.op == Op::Var) w.v[i] = x[cols_[static_cast<int>(n.c)]];
    else if (!node_value(n, w)) return false;
  }
  return true;
}

bool Tape::value(const double *x, double &f, TapeWork &w) const {
  if (!forward(x, w)) return false;
  f = w.v[nodes_.size() - 1];
  return true;
}

}  // namespace nlp
}  // namespace klvo
