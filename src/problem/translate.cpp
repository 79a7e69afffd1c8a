// Body translation (constant, linear, quadratic and formula entries) and formula encoding and
// decoding in the library's parsed token format.
#include "problem/translate.h"

#include <algorithm>
#include <new>
#include <numeric>

#include "expr/expr.h"
#include "model/var.h"
#include "problem/user_functions.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

void RowEntries::clear() {
  lin_col.clear();
  lin_val.clear();
  q_col1.clear();
  q_col2.clear();
  q_val.clear();
  f_row.clear();
  f_col.clear();
  f_factor.clear();
  f_start.clear();
  tok_type.clear();
  tok_val.clear();
}

namespace {

// Nesting allowed inside one formula.
constexpr int max_formula_depth = 64;

// Token of each node operator: (type, value).
struct Token {
  int type;
  double value;
};
constexpr Token op_tokens[OP_COUNT] = {
    {31, 5},  {31, 6},  {31, 1},  {31, 3},  {31, 4},  {31, 2},  {12, 16}, {12, 15}, {12, 14}, {12, 27},
    {12, 28}, {12, 29}, {12, 30}, {12, 31}, {12, 32}, {12, 34}, {12, 33}, {12, 17}, {12, 46}, {12, 49},
    {12, 50}, {12, 18}, {12, 35}, {12, 36}, {12, 37}, {12, 33}, {12, 34}, {11, 0},  {11, 0},  {11, 0},
};

// Walks one body in either pass. In the count pass nothing is resolved or written; the
// quantities are upper bounds of the fill pass's.
struct Translator {
  ProblemObject *p;
  RowEntries *out;     // null in the count pass
  EntryCounts *count;  // non-null in the count pass
  double *constant;
  int row;
  bool objective;
  ColumnCache *cache = nullptr;
  size_t lin_begin = 0, quad_begin = 0;  // this row's first entries in out

  bool counting() const { return count != nullptr; }

  int column(PyObject *v, const char *context) { return var_column(as_var(v), p, context); }

  // A variable of this problem is its own column: no call, no lookup.
  int linear_column(PyObject *var) {
    const VarObject *v = as_var(var);
    return v->owner == p ? static_cast<int>(v->index_low) : column(var, "linear part of constraint");
  }

  void token(int type, double value) {
    if (counting()) {
      ++count->tokens;
      return;
    }
    out->tok_type.push_back(type);
    out->tok_val.push_back(value);
  }

  void add_linear(int col, double v) {
    out->lin_col.push_back(col);
    out->lin_val.push_back(v);
  }

  // A quadratic entry c * x * y: halved off the diagonal, doubled for objectives.
  void add_quadratic(int c1, int c2, double c) {
    if (c1 != c2) c *= 0.5;
    if (objective) c *= 2.0;
    if (c == 0.0) return;
    if (c1 > c2) std::swap(c1, c2);
    out->q_col1.push_back(c1);
    out->q_col2.push_back(c2);
    out->q_val.push_back(c);
  }

  void sort_linear() {
    size_t n = out->lin_col.size() - lin_begin;
    if (n < 2) return;
    int *cols = out->lin_col.data() + lin_begin;
    double *vals = out->lin_val.data() + lin_begin;
    if (std::is_sorted(cols, cols + n)) return;
    // Every sort here is stable: entries of equal columns keep their order.
    if (n <= 32) {
      for (size_t i = 1; i < n; ++i) {
        int c = cols[i];
        double v = vals[i];
        size_t j = i;
        for (; j > 0 && cols[j - 1] > c; --j) {
          cols[j] = cols[j - 1];
          vals[j] = vals[j - 1];
        }
        cols[j] = c;
        vals[j] = v;
      }
      return;
    }
    // A row's entries come from a hash map in no useful order, and rows are many. One counting
    // pass on the top bits of each column's offset in the row's span spreads the entries over
    // about as many buckets as there are entries, and insertion then finishes in linear time.
    // Columns bunched into few buckets go through a byte-wise radix sort, which has no bad
    // case. The buffers are kept from row to row.
    auto [lo_it, hi_it] = std::minmax_element(cols, cols + n);
    uint32_t lo = static_cast<uint32_t>(*lo_it), span = static_cast<uint32_t>(*hi_it) - lo;
    static thread_local std::vector<int> cols_buf;
    static thread_local std::vector<double> vals_buf;
    static thread_local std::vector<size_t> start;
    cols_buf.resize(n);
    vals_buf.resize(n);
    unsigned bits = 0, shift = 0;
    while ((size_t{1} << bits) < n && bits < 16) ++bits;
    while ((span >> shift) >= (1u << bits)) ++shift;
    size_t buckets = (span >> shift) + 1, fullest = 0;
    start.assign(buckets + 1, 0);
    for (size_t i = 0; i < n; ++i) ++start[((static_cast<uint32_t>(cols[i]) - lo) >> shift) + 1];
    for (size_t d = 1; d <= buckets; ++d) {
      fullest = std::max(fullest, start[d]);
      start[d] += start[d - 1];
    }
    if (fullest <= 32) {
      for (size_t i = 0; i < n; ++i) {
        size_t to = start[(static_cast<uint32_t>(cols[i]) - lo) >> shift]++;
        cols_buf[to] = cols[i];
        vals_buf[to] = vals[i];
      }
      for (size_t i = 0; i < n; ++i) {
        int c = cols_buf[i];
        double v = vals_buf[i];
        size_t j = i;
        for (; j > 0 && cols[j - 1] > c; --j) {
          cols[j] = cols[j - 1];
          vals[j] = vals[j - 1];
        }
        cols[j] = c;
        vals[j] = v;
      }
      return;
    }
    int *src_c = cols, *dst_c = cols_buf.data();
    double *src_v = vals, *dst_v = vals_buf.data();
    for (unsigned byte = 0; byte < 32 && (span >> byte) != 0; byte += 8) {
      size_t at[257] = {};
      for (size_t i = 0; i < n; ++i) ++at[(((static_cast<uint32_t>(src_c[i]) - lo) >> byte) & 255u) + 1];
      for (size_t d = 1; d < 257; ++d) at[d] += at[d - 1];
      for (size_t i = 0; i < n; ++i) {
        size_t to = at[((static_cast<uint32_t>(src_c[i]) - lo) >> byte) & 255u]++;
        dst_c[to] = src_c[i];
        dst_v[to] = src_v[i];
      }
      std::swap(src_c, dst_c);
      std::swap(src_v, dst_v);
    }
    if (src_c != cols) {
      std::copy(src_c, src_c + n, cols);
      std::copy(src_v, src_v + n, vals);
    }
  }

  void sort_quadratic() {
    size_t n = out->q_col1.size() - quad_begin;
    if (n < 2) return;
    int *a = out->q_col1.data() + quad_begin;
    int *b = out->q_col2.data() + quad_begin;
    double *v = out->q_val.data() + quad_begin;
    std::vector<size_t> order(n);
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t x, size_t y) { return a[x] < a[y] || (a[x] == a[y] && b[x] < b[y]); });
    std::vector<int> a2(n), b2(n);
    std::vector<double> v2(n);
    for (size_t i = 0; i < n; ++i) {
      a2[i] = a[order[i]];
      b2[i] = b[order[i]];
      v2[i] = v[order[i]];
    }
    std::copy(a2.begin(), a2.end(), a);
    std::copy(b2.begin(), b2.end(), b);
    std::copy(v2.begin(), v2.end(), v);
  }

  // Linear and quadratic part of an operand of kind k with multiplier m.
  int add_operand(PyObject *o, int k, double m) {
    if (m == 0.0) return 0;
    switch (k) {
      case K_NUMBER: {
        if (counting()) return 0;
        double c = number_value(o);
        if (c == -1.0 && PyErr_Occurred()) return -1;
        *constant += c * m;
        return 0;
      }
      case K_VAR: {
        if (counting()) {
          ++count->lin;
          return 0;
        }
        int col = column(o, "linear part of constraint");
        if (col < 0) return -1;
        add_linear(col, m);
        return 0;
      }
      case K_LIN: {
        if (counting()) {
          ++count->lin;
          return 0;
        }
        int col = column(as_lin(o)->var, "linear term defining constraint");
        if (col < 0) return -1;
        add_linear(col, as_lin(o)->coef * m);
        return 0;
      }
      case K_QUAD: {
        if (counting()) {
          ++count->quad;
          return 0;
        }
        QuadtermObject *q = as_quad(o);
        int c1 = column(q->var1, "quadratic term defining constraint");
        if (c1 < 0) return -1;
        int c2 = column(q->var2, "quadratic term defining constraint");
        if (c2 < 0) return -1;
        add_quadratic(c1, c2, q->coef * m);
        return 0;
      }
      case K_EXPR: return add_expression(as_expr(o), m);
      default: PyErr_SetString(g.ModelError, "Invalid expression"); return -1;
    }
  }

  int add_expression(ExpressionObject *e, double m) {
    if (counting()) {
      if (e->lin) count->lin += static_cast<int64_t>(e->lin->size());
      if (e->quad)
        for (auto &kv : *e->quad) count->quad += static_cast<int64_t>(kv.second->size());
      return 0;
    }
    *constant += e->constant * m;
    if (const FlatLinear *f = e->lin ? e->lin->flat() : nullptr) {
      // Distinct variables with non-zero coefficients, usually already in column order. The
      // variables lie scattered over memory: fetch ahead, their slots in the table first.
      PyObject *const *table = &PyTuple_GET_ITEM(f->table, 0);
      if (const int *cols = cache ? cache->columns(p, f->table, f->n) : nullptr) {
        for (uint32_t i = 0; i < f->n; ++i) {
          int col = cols[f->idx[i]];
          if (col < 0 && (col = column(table[f->idx[i]], "linear part of constraint")) < 0) return -1;
          add_linear(col, f->coef[i] * m);
        }
      } else {
        for (uint32_t i = 0; i < f->n; ++i) {
          if (i + 16 < f->n) __builtin_prefetch(&table[f->idx[i + 16]], 0);
          if (i + 8 < f->n) __builtin_prefetch(table[f->idx[i + 8]], 0);
          int col = linear_column(table[f->idx[i]]);
          if (col < 0) return -1;
          add_linear(col, f->coef[i] * m);
        }
      }
      sort_linear();
    } else if (e->lin && !e->lin->empty()) {
      int rc = for_each_fetching_ahead<0>(*e->lin, [&](const std::pair<PyObject *, double> &kv) {
        if (kv.second == 0.0) return 0;
        int col = linear_column(kv.first);
        if (col < 0) return -1;
        add_linear(col, kv.second * m);
        return 0;
      });
      if (rc < 0) return -1;
      sort_linear();
    }
    if (e->quad && !e->quad->empty()) {
      if (e->serials && !e->serials->empty()) {
        for (uint64_t serial : *e->serials)
          if (!p->var_map || p->var_map->find(serial) == p->var_map->end()) {
            PyErr_SetString(g.ModelError, "Variable in quadratic part of constraint does not belong to this problem");
            return -1;
          }
      }
      for (auto &outer : *e->quad) {
        int c1 = column(outer.first, "quadratic part of constraint");
        if (c1 < 0) return -1;
        for (auto &inner : *outer.second) {
          int c2 = column(inner.first, "quadratic part of constraint");
          if (c2 < 0) return -1;
          add_quadratic(c1, c2, inner.second * m);
        }
      }
      sort_quadratic();
    }
    return 0;
  }

  // Balanced combination: called after operand i of n has been encoded; writes the operator
  // tokens due at that point and returns how many it wrote.
  int combine_after(int i, int n, Token op, int written) {
    if (i + 1 < n) {
      if ((i + 1) % 2 != 0) return 0;
      int w = 0;
      for (unsigned v = static_cast<unsigned>(i + 1); (v & 1u) == 0; v >>= 1) {
        token(op.type, op.value);
        ++w;
      }
      return w;
    }
    int w = 0;
    while (written + w < n - 1) {
      token(op.type, op.value);
      ++w;
    }
    return w;
  }

  // Term c*x[*y] inside a formula.
  int write_term(double c, PyObject *x, PyObject *y) {
    if (c != 1.0 && c != -1.0) token(tok_constant, c);
    int cx = counting() ? 0 : column(x, "nonlinear expression");
    if (cx < 0) return -1;
    token(tok_column, cx);
    if (y) {
      int cy = counting() ? 0 : column(y, "nonlinear expression");
      if (cy < 0) return -1;
      token(tok_column, cy);
      token(tok_operator, 3);
    }
    if (c == -1.0)
      token(tok_operator, 1);
    else if (c != 1.0)
      token(tok_operator, 3);
    return 0;
  }

  // A whole expression inside a formula: constant, linear terms by column, quadratic terms by
  // column pair, summed as a balanced tree.
  int write_expression(ExpressionObject *e) {
    struct Lin {
      int64_t key;
      PyObject *v;
      double c;
    };
    struct Quad {
      int64_t k1, k2;
      PyObject *a, *b;
      double c;
    };
    std::vector<Lin> lins;
    std::vector<Quad> quads;
    if (e->lin)
      for (auto &kv : *e->lin) {
        int64_t key = 0;
        if (!counting()) {
          key = column(kv.first, "nonlinear expression");
          if (key < 0) return -1;
        }
        lins.push_back({key, kv.first, kv.second});
      }
    if (e->quad)
      for (auto &outer : *e->quad) {
        int64_t k1 = 0;
        if (!counting()) {
          k1 = column(outer.first, "nonlinear expression");
          if (k1 < 0) return -1;
        }
        for (auto &inner : *outer.second) {
          int64_t k2 = 0;
          if (!counting()) {
            k2 = column(inner.first, "nonlinear expression");
            if (k2 < 0) return -1;
          }
          if (k1 <= k2)
            quads.push_back({k1, k2, outer.first, inner.first, inner.second});
          else
            quads.push_back({k2, k1, inner.first, outer.first, inner.second});
        }
      }
    std::stable_sort(lins.begin(), lins.end(), [](const Lin &a, const Lin &b) { return a.key < b.key; });
    std::stable_sort(quads.begin(), quads.end(),
                     [](const Quad &a, const Quad &b) { return a.k1 < b.k1 || (a.k1 == b.k1 && a.k2 < b.k2); });
    bool has_constant = e->constant != 0.0;
    int n = static_cast<int>(lins.size() + quads.size()) + (has_constant ? 1 : 0);
    if (n == 0) {
      token(tok_constant, 0.0);
      return 0;
    }
    const Token plus = op_tokens[OP_PLUS];
    int i = 0, written = 0;
    if (has_constant) {
      token(tok_constant, e->constant);
      written += combine_after(i++, n, plus, written);
    }
    for (const Lin &l : lins) {
      if (write_term(l.c, l.v, nullptr) < 0) return -1;
      written += combine_after(i++, n, plus, written);
    }
    for (const Quad &q : quads) {
      if (write_term(q.c, q.a, q.b) < 0) return -1;
      written += combine_after(i++, n, plus, written);
    }
    return 0;
  }

  // A leaf inside a formula.
  int write_leaf(PyObject *o, int k) {
    switch (k) {
      case K_NUMBER: {
        double c = counting() ? 0.0 : number_value(o);
        if (c == -1.0 && PyErr_Occurred()) return -1;
        token(tok_constant, c);
        return 0;
      }
      case K_VAR: {
        int col = counting() ? 0 : column(o, "nonlinear part of constraint");
        if (col < 0) return -1;
        token(tok_column, col);
        return 0;
      }
      case K_LIN: return write_term(as_lin(o)->coef, as_lin(o)->var, nullptr);
      case K_QUAD: return write_term(as_quad(o)->coef, as_quad(o)->var1, as_quad(o)->var2);
      case K_EXPR: return write_expression(as_expr(o));
      default: PyErr_SetString(g.ModelError, "Incorrect argument of nonlinear function"); return -1;
    }
  }

  int write_argument(PyObject *o, int depth) {
    int k = kind_of(o);
    if (k == K_NONLIN) return encode(as_nl(o), depth - 1, nullptr, nullptr);
    return write_leaf(o, k);
  }

  // Encodes node n. At the top of a formula entry (col and factor given) a product may give
  // the entry its column and fold its numbers into the factor; `skip` marks the arguments
  // so consumed.
  int encode(NonlinearObject *n, int depth, int *col, double *factor) {
    if (depth <= 0) {
      PyErr_SetString(g.ModelError,
                      "The expression tree depth reached the maximum limit, please reformulate or simplify the expression");
      return -1;
    }
    // Registering a user function below lets other threads run, which may change a sum's list
    // in place: the operands are held while encoded and re-read from the list each time.
    nb::object args_held = nb::borrow(n->args);
    PyObject *args = n->args;
    bool is_seq = PyList_Check(args) || PyTuple_Check(args);
    Py_ssize_t nargs = is_seq ? PySequence_Fast_GET_SIZE(args) : 1;
    PyObject **items = is_seq ? PySequence_Fast_ITEMS(args) : &n->args;
    int32_t op = n->op;

    std::vector<char> skip;
    if (col && op == OP_MUL && !counting()) {
      skip.assign(static_cast<size_t>(nargs), 0);
      for (Py_ssize_t i = 0; i < nargs; ++i)
        if (kind_of(items[i]) == K_VAR) {
          int c = column(items[i], "nonlinear term");
          if (c < 0) return -1;
          *col = c;
          skip[i] = 1;
          break;
        }
      if (*col != -1 || p->cached_attrib_12013 != -1)
        for (Py_ssize_t i = 0; i < nargs; ++i)
          if (!skip[i] && is_number(items[i])) {
            double v = number_value(items[i]);
            if (v == -1.0 && PyErr_Occurred()) return -1;
            *factor *= v;
            skip[i] = 1;
          }
    }

    bool user = is_user_op(op);
    bool opens;
    if (nargs == 2 && op != OP_MAX && op != OP_MIN && op != OP_AND && op != OP_OR && !user)
      opens = false;
    else
      opens = op != OP_UMINUS && op != OP_PLUS && op != OP_MUL;
    if (opens) token(tok_open, 0);

    if (user) {
      if (nargs == 0 || !PyCallable_Check(items[0])) {
        PyErr_SetString(g.ModelError, "First argument of a user() operator must be the function itself");
        return -1;
      }
      // The function is registered (once per problem and arity) and named by its id; its
      // arguments follow last to first.
      int id = 0;
      if (!counting()) {
        if (!PyTuple_Check(args)) {
          PyErr_SetString(g.ModelError,
                          "Invalid user function, must specify at least one argument (the user function itself)");
          return -1;
        }
        id = user_function_id(p, args, op);
        if (id < 0) return -1;
      }
      // A tuple: its items stay as they are while it is held.
      for (Py_ssize_t i = nargs - 1; i >= 1; --i)
        if (write_argument(items[i], depth) < 0) return -1;
      token(tok_user, id);
      return 0;
    }

    bool balanced = op == OP_PLUS || op == OP_MUL;
    bool reversed = op == OP_PWL;
    int encoded = 0;
    for (Py_ssize_t i = 0; i < nargs; ++i)
      if (skip.empty() || !skip[i]) ++encoded;
    const Token optok = op_tokens[op];
    int pos = 0, written = 0;
    for (Py_ssize_t j = 0; j < nargs; ++j) {
      Py_ssize_t i = reversed ? nargs - 1 - j : j;
      if (!skip.empty() && skip[i]) continue;
      nb::object item = operand(args, nargs, i);
      if (!item || write_argument(item.ptr(), depth) < 0) return -1;
      if (balanced) written += combine_after(pos, encoded, optok, written);
      ++pos;
    }
    // A product whose operands all went into the column and factor is the constant 1.
    if (balanced && encoded == 0) token(tok_constant, op == OP_MUL ? 1.0 : 0.0);
    if (!balanced) token(optok.type, optok.value);
    return 0;
  }

  // Operand i of a node's operands args (a list, a tuple or the single operand), held; null
  // with an error when a list no longer has the nargs items it had.
  static nb::object operand(PyObject *args, Py_ssize_t nargs, Py_ssize_t i) {
    if (!PyList_Check(args) && !PyTuple_Check(args)) return nb::borrow(args);
    if (PySequence_Fast_GET_SIZE(args) != nargs) {
      PyErr_SetString(PyExc_RuntimeError, "Nonlinear expression changed while being translated");
      return nb::object();
    }
    return nb::borrow(PySequence_Fast_GET_ITEM(args, i));
  }

  // One formula entry for the nonlinear node o, times sign.
  int add_formula(PyObject *o, double sign) {
    if (counting()) {
      ++count->formulas;
      if (encode(as_nl(o), max_formula_depth, nullptr, nullptr) < 0) return -1;
      ++count->tokens;  // end token
      return 0;
    }
    int col = -1;
    double factor = 1.0;
    int start = static_cast<int>(out->tok_type.size());
    if (encode(as_nl(o), max_formula_depth, &col, &factor) < 0) return -1;
    if (col == -1) col = p->cached_attrib_12013 != -1 ? p->cached_attrib_12013 : formula_no_column;
    token(tok_end, 0);
    out->f_row.push_back(row);
    out->f_col.push_back(col);
    out->f_factor.push_back(factor * sign);
    out->f_start.push_back(start);
    return 0;
  }

  int run(PyObject *body) {
    if (!body) {
      PyErr_SetString(g.ModelError, "Cannot convert expression");
      return -1;
    }
    if (out) {
      lin_begin = out->lin_col.size();
      quad_begin = out->q_col1.size();
    }
    int k = kind_of(body);
    if (k == K_INVALID) {
      PyErr_SetString(g.ModelError, "Invalid expression");
      return -1;
    }
    if (k != K_NONLIN) return add_operand(body, k, 1.0);
    NonlinearObject *n = as_nl(body);
    nb::object body_held = nb::borrow(body);
    if (n->op == OP_PLUS) {
      // The sum's operands are held and re-read, as encode() does.
      nb::object args_held = nb::borrow(n->args);
      bool is_seq = PyList_Check(n->args) || PyTuple_Check(n->args);
      Py_ssize_t nargs = is_seq ? PySequence_Fast_GET_SIZE(n->args) : 1;
      for (Py_ssize_t i = 0; i < nargs; ++i) {
        nb::object item = operand(n->args, nargs, i);
        if (!item) return -1;
        int ka = kind_of(item.ptr());
        if (ka == K_NONLIN) {
          if (add_formula(item.ptr(), 1.0) < 0) return -1;
        } else if (ka == K_INVALID) {
          PyErr_SetString(g.ModelError, "Invalid expression in nonlinear sum");
          return -1;
        } else if (add_operand(item.ptr(), ka, 1.0) < 0) {
          return -1;
        }
      }
      return 0;
    }
    if (n->op == OP_MINUS && PyTuple_Check(n->args) && PyTuple_GET_SIZE(n->args) == 2) {
      PyObject *a = PyTuple_GET_ITEM(n->args, 0), *b = PyTuple_GET_ITEM(n->args, 1);
      int ka = kind_of(a), kb = kind_of(b);
      if (ka == K_NONLIN) {
        if (add_formula(a, 1.0) < 0) return -1;
      } else if (ka == K_INVALID) {
        PyErr_SetString(g.ModelError, "Invalid expression in nonlinear sum");
        return -1;
      } else if (add_operand(a, ka, 1.0) < 0) {
        return -1;
      }
      if (kb == K_NONLIN) return add_formula(b, -1.0);
      return add_operand(b, kb, -1.0);
    }
    return add_formula(body, 1.0);
  }
};

}  // namespace

int translate_count(ProblemObject *p, PyObject *body, EntryCounts *counts) {
  double constant = 0.0;
  Translator t{p, nullptr, counts, &constant, 0, false};
  try {
    return t.run(body);
  } catch (const std::bad_alloc &) {
    PyErr_NoMemory();
    return -1;
  }
}

const int *ColumnCache::columns(ProblemObject *p, PyObject *table, size_t entries) {
  if (table != table_.ptr()) {
    table_ = nb::borrow(table);
    uses_ = 0;
    cols_.clear();
  }
  if (p != p_ || epoch_ != column_epoch) cols_.clear();
  p_ = p;
  epoch_ = column_epoch;
  size_t n = static_cast<size_t>(PyTuple_GET_SIZE(table));
  uses_ += entries;
  if (!cols_.empty()) return cols_.data();
  if (uses_ < n) return nullptr;
  try {
    cols_.resize(n);
  } catch (const std::bad_alloc &) {
    return nullptr;
  }
  PyObject *const *vars = &PyTuple_GET_ITEM(table, 0);
  for (size_t i = 0; i < n; ++i) {
    if (i + 8 < n) __builtin_prefetch(vars[i + 8], 0);
    const VarObject *v = as_var(vars[i]);
    cols_[i] = v->owner == p ? static_cast<int>(v->index_low) : -1;
  }
  return cols_.data();
}

int translate_body(ProblemObject *p, PyObject *body, RowEntries &out, double *constant, int row, bool objective,
                   ColumnCache *cache) {
  Translator t{p, &out, nullptr, constant, row, objective, cache};
  try {
    return t.run(body);
  } catch (const std::bad_alloc &) {
    PyErr_NoMemory();
    return -1;
  }
}

// ---------------------------------------------------------------------------------------------
// Decoding

namespace {

int op_of_function(int code) {
  switch (code) {
    case 16: return OP_EXP;
    case 15: return OP_LOG;
    case 14: return OP_LOG10;
    case 27: return OP_SIN;
    case 28: return OP_COS;
    case 29: return OP_TAN;
    case 30: return OP_ASIN;
    case 31: return OP_ACOS;
    case 32: return OP_ATAN;
    case 33: return OP_MIN;
    case 34: return OP_MAX;
    case 17: return OP_ABS;
    case 46: return OP_SIGN;
    case 49: return OP_ERF;
    case 50: return OP_ERFC;
    case 18: return OP_SQRT;
    case 35: return OP_PWL;
    case 36: return OP_PLUS;
    case 37: return OP_MUL;
    default: return -1;
  }
}

int op_of_operator(int code) {
  switch (code) {
    case 1: return OP_UMINUS;
    case 2: return OP_POW;
    case 3: return OP_MUL;
    case 4: return OP_DIV;
    case 5: return OP_PLUS;
    case 6: return OP_MINUS;
    default: return -1;
  }
}

// The decoding stack; None is the marker that opens an argument list.
using Stack = std::vector<nb::object>;

nb::object pop(Stack &st) {
  nb::object o = std::move(st.back());
  st.pop_back();
  return o;
}

int invalid_formula(const char *context) {
  PyErr_Format(g.InterfaceError, "Invalid nonlinear formula in %s", context);
  return -1;
}

// Replaces a function's marker and arguments on the stack by its node; -1 with an exception.
int apply_function(Stack &st, int code, const char *context) {
  int op = op_of_function(code);
  if (op < 0) {
    PyErr_Format(g.InterfaceError, "Unsupported nonlinear function in %s: %d", context, code);
    return -1;
  }
  int arity = op_table[op].arity;
  nb::object node;
  if (arity == 1) {
    if (st.size() < 2) return invalid_formula(context);
    nb::object arg = pop(st);
    st.pop_back();  // the marker
    node = nb::steal(unary_node(op, arg.ptr()));
  } else if (arity == -1) {
    nb::object list = nb::steal(PyList_New(0));
    if (!list) return -1;
    bool found = false;
    while (!st.empty()) {
      nb::object o = pop(st);
      if (o.ptr() == Py_None) {
        found = true;
        break;
      }
      if (PyList_Append(list.ptr(), o.ptr()) < 0) return -1;
    }
    if (!found) return invalid_formula(context);
    node = nb::steal(nary_node(op, list.ptr()));
  } else {
    PyErr_Format(g.InterfaceError, "Unexpected function arity in %s: %d", context, arity);
    return -1;
  }
  if (!node) return -1;
  st.push_back(std::move(node));
  return 0;
}

// Replaces an operator's operands on the stack by its node; -1 with an exception.
int apply_operator(Stack &st, int code, const char *context) {
  int op = op_of_operator(code);
  if (op < 0) {
    PyErr_Format(g.InterfaceError, "Unsupported operator in %s: %d", context, code);
    return -1;
  }
  size_t need = op == OP_UMINUS ? 1 : 2;
  if (st.size() < need) return invalid_formula(context);
  nb::object node;
  if (op == OP_UMINUS) {
    nb::object a = pop(st);
    node = nb::steal(unary_node(OP_UMINUS, a.ptr()));
  } else {
    nb::object right = pop(st);
    nb::object left = pop(st);
    node = nb::steal(binary_node(op, left.ptr(), right.ptr()));
  }
  if (!node) return -1;
  st.push_back(std::move(node));
  return 0;
}

// Pushes the node of one token; -1 with an exception.
int decode_token(ProblemObject *p, Stack &st, int type, double value, const char *context) {
  switch (type) {
    case tok_end:
    case tok_skip: return 0;
    case tok_constant: {
      nb::object f = nb::steal(PyFloat_FromDouble(value));
      if (!f) return -1;
      st.push_back(std::move(f));
      return 0;
    }
    case tok_column: {
      int col = static_cast<int>(value);
      Py_ssize_t nvars = PyList_GET_SIZE(p->vars);
      if (col < 0 || col >= nvars) {
        PyErr_Format(g.InterfaceError,
                     "Nonlinear constraint contains a coefficient for column %d, but there are only %d variables in "
                     "the problem",
                     col, static_cast<int>(nvars));
        return -1;
      }
      st.push_back(nb::borrow(PyList_GET_ITEM(p->vars, col)));
      return 0;
    }
    case tok_user:
      PyErr_Format(g.InterfaceError, "User functions are not supported by %s", context);
      return -1;
    case tok_open: st.push_back(nb::none()); return 0;
    case tok_function: return apply_function(st, static_cast<int>(value), context);
    case tok_operator: return apply_operator(st, static_cast<int>(value), context);
    default:
      PyErr_Format(g.InterfaceError, "Unexpected nonlinear token in %s: %d", context, type);
      return -1;
  }
}

}  // namespace

PyObject *decode_formula(ProblemObject *p, const int *type, const double *value, int n, const char *context) {
  Stack st;
  for (int t = 0; t < n; ++t)
    if (decode_token(p, st, type[t], value[t], context) < 0) return nullptr;
  if (st.size() != 1) {
    invalid_formula(context);
    return nullptr;
  }
  return st.back().release().ptr();
}

}  // namespace kelvo
