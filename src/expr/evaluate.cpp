// Evaluation of algebra objects for given variable values (kelvo.evaluate and the solution
// queries), and extraction of linear and quadratic coefficients.
#include "expr/evaluate.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "api/convert.h"
#include "expr/expr.h"
#include "module/frame.h"
#include "numpy/numpy.h"
#include "problem/params.h"
#include "klvo/elementary.hpp"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

namespace {

constexpr int depth_allowance = 64;

// The library's table, so that evaluation agrees with numbers and with formula rows.
using Elementary = klvo::elementary::Function;
inline double elementary(Elementary f, double u) { return klvo::elementary::value(f, u); }

struct EvalContext {
  ProblemObject *problem = nullptr;
  const double *values = nullptr;  // array mode
  Py_ssize_t count = 0;
  PyObject *dict = nullptr;  // dict mode
  bool index_mode = false;   // integer and string leaves name columns
  double tolerance = 5e-6;
};

int fail(PyObject *cls, const char *message) {
  PyErr_SetString(cls, message);
  return -1;
}

int too_deep() { return fail(PyExc_RuntimeError, "Evaluation of expression exceeded recursion depth limit"); }

// Column of v for the evaluation: -1 with an exception when it has none.
int column_of(const EvalContext &c, PyObject *v) {
  if (c.problem) return var_column(as_var(v), c.problem, "kelvo.evaluate");
  VarObject *var = as_var(v);
  if (var_deleted(var)) return var_column(var, nullptr, "kelvo.evaluate");
  if (var_unlinked(var))
    return fail(g.InterfaceError,
                "Argument \"problem\" is necessary when passing the solution as a list, array or dict keyed by index");
  return static_cast<int>(var->index_low);
}

// Switches the constraint operators off while it lives. A dict lookup calls == on every key
// of the same hash, and a variable hashes to its column number: it collides with the integer
// key of that column and with the variables of other problems at that column. With the
// operators on, that == builds a constraint, which reads as true, and the lookup would take
// another key's value.
struct StructuralEquality {
  uint8_t saved = g.constraint_operators;
  StructuralEquality() { g.constraint_operators = 0; }
  ~StructuralEquality() { g.constraint_operators = saved; }
  StructuralEquality(const StructuralEquality &) = delete;
  StructuralEquality &operator=(const StructuralEquality &) = delete;
};

// The value of v in the user's dict: under v itself, else under its column number.
int dict_value(const EvalContext &c, PyObject *v, double *out) {
  nb::object found;
  {
    StructuralEquality structural;
    found = nb::borrow(PyDict_GetItemWithError(c.dict, v));
    if (!found.is_valid() && !PyErr_Occurred()) {
      int col = column_of(c, v);
      if (col < 0) {
        PyErr_Clear();
        return fail(g.ModelError, "Variable has no value");
      }
      nb::object key = nb::steal(PyLong_FromLong(col));
      if (!key.is_valid()) return -1;
      found = nb::borrow(PyDict_GetItemWithError(c.dict, key.ptr()));
      if (!found.is_valid() && !PyErr_Occurred()) return fail(g.ModelError, "Variable has no value");
    }
  }
  if (!found.is_valid()) return -1;
  // The reference held keeps the value alive should its conversion change the dict.
  double x = PyFloat_AsDouble(found.ptr());
  if (x == -1.0 && PyErr_Occurred()) return -1;
  *out = x;
  return 0;
}

int variable_value(const EvalContext &c, PyObject *v, double *out) {
  if (c.dict) return dict_value(c, v, out);
  int col = column_of(c, v);
  if (col < 0) return -1;
  if (col >= c.count) return fail(g.ModelError, "Variable cannot be identified within expression");
  *out = c.values[col];
  return 0;
}

int value_of(const EvalContext &c, PyObject *o, int depth, double *out);

// The operands of a node: list or tuple items, or the single operand.
void operands(PyObject *args, PyObject **&items, Py_ssize_t &count, PyObject *&single) {
  single = args;
  if (PyList_Check(args) || PyTuple_Check(args)) {
    items = PySequence_Fast_ITEMS(args);
    count = PySequence_Fast_GET_SIZE(args);
  } else {
    items = &single;
    count = 1;
  }
}

int pwl_value(const EvalContext &c, PyObject **items, Py_ssize_t count, int depth, double *out) {
  if (count < 1) return fail(g.InterfaceError, "Piecewise linear function without a variable");
  double v;
  if (value_of(c, items[0], depth - 1, &v) < 0) return -1;
  Py_ssize_t points = (count - 1) / 2;
  std::vector<double> xs(points), ys(points);
  for (Py_ssize_t k = 0; k < points; ++k)
    if (value_of(c, items[1 + 2 * k], depth - 1, &xs[k]) < 0 || value_of(c, items[2 + 2 * k], depth - 1, &ys[k]) < 0)
      return -1;
  auto line = [&](Py_ssize_t a, Py_ssize_t b) {
    return ys[a] + (ys[b] - ys[a]) * (v - xs[a]) / (xs[b] - xs[a]);
  };
  for (Py_ssize_t k = 0; k < points; ++k) {
    if (xs[k] <= v) continue;
    if (k > 0) {
      *out = line(k - 1, k);
      return 0;
    }
    PyObject *var = items[0], *value = PyFloat_FromDouble(v);
    if (!value) return -1;
    if (points < 2) {
      PyErr_Format(g.InterfaceError,
                   "Not enough points to extrapolate value of piecewise linear containing fraction for %S = %S", var,
                   value);
    } else if (xs[0] == xs[1]) {
      PyObject *at = PyFloat_FromDouble(xs[0]);
      if (at)
        PyErr_Format(g.InterfaceError,
                     "Piecewise linear function has discontinuity at first breakpoint %S = %S and can't be evaluated "
                     "at %S",
                     var, at, value);
      Py_XDECREF(at);
    } else {
      Py_DECREF(value);
      *out = line(0, 1);
      return 0;
    }
    Py_DECREF(value);
    return -1;
  }
  // At or beyond the last breakpoint: continue along the last segment.
  if (points == 0) return fail(g.InterfaceError, "Piecewise linear function without breakpoints");
  if (points == 1 || xs[points - 1] == xs[points - 2]) {
    *out = ys[points - 1];
    return 0;
  }
  *out = line(points - 2, points - 1);
  return 0;
}

int user_value(const EvalContext &c, PyObject **items, Py_ssize_t count, int depth, double *out) {
  if (count < 1) return fail(g.ModelError, "User function node without a function");
  PyObject *args = PyTuple_New(count - 1);
  if (!args) return -1;
  for (Py_ssize_t i = 1; i < count; ++i) {
    double v;
    PyObject *item = nullptr;
    if (value_of(c, items[i], depth - 1, &v) < 0 || !(item = PyFloat_FromDouble(v))) {
      Py_DECREF(args);
      return -1;
    }
    PyTuple_SET_ITEM(args, i - 1, item);
  }
  PyObject *result = PyObject_Call(items[0], args, nullptr);
  Py_DECREF(args);
  if (!result) return -1;
  PyObject *first = result;
  if (PyTuple_Check(result)) {
    if (PyTuple_GET_SIZE(result) == 0) {
      Py_DECREF(result);
      return fail(g.ModelError, "User function returned an empty tuple");
    }
    first = PyTuple_GET_ITEM(result, 0);
  }
  double v = PyFloat_AsDouble(first);
  Py_DECREF(result);
  if (v == -1.0 && PyErr_Occurred()) return -1;
  *out = v;
  return 0;
}

// A node's operands, each held: user code run below (a user function, a __float__, a key's
// ==) may change the node's list in place or replace it. Few operands stay on the stack, clear
// of the allocator and of the garbage collector's count.
class HeldOperands {
 public:
  explicit HeldOperands(PyObject *args) {
    PyObject **source;
    Py_ssize_t count;
    PyObject *single;
    operands(args, source, count, single);
    if (count > static_cast<Py_ssize_t>(sizeof small_ / sizeof *small_)) {
      heap_.resize(static_cast<size_t>(count));
      items_ = heap_.data();
    }
    for (Py_ssize_t i = 0; i < count; ++i) items_[i] = Py_NewRef(source[i]);
    count_ = count;
  }
  ~HeldOperands() {
    for (Py_ssize_t i = 0; i < count_; ++i) Py_DECREF(items_[i]);
  }
  HeldOperands(const HeldOperands &) = delete;
  HeldOperands &operator=(const HeldOperands &) = delete;
  PyObject **items() { return items_; }
  Py_ssize_t count() const { return count_; }

 private:
  PyObject *small_[8];
  std::vector<PyObject *> heap_;
  PyObject **items_ = small_;
  Py_ssize_t count_ = 0;
};

int node_value(const EvalContext &c, NonlinearObject *n, int depth, double *out) {
  HeldOperands held(n->args);
  PyObject **items = held.items();
  Py_ssize_t count = held.count();
  if (is_user_op(n->op)) return user_value(c, items, count, depth, out);
  if (n->op == OP_PWL) return pwl_value(c, items, count, depth, out);
  auto arg = [&](Py_ssize_t i, double *v) {
    if (i >= count) return fail(g.ModelError, "Missing operand in nonlinear expression");
    return value_of(c, items[i], depth - 1, v);
  };
  double a = 0.0, b = 0.0;
  switch (n->op) {
    case OP_PLUS:
    case OP_SUM:
    case OP_MUL:
    case OP_PROD: {
      bool product = n->op == OP_MUL || n->op == OP_PROD;
      double r = product ? 1.0 : 0.0;
      for (Py_ssize_t i = 0; i < count; ++i) {
        if (arg(i, &a) < 0) return -1;
        r = product ? r * a : r + a;
      }
      *out = r;
      return 0;
    }
    case OP_MINUS:
    case OP_DIV:
    case OP_POW:
      if (arg(0, &a) < 0 || arg(1, &b) < 0) return -1;
      if (n->op == OP_MINUS) *out = a - b;
      else if (n->op == OP_POW) *out = std::pow(a, b);
      else if (b == 0.0) return fail(PyExc_ZeroDivisionError, "Division by zero in evaluation of expression containing fraction");
      else *out = a / b;
      return 0;
    case OP_MAX:
    case OP_MIN: {
      if (count == 0) return fail(g.ModelError, "Missing operand in nonlinear expression");
      double r;
      if (arg(0, &r) < 0) return -1;
      for (Py_ssize_t i = 1; i < count; ++i) {
        if (arg(i, &a) < 0) return -1;
        if (n->op == OP_MAX ? a > r : a < r) r = a;
      }
      *out = r;
      return 0;
    }
    case OP_AND:
    case OP_OR: {
      bool is_and = n->op == OP_AND;
      for (Py_ssize_t i = 0; i < count; ++i) {
        if (arg(i, &a) < 0) return -1;
        if (is_and && a <= c.tolerance) {
          *out = 0.0;
          return 0;
        }
        if (!is_and && a > 1.0 - c.tolerance) {
          *out = 1.0;
          return 0;
        }
      }
      *out = is_and ? 1.0 : 0.0;
      return 0;
    }
    default:
      break;
  }
  if (n->op < 0 || n->op >= OP_COUNT) return fail(g.ModelError, "Unknown nonlinear type");
  if (arg(0, &a) < 0) return -1;
  switch (n->op) {
    case OP_UMINUS: *out = -a; break;
    case OP_EXP: *out = elementary(Elementary::Exp, a); break;
    case OP_LOG: *out = elementary(Elementary::Log, a); break;
    case OP_LOG10: *out = elementary(Elementary::Log10, a); break;
    case OP_SIN: *out = elementary(Elementary::Sin, a); break;
    case OP_COS: *out = elementary(Elementary::Cos, a); break;
    case OP_TAN: *out = elementary(Elementary::Tan, a); break;
    case OP_ASIN: *out = elementary(Elementary::Asin, a); break;
    case OP_ACOS: *out = elementary(Elementary::Acos, a); break;
    case OP_ATAN: *out = elementary(Elementary::Atan, a); break;
    case OP_ABS: *out = elementary(Elementary::Abs, a); break;
    case OP_SIGN: *out = elementary(Elementary::Sign, a); break;
    case OP_ERF: *out = elementary(Elementary::Erf, a); break;
    case OP_ERFC: *out = elementary(Elementary::Erfc, a); break;
    case OP_SQRT: *out = elementary(Elementary::Sqrt, a); break;
    default: return fail(g.ModelError, "Unknown nonlinear type");
  }
  return 0;
}

// A leaf naming a column in index mode: its value, 1 when handled, 0 when obj is no such leaf.
int index_leaf(const EvalContext &c, PyObject *obj, double *out) {
  int col;
  if (is_integer(obj)) {
    long long v = PyLong_AsLongLong(obj);
    if (v == -1 && PyErr_Occurred()) return -1;
    if (v < 0 || v >= c.count) return fail(g.ModelError, "Index out of range");
    col = static_cast<int>(v);
  } else if (PyUnicode_Check(obj) || PyBytes_Check(obj)) {
    if (conv_obj2index(c.problem, obj, ek_col, &col) < 0) {
      PyErr_Clear();
      return fail(g.ModelError, "Index out of range");
    }
    if (col < 0 || col >= c.count) return fail(g.ModelError, "Index out of range");
  } else {
    return 0;
  }
  *out = c.values[col];
  return 1;
}

// An expression's value in dict mode, where a lookup runs the keys' == and the values'
// __float__, which may change the expression in place: its terms are read from a copy.
int dict_expression_value(const EvalContext &c, ExpressionObject *e, double *out) {
  struct Term {
    nb::object a, b;
    double coef;
  };
  std::vector<Term> terms;
  terms.reserve(e->lin ? e->lin->size() : 0);
  if (e->lin)
    for (auto &entry : *e->lin) terms.push_back({nb::borrow(entry.first), nb::object(), entry.second});
  if (e->quad)
    for (auto &outer : *e->quad)
      for (auto &inner : *outer.second) terms.push_back({nb::borrow(outer.first), nb::borrow(inner.first), inner.second});
  double r = e->constant, v, w;
  for (const Term &t : terms) {
    if (variable_value(c, t.a.ptr(), &v) < 0) return -1;
    if (t.b.is_valid() && variable_value(c, t.b.ptr(), &w) < 0) return -1;
    r += t.coef * v * (t.b.is_valid() ? w : 1.0);
  }
  *out = r;
  return 0;
}

int value_of(const EvalContext &c, PyObject *o, int depth, double *out) {
  if (depth < 1) return too_deep();
  switch (kind_of(o)) {
    case K_VAR:
      return variable_value(c, o, out);
    case K_LIN: {
      double v;
      if (variable_value(c, as_lin(o)->var, &v) < 0) return -1;
      *out = as_lin(o)->coef * v;
      return 0;
    }
    case K_QUAD: {
      QuadtermObject *q = as_quad(o);
      double a, b;
      if (variable_value(c, q->var1, &a) < 0) return -1;
      if (q->var2 == q->var1) b = a;
      else if (variable_value(c, q->var2, &b) < 0) return -1;
      *out = q->coef * a * b;
      return 0;
    }
    case K_EXPR: {
      ExpressionObject *e = as_expr(o);
      if (c.dict) return dict_expression_value(c, e, out);
      double r = e->constant, v, w;
      if (e->lin)
        for (auto &entry : *e->lin) {
          if (variable_value(c, entry.first, &v) < 0) return -1;
          r += entry.second * v;
        }
      if (e->quad)
        for (auto &outer : *e->quad) {
          if (variable_value(c, outer.first, &v) < 0) return -1;
          for (auto &inner : *outer.second) {
            if (inner.first == outer.first) w = v;
            else if (variable_value(c, inner.first, &w) < 0) return -1;
            r += inner.second * v * w;
          }
        }
      *out = r;
      return 0;
    }
    case K_NONLIN:
      return node_value(c, as_nl(o), depth, out);
    case K_NUMBER: {
      double v = number_value(o);
      if (v == -1.0 && PyErr_Occurred()) return -1;
      *out = v;
      return 0;
    }
    default:
      return fail(g.ModelError, "Evaluation of object of incorrect type");
  }
}

bool algebra_dtype(PyArrayObject *a) {
  return PyArray_TYPE(a) == NPY_OBJECT || is_model_dtype(PyArray_DESCR(a));
}

PyObject *walk(const EvalContext &c, PyObject *o, int depth);

PyObject *walk_array(const EvalContext &c, PyArrayObject *a, int depth) {
  if (!algebra_dtype(a)) {
    PyErr_SetString(g.InterfaceError,
                    "kelvo.evaluate() requires one or more Python objects;\nNumPy arrays must be of dtype kelvo.npvar, "
                    "kelvo.npexpr, or kelvo.npconstraint.");
    return nullptr;
  }
  PyObject *result = PyArray_SimpleNew(PyArray_NDIM(a), PyArray_DIMS(a), NPY_DOUBLE);
  if (!result) {
    PyErr_SetString(g.InterfaceError, "Could not initialize result of the evaluation of a NumPy array");
    return nullptr;
  }
  // Elements are read in C order, matching the layout of the fresh result, from a copy of
  // our own: evaluating an element may run user code that writes into the array.
  PyObject *flat = PyArray_NewCopy(a, NPY_CORDER);
  if (!flat) {
    Py_DECREF(result);
    return nullptr;
  }
  auto *dst = static_cast<double *>(PyArray_DATA(reinterpret_cast<PyArrayObject *>(result)));
  auto *fa = reinterpret_cast<PyArrayObject *>(flat);
  npy_intp n = PyArray_SIZE(fa);
  for (npy_intp i = 0; i < n; ++i) {
    PyObject *item;
    memcpy(&item, static_cast<char *>(PyArray_DATA(fa)) + i * sizeof item, sizeof item);  // C-contiguous copy
    int rc = -1;
    if (!item) rc = fail(PyExc_RuntimeError, "Cannot evaluate object");
    else if (c.index_mode && (rc = index_leaf(c, item, &dst[i])) != 0) rc = rc < 0 ? -1 : 0;
    else rc = value_of(c, item, depth - 1, &dst[i]);
    if (rc < 0) {
      Py_DECREF(flat);
      Py_DECREF(result);
      return nullptr;
    }
  }
  Py_DECREF(flat);
  return result;
}

// Walks a snapshot: evaluating an item may run user code that changes the user's list.
PyObject *walk_items(const EvalContext &c, PyObject *user_seq, bool tuple, int depth) {
  nb::object snapshot = nb::steal(PySequence_Tuple(user_seq));
  if (!snapshot.is_valid()) return nullptr;
  PyObject *seq = snapshot.ptr();
  Py_ssize_t n = PyTuple_GET_SIZE(seq);
  PyObject *out = tuple ? PyTuple_New(n) : PyList_New(n);
  if (!out) return nullptr;
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject *r = walk(c, PyTuple_GET_ITEM(seq, i), depth - 1);
    if (!r) {
      Py_DECREF(out);
      return nullptr;
    }
    if (tuple) PyTuple_SET_ITEM(out, i, r);
    else PyList_SET_ITEM(out, i, r);
  }
  return out;
}

PyObject *walk(const EvalContext &c, PyObject *o, int depth) {
  bool text = PyUnicode_Check(o) || PyBytes_Check(o);
  bool algebra = kind_of(o) != K_INVALID;
  bool container = PyTuple_Check(o) || PyList_Check(o) || PyDict_Check(o) || PyArray_Check(o) ||
                   (!text && !algebra && PySequence_Check(o));
  if (!container && !algebra && !text && !(c.index_mode && is_integer(o))) {
    PyErr_SetString(PyExc_RuntimeError, "Cannot evaluate object");
    return nullptr;
  }
  if (depth < 1) {
    too_deep();
    return nullptr;
  }
  if (PyTuple_Check(o) || PyList_Check(o)) return walk_items(c, o, PyTuple_Check(o), depth);
  if (PyDict_Check(o)) {
    PyObject *out = PyDict_New();
    if (!out) return nullptr;
    // Items of our own: evaluating a value may run user code that changes the dict.
    nb::object items = nb::steal(PyDict_Items(o));
    if (!items.is_valid()) {
      Py_DECREF(out);
      return nullptr;
    }
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(items.ptr()); ++i) {
      PyObject *pair = PyList_GET_ITEM(items.ptr(), i);
      PyObject *key = PyTuple_GET_ITEM(pair, 0), *value = PyTuple_GET_ITEM(pair, 1);
      PyObject *r = walk(c, value, depth - 1);
      if (!r || PyDict_SetItem(out, key, r) < 0) {
        Py_XDECREF(r);
        Py_DECREF(out);
        return nullptr;
      }
      Py_DECREF(r);
    }
    return out;
  }
  if (PyArray_Check(o)) return walk_array(c, reinterpret_cast<PyArrayObject *>(o), depth);
  double v = 0.0;
  if (c.index_mode) {
    int rc = index_leaf(c, o, &v);
    if (rc < 0) return nullptr;
    if (rc > 0) return PyFloat_FromDouble(v);
  }
  if (text) {
    PyErr_SetString(g.InterfaceError, "Call to kelvo.evaluate cannot contain strings as arguments");
    return nullptr;
  }
  if (container) {
    PyObject *fast = PySequence_Fast(o, "Cannot evaluate type of sequence");
    if (!fast) return nullptr;
    PyObject *r = walk_items(c, fast, false, depth);
    Py_DECREF(fast);
    return r;
  }
  if (value_of(c, o, depth, &v) < 0) return nullptr;
  return PyFloat_FromDouble(v);
}

double and_or_tolerance() {
  if (!g.global_controls) return 5e-6;
  PyObject *dict = reinterpret_cast<ControlObject *>(g.global_controls)->dict;
  nb::object tol = nb::borrow(dict && PyDict_Check(dict) ? PyDict_GetItemString(dict, "miptol") : nullptr);
  if (!tol.is_valid()) return 5e-6;
  double v = PyFloat_AsDouble(tol.ptr());
  if (v == -1.0 && PyErr_Occurred()) {
    PyErr_Clear();
    return 5e-6;
  }
  return v;
}

// Evaluates each positional object: one result directly, several as a tuple.
PyObject *evaluate_all(const EvalContext &c, PyObject *objects) {
  Py_ssize_t n = PyTuple_GET_SIZE(objects);
  if (n == 1) return walk(c, PyTuple_GET_ITEM(objects, 0), depth_allowance);
  PyObject *out = PyTuple_New(n);
  if (!out) return nullptr;
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject *r = walk(c, PyTuple_GET_ITEM(objects, i), depth_allowance);
    if (!r) {
      Py_DECREF(out);
      return nullptr;
    }
    PyTuple_SET_ITEM(out, i, r);
  }
  return out;
}

PyObject *f_evaluate(PyObject *, PyObject *args, PyObject *kwargs) {
  PyObject *problem = nullptr, *solution = nullptr;
  if (kwargs) {
    Py_ssize_t pos = 0;
    PyObject *key, *value;
    while (PyDict_Next(kwargs, &pos, &key, &value)) {
      if (PyUnicode_Check(key) && PyUnicode_CompareWithASCIIString(key, "problem") == 0) problem = value;
      else if (PyUnicode_Check(key) && PyUnicode_CompareWithASCIIString(key, "solution") == 0) solution = value;
      else {
        PyErr_Format(PyExc_TypeError, "evaluate() got an unexpected keyword argument '%S'", key);
        return nullptr;
      }
    }
  }
  if (problem == Py_None) problem = nullptr;
  if (solution == Py_None) solution = nullptr;
  if (!problem && !solution) {
    PyErr_SetString(g.InterfaceError,
                    "kelvo.evaluate() requires at least one of the two arguments \"solution\" and \"problem\".\n"
                    "See the documentation of kelvo.evaluate for details.");
    return nullptr;
  }
  if (problem && !is_problem(problem)) {
    PyErr_SetString(g.InterfaceError, "Argument \"problem\" must be an kelvo.problem object");
    return nullptr;
  }
  EvalContext c;
  c.tolerance = and_or_tolerance();
  auto *p = reinterpret_cast<ProblemObject *>(problem);
  c.problem = p;
  WorkArray values;
  if (p) {
    if (require_handle(p) < 0) return nullptr;
    int n = 0;
    if (read_int_attrib(p, KLVO_ATTR_INPUTCOLS, &n) < 0) return nullptr;
    if (!solution) {
      values.data = array_allocator.allocate(sizeof(double) * static_cast<size_t>(n));
      if (!values.data) return nullptr;
      values.count = n;
      int status = 0;
      if (n > 0) {
        if (call(KLVOgetsolution, "KLVOgetsolution", p, p->prob, &status, values.as<double>(), 0, n - 1) != 0) {
          raise_error(problem);
          return nullptr;
        }
      } else if (KLVOgetsolution(p->prob, &status, nullptr, 0, -1) != 0) {
        status = 0;  // no columns: the status alone decides
      }
      if (status != 1 && status != 2) {
        PyErr_SetString(g.ModelError, "Solution is not available");
        return nullptr;
      }
    }
  }
  if (solution) {
    if (PyDict_Check(solution)) {
      c.dict = solution;
    } else if (PyList_Check(solution) || PyArray_Check(solution)) {
      if (conv_obj2arr(p, nullptr, solution, ek_real, values) < 0) return nullptr;
    } else {
      PyErr_SetString(g.InterfaceError,
                      "Argument \"solution\" must be a dictionary, a list, or a one-dimensional NumPy array.\n"
                      "See the documentation for kelvo.evaluate");
      return nullptr;
    }
  }
  c.values = values.as<double>();
  c.count = static_cast<Py_ssize_t>(values.count);
  if (PyTuple_GET_SIZE(args) == 0) {
    PyErr_SetString(PyExc_TypeError, "kelvo.evaluate() requires at least one object to evaluate");
    return nullptr;
  }
  PyObject *result;
  try {
    result = evaluate_all(c, args);
  } catch (const std::bad_alloc &) {
    result = PyErr_NoMemory();
  }
  return p ? check_result(problem, result) : result;
}

// ---- extraction

struct QuadEntry {
  PyObject *a, *b;  // ordering key of a <= that of b
  double coef;
};

// The part being extracted. Linear entries sum in an expression, which drops zeros as the
// algebra does; quadratic entries are listed as met, so that a quadratic object with zero
// coefficients (0 * x * y is still a quadratic term) reports them.
struct Extraction {
  bool quadratic;
  ExpressionObject *linear;
  std::vector<QuadEntry> quad;
};

int add_linear(Extraction &x, PyObject *var, double coef) {
  return x.quadratic ? 0 : expr_add_linear(x.linear, var, coef);
}

void add_quadratic(Extraction &x, PyObject *a, PyObject *b, double coef) {
  if (!x.quadratic) return;
  if (var_key(b) < var_key(a)) std::swap(a, b);
  x.quad.push_back({a, b, coef});
}

// f times the linear (or quadratic) part of a nonlinear tree, accumulated in x.
int extract_tree(Extraction &x, PyObject *o, double f, int depth) {
  if (depth < 1) return 0;
  switch (kind_of(o)) {
    case K_VAR: return add_linear(x, o, f);
    case K_LIN: return add_linear(x, as_lin(o)->var, f * as_lin(o)->coef);
    case K_QUAD:
      add_quadratic(x, as_quad(o)->var1, as_quad(o)->var2, f * as_quad(o)->coef);
      return 0;
    case K_EXPR: {
      ExpressionObject *e = as_expr(o);
      if (!x.quadratic && e->lin)
        for (auto &entry : *e->lin)
          if (add_linear(x, entry.first, f * entry.second) < 0) return -1;
      if (x.quadratic && e->quad)
        for (auto &outer : *e->quad)
          for (auto &inner : *outer.second) add_quadratic(x, outer.first, inner.first, f * inner.second);
      return 0;
    }
    case K_NONLIN: break;
    default: return 0;
  }
  NonlinearObject *n = as_nl(o);
  PyObject **items;
  Py_ssize_t count;
  PyObject *single;
  operands(n->args, items, count, single);
  double c;
  switch (n->op) {
    case OP_PLUS:
    case OP_SUM:
      for (Py_ssize_t i = 0; i < count; ++i)
        if (extract_tree(x, items[i], f, depth - 1) < 0) return -1;
      return 0;
    case OP_MINUS:
      if (count != 2) return 0;
      if (extract_tree(x, items[0], f, depth - 1) < 0) return -1;
      return extract_tree(x, items[1], -f, depth - 1);
    case OP_UMINUS:
      return count == 1 ? extract_tree(x, items[0], -f, depth - 1) : 0;
    case OP_MUL:
    case OP_PROD: {
      PyObject *other = nullptr;
      double product = 1.0;
      for (Py_ssize_t i = 0; i < count; ++i) {
        if (is_number(items[i])) {
          double v = number_value(items[i]);
          if (v == -1.0 && PyErr_Occurred()) return -1;
          product *= v;
        } else if (other) {
          return 0;  // a product of two non-constant factors
        } else {
          other = items[i];
        }
      }
      return other ? extract_tree(x, other, f * product, depth - 1) : 0;
    }
    case OP_DIV:
      if (count != 2 || !is_number(items[1])) return 0;
      c = number_value(items[1]);
      if (c == -1.0 && PyErr_Occurred()) return -1;
      return c != 0.0 ? extract_tree(x, items[0], f / c, depth - 1) : 0;
    case OP_POW:
      if (count != 2 || !is_number(items[1])) return 0;
      c = number_value(items[1]);
      if (c == -1.0 && PyErr_Occurred()) return -1;
      return c == 1.0 ? extract_tree(x, items[0], f, depth - 1) : 0;
    default:
      return 0;
  }
}

bool key_less(PyObject *a, PyObject *b) { return var_key(a) < var_key(b); }

PyObject *linear_lists(ExpressionObject *e) {
  std::vector<std::pair<PyObject *, double>> entries;
  if (e->lin) entries.assign(e->lin->begin(), e->lin->end());
  std::sort(entries.begin(), entries.end(), [](auto &a, auto &b) { return key_less(a.first, b.first); });
  Py_ssize_t n = static_cast<Py_ssize_t>(entries.size());
  nb::object vars = nb::steal(PyList_New(n)), coefs = nb::steal(PyList_New(n));
  if (!vars.is_valid() || !coefs.is_valid()) return nullptr;
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject *c = PyFloat_FromDouble(entries[i].second);
    if (!c) return nullptr;
    PyList_SET_ITEM(vars.ptr(), i, Py_NewRef(entries[i].first));
    PyList_SET_ITEM(coefs.ptr(), i, c);
  }
  return PyTuple_Pack(2, vars.ptr(), coefs.ptr());
}

// The entries sorted by their pair of variables, those of the same pair summed (in the order
// met), zero sums kept.
PyObject *quadratic_lists(std::vector<QuadEntry> &met) {
  std::stable_sort(met.begin(), met.end(), [](const QuadEntry &x, const QuadEntry &y) {
    if (var_key(x.a) != var_key(y.a)) return var_key(x.a) < var_key(y.a);
    return var_key(x.b) < var_key(y.b);
  });
  std::vector<QuadEntry> entries;
  for (const QuadEntry &q : met) {
    if (!entries.empty() && entries.back().a == q.a && entries.back().b == q.b) entries.back().coef += q.coef;
    else entries.push_back(q);
  }
  Py_ssize_t n = static_cast<Py_ssize_t>(entries.size());
  nb::object first = nb::steal(PyList_New(n)), second = nb::steal(PyList_New(n)), coefs = nb::steal(PyList_New(n));
  if (!first.is_valid() || !second.is_valid() || !coefs.is_valid()) return nullptr;
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject *c = PyFloat_FromDouble(entries[i].coef);
    if (!c) return nullptr;
    PyList_SET_ITEM(first.ptr(), i, Py_NewRef(entries[i].a));
    PyList_SET_ITEM(second.ptr(), i, Py_NewRef(entries[i].b));
    PyList_SET_ITEM(coefs.ptr(), i, c);
  }
  return PyTuple_Pack(3, first.ptr(), second.ptr(), coefs.ptr());
}

PyObject *extract(PyObject *self, bool quadratic) {
  ExpressionObject *e = new_expression();
  nb::object owner = nb::steal(reinterpret_cast<PyObject *>(e));
  if (!e) return nullptr;
  Extraction x{quadratic, e, {}};
  // Terms and expressions are the leaves of the tree walk, so one walk serves every kind.
  try {
    if (extract_tree(x, self, 1.0, depth_allowance) < 0) return nullptr;
    return quadratic ? quadratic_lists(x.quad) : linear_lists(e);
  } catch (const std::bad_alloc &) {
    return PyErr_NoMemory();
  }
}

PyObject *m_extract_linear(PyObject *self, PyObject *) { return extract(self, false); }
PyObject *m_extract_quadratic(PyObject *self, PyObject *) { return extract(self, true); }

}  // namespace

PyMethodDef extract_methods[] = {
    {"extractLinear", m_extract_linear, METH_NOARGS,
     "extractLinear() -> (variables, coefficients): the linear part, sorted by variable."},
    {"extractQuadratic", m_extract_quadratic, METH_NOARGS,
     "extractQuadratic() -> (first variables, second variables, coefficients): the quadratic part, sorted."},
    {nullptr},
};

PyObject *evaluate_values(ProblemObject *p, const double *x, Py_ssize_t n, PyObject *obj, bool index_mode) {
  EvalContext c;
  c.problem = p;
  c.values = x;
  c.count = n;
  c.index_mode = index_mode;
  c.tolerance = and_or_tolerance();
  try {
    return walk(c, obj, depth_allowance);
  } catch (const std::bad_alloc &) {
    return PyErr_NoMemory();
  }
}

int add_extract_methods() {
  PyTypeObject *types[] = {&var_type, &linterm_type, &quadterm_type, &expression_type, &nonlinear_type};
  for (PyTypeObject *t : types) {
    for (PyMethodDef *m = extract_methods; m->ml_name; ++m) {
      nb::object descr = nb::steal(PyDescr_NewMethod(t, m));
      if (!descr || PyDict_SetItemString(t->tp_dict, m->ml_name, descr.ptr()) < 0) return -1;
    }
    PyType_Modified(t);
  }
  return 0;
}

PyMethodDef evaluate_methods[] = {
    {"evaluate", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f_evaluate)), METH_VARARGS | METH_KEYWORDS,
     "evaluate(*objects, problem=None, solution=None)\n"
     "The values of expressions (or nested containers of them) for a solution: a problem's current\n"
     "solution, or a dict keyed by variable or column index, or a list or array by column."},
    {nullptr},
};

}  // namespace kelvo
