// Formula compiler and tape evaluation with forward-over-reverse automatic differentiation.
#include "engines/nlp/formula.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "env/error.h"
#include "klvo/nlp.h"

namespace klvo {
namespace nlp {

namespace {

thread_local bool g_user_error = false;

const double kTwoOverSqrtPi = 1.1283791670955126;
const double kLn10 = 2.302585092994046;

struct FunctionInfo {
  int code;
  Op op;
  int arity;  // -1 n-ary
  const char *name;
};

const FunctionInfo kFunctions[] = {
    {14, Op::Log10, 1, "log10"}, {15, Op::Log, 1, "log"},   {16, Op::Exp, 1, "exp"},
    {17, Op::Abs, 1, "abs"},     {18, Op::Sqrt, 1, "sqrt"}, {27, Op::Sin, 1, "sin"},
    {28, Op::Cos, 1, "cos"},     {29, Op::Tan, 1, "tan"},   {30, Op::Asin, 1, "asin"},
    {31, Op::Acos, 1, "acos"},   {32, Op::Atan, 1, "atan"}, {33, Op::Min, -1, "min"},
    {34, Op::Max, -1, "max"},    {35, Op::Pwl, -1, "pwl"},  {36, Op::Sum, -1, "sum"},
    {37, Op::Prod, -1, "prod"},  {46, Op::Sign, 1, "sign"}, {49, Op::Erf, 1, "erf"},
    {50, Op::Erfc, 1, "erfc"},
};

const FunctionInfo *find_function(int code) {
  for (const auto &f : kFunctions)
    if (f.code == code) return &f;
  return nullptr;
}

bool as_int(double v, int &out) {
  if (!(v >= -2147483648.0 && v <= 2147483647.0) || v != std::floor(v)) return false;
  out = static_cast<int>(v);
  return true;
}

const char *operator_name(int code) {
  switch (code) {
    case 1: return "unary minus";
    case 2: return "power";
    case 3: return "times";
    case 4: return "divide";
    case 5: return "plus";
    case 6: return "minus";
    default: return nullptr;
  }
}

// u^b, by repeated squaring for small integral exponents (squares and cubes are common and
// std::pow is slow for them), by std::pow otherwise.
double power(double u, double b) {
  if (b == std::floor(b) && std::fabs(b) <= 64) {
    long k = static_cast<long>(std::fabs(b));
    double r = 1.0, base = u;
    while (k) {
      if (k & 1) r *= base;
      base *= base;
      k >>= 1;
    }
    return b < 0 ? 1.0 / r : r;
  }
  return std::pow(u, b);
}

}  // namespace

const char *function_name(int code) {
  const FunctionInfo *f = find_function(code);
  return f ? f->name : nullptr;
}

void set_user_function_error() { g_user_error = true; }

int Tape::add_node(Op op, const std::vector<int> &operands, double c, const UserFunction *user) {
  Node n{};
  n.op = op;
  n.arg = static_cast<int>(args_.size());
  n.nargs = static_cast<int>(operands.size());
  n.c = c;
  n.user = user;
  n.dep = op == Op::Var;
  for (int o : operands) {
    args_.push_back(o);
    n.dep = n.dep || nodes_[o].dep;
  }
  if (op == Op::User) has_user_ = true;
  nodes_.push_back(n);
  return static_cast<int>(nodes_.size()) - 1;
}

// Variable nodes hold their column in c while the tape is built; finish() turns columns into
// local indices (cols_ maps them back) and computes the Hessian structure.
void Tape::finish() {
  std::vector<int> columns;
  for (const Node &n : nodes_)
    if (n.op == Op::Var) columns.push_back(static_cast<int>(n.c));
  std::sort(columns.begin(), columns.end());
  columns.erase(std::unique(columns.begin(), columns.end()), columns.end());
  for (Node &n : nodes_)
    if (n.op == Op::Var)
      n.c = static_cast<double>(std::lower_bound(columns.begin(), columns.end(), static_cast<int>(n.c)) - columns.begin());
  cols_ = std::move(columns);
  nsecond_ = 0;
  for (Node &n : nodes_) {
    n.soff = nsecond_;
    nsecond_ += n.nargs * n.nargs;
  }
  hessian_structure();
}

// The Hessian is the sum over nodes of adjoint * d2(node)/d(arg_k)d(arg_l) * grad(arg_k)
// grad(arg_l)', so its pattern is the union, over the operand pairs (k, l) a node can have a
// non-zero second derivative for, of dep(arg_k) x dep(arg_l). Columns are then grouped so
// that no two in a group share a row of the pattern (distance-2 colouring); one sweep per
// group recovers all of the group's entries.
void Tape::hessian_structure() {
  size_t nn = nodes_.size();
  std::vector<std::vector<int>> dep(nn);
  std::vector<std::pair<int, int>> pairs;
  auto cross = [&](const std::vector<int> &a, const std::vector<int> &b) {
    for (int i : a)
      for (int j : b) pairs.push_back({std::max(i, j), std::min(i, j)});
  };
  for (size_t i = 0; i < nn; ++i) {
    const Node &n = nodes_[i];
    const int *a = args_.data() + n.arg;
    if (n.op == Op::Var) {
      dep[i] = {static_cast<int>(n.c)};
      continue;
    }
    if (!n.dep) continue;
    for (int k = 0; k < n.nargs; ++k) {
      std::vector<int> merged;
      std::set_union(dep[i].begin(), dep[i].end(), dep[a[k]].begin(), dep[a[k]].end(), std::back_inserter(merged));
      dep[i].swap(merged);
    }
    switch (n.op) {
      case Op::Mul: cross(dep[a[0]], dep[a[1]]); break;
      case Op::Div:
        cross(dep[a[0]], dep[a[1]]);
        cross(dep[a[1]], dep[a[1]]);
        break;
      case Op::Pow:
        cross(dep[a[0]], dep[a[0]]);
        cross(dep[a[0]], dep[a[1]]);
        cross(dep[a[1]], dep[a[1]]);
        break;
      case Op::Exp: case Op::Log: case Op::Log10: case Op::Sin: case Op::Cos: case Op::Tan: case Op::Asin:
      case Op::Acos: case Op::Atan: case Op::Erf: case Op::Erfc: case Op::Sqrt:
        cross(dep[a[0]], dep[a[0]]);
        break;
      case Op::Prod:
        for (int k = 0; k < n.nargs; ++k)
          for (int l = 0; l < k; ++l) cross(dep[a[k]], dep[a[l]]);
        break;
      case Op::User:
        for (int k = 0; k < n.nargs; ++k)
          for (int l = 0; l <= k; ++l) cross(dep[a[k]], dep[a[l]]);
        break;
      default: break;  // linear or piecewise linear: no second derivative
    }
  }
  std::sort(pairs.begin(), pairs.end());
  pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
  pattern_ = std::move(pairs);

  int nc = static_cast<int>(cols_.size());
  std::vector<std::vector<int>> rows(nc);  // symmetric pattern, by column
  for (auto &p : pattern_) {
    rows[p.first].push_back(p.second);
    if (p.first != p.second) rows[p.second].push_back(p.first);
  }
  color_.assign(nc, -1);
  std::vector<int> mark;
  int ncolors = 0;
  for (int m = 0; m < nc; ++m) {
    if (rows[m].empty()) continue;
    mark.assign(ncolors + 1, 0);
    for (int l : rows[m])
      for (int other : rows[l])
        if (other != m && color_[other] >= 0) mark[color_[other]] = 1;
    int c = 0;
    while (mark[c]) ++c;
    color_[m] = c;
    ncolors = std::max(ncolors, c + 1);
  }
  by_color_.assign(ncolors, {});
  for (size_t e = 0; e < pattern_.size(); ++e) {
    // Entry (i, j) is read from the sweep of column j's group, at row i.
    by_color_[color_[pattern_[e].second]].push_back(static_cast<int>(e));
  }
}

Tape Tape::parse(const Token *tk, int ntokens, int ncols, const UserFunctions *users) {
  Tape t;
  std::vector<int> stack;  // node indices; -1 marks the start of an argument list
  auto pop = [&](int pos, const char *what) {
    if (stack.empty() || stack.back() < 0)
      fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: %s at token %d is missing an operand", what, pos);
    int v = stack.back();
    stack.pop_back();
    return v;
  };
  auto pop_list = [&](int pos, const char *what) {
    std::vector<int> list;
    while (!stack.empty() && stack.back() >= 0) {
      list.push_back(stack.back());
      stack.pop_back();
    }
    if (stack.empty())
      fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: %s at token %d has no start of its argument list (token type 22)",
           what, pos);
    stack.pop_back();
    return list;  // last pushed first
  };
  for (int i = 0; i < ntokens; ++i) {
    const Token &k = tk[i];
    switch (k.type) {
      case kEnd:
        if (i != ntokens - 1) fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: tokens follow the end token at token %d", i);
        break;
      case kConst:
        if (!std::isfinite(k.value)) fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: constant at token %d is not finite", i);
        stack.push_back(t.add_node(Op::Const, {}, k.value));
        break;
      case kColumn: {
        int col;
        if (!as_int(k.value, col) || col < 0 || col >= ncols)
          fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: column %g at token %d is out of range (the problem has %d columns)",
               k.value, i, ncols);
        stack.push_back(t.add_node(Op::Var, {}, col));
        break;
      }
      case kMarker:
        stack.push_back(-1);
        break;
      case kOperator: {
        int code;
        const char *name = as_int(k.value, code) ? operator_name(code) : nullptr;
        if (!name) fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: unknown operator %g at token %d", k.value, i);
        if (code == 1) {
          int a = pop(i, name);
          stack.push_back(t.add_node(Op::Neg, {a}));
        } else {
          int b = pop(i, name);
          int a = pop(i, name);
          static const Op ops[] = {Op::Neg, Op::Neg, Op::Pow, Op::Mul, Op::Div, Op::Add, Op::Sub};
          stack.push_back(t.add_node(ops[code], {a, b}));
        }
        break;
      }
      case kFunc: {
        int code;
        const FunctionInfo *f = as_int(k.value, code) ? find_function(code) : nullptr;
        if (!f) fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: unknown function code %g at token %d", k.value, i);
        std::vector<int> list = pop_list(i, f->name);
        if (f->arity == 1) {
          if (list.size() != 1)
            fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: %s at token %d takes one argument, not %d", f->name, i,
                 static_cast<int>(list.size()));
          stack.push_back(t.add_node(f->op, list));
          break;
        }
        if ((f->op == Op::Min || f->op == Op::Max) && list.empty())
          fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: %s at token %d has no argument", f->name, i);
        if (f->op == Op::Pwl) {
          if (list.size() < 3 || list.size() % 2 == 0)
            fail(KLVO_ERR_INVALID_ARGUMENT,
                 "Invalid formula: pwl at token %d needs an argument and pairs of breakpoints (x, y), got %d operands", i,
                 static_cast<int>(list.size()));
          double prev = -HUGE_VAL;
          for (size_t j = 1; j < list.size(); ++j) {
            const Node &n = t.nodes_[list[j]];
            double v;
            if (n.op == Op::Const) v = n.c;
            else if (n.op == Op::Neg && t.nodes_[t.args_[n.arg]].op == Op::Const) v = -t.nodes_[t.args_[n.arg]].c;
            else fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: the breakpoints of pwl at token %d must be constants", i);
            if (j % 2 == 1) {
              if (v < prev)
                fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: the breakpoints of pwl at token %d are not in increasing order", i);
              prev = v;
            }
          }
        }
        stack.push_back(t.add_node(f->op, list));
        break;
      }
      case kUserFunc: {
        int id;
        const UserFunction *uf = (users && as_int(k.value, id)) ? users->find(id) : nullptr;
        if (!uf) fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: no user function with id %g (token %d)", k.value, i);
        std::vector<int> list = pop_list(i, uf->name.c_str());
        if (static_cast<int>(list.size()) != uf->arity)
          fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: user function %s at token %d takes %d arguments, got %d",
               uf->name.c_str(), i, uf->arity, static_cast<int>(list.size()));
        stack.push_back(t.add_node(Op::User, list, 0.0, uf));
        break;
      }
      default:
        fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: unknown token type %d at token %d", k.type, i);
    }
  }
  if (stack.size() != 1 || stack[0] < 0) {
    if (stack.empty()) fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: it is empty");
    fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: it leaves %d entries on the stack instead of one value",
         static_cast<int>(stack.size()));
  }
  return t;
}

Tape Tape::compile(const Token *tk, int ntokens, int ncols, const UserFunctions *users, int column, double factor) {
  Tape t = parse(tk, ntokens, ncols, users);
  int root = static_cast<int>(t.nodes_.size()) - 1;
  if (column >= 0) {
    int v = t.add_node(Op::Var, {}, column);
    root = t.add_node(Op::Mul, {root, v});
  }
  if (factor != 1.0) {
    int c = t.add_node(Op::Const, {}, factor);
    root = t.add_node(Op::Mul, {root, c});
  }
  t.finish();
  return t;
}

void Tape::check(const Token *tk, int ntokens, int ncols, const UserFunctions *users) { parse(tk, ntokens, ncols, users); }

void Tape::resize(TapeWork &w) const {
  size_t n = nodes_.size();
  if (w.v.size() < n) {
    w.v.resize(n);
    w.t.resize(n);
    w.a.resize(n);
    w.at.resize(n);
  }
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
    case Op::Exp: y = std::exp(u); break;
    case Op::Log:
      if (u <= 0) return false;
      y = std::log(u);
      break;
    case Op::Log10:
      if (u <= 0) return false;
      y = std::log10(u);
      break;
    case Op::Sin: y = std::sin(u); break;
    case Op::Cos: y = std::cos(u); break;
    case Op::Tan: y = std::tan(u); break;
    case Op::Asin: y = std::asin(u); break;
    case Op::Acos: y = std::acos(u); break;
    case Op::Atan: y = std::atan(u); break;
    case Op::Abs: y = std::fabs(u); break;
    case Op::Sign: y = u > 0 ? 1.0 : (u < 0 ? -1.0 : 0.0); break;
    case Op::Erf: y = std::erf(u); break;
    case Op::Erfc: y = std::erfc(u); break;
    case Op::Sqrt: y = std::sqrt(u); break;
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
    case Op::Exp: d[0] = y; if (s) s[0] = y; break;
    case Op::Log: d[0] = 1 / u; if (s) s[0] = -1 / (u * u); break;
    case Op::Log10: d[0] = 1 / (u * kLn10); if (s) s[0] = -1 / (u * u * kLn10); break;
    case Op::Sin: d[0] = std::cos(u); if (s) s[0] = -y; break;
    case Op::Cos: d[0] = -std::sin(u); if (s) s[0] = -y; break;
    case Op::Tan: d[0] = 1 + y * y; if (s) s[0] = 2 * y * (1 + y * y); break;
    case Op::Asin:
    case Op::Acos: {
      double q = 1 - u * u;
      if (q <= 0) return false;
      double sign = n.op == Op::Asin ? 1.0 : -1.0;
      d[0] = sign / std::sqrt(q);
      if (s) s[0] = sign * u / (q * std::sqrt(q));
      break;
    }
    case Op::Atan: {
      double q = 1 + u * u;
      d[0] = 1 / q;
      if (s) s[0] = -2 * u / (q * q);
      break;
    }
    case Op::Abs: d[0] = u > 0 ? 1.0 : (u < 0 ? -1.0 : 0.0); break;
    case Op::Sign: d[0] = 0; break;
    case Op::Erf:
    case Op::Erfc: {
      double g = kTwoOverSqrtPi * std::exp(-u * u) * (n.op == Op::Erf ? 1.0 : -1.0);
      d[0] = g;
      if (s) s[0] = -2 * u * g;
      break;
    }
    case Op::Sqrt:
      if (y <= 0) return false;
      d[0] = 0.5 / y;
      if (s) s[0] = -0.25 / (y * y * y);
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
    case Op::Prod:
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
      break;
    case Op::Pwl: {
      // Slope of the segment the value came from: differentiate the value formula in u.
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
      d[0] = seg < 0 ? 0.0 : (py(seg + 1) - py(seg)) / (px(seg + 1) - px(seg));
      break;
    }
    case Op::User: {
      std::vector<double> in(m), g(m);
      for (int k = 0; k < m; ++k) in[k] = v[a[k]];
      double f;
      if (!call_user(n, in.data(), f, d, true)) return false;
      if (!s) break;
      const UserFunction &uf = *n.user;
      if (uf.type == 5) {
        // Central differences of the returned first derivatives.
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
      } else {
        // Second differences of the values.
        double f0 = y;
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
      }
      break;
    }
    default: break;
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

std::vector<Token> normalize_tokens(const int *type, const double *value, int ntokens, int ncols,
                                    const UserFunctions *users, Tape *tape) {
  if (ntokens < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: negative token count %d", ntokens);
  if (ntokens > 0 && (!type || !value)) fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: null token arrays");
  std::vector<Token> tokens(ntokens);
  for (int i = 0; i < ntokens; ++i) tokens[i] = Token{type[i], value[i]};
  if (tape) *tape = Tape::compile(tokens.data(), ntokens, ncols, users);
  else Tape::check(tokens.data(), ntokens, ncols, users);
  if (!tokens.empty() && tokens.back().type == kEnd) tokens.pop_back();
  return tokens;
}

}  // namespace nlp
}  // namespace klvo
