// Module functions of the algebra: Sum, Prod, the elementary functions, max, min, And, Or,
// pwl and user.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include "expr/expr.h"
#include "numpy/numpy.h"
#include "klvo/elementary.hpp"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

// Calls fn(item) (borrowed) for every non-None item of Sum-like arguments; 0 or -1.
static int for_each_term(PyObject *args, const std::function<int(PyObject *)> &fn) {
  PyObject *c = PyTuple_GET_SIZE(args) == 1 ? PyTuple_GET_ITEM(args, 0) : args;
  auto visit = [&](PyObject *item) { return item == Py_None ? 0 : fn(item); };

  if (kind_of(c) != K_INVALID) return visit(c);
  if (PyList_Check(c) || PyTuple_Check(c)) {
    // A list may change under the callback: read its length every time.
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(c); ++i) {
      nb::object item = nb::borrow(PySequence_Fast_GET_ITEM(c, i));
      if (visit(item.ptr()) < 0) return -1;
    }
    return 0;
  }
  if (PyArray_Check(c)) {
    auto *arr = reinterpret_cast<PyArrayObject *>(c);
    PyArray_Descr *d = PyArray_DESCR(arr);
    bool objects = d->type_num == NPY_OBJECT || is_model_dtype(d);
    if (!objects && d->type_num != NPY_DOUBLE && d->type_num != NPY_INT32 && d->type_num != NPY_BOOL)
      return expr_error("Incorrect objects used in Sum, Dot, Prod, or aggregate functions"), -1;
    nb::object it = nb::steal(PyArray_IterNew(c));
    if (!it) return -1;
    auto *iter = reinterpret_cast<PyArrayIterObject *>(it.ptr());
    while (iter->index < iter->size) {
      void *p = PyArray_ITER_DATA(iter);
      nb::object item;
      if (objects) {
        item = nb::borrow(*static_cast<PyObject **>(p) ? *static_cast<PyObject **>(p) : Py_None);
      } else {
        double v = d->type_num == NPY_DOUBLE ? *static_cast<double *>(p)
                   : d->type_num == NPY_INT32 ? *static_cast<npy_int32 *>(p)
                                              : *static_cast<npy_bool *>(p);
        item = nb::steal(PyFloat_FromDouble(v));
        if (!item) return -1;
      }
      int rc = visit(item.ptr());
      if (rc != 0) return rc;
      PyArray_ITER_NEXT(iter);
    }
    return 0;
  }
  if (PyDict_Check(c)) {
    nb::object values = nb::steal(PyDict_Values(c));
    if (!values) return -1;
    int rc = 0;
    for (Py_ssize_t i = 0; rc == 0 && i < PyList_GET_SIZE(values.ptr()); ++i)
      rc = visit(PyList_GET_ITEM(values.ptr(), i));
    return rc;
  }
  if (PyIter_Check(c)) {
    while (nb::object item = nb::steal(PyIter_Next(c)))
      if (visit(item.ptr()) < 0) return -1;
    return PyErr_Occurred() ? -1 : 0;
  }
  if (PySequence_Check(c)) {
    if (PySequence_Size(c) < 0) {
      PyErr_Clear();
      return expr_error("Invalid sequence of objects"), -1;
    }
    nb::object fast = nb::steal(PySequence_Fast(c, "Cannot iterate over sequence"));
    if (!fast) {
      PyErr_SetString(g.ModelError, "Cannot iterate over sequence");
      return -1;
    }
    int rc = 0;
    for (Py_ssize_t i = 0; rc == 0 && i < PySequence_Fast_GET_SIZE(fast.ptr()); ++i)
      rc = visit(PySequence_Fast_GET_ITEM(fast.ptr(), i));
    return rc;
  }
  PyErr_Format(g.ModelError, "Invalid object in operation: <%S>", c);
  return -1;
}

// Adds item into expression acc along the kinds in adaptive order (most frequent first).
struct SumFastPath {
  int order[5] = {K_LIN, K_VAR, K_QUAD, K_EXPR, K_NUMBER};
  long hits[5] = {0, 0, 0, 0, 0};

  // 1 added, 0 not a kind of the fast path, -1 error.
  int add(ExpressionObject *acc, PyObject *item) {
    int kind = kind_of(item);
    for (int i = 0; i < 5; ++i) {
      if (order[i] != kind) continue;
      int rc;
      switch (kind) {
        case K_LIN:
          rc = expr_add_linear(acc, as_lin(item)->var, as_lin(item)->coef);
          break;
        case K_VAR:
          rc = expr_add_linear(acc, item, 1.0);
          break;
        default:
          rc = expr_iadd(acc, item, 1.0);
          break;
      }
      if (rc < 0) return -1;
      ++hits[i];
      int j = i;
      while (j > 0 && hits[j - 1] < hits[i]) --j;
      if (j != i) {
        std::swap(order[i], order[j]);
        std::swap(hits[i], hits[j]);
      }
      return 1;
    }
    return 0;
  }
};

static bool is_zero(PyObject *o) {
  if (!is_number(o)) return false;
  double v = number_value(o);
  if (v == -1.0 && PyErr_Occurred()) {
    PyErr_Clear();
    return false;
  }
  return v == 0.0;
}

// The number of items a Sum-like argument is known to have (0 when unknown).
static Py_ssize_t terms_hint(PyObject *args) {
  PyObject *c = PyTuple_GET_SIZE(args) == 1 ? PyTuple_GET_ITEM(args, 0) : args;
  if (kind_of(c) != K_INVALID) return 1;
  Py_ssize_t n = PyObject_LengthHint(c, 0);
  if (n < 0) {
    PyErr_Clear();
    return 0;
  }
  return n;
}

static PyObject *Sum(PyObject *, PyObject *args) {
  nb::object acc;
  SumFastPath fast;
  // A sum of many linear terms sizes its linear map once instead of growing it step by step.
  Py_ssize_t hint = terms_hint(args);
  bool sized = hint < 64;
  int rc = for_each_term(args, [&](PyObject *item) {
    if (operand_kind(item) < 0) return -1;
    if (!acc) {
      if (is_zero(item)) return 0;
      acc = nb::steal(scaled_copy(item, 1.0));
      return acc ? 0 : -1;
    }
    if (is_zero(item)) return 0;
    if (Py_TYPE(acc.ptr()) == &expression_type) {
      ExpressionObject *e = as_expr(acc.ptr());
      if (!sized && (Py_TYPE(item) == &linterm_type || Py_TYPE(item) == &var_type)) {
        sized = true;
        try {
          if (!e->lin) e->lin = new LinMap();
          e->lin->reserve(static_cast<size_t>(hint));
        } catch (...) {
          // Growing step by step still works.
        }
      }
      int added = fast.add(e, item);
      if (added != 0) return added < 0 ? -1 : 0;
    }
    PyObject *next = alg_iadd(acc.ptr(), item, 1.0);
    if (!next) return -1;
    acc = nb::steal(next);
    return 0;
  });
  if (rc < 0) return nullptr;
  if (!acc) return reinterpret_cast<PyObject *>(new_expression());
  if (is_number(acc.ptr())) {
    double v = number_value(acc.ptr());
    if (v == -1.0 && PyErr_Occurred()) return nullptr;
    ExpressionObject *e = new_expression();
    if (e) e->constant = v;
    return reinterpret_cast<PyObject *>(e);
  }
  return acc.release().ptr();
}

static PyObject *Prod(PyObject *, PyObject *args) {
  nb::object acc;
  int rc = for_each_term(args, [&](PyObject *item) {
    if (operand_kind(item) < 0) return -1;
    PyObject *next = acc ? alg_imul(acc.ptr(), item) : scaled_copy(item, 1.0);
    if (!next) return -1;
    acc = nb::steal(next);
    return 0;
  });
  if (rc < 0) return nullptr;
  return acc ? acc.release().ptr() : PyFloat_FromDouble(0.0);
}

// The elementary functions.

struct Elementary {
  int32_t op;
  double (*fn)(double);
};

static PyObject *apply_elementary(const Elementary &f, PyObject *t);

static PyObject *apply_to_array(const Elementary &f, PyObject *t) {
  auto *arr = reinterpret_cast<PyArrayObject *>(t);
  bool objects = PyArray_DESCR(arr)->type_num == NPY_OBJECT || PyArray_DESCR(arr)->type_num >= NPY_USERDEF;
  PyObject *copy;
  if (objects)
    copy = PyArray_NewCopy(arr, NPY_CORDER);
  else
    copy = PyArray_FROMANY(t, NPY_DOUBLE, 0, 0, NPY_ARRAY_ENSURECOPY | NPY_ARRAY_CARRAY);
  if (!copy) return expr_error("Cannot iterate on sequence of arguments");
  auto *out = reinterpret_cast<PyArrayObject *>(copy);
  npy_intp n = PyArray_SIZE(out);
  if (objects) {
    auto **items = static_cast<PyObject **>(PyArray_DATA(out));
    for (npy_intp i = 0; i < n; ++i) {
      PyObject *r = apply_elementary(f, items[i] ? items[i] : Py_None);
      if (!r) {
        Py_DECREF(copy);
        return nullptr;
      }
      Py_XSETREF(items[i], r);
    }
  } else {
    auto *values = static_cast<double *>(PyArray_DATA(out));
    for (npy_intp i = 0; i < n; ++i) values[i] = f.fn(values[i]);
  }
  return copy;
}

static PyObject *apply_elementary(const Elementary &f, PyObject *t) {
  if (is_number(t)) {
    double v = number_value(t);
    if (v == -1.0 && PyErr_Occurred()) return nullptr;
    return PyFloat_FromDouble(f.fn(v));
  }
  if (PyArray_Check(t)) return apply_to_array(f, t);
  return unary_node(f.op, t);
}

// Numbers take the values of the shared table, as evaluated expressions and formulas do.
#define KELVO_ELEMENTARY(name, code, fn)                                  \
  static double value_##name(double x) {                                  \
    return klvo::elementary::value(klvo::elementary::Function::fn, x);    \
  }                                                                       \
  static PyObject *f_##name(PyObject *, PyObject *t) {                    \
    static const Elementary f{code, value_##name};                        \
    return apply_elementary(f, t);                                        \
  }

KELVO_ELEMENTARY(sin, OP_SIN, Sin)
KELVO_ELEMENTARY(cos, OP_COS, Cos)
KELVO_ELEMENTARY(tan, OP_TAN, Tan)
KELVO_ELEMENTARY(asin, OP_ASIN, Asin)
KELVO_ELEMENTARY(acos, OP_ACOS, Acos)
KELVO_ELEMENTARY(atan, OP_ATAN, Atan)
KELVO_ELEMENTARY(exp, OP_EXP, Exp)
KELVO_ELEMENTARY(log, OP_LOG, Log)
KELVO_ELEMENTARY(log10, OP_LOG10, Log10)
KELVO_ELEMENTARY(abs, OP_ABS, Abs)
KELVO_ELEMENTARY(sqrt, OP_SQRT, Sqrt)
KELVO_ELEMENTARY(sign, OP_SIGN, Sign)
KELVO_ELEMENTARY(erf, OP_ERF, Erf)
KELVO_ELEMENTARY(erfc, OP_ERFC, Erfc)
#undef KELVO_ELEMENTARY

// max and min: the operands as a new list, or as a new reference to a single operand (*single).

// The operands as a new list; null with an exception.
static nb::object operand_list(PyObject *args) {
  if (PyTuple_GET_SIZE(args) != 1) return nb::steal(PySequence_List(args));
  PyObject *t = PyTuple_GET_ITEM(args, 0);
  if (PyList_Check(t) || PyTuple_Check(t)) return nb::steal(PySequence_List(t));
  if (PyArray_Check(t)) {
    auto *arr = reinterpret_cast<PyArrayObject *>(t);
    if (PyArray_NDIM(arr) > 64) {
      PyErr_SetString(g.ModelError, "Array has far too many dimensions to be used in a nonlinear expression");
      return nb::object();
    }
    npy_intp n = PyArray_SIZE(arr);
    if (n >= 2) {
      if (PyArray_NDIM(arr) != 1) {
        PyErr_SetString(g.ModelError, "Only a 1-dimensional array can be used in a nonlinear expression");
        return nb::object();
      }
      return nb::steal(PySequence_List(t));
    }
    if (n == 0) return nb::steal(PyList_New(0));
    nb::object item = nb::steal(PyObject_CallMethod(t, "item", nullptr));
    if (!item) return item;
    nb::object items = nb::steal(PyList_New(1));
    if (items) PyList_SET_ITEM(items.ptr(), 0, item.release().ptr());
    return items;
  }
  if (kind_of(t) == K_INVALID && PySequence_Check(t)) return nb::steal(PySequence_List(t));
  nb::object items = nb::steal(PyList_New(1));
  if (items) PyList_SET_ITEM(items.ptr(), 0, Py_NewRef(t));
  return items;
}

static PyObject *collect_operands(PyObject *args, const char *fname, bool *single) {
  *single = false;
  nb::object items = operand_list(args);
  if (!items) {
    if (!PyErr_ExceptionMatches(g.ModelError)) {
      PyErr_Clear();
      PyErr_Format(g.ModelError, "Incorrect argument for kelvo.%s function", fname);
    }
    return nullptr;
  }
  if (PyList_GET_SIZE(items.ptr()) == 0) {
    PyErr_Format(g.ModelError, "The function kelvo.%s must have at least one argument", fname);
    return nullptr;
  }
  if (PyList_GET_SIZE(items.ptr()) == 1) {
    PyObject *only = PyList_GET_ITEM(items.ptr(), 0);
    if (kind_of(only) == K_INVALID) return expr_error("Incorrect argument for expression");
    *single = true;
    return Py_NewRef(only);
  }
  return items.release().ptr();
}

static PyObject *max_min(PyObject *args, int32_t op, const char *fname) {
  bool single;
  nb::object items = nb::steal(collect_operands(args, fname, &single));
  if (!items || single) return items.release().ptr();
  // Several positional arguments keep their tuple; a collection becomes a list.
  return nary_node(op, PyTuple_GET_SIZE(args) > 1 ? args : items.ptr());
}

static PyObject *f_max(PyObject *, PyObject *args) { return max_min(args, OP_MAX, "max"); }
static PyObject *f_min(PyObject *, PyObject *args) { return max_min(args, OP_MIN, "min"); }

static PyObject *f_user(PyObject *, PyObject *args, PyObject *kwargs) {
  int32_t code = OP_USER;
  if (kwargs && PyDict_GET_SIZE(kwargs) > 0) {
    PyObject *key, *value;
    Py_ssize_t pos = 0;
    while (PyDict_Next(kwargs, &pos, &key, &value)) {
      if (!PyUnicode_Check(key) || PyUnicode_CompareWithASCIIString(key, "derivatives") != 0) {
        PyErr_Format(PyExc_TypeError, "kelvo.user() got an unexpected keyword argument '%S'", key);
        return nullptr;
      }
      if (PyUnicode_Check(value)) {
        const char *s = PyUnicode_AsUTF8(value);
        if (!s) return nullptr;
        if (strcmp(s, "ondemand") == 0)
          code = OP_USER_ONDEMAND;
        else if (strcmp(s, "always") == 0)
          code = OP_USER_ALWAYS;
        else if (strcmp(s, "never") == 0 || s[0] == '\0')
          code = OP_USER;
        else {
          PyErr_Format(g.InterfaceError, "Unknown value for argument derivatives: %s", s);
          return nullptr;
        }
      } else {
        int truth = PyObject_IsTrue(value);
        if (truth < 0) return nullptr;
        code = truth ? OP_USER_ALWAYS : OP_USER;
      }
    }
  }
  if (PyTuple_GET_SIZE(args) < 2) {
    PyErr_SetString(g.InterfaceError, "kelvo.user expects a function and at least one argument expression");
    return nullptr;
  }
  if (!PyCallable_Check(PyTuple_GET_ITEM(args, 0))) {
    PyErr_SetString(g.InterfaceError, "Invalid function passed to kelvo.user");
    return nullptr;
  }
  return nary_node(code, args);
}

// pwl: breakpoints of a piecewise-linear function of one variable.

struct Interval {
  double x_lo, x_hi, y_lo, y_hi;
};

// Reads the dictionary entry (a, b): value into an interval: value must be a constant or a
// linear function of one variable, the function's variable `var` (null until one is seen).
// 1 for an interval, 0 for the (None: x) entry that names the variable, -1 with ModelError.
static int read_piece(PyObject *key, PyObject *value, Interval &iv, nb::object &var) {
  if (key == Py_None) {
    if (Py_TYPE(value) != &var_type) {
      PyErr_Format(g.ModelError, "Tuple (None, Obj) must have an kelvo.var() object as Obj, found <%S>", value);
      return -1;
    }
    var = nb::borrow(value);
    return 0;
  }
  if (!PyTuple_Check(key) || PyTuple_GET_SIZE(key) != 2) {
    PyErr_Format(g.ModelError, "All keys in the dictionary argument of kelvo.pwl must be two-tuples; <%S> is not", key);
    return -1;
  }
  PyObject *ka = PyTuple_GET_ITEM(key, 0), *kb = PyTuple_GET_ITEM(key, 1);
  double a = 0, b = 0;
  bool numbers = is_number(ka) && is_number(kb);
  if (numbers) {
    a = number_value(ka);
    b = number_value(kb);
    if (PyErr_Occurred()) return -1;
  }
  if (!numbers || a > b) {
    PyErr_Format(g.ModelError,
                 "All keys in the dictionary argument of kelvo.pwl must be two-tuples with two constant numbers: "
                 "[a,b] such that a<b; <%S> is not",
                 key);
    return -1;
  }
  // The piece is s * x + t.
  double s = 0, t = 0;
  PyObject *x = nullptr;
  switch (kind_of(value)) {
    case K_NUMBER:
      t = number_value(value);
      if (t == -1.0 && PyErr_Occurred()) return -1;
      break;
    case K_VAR:
      s = 1;
      x = value;
      break;
    case K_LIN:
      s = as_lin(value)->coef;
      x = as_lin(value)->var;
      break;
    case K_EXPR: {
      ExpressionObject *e = as_expr(value);
      size_t n = e->lin ? e->lin->size() : 0;
      if (n > 1) {
        PyErr_Format(g.ModelError,
                     "Expression %S not suitable for a piecewise linear function; it must contain one variable only",
                     value);
        return -1;
      }
      t = e->constant;
      if (n == 1) {
        x = e->lin->begin()->first;
        s = e->lin->begin()->second;
      }
      break;
    }
    default:
      PyErr_Format(g.ModelError,
                   "Expression %S not suitable for a piecewise linear function; it must be a constant or a linear "
                   "function",
                   value);
      return -1;
  }
  if (x) {
    if (!var) {
      var = nb::borrow(x);
    } else if (x != var.ptr()) {
      char range[128];
      snprintf(range, sizeof range, "[%g,%g]", a, b);
      PyErr_Format(g.ModelError,
                   "Expression in %s interval contains variable %S while another variable has been used in the "
                   "same function",
                   range, x);
      return -1;
    }
  }
  // An infinite end is replaced by a finite point on the same line.
  iv = Interval{a, b, s * a + t, s * b + t};
  if ((std::fabs(iv.y_lo) >= 1e20 || a <= -1e20) && std::fabs(iv.y_hi) < 1e20 && b < 1e20) {
    iv.x_lo = b - 0.88;
    iv.y_lo = s * iv.x_lo + t;
  }
  if ((std::fabs(iv.y_hi) >= 1e20 || b >= 1e20) && std::fabs(iv.y_lo) < 1e20 && a > -1e20) {
    iv.x_hi = a + 0.88;
    iv.y_hi = s * iv.x_hi + t;
  }
  return 1;
}

// Intervals sorted by their left end must not overlap; -1 with ModelError when two do.
static int check_overlaps(const std::vector<Interval> &intervals) {
  for (size_t i = 0; i + 1 < intervals.size(); ++i) {
    if (intervals[i].x_hi <= intervals[i + 1].x_lo) continue;
    nb::object v[4] = {nb::steal(PyFloat_FromDouble(intervals[i].x_lo)), nb::steal(PyFloat_FromDouble(intervals[i].x_hi)),
                       nb::steal(PyFloat_FromDouble(intervals[i + 1].x_lo)),
                       nb::steal(PyFloat_FromDouble(intervals[i + 1].x_hi))};
    if (v[0] && v[1] && v[2] && v[3])
      PyErr_Format(g.ModelError, "Interval [%S,%S] overlaps with [%S,%S] in piecewise linear function", v[0].ptr(),
                   v[1].ptr(), v[2].ptr(), v[3].ptr());
    return -1;
  }
  return 0;
}

// The breakpoints x0, y0, x1, y1, ... of sorted intervals: each interval's left end, and its
// right end where the function jumps or has a gap, and at the last interval.
static std::vector<double> breakpoints(const std::vector<Interval> &intervals) {
  std::vector<double> points;
  for (size_t i = 0; i < intervals.size(); ++i) {
    const Interval &iv = intervals[i];
    points.push_back(iv.x_lo);
    points.push_back(iv.y_lo);
    bool last = i + 1 == intervals.size();
    bool brk = !last && (intervals[i + 1].x_lo - 1e-6 > iv.x_hi || std::fabs(iv.y_hi - intervals[i + 1].y_lo) > 1e-6);
    if (last || brk) {
      points.push_back(iv.x_hi);
      points.push_back(iv.y_hi);
    }
  }
  return points;
}

static PyObject *f_pwl(PyObject *, PyObject *arg) {
  if (!PyDict_Check(arg))
    return expr_error(
        "Function kelvo.pwl only accepts a dictionary; a call must be for example "
        "kelvo.pwl({(1,4): 2*x+1, (4,6): 4*x+5, ...})");
  // Reading a number can run Python, which may change the dictionary: hold the entries.
  nb::object items = nb::steal(PyDict_Items(arg));
  if (!items) return nullptr;
  std::vector<Interval> intervals;
  nb::object var;
  for (Py_ssize_t i = 0; i < PyList_GET_SIZE(items.ptr()); ++i) {
    PyObject *item = PyList_GET_ITEM(items.ptr(), i);
    Interval iv;
    int rc = read_piece(PyTuple_GET_ITEM(item, 0), PyTuple_GET_ITEM(item, 1), iv, var);
    if (rc < 0) return nullptr;
    if (rc > 0) intervals.push_back(iv);
  }
  if (!var) {
    PyErr_Format(g.ModelError,
                 "No variable specified for this piecewise linear function: %S; Are all values constant? If so, add "
                 "a key-value pair (None: x) to the dictionary with the variable associated to the piecewise linear",
                 arg);
    return nullptr;
  }
  std::stable_sort(intervals.begin(), intervals.end(),
                   [](const Interval &p, const Interval &q) { return p.x_lo < q.x_lo; });
  if (check_overlaps(intervals) < 0) return nullptr;
  std::vector<double> points = breakpoints(intervals);
  nb::object list = nb::steal(PyList_New(static_cast<Py_ssize_t>(points.size()) + 1));
  if (!list) return nullptr;
  PyList_SET_ITEM(list.ptr(), 0, var.release().ptr());
  for (size_t i = 0; i < points.size(); ++i) {
    PyObject *f = PyFloat_FromDouble(points[i]);
    if (!f) return nullptr;
    PyList_SET_ITEM(list.ptr(), static_cast<Py_ssize_t>(i) + 1, f);
  }
  return nary_node(OP_PWL, list.ptr());
}

// And, Or: the first operand copied, the others appended with flattening.
static PyObject *logical(PyObject *args, int32_t op) {
  nb::object acc;
  int rc = for_each_term(args, [&](PyObject *item) {
    if (operand_kind(item) < 0) return -1;
    PyObject *next = acc ? flatten_inplace(op, acc.ptr(), item) : scaled_copy(item, 1.0);
    if (!next) return -1;
    acc = nb::steal(next);
    return 0;
  });
  if (rc < 0) return nullptr;
  return acc ? acc.release().ptr() : Py_NewRef(Py_True);
}

static PyObject *f_and(PyObject *, PyObject *args) { return logical(args, OP_AND); }
static PyObject *f_or(PyObject *, PyObject *args) { return logical(args, OP_OR); }

PyMethodDef expr_methods[] = {
    {"Sum", Sum, METH_VARARGS, "Sum of the terms given, or of one collection of terms."},
    {"Prod", Prod, METH_VARARGS, "Product of the terms given, or of one collection of terms."},
    {"sin", f_sin, METH_O, "Sine of a number, array or expression."},
    {"cos", f_cos, METH_O, "Cosine of a number, array or expression."},
    {"tan", f_tan, METH_O, "Tangent of a number, array or expression."},
    {"asin", f_asin, METH_O, "Arc sine of a number, array or expression."},
    {"acos", f_acos, METH_O, "Arc cosine of a number, array or expression."},
    {"atan", f_atan, METH_O, "Arc tangent of a number, array or expression."},
    {"exp", f_exp, METH_O, "Exponential of a number, array or expression."},
    {"log", f_log, METH_O, "Natural logarithm of a number, array or expression."},
    {"log10", f_log10, METH_O, "Base-10 logarithm of a number, array or expression."},
    {"abs", f_abs, METH_O, "Absolute value of a number, array or expression."},
    {"sqrt", f_sqrt, METH_O, "Square root of a number, array or expression."},
    {"sign", f_sign, METH_O, "Sign (-1, 0 or 1) of a number, array or expression."},
    {"erf", f_erf, METH_O, "Error function of a number, array or expression."},
    {"erfc", f_erfc, METH_O, "Complementary error function of a number, array or expression."},
    {"max", f_max, METH_VARARGS, "Maximum of expressions."},
    {"min", f_min, METH_VARARGS, "Minimum of expressions."},
    {"user", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f_user)), METH_VARARGS | METH_KEYWORDS,
     "A call of a Python function on expressions: user(f, x, y, ..., derivatives=None)."},
    {"pwl", f_pwl, METH_O, "A piecewise-linear function of one variable given by {(a, b): expression}."},
    {"And", f_and, METH_VARARGS, "Logical conjunction of expressions."},
    {"Or", f_or, METH_VARARGS, "Logical disjunction of expressions."},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace kelvo
