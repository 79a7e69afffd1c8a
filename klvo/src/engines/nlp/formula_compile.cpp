// Compiling a formula tape: parsed nodes (formula_parse.cpp) become a tape with local variable
// indices, the offsets of each node's second-derivative block, and the Hessian's sparsity
// pattern with the column groups its sweeps use.
#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

#include "engines/nlp/formula.h"

namespace klvo {
namespace nlp {

// The parsed formula, times the entry's column and factor as extra nodes, finished once.
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

int Tape::add_node(Op op, const int *first, const int *last, double c, const UserFunction *user) {
  Node n{};
  n.op = op;
  n.arg = static_cast<int>(args_.size());
  n.nargs = static_cast<int>(last - first);
  n.c = c;
  n.user = user;
  n.dep = op == Op::Var;
  for (const int *o = first; o != last; ++o) {
    args_.push_back(*o);
    n.dep = n.dep || nodes_[*o].dep;
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
  hessian_pattern();
  color_columns();
}

// The Hessian is the sum over nodes of adjoint * d2(node)/d(arg_k)d(arg_l) * grad(arg_k)
// grad(arg_l)', so its pattern is the union, over the operand pairs (k, l) a node can have a
// non-zero second derivative for, of dep(arg_k) x dep(arg_l).
void Tape::hessian_pattern() {
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
}

// Columns are grouped so that no two in a group share a row of the pattern (distance-2
// colouring); one sweep per group recovers all of the group's entries.
void Tape::color_columns() {
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

}  // namespace nlp
}  // namespace klvo
