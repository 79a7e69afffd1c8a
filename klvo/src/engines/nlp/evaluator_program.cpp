// Compiling a group's sweeps into straight-line code, and running it. The compiler walks the
// group's nodes as the generic sweeps do (values forward, adjoints backward, Hessian columns by
// forward-over-reverse per colour) but on symbols: a symbol is a register or a literal that is
// the same in every lane, so multiplications by 0 and 1, additions of 0 and tangents that are
// zero vanish at compile time, and equal instructions are emitted once. What remains runs one
// instruction at a time over a block of instances.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <tuple>
#include <vector>

#include "engines/nlp/evaluator_internal.h"
#include "engines/nlp/formula_internal.h"
#include "klvo/elementary.hpp"

namespace klvo {
namespace nlp {

using Elementary = elementary::Function;
using Group = Evaluator::Group;

namespace {

// Registers beyond this many lane entries are not worth compiling for.
constexpr size_t kMaxRegisterEntries = size_t{1} << 22;
// Larger formulas are left to the generic sweeps: compiling costs microseconds per node, which
// a large formula of few instances would not earn back over a solve.
constexpr size_t kMaxCompiledNodes = 512;
// Formulas of at most this many variables get their Hessians forward.
constexpr int kForwardHessianVariables = 6;

struct Sym {
  int reg;     // < 0: the literal
  double lit;
};

Sym literal(double v) { return Sym{-1, v}; }

// Which of an instruction's operand registers it reads (the others are placeholders).
bool uses_a(POp o) { return o != POp::Const && o != POp::Var && o != POp::Fill; }
bool uses_b(POp o) {
  switch (o) {
    case POp::Add: case POp::Sub: case POp::Mul: case POp::Div: case POp::Unary1: case POp::Unary2:
    case POp::Pow: case POp::PowD1: case POp::PowD2: case POp::MulAdd:
      return true;
    default: return false;
  }
}
bool uses_c(POp o) { return o == POp::MulAdd; }
bool is_lit(Sym s, double v) { return s.reg < 0 && s.lit == v; }

class Emitter {
 public:
  explicit Emitter(Program &p) : p_(p) {}

  Sym op(POp o, Sym a, Sym b = literal(0), int slot = 0, double k = 0, uint8_t fn = 0, int rc = 0) {
    int ra = a.reg < 0 && uses_a(o) ? fill(a.lit) : std::max(a.reg, 0);
    int rb = b.reg < 0 && uses_b(o) ? fill(b.lit) : std::max(b.reg, 0);
    if (!uses_a(o)) ra = 0;
    if (!uses_b(o)) rb = 0;
    uint64_t kb;
    std::memcpy(&kb, &k, sizeof kb);
    auto key = std::make_tuple(static_cast<int>(o), ra, rb, rc, slot, kb, static_cast<int>(fn));
    auto it = seen_.find(key);
    if (it != seen_.end()) return Sym{it->second, 0};
    Instr in{o, false, fn, p_.nregs++, ra, rb, rc, slot, k};
    p_.code.push_back(in);
    def_.push_back(static_cast<int>(p_.code.size()) - 1);
    seen_.emplace(key, in.dst);
    return Sym{in.dst, 0};
  }
  // An output instruction: no register, never shared.
  void out(POp o, Sym a, int slot) {
    if (a.reg < 0) a = Sym{fill(a.lit), 0};
    p_.code.push_back(Instr{o, false, 0, -1, a.reg, 0, 0, slot, 0});
  }
  void check(Sym s) {
    if (s.reg >= 0) p_.code[def_[s.reg]].check = true;
  }

  // Rewrites below are exact: negation and scaling by a power of two round nothing.
  Sym neg(Sym a) {
    if (a.reg < 0) return literal(-a.lit);
    const Instr &d = def(a);
    if (d.op == POp::Neg) return Sym{d.a, 0};
    if (d.op == POp::MulK) return op(POp::MulK, Sym{d.a, 0}, literal(0), 0, -d.k);
    return op(POp::Neg, a);
  }
  Sym add(Sym a, Sym b) {
    if (a.reg < 0 && b.reg < 0) return literal(a.lit + b.lit);
    if (is_lit(a, 0)) return b;
    if (is_lit(b, 0)) return a;
    if (a.reg < 0) return op(POp::AddK, b, literal(0), 0, a.lit);
    if (b.reg < 0) return op(POp::AddK, a, literal(0), 0, b.lit);
    if (def(b).op == POp::Neg) return sub(a, Sym{def(b).a, 0});
    if (def(a).op == POp::Neg) return sub(b, Sym{def(a).a, 0});
    // A sum with a product: one pass instead of two (the product may still be needed alone).
    for (int r = 0; r < 2; ++r) {
      const Instr &m = p_.code[def_[b.reg]];
      if (m.op == POp::Mul) return op(POp::MulAdd, Sym{m.a, 0}, Sym{m.b, 0}, 0, 0, 0, a.reg);
      std::swap(a, b);
    }
    return op(POp::Add, a, b);
  }
  Sym sub(Sym a, Sym b) {
    if (b.reg < 0) return add(a, literal(-b.lit));  // exact: a - c is a + (-c)
    if (is_lit(a, 0)) return neg(b);
    if (def(b).op == POp::Neg) return add(a, Sym{def(b).a, 0});
    if (a.reg < 0) return op(POp::KSub, b, literal(0), 0, a.lit);
    return op(POp::Sub, a, b);
  }
  Sym mul(Sym a, Sym b) {
    if (a.reg < 0 && b.reg < 0) return literal(a.lit * b.lit);
    if (b.reg < 0) std::swap(a, b);
    if (a.reg < 0) {
      if (a.lit == 0) return literal(0);
      if (a.lit == 1) return b;
      if (a.lit == -1) return neg(b);
      const Instr &d = def(b);
      if (d.op == POp::Neg) return mul(literal(-a.lit), Sym{d.a, 0});
      if (d.op == POp::MulK && (power_of_two(a.lit) || power_of_two(d.k)) && std::isnormal(a.lit * d.k))
        return mul(literal(a.lit * d.k), Sym{d.a, 0});
      return op(POp::MulK, b, literal(0), 0, a.lit);
    }
    if (a.reg == b.reg) return op(POp::Square, a);
    return op(POp::Mul, a, b);
  }

 private:
  int fill(double v) { return op(POp::Fill, literal(0), literal(0), 0, v).reg; }
  const Instr &def(Sym s) const { return p_.code[def_[s.reg]]; }
  static bool power_of_two(double k) {
    int e;
    return std::isnormal(k) && std::fabs(std::frexp(k, &e)) == 0.5;
  }

  Program &p_;
  std::vector<int> def_;  // by register: its instruction
  std::map<std::tuple<int, int, int, int, int, uint64_t, int>, int> seen_;
};

bool supported(const Group &g) {
  Elementary f;
  for (const EvalNode &n : g.nodes) {
    switch (n.op) {
      case Op::Const: case Op::Var: case Op::Neg: case Op::Add: case Op::Sub: case Op::Mul: case Op::Div:
      case Op::Square: case Op::Sum:
        break;
      case Op::Pow:
        if (g.nodes[g.args[n.arg + 1]].dep) return false;  // a variable exponent
        break;
      default:
        if (!elementary_of(n.op, f)) return false;
    }
  }
  return true;
}

enum Kind { kValues, kGradients, kHessians };

// Compiles one of the three sweeps; false when a value folds to a constant that is not finite.
bool compile(const Group &g, Kind kind, const std::vector<char> &uniform, Program &p) {
  Emitter e(p);
  size_t nn = g.nodes.size();
  const int *args = g.args.data();
  std::vector<Sym> val(nn, literal(0));
  // Values, each node's checked as the generic sweep checks it.
  for (size_t i = 0; i < nn; ++i) {
    const EvalNode &n = g.nodes[i];
    const int *a = args + n.arg;
    Elementary f;
    Sym y;
    switch (n.op) {
      case Op::Const:
        y = uniform[n.slot] ? literal(g.consts[static_cast<size_t>(n.slot) * g.ninst]) : e.op(POp::Const, literal(0), literal(0), n.slot);
        break;
      case Op::Var: y = e.op(POp::Var, literal(0), literal(0), n.slot); break;
      case Op::Neg: y = e.neg(val[a[0]]); break;
      case Op::Add: y = e.add(val[a[0]], val[a[1]]); break;
      case Op::Sub: y = e.sub(val[a[0]], val[a[1]]); break;
      case Op::Mul: y = e.mul(val[a[0]], val[a[1]]); break;
      case Op::Square: y = e.op(POp::Square, val[a[0]]); break;
      case Op::Div: y = e.op(POp::Div, val[a[0]], val[a[1]]); break;
      case Op::Pow: y = e.op(POp::Pow, val[a[0]], val[a[1]]); break;
      case Op::Sum:
        y = literal(0);
        for (int j = 0; j < n.nargs; ++j) y = e.add(y, val[a[j]]);
        break;
      default:
        elementary_of(n.op, f);
        y = e.op(POp::Unary, val[a[0]], literal(0), 0, 0, static_cast<uint8_t>(f));
        break;
    }
    if (y.reg < 0 && !std::isfinite(y.lit)) return false;
    // A column's value is finite (the engines pass finite points); what is computed from it
    // may not be. Whether a formula is defined at a point is the value sweep's to say: the
    // derivative sweeps check only what they output.
    if (kind == kValues && n.op != Op::Const && n.op != Op::Var) e.check(y);
    val[i] = y;
  }
  if (kind == kValues) {
    e.out(POp::Value, val[nn - 1], 0);
    return true;
  }

  // First derivatives of each node in its operands, and second ones on demand.
  std::vector<Sym> d(g.args.size(), literal(0));
  for (size_t i = 0; i < nn; ++i) {
    const EvalNode &n = g.nodes[i];
    if (!n.dep || n.nargs == 0) continue;
    const int *a = args + n.arg;
    Sym *dn = d.data() + n.arg;
    Elementary f;
    switch (n.op) {
      case Op::Neg: dn[0] = literal(-1); break;
      case Op::Add: dn[0] = dn[1] = literal(1); break;
      case Op::Sub: dn[0] = literal(1); dn[1] = literal(-1); break;
      case Op::Mul: dn[0] = val[a[1]]; dn[1] = val[a[0]]; break;
      case Op::Square: dn[0] = e.mul(literal(2), val[a[0]]); break;
      case Op::Sum: for (int j = 0; j < n.nargs; ++j) dn[j] = literal(1); break;
      case Op::Div: {
        Sym r = e.op(POp::Div, literal(1), val[a[1]]);
        dn[0] = r;
        dn[1] = e.mul(e.mul(e.neg(val[a[0]]), r), r);
        break;
      }
      case Op::Pow: dn[0] = e.op(POp::PowD1, val[a[0]], val[a[1]]); break;
      default:
        elementary_of(n.op, f);
        dn[0] = e.op(POp::Unary1, val[a[0]], val[i], 0, 0, static_cast<uint8_t>(f));
        break;
    }
  }
  auto second = [&](size_t i, int j, int l) -> Sym {
    const EvalNode &n = g.nodes[i];
    const int *a = args + n.arg;
    Elementary f;
    if (!n.second) return literal(0);
    switch (n.op) {
      case Op::Mul: return literal(j == l ? 0.0 : 1.0);
      case Op::Square: return literal(2);
      case Op::Div: {
        Sym r = d[n.arg];
        if (j == 0 && l == 0) return literal(0);
        if (j != l) return e.neg(e.mul(r, r));
        return e.mul(e.mul(e.mul(e.mul(literal(2), val[a[0]]), r), r), r);
      }
      case Op::Pow:
        return j == 0 && l == 0 ? e.op(POp::PowD2, val[a[0]], val[a[1]]) : literal(0);
      default:
        elementary_of(n.op, f);
        return e.op(POp::Unary2, val[a[0]], val[i], 0, 0, static_cast<uint8_t>(f));
    }
  };

  // With few variables, the Hessian forward: each node's gradient and Hessian in the local
  // variables from its operands' (chain rule), which after folding is far shorter than a
  // forward-over-reverse sweep per colour.
  const int nl = g.nlocal;
  if (kind == kHessians && nl <= kForwardHessianVariables) {
    std::vector<Sym> gr(nn * nl, literal(0)), he(nn * nl * nl, literal(0));
    for (size_t i = 0; i < nn; ++i) {
      const EvalNode &n = g.nodes[i];
      if (!n.dep) continue;
      Sym *gi = gr.data() + i * nl, *hi = he.data() + i * nl * nl;
      if (n.op == Op::Var) {
        gi[n.slot] = literal(1);
        continue;
      }
      for (int j = 0; j < n.nargs; ++j) {
        int aj = args[n.arg + j];
        if (!g.nodes[aj].dep) continue;
        const Sym *gj = gr.data() + aj * nl, *hj = he.data() + aj * nl * nl;
        Sym dj = d[n.arg + j];
        for (int r = 0; r < nl; ++r) {
          gi[r] = e.add(gi[r], e.mul(dj, gj[r]));
          for (int c = 0; c <= r; ++c) hi[r * nl + c] = e.add(hi[r * nl + c], e.mul(dj, hj[r * nl + c]));
        }
        if (!n.second) continue;
        for (int l = 0; l < n.nargs; ++l) {
          int al = args[n.arg + l];
          if (!g.nodes[al].dep) continue;
          Sym s = second(i, j, l);
          if (is_lit(s, 0)) continue;
          const Sym *gl = gr.data() + al * nl;
          for (int r = 0; r < nl; ++r)
            for (int c = 0; c <= r; ++c)
              if (!is_lit(gj[r], 0) && !is_lit(gl[c], 0))
                hi[r * nl + c] = e.add(hi[r * nl + c], e.mul(e.mul(s, gj[r]), gl[c]));
        }
      }
    }
    const Sym *root = he.data() + (nn - 1) * nl * nl;
    for (size_t en = 0; en < g.pattern.size(); ++en) {
      Sym h = root[g.pattern[en].first * nl + g.pattern[en].second];
      if (!is_lit(h, 0)) e.out(POp::Hessian, h, static_cast<int>(en));
    }
    return true;
  }

  // Adjoints backward; in the gradient sweep, their sums by local variable.
  std::vector<Sym> adj(nn, literal(0)), grad(g.nlocal, literal(0));
  adj[nn - 1] = literal(1);
  for (size_t i = nn; i-- > 0;) {
    const EvalNode &n = g.nodes[i];
    if (!n.dep) continue;
    if (n.op == Op::Var) {
      if (kind == kGradients) grad[n.slot] = e.add(grad[n.slot], adj[i]);
      continue;
    }
    for (int j = 0; j < n.nargs; ++j) {
      int arg = args[n.arg + j];
      if (g.nodes[arg].dep) adj[arg] = e.add(adj[arg], e.mul(adj[i], d[n.arg + j]));
    }
  }
  if (kind == kGradients) {
    for (int l = 0; l < g.nlocal; ++l)
      if (!is_lit(grad[l], 0)) e.out(POp::Gradient, grad[l], l);
    return true;
  }

  // Per colour: tangents forward, the adjoints' tangents backward, the Hessian's columns.
  std::vector<Sym> t(nn), at(nn), col(g.nlocal);
  for (size_t c = 0; c < g.by_color.size(); ++c) {
    for (size_t i = 0; i < nn; ++i) {
      const EvalNode &n = g.nodes[i];
      t[i] = literal(0);
      if (!n.dep) continue;
      if (n.op == Op::Var) {
        t[i] = literal(g.color[n.slot] == static_cast<int>(c) ? 1.0 : 0.0);
        continue;
      }
      for (int j = 0; j < n.nargs; ++j) {
        int arg = args[n.arg + j];
        if (g.nodes[arg].dep) t[i] = e.add(t[i], e.mul(d[n.arg + j], t[arg]));
      }
    }
    std::fill(at.begin(), at.end(), literal(0));
    std::fill(col.begin(), col.end(), literal(0));
    for (size_t i = nn; i-- > 0;) {
      const EvalNode &n = g.nodes[i];
      if (!n.dep) continue;
      if (n.op == Op::Var) {
        col[n.slot] = e.add(col[n.slot], at[i]);
        continue;
      }
      for (int j = 0; j < n.nargs; ++j) {
        int arg = args[n.arg + j];
        if (!g.nodes[arg].dep) continue;
        at[arg] = e.add(at[arg], e.mul(at[i], d[n.arg + j]));
        if (!n.second) continue;
        for (int l = 0; l < n.nargs; ++l) {
          int argl = args[n.arg + l];
          if (!g.nodes[argl].dep || is_lit(t[argl], 0) || is_lit(adj[i], 0)) continue;
          Sym s = second(i, j, l);
          if (!is_lit(s, 0)) at[arg] = e.add(at[arg], e.mul(e.mul(adj[i], s), t[argl]));
        }
      }
    }
    for (int en : g.by_color[c]) {
      Sym h = col[g.pattern[en].first];
      if (!is_lit(h, 0)) e.out(POp::Hessian, h, en);
    }
    if (p.nregs * static_cast<size_t>(g.lanes) > kMaxRegisterEntries) return false;
  }
  return true;
}

template <int Order, Elementary F>
void unary_lanes(const double *u, const double *y, double *out, int b) {
  for (int k = 0; k < b; ++k)
    out[k] = Order == 0 ? elementary::value(F, u[k])
                        : Order == 1 ? elementary::first_derivative(F, u[k], y[k]) : elementary::second_derivative(F, u[k], y[k]);
}

template <int Order>
void unary_lanes(Elementary f, const double *u, const double *y, double *out, int b) {
  switch (f) {
    case Elementary::Exp: unary_lanes<Order, Elementary::Exp>(u, y, out, b); break;
    case Elementary::Log: unary_lanes<Order, Elementary::Log>(u, y, out, b); break;
    case Elementary::Log10: unary_lanes<Order, Elementary::Log10>(u, y, out, b); break;
    case Elementary::Sin: unary_lanes<Order, Elementary::Sin>(u, y, out, b); break;
    case Elementary::Cos: unary_lanes<Order, Elementary::Cos>(u, y, out, b); break;
    case Elementary::Tan: unary_lanes<Order, Elementary::Tan>(u, y, out, b); break;
    case Elementary::Asin: unary_lanes<Order, Elementary::Asin>(u, y, out, b); break;
    case Elementary::Acos: unary_lanes<Order, Elementary::Acos>(u, y, out, b); break;
    case Elementary::Atan: unary_lanes<Order, Elementary::Atan>(u, y, out, b); break;
    case Elementary::Abs: unary_lanes<Order, Elementary::Abs>(u, y, out, b); break;
    case Elementary::Sign: unary_lanes<Order, Elementary::Sign>(u, y, out, b); break;
    case Elementary::Erf: unary_lanes<Order, Elementary::Erf>(u, y, out, b); break;
    case Elementary::Erfc: unary_lanes<Order, Elementary::Erfc>(u, y, out, b); break;
    case Elementary::Sqrt: unary_lanes<Order, Elementary::Sqrt>(u, y, out, b); break;
  }
}

}  // namespace

namespace {

// y[i] = f(i) on the lanes, and with `check` a lane whose result is not finite marked in nan
// (x - x is 0 for finite x only).
template <int N, class F>
inline void lanes(int b, double *y, bool check, double *nan, F f) {
  const int n = N > 0 ? N : b;
  if (check) {
    for (int i = 0; i < n; ++i) {
      double r = f(i);
      y[i] = r;
      nan[i] += r - r;
    }
  } else {
    for (int i = 0; i < n; ++i) y[i] = f(i);
  }
}

// The sweeps are built once more for processors with 256-bit vectors, chosen when the library
// is loaded; the block's loops then take four lanes per instruction instead of two.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
#define KLVO_WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#define KLVO_INLINE_INTO_CLONES __attribute__((always_inline)) inline
#else
#define KLVO_WIDE_VECTORS
#define KLVO_INLINE_INTO_CLONES inline
#endif

// N > 0: a full block, whose length the compiler then knows; 0: b lanes.
// Lanes below `skip` repeat instances of the previous block: computed, not added to the targets.
template <int N>
KLVO_INLINE_INTO_CLONES bool run_block(const Group &g, const Program &p, int k0, int bb, int skip, const double *x, double *regs,
               const double *weight, double *target, double *out) {
  const int b = N > 0 ? N : bb;
  const size_t K = static_cast<size_t>(g.ninst), L = static_cast<size_t>(g.lanes);
  bool bad = false;
  // Lane i turns NaN, and stays so, once a checked result of the lane is not finite (or its
  // operation failed): x - x is 0 for finite x only. Division by zero, 0 to a negative power
  // and the logarithm of a non-positive number give such results.
  alignas(64) double nan[kBlock];
  for (int i = 0; i < b; ++i) nan[i] = 0.0;
  for (const Instr &in : p.code) {
    double *y = regs + (in.dst >= 0 ? in.dst * L : 0);
    const double *u = regs + in.a * L, *w = regs + in.b * L, *v = regs + in.c * L;
    const double k = in.k;
    const bool ch = in.check;
    switch (in.op) {
      case POp::Const: {
        const double *c = g.consts.data() + in.slot * K + k0;
        lanes<N>(b, y, false, nan, [&](int i) { return c[i]; });
        break;
      }
      case POp::Var: {
        const int *c = g.cols.data() + in.slot * K + k0;
        lanes<N>(b, y, ch, nan, [&](int i) { return x[c[i]]; });
        break;
      }
      case POp::Fill: lanes<N>(b, y, false, nan, [&](int) { return k; }); break;
      case POp::Neg: lanes<N>(b, y, ch, nan, [&](int i) { return -u[i]; }); break;
      case POp::Add: lanes<N>(b, y, ch, nan, [&](int i) { return u[i] + w[i]; }); break;
      case POp::Sub: lanes<N>(b, y, ch, nan, [&](int i) { return u[i] - w[i]; }); break;
      case POp::Mul: lanes<N>(b, y, ch, nan, [&](int i) { return u[i] * w[i]; }); break;
      case POp::Div: lanes<N>(b, y, ch, nan, [&](int i) { return u[i] / w[i]; }); break;
      case POp::Square: lanes<N>(b, y, ch, nan, [&](int i) { return u[i] * u[i]; }); break;
      case POp::AddK: lanes<N>(b, y, ch, nan, [&](int i) { return u[i] + k; }); break;
      case POp::MulK: lanes<N>(b, y, ch, nan, [&](int i) { return u[i] * k; }); break;
      case POp::KSub: lanes<N>(b, y, ch, nan, [&](int i) { return k - u[i]; }); break;
      case POp::MulAdd: lanes<N>(b, y, ch, nan, [&](int i) { return u[i] * w[i] + v[i]; }); break;
      case POp::Unary:
        unary_lanes<0>(static_cast<Elementary>(in.fn), u, u, y, b);
        if (ch) lanes<N>(b, y, true, nan, [&](int i) { return y[i]; });
        break;
      case POp::Unary1: {
        Elementary f = static_cast<Elementary>(in.fn);
        if (f == Elementary::Asin || f == Elementary::Acos)
          for (int i = 0; i < b; ++i) bad |= 1 - u[i] * u[i] <= 0;
        if (f == Elementary::Sqrt)
          for (int i = 0; i < b; ++i) bad |= w[i] <= 0;
        unary_lanes<1>(f, u, w, y, b);
        break;
      }
      case POp::Unary2: unary_lanes<2>(static_cast<Elementary>(in.fn), u, w, y, b); break;
      case POp::Pow: lanes<N>(b, y, ch, nan, [&](int i) { return power(u[i], w[i]); }); break;
      case POp::PowD1:
        lanes<N>(b, y, false, nan, [&](int i) { return w[i] == 0 ? 0.0 : w[i] * power(u[i], w[i] - 1); });
        break;
      case POp::PowD2:
        lanes<N>(b, y, false, nan, [&](int i) {
          double e = w[i];
          return (e == 0 || e == 1) ? 0.0 : e * (e - 1) * power(u[i], e - 2);
        });
        break;
      case POp::Value: {
        const int *f = g.formula.data() + k0;
        for (int i = 0; i < b; ++i) nan[i] += u[i] - u[i];
        for (int i = 0; i < b; ++i) out[f[i]] = u[i];
        break;
      }
      case POp::Gradient:
      case POp::Hessian: {
        const int *pos = (in.op == POp::Gradient ? g.gtarget.data() : g.htarget.data()) + in.slot * K + k0;
        for (int i = 0; i < b; ++i) nan[i] += u[i] - u[i];
        for (int i = skip; i < b; ++i) target[pos[i]] += weight[i - skip] * u[i];
        break;
      }
    }
  }
  if (N > 0) {
    // Halving sums keep a NaN, and vectorise.
    for (int w = N / 2; w > 0; w /= 2)
      for (int i = 0; i < w; ++i) nan[i] += nan[i + w];
    return !bad && nan[0] == 0.0;
  }
  for (int i = 0; i < b; ++i) bad |= nan[i] != 0.0;
  return !bad;
}

// An operation whose result is not finite whenever an operand is not (IEEE sums and products;
// the literal of MulK is finite and not 0). Outputs check what they read.
bool keeps_non_finite(const Instr &in) {
  switch (in.op) {
    case POp::Neg: case POp::Add: case POp::Sub: case POp::Mul: case POp::Square: case POp::AddK: case POp::KSub:
    case POp::MulAdd: case POp::Value: case POp::Gradient: case POp::Hessian:
      return true;
    case POp::MulK: return in.k != 0 && std::isfinite(in.k);
    default: return false;
  }
}

// A checked result read only by operations that keep a non-finite operand non-finite needs no
// check of its own: its users' checks, or in the end the outputs', catch it. Checking costs as
// much as the arithmetic it guards. Users come after their operands, so a backward pass sees
// every user's final check first.
void drop_implied_checks(Program &p) {
  std::vector<char> used(p.nregs, 0), guarded(p.nregs, 1);
  for (size_t i = p.code.size(); i-- > 0;) {
    Instr &in = p.code[i];
    if (in.dst >= 0 && in.check && used[in.dst] && guarded[in.dst]) in.check = false;
    bool keeps = keeps_non_finite(in);
    // An unchecked user passes a non-finite value on only if its own result is guarded.
    bool passes = keeps && (in.dst < 0 || in.check || (used[in.dst] && guarded[in.dst]));
    auto note = [&](int r) {
      used[r] = 1;
      if (!passes) guarded[r] = 0;
    };
    if (uses_a(in.op)) note(in.a);
    if (uses_b(in.op)) note(in.b);
    if (uses_c(in.op)) note(in.c);
  }
}

// Drops the instructions that neither an output nor a checked value needs.
void drop_dead(Program &p) {
  std::vector<char> live(p.nregs, 0);
  std::vector<char> keep(p.code.size(), 0);
  for (size_t i = p.code.size(); i-- > 0;) {
    const Instr &in = p.code[i];
    if (!(in.dst < 0 || in.check || live[in.dst])) continue;
    keep[i] = 1;
    live[in.a] = live[in.b] = live[in.c] = 1;
  }
  size_t n = 0;
  for (size_t i = 0; i < p.code.size(); ++i)
    if (keep[i]) p.code[n++] = p.code[i];
  p.code.resize(n);
}

}  // namespace

KLVO_WIDE_VECTORS bool run_program(const Group &g, const Program &p, int k0, int b, const double *x, double *regs,
                                   const double *weight, double *target, double *out) {
  // A last partial block of a group of full ones runs as a full block ending at the group's end.
  if (g.lanes == kBlock) return run_block<kBlock>(g, p, k0 - (kBlock - b), kBlock, kBlock - b, x, regs, weight, target, out);
  return run_block<0>(g, p, k0, b, 0, x, regs, weight, target, out);
}

void compile_group(Group &g) {
  g.compiled = false;
  if (g.nodes.size() > kMaxCompiledNodes || !supported(g)) return;
  g.lanes = std::min(kBlock, std::max(g.ninst, 1));
  // Constants equal in every instance are literals of the code.
  std::vector<char> uniform(g.nconst, 1);
  for (int c = 0; c < g.nconst; ++c) {
    const double *v = g.consts.data() + static_cast<size_t>(c) * g.ninst;
    for (int k = 1; k < g.ninst && uniform[c]; ++k) uniform[c] = std::memcmp(&v[k], &v[0], sizeof(double)) == 0;
    if (g.ninst == 0) uniform[c] = 0;
  }
  for (int kind = 0; kind < 3; ++kind) {
    g.program[kind] = Program();
    if (kind == kHessians && g.pattern.empty()) continue;
    bool ok = compile(g, static_cast<Kind>(kind), uniform, g.program[kind]);
    drop_implied_checks(g.program[kind]);
    drop_dead(g.program[kind]);
    if (!ok ||
        g.program[kind].nregs * static_cast<size_t>(g.lanes) > kMaxRegisterEntries) {
      for (Program &p : g.program) p = Program();
      return;
    }
  }
  g.compiled = true;
}

}  // namespace nlp
}  // namespace klvo
