// The evaluator's sweeps over a block of a group's instances: values forward, local first and
// second derivatives, adjoints backward, and Hessian columns by forward-over-reverse per colour.
// Every array of the work area holds kBlock lanes per node (or per operand slot): lane k is
// instance k0 + k of the group.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

#include "engines/nlp/evaluator_internal.h"
#include "engines/nlp/formula_internal.h"
#include "klvo/elementary.hpp"

namespace klvo {
namespace nlp {

using Elementary = elementary::Function;
using Group = Evaluator::Group;

namespace {

constexpr int B = kBlock;

thread_local bool g_user_error = false;

// pwl's operands: the argument u, then the breakpoints (x, y). Returns the value at u, and the
// slope of the segment it came from.
double pwl(const double *in, int m, double &slope) {
  int np = (m - 1) / 2, seg = -1, last = -1;
  double u = in[0];
  auto px = [&](int k) { return in[1 + 2 * k]; };
  auto py = [&](int k) { return in[2 + 2 * k]; };
  for (int k = 0; k + 1 < np; ++k) {
    if (px(k + 1) > px(k)) {
      last = k;
      if (seg < 0 && u < px(k + 1)) seg = k;
    }
  }
  if (seg < 0) seg = last;
  if (seg < 0) {
    slope = 0.0;
    return u < px(0) ? py(0) : py(np - 1);
  }
  slope = (py(seg + 1) - py(seg)) / (px(seg + 1) - px(seg));
  return py(seg) + slope * (u - px(seg));
}

bool call_user(const UserFunction &u, const double *in, double &f, double *grad, bool want_grad) {
  int m = u.arity;
  if (u.type == 5) {
    typedef int (*Fn)(const double *, const double *, double *, double *, void *);
    Fn fn = reinterpret_cast<Fn>(u.fn);
    std::vector<double> request(want_grad ? m : 0, 1.0);
    g_user_error = false;
    int rc = fn(in, want_grad ? request.data() : nullptr, &f, want_grad ? grad : nullptr, u.data);
    if (rc != 0 || g_user_error || !std::isfinite(f)) return false;
    if (want_grad)
      for (int k = 0; k < m; ++k)
        if (!std::isfinite(grad[k])) return false;
    return true;
  }
  typedef double (*Fn)(const double *, void *);
  Fn fn = reinterpret_cast<Fn>(u.fn);
  g_user_error = false;
  f = fn(in, u.data);
  if (g_user_error || !std::isfinite(f)) return false;
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
    if (g_user_error || !std::isfinite(fp) || !std::isfinite(fm)) return false;
    grad[k] = (fp - fm) / (2 * h);
  }
  return true;
}

// Second derivatives s[k * m + l] of a user function at `in`: central differences of its first
// derivatives (symmetrised) when it gives them, else second differences of its values.
bool user_second(const UserFunction &u, std::vector<double> &in, double f0, double *s) {
  int m = u.arity;
  double f;
  if (u.type == 5) {
    std::vector<double> gp(m), gm(m);
    for (int k = 0; k < m; ++k) {
      double h = 1e-5 * std::max(1.0, std::fabs(in[k]));
      double save = in[k];
      in[k] = save + h;
      bool ok = call_user(u, in.data(), f, gp.data(), true);
      in[k] = save - h;
      ok = ok && call_user(u, in.data(), f, gm.data(), true);
      in[k] = save;
      if (!ok) return false;
      for (int l = 0; l < m; ++l) s[k * m + l] += (gp[l] - gm[l]) / (4 * h);
      for (int l = 0; l < m; ++l) s[l * m + k] += (gp[l] - gm[l]) / (4 * h);
    }
    return true;
  }
  for (int k = 0; k < m; ++k) {
    double hk = 1e-4 * std::max(1.0, std::fabs(in[k]));
    for (int l = 0; l <= k; ++l) {
      double hl = 1e-4 * std::max(1.0, std::fabs(in[l]));
      double val;
      if (k == l) {
        double fp, fm, save = in[k];
        in[k] = save + hk;
        bool ok = call_user(u, in.data(), fp, nullptr, false);
        in[k] = save - hk;
        ok = ok && call_user(u, in.data(), fm, nullptr, false);
        in[k] = save;
        if (!ok) return false;
        val = (fp - 2 * f0 + fm) / (hk * hk);
      } else {
        double f4[4], sk = in[k], sl = in[l];
        const double sgn[4][2] = {{1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
        for (int r = 0; r < 4; ++r) {
          in[k] = sk + sgn[r][0] * hk;
          in[l] = sl + sgn[r][1] * hl;
          bool ok = call_user(u, in.data(), f4[r], nullptr, false);
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

// The operands of node n in lane k.
void gather(const Group &g, const EvalNode &n, const double *v, int k, std::vector<double> &in) {
  in.resize(n.nargs);
  const int *a = g.args.data() + n.arg;
  for (int j = 0; j < n.nargs; ++j) in[j] = v[a[j] * B + k];
}

template <Elementary F>
void unary(const double *u, double *y, int b) {
  for (int k = 0; k < b; ++k) y[k] = elementary::value(F, u[k]);
}

void unary_value(Elementary f, const double *u, double *y, int b) {
  switch (f) {
    case Elementary::Exp: unary<Elementary::Exp>(u, y, b); break;
    case Elementary::Log: unary<Elementary::Log>(u, y, b); break;
    case Elementary::Log10: unary<Elementary::Log10>(u, y, b); break;
    case Elementary::Sin: unary<Elementary::Sin>(u, y, b); break;
    case Elementary::Cos: unary<Elementary::Cos>(u, y, b); break;
    case Elementary::Tan: unary<Elementary::Tan>(u, y, b); break;
    case Elementary::Asin: unary<Elementary::Asin>(u, y, b); break;
    case Elementary::Acos: unary<Elementary::Acos>(u, y, b); break;
    case Elementary::Atan: unary<Elementary::Atan>(u, y, b); break;
    case Elementary::Abs: unary<Elementary::Abs>(u, y, b); break;
    case Elementary::Sign: unary<Elementary::Sign>(u, y, b); break;
    case Elementary::Erf: unary<Elementary::Erf>(u, y, b); break;
    case Elementary::Erfc: unary<Elementary::Erfc>(u, y, b); break;
    case Elementary::Sqrt: unary<Elementary::Sqrt>(u, y, b); break;
  }
}

template <Elementary F>
void unary_derivatives(const double *u, const double *y, double *d, double *s, int b) {
  for (int k = 0; k < b; ++k) d[k] = elementary::first_derivative(F, u[k], y[k]);
  if (s)
    for (int k = 0; k < b; ++k) s[k] = elementary::second_derivative(F, u[k], y[k]);
}

void unary_derivatives(Elementary f, const double *u, const double *y, double *d, double *s, int b) {
  switch (f) {
    case Elementary::Exp: unary_derivatives<Elementary::Exp>(u, y, d, s, b); break;
    case Elementary::Log: unary_derivatives<Elementary::Log>(u, y, d, s, b); break;
    case Elementary::Log10: unary_derivatives<Elementary::Log10>(u, y, d, s, b); break;
    case Elementary::Sin: unary_derivatives<Elementary::Sin>(u, y, d, s, b); break;
    case Elementary::Cos: unary_derivatives<Elementary::Cos>(u, y, d, s, b); break;
    case Elementary::Tan: unary_derivatives<Elementary::Tan>(u, y, d, s, b); break;
    case Elementary::Asin: unary_derivatives<Elementary::Asin>(u, y, d, s, b); break;
    case Elementary::Acos: unary_derivatives<Elementary::Acos>(u, y, d, s, b); break;
    case Elementary::Atan: unary_derivatives<Elementary::Atan>(u, y, d, s, b); break;
    case Elementary::Abs: unary_derivatives<Elementary::Abs>(u, y, d, s, b); break;
    case Elementary::Sign: unary_derivatives<Elementary::Sign>(u, y, d, s, b); break;
    case Elementary::Erf: unary_derivatives<Elementary::Erf>(u, y, d, s, b); break;
    case Elementary::Erfc: unary_derivatives<Elementary::Erfc>(u, y, d, s, b); break;
    case Elementary::Sqrt: unary_derivatives<Elementary::Sqrt>(u, y, d, s, b); break;
  }
}

// Node values of lanes [0, b) for instances k0 ...; false when one cannot be evaluated.
bool forward(const Group &g, int k0, int b, const double *x, double *v, std::vector<double> &in) {
  size_t K = static_cast<size_t>(g.ninst);
  bool bad = false;
  for (size_t i = 0; i < g.nodes.size(); ++i) {
    const EvalNode &n = g.nodes[i];
    double *y = v + i * B;
    const int *a = g.args.data() + n.arg;
    const double *u = n.nargs > 0 ? v + a[0] * B : nullptr;
    const double *w = n.nargs > 1 ? v + a[1] * B : nullptr;
    Elementary f;
    switch (n.op) {
      case Op::Const: {
        const double *c = g.consts.data() + n.slot * K + k0;
        for (int k = 0; k < b; ++k) y[k] = c[k];
        continue;  // finite when compiled
      }
      case Op::Var: {
        const int *c = g.cols.data() + n.slot * K + k0;
        for (int k = 0; k < b; ++k) y[k] = x[c[k]];
        break;
      }
      case Op::Neg: for (int k = 0; k < b; ++k) y[k] = -u[k]; break;
      case Op::Add: for (int k = 0; k < b; ++k) y[k] = u[k] + w[k]; break;
      case Op::Sub: for (int k = 0; k < b; ++k) y[k] = u[k] - w[k]; break;
      case Op::Mul: for (int k = 0; k < b; ++k) y[k] = u[k] * w[k]; break;
      case Op::Square: for (int k = 0; k < b; ++k) y[k] = u[k] * u[k]; break;
      case Op::Div:
        for (int k = 0; k < b; ++k) {
          bad |= w[k] == 0.0;
          y[k] = u[k] / w[k];
        }
        break;
      case Op::Pow:
        for (int k = 0; k < b; ++k) {
          bad |= u[k] == 0.0 && w[k] < 0;
          y[k] = power(u[k], w[k]);
        }
        break;
      case Op::User:
        for (int k = 0; k < b; ++k) {
          gather(g, n, v, k, in);
          bad |= !call_user(*n.user, in.data(), y[k], nullptr, false);
        }
        break;
      default:
        if (elementary_of(n.op, f)) {
          if (n.op == Op::Log || n.op == Op::Log10)
            for (int k = 0; k < b; ++k) bad |= u[k] <= 0;
          unary_value(f, u, y, b);
        } else {
          for (int k = 0; k < b; ++k) {
            gather(g, n, v, k, in);
            bad |= !node_value(n.op, in.data(), n.nargs, y[k]);
          }
        }
        break;
    }
    for (int k = 0; k < b; ++k) bad |= !std::isfinite(y[k]);
    if (bad) return false;
  }
  return true;
}

// First derivatives of every variable-dependent node in its operands (d, by operand slot), and
// with `second` the second derivatives of the nodes that have them (s).
bool local_derivatives(const Group &g, int b, const double *v, double *d, double *s, bool second,
                       std::vector<double> &in, std::vector<double> &scratch) {
  bool bad = false;
  for (size_t i = 0; i < g.nodes.size(); ++i) {
    const EvalNode &n = g.nodes[i];
    if (!n.dep || n.nargs == 0) continue;
    int m = n.nargs;
    const double *y = v + i * B;
    const int *a = g.args.data() + n.arg;
    const double *u = v + a[0] * B;
    const double *w = m > 1 ? v + a[1] * B : nullptr;
    double *d0 = d + static_cast<size_t>(n.arg) * B, *d1 = d0 + B;
    double *sn = second && n.second ? s + static_cast<size_t>(n.soff) * B : nullptr;
    Elementary f;
    switch (n.op) {
      case Op::Neg: std::fill(d0, d0 + b, -1.0); break;
      case Op::Add: std::fill(d0, d0 + b, 1.0); std::fill(d1, d1 + b, 1.0); break;
      case Op::Sub: std::fill(d0, d0 + b, 1.0); std::fill(d1, d1 + b, -1.0); break;
      case Op::Mul:
        for (int k = 0; k < b; ++k) {
          d0[k] = w[k];
          d1[k] = u[k];
        }
        if (sn) {
          std::fill(sn, sn + b, 0.0);
          std::fill(sn + B, sn + B + b, 1.0);
          std::fill(sn + 2 * B, sn + 2 * B + b, 1.0);
          std::fill(sn + 3 * B, sn + 3 * B + b, 0.0);
        }
        break;
      case Op::Square:
        for (int k = 0; k < b; ++k) d0[k] = 2 * u[k];
        if (sn) std::fill(sn, sn + b, 2.0);
        break;
      case Op::Div:
        for (int k = 0; k < b; ++k) {
          double r = 1 / w[k];
          d0[k] = r;
          d1[k] = -u[k] * r * r;
          if (sn) {
            sn[k] = 0.0;
            sn[B + k] = sn[2 * B + k] = -r * r;
            sn[3 * B + k] = 2 * u[k] * r * r * r;
          }
        }
        break;
      case Op::Pow: {
        bool base_dep = g.nodes[a[0]].dep, exp_dep = g.nodes[a[1]].dep;
        for (int k = 0; k < b; ++k) {
          double uk = u[k], e = w[k];
          double s00 = 0, s01 = 0, s11 = 0;
          d0[k] = d1[k] = 0.0;
          if (base_dep) {
            d0[k] = e == 0 ? 0.0 : e * power(uk, e - 1);
            if (sn) s00 = (e == 0 || e == 1) ? 0.0 : e * (e - 1) * power(uk, e - 2);
          }
          if (exp_dep) {
            bad |= uk <= 0;  // a variable exponent needs a positive base
            double lu = std::log(uk);
            d1[k] = y[k] * lu;
            if (sn) {
              s11 = y[k] * lu * lu;
              if (base_dep) s01 = power(uk, e - 1) * (1 + e * lu);
            }
          }
          if (sn) {
            sn[k] = s00;
            sn[B + k] = sn[2 * B + k] = s01;
            sn[3 * B + k] = s11;
          }
        }
        break;
      }
      case Op::Min:
      case Op::Max:
        for (int j = 0; j < m; ++j) std::fill(d0 + j * B, d0 + j * B + b, 0.0);
        for (int k = 0; k < b; ++k)
          for (int j = 0; j < m; ++j)
            if (v[a[j] * B + k] == y[k]) {
              d0[j * B + k] = 1.0;
              break;
            }
        break;
      case Op::Sum:
        for (int j = 0; j < m; ++j) std::fill(d0 + j * B, d0 + j * B + b, 1.0);
        break;
      case Op::Prod:
        for (int k = 0; k < b; ++k)
          for (int j = 0; j < m; ++j) {
            double p = 1;
            for (int l = 0; l < m; ++l)
              if (l != j) p *= v[a[l] * B + k];
            d0[j * B + k] = p;
            if (!sn) continue;
            for (int l = 0; l < m; ++l) {
              double q = 0.0;
              if (l != j) {
                q = 1;
                for (int r = 0; r < m; ++r)
                  if (r != j && r != l) q *= v[a[r] * B + k];
              }
              sn[(j * m + l) * B + k] = q;
            }
          }
        break;
      case Op::Pwl:
        for (int j = 1; j < m; ++j) std::fill(d0 + j * B, d0 + j * B + b, 0.0);
        for (int k = 0; k < b; ++k) {
          gather(g, n, v, k, in);
          pwl(in.data(), m, d0[k]);
        }
        break;
      case Op::User:
        for (int k = 0; k < b; ++k) {
          gather(g, n, v, k, in);
          scratch.assign(m + m * m, 0.0);
          double fv;
          bool ok = call_user(*n.user, in.data(), fv, scratch.data(), true);
          if (ok && sn) ok = user_second(*n.user, in, y[k], scratch.data() + m);
          if (!ok) return false;
          for (int j = 0; j < m; ++j) d0[j * B + k] = scratch[j];
          if (sn)
            for (int e = 0; e < m * m; ++e) sn[e * B + k] = scratch[m + e];
        }
        break;
      default:
        if (elementary_of(n.op, f)) {
          if (n.op == Op::Asin || n.op == Op::Acos)
            for (int k = 0; k < b; ++k) bad |= 1 - u[k] * u[k] <= 0;
          if (n.op == Op::Sqrt)
            for (int k = 0; k < b; ++k) bad |= y[k] <= 0;
          unary_derivatives(f, u, y, d0, sn, b);
        }
        break;
    }
    if (bad) return false;
  }
  return true;
}

// Adjoints of every node for the root's value (a), and their sums by local variable (grad).
void reverse(const Group &g, int b, const double *d, double *a, double *grad) {
  size_t nn = g.nodes.size();
  std::fill(a, a + nn * B, 0.0);
  std::fill(a + (nn - 1) * B, a + (nn - 1) * B + b, 1.0);
  std::fill(grad, grad + static_cast<size_t>(g.nlocal) * B, 0.0);
  for (size_t i = nn; i-- > 0;) {
    const EvalNode &n = g.nodes[i];
    if (!n.dep) continue;
    const double *ai = a + i * B;
    if (n.op == Op::Var) {
      double *gl = grad + static_cast<size_t>(n.slot) * B;
      for (int k = 0; k < b; ++k) gl[k] += ai[k];
      continue;
    }
    for (int j = 0; j < n.nargs; ++j) {
      int arg = g.args[n.arg + j];
      if (!g.nodes[arg].dep) continue;
      double *aj = a + static_cast<size_t>(arg) * B;
      const double *dj = d + static_cast<size_t>(n.arg + j) * B;
      for (int k = 0; k < b; ++k) aj[k] += ai[k] * dj[k];
    }
  }
}

void fit(std::vector<double> &v, size_t n) {
  if (v.size() < n) v.resize(n);
}

void fit(Evaluator::Work &w, const Group &g) {
  size_t nn = g.nodes.size() * B;
  fit(w.v, nn);
  fit(w.a, nn);
  fit(w.t, nn);
  fit(w.at, nn);
  fit(w.d, g.args.size() * B);
  fit(w.s, static_cast<size_t>(g.nsecond) * B);
  fit(w.g, static_cast<size_t>(g.nlocal) * B);
}

}  // namespace

void set_user_function_error() { g_user_error = true; }

bool node_value(Op op, const double *in, int m, double &y) {
  double u = m > 0 ? in[0] : 0.0;
  Elementary f;
  switch (op) {
    case Op::Neg: y = -u; break;
    case Op::Add: y = u + in[1]; break;
    case Op::Sub: y = u - in[1]; break;
    case Op::Mul: y = u * in[1]; break;
    case Op::Square: y = u * u; break;
    case Op::Div:
      if (in[1] == 0.0) return false;
      y = u / in[1];
      break;
    case Op::Pow:
      if (u == 0.0 && in[1] < 0) return false;
      y = power(u, in[1]);
      break;
    case Op::Min:
    case Op::Max:
      if (m == 0) return false;
      y = u;
      for (int k = 1; k < m; ++k) y = op == Op::Min ? std::min(y, in[k]) : std::max(y, in[k]);
      break;
    case Op::Sum:
      y = 0.0;
      for (int k = 0; k < m; ++k) y += in[k];
      break;
    case Op::Prod:
      y = 1.0;
      for (int k = 0; k < m; ++k) y *= in[k];
      break;
    case Op::Pwl: {
      double slope;
      y = pwl(in, m, slope);
      break;
    }
    default:
      if (!elementary_of(op, f)) return false;
      if ((op == Op::Log || op == Op::Log10) && u <= 0) return false;
      y = elementary::value(f, u);
      break;
  }
  return std::isfinite(y);
}

namespace {

// Counts a sweep and adds its time to the evaluator's figures when it ends.
struct SweepTimer {
  Evaluator::Stats &stats;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  SweepTimer(Evaluator::Stats &s, uint64_t &counter) : stats(s) { ++counter; }
  ~SweepTimer() { stats.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); }
};

}  // namespace

// Operands of user functions and n-ary operations are gathered into vectors owned by the call:
// a user function may solve another problem, and so evaluate, before it returns.
bool Evaluator::values(const double *x, int side, double *out) {
  SweepTimer timer(stats_, stats_.value_sweeps);
  Work &w = *work_;
  std::vector<double> t_in;
  for (const Group &g : groups_) {
    if (g.side != side) continue;
    fit(w, g);
    size_t root = (g.nodes.size() - 1) * B;
    if (g.compiled) fit(w.regs, static_cast<size_t>(g.program[0].nregs) * g.lanes);
    for (int k0 = 0; k0 < g.ninst; k0 += B) {
      int b = std::min(B, g.ninst - k0);
      stats_.instances += b;
      if (g.compiled) {
        if (!run_program(g, g.program[0], k0, b, x, w.regs.data(), nullptr, nullptr, out)) return false;
        continue;
      }
      if (!forward(g, k0, b, x, w.v.data(), t_in)) return false;
      for (int k = 0; k < b; ++k) out[g.formula[k0 + k]] = w.v[root + k];
    }
  }
  return true;
}

bool Evaluator::gradients(const double *x, int side, const double *weight, double *target) {
  SweepTimer timer(stats_, stats_.gradient_sweeps);
  Work &w = *work_;
  std::vector<double> t_in, t_scratch;
  double wk[B];
  for (const Group &g : groups_) {
    if (g.side != side) continue;
    fit(w, g);
    size_t K = static_cast<size_t>(g.ninst);
    if (g.compiled) fit(w.regs, static_cast<size_t>(g.program[1].nregs) * g.lanes);
    for (int k0 = 0; k0 < g.ninst; k0 += B) {
      int b = std::min(B, g.ninst - k0);
      if (g.compiled) {
        for (int k = 0; k < b; ++k) wk[k] = weight ? weight[g.formula[k0 + k]] : 1.0;
        if (!run_program(g, g.program[1], k0, b, x, w.regs.data(), wk, target, nullptr)) return false;
        continue;
      }
      if (!forward(g, k0, b, x, w.v.data(), t_in) ||
          !local_derivatives(g, b, w.v.data(), w.d.data(), w.s.data(), false, t_in, t_scratch))
        return false;
      reverse(g, b, w.d.data(), w.a.data(), w.g.data());
      for (int k = 0; k < b; ++k) wk[k] = weight ? weight[g.formula[k0 + k]] : 1.0;
      bool bad = false;
      for (int l = 0; l < g.nlocal; ++l) {
        const double *gl = w.g.data() + static_cast<size_t>(l) * B;
        const int *pos = g.gtarget.data() + l * K + k0;
        for (int k = 0; k < b; ++k) {
          bad |= !std::isfinite(gl[k]);
          target[pos[k]] += wk[k] * gl[k];
        }
      }
      if (bad) return false;
    }
  }
  return true;
}

bool Evaluator::hessians(const double *x, int sides, const double *weight, double *target) {
  SweepTimer timer(stats_, stats_.hessian_sweeps);
  Work &w = *work_;
  std::vector<double> t_in, t_scratch;
  double wk[B];
  for (const Group &g : groups_) {
    if (g.side >= sides || g.pattern.empty()) continue;
    fit(w, g);
    size_t K = static_cast<size_t>(g.ninst), nn = g.nodes.size();
    double *v = w.v.data(), *d = w.d.data(), *s = w.s.data(), *a = w.a.data(), *t = w.t.data(), *at = w.at.data(),
           *col = w.g.data();
    for (int k0 = 0; k0 < g.ninst; k0 += B) {
      int b = std::min(B, g.ninst - k0);
      bool any = false;
      for (int k = 0; k < b; ++k) {
        wk[k] = weight ? weight[g.formula[k0 + k]] : 1.0;
        any = any || wk[k] != 0.0;
      }
      if (!any) continue;
      if (g.compiled) {
        fit(w.regs, static_cast<size_t>(g.program[2].nregs) * g.lanes);
        if (!run_program(g, g.program[2], k0, b, x, w.regs.data(), wk, target, nullptr)) return false;
        continue;
      }
      if (!forward(g, k0, b, x, v, t_in) || !local_derivatives(g, b, v, d, s, true, t_in, t_scratch)) return false;
      reverse(g, b, d, a, col);
      for (size_t c = 0; c < g.by_color.size(); ++c) {
        // Tangent in the direction of the colour's variables, then the reverse sweep of the
        // adjoint's tangent: col = H * direction.
        uint64_t bit = uint64_t{1} << std::min<size_t>(c, 63);
        for (size_t i = 0; i < nn; ++i) {
          const EvalNode &n = g.nodes[i];
          if (!n.dep) continue;
          double *ti = t + i * B;
          if (!(g.colors_of[i] & bit)) {
            std::fill(ti, ti + b, 0.0);
            continue;
          }
          if (n.op == Op::Var) {
            std::fill(ti, ti + b, g.color[n.slot] == static_cast<int>(c) ? 1.0 : 0.0);
            continue;
          }
          std::fill(ti, ti + b, 0.0);
          for (int j = 0; j < n.nargs; ++j) {
            int arg = g.args[n.arg + j];
            if (!g.nodes[arg].dep) continue;
            const double *tj = t + static_cast<size_t>(arg) * B, *dj = d + static_cast<size_t>(n.arg + j) * B;
            for (int k = 0; k < b; ++k) ti[k] += dj[k] * tj[k];
          }
        }
        std::fill(at, at + nn * B, 0.0);
        std::fill(col, col + static_cast<size_t>(g.nlocal) * B, 0.0);
        for (size_t i = nn; i-- > 0;) {
          const EvalNode &n = g.nodes[i];
          if (!n.dep) continue;
          const double *ati = at + i * B, *ai = a + i * B;
          if (n.op == Op::Var) {
            double *cl = col + static_cast<size_t>(n.slot) * B;
            for (int k = 0; k < b; ++k) cl[k] += ati[k];
            continue;
          }
          int m = n.nargs;
          for (int j = 0; j < m; ++j) {
            int arg = g.args[n.arg + j];
            if (!g.nodes[arg].dep) continue;
            double *atj = at + static_cast<size_t>(arg) * B;
            const double *dj = d + static_cast<size_t>(n.arg + j) * B;
            for (int k = 0; k < b; ++k) atj[k] += ati[k] * dj[k];
            if (!n.second) continue;
            for (int l = 0; l < m; ++l) {
              int argl = g.args[n.arg + l];
              if (!g.nodes[argl].dep) continue;
              const double *sjl = s + static_cast<size_t>(n.soff + j * m + l) * B, *tl = t + static_cast<size_t>(argl) * B;
              for (int k = 0; k < b; ++k) atj[k] += ai[k] * sjl[k] * tl[k];
            }
          }
        }
        bool bad = false;
        for (int e : g.by_color[c]) {
          const double *ce = col + static_cast<size_t>(g.pattern[e].first) * B;
          const int *pos = g.htarget.data() + e * K + k0;
          for (int k = 0; k < b; ++k) {
            bad |= !std::isfinite(ce[k]);
            target[pos[k]] += wk[k] * ce[k];
          }
        }
        if (bad) return false;
      }
    }
  }
  return true;
}

}  // namespace nlp
}  // namespace klvo
