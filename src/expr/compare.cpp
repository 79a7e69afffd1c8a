// Comparison operators of kelvo.var and the four algebra types: a <= b, a >= b and a == b
// build constraints while constraint operators are enabled, and compare structurally when
// they are not. Also the module functions is_equal and the switch.
#include "kelvo/constraint.h"
#include "kelvo/expr.h"
#include "kelvo/numpy.h"

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

// a OP b as a new constraint.
static PyObject *build_constraint(PyObject *a, PyObject *b, int op) {
  PyObject *owned_a = nullptr;
  if (is_number(a) && is_number(b)) {
    double v = number_value(a);
    if (v == -1.0 && PyErr_Occurred()) return nullptr;
    ExpressionObject *e = new_expression();
    if (!e) return nullptr;
    e->constant = v;
    a = owned_a = reinterpret_cast<PyObject *>(e);
  }
  if (PyArray_Check(b)) {
    Py_XDECREF(owned_a);
    if (PyArray_Check(a)) {
      PyErr_SetString(g.InterfaceError, "Ill-defined constraint array");
      return nullptr;
    }
    // NumPy builds the array of constraints, comparing each element with a.
    return PyObject_RichCompare(b, a, reflected(op));
  }
  PyObject *diff = nullptr, *body = nullptr, *con = nullptr;
  double rhs = 0, lb = 0, ub = 0;
  bool exchange = false;
  if (check_compatible(a, b) < 0) goto done;
  diff = alg_add(a, b, -1.0);
  if (!diff) goto done;
  con = constraint_type.tp_alloc(&constraint_type, 0);
  if (!con) goto done;
  if (split_constant(diff, &body, &rhs, &exchange) < 0) goto fail;
  if (exchange) op = reflected(op);
  switch (op) {
    case Py_LE: lb = -infinity, ub = rhs; break;
    case Py_GE: lb = rhs, ub = infinity; break;
    case Py_EQ: lb = ub = rhs; break;
    case Py_LT:
    case Py_GT:
    case Py_NE:
      PyErr_SetString(g.ModelError, "Invalid constraint: cannot enforce f(x) != 0, f(x) > 0, or f(x) < 0");
      goto fail;
    default:
      PyErr_SetString(g.ModelError, "Invalid constraint: unrecognized comparison operator");
      goto fail;
  }
  if (constraint_build(as_con(con), body, lb, ub, nullptr) < 0) goto fail;
  goto done;
fail:
  Py_CLEAR(con);
done:
  Py_XDECREF(body);
  Py_XDECREF(diff);
  Py_XDECREF(owned_a);
  return con;
}

// ---- Structural equality.

static bool same_linear(const LinMap *a, const LinMap *b) {
  size_t na = a ? a->size() : 0, nb = b ? b->size() : 0;
  if (na != nb) return false;
  if (na == 0) return true;
  for (auto &entry : *a) {
    auto it = b->find(entry.first);
    if (it == b->end() || !(it->second == entry.second)) return false;
  }
  return true;
}

static bool same_quadratic(const QuadMap *a, const QuadMap *b) {
  size_t na = a ? a->size() : 0, nb = b ? b->size() : 0;
  if (na != nb) return false;
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

static int structurally_equal(PyObject *a, PyObject *b);

// Equality of two nodes' argument objects: both sequences or both single operands.
static int same_arguments(PyObject *a, PyObject *b) {
  bool seq_a = PyList_Check(a) || PyTuple_Check(a), seq_b = PyList_Check(b) || PyTuple_Check(b);
  if (seq_a != seq_b) return 0;
  if (!seq_a) return structurally_equal(a, b);
  PyObject *fa = PySequence_Fast(a, "Nonlinear argument is not iterable");
  if (!fa) return -1;
  PyObject *fb = PySequence_Fast(b, "Nonlinear argument is not iterable");
  if (!fb) {
    Py_DECREF(fa);
    return -1;
  }
  int equal = PySequence_Fast_GET_SIZE(fa) == PySequence_Fast_GET_SIZE(fb);
  for (Py_ssize_t i = 0; equal == 1 && i < PySequence_Fast_GET_SIZE(fa); ++i)
    equal = structurally_equal(PySequence_Fast_GET_ITEM(fa, i), PySequence_Fast_GET_ITEM(fb, i));
  Py_DECREF(fa);
  Py_DECREF(fb);
  return equal;
}

// 1 equal, 0 not, -1 with an exception.
static int structurally_equal(PyObject *a, PyObject *b) {
  bool nl_a = kind_of(a) == K_NONLIN, nl_b = kind_of(b) == K_NONLIN;
  if (nl_a) {
    if (!nl_b || as_nl(a)->op != as_nl(b)->op) return 0;
    return same_arguments(as_nl(a)->args, as_nl(b)->args);
  }
  if (nl_b) return 0;
  // A variable is equal only to itself (dict lookups by variable come here).
  if (kind_of(a) == K_VAR && kind_of(b) == K_VAR) return a == b ? 1 : 0;
  // Objects outside the algebra (a user function inside its node) are equal only to themselves.
  if (kind_of(a) == K_INVALID || kind_of(b) == K_INVALID) return a == b && kind_of(a) == K_INVALID ? 1 : 0;
  PyObject *ea = expression_form(a);
  if (!ea) return -1;
  PyObject *eb = expression_form(b);
  if (!eb) {
    Py_DECREF(ea);
    return -1;
  }
  ExpressionObject *x = as_expr(ea), *y = as_expr(eb);
  int equal = x->constant == y->constant && same_linear(x->lin, y->lin) && same_quadratic(x->quad, y->quad);
  Py_DECREF(ea);
  Py_DECREF(eb);
  return equal;
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
  PyObject *name_a = PyObject_GetAttrString(reinterpret_cast<PyObject *>(Py_TYPE(a)), "__name__");
  PyObject *name_b = name_a ? PyObject_GetAttrString(reinterpret_cast<PyObject *>(Py_TYPE(b)), "__name__") : nullptr;
  if (name_b)
    PyErr_Format(PyExc_TypeError, "TypeError: '%s' not supported between instances of '%S' and '%S'",
                 operator_symbol(op), name_a, name_b);
  Py_XDECREF(name_a);
  Py_XDECREF(name_b);
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
