// Compiling the evaluator: formulas folded and numbered, grouped by shape, each group's Hessian
// pattern and colouring computed once, its per-instance data turned to structure-of-arrays.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <string>
#include <unordered_map>

#include "engines/nlp/evaluator_internal.h"
#include "env/error.h"

namespace klvo {
namespace nlp {

struct Evaluator::Builder {
  std::unordered_map<std::string, int> group_by_key;
  // Scratch of the formula being added.
  std::vector<EvalNode> nodes;
  std::vector<int> args, cols, newindex;
  std::vector<double> consts, folded;
  std::vector<char> is_folded;
  std::string key;
};

Evaluator::Evaluator() : builder_(new Builder), work_(new Work) {}
Evaluator::~Evaluator() = default;
Evaluator::Evaluator(Evaluator &&) noexcept = default;
Evaluator &Evaluator::operator=(Evaluator &&) noexcept = default;

namespace {

bool has_second(Op op) {
  switch (op) {
    case Op::Mul: case Op::Div: case Op::Pow: case Op::Exp: case Op::Log: case Op::Log10: case Op::Sin:
    case Op::Cos: case Op::Tan: case Op::Asin: case Op::Acos: case Op::Atan: case Op::Erf: case Op::Erfc:
    case Op::Sqrt: case Op::Prod: case Op::User: case Op::Square:
      return true;
    default: return false;
  }
}

template <class T>
void append_bytes(std::string &key, const T &v) {
  key.append(reinterpret_cast<const char *>(&v), sizeof v);
}

// The Hessian is the sum over nodes of adjoint * d2(node)/d(arg_k)d(arg_l) * grad(arg_k)
// grad(arg_l)', so its pattern is the union, over the operand pairs (k, l) a node can have a
// non-zero second derivative for, of dep(arg_k) x dep(arg_l).
void hessian_pattern(Evaluator::Group &g) {
  size_t nn = g.nodes.size();
  std::vector<std::vector<int>> dep(nn);
  std::vector<std::pair<int, int>> pairs;
  auto cross = [&](const std::vector<int> &a, const std::vector<int> &b) {
    for (int i : a)
      for (int j : b) pairs.push_back({std::max(i, j), std::min(i, j)});
  };
  for (size_t i = 0; i < nn; ++i) {
    const EvalNode &n = g.nodes[i];
    const int *a = g.args.data() + n.arg;
    if (n.op == Op::Var) {
      dep[i] = {n.slot};
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
      case Op::Prod:
        for (int k = 0; k < n.nargs; ++k)
          for (int l = 0; l < k; ++l) cross(dep[a[k]], dep[a[l]]);
        break;
      case Op::User:
        for (int k = 0; k < n.nargs; ++k)
          for (int l = 0; l <= k; ++l) cross(dep[a[k]], dep[a[l]]);
        break;
      default:
        if (n.second) cross(dep[a[0]], dep[a[0]]);  // the one-argument functions
        break;
    }
  }
  std::sort(pairs.begin(), pairs.end());
  pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
  g.pattern = std::move(pairs);
}

// Local variables are coloured so that no two of a colour share a row of the pattern
// (distance-2 colouring); one sweep per colour recovers all of its entries.
void color_columns(Evaluator::Group &g) {
  int nc = g.nlocal;
  std::vector<std::vector<int>> rows(nc);
  for (auto &p : g.pattern) {
    rows[p.first].push_back(p.second);
    if (p.first != p.second) rows[p.second].push_back(p.first);
  }
  g.color.assign(nc, -1);
  std::vector<int> mark;
  int ncolors = 0;
  for (int m = 0; m < nc; ++m) {
    if (rows[m].empty()) continue;
    mark.assign(ncolors + 1, 0);
    for (int l : rows[m])
      for (int other : rows[l])
        if (other != m && g.color[other] >= 0) mark[g.color[other]] = 1;
    int c = 0;
    while (mark[c]) ++c;
    g.color[m] = c;
    ncolors = std::max(ncolors, c + 1);
  }
  g.by_color.assign(ncolors, {});
  // Entry (i, j) is read from the sweep of column j's colour, at row i.
  for (size_t e = 0; e < g.pattern.size(); ++e) g.by_color[g.color[g.pattern[e].second]].push_back(static_cast<int>(e));
  // A node that depends on no variable of a colour has a zero tangent in that colour's sweep.
  g.colors_of.assign(g.nodes.size(), 0);
  for (size_t i = 0; i < g.nodes.size(); ++i) {
    const EvalNode &n = g.nodes[i];
    if (n.op == Op::Var) {
      int c = g.color[n.slot];
      if (c >= 0) g.colors_of[i] = uint64_t{1} << std::min(c, 63);
      continue;
    }
    for (int k = 0; k < n.nargs; ++k) g.colors_of[i] |= g.colors_of[g.args[n.arg + k]];
  }
}

template <class T>
void to_slot_major(std::vector<T> &v, int nslots, int ninst) {
  if (nslots <= 1) return;
  std::vector<T> t(v.size());
  for (int k = 0; k < ninst; ++k)
    for (int s = 0; s < nslots; ++s) t[static_cast<size_t>(s) * ninst + k] = v[static_cast<size_t>(k) * nslots + s];
  v.swap(t);
}

}  // namespace

int Evaluator::add(const Token *tokens, int ntokens, int ncols, const UserFunctions *users, int column, double factor,
                   int side) {
  Builder &b = *builder_;
  ParsedFormula t = parse_formula(tokens, ntokens, ncols, users);
  int root = static_cast<int>(t.nodes.size()) - 1;
  if (column >= 0) {
    int v = t.add_node(Op::Var, {}, column);
    root = t.add_node(Op::Mul, {root, v});
  }
  if (factor != 1.0) {
    int c = t.add_node(Op::Const, {}, factor);
    root = t.add_node(Op::Mul, {root, c});
  }

  // Fold what depends on no variable into constants, emitting the rest in operand order.
  size_t nn = t.nodes.size();
  b.nodes.clear();
  b.args.clear();
  b.cols.clear();
  b.consts.clear();
  b.newindex.assign(nn, -1);
  b.folded.assign(nn, 0.0);
  b.is_folded.assign(nn, 0);
  double in[8];
  for (size_t i = 0; i < nn; ++i) {
    const ParsedFormula::Node &n = t.nodes[i];
    if (n.dep || n.op == Op::User || n.nargs > 8) continue;
    bool ok = true;
    for (int k = 0; k < n.nargs && ok; ++k) {
      int a = t.args[n.arg + k];
      ok = b.is_folded[a];
      if (ok) in[k] = b.folded[a];
    }
    double y = n.c;
    if (ok && n.op != Op::Const) ok = node_value(n.op, in, n.nargs, y) && std::isfinite(y);
    if (ok) {
      b.is_folded[i] = 1;
      b.folded[i] = y;
    }
  }
  // A product of two equal subtrees, (e)*(e), is the square of the first; the second is
  // dropped. Subtrees are contiguous in the node list, so equal ones match node by node.
  std::vector<int> start(nn);
  std::vector<char> dropped(nn, 0), square(nn, 0);
  for (size_t i = 0; i < nn; ++i) {
    const ParsedFormula::Node &n = t.nodes[i];
    start[i] = static_cast<int>(i);
    for (int k = 0; k < n.nargs; ++k) start[i] = std::min(start[i], start[t.args[n.arg + k]]);
    if (n.op != Op::Mul || !n.dep || dropped[i]) continue;
    int a = t.args[n.arg], c = t.args[n.arg + 1];
    int sa = start[a], sc = start[c], len = a - sa;
    if (c - sc != len) continue;
    bool same = true;
    for (int k = 0; k <= len && same; ++k) {
      const ParsedFormula::Node &x = t.nodes[sa + k], &y = t.nodes[sc + k];
      same = x.op == y.op && x.nargs == y.nargs && x.c == y.c && x.user == y.user;
      for (int j = 0; j < x.nargs && same; ++j) same = t.args[x.arg + j] - sa == t.args[y.arg + j] - sc;
    }
    if (!same) continue;
    square[i] = 1;
    std::fill(dropped.begin() + sc, dropped.begin() + c + 1, 1);
  }
  auto emit_const = [&](double c) {
    EvalNode e{Op::Const, false, false, 0, 0, static_cast<int>(b.consts.size()), 0, nullptr};
    b.consts.push_back(c);
    b.nodes.push_back(e);
    return static_cast<int>(b.nodes.size()) - 1;
  };
  // A tree: every node is the operand of at most one other, so emitting on use keeps order.
  for (size_t i = 0; i < nn; ++i) {
    const ParsedFormula::Node &n = t.nodes[i];
    if (b.is_folded[i] || dropped[i]) continue;  // a folded node is emitted as a constant by its user
    EvalNode e{n.op, n.dep, n.dep && has_second(n.op), 0, n.nargs, -1, 0, n.user};
    int a1 = n.nargs == 2 ? t.args[n.arg + 1] : -1;
    if (square[i] || (n.op == Op::Pow && b.is_folded[a1] && b.folded[a1] == 2.0)) {
      // Squares are common and far cheaper than a general power and its derivatives.
      e.op = Op::Square;
      e.nargs = 1;
      e.second = n.dep;
    }
    for (int k = 0; k < e.nargs; ++k) {
      int a = t.args[n.arg + k];
      if (b.is_folded[a]) b.newindex[a] = emit_const(b.folded[a]);
    }
    e.arg = static_cast<int>(b.args.size());
    for (int k = 0; k < e.nargs; ++k) b.args.push_back(b.newindex[t.args[n.arg + k]]);
    if (n.op == Op::Const) {
      e.slot = static_cast<int>(b.consts.size());
      b.consts.push_back(n.c);
    } else if (n.op == Op::Var) {
      int col = static_cast<int>(n.c);
      auto it = std::find(b.cols.begin(), b.cols.end(), col);
      e.slot = static_cast<int>(it - b.cols.begin());
      if (it == b.cols.end()) b.cols.push_back(col);
    }
    b.nodes.push_back(e);
    b.newindex[i] = static_cast<int>(b.nodes.size()) - 1;
  }
  if (b.is_folded[root]) emit_const(b.folded[root]);

  // The shape: operations, operand links, variable numbering, user functions and side.
  b.key.clear();
  append_bytes(b.key, side);
  for (const EvalNode &e : b.nodes) {
    append_bytes(b.key, static_cast<uint8_t>(e.op));
    append_bytes(b.key, e.nargs);
    if (e.op == Op::Var) append_bytes(b.key, e.slot);
    if (e.op == Op::User) append_bytes(b.key, e.user);
  }
  b.key.append(reinterpret_cast<const char *>(b.args.data()), b.args.size() * sizeof(int));
  auto found = b.group_by_key.find(b.key);
  int gi;
  if (found == b.group_by_key.end()) {
    gi = static_cast<int>(groups_.size());
    groups_.emplace_back();
    Group &g = groups_.back();
    g.side = side;
    g.nodes = b.nodes;
    g.args = b.args;
    g.nconst = static_cast<int>(b.consts.size());
    g.nlocal = static_cast<int>(b.cols.size());
    for (EvalNode &e : g.nodes) {
      if (!e.second) continue;
      e.soff = g.nsecond;
      g.nsecond += e.nargs * e.nargs;
    }
    hessian_pattern(g);
    color_columns(g);
    b.group_by_key.emplace(b.key, gi);
  } else {
    gi = found->second;
  }
  Group &g = groups_[gi];
  g.consts.insert(g.consts.end(), b.consts.begin(), b.consts.end());
  g.cols.insert(g.cols.end(), b.cols.begin(), b.cols.end());
  int id = static_cast<int>(group_of_.size());
  g.formula.push_back(id);
  group_of_.push_back(gi);
  instance_of_.push_back(g.ninst++);
  if (t.has_user) has_user_ = true;
  return id;
}

void Evaluator::finish() {
  for (Group &g : groups_) {
    to_slot_major(g.consts, g.nconst, g.ninst);
    to_slot_major(g.cols, g.nlocal, g.ninst);
    g.gtarget.assign(static_cast<size_t>(g.nlocal) * g.ninst, 0);
    g.htarget.assign(g.pattern.size() * g.ninst, 0);
    compile_group(g);
  }
  builder_.reset();
}

int Evaluator::size() const { return static_cast<int>(group_of_.size()); }
bool Evaluator::has_user_functions() const { return has_user_; }

int Evaluator::nlocal(int f) const { return groups_[group_of_[f]].nlocal; }

int Evaluator::local_col(int f, int l) const {
  const Group &g = groups_[group_of_[f]];
  return g.cols[static_cast<size_t>(l) * g.ninst + instance_of_[f]];
}

int Evaluator::npattern(int f) const { return static_cast<int>(groups_[group_of_[f]].pattern.size()); }

std::pair<int, int> Evaluator::pattern(int f, int e) const { return groups_[group_of_[f]].pattern[e]; }

void Evaluator::set_gradient_target(int f, int l, int position) {
  Group &g = groups_[group_of_[f]];
  g.gtarget[static_cast<size_t>(l) * g.ninst + instance_of_[f]] = position;
}

void Evaluator::set_hessian_target(int f, int e, int position) {
  Group &g = groups_[group_of_[f]];
  g.htarget[static_cast<size_t>(e) * g.ninst + instance_of_[f]] = position;
}

}  // namespace nlp
}  // namespace klvo
