// Comparison operators of kelvo.var and the four algebra types: a <= b, a >= b and a == b
// build constraints while constraint operators are enabled, and compare structurally when
// they are not. Also the module functions is_equal and the switch.
#include "expr/expr.h"
#include "model/constraint.h"
#include "numpy/numpy.h"

#include <nanobind/nanobind.h>

#include <utility>
#include <vector>

namespace nb = nanobind;

namespace kelvo {

// <= and >= exchanged, for a comparison read from the other side.
static int reflected(int op) {
  switch (op) {
    case Py_LE: return Py_GE;
    case Py_GE: return Py_LE;
    case Py_LT: return Py_GT;
    case Py_GT: return Py_LT;
    default: return op;
  }
}

// Splits the difference a - b into a body and the constant moved to the right-hand side.
// *body is a new reference; *exchange is set when the body enters with the opposite sign.
static int split_constant(PyObject *diff, PyObject **body, double *rhs, bool *exchange) {
  *rhs = 0.0;
  *exchange = false;
  switch (kind_of(diff)) {
    case K_NUMBER:
    case K_VAR:
    case K_LIN:
    case K_QUAD:
      *body = Py_NewRef(diff);
      return 0;
    case K_EXPR: {
      // The difference is normally a fresh object; copy it if anything else holds it.
      PyObject *e = Py_REFCNT(diff) == 1 ? Py_NewRef(diff) : expr_from_object(diff, 1.0);
      if (!e) return -1;
      *rhs = -as_expr(e)->constant;
      as_expr(e)->constant = 0.0;
      *body = e;
      return 0;
    }
    case K_NONLIN: {
      NonlinearObject *n = as_nl(diff);
      if (n->op == OP_PLUS && PyList_Check(n->args) && PyList_GET_SIZE(n->args) > 1) {
        Py_ssize_t last = PyList_GET_SIZE(n->args) - 1;
        PyObject *k = PyList_GET_ITEM(n->args, last);
        if (is_number(k)) {
          double v = number_value(k);
          if (v == -1.0 && PyErr_Occurred()) return -1;
          PyObject *rest = PyList_GetSlice(n->args, 0, last);
          if (!rest) return -1;
          NonlinearObject *sum = new_node(OP_PLUS, rest);
          if (!sum) return -1;
          *rhs = -v;
          *body = reinterpret_cast<PyObject *>(sum);
          return 0;
        }
      }
      if (n->op == OP_MINUS && PyTuple_Check(n->args) && PyTuple_GET_SIZE(n->args) == 2) {
        PyObject *first = PyTuple_GET_ITEM(n->args, 0), *second = PyTuple_GET_ITEM(n->args, 1);
        bool constant_first = is_number(first);
        if (constant_first || is_number(second)) {
          double v = number_value(constant_first ? first : second);
          if (v == -1.0 && PyErr_Occurred()) return -1;
          *rhs = v;
          *exchange = constant_first;
          *body = Py_NewRef(constant_first ? second : first);
          return 0;
        }
      }
      *body = Py_NewRef(diff);
      return 0;
    }
    default:
      PyErr_SetString(g.ModelError, "Invalid constraint body");
      return -1;
  }
}

// The bounds of body OP rhs; -1 with ModelError for a comparison that makes no constraint.
static int bounds_of(int op, double rhs, double &lb, double &ub) {
  switch (op) {
    case Py_LE: lb = -infinity, ub = rhs; return 0;
    case Py_GE: lb = rhs, ub = infinity; return 0;
    case Py_EQ: lb = ub = rhs; return 0;
    case Py_LT:
    case Py_GT:
    case Py_NE:
      PyErr_SetString(g.ModelError, "Invalid constraint: cannot enforce f(x) != 0, f(x) > 0, or f(x) < 0");
      return -1;
    default:
      PyErr_SetString(g.ModelError, "Invalid constraint: unrecognized comparison operator");
      return -1;
  }
}

// a OP b as a new constraint.
static PyObject *build_constraint(PyObject *a, PyObject *b, int op) {
  nb::object owned_a;  // a number on the left becomes a constant expression
  if (is_number(a) && is_number(b)) {
    double v = number_value(a);
    if (v == -1.0 && PyErr_Occurred()) return nullptr;
    ExpressionObject *e = new_expression();
    if (!e) return nullptr;
    e->constant = v;
    owned_a = nb::steal(reinterpret_cast<PyObject *>(e));
    a = owned_a.ptr();
  }
  if (PyArray_Check(b)) {
    if (PyArray_Check(a)) {
      PyErr_SetString(g.InterfaceError, "Ill-defined constraint array");
      return nullptr;
    }
    // NumPy builds the array of constraints, comparing each element with a. A subclass gets a
    // itself. Given a itself, or an object array, NumPy's own loops would compare generic
    // objects and give their truth values: a goes in an array of our dtypes, and so do the
    // elements of an object array.
    if (!PyArray_CheckExact(b)) return PyObject_RichCompare(b, a, reflected(op));
    nb::object scalar = nb::steal(model_scalar_array(a));
    if (!scalar) return nullptr;
    nb::object elements = nb::borrow(b);
    if (PyArray_TYPE(reinterpret_cast<PyArrayObject *>(b)) == NPY_OBJECT) {
      elements = nb::steal(PyArray_FromArray(reinterpret_cast<PyArrayObject *>(b),
                                             reinterpret_cast<PyArray_Descr *>(Py_NewRef(g.npexpr)), NPY_ARRAY_FORCECAST));
      if (!elements) return nullptr;
    }
    return PyObject_RichCompare(elements.ptr(), scalar.ptr(), reflected(op));
  }
  if (check_compatible(a, b) < 0) return nullptr;
  nb::object diff = nb::steal(alg_add(a, b, -1.0));
  if (!diff) return nullptr;
  nb::object con = nb::steal(constraint_type.tp_alloc(&constraint_type, 0));
  if (!con) return nullptr;
  PyObject *split_body = nullptr;
  double rhs = 0, lb = 0, ub = 0;
  bool exchange = false;
  int rc = split_constant(diff.ptr(), &split_body, &rhs, &exchange);
  nb::object body = nb::steal(split_body);
  if (rc < 0) return nullptr;
  if (exchange) op = reflected(op);
  if (bounds_of(op, rhs, lb, ub) < 0 || constraint_build(as_con(con.ptr()), body.ptr(), lb, ub, nullptr) < 0)
    return nullptr;
  return con.release().ptr();
}

PyObject *compare_expression_number(PyObject *e, PyObject *number, int op) {
  ExpressionObject *x = as_expr(e);
  if (!g.constraint_operators || x->constant != 0.0 || !PyFloat_CheckExact(number))
    return algebra_richcompare(e, number, op);
  // The difference e - v would be a copy of e whose constant goes to the right-hand side.
  double lb = 0, ub = 0;
  if (bounds_of(op, PyFloat_AS_DOUBLE(number), lb, ub) < 0) return nullptr;
  nb::object con = nb::steal(constraint_type.tp_alloc(&constraint_type, 0));
  if (!con || constraint_build(as_con(con.ptr()), e, lb, ub, nullptr) < 0) return nullptr;
  x->in_constraint = true;
  return con.release().ptr();
}

// ---- Structural equality.

static bool same_linear(const LinMap *a, const LinMap *b) {
  size_t na = a ? a->size() : 0, nb_ = b ? b->size() : 0;
  if (na != nb_) return false;
  if (na == 0) return true;
  for (auto &entry : *a) {
    auto it = b->find(entry.first);
    if (it == b->end() || !(it->second == entry.second)) return false;
  }
  return true;
}

static bool same_quadratic(const QuadMap *a, const QuadMap *b) {
  size_t na = a ? a->size() : 0, nb_ = b ? b->size() : 0;
  if (na != nb_) return false;
  if (na == 0) return true;
  for (auto &entry : *a) {
    auto it = b->find(entry.first);
    if (it == b->end() || !same_linear(entry.second, it->second)) return false;
  }
  return true;
}

// o in expression form (a new reference), or null without an error for an object that has
// none.
static PyObject *expression_form(PyObject *o) {
  switch (kind_of(o)) {
    case K_EXPR: return Py_NewRef(o);
    case K_NUMBER:
    case K_VAR:
    case K_LIN:
    case K_QUAD: return expr_from_object(o, 1.0);
    default: return nullptr;
  }
}

// Equality of two operands outside the tree structure: 1 equal, 0 not, -1 with an exception.
static int leaf_equal(PyObject *a, PyObject *b) {
  // A variable is equal only to itself (dict lookups by variable come here).
  if (kind_of(a) == K_VAR && kind_of(b) == K_VAR) return a == b ? 1 : 0;
  // Objects outside the algebra (a user function inside its node) are equal only to themselves.
  if (kind_of(a) == K_INVALID || kind_of(b) == K_INVALID) return a == b && kind_of(a) == K_INVALID ? 1 : 0;
  nb::object ea = nb::steal(expression_form(a));
  if (!ea) return -1;
  nb::object eb = nb::steal(expression_form(b));
  if (!eb) return -1;
  ExpressionObject *x = as_expr(ea.ptr()), *y = as_expr(eb.ptr());
  return x->constant == y->constant && same_linear(x->lin, y->lin) && same_quadratic(x->quad, y->quad);
}

static int deep_equal(PyObject *a, PyObject *b);

// A number whose conversion may run Python code (which may change the lists being compared).
KELVO_INLINE bool foreign_number(PyObject *o) {
  return !PyFloat_CheckExact(o) && !PyLong_CheckExact(o) &&
         Py_TYPE(o)->tp_as_number != &algebra_number_methods && is_number(o);
}

// 1 equal, 0 not, -1 with an exception. Plain recursion over the first levels, which is
// fastest for the shallow trees that models are made of; deeper, the walk keeps its own stack.
static int structurally_equal(PyObject *a, PyObject *b, int levels = 200) {
  if (levels == 0) return deep_equal(a, b);
  bool nl_a = kind_of(a) == K_NONLIN, nl_b = kind_of(b) == K_NONLIN;
  if (!nl_a && !nl_b) return leaf_equal(a, b);
  if (!nl_a || !nl_b || as_nl(a)->op != as_nl(b)->op) return 0;
  PyObject *aa = as_nl(a)->args, *ab = as_nl(b)->args;
  bool seq_a = PyList_Check(aa) || PyTuple_Check(aa), seq_b = PyList_Check(ab) || PyTuple_Check(ab);
  if (seq_a != seq_b) return 0;
  if (!seq_a) return aa && ab ? structurally_equal(aa, ab, levels - 1) : aa == ab;
  // Hold the lists and foreign numbers: converting those may run Python code.
  nb::object la = nb::borrow(aa), lb = nb::borrow(ab);
  int equal = PySequence_Fast_GET_SIZE(aa) == PySequence_Fast_GET_SIZE(ab);
  for (Py_ssize_t i = 0; equal == 1 && i < PySequence_Fast_GET_SIZE(aa) && i < PySequence_Fast_GET_SIZE(ab);
       ++i) {
    PyObject *x = PySequence_Fast_GET_ITEM(aa, i), *y = PySequence_Fast_GET_ITEM(ab, i);
    nb::object hold_x, hold_y;
    if (foreign_number(x)) hold_x = nb::borrow(x);
    if (foreign_number(y)) hold_y = nb::borrow(y);
    equal = structurally_equal(x, y, levels - 1);
  }
  return equal;
}

// Pairs still to compare wait on an explicit stack, in argument order; each entry holds its
// objects, since converting a number may run Python code.
static int deep_equal(PyObject *a, PyObject *b) {
  WalkStack<std::pair<nb::object, nb::object>, 16> stack;
  auto push = [&stack](PyObject *x, PyObject *y) __attribute__((always_inline)) {
    return stack.push({nb::borrow(x), nb::borrow(y)});
  };
  if (!push(a, b)) return -1;
  while (!stack.empty()) {
    nb::object x = std::move(stack.back().first), y = std::move(stack.back().second);
    stack.pop();
    bool nl_x = kind_of(x.ptr()) == K_NONLIN, nl_y = kind_of(y.ptr()) == K_NONLIN;
    if (!nl_x && !nl_y) {
      int equal = leaf_equal(x.ptr(), y.ptr());
      if (equal != 1) return equal;
      continue;
    }
    if (!nl_x || !nl_y || as_nl(x.ptr())->op != as_nl(y.ptr())->op) return 0;
    PyObject *ax = as_nl(x.ptr())->args, *ay = as_nl(y.ptr())->args;
    bool seq_x = PyList_Check(ax) || PyTuple_Check(ax), seq_y = PyList_Check(ay) || PyTuple_Check(ay);
    if (seq_x != seq_y) return 0;
    if (!seq_x) {
      if (!ax || !ay) {
        if (ax != ay) return 0;
        continue;
      }
      if (!push(ax, ay)) return -1;
      continue;
    }
    Py_ssize_t n = PySequence_Fast_GET_SIZE(ax);
    if (n != PySequence_Fast_GET_SIZE(ay)) return 0;
    for (Py_ssize_t i = n - 1; i >= 0; --i)
      if (!push(PySequence_Fast_GET_ITEM(ax, i), PySequence_Fast_GET_ITEM(ay, i))) return -1;
  }
  return 1;
}

static const char *operator_symbol(int op) {
  switch (op) {
    case Py_LT: return "<";
    case Py_LE: return "<=";
    case Py_GT: return ">";
    default: return ">=";
  }
}

static PyObject *compare_structurally(PyObject *a, PyObject *b, int op) {
  if (op == Py_EQ || op == Py_NE) {
    if (PyObject_HasAttrString(b, "__array__") && !PyObject_HasAttrString(a, "__array__"))
      return PyObject_RichCompare(b, a, op);
    int equal = structurally_equal(a, b);
    if (equal < 0) return nullptr;
    return PyBool_FromLong(op == Py_EQ ? equal : !equal);
  }
  nb::object name_a = nb::steal(PyObject_GetAttrString(reinterpret_cast<PyObject *>(Py_TYPE(a)), "__name__"));
  if (!name_a) return nullptr;
  nb::object name_b = nb::steal(PyObject_GetAttrString(reinterpret_cast<PyObject *>(Py_TYPE(b)), "__name__"));
  if (name_b)
    PyErr_Format(PyExc_TypeError, "TypeError: '%s' not supported between instances of '%S' and '%S'",
                 operator_symbol(op), name_a.ptr(), name_b.ptr());
  return nullptr;
}

PyObject *algebra_richcompare(PyObject *a, PyObject *b, int op) {
  return g.constraint_operators ? build_constraint(a, b, op) : compare_structurally(a, b, op);
}

// ---- Module functions.

static PyObject *getConstraintOperatorsEnabled(PyObject *, PyObject *) {
  return PyBool_FromLong(g.constraint_operators);
}

static PyObject *setConstraintOperatorsEnabled(PyObject *, PyObject *arg) {
  int truth = PyObject_IsTrue(arg);
  if (truth < 0) {
    PyErr_Clear();
    PyErr_SetString(g.ModelError, "Incorrect argument in setConstraintOperatorsEnabled: should be True or False");
    return nullptr;
  }
  g.constraint_operators = truth ? 1 : 0;
  Py_RETURN_NONE;
}

static PyObject *is_equal(PyObject *, PyObject *args) {
  if (PyTuple_GET_SIZE(args) != 2) {
    PyErr_SetString(g.InterfaceError, "kelvo.is_equal requires two arguments");
    return nullptr;
  }
  uint8_t saved = g.constraint_operators;
  g.constraint_operators = 0;
  PyObject *r = PyObject_RichCompare(PyTuple_GET_ITEM(args, 0), PyTuple_GET_ITEM(args, 1), Py_EQ);
  g.constraint_operators = saved;
  return r;
}

PyMethodDef compare_methods[] = {
    {"getConstraintOperatorsEnabled", getConstraintOperatorsEnabled, METH_NOARGS,
     "True when <=, >= and == on modelling objects build constraints."},
    {"_setConstraintOperatorsEnabled", setConstraintOperatorsEnabled, METH_O,
     "Turns the building of constraints by <=, >= and == on or off."},
    {"is_equal", is_equal, METH_VARARGS, "Whether two modelling objects are structurally equal."},
    {nullptr, nullptr, 0, nullptr}};

}  // namespace kelvo
